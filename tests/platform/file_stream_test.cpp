#include "platform/file_stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/test_support.h"

namespace pelvar::platform {
namespace {

using testing::TempDir;

TEST(OutputFileTest, CommitReplacesTheTargetAndKeepsItsPermissions) {
  TempDir dir;
  const std::string target = dir.Write("t.txt", "old");
  ::chmod(target.c_str(), 0640);
  {
    OutputFile out;
    ASSERT_FALSE(out.Open(target));
    EXPECT_FALSE(out.Write("new content"));
    EXPECT_EQ(dir.Read("t.txt"), "old");
    EXPECT_FALSE(out.Truncate(3));
    EXPECT_EQ(out.size(), 3u);
    EXPECT_TRUE(out.Truncate(4));
    EXPECT_FALSE(out.Write("!"));
    EXPECT_FALSE(out.Commit());
  }
  EXPECT_EQ(dir.Read("t.txt"), "new!");
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(OutputFileTest, AbandonedFileLeavesNothingBehind) {
  TempDir dir;
  {
    OutputFile out;
    ASSERT_FALSE(out.Open(dir.Path("new.txt")));
    out.Write("partial");
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  OutputFile out;
  EXPECT_TRUE(out.Open(dir.Path("no/such/folder/x")));
}

TEST(InputFileTest, ReadsAtOffsets) {
  TempDir dir;
  InputFile in;
  EXPECT_TRUE(in.Open(dir.Path("none")));
  EXPECT_TRUE(in.Open(dir.path()));
  ASSERT_FALSE(in.Open(dir.Write("f.bin", "0123456789")));
  EXPECT_EQ(in.size(), 10u);
  char buf[8];
  size_t got = 0;
  EXPECT_FALSE(in.ReadAt(6, buf, sizeof buf, got));
  EXPECT_EQ(std::string(buf, got), "6789");
}

}  // namespace
}  // namespace pelvar::platform
