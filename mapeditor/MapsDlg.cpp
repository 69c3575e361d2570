#include "mapeditor/MapsDlg.h"

#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <memory>

#include "app/DocumentSignals.h"
#include "app/Platform.h"
#include "app/RecoveryKeeper.h"
#include "gfx/TileRenderer.h"
#include "gfx/TileSheet.h"
#include "mapeditor/BudgetView.h"
#include "mapeditor/SaveRom.h"
#include "mapeditor/TryMap.h"
#include "mapeditor/UndoActions.h"

CMapsDlg::CMapsDlg() : CDialog(IDD) {}

CMapsDlg::~CMapsDlg() {
    if (Keeper != nullptr && Doc != nullptr) {
        Keeper->Detach(*Doc);
    }
    // The document's listeners (children, otherwise deleted only after the members) leave
    // before the document goes.
    qDeleteAll(findChildren<DocumentSignals*>());
}

bool CMapsDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    FreeBytesText = Item<QLabel>(IdcFreeBytes);
    BudgetText = Item<QLabel>(IdcBudget);
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

    // The document holds the grid, the selected tile and the undo histories; the window
    // draws what it announces, from the first load on.
    Doc = std::make_unique<edit::MapDocument>(*RomPtr, 0);
    MetatileSet.Create(CellSize, CellSize, 8, gfx::TileCount, 0);
    Subscribe();
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
    if (Keeper != nullptr) {
        // After the window follows the document: recovered edits may load another map.
        Keeper->Attach(*Doc);
    }
    return true;
}

void CMapsDlg::Subscribe() {
    auto* heard = new DocumentSignals(*Doc, this);
    connect(heard, &DocumentSignals::rowsChanged, this, &CMapsDlg::RowsChanged);
    connect(heard, &DocumentSignals::mapLoaded, this, &CMapsDlg::MapLoaded);
    connect(heard, &DocumentSignals::tilesChanged, this, &CMapsDlg::TilesChanged);
    connect(heard, &DocumentSignals::selectedTileChanged, this,
            [this] { InvalidateRect(TileChooserRect.ToQRect(), false); });
    connect(heard, &DocumentSignals::budgetChanged, this, &CMapsDlg::UpdateBudget);
    connect(heard, &DocumentSignals::stored, this, &CMapsDlg::UpdateFreeBytes);
    // The caption as the template gives it comes first.
    connect(heard, &DocumentSignals::stepsDropped, this, [this, caption = windowTitle()] {
        setWindowTitle(
            QStringLiteral("%1 (%2)").arg(caption, QLatin1String(mapeditor::StepsDroppedNote)));
    });
    mapeditor::AddUndoActions(*this, *Doc, [this] { StopDragging(); });
}

void CMapsDlg::RowsChanged(const edit::RowSet& rows) {
    gfx::UpdateMinimapRows(MapGrid(), TileColours, rows, *MinimapPixels);
    InvalidateRect(MinimapRect.ToQRect(), false);
    for (int vy = 0; vy < ViewCells; ++vy) {
        if (rows.test(static_cast<std::size_t>(ScrollY + vy))) {
            InvalidateRect(QRect(MapViewRect.left, MapViewRect.top + CellSize * vy,
                                 CellSize * ViewCells, CellSize),
                           false);
        }
    }
}

void CMapsDlg::MapLoaded(int mapId) {
    if (GetCurSel(IdcMapList) != mapId) {
        SetCurSel(IdcMapList, mapId);
    }
    UpdateFreeBytes();
    BuildMetatileSet();
    RenderMinimap();
    InvalidateRect(MapViewRect.ToQRect(), false);
    InvalidateRect(TileChooserRect.ToQRect(), false);
}

