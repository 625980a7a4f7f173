#include "app/batch_run.h"

#include "app/stop_signals.h"

#include <algorithm>
#include <exception>

#include "app/elapsed_time.h"
#include "app/log_file.h"
#include "app/make_iso.h"
#include "commands/builtin_commands.h"
#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"

namespace pelvar::app {

// Passes everything to the window's view and keeps the log lines, so that
// the log file holds the list exactly as it stands.
class BatchRun::LogRecorder : public RunView {
 public:
  explicit LogRecorder(RunView& view) : view_(view) {}

  void SetProgressMax(int max) override { view_.SetProgressMax(max); }
  void SetProgressPosition(int position) override { view_.SetProgressPosition(position); }
  void SetStatus(std::string_view text) override { view_.SetStatus(text); }
  void AddLog(std::string_view text, LogKind kind, LogReveal reveal) override {
    lines_.push_back({std::string(text), kind, {}});
    view_.AddLog(text, kind, reveal);
  }
  void AddLogWithReason(std::string_view text, LogKind kind, LogReveal reveal,
                        const LogReason& reason) override {
    lines_.push_back({std::string(text), kind, std::string(reason.text), std::string(reason.script),
                      reason.line});
    view_.AddLogWithReason(text, kind, reveal, reason);
  }
  void ShowMessage(MessageKind kind, std::string_view caption, std::string_view text) override {
    view_.ShowMessage(kind, caption, text);
  }
  bool StopRequested() const override { return view_.StopRequested(); }
  void Flush() override { view_.Flush(); }
  void ShowOperationProgress(std::string_view operation, uint64_t files, uint64_t bytes,
                             bool finished) override {
    view_.ShowOperationProgress(operation, files, bytes, finished);
  }

  void Append(std::string_view text, LogKind kind) { AddLog(text, kind, LogReveal::kAppend); }
  void Clear() { lines_.clear(); }
  const std::vector<LogLine>& lines() const { return lines_; }

