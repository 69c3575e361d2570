#include "app/Termination.h"

#include <map>
#include <utility>

namespace app {

namespace {

std::map<int, std::function<void()>>& Steps() {
    static std::map<int, std::function<void()>> steps;
    return steps;
}

} // namespace

int AddTerminationStep(std::function<void()> step) {
    static int next = 0;
    Steps().emplace(++next, std::move(step));
    return next;
}

void RemoveTerminationStep(int id) {
    Steps().erase(id);
}

void RunTerminationSteps() {
    // A step may remove itself while running.
    const auto steps = Steps();
    for (const auto& [id, step] : steps) {
        step();
    }
}

} // namespace app
