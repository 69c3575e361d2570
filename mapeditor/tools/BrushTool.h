#pragma once

#include "mapeditor/tools/Tool.h"

namespace mapeditor {

// Paints the selected tile along the pointer's path, one undo step a stroke. Only cells in
// view are painted; leaving the view lifts the brush, so no line runs along the outside.
class BrushTool : public Tool {
  public:
    using Tool::Tool;
    void Press(QPoint p) override;
    void Move(QPoint p, bool held) override;
    void Release(QPoint p) override;
    void Finish() override;
    // Esc ends the stroke as its step: the cells stay painted, and undo takes them back.
    bool Cancel() override;
    bool Dragging() const override { return stroking; }
    QString StatusHint() const override;

  private:
    bool stroking = false;
    edit::Cell last;
};

} // namespace mapeditor
