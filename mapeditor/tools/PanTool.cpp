#include "mapeditor/tools/PanTool.h"

namespace mapeditor {

void PanTool::Press(QPoint p) {
    dragging = true;
    start = p;
    startPosition = ctx.ScrollPosition();
}

void PanTool::Move(QPoint p, bool held) {
    if (!dragging) {
        return;
    }
    if (!held) {
        // A pan ends when the middle button is up, wherever it was let go.
        Finish();
        return;
    }
    ctx.ScrollTo(startPosition - (p - start));
}

bool PanTool::Cancel() {
    if (!dragging) {
        return false;
    }
    dragging = false;
    ctx.ScrollTo(startPosition);
    return true;
}

QString PanTool::StatusHint() const {
    return QStringLiteral("Drag with the middle button to move the map");
}

} // namespace mapeditor
