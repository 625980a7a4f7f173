// pelvar-reg: the registry tool beside pelvar.
#include <cstdio>
#include <string>
#include <vector>

#include "app/program_config.h"
#include "app/program_location.h"
#include "app/program_registry.h"
#include "app/reg_tool.h"
#include "platform/posix_file_system.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(pelvar::app::kRegToolUsage, stderr);
    return 1;
  }
  // The store and its first content are the program's: the same folder and
  // configuration file as pelvar's.
  pelvar::app::ProgramLocation location = pelvar::app::LocateProgram(argv[0]);
  location.program_name = "pelvar";
  location.config_path = (location.folder == "/" ? "" : location.folder) + "/pelvar.ini";
  const pelvar::app::ProgramConfig config = pelvar::app::ProgramConfig::Load(location.config_path);
  const auto registry = pelvar::app::OpenProgramRegistry(config, location);
  pelvar::platform::PosixFileSystem files;
  return pelvar::app::RunRegTool(args, pelvar::app::HostRegToolTarget(*registry, files), stdout,
                                 stderr);
}
