// pelvar-reg, the registry tool: mounts and unmounts hive files (load,
// unload), and shows, changes and exports keys of the host store and of
// mounted hives (query, add, delete, export) in the manner of the Windows
// reg tool. KEY is a root (HKEY_LOCAL_MACHINE or HKLM, HKEY_CURRENT_USER or
// HKCU, HKEY_CLASSES_ROOT or HKCR, HKEY_USERS or HKU, HKEY_CURRENT_CONFIG or
// HKCC, in any letter case) followed by "\" and the key path.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host_registry.h"

namespace pelvar::platform {
class FileSystem;
}

namespace pelvar::app {

// What the tool works on: a registry, the files it reads and writes (.reg
// files), and the mounting of hives (when absent, load, unload and mounts
// fail).
struct RegToolTarget {
  platform::Registry& registry;
  platform::FileSystem& files;
  std::function<platform::RegistryResult(std::string_view name, std::string_view file)> load;
  std::function<platform::RegistryResult(std::string_view name)> unload;
  std::function<platform::RegistryResult(std::vector<platform::HiveMount>&)> mounts;
};

// The target of the host registry with its mounts.
RegToolTarget HostRegToolTarget(platform::HostRegistry& registry, platform::FileSystem& files);

// Runs the tool; `args` are the words after the program's name. Returns the
// exit status: 0 on success; 1 with a message on `err` otherwise.
int RunRegTool(const std::vector<std::string>& args, const RegToolTarget& target, std::string& out,
               std::string& err);
int RunRegTool(const std::vector<std::string>& args, const RegToolTarget& target, std::FILE* out,
               std::FILE* err);
// The same on the host registry, with the files of the thread's file system.
int RunRegTool(const std::vector<std::string>& args, platform::HostRegistry& registry,
               std::FILE* out, std::FILE* err);

// The tool's usage text.
extern const char* const kRegToolUsage;

}  // namespace pelvar::app
