#include "platform/sim/sim_access_lists.h"

#include <sstream>

#include "platform/sim/sim_common.h"
#include "platform/text.h"

namespace corvane::platform::sim {

namespace {

using namespace ace_flag;

constexpr uint32_t kFileAll = 0x001F01FF;
constexpr uint32_t kFileReadRun = 0x001200A9;
constexpr uint32_t kKeyAll = 0x000F003F;
constexpr uint32_t kKeyRead = 0x00020019;
constexpr uint32_t kServiceAll = 0x000F01FF;
constexpr uint32_t kServiceRead = 0x0002008D;
constexpr uint32_t kPrint = 0x00020008;
constexpr uint32_t kPrinterAll = 0x000F000C;
constexpr uint32_t kJobAll = 0x000F0030;

constexpr uint32_t kErrorServiceDoesNotExist = 1060;
constexpr uint32_t kErrorInvalidPrinterName = 1801;

struct WellKnown {
  const char* name;
  const char* sid;
};
constexpr WellKnown kAccounts[] = {
    {"Everyone", sid::kEveryone},
    {"CREATOR OWNER", sid::kCreatorOwner},
    {"INTERACTIVE", "S-1-5-4"},
    {"Authenticated Users", sid::kAuthenticatedUsers},
    {"SYSTEM", sid::kSystem},
    {"LOCAL SERVICE", "S-1-5-19"},
    {"NETWORK SERVICE", "S-1-5-20"},
    {"Administrators", sid::kAdministrators},
    {"Users", sid::kUsers},
    {"Guests", "S-1-5-32-546"},
    {"Power Users", "S-1-5-32-547"},
};

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return std::string();
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

// Denying entries before allowing ones, each group in its own order.
std::vector<AccessEntry> InListOrder(const std::vector<AccessEntry>& entries) {
  std::vector<AccessEntry> out;
  for (bool allow : {false, true}) {
    for (const AccessEntry& e : entries) {
      if (e.allow == allow) out.push_back(e);
    }
  }
  return out;
}

// Adds granted rights to a list of own entries as the system's grant does.
void Merge(std::vector<AccessEntry>* own, const AccessEntry& grant) {
  for (AccessEntry& e : *own) {
    if (e.allow == grant.allow && e.sid == grant.sid &&
        (e.flags & kInheritance) == (grant.flags & kInheritance)) {
      e.mask |= grant.mask;
      return;
    }
  }
  AccessEntry added = grant;
  added.flags &= kInheritance;
  if (added.allow) {
    own->push_back(added);
    return;
  }
  auto first_allow = own->begin();
  while (first_allow != own->end() && !first_allow->allow) ++first_allow;
  own->insert(first_allow, added);
}

}  // namespace

std::vector<AccessEntry> InheritedEntries(const std::vector<AccessEntry>& parent, bool container) {
  std::vector<AccessEntry> out;
  for (const AccessEntry& e : parent) {
    const uint8_t f = e.flags;
    if ((f & (kObjectInherit | kContainerInherit)) == 0) continue;
    AccessEntry c = e;
    if (container) {
      if ((f & kContainerInherit) != 0) {
        c.flags = (f & kNoPropagate) != 0 ? 0 : f & (kObjectInherit | kContainerInherit);
      } else {
        // Passed on to the files of the folder only: the folder keeps it for them.
        if ((f & kNoPropagate) != 0) continue;
        c.flags = kObjectInherit | kInheritOnly;
      }
    } else {
      if ((f & kObjectInherit) == 0) continue;
      c.flags = 0;
    }
    c.flags |= kInherited;
    out.push_back(c);
  }
  return out;
}

SimAccessLists::SimAccessLists(const std::filesystem::path& machine_folder,
                               const MachineDescription& machine, SimFileSystem& files,
                               SimRegistry& registry, SimShares& shares,
                               std::function<bool(const std::string&)> service_exists)
    : table_file_(machine_folder / "access.txt"),
      machine_(machine),
      files_(files),
      registry_(registry),
      shares_(shares),
      service_exists_(std::move(service_exists)) {
  std::string text;
  if (ReadHostFile(machine_folder / "printers.txt", &text)) {
    std::istringstream lines(Cp1252FromUtf8(text));
    std::string line;
    while (std::getline(lines, line)) {
      line = Trim(line);
      if (!line.empty() && line[0] != '#') printers_.push_back(line);
    }
  } else {
    printers_ = {"Microsoft Print to PDF", "Microsoft XPS Document Writer"};
  }
  if (!ReadHostFile(table_file_, &text)) return;
  std::istringstream lines(Cp1252FromUtf8(text));
  std::string line;
  int number = 0;
  Own* current = nullptr;
  auto warn = [&](const std::string& what) {
    warnings_ += "access.txt line " + std::to_string(number) + ": " + what + "\n";
  };
  while (std::getline(lines, line)) {
    ++number;
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      current = &records_[UpperCase(Trim(line.substr(1, line.size() - 2)))];
      continue;
    }
    if (current == nullptr) {
      warn("a line before the first object");
      continue;
    }
    AccessEntry entry;
    if (ParseAccessEntry(line, &entry)) {
      current->entries.push_back(entry);
    } else if (line.rfind("protected", 0) == 0 && line.find('=') != std::string::npos) {
      current->protected_list = SameText(Trim(line.substr(line.find('=') + 1)), "yes");
    } else {
      warn("neither an access entry nor protected = yes|no: " + line);
    }
  }
}

