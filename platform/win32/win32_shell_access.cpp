// The protected per-machine folder: a security descriptor built from its SDDL form, the owner check
// and the facts read back from an access list. Everything goes through handles opened on the entry
// itself (FILE_FLAG_OPEN_REPARSE_POINT), so a link or junction placed at a path is judged, and
// never changed, in place of what it points to.
#include "platform/win32/win32_shell.h"

#include <vector>

#include "platform/win32/access_facts.h"
#include "platform/win32/win32_common.h"
// after windows.h
#include <aclapi.h>
#include <sddl.h>

namespace corvane::platform::win32 {

namespace {

static_assert(kReadAndRun == 0x1200A9, "the Users entry of kProtectedFolderSddl");

// Owner Administrators; a protected, auto-inherited list whose entries every file and folder
// created inside inherits: SYSTEM and Administrators full control, Users read and run.
constexpr char kProtectedFolderSddl[] =
    "O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// Memory that advapi32 hands out with LocalAlloc.
class LocalMemory {
 public:
  LocalMemory() = default;
  LocalMemory(const LocalMemory&) = delete;
  LocalMemory& operator=(const LocalMemory&) = delete;
  ~LocalMemory() {
    if (p_ != nullptr) LocalFree(p_);
  }
  PSECURITY_DESCRIPTOR* out() { return &p_; }
  PSECURITY_DESCRIPTOR get() const { return p_; }

 private:
  PSECURITY_DESCRIPTOR p_ = nullptr;
};

class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE h) : h_(h) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() {
    if (valid()) CloseHandle(h_);
  }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

// The file or folder at path itself, not the target of a link there.
HANDLE OpenEntry(const std::string& path, DWORD access) {
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool IsProcessUser(PSID sid) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  OwnedHandle owned(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  if (size < sizeof(TOKEN_USER)) return false;
  // DWORD64 elements keep the pointer inside TOKEN_USER aligned.
  std::vector<DWORD64> buffer((size + sizeof(DWORD64) - 1) / sizeof(DWORD64));
  if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return false;
  const TOKEN_USER* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
  return EqualSid(user->User.Sid, sid) != FALSE;
}

bool OwnerTrusted(Win32Shell& shell, PSID owner) {
  if (IsSystemAccount(owner)) return true;
  return owner != nullptr && shell.IsAdministrator() && IsProcessUser(owner);
}

// The entry's owner; *sd receives the memory it lives in.
Status ReadOwner(HANDLE h, PSID* owner, LocalMemory* sd) {
  *owner = nullptr;
  DWORD error = GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr,
                                nullptr, nullptr, sd->out());
  if (error != ERROR_SUCCESS) return Fail(error);
  return Status::kOk;
}

// Gives an existing folder the protected list, after checking that it is a real folder (not a link
// or junction) and that its owner is trusted.
Status ProtectExisting(Win32Shell& shell, const std::string& path, PACL dacl) {
  OwnedHandle h(OpenEntry(path, READ_CONTROL | WRITE_DAC));
  if (!h.valid()) return FailLast();
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h.get(), &info)) return FailLast();
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return Fail(ERROR_ALREADY_EXISTS);
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return Fail(ERROR_ACCESS_DENIED);
  }
  PSID owner = nullptr;
  LocalMemory owner_sd;
  Status s = ReadOwner(h.get(), &owner, &owner_sd);
  if (s != Status::kOk) return s;
  if (!OwnerTrusted(shell, owner)) return Fail(ERROR_ACCESS_DENIED);
  // Through the handle, so the list lands on the folder that was checked; the system carries the
  // inheritable entries down to what is inside.
  DWORD error = SetSecurityInfo(h.get(), SE_FILE_OBJECT,
                                DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, dacl, nullptr);
  if (error != ERROR_SUCCESS) return Fail(error);
  return Status::kOk;
}

}  // namespace

Status Win32Shell::CreateProtectedFolder(const std::string& path) {
  if (!IsAdministrator()) return Fail(ERROR_ACCESS_DENIED);
  LocalMemory sd;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kProtectedFolderSddl, SDDL_REVISION_1,
                                                            sd.out(), nullptr)) {
    return FailLast();
  }
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof(attributes);
  attributes.lpSecurityDescriptor = sd.get();
  attributes.bInheritHandle = FALSE;
  if (CreateDirectoryA(path.c_str(), &attributes)) return Status::kOk;
  DWORD error = GetLastError();
  if (error != ERROR_ALREADY_EXISTS) return Fail(error);

  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(sd.get(), &present, &dacl, &defaulted)) return FailLast();
  if (!present || dacl == nullptr) return Fail(ERROR_INVALID_SECURITY_DESCR);
  return ProtectExisting(*this, path, dacl);
}

Status Win32Shell::IsTrustedOwner(const std::string& path, bool* trusted) {
  *trusted = false;
  OwnedHandle h(OpenEntry(path, READ_CONTROL));
  if (!h.valid()) return FailLast();
  PSID owner = nullptr;
  LocalMemory sd;
  Status s = ReadOwner(h.get(), &owner, &sd);
  if (s != Status::kOk) return s;
  *trusted = OwnerTrusted(*this, owner);
  return Status::kOk;
}

Status Win32Shell::GetAccessFacts(const std::string& path, AccessFacts* facts) {
  *facts = AccessFacts();
  OwnedHandle h(OpenEntry(path, READ_CONTROL));
  if (!h.valid()) return FailLast();
  LocalMemory sd;
  DWORD error = GetSecurityInfo(h.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, nullptr, nullptr, sd.out());
  if (error != ERROR_SUCCESS) return Fail(error);
  return AccessFactsOfDescriptor(sd.get(), facts);
}

}  // namespace corvane::platform::win32
