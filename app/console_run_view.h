// The view of a headless run: log lines go to an output stream as they are
// added. Into a pipe or file each line is "<kind digit><TAB><text>"; on a
// terminal a symbol per kind (coloured) stands before the text. When the
// error stream is a terminal too, the progress and status are shown there
// as one transient line at the bottom, which the next log line replaces. Output into a pipe is
// batched and flushed at least every 50 ms, at Flush() and at destruction.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/run_view.h"

namespace pelvar::app {

// Appends a log text with its control characters written as \n, \r, \t or
// \xHH (codes 0 to 31 and 127), so that one log line stays one output line
// and cannot move the cursor of a terminal. Other bytes are kept as they are.
void AppendEscaped(std::string& out, std::string_view text);

class ConsoleRunView : public RunView {
 public:
  // `out` receives the log; `err` the status and messages. `terminal` picks
  // the readable form; `keep_lines` keeps the log for saving.
  ConsoleRunView(std::FILE* out, std::FILE* err, bool terminal, bool keep_lines);
  ~ConsoleRunView() override;

  void SetProgressMax(int max) override { progress_max_ = max; }
  void SetProgressPosition(int position) override;
  void SetStatus(std::string_view text) override;
  void AddLog(std::string_view text, LogKind kind, LogReveal reveal) override;
  // The line as AddLog shows it, and "SCRIPT:LINE: REASON" on the error
  // stream (without ":LINE" when the line is not known).
  void AddLogWithReason(std::string_view text, LogKind kind, LogReveal reveal,
                        const LogReason& reason) override;
  void ShowMessage(MessageKind kind, std::string_view caption, std::string_view text) override;
  // A line of the log's output that is not a log line (no kind), escaped as
  // log texts are; not kept.
  void AddPlainLine(std::string_view text);
  void Flush() override;
  // True once SIGTERM, SIGINT or SIGHUP has asked the run to stop.
  bool StopRequested() const override;
  // On a terminal, an operation that runs longer than half a second shows a
  // running count on the error stream, removed when it ends.
  void ShowOperationProgress(std::string_view operation, uint64_t files, uint64_t bytes,
                             bool finished) override;

  const std::vector<LogLine>& lines() const { return lines_; }
  // Failure lines (kind 0) added so far.
  size_t failures() const { return failures_; }
  void ClearLines() { lines_.clear(); }

 private:
  void FlushIfDue();
  void FlushOutput();
  void ClearStatusLine();
  void DrawStatusLine();

  std::FILE* out_;
  std::FILE* err_;
  bool terminal_;
  bool status_shown_on_err_;  // the log and the error stream are terminals
  bool keep_lines_;
  int progress_max_ = 0;
  int progress_ = 0;
  std::string status_;
  bool status_shown_ = false;
  std::chrono::steady_clock::time_point last_status_;
  std::string buffer_;
  std::chrono::steady_clock::time_point last_flush_;
  std::vector<LogLine> lines_;
  size_t failures_ = 0;
  bool operation_running_ = false;
  bool progress_shown_ = false;
  std::chrono::steady_clock::time_point operation_start_;
  std::chrono::steady_clock::time_point last_progress_;
};

}  // namespace pelvar::app
