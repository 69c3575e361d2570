#include "formats/Ips.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "formats/Patch.h"

namespace formats {

namespace {

constexpr uint8_t EndMark[3] = {'E', 'O', 'F'};
// A record at this offset would read as the end mark, so none may start here.
constexpr std::size_t EndMarkOffset = 0x454F46;
constexpr std::size_t MaxRecord = 0xFFFF;
constexpr std::size_t RecordHeader = 5;
constexpr std::size_t RunRecord = 8;
// Equal bytes between two changes that are cheaper to repeat than a new record header.
constexpr std::size_t MergeGap = RecordHeader - 1;

class IpsWriter {
  public:
    IpsWriter(const std::vector<uint8_t>& edited, std::vector<uint8_t>& out)
        : edited_(edited), out_(out) {}

    // One span of changed bytes: literal records with the runs that pay for themselves
    // cut out as run records.
    void Span(std::size_t start, std::size_t end) {
        std::size_t literal = start;
        std::size_t i = start;
        while (i < end) {
            std::size_t j = i + 1;
            while (j < end && edited_[j] == edited_[i]) {
                ++j;
            }
            const std::size_t run = j - i;
            const bool opensLiteral = i == literal;
            const bool endsSpan = j == end;
            const std::size_t worth = opensLiteral && endsSpan   ? RunRecord - RecordHeader
                                      : opensLiteral || endsSpan ? RunRecord
                                                                 : RunRecord + RecordHeader;
            if (run > worth) {
                Literal(literal, i - literal);
                Run(i, run);
                literal = j;
            }
            i = j;
        }
        Literal(literal, end - literal);
    }

  private:
    void Header(std::size_t offset, std::size_t size) {
        out_.push_back(static_cast<uint8_t>(offset >> 16));
        out_.push_back(static_cast<uint8_t>(offset >> 8));
        out_.push_back(static_cast<uint8_t>(offset));
        out_.push_back(static_cast<uint8_t>(size >> 8));
        out_.push_back(static_cast<uint8_t>(size));
    }

    void Literal(std::size_t offset, std::size_t size) {
        while (size > 0) {
            // Starting one byte early (rewriting an unchanged byte) steps off the end mark.
            const std::size_t extra = offset == EndMarkOffset ? 1 : 0;
            const std::size_t chunk = std::min(size, MaxRecord - extra);
            Header(offset - extra, chunk + extra);
            out_.insert(out_.end(), edited_.begin() + static_cast<long>(offset - extra),
                        edited_.begin() + static_cast<long>(offset + chunk));
            offset += chunk;
            size -= chunk;
        }
    }

    void Run(std::size_t offset, std::size_t count) {
        const uint8_t value = edited_[offset];
        while (count > 0) {
            if (offset == EndMarkOffset) {
                Literal(offset, 1);
                ++offset;
                --count;
                continue;
            }
            const std::size_t chunk = std::min(count, MaxRecord);
            Header(offset, 0);
            out_.push_back(static_cast<uint8_t>(chunk >> 8));
            out_.push_back(static_cast<uint8_t>(chunk));
            out_.push_back(value);
            offset += chunk;
            count -= chunk;
        }
    }

    const std::vector<uint8_t>& edited_;
    std::vector<uint8_t>& out_;
};

struct Record {
    std::size_t offset;
    std::size_t size;
    std::size_t data; // where the bytes start in the patch; unused for runs
    bool run;
    uint8_t value;
};

std::size_t Big(const std::vector<uint8_t>& p, std::size_t at, int bytes) {
    std::size_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value = value << 8 | p[at + static_cast<std::size_t>(i)];
    }
    return value;
}

} // namespace

