// The Windows registry.
//
// Key paths are written without the root ("SOFTWARE\Vendor\Product"), in the engine's 8-bit code
// page, letter case not significant. Every call names the view it works in: on 64-bit Windows the
// 32-bit view redirects HKLM\SOFTWARE (and the classes under it) to its Wow6432Node subkey, the
// 64-bit view does not; on 32-bit Windows both views are the one registry. Calls may be made from
// any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace corvane::platform {

enum class RegRoot : uint8_t {
  kClassesRoot,
  kCurrentUser,
  kLocalMachine,
  kUsers,
  kCurrentConfig,
};

enum class RegView : uint8_t {
  kNative,   // the view of the running process (what a call without a view flag gets)
  kView32,   // KEY_WOW64_32KEY
  kView64,   // KEY_WOW64_64KEY
};

// REG_* value types; the numbers are the Windows ones.
enum class RegType : uint32_t {
  kNone = 0,
  kString = 1,        // REG_SZ
  kExpandString = 2,  // REG_EXPAND_SZ
  kBinary = 3,
  kDword = 4,
  kDwordBigEndian = 5,
  kLink = 6,
  kMultiString = 7,  // REG_MULTI_SZ
  kQword = 11,
};

// A value as stored. For the string types `data` is the 8-bit text without its terminating null;
// a multi-string holds its strings separated by single nulls (no trailing empty string). For every
// other type `data` is the raw bytes (a DWORD is 4 little-endian bytes).
struct RegValue {
  RegType type = RegType::kNone;
  std::string data;

  static RegValue String(std::string_view s) { return {RegType::kString, std::string(s)}; }
  static RegValue ExpandString(std::string_view s) {
    return {RegType::kExpandString, std::string(s)};
  }
  static RegValue Dword(uint32_t v);
  static RegValue Qword(uint64_t v);
  static RegValue Binary(std::string_view bytes) { return {RegType::kBinary, std::string(bytes)}; }
  // Numeric value of a DWORD (little- or big-endian) or QWORD, short data read as if padded with
  // zero bytes; 0 for other types.
  uint64_t AsNumber() const;
};

class Registry {
 public:
  virtual ~Registry() = default;

  virtual Status KeyExists(RegRoot root, const std::string& key, RegView view) = 0;
  // Creates the key and any missing parents; kOk when it exists already.
  virtual Status CreateKey(RegRoot root, const std::string& key, RegView view) = 0;
  // kNotFound when the key or the value does not exist. The empty name is the key's default value.
  virtual Status ReadValue(RegRoot root, const std::string& key, const std::string& name,
                           RegView view, RegValue* value) = 0;
  // Creates the key when needed.
  virtual Status WriteValue(RegRoot root, const std::string& key, const std::string& name,
                            RegView view, const RegValue& value) = 0;
  virtual Status DeleteValue(RegRoot root, const std::string& key, const std::string& name,
                             RegView view) = 0;
  // Deletes the key with all its subkeys and values.
  virtual Status DeleteKeyTree(RegRoot root, const std::string& key, RegView view) = 0;
  // Names of the direct subkeys, and of the values, in the registry's order.
  virtual Status EnumKeys(RegRoot root, const std::string& key, RegView view,
                          std::vector<std::string>* names) = 0;
  virtual Status EnumValues(RegRoot root, const std::string& key, RegView view,
                            std::vector<std::string>* names) = 0;
};

// Forwards every call to another Registry: derive from it to change one call in a test.
class RegistryWrapper : public Registry {
 public:
  explicit RegistryWrapper(Registry& target) : target_(target) {}
  Status KeyExists(RegRoot root, const std::string& key, RegView view) override {
    return target_.KeyExists(root, key, view);
  }
  Status CreateKey(RegRoot root, const std::string& key, RegView view) override {
    return target_.CreateKey(root, key, view);
  }
  Status ReadValue(RegRoot root, const std::string& key, const std::string& name, RegView view,
                   RegValue* value) override {
    return target_.ReadValue(root, key, name, view, value);
  }
  Status WriteValue(RegRoot root, const std::string& key, const std::string& name, RegView view,
                    const RegValue& value) override {
    return target_.WriteValue(root, key, name, view, value);
  }
  Status DeleteValue(RegRoot root, const std::string& key, const std::string& name,
                     RegView view) override {
    return target_.DeleteValue(root, key, name, view);
  }
  Status DeleteKeyTree(RegRoot root, const std::string& key, RegView view) override {
    return target_.DeleteKeyTree(root, key, view);
  }
  Status EnumKeys(RegRoot root, const std::string& key, RegView view,
                  std::vector<std::string>* names) override {
    return target_.EnumKeys(root, key, view, names);
  }
  Status EnumValues(RegRoot root, const std::string& key, RegView view,
                    std::vector<std::string>* names) override {
    return target_.EnumValues(root, key, view, names);
  }

 protected:
  Registry& target_;
};

// Parses "HKEY_LOCAL_MACHINE", "HKLM", "HKCU", ... (any letter case). False when unknown.
bool ParseRegRoot(std::string_view text, RegRoot* root);
const char* RegRootName(RegRoot root);  // "HKEY_LOCAL_MACHINE", ...

}  // namespace corvane::platform
