// The general family: starting programs, sounds, messages, echo, pauses and
// downloads.
#include <algorithm>
#include <chrono>
#include <thread>

#include "commands/builtin_commands.h"
#include "commands/log_text.h"
#include "engine/ini_file.h"
#include "engine/integer_text.h"
#include "engine/script_context.h"
#include "engine/text.h"
#include "platform/downloader.h"
#include "platform/process_launcher.h"
#include "platform/sound.h"

namespace pelvar::commands {

namespace {

// The longest pause `wait` accepts: one day.
constexpr int32_t kMaxWaitSeconds = 86400;
// How often a pause looks whether the run was asked to stop.
constexpr auto kStopPollInterval = std::chrono::milliseconds(100);

// shellexecute / shellexecuteex: field 2 verb or show mode, field 3 the file,
// field 4 the parameters (unescaped). Logs failure when nothing started.
void Execute(CommandCall& call, bool wait) {
  const std::string& verb = call.Field(2);
  const std::string& file = call.Field(3);
  const std::string parameters = UnescapeField(call.Field(4));

  platform::ProcessRequest request;
  const std::string mode = AsciiLowerCopy(verb);
  if (mode == "minimize") {
    request.show = platform::ShowMode::kMinimized;
  } else if (mode == "hide") {
    request.show = platform::ShowMode::kHidden;
  } else {
    request.verb = verb;
  }
  request.file = file;
  request.parameters = parameters;

  std::string what = "command: \"" + verb + "\" using: \"" + file + "\"";
  if (!parameters.empty()) what += " with parameters: \"" + parameters + "\"";

  RunView& view = call.context().view;
  request.stop = [&view] { return view.StopRequested(); };
  platform::ProcessOutcome outcome;
  if (platform::ProcessLauncher* launcher = call.context().services.processes) {
    view.Flush();
    outcome = launcher->Run(request, wait);
  }
  if (!outcome.started) {
    call.SetReason(call.context().services.processes == nullptr ? "no programs can be started"
                                                                : outcome.error);
    call.SetPending("Failed to execute " + what, LogKind::kFailure);
  } else if (outcome.stopped) {
    // The program goes on; the run no longer waits for it.
    call.SetReason("the run was stopped while it waited for the program");
    call.SetPending("Stopped waiting for " + what + ": it goes on running", LogKind::kFailure);
  } else if (wait) {
    call.SetPending("Successfully executed and waited for " + what, LogKind::kSuccess);
  } else {
    call.SetPending("Successfully executed " + what, LogKind::kSuccess);
  }
}

void ShellExecute(CommandCall& call) {
  Execute(call, /*wait=*/true);
}
void ShellExecuteEx(CommandCall& call) {
  Execute(call, /*wait=*/false);
}

void Beep(CommandCall& call) {
  struct NamedSound {
    const char* name;
    platform::SoundKind kind;
  };
  static constexpr NamedSound kSounds[] = {
      {"warning", platform::SoundKind::kWarning},
      {"error", platform::SoundKind::kError},
      {"asterisk", platform::SoundKind::kAsterisk},
      {"confirmation", platform::SoundKind::kConfirmation},
      {"ok", platform::SoundKind::kOk},
  };
  const std::string& name = call.Field(2);
  const std::string lower = AsciiLowerCopy(name);
  const auto* found = std::find_if(std::begin(kSounds), std::end(kSounds),
                                   [&](const NamedSound& s) { return lower == s.name; });
  const bool known = found != std::end(kSounds);
  if (platform::Sound* sound = call.context().services.sound) {
    sound->Play(known ? found->kind : platform::SoundKind::kSimple);
  }
  if (known) {
    call.SetPending("\"" + name + "\" beep!", LogKind::kSuccess);
  } else {
    call.SetReason("the types are warning, error, asterisk, confirmation and ok");
    call.SetPending("Failed to beep - type not recognized: \"" + name + "\"", LogKind::kFailure);
  }
}

void Message(CommandCall& call) {
  const std::string text = call.Field(2);
  call.SetPending("Message: \"" + text, LogKind::kSuccess);
  call.PadFields(4);
  const std::string kind = AsciiLowerCopy(call.Field(3));
  MessageKind shown = MessageKind::kInformation;
  const char* caption = "Information";
  if (kind == "error") {
    shown = MessageKind::kError;
    caption = "Error";
  } else if (kind == "confirmation") {
    shown = MessageKind::kConfirmation;
    caption = "Confirm";
  } else if (kind == "warning") {
    shown = MessageKind::kWarning;
    caption = "Warning";
  }
  RunView& view = call.context().view;
  view.Flush();
  view.ShowMessage(shown, caption, UnescapeField(text));
}

void Echo(CommandCall& call) {
  const std::string text = UnescapeField(call.Field(2));
  call.context().view.SetStatus(text);
  call.SetPending(text, LogKind::kInfo);
}

void Wait(CommandCall& call) {
  const std::string& value = call.Field(2);
  const std::optional<int32_t> seconds = ParseIntegerText(value);
  if (!seconds || *seconds < 0 || *seconds > kMaxWaitSeconds) {
    call.SetReason("not a whole number of seconds from 0 to 86400");
    call.SetPending("Failed - Wait value is not valid: \"" + value + "\" seconds?",
                    LogKind::kFailure);
    return;
  }
  RunView& view = call.context().view;
  view.Flush();
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const Clock::time_point end = start + std::chrono::seconds(*seconds);
  for (Clock::time_point now = Clock::now(); now < end; now = Clock::now()) {
    if (view.StopRequested()) {
      const auto waited = std::chrono::duration_cast<std::chrono::seconds>(now - start).count();
      call.SetReason("the run was stopped");
      call.SetPending("Waited " + std::to_string(waited) + " of " + std::to_string(*seconds) +
                          " seconds: stopped",
                      LogKind::kFailure);
      return;
    }
    std::this_thread::sleep_for(std::min<Clock::duration>(kStopPollInterval, end - now));
  }
  call.SetPending("Waiting " + value + " seconds", LogKind::kSuccess);
}

void WebGet(CommandCall& call) {
  const std::string& url = call.Field(2);
  const std::string& destination = call.Field(3);
  bool ok = false;
  if (platform::Downloader* downloader = call.context().services.downloads) {
    RunView& view = call.context().view;
    view.Flush();
    platform::DownloadRequest request;
    request.url = url;
    request.destination = destination;
    request.cancelled = [&view] { return view.StopRequested(); };
    request.progress = [&view](uint64_t done, uint64_t /*total*/) {
      view.ShowOperationProgress("Downloading", 0, done, false);
    };
    view.ShowOperationProgress("Downloading", 0, 0, false);
    const platform::DownloadOutcome outcome = downloader->Download(request);
    view.ShowOperationProgress("Downloading", 0, 0, true);
    ok = outcome.ok;
    if (!ok) call.SetReason(view.StopRequested() ? "the run was stopped" : outcome.error);
  } else {
    call.SetReason("downloads are not available");
  }
  const std::string where = "file: \"" + url + "\" to directory: \"" + destination + "\"";
  PendOutcome(call, ok, "Downloaded " + where, "Failed to download " + where);
}

}  // namespace

void RegisterGeneralCommands(CommandSet& set) {
  set.Set("shellexecute", ShellExecute);
  set.Set("shellexecuteex", ShellExecuteEx);
  set.Set("beep", Beep);
  set.Set("message", Message);
  set.Set("echo", Echo);
  set.Set("wait", Wait);
  set.Set("webget", WebGet);
}

}  // namespace pelvar::commands
