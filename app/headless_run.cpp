#include "app/headless_run.h"

#include <exception>
#include <string>

#include "app/console_run_view.h"
#include "app/program_config.h"
#include "app/program_services.h"
#include "commands/builtin_commands.h"
#include "engine/script_context.h"
#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/file_system.h"

namespace pelvar::app {

namespace {

void PrintMessage(std::FILE* err, std::string text) {
  for (char& c : text) {
    if (c == '\r') c = '\n';
  }
  std::fprintf(err, "%s\n", text.c_str());
  std::fflush(err);
}

}  // namespace

int RunHeadless(const RunArguments& args, const ProgramLocation& location, std::FILE* out,
                std::FILE* err, bool terminal) {
  if (!args.has_script || !platform::IsFile(args.script)) {
    PrintMessage(err, "\"" + FileNameOfPath(args.script) + "\" file was not found!");
    return kExitMissingFile;
  }
  const ProgramConfig config = ProgramConfig::Load(location.config_path);
  if (!config.exists()) {
    PrintMessage(err, MissingConfigMessage(location.ConfigFileName()));
    return kExitMissingFile;
  }
  RunPaths paths = config.Paths();
  if (args.target_dir) paths.target_dir = *args.target_dir;
  if (args.source_dir) paths.source_dir = *args.source_dir;

  ProgramServices services(config, location);
  ConsoleRunView view(out, err, terminal, /*keep_lines=*/false);
  view.SetStatus("Executing: \"" + args.script + "\"");
  std::string failure;
  try {
    ScriptContext context =
        CreateScriptContext(paths, view, commands::BuiltinCommands(), services.services());
    RunScript(context, args.script, "process");
  } catch (const ScriptError& e) {
    failure = ErrorDisplayText(e.what());
  } catch (const std::exception& e) {
    failure = ErrorDisplayText(e.what());
  }
  if (!failure.empty()) {
    view.AddLog(failure, LogKind::kFailure, LogReveal::kSelect);
    view.Flush();
    PrintMessage(err, failure);
    return kExitError;
  }
  view.SetStatus("Process finished!");
  view.Flush();
  return kExitCompleted;
}

}  // namespace pelvar::app
