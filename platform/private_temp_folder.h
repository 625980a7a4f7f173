// A folder of its own under the system's temporary folder, for the scratch
// files of one operation: made with a unique name, readable by this user
// only, and removed with everything in it when the object goes.
//
// The name carries the owning process id ("pelvar-<pid>-XXXXXX"), so that the
// folders of a process that was killed can be told apart: the first folder a
// process makes first removes this user's folders whose owner is gone.
#pragma once

#include <string>
#include <system_error>

namespace pelvar::platform {

class PrivateTempFolder {
 public:
  PrivateTempFolder() = default;
  ~PrivateTempFolder();
  PrivateTempFolder(const PrivateTempFolder&) = delete;
  PrivateTempFolder& operator=(const PrivateTempFolder&) = delete;

  // Makes the folder (a second call makes a new one and drops the first).
  std::error_code Create();
  // Its path (a script path too), without a trailing separator; empty
  // before Create.
  const std::string& path() const { return path_; }
  // Removes the folder and its contents now.
  void Remove();

  // Removes the folders under `temp_dir` (a host path ending with "/") that
  // this user's processes made and whose process no longer runs; returns how
  // many. Create calls it once per process.
  static int RemoveOrphans(const std::string& temp_dir);

  // Makes a new folder of that form and gives its path, leaving its removal
  // to the caller.
  static std::error_code MakeFolder(std::string& path);

 private:
  std::string path_;
};

}  // namespace pelvar::platform
