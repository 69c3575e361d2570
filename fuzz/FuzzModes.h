#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "worldmap/RowCode.h"

// The targets with two modes: bit 0 of the first byte chooses a round trip of the rest,
// given that steering byte, over reading the rest as a file.
template <typename Read, typename RoundTrip>
int ReadOrRoundTrip(const uint8_t* data, std::size_t size, Read read, RoundTrip roundTrip) {
    FuzzInput input{data, size};
    const uint8_t steer = input.Byte();
    if (steer & 1) {
        roundTrip(steer, input.Rest());
    } else {
        read(input.Rest());
    }
    return 0;
}

// A grid of the body's bytes as tiles, repeated to fill it; all tile 0 for no bytes.
inline worldmap::Grid GridOf(const std::string& body) {
    worldmap::Grid grid{};
    for (std::size_t i = 0; !body.empty() && i < grid.size(); ++i) {
        grid[i] = static_cast<uint8_t>(body[i % body.size()] & 0x7F);
    }
    return grid;
}

// A cell value that is no tile, to see what a reader wrote.
inline constexpr uint8_t NotATile = 0xFF;

template <typename Cells> bool AllTiles(const Cells& cells) {
    return std::all_of(cells.begin(), cells.end(), [](uint8_t t) { return t < 128; });
}
template <typename Cells> bool Untouched(const Cells& cells) {
    return std::all_of(cells.begin(), cells.end(), [](uint8_t t) { return t == NotATile; });
}
