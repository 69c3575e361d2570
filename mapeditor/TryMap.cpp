#include "mapeditor/TryMap.h"

#include <QFile>
#include <vector>

#include "app/Emulator.h"
#include "app/Platform.h"

namespace mapeditor {

QString RefusalDetail(const worldmap::StoreReport& report) {
    switch (report.status) {
    case worldmap::StoreStatus::DoesNotFit:
        return QStringLiteral("The map needs %1 bytes but has room for %2 (its %3 bytes plus %4 "
                              "free). Undo some edits, or paint longer runs of one tile: each "
                              "row is stored as runs.")
            .arg(report.newSize)
            .arg(report.available)
            .arg(report.oldSize)
            .arg(report.available - report.oldSize);
    case worldmap::StoreStatus::BadLayout:
        return QStringLiteral("The map region of this ROM is not laid out in a way that can be "
                              "rewritten safely, so no map can be stored into it. The edits "
                              "stay on screen; the ROM is unchanged.");
    case worldmap::StoreStatus::BadTile:
        return QStringLiteral("A cell holds a tile number above 127, which the map's row code "
                              "cannot hold. Paint over it with one of the 128 tiles.");
    case worldmap::StoreStatus::Stored:
        break;
    }
    return QString();
}

bool TryInEmulator(const edit::MapDocument& doc) {
    std::vector<uint8_t> bytes;
    const worldmap::StoreReport report = doc.StoredCopy(bytes);
    if (report.status != worldmap::StoreStatus::Stored) {
        app::MessageBox(QStringLiteral("Store Values failed"), RefusalDetail(report));
        return false;
    }
    const auto failure =
        app::RunInEmulator(bytes, QFile::decodeName(doc.Rom().RomPath.c_str()));
    if (failure) {
        app::MessageBox(failure->text, failure->detail);
        return false;
    }
    return true;
}

} // namespace mapeditor
