#include "engine/variable_table.h"

#include <algorithm>

#include "engine/script_error.h"
#include "engine/text.h"

// Expanding by pieces. The rule (each line's name replaced in turn over the
// whole text) costs one scan of the text per line of the table, and a chain
// of values that name the next variable costs the cube of its length. When
// every name has the form "%X%", an occurrence is always the text from one
// "%" to the next, and each occurrence that a line's pass replaces by its
// value is then worked on by the later passes alone. So the expansion of a
// value for the passes after its line can be computed once and inserted
// wherever the pass replaces the name; those expansions are remembered
// between calls until a value they read changes.
//
// Two things break that independence: occurrences sharing a "%" ("%a%b%"
// with both names defined) and a name that forms across the edge of an
// inserted value ("%a" + value "b%"). Every text between two "%" or edges
// of inserted values, in any order of insertion, is therefore looked up as
// a name; if one is found, the text is expanded pass by pass instead.

namespace pelvar {

namespace {

void PushCut(std::vector<uint32_t>& cuts, size_t at) {
  if (cuts.empty() || cuts.back() != at) cuts.push_back(static_cast<uint32_t>(at));
}

bool IsPercentName(std::string_view name) {
  return name.size() >= 3 && name.front() == '%' && name.back() == '%' &&
         name.substr(1, name.size() - 2).find('%') == std::string_view::npos;
}

}  // namespace

void VariableTable::Clear() {
  lines_.clear();
  names_.clear();
  ids_.clear();
  value_bytes_ = 0;
  odd_names_ = 0;
  longest_name_ = 0;
  ForgetExpansions();
}

void VariableTable::Assign(std::vector<std::string> lines) {
  Clear();
  lines_.reserve(lines.size());
  for (std::string& line : lines) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) {
      AddLine({}, std::move(line), false);
    } else {
      AddLine(line.substr(0, eq), line.substr(eq + 1), true);
    }
  }
  ForgetExpansions();
}

void VariableTable::Append(std::string_view name, std::string_view value) {
  AddLine(std::string(name), std::string(value), true);
  ForgetExpansions();
}

void VariableTable::AddLine(std::string name, std::string value, bool has_equals) {
  Line line;
  line.value = std::move(value);
  if (has_equals && !name.empty()) {
    fold_ = AsciiLowerCopy(name);
    const auto [it, added] = ids_.try_emplace(fold_, static_cast<uint32_t>(names_.size()));
    if (added) names_.emplace_back();
    line.id = static_cast<int>(it->second);
    names_[it->second].passes.push_back(static_cast<uint32_t>(lines_.size()));
    if (!IsPercentName(name)) ++odd_names_;
    longest_name_ = std::max(longest_name_, name.size());
    value_bytes_ += line.value.size();
  }
  line.name = std::move(name);
  lines_.push_back(std::move(line));
  if (value_bytes_ > kMaxTableText) {
    throw ScriptError("Variable \"" + lines_.back().name + "\" makes the variables longer than " +
                      IntToText(static_cast<long long>(kMaxTableText)) + " characters");
  }
}

int VariableTable::LookupId(std::string_view name) const {
  fold_.assign(name);
  for (char& c : fold_) c = AsciiLower(c);
  const auto it = ids_.find(fold_);
  return it == ids_.end() ? -1 : static_cast<int>(it->second);
}

int VariableTable::Find(std::string_view name) const {
  if (name.empty()) return -1;
  const int id = LookupId(name);
  return id < 0 ? -1 : static_cast<int>(names_[static_cast<size_t>(id)].passes.front());
}

std::string VariableTable::Value(std::string_view name) const {
  const int i = Find(name);
  return i < 0 ? std::string() : lines_[static_cast<size_t>(i)].value;
}

void VariableTable::SetValue(std::string_view name, std::string_view value) {
  const int id = name.empty() ? -1 : LookupId(name);
  if (id < 0) {
    Append(name, value);
    return;
  }
  const std::vector<uint32_t>& passes = names_[static_cast<size_t>(id)].passes;
  Line& line = lines_[passes.front()];
  value_bytes_ = value_bytes_ - line.value.size() + value.size();
  if (value_bytes_ > kMaxTableText) {
    value_bytes_ -= value.size();
    line.value.clear();
    throw ScriptError("Variable \"" + line.name + "\" makes the variables longer than " +
                      IntToText(static_cast<long long>(kMaxTableText)) + " characters");
  }
  line.value.assign(value);
  // Every expansion that may have read this value: those of the passes
  // before the name's last line, and those of its own lines.
  const size_t last = std::min<size_t>(passes.back() + size_t{1}, memo_valid_.size());
  std::fill(memo_valid_.begin(), memo_valid_.begin() + static_cast<std::ptrdiff_t>(last), 0);
}

