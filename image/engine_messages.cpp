#include "image/engine_messages.h"

#include <algorithm>
#include <memory>

#include "platform/text.h"

namespace corvane::image {

namespace {

// Lines 1 to 90 and 112 to 115; the reserved lines between have no text.
constexpr std::string_view kFirst[] = {
    "Please install the common controls update from Microsoft before attempting to install "
    "this product.",
    "Setup resource not found",
    "Setup resource decompression failure",
    "Setup database not found",
    "Runtime error in install: ",
    "bytes",
    "KB",
    "MB",
    "Attempting to get value of undefined variable ",
    "Attempting to set value of undefined variable ",
    "Copying: ",
    "Unable to copy installation data to local folders",
    "Downloading Web Media: ",
    "Unable to download installation data from the web",
    "Extracting Web Media: ",
    "Unable to extract installation data downloaded from the web",
    "Please locate your original setup sources to continue operation",
    "Original setup sources required to complete operation, sources not found",
    "General setup failure",
    "Runtime error in setup script:",
    "% complete",
    "bytes received",
    "Corvane Wizard",
    "Corvane is preparing the Corvane Wizard which will install this application. Please wait.",
    "Retry Download?",
    "Downloading of installation data from the web has failed. Would you like to try again?",
    " Proxy Information (optional) ",
    "Proxy &Server:",
    "Proxy &Port:",
    "If you choose No, setup will exit. However, you will be able to resume your download from "
    "where it left off when you re-run setup.",
    "&Yes",
    "&No",
    "Retry Extraction?",
    "Extraction of installation data downloaded from the web has failed. What would you like "
    "to do?",
    "&Download a fresh copy of the installation data.",
    "Try to &extract the existing download data again.",
    "If you choose Cancel, setup will exit. Your existing download data will be preserved.",
    "&OK",
    "&Cancel",
    "Are you sure you want to cancel?",
    "Proxy &User:",
    "Proxy Pass&word:",
    "Fatal Error",
    "Error",
    "Warning",
    "Message",
    "Files in Use",
    "Out of Disk Space",
    "Downloading of installation data from the web has failed. Please make sure you are "
    "connected to the Internet.",
    "Would you like to:",
    "Try to &resume the broken download?",
    "Download a &new copy of the data instead?",
    "If you choose Cancel, setup will exit. However, you will be able to resume your download "
    "from where it left off when you re-run setup.",
    "",
    "Locating resource",
    "Connecting to",
    "Redirecting to",
    "Beginning data transfer",
    "Transferring data",
    "Finishing data transfer",
    "Beginning component download",
    "Installing components",
    "Finishing component download",
    "Resuming broken download",
    "Requesting data",
    "CLASSID available",
    "Download data recognized",
    "Saving download information",
    "Beginning synchronous operation",
    "Finishing synchronous operation",
    "Beginning data upload",
    "Uploading data",
    "Finishing data upload",
    "Protocol CLASSID",
    "Encoding",
    "Download data recognized and verified",
    "Class install location",
    "Decoding",
    "Loading data handler",
    "Content disposition attach",
    "Download data filtered",
    "CLSID can instantiate",
    "COM services unavailable",
    "Direct bind",
    "Unrecognized download data",
    "Detecting proxy information",
    "Accept ranges",
    "A previously executed setup still has pending operations on the system. Please restart "
    "your computer before attempting to install this product.",
    "Select Setup Language",
    "Please select the language to use during the installation:",
};
static_assert(std::size(kFirst) == msg::kReservedFirst - 1);

constexpr std::string_view kLast[] = {
    "Unable to play Flash movie",
    "Will be &installed on local hard drive",
    "&Entire feature will be installed on local hard drive",
    "Entire feature will be &unavailable",
};
static_assert(std::size(kLast) == msg::kCount - msg::kReservedLast);

bool Reserved(int line) { return line >= msg::kReservedFirst && line <= msg::kReservedLast; }

// Lines of a text file: a line ends at CR LF, LF or CR; a final line break starts no new line.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}
  bool Next(std::string_view* line) {
    if (at_ >= text_.size()) return false;
    size_t end = text_.find_first_of("\r\n", at_);
    if (end == std::string_view::npos) end = text_.size();
    *line = text_.substr(at_, end - at_);
    at_ = end;
    if (at_ < text_.size()) {
      const bool crlf = text_[at_] == '\r' && at_ + 1 < text_.size() && text_[at_ + 1] == '\n';
      at_ += crlf ? 2 : 1;
    }
    return true;
  }

 private:
  std::string_view text_;
  size_t at_ = 0;
};

// Reads up to one block of lines into the set; false when the text ended before the block did.
bool ReadBlock(LineReader& reader, EngineMessages* messages) {
  std::string_view line;
  for (int n = 1; n <= msg::kCount; ++n) {
    if (!reader.Next(&line)) return false;
    messages->Set(n, std::string(line));
  }
  return true;
}

bool SkipBlock(LineReader& reader) {
  std::string_view line;
  for (int n = 1; n <= msg::kCount; ++n) {
    if (!reader.Next(&line)) return false;
  }
  return true;
}

}  // namespace

EngineMessages::EngineMessages() {
  for (int line = 1; line <= msg::kCount; ++line) texts_[line] = std::string(BuiltIn(line));
}

std::string_view EngineMessages::BuiltIn(int line) {
  if (line >= 1 && line < msg::kReservedFirst) return kFirst[line - 1];
  if (line > msg::kReservedLast && line <= msg::kCount) return kLast[line - msg::kReservedLast - 1];
  return std::string_view();
}

const std::string& EngineMessages::Text(int line) const {
  return line >= 1 && line <= msg::kCount ? texts_[line] : texts_[0];
}

void EngineMessages::Set(int line, std::string text) {
  if (line < 1 || line > msg::kCount || Reserved(line)) return;
  texts_[line] = std::move(text);
}

void LoadLanguageFile(std::string_view contents, std::string_view user_language,
                      EngineMessages* messages) {
  if (contents.size() > kMaxLanguageFileBytes) contents = contents.substr(0, kMaxLanguageFileBytes);
  LineReader reader(contents);
  if (!ReadBlock(reader, messages)) return;
  // The named blocks: only the one of the user's language is taken. A file without it keeps its
  // first block, whatever languages follow.
  const std::string wanted = platform::UpperCase(user_language);
  std::string_view name;
  while (reader.Next(&name)) {
    if (!wanted.empty() && platform::UpperCase(name) == wanted) {
      ReadBlock(reader, messages);
      return;
    }
    if (!SkipBlock(reader)) return;
  }
}

bool LoadLanguageFileAt(platform::FileSystem& files, const std::string& path,
                        std::string_view user_language, EngineMessages* messages) {
  platform::Status status;
  std::unique_ptr<platform::File> file = files.Open(path, platform::OpenMode::kRead, &status);
  if (!file) return false;
  uint64_t size = 0;
  if (file->Size(&size) != platform::Status::kOk) return false;
  std::string contents(static_cast<size_t>(std::min<uint64_t>(size, kMaxLanguageFileBytes)), '\0');
  size_t got = 0;
  while (got < contents.size()) {
    size_t n = 0;
    if (file->Read(contents.data() + got, contents.size() - got, &n) != platform::Status::kOk) {
      return false;
    }
    if (n == 0) break;
    got += n;
  }
  contents.resize(got);
  LoadLanguageFile(contents, user_language, messages);
  return true;
}

}  // namespace corvane::image
