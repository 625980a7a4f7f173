#include "app/program_config.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace pelvar::app {
namespace {

using pelvar::testing::TempDir;

TEST(ProgramConfigTest, DefaultsApplyOnlyToAbsentKeys) {
  TempDir dir;
  const std::string path =
      dir.Write("pelvar.ini", "[Main]\nTargetDir=/t\nlog=true\nbeep=1\nLastUsedFolder=\n");
  const ProgramConfig c = ProgramConfig::Load(path);
  ASSERT_TRUE(c.exists());
  EXPECT_EQ(c.Paths().target_dir, "/t");
  EXPECT_EQ(c.Paths().source_dir, "");
  EXPECT_FALSE(c.Flag(config::kLog));  // only "1" counts
  EXPECT_TRUE(c.Flag(config::kBeep));
  EXPECT_EQ(c.Read(config::kLastUsedFolder), "");  // empty stays empty
  EXPECT_EQ(c.Read(config::kDefaultLanguage), "default");
}

TEST(ProgramConfigTest, WritesOnlyIntoAnExistingFile) {
  TempDir dir;
  ProgramConfig missing = ProgramConfig::Load(dir.Path("pelvar.ini"));
  EXPECT_FALSE(missing.exists());
  EXPECT_FALSE(missing.Write(config::kLog, "1"));
  EXPECT_FALSE(dir.Exists("pelvar.ini"));

  const std::string path = dir.Write("pelvar.ini", "[main]\n");
  ProgramConfig c = ProgramConfig::Load(path);
  EXPECT_TRUE(c.Write(config::kIsoFile, "/x.iso"));
  EXPECT_EQ(c.Read(config::kIsoFile), "/x.iso");
  EXPECT_EQ(dir.Read("pelvar.ini"), "[main]\nIsoFile=/x.iso\n");
}

TEST(ProgramConfigTest, AWriteChangesOnlyItsLineAndAnUnchangedValueNothing) {
  TempDir dir;
  const std::string original =
      "; mine\r\n[main]\r\n  log = 1 \r\nsourcedir=/caf\xE9\r\n\r\n[x]\r\n";
  const std::string path = dir.Write("pelvar.ini", original);
  ProgramConfig c = ProgramConfig::Load(path);
  EXPECT_TRUE(c.Write(config::kLog, "1"));
  EXPECT_TRUE(c.Write(config::kSourceDir, "/caf\xE9"));
  EXPECT_EQ(dir.Read("pelvar.ini"), original);
  EXPECT_TRUE(c.Write(config::kLog, "0"));
  EXPECT_EQ(dir.Read("pelvar.ini"),
            "; mine\r\n[main]\r\nlog=0\r\nsourcedir=/caf\xE9\r\n\r\n[x]\r\n");
}

TEST(ProgramConfigTest, MissingFileMessage) {
  EXPECT_EQ(MissingConfigMessage("pelvar.ini"),
            "\"pelvar.ini\" file was not found!\rIf the application name has changed,\r"
            "you may also need to rename the ini file.");
}

}  // namespace
}  // namespace pelvar::app
