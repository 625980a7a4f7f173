// The command bodies of every family, bound to the dispatcher's rows.
#pragma once

#include "engine/dispatcher.h"
#include "engine/run_view.h"
#include "platform/services.h"

namespace pelvar::commands {

// A command set with every built command bound.
const CommandSet& BuiltinCommands();

// Unmounts the hives that the run mounted and left mounted, newest first,
// each with a log line ("Unloaded registry hive left loaded by the run:
// \"NAME\"", or "Failed to unload ..." as a failure). Called when a run ends
// (completed, stopped or ended by an error); waits for the registry tool
// even after a stop.
void UnloadRunHives(platform::Services& services, RunView& view);

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
