#include "engine/variable_table.h"

#include "engine/text.h"

namespace pelvar {

void VariableTable::Append(std::string_view name, std::string_view value) {
  std::string line;
  line.reserve(name.size() + 1 + value.size());
  line.append(name).append("=").append(value);
  lines_.push_back(std::move(line));
}

std::string_view VariableTable::NameAt(size_t i) const {
  const std::string& line = lines_[i];
  const size_t eq = line.find('=');
  if (eq == std::string::npos) return {};
  return std::string_view(line).substr(0, eq);
}

int VariableTable::Find(std::string_view name) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    const std::string& line = lines_[i];
    const size_t eq = line.find('=');
    if (eq != std::string::npos && IEquals(std::string_view(line).substr(0, eq), name)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::string VariableTable::Value(std::string_view name) const {
  const int i = Find(name);
  if (i < 0) return {};
  const std::string& line = lines_[static_cast<size_t>(i)];
  return line.substr(line.find('=') + 1);
}

void VariableTable::SetValue(std::string_view name, std::string_view value) {
  const int i = Find(name);
  if (i < 0) {
    Append(name, value);
    return;
  }
  std::string& line = lines_[static_cast<size_t>(i)];
  line.resize(line.find('=') + 1);
  line.append(value);
}

std::string ExpandVariables(const VariableTable& table, std::string_view text) {
  std::string result(text);
  for (size_t i = 0; i < table.size(); ++i) {
    const std::string_view name = table.NameAt(i);
    if (name.empty() || IFind(result, name) == std::string::npos) continue;
    result = IReplaceAll(result, name, table.Value(name));
  }
  return result;
}

}  // namespace pelvar
