// IPS and BPS patches: BPS patches put together by hand from the format's description, round
// trips of both over random pairs, refusals, and the sizes of typical map edits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <zlib.h>

#include "demo/DemoParts.h"
#include "demo/DemoRom.h"
#include "formats/Bps.h"
#include "formats/Ips.h"
#include "formats/Patch.h"
#include "tests/support/MapGrids.h"
#include "worldmap/WorldMap.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::string_literals;
const auto npos = std::string::npos;
const formats::Fault BadData = formats::Fault::BadData;

const auto Of = [](const std::string& text) { return Bytes(text.begin(), text.end()); };

std::string Crc(const Bytes& of) {
    char text[9];
    std::snprintf(text, sizeof text, "%08lX", crc32(0, of.data(), static_cast<uInt>(of.size())));
    return text;
}

void PutCrc(Bytes& out, const Bytes& of) {
    const uLong crc = crc32(0, of.data(), static_cast<uInt>(of.size()));
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    }
}

// The header and actions given, with the three checksums after them.
Bytes Sealed(Bytes patch, const Bytes& source, const Bytes& target) {
    PutCrc(patch, source);
    PutCrc(patch, target);
    PutCrc(patch, patch);
    return patch;
}

const auto Apply = [](const Bytes& p, Bytes& data) { return formats::ApplyBps(p, "p.bps", data); };

template <class Maker> Bytes Made(Maker maker, const Bytes& source, const Bytes& target) {
    Bytes patch;
    EXPECT_TRUE(maker(source, target, patch).Ok());
    return patch;
}
const auto MakeBps = [](const Bytes& a, const Bytes& b) { return Made(formats::MakeBps, a, b); };
const auto MakeIps = [](const Bytes& a, const Bytes& b) { return Made(formats::MakeIps, a, b); };

// `original` with an IPS patch that must apply.
Bytes IpsApplied(const Bytes& original, const Bytes& patch) {
    Bytes data = original;
    const formats::Result result = formats::ApplyIps(patch, "p.ips", data);
    EXPECT_TRUE(result.Ok()) << result.message;
    return data;
}

TEST(Bps, AppliesPatchesPutTogetherByHand) {
    // The empty patch of an empty file.
    Bytes empty;
    const Bytes none = Sealed(Of("BPS1\x80\x80\x80"), {}, {});
    EXPECT_TRUE(Apply(none, empty).Ok());
    EXPECT_EQ(empty, Bytes());

    // Every action, metadata to skip, copies from both cursors forwards and back, and a
    // target copy overlapping what it writes.
    const Bytes source = Of("ABCDEFGHIJ");
    const Bytes target = Of("ABCDxyxyxyxyHIJCDEzzzz");
    const Bytes actions = Of("BPS1\x8A\x96\x83" // sizes 10 and 22, 3 bytes of metadata
                             "abc"
                             "\x8C"        // SourceRead 4
                             "\x85xy"      // TargetRead 2
                             "\x97\x88"    // TargetCopy 6 from +4: xyxyxy
                             "\x8A\x8E"    // SourceCopy 3 from +7: HIJ
                             "\x8A\x91"    // SourceCopy 3 from -8: CDE
                             "\x81z"       // TargetRead 1
                             "\x8B\x90"s); // TargetCopy 3 from +8: zzz
    Bytes data = source;
    const formats::Result result = Apply(Sealed(actions, source, target), data);
    EXPECT_TRUE(result.Ok()) << result.message;
    EXPECT_EQ(data, target);

    // Two-byte numbers: a target of 200 bytes, one byte repeated 199 times.
    Bytes run;
    const formats::Result ran =
        Apply(Sealed(Of("BPS1\x80\x48\x80\x80\x81q\x1B\x85\x80"s), {}, Bytes(200, 'q')), run);
    EXPECT_TRUE(ran.Ok()) << ran.message;
    EXPECT_EQ(run, Bytes(200, 'q'));

    EXPECT_EQ(formats::TellPatchFormat(none), formats::PatchFormat::Bps);
    EXPECT_EQ(formats::TellPatchFormat(Of("PATCHEOF")), formats::PatchFormat::Ips);
    EXPECT_EQ(formats::TellPatchFormat(Of("BPS")), formats::PatchFormat::Unknown);
}

