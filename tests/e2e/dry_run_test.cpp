// A dry run against a real run of the same script on the same tree: the
// log lines must agree, the changes a dry run predicts for each line must be
// the ones the real run then makes at that line, and a dry run must leave
// the tree, the registry store and the hive files exactly as they were.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "app/command_line_run.h"
#include "app/program_location.h"
#include "platform/hive_file.h"
#include "platform/registry_text.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::TempDir;

// Every entry below a folder: relative path -> "F" + bytes, or "D".
using Tree = std::map<std::string, std::string>;

void Walk(const std::string& root, const std::string& rel, Tree& out) {
  DIR* dir = ::opendir((root + rel).c_str());
  if (dir == nullptr) return;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = rel + "/" + name;
    struct stat st;
    if (::lstat((root + path).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      out[path] = "D";
      Walk(root, path, out);
    } else {
      out[path] = "F" + testing::ReadFileText(root + path);
    }
  }
  ::closedir(dir);
}

Tree Snapshot(const std::string& root) {
  Tree t;
  Walk(root, "", t);
  return t;
}

// The changes between two snapshots, in the dry run's words.
std::vector<std::string> Diff(const std::string& root, const Tree& a, const Tree& b) {
  std::vector<std::string> out;
  const auto bytes = [](const std::string& v) {
    const size_t n = v.size() - 1;
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
  };
  for (const auto& [path, v] : a) {
    const auto it = b.find(path);
    if (it != b.end() && it->second[0] == v[0]) {
      if (v[0] == 'F' && it->second != v) {
        out.push_back("~ replace " + root + path + " (" + std::to_string(v.size() - 1) + " -> " +
                      bytes(it->second) + ")");
      }
      continue;
    }
    out.push_back(v[0] == 'D' ? "- folder " + root + path
                              : "- delete " + root + path + " (" + bytes(v) + ")");
  }
  for (const auto& [path, v] : b) {
    const auto it = a.find(path);
    if (it != a.end() && it->second[0] == v[0]) continue;
    out.push_back(v[0] == 'D' ? "+ folder " + root + path
                              : "+ create " + root + path + " (" + bytes(v) + ")");
  }
  std::sort(out.begin(), out.end());
  return out;
}

// A real run's view: after each log line, what changed in the tree since.
class SnapshotView : public testing::RecordingView {
 public:
  explicit SnapshotView(std::string root) : root_(std::move(root)), last_(Snapshot(root_)) {}
  void AddLog(std::string_view text, LogKind kind, LogReveal reveal) override {
    RecordingView::AddLog(text, kind, reveal);
    Take();
  }
  void AddLogWithReason(std::string_view text, LogKind kind, LogReveal reveal,
                        const LogReason& reason) override {
    RecordingView::AddLogWithReason(text, kind, reveal, reason);
    Take();
  }
  std::vector<std::vector<std::string>> changes;

 private:
  void Take() {
    Tree now = Snapshot(root_);
    changes.push_back(Diff(root_, last_, now));
    last_ = std::move(now);
  }
  std::string root_;
  Tree last_;
};

struct DryRun {
  std::vector<std::string> log;                   // "kind|text"
  std::vector<std::vector<std::string>> changes;  // per log line, without the blanks
};

// Splits a dry run's recorded lines into log lines and the change lines
// that follow each.
DryRun Split(const testing::RecordingView& view) {
  DryRun out;
  for (const LogLine& line : view.lines) {
    if (line.kind == LogKind::kInfo && line.text.rfind("  ", 0) == 0) {
      out.changes.back().push_back(line.text.substr(2));
    } else {
      out.log.push_back(std::to_string(KindNumber(line.kind)) + "|" + line.text);
      out.changes.emplace_back();
    }
  }
  // Framed by the lines that say nothing is changed, which a real run has
  // not: they are checked and left out.
  if (out.log.size() >= 2 && out.log.front() == "8|Dry run: nothing will be changed" &&
      out.log.back() == "8|Dry run finished: nothing was changed") {
    out.log.erase(out.log.begin());
    out.changes.erase(out.changes.begin());
    out.log.pop_back();
    out.changes.pop_back();
  } else {
    ADD_FAILURE() << "a dry run's log without its first and last lines";
  }
  return out;
}

// The file changes of a dry run below `root`, as Diff words them.
std::vector<std::string> FileChanges(const std::vector<std::string>& lines,
                                     const std::string& root) {
  std::vector<std::string> out;
  for (std::string line : lines) {
    const size_t space = line.find(' ', 2);
    if (line.size() < 3 || line[1] != ' ' || space == std::string::npos) continue;
    if (line.compare(space + 1, root.size() + 1, root + "/") != 0) continue;
    if (const size_t copy = line.find(", copy of "); copy != std::string::npos) {
      line.erase(copy, line.size() - 1 - copy);
    }
    out.push_back(line);
  }
  std::sort(out.begin(), out.end());
  return out;
}

class DryRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("PELVAR_HOME", home.path().c_str(), 1);
    ::unsetenv("PELVAR_REGISTRY");
    location.folder = home.path();
    location.program_name = "pelvar";
    location.config_path = home.Path("pelvar.ini");
    location.executable_folder = PELVAR_PROGRAM_DIR;
    root = work.Path("tree");
    home.Write("pelvar.ini", "[main]\r\ntargetdir=" + root + "/target\r\nsourcedir=" + root +
                                 "/source\r\nisofile=" + root + "/image.iso\r\n");
    testing::WriteFileText(root + "/target/keep.txt", "kept\r\n");
  }
  void TearDown() override { ::unsetenv("PELVAR_HOME"); }

  app::RunArguments Args(const std::string& script, bool dry) {
    app::RunArguments args;
    args.script = script;
    args.has_script = true;
    args.silent = true;
    args.dry_run = dry;
    return args;
  }

  // Dry run, then a real run; both must log the same lines, and the dry
  // run's changes of each line must be those the real run made there.
  void CompareWithRealRun(const std::string& script, const std::vector<std::string>& skip = {}) {
    const Tree before = Snapshot(root);
    const std::string store_before = testing::ReadFileText(home.Path("registry.db"));
    testing::RecordingView dry_view;
    const app::CommandLineResult dry_result =
        app::RunCommandLine(Args(script, true), location, dry_view);
    dry = Split(dry_view);
    EXPECT_EQ(Snapshot(root), before) << "the dry run changed the tree";
    EXPECT_EQ(testing::ReadFileText(home.Path("registry.db")), store_before);

    SnapshotView real_view(root);
    const app::CommandLineResult real_result =
        app::RunCommandLine(Args(script, false), location, real_view);
    EXPECT_EQ(dry_result.outcome, real_result.outcome);
    EXPECT_EQ(dry_result.message, real_result.message);
    ASSERT_EQ(dry.log, real_view.Texts());
    for (size_t i = 0; i < dry.log.size(); ++i) {
      std::vector<std::string> real = real_view.changes[i];
      std::vector<std::string> predicted = FileChanges(dry.changes[i], root);
      for (const std::string& s : skip) {
        const auto has = [&](const std::string& l) { return l.find(s) != std::string::npos; };
        real.erase(std::remove_if(real.begin(), real.end(), has), real.end());
        predicted.erase(std::remove_if(predicted.begin(), predicted.end(), has), predicted.end());
      }
      EXPECT_EQ(predicted, real) << "at log line " << i << ": " << dry.log[i];
    }
  }

  TempDir home;
  TempDir work;
  std::string root;
  app::ProgramLocation location;
  DryRun dry;
};

