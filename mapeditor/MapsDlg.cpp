#include "mapeditor/MapsDlg.h"

#include <QFile>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <memory>

#include "app/Platform.h"
#include "gfx/TileRenderer.h"
#include "mapeditor/TryMap.h"

namespace {

// One notch of an ordinary mouse wheel, in Qt's eighths of a degree.
constexpr int WheelNotch = 120;

QString WriteFailedDetail(const CRomImage& rom) {
    return QStringLiteral("Could not write \"%1\": %2.")
        .arg(QFile::decodeName(rom.RomPath.c_str()), QString::fromLocal8Bit(rom.LastError.c_str()));
}

} // namespace

CMapsDlg::CMapsDlg() : CDialog(IDD) {}

CMapsDlg::~CMapsDlg() = default;

bool CMapsDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    FreeBytesText = Item<QLabel>(IdcFreeBytes);
    BudgetText = Item<QLabel>(IdcBudget);
    NormalBudgetPalette = BudgetText->palette();
    MapListBox = Item<QListWidget>(IdcMapList);
    VertScrollBar = Item<QScrollBar>(IdcVertScroll);
    HorzScrollBar = Item<QScrollBar>(IdcHorzScroll);

    MapViewRect = MapViewArea;
    TileChooserRect = TileChooserArea;
    MinimapRect = MinimapArea;

    // Inserted at explicit positions so that item index = map number.
    for (int id = 0; id < worldmap::MapCount; ++id) {
        InsertString(IdcMapList, id, QString::fromLatin1(worldmap::MapName(id)));
    }
    SetCurSel(IdcMapList, 0);

    // The document holds the grid, the selected tile and the undo histories.
    Doc = std::make_unique<edit::MapDocument>(*RomPtr, 0);
    MetatileSet.Create(CellSize, CellSize, 8, gfx::TileCount, 0);
    LoadWorldMap(0);

    SetScrollRange(IdcHorzScroll, 0, MapWidth - ViewCells);
    SetScrollRange(IdcVertScroll, 0, MapHeight - ViewCells);
    SetScrollPos(IdcHorzScroll, 0);
    SetScrollPos(IdcVertScroll, 0);
    ScrollX = 0;
    ScrollY = 0;

    OutlinePen = QPen(QColor(255, 0, 0), 1, Qt::SolidLine);
    OutlinePen.setCosmetic(true);

    LastPaintedX = -1;
    Dragging = false;
    DraggingMinimap = false;
    return true;
}

void CMapsDlg::LoadWorldMap(int mapId) {
    MapWidth = worldmap::MapWidth;
    MapHeight = worldmap::MapHeight;
    Doc->Load(mapId);
    UpdateFreeBytes();
    BuildMetatileSet();
    RenderMinimap();
    UpdateBudget();
}

void CMapsDlg::UpdateFreeBytes() {
    SetDlgItemText(IdcFreeBytes, QString::asprintf("%d", FreeBytes()));
}

bool CMapsDlg::StoreWorldMap() {
    return Doc->Store().status == worldmap::StoreStatus::Stored;
}

void CMapsDlg::UpdateBudget() {
    const worldmap::StoreReport& budget = Doc->Budget();
    const bool storable = budget.status == worldmap::StoreStatus::Stored ||
                          budget.status == worldmap::StoreStatus::DoesNotFit;
    const bool over = !storable || budget.newSize > budget.available;
    SetDlgItemText(IdcBudget,
                   storable
                       ? QStringLiteral("Needs %1 of %2").arg(budget.newSize).arg(budget.available)
                       : CannotStoreText);
    QPalette palette = NormalBudgetPalette;
    if (over) {
        palette.setColor(QPalette::WindowText, OverBudgetColour);
    }
    BudgetText->setPalette(palette);
}

void CMapsDlg::RenderMinimap() {
    gfx::RenderMinimap(MapGrid(), TileColours, *MinimapPixels);
    MinimapVersions = Doc->RowVersions();
    MinimapMapId = WorldMapId();
    InvalidateRect(MinimapRect.ToQRect(), false);
}

void CMapsDlg::SyncMinimap() {
    const auto& versions = Doc->RowVersions();
    edit::RowSet rows;
    for (std::size_t y = 0; y < versions.size(); ++y) {
        rows.set(y, versions[y] != MinimapVersions[y]);
    }
    if (rows.none()) {
        return;
    }
    gfx::UpdateMinimapRows(MapGrid(), TileColours, rows, *MinimapPixels);
    MinimapVersions = versions;
    InvalidateRect(MinimapRect.ToQRect(), false);
}

