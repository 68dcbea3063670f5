// The table from command name to handler. Every source that owns commands adds its rows where it
// defines them:
//
//   static void RunMessageBox(interp::CommandContext& ctx) { ... }
//   CORVANE_COMMAND("MessageBox", RunMessageBox);
//
// The rows are collected at static initialisation into the global table. A library that defines
// rows must be linked whole (see corvane_link_handlers in interp/CMakeLists.txt), or the linker
// drops the objects that nothing else refers to.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvane::interp {

class CommandContext;
using CommandHandler = void (*)(CommandContext&);

class HandlerTable {
 public:
  // Adds a row; a second row for the same name is kept aside in duplicates() and not used.
  void Add(std::string_view name, CommandHandler handler, std::string_view where);
  // Replaces (or adds) a row: for tests that run scripts against their own handler.
  void Override(std::string_view name, CommandHandler handler);
  // The handler of an exact (case-sensitive) name, or null.
  CommandHandler Find(std::string_view name) const;

  // The handler of plug-in actions (every name of the build's plug-in list).
  void SetPluginHandler(CommandHandler handler, std::string_view where);
  CommandHandler plugin_handler() const { return plugin_; }

  std::vector<std::string> names() const;
  // "name (where)" for every row that was added twice.
  const std::vector<std::string>& duplicates() const { return duplicates_; }

 private:
  struct Row {
    CommandHandler handler;
    std::string where;
  };
  std::unordered_map<std::string, Row> rows_;
  CommandHandler plugin_ = nullptr;
  std::string plugin_where_;
  std::vector<std::string> duplicates_;
};

// The table every run uses unless it is given another one.
HandlerTable& GlobalHandlerTable();

// Every command name that has a handler (the command index), besides the plug-in actions.
extern const char* const kCommandIndex[103];

struct HandlerRegistrar {
  HandlerRegistrar(std::string_view name, CommandHandler handler, std::string_view where) {
    GlobalHandlerTable().Add(name, handler, where);
  }
};
struct PluginHandlerRegistrar {
  PluginHandlerRegistrar(CommandHandler handler, std::string_view where) {
    GlobalHandlerTable().SetPluginHandler(handler, where);
  }
};

}  // namespace corvane::interp

#define CORVANE_HANDLER_CONCAT2(a, b) a##b
#define CORVANE_HANDLER_CONCAT(a, b) CORVANE_HANDLER_CONCAT2(a, b)
#define CORVANE_COMMAND(name, handler)                                     \
  static const ::corvane::interp::HandlerRegistrar CORVANE_HANDLER_CONCAT( \
      corvane_command_row_, __LINE__)(name, handler, __FILE__)
#define CORVANE_PLUGIN_COMMANDS(handler)                                         \
  static const ::corvane::interp::PluginHandlerRegistrar CORVANE_HANDLER_CONCAT( \
      corvane_plugin_row_, __LINE__)(handler, __FILE__)
