#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "edit/DocumentListener.h"
#include "edit/MapDocument.h"
#include "formats/Recovery.h"
#include "rom/RomImage.h"

namespace app {

// Keeps the recovery file of one open ROM up to date while the editor holds changes its
// file does not: at most `delayMs` after a change (one timer, armed by the first change
// after a write, so steady painting is still kept every delayMs and a mouse move costs
// nothing), written on a thread of its own so painting never waits for the disk. When
// nothing is unsaved any more the file goes. A terminating signal writes it at once.
class RecoveryKeeper : public QObject, public edit::DocumentListener {
    Q_OBJECT
  public:
    static constexpr int DefaultDelayMs = 5000;

    RecoveryKeeper(CRomImage& rom, std::string file, int delayMs = DefaultDelayMs);
    // Finishes a write in progress; the file stays as it is.
    ~RecoveryKeeper() override;
    RecoveryKeeper(const RecoveryKeeper&) = delete;
    RecoveryKeeper& operator=(const RecoveryKeeper&) = delete;

    const std::string& File() const { return file_; }
    // Takes File() for this program for as long as the keeper lives (a lock beside it that
    // a crash lets go of): false when another running editor has it, as it has the same ROM
    // open; that one's edits are then neither offered here as a crash's nor written over.
    bool Claim();

    // The map editor's document while its window is open: its changes are followed, and a
    // grid held from a recovery is handed to it as edits not yet stored.
    void Attach(edit::MapDocument& doc);
    void Detach(edit::MapDocument& doc);
    // A grid brought back from the recovery file, for the next Attach.
    void HoldGrid(int mapId, const std::vector<uint8_t>& grid);
    bool HoldsGrid() const { return held_ != nullptr; }
    // Stores the held grid into the image (a Save at Quit before "Maps" took it); it is no
    // longer held once stored.
    worldmap::StoreReport StoreHeldGrid();
    // The file at File() holds this session's edits (recovered from it or written by us);
    // when it is not, it is set aside before the first write rather than replaced.
    void OwnFile() { owned_ = true; }
    // When the edits it holds were made (from a recovered file): kept until the next change.
    void SetEditedTime(int64_t ms) { editedMs_ = ms; }

    // Changes the ROM file does not hold: in the image, in the document's grid, or held.
    bool Unsaved() const;
    // The program ends normally: the file goes unless something unsaved is kept on
    // purpose; `discarded` says the user chose to drop the changes.
    void End(bool discarded);
    // Writes the file now if anything is unsaved, else removes ours, and waits until that is
    // done (a terminating signal).
    void WriteNow();
    // Waits until the writing thread has nothing left to do.
    void Flush();

    void RowsChanged(const edit::RowSet& rows) override;
    void MapLoaded(int mapId) override;
    void Stored() override;
    void Saved() override;
    void TilesChanged(int graphicsSet, const edit::TileSet& tiles) override;

  private:
    struct Job {
        // Null: remove the file.
        std::shared_ptr<const formats::Recovery> data;
    };
    struct HeldGrid {
        int mapId;
        worldmap::Grid grid;
    };

    void Changed();
    // Writes or removes now, by what is unsaved.
    void Settle();
    std::shared_ptr<const formats::Recovery> Snapshot() const;
    void Queue(Job job);
    void Perform(const Job& job);
    void Work();

    CRomImage& rom_;
    std::string file_;
    QTimer timer_;
    edit::MapDocument* doc_ = nullptr;
    std::unique_ptr<HeldGrid> held_;
    bool owned_ = false;
    int64_t editedMs_ = 0; // the last change, milliseconds since the epoch
    int terminationStep_ = 0;
    int claim_ = -1;

    // The writing thread: one job at a time, and only the newest waiting one.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Job> next_;
    bool busy_ = false;
    bool quit_ = false;
    // Only the writing thread reads and sets these two.
    bool lastFailed_ = false;
    bool toldFailure_ = false;
    std::thread worker_;
};

// After a ROM has been opened: when a recovery file for it holds edits made over the file
// as it is now, asks whether to bring them back ("Recover" puts them into `rom` and the
// keeper; "Discard" deletes the file; Esc keeps it for later and opens the file as it is).
// A recovery file that no longer fits the ROM, or cannot be read, is set aside and the user
// told where. Returns the keeper for the session; nullptr when there is no home folder.
std::unique_ptr<RecoveryKeeper> StartRecovery(CRomImage& rom);
// The delay StartRecovery's keepers use; tests shorten it.
void SetRecoveryDelay(int delayMs);

} // namespace app
