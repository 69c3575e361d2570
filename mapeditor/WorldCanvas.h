#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QPoint>
#include <QRegion>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "edit/GridOps.h"
#include "edit/MapDocument.h"
#include "gfx/MapCanvas.h"
#include "gfx/TileRenderer.h"

class WorldCanvas;

// The bars beside the canvas's rows: what each row costs when the map is stored.
class RowGutter : public QWidget {
    Q_OBJECT
  public:
    static constexpr int Width = 56;
    RowGutter(WorldCanvas& canvas, QWidget* parent);
    // "row R: N bytes" or "row R: shares row J" for the row at gutter height `y`, or empty.
    QString TextAt(int y) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

  private:
    WorldCanvas& canvas;
};

// The whole map at one of the zoom steps, with the painting tools. Every change goes
// through the document, so undo, the budget and the map editor see it.
class WorldCanvas : public QAbstractScrollArea {
    Q_OBJECT
  public:
    enum class Tool { Brush, Rectangle, Fill, Pick, Select };

    WorldCanvas(edit::MapDocument& doc, QWidget* parent = nullptr);
    ~WorldCanvas() override;

    edit::MapDocument& Document() const { return doc; }
    // The current map's tiles, drawn at every zoom from these.
    void SetTiles(const gfx::MetatilePixels& tiles);

    int Zoom() const { return zoom; }
    int CellPixels() const { return gfx::ZoomCellPixels[static_cast<std::size_t>(zoom)]; }
    // Changes the zoom step (clamped to 0 .. ZoomSteps - 1), keeping the map point under
    // viewport point `anchor` where it is.
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
    edit::Cell CellAt(QPoint p) const;
    // The cell's top-left corner in viewport pixels.
    QPoint CellPosition(edit::Cell cell) const;

    Tool CurrentTool() const { return tool; }
    void SetTool(Tool t);
    bool GridVisible() const { return showGrid; }
    void SetGridVisible(bool on);
    bool HighlightOn() const { return highlight; }
    void SetHighlight(bool on);

    const std::optional<edit::Rect>& Selection() const { return selection; }
    void ClearSelection();
    // Copies the selection into the clipboard; false when nothing is selected.
    bool CopySelection();
    // Makes the clipboard a stamp that follows the pointer; false when it is empty.
    bool StartStamp();
    bool HasStamp() const { return stamp.has_value(); }
    void DropStamp();
    // Shared by every World window of the run.
    static edit::Block& Clipboard();

    // Ends a stroke or a drag in progress; a rectangle not yet released is dropped.
    void EndDrag();
    // Repaints the rows that changed by other means (undo, redo, replace).
    void RowsChanged(const edit::RowSet& rows);
    // The viewport area those rows cover: what a repaint after their change must redraw.
    QRegion RegionOfRows(const edit::RowSet& rows) const;
    void SelectedTileChanged();

  signals:
    // The cell under the pointer; x is -1 when the pointer is off the map.
    void HoverChanged(int x, int y);
    void Edited(const edit::RowSet& rows);
    void TilePicked();
    void ViewChanged();

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
    friend class RowGutter;
    void UpdateRanges();
    void LayOutGutter();
    // The map cell at `p`, moved into the view and onto the map.
    edit::Cell ClampedCellAt(QPoint p) const;
    QRect CellsRect(const edit::Rect& cells) const;
    void UpdateCells(const edit::Rect& cells);
    void Pick(QPoint p);
    void DidEdit(const edit::RowSet& rows);
    // The cell under a pointer that stood still while the view moved beneath it.
    void RefreshHover();
    void RebuildTiles();
    // Brings the drawn whole map up to date (its changed rows only, when it can); false at
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
    std::array<uint64_t, worldmap::MapHeight> mapImageVersions{};
    RowGutter* gutter;
    int zoom = gfx::NativeZoom;
    Tool tool = Tool::Brush;
    bool showGrid = true;
    bool highlight = false;

    enum class Drag { None, Stroke, Rectangle, Select, Pan };
    Drag drag = Drag::None;
    edit::Cell anchor;
    edit::Cell lastCell{-1, -1};
    QPoint panStart;
    QPoint panOrigin;
    std::optional<edit::Rect> preview;
    std::optional<edit::Rect> selection;
    std::optional<edit::Block> stamp;
    edit::Cell stampAt;
    int wheelRemainder = 0;
};
