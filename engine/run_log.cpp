#include "engine/run_log.h"

namespace pelvar {

std::string LogFileText(const std::vector<LogLine>& lines) {
  std::string out;
  for (const auto& l : lines) {
    out.append(l.text);
    out.append("\r\n");
  }
  return out;
}

}  // namespace pelvar
