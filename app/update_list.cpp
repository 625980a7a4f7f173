#include "app/update_list.h"

#include "engine/ini_file.h"
#include "engine/ini_text.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"

namespace pelvar::app {

namespace {

constexpr std::string_view kServersSection = "updates";

std::string EntriesSection(std::string_view server) {
  return "update-" + std::string(server);
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text = text.substr(1, text.size() - 2);
  }
  return text;
}

// Takes the text up to the next comma off `rest`.
std::string NextField(std::string_view& rest) {
  const size_t comma = rest.find(',');
  const std::string_view field = rest.substr(0, comma);
  rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  return std::string(Trimmed(field));
}

const std::vector<std::string>* SectionLines(const IniModel& config, std::string_view name) {
  const int index = config.FindSection(name);
  if (index < 0) return nullptr;
  return &config.sections()[static_cast<size_t>(index)].lines;
}

// Downloads `url` into a private temporary file and reads it.
// `max_bytes` above 0: a download larger than that is cut as soon as it
// passes it, and `too_large` is set.
UpdateOutcome DownloadText(platform::Downloader& downloader, const std::string& url,
                           const ProgressFn& progress, const std::function<bool()>& cancelled,
                           std::string& text, uint64_t max_bytes = 0, bool* too_large = nullptr) {
  UpdateOutcome outcome;
  if (!IsWebAddress(url)) {
    outcome.message = "Not a web address: \"" + url + "\"";
    return outcome;
  }
  platform::ScopedTempFolder temp(platform::ThreadFileSystem());
  if (const std::error_code ec = temp.Create()) {
    outcome.message = "Cannot make a temporary folder: " + platform::SystemMessage(ec);
    return outcome;
  }
  platform::DownloadRequest request;
  request.url = url;
  request.destination = temp.path() + "/download";
  bool over = false;
  request.cancelled = [&cancelled, &over] { return over || (cancelled && cancelled()); };
  request.progress = [&progress, &over, max_bytes](uint64_t done, uint64_t total) {
    if (max_bytes > 0 && (done > max_bytes || total > max_bytes)) over = true;
    if (progress) progress(done, total);
  };
  const platform::DownloadOutcome got = downloader.Download(request);
  if (too_large != nullptr) *too_large = over;
  if (over) {
    outcome.message = "Download of \"" + url + "\" refused: it is larger than " +
                      std::to_string(max_bytes) + " bytes.";
    return outcome;
  }
  if (!got.ok) {
    outcome.message = "Download of \"" + url + "\" failed: " + got.error;
    return outcome;
  }
  if (const std::error_code ec = platform::ThreadFileSystem().ReadAll(request.destination, text)) {
    outcome.message = "Cannot read the download: " + platform::SystemMessage(ec);
    return outcome;
  }
  if (max_bytes > 0 && text.size() > max_bytes) {
    if (too_large != nullptr) *too_large = true;
    text.clear();
    outcome.message = "Download of \"" + url + "\" refused: it is larger than " +
                      std::to_string(max_bytes) + " bytes.";
    return outcome;
  }
  outcome.ok = true;
  return outcome;
}

}  // namespace

std::vector<UpdateServer> ReadUpdateServers(const IniModel& config) {
  std::vector<UpdateServer> servers;
  if (const auto* lines = SectionLines(config, kServersSection)) {
    for (const std::string& line : *lines) {
      const size_t eq = line.find('=');
      if (eq == std::string::npos) {
        servers.push_back({line, {}});
      } else {
        servers.push_back({line.substr(0, eq), line.substr(eq + 1)});
      }
    }
  }
  return servers;
}

bool HasUpdateEntries(const IniModel& config, std::string_view server) {
  return config.SectionExists(EntriesSection(server));
}

UpdateEntry ParseUpdateEntry(std::string_view line) {
  UpdateEntry entry;
  const size_t eq = line.find('=');
  entry.name = std::string(line.substr(0, eq));
  std::string_view rest = eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1);
  entry.version = NextField(rest);
  entry.url = NextField(rest);
  entry.description = std::string(Trimmed(rest));
  return entry;
}

std::vector<UpdateEntry> ReadUpdateEntries(const IniModel& config, std::string_view server) {
  std::vector<UpdateEntry> entries;
  if (const auto* lines = SectionLines(config, EntriesSection(server))) {
    for (const std::string& line : *lines) entries.push_back(ParseUpdateEntry(line));
  }
  return entries;
}

