#include "mapeditor/WorldCanvas.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>

namespace {

constexpr int WheelNotch = 120;
// Cells scrolled by one notch of the wheel.
constexpr int WheelCells = 3;
// The gutter needs rows at least this tall to be read.
constexpr int MinGutterCellPixels = 8;

int FloorDiv(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

edit::Rect Normalised(const edit::Rect& r) {
    return {{r.Left(), r.Top()}, {r.Right(), r.Bottom()}};
}

} // namespace

// ----- RowGutter -----

RowGutter::RowGutter(WorldCanvas& c, QWidget* parent) : QWidget(parent), canvas(c) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QString RowGutter::TextAt(int y) const {
    const int cp = canvas.CellPixels();
    const int row = FloorDiv(canvas.Origin().y() + y, cp);
    if (row < 0 || row >= worldmap::MapHeight) {
        return {};
    }
    const edit::RowCosts& costs = canvas.doc.Costs();
    const int shares = costs.SharesWith(row);
    if (shares >= 0) {
        return QStringLiteral("row %1: shares row %2").arg(row).arg(shares);
    }
    return QStringLiteral("row %1: %2 bytes").arg(row).arg(costs.Cost(row));
}

void RowGutter::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), palette().window());
    const int cp = canvas.CellPixels();
    const int originY = canvas.Origin().y();
    const edit::RowCosts& costs = canvas.doc.Costs();
    const int scale = std::max(costs.MaxCost(), 16);
    // Rows tall enough for a number keep room for it right of the bars.
    const bool numbers = cp >= 16;
    const int barRoom = width() - (numbers ? 28 : 6);
    const int first = std::max(0, FloorDiv(originY + event->rect().top(), cp));
    const int last =
        std::min(worldmap::MapHeight - 1, FloorDiv(originY + event->rect().bottom(), cp));
    const QColor bar(70, 110, 200);
    const QColor shared(160, 160, 160);
    QFont small = font();
    small.setPixelSize(std::min(cp - 2, 11));
    p.setFont(small);
    for (int row = first; row <= last; ++row) {
        const int y = row * cp - originY;
        const int h = std::max(cp - 1, 1);
        if (costs.SharesWith(row) >= 0) {
            // Costs nothing: a short grey tick says so, and the row it shares where there is
            // room to write it.
            p.fillRect(QRect(2, y + h / 2, 6, std::max(h / 4, 1)), shared);
            if (numbers) {
                p.setPen(shared.darker(150));
                p.drawText(QRect(10, y, width() - 12, h), Qt::AlignVCenter | Qt::AlignRight,
                           QStringLiteral("=%1").arg(costs.SharesWith(row)));
            }
            continue;
        }
        const int w = std::max(1, costs.Cost(row) * barRoom / scale);
        p.fillRect(QRect(2, y, w, h), bar);
        if (numbers) {
            p.setPen(palette().windowText().color());
            p.drawText(QRect(width() - 26, y, 24, h), Qt::AlignVCenter | Qt::AlignRight,
                       QString::number(costs.Cost(row)));
        }
    }
}

bool RowGutter::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = TextAt(help->pos().y());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, this);
        }
        return true;
    }
    return QWidget::event(event);
}

// ----- WorldCanvas -----

WorldCanvas::WorldCanvas(edit::MapDocument& d, QWidget* parent)
    : QAbstractScrollArea(parent), doc(d), metatiles(std::make_unique<gfx::MetatilePixels>()),
      gutter(new RowGutter(*this, this)) {
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setCursor(Qt::CrossCursor);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    LayOutGutter();
}

WorldCanvas::~WorldCanvas() = default;

void WorldCanvas::SetTiles(const gfx::MetatilePixels& tiles) {
    *metatiles = tiles;
    RebuildTiles();
    viewport()->update();
}

QPoint WorldCanvas::Origin() const {
    const int mapPixels = worldmap::MapWidth * CellPixels();
    const QSize view = viewport()->size();
    const int x = mapPixels < view.width() ? -(view.width() - mapPixels) / 2
                                           : horizontalScrollBar()->value();
    const int y = mapPixels < view.height() ? -(view.height() - mapPixels) / 2
                                            : verticalScrollBar()->value();
    return {x, y};
}

