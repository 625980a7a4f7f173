// filerename onto another file system with the built program: a file is
// copied and deleted, a symbolic link is made again there and stays a link.
// The other file system is a tmpfs mounted for the test where that is
// allowed, else the shared-memory file system; without either the test is
// skipped.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "platform/other_file_system.h"
#include "support/shell_output.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::RunShell;
using testing::ShellQuoted;
using testing::TempDir;

uint64_t DeviceOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_dev : 0;
}

// A folder on a file system other than `near`'s.
class SecondFileSystem {
 public:
  explicit SecondFileSystem(const TempDir& near) {
    // A tmpfs of its own, when this user may mount one (root, outside a
    // restricted container).
    mount_point_ = near.Path("mnt");
    if (::mkdir(mount_point_.c_str(), 0700) == 0 &&
        RunShell("mount -t tmpfs -o size=4m pelvar-test " + ShellQuoted(mount_point_) +
                 " 2>/dev/null")
                .status == 0) {
      mounted_ = true;
      if (DeviceOf(mount_point_) != DeviceOf(near.path())) {
        path_ = mount_point_;
        return;
      }
    }
    shared_ = std::make_unique<testing::OtherFileSystemDir>(near.path());
    if (shared_->available()) {
      path_ = shared_->Path("");
      path_.pop_back();  // no trailing "/"
    }
  }
  ~SecondFileSystem() {
    if (mounted_) RunShell("umount " + ShellQuoted(mount_point_));
  }
  SecondFileSystem(const SecondFileSystem&) = delete;
  SecondFileSystem& operator=(const SecondFileSystem&) = delete;

  // Empty when no other file system can be used.
  const std::string& path() const { return path_; }

 private:
  std::string mount_point_;
  bool mounted_ = false;
  std::unique_ptr<testing::OtherFileSystemDir> shared_;
  std::string path_;
};

bool IsLinkTo(const std::string& path, const std::string& text) {
  std::string read(4096, '\0');
  const ssize_t n = ::readlink(path.c_str(), read.data(), read.size());
  return n >= 0 && read.substr(0, static_cast<size_t>(n)) == text;
}

TEST(CrossDeviceRenameTest, FileRenameMovesFilesAndLinksOntoAnotherFileSystem) {
  TempDir home;
  SecondFileSystem other(home);
  if (other.path().empty()) {
    GTEST_SKIP() << "no second file system: a tmpfs cannot be mounted here and /dev/shm is "
                    "not a file system of its own";
  }
  const std::string there = other.path();
  home.Write("pelvar.ini", "[main]\r\ntargetdir=" + home.Path("target") + "\r\n");
  const std::string precious = home.Write("outside/precious.txt", "precious");
  home.Write("target/plain.txt", "plain");
  ASSERT_EQ(::symlink(precious.c_str(), home.Path("target/link.txt").c_str()), 0);
  ASSERT_EQ(::symlink("../outside", home.Path("target/folder-link").c_str()), 0);
  ASSERT_EQ(::symlink("/nonexistent/pelvar-test", home.Path("target/dangling").c_str()), 0);
  ASSERT_EQ(::symlink(precious.c_str(), home.Path("target/taken").c_str()), 0);
  testing::WriteFileText(there + "/taken", "already there");
  const std::string script = home.Write("s.script",
                                        "[process]\r\n"
                                        "filerename,1,%targetdir%\\plain.txt," +
                                            there +
                                            "/plain.txt\r\n"
                                            "filerename,1,%targetdir%\\link.txt," +
                                            there +
                                            "/link.txt\r\n"
                                            "filerename,1,%targetdir%\\folder-link," +
                                            there +
                                            "/folder-link\r\n"
                                            "filerename,1,%targetdir%\\dangling," +
                                            there +
                                            "/dangling\r\n"
                                            "filerename,1,%targetdir%\\taken," +
                                            there + "/taken\r\n");
  const testing::ShellOutput run =
      RunShell("env -u PELVAR_REGISTRY PELVAR_HOME=" + ShellQuoted(home.path()) + " '" +
               PELVAR_PROGRAM_DIR "/pelvar' " + ShellQuoted(script) + " /silent 2>&1");
  const std::string target = home.Path("target");
  const auto renamed = [&](const std::string& name) {
    return "1\tSuccessfully renamed file:\"" + target + "\\" + name + "\" to:\"" + there + "/" +
           name + "\"\n";
  };
  EXPECT_EQ(run.out, renamed("plain.txt") + renamed("link.txt") + renamed("folder-link") +
                         renamed("dangling") + "0\tFailed to rename file:\"" + target +
                         "\\taken\" to:\"" + there + "/taken\"\n" + script +
                         ":6: File exists\nFailures logged: 1\n");
  EXPECT_EQ(testing::ReadFileText(there + "/plain.txt"), "plain");
  EXPECT_TRUE(IsLinkTo(there + "/link.txt", precious));
  EXPECT_TRUE(IsLinkTo(there + "/folder-link", "../outside"));
  EXPECT_TRUE(IsLinkTo(there + "/dangling", "/nonexistent/pelvar-test"));
  for (const char* name : {"plain.txt", "link.txt", "folder-link", "dangling"}) {
    struct stat st;
    EXPECT_NE(::lstat(home.Path(std::string("target/") + name).c_str(), &st), 0) << name;
  }
  // What the links name is as it was; the refused one stays where it was.
  EXPECT_EQ(testing::ReadFileText(precious), "precious");
  EXPECT_TRUE(IsLinkTo(home.Path("target/taken"), precious));
  EXPECT_EQ(testing::ReadFileText(there + "/taken"), "already there");
}

}  // namespace
}  // namespace pelvar
