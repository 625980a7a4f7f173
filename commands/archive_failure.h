// Turns the failure of an archive operation into the error that ends the
// run, with the archive's own text.
#pragma once

#include <utility>

#include "archive/archive_status.h"
#include "engine/script_error.h"

namespace pelvar::commands {

// Raises `status` when it is a failure.
inline void RaiseIfFailed(const archive::ArchiveStatus& status) {
  if (!status.ok()) throw ScriptError(status.message());
}

// The value of `result`, or its failure raised.
template <typename T>
T ValueOrRaise(archive::ArchiveResult<T> result) {
  RaiseIfFailed(result.status);
  return std::move(result.value);
}

}  // namespace pelvar::commands