void CMapsDlg::TilesChanged(int graphicsSet, const edit::TileSet& tiles) {
    if (graphicsSet != gfx::GraphicsSetOf(WorldMapId())) {
        return;
    }
    BuildMetatileSet();
    gfx::UpdateMinimapTiles(MapGrid(), TileColours, tiles, *MinimapPixels);
    InvalidateRect(MinimapRect.ToQRect(), false);
    const auto shown = [&](int tile) {
        return tile < gfx::TileCount && tiles.test(static_cast<std::size_t>(tile));
    };
    for (int tile = 0; tile < gfx::TileCount; ++tile) {
        if (shown(tile)) {
            const gfx::SheetPoint at = gfx::SheetCellOrigin(tile, CellSize);
            InvalidateRect(
                QRect(TileChooserRect.left + at.x, TileChooserRect.top + at.y, CellSize, CellSize),
                false);
        }
    }
    for (int vy = 0; vy < ViewCells; ++vy) {
        for (int vx = 0; vx < ViewCells; ++vx) {
            if (shown(Doc->At(MapCellAt(vx, vy)))) {
                InvalidateRect(QRect(MapViewRect.left + CellSize * vx,
                                     MapViewRect.top + CellSize * vy, CellSize, CellSize),
                               false);
            }
        }
    }
}

void CMapsDlg::LoadWorldMap(int mapId) {
    MapWidth = worldmap::MapWidth;
    MapHeight = worldmap::MapHeight;
    Doc->Load(mapId);
}

void CMapsDlg::UpdateFreeBytes() {
    SetDlgItemText(IdcFreeBytes, QString::asprintf("%d", FreeBytes()));
}

bool CMapsDlg::StoreWorldMap() {
    LastStoreReport = Doc->Store();
    return LastStoreReport.status == worldmap::StoreStatus::Stored;
}

void CMapsDlg::UpdateBudget() {
    mapeditor::ShowBudget(Doc->Budget(), *BudgetText);
}

void CMapsDlg::RenderMinimap() {
    gfx::RenderMinimap(MapGrid(), TileColours, *MinimapPixels);
    InvalidateRect(MinimapRect.ToQRect(), false);
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
    for (int tile = 0; tile < gfx::TileCount; ++tile) {
        const gfx::SheetPoint at = gfx::SheetCellOrigin(tile, CellSize);
        MetatileSet.Draw(dc, tile, QPoint(TileChooserRect.left + at.x, TileChooserRect.top + at.y));
    }

    const gfx::SheetRect r = gfx::SheetOutline(SelectedTile(), CellSize);
    const int left = TileChooserRect.left + r.left;
    const int top = TileChooserRect.top + r.top;
    const int right = TileChooserRect.left + r.right;
    const int bottom = TileChooserRect.top + r.bottom;
    const QPen previousPen = dc.pen();
    dc.setPen(OutlinePen);
    const QPoint outline[] = {
        {left, top}, {right, top}, {right, bottom}, {left, bottom}, {left, top}};
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
    return gfx::SheetTileAt(p.x() - TileChooserRect.left, p.y() - TileChooserRect.top, CellSize);
}

void CMapsDlg::PaintCell(int vx, int vy) {
    LastPaintedX = vx;
    LastPaintedY = vy;
    Dragging = true;
    Doc->PaintTo(MapCellAt(vx, vy));
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
    } else if (TileChooserRect.PtInRect(point)) {
        Doc->SetSelectedTile(ChooserTileAt(point));
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
    if (!StoreWorldMap() && Doc->GridDiffersFromStore()) {
        // Keep the map being edited rather than lose its edits: the new map is not loaded.
        // A grid without edits loses nothing, so a region that cannot be rewritten can
        // still be looked through.
        ExplainRefusedStore();
        SetCurSel(IdcMapList, WorldMapId());
        return;
    }
    LoadWorldMap(chosen);
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
    if (!StoreWorldMap()) {
        // Writing the file now would save the old map under the user's nose.
        ExplainRefusedStore();
        return false;
    }
    return mapeditor::SaveRom(*RomPtr, [this](const FileStamp* expected) {
               return Doc->SaveFile(expected);
           }) == mapeditor::SaveOutcome::Saved;
}

void CMapsDlg::ExplainRefusedStore() {
    app::MessageBox(StoreFailedText, mapeditor::RefusalDetail(LastStoreReport));
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

void CMapsDlg::keyPressEvent(QKeyEvent* event) {
    const auto mods = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier |
                                            Qt::AltModifier | Qt::MetaModifier);
    if (mods == Qt::NoModifier && event->key() == Qt::Key_F5) {
        OnTest();
        return;
    }
    CDialog::keyPressEvent(event);
}
