#include "app/program_registry.h"

#include <cstdlib>

#include "platform/system_folders.h"

namespace pelvar::app {

namespace {

std::string InFolder(const ProgramLocation& location, const std::string& name) {
  return (location.folder == "/" ? "" : location.folder) + "/" + name;
}

}  // namespace

std::string RegistryStorePath(const ProgramLocation& location) {
  if (const char* env = std::getenv("PELVAR_REGISTRY"); env != nullptr && *env != '\0') {
    return env;
  }
  return InFolder(location, "registry.db");
}

std::string RegToolPath(const ProgramLocation& location) {
  // The tool is built and installed beside the program, wherever
  // $PELVAR_HOME puts the program's files.
  ProgramLocation beside = location;
  if (!location.executable_folder.empty()) beside.folder = location.executable_folder;
  return InFolder(beside, "pelvar-reg");
}

std::string SeedProgramFilesDir(const ProgramConfig& config) {
  std::string program_files = config.Read(config::kProgramFilesDir);
  if (program_files.empty()) program_files = platform::kDefaultProgramFilesDir;
  return program_files;
}

std::unique_ptr<platform::HostRegistry> OpenProgramRegistry(const ProgramConfig& config,
                                                            const ProgramLocation& location) {
  return std::make_unique<platform::HostRegistry>(RegistryStorePath(location),
                                                  SeedProgramFilesDir(config));
}

}  // namespace pelvar::app
