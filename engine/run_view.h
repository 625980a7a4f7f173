// What a run shows while it goes on: the calling window's progress bar,
// status label and log list, and the dialogs commands ask for. The windows,
// the headless runner and tests each implement it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/run_log.h"

namespace pelvar {

enum class MessageKind { kInformation, kWarning, kError, kConfirmation };

// Why a failure line failed, and the script line that failed.
struct LogReason {
  std::string_view text;    // the system's message, HTTP status, tool's message
  std::string_view script;  // the script's path as given
  size_t line = 0;          // its line number (from 1); 0 when not known
};

class RunView {
 public:
  virtual ~RunView() = default;

  // Progress bar: maximum and position (shown at once).
  virtual void SetProgressMax(int max) = 0;
  virtual void SetProgressPosition(int position) = 0;
  // Status label text (shown at once).
  virtual void SetStatus(std::string_view text) = 0;
  // Adds a line to the log list, shown as `reveal` says.
  virtual void AddLog(std::string_view text, LogKind kind, LogReveal reveal) = 0;
  // Adds a failure line with its reason. Views without a place for reasons
  // show the line only.
  virtual void AddLogWithReason(std::string_view text, LogKind kind, LogReveal reveal,
                                const LogReason& /*reason*/) {
    AddLog(text, kind, reveal);
  }
  // A modal message with one OK button; returns when it is closed.
  virtual void ShowMessage(MessageKind kind, std::string_view caption, std::string_view text) = 0;
  // True once the user asked the run to stop; checked between lines.
  virtual bool StopRequested() const { return false; }
  // Makes everything shown so far visible now (called before a command hands
  // the terminal to another program or waits).
  virtual void Flush() {}
  // Progress of a long file operation (a folder copy or move): files and
  // bytes done so far; `finished` once it has ended. Views may ignore it.
  virtual void ShowOperationProgress(std::string_view /*operation*/, uint64_t /*files*/,
                                     uint64_t /*bytes*/, bool /*finished*/) {}
};

}  // namespace pelvar
