#include "tests/support/RomBuilder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>

#include "text/TextTable.h"

namespace testsupport {

namespace {

// The ROM format written out here on purpose rather than taken from the editor's
// headers, so a wrong constant there shows up as a failing test.
constexpr uint32_t kRegion = 0xD010;
constexpr uint32_t kRowData = 0xD810;
constexpr uint32_t kRowDataEnd = 0x13410;
constexpr uint32_t kNames = 0x3D475;
constexpr uint32_t kRecords = 0x60010;
constexpr uint32_t kGold = 0x61C68;
constexpr uint32_t kExp = 0x21D92;

void PutWord(CRomImage& rom, uint32_t at, uint16_t value) {
    rom.RomBytes[at] = static_cast<uint8_t>(value & 0xFF);
    rom.RomBytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put(CRomImage& rom, uint32_t at, const std::vector<uint8_t>& bytes) {
    if (!bytes.empty()) {
        std::memcpy(rom.RomBytes + at, bytes.data(), bytes.size());
    }
}

void CodeRow(const uint8_t* row, int maxRun, std::vector<uint8_t>& out) {
    int x = 0;
    while (x < 256) {
        int n = 1;
        while (x + n < 256 && row[x + n] == row[x] && n < maxRun) {
            ++n;
        }
        if (n == 1) {
            out.push_back(row[x]);
        } else {
            out.push_back(static_cast<uint8_t>(row[x] + 0x80));
            out.push_back(static_cast<uint8_t>(n == 256 ? 0 : n));
        }
        x += n;
    }
}

} // namespace

Grid UniformGrid(uint8_t tile) {
    return Grid(GridCells, tile);
}

Grid StripedGrid(uint8_t firstTile) {
    Grid g(GridCells);
    for (int y = 0; y < 256; ++y) {
        std::memset(&g[static_cast<std::size_t>(y) * 256], (firstTile + y) % 128, 256);
    }
    return g;
}

Grid RandomGrid(uint32_t seed, int maxRun, int repeatPercent, int tileKinds) {
    std::mt19937 rng(seed);
    Grid g(GridCells);
    const int kinds = tileKinds < 1 ? 1 : (tileKinds > 128 ? 128 : tileKinds);
    const int firstTile = static_cast<int>(rng() % static_cast<uint32_t>(129 - kinds));
    for (int y = 0; y < 256; ++y) {
        uint8_t* row = &g[static_cast<std::size_t>(y) * 256];
        if (y > 0 && static_cast<int>(rng() % 100) < repeatPercent) {
            std::memcpy(row, &g[static_cast<std::size_t>(rng() % static_cast<uint32_t>(y)) * 256],
                        256);
            continue;
        }
        int x = 0;
        while (x < 256) {
            int run = 1 + static_cast<int>(rng() % static_cast<uint32_t>(maxRun < 1 ? 1 : maxRun));
            uint8_t tile = static_cast<uint8_t>(firstTile + static_cast<int>(rng() % kinds));
            for (; run > 0 && x < 256; --run) {
                row[x++] = tile;
            }
        }
    }
    return g;
}

Grid WorstCaseGrid(uint32_t seed) {
    std::mt19937 rng(seed);
    uint8_t pattern[256];
    for (int x = 0; x < 256; ++x) {
        do {
            pattern[x] = static_cast<uint8_t>(rng() % 128);
        } while (x > 0 && pattern[x] == pattern[x - 1]);
    }
    // Every row is the same pattern but for its last two tiles, which are unique per row:
    // the duplicate search then compares 254 bytes with every earlier row.
    Grid g(GridCells);
    for (int y = 0; y < 256; ++y) {
        uint8_t* row = &g[static_cast<std::size_t>(y) * 256];
        std::memcpy(row, pattern, 254);
        int a = y / 127;
        if (a >= pattern[253]) {
            ++a; // skip the value of the tile before it
        }
        int b = y % 127;
        if (b >= a) {
            ++b;
        }
        row[254] = static_cast<uint8_t>(a);
        row[255] = static_cast<uint8_t>(b);
    }
    return g;
}

void CodeMap(const Grid& grid, RowCoding coding, std::vector<uint8_t>& data,
             std::array<uint16_t, 256>& offsets) {
    data.clear();
    std::map<std::vector<uint8_t>, uint16_t> seen;
    for (int y = 0; y < 256; ++y) {
        const uint8_t* row = &grid[static_cast<std::size_t>(y) * 256];
        std::vector<uint8_t> key(row, row + 256);
        if (coding.shareRows) {
            auto it = seen.find(key);
            if (it != seen.end()) {
                offsets[static_cast<std::size_t>(y)] = it->second;
                continue;
            }
        }
        offsets[static_cast<std::size_t>(y)] = static_cast<uint16_t>(data.size());
        seen.emplace(std::move(key), static_cast<uint16_t>(data.size()));
        CodeRow(row, coding.maxRun < 1 ? 1 : coding.maxRun, data);
    }
}

RomBuilder::RomBuilder() : start_(kRowData) {
    maps_.fill(UniformGrid(0));
}

RomBuilder& RomBuilder::Map(int mapId, const Grid& grid) {
    maps_[static_cast<std::size_t>(mapId)] = grid;
    return *this;
}

RomBuilder& RomBuilder::Coding(RowCoding coding) {
    coding_ = coding;
    return *this;
}

RomBuilder& RomBuilder::MapsStartAt(uint32_t offset) {
    start_ = offset;
    freeBytes_ = -1;
    return *this;
}

RomBuilder& RomBuilder::FreeBytes(int count) {
    freeBytes_ = count;
    return *this;
}

RomBuilder& RomBuilder::FreeFill(uint8_t value) {
    freeFill_ = value;
    return *this;
}

RomBuilder& RomBuilder::Quarter(int tile, int set, int quarter, uint8_t pattern) {
    const uint32_t t = static_cast<uint32_t>(tile);
    const uint32_t k = static_cast<uint32_t>(quarter);
    const uint32_t at = t < 64 ? 0x10 + t + 0x40 * k
                               : 0x110 + 0x100 * static_cast<uint32_t>(set) + (t - 64) + 0x40 * k;
    graphics_.push_back({at, {pattern}});
    return *this;
}

RomBuilder& RomBuilder::Attribute(int tile, int set, uint8_t value) {
    const uint32_t t = static_cast<uint32_t>(tile);
    const uint32_t at = t < 64 ? 0x410 + t : 0x450 + 0x40 * static_cast<uint32_t>(set) + (t - 64);
    graphics_.push_back({at, {value}});
    return *this;
}

RomBuilder& RomBuilder::Palette(int set, const std::array<uint8_t, 16>& colours) {
    graphics_.push_back(
        {0x1650 + 0x10 * static_cast<uint32_t>(set), {colours.begin(), colours.end()}});
    return *this;
}

RomBuilder& RomBuilder::PatternBytes(int g, int set, const std::array<uint8_t, 16>& bytes) {
    const uint32_t at = 0x14C10 + 16 * static_cast<uint32_t>(g) +
                        (g >= 128 ? 0x800 * static_cast<uint32_t>(set) : 0);
    graphics_.push_back({at, {bytes.begin(), bytes.end()}});
    return *this;
}

RomBuilder& RomBuilder::PatternPixels(int g, int set, const std::array<uint8_t, 64>& pixels) {
    std::array<uint8_t, 16> bytes{};
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) {
            const uint8_t v = pixels[static_cast<std::size_t>(r * 8 + c)];
            const uint8_t bit = static_cast<uint8_t>(0x80 >> c);
            if (v & 1) {
                bytes[static_cast<std::size_t>(r)] |= bit;
            }
            if (v & 2) {
                bytes[static_cast<std::size_t>(8 + r)] |= bit;
            }
        }
    }
    return PatternBytes(g, set, bytes);
}

