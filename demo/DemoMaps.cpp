// The four demo world maps: terrain from tileable value noise on a grid of 2 by 2-tile
// blocks (so most rows repeat the one above and share its stored copy), rivers that run
// downhill to the sea, and single-tile towns and landmarks. Integer arithmetic only, so
// every machine makes the same maps.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "demo/DemoParts.h"
#include "worldmap/WorldMap.h"

namespace demo {

namespace {

constexpr int BlockTiles = 2;
constexpr int Blocks = worldmap::MapWidth / BlockTiles; // blocks per side
constexpr int NoiseOne = 65536;                         // fixed-point 1.0 of the noise

struct MapKind {
    uint32_t seed;
    int basePeriod;  // noise cells per side at the coarsest octave
    int landPercent; // share of blocks above the sea
    int hillPercent; // share of land at hill height and above
    int mountainPercent;
    int snowPercent;
    int forestPercent; // share of land that is wettest: forest
    int desertPercent; // share of land that is driest: desert
    int swampPercent;  // wettest low land
    int rivers;
    int towns;
    int landmarks;
    bool landmarksAtSea;
};

// Floating islands, an archipelago in open sea, continents, and the sea floor.
constexpr MapKind Kinds[worldmap::MapCount] = {
    {0x1F0A7, 4, 34, 22, 14, 2, 30, 12, 0, 4, 7, 5, true},
    {0x2B44D, 8, 16, 20, 6, 0, 35, 0, 8, 1, 9, 6, true},
    {0x3C911, 4, 46, 24, 15, 2, 28, 18, 5, 6, 12, 0, false},
    {0x4D2E3, 4, 52, 20, 10, 0, 35, 15, 0, 0, 8, 6, false},
};

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return h;
}

// 0 to 256 mapped onto the smooth step 3t^2 - 2t^3, in the same units.
int Smooth(int t) {
    return t * t * (3 * 256 - 2 * t) / (256 * 256);
}

// Value noise with `period` lattice cells per side, wrapping at the map's edges.
int ValueNoise(int bx, int by, int period, uint32_t seed) {
    const int cell = Blocks / period;
    const int ix = bx / cell;
    const int iy = by / cell;
    const int fx = Smooth((bx % cell) * 256 / cell);
    const int fy = Smooth((by % cell) * 256 / cell);
    const auto at = [&](int x, int y) {
        return static_cast<int>(
            Hash(static_cast<uint32_t>(x % period), static_cast<uint32_t>(y % period), seed) &
            0xFFFF);
    };
    const int top = at(ix, iy) + (at(ix + 1, iy) - at(ix, iy)) * fx / 256;
    const int bottom = at(ix, iy + 1) + (at(ix + 1, iy + 1) - at(ix, iy + 1)) * fx / 256;
    return top + (bottom - top) * fy / 256;
}

int Fractal(int bx, int by, int basePeriod, uint32_t seed) {
    int sum = 0;
    int weight = 0;
    int amplitude = 8;
    for (int period = basePeriod; period <= Blocks / 4 && amplitude > 0; period *= 2) {
        sum += ValueNoise(bx, by, period, seed + static_cast<uint32_t>(period)) * amplitude;
        weight += amplitude;
        amplitude /= 2;
    }
    return sum / weight;
}

using Field = std::vector<int>;

// The value below which `percent` of `values` lie from the top: the top share is >= it.
int TopShareLevel(Field values, int percent) {
    if (values.empty() || percent <= 0) {
        return NoiseOne;
    }
    std::sort(values.begin(), values.end());
    const std::size_t index = values.size() * static_cast<std::size_t>(100 - percent) / 100;
    return values[std::min(index, values.size() - 1)];
}

class MapMaker {
  public:
    explicit MapMaker(const MapKind& kind) : kind_(kind), height_(Size), wet_(Size), block_(Size) {}

