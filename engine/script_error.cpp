#include "engine/script_error.h"

namespace pelvar {

std::string PlaceText(std::string_view script, uint32_t line) {
  std::string out(script);
  out.push_back(':');
  out.append(std::to_string(line));
  return out;
}

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

std::string RunFailure::Report(char line_break) const {
  if (!place) return text;
  return PlaceText(place->script, place->line) + ": " + text + line_break + place->text;
}

std::string RunFailure::PlaceLogText() const {
  if (!place) return {};
  return PlaceText(place->script, place->line) + ": " + place->text;
}

RunFailure FailureOf(const std::exception& error) {
  RunFailure failure;
  failure.text = ErrorDisplayText(error.what());
  if (const auto* script_error = dynamic_cast<const ScriptError*>(&error)) {
    if (const ScriptPlace* place = script_error->place()) failure.place = *place;
  }
  return failure;
}

}  // namespace pelvar
