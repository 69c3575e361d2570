#include "edit/MapDocument.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>

namespace edit {

namespace {

using worldmap::MapWidth;

uint8_t* RowOf(worldmap::Grid& grid, std::size_t y) {
    return grid.data() + y * MapWidth;
}

} // namespace

MapDocument::MapDocument(CRomImage& rom, int mapId)
    : rom_(&rom), grid_(std::make_unique<worldmap::Grid>()),
      shadow_(std::make_unique<worldmap::Grid>()), stored_(std::make_unique<worldmap::Grid>()) {
    if (!Load(mapId)) {
        Load(0);
    }
}

MapDocument::~MapDocument() = default;

void MapDocument::AddListener(DocumentListener* listener) {
    listeners_.push_back(listener);
}

void MapDocument::RemoveListener(DocumentListener* listener) {
    std::erase(listeners_, listener);
}

template <typename Call> void MapDocument::Notify(Call call) const {
    // A listener may add or remove listeners while it is told: tell those there were.
    const std::vector<DocumentListener*> listeners = listeners_;
    for (DocumentListener* listener : listeners) {
        if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end()) {
            call(*listener);
        }
    }
}

void MapDocument::TilesChanged(int graphicsSet, const TileSet& tiles) {
    if (tiles.any()) {
        Notify([&](DocumentListener& l) { l.TilesChanged(graphicsSet, tiles); });
    }
}

tiles::SetTiles MapDocument::ApplyTiles(const CRomImage& edited) {
    const tiles::SetTiles changed = tiles::ChangedTiles(*rom_, edited);
    tiles::CopyTileData(edited, *rom_);
    for (int set = 0; set < tiles::SetCount; ++set) {
        TilesChanged(set, changed[static_cast<std::size_t>(set)]);
    }
    return changed;
}

void MapDocument::SetSelectedTile(int tile) {
    if (tile >= 0 && tile <= worldmap::MaxTile && tile != selectedTile_) {
        selectedTile_ = tile;
        Notify([&](DocumentListener& l) { l.SelectedTileChanged(tile); });
    }
}

bool MapDocument::Load(int mapId) {
    if (mapId < 0 || mapId >= worldmap::MapCount) {
        return false;
    }
    EndStroke();
    mapId_ = mapId;
    worldmap::DecodeWorldMap(*rom_, mapId_, *grid_);
    *shadow_ = *grid_;
    *stored_ = *grid_;
    unstoredRows_.reset();
    // Versions only: listeners hear of a load as such, not as 256 changed rows.
    ++version_;
    rowVersions_.fill(version_);
    layout_.reset();
    Notify([&](DocumentListener& l) { l.MapLoaded(mapId_); });
    Notify([](DocumentListener& l) { l.BudgetChanged(); });
    return true;
}

worldmap::StoreReport MapDocument::Store() {
    EndStroke();
    const worldmap::StoreReport report = worldmap::StoreWorldMapReport(*rom_, mapId_, *grid_);
    if (report.status == worldmap::StoreStatus::Stored) {
        // The map's old size and the free bytes moved even if the grid did not.
        layout_.reset();
        *stored_ = *grid_;
        unstoredRows_.reset();
        Notify([](DocumentListener& l) { l.Stored(); });
        Notify([](DocumentListener& l) { l.BudgetChanged(); });
    }
    return report;
}

worldmap::StoreReport MapDocument::StoredCopy(std::vector<uint8_t>& bytes) const {
    auto copy = std::make_unique<CRomImage>(*rom_);
    const worldmap::StoreReport report = worldmap::StoreWorldMapReport(*copy, mapId_, *grid_);
    if (report.status == worldmap::StoreStatus::Stored) {
        bytes.assign(std::begin(copy->RomBytes), std::end(copy->RomBytes));
        bytes.insert(bytes.end(), copy->TailBytes.begin(), copy->TailBytes.end());
    }
    return report;
}

bool MapDocument::SaveFile(const FileStamp* expected) {
    if (!rom_->SaveRomFile(expected)) {
        return false;
    }
    Notify([](DocumentListener& l) { l.Saved(); });
    return true;
}

void MapDocument::BeginStroke() {
    EndStroke();
    strokeOpen_ = true;
    hasLastStrokeCell_ = false;
    strokeRows_.reset();
}

