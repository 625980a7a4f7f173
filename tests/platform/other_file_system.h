// A private folder on another file system than the temporary folder (the
// shared-memory file system), for tests of moves across file systems.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

namespace pelvar::testing {

class OtherFileSystemDir {
 public:
  // `near` is a folder on the usual file system; available() is false when
  // no other file system can be used.
  explicit OtherFileSystemDir(const std::string& near) {
    std::string templ = "/dev/shm/pelvar-test-XXXXXX";
    if (::mkdtemp(templ.data()) == nullptr) return;
    path_ = templ;
    struct stat a;
    struct stat b;
    available_ =
        ::stat(near.c_str(), &a) == 0 && ::stat(path_.c_str(), &b) == 0 && a.st_dev != b.st_dev;
  }
  ~OtherFileSystemDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  OtherFileSystemDir(const OtherFileSystemDir&) = delete;
  OtherFileSystemDir& operator=(const OtherFileSystemDir&) = delete;

  bool available() const { return available_; }
  std::string Path(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
  bool available_ = false;
};

}  // namespace pelvar::testing
