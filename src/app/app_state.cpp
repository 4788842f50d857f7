#include "app/app_state.hpp"

#include <algorithm>

#include "core/run_state.hpp"

namespace tamrix {

std::atomic<HWND> gMainWindow{nullptr};
std::atomic<bool> gStartUpFinished{false};
std::atomic<bool> gClosingSaved{false};
std::atomic<bool> gRestartFlag{false};
std::atomic<uint16_t> gTrafficPort{49005};
std::atomic<uint16_t> gQnhPort{49004};
std::atomic<bool> gUserClosedWindow{false};
std::atomic<int32_t> gExitCode{0};
std::atomic<bool> gProductionMode{false};
std::atomic<bool> gReferenceDataRead{false};
std::atomic<int32_t> gSimGeneration{1};
std::atomic<uint64_t> gSimaddonCount{0};
std::atomic<uint64_t> gThirdpartyCount{0};

RunThread& gf_startUpThread() {
    static auto* thread = new RunThread;
    return *thread;
}

RunThread& gf_simClientThread() {
    static auto* thread = new RunThread;
    return *thread;
}

std::thread& gf_qnhReaderThread() {
    static auto* thread = new std::thread;
    return *thread;
}

std::thread& gf_trafficReaderThread() {
    static auto* thread = new std::thread;
    return *thread;
}

AppTimings& gf_appTimings() {
    static AppTimings timings;
    return timings;
}

bool gf_stopOrClosing() { return gStopFlag.load() || gClosingFlag.load(); }

bool gf_pauseUnlessStopping(std::chrono::milliseconds duration) {
    using namespace std::chrono;
    const auto end = steady_clock::now() + duration;
    for (;;) {
        if (gf_stopOrClosing()) return false;
        const auto now = steady_clock::now();
        if (now >= end) return true;
        std::this_thread::sleep_for(std::min<steady_clock::duration>(end - now, milliseconds(20)));
    }
}

} // namespace tamrix