// A file with the kinds of data a ROM holds: noise, runs of one byte, repeated blocks.
Bytes RandomFile(std::mt19937& rng, std::size_t size) {
    Bytes out;
    while (out.size() < size) {
        const std::size_t n = 1 + rng() % 300;
        switch (rng() % 3) {
        case 0:
            for (std::size_t i = 0; i < n; ++i) {
                out.push_back(static_cast<uint8_t>(rng()));
            }
            break;
        case 1:
            out.insert(out.end(), n, static_cast<uint8_t>(rng()));
            break;
        default:
            if (!out.empty()) {
                const std::size_t from = rng() % out.size();
                const Bytes block(out.begin() + static_cast<long>(from),
                                  out.begin() + static_cast<long>(std::min(out.size(), from + n)));
                out.insert(out.end(), block.begin(), block.end());
            }
        }
    }
    out.resize(size);
    return out;
}

// `source` with a few edits: bytes changed, blocks inserted, deleted or moved, runs, the
// end cut or extended.
Bytes Edited(std::mt19937& rng, Bytes data) {
    const auto at = [&] { return data.empty() ? 0 : static_cast<long>(rng() % data.size()); };
    for (int edits = 1 + static_cast<int>(rng() % 4); edits > 0; --edits) {
        const std::size_t n = 1 + rng() % 2000;
        const long from = at();
        const long to = std::min<long>(from + static_cast<long>(n), static_cast<long>(data.size()));
        switch (rng() % 6) {
        case 0:
            for (long i = from; i < to; i += 1 + static_cast<long>(rng() % 50)) {
                data[static_cast<std::size_t>(i)] = static_cast<uint8_t>(rng());
            }
            break;
        case 1: {
            const Bytes block = RandomFile(rng, n);
            data.insert(data.begin() + from, block.begin(), block.end());
            break;
        }
        case 2:
            data.erase(data.begin() + from, data.begin() + to);
            break;
        case 3: {
            const Bytes block(data.begin() + from, data.begin() + to);
            data.erase(data.begin() + from, data.begin() + to);
            data.insert(data.begin() + at(), block.begin(), block.end());
            break;
        }
        case 4:
            std::fill(data.begin() + from, data.begin() + to, static_cast<uint8_t>(rng()));
            break;
        default:
            data.resize(rng() % 2 ? data.size() / 2 : data.size() + n, static_cast<uint8_t>(n));
        }
    }
    return data;
}

TEST(Bps, RoundTripsRandomPairsAndBeatsIps) {
    std::mt19937 rng(7);
    std::size_t bpsTotal = 0, ipsTotal = 0;
    for (int pair = 0; pair < 150; ++pair) {
        const Bytes source = RandomFile(rng, rng() % 70000);
        const Bytes target = Edited(rng, source);
        const Bytes bps = MakeBps(source, target);
        Bytes data = source;
        const formats::Result result = Apply(bps, data);
        ASSERT_TRUE(result.Ok()) << pair << ": " << result.message;
        ASSERT_EQ(data, target) << pair;
        // IPS round-trips too: records cut at 65,535 bytes, files grown and cut.
        const Bytes ipsPatch = MakeIps(source, target);
        ASSERT_EQ(IpsApplied(source, ipsPatch), target) << pair;
        const std::size_t ips = ipsPatch.size();
        // BPS's sizes and checksums take 15 bytes more than IPS's frame, and a run or the
        // SourceRead that ends a file a few more: a patch of a few changes may be larger.
        EXPECT_LE(bps.size(), ips + 24) << pair;
        if (ips >= 400) {
            EXPECT_LE(bps.size(), ips) << pair;
        }
        bpsTotal += bps.size();
        ipsTotal += ips;
    }
    EXPECT_LT(bpsTotal * 5, ipsTotal);
}

