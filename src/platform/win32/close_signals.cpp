#include "platform/win32/close_signals.hpp"

#include <atomic>
#include <csignal>
#include <mutex>
#include <thread>

#include <pthread.h>

namespace platform::win32 {
namespace {

std::mutex gSignalMutex;
HWND gCloseWindow = nullptr;
int gUndelivered = 0;
std::atomic<int> gSignalCount{0};
std::once_flag gStarted;

void deliver(HWND window, int count) {
    for (int i = 0; i < count; ++i)
        PostMessageW(window, WM_CLOSE, 0, 0);
}

void signalLoop(sigset_t set) {
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0) continue;
        ++gSignalCount;
        std::lock_guard guard(gSignalMutex);
        if (gCloseWindow != nullptr)
            deliver(gCloseWindow, 1);
        else
            ++gUndelivered;
    }
}

} // namespace

void startCloseSignalThread() {
    std::call_once(gStarted, [] {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set, nullptr);
        // Waits in sigwait for the life of the process; nothing to join.
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

int closeSignalCount() { return gSignalCount.load(); }

} // namespace platform::win32
