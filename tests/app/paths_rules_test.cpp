#include "app/paths_rules.h"

#include <gtest/gtest.h>

namespace pelvar::app {
namespace {

TEST(IsoFileForFolderTest, DefaultNameWhenTheBoxNamesNone) {
  EXPECT_EQ(IsoFileForFolder("", "/out"), "/out/BootablePE.ISO");
  EXPECT_EQ(IsoFileForFolder("/some/folder/", "/out"), "/out/BootablePE.ISO");
}

TEST(IsoFileForFolderTest, ExtensionBecomesIsoUnlessItIsInAnyCase) {
  EXPECT_EQ(IsoFileForFolder("/a/image.img", "/b"), "/b/image.iso");
  EXPECT_EQ(IsoFileForFolder("C:\\a\\image.img", "/b"), "/b/image.iso");
  EXPECT_EQ(IsoFileForFolder("/a/x.ISO", "/b"), "/b/x.ISO");
  EXPECT_EQ(IsoFileForFolder("/a/x.Iso", "/b"), "/b/x.Iso");
  EXPECT_EQ(IsoFileForFolder("/a/noext", "/b"), "/b/noext.iso");
  EXPECT_EQ(IsoFileForFolder("/a/two.dots.bin", "/b"), "/b/two.dots.iso");
}

TEST(IsoFileForFolderTest, RootFolderGivesNoDoubleSeparator) {
  EXPECT_EQ(IsoFileForFolder("/a/x.ISO", "/"), "/x.ISO");
  EXPECT_EQ(IsoFileForFolder("", "/b/"), "/b/BootablePE.ISO");
}

}  // namespace
}  // namespace pelvar::app
