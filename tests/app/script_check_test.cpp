#include "app/script_check.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/headless_check.h"
#include "engine/script_error.h"
#include "platform/host_registry.h"
#include "platform/posix_file_system.h"
#include "support/test_support.h"

namespace pelvar::app {
namespace {

using testing::ScriptHarness;
using testing::TempDir;

const RunPaths kPaths{"/build/target", "/build/source", "/build/image.iso"};

struct Checked {
  platform::FixedSystemFolders folders{"/win", "/win/system32", "/opt/programs"};
  platform::Services services;
  Checked() { services.folders = &folders; }

  // The findings as the command line prints them, with the file name only.
  std::string Text(const std::string& path) {
    std::string out;
    const std::string name = std::filesystem::path(path).filename().string();
    for (const Finding& f : CheckScriptFile(path, kPaths, services)) {
      out += FormatFinding(name, f) + "\n";
    }
    return out;
  }
};

// One faulty script per kind of finding, each with the findings expected of
// it, compared exactly.
TEST(ScriptCheckTest, Corpus) {
  Checked check;
  const std::filesystem::path corpus =
      std::filesystem::path(PELVAR_SOURCE_DIR) / "tests" / "check_corpus";
  size_t scripts = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.path().extension() != ".script") continue;
    ++scripts;
    std::filesystem::path expected = entry.path();
    expected.replace_extension(".expected");
    EXPECT_EQ(check.Text(entry.path().string()), testing::ReadFileText(expected.string()))
        << entry.path();
  }
  EXPECT_GE(scripts, 12u);
}

TEST(ScriptCheckTest, ShippedScriptsAndEmbeddedTestDataAreClean) {
  Checked check;
  for (const char* folder : {PELVAR_SOURCE_DIR "/example/Scripts", PELVAR_TEST_DATA "/embedded"}) {
    const std::vector<std::string> scripts = ScriptsToCheck(platform::ThreadFileSystem(), folder);
    EXPECT_FALSE(scripts.empty()) << folder;
    for (const std::string& script : scripts) EXPECT_EQ(check.Text(script), "") << script;
  }
}

// The check names the index error a run raises, for every command and every
// line that stops short of its last argument.
TEST(ScriptCheckTest, MissingFieldsNameTheRunsIndexError) {
  Checked check;
  TempDir dir;
  // The lines run for real: what they make with relative names ("x0") goes
  // into the temporary folder, not wherever the test was started.
  const std::filesystem::path started = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  struct Back {
    std::filesystem::path to;
    ~Back() { std::filesystem::current_path(to); }
  } back{started};
  for (const char* name : kCommandNames) {
    std::string line = std::string(name) + ",1";
    for (int given = 0; given < 5; ++given) {
      const std::string script = dir.Write("a.script", "[process]\r\n" + line + "\r\n");
      const std::vector<Finding> found = CheckScriptFile(script, kPaths, check.services);
      std::string raised;
      ScriptHarness h;
      try {
        h.RunLine(line);
      } catch (const ScriptError& e) {
        raised = e.what();
      }
      if (raised.starts_with("List index out of bounds")) {
        ASSERT_EQ(found.size(), 1u) << line;
        EXPECT_EQ(found[0].severity, Severity::kError);
        EXPECT_TRUE(found[0].message.starts_with(raised + ": ")) << line << " / " << raised;
      } else {
        for (const Finding& f : found) {
          EXPECT_FALSE(f.message.starts_with("List index")) << line << ": " << f.message;
        }
      }
      line += ",x" + std::to_string(given);
    }
  }
}

