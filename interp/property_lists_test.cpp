#include "interp/property_lists.h"

#include <gtest/gtest.h>

#include <set>

#include "interp/testing/test_platform.h"
#include "interp/variables.h"
#include "platform/text.h"

namespace corvane::interp {
namespace {

TEST(PropertyLists, RecordingKeepsOrderDuplicatesAndLineBreakTokens) {
  InstallerProperties p;
  p.RecordInstallerProperty("A0000000A", "FALSE");
  p.RecordInstallerProperty("PX_1", "line1\r\nline2");
  p.RecordInstallerProperty("A0000000A", "TRUE");
  auto db = p.database_properties();
  ASSERT_EQ(db.size(), 3u);
  EXPECT_EQ(db[1].second, "line1$NEWLINE$line2");
  EXPECT_EQ(db[2], (std::pair<std::string, std::string>{"A0000000A", "TRUE"}));
  EXPECT_EQ(p.session_properties(),
            (std::vector<std::string>{"A0000000A", "FALSE", "PX_1", "line1$NEWLINE$line2",
                                      "A0000000A", "TRUE"}));
  EXPECT_EQ(p.TakeDatabaseProperties().size(), 3u);
  EXPECT_TRUE(p.database_properties().empty());
  EXPECT_EQ(p.session_properties().size(), 6u);  // the session list lives on
}

TEST(PropertyLists, ReservedNames) {
  std::set<std::string> distinct;
  for (const char* n : kReservedPropertyNames) distinct.insert(platform::UpperCase(n));
  // 207 entries; ARPINSTALLLOCATION, MSIENFORCEUPGRADECOMPONENTRULES, MSIPATCHREMOVE,
  // ORIGINALDATABASE, VERSIONMSI and the MsiUI* names appear twice.
  EXPECT_EQ(std::size(kReservedPropertyNames), 207u);
  EXPECT_EQ(distinct.size(), 199u);
  EXPECT_STREQ(kReservedPropertyNames[0], "MSIDISABLEEEUI");
  EXPECT_STREQ(kReservedPropertyNames[206], "VERSIONMSI");
  for (const char* n : {"msilogging", "ALLUSERS", "allusers", "SourceDir", "TARGETDIR_NOT"}) {
    EXPECT_EQ(IsReservedPropertyName(n), std::string(n) != "TARGETDIR_NOT") << n;
  }
  EXPECT_FALSE(IsReservedPropertyName("TARGETDIR"));
}

class SessionFile : public ::testing::Test {
 protected:
  SessionFile() {
    input.temp_folder = "C:\\Temp\\";
    input.product_code = "{PC}";
    input.data_folder = "C:\\Data\\";
    input.source_folder = "C:\\Src\\";
    input.media_path = "C:\\Media\\";
  }
  testing::MemoryFiles files;
  SessionPropertyFileInput input;
  InstallerProperties props;
  Variables vars;
};

TEST_F(SessionFile, InstallationRecords) {
  vars.SetVariable("INSTALLDIR", "$ROOT$\\\\App", "t");
  vars.SetVariable("ROOT", "C:\\Program Files", "t");
  vars.SetVariable("MsiLogging", "v", "t");
  vars.SetVariable("allusers", "1", "t");
  vars.SetVariable("NEWLINE", "\r\n", "t");
  props.RecordInstallerProperty("PDIR", "$INSTALLDIR$\\\\bin");
  props.RecordInstallerProperty("PDIR", "second");
  ASSERT_EQ(WriteSessionPropertyFile(input, props, vars, files), platform::Status::kOk);
  std::string text;
  ASSERT_EQ(files.ReadFile("C:\\Temp\\{PC}", &text), platform::Status::kOk);
  const std::string head =
      "SourceDir\r\nC:\\Data\\\r\n$ex\r\n"
      "MEDIAPACKAGEPATH\r\nC:\\Media\\\r\n$ex\r\n"
      "PDIR\r\nC:\\Program Files\\App\\bin\r\n$ex\r\n"
      "PDIR\r\nsecond\r\n$ex\r\n";
  ASSERT_EQ(text.substr(0, head.size()), head);
  std::string rest = text.substr(head.size());
  EXPECT_NE(rest.find("INSTALLDIR\r\nC:\\Program Files\\App\r\n$ex\r\n"), std::string::npos);
  EXPECT_NE(rest.find("ROOT\r\nC:\\Program Files\r\n$ex\r\n"), std::string::npos);
  EXPECT_EQ(rest.find("MsiLogging"), std::string::npos);
  EXPECT_EQ(rest.find("allusers"), std::string::npos);
  // A real line break in a variable stays inside its record.
  EXPECT_NE(rest.find("NEWLINE\r\n$NEWLINE$\r\n$ex\r\n"), std::string::npos);
  // Every record has three lines.
  size_t lines = 0;
  for (size_t i = 0; (i = text.find("\r\n", i)) != std::string::npos; i += 2) ++lines;
  EXPECT_EQ(lines % 3, 0u);
  EXPECT_EQ(lines, 3u * (4 + 3));

  EXPECT_EQ(DeleteSessionPropertyFile(input, files), platform::Status::kOk);
  EXPECT_EQ(files.ReadFile("C:\\Temp\\{PC}", &text), platform::Status::kNotFound);
}

// A password recorded as a secret reaches the installer as it was recorded (its backslashes and
// dollar signs kept), and is left out of what the engine cache keeps, until the list is cleared.
TEST_F(SessionFile, SecretPropertiesPassAsRecordedAndAreNotKept) {
  vars.SetVariable("X", "expanded", "t");
  props.RecordInstallerProperty("PS_6", ".\\\\svc$X$");
  props.RecordSecretProperty("PS_7", "pa\\\\ss$X$");
  props.RecordSecretProperty("PS_7", "again");
  EXPECT_TRUE(props.IsSecret("PS_7"));
  EXPECT_FALSE(props.IsSecret("PS_6"));
  EXPECT_EQ(props.secret_names(), std::vector<std::string>{"PS_7"});
  EXPECT_EQ(props.database_properties().size(), 3u);
  EXPECT_EQ(props.session_properties().size(), 6u);
  EXPECT_EQ(props.public_session_properties(), (std::vector<std::string>{"PS_6", ".\\\\svc$X$"}));
  const std::string text = BuildSessionPropertyFile(input, props, vars, files);
  EXPECT_NE(text.find("PS_6\r\n.\\svcexpanded\r\n$ex\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("PS_7\r\npa\\\\ss$X$\r\n$ex\r\nPS_7\r\nagain\r\n"), std::string::npos)
      << text;
  props.ClearSessionProperties();
  EXPECT_FALSE(props.IsSecret("PS_7"));
  EXPECT_TRUE(props.secret_names().empty());
}

TEST_F(SessionFile, PatchAndRemovalRecords) {
  files.folders.insert("C:\\EXISTS");
  props.RecordInstallerProperty("GONE", "D:\\Removed\\App");
  props.RecordInstallerProperty("THERE", "C:\\Exists");
  props.RecordInstallerProperty("UNC", "\\\\srv\\share\\missing");
  props.RecordInstallerProperty("PLAIN", "relative\\path");

  input.kind = SessionKind::kPatch;
  std::string patch = BuildSessionPropertyFile(input, props, vars, files);
  EXPECT_EQ(patch.find("SourceDir\r\nC:\\Src\\\r\n$ex\r\nSRCDIREX\r\nC:\\Src\\\r\n$ex\r\n"), 0u);
  EXPECT_NE(patch.find("GONE\r\nD:\\Removed\\App\r\n"), std::string::npos);

  input.kind = SessionKind::kRemove;
  std::string removal = BuildSessionPropertyFile(input, props, vars, files);
  EXPECT_NE(removal.find("MEDIAPACKAGEPATH\r\nC:\\Media\\\r\n"), std::string::npos);
  EXPECT_NE(removal.find("GONE\r\nC:\\Data\\\r\n"), std::string::npos);
  EXPECT_NE(removal.find("THERE\r\nC:\\Exists\r\n"), std::string::npos);
  EXPECT_NE(removal.find("UNC\r\nC:\\Data\\\r\n"), std::string::npos);
  EXPECT_NE(removal.find("PLAIN\r\nrelative\\path\r\n"), std::string::npos);
}

}  // namespace
}  // namespace corvane::interp
