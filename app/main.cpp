#include <QApplication>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>

#include "app/CommandLine.h"
#include "app/EditorApp.h"
#include "app/Termination.h"
#include "resources/AppIcon.h"

namespace {

// --help and --version are answered before the toolkit starts (no display needed), and a
// usage error ends the program before any window; true when the program should go on.
bool Answered(const app::CommandLine& line, int& exitCode) {
    switch (line.action) {
    case app::CommandLine::Action::Help:
        std::fputs(app::HelpText().toLocal8Bit().constData(), stdout);
        exitCode = std::fflush(stdout) == 0 ? 0 : 1;
        return true;
    case app::CommandLine::Action::Version:
        std::fputs(app::VersionText().toLocal8Bit().constData(), stdout);
        exitCode = std::fflush(stdout) == 0 ? 0 : 1;
        return true;
    case app::CommandLine::Action::UsageError:
        std::fprintf(stderr, "atlasforge: %s\n", line.error.toLocal8Bit().constData());
        exitCode = 2;
        return true;
    case app::CommandLine::Action::Run:
        break;
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    // Before the toolkit has taken its options out only --help and --version count.
    QStringList raw;
    for (int i = 1; i < argc; ++i) {
        raw << QString::fromLocal8Bit(argv[i]);
    }
    int exitCode = 0;
    const app::CommandLine early = app::ParseCommandLine(raw);
    // Without any option the toolkit could take, a usage error is final too.
    const bool noOptions = std::none_of(raw.begin(), raw.end(),
                                        [](const QString& arg) { return arg.startsWith(u'-'); });
    if (early.action == app::CommandLine::Action::Help ||
        early.action == app::CommandLine::Action::Version ||
        (early.action == app::CommandLine::Action::UsageError && noOptions)) {
        Answered(early, exitCode);
        return exitCode;
    }

    QApplication app(argc, argv);
    QApplication::setWindowIcon(res::AppIcon());
    // The windows close themselves; the program ends when the main window's run returns.
    QApplication::setQuitOnLastWindowClosed(false);
    // The toolkit has taken its own options out now.
    const app::CommandLine line = app::ParseCommandLine(QApplication::arguments().mid(1));
    if (Answered(line, exitCode)) {
        return exitCode;
    }
    app::InstallTerminationHandling();
    if (line.rom) {
        theApp.RomArgument = QFileInfo(*line.rom).absoluteFilePath();
    }
    return theApp.InitInstance() ? QApplication::exec() : 0;
}
