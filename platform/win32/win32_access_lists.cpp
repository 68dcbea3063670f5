#include "platform/win32/win32_access_lists.h"

#include <windows.h>
// Included after windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <memory>

#include "platform/win32/win32_common.h"
#include "platform/win32/win32_shares.h"

namespace corvane::platform::win32 {
namespace {

struct LocalFreer {
  void operator()(void* p) const { LocalFree(p); }
};
template <typename T>
using LocalPtr = std::unique_ptr<T, LocalFreer>;

struct KeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using KeyPtr = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// What the security functions report for an object that is not there.
Status StatusOfSecurityError(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS:
      return Status::kOk;
    case ERROR_SERVICE_DOES_NOT_EXIST:
    case ERROR_INVALID_PRINTER_NAME:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      Fail(error);
      return Status::kNotFound;
    default:
      return Fail(error);
  }
}

SE_OBJECT_TYPE NamedType(SecuredKind kind) {
  switch (kind) {
    case SecuredKind::kService:
      return SE_SERVICE;
    case SecuredKind::kPrinter:
      return SE_PRINTER;
    default:
      return SE_FILE_OBJECT;
  }
}

HKEY RootKey(RegRoot root) {
  switch (root) {
    case RegRoot::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegRoot::kCurrentUser:
      return HKEY_CURRENT_USER;
    case RegRoot::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegRoot::kUsers:
      return HKEY_USERS;
    case RegRoot::kCurrentConfig:
      return HKEY_CURRENT_CONFIG;
  }
  return HKEY_CURRENT_USER;
}

// Opens a registry key named with its root ("HKLM\SOFTWARE\X") in its view.
Status OpenKey(const SecuredObject& object, REGSAM access, KeyPtr* key) {
  const std::string& name = object.name;
  const size_t slash = name.find('\\');
  RegRoot root;
  if (!ParseRegRoot(name.substr(0, slash), &root)) return Record(Status::kNotFound);
  const std::string path = slash == std::string::npos ? std::string() : name.substr(slash + 1);
  if (object.view == RegView::kView32) access |= KEY_WOW64_32KEY;
  if (object.view == RegView::kView64) access |= KEY_WOW64_64KEY;
  HKEY opened = nullptr;
  LONG rc = RegOpenKeyExA(RootKey(root), path.c_str(), 0, access, &opened);
  if (rc != ERROR_SUCCESS) return StatusOfSecurityError(static_cast<DWORD>(rc));
  key->reset(opened);
  return Status::kOk;
}

// The security descriptor of an object (the access list and its control bits).
struct Descriptor {
  LocalPtr<void> sd;
  PACL dacl = nullptr;  // inside sd; null: the object has no list
  bool protected_list = false;
};

Status ReadDescriptor(const SecuredObject& object, Descriptor* d) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  PACL dacl = nullptr;
  DWORD error = ERROR_SUCCESS;
  switch (object.kind) {
    case SecuredKind::kShare: {
      std::string computer, name;
      SplitShareName(object.name, &computer, &name);
      Status s = ReadShareDescriptor(computer, name, &sd);
      if (s != Status::kOk) return s;
      d->sd.reset(sd);
      if (sd != nullptr) {
        BOOL present = FALSE, defaulted = FALSE;
        if (!GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted)) return FailLast();
        if (!present) dacl = nullptr;
      }
      break;
    }
    case SecuredKind::kRegistryKey: {
      KeyPtr key;
      Status s = OpenKey(object, READ_CONTROL, &key);
      if (s != Status::kOk) return s;
      error = GetSecurityInfo(key.get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &sd);
      break;
    }
    default:
      error = GetNamedSecurityInfoA(object.name.c_str(), NamedType(object.kind),
                                    DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                                    &sd);
      break;
  }
  if (object.kind != SecuredKind::kShare) {
    if (error != ERROR_SUCCESS) return StatusOfSecurityError(error);
    // A system that answers without a descriptor keeps no lists for this kind.
    if (sd == nullptr) return Record(Status::kFailed);
    d->sd.reset(sd);
  }
  d->dacl = dacl;
  if (sd != nullptr) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (GetSecurityDescriptorControl(sd, &control, &revision)) {
      d->protected_list = (control & SE_DACL_PROTECTED) != 0;
    }
  }
  return Status::kOk;
}

Status WriteDacl(const SecuredObject& object, PACL dacl, bool protect) {
  const SECURITY_INFORMATION info =
      DACL_SECURITY_INFORMATION |
      (protect ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
  DWORD error = ERROR_SUCCESS;
  switch (object.kind) {
    case SecuredKind::kShare: {
      SECURITY_DESCRIPTOR absolute;
      if (!InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION) ||
          !SetSecurityDescriptorDacl(&absolute, TRUE, dacl, FALSE)) {
        return FailLast();
      }
      DWORD size = 0;
      MakeSelfRelativeSD(&absolute, nullptr, &size);
      LocalPtr<void> relative(LocalAlloc(LMEM_FIXED, size));
      if (!relative || !MakeSelfRelativeSD(&absolute, relative.get(), &size)) return FailLast();
      std::string computer, name;
      SplitShareName(object.name, &computer, &name);
      return WriteShareDescriptor(computer, name, relative.get());
    }
    case SecuredKind::kRegistryKey: {
      KeyPtr key;
      Status s = OpenKey(object, READ_CONTROL | WRITE_DAC, &key);
      if (s != Status::kOk) return s;
      error = SetSecurityInfo(key.get(), SE_REGISTRY_KEY, info, nullptr, nullptr, dacl, nullptr);
      break;
    }
    default: {
      std::string name = object.name;
      error = SetNamedSecurityInfoA(name.data(), NamedType(object.kind), info, nullptr, nullptr,
                                    dacl, nullptr);
      break;
    }
  }
  return StatusOfSecurityError(error);
}

