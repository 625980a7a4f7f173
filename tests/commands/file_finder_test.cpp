#include "commands/file_finder.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace pelvar::commands {
namespace {

using pelvar::testing::TempDir;
using Paths = std::vector<std::string>;

TEST(MatchesMaskTest, WildcardsAndDots) {
  EXPECT_TRUE(MatchesMask("Setup.INF", "*.inf"));
  EXPECT_TRUE(MatchesMask("readme", "*.*"));
  EXPECT_TRUE(MatchesMask("readme", "*."));
  EXPECT_FALSE(MatchesMask("read.me", "*."));
  EXPECT_TRUE(MatchesMask("abc", "a?c"));
  EXPECT_FALSE(MatchesMask("ac", "a?c"));
  EXPECT_TRUE(MatchesMask("a.b.c", "*.c"));
  EXPECT_TRUE(MatchesMask("x.script", "*.SCRIPT"));
  EXPECT_FALSE(MatchesMask("x.scripts", "*.script"));
  EXPECT_TRUE(MatchesMask("abcabd", "*abd"));
}

// Beyond ASCII a wildcard stands for one character, and letters meet in
// any case.
TEST(MatchesMaskTest, NamesBeyondAscii) {
  EXPECT_TRUE(MatchesMask("ä.txt", "?.TXT"));
  EXPECT_TRUE(MatchesMask("Größe.ini", "GRÖ?E.*"));
  EXPECT_TRUE(MatchesMask("ДОКУМЕНТ.doc", "*кумент.doc"));
  EXPECT_FALSE(MatchesMask("äb.txt", "?.txt"));
  EXPECT_TRUE(MatchesMask("\xE4.txt", "?.txt"));  // a byte that is not UTF-8
  EXPECT_FALSE(MatchesMask("\xE4.txt", "\xC4.txt"));
  EXPECT_TRUE(MatchesMask("Ünd", "ünd."));
  EXPECT_FALSE(MatchesMask("Ü.nd", "ü."));
}

TEST(SplitMasksTest, BlanksAndEmptyMasks) {
  EXPECT_EQ(SplitMasks(" *.txt ; *.inf;;  ;"), (Paths{"*.txt", "*.inf"}));
  EXPECT_EQ(SplitMasks(""), Paths{});
}

class FileFinderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("b.txt", "");
    dir_.Write("A.txt", "");
    dir_.Write(".hidden.txt", "");
    dir_.Write("c.inf", "");
    dir_.Write("noext", "");
    dir_.Write("B/x.txt", "");
    dir_.Write("a/y.txt", "");
    dir_.Write("a/z/w.txt", "");
  }
  std::string Base() const { return dir_.path() + "\\"; }
  TempDir dir_;
};

TEST_F(FileFinderTest, SortedSearchOfOneFolder) {
  FileFinder f;
  f.directory = dir_.path();
  f.filter = "*.txt; *.inf";
  f.Execute();
  EXPECT_EQ(f.Results(),
            (Paths{Base() + ".hidden.txt", Base() + "A.txt", Base() + "b.txt", Base() + "c.inf"}));
  // A second search replaces the results.
  f.filter = "*.";
  f.Execute();
  EXPECT_EQ(f.Results(), Paths{Base() + "noext"});
}

TEST_F(FileFinderTest, FoldersOnlyWithTheDirectoryAttribute) {
  FileFinder f;
  f.directory = dir_.path();
  f.filter = "*.";
  f.attributes |= kFfDirectory;
  f.Execute();
  EXPECT_EQ(f.Results(), (Paths{Base() + "a\\", Base() + "B\\", Base() + "noext"}));
  f.attributes = kFfReadOnly;  // hidden entries excluded too
  f.filter = "*.txt";
  f.Execute();
  EXPECT_EQ(f.Results(), (Paths{Base() + "A.txt", Base() + "b.txt"}));
}

TEST_F(FileFinderTest, DuplicateMasksAreDroppedOnlyWhenSorted) {
  FileFinder f;
  f.directory = dir_.path();
  f.filter = "*.inf;*.INF";
  f.Execute();
  EXPECT_EQ(f.Results().size(), 1u);
  f.sorted = false;
  f.Execute();
  EXPECT_EQ(f.Results().size(), 2u);
}

TEST(FileFinderNamesTest, SortingDropsOnlyNamesThatDifferInCase) {
  TempDir dir;
  // Names that collation alone cannot tell apart: bytes that are not UTF-8,
  // and a superscript digit beside the plain digit.
  dir.Write("caf\xe9.txt", "");
  dir.Write("caf\xe8.txt", "");
  dir.Write("file2.txt", "");
  dir.Write("file\xc2\xb2.txt", "");
  FileFinder f;
  f.directory = dir.path();
  f.filter = "*.txt;*.TXT";
  f.Execute();
  EXPECT_EQ(f.Results().size(), 4u);
}

TEST(FileFinderNamesTest, NamesThatDifferOnlyInCaseAreAllFoundInByteOrder) {
  TempDir dir;
  dir.Write("readme.txt", "");
  dir.Write("README.txt", "");
  dir.Write("ReadMe.txt", "");
  dir.Write("b.txt", "");
  FileFinder f;
  f.directory = dir.path();
  f.filter = "*.txt;R*";
  f.Execute();
  const std::string base = dir.path() + "\\";
  EXPECT_EQ(f.Results(),
            (Paths{base + "b.txt", base + "README.txt", base + "ReadMe.txt", base + "readme.txt"}));
}

TEST_F(FileFinderTest, RecursiveSortedWalkIsDepthFirstInNameOrder) {
  FileFinder f;
  f.directory = dir_.path() + "\\";
  f.filter = "*.txt";
  f.attributes = kFfReadOnly;
  f.recurse = true;
  f.Execute();
  EXPECT_EQ(f.Results(), (Paths{Base() + "A.txt", Base() + "b.txt", Base() + "a\\y.txt",
                                Base() + "a\\z\\w.txt", Base() + "B\\x.txt"}));
}

TEST_F(FileFinderTest, RecursiveUnsortedWalkIsBreadthFirst) {
  FileFinder f;
  f.directory = dir_.path();
  f.filter = "*.txt";
  f.attributes = kFfReadOnly;
  f.recurse = true;
  f.sorted = false;
  f.Execute();
  Paths r = f.Results();
  ASSERT_EQ(r.size(), 5u);
  // The start folder's files, then the first level, then a\z.
  EXPECT_EQ(r.back(), Base() + "a\\z\\w.txt");
  std::sort(r.begin(), r.begin() + 2);
  EXPECT_EQ(Paths(r.begin(), r.begin() + 2), (Paths{Base() + "A.txt", Base() + "b.txt"}));
}

TEST_F(FileFinderTest, EmptyOrMissingFolderFindsNothing) {
  FileFinder f;
  f.Execute();
  EXPECT_TRUE(f.Results().empty());
  Paths out{"stale"};
  EXPECT_FALSE(FindMatchingFiles(dir_.Path("missing"), "*.*", out));
  EXPECT_TRUE(out.empty());
}

TEST_F(FileFinderTest, FolderIsResolvedIgnoringCaseButKeepsItsText) {
  Paths out;
  const std::string folder = dir_.path() + "\\A\\Z";
  ASSERT_TRUE(FindMatchingFiles(folder, "W.TXT", out));
  EXPECT_EQ(out, Paths{folder + "\\w.txt"});
}

}  // namespace
}  // namespace pelvar::commands