Result MakeIps(const std::vector<uint8_t>& original, const std::vector<uint8_t>& edited,
               std::vector<uint8_t>& patch) {
    if (original.size() > IpsReach || edited.size() > IpsReach) {
        return Fail(Fault::BadData, "an IPS patch reaches only the first 16 MiB; the files have " +
                                        std::to_string(original.size()) + " and " +
                                        std::to_string(edited.size()) + " bytes");
    }
    patch.assign(IpsMagic.begin(), IpsMagic.end());
    IpsWriter writer(edited, patch);
    const auto differs = [&](std::size_t i) {
        return i >= original.size() || original[i] != edited[i];
    };
    std::size_t i = 0;
    while (i < edited.size()) {
        if (!differs(i)) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        std::size_t end = i + 1;
        // Extend over short stretches of equal bytes that are cheaper than a new header.
        for (std::size_t k = end; k < edited.size() && k - end <= MergeGap; ++k) {
            if (differs(k)) {
                end = k + 1;
            }
        }
        writer.Span(start, end);
        i = end;
    }
    patch.insert(patch.end(), EndMark, EndMark + sizeof EndMark);
    if (edited.size() < original.size()) {
        const std::size_t size = edited.size();
        patch.push_back(static_cast<uint8_t>(size >> 16));
        patch.push_back(static_cast<uint8_t>(size >> 8));
        patch.push_back(static_cast<uint8_t>(size));
    }
    return Done();
}

Result ApplyIps(const std::vector<uint8_t>& patch, const std::string& name,
                std::vector<uint8_t>& data) {
    if (!StartsWith(patch, IpsMagic)) {
        return NotThisFormat(name, "an IPS", IpsMagic);
    }
    std::vector<Record> records;
    std::size_t pos = IpsMagic.size();
    std::size_t size = data.size();
    while (true) {
        if (pos + sizeof EndMark > patch.size()) {
            return Malformed(name, pos, "the patch ends without its EOF mark");
        }
        if (std::memcmp(patch.data() + pos, EndMark, sizeof EndMark) == 0) {
            pos += sizeof EndMark;
            break;
        }
        if (pos + RecordHeader > patch.size()) {
            return Malformed(name, pos, "a record header is cut short");
        }
        Record r{Big(patch, pos, 3), Big(patch, pos + 3, 2), pos + RecordHeader, false, 0};
        if (r.size == 0) {
            if (pos + RunRecord > patch.size()) {
                return Malformed(name, pos, "a run record is cut short");
            }
            r.size = Big(patch, pos + RecordHeader, 2);
            r.run = true;
            r.value = patch[pos + RecordHeader + 2];
            if (r.size == 0) {
                return Malformed(name, pos, "a run record of length 0");
            }
            pos += RunRecord;
        } else {
            if (r.data + r.size > patch.size()) {
                return Malformed(name, pos,
                                 "a record of " + std::to_string(r.size) +
                                     " bytes runs past the end of the patch");
            }
            pos = r.data + r.size;
        }
        if (r.offset + r.size > IpsReach) {
            char at[24];
            std::snprintf(at, sizeof at, "0x%zX", r.offset);
            return Malformed(name, r.data - RecordHeader,
                             "a record of " + std::to_string(r.size) + " bytes at " + at +
                                 " ends past the 16 MiB the format reaches");
        }
        size = std::max(size, r.offset + r.size);
        records.push_back(r);
    }
    const std::size_t rest = patch.size() - pos;
    if (rest != 0 && rest != 3) {
        return Malformed(name, pos, std::to_string(rest) + " unexpected bytes after the EOF mark");
    }
    if (rest == 3) {
        const std::size_t truncate = Big(patch, pos, 3);
        if (truncate > size) {
            return Malformed(name, pos,
                             "the truncation length " + std::to_string(truncate) +
                                 " is beyond the patched file's " + std::to_string(size) +
                                 " bytes");
        }
        size = truncate;
    }
    // Valid throughout: now apply.
    std::vector<uint8_t> out(data);
    for (const Record& r : records) {
        if (out.size() < r.offset + r.size) {
            out.resize(r.offset + r.size, 0);
        }
        if (r.run) {
            std::fill_n(out.begin() + static_cast<long>(r.offset), r.size, r.value);
        } else {
            std::copy_n(patch.begin() + static_cast<long>(r.data), r.size,
                        out.begin() + static_cast<long>(r.offset));
        }
    }
    out.resize(size);
    data.swap(out);
    return Done();
}

} // namespace formats
