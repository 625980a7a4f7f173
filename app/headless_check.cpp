#include "app/headless_check.h"

#include <algorithm>

#include "app/program_registry.h"
#include "app/registry_system_folders.h"
#include "app/run_arguments.h"
#include "app/script_check.h"
#include "engine/text.h"
#include "platform/directory_listing.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"

namespace pelvar::app {

struct CheckServices::Owned {
  std::unique_ptr<RegistrySystemFolders> folders;
};

CheckServices::CheckServices(const ProgramConfig& config, const ProgramLocation& location)
    : owned_(std::make_unique<Owned>()) {
  // The store is only read, when %programfilesdir% is asked for.
  owned_->folders = std::make_unique<RegistrySystemFolders>(
      platform::ThreadFileSystem(), RegistryStorePath(location), SeedProgramFilesDir(config),
      config.Read(config::kWindowsDir), config.Read(config::kWindowsSystemDir));
  services_.folders = owned_->folders.get();
}

CheckServices::~CheckServices() = default;

namespace {

bool IsScriptName(std::string_view name) {
  return name.size() > 7 && IEquals(name.substr(name.size() - 7), ".script");
}

void CollectScripts(platform::FileSystem& files, const std::string& folder,
                    std::vector<std::string>& out) {
  std::vector<platform::DirectoryEntry> entries;
  if (files.List(folder, entries)) return;
  for (const auto& entry : entries) {
    const std::string path = (folder == "/" ? "" : folder) + "/" + entry.name;
    if (entry.is_directory) {
      if (!entry.is_link) CollectScripts(files, path, out);
    } else if (IsScriptName(entry.name)) {
      out.push_back(path);
    }
  }
}

}  // namespace

std::vector<std::string> ScriptsToCheck(platform::FileSystem& files, const std::string& argument) {
  if (!files.IsFolder(argument)) return {argument};
  std::string folder = argument;
  while (folder.size() > 1 && IsPathSeparator(folder.back())) folder.pop_back();
  std::vector<std::string> out;
  CollectScripts(files, folder, out);
  const platform::PathCollator& collator = platform::DefaultPathCollator();
  std::sort(out.begin(), out.end(), [&collator](const std::string& a, const std::string& b) {
    return collator.Compare(a, b) < 0;
  });
  return out;
}

int RunCheck(const std::vector<std::string>& args, const ProgramLocation& location, std::FILE* out,
             std::FILE* err) {
  const RunArguments options = ParseRunArguments(args);
  std::vector<std::string> named;
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (IContains(arg, "/TargetDir=") || IContains(arg, "/SourceDir=") ||
        IContains(arg, "/IsoFile=")) {
      continue;
    }
    named.push_back(arg);
  }
  if (named.empty()) {
    std::fputs("pelvar --check: name a script or a folder of scripts\n", err);
    return 2;
  }
  const ProgramConfig config = ProgramConfig::Load(location.config_path);
  RunPaths paths = config.Paths();
  if (options.target_dir) paths.target_dir = *options.target_dir;
  if (options.source_dir) paths.source_dir = *options.source_dir;
  if (options.iso_file) paths.iso_file = *options.iso_file;
  CheckServices services(config, location);

  size_t scripts = 0;
  std::vector<Finding> all;
  for (const std::string& argument : named) {
    for (const std::string& script : ScriptsToCheck(platform::ThreadFileSystem(), argument)) {
      ++scripts;
      for (Finding& finding : CheckScriptFile(script, paths, services.services())) {
        std::fprintf(out, "%s\n", FormatFinding(script, finding).c_str());
        all.push_back(std::move(finding));
      }
    }
  }
  std::fprintf(out, "%s\n", CheckSummary(scripts, all).c_str());
  std::fflush(out);
  return all.empty() ? 0 : 1;
}

}  // namespace pelvar::app
