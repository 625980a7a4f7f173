// Copying a folder of installed defaults into a user's own folder.
#pragma once

#include <string>

namespace pelvar::platform {

// Copies every file and folder of `from` (host paths) into `to`, creating
// `to` and its folders as needed; files that already exist in `to` are kept.
// False when something could not be copied.
bool SeedFolder(const std::string& from, const std::string& to);

}  // namespace pelvar::platform
