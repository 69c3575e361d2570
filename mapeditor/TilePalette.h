#pragma once

#include <QImage>
#include <QWidget>

#include "edit/MapDocument.h"
#include "gfx/TileRenderer.h"

// A map's 128 tiles as a sheet, laid out as the map editor's chooser lays them out, with
// one tile outlined; a click on a tile says which.
class TileSheetView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int CellPixels = gfx::TileSize;
    explicit TileSheetView(QWidget* parent = nullptr);
    void SetTiles(const gfx::MetatilePixels& tiles);
    // One tile's new look; only its cell is drawn again.
    void SetTile(int tile, const gfx::TilePixels& pixels);
    // The tile outlined; -1 for none.
    int Marked() const { return marked; }
    void SetMarked(int tile);
    // Centre of tile `tile` in the widget.
    static QPoint TileCentre(int tile);
    QSize sizeHint() const override;

  signals:
    void TileClicked(int tile);
    void TileDoubleClicked(int tile);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    void CopyTile(int tile, const gfx::TilePixels& pixels);

    QImage sheet;
    int marked = -1;
};

// The current map's tiles with the tile to paint with outlined; a click chooses it. It
// follows the document: another map, another tile chosen anywhere, tiles redrawn.
class TilePalette : public TileSheetView {
    Q_OBJECT
  public:
    explicit TilePalette(edit::MapDocument& doc, QWidget* parent = nullptr);

  private:
    void LoadTiles();
    void RedrawTiles(const edit::TileSet& tiles);

    edit::MapDocument& doc;
};
