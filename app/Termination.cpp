#include "app/Termination.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <unistd.h>
#include <utility>

#include "app/Emulator.h"

namespace app {

namespace {

std::map<int, std::function<void()>>& Steps() {
    static std::map<int, std::function<void()>> steps;
    return steps;
}

std::function<void(int)>& EndHook() {
    static std::function<void(int)> end;
    return end;
}

constexpr int HandledSignals[] = {SIGTERM, SIGHUP, SIGINT};
// How long after a signal the next one is let be; later it ends the program at once (the
// steps hang, or the interface thread never answered).
constexpr long AnswerSeconds = 2;

// What the handler may touch: one lock-free atomic and the write end of the pipe. The
// state is Idle, or the monotonic second, plus one, of the signal being answered.
constexpr long Idle = 0;
std::atomic<long> state{Idle};
int wakeFds[2] = {-1, -1};
static_assert(std::atomic<long>::is_always_lock_free);

long MonotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long>(now.tv_sec);
}

extern "C" void OnTerminatingSignal(int signal) {
    const int savedErrno = errno;
    const long now = MonotonicSeconds() + 1;
    long seen = Idle;
    if (state.compare_exchange_strong(seen, now)) {
        const auto byte = static_cast<unsigned char>(signal);
        if (write(wakeFds[1], &byte, 1) != 1) {
            _exit(128 + signal); // nothing would ever answer it
        }
    } else if (now - seen >= AnswerSeconds) {
        // One that comes with the first is let be: a desktop ending its session sends
        // SIGHUP right after SIGTERM, and the steps must not be cut short by it.
        _exit(128 + signal);
    }
    errno = savedErrno;
}

[[noreturn]] void EndBySignal(int signal) {
    std::fflush(nullptr);
    // Ended by the signal itself, so whoever started the program sees why it ended.
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(signal);
    _exit(128 + signal);
}

void OnWake() {
    unsigned char byte = 0;
    if (read(wakeFds[0], &byte, 1) != 1) {
        return;
    }
    RunTerminationSteps();
    RemoveTestCopies();
    if (const auto end = EndHook()) {
        end(byte);
        state.store(Idle);
        return;
    }
    EndBySignal(byte);
}

} // namespace

int AddTerminationStep(std::function<void()> step) {
    static int next = 0;
    Steps().emplace(++next, std::move(step));
    return next;
}

void RemoveTerminationStep(int id) {
    Steps().erase(id);
}

void RunTerminationSteps() {
    // A step may remove itself while running.
    const auto steps = Steps();
    for (const auto& [id, step] : steps) {
        try {
            step();
        } catch (...) {
            // The program is ending: what the other steps keep matters more than why.
        }
    }
}

void InstallTerminationHandling() {
    if (wakeFds[0] >= 0) {
        return;
    }
    // Close-on-exec: an emulator started later must not hold the pipe.
    if (pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        wakeFds[0] = wakeFds[1] = -1;
        return;
    }
    auto* notifier =
        new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] { OnWake(); });
    struct sigaction action = {};
    action.sa_handler = OnTerminatingSignal;
    // One handler at a time in a thread: the next of them waits until this one is done.
    sigemptyset(&action.sa_mask);
    for (const int signal : HandledSignals) {
        sigaddset(&action.sa_mask, signal);
    }
    action.sa_flags = SA_RESTART;
    for (const int signal : HandledSignals) {
        struct sigaction old = {};
        sigaction(signal, nullptr, &old);
        if (signal != SIGTERM && old.sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(signal, &action, nullptr);
    }
}

void SetTerminationEnd(std::function<void(int signal)> end) {
    EndHook() = std::move(end);
}

} // namespace app
