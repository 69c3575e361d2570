#include "tiles/TileImport.h"

#include <algorithm>
#include <bit>
#include <bitset>
#include <cstring>
#include <memory>

#include "worldmap/RowCode.h"

namespace tiles {
namespace {

constexpr std::size_t Size(ByteRange range) {
    return range.end - range.begin;
}

// The bytes an import may change, copied out of the image: the import works on these and
// writes them back only when it succeeds.
struct Tables {
    std::array<uint8_t, Size(QuarterTableBytes)> quarters;
    std::array<uint8_t, Size(AttributeBytes)> attributes;
    std::array<uint8_t, Size(PatternTableBytes)> patterns;

    explicit Tables(const CRomImage& rom) {
        std::memcpy(quarters.data(), rom.RomBytes + QuarterTableBytes.begin, quarters.size());
        std::memcpy(attributes.data(), rom.RomBytes + AttributeBytes.begin, attributes.size());
        std::memcpy(patterns.data(), rom.RomBytes + PatternTableBytes.begin, patterns.size());
    }
    void WriteTo(CRomImage& rom) const {
        std::memcpy(rom.RomBytes + QuarterTableBytes.begin, quarters.data(), quarters.size());
        std::memcpy(rom.RomBytes + AttributeBytes.begin, attributes.data(), attributes.size());
        std::memcpy(rom.RomBytes + PatternTableBytes.begin, patterns.data(), patterns.size());
    }
    uint8_t& Quarter(int set, int tile, int k) {
        return quarters[QuarterOffset(set, tile, k) - QuarterTableBytes.begin];
    }
    uint8_t Quarter(int set, int tile, int k) const {
        return quarters[QuarterOffset(set, tile, k) - QuarterTableBytes.begin];
    }
    uint8_t& Attribute(int set, int tile) {
        return attributes[AttributeOffset(set, tile) - AttributeBytes.begin];
    }
    uint8_t Attribute(int set, int tile) const {
        return attributes[AttributeOffset(set, tile) - AttributeBytes.begin];
    }
    uint8_t* Pattern(int set, int g) {
        return patterns.data() + (PatternOffset(set, g) - PatternTableBytes.begin);
    }
    const uint8_t* Pattern(int set, int g) const {
        return patterns.data() + (PatternOffset(set, g) - PatternTableBytes.begin);
    }
};

// A pattern's 16 bytes as one value.
struct Key {
    uint64_t a = 0;
    uint64_t b = 0;
    friend bool operator==(const Key&, const Key&) = default;
};

Key KeyOf(const uint8_t* bytes) {
    Key key;
    std::memcpy(&key.a, bytes, 8);
    std::memcpy(&key.b, bytes + 8, 8);
    return key;
}

constexpr uint64_t EachByte = 0x0101010101010101ull;

// Eight pixels as one word, the first in the lowest byte whatever the machine's byte order.
uint64_t Load8(const uint8_t* bytes) {
    uint64_t word = 0;
    std::memcpy(&word, bytes, 8);
    if constexpr (std::endian::native == std::endian::big) {
        word = __builtin_bswap64(word);
    }
    return word;
}
void Store8(uint8_t* bytes, uint64_t word) {
    if constexpr (std::endian::native == std::endian::big) {
        word = __builtin_bswap64(word);
    }
    std::memcpy(bytes, &word, 8);
}

// Quarter k of a tile's pixel values as pattern bytes: the first plane holds the low bits,
// bit 7 the leftmost pixel. Eight pixels at a time: the multiplication gathers the low
// bit of each byte, the first byte's into bit 7.
Key KeyOf(const TileValues& values, int k) {
    uint8_t bytes[PatternBytes];
    const uint8_t* row = values.data() + k / 2 * PatternSide * TileSide + k % 2 * PatternSide;
    for (int r = 0; r < PatternSide; ++r, row += TileSide) {
        const uint64_t eight = Load8(row);
        bytes[r] = static_cast<uint8_t>((eight & EachByte) * 0x8040201008040201ull >> 56);
        bytes[8 + r] = static_cast<uint8_t>((eight >> 1 & EachByte) * 0x8040201008040201ull >> 56);
    }
    return KeyOf(bytes);
}

// The same from masks of one bit each (bit v for value v), as a sub-palette of four
// different colours gives: value bit 0 is mask bit 1 or 3, value bit 1 is mask bit 2 or 3.
Key KeyOfMasks(const std::array<uint8_t, TileSide * TileSide>& masks, int k) {
    uint8_t bytes[PatternBytes];
    const uint8_t* row = masks.data() + k / 2 * PatternSide * TileSide + k % 2 * PatternSide;
    for (int r = 0; r < PatternSide; ++r, row += TileSide) {
        const uint64_t eight = Load8(row);
        const uint64_t low = (eight >> 1 | eight >> 3) & EachByte;
        const uint64_t high = (eight >> 2 | eight >> 3) & EachByte;
        bytes[r] = static_cast<uint8_t>(low * 0x8040201008040201ull >> 56);
        bytes[8 + r] = static_cast<uint8_t>(high * 0x8040201008040201ull >> 56);
    }
    return KeyOf(bytes);
}

// Byte j of Spread[b] is bit 7 - j of b: a pattern row's pixels, leftmost first.
constexpr std::array<uint64_t, 256> Spread = [] {
    std::array<uint64_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        for (unsigned j = 0; j < 8; ++j) {
            table[b] |= static_cast<uint64_t>(b >> (7 - j) & 1u) << (8 * j);
        }
    }
    return table;
}();

// A tile's pixel values (0 to 3) as set `set` draws it.
TileValues ValuesOf(const Tables& tables, int set, int tile) {
    TileValues values{};
    for (int k = 0; k < QuarterCount; ++k) {
        const uint8_t* p = tables.Pattern(set, tables.Quarter(set, tile, k));
        uint8_t* row = values.data() + k / 2 * PatternSide * TileSide + k % 2 * PatternSide;
        for (int r = 0; r < PatternSide; ++r, row += TileSide) {
            const uint64_t eight = Spread[p[r]] | Spread[p[8 + r]] << 1;
            Store8(row, eight);
        }
    }
    return values;
}

TileLook LookOf(const Tables& tables, const CRomImage& rom, int set, int tile) {
    const TileValues values = ValuesOf(tables, set, tile);
    const uint32_t base = PaletteOffset(set, 0) + (tables.Attribute(set, tile) & 3u) * 4;
    TileLook look{};
    for (std::size_t i = 0; i < look.size(); ++i) {
        look[i] = static_cast<uint8_t>(rom.ReadByte(base + values[i]) & 0x3F);
    }
    return look;
}

// Which patterns (as one set sees them) hold which pixels: open addressing over every
// content an import can meet (256 at the start, at most one more per changed quarter).
class PatternIndex {
  public:
    // Bit g % 64 of word g / 64 for pattern g.
    using Holders = std::array<uint64_t, PatternCount / 64>;

