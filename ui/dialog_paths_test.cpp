#include "ui/dialog_paths.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/text.h"

namespace corvane::ui {
namespace {

FolderProbe Existing(std::set<std::string> folders) {
  return [folders](const std::string& p) {
    std::string key = platform::UpperCase(p);
    if (key.size() > 3 && key.back() == '\\') key.pop_back();
    return folders.count(key) > 0;
  };
}

TEST(DialogPaths, ParentFolderStopsAtRoots) {
  EXPECT_EQ(ParentFolder("C:\\A\\B"), "C:\\A\\");
  EXPECT_EQ(ParentFolder("C:\\A\\B\\"), "C:\\A\\");
  EXPECT_EQ(ParentFolder("C:\\A"), "C:\\");
  EXPECT_EQ(ParentFolder("C:\\"), "C:\\");
  EXPECT_EQ(ParentFolder("\\\\srv\\share\\x"), "\\\\srv\\share\\");
  EXPECT_EQ(ParentFolder("\\\\srv\\share\\"), "\\\\srv\\share\\");
  EXPECT_EQ(ParentFolder("plain"), "plain");
}

TEST(DialogPaths, SnapshotTailFollowsTheDeepestExistingFolder) {
  auto probe = Existing({"C:\\", "C:\\PROGRAM FILES"});
  DestinationSnapshot s = TakeDestinationSnapshot("C:\\Program Files\\Maker\\Product", probe);
  EXPECT_EQ(s.tail, "Maker\\Product");
  EXPECT_EQ(UpdatedDestination(s, "D:\\Apps"), "D:\\Apps\\Maker\\Product");

  // Nothing of the path exists, its drive neither: the tail is what follows the root.
  s = TakeDestinationSnapshot("Q:\\Maker", probe);
  EXPECT_EQ(s.tail, "Maker");
  // The destination exists as a whole: no tail.
  s = TakeDestinationSnapshot("C:\\Program Files", probe);
  EXPECT_EQ(s.tail, "");
  EXPECT_EQ(UpdatedDestination(s, "E:\\Other"), "E:\\Other\\");
}

TEST(DialogPaths, ChosenFolderIsComparedOnFolderBoundaries) {
  DestinationSnapshot s{"C:\\Program Files\\Maker", "Maker"};
  // A folder whose name merely begins the destination's folder name is another folder.
  EXPECT_EQ(UpdatedDestination(s, "C:\\Prog"), "C:\\Prog\\Maker");
  EXPECT_EQ(UpdatedDestination(s, "c:\\program files"), "C:\\Program Files\\Maker");
  EXPECT_EQ(UpdatedDestination(s, "C:\\Program Files\\"), "C:\\Program Files\\Maker");
  EXPECT_EQ(UpdatedDestination(s, "C:\\Program Files\\Maker"), "C:\\Program Files\\Maker");
  EXPECT_EQ(UpdatedDestination(s, "C:\\"), "C:\\Program Files\\Maker");
  EXPECT_EQ(UpdatedDestination(s, ""), "");
  EXPECT_FALSE(IsSameOrBelow("C:\\Program Files\\Maker", "C:\\Program Files\\Mak"));
}

TEST(DialogPaths, BackslashOnlyWhereOneIsMissing) {
  DestinationSnapshot s{"C:\\Program Files\\Maker", "Maker"};
  EXPECT_EQ(UpdatedDestination(s, "D:\\"), "D:\\Maker");
  EXPECT_EQ(UpdatedDestination(s, "D:\\Apps\\"), "D:\\Apps\\Maker");
  EXPECT_EQ(UpdatedDestination(s, "\\\\srv\\share\\"), "\\\\srv\\share\\Maker");
  // An empty destination takes the chosen folder as it is.
  EXPECT_EQ(UpdatedDestination(DestinationSnapshot{}, "D:\\Apps"), "D:\\Apps");
}

TEST(DialogPaths, DrivePart) {
  EXPECT_EQ(DrivePart("C:\\Program Files"), "C:\\");
  EXPECT_EQ(DrivePart("C:"), "C:\\");
  EXPECT_EQ(DrivePart("\\\\srv\\share\\dir"), "\\\\srv\\share\\");
  EXPECT_EQ(DrivePart("relative\\dir"), "");
}

}  // namespace
}  // namespace corvane::ui
