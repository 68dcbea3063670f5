// The system's own URL downloader (the URL moniker library of Windows, loaded at run time): it
// fetches an address into the system's download cache and reports its steps to a status callback,
// and the server's answer to the HTTP negotiation.
//
// Calls are made on the worker thread that downloads; the callback runs on that thread. The
// system's downloader is not trusted to judge success: the caller sees the status and headers the
// server sent and checks them itself.
#pragma once

#include <cstdint>
#include <string>

namespace corvane::platform {

// The bind status codes the downloader reports (BINDSTATUS_*).
namespace bindstatus {
constexpr uint32_t kFindingResource = 1;
constexpr uint32_t kConnecting = 2;
constexpr uint32_t kRedirecting = 3;
constexpr uint32_t kBeginDownloadData = 4;
constexpr uint32_t kDownloadingData = 5;
constexpr uint32_t kEndDownloadData = 6;
constexpr uint32_t kSendingRequest = 11;
constexpr uint32_t kMimeTypeAvailable = 13;
constexpr uint32_t kCacheFileNameAvailable = 14;
}  // namespace bindstatus

class UrlDownloadCallback {
 public:
  virtual ~UrlDownloadCallback() = default;
  // One step: its code, position and maximum (bytes; 0 when unknown) and its text. False cancels
  // the transfer.
  virtual bool OnProgress(uint32_t code, uint64_t position, uint64_t maximum,
                          const std::string& text) = 0;
  // The server's answer to the request: its status code and its response headers as sent (one
  // "Name: value" per line). Not called when no answer came.
  virtual void OnResponse(int status, const std::string& headers) = 0;
};

class UrlDownloader {
 public:
  virtual ~UrlDownloader() = default;
  // Whether the system has the downloader (its library and both download entries). Checked again
  // at every call.
  virtual bool Available() = 0;
  // Downloads `address` into the system's download cache (URLDownloadToCacheFile). Returns the
  // downloader's result (0: it says it succeeded); *cache_file receives the cache file's path
  // when it was reported.
  virtual int32_t DownloadToCacheFile(const std::string& address, UrlDownloadCallback& callback,
                                      std::string* cache_file) = 0;
  // Sets (or, with both texts empty, clears) the user name and password the process's
  // connections give a server that asks (the Internet options 28 and 29 of the system's
  // Internet library). False when that library or its entry is missing.
  virtual bool SetProcessCredentials(const std::string& user, const std::string& password) = 0;
};

// A system without the downloader.
class NoUrlDownloader : public UrlDownloader {
 public:
  bool Available() override { return false; }
  int32_t DownloadToCacheFile(const std::string&, UrlDownloadCallback&, std::string*) override {
    return -1;
  }
  bool SetProcessCredentials(const std::string&, const std::string&) override { return false; }
};

// Forwards every call; a test overrides the one it changes.
class UrlDownloaderWrapper : public UrlDownloader {
 public:
  explicit UrlDownloaderWrapper(UrlDownloader& inner) : inner_(inner) {}
  bool Available() override { return inner_.Available(); }
  int32_t DownloadToCacheFile(const std::string& address, UrlDownloadCallback& callback,
                              std::string* cache_file) override {
    return inner_.DownloadToCacheFile(address, callback, cache_file);
  }
  bool SetProcessCredentials(const std::string& user, const std::string& password) override {
    return inner_.SetProcessCredentials(user, password);
  }

 protected:
  UrlDownloader& inner_;
};

}  // namespace corvane::platform
