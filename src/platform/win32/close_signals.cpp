#include "platform/win32/close_signals.hpp"

#include <atomic>
#include <csignal>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <pthread.h>
#include <unistd.h>

namespace platform::win32 {
namespace {

using Clock = std::chrono::steady_clock;

std::mutex gSignalMutex;
HWND gCloseWindow = nullptr;
int gUndelivered = 0;
std::atomic<int> gSignalCount{0};
std::once_flag gStarted;

// Never destroyed: the signal thread may still report while the process exits.
CloseSignalReports& reports() {
    static auto* r = new CloseSignalReports;
    return *r;
}

std::string_view nameOf(int signal) {
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    case SIGQUIT: return "SIGQUIT";
    default: return "a signal";
    }
}

void deliver(HWND window, int count) {
    for (int i = 0; i < count; ++i)
        PostMessageW(window, WM_CLOSE, 0, 0);
}

// The closing did not end the process within the limit: it ends now, after the report (or the
// time the report is given).
[[noreturn]] void endOverdue(int signal) {
    std::function<std::optional<int>(std::string_view, std::chrono::seconds)> overdue;
    {
        std::lock_guard guard(gSignalMutex);
        overdue = reports().overdue;
    }
    auto said = std::make_shared<std::atomic<bool>>(false);
    auto code = std::make_shared<std::atomic<int>>(128 + signal);
    if (overdue) {
        std::thread([overdue, said, code, name = nameOf(signal)] {
            if (const auto given = overdue(name, kCloseTimeLimit)) code->store(*given);
            said->store(true);
        }).detach();
        const auto end = Clock::now() + kOverdueReportTime;
        while (!said->load() && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!said->load()) code->store(128 + signal);
    } else {
        static constexpr char kLine[] = "the closing did not finish in time: the process ends without it\n";
        [[maybe_unused]] const auto written = ::write(2, kLine, sizeof kLine - 1);
    }
    ::_exit(code->load());
}

void signalLoop(sigset_t set) {
    std::optional<Clock::time_point> deadline;
    int first = 0;
    for (;;) {
        int signal = 0;
        if (!deadline) {
            if (sigwait(&set, &signal) != 0) continue;
        } else {
            const auto left = *deadline - Clock::now();
            if (left <= Clock::duration::zero()) endOverdue(first);
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
            const timespec wait{static_cast<std::time_t>(seconds.count()),
                                static_cast<long>(std::chrono::nanoseconds(left - seconds).count())};
            signal = sigtimedwait(&set, nullptr, &wait);
            if (signal < 0) continue; // the time is up (checked above) or an interruption
        }
        ++gSignalCount;
        if (!deadline) {
            first = signal;
            deadline = Clock::now() + kCloseTimeLimit;
        }
        std::lock_guard guard(gSignalMutex);
        if (const auto received = reports().received)
            std::thread([received, name = nameOf(signal)] { received(name); }).detach();
        if (gCloseWindow != nullptr)
            deliver(gCloseWindow, 1);
        else
            ++gUndelivered;
    }
}

} // namespace

void startCloseSignalThread() {
    std::call_once(gStarted, [] {
        // A broken pipe or socket is an error result of the write.
        std::signal(SIGPIPE, SIG_IGN);
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGQUIT);
        sigaddset(&set, SIGTERM);
        // Started to outlive its terminal (nohup): a hang-up stays ignored.
        struct sigaction hangUp {};
        if (sigaction(SIGHUP, nullptr, &hangUp) != 0 || hangUp.sa_handler != SIG_IGN) sigaddset(&set, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &set, nullptr);
        // Waits for signals for the life of the process; nothing to join.
        std::thread(signalLoop, set).detach();
    });
}

void setCloseSignalWindow(HWND window) {
    std::lock_guard guard(gSignalMutex);
    gCloseWindow = window;
    if (window != nullptr && gUndelivered > 0) {
        deliver(window, gUndelivered);
        gUndelivered = 0;
    }
}

void setCloseSignalReports(CloseSignalReports newReports) {
    std::lock_guard guard(gSignalMutex);
    reports() = std::move(newReports);
}

int closeSignalCount() { return gSignalCount.load(); }

} // namespace platform::win32
