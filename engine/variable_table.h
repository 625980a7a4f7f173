// The variable table of a run: ordered lines name=value. A name is the text
// before the first "="; lookups ignore the case of A-Z and take the first
// line bearing the name. Lines without "=" take no part in expansion.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelvar {

class VariableTable {
 public:
  void Clear() { lines_.clear(); }
  void Assign(std::vector<std::string> lines) { lines_ = std::move(lines); }
  void Append(std::string_view name, std::string_view value);
  const std::vector<std::string>& lines() const { return lines_; }
  size_t size() const { return lines_.size(); }

  // Name of line i (empty for a line without "=").
  std::string_view NameAt(size_t i) const;
  // Index of the first line bearing `name`; -1 when none.
  int Find(std::string_view name) const;
  // Value of the first line bearing `name`; empty when none.
  std::string Value(std::string_view name) const;
  // Sets the value of the first line bearing `name`, appending one if none.
  void SetValue(std::string_view name, std::string_view value);

 private:
  std::vector<std::string> lines_;
};

// Replaces, for each line of the table in order, every occurrence of its name
// (ignoring case) by the value the name looks up. Each name scans the text
// once, left to right; later names see what earlier ones inserted.
std::string ExpandVariables(const VariableTable& table, std::string_view text);

}  // namespace pelvar
