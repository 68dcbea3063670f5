#include "platform/win32/win32_registry.h"

#include "platform/win32/win32_common.h"

namespace corvane::platform::win32 {
namespace {

HKEY RootKey(RegRoot root) {
  switch (root) {
    case RegRoot::kClassesRoot: return HKEY_CLASSES_ROOT;
    case RegRoot::kCurrentUser: return HKEY_CURRENT_USER;
    case RegRoot::kLocalMachine: return HKEY_LOCAL_MACHINE;
    case RegRoot::kUsers: return HKEY_USERS;
    case RegRoot::kCurrentConfig: return HKEY_CURRENT_CONFIG;
  }
  return HKEY_LOCAL_MACHINE;
}

REGSAM ViewFlag(RegView view) {
  switch (view) {
    case RegView::kNative: return 0;
    case RegView::kView32: return KEY_WOW64_32KEY;
    case RegView::kView64: return KEY_WOW64_64KEY;
  }
  return 0;
}

// An open key, closed on destruction.
class Key {
 public:
  ~Key() {
    if (h_) RegCloseKey(h_);
  }
  Status Open(RegRoot root, const std::string& key, RegView view, REGSAM access) {
    LONG r = RegOpenKeyExA(RootKey(root), key.empty() ? nullptr : key.c_str(), 0,
                           access | ViewFlag(view), &h_);
    if (r != ERROR_SUCCESS) {
      h_ = nullptr;
      return Fail(static_cast<DWORD>(r));
    }
    return Status::kOk;
  }
  Status Create(RegRoot root, const std::string& key, RegView view, REGSAM access) {
    LONG r = RegCreateKeyExA(RootKey(root), key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             access | ViewFlag(view), nullptr, &h_, nullptr);
    if (r != ERROR_SUCCESS) {
      h_ = nullptr;
      return Fail(static_cast<DWORD>(r));
    }
    return Status::kOk;
  }
  HKEY get() const { return h_; }

 private:
  HKEY h_ = nullptr;
};

// Strips the terminating nulls that the registry keeps with string data.
void TrimStringData(RegType type, std::string* data) {
  if (type == RegType::kString || type == RegType::kExpandString ||
      type == RegType::kMultiString) {
    while (!data->empty() && data->back() == '\0') data->pop_back();
  }
}

}  // namespace

Status Win32Registry::KeyExists(RegRoot root, const std::string& key, RegView view) {
  Key k;
  return k.Open(root, key, view, KEY_READ);
}

Status Win32Registry::CreateKey(RegRoot root, const std::string& key, RegView view) {
  Key k;
  return k.Create(root, key, view, KEY_READ | KEY_WRITE);
}

Status Win32Registry::ReadValue(RegRoot root, const std::string& key, const std::string& name,
                                RegView view, RegValue* value) {
  Key k;
  Status s = k.Open(root, key, view, KEY_QUERY_VALUE);
  if (s != Status::kOk) return s;
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = 0, size = 0;
    LONG r = RegQueryValueExA(k.get(), name.c_str(), nullptr, &type, nullptr, &size);
    if (r != ERROR_SUCCESS) return Fail(static_cast<DWORD>(r));
    std::string data(size, '\0');
    r = RegQueryValueExA(k.get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size);
    if (r == ERROR_MORE_DATA) continue;  // the value grew in between
    if (r != ERROR_SUCCESS) return Fail(static_cast<DWORD>(r));
    data.resize(size);
    value->type = static_cast<RegType>(type);
    TrimStringData(value->type, &data);
    value->data = std::move(data);
    return Status::kOk;
  }
  return Fail(ERROR_MORE_DATA);
}