RomBuilder& RomBuilder::Colour(int index, uint32_t bgr) {
    colours_.push_back({index, bgr});
    return *this;
}

RomBuilder& RomBuilder::EnemyName(int index, const std::string& name) {
    names_.push_back({index, name});
    return *this;
}

RomBuilder& RomBuilder::EnemyNameBytes(const std::vector<uint8_t>& bytes) {
    nameBytes_ = bytes;
    rawNames_ = true;
    return *this;
}

RomBuilder& RomBuilder::EnemyRecord(int index, const std::array<uint8_t, 16>& record) {
    enemyData_.push_back(
        {kRecords + 16 * static_cast<uint32_t>(index), {record.begin(), record.end()}});
    return *this;
}

RomBuilder& RomBuilder::Gold(int index, uint16_t value) {
    enemyData_.push_back({kGold + 2 * static_cast<uint32_t>(index),
                          {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)}});
    return *this;
}

RomBuilder& RomBuilder::Exp(int index, uint16_t value) {
    enemyData_.push_back({kExp + 2 * static_cast<uint32_t>(index),
                          {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)}});
    return *this;
}

RomBuilder& RomBuilder::Poke(uint32_t offset, const std::vector<uint8_t>& bytes) {
    pokes_.push_back({offset, bytes});
    return *this;
}