// A value the registry refuses whatever it holds ends the run; the check
// says so exactly for those lines, and for no other.
TEST(ScriptCheckTest, ValueWritesTheRegistryAlwaysRefusesAreErrorsAsTheRunRaisesThem) {
  Checked check;
  TempDir dir;
  const std::string long_name(16384, 'n');
  for (const std::string& line : std::vector<std::string>{
           "regwritestring,1,HKEY_LOCAL_MACHINE,,Owner,Admin",
           "regwriteexpandstring,1,HKEY_USERS,,Path,%windir%",
           "regwritebool,1,HKEY_USERS,\\,Flag,true",
           "regwriteinteger,1,HKEY_LOCAL_MACHINE,,Count,7",
           "regwriteinteger,1,HKEY_LOCAL_MACHINE,,Count,seven",
           "regwritebinary,1,HKEY_LOCAL_MACHINE,,Data,\"01,02\"",
           "regwritebinary,1,HKEY_LOCAL_MACHINE,,Data,\"01,0G\"",
           "regwritedword,1,HKEY_LOCAL_MACHINE,,Count,1",
           "regwritestring,1,HKEY_CURRENT_USER,,Owner,Admin",
           "regwritestring,1,HKEY_LOCAL_MACHINE,SOFTWARE\\Vendor,Owner,Admin",
           "regwritestring,1,HKEY_CURRENT_USER,SOFTWARE\\Vendor," + long_name + ",x",
       }) {
    const std::string script = dir.Write("a.script", "[process]\r\n" + line + "\r\n");
    const std::vector<Finding> found = CheckScriptFile(script, kPaths, check.services);
    ScriptHarness h;
    platform::HostRegistry registry(h.dir.Path("registry.db"), "/opt");
    h.services.registry = &registry;
    std::string raised;
    try {
      h.RunLine(line);
    } catch (const ScriptError& e) {
      raised = e.what();
    }
    const std::string shown = line.substr(0, 80);
    const bool error = !found.empty() && found[0].severity == Severity::kError;
    EXPECT_EQ(error, !raised.empty()) << shown << ": " << raised;
    if (error) {
      EXPECT_TRUE(found[0].message.starts_with(raised + ": ")) << found[0].message;
    }
  }
}

TEST(ScriptCheckTest, SummaryAndForm) {
  EXPECT_EQ(CheckSummary(3, {}), "checked 3 scripts: no findings");
  EXPECT_EQ(CheckSummary(1, {{2, Severity::kError, "x"}}), "checked 1 script: 1 error, 0 warnings");
  EXPECT_EQ(FormatFinding("/a b/c.script", {7, Severity::kWarning, "m"}),
            "/a b/c.script:7: warning: m");
  EXPECT_EQ(FormatFinding("c.script", {0, Severity::kError, "file was not found"}),
            "c.script: error: file was not found");
}

// A check reads the script as a run would and changes nothing, not even a
// script whose lines would rewrite it.
TEST(ScriptCheckTest, ChangesNothing) {
  Checked check;
  TempDir dir;
  const std::string text =
      "; comment\n[process]\niniwritekey,1,%scriptfile%,main,k,v\nfiledelete,1,%scriptfile%\n";
  const std::string script = dir.Write("self.script", text);
  EXPECT_EQ(check.Text(script), "");
  EXPECT_EQ(testing::ReadFileText(script), text);
  EXPECT_EQ(check.Text(dir.Path("none.script")), "none.script: error: file was not found\n");
}

// The editor checks one line as it is typed, against the script's variables.
TEST(ScriptCheckTest, SingleLinesForTheEditor) {
  TempDir dir;
  const std::string script =
      dir.Write("a.script", "[variables]\n%tools%=%targetdir%\\tools\n[process]\necho,1,x\n");
  platform::FixedSystemFolders folders;
  platform::Services services;
  services.folders = &folders;
  testing::RecordingView view;
  CommandSet none;
  ScriptContext context = CreateScriptContext(kPaths, view, none, services);
  const ScriptChecker checker(script, context);
  EXPECT_EQ(checker.CheckLine("dirmake,1,%tools%", 4), std::vector<Finding>{});
  EXPECT_EQ(
      checker.CheckLine("  ; dirmake,1,%tools%", 4),
      (std::vector<Finding>{
          {4, Severity::kWarning, "a line that begins with \";\" is a comment: it is never run"}}));
  EXPECT_EQ(checker.CheckLine("echo,1,[done]", 9).at(0).message,
            "a line that ends with \"]\" ends the [process] section: it and the lines after it "
            "are never run");
  EXPECT_EQ(checker.CheckLine("dirmak,1,%tool%", 2),
            (std::vector<Finding>{
                {2, Severity::kWarning, "%tool% is defined nowhere: it stays as written"},
                {2, Severity::kWarning,
                 "unknown command \"dirmak\": the line does nothing; did you mean \"dirmake\"?"}}));
  EXPECT_EQ(checker.CheckLine("wait,1,$A", 2), std::vector<Finding>{});
  EXPECT_TRUE(view.lines.empty());
}

}  // namespace
}  // namespace pelvar::app
