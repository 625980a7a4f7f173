// Language profiles of the program configuration file: the list of profiles
// (section AvailableLanguages), the one in use (main/DefaultLanguage) and one
// section "language-<name>" of key=text lines per profile, applied to eight
// captions of the windows.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelvar::app {

struct LanguageRow {
  std::string key;
  std::string text;
};

// What the Language page shows after loading.
struct LanguageProfiles {
  std::vector<std::string> names;  // AvailableLanguages, in file order
  // What the drop-down shows for each: its text in AvailableLanguages (the
  // name when that is empty, and "TEXT (NAME)" when another profile has the
  // same text).
  std::vector<std::string> display_names;
  int selected = -1;  // the profile in use in `names`; -1 when not listed
  std::string in_use;
  std::vector<LanguageRow> rows;  // its section, in file order (empty when missing)
};

// The translated captions, each with its key and its text when the key is
// missing or empty: the eight captions of the main window's header and
// buttons and the log window's texts, then the other captions of the main
// window and the log window.
struct CaptionKey {
  const char* key;
  const char* fallback;
};
inline constexpr auto kCaptionKeys = std::to_array<CaptionKey>({
    {"ProgramTitle", "Pelvar"},
    {"ProgramDescription", "A .script file interpreter"},
    {"Open", "Open"},
    {"Paths", "Paths"},
    {"Configuration", "Configuration"},
    {"LogWindow", "Log window"},
    {"Start", "Start"},
    {"Description_LogWindow",
     "See the output messages from the processed .script files. It is also possible to follow "
     "the processing in real-time, altought it will slow down performance considerably."},
    {"DryRun", "Dry run"},
    {"Update", "Update.."},
    {"Stop", "Stop"},
    {"LogColumnLine", "Line"},
    {"LogColumnDetails", "Details"},
    {"SaveLog", "Save log"},
    {"SaveLogAs", "Save log as..."},
    {"ViewLogAfterSave", "View after saving log"},
    // The paths window (its title is the "Paths" button's text).
    {"Description_Paths",
     "Edit defaults paths to folders. You can use these values in .script files as variables in "
     "your commands. e.g.: message,1,\"%IsoFile%\" will output the Filename of your ISO file."},
    {"SourceDir", "Source directory (%SourceDir%)"},
    {"Description_SourceDir",
     "Source directory is a folder where you want to copy your files from. In most cases, it's "
     "your Windows Install CD files."},
    {"TargetDir", "Target directory (%TargetDir%)"},
    {"Description_TargetDir",
     "Target Directory is the folder where you want to apply your changes - please make a backup "
     "folder before starting to make changes."},
    {"IsoFile", "ISO File (%IsoFile%)"},
    {"Description_IsoFile",
     "Select a path and insert a filename to the bootable ISO file. If the file doesn't exist it "
     "will be created."},
    {"Ok", "Ok"},
    // The web update window.
    {"Updates", "Updates"},
    {"Description_Updates", "Update application and files in your computer"},
    {"UpdatePage", "Update"},
    {"ServersPage", "Servers"},
    {"Comments", "Comments"},
    {"UpdateEntry", "Update"},
    {"Cancel", "Cancel"},
    {"Internet", "Internet"},
    {"Description_Servers",
     "Add or remove servers from where you wish to add or update files in your computer"},
    {"ServerName", "Name"},
    {"ServerAddress", "Web adress"},
    {"AddServer", "Add server"},
    {"RemoveServer", "Remove server"},
    {"SaveServers", "Save changes"},
    // The command-line window (its log window's title is the "LogWindow"
    // text).
    {"ShowLog", "Show log"},
    // The settings window (its title is the "Configuration" text).
    {"OptionsPage", "Options"},
    {"LanguagePage", "Language"},
    {"LogFile", "Create log file (log.txt)"},
    {"BeepAfter", "Beep after processing"},
    {"MessageAfter", "Show message after processing"},
    {"Colors", "Colors"},
    // The script editor.
    {"CommandsPage", "Commands"},
    {"EncodedFilesPage", "Encoded files"},
    {"SyntaxPage", "Syntax"},
    {"CreateCommand", "Create"},
    {"EditCommand", "Edit"},
    {"DeleteCommand", "Delete"},
    {"AddFiles", "Add.."},
    {"RemoveFiles", "Remove"},
    {"RunFile", "Run.."},
    {"ExtractFiles", "Extract.."},
    {"NewFolder", "New folder.."},
});

// The place of `key` in kCaptionKeys (a key that is not there does not
// compile where the place is a constant).
constexpr size_t CaptionIndex(std::string_view key) {
  for (size_t i = 0; i < kCaptionKeys.size(); ++i) {
    if (key == kCaptionKeys[i].key) return i;
  }
  throw "no such caption key";
}

// The captions in the order of kCaptionKeys.
using Captions = std::array<std::string, kCaptionKeys.size()>;

// Reads the profiles; a missing file gives an empty list and no rows.
LanguageProfiles LoadLanguageProfiles(const std::string& config_path);

// The text of the first row whose key matches (ignoring case), or `fallback`
// when there is none or its text is empty.
std::string TranslatedText(const std::vector<LanguageRow>& rows, std::string_view key,
                           std::string_view fallback);
Captions Translate(const std::vector<LanguageRow>& rows);

// Makes `name` the profile in use and writes `rows` as its section, where it
// stands (a new one at the end of the file). These writes edit the file in
// place: only the lines that differ change, the comments and layout of the
// rest stay. Nothing happens without a file; an unwritable file raises the
// file-creation error.
void SaveLanguage(const std::string& config_path, const std::string& name,
                  const std::vector<LanguageRow>& rows);

// The refusal of a name already listed (ignoring case); nullopt when the name
// is free.
std::optional<std::string> LanguageNameTaken(const std::vector<std::string>& names,
                                             std::string_view name);

// Adds the profile `name` ("User custom language" in AvailableLanguages) with
// a copy of `rows` as its section (at the end of the file) and makes it the
// one in use.
void CreateLanguage(const std::string& config_path, const std::string& name,
                    const std::vector<LanguageRow>& rows);

// Removes the profile `removed` from the list and its section, and makes
// `first` the one in use.
void DeleteLanguage(const std::string& config_path, const std::string& first,
                    const std::string& removed);

}  // namespace pelvar::app