RomBuilder& RomBuilder::Word(uint32_t offset, uint16_t value) {
    return Poke(offset, {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)});
}

RomBuilder& RomBuilder::WithoutTextTable() {
    textTable_ = false;
    return *this;
}

std::unique_ptr<CRomImage> RomBuilder::Build() const {
    auto rom = std::make_unique<CRomImage>();
    text::BuildTextTable(*rom);

    std::array<std::vector<uint8_t>, 4> data;
    std::array<std::array<uint16_t, 256>, 4> offsets;
    std::size_t total = 0;
    for (std::size_t m = 0; m < 4; ++m) {
        CodeMap(maps_[m], coding_, data[m], offsets[m]);
        total += data[m].size();
    }
    uint32_t at = start_;
    if (freeBytes_ >= 0) {
        if (total + static_cast<std::size_t>(freeBytes_) > kRowDataEnd - kRowData) {
            return nullptr;
        }
        at = kRowDataEnd - static_cast<uint32_t>(freeBytes_) - static_cast<uint32_t>(total);
    }
    if (at < kRowData || at + total > kRowDataEnd) {
        return nullptr;
    }
    for (std::size_t m = 0; m < 4; ++m) {
        starts_[m] = at;
        Put(*rom, at, data[m]);
        for (std::size_t r = 0; r < 256; ++r) {
            PutWord(*rom, kRegion + 0x200 * static_cast<uint32_t>(m) + 2 * static_cast<uint32_t>(r),
                    static_cast<uint16_t>(at - kRegion + offsets[m][r]));
        }
        at += static_cast<uint32_t>(data[m].size());
    }
    dataEnd_ = at;
    std::memset(rom->RomBytes + at, freeFill_, kRowDataEnd - at);

    for (const auto& [offset, bytes] : graphics_) {
        Put(*rom, offset, bytes);
    }
    for (const auto& [index, bgr] : colours_) {
        rom->ColourTable[index] = bgr;
    }

    std::vector<uint8_t> names = nameBytes_;
    if (!rawNames_ && !names_.empty()) {
        int count = 0;
        for (const auto& entry : names_) {
            count = std::max(count, entry.first + 1);
        }
        std::vector<std::string> texts(static_cast<std::size_t>(count));
        for (const auto& [index, name] : names_) {
            texts[static_cast<std::size_t>(index)] = name;
        }
        for (const std::string& name : texts) {
            for (char c : name) {
                int code = -1;
                for (int b = 1; b < 256 && code < 0; ++b) {
                    if (rom->TextTable[b][0] == c && rom->TextTable[b][1] == 0) {
                        code = b;
                    }
                }
                if (code < 0) {
                    return nullptr;
                }
                names.push_back(static_cast<uint8_t>(code));
            }
            names.push_back(0);
        }
    }
    Put(*rom, kNames, names);
    for (const auto& [offset, bytes] : enemyData_) {
        Put(*rom, offset, bytes);
    }
    for (const auto& [offset, bytes] : pokes_) {
        Put(*rom, offset, bytes);
    }
    if (!textTable_) {
        std::memset(rom->TextTable, 0, sizeof rom->TextTable);
    }
    return rom;
}

bool WriteFile(const std::string& path, const uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    out.clear();
    uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        out.insert(out.end(), chunk, chunk + n);
    }
    std::fclose(f);
    return true;
}

} // namespace testsupport
