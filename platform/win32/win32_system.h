// System facts through kernel32/advapi32: clock, version, folders, locale and environment.
#pragma once

#include "platform/system.h"

namespace corvane::platform::win32 {

class Win32SystemInfo : public SystemInfo {
 public:
  uint32_t TickCount() override;
  LocalTime Now() override;
  std::string TempFolder() override;
  std::string WindowsFolder() override;
  std::string SystemFolder() override;
  std::string ModulePath() override;
  OsVersion Version() override;
  bool Is64BitSystem() override;
  bool Is64BitProcess() override;
  bool RestrictToFirstProcessor() override;
  std::string ShortDateFormat() override;
  std::string TimeFormat() override;
  std::string FormatDate(const LocalTime& t, const std::string& picture) override;
  std::string FormatTime(const LocalTime& t, const std::string& picture) override;
  Status GetEnvironment(const std::string& name, std::string* value) override;
  Status SetEnvironment(const std::string& name, const std::string& value,
                        bool remove = false) override;
  std::string ExpandEnvironment(const std::string& text) override;
  std::vector<std::pair<std::string, std::string>> EnvironmentBlock() override;
  std::string ComputerName() override;
  std::string UserName() override;
  uint32_t LastError() override;
  std::string ErrorMessage(uint32_t code) override;
  std::string NewGuid() override;
  std::string SystemWow64Folder() override;
  MachineFacts Facts() override;
  // FindResource in the engine's own module (win32_resources.cpp).
  Status EngineResource(const std::string& name, std::string* bytes) override;
  uint32_t UserLocaleLanguage() override;
  uint32_t UserLocaleDefaultLanguage() override;
  std::string LocaleEnglishLanguage(uint32_t locale) override;
};

}  // namespace corvane::platform::win32
