#include "gfx/TileRenderer.h"

#include <cstring>

namespace gfx {

void RenderMetatile(const CRomImage& rom, int graphicsSet, int tile, TilePixels& out) {
    if (graphicsSet < 0 || graphicsSet >= GraphicsSetCount || tile < 0 || tile >= TileCount) {
        out.fill(0);
        return;
    }
    const uint32_t set = static_cast<uint32_t>(graphicsSet);
    const uint32_t t = static_cast<uint32_t>(tile);
    const bool upper = t >= 64;
    const uint32_t attribute = Attributes + t + (upper ? 64 * set : 0);
    const uint32_t base = MapPalettes + 0x10 * set + (rom.ReadByte(attribute) & 3u) * 4;
    // The four colours of the tile's sub-palette, indexed by pixel value. Colour numbers
    // past the table wrap as the console's palette memory does.
    uint32_t colours[4];
    for (uint32_t v = 0; v < 4; ++v) {
        colours[v] = rom.ColourTable[rom.ReadByte(base + v) & 0x3F];
    }
    // Two neighbouring pixels at a time: index = their two first-plane bits | their two
    // second-plane bits << 2, the left pixel in the higher bit of each pair.
    uint32_t pairs[16][2];
    for (uint32_t i = 0; i < 16; ++i) {
        pairs[i][0] = colours[((i >> 1) & 1u) | ((i >> 2) & 2u)];
        pairs[i][1] = colours[(i & 1u) | ((i >> 1) & 2u)];
    }
    for (uint32_t k = 0; k < 4; ++k) {
        const uint32_t quarter = QuarterTables + t + 64 * k + (upper ? 0xC0 + 256 * set : 0);
        const uint32_t g = rom.ReadByte(quarter);
        const uint32_t pattern = Patterns + 16 * g + (g >= 128 ? 0x800 * set : 0);
        uint32_t* pixel = out.data() + 8 * (k / 2) * TileSize + 8 * (k % 2);
        for (uint32_t r = 0; r < 8; ++r, pixel += TileSize) {
            // The first plane gives the low bit of a pixel, the second the high bit; bit 7
            // is the leftmost pixel.
            const uint32_t lo = rom.ReadByte(pattern + r);
            const uint32_t hi = rom.ReadByte(pattern + 8 + r);
            for (uint32_t j = 0; j < 8; j += 2) {
                const uint32_t shift = 6 - j;
                const uint32_t index = ((lo >> shift) & 3u) | (((hi >> shift) & 3u) << 2);
                std::memcpy(pixel + j, pairs[index], sizeof pairs[index]);
            }
        }
    }
}

void RenderMetatileSet(const CRomImage& rom, int mapId, MetatilePixels& out) {
    const int set = GraphicsSetOf(mapId);
    for (int t = 0; t < TileCount; ++t) {
        RenderMetatile(rom, set, t, out[static_cast<std::size_t>(t)]);
    }
}

void RenderMetatiles(const CRomImage& rom, int mapId, const TileMask& which, MetatilePixels& out) {
    const int set = GraphicsSetOf(mapId);
    for (int t = 0; t < TileCount; ++t) {
        if (which.test(static_cast<std::size_t>(t))) {
            RenderMetatile(rom, set, t, out[static_cast<std::size_t>(t)]);
        }
    }
}

} // namespace gfx
