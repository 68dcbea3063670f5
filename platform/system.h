// System facts: clock, version, folders, locale formats and the process environment.
// Every call may be made from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/status.h"

namespace corvane::platform {

struct OsVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  uint32_t platform_id = 2;   // VER_PLATFORM_WIN32_NT
  uint8_t product_type = 1;   // VER_NT_WORKSTATION = 1, domain controller 2, server 3
  uint16_t service_pack_major = 0;
  uint16_t service_pack_minor = 0;
  std::string service_pack;   // szCSDVersion, e.g. "Service Pack 1" or ""
};

// Facts about the machine, the display and the process's account that setup scripts test before
// they decide what to install. Each reading is fresh (the display may change between readings).
struct MachineFacts {
  // The groups of the thread token (the process token when the thread has none), whatever their
  // attributes: built-in Administrators, Users, Guests, Power Users.
  bool in_administrators = false;
  bool in_users = false;
  bool in_guests = false;
  bool in_power_users = false;
  // The process token is elevated (TokenElevation); false where the system has no elevation.
  bool elevated = false;
  // The account of the process token's user (LookupAccountSid): name and referenced domain;
  // empty when the lookup fails.
  std::string account_name;
  std::string account_domain;
  uint64_t physical_memory = 0;  // bytes of physical memory in total
  int32_t screen_width = 0;      // SM_CXSCREEN
  int32_t screen_height = 0;     // SM_CYSCREEN
  int32_t bits_per_pixel = 0;    // of the display device
  int32_t dpi = -1;              // logical pixels per inch across; -1 without a display context
  bool tablet_pc = false;        // SM_TABLETPC
  bool media_center = false;     // SM_MEDIACENTER
  // PROCESSOR_ARCHITECTURE_* of the native system: 0 x86, 6 IA64, 9 AMD64.
  uint16_t native_architecture = 0;
  // Virtual-machine facts found by probing the processor; false where not probed.
  bool vmware = false;
  bool virtual_pc = false;
  // The system's language: the first translation of the system's winver.exe (low 16 bits) and
  // its name (VerLanguageName); 0 and "" when there is none.
  uint16_t language_id = 0;
  std::string language_name;
  // The first CD-ROM drive letter from A to Z, 0 when there is none.
  char first_cdrom = 0;
};

// A local date and time (SYSTEMTIME).
struct LocalTime {
  uint16_t year = 0, month = 0, day_of_week = 0, day = 0;
  uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
};

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;

  // Milliseconds since the system started, wrapping at 2^32 (GetTickCount).
  virtual uint32_t TickCount() = 0;
  virtual LocalTime Now() = 0;

  // Paths from the system are in a form the 8-bit calls open: where the code page cannot spell a
  // folder's name, its short (8.3) form; where that cannot be spelt either, the path with '?' for
  // the lost characters (see PathHasLostCharacters), which no call opens.
  //
  // Temporary folder with a trailing backslash (GetTempPath); created when it must be for its
  // short form.
  virtual std::string TempFolder() = 0;
  // Windows folder and system folder, no trailing backslash (GetWindowsDirectory,
  // GetSystemDirectory). The system folder is the one of the process's own bitness.
  virtual std::string WindowsFolder() = 0;
  virtual std::string SystemFolder() = 0;
  // Full path of the running engine executable (GetModuleFileName of the process).
  virtual std::string ModulePath() = 0;

  virtual OsVersion Version() = 0;
  // True when the operating system is 64-bit (also for a 32-bit process on it).
  virtual bool Is64BitSystem() = 0;
  // True when this process itself is 64-bit.
  virtual bool Is64BitProcess() = 0;
  // Keeps the process on the first processor it may use (the engine's threads assume one);
  // false when the system cannot.
  virtual bool RestrictToFirstProcessor() = 0;

  // Locale formats of the user default locale: the short date picture ("dd/MM/yyyy"), the time
  // picture ("HH:mm:ss"), and the separators.
  virtual std::string ShortDateFormat() = 0;
  virtual std::string TimeFormat() = 0;
  // Formats a time with a picture in the GetDateFormat/GetTimeFormat notation (an empty picture
  // gives an empty text: pass ShortDateFormat() or TimeFormat() for the locale's own).
  virtual std::string FormatDate(const LocalTime& t, const std::string& picture) = 0;
  virtual std::string FormatTime(const LocalTime& t, const std::string& picture) = 0;

  // Environment of the process. GetEnvironment gives kNotFound for an undefined name.
  virtual Status GetEnvironment(const std::string& name, std::string* value) = 0;
  // An empty value with remove set deletes the variable.
  virtual Status SetEnvironment(const std::string& name, const std::string& value,
                                bool remove = false) = 0;
  // Replaces %NAME% references of defined variables (ExpandEnvironmentStrings).
  virtual std::string ExpandEnvironment(const std::string& text) = 0;
  // The whole environment block as name/value pairs, in block order.
  virtual std::vector<std::pair<std::string, std::string>> EnvironmentBlock() = 0;

  virtual std::string ComputerName() = 0;
  virtual std::string UserName() = 0;
  // Windows error code of the last failed platform call on this thread (GetLastError).
  virtual uint32_t LastError() = 0;
  // The system's message text for a Windows error code (FormatMessage from the system table),
  // as the system writes it (usually ending in a full stop and a line break); "" when the
  // system has no text for the code.
  virtual std::string ErrorMessage(uint32_t code) = 0;
  // A new globally unique identifier, braced and upper-case: "{0F1E2D3C-...}"; "" when the
  // system cannot make one.
  virtual std::string NewGuid() = 0;

  // The system folder of 32-bit programs on 64-bit Windows (GetSystemWow64Directory), no
  // trailing backslash; "" on a 32-bit system.
  virtual std::string SystemWow64Folder() { return std::string(); }
  // A fresh reading of the machine facts; a platform that cannot tell gives the defaults.
  virtual MachineFacts Facts() { return MachineFacts(); }
  // The bytes of the engine executable's own data resource (RT_RCDATA) of that name ("DLL");
  // kNotFound when the engine carries none.
  virtual Status EngineResource(const std::string& name, std::string* bytes) {
    (void)name;
    (void)bytes;
    return Status::kNotFound;
  }

  // The user default locale's language identifier (LOCALE_ILANGUAGE) and default language
  // identifier (LOCALE_IDEFAULTLANGUAGE), whose hexadecimal answers are read as numbers; 0 when
  // the system cannot tell.
  virtual uint32_t UserLocaleLanguage() { return 0; }
  virtual uint32_t UserLocaleDefaultLanguage() { return 0; }
  // The English name of a locale's language (LOCALE_SENGLANGUAGE: "German" for 2055); "" for a
  // locale the system does not know.
  virtual std::string LocaleEnglishLanguage(uint32_t locale) {
    (void)locale;
    return std::string();
  }
};

