// Writes the seed corpora of the fuzz targets: for the world-map target a few well-formed
// regions built by the test RomBuilder, each behind 4 steering bytes; for the BPS target,
// when a second folder is given, patches of its fixed file made by MakeBps, each behind
// its steering byte. Usage: atlasforge-fuzz-corpus DIR [BPS-DIR]

#include <cstdio>
#include <string>
#include <vector>

#include "formats/Bps.h"
#include "fuzz/BpsSource.h"
#include "tests/support/RomBuilder.h"
#include "worldmap/WorldMap.h"

namespace {

bool WriteSeed(const std::string& dir, const std::string& name, uint32_t steer,
               const CRomImage& rom) {
    std::vector<uint8_t> bytes(4);
    for (int i = 0; i < 4; ++i) {
        bytes[static_cast<std::size_t>(i)] = static_cast<uint8_t>(steer >> (8 * i));
    }
    bytes.insert(bytes.end(), rom.RomBytes + worldmap::RegionStart,
                 rom.RomBytes + worldmap::RowDataEnd);
    return testsupport::WriteFile(dir + "/" + name, bytes.data(), bytes.size());
}

// Patches that take the fixed file to an insertion, a copy moved and repeated, a cut, and
// two files to make a patch between (the body split in half).
bool WriteBpsSeeds(const std::string& dir) {
    using Bytes = std::vector<uint8_t>;
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
    bool ok = true;
    for (const auto& seed : seeds) {
        Bytes bytes{seed.steer};
        Bytes patch;
        ok = formats::MakeBps(source, seed.target, patch).Ok() && ok;
        bytes.insert(bytes.end(), patch.begin(), patch.end());
        ok = testsupport::WriteFile(dir + "/" + seed.name, bytes.data(), bytes.size()) && ok;
    }
    Bytes pair{0x80};
    pair.insert(pair.end(), inserted.begin(), inserted.begin() + 96);
    pair.insert(pair.end(), moved.begin(), moved.begin() + 96);
    return testsupport::WriteFile(dir + "/two-files", pair.data(), pair.size()) && ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s DIR [BPS-DIR]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
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
    bool ok = true;
    for (const Seed& seed : seeds) {
        auto rom = seed.builder.Build();
        ok = rom && WriteSeed(dir, seed.name, seed.steer, *rom) && ok;
    }
    if (argc == 3) {
        ok = WriteBpsSeeds(argv[2]) && ok;
    }
    return ok ? 0 : 1;
}
