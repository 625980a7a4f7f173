#include "app/script_catalogue.h"

#include <array>

#include "commands/file_finder.h"
#include "engine/ini_file.h"
#include "engine/ini_model.h"
#include "engine/integer_text.h"
#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"

namespace pelvar::app {

namespace {

std::string WithSeparator(const std::string& folder) {
  if (!folder.empty() && IsPathSeparator(folder.back())) return folder;
  return folder + "/";
}

// Finder results use "\" after the searched folder; listings show "/".
std::string DisplayPath(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace

int ScriptLevel(std::string_view text) {
  const std::optional<int32_t> value = ParseIntegerText(text);
  return value ? *value : 3;
}

namespace {

ScriptEntry EntryOfModel(const std::string& path, const IniModel& model) {
  ScriptEntry entry;
  entry.path = path;
  entry.title = model.ReadString("main", "title", path);
  entry.description = model.ReadString("main", "description");
  entry.author = model.ReadString("main", "author");
  entry.credits = model.ReadString("main", "credits");
  entry.contact = model.ReadString("main", "contact");
  entry.level = ScriptLevel(model.ReadString("main", "level", "3"));
  entry.checked = AsciiLowerCopy(model.ReadString("main", "selected", "false")) == "true";
  return entry;
}

}  // namespace

ScriptEntry ReadScriptEntry(const std::string& path) {
  // Only the header section is read: a script carrying large embedded files
  // costs no more than a small one. A file that cannot be read is listed
  // with the defaults.
  try {
    return EntryOfModel(path, IniModel::LoadFirstSection(path, "main"));
  } catch (const ScriptError&) {
    return EntryOfModel(path, IniModel());
  }
}

ScriptEntry EntryOfText(const std::string& path, std::string_view text) {
  return EntryOfModel(path, IniModel::Parse(text));
}

namespace {

// A path the listing has just found is opened once and only its header
// section read. A FIFO, device or socket named *.script is no script: it is
// left out.
std::optional<ScriptEntry> ReadListedEntry(const std::string& path) {
  std::unique_ptr<platform::FileReader> file;
  if (const std::error_code ec = platform::ThreadFileSystem().OpenRead(path, file)) {
    if (ec == platform::NotRegularFile()) return std::nullopt;
    return EntryOfModel(path, IniModel());
  }
  try {
    return EntryOfModel(path, IniModel::LoadFirstSection(*file, path, "main"));
  } catch (const ScriptError&) {
    return EntryOfModel(path, IniModel());
  }
}

}  // namespace

std::vector<std::string> ListScriptFolders(const std::string& program_folder) {
  const std::string base = WithSeparator(program_folder);
  commands::FileFinder finder;
  finder.directory = base;
  finder.filter = "*.";
  finder.attributes =
      commands::kFfReadOnly | commands::kFfHidden | commands::kFfSysFile | commands::kFfDirectory;
  finder.recurse = false;
  finder.Execute();
  std::vector<std::string> captions;
  for (const std::string& found : finder.Results()) {
    if (!platform::ThreadFileSystem().IsFolder(found)) continue;
    std::string caption = found.substr(found.rfind(base, 0) == 0 ? base.size() : 0);
    std::erase(caption, '\\');
    captions.push_back(std::move(caption));
  }
  return captions;
}

std::string ScriptFolderPath(const std::string& program_folder, const std::string& caption) {
  return WithSeparator(program_folder) + caption + "/";
}

std::optional<std::vector<ScriptEntry>> ListScripts(const std::string& folder) {
  if (!platform::ThreadFileSystem().IsFolder(folder)) return std::nullopt;
  commands::FileFinder finder;
  finder.directory = folder;
  finder.filter = "*.script";
  finder.sorted = true;
  finder.recurse = true;
  finder.Execute();
  std::array<std::vector<ScriptEntry>, kMaxLevel> groups;
  for (const std::string& found : finder.Results()) {
    std::optional<ScriptEntry> listed = ReadListedEntry(DisplayPath(found));
    if (!listed) continue;
    ScriptEntry& entry = *listed;
    if (entry.level < kMinLevel || entry.level > kMaxLevel) continue;
    groups[static_cast<size_t>(entry.level - kMinLevel)].push_back(std::move(entry));
  }
  std::vector<ScriptEntry> ordered;
  for (auto& group : groups) {
    for (auto& entry : group) ordered.push_back(std::move(entry));
  }
  return ordered;
}

bool WriteScriptChecked(const std::string& path, bool checked, CheckWriteForm form) {
  if (form == CheckWriteForm::kMenu) {
    return WriteIniKey(path, "Main", "Selected", checked ? "True" : "False");
  }
  return WriteIniKey(path, "main", "selected", checked ? "true" : "false");
}

}  // namespace pelvar::app
