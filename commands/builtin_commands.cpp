#include "commands/builtin_commands.h"

namespace pelvar::commands {

const CommandSet& BuiltinCommands() {
  static const CommandSet set = [] {
    CommandSet s;
    RegisterFileCommands(s);
    RegisterDirCommands(s);
    RegisterIniCommands(s);
    RegisterRegistryCommands(s);
    RegisterHiveCommands(s);
    RegisterGeneralCommands(s);
    RegisterExtractCommands(s);
    RegisterTextCommands(s);
    return s;
  }();
  return set;
}

}  // namespace pelvar::commands
