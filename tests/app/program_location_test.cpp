#include "app/program_location.h"

#include <gtest/gtest.h>

#include <set>

namespace pelvar::app {
namespace {

struct Files {
  std::set<std::string> existing;
  std::function<bool(const std::string&)> Check() const {
    return [this](const std::string& p) { return existing.count(p) != 0; };
  }
};

LocationInputs Inputs() {
  LocationInputs in;
  in.exe_folder = "/usr/local/bin";
  in.program_name = "pelvar";
  in.home = "/home/me";
  return in;
}

TEST(ProgramLocationTest, PelvarHomeWins) {
  Files files{{"/usr/local/bin/pelvar.ini"}};
  LocationInputs in = Inputs();
  in.pelvar_home = "/data/pelvar//";
  const FolderChoice c = ChooseProgramFolder(in, files.Check());
  EXPECT_EQ(c.folder, "/data/pelvar");
  EXPECT_EQ(c.seed_from, "");
}

TEST(ProgramLocationTest, ExecutableFolderWhenItHoldsTheConfiguration) {
  Files files{{"/usr/local/bin/pelvar.ini", "/usr/local/bin/../share/pelvar/pelvar.ini"}};
  const FolderChoice c = ChooseProgramFolder(Inputs(), files.Check());
  EXPECT_EQ(c.folder, "/usr/local/bin");
  EXPECT_EQ(c.seed_from, "");
}

TEST(ProgramLocationTest, InstalledProgramUsesTheUsersConfigFolderSeededFromDefaults) {
  Files files{{"/usr/local/bin/../share/pelvar/pelvar.ini"}};
  LocationInputs in = Inputs();
  FolderChoice c = ChooseProgramFolder(in, files.Check());
  EXPECT_EQ(c.folder, "/home/me/.config/pelvar");
  EXPECT_EQ(c.seed_from, "/usr/local/bin/../share/pelvar");
  in.xdg_config_home = "/xdg/";
  c = ChooseProgramFolder(in, files.Check());
  EXPECT_EQ(c.folder, "/xdg/pelvar");
}

TEST(ProgramLocationTest, RenamedProgramLooksForItsOwnName) {
  Files files{{"/opt/x/../share/tool/tool.ini"}};
  LocationInputs in = Inputs();
  in.exe_folder = "/opt/x";
  in.program_name = "tool";
  EXPECT_EQ(ChooseProgramFolder(in, files.Check()).folder, "/home/me/.config/tool");
  in.program_name = "other";
  EXPECT_EQ(ChooseProgramFolder(in, files.Check()).folder, "/opt/x");
}

}  // namespace
}  // namespace pelvar::app
