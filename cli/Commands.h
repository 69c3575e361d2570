#pragma once

#include "cli/Args.h"
#include "formats/Result.h"

// One function per command. Each validates everything before it writes, so a failure
// leaves every file as it was; output for the user goes to stdout, notes to stderr.
namespace cli {

Result RunInfo(const Args& args);
Result RunExport(const Args& args);
Result RunImport(const Args& args);
Result RunEdit(const Args& args);
Result RunTiles(const Args& args);
Result RunEnemies(const Args& args);
Result RunDiff(const Args& args);
Result RunPatch(const Args& args);
Result RunDemo(const Args& args);

} // namespace cli
