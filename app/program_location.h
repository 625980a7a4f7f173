// Where the program keeps its files: the program folder (the executable's
// folder, or $PELVAR_HOME) and the configuration file named after the program.
#pragma once

#include <string>

namespace pelvar::app {

struct ProgramLocation {
  std::string folder;        // no trailing separator
  std::string program_name;  // file name of the executable, e.g. "pelvar"
  std::string config_path;   // folder + "/" + program_name + ".ini"
  std::string ConfigFileName() const { return program_name + ".ini"; }
};

// Locates the program from the running executable; $PELVAR_HOME, when set,
// replaces its folder.
ProgramLocation LocateProgram(const char* argv0);

}  // namespace pelvar::app
