#pragma once
// The "Traffic Reader": receives the traffic datagrams of RealTraffic (one comma-separated
// line each), turns each into a TrafficLine and queues it in the traffic intake. It keeps only
// aircraft targets within range of the user that it can identify; what it cannot use it drops,
// silently or with the log line "exception in processLineSub: {}".

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/geodesy.hpp"
#include "links/udp_reader.hpp"

namespace tamrix {

class TrafficReader final : public UdpReader {
public:
    static constexpr uint16_t kPort = 49005;
    // Field 28 is the last one read, so a line needs 29 fields.
    static constexpr std::size_t kFieldCount = 29;
    // Longer callsigns are cut: real ones have at most 8 characters, and the simulator keeps
    // only a short tail number.
    static constexpr std::size_t kMaxCallsignLength = 16;

    TrafficReader();

    // The user aircraft's position for the range test, read and written as one pair.
    void setUserPosition(GeoPosition position);
    GeoPosition userPosition() const;

    // The park airport's elevation from its file (feet); empty when unknown.
    void setParkAirportElevation(std::optional<double> feet);
    std::optional<double> parkAirportElevation() const;

    // Callsign collection for the static-parking planner: start empties the set and sets the
    // flag; take clears the flag and hands the callsigns seen meanwhile over (the set is then
    // empty).
    void startCallsignCollection();
    std::unordered_set<std::string> takeCallsigns();
    void clearCallsigns();
    // Before a new run, while no reader thread runs: everything above back to its start value
    // (no user position, no park-airport elevation, QNH 1013, no callsigns and no collection),
    // the bad-datagram log and the last datagram forgotten.
    void resetForRun() override;
    bool collectingCallsigns() const noexcept { return m_collecting.load(); }

    // The QNH (hPa) the altitudes are corrected with; written by the QNH reader.
    std::atomic<int32_t> qnh{1013};

protected:
    void onDatagram() override;
    void onStopped() override;

private:
    // Parses the field list into a TrafficLine and queues it; logs and drops a bad line.
    void processLineSub();
    void parseAndQueue();

    std::vector<std::string_view> m_fields;
    mutable std::mutex m_lock;  // the user position and the callsign set
    GeoPosition m_userPosition;
    std::unordered_set<std::string> m_callsigns;
    std::atomic<double> m_parkAirportElevation;  // NaN when unknown
    std::atomic<bool> m_collecting{false};
};

// The one process-wide traffic reader.
TrafficReader& gf_trafficReader();

// The thread function of the "Traffic Reader" (started detached by the connect phase).
void lf_trafficReaderThread(uint16_t port, bool local);

// "{:.6f},{:.6f}" of a position.
std::string gf_laloText(double latitude, double longitude);

} // namespace tamrix
