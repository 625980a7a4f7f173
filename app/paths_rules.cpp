#include "app/paths_rules.h"

#include "engine/text.h"

namespace pelvar::app {

std::string IsoFileForFolder(const std::string& current, const std::string& folder) {
  std::string name = FileNameOfPath(current);
  if (name.empty()) name = kDefaultIsoName;
  const size_t dot = name.rfind('.');
  const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
  if (!IEquals(extension, ".iso")) {
    name = (dot == std::string::npos ? name : name.substr(0, dot)) + ".iso";
  }
  const std::string joined = folder + "/" + name;
  std::string out;
  out.reserve(joined.size());
  for (char c : joined) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(c);
  }
  return out;
}

}  // namespace pelvar::app
