#include "formats/Bps.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <zlib.h>

#include "formats/Limits.h"
#include "formats/Patch.h"

namespace formats {

namespace {

using Bytes = std::vector<uint8_t>;

constexpr std::size_t FooterSize = 12; // source, target and patch CRC32s
// Eight bytes hold 56 bits, far more than any size here; more would overflow 64 bits.
constexpr int LongestNumber = 8;

enum Action : uint64_t { SourceRead = 0, TargetRead = 1, SourceCopy = 2, TargetCopy = 3 };

uint32_t Crc(const uint8_t* data, std::size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    while (size > 0) { // zlib takes 32-bit lengths
        const uInt chunk = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
        crc = crc32(crc, data, chunk);
        data += chunk;
        size -= chunk;
    }
    return static_cast<uint32_t>(crc);
}

uint32_t Crc(const Bytes& bytes) {
    return Crc(bytes.data(), bytes.size());
}

// Numbers are 7 bits a byte, low bits first, the last byte's high bit set; one is taken
// off after each byte so that every number has exactly one coding.
std::size_t NumberSize(uint64_t value) {
    std::size_t n = 1;
    while ((value >>= 7) != 0) {
        --value;
        ++n;
    }
    return n;
}

void PutNumber(Bytes& out, uint64_t value) {
    for (;;) {
        const uint8_t low = value & 0x7F;
        value >>= 7;
        if (value == 0) {
            out.push_back(0x80 | low);
            return;
        }
        out.push_back(low);
        --value;
    }
}

uint64_t ActionWord(Action action, std::size_t length) {
    return static_cast<uint64_t>(length - 1) << 2 | action;
}

// A copy's offset from its cursor: the sign in bit 0, the distance above it.
uint64_t OffsetWord(std::size_t from, std::size_t cursor) {
    return from >= cursor ? static_cast<uint64_t>(from - cursor) << 1
                          : static_cast<uint64_t>(cursor - from) << 1 | 1;
}

void PutCrc(Bytes& out, uint32_t crc) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    }
}

// Equal bytes from a and b, at most `most`; eight at a time while they last.
std::size_t CommonLength(const uint8_t* a, const uint8_t* b, std::size_t most) {
    std::size_t n = 0;
    while (n + 8 <= most) {
        uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y) {
            break;
        }
        n += 8;
    }
    while (n < most && a[n] == b[n]) {
        ++n;
    }
    return n;
}

// Positions of a file by the hash of the K bytes from there, newest first.
class KgramIndex {
  public:
    static constexpr std::size_t K = 6;
    static constexpr uint32_t None = UINT32_MAX;

    // About two heads a position, up to 2^17: small files stay cheap to index.
    explicit KgramIndex(std::size_t size)
        : bits_(std::clamp(static_cast<int>(std::bit_width(size)) + 1, 4, 17)),
          heads_(std::size_t{1} << bits_, None), prev_(size, None) {}

    uint32_t Hash(const uint8_t* p) const {
        uint64_t v = 0;
        std::memcpy(&v, p, K);
        return static_cast<uint32_t>((v * 0x9E3779B97F4A7C15ull) >> (64 - bits_));
    }
    void Insert(const uint8_t* file, std::size_t at) {
        uint32_t& head = heads_[Hash(file + at)];
        prev_[at] = head;
        head = static_cast<uint32_t>(at);
    }
    uint32_t First(const uint8_t* p) const { return heads_[Hash(p)]; }
    uint32_t Next(uint32_t at) const { return prev_[at]; }

  private:
    int bits_;
    std::vector<uint32_t> heads_;
    std::vector<uint32_t> prev_;
};

struct Choice {
    Action action = TargetRead;
    std::size_t from = 0;
    std::size_t length = 0;
    long gain = 0; // literal bytes saved less the action's own bytes
};

// Codes the actions, greedily taking at each place the action that saves most over
// literal bytes. Without copies it is the plain coding the patch is never worse than.
class Encoder {
  public:
    Encoder(const Bytes& source, const Bytes& target, bool copies)
        : source_(source), target_(target), copies_(copies),
          sourceIndex_(copies ? source.size() : 0), targetIndex_(copies ? target.size() : 0) {
        if (copies_ && source_.size() >= KgramIndex::K) {
            for (std::size_t at = 0; at + KgramIndex::K <= source_.size(); ++at) {
                sourceIndex_.Insert(source_.data(), at);
            }
        }
    }

