#include "platform/win32/access_facts.h"

#include <initializer_list>

namespace corvane::platform::win32 {

namespace {

// Whether sid is S-1-<authority>-<rids...>, compared part by part (no allocation).
bool SidIs(PSID sid, BYTE authority, std::initializer_list<DWORD> rids) {
  if (sid == nullptr || !IsValidSid(sid)) return false;
  const SID_IDENTIFIER_AUTHORITY* a = GetSidIdentifierAuthority(sid);
  for (int i = 0; i < 5; ++i) {
    if (a->Value[i] != 0) return false;
  }
  if (a->Value[5] != authority) return false;
  if (*GetSidSubAuthorityCount(sid) != rids.size()) return false;
  DWORD index = 0;
  for (DWORD rid : rids) {
    if (*GetSidSubAuthority(sid, index++) != rid) return false;
  }
  return true;
}

constexpr BYTE kWorldAuthority = 1;  // SECURITY_WORLD_SID_AUTHORITY
constexpr BYTE kNtAuthority = 5;     // SECURITY_NT_AUTHORITY

// Users, Everyone and Authenticated Users: groups every standard user belongs to.
bool IsEveryUser(PSID sid) {
  return SidIs(sid, kNtAuthority, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS}) ||
         SidIs(sid, kWorldAuthority, {SECURITY_WORLD_RID}) ||
         SidIs(sid, kNtAuthority, {SECURITY_AUTHENTICATED_USER_RID});
}

// The layout that the allowing and denying entries for a plain SID share.
bool EntryMaskAndSid(const ACE_HEADER* header, ACCESS_MASK* mask, PSID* sid) {
  switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: {
      const ACCESS_ALLOWED_ACE* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
      *mask = ace->Mask;
      *sid = const_cast<DWORD*>(&ace->SidStart);
      return true;
    }
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE: {
      // The SID follows optional GUIDs; it is treated as some other account.
      *mask = reinterpret_cast<const ACCESS_ALLOWED_OBJECT_ACE*>(header)->Mask;
      *sid = nullptr;
      return true;
    }
    default:
      return false;
  }
}

bool Allows(BYTE type) {
  return type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE ||
         type == ACCESS_ALLOWED_OBJECT_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE;
}

}  // namespace

bool IsSystemAccount(PSID sid) {
  return SidIs(sid, kNtAuthority, {SECURITY_LOCAL_SYSTEM_RID}) ||
         SidIs(sid, kNtAuthority, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}) ||
         SidIs(sid, kNtAuthority,
               {SECURITY_SERVICE_ID_BASE_RID, 956008885u, 3418522649u, 1831038044u, 1853292631u,
                2271478464u});
}

Status AccessFactsOfDescriptor(PSECURITY_DESCRIPTOR sd, AccessFacts* facts) {
  *facts = AccessFacts();
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorControl(sd, &control, &revision)) return FailLast();
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted)) return FailLast();
  AccessFacts read;
  read.protected_list = (control & SE_DACL_PROTECTED) != 0;
  if (!present || dacl == nullptr) {
    // No list: everyone may do everything.
    read.others_may_change = true;
    read.users_may_read = true;
    *facts = read;
    return Status::kOk;
  }
  ACL_SIZE_INFORMATION size{};
  if (!GetAclInformation(dacl, &size, sizeof(size), AclSizeInformation)) return FailLast();
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                             FILE_ALL_ACCESS};
  ACCESS_MASK users_allowed = 0;
  ACCESS_MASK users_denied = 0;
  for (DWORD i = 0; i < size.AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(dacl, i, &entry)) return FailLast();
    const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
    ACCESS_MASK mask = 0;
    PSID sid = nullptr;
    if (!EntryMaskAndSid(header, &mask, &sid)) continue;
    MapGenericMask(&mask, &mapping);
    // An inherit-only entry grants nothing here but does on what is created inside, so it counts
    // for changing; reading is judged by what applies to the entry itself.
    bool applies_here = (header->AceFlags & INHERIT_ONLY_ACE) == 0;
    if (Allows(header->AceType)) {
      if (!IsSystemAccount(sid) && (mask & ~kReadAndRun) != 0) read.others_may_change = true;
      if (applies_here && IsEveryUser(sid)) users_allowed |= mask;
    } else if (applies_here && IsEveryUser(sid)) {
      users_denied |= mask;
    }
  }
  read.users_may_read = ((users_allowed & ~users_denied) & kReadAndRun) == kReadAndRun;
  *facts = read;
  return Status::kOk;
}

}  // namespace corvane::platform::win32
