#include "mapeditor/WorldCanvas.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "app/DocumentSignals.h"
#include "mapeditor/tools/PanTool.h"
#include "mapeditor/tools/SelectTool.h"

namespace {

// Cells scrolled by one notch of the wheel.
constexpr int WheelCells = 3;

int FloorDiv(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace

WorldCanvas::WorldCanvas(edit::MapDocument& d, QWidget* parent)
    : QAbstractScrollArea(parent), doc(d), metatiles(std::make_unique<gfx::MetatilePixels>()),
      gutter(new RowGutter(*this, this)), edgeScroll(new QTimer(this)) {
    MakeTools();
    auto* announced = new DocumentSignals(doc, this);
    connect(announced, &DocumentSignals::rowsChanged, this, &WorldCanvas::RowsChanged);
    connect(announced, &DocumentSignals::mapLoaded, this, &WorldCanvas::TilesChanged);
    connect(announced, &DocumentSignals::tilesChanged, this,
            [this](int set, const edit::TileSet& tiles) {
                if (set == gfx::GraphicsSetOf(doc.MapId())) {
                    RedrawTiles(tiles);
                }
            });
    connect(announced, &DocumentSignals::selectedTileChanged, this, [this] {
        if (highlight) {
            viewport()->update();
        }
    });

    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setCursor(Qt::CrossCursor);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    LayOutGutter();
    TilesChanged();
}

WorldCanvas::~WorldCanvas() = default;

void WorldCanvas::SetTiles(const gfx::MetatilePixels& tiles) {
    *metatiles = tiles;
    RebuildTiles();
    viewport()->update();
}

void WorldCanvas::TilesChanged() {
    // A map loaded: every cell may look different.
    gfx::RenderMetatileSet(doc.Rom(), doc.MapId(), *metatiles);
    RebuildTiles();
    viewport()->update();
    gutter->update();
}

void WorldCanvas::RedrawTiles(const edit::TileSet& tiles) {
    gfx::RenderMetatiles(doc.Rom(), doc.MapId(), tiles, *metatiles);
    scaled.Update(*metatiles, tiles);
    // The kept whole map catches up on its next use, at whatever zoom that is.
    staleTiles |= tiles;
    viewport()->update(RegionOfTiles(tiles));
}

QPoint WorldCanvas::Origin() const {
    const int mapPixels = worldmap::MapWidth * CellPixels();
    const QSize view = viewport()->size();
    const int x =
        mapPixels < view.width() ? -(view.width() - mapPixels) / 2 : horizontalScrollBar()->value();
    const int y =
        mapPixels < view.height() ? -(view.height() - mapPixels) / 2 : verticalScrollBar()->value();
    return {x, y};
}

void WorldCanvas::UpdateRanges() {
    const int mapPixels = worldmap::MapWidth * CellPixels();
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, mapPixels - view.width()));
    verticalScrollBar()->setRange(0, std::max(0, mapPixels - view.height()));
    horizontalScrollBar()->setPageStep(std::max(1, view.width()));
    verticalScrollBar()->setPageStep(std::max(1, view.height()));
    horizontalScrollBar()->setSingleStep(app::ArrowStepCells * CellPixels());
    verticalScrollBar()->setSingleStep(app::ArrowStepCells * CellPixels());
}

void WorldCanvas::LayOutGutter() {
    const bool shown = CellPixels() >= RowGutter::MinCellPixels;
    setViewportMargins(shown ? RowGutter::Width : 0, 0, 0, 0);
    gutter->setVisible(shown);
    const QRect vp = viewport()->geometry();
    gutter->setGeometry(vp.left() - RowGutter::Width, vp.top(), RowGutter::Width, vp.height());
}

void WorldCanvas::SetOrigin(QPoint origin) {
    horizontalScrollBar()->setValue(origin.x());
    verticalScrollBar()->setValue(origin.y());
}