Status Win32Registry::WriteValue(RegRoot root, const std::string& key, const std::string& name,
                                 RegView view, const RegValue& value) {
  Key k;
  Status s = k.Create(root, key, view, KEY_SET_VALUE);
  if (s != Status::kOk) return s;
  std::string data = value.data;
  if (value.type == RegType::kString || value.type == RegType::kExpandString) {
    data.push_back('\0');
  } else if (value.type == RegType::kMultiString) {
    if (!data.empty()) data.push_back('\0');
    data.push_back('\0');
  }
  LONG r = RegSetValueExA(k.get(), name.c_str(), 0, static_cast<DWORD>(value.type),
                          reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
  if (r != ERROR_SUCCESS) return Fail(static_cast<DWORD>(r));
  return Status::kOk;
}

Status Win32Registry::DeleteValue(RegRoot root, const std::string& key, const std::string& name,
                                  RegView view) {
  Key k;
  Status s = k.Open(root, key, view, KEY_SET_VALUE);
  if (s != Status::kOk) return s;
  LONG r = RegDeleteValueA(k.get(), name.c_str());
  if (r != ERROR_SUCCESS) return Fail(static_cast<DWORD>(r));
  return Status::kOk;
}

Status Win32Registry::DeleteKeyTree(RegRoot root, const std::string& key, RegView view) {
  if (key.empty()) return Fail(ERROR_ACCESS_DENIED);  // a root cannot be deleted
  // Subkeys first, deepest first: a key with subkeys cannot be deleted. (RegDeleteTree would do
  // this in one call, but the 32-bit engine must also start on systems that lack it.)
  std::vector<std::string> subkeys;
  Status s = EnumKeys(root, key, view, &subkeys);
  if (s != Status::kOk) return s;
  // A subkey's path is joined with one backslash, whatever the key path ends with.
  std::string parent = key;
  while (!parent.empty() && parent.back() == '\\') parent.pop_back();
  for (const std::string& sub : subkeys) {
    s = DeleteKeyTree(root, parent + "\\" + sub, view);
    if (s != Status::kOk && s != Status::kNotFound) return s;
  }
  // RegDeleteKeyExA names the view; where it is missing there is only one view.
  using DeleteKeyEx = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);
  HMODULE advapi = GetModuleHandleA("advapi32.dll");
  auto delete_ex = advapi ? reinterpret_cast<DeleteKeyEx>(reinterpret_cast<void*>(
                                GetProcAddress(advapi, "RegDeleteKeyExA")))
                          : nullptr;
  LONG r = delete_ex ? delete_ex(RootKey(root), key.c_str(), ViewFlag(view), 0)
                     : RegDeleteKeyA(RootKey(root), key.c_str());
  if (r != ERROR_SUCCESS) return Fail(static_cast<DWORD>(r));
  return Status::kOk;
}

Status Win32Registry::EnumKeys(RegRoot root, const std::string& key, RegView view,
                               std::vector<std::string>* names) {
  names->clear();
  Key k;
  Status s = k.Open(root, key, view, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE);
  if (s != Status::kOk) return s;
  DWORD max_len = 0;
  LONG r = RegQueryInfoKeyA(k.get(), nullptr, nullptr, nullptr, nullptr, &max_len, nullptr,
                            nullptr, nullptr, nullptr, nullptr, nullptr);
  if (r != ERROR_SUCCESS) return Fail(static_cast<DWORD>(r));
  std::string buf(max_len + 2, '\0');
  for (DWORD i = 0;; ++i) {
    DWORD len = static_cast<DWORD>(buf.size());
    r = RegEnumKeyExA(k.get(), i, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r == ERROR_MORE_DATA) {  // a longer name appeared in between
      buf.resize(buf.size() * 2 + 256);
      --i;
      continue;
    }
    if (r != ERROR_SUCCESS) return Fail(static_cast<DWORD>(r));
    names->emplace_back(buf.data(), len);
  }
  return Status::kOk;
}

Status Win32Registry::EnumValues(RegRoot root, const std::string& key, RegView view,
                                 std::vector<std::string>* names) {
  names->clear();
  Key k;
  Status s = k.Open(root, key, view, KEY_QUERY_VALUE);
  if (s != Status::kOk) return s;
  DWORD max_len = 0;
  LONG r = RegQueryInfoKeyA(k.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, &max_len, nullptr, nullptr, nullptr);
  if (r != ERROR_SUCCESS) return Fail(static_cast<DWORD>(r));
  std::string buf(max_len + 2, '\0');
  for (DWORD i = 0;; ++i) {
    DWORD len = static_cast<DWORD>(buf.size());
    r = RegEnumValueA(k.get(), i, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r == ERROR_MORE_DATA) {
      buf.resize(buf.size() * 2 + 256);
      --i;
      continue;
    }
    if (r != ERROR_SUCCESS) return Fail(static_cast<DWORD>(r));
    names->emplace_back(buf.data(), len);
  }
  return Status::kOk;
}

}  // namespace corvane::platform::win32
