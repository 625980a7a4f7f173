// Small changes to the file system that the archive layer needs: removing a
// file, making a folder with its parents, marking a file as a program.
#pragma once

#include <string_view>
#include <system_error>

namespace pelvar::platform {

// Removes a file (not a folder). A missing file is not an error.
std::error_code RemoveFile(std::string_view script_path);

// Creates the folder and every missing parent. An existing folder is fine.
std::error_code MakeFolderTree(std::string_view script_path);

// Adds the execute permission wherever the file has the read permission.
std::error_code MakeExecutable(std::string_view script_path);

}  // namespace pelvar::platform
