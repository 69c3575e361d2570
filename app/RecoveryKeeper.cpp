#include "app/RecoveryKeeper.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "app/Platform.h"
#include "app/Termination.h"
#include "rom/AtomicFile.h"

namespace app {

namespace {

int recoveryDelayMs = RecoveryKeeper::DefaultDelayMs;

QString Decoded(const std::string& path) {
    return QFile::decodeName(path.c_str());
}

} // namespace

RecoveryKeeper::RecoveryKeeper(CRomImage& rom, std::string file, int delayMs)
    : rom_(rom), file_(std::move(file)) {
    timer_.setSingleShot(true);
    timer_.setInterval(delayMs);
    connect(&timer_, &QTimer::timeout, this, &RecoveryKeeper::Settle);
    worker_ = std::thread([this] { Work(); });
    terminationStep_ = AddTerminationStep([this] { WriteNow(); });
}

RecoveryKeeper::~RecoveryKeeper() {
    RemoveTerminationStep(terminationStep_);
    if (doc_ != nullptr) {
        doc_->RemoveListener(this);
    }
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    worker_.join();
    if (claim_ >= 0) {
        ::close(claim_);
    }
}

bool RecoveryKeeper::Claim() {
    const std::string folder = atomicfile::FolderOf(file_);
    const std::string lock = folder + "/." + file_.substr(file_.rfind('/') + 1) + ".lock";
    if (claim_ >= 0 || !formats::MakeRecoveryFolder(folder).Ok()) {
        return true; // held already, or nowhere to keep anything: nothing to guard
    }
    const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool taken = errno == EWOULDBLOCK;
        ::close(fd);
        return !taken; // a file system without locks guards nothing
    }
    claim_ = fd;
    return true;
}

void RecoveryKeeper::Attach(edit::MapDocument& doc) {
    doc_ = &doc;
    doc.AddListener(this);
    if (held_) {
        const std::unique_ptr<HeldGrid> held = std::move(held_);
        doc.Load(held->mapId);
        doc.ReplaceGrid(held->grid);
    }
}

void RecoveryKeeper::Detach(edit::MapDocument& doc) {
    doc.RemoveListener(this);
    if (doc_ == &doc) {
        doc_ = nullptr;
    }
    // Closing the editor may have dropped the last unsaved edits.
    Settle();
}

void RecoveryKeeper::HoldGrid(int mapId, const std::vector<uint8_t>& grid) {
    if (mapId < 0 || mapId >= worldmap::MapCount || grid.size() != worldmap::GridSize) {
        return;
    }
    held_ = std::make_unique<HeldGrid>();
    held_->mapId = mapId;
    std::copy(grid.begin(), grid.end(), held_->grid.begin());
}

worldmap::StoreReport RecoveryKeeper::StoreHeldGrid() {
    worldmap::StoreReport report;
    if (held_) {
        report = worldmap::StoreWorldMapReport(rom_, held_->mapId, held_->grid);
        if (report.status == worldmap::StoreStatus::Stored) {
            held_.reset();
        }
    }
    return report;
}

bool RecoveryKeeper::Unsaved() const {
    return rom_.DiffersFromFile() || held_ != nullptr ||
           (doc_ != nullptr && doc_->GridDiffersFromStore());
}

void RecoveryKeeper::Changed() {
    // The question after a crash says when the edits were made, not when they were written.
    editedMs_ = QDateTime::currentMSecsSinceEpoch();
    // Armed once per write: a continuous stroke is still kept every interval.
    if (!timer_.isActive()) {
        timer_.start();
    }
}

void RecoveryKeeper::RowsChanged(const edit::RowSet& /*rows*/) {
    Changed();
}
void RecoveryKeeper::MapLoaded(int /*mapId*/) {
    Changed();
}
void RecoveryKeeper::Stored() {
    Changed();
}
void RecoveryKeeper::TilesChanged(int /*graphicsSet*/, const edit::TileSet& /*tiles*/) {
    Changed();
}
void RecoveryKeeper::Saved() {
    // The file holds everything now, or nearly: no reason to keep a stale copy waiting.
    Settle();
}

void RecoveryKeeper::Settle() {
    timer_.stop();
    if (Unsaved()) {
        Queue(Job{Snapshot()});
    } else if (owned_) {
        Queue(Job{});
    }
}

std::shared_ptr<const formats::Recovery> RecoveryKeeper::Snapshot() const {
    // A copy of about 600 KB on this thread; encoding and writing happen on the worker.
    auto data = std::make_shared<formats::Recovery>();
    data->RomPath = rom_.RomPath;
    data->Stamp = rom_.Stamp;
    data->EditedMs = editedMs_ != 0 ? editedMs_ : QDateTime::currentMSecsSinceEpoch();
    data->Image.reserve(RomFileSize + rom_.TailBytes.size());
    data->Image.assign(std::begin(rom_.RomBytes), std::end(rom_.RomBytes));
    data->Image.insert(data->Image.end(), rom_.TailBytes.begin(), rom_.TailBytes.end());
    if (doc_ != nullptr && doc_->GridDiffersFromStore()) {
        data->MapId = doc_->MapId();
        data->Grid.assign(doc_->MapGrid().begin(), doc_->MapGrid().end());
    } else if (held_) {
        data->MapId = held_->mapId;
        data->Grid.assign(held_->grid.begin(), held_->grid.end());
    }
    return data;
}

