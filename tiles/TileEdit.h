#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rom/RomImage.h"
#include "tiles/TileModel.h"

// An editing session on the tiles of one graphics set: a working copy of the image that
// every change goes to, so the image itself stays as it was until the changes are taken
// over whole (or dropped), with undo and redo of steps. A step keeps only the tile data
// bytes it changed.
namespace tiles {

// What Make Unique did: each quarter given its own pattern, or why it did nothing.
struct UniqueReport {
    struct Copy {
        int quarter = 0;
        int from = 0; // the pattern it shared
        int to = 0;   // its own copy
        friend bool operator==(const Copy&, const Copy&) = default;
    };
    bool done = false;
    std::vector<Copy> copies; // empty with done: the tile shared nothing
    std::string refusal;      // set when not done
    SetTiles changed{};
};

class TileEdit {
  public:
    TileEdit(const CRomImage& rom, int graphicsSet);
    ~TileEdit();
    TileEdit(const TileEdit&) = delete;
    TileEdit& operator=(const TileEdit&) = delete;

    int Set() const { return set_; }
    const CRomImage& Working() const { return *working_; }
    const TileModel& Model() const { return model_; }
    // Whether the working copy's tile data differs from what the session started from.
    bool HasChanges() const;

    // Every change returns the tiles, by set, that may look different afterwards: the ones
    // to draw again.
    //
    // A stroke of painted pixels is one step. Paint writes pixel value `value` (0 to 3) at
    // (x, y) of tile `tile`, that is into the pattern behind it, and so into every tile
    // drawing that pattern. It opens a stroke when none is open.
    void BeginStroke();
    SetTiles Paint(int tile, int x, int y, int value);
    void EndStroke();
    bool StrokeOpen() const { return strokeOpen_; }

    // The 4-connected pixels of the tile holding the value at (x, y) take `value`: one
    // step. The area is found on the tile as it is before; a pattern drawn in two of its
    // quarters may change in both.
    SetTiles Fill(int tile, int x, int y, int value);
    SetTiles SetSubPalette(int tile, int subPalette);
    // Entry 0 to 15 of the set's map palette, an NES colour 0 to 63.
    SetTiles SetPaletteEntry(int index, int colour);
    // Gives every quarter of `tile` drawing a pattern that another quarter also draws (of
    // this tile or of any tile that sees it) a copy of its own in a free pattern: for a
    // tile of 64 to 127 the set's own patterns 128 to 255 first, then 0 to 127; for a
    // shared tile only 0 to 127. Refuses, changing nothing, when too few are free.
    UniqueReport MakeUnique(int tile);

    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    // Each ends an open stroke first; nothing when there is no step.
    SetTiles Undo();
    SetTiles Redo();
    // Undoes the last step and forgets it, leaving nothing to redo: for a step the user
    // did not mean (the first press of a double-click).
    SetTiles Retract();

  private:
    struct ByteChange {
        uint32_t offset;
        uint8_t before;
        uint8_t after;
    };
    using Step = std::vector<ByteChange>;

    // Tile data as it is now, to tell a step's bytes from.
    std::vector<uint8_t> Snapshot() const;
    // Closes a step from `before` to now; false when no byte changed.
    bool Commit(const std::vector<uint8_t>& before);
    // The tiles each byte affects, in the working copy as it is now.
    SetTiles Affected(const Step& step) const;
    SetTiles Replay(std::vector<Step>& from, std::vector<Step>& to, bool forward);

    int set_;
    std::unique_ptr<CRomImage> working_;
    TileModel model_;
    std::vector<uint8_t> original_;
    std::vector<Step> undo_;
    std::vector<Step> redo_;
    bool strokeOpen_ = false;
    std::vector<uint8_t> strokeStart_;
};

// The map ids (0 to 3) drawn with graphics set `set`.
std::vector<int> MapsOfSet(int set);
SetTiles Union(const SetTiles& a, const SetTiles& b);

} // namespace tiles