    void Make(uint8_t* grid) {
        Terrain();
        for (int i = 0; i < kind_.rivers; ++i) {
            CarveRiver(i);
        }
        Expand(grid);
        Features(grid);
    }

  private:
    static constexpr int Size = Blocks * Blocks;

    static int Index(int bx, int by) {
        return ((by + Blocks) % Blocks) * Blocks + (bx + Blocks) % Blocks;
    }
    bool IsLand(int i) const { return block_[i] != Sea && block_[i] != Shallows; }

    void Terrain() {
        for (int by = 0; by < Blocks; ++by) {
            for (int bx = 0; bx < Blocks; ++bx) {
                height_[Index(bx, by)] = Fractal(bx, by, kind_.basePeriod, kind_.seed);
                wet_[Index(bx, by)] = Fractal(bx, by, 4, kind_.seed ^ 0x5A5A5u);
            }
        }
        const int sea = TopShareLevel(height_, kind_.landPercent);
        const int shallow = TopShareLevel(height_, kind_.landPercent + 5);
        Field land;
        Field landWet;
        for (int i = 0; i < Size; ++i) {
            if (height_[i] >= sea) {
                land.push_back(height_[i]);
                landWet.push_back(wet_[i]);
            }
        }
        const int hill = TopShareLevel(land, kind_.hillPercent);
        const int mountain = TopShareLevel(land, kind_.mountainPercent);
        const int snow = TopShareLevel(land, kind_.snowPercent);
        const int forest = TopShareLevel(landWet, kind_.forestPercent);
        const int swamp = TopShareLevel(landWet, kind_.swampPercent);
        const int desert = TopShareLevel(landWet, 100 - kind_.desertPercent);
        const int lowLand = TopShareLevel(land, 60);
        for (int i = 0; i < Size; ++i) {
            const int h = height_[i];
            const int w = wet_[i];
            Tile t = Grass;
            if (h < shallow) {
                t = Sea;
            } else if (h < sea) {
                t = Shallows;
            } else if (h >= snow) {
                t = Snow;
            } else if (h >= mountain) {
                t = Mountain;
            } else if (w >= swamp && h < lowLand) {
                t = Swamp;
            } else if (h >= hill) {
                t = Hills;
            } else if (w >= forest) {
                t = Forest;
            } else if (w < desert && kind_.desertPercent > 0) {
                t = Desert;
            }
            block_[i] = t;
        }
    }

    // Starts at a high block chosen by the hash and walks to the lowest neighbour until it
    // reaches the sea; where the ground is level it cuts through to the lowest unvisited one.
    void CarveRiver(int n) {
        std::vector<int> candidates;
        for (int i = 0; i < Size; ++i) {
            if (block_[i] == Hills || block_[i] == Mountain) {
                candidates.push_back(i);
            }
        }
        if (candidates.empty()) {
            return;
        }
        int at = candidates[Hash(static_cast<uint32_t>(n), 7, kind_.seed) % candidates.size()];
        std::vector<bool> seen(Size, false);
        for (int step = 0; step < 160 && IsLand(at); ++step) {
            seen[static_cast<std::size_t>(at)] = true;
            if (block_[at] != Mountain && block_[at] != Snow) {
                block_[at] = River;
            }
            const int bx = at % Blocks;
            const int by = at / Blocks;
            const int next[4] = {Index(bx + 1, by), Index(bx - 1, by), Index(bx, by + 1),
                                 Index(bx, by - 1)};
            int best = -1;
            for (int c : next) {
                if (!seen[static_cast<std::size_t>(c)] &&
                    (best < 0 || height_[c] < height_[best])) {
                    best = c;
                }
            }
            if (best < 0) {
                return;
            }
            at = best;
        }
    }

    void Expand(uint8_t* grid) const {
        for (int y = 0; y < worldmap::MapHeight; ++y) {
            for (int x = 0; x < worldmap::MapWidth; ++x) {
                grid[y * worldmap::MapWidth + x] = block_[Index(x / BlockTiles, y / BlockTiles)];
            }
        }
    }

