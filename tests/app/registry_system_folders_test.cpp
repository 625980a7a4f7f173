// %programfilesdir% as read from the registry.
#include "app/registry_system_folders.h"

#include <gtest/gtest.h>

#include "engine/script_error.h"
#include "platform/host_registry.h"
#include "platform/posix_file_system.h"
#include "support/test_support.h"

namespace pelvar::app {
namespace {

using platform::KeyOpen;
using platform::RegistryKey;
using platform::RegistryRoot;
namespace reg_type = platform::reg_type;

const RegistryKey kCurrentVersion{RegistryRoot::kLocalMachine,
                                  "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"};

std::string ErrorOf(platform::Registry& registry) {
  try {
    return "no error: " + ReadProgramFilesDir(registry);
  } catch (const ScriptError& e) {
    return e.what();
  }
}

TEST(ReadProgramFilesDirTest, EachTypeBecomesText) {
  testing::TempDir dir;
  platform::HostRegistry registry(dir.Path("r.db"), "/srv/Program Files");
  RegistrySystemFolders folders(platform::ThreadFileSystem(), dir.Path("r.db"),
                                "/srv/Program Files", "", "/sys");
  EXPECT_EQ(folders.ProgramFilesDir(), "/srv/Program Files");
  EXPECT_EQ(folders.SystemDir(), "/sys");
  EXPECT_EQ(folders.WindowsDir(), platform::kDefaultWindowsDir);
  const auto set = [&](uint32_t type, const std::string& data) {
    ASSERT_TRUE(
        registry.SetValue(kCurrentVersion, KeyOpen::kExisting, {"ProgramFilesDir", type, data})
            .ok());
  };
  set(reg_type::kExpandString, std::string("%\0P\0%\0\0\0x\0\0\0", 12));  // up to the NUL
  EXPECT_EQ(ReadProgramFilesDir(registry), "%P%");
  set(reg_type::kDword, "\xFF\xFF\xFF\xFF");
  EXPECT_EQ(ReadProgramFilesDir(registry), "-1");
  set(reg_type::kBinary, "/bin");
  EXPECT_EQ(ReadProgramFilesDir(registry), "/bin");
  set(reg_type::kMultiString, std::string("a\0\0\0", 4));
  EXPECT_EQ(ErrorOf(registry), "The configuration registry key could not be read");
}

TEST(ReadProgramFilesDirTest, AMissingValueOrKeyIsAnError) {
  testing::TempDir dir;
  platform::HostRegistry registry(dir.Path("r.db"), "/opt");
  ASSERT_TRUE(registry.DeleteValue(kCurrentVersion, "programfilesdir").ok());
  EXPECT_EQ(ErrorOf(registry), "The configuration registry key could not be read");
  ASSERT_TRUE(registry
                  .DeleteKey({RegistryRoot::kLocalMachine, "SOFTWARE\\Microsoft\\Windows"},
                             KeyOpen::kExisting, "CurrentVersion")
                  .ok());
  EXPECT_EQ(ErrorOf(registry), "The system cannot find the file specified");
  platform::HostRegistry unusable(dir.Path("missing/r.db"), "/opt");
  EXPECT_EQ(ErrorOf(unusable).rfind("registry store \"", 0), 0u);
}

TEST(RegistrySystemFoldersTest, TheStoreIsReadWithoutBeingCreatedOrChanged) {
  testing::TempDir dir;
  RegistrySystemFolders missing(platform::ThreadFileSystem(), dir.Path("no/r.db"), "/srv/pf", "",
                                "");
  EXPECT_EQ(missing.ProgramFilesDir(), "/srv/pf");
  RegistrySystemFolders absent(platform::ThreadFileSystem(), dir.Path("r.db"), "/srv/pf", "", "");
  EXPECT_EQ(absent.ProgramFilesDir(), "/srv/pf");
  EXPECT_FALSE(dir.Exists("r.db"));
  {
    platform::HostRegistry registry(dir.Path("r.db"), "/srv/made");
    ASSERT_TRUE(registry.CreateKey({RegistryRoot::kCurrentUser, "x"}).ok());
  }
  EXPECT_EQ(absent.ProgramFilesDir(), "/srv/made");
}

}  // namespace
}  // namespace pelvar::app
