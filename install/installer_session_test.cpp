#include "install/installer_session.h"

#include <gtest/gtest.h>

namespace corvane::install {
namespace {

CommandLineParts Parts() {
  CommandLineParts p;
  p.all_users = true;
  p.target_folder = "C:\\Program Files\\Hello";
  p.data_folder = "C:\\PROGRA~2\\Hello\\data\\";
  p.package_folder = "C:\\Users\\User\\AppData\\Local\\Temp\\zel1\\";
  p.media_path = "\\PROGRA~2\\Hello\\";
  p.source_folder = "D:\\Setup\\";
  return p;
}

const char* const kA =
    "ARPSYSTEMCOMPONENT=1 ARPNOREMOVE=1 ARPNOMODIFY=1 ARPNOREPAIR=1 "
    "ARPINSTALLLOCATION=\"C:\\Program Files\\Hello\" ";
const char* const kS =
    "SRCDIR=C:\\PROGRA~2\\Hello\\data\\ "
    "SOURCELIST=C:\\PROGRA~2\\Hello\\data\\;C:\\Users\\User\\AppData\\Local\\Temp\\zel1\\ "
    "MEDIAPACKAGEPATH=\\PROGRA~2\\Hello\\ REBOOT=R ";

TEST(CommandLineTest, EveryCallHasItsLine) {
  const CommandLineParts p = Parts();
  EXPECT_EQ(BuildCommandLine(InstallerCall::kInstall, p),
            std::string("ADDLOCAL=ALL ALLUSERS=1 ") + kA + kS);
  EXPECT_EQ(BuildCommandLine(InstallerCall::kReinstall, p),
            std::string("REINSTALL=ALL REINSTALLMODE=vomus ALLUSERS=1 ") + kA + kS);
  EXPECT_EQ(BuildCommandLine(InstallerCall::kAdvertise, p),
            std::string("ADVERTISE=ALL ALLUSERS=1 ") + kA + kS);
  EXPECT_EQ(BuildCommandLine(InstallerCall::kInstallOverAdvertised, p),
            std::string("ADDLOCAL=ALL ADVERTISE=\"\" ALLUSERS=1 ") + kA + kS);
  EXPECT_EQ(BuildCommandLine(InstallerCall::kRemove, p),
            std::string("REMOVE=ALL ALLUSERS=1 ALLUSERS=1 REMOVE=ALL ") + kS);
  EXPECT_EQ(BuildCommandLine(InstallerCall::kPatch, p),
            "ADDLOCAL=ALL ALLUSERS=1 SRCDIR=D:\\Setup\\ SRCDIREX=D:\\Setup\\ ");
}

TEST(CommandLineTest, PerUserRunsAndSwitchesStartTheLine) {
  CommandLineParts p = Parts();
  p.all_users = false;
  p.disable_rollback = true;
  p.disable_restart_manager = true;
  EXPECT_EQ(BuildCommandLine(InstallerCall::kInstall, p),
            std::string("ADDLOCAL=ALL ALLUSERS=\"\" DISABLEROLLBACK=1 "
                        "MSIRESTARTMANAGERCONTROL=Disable ") +
                kA + kS);
  EXPECT_EQ(BuildCommandLine(InstallerCall::kRemove, p).substr(0, 90),
            std::string("REMOVE=ALL ALLUSERS=\"\" DISABLEROLLBACK=1 MSIRESTARTMANAGERCONTROL=Disable "
                        "ALLUSERS=\"\" REMOVE=ALL ")
                .substr(0, 90));
}

TEST(CommandLineTest, FoldersWithoutShortFormsAreQuoted) {
  CommandLineParts p = Parts();
  p.data_folder = "C:\\Program Files\\Hello\\data\\";
  p.media_path = "\\Program Files\\Hello\\";
  p.quote_data = true;
  EXPECT_EQ(BuildCommandLine(InstallerCall::kInstall, p),
            std::string("ADDLOCAL=ALL ALLUSERS=1 ") + kA +
                "SRCDIR=\"C:\\Program Files\\Hello\\data\\\" "
                "SOURCELIST=\"C:\\Program Files\\Hello\\data\\;"
                "C:\\Users\\User\\AppData\\Local\\Temp\\zel1\\\" "
                "MEDIAPACKAGEPATH=\"\\Program Files\\Hello\\\" REBOOT=R ");
  // The package folder alone quotes the source list only.
  p = Parts();
  p.quote_package = true;
  std::string line = BuildCommandLine(InstallerCall::kInstall, p);
  EXPECT_NE(line.find("SRCDIR=C:\\PROGRA~2\\Hello\\data\\ SOURCELIST=\"C:\\PROGRA~2"),
            std::string::npos)
      << line;
  p = Parts();
  p.source_folder = "D:\\My Setup\\";
  p.quote_source = true;
  EXPECT_EQ(BuildCommandLine(InstallerCall::kPatch, p),
            "ADDLOCAL=ALL ALLUSERS=1 SRCDIR=\"D:\\My Setup\\\" SRCDIREX=\"D:\\My Setup\\\" ");
}

TEST(CommandLineTest, TheMediaPathIsTheDataFoldersParentWithoutItsDrive) {
  EXPECT_EQ(MediaPathOf("C:\\A\\B\\data\\"), "\\A\\B\\");
  EXPECT_EQ(MediaPathOf("C:\\A\\B\\data"), "\\A\\B\\");
  EXPECT_EQ(MediaPathOf("C:\\data\\"), "\\");
  EXPECT_EQ(MediaPathOf("\\\\server\\share\\setup\\data\\"), "\\setup\\");
  EXPECT_EQ(MediaPathOf("\\\\server\\share\\data\\"), "\\");
}

TEST(ErrorTextTest, TrailingStopsBlanksAndLineBreaksGo) {
  EXPECT_EQ(TrimErrorText("Fatal error during installation.\r\n"),
            "Fatal error during installation");
  EXPECT_EQ(TrimErrorText("Done... \t"), "Done");
  EXPECT_EQ(TrimErrorText("v1.2 failed"), "v1.2 failed");
  EXPECT_EQ(TrimErrorText(""), "");
}

TEST(PackedCodeTest, TheInstallersCompressedGuid) {
  // The first three groups read backwards, then each byte with its digits swapped.
  EXPECT_EQ(PackedProductCode("{90120000-0030-0000-0000-0000000FF1CE}"),
            "00002109030000000000000000F01FEC");
  EXPECT_EQ(PackedProductCode("{12345678-9abc-def0-1234-56789abcdef0}"),
            "87654321CBA90FED21436587A9CBED0F");
  EXPECT_EQ(PackedProductCode("not a code"), "");
}

}  // namespace
}  // namespace corvane::install
