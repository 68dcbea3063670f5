#include "install/grab_media.h"

#include "install/sha256.h"
#include "platform/text.h"

namespace corvane::install {

std::vector<std::string> SplitAddresses(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find('\n', at);
    std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
      line.pop_back();
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.erase(0, 1);
    if (!line.empty()) out.push_back(line);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return out;
}

void GrabMediaJob::Work(ui::ProgressChannel& progress) {
  if (f_.target.empty()) return;
  platform::FileSystem& files = platform_.files();
  size_t slash = f_.target.find_last_of('\\');
  if (slash != std::string::npos) files.CreateDirectories(f_.target.substr(0, slash));
  auto status = [&](int percent, const std::string& text) {
    progress.Publish(f_.status_prefix + "\r" + text, 0, 100, percent);
    return !terminate_requested();
  };
  for (const std::string& address : f_.addresses) {
    if (terminate_requested()) return;
    WebDownloader::Request request;
    request.address = address;
    request.target = f_.target;
    request.proxy = f_.proxy;
    request.resume = f_.resume;
    request.timeout_seconds = f_.timeout_seconds;
    request.should_stop = [this] { return terminate_requested(); };
    const bool complete = downloader_->DownloadFile(request, status);
    std::string outcome = address + ": " + downloader_->last_outcome();
    if (complete && !f_.sha256.empty()) {
      const std::string digest =
          FileSha256Hex(files, f_.target, [this] { return !terminate_requested(); });
      if (!platform::SameText(digest, f_.sha256)) {
        // Not the archive the setup was made with: this mirror failed, and what it gave is no
        // start for the next one.
        attempts_.push_back(outcome + ", but its SHA-256 is " + (digest.empty() ? "?" : digest) +
                            " instead of " + f_.sha256);
        files.SetAttributes(f_.target, platform::attr::kNormal);
        files.DeleteFile(f_.target);
        continue;
      }
      outcome += ", SHA-256 verified";
    }
    attempts_.push_back(outcome);
    if (complete) {
      succeeded_ = true;
      return;
    }
  }
}

}  // namespace corvane::install
