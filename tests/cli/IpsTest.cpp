#include <gtest/gtest.h>

#include "CliTestSupport.h"
#include "cli/Ips.h"

namespace {

using namespace clitest;

Bytes Patch(const Bytes& original, const Bytes& edited) {
    Bytes patch;
    EXPECT_TRUE(cli::MakeIps(original, edited, patch).Ok());
    return patch;
}

Bytes Apply(const Bytes& original, const Bytes& patch) {
    Bytes data = original;
    const cli::Outcome result = cli::ApplyIps(patch, "p.ips", data);
    EXPECT_TRUE(result.Ok()) << result.message;
    return data;
}

Bytes Counting(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    }
    return bytes;
}

TEST(Ips, DiffThenPatchGivesTheEditedFile) {
    const Bytes original = Counting(300000);
    Bytes scattered = original;
    for (std::size_t i = 5; i < scattered.size(); i += 977) {
        scattered[i] ^= 0x5A;
    }
    Bytes bigRecord = original; // one change longer than a record can hold
    for (std::size_t i = 1000; i < 1000 + 70000; ++i) {
        bigRecord[i] = static_cast<uint8_t>(~bigRecord[i]);
    }
    Bytes longer = original;
    longer.insert(longer.end(), 5000, 0);
    longer.push_back(9);
    const Bytes shorter(original.begin(), original.begin() + 123457);
    Bytes shorterChanged = shorter;
    shorterChanged[0] = 1;
    const Bytes cases[] = {original, scattered,      bigRecord, longer,
                           shorter,  shorterChanged, Bytes()};
    for (const Bytes& edited : cases) {
        EXPECT_EQ(Apply(original, Patch(original, edited)), edited) << edited.size();
    }
    EXPECT_EQ(Patch(original, original), Bytes({'P', 'A', 'T', 'C', 'H', 'E', 'O', 'F'}));
}

TEST(Ips, RunsOfOneByteBecomeRunRecordsAndTruncationIsMarked) {
    const Bytes original(100000, 1);
    Bytes edited = original;
    std::fill(edited.begin() + 10, edited.begin() + 90000, 0xEE);
    const Bytes patch = Patch(original, edited);
    // "PATCH", two run records (65,535 and the rest), "EOF".
    EXPECT_EQ(patch.size(), 5u + 8u + 8u + 3u);
    EXPECT_EQ(Apply(original, patch), edited);

    const Bytes shorter(original.begin(), original.begin() + 0x10203);
    const Bytes cut = Patch(original, shorter);
    EXPECT_EQ(cut, Bytes({'P', 'A', 'T', 'C', 'H', 'E', 'O', 'F', 0x01, 0x02, 0x03}));
}

TEST(Ips, NoRecordStartsWhereItWouldReadAsTheEndMark) {
    constexpr std::size_t mark = 0x454F46; // "EOF" as an offset
    const Bytes original(mark + 100, 0);
    Bytes literal = original;
    literal[mark] = 1;
    literal[mark + 2] = 2;
    Bytes run = original;
    std::fill(run.begin() + mark, run.begin() + mark + 40, 3);
    for (const Bytes& edited : {literal, run}) {
        const Bytes patch = Patch(original, edited);
        EXPECT_EQ(Apply(original, patch), edited);
        EXPECT_EQ(std::search(patch.begin() + 5, patch.end() - 3, std::begin("EOF"),
                              std::begin("EOF") + 3),
                  patch.end() - 3);
    }
}

TEST(Ips, RefusesFilesBeyondSixteenMebibytes) {
    const Bytes small(10, 0);
    const Bytes big(cli::IpsReach + 1, 0);
    Bytes patch;
    EXPECT_EQ(cli::MakeIps(small, big, patch).code, cli::ExitBadData);
    EXPECT_EQ(cli::MakeIps(big, small, patch).code, cli::ExitBadData);
    EXPECT_TRUE(cli::MakeIps(small, Bytes(cli::IpsReach, 1), patch).Ok());
}

TEST(Ips, MalformedPatchesNameTheOffsetAndChangeNothing) {
    const Bytes head = {'P', 'A', 'T', 'C', 'H'};
    const auto with = [&](std::initializer_list<uint8_t> tail) {
        Bytes b = head;
        b.insert(b.end(), tail);
        return b;
    };
    struct Case {
        Bytes patch;
        std::string message;
    } cases[] = {
        {{'P', 'A', 'T'}, "offset 0 (0x0): not an IPS patch (it does not start with PATCH)"},
        {with({0, 0, 1, 0, 2, 9, 9}), "offset 12 (0xC): the patch ends without its EOF mark"},
        {with({0, 0, 1, 0}), "offset 5 (0x5): a record header is cut short"},
        {with({0, 0, 1, 0, 5, 9, 'E', 'O', 'F'}),
         "offset 5 (0x5): a record of 5 bytes runs past the end of the patch"},
        {with({0, 0, 1, 0, 1, 7, 0, 0, 1}), "offset 11 (0xB): a record header is cut short"},
        {with({0, 0, 1, 0, 0, 0, 4}), "offset 5 (0x5): a run record is cut short"},
        {with({0, 0, 1, 0, 0, 0, 0, 7, 'E', 'O', 'F'}), "offset 5 (0x5): a run record of length 0"},
        {with({'E', 'O', 'F', 1}), "offset 8 (0x8): 1 unexpected bytes after the EOF mark"},
        {with({'E', 'O', 'F', 0, 1, 0}),
         "offset 8 (0x8): the truncation length 256 is beyond the patched file's 16 bytes"},
    };
    for (const Case& c : cases) {
        Bytes data(16, 0xAB);
        const cli::Outcome result = cli::ApplyIps(c.patch, "p.ips", data);
        EXPECT_EQ(result.code, cli::ExitBadData);
        EXPECT_EQ(result.message, "p.ips: " + c.message);
        EXPECT_EQ(data, Bytes(16, 0xAB));
    }
}

} // namespace
