#include "app/program_location.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace pelvar::app {

ProgramLocation LocateProgram(const char* argv0) {
  std::string exe;
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) {
    exe.assign(buf, static_cast<size_t>(n));
  } else if (argv0 != nullptr) {
    exe = argv0;
  }
  ProgramLocation loc;
  const size_t slash = exe.rfind('/');
  loc.folder = slash == std::string::npos ? "." : exe.substr(0, slash);
  if (loc.folder.empty()) loc.folder = "/";
  std::string name = slash == std::string::npos ? exe : exe.substr(slash + 1);
  // The configuration follows the program's own name, whatever wrapper
  // (such as a sanitizer build) started it.
  if (name.empty()) name = "pelvar";
  loc.program_name = name;
  loc.executable_folder = loc.folder;
  if (const char* home = std::getenv("PELVAR_HOME"); home != nullptr && *home != '\0') {
    loc.folder = home;
    while (loc.folder.size() > 1 && loc.folder.back() == '/') loc.folder.pop_back();
  }
  loc.config_path = (loc.folder == "/" ? "" : loc.folder) + "/" + loc.ConfigFileName();
  return loc;
}

}  // namespace pelvar::app