    // Places `count` single tiles on open sea or on grass and desert, apart from each other
    // and from everything placed before.
    void Place(uint8_t* grid, uint8_t tile, int count, bool onSea, uint32_t salt) {
        const int spacing = 12; // blocks, along both axes together
        for (uint32_t attempt = 0; attempt < 4000 && count > 0; ++attempt) {
            const uint32_t h = Hash(attempt, salt, kind_.seed);
            const int bx = static_cast<int>(h % Blocks);
            const int by = static_cast<int>((h >> 8) % Blocks);
            const Tile here = block_[Index(bx, by)];
            const bool fits = onSea ? here == Sea : (here == Grass || here == Desert);
            if (!fits || TooClose(bx, by, spacing)) {
                continue;
            }
            placed_.push_back({bx, by});
            grid[(by * BlockTiles) * worldmap::MapWidth + bx * BlockTiles] = tile;
            --count;
        }
    }

    bool TooClose(int bx, int by, int spacing) const {
        for (const auto& p : placed_) {
            int dx = std::abs(p[0] - bx);
            int dy = std::abs(p[1] - by);
            dx = std::min(dx, Blocks - dx);
            dy = std::min(dy, Blocks - dy);
            if (dx + dy < spacing) {
                return true;
            }
        }
        return false;
    }

    void Features(uint8_t* grid) {
        Place(grid, Castle, 1, false, 1);
        Place(grid, Tower, 1, false, 2);
        Place(grid, Town, kind_.towns, false, 3);
        Place(grid, Landmark, kind_.landmarks, kind_.landmarksAtSea, 4);
        // A cave at the foot of the first mountain range found from the map's centre.
        for (int i = Size / 2; i < Size + Size / 2; ++i) {
            const int b = i % Size;
            if (block_[b] == Mountain && block_[Index(b % Blocks, b / Blocks + 1)] == Grass) {
                grid[(b / Blocks * BlockTiles + 1) * worldmap::MapWidth + b % Blocks * BlockTiles] =
                    Cave;
                break;
            }
        }
    }

    const MapKind& kind_;
    Field height_;
    Field wet_;
    std::vector<Tile> block_;
    std::vector<std::array<int, 2>> placed_;
};

} // namespace

void MakeDemoMap(int mapId, worldmap::GridSpan grid) {
    MapMaker(Kinds[mapId]).Make(grid.data());
}

void WriteDemoMaps(CRomImage& rom) {
    auto grid = std::make_unique<worldmap::Grid>();
    std::vector<uint8_t> coded(worldmap::MaxEncodedSize);
    uint16_t pointers[worldmap::MapHeight];
    uint32_t next = worldmap::RowDataStart;
    for (int m = 0; m < worldmap::MapCount; ++m) {
        MakeDemoMap(m, *grid);
        const uint16_t p0 = static_cast<uint16_t>(next - worldmap::RegionStart);
        const int length = worldmap::EncodeWorldMap(*grid, p0, coded.data(), pointers);
        // The maps are tuned to fit with room to spare; a tuning that overflows is a fault
        // of this generator, and must never write past the region.
        if (next + static_cast<uint32_t>(length) > worldmap::RowDataEnd) {
            std::fprintf(stderr, "demo maps do not fit the map region\n");
            std::abort();
        }
        std::memcpy(rom.RomBytes + next, coded.data(), static_cast<std::size_t>(length));
        for (int r = 0; r < worldmap::MapHeight; ++r) {
            rom.WriteWord(worldmap::TableStart(m) + 2 * static_cast<uint32_t>(r), pointers[r]);
        }
        next += static_cast<uint32_t>(length);
    }
    if (next < worldmap::RowDataEnd) {
        std::memset(rom.RomBytes + next, 0, worldmap::RowDataEnd - next);
    }
}

} // namespace demo
