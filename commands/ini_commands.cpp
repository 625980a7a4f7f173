#include "commands/builtin_commands.h"

namespace pelvar::commands {

void RegisterIniCommands(CommandSet& /*set*/) {}

}  // namespace pelvar::commands
