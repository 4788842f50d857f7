#include "links/realtraffic_server.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <mutex>
#include <stdexcept>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "core/time_texts.hpp"
#include "core/version_data.hpp"
#include "links/qnh_reader.hpp"
#include "links/socket_error_text.hpp"
#include "links/traffic_reader.hpp"
#include "links/traffic_source_state.hpp"
#include "platform/net/winsock.hpp"

namespace tamrix {
namespace {

constexpr int kAnswerBufferSize = 16384;
// How often a wait for RealTraffic looks at the stop and closing flags.
constexpr int kAcceptPollMs = 250;

// The one client place: free, taken by a client that has been asked for its version, held by
// RealTraffic, which answered, or lost by a failed send while RealTraffic held it (its aircraft
// are still to be taken out).
enum class Link { Free, Asked, Up, Gone };
enum class Accept { Accepted, NoneYet, Closed };
enum class AnswerRead { Waiting, Complete, Failed };

// A socket that the start-up thread may wait on (accept, the version read) outside the server
// lock while another thread closes the server. Closing then only shuts it down, which wakes the
// waiter, and the waiter closes it when it comes back: the descriptor number is never freed
// while a call may still be made with it.
struct HeldSocket {
    SOCKET fd = INVALID_SOCKET;
    bool waitedOn = false;
    bool closeWhenBack = false;
};

struct Server {
    std::mutex lock; // held for each send and each close
    HeldSocket listen;
    HeldSocket client;
    bool winsockStarted = false;
    std::atomic<Link> link{Link::Free};
    std::atomic<LiveAircraftRemover> remover{nullptr};
    // The answer to the version question (start-up thread): what came so far, and when the wait
    // for it ends.
    std::string answer;
    std::chrono::steady_clock::time_point answerDeadline{};
};

Server& server() {
    static auto* s = new Server;
    return *s;
}

// The three helpers below run under the server lock.
SOCKET borrow(HeldSocket& held) {
    if (held.fd != INVALID_SOCKET) held.waitedOn = true;
    return held.fd;
}

void giveBack(HeldSocket& held, SOCKET fd) {
    if (fd == INVALID_SOCKET) return;
    held.waitedOn = false;
    if (held.closeWhenBack) {
        closesocket(fd);
        held.closeWhenBack = false;
    }
}

void retire(HeldSocket& held) {
    if (held.fd == INVALID_SOCKET) return;
    if (held.waitedOn) {
        shutdown(held.fd, SD_BOTH);
        held.closeWhenBack = true;
    } else {
        closesocket(held.fd);
    }
    held.fd = INVALID_SOCKET;
}

// Sends all bytes of the line; under the server lock.
bool sendLocked(Server& s, std::string_view line) {
    std::size_t sent = 0;
    while (sent < line.size()) {
        const int n = send(s.client.fd, line.data() + sent, static_cast<int>(line.size() - sent), 0);
        if (n == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            if (error == WSAEINTR) continue;
            gf_logUnlessQuiet(
                fmt::format("sendDataPacket to RealTraffic failed: {}", gf_wsaErrorText(error)));
            s.link.store(s.link.load() == Link::Up ? Link::Gone : Link::Free);
            retire(s.client);
            gf_logUnlessQuiet("RealTraffic client socket closed");
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void setOption(SOCKET fd, int level, int option, uint32_t value) {
    if (setsockopt(fd, level, option, reinterpret_cast<const char*>(&value),
                   static_cast<int>(sizeof value)) == SOCKET_ERROR)
        throw std::runtime_error(fmt::format("{} setsockopt failed with error {}", gf_utcClock(),
                                             gf_wsaErrorText(WSAGetLastError())));
}

bool runStopping() {
    return gStopFlag.load() || gClosingFlag.load();
}

// A client's socket blocks (up to its time-outs), whatever the listen socket's mode.
void setBlocking(SOCKET fd) {
    u_long nonBlocking = 0;
    if (ioctlsocket(fd, FIONBIO, &nonBlocking) != 0)
        throw std::runtime_error(fmt::format("{} ioctlsocket failed with error {}", gf_utcClock(),
                                             gf_wsaErrorText(WSAGetLastError())));
}

// The answer is one JSON text, which may arrive split: complete once it parses, or once it
// fails to parse before its end (an answer, if a bad one).
bool answerComplete(const std::string& answer) {
    try {
        [[maybe_unused]] const auto parsed = nlohmann::json::parse(answer);
        return true;
    } catch (const nlohmann::json::parse_error& e) {
        return e.byte <= answer.size();
    }
}

// Reads what the client has sent of its answer, waiting at most waitMs for more.
AnswerRead readAnswer(SOCKET fd, std::string& answer, std::chrono::steady_clock::time_point deadline,
                      int waitMs) {
    if (fd == INVALID_SOCKET) return AnswerRead::Failed;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            gf_logUnlessQuiet(fmt::format("receive: {}", gf_wsaErrorText(WSAETIMEDOUT)));
            return AnswerRead::Failed;
        }
        WSAPOLLFD incoming{fd, POLLIN, 0};
        const int ready = WSAPoll(&incoming, 1, static_cast<int>(std::min<int64_t>(waitMs, left)));
        if (ready == 0) return AnswerRead::Waiting;
        char buffer[kAnswerBufferSize];
        const int n = ready == SOCKET_ERROR
                          ? SOCKET_ERROR
                          : recv(fd, buffer, kAnswerBufferSize - static_cast<int>(answer.size()), 0);
        if (n == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            if (error == WSAEINTR) continue;
            gf_logUnlessQuiet(fmt::format("receive: {}", gf_wsaErrorText(error)));
            return AnswerRead::Failed;
        }
        if (n == 0) return AnswerRead::Failed; // closed without an answer
        answer.append(buffer, static_cast<std::size_t>(n));
        if (answer.size() >= kAnswerBufferSize) {
            gf_logUnlessQuiet(fmt::format("receive: buffer overrun: {}", answer.size()));
            return AnswerRead::Failed;
        }
        if (answerComplete(answer)) return AnswerRead::Complete;
    }
}

// Only the whole number 2 is the professional edition. The member is compared as the JSON value
// it is, never converted: 2.9, 4294967298 or 4e21 are no level of RealTraffic and mean the
// standard edition, logged.
bool lf_professionalLevel(const nlohmann::json& answer) {
    const auto level = answer.find("level");
    if (level == answer.end()) return false;
    const bool whole = level->is_number_integer();
    if (whole && *level == 2) return true;
    if (whole && *level == 1) return false;
    constexpr std::size_t kShownLength = 40;
    gf_log(fmt::format(
        "lf_processRTVersion: level {} is no edition of RealTraffic, the standard edition is assumed",
        level->dump().substr(0, kShownLength)));
    return false;
}

} // namespace

void gf_listenForRealTraffic(const std::string& port) {
    auto& s = server();
    WSADATA data{};
    const int started = WSAStartup(MAKEWORD(2, 2), &data);
    if (started != 0) throw std::runtime_error(fmt::format("WSAStartup failed with error {}", started));

    addrinfo hints{};
    hints.ai_flags = AI_PASSIVE;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* result = nullptr;
    // RealTraffic on this PC reaches the server over the loopback; no other host may take the
    // user's position stream or hold the one client place.
    const char* host = gRealTrafficOnThisPc.load() ? "127.0.0.1" : nullptr;
    const int resolved = getaddrinfo(host, port.c_str(), &hints, &result);
    if (resolved != 0) {
        WSACleanup();
        throw std::runtime_error(fmt::format("getaddrinfo failed with error {}", resolved));
    }

    SOCKET fd = INVALID_SOCKET;
    const auto fail = [&](std::string text) {
        if (result != nullptr) freeaddrinfo(result);
        if (fd != INVALID_SOCKET) closesocket(fd);
        WSACleanup();
        throw std::runtime_error(text);
    };
    fd = socket(result->ai_family, result->ai_socktype, result->ai_protocol);
    if (fd == INVALID_SOCKET) fail("socket failed with error " + gf_wsaErrorText(WSAGetLastError()));
    // Accept is called only when a poll found a client waiting; one that gives up in between must
    // not hold the caller in accept.
    u_long nonBlocking = 1;
    if (ioctlsocket(fd, FIONBIO, &nonBlocking) != 0)
        fail("ioctlsocket failed with error " + gf_wsaErrorText(WSAGetLastError()));
    const int reuse = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
                   static_cast<int>(sizeof reuse)) == SOCKET_ERROR)
        fail("setsockopt(SO_REUSEADDR) failed");
    if (bind(fd, result->ai_addr, result->ai_addrlen) == SOCKET_ERROR)
        fail("Bind failed at port " + port + " with error " + gf_wsaErrorText(WSAGetLastError()));
    freeaddrinfo(result);
    result = nullptr;
    if (listen(fd, SOMAXCONN) == SOCKET_ERROR)
        fail("listen failed with error " + gf_wsaErrorText(WSAGetLastError()));

