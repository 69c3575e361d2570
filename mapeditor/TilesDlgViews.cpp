#include "mapeditor/TilesDlgViews.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cstdlib>

#include "gfx/TileSheet.h"

namespace mapeditor {

namespace {

const QColor SelectedColour(255, 0, 0);
const QColor SharedRangeColour(40, 120, 255);
const QColor SharingColour(255, 220, 0);
const QColor HoveredColour(0, 230, 230);

// The marks, drawn the same in the sheet and in its legend, in a cell at `at` of `side`.
void SharedRangeMark(QPainter& p, QPoint at) {
    QPainterPath corner;
    corner.moveTo(at);
    corner.lineTo(at + QPoint(9, 0));
    corner.lineTo(at + QPoint(0, 9));
    corner.closeSubpath();
    p.fillPath(corner, SharedRangeColour);
}

void SharingMark(QPainter& p, QPoint at, int side) {
    p.setPen(Qt::black);
    p.setBrush(SharingColour);
    p.drawEllipse(QRect(at + QPoint(side - 10, side - 10), QSize(8, 8)));
    p.setBrush(Qt::NoBrush);
}

void HoveredMark(QPainter& p, QPoint at, int side) {
    p.setPen(QPen(HoveredColour, 2, Qt::DashLine));
    p.drawRect(QRect(at + QPoint(3, 3), QSize(side - 6, side - 6)));
}

} // namespace

QImage TileImage(const gfx::TilePixels& pixels) {
    QImage image(gfx::TileSize, gfx::TileSize, QImage::Format_RGB32);
    for (int y = 0; y < gfx::TileSize; ++y) {
        auto* line = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int x = 0; x < gfx::TileSize; ++x) {
            line[x] = gfx::ToArgb(pixels[static_cast<std::size_t>(y * gfx::TileSize + x)]);
        }
    }
    return image;
}

// ----- TileSheetMarks -----

TileSheetMarks::TileSheetMarks(QWidget* parent)
    : QWidget(parent),
      sheet(gfx::SheetColumns * CellPixels, gfx::SheetRows * CellPixels, QImage::Format_RGB32) {
    sheet.fill(Qt::black);
    setFixedSize(sizeHint());
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("Click a tile to edit it"));
}

QSize TileSheetMarks::sizeHint() const {
    return {sheet.width(), sheet.height() + LegendHeight};
}

QPoint TileSheetMarks::TileCentre(int tile) {
    const gfx::SheetPoint o = gfx::SheetCellOrigin(tile, CellPixels);
    return {o.x + CellPixels / 2, o.y + CellPixels / 2};
}

void TileSheetMarks::SetTile(int tile, const gfx::TilePixels& pixels) {
    const gfx::SheetPoint o = gfx::SheetCellOrigin(tile, CellPixels);
    QPainter p(&sheet);
    p.drawImage(QRect(o.x, o.y, CellPixels, CellPixels), TileImage(pixels));
    update(o.x, o.y, CellPixels, CellPixels);
}

void TileSheetMarks::SetSelected(int tile) {
    selected = tile;
    update();
}

void TileSheetMarks::SetMarks(const tiles::TileMask& s, const tiles::TileMask& h) {
    if (s != sharing || h != hovered) {
        sharing = s;
        hovered = h;
        update();
    }
}

void TileSheetMarks::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.drawImage(0, 0, sheet);
    for (int t = 0; t < gfx::TileCount; ++t) {
        const gfx::SheetPoint o = gfx::SheetCellOrigin(t, CellPixels);
        const QPoint at(o.x, o.y);
        if (tiles::IsSharedTile(t)) {
            SharedRangeMark(p, at);
        }
        if (sharing.test(static_cast<std::size_t>(t))) {
            SharingMark(p, at, CellPixels);
        }
        if (hovered.test(static_cast<std::size_t>(t))) {
            HoveredMark(p, at, CellPixels);
        }
    }
    const gfx::SheetRect r = gfx::SheetOutline(selected, CellPixels);
    p.setPen(QPen(SelectedColour, 2));
    p.drawRect(QRect(QPoint(r.left + 1, r.top + 1), QPoint(r.right - 1, r.bottom - 1)));

    // The legend: each mark in a small cell of its own, then what it means.
    p.fillRect(QRect(0, sheet.height(), width(), LegendHeight), palette().window());
    const int side = LegendHeight - 4;
    const int y = sheet.height() + 2;
    const std::pair<int, QString> items[] = {
        {0, QStringLiteral("shared by all maps")},
        {1, QStringLiteral("shares a pattern with it")},
        {2, QStringLiteral("uses the pattern pointed at")},
    };
    int x = 0;
    for (const auto& [kind, text] : items) {
        const QPoint at(x, y);
        p.fillRect(QRect(at, QSize(side, side)), Qt::darkGray);
        if (kind == 0) {
            SharedRangeMark(p, at);
        } else if (kind == 1) {
            SharingMark(p, at, side);
        } else {
            HoveredMark(p, at, side);
        }
        p.setPen(palette().windowText().color());
        const QRect label(x + side + 4, y, 200, side);
        QRect used;
        p.drawText(label, Qt::AlignLeft | Qt::AlignVCenter, text, &used);
        x = used.right() + 10;
    }
}

void TileSheetMarks::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    const int tile = gfx::SheetTileAt(p.x(), p.y(), CellPixels);
    if (tile >= 0 && event->button() == Qt::LeftButton) {
        emit TileClicked(tile);
    }
}

