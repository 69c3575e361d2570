#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/Result.h"

namespace formats {

// A BPS patch (format "BPS1") that turns `source` into `target`, with the CRC32s of both so
// that it applies only to `source`. Data that moved is copied from where it was in the
// source, repeats from earlier in the target; the patch is never larger than the plain
// coding of a SourceRead for each unchanged stretch and the bytes of each changed one.
// The magic, sizes and checksums take 19 to 26 bytes where IPS needs 8, so for a change of
// a few bytes IPS is the smaller file; for anything that moves data BPS is far smaller.
// Fails (Fault::BadData) for a file longer than MaxInputSize.
Result MakeBps(const std::vector<uint8_t>& source, const std::vector<uint8_t>& target,
               std::vector<uint8_t>& patch);

// Checks the whole patch (its own CRC32, that `data` is its source, every action, the
// size and CRC32 of the result), then replaces `data` with the patched file. A patch for
// another file, one already applied or a malformed one fails with Fault::BadData and one
// line naming `name`; `data` is then unchanged.
Result ApplyBps(const std::vector<uint8_t>& patch, const std::string& name,
                std::vector<uint8_t>& data);

} // namespace formats
