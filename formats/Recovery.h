#pragma once

// The recovery file: what the editor holds that its ROM file does not, kept beside the
// user's files so that a crash, a power cut or a killed session loses at most a few
// seconds of work. One file per ROM path, replaced whole each time it is written.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/Result.h"
#include "rom/RomImage.h"
#include "worldmap/WorldMap.h"

namespace formats {

struct Recovery {
    std::string RomPath;
    // The ROM file as it was loaded: edits only make sense over those bytes.
    FileStamp Stamp;
    // When the edits were made, milliseconds since the epoch.
    int64_t EditedMs = 0;
    // The whole image: RomFileSize bytes, then whatever the file carried past them.
    std::vector<uint8_t> Image;
    // The map whose grid holds edits not yet stored into the image, if one does.
    int MapId = -1;
    std::vector<uint8_t> Grid; // worldmap::MapWidth * MapHeight bytes when MapId >= 0
};

std::vector<uint8_t> EncodeRecovery(const Recovery& recovery);
// Checks everything (its own CRC, sizes, the map id) and fills `out` only when it is whole.
Result DecodeRecovery(const std::vector<uint8_t>& bytes, Recovery& out);

// The folder the recovery files live in: $XDG_STATE_HOME/atlasforge/recovery, by default
// ~/.local/state/atlasforge/recovery. Empty when neither variable says where home is.
std::string RecoveryFolder();
// The file for the ROM at `romPath` (absolute) inside `folder`.
std::string RecoveryFileFor(const std::string& folder, const std::string& romPath);
// Creates `folder` and any missing parents, private to the user (0700).
Result MakeRecoveryFolder(const std::string& folder);

// Writes `recovery` to `path` atomically.
Result WriteRecovery(const std::string& path, const Recovery& recovery);
// Reads and checks the file at `path`.
Result ReadRecovery(const std::string& path, Recovery& out);
// Renames the file at `path` out of the way, never deleting it: "<path>.stale-<time>" (a
// number added when that is taken). The new name, or nullopt with `error` set.
std::optional<std::string> SetRecoveryAside(const std::string& path, std::string& error);

} // namespace formats
