#pragma once

#include "mapeditor/tools/Tool.h"

namespace mapeditor {

// Press, drag, release: the rectangle between the two cells is filled with the selected
// tile, shown as it will be while it is dragged out. Nothing changes before the release.
class RectangleTool : public Tool {
  public:
    using Tool::Tool;
    void Press(QPoint p) override;
    void Move(QPoint p, bool held) override;
    void Release(QPoint p) override;
    void Finish() override { Cancel(); }
    bool Cancel() override;
    bool Dragging() const override { return dragging; }
    bool ScrollsAtEdge() const override { return dragging; }
    QString StatusHint() const override;
    std::optional<ToolPreview> Preview() const override;

  private:
    bool dragging = false;
    edit::Rect rect;
};

} // namespace mapeditor
