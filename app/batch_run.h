// The batch run of the checked scripts of the catalogue: path checks, the
// run's own log lines around the scripts, the log file, the processing time,
// the count and the closing beep and message. Shared by the main window's
// "Start" button and the headless --batch run.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/clock.h"
#include "app/make_iso.h"
#include "engine/run_log.h"
#include "engine/run_view.h"
#include "engine/script_context.h"

namespace pelvar {
class CommandSet;
}

namespace pelvar::app {

// A checked catalogue entry.
struct BatchScript {
  std::string title;
  std::string path;
};

// The three options of the end of a run.
struct BatchOptions {
  bool write_log_file = false;  // "Create log file (log.txt)"
  bool beep = false;            // "Beep after processing"
  bool show_message = false;    // "Show message after processing"
  // MakeIsoAfterBatch: a batch that logged no failure makes the ISO image of
  // the target folder after its last script (app/make_iso.h).
  bool make_iso = false;
};

struct BatchRequest {
  RunPaths paths;
  size_t entry_count = 0;            // entries in the catalogue, checked or not
  std::vector<BatchScript> scripts;  // the checked entries in catalogue order
  BatchOptions options;
  std::string program_folder;  // where log.txt goes
  // Nothing is changed: the log's first and last lines say so.
  bool dry_run = false;
};

// What a batch asks of the window (or console) that runs it, besides the
// run view that carries the log, the status and the progress bar.
class BatchHost {
 public:
  virtual ~BatchHost() = default;
  // An information dialog with one OK button; returns when it is closed.
  // Lines are separated by CR.
  virtual void ShowInformation(std::string_view text) = 0;
  // The error box of an error that ended the run.
  virtual void ShowError(std::string_view text) = 0;
  virtual void SetProgressPanelVisible(bool visible) = 0;
  // The progress panel's title label.
  virtual void SetRunTitle(std::string_view text) = 0;
  // Empties the log list.
  virtual void ClearLog() = 0;
  // Selects the log line at `index`, scrolls it into view and focuses it.
  virtual void SelectLogLine(size_t index) = 0;
  virtual void Beep() = 0;
};

enum class BatchOutcome {
  kNotStarted,  // a check failed or nothing was checked; a dialog said why
  kCompleted,
  kStopped,  // the user stopped it; the closing steps were done
  kError,    // an error ended it; the error box showed it
};

// The texts of the checks, CR between lines.
inline constexpr const char* kInvalidIsoText =
    "Invalid ISO filename or ISO filename path.\rPlease select a valid path before continuing.";
inline constexpr const char* kInvalidTargetText =
    "Invalid Target directory path.\rPlease select a valid path before continuing.";
inline constexpr const char* kNoScriptsText =
    "No scripts available to process.\rPlease add scripts to the \"Scripts\" directory before "
    "continuing.";
inline constexpr const char* kNothingCheckedText =
    "No scripts available to process.\rPlease select at least one file to process before "
    "continuing..";
inline constexpr const char* kFinishedText = "\rProcess finished!";
inline constexpr const char* kStoppedText = "Run stopped by the user";

// The first and last lines of a dry run's log.
inline constexpr const char* kDryRunFirstText = "Dry run: nothing will be changed";
inline constexpr const char* kDryRunLastText = "Dry run finished: nothing was changed";

// "1 command failed", "3 commands failed".
std::string FailedCountText(size_t failed);
// The failure lines (kind 0) among `lines`.
size_t FailedLineCount(const std::vector<LogLine>& lines);
// The count line at the end of a batch: with no failed line "Script has been
// sucessfully processed!" or "N scripts have been processed!"; with some,
// "Script has been processed: " or "N scripts have been processed: ", then
// their number ("3 commands failed").
std::string BatchClosingText(size_t processed, size_t failed);
// The closing message: "\rProcess finished!", and on a line of its own the
// number of failed lines when there are some.
std::string FinishedMessage(size_t failed);

// The first failing check of the paths and the catalogue, or nullopt.
std::optional<std::string> ValidateBatch(const RunPaths& paths, size_t entry_count);

// The main window's "Make ISO" on its own: the log list emptied, the
// progress panel shown with the title "Make ISO (FILE)", the image made, and
// an information dialog with the reason when it was refused or failed.
MakeIsoResult RunMakeIsoJob(const MakeIsoRequest& request, platform::Services& services,
                            RunView& view, BatchHost& host);

// Runs one batch. Lines go to `view`, which the scripts share; the log as it
// stands is kept here too for the log file.
class BatchRun {
 public:
  BatchRun(RunView& view, BatchHost& host, const Clock& clock, const CommandSet& commands,
           platform::Services& services);
  ~BatchRun();
  BatchRun(const BatchRun&) = delete;
  BatchRun& operator=(const BatchRun&) = delete;

  BatchOutcome Run(const BatchRequest& request);

  // The log list as the batch left it (emptied at the start of a run).
  const std::vector<LogLine>& log() const;
  // The failed lines of the commands of the last batch (not the closing
  // line that counts them, nor a stop line).
  size_t failed() const { return failed_; }

 private:
  class LogRecorder;
  BatchOutcome RunScripts(const BatchRequest& request);
  // MakeIsoAfterBatch: the image, when the scripts logged no failure.
  MakeIsoResult MakeIsoAfterScripts(const BatchRequest& request);

  std::unique_ptr<LogRecorder> recorder_;
  size_t failed_ = 0;
  BatchHost& host_;
  const Clock& clock_;
  const CommandSet& commands_;
  platform::Services& services_;
};

}  // namespace pelvar::app