    void Add(const Key& key, int g) { Slot(key).holders[Word(g)] |= Bit(g); }
    void Remove(const Key& key, int g) { Slot(key).holders[Word(g)] &= ~Bit(g); }
    // The lowest pattern holding `key`, below `end`; -1 if none.
    int Lowest(const Key& key, int end) {
        const Holders& holders = Slot(key).holders;
        for (int w = 0; w < end / 64; ++w) {
            if (holders[static_cast<std::size_t>(w)] != 0) {
                return 64 * w + std::countr_zero(holders[static_cast<std::size_t>(w)]);
            }
        }
        return -1;
    }

  private:
    static std::size_t Word(int g) { return static_cast<std::size_t>(g) / 64; }
    static uint64_t Bit(int g) { return uint64_t{1} << (static_cast<unsigned>(g) % 64); }
    struct Entry {
        Key key;
        bool used = false;
        Holders holders{};
    };
    static constexpr std::size_t Slots = 1024; // > 256 + 4 * 128
    Entry& Slot(const Key& key) {
        std::size_t i = static_cast<std::size_t>(
                            (key.a * 0x9E3779B97F4A7C15ull ^ key.b) * 0xC2B2AE3D27D4EB4Full >> 54) %
                        Slots;
        while (entries_[i].used && !(entries_[i].key == key)) {
            i = (i + 1) % Slots;
        }
        if (!entries_[i].used) {
            entries_[i].used = true;
            entries_[i].key = key;
        }
        return entries_[i];
    }
    std::vector<Entry> entries_ = std::vector<Entry>(Slots);
};

// Where two values of the sub-palette show a pixel's colour, the pixel keeps its value,
// else takes the lowest that shows it: entry mask * 4 + value (one lookup, no branch).
constexpr std::array<uint8_t, 64> Chosen = [] {
    std::array<uint8_t, 64> table{};
    for (unsigned m = 1; m < 16; ++m) {
        for (unsigned v = 0; v < 4; ++v) {
            table[m * 4 + v] = static_cast<uint8_t>((m >> v & 1u) != 0 ? v : std::countr_zero(m));
        }
    }
    return table;
}();

class Importer {
  public:
    Importer(const CRomImage& rom, int mapId, ImportReport& report)
        : rom_(rom), mapId_(mapId), set_(gfx::GraphicsSetOf(mapId)), report_(report), before_(rom),
          after_(rom) {
        // Uses as this set sees each pattern: a shared pattern's in every set, one of 128
        // to 255 by the shared tiles and this set's own.
        for (int t = 0; t < SharedTileCount; ++t) {
            for (int k = 0; k < QuarterCount; ++k) {
                ++uses_[before_.Quarter(0, t, k)];
            }
        }
        for (int s = 0; s < SetCount; ++s) {
            for (int t = SharedTileCount; t < TileCount; ++t) {
                for (int k = 0; k < QuarterCount; ++k) {
                    const int g = before_.Quarter(s, t, k);
                    if (IsSharedPattern(g) || s == set_) {
                        ++uses_[static_cast<std::size_t>(g)];
                    }
                }
            }
        }
        for (int g = 0; g < PatternCount; ++g) {
            content_[static_cast<std::size_t>(g)] = KeyOf(after_.Pattern(set_, g));
            index_.Add(content_[static_cast<std::size_t>(g)], g);
        }
        for (int k = 0; k < 4; ++k) {
            for (int v = 0; v < 4; ++v) {
                colours_[k][v] =
                    rom.ColourTable[rom.ReadByte(PaletteOffset(set_, 4 * k + v)) & 0x3F];
            }
        }
    }

