#include "app/script_check.h"

#include <algorithm>
#include <array>
#include <exception>
#include <set>

#include "app/reg_file.h"
#include "archive/embedded_files.h"
#include "commands/hex_bytes.h"
#include "engine/dispatcher.h"
#include "engine/ini_file.h"
#include "engine/integer_text.h"
#include "engine/line_fields.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"
#include "platform/registry.h"
#include "platform/registry_text.h"
#include "platform/registry_tool_stand_ins.h"

namespace pelvar::app {

namespace {

// What each row of the search chain reads: its argument names from field 2
// on, and how many empty fields the command appends before reading them.
struct Arguments {
  std::array<const char*, 4> names;
  size_t padded = 0;  // fields appended behind the given ones
  bool pad_to_four = false;

  size_t count() const {
    size_t n = 0;
    while (n < names.size() && names[n] != nullptr) ++n;
    return n;
  }
};

// In the order of kCommandNames.
const std::array<Arguments, 38> kArguments = {{
    {{"file"}},                                    // filecreateblank
    {{"file", "new name"}},                        // filerename
    {{"file"}},                                    // filedelete
    {{"source", "target"}},                        // filecopy
    {{"source", "target"}},                        // dircopy
    {{"source", "target"}},                        // dirmove
    {{"folder"}},                                  // dirdelete
    {{"folder"}},                                  // dirmake
    {{"file", "section"}},                         // inideletesection
    {{"file", "section"}},                         // iniaddsection
    {{"file", "section", "key", "value"}},         // iniwritekey
    {{"file", "section", "key"}},                  // inideletekey
    {{"file", "section", "text line"}},            // iniwritetextline
    {{"root", "key", "value name", "data"}},       // regwriteexpandstring
    {{"root", "key", "value name", "data"}},       // regwritestring
    {{"root", "key", "value name", "data"}},       // regwriteinteger
    {{"root", "key", "value name", "data"}},       // regwritedword
    {{"root", "key", "value name", "data"}},       // regwritebinary
    {{"root", "key", "value name", "data"}},       // regwritebool
    {{"root", "key", "subkey"}},                   // regdeletekey
    {{"hive name", "hive file"}},                  // reghiveload
    {{"hive name"}},                               // reghiveunload
    {{"verb", "file", "parameters"}},              // shellexecute
    {{"verb", "file", "parameters"}},              // shellexecuteex
    {{"sound"}},                                   // beep
    {{"text", "dialog kind"}, 0, true},            // message
    {{"text"}},                                    // echo
    {{"seconds"}},                                 // wait
    {{"address", "destination file"}},             // webget
    {{"folder", "file", "destination folder"}},    // extractfile
    {{"script", "folder", "destination folder"}},  // extractallfiles
    {{"script", "folder", "destination folder"}},  // extractallfilesifnotexist
    {{"folder", "file"}},                          // extractandrun
    {{"file", "line", "option", "number"}, 2},     // txtaddline
    {{"file", "find", "replace"}},                 // txtreplace
    {{"file"}},                                    // txtdelemptylines
    {{"file", "start"}},                           // txtdelline
    {{"file"}},                                    // txtdelspaces
}};

constexpr int32_t kMaxWaitSeconds = 86400;

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  out.append(text);
  out.push_back('"');
  return out;
}

size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The command name nearest to `name`, when near enough to be a slip.
std::string NearestCommand(std::string_view name) {
  std::string best;
  size_t best_distance = std::max<size_t>(2, name.size() / 4) + 1;
  for (const char* candidate : kCommandNames) {
    const size_t d = EditDistance(name, candidate);
    if (d < best_distance) {
      best_distance = d;
      best = candidate;
    }
  }
  return best;
}

bool IsVariableNameChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u > 32 && c != '%' && c != ',' && c != '"';
}