void SimAccessLists::Save() {
  std::string text = "# Access lists that setups changed (see platform/sim/sim_access_lists.h).\n";
  for (const auto& [key, own] : records_) {
    text += "[" + key + "]\n";
    text += std::string("protected = ") + (own.protected_list ? "yes" : "no") + "\n";
    for (const AccessEntry& e : own.entries) text += AccessEntryText(e) + "\n";
  }
  WriteHostFile(table_file_, Utf8From1252(text));
}

std::string SimAccessLists::AccountName(const std::string& sid) const {
  for (const WellKnown& a : kAccounts) {
    if (sid == a.sid) return a.name;
  }
  return sid == kUserSid ? machine_.user : std::string();
}

Status SimAccessLists::AccountSid(const std::string& account, std::string* sid) {
  std::string name = account;
  size_t slash = name.find('\\');
  if (slash != std::string::npos) {
    const std::string domain = name.substr(0, slash);
    name = name.substr(slash + 1);
    if (SameText(name, machine_.user) &&
        (SameText(domain, machine_.computer) || SameText(domain, machine_.facts.account_domain))) {
      *sid = kUserSid;
      return Status::kOk;
    }
    if (!SameText(domain, "NT AUTHORITY") && !SameText(domain, "BUILTIN")) {
      return RecordError(Status::kNotFound, 1332);  // ERROR_NONE_MAPPED
    }
  }
  for (const WellKnown& a : kAccounts) {
    if (SameText(name, a.name)) {
      *sid = a.sid;
      return Status::kOk;
    }
  }
  if (!name.empty() && SameText(name, machine_.user)) {
    *sid = kUserSid;
    return Status::kOk;
  }
  return RecordError(Status::kNotFound, 1332);
}

Status SimAccessLists::CurrentUserSid(std::string* sid) {
  *sid = kUserSid;
  return Status::kOk;
}

