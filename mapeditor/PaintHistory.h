#pragma once

#include <cstdint>
#include <vector>

// Undo and redo of painting on one map grid. A stroke (press, drag, release) is one step;
// only cells whose value actually changed are kept, so a stroke that changed nothing
// leaves no step behind.
class CPaintHistory {
  public:
    // Starts collecting a stroke; a stroke still open is closed first.
    void BeginStroke();
    // One cell of the open stroke went from `before` to `after`.
    void Record(int cell, uint8_t before, uint8_t after);
    // Closes the open stroke, making it one undo step; a new step drops the redo steps.
    void EndStroke();

    // Puts the last step's cells back in `grid`; false when there is nothing to undo.
    bool Undo(uint8_t* grid);
    // Applies the last undone step again; false when there is nothing to redo.
    bool Redo(uint8_t* grid);

    void Clear();
    bool CanUndo() const { return !undoSteps.empty(); }
    bool CanRedo() const { return !redoSteps.empty(); }

  private:
    struct CellEdit {
        int cell;
        uint8_t before;
        uint8_t after;
    };
    using Step = std::vector<CellEdit>;

    Step openStroke;
    bool strokeOpen = false;
    std::vector<Step> undoSteps;
    std::vector<Step> redoSteps;
};
