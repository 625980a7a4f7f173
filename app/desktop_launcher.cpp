#include "app/desktop_launcher.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/module_loader.h"
#include "platform/posix_file_system.h"

#ifndef PELVAR_MODULE_DIR
#define PELVAR_MODULE_DIR "/usr/local/lib/pelvar"
#endif
#ifndef PELVAR_MODULE_RELDIR
#define PELVAR_MODULE_RELDIR "../lib/pelvar"
#endif

namespace pelvar::app {

namespace {

constexpr const char* kModuleFile = "pelvar-desktop.so";

}  // namespace

bool DisplayAvailable() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

int RunDesktop(int argc, char** argv, const ProgramLocation& location,
               const std::optional<RunArguments>& args, std::FILE* err) {
  if (!DisplayAvailable()) {
    std::fputs(
        "pelvar: no display to show the main window on.\n"
        "Run a script with /silent, or the checked scripts with --batch (see pelvar --help).\n",
        err);
    return 2;
  }
  const std::string exe_folder =
      location.executable_folder.empty() ? location.folder : location.executable_folder;
  // Beside the program (the build's program folder), in the module folder of
  // an installation relative to the program, then where it was installed.
  const std::vector<std::string> candidates = {
      exe_folder + "/" + kModuleFile, exe_folder + "/" + PELVAR_MODULE_RELDIR + "/" + kModuleFile,
      std::string(PELVAR_MODULE_DIR) + "/" + kModuleFile};
  std::string error;
  for (const auto& path : candidates) {
    if (!platform::ThreadFileSystem().IsFile(path)) continue;
    std::unique_ptr<platform::LoadedModule> module = platform::LoadedModule::Open(path, &error);
    if (!module) break;
    auto entry = reinterpret_cast<DesktopEntry>(module->Symbol(kDesktopEntry));
    if (entry == nullptr) {
      error = path + " has no entry " + kDesktopEntry;
      break;
    }
    const RunArguments* run = args ? &*args : nullptr;
    // The module stays mapped after `module` goes: the handle is never closed.
    return entry(argc, argv, &location, run);
  }
  if (error.empty()) error = std::string(kModuleFile) + " was not found beside the program";
  std::fprintf(err,
               "pelvar: the desktop program cannot be loaded: %s\n"
               "Run a script with /silent, or the checked scripts with --batch (see pelvar "
               "--help).\n",
               error.c_str());
  return 2;
}

}  // namespace pelvar::app
