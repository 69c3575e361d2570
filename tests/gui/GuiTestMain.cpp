#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include "tests/gui/GuiTest.h"

bool ModalOpens(const std::function<void()>& open, const std::function<void(QWidget*)>& check) {
    bool opened = false;
    QObject scope; // a timer left pending when nothing opened dies with this call
    QTimer::singleShot(0, &scope, [&] {
        if (QWidget* window = QApplication::activeModalWidget()) {
            opened = true;
            check(window);
            window->close();
        }
    });
    open();
    return opened;
}

int main(int argc, char** argv) {
    // Always headless, also when test discovery runs the binary outside CTest's environment.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Recovery files of the windows under test go to a folder of the run's own.
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
