// Writes the seed corpus of every fuzz target, one folder each under DIR, from our own
// writers and synthetic ROM images: well-formed inputs for the fuzzer to start from, and
// the steering bytes that reach each target's modes. Usage: atlasforge-fuzz-corpus DIR

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "demo/DemoRom.h"
#include "formats/Bps.h"
#include "formats/EnemyTable.h"
#include "formats/GridCsv.h"
#include "formats/Ips.h"
#include "formats/Tmx.h"
#include "fuzz/BpsSource.h"
#include "gfx/StandardPalette.h"
#include "tests/support/RomBuilder.h"
#include "tests/support/TmxForms.h"
#include "text/EnemyData.h"
#include "text/TextTable.h"
#include "worldmap/WorldMap.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testsupport::Grid;

class Corpus {
  public:
    explicit Corpus(std::string dir) : dir_(std::move(dir)) {}

    // A seed: its steering bytes, then the body.
    void Seed(const std::string& target, const std::string& name, const Bytes& steer,
              const std::string& body) {
        std::filesystem::create_directories(dir_ + "/" + target);
        std::string bytes(steer.begin(), steer.end());
        bytes += body;
        ok_ =
            testsupport::WriteFile(dir_ + "/" + target + "/" + name,
                                   reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) &&
            ok_;
    }
    void Seed(const std::string& target, const std::string& name, const Bytes& steer,
              const Bytes& body) {
        Seed(target, name, steer, std::string(body.begin(), body.end()));
    }
    void Fail() { ok_ = false; }
    bool Ok() const { return ok_; }

  private:
    std::string dir_;
    bool ok_ = true;
};

// Well-formed map regions built by the test RomBuilder, each behind 4 steering bytes.
void WorldMapSeeds(Corpus& corpus) {
    using namespace testsupport;
    struct Seed {
        const char* name;
        uint32_t steer;
        RomBuilder builder;
    };
    std::vector<Seed> seeds;
    seeds.push_back({"uniform", 0x00000000, RomBuilder()});
    seeds.push_back({"striped-tight", 0x01020304,
                     RomBuilder().Map(0, StripedGrid(1)).Map(3, StripedGrid(9)).FreeBytes(0)});
    seeds.push_back({"random", 0x0000000A,
                     RomBuilder()
                         .Map(0, RandomGrid(1, 60, 60))
                         .Map(1, RandomGrid(2, 60, 60))
                         .Map(2, RandomGrid(3, 60, 60))
                         .Map(3, RandomGrid(4, 60, 60))
                         .FreeBytes(200)});
    seeds.push_back({"split-runs", 0x00770005,
                     RomBuilder().Map(1, RandomGrid(5, 200, 50)).Coding({100, true}).FreeBytes(1)});
    for (const Seed& seed : seeds) {
        const auto rom = seed.builder.Build();
        if (!rom) {
            corpus.Fail();
            continue;
        }
        Bytes steer;
        for (int i = 0; i < 4; ++i) {
            steer.push_back(static_cast<uint8_t>(seed.steer >> (8 * i)));
        }
        corpus.Seed(
            "worldmap", seed.name, steer,
            Bytes(rom->RomBytes + worldmap::RegionStart, rom->RomBytes + worldmap::RowDataEnd));
    }
}

// Patches that take the fixed file to an insertion, a copy moved and repeated, a cut, and
// two files to make a patch between (the body split in half).
void BpsSeeds(Corpus& corpus) {
    const Bytes source = FuzzBpsSource();
    Bytes inserted = source;
    inserted.insert(inserted.begin() + 10, {1, 2, 3, 4, 5});
    Bytes moved(source.begin() + 64, source.end());
    moved.insert(moved.end(), 40, 0x55);
    moved.insert(moved.end(), source.begin(), source.begin() + 48);
    moved.insert(moved.end(), moved.begin(), moved.begin() + 20);
    const struct {
        const char* name;
        uint8_t steer;
        Bytes target;
    } seeds[] = {
        {"inserted", 0x00, inserted},
        {"moved-and-repeated", 0x01, moved},
        {"cut", 0x80, Bytes(source.begin(), source.begin() + 20)},
    };
    for (const auto& seed : seeds) {
        Bytes patch;
        if (!formats::MakeBps(source, seed.target, patch).Ok()) {
            corpus.Fail();
        }
        corpus.Seed("bps", seed.name, {seed.steer}, patch);
    }
    Bytes pair(inserted.begin(), inserted.begin() + 96);
    pair.insert(pair.end(), moved.begin(), moved.begin() + 96);
    corpus.Seed("bps", "two-files", {0x80}, pair);
}

