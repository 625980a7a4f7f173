// Stand-ins for starting programs and downloading in a dry run: nothing is
// started or fetched; the journal is told what would have been. The
// registry tool's load and unload are carried out on the overlay registry,
// with the tool's own refusals, so that later lines see the mounted hive;
// its other commands go to the tool given by set_reg_tool_runner (which
// works on the overlays, so the journal records what they would change).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/change_journal.h"
#include "platform/downloader.h"
#include "platform/process_launcher.h"

namespace pelvar::platform {

class FileSystem;
class OverlayRegistry;

class RecordingProcessLauncher : public ProcessLauncher {
 public:
  // `reg_tool`: the registry tool's path as the services name it.
  RecordingProcessLauncher(ChangeJournal& journal, std::string reg_tool, OverlayRegistry* registry)
      : journal_(journal), reg_tool_(std::move(reg_tool)), registry_(registry) {}
  // Reports a program that started and ended with status 0.
  ProcessOutcome Run(const ProcessRequest& request, bool wait) override;

  // Runs the registry tool in-process on its arguments: its exit status,
  // and its messages for the user.
  using RegToolRunner = std::function<int(const std::vector<std::string>& args, std::string& err)>;
  void set_reg_tool_runner(RegToolRunner runner) { runner_ = std::move(runner); }

 private:
  ProcessOutcome RunRegTool(const std::string& parameters);

  ChangeJournal& journal_;
  std::string reg_tool_;
  OverlayRegistry* registry_;
  RegToolRunner runner_;
};

class RecordingDownloader : public Downloader {
 public:
  RecordingDownloader(ChangeJournal& journal, FileSystem& files)
      : journal_(journal), files_(files) {}
  // Reports success; the destination is left as it was.
  DownloadOutcome Download(const DownloadRequest& request) override;

 private:
  ChangeJournal& journal_;
  FileSystem& files_;
};

}  // namespace pelvar::platform
