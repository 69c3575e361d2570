#pragma once

#include <cstdint>
#include <vector>

// The file the BPS fuzz target patches, shared with the seed maker so that its seeds apply:
// 96 bytes of a counter, a run and a repeated block, for copies of every kind to reach.
inline std::vector<uint8_t> FuzzBpsSource() {
    std::vector<uint8_t> source;
    for (int i = 0; i < 32; ++i) {
        source.push_back(static_cast<uint8_t>(i * 37 + 11));
    }
    source.insert(source.end(), 32, 0xAA);
    source.insert(source.end(), source.begin(), source.begin() + 32);
    return source;
}
