#include "platform/registry.h"

#include <cstring>

#include "platform/text.h"

namespace corvane::platform {

RegValue RegValue::Dword(uint32_t v) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return {RegType::kDword, bytes};
}

RegValue RegValue::Qword(uint64_t v) {
  std::string bytes(8, '\0');
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return {RegType::kQword, bytes};
}

uint64_t RegValue::AsNumber() const {
  size_t width = 0;
  bool big_endian = false;
  switch (type) {
    case RegType::kDword: width = 4; break;
    case RegType::kDwordBigEndian: width = 4; big_endian = true; break;
    case RegType::kQword: width = 8; break;
    default: return 0;
  }
  // Short data reads as if padded with zero bytes, as the registry pads a short DWORD read.
  uint64_t v = 0;
  size_t n = data.size() < width ? data.size() : width;
  for (size_t i = 0; i < n; ++i) {
    uint64_t byte = static_cast<unsigned char>(data[i]);
    if (big_endian) {
      v |= byte << (8 * (width - 1 - i));
    } else {
      v |= byte << (8 * i);
    }
  }
  return v;
}

namespace {

struct RootName {
  RegRoot root;
  const char* full;
  const char* abbreviation;
};

constexpr RootName kRoots[] = {
    {RegRoot::kClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {RegRoot::kCurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {RegRoot::kLocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {RegRoot::kUsers, "HKEY_USERS", "HKU"},
    {RegRoot::kCurrentConfig, "HKEY_CURRENT_CONFIG", "HKCC"},
};

}  // namespace

bool ParseRegRoot(std::string_view text, RegRoot* root) {
  for (const RootName& r : kRoots) {
    if (SameText(text, r.full) || SameText(text, r.abbreviation)) {
      *root = r.root;
      return true;
    }
  }
  return false;
}

const char* RegRootName(RegRoot root) {
  for (const RootName& r : kRoots) {
    if (r.root == root) return r.full;
  }
  return "HKEY_LOCAL_MACHINE";
}

}  // namespace corvane::platform
