#pragma once
// The TCP server RealTraffic connects to. Towards RealTraffic the program plays an Aerowinx PSX
// main server: it asks for RealTraffic's version ("Qs999=version"), sends the user aircraft's
// position and attitude as "Qs121=" lines several times a second, to the professional edition
// also the simulator's UTC time as "Qs123=" lines, and "exit" when it closes. One client at a
// time, and only one that answers the version question: another program that connects and stays
// silent is closed after the time-out. All of it runs on the start-up thread except
// gf_exitRealTrafficServer, which the main thread may call as well; closing wakes a thread
// waiting in accept or in the version read.

#include <cstdint>
#include <string>
#include <string_view>

#include "links/user_aircraft_state.hpp"

namespace tamrix {

// How long the version answer (from the question on) and a stuck send may take before they
// count as failed.
inline constexpr uint32_t kRealTrafficSocketTimeoutMs = 5000;

// Opens the listen socket on the port (a text, e.g. "10747"); on the loopback address only when
// RealTraffic runs on this PC. Throws std::runtime_error:
// "WSAStartup failed with error {}", "getaddrinfo failed with error {}", "socket failed with
// error {}", "ioctlsocket failed with error {}", "setsockopt(SO_REUSEADDR) failed", "Bind failed
// at port {} with error {}", "listen failed with error {}".
void gf_listenForRealTraffic(const std::string& port);
// The port the listen socket is bound to; 0 when there is none.
uint16_t gf_realTrafficServerPort();

// Accepts one client, waiting until one connects; false when a client holds the place already,
// when the server is closed, or when the run stops meanwhile.
bool waitForClient();
// Sends the whole line; on failure logs it, closes the client socket and returns false.
bool sendDataPacket(std::string_view line);
// The client's answer to the version question, read until it is one whole JSON text (it may arrive
// split); empty on an error, a closed connection, an overrun, when it was not complete within
// kRealTrafficSocketTimeoutMs of the question ("receive: 10060 ..."), or when the run stops.
std::string lf_receiveData();
// Interprets the version answer: the professional flag and the RealTraffic text.
void lf_processRTVersion(const std::string& answer);

// The connect phase's greeting: waits for RealTraffic, asks its version, sets the traffic run
// flag. A client that gives no answer is closed and the wait goes on. Only when RealTraffic runs
// on this PC.
void gf_waitForRealTraffic();
// Sends one "Qs121=" line from the user-position record. When RealTraffic is not connected it
// looks, without waiting, whether it is back: a new client is asked for its version, and once
// it has answered (on a later call) the link is up again; one that gives no answer within the
// time-out is closed. When the send fails, RealTraffic has gone: live aircraft are taken out and
// the traffic source is reset.
void gf_sendUserPosition();
// "Qs123={milliseconds}" while connected and seconds >= 1.
void gf_sendSimTime(int64_t seconds);
// Sends "exit" to a connected client and closes both sockets.
void gf_exitRealTrafficServer();
// RealTraffic holds the client place and has answered the version question.
bool gf_realTrafficConnected();
// The server as at process start: closed (as gf_exitRealTrafficServer), no live-aircraft
// remover, the standard edition assumed.
void gf_resetRealTrafficServer();

// "Qs121={};{};{};{};{};{};{}\r\n" of a user aircraft state.
std::string gf_userPositionLine(const UserAcState& state);

// How long the reset of the traffic source waits for a reader thread that is being stopped.
inline constexpr int kReaderEndWaitMs = 3000;

// Before a RealTraffic connection is used and when it has gone: QNH 1013, no last traffic time,
// no collected callsigns, both readers' stop flags clear and receiving shown, the QNH reader's
// counters 0. A reader whose stop flag is set is first waited for (at most kReaderEndWaitMs)
// until its thread has ended; one that has not keeps its stop flag (logged).
void gf_resetTrafficSource();

// Takes every live aircraft out of the simulator when RealTraffic has gone. Live traffic
// installs it at start-up; without it nothing is taken out.
using LiveAircraftRemover = void (*)();
void gf_setLiveAircraftRemover(LiveAircraftRemover remover);
LiveAircraftRemover gf_liveAircraftRemover();

} // namespace tamrix
