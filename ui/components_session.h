// The component table of a run, as the session holds it, and the variables the component data
// file reads and writes, over the run's variable store.
#pragma once

#include "interp/session.h"
#include "ui/components.h"

namespace corvane::ui {

// The run's component table: the one attached to the session, or a table the session then owns
// for the rest of the run.
ComponentTable& ComponentsOf(interp::Session& session);

class SessionComponentVariables : public ComponentVariables {
 public:
  explicit SessionComponentVariables(interp::Session& session) : s_(session) {}
  std::string Get(std::string_view name) override { return s_.variables.GetVariable(name); }
  void Set(std::string_view name, std::string_view value, std::string_view source) override {
    s_.variables.SetVariable(name, value, source);
  }
  std::vector<std::string> SavedVariables() override { return s_.variables.saved_variables(); }
  void AppendSavedVariable(std::string_view name) override {
    s_.variables.AppendSavedVariable(name);
  }

 private:
  interp::Session& s_;
};

}  // namespace corvane::ui
