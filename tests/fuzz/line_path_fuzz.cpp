// The path of a script line: the variable table is filled and expanded, then
// lines are expanded, split and dispatched to commands that only read their
// fields. Expanding by pieces must agree with the pass-by-pass rule, and no
// input may crash, hang or grow without bound.
//
// Input: variables lines, a NUL byte, then command lines.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dispatcher.h"
#include "engine/line_fields.h"
#include "engine/script_context.h"
#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/system_folders.h"

namespace {

class NullView : public pelvar::RunView {
 public:
  void SetProgressMax(int) override {}
  void SetProgressPosition(int) override {}
  void SetStatus(std::string_view) override {}
  void AddLog(std::string_view, pelvar::LogKind, pelvar::LogReveal) override {}
  void ShowMessage(pelvar::MessageKind, std::string_view, std::string_view) override {}
};

// Reads the fields a command of the table reads, and nothing else.
void ReadFields(pelvar::CommandCall& call) {
  call.PadFields(4);
  for (size_t i = 2; i < call.field_count() && i < 6; ++i) (void)call.Field(i);
  call.SetPending(call.Field(2), pelvar::LogKind::kSuccess);
}

const pelvar::CommandSet& NoOpCommands() {
  static const pelvar::CommandSet set = [] {
    pelvar::CommandSet s;
    for (const char* name : pelvar::kCommandNames) s.Set(name, ReadFields);
    return s;
  }();
  return set;
}

constexpr size_t kMaxVariables = 48;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string_view variables = input.substr(0, split);
  const std::string_view commands =
      split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

  NullView view;
  pelvar::platform::FixedSystemFolders folders{"/win", "/win/system32", "/opt"};
  pelvar::platform::Services services;
  services.folders = &folders;
  pelvar::ScriptContext context = pelvar::CreateScriptContext({"/target dir", "/source", "/x.iso"},
                                                              view, NoOpCommands(), services);
  pelvar::VariableTable& table = context.variables;
  pelvar::VariableTable by_rule;
  // The reference expands pass by pass, one scan of the text per variable:
  // with many variables and texts near the length limit a single input would
  // take seconds. Long tables are covered by the unit tests.
  std::vector<std::string> lines = pelvar::SplitTextLines(variables);
  if (lines.size() > kMaxVariables) lines.resize(kMaxVariables);
  try {
    table.Assign(lines);
    by_rule.Assign(lines);
    table.Append("%targetdir%", context.target_dir);
    by_rule.Append("%targetdir%", context.target_dir);
    for (size_t i = 0; i < table.size(); ++i) {
      const std::string name(table.NameAt(i));
      if (name.empty()) continue;
      table.SetValue(name, table.Expand(table.Value(name)));
      by_rule.SetValue(name, by_rule.ExpandPassByPass(by_rule.Value(name)));
      if (table.Value(name) != by_rule.Value(name)) std::abort();
    }
  } catch (const pelvar::ScriptError&) {
    return 0;  // a limit was reached: the run would end here
  }
  for (const std::string& line : pelvar::SplitTextLines(commands)) {
    std::string expanded;
    try {
      expanded = table.Expand(line);
    } catch (const pelvar::ScriptError&) {
      continue;
    }
    if (expanded.size() > pelvar::kMaxExpandedLine && expanded != line) std::abort();
    try {
      if (by_rule.ExpandPassByPass(line) != expanded) std::abort();
    } catch (const pelvar::ScriptError&) {
      // the rule passes through a longer text on its way: only its limit differs
    }
    (void)pelvar::SplitFields(expanded);
    try {
      pelvar::DispatchLine(context, line);
    } catch (const pelvar::ScriptError&) {
      // a missing field ends the run, as it should
    }
  }
  return 0;
}
