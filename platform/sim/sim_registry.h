// The registry of the simulated machine: one tree in memory with the 32-bit and 64-bit views of
// 64-bit Windows. In the 32-bit view HKLM\SOFTWARE\X is HKLM\SOFTWARE\Wow6432Node\X, except for
// the keys that Windows shares between the views (Clients, Policies, RegisteredApplications, a few
// Microsoft keys) and for HKLM\SOFTWARE\Classes, of which only CLSID, DirectShow, Interface,
// Media Type and MediaFoundation are redirected. HKEY_CLASSES_ROOT is HKLM\SOFTWARE\Classes. On a
// 32-bit machine both views are the one tree.
#pragma once

#include <mutex>
#include <string>

#include "platform/registry.h"
#include "platform/sim/reg_tree.h"

namespace corvane::platform::sim {

class SimRegistry : public Registry {
 public:
  SimRegistry(bool windows64, bool process64) : windows64_(windows64), process64_(process64) {}

  Status KeyExists(RegRoot root, const std::string& key, RegView view) override;
  Status CreateKey(RegRoot root, const std::string& key, RegView view) override;
  Status ReadValue(RegRoot root, const std::string& key, const std::string& name, RegView view,
                   RegValue* value) override;
  Status WriteValue(RegRoot root, const std::string& key, const std::string& name, RegView view,
                    const RegValue& value) override;
  Status DeleteValue(RegRoot root, const std::string& key, const std::string& name,
                     RegView view) override;
  Status DeleteKeyTree(RegRoot root, const std::string& key, RegView view) override;
  Status EnumKeys(RegRoot root, const std::string& key, RegView view,
                  std::vector<std::string>* names) override;
  Status EnumValues(RegRoot root, const std::string& key, RegView view,
                    std::vector<std::string>* names) override;

  // The .reg text of the whole registry, and loading one into it (merged with what is there).
  std::string SaveText();
  bool LoadText(std::string_view text, std::string* error);
  // The registry becomes the one of the text at once (what another process of the machine left
  // in the registry file); unchanged when the text cannot be read.
  bool ReplaceText(std::string_view text, std::string* error);
  // Empties the registry.
  void Clear();

  // Where a key of a view lives in the tree: the real root and its components.
  void MapKey(RegRoot root, const std::string& key, RegView view, RegRoot* real_root,
              std::vector<std::string>* components) const;

 private:
  std::mutex mu_;
  RegTree tree_;
  bool windows64_;
  bool process64_;
};

}  // namespace corvane::platform::sim
