#include <QApplication>
#include <QFileInfo>

#include "app/EditorApp.h"
#include "app/Termination.h"
#include "resources/AppIcon.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(res::AppIcon());
    // The windows close themselves; the program ends when the main window's run returns.
    QApplication::setQuitOnLastWindowClosed(false);
    app::InstallTerminationHandling();
    // The toolkit has taken its own options out already.
    const QStringList args = QApplication::arguments();
    if (args.size() > 1) {
        theApp.RomArgument = QFileInfo(args.at(1)).absoluteFilePath();
    }
    return theApp.InitInstance() ? QApplication::exec() : 0;
}
