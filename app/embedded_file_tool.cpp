#include "app/embedded_file_tool.h"

#include "app/embedded_folders.h"
#include "app/stop_signals.h"
#include "archive/embedded_files.h"
#include "commands/archive_failure.h"
#include "engine/ini_file.h"
#include "engine/ini_model.h"
#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"

namespace pelvar::app {

namespace {

constexpr const char* kToolUsage =
    "Usage: pelvar --embed SCRIPT FOLDER FILE...\n"
    "       pelvar --list-embedded SCRIPT\n"
    "       pelvar --extract-embedded SCRIPT FOLDER FILE DIR   (writes DIR/FILE)\n";

int Embed(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  const std::string& script = args[2];
  const std::string& folder = args[3];
  // The script is written once for all the files, with the folder listed
  // as the editor lists a new one.
  const std::vector<std::string> sources(args.begin() + 4, args.end());
  // In one command's scope, the scratch folder's listing is read once, not
  // once for each file packed into it.
  platform::FileSystem& files = platform::ThreadFileSystem();
  const platform::CommandScope scope(&files);
  const std::vector<bool> done =
      commands::ValueOrRaise(archive::EmbedFiles(files, sources, script, folder, true));
  int status = 0;
  for (size_t i = 4; i < args.size(); ++i) {
    if (done[i - 4]) {
      std::fprintf(out, "Embedded %s in %s\n", args[i].c_str(), folder.c_str());
    } else {
      std::fprintf(err, "Not embedded, no such file: %s\n", args[i].c_str());
      status = 1;
    }
  }
  return status;
}

int List(const std::string& script, std::FILE* out) {
  const IniModel model = IniModel::Load(script);
  const int list = model.FindSection(kEncodedFolders);
  if (list < 0) return 0;
  for (const auto& folder : model.sections()[static_cast<size_t>(list)].lines) {
    const int index = model.FindSection(folder);
    bool any = false;
    if (index >= 0) {
      for (const auto& line : model.sections()[static_cast<size_t>(index)].lines) {
        std::string_view key;
        if (!IniModel::KeyOfLine(line, key)) continue;
        std::string sizes = line.substr(key.size() + 1);
        for (char& c : sizes) {
          if (c == ',') c = '\t';
        }
        std::fprintf(out, "%s\t%s\t%s\n", folder.c_str(), std::string(key).c_str(), sizes.c_str());
        any = true;
      }
    }
    if (!any) std::fprintf(out, "%s\n", folder.c_str());
  }
  return 0;
}

int Extract(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  const std::string& file = args[4];
  // A stop signal ends the extraction at once, leaving no part of the file.
  const auto stop = [] { return StopSignal() != 0; };
  if (!commands::ValueOrRaise(
          archive::ExtractEmbeddedFile(args[2], args[3], file, args[5], stop))) {
    if (StopSignal() != 0) return 1;  // said by the caller
    std::fprintf(err, "Not extracted: %s is not embedded in folder %s\n", file.c_str(),
                 args[3].c_str());
    return 1;
  }
  std::fprintf(out, "Extracted %s to %s\n", file.c_str(), args[5].c_str());
  return 0;
}

}  // namespace

std::optional<int> RunEmbeddedFileTool(const std::vector<std::string>& args, std::FILE* out,
                                       std::FILE* err) {
  if (args.size() < 2) return std::nullopt;
  const std::string& option = args[1];
  const bool embed = option == "--embed";
  const bool list = option == "--list-embedded";
  const bool extract = option == "--extract-embedded";
  if (!embed && !list && !extract) return std::nullopt;
  if ((embed && args.size() < 5) || (list && args.size() != 3) || (extract && args.size() != 6)) {
    std::fputs(kToolUsage, err);
    return 2;
  }
  if (!platform::ThreadFileSystem().IsFile(args[2])) {
    std::fprintf(err, "No such script: %s\n", args[2].c_str());
    return 2;
  }
  try {
    if (embed) return Embed(args, out, err);
    if (list) return List(args[2], out);
    return Extract(args, out, err);
  } catch (const ScriptError& e) {
    std::fprintf(err, "%s\n", ErrorDisplayText(e.what()).c_str());
    return 1;
  }
}

}  // namespace pelvar::app
