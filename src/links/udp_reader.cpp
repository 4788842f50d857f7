#include "links/udp_reader.hpp"

#include <stdexcept>
#include <thread>

#include <fmt/format.h>

#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "links/qnh_reader.hpp"
#include "links/socket_error_text.hpp"
#include "links/traffic_reader.hpp"
#include "links/traffic_source_state.hpp"

namespace tamrix {
namespace {

// Winsock is cleaned up by the first reader thread that ends, once per process.
std::atomic<bool> gWinsockCleanedUp{false};

} // namespace

void BadDatagramLog::report(std::string_view text, Kind kind, Clock::time_point now) {
    flush(now);
    if (!m_windowOpen) {
        m_windowOpen = true;
        m_windowStart = now;
        m_logged = 0;
    }
    if (m_logged >= kLinesPerWindow) {
        ++m_counted;
        m_lastCounted = gf_logSafeText(text, kMaxTextBytes);
        return;
    }
    ++m_logged;
    const std::string line = gf_logSafeText(text, kMaxTextBytes);
    switch (kind) {
    case Kind::Plain: gf_log(line); break;
    case Kind::Highlighted: gf_logHighlighted(line); break;
    case Kind::UnlessQuiet: gf_logUnlessQuiet(line); break;
    }
}

void BadDatagramLog::flush(Clock::time_point now, bool force) {
    if (!m_windowOpen || (!force && now - m_windowStart < kWindow)) return;
    m_windowOpen = false;
    if (m_counted == 0) return;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - m_windowStart).count();
    gf_log(fmt::format("{}: {} more bad datagram{} in {} s not logged, the last: {}", m_readerName, m_counted,
                       gf_plural(m_counted), seconds, m_lastCounted));
    m_counted = 0;
    m_lastCounted.clear();
}

void BadDatagramLog::reset() noexcept {
    m_windowOpen = false;
    m_logged = 0;
    m_counted = 0;
    m_lastCounted.clear();
}

void UdpReader::resetForRun() {
    stopFlag.store(false);
    datagramCounter.store(0);
    previousCounter.store(0);
    receivingShown.store(true);
    m_lastDatagram.clear();
    m_badDatagrams.reset();
}

void UdpReader::startWinsock() {
    const int result = WSAStartup(MAKEWORD(2, 2), &m_wsaData);
    if (result != 0) throw std::runtime_error(fmt::format("WSA startup error: {}", result));
}

void UdpReader::createSocket() {
    m_socket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (m_socket == INVALID_SOCKET)
        throw std::runtime_error(
            fmt::format("failed to create the socket, error: {}", gf_wsaErrorText(WSAGetLastError())));
}

void UdpReader::bindSocket(uint16_t port, bool local) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(local ? INADDR_LOOPBACK : INADDR_ANY);
    if (bind(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR)
        throw std::runtime_error(
            fmt::format("bind to stream socket failed, error: {}", gf_wsaErrorText(WSAGetLastError())));
    socklen_t size = sizeof address;
    if (getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        m_boundPort.store(ntohs(address.sin_port));
}

void UdpReader::receiveLoop(bool local) {
    const uint32_t timeout = kReceiveTimeoutMs;
    setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               static_cast<int>(sizeof timeout));
    constexpr int kBufferSize = static_cast<int>(kReceiveBufferSize);
    int error = 0;
    while (!stopFlag.load()) {
        const int n = recvfrom(m_socket, m_receiveBuffer.data(), kBufferSize, 0, nullptr, nullptr);
        if (n > 0 && n < kBufferSize) {
            m_receiveBuffer[static_cast<std::size_t>(n)] = '\0';
            const std::string_view datagram(m_receiveBuffer.data(), static_cast<std::size_t>(n));
            // A remote sender repeats itself; each distinct datagram counts once.
            if (!local) {
                if (datagram == m_lastDatagram) continue;
                m_lastDatagram.assign(datagram);
            }
            m_currentDatagram = datagram;
            datagramCounter.fetch_add(1);
            onDatagram();
        } else if (n >= kBufferSize) {
            m_badDatagrams.report(fmt::format("buffer overrun: {} bytes", n), BadDatagramLog::Kind::UnlessQuiet);
        } else if (n < 0) {
            const int e = WSAGetLastError();
            if (e != WSAEINTR && e != WSAEWOULDBLOCK && e != WSAETIMEDOUT) {
                error = e;
                break;
            }
        }
        if (m_badDatagrams.hasCounted()) m_badDatagrams.flush();
    }
    m_badDatagrams.flush(BadDatagramLog::Clock::now(), true);
    if (error != 0 && !stopFlag.load())
        throw std::runtime_error(fmt::format("receive error: {}", gf_wsaErrorText(error)));
    if (m_socket != INVALID_SOCKET) {
        shutdown(m_socket, SD_BOTH);
        closeSocket();
    }
    onStopped();
}

