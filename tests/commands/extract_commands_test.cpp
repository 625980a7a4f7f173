// The four extract commands, run from script lines.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "archive/embedded_files.h"
#include "engine/script_error.h"
#include "platform/process_launcher.h"
#include "support/archive_result.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::Ok;
using testing::ScriptHarness;
using testing::TempDir;
using Texts = std::vector<std::string>;
namespace fs = std::filesystem;

// Script text that carries a.txt ("alpha") and b.txt ("beta") in folder F.
std::string EmbeddedText(const TempDir& dir) {
  const std::string script = dir.Write("carrier.script", "");
  Ok(archive::EmbedFile(dir.Write("src/a.txt", "alpha"), script, "F"));
  Ok(archive::EmbedFile(dir.Write("src/b.txt", "beta"), script, "F"));
  return dir.Read("carrier.script");
}

class FakeLauncher : public platform::ProcessLauncher {
 public:
  platform::ProcessOutcome Run(const platform::ProcessRequest& request, bool wait) override {
    files.push_back(request.file);
    contents.push_back(testing::ReadFileText(request.file));
    waited = wait;
    platform::ProcessOutcome o;
    o.started = start;
    return o;
  }
  std::vector<std::string> files;
  std::vector<std::string> contents;
  bool waited = false;
  bool start = true;
};

TEST(ExtractCommandsTest, ExtractFile) {
  TempDir dir;
  ScriptHarness h;
  const std::string out = dir.Path("new/folder");
  h.Run(EmbeddedText(dir) + "[process]\r\n" + "extractfile,1,F,a.txt," + out + "\r\n" +
        "extractfile,1,F,c.txt," + dir.Path("other") + "\r\n" + "extractfile,0,F,b.txt," + out +
        "\r\n" + "encodefile,1,F,b.txt," + out + "\r\n");
  EXPECT_EQ(h.view.Texts(),
            (Texts{"1|Sucessfully extracted file: \"a.txt\" to path: \"" + out + "\"",
                   "0|Failed to extract file: \"c.txt\" to path: \"" + dir.Path("other") + "\""}));
  EXPECT_EQ(dir.Read("new/folder/a.txt"), "alpha");
  EXPECT_FALSE(dir.Exists("new/folder/b.txt"));
  EXPECT_FALSE(dir.Exists("other"));
}

// Extraction puts the file in the place of a link of its name, as archive
// tools do, leaving what the link names alone; a read-only file it never
// replaces.
TEST(ExtractCommandsTest, ExtractFileReplacesLinksAndKeepsReadOnlyFiles) {
  TempDir dir;
  ScriptHarness h;
  const std::string out = dir.Path("out");
  dir.Write("out/real.txt", "old");
  fs::create_symlink("real.txt", out + "/a.txt");
  dir.Write("out/b.txt", "keep");
  fs::permissions(out + "/b.txt", fs::perms::owner_read);
  const std::string text = EmbeddedText(dir);
  h.Run(text + "[process]\r\nextractfile,1,F,a.txt," + out + "\r\n");
  EXPECT_FALSE(fs::is_symlink(out + "/a.txt"));
  EXPECT_EQ(dir.Read("out/a.txt"), "alpha");
  EXPECT_EQ(dir.Read("out/real.txt"), "old");
  try {
    h.Run(text + "[process]\r\nextractfile,1,F,b.txt," + out + "\r\n");
    ADD_FAILURE() << "no error";
  } catch (const ScriptError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot create file \"" + out + "\\b.txt\". Permission denied");
  }
  EXPECT_EQ(dir.Read("out/b.txt"), "keep");
}

