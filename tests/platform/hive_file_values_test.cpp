// Many values in one key of a hive, written, rewritten and deleted in one
// open of the file: what a .reg import does.
#include <gtest/gtest.h>

#include "platform/hive_file.h"
#include "platform/registry_text.h"
#include "support/test_support.h"

namespace pelvar::platform {
namespace {

std::string Dword(uint32_t v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                     static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
}

TEST(HiveFileValuesTest, ValuesAddedRewrittenAndDeletedInOneOpenReadBackInOrder) {
  testing::TempDir dir;
  const std::string file =
      dir.Write("h.hiv", testing::ReadFileText(PELVAR_SOURCE_DIR "/tests/data/hives/minimal.hiv"));
  {
    std::unique_ptr<HiveFile> hive;
    ASSERT_TRUE(HiveFile::Open(file, true, hive).ok());
    HiveFile::Node key = 0;
    ASSERT_TRUE(hive->FindKey({"Many"}, KeyOpen::kCreate, key).ok());
    for (uint32_t i = 0; i < 300; ++i) {
      ASSERT_TRUE(hive->SetValue(key, {"V" + std::to_string(i), reg_type::kDword, Dword(i)}).ok());
    }
    // Another spelling names the same value; a deleted name can come back,
    // at the end of the list.
    ASSERT_TRUE(hive->SetValue(key, {"v7", reg_type::kString, RegistryStringBytes("seven")}).ok());
    ASSERT_TRUE(hive->DeleteValue(key, "V3").ok());
    ASSERT_TRUE(hive->SetValue(key, {"V299", reg_type::kDword, Dword(299)}).ok());
    ASSERT_TRUE(hive->SetValue(key, {"v3", reg_type::kDword, Dword(33)}).ok());
    ASSERT_TRUE(hive->Commit(/*keep_open=*/false).ok());
  }
  std::unique_ptr<HiveFile> hive;
  ASSERT_TRUE(HiveFile::Open(file, false, hive).ok());
  HiveFile::Node key = 0;
  ASSERT_TRUE(hive->FindKey({"Many"}, KeyOpen::kExisting, key).ok());
  RegistryKeyContents contents;
  ASSERT_TRUE(hive->List(key, contents).ok());
  ASSERT_EQ(contents.values.size(), 300u);
  EXPECT_EQ(contents.values[3].name, "V4");
  EXPECT_EQ(contents.values[6].name, "V7");
  EXPECT_EQ(contents.values[6].data, RegistryStringBytes("seven"));
  EXPECT_EQ(contents.values[298].data, Dword(299));
  EXPECT_EQ(contents.values[299].name, "v3");
  EXPECT_EQ(contents.values[299].data, Dword(33));
}

}  // namespace
}  // namespace pelvar::platform
