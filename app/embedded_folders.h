// The folders of a script's embedded files as the script editor keeps them:
// the folder list section "EncodedFolders" (one name per line; a new name
// goes in after the first line, so folders added as A, B, C are listed A, C,
// B) and each folder's index section (file name = archive size, text size).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelvar {
class IniModel;
}  // namespace pelvar

namespace pelvar::app {

inline constexpr const char* kEncodedFolders = "EncodedFolders";

// The lines of the first "EncodedFolders" section, in order.
std::vector<std::string> EncodedFolderNames(const IniModel& script);

// One key of a folder index section.
struct EmbeddedFileRow {
  std::string name;     // the key: the file name
  std::string size;     // first comma-separated part of the value
  std::string encoded;  // second part; empty for a value without a comma
};

// The keys of the folder's index section, in file order; empty when the
// section is missing.
std::vector<EmbeddedFileRow> EmbeddedFileRows(const IniModel& script, std::string_view folder);

// Makes sure the script holds the section: a missing script is created
// empty; a section without lines gets the header "[name]" added after the
// last line of the file, in the file's line ends (nothing else changes).
// False when the script still does not exist.
bool EnsureScriptSection(std::string_view script, std::string_view section);

// Lists a new folder. Nothing happens, and false is returned, when a folder
// of that name (ignoring case) is listed already.
bool AddEncodedFolder(std::string_view script, std::string_view folder);

// Gives a folder a new name, in one rewrite of the script: its line in
// "EncodedFolders", the header of its index section and the headers of its
// files' text sections (the files' data stays as it is). Nothing happens,
// and false is returned, when the folder is not listed or the new name is
// taken by a folder or any other section (ignoring case).
bool RenameEncodedFolder(std::string_view script, std::string_view folder, std::string_view name);

// Removes a folder with everything in it, in one rewrite of the script:
// every file of its index (index key and text section), the index section,
// and its line in "EncodedFolders", which is rebuilt from `remaining` (the
// other folders in the order shown) by the insertion rule. Without remaining
// folders an empty "EncodedFolders" header stays where it was. Only those
// sections' lines change.
void RemoveEncodedFolder(std::string_view script, std::string_view folder,
                         const std::vector<std::string>& remaining);

}  // namespace pelvar::app
