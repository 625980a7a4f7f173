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
  int selected = -1;               // the profile in use in `names`; -1 when not listed
  std::string in_use;
  std::vector<LanguageRow> rows;  // its section, in file order (empty when missing)
};

// The translated captions, each with its key and its text when the key is
// missing or empty.
struct CaptionKey {
  const char* key;
  const char* fallback;
};
inline constexpr std::array<CaptionKey, 8> kCaptionKeys{{
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
}};

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
