#pragma once
// The "QNH Reader": receives RealTraffic's local QNH as a small JSON datagram ({"QNH": 1013},
// the value a number or a text holding one; above 1100 it is inches of mercury times 100),
// normalises it to whole hectopascals within 900 to 1100 and stores it where it is used.

#include <atomic>
#include <cstdint>

#include "links/udp_reader.hpp"

namespace tamrix {

// The QNH (hPa) that live traffic uses; 1013 until the first QNH has arrived.
extern std::atomic<int32_t> gCurrentQnh;

class QnhReader final : public UdpReader {
public:
    static constexpr uint16_t kPort = 49004;

    QnhReader() : UdpReader("QNH Reader") {}
    // Also the last QNH and gCurrentQnh back to 1013.
    void resetForRun() override;

    // The last QNH stored (hPa).
    std::atomic<int32_t> lastQnh{1013};

protected:
    // Stores a new QNH in the reader, the traffic reader, gCurrentQnh and the status panel, and
    // shows a silent reader receiving again. Never throws: a bad datagram is logged and changes
    // nothing.
    void onDatagram() override;
    void onStopped() override;
};

// The one process-wide QNH reader.
QnhReader& gf_qnhReader();

// The thread function of the "QNH Reader"; binds locally when RealTraffic runs on this PC.
void lf_qnhReaderThread(uint16_t port);

} // namespace tamrix
