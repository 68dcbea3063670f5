#include "platform/win32/win32_shares.h"

#include <lm.h>

#include <vector>

#include "platform/win32/system_library.h"
#include "platform/win32/win32_common.h"

namespace corvane::platform::win32 {
namespace {

using NetShareAddFn = NET_API_STATUS(WINAPI*)(LMSTR, DWORD, LPBYTE, LPDWORD);
using NetShareDelFn = NET_API_STATUS(WINAPI*)(LMSTR, LMSTR, DWORD);
using NetShareGetInfoFn = NET_API_STATUS(WINAPI*)(LMSTR, LMSTR, DWORD, LPBYTE*);
using NetShareSetInfoFn = NET_API_STATUS(WINAPI*)(LMSTR, LMSTR, DWORD, LPBYTE, LPDWORD);
using NetApiBufferFreeFn = NET_API_STATUS(WINAPI*)(LPVOID);

constexpr const char* kNetApi = "netapi32.dll";

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string Narrow(const wchar_t* text) {
  if (text == nullptr || *text == 0) return std::string();
  int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n > 0 ? n - 1 : 0));
  return out;
}

// The server argument of the calls: null for this computer, else "\\NAME".
class Server {
 public:
  explicit Server(const std::string& computer) {
    if (computer.empty()) return;
    name_ = computer.rfind("\\\\", 0) == 0 ? Wide(computer) : L"\\\\" + Wide(computer);
  }
  LMSTR get() { return name_.empty() ? nullptr : name_.data(); }

 private:
  std::wstring name_;
};

Status FromNetStatus(NET_API_STATUS status) {
  if (status == NERR_Success) return Status::kOk;
  Fail(status);  // the code behind the status, for whoever reports it
  switch (status) {
    case NERR_DuplicateShare:
      return Status::kAlreadyExists;
    case NERR_UnknownDevDir:
    case NERR_NetNameNotFound:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
      return Status::kNotFound;
    case ERROR_ACCESS_DENIED:
      return Status::kAccessDenied;
    default:
      return Status::kFailed;
  }
}

// Frees what a NetShareGetInfo call gave.
class NetBuffer {
 public:
  ~NetBuffer() {
    auto free_buffer = SystemProc<NetApiBufferFreeFn>(kNetApi, "NetApiBufferFree");
    if (data_ != nullptr && free_buffer != nullptr) free_buffer(data_);
  }
  LPBYTE* out() { return &data_; }
  LPBYTE get() const { return data_; }

 private:
  LPBYTE data_ = nullptr;
};

}  // namespace

void SplitShareName(const std::string& text, std::string* computer, std::string* name) {
  computer->clear();
  *name = text;
  if (text.rfind("\\\\", 0) != 0) return;
  size_t slash = text.find('\\', 2);
  if (slash == std::string::npos) return;
  *computer = text.substr(2, slash - 2);
  *name = text.substr(slash + 1);
}

Status Win32NetworkShares::AddShare(const std::string& computer, const ShareInfo& share) {
  auto add = SystemProc<NetShareAddFn>(kNetApi, "NetShareAdd");
  if (add == nullptr) return Record(Status::kFailed);
  std::wstring name = Wide(share.name), path = Wide(share.path), remark = Wide(share.comment);
  SHARE_INFO_2 info = {};
  info.shi2_netname = name.data();
  info.shi2_type = STYPE_DISKTREE;
  info.shi2_remark = remark.data();
  info.shi2_max_uses = share.max_users < 0 ? SHI_USES_UNLIMITED : static_cast<DWORD>(share.max_users);
  info.shi2_path = path.data();
  Server server(computer);
  DWORD bad_field = 0;
  return FromNetStatus(add(server.get(), 2, reinterpret_cast<LPBYTE>(&info), &bad_field));
}

Status Win32NetworkShares::DeleteShare(const std::string& computer, const std::string& name) {
  auto del = SystemProc<NetShareDelFn>(kNetApi, "NetShareDel");
  if (del == nullptr) return Record(Status::kFailed);
  std::wstring wide = Wide(name);
  Server server(computer);
  return FromNetStatus(del(server.get(), wide.data(), 0));
}

Status Win32NetworkShares::GetShare(const std::string& computer, const std::string& name,
                                    ShareInfo* share) {
  auto get = SystemProc<NetShareGetInfoFn>(kNetApi, "NetShareGetInfo");
  if (get == nullptr) return Record(Status::kFailed);
  std::wstring wide = Wide(name);
  Server server(computer);
  NetBuffer buffer;
  Status s = FromNetStatus(get(server.get(), wide.data(), 2, buffer.out()));
  if (s != Status::kOk) return s;
  if (buffer.get() == nullptr) return Record(Status::kFailed);
  const auto* info = reinterpret_cast<const SHARE_INFO_2*>(buffer.get());
  share->name = Narrow(info->shi2_netname);
  share->path = Narrow(info->shi2_path);
  share->comment = Narrow(info->shi2_remark);
  share->max_users = info->shi2_max_uses == SHI_USES_UNLIMITED
                         ? kUnlimitedUsers
                         : static_cast<int32_t>(info->shi2_max_uses);
  return Status::kOk;
}

Status ReadShareDescriptor(const std::string& computer, const std::string& name,
                           PSECURITY_DESCRIPTOR* descriptor) {
  *descriptor = nullptr;
  auto get = SystemProc<NetShareGetInfoFn>(kNetApi, "NetShareGetInfo");
  if (get == nullptr) return Record(Status::kFailed);
  std::wstring wide = Wide(name);
  Server server(computer);
  NetBuffer buffer;
  Status s = FromNetStatus(get(server.get(), wide.data(), 502, buffer.out()));
  if (s != Status::kOk) return s;
  if (buffer.get() == nullptr) return Record(Status::kFailed);
  PSECURITY_DESCRIPTOR sd = reinterpret_cast<SHARE_INFO_502*>(buffer.get())->shi502_security_descriptor;
  if (sd == nullptr || !IsValidSecurityDescriptor(sd)) return Status::kOk;
  // A copy in the self-relative form, owned by the caller.
  DWORD size = GetSecurityDescriptorLength(sd);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(sd, &control, &revision);
  if ((control & SE_SELF_RELATIVE) != 0) {
    *descriptor = LocalAlloc(LMEM_FIXED, size);
    if (*descriptor == nullptr) return Record(Status::kFailed);
    CopyMemory(*descriptor, sd, size);
    return Status::kOk;
  }
  size = 0;
  MakeSelfRelativeSD(sd, nullptr, &size);
  *descriptor = LocalAlloc(LMEM_FIXED, size);
  if (*descriptor == nullptr || !MakeSelfRelativeSD(sd, *descriptor, &size)) {
    LocalFree(*descriptor);
    *descriptor = nullptr;
    return FailLast();
  }
  return Status::kOk;
}

Status WriteShareDescriptor(const std::string& computer, const std::string& name,
                            PSECURITY_DESCRIPTOR descriptor) {
  auto set = SystemProc<NetShareSetInfoFn>(kNetApi, "NetShareSetInfo");
  if (set == nullptr) return Record(Status::kFailed);
  std::wstring wide = Wide(name);
  Server server(computer);
  SHARE_INFO_1501 info = {};
  info.shi1501_security_descriptor = descriptor;
  DWORD bad_field = 0;
  return FromNetStatus(set(server.get(), wide.data(), 1501, reinterpret_cast<LPBYTE>(&info),
                           &bad_field));
}

}  // namespace corvane::platform::win32
