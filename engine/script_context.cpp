#include "engine/script_context.h"

#include "engine/dispatcher.h"
#include "engine/ini_file.h"
#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/posix_file_system.h"
#include "platform/registry.h"
#include "platform/system_folders.h"

namespace pelvar {

ScriptContext CreateScriptContext(const RunPaths& paths, RunView& view, const CommandSet& commands,
                                  platform::Services& services) {
  ScriptContext context(view, commands, services);
  if (services.folders == nullptr) throw ScriptError("The system folders are not available");
  const platform::SystemFolders& folders = *services.folders;
  context.temp_dir = folders.TempDir();
  context.windows_dir = folders.WindowsDir();
  context.system_dir = folders.SystemDir();
  context.program_files_dir = folders.ProgramFilesDir();
  if (context.windows_dir.empty() || context.system_dir.empty()) {
    throw ScriptError("The system cannot find the path specified");
  }
  context.source_dir = paths.source_dir;
  context.target_dir = paths.target_dir;
  context.iso_file = paths.iso_file;
  return context;
}

platform::FileSystem& ScriptContext::files() const {
  return services.files != nullptr ? *services.files : platform::ThreadFileSystem();
}

void AddLogLine(ScriptContext& context, std::string_view text, LogKind kind) {
  context.view.AddLog(text, kind, LogReveal::kSelect);
}

void RunScript(ScriptContext& context, std::string_view script_file, std::string_view section) {
  context.script_dir = FolderOfScriptPath(script_file);
  context.script_file = std::string(script_file);

  // The script is read once for both sections, and only they are kept: the
  // sections of embedded files, often most of the file, are passed over.
  const IniModel model =
      IniModel::LoadSections(context.files(), script_file, [section](std::string_view name) {
        return IEquals(name, "variables") || IEquals(name, section);
      });
  std::vector<std::string> own;
  const int vars = model.FindSection("variables");
  if (vars >= 0) own = model.sections()[static_cast<size_t>(vars)].lines;
  VariableTable& table = context.variables;
  table.Assign(std::move(own));
  table.Append("%targetdir%", context.target_dir);
  table.Append("%sourcedir%", context.source_dir);
  table.Append("%tempdir%", context.temp_dir);
  table.Append("%windowsdir%", context.windows_dir);
  table.Append("%windowssystemdir%", context.system_dir);
  table.Append("%programfilesdir%", context.program_files_dir);
  table.Append("%scriptdir%", context.script_dir);
  table.Append("%scriptfile%", context.script_file);
  table.Append("%isofile%", context.iso_file);

  const size_t count = table.size();
  for (size_t i = 0; i < count; ++i) {
    const std::string name(table.NameAt(i));
    if (name.empty()) continue;  // takes no part in expansion
    table.SetValue(name, ExpandVariables(table, table.Value(name)));
  }

  const std::vector<std::string> lines = ReadSectionLines(model, section);
  context.view.SetStatus("Processing commands..");
  context.view.SetProgressMax(static_cast<int>(lines.size()));
  try {
    for (size_t i = 0; i < lines.size(); ++i) {
      if (context.view.StopRequested()) break;
      context.view.SetProgressPosition(static_cast<int>(i + 1));
      DispatchLine(context, lines[i]);
    }
  } catch (...) {
    CommitRegistry(context);
    throw;
  }
  CommitRegistry(context);
}

void CommitRegistry(ScriptContext& context) {
  platform::Registry* registry = context.services.registry;
  if (registry == nullptr) return;
  const platform::RegistryResult r = registry->CommitPending();
  if (!r.ok())
    AddLogLine(context, "Failed to save registry changes: " + r.message, LogKind::kFailure);
}

}  // namespace pelvar
