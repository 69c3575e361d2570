#include <QDialog>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

#include "app/Emulator.h"
#include "app/Termination.h"

namespace {

// Each signal, raised while a modal window runs, is answered inside that window's loop:
// the steps run in order, also past one that throws, the emulator's temporary copies go,
// and the program would end by that signal (here the test's stand-in closes the window).
TEST(Termination, EachSignalRunsTheStepsAndRemovesTheEmulatorCopies) {
    // As a terminal starts it, whatever started the test.
    std::signal(SIGHUP, SIG_DFL), std::signal(SIGINT, SIG_DFL);
    app::InstallTerminationHandling();
    QTemporaryDir dir;
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", dir.path().toUtf8());
    qputenv(app::EmulatorVariable, "true");
    const auto filesIn = [&] {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    };
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ASSERT_FALSE(app::RunInEmulator({1, 2, 3}, "map.nes").has_value());
        ASSERT_EQ(filesIn().size(), 1);
        std::vector<int> ran;
        const int ids[] = {
            app::AddTerminationStep([&] { ran.push_back(1); }),
            app::AddTerminationStep([&] { ran.push_back(2), throw std::runtime_error("no"); }),
            app::AddTerminationStep([&] { ran.push_back(3); })};
        QDialog window;
        int ended = 0;
        app::SetTerminationEnd([&](int s) { ended = s, window.reject(); });
        QTimer::singleShot(0, &window, [signal] { std::raise(signal); });
        QTimer::singleShot(5000, &window, &QDialog::reject);
        window.exec();
        app::SetTerminationEnd({});
        for (const int id : ids) {
            app::RemoveTerminationStep(id);
        }
        EXPECT_EQ(ended, signal);
        EXPECT_EQ(ran, (std::vector{1, 2, 3})) << signal;
        EXPECT_EQ(filesIn(), QStringList()) << signal;
    }
    qunsetenv(app::EmulatorVariable);
    qputenv("TMPDIR", oldTemp);
}

// For real the program ends by the signal. A second signal right after the first (SIGHUP
// after SIGTERM, as a desktop ending its session sends them) lets the steps finish; one
// that comes while they hang ends the program at once.
TEST(TerminationDeathTest, EndsByTheSignalAndOnlyALateSecondEndsAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto run = [](int secondAfterMs) {
        app::InstallTerminationHandling();
        app::AddTerminationStep([secondAfterMs] {
            if (secondAfterMs >= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(secondAfterMs));
                std::raise(SIGHUP);
            }
        });
        std::raise(SIGTERM);
        QTest::qWait(5000);
    };
    EXPECT_EXIT(run(-1), ::testing::KilledBySignal(SIGTERM), "");
    EXPECT_EXIT(run(0), ::testing::KilledBySignal(SIGTERM), "");
    EXPECT_EXIT(run(2100), ::testing::ExitedWithCode(128 + SIGHUP), "");
}

} // namespace
