// The keys of the program configuration file with their defaults: the one
// table every reader and writer of the file uses.
#pragma once

namespace pelvar::app {

struct ConfigKey {
  const char* section;
  const char* key;
  const char* fallback;
};

namespace config {
// Keys are matched ignoring case; the spelling here is the one written.
inline constexpr ConfigKey kTargetDir{"main", "TargetDir", ""};
inline constexpr ConfigKey kSourceDir{"main", "SourceDir", ""};
inline constexpr ConfigKey kIsoFile{"main", "IsoFile", ""};
inline constexpr ConfigKey kViewLogAfterSave{"main", "ViewLogAfterSave", "0"};
// The log window's size ("WIDTH,HEIGHT") and its first column's width, as
// the user left them (empty: the defaults).
inline constexpr ConfigKey kLogWindowSize{"main", "LogWindowSize", ""};
inline constexpr ConfigKey kLogColumnWidth{"main", "LogColumnWidth", ""};
inline constexpr ConfigKey kLog{"main", "log", "0"};
inline constexpr ConfigKey kBeep{"main", "beep", "0"};
inline constexpr ConfigKey kBuildMsg{"main", "buildmsg", "0"};
// "1": a batch that logged no failure ends by making the ISO image.
inline constexpr ConfigKey kMakeIsoAfterBatch{"main", "MakeIsoAfterBatch", "0"};
inline constexpr ConfigKey kLastUsedFolder{"main", "LastUsedFolder", "Scripts"};
inline constexpr ConfigKey kDefaultLanguage{"main", "DefaultLanguage", "default"};
inline constexpr ConfigKey kTextColor{"main", "TextColor", "black"};
inline constexpr ConfigKey kBackColor{"main", "BackColor", "white"};
// The address of the tray menu's "Email author" (empty: the item is hidden).
inline constexpr ConfigKey kAuthorEmail{"main", "AuthorEmail", ""};
// Linux stand-ins for the system folders (empty: the built-in defaults).
inline constexpr ConfigKey kWindowsDir{"main", "windowsdir", ""};
inline constexpr ConfigKey kWindowsSystemDir{"main", "windowssystemdir", ""};
inline constexpr ConfigKey kProgramFilesDir{"main", "programfilesdir", ""};
// The largest download webget accepts, in bytes (empty: no limit).
inline constexpr ConfigKey kWebGetMaxBytes{"main", "webgetmaxbytes", ""};
}  // namespace config

}  // namespace pelvar::app
