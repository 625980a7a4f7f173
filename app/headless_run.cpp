#include "app/headless_run.h"

#include <string>

#include "app/command_line_run.h"
#include "app/console_run_view.h"

namespace pelvar::app {

void PrintConsoleMessage(std::FILE* err, std::string text) {
  for (char& c : text) {
    if (c == '\r') c = '\n';
  }
  std::fprintf(err, "%s\n", text.c_str());
  std::fflush(err);
}

int CompletedStatus(size_t failures, std::FILE* err) {
  if (failures == 0) return kExitCompleted;
  std::fprintf(err, "Failures logged: %zu\n", failures);
  std::fflush(err);
  return kExitCompletedWithFailures;
}

int RunHeadless(const RunArguments& args, const ProgramLocation& location, std::FILE* out,
                std::FILE* err, bool terminal) {
  ConsoleRunView view(out, err, terminal, /*keep_lines=*/false);
  view.SetStatus(ExecutingText(args));
  const CommandLineResult result = RunCommandLine(args, location, view);
  view.Flush();
  switch (result.outcome) {
    case CommandLineOutcome::kCompleted:
      view.SetStatus("Process finished!");
      view.Flush();
      return CompletedStatus(view.failures(), err);
    case CommandLineOutcome::kError:
      PrintConsoleMessage(err, result.message);
      return kExitError;
    case CommandLineOutcome::kScriptMissing:
    case CommandLineOutcome::kConfigMissing:
      PrintConsoleMessage(err, result.message);
      return kExitMissingFile;
  }
  return kExitError;
}

}  // namespace pelvar::app
