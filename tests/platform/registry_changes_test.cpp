// Sets of changes applied together: all of them or none.
#include <gtest/gtest.h>

#include "platform/host_registry.h"
#include "platform/overlay_file_system.h"
#include "platform/overlay_registry.h"
#include "platform/posix_file_system.h"
#include "platform/registry_text.h"
#include "support/test_support.h"

namespace pelvar::platform {
namespace {

using Kind = RegistryChange::Kind;

RegistryChange Make(Kind kind, RegistryRoot root, const std::string& path,
                    const std::string& name = "", const std::string& text = "") {
  return {kind, {root, path}, {name, reg_type::kString, RegistryStringBytes(text)}};
}

// Applied in order; a refusal is the last change.
const std::vector<RegistryChange> kRefusedAtTheEnd = {
    Make(Kind::kCreateKey, RegistryRoot::kCurrentUser, "Made"),
    Make(Kind::kSetValue, RegistryRoot::kCurrentUser, "Made\\Deeper", "v", "1"),
    Make(Kind::kDeleteKey, RegistryRoot::kCurrentUser, "Software\\Keep"),
    Make(Kind::kSetValue, RegistryRoot::kLocalMachine, "", "v", "refused"),
};

class RegistryChangesTest : public ::testing::Test {
 protected:
  RegistryChangesTest() : store(dir.Path("registry.db"), "/opt") {
    EXPECT_TRUE(store
                    .SetValue({RegistryRoot::kCurrentUser, "Software\\Keep"}, KeyOpen::kCreate,
                              {"k", reg_type::kDword, std::string(4, '\1')})
                    .ok());
  }
  static bool Exists(Registry& registry, const std::string& path) {
    RegistryKeyContents contents;
    return registry.ListKey({RegistryRoot::kCurrentUser, path}, contents).ok();
  }

  testing::TempDir dir;
  HostRegistry store;
};

TEST_F(RegistryChangesTest, TheStoreTakesAllOrNothing) {
  size_t failed = 0;
  const RegistryResult r = store.ApplyChanges(kRefusedAtTheEnd, failed);
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(failed, 3u);
  EXPECT_FALSE(Exists(store, "Made"));
  EXPECT_TRUE(Exists(store, "Software\\Keep"));

  // Removing what is not there is no failure.
  const std::vector<RegistryChange> fine = {
      Make(Kind::kDeleteKey, RegistryRoot::kCurrentUser, "Never\\There"),
      Make(Kind::kDeleteValue, RegistryRoot::kCurrentUser, "Software\\Keep", "absent"),
      Make(Kind::kDeleteValue, RegistryRoot::kCurrentUser, "No\\Key", "absent"),
      Make(Kind::kSetValue, RegistryRoot::kCurrentUser, "Made", "v", "1")};
  ASSERT_TRUE(store.ApplyChanges(fine, failed).ok());
  EXPECT_TRUE(Exists(store, "Made"));
  EXPECT_FALSE(Exists(store, "Never"));
}

TEST_F(RegistryChangesTest, ADryRunsOverlayAndItsJournalTakeAllOrNothing) {
  PosixFileSystem disk;
  ChangeJournal journal;
  OverlayFileSystem files(disk, &journal);
  OverlayRegistry overlay(store, {}, files, dir.Path("scratch"), &journal);
  ASSERT_TRUE(
      overlay.SetValue({RegistryRoot::kCurrentUser, "Before"}, KeyOpen::kCreate, {"b", 1, "x"})
          .ok());
  size_t failed = 0;
  EXPECT_FALSE(overlay.ApplyChanges(kRefusedAtTheEnd, failed).ok());
  EXPECT_EQ(failed, 3u);
  EXPECT_FALSE(Exists(overlay, "Made"));
  EXPECT_TRUE(Exists(overlay, "Software\\Keep"));
  EXPECT_TRUE(Exists(overlay, "Before"));
  // Only the change made before is told.
  const std::vector<Change> told = journal.Take();
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[0].subject, "HKEY_CURRENT_USER\\Before");
  EXPECT_FALSE(Exists(store, "Before"));
}

}  // namespace
}  // namespace pelvar::platform
