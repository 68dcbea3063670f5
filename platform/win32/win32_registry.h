// The registry through the advapi32 calls, with the view flags KEY_WOW64_32KEY/KEY_WOW64_64KEY.
#pragma once

#include "platform/registry.h"

namespace corvane::platform::win32 {

class Win32Registry : public Registry {
 public:
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
};

}  // namespace corvane::platform::win32