    void Run(Bytes& out) {
        std::size_t literal = 0;
        std::size_t at = 0;
        while (at < target_.size()) {
            IndexTargetTo(at);
            const Choice c = Best(at);
            if (c.length == 0 || c.gain < (literal < at ? 2 : 1)) {
                ++at;
                continue;
            }
            Literal(out, literal, at);
            Put(out, c);
            at += c.length;
            literal = at;
        }
        Literal(out, literal, target_.size());
    }

  private:
    // Up to this many candidates a place, and a match this long is taken at once: bounds
    // the work for files of long runs of one byte.
    static constexpr int ChainDepth = 32;
    static constexpr std::size_t GoodEnough = 1024;

    void IndexTargetTo(std::size_t at) {
        if (!copies_) {
            return;
        }
        for (; indexed_ < at && indexed_ + KgramIndex::K <= target_.size(); ++indexed_) {
            targetIndex_.Insert(target_.data(), indexed_);
        }
    }

    void Consider(Choice& best, Action action, std::size_t from, std::size_t length) const {
        if (length == 0) {
            return;
        }
        std::size_t cost = NumberSize(ActionWord(action, length));
        if (action == SourceCopy) {
            cost += NumberSize(OffsetWord(from, sourceCursor_));
        } else if (action == TargetCopy) {
            cost += NumberSize(OffsetWord(from, targetCursor_));
        }
        const long gain = static_cast<long>(length) - static_cast<long>(cost);
        if (best.length == 0 || gain > best.gain) {
            best = {action, from, length, gain};
        }
    }

    Choice Best(std::size_t at) const {
        const std::size_t left = target_.size() - at;
        const uint8_t* here = target_.data() + at;
        Choice best;
        if (at < source_.size()) {
            Consider(best, SourceRead, at,
                     CommonLength(source_.data() + at, here, std::min(left, source_.size() - at)));
        }
        if (!copies_ || best.length >= GoodEnough) {
            return best;
        }
        // Where the last source copy ended: the next part of a moved block costs one byte.
        if (sourceCursor_ < source_.size()) {
            Consider(best, SourceCopy, sourceCursor_,
                     CommonLength(source_.data() + sourceCursor_, here,
                                  std::min(left, source_.size() - sourceCursor_)));
        }
        if (left < KgramIndex::K) {
            return best;
        }
        int depth = 0;
        for (uint32_t p = sourceIndex_.First(here);
             p != KgramIndex::None && depth < ChainDepth && best.length < GoodEnough;
             p = sourceIndex_.Next(p), ++depth) {
            Consider(best, SourceCopy, p,
                     CommonLength(source_.data() + p, here, std::min(left, source_.size() - p)));
        }
        // Earlier target bytes, overlapping this place when they repeat: the coder copies
        // one byte at a time, so a copy from one byte back is a run.
        depth = 0;
        for (uint32_t p = indexed_ > 0 ? targetIndex_.First(here) : KgramIndex::None;
             p != KgramIndex::None && depth < ChainDepth && best.length < GoodEnough;
             p = targetIndex_.Next(p), ++depth) {
            Consider(best, TargetCopy, p, CommonLength(target_.data() + p, here, left));
        }
        return best;
    }

    void Literal(Bytes& out, std::size_t from, std::size_t to) const {
        if (from == to) {
            return;
        }
        PutNumber(out, ActionWord(TargetRead, to - from));
        out.insert(out.end(), target_.begin() + static_cast<long>(from),
                   target_.begin() + static_cast<long>(to));
    }

    void Put(Bytes& out, const Choice& c) {
        PutNumber(out, ActionWord(c.action, c.length));
        if (c.action == SourceCopy) {
            PutNumber(out, OffsetWord(c.from, sourceCursor_));
            sourceCursor_ = c.from + c.length;
        } else if (c.action == TargetCopy) {
            PutNumber(out, OffsetWord(c.from, targetCursor_));
            targetCursor_ = c.from + c.length;
        }
    }

    const Bytes& source_;
    const Bytes& target_;
    const bool copies_;
    KgramIndex sourceIndex_;
    KgramIndex targetIndex_;
    std::size_t indexed_ = 0; // target places below this are in targetIndex_
    std::size_t sourceCursor_ = 0;
    std::size_t targetCursor_ = 0;
};

std::string Hex(uint32_t crc) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", crc);
    return text;
}

uint32_t Little32(const Bytes& p, std::size_t at) {
    return static_cast<uint32_t>(p[at]) | static_cast<uint32_t>(p[at + 1]) << 8 |
           static_cast<uint32_t>(p[at + 2]) << 16 | static_cast<uint32_t>(p[at + 3]) << 24;
}

