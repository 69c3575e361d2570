#include "tests/support/RomBuilder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
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

uint8_t* Row(Grid& g, int y) {
    return &g[static_cast<std::size_t>(y) * 256];
}

void CodeRow(const uint8_t* row, int maxRun, std::vector<uint8_t>& out) {
    for (int x = 0, n = 1; x < 256; x += n, n = 1) {
        while (x + n < 256 && row[x + n] == row[x] && n < maxRun) {
            ++n;
        }
        if (n == 1) {
            out.push_back(row[x]);
        } else {
            out.push_back(static_cast<uint8_t>(row[x] + 0x80));
            out.push_back(static_cast<uint8_t>(n == 256 ? 0 : n));
        }
    }
}

// One map's data, with its 256 pointers relative to the data's start.
void CodeMap(const Grid& grid, RowCoding coding, std::vector<uint8_t>& data,
             std::array<uint16_t, 256>& offsets) {
    std::map<std::array<uint8_t, 256>, uint16_t> seen; // fixed-size keys keep GCC's -O3 quiet
    for (std::size_t y = 0; y < 256; ++y) {
        std::array<uint8_t, 256> row;
        std::copy_n(grid.begin() + static_cast<std::ptrdiff_t>(y * 256), 256, row.begin());
        const auto it = seen.find(row);
        if (coding.shareRows && it != seen.end()) {
            offsets[y] = it->second;
            continue;
        }
        offsets[y] = static_cast<uint16_t>(data.size());
        seen.emplace(row, offsets[y]);
        CodeRow(row.data(), std::max(coding.maxRun, 1), data);
    }
}

} // namespace

Grid UniformGrid(uint8_t tile) {
    return Grid(GridCells, tile);
}

Grid StripedGrid(uint8_t firstTile) {
    Grid g(GridCells);
    for (int y = 0; y < 256; ++y) {
        std::memset(Row(g, y), (firstTile + y) % 128, 256);
    }
    return g;
}

Grid RandomGrid(uint32_t seed, int maxRun, int repeatPercent, int tileKinds) {
    std::mt19937 rng(seed);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
    Grid g(GridCells);
    const int kinds = std::clamp(tileKinds, 1, 128);
    const int firstTile = pick(129 - kinds);
    for (int y = 0; y < 256; ++y) {
        if (y > 0 && pick(100) < repeatPercent) {
            std::memcpy(Row(g, y), Row(g, pick(y)), 256);
            continue;
        }
        for (int x = 0; x < 256;) {
            int run = 1 + pick(std::max(maxRun, 1));
            const uint8_t tile = static_cast<uint8_t>(firstTile + pick(kinds));
            for (; run > 0 && x < 256; --run) {
                Row(g, y)[x++] = tile;
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
    // The last two tiles make each row unique, skipping the value of the tile before them.
    Grid g(GridCells);
    for (int y = 0; y < 256; ++y) {
        std::memcpy(Row(g, y), pattern, 254);
        const int a = y / 127 + (y / 127 >= pattern[253] ? 1 : 0);
        const int b = y % 127 + (y % 127 >= a ? 1 : 0);
        Row(g, y)[254] = static_cast<uint8_t>(a);
        Row(g, y)[255] = static_cast<uint8_t>(b);
    }
    return g;
}

RomBuilder::RomBuilder() {
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

RomBuilder& RomBuilder::FreeBytes(int count) {
    freeBytes_ = count;
    return *this;
}

RomBuilder& RomBuilder::Quarter(int tile, int set, int quarter, uint8_t pattern) {
    const int at = tile < 64 ? 0x10 + tile : 0x110 + 0x100 * set + tile - 64;
    return Poke(static_cast<uint32_t>(at + 0x40 * quarter), {pattern});
}

RomBuilder& RomBuilder::Attribute(int tile, int set, uint8_t value) {
    const int at = tile < 64 ? 0x410 + tile : 0x450 + 0x40 * set + tile - 64;
    return Poke(static_cast<uint32_t>(at), {value});
}

RomBuilder& RomBuilder::Palette(int set, const std::array<uint8_t, 16>& colours) {
    return Poke(0x1650 + 0x10 * static_cast<uint32_t>(set), {colours.begin(), colours.end()});
}

RomBuilder& RomBuilder::PatternPixels(int g, int set, const std::array<uint8_t, 64>& pixels) {
    // Plane 0 (the low bit) in the first eight bytes; bit 7 is the leftmost pixel.
    std::vector<uint8_t> bytes(16);
    for (std::size_t i = 0; i < 64; ++i) {
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (i % 8));
        bytes[i / 8] |= (pixels[i] & 1) ? bit : 0;
        bytes[8 + i / 8] |= (pixels[i] & 2) ? bit : 0;
    }
    return Poke(static_cast<uint32_t>(0x14C10 + 16 * g + (g >= 128 ? 0x800 * set : 0)), bytes);
}

RomBuilder& RomBuilder::Colour(int index, uint32_t bgr) {
    colours_[static_cast<std::size_t>(index)] = bgr;
    return *this;
}

RomBuilder& RomBuilder::EnemyName(int index, const std::string& name) {
    names_.resize(std::max(names_.size(), static_cast<std::size_t>(index) + 1));
    names_[static_cast<std::size_t>(index)] = name;
    return *this;
}

RomBuilder& RomBuilder::EnemyNameBytes(const std::vector<uint8_t>& bytes) {
    names_.clear();
    return Poke(kNames, bytes);
}

RomBuilder& RomBuilder::Poke(uint32_t offset, const std::vector<uint8_t>& bytes) {
    pokes_.push_back({offset, bytes});
    return *this;
}

RomBuilder& RomBuilder::Word(uint32_t offset, uint16_t value) {
    return Poke(offset, {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)});
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
    const std::size_t free = static_cast<std::size_t>(std::max(freeBytes_, 0));
    if (total + free > kRowDataEnd - kRowData) {
        return nullptr;
    }
    uint32_t at = freeBytes_ < 0 ? kRowData : static_cast<uint32_t>(kRowDataEnd - free - total);
    for (std::size_t m = 0; m < 4; ++m) {
        starts_[m] = at;
        std::copy(data[m].begin(), data[m].end(), rom->RomBytes + at);
        for (std::size_t r = 0; r < 256; ++r) {
            rom->WriteWord(kRegion + 0x200 * static_cast<uint32_t>(m) +
                               2 * static_cast<uint32_t>(r),
                           at - kRegion + offsets[m][r]);
        }
        at += static_cast<uint32_t>(data[m].size());
    }
    dataEnd_ = at;

    std::vector<uint8_t> names;
    for (const std::string& name : names_) {
        for (char c : name) {
            int code = 1;
            while (code < 256 && !(rom->TextTable[code][0] == c && rom->TextTable[code][1] == 0)) {
                ++code;
            }
            if (code == 256) {
                return nullptr;
            }
            names.push_back(static_cast<uint8_t>(code));
        }
        names.push_back(0);
    }
    std::copy(names.begin(), names.end(), rom->RomBytes + kNames);
    for (const auto& [offset, bytes] : pokes_) {
        std::copy(bytes.begin(), bytes.end(), rom->RomBytes + offset);
    }
    std::copy(colours_.begin(), colours_.end(), rom->ColourTable);
    return rom;
}

bool WriteFile(const std::string& path, const uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    return !out.fail();
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

} // namespace testsupport
