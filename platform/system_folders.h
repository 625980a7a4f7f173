// The folders scripts know as %tempdir%, %windowsdir%, %windowssystemdir% and
// %programfilesdir%. On Linux the temporary folder is $TMPDIR (or /tmp) with
// a trailing "/"; the other three are settings with Linux defaults.
#pragma once

#include <string>

namespace pelvar::platform {

class SystemFolders {
 public:
  virtual ~SystemFolders() = default;
  // Temporary folder, ending with a separator.
  virtual std::string TempDir() const = 0;
  // No trailing separator (except for a root).
  virtual std::string WindowsDir() const = 0;
  virtual std::string SystemDir() const = 0;
  virtual std::string ProgramFilesDir() const = 0;
};

// Defaults used when the configuration file does not name the folders.
inline constexpr const char* kDefaultWindowsDir = "/usr";
inline constexpr const char* kDefaultSystemDir = "/usr/bin";
inline constexpr const char* kDefaultProgramFilesDir = "/opt";

// $TMPDIR when set and not empty, else /tmp; always ending with "/".
std::string HostTempDir();

// The process's working folder as a host path; "/" when the system does not
// tell it.
std::string WorkingFolder();

// The path of the running program's own file; empty when the system does
// not tell it.
std::string RunningProgramPath();

// Folders from fixed values; empty values fall back to the defaults above.
class FixedSystemFolders : public SystemFolders {
 public:
  FixedSystemFolders(std::string windows_dir = {}, std::string system_dir = {},
                     std::string program_files_dir = {});
  std::string TempDir() const override { return HostTempDir(); }
  std::string WindowsDir() const override { return windows_dir_; }
  std::string SystemDir() const override { return system_dir_; }
  std::string ProgramFilesDir() const override { return program_files_dir_; }

 private:
  std::string windows_dir_;
  std::string system_dir_;
  std::string program_files_dir_;
};

}  // namespace pelvar::platform