RowSet MapDocument::PaintTo(Cell cell) {
    if (!strokeOpen_) {
        BeginStroke();
    }
    const auto tile = static_cast<uint8_t>(selectedTile_);
    const RowSet rows = hasLastStrokeCell_ ? edit::DrawLine(*grid_, lastStrokeCell_, cell, tile)
                                           : edit::SetCell(*grid_, cell, tile);
    lastStrokeCell_ = cell;
    hasLastStrokeCell_ = true;
    strokeRows_ |= rows;
    RowsChanged(rows);
    return rows;
}

void MapDocument::EndStroke() {
    if (!strokeOpen_) {
        return;
    }
    strokeOpen_ = false;
    hasLastStrokeCell_ = false;
    Commit(strokeRows_);
    strokeRows_.reset();
}

RowSet MapDocument::CommitEdit(const RowSet& rows) {
    if (rows.any()) {
        Commit(rows);
        RowsChanged(rows);
    }
    return rows;
}

RowSet MapDocument::SetCell(Cell cell, uint8_t tile) {
    EndStroke();
    return CommitEdit(edit::SetCell(*grid_, cell, tile));
}

RowSet MapDocument::DrawLine(Cell from, Cell to, uint8_t tile) {
    EndStroke();
    return CommitEdit(edit::DrawLine(*grid_, from, to, tile));
}

RowSet MapDocument::FillRect(const Rect& rect, uint8_t tile) {
    EndStroke();
    return CommitEdit(edit::FillRect(*grid_, rect, tile));
}

RowSet MapDocument::FloodFill(Cell start, uint8_t tile) {
    EndStroke();
    return CommitEdit(edit::FloodFill(*grid_, start, tile));
}

RowSet MapDocument::ReplaceTile(uint8_t from, uint8_t to, const std::optional<Rect>& within) {
    EndStroke();
    return CommitEdit(edit::ReplaceTile(*grid_, from, to, within));
}

RowSet MapDocument::Paste(const Block& block, Cell at) {
    EndStroke();
    return CommitEdit(edit::Paste(*grid_, block, at));
}

RowSet MapDocument::ReplaceGrid(const worldmap::Grid& grid) {
    EndStroke();
    RowSet rows;
    for (std::size_t y = 0; y < worldmap::MapHeight; ++y) {
        const uint8_t* from = grid.data() + y * MapWidth;
        if (std::memcmp(RowOf(*grid_, y), from, MapWidth) != 0) {
            std::memcpy(RowOf(*grid_, y), from, MapWidth);
            rows.set(y);
        }
    }
    return CommitEdit(rows);
}

void MapDocument::Commit(const RowSet& rows) {
    EditStep step;
    // At most one change a row: room made once, and what the bound counts is what is held.
    step.rows.reserve(rows.count());
    for (std::size_t y = 0; y < worldmap::MapHeight; ++y) {
        if (!rows.test(y)) {
            continue;
        }
        uint8_t* now = RowOf(*grid_, y);
        uint8_t* was = RowOf(*shadow_, y);
        if (std::memcmp(now, was, MapWidth) == 0) {
            continue;
        }
        RowChange& change = step.rows.emplace_back();
        change.row = static_cast<uint8_t>(y);
        std::memcpy(change.before.data(), was, MapWidth);
        std::memcpy(change.after.data(), now, MapWidth);
        std::memcpy(was, now, MapWidth);
    }
    if (step.rows.empty()) {
        return;
    }
    step.used = ++stepUses_;
    History& history = histories_[static_cast<std::size_t>(mapId_)];
    for (const EditStep& gone : history.redo) {
        historyBytes_ -= StepBytes(gone);
    }
    history.redo.clear();
    historyBytes_ += StepBytes(step);
    history.undo.push_back(std::move(step));
    TrimHistory();
}

std::size_t MapDocument::StepBytes(const EditStep& step) {
    return sizeof(EditStep) + step.rows.capacity() * sizeof(RowChange);
}

void MapDocument::SetHistoryLimit(std::size_t bytes) {
    historyLimit_ = bytes;
    TrimHistory();
}

void MapDocument::TrimHistory() {
    bool dropped = false;
    while (historyBytes_ > historyLimit_) {
        // Each list is oldest first: the oldest of all is at the front of one of them.
        std::deque<EditStep>* oldest = nullptr;
        for (History& history : histories_) {
            for (std::deque<EditStep>* steps : {&history.undo, &history.redo}) {
                if (!steps->empty() &&
                    (oldest == nullptr || steps->front().used < oldest->front().used)) {
                    oldest = steps;
                }
            }
        }
        if (oldest == nullptr) {
            break;
        }
        historyBytes_ -= StepBytes(oldest->front());
        oldest->pop_front();
        dropped = true;
    }
    if (dropped) {
        historyTrimmed_ = true;
        Notify([](DocumentListener& l) { l.StepsDropped(); });
    }
}