    std::lock_guard guard(s.lock);
    retire(s.listen);
    s.listen.fd = fd;
    s.winsockStarted = true;
}

uint16_t gf_realTrafficServerPort() {
    auto& s = server();
    std::lock_guard guard(s.lock);
    if (s.listen.fd == INVALID_SOCKET) return 0;
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (getsockname(s.listen.fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
    return ntohs(address.sin_port);
}

namespace {

// Takes a client that is waiting, looking for one for at most waitMs.
Accept acceptClient(int waitMs) {
    auto& s = server();
    SOCKET listenFd = INVALID_SOCKET;
    {
        std::lock_guard guard(s.lock);
        if (s.link.load() != Link::Free) return Accept::Closed; // a second client is never accepted
        listenFd = borrow(s.listen);
    }
    SOCKET accepted = INVALID_SOCKET;
    Accept result = Accept::Closed;
    if (listenFd != INVALID_SOCKET) {
        WSAPOLLFD incoming{listenFd, POLLIN, 0};
        const int ready = WSAPoll(&incoming, 1, waitMs);
        if (ready == 0 || (ready == SOCKET_ERROR && WSAGetLastError() == WSAEINTR)) {
            result = Accept::NoneYet;
        } else if (ready > 0) {
            accepted = accept(listenFd, nullptr, nullptr);
            const int error = accepted == INVALID_SOCKET ? WSAGetLastError() : 0;
            // The client gave up before it was taken.
            if (error == WSAEWOULDBLOCK || error == WSAECONNABORTED || error == WSAEINTR) result = Accept::NoneYet;
        }
    }
    std::lock_guard guard(s.lock);
    const bool closedMeanwhile = listenFd != s.listen.fd;
    giveBack(s.listen, listenFd);
    if (accepted == INVALID_SOCKET) return result;
    if (closedMeanwhile) {
        closesocket(accepted);
        return Accept::Closed;
    }
    try {
        setBlocking(accepted);
        setOption(accepted, IPPROTO_TCP, TCP_NODELAY, 1);
        setOption(accepted, SOL_SOCKET, SO_RCVTIMEO, kRealTrafficSocketTimeoutMs);
        setOption(accepted, SOL_SOCKET, SO_SNDTIMEO, kRealTrafficSocketTimeoutMs);
    } catch (const std::runtime_error& e) {
        gf_logUnlessQuiet(fmt::format("waitForClient interrupted: {}", e.what()));
        closesocket(accepted);
        return Accept::Closed;
    }
    retire(s.client);
    s.client.fd = accepted;
    s.link.store(Link::Asked);
    return Accept::Accepted;
}

// Asks the client for its version; its answer is waited for kRealTrafficSocketTimeoutMs.
void askVersion() {
    auto& s = server();
    s.answer.clear();
    s.answerDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRealTrafficSocketTimeoutMs);
    sendDataPacket("Qs999=version\r\n");
}

AnswerRead readClientAnswer(int waitMs) {
    auto& s = server();
    SOCKET fd = INVALID_SOCKET;
    {
        std::lock_guard guard(s.lock);
        fd = borrow(s.client);
    }
    const AnswerRead read = readAnswer(fd, s.answer, s.answerDeadline, waitMs);
    std::lock_guard guard(s.lock);
    giveBack(s.client, fd);
    return read;
}

// A client that gave no answer is not RealTraffic: it is closed, so that the place is free for
// RealTraffic. True when the link is up.
bool takeVersionAnswer(const std::string& answer) {
    lf_processRTVersion(answer);
    auto& s = server();
    std::lock_guard guard(s.lock);
    if (s.client.fd == INVALID_SOCKET) return false; // closed meanwhile
    if (answer.empty()) {
        retire(s.client);
        s.link.store(Link::Free);
        gf_logUnlessQuiet("RealTraffic client socket closed: no version answer");
        return false;
    }
    s.link.store(Link::Up);
    return true;
}

// RealTraffic is away: looks whether it is back without waiting, so that the caller (the
// live-traffic tick) goes on meanwhile. A new client is asked for its version, and its answer
// taken up on later calls.
void lookForRealTraffic() {
    auto& s = server();
    if (s.link.load() == Link::Free) {
        if (acceptClient(0) != Accept::Accepted) return;
        askVersion();
    }
    const AnswerRead read = readClientAnswer(0);
    if (read == AnswerRead::Waiting) return;
    if (!takeVersionAnswer(read == AnswerRead::Complete ? s.answer : std::string())) return;
    gTrafficRunFlag.store(true);
    gf_invalidateStatusPanel();
    gf_setStatusLine(fmt::format("{} RealTraffic re-connected", gf_utcClock()), true);
    gf_clearStatusLine();
}

} // namespace

bool waitForClient() {
    // Waits in short steps, so that an exit reason set by any thread ends the wait too.
    while (!runStopping()) {
        const Accept accepted = acceptClient(kAcceptPollMs);
        if (accepted != Accept::NoneYet) return accepted == Accept::Accepted;
    }
    return false;
}

bool sendDataPacket(std::string_view line) {
    auto& s = server();
    std::lock_guard guard(s.lock);
    return sendLocked(s, line);
}

std::string lf_receiveData() {
    // In short steps, so that a stopping run does not wait for the time-out.
    AnswerRead read = AnswerRead::Waiting;
    while (read == AnswerRead::Waiting && !runStopping()) read = readClientAnswer(kAcceptPollMs);
    return read == AnswerRead::Complete ? server().answer : std::string();
}

void lf_processRTVersion(const std::string& answer) {
    if (answer.empty()) {
        gf_setStatusLine("No RealTraffic version received?", true);
        gRealTrafficProfessional.store(false);
        return;
    }
    try {
        const auto parsed = nlohmann::json::parse(answer);
        if (parsed.is_object()) {
            const bool professional = lf_professionalLevel(parsed);
            const std::string version = parsed.value("version", std::string());
            gRealTrafficProfessional.store(professional);
            gf_setRealTrafficText(fmt::format("RT {} edition: {}", professional ? "prof" : "stnd", version));
        } else {
            gRealTrafficProfessional.store(false);
            gf_setRealTrafficText({});
        }
        gf_invalidateStatusPanel();
    } catch (const std::exception& e) {
        gRealTrafficProfessional.store(false);
        gf_setRealTrafficText({});
        gf_invalidateStatusPanel();
        gf_log(fmt::format("{}: JSON parse failed: {}", "lf_processRTVersion", e.what()));
    }
}

namespace {

// A reader that is being stopped must have ended before its stop flag is cleared, or its thread
// would go on beside the reader thread of the next run. It notices the flag within its receive
// time-out; true when it has ended (or was not being stopped). One that does not end in time
// keeps its flag set, so that it still ends.
bool lf_readerEnded(UdpReader& reader, std::string_view name) {
    if (!reader.stopFlag.load()) return true;
    if (reader.waitUntilEnded(std::chrono::milliseconds(kReaderEndWaitMs))) return true;
    gf_logHighlighted(
        fmt::format("{} has not stopped within {} ms, its stop flag stays set", name, kReaderEndWaitMs));
    return false;
}

} // namespace

void gf_resetTrafficSource() {
    auto& traffic = gf_trafficReader();
    auto& qnh = gf_qnhReader();
    const bool trafficEnded = lf_readerEnded(traffic, "Traffic Reader");
    const bool qnhEnded = lf_readerEnded(qnh, "QNH Reader");
    traffic.qnh.store(1013);
    gLastTrafficTime.store(0.0);
    traffic.clearCallsigns();
    if (trafficEnded) traffic.stopFlag.store(false);
    traffic.receivingShown.store(true);
    qnh.lastQnh.store(1013);
    if (qnhEnded) qnh.stopFlag.store(false);
    qnh.datagramCounter.store(0);
    qnh.previousCounter.store(0);
    qnh.receivingShown.store(true);
}

void gf_waitForRealTraffic() {
    if (!gRealTrafficOnThisPc.load()) return;
    const std::string waiting = fmt::format("Waiting for RealTraffic to connect to {} ...", kProgramName);
    gf_setStatusLine(waiting, true);
    gf_flushLog();
    gf_resetTrafficSource();
    while (waitForClient()) {
        askVersion();
        if (!takeVersionAnswer(lf_receiveData())) {
            gf_setStatusLine(waiting, false);
            continue;
        }
        gTrafficRunFlag.store(true);
        gf_invalidateStatusPanel();
        gWaitingForRealTraffic.store(false);
        gf_log("RealTraffic connected");
        break;
    }
    gf_clearStatusLine();
}

std::string gf_userPositionLine(const UserAcState& state) {
    return fmt::format("Qs121={:.0f};{:.0f};{:.6f};{:.0f};{:.0f};{:.6f};{:.6f}\r\n", state.pitch * -100000.0,
                       state.bank * 100000.0, state.heading, state.indicatedAltitude * 1000.0,
                       state.groundSpeed * 1000.0, state.latitude * kDegToRad, state.longitude * kDegToRad);
}

void gf_sendUserPosition() {
    if (!gRealTrafficOnThisPc.load()) return;
    const UserAcState state = gf_userPositionRecord().state;
    if (gf_isZeroPosition(state.latitude, state.longitude)) return;
    auto& s = server();
    if (s.link.load() == Link::Up && sendDataPacket(gf_userPositionLine(state))) return;
    // RealTraffic has gone, found by this send or an earlier one: its aircraft would freeze where
    // they are.
    if (Link gone = Link::Gone; s.link.compare_exchange_strong(gone, Link::Free)) {
        gTrafficRunFlag.store(false);
        gf_invalidateStatusPanel();
        if (!gClosingFlag.load()) {
            if (const auto remover = s.remover.load()) remover();
        }
        gf_resetTrafficSource();
        gf_setStatusLine(
            fmt::format("{} RealTraffic gone? Wait for RealTraffic to re-connect ...", gf_utcClock()), true);
        return;
    }
    if (gf_exitReason() != ExitReason::NotYetSet) return; // the run is ending
    lookForRealTraffic();
}

void gf_sendSimTime(int64_t seconds) {
    if (!gf_realTrafficConnected() || seconds < 1) return;
    if (seconds > std::numeric_limits<int64_t>::max() / 1000) return; // no time of this world
    sendDataPacket(fmt::format("Qs123={}\r\n", seconds * 1000));
}

void gf_exitRealTrafficServer() {
    auto& s = server();
    std::lock_guard guard(s.lock);
    if (s.client.fd != INVALID_SOCKET) sendLocked(s, "exit\r\n");
    retire(s.listen);
    retire(s.client);
    if (s.winsockStarted) {
        WSACleanup();
        s.winsockStarted = false;
    }
    s.link.store(Link::Free);
}

bool gf_realTrafficConnected() {
    return server().link.load() == Link::Up;
}

void gf_resetRealTrafficServer() {
    gf_exitRealTrafficServer();
    server().remover.store(nullptr);
    gRealTrafficProfessional.store(false);
}

void gf_setLiveAircraftRemover(LiveAircraftRemover remover) {
    server().remover.store(remover);
}
LiveAircraftRemover gf_liveAircraftRemover() {
    return server().remover.load();
}

} // namespace tamrix