Status SimAccessLists::LocateFile(const std::string& path, Located* at) {
  std::string full = files_.GetFullPath(path);
  if (full.size() > 3 && full.back() == '\\') full.pop_back();
  uint32_t attributes = 0;
  if (full.empty() || files_.GetAttributes(full, &attributes) != Status::kOk) {
    return RecordError(Status::kNotFound, 2);
  }
  at->kind = SecuredKind::kFile;
  at->path = full;
  at->key = "FILE " + UpperCase(full);
  at->container = (attributes & attr::kDirectory) != 0;
  at->has_parent = !(full.size() == 3 && full[1] == ':');
  at->initial = Own();
  AccessFacts facts;
  const bool protected_folder =
      files_.GetAccessFacts(full, &facts) == Status::kOk && facts.protected_list;
  if (!at->has_parent || protected_folder) {
    const uint8_t passed = kObjectInherit | kContainerInherit;
    at->initial.protected_list = protected_folder;
    at->initial.entries = {{sid::kSystem, kFileAll, passed, true},
                           {sid::kAdministrators, kFileAll, passed, true},
                           {sid::kUsers, kFileReadRun, passed, true}};
  }
  return Status::kOk;
}

void SimAccessLists::LocateRegistryKey(RegRoot root, const std::vector<std::string>& components,
                                       Located* at) {
  at->kind = SecuredKind::kRegistryKey;
  at->root = root;
  at->components = components;
  at->key = std::string("KEY ") + RegRootName(root);
  for (const std::string& c : components) at->key += "\\" + UpperCase(c);
  at->container = true;
  at->has_parent = !components.empty();
  at->initial = Own();
  if (at->has_parent) return;
  if (root == RegRoot::kCurrentUser) {
    at->initial.entries = {{kUserSid, kKeyAll, kContainerInherit, true},
                           {sid::kSystem, kKeyAll, kContainerInherit, true},
                           {sid::kAdministrators, kKeyAll, kContainerInherit, true}};
  } else {
    at->initial.entries = {{sid::kSystem, kKeyAll, kContainerInherit, true},
                           {sid::kAdministrators, kKeyAll, kContainerInherit, true},
                           {sid::kUsers, kKeyRead, kContainerInherit, true}};
  }
}

Status SimAccessLists::Locate(const SecuredObject& object, Located* at) {
  *at = Located();
  at->kind = object.kind;
  switch (object.kind) {
    case SecuredKind::kFile:
      return LocateFile(object.name, at);
    case SecuredKind::kRegistryKey: {
      const size_t slash = object.name.find('\\');
      RegRoot root;
      if (!ParseRegRoot(object.name.substr(0, slash), &root)) {
        return RecordError(Status::kNotFound, 2);
      }
      const std::string path = slash == std::string::npos ? "" : object.name.substr(slash + 1);
      if (registry_.KeyExists(root, path, object.view) != Status::kOk) {
        return RecordError(Status::kNotFound, 2);
      }
      RegRoot real_root;
      std::vector<std::string> components;
      registry_.MapKey(root, path, object.view, &real_root, &components);
      LocateRegistryKey(real_root, components, at);
      return Status::kOk;
    }
    case SecuredKind::kService:
      if (!service_exists_ || !service_exists_(object.name)) {
        return RecordError(Status::kNotFound, kErrorServiceDoesNotExist);
      }
      at->key = "SERVICE " + UpperCase(object.name);
      at->initial.entries = {{sid::kSystem, kServiceAll, 0, true},
                             {sid::kAdministrators, kServiceAll, 0, true},
                             {sid::kAuthenticatedUsers, kServiceRead, 0, true}};
      return Status::kOk;
    case SecuredKind::kPrinter:
      for (const std::string& p : printers_) {
        if (!SameText(p, object.name)) continue;
        at->key = "PRINTER " + UpperCase(p);
        at->initial.entries = {
            {sid::kEveryone, kPrint, 0, true},
            {sid::kAdministrators, kPrinterAll, 0, true},
            {sid::kAdministrators, kJobAll, kObjectInherit | kInheritOnly, true},
            {sid::kCreatorOwner, kJobAll, kObjectInherit | kInheritOnly, true}};
        return Status::kOk;
      }
      return RecordError(Status::kNotFound, kErrorInvalidPrinterName);
    case SecuredKind::kShare:
      break;
  }
  return Record(Status::kFailed);
}

