#include "mapeditor/tools/BrushTool.h"

namespace mapeditor {

void BrushTool::Press(QPoint p) {
    Doc().BeginStroke();
    stroking = true;
    last = ctx.CellAt(p);
    if (edit::InMap(last)) {
        Doc().PaintTo(last);
    }
}

void BrushTool::Move(QPoint p, bool held) {
    if (!stroking) {
        return;
    }
    if (!held) {
        // The release went elsewhere.
        Finish();
        return;
    }
    const edit::Cell cell = ctx.CellAt(p);
    if (cell == last) {
        return;
    }
    last = cell;
    if (edit::InMap(cell) && ctx.InView(p)) {
        Doc().PaintTo(cell);
    } else {
        Doc().LiftStroke();
    }
}

void BrushTool::Release(QPoint /*p*/) {
    Finish();
}

void BrushTool::Finish() {
    if (stroking) {
        stroking = false;
        Doc().EndStroke();
    }
}

bool BrushTool::Cancel() {
    const bool was = stroking;
    Finish();
    return was;
}

QString BrushTool::StatusHint() const {
    return QStringLiteral("Paint cells; drag to paint a line");
}

} // namespace mapeditor
