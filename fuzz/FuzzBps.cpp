// Arbitrary bytes as a BPS patch of a small fixed file, and as two files to make a patch
// between. Besides memory errors it checks what the patch functions promise: a refused
// patch leaves the file as it was, an applied one gives a file of the size and CRC32 the
// patch names, and every patch MakeBps makes applies and gives the target back.
//
// Input: one steering byte, then the body. Bit 0 set: the body's checksums are put right
// before it is applied (its own CRC32 and the source's), so that the fuzzer gets past them
// to the actions. The other bits choose where the body splits into the two files.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include <zlib.h>

#include "formats/Bps.h"
#include "fuzz/BpsSource.h"
#include "fuzz/FuzzCheck.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Larger targets are valid but only slow the run down: a few bytes of patch can ask for a
// copy of megabytes.
constexpr uint64_t LargestTarget = 1 << 20;

uint32_t Crc(const uint8_t* data, std::size_t size) {
    return static_cast<uint32_t>(crc32(0, data, static_cast<uInt>(size)));
}

void PutCrc(Bytes& patch, std::size_t at, uint32_t crc) {
    for (int i = 0; i < 4; ++i) {
        patch[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(crc >> (8 * i));
    }
}

uint32_t GetCrc(const Bytes& patch, std::size_t at) {
    uint32_t crc = 0;
    for (int i = 3; i >= 0; --i) {
        crc = crc << 8 | patch[at + static_cast<std::size_t>(i)];
    }
    return crc;
}

// The target size a patch names, or UINT64_MAX when its header cannot be read.
uint64_t TargetSize(const Bytes& patch) {
    std::size_t at = 4;
    uint64_t value = 0;
    for (int number = 0; number < 2; ++number) {
        value = 0;
        uint64_t shift = 1;
        for (int bytes = 0;; ++bytes) {
            if (at >= patch.size() || bytes == 8) {
                return UINT64_MAX;
            }
            const uint8_t x = patch[at++];
            value += (x & 0x7F) * shift;
            if (x & 0x80) {
                break;
            }
            shift <<= 7;
            value += shift;
        }
    }
    return value;
}

void ApplyChecked(const Bytes& patch, const Bytes& source) {
    Bytes data = source;
    const formats::Result result = formats::ApplyBps(patch, "fuzz.bps", data);
    if (!result.Ok()) {
        FUZZ_CHECK_REFUSAL(result, "fuzz.bps", "");
        FUZZ_CHECK(data == source);
        return;
    }
    FUZZ_CHECK(patch.size() >= 19);
    FUZZ_CHECK(TargetSize(patch) == data.size());
    FUZZ_CHECK(Crc(data.data(), data.size()) == GetCrc(patch, patch.size() - 8));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, std::size_t size) {
    static const Bytes source = FuzzBpsSource();
    if (size < 1) {
        return 0;
    }
    const uint8_t steer = input[0];
    const Bytes body(input + 1, input + size);

    Bytes patch = body;
    if ((steer & 1) && patch.size() >= 19) {
        if (TargetSize(patch) > LargestTarget) {
            return 0;
        }
        PutCrc(patch, patch.size() - 12, Crc(source.data(), source.size()));
        PutCrc(patch, patch.size() - 4, Crc(patch.data(), patch.size() - 4));
    }
    ApplyChecked(patch, source);

    const std::size_t split = body.size() * (steer >> 1) / 128;
    const Bytes from(body.begin(), body.begin() + static_cast<long>(split));
    const Bytes to(body.begin() + static_cast<long>(split), body.end());
    Bytes made;
    FUZZ_CHECK(formats::MakeBps(from, to, made).Ok());
    Bytes data = from;
    FUZZ_CHECK(formats::ApplyBps(made, "made.bps", data).Ok());
    FUZZ_CHECK(data == to);
    // Never worse than one TargetRead of the whole target: magic, three sizes of at most
    // three bytes here, the action word, the bytes and the checksums.
    FUZZ_CHECK(made.size() <= 4 + 9 + 3 + to.size() + 12);
    return 0;
}