TEST(Bps, RefusesBadPatchesAndChangesNothing) {
    const Bytes source = Of("ABCDEFGHIJ");
    const Bytes made = MakeBps(source, Of("ABCDEFGHIJ-ABCDEFGHIJ"));
    Bytes flipped = made;
    flipped[9] ^= 0x10;
    const auto refused = [&](const Bytes& patch, const Bytes& file) {
        Bytes data = file;
        const formats::Result result = Apply(patch, data);
        EXPECT_EQ(data, file);
        EXPECT_EQ(result.fault, BadData);
        return result.message;
    };
    // Actions sealed with right checksums: only the action is wrong.
    const auto action = [&](const std::string& bytes, std::size_t targetSize = 10) {
        Bytes patch = Of("BPS1\x8A"s);
        patch.push_back(static_cast<uint8_t>(0x80 | targetSize));
        patch.push_back(0x80);
        const Bytes body = Of(bytes);
        patch.insert(patch.end(), body.begin(), body.end());
        return refused(Sealed(patch, source, Bytes(targetSize, 'A')), source);
    };
    const std::pair<std::string, std::string> cases[] = {
        {refused(Of("BPS"), source), "p.bps: offset 0 (0x0): not a BPS patch (it does not start "
                                     "with BPS1)"},
        {refused(Bytes(made.begin(), made.end() - 1), source),
         "p.bps: the patch is damaged or cut short"},
        {refused(Bytes(made.begin(), made.begin() + 10), source), "p.bps: the patch is cut short"},
        {refused(flipped, source), "p.bps: the patch is damaged"},
        {action("\xA8"), "offset 7 (0x7): a SourceRead of 11 bytes at 0 writes past the patched "
                         "file's 10 bytes"},
        {action("\x90\x98", 20), "offset 8 (0x8): a SourceRead of 7 bytes at 5 reads past the "
                                 "source's 10 bytes"},
        {action("\x82\x94"), "offset 7 (0x7): a SourceCopy of 1 bytes reads outside the source's "
                             "10 bytes (offset +10 from 0)"},
        {action("\x8A\x8E\x8A\x80"), "offset 9 (0x9): a SourceCopy of 3 bytes reads outside"},
        {action("\x8A\x83"), "offset 7 (0x7): a SourceCopy of 3 bytes reads outside the source's "
                             "10 bytes (offset -1 from 0)"},
        {action("\x83\x80"), "offset 7 (0x7): a TargetCopy of 1 bytes reads outside the 0 bytes "
                             "written so far"},
        {action("\x81\x41\x87\x82"), "offset 9 (0x9): a TargetCopy of 2 bytes reads outside the 1 "
                                     "bytes written so far (offset +1 from 0)"},
        {action("\x81\x41\x01\x01\x01\x01\x01\x01\x01\x01\x80"),
         "offset 9 (0x9): an action is too large"},
        {action("\x8D\x41\x41\x41"), "offset 7 (0x7): a TargetRead of 4 bytes runs into the "
                                     "checksums"},
        {action("\x8C"), "offset 8 (0x8): the actions end after 4 of the 10 bytes"},
        {action("\x81"), "offset 7 (0x7): a TargetRead of 1 bytes runs into"},
        {action("\x01"), "offset 7 (0x7): an action runs into the checksums"},
    };
    for (const auto& [message, expected] : cases) {
        EXPECT_NE(message.find(expected), npos) << message;
    }
    // The file tells another ROM from one already patched; an action table that builds a file
    // other than the one the patch names is caught by its CRC32.
    EXPECT_EQ(refused(made, Of("ABCDEFGHIJ-ABCDEFGHIJ")),
              "p.bps: the patch is already applied (the file's CRC32 " +
                  Crc(Of("ABCDEFGHIJ-ABCDEFGHIJ")) + " is the patched one's)");
    EXPECT_EQ(refused(made, Of("ABCDEFGHIK")),
              "p.bps: this patch is for another ROM (the ROM's CRC32 is " + Crc(Of("ABCDEFGHIK")) +
                  ", the patch expects " + Crc(source) + ")");
    EXPECT_EQ(refused(made, Of("ABC")),
              "p.bps: this patch is for another ROM (the ROM's CRC32 is " + Crc(Of("ABC")) +
                  ", the patch expects " + Crc(source) + "; it has 3 bytes, the patch expects 10)");
    // TargetRead B, then B copied once and eight times more: ten Bs, where the patch names
    // ten As.
    EXPECT_EQ(action("\x81\x42\x83\x80\x9F\x81"), "p.bps: the patched file's CRC32 is " +
                                                      Crc(Bytes(10, 'B')) + ", the patch expects " +
                                                      Crc(Bytes(10, 'A')));
}

