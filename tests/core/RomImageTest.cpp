#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "gfx/ColourTable.h"
#include "rom/AtomicFile.h"
#include "rom/Crc32.h"
#include "rom/FileLock.h"
#include "rom/RegularFile.h"
#include "tests/support/RomBuilder.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Pattern(std::size_t size, uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 31 + seed + (i >> 9));
    }
    return bytes;
}

using testsupport::ReadBytes;

// A temporary left behind shows as one entry too many.
const auto Entries = [](const fs::path& dir) {
    return std::distance(fs::directory_iterator(dir), fs::directory_iterator());
};

class RomFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char templ[] = "/tmp/atlasforge-rom-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        dir_ = templ;
    }
    void TearDown() override {
        atomicfile::SetWriteFunction(nullptr);
        atomicfile::SetRenameFunction(nullptr);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path Write(const std::string& name, const Bytes& bytes) {
        EXPECT_TRUE(testsupport::WriteFile(dir_ / name, bytes.data(), bytes.size()));
        return dir_ / name;
    }

    fs::path dir_;
    std::unique_ptr<CRomImage> rom_ = std::make_unique<CRomImage>();
};

// A file of any header loads; a short or empty one fills the image from the start and
// leaves the rest as it was.
TEST_F(RomFile, LoadsAnyHeaderAndShortFilesOverTheStart) {
    Bytes want(RomFileSize);
    for (std::size_t size : {RomFileSize, std::size_t{1000}, std::size_t{0}}) {
        const Bytes bytes = Pattern(size, static_cast<uint8_t>(size)); // no valid iNES header
        const fs::path path = Write(std::to_string(size), bytes);
        ASSERT_TRUE(rom_->LoadRomFile(path));
        EXPECT_EQ(rom_->RomPath, path);
        std::copy(bytes.begin(), bytes.end(), want.begin());
        EXPECT_EQ(testsupport::Image(*rom_), want) << size;
    }
    // The tool's rule: a whole image only, and the refusal is one of size, not of reading.
    EXPECT_FALSE(rom_->LoadRomFile(dir_ / "1000", RomSizeRule::Exact));
    EXPECT_TRUE(rom_->LastErrorIsSize);
    EXPECT_TRUE(rom_->LoadRomFile(dir_ / std::to_string(RomFileSize), RomSizeRule::Exact));
    EXPECT_TRUE(rom_->TailBytes.empty());
}

// A save replaces the real file behind a symbolic link whole: the edited image, then the
// bytes past it of a longer file, with the file's permission bits; and it creates the file
// again after it was deleted.
TEST_F(RomFile, SaveReplacesTheRealFileWhole) {
    Bytes longer = Pattern(RomFileSize + 777, 5);
    fs::create_directory(dir_ / "real");
    const fs::path target = Write("real/long.nes", longer);
    const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(target, perms);
    fs::create_symlink("real/long.nes", dir_ / "link.nes");
    ASSERT_TRUE(rom_->LoadRomFile(dir_ / "link.nes"));
    EXPECT_FALSE(rom_->DiffersFromFile());
    rom_->WriteByte(0xD810, 0x42);
    longer[0xD810] = 0x42;
    EXPECT_TRUE(rom_->DiffersFromFile());
    ASSERT_TRUE(rom_->SaveRomFile());
    EXPECT_FALSE(rom_->DiffersFromFile());
    EXPECT_EQ(ReadBytes(target), longer);
    EXPECT_EQ(fs::status(target).permissions(), perms);
    EXPECT_EQ(fs::read_symlink(dir_ / "link.nes"), fs::path("real/long.nes"));
    EXPECT_EQ(Entries(dir_) + Entries(dir_ / "real"), 3);
    fs::remove(target);
    ASSERT_TRUE(rom_->SaveRomFile());
    EXPECT_EQ(ReadBytes(target), longer);
}

// The stamp taken at load and at save is the file's as another reader sees it, so a change
// by another program shows; a FIFO is refused without waiting for a writer.
TEST_F(RomFile, StampIsTheFileAsLoadedOrSaved) {
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc32(check, 9), 0xCBF43926u);
    EXPECT_EQ(Crc32(check + 4, 5, Crc32(check, 4)), 0xCBF43926u);

    const fs::path file = Write("a.nes", Pattern(RomFileSize + 3, 9));
    FileStamp onDisk;
    std::string error;
    ASSERT_TRUE(rom_->LoadRomFile(file));
    ASSERT_TRUE(StampFile(file, onDisk, error)) << error;
    EXPECT_EQ(rom_->Stamp, onDisk);
    EXPECT_EQ(onDisk.Size, RomFileSize + 3);

    rom_->WriteByte(100, 1);
    ASSERT_TRUE(rom_->SaveRomFile());
    ASSERT_TRUE(StampFile(file, onDisk, error));
    EXPECT_EQ(rom_->Stamp, onDisk);

    Bytes changed = ReadBytes(file);
    changed[7] ^= 1;
    Write("a.nes", changed);
    ASSERT_TRUE(StampFile(file, onDisk, error));
    EXPECT_NE(rom_->Stamp.Crc, onDisk.Crc);

    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(StampFile(dir_ / "fifo", onDisk, error));
    EXPECT_EQ(error, "not a regular file (it is a FIFO)");
    EXPECT_FALSE(StampFile(dir_ / "missing", onDisk, error));
}

