#include "mapeditor/tools/RectangleTool.h"

namespace mapeditor {

void RectangleTool::Press(QPoint p) {
    Cancel();
    const edit::Cell anchor = ctx.ClampedCellAt(p);
    rect = {anchor, anchor};
    dragging = true;
    ctx.UpdateCells(rect);
}

void RectangleTool::Move(QPoint p, bool held) {
    if (!dragging) {
        return;
    }
    if (!held) {
        // The release went elsewhere: nothing was meant to be filled.
        Cancel();
        return;
    }
    ctx.UpdateCells(Normalised(rect));
    rect.b = ctx.ClampedCellAt(p);
    ctx.UpdateCells(Normalised(rect));
}

void RectangleTool::Release(QPoint /*p*/) {
    if (!dragging) {
        return;
    }
    dragging = false;
    const edit::Rect cells = Normalised(rect);
    ctx.UpdateCells(cells);
    Doc().FillRect(cells, SelectedTile());
}

bool RectangleTool::Cancel() {
    if (!dragging) {
        return false;
    }
    dragging = false;
    ctx.UpdateCells(Normalised(rect));
    return true;
}

QString RectangleTool::StatusHint() const {
    return QStringLiteral("Drag out a rectangle to fill with the tile");
}

std::optional<ToolPreview> RectangleTool::Preview() const {
    if (!dragging) {
        return std::nullopt;
    }
    return ToolPreview{Normalised(rect), nullptr, SelectedTile(), Qt::yellow};
}

} // namespace mapeditor
