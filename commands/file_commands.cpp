#include "commands/builtin_commands.h"

namespace pelvar::commands {

void RegisterFileCommands(CommandSet& /*set*/) {}

}  // namespace pelvar::commands
