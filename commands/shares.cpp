// Network shares and access lists: Create Share, Delete Share and Set Access Control. They report
// nothing to the script; what could not be done is traced and leaves the machine as it was.
#include "commands/shares.h"

#include <string>

#include "commands/sixty_four.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "interp/variables.h"

namespace corvane::commands {

using platform::AccessEntry;
using platform::SecuredKind;
namespace ace = platform::ace_flag;

KindRights RightsOfKind(SecuredKind kind) {
  switch (kind) {
    case SecuredKind::kFile:
    case SecuredKind::kShare:
      return {0x001200A9, 0x001F01FF};  // read and run; full control
    case SecuredKind::kRegistryKey:
      return {0x00020019, 0x000F003F};  // KEY_READ; KEY_ALL_ACCESS
    case SecuredKind::kService:
      return {0x0002008D, 0x000F01FF};  // the service's generic read; SERVICE_ALL_ACCESS
    case SecuredKind::kPrinter:
      return {0x00020008, 0x000F000C};  // printing; PRINTER_ALL_ACCESS
  }
  return {};
}

std::vector<AccessEntry> GrantEntries(SecuredKind kind, bool container, const std::string& sid,
                                      bool read, bool full) {
  if (!read && !full) return {};
  const KindRights rights = RightsOfKind(kind);
  const uint32_t mask = (read ? rights.read : 0) | (full ? rights.full : 0);
  uint8_t flags = 0;
  if (kind == SecuredKind::kFile && container) flags = ace::kObjectInherit | ace::kContainerInherit;
  if (kind == SecuredKind::kRegistryKey) flags = ace::kContainerInherit;
  std::vector<AccessEntry> entries = {{sid, mask, flags, true}};
  // Managing a printer includes managing the documents printed on it (JOB_ALL_ACCESS, for every
  // job that is created).
  if (kind == SecuredKind::kPrinter && full) {
    entries.push_back({sid, 0x000F0030, ace::kObjectInherit | ace::kInheritOnly, true});
  }
  return entries;
}

std::vector<AccessEntry> LockedDownList(SecuredKind kind, bool container) {
  std::vector<AccessEntry> list;
  for (const auto& [sid, full] : {std::pair<const char*, bool>{platform::sid::kSystem, true},
                                  {platform::sid::kAdministrators, true},
                                  {platform::sid::kUsers, false}}) {
    for (const AccessEntry& e : GrantEntries(kind, container, sid, !full, full)) list.push_back(e);
  }
  return list;
}

namespace {

using interp::CommandContext;
using platform::Status;

std::string Translated(CommandContext& ctx, int n) {
  return ctx.variables().ExpandVariables(ctx.Localize(n, ctx.params().Raw(n)));
}

// "left|right" into its two parts ("" for a missing right part).
void SplitAtBar(const std::string& text, std::string* left, std::string* right) {
  const size_t bar = text.find('|');
  *left = text.substr(0, bar);
  *right = bar == std::string::npos ? std::string() : text.substr(bar + 1);
}

void Traced(CommandContext& ctx, const std::string& what, Status s) {
  if (s != Status::kOk) {
    ctx.session().Trace(std::string(ctx.name()) + " " + what + " failed (" +
                        platform::StatusName(s) + ")");
  }
}

// "Create Share": 1 folder and computer joined by "|", 2 share name, 3 comment (both
// translated); everyone may connect, without a limit of users.
void RunCreateShare(CommandContext& ctx) {
  std::string folder, computer;
  SplitAtBar(ctx.params().Expanded(1), &folder, &computer);
  platform::ShareInfo share;
  share.name = Translated(ctx, 2);
  share.path = interp::CollapseBackslashes(folder);
  share.comment = Translated(ctx, 3);
  share.max_users = platform::kUnlimitedUsers;
  Traced(ctx, "\"" + share.name + "\"", ctx.platform().shares().AddShare(computer, share));
}
CORVANE_COMMAND("Create Share", RunCreateShare);

// "Delete Share": 1 share name and computer joined by "|" (translated).
void RunDeleteShare(CommandContext& ctx) {
  std::string name, computer;
  SplitAtBar(Translated(ctx, 1), &name, &computer);
  Traced(ctx, "\"" + name + "\"", ctx.platform().shares().DeleteShare(computer, name));
}
CORVANE_COMMAND("Delete Share", RunDeleteShare);

// The accounts whose boxes are ticked: 2 Everyone, 3 the engine's user, 4 Authenticated Users,
// 5 the account named in 6. An account the system does not know is left out (traced).
std::vector<std::string> ChosenAccounts(CommandContext& ctx) {
  const auto& p = ctx.params();
  platform::AccessLists& lists = ctx.platform().access_lists();
  std::vector<std::string> sids;
  if (p.Bool(2)) sids.push_back(platform::sid::kEveryone);
  std::string sid;
  if (p.Bool(3)) {
    Status s = lists.CurrentUserSid(&sid);
    if (s == Status::kOk) sids.push_back(sid);
    Traced(ctx, "the current user", s);
  }
  if (p.Bool(4)) sids.push_back(platform::sid::kAuthenticatedUsers);
  if (p.Bool(5)) {
    const std::string account = Translated(ctx, 6);
    Status s = lists.AccountSid(account, &sid);
    if (s == Status::kOk) sids.push_back(sid);
    Traced(ctx, "account \"" + account + "\"", s);
  }
  return sids;
}

// Reset to inherited: the object's own entries go and the parent's inheritable ones remain. When
// nothing would remain (the parent passes nothing on, or the system does not pass entries on),
// the list is put back as it was rather than leaving an object nobody may open.
Status ResetToInherited(CommandContext& ctx, const platform::SecuredObject& object) {
  platform::AccessLists& lists = ctx.platform().access_lists();
  platform::AccessList before;
  Status s = lists.ReadAccessList(object, &before);
  if (s != Status::kOk) return s;
  s = lists.ReplaceAccessList(object, {}, false);
  if (s != Status::kOk) return s;
  platform::AccessList after;
  if (lists.ReadAccessList(object, &after) == Status::kOk && !after.entries.empty()) {
    return Status::kOk;
  }
  std::vector<AccessEntry> own;
  for (const AccessEntry& e : before.entries) {
    if ((e.flags & ace::kInherited) == 0) own.push_back(e);
  }
  lists.ReplaceAccessList(object, own, before.protected_list);
  ctx.session().Trace(std::string(ctx.name()) + " kept the list of " + object.name +
                      ": it would inherit nothing");
  return Status::kOk;
}

// "Set Access Control": 1 the object (translated); its kind the first true one of 12 file or
// folder, 13 share, 14 registry key, 15 service, 16 printer. With 9: the rights of 7 (reading)
// and 8 (full control) granted to the chosen accounts. Without 9: 10 resets a file, folder or key
// to what it inherits, or else 11 makes the list the protected one.
void RunSetAccessControl(CommandContext& ctx) {
  const auto& p = ctx.params();
  interp::Session& s = ctx.session();
  platform::SecuredObject object;
  bool chosen = false;
  for (int n = 12; n <= 16 && !chosen; ++n) {
    if (!p.Bool(n)) continue;
    object.kind = static_cast<SecuredKind>(n - 12);
    chosen = true;
  }
  if (!chosen) {
    s.Trace(std::string(ctx.name()) + ": no kind of object chosen");
    return;
  }
  object.name = Translated(ctx, 1);
  bool container = false;
  // Files through the engine's 64-bit file-system view, keys in the registry commands' view.
  FsView64 fs_view(s);
  if (object.kind == SecuredKind::kFile) {
    object.name = interp::CollapseBackslashes(object.name);
    container = s.platform.files().DirectoryExists(object.name);
  } else if (object.kind == SecuredKind::kRegistryKey) {
    object.view = CommandRegistryView(s);
    container = true;
  }
  platform::AccessLists& lists = ctx.platform().access_lists();
  if (p.Bool(9)) {
    std::vector<AccessEntry> entries;
    for (const std::string& sid : ChosenAccounts(ctx)) {
      for (const AccessEntry& e : GrantEntries(object.kind, container, sid, p.Bool(7), p.Bool(8))) {
        entries.push_back(e);
      }
    }
    if (entries.empty()) return;  // no account or no right: nothing to grant
    Traced(ctx, object.name, lists.GrantAccess(object, entries));
  } else if (p.Bool(10)) {
    // Services, printers and shares have no parent to inherit from: emptying their lists would
    // lock everybody out.
    if (object.kind != SecuredKind::kFile && object.kind != SecuredKind::kRegistryKey) {
      s.Trace(std::string(ctx.name()) + ": " + object.name + " has nothing to inherit");
      return;
    }
    Traced(ctx, object.name, ResetToInherited(ctx, object));
  } else if (p.Bool(11)) {
    Traced(ctx, object.name,
           lists.ReplaceAccessList(object, LockedDownList(object.kind, container), true));
  }
}
CORVANE_COMMAND("Set Access Control", RunSetAccessControl);

}  // namespace
}  // namespace corvane::commands
