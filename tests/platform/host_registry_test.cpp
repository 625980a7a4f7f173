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

// Each key a walk meets, as one line: its path, its subkeys, its values.
std::vector<std::string> Walked(const RegistryResult& result, std::vector<std::string> lines) {
  if (!result.ok()) lines.push_back("failed: " + result.message);
  return lines;
}

template <typename WalkFn>
std::vector<std::string> WalkLines(WalkFn&& walk, const RegistryKey& key, size_t stop_after = 0) {
  std::vector<std::string> lines;
  const RegistryResult r = walk(key, [&](std::string_view relative, RegistryKeyContents& contents) {
    std::string line = "[" + std::string(relative) + "]";
    for (const std::string& sub : contents.subkeys) line += " " + sub;
    for (const RegistryValue& v : contents.values) {
      line += " " + v.name + "=" + std::to_string(v.type) + ":" + v.data;
    }
    lines.push_back(line);
    if (stop_after != 0 && lines.size() == stop_after) {
      return RegistryResult{RegistryStatus::kKeyRefused, "stopped"};
    }
    return RegistryResult{};
  });
  return Walked(r, std::move(lines));
}

// The walk that reads a whole tree at once (one store transaction, a hive
// opened once) meets the same keys in the same order, with the same
// contents, as listing them key by key: subkeys in the system's order of
// names in any letter case, values in their order of creation, mounted
// hives among the keys of HKEY_LOCAL_MACHINE.
TEST(HostRegistryTest, AWalkOfATreeMeetsWhatListingKeyByKeyMeets) {
  testing::TempDir dir;
  HostRegistry registry(dir.Path("r.db"), "/opt");
  const std::string hive = dir.Path("sys.hiv");
  testing::WriteFileText(hive, testing::ReadFixture("hives/minimal.hiv"));
  ASSERT_TRUE(registry.LoadHive("Mounted", hive).ok());
  const auto set = [&](RegistryRoot root, const std::string& path, const std::string& name,
                       const std::string& data) {
    const RegistryValue v{name, reg_type::kString, RegistryStringBytes(data)};
    ASSERT_TRUE(registry.SetValue({root, path}, KeyOpen::kCreate, v).ok()) << path;
  };
  const RegistryRoot hkcu = RegistryRoot::kCurrentUser;
  for (const std::string name : {"b", "A", "\xC3\xA4", "_x", "C", "a1", "Z\xF0\x9F\x98\x80",
                                 "q\xEF\xBC\xA1", "Q\xF0\x9F\x98\x80"}) {
    set(hkcu, "Software\\Tree\\" + name + "\\Inner", "z", name);
    set(hkcu, "Software\\Tree\\" + name, "second", "2");
    set(hkcu, "Software\\Tree\\" + name, "first", "1");
  }
  set(hkcu, "Software\\Tree", "", "default");
  set(kHklm, "Mounted\\One\\Two", "v", "in the hive");
  set(kHklm, "Mounted\\Another", "w", "x");
  set(kHklm, "SOFTWARE\\Pelvar", "v", "y");

  const auto by_listing = [&](const RegistryKey& key, const KeyVisitor& visit) {
    return registry.Registry::WalkTree(key, visit);
  };
  const auto at_once = [&](const RegistryKey& key, const KeyVisitor& visit) {
    return registry.WalkTree(key, visit);
  };
  for (const RegistryKey& key :
       {RegistryKey{hkcu, "software\\tree"}, RegistryKey{hkcu, ""}, RegistryKey{kHklm, ""},
        RegistryKey{kHklm, "MOUNTED"}, RegistryKey{kHklm, "Mounted\\One"},
        RegistryKey{kHklm, "Software"}, RegistryKey{hkcu, "Software\\None"},
        RegistryKey{kHklm, "Mounted\\None"}}) {
    const std::vector<std::string> expected = WalkLines(by_listing, key);
    EXPECT_EQ(WalkLines(at_once, key), expected) << key.path;
    ASSERT_FALSE(expected.empty());
    // A visit that fails ends the walk with its failure.
    if (expected.size() > 2) {
      std::vector<std::string> first(expected.begin(), expected.begin() + 2);
      first.push_back("failed: stopped");
      EXPECT_EQ(WalkLines(at_once, key, 2), first) << key.path;
    }
  }
  EXPECT_EQ(WalkLines(at_once, {hkcu, "Software\\None"}),
            std::vector<std::string>{"failed: no key \"None\""});
  // The tree below HKEY_CURRENT_USER\Software\Tree, in the system's order.
  const std::vector<std::string> tree = WalkLines(at_once, {hkcu, "Software\\Tree"});
  // (UTF-16 code units: a character beyond U+FFFF sorts before U+FF21.)
  ASSERT_EQ(tree.size(), 19u);
  EXPECT_EQ(tree[0].substr(0, tree[0].find(" =")),
            "[] A a1 b C Q\xF0\x9F\x98\x80 q\xEF\xBC\xA1 Z\xF0\x9F\x98\x80 _x \xC3\xA4");
  EXPECT_EQ(tree[1].substr(0, 9), "[A] Inner");
  EXPECT_EQ(tree[2].substr(0, 9), "[A\\Inner]");
}

}  // namespace
}  // namespace pelvar::platform