// Writes at most 4 KiB a call and fails as a full disk does on every tenth call: a save that
// took a short write for a whole one would be done before the failure and succeed.
ssize_t ShortWritesThenFull(int fd, const void* data, std::size_t size) {
    static int calls = 0;
    if (++calls % 10 == 0) {
        errno = ENOSPC;
        return -1;
    }
    return ::write(fd, data, std::min<std::size_t>(size, 4096));
}

// A failed load changes nothing. A failed save leaves the file exactly as it was and no
// temporary beside it: a failing or stalled write, a vanished folder.
TEST_F(RomFile, FailuresLoseNothing) {
    const Bytes original = Pattern(RomFileSize + 10, 9);
    const fs::path path = Write("game.nes", original);
    ASSERT_TRUE(rom_->LoadRomFile(path));
    rom_->WriteByte(0x20, 0x77);
    const Bytes edited = testsupport::Image(*rom_);
    EXPECT_FALSE(rom_->LoadRomFile(dir_ / "missing.nes"));
    EXPECT_FALSE(rom_->LoadRomFile(dir_));
    // A device that never ends and an oversized file are refused, not read whole.
    EXPECT_FALSE(rom_->LoadRomFile("/dev/zero"));
    const fs::path huge = Write("huge.nes", {});
    fs::resize_file(huge, MaxRomFileSize + 1);
    EXPECT_FALSE(rom_->LoadRomFile(huge));
    fs::remove(huge);
    EXPECT_EQ(rom_->RomPath, path);
    EXPECT_EQ(testsupport::Image(*rom_), edited);
    const atomicfile::WriteFunction writers[] = {
        ShortWritesThenFull, [](int, const void*, std::size_t) -> ssize_t { return 0; }};
    for (auto writer : writers) {
        atomicfile::SetWriteFunction(writer);
        EXPECT_FALSE(rom_->SaveRomFile());
        EXPECT_EQ(ReadBytes(path), original);
        EXPECT_EQ(Entries(dir_), 1);
        EXPECT_TRUE(rom_->DiffersFromFile()); // a failed save leaves the changes unsaved
    }
    atomicfile::SetWriteFunction(nullptr);
    rom_->RomPath = dir_ / "gone/game.nes";
    EXPECT_FALSE(rom_->SaveRomFile());
    EXPECT_FALSE(fs::exists(dir_ / "gone"));
}

// Files replaced as a set: when the second cannot be renamed into place, the first gets its
// old content back, and no temporary remains.
// With hard links and without (FAT): a rename that fails midway puts the first file back.
TEST_F(RomFile, FilesReplacedAsASetAllOrNone) {
    const fs::path first = Write("first", {1, 2}), second = dir_ / "second";
    const Bytes one{9}, two{8};
    const atomicfile::Block blocks[] = {{one.data(), 1}, {two.data(), 1}};
    const atomicfile::Contents files[] = {{first, &blocks[0], 1}, {second, &blocks[1], 1}};
    static int renames = 0;
    atomicfile::SetRenameFunction([](const char* from, const char* to) {
        return ++renames % 2 == 0 ? (errno = EXDEV, -1) : ::rename(from, to);
    });
    for (const bool links : {true, false}) {
        SCOPED_TRACE(links ? "hard links" : "no hard links");
        atomicfile::SetLinkFunction(
            links ? nullptr : +[](const char*, const char*) { return errno = EPERM, -1; });
        std::size_t failed = 0;
        EXPECT_FALSE(atomicfile::ReplaceFiles(files, 2, &failed));
        const int why = errno;
        EXPECT_EQ(std::tuple(failed, why, ReadBytes(first), fs::exists(second), Entries(dir_)),
                  std::tuple(1u, EXDEV, Bytes({1, 2}), false, 1));
    }
    atomicfile::SetRenameFunction(nullptr);
    atomicfile::SetLinkFunction(nullptr);
    ASSERT_TRUE(atomicfile::ReplaceFiles(files, 2, nullptr));
    EXPECT_EQ(std::pair(ReadBytes(first), ReadBytes(second)), std::pair(one, two));
}

// A ROM file that other programs read and write too: the writers' lock, a save that notices
// a change on disk, FIFOs refused at once, saves killed half-way. (Files with hard links:
// the command-line and window tests, which check the whole story.)
class SharedFile : public RomFile {
  protected:
    void SetUp() override {
        RomFile::SetUp();
        path_ = Write("game.nes", Bytes(RomFileSize, 1));
        ASSERT_TRUE(rom_->LoadRomFile(path_));
    }
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            if (entry.path().filename().string().rfind(".atlasforge-save-", 0) == 0) {
                names.push_back(entry.path().filename());
            }
        }
        return names;
    }

    fs::path path_;
};

