// A ROM file that other programs read and write too: the writers' lock, a save that notices
// a change on disk, FIFOs refused at once, saves killed half-way. (Files with hard links:
// the command-line and window tests, which check the whole story.)
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "gfx/ColourTable.h"
#include "rom/AtomicFile.h"
#include "rom/FileLock.h"
#include "rom/RegularFile.h"
#include "tests/support/RomBuilder.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using testsupport::ReadBytes;

namespace {

class SharedFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char templ[] = "/tmp/atlasforge-shared-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        dir_ = templ;
        path_ = dir_ / "game.nes";
        ASSERT_TRUE(testsupport::WriteFile(path_, Bytes(RomFileSize, 1)));
        ASSERT_TRUE(rom_->LoadRomFile(path_));
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            if (entry.path().filename().string().rfind(".atlasforge-save-", 0) == 0) {
                names.push_back(entry.path().filename());
            }
        }
        return names;
    }

    fs::path dir_, path_;
    std::unique_ptr<CRomImage> rom_ = std::make_unique<CRomImage>();
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