void WorldCanvas::UpdateRanges() {
    const int mapPixels = worldmap::MapWidth * CellPixels();
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, mapPixels - view.width()));
    verticalScrollBar()->setRange(0, std::max(0, mapPixels - view.height()));
    horizontalScrollBar()->setPageStep(std::max(1, view.width()));
    verticalScrollBar()->setPageStep(std::max(1, view.height()));
    // The arrow keys move four cells at a time.
    horizontalScrollBar()->setSingleStep(4 * CellPixels());
    verticalScrollBar()->setSingleStep(4 * CellPixels());
}

void WorldCanvas::LayOutGutter() {
    const bool shown = CellPixels() >= MinGutterCellPixels;
    setViewportMargins(shown ? RowGutter::Width : 0, 0, 0, 0);
    gutter->setVisible(shown);
    const QRect vp = viewport()->geometry();
    gutter->setGeometry(vp.left() - RowGutter::Width, vp.top(), RowGutter::Width, vp.height());
}

void WorldCanvas::SetOrigin(QPoint origin) {
    horizontalScrollBar()->setValue(origin.x());
    verticalScrollBar()->setValue(origin.y());
}

void WorldCanvas::ScrollToCell(edit::Cell topLeft) {
    SetOrigin(QPoint(topLeft.x * CellPixels(), topLeft.y * CellPixels()));
}

void WorldCanvas::ScrollBy(int dx, int dy) {
    SetOrigin(QPoint(horizontalScrollBar()->value() + dx, verticalScrollBar()->value() + dy));
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
    // A drag past the canvas's edge stops at the last cell in view.
    const QRect view = viewport()->rect();
    const edit::Cell c = CellAt(QPoint(std::clamp(p.x(), view.left(), view.right()),
                                       std::clamp(p.y(), view.top(), view.bottom())));
    return {std::clamp(c.x, 0, worldmap::MapWidth - 1), std::clamp(c.y, 0, worldmap::MapHeight - 1)};
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
    SetZoom(step, QPoint(viewport()->width() / 2, viewport()->height() / 2));
}

void WorldCanvas::SetZoom(int step, QPoint anchor) {
    step = std::clamp(step, 0, gfx::ZoomSteps - 1);
    if (step == zoom) {
        return;
    }
    const int oldCp = CellPixels();
    // The map pixel under the anchor, and where that same point lies after the change.
    const QPoint o = Origin();
    const long long mx = o.x() + anchor.x();
    const long long my = o.y() + anchor.y();
    // The gutter comes or goes at 1/2 and moves the viewport: the anchor is a point on the
    // screen, so it is held where the canvas as a whole has it.
    const QPoint onCanvas = anchor + viewport()->geometry().topLeft();
    zoom = step;
    const int newCp = CellPixels();
    RebuildTiles();
    LayOutGutter();
    UpdateRanges();
    const QPoint at = onCanvas - viewport()->geometry().topLeft();
    const auto target = [&](long long m, int a) {
        return static_cast<int>(m >= 0 ? m * newCp / oldCp : -((-m * newCp + oldCp - 1) / oldCp)) - a;
    };
    SetOrigin(QPoint(target(mx, at.x()), target(my, at.y())));
    viewport()->update();
    gutter->update();
    RefreshHover();
    emit ViewChanged();
}

void WorldCanvas::RefreshHover() {
    const QPoint p = viewport()->mapFromGlobal(QCursor::pos());
    const edit::Cell cell = CellAt(p);
    if (viewport()->rect().contains(p) && edit::InMap(cell)) {
        emit HoverChanged(cell.x, cell.y);
    } else {
        emit HoverChanged(-1, -1);
    }
}

void WorldCanvas::FitWholeMap() {
    // The gutter's margin goes away below 1/2, so measure the area without it.
    const QSize room = size() - QSize(verticalScrollBar()->sizeHint().width() + 2 * frameWidth(),
                                      horizontalScrollBar()->sizeHint().height() + 2 * frameWidth());
    int step = 0;
    for (int s = gfx::ZoomSteps - 1; s >= 0; --s) {
        const int cp = gfx::ZoomCellPixels[static_cast<std::size_t>(s)];
        const int gutterWidth = cp >= MinGutterCellPixels ? RowGutter::Width : 0;
        if (worldmap::MapWidth * cp <= room.width() - gutterWidth &&
            worldmap::MapHeight * cp <= room.height()) {
            step = s;
            break;
        }
    }
    SetZoom(step);
    SetOrigin(QPoint(0, 0));
}

