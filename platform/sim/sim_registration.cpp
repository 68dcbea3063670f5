#include "platform/sim/sim_registration.h"

#include "platform/numbers.h"
#include "platform/sim/sim_common.h"
#include "platform/text.h"

namespace corvane::platform::sim {

namespace {

constexpr RegView kView = RegView::kNative;

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return std::string();
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

// Calls `each` with the key and value of every line after the header; false (with *error) when
// the first line is not the header or a line is not "key = value".
template <typename Fn>
bool ForEachKey(const std::string& text, const char* header, std::string* error, Fn each) {
  error->clear();
  size_t at = 0;
  bool first = true;
  int number = 0;
  while (at <= text.size()) {
    size_t lf = text.find('\n', at);
    const std::string line =
        Trim(text.substr(at, lf == std::string::npos ? std::string::npos : lf - at));
    ++number;
    if (first) {
      if (line != header) return false;  // not a stand-in: no error text
      first = false;
    } else if (!line.empty() && line[0] != '#') {
      size_t eq = line.find('=');
      if (eq == std::string::npos) {
        *error = "line " + std::to_string(number) + " is not key = value";
        return false;
      }
      if (!each(LowerCase(Trim(line.substr(0, eq))), Trim(line.substr(eq + 1)), error)) {
        return false;
      }
    }
    if (lf == std::string::npos) break;
    at = lf + 1;
  }
  return !first;
}

bool ParseResult(const std::string& value, std::optional<int32_t>* result) {
  if (SameText(value, "none")) {
    result->reset();
    return true;
  }
  std::optional<int32_t> n = ParseScriptInteger(value);
  if (!n) return false;
  *result = *n;
  return true;
}

bool ParseRootedKey(const std::string& text, std::pair<RegRoot, std::string>* key) {
  static const std::pair<const char*, RegRoot> kRoots[] = {
      {"HKCR", RegRoot::kClassesRoot},  {"HKEY_CLASSES_ROOT", RegRoot::kClassesRoot},
      {"HKCU", RegRoot::kCurrentUser},  {"HKEY_CURRENT_USER", RegRoot::kCurrentUser},
      {"HKLM", RegRoot::kLocalMachine}, {"HKEY_LOCAL_MACHINE", RegRoot::kLocalMachine},
      {"HKU", RegRoot::kUsers},         {"HKEY_USERS", RegRoot::kUsers}};
  size_t slash = text.find('\\');
  if (slash == std::string::npos || slash + 1 >= text.size()) return false;
  for (const auto& [name, root] : kRoots) {
    if (SameText(text.substr(0, slash), name)) {
      *key = {root, text.substr(slash + 1)};
      return true;
    }
  }
  return false;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

bool ParseStandInLibrary(const std::string& text, StandInLibrary* library, std::string* error) {
  *library = StandInLibrary();
  return ForEachKey(text, "[library]", error,
                    [library](const std::string& key, const std::string& value, std::string* e) {
                      if (key == "register" || key == "unregister") {
                        auto& result = key == "register" ? library->register_result
                                                         : library->unregister_result;
                        if (ParseResult(value, &result)) return true;
                        *e = key + " is neither a number nor none: " + value;
                        return false;
                      }
                      if (key == "key") {
                        std::pair<RegRoot, std::string> k;
                        if (ParseRootedKey(value, &k)) {
                          library->keys.push_back(k);
                          return true;
                        }
                        *e = "key is not ROOT\\PATH: " + value;
                        return false;
                      }
                      *e = "unknown key " + key;
                      return false;
                    });
}

bool ParseStandInTypeLibrary(const std::string& text, StandInTypeLibrary* library,
                             std::string* error) {
  *library = StandInTypeLibrary();
  const bool ok =
      ForEachKey(text, "[typelib]", error,
                 [library](const std::string& key, const std::string& value, std::string* e) {
                   std::string* field = key == "guid"       ? &library->guid
                                        : key == "version"  ? &library->version
                                        : key == "lcid"     ? &library->lcid
                                        : key == "syskind"  ? &library->syskind
                                        : key == "name"     ? &library->name
                                        : key == "helpfile" ? &library->helpfile
                                                            : nullptr;
                   if (field == nullptr) {
                     *e = "unknown key " + key;
                     return false;
                   }
                   *field = value;
                   return true;
                 });
  if (ok && (library->guid.size() != 38 || library->guid[0] != '{')) {
    *error = "guid is not a braced GUID: " + library->guid;
    return false;
  }
  return ok;
}

Status SimLibraryRegistration::LoadTypeLibrary(const std::string& path,
                                               StandInTypeLibrary* library) {
  std::string text, error;
  Status s = files_.ReadFile(path, &text);
  if (s == Status::kNotFound) return Record(s);
  if (s != Status::kOk || !ParseStandInTypeLibrary(text, library, &error)) {
    return RecordError(Status::kFailed, 0x80029C4A);  // TYPE_E_CANTLOADLIBRARY
  }
  return Status::kOk;
}

Status SimLibraryRegistration::RegisterTypeLibrary(const std::string& path) {
  StandInTypeLibrary lib;
  Status s = LoadTypeLibrary(path, &lib);
  if (s != Status::kOk) return s;
  const std::string key = "TypeLib\\" + lib.guid + "\\" + lib.version;
  Registry& r = registry_;
  bool ok = r.WriteValue(RegRoot::kClassesRoot, key, "", kView, RegValue::String(lib.name)) ==
            Status::kOk;
  ok = ok && r.WriteValue(RegRoot::kClassesRoot, key + "\\FLAGS", "", kView,
                          RegValue::String("0")) == Status::kOk;
  ok = ok && r.WriteValue(RegRoot::kClassesRoot, key + "\\HELPDIR", "", kView,
                          RegValue::String(FolderOf(lib.helpfile))) == Status::kOk;
  ok = ok && r.WriteValue(RegRoot::kClassesRoot, key + "\\" + lib.lcid + "\\" + lib.syskind, "",
                          kView, RegValue::String(path)) == Status::kOk;
  return ok ? Status::kOk : RecordError(Status::kFailed, 0x8002801C);  // TYPE_E_REGISTRYACCESS
}

Status SimLibraryRegistration::UnregisterTypeLibrary(const std::string& path) {
  StandInTypeLibrary lib;
  Status s = LoadTypeLibrary(path, &lib);
  if (s != Status::kOk) return s;
  const std::string guid_key = "TypeLib\\" + lib.guid;
  const std::string key = guid_key + "\\" + lib.version;
  Registry& r = registry_;
  if (r.KeyExists(RegRoot::kClassesRoot, key, kView) != Status::kOk ||
      r.DeleteKeyTree(RegRoot::kClassesRoot, key, kView) != Status::kOk) {
    return RecordError(Status::kFailed, 0x8002801C);
  }
  // The library's key goes with its last version.
  std::vector<std::string> versions;
  if (r.EnumKeys(RegRoot::kClassesRoot, guid_key, kView, &versions) == Status::kOk &&
      versions.empty()) {
    r.DeleteKeyTree(RegRoot::kClassesRoot, guid_key, kView);
  }
  return Status::kOk;
}

Status SimLibraryRegistration::CallRegistrationEntry(const std::string& path, bool register_it,
                                                     int32_t* result) {
  std::string text, error;
  Status s = files_.ReadFile(path, &text);
  if (s == Status::kNotFound) return RecordError(s, 126);  // the module was not found
  StandInLibrary lib;
  if (s != Status::kOk || !ParseStandInLibrary(text, &lib, &error)) {
    return RecordError(Status::kFailed, 193);  // not a valid application
  }
  const std::optional<int32_t> entry = register_it ? lib.register_result : lib.unregister_result;
  if (!entry) return RecordError(Status::kNotFound, 127);  // the procedure was not found
  *result = *entry;
  if (*entry < 0) return Status::kOk;  // a failing entry changes nothing
  for (const auto& [root, key] : lib.keys) {
    if (register_it) {
      registry_.WriteValue(root, key, "", kView, RegValue::String(path));
    } else {
      registry_.DeleteKeyTree(root, key, kView);
    }
  }
  return Status::kOk;
}

}  // namespace corvane::platform::sim
