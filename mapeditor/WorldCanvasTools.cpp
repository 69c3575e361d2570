#include "mapeditor/WorldCanvas.h"

#include <QMouseEvent>
#include <QTimer>

#include "mapeditor/tools/BrushTool.h"
#include "mapeditor/tools/ClickTools.h"
#include "mapeditor/tools/PanTool.h"
#include "mapeditor/tools/RectangleTool.h"
#include "mapeditor/tools/SelectTool.h"

// The canvas's side of the tools: it owns them, hands the pointer and keys to the one in
// use, and keeps the selection and the clipboard they share.

namespace {

// How often a drag held past the view's edge scrolls it one cell further.
constexpr int AutoScrollMs = 40;

} // namespace

void WorldCanvas::MakeTools() {
    mapeditor::ToolContext& context = *this;
    auto pickTool = std::make_unique<mapeditor::PickTool>(context);
    pick = pickTool.get();
    tools[static_cast<std::size_t>(Tool::Brush)] = std::make_unique<mapeditor::BrushTool>(context);
    tools[static_cast<std::size_t>(Tool::Rectangle)] =
        std::make_unique<mapeditor::RectangleTool>(context);
    tools[static_cast<std::size_t>(Tool::Fill)] = std::make_unique<mapeditor::FillTool>(context);
    tools[static_cast<std::size_t>(Tool::Pick)] = std::move(pickTool);
    tools[static_cast<std::size_t>(Tool::Select)] =
        std::make_unique<mapeditor::SelectTool>(context);
    stamp = std::make_unique<mapeditor::StampTool>(context);
    pan = std::make_unique<mapeditor::PanTool>(context);

    edgeScroll->setInterval(AutoScrollMs);
    connect(edgeScroll, &QTimer::timeout, this, &WorldCanvas::AutoScroll);
}

mapeditor::Tool& WorldCanvas::Active() const {
    return stamp->Holding() ? static_cast<mapeditor::Tool&>(*stamp)
                            : *tools[static_cast<std::size_t>(tool)];
}

void WorldCanvas::SetTool(Tool t) {
    EndDrag();
    if (t != tool) {
        toolBefore = tool;
        tool = t;
        emit ToolChanged(t);
    }
    UpdateCursor();
}

void WorldCanvas::ToolDone() {
    SetTool(toolBefore);
}

QString WorldCanvas::ToolHint(Tool t) const {
    return tools[static_cast<std::size_t>(t)]->StatusHint();
}

void WorldCanvas::UpdateCursor() {
    const Qt::CursorShape shape = pan->Dragging() ? pan->Cursor() : Active().Cursor();
    if (viewport()->cursor().shape() != shape) {
        viewport()->setCursor(shape);
    }
}

void WorldCanvas::SetSelection(const std::optional<edit::Rect>& cells) {
    if (selection) {
        UpdateCells(*selection);
    }
    selection = cells;
    if (selection) {
        UpdateCells(*selection);
    }
}

edit::Block& WorldCanvas::Clipboard() {
    static edit::Block clipboard;
    return clipboard;
}

bool WorldCanvas::CopySelection() {
    if (!selection) {
        return false;
    }
    Clipboard() = doc.Copy(*selection);
    return Clipboard().width > 0;
}

bool WorldCanvas::StartStamp() {
    if (Clipboard().width <= 0 || Clipboard().height <= 0) {
        return false;
    }
    EndDrag();
    stamp->Start(Clipboard(), pointer && InView(*pointer) ? CellAt(*pointer) : TopLeftCell());
    UpdateCursor();
    return true;
}

bool WorldCanvas::HasStamp() const {
    return stamp->Holding();
}

void WorldCanvas::DropStamp() {
    stamp->Drop();
    UpdateCursor();
}

void WorldCanvas::EndDrag() {
    Active().Finish();
    pan->Finish();
    edgeScroll->stop();
    UpdateCursor();
}

bool WorldCanvas::ToolKey(int key) {
    const bool taken = pan->Dragging() ? pan->KeyPressed(key) : Active().KeyPressed(key);
    if (!Active().ScrollsAtEdge()) {
        edgeScroll->stop();
    }
    UpdateCursor();
    return taken;
}

void WorldCanvas::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    pointer = p;
    const Qt::MouseButton button = event->button();
    if (button != Qt::LeftButton && button != Qt::MiddleButton && button != Qt::RightButton) {
        return;
    }
    // Whatever was half done ends first: a press whose release went elsewhere left it open.
    EndDrag();
    if (button == Qt::MiddleButton) {
        pan->Press(p);
    } else if (button == Qt::RightButton) {
        // Takes the tile with any tool, and the tool stays.
        pick->PickAt(p);
    } else {
        Active().Press(p);
    }
    UpdateCursor();
}

void WorldCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    pointer = p;
    pan->Move(p, (event->buttons() & Qt::MiddleButton) != 0);
    mapeditor::Tool& active = Active();
    active.Move(p, (event->buttons() & Qt::LeftButton) != 0);
    if (active.ScrollsAtEdge() && !InView(p)) {
        if (!edgeScroll->isActive()) {
            edgeScroll->start();
        }
    } else {
        edgeScroll->stop();
    }
    UpdateCursor();
    UpdateHover();
}

void WorldCanvas::AutoScroll() {
    if (!pointer || InView(*pointer) || !Active().ScrollsAtEdge()) {
        edgeScroll->stop();
        return;
    }
    const QRect view = viewport()->rect();
    const QPoint p = *pointer;
    const int dx = p.x() < view.left() ? -1 : (p.x() > view.right() ? 1 : 0);
    const int dy = p.y() < view.top() ? -1 : (p.y() > view.bottom() ? 1 : 0);
    ScrollBy(dx * CellPixels(), dy * CellPixels());
    // The far corner follows to the cell now at the edge.
    Active().Move(p, true);
}

void WorldCanvas::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::MiddleButton) {
        pan->Release(p);
    } else if (event->button() == Qt::LeftButton) {
        Active().Release(p);
        edgeScroll->stop();
    }
    UpdateCursor();
}

void WorldCanvas::leaveEvent(QEvent* event) {
    // A drag still gets the pointer's moves, and they tell where it is.
    if (!Active().Dragging() && !pan->Dragging()) {
        pointer.reset();
    }
    emit HoverChanged(-1, -1);
    QAbstractScrollArea::leaveEvent(event);
}
