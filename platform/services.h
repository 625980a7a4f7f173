// The operating-system services a run reaches, one interface each. The
// program wires the POSIX implementations; tests wire fakes. Pointers are
// borrowed; a null service makes the commands that need it fail cleanly.
#pragma once

#include <string>
#include <vector>

namespace pelvar::platform {

class SystemFolders;
class ProcessLauncher;
class Registry;
class Downloader;
class Sound;
class FileSystem;
class IsoImageTool;

struct Services {
  FileSystem* files = nullptr;
  SystemFolders* folders = nullptr;
  ProcessLauncher* processes = nullptr;
  Registry* registry = nullptr;
  Downloader* downloads = nullptr;
  Sound* sound = nullptr;
  // Writes and reads the ISO images of "Make ISO".
  IsoImageTool* images = nullptr;
  // Path of the registry tool (pelvar-reg) that mounts and unmounts hives.
  std::string reg_tool;
  // The hives this run mounted and has not unmounted yet (names as the
  // script gave them); the run unmounts them when it ends.
  std::vector<std::string> run_hives;
};

}  // namespace pelvar::platform