TEST_F(DryRunTest, ExampleScriptsPredictWhatTheRunDoes) {
  const std::string program = PELVAR_PROGRAM_DIR;
  ASSERT_EQ(std::system(("cp -r '" + program + "/example-source' '" + root + "/source'").c_str()),
            0);
  for (const char* name : {"example", "text-and-ini", "variables", "scratch-files"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(std::system(("rm -rf '" + root + "/target' && mkdir '" + root + "/target'").c_str()),
              0);
    CompareWithRealRun(program + "/Scripts/" + name + ".script");
  }
}

TEST_F(DryRunTest, LinesBuildOnEarlierLines) {
  testing::WriteFileText(root + "/source/app/Setup.ini", "[Main]\r\nMode=old\r\n");
  testing::WriteFileText(root + "/source/app/notes.txt", "one\r\n");
  testing::WriteFileText(root + "/source/caf\xc3\xa9.txt", "b\r\n");
  const std::string script =
      work.Write("b.script",
                 "[process]\r\n"
                 "dirmake,1,\"%targetdir%\\New Folder\"\r\n"
                 "filecopy,1,%sourcedir%\\app\\notes.txt,\"%targetdir%\\new folder\\notes.txt\"\r\n"
                 "txtaddline,1,\"%targetdir%\\NEW FOLDER\\notes.txt\",two,append\r\n"
                 "filecopy,1,%sourcedir%\\app\\setup.ini,\"%targetdir%\\New Folder\\setup.ini\"\r\n"
                 "iniwritekey,1,\"%targetdir%\\New Folder\\setup.ini\",Main,Mode,new\r\n"
                 "dircopy,1,%sourcedir%\\app,%targetdir%\\copy\r\n"
                 "filecopy,1,%sourcedir%\\caf\xc3\xa9.txt,%targetdir%\\copy\r\n"
                 "dirdelete,1,%targetdir%\\copy\r\n"
                 "filedelete,1,%targetdir%\\keep.txt\r\n"
                 "filecopy,1,%targetdir%\\keep.txt,%targetdir%\\gone.txt\r\n");
  CompareWithRealRun(script);
  EXPECT_EQ(dry.changes[1], std::vector<std::string>({"+ create " + root +
                                                      "/target/New Folder/notes.txt (5 bytes, "
                                                      "copy of " +
                                                      root + "/source/app/notes.txt)"}));
  EXPECT_EQ(dry.changes[2],
            std::vector<std::string>(
                {"~ replace " + root + "/target/New Folder/notes.txt (5 -> 10 bytes)"}));
  EXPECT_EQ(dry.changes[4],
            std::vector<std::string>(
                {"~ replace " + root + "/target/New Folder/setup.ini (18 -> 18 bytes)",
                 "ini " + root + "/target/New Folder/setup.ini [Main] Mode: old -> new"}));
}

TEST_F(DryRunTest, HiveWritesAreReadBackAndTheHiveStaysUnchanged) {
  const std::string original = testing::ReadFixture("hives/minimal.hiv");
  testing::WriteFileText(root + "/source/system.hiv", original);
  const std::string script = work.Write(
      "h.script",
      "[process]\r\n"
      "filecopy,1,%sourcedir%\\system.hiv,%targetdir%\\system\r\n"
      "reghiveload,1,DRY_SYSTEM,%targetdir%\\system\r\n"
      "regwritestring,1,HKEY_LOCAL_MACHINE,DRY_SYSTEM\\Setup,CmdLine,\"setup.exe\"\r\n"
      "regwritestring,1,HKEY_LOCAL_MACHINE,DRY_SYSTEM\\Setup,CmdLine,\"setup.exe -new\"\r\n"
      "regwritedword,1,HKEY_LOCAL_MACHINE,NoSuchHive\\Setup,Count,1\r\n"
      "reghiveunload,1,DRY_SYSTEM\r\n"
      "reghiveunload,1,DRY_SYSTEM\r\n");
  // The hive's bytes change when the real run unloads it: compare values.
  CompareWithRealRun(script, {"/target/system "});
  const std::string key = "HKEY_LOCAL_MACHINE\\DRY_SYSTEM";
  EXPECT_EQ(dry.changes[1],
            std::vector<std::string>({"reg mount " + key + " from " + root + "/target/system"}));
  EXPECT_EQ(dry.changes[2], std::vector<std::string>(
                                {"reg + key " + key + "\\Setup", "reg " + key +
                                                                     "\\Setup\\CmdLine: (none) -> "
                                                                     "\"setup.exe\""}));
  EXPECT_EQ(dry.changes[3], std::vector<std::string>({"reg " + key +
                                                      "\\Setup\\CmdLine: \"setup.exe\" -> "
                                                      "\"setup.exe -new\""}));
  EXPECT_EQ(dry.changes[5],
            std::vector<std::string>({"reg unmount " + key + " (its changes are written into " +
                                      root + "/target/system)"}));
  // What the real run wrote is what the dry run said.
  std::unique_ptr<platform::HiveFile> hive;
  ASSERT_TRUE(platform::HiveFile::Open(root + "/target/system", false, hive).ok());
  platform::HiveFile::Node node = 0;
  ASSERT_TRUE(hive->FindKey({"Setup"}, platform::KeyOpen::kExisting, node).ok());
  platform::RegistryValue value;
  ASSERT_TRUE(hive->GetValue(node, "CmdLine", value).ok());
  EXPECT_EQ(value.data, platform::RegistryStringBytes("setup.exe -new"));
  EXPECT_EQ(testing::ReadFileText(root + "/source/system.hiv"), original);
}

TEST_F(DryRunTest, ProgramsAndDownloadsAreOnlyNamed) {
  const std::string script =
      work.Write("p.script",
                 "[process]\r\n"
                 "shellexecute,1,open,touch,%targetdir%\\made-by-touch\r\n"
                 "webget,1,http://127.0.0.1:9/file.zip,%targetdir%\\file.zip\r\n");
  testing::RecordingView view;
  const Tree before = Snapshot(root);
  app::RunCommandLine(Args(script, true), location, view);
  EXPECT_EQ(Snapshot(root), before);
  const DryRun run = Split(view);
  ASSERT_EQ(run.changes.size(), 2u);
  EXPECT_EQ(run.changes[0], std::vector<std::string>({"! would start \"touch\" " + root +
                                                      "/target\\made-by-touch and wait for it"}));
  EXPECT_EQ(run.changes[1], std::vector<std::string>({"! would download "
                                                      "http://127.0.0.1:9/file.zip to " +
                                                      root + "/target/file.zip"}));
}

// The headless form: log lines, then the changes indented.
TEST_F(DryRunTest, HeadlessOutput) {
  const std::string script = work.Write("c.script",
                                        "[process]\r\n"
                                        "dirmake,1,%targetdir%\\sub\r\n"
                                        "filecreateblank,1,%targetdir%\\sub\\a.txt\r\n");
  const std::string cmd = "'" PELVAR_PROGRAM_DIR "/pelvar' --dry-run '" + script + "' 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  std::string out;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  EXPECT_EQ(WEXITSTATUS(::pclose(p)), 0);
  const std::string t = root + "/target";
  EXPECT_EQ(out, "8\tDry run: nothing will be changed\n1\tSucessfully created directory: \"" + t +
                     "\\sub\"\n  + folder " + t + "/sub\n1\tSuccessfully created a new file:\"" +
                     t + "\\sub\\a.txt\"\n" + "  + create " + t +
                     "/sub/a.txt (0 bytes)\n8\tDry run finished: nothing was changed\n");
  EXPECT_FALSE(work.Exists("tree/target/sub"));
}

}  // namespace
}  // namespace pelvar