// The "%name%" words of a text, in order, each once.
std::vector<std::string> PercentWords(std::string_view text) {
  std::vector<std::string> out;
  size_t p = 0;
  while ((p = text.find('%', p)) != std::string_view::npos) {
    size_t q = p + 1;
    while (q < text.size() && q - p <= 64 && IsVariableNameChar(text[q])) ++q;
    // A name begins with a letter or "_": "50%-75%" names nothing.
    const char first = p + 1 < text.size() ? text[p + 1] : '\0';
    const bool named = AsciiLower(first) != AsciiUpper(first) || first == '_';
    if (named && q < text.size() && text[q] == '%' && q > p + 1) {
      std::string word(text.substr(p, q - p + 1));
      const bool seen = std::any_of(out.begin(), out.end(),
                                    [&word](const std::string& w) { return IEquals(w, word); });
      if (!seen) out.push_back(std::move(word));
      p = q + 1;
    } else {
      p = q;
    }
  }
  return out;
}

Finding Error(uint32_t line, std::string message) {
  return {line, Severity::kError, std::move(message)};
}
Finding Warning(uint32_t line, std::string message) {
  return {line, Severity::kWarning, std::move(message)};
}

// A shellexecute line that starts reg or regedit (or opens a .reg file),
// which the registry tool stands in for: what it would refuse.
void CheckRegistryStandIn(platform::FileSystem& files, const std::vector<std::string>& fields,
                          uint32_t number, std::vector<Finding>& out) {
  const std::string mode = AsciiLowerCopy(fields[2]);
  const std::string verb = mode == "minimize" || mode == "hide" ? "open" : fields[2];
  const platform::RegistryStandIn stand_in = platform::RegistryStandInFor(fields[3], verb);
  if (stand_in == platform::RegistryStandIn::kNone) return;
  const std::vector<std::string> args =
      platform::RegistryStandInArguments(stand_in, fields[3], UnescapeField(fields[4]));
  static const std::set<std::string> kVerbs = {"add",    "delete", "query", "import",
                                               "export", "load",   "unload"};
  const std::string tool_verb = args.empty() ? std::string() : AsciiLowerCopy(args[0]);
  if (kVerbs.count(tool_verb) == 0) {
    out.push_back(Warning(number, "reg " + Quoted(args.empty() ? "" : args[0]) +
                                      " is none of add, delete, query, import, export, load "
                                      "and unload, which pelvar-reg runs in reg's place: it "
                                      "ends with status 1 and changes nothing"));
    return;
  }
  if (tool_verb != "import") return;
  if (args.size() != 2) {
    out.push_back(Warning(number, "the import names " + std::to_string(args.size() - 1) +
                                      " files, and pelvar-reg imports exactly one: it ends with "
                                      "status 1 and changes nothing"));
    return;
  }
  std::string bytes;
  if (!files.IsFile(args[1]) || files.ReadAll(args[1], bytes)) return;  // made by the run?
  const RegFileContents contents = ParseRegFile(bytes);
  if (!contents.ok()) {
    const std::string name = args[1].substr(args[1].find_last_of("/\\") + 1);
    out.push_back(Warning(number, Quoted(name) + ", line " + std::to_string(contents.error_line) +
                                      ": " + contents.error + ": the import changes nothing"));
  }
}

// Why the section reader stops at a stored line, or nullptr.
const char* ReaderStop(std::string_view stored) {
  if (stored.empty()) return nullptr;
  if (stored.back() == ']') return "a line that ends with \"]\"";
  if (stored.front() == '[') return "a line that begins with \"[\"";
  return nullptr;
}

