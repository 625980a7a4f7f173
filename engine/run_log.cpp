#include "engine/run_log.h"

namespace pelvar {

namespace {

// A field of the detailed form: tabs and line breaks inside it become blanks
// so that each log line stays one line of four fields.
void AppendField(std::string& out, std::string_view field) {
  for (const char c : field) out.push_back(c == '\t' || c == '\r' || c == '\n' ? ' ' : c);
}

}  // namespace

std::string LogLine::Place() const {
  if (script.empty()) return {};
  return line > 0 ? script + ":" + std::to_string(line) : script;
}

std::string LogFileText(const std::vector<LogLine>& lines) {
  std::string out;
  for (const auto& l : lines) {
    out.append(l.text);
    out.append("\r\n");
  }
  return out;
}

std::string DetailedLogFileText(const std::vector<LogLine>& lines) {
  std::string out;
  for (const auto& l : lines) {
    out.append(std::to_string(KindNumber(l.kind)));
    out.push_back('\t');
    AppendField(out, l.text);
    out.push_back('\t');
    AppendField(out, l.reason);
    out.push_back('\t');
    AppendField(out, l.Place());
    out.append("\r\n");
  }
  return out;
}

}  // namespace pelvar