// Forwards every call to another SystemInfo: derive from it to change one call in a test (a fixed
// clock, another version, a missing variable).
class SystemInfoWrapper : public SystemInfo {
 public:
  explicit SystemInfoWrapper(SystemInfo& target) : target_(target) {}
  uint32_t TickCount() override { return target_.TickCount(); }
  LocalTime Now() override { return target_.Now(); }
  std::string TempFolder() override { return target_.TempFolder(); }
  std::string WindowsFolder() override { return target_.WindowsFolder(); }
  std::string SystemFolder() override { return target_.SystemFolder(); }
  std::string ModulePath() override { return target_.ModulePath(); }
  OsVersion Version() override { return target_.Version(); }
  bool Is64BitSystem() override { return target_.Is64BitSystem(); }
  bool Is64BitProcess() override { return target_.Is64BitProcess(); }
  bool RestrictToFirstProcessor() override { return target_.RestrictToFirstProcessor(); }
  std::string ShortDateFormat() override { return target_.ShortDateFormat(); }
  std::string TimeFormat() override { return target_.TimeFormat(); }
  std::string FormatDate(const LocalTime& t, const std::string& picture) override {
    return target_.FormatDate(t, picture);
  }
  std::string FormatTime(const LocalTime& t, const std::string& picture) override {
    return target_.FormatTime(t, picture);
  }
  Status GetEnvironment(const std::string& name, std::string* value) override {
    return target_.GetEnvironment(name, value);
  }
  Status SetEnvironment(const std::string& name, const std::string& value,
                        bool remove = false) override {
    return target_.SetEnvironment(name, value, remove);
  }
  std::string ExpandEnvironment(const std::string& text) override {
    return target_.ExpandEnvironment(text);
  }
  std::vector<std::pair<std::string, std::string>> EnvironmentBlock() override {
    return target_.EnvironmentBlock();
  }
  std::string ComputerName() override { return target_.ComputerName(); }
  std::string UserName() override { return target_.UserName(); }
  uint32_t LastError() override { return target_.LastError(); }
  std::string ErrorMessage(uint32_t code) override { return target_.ErrorMessage(code); }
  std::string NewGuid() override { return target_.NewGuid(); }
  std::string SystemWow64Folder() override { return target_.SystemWow64Folder(); }
  MachineFacts Facts() override { return target_.Facts(); }
  Status EngineResource(const std::string& name, std::string* bytes) override {
    return target_.EngineResource(name, bytes);
  }
  uint32_t UserLocaleLanguage() override { return target_.UserLocaleLanguage(); }
  uint32_t UserLocaleDefaultLanguage() override { return target_.UserLocaleDefaultLanguage(); }
  std::string LocaleEnglishLanguage(uint32_t locale) override {
    return target_.LocaleEnglishLanguage(locale);
  }

 protected:
  SystemInfo& target_;
};

}  // namespace corvane::platform
