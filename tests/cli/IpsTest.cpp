#include <gtest/gtest.h>

#include <algorithm>

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

TEST(Ips, DiffThenPatchGivesTheEditedFile) {
    Bytes original(300000);
    for (std::size_t i = 0; i < original.size(); ++i) {
        original[i] = static_cast<uint8_t>(i * 7 + i / 251);
    }
    // Unchanged; scattered changes; one change longer than a record holds; longer; shorter,
    // as a cut and with a change; empty.
    std::vector<Bytes> cases(7, original);
    for (std::size_t i = 5; i < original.size(); i += 977) {
        cases[1][i] ^= 0x5A;
    }
    std::transform(original.begin() + 1000, original.begin() + 71000, cases[2].begin() + 1000,
                   [](uint8_t b) { return static_cast<uint8_t>(~b); });
    cases[3].resize(original.size() + 5001, 0);
    cases[3].back() = 9;
    cases[4].resize(123457);
    cases[5].resize(123457);
    cases[5][0] = 1;
    cases[6].clear();
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
    EXPECT_EQ(Patch(original, Bytes(original.begin(), original.begin() + 0x10203)),
              Bytes({'P', 'A', 'T', 'C', 'H', 'E', 'O', 'F', 0x01, 0x02, 0x03}));
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
        const std::string body(patch.begin() + 5, patch.end() - 3);
        EXPECT_EQ(body.find("EOF"), std::string::npos);
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
    const auto with = [](std::initializer_list<uint8_t> tail) {
        Bytes b = {'P', 'A', 'T', 'C', 'H'};
        b.insert(b.end(), tail);
        return b;
    };
    const std::pair<Bytes, std::string> cases[] = {
        {{'P', 'A', 'T'}, "offset 0 (0x0): not an IPS patch (it does not start with PATCH)"},
        {with({0, 0, 1, 0, 2, 9, 9}), "offset 12 (0xC): the patch ends without its EOF mark"},
        {with({0, 0, 1, 0}), "offset 5 (0x5): a record header is cut short"},
        {with({0, 0, 1, 0, 5, 9, 'E', 'O', 'F'}),
         "offset 5 (0x5): a record of 5 bytes runs past the end of the patch"},
        {with({0, 0, 1, 0, 0, 0, 4}), "offset 5 (0x5): a run record is cut short"},
        {with({0, 0, 1, 0, 0, 0, 0, 7, 'E', 'O', 'F'}), "offset 5 (0x5): a run record of length 0"},
        {with({'E', 'O', 'F', 1}), "offset 8 (0x8): 1 unexpected bytes after the EOF mark"},
        {with({'E', 'O', 'F', 0, 1, 0}),
         "offset 8 (0x8): the truncation length 256 is beyond the patched file's 16 bytes"},
    };
    for (const auto& [patch, message] : cases) {
        Bytes data(16, 0xAB);
        const cli::Outcome result = cli::ApplyIps(patch, "p.ips", data);
        EXPECT_EQ(result.code, cli::ExitBadData);
        EXPECT_EQ(result.message, "p.ips: " + message);
        EXPECT_EQ(data, Bytes(16, 0xAB));
    }
}

} // namespace
