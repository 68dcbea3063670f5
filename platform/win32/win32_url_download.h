// The system's URL downloader of Windows: URLDownloadToCacheFileA of the URL moniker library with
// a bind status callback that also answers the HTTP negotiation (so that the server's status and
// headers reach the caller), and the process credentials through the Internet library's options
// 28 and 29. Both libraries are loaded at run time from the system folder, never imported.
#pragma once

#include "platform/url_download.h"

namespace corvane::platform::win32 {

class Win32UrlDownloader : public UrlDownloader {
 public:
  bool Available() override;
  int32_t DownloadToCacheFile(const std::string& address, UrlDownloadCallback& callback,
                              std::string* cache_file) override;
  bool SetProcessCredentials(const std::string& user, const std::string& password) override;
};

}  // namespace corvane::platform::win32
