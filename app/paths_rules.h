// The naming rule of the ISO file when a folder is chosen for it.
#pragma once

#include <string>

namespace pelvar::app {

// The ISO file's name when its box names none.
inline constexpr const char* kDefaultIsoName = "BootablePE.ISO";

// The new ISO box text for a chosen folder: the file-name part of the box's
// current text (or the default name), its extension made ".iso" unless it
// already is in any letter case, joined to the folder; doubled separators
// are made single.
std::string IsoFileForFolder(const std::string& current, const std::string& folder);

}  // namespace pelvar::app