// The three kinds of map edit a user makes, stored as the editor stores them, patched both
// ways. Prints rows for the README's table.
TEST(Bps, TypicalMapEditsMakeSmallerPatchesThanIps) {
    auto rom = std::make_unique<CRomImage>();
    demo::BuildDemoRom(*rom);
    const Bytes original(rom->RomBytes, rom->RomBytes + RomFileSize);
    const auto store = [&](int mapId, const worldmap::Grid& grid) {
        auto edited = std::make_unique<CRomImage>(*rom);
        EXPECT_TRUE(worldmap::StoreWorldMap(*edited, mapId, grid, worldmap::CountFreeBytes(*rom)));
        return Bytes(edited->RomBytes, edited->RomBytes + RomFileSize);
    };
    worldmap::Grid cell = testsupport::Decode(*rom, 0);
    cell[100 * 256 + 100] = cell[100 * 256 + 100] == demo::Town ? demo::Castle : demo::Town;
    worldmap::Grid island = testsupport::Decode(*rom, 1);
    for (int y = -12; y <= 12; ++y) {
        for (int x = -14; x <= 14; ++x) {
            if (x * x * 144 + y * y * 196 <= 144 * 196) { // an ellipse of some 530 cells
                island[static_cast<std::size_t>((120 + y) * 256 + 60 + x)] = demo::Grass;
            }
        }
    }
    worldmap::Grid repainted{};
    demo::MakeDemoMap(3, repainted); // the sea floor's generator in place of the continents
    const struct {
        const char* what;
        Bytes edited;
    } edits[] = {
        {"one cell of map 0 (the maps after it move)", store(0, cell)},
        {"an island of some 530 cells on map 1", store(1, island)},
        {"map 2 replaced by another generated map", store(2, repainted)},
    };
    std::printf("| Edit | IPS bytes | BPS bytes |\n|---|---:|---:|\n");
    for (const auto& e : edits) {
        ASSERT_NE(e.edited, original) << e.what;
        const Bytes bps = MakeBps(original, e.edited);
        const Bytes ips = MakeIps(original, e.edited);
        std::printf("| %s | %zu | %zu |\n", e.what, ips.size(), bps.size());
        EXPECT_LE(bps.size(), ips.size()) << e.what;
        Bytes data = original;
        EXPECT_TRUE(Apply(bps, data).Ok());
        EXPECT_EQ(data, e.edited);
    }
    EXPECT_LE(MakeBps(original, edits[0].edited).size() * 4,
              MakeIps(original, edits[0].edited).size());
}

