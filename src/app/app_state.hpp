#pragma once
// Process-wide state of the application shell that outlives one run: the main window, the two
// thread objects, the restart flag, the exit code, production mode, and the timings of the
// run's waits (tests shorten them; a run keeps the defaults).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <stop_token>
#include <thread>

#include "platform/win32/window.hpp"

namespace tamrix {

inline constexpr UINT WM_START_RUN = WM_APP + 1;       // start (or restart) the start-up thread
inline constexpr UINT WM_SAVE_AND_QUIT = WM_APP + 2;   // save the window position, end the loop

// The main window; null until it exists (and in tests that run without one).
extern std::atomic<HWND> gMainWindow;

// A stoppable thread object: giving it a new thread first requests the stop of the thread it
// holds and waits for that thread to end, and only then starts the new one.
class RunThread {
public:
    RunThread() = default;
    ~RunThread() { stopAndJoin(); }
    RunThread(const RunThread&) = delete;
    RunThread& operator=(const RunThread&) = delete;

    template <typename F> void start(F&& body) {
        stopAndJoin();
        m_thread = std::jthread(std::forward<F>(body));
    }
    void requestStop() { m_thread.request_stop(); }
    void stopAndJoin() {
        if (!m_thread.joinable()) return;
        m_thread.request_stop();
        if (m_thread.get_id() == std::this_thread::get_id())
            m_thread.detach(); // a thread never waits for itself
        else
            m_thread.join();
    }
    bool joinable() const { return m_thread.joinable(); }

private:
    std::jthread m_thread;
};

// The start-up thread (one per run) and the SimClient thread.
RunThread& gf_startUpThread();
RunThread& gf_simClientThread();
// The two UDP reader threads of a run ("QNH Reader", "Traffic Reader"). They are kept
// joinable, not detached: the closing tells them to stop and waits (bounded) until they end,
// so that no reader outlives the objects it uses at process exit.
std::thread& gf_qnhReaderThread();
std::thread& gf_trafficReaderThread();

// The start-up thread has finished its closing sequence (the window may then end the program
// on its own when the user closes it).
extern std::atomic<bool> gStartUpFinished;
// The last run's closing has saved everything, the window's place too: what is left of the
// process's end loses nothing.
extern std::atomic<bool> gClosingSaved;

// The user closed the window (the close button, or SIGINT/SIGTERM on Linux). The closing flag
// is also raised by an early end of start-up; this one says a person wants the program gone.
extern std::atomic<bool> gUserClosedWindow;

// Set by the closing sequence when the run restarts in this process.
extern std::atomic<bool> gRestartFlag;
// The process exit code handed to the quit message: 0 unless production mode failed.
extern std::atomic<int32_t> gExitCode;
// From the command line.
extern std::atomic<bool> gProductionMode;
// The dbase reference file was read in an earlier run of this process.
extern std::atomic<bool> gReferenceDataRead;
// 1 for MSFS 2020, 2 for MSFS 2024.
extern std::atomic<int32_t> gSimGeneration;
// Entries of "my_simaddon" and "my_thirdparty" (the status panel's counts).
extern std::atomic<uint64_t> gSimaddonCount;
extern std::atomic<uint64_t> gThirdpartyCount;

// The UDP ports of the two readers (RealTraffic's 49005 and 49004 unless the process entry was
// told otherwise, so that runs and tests can sit side by side).
extern std::atomic<uint16_t> gTrafficPort;
extern std::atomic<uint16_t> gQnhPort;

struct AppTimings {
    std::chrono::milliseconds simWaitStep{100};        // waiting for a running simulator
    std::chrono::milliseconds positionWaitStep{500};   // asking for the user position
    std::chrono::milliseconds readerStagger{2000};     // QNH reader, then traffic reader
    std::chrono::milliseconds trafficWaitStep{100};    // waiting for the first traffic
    int32_t trafficWaitSteps = 150;
    std::chrono::milliseconds readerGrace{500};        // closing: readers told to stop
    std::chrono::milliseconds readerJoinLimit{3000};   // closing: the most it waits for them
    std::chrono::milliseconds systemErrorWaitStep{500};
    std::chrono::milliseconds countdownSecond{1000};
    std::chrono::milliseconds newFlightPause{10000};
};
AppTimings& gf_appTimings();

// Sleeps for the duration, in short steps, and returns early (false) as soon as the stop or the
// closing flag is set.
bool gf_pauseUnlessStopping(std::chrono::milliseconds duration);
bool gf_stopOrClosing();

} // namespace tamrix
