#include "app/command_line_run.h"

#include <exception>

#include "app/batch_run.h"
#include "app/console_run_view.h"
#include "app/dry_run.h"
#include "app/program_config.h"
#include "app/program_services.h"
#include "commands/builtin_commands.h"
#include "engine/script_context.h"
#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"

namespace pelvar::app {

std::string ExecutingText(const RunArguments& args) {
  return "Executing: \"" + args.script + "\"";
}

std::string ScriptNotFoundText(const RunArguments& args) {
  return "\"" + FileNameOfPath(args.script) + "\" file was not found!";
}

FailureSummary SummariseFailures(const std::vector<LogLine>& lines) {
  FailureSummary summary;
  summary.failed = FailedLineCount(lines);
  if (summary.failed == 0) return summary;
  summary.count_text = FailedCountText(summary.failed);
  for (const LogLine& line : lines) {
    if (line.kind != LogKind::kFailure) continue;
    std::string place;
    if (!line.script.empty()) {
      place = FileNameOfPath(line.script);
      if (line.line > 0) place += ":" + std::to_string(line.line);
    }
    if (!line.reason.empty()) {
      summary.first = place.empty() ? line.reason : place + ": " + line.reason;
    } else {
      summary.first = line.text;
    }
    summary.first_details = line.Place().empty() ? line.text : line.Place() + ": " + line.text;
    if (!line.reason.empty()) summary.first_details += " (" + line.reason + ")";
    break;
  }
  return summary;
}

namespace {

CommandLineResult RunWith(const RunArguments& args, const RunPaths& paths,
                          platform::Services& services, RunView& view) {
  RunFailure failure;
  try {
    ScriptContext context = CreateScriptContext(paths, view, commands::BuiltinCommands(), services);
    RunScript(context, args.script, "process");
    commands::UnloadRunHives(services, view);
    return {};
  } catch (const std::exception& e) {
    failure = FailureOf(e);
  }
  LogRunFailure(view, failure);
  commands::UnloadRunHives(services, view);
  return {CommandLineOutcome::kError, failure.Report('\r')};
}

}  // namespace

CommandLineResult RunCommandLine(const RunArguments& args, const ProgramLocation& location,
                                 RunView& view) {
  if (!args.has_script || !platform::ThreadFileSystem().IsFile(args.script)) {
    return {CommandLineOutcome::kScriptMissing, ScriptNotFoundText(args)};
  }
  const ProgramConfig config = ProgramConfig::Load(location.config_path);
  if (!config.exists()) {
    return {CommandLineOutcome::kConfigMissing, MissingConfigMessage(location.ConfigFileName())};
  }
  RunPaths paths = config.Paths();
  if (args.target_dir) paths.target_dir = *args.target_dir;
  if (args.source_dir) paths.source_dir = *args.source_dir;
  if (args.iso_file) paths.iso_file = *args.iso_file;

  if (args.dry_run) {
    DryRunServices services(config, location);
    DryRunView::Emit emit;
    if (auto* console = dynamic_cast<ConsoleRunView*>(&view)) {
      emit = [console](std::string_view line) { console->AddPlainLine(line); };
    }
    DryRunView dry(view, services.journal(), std::move(emit));
    dry.AddLog(kDryRunFirstText, LogKind::kInfo, LogReveal::kAppend);
    CommandLineResult result = RunWith(args, paths, services.services(), dry);
    dry.FlushChanges();
    dry.AddLog(kDryRunLastText, LogKind::kInfo, LogReveal::kAppend);
    return result;
  }
  ProgramServices services(config, location);
  return RunWith(args, paths, services.services(), view);
}

}  // namespace pelvar::app
