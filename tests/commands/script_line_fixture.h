// A fixture for command tests: runs single script lines against files in a
// private temporary folder and returns the log lines they wrote.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/script_error.h"
#include "support/test_support.h"

namespace pelvar::testing {

class ScriptLineTest : public ::testing::Test {
 protected:
  // Runs one process line; returns the log lines it wrote ("kind|text").
  std::vector<std::string> Run(const std::string& line) {
    harness_.view.lines.clear();
    harness_.RunLine(line);
    return harness_.view.Texts();
  }

  // Runs one line that must end the run; returns the error text (the log
  // then holds nothing from that line).
  std::string Error(const std::string& line) {
    harness_.view.lines.clear();
    try {
      harness_.RunLine(line);
    } catch (const ScriptError& e) {
      EXPECT_TRUE(harness_.view.lines.empty());
      return e.what();
    }
    ADD_FAILURE() << "no error from: " << line;
    return {};
  }

  // A path inside the data folder as a script writes it: the folder, then
  // the relative part with "\" separators.
  std::string P(const std::string& relative) const {
    std::string out = relative;
    for (char& c : out) {
      if (c == '/') c = '\\';
    }
    return data_.path() + "\\" + out;
  }

  TempDir data_;
  ScriptHarness harness_;
};

}  // namespace pelvar::testing
