// Where the tests of .reg files find their fixtures.
#pragma once

#include <string>

namespace pelvar::app::testdata {

// The .reg corpus, and the registry hives (copy them before writing).
inline const std::string kRegCorpus = PELVAR_SOURCE_DIR "/tests/data/reg/";
inline const std::string kHives = PELVAR_SOURCE_DIR "/tests/data/hives/";

}  // namespace pelvar::app::testdata
