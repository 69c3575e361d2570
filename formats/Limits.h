#pragma once

#include <cstddef>

namespace formats {

// The most ReadFile takes and the largest file a BPS patch builds: far more than any map,
// patch or palette file (an IPS patch of a 16 MiB file, one byte a record, is under
// 100 MiB), yet a device that never ends, or a patch of a few bytes asking for gigabytes,
// stops here instead of filling the memory.
inline constexpr std::size_t MaxInputSize = std::size_t{128} << 20;

} // namespace formats
