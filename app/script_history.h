// Undo and redo of changes to script files. Each change is kept as the bytes
// that differ: the part between the longest common head and tail of the
// file before and after it. Undoing writes the file back to the exact bytes
// it had before (removed embedded data included); redoing writes the bytes
// after. A step applies only while the file still holds the bytes the step
// left, so a version written by another program is never overwritten.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelvar::platform {
class FileSystem;
}  // namespace pelvar::platform

namespace pelvar::app {

// One change of one file.
struct ScriptChange {
  std::string path;
  std::string label;  // what the change did, for "Undo LABEL"
  size_t head = 0;    // bytes common to both versions at the start
  size_t tail = 0;    // and at the end
  std::string before;
  std::string after;
  size_t before_fingerprint = 0;  // of the whole file before
  size_t after_fingerprint = 0;   // and after
};

// The change that turns `before` into `after`, keeping only the bytes that
// differ.
ScriptChange DiffScript(std::string path, std::string label, std::string_view before,
                        std::string_view after);

// What became of an undo or redo.
enum class StepOutcome {
  kDone,
  kNothing,  // no step to take
  kChanged,  // the file no longer holds the bytes the step expects
};

// The steps that can be undone and redone. A step is one change, or several
// changes of different files made by one action (check marks of several
// scripts), taken back and put back together.
class ScriptHistory {
 public:
  // Adds a step (a change whose bytes are equal is ignored) and drops the
  // steps that could be redone.
  void Record(ScriptChange change);
  // Adds the change to the last step when that is the newest one, else as
  // a step of its own.
  void Join(ScriptChange change);
  // Forgets every step, and with it the bytes kept.
  void Clear();

  bool CanUndo() const { return done_ > 0; }
  bool CanRedo() const { return done_ < steps_.size(); }
  // The label of the step an undo (redo) would take; empty when none.
  std::string UndoLabel() const;
  std::string RedoLabel() const;
  // The files of that step.
  std::vector<std::string> UndoPaths() const;
  std::vector<std::string> RedoPaths() const;

  // Writes the files of the last step back to their bytes before it (after
  // it, for Redo), each atomically and under the file's lock. When a file
  // no longer holds the bytes the step left, nothing is written (kChanged)
  // and the step stays. Raises "Cannot create file ..." when a file cannot
  // be written.
  StepOutcome Undo(platform::FileSystem& files);
  StepOutcome Redo(platform::FileSystem& files);

  // Bytes the steps keep.
  size_t KeptBytes() const;
  // Number of steps.
  size_t size() const { return steps_.size(); }

 private:
  using Step = std::vector<ScriptChange>;
  StepOutcome Take(platform::FileSystem& files, const Step& step, bool undo);

  std::vector<Step> steps_;
  size_t done_ = 0;  // steps_[0, done_) are applied
};

}  // namespace pelvar::app
