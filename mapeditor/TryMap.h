#pragma once

#include <QString>

#include "edit/MapDocument.h"
#include "worldmap/WorldMap.h"

namespace mapeditor {

// The detailed text of "Store Values failed": the numbers behind the refusal and what to
// do about it.
QString RefusalDetail(const worldmap::StoreReport& report);

// "Test" and F5 in the map windows: the grid stored into a copy of the image, which goes
// to the emulator; the image and its file stay as they are. A grid that cannot be stored
// is refused as a store is, and then nothing is started. True when the emulator started;
// every failure has been shown in a message box.
bool TryInEmulator(const edit::MapDocument& doc);

} // namespace mapeditor
