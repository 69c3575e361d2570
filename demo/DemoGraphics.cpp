// Tile graphics of the demo image: 2-bit patterns drawn here as text ('.' is pixel value
// 0, '1' to '3' the others), the tile tables that put them together and one palette per
// graphics set, so the same terrain reads as sky islands, open sea or sea floor.
#include <cstring>
#include <string>

#include "demo/DemoParts.h"
#include "gfx/TileRenderer.h"

namespace demo {

namespace {

constexpr int GraphicsSets = 3;
constexpr uint32_t PatternSize = 16;
constexpr uint32_t SetPatternBlock = 0x800; // patterns 128 to 255, one block per set
constexpr uint32_t SetQuarterBlock = 0x100; // quarter tables of tiles 64 to 127
constexpr uint32_t SetAttributeBlock = 0x40;
constexpr int SharedTiles = 64;

using Art8 = const char* [8];
using Art16 = const char* [16];

// Shared patterns, numbers 0 to 127.
enum Pattern : uint8_t {
    WaveA,
    WaveB,
    Ripple,
    GrassA,
    GrassB,
    SandA,
    SandB,
    Flow,
    HillPattern,
    SnowPattern,
    Marsh,
    Pebbles,
    MountainTL, // four quarters of one drawing each, in the order TL, TR, BL, BR
    TownTL = MountainTL + 4,
    ForestTL = TownTL + 4,
    SharedPatternsEnd = ForestTL + 4,
};

// Per-set patterns, numbers 128 and up.
enum SetPattern : uint8_t {
    CastleTL = 128,
    CaveTL = CastleTL + 4,
    TowerTL = CaveTL + 4,
    LandmarkTL = TowerTL + 4,
};

constexpr Art8 WaveAArt = {"........", "..33....", ".3..3..3", "........",
                           "........", "......33", ".3...3..", "........"};
constexpr Art8 WaveBArt = {"........", "......33", "3....3..", "........",
                           "..33....", ".3..3...", "........", "........"};
constexpr Art8 RippleArt = {"11111111", "11311111", "11111111", "11111131",
                            "12111111", "11111111", "11113111", "11111111"};
constexpr Art8 GrassAArt = {"........", "..1.....", ".1.1....", "........",
                            ".....2..", "....1.1.", "........", "........"};
constexpr Art8 GrassBArt = {"........", ".....1..", "....1.1.", "........",
                            ".2......", "1.1.....", "........", "........"};
constexpr Art8 SandAArt = {"........", "...1....", "........", "......1.",
                           ".1......", "........", "....1...", "........"};
constexpr Art8 SandBArt = {"........", "........", "..1111..", ".1....1.",
                           "........", "......11", "11......", "........"};
constexpr Art8 FlowArt = {"11111111", "13311111", "11133111", "11111331",
                          "11111111", "31111133", "13311111", "11111111"};
constexpr Art8 HillArt = {"........", "........", "..222...", ".21112..",
                          "2111111.", "........", "........", "........"};
constexpr Art8 SnowArt = {"22222222", "22221222", "22222222", "21222222",
                          "22222212", "22222222", "22122222", "22222222"};
constexpr Art8 MarshArt = {"........", ".11.....", "1221.3..", ".11..3..",
                           ".....3..", "...11...", "..1221..", "...11..."};
constexpr Art8 PebblesArt = {"........", ".3......", "........", "....3...",
                             "........", "..1...1.", "........", "......3."};

constexpr Art16 MountainArt = {
    "................", ".......33.......", "......3223......", ".....332221.....",
    ".....3322211....", "....333221111...", "....333321111...", "...33333311111..",
    "...33333311111..", "..3333333111111.", "..3333333111111.", ".333333331111111",
    ".333333331111111", "3333333331111111", "................", "................",
};
constexpr Art16 TownArt = {
    "................", "..111......111..", ".11111....11111.", "1111111..1111111",
    ".22222....22222.", ".22322....22322.", ".22322....22322.", "................",
    "......111.......", ".....11111......", "....1111111.....", ".....22222......",
    ".....22322......", ".....22322......", "................", "................",
};
constexpr Art16 ForestArt = {
    "..1111......11..", ".112211....1121.", "11222111..112211", "11122111..111211",
    ".111111....1111.", "...33.......33..", "...33..1111.33..", ".......12211....",
    "..11..1222111...", ".1121.1112111...", "112211.11111..11", "111211...33..112",
    ".1111....33..111", "..33...........3", "..33............", "................",
};
constexpr Art16 CastleArt = {
    "................", "..1..........1..", "..11.........11.", "..3...........3.",
    ".333.3.3.3.3.333", ".323.3333333.323", ".323322222223323", ".322222222222223",
    ".322222333222223", ".322222333222223", ".322222333222223", ".333333333333333",
    "................", "................", "................", "................",
};
constexpr Art16 DomeArt = {
    "................", "......2222......", "....22222222....", "...2221122222...",
    "..222222222222..", "..222222222222..", ".33333333333333.", ".32323232323232.",
    ".33333333333333.", "................", "...222.....222..", "..22222...22222.",
    ".3333333.3333333", ".3232323.3232323", ".3333333.3333333", "................",
};
constexpr Art16 CaveArt = {
    "................", "......1111......", "....11111111....", "...1111111111...",
    "..111113311111..", "..111333333111..", ".11113333333111.", ".11133333333311.",
    ".11133333333311.", "1111333333333111", "1111333333333111", "................",
    "................", "................", "................", "................",
};
constexpr Art16 TowerArt = {
    ".......1........", "......111.......", ".....11111......", "....1111111.....",
    ".....22222......", ".....22322......", ".....22222......", ".....22322......",
    ".....22222......", ".....22322......", ".....22222......", "....2222222.....",
    "....2223222.....", "...333333333....", "................", "................",
};
constexpr Art16 CloudArt = {
    "................", "................", ".....222........", "...2222222.22...",
    "..222222222222..", ".22222222222222.", ".21111222222112.", "..111111111111..",
    "................", "................", "........222.....", "......2222222...",
    ".....222222222..", "......1111111...", "................", "................",
};
constexpr Art16 ShipArt = {
    "................", ".......3........", ".......32.......", ".......322......",
    ".......3222.....", "......23222.....", ".....223222.....", "....2223222.....",
    "...22223........", ".......3........", "3333333333333333", ".33333333333333.",
    "..333333333333..", "................", "..33.......33...", "................",
};
constexpr Art16 CoralArt = {
    "................", "..1.....1...1...", "..1..1..1..1....", "...1.1..1.1..1..",
    "...111.11.1.11..", "....11.1111.1...", "..1..1111111....", "...1..1111..1...",
    "....1111111.1...", ".....11111111...", "......1111......", ".......11.......",
    "......3333......", ".....333333.....", "................", "................",
};

template <std::size_t N> constexpr bool Drawn(const char* const (&art)[N], std::size_t width) {
    for (const char* row : art) {
        if (std::char_traits<char>::length(row) != width) {
            return false;
        }
    }
    return true;
}
static_assert(Drawn(WaveAArt, 8) && Drawn(WaveBArt, 8) && Drawn(RippleArt, 8) &&
              Drawn(GrassAArt, 8) && Drawn(GrassBArt, 8) && Drawn(SandAArt, 8) &&
              Drawn(SandBArt, 8) && Drawn(FlowArt, 8) && Drawn(HillArt, 8) && Drawn(SnowArt, 8) &&
              Drawn(MarshArt, 8) && Drawn(PebblesArt, 8));
static_assert(Drawn(MountainArt, 16) && Drawn(TownArt, 16) && Drawn(ForestArt, 16) &&
              Drawn(CastleArt, 16) && Drawn(DomeArt, 16) && Drawn(CaveArt, 16) &&
              Drawn(TowerArt, 16) && Drawn(CloudArt, 16) && Drawn(ShipArt, 16) &&
              Drawn(CoralArt, 16));

// A tile: its four quarter patterns and its sub-palette.
struct TileDef {
    uint8_t quarters[4];
    uint8_t subPalette;
};

constexpr uint8_t Quad(uint8_t first, int k) {
    return static_cast<uint8_t>(first + k);
}

// Tiles 0 to 11, in the order of the Tile numbers.
constexpr TileDef SharedTerrain[] = {
    {{WaveA, WaveB, WaveB, WaveA}, 0},     // sea
    {{Ripple, Ripple, Ripple, Ripple}, 0}, // shallows
    {{GrassA, GrassB, GrassB, GrassA}, 1}, // grass
    {{Quad(ForestTL, 0), Quad(ForestTL, 1), Quad(ForestTL, 2), Quad(ForestTL, 3)}, 1},
    {{Quad(MountainTL, 0), Quad(MountainTL, 1), Quad(MountainTL, 2), Quad(MountainTL, 3)}, 2},
    {{SandA, SandB, SandB, SandA}, 2}, // desert
    {{Flow, Flow, Flow, Flow}, 0},     // river
    {{Quad(TownTL, 0), Quad(TownTL, 1), Quad(TownTL, 2), Quad(TownTL, 3)}, 3},
    {{HillPattern, HillPattern, HillPattern, HillPattern}, 1},
    {{SnowPattern, SnowPattern, SnowPattern, SnowPattern}, 2},
    {{Marsh, GrassA, GrassB, Marsh}, 1},   // swamp
    {{Pebbles, SandA, SandA, Pebbles}, 2}, // beach
};
constexpr int SharedTerrainCount = static_cast<int>(sizeof SharedTerrain / sizeof SharedTerrain[0]);

// Colours per graphics set: sub-palettes water, plants, earth, buildings.
constexpr uint8_t SetPalettes[GraphicsSets][16] = {
    {0x11, 0x21, 0x30, 0x12, 0x2A, 0x1A, 0x3A, 0x07, 0x37, 0x17, 0x30, 0x07, 0x2A, 0x16, 0x30,
     0x0F},
    {0x01, 0x21, 0x30, 0x11, 0x19, 0x09, 0x29, 0x07, 0x27, 0x17, 0x30, 0x0F, 0x19, 0x16, 0x30,
     0x0F},
    {0x02, 0x12, 0x31, 0x01, 0x1C, 0x0A, 0x2B, 0x0C, 0x3C, 0x1C, 0x31, 0x0C, 0x1C, 0x15, 0x3C,
     0x0F},
};

uint32_t PatternOffset(int set, int g) {
    return gfx::Patterns + PatternSize * static_cast<uint32_t>(g) +
           (g >= 128 ? SetPatternBlock * static_cast<uint32_t>(set) : 0);
}

// Stores the rows of an 8 x 8 drawing (columns x0 to x0 + 7, rows y0 to y0 + 7 of `art`).
void WritePattern(CRomImage& rom, uint32_t at, const char* const* art, int x0, int y0) {
    for (int r = 0; r < 8; ++r) {
        uint8_t lo = 0;
        uint8_t hi = 0;
        for (int j = 0; j < 8; ++j) {
            const char c = art[y0 + r][x0 + j];
            const int v = c >= '1' && c <= '3' ? c - '0' : 0;
            lo = static_cast<uint8_t>(lo | ((v & 1) << (7 - j)));
            hi = static_cast<uint8_t>(hi | (((v >> 1) & 1) << (7 - j)));
        }
        rom.WriteByte(at + static_cast<uint32_t>(r), lo);
        rom.WriteByte(at + 8 + static_cast<uint32_t>(r), hi);
    }
}

void Write8(CRomImage& rom, int set, int g, const Art8& art) {
    WritePattern(rom, PatternOffset(set, g), art, 0, 0);
}

void Write16(CRomImage& rom, int set, int first, const Art16& art) {
    for (int k = 0; k < 4; ++k) {
        WritePattern(rom, PatternOffset(set, first + k), art, 8 * (k % 2), 8 * (k / 2));
    }
}

void WriteTile(CRomImage& rom, int set, int tile, const TileDef& def) {
    const bool upper = tile >= SharedTiles;
    const uint32_t t = static_cast<uint32_t>(tile);
    const uint32_t s = static_cast<uint32_t>(set);
    for (uint32_t k = 0; k < 4; ++k) {
        const uint32_t at =
            gfx::QuarterTables + t + 64 * k + (upper ? 0xC0 + SetQuarterBlock * s : 0);
        rom.WriteByte(at, def.quarters[k]);
    }
    const uint32_t attribute = gfx::Attributes + t + (upper ? SetAttributeBlock * s : 0);
    rom.WriteByte(attribute, def.subPalette);
}

// Tiles the maps do not use still get a picture: a terrain drawing in other colours.
TileDef Spare(int tile) {
    const int n = tile % SharedTiles;
    TileDef def = SharedTerrain[n % SharedTerrainCount];
    def.subPalette = static_cast<uint8_t>((def.subPalette + 1 + n / SharedTerrainCount) % 4);
    return def;
}

void WriteSharedGraphics(CRomImage& rom) {
    Write8(rom, 0, WaveA, WaveAArt);
    Write8(rom, 0, WaveB, WaveBArt);
    Write8(rom, 0, Ripple, RippleArt);
    Write8(rom, 0, GrassA, GrassAArt);
    Write8(rom, 0, GrassB, GrassBArt);
    Write8(rom, 0, SandA, SandAArt);
    Write8(rom, 0, SandB, SandBArt);
    Write8(rom, 0, Flow, FlowArt);
    Write8(rom, 0, HillPattern, HillArt);
    Write8(rom, 0, SnowPattern, SnowArt);
    Write8(rom, 0, Marsh, MarshArt);
    Write8(rom, 0, Pebbles, PebblesArt);
    Write16(rom, 0, MountainTL, MountainArt);
    Write16(rom, 0, TownTL, TownArt);
    Write16(rom, 0, ForestTL, ForestArt);
    for (int t = 0; t < SharedTiles; ++t) {
        WriteTile(rom, 0, t, t < SharedTerrainCount ? SharedTerrain[t] : Spare(t));
    }
}

void WriteSetGraphics(CRomImage& rom, int set) {
    Write16(rom, set, CastleTL, set == 2 ? DomeArt : CastleArt);
    Write16(rom, set, CaveTL, CaveArt);
    Write16(rom, set, TowerTL, TowerArt);
    const Art16* landmark[GraphicsSets] = {&CloudArt, &ShipArt, &CoralArt};
    Write16(rom, set, LandmarkTL, *landmark[set]);

    const uint8_t landmarkPalette[GraphicsSets] = {0, 0, 3};
    const auto quad = [](int first) {
        return TileDef{{Quad(static_cast<uint8_t>(first), 0), Quad(static_cast<uint8_t>(first), 1),
                        Quad(static_cast<uint8_t>(first), 2), Quad(static_cast<uint8_t>(first), 3)},
                       0};
    };
    TileDef castle = quad(CastleTL);
    castle.subPalette = 3;
    TileDef cave = quad(CaveTL);
    cave.subPalette = 2;
    TileDef tower = quad(TowerTL);
    tower.subPalette = 3;
    TileDef mark = quad(LandmarkTL);
    mark.subPalette = landmarkPalette[set];
    WriteTile(rom, set, Castle, castle);
    WriteTile(rom, set, Cave, cave);
    WriteTile(rom, set, Tower, tower);
    WriteTile(rom, set, Landmark, mark);
    for (int t = Landmark + 1; t < gfx::TileCount; ++t) {
        WriteTile(rom, set, t, Spare(t + set));
    }
    std::memcpy(rom.RomBytes + gfx::MapPalettes + 0x10 * static_cast<uint32_t>(set),
                SetPalettes[set], sizeof SetPalettes[set]);
}

} // namespace

void WriteDemoGraphics(CRomImage& rom) {
    static_assert(SharedPatternsEnd <= 128);
    WriteSharedGraphics(rom);
    for (int set = 0; set < GraphicsSets; ++set) {
        WriteSetGraphics(rom, set);
    }
}

} // namespace demo
