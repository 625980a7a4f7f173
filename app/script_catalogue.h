// The script catalogue: the script folders beside the program, the scripts
// of one folder ordered by level, and their check marks, which live in each
// script's own file (key "selected" of section "main").
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelvar::app {

// One listed script, as its "main" section describes it.
struct ScriptEntry {
  int level = 3;
  std::string kind = "script";
  std::string title;  // the file's path when the script has no title
  std::string path;
  std::string description;
  std::string author;
  std::string credits;
  std::string contact;
  bool checked = false;
};

// Lowest and highest level that is listed.
inline constexpr int kMinLevel = 1;
inline constexpr int kMaxLevel = 6;

// The level a "level" value stands for: an integer text, else 3.
int ScriptLevel(std::string_view text);

// Reads the "main" section of a script file (defaults for what is missing,
// and for a file that cannot be read).
ScriptEntry ReadScriptEntry(const std::string& path);
// The entry of a script whose text was read already.
ScriptEntry EntryOfText(const std::string& path, std::string_view text);

// Captions of the first-level folders of `program_folder` whose names hold no
// dot, in name order.
std::vector<std::string> ListScriptFolders(const std::string& program_folder);

// The folder a caption stands for.
std::string ScriptFolderPath(const std::string& program_folder, const std::string& caption);

// The scripts of `folder` and all its subfolders (depth-first in name order),
// regrouped by level 1 to 6; scripts of other levels are left out. Nullopt
// when the folder does not exist.
std::optional<std::vector<ScriptEntry>> ListScripts(const std::string& folder);

// The two spellings a check mark is written in: a click on the check box
// writes selected=true/false, the context menu Selected=True/False.
enum class CheckWriteForm { kClick, kMenu };

// Writes the check mark into section "main" of the script file. False when
// the file does not exist (nothing is written); a file that cannot be
// written raises a ScriptError.
bool WriteScriptChecked(const std::string& path, bool checked, CheckWriteForm form);

}  // namespace pelvar::app
