#include "cli/Commands.h"

namespace cli {

namespace {
Outcome Pending() {
    return Fail(ExitUsage, "this command is not built yet");
}
} // namespace

Outcome RunInfo(const Args&) {
    return Pending();
}
Outcome RunExport(const Args&) {
    return Pending();
}
Outcome RunImport(const Args&) {
    return Pending();
}
Outcome RunTiles(const Args&) {
    return Pending();
}
Outcome RunEnemies(const Args&) {
    return Pending();
}
Outcome RunDiff(const Args&) {
    return Pending();
}
Outcome RunPatch(const Args&) {
    return Pending();
}

} // namespace cli
