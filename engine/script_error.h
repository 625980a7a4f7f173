// The one error that ends a run: it carries the exact text the user sees.
// Outcomes that a command can report (a missing file, a refused copy) are log
// lines instead; only faults the scripts cannot recover from are raised.
#pragma once

#include <stdexcept>
#include <string>

namespace pelvar {

class ScriptError : public std::runtime_error {
 public:
  explicit ScriptError(const std::string& text) : std::runtime_error(text) {}
};

// "List index out of bounds (%d)".
[[noreturn]] void ThrowIndexError(long long index);

// "Cannot create file \"%s\". %s" with the system's reason.
[[noreturn]] void ThrowCannotCreate(const std::string& path, const std::string& reason);

// The text as an error box shows it: a full stop is appended unless the text
// is empty or its last character is a full stop or sorts before it.
std::string ErrorDisplayText(const std::string& text);

}  // namespace pelvar
