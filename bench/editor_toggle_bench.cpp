// One check-mark click of the script editor, as the window makes it: the
// script's fingerprint is taken (is it still the version shown?), the flag of
// command ROW (from 0) is switched and the list is written back, changing
// that one line; the write checks under the script's lock that the script is
// still the version shown. The editor holds the list already; here it is
// read first, from the process section alone (a small read at the top of the
// script), and the fingerprint the editor keeps in memory is kept in
// SCRIPT.fingerprint from one run to the next (taken from the script when
// that file is missing). Used by editor_toggle.sh under hyperfine.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/command_list.h"
#include "engine/ini_model.h"
#include "platform/posix_file_system.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: editor_toggle_bench SCRIPT ROW\n");
    return 2;
  }
  const std::string script = argv[1];
  const size_t row = std::strtoul(argv[2], nullptr, 10);
  std::vector<std::string> lines =
      pelvar::app::ListCommandLines(pelvar::IniModel::LoadFirstSection(script, "process"));
  if (row >= lines.size()) return 2;
  const std::optional<std::string> toggled = pelvar::app::ToggleLineFlag(lines[row]);
  if (!toggled) return 2;
  lines[row] = *toggled;
  pelvar::platform::PosixFileSystem files;
  const std::string kept = script + ".fingerprint";
  std::optional<size_t> fingerprint;
  std::string text;
  if (!files.ReadAll(kept, text) && !text.empty()) {
    fingerprint = std::strtoull(text.c_str(), nullptr, 10);
  } else {
    fingerprint = pelvar::app::FileFingerprint(script);
  }
  pelvar::app::WrittenScript written;
  if (pelvar::app::WriteCommandLines(files, script, lines, fingerprint, &written) !=
      pelvar::app::WriteOutcome::kWritten) {
    std::fprintf(stderr, "the script changed since it was read\n");
    return 1;
  }
  return files.WriteAll(kept, std::to_string(written.fingerprint),
                        pelvar::platform::Durability::kScratch)
             ? 1
             : 0;
}
