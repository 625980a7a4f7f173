// Finds a script's faults without running it: every line that is certain to
// end a run, and lines that do nothing or may end a run depending on the
// files. The script is read exactly as a run reads it
// (the same section reading, variable table, expansion, field splitting and
// search chain), and nothing is changed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/ini_model.h"
#include "engine/script_context.h"

namespace pelvar::app {

enum class Severity {
  kError,    // a run ends here, whatever the files and the registry hold
  kWarning,  // the line does nothing, or not what it seems to, or may end the
             // run depending on the files
};

struct Finding {
  uint32_t line = 0;  // in the script file, from 1; 0 for the script as a whole
  Severity severity = Severity::kWarning;
  std::string message;

  bool operator==(const Finding&) const = default;
};

// "error: MESSAGE" or "warning: MESSAGE".
std::string FindingText(const Finding& finding);

// "SCRIPT:LINE: error: MESSAGE" (the compilers' form; "SCRIPT: ..." without a
// line).
std::string FormatFinding(std::string_view script, const Finding& finding);

// The checks of one script. Built once per script; the editor checks single
// lines against it as they are edited.
class ScriptChecker {
 public:
  // Reads the script (a missing file reads as empty) and prepares the
  // variable table from `context`'s folders and paths, as a run would.
  ScriptChecker(std::string_view script, ScriptContext& context);
  ~ScriptChecker();
  ScriptChecker(const ScriptChecker&) = delete;
  ScriptChecker& operator=(const ScriptChecker&) = delete;

  // Every finding of the script, by line.
  std::vector<Finding> CheckAll() const;
  // The findings of one process line (as written in the script) if it stood
  // at `number`; what the section reader would do to it is included.
  std::vector<Finding> CheckLine(std::string_view line, uint32_t number) const;

 private:
  void CheckEmbeddedData(std::vector<Finding>& out) const;
  void CheckReaderStops(std::vector<Finding>& out) const;
  void CheckExtract(std::string_view name, const std::vector<std::string>& fields, uint32_t number,
                    std::vector<Finding>& out) const;

  // True when the first text section of the embedded file holds lines.
  bool Embedded(std::string_view folder, std::string_view file) const;
  // The same for a key of a folder's index, as folder extraction matches it.
  bool EmbeddedTrimmed(std::string_view folder, std::string_view key) const;

  std::string script_;
  ScriptContext& context_;
  IniModel model_;  // without the embedded files' texts
  // The first text section of each embedded file, by its folded name: true
  // when it holds lines.
  std::unordered_map<std::string, bool> embedded_;
};

// Checks one script with the folders of `services` and the given paths. A
// missing script is one error finding.
std::vector<Finding> CheckScriptFile(std::string_view script, const RunPaths& paths,
                                     platform::Services& services);

// For the editor's line dialog: the findings of `line` (as written) if it
// stood at `number` in the script, with the script's variables.
std::vector<Finding> CheckScriptLine(std::string_view script, std::string_view line,
                                     uint32_t number, const RunPaths& paths,
                                     platform::Services& services);

// The editor's line dialog: the findings of the line being typed, checked
// against the script as it stands (read once, when built).
class LineChecker {
 public:
  // `services` must outlive the checker.
  LineChecker(std::string_view script, const RunPaths& paths, platform::Services& services);
  ~LineChecker();
  LineChecker(const LineChecker&) = delete;
  LineChecker& operator=(const LineChecker&) = delete;

  // The findings of `line` (as written) if it stood at `number`.
  std::vector<Finding> Check(std::string_view line, uint32_t number) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// "checked N scripts: E errors, W warnings" ("no findings" when clean).
std::string CheckSummary(size_t scripts, const std::vector<Finding>& findings);

}  // namespace pelvar::app
