// The registry as scripts see it: keys below HKEY_LOCAL_MACHINE\NAME go to
// the hive mounted there, everything else to the store.
#include "platform/host_registry.h"

#include <gtest/gtest.h>

#include "platform/registry_text.h"
#include "support/test_support.h"

namespace pelvar::platform {
namespace {

constexpr RegistryRoot kHklm = RegistryRoot::kLocalMachine;

TEST(HostRegistryTest, MountedHivesAreKeysOfLocalMachine) {
  testing::TempDir dir;
  HostRegistry registry(dir.Path("r.db"), "/opt");
  const std::string hive = dir.Path("sys.hiv");
  testing::WriteFileText(hive, testing::ReadFixture("hives/minimal.hiv"));
  ASSERT_TRUE(registry.LoadHive("PE_SYSTEM", hive).ok());
  const RegistryValue v{"Name", reg_type::kString, RegistryStringBytes("x")};
  ASSERT_TRUE(registry.SetValue({kHklm, "pe_system\\Setup"}, KeyOpen::kCreate, v).ok());
  RegistryKeyContents c;
  ASSERT_TRUE(registry.ListKey({kHklm, ""}, c).ok());
  EXPECT_EQ(c.subkeys, (std::vector<std::string>{"PE_SYSTEM", "SOFTWARE", "SYSTEM"}));
  ASSERT_TRUE(registry.ListKey({kHklm, "PE_SYSTEM"}, c).ok());
  EXPECT_EQ(c.subkeys, std::vector<std::string>{"Setup"});
  EXPECT_EQ(registry.DeleteKey({kHklm, ""}, KeyOpen::kExisting, "pe_system").message,
            "HKEY_LOCAL_MACHINE\\PE_SYSTEM is a mounted hive; unload it instead");

  // Once unmounted, the name is no key at all, and cannot be made one.
  ASSERT_TRUE(registry.UnloadHive("PE_SYSTEM").ok());
  EXPECT_EQ(registry.ListKey({kHklm, "PE_SYSTEM"}, c).status, RegistryStatus::kKeyNotFound);
  EXPECT_EQ(registry.SetValue({kHklm, "PE_SYSTEM\\Setup"}, KeyOpen::kCreate, v).status,
            RegistryStatus::kKeyRefused);
  EXPECT_EQ(registry.LoadHive("Other", dir.Path("none.hiv")).message,
            "\"" + dir.Path("none.hiv") + "\": No such file or directory");
}

// 512 levels below the root are allowed, 513 are refused (in the store and in
// a mounted hive alike), so a runaway script cannot grow an endless chain.
TEST(HostRegistryTest, KeysDeeperThan512LevelsAreRefused) {
  testing::TempDir dir;
  HostRegistry registry(dir.Path("r.db"), "/opt");
  const std::string hive = dir.Path("sys.hiv");
  testing::WriteFileText(hive, testing::ReadFixture("hives/minimal.hiv"));
  ASSERT_TRUE(registry.LoadHive("PE", hive).ok());
  for (const std::string top : {"Software", "PE"}) {
    std::string path = top;
    for (int i = 1; i < 512; ++i) path += "\\k";
    const RegistryValue v{"Name", reg_type::kString, RegistryStringBytes("x")};
    EXPECT_TRUE(registry.SetValue({kHklm, path}, KeyOpen::kCreate, v).ok()) << top;
    const RegistryResult deeper = registry.SetValue({kHklm, path + "\\k"}, KeyOpen::kCreate, v);
    EXPECT_EQ(deeper.status, RegistryStatus::kKeyRefused);
    EXPECT_EQ(deeper.message, "the key path is deeper than 512 levels");
    EXPECT_EQ(registry.CreateKey({kHklm, path + "\\k"}).status, RegistryStatus::kKeyRefused);
  }
}

TEST(HostRegistryTest, ScriptPathsAndNamesAreScriptText) {
  testing::TempDir dir;
  HostRegistry registry(dir.Path("r.db"), "/opt");
  testing::WriteFileText(dir.Path("Hives/Sys.hiv"), testing::ReadFixture("hives/minimal.hiv"));
  // "\" separators and letter case are resolved as for every script path.
  ASSERT_TRUE(registry.LoadHive("M\xE4", dir.path() + "\\hives\\SYS.HIV").ok());
  std::vector<HiveMount> mounts;
  ASSERT_TRUE(registry.Mounts(mounts).ok());
  ASSERT_EQ(mounts.size(), 1u);
  EXPECT_EQ(mounts[0].name, "M\xC3\xA4");
  EXPECT_EQ(mounts[0].file, dir.Path("Hives/Sys.hiv"));
  EXPECT_TRUE(registry.CreateKey({kHklm, "m\xC3\x84\\Key"}).ok());
  EXPECT_EQ(registry.CreateKey({kHklm, "a\\\\b"}).status, RegistryStatus::kKeyRefused);
}

TEST(HostRegistryTest, TheSubkeyToDeleteMayBeAPathBelowTheKey) {
  testing::TempDir dir;
  HostRegistry registry(dir.Path("r.db"), "/opt");
  const RegistryValue v{"v", reg_type::kString, RegistryStringBytes("x")};
  ASSERT_TRUE(
      registry
          .SetValue({RegistryRoot::kCurrentUser, "Software\\Vendor\\App\\Sub"}, KeyOpen::kCreate, v)
          .ok());
  EXPECT_TRUE(
      registry.DeleteKey({RegistryRoot::kCurrentUser, "software"}, KeyOpen::kCreate, "vendor\\app")
          .ok());
  RegistryKeyContents c;
  ASSERT_TRUE(registry.ListKey({RegistryRoot::kCurrentUser, "Software\\Vendor"}, c).ok());
  EXPECT_TRUE(c.subkeys.empty());
  // The keys on the way to the subkey are not made: there is nothing to delete.
  EXPECT_EQ(
      registry.DeleteKey({RegistryRoot::kCurrentUser, "New"}, KeyOpen::kCreate, "Gone\\App").status,
      RegistryStatus::kKeyNotFound);
  ASSERT_TRUE(registry.ListKey({RegistryRoot::kCurrentUser, "New"}, c).ok());
  EXPECT_TRUE(c.subkeys.empty());
}

}  // namespace
}  // namespace pelvar::platform
