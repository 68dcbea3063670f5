// Registry commands: reading and testing values, deleting values and keys at once, scheduling
// writes through the installer database, and choosing the platform that the script targets.
#include "platform/registry.h"

#include <optional>
#include <string>

#include "commands/deletion_guard.h"
#include "commands/sixty_four.h"
#include "image/failure.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "platform/numbers.h"

namespace corvane::commands {

namespace {

using interp::CommandContext;
using platform::RegRoot;
using platform::RegType;
using platform::RegView;
using platform::Status;

constexpr const char* kNoKey = "NO$KEY";
constexpr const char* kNoValue = "NO$VALUE";
constexpr const char* kUnknownType = "UNKNOWN$TYPE";
constexpr const char* kReadError = "READ$ERROR";

// Root numbers 0-4; any other number is HKEY_CURRENT_USER.
RegRoot RootOf(int32_t number) {
  switch (number) {
    case 0: return RegRoot::kClassesRoot;
    case 2: return RegRoot::kLocalMachine;
    case 3: return RegRoot::kUsers;
    case 4: return RegRoot::kCurrentConfig;
    default: return RegRoot::kCurrentUser;
  }
}

int32_t RootNumberOrFail(const std::string& text) {
  std::optional<int32_t> v = platform::ParseScriptInteger(text);
  if (!v) throw image::ScriptFailure("'" + text + "' is not a valid integer value");
  return *v;
}

std::string HexBytes(const std::string& data) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : data) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0xF];
  }
  return out;
}

}  // namespace

// A registry value as the script sees it, or one of the result codes.
std::string RegistryValueText(platform::Registry& reg, RegRoot root, const std::string& key,
                              const std::string& name, RegView view) {
  if (reg.KeyExists(root, key, view) != Status::kOk) return kNoKey;
  platform::RegValue value;
  Status s = reg.ReadValue(root, key, name, view, &value);
  if (s == Status::kNotFound) return kNoValue;
  if (s != Status::kOk) return kReadError;
  switch (value.type) {
    case RegType::kString:
    case RegType::kExpandString:
      return value.data;
    case RegType::kDword: {
      std::string bytes = value.data;
      bytes.resize(4, '\0');
      uint32_t v = 0;
      for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[static_cast<size_t>(i)]);
      return std::to_string(static_cast<int32_t>(v));
    }
    case RegType::kBinary:
      return HexBytes(value.data);
    case RegType::kMultiString: {
      // The strings up to the first empty one, joined by the line-break token.
      std::string out;
      size_t pos = 0;
      bool first = true;
      while (pos < value.data.size()) {
        size_t end = value.data.find('\0', pos);
        if (end == std::string::npos) end = value.data.size();
        if (end == pos) break;
        if (!first) out += "$NEWLINE$";
        out.append(value.data, pos, end - pos);
        first = false;
        pos = end + 1;
      }
      return out;
    }
    default:
      return kUnknownType;
  }
}

namespace {

void ReadOrCheck(CommandContext& ctx, bool check) {
  const auto& p = ctx.params();
  RegView view = CommandRegistryView(ctx.session());
  std::string name = p.Name(1);
  ctx.DefineResult(name);
  RegRoot root = RootOf(RootNumberOrFail(p.Expanded(2)));
  std::string result;
  try {
    result = RegistryValueText(ctx.platform().registry(), root, p.Path(3), p.Path(4), view);
  } catch (const std::exception&) {
    result = kReadError;
  }
  if (!check && (result == kReadError || result == kNoKey || result == kNoValue ||
                 result == kUnknownType || result == "BINARY$VALUE")) {
    result.clear();
  }
  ctx.SetResult(name, result);
}

void RunReadRegistry(CommandContext& ctx) { ReadOrCheck(ctx, false); }
void RunCheckRegistry(CommandContext& ctx) { ReadOrCheck(ctx, true); }
CORVANE_COMMAND("Read Registry", RunReadRegistry);
CORVANE_COMMAND("Check Registry", RunCheckRegistry);

void RunDeleteRegistry(CommandContext& ctx) {
  const auto& p = ctx.params();
  interp::Session& s = ctx.session();
  RegView view = CommandRegistryView(s);
  RegRoot root = RootOf(RootNumberOrFail(p.Expanded(1)));
  std::string key = p.Path(2);
  platform::Registry& reg = ctx.platform().registry();
  const bool whole_key = p.Bool(4);
  // A path built from a variable that is empty now names a larger key than the script meant
  // ("...\Uninstall\$CODE$" the whole Uninstall key, "Software\$X$\Sub" another product's key):
  // refused, as are empty names in the path and, for a whole key, the keys the system and other
  // products share. An empty value name written as such still names the default value; one that
  // a reference made empty is refused too.
  std::string refused = RefusedRegistryKey(root, key, whole_key);
  if (refused.empty() && HasEmptyReference(ctx.variables(), p.Raw(2))) {
    refused = "a variable in the key path is empty";
  }
  if (refused.empty() && !whole_key && HasEmptyReference(ctx.variables(), p.Raw(3)) &&
      p.Path(3).empty()) {
    refused = "a variable in the value name is empty";
  }
  if (!refused.empty()) {
    s.Trace("Delete Registry refused \"" + key + "\": " + refused);
    return;
  }
  if (whole_key) {
    if (IsWindows64(s) && Is64BitMode(s)) {
      // Only a key without subkeys goes (what RegDeleteKeyEx does).
      size_t cut = key.rfind('\\');
      if (cut == std::string::npos) return;
      std::vector<std::string> subkeys;
      if (reg.EnumKeys(root, key, view, &subkeys) != Status::kOk || !subkeys.empty()) return;
      reg.DeleteKeyTree(root, key, view);
    } else {
      reg.DeleteKeyTree(root, key, view);
    }
    return;
  }
  if (reg.KeyExists(root, key, view) == Status::kOk) reg.DeleteValue(root, key, p.Path(3), view);
}
CORVANE_COMMAND("Delete Registry", RunDeleteRegistry);

void RunWriteRegistry(CommandContext& ctx) {
  const auto& p = ctx.params();
  ctx.ActivateInstallerTableCommand();
  for (int n = 3; n <= 5; ++n) {
    if (p.Raw(n).find('$') != std::string::npos) ctx.RecordSlot(n - 2, p.Path(n));
  }
}
CORVANE_COMMAND("Write Registry", RunWriteRegistry);

void RunSet64BitMode(CommandContext& ctx) {
  const auto& p = ctx.params();
  interp::Session& s = ctx.session();
  if (p.Bool(1)) SetPlatformText(s, "Win32");
  if (p.Bool(2)) SetPlatformText(s, "ia64");
  if (p.Bool(3)) SetPlatformText(s, "x64");
}
CORVANE_COMMAND("Set 64 Bit Mode", RunSet64BitMode);

}  // namespace

}  // namespace corvane::commands
