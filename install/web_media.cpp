#include "install/web_media.h"

#include <algorithm>

#include "commands/deletion_guard.h"
#include "image/script_image.h"
#include "install/archive_access.h"
#include "install/engine_cache.h"
#include "install/grab_media.h"
#include "install/media_jobs.h"
#include "install/sha256.h"
#include "install/web_download.h"
#include "interp/session.h"
#include "interp/variables.h"
#include "platform/text.h"
#include "ui/engine_dialogs.h"
#include "ui/wait_loop.h"

namespace corvane::install {

namespace {

using platform::Status;

constexpr const char* kMediaHashPrefix = "MEDIASHA256.";

std::string WithBackslash(std::string path) {
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path;
}

std::string WithoutBackslash(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

std::string FileNameOf(const std::string& path) {
  size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The watchdog-guarded wait of one media job; the command reports a cancel itself.
bool RunJob(interp::CommandContext& ctx, std::shared_ptr<ui::BackgroundJob> job) {
  ui::WaitOptions options;
  options.report_cancel = false;
  ui::WaitLoop loop(options);
  loop.Run(ctx, job);
  return !loop.abandoned();
}

}  // namespace

WebMedia::WebMedia(interp::Session& session) : session_(session) {
  downloader_ = std::make_shared<WebDownloader>(session.platform, session.variables.store());
}

WebMedia::~WebMedia() = default;

WebMedia& WebMedia::Of(interp::Session& session) {
  if (WebMedia* w = session.Find<WebMedia>()) return *w;
  auto owned = std::make_shared<WebMedia>(session);
  session.Attach<WebMedia>(owned.get());
  // The exit clean-up keeps the only reference; the session forgets it there.
  session.exit_cleanups.push_back([owned, &session] {
    if (session.Find<WebMedia>() == owned.get()) session.Attach<WebMedia>(nullptr);
  });
  return *owned;
}

void WebMedia::DefineBlock(const std::string& name, const std::string& addresses_text) {
  WebBlock b;
  b.name = WithoutBackslash(name);
  b.addresses = SplitAddresses(addresses_text);
  std::string scrambled = image::FindMediaPassword(session_.image, b.name);
  if (scrambled.empty()) scrambled = image::FindMediaPassword(session_.image, "offline");
  b.password = image::DescrambleText(scrambled);
  blocks_[platform::UpperCase(b.name)] = b;
  current_ = b;
}

WebBlock WebMedia::BlockFor(const std::string& block) const {
  auto it = blocks_.find(platform::UpperCase(WithoutBackslash(block)));
  return it != blocks_.end() ? it->second : current_;
}

std::string WebMedia::ExpectedSha256(const std::string& name) const {
  const auto& lines = session_.image.compiler_variables.lines();
  const std::string wanted = kMediaHashPrefix + name;
  for (size_t i = 0; i + 1 < lines.size(); i += 2) {
    if (platform::SameText(lines[i], wanted)) return platform::LowerCase(lines[i + 1]);
  }
  return "";
}

std::string WebMedia::CacheFolder() {
  if (EngineCache* cache = session_.Find<EngineCache>()) return cache->CurrentCacheFolder();
  return WithBackslash(session_.variables.GetVariable("ENGINECACHE"));
}

void WebMedia::Compress(const std::string& folder) {
  const bool compress =
      interp::TextToBool(session_.variables.GetVariable("VORT_COMPRESS_INSTALLER_CACHE"));
  session_.platform.shell().SetCompression(WithoutBackslash(folder), compress);
}

bool WebMedia::Cancelled() {
  return interp::TextToBool(session_.variables.GetVariable("VORT_IsCancelled"));
}

// Each block's folder of the old cache folder goes to a folder of the same name in the new one;
// the files right in the old folder stay.
void WebMedia::MoveCacheFolder(const std::string& from, const std::string& to) {
  platform::FileSystem& files = session_.platform.files();
  files.CreateDirectories(WithoutBackslash(to));
  Compress(to);
  std::vector<platform::FileEntry> entries;
  if (files.List(WithoutBackslash(from), "*", &entries) != Status::kOk) return;
  std::sort(
      entries.begin(), entries.end(),
      [](const platform::FileEntry& a, const platform::FileEntry& b) { return a.name < b.name; });
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    if (!(it->attributes & platform::attr::kDirectory) ||
        (it->attributes & platform::attr::kReparsePoint)) {
      continue;
    }
    MoveFolderTree(files, from + it->name, to + it->name, true);
  }
}

bool WebMedia::GetWebMedia(interp::CommandContext& ctx, const std::string& block,
                           std::string* failure) {
  ui::BackgroundTaskScope busy(session_);
  const std::string folder = CacheFolder();
  if (!cache_folder_.empty() && !platform::SameText(cache_folder_, folder)) {
    MoveCacheFolder(cache_folder_, folder);
  }
  cache_folder_ = folder;
  session_.Trace("    <WebMediaCache " + folder + ">");
  return Fetch(ctx, block, resume_, failure);
}

bool WebMedia::Fetch(interp::CommandContext& ctx, const std::string& block, bool& resume,
                     std::string* failure) {
  interp::Variables& v = session_.variables;
  platform::FileSystem& files = session_.platform.files();
  if (interp::TextToBool(v.GetVariable("REMOVE"))) return true;
  const std::string c = cache_folder_;
  const std::string block_folder = c + WithBackslash(block);
  const std::string marker = block_folder + session_.image.revision_code;
  if (files.DirectoryExists(WithoutBackslash(block_folder))) {
    if (files.FileExists(marker)) return true;
    commands::DeleteOwnFolder(session_.platform, block_folder, c, true);
  }

  if (block == kOfflineBlock) {
    if (!CopyOffline(ctx, block, failure)) return false;
  } else {
    const WebBlock b = BlockFor(block);
    const std::string name = WithoutBackslash(block);
    const std::string archive = c + FileNameOf(b.name) + ".7zip";
    const std::string sha256 = ExpectedSha256(name);

    // An archive of that name beside the setup is used in place of a download.
    std::string setup_folder = v.GetVariable("SFXPATH");
    if (setup_folder.empty()) setup_folder = v.GetVariable("EXEDIR");
    const std::string local = WithBackslash(setup_folder) + FileNameOf(archive);
    bool use_local = !setup_folder.empty() && files.FileExists(local) &&
                     refused_.count(platform::UpperCase(local)) == 0;
    if (use_local && !sha256.empty() && !platform::SameText(FileSha256Hex(files, local), sha256)) {
      session_.Trace("    <WebMediaLocalArchiveRefused " + local + ">");
      refused_.insert(platform::UpperCase(local));
      use_local = false;
    }

    while (!use_local) {
      GrabMediaJob::Fields f;
      f.addresses = b.addresses;
      f.target = archive;
      f.proxy = proxy_;
      f.resume = resume;
      f.status_prefix = "Downloading Web Media: " + name;
      f.timeout_seconds = session_.download_timeout_seconds;
      f.sha256 = sha256;
      auto job = std::make_shared<GrabMediaJob>(session_.platform, downloader_, f);
      const bool ended = RunJob(ctx, job);
      const bool cancelled = Cancelled();
      if (ended) {
        for (const std::string& a : job->attempts())
          session_.Trace("    <WebMediaDownload " + a + ">");
      }
      if (ended && job->succeeded() && !cancelled) break;
      // A cancel ends the fetch: nobody is asked whether to try again.
      if (cancelled) {
        *failure = kDownloadFailedText;
        return false;
      }
      if (downloader_->using_system()) {
        ui::ResumeAnswer answer = ui::AskRetryDownloadResume(session_);
        if (!answer.retry) {
          *failure = kDownloadFailedText;
          return false;
        }
        resume = answer.resume;
      } else {
        ui::ProxyAnswer current;
        current.server = proxy_.server;
        current.port = proxy_.port;
        current.user = proxy_.user;
        current.password = proxy_.password;
        ui::ProxyAnswer answer = ui::AskRetryDownloadProxy(session_, current);
        if (!answer.retry) {
          *failure = kDownloadFailedText;
          return false;
        }
        proxy_ = ProxyFields{answer.server, answer.port, answer.user, answer.password};
      }
    }

    files.CreateDirectories(WithoutBackslash(block_folder));
    Compress(block_folder);
    std::shared_ptr<const RunArchive> archives = RunArchive::Of(session_);
    int cannot_open_count = 0;
    while (true) {
      MediaExtractJob::Fields f;
      f.archive = use_local ? local : archive;
      f.destination_root = c;
      f.password = b.password;
      f.keep_archive = use_local;
      f.status_prefix = "Extracting Web Media: " + name;
      f.copy_folder = v.GetVariable("COPYWEBLOCK");
      f.compress = interp::TextToBool(v.GetVariable("VORT_COMPRESS_INSTALLER_CACHE"));
      std::vector<std::string> lines;
      for (std::string_view l : session_.image.support_files.lines()) lines.emplace_back(l);
      f.placements = ReadPlacements(lines);
      auto job = std::make_shared<MediaExtractJob>(session_.platform, archives, f);
      const bool ended = RunJob(ctx, job);
      const bool cancelled = Cancelled();
      if (ended && job->succeeded() && !cancelled) break;
      if (ended && !job->error().empty()) {
        session_.Trace("    <WebMediaExtract " + name + ": " + job->error() + ">");
      }
      commands::DeleteOwnFolder(session_.platform, block_folder, c);
      if (!cancelled && ended && job->cannot_open() && ++cannot_open_count < 10) continue;
      if (cancelled) {
        *failure = kExtractFailedText;
        return false;
      }
      const ui::ExtractAnswer answer = ui::AskRetryExtraction(session_);
      if (answer == ui::ExtractAnswer::kCancel) {
        v.SetVariable("VORT_IsCancelled", "TRUE", "GrabMediaEx Extract Failure Cancel Trickle");
        *failure = kExtractFailedText;
        return false;
      }
      if (answer == ui::ExtractAnswer::kDownloadAgain) {
        if (use_local) {
          refused_.insert(platform::UpperCase(local));
        } else {
          files.SetAttributes(archive, platform::attr::kNormal);
          files.DeleteFile(archive);
        }
        bool fresh = false;
        return Fetch(ctx, block, fresh, failure);
      }
      files.CreateDirectories(WithoutBackslash(block_folder));
    }
  }

  files.CreateDirectories(WithoutBackslash(block_folder));
  Compress(block_folder);
  files.WriteFile(marker, "");
  return true;
}

bool WebMedia::CopyOffline(interp::CommandContext& ctx, const std::string& block,
                           std::string* failure) {
  interp::Variables& v = session_.variables;
  const std::string c = cache_folder_;
  session_.platform.files().CreateDirectories(c + "OFFLINE");
  Compress(c + "OFFLINE");
  MediaCopyJob::Fields f;
  EngineCache* cache = session_.Find<EngineCache>();
  f.source = cache && !cache->offline_source().empty()
                 ? cache->offline_source()
                 : WithBackslash(v.GetVariable("EXEDIR")) + "data\\";
  f.destination = c;
  f.compress = interp::TextToBool(v.GetVariable("VORT_COMPRESS_INSTALLER_CACHE"));
  f.copy_only = platform::SameText(image::ExpandCompilerVariables(session_.image, "#CACHESOURCES#"),
                                   "TRUE") &&
                session_.image.build_mode == image::ScriptImage::kWebBuild;
  f.own_folder = v.GetVariable("SUPPORTDIR");
  f.copy_folder = v.GetVariable("COPYWEBLOCK");
  if (!v.GetVariable("SFXPATH").empty()) {
    f.setup_file = WithBackslash(v.GetVariable("SFXPATH")) + v.GetVariable("SFXFILE");
  }
  auto job = std::make_shared<MediaCopyJob>(session_.platform, f);
  const bool ended = RunJob(ctx, job);
  if (ended && job->succeeded()) return true;
  commands::DeleteOwnFolder(session_.platform, c + WithBackslash(block), c);
  *failure = kCopyFailedText;
  return false;
}

bool FetchCommandMedia(interp::CommandContext& ctx) {
  interp::Session& s = ctx.session();
  if (s.image.build_mode != image::ScriptImage::kWebBuild) return false;
  const long index = ctx.index();
  if (index < 0 || static_cast<size_t>(index) >= s.image.command_media.size()) return false;
  const std::string block(s.image.command_media.At(index));
  if (block.empty()) return false;
  if (interp::TextToBool(s.variables.GetVariable("ABORTEDONERROR"))) return false;
  std::string failure;
  if (WebMedia::Of(s).GetWebMedia(ctx, block, &failure)) return false;
  return interp::ReportDownloadFailure(ctx, failure);
}

bool FetchOfflineMedia(interp::CommandContext& ctx) {
  interp::Session& s = ctx.session();
  if (s.image.build_mode != image::ScriptImage::kWebBuild) return false;
  if (interp::TextToBool(s.variables.GetVariable("ABORTEDONERROR"))) return false;
  std::string failure;
  if (WebMedia::Of(s).GetWebMedia(ctx, kOfflineBlock, &failure)) return false;
  return interp::ReportDownloadFailure(ctx, failure);
}

}  // namespace corvane::install