// Why a registry value write of this line is refused whatever the registry
// holds (the run then ends with "Failed to set data for ..."), or "": a
// value directly in HKEY_LOCAL_MACHINE or HKEY_USERS, or a value name longer
// than the registry takes. Only the commands that end the run on a refused
// value are asked, and only when their data convert.
std::string RefusedValueWrite(const std::string& name, const std::vector<std::string>& fields) {
  const bool ends_run =
      name == "regwriteexpandstring" || name == "regwritestring" || name == "regwritebool" ||
      (name == "regwriteinteger" && ParseIntegerText(UnescapeField(fields[5]))) ||
      (name == "regwritebinary" && commands::ParseHexBytes(UnescapeField(fields[5])).has_value());
  if (!ends_run) return {};
  const std::string root = UnescapeField(fields[2]);
  std::string path = UnescapeField(fields[3]);
  if (!path.empty() && path.front() == '\\') path.erase(0, 1);
  for (const platform::RegistryRoot sealed :
       {platform::RegistryRoot::kLocalMachine, platform::RegistryRoot::kUsers}) {
    if (path.empty() && root == platform::RootName(sealed)) {
      return std::string("values cannot be written directly into ") + platform::RootName(sealed);
    }
  }
  return platform::ValueNameProblem(UnescapeField(fields[4]));
}

}  // namespace

std::string FindingText(const Finding& finding) {
  return (finding.severity == Severity::kError ? "error: " : "warning: ") + finding.message;
}

std::string FormatFinding(std::string_view script, const Finding& finding) {
  std::string out(script);
  out.push_back(':');
  if (finding.line > 0) out.append(std::to_string(finding.line)).push_back(':');
  out.push_back(' ');
  out.append(FindingText(finding));
  return out;
}

ScriptChecker::ScriptChecker(std::string_view script, ScriptContext& context)
    : script_(script),
      context_(context),
      // The embedded texts (most of a script that carries files) are read
      // as they are needed, never held.
      model_(IniModel::LoadSections(context.files(), script, [](std::string_view name) {
        return !archive::IsEmbeddedFileSection(name);
      })) {
  PrepareVariables(context_, script_, model_);
  bool* filled = nullptr;
  IniModel::Scan(context.files(), script, [this, &filled](bool header, std::string_view text) {
    if (header) {
      filled = nullptr;
      if (archive::IsEmbeddedFileSection(text)) {
        const auto [it, added] = embedded_.try_emplace(AsciiLowerCopy(text), false);
        if (added) filled = &it->second;
      }
    } else if (filled != nullptr) {
      *filled = true;
      filled = nullptr;
    }
    return true;
  });
}

bool ScriptChecker::Embedded(std::string_view folder, std::string_view file) const {
  const auto it = embedded_.find(AsciiLowerCopy(archive::EmbeddedFileSection(folder, file)));
  return it != embedded_.end() && it->second;
}

bool ScriptChecker::EmbeddedTrimmed(std::string_view folder, std::string_view key) const {
  if (Embedded(folder, key)) return true;
  // A file name with blanks at its ends has lost them in its index key.
  const std::string prefix = AsciiLowerCopy(archive::EmbeddedFileSection(folder, ""));
  const std::string file = AsciiLowerCopy(key);
  return std::any_of(embedded_.begin(), embedded_.end(), [&](const auto& section) {
    return section.second && section.first.size() > prefix.size() &&
           section.first.compare(0, prefix.size(), prefix) == 0 &&
           TrimControl(std::string_view(section.first).substr(prefix.size())) == file;
  });
}

ScriptChecker::~ScriptChecker() = default;

std::vector<Finding> ScriptChecker::CheckAll() const {
  std::vector<Finding> out;
  std::vector<uint32_t> numbers;
  const std::vector<std::string> lines = ReadSectionLines(model_, "process", &numbers);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    std::vector<Finding> found = CheckLine(lines[i], numbers[i]);
    out.insert(out.end(), std::make_move_iterator(found.begin()),
               std::make_move_iterator(found.end()));
  }
  CheckReaderStops(out);
  CheckEmbeddedData(out);
  std::stable_sort(out.begin(), out.end(),
                   [](const Finding& a, const Finding& b) { return a.line < b.line; });
  return out;
}

