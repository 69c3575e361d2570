// Arbitrary bytes as the world-map region (pointer tables and row data) and the tile
// tables of an image: every map is decoded, the free bytes counted, the layout checked,
// the tiles rendered, names read up to the end of the image, and one map edited and
// stored. Besides memory errors it checks what a store promises: a stored map decodes
// back, the other maps decode as before, the free count moves by the size change, nothing
// outside the region changes, and a refused store changes nothing at all.
//
// Input: 4 bytes that steer the edit, then the bytes laid from file offset 0xD010 on.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "gfx/ColourTable.h"
#include "gfx/TileRenderer.h"
#include "text/TextTable.h"
#include "worldmap/MapLayout.h"
#include "worldmap/WorldMap.h"

namespace {

// As far as a row can reach: 0xD010 + 0xFFFF plus one row's coding.
constexpr std::size_t ReachEnd = 0xD010 + 0xFFFF + 512;
constexpr std::size_t SteerBytes = 4;

struct Graphics {
    uint32_t from;
    uint32_t size;
};
constexpr Graphics GraphicsAreas[] = {{0x10, 0x500}, {0x1650, 0x30}, {0x14C10, 0x2000}};

using Grid = worldmap::Grid;

Grid Decode(const CRomImage& rom, int mapId) {
    Grid g{};
    worldmap::DecodeWorldMap(rom, mapId, g);
    return g;
}

void Edit(Grid& g, std::mt19937& rng) {
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) {
        const uint32_t x = rng() % 256, y = rng() % 256;
        const uint32_t w = 1 + rng() % 64, h = 1 + rng() % 64;
        const uint8_t tile = static_cast<uint8_t>(rng() % 128);
        for (uint32_t yy = y; yy < 256 && yy < y + h; ++yy) {
            for (uint32_t xx = x; xx < 256 && xx < x + w; ++xx) {
                g[yy * 256 + xx] = tile;
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static CRomImage* const rom = [] {
        auto* image = new CRomImage();
        text::BuildTextTable(*image);
        return image;
    }();
    if (size < SteerBytes) {
        return 0;
    }
    const uint8_t* body = data + SteerBytes;
    const std::size_t n = size - SteerBytes;
    uint32_t steer;
    std::memcpy(&steer, data, SteerBytes);

    // Nothing past ReachEnd is ever written, so it stays zero from the start.
    std::memset(rom->RomBytes, 0, ReachEnd);
    if (n > 0) {
        for (const Graphics& area : GraphicsAreas) {
            for (uint32_t i = 0; i < area.size; ++i) {
                rom->RomBytes[area.from + i] = body[i % n];
            }
        }
    }
    std::memcpy(rom->RomBytes + worldmap::RegionStart, body,
                std::min(n, ReachEnd - worldmap::RegionStart));
    gfx::SetColourTable(*rom, body, n);

    Grid maps[worldmap::MapCount];
    for (int m = 0; m < worldmap::MapCount; ++m) {
        maps[m] = Decode(*rom, m);
        for (uint8_t tile : maps[m]) {
            FUZZ_CHECK(tile < 128);
        }
        (void)worldmap::CheckLayout(*rom, m);
        (void)worldmap::GetMapExtent(*rom, m);
    }
    (void)worldmap::CheckLayout(*rom);
    const int freeBytes = worldmap::CountFreeBytes(*rom);

    auto tiles = std::make_unique<gfx::MetatilePixels>();
    gfx::RenderMetatileSet(*rom, static_cast<int>(steer & 3), *tiles);
    for (const auto& tile : *tiles) {
        for (uint32_t colour : tile) {
            FUZZ_CHECK(colour <= 0xFFFFFF);
        }
    }
    (void)text::DecodeNames(*rom, static_cast<uint32_t>(RomFileSize - (steer >> 16) % 700), 4);

    // One edit of one map (id 4 now and then: a store that does nothing).
    const int mapId = static_cast<int>((steer >> 2) % 5);
    std::mt19937 rng(steer);
    Grid edited = mapId < worldmap::MapCount ? maps[mapId] : Grid{};
    Edit(edited, rng);
    const std::vector<uint8_t> before(rom->RomBytes, rom->RomBytes + ReachEnd);
    const auto measured = worldmap::MeasureStore(*rom, mapId, edited);
    FUZZ_CHECK(std::memcmp(rom->RomBytes, before.data(), ReachEnd) == 0);
    const auto report = worldmap::StoreWorldMapReport(*rom, mapId, edited);
    // The dry run promises exactly what the store then does.
    FUZZ_CHECK(measured.status == report.status && measured.newSize == report.newSize &&
               measured.oldSize == report.oldSize && measured.available == report.available);
    if (report.status != worldmap::StoreStatus::Stored || mapId >= worldmap::MapCount) {
        FUZZ_CHECK(std::memcmp(rom->RomBytes, before.data(), ReachEnd) == 0);
        return 0;
    }
    FUZZ_CHECK(Decode(*rom, mapId) == edited);
    for (int m = 0; m < worldmap::MapCount; ++m) {
        if (m != mapId) {
            FUZZ_CHECK(Decode(*rom, m) == maps[m]);
        }
    }
    FUZZ_CHECK(worldmap::CountFreeBytes(*rom) == freeBytes - (report.newSize - report.oldSize));
    FUZZ_CHECK(std::memcmp(rom->RomBytes, before.data(), worldmap::RegionStart) == 0);
    FUZZ_CHECK(std::memcmp(rom->RomBytes + worldmap::RowDataEnd,
                           before.data() + worldmap::RowDataEnd,
                           ReachEnd - worldmap::RowDataEnd) == 0);
    return 0;
}