// Reads the patch between its header and its checksums.
class Reader {
  public:
    Reader(const Bytes& patch, const std::string& name)
        : patch_(patch), name_(name), end_(patch.size() - FooterSize) {}

    std::size_t Pos() const { return pos_; }
    bool AtEnd() const { return pos_ == end_; }
    std::size_t Left() const { return end_ - pos_; }
    void Skip(std::size_t n) { pos_ += n; }

    Result Number(uint64_t& value, const char* what) {
        const std::size_t start = pos_;
        value = 0;
        uint64_t shift = 1;
        for (int bytes = 1;; ++bytes) {
            if (pos_ == end_) {
                return Malformed(name_, start,
                                 std::string(what) + " runs into the checksums at the end");
            }
            const uint8_t x = patch_[pos_++];
            value += (x & 0x7F) * shift;
            if (x & 0x80) {
                return Done();
            }
            if (bytes == LongestNumber) {
                return Malformed(name_, start, std::string(what) + " is too large");
            }
            shift <<= 7;
            value += shift;
        }
    }

  private:
    const Bytes& patch_;
    const std::string& name_;
    const std::size_t end_;
    std::size_t pos_ = BpsMagic.size();
};

// Moves `cursor` by a copy's offset word; false when that leaves 0 to `limit` - 1.
bool Move(std::size_t& cursor, uint64_t word, std::size_t limit) {
    const uint64_t distance = word >> 1;
    if (word & 1) {
        if (distance > cursor) {
            return false;
        }
        cursor -= static_cast<std::size_t>(distance);
    } else {
        if (distance >= limit - std::min(limit, cursor)) {
            return false;
        }
        cursor += static_cast<std::size_t>(distance);
    }
    return cursor < limit;
}

} // namespace

Result MakeBps(const std::vector<uint8_t>& source, const std::vector<uint8_t>& target,
               std::vector<uint8_t>& patch) {
    if (source.size() > MaxInputSize || target.size() > MaxInputSize) {
        return Fail(Fault::BadData, "a BPS patch is made here for files up to " +
                                        std::to_string(MaxInputSize >> 20) +
                                        " MiB; the files have " + std::to_string(source.size()) +
                                        " and " + std::to_string(target.size()) + " bytes");
    }
    Bytes head(BpsMagic.begin(), BpsMagic.end());
    PutNumber(head, source.size());
    PutNumber(head, target.size());
    PutNumber(head, 0); // no metadata
    Bytes plain = head;
    Encoder(source, target, false).Run(plain);
    Bytes copied = std::move(head);
    Encoder(source, target, true).Run(copied);
    patch = std::move(copied.size() < plain.size() ? copied : plain);
    PutCrc(patch, Crc(source));
    PutCrc(patch, Crc(target));
    PutCrc(patch, Crc(patch));
    return Done();
}

