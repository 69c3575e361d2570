// Writes the seed corpus of the world-map fuzz target: a few well-formed regions built by
// the test RomBuilder, each behind 4 steering bytes. Usage: atlasforge-fuzz-corpus DIR

#include <cstdio>
#include <string>
#include <vector>

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

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
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
    return ok ? 0 : 1;
}
