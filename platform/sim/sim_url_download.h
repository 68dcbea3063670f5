// The system's URL downloader on the simulated machine: a plain HTTP GET over the host's network
// (the machine shares it), redirects followed, the body written to a new file of the machine's
// download cache (the user's INetCache folder), with the steps the system reports to its status
// callback: locating the host, connecting, sending the request, redirects, the content type, the
// cache file's name, then the data (begin, progress, end). The receive time-out is the machine's
// Internet settings value "ReceiveTimeout" (milliseconds; 30 seconds without one).
//
// Like the system's, it judges by the transfer: an error status, a broken connection or a body
// shorter than announced fails the call. Machine description: url_download = false takes it away.
#pragma once

#include <mutex>
#include <string>

#include "platform/files.h"
#include "platform/network.h"
#include "platform/registry.h"
#include "platform/url_download.h"

namespace corvane::platform::sim {

// Results of the call (HRESULTs of the system).
inline constexpr int32_t kInetCannotConnect = static_cast<int32_t>(0x800C0004);
inline constexpr int32_t kInetResourceNotFound = static_cast<int32_t>(0x800C0005);
inline constexpr int32_t kInetDownloadFailure = static_cast<int32_t>(0x800C0008);
inline constexpr int32_t kInetInvalidUrl = static_cast<int32_t>(0x800C0002);
inline constexpr int32_t kAbort = static_cast<int32_t>(0x80004004);

class SimUrlDownloader : public UrlDownloader {
 public:
  SimUrlDownloader(bool available, bool lenient, FileSystem& files, Registry& registry,
                   Network& network, std::string cache_folder)
      : available_(available),
        lenient_(lenient),
        files_(files),
        registry_(registry),
        network_(network),
        cache_folder_(std::move(cache_folder)) {}

  bool Available() override { return available_; }
  int32_t DownloadToCacheFile(const std::string& address, UrlDownloadCallback& callback,
                              std::string* cache_file) override;
  bool SetProcessCredentials(const std::string& user, const std::string& password) override;

 private:
  int ReceiveTimeoutMs();

  const bool available_;
  const bool lenient_;  // success whatever the transfer gave
  FileSystem& files_;
  Registry& registry_;
  Network& network_;
  const std::string cache_folder_;  // with a trailing backslash
  std::mutex mutex_;
  std::string user_, password_;
  unsigned counter_ = 0;
};

}  // namespace corvane::platform::sim
