#include "app/headless_batch.h"

#include "app/batch_run.h"
#include "app/console_run_view.h"
#include "app/headless_run.h"
#include "app/program_services.h"
#include "app/program_settings.h"
#include "app/script_catalogue.h"
#include "app/stop_signals.h"
#include "commands/builtin_commands.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/terminal.h"

namespace pelvar::app {

namespace {

// The console side of a batch: dialogs become lines on the error stream.
class ConsoleBatchHost : public BatchHost {
 public:
  ConsoleBatchHost(ConsoleRunView& view, std::FILE* err, bool terminal)
      : view_(view), err_(err), terminal_(terminal) {}

  void ShowInformation(std::string_view text) override { Print(text); }
  void ShowError(std::string_view text) override { Print(text); }
  void SetProgressPanelVisible(bool) override {}
  void SetRunTitle(std::string_view text) override { view_.SetStatus(text); }
  void ClearLog() override {}
  void SelectLogLine(size_t) override {}
  void Beep() override {
    if (!terminal_ || !platform::IsTerminal(err_)) return;
    std::fputc('\a', err_);
    std::fflush(err_);
  }

 private:
  void Print(std::string_view text) {
    view_.Flush();
    std::string shown(text);
    // A leading CR only opens the dialog's text with a blank line.
    if (!shown.empty() && shown.front() == '\r') shown.erase(0, 1);
    PrintConsoleMessage(err_, shown);
  }

  ConsoleRunView& view_;
  std::FILE* err_;
  bool terminal_;
};

}  // namespace

BatchArguments ParseBatchArguments(const std::vector<std::string>& args) {
  BatchArguments out;
  out.options = ParseRunArguments(args);
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool option = IContains(arg, "/TargetDir=") || IContains(arg, "/SourceDir=") ||
                        IContains(arg, "/IsoFile=") || IContains(arg, "/silent") ||
                        IContains(arg, "/PressKey");
    if (!option) {
      out.folder = arg;
      break;
    }
  }
  return out;
}

std::string ResolveBatchFolder(const std::string& program_folder, const std::string& folder) {
  for (const std::string& caption : ListScriptFolders(program_folder)) {
    if (IEquals(caption, folder)) return ScriptFolderPath(program_folder, caption);
  }
  return folder;
}

int RunHeadlessBatch(const BatchArguments& args, const ProgramLocation& location,
                     const Clock& clock, std::FILE* out, std::FILE* err, bool terminal) {
  ProgramConfig config = ProgramConfig::Load(location.config_path);
  if (!config.exists()) {
    PrintConsoleMessage(err, MissingConfigMessage(location.ConfigFileName()));
    return kExitMissingFile;
  }
  const ProgramSettings settings = ReadProgramSettings(config);
  const std::string caption = args.folder.empty() ? settings.last_used_folder : args.folder;
  std::string folder = ResolveBatchFolder(location.folder, caption);
  // The remembered folder is a caption of the folder list, never a path.
  if (args.folder.empty() && folder == caption) folder.clear();
  const auto entries = folder.empty() ? std::nullopt : ListScripts(folder);
  if (!entries) {
    PrintConsoleMessage(err, "\"" + caption + "\" folder was not found!");
    return kExitMissingFile;
  }

  BatchRequest request;
  request.paths = settings.paths;
  if (args.options.target_dir) request.paths.target_dir = *args.options.target_dir;
  if (args.options.source_dir) request.paths.source_dir = *args.options.source_dir;
  if (args.options.iso_file) request.paths.iso_file = *args.options.iso_file;
  request.entry_count = entries->size();
  for (const ScriptEntry& entry : *entries) {
    if (entry.checked) request.scripts.push_back({entry.title, entry.path});
  }
  request.options = settings.run_options;
  request.program_folder = location.folder;

  ProgramServices services(config, location);
  ConsoleRunView view(out, err, terminal, /*keep_lines=*/false);
  ConsoleBatchHost host(view, err, terminal);
  BatchRun batch(view, host, clock, commands::BuiltinCommands(), services.services());
  const BatchOutcome outcome = batch.Run(request);
  view.Flush();
  if (StopSignal() != 0 && outcome != BatchOutcome::kNotStarted) return StopSignalExitStatus();
  switch (outcome) {
    case BatchOutcome::kCompleted:
    case BatchOutcome::kStopped:
      // The closing line that counts the failed lines is none of them.
      return CompletedStatus(batch.failed(), err);
    case BatchOutcome::kNotStarted:
      return kExitNotStarted;
    case BatchOutcome::kError:
      return kExitError;
  }
  return kExitError;
}

}  // namespace pelvar::app
