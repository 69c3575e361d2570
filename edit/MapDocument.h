#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "edit/DocumentListener.h"
#include "edit/GridOps.h"
#include "edit/RowCosts.h"
#include "rom/RomImage.h"
#include "tiles/TileModel.h"
#include "worldmap/WorldMap.h"

namespace edit {

// One ROM image open for map editing: the map on screen as a grid, the tile to paint with,
// an undo history per map, what storing the grid would cost, and whether the grid and the
// image hold changes not yet stored or written. Every window that edits maps works through
// one of these so they agree on all of it; the command-line tool, which makes one change
// and stores it, uses the same grid operations directly.
//
// The image is not owned and must outlive the document. While the document is open the
// map region should change only through it: the byte budget is cached on that basis.
class MapDocument {
  public:
    // Loads `mapId` (0 to 3; anything else loads map 0).
    explicit MapDocument(CRomImage& rom, int mapId = 0);
    ~MapDocument();
    MapDocument(const MapDocument&) = delete;
    MapDocument& operator=(const MapDocument&) = delete;

    // Listeners are not owned; one must be removed before it is destroyed. Each is told of
    // every change after it happened, in the order they were added.
    void AddListener(DocumentListener* listener);
    void RemoveListener(DocumentListener* listener);
    // For changes to the image's tile graphics, made through their own model: passed on to
    // every listener.
    void TilesChanged(int graphicsSet, const TileSet& tiles);
    // Takes the tile data (patterns, quarters, attributes, map palettes) of `edited` into
    // the image and announces the tiles, by set, that now look different; returns them.
    // Nothing else of the image changes.
    tiles::SetTiles ApplyTiles(const CRomImage& edited);

    CRomImage& Rom() const { return *rom_; }
    int MapId() const { return mapId_; }
    const worldmap::Grid& MapGrid() const { return *grid_; }
    uint8_t At(Cell c) const { return (*grid_)[CellIndex(c)]; }

    int SelectedTile() const { return selectedTile_; }
    // Values outside 0 to 127 are ignored: the row code cannot hold them.
    void SetSelectedTile(int tile);

    // Decodes map `mapId` from the image into the grid; false, changing nothing, for an id
    // outside 0 to 3. The map's undo history stays: its steps are whole rows before and
    // after, so undoing them over a freshly loaded grid is well defined (the grid then
    // differs from the stored map).
    bool Load(int mapId);
    // Stores the grid into the image as the current map. On any status but Stored the
    // image is untouched.
    worldmap::StoreReport Store();
    // Writes the image to its file (as CRomImage::SaveRomFile does with `expected`); on
    // success the image no longer differs from it.
    bool SaveFile(const FileStamp* expected = nullptr);
    // The file's bytes as they would be with the grid stored as the current map, for
    // trying the map out while the image and its file stay as they are. `bytes` is filled
    // only when the report is Stored.
    worldmap::StoreReport StoredCopy(std::vector<uint8_t>& bytes) const;

    // A painting stroke is one undo step however many cells it paints. PaintTo paints the
    // selected tile on `cell`, or on the straight line from the stroke's previous cell so a
    // pointer that jumps leaves no gaps; it opens a stroke when none is open. LiftStroke
    // makes the next PaintTo start afresh without ending the step (the pointer left the
    // view). Each returns the rows it changed.
    void BeginStroke();
    RowSet PaintTo(Cell cell);
    void LiftStroke() { hasLastStrokeCell_ = false; }
    void EndStroke();
    bool StrokeOpen() const { return strokeOpen_; }

    // Single-step operations; see GridOps.h. Each ends an open stroke first.
    RowSet SetCell(Cell cell, uint8_t tile);
    RowSet DrawLine(Cell from, Cell to, uint8_t tile);
    RowSet FillRect(const Rect& rect, uint8_t tile);
    RowSet FloodFill(Cell start, uint8_t tile);
    RowSet ReplaceTile(uint8_t from, uint8_t to, const std::optional<Rect>& within = std::nullopt);
    RowSet Paste(const Block& block, Cell at);
    Block Copy(const Rect& rect) const { return CopyRect(*grid_, rect); }
    // Puts `grid` in place of the current map's grid as one step (edits brought back after
    // a crash): the rows it changes are edits not yet stored, and Undo takes them back.
    RowSet ReplaceGrid(const worldmap::Grid& grid);

    // Of the current map. Both end an open stroke first and return the rows they changed
    // (none when there was nothing to undo or redo).
    RowSet Undo();
    RowSet Redo();
    bool CanUndo() const;
    bool CanRedo() const;
    std::size_t UndoCount(int mapId) const;

