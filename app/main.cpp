#include <QApplication>

#include "app/EditorApp.h"
#include "resources/AppIcon.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(res::AppIcon());
    // The windows close themselves; the program ends when the main window's run returns.
    QApplication::setQuitOnLastWindowClosed(false);
    return theApp.InitInstance() ? QApplication::exec() : 0;
}
