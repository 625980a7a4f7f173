// The operating-system services a run reaches, one interface each. The
// program wires the POSIX implementations; tests wire fakes. Pointers are
// borrowed; a null service makes the commands that need it fail cleanly.
#pragma once

#include <string>

namespace pelvar::platform {

class SystemFolders;
class ProcessLauncher;
class Registry;
class Downloader;
class Sound;
class FileSystem;

struct Services {
  FileSystem* files = nullptr;
  SystemFolders* folders = nullptr;
  ProcessLauncher* processes = nullptr;
  Registry* registry = nullptr;
  Downloader* downloads = nullptr;
  Sound* sound = nullptr;
  // Path of the registry tool (pelvar-reg) that mounts and unmounts hives.
  std::string reg_tool;
};

}  // namespace pelvar::platform
