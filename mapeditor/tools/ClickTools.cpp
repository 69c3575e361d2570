#include "mapeditor/tools/ClickTools.h"

namespace mapeditor {

void FillTool::Press(QPoint p) {
    const edit::Cell cell = ctx.CellAt(p);
    if (edit::InMap(cell)) {
        Doc().FloodFill(cell, SelectedTile());
    }
}

QString FillTool::StatusHint() const {
    return QStringLiteral("Fill the connected area of one tile");
}

bool PickTool::PickAt(QPoint p) {
    const edit::Cell cell = ctx.CellAt(p);
    if (!edit::InMap(cell)) {
        return false;
    }
    Doc().SetSelectedTile(Doc().At(cell));
    return true;
}

void PickTool::Press(QPoint p) {
    if (PickAt(p)) {
        ctx.ToolDone();
    }
}

QString PickTool::StatusHint() const {
    return QStringLiteral("Take the tile under the pointer (right click does this with any tool)");
}

} // namespace mapeditor
