// System folders whose program files folder is read from the registry, as
// scripts expect: HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion, value
// ProgramFilesDir. The other folders are fixed values.
#pragma once

#include <string>

#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/system_folders.h"

namespace pelvar::app {

// The value as text: a string value as stored (up to its NUL, without
// expanding), a DWORD as signed decimal text, binary data as its bytes.
// Raises ScriptError: "The system cannot find the file specified" when the
// key is missing (the store's own reason when it cannot be opened), "The
// configuration registry key could not be read" for a missing value or one
// of another type.
std::string ReadProgramFilesDir(platform::Registry& registry);

class RegistrySystemFolders : public platform::SystemFolders {
 public:
  // `store_path`: the registry store, read (never created or changed) when
  // the program files folder is asked for; while it does not exist (as
  // `files` sees it) that folder is `program_files_dir`, the value the store
  // would be created with. Empty folders fall back to the defaults.
  RegistrySystemFolders(platform::FileSystem& files, std::string store_path,
                        std::string program_files_dir, std::string windows_dir,
                        std::string system_dir);
  std::string TempDir() const override { return fixed_.TempDir(); }
  std::string WindowsDir() const override { return fixed_.WindowsDir(); }
  std::string SystemDir() const override { return fixed_.SystemDir(); }
  std::string ProgramFilesDir() const override;

 private:
  platform::FileSystem& files_;
  std::string store_path_;
  std::string program_files_dir_;
  platform::FixedSystemFolders fixed_;
};

}  // namespace pelvar::app
