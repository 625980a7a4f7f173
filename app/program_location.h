// Where the program keeps its files: the program folder (configuration file,
// script folders, log.txt) and the configuration file named after the
// program.
#pragma once

#include <functional>
#include <string>

namespace pelvar::app {

struct ProgramLocation {
  std::string folder;             // no trailing separator
  std::string program_name;       // file name of the executable, e.g. "pelvar"
  std::string config_path;        // folder + "/" + program_name + ".ini"
  std::string executable_folder;  // the executable's own folder, also with $PELVAR_HOME
  std::string ConfigFileName() const { return program_name + ".ini"; }
};

// What the choice of the program folder depends on.
struct LocationInputs {
  std::string exe_folder;       // folder of the running executable
  std::string program_name;     // its file name
  std::string pelvar_home;      // $PELVAR_HOME
  std::string xdg_config_home;  // $XDG_CONFIG_HOME
  std::string home;             // $HOME
};

// The program folder, first match wins:
// 1. $PELVAR_HOME when set;
// 2. the executable's folder when it holds the configuration file (a
//    program folder as the build lays it out, or an unpacked copy);
// 3. for an installed program (defaults in <exe>/../share/<name>/ holding
//    the configuration file): $XDG_CONFIG_HOME/<name>, or
//    $HOME/.config/<name>; `seed_from` then names the defaults folder;
// 4. the executable's folder.
struct FolderChoice {
  std::string folder;
  std::string seed_from;  // empty unless the folder is seeded from defaults
};
FolderChoice ChooseProgramFolder(const LocationInputs& inputs,
                                 const std::function<bool(const std::string&)>& is_file);

// Locates the program from the running executable and the environment; a
// user folder of an installed program that has no configuration file yet
// is seeded from the installed defaults (nothing existing is replaced).
ProgramLocation LocateProgram(const char* argv0);

}  // namespace pelvar::app
