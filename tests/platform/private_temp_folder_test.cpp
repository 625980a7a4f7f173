#include "platform/private_temp_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/system_folders.h"
#include "support/test_support.h"

namespace pelvar::platform {
namespace {

TEST(PrivateTempFolderTest, MadeUnderTheTempFolderAndRemovedWithItsContents) {
  std::string path;
  {
    PrivateTempFolder a;
    PrivateTempFolder b;
    EXPECT_TRUE(a.path().empty());
    ASSERT_FALSE(a.Create());
    ASSERT_FALSE(b.Create());
    path = a.path();
    EXPECT_NE(a.path(), b.path());
    EXPECT_EQ(path.rfind(HostTempDir(), 0), 0u);
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    testing::WriteFileText(path + "/sub/file.txt", "x");
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace pelvar::platform
