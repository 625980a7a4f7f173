// The dry run: a script runs unchanged on services that read the real file
// system, registry store and hive files but change nothing. Writes land in
// memory on top of them (later lines see them), programs are not started,
// nothing is downloaded, no sound plays and no message waits. After the log
// lines of each command come the changes it would have made, one per line:
//
//   + create PATH (N bytes)                a file made (", copy of SRC")
//   ~ replace PATH (N -> M bytes)          a file's bytes replaced
//   - delete PATH (N bytes)                a file deleted
//   + folder PATH / - folder PATH          a folder made / removed
//   ~ executable PATH                      a file made executable
//   ini PATH [SECTION] KEY: OLD -> NEW     a key of an INI file; (none)
//   reg + key KEY / reg - key KEY          a registry key made / deleted
//   reg KEY\NAME: OLD -> NEW               a registry value; (none)
//   reg mount KEY from FILE / reg unmount KEY
//   ! would start "PROGRAM" PARAMETERS      a program not started
//   ! would download URL to PATH           a download not made
//   ! would show message "CAPTION": TEXT   a message not shown
//
// Paths are host paths; registry values show as "text" (REG_SZ), TYPE "text"
// for the other string types, 0x0000002a (42) for numbers, hex:01,ff for bytes.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/program_config.h"
#include "app/program_location.h"
#include "engine/run_view.h"
#include "platform/change_journal.h"
#include "platform/services.h"

namespace pelvar::app {

// The lines (without their two leading blanks) that tell the changes.
std::vector<std::string> ChangeLines(const std::vector<platform::Change>& changes);

// Text of a registry value for the change lines; "(none)" for none.
std::string RegistryValueText(const std::optional<platform::RegistryValue>& value);

// The services of a dry run, wired from the configuration like a real run's.
class DryRunServices {
 public:
  DryRunServices(const ProgramConfig& config, const ProgramLocation& location);
  ~DryRunServices();
  DryRunServices(const DryRunServices&) = delete;
  DryRunServices& operator=(const DryRunServices&) = delete;

  platform::Services& services() { return services_; }
  platform::ChangeJournal& journal() { return journal_; }

 private:
  struct Owned;
  platform::ChangeJournal journal_;
  std::unique_ptr<Owned> owned_;
  platform::Services services_;
};

// A run view for a dry run around the real one: after each log line the
// changes recorded since are handed to `emit`, one line each (indented by
// two blanks); messages are noted instead of shown.
class DryRunView : public RunView {
 public:
  using Emit = std::function<void(std::string_view line)>;
  // `emit` empty: the change lines go to `inner` as info lines.
  DryRunView(RunView& inner, platform::ChangeJournal& journal, Emit emit = {});

  // Hands on the changes recorded since the last log line.
  void FlushChanges();

  void SetProgressMax(int max) override { inner_.SetProgressMax(max); }
  void SetProgressPosition(int position) override { inner_.SetProgressPosition(position); }
  void SetStatus(std::string_view text) override { inner_.SetStatus(text); }
  void AddLog(std::string_view text, LogKind kind, LogReveal reveal) override;
  void AddLogWithReason(std::string_view text, LogKind kind, LogReveal reveal,
                        const LogReason& reason) override;
  void ShowMessage(MessageKind kind, std::string_view caption, std::string_view text) override;
  bool StopRequested() const override { return inner_.StopRequested(); }
  void Flush() override { inner_.Flush(); }
  void ShowOperationProgress(std::string_view operation, uint64_t files, uint64_t bytes,
                             bool finished) override {
    inner_.ShowOperationProgress(operation, files, bytes, finished);
  }

 private:
  RunView& inner_;
  platform::ChangeJournal& journal_;
  Emit emit_;
};

}  // namespace pelvar::app
