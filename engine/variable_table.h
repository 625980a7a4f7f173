// The variable table of a run: ordered lines name=value. A name is the text
// before the first "="; lookups ignore the case of A-Z and take the first
// line bearing the name. Lines without "=" take no part in expansion.
//
// Names are indexed in a hash table, so a lookup costs the same with 20
// variables or 20,000. Expansion is bounded: a line never grows beyond
// kMaxExpandedLine characters and the values together never beyond
// kMaxTableText; either ends the run with a ScriptError naming the variable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pelvar {

// The longest text that expanding variables may produce: 1 MiB.
inline constexpr size_t kMaxExpandedLine = size_t{1} << 20;
// The most text that the values of a table may hold together: 64 MiB.
inline constexpr size_t kMaxTableText = size_t{64} << 20;

class VariableTable {
 public:
  void Clear();
  // Replaces the table by these lines (name=value, or text without "=").
  void Assign(std::vector<std::string> lines);
  void Append(std::string_view name, std::string_view value);
  size_t size() const { return lines_.size(); }

  // Name of line i (empty for a line without "=").
  std::string_view NameAt(size_t i) const { return lines_[i].name; }
  // Value of line i as it stands (the whole line when it has no "=").
  std::string_view ValueAt(size_t i) const { return lines_[i].value; }
  // Index of the first line bearing `name`; -1 when none.
  int Find(std::string_view name) const;
  // Value of the first line bearing `name`; empty when none.
  std::string Value(std::string_view name) const;
  // Sets the value of the first line bearing `name`, appending one if none.
  // Raises a ScriptError when the table would exceed kMaxTableText.
  void SetValue(std::string_view name, std::string_view value);

  // Replaces, for each line of the table in order, every occurrence of its
  // name (ignoring case) by the value the name looks up. Each name scans the
  // text once, left to right; later names see what earlier ones inserted.
  // Raises a ScriptError naming the variable whose value makes the text
  // longer than kMaxExpandedLine.
  std::string Expand(std::string_view text) const;

  // The same result computed pass by pass, as the rule above reads; the
  // reference that Expand falls back to and is tested against.
  std::string ExpandPassByPass(std::string_view text) const;

 private:
  struct Line {
    std::string name;   // empty for a line without "="
    std::string value;  // the whole line when it has no "="
    int id = -1;        // index into names_, -1 without a name
  };
  struct Name {
    std::vector<uint32_t> passes;  // the lines bearing it, in order
  };
  // A text expanded for the passes from some line on, with the positions
  // where expanded values begin and end.
  struct Piece {
    std::string text;
    std::vector<uint32_t> cuts;
  };

  void AddLine(std::string name, std::string value, bool has_equals);
  int LookupId(std::string_view name) const;
  int NextPass(int id, size_t from) const;
  void ForgetExpansions() const;
  bool ExpandByPieces(std::string_view text, std::string& out) const;
  bool CutsAreSafe(const Piece& piece) const;
  [[noreturn]] void ThrowTooLong(size_t pass) const;

  std::vector<Line> lines_;
  std::vector<Name> names_;
  std::unordered_map<std::string, uint32_t> ids_;  // folded name -> names_ index
  size_t value_bytes_ = 0;
  // Expanding by pieces needs every name to be "%X%" (X non-empty, no "%").
  size_t odd_names_ = 0;
  size_t longest_name_ = 0;

  // Expansions of the value of line p for the passes after p, kept between
  // calls while the values they read stay unchanged.
  mutable std::vector<Piece> memo_;
  mutable std::vector<uint8_t> memo_valid_;
  mutable size_t memo_bytes_ = 0;
  mutable std::string fold_;
};

inline std::string ExpandVariables(const VariableTable& table, std::string_view text) {
  return table.Expand(text);
}

}  // namespace pelvar
