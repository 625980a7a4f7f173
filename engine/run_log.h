// The run log: lines of text with a kind (the index of the line's icon).
#pragma once

#include <string>
#include <vector>

namespace pelvar {

enum class LogKind : int {
  kFailure = 0,  // red cross: a command failed
  kSuccess = 1,  // green tick: a command succeeded
  kNote = 2,     // light bulb: notes of a batch run
  kSkipped = 3,  // red cross: the skip line of extractallfilesifnotexist
  kMissing = 4,  // question mark: a single filecopy without source
  kWarning = 5,  // exclamation mark: dirmake of an existing folder
  kScript = 6,   // list window: script names
  kSpacer = 7,   // no picture: empty spacer lines
  kInfo = 8,     // speech bubble: echo texts and the processing time
};

inline int KindNumber(LogKind kind) {
  return static_cast<int>(kind);
}

struct LogLine {
  std::string text;
  LogKind kind = LogKind::kFailure;
  // Why a failure line failed (the system's message, the HTTP status, the
  // tool's message); empty when not known. Not part of the line's text.
  std::string reason = {};
};

// How a new line is shown: appended only, appended and scrolled into view,
// or appended, selected, scrolled into view and repainted (AddLogLine).
enum class LogReveal { kAppend, kScroll, kSelect };

// Texts of the lines, one per line, each ended by CR LF (the log file form).
std::string LogFileText(const std::vector<LogLine>& lines);

}  // namespace pelvar
