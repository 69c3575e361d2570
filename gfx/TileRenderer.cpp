#include "gfx/TileRenderer.h"

namespace gfx {

void RenderMetatile(const CRomImage& rom, int graphicsSet, int tile, TilePixels& out) {
    const uint32_t set = static_cast<uint32_t>(graphicsSet);
    const uint32_t t = static_cast<uint32_t>(tile);
    const bool upper = t >= 64;
    const uint32_t attribute = Attributes + t + (upper ? 64 * set : 0);
    const uint32_t base = (rom.ReadByte(attribute) & 3u) * 4;
    const uint32_t palette = MapPalettes + 0x10 * set;
    for (uint32_t k = 0; k < 4; ++k) {
        const uint32_t quarter = QuarterTables + t + 64 * k + (upper ? 0xC0 + 256 * set : 0);
        const uint32_t g = rom.ReadByte(quarter);
        const uint32_t pattern = Patterns + 16 * g + (g >= 128 ? 0x800 * set : 0);
        const int x0 = 8 * static_cast<int>(k % 2);
        const int y0 = 8 * static_cast<int>(k / 2);
        for (uint32_t r = 0; r < 8; ++r) {
            const uint8_t lo = rom.ReadByte(pattern + r);
            const uint8_t hi = rom.ReadByte(pattern + 8 + r);
            for (int j = 0; j < 8; ++j) {
                const uint32_t v = ((lo >> (7 - j)) & 1u) | (((hi >> (7 - j)) & 1u) << 1);
                // Colour numbers past the table wrap as the console's palette memory does.
                const uint8_t colour = rom.ReadByte(palette + base + v) & 0x3F;
                out[static_cast<std::size_t>((y0 + static_cast<int>(r)) * TileSize + x0 + j)] =
                    rom.ColourTable[colour];
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

} // namespace gfx
