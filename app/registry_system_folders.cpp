#include "app/registry_system_folders.h"

#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/host_registry.h"
#include "platform/registry_text.h"

namespace pelvar::app {

std::string ReadProgramFilesDir(platform::Registry& registry) {
  using platform::RegistryStatus;
  namespace reg_type = platform::reg_type;
  platform::RegistryValue value;
  const platform::RegistryResult r = registry.GetValue(
      {platform::RegistryRoot::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"},
      "ProgramFilesDir", value);
  if (r.status == RegistryStatus::kKeyNotFound) {
    throw ScriptError("The system cannot find the file specified");
  }
  if (!r.ok() && r.status != RegistryStatus::kValueNotFound) throw ScriptError(r.message);
  if (r.ok()) {
    switch (value.type) {
      case reg_type::kString:
      case reg_type::kExpandString:
        return platform::Utf16LeToUtf8(value.data);
      case reg_type::kDword: {
        uint32_t bits = 0;
        for (size_t i = 0; i < 4 && i < value.data.size(); ++i) {
          bits |= static_cast<uint32_t>(static_cast<unsigned char>(value.data[i])) << (8 * i);
        }
        return IntToText(static_cast<int32_t>(bits));
      }
      case reg_type::kBinary:
        return value.data;
      default:
        break;
    }
  }
  throw ScriptError("The configuration registry key could not be read");
}

RegistrySystemFolders::RegistrySystemFolders(platform::FileSystem& files, std::string store_path,
                                             std::string program_files_dir, std::string windows_dir,
                                             std::string system_dir)
    : files_(files),
      store_path_(std::move(store_path)),
      program_files_dir_(std::move(program_files_dir)),
      fixed_(std::move(windows_dir), std::move(system_dir)) {}

std::string RegistrySystemFolders::ProgramFilesDir() const {
  if (!files_.Exists(store_path_)) return program_files_dir_;
  platform::HostRegistry reader(store_path_, program_files_dir_, /*read_only=*/true);
  return ReadProgramFilesDir(reader);
}

}  // namespace pelvar::app
