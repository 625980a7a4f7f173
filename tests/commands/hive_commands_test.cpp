// The hive commands through a fake process launcher that records each
// request and runs the registry tool's logic in-process.
#include <gtest/gtest.h>

#include "app/reg_tool.h"
#include "platform/host_registry.h"
#include "platform/process_launcher.h"
#include "platform/windows_command_line.h"
#include "support/shell_output.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using Texts = std::vector<std::string>;

// Runs pelvar-reg's logic on the given registry; the parameter text is split
// as the launcher splits it.
class InProcessRegTool : public platform::ProcessLauncher {
 public:
  explicit InProcessRegTool(platform::HostRegistry& registry) : registry_(registry) {}

  platform::ProcessOutcome Run(const platform::ProcessRequest& request, bool wait) override {
    requests.push_back(request);
    waited.push_back(wait);
    platform::ProcessOutcome outcome;
    if (!start) return outcome;
    const std::vector<std::string> args = platform::SplitWindowsCommandLine(request.parameters);
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    outcome.started = true;
    outcome.exit_code = app::RunRegTool(args, registry_, out, err);
    if (request.keep_error_output) outcome.error_output = testing::ReadBackStream(err);
    std::fclose(out);
    std::fclose(err);
    return outcome;
  }

  std::vector<platform::ProcessRequest> requests;
  std::vector<bool> waited;
  bool start = true;

 private:
  platform::HostRegistry& registry_;
};

class HiveCommandsTest : public ::testing::Test {
 protected:
  HiveCommandsTest() : registry_(h_.dir.Path("registry.db"), "/opt"), tool_(registry_) {
    h_.services.registry = &registry_;
    h_.services.processes = &tool_;
    h_.services.reg_tool = "/opt/pelvar/pelvar-reg";
    hive_ = h_.dir.Path("system");
    testing::WriteFileText(hive_, testing::ReadFixture("hives/minimal.hiv"));
  }

  testing::ScriptHarness h_;
  platform::HostRegistry registry_;
  InProcessRegTool tool_;
  std::string hive_;
};

TEST_F(HiveCommandsTest, LoadWritesUnloadAndTheHiveHoldsTheValue) {
  h_.RunLine("reghiveload,1,PE_SYSTEM," + hive_);
  h_.RunLine("regwritestring,1,HKEY_LOCAL_MACHINE,pe_system\\Setup,Path,\"C:\\x y\"");
  h_.RunLine("reghiveunload,1,PE_SYSTEM");
  ASSERT_EQ(tool_.requests.size(), 2u);
  EXPECT_EQ(tool_.requests[0].file, "/opt/pelvar/pelvar-reg");
  EXPECT_EQ(tool_.requests[0].parameters, "load HKLM\\PE_SYSTEM " + hive_);
  EXPECT_EQ(tool_.requests[1].parameters, "unload HKLM\\PE_SYSTEM");
  EXPECT_EQ(tool_.waited, (std::vector<bool>{true, true}));
  EXPECT_EQ(h_.view.Texts(),
            (Texts{"1|Successfully loaded registry hive: \"PE_SYSTEM from file: \"" + hive_ + "\"",
                   "1|Successfully wrote registry string key in: "
                   "\"HKEY_LOCAL_MACHINE\\pe_system\\Setup\" Key:Path\" Value:\"C:\\x y\"",
                   "1|Successfully unloaded registry hive: \"PE_SYSTEM\""}));
  const auto read =
      testing::RunShell("hivexget " + testing::ShellQuoted(hive_) + " '\\Setup' Path");
  EXPECT_EQ(read.out, "C:\\x y\n");
  std::vector<platform::HiveMount> mounts;
  ASSERT_TRUE(registry_.Mounts(mounts).ok());
  EXPECT_TRUE(mounts.empty());
}

TEST_F(HiveCommandsTest, AMissingFileFailsWithoutStartingTheTool) {
  const std::string missing = h_.dir.Path("none");
  h_.RunLine("reghiveload,1,X," + missing);
  EXPECT_TRUE(tool_.requests.empty());
  EXPECT_EQ(h_.view.Texts(),
            Texts{"0|Failed to load registry hive: \"X from file: \"" + missing + "\""});
}

TEST_F(HiveCommandsTest, TheToolsFailureIsTheCommandsFailure) {
  h_.RunLine("reghiveload,1,A," + hive_);
  h_.RunLine("reghiveload,1,B," + hive_);  // the file is mounted already
  h_.RunLine("reghiveunload,1,NotMounted");
  const std::string text = h_.dir.Write("plain.txt", "not a hive");
  h_.RunLine("reghiveload,1,C," + text);
  EXPECT_EQ(h_.view.Texts(),
            (Texts{"1|Successfully loaded registry hive: \"A from file: \"" + hive_ + "\"",
                   "0|Failed to load registry hive: \"B from file: \"" + hive_ + "\"",
                   "0|Failed to unload registry hive: \"NotMounted\"",
                   "0|Failed to load registry hive: \"C from file: \"" + text + "\""}));
}

TEST_F(HiveCommandsTest, BlanksReachTheToolQuotedAndAToolThatDoesNotStartFails) {
  const std::string spaced = h_.dir.Path("a b");
  testing::WriteFileText(spaced, testing::ReadFileText(hive_));
  h_.RunLine("reghiveload,1,Sp,\"" + spaced + "\"");
  EXPECT_EQ(tool_.requests.back().parameters, "load HKLM\\Sp \"" + spaced + "\"");
  EXPECT_EQ(h_.view.lines.back().kind, LogKind::kSuccess);
  h_.RunLine("reghiveunload,1,Sp");
  EXPECT_EQ(h_.view.lines.back().kind, LogKind::kSuccess);
  tool_.start = false;
  h_.RunLine("reghiveunload,1,A");
  EXPECT_EQ(h_.view.Texts().back(), "0|Failed to unload registry hive: \"A\"");
  h_.services.processes = nullptr;
  h_.RunLine("reghiveunload,1,A");
  EXPECT_EQ(h_.view.lines.back().kind, LogKind::kFailure);
}

TEST_F(HiveCommandsTest, FailureLinesCarryTheToolsReasonAndTheScriptLine) {
  h_.Run("[process]\r\n; load twice\r\nreghiveload,1,PE_SYSTEM," + hive_ +
         "\r\n\r\nreghiveload,1,PE_SYSTEM," + hive_ + "\r\nreghiveload,1,PE_X," +
         h_.dir.Path("missing") + "\r\n");
  ASSERT_EQ(h_.view.lines.size(), 3u);
  EXPECT_EQ(h_.view.lines[0].reason, "");
  EXPECT_EQ(h_.view.lines[1].kind, LogKind::kFailure);
  EXPECT_EQ(h_.view.lines[1].reason, "a hive is already mounted as HKEY_LOCAL_MACHINE\\PE_SYSTEM");
  EXPECT_EQ(h_.view.lines[2].reason,
            "the hive file \"" + h_.dir.Path("missing") + "\" does not exist");
  EXPECT_EQ(h_.view.reason_lines, (std::vector<size_t>{5, 6}));
}

}  // namespace
}  // namespace pelvar
