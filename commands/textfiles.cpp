// Text and INI file commands: reading a text file line by line (one file open at a time between
// commands), adding a line at the top or bottom of a file, reading an INI value, and scheduling
// INI edits through the installer database.
#include <string>
#include <vector>

#include "commands/engine_state.h"
#include "commands/sixty_four.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace corvane::commands {

namespace {

using interp::CommandContext;

constexpr std::string_view kReadAll = "#READALL\\";
constexpr size_t kProfileBuffer = 26000;

void RunReadFromTextFile(CommandContext& ctx) {
  FsView64 view(ctx.session());
  const auto& p = ctx.params();
  std::string path = p.Path(1);
  std::string line_name = p.Name(2), eof_name = p.Name(3);
  ctx.DefineResult(line_name);
  if (!eof_name.empty()) ctx.DefineResult(eof_name);
  bool read_all = path.starts_with(kReadAll);
  if (read_all) path.erase(0, kReadAll.size());

  TextReader& reader = StateOf(ctx.session()).reader;
  if (!platform::SameText(path, reader.path)) {
    reader.Close();
    reader.path.clear();
    platform::Status status = platform::Status::kOk;
    reader.file = ctx.platform().files().Open(path, platform::OpenMode::kRead, &status);
    if (!reader.file) {
      if (!eof_name.empty()) ctx.SetResult(eof_name, "TRUE");
      return;
    }
    reader.path = path;
  }
  if (!reader.AtEnd()) {
    if (read_all) {
      std::string all;
      bool first = true;
      while (!reader.AtEnd()) {
        if (!first) all += "$NEWLINE$";
        all += reader.ReadLine();
        first = false;
      }
      ctx.SetResult(line_name, all);
    } else {
      ctx.SetResult(line_name, reader.ReadLine());
    }
  }
  bool at_end = reader.AtEnd();
  if (at_end) {
    reader.path.clear();
    reader.Close();
  }
  if (!eof_name.empty()) ctx.SetResult(eof_name, at_end ? "TRUE" : "FALSE");
}
CORVANE_COMMAND("Read from Text File", RunReadFromTextFile);

}  // namespace

// The lines of a text, split at CR LF, CR or LF; a final line end adds no empty line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
    if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
  }
  return lines;
}

namespace {

void RunWriteToTextFile(CommandContext& ctx) {
  FsView64 view(ctx.session());
  const auto& p = ctx.params();
  std::string path = p.Path(1);
  std::string text = p.Expanded(2);
  bool first = p.Bool(3);
  TextReader& reader = StateOf(ctx.session()).reader;
  // Writing the file being read ends that reading; the reader's path stays, so the next read
  // reports the end of the file and the one after it starts again.
  if (platform::SameText(path, reader.path)) reader.Close();

  platform::FileSystem& fs = ctx.platform().files();
  std::string contents;
  std::vector<std::string> lines;
  if (fs.ReadFile(path, &contents) == platform::Status::kOk) {
    lines = SplitLines(contents);
  } else if (fs.FileExists(path)) {
    return;  // a file that could not be read is never rewritten: it would lose what it holds
  }
  if (first) {
    lines.insert(lines.begin(), text);
  } else {
    lines.push_back(text);
  }
  fs.SetAttributes(path, platform::attr::kNormal);
  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  fs.WriteFile(path, out);
}
CORVANE_COMMAND("Write to Text File", RunWriteToTextFile);

void RunGetIniFileSettings(CommandContext& ctx) {
  FsView64 view(ctx.session());
  const auto& p = ctx.params();
  std::string name = p.Name(1);
  ctx.DefineResult(name);
  std::string section = p.Path(3), key = p.Path(4);
  std::string value;
  if (!section.empty() && !key.empty()) {
    auto reader = platform::CreateProfileReader(ctx.platform());
    value = reader->GetString(p.Path(2), section, key, "", kProfileBuffer);
  }
  ctx.SetResult(name, value);
}
CORVANE_COMMAND("Get INI File Settings", RunGetIniFileSettings);

void RunEditIniFile(CommandContext& ctx) {
  const auto& p = ctx.params();
  ctx.ActivateInstallerTableCommand();
  ctx.RecordSlot(1, p.Path(1));
  ctx.RecordSlot(2, p.Path(4));
  ctx.RecordSlot(3, p.Path(5));
  ctx.RecordSlot(4, p.Path(6));
}
CORVANE_COMMAND("Edit INI File", RunEditIniFile);

}  // namespace

}  // namespace corvane::commands