QPoint WorldCanvas::ScrollPosition() const {
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void WorldCanvas::ScrollToCell(edit::Cell topLeft) {
    SetOrigin(QPoint(topLeft.x * CellPixels(), topLeft.y * CellPixels()));
}

void WorldCanvas::ScrollBy(int dx, int dy) {
    SetOrigin(ScrollPosition() + QPoint(dx, dy));
}

edit::Cell WorldCanvas::TopLeftCell() const {
    const QPoint o = Origin();
    const int limit = worldmap::MapWidth - 1;
    return {std::clamp(FloorDiv(std::max(o.x(), 0), CellPixels()), 0, limit),
            std::clamp(FloorDiv(std::max(o.y(), 0), CellPixels()), 0, limit)};
}

edit::Cell WorldCanvas::CellAt(QPoint p) const {
    const QPoint o = Origin();
    return {FloorDiv(o.x() + p.x(), CellPixels()), FloorDiv(o.y() + p.y(), CellPixels())};
}

edit::Cell WorldCanvas::ClampedCellAt(QPoint p) const {
    const QRect view = viewport()->rect();
    const edit::Cell c = CellAt(QPoint(std::clamp(p.x(), view.left(), view.right()),
                                       std::clamp(p.y(), view.top(), view.bottom())));
    return {std::clamp(c.x, 0, worldmap::MapWidth - 1),
            std::clamp(c.y, 0, worldmap::MapHeight - 1)};
}

bool WorldCanvas::InView(QPoint p) const {
    return viewport()->rect().contains(p);
}

QPoint WorldCanvas::CellPosition(edit::Cell cell) const {
    const QPoint o = Origin();
    return {cell.x * CellPixels() - o.x(), cell.y * CellPixels() - o.y()};
}

QRect WorldCanvas::CellsRect(const edit::Rect& cells) const {
    const QPoint tl = CellPosition({cells.Left(), cells.Top()});
    const int cp = CellPixels();
    return QRect(tl.x(), tl.y(), (cells.Right() - cells.Left() + 1) * cp,
                 (cells.Bottom() - cells.Top() + 1) * cp);
}

void WorldCanvas::UpdateCells(const edit::Rect& cells) {
    // One pixel more each way: outlines are drawn on the cells' edges.
    viewport()->update(CellsRect(cells).adjusted(-1, -1, 1, 1));
}

void WorldCanvas::SetZoom(int step) {
    // About the canvas's middle rather than the viewport's: the gutter moves the viewport,
    // and zooming in and out again must come back to the same view.
    SetZoom(step, viewport()->mapFrom(this, rect().center()));
}

void WorldCanvas::SetZoom(int step, QPoint anchor) {
    step = std::clamp(step, 0, gfx::ZoomSteps - 1);
    if (step == zoom) {
        return;
    }
    // The gutter comes or goes at 1/2 and moves the viewport: the anchor is a point on the
    // screen, so it is held where the canvas as a whole has it.
    const QPoint onCanvas = anchor + viewport()->geometry().topLeft();
    QPointF cells = QPointF(Origin() + anchor) / CellPixels();
    if (zoomAnchor && zoomAnchor->zoom == zoom && zoomAnchor->onCanvas == onCanvas &&
        zoomAnchor->origin == Origin()) {
        // Whole pixels lose a fraction of a cell on the way out: take the exact point.
        cells = zoomAnchor->cells;
    }
    zoom = step;
    const int newCp = CellPixels();
    RebuildTiles();
    LayOutGutter();
    UpdateRanges();
    const QPoint at = onCanvas - viewport()->geometry().topLeft();
    // Rounded down, so the pointer stays over the cell it was over.
    SetOrigin(QPoint(static_cast<int>(std::floor(cells.x() * newCp)) - at.x(),
                     static_cast<int>(std::floor(cells.y() * newCp)) - at.y()));
    zoomAnchor = ZoomAnchor{zoom, onCanvas, Origin(), cells};
    viewport()->update();
    gutter->update();
    UpdateHover();
    emit ViewChanged();
}

void WorldCanvas::UpdateHover() {
    const edit::Cell cell = pointer ? CellAt(*pointer) : edit::Cell{-1, -1};
    if (pointer && InView(*pointer) && edit::InMap(cell)) {
        emit HoverChanged(cell.x, cell.y);
    } else {
        emit HoverChanged(-1, -1);
    }
}

void WorldCanvas::FitWholeMap() {
    // The gutter's margin goes away below 1/2, so measure the area without it.
    const QSize room =
        size() - QSize(verticalScrollBar()->sizeHint().width() + 2 * frameWidth(),
                       horizontalScrollBar()->sizeHint().height() + 2 * frameWidth());
    int step = 0;
    for (int s = gfx::ZoomSteps - 1; s >= 0; --s) {
        const int cp = gfx::ZoomCellPixels[static_cast<std::size_t>(s)];
        const int gutterWidth = cp >= RowGutter::MinCellPixels ? RowGutter::Width : 0;
        if (worldmap::MapWidth * cp <= room.width() - gutterWidth &&
            worldmap::MapHeight * cp <= room.height()) {
            step = s;
            break;
        }
    }
    SetZoom(step);
    SetOrigin(QPoint(0, 0));
}

void WorldCanvas::SetGridVisible(bool on) {
    showGrid = on;
    RebuildTiles();
    viewport()->update();
}

void WorldCanvas::SetHighlight(bool on) {
    highlight = on;
    viewport()->update();
}

QRegion WorldCanvas::RegionOfRows(const edit::RowSet& rows) const {
    QRegion region;
    const int cp = CellPixels();
    const int originY = Origin().y();
    int y = 0;
    while (y < worldmap::MapHeight) {
        if (!rows.test(static_cast<std::size_t>(y))) {
            ++y;
            continue;
        }
        int end = y;
        while (end + 1 < worldmap::MapHeight && rows.test(static_cast<std::size_t>(end + 1))) {
            ++end;
        }
        // A pixel more each way: outlines are drawn on the cells' edges.
        region += QRect(0, y * cp - originY - 1, viewport()->width(), (end - y + 1) * cp + 2);
        y = end + 1;
    }
    return region.intersected(viewport()->rect());
}

QRegion WorldCanvas::RegionOfTiles(const edit::TileSet& tiles) const {
    // By grid byte, so the scan of the whole map is one look-up a cell.
    std::array<bool, 256> told{};
    for (std::size_t t = 0; t < tiles.size(); ++t) {
        told[t] = tiles.test(t);
    }
    edit::RowSet rows;
    const uint8_t* cell = doc.MapGrid().data();
    for (std::size_t y = 0; y < worldmap::MapHeight; ++y, cell += worldmap::MapWidth) {
        rows.set(y, std::any_of(cell, cell + worldmap::MapWidth,
                                [&](uint8_t tile) { return told[tile]; }));
    }
    return RegionOfRows(rows);
}

void WorldCanvas::RowsChanged(const edit::RowSet& rows) {
    staleRows |= rows;
    viewport()->update(RegionOfRows(rows));
    gutter->update();
}

void WorldCanvas::RebuildTiles() {
    scaled.Build(*metatiles, CellPixels(), showGrid);
    ++tilesGeneration;
}

bool WorldCanvas::SyncMapImage(int highlightTile) {
    const int cp = CellPixels();
    if (cp > MaxCachedCellPixels) {
        mapImage = QImage();
        return false;
    }
    const int side = worldmap::MapWidth * cp;
    const auto stride = [&] { return static_cast<int>(mapImage.bytesPerLine() / 4); };
    const auto bits = [&](int y) {
        return reinterpret_cast<uint32_t*>(mapImage.bits()) +
               static_cast<std::ptrdiff_t>(y) * stride();
    };
    gfx::ComposeOptions options;
    options.highlightTile = highlightTile;
    if (mapImage.width() != side || mapImageGeneration != tilesGeneration ||
        mapImageHighlight != highlightTile) {
        if (mapImage.width() != side) {
            mapImage = QImage(side, side, QImage::Format_RGB32);
        }
        gfx::ComposeMap(doc.MapGrid(), scaled, 0, 0, side, side, bits(0), stride(), options);
        mapImageGeneration = tilesGeneration;
        mapImageHighlight = highlightTile;
        staleRows.reset();
        staleTiles.reset();
        return true;
    }
    gfx::ComposeTileCells(doc.MapGrid(), scaled, staleTiles, bits(0), stride(), highlightTile);
    staleTiles.reset();
    for (int y = 0; y < worldmap::MapHeight; ++y) {
        if (staleRows.test(static_cast<std::size_t>(y))) {
            gfx::ComposeMap(doc.MapGrid(), scaled, 0, y * cp, side, cp, bits(y * cp), stride(),
                            options);
        }
    }
    staleRows.reset();
    return true;
}

void WorldCanvas::paintEvent(QPaintEvent* event) {
    QWidget* vp = viewport();
    if (buffer.size() != vp->size()) {
        buffer = QImage(vp->size(), QImage::Format_RGB32);
    }
    const QPoint o = Origin();
    gfx::ComposeOptions options;
    options.background = palette().color(QPalette::Dark).rgb() | 0xFF000000u;
    options.highlightTile = highlight ? doc.SelectedTile() : -1;
    const std::optional<mapeditor::ToolPreview> preview = Active().Preview();
    gfx::CellOverlay overlay;
    if (preview && (preview->block != nullptr || preview->tile)) {
        const edit::Rect& r = preview->cells;
        overlay = {r.Left(),
                   r.Top(),
                   r.Right() - r.Left() + 1,
                   r.Bottom() - r.Top() + 1,
                   preview->block != nullptr ? preview->block->tiles.data() : nullptr,
                   preview->tile.value_or(0)};
        options.overlay = &overlay;
    }
    QPainter p(vp);
    const auto stride = static_cast<int>(buffer.bytesPerLine() / 4);
    // Around a map smaller than the view, a plain fill: only the map goes through the buffer.
    const int cp = CellPixels();
    const QRect map(-o.x(), -o.y(), worldmap::MapWidth * cp, worldmap::MapHeight * cp);
    const QRegion around = event->region().subtracted(QRegion(map));
    for (const QRect& r : around) {
        p.fillRect(r, QColor::fromRgb(options.background));
    }
    QRegion composed = event->region().intersected(map);
    if (SyncMapImage(options.highlightTile)) {
        // Zoomed out: the whole map is kept drawn, so a repaint is one copy out of it. Only
        // the overlay's cells are composed afresh.
        QRegion fresh;
        if (options.overlay != nullptr) {
            fresh = composed.intersected(CellsRect(preview->cells));
        }
        for (const QRect& r : composed.subtracted(fresh)) {
            p.drawImage(r.topLeft(), mapImage, r.translated(o));
        }
        composed = fresh;
    }
    for (const QRect& r : composed) {
        const QRect area = r.intersected(buffer.rect());
        if (area.isEmpty()) {
            continue;
        }
        auto* bits = reinterpret_cast<uint32_t*>(buffer.bits()) + area.y() * stride + area.x();
        gfx::ComposeMap(doc.MapGrid(), scaled, o.x() + area.x(), o.y() + area.y(), area.width(),
                        area.height(), bits, stride, options);
        p.drawImage(area.topLeft(), buffer, area);
    }

    const auto outline = [&](const edit::Rect& cells, const QColor& colour) {
        const QRect r = CellsRect(cells).adjusted(0, 0, -1, -1);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::black, 1));
        p.drawRect(r);
        p.setPen(QPen(colour, 1, Qt::DashLine));
        p.drawRect(r);
    };
    if (selection) {
        outline(*selection, Qt::white);
    }
    if (preview) {
        outline(preview->cells, preview->outline);
    }
}

void WorldCanvas::wheelEvent(QWheelEvent* event) {
    event->accept();
    pointer = event->position().toPoint();
    const QPoint angle = event->angleDelta();
    const int notches = wheel.Take(angle.y() != 0 ? angle.y() : angle.x());
    if (notches == 0) {
        return;
    }
    const auto mods = event->modifiers();
    if (mods & Qt::ControlModifier) {
        SetZoom(zoom + notches, *pointer);
        return;
    }
    const int step = -notches * WheelCells * CellPixels();
    if ((mods & Qt::ShiftModifier) || angle.y() == 0) {
        ScrollBy(step, 0);
    } else {
        ScrollBy(0, step);
    }
}

void WorldCanvas::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateRanges();
    LayOutGutter();
}

void WorldCanvas::scrollContentsBy(int /*dx*/, int /*dy*/) {
    viewport()->update();
    gutter->update();
    UpdateHover();
    emit ViewChanged();
}
