#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <cstdint>

#include "edit/GridOps.h"
#include "gfx/TileRenderer.h"
#include "tiles/TileModel.h"
#include "worldmap/WorldMap.h"

// The parts of the Tiles window that show tiles. They draw what they are given and say
// what the mouse did; the window does the editing.
namespace mapeditor {

// The 128 tiles at 32 pixels, 16 to a row, the selected one outlined, with marks for the
// shared range, the tiles sharing a pattern with the selected one and the tiles drawing
// the pattern under the pointer, and a legend of the marks beneath.
class TileSheetMarks : public QWidget {
    Q_OBJECT
  public:
    static constexpr int CellPixels = 32;
    static constexpr int LegendHeight = 22;
    explicit TileSheetMarks(QWidget* parent = nullptr);
    void SetTile(int tile, const gfx::TilePixels& pixels);
    void SetSelected(int tile);
    void SetMarks(const tiles::TileMask& sharing, const tiles::TileMask& hovered);
    int Selected() const { return selected; }
    const tiles::TileMask& Sharing() const { return sharing; }
    const tiles::TileMask& Hovered() const { return hovered; }
    const QImage& Sheet() const { return sheet; }
    static QPoint TileCentre(int tile);
    QSize sizeHint() const override;

  signals:
    void TileClicked(int tile);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    QImage sheet;
    int selected = 0;
    tiles::TileMask sharing;
    tiles::TileMask hovered;
};

// One tile enlarged, 16 screen pixels to a tile pixel, with a light pixel grid and the
// lines between its quarters. A left press or drag paints, a right press picks; both
// say which tile pixel.
class TileCanvas : public QWidget {
    Q_OBJECT
  public:
    static constexpr int Zoom = 16;
    static constexpr int Side = tiles::TileSide * Zoom;
    explicit TileCanvas(QWidget* parent = nullptr);
    void SetTile(const gfx::TilePixels& pixels);
    // The tile pixel under widget point `p`, or (-1, -1).
    static QPoint PixelAt(const QPoint& p);
    static QPoint PixelCentre(int x, int y) { return {x * Zoom + Zoom / 2, y * Zoom + Zoom / 2}; }
    // The pixel under the pointer, or (-1, -1).
    QPoint Hover() const { return hover; }
    const QImage& Picture() const { return picture; }
    QSize sizeHint() const override { return {Side + 1, Side + 1}; }

  signals:
    void Painted(int x, int y);
    void StrokeEnded();
    void Picked(int x, int y);
    void HoverChanged(int x, int y);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void SetHover(QPoint pixel);

    QImage picture;
    QPoint hover{-1, -1};
    QPoint lastPainted{-1, -1};
    bool painting = false;
};

// The map around the map editor's view, drawn with the tiles being edited, the editor's
// view outlined.
class MapPreview : public QWidget {
    Q_OBJECT
  public:
    static constexpr int Columns = 32;
    static constexpr int Rows = 22;
    static constexpr int CellPixels = gfx::TileSize;
    // `view` is the top-left cell of the map editor's 16 by 16-cell view.
    MapPreview(const worldmap::Grid& grid, edit::Cell view, QWidget* parent = nullptr);
    void SetTile(int tile, const gfx::TilePixels& pixels);
    edit::Cell Origin() const { return origin; }
    QImage Render() const;
    QSize sizeHint() const override { return {Columns * CellPixels, Rows * CellPixels}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const worldmap::Grid& grid;
    edit::Cell view;
    edit::Cell origin;
    std::array<QImage, gfx::TileCount> images;
};

QImage TileImage(const gfx::TilePixels& pixels);

} // namespace mapeditor
