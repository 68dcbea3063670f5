// Variable and string commands: cutting and replacing text, letter case, 64-bit arithmetic with
// the small random generator, the process environment, temporary files, path forms and disk space.
#include <cstdint>
#include <optional>
#include <string>

#include "commands/engine_state.h"
#include "commands/path_text.h"
#include "commands/sixty_four.h"
#include "image/failure.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "platform/numbers.h"
#include "platform/path_forms.h"
#include "platform/text.h"

namespace corvane::commands {

namespace {

using interp::CommandContext;

// Blanks and control characters at both ends.
std::string TrimControl(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

int32_t IntegerOrFail(const std::string& text) {
  std::optional<int32_t> v = platform::ParseScriptInteger(text);
  if (!v) throw image::ScriptFailure("'" + text + "' is not a valid integer value");
  return *v;
}

}  // namespace

// The two parts of Parse String for one mode; exposed for the table tests.
std::pair<std::string, std::string> CutText(const std::string& s, const std::string& d, int mode,
                                             bool ignore_case) {
  const std::string hay = ignore_case ? platform::LowerCase(s) : s;
  const std::string needle = ignore_case ? platform::LowerCase(d) : d;
  const long long len = static_cast<long long>(s.size());
  switch (mode) {
    case 0: {
      size_t at = needle.empty() ? std::string::npos : hay.find(needle);
      if (at == std::string::npos) return {s, ""};
      return {s.substr(0, at), s.substr(at + d.size())};
    }
    case 1: {
      size_t at = needle.empty() ? std::string::npos : hay.rfind(needle);
      if (at == std::string::npos) return {"", s};
      return {s.substr(0, at), s.substr(at + d.size())};
    }
    case 2:
    case 3: {
      std::optional<int32_t> count = platform::ParseScriptInteger(d);
      if (!count) return {"", ""};
      long long n = *count;
      if (mode == 2) {
        if (n <= 0) return {"", s};
        if (n >= len) return {s, ""};
        return {s.substr(0, static_cast<size_t>(n)), s.substr(static_cast<size_t>(n))};
      }
      if (n > len) return {"", s};
      if (n < 0) return {s, ""};
      if (n == len) return {"", ""};
      size_t p = static_cast<size_t>(len - n);
      return {s.substr(0, p), s.substr(p)};
    }
    default:
      return {"", ""};
  }
}

namespace {

void RunParseString(CommandContext& ctx) {
  const auto& p = ctx.params();
  std::string s = p.Path(1);
  std::string d = p.Path(2);
  std::string left_name = p.Name(3), right_name = p.Name(4);
  if (!left_name.empty()) ctx.DefineResult(left_name);
  if (!right_name.empty()) ctx.DefineResult(right_name);
  int mode = IntegerOrFail(p.Expanded(5));
  auto [left, right] = CutText(s, d, mode, p.Bool(7));
  if (p.Bool(6)) {
    left = TrimControl(left);
    right = TrimControl(right);
  }
  if (!left_name.empty()) ctx.SetResult(left_name, left);
  if (!right_name.empty()) ctx.SetResult(right_name, right);
}
CORVANE_COMMAND("Parse String", RunParseString);

}  // namespace

std::string ReplaceText(const std::string& source_raw, const std::string& search_raw,
                        const std::string& replacement_raw, bool ignore_case, bool all) {
  std::string source = interp::NewlinesToToken(source_raw);
  std::string search = interp::NewlinesToToken(search_raw);
  std::string replacement = interp::NewlinesToToken(replacement_raw);
  if (search.empty() || search.size() > source.size()) return source;
  const std::string hay = ignore_case ? platform::UpperCase(source) : source;
  const std::string needle = ignore_case ? platform::UpperCase(search) : search;
  std::string out;
  size_t from = 0;
  while (from <= hay.size()) {
    size_t at = hay.find(needle, from);
    if (at == std::string::npos) break;
    out.append(source, from, at - from);
    out += replacement;
    from = at + needle.size();
    if (!all) break;
  }
  out.append(source, from, std::string::npos);
  return out;
}

namespace {

void RunReplaceString(CommandContext& ctx) {
  const auto& p = ctx.params();
  std::string name = p.ResultName(1);
  std::string value = ctx.variables().GetVariable(name);
  ctx.SetResult(name, ReplaceText(value, p.Expanded(2), p.Expanded(3), p.Bool(4), p.Bool(5)));
}
CORVANE_COMMAND("Replace String", RunReplaceString);

void RunConvertCase(CommandContext& ctx) {
  const auto& p = ctx.params();
  std::string name = p.Name(1);
  std::string value = ctx.variables().ExpandPath(ctx.variables().GetVariable(name));
  ctx.SetResult(name, p.Bool(2) ? platform::UpperCase(value) : platform::LowerCase(value));
}
CORVANE_COMMAND("Convert Case", RunConvertCase);

}  // namespace

// One Mathematics operation; nullopt where the command stores the empty text.
std::optional<std::string> Calculate(CommandsState& st, const std::string& a_text,
                                     const std::string& b_text, const std::string& code_text) {
  std::optional<int64_t> code = platform::ParseDecimal64(code_text);
  if (!code) return std::nullopt;
  int64_t a = 0, b = 0;
  if (*code != 11) {
    auto v = platform::ParseDecimal64(a_text);
    if (!v) return std::nullopt;
    a = *v;
  }
  if (*code < 10 || *code == 13) {
    auto v = platform::ParseDecimal64(b_text);
    if (!v) return std::nullopt;
    b = *v;
  }
  const uint64_t ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(b);
  auto text = [](int64_t v) { return std::optional<std::string>(std::to_string(v)); };
  auto wrap = [](uint64_t v) { return static_cast<int64_t>(v); };
  switch (*code) {
    case 0: return text(wrap(ua + ub));
    case 1: return text(wrap(ua - ub));
    case 2: return text(wrap(ua * ub));
    case 3:
    case 4:
      // Division by zero and the one quotient that overflows are failures of the command.
      if (b == 0 || (a == INT64_MIN && b == -1)) return std::nullopt;
      return text(*code == 3 ? a / b : a % b);
    case 5: return text(wrap(ua & ub));
    case 6: return text(wrap(ua | ub));
    case 7: return text(wrap(ua ^ ub));
    case 8:
    case 9: {
      uint64_t shift = ub & 0xFF;  // B mod 256
      if (shift >= 64) return text(0);
      return text(wrap(*code == 8 ? ua << shift : ua >> shift));
    }
    case 10: return text(wrap(~ua));
    case 11:
      if (a_text.empty()) return std::nullopt;
      return text(static_cast<unsigned char>(a_text[0]));
    case 12: return std::string(1, static_cast<char>(ua & 0xFF));
    case 13:
      st.rng_multiplier = static_cast<int32_t>(static_cast<uint32_t>(ua));
      st.rng_increment = static_cast<int32_t>(static_cast<uint32_t>(ub));
      return text(wrap(ua + ub));
    case 14:
      st.rng_state = static_cast<int32_t>(static_cast<uint32_t>(ua));
      return text(st.rng_state);
    case 15: {
      uint32_t x32 = static_cast<uint32_t>(st.rng_multiplier) * static_cast<uint32_t>(st.rng_state) +
                     static_cast<uint32_t>(st.rng_increment);
      int64_t x = static_cast<int32_t>(x32);
      st.rng_state = static_cast<int32_t>(x % 32767);
      if (a == 0) return std::nullopt;
      return text(x % a);
    }
    default:
      return std::nullopt;
  }
}

namespace {

void RunMathematics(CommandContext& ctx) {
  const auto& p = ctx.params();
  std::string name = p.Name(4);
  ctx.DefineResult(name);
  std::optional<std::string> result;
  try {
    result = Calculate(StateOf(ctx.session()), p.Expanded(1), p.Expanded(2), p.Expanded(3));
  } catch (const std::exception&) {
    result.reset();
  }
  ctx.SetResult(name, result.value_or(""));
}
CORVANE_COMMAND("Mathematics", RunMathematics);

constexpr size_t kEnvironmentBuffer = 266240;

void RunGetEnvironment(CommandContext& ctx) {
  FsView64 view(ctx.session());
  const auto& p = ctx.params();
  std::string name = p.Expanded(1);
  std::string result;
  platform::SystemInfo& sys = ctx.platform().system();
  if (!name.empty()) {
    result = sys.ExpandEnvironment("%" + name + "%");
    if (result.size() > kEnvironmentBuffer - 1) result.resize(kEnvironmentBuffer - 1);
  } else {
    for (const auto& [n, v] : sys.EnvironmentBlock()) {
      if (!result.empty()) result += "$NEWLINE$";
      result += n + "=" + v;
    }
  }
  ctx.SetResult(p.ResultName(2), result);
}
CORVANE_COMMAND("Get Environment", RunGetEnvironment);

void RunSetEnvironment(CommandContext& ctx) {
  FsView64 view(ctx.session());
  ctx.ActivateInstallerTableCommand();
  ctx.RecordSlot(1, ctx.params().Path(2));
}
CORVANE_COMMAND("Set Environment", RunSetEnvironment);

void RunGetTemporaryFile(CommandContext& ctx) {
  FsView64 view(ctx.session());
  std::string path;
  auto forms = platform::CreatePathForms(ctx.platform());
  if (forms->CreateTempFile(ctx.platform().system().TempFolder(), "zel", &path) !=
      platform::Status::kOk) {
    path.clear();
  }
  ctx.SetResult(ctx.params().ResultName(1), path);
}
CORVANE_COMMAND("Get Temporary File", RunGetTemporaryFile);

}  // namespace

// The long form of a path: every component as the file system spells it.
std::string LongPathOf(platform::PathForms& forms, std::string path) {
  std::erase(path, '"');
  if (!path.empty() && path.back() == '\\') path.pop_back();
  std::string folder = ExtractFilePath(path);
  if (folder == path) return path;
  std::string converted = LongPathOf(forms, folder);
  std::string name;
  if (forms.FindFirstName(path, &name) != platform::Status::kOk) return path;
  return converted + "\\" + name;
}

namespace {

void RunConvertPath(CommandContext& ctx) {
  FsView64 view(ctx.session());
  const auto& p = ctx.params();
  std::string name = p.Name(1);
  std::string value = ctx.variables().ExpandPath(ctx.variables().GetVariable(name));
  std::string result;
  auto forms = platform::CreatePathForms(ctx.platform());
  if (p.Bool(2)) {
    // A path whose short form cannot be had (it does not exist) stays as it is.
    if (forms->GetShortPath(value, &result) != platform::Status::kOk) result = value;
  } else {
    result = LongPathOf(*forms, value);
  }
  ctx.SetResult(name, result);
}
CORVANE_COMMAND("Convert Path", RunConvertPath);

void RunExtractPath(CommandContext& ctx) {
  const auto& p = ctx.params();
  std::string name = p.Name(1);
  std::string value = ctx.variables().ExpandPath(ctx.variables().GetVariable(name));
  int mode = IntegerOrFail(p.Expanded(2));
  ctx.SetResult(name, ExtractPathPart(value, mode));
}
CORVANE_COMMAND("Extract Path", RunExtractPath);

void RunCheckDiskSpace(CommandContext& ctx) {
  FsView64 view(ctx.session());
  const auto& p = ctx.params();
  std::string name = p.ResultName(1);
  ctx.DefineResult(name);
  uint64_t free_bytes = 0, total_bytes = 0;
  if (ctx.platform().files().GetDiskSpace(p.Path(2), &free_bytes, &total_bytes) !=
      platform::Status::kOk) {
    free_bytes = total_bytes = 0;
  }
  ctx.SetResult(name, std::to_string(p.Bool(3) ? free_bytes : total_bytes));
}
CORVANE_COMMAND("Check Disk Space", RunCheckDiskSpace);

}  // namespace

}  // namespace corvane::commands