RowSet MapDocument::TakeStep(Direction direction) {
    EndStroke();
    const bool undo = direction == Direction::Back;
    History& history = histories_[static_cast<std::size_t>(mapId_)];
    std::deque<EditStep>& from = undo ? history.undo : history.redo;
    std::deque<EditStep>& to = undo ? history.redo : history.undo;
    RowSet rows;
    if (from.empty()) {
        return rows;
    }
    EditStep step = std::move(from.back());
    from.pop_back();
    step.used = ++stepUses_;
    // Over a map loaded afresh a row may already hold what the step gives it: that row
    // keeps its version.
    RowSet moved;
    for (const RowChange& change : step.rows) {
        const auto& contents = undo ? change.before : change.after;
        uint8_t* row = RowOf(*grid_, change.row);
        if (std::memcmp(row, contents.data(), MapWidth) != 0) {
            std::memcpy(row, contents.data(), MapWidth);
            moved.set(change.row);
        }
        std::memcpy(RowOf(*shadow_, change.row), contents.data(), MapWidth);
        rows.set(change.row);
    }
    to.push_back(std::move(step));
    RowsChanged(moved);
    return rows;
}

RowSet MapDocument::Undo() {
    return TakeStep(Direction::Back);
}

RowSet MapDocument::Redo() {
    return TakeStep(Direction::Forward);
}

bool MapDocument::CanUndo() const {
    // An open stroke that changed something becomes a step as soon as it is undone.
    return strokeRows_.any() || !histories_[static_cast<std::size_t>(mapId_)].undo.empty();
}

bool MapDocument::CanRedo() const {
    return !strokeRows_.any() && !histories_[static_cast<std::size_t>(mapId_)].redo.empty();
}

std::size_t MapDocument::UndoCount(int mapId) const {
    return mapId >= 0 && mapId < worldmap::MapCount
               ? histories_[static_cast<std::size_t>(mapId)].undo.size()
               : 0;
}

void MapDocument::RowsChanged(const RowSet& rows) {
    if (rows.none()) {
        return;
    }
    ++version_;
    for (std::size_t y = 0; y < worldmap::MapHeight; ++y) {
        if (rows.test(y)) {
            rowVersions_[y] = version_;
        }
    }
    unstoredRows_ |= rows;
    Notify([&](DocumentListener& l) { l.RowsChanged(rows); });
    Notify([](DocumentListener& l) { l.BudgetChanged(); });
}

const RowCosts& MapDocument::Costs() const {
    RowSet stale;
    for (std::size_t y = 0; y < worldmap::MapHeight; ++y) {
        if (costVersions_[y] != rowVersions_[y]) {
            stale.set(y);
            // The row code holds tiles 0 to 127 only; an OR of the row shows any above.
            const uint8_t* row = grid_->data() + y * MapWidth;
            uint8_t bits = 0;
            for (std::size_t x = 0; x < MapWidth; ++x) {
                bits = static_cast<uint8_t>(bits | row[x]);
            }
            badTileRows_.set(y, bits > worldmap::MaxTile);
        }
    }
    if (stale.any()) {
        costs_.Update(*grid_, stale);
        costVersions_ = rowVersions_;
    }
    return costs_;
}

const worldmap::StoreReport& MapDocument::Budget() const {
    if (!layout_) {
        layout_ = worldmap::MeasureLayout(*rom_, mapId_);
    }
    const RowCosts& costs = Costs();
    budget_ = worldmap::CompleteReport(*layout_, badTileRows_.any(), costs.Total());
    return budget_;
}

bool MapDocument::GridDiffersFromStore() const {
    for (std::size_t y = 0; y < worldmap::MapHeight; ++y) {
        if (unstoredRows_.test(y)) {
            // An edit undone again leaves the row as stored: it is no longer counted.
            if (std::memcmp(RowOf(*grid_, y), RowOf(*stored_, y), MapWidth) != 0) {
                return true;
            }
            unstoredRows_.reset(y);
        }
    }
    return false;
}

bool MapDocument::ImageDiffersFromFile() const {
    return rom_->DiffersFromFile();
}

} // namespace edit
