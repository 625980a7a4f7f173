// The real file system service on real folders: letter case, the durable
// replacement and its policy, leftovers, two writers at once.
#include "platform/posix_file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file_primitives.h"
#include "platform/temp_names.h"
#include "support/test_support.h"

namespace pelvar::platform {
namespace {

using pelvar::testing::TempDir;

std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<DirectoryEntry> entries;
  EXPECT_FALSE(ListHostDirectory(folder, entries));
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  return names;
}

mode_t ModeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The pid of a process that has ended.
pid_t GonePid() {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(0);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return pid;
}

TEST(PosixFileSystemTest, NewNamesInOneFolderReadItOncePerCommand) {
  TempDir dir;
  for (int i = 0; i < 300; ++i) dir.Write("Big/f" + std::to_string(i), "");
  PosixFileSystem files;
  files.BeginCommand();
  for (int i = 0; i < 100; ++i) {
    ASSERT_FALSE(files.WriteAll(dir.path() + "\\BIG\\New" + std::to_string(i) + ".txt", "x",
                                Durability::kBulk));
  }
  // Written names are matched ignoring case from the remembered listing.
  EXPECT_EQ(files.Resolve(dir.path() + "\\big\\NEW7.TXT"), dir.path() + "/Big/New7.txt");
  EXPECT_FALSE(files.Copy(dir.path() + "/Big/f1", dir.path() + "/BIG/F1.copy", false));
  EXPECT_EQ(files.Resolve(dir.path() + "\\big\\f1.COPY"), dir.path() + "/Big/F1.copy");
  EXPECT_FALSE(files.Move(dir.path() + "/Big/F1.copy", dir.path() + "/BIG/moved"));
  EXPECT_EQ(files.Resolve(dir.path() + "\\big\\F1.COPY"), dir.path() + "/Big/F1.COPY");
  EXPECT_EQ(files.Resolve(dir.path() + "\\big\\MOVED"), dir.path() + "/Big/moved");
  EXPECT_LE(files.folder_reads(), 2u);  // the data folder and Big
  EXPECT_FALSE(files.EndCommand());
  // Outside a command nothing is remembered.
  const size_t before = files.folder_reads();
  files.Resolve(dir.path() + "\\BIG\\x");
  files.Resolve(dir.path() + "\\BIG\\y");
  EXPECT_EQ(files.folder_reads(), before + 4);
  EXPECT_EQ(dir.Read("Big/New99.txt"), "x");
}

TEST(PosixFileSystemTest, ListedFolderAnswersNamesAndCopiesStayExact) {
  TempDir dir;
  dir.Write("Src/One.txt", "first");
  dir.Write("Src/two.txt", std::string(70000, 'x'));
  dir.Write("Dst/ONE.txt", "old");
  dir.Write("Dst/locked.txt", "keep");
  ASSERT_EQ(::chmod((dir.path() + "/Dst/locked.txt").c_str(), 0444), 0);
  ASSERT_EQ(::chmod((dir.path() + "/Src/One.txt").c_str(), 0640), 0);
  PosixFileSystem files;
  files.BeginCommand();
  std::vector<DirectoryEntry> entries;
  ASSERT_FALSE(files.List(dir.path() + "/Src", entries));
  ASSERT_FALSE(files.List(dir.path() + "/Dst", entries));
  const size_t reads = files.folder_reads();
  // Names of listed folders are matched from the listing, in any case.
  EXPECT_EQ(files.Resolve(dir.path() + "\\Src\\one.TXT"), dir.path() + "/Src/One.txt");
  EXPECT_EQ(files.Resolve(dir.path() + "\\Src\\new"), dir.path() + "/Src/new");
  for (int round = 0; round < 2; ++round) {
    EXPECT_FALSE(files.Copy(dir.path() + "\\Src\\One.txt", dir.path() + "\\Dst\\one.txt", true));
    EXPECT_FALSE(files.Copy(dir.path() + "\\Src\\two.txt", dir.path() + "\\Dst\\two.txt", true));
    EXPECT_EQ(files.Copy(dir.path() + "\\Src\\two.txt", dir.path() + "\\Dst\\LOCKED.txt", true),
              std::errc::permission_denied);
  }
  EXPECT_EQ(files.folder_reads(), reads);
  EXPECT_FALSE(files.EndCommand());
  EXPECT_EQ(NamesIn(dir.path() + "/Dst"),
            (std::vector<std::string>{"ONE.txt", "locked.txt", "two.txt"}));
  EXPECT_EQ(dir.Read("Dst/ONE.txt"), "first");
  EXPECT_EQ(dir.Read("Dst/two.txt"), std::string(70000, 'x'));
  EXPECT_EQ(dir.Read("Dst/locked.txt"), "keep");
  EXPECT_EQ(ModeOf(dir.path() + "/Dst/ONE.txt"), 0640u);
  struct stat a;
  struct stat b;
  ASSERT_EQ(::stat((dir.path() + "/Src/two.txt").c_str(), &a), 0);
  ASSERT_EQ(::stat((dir.path() + "/Dst/two.txt").c_str(), &b), 0);
  EXPECT_EQ(a.st_mtim.tv_sec, b.st_mtim.tv_sec);
  EXPECT_EQ(a.st_mtim.tv_nsec, b.st_mtim.tv_nsec);
}

TEST(PosixFileSystemTest, ReplacementKeepsModeFollowsLinksAndLeavesNoTemporary) {
  TempDir dir;
  const std::string file = dir.Write("data.txt", "old");
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  ASSERT_EQ(::symlink("data.txt", dir.Path("link").c_str()), 0);
  ASSERT_EQ(::symlink("made.txt", dir.Path("dangling").c_str()), 0);
  PosixFileSystem files;
  ASSERT_FALSE(files.WriteAll(dir.path() + "\\LINK", "new"));
  EXPECT_EQ(dir.Read("data.txt"), "new");
  EXPECT_EQ(ModeOf(file), 0640u);
  struct stat st;
  ASSERT_EQ(::lstat(dir.Path("link").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  // A dangling link is not written through, by a rewrite or a copy: it
  // could point anywhere (as cp, nothing is made where it points).
  EXPECT_EQ(files.WriteAll(dir.Path("dangling"), "made"), DanglingLink());
  EXPECT_EQ(files.Copy(file, dir.Path("dangling"), true), DanglingLink());
  EXPECT_EQ(SystemMessage(DanglingLink()),
            "Not writing through a symbolic link that points to nothing");
  // A name of 255 bytes still works: the temporary name is short.
  const std::string long_name(255, 'n');
  ASSERT_FALSE(files.WriteAll(dir.Path(long_name), "long"));
  EXPECT_EQ(dir.Read(long_name), "long");
  // A replacement dropped before its commit leaves the old file alone.
  {
    std::unique_ptr<FileWriter> writer;
    ASSERT_FALSE(files.OpenReplace(file, Durability::kRewrite, writer));
    ASSERT_NE(writer->old(), nullptr);
    std::string old;
    ASSERT_FALSE(writer->old()->ReadRest(0, old));
    EXPECT_EQ(old, "new");
    ASSERT_FALSE(writer->Write("lost"));
  }
  EXPECT_EQ(dir.Read("data.txt"), "new");
  EXPECT_EQ(NamesIn(dir.path()),
            (std::vector<std::string>{"dangling", "data.txt", "link", long_name}));
}

// The replacement of an entry puts the new file in a link's place,
// whatever the link names, and leaves that alone.
TEST(PosixFileSystemTest, EntryReplacementReplacesLinksAndNeverWritesThroughThem) {
  TempDir dir;
  const std::string outside = dir.Write("outside/precious.txt", "precious");
  ASSERT_EQ(::chmod(outside.c_str(), 0600), 0);
  dir.Write("outside/folder/kept.txt", "kept");
  dir.Write("target/plain.txt", "old");
  ASSERT_EQ(::symlink(outside.c_str(), dir.Path("target/file-link").c_str()), 0);
  ASSERT_EQ(::symlink("../outside/folder", dir.Path("target/folder-link").c_str()), 0);
  ASSERT_EQ(::symlink("../outside/none.txt", dir.Path("target/dangling").c_str()), 0);
  PosixFileSystem files;
  for (const std::string name : {"file-link", "FOLDER-LINK", "dangling", "plain.txt", "new.txt"}) {
    SCOPED_TRACE(name);
    std::unique_ptr<FileWriter> writer;
    ASSERT_FALSE(
        files.OpenReplaceEntry(dir.path() + "\\target\\" + name, Durability::kBulk, writer));
    EXPECT_EQ(writer->old(), nullptr);
    ASSERT_FALSE(writer->Write("extracted"));
    ASSERT_FALSE(writer->Commit());
  }
  for (const std::string name : {"file-link", "folder-link", "dangling", "plain.txt", "new.txt"}) {
    SCOPED_TRACE(name);
    struct stat st;
    ASSERT_EQ(::lstat(dir.Path("target/" + name).c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(dir.Read("target/" + name), "extracted");
  }
  // A link replaced takes the usual permissions, not those of what it named.
  EXPECT_NE(ModeOf(dir.Path("target/file-link")), 0600u);
  EXPECT_EQ(dir.Read("outside/precious.txt"), "precious");
  EXPECT_EQ(ModeOf(outside), 0600u);
  EXPECT_EQ(NamesIn(dir.Path("outside")), (std::vector<std::string>{"folder", "precious.txt"}));
  EXPECT_EQ(NamesIn(dir.Path("outside/folder")), std::vector<std::string>{"kept.txt"});
  // A real folder of that name is still refused; the ordinary replacement
  // still follows a link.
  dir.Write("target/sub/x.txt", "x");
  std::unique_ptr<FileWriter> writer;
  EXPECT_EQ(files.OpenReplaceEntry(dir.Path("target/sub"), Durability::kBulk, writer),
            std::error_code(EISDIR, std::system_category()));
  ASSERT_EQ(::symlink(outside.c_str(), dir.Path("target/followed").c_str()), 0);
  ASSERT_FALSE(files.WriteAll(dir.Path("target/followed"), "through"));
  EXPECT_EQ(dir.Read("outside/precious.txt"), "through");
}

TEST(PosixFileSystemTest, RefusesReadOnlyFilesFoldersAndPipes) {
  TempDir dir;
  const std::string ro = dir.Write("ro.txt", "keep");
  ASSERT_EQ(::chmod(ro.c_str(), 0444), 0);
  ASSERT_EQ(::mkfifo(dir.Path("pipe").c_str(), 0600), 0);
  dir.Write("folder/x", "");
  PosixFileSystem files;
  EXPECT_EQ(files.WriteAll(ro, "x"), std::errc::permission_denied);
  EXPECT_EQ(files.Copy(dir.Path("folder/x"), ro, true), std::errc::permission_denied);
  EXPECT_EQ(files.WriteAll(dir.Path("pipe"), "x"), std::errc::invalid_argument);
  EXPECT_EQ(files.Copy(dir.Path("folder/x"), dir.Path("pipe"), true), std::errc::invalid_argument);
  std::string content;
  EXPECT_EQ(files.ReadAll(dir.Path("pipe"), content), std::errc::invalid_argument);
  EXPECT_EQ(files.WriteAll(dir.Path("folder"), "x"), std::errc::is_a_directory);
  EXPECT_EQ(files.ReadAll(dir.Path("folder"), content), std::errc::is_a_directory);
  EXPECT_EQ(dir.Read("ro.txt"), "keep");
  EXPECT_EQ(NamesIn(dir.path()), (std::vector<std::string>{"folder", "pipe", "ro.txt"}));
  EXPECT_TRUE(files.Status(ro).read_only);
}

TEST(PosixFileSystemTest, LeftoversOfGoneProcessesGoWithTheNextWrite) {
  TempDir dir;
  dir.Write("a.txt", "a");
  const std::string gone = ".pvt" + std::to_string(GonePid()) + "-0badf00d";
  const std::string alive = ".pvt1-0badf00d";  // init never ends
  dir.Write(gone, "half");
  dir.Write(alive, "busy");
  EXPECT_TRUE(IsTemporaryFileName(gone));
  EXPECT_TRUE(IsLeftoverFileName(gone));
  EXPECT_FALSE(IsLeftoverFileName(alive));
  EXPECT_FALSE(IsTemporaryFileName(".pvt12-x"));
  EXPECT_FALSE(IsTemporaryFileName("a.txt"));
  PosixFileSystem files;
  ASSERT_FALSE(files.WriteAll(dir.Path("a.txt"), "b"));
  EXPECT_EQ(NamesIn(dir.path()), (std::vector<std::string>{alive, "a.txt"}));
}

TEST(PosixFileSystemTest, AReplacementWorksUnderALockTheCallerHolds) {
  TempDir dir;
  const std::string file = dir.Write("a b \xC3\xA4.hiv", "old");
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  const std::string gone = ".pvt" + std::to_string(GonePid()) + "-0badf00d";
  dir.Write(gone, "half");
  PosixFileSystem files;
  UniqueFd held(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(::flock(held.get(), LOCK_EX), 0);
  {
    // Taking the lock again would wait for ever; the held one is used.
    std::unique_ptr<FileWriter> writer;
    ASSERT_FALSE(files.OpenReplaceHost(file, Durability::kRewrite, writer, held.get()));
    const std::string temp = writer->temp_host_path();
    EXPECT_EQ(temp.rfind(dir.path() + "/.pvt", 0), 0u) << temp;
    EXPECT_EQ(ModeOf(temp), 0640u);
    // Written by name, as a library writing whole files does.
    testing::WriteFileText(temp, "new");
    ASSERT_FALSE(writer->Commit());
  }
  EXPECT_EQ(dir.Read("a b \xC3\xA4.hiv"), "new");
  EXPECT_EQ(ModeOf(file), 0640u);
  EXPECT_EQ(NamesIn(dir.path()), (std::vector<std::string>{"a b \xC3\xA4.hiv"}));
  // The held descriptor is the replaced file now: its name names another.
  std::unique_ptr<FileWriter> writer;
  EXPECT_EQ(files.OpenReplaceHost(file, Durability::kRewrite, writer, held.get()),
            std::error_code(ESTALE, std::system_category()));
  // A read-only file is refused under a held lock too.
  held = UniqueFd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  EXPECT_EQ(files.OpenReplaceHost(file, Durability::kRewrite, writer, held.get()),
            std::errc::permission_denied);
  EXPECT_EQ(NamesIn(dir.path()), (std::vector<std::string>{"a b \xC3\xA4.hiv"}));
}

TEST(PosixFileSystemTest, TwoProcessesEditingOneFileLoseNoUpdate) {
  TempDir dir;
  const std::string file = dir.Write("counter.txt", "");
  constexpr int kEdits = 60;
  auto edit = [&file](char mark) {
    PosixFileSystem files;
    for (int i = 0; i < kEdits; ++i) {
      std::unique_ptr<FileWriter> writer;
      if (files.OpenReplace(file, Durability::kRewrite, writer)) return false;
      std::string text;
      if (writer->old() == nullptr || writer->old()->ReadRest(0, text)) return false;
      text.push_back(mark);
      if (writer->Write(text) || writer->Commit()) return false;
    }
    return true;
  };
  const pid_t child = ::fork();
  if (child == 0) ::_exit(edit('b') ? 0 : 1);
  EXPECT_TRUE(edit('a'));
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::string text = dir.Read("counter.txt");
  EXPECT_EQ(std::count(text.begin(), text.end(), 'a'), kEdits);
  EXPECT_EQ(std::count(text.begin(), text.end(), 'b'), kEdits);
}

TEST(PosixFileSystemTest, TreeMergesMeetNamesInAnyCase) {
  TempDir dir;
  dir.Write("dst/src/SUB/FILE.TXT", "old");
  dir.Write("src/Sub/file.txt", "new");
  dir.Write("src/Sub/other.txt", "other");
  PosixFileSystem files;
  ASSERT_TRUE(files.CopyTree(dir.Path("src"), dir.Path("dst"), {}));
  EXPECT_EQ(NamesIn(dir.Path("dst/src")), std::vector<std::string>{"SUB"});
  EXPECT_EQ(NamesIn(dir.Path("dst/src/SUB")), (std::vector<std::string>{"FILE.TXT", "other.txt"}));
  EXPECT_EQ(dir.Read("dst/src/SUB/FILE.TXT"), "new");
  // A move merges the same way.
  dir.Write("src/Sub/file.txt", "newer");
  ASSERT_TRUE(files.MoveTree(dir.Path("SRC"), dir.Path("DST"), {}));
  EXPECT_FALSE(dir.Exists("src"));
  EXPECT_EQ(NamesIn(dir.Path("dst/src")), std::vector<std::string>{"SUB"});
  EXPECT_EQ(dir.Read("dst/src/SUB/FILE.TXT"), "newer");
}

// Deleting file entries in a command looks at each once and deletes it
// relative to its folder, kept open: a file or a link (to a file, to
// nothing) goes, a folder and a link to one are not found, a read-only file
// stays, and of two names differing only in letter case only the one named
// goes. A folder moved away and another made at its path in the same
// command is the one deleted in.
TEST(PosixFileSystemTest, DeleteFileEntryKeepsFoldersLinksToThemAndReadOnlyFiles) {
  TempDir dir;
  dir.Write("d/a.txt", "a");
  dir.Write("d/A.TXT", "upper");
  dir.Write("d/ro.txt", "r");
  dir.Write("d/sub/x", "");
  ASSERT_EQ(::chmod(dir.Path("d/ro.txt").c_str(), 0444), 0);
  ASSERT_EQ(::symlink("sub", dir.Path("d/tosub").c_str()), 0);
  ASSERT_EQ(::symlink("A.TXT", dir.Path("d/link.txt").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", dir.Path("d/dangling").c_str()), 0);
  const std::string d = dir.path() + "\\d\\";
  PosixFileSystem files;
  files.BeginCommand();
  bool found = false;
  for (const char* name : {"link.txt", "a.txt", "dangling"}) {
    EXPECT_FALSE(files.DeleteFileEntry(d + name, found)) << name;
    EXPECT_TRUE(found) << name;
  }
  EXPECT_EQ(NamesIn(dir.Path("d")), (std::vector<std::string>{"A.TXT", "ro.txt", "sub", "tosub"}));
  EXPECT_EQ(dir.Read("d/A.TXT"), "upper");
  for (const char* name : {"sub", "tosub", "none", "SUB"}) {
    EXPECT_FALSE(files.DeleteFileEntry(d + name, found)) << name;
    EXPECT_FALSE(found) << name;
  }
  EXPECT_EQ(files.DeleteFileEntry(d + "RO.TXT", found), std::errc::permission_denied);
  EXPECT_TRUE(found);
  EXPECT_EQ(NamesIn(dir.Path("d")), (std::vector<std::string>{"A.TXT", "ro.txt", "sub", "tosub"}));

  ASSERT_FALSE(files.Move(dir.path() + "/d", dir.path() + "/old"));
  ASSERT_FALSE(files.MakeFolder(dir.path() + "/d", false));
  ASSERT_FALSE(files.WriteAll(dir.path() + "/d/A.TXT", "new", Durability::kBulk));
  EXPECT_FALSE(files.DeleteFileEntry(d + "a.txt", found));
  EXPECT_TRUE(found);
  EXPECT_TRUE(NamesIn(dir.Path("d")).empty());
  EXPECT_EQ(dir.Read("old/A.TXT"), "upper");
  EXPECT_FALSE(files.EndCommand());
  // Outside a command, by its path.
  EXPECT_FALSE(files.DeleteFileEntry(dir.path() + "/old/a.txt", found));
  EXPECT_TRUE(found);
  EXPECT_FALSE(dir.Exists("old/A.TXT"));
}

}  // namespace
}  // namespace pelvar::platform
