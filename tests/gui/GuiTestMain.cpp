#include <QApplication>
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
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