TEST(ExtractCommandsTest, ExtractAllFiles) {
  TempDir dir;
  const std::string script = dir.Write("carrier.script", EmbeddedText(dir));
  fs::create_directory(dir.Path("out"));
  dir.Write("out/a.txt", "old");
  ScriptHarness h2;
  h2.RunLine("extractallfiles,1," + script + ",F," + dir.Path("out"));
  EXPECT_EQ(h2.view.Texts(),
            (Texts{"1|Sucessfully extracted all internal files from file: \"" + script +
                   "\" Section:\"F\" Path to extract: \"" + dir.Path("out") + "\""}));
  EXPECT_EQ(dir.Read("out/a.txt"), "alpha");
  EXPECT_EQ(dir.Read("out/b.txt"), "beta");
  // The files and the archives' bytes read were shown as they went.
  uint64_t files = 0;
  uint64_t bytes = 0;
  for (const auto& op : h2.view.operations) {
    files = std::max(files, op.files);
    bytes = std::max(bytes, op.bytes);
  }
  EXPECT_EQ(files, 2u);
  EXPECT_GT(bytes, 0u);

  ScriptHarness h3;
  h3.RunLine("extractallfiles,1," + script + ",F," + dir.Path("missing"));
  EXPECT_EQ(h3.view.Texts(),
            (Texts{"0|Failed to extract internal files from file: \"" + script +
                   "\" Section:\"F\" Path to extract: \"" + dir.Path("missing") + "\""}));
  EXPECT_FALSE(dir.Exists("missing"));
}

// A damaged second file of three ends the run with the archive's text; a
// Stop after the first is a failure. Either way the first file stays and
// nothing of the others is left.
TEST(ExtractCommandsTest, ExtractAllFilesEndsAtADamagedFileOrAStop) {
  TempDir dir;
  std::string big;
  for (int i = 0; big.size() < (3u << 20); ++i) big += "line " + std::to_string(i * 7919) + "\n";
  const std::string carrier = dir.Write("carrier.script", "");
  ASSERT_EQ(Ok(archive::EmbedFiles({dir.Write("src/a.txt", "alpha"), dir.Write("src/b.log", big),
                                    dir.Write("src/c.txt", "gamma")},
                                   carrier, "F", false)),
            std::vector<bool>(3, true));
  std::string damaged = dir.Read("carrier.script");
  const size_t from = damaged.find("[EncodedFile-F-b.log]");
  const size_t at = (from + damaged.find("\r\n[", from)) / 2;
  damaged[at] = damaged[at] == 'A' ? 'B' : 'A';
  const std::string script = dir.Write("damaged.script", damaged);
  const auto names = [&dir](const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir.Path(folder))) {
      found.push_back(e.path().filename());
    }
    return found;
  };
  fs::create_directory(dir.Path("out"));
  ScriptHarness h;
  try {
    h.RunLine("extractallfiles,1," + script + ",F," + dir.Path("out"));
    ADD_FAILURE() << "no error";
  } catch (const ScriptError& e) {
    EXPECT_STREQ(e.what(), "The archive appears to be corrupted");
  }
  EXPECT_TRUE(h.view.lines.empty());
  EXPECT_EQ(names("out"), Texts{"a.txt"});

  fs::create_directory(dir.Path("stopped"));
  ScriptHarness h2;
  h2.view.stop_after_files = 1;
  h2.RunLine("extractallfilesifnotexist,1," + carrier + ",F," + dir.Path("stopped"));
  EXPECT_EQ(h2.view.Texts(),
            (Texts{"0|Failed to extract internal files from file: \"" + carrier +
                   "\" Section:\"F\" Path to extract: \"" + dir.Path("stopped") + "\""}));
  EXPECT_EQ(h2.view.lines[0].reason, "the run was stopped");
  EXPECT_EQ(names("stopped"), Texts{"a.txt"});
}

// A FIFO named as the carrier script is refused at once instead of waiting
// for a writer that never comes.
TEST(ExtractCommandsTest, AFifoIsNoCarrierScript) {
  TempDir dir;
  const std::string fifo = dir.Path("pipe.script");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  fs::create_directory(dir.Path("out"));
  ScriptHarness h;
  std::string error;
  try {
    h.RunLine("extractallfiles,1," + fifo + ",F," + dir.Path("out"));
  } catch (const ScriptError& e) {
    error = e.what();
  }
  EXPECT_EQ(error, "Cannot open file \"" + fifo + "\". Not a regular file");
  EXPECT_TRUE(fs::is_empty(dir.Path("out")));
}