Status SimAccessLists::ParentOf(const Located& at, Located* parent) {
  *parent = Located();
  if (at.kind == SecuredKind::kFile) {
    size_t slash = at.path.find_last_of('\\');
    std::string up = at.path.substr(0, slash);
    if (up.size() == 2) up += "\\";
    return LocateFile(up, parent);
  }
  std::vector<std::string> up = at.components;
  up.pop_back();
  LocateRegistryKey(at.root, up, parent);
  return Status::kOk;
}

SimAccessLists::Own SimAccessLists::OwnEntries(const Located& at) {
  auto it = records_.find(at.key);
  return it == records_.end() ? at.initial : it->second;
}

AccessList SimAccessLists::Effective(const Located& at) {
  const Own own = OwnEntries(at);
  AccessList list{own.protected_list, own.entries};
  Located parent;
  if (!own.protected_list && at.has_parent && ParentOf(at, &parent) == Status::kOk) {
    for (const AccessEntry& e : InheritedEntries(Effective(parent).entries, at.container)) {
      list.entries.push_back(e);
    }
  }
  return list;
}

bool SimAccessLists::MayChange(const SecuredObject& object) {
  if (machine_.admin && machine_.facts.elevated) return true;
  if (object.kind == SecuredKind::kRegistryKey) {
    const size_t slash = object.name.find('\\');
    RegRoot root;
    return ParseRegRoot(object.name.substr(0, slash), &root) && root == RegRoot::kCurrentUser;
  }
  if (object.kind == SecuredKind::kFile) {
    const std::string full = UpperCase(files_.GetFullPath(object.name));
    const std::string profile = UpperCase(machine_.profile) + "\\";
    return full.rfind(profile, 0) == 0;
  }
  return false;
}

Status SimAccessLists::ReadAccessList(const SecuredObject& object, AccessList* list) {
  *list = AccessList();
  if (object.kind == SecuredKind::kShare) return shares_.ShareAccess(object.name, &list->entries);
  Located at;
  Status s = Locate(object, &at);
  if (s != Status::kOk) return s;
  std::lock_guard<std::mutex> lock(mu_);
  *list = Effective(at);
  return Status::kOk;
}

Status SimAccessLists::GrantAccess(const SecuredObject& object,
                                   const std::vector<AccessEntry>& entries) {
  if (object.kind == SecuredKind::kShare) {
    std::vector<AccessEntry> own;
    Status s = shares_.ShareAccess(object.name, &own);
    if (s != Status::kOk) return s;
    for (const AccessEntry& e : entries) Merge(&own, e);
    return shares_.SetShareAccess(object.name, own);
  }
  Located at;
  Status s = Locate(object, &at);
  if (s != Status::kOk) return s;
  if (!MayChange(object)) return Record(Status::kAccessDenied);
  std::lock_guard<std::mutex> lock(mu_);
  Own own = OwnEntries(at);
  for (const AccessEntry& e : entries) Merge(&own.entries, e);
  records_[at.key] = own;
  Save();
  return Status::kOk;
}

Status SimAccessLists::ReplaceAccessList(const SecuredObject& object,
                                         const std::vector<AccessEntry>& entries, bool protect) {
  std::vector<AccessEntry> own = InListOrder(entries);
  for (AccessEntry& e : own) e.flags &= kInheritance;
  if (object.kind == SecuredKind::kShare) return shares_.SetShareAccess(object.name, own);
  Located at;
  Status s = Locate(object, &at);
  if (s != Status::kOk) return s;
  if (!MayChange(object)) return Record(Status::kAccessDenied);
  std::lock_guard<std::mutex> lock(mu_);
  records_[at.key] = Own{protect, own};
  Save();
  return Status::kOk;
}

}  // namespace corvane::platform::sim
