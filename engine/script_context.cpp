#include "engine/script_context.h"

#include <algorithm>

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

namespace {

struct PathSetting {
  const char* variable;
  const char* wording;  // what the path is
  const char* key;      // its key in [main] of the configuration
  const char* option;   // its command-line option
};
constexpr PathSetting kPathSettings[] = {
    {"%targetdir%", "the target folder", "targetdir", "/TargetDir=DIR"},
    {"%sourcedir%", "the source folder", "sourcedir", "/SourceDir=DIR"},
    {"%isofile%", "the ISO file", "isofile", "/IsoFile=FILE"},
};

// Marks the path variables that are empty and not set by the script itself,
// then every script variable whose value names a marked one, until no more
// are found.
std::vector<EmptyPathVariable> FindEmptyPaths(const VariableTable& table, size_t own_lines,
                                              const ScriptContext& context) {
  std::vector<EmptyPathVariable> marked;
  const std::string* values[] = {&context.target_dir, &context.source_dir, &context.iso_file};
  for (size_t i = 0; i < 3; ++i) {
    const int line = table.Find(kPathSettings[i].variable);
    if (values[i]->empty() && line >= 0 && static_cast<size_t>(line) >= own_lines) {
      marked.push_back({kPathSettings[i].variable, kPathSettings[i].variable});
    }
  }
  for (bool grown = !marked.empty(); grown;) {
    grown = false;
    for (size_t i = 0; i < own_lines; ++i) {
      const std::string_view name = table.NameAt(i);
      if (name.empty()) continue;
      const bool known = std::any_of(marked.begin(), marked.end(),
                                     [&](const auto& m) { return IEquals(m.name, name); });
      if (known) continue;
      const std::string_view value = table.ValueAt(i);
      for (const EmptyPathVariable& m : marked) {
        if (IContains(value, m.name)) {
          marked.push_back({std::string(name), m.path});
          grown = true;
          break;
        }
      }
    }
  }
  return marked;
}

}  // namespace

std::string EmptyPathText(const EmptyPathVariable& variable) {
  const PathSetting* setting = &kPathSettings[0];
  for (const PathSetting& s : kPathSettings) {
    if (variable.path == s.variable) setting = &s;
  }
  std::string text = IEquals(variable.name, variable.path)
                         ? variable.name + " is empty"
                         : variable.name + " is built on " + variable.path + ", which is empty";
  return text + ": set " + setting->wording + " (" + setting->key +
         "= in [main] of pelvar.ini, or " + setting->option + ")";
}

const EmptyPathVariable* FindEmptyPathUse(const ScriptContext& context, std::string_view line) {
  for (const EmptyPathVariable& v : context.empty_paths) {
    if (IContains(line, v.name)) return &v;
  }
  return nullptr;
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

void AddFailureLine(ScriptContext& context, std::string_view text, std::string_view reason) {
  const LogReason where{reason, context.script_file, context.line_number};
  context.view.AddLogWithReason(text, LogKind::kFailure, LogReveal::kSelect, where);
}

void PrepareVariables(ScriptContext& context, std::string_view script_file, const IniModel& model) {
  context.script_dir = FolderOfScriptPath(script_file);
  context.script_file = std::string(script_file);
  std::vector<std::string> own;
  const int vars = model.FindSection("variables");
  if (vars >= 0) own = model.sections()[static_cast<size_t>(vars)].lines;
  const size_t own_lines = own.size();
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

  context.empty_paths = FindEmptyPaths(table, own_lines, context);

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
  // Empty lines (the one that closes the section) are no steps.
  const auto steps =
      std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return !l.empty(); });
  context.view.SetProgressMax(static_cast<int>(steps));
  int step = 0;
  try {
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].empty()) continue;
      if (context.view.StopRequested()) break;
      context.view.SetProgressPosition(++step);
      context.line_number = numbers[i];
      try {
        DispatchLine(context, lines[i]);
      } catch (ScriptError& error) {
        if (error.place() == nullptr)
          error.set_place(PlaceOfLine(context.files(), script_file, numbers[i], lines[i]));
        throw;
      } catch (const std::exception& error) {
        ScriptError named(error.what());
        named.set_place(PlaceOfLine(context.files(), script_file, numbers[i], lines[i]));
        throw named;
      }
    }
  } catch (...) {
    context.line_number = 0;
    CommitRegistry(context);
    throw;
  }
  context.line_number = 0;
  CommitRegistry(context);
}

void CommitRegistry(ScriptContext& context) {
  platform::Registry* registry = context.services.registry;
  if (registry == nullptr) return;
  const platform::RegistryResult r = registry->CommitPending();
  if (!r.ok()) AddFailureLine(context, "Failed to save registry changes: " + r.message, r.message);
}

}  // namespace pelvar
