#pragma once

#include "mapeditor/tools/Tool.h"

namespace mapeditor {

// The middle button drags the map along under the pointer, with whatever tool is chosen.
class PanTool : public Tool {
  public:
    using Tool::Tool;
    void Press(QPoint p) override;
    void Move(QPoint p, bool held) override;
    void Release(QPoint /*p*/) override { Finish(); }
    void Finish() override { dragging = false; }
    // Esc puts the view back where the drag began.
    bool Cancel() override;
    bool Dragging() const override { return dragging; }
    Qt::CursorShape Cursor() const override {
        return dragging ? Qt::ClosedHandCursor : Qt::CrossCursor;
    }
    QString StatusHint() const override;

  private:
    bool dragging = false;
    QPoint start;
    QPoint startPosition;
};

} // namespace mapeditor
