#include "tiles/TileEdit.h"

#include <algorithm>
#include <cassert>
#include <iterator>
#include <set>
#include <utility>

namespace tiles {
namespace {

std::size_t U(int value) {
    return static_cast<std::size_t>(value);
}

} // namespace

std::vector<int> MapsOfSet(int set) {
    SetTiles one{};
    one[U(set)].set();
    return MapsShowing(one);
}

SetTiles Union(const SetTiles& a, const SetTiles& b) {
    SetTiles both{};
    for (std::size_t s = 0; s < both.size(); ++s) {
        both[s] = a[s] | b[s];
    }
    return both;
}

TileEdit::TileEdit(const CRomImage& rom, int graphicsSet)
    : set_(graphicsSet), working_(std::make_unique<CRomImage>(rom)), model_(*working_),
      original_(Snapshot()) {
    assert(graphicsSet >= 0 && graphicsSet < SetCount);
}

TileEdit::~TileEdit() = default;

bool TileEdit::HasChanges() const {
    return Snapshot() != original_;
}

std::vector<uint8_t> TileEdit::Snapshot() const {
    std::vector<uint8_t> bytes;
    for (const ByteRange& range : TileDataRanges) {
        bytes.insert(bytes.end(), working_->RomBytes + range.begin, working_->RomBytes + range.end);
    }
    return bytes;
}

bool TileEdit::Commit(const std::vector<uint8_t>& before) {
    Step step;
    std::size_t i = 0;
    for (const ByteRange& range : TileDataRanges) {
        for (uint32_t offset = range.begin; offset < range.end; ++offset, ++i) {
            const uint8_t now = working_->ReadByte(offset);
            if (now != before[i]) {
                step.push_back({offset, before[i], now});
            }
        }
    }
    if (step.empty()) {
        return false;
    }
    undo_.push_back(std::move(step));
    redo_.clear();
    return true;
}

SetTiles TileEdit::Affected(const Step& step) const {
    // Enough to look at the image after the step: a step that changes what a pattern's
    // users are changes their quarter bytes too, and those name the tiles themselves.
    SetTiles affected{};
    std::set<uint32_t> patternsSeen;
    for (const ByteChange& change : step) {
        if (change.offset >= PatternTableBytes.begin && change.offset < PatternTableBytes.end &&
            !patternsSeen.insert(change.offset / PatternBytes).second) {
            continue;
        }
        affected = Union(affected, model_.AffectedBy(change.offset));
    }
    return affected;
}

void TileEdit::BeginStroke() {
    EndStroke();
    strokeStart_ = Snapshot();
    strokeOpen_ = true;
}

SetTiles TileEdit::Paint(int tile, int x, int y, int value) {
    if (!strokeOpen_) {
        BeginStroke();
    }
    if (model_.TilePixel(set_, tile, x, y) == value) {
        return {};
    }
    model_.SetTilePixel(set_, tile, x, y, value);
    const int quarter = y / PatternSide * 2 + x / PatternSide;
    return model_.AffectedBy(PatternOffset(set_, model_.Quarter(set_, tile, quarter)));
}

void TileEdit::EndStroke() {
    if (strokeOpen_) {
        strokeOpen_ = false;
        Commit(strokeStart_);
        strokeStart_.clear();
    }
}

SetTiles TileEdit::Fill(int tile, int x, int y, int value) {
    EndStroke();
    const TileValues values = model_.Values(set_, tile);
    const uint8_t from = values[U(y * TileSide + x)];
    if (from == value) {
        return {};
    }
    const std::vector<uint8_t> before = Snapshot();
    std::vector<bool> seen(values.size(), false);
    std::vector<std::pair<int, int>> todo{{x, y}};
    seen[U(y * TileSide + x)] = true;
    while (!todo.empty()) {
        const auto [px, py] = todo.back();
        todo.pop_back();
        model_.SetTilePixel(set_, tile, px, py, value);
        const std::pair<int, int> next[] = {{px - 1, py}, {px + 1, py}, {px, py - 1}, {px, py + 1}};
        for (const auto& [nx, ny] : next) {
            if (nx >= 0 && ny >= 0 && nx < TileSide && ny < TileSide &&
                !seen[U(ny * TileSide + nx)] && values[U(ny * TileSide + nx)] == from) {
                seen[U(ny * TileSide + nx)] = true;
                todo.emplace_back(nx, ny);
            }
        }
    }
    return Commit(before) ? Affected(undo_.back()) : SetTiles{};
}

SetTiles TileEdit::SetSubPalette(int tile, int subPalette) {
    EndStroke();
    const std::vector<uint8_t> before = Snapshot();
    model_.SetSubPalette(set_, tile, subPalette);
    return Commit(before) ? Affected(undo_.back()) : SetTiles{};
}

SetTiles TileEdit::SetPaletteEntry(int index, int colour) {
    EndStroke();
    const std::vector<uint8_t> before = Snapshot();
    model_.SetPaletteEntry(set_, index, colour);
    return Commit(before) ? Affected(undo_.back()) : SetTiles{};
}

UniqueReport TileEdit::MakeUnique(int tile) {
    EndStroke();
    UniqueReport report;
    // The quarters to copy, in order; each one moved leaves the pattern to fewer users,
    // so the last quarter of a tile drawing a pattern twice keeps it.
    std::vector<int> quarters;
    std::vector<int> users(QuarterCount);
    for (int k = 0; k < QuarterCount; ++k) {
        const int g = model_.Quarter(set_, tile, k);
        users[U(k)] = static_cast<int>(model_.UsersOf(set_, g).size());
    }
    for (int k = 0; k < QuarterCount; ++k) {
        const int g = model_.Quarter(set_, tile, k);
        if (users[U(k)] > 1) {
            quarters.push_back(k);
            for (int later = k + 1; later < QuarterCount; ++later) {
                if (model_.Quarter(set_, tile, later) == g) {
                    --users[U(later)];
                }
            }
        }
    }
    if (quarters.empty()) {
        report.done = true;
        return report;
    }
    for (int k : quarters) {
        const int g = model_.Quarter(set_, tile, k);
        if (IsSharedTile(tile) && !IsSharedPattern(g)) {
            report.refusal = "Tile " + std::to_string(tile) + " draws pattern " +
                             std::to_string(g) +
                             ", which each graphics set holds for itself; a copy shared by all "
                             "maps would change the tile on the other maps.";
            return report;
        }
    }
    // Free patterns the tile can see, in the order they are claimed.
    std::vector<int> candidates;
    const std::vector<int> free = model_.FreePatterns(set_);
    if (!IsSharedTile(tile)) {
        std::copy_if(free.begin(), free.end(), std::back_inserter(candidates),
                     [](int g) { return !IsSharedPattern(g); });
    }
    std::copy_if(free.begin(), free.end(), std::back_inserter(candidates),
                 [](int g) { return IsSharedPattern(g); });
    if (candidates.size() < quarters.size()) {
        report.refusal = "Tile " + std::to_string(tile) + " needs " +
                         std::to_string(quarters.size()) +
                         " free patterns for its shared quarters; " +
                         std::to_string(candidates.size()) + " are free.";
        return report;
    }
    const std::vector<uint8_t> before = Snapshot();
    for (std::size_t i = 0; i < quarters.size(); ++i) {
        const int k = quarters[i];
        const int from = model_.Quarter(set_, tile, k);
        const int to = candidates[i];
        model_.SetPattern(set_, to, model_.Pattern(set_, from));
        model_.SetQuarter(set_, tile, k, to);
        report.copies.push_back({k, from, to});
    }
    report.done = true;
    if (Commit(before)) {
        report.changed = Affected(undo_.back());
    }
    return report;
}

SetTiles TileEdit::Replay(std::vector<Step>& from, std::vector<Step>& to, bool forward) {
    EndStroke();
    if (from.empty()) {
        return {};
    }
    Step step = std::move(from.back());
    from.pop_back();
    for (const ByteChange& change : step) {
        working_->WriteByte(change.offset, forward ? change.after : change.before);
    }
    const SetTiles affected = Affected(step);
    to.push_back(std::move(step));
    return affected;
}

SetTiles TileEdit::Undo() {
    return Replay(undo_, redo_, false);
}

SetTiles TileEdit::Redo() {
    return Replay(redo_, undo_, true);
}

SetTiles TileEdit::Retract() {
    EndStroke();
    if (undo_.empty()) {
        return {};
    }
    const SetTiles affected = Replay(undo_, redo_, false);
    redo_.pop_back();
    return affected;
}

} // namespace tiles
