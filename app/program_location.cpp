#include "app/program_location.h"

#include <vector>

#include <cstdlib>
#include <string>

#include "platform/file_system.h"
#include "platform/posix_file_system.h"
#include "platform/system_folders.h"

namespace pelvar::app {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string TrimTrailingSlashes(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string Join(const std::string& folder, const std::string& name) {
  return (folder == "/" ? "" : folder) + "/" + name;
}

// Copies every file and folder of `from` into `to`, making `to` and its
// folders as needed; files that already exist in `to` are kept. False when
// something could not be copied.
bool SeedFolder(platform::FileSystem& files, const std::string& from, const std::string& to) {
  if (files.MakeFolder(to, /*parents=*/true)) return false;
  std::vector<platform::DirectoryEntry> entries;
  if (files.List(from, entries)) return false;
  bool ok = true;
  for (const auto& e : entries) {
    const std::string source = Join(from, e.name);
    const std::string target = Join(to, e.name);
    if (e.is_directory) {
      ok = SeedFolder(files, source, target) && ok;
    } else {
      const std::error_code ec = files.Copy(source, target, /*replace=*/false);
      ok = (!ec || ec == std::errc::file_exists) && ok;
    }
  }
  return ok;
}

}  // namespace

FolderChoice ChooseProgramFolder(const LocationInputs& in,
                                 const std::function<bool(const std::string&)>& is_file) {
  const std::string config_name = in.program_name + ".ini";
  if (!in.pelvar_home.empty()) return {TrimTrailingSlashes(in.pelvar_home), ""};
  if (is_file(Join(in.exe_folder, config_name))) return {in.exe_folder, ""};
  const std::string defaults = Join(in.exe_folder, "../share/" + in.program_name);
  if (is_file(Join(defaults, config_name))) {
    std::string base = TrimTrailingSlashes(in.xdg_config_home);
    if (base.empty() && !in.home.empty()) base = Join(TrimTrailingSlashes(in.home), ".config");
    if (!base.empty()) return {Join(base, in.program_name), defaults};
  }
  return {in.exe_folder, ""};
}

ProgramLocation LocateProgram(const char* argv0) {
  std::string exe = platform::RunningProgramPath();
  if (exe.empty() && argv0 != nullptr) exe = argv0;
  LocationInputs in;
  const size_t slash = exe.rfind('/');
  in.exe_folder = slash == std::string::npos ? "." : exe.substr(0, slash);
  if (in.exe_folder.empty()) in.exe_folder = "/";
  in.program_name = slash == std::string::npos ? exe : exe.substr(slash + 1);
  // The configuration follows the program's own name, whatever wrapper
  // (such as a sanitizer build) started it.
  if (in.program_name.empty()) in.program_name = "pelvar";
  in.pelvar_home = Env("PELVAR_HOME");
  in.xdg_config_home = Env("XDG_CONFIG_HOME");
  in.home = Env("HOME");

  const FolderChoice choice = ChooseProgramFolder(
      in, [](const std::string& path) { return platform::ThreadFileSystem().IsFile(path); });
  ProgramLocation loc;
  loc.folder = choice.folder;
  loc.program_name = in.program_name;
  loc.executable_folder = in.exe_folder;
  loc.config_path = Join(loc.folder, loc.ConfigFileName());
  if (!choice.seed_from.empty() && !platform::ThreadFileSystem().IsFile(loc.config_path)) {
    SeedFolder(platform::ThreadFileSystem(), choice.seed_from, loc.folder);
  }
  return loc;
}

}  // namespace pelvar::app
