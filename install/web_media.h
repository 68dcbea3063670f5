// Web media: the blocks a web build downloads on first use. "Web Media Block" names a block and
// its mirrors; a command whose files lie in a block fetches it with GetWebMedia before it runs,
// which downloads the block's archive into the engine cache, extracts it there and marks the
// block complete (asking whether to retry when a download or an extraction fails). The same
// routine, for the block "OFFLINE\", copies the setup's own offline media into the cache.
//
// The run's web media state (per block: addresses, archive name, password; the resume flag,
// the proxy fields, the archives beside the setup that the user refused, the downloader) lives
// in a WebMedia attached to the session on first use. Main thread only, but for the jobs.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "install/http_client.h"

namespace corvane::interp {
class CommandContext;
class Session;
}  // namespace corvane::interp

namespace corvane::install {

class WebDownloader;

inline constexpr const char* kDownloadFailedText =
    "Unable to download installation data from the web";
inline constexpr const char* kExtractFailedText =
    "Unable to extract installation data downloaded from the web";
inline constexpr const char* kCopyFailedText = "Unable to copy installation data to local folders";
inline constexpr const char* kOfflineBlock = "OFFLINE\\";

struct WebBlock {
  std::vector<std::string> addresses;
  std::string name;      // as the script named it, without a trailing backslash
  std::string password;  // clear text
};

class WebMedia {
 public:
  explicit WebMedia(interp::Session& session);
  ~WebMedia();

  // The state of the run (made on first use, kept until the run ends).
  static WebMedia& Of(interp::Session& session);

  // Web Media Block: the block becomes current and keeps its own addresses and password.
  void DefineBlock(const std::string& name, const std::string& addresses_text);
  // The block a fetch uses: the one the script defined under that name (letter case and a
  // trailing backslash ignored), else the current one.
  WebBlock BlockFor(const std::string& block) const;

  // Fetches a block (its folder name with a trailing backslash, or "OFFLINE\"). True when its
  // files are in the cache; otherwise *failure holds the text to show.
  bool GetWebMedia(interp::CommandContext& ctx, const std::string& block, std::string* failure);

  WebDownloader& downloader() { return *downloader_; }
  bool resume() const { return resume_; }
  const ProxyFields& proxy() const { return proxy_; }
  const std::set<std::string>& refused_archives() const { return refused_; }
  const std::string& cache_folder() const { return cache_folder_; }

 private:
  bool Fetch(interp::CommandContext& ctx, const std::string& block, bool& resume,
             std::string* failure);
  std::string CacheFolder();
  void MoveCacheFolder(const std::string& from, const std::string& to);
  bool CopyOffline(interp::CommandContext& ctx, const std::string& block, std::string* failure);
  void Compress(const std::string& folder);
  bool Cancelled();
  std::string ExpectedSha256(const std::string& name) const;

  interp::Session& session_;
  std::map<std::string, WebBlock> blocks_;  // by upper-cased name
  WebBlock current_;
  bool resume_ = true;
  ProxyFields proxy_;
  std::set<std::string> refused_;  // upper-cased paths of local archives not to use again
  std::string cache_folder_;       // the cache folder the last call used
  std::shared_ptr<WebDownloader> downloader_;
};

// The fetch of a command whose files lie in a web media block (Install Files, plug-in actions,
// Install Assembly, Install ODBC Driver, Install Service): in a web build, when the command has a
// block and ABORTEDONERROR is not true. A failure is shown and then ends the script
// (ABORTONERROR) or sets ABORTEDONERROR; the command goes on either way.
// Returns true when the failure ends the script.
bool FetchCommandMedia(interp::CommandContext& ctx);

// Apply Changes in a web build: the offline media into the cache, unless ABORTEDONERROR. Returns
// true when a failure ends the script.
bool FetchOfflineMedia(interp::CommandContext& ctx);

}  // namespace corvane::install