// Runs of one byte become run records, a cut is marked, no record starts at the offset that
// reads as "EOF", and files beyond the format's reach are refused.
TEST(Ips, RunRecordsTruncationTheEndMarkAndTheReach) {
    constexpr std::size_t mark = 0x454F46;
    const Bytes original(mark + 100, 0);
    Bytes runs = original, literal = original, atMark = original;
    std::fill(runs.begin() + 10, runs.begin() + 90000, 0xEE);
    EXPECT_EQ(MakeIps(original, original), Bytes({'P', 'A', 'T', 'C', 'H', 'E', 'O', 'F'}));
    EXPECT_EQ(MakeIps(original, runs).size(), 5u + 8u + 8u + 3u); // runs of 65,535 and the rest
    EXPECT_EQ(IpsApplied(original, MakeIps(original, runs)), runs);
    EXPECT_EQ(MakeIps(original, Bytes(original.begin(), original.begin() + 0x10203)),
              Bytes({'P', 'A', 'T', 'C', 'H', 'E', 'O', 'F', 0x01, 0x02, 0x03}));
    literal[mark] = 1;
    literal[mark + 2] = 2;
    for (std::size_t i = 100; i < 70100; ++i) { // a change longer than a record holds
        literal[i] = static_cast<uint8_t>(i * 7 + i / 251);
    }
    std::fill(atMark.begin() + mark, atMark.begin() + mark + 40, 3);
    for (const Bytes& edited : {literal, atMark}) {
        const Bytes patch = MakeIps(original, edited);
        EXPECT_EQ(IpsApplied(original, patch), edited);
        EXPECT_EQ(std::string(patch.begin() + 5, patch.end() - 3).find("EOF"), npos);
    }
    const Bytes small(10, 0), big(formats::IpsReach + 1, 0);
    Bytes out;
    EXPECT_EQ(formats::MakeIps(small, big, out).fault, BadData);
    EXPECT_EQ(formats::MakeIps(big, small, out).fault, BadData);
    EXPECT_TRUE(formats::MakeIps(small, Bytes(formats::IpsReach, 1), out).Ok());
    const std::string last = "PATCH\xFF\xFF\xFF\0\1\x42"
                             "EOF"s; // the last byte in reach
    EXPECT_EQ(IpsApplied(small, Bytes(last.begin(), last.end())).size(), formats::IpsReach);
}

TEST(Ips, MalformedPatchesNameTheOffsetAndChangeNothing) {
    const std::pair<std::string, std::string> cases[] = {
        {"PAT", "offset 0 (0x0): not an IPS patch (it does not start with PATCH)"},
        {"PATCH\0\0\1\0\2\t\t"s, "offset 12 (0xC): the patch ends without its EOF mark"},
        {"PATCH\0\0\1\0"s, "offset 5 (0x5): a record header is cut short"},
        {"PATCH\0\0\1\0\5\tEOF"s,
         "offset 5 (0x5): a record of 5 bytes runs past the end of the patch"},
        {"PATCH\0\0\1\0\0\0\4"s, "offset 5 (0x5): a run record is cut short"},
        {"PATCH\0\0\1\0\0\0\0\7EOF"s, "offset 5 (0x5): a run record of length 0"},
        {"PATCHEOF\1", "offset 8 (0x8): 1 unexpected bytes after the EOF mark"},
        {"PATCH\xFF\xFF\xFF\0\2abEOF"s,
         "offset 5 (0x5): a record of 2 bytes at 0xFFFFFF ends past the 16 MiB the format reaches"},
        {"PATCH\0\0\0\0\0\0\1\0\xFF\xFF\xF0\0\0\0\x20\7EOF"s,
         "offset 13 (0xD): a record of 32 bytes at 0xFFFFF0 ends past the 16 MiB the format "
         "reaches"},
        {"PATCHEOF\0\1\0"s,
         "offset 8 (0x8): the truncation length 256 is beyond the patched file's 16 bytes"},
    };
    for (const auto& [patch, message] : cases) {
        Bytes data(16, 0xAB);
        const formats::Result result =
            formats::ApplyIps(Bytes(patch.begin(), patch.end()), "p.ips", data);
        EXPECT_EQ(std::pair(result.fault, result.message), std::pair(BadData, "p.ips: " + message));
        EXPECT_EQ(data, Bytes(16, 0xAB));
    }
}

} // namespace
