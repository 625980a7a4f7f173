// Several runs of the built program started at once on one registry store,
// new or existing, writing keys of their own or the same keys: every write
// arrives, and no run logs a failure.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <tuple>

#include "support/shell_output.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::RunShell;
using testing::ShellQuoted;
using testing::TempDir;

constexpr int kWrites = 25;

enum class Store { kNew, kExisting };
enum class Keys { kDistinct, kSame };

void PrintTo(Store store, std::ostream* os) {
  *os << (store == Store::kNew ? "new store" : "existing store");
}
void PrintTo(Keys keys, std::ostream* os) {
  *os << (keys == Keys::kSame ? "same keys" : "distinct keys");
}

// The key a run writes to: its own, or the one all runs share.
std::string KeyOf(Keys keys, int run) {
  return keys == Keys::kSame ? "Software\\Concurrent\\Shared"
                             : "Software\\Concurrent\\Run" + std::to_string(run);
}

class ConcurrentStoreTest : public ::testing::TestWithParam<std::tuple<int, Store, Keys>> {};

TEST_P(ConcurrentStoreTest, RunsStartedTogetherLoseNoWriteAndLogNoFailure) {
  const auto [runs, store, keys] = GetParam();
  TempDir home;
  home.Write("pelvar.ini", "[main]\r\n");
  const std::string db = home.Path("shared/registry.db");
  home.Write("shared/.keep", "");
  const std::string env =
      "env PELVAR_HOME=" + ShellQuoted(home.path()) + " PELVAR_REGISTRY=" + ShellQuoted(db) + " ";
  const std::string pelvar = ShellQuoted(PELVAR_PROGRAM_DIR "/pelvar");
  const std::string reg = ShellQuoted(PELVAR_PROGRAM_DIR "/pelvar-reg");
  if (store == Store::kExisting) {
    ASSERT_EQ(
        RunShell(env + reg + " add 'HKCU\\Software\\Before' /v Old /d kept >/dev/null").status, 0);
    ASSERT_TRUE(home.Exists("shared/registry.db"));
  }
  // %programfilesdir% reads the store as the run starts, while another run
  // may be making it; a write below HKEY_LOCAL_MACHINE first looks in the
  // table of mounted hives, and the registry tool lists that table.
  std::string starts;
  for (int run = 0; run < runs; ++run) {
    std::string script =
        "[process]\r\necho,1,\"%programfilesdir%\"\r\n"
        "regwritestring,1,HKEY_LOCAL_MACHINE,SOFTWARE\\Concurrent,Run" +
        std::to_string(run) + ",x\r\n";
    for (int i = 0; i < kWrites; ++i) {
      script += "regwritestring,1,HKEY_CURRENT_USER," + KeyOf(keys, run) + ",Value" +
                std::to_string(i) + ",run" + std::to_string(run) + "\r\n";
    }
    const std::string file = home.Write("s" + std::to_string(run) + ".script", script);
    const std::string out = ShellQuoted(home.Path("out" + std::to_string(run)));
    starts += "(" + env + pelvar + " " + ShellQuoted(file) + " /silent >" + out + " 2>" + out +
              ".err; echo $? >" + out + ".status) & ";
    starts += "(" + env + reg + " mounts >/dev/null 2>" + out + ".mounts; echo $? >>" + out +
              ".mounts) & ";
  }
  ASSERT_EQ(RunShell(starts + "wait").status, 0);

  for (int run = 0; run < runs; ++run) {
    const std::string out = "out" + std::to_string(run);
    SCOPED_TRACE("run " + std::to_string(run));
    EXPECT_EQ(home.Read(out + ".err"), "");
    EXPECT_EQ(home.Read(out + ".status"), "0\n");
    EXPECT_EQ(home.Read(out + ".mounts"), "0\n");
    const std::string log = home.Read(out);
    EXPECT_EQ(log.find("0\t"), std::string::npos) << log;
    size_t successes = 0;
    for (size_t at = log.find("1\tSuccessfully wrote"); at != std::string::npos;
         at = log.find("1\tSuccessfully wrote", at + 1)) {
      ++successes;
    }
    EXPECT_EQ(successes, static_cast<size_t>(kWrites) + 1) << log;
  }
  const int keys_written = keys == Keys::kSame ? 1 : runs;
  for (int run = 0; run < keys_written; ++run) {
    const testing::ShellOutput query =
        RunShell(env + reg + " query " + ShellQuoted("HKCU\\" + KeyOf(keys, run)));
    ASSERT_EQ(query.status, 0);
    size_t values = 0;
    for (size_t at = query.out.find("REG_SZ"); at != std::string::npos;
         at = query.out.find("REG_SZ", at + 1)) {
      ++values;
    }
    EXPECT_EQ(values, static_cast<size_t>(kWrites)) << query.out;
    if (keys == Keys::kDistinct) {
      EXPECT_NE(query.out.find("REG_SZ    run" + std::to_string(run) + "\n"), std::string::npos);
    }
  }
  // The store was made once: its first content is there exactly once.
  const testing::ShellOutput seeded =
      RunShell(env + reg + " query 'HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion'");
  EXPECT_EQ(seeded.status, 0);
  EXPECT_NE(seeded.out.find("ProgramFilesDir"), std::string::npos) << seeded.out;
  const std::string machine = RunShell(env + reg + " query 'HKLM\\SOFTWARE\\Concurrent'").out;
  for (int run = 0; run < runs; ++run) {
    EXPECT_NE(machine.find("Run" + std::to_string(run) + "    REG_SZ"), std::string::npos)
        << machine;
  }
  if (store == Store::kExisting) {
    EXPECT_NE(RunShell(env + reg + " query 'HKCU\\Software\\Before'").out.find("kept"),
              std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ConcurrentStoreTest,
    ::testing::Combine(::testing::Values(2, 4, 8), ::testing::Values(Store::kNew, Store::kExisting),
                       ::testing::Values(Keys::kDistinct, Keys::kSame)),
    [](const ::testing::TestParamInfo<ConcurrentStoreTest::ParamType>& info) {
      return std::to_string(std::get<0>(info.param)) + "Runs" +
             (std::get<1>(info.param) == Store::kNew ? "NewStore" : "ExistingStore") +
             (std::get<2>(info.param) == Keys::kSame ? "SameKeys" : "DistinctKeys");
    });

}  // namespace
}  // namespace pelvar