void RecoveryKeeper::Queue(Job job) {
    if (job.data && !owned_) {
        // A file left by an earlier run that the user chose not to answer yet: keep it.
        std::string error;
        if (::access(file_.c_str(), F_OK) == 0 && !formats::SetRecoveryAside(file_, error)) {
            std::fprintf(stderr, "atlasforge: cannot set aside %s: %s\n", file_.c_str(),
                         error.c_str());
            return;
        }
        owned_ = true;
    }
    {
        std::lock_guard lock(mutex_);
        next_ = std::move(job); // the newest snapshot wins over one still waiting
    }
    wake_.notify_all();
}

void RecoveryKeeper::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || next_.has_value(); });
        if (!next_) {
            return; // quit, with nothing left to write
        }
        const Job job = std::move(*next_);
        next_.reset();
        busy_ = true;
        lock.unlock();
        Perform(job);
        lock.lock();
        busy_ = false;
        wake_.notify_all();
    }
}

void RecoveryKeeper::Perform(const Job& job) {
    formats::Result result;
    if (job.data) {
        result = formats::MakeRecoveryFolder(atomicfile::FolderOf(file_));
        if (result.Ok()) {
            result = formats::WriteRecovery(file_, *job.data);
        }
    } else if (::unlink(file_.c_str()) != 0 && errno != ENOENT) {
        result = formats::FileFail(formats::Fault::File, file_,
                                   std::string("cannot be removed: ") + std::strerror(errno));
    }
    // Said once per run of failures: a full disk would otherwise repeat it every interval.
    if (!result.Ok() && !lastFailed_) {
        std::fprintf(stderr, "atlasforge: recovery file: %s\n", result.message.c_str());
        if (!toldFailure_) {
            toldFailure_ = true;
            // Once a session, on the interface thread: a desktop user sees no stderr, and
            // must know that a crash would now lose the edits.
            const QString detail = QString::fromStdString(result.message);
            QMetaObject::invokeMethod(
                this,
                [detail] {
                    MessageBox(QStringLiteral("Edits are not being kept for recovery after a "
                                              "crash; save them often."),
                               detail);
                },
                Qt::QueuedConnection);
        }
    }
    lastFailed_ = !result.Ok();
}

void RecoveryKeeper::Flush() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return !next_ && !busy_; });
}

void RecoveryKeeper::WriteNow() {
    // Whatever waits is replaced by what is true now: a removal after a Save, too, which
    // dropping the waiting job would lose, leaving a stale file to be set aside next start.
    Settle();
    Flush();
}

void RecoveryKeeper::End(bool discarded) {
    timer_.stop();
    if (owned_ && (discarded || !Unsaved())) {
        Queue(Job{});
    }
    Flush();
}

void SetRecoveryDelay(int delayMs) {
    recoveryDelayMs = delayMs;
}

std::unique_ptr<RecoveryKeeper> StartRecovery(CRomImage& rom) {
    const std::string folder = formats::RecoveryFolder();
    if (folder.empty() || rom.RomPath.empty()) {
        return nullptr;
    }
    auto keeper = std::make_unique<RecoveryKeeper>(
        rom, formats::RecoveryFileFor(folder, rom.RomPath), recoveryDelayMs);
    const std::string& file = keeper->File();
    const QString name = QFileInfo(Decoded(rom.RomPath)).fileName();
    if (!keeper->Claim()) {
        MessageBox(QStringLiteral("%1 is open in another Atlasforge as well. Edits made here are "
                                  "not kept for recovery after a crash; save them often.")
                       .arg(name),
                   QString());
        return nullptr;
    }
    if (::access(file.c_str(), F_OK) != 0) {
        return keeper;
    }
    formats::Recovery found;
    const formats::Result read = formats::ReadRecovery(file, found);
    const bool fits = read.Ok() && found.RomPath == rom.RomPath &&
                      found.Stamp.Size == rom.Stamp.Size && found.Stamp.Crc == rom.Stamp.Crc;
    if (!fits) {
        // Never deleted: the edits may still be worth something to the user by hand.
        std::string error;
        const std::optional<std::string> aside = formats::SetRecoveryAside(file, error);
        const QString where = aside ? Decoded(*aside) : Decoded(file);
        const QString text =
            read.Ok() ? QStringLiteral("Unsaved changes to %1 from an earlier run no longer match "
                                       "the file, which changed since. They were not recovered "
                                       "and are kept in \"%2\".")
                      : QStringLiteral("Unsaved changes to %1 from an earlier run could not be "
                                       "read. The damaged file is kept in \"%2\".");
        MessageBox(text.arg(name, where),
                   read.Ok() ? QString() : QString::fromStdString(read.message));
        return keeper;
    }
    const QString when = QDateTime::fromMSecsSinceEpoch(found.EditedMs)
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const Answer answer =
        Ask(QStringLiteral("%1 has changes made on %2 that were not saved when Atlasforge last "
                           "ended.\nRecover them?")
                .arg(name, when),
            {Answer::Recover, Answer::Discard});
    if (answer == Answer::Recover) {
        std::memcpy(rom.RomBytes, found.Image.data(), RomFileSize);
        rom.TailBytes.assign(found.Image.begin() + RomFileSize, found.Image.end());
        keeper->HoldGrid(found.MapId, found.Grid);
        keeper->OwnFile();
        keeper->SetEditedTime(found.EditedMs);
    } else if (answer == Answer::Discard) {
        ::unlink(file.c_str());
    }
    // Esc: the file stays for the next start; the keeper sets it aside before it writes.
    return keeper;
}

} // namespace app
