// The engine message set: the engine's own user-interface texts (messages, window captions,
// button and menu captions), 115 numbered lines with built-in texts, which a language file
// replaces. Every layer takes these texts from the one set of its run.
//
// A language file is plain 8-bit text: a first block of 115 lines (line N replaces text N), then
// any number of further blocks, each headed by one line naming a language ("German") and followed
// by its 115 lines. The block whose name is the user's language replaces the first block's
// texts; without one the first block stays. Lines 91 to 111 are reserved: read and ignored.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace corvane::image {

// Line numbers of the texts, as a language file orders them.
namespace msg {
inline constexpr int kCommonControlsMissing = 1;
inline constexpr int kResourceNotFound = 2;
inline constexpr int kResourceDamaged = 3;
inline constexpr int kDatabaseNotFound = 4;
inline constexpr int kInstallRuntimeError = 5;
inline constexpr int kBytes = 6;
inline constexpr int kKilobytes = 7;
inline constexpr int kMegabytes = 8;
inline constexpr int kGetUndefinedVariable = 9;
inline constexpr int kSetUndefinedVariable = 10;
inline constexpr int kCopying = 11;
inline constexpr int kCopyFailed = 12;
inline constexpr int kDownloadingWebMedia = 13;
inline constexpr int kDownloadFailed = 14;
inline constexpr int kExtractingWebMedia = 15;
inline constexpr int kExtractFailed = 16;
inline constexpr int kLocateSources = 17;
inline constexpr int kSourcesNotFound = 18;
inline constexpr int kGeneralFailure = 19;
inline constexpr int kScriptRuntimeError = 20;
inline constexpr int kPercentComplete = 21;
inline constexpr int kBytesReceived = 22;
inline constexpr int kWizardCaption = 23;
inline constexpr int kPreparing = 24;
inline constexpr int kRetryDownloadCaption = 25;
inline constexpr int kRetryDownloadText = 26;
inline constexpr int kProxyGroup = 27;
inline constexpr int kProxyServer = 28;
inline constexpr int kProxyPort = 29;
inline constexpr int kResumeLaterNote = 30;
inline constexpr int kYes = 31;
inline constexpr int kNo = 32;
inline constexpr int kRetryExtractionCaption = 33;
inline constexpr int kRetryExtractionText = 34;
inline constexpr int kDownloadFreshCopy = 35;
inline constexpr int kExtractAgain = 36;
inline constexpr int kKeepDownloadNote = 37;
inline constexpr int kOk = 38;
inline constexpr int kCancel = 39;
inline constexpr int kCancelQuestion = 40;
inline constexpr int kProxyUser = 41;
inline constexpr int kProxyPassword = 42;
inline constexpr int kFatalError = 43;
inline constexpr int kError = 44;
inline constexpr int kWarning = 45;
inline constexpr int kMessage = 46;
inline constexpr int kFilesInUse = 47;
inline constexpr int kOutOfDiskSpace = 48;
inline constexpr int kDownloadFailedOffline = 49;
inline constexpr int kWouldYouLike = 50;
inline constexpr int kResumeBrokenDownload = 51;
inline constexpr int kDownloadNewCopy = 52;
inline constexpr int kCancelResumeNote = 53;
// The status texts of a web download, in the order of the download status codes from 0.
inline constexpr int kDownloadStatusFirst = 54;
inline constexpr int kDownloadStatusLast = 87;
inline constexpr int kPendingOperations = 88;
inline constexpr int kSelectLanguageCaption = 89;
inline constexpr int kSelectLanguageText = 90;
inline constexpr int kReservedFirst = 91;
inline constexpr int kReservedLast = 111;
inline constexpr int kUnableToPlayMovie = 112;
inline constexpr int kInstallLocal = 113;
inline constexpr int kInstallEntireLocal = 114;
inline constexpr int kEntireUnavailable = 115;
inline constexpr int kCount = 115;
}  // namespace msg

class EngineMessages {
 public:
  // The built-in texts.
  EngineMessages();

  // Text of a line (1 to 115); the empty text for any other number and for the reserved lines.
  const std::string& Text(int line) const;
  // Replaces the text of a line; numbers outside 1 to 115 and the reserved lines are ignored.
  void Set(int line, std::string text);
  // The built-in text of a line.
  static std::string_view BuiltIn(int line);

 private:
  std::array<std::string, msg::kCount + 1> texts_;  // [0] stays empty
};

// Reads a language file's text into the set. `user_language` is the name of the user's Windows
// language (compared with the block names ignoring letter case). A block that ends early leaves
// the texts it did not reach as they were. Only the first 16 MiB of a file are read: a language
// file is a few kilobytes, and a larger one is not allowed to take the memory of the run.
void LoadLanguageFile(std::string_view contents, std::string_view user_language,
                      EngineMessages* messages);

inline constexpr size_t kMaxLanguageFileBytes = size_t{16} << 20;

// The same for a file (its first kMaxLanguageFileBytes). False when it cannot be read; the set
// is then unchanged.
bool LoadLanguageFileAt(platform::FileSystem& files, const std::string& path,
                        std::string_view user_language, EngineMessages* messages);

}  // namespace corvane::image
