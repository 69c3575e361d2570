#pragma once

#include "mapeditor/tools/Tool.h"

namespace mapeditor {

// Drags out the selection that copy and Replace work on; a click without a drag clears it.
class SelectTool : public Tool {
  public:
    using Tool::Tool;
    void Press(QPoint p) override;
    void Move(QPoint p, bool held) override;
    void Release(QPoint /*p*/) override { Finish(); }
    void Finish() override;
    // Esc puts back the selection there was before the drag.
    bool Cancel() override;
    bool Dragging() const override { return dragging; }
    bool ScrollsAtEdge() const override { return dragging; }
    QString StatusHint() const override;

  private:
    bool dragging = false;
    bool moved = false;
    edit::Cell anchor;
    std::optional<edit::Rect> before;
};

// A copied block that follows the pointer until a click puts it down (one undo step) or
// Esc drops it. Cells past the map's edges are dropped.
class StampTool : public Tool {
  public:
    using Tool::Tool;
    void Start(const edit::Block& block, edit::Cell at);
    bool Holding() const { return holding; }
    void Drop();
    void Press(QPoint p) override;
    void Move(QPoint p, bool held) override;
    bool Cancel() override;
    QString StatusHint() const override;
    std::optional<ToolPreview> Preview() const override;

  private:
    edit::Rect Area() const;

    bool holding = false;
    edit::Block stamp;
    edit::Cell at;
};

} // namespace mapeditor