TEST(ExtractCommandsTest, ExtractAllFilesIfNotExist) {
  TempDir dir;
  const std::string script = dir.Write("carrier.script", EmbeddedText(dir));
  fs::create_directory(dir.Path("out"));
  dir.Write("out/a.txt", "kept");
  ScriptHarness h;
  h.Run("[process]\r\nextractallfilesifnotexist,1," + script + ",F," + dir.Path("out") + "\r\n" +
        "extractallfilesifnotexist,1," + script + ",G," + dir.Path("out") + "\r\n");
  EXPECT_EQ(h.view.Texts(),
            (Texts{"1|Sucessfully extracted all internal files from file: \"" + script +
                       "\" Section:\"F\" Path to extract: \"" + dir.Path("out") + "\"",
                   "3|Skipped extracting internal files from file: \"" + script +
                       "\" Section:\"G\" Path to extract: \"" + dir.Path("out") + "\""}));
  EXPECT_EQ(dir.Read("out/a.txt"), "kept");
  EXPECT_EQ(dir.Read("out/b.txt"), "beta");
}

TEST(ExtractCommandsTest, ExtractAndRun) {
  TempDir dir;
  FakeLauncher launcher;
  ScriptHarness h;
  h.services.processes = &launcher;
  h.Run(EmbeddedText(dir) +
        "[process]\r\nextractandrun,1,F,b.txt\r\nextractandrun,1,F,none.txt\r\n");
  EXPECT_EQ(h.view.Texts(),
            (Texts{"1|Sucessfully executed: \"F b.txt",
                   "0|Failed to extract: \"F\" please check if sintax is correct"}));
  ASSERT_EQ(launcher.files.size(), 1u);
  EXPECT_EQ(launcher.contents[0], "beta");
  EXPECT_TRUE(launcher.waited);
  EXPECT_FALSE(fs::exists(launcher.files[0]));

  launcher.start = false;
  ScriptHarness h2;
  h2.services.processes = &launcher;
  h2.Run(EmbeddedText(dir) + "[process]\r\nextractandrun,1,F,a.txt\r\n");
  EXPECT_EQ(h2.view.Texts(), (Texts{"0|Failed to execute: \"F a.txt"}));
  EXPECT_FALSE(fs::exists(launcher.files[1]));
}

TEST(ExtractCommandsTest, ErrorsEndTheRun) {
  TempDir dir;
  ScriptHarness h;
  try {
    h.RunLine("extractfile,1,F,a.txt");
    ADD_FAILURE() << "no error";
  } catch (const ScriptError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (4)");
  }
  ScriptHarness h2;
  try {
    h2.Run("[EncodedFile-F-a.txt]\r\n0=QUJDREVGR0g\r\n[process]\r\nextractfile,1,F,a.txt," +
           dir.Path("out") + "\r\n");
    ADD_FAILURE() << "no error";
  } catch (const ScriptError& e) {
    EXPECT_STREQ(e.what(), "The archive appears to be corrupted");
  }
  EXPECT_TRUE(h.view.lines.empty());
  EXPECT_TRUE(h2.view.lines.empty());
}

// A Stop while a file is extracted ends the extraction at once and leaves
// neither the file nor a temporary nor the folder it would have made.
TEST(ExtractCommandsTest, AStopLeavesNoPartOfTheFile) {
  TempDir dir;
  std::string big;
  for (int i = 0; big.size() < (3u << 20); ++i) big += "line " + std::to_string(i * 7919) + "\n";
  const std::string script = dir.Write("carrier.script", "");
  ASSERT_TRUE(Ok(archive::EmbedFile(dir.Write("src/big.txt", big), script, "F")));
  const std::string text = dir.Read("carrier.script");
  const std::string out = dir.Path("out/new");
  ScriptHarness h;
  h.view.stop_after = 1;
  h.Run(text + "[process]\r\nextractfile,1,F,big.txt," + out + "\r\n");
  EXPECT_EQ(h.view.Texts(),
            (Texts{"0|Failed to extract file: \"big.txt\" to path: \"" + out + "\""}));
  EXPECT_FALSE(dir.Exists("out"));
  // Unstopped, the same line writes the file.
  ScriptHarness h2;
  h2.Run(text + "[process]\r\nextractfile,1,F,big.txt," + out + "\r\n");
  EXPECT_TRUE(dir.Read("out/new/big.txt") == big);
  // Its bytes were shown as they went, and the display ended.
  const auto& ops = h2.view.operations;
  ASSERT_GE(ops.size(), 3u);
  EXPECT_EQ(ops.front().name, "Extracting");
  EXPECT_GT(ops[ops.size() - 2].bytes, 0u);
  EXPECT_TRUE(ops.back().finished);
  EXPECT_EQ(fs::directory_iterator(out)->path().filename(), "big.txt");
}

}  // namespace
}  // namespace pelvar
