#include "platform/overlay_registry.h"

#include <gtest/gtest.h>

#include "platform/host_registry.h"
#include "platform/overlay_file_system.h"
#include "platform/posix_file_system.h"
#include "platform/registry_text.h"
#include "support/test_support.h"

namespace pelvar::platform {
namespace {

RegistryValue String(const std::string& name, const std::string& text) {
  return {name, reg_type::kString, RegistryStringBytes(text)};
}

class OverlayRegistryTest : public ::testing::Test {
 protected:
  OverlayRegistryTest() {
    store = std::make_unique<HostRegistry>(dir.Path("registry.db"), "/opt");
    EXPECT_TRUE(store
                    ->SetValue({RegistryRoot::kCurrentUser, "Software\\App"}, KeyOpen::kCreate,
                               String("Name", "base"))
                    .ok());
    store.reset();
    store_bytes = testing::ReadFileText(dir.Path("registry.db"));
    store = std::make_unique<HostRegistry>(dir.Path("registry.db"), "/opt", /*read_only=*/true);
    overlay = std::make_unique<OverlayRegistry>(*store, std::vector<HiveMount>{}, files,
                                                dir.Path("scratch"), &journal);
  }
  std::string Get(RegistryRoot root, const std::string& key, const std::string& name) {
    RegistryValue v;
    const RegistryResult r = overlay->GetValue({root, key}, name, v);
    return r.ok() ? Utf16LeToUtf8(v.data) : r.message;
  }

