#include "tiles/TileImport.h"

#include <algorithm>
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

// Quarter k of a tile's pixel values as pattern bytes: the first plane holds the low bits,
// bit 7 the leftmost pixel.
Key KeyOf(const TileValues& values, int k) {
    uint8_t bytes[PatternBytes];
    const uint8_t* row = values.data() + k / 2 * PatternSide * TileSide + k % 2 * PatternSide;
    for (int r = 0; r < PatternSide; ++r, row += TileSide) {
        unsigned lo = 0;
        unsigned hi = 0;
        for (int j = 0; j < PatternSide; ++j) {
            lo = lo << 1 | (row[j] & 1u);
            hi = hi << 1 | (row[j] >> 1 & 1u);
        }
        bytes[r] = static_cast<uint8_t>(lo);
        bytes[8 + r] = static_cast<uint8_t>(hi);
    }
    return KeyOf(bytes);
}

// A tile's pixel values (0 to 3) as set `set` draws it.
TileValues ValuesOf(const Tables& tables, int set, int tile) {
    TileValues values{};
    for (int k = 0; k < QuarterCount; ++k) {
        const uint8_t* p = tables.Pattern(set, tables.Quarter(set, tile, k));
        uint8_t* row = values.data() + k / 2 * PatternSide * TileSide + k % 2 * PatternSide;
        for (int r = 0; r < PatternSide; ++r, row += TileSide) {
            for (int j = 0; j < PatternSide; ++j) {
                row[j] = static_cast<uint8_t>((p[r] >> (7 - j) & 1) | (p[8 + r] >> (7 - j) & 1) << 1);
            }
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
    using Holders = std::bitset<PatternCount>;

    void Add(const Key& key, int g) { Slot(key).holders.set(static_cast<std::size_t>(g)); }
    void Remove(const Key& key, int g) { Slot(key).holders.reset(static_cast<std::size_t>(g)); }
    Holders Find(const Key& key) { return Slot(key).holders; }

  private:
    struct Entry {
        Key key;
        bool used = false;
        Holders holders;
    };
    static constexpr std::size_t Slots = 1024; // > 256 + 4 * 128
    Entry& Slot(const Key& key) {
        std::size_t i = static_cast<std::size_t>((key.a * 0x9E3779B97F4A7C15ull ^ key.b) *
                                                     0xC2B2AE3D27D4EB4Full >> 54) %
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

class Importer {
  public:
    Importer(const CRomImage& rom, int mapId, ImportReport& report)
        : rom_(rom), mapId_(mapId), set_(gfx::GraphicsSetOf(mapId)), report_(report),
          before_(rom), after_(rom) {
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
                colours_[k][v] = rom.ColourTable[rom.ReadByte(PaletteOffset(set_, 4 * k + v)) & 0x3F];
            }
        }
    }

    bool Tile(int t, const gfx::TilePixels& pixels);
    void Finish(ImportMode mode, CRomImage& rom);

  private:
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

bool Importer::Tile(int t, const gfx::TilePixels& pixels) {
    // The tile's distinct colours; a sub-palette holds four at most.
    std::array<uint32_t, 4> distinct{};
    std::size_t count = 0;
    std::array<uint8_t, TileSide * TileSide> colourOf{};
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        std::size_t j = 0;
        while (j < count && distinct[j] != pixels[i]) {
            ++j;
        }
        if (j == count) {
            if (count == distinct.size()) {
                return Fail(ImportStatus::BadColour, t, static_cast<int>(i), pixels[i]);
            }
            distinct[count++] = pixels[i];
        }
        colourOf[i] = static_cast<uint8_t>(j);
    }
    const auto fits = [&](int sub) {
        for (std::size_t j = 0; j < count; ++j) {
            if (!Holds(sub, distinct[j])) {
                return false;
            }
        }
        return true;
    };
    const int current = after_.Attribute(set_, t) & 3;
    int sub = current;
    for (int k = 0; !fits(sub); ++k) {
        if (k == 4) {
            // Name a pixel whose colour no sub-palette has, else one the tile's own lacks.
            std::size_t bad = 0;
            for (std::size_t i = 0; i < pixels.size(); ++i) {
                if (!Holds(0, pixels[i]) && !Holds(1, pixels[i]) && !Holds(2, pixels[i]) &&
                    !Holds(3, pixels[i])) {
                    bad = i;
                    break;
                }
                if (bad == 0 && !Holds(current, pixels[i])) {
                    bad = i;
                }
            }
            return Fail(ImportStatus::BadColour, t, static_cast<int>(bad), pixels[bad]);
        }
        sub = k;
    }
    if (sub != current) {
        uint8_t& attribute = after_.Attribute(set_, t);
        attribute = static_cast<uint8_t>((attribute & ~3u) | static_cast<unsigned>(sub));
    }
    // Where two values of the sub-palette show the same colour, the pixel keeps its value.
    std::array<unsigned, 4> matches{};
    std::array<uint8_t, 4> lowest{};
    for (std::size_t j = 0; j < count; ++j) {
        for (unsigned v = 4; v-- > 0;) {
            if (colours_[static_cast<std::size_t>(sub)][v] == distinct[j]) {
                matches[j] |= 1u << v;
                lowest[j] = static_cast<uint8_t>(v);
            }
        }
    }
    TileValues values = ValuesOf(after_, set_, t);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::size_t j = colourOf[i];
        if ((matches[j] >> values[i] & 1u) == 0) {
            values[i] = lowest[j];
        }
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
    PatternIndex::Holders holders = index_.Find(key);
    if (IsSharedTile(t)) {
        holders &= PatternIndex::Holders().set() >> SharedPatternCount;
    }
    if (holders.any()) {
        int to = 0;
        while (!holders.test(static_cast<std::size_t>(to))) {
            ++to;
        }
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
    const int set = gfx::GraphicsSetOf(mapId);
    gfx::TilePixels now;
    for (int t = 0; t < TileCount; ++t) {
        gfx::RenderMetatile(rom, set, t, now);
        report.changed.set(static_cast<std::size_t>(t), now != sheet[static_cast<std::size_t>(t)]);
    }
    if (report.changed.none()) {
        return report;
    }
    auto importer = std::make_unique<Importer>(rom, mapId, report);
    for (int t = 0; t < TileCount; ++t) {
        if (report.changed.test(static_cast<std::size_t>(t)) &&
            !importer->Tile(t, sheet[static_cast<std::size_t>(t)])) {
            return report;
        }
    }
    importer->Finish(mode, rom);
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