int VariableTable::NextPass(int id, size_t from) const {
  const std::vector<uint32_t>& passes = names_[static_cast<size_t>(id)].passes;
  const auto it = std::lower_bound(passes.begin(), passes.end(), from);
  return it == passes.end() ? -1 : static_cast<int>(*it);
}

void VariableTable::ForgetExpansions() const {
  memo_.assign(lines_.size(), Piece{});
  memo_valid_.assign(lines_.size(), 0);
  memo_bytes_ = 0;
}

void VariableTable::ThrowTooLong(size_t pass) const {
  throw ScriptError("Variable \"" + lines_[pass].name + "\" makes the text longer than " +
                    IntToText(static_cast<long long>(kMaxExpandedLine)) + " characters");
}

std::string VariableTable::Expand(std::string_view text) const {
  if (names_.empty()) return std::string(text);
  if (odd_names_ == 0) {
    if (text.find('%') == std::string_view::npos) return std::string(text);
    std::string out;
    if (ExpandByPieces(text, out)) return out;
  }
  return ExpandPassByPass(text);
}

std::string VariableTable::ExpandPassByPass(std::string_view text) const {
  std::string result(text);
  std::string out;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (line.id < 0) continue;
    size_t pos = IFind(result, line.name);
    if (pos == std::string::npos) continue;
    const std::string& value = lines_[names_[static_cast<size_t>(line.id)].passes.front()].value;
    out.clear();
    size_t start = 0;
    while (pos != std::string::npos) {
      if (out.size() + (pos - start) + value.size() > kMaxExpandedLine) ThrowTooLong(i);
      out.append(result, start, pos - start);
      out.append(value);
      start = pos + line.name.size();
      pos = IFind(result, line.name, start);
    }
    if (out.size() + (result.size() - start) > kMaxExpandedLine) ThrowTooLong(i);
    out.append(result, start, std::string::npos);
    result.swap(out);
  }
  return result;
}