// The identifiers of entries in their binary form, freed together.
class Sids {
 public:
  // False when a text is not an identifier.
  bool Add(const std::string& text) {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidA(text.c_str(), &sid)) return false;
    sids_.emplace_back(sid);
    return true;
  }
  PSID at(size_t i) const { return sids_[i].get(); }

 private:
  std::vector<LocalPtr<void>> sids_;
};

std::string SidText(PSID sid) {
  LPSTR text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return std::string();
  std::string out(text);
  LocalFree(text);
  return out;
}

}  // namespace

Status Win32AccessLists::AccountSid(const std::string& account, std::string* sid) {
  BYTE buffer[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof buffer;
  char domain[256];
  DWORD domain_size = sizeof domain;
  SID_NAME_USE use;
  if (account.empty() ||
      !LookupAccountNameA(nullptr, account.c_str(), buffer, &size, domain, &domain_size, &use)) {
    DWORD error = account.empty() ? ERROR_NONE_MAPPED : GetLastError();
    Fail(error);
    return error == ERROR_NONE_MAPPED ? Status::kNotFound : StatusFromError(error);
  }
  *sid = SidText(buffer);
  return sid->empty() ? FailLast() : Status::kOk;
}

Status Win32AccessLists::CurrentUserSid(std::string* sid) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return FailLast();
  alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  const BOOL ok = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
  const DWORD error = GetLastError();
  CloseHandle(token);
  if (!ok) return Fail(error);
  *sid = SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
  return sid->empty() ? FailLast() : Status::kOk;
}

Status Win32AccessLists::ReadAccessList(const SecuredObject& object, AccessList* list) {
  *list = AccessList();
  Descriptor d;
  Status s = ReadDescriptor(object, &d);
  if (s != Status::kOk) return s;
  list->protected_list = d.protected_list;
  if (d.dacl == nullptr) {
    list->entries.push_back({sid::kEveryone, GENERIC_ALL, 0, true});
    return Status::kOk;
  }
  for (DWORD i = 0; i < d.dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(d.dacl, i, &ace)) continue;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    // Allowing and denying entries share their layout; other kinds (object, callback and audit
    // entries) are not the engine's concern.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE) {
      continue;
    }
    auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    list->entries.push_back({SidText(&entry->SidStart), entry->Mask, header->AceFlags,
                             header->AceType == ACCESS_ALLOWED_ACE_TYPE});
  }
  return Status::kOk;
}

Status Win32AccessLists::GrantAccess(const SecuredObject& object,
                                     const std::vector<AccessEntry>& entries) {
  Descriptor d;
  Status s = ReadDescriptor(object, &d);
  if (s != Status::kOk) return s;
  Sids sids;
  std::vector<EXPLICIT_ACCESSA> access(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!sids.Add(entries[i].sid)) return Fail(ERROR_INVALID_SID);
    EXPLICIT_ACCESSA& a = access[i];
    a.grfAccessPermissions = entries[i].mask;
    a.grfAccessMode = entries[i].allow ? GRANT_ACCESS : DENY_ACCESS;
    a.grfInheritance = entries[i].flags & ace_flag::kInheritance;
    a.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    a.Trustee.TrusteeType = TRUSTEE_IS_UNKNOWN;
    a.Trustee.ptstrName = static_cast<LPSTR>(sids.at(i));
  }
  PACL merged = nullptr;
  DWORD error = SetEntriesInAclA(static_cast<ULONG>(access.size()), access.data(), d.dacl, &merged);
  if (error != ERROR_SUCCESS) return Fail(error);
  LocalPtr<ACL> owned(merged);
  return WriteDacl(object, merged, d.protected_list);
}

Status Win32AccessLists::ReplaceAccessList(const SecuredObject& object,
                                           const std::vector<AccessEntry>& entries,
                                           bool protect) {
  Sids sids;
  DWORD size = sizeof(ACL);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!sids.Add(entries[i].sid)) return Fail(ERROR_INVALID_SID);
    size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sids.at(i));
  }
  LocalPtr<ACL> acl(static_cast<ACL*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, size)));
  if (!acl || !InitializeAcl(acl.get(), size, ACL_REVISION)) return FailLast();
  // Denying entries first, as the system orders a list.
  for (bool allow : {false, true}) {
    for (size_t i = 0; i < entries.size(); ++i) {
      const AccessEntry& e = entries[i];
      if (e.allow != allow) continue;
      const DWORD flags = e.flags & ace_flag::kInheritance;
      const BOOL ok = allow ? AddAccessAllowedAceEx(acl.get(), ACL_REVISION, flags, e.mask, sids.at(i))
                            : AddAccessDeniedAceEx(acl.get(), ACL_REVISION, flags, e.mask, sids.at(i));
      if (!ok) return FailLast();
    }
  }
  return WriteDacl(object, acl.get(), protect);
}

}  // namespace corvane::platform::win32
