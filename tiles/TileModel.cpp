#include "tiles/TileModel.h"

#include <bitset>
#include <cassert>
#include <cstring>
#include <set>
#include <utility>

namespace tiles {
namespace {

[[maybe_unused]] bool ValidSet(int set) {
    return set >= 0 && set < SetCount;
}

uint32_t U(int value) {
    return static_cast<uint32_t>(value);
}

// Set s's pattern `pattern` and set t's are the same bytes.
bool SamePattern(int pattern, int s, int t) {
    return IsSharedPattern(pattern) || s == t;
}

} // namespace

uint32_t PatternOffset(int set, int pattern) {
    assert(ValidSet(set) && pattern >= 0 && pattern < PatternCount);
    return PatternTableBytes.begin + 16 * U(pattern) + (IsSharedPattern(pattern) ? 0 : 0x800 * U(set));
}

uint32_t QuarterOffset(int set, int tile, int quarter) {
    assert(ValidSet(set) && tile >= 0 && tile < TileCount && quarter >= 0 && quarter < 4);
    return QuarterTableBytes.begin + U(tile) + 64 * U(quarter) +
           (IsSharedTile(tile) ? 0 : 0xC0 + 0x100 * U(set));
}

uint32_t AttributeOffset(int set, int tile) {
    assert(ValidSet(set) && tile >= 0 && tile < TileCount);
    return AttributeBytes.begin + U(tile) + (IsSharedTile(tile) ? 0 : 0x40 * U(set));
}

uint32_t PaletteOffset(int set, int index) {
    assert(ValidSet(set) && index >= 0 && index < PaletteSize);
    return PaletteBytes.begin + 0x10 * U(set) + U(index);
}

void TileModel::Write(uint32_t offset, uint8_t value) {
    assert(writable_ != nullptr);
    writable_->WriteByte(offset, value);
}

int TileModel::PatternPixel(int set, int pattern, int x, int y) const {
    const uint32_t at = PatternOffset(set, pattern) + U(y);
    const int shift = 7 - x;
    return (rom_->ReadByte(at) >> shift & 1) | (rom_->ReadByte(at + 8) >> shift & 1) << 1;
}

void TileModel::SetPatternPixel(int set, int pattern, int x, int y, int value) {
    const uint32_t at = PatternOffset(set, pattern) + U(y);
    const auto bit = static_cast<uint8_t>(0x80u >> x);
    for (uint32_t plane = 0; plane < 2; ++plane) {
        const uint8_t old = rom_->ReadByte(at + 8 * plane);
        const bool on = (value >> plane & 1) != 0;
        Write(at + 8 * plane, static_cast<uint8_t>(on ? old | bit : old & ~bit));
    }
}

PatternPixels TileModel::Pattern(int set, int pattern) const {
    PatternPixels pixels{};
    for (int y = 0; y < PatternSide; ++y) {
        for (int x = 0; x < PatternSide; ++x) {
            pixels[U(y * PatternSide + x)] = static_cast<uint8_t>(PatternPixel(set, pattern, x, y));
        }
    }
    return pixels;
}

void TileModel::SetPattern(int set, int pattern, const PatternPixels& pixels) {
    const uint32_t at = PatternOffset(set, pattern);
    for (uint32_t y = 0; y < PatternSide; ++y) {
        uint8_t lo = 0;
        uint8_t hi = 0;
        for (uint32_t x = 0; x < PatternSide; ++x) {
            const uint8_t v = pixels[y * PatternSide + x];
            lo = static_cast<uint8_t>(lo << 1 | (v & 1));
            hi = static_cast<uint8_t>(hi << 1 | (v >> 1 & 1));
        }
        Write(at + y, lo);
        Write(at + 8 + y, hi);
    }
}

int TileModel::Quarter(int set, int tile, int quarter) const {
    return rom_->ReadByte(QuarterOffset(set, tile, quarter));
}

void TileModel::SetQuarter(int set, int tile, int quarter, int pattern) {
    Write(QuarterOffset(set, tile, quarter), static_cast<uint8_t>(pattern));
}

int TileModel::SubPalette(int set, int tile) const {
    return rom_->ReadByte(AttributeOffset(set, tile)) & 3;
}

void TileModel::SetSubPalette(int set, int tile, int subPalette) {
    const uint32_t at = AttributeOffset(set, tile);
    Write(at, static_cast<uint8_t>((rom_->ReadByte(at) & ~3u) | (U(subPalette) & 3u)));
}

int TileModel::PaletteEntry(int set, int index) const {
    return rom_->ReadByte(PaletteOffset(set, index));
}

void TileModel::SetPaletteEntry(int set, int index, int colour) {
    Write(PaletteOffset(set, index), static_cast<uint8_t>(colour & 0x3F));
}

int TileModel::TilePixel(int set, int tile, int x, int y) const {
    const int quarter = y / PatternSide * 2 + x / PatternSide;
    return PatternPixel(set, Quarter(set, tile, quarter), x % PatternSide, y % PatternSide);
}

void TileModel::SetTilePixel(int set, int tile, int x, int y, int value) {
    const int quarter = y / PatternSide * 2 + x / PatternSide;
    SetPatternPixel(set, Quarter(set, tile, quarter), x % PatternSide, y % PatternSide, value);
}

TileValues TileModel::Values(int set, int tile) const {
    TileValues values{};
    for (int k = 0; k < QuarterCount; ++k) {
        const PatternPixels pattern = Pattern(set, Quarter(set, tile, k));
        for (int y = 0; y < PatternSide; ++y) {
            for (int x = 0; x < PatternSide; ++x) {
                values[U((k / 2 * PatternSide + y) * TileSide + k % 2 * PatternSide + x)] =
                    pattern[U(y * PatternSide + x)];
            }
        }
    }
    return values;
}

TileLook TileModel::Look(int set, int tile) const {
    const TileValues values = Values(set, tile);
    const int base = SubPalette(set, tile) * 4;
    TileLook look{};
    for (std::size_t i = 0; i < look.size(); ++i) {
        look[i] = static_cast<uint8_t>(PaletteEntry(set, base + values[i]) & 0x3F);
    }
    return look;
}

std::vector<QuarterUse> TileModel::UsersOf(int set, int pattern) const {
    std::vector<QuarterUse> uses;
    // The sets that draw exactly these bytes as `pattern`.
    const int firstSet = IsSharedPattern(pattern) ? 0 : set;
    const int lastSet = IsSharedPattern(pattern) ? SetCount - 1 : set;
    for (int t = 0; t < SharedTileCount; ++t) {
        for (int k = 0; k < QuarterCount; ++k) {
            if (Quarter(0, t, k) == pattern) {
                uses.push_back({IsSharedPattern(pattern) ? AnySet : set, t, k});
            }
        }
    }
    for (int s = firstSet; s <= lastSet; ++s) {
        for (int t = SharedTileCount; t < TileCount; ++t) {
            for (int k = 0; k < QuarterCount; ++k) {
                if (Quarter(s, t, k) == pattern) {
                    uses.push_back({s, t, k});
                }
            }
        }
    }
    return uses;
}

int TileModel::UserTileCount(int set, int pattern) const {
    std::set<std::pair<int, int>> distinct;
    for (const QuarterUse& use : UsersOf(set, pattern)) {
        distinct.insert({use.set, use.tile});
    }
    return static_cast<int>(distinct.size());
}

SetTiles TileModel::AffectedBy(uint32_t offset) const {
    SetTiles affected{};
    const auto all = [&](int tile) {
        for (TileMask& mask : affected) {
            mask.set(U(tile));
        }
    };
    if (offset >= QuarterTableBytes.begin && offset < QuarterTableBytes.end) {
        const uint32_t rel = offset - QuarterTableBytes.begin;
        if (rel < 0x100) {
            all(static_cast<int>(rel % 64));
        } else {
            const uint32_t inSet = rel - 0x100;
            affected[inSet / 0x100].set(64 + inSet % 64);
        }
    } else if (offset >= AttributeBytes.begin && offset < AttributeBytes.end) {
        const uint32_t rel = offset - AttributeBytes.begin;
        if (rel < 64) {
            all(static_cast<int>(rel));
        } else {
            affected[(rel - 64) / 64].set(64 + (rel - 64) % 64);
        }
    } else if (offset >= PaletteBytes.begin && offset < PaletteBytes.end) {
        const int set = static_cast<int>((offset - PaletteBytes.begin) / 0x10);
        const int sub = static_cast<int>((offset - PaletteBytes.begin) % 0x10 / 4);
        for (int t = 0; t < TileCount; ++t) {
            if (SubPalette(set, t) == sub) {
                affected[U(set)].set(U(t));
            }
        }
    } else if (offset >= PatternTableBytes.begin && offset < PatternTableBytes.end) {
        const uint32_t rel = offset - PatternTableBytes.begin;
        const bool shared = rel < 0x800;
        const int set = shared ? 0 : static_cast<int>((rel - 0x800) / 0x800);
        const int pattern = static_cast<int>(shared ? rel / 16 : 128 + (rel - 0x800) % 0x800 / 16);
        for (const QuarterUse& use : UsersOf(set, pattern)) {
            if (use.set == AnySet) {
                all(use.tile);
            } else {
                affected[U(use.set)].set(U(use.tile));
            }
        }
    }
    return affected;
}

bool TileModel::IsFree(int set, int pattern) const {
    for (int t = 0; t < SharedTileCount; ++t) {
        for (int k = 0; k < QuarterCount; ++k) {
            if (Quarter(0, t, k) == pattern) {
                return false;
            }
        }
    }
    for (int s = 0; s < SetCount; ++s) {
        if (!SamePattern(pattern, s, set)) {
            continue;
        }
        for (int t = SharedTileCount; t < TileCount; ++t) {
            for (int k = 0; k < QuarterCount; ++k) {
                if (Quarter(s, t, k) == pattern) {
                    return false;
                }
            }
        }
    }
    return true;
}

std::vector<int> TileModel::FreePatterns(int set) const {
    // One pass over every quarter entry rather than one per pattern.
    std::bitset<PatternCount> used;
    for (int t = 0; t < SharedTileCount; ++t) {
        for (int k = 0; k < QuarterCount; ++k) {
            used.set(U(Quarter(0, t, k)));
        }
    }
    for (int s = 0; s < SetCount; ++s) {
        for (int t = SharedTileCount; t < TileCount; ++t) {
            for (int k = 0; k < QuarterCount; ++k) {
                const int g = Quarter(s, t, k);
                if (SamePattern(g, s, set)) {
                    used.set(U(g));
                }
            }
        }
    }
    std::vector<int> free;
    for (int g = 0; g < PatternCount; ++g) {
        if (!used.test(U(g))) {
            free.push_back(g);
        }
    }
    return free;
}

namespace {

// Whether every byte tile `tile` of set `set` is drawn from (attribute, its sub-palette, its
// quarters and their patterns) is the same in both images: then so is its look, and the
// pixel by pixel comparison can be skipped.
bool SameTileBytes(const CRomImage& a, const CRomImage& b, int set, int tile) {
    const auto same = [&](uint32_t offset, std::size_t size) {
        return std::memcmp(a.RomBytes + offset, b.RomBytes + offset, size) == 0;
    };
    const uint32_t attribute = AttributeOffset(set, tile);
    if (!same(attribute, 1) || !same(PaletteOffset(set, (a.ReadByte(attribute) & 3) * 4), 4)) {
        return false;
    }
    for (int k = 0; k < QuarterCount; ++k) {
        const uint32_t quarter = QuarterOffset(set, tile, k);
        if (!same(quarter, 1) || !same(PatternOffset(set, a.ReadByte(quarter)), PatternBytes)) {
            return false;
        }
    }
    return true;
}

} // namespace

SetTiles ChangedTiles(const CRomImage& a, const CRomImage& b) {
    SetTiles changed{};
    if (!TileDataDiffers(a, b)) {
        return changed;
    }
    const TileModel left(a);
    const TileModel right(b);
    for (int s = 0; s < SetCount; ++s) {
        for (int t = 0; t < TileCount; ++t) {
            if (!SameTileBytes(a, b, s, t) && left.Look(s, t) != right.Look(s, t)) {
                changed[U(s)].set(U(t));
            }
        }
    }
    return changed;
}

void CopyTileData(const CRomImage& from, CRomImage& to) {
    for (const ByteRange& range : TileDataRanges) {
        std::memcpy(to.RomBytes + range.begin, from.RomBytes + range.begin, range.end - range.begin);
    }
}

bool TileDataDiffers(const CRomImage& a, const CRomImage& b) {
    for (const ByteRange& range : TileDataRanges) {
        if (std::memcmp(a.RomBytes + range.begin, b.RomBytes + range.begin, range.end - range.begin) != 0) {
            return true;
        }
    }
    return false;
}

std::vector<int> MapsShowing(const SetTiles& tiles) {
    std::vector<int> maps;
    for (int map = 0; map < 4; ++map) {
        if (tiles[U(gfx::GraphicsSetOf(map))].any()) {
            maps.push_back(map);
        }
    }
    return maps;
}

} // namespace tiles
