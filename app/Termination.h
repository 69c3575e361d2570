#pragma once

// What the program does when the desktop ends it (SIGTERM, SIGHUP, SIGINT): the steps
// registered here run on the interface thread, then the program ends.

#include <functional>

namespace app {

// Adds a step to run before the program ends on such a signal; steps run in the order
// they were added. Returns an id for RemoveTerminationStep.
int AddTerminationStep(std::function<void()> step);
void RemoveTerminationStep(int id);
// Runs every registered step once (what a signal does before the program ends).
void RunTerminationSteps();

} // namespace app
