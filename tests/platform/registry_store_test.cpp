// The host store: its first content, letter case, subtree deletion, the
// sealed roots, and writers working at once.
#include "platform/registry_store.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/registry_text.h"
#include "support/test_support.h"

namespace pelvar::platform {
namespace {

constexpr RegistryRoot kHkcu = RegistryRoot::kCurrentUser;
constexpr RegistryRoot kHklm = RegistryRoot::kLocalMachine;

RegistryValue Dword(const std::string& name, uint32_t v) {
  return {name,
          reg_type::kDword,
          {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
           static_cast<char>(v >> 24)}};
}

TEST(RegistryStoreTest, ANewStoreHoldsTheRootsAndProgramFilesDir) {
  testing::TempDir dir;
  RegistryStore store(dir.Path("r.db"), "/srv/programs");
  RegistryValue v;
  ASSERT_TRUE(store
                  .GetValue(kHklm, {"software", "MICROSOFT", "Windows", "CurrentVersion"},
                            "programfilesdir", v)
                  .ok());
  EXPECT_EQ(v.name, "ProgramFilesDir");
  EXPECT_EQ(v.type, reg_type::kString);
  EXPECT_EQ(v.data, RegistryStringBytes("/srv/programs"));
  RegistryKeyContents root;
  ASSERT_TRUE(store.ListKey(kHklm, {}, root).ok());
  EXPECT_EQ(root.subkeys, (std::vector<std::string>{"SOFTWARE", "SYSTEM"}));
  // A second store on the same file finds it made and seeds nothing again.
  RegistryStore again(dir.Path("r.db"), "/other");
  ASSERT_TRUE(again
                  .GetValue(kHklm, {"SOFTWARE", "Microsoft", "Windows", "CurrentVersion"},
                            "ProgramFilesDir", v)
                  .ok());
  EXPECT_EQ(v.data, RegistryStringBytes("/srv/programs"));
}

TEST(RegistryStoreTest, NamesMatchInAnyCaseAndKeepTheSpellingTheyWereMadeWith) {
  testing::TempDir dir;
  RegistryStore store(dir.Path("r.db"), "/opt");
  ASSERT_TRUE(
      store.SetValue(kHkcu, {"Software", "\xC3\x84rger"}, KeyOpen::kCreate, Dword("Wert", 1)).ok());
  ASSERT_TRUE(
      store.SetValue(kHkcu, {"SOFTWARE", "\xC3\xA4RGER"}, KeyOpen::kExisting, Dword("WERT", 2))
          .ok());
  RegistryKeyContents c;
  ASSERT_TRUE(store.ListKey(kHkcu, {"software"}, c).ok());
  EXPECT_EQ(c.subkeys, std::vector<std::string>{"\xC3\x84rger"});
  ASSERT_TRUE(store.ListKey(kHkcu, {"software", "\xC3\x84rger"}, c).ok());
  ASSERT_EQ(c.values.size(), 1u);
  EXPECT_EQ(c.values[0].name, "Wert");
  EXPECT_EQ(c.values[0].data, Dword("", 2).data);
  EXPECT_EQ(store.SetValue(kHkcu, {"Missing"}, KeyOpen::kExisting, Dword("v", 1)).status,
            RegistryStatus::kKeyNotFound);
  EXPECT_EQ(store.ListKey(kHkcu, {"Missing"}, c).status, RegistryStatus::kKeyNotFound);
}

TEST(RegistryStoreTest, DeletingAKeyTakesItsSubtreeAndValues) {
  testing::TempDir dir;
  RegistryStore store(dir.Path("r.db"), "/opt");
  ASSERT_TRUE(store.SetValue(kHkcu, {"T", "A", "B", "C"}, KeyOpen::kCreate, Dword("v", 1)).ok());
  ASSERT_TRUE(store.SetValue(kHkcu, {"T", "A2"}, KeyOpen::kCreate, Dword("v", 1)).ok());
  ASSERT_TRUE(store.DeleteKey(kHkcu, {"t"}, KeyOpen::kExisting, "a").ok());
  RegistryKeyContents c;
  ASSERT_TRUE(store.ListKey(kHkcu, {"T"}, c).ok());
  EXPECT_EQ(c.subkeys, std::vector<std::string>{"A2"});
  EXPECT_EQ(store.DeleteKey(kHkcu, {"T"}, KeyOpen::kExisting, "A").status,
            RegistryStatus::kKeyNotFound);
  EXPECT_EQ(store.DeleteKey(kHkcu, {"T"}, KeyOpen::kExisting, "").status,
            RegistryStatus::kKeyNotFound);
  // Re-made keys start empty: nothing of the old subtree comes back.
  ASSERT_TRUE(store.CreateKey(kHkcu, {"T", "A", "B"}).ok());
  ASSERT_TRUE(store.ListKey(kHkcu, {"T", "A", "B"}, c).ok());
  EXPECT_TRUE(c.subkeys.empty());
  EXPECT_TRUE(c.values.empty());
}

TEST(RegistryStoreTest, LocalMachineAndUsersHoldOnlyTheirFixedKeys) {
  testing::TempDir dir;
  RegistryStore store(dir.Path("r.db"), "/opt");
  EXPECT_EQ(store.CreateKey(kHklm, {"NEWTOP", "x"}).message,
            "keys cannot be created directly below HKEY_LOCAL_MACHINE");
  EXPECT_EQ(store.CreateKey(RegistryRoot::kUsers, {"S-1-5"}).status, RegistryStatus::kKeyRefused);
  EXPECT_EQ(store.SetValue(kHklm, {}, KeyOpen::kCreate, Dword("v", 1)).status,
            RegistryStatus::kValueRefused);
  EXPECT_EQ(store.DeleteKey(kHklm, {}, KeyOpen::kExisting, "system").status,
            RegistryStatus::kKeyRefused);
  EXPECT_TRUE(store.CreateKey(kHklm, {"SYSTEM", "Setup"}).ok());
  EXPECT_TRUE(store.SetValue(kHkcu, {}, KeyOpen::kCreate, Dword("v", 1)).ok());
}

TEST(RegistryStoreTest, MountsAreUniqueByNameAndFile) {
  testing::TempDir dir;
  RegistryStore store(dir.Path("r.db"), "/opt");
  ASSERT_TRUE(store.AddMount({"PE_System", "/h/system"}).ok());
  EXPECT_EQ(store.AddMount({"pe_system", "/h/other"}).message,
            "a hive is already mounted as HKEY_LOCAL_MACHINE\\PE_System");
  EXPECT_EQ(store.AddMount({"Two", "/h/system"}).message,
            "the file is already mounted as HKEY_LOCAL_MACHINE\\PE_System");
  EXPECT_EQ(store.AddMount({"software", "/h/soft"}).message,
            "HKEY_LOCAL_MACHINE\\software exists already");
  HiveMount m;
  bool found = false;
  ASSERT_TRUE(store.FindMount("PE_SYSTEM", m, found).ok());
  EXPECT_TRUE(found);
  EXPECT_EQ(m.file, "/h/system");
  ASSERT_TRUE(store.RemoveMount("pe_SYSTEM").ok());
  EXPECT_EQ(store.RemoveMount("PE_System").status, RegistryStatus::kKeyNotFound);
}

TEST(RegistryStoreTest, AStoreThatCannotBeOpenedFailsWithItsPath) {
  testing::TempDir dir;
  RegistryStore missing_folder(dir.Path("no/folder/r.db"), "/opt");
  const RegistryResult r = missing_folder.CreateKey(kHkcu, {"x"});
  EXPECT_EQ(r.status, RegistryStatus::kKeyRefused);
  EXPECT_EQ(r.message.rfind("registry store \"" + dir.Path("no/folder/r.db") + "\": ", 0), 0u);
  RegistryStore not_a_store(dir.Write("junk.db", std::string(4096, 'x')), "/opt");
  EXPECT_EQ(not_a_store.CreateKey(kHkcu, {"x"}).status, RegistryStatus::kKeyRefused);
}

TEST(RegistryStoreTest, TwoWritersAtOnceLoseNothing) {
  testing::TempDir dir;
  const auto writer = [&](const std::string& prefix) {
    RegistryStore store(dir.Path("r.db"), "/opt");
    for (int i = 0; i < 200; ++i) {
      const RegistryResult r =
          store.SetValue(kHkcu, {"Shared", prefix + std::to_string(i % 7)}, KeyOpen::kCreate,
                         Dword(prefix + std::to_string(i), 1));
      EXPECT_TRUE(r.ok()) << r.message;
    }
  };
  std::thread a(writer, "a");
  std::thread b(writer, "b");
  a.join();
  b.join();
  RegistryStore store(dir.Path("r.db"), "/opt");
  size_t values = 0;
  RegistryKeyContents c;
  ASSERT_TRUE(store.ListKey(kHkcu, {"Shared"}, c).ok());
  EXPECT_EQ(c.subkeys.size(), 14u);
  for (const std::string& sub : c.subkeys) {
    RegistryKeyContents s;
    ASSERT_TRUE(store.ListKey(kHkcu, {"Shared", sub}, s).ok());
    values += s.values.size();
  }
  EXPECT_EQ(values, 400u);
}

TEST(RegistryStoreTest, AReaderOfAStoreNotMadeYetReadsWhatANewStoreHolds) {
  testing::TempDir dir;
  // The file of a store that another program has just created, before its
  // tables are made.
  const std::string path = dir.Write("r.db", "");
  RegistryStore reader(path, "/srv/programs", /*read_only=*/true);
  RegistryValue v;
  const RegistryResult r = reader.GetValue(
      kHklm, {"SOFTWARE", "Microsoft", "Windows", "CurrentVersion"}, "ProgramFilesDir", v);
  ASSERT_TRUE(r.ok()) << r.message;
  EXPECT_EQ(v.data, RegistryStringBytes("/srv/programs"));
  bool found = true;
  HiveMount m;
  EXPECT_TRUE(reader.FindMount("PE_SYSTEM", m, found).ok());
  EXPECT_FALSE(found);
  EXPECT_FALSE(reader.SetValue(kHkcu, {"Software"}, KeyOpen::kCreate, Dword("x", 1)).ok());
  // The reader changed nothing: the file is still empty, and the store is
  // made by its first writer.
  EXPECT_EQ(dir.Read("r.db"), "");
  RegistryStore writer(path, "/srv/programs");
  ASSERT_TRUE(writer.SetValue(kHkcu, {"Software"}, KeyOpen::kCreate, Dword("x", 1)).ok());
  RegistryStore later(path, "/elsewhere", /*read_only=*/true);
  ASSERT_TRUE(later.GetValue(kHkcu, {"Software"}, "x", v).ok());
}

TEST(RegistryStoreTest, ManyStoresMadeAtOnceOnANewFileAllSucceed) {
  for (int round = 0; round < 5; ++round) {
    testing::TempDir dir;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
      threads.emplace_back([&, t] {
        const bool reader = t % 2 == 1;
        RegistryStore store(dir.Path("r.db"), "/opt", reader);
        HiveMount m;
        bool found = false;
        if (reader) {
          // A reader may find the file not yet created at all.
          const RegistryResult r = store.FindMount("PE_SYSTEM", m, found);
          EXPECT_TRUE(r.ok() || r.message.find("No such file") != std::string::npos) << r.message;
          return;
        }
        const RegistryResult r = store.SetValue(kHkcu, {"Software", "T" + std::to_string(t)},
                                                KeyOpen::kCreate, Dword("v", 1));
        EXPECT_TRUE(r.ok()) << r.message;
        EXPECT_TRUE(store.FindMount("PE_SYSTEM", m, found).ok());
      });
    }
    for (std::thread& t : threads) t.join();
    RegistryStore store(dir.Path("r.db"), "/opt");
    RegistryKeyContents c;
    ASSERT_TRUE(store.ListKey(kHkcu, {"Software"}, c).ok());
    EXPECT_EQ(c.subkeys, (std::vector<std::string>{"T0", "T2", "T4", "T6"}));
  }
}

}  // namespace
}  // namespace pelvar::platform