void UdpReader::closeSocket() noexcept {
    if (m_socket == INVALID_SOCKET) return;
    closesocket(m_socket);
    m_socket = INVALID_SOCKET;
    m_boundPort.store(0);
}

void UdpReader::interpret(std::string_view datagram) {
    m_currentDatagram = datagram;
    onDatagram();
}

bool UdpReader::waitUntilEnded(std::chrono::milliseconds limit) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (m_running.load()) {
        if (std::chrono::steady_clock::now() >= end) return !m_running.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void UdpReader::runThread(std::string_view threadName, uint16_t port, bool local,
                          std::initializer_list<std::atomic<int32_t>*> states) {
    // One thread per reader: a second one would share the socket and the receive buffer.
    if (m_running.exchange(true)) {
        gf_logHighlighted(fmt::format("{} is still running, it is not started again", threadName));
        return;
    }
    // The exit guard: runs on every way out, and nothing it meets leaves it.
    struct ExitGuard {
        UdpReader& reader;
        std::string_view name;
        std::initializer_list<std::atomic<int32_t>*> states;
        ~ExitGuard() {
            try {
                reader.closeSocket();
                if (!gWinsockCleanedUp.exchange(true)) WSACleanup();
                for (auto* state : states) {
                    state->store(kReaderStopped);
                    gf_invalidateStatusPanel();
                }
                lf_readerDisconnected(name);
            } catch (...) {
            }
            reader.m_running.store(false);
        }
    } guard{*this, threadName, states};

    try {
        startWinsock();
        createSocket();
        bindSocket(port, local);
        for (auto* state : states) {
            state->store(kReaderReceiving);
            gf_invalidateStatusPanel();
        }
        lf_readerConnected(threadName);
        receiveLoop(local);
    } catch (const std::exception& e) {
        gf_readerStopped(threadName, e.what());
    } catch (...) {
        gf_readerStopped(threadName, "Unknown exception");
    }
}

void lf_readerConnected(std::string_view threadName) { gf_logContinued(fmt::format("{} connected", threadName)); }

void lf_readerDisconnected(std::string_view threadName) {
    gf_logContinued(fmt::format("{} disconnected", threadName));
}

void gf_readerStopped(std::string_view threadName, std::string_view errorText) {
    gf_setStatusLine(fmt::format("The {} has stopped with error: {}", threadName, errorText), true);
    gf_setExitReason(ExitReason::ReaderError, 15);
}

void gf_resetReaderWinsockCleanup() { gWinsockCleanedUp.store(false); }

void gf_checkReadersAlive() {
    if (!gTrafficRunFlag.load()) return;
    const auto check = [](UdpReader& reader, std::atomic<int32_t>& state) {
        const uint32_t count = reader.datagramCounter.load();
        const uint32_t previous = reader.previousCounter.exchange(count);
        if (count == previous) {
            state.store(kReaderSilent);
            gf_invalidateStatusPanel();
            reader.receivingShown.store(false);
        } else if (!reader.receivingShown.exchange(true)) {
            state.store(kReaderReceiving);
            gf_invalidateStatusPanel();
        }
    };
    check(gf_qnhReader(), gQnhReaderState);
    check(gf_trafficReader(), gTrafficReaderState);
}

} // namespace tamrix