void CMapsDlg::GridChanged() {
    SyncMinimap();
    InvalidateRect(MapViewRect.ToQRect(), false);
    UpdateBudget();
}

void CMapsDlg::RefreshFromDocument() {
    StopDragging();
    if (GetCurSel(IdcMapList) != WorldMapId()) {
        SetCurSel(IdcMapList, WorldMapId());
    }
    UpdateFreeBytes();
    if (MinimapMapId != WorldMapId()) {
        // Another map: other tiles, and every row new.
        BuildMetatileSet();
        RenderMinimap();
    } else {
        SyncMinimap();
    }
    UpdateBudget();
    InvalidateRect(MapViewRect.ToQRect(), false);
    InvalidateRect(TileChooserRect.ToQRect(), false);
}

void CMapsDlg::SetScroll(int x, int y) {
    OnHScroll(SB_THUMBTRACK, x, IdcHorzScroll);
    OnVScroll(SB_THUMBTRACK, y, IdcVertScroll);
}

void CMapsDlg::CentreOnMinimap(const QPoint& p) {
    const int mx = std::clamp(p.x() - MinimapRect.left, 0, gfx::MinimapSize - 1);
    const int my = std::clamp(p.y() - MinimapRect.top, 0, gfx::MinimapSize - 1);
    SetScroll(2 * mx - ViewCells / 2, 2 * my - ViewCells / 2);
}

void CMapsDlg::BuildMetatileSet() {
    while (MetatileSet.GetImageCount() != 0) {
        MetatileSet.Remove(0);
    }
    auto tiles = std::make_unique<gfx::MetatilePixels>();
    gfx::RenderMetatileSet(*RomPtr, WorldMapId(), *tiles);
    for (const gfx::TilePixels& tile : *tiles) {
        MetatileSet.AddMasked(tile.data(), gfx::MaskColour);
    }
    TileColours = gfx::AverageTileColours(*tiles);
}

void CMapsDlg::OnVScroll(int code, int pos, int /*barId*/) {
    Scroll(ScrollY, MapHeight, IdcVertScroll, code, pos);
}

void CMapsDlg::OnHScroll(int code, int pos, int /*barId*/) {
    Scroll(ScrollX, MapWidth, IdcHorzScroll, code, pos);
}

void CMapsDlg::Scroll(int& offset, int dimension, int barId, int code, int pos) {
    switch (code) {
    case SB_LINEUP:
        offset -= 1;
        break;
    case SB_LINEDOWN:
        offset += 1;
        break;
    case SB_PAGEUP:
        offset -= ViewCells;
        break;
    case SB_PAGEDOWN:
        offset += ViewCells;
        break;
    case SB_THUMBTRACK:
        offset = pos;
        break;
    default:
        break;
    }
    if (offset < 0) {
        offset = 0;
    }
    if (offset > dimension - ViewCells) {
        offset = dimension - ViewCells;
    }
    SetScrollPos(barId, offset);
    InvalidateRect(MapViewRect.ToQRect(), false);
    InvalidateRect(MinimapRect.ToQRect(), false);
    // Scrolled under a held button (wheel or keys), the view cell under the pointer holds
    // another map cell now: the next move paints it even without leaving the view cell.
    if (Dragging) {
        LastPaintedX = -1;
    }
}

void CMapsDlg::OnPaint(QPainter& dc) {
    const int chooserRows = gfx::TileCount / ChooserColumns;
    for (int row = 0; row < chooserRows; ++row) {
        for (int column = 0; column < ChooserColumns; ++column) {
            MetatileSet.Draw(dc, row * ChooserColumns + column,
                             QPoint(TileChooserRect.left + CellSize * column,
                                    TileChooserRect.top + CellSize * row));
        }
    }

    const int x = TileChooserRect.left + CellSize * (SelectedTile() & 15);
    const int y = TileChooserRect.top + (SelectedTile() & 0xF0);
    const QPen previousPen = dc.pen();
    dc.setPen(OutlinePen);
    const QPoint outline[] = {{x, y}, {x + 15, y}, {x + 15, y + 15}, {x, y + 15}, {x, y}};
    dc.drawPolyline(outline, 5);

    for (int i = 0; i < ViewCells; ++i) {
        for (int j = 0; j < ViewCells; ++j) {
            MetatileSet.Draw(
                dc, Doc->At(MapCellAt(j, i)),
                QPoint(MapViewRect.left + CellSize * j, MapViewRect.top + CellSize * i));
        }
    }

    // The buffer is laid out as the image format wants it: no copy, no conversion.
    const QImage minimap(reinterpret_cast<const uchar*>(MinimapPixels->data()), gfx::MinimapSize,
                         gfx::MinimapSize, gfx::MinimapSize * 4, QImage::Format_RGB32);
    dc.drawImage(MinimapRect.left, MinimapRect.top, minimap);
    // The view, 16 by 16 cells, is 8 by 8 minimap pixels.
    dc.setPen(OutlinePen);
    dc.setBrush(Qt::NoBrush);
    dc.drawRect(MinimapRect.left + ScrollX / 2, MinimapRect.top + ScrollY / 2, ViewCells / 2 - 1,
                ViewCells / 2 - 1);
    dc.setPen(previousPen);
}