void ScriptChecker::CheckReaderStops(std::vector<Finding>& out) const {
  for (const auto& section : model_.sections()) {
    if (!IEquals(section.name, "process")) continue;
    for (size_t i = 0; i < section.lines.size(); ++i) {
      const char* why = ReaderStop(section.lines[i]);
      if (why == nullptr) continue;
      const size_t after = section.lines.size() - i - 1;
      std::string message = std::string(why) + " ends the [process] section: it ";
      message += after == 0 ? "is never run"
                            : "and the " + std::to_string(after) +
                                  (after == 1 ? " line after it are" : " lines after it are") +
                                  " never run";
      out.push_back(Warning(section.LineNumber(i), std::move(message)));
      break;
    }
  }
}

void ScriptChecker::CheckEmbeddedData(std::vector<Finding>& out) const {
  const auto report = [&out](const archive::EmbeddedTextCheck& text) {
    if (text.status.ok()) return;
    out.push_back(Error(text.line, "embedded data [" + text.section + "] does not verify: " +
                                       ErrorDisplayText(text.status.message())));
  };
  try {
    archive::VerifyEmbeddedTexts(context_.files(), script_, report);
  } catch (const std::exception& e) {
    out.push_back(Error(0, std::string("embedded data cannot be read: ") + e.what()));
  }
}

void ScriptChecker::CheckExtract(std::string_view name, const std::vector<std::string>& fields,
                                 uint32_t number, std::vector<Finding>& out) const {
  if (name == "extractfile" || name == "extractandrun") {
    if (!Embedded(fields[2], fields[3])) {
      out.push_back(Warning(number, "no file " + Quoted(fields[3]) + " of folder " +
                                        Quoted(fields[2]) +
                                        " is embedded in this script: the line logs a failure"));
    }
    return;
  }
  // extractallfiles...: the folder index of the script named in field 2,
  // when that is this script.
  if (!IEquals(fields[2], script_)) return;
  const int index = model_.FindSection(fields[3]);
  bool any = false;
  if (index >= 0) {
    for (const auto& l : model_.sections()[static_cast<size_t>(index)].lines) {
      std::string_view key;
      if (!IniModel::KeyOfLine(l, key)) continue;
      any = true;
      if (!EmbeddedTrimmed(fields[3], key)) {
        out.push_back(Warning(number, "file " + Quoted(key) + " of folder " + Quoted(fields[3]) +
                                          " is listed but not embedded: extraction stops there"));
        return;
      }
    }
  }
  if (!any) {
    out.push_back(Warning(number, "no folder " + Quoted(fields[3]) +
                                      " of embedded files in this script: the line logs a " +
                                      (name == "extractallfiles" ? "failure" : "skip")));
  }
}

