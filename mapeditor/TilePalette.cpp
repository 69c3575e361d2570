#include "mapeditor/TilePalette.h"

#include <QMouseEvent>
#include <QPainter>
#include <memory>

#include "app/DocumentSignals.h"
#include "gfx/TileSheet.h"

TileSheetView::TileSheetView(QWidget* parent)
    : QWidget(parent),
      sheet(gfx::SheetColumns * CellPixels, gfx::SheetRows * CellPixels, QImage::Format_RGB32) {
    sheet.fill(Qt::black);
    setFixedSize(sheet.size());
    setCursor(Qt::PointingHandCursor);
}

QSize TileSheetView::sizeHint() const {
    return sheet.size();
}

QPoint TileSheetView::TileCentre(int tile) {
    const gfx::SheetPoint o = gfx::SheetCellOrigin(tile, CellPixels);
    return {o.x + CellPixels / 2, o.y + CellPixels / 2};
}

void TileSheetView::SetTiles(const gfx::MetatilePixels& tiles) {
    for (int t = 0; t < gfx::TileCount; ++t) {
        CopyTile(t, tiles[static_cast<std::size_t>(t)]);
    }
    update();
}

void TileSheetView::SetTile(int tile, const gfx::TilePixels& pixels) {
    CopyTile(tile, pixels);
    const gfx::SheetPoint o = gfx::SheetCellOrigin(tile, CellPixels);
    update(o.x, o.y, CellPixels, CellPixels);
}

void TileSheetView::CopyTile(int tile, const gfx::TilePixels& pixels) {
    const gfx::SheetPoint o = gfx::SheetCellOrigin(tile, CellPixels);
    for (int y = 0; y < gfx::TileSize; ++y) {
        auto* line = reinterpret_cast<uint32_t*>(sheet.scanLine(o.y + y)) + o.x;
        for (int x = 0; x < gfx::TileSize; ++x) {
            line[x] = gfx::ToArgb(pixels[static_cast<std::size_t>(y * gfx::TileSize + x)]);
        }
    }
}

void TileSheetView::SetMarked(int tile) {
    if (tile != marked) {
        marked = tile;
        update();
    }
}

void TileSheetView::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.drawImage(0, 0, sheet);
    if (marked < 0 || marked >= gfx::TileCount) {
        return;
    }
    const gfx::SheetRect r = gfx::SheetOutline(marked, CellPixels);
    p.setPen(QPen(QColor(255, 0, 0), 1));
    p.drawRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void TileSheetView::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    const int tile = gfx::SheetTileAt(p.x(), p.y(), CellPixels);
    if (tile >= 0) {
        emit TileClicked(tile);
    }
}

void TileSheetView::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    const int tile = gfx::SheetTileAt(p.x(), p.y(), CellPixels);
    if (tile >= 0 && event->button() == Qt::LeftButton) {
        emit TileDoubleClicked(tile);
    }
}

TilePalette::TilePalette(edit::MapDocument& d, QWidget* parent) : TileSheetView(parent), doc(d) {
    setToolTip(QStringLiteral("Click a tile to paint with it; double-click to edit it"));
    LoadTiles();
    SetMarked(doc.SelectedTile());
    connect(this, &TileSheetView::TileClicked, this,
            [this](int tile) { doc.SetSelectedTile(tile); });
    auto* heard = new DocumentSignals(doc, this);
    connect(heard, &DocumentSignals::selectedTileChanged, this, &TileSheetView::SetMarked);
    connect(heard, &DocumentSignals::mapLoaded, this, &TilePalette::LoadTiles);
    connect(heard, &DocumentSignals::tilesChanged, this,
            [this](int graphicsSet, const edit::TileSet& tiles) {
                if (graphicsSet == gfx::GraphicsSetOf(doc.MapId())) {
                    RedrawTiles(tiles);
                }
            });
}

void TilePalette::LoadTiles() {
    auto tiles = std::make_unique<gfx::MetatilePixels>();
    gfx::RenderMetatileSet(doc.Rom(), doc.MapId(), *tiles);
    SetTiles(*tiles);
}

void TilePalette::RedrawTiles(const edit::TileSet& tiles) {
    gfx::TilePixels pixels;
    for (int t = 0; t < gfx::TileCount; ++t) {
        if (tiles.test(static_cast<std::size_t>(t))) {
            gfx::RenderMetatile(doc.Rom(), gfx::GraphicsSetOf(doc.MapId()), t, pixels);
            SetTile(t, pixels);
        }
    }
}