 private:
  RunView& view_;
  std::vector<LogLine> lines_;
};

namespace {

// The folder part of a path field must be an existing folder.
bool FolderPartExists(const std::string& field) {
  if (field.empty()) return false;
  const std::string folder = FolderPrefixOfPath(field);
  return !folder.empty() && platform::ThreadFileSystem().IsFolder(folder);
}

}  // namespace

std::string FailedCountText(size_t failed) {
  return std::to_string(failed) + (failed == 1 ? " command failed" : " commands failed");
}

size_t FailedLineCount(const std::vector<LogLine>& lines) {
  size_t count = 0;
  for (const LogLine& line : lines) {
    if (line.kind == LogKind::kFailure) ++count;
  }
  return count;
}

std::string BatchClosingText(size_t processed, size_t failed) {
  if (failed == 0) {
    return processed > 1 ? std::to_string(processed) + " scripts have been processed!"
                         : "Script has been sucessfully processed!";
  }
  const std::string scripts = processed > 1
                                  ? std::to_string(processed) + " scripts have been processed: "
                                  : "Script has been processed: ";
  return scripts + FailedCountText(failed);
}

std::string FinishedMessage(size_t failed) {
  if (failed == 0) return kFinishedText;
  return std::string(kFinishedText) + "\r" + FailedCountText(failed);
}

std::optional<std::string> ValidateBatch(const RunPaths& paths, size_t entry_count) {
  if (!FolderPartExists(paths.iso_file)) return std::string(kInvalidIsoText);
  if (!FolderPartExists(paths.target_dir)) return std::string(kInvalidTargetText);
  if (entry_count == 0) return std::string(kNoScriptsText);
  return std::nullopt;
}

BatchRun::BatchRun(RunView& view, BatchHost& host, const Clock& clock, const CommandSet& commands,
                   platform::Services& services)
    : recorder_(std::make_unique<LogRecorder>(view)),
      host_(host),
      clock_(clock),
      commands_(commands),
      services_(services) {}

BatchRun::~BatchRun() = default;

const std::vector<LogLine>& BatchRun::log() const {
  return recorder_->lines();
}

BatchOutcome BatchRun::Run(const BatchRequest& request) {
  if (const auto problem = ValidateBatch(request.paths, request.entry_count)) {
    host_.ShowInformation(*problem);
    return BatchOutcome::kNotStarted;
  }
  RunFailure failure;
  try {
    return RunScripts(request);
  } catch (const std::exception& e) {
    failure = FailureOf(e);
  }
  LogRunFailure(*recorder_, failure);
  commands::UnloadRunHives(services_, *recorder_);
  host_.SetProgressPanelVisible(false);
  host_.ShowError(failure.Report('\r'));
  return BatchOutcome::kError;
}

MakeIsoResult RunMakeIsoJob(const MakeIsoRequest& request, platform::Services& services,
                            RunView& view, BatchHost& host) {
  host.ClearLog();
  host.SetProgressPanelVisible(true);
  view.SetProgressPosition(0);
  host.SetRunTitle("Make ISO (" + FileNameOfPath(request.iso_file) + ")");
  std::string reason;
  const MakeIsoResult result = MakeIso(request, services, view, &reason);
  host.SetProgressPanelVisible(false);
  if (result == MakeIsoResult::kRefused || result == MakeIsoResult::kFailed) {
    host.ShowInformation("Failed to create ISO image: \"" + request.iso_file + "\"\r" + reason);
  }
  return result;
}

MakeIsoResult BatchRun::MakeIsoAfterScripts(const BatchRequest& request) {
  LogRecorder& log = *recorder_;
  // Failures as the exit status counts them: lines of kind 0.
  const size_t failures = static_cast<size_t>(
      std::count_if(log.lines().begin(), log.lines().end(),
                    [](const LogLine& line) { return line.kind == LogKind::kFailure; }));
  if (failures > 0) {
    log.AddLog("ISO image not made: the scripts logged " + std::to_string(failures) +
                   (failures == 1 ? " failure" : " failures"),
               LogKind::kNote, LogReveal::kSelect);
    return MakeIsoResult::kRefused;
  }
  log.AddLog("", LogKind::kSpacer, LogReveal::kSelect);
  host_.SetRunTitle("Make ISO (" + FileNameOfPath(request.paths.iso_file) + ")");
  MakeIsoRequest iso;
  iso.target_dir = request.paths.target_dir;
  iso.iso_file = request.paths.iso_file;
  return MakeIso(iso, services_, log);
}

BatchOutcome BatchRun::RunScripts(const BatchRequest& request) {
  failed_ = 0;
  LogRecorder& log = *recorder_;
  host_.SetProgressPanelVisible(true);
  log.SetProgressPosition(0);
  host_.ClearLog();
  log.Clear();
  const std::chrono::milliseconds start = clock_.Now();

  if (request.dry_run) log.Append(kDryRunFirstText, LogKind::kInfo);
  log.Append("Starting to process the following scripts: ", LogKind::kNote);
  for (const BatchScript& script : request.scripts) log.Append(script.title, LogKind::kScript);
  if (request.scripts.empty()) {
    host_.SetProgressPanelVisible(false);
    host_.ShowInformation(kNothingCheckedText);
    host_.ClearLog();
    log.Clear();
    return BatchOutcome::kNotStarted;
  }
  log.Append("", LogKind::kSpacer);

  size_t processed = 0;
  bool stopped = false;
  // The failed lines of the commands; the stop line is none.
  size_t failed = 0;
  for (const BatchScript& script : request.scripts) {
    ScriptContext context = CreateScriptContext(request.paths, log, commands_, services_);
    log.AddLog("", LogKind::kSpacer, LogReveal::kSelect);
    log.AddLog("", LogKind::kSpacer, LogReveal::kSelect);
    log.Append("Processing script: " + script.title, LogKind::kScript);
    host_.SetRunTitle(script.title + " (" + FileNameOfPath(script.path) + ")");
    ++processed;
    RunScript(context, script.path, "process");
    if (log.StopRequested()) {
      failed = FailedLineCount(log.lines());
      log.AddLog(StopSignal() != 0 ? kSignalStoppedText : kStoppedText, LogKind::kFailure,
                 LogReveal::kSelect);
      stopped = true;
      break;
    }
    log.AddLog("Finished processing script: " + script.title, LogKind::kNote, LogReveal::kScroll);
  }
  commands::UnloadRunHives(services_, log);
  // The image is made once the hives are written back into the target.
  if (!stopped && request.options.make_iso &&
      MakeIsoAfterScripts(request) == MakeIsoResult::kStopped) {
    log.AddLog(StopSignal() != 0 ? kSignalStoppedText : kStoppedText, LogKind::kFailure,
               LogReveal::kSelect);
    stopped = true;
  }
  log.Append("", LogKind::kSpacer);

  if (request.options.write_log_file) {
    const std::string path = WriteLogFile(request.program_folder, log.lines());
    log.AddLog("Log file created as \"" + path + "\"", LogKind::kNote, LogReveal::kSelect);
  }
  log.AddLog("Processing time: " + ElapsedTimeWording(clock_.Now() - start), LogKind::kInfo,
             LogReveal::kSelect);
  // A stopped run was not processed: its stop line stands instead. Failed
  // lines are counted in the closing line, which is then a failure itself.
  if (!stopped) {
    failed = FailedLineCount(log.lines());
    const std::string text = BatchClosingText(processed, failed);
    log.AddLog(text, failed > 0 ? LogKind::kFailure : LogKind::kNote, LogReveal::kSelect);
  }
  if (request.dry_run) log.AddLog(kDryRunLastText, LogKind::kInfo, LogReveal::kSelect);
  log.AddLog("", LogKind::kSpacer, LogReveal::kSelect);
  host_.SelectLogLine(log.lines().size() - 2);
  host_.SetProgressPanelVisible(false);
  if (request.options.beep) host_.Beep();
  failed_ = failed;
  if (request.options.show_message) host_.ShowInformation(FinishedMessage(failed));
  return stopped ? BatchOutcome::kStopped : BatchOutcome::kCompleted;
}

}  // namespace pelvar::app
