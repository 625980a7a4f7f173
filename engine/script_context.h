// The context of one script run: system folders, the user's paths, the view
// that shows the run, the variable table, the command set and the services.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ini_model.h"
#include "engine/run_view.h"
#include "engine/script_error.h"
#include "engine/variable_table.h"
#include "platform/services.h"

namespace pelvar {

class CommandSet;

// The three paths the user chose.
struct RunPaths {
  std::string target_dir;
  std::string source_dir;
  std::string iso_file;
};

// A variable whose value rests on one of the three paths while that path is
// empty: the path variable itself, or a script variable built on it.
struct EmptyPathVariable {
  std::string name;  // as the table holds it, e.g. "%config%"
  std::string path;  // the empty path's variable, e.g. "%targetdir%"
};

struct ScriptContext {
  ScriptContext(RunView& v, const CommandSet& c, platform::Services& s)
      : view(v), commands(c), services(s) {}

  std::string temp_dir;  // ends with a separator
  std::string windows_dir;
  std::string system_dir;
  std::string program_files_dir;
  std::string script_dir;   // folder part of the script path
  std::string script_file;  // the script path as passed
  std::string source_dir;
  std::string target_dir;
  std::string iso_file;
  // Number in the script file of the line being dispatched; 0 between lines.
  uint32_t line_number = 0;
  RunView& view;
  VariableTable variables;
  // Filled by RunScript: lines that use these variables are refused.
  std::vector<EmptyPathVariable> empty_paths;
  const CommandSet& commands;
  platform::Services& services;

  // The file system of the run (the thread's real one when the services
  // name none).
  platform::FileSystem& files() const;
};

// Builds a context: the system folders from the services, the paths as
// given, an empty variable table. Raises a ScriptError when a system folder
// cannot be determined.
ScriptContext CreateScriptContext(const RunPaths& paths, RunView& view, const CommandSet& commands,
                                  platform::Services& services);

// The script's sections that a run of `section` reads: "variables" and it.
IniModel LoadScriptSections(platform::FileSystem& files, std::string_view script_file,
                            std::string_view section);

// Sets the script folder and file and fills the variable table as a run
// does: the script's first "variables" section, the nine built-ins, then one
// expansion pass over the table.
void PrepareVariables(ScriptContext& context, std::string_view script_file, const IniModel& model);

// Runs the named section of a script: fills and expands the variable table,
// reads the section's lines and dispatches each in order, moving the
// progress bar. Stops early, between lines, when the view asks to stop.
// A line of a command that acts on files, the registry or programs, and
// that uses an empty path (directly or through a variable built on it),
// ends the run with EmptyPathText before it runs.
void RunScript(ScriptContext& context, std::string_view script_file, std::string_view section);

// The error text for a line that uses `variable` while its path is empty.
std::string EmptyPathText(const EmptyPathVariable& variable);

// The first empty-path variable that `line` uses (ignoring case), or null.
const EmptyPathVariable* FindEmptyPathUse(const ScriptContext& context, std::string_view line);

// Writes back the registry changes held during the run (open hive files);
// a failure becomes a failure line of the log. RunScript does it when the
// script ends, however it ends.
void CommitRegistry(ScriptContext& context);

// The place of a dispatched line: the line as written in the file when the
// file still holds it at that number, else the line as the run read it.
ScriptPlace PlaceOfLine(platform::FileSystem& files, std::string_view script_file, uint32_t number,
                        std::string_view line);

// Logs an error that ended a run: its text, then the place it was raised.
void LogRunFailure(RunView& view, const RunFailure& failure);

// Appends a line to the context's log: selected, scrolled to and shown.
void AddLogLine(ScriptContext& context, std::string_view text, LogKind kind);

// Appends a failure line with its reason and the number of the script line
// that runs.
void AddFailureLine(ScriptContext& context, std::string_view text, std::string_view reason);

// Expands the context's variables in a text.
inline std::string ExpandVariables(const ScriptContext& context, std::string_view text) {
  return ExpandVariables(context.variables, text);
}

}  // namespace pelvar
