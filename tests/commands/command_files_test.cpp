// Commands on the in-memory file system: writers under injected faults keep
// the old content and leave no temporary file; the real file system's
// listings make wildcard copies read the target folder once.
#include <gtest/gtest.h>

#include "commands/builtin_commands.h"
#include "engine/script_context.h"
#include "engine/script_error.h"
#include "platform/memory_file_system.h"
#include "platform/posix_file_system.h"
#include "support/test_support.h"

namespace pelvar::commands {
namespace {

using Lines = std::vector<std::string>;

class CommandFilesTest : public ::testing::Test {
 protected:
  Lines Run(const std::string& line) {
    view_.lines.clear();
    services_.folders = &folders_;
    if (services_.files == nullptr) services_.files = &files_;
    ScriptContext context = CreateScriptContext({}, view_, BuiltinCommands(), services_);
    DispatchLine(context, line);
    return view_.Texts();
  }
  std::string Error(const std::string& line) {
    try {
      Run(line);
    } catch (const ScriptError& e) {
      return e.what();
    }
    return "no error";
  }

  platform::MemoryFileSystem files_;
  pelvar::testing::RecordingView view_;
  platform::FixedSystemFolders folders_{"/win", "/win/system32", "/opt/programs"};
  platform::Services services_;
};

TEST_F(CommandFilesTest, WritersUnderFaultsKeepTheOldFile) {
  const std::string old = "[s]\r\nk=v\r\n a b \r\n\r\n[t]\r\nz=1\r\n";
  const Lines lines = {
      "txtreplace,1,\\d\\f.txt,a,b",     "txtaddline,1,\\d\\f.txt,new,prepend",
      "txtdelemptylines,1,\\d\\f.txt",   "txtdelline,1,\\d\\f.txt,k",
      "txtdelspaces,1,\\d\\f.txt",       "iniwritekey,1,\\d\\f.txt,s,k,w",
      "inideletekey,1,\\d\\f.txt,s,k",   "iniwritetextline,1,\\d\\f.txt,s,x",
      "inideletesection,1,\\d\\f.txt,s", "iniaddsection,1,\\d\\f.txt,u",
  };
  const std::pair<int, std::string> faults[] = {{ENOSPC, "No space left on device"},
                                                {EIO, "Input/output error"}};
  for (const auto& [fault, message] : faults) {
    for (const std::string& line : lines) {
      files_.AddFile("/d/f.txt", old);
      files_.faults = {};
      if (fault == ENOSPC) files_.faults.space = 3;
      if (fault == EIO) files_.faults.commit_error = EIO;
      EXPECT_EQ(Error(line), "Cannot create file \"\\d\\f.txt\". " + message) << line;
      EXPECT_EQ(files_.Content("/d/f.txt"), old) << line;
      EXPECT_EQ(files_.Names("/d"), Lines{"f.txt"}) << line;
    }
  }
}

TEST_F(CommandFilesTest, ReadOnlyFilesAreNeverReplaced) {
  files_.AddFile("/d/ro.txt", "keep", /*read_only=*/true);
  files_.AddFile("/s/RO.txt", "new");
  EXPECT_EQ(Error("txtaddline,1,\\d\\ro.txt,x,append"),
            "Cannot create file \"\\d\\ro.txt\". Permission denied");
  EXPECT_EQ(Run("filecopy,1,\\s\\*.txt,\\d"),
            Lines{"0|Failed to copy \"\\s\\RO.txt\" to: \"\\d\\RO.txt\""});
  EXPECT_EQ(files_.Content("/d/ro.txt"), "keep");
}

TEST_F(CommandFilesTest, WildcardCopyIntoAVanishingFolderFails) {
  files_.AddFile("/src/a.txt", "a");
  files_.AddFolder("/dst");
  files_.faults.vanish = "/dst";
  EXPECT_EQ(Run("filecopy,1,\\src\\*.txt,\\dst"),
            Lines{"0|Failed to copy \"\\src\\a.txt\" to: \"\\dst\\a.txt\""});
  // Copies are made durable once, when the command ends.
  files_.faults = {};
  files_.AddFolder("/dst");
  files_.AddFile("/src/b.txt", "b");
  Run("filecopy,1,\\src\\*.txt,\\DST");
  EXPECT_EQ(files_.Names("/dst"), (Lines{"a.txt", "b.txt"}));
  EXPECT_EQ(files_.bulk_syncs, 1);
}

TEST_F(CommandFilesTest, WildcardCopyReadsTheTargetFolderOnce) {
  pelvar::testing::TempDir dir;
  for (int i = 0; i < 200; ++i) dir.Write("src/f" + std::to_string(i) + ".txt", "x");
  for (int i = 0; i < 300; ++i) dir.Write("dst/old" + std::to_string(i), "");
  platform::PosixFileSystem real;
  services_.files = &real;
  const Lines log = Run("filecopy,1," + dir.path() + "\\src\\*.txt," + dir.path() + "\\DST");
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0][0], '1');
  EXPECT_EQ(dir.Read("dst/f199.txt"), "x");
  // The folders of the path, each read once however many files were copied.
  EXPECT_LE(real.folder_reads(), 3u);
}

// A copy the disk could not keep is no success: a failed flush at the end
// of the command turns the success line into the failure line, with the
// reason; lines that already told a failure keep their own reason.
TEST_F(CommandFilesTest, AFailedFlushIsAFailure) {
  files_.AddFile("/src/a.txt", "a");
  files_.AddFile("/src/b.txt", "b");
  files_.AddFile("/tree/x/y.txt", "y");
  files_.AddFolder("/dst");
  files_.faults.flush_error = EIO;
  const std::string reason =
      "what was written could not be flushed to the disk: "
      "Input/output error";
  EXPECT_EQ(Run("filecopy,1,\\src\\a.txt,\\one.txt"),
            Lines{"0|Failed to copy file: \"\\src\\a.txt\" to: \"\\one.txt\""});
  EXPECT_EQ(view_.lines[0].reason, reason);
  EXPECT_EQ(Run("filecopy,1,\\src\\*.txt,\\dst"),
            Lines{"0|Failed to copy \"\\src\\b.txt\" to: \"\\dst\\b.txt\""});
  EXPECT_EQ(view_.lines[0].reason, reason);
  EXPECT_EQ(Run("dircopy,1,\\tree,\\copy")[0][0], '0');
  EXPECT_EQ(view_.lines[0].reason, reason);
  // Nothing written, nothing to flush.
  EXPECT_EQ(Run("filecopy,1,\\src\\none.txt,\\two.txt")[0][0], '4');
  EXPECT_EQ(Run("dirmake,1,\\made"), Lines{"1|Sucessfully created directory: \"\\made\""});
  files_.faults.flush_error = 0;
  EXPECT_EQ(Run("filecopy,1,\\src\\a.txt,\\three.txt")[0][0], '1');
}

TEST_F(CommandFilesTest, DirCopyMergesIntoNamesOfAnyCase) {
  files_.AddFile("/dst/src/SUB/FILE.TXT", "old");
  files_.AddFile("/src/Sub/file.txt", "new");
  EXPECT_EQ(Run("dircopy,1,\\src,\\dst")[0][0], '1');
  EXPECT_EQ(files_.Names("/dst/src"), Lines{"SUB"});
  EXPECT_EQ(files_.Content("/dst/src/SUB/FILE.TXT"), "new");
}

}  // namespace
}  // namespace pelvar::commands
