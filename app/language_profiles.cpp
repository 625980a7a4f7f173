#include "app/language_profiles.h"

#include <algorithm>
#include <functional>

#include "app/config_keys.h"
#include "engine/ini_model.h"
#include "engine/ini_text.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"

namespace pelvar::app {

namespace {

constexpr std::string_view kListSection = "AvailableLanguages";
constexpr std::string_view kNewProfileNote = "User custom language";

std::string SectionOf(std::string_view name) {
  return "language-" + std::string(name);
}

// Key and text of a stored line; a line without "=" is a key with no text.
LanguageRow RowOf(const std::string& line) {
  const size_t eq = line.find('=');
  if (eq == std::string::npos) return {line, {}};
  return {line.substr(0, eq), line.substr(eq + 1)};
}

std::vector<std::string> ProfileLines(const std::vector<LanguageRow>& rows) {
  std::vector<std::string> lines;
  lines.reserve(rows.size());
  for (const LanguageRow& row : rows) lines.push_back(row.key + "=" + row.text);
  return lines;
}

// The settings edit the configuration file in place: only the lines of the
// sections they name change, the rest of the file stays as it was.
void EditConfig(const std::string& config_path, const std::function<void(IniText&)>& edit) {
  EditIniFile(platform::ThreadFileSystem(), config_path, edit);
}

}  // namespace

LanguageProfiles LoadLanguageProfiles(const std::string& config_path) {
  LanguageProfiles profiles;
  if (!platform::ThreadFileSystem().IsFile(config_path)) {
    profiles.in_use = config::kDefaultLanguage.fallback;
    return profiles;
  }
  const IniModel model = IniModel::Load(config_path);
  profiles.in_use = model.ReadString(config::kDefaultLanguage.section, config::kDefaultLanguage.key,
                                     config::kDefaultLanguage.fallback);
  if (const int list = model.FindSection(kListSection); list >= 0) {
    for (const std::string& line : model.sections()[static_cast<size_t>(list)].lines) {
      const LanguageRow row = RowOf(line);
      profiles.names.push_back(row.key);
      profiles.display_names.push_back(row.text.empty() ? row.key : row.text);
    }
  }
  const std::vector<std::string> texts = profiles.display_names;
  for (size_t i = 0; i < profiles.names.size(); ++i) {
    const std::string& shown = texts[i];
    const auto same = std::count(texts.begin(), texts.end(), shown);
    if (same > 1 && shown != profiles.names[i]) {
      profiles.display_names[i] = shown + " (" + profiles.names[i] + ")";
    }
  }
  for (size_t i = 0; i < profiles.names.size(); ++i) {
    if (IEquals(profiles.names[i], profiles.in_use)) {
      profiles.selected = static_cast<int>(i);
      break;
    }
  }
  if (const int section = model.FindSection(SectionOf(profiles.in_use)); section >= 0) {
    for (const std::string& line : model.sections()[static_cast<size_t>(section)].lines) {
      profiles.rows.push_back(RowOf(line));
    }
  }
  return profiles;
}

std::string TranslatedText(const std::vector<LanguageRow>& rows, std::string_view key,
                           std::string_view fallback) {
  for (const LanguageRow& row : rows) {
    if (IEquals(row.key, key)) return row.text.empty() ? std::string(fallback) : row.text;
  }
  return std::string(fallback);
}

Captions Translate(const std::vector<LanguageRow>& rows) {
  Captions captions;
  for (size_t i = 0; i < kCaptionKeys.size(); ++i) {
    captions[i] = TranslatedText(rows, kCaptionKeys[i].key, kCaptionKeys[i].fallback);
  }
  return captions;
}

void SaveLanguage(const std::string& config_path, const std::string& name,
                  const std::vector<LanguageRow>& rows) {
  EditConfig(config_path, [&](IniText& text) {
    text.WriteKey(config::kDefaultLanguage.section, config::kDefaultLanguage.key, name);
    text.SetSectionLines(SectionOf(name), ProfileLines(rows));
  });
}

std::optional<std::string> LanguageNameTaken(const std::vector<std::string>& names,
                                             std::string_view name) {
  for (const std::string& listed : names) {
    if (IEquals(listed, name)) {
      return std::string(name) + " already exists..\rPlease choose a diferent name";
    }
  }
  return std::nullopt;
}

void CreateLanguage(const std::string& config_path, const std::string& name,
                    const std::vector<LanguageRow>& rows) {
  EditConfig(config_path, [&](IniText& text) {
    text.WriteKey(config::kDefaultLanguage.section, config::kDefaultLanguage.key, name);
    text.WriteKey(kListSection, name, kNewProfileNote);
    text.SetSectionLines(SectionOf(name), ProfileLines(rows));
  });
}

void DeleteLanguage(const std::string& config_path, const std::string& first,
                    const std::string& removed) {
  EditConfig(config_path, [&](IniText& text) {
    text.WriteKey(config::kDefaultLanguage.section, config::kDefaultLanguage.key, first);
    text.DeleteKey(kListSection, removed);
    text.EraseSection(SectionOf(removed));
  });
}

}  // namespace pelvar::app
