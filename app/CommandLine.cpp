#include "app/CommandLine.h"

#include "app/Emulator.h"

namespace app {

CommandLine ParseCommandLine(const QStringList& args) {
    CommandLine line;
    // Only before "--": after it "-h" is a ROM's name.
    const QStringList options = args.mid(0, args.indexOf(QStringLiteral("--")));
    if (options.contains(QStringLiteral("--help")) || options.contains(QStringLiteral("-h"))) {
        line.action = CommandLine::Action::Help;
        return line;
    }
    if (options.contains(QStringLiteral("--version"))) {
        line.action = CommandLine::Action::Version;
        return line;
    }
    bool inOptions = true;
    for (const QString& arg : args) {
        if (inOptions && arg == QStringLiteral("--")) {
            inOptions = false;
            continue;
        }
        // A lone "-" is a name like any other (no ROM is read from standard input).
        QString error;
        if (inOptions && arg.startsWith(u'-') && arg.size() > 1) {
            error = QStringLiteral("unknown option %1").arg(arg.left(40));
        } else if (line.rom) {
            error = QStringLiteral("one ROM at a time (%1 and %2 given)")
                        .arg(line.rom->left(60), arg.left(60));
        }
        if (!error.isEmpty()) {
            line.action = CommandLine::Action::UsageError;
            line.rom.reset();
            line.error = error + QStringLiteral("; atlasforge --help tells more");
            return line;
        }
        line.rom = arg;
    }
    return line;
}

QString HelpText() {
    return QStringLiteral(
               "Usage: atlasforge [OPTION] [ROM]\n"
               "Edit the world maps and tiles of an NES role-playing game's ROM image (an iNES\n"
               "file of 524,304 bytes) and look through its enemies.\n"
               "\n"
               "With ROM, the editor opens that file at start-up; without it, it asks for one.\n"
               "A ROM that cannot be opened for reading and writing is reported, and the program\n"
               "ends. The command-line companion, atlasforge-cli, works on the same files.\n"
               "\n"
               "Options:\n"
               "  -h, --help           show this help and exit\n"
               "  --version            show the version and exit\n"
               "  --                   end of options: a ROM whose name starts with '-' follows\n"
               "The toolkit's own options (such as -platform or -style) are accepted too.\n"
               "\n"
               "Files:\n"
               "  palette.pal          the 64 screen colours (192 bytes of red, green, blue),\n"
               "                       looked for in the working folder, then in\n"
               "                       $XDG_CONFIG_HOME/atlasforge/ (default\n"
               "                       ~/.config/atlasforge/), then in share/atlasforge/ of the\n"
               "                       installation (/usr/share/atlasforge/ from the package);\n"
               "                       without one, the editor says so and uses the built-in\n"
               "                       standard palette\n"
               "  recovery files       unsaved edits, kept while the editor runs, in\n"
               "                       $XDG_STATE_HOME/atlasforge/recovery/ (default\n"
               "                       ~/.local/state/atlasforge/recovery/); after a crash,\n"
               "                       opening the same ROM again offers to recover them\n"
               "\n"
               "Environment:\n"
               "  %1  the emulator that Test starts (%f in it stands for the\n"
               "                       ROM's copy); without it, the first of fceux, nestopia\n"
               "                       and mednafen on the PATH\n"
               "  XDG_CONFIG_HOME      the configuration folder (default ~/.config)\n"
               "  XDG_STATE_HOME       the state folder (default ~/.local/state)\n")
        .arg(QString::fromLatin1(EmulatorVariable));
}

QString VersionText() {
    return QStringLiteral("atlasforge %1\n").arg(QLatin1String(ATLASFORGE_VERSION));
}

} // namespace app
