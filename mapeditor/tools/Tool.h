#pragma once

#include <QColor>
#include <QPoint>
#include <QString>
#include <Qt>
#include <optional>

#include "edit/GridOps.h"
#include "edit/MapDocument.h"

// The World window's tools: each turns the pointer and keys into document operations and
// nothing else. They see the view they work in only through ToolContext, so a tool never
// reaches into the canvas, and the canvas knows a tool only through Tool.
namespace mapeditor {

// What the canvas lends its tools. Points are in the canvas's viewport pixels.
class ToolContext {
  public:
    virtual edit::MapDocument& Document() const = 0;
    // The map cell under `p`; it may lie off the map.
    virtual edit::Cell CellAt(QPoint p) const = 0;
    // The cell at `p` moved into the view and onto the map: where a drag past the edge stops.
    virtual edit::Cell ClampedCellAt(QPoint p) const = 0;
    // `p` lies on the visible canvas.
    virtual bool InView(QPoint p) const = 0;
    // Draws the cells again: something a tool shows over them moved.
    virtual void UpdateCells(const edit::Rect& cells) = 0;
    // The selection, in normalised corners; the canvas draws its outline.
    virtual const std::optional<edit::Rect>& Selection() const = 0;
    virtual void SetSelection(const std::optional<edit::Rect>& cells) = 0;
    // The view's scroll position in map pixels, and moving it.
    virtual QPoint ScrollPosition() const = 0;
    virtual void ScrollTo(QPoint position) = 0;
    // A tool that does one thing and steps aside (pick) hands back to the tool used before.
    virtual void ToolDone() = 0;

  protected:
    ~ToolContext() = default;
};

// What a tool shows over the map while it works.
struct ToolPreview {
    edit::Rect cells;
    // The cells show these tiles (a stamp), or all one tile (a rectangle), or the map.
    const edit::Block* block = nullptr;
    std::optional<uint8_t> tile;
    QColor outline;
};

class Tool {
  public:
    explicit Tool(ToolContext& context) : ctx(context) {}
    virtual ~Tool() = default;
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;

    // The tool's button went down at `p`.
    virtual void Press(QPoint p) = 0;
    // The pointer moved, with the tool's button still down (`held`) or not.
    virtual void Move(QPoint /*p*/, bool /*held*/) {}
    virtual void Release(QPoint /*p*/) {}
    // Ends a drag in progress: what a release would keep is kept, a rectangle not yet
    // released is dropped. Called before another tool takes over or the window closes.
    virtual void Finish() {}
    // Esc: ends the drag in progress as the tool sees fit (a rectangle fills nothing, a
    // selection goes back to the one before, a stroke keeps what it painted). False when
    // there was none.
    virtual bool Cancel() { return false; }
    // A key pressed while the tool is in use; true when the tool took it.
    virtual bool KeyPressed(int key) { return key == Qt::Key_Escape && Cancel(); }
    virtual bool Dragging() const { return false; }
    // Whether the view should scroll while the pointer is held past its edge.
    virtual bool ScrollsAtEdge() const { return false; }
    virtual Qt::CursorShape Cursor() const { return Qt::CrossCursor; }
    virtual QString StatusHint() const = 0;
    virtual std::optional<ToolPreview> Preview() const { return std::nullopt; }

  protected:
    edit::MapDocument& Doc() const { return ctx.Document(); }
    uint8_t SelectedTile() const { return static_cast<uint8_t>(Doc().SelectedTile()); }

    ToolContext& ctx;
};

// The rectangle between two corners in any order, as Left/Top to Right/Bottom.
inline edit::Rect Normalised(const edit::Rect& r) {
    return {{r.Left(), r.Top()}, {r.Right(), r.Bottom()}};
}

} // namespace mapeditor
