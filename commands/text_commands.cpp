#include "commands/builtin_commands.h"

namespace pelvar::commands {

void RegisterTextCommands(CommandSet& /*set*/) {}

}  // namespace pelvar::commands