// A writer that waited for the lock while the holder replaced the file locks the new file,
// not the one the path no longer names; the editor's save fails while another holds it.
TEST_F(SharedFile, TheLockFollowsTheFileASaveReplaces) {
    FileLock holder;
    ASSERT_EQ(holder.Acquire(path_), FileLock::Status::Held);
    FileLock other;
    EXPECT_EQ(other.Acquire(path_, 30), FileLock::Status::Busy);
    rom_->WriteByte(5, 2);
    EXPECT_FALSE(rom_->SaveRomFile());
    EXPECT_NE(rom_->LastError.find("advisory lock"), std::string::npos);
    EXPECT_EQ(ReadBytes(path_), Bytes(RomFileSize, 1));

    FileLock waiter;
    std::thread waiting([&] { EXPECT_EQ(waiter.Acquire(path_), FileLock::Status::Held); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const atomicfile::Block block{rom_->RomBytes, RomFileSize};
    ASSERT_TRUE(atomicfile::ReplaceFile(path_, &block, 1));
    holder.Release();
    waiting.join();
    EXPECT_EQ(other.Acquire(path_, 30), FileLock::Status::Busy);
    waiter.Release();
    EXPECT_EQ(other.Acquire(path_, 0), FileLock::Status::Held);
    EXPECT_EQ(other.Acquire(dir_ / "missing.nes", 0), FileLock::Status::NoFile);
}

// Saving against the stamp the file had: a change by another program is found, reported
// with what the file holds now, and left alone until the caller agrees to overwrite it.
TEST_F(SharedFile, ASaveNoticesAChangeOnDisk) {
    const FileStamp loaded = rom_->Stamp;
    ASSERT_TRUE(testsupport::WriteFile(path_, Bytes(RomFileSize, 3)));
    rom_->WriteByte(5, 2);
    EXPECT_FALSE(rom_->SaveRomFile(&loaded));
    EXPECT_TRUE(rom_->ChangedOnDisk);
    FileStamp now;
    std::string error;
    ASSERT_TRUE(StampFile(path_, now, error));
    EXPECT_EQ(rom_->DiskStamp, now);
    EXPECT_EQ(ReadBytes(path_), Bytes(RomFileSize, 3));
    EXPECT_TRUE(rom_->DiffersFromFile());

    ASSERT_TRUE(rom_->SaveRomFile(&rom_->DiskStamp));
    EXPECT_FALSE(rom_->ChangedOnDisk);
    EXPECT_EQ(ReadBytes(path_), testsupport::Image(*rom_));
    fs::remove(path_);
    const FileStamp saved = rom_->Stamp;
    EXPECT_TRUE(rom_->SaveRomFile(&saved)); // a file that is gone is simply written again
}

// Every reader refuses a FIFO (or a folder) at once instead of waiting for a writer; a hang
// here is the fault, so the test has a time limit. (A device: the command-line tests.)
TEST_F(SharedFile, FifosAndFoldersAreRefusedAtOnce) {
    const std::string fifo = dir_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const RomSizeRule rule : {RomSizeRule::UpTo16MiB, RomSizeRule::Exact}) {
        EXPECT_FALSE(rom_->LoadRomFile(fifo, rule));
        EXPECT_EQ(rom_->LastError, "not a regular file (it is a FIFO)");
        EXPECT_FALSE(rom_->LastErrorIsSize);
    }
    EXPECT_EQ(rom_->RomPath, path_);
    EXPECT_FALSE(gfx::LoadColourTable(*rom_, fifo));
    Bytes bytes;
    int error = 0;
    EXPECT_EQ(regularfile::Read(dir_, {1 << 20, false}, bytes, error),
              regularfile::ReadStatus::NotRegular);
}

// Saves killed at any moment leave the file whole, old or new; a temporary one of them
// left behind goes with the next save in that folder, and nobody else's file does.
TEST_F(SharedFile, KilledSavesLeaveNoTemporaries) {
    const Bytes a(RomFileSize, 0xA1), b(RomFileSize, 0xB2);
    ASSERT_TRUE(testsupport::WriteFile(path_, a));
    const fs::path foreign = dir_ / ".atlasforge-save-ab12cd";
    ASSERT_TRUE(testsupport::WriteFile(foreign, Bytes{1}));
    std::mt19937 random(20);
    for (int run = 0; run < 200; ++run) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i) {
                const atomicfile::Block block{(i % 2 ? a : b).data(), RomFileSize};
                atomicfile::ReplaceFile(path_, &block, 1);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        const Bytes now = ReadBytes(path_);
        ASSERT_TRUE(now == a || now == b) << run;
    }
    // One killed between naming its temporary and the rename, for certain.
    const atomicfile::Block block{a.data(), RomFileSize};
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        atomicfile::SetRenameFunction([](const char*, const char*) { return ::raise(SIGKILL); });
        atomicfile::ReplaceFile(path_, &block, 1);
        ::_exit(0);
    }
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    EXPECT_EQ(Leftovers().size(), 2u);
    ASSERT_TRUE(atomicfile::ReplaceFile(path_, &block, 1));
    EXPECT_EQ(Leftovers(), std::vector<std::string>{foreign.filename()});
}

} // namespace