Result ApplyBps(const std::vector<uint8_t>& patch, const std::string& name,
                std::vector<uint8_t>& data) {
    if (!StartsWith(patch, BpsMagic)) {
        return NotThisFormat(name, "a BPS", BpsMagic);
    }
    if (patch.size() < BpsMagic.size() + 3 + FooterSize) {
        return FileFail(Fault::BadData, name,
                        "the patch is cut short (" + std::to_string(patch.size()) +
                            " bytes; even an empty one has 19)");
    }
    const std::size_t footer = patch.size() - FooterSize;
    const uint32_t patchCrc = Crc(patch.data(), patch.size() - 4);
    if (patchCrc != Little32(patch, footer + 8)) {
        return FileFail(Fault::BadData, name,
                        "the patch is damaged or cut short (its CRC32 is " + Hex(patchCrc) +
                            ", its last bytes say " + Hex(Little32(patch, footer + 8)) + ")");
    }
    Reader in(patch, name);
    uint64_t sourceSize = 0, targetSize = 0, metadataSize = 0;
    for (auto [value, what] :
         {std::pair{&sourceSize, "the source size"}, std::pair{&targetSize, "the target size"},
          std::pair{&metadataSize, "the metadata size"}}) {
        if (Result read = in.Number(*value, what); !read.Ok()) {
            return read;
        }
    }
    if (metadataSize > in.Left()) {
        return Malformed(name, in.Pos(),
                         "metadata of " + std::to_string(metadataSize) +
                             " bytes runs into the checksums at the end");
    }
    in.Skip(static_cast<std::size_t>(metadataSize));

    const uint32_t sourceCrc = Little32(patch, footer);
    const uint32_t targetCrc = Little32(patch, footer + 4);
    const uint32_t dataCrc = Crc(data);
    if (data.size() != sourceSize || dataCrc != sourceCrc) {
        if (data.size() == targetSize && dataCrc == targetCrc) {
            return FileFail(Fault::BadData, name,
                            "the patch is already applied (the file's CRC32 " + Hex(dataCrc) +
                                " is the patched one's)");
        }
        const std::string sizes = data.size() == sourceSize
                                      ? ""
                                      : "; it has " + std::to_string(data.size()) +
                                            " bytes, the patch expects " +
                                            std::to_string(sourceSize);
        return FileFail(Fault::BadData, name,
                        "this patch is for another ROM (the ROM's CRC32 is " + Hex(dataCrc) +
                            ", the patch expects " + Hex(sourceCrc) + sizes + ")");
    }
    if (targetSize > MaxInputSize) {
        return FileFail(Fault::BadData, name,
                        "the patched file would have " + std::to_string(targetSize) +
                            " bytes, more than the " + std::to_string(MaxInputSize >> 20) +
                            " MiB this tool handles");
    }

    const auto size = static_cast<std::size_t>(targetSize);
    Bytes out;
    out.reserve(std::min(size, data.size() + patch.size()));
    std::size_t sourceCursor = 0, targetCursor = 0;
    while (!in.AtEnd()) {
        const std::size_t start = in.Pos();
        uint64_t word = 0;
        if (Result read = in.Number(word, "an action"); !read.Ok()) {
            return read;
        }
        const auto action = static_cast<Action>(word & 3);
        const uint64_t length = (word >> 2) + 1;
        const auto refuse = [&](const std::string& why) {
            static const char* const Names[] = {"SourceRead", "TargetRead", "SourceCopy",
                                                "TargetCopy"};
            return Malformed(name, start,
                             std::string("a ") + Names[action] + " of " + std::to_string(length) +
                                 " bytes " + why);
        };
        if (length > size - out.size()) {
            return refuse("at " + std::to_string(out.size()) + " writes past the patched file's " +
                          std::to_string(size) + " bytes");
        }
        const auto n = static_cast<std::size_t>(length);
        switch (action) {
        case SourceRead:
            if (out.size() + n > data.size()) {
                return refuse("at " + std::to_string(out.size()) + " reads past the source's " +
                              std::to_string(data.size()) + " bytes");
            }
            out.insert(out.end(), data.begin() + static_cast<long>(out.size()),
                       data.begin() + static_cast<long>(out.size() + n));
            break;
        case TargetRead:
            if (n > in.Left()) {
                return refuse("runs into the checksums at the end");
            }
            out.insert(out.end(), patch.begin() + static_cast<long>(in.Pos()),
                       patch.begin() + static_cast<long>(in.Pos() + n));
            in.Skip(n);
            break;
        case SourceCopy:
        case TargetCopy: {
            const bool fromSource = action == SourceCopy;
            uint64_t offset = 0;
            if (Result read = in.Number(offset, "a copy's offset"); !read.Ok()) {
                return read;
            }
            std::size_t& cursor = fromSource ? sourceCursor : targetCursor;
            const std::size_t was = cursor;
            // A target copy may start only at a byte already written.
            const std::size_t limit = fromSource ? data.size() : out.size();
            if (!Move(cursor, offset, limit) || (fromSource && n > limit - cursor)) {
                return refuse("reads outside the " +
                              (fromSource ? "source's " + std::to_string(limit) + " bytes"
                                          : std::to_string(limit) + " bytes written so far") +
                              " (offset " + (offset & 1 ? "-" : "+") + std::to_string(offset >> 1) +
                              " from " + std::to_string(was) + ")");
            }
            if (fromSource) {
                out.insert(out.end(), data.begin() + static_cast<long>(cursor),
                           data.begin() + static_cast<long>(cursor + n));
            } else {
                // One byte at a time: a copy may overlap what it writes, repeating it.
                for (std::size_t i = 0; i < n; ++i) {
                    const uint8_t byte = out[cursor + i];
                    out.push_back(byte);
                }
            }
            cursor += n;
            break;
        }
        }
    }
    if (out.size() != size) {
        return Malformed(name, in.Pos(),
                         "the actions end after " + std::to_string(out.size()) + " of the " +
                             std::to_string(size) + " bytes of the patched file");
    }
    if (const uint32_t crc = Crc(out); crc != targetCrc) {
        return FileFail(Fault::BadData, name,
                        "the patched file's CRC32 is " + Hex(crc) + ", the patch expects " +
                            Hex(targetCrc));
    }
    data.swap(out);
    return Done();
}

} // namespace formats
