#pragma once

#include <QPen>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>
#include <memory>

#include "app/Dialog.h"
#include "app/ImageList.h"
#include "app/ViewSteps.h"
#include "edit/MapDocument.h"
#include "gfx/Minimap.h"
#include "gfx/TileRenderer.h"
#include "rom/RomImage.h"
#include "worldmap/WorldMap.h"

class QEvent;
class QKeyEvent;
class QLabel;
class QListWidget;
class QMouseEvent;
class QScrollBar;
class QWheelEvent;
namespace app {
class RecoveryKeeper;
}

// A rectangle in client pixels; right and bottom lie just outside it.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool PtInRect(const QPoint& p) const {
        return left <= p.x() && p.x() < right && top <= p.y() && p.y() < bottom;
    }
    QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }
};

// The map editor: a 16 by 16-cell view of one world map, a chooser of its 128 tiles, and
// a list of the four maps, over an edit::MapDocument that holds the grid, the selected
// tile and each map's undo history. Painting changes only the grid; a change of map,
// "Save" and "Done" store the grid into the ROM image, and the last two write the file.
// A minimap shows the whole map and moves the view; a label says what storing would take.
// Every part follows the document's announcements, whichever window made the change.
class CMapsDlg : public CDialog {
    Q_OBJECT
  public:
    static constexpr int IDD = 130;
    static constexpr int IdcVertScroll = 1024;
    static constexpr int IdcHorzScroll = 1025;
    static constexpr int IdcMapList = 1027;
    static constexpr int IdcFreeBytes = 1029;
    static constexpr int IdcSave = 1030;
    static constexpr int IdcWorld = 1031;
    static constexpr int IdcBudget = 1032;
    static constexpr int IdcTest = 1033;
    static constexpr int CellSize = 16;
    static constexpr int ViewCells = 16;
    static constexpr int ChooserColumns = gfx::SheetColumns;
    static constexpr PixelRect MapViewArea{163, 30, 419, 286};
    static constexpr PixelRect TileChooserArea{465, 158, 721, 286};
    // One pixel per 2 by 2 cells, between the vertical scroll bar and the buttons.
    static constexpr PixelRect MinimapArea{458, 12, 458 + gfx::MinimapSize, 12 + gfx::MinimapSize};

    static inline const QString StoreFailedText = QStringLiteral("Store Values failed");
    static inline const QString SaveFailedText =
        QStringLiteral("Error!\nCould not save changes to ROM");

    CMapsDlg();
    ~CMapsDlg() override;

    // Public like a dialog's bound members, so the opener and the tests can see the state.
    CRomImage* RomPtr = nullptr;
    // Follows the document while the window is open, and may hand it recovered edits.
    app::RecoveryKeeper* Keeper = nullptr;
    QLabel* FreeBytesText = nullptr;
    QLabel* BudgetText = nullptr;
    QListWidget* MapListBox = nullptr;
    QScrollBar* VertScrollBar = nullptr;
    QScrollBar* HorzScrollBar = nullptr;
    PixelRect MapViewRect;
    PixelRect TileChooserRect;
    PixelRect MinimapRect;
    int ScrollX = 0;
    int ScrollY = 0;
    CImageList MetatileSet;
    QPen OutlinePen;
    bool Dragging = false;
    // The view cell last painted in this stroke.
    int LastPaintedX = -1;
    int LastPaintedY = 0;
    // A left press on the minimap, held: moves centre the view, wherever the pointer goes.
    bool DraggingMinimap = false;
    int MapHeight = 0;
    int MapWidth = 0;

    // The editing state lives in the document, created by OnInitDialog from RomPtr; another
    // window may be handed the same document.
    edit::MapDocument& Document() const { return *Doc; }
    const worldmap::Grid& MapGrid() const { return Doc->MapGrid(); }
    int WorldMapId() const { return Doc->MapId(); }
    int SelectedTile() const { return Doc->SelectedTile(); }
    int FreeBytes() const { return Doc->FreeBytes(); }

