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

namespace {

std::vector<std::string> PathsOf(const std::vector<ScriptChange>& step) {
  std::vector<std::string> out;
  for (const ScriptChange& change : step) out.push_back(change.path);
  return out;
}

// The file's bytes when it holds what the change expects (`from` between the
// common head and tail, with the whole file's fingerprint `expected`).
bool Holds(std::string_view bytes, const ScriptChange& change, const std::string& from,
           size_t expected) {
  return bytes.size() == change.head + from.size() + change.tail &&
         BytesFingerprint(bytes) == expected && bytes.substr(change.head, from.size()) == from;
}

}  // namespace

void ScriptHistory::Record(ScriptChange change) {
  if (change.before == change.after) return;
  steps_.resize(done_);
  steps_.push_back({std::move(change)});
  done_ = steps_.size();
}

void ScriptHistory::Join(ScriptChange change) {
  if (done_ == 0 || done_ != steps_.size()) {
    Record(std::move(change));
    return;
  }
  if (change.before == change.after) return;
  // A step holds a file once: its files are locked together.
  for (const ScriptChange& kept : steps_.back()) {
    if (kept.path == change.path) {
      Record(std::move(change));
      return;
    }
  }
  steps_.back().push_back(std::move(change));
}

void ScriptHistory::Clear() {
  steps_.clear();
  done_ = 0;
}

std::string ScriptHistory::UndoLabel() const {
  return CanUndo() ? steps_[done_ - 1].front().label : std::string();
}

std::string ScriptHistory::RedoLabel() const {
  return CanRedo() ? steps_[done_].front().label : std::string();
}

std::vector<std::string> ScriptHistory::UndoPaths() const {
  return CanUndo() ? PathsOf(steps_[done_ - 1]) : std::vector<std::string>();
}

std::vector<std::string> ScriptHistory::RedoPaths() const {
  return CanRedo() ? PathsOf(steps_[done_]) : std::vector<std::string>();
}

StepOutcome ScriptHistory::Undo(platform::FileSystem& files) {
  if (!CanUndo()) return StepOutcome::kNothing;
  const StepOutcome outcome = Take(files, steps_[done_ - 1], true);
  if (outcome == StepOutcome::kDone) --done_;
  return outcome;
}

StepOutcome ScriptHistory::Redo(platform::FileSystem& files) {
  if (!CanRedo()) return StepOutcome::kNothing;
  const StepOutcome outcome = Take(files, steps_[done_], false);
  if (outcome == StepOutcome::kDone) ++done_;
  return outcome;
}

size_t ScriptHistory::KeptBytes() const {
  size_t total = 0;
  for (const Step& step : steps_) {
    for (const ScriptChange& change : step) total += change.before.size() + change.after.size();
  }
  return total;
}

StepOutcome ScriptHistory::Take(platform::FileSystem& files, const Step& step, bool undo) {
  // Every file is locked and checked before any is replaced, so a step
  // applies to all its files or to none.
  std::vector<std::unique_ptr<platform::FileWriter>> writers;
  std::vector<std::string> paths;
  for (size_t i = step.size(); i-- > 0;) {
    const ScriptChange& change = step[i];
    const std::string& from = undo ? change.after : change.before;
    const std::string& to = undo ? change.before : change.after;
    std::unique_ptr<platform::FileWriter> writer;
    std::error_code ec = files.OpenReplace(change.path, platform::Durability::kRewrite, writer);
    if (ec) ThrowCannotCreate(change.path, platform::SystemMessage(ec));
    if (writer->old() == nullptr) return StepOutcome::kChanged;
    std::string bytes;
    ec = writer->old()->ReadRest(0, bytes);
    if (ec) ThrowCannotCreate(change.path, platform::SystemMessage(ec));
    if (!Holds(bytes, change, from, undo ? change.after_fingerprint : change.before_fingerprint)) {
      return StepOutcome::kChanged;
    }
    bytes.replace(change.head, from.size(), to);
    ec = writer->Write(bytes);
    if (ec) ThrowCannotCreate(change.path, platform::SystemMessage(ec));
    writers.push_back(std::move(writer));
    paths.push_back(change.path);
  }
  for (size_t i = 0; i < writers.size(); ++i) {
    const std::error_code ec = writers[i]->Commit();
    if (ec) ThrowCannotCreate(paths[i], platform::SystemMessage(ec));
  }
  return StepOutcome::kDone;
}

}  // namespace pelvar::app
