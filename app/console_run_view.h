// The view of a headless run: log lines go to an output stream as they are
// added. Into a pipe or file each line is "<kind digit><TAB><text>"; on a
// terminal a symbol per kind (coloured) stands before the text, and the
// progress and status are shown as one transient line at the bottom, which
// the next log line replaces. Output into a pipe is batched and flushed at
// least every 50 ms, at Flush() and at destruction.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/run_view.h"

namespace pelvar::app {

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
  void ShowMessage(MessageKind kind, std::string_view caption, std::string_view text) override;
  void Flush() override;

  const std::vector<LogLine>& lines() const { return lines_; }
  void ClearLines() { lines_.clear(); }

 private:
  void FlushIfDue();
  void FlushOutput();
  void ClearStatusLine();
  void DrawStatusLine();

  std::FILE* out_;
  std::FILE* err_;
  bool terminal_;
  bool keep_lines_;
  int progress_max_ = 0;
  int progress_ = 0;
  std::string status_;
  bool status_shown_ = false;
  std::chrono::steady_clock::time_point last_status_;
  std::string buffer_;
  std::chrono::steady_clock::time_point last_flush_;
  std::vector<LogLine> lines_;
};

}  // namespace pelvar::app
