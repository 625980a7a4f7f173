#include "engine/dispatcher.h"

#include "platform/file_system.h"

#include "engine/line_fields.h"
#include "engine/script_context.h"
#include "engine/script_error.h"
#include "engine/text.h"

namespace pelvar {

const std::string& CommandCall::Field(size_t i) const {
  if (i >= fields_.size()) ThrowIndexError(static_cast<long long>(i));
  return fields_[i];
}

void CommandCall::PadFields(size_t count) {
  while (fields_.size() < count) fields_.emplace_back();
}

void CommandCall::Log(std::string_view text, LogKind kind) {
  if (kind == LogKind::kFailure && !reason_.empty()) {
    AddFailureLine(context_, text, reason_);
    reason_.clear();
    return;
  }
  AddLogLine(context_, text, kind);
}

int CommandRow(std::string_view name) {
  for (size_t i = 0; i < kCommandNames.size(); ++i) {
    if (name == kCommandNames[i]) return static_cast<int>(i);
  }
  return -1;
}

bool CommandSet::Set(std::string_view name, CommandFn fn) {
  const int row = CommandRow(name);
  if (row < 0) return false;
  fns_[static_cast<size_t>(row)] = fn;
  return true;
}

size_t SearchEntryRow(std::string_view key) {
  if (key == "reg") return 13;
  if (key == "ini") return 8;
  if (key == "fil" || key == "dir") return 0;
  if (key == "ext" || key == "enc") return 29;
  if (key == "txt") return 33;
  return 22;
}

namespace {

// Commands that only show something: they run with empty paths too.
bool IsDisplayOnlyRow(size_t row) {
  const std::string_view name = kCommandNames[row];
  return name == "beep" || name == "message" || name == "echo" || name == "wait";
}

// What the command wrote could not be made durable: its success line is
// not true. The line becomes the command's failure line, or a failure line
// follows it where the command has none.
void FlushFailed(CommandCall& call, std::error_code ec) {
  std::string reason =
      "what was written could not be flushed to the disk: " + platform::SystemMessage(ec);
  if (call.pending_kind() == LogKind::kFailure && !call.pending_text().empty()) {
    if (call.reason().empty()) call.SetReason(std::move(reason));
    return;
  }
  if (!call.unflushed_text().empty()) {
    call.SetReason(std::move(reason));
    call.SetPending(call.unflushed_text(), LogKind::kFailure);
    return;
  }
  if (!call.pending_text().empty()) call.Log(call.pending_text(), call.pending_kind());
  call.SetReason(std::move(reason));
  call.SetPending("Failed to flush the written files to the disk", LogKind::kFailure);
}

}  // namespace

void DispatchLine(ScriptContext& context, std::string_view line) {
  if (line.empty()) return;
  const std::string expanded = ExpandVariables(context, line);
  CommandCall call(context, SplitFields(expanded));
  if (call.field_count() >= 2 && call.fields()[1] != "0") {
    const std::string name = AsciiLowerCopy(call.fields()[0]);
    const std::string key = AsciiLowerCopy(std::string_view(expanded).substr(0, 3));
    // The chain runs from the entry row to the last row; the first row whose
    // name matches runs.
    for (size_t row = SearchEntryRow(key); row < kCommandNames.size(); ++row) {
      if (name == kCommandNames[row]) {
        if (CommandFn fn = context.commands.At(row)) {
          if (!IsDisplayOnlyRow(row)) {
            if (const EmptyPathVariable* empty = FindEmptyPathUse(context, line)) {
              throw ScriptError(EmptyPathText(*empty));
            }
          }
          // What the command wrote is durable before its log line appears.
          platform::CommandScope scope(&context.files());
          fn(call);
          if (const std::error_code ec = scope.End()) FlushFailed(call, ec);
        }
        break;
      }
    }
  }
  if (!call.pending_text().empty()) call.Log(call.pending_text(), call.pending_kind());
}

}  // namespace pelvar
