#include <gtest/gtest.h>

#include "platform/sim/date_format.h"
#include "platform/sim/machine.h"
#include "platform/sim/sim_system.h"
#include "platform/text.h"

namespace corvane::platform::sim {
namespace {

TEST(MachineDescription, DefaultsAndParsedKeys) {
  std::string error;
  MachineDescription d = MachineDescription::Parse("", &error);
  EXPECT_TRUE(error.empty());
  EXPECT_EQ(d.version.major, 10u);
  EXPECT_TRUE(d.windows64);
  EXPECT_FALSE(d.process64);
  EXPECT_EQ(d.temp_folder, "C:\\Users\\User\\AppData\\Local\\Temp\\");

  d = MachineDescription::Parse(
      "# a Windows 7 machine\n"
      "windows.version = 6.1.7601\n"
      "windows.service_pack = Service Pack 1\n"
      "windows.64bit = false\n"
      "user = J\xC3\xB6rg\n"
      "temp_folder = D:\\Tmp\n"
      "disk.D.free = 1000\n"
      "disk.D.total = 500\n"
      "clock = 2024-02-29 23:59:58\n"
      "env.EXTRA = 1\n"
      "env.OS =\n"
      "bogus = 1\n"
      "uptime_ms = many\n",
      &error);
  EXPECT_EQ(d.version.major, 6u);
  EXPECT_EQ(d.version.build, 7601u);
  EXPECT_EQ(d.version.service_pack_major, 1);
  EXPECT_FALSE(d.windows64);
  EXPECT_EQ(d.user, "J\xF6rg");
  EXPECT_EQ(d.temp_folder, "D:\\Tmp\\");
  EXPECT_EQ(d.disks['D'].free, 500u);  // never more free than total
  ASSERT_TRUE(d.clock.has_value());
  EXPECT_EQ(d.clock->day_of_week, 4);  // a Thursday
  EXPECT_NE(error.find("line 12: unknown key 'bogus'"), std::string::npos) << error;
  EXPECT_NE(error.find("line 13: bad value for 'uptime_ms'"), std::string::npos) << error;

  auto env = d.InitialEnvironment();
  bool has_extra = false, has_os = false;
  for (size_t i = 0; i < env.size(); ++i) {
    has_extra |= env[i].first == "EXTRA";
    has_os |= env[i].first == "OS";
    if (i > 0) {
      EXPECT_LE(UpperCase(env[i - 1].first), UpperCase(env[i].first));
    }
  }
  EXPECT_TRUE(has_extra);
  EXPECT_FALSE(has_os);
}

TEST(SimSystem, EnvironmentKeepsWindowsOrderAndExpansionRules) {
  MachineDescription d;
  d.Complete();
  SimSystemInfo s(d);
  ASSERT_EQ(s.SetEnvironment("zz_Last", "z"), Status::kOk);
  ASSERT_EQ(s.SetEnvironment("AAA_first", "a"), Status::kOk);
  auto block = s.EnvironmentBlock();
  EXPECT_EQ(block.front().first, "AAA_first");
  EXPECT_EQ(block.back().first, "zz_Last");
  EXPECT_EQ(s.SetEnvironment("bad=name", "x"), Status::kFailed);
  EXPECT_EQ(s.LastError(), 87u);  // ERROR_INVALID_PARAMETER

  std::string v;
  ASSERT_EQ(s.GetEnvironment("processor_architecture", &v), Status::kOk);
  EXPECT_EQ(v, "x86");  // a 32-bit process on 64-bit Windows
  ASSERT_EQ(s.GetEnvironment("PROCESSOR_ARCHITEW6432", &v), Status::kOk);
  EXPECT_EQ(v, "AMD64");

  s.SetEnvironment("A", "1");
  EXPECT_EQ(s.ExpandEnvironment("%A%%A%"), "11");
  // An undefined name keeps both its signs; the text after it is read afresh.
  EXPECT_EQ(s.ExpandEnvironment("%UNDEFINED%A%"), "%UNDEFINED%A%");
  EXPECT_EQ(s.ExpandEnvironment("%UNDEFINED%%A%"), "%UNDEFINED%1");
  EXPECT_EQ(s.ExpandEnvironment("100%"), "100%");
  EXPECT_EQ(s.ExpandEnvironment("%%A%%"), "%%A%%");
  EXPECT_EQ(s.ExpandEnvironment("x%a%y"), "x1y");
}

TEST(DatePictures, FollowTheDateAndTimeFormatRules) {
  LocalTime t;
  t.year = 2009;
  t.month = 3;
  t.day = 7;
  t.day_of_week = 6;
  t.hour = 0;
  t.minute = 5;
  t.second = 9;
  EXPECT_EQ(FormatDatePicture(t, "d/M/y"), "7/3/9");
  EXPECT_EQ(FormatDatePicture(t, "dd.MM.yy"), "07.03.09");
  EXPECT_EQ(FormatDatePicture(t, "ddd, MMM yyyy"), "Sat, Mar 2009");
  EXPECT_EQ(FormatDatePicture(t, "dddd d MMMM yyyyy gg"), "Saturday 7 March 2009 A.D.");
  EXPECT_EQ(FormatDatePicture(t, "'day' d 'o''clock' h"), "day 7 o'clock h");
  EXPECT_EQ(FormatTimePicture(t, "h:mm:ss tt"), "12:05:09 AM");
  EXPECT_EQ(FormatTimePicture(t, "HH:m:s t"), "00:5:9 A");
  t.hour = 13;
  EXPECT_EQ(FormatTimePicture(t, "hh 'h' H tt"), "01 h 13 PM");
  EXPECT_EQ(FormatTimePicture(t, "d/M"), "d/M");  // date letters are text in a time picture
}

}  // namespace
}  // namespace corvane::platform::sim
