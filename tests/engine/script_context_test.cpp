#include "engine/script_context.h"

#include <gtest/gtest.h>

#include "engine/script_error.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::ScriptHarness;

std::vector<std::string> Echoed(const ScriptHarness& h) {
  std::vector<std::string> out;
  for (const auto& l : h.view.lines) out.push_back(l.text);
  return out;
}

TEST(RunScriptTest, BuiltInsAndOverrides) {
  ScriptHarness h;
  h.Run(
      "[variables]\n%targetdir%=/other\n[process]\n"
      "echo,1,%TargetDir%|%sourcedir%|%tempdir%|%windowsdir%|%windowssystemdir%\n"
      "echo,1,%programfilesdir%|%isofile%|%scriptdir%\n",
      RunPaths{"/t", "/s", "/i.iso"});
  const std::string tmp = platform::HostTempDir();
  EXPECT_EQ(Echoed(h), (std::vector<std::string>{"/other|/s|" + tmp + "|/win|/win/system32",
                                                 "/opt/programs|/i.iso|" + h.dir.path()}));
}

TEST(RunScriptTest, ReferencesOneLevelDeepResolveInEitherOrder) {
  ScriptHarness a;
  a.Run("[variables]\n%a%=%b%\\x\n%b%=%targetdir%\\y\n[process]\necho,1,%a%\n", {"T", "", ""});
  EXPECT_EQ(Echoed(a), std::vector<std::string>{"T\\y\\x"});
  ScriptHarness b;
  b.Run("[variables]\n%b%=%targetdir%\\y\n%a%=%b%\\x\n[process]\necho,1,%a%\n", {"T", "", ""});
  EXPECT_EQ(Echoed(b), std::vector<std::string>{"T\\y\\x"});
}

TEST(RunScriptTest, NamesBroughtInFromAboveStayUnexpanded) {
  ScriptHarness h;
  h.Run(
      "[variables]\n%c%=1\n%a%=%b%\n%b%=%c%\nnoequals\n%self%=<%self%>\n"
      "[process]\necho,1,%a%\necho,1,%self%\n");
  EXPECT_EQ(Echoed(h), (std::vector<std::string>{"%c%", "<<%self%>>"}));
}

TEST(RunScriptTest, ProgressAndStatus) {
  ScriptHarness h;
  h.Run("[process]\necho,1,a\necho,0,b\n[x]\n");
  EXPECT_EQ(h.view.progress_max, 2);  // the two lines, not the closing empty line
  EXPECT_EQ(h.view.positions, (std::vector<int>{1, 2}));
  EXPECT_EQ(h.view.statuses, (std::vector<std::string>{"Processing commands..", "a"}));
}

TEST(RunScriptTest, NoProcessSectionRunsNothing) {
  ScriptHarness h;
  h.Run("[main]\ntitle=x\n");
  EXPECT_EQ(h.view.progress_max, 0);
  EXPECT_EQ(h.view.statuses, std::vector<std::string>{"Processing commands.."});
  EXPECT_TRUE(h.view.lines.empty());
}

TEST(RunScriptTest, StopsBetweenLinesWhenAsked) {
  ScriptHarness h;
  h.view.stop_after = 2;
  h.Run("[process]\necho,1,a\necho,1,b\necho,1,c\n");
  EXPECT_EQ(Echoed(h), (std::vector<std::string>{"a", "b"}));
}

TEST(RunScriptTest, UnquotedValueWithBlankSplitsTheField) {
  ScriptHarness h;
  h.Run("[process]\necho,1,%targetdir%\necho,1,\"%targetdir%\"\n", {"C:\\my build", "", ""});
  EXPECT_EQ(Echoed(h), (std::vector<std::string>{"C:\\my", "C:\\my build"}));
}

TEST(RunScriptTest, ScriptFolderIsCutAtTheLastSeparatorOnly) {
  ScriptHarness h;
  const std::string path =
      h.dir.Write("backup 10:30.script", "[process]\necho,1,\"%scriptdir%\"\n");
  ScriptContext context = CreateScriptContext({}, h.view, *h.commands, h.services);
  RunScript(context, path, "process");
  EXPECT_EQ(Echoed(h), std::vector<std::string>{h.dir.path()});
}

}  // namespace
}  // namespace pelvar

