#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <sched.h>
#include <sys/mount.h>
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

class RomFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char templ[] = "/tmp/atlasforge-rom-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        dir_ = templ;
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
    static std::vector<uint8_t> Read(const fs::path& path) {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(testsupport::ReadFile(path.string(), bytes)) << path;
        return bytes;
    }
    // A temporary left behind shows as one entry too many.
    static long Entries(const fs::path& dir) {
        return std::distance(fs::directory_iterator(dir), fs::directory_iterator());
    }

    fs::path dir_;
    std::unique_ptr<CRomImage> rom_ = std::make_unique<CRomImage>();
};

TEST_F(RomFile, LoadsAnyHeaderShortAndEmptyFilesAndAFailedLoadChangesNothing) {
    for (std::size_t size : {RomFileSize, std::size_t{1000}, std::size_t{0}}) {
        const auto bytes = Pattern(size, 1); // no valid iNES header
        const fs::path path = Write(std::to_string(size), bytes);
        auto rom = std::make_unique<CRomImage>();
        ASSERT_TRUE(rom->LoadRomFile(path.string()));
        EXPECT_EQ(rom->RomPath, path.string());
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), rom->RomBytes)) << size;
        EXPECT_TRUE(std::all_of(rom->RomBytes + size, rom->RomBytes + RomFileSize,
                                [](uint8_t b) { return b == 0; }));
    }
    const fs::path path = Write("game.nes", Pattern(RomFileSize, 2));
    ASSERT_TRUE(rom_->LoadRomFile(path.string()));
    EXPECT_FALSE(rom_->LoadRomFile((dir_ / "missing.nes").string()));
    EXPECT_FALSE(rom_->LoadRomFile(dir_.string()));
    EXPECT_EQ(rom_->RomPath, path.string());
    EXPECT_TRUE(
        std::equal(rom_->RomBytes, rom_->RomBytes + RomFileSize, Pattern(RomFileSize, 2).begin()));
}

// A save replaces the real file whole: same bytes, its permission bits, the bytes past the
// image of a longer file, through a symbolic link, and again after the file was deleted.
TEST_F(RomFile, SaveKeepsPermissionsTailAndLinksAndRecreatesADeletedFile) {
    const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    const fs::path path = Write("game.nes", Pattern(RomFileSize, 4));
    fs::permissions(path, perms);
    ASSERT_TRUE(rom_->LoadRomFile(path.string()));
    ASSERT_TRUE(rom_->SaveRomFile());
    EXPECT_EQ(Read(path), Pattern(RomFileSize, 4));
    EXPECT_EQ(fs::status(path).permissions(), perms);
    fs::remove(path);
    ASSERT_TRUE(rom_->SaveRomFile());
    EXPECT_EQ(Read(path), Pattern(RomFileSize, 4));

    fs::create_directory(dir_ / "real");
    auto longer = Pattern(RomFileSize + 777, 5);
    const fs::path target = Write("real/long.nes", longer);
    fs::create_symlink("real/long.nes", dir_ / "link.nes");
    ASSERT_TRUE(rom_->LoadRomFile((dir_ / "link.nes").string()));
    rom_->WriteByte(0xD810, 0x42);
    ASSERT_TRUE(rom_->SaveRomFile());
    longer[0xD810] = 0x42;
    EXPECT_EQ(Read(target), longer);
    EXPECT_EQ(fs::read_symlink(dir_ / "link.nes"), fs::path("real/long.nes"));
    EXPECT_EQ(Entries(dir_), 3);
    EXPECT_EQ(Entries(dir_ / "real"), 1);
}

TEST_F(RomFile, SaveIntoAVanishedFolderFails) {
    fs::create_directory(dir_ / "sub");
    ASSERT_TRUE(rom_->LoadRomFile(Write("sub/game.nes", Pattern(100, 7)).string()));
    fs::remove_all(dir_ / "sub");
    EXPECT_FALSE(rom_->SaveRomFile());
    EXPECT_FALSE(fs::exists(dir_ / "sub"));
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
        EXPECT_EQ(Read(path), original);
        EXPECT_EQ(Entries(dir_), 1);
    }
}

// Real filesystems in a private mount namespace: a full disk and a read-only folder.
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
    EXPECT_EQ(Read(path), original);
    EXPECT_EQ(Entries(mnt), 1);

    ASSERT_EQ(::mount(nullptr, mnt.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_FALSE(rom_->SaveRomFile());
    EXPECT_EQ(Read(path), original);
    ::umount2(mnt.c_str(), MNT_DETACH);
}

} // namespace
