// Update servers and their offers, kept in the program configuration file:
// section "updates" lists the servers (name=address) and section
// "update-<server>" the entries a server offers (name=version,url,description).
// Fetching a server's list and an offered script go through the downloader.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ini_model.h"
#include "platform/downloader.h"

namespace pelvar::app {

struct UpdateServer {
  std::string name;
  std::string address;
};

struct UpdateEntry {
  std::string name;
  std::string version;
  std::string url;
  std::string description;
};

// The lines of section "updates" as servers, in file order.
std::vector<UpdateServer> ReadUpdateServers(const IniModel& config);
// True when section "update-<server>" holds at least one line.
bool HasUpdateEntries(const IniModel& config, std::string_view server);
// The entries of section "update-<server>", in file order.
std::vector<UpdateEntry> ReadUpdateEntries(const IniModel& config, std::string_view server);
// One entry line: name=version,url,description (the description may hold
// commas; blanks around the fields are dropped).
UpdateEntry ParseUpdateEntry(std::string_view line);

// Makes section "updates" hold one line per server; a name given twice keeps
// the first row's address. The file is edited in place: only the section's
// lines that differ change. Nothing is written without a file.
void SaveUpdateServers(const std::string& config_path, const std::vector<UpdateServer>& servers);

// True for http:// and https:// addresses with a host.
bool IsWebAddress(std::string_view address);

// What an update step did; `message` is shown to the user.
struct UpdateOutcome {
  bool ok = false;
  std::string message;
  std::string file;  // the script written by InstallOfferedScript
};

using ProgressFn = std::function<void(uint64_t done, uint64_t total)>;

// The largest server list fetched: 1 MiB. A larger one is refused as soon as
// its download passes the size.
inline constexpr uint64_t kMaxServerListBytes = uint64_t{1} << 20;

// Downloads the server's address (an INI file) and makes section
// "update-<server>" of the configuration file hold the lines of its section
// "updates" (in place: the rest of the file stays). The configuration is
// untouched when anything fails.
UpdateOutcome FetchServerList(platform::Downloader& downloader, const std::string& config_path,
                              const UpdateServer& server, const ProgressFn& progress,
                              const std::function<bool()>& cancelled);

// The file name an entry's script is saved under: the address's last path
// segment when it is a plain ".script" name, else the entry's name (with
// characters that cannot be in a file name replaced) and ".script".
std::string OfferedScriptName(const UpdateEntry& entry);

// Downloads an entry's script into `folder`, replacing a script of that name
// atomically; refused (nothing written) when the download is not a script
// with a "process" section.
UpdateOutcome InstallOfferedScript(platform::Downloader& downloader, const std::string& folder,
                                   const UpdateEntry& entry, const ProgressFn& progress,
                                   const std::function<bool()>& cancelled);

}  // namespace pelvar::app
