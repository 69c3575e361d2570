#include "mapeditor/tools/SelectTool.h"

namespace mapeditor {

void SelectTool::Press(QPoint p) {
    Finish();
    before = ctx.Selection();
    anchor = ctx.ClampedCellAt(p);
    dragging = true;
    moved = false;
    ctx.SetSelection(edit::Rect{anchor, anchor});
}

void SelectTool::Move(QPoint p, bool held) {
    if (!dragging) {
        return;
    }
    if (!held) {
        // The release went elsewhere.
        Finish();
        return;
    }
    const edit::Cell far = ctx.ClampedCellAt(p);
    moved = moved || !(far == anchor);
    ctx.SetSelection(Normalised({anchor, far}));
}

void SelectTool::Finish() {
    if (!dragging) {
        return;
    }
    dragging = false;
    if (!moved) {
        ctx.SetSelection(std::nullopt);
    }
}

bool SelectTool::Cancel() {
    if (!dragging) {
        return false;
    }
    dragging = false;
    ctx.SetSelection(before);
    return true;
}

QString SelectTool::StatusHint() const {
    return QStringLiteral("Drag out a selection; Ctrl+C copies it, Ctrl+V pastes");
}

void StampTool::Start(const edit::Block& block, edit::Cell cell) {
    Drop();
    stamp = block;
    at = cell;
    holding = true;
    ctx.UpdateCells(Area());
}

void StampTool::Drop() {
    if (holding) {
        holding = false;
        ctx.UpdateCells(Area());
    }
}

edit::Rect StampTool::Area() const {
    return {at, {at.x + stamp.width - 1, at.y + stamp.height - 1}};
}

void StampTool::Press(QPoint p) {
    if (!holding) {
        return;
    }
    Move(p, false);
    Drop();
    Doc().Paste(stamp, at);
}

void StampTool::Move(QPoint p, bool /*held*/) {
    const edit::Cell cell = ctx.CellAt(p);
    if (holding && !(cell == at)) {
        ctx.UpdateCells(Area());
        at = cell;
        ctx.UpdateCells(Area());
    }
}

bool StampTool::Cancel() {
    const bool was = holding;
    Drop();
    return was;
}

QString StampTool::StatusHint() const {
    return QStringLiteral("Click to put the copy down; Esc drops it");
}

std::optional<ToolPreview> StampTool::Preview() const {
    if (!holding) {
        return std::nullopt;
    }
    return ToolPreview{Area(), &stamp, std::nullopt, Qt::cyan};
}

} // namespace mapeditor