void WorldCanvas::SetTool(Tool t) {
    EndDrag();
    tool = t;
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

void WorldCanvas::SelectedTileChanged() {
    if (highlight) {
        viewport()->update();
    }
}

void WorldCanvas::ClearSelection() {
    if (selection) {
        UpdateCells(*selection);
        selection.reset();
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
    stamp = Clipboard();
    const QPoint p = viewport()->mapFromGlobal(QCursor::pos());
    stampAt = viewport()->rect().contains(p) ? CellAt(p) : TopLeftCell();
    viewport()->update();
    return true;
}

void WorldCanvas::DropStamp() {
    if (stamp) {
        stamp.reset();
        viewport()->update();
    }
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

void WorldCanvas::RowsChanged(const edit::RowSet& rows) {
    if (rows.none()) {
        return;
    }
    viewport()->update(RegionOfRows(rows));
    gutter->update();
}

void WorldCanvas::DidEdit(const edit::RowSet& rows) {
    if (rows.none()) {
        return;
    }
    RowsChanged(rows);
    emit Edited(rows);
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
        return reinterpret_cast<uint32_t*>(mapImage.bits()) + static_cast<std::ptrdiff_t>(y) * stride();
    };
    gfx::ComposeOptions options;
    options.highlightTile = highlightTile;
    const auto& now = doc.RowVersions();
    if (mapImage.width() != side || mapImageGeneration != tilesGeneration ||
        mapImageHighlight != highlightTile) {
        if (mapImage.width() != side) {
            mapImage = QImage(side, side, QImage::Format_RGB32);
        }
        gfx::ComposeMap(doc.MapGrid(), scaled, 0, 0, side, side, bits(0), stride(), options);
        mapImageGeneration = tilesGeneration;
        mapImageHighlight = highlightTile;
        mapImageVersions = now;
        return true;
    }
    // Only the rows that changed since, whoever changed them.
    for (int y = 0; y < worldmap::MapHeight; ++y) {
        if (now[static_cast<std::size_t>(y)] != mapImageVersions[static_cast<std::size_t>(y)]) {
            gfx::ComposeMap(doc.MapGrid(), scaled, 0, y * cp, side, cp, bits(y * cp), stride(),
                            options);
        }
    }
    mapImageVersions = now;
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
    gfx::CellOverlay overlay;
    if (preview) {
        overlay = {preview->Left(), preview->Top(), preview->Right() - preview->Left() + 1,
                   preview->Bottom() - preview->Top() + 1, nullptr,
                   static_cast<uint8_t>(doc.SelectedTile())};
        options.overlay = &overlay;
    } else if (stamp) {
        overlay = {stampAt.x, stampAt.y, stamp->width, stamp->height, stamp->tiles.data(), 0};
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
            fresh = composed.intersected(CellsRect({{overlay.left, overlay.top},
                                                    {overlay.left + overlay.width - 1,
                                                     overlay.top + overlay.height - 1}}));
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
        outline(*preview, Qt::yellow);
    }
    if (stamp) {
        outline({stampAt, {stampAt.x + stamp->width - 1, stampAt.y + stamp->height - 1}},
                Qt::cyan);
    }
}

void WorldCanvas::Pick(QPoint p) {
    const edit::Cell c = CellAt(p);
    if (!edit::InMap(c)) {
        return;
    }
    doc.SetSelectedTile(doc.At(c));
    SelectedTileChanged();
    emit TilePicked();
}

void WorldCanvas::EndDrag() {
    if (drag == Drag::Stroke) {
        doc.EndStroke();
    }
    if (preview) {
        UpdateCells(*preview);
        preview.reset();
    }
    drag = Drag::None;
}

void WorldCanvas::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::MiddleButton) {
        EndDrag();
        drag = Drag::Pan;
        panStart = p;
        panOrigin = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
        viewport()->setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (event->button() == Qt::RightButton) {
        EndDrag();
        Pick(p);
        return;
    }
    if (event->button() != Qt::LeftButton) {
        return;
    }
    EndDrag();
    const edit::Cell cell = CellAt(p);
    if (stamp) {
        const edit::Block block = std::move(*stamp);
        stamp.reset();
        viewport()->update();
        DidEdit(doc.Paste(block, cell));
        return;
    }
    switch (tool) {
    case Tool::Brush:
        doc.BeginStroke();
        drag = Drag::Stroke;
        lastCell = cell;
        if (edit::InMap(cell)) {
            DidEdit(doc.PaintTo(cell));
        }
        break;
    case Tool::Rectangle:
        drag = Drag::Rectangle;
        anchor = ClampedCellAt(p);
        preview = edit::Rect{anchor, anchor};
        UpdateCells(*preview);
        break;
    case Tool::Fill:
        if (edit::InMap(cell)) {
            DidEdit(doc.FloodFill(cell, static_cast<uint8_t>(doc.SelectedTile())));
        }
        break;
    case Tool::Pick:
        Pick(p);
        break;
    case Tool::Select:
        ClearSelection();
        drag = Drag::Select;
        anchor = ClampedCellAt(p);
        selection = edit::Rect{anchor, anchor};
        UpdateCells(*selection);
        break;
    }
}

void WorldCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    const edit::Cell cell = CellAt(p);
    if (edit::InMap(cell)) {
        emit HoverChanged(cell.x, cell.y);
    } else {
        emit HoverChanged(-1, -1);
    }
    // A drag whose release went elsewhere ends with the first move that sees the button up.
    const bool leftHeld = (event->buttons() & Qt::LeftButton) != 0;
    if (drag == Drag::Pan && !(event->buttons() & Qt::MiddleButton)) {
        drag = Drag::None;
        viewport()->setCursor(Qt::CrossCursor);
    }
    if (drag != Drag::None && drag != Drag::Pan && !leftHeld) {
        if (drag == Drag::Rectangle) {
            preview.reset();
            viewport()->update();
        }
        EndDrag();
    }
    switch (drag) {
    case Drag::Pan:
        SetOrigin(panOrigin - (p - panStart));
        break;
    case Drag::Stroke:
        if (cell == lastCell) {
            break;
        }
        lastCell = cell;
        if (edit::InMap(cell) && viewport()->rect().contains(p)) {
            DidEdit(doc.PaintTo(cell));
        } else {
            // Nothing is painted where it cannot be seen; coming back onto the visible map
            // starts afresh, with no line along the outside.
            doc.LiftStroke();
        }
        break;
    case Drag::Rectangle:
    case Drag::Select: {
        std::optional<edit::Rect>& shown = drag == Drag::Rectangle ? preview : selection;
        const edit::Rect next{anchor, ClampedCellAt(p)};
        UpdateCells(Normalised(*shown));
        shown = next;
        UpdateCells(Normalised(next));
        break;
    }
    case Drag::None:
        if (stamp && cell != stampAt) {
            UpdateCells({stampAt, {stampAt.x + stamp->width - 1, stampAt.y + stamp->height - 1}});
            stampAt = cell;
            UpdateCells({stampAt, {stampAt.x + stamp->width - 1, stampAt.y + stamp->height - 1}});
        }
        break;
    }
}

void WorldCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton && drag == Drag::Pan) {
        drag = Drag::None;
        viewport()->setCursor(Qt::CrossCursor);
        return;
    }
    if (event->button() != Qt::LeftButton) {
        return;
    }
    if (drag == Drag::Rectangle && preview) {
        const edit::Rect rect = Normalised(*preview);
        preview.reset();
        drag = Drag::None;
        UpdateCells(rect);
        DidEdit(doc.FillRect(rect, static_cast<uint8_t>(doc.SelectedTile())));
        return;
    }
    if (drag == Drag::Select && selection) {
        selection = Normalised(*selection);
    }
    EndDrag();
}

void WorldCanvas::leaveEvent(QEvent* event) {
    emit HoverChanged(-1, -1);
    QAbstractScrollArea::leaveEvent(event);
}

void WorldCanvas::wheelEvent(QWheelEvent* event) {
    event->accept();
    const QPoint angle = event->angleDelta();
    const int delta = angle.y() != 0 ? angle.y() : angle.x();
    if ((delta > 0 && wheelRemainder < 0) || (delta < 0 && wheelRemainder > 0)) {
        wheelRemainder = 0;
    }
    wheelRemainder += delta;
    const int notches = wheelRemainder / WheelNotch;
    if (notches == 0) {
        return;
    }
    wheelRemainder -= notches * WheelNotch;
    const auto mods = event->modifiers();
    if (mods & Qt::ControlModifier) {
        SetZoom(zoom + notches, event->position().toPoint());
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
    RefreshHover();
    emit ViewChanged();
}
