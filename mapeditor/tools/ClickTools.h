#pragma once

#include "mapeditor/tools/Tool.h"

namespace mapeditor {

// A click fills the connected area (sides touching) of cells equal to the one clicked.
class FillTool : public Tool {
  public:
    using Tool::Tool;
    void Press(QPoint p) override;
    QString StatusHint() const override;
};

// A click takes the tile under the pointer, then hands back to the tool used before.
class PickTool : public Tool {
  public:
    using Tool::Tool;
    void Press(QPoint p) override;
    // Takes the tile at `p` without stepping aside (a right click, with any tool); false
    // off the map.
    bool PickAt(QPoint p);
    QString StatusHint() const override;
};

} // namespace mapeditor
