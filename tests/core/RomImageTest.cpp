#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "rom/AtomicFile.h"
#include "rom/RomImage.h"
#include "tests/support/RomBuilder.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Pattern(std::size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 31 + seed + (i >> 9));
    }
    return bytes;
}

std::vector<uint8_t> FileBytes(const fs::path& path) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(testsupport::ReadFile(path.string(), bytes)) << path;
    return bytes;
}

class RomFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char templ[] = "/tmp/atlasforge-rom-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        dir_ = templ;
        rom_ = std::make_unique<CRomImage>();
    }
    void TearDown() override {
        atomicfile::SetWriteFunction(nullptr);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const fs::path path = dir_ / name;
        EXPECT_TRUE(testsupport::WriteFile(path.string(), bytes.data(), bytes.size()));
        return path;
    }
    // The folder holds exactly the given names: no temporary left behind.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
    std::unique_ptr<CRomImage> rom_;
};

TEST(RomBytes, WordsAreLittleEndian) {
    auto rom = std::make_unique<CRomImage>();
    rom->WriteWord(0xD010, 0x1234);
    EXPECT_EQ(rom->ReadByte(0xD010), 0x34);
    EXPECT_EQ(rom->ReadByte(0xD011), 0x12);
    rom->WriteByte(0xD011, 0xAB);
    EXPECT_EQ(rom->ReadWord(0xD010), 0xAB34);
    rom->WriteWord(RomFileSize - 2, 0x1FFFF); // only the low 16 bits are stored
    EXPECT_EQ(rom->ReadWord(RomFileSize - 2), 0xFFFF);
}

TEST_F(RomFile, LoadsAnyHeaderShortAndEmptyFiles) {
    const auto exact = Pattern(RomFileSize, 1); // no valid iNES header
    ASSERT_TRUE(rom_->LoadRomFile(Write("exact.nes", exact).string()));
    EXPECT_TRUE(std::equal(exact.begin(), exact.end(), rom_->RomBytes));

    auto fresh = std::make_unique<CRomImage>();
    const auto shortFile = Pattern(1000, 2);
    const fs::path shortPath = Write("short.nes", shortFile);
    ASSERT_TRUE(fresh->LoadRomFile(shortPath.string()));
    EXPECT_EQ(fresh->RomPath, shortPath.string());
    EXPECT_TRUE(std::equal(shortFile.begin(), shortFile.end(), fresh->RomBytes));
    EXPECT_TRUE(std::all_of(fresh->RomBytes + 1000, fresh->RomBytes + RomFileSize,
                            [](uint8_t b) { return b == 0; }));

    auto empty = std::make_unique<CRomImage>();
    ASSERT_TRUE(empty->LoadRomFile(Write("empty.nes", {}).string()));
    EXPECT_TRUE(std::all_of(empty->RomBytes, empty->RomBytes + RomFileSize,
                            [](uint8_t b) { return b == 0; }));

    EXPECT_FALSE(rom_->LoadRomFile((dir_ / "missing.nes").string()));
    EXPECT_FALSE(rom_->LoadRomFile(dir_.string()));
    EXPECT_EQ(rom_->RomPath, (dir_ / "exact.nes").string());
    EXPECT_TRUE(std::equal(exact.begin(), exact.end(), rom_->RomBytes));
}