    bool Tile(int t, const gfx::TilePixels& pixels);
    void Finish(ImportMode mode, CRomImage& rom);

  private:
    using Masks = std::array<uint8_t, TileSide * TileSide>;
    // Fills each pixel's mask of the values of sub-palette `sub` that show its colour;
    // whether every pixel has one.
    bool Matches(int sub, const gfx::TilePixels& pixels, Masks& masks) const;
    // Whether every pixel's mask holds the value the tile has there now.
    bool LooksAsNow(int t, const Masks& masks) const;
    bool Fail(ImportStatus status, int tile, int i = 0, uint32_t colour = 0) {
        report_.status = status;
        report_.tile = tile;
        report_.x = i % TileSide;
        report_.y = i / TileSide;
        report_.colour = colour;
        return false;
    }
    bool Holds(int sub, uint32_t colour) const {
        const auto& c = colours_[static_cast<std::size_t>(sub)];
        return c[0] == colour || c[1] == colour || c[2] == colour || c[3] == colour;
    }
    bool Quarter(int t, int k, const Key& key);
    void Repoint(int t, int k, int from, int to) {
        --uses_[static_cast<std::size_t>(from)];
        ++uses_[static_cast<std::size_t>(to)];
        after_.Quarter(set_, t, k) = static_cast<uint8_t>(to);
    }
    void Rewrite(int g, const Key& key) {
        auto& held = content_[static_cast<std::size_t>(g)];
        index_.Remove(held, g);
        held = key;
        index_.Add(key, g);
        uint8_t* bytes = after_.Pattern(set_, g);
        std::memcpy(bytes, &key.a, 8);
        std::memcpy(bytes + 8, &key.b, 8);
    }

