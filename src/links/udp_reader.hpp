#pragma once
// The base of the two UDP readers of the traffic source (traffic lines, QNH): Winsock start,
// socket and bind, and the receive loop with its 1 s time-out, its overrun check and the
// suppression of repeated datagrams from a remote sender. A derived reader interprets each
// datagram handed on; an error that ends a reader thread stops the run with "READER ERROR".
//
// Each reader is one process-wide object driven by one detached thread per run; other threads
// end that thread through its stop flag, which the loop notices within about a second.

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/log.hpp" // gf_logSafeText
#include "platform/net/winsock.hpp"

namespace tamrix {

// The log of a reader's bad datagrams. A sender may send nothing but garbage, and each line
// would otherwise be logged whole: in each window of kWindow the first kLinesPerWindow are
// logged (each cut to kMaxTextBytes, bytes that are no UTF-8 shown as '?'), the others are
// counted and logged as one line with their count once the window is over. Used on the reader's
// thread only.
class BadDatagramLog {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kLinesPerWindow = 10;
    static constexpr std::chrono::seconds kWindow{60};
    static constexpr std::size_t kMaxTextBytes = 300;

    enum class Kind { Plain, Highlighted, UnlessQuiet };

    explicit BadDatagramLog(std::string_view readerName) : m_readerName(readerName) {}

    void report(std::string_view text, Kind kind = Kind::Plain) { report(text, kind, Clock::now()); }
    void report(std::string_view text, Kind kind, Clock::time_point now);
    // Logs the count of a window that is over (with `force`, of the running one as well).
    void flush(Clock::time_point now, bool force = false);
    void flush() { flush(Clock::now()); }
    // True while bad datagrams of the window were counted but not logged yet.
    bool hasCounted() const noexcept { return m_counted != 0; }
    // Forgets the window (a new run).
    void reset() noexcept;

private:
    std::string m_readerName;
    Clock::time_point m_windowStart{};
    bool m_windowOpen = false;
    std::size_t m_logged = 0;
    uint64_t m_counted = 0;
    std::string m_lastCounted;
};

class UdpReader {
public:
    static constexpr std::size_t kReceiveBufferSize = 16384;
    static constexpr uint32_t kReceiveTimeoutMs = 1000;

    explicit UdpReader(std::string_view readerName = "UDP Reader") : m_badDatagrams(readerName) {}
    virtual ~UdpReader() = default;
    UdpReader(const UdpReader&) = delete;
    UdpReader& operator=(const UdpReader&) = delete;

    // Throws std::runtime_error "WSA startup error: {}".
    void startWinsock();
    // Throws std::runtime_error "failed to create the socket, error: {}".
    void createSocket();
    // Binds to 127.0.0.1 when local, else to any address. Throws std::runtime_error
    // "bind to stream socket failed, error: {}".
    void bindSocket(uint16_t port, bool local);
    // Receives until the stop flag is set, then closes the socket and calls onStopped. Throws
    // std::runtime_error "receive error: {}" on a receive error other than an interruption or
    // the time-out while the stop flag is clear.
    void receiveLoop(bool local);

    // The body of a reader thread: start, bind, mark the given reader states receiving, log
    // "{} connected", receive. An error is reported through gf_readerStopped. On every way out
    // the socket is closed, Winsock is cleaned up once per process, the given states become
    // stopped and "{} disconnected" is logged.
    void runThread(std::string_view threadName, uint16_t port, bool local,
                   std::initializer_list<std::atomic<int32_t>*> states);

    // Interprets one datagram as the receive loop hands it on, without counting it.
    void interpret(std::string_view datagram);

    // True from the start of the reader's thread until its exit guard has run. A second thread
    // on the same reader while one runs is refused (logged).
    bool isRunning() const noexcept { return m_running.load(); }
    // Waits, at most `limit`, until no thread runs the reader; true when none does.
    bool waitUntilEnded(std::chrono::milliseconds limit) const;

    // The log of bad datagrams.
    BadDatagramLog& badDatagrams() noexcept { return m_badDatagrams; }

    // Before a new run, while no thread runs the reader: stop flag clear, counters 0, receiving
    // shown, no last datagram, the bad-datagram log forgotten.
    virtual void resetForRun();
    // The port the socket is bound to; 0 while there is none.
    uint16_t boundPort() const noexcept { return m_boundPort.load(); }

    std::atomic<bool> stopFlag{false};
    std::atomic<uint32_t> datagramCounter{0};  // datagrams handed on; wraps
    std::atomic<uint32_t> previousCounter{0};  // the counter at the last watchdog call
    std::atomic<bool> receivingShown{true};    // watchdog memory

protected:
    // Interprets m_currentDatagram; runs on the reader thread.
    virtual void onDatagram() = 0;
    // Called once when the receive loop ends through the stop flag.
    virtual void onStopped() = 0;

    // The datagram being interpreted; valid only during onDatagram.
    std::string_view m_currentDatagram;
    BadDatagramLog m_badDatagrams;

private:
    void closeSocket() noexcept;

    std::array<char, kReceiveBufferSize> m_receiveBuffer{};
    std::string m_lastDatagram;
    WSADATA m_wsaData{};
    SOCKET m_socket = INVALID_SOCKET;
    std::atomic<bool> m_running{false};
    std::atomic<uint16_t> m_boundPort{0};
};

// "{} connected" / "{} disconnected" as continuation lines of the log.
void lf_readerConnected(std::string_view threadName);
void lf_readerDisconnected(std::string_view threadName);

// A reader thread ended by an error: shows "The {} has stopped with error: {}" on the message
// line (also logged) and stops the run with "READER ERROR" (restart after 15 s) unless another
// exit reason came first.
void gf_readerStopped(std::string_view threadName, std::string_view errorText);

// Winsock is cleaned up by the first reader thread that ends, once per process; this makes the
// next one clean up again, as in a fresh process.
void gf_resetReaderWinsockCleanup();

// The watchdog, called by the main loop: while the traffic run flag is set, a reader that handed
// on no datagram since the last call is shown silent, and one that did is shown receiving again.
void gf_checkReadersAlive();

} // namespace tamrix
