#include "platform/sim/sim_package.h"

#include <gtest/gtest.h>

#include "platform/sim/cabinet.h"
#include "platform/sim/sim_common.h"

namespace corvane::platform::sim {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(SimPackage, CommandLinesSplitIntoPropertiesWithQuotedValues) {
  Pairs p;
  ASSERT_TRUE(ParseCommandLine("  ADDLOCAL=ALL  TARGETDIR=\"C:\\My Apps\\\" EMPTY=\"\" "
                               "SAY=\"a \"\"quoted\"\" word\" X=1",
                               &p));
  EXPECT_EQ(p, (Pairs{{"ADDLOCAL", "ALL"},
                      {"TARGETDIR", "C:\\My Apps\\"},
                      {"EMPTY", ""},
                      {"SAY", "a \"quoted\" word"},
                      {"X", "1"}}));
  ASSERT_TRUE(ParseCommandLine("", &p));
  EXPECT_TRUE(p.empty());
  EXPECT_FALSE(ParseCommandLine("ADDLOCAL", &p));
  EXPECT_FALSE(ParseCommandLine("=x", &p));
  EXPECT_FALSE(ParseCommandLine("A=\"open", &p));
  EXPECT_FALSE(ParseCommandLine("A=\"x\"y", &p));
}

TEST(SimPackage, SimpleConditionsAreJudgedAndOthersCountAsMet) {
  const PropertyMap props = {{"SET", "yes"}, {"EMPTY", ""}, {"Installed", "1"}};
  EXPECT_TRUE(EvaluateCondition("SET", props));
  EXPECT_FALSE(EvaluateCondition(" EMPTY ", props));
  EXPECT_FALSE(EvaluateCondition("MISSING", props));
  EXPECT_TRUE(EvaluateCondition("NOT MISSING", props));
  EXPECT_FALSE(EvaluateCondition("not SET", props));
  EXPECT_TRUE(EvaluateCondition("SET = \"yes\"", props));
  EXPECT_FALSE(EvaluateCondition("SET=\"Yes\"", props));
  EXPECT_TRUE(EvaluateCondition("SET <> \"no\"", props));
  EXPECT_FALSE(EvaluateCondition("SET<>\"yes\"", props));
  EXPECT_TRUE(EvaluateCondition("1", props));
  EXPECT_FALSE(EvaluateCondition("0", props));
  EXPECT_TRUE(EvaluateCondition("VersionNT >= 601", props));
  EXPECT_TRUE(EvaluateCondition("MISSING AND SET", props));
}

TEST(SimPackage, FormattingReplacesPropertiesFilesAndEscapes) {
  const PropertyMap props = {{"NAME", "Ann"}, {"EMPTY", ""}};
  const std::map<std::string, std::string> files = {{"one", "C:\\App\\one.txt"}};
  const std::map<std::string, std::string> dirs = {{"Main", "C:\\App\\"}};
  EXPECT_EQ(FormatText("Hi [NAME][EMPTY][MISSING]!", props, files, dirs), "Hi Ann!");
  EXPECT_EQ(FormatText("[#one] in [$Main]", props, files, dirs), "C:\\App\\one.txt in C:\\App\\");
  EXPECT_EQ(FormatText("[\\[]NAME[\\]] a[~]b", props, files, dirs),
            std::string("[NAME] a\0b", 10));
  EXPECT_EQ(FormatText("open [NAME and [ ] []", props, files, dirs), "open [NAME and [ ] []");
}

// The fixture package as the session reads it, its directory tree and its embedded cabinet.
TEST(SimPackage, TheFixturePackageResolvesAndCarriesItsFiles) {
  Package package;
  ASSERT_EQ(package.Load(CORVANE_TEST_MSI), 0u);
  EXPECT_EQ(package.product_code(), "{5C0B7A3E-1D2F-4E6A-9B8C-7D6E5F4A3B21}");
  EXPECT_EQ(package.platform(), "Intel");
  EXPECT_EQ(package.package_code().size(), 38u);
  ASSERT_EQ(package.conditions().size(), 1u);
  EXPECT_EQ(package.conditions()[0].condition, "NOT BLOCKME");
  ASSERT_EQ(package.files().size(), 2u);
  EXPECT_EQ(package.files()[0].name, "one.txt");
  ASSERT_EQ(package.media().size(), 1u);
  EXPECT_EQ(package.media()[0].cabinet, "#contract.cab");

  MachineDescription machine;
  machine.Complete();
  auto dirs = ResolveDirectories(package, package.properties(), machine);
  EXPECT_EQ(dirs["TARGETDIR"], "C:\\");
  EXPECT_EQ(dirs["INSTALLDIR"], "C:\\Program Files (x86)\\Contract Package\\");
  PropertyMap props = package.properties();
  props["TARGETDIR"] = "D:\\Root";
  props["ProgramFilesFolder"] = "";
  machine.windows64 = false;
  dirs = ResolveDirectories(package, props, machine);
  EXPECT_EQ(dirs["TARGETDIR"], "D:\\Root\\");
  EXPECT_EQ(dirs["INSTALLDIR"], "C:\\Program Files\\Contract Package\\");

  std::string cab, error;
  ASSERT_TRUE(package.ReadStream("contract.cab", &cab));
  EXPECT_FALSE(package.ReadStream("missing.cab", &cab));
  ASSERT_TRUE(package.ReadStream("contract.cab", &cab));
  CabinetFiles files;
  ASSERT_TRUE(ReadCabinet(cab, &files, &error)) << error;
  std::string one;
  ASSERT_TRUE(ReadHostFile(std::string(CORVANE_TEST_PAYLOAD) + "/one.txt", &one));
  EXPECT_EQ(files["one"], one);
  EXPECT_EQ(files.size(), 2u);
}

TEST(SimPackage, FilesThatAreNoPackageAreTold) {
  Package package;
  EXPECT_EQ(package.Load("/nonexistent/package.msi"), session_result::kPackageOpenFailed);
  EXPECT_EQ(package.Load(CORVANE_TEST_PAYLOAD "/one.txt"), session_result::kPackageOpenFailed);
}

}  // namespace
}  // namespace corvane::platform::sim
