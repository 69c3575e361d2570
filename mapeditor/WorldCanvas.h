#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QRegion>
#include <array>
#include <memory>
#include <optional>

#include "app/ViewSteps.h"
#include "edit/GridOps.h"
#include "edit/MapDocument.h"
#include "gfx/MapCanvas.h"
#include "gfx/TileRenderer.h"
#include "mapeditor/RowGutter.h"
#include "mapeditor/tools/Tool.h"

class QTimer;

namespace mapeditor {
class PanTool;
class PickTool;
class StampTool;
} // namespace mapeditor

// The whole map at one of the zoom steps, with the row gutter beside it. It keeps the view
// (zoom, scroll, what is drawn) and lends it to the tools, which make every change through
// the document; it redraws what the document announces, whoever changed it.
class WorldCanvas : public QAbstractScrollArea, private mapeditor::ToolContext {
    Q_OBJECT
  public:
    enum class Tool { Brush, Rectangle, Fill, Pick, Select };
    static constexpr int ToolCount = 5;

    WorldCanvas(edit::MapDocument& doc, QWidget* parent = nullptr);
    ~WorldCanvas() override;

    edit::MapDocument& Document() const override { return doc; }
    // The current map's tiles, drawn at every zoom from these.
    void SetTiles(const gfx::MetatilePixels& tiles);

    int Zoom() const { return zoom; }
    int CellPixels() const { return gfx::ZoomCellPixels[static_cast<std::size_t>(zoom)]; }
    // Changes the zoom step (clamped to 0 .. ZoomSteps - 1), keeping the map point under
    // viewport point `anchor` where it is; without one, about the canvas's middle.
    void SetZoom(int step, QPoint anchor);
    void SetZoom(int step);
    // The largest zoom step at which the whole map fits the viewport, and the map centred.
    void FitWholeMap();

    // Map pixel shown at the viewport's top-left; negative when the map is smaller than the
    // viewport and centred in it.
    QPoint Origin() const;
    // Scrolls so that map pixel `origin` is at the top-left (clamped).
    void SetOrigin(QPoint origin);
    void ScrollToCell(edit::Cell topLeft);
    void ScrollBy(int dx, int dy);
    // The first map cell wholly or partly shown at the top-left, within 0 .. 255.
    edit::Cell TopLeftCell() const;
    // The map cell under viewport point `p`; it may lie outside the map.
    edit::Cell CellAt(QPoint p) const override;
    // The cell's top-left corner in viewport pixels.
    QPoint CellPosition(edit::Cell cell) const;

    Tool CurrentTool() const { return tool; }
    void SetTool(Tool t);
    // What the tool does, in a line.
    QString ToolHint(Tool t) const;
    bool GridVisible() const { return showGrid; }
    void SetGridVisible(bool on);
    bool HighlightOn() const { return highlight; }
    void SetHighlight(bool on);

    const std::optional<edit::Rect>& Selection() const override { return selection; }
    void ClearSelection() { SetSelection(std::nullopt); }
    // Copies the selection into the clipboard; false when nothing is selected.
    bool CopySelection();
    // Makes the clipboard a stamp that follows the pointer; false when it is empty.
    bool StartStamp();
    bool HasStamp() const;
    void DropStamp();
    // Shared by every World window of the run.
    static edit::Block& Clipboard();

    // Ends a stroke or a drag in progress; a rectangle not yet released is dropped.
    void EndDrag();
    // A key for the tool in use (Esc cancels its drag or drops the stamp); true when taken.
    bool ToolKey(int key);
    // The viewport area those rows cover: what a repaint after their change must redraw.
    QRegion RegionOfRows(const edit::RowSet& rows) const;
    // The viewport area of the rows that show any of `tiles`: what a repaint after their
    // look changed must redraw.
    QRegion RegionOfTiles(const edit::TileSet& tiles) const;

  public slots:
    // One step of the scrolling while a drag is held past the view's edge; a timer calls it.
    void AutoScroll();

  signals:
    // The cell under the pointer; x is -1 when the pointer is off the map or the canvas.
    void HoverChanged(int x, int y);
    void ViewChanged();
    // The tool in use changed: chosen, or a pick handing back to the tool before it.
    void ToolChanged(WorldCanvas::Tool tool);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void leaveEvent(QEvent* event) override;

  private:
    // What the tools may use.
    edit::Cell ClampedCellAt(QPoint p) const override;
    bool InView(QPoint p) const override;
    void UpdateCells(const edit::Rect& cells) override;
    void SetSelection(const std::optional<edit::Rect>& cells) override;
    QPoint ScrollPosition() const override;
    void ScrollTo(QPoint position) override { SetOrigin(position); }
    void ToolDone() override;

    void MakeTools();
    mapeditor::Tool& Active() const;
    void UpdateCursor();
    void UpdateRanges();
    void LayOutGutter();
    QRect CellsRect(const edit::Rect& cells) const;
    // Tells the cell under the pointer, which may have moved or had the view move under it.
    void UpdateHover();
    void RowsChanged(const edit::RowSet& rows);
    // Every tile afresh, for a new map.
    void TilesChanged();
    // Only `tiles` of the map's set look different: they and the cells showing them redrawn.
    void RedrawTiles(const edit::TileSet& tiles);
    void RebuildTiles();
    // Brings the drawn whole map up to date (its stale rows only, when it can); false at
    // zooms that draw straight from the grid instead.
    bool SyncMapImage(int highlightTile);

    edit::MapDocument& doc;
    std::unique_ptr<gfx::MetatilePixels> metatiles;
    gfx::ScaledTiles scaled;
    int tilesGeneration = 0;
    QImage buffer;
    // Up to 1/2 (2048 pixels square) the whole map is kept drawn: a repaint copies out of it.
    static constexpr int MaxCachedCellPixels = 8;
    QImage mapImage;
    int mapImageGeneration = -1;
    int mapImageHighlight = -2;
    // Rows the document changed, and tiles whose look changed, since mapImage drew them.
    edit::RowSet staleRows;
    edit::TileSet staleTiles;
    RowGutter* gutter;
    int zoom = gfx::NativeZoom;
    bool showGrid = true;
    bool highlight = false;

    std::array<std::unique_ptr<mapeditor::Tool>, ToolCount> tools;
    mapeditor::PickTool* pick;
    std::unique_ptr<mapeditor::StampTool> stamp;
    std::unique_ptr<mapeditor::PanTool> pan;
    Tool tool = Tool::Brush;
    Tool toolBefore = Tool::Brush;
    std::optional<edit::Rect> selection;
    // Where the pointer last was over the viewport; none once it left.
    std::optional<QPoint> pointer;
    QTimer* edgeScroll;
    app::WheelNotches wheel;
    // The map point (in cells, exactly) the last zoom held still, and the view it left:
    // the next zoom about the same place starts from it, so in and out again is no change.
    struct ZoomAnchor {
        int zoom;
        QPoint onCanvas;
        QPoint origin;
        QPointF cells;
    };
    std::optional<ZoomAnchor> zoomAnchor;
};