  testing::TempDir dir;
  PosixFileSystem disk;
  ChangeJournal journal;
  OverlayFileSystem files{disk, &journal};
  std::unique_ptr<HostRegistry> store;
  std::string store_bytes;
  std::unique_ptr<OverlayRegistry> overlay;
};

TEST_F(OverlayRegistryTest, WritesAreReadBackAndTheStoreStaysAsItWas) {
  const RegistryKey app{RegistryRoot::kCurrentUser, "software\\APP"};
  ASSERT_TRUE(overlay->SetValue(app, KeyOpen::kExisting, String("NAME", "new")).ok());
  ASSERT_TRUE(overlay
                  ->SetValue({RegistryRoot::kCurrentUser, "Software\\App\\Sub\\Deep"},
                             KeyOpen::kCreate, String("", "d"))
                  .ok());
  EXPECT_EQ(Get(RegistryRoot::kCurrentUser, "Software\\App", "name"), "new");
  RegistryKeyContents contents;
  ASSERT_TRUE(overlay->ListKey(app, contents).ok());
  EXPECT_EQ(contents.subkeys, std::vector<std::string>({"Sub"}));
  ASSERT_EQ(contents.values.size(), 1u);
  EXPECT_EQ(contents.values[0].name, "Name");  // the stored spelling stays

  const std::vector<Change> changes = journal.Take();
  ASSERT_EQ(changes.size(), 4u);
  EXPECT_EQ(changes[0].subject, "HKEY_CURRENT_USER\\software\\APP");
  EXPECT_EQ(changes[0].value_name, "Name");
  EXPECT_EQ(changes[0].value_before->data, RegistryStringBytes("base"));
  EXPECT_EQ(changes[1].subject, "HKEY_CURRENT_USER\\Software\\App\\Sub");
  EXPECT_TRUE(changes[1].key_after);

  // Deleting a key hides what the store holds below it, also once it is
  // made again.
  ASSERT_TRUE(
      overlay->DeleteKey({RegistryRoot::kCurrentUser, "Software"}, KeyOpen::kExisting, "App").ok());
  EXPECT_EQ(Get(RegistryRoot::kCurrentUser, "Software\\App", "Name"), "no key \"App\"");
  ASSERT_TRUE(overlay->CreateKey({RegistryRoot::kCurrentUser, "Software\\App"}).ok());
  EXPECT_EQ(Get(RegistryRoot::kCurrentUser, "Software\\App", "Name"), "no value \"Name\"");

  RegistryValue v;
  ASSERT_TRUE(store->GetValue({RegistryRoot::kCurrentUser, "Software\\App"}, "Name", v).ok());
  EXPECT_EQ(v.data, RegistryStringBytes("base"));
  store.reset();
  EXPECT_TRUE(testing::ReadFileText(dir.Path("registry.db")) == store_bytes);
}

TEST_F(OverlayRegistryTest, RefusesWhatTheStoreRefuses) {
  EXPECT_EQ(overlay->CreateKey({RegistryRoot::kLocalMachine, "NewTop\\x"}).message,
            "keys cannot be created directly below HKEY_LOCAL_MACHINE");
  EXPECT_EQ(
      overlay->SetValue({RegistryRoot::kUsers, ""}, KeyOpen::kCreate, String("a", "b")).message,
      "values cannot be written directly into HKEY_USERS");
  EXPECT_EQ(
      overlay->DeleteKey({RegistryRoot::kLocalMachine, ""}, KeyOpen::kExisting, "SOFTWARE").message,
      "keys directly below HKEY_LOCAL_MACHINE cannot be deleted");
  EXPECT_EQ(
      overlay
          ->SetValue({RegistryRoot::kCurrentUser, "No\\Such"}, KeyOpen::kExisting, String("a", "b"))
          .message,
      "no key \"No\"");
  EXPECT_EQ(overlay->DeleteValue({RegistryRoot::kCurrentUser, "Software\\App"}, "Missing").message,
            "no value \"Missing\"");
  EXPECT_EQ(overlay->CreateKey({RegistryRoot::kCurrentUser, "a\\\\b"}).message,
            "invalid key path \"a\\\\b\"");
  EXPECT_TRUE(journal.Take().empty());
}

TEST_F(OverlayRegistryTest, HiveCopiedEarlierIsMountedAndReadFromItsSource) {
  const std::string hive = dir.Write("source/system", testing::ReadFixture("hives/minimal.hiv"));
  ASSERT_FALSE(files.MakeFolder(dir.Path("target"), true));
  ASSERT_FALSE(files.Copy(hive, dir.Path("target/system"), false));
  ASSERT_TRUE(overlay->LoadHive("PE_SYS", dir.Path("target/system")).ok());
  EXPECT_EQ(overlay->LoadHive("pe_sys", hive).message,
            "a hive is already mounted as HKEY_LOCAL_MACHINE\\PE_SYS");
  EXPECT_EQ(overlay->LoadHive("OTHER", dir.Path("target/system")).message,
            "the file is already mounted as HKEY_LOCAL_MACHINE\\PE_SYS");
  const RegistryKey setup{RegistryRoot::kLocalMachine, "PE_SYS\\Setup"};
  ASSERT_TRUE(overlay->SetValue(setup, KeyOpen::kCreate, String("CmdLine", "x")).ok());
  EXPECT_EQ(Get(RegistryRoot::kLocalMachine, "pe_sys\\setup", "cmdline"), "x");
  ASSERT_TRUE(overlay->UnloadHive("PE_SYS").ok());
  EXPECT_EQ(Get(RegistryRoot::kLocalMachine, "PE_SYS\\Setup", "CmdLine"), "no key \"PE_SYS\"");
  EXPECT_EQ(overlay->UnloadHive("PE_SYS").message,
            "no hive is mounted as HKEY_LOCAL_MACHINE\\PE_SYS");
  // Mounted again, the hive shows what was written before.
  ASSERT_TRUE(overlay->LoadHive("PE_SYS", dir.Path("target/system")).ok());
  EXPECT_EQ(Get(RegistryRoot::kLocalMachine, "PE_SYS\\Setup", "CmdLine"), "x");
  EXPECT_FALSE(disk.Exists(dir.Path("target")));
  EXPECT_EQ(testing::ReadFileText(hive), testing::ReadFixture("hives/minimal.hiv"));
}

}  // namespace
}  // namespace pelvar::platform
