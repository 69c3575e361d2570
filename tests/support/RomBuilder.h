#pragma once

// Synthetic ROM images for tests, benchmarks and fuzz seeds. No test ever needs a real
// game ROM: everything the editor reads is put in place here.
//
//   auto rom = testsupport::RomBuilder()
//                  .Map(2, testsupport::StripedGrid(7))   // maps 0, 1, 3 stay all tile 0
//                  .FreeBytes(100)                         // exactly 100 free bytes at the end
//                  .EnemyName(0, "Goblin")
//                  .Build();                               // nullptr if the maps do not fit
//
// The maps are coded by the builder's own row coder (independent of the editor's), laid out
// back to back in map order, each map's rows in row order, so the region is exactly as the
// game's layout requires. Everything set with Poke/Word is written last, over the layout,
// for odd or broken regions.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rom/RomImage.h"

namespace testsupport {

inline constexpr int GridCells = 256 * 256;
using Grid = std::vector<uint8_t>; // 65,536 tiles, row-major, each 0 to 127

// Grids -----------------------------------------------------------------------------------

Grid UniformGrid(uint8_t tile);
// Row y is tile (y % 128) for every row: 128 distinct rows of one run each.
Grid StripedGrid(uint8_t firstTile = 0);
// A plausible map: runs of 1 to `maxRun` tiles from a small set of tiles, and about
// `repeatPercent` of rows copied from an earlier row. Deterministic for a seed.
Grid RandomGrid(uint32_t seed, int maxRun = 40, int repeatPercent = 40, int tileKinds = 12);
// No two neighbouring tiles of a row equal and every row distinct: the longest coding
// (each row 256 literals). Far too big to fit the region, used for coder tests.
Grid WorstCaseGrid(uint32_t seed);

// The builder -----------------------------------------------------------------------------

struct RowCoding {
    int maxRun = 256;      // longest run item; 1 codes every tile as a literal
    bool shareRows = true; // identical rows of a map share one stored copy
};

class RomBuilder {
  public:
    RomBuilder();

    // Map data. Maps not given are all tile 0.
    RomBuilder& Map(int mapId, const Grid& grid);
    RomBuilder& Coding(RowCoding coding);
    // Where map 0's data starts (file offset); default just past the four tables.
    RomBuilder& MapsStartAt(uint32_t offset);
    // Instead of a start: place the maps so that exactly `count` bytes stay free.
    RomBuilder& FreeBytes(int count);
    // The byte the free bytes after map 3 are filled with (default 0).
    RomBuilder& FreeFill(uint8_t value);

    // Tile graphics. `set` is the graphics set 0 to 2; tiles below 64 ignore it.
    RomBuilder& Quarter(int tile, int set, int quarter, uint8_t pattern);
    RomBuilder& Attribute(int tile, int set, uint8_t value);
    RomBuilder& Palette(int set, const std::array<uint8_t, 16>& colours);
    // Pattern g; patterns below 128 ignore `set`. Pixel values 0 to 3, row-major 8 x 8.
    RomBuilder& PatternPixels(int g, int set, const std::array<uint8_t, 64>& pixels);
    RomBuilder& PatternBytes(int g, int set, const std::array<uint8_t, 16>& bytes);
    RomBuilder& Colour(int index, uint32_t bgr);

    // Enemies. Names are ASCII, encoded through the text table's single-character entries
    // (letters, space, punctuation); an unknown character makes Build fail.
    RomBuilder& EnemyName(int index, const std::string& name);
    // Raw name bytes from the start of the name list, replacing any names given.
    RomBuilder& EnemyNameBytes(const std::vector<uint8_t>& bytes);
    RomBuilder& EnemyRecord(int index, const std::array<uint8_t, 16>& record);
    RomBuilder& Gold(int index, uint16_t value);
    RomBuilder& Exp(int index, uint16_t value);

    // Raw bytes and words by file offset, written after everything else.
    RomBuilder& Poke(uint32_t offset, const std::vector<uint8_t>& bytes);
    RomBuilder& Word(uint32_t offset, uint16_t value);

    // Leave the text table empty (as before start-up builds it).
    RomBuilder& WithoutTextTable();

    // nullptr when the maps do not fit the region or a name cannot be encoded.
    std::unique_ptr<CRomImage> Build() const;

    // File offsets of each map's data and the end of map 3's, as the last Build laid them.
    uint32_t MapStart(int mapId) const { return starts_[static_cast<std::size_t>(mapId)]; }
    uint32_t DataEnd() const { return dataEnd_; }

  private:
    std::array<Grid, 4> maps_;
    RowCoding coding_;
    uint32_t start_;
    int freeBytes_ = -1;
    uint8_t freeFill_ = 0;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> graphics_;
    std::vector<std::pair<int, uint32_t>> colours_;
    std::vector<std::pair<int, std::string>> names_;
    std::vector<uint8_t> nameBytes_;
    bool rawNames_ = false;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> enemyData_;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> pokes_;
    bool textTable_ = true;
    mutable std::array<uint32_t, 4> starts_{};
    mutable uint32_t dataEnd_ = 0;
};

// Codes one map the builder's way: data relative to its own start, and 256 pointers
// relative to that start too.
void CodeMap(const Grid& grid, RowCoding coding, std::vector<uint8_t>& data,
             std::array<uint16_t, 256>& offsets);

// Writes bytes to a file; false on any failure.
bool WriteFile(const std::string& path, const uint8_t* data, std::size_t size);
// Reads a whole file; false when it cannot be opened.
bool ReadFile(const std::string& path, std::vector<uint8_t>& out);

} // namespace testsupport
