// The transcript's lines of shares and access lists.
#include "platform/sim/sim_access_lists.h"
#include "platform/sim/sim_shares.h"
#include "platform/sim/transcript.h"

namespace corvane::platform::sim {

namespace {

std::string Outcome(Status s) {
  return s == Status::kOk ? std::string() : std::string(" (") + StatusName(s) + ")";
}

std::string OnComputer(const std::string& computer) {
  return computer.empty() ? std::string() : " on " + computer;
}

std::string Object(const SecuredObject& o) {
  std::string text = std::string(SecuredKindName(o.kind)) + " " + o.name;
  if (o.kind == SecuredKind::kRegistryKey && o.view == RegView::kView32) text += " (32-bit view)";
  if (o.kind == SecuredKind::kRegistryKey && o.view == RegView::kView64) text += " (64-bit view)";
  return text;
}

}  // namespace

Status RecordingShares::AddShare(const std::string& computer, const ShareInfo& share) {
  Status s = target_.AddShare(computer, share);
  t_.Add("share add \"" + share.name + "\"" + OnComputer(computer) + " = " + share.path + " \"" +
         share.comment + "\" (" +
         (share.max_users < 0 ? std::string("unlimited") : std::to_string(share.max_users)) +
         " users)" + Outcome(s));
  return s;
}

Status RecordingShares::DeleteShare(const std::string& computer, const std::string& name) {
  Status s = target_.DeleteShare(computer, name);
  t_.Add("share delete \"" + name + "\"" + OnComputer(computer) + Outcome(s));
  return s;
}

std::string RecordingAccessLists::Entries(const std::vector<AccessEntry>& entries) {
  if (entries.empty()) return "no entries";
  auto* sim = dynamic_cast<SimAccessLists*>(&target_);
  std::string text;
  for (const AccessEntry& e : entries) {
    if (!text.empty()) text += ", ";
    std::string line = AccessEntryText(e);
    const std::string name = sim != nullptr ? sim->AccountName(e.sid) : std::string();
    // "allow S-1-1-0 (Everyone) 0x001F01FF OI CI"
    if (!name.empty()) line.insert(line.find(' ', line.find(' ') + 1), " (" + name + ")");
    text += line;
  }
  return text;
}

Status RecordingAccessLists::GrantAccess(const SecuredObject& object,
                                         const std::vector<AccessEntry>& entries) {
  Status s = target_.GrantAccess(object, entries);
  t_.Add("access grant " + Object(object) + ": " + Entries(entries) + Outcome(s));
  return s;
}

Status RecordingAccessLists::ReplaceAccessList(const SecuredObject& object,
                                               const std::vector<AccessEntry>& entries,
                                               bool protect) {
  Status s = target_.ReplaceAccessList(object, entries, protect);
  t_.Add("access set " + Object(object) + (protect ? " (protected)" : " (inherits)") + ": " +
         Entries(entries) + Outcome(s));
  return s;
}

}  // namespace corvane::platform::sim
