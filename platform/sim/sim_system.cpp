#include "platform/sim/sim_system.h"

#include <sched.h>

#include <algorithm>
#include <ctime>

#include "platform/sim/date_format.h"
#include "platform/sim/sim_common.h"
#include "platform/text.h"

namespace corvane::platform::sim {
namespace {

constexpr uint32_t kErrorEnvvarNotFound = 203;
constexpr uint32_t kErrorInvalidParameter = 87;

bool NameLess(const std::string& a, const std::string& b) { return UpperCase(a) < UpperCase(b); }

}  // namespace

SimSystemInfo::SimSystemInfo(const MachineDescription& machine)
    : machine_(machine), start_(std::chrono::steady_clock::now()),
      env_(machine.InitialEnvironment()) {}

uint32_t SimSystemInfo::TickCount() {
  auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - start_)
                     .count();
  return static_cast<uint32_t>(machine_.uptime_ms + static_cast<uint64_t>(elapsed));
}

bool SimSystemInfo::RestrictToFirstProcessor() {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof(allowed), &allowed) != 0) return false;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (!CPU_ISSET(cpu, &allowed)) continue;
    cpu_set_t first;
    CPU_ZERO(&first);
    CPU_SET(cpu, &first);
    return sched_setaffinity(0, sizeof(first), &first) == 0;
  }
  return false;
}

LocalTime SimSystemInfo::Now() {
  if (machine_.clock) {
    // A fixed clock still moves with the run, so that intervals measured by it are real.
    auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(
                       std::chrono::steady_clock::now() - start_)
                       .count();
    std::tm tm{};
    tm.tm_year = machine_.clock->year - 1900;
    tm.tm_mon = machine_.clock->month - 1;
    tm.tm_mday = machine_.clock->day;
    tm.tm_hour = machine_.clock->hour;
    tm.tm_min = machine_.clock->minute;
    tm.tm_sec = machine_.clock->second + static_cast<int>(elapsed);
    time_t t = timegm(&tm);
    std::tm out{};
    gmtime_r(&t, &out);
    LocalTime lt;
    lt.year = static_cast<uint16_t>(out.tm_year + 1900);
    lt.month = static_cast<uint16_t>(out.tm_mon + 1);
    lt.day = static_cast<uint16_t>(out.tm_mday);
    lt.day_of_week = static_cast<uint16_t>(out.tm_wday);
    lt.hour = static_cast<uint16_t>(out.tm_hour);
    lt.minute = static_cast<uint16_t>(out.tm_min);
    lt.second = static_cast<uint16_t>(out.tm_sec);
    return lt;
  }
  auto now = std::chrono::system_clock::now();
  time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm out{};
  localtime_r(&t, &out);
  LocalTime lt;
  lt.year = static_cast<uint16_t>(out.tm_year + 1900);
  lt.month = static_cast<uint16_t>(out.tm_mon + 1);
  lt.day = static_cast<uint16_t>(out.tm_mday);
  lt.day_of_week = static_cast<uint16_t>(out.tm_wday);
  lt.hour = static_cast<uint16_t>(out.tm_hour);
  lt.minute = static_cast<uint16_t>(out.tm_min);
  lt.second = static_cast<uint16_t>(out.tm_sec);
  lt.milliseconds = static_cast<uint16_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  return lt;
}

std::string SimSystemInfo::FormatDate(const LocalTime& t, const std::string& picture) {
  return FormatDatePicture(t, picture);
}

std::string SimSystemInfo::FormatTime(const LocalTime& t, const std::string& picture) {
  return FormatTimePicture(t, picture);
}

Status SimSystemInfo::GetEnvironment(const std::string& name, std::string* value) {
  value->clear();
  std::lock_guard<std::mutex> lock(mu_);
  for (const auto& [n, v] : env_) {
    if (SameText(n, name)) {
      *value = v;
      return Status::kOk;
    }
  }
  return RecordError(Status::kNotFound, kErrorEnvvarNotFound);
}

Status SimSystemInfo::SetEnvironment(const std::string& name, const std::string& value,
                                     bool remove) {
  if (name.empty() || name.find('=') != std::string::npos) {
    return RecordError(Status::kFailed, kErrorInvalidParameter);
  }
  std::lock_guard<std::mutex> lock(mu_);
  auto it = std::find_if(env_.begin(), env_.end(),
                         [&](const auto& e) { return SameText(e.first, name); });
  if (remove) {
    if (it != env_.end()) env_.erase(it);
    return Status::kOk;
  }
  if (it != env_.end()) {
    *it = {name, value};  // the entry is replaced, name spelling included
    return Status::kOk;
  }
  auto pos = std::lower_bound(env_.begin(), env_.end(), name,
                              [](const auto& e, const std::string& n) { return NameLess(e.first, n); });
  env_.insert(pos, {name, value});
  return Status::kOk;
}

std::string SimSystemInfo::ExpandEnvironment(const std::string& text) {
  std::lock_guard<std::mutex> lock(mu_);
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '%') {
      out.push_back(text[i++]);
      continue;
    }
    size_t close = text.find('%', i + 1);
    if (close == std::string::npos) {
      out.append(text, i, std::string::npos);
      break;
    }
    std::string name = text.substr(i + 1, close - i - 1);
    auto it = name.empty() ? env_.end()
                           : std::find_if(env_.begin(), env_.end(),
                                          [&](const auto& e) { return SameText(e.first, name); });
    if (it != env_.end()) {
      out += it->second;
      i = close + 1;
    } else {
      // An undefined name stays as written, both signs included.
      out.append(text, i, close - i + 1);
      i = close + 1;
    }
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> SimSystemInfo::EnvironmentBlock() {
  std::lock_guard<std::mutex> lock(mu_);
  return env_;
}

uint32_t SimSystemInfo::LastError() { return ThreadLastError(); }

}  // namespace corvane::platform::sim