std::vector<Finding> ScriptChecker::CheckLine(std::string_view written, uint32_t number) const {
  std::vector<Finding> out;
  const std::string line = IniModel::StoredForm(written);
  if (line.empty()) return out;
  if (line.front() == ';') {
    out.push_back(Warning(number, "a line that begins with \";\" is a comment: it is never run"));
    return out;
  }
  if (const char* why = ReaderStop(line)) {
    // CheckAll never gets here: the reader stops before such a line.
    out.push_back(Warning(number, std::string(why) +
                                      " ends the [process] section: it and the lines after it "
                                      "are never run"));
    return out;
  }
  const std::string expanded = ExpandVariables(context_, line);
  bool unclosed = false;
  std::vector<std::string> fields = SplitFields(expanded, &unclosed);
  if (fields.size() >= 2 && fields[1] == "0") return out;  // disabled: never run

  if (unclosed) {
    out.push_back(Warning(number,
                          "unbalanced double quote: the quoted field runs to the end of the line "
                          "and loses the line's last character"));
  }
  const std::string lowered_name = fields.empty() ? std::string() : AsciiLowerCopy(fields[0]);
  const int row = CommandRow(lowered_name);
  for (const std::string& word : PercentWords(expanded)) {
    // Data of an expandable registry string names the system's variables.
    if (row >= 0 &&
        std::string_view(kCommandNames[static_cast<size_t>(row)]) == "regwriteexpandstring" &&
        fields.size() > 5 && IContains(fields[5], word)) {
      continue;
    }
    if (context_.variables.Find(word) >= 0) {
      out.push_back(Warning(number, word + " stays as written: the value of a variable brings it "
                                           "in, but its own line stands above that variable's"));
    } else {
      out.push_back(Warning(number, word + " is defined nowhere: it stays as written"));
    }
  }
  if (fields.empty()) return out;
  if (fields.size() == 1) {
    out.push_back(Warning(number, "a line of one field (" + Quoted(fields[0]) +
                                      ") does nothing: the run flag and the arguments are "
                                      "missing"));
    return out;
  }

  if (row < 0) {
    std::string message = "unknown command " + Quoted(fields[0]) + ": the line does nothing";
    const std::string near = NearestCommand(lowered_name);
    if (!near.empty()) message += "; did you mean " + Quoted(near) + "?";
    out.push_back(Warning(number, std::move(message)));
    return out;
  }
  const std::string key = AsciiLowerCopy(std::string_view(expanded).substr(0, 3));
  const size_t entry = SearchEntryRow(key);
  const std::string name = kCommandNames[static_cast<size_t>(row)];
  if (static_cast<size_t>(row) < entry) {
    out.push_back(Warning(
        number, "command " + Quoted(name) + " is never reached from a line that begins with " +
                    Quoted(expanded.substr(0, 3)) + " (the search starts at " +
                    Quoted(kCommandNames[entry]) +
                    "): the line does nothing; write the name first, without quotes"));
    return out;
  }

  const Arguments& arguments = kArguments[static_cast<size_t>(row)];
  const size_t reads = 2 + arguments.count();
  size_t present = fields.size() + arguments.padded;
  if (arguments.pad_to_four && present >= 3) present = std::max<size_t>(present, 4);
  if (present < reads) {
    const size_t missing = present;
    out.push_back(Error(
        number,
        "List index out of bounds (" + std::to_string(missing) + "): " + name + " reads its " +
            arguments.names[missing - 2] + " from field " + std::to_string(missing) +
            ", and the line has fields 0 to " + std::to_string(fields.size() - 1) +
            (arguments.padded > 0 ? " (" + std::to_string(arguments.padded) + " added)" : "")));
    return out;
  }
  fields.resize(std::max(fields.size(), reads));

  if (name == "wait") {
    const auto seconds = ParseIntegerText(fields[2]);
    if (!seconds || *seconds < 0 || *seconds > kMaxWaitSeconds) {
      out.push_back(Warning(number, Quoted(fields[2]) +
                                        " is not a number of seconds from 0 to 86400: the line "
                                        "logs a failure and waits not at all"));
    }
  } else if (name == "regwriteinteger" || name == "regwritedword") {
    const std::string data = UnescapeField(fields[5]);
    if (!ParseIntegerText(data)) {
      out.push_back(Warning(number, Quoted(data) +
                                        " is not a 32-bit integer: the value is not written "
                                        "and the line logs a failure"));
    }
  } else if (name == "regwritebinary") {
    const std::string data = UnescapeField(fields[5]);
    if (!commands::ParseHexBytes(data)) {
      out.push_back(Warning(number, Quoted(data) +
                                        " is not hexadecimal byte pairs: the value is not "
                                        "written and the line logs a failure"));
    }
  } else if (name == "txtaddline") {
    const std::string option = AsciiLowerCopy(fields[4]);
    const std::string_view place = fields[5].empty() ? std::string_view("0") : fields[5];
    if (option == "place" && !ParseIntegerText(place)) {
      // The number is read only when a file matches: whether the run ends
      // depends on the files.
      out.push_back(Warning(number, "'" + std::string(place) +
                                        "' is not a valid integer value: when a file matches, "
                                        "the run ends here"));
    } else if (option == "append" && !ParseIntegerText(place)) {
      out.push_back(
          Warning(number, Quoted(place) + " is not a number: the command adds no line and fails"));
    } else if (option != "place" && option != "append" && option != "prepend") {
      out.push_back(Warning(number, "option " + Quoted(fields[4]) +
                                        " is none of prepend, append and place: the command "
                                        "adds no line and fails"));
    }
  } else if (name.starts_with("extract")) {
    CheckExtract(name, fields, number, out);
  } else if (name == "shellexecute" || name == "shellexecuteex") {
    CheckRegistryStandIn(context_.files(), fields, number, out);
  }
  if (const std::string refused = RefusedValueWrite(name, fields); !refused.empty()) {
    out.push_back(
        Error(number, "Failed to set data for '" + UnescapeField(fields[4]) + "': " + refused));
  }
  return out;
}

