#pragma once

// What the program does when the desktop ends it (SIGTERM, SIGHUP, SIGINT): the steps
// registered here run on the interface thread, then the program ends.

#include <functional>

namespace app {

// Adds a step to run before the program ends on such a signal; steps run in the order
// they were added. Returns an id for RemoveTerminationStep.
int AddTerminationStep(std::function<void()> step);
void RemoveTerminationStep(int id);
// Runs every registered step once (what a signal does before the program ends). A step
// that throws does not keep the others from running.
void RunTerminationSteps();

// From now on SIGTERM, SIGHUP and SIGINT end the program in order: the handler only wakes
// the interface thread, which, inside whatever window or message box is running, runs the
// steps, removes the emulator's temporary copies and ends the program by the signal (so
// no question can hold it up). A second signal within two seconds of the first (a desktop
// ending its session sends SIGHUP right after SIGTERM) changes nothing; one that comes later,
// while the steps still run or the first is not answered, ends the program at once.
// SIGHUP and SIGINT stay ignored when the program was started with them ignored (nohup, a
// background job). Needs the application object; calling it again changes nothing.
void InstallTerminationHandling();

// For tests: called with the signal in place of ending the program; empty restores the
// real end. After it returns, the next signal is handled afresh.
void SetTerminationEnd(std::function<void(int signal)> end);

} // namespace app
