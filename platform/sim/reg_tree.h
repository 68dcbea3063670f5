// The registry of the simulated machine as a tree of keys, and its text form: the ".reg" files
// that a registry editor exports ("Windows Registry Editor Version 5.00", or the older
// "REGEDIT4").
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace corvane::platform::sim {

struct RegKeyNode {
  std::string name;  // as created (1252)
  // Subkeys by upper-cased name: the registry enumerates them in that order.
  std::map<std::string, std::unique_ptr<RegKeyNode>> children;
  // Values in the order they were created; the empty name is the default value.
  std::vector<std::pair<std::string, RegValue>> values;

  RegKeyNode* Child(std::string_view name) const;
  RegKeyNode* AddChild(std::string_view name);  // the existing one when present
  const RegValue* Value(std::string_view name) const;
  void SetValue(std::string_view name, const RegValue& value);
  bool RemoveValue(std::string_view name);
};

// The real roots of the tree. HKEY_CLASSES_ROOT is HKLM\SOFTWARE\Classes.
struct RegTree {
  RegKeyNode local_machine{"HKEY_LOCAL_MACHINE", {}, {}};
  RegKeyNode current_user{"HKEY_CURRENT_USER", {}, {}};
  RegKeyNode users{"HKEY_USERS", {}, {}};
  RegKeyNode current_config{"HKEY_CURRENT_CONFIG", {}, {}};

  // The node of a real root (kClassesRoot gives nullptr: callers map it first).
  RegKeyNode* Root(RegRoot root);
  // Finds or creates the key below root along components; nullptr when missing and !create.
  RegKeyNode* Walk(RegRoot root, const std::vector<std::string>& components, bool create);
  // Removes the key with its subtree; false when it is missing.
  bool Remove(RegRoot root, const std::vector<std::string>& components);
};

// The components of a key path ("SOFTWARE\Vendor" -> {"SOFTWARE", "Vendor"}); empty components
// (a trailing or doubled backslash, which the system reads as one) are skipped. A leading
// backslash is refused by the registry calls before a path gets here.
std::vector<std::string> SplitKeyPath(std::string_view path);

// Writes the whole tree in the version 5 form, text in UTF-8. Strings that cannot stand on one
// quoted line (line breaks, nulls) are written in the hex(1) form.
std::string WriteRegText(const RegTree& tree);

// Applies a .reg text to the tree (key and value deletions included). The text may be UTF-8,
// UTF-16LE with its byte order mark, or a "REGEDIT4" file in the 1252 code page. False with a
// message naming the line when the text is malformed; what came before that line is applied.
bool ReadRegText(std::string_view text, RegTree* tree, std::string* error);

}  // namespace corvane::platform::sim
