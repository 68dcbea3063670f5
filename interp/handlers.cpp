#include "interp/handlers.h"

#include <algorithm>

namespace corvane::interp {

void HandlerTable::Add(std::string_view name, CommandHandler handler, std::string_view where) {
  auto [it, inserted] = rows_.try_emplace(std::string(name), Row{handler, std::string(where)});
  if (!inserted) {
    duplicates_.push_back(std::string(name) + " (" + std::string(where) + ", first in " +
                          it->second.where + ")");
  }
}

void HandlerTable::Override(std::string_view name, CommandHandler handler) {
  rows_[std::string(name)] = Row{handler, "override"};
}

CommandHandler HandlerTable::Find(std::string_view name) const {
  auto it = rows_.find(std::string(name));
  return it == rows_.end() ? nullptr : it->second.handler;
}

void HandlerTable::SetPluginHandler(CommandHandler handler, std::string_view where) {
  if (plugin_) {
    duplicates_.push_back("<plug-in actions> (" + std::string(where) + ", first in " +
                          plugin_where_ + ")");
    return;
  }
  plugin_ = handler;
  plugin_where_ = std::string(where);
}

std::vector<std::string> HandlerTable::names() const {
  std::vector<std::string> out;
  out.reserve(rows_.size());
  for (const auto& [name, row] : rows_) out.push_back(name);
  std::sort(out.begin(), out.end());
  return out;
}

HandlerTable& GlobalHandlerTable() {
  static HandlerTable table;
  return table;
}

// clang-format off
const char* const kCommandIndex[103] = {
    // variables and conditions, control flow, ending the script
    "Set Variable", "Evaluate Expression", "If", "Else If", "Else", "End", "Wizard Loop",
    "Label", "GoTo Label", "Comment", "Ignore", "Terminate Install", "Terminate with Exit Code",
    // strings and values
    "Parse String", "Replace String", "Convert Case", "Mathematics", "Get Environment",
    "Set Environment", "Get Temporary File", "Convert Path", "Extract Path", "Check Disk Space",
    // files and folders
    "Copy/Move Local Files", "Delete Files", "Delete Files Recursive", "Create Folder",
    "Does File/Folder Exist", "Find All Files", "Get File Version", "Check File Version",
    // text and INI files
    "Read from Text File", "Write to Text File", "Edit INI File", "Get INI File Settings",
    // registry
    "Read Registry", "Write Registry", "Delete Registry", "Check Registry", "Set 64 Bit Mode",
    // system information
    "Get System Settings", "Get OS or SP Level", "Get Folder Location", "Is MSI Setup Installed",
    // programs
    "Run Program", "Run Program As", "Terminate Program", "Check Process",
    // messages, tray, restart
    "MessageBox", "MessageBalloon", "System Tray", "Reboot Computer", "Reboot and Resume",
    // services, tasks, libraries
    "Check Service", "Control Service", "Install Service", "Schedule Task",
    "Delete Scheduled Task", "Register Library",
    // shortcuts and file types
    "Create Shortcut", "Advertised Shortcut", "Create File Type", "Advertised File Type",
    // web server, shares, .NET
    "Get IIS Site List", "Get IIS Site Index", "Get IIS Property", "Set IIS Property",
    "Create IIS Site", "Create Virtual Folder", "Delete IIS Site", "Delete Virtual Folder",
    "Control IIS Site", "IIS Anonymous User", "Create Share", "Delete Share",
    "Set Access Control", "Create ODBC DSN", "Install ODBC Driver", "Install Assembly",
    "Remove Assemblies", "Generate Native Images", "Run .NET Installer Class",
    "Register Assembly",
    // components
    "Define Component", "Get Component State", "Set Component State", "Get Component Space",
    "Set Component Space", "Set Component Choice", "Set Component Visibility",
    "Delete Component", "Save Feature Selections", "Load Feature Selections",
    // dialogs and languages
    "Display Dialog", "Hide Dialog", "Localization Variable",
    // media, installer, light mode
    "Web Media Block", "Extract 7Zip Archive", "Apply Changes", "Apply Patch",
    "Transform Instance", "Install Files", "Run Light Mode Setup",
};
// clang-format on

}  // namespace corvane::interp