int CMapsDlg::ChooserTileAt(const QPoint& p) const {
    return ((p.y() - TileChooserRect.top) >> 4) * ChooserColumns +
           ((p.x() - TileChooserRect.left) >> 4);
}

void CMapsDlg::PaintCell(int vx, int vy) {
    LastPaintedX = vx;
    LastPaintedY = vy;
    Dragging = true;
    const edit::RowSet rows = Doc->PaintTo(MapCellAt(vx, vy));
    if (rows.none()) {
        return;
    }
    // A jump paints a line whose cells lie between the two view cells, unless the view
    // scrolled in between: then the whole view may show painted cells.
    GridChanged();
}

void CMapsDlg::StopDragging() {
    Dragging = false;
    DraggingMinimap = false;
    Doc->EndStroke();
}

void CMapsDlg::OnLButtonDown(const QPoint& point) {
    StopDragging();
    if (TileChooserRect.PtInRect(point)) {
        Doc->SetSelectedTile(ChooserTileAt(point));
        InvalidateRect(TileChooserRect.ToQRect(), false);
        return;
    }
    if (MinimapRect.PtInRect(point)) {
        DraggingMinimap = true;
        CentreOnMinimap(point);
        return;
    }
    if (MapViewRect.PtInRect(point)) {
        Doc->BeginStroke();
        const QPoint v = ViewCellAt(point);
        PaintCell(v.x(), v.y());
    }
}

void CMapsDlg::OnMouseMove(const QPoint& point) {
    if (DraggingMinimap) {
        CentreOnMinimap(point);
        return;
    }
    if (!Dragging) {
        return;
    }
    if (!MapViewRect.PtInRect(point)) {
        // Where the pointer comes back in, painting starts afresh: no line across the view
        // from where it went out.
        Doc->LiftStroke();
        LastPaintedX = -1;
        return;
    }
    const QPoint v = ViewCellAt(point);
    if (v.x() == LastPaintedX && v.y() == LastPaintedY) {
        return;
    }
    PaintCell(v.x(), v.y());
}

void CMapsDlg::OnLButtonUp(const QPoint& /*point*/) {
    StopDragging();
}

void CMapsDlg::OnRButtonDown(const QPoint& point) {
    StopDragging();
    if (MapViewRect.PtInRect(point)) {
        const QPoint v = ViewCellAt(point);
        Doc->SetSelectedTile(Doc->At(MapCellAt(v.x(), v.y())));
        InvalidateRect(TileChooserRect.ToQRect(), true);
    } else if (TileChooserRect.PtInRect(point)) {
        Doc->SetSelectedTile(ChooserTileAt(point));
        InvalidateRect(TileChooserRect.ToQRect(), true);
    }
}

void CMapsDlg::mouseMoveEvent(QMouseEvent* event) {
    // A stroke never outlives the button: if its release went elsewhere, it ends here.
    if ((Dragging || DraggingMinimap) && !(event->buttons() & Qt::LeftButton)) {
        StopDragging();
    }
    CDialog::mouseMoveEvent(event);
}

void CMapsDlg::OnSelChange(int id) {
    if (id == IdcMapList) {
        OnSelchangeMapList();
    }
}

void CMapsDlg::OnSelchangeMapList() {
    StopDragging();
    const int chosen = GetCurSel(IdcMapList);
    if (chosen < 0 || chosen >= worldmap::MapCount) {
        // A Ctrl+click can leave no map selected; there is no map to change to.
        SetCurSel(IdcMapList, WorldMapId());
        return;
    }
    const worldmap::StoreReport report = Doc->Store();
    if (report.status != worldmap::StoreStatus::Stored && Doc->GridDiffersFromStore()) {
        // Keep the map being edited rather than lose its edits: the new map is not loaded.
        // A grid without edits loses nothing, so a region that cannot be rewritten can
        // still be looked through.
        ExplainRefusedStore(report);
        SetCurSel(IdcMapList, WorldMapId());
        return;
    }
    LoadWorldMap(chosen);
    InvalidateRect(MapViewRect.ToQRect(), false);
    InvalidateRect(MinimapRect.ToQRect(), false);
    InvalidateRect(TileChooserRect.ToQRect(), false);
}