    const CRomImage& rom_;
    int mapId_;
    int set_;
    ImportReport& report_;
    Tables before_;
    Tables after_;
    std::array<int, PatternCount> uses_{};
    std::array<Key, PatternCount> content_{};
    PatternIndex index_;
    std::array<std::array<uint32_t, 4>, 4> colours_{};
    std::bitset<PatternCount> rewritten_;
};

bool Importer::Matches(int sub, const gfx::TilePixels& pixels, Masks& masks) const {
    // Locals only, so that nothing may alias and the loop vectorises.
    const std::array<uint32_t, 4> c = colours_[static_cast<std::size_t>(sub)];
    Masks local;
    uint8_t missing = 0;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const uint32_t p = pixels[i];
        const auto m = static_cast<uint8_t>((p == c[0] ? 1 : 0) | (p == c[1] ? 2 : 0) |
                                            (p == c[2] ? 4 : 0) | (p == c[3] ? 8 : 0));
        local[i] = m;
        missing |= m == 0 ? 1 : 0;
    }
    masks = local;
    return missing == 0;
}

bool Importer::LooksAsNow(int t, const Masks& masks) const {
    for (int k = 0; k < QuarterCount; ++k) {
        const uint8_t* p = before_.Pattern(set_, before_.Quarter(set_, t, k));
        const uint8_t* row = masks.data() + k / 2 * PatternSide * TileSide + k % 2 * PatternSide;
        for (int r = 0; r < PatternSide; ++r, row += TileSide) {
            // Eight pixels at a time: each value as a one-bit mask, met by the pixel's.
            const uint64_t low = Spread[p[r]];
            const uint64_t high = Spread[p[8 + r]];
            const uint64_t notLow = low ^ EachByte;
            const uint64_t notHigh = high ^ EachByte;
            const uint64_t value = (notLow & notHigh) | (low & notHigh) << 1 |
                                   (notLow & high) << 2 | (low & high) << 3;
            const uint64_t eight = Load8(row);
            const uint64_t met = value & eight;
            if (((met | met >> 1 | met >> 2 | met >> 3) & EachByte) != EachByte) {
                return false;
            }
        }
    }
    return true;
}

bool Importer::Tile(int t, const gfx::TilePixels& pixels) {
    // Each pixel's mask of the values whose colour it has, in the sub-palette kept.
    Masks masks;
    const int current = before_.Attribute(set_, t) & 3;
    int sub = current;
    bool fits = Matches(current, pixels, masks);
    if (fits && LooksAsNow(t, masks)) {
        return true;
    }
    report_.changed.set(static_cast<std::size_t>(t));
    for (int k = 0; !fits; ++k) {
        k += k == current ? 1 : 0;
        if (k >= 4) {
            // Name a pixel whose colour no sub-palette has, else one its own lacks.
            std::size_t bad = pixels.size();
            for (std::size_t i = 0; i < pixels.size(); ++i) {
                if (!Holds(0, pixels[i]) && !Holds(1, pixels[i]) && !Holds(2, pixels[i]) &&
                    !Holds(3, pixels[i])) {
                    bad = i;
                    break;
                }
                if (bad == pixels.size() && !Holds(current, pixels[i])) {
                    bad = i;
                }
            }
            return Fail(ImportStatus::BadColour, t, static_cast<int>(bad), pixels[bad]);
        }
        sub = k;
        fits = Matches(sub, pixels, masks);
    }
    if (sub != current) {
        uint8_t& attribute = after_.Attribute(set_, t);
        attribute = static_cast<uint8_t>((attribute & ~3u) | static_cast<unsigned>(sub));
    }
    const auto& c = colours_[static_cast<std::size_t>(sub)];
    if (c[0] != c[1] && c[0] != c[2] && c[0] != c[3] && c[1] != c[2] && c[1] != c[3] &&
        c[2] != c[3]) {
        // Each colour is one value: the masks are the pixels.
        for (int k = 0; k < QuarterCount; ++k) {
            if (!Quarter(t, k, KeyOfMasks(masks, k))) {
                return false;
            }
        }
        return true;
    }
    TileValues values = ValuesOf(after_, set_, t);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = Chosen[masks[i] * 4u + values[i]];
    }
    for (int k = 0; k < QuarterCount; ++k) {
        if (!Quarter(t, k, KeyOf(values, k))) {
            return false;
        }
    }
    return true;
}

