#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/Result.h"

namespace formats {

// The IPS format reaches offsets below 16 MiB (three-byte offsets).
inline constexpr std::size_t IpsReach = 0x1000000;

// A patch that turns `original` into `edited`: records of at most 65,535 bytes, run
// records where a run of one byte makes the patch shorter, and the three-byte truncation
// length after "EOF" when `edited` is shorter. Fails (Fault::BadData) when either file is
// beyond the format's reach.
Result MakeIps(const std::vector<uint8_t>& original, const std::vector<uint8_t>& edited,
               std::vector<uint8_t>& patch);

// Checks the whole patch, then applies it to `data`. A malformed patch fails with
// Fault::BadData naming `name` and the offset in the patch; `data` is then unchanged.
Result ApplyIps(const std::vector<uint8_t>& patch, const std::string& name,
                std::vector<uint8_t>& data);

} // namespace formats
