#include "app/embedded_folders.h"

#include <string>
#include <utility>
#include <vector>

#include "archive/embedded_files.h"
#include "engine/ini_file.h"
#include "engine/ini_model.h"
#include "engine/ini_text.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"

namespace pelvar::app {

std::vector<std::string> EncodedFolderNames(const IniModel& script) {
  const int index = script.FindSection(kEncodedFolders);
  if (index < 0) return {};
  return script.sections()[static_cast<size_t>(index)].lines;
}

std::vector<EmbeddedFileRow> EmbeddedFileRows(const IniModel& script, std::string_view folder) {
  std::vector<EmbeddedFileRow> rows;
  const int index = script.FindSection(folder);
  if (index < 0) return rows;
  for (const std::string& line : script.sections()[static_cast<size_t>(index)].lines) {
    std::string_view key;
    if (!IniModel::KeyOfLine(line, key)) continue;
    EmbeddedFileRow row;
    row.name = std::string(key);
    const std::string_view value = std::string_view(line).substr(key.size() + 1);
    const size_t comma = value.find(',');
    row.size = std::string(value.substr(0, comma));
    if (comma != std::string_view::npos) {
      const std::string_view rest = value.substr(comma + 1);
      row.encoded = std::string(rest.substr(0, rest.find(',')));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

bool EnsureScriptSection(std::string_view script, std::string_view section) {
  platform::FileSystem& files = platform::ThreadFileSystem();
  if (!files.IsFile(script)) {
    files.WriteAll(script, "");
    if (!files.IsFile(script)) return false;
  }
  AddIniSection(files, script, UnescapeField(section));
  return true;
}

bool AddEncodedFolder(std::string_view script, std::string_view folder) {
  const std::vector<std::string> folders = EncodedFolderNames(IniModel::Load(script));
  for (const std::string& name : folders) {
    if (IEquals(name, folder)) return false;
  }
  if (folders.empty() && !EnsureScriptSection(script, kEncodedFolders)) return false;
  return InsertSectionLine(script, kEncodedFolders, folder);
}

bool RenameEncodedFolder(std::string_view script, std::string_view folder, std::string_view name) {
  const IniModel model = IniModel::Load(script);
  std::vector<std::string> folders = EncodedFolderNames(model);
  bool listed = false;
  for (std::string& line : folders) {
    if (line == folder) {
      line = std::string(name);
      listed = true;
    } else if (IEquals(line, name)) {
      return false;
    }
  }
  if (!listed) return false;
  // The folder's files are the keys of its index; their sections follow it.
  std::vector<std::pair<std::string, std::string>> renamed;  // old, new
  renamed.emplace_back(folder, name);
  for (const EmbeddedFileRow& row : EmbeddedFileRows(model, folder)) {
    renamed.emplace_back(archive::EmbeddedFileSection(folder, row.name),
                         archive::EmbeddedFileSection(name, row.name));
  }
  for (const auto& [from, to] : renamed) {
    if (model.SectionExists(to)) return false;
  }
  EditIniFile(platform::ThreadFileSystem(), script, [&](IniText& text) {
    text.SetSectionLines(kEncodedFolders, folders);
    text.RenameSections([&](std::string_view section) -> std::string {
      for (const auto& [from, to] : renamed) {
        if (IEquals(section, from)) return to;
      }
      return {};
    });
  });
  return true;
}

void RemoveEncodedFolder(std::string_view script, std::string_view folder,
                         const std::vector<std::string>& remaining) {
  platform::FileSystem& files = platform::ThreadFileSystem();
  // The index is read alone, without the files' text sections.
  const std::string index(folder);
  const std::vector<EmbeddedFileRow> rows = EmbeddedFileRows(
      IniModel::LoadSections(files, script,
                             [&index](std::string_view name) { return IEquals(name, index); }),
      folder);
  // The list as the insertion rule leaves it: the first stays first, the
  // others follow in reverse.
  std::vector<std::string> listed;
  if (!remaining.empty()) {
    listed.push_back(remaining.front());
    listed.insert(listed.end(), remaining.rbegin(), remaining.rend() - 1);
  }
  EditIniFile(files, script, [&](IniText& text) {
    text.EraseSection(folder);
    for (const EmbeddedFileRow& row : rows) {
      text.EraseSection(archive::EmbeddedFileSection(folder, row.name));
    }
    text.SetSectionLines(kEncodedFolders, listed);
  });
}

}  // namespace pelvar::app
