#include "engine/script_context.h"

#include "engine/dispatcher.h"
#include "engine/ini_file.h"
#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/posix_file_system.h"
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

ScriptPlace PlaceOfLine(platform::FileSystem& files, std::string_view script_file, uint32_t number,
                        std::string_view line) {
  ScriptPlace place{std::string(script_file), number, std::string(line)};
  // The file as it is now: a script that rewrote itself shows its line as
  // the run read it.
  try {
    if (auto raw = IniModel::ReadRawLine(files, script_file, number)) {
      if (IniModel::StoredForm(*raw) == line) place.text = std::move(*raw);
    }
  } catch (const std::exception&) {
  }
  return place;
}

void LogRunFailure(RunView& view, const RunFailure& failure) {
  view.AddLog(failure.text, LogKind::kFailure, LogReveal::kSelect);
  if (failure.place) view.AddLog(failure.PlaceLogText(), LogKind::kFailure, LogReveal::kSelect);
}

platform::FileSystem& ScriptContext::files() const {
  return services.files != nullptr ? *services.files : platform::ThreadFileSystem();
}

void AddLogLine(ScriptContext& context, std::string_view text, LogKind kind) {
  context.view.AddLog(text, kind, LogReveal::kSelect);
}

void PrepareVariables(ScriptContext& context, std::string_view script_file, const IniModel& model) {
  context.script_dir = FolderOfScriptPath(script_file);
  context.script_file = std::string(script_file);
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
}

IniModel LoadScriptSections(platform::FileSystem& files, std::string_view script_file,
                            std::string_view section) {
  // Only the two sections a run reads are kept: the sections of embedded
  // files, often most of the file, are passed over.
  return IniModel::LoadSections(files, script_file, [section](std::string_view name) {
    return IEquals(name, "variables") || IEquals(name, section);
  });
}

void RunScript(ScriptContext& context, std::string_view script_file, std::string_view section) {
  const IniModel model = LoadScriptSections(context.files(), script_file, section);
  PrepareVariables(context, script_file, model);

  std::vector<uint32_t> numbers;
  const std::vector<std::string> lines = ReadSectionLines(model, section, &numbers);
  context.view.SetStatus("Processing commands..");
  context.view.SetProgressMax(static_cast<int>(lines.size()));
  for (size_t i = 0; i < lines.size(); ++i) {
    if (context.view.StopRequested()) break;
    context.view.SetProgressPosition(static_cast<int>(i + 1));
    context.line_number = numbers[i];
    try {
      DispatchLine(context, lines[i]);
    } catch (ScriptError& error) {
      if (error.place() == nullptr)
        error.set_place(PlaceOfLine(context.files(), script_file, numbers[i], lines[i]));
      context.line_number = 0;
      throw;
    } catch (const std::exception& error) {
      ScriptError named(error.what());
      named.set_place(PlaceOfLine(context.files(), script_file, numbers[i], lines[i]));
      context.line_number = 0;
      throw named;
    }
  }
  context.line_number = 0;
}

}  // namespace pelvar
