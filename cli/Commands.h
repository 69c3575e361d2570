#pragma once

#include "cli/Args.h"
#include "cli/Outcome.h"

// One function per command. Each validates everything before it writes, so a failure
// leaves every file as it was; output for the user goes to stdout, notes to stderr.
namespace cli {

Outcome RunInfo(const Args& args);
Outcome RunExport(const Args& args);
Outcome RunImport(const Args& args);
Outcome RunTiles(const Args& args);
Outcome RunEnemies(const Args& args);
Outcome RunDiff(const Args& args);
Outcome RunPatch(const Args& args);
Outcome RunDemo(const Args& args);

} // namespace cli
