// The run log: lines of text with a kind (the index of the line's icon).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
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
  // Where the failed line stands: the script's path as given and its line
  // number (from 1); empty and 0 when not known.
  std::string script = {};
  size_t line = 0;

  // "SCRIPT:LINE" ("SCRIPT" without a line number); empty when not known.
  std::string Place() const;
};

// How a new line is shown: appended only, appended and scrolled into view,
// or appended, selected, scrolled into view and repainted (AddLogLine).
enum class LogReveal { kAppend, kScroll, kSelect };

// Texts of the lines, one per line, each ended by CR LF (the log file form).
std::string LogFileText(const std::vector<LogLine>& lines);

// One line per log line, each ended by CR LF, of four tab-separated fields:
// the kind's number, the text, the reason and the place ("SCRIPT:LINE");
// tabs and line breaks inside a field become blanks.
std::string DetailedLogFileText(const std::vector<LogLine>& lines);

}  // namespace pelvar
