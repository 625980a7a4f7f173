// The registry of a program run: the host store named by $PELVAR_REGISTRY,
// by default "registry.db" in the program folder, created on first use with
// ProgramFilesDir set from the configuration (key programfilesdir, or
// /opt), and the registry tool "pelvar-reg" beside the executable.
#pragma once

#include <memory>
#include <string>

#include "app/program_config.h"
#include "app/program_location.h"
#include "platform/host_registry.h"

namespace pelvar::app {

// Host path of the registry store.
std::string RegistryStorePath(const ProgramLocation& location);

// Path of the registry tool: beside the executable.
std::string RegToolPath(const ProgramLocation& location);

// The ProgramFilesDir a new store is created with: key programfilesdir of
// the configuration, else /opt.
std::string SeedProgramFilesDir(const ProgramConfig& config);

// The registry of the program; the store is opened on first use.
std::unique_ptr<platform::HostRegistry> OpenProgramRegistry(const ProgramConfig& config,
                                                            const ProgramLocation& location);

}  // namespace pelvar::app
