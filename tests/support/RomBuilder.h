#pragma once

// Synthetic ROM images for tests, benchmarks and fuzz seeds, so nothing needs a game ROM.
//
//   auto rom = testsupport::RomBuilder()
//                  .Map(2, testsupport::StripedGrid(7))   // maps 0, 1, 3 stay all tile 0
//                  .FreeBytes(100)                         // exactly 100 free bytes at the end
//                  .EnemyName(0, "Goblin")
//                  .Build();                               // nullptr if the maps do not fit
//
// The maps are coded by the builder's own row coder (independent of the editor's) and laid
// out back to back in map order, each map's rows in row order. Pokes are written after the
// maps and names, in call order, for graphics and for odd or broken regions.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rom/RomImage.h"

namespace testsupport {

inline constexpr int GridCells = 256 * 256;
using Grid = std::array<uint8_t, GridCells>; // row-major, each tile 0 to 127

// Every cell `tile`.
Grid Filled(uint8_t tile);

// Row y is all tile (firstTile + y) % 128: rows y and y + 128 are equal.
Grid StripedGrid(uint8_t firstTile = 0);
// A plausible map: runs of 1 to `maxRun` tiles of `tileKinds` kinds, and about
// `repeatPercent` of rows copied from an earlier row. Deterministic for a seed.
Grid RandomGrid(uint32_t seed, int maxRun = 40, int repeatPercent = 40, int tileKinds = 12);
// No two neighbouring tiles equal and every row distinct but equal up to its last two
// tiles: the longest coding and the slowest duplicate search. Far too big to store.
Grid WorstCaseGrid(uint32_t seed);

struct RowCoding {
    int maxRun = 256;      // longest run item; 1 codes every tile as a literal
    bool shareRows = true; // identical rows of a map share one stored copy
};

class RomBuilder {
  public:
    // Maps not given are all tile 0.
    RomBuilder& Map(int mapId, const Grid& grid) { return Set(maps_.at(mapId), grid); }
    RomBuilder& Coding(RowCoding coding) { return Set(coding_, coding); }
    // Places the maps so that exactly `count` bytes stay free; by default map 0 starts
    // where the row data does.
    RomBuilder& FreeBytes(int count) { return Set(freeBytes_, count); }
    RomBuilder& Colour(int index, uint32_t bgr) { return Set(colours_.at(index), bgr); }
    // ASCII names, coded through the text table's one-character entries; an unknown
    // character makes Build fail.
    RomBuilder& EnemyName(int index, const std::string& name);
    // Raw name bytes from the start of the name list, instead of any names given.
    RomBuilder& EnemyNameBytes(const std::vector<uint8_t>& bytes);
    RomBuilder& Poke(uint32_t offset, const std::vector<uint8_t>& bytes) {
        pokes_.push_back({offset, bytes});
        return *this;
    }
    // Random tile graphics (patterns, quarter tables, attributes, map palettes) over 64
    // distinct colours, colour 0 being the mask colour: tiles that all look apart.
    RomBuilder& NoiseGraphics(uint32_t seed);
    RomBuilder& Word(uint32_t offset, uint16_t value) {
        return Poke(offset, {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)});
    }

    // nullptr when the maps do not fit the region or a name cannot be coded.
    std::unique_ptr<CRomImage> Build() const;
    // File offset of each map's data as the last Build laid it.
    uint32_t MapStart(int mapId) const { return starts_.at(mapId); }

  private:
    template <typename T> RomBuilder& Set(T& field, const T& value) {
        field = value;
        return *this;
    }

    std::array<Grid, 4> maps_{};
    RowCoding coding_;
    int freeBytes_ = -1;
    std::array<uint32_t, ColourCount> colours_{};
    std::vector<std::string> names_;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> pokes_;
    mutable std::array<uint32_t, 4> starts_{};
};

inline std::vector<uint8_t> Image(const CRomImage& rom) {
    return {rom.RomBytes, rom.RomBytes + RomFileSize};
}
// Writes bytes to a file; false on any failure.
bool WriteFile(const std::string& path, const uint8_t* data, std::size_t size);
template <class Data> bool WriteFile(const std::string& path, const Data& data) {
    return WriteFile(path, reinterpret_cast<const uint8_t*>(data.data()), data.size());
}
// A whole file, empty when it cannot be opened.
std::vector<uint8_t> ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);

} // namespace testsupport
