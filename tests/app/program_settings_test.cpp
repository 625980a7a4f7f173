#include "app/program_settings.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace pelvar::app {
namespace {

using testing::TempDir;

TEST(ProgramSettingsTest, FlagsAreOnOnlyForExactlyOne) {
  TempDir dir;
  const std::string path =
      dir.Write("pelvar.ini",
                "[main]\ntargetdir=/t\nSOURCEDIR=/s\nisofile=\nlog=true\nbeep=1\nbuildmsg=01\n"
                "viewlogaftersave=1\n");
  const ProgramSettings s = ReadProgramSettings(ProgramConfig::Load(path));
  EXPECT_EQ(s.paths.target_dir, "/t");
  EXPECT_EQ(s.paths.source_dir, "/s");
  EXPECT_EQ(s.paths.iso_file, "");
  EXPECT_FALSE(s.run_options.write_log_file);
  EXPECT_TRUE(s.run_options.beep);
  EXPECT_FALSE(s.run_options.show_message);
  EXPECT_TRUE(s.view_log_after_save);
  EXPECT_EQ(s.last_used_folder, "Scripts");  // absent: the default
}

TEST(ProgramSettingsTest, EmptyValueIsReadAsEmptyNotAsDefault) {
  TempDir dir;
  const std::string path = dir.Write("pelvar.ini", "[main]\nLastUsedFolder=\n");
  EXPECT_EQ(ReadProgramSettings(ProgramConfig::Load(path)).last_used_folder, "");
}

TEST(ProgramSettingsTest, SaveOnCloseWritesOptionsThenPathsEvenWhenEmpty) {
  TempDir dir;
  const std::string path =
      dir.Write("pelvar.ini", "[main]\ntargetdir=/old\nlog=true\n[other]\nx=1\n");
  ProgramConfig config = ProgramConfig::Load(path);
  SaveOnClose(config, BatchOptions{false, true, false}, RunPaths{"/t", "", "/x.iso"});
  EXPECT_EQ(dir.Read("pelvar.ini"),
            "[main]\nTargetDir=/t\nlog=0\nbeep=1\nbuildmsg=0\nSourceDir=\nIsoFile=/x.iso\n"
            "[other]\nx=1\n");
}

TEST(ProgramSettingsTest, MakeIsoAfterBatchIsOffByDefaultAndWrittenOnceUsed) {
  TempDir dir;
  const std::string path = dir.Write("pelvar.ini", "[main]\nlog=0\n");
  ProgramConfig config = ProgramConfig::Load(path);
  EXPECT_FALSE(ReadProgramSettings(config).run_options.make_iso);
  SaveOnClose(config, BatchOptions{}, RunPaths{});
  EXPECT_EQ(dir.Read("pelvar.ini").find("MakeIsoAfterBatch"), std::string::npos);
  BatchOptions on;
  on.make_iso = true;
  SaveOnClose(config, on, RunPaths{});
  EXPECT_NE(dir.Read("pelvar.ini").find("MakeIsoAfterBatch=1\n"), std::string::npos);
  EXPECT_TRUE(ReadProgramSettings(ProgramConfig::Load(path)).run_options.make_iso);
  SaveOnClose(config, BatchOptions{}, RunPaths{});
  EXPECT_NE(dir.Read("pelvar.ini").find("MakeIsoAfterBatch=0\n"), std::string::npos);
}

TEST(ProgramSettingsTest, NothingIsWrittenWithoutAFile) {
  TempDir dir;
  ProgramConfig config = ProgramConfig::Load(dir.Path("pelvar.ini"));
  EXPECT_FALSE(config.exists());
  SaveOnClose(config, BatchOptions{true, true, true}, RunPaths{"/t", "/s", "/i"});
  EXPECT_FALSE(dir.Exists("pelvar.ini"));
}

}  // namespace
}  // namespace pelvar::app