bool VariableTable::ExpandByPieces(std::string_view text, std::string& out) const {
  if (memo_.size() != lines_.size()) ForgetExpansions();
  // One frame per text being expanded: the command's text at the bottom,
  // above it the value of line `pass` for the passes after it. Passes rise
  // up the stack, so its depth is at most the number of lines.
  struct Frame {
    size_t pass;  // meaningless for the bottom frame
    std::string_view source;
    size_t from;  // the first pass that still applies
    size_t pos = 0;
    Piece piece;
    bool inserted = false;
    size_t last_pass = 0;
  };
  std::vector<Frame> stack;
  stack.push_back(Frame{0, text, 0, 0, {}, false, 0});
  for (;;) {
    bool descended = false;
    {
      Frame& frame = stack.back();
      const bool bottom = stack.size() == 1;
      const std::string_view src = frame.source;
      // A value's own text counts against the limit; so does a command's
      // text once a value has been inserted into it (naming the last one).
      auto append_literal = [&](size_t end) {
        if (frame.piece.text.size() + (end - frame.pos) > kMaxExpandedLine) {
          if (!bottom) ThrowTooLong(frame.pass);
          if (frame.inserted) ThrowTooLong(frame.last_pass);
        }
        frame.piece.text.append(src, frame.pos, end - frame.pos);
        frame.pos = end;
      };
      while (frame.pos < src.size()) {
        const size_t open = src.find('%', frame.pos);
        const size_t close = open == std::string_view::npos ? open : src.find('%', open + 1);
        if (close == std::string_view::npos) {
          append_literal(src.size());
          break;
        }
        const int id = LookupId(src.substr(open, close - open + 1));
        const int pass = id < 0 ? -1 : NextPass(id, frame.from);
        if (pass < 0) {  // not a name, or no pass left for it: the closing "%" may open one
          append_literal(close);
          continue;
        }
        const size_t p = static_cast<size_t>(pass);
        if (!memo_valid_[p]) {
          const Line& owner = lines_[names_[static_cast<size_t>(id)].passes.front()];
          stack.push_back(Frame{p, owner.value, p + 1, 0, {}, false, 0});
          descended = true;
          break;
        }
        append_literal(open);
        const Piece& value = memo_[p];
        const size_t start = frame.piece.text.size();
        if (start + value.text.size() > kMaxExpandedLine) ThrowTooLong(p);
        frame.piece.text.append(value.text);
        PushCut(frame.piece.cuts, start);
        for (const uint32_t cut : value.cuts) PushCut(frame.piece.cuts, start + cut);
        PushCut(frame.piece.cuts, frame.piece.text.size());
        frame.pos = close + 1;
        frame.inserted = true;
        frame.last_pass = p;
      }
    }
    if (descended) continue;
    if (stack.size() == 1) break;
    Frame done = std::move(stack.back());
    stack.pop_back();
    // The texts inside the value are checked now; the parent needs only the
    // cuts near its edges, where a name could cross into what surrounds it.
    if (!CutsAreSafe(done.piece)) return false;
    std::vector<uint32_t>& cuts = done.piece.cuts;
    const size_t reach = longest_name_ + 1;
    const size_t size = done.piece.text.size();
    cuts.erase(std::remove_if(cuts.begin(), cuts.end(),
                              [&](uint32_t c) { return c > reach && c + reach < size; }),
               cuts.end());
    const size_t bytes = done.piece.text.size() + done.piece.cuts.size() * sizeof(uint32_t);
    if (memo_bytes_ + bytes > kMaxTableText) ForgetExpansions();
    memo_bytes_ += bytes;
    memo_[done.pass] = std::move(done.piece);
    memo_valid_[done.pass] = 1;
  }
  Piece& result = stack.back().piece;
  if (!CutsAreSafe(result)) return false;
  out = std::move(result.text);
  return true;
}

bool VariableTable::CutsAreSafe(const Piece& piece) const {
  if (piece.cuts.empty() || longest_name_ < 3) return true;
  const std::string& text = piece.text;
  const size_t inner_max = longest_name_ - 2;
  const std::vector<uint32_t>& cuts = piece.cuts;
  size_t budget = 8 * text.size() + 65536;
  std::string candidate;
  // True when "%" + text[a, b) + "%" is a name.
  auto is_name = [&](size_t a, size_t b) {
    if (b <= a || b - a > inner_max) return false;
    if (b - a + 2 > budget) return true;  // too much work: take the safe path
    budget -= b - a + 2;
    candidate.assign("%").append(text, a, b - a).append("%");
    return LookupId(candidate) >= 0;
  };
  size_t last_real_pair = std::string::npos;
  for (size_t k = 0; k < cuts.size(); ++k) {
    const size_t b = cuts[k];
    // The nearest "%" on either side within reach of the longest name.
    const size_t back_limit = b > inner_max + 1 ? b - inner_max - 1 : 0;
    size_t left = std::string::npos;  // just after a "%" before b
    for (size_t i = b; i > back_limit; --i) {
      if (text[i - 1] == '%') {
        left = i;
        break;
      }
    }
    size_t right = std::string::npos;  // a "%" at or after b
    const size_t ahead_limit = std::min(text.size(), b + inner_max + 1);
    for (size_t i = b; i < ahead_limit; ++i) {
      if (text[i] == '%') {
        right = i;
        break;
      }
    }
    // b opens a text: it ends at a later cut or at the next "%".
    for (size_t m = k + 1; m < cuts.size() && cuts[m] - b <= inner_max; ++m) {
      if (right != std::string::npos && cuts[m] > right) break;
      if (is_name(b, cuts[m])) return false;
    }
    if (right != std::string::npos && is_name(b, right)) return false;
    // b closes a text that a "%" before it opens.
    if (left != std::string::npos && is_name(left, b)) return false;
    // The whole text between the two "%" around the cut.
    if (left != std::string::npos && right != std::string::npos && left != last_real_pair) {
      last_real_pair = left;
      if (is_name(left, right)) return false;
    }
  }
  return true;
}

}  // namespace pelvar
