#include "mapeditor/PaintHistory.h"

#include <utility>

void CPaintHistory::BeginStroke() {
    EndStroke();
    strokeOpen = true;
}

void CPaintHistory::Record(int cell, uint8_t before, uint8_t after) {
    if (!strokeOpen || before == after) {
        return;
    }
    openStroke.push_back({cell, before, after});
}

void CPaintHistory::EndStroke() {
    strokeOpen = false;
    if (openStroke.empty()) {
        return;
    }
    undoSteps.push_back(std::move(openStroke));
    openStroke.clear();
    redoSteps.clear();
}

bool CPaintHistory::Undo(uint8_t* grid) {
    EndStroke();
    if (undoSteps.empty()) {
        return false;
    }
    Step step = std::move(undoSteps.back());
    undoSteps.pop_back();
    // Backwards, so a cell painted twice in one stroke ends at its value before the stroke.
    for (auto it = step.rbegin(); it != step.rend(); ++it) {
        grid[it->cell] = it->before;
    }
    redoSteps.push_back(std::move(step));
    return true;
}

bool CPaintHistory::Redo(uint8_t* grid) {
    EndStroke();
    if (redoSteps.empty()) {
        return false;
    }
    Step step = std::move(redoSteps.back());
    redoSteps.pop_back();
    for (const CellEdit& edit : step) {
        grid[edit.cell] = edit.after;
    }
    undoSteps.push_back(std::move(step));
    return true;
}

void CPaintHistory::Clear() {
    openStroke.clear();
    strokeOpen = false;
    undoSteps.clear();
    redoSteps.clear();
}