    // Decodes map `mapId` into the grid (its undo history kept); the window follows the
    // document's announcement of the load (UpdateFreeBytes, BuildMetatileSet, minimap).
    void LoadWorldMap(int mapId);
    // Recounts the free bytes of the map region and shows them in control 1029.
    void UpdateFreeBytes();
    // Stores the grid as map WorldMapId; false, with the image untouched, when refused
    // (LastStore says why).
    bool StoreWorldMap();
    const worldmap::StoreReport& LastStore() const { return LastStoreReport; }
    // Renders the current map's 128 tiles into MetatileSet, and their average colours.
    void BuildMetatileSet();
    // Shows what storing the grid would take in control 1032, red when it cannot be stored.
    void UpdateBudget();
    // Moves the view's top left to map cell (x, y), clamped, as the scroll bars would.
    void SetScroll(int x, int y);
    // The minimap as last computed, 0xAARRGGBB, row-major.
    const gfx::MinimapBuffer& Minimap() const { return *MinimapPixels; }
    // Opens the World window on this document ("World..."); back here, the view shows
    // where it last looked.
    void OpenWorldWindow();

    bool CanUndo() const { return Doc->CanUndo(); }
    bool CanRedo() const { return Doc->CanRedo(); }

  protected:
    bool OnInitDialog() override;
    void OnOK() override;
    // Esc, "Cancel" and the close box: asks before edits not stored are lost.
    void OnCancel() override;
    void OnPaint(QPainter& dc) override;
    void OnLButtonDown(const QPoint& point) override;
    void OnLButtonUp(const QPoint& point) override;
    void OnMouseMove(const QPoint& point) override;
    void OnRButtonDown(const QPoint& point) override;
    void OnVScroll(int code, int pos, int barId) override;
    void OnHScroll(int code, int pos, int barId) override;
    void OnCommand(int id) override;
    void OnSelChange(int id) override;

    void OnSelchangeMapList();
    void OnSave();
    // "Test" and F5: the map as painted, in an emulator, on a copy of the ROM.
    void OnTest();

    void mouseMoveEvent(QMouseEvent* event) override;
    // A double-click on a chooser tile opens the Tiles window on it.
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

  private:
    // The common steps of Save and Done; true when the file was written.
    bool StoreAndSave();
    // One scroll code applied to `offset`, clamped to 0 .. dimension - 16.
    void Scroll(int& offset, int dimension, int barId, int code, int pos);
    // Paints view cell (vx, vy), or the line to it from the stroke's previous cell.
    void PaintCell(int vx, int vy);
    edit::Cell MapCellAt(int vx, int vy) const { return {ScrollX + vx, ScrollY + vy}; }
    // The view cell (0 to 15 each way) under a point inside MapViewRect.
    QPoint ViewCellAt(const QPoint& p) const {
        return QPoint((p.x() - MapViewRect.left) >> 4, (p.y() - MapViewRect.top) >> 4);
    }
    int ChooserTileAt(const QPoint& p) const;
    // Ends a stroke, closing its undo step, and a drag on the minimap.
    void StopDragging();
    // Centres the view on the map cells under minimap point `p`, clamped into the minimap.
    void CentreOnMinimap(const QPoint& p);
    // The document's announcements, each redrawing what it names.
    void Subscribe();
    void RowsChanged(const edit::RowSet& rows);
    void MapLoaded(int mapId);
    // New looks of `tiles` of a graphics set: for this map's set, every tile is rendered
    // again (as on a load) but only the cells showing those tiles are redrawn.
    void TilesChanged(int graphicsSet, const edit::TileSet& tiles);
    // The whole minimap again, for a new map.
    void RenderMinimap();
    // "Store Values failed", with the numbers behind the refusal and what to do about it.
    void ExplainRefusedStore();

    std::unique_ptr<edit::MapDocument> Doc;
    worldmap::StoreReport LastStoreReport;
    gfx::TileColours TileColours{};
    std::unique_ptr<gfx::MinimapBuffer> MinimapPixels = std::make_unique<gfx::MinimapBuffer>();
    app::WheelNotches WheelSteps;
};
