// The one error that ends a run: it carries the exact text the user sees.
// Outcomes that a command can report (a missing file, a refused copy) are log
// lines instead; only faults the scripts cannot recover from are raised.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pelvar {

// Where in a script a line stands: the script path as the run was given it,
// the line's number in the file (from 1) and the line as written there.
struct ScriptPlace {
  std::string script;
  uint32_t line = 0;
  std::string text;
};

// "SCRIPT:LINE", the form compilers use, so that editors can jump to it.
std::string PlaceText(std::string_view script, uint32_t line);

class ScriptError : public std::runtime_error {
 public:
  explicit ScriptError(const std::string& text) : std::runtime_error(text) {}

  // The line that raised the error, once the run has named it.
  const ScriptPlace* place() const { return place_.get(); }
  void set_place(ScriptPlace place) { place_ = std::make_shared<const ScriptPlace>(place); }

 private:
  std::shared_ptr<const ScriptPlace> place_;  // shared: copying stays noexcept
};

// "List index out of bounds (%d)".
[[noreturn]] void ThrowIndexError(long long index);

// "Cannot create file \"%s\". %s" with the system's reason.
[[noreturn]] void ThrowCannotCreate(const std::string& path, const std::string& reason);

// The text as an error box shows it: a full stop is appended unless the text
// is empty or its last character is a full stop or sorts before it.
std::string ErrorDisplayText(const std::string& text);

// An error that ended a run, as the places that show it need it.
struct RunFailure {
  std::string text;                  // the display text
  std::optional<ScriptPlace> place;  // where it was raised, when in a line

  // "SCRIPT:LINE: TEXT", `line_break` and the line as written; the text alone
  // without a place.
  std::string Report(char line_break) const;
  // The log line that names the place ("SCRIPT:LINE: " + the line); empty
  // without a place.
  std::string PlaceLogText() const;
};

// The failure of an exception caught where a run ends.
RunFailure FailureOf(const std::exception& error);

}  // namespace pelvar
