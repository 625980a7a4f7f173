#include "commands/builtin_commands.h"

namespace pelvar::commands {

void RegisterDirCommands(CommandSet& /*set*/) {}

}  // namespace pelvar::commands
