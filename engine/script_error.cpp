#include "engine/script_error.h"

namespace pelvar {

void ThrowIndexError(long long index) {
  throw ScriptError("List index out of bounds (" + std::to_string(index) + ")");
}

void ThrowCannotCreate(const std::string& path, const std::string& reason) {
  throw ScriptError("Cannot create file \"" + path + "\". " + reason);
}

std::string ErrorDisplayText(const std::string& text) {
  if (text.empty()) return text;
  const auto last = static_cast<unsigned char>(text.back());
  if (last > static_cast<unsigned char>('.')) return text + ".";
  return text;
}

}  // namespace pelvar
