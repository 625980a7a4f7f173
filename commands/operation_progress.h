// Reports a command's long work to the run's view while it goes on: files
// and bytes done so far, and its end when the object goes.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/run_view.h"

namespace pelvar::commands {

class OperationProgress {
 public:
  OperationProgress(RunView& view, std::string_view activity) : view_(view), activity_(activity) {
    view_.ShowOperationProgress(activity_, 0, 0, false);
  }
  ~OperationProgress() { view_.ShowOperationProgress(activity_, 0, 0, true); }
  OperationProgress(const OperationProgress&) = delete;
  OperationProgress& operator=(const OperationProgress&) = delete;

  // Counts work done.
  void Add(uint64_t files, uint64_t bytes) {
    files_ += files;
    bytes_ += bytes;
    view_.ShowOperationProgress(activity_, files_, bytes_, false);
  }

  // The bytes of the file being copied now (`bytes` so far), on top of the
  // work counted. Returns false once the run was asked to stop, which cuts
  // the copy (a platform::DataProgressFn).
  bool FileBytes(uint64_t bytes) {
    current_ = bytes;
    view_.ShowOperationProgress(activity_, files_, bytes_ + bytes, false);
    return !view_.StopRequested();
  }
  // The file being copied is done: it counts, with its bytes.
  void FileDone() {
    const uint64_t bytes = current_;
    current_ = 0;
    Add(1, bytes);
  }

 private:
  RunView& view_;
  std::string_view activity_;
  uint64_t files_ = 0;
  uint64_t bytes_ = 0;
  uint64_t current_ = 0;
};

}  // namespace pelvar::commands
