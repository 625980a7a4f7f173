// The command bodies of every family, bound to the dispatcher's rows.
#pragma once

#include "engine/dispatcher.h"

namespace pelvar::commands {

// A command set with every built command bound.
const CommandSet& BuiltinCommands();

// Each family binds its own rows.
void RegisterGeneralCommands(CommandSet& set);   // shellexecute ... webget
void RegisterFileCommands(CommandSet& set);      // filecreateblank ... filecopy
void RegisterDirCommands(CommandSet& set);       // dircopy ... dirmake
void RegisterTextCommands(CommandSet& set);      // txtaddline ... txtdelspaces
void RegisterIniCommands(CommandSet& set);       // inideletesection ... iniwritetextline
void RegisterRegistryCommands(CommandSet& set);  // regwrite... regdeletekey
void RegisterHiveCommands(CommandSet& set);      // reghiveload, reghiveunload
void RegisterExtractCommands(CommandSet& set);   // extractfile ... extractandrun

}  // namespace pelvar::commands
