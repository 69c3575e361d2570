#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>
#include <vector>

#include "app/Emulator.h"
#include "app/Termination.h"

namespace {

// Each signal, raised while a modal window runs, is answered inside that window's loop:
// the steps run in order, the emulator's temporary copies go, and the program would end by
// that signal (here the test's stand-in ends the window instead).
TEST(Termination, EachSignalRunsTheStepsAndRemovesTheEmulatorCopies) {
    // As a terminal starts it, whatever started this test.
    for (const int signal : {SIGHUP, SIGINT}) {
        std::signal(signal, SIG_DFL);
    }
    app::InstallTerminationHandling();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString record = dir.filePath("played");
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        // A stand-in emulator that only says which file it got.
        qputenv(app::EmulatorVariable,
                ("sh -c 'printf %s \"$0\" > \"" + record + "\"' %f").toUtf8());
        QFile::remove(record);
        ASSERT_FALSE(app::RunInEmulator({1, 2, 3}, "map.nes").has_value());
        qunsetenv(app::EmulatorVariable);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(record).size() > 0, 5000);
        QFile file(record);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString copy = QString::fromLocal8Bit(file.readAll());
        ASSERT_TRUE(QFileInfo::exists(copy));

        std::vector<int> ran;
        const int first = app::AddTerminationStep([&] { ran.push_back(1); });
        const int second = app::AddTerminationStep([&] {
            ran.push_back(2);
            throw std::runtime_error("a step that fails");
        });
        const int third = app::AddTerminationStep([&] { ran.push_back(3); });
        QDialog window;
        int ended = 0;
        app::SetTerminationEnd([&](int s) {
            ended = s;
            window.reject();
        });
        QTimer::singleShot(0, &window, [signal] { std::raise(signal); });
        QTimer::singleShot(5000, &window, &QDialog::reject);
        window.exec();
        app::SetTerminationEnd({});
        for (const int id : {first, second, third}) {
            app::RemoveTerminationStep(id);
        }
        EXPECT_EQ(ended, signal);
        EXPECT_EQ(ran, (std::vector{1, 2, 3})) << signal;
        EXPECT_FALSE(QFileInfo::exists(QFileInfo(copy).absolutePath())) << signal;
    }
}

// For real the program ends by the signal; a second signal while the steps run ends it at
// once.
TEST(TerminationDeathTest, EndsByTheSignalAndASecondEndsAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto run = [](bool again) {
        app::InstallTerminationHandling();
        app::AddTerminationStep([again] {
            if (again) {
                std::raise(SIGHUP);
            }
        });
        std::raise(SIGTERM);
        QTest::qWait(5000);
    };
    EXPECT_EXIT(run(false), ::testing::KilledBySignal(SIGTERM), "");
    EXPECT_EXIT(run(true), ::testing::ExitedWithCode(128 + SIGHUP), "");
}

} // namespace
