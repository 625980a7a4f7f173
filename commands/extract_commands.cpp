#include "commands/builtin_commands.h"

namespace pelvar::commands {

void RegisterExtractCommands(CommandSet& /*set*/) {}

}  // namespace pelvar::commands
