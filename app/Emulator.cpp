#include "app/Emulator.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>
#include <variant>

namespace app {

namespace {

constexpr const char* KnownEmulators[] = {"fceux", "nestopia", "mednafen"};

const QString SetupHint =
    QStringLiteral(
        "Set the environment variable %1 to the command that starts your emulator, with %f "
        "where the ROM file goes (for example: %1=\"fceux %f\"), or install fceux, nestopia or "
        "mednafen.")
        .arg(QString::fromLatin1(EmulatorVariable));

// One folder for the whole run: removed with everything in it when the program ends, while
// an emulator started earlier may still have its file open.
std::unique_ptr<QTemporaryDir>& TestFolderHolder() {
    static std::unique_ptr<QTemporaryDir> folder;
    return folder;
}

QTemporaryDir* TestFolder() {
    std::unique_ptr<QTemporaryDir>& folder = TestFolderHolder();
    if (folder == nullptr) {
        folder = std::make_unique<QTemporaryDir>();
    }
    return folder->isValid() ? folder.get() : nullptr;
}

// A file name not used before in this run, so an emulator still running on an earlier
// copy keeps its file.
QString NextTestFile(const QTemporaryDir& folder, const QString& romName) {
    static int count = 0;
    QString base = QFileInfo(romName).completeBaseName();
    if (base.isEmpty()) {
        base = QStringLiteral("map");
    }
    return folder.filePath(QStringLiteral("%1-test%2.nes").arg(base).arg(++count));
}

QString& GamesFolder() {
    static QString folder;
    return folder;
}

std::variant<QStringList, EmulatorFailure> FindCommand() {
    const QString configured = qEnvironmentVariable(EmulatorVariable).trimmed();
    if (!configured.isEmpty()) {
        const std::optional<QStringList> words = SplitCommandLine(configured);
        if (!words || words->isEmpty()) {
            return EmulatorFailure{
                QStringLiteral("The emulator command cannot be read"),
                QStringLiteral("%1 is \"%2\": it has a quote without its closing quote or ends "
                               "in a backslash.")
                    .arg(QString::fromLatin1(EmulatorVariable), configured)};
        }
        return *words;
    }
    for (const char* name : KnownEmulators) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty()) {
            return QStringList{path};
        }
    }
    // The text itself says what to do: there is nothing more to show under the details.
    const QString games =
        GamesFolder().isEmpty() ? QString::fromLatin1(SystemGamesFolder) : GamesFolder();
    for (const char* name : KnownEmulators) {
        const QString path =
            QStandardPaths::findExecutable(QString::fromLatin1(name), QStringList{games});
        if (!path.isEmpty()) {
            return EmulatorFailure{
                QStringLiteral("No emulator found on the PATH, but there is %1, in %2, which "
                               "is not on the PATH.\n\nSet the environment variable %3 to "
                               "its command, with %f where the ROM file goes (for example: "
                               "%3=\"%1 %f\"), or add %2 to the PATH.")
                    .arg(path, games, QString::fromLatin1(EmulatorVariable)),
                QString()};
        }
    }
    return EmulatorFailure{QStringLiteral("No emulator found.\n\n") + SetupHint, QString()};
}

} // namespace

void RemoveTestCopies() {
    TestFolderHolder().reset();
}

void SetGamesFolder(const QString& folder) {
    GamesFolder() = folder;
}

std::optional<QStringList> SplitCommandLine(const QString& line) {
    QStringList words;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u' ' || c == u'\t' || c == u'\n') {
            if (inWord) {
                words << word;
                word.clear();
                inWord = false;
            }
            continue;
        }
        inWord = true;
        if (c == u'\'') {
            const qsizetype close = line.indexOf(u'\'', i + 1);
            if (close < 0) {
                return std::nullopt;
            }
            word += line.mid(i + 1, close - i - 1);
            i = close;
        } else if (c == u'"') {
            for (++i;; ++i) {
                if (i >= line.size()) {
                    return std::nullopt;
                }
                if (line[i] == u'"') {
                    break;
                }
                if (line[i] == u'\\' && i + 1 < line.size() &&
                    QStringLiteral("\"\\$`").contains(line[i + 1])) {
                    ++i;
                }
                word += line[i];
            }
        } else if (c == u'\\') {
            if (++i >= line.size()) {
                return std::nullopt;
            }
            word += line[i];
        } else {
            word += c;
        }
    }
    if (inWord) {
        words << word;
    }
    return words;
}

QStringList CommandForFile(const QStringList& words, const QString& file) {
    QStringList out;
    bool placed = false;
    for (const QString& word : words) {
        QString filled;
        for (qsizetype i = 0; i < word.size(); ++i) {
            if (word[i] == u'%' && i + 1 < word.size() && word[i + 1] == u'f') {
                filled += file;
                placed = true;
                ++i;
            } else if (word[i] == u'%' && i + 1 < word.size() && word[i + 1] == u'%') {
                filled += u'%';
                ++i;
            } else {
                filled += word[i];
            }
        }
        out << filled;
    }
    if (!placed) {
        out << file;
    }
    return out;
}

std::optional<EmulatorFailure> RunInEmulator(const std::vector<uint8_t>& bytes,
                                             const QString& romName) {
    const auto command = FindCommand();
    if (const auto* failure = std::get_if<EmulatorFailure>(&command)) {
        return *failure;
    }
    QTemporaryDir* folder = TestFolder();
    if (folder == nullptr) {
        return EmulatorFailure{QStringLiteral("Could not write the copy to test"),
                               QStringLiteral("No temporary folder could be made.")};
    }
    const QString path = NextTestFile(*folder, romName);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()) ||
        !file.flush()) {
        const QString reason = file.errorString();
        file.remove();
        return EmulatorFailure{QStringLiteral("Could not write the copy to test"),
                               QStringLiteral("Could not write \"%1\": %2.").arg(path, reason)};
    }
    file.close();
    QStringList words = CommandForFile(std::get<QStringList>(command), path);
    const QString program = words.takeFirst();
    QProcess process;
    process.setProgram(program);
    process.setArguments(words);
    if (!process.startDetached()) {
        return EmulatorFailure{QStringLiteral("The emulator could not be started"),
                               QStringLiteral("Could not start \"%1\": %2.\n\n%3")
                                   .arg(program, process.errorString(), SetupHint)};
    }
    return std::nullopt;
}

} // namespace app
