// The dispatcher: one script line is expanded, split into fields, checked
// against its run flag and routed through the fixed 38-row search chain.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run_log.h"

namespace pelvar {

struct ScriptContext;

// One running command: its context, its fields and the pending log line
// that the dispatcher writes when the command returns.
class CommandCall {
 public:
  CommandCall(ScriptContext& context, std::vector<std::string> fields)
      : context_(context), fields_(std::move(fields)) {}

  ScriptContext& context() { return context_; }
  std::vector<std::string>& fields() { return fields_; }
  size_t field_count() const { return fields_.size(); }

  // Field i; raises "List index out of bounds (i)" when the line is shorter.
  const std::string& Field(size_t i) const;
  // Appends empty fields until the line has at least `count` fields.
  void PadFields(size_t count);

  // The pending log line, written by the dispatcher when not empty.
  // `unflushed` is the failure line that takes its place when what the
  // command wrote cannot be made durable (empty: a generic failure line
  // follows it instead).
  void SetPending(std::string text, LogKind kind, std::string unflushed = {}) {
    pending_text_ = std::move(text);
    pending_kind_ = kind;
    unflushed_text_ = std::move(unflushed);
  }
  const std::string& pending_text() const { return pending_text_; }
  LogKind pending_kind() const { return pending_kind_; }
  const std::string& unflushed_text() const { return unflushed_text_; }

  // Writes a log line at once (AddLogLine); a failure line carries the
  // reason set before, which is then cleared.
  void Log(std::string_view text, LogKind kind);

  // Why the command (or the file it is at) failed: shown beside its next
  // failure line, written now or pending.
  void SetReason(std::string reason) { reason_ = std::move(reason); }
  const std::string& reason() const { return reason_; }

 private:
  ScriptContext& context_;
  std::vector<std::string> fields_;
  std::string pending_text_;
  LogKind pending_kind_ = LogKind::kFailure;
  std::string unflushed_text_;
  std::string reason_;
};

using CommandFn = void (*)(CommandCall&);

// The 38 command names in search-chain order.
inline constexpr std::array<const char*, 38> kCommandNames = {"filecreateblank",
                                                              "filerename",
                                                              "filedelete",
                                                              "filecopy",
                                                              "dircopy",
                                                              "dirmove",
                                                              "dirdelete",
                                                              "dirmake",
                                                              "inideletesection",
                                                              "iniaddsection",
                                                              "iniwritekey",
                                                              "inideletekey",
                                                              "iniwritetextline",
                                                              "regwriteexpandstring",
                                                              "regwritestring",
                                                              "regwriteinteger",
                                                              "regwritedword",
                                                              "regwritebinary",
                                                              "regwritebool",
                                                              "regdeletekey",
                                                              "reghiveload",
                                                              "reghiveunload",
                                                              "shellexecute",
                                                              "shellexecuteex",
                                                              "beep",
                                                              "message",
                                                              "echo",
                                                              "wait",
                                                              "webget",
                                                              "extractfile",
                                                              "extractallfiles",
                                                              "extractallfilesifnotexist",
                                                              "extractandrun",
                                                              "txtaddline",
                                                              "txtreplace",
                                                              "txtdelemptylines",
                                                              "txtdelline",
                                                              "txtdelspaces"};

// Row index (0-based) of a command name; -1 when it names no row.
int CommandRow(std::string_view name);

// The bodies of the rows. A row without a body is passed over silently.
class CommandSet {
 public:
  // Binds a body to the row of `name`; returns false for an unknown name.
  bool Set(std::string_view name, CommandFn fn);
  CommandFn At(size_t row) const { return fns_[row]; }

 private:
  std::array<CommandFn, 38> fns_{};
};

// Entry row (0-based) of the search for the first three characters of a
// line, lower-cased.
size_t SearchEntryRow(std::string_view family_key);

// Runs one line of a script.
void DispatchLine(ScriptContext& context, std::string_view line);

}  // namespace pelvar