TEST_F(RomFile, SaveRoundTripsAndKeepsTailAndPermissions) {
    const auto original = Pattern(RomFileSize, 4);
    const fs::path path = Write("game.nes", original);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(rom_->LoadRomFile(path.string()));
    ASSERT_TRUE(rom_->SaveRomFile());
    EXPECT_EQ(FileBytes(path), original);
    EXPECT_EQ(fs::status(path).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    auto longer = Pattern(RomFileSize + 777, 5);
    ASSERT_TRUE(rom_->LoadRomFile(Write("long.nes", longer).string()));
    rom_->WriteByte(0xD810, 0x42);
    ASSERT_TRUE(rom_->SaveRomFile());
    longer[0xD810] = 0x42;
    EXPECT_EQ(FileBytes(dir_ / "long.nes"), longer);
    EXPECT_EQ(Names(), (std::vector<std::string>{"game.nes", "long.nes"}));
}

TEST_F(RomFile, SaveAfterDeletionCreatesAndVanishedFolderFails) {
    const fs::path path = Write("game.nes", Pattern(RomFileSize, 6));
    ASSERT_TRUE(rom_->LoadRomFile(path.string()));
    fs::remove(path);
    ASSERT_TRUE(rom_->SaveRomFile());
    EXPECT_EQ(FileBytes(path), Pattern(RomFileSize, 6));

    const fs::path sub = dir_ / "sub";
    fs::create_directory(sub);
    ASSERT_TRUE(rom_->LoadRomFile(Write("sub/game.nes", Pattern(100, 7)).string()));
    fs::remove_all(sub);
    EXPECT_FALSE(rom_->SaveRomFile());
    EXPECT_FALSE(fs::exists(sub));
}

TEST_F(RomFile, SaveThroughSymbolicLinkReplacesTheTarget) {
    fs::create_directory(dir_ / "real");
    const fs::path target = Write("real/game.nes", Pattern(RomFileSize, 8));
    const fs::path link = dir_ / "link.nes";
    fs::create_symlink("real/game.nes", link);
    ASSERT_TRUE(rom_->LoadRomFile(link.string()));
    rom_->WriteByte(0x10, 0x99);
    ASSERT_TRUE(rom_->SaveRomFile());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), fs::path("real/game.nes"));
    EXPECT_EQ(FileBytes(target)[0x10], 0x99);
    EXPECT_EQ(Names(), (std::vector<std::string>{"link.nes", "real"}));
}

ssize_t FailHalfway(int fd, const void* data, std::size_t size) {
    static std::size_t written = 0;
    if (size == 0 || written > 100000) {
        written = 0;
        errno = ENOSPC;
        return -1;
    }
    const std::size_t n = std::min<std::size_t>(size, 4096);
    written += n;
    return ::write(fd, data, n);
}

ssize_t WriteNothing(int, const void*, std::size_t) {
    return 0;
}

TEST_F(RomFile, FailingWriteLeavesTheFileAndNoTemporary) {
    const auto original = Pattern(RomFileSize + 10, 9);
    const fs::path path = Write("game.nes", original);
    ASSERT_TRUE(rom_->LoadRomFile(path.string()));
    rom_->WriteByte(0x20, 0x77);
    for (auto writer : {&FailHalfway, &WriteNothing}) {
        atomicfile::SetWriteFunction(writer);
        EXPECT_FALSE(rom_->SaveRomFile());
        EXPECT_EQ(FileBytes(path), original);
        EXPECT_EQ(Names(), std::vector<std::string>{"game.nes"});
    }
}

// Real filesystems in a private mount namespace: a read-only folder and a full disk.
TEST_F(RomFile, ReadOnlyFolderAndFullDiskLoseNothing) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        GTEST_SKIP() << "no private mount namespace here";
    }
    const fs::path mnt = dir_ / "mnt";
    fs::create_directory(mnt);
    ASSERT_EQ(::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=768k"), 0);
    const auto original = Pattern(RomFileSize, 10);
    const fs::path path = mnt / "game.nes";
    ASSERT_TRUE(testsupport::WriteFile(path.string(), original.data(), original.size()));
    ASSERT_TRUE(rom_->LoadRomFile(path.string()));
    rom_->WriteByte(0x30, 0x55);

    EXPECT_FALSE(rom_->SaveRomFile()); // room for only half of the new copy
    EXPECT_EQ(FileBytes(path), original);
    EXPECT_EQ(std::distance(fs::directory_iterator(mnt), fs::directory_iterator()), 1);

    ASSERT_EQ(::mount(nullptr, mnt.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_FALSE(rom_->SaveRomFile());
    EXPECT_EQ(FileBytes(path), original);
    ::umount2(mnt.c_str(), MNT_DETACH);
}

} // namespace