namespace pelvar {
namespace {

TEST(RunScriptTest, OtherSectionsBetweenProcessSectionsChangeNothing) {
  testing::ScriptHarness h;
  h.Run(
      "[process]\necho,1,a\n[EncodedFile-x-y]\nlines=1\n0=QUJD\n[Process]\necho,1,b\n"
      "[variables]\n%v%=1\n[variables]\n%v%=2\n[process]\necho,1,%v%]\necho,1,never\n");
  std::vector<std::string> texts;
  for (const auto& l : h.view.lines) texts.push_back(l.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(h.view.progress_max, 2);  // a and b
}

}  // namespace
}  // namespace pelvar

namespace pelvar {
namespace {

std::string ErrorOfRun(testing::ScriptHarness& h, const std::string& script, RunPaths paths) {
  try {
    h.Run(script, std::move(paths));
  } catch (const ScriptError& e) {
    return e.what();
  }
  return "no error";
}

TEST(EmptyPathTest, OnlyLinesThatActOnAnEmptyPathAreRefused) {
  testing::ScriptHarness h;
  const std::string script =
      "[variables]\n%out%=%TARGETDIR%\\out\n%deep%=x%out%\n%iso%=%isofile%\n"
      "[process]\necho,1,<%deep%>\nwait,1,0\ndirmake,0,%deep%\nfiledelete,1,%sourcedir%\\x\n"
      "dirmake,1,%deep%\\y\n";
  EXPECT_EQ(ErrorOfRun(h, script, {"", "/src", ""}),
            "%deep% is built on %targetdir%, which is empty: set the target folder (targetdir= "
            "in [main] of pelvar.ini, or /TargetDir=DIR)");
  EXPECT_EQ(h.view.Texts(), (std::vector<std::string>{"8|<x\\out>", "1|Waiting 0 seconds",
                                                      "0|Failed to find and delete \"/src\\x\""}));
  h.view.lines.clear();
  EXPECT_EQ(ErrorOfRun(h, "[process]\nfilecopy,1,%IsoFile%,/tmp/x\n", {"/t", "/s", ""}),
            "%isofile% is empty: set the ISO file (isofile= in [main] of pelvar.ini, or "
            "/IsoFile=FILE)");
  EXPECT_TRUE(h.view.lines.empty());
  // A script that sets the path itself is not refused.
  EXPECT_EQ(
      ErrorOfRun(h, "[variables]\n%targetdir%=/own\n[process]\nfiledelete,1,%targetdir%\\x\n", {}),
      "no error");
}

// A registry that counts the commits of held changes and fails them at will.
class CommitCounter : public platform::Registry {
 public:
  using Result = platform::RegistryResult;
  Result CreateKey(const platform::RegistryKey&) override { return {}; }
  Result SetValue(const platform::RegistryKey&, platform::KeyOpen,
                  const platform::RegistryValue&) override {
    return {};
  }
  Result DeleteKey(const platform::RegistryKey&, platform::KeyOpen, std::string_view) override {
    return {};
  }
  Result DeleteValue(const platform::RegistryKey&, std::string_view) override { return {}; }
  Result GetValue(const platform::RegistryKey&, std::string_view,
                  platform::RegistryValue&) override {
    return {};
  }
  Result ListKey(const platform::RegistryKey&, platform::RegistryKeyContents&) override {
    return {};
  }
  Result CommitPending() override {
    ++commits;
    return result;
  }
  int commits = 0;
  Result result;
};

TEST(RunScriptTest, HeldRegistryChangesAreCommittedHoweverTheScriptEnds) {
  CommitCounter registry;
  ScriptHarness done;
  done.services.registry = &registry;
  done.Run("[process]\necho,1,a\n");
  EXPECT_EQ(registry.commits, 1);

  ScriptHarness stopped;
  stopped.services.registry = &registry;
  stopped.view.stop_after = 1;
  stopped.Run("[process]\necho,1,a\necho,1,b\n");
  EXPECT_EQ(registry.commits, 2);

  ScriptHarness failed;
  failed.services.registry = &registry;
  EXPECT_THROW(failed.Run("[process]\necho,1,a\nwait,1\necho,1,b\n"), ScriptError);
  EXPECT_EQ(registry.commits, 3);

  registry.result = {platform::RegistryStatus::kValueRefused,
                     "hive file \"/t/SYSTEM\": cannot write: No space left on device"};
  ScriptHarness full;
  full.services.registry = &registry;
  full.Run("[process]\necho,1,a\n");
  ASSERT_EQ(full.view.lines.size(), 2u);
  EXPECT_EQ(full.view.lines[1].text,
            "Failed to save registry changes: hive file \"/t/SYSTEM\": cannot write: No space left "
            "on device");
  EXPECT_EQ(full.view.lines[1].kind, LogKind::kFailure);
  EXPECT_EQ(full.view.lines[1].reason,
            "hive file \"/t/SYSTEM\": cannot write: No space left on device");
}

}  // namespace
}  // namespace pelvar