void CMapsDlg::OnCommand(int id) {
    if (id == IdcSave) {
        OnSave();
    } else if (id == IdcWorld) {
        StopDragging();
        OpenWorldWindow();
    } else if (id == IdcTest) {
        OnTest();
    }
}

bool CMapsDlg::StoreAndSave() {
    StopDragging();
    const worldmap::StoreReport report = Doc->Store();
    if (report.status != worldmap::StoreStatus::Stored) {
        // Writing the file now would save the old map under the user's nose.
        ExplainRefusedStore(report);
        return false;
    }
    UpdateFreeBytes();
    UpdateBudget();
    if (!Doc->SaveFile()) {
        app::MessageBox(SaveFailedText, WriteFailedDetail(*RomPtr));
        return false;
    }
    return true;
}

void CMapsDlg::ExplainRefusedStore(const worldmap::StoreReport& report) {
    app::MessageBox(StoreFailedText, mapeditor::RefusalDetail(report));
}

void CMapsDlg::OnTest() {
    StopDragging();
    mapeditor::TryInEmulator(*Doc);
}

void CMapsDlg::OnSave() {
    StoreAndSave();
}

void CMapsDlg::OnOK() {
    if (StoreAndSave()) {
        EndDialog(IDOK);
    }
}

void CMapsDlg::OnCancel() {
    StopDragging();
    if (Doc != nullptr && Doc->GridDiffersFromStore()) {
        const QString question = QStringLiteral("Discard the edits to %1?")
                                     .arg(QString::fromLatin1(worldmap::MapName(WorldMapId())));
        if (app::Ask(question, {app::Answer::Discard, app::Answer::Cancel}) !=
            app::Answer::Discard) {
            return;
        }
    }
    CDialog::OnCancel();
}

void CMapsDlg::Undo() {
    StopDragging();
    const edit::RowSet rows = Doc->Undo();
    if (rows.any()) {
        GridChanged();
    }
}

void CMapsDlg::Redo() {
    StopDragging();
    const edit::RowSet rows = Doc->Redo();
    if (rows.any()) {
        GridChanged();
    }
}

void CMapsDlg::keyPressEvent(QKeyEvent* event) {
    const auto mods = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier |
                                            Qt::AltModifier | Qt::MetaModifier);
    if (mods == Qt::ControlModifier && event->key() == Qt::Key_Z) {
        Undo();
        return;
    }
    if ((mods == Qt::ControlModifier && event->key() == Qt::Key_Y) ||
        (mods == (Qt::ControlModifier | Qt::ShiftModifier) && event->key() == Qt::Key_Z)) {
        Redo();
        return;
    }
    if (mods == Qt::NoModifier && event->key() == Qt::Key_F5) {
        OnTest();
        return;
    }
    CDialog::keyPressEvent(event);
}

void CMapsDlg::wheelEvent(QWheelEvent* event) {
    const QPoint at = event->position().toPoint();
    if (!MapViewRect.PtInRect(at)) {
        CDialog::wheelEvent(event);
        return;
    }
    event->accept();
    const QPoint angle = event->angleDelta();
    // Shift turns the wheel sideways; a tilting wheel reports sideways motion as x.
    const bool sideways = (event->modifiers() & Qt::ShiftModifier) || angle.y() == 0;
    const int delta = angle.y() != 0 ? angle.y() : angle.x();
    if ((delta > 0 && WheelRemainder < 0) || (delta < 0 && WheelRemainder > 0)) {
        WheelRemainder = 0;
    }
    WheelRemainder += delta;
    while (WheelRemainder >= WheelNotch || WheelRemainder <= -WheelNotch) {
        const int code = WheelRemainder > 0 ? SB_LINEUP : SB_LINEDOWN;
        WheelRemainder += WheelRemainder > 0 ? -WheelNotch : WheelNotch;
        if (sideways) {
            OnHScroll(code, 0, IdcHorzScroll);
        } else {
            OnVScroll(code, 0, IdcVertScroll);
        }
    }
}

bool CMapsDlg::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (MapViewRect.PtInRect(help->pos())) {
            const QPoint v = ViewCellAt(help->pos());
            const int vx = v.x();
            const int vy = v.y();
            const QRect cell(MapViewRect.left + CellSize * vx, MapViewRect.top + CellSize * vy,
                             CellSize, CellSize);
            const int tile = Doc->At(MapCellAt(vx, vy));
            QToolTip::showText(
                help->globalPos(),
                QString::asprintf("x %d, y %d: tile %d", ScrollX + vx, ScrollY + vy, tile), this,
                cell);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return CDialog::event(event);
}
