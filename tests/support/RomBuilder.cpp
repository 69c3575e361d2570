#include "tests/support/RomBuilder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>

#include "gfx/TileRenderer.h"
#include "text/TextTable.h"

namespace testsupport {

// The ROM format written out here on purpose rather than taken from the editor's
// headers, so a wrong constant there shows up as a failing test.
constexpr uint32_t kRegion = 0xD010;
constexpr uint32_t kRowData = 0xD810;
constexpr uint32_t kRowDataEnd = 0x13410;
constexpr uint32_t kNames = 0x3D475;

static uint8_t* Row(Grid& g, int y) {
    return &g[static_cast<std::size_t>(y) * 256];
}

Grid Filled(uint8_t tile) {
    Grid g;
    g.fill(tile);
    return g;
}

Grid StripedGrid(uint8_t firstTile) {
    Grid g{};
    for (int y = 0; y < 256; ++y) {
        std::memset(Row(g, y), (firstTile + y) % 128, 256);
    }
    return g;
}

Grid RandomGrid(uint32_t seed, int maxRun, int repeatPercent, int tileKinds) {
    std::mt19937 rng(seed);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
    Grid g{};
    const int kinds = std::clamp(tileKinds, 1, 128);
    const int firstTile = pick(129 - kinds);
    for (int y = 0; y < 256; ++y) {
        if (y > 0 && pick(100) < repeatPercent) {
            std::memcpy(Row(g, y), Row(g, pick(y)), 256);
            continue;
        }
        for (int x = 0, run = 0; x < 256; x += run) {
            run = std::min(1 + pick(std::max(maxRun, 1)), 256 - x);
            std::memset(Row(g, y) + x, firstTile + pick(kinds), static_cast<std::size_t>(run));
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
    Grid g{};
    for (int y = 0; y < 256; ++y) {
        std::memcpy(Row(g, y), pattern, 254);
        const int a = y / 127 + (y / 127 >= pattern[253] ? 1 : 0);
        Row(g, y)[254] = static_cast<uint8_t>(a);
        Row(g, y)[255] = static_cast<uint8_t>(y % 127 + (y % 127 >= a ? 1 : 0));
    }
    return g;
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

std::unique_ptr<CRomImage> RomBuilder::Build() const {
    auto rom = std::make_unique<CRomImage>();
    text::BuildTextTable(*rom);

    // The four maps' data back to back, and each row's offset into it.
    std::vector<uint8_t> data;
    std::array<std::array<uint32_t, 256>, 4> offsets;
    for (std::size_t m = 0; m < 4; ++m) {
        std::map<std::array<uint8_t, 256>, uint32_t> seen; // fixed-size keys keep GCC's -O3 quiet
        for (std::size_t y = 0; y < 256; ++y) {
            std::array<uint8_t, 256> row;
            std::copy_n(maps_[m].begin() + static_cast<std::ptrdiff_t>(y * 256), 256, row.begin());
            const auto size = static_cast<uint32_t>(data.size());
            offsets[m][y] = coding_.shareRows ? seen.emplace(row, size).first->second : size;
            if (offsets[m][y] < size) {
                continue;
            }
            for (int x = 0, n = 1; x < 256; x += n, n = 1) {
                while (x + n < 256 && row[x + n] == row[x] && n < std::max(coding_.maxRun, 1)) {
                    ++n;
                }
                if (n == 1) {
                    data.push_back(row[x]);
                } else {
                    data.push_back(static_cast<uint8_t>(row[x] + 0x80));
                    data.push_back(static_cast<uint8_t>(n == 256 ? 0 : n));
                }
            }
        }
    }
    const std::size_t free = static_cast<std::size_t>(std::max(freeBytes_, 0));
    if (data.size() + free > kRowDataEnd - kRowData) {
        return nullptr;
    }
    const auto base =
        static_cast<uint32_t>(freeBytes_ < 0 ? kRowData : kRowDataEnd - free - data.size());
    std::copy(data.begin(), data.end(), rom->RomBytes + base);
    for (uint32_t m = 0; m < 4; ++m) {
        starts_[m] = base + offsets[m][0];
        for (uint32_t r = 0; r < 256; ++r) {
            rom->WriteWord(kRegion + 0x200 * m + 2 * r, base + offsets[m][r] - kRegion);
        }
    }

    uint8_t* name = rom->RomBytes + kNames;
    for (const std::string& text : names_) {
        for (const char c : text + '\0') {
            const auto* slot = std::find_if(std::begin(rom->TextTable), std::end(rom->TextTable),
                                            [c](const char* s) { return s[0] == c && s[1] == 0; });
            if (slot == std::end(rom->TextTable)) {
                return nullptr;
            }
            *name++ = static_cast<uint8_t>(slot - rom->TextTable);
        }
    }
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

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

RomBuilder& RomBuilder::NoiseGraphics(uint32_t seed) {
    std::minstd_rand engine(seed);
    std::vector<uint8_t> noise(0x2530); // patterns, then quarter tables, then palettes
    for (std::size_t i = 0; i < noise.size(); ++i) {
        // Pixel value 0 shows colour 0, the mask colour, which stays opaque.
        noise[i] = i >= 0x2500 && i % 4 == 0 ? 0 : static_cast<uint8_t>(engine() >> 8);
    }
    Poke(gfx::Patterns, {noise.begin(), noise.begin() + 0x2000});
    Poke(gfx::QuarterTables, {noise.begin() + 0x2000, noise.begin() + 0x2500});
    Poke(gfx::MapPalettes, {noise.begin() + 0x2500, noise.end()});
    Colour(0, gfx::MaskColour);
    for (int i = 1; i < 64; ++i) {
        Colour(i, static_cast<uint32_t>(i * 4 | (255 - i * 4) << 8 | (i * 37 % 256) << 16));
    }
    return *this;
}

} // namespace testsupport
