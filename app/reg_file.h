// The .reg text format of registry exports ("Windows Registry Editor Version
// 5.00"): a header line, then for each key "[path]" and one line per value,
// each key block followed by an empty line. Files are UTF-16LE with a
// byte-order mark and CR LF line ends, as the system's tools write them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace pelvar::app {

struct RegFileKey {
  std::string path;  // full path, long root name first
  std::vector<platform::RegistryValue> values;
};

// The text (UTF-8) of an export of the keys, in the order given.
std::string RegFileText(const std::vector<RegFileKey>& keys);

// The bytes of a .reg file holding the text: UTF-16LE with byte-order mark.
std::string RegFileBytes(std::string_view text);

}  // namespace pelvar::app
