// The general family: starting programs, sounds, messages, echo, pauses and
// downloads.
#include "commands/builtin_commands.h"
#include "engine/ini_file.h"
#include "engine/script_context.h"

namespace pelvar::commands {

namespace {

void Echo(CommandCall& call) {
  const std::string text = UnescapeField(call.Field(2));
  call.context().view.SetStatus(text);
  call.SetPending(text, LogKind::kInfo);
}

}  // namespace

void RegisterGeneralCommands(CommandSet& set) {
  set.Set("echo", Echo);
}

}  // namespace pelvar::commands
