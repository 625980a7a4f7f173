#include "app/script_history.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "app/command_list.h"
#include "engine/script_error.h"
#include "platform/file_system.h"

namespace pelvar::app {

ScriptChange DiffScript(std::string path, std::string label, std::string_view before,
                        std::string_view after) {
  ScriptChange change;
  change.path = std::move(path);
  change.label = std::move(label);
  const size_t shorter = std::min(before.size(), after.size());
  size_t head = 0;
  while (head < shorter && before[head] == after[head]) ++head;
  size_t tail = 0;
  while (tail < shorter - head &&
         before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) {
    ++tail;
  }
  change.head = head;
  change.tail = tail;
  change.before = std::string(before.substr(head, before.size() - head - tail));
  change.after = std::string(after.substr(head, after.size() - head - tail));
  change.before_fingerprint = BytesFingerprint(before);
  change.after_fingerprint = BytesFingerprint(after);
  return change;
}

void ScriptHistory::Record(ScriptChange change) {
  if (change.before == change.after) return;
  steps_.resize(done_);
  steps_.push_back(std::move(change));
  done_ = steps_.size();
}

void ScriptHistory::Clear() {
  steps_.clear();
  done_ = 0;
}

std::string ScriptHistory::UndoLabel() const {
  return CanUndo() ? steps_[done_ - 1].label : std::string();
}

std::string ScriptHistory::RedoLabel() const {
  return CanRedo() ? steps_[done_].label : std::string();
}

std::string ScriptHistory::UndoPath() const {
  return CanUndo() ? steps_[done_ - 1].path : std::string();
}

std::string ScriptHistory::RedoPath() const {
  return CanRedo() ? steps_[done_].path : std::string();
}

StepOutcome ScriptHistory::Undo(platform::FileSystem& files, size_t* fingerprint) {
  if (!CanUndo()) return StepOutcome::kNothing;
  const StepOutcome outcome = Apply(files, steps_[done_ - 1], true, fingerprint);
  if (outcome == StepOutcome::kDone) --done_;
  return outcome;
}

StepOutcome ScriptHistory::Redo(platform::FileSystem& files, size_t* fingerprint) {
  if (!CanRedo()) return StepOutcome::kNothing;
  const StepOutcome outcome = Apply(files, steps_[done_], false, fingerprint);
  if (outcome == StepOutcome::kDone) ++done_;
  return outcome;
}

size_t ScriptHistory::KeptBytes() const {
  size_t total = 0;
  for (const ScriptChange& step : steps_) total += step.before.size() + step.after.size();
  return total;
}

StepOutcome ScriptHistory::Apply(platform::FileSystem& files, const ScriptChange& step, bool undo,
                                 size_t* fingerprint) {
  const std::string& from = undo ? step.after : step.before;
  const std::string& to = undo ? step.before : step.after;
  const size_t expected = undo ? step.after_fingerprint : step.before_fingerprint;
  std::unique_ptr<platform::FileWriter> writer;
  std::error_code ec = files.OpenReplace(step.path, platform::Durability::kRewrite, writer);
  if (ec) ThrowCannotCreate(step.path, platform::SystemMessage(ec));
  if (writer->old() == nullptr) return StepOutcome::kChanged;
  std::string bytes;
  ec = writer->old()->ReadRest(0, bytes);
  if (ec) ThrowCannotCreate(step.path, platform::SystemMessage(ec));
  if (bytes.size() != step.head + from.size() + step.tail || BytesFingerprint(bytes) != expected ||
      std::string_view(bytes).substr(step.head, from.size()) != from) {
    return StepOutcome::kChanged;
  }
  bytes.replace(step.head, from.size(), to);
  ec = writer->Write(bytes);
  if (!ec) ec = writer->Commit();
  if (ec) ThrowCannotCreate(step.path, platform::SystemMessage(ec));
  if (fingerprint != nullptr) *fingerprint = BytesFingerprint(bytes);
  return StepOutcome::kDone;
}

}  // namespace pelvar::app