    // The undo and redo histories of the four maps together keep at most a number of bytes
    // (the rows each step holds, before and after, and its bookkeeping). A new step that
    // would go over drops the least recently made, undone or redone steps first, whichever
    // map they belong to; a step larger than the whole bound is not kept at all. Listeners
    // hear of it through StepsDropped.
    static constexpr std::size_t DefaultHistoryLimit = std::size_t{256} << 20;
    std::size_t HistoryLimit() const { return historyLimit_; }
    // Takes effect at once: steps over the new bound are dropped now.
    void SetHistoryLimit(std::size_t bytes);
    std::size_t HistoryBytes() const { return historyBytes_; }
    // Some step was dropped to keep the bound since the document was opened.
    bool HistoryTrimmed() const { return historyTrimmed_; }

    // What storing the grid now would report: newSize, and available = the map's stored
    // size plus the free bytes; always the same as worldmap::MeasureStore. The coded size
    // comes from Costs(), the rest is worked out again only after the image changed.
    const worldmap::StoreReport& Budget() const;
    // What each row of the grid adds to the stored map, brought up to date on the rows
    // whose versions moved since it was last asked for.
    const RowCosts& Costs() const;

    int FreeBytes() const { return worldmap::CountFreeBytes(*rom_); }

    // The grid is not what the image held as the current map when it was last loaded or
    // stored: told from the rows edited since then, not by decoding the map again.
    bool GridDiffersFromStore() const;
    // The image holds bytes not yet written to its file (the image keeps track, so this
    // holds across documents and windows).
    bool ImageDiffersFromFile() const;

  private:
    // Every row the grid changes in (an edit, a stroke's paint, an undo or redo, a Load,
    // which counts as changing all rows) takes the document's next version, larger than
    // any before; rows that did not change keep theirs: the row costs are brought up to
    // date on the rows whose versions moved.
    const std::array<uint64_t, worldmap::MapHeight>& RowVersions() const { return rowVersions_; }

    struct RowChange {
        uint8_t row;
        std::array<uint8_t, worldmap::MapWidth> before;
        std::array<uint8_t, worldmap::MapWidth> after;
    };
    struct EditStep {
        std::vector<RowChange> rows;
        // When the step was last made, undone or redone, in the document's own count: the
        // smallest is the first to drop.
        uint64_t used = 0;
    };
    struct History {
        // Oldest first, in both: a step moved to either end is the most recently used.
        std::deque<EditStep> undo;
        std::deque<EditStep> redo;
    };
    enum class Direction { Back, Forward };

    // Closes a step over `rows`, from the shadow copy to the grid, and brings the shadow up
    // to date. Rows the ops reported but that ended as they were leave nothing.
    void Commit(const RowSet& rows);
    // Undoes (Back) or redoes (Forward) one step of the current map.
    RowSet TakeStep(Direction direction);
    // Closes a single-step operation's change to `rows` as an undo step and announces it.
    RowSet CommitEdit(const RowSet& rows);
    static std::size_t StepBytes(const EditStep& step);
    // Drops the least recently used steps until the histories fit the bound; tells the
    // listeners when any went.
    void TrimHistory();
    // Gives `rows` the next version and tells the listeners.
    void RowsChanged(const RowSet& rows);
    template <typename Call> void Notify(Call call) const;

    CRomImage* rom_;
    int mapId_ = 0;
    int selectedTile_ = 0;
    // The grid, and the grid as it was after the last step: the before-side of the next.
    std::unique_ptr<worldmap::Grid> grid_;
    std::unique_ptr<worldmap::Grid> shadow_;
    // The grid as last loaded or stored, and the rows edited since: only they can differ.
    std::unique_ptr<worldmap::Grid> stored_;
    mutable RowSet unstoredRows_;
    std::vector<DocumentListener*> listeners_;
    std::array<History, worldmap::MapCount> histories_;
    std::size_t historyLimit_ = DefaultHistoryLimit;
    std::size_t historyBytes_ = 0;
    uint64_t stepUses_ = 0;
    bool historyTrimmed_ = false;

    bool strokeOpen_ = false;
    bool hasLastStrokeCell_ = false;
    Cell lastStrokeCell_;
    RowSet strokeRows_;

    uint64_t version_ = 0;
    std::array<uint64_t, worldmap::MapHeight> rowVersions_{};

    // The costs, the row versions they were worked out for, and the rows holding a tile the
    // row code cannot hold; brought up to date on demand.
    mutable RowCosts costs_;
    mutable std::array<uint64_t, worldmap::MapHeight> costVersions_{};
    mutable RowSet badTileRows_;
    // The image's part of the budget, dropped when the image or the map changes.
    mutable std::optional<worldmap::StoreLayout> layout_;
    mutable worldmap::StoreReport budget_;
};

} // namespace edit
