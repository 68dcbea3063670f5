// The download job of the web media: the block's addresses tried in order until one gives the
// whole archive (and, when the setup carries the archive's SHA-256, the right one).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "install/web_download.h"
#include "ui/wait_loop.h"

namespace corvane::install {

class GrabMediaJob : public ui::BackgroundJob {
 public:
  struct Fields {
    std::vector<std::string> addresses;  // mirrors, in order
    std::string target;                  // the archive's path
    ProxyFields proxy;
    bool resume = true;
    std::string status_prefix;  // "Downloading Web Media: Block1"
    int timeout_seconds = 10;
    // Lower-case hexadecimal SHA-256 the archive must have; empty: not checked.
    std::string sha256;
  };
  GrabMediaJob(platform::Platform& platform, std::shared_ptr<WebDownloader> downloader,
               Fields fields)
      : platform_(platform), downloader_(std::move(downloader)), f_(std::move(fields)) {}
  void Work(ui::ProgressChannel& progress) override;

  bool succeeded() const { return succeeded_; }
  // One line per address tried: what became of it.
  const std::vector<std::string>& attempts() const { return attempts_; }

 private:
  platform::Platform& platform_;
  std::shared_ptr<WebDownloader> downloader_;
  const Fields f_;
  bool succeeded_ = false;
  std::vector<std::string> attempts_;
};

// The address lines of a block: one per line, blank lines left out.
std::vector<std::string> SplitAddresses(const std::string& text);

}  // namespace corvane::install