// Our own exports of a few maps, a block to paste, and grids for the round trips.
void CsvSeeds(Corpus& corpus) {
    corpus.Seed("csv", "striped", {0x00}, formats::WriteGridCsv(testsupport::StripedGrid(3)));
    corpus.Seed("csv", "random", {0x00}, formats::WriteGridCsv(testsupport::RandomGrid(7)));
    corpus.Seed("csv", "block", {0x00}, std::string("1,2,3\r\n4, 5 ,6\n\n"));
    // Refused only in the last line: a reader once handed out the good lines before it.
    std::string lastBad = formats::WriteGridCsv(testsupport::StripedGrid(1));
    const std::size_t lastCell = lastBad.rfind(',') + 1;
    lastBad.replace(lastCell, lastBad.size() - 1 - lastCell, "128");
    corpus.Seed("csv", "refused-in-the-last-line", {0x00}, lastBad);
    corpus.Seed("csv", "round-trip", {0x01}, std::string("\x01\x02\x7F\x00\x40", 5));
    corpus.Seed("csv", "round-trip-loose", {0x7F}, std::string("\x10\x20\x30", 3));
}

// Maps in our writer's form and in each form Tiled writes, and grids for the round trips.
void TmxSeeds(Corpus& corpus) {
    namespace tmx = testsupport::tmx;
    const Grid grid = testsupport::StripedGrid(5);
    corpus.Seed("tmx", "ours", {0x00}, formats::WriteTmx(grid, "world-tileset.png", "World"));
    tmx::Gids gids;
    for (const uint8_t tile : grid) {
        gids.push_back(tile + 1u);
    }
    // Tiled's plain forms are large; the fuzzer learns them from our writer's and the
    // compressed ones.
    for (const tmx::Form form : {tmx::Form::Zlib, tmx::Form::Gzip, tmx::Form::Zstd}) {
        corpus.Seed("tmx", tmx::FormName(form), {0x00}, tmx::Map(tmx::Data(gids, form)));
    }
    // Refused only at the last cell: a reader once handed out the cells before it.
    tmx::Gids lastEmpty = gids;
    lastEmpty.back() = 0;
    corpus.Seed("tmx", "refused-at-the-last-cell", {0x00},
                tmx::Map(tmx::Data(lastEmpty, tmx::Form::Zstd)));
    for (int form = 0; form <= tmx::FormCount; ++form) {
        corpus.Seed("tmx", "round-trip-" + std::to_string(form),
                    {static_cast<uint8_t>(1 | form << 1 | (form & 1) << 4)},
                    std::string("\x05\x11\x7F\x00\x26\x3A", 6));
    }
}

// Patches MakeIps makes of the fixed file (as FuzzIps.cpp makes it), and two files.
void IpsSeeds(Corpus& corpus) {
    Bytes source(64);
    for (std::size_t i = 0; i < source.size(); ++i) {
        source[i] = static_cast<uint8_t>(i * 29 + 3);
    }
    Bytes longer = source, shorter(source.begin(), source.begin() + 40), changed = source;
    longer.insert(longer.end(), 30, 0xEE);
    changed[3] = 0;
    std::fill(changed.begin() + 20, changed.begin() + 40, 0x77);
    const struct {
        const char* name;
        uint8_t steer;
        Bytes edited;
    } seeds[] = {{"longer-with-a-run", 0x00, longer},
                 {"truncated", 0x40, shorter},
                 {"changed", 0x80, changed}};
    for (const auto& seed : seeds) {
        Bytes patch;
        if (!formats::MakeIps(source, seed.edited, patch).Ok()) {
            corpus.Fail();
        }
        corpus.Seed("ips", seed.name, {seed.steer}, patch);
    }
}

// The demo ROM's enemy table as both formats, and names and values for the round trips.
void EnemySeeds(Corpus& corpus) {
    auto rom = std::make_unique<CRomImage>();
    demo::BuildDemoRom(*rom);
    text::BuildTextTable(*rom);
    const auto enemies = text::ReadEnemies(*rom);
    const std::string names(reinterpret_cast<const char*>(rom->RomBytes + text::EnemyNames), 64);
    const std::string values("\x10\x00\x27\x05\xFF\x01\x80", 7);
    corpus.Seed("enemy-csv", "demo", {0x00}, formats::WriteEnemyCsv(enemies));
    corpus.Seed("enemy-csv", "round-trip", {0x01}, names + values);
    corpus.Seed("enemy-json", "demo", {0x00}, formats::WriteEnemyJson(enemies));
    corpus.Seed("enemy-json", "round-trip", {0x01}, names + values);
}

void PaletteSeeds(Corpus& corpus) {
    const auto& standard = gfx::StandardPalette();
    const Bytes bytes(standard.begin(), standard.end());
    corpus.Seed("palette", "standard", {}, bytes);
    corpus.Seed("palette", "short", {}, Bytes(bytes.begin(), bytes.begin() + 100));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    Corpus corpus(argv[1]);
    WorldMapSeeds(corpus);
    BpsSeeds(corpus);
    CsvSeeds(corpus);
    TmxSeeds(corpus);
    IpsSeeds(corpus);
    EnemySeeds(corpus);
    PaletteSeeds(corpus);
    if (!corpus.Ok()) {
        std::fprintf(stderr, "%s: some seeds could not be made or written\n", argv[0]);
        return 1;
    }
    return 0;
}
