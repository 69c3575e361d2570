#include "mapeditor/SaveRom.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include "app/Platform.h"
#include "mapeditor/MapsDlg.h"

namespace mapeditor {

SaveOutcome SaveRom(CRomImage& rom, const std::function<bool(const FileStamp*)>& write) {
    const QString path = QFile::decodeName(rom.RomPath.c_str());
    FileStamp expected = rom.Stamp;
    while (!write(&expected)) {
        if (!rom.ChangedOnDisk) {
            app::MessageBox(CMapsDlg::SaveFailedText,
                            QStringLiteral("Could not write \"%1\": %2.")
                                .arg(path, QString::fromLocal8Bit(rom.LastError.c_str())));
            return SaveOutcome::Failed;
        }
        const QString question =
            QStringLiteral("\"%1\" was changed by another program since it was opened or last "
                           "saved. Overwrite it with the changes made here?")
                .arg(QFileInfo(path).fileName());
        if (app::Ask(question, {app::Answer::Overwrite, app::Answer::Cancel}) !=
            app::Answer::Overwrite) {
            return SaveOutcome::Cancelled;
        }
        // What the user agreed to overwrite; a change after the question asks again.
        expected = rom.DiskStamp;
    }
    // Once a session per file: a box after every save would be in the way.
    static QSet<QString> told;
    if (rom.OtherNames > 0 && !told.contains(path)) {
        told.insert(path);
        app::MessageBox(QStringLiteral("Saved \"%1\". Its other names (hard links) still "
                                       "hold the old bytes.")
                            .arg(QFileInfo(path).fileName()),
                        QStringLiteral("The file has %1 other name(s); the save put a new file "
                                       "in place under this name only.")
                            .arg(rom.OtherNames));
    }
    return SaveOutcome::Saved;
}

} // namespace mapeditor
