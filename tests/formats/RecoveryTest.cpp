// The recovery file on its own: what it holds, that nothing damaged is taken for it, where
// it lives, and that setting one aside never loses a file.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <sys/stat.h>
#include <tuple>

#include "formats/Recovery.h"
#include "tests/support/RomBuilder.h"

namespace {

using Bytes = std::vector<uint8_t>;

formats::Recovery Sample(bool withGrid, std::size_t tail) {
    formats::Recovery r;
    r.RomPath = "/home/u/game \xC3\xA9.nes";
    r.Stamp = {RomFileSize + tail, 1765000000123456789, 0xDEADBEEF};
    r.EditedMs = 1765000000123;
    r.Image.resize(RomFileSize + tail);
    for (std::size_t i = 0; i < r.Image.size(); ++i) {
        r.Image[i] = static_cast<uint8_t>(i * 7 + i / 251);
    }
    if (withGrid) {
        r.MapId = 3;
        r.Grid.assign(worldmap::GridSize, 0);
        for (std::size_t i = 0; i < r.Grid.size(); ++i) {
            r.Grid[i] = static_cast<uint8_t>((i * 13) & 0x7F);
        }
    }
    return r;
}

bool Same(const formats::Recovery& a, const formats::Recovery& b) {
    const auto fields = [](const formats::Recovery& r) {
        return std::tie(r.RomPath, r.Stamp, r.EditedMs, r.Image, r.MapId, r.Grid);
    };
    return fields(a) == fields(b);
}

TEST(Recovery, HoldsEverythingExactlyAndRefusesAnyDamageOrFieldOutOfRange) {
    for (const auto& [withGrid, tail] :
         {std::pair{true, std::size_t{0}}, {false, std::size_t{5}}}) {
        const formats::Recovery sample = Sample(withGrid, tail);
        const Bytes bytes = formats::EncodeRecovery(sample);
        formats::Recovery back;
        ASSERT_TRUE(formats::DecodeRecovery(bytes, back).Ok());
        EXPECT_TRUE(Same(back, sample));

        // Cut anywhere, or any byte changed (the checksum too), and it is refused with the
        // caller's copy untouched.
        const formats::Recovery untouched = Sample(!withGrid, 3);
        for (std::size_t at : {std::size_t{0}, std::size_t{8}, std::size_t{12}, std::size_t{40},
                               bytes.size() / 2, bytes.size() - 5, bytes.size() - 1}) {
            SCOPED_TRACE(at);
            formats::Recovery out = untouched;
            Bytes flipped = bytes;
            flipped[at] ^= 0x10;
            EXPECT_EQ(formats::DecodeRecovery(flipped, out).fault, formats::Fault::BadData);
            EXPECT_EQ(formats::DecodeRecovery(Bytes(bytes.begin(), bytes.begin() + at), out).fault,
                      formats::Fault::BadData);
            EXPECT_TRUE(Same(out, untouched));
        }
    }
    // Fields out of range are refused even with a good checksum.
    formats::Recovery shortImage = Sample(false, 0), noPath = shortImage, out;
    shortImage.Image.resize(RomFileSize - 1);
    noPath.RomPath.clear();
    EXPECT_FALSE(formats::DecodeRecovery(formats::EncodeRecovery(shortImage), out).Ok());
    EXPECT_FALSE(formats::DecodeRecovery(formats::EncodeRecovery(noPath), out).Ok());
}

TEST(Recovery, LivesInTheUsersStateFolderOnePerPathAndIsSetAsideNeverLost) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path().toStdString();
    const char* oldState = std::getenv("XDG_STATE_HOME");
    const std::string savedState = oldState ? oldState : "";
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
    EXPECT_EQ(formats::RecoveryFolder(), root + "/state/atlasforge/recovery");
    setenv("XDG_STATE_HOME", "relative", 1); // ignored, as the base directory rules say
    setenv("HOME", root.c_str(), 1);
    EXPECT_EQ(formats::RecoveryFolder(), root + "/.local/state/atlasforge/recovery");
    setenv("HOME", savedHome.c_str(), 1);
    oldState ? setenv("XDG_STATE_HOME", savedState.c_str(), 1) : unsetenv("XDG_STATE_HOME");

    const std::string folder = root + "/a/b/recovery";
    const std::string file = formats::RecoveryFileFor(folder, "/x/game.nes");
    EXPECT_EQ(file, formats::RecoveryFileFor(folder, "/x/game.nes"));
    EXPECT_NE(file, formats::RecoveryFileFor(folder, "/y/game.nes"));
    ASSERT_TRUE(formats::MakeRecoveryFolder(folder).Ok());
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    const formats::Recovery sample = Sample(true, 0);
    ASSERT_TRUE(formats::WriteRecovery(file, sample).Ok());
    formats::Recovery back;
    ASSERT_TRUE(formats::ReadRecovery(file, back).Ok());
    EXPECT_TRUE(Same(back, sample));

    // Set aside twice within one second: two names, both files kept whole.
    std::string error;
    const auto first = formats::SetRecoveryAside(file, error);
    ASSERT_TRUE(formats::WriteRecovery(file, Sample(false, 0)).Ok());
    const auto second = formats::SetRecoveryAside(file, error);
    ASSERT_TRUE(first && second) << error;
    EXPECT_NE(*first, *second);
    EXPECT_EQ(first->rfind(file + ".stale-", 0), 0u);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(file)));
    ASSERT_TRUE(formats::ReadRecovery(*first, back).Ok());
    EXPECT_TRUE(Same(back, sample));
    ASSERT_TRUE(formats::ReadRecovery(*second, back).Ok());
    EXPECT_EQ(back.MapId, -1);

    EXPECT_FALSE(formats::ReadRecovery(folder, back).Ok()); // not a regular file
    EXPECT_EQ(formats::ReadRecovery(folder + "/none", back).fault, formats::Fault::File);
}

} // namespace
