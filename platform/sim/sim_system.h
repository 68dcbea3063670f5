// System facts of the simulated machine, from its description (machine.txt). The tick count runs
// on the host's monotonic clock from the machine's uptime at start, moved on by the virtual time
// that the headless renderer lets pass (a user who waits, an idle wait that skips to its next
// timer); the environment is the
// process's own block, kept sorted by upper-cased name as Windows keeps it.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>

#include "platform/sim/machine.h"
#include "platform/system.h"

namespace corvane::platform::sim {

class SimSystemInfo : public SystemInfo {
 public:
  explicit SimSystemInfo(const MachineDescription& machine);

  uint32_t TickCount() override;
  // Milliseconds since the machine started, without wrapping (the timers' clock).
  uint64_t Milliseconds();
  // Lets `ms` of virtual time pass at once. Any thread may read the clock meanwhile.
  void AdvanceClock(uint64_t ms) { advanced_ms_.fetch_add(ms, std::memory_order_acq_rel); }
  // Times of the clock that a thread of the machine waits for (a program that ends, the end of
  // a wait step): an idle wait of the renderer moves the clock on to the earliest of them as it
  // does to its next timer. AddWakeup gives the id that RemoveWakeup takes; NextWakeup is 0 when
  // nobody waits. Any thread.
  uint64_t AddWakeup(uint64_t at);
  void RemoveWakeup(uint64_t id);
  uint64_t NextWakeup();
  LocalTime Now() override;
  std::string TempFolder() override { return machine_.temp_folder; }
  std::string WindowsFolder() override { return machine_.windows_folder; }
  std::string SystemFolder() override { return machine_.windows_folder + "\\system32"; }
  std::string ModulePath() override { return machine_.module_path; }
  OsVersion Version() override { return machine_.version; }
  bool Is64BitSystem() override { return machine_.windows64; }
  bool Is64BitProcess() override { return machine_.windows64 && machine_.process64; }
  // The simulation runs as a host process: it is kept on the first host processor it may use.
  bool RestrictToFirstProcessor() override;
  std::string ShortDateFormat() override { return machine_.short_date; }
  std::string TimeFormat() override { return machine_.time_format; }
  std::string FormatDate(const LocalTime& t, const std::string& picture) override;
  std::string FormatTime(const LocalTime& t, const std::string& picture) override;
  Status GetEnvironment(const std::string& name, std::string* value) override;
  Status SetEnvironment(const std::string& name, const std::string& value,
                        bool remove = false) override;
  std::string ExpandEnvironment(const std::string& text) override;
  std::vector<std::pair<std::string, std::string>> EnvironmentBlock() override;
  std::string ComputerName() override { return machine_.computer; }
  std::string UserName() override { return machine_.user; }
  uint32_t LastError() override;
  std::string ErrorMessage(uint32_t code) override;
  std::string NewGuid() override;
  std::string SystemWow64Folder() override {
    return machine_.windows64 ? machine_.windows_folder + "\\SysWOW64" : std::string();
  }
  MachineFacts Facts() override { return machine_.facts; }
  // The engine's resources: the web server's administration library (resource "DLL") and the
  // assembly tools (sim_resources.cpp).
  Status EngineResource(const std::string& name, std::string* bytes) override;
  uint32_t UserLocaleLanguage() override { return machine_.user_language; }
  uint32_t UserLocaleDefaultLanguage() override {
    return machine_.user_default_language.value_or(machine_.user_language);
  }
  std::string LocaleEnglishLanguage(uint32_t locale) override;

 private:
  MachineDescription machine_;
  std::chrono::steady_clock::time_point start_;
  std::atomic<uint64_t> advanced_ms_{0};
  std::mutex mu_;
  std::vector<std::pair<std::string, std::string>> env_;
  std::mutex wakeups_mu_;
  std::map<uint64_t, uint64_t> wakeups_;  // id -> time
  uint64_t next_wakeup_id_ = 1;
};

}  // namespace corvane::platform::sim
