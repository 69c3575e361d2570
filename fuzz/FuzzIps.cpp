// Arbitrary bytes as an IPS patch of a small fixed file, and as two files to make a patch
// between. Besides memory errors it checks what the patch functions promise: a patch is
// applied exactly when a plain reading of the format accepts it, giving the same bytes and
// the size it announces; a refused patch names its offset and leaves the file as it was;
// and every patch MakeIps makes applies and gives the edited file back.
//
// Input: one steering byte, then the body, which is both the patch and the two files: the
// steering byte chooses where the body splits into them.

#include <optional>

#include "formats/Ips.h"
#include "fuzz/FuzzCheck.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Larger results are valid but only slow the run: one record can reach 16 MiB.
constexpr std::size_t LargestResult = 1 << 20;

std::size_t Big(const Bytes& p, std::size_t at, int count) {
    std::size_t value = 0;
    for (int i = 0; i < count; ++i) {
        value = value << 8 | p[at + static_cast<std::size_t>(i)];
    }
    return value;
}

// The format read plainly, record by record, straight into a copy of the file: what the
// patch gives, or nothing when it is malformed.
std::optional<Bytes> Plainly(const Bytes& patch, Bytes data) {
    if (patch.size() < 5 || std::string(patch.begin(), patch.begin() + 5) != "PATCH") {
        return std::nullopt;
    }
    std::size_t at = 5;
    for (;;) {
        if (at + 3 > patch.size()) {
            return std::nullopt;
        }
        if (std::string(patch.begin() + static_cast<long>(at),
                        patch.begin() + static_cast<long>(at) + 3) == "EOF") {
            at += 3;
            break;
        }
        if (at + 5 > patch.size()) {
            return std::nullopt;
        }
        const std::size_t offset = Big(patch, at, 3);
        std::size_t size = Big(patch, at + 3, 2);
        Bytes bytes;
        if (size == 0) {
            if (at + 8 > patch.size() || Big(patch, at + 5, 2) == 0) {
                return std::nullopt;
            }
            size = Big(patch, at + 5, 2);
            bytes.assign(size, patch[at + 7]);
            at += 8;
        } else {
            if (at + 5 + size > patch.size()) {
                return std::nullopt;
            }
            bytes.assign(patch.begin() + static_cast<long>(at) + 5,
                         patch.begin() + static_cast<long>(at + 5 + size));
            at += 5 + size;
        }
        if (offset + size > formats::IpsReach) {
            return std::nullopt;
        }
        if (data.size() < offset + size) {
            data.resize(offset + size);
        }
        std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<long>(offset));
    }
    if (at == patch.size()) {
        return data;
    }
    if (at + 3 != patch.size() || Big(patch, at, 3) > data.size()) {
        return std::nullopt;
    }
    data.resize(Big(patch, at, 3));
    return data;
}

// Where the plain reading reaches, without building the result: records only grow the file.
std::size_t Reach(const Bytes& patch) {
    std::size_t most = 0;
    for (std::size_t at = 5; at + 5 <= patch.size();) {
        if (patch[at] == 'E' && patch[at + 1] == 'O' && patch[at + 2] == 'F') {
            break;
        }
        const std::size_t offset = Big(patch, at, 3);
        std::size_t size = Big(patch, at + 3, 2);
        at += 5;
        if (size == 0 && at + 3 <= patch.size()) {
            size = Big(patch, at, 2);
            at += 3;
        } else {
            at += size;
        }
        most = std::max(most, offset + size);
    }
    return most;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const Bytes source = [] {
        Bytes bytes(64);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<uint8_t>(i * 29 + 3);
        }
        return bytes;
    }();
    FuzzInput input{data, size};
    const uint8_t steer = input.Byte();
    const std::string rest = input.Rest();
    const Bytes body(rest.begin(), rest.end());

    if (Reach(body) <= LargestResult) {
        Bytes file = source;
        const formats::Result applied = formats::ApplyIps(body, "fuzz.ips", file);
        const std::optional<Bytes> plain = Plainly(body, source);
        FUZZ_CHECK(applied.Ok() == plain.has_value());
        if (applied.Ok()) {
            FUZZ_CHECK(file == *plain);
        } else {
            FUZZ_CHECK_REFUSAL(applied, "fuzz.ips", "offset ");
            FUZZ_CHECK(file == source);
        }
    }

    const std::size_t split = body.size() * steer / 256;
    const Bytes from(body.begin(), body.begin() + static_cast<long>(split));
    const Bytes to(body.begin() + static_cast<long>(split), body.end());
    Bytes made;
    FUZZ_CHECK(formats::MakeIps(from, to, made).Ok());
    Bytes back = from;
    FUZZ_CHECK(formats::ApplyIps(made, "made.ips", back).Ok());
    FUZZ_CHECK(back == to);
    return 0;
}
