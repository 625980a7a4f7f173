#include "commands/builtin_commands.h"

namespace pelvar::commands {

void RegisterHiveCommands(CommandSet& /*set*/) {}

}  // namespace pelvar::commands
