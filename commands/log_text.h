// Pieces shared by the commands' log texts.
#pragma once

#include <string>
#include <string_view>

#include "engine/dispatcher.h"

namespace pelvar::commands {

// The text between double quotes, as paths and values stand in log lines.
inline std::string Quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  out.append(text);
  out.push_back('"');
  return out;
}

// Writes the success line (kind 1) or the failure line (kind 0) at once.
inline void LogOutcome(CommandCall& call, bool ok, std::string_view success,
                       std::string_view failure) {
  call.Log(ok ? success : failure, ok ? LogKind::kSuccess : LogKind::kFailure);
}

// Makes the success line (kind 1) or the failure line (kind 0) the pending
// log line.
inline void PendOutcome(CommandCall& call, bool ok, std::string success, std::string failure) {
  if (ok) {
    call.SetPending(std::move(success), LogKind::kSuccess, std::move(failure));
  } else {
    call.SetPending(std::move(failure), LogKind::kFailure);
  }
}

}  // namespace pelvar::commands