bool Importer::Quarter(int t, int k, const Key& key) {
    const int g = after_.Quarter(set_, t, k);
    if (content_[static_cast<std::size_t>(g)] == key) {
        return true; // this quarter's pixels did not change
    }
    if (const int to = index_.Lowest(key, IsSharedTile(t) ? SharedPatternCount : PatternCount);
        to >= 0) {
        Repoint(t, k, g, to);
        return true;
    }
    if (uses_[static_cast<std::size_t>(g)] == 1 && TileCanUse(t, g)) {
        Rewrite(g, key);
        rewritten_.set(static_cast<std::size_t>(g));
        return true;
    }
    // A set's own tile takes from the set's own patterns first, so the shared ones, which
    // every set needs, last longest.
    const int first = IsSharedTile(t) ? 0 : SharedPatternCount;
    const int span = IsSharedTile(t) ? SharedPatternCount : PatternCount;
    for (int n = 0; n < span; ++n) {
        const int to = (first + n) % PatternCount;
        if (uses_[static_cast<std::size_t>(to)] == 0) {
            Rewrite(to, key);
            Repoint(t, k, g, to);
            report_.claimed.push_back({to, t});
            return true;
        }
    }
    return Fail(ImportStatus::NoFreePattern, t);
}

void Importer::Finish(ImportMode mode, CRomImage& rom) {
    report_.status = ImportStatus::Changed;
    for (int g = 0; g < PatternCount; ++g) {
        if (rewritten_.test(static_cast<std::size_t>(g))) {
            report_.rewritten.push_back(g);
        }
    }
    // The changed tiles look as the sheet shows them on every map of this set; a shared one
    // may look different in the other sets too. One such tile is enough to name a map.
    SetTiles looks{};
    looks[static_cast<std::size_t>(set_)] = report_.changed;
    for (int s = 0; s < SetCount; ++s) {
        for (int t = 0; s != set_ && t < SharedTileCount; ++t) {
            if (report_.changed.test(static_cast<std::size_t>(t)) &&
                LookOf(before_, rom_, s, t) != LookOf(after_, rom_, s, t)) {
                looks[static_cast<std::size_t>(s)].set(static_cast<std::size_t>(t));
                break;
            }
        }
    }
    for (int map : MapsShowing(looks)) {
        if (map != mapId_) {
            report_.otherMaps.push_back(map);
        }
    }
    if (mode == ImportMode::Apply) {
        after_.WriteTo(rom);
    }
}

} // namespace

ImportReport ImportTileSheet(CRomImage& rom, int mapId, const gfx::MetatilePixels& sheet,
                             ImportMode mode) {
    ImportReport report;
    // A tile whose pixels match its look is left alone; the others are taken in order.
    auto importer = std::make_unique<Importer>(rom, mapId, report);
    for (int t = 0; t < TileCount; ++t) {
        if (!importer->Tile(t, sheet[static_cast<std::size_t>(t)])) {
            return report;
        }
    }
    if (report.changed.any()) {
        importer->Finish(mode, rom);
    }
    return report;
}

std::array<TileUsage, TileCount> TileUsageTable(const CRomImage& rom, int mapId) {
    const int set = gfx::GraphicsSetOf(mapId);
    const TileModel model(rom);
    std::array<TileUsage, TileCount> table{};
    for (int t = 0; t < TileCount; ++t) {
        TileUsage& usage = table[static_cast<std::size_t>(t)];
        usage.subPalette = model.SubPalette(set, t);
        for (int k = 0; k < QuarterCount; ++k) {
            const int g = model.Quarter(set, t, k);
            usage.patterns[static_cast<std::size_t>(k)] = g;
            usage.sharers[static_cast<std::size_t>(k)] = model.UserTileCount(set, g) - 1;
        }
    }
    auto grid = std::make_unique<worldmap::Grid>();
    for (int map = 0; map < worldmap::MapCount; ++map) {
        worldmap::DecodeWorldMap(rom, map, *grid);
        for (uint8_t cell : *grid) {
            if (cell < TileCount) {
                ++table[cell].cells[static_cast<std::size_t>(map)];
            }
        }
    }
    return table;
}

} // namespace tiles