namespace {

// A run view that shows nothing: a check runs no command.
class SilentView : public RunView {
 public:
  void SetProgressMax(int) override {}
  void SetProgressPosition(int) override {}
  void SetStatus(std::string_view) override {}
  void AddLog(std::string_view, LogKind, LogReveal) override {}
  void ShowMessage(MessageKind, std::string_view, std::string_view) override {}
};

std::string Counted(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::vector<Finding> CheckScriptFile(std::string_view script, const RunPaths& paths,
                                     platform::Services& services) {
  platform::FileSystem& files =
      services.files != nullptr ? *services.files : platform::ThreadFileSystem();
  if (!files.IsFile(script)) return {Error(0, "file was not found")};
  SilentView view;
  CommandSet no_commands;
  try {
    ScriptContext context = CreateScriptContext(paths, view, no_commands, services);
    const ScriptChecker checker(script, context);
    return checker.CheckAll();
  } catch (const std::exception& e) {
    return {Error(0, ErrorDisplayText(e.what()))};
  }
}

struct LineChecker::State {
  SilentView view;
  CommandSet no_commands;
  std::unique_ptr<ScriptContext> context;
  std::unique_ptr<ScriptChecker> checker;
  std::string error;  // why the script could not be read; every check says it
};

LineChecker::LineChecker(std::string_view script, const RunPaths& paths,
                         platform::Services& services)
    : state_(std::make_unique<State>()) {
  try {
    state_->context = std::make_unique<ScriptContext>(
        CreateScriptContext(paths, state_->view, state_->no_commands, services));
    state_->checker = std::make_unique<ScriptChecker>(script, *state_->context);
  } catch (const std::exception& e) {
    state_->error = ErrorDisplayText(e.what());
  }
}

LineChecker::~LineChecker() = default;

std::vector<Finding> LineChecker::Check(std::string_view line, uint32_t number) const {
  if (state_->checker == nullptr) return {Error(number, state_->error)};
  return state_->checker->CheckLine(line, number);
}

std::vector<Finding> CheckScriptLine(std::string_view script, std::string_view line,
                                     uint32_t number, const RunPaths& paths,
                                     platform::Services& services) {
  return LineChecker(script, paths, services).Check(line, number);
}

std::string CheckSummary(size_t scripts, const std::vector<Finding>& findings) {
  const size_t errors =
      static_cast<size_t>(std::count_if(findings.begin(), findings.end(), [](const Finding& f) {
        return f.severity == Severity::kError;
      }));
  const size_t warnings = findings.size() - errors;
  std::string out = "checked " + Counted(scripts, "script", "scripts") + ": ";
  if (findings.empty()) return out + "no findings";
  return out + Counted(errors, "error", "errors") + ", " + Counted(warnings, "warning", "warnings");
}

}  // namespace pelvar::app
