// Names of the temporary files a write makes beside its target: a short
// prefix, the owning process's id and a random part ("~pvt1234-1a2b3c"), so
// a 255-byte target name still works and a leftover of a process that is
// gone is recognised and removed by the next write into the same folder.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace pelvar::platform {

// A fresh temporary name for this process (not checked against the folder).
std::string TemporaryFileName();

// True when `name` has the form of a temporary name; gives its owner.
bool IsTemporaryFileName(std::string_view name, pid_t* owner = nullptr);

// True when `name` is a temporary name whose owning process is gone.
bool IsLeftoverFileName(std::string_view name);

}  // namespace pelvar::platform
