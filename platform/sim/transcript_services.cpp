// The transcript lines of the service manager, the task scheduler and library registration.
#include <cstdio>

#include "platform/sim/sim_services.h"
#include "platform/sim/transcript.h"

namespace corvane::platform::sim {

namespace {

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

std::string Hex(uint32_t n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", n);
  return buf;
}

std::string Where(const std::string& computer) {
  return computer.empty() ? std::string() : " on " + Quote(computer);
}

std::string Outcome(Status s) { return s == Status::kOk ? "ok" : StatusName(s); }

}  // namespace

Status RecordingServices::QueryServiceState(const std::string& computer, const std::string& name,
                                            uint32_t* state) {
  Status s = ServicesWrapper::QueryServiceState(computer, name, state);
  t_.Add("service query " + Quote(name) + Where(computer) + " -> " +
         (s == Status::kOk ? "state " + std::to_string(*state) : Outcome(s)));
  return s;
}

Status RecordingServices::StartServiceAndWait(const std::string& computer,
                                              const std::string& name) {
  Status s = ServicesWrapper::StartServiceAndWait(computer, name);
  t_.Add("service start " + Quote(name) + Where(computer) + " -> " + Outcome(s));
  return s;
}

Status RecordingServices::SaveTask(const std::string& computer, const std::string& name,
                                   const ScheduledTask& task) {
  Status s = ServicesWrapper::SaveTask(computer, name, task);
  std::string line = "task save " + Quote(name) + Where(computer) + " program " +
                     Quote(task.program) + " arguments " + Quote(task.arguments) + " folder " +
                     Quote(task.working_folder) + " flags " + Hex(task.flags);
  if (task.set_account) {
    line += " account " + Quote(task.account) + " password of " +
            std::to_string(task.password.size()) + " characters";
  }
  for (const TaskTrigger& t : task.triggers) line += " trigger " + TriggerText(t);
  t_.Add(line + " -> " + Outcome(s));
  return s;
}

Status RecordingServices::DeleteTask(const std::string& computer, const std::string& name) {
  Status s = ServicesWrapper::DeleteTask(computer, name);
  t_.Add("task delete " + Quote(name) + Where(computer) + " -> " + Outcome(s));
  return s;
}

Status RecordingRegistration::RegisterTypeLibrary(const std::string& path) {
  Status s = LibraryRegistrationWrapper::RegisterTypeLibrary(path);
  t_.Add("library register-type-library " + Quote(path) + " -> " + Outcome(s));
  return s;
}

Status RecordingRegistration::UnregisterTypeLibrary(const std::string& path) {
  Status s = LibraryRegistrationWrapper::UnregisterTypeLibrary(path);
  t_.Add("library unregister-type-library " + Quote(path) + " -> " + Outcome(s));
  return s;
}

Status RecordingRegistration::CallRegistrationEntry(const std::string& path, bool register_it,
                                                    int32_t* result) {
  Status s = LibraryRegistrationWrapper::CallRegistrationEntry(path, register_it, result);
  t_.Add(std::string("library ") + (register_it ? "DllRegisterServer " : "DllUnregisterServer ") +
         Quote(path) + " -> " +
         (s == Status::kOk ? Hex(static_cast<uint32_t>(*result)) : Outcome(s)));
  return s;
}

}  // namespace corvane::platform::sim
