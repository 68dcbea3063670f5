#include <algorithm>
#include <chrono>
#include <thread>

#include "tests/contract/contract_env.h"

namespace corvane::contract {
namespace {

using namespace platform;

using SystemContract = ContractTest;

TEST_F(SystemContract, FoldersExistAndHaveTheirForm) {
  std::string temp = Sys().TempFolder();
  ASSERT_GE(temp.size(), 4u);
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_EQ(temp[1], ':');
  EXPECT_TRUE(Files().DirectoryExists(temp));
  std::string win = Sys().WindowsFolder();
  EXPECT_NE(win.back(), '\\');
  EXPECT_TRUE(Files().DirectoryExists(win));
  std::string sys = Sys().SystemFolder();
  EXPECT_TRUE(Files().DirectoryExists(sys)) << sys;
  EXPECT_EQ(sys.rfind(win, 0), 0u) << "the system folder lies in the Windows folder";
  std::string module = Sys().ModulePath();
  ASSERT_GT(module.size(), 4u);
  EXPECT_EQ(module[1], ':');
  EXPECT_EQ(module.substr(module.size() - 4).find_first_of("eE"), 1u);  // ".exe"
}

TEST_F(SystemContract, TickCountAdvances) {
  uint32_t t1 = Sys().TickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  uint32_t t2 = Sys().TickCount();
  EXPECT_GE(t2 - t1, 90u);
  EXPECT_LT(t2 - t1, 5000u);
}

TEST_F(SystemContract, VersionAndBitnessArePlausible) {
  OsVersion v = Sys().Version();
  EXPECT_GE(v.major, 5u);
  EXPECT_EQ(v.platform_id, 2u);
  EXPECT_GE(v.product_type, 1);
  EXPECT_LE(v.product_type, 3);
  if (v.major >= 10) {
    EXPECT_GE(v.build, 10240u);
  }
  if (Sys().Is64BitProcess()) {
    EXPECT_TRUE(Sys().Is64BitSystem());
  }
  EXPECT_FALSE(Sys().ComputerName().empty());
  EXPECT_FALSE(Sys().UserName().empty());
  LocalTime now = Sys().Now();
  EXPECT_GE(now.year, 2020);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_LE(now.day_of_week, 6);
}

// The locale facts the language selection reads: a user locale is a language the locale table
// names, and a locale's language is named by its primary language whatever its region.
TEST_F(SystemContract, LocaleLanguagesHaveEnglishNames) {
  const uint32_t user = Sys().UserLocaleLanguage();
  EXPECT_NE(user, 0u);
  EXPECT_LE(user, 0xFFFFu);
  EXPECT_NE(Sys().UserLocaleDefaultLanguage(), 0u);
  EXPECT_FALSE(Sys().LocaleEnglishLanguage(user).empty()) << user;
  EXPECT_EQ(Sys().LocaleEnglishLanguage(1033), "English");
  EXPECT_EQ(Sys().LocaleEnglishLanguage(1031), "German");
  EXPECT_EQ(Sys().LocaleEnglishLanguage(2055), "German");   // Swiss German
  EXPECT_EQ(Sys().LocaleEnglishLanguage(3084), "French");   // French (Canada)
  EXPECT_EQ(Sys().LocaleEnglishLanguage(1034), "Spanish");  // Spanish, traditional sort
  EXPECT_EQ(Sys().LocaleEnglishLanguage(0x7F01), "");       // a primary language nobody has
}

TEST_F(SystemContract, EnvironmentSetGetExpandRemove) {
  std::string value;
  const std::string name = "CORVANE_CONTRACT_VAR";
  EXPECT_EQ(Sys().GetEnvironment(name, &value), Status::kNotFound);
  ASSERT_EQ(Sys().SetEnvironment(name, "C:\\Some Folder"), Status::kOk);
  ASSERT_EQ(Sys().GetEnvironment("corvane_contract_var", &value), Status::kOk);
  EXPECT_EQ(value, "C:\\Some Folder");

  EXPECT_EQ(Sys().ExpandEnvironment("%" + name + "%\\sub"), "C:\\Some Folder\\sub");
  EXPECT_EQ(Sys().ExpandEnvironment("[%corvane_contract_var%]"), "[C:\\Some Folder]");
  EXPECT_EQ(Sys().ExpandEnvironment("%CORVANE_UNDEFINED_VAR%"), "%CORVANE_UNDEFINED_VAR%");
  EXPECT_EQ(Sys().ExpandEnvironment("50% of %CORVANE_CONTRACT_VAR"), "50% of %CORVANE_CONTRACT_VAR");
  // An undefined name keeps both its signs, and reading goes on after it.
  EXPECT_EQ(Sys().ExpandEnvironment("%CORVANE_UNDEFINED_VAR%CORVANE_CONTRACT_VAR%"),
            "%CORVANE_UNDEFINED_VAR%CORVANE_CONTRACT_VAR%");
  EXPECT_EQ(Sys().ExpandEnvironment("%CORVANE_UNDEFINED_VAR%%CORVANE_CONTRACT_VAR%"),
            "%CORVANE_UNDEFINED_VAR%C:\\Some Folder");
  EXPECT_EQ(Sys().ExpandEnvironment("%%CORVANE_CONTRACT_VAR%%"), "%%CORVANE_CONTRACT_VAR%%");

  auto block = Sys().EnvironmentBlock();
  auto it = std::find_if(block.begin(), block.end(),
                         [&](const auto& e) { return e.first == name; });
  ASSERT_NE(it, block.end());
  EXPECT_EQ(it->second, "C:\\Some Folder");
  EXPECT_GT(block.size(), 5u);

  ASSERT_EQ(Sys().SetEnvironment(name, "", true), Status::kOk);
  EXPECT_EQ(Sys().GetEnvironment(name, &value), Status::kNotFound);
  EXPECT_EQ(Sys().ExpandEnvironment("%" + name + "%"), "%" + name + "%");
  EXPECT_EQ(Sys().SetEnvironment(name, "", true), Status::kOk);  // already gone

  // Defined but empty is not the same as undefined.
  ASSERT_EQ(Sys().SetEnvironment(name, ""), Status::kOk);
  EXPECT_EQ(Sys().GetEnvironment(name, &value), Status::kOk);
  EXPECT_EQ(value, "");
  Sys().SetEnvironment(name, "", true);

  // Setting a name in another spelling replaces the entry, spelling included.
  ASSERT_EQ(Sys().SetEnvironment("Corvane_Contract_Var", "1"), Status::kOk);
  ASSERT_EQ(Sys().SetEnvironment("CORVANE_CONTRACT_VAR", "2"), Status::kOk);
  block = Sys().EnvironmentBlock();
  int found = 0;
  for (const auto& [n, v] : block) {
    if (n == name && v == "2") ++found;
    if (n == "Corvane_Contract_Var") found += 10;
  }
  EXPECT_EQ(found, 1);
  Sys().SetEnvironment(name, "", true);
  EXPECT_EQ(Sys().SetEnvironment("BAD=NAME", "x"), Status::kFailed);

  // The usual variables are there and agree with the system's facts.
  ASSERT_EQ(Sys().GetEnvironment("windir", &value), Status::kOk);
  EXPECT_TRUE(Files().DirectoryExists(value));
  ASSERT_EQ(Sys().GetEnvironment("TEMP", &value), Status::kOk);
  EXPECT_TRUE(Files().DirectoryExists(value));
}

TEST_F(SystemContract, DateAndTimePictures) {
  LocalTime t;
  t.year = 2024;
  t.month = 2;
  t.day = 9;
  t.day_of_week = 5;
  t.hour = 15;
  t.minute = 4;
  t.second = 7;
  EXPECT_EQ(Sys().FormatDate(t, "yyyy-MM-dd"), "2024-02-09");
  EXPECT_EQ(Sys().FormatDate(t, "d/M/yy"), "9/2/24");
  EXPECT_EQ(Sys().FormatDate(t, "dddd, MMMM d"), "Friday, February 9");
  EXPECT_EQ(Sys().FormatDate(t, "ddd MMM"), "Fri Feb");
  EXPECT_EQ(Sys().FormatDate(t, "'Year' yyyy"), "Year 2024");
  EXPECT_EQ(Sys().FormatTime(t, "HH:mm:ss"), "15:04:07");
  EXPECT_EQ(Sys().FormatTime(t, "h:m:s tt"), "3:4:7 PM");
  EXPECT_EQ(Sys().FormatTime(t, "hh'h'mm"), "03h04");
  EXPECT_EQ(Sys().FormatDate(t, ""), "");
  EXPECT_EQ(Sys().FormatTime(t, ""), "");
  std::string date = Sys().ShortDateFormat();
  EXPECT_NE(date.find('d'), std::string::npos) << date;
  EXPECT_NE(date.find('M'), std::string::npos) << date;
  EXPECT_NE(date.find('y'), std::string::npos) << date;
  EXPECT_NE(Sys().TimeFormat().find("mm"), std::string::npos);
}

}  // namespace
}  // namespace corvane::contract
