#include "commands/builtin_commands.h"

namespace pelvar::commands {

void RegisterRegistryCommands(CommandSet& /*set*/) {}

}  // namespace pelvar::commands
