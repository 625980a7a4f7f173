// pelvar-reg, the registry tool: mounts and unmounts hive files (load,
// unload), and shows, changes and exports keys of the host store and of
// mounted hives (query, add, delete, export) in the manner of the Windows
// reg tool. KEY is a root (HKEY_LOCAL_MACHINE or HKLM, HKEY_CURRENT_USER or
// HKCU, HKEY_CLASSES_ROOT or HKCR, HKEY_USERS or HKU, HKEY_CURRENT_CONFIG or
// HKCC, in any letter case) followed by "\" and the key path.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/host_registry.h"

namespace pelvar::app {

// Runs the tool; `args` are the words after the program's name. Returns the
// exit status: 0 on success; 1 with a message on `err` otherwise.
int RunRegTool(const std::vector<std::string>& args, platform::HostRegistry& registry,
               std::FILE* out, std::FILE* err);

// The tool's usage text.
extern const char* const kRegToolUsage;

}  // namespace pelvar::app