// ----- TileCanvas -----

TileCanvas::TileCanvas(QWidget* parent) : QWidget(parent) {
    setFixedSize(sizeHint());
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::CrossCursor);
    setToolTip(QStringLiteral("Left: paint; right: take the value; F: fill"));
}

void TileCanvas::SetTile(const gfx::TilePixels& pixels) {
    picture = TileImage(pixels);
    update();
}

QPoint TileCanvas::PixelAt(const QPoint& p) {
    if (p.x() < 0 || p.y() < 0 || p.x() >= Side || p.y() >= Side) {
        return {-1, -1};
    }
    return {p.x() / Zoom, p.y() / Zoom};
}

void TileCanvas::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.drawImage(QRect(0, 0, Side, Side), picture);
    // A light grid between pixels and a bolder one between quarters, both seen on any
    // colour: grey, half transparent.
    p.setPen(QColor(128, 128, 128, 110));
    for (int i = 0; i <= tiles::TileSide; ++i) {
        p.drawLine(i * Zoom, 0, i * Zoom, Side);
        p.drawLine(0, i * Zoom, Side, i * Zoom);
    }
    p.setPen(QPen(QColor(255, 255, 255, 200), 1));
    p.drawLine(Side / 2, 0, Side / 2, Side);
    p.drawLine(0, Side / 2, Side, Side / 2);
    p.setPen(QColor(0, 0, 0, 200));
    p.drawLine(Side / 2 + 1, 0, Side / 2 + 1, Side);
    p.drawLine(0, Side / 2 + 1, Side, Side / 2 + 1);
    if (hover.x() >= 0) {
        p.setPen(QPen(Qt::white, 1));
        p.drawRect(hover.x() * Zoom, hover.y() * Zoom, Zoom, Zoom);
    }
}

void TileCanvas::SetHover(QPoint pixel) {
    if (pixel != hover) {
        hover = pixel;
        update();
        emit HoverChanged(pixel.x(), pixel.y());
    }
}

void TileCanvas::mousePressEvent(QMouseEvent* event) {
    const QPoint pixel = PixelAt(event->position().toPoint());
    SetHover(pixel);
    if (pixel.x() < 0) {
        return;
    }
    if (event->button() == Qt::LeftButton) {
        painting = true;
        lastPainted = pixel;
        emit Painted(pixel.x(), pixel.y());
    } else if (event->button() == Qt::RightButton) {
        emit Picked(pixel.x(), pixel.y());
    }
}

void TileCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pixel = PixelAt(event->position().toPoint());
    const bool moved = pixel != hover;
    SetHover(pixel);
    if (painting && !(event->buttons() & Qt::LeftButton)) {
        // The release went elsewhere: the stroke ends with the button.
        painting = false;
        emit StrokeEnded();
    }
    if (painting && pixel.x() < 0) {
        // Back in, painting starts afresh: no line across from where the pointer left.
        lastPainted = {-1, -1};
    }
    if (painting && moved && pixel.x() >= 0) {
        // A quick drag skips pixels: paint the line from the last one, which stays painted.
        const QPoint from = lastPainted.x() >= 0 ? lastPainted : pixel;
        const int steps = std::max(std::abs(pixel.x() - from.x()), std::abs(pixel.y() - from.y()));
        for (int i = 1; i <= steps; ++i) {
            const int x = from.x() + (pixel.x() - from.x()) * i / steps;
            const int y = from.y() + (pixel.y() - from.y()) * i / steps;
            emit Painted(x, y);
        }
        if (steps == 0) {
            emit Painted(pixel.x(), pixel.y());
        }
        lastPainted = pixel;
    }
}

void TileCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && painting) {
        painting = false;
        emit StrokeEnded();
    }
}

void TileCanvas::leaveEvent(QEvent* /*event*/) {
    SetHover({-1, -1});
}

// ----- MapPreview -----

MapPreview::MapPreview(const worldmap::Grid& g, edit::Cell v, QWidget* parent)
    : QWidget(parent), grid(g), view(v) {
    // The editor's 16 by 16 cells in the middle where the map leaves room.
    origin = {std::clamp(v.x + 8 - Columns / 2, 0, worldmap::MapWidth - Columns),
              std::clamp(v.y + 8 - Rows / 2, 0, worldmap::MapHeight - Rows)};
    setFixedSize(sizeHint());
    setToolTip(QStringLiteral("The map around the map editor's view (outlined), with the tiles "
                              "as edited here"));
}

void MapPreview::SetTile(int tile, const gfx::TilePixels& pixels) {
    images[static_cast<std::size_t>(tile)] = TileImage(pixels);
    update();
}

QImage MapPreview::Render() const {
    QImage image(sizeHint(), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    for (int row = 0; row < Rows; ++row) {
        for (int column = 0; column < Columns; ++column) {
            const int x = origin.x + column;
            const int y = origin.y + row;
            const uint8_t tile = grid[static_cast<std::size_t>(y * worldmap::MapWidth + x)];
            if (tile < gfx::TileCount) {
                p.drawImage(column * CellPixels, row * CellPixels, images[tile]);
            }
        }
    }
    p.setPen(QPen(SelectedColour, 1));
    p.drawRect((view.x - origin.x) * CellPixels, (view.y - origin.y) * CellPixels,
               16 * CellPixels - 1, 16 * CellPixels - 1);
    return image;
}

void MapPreview::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.drawImage(0, 0, Render());
}

} // namespace mapeditor
