#include "platform/sim/sim_system.h"

#include <sched.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <random>

#include "platform/sim/date_format.h"
#include "platform/sim/locale_names.h"
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

uint64_t SimSystemInfo::Milliseconds() {
  auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - start_)
                     .count();
  return machine_.uptime_ms + static_cast<uint64_t>(elapsed) +
         advanced_ms_.load(std::memory_order_acquire);
}

uint32_t SimSystemInfo::TickCount() { return static_cast<uint32_t>(Milliseconds()); }

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

std::string SimSystemInfo::NewGuid() {
  // A version 4 identifier from the host's random source.
  static std::mutex mutex;
  static std::mt19937_64 random{std::random_device{}()};
  uint64_t a, b;
  {
    std::lock_guard<std::mutex> lock(mutex);
    a = random();
    b = random();
  }
  a = (a & ~0xF000ull) | 0x4000ull;
  b = (b & ~(0xC000ull << 48)) | (0x8000ull << 48);
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%012llX}",
                static_cast<unsigned>(a >> 32), static_cast<unsigned>((a >> 16) & 0xFFFF),
                static_cast<unsigned>(a & 0xFFFF), static_cast<unsigned>(b >> 48),
                static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
  return text;
}

std::string SimSystemInfo::ErrorMessage(uint32_t code) {
  // The texts of the system's message table for the codes a simulated machine produces.
  static const struct {
    uint32_t code;
    const char* text;
  } kTexts[] = {
      {2, "The system cannot find the file specified."},
      {3, "The system cannot find the path specified."},
      {5, "Access is denied."},
      {87, "The parameter is incorrect."},
      {112, "There is not enough space on the disk."},
      {1601, "The Windows Installer Service could not be accessed."},
      {1602, "User cancelled installation."},
      {1603, "Fatal error during installation."},
      {1604, "Installation suspended, incomplete."},
      {1605, "This action is only valid for products that are currently installed."},
      {1618, "Another installation is already in progress. Complete that installation before "
             "proceeding with this install."},
      {1619, "This installation package could not be opened. Verify that the package exists and "
             "that you can access it, or contact the application vendor to verify that this is a "
             "valid Windows Installer package."},
      {1620, "This installation package could not be opened. Contact the application vendor to "
             "verify that this is a valid Windows Installer package."},
      {1625, "This installation is forbidden by system policy. Contact your system "
             "administrator."},
      {1633, "This installation package is not supported by this processor type. Contact your "
             "product vendor."},
      {1635, "This update package could not be opened. Verify that the update package exists "
             "and that you can access it, or contact the application vendor to verify that this "
             "is a valid Windows Installer update package."},
      {1638, "Another version of this product is already installed. Installation of this "
             "version cannot continue. To configure or remove the existing version of this "
             "product, use Add/Remove Programs on the Control Panel."},
      {1639, "Invalid command line argument. Consult the Windows Installer SDK for detailed "
             "command line help."},
      {1642, "The upgrade cannot be installed by the Windows Installer service because the "
             "program to be upgraded may be missing, or the upgrade may update a different "
             "version of the program. Verify that the program to be upgraded exists on your "
             "computer and that you have the correct upgrade."},
  };
  for (const auto& t : kTexts) {
    if (t.code == code) return std::string(t.text) + "\r\n";
  }
  return "";
}

uint64_t SimSystemInfo::AddWakeup(uint64_t at) {
  std::lock_guard<std::mutex> lock(wakeups_mu_);
  uint64_t id = next_wakeup_id_++;
  wakeups_[id] = at;
  return id;
}

void SimSystemInfo::RemoveWakeup(uint64_t id) {
  std::lock_guard<std::mutex> lock(wakeups_mu_);
  wakeups_.erase(id);
}

uint64_t SimSystemInfo::NextWakeup() {
  std::lock_guard<std::mutex> lock(wakeups_mu_);
  uint64_t earliest = 0;
  for (const auto& [id, at] : wakeups_) {
    if (earliest == 0 || at < earliest) earliest = at;
  }
  return earliest;
}

std::string SimSystemInfo::LocaleEnglishLanguage(uint32_t locale) {
  // The user default locale (0x400) and the neutral locale (0) stand for the user's own.
  if (locale == 0 || locale == 0x400) locale = machine_.user_language;
  return EnglishLanguageOfLocale(locale);
}

}  // namespace corvane::platform::sim