void SaveUpdateServers(const std::string& config_path, const std::vector<UpdateServer>& servers) {
  std::vector<std::string> lines;
  std::vector<std::string> written;
  for (const UpdateServer& server : servers) {
    bool seen = false;
    for (const std::string& name : written) seen = seen || IEquals(name, server.name);
    if (seen || server.name.empty()) continue;
    written.push_back(server.name);
    lines.push_back(server.name + "=" + server.address);
  }
  // Only the section's lines that differ change; the rest of the file stays.
  EditIniFile(platform::ThreadFileSystem(), config_path,
              [&](IniText& text) { text.SetSectionLines(kServersSection, lines); });
}

bool IsWebAddress(std::string_view address) {
  for (std::string_view scheme : {std::string_view("http://"), std::string_view("https://")}) {
    if (address.size() > scheme.size() && IEquals(address.substr(0, scheme.size()), scheme)) {
      const char host = address[scheme.size()];
      return host != '/' && host != '?' && host != '#';
    }
  }
  return false;
}

UpdateOutcome FetchServerList(platform::Downloader& downloader, const std::string& config_path,
                              const UpdateServer& server, const ProgressFn& progress,
                              const std::function<bool()>& cancelled) {
  std::string text;
  bool too_large = false;
  UpdateOutcome outcome = DownloadText(downloader, server.address, progress, cancelled, text,
                                       kMaxServerListBytes, &too_large);
  if (too_large) {
    outcome.message = "The list of \"" + server.name + "\" is larger than 1 MiB: it was refused.";
  }
  if (!outcome.ok) return outcome;
  outcome.ok = false;
  const IniModel list = IniModel::Parse(text);
  const auto* lines = SectionLines(list, kServersSection);
  if (lines == nullptr || lines->empty()) {
    outcome.message = "The list of \"" + server.name + "\" offers no updates.";
    return outcome;
  }
  if (!platform::ThreadFileSystem().IsFile(config_path)) {
    outcome.message = "The configuration file was not found.";
    return outcome;
  }
  EditIniFile(platform::ThreadFileSystem(), config_path,
              [&](IniText& text) { text.SetSectionLines(EntriesSection(server.name), *lines); });
  outcome.ok = true;
  outcome.message =
      "Updated the list of \"" + server.name + "\": " + std::to_string(lines->size()) + " entries.";
  return outcome;
}

std::string OfferedScriptName(const UpdateEntry& entry) {
  std::string_view url = entry.url;
  url = url.substr(0, url.find_first_of("?#"));
  const size_t slash = url.rfind('/');
  const std::string_view last = slash == std::string_view::npos ? url : url.substr(slash + 1);
  const std::string_view suffix = ".script";
  const bool plain = last.size() > suffix.size() && last.front() != '.' &&
                     IEquals(last.substr(last.size() - suffix.size()), suffix) &&
                     last.find_first_of("%\\:") == std::string_view::npos;
  if (plain) return std::string(last);
  std::string name;
  for (char c : entry.name) {
    name += (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 32) ? '_' : c;
  }
  while (!name.empty() && name.front() == '.') name.erase(0, 1);
  if (name.empty()) name = "update";
  return name + ".script";
}

UpdateOutcome InstallOfferedScript(platform::Downloader& downloader, const std::string& folder,
                                   const UpdateEntry& entry, const ProgressFn& progress,
                                   const std::function<bool()>& cancelled) {
  std::string text;
  UpdateOutcome outcome = DownloadText(downloader, entry.url, progress, cancelled, text);
  if (!outcome.ok) return outcome;
  outcome.ok = false;
  if (!IniModel::Parse(text).SectionExists("process")) {
    outcome.message = "\"" + entry.url + "\" is not a script: it has no process section.";
    return outcome;
  }
  const bool separated = !folder.empty() && IsPathSeparator(folder.back());
  const std::string path = folder + (separated ? "" : "/") + OfferedScriptName(entry);
  if (const std::error_code ec = platform::ThreadFileSystem().WriteAll(path, text)) {
    outcome.message = "Cannot write \"" + path + "\": " + platform::SystemMessage(ec);
    return outcome;
  }
  outcome.ok = true;
  outcome.file = path;
  outcome.message = "Saved \"" + entry.name + "\" as \"" + path + "\".";
  return outcome;
}

}  // namespace pelvar::app
