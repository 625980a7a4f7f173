// Checks on the results of archive operations.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "archive/archive_status.h"

namespace pelvar::testing {

// The value of a result; a failure fails the test.
template <typename T>
T Ok(archive::ArchiveResult<T> result) {
  EXPECT_TRUE(result.status.ok()) << result.status.message();
  return std::move(result.value);
}

// The text of a result's failure; empty when it did not fail.
template <typename T>
std::string FailureText(const archive::ArchiveResult<T>& result) {
  return result.status.message();
}

}  // namespace pelvar::testing
