#pragma once
// Helpers of the dispatch-handler tests: the SimClient connection opened on the test's thread
// with the real handlers, frames stepped and dispatched, the sim events posted, and records
// made by hand for the cases the simulator stand-in does not produce.

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "links/sim_dispatch.hpp"
#include "links/sim_events.hpp"
#include "links/sim_test_support.hpp"

namespace dispatchtest {

using simtest::simWorld;

// The SimClient connection as the thread would have it, dispatching with lf_simDispatch.
class DispatchTest : public simtest::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        EXPECT_EQ(SimConnect_Open(&handle, "Quorvel", nullptr, 0, nullptr, 0), S_OK);
        tamrix::gSimConnect.store(handle);
        tamrix::lf_setupSimDefinitions();
        dispatch();
    }

    void dispatch() { SimConnect_CallDispatch(handle, tamrix::lf_simDispatch, nullptr); }

    // Each frame: the simulator's work, then what it sent is dispatched.
    void pump(int frames = 1) {
        for (int i = 0; i < frames; ++i) {
            simWorld().stepFrames(1);
            dispatch();
        }
    }

    // One answer to request 109, which also makes the user aircraft's object id known.
    void answerUserState() {
        ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, tamrix::kRequestUserState,
                                                    tamrix::kDefUserAcState, SIMCONNECT_OBJECT_ID_USER,
                                                    SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0),
                  S_OK);
        pump();
    }

    void requestInRange() {
        ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(handle, tamrix::kRequestAcInRange,
                                                        tamrix::kDefAcInRange, 20000,
                                                        SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT),
                  S_OK);
        pump();
    }

    static std::vector<tamrix::SimEvent> takeEvents() {
        std::vector<tamrix::SimEvent> out;
        tamrix::gf_drainSimEvents([&](const std::vector<tamrix::SimEvent>& events) { out = events; });
        return out;
    }

    bool inject(const std::vector<std::byte>& message) {
        return simWorld().injectMessage("Quorvel", message);
    }

    HANDLE handle = nullptr;
};

// A record: the header, then the body words and bytes appended.
class Record {
public:
    explicit Record(DWORD id) { u32(0).u32(4).u32(id); }
    Record& u32(uint32_t v) { return put(&v, sizeof v); }
    Record& i64(int64_t v) { return put(&v, sizeof v); }
    Record& f64(double v) { return put(&v, sizeof v); }
    Record& f32(float v) { return put(&v, sizeof v); }
    Record& bytes(std::string_view text, std::size_t fieldSize) {
        std::string field(fieldSize, '\0');
        std::memcpy(field.data(), text.data(), std::min(text.size(), fieldSize));
        return put(field.data(), field.size());
    }
    // The finished record, its size field set; `cut` drops that many bytes from its end.
    std::vector<std::byte> done(std::size_t cut = 0) const {
        std::vector<std::byte> out(m_bytes.begin(), m_bytes.end() - static_cast<std::ptrdiff_t>(cut));
        const auto size = static_cast<uint32_t>(out.size());
        std::memcpy(out.data(), &size, sizeof size);
        return out;
    }

private:
    Record& put(const void* data, std::size_t size) {
        const auto* p = static_cast<const std::byte*>(data);
        m_bytes.insert(m_bytes.end(), p, p + size);
        return *this;
    }
    std::vector<std::byte> m_bytes;
};

// A SIMOBJECT_DATA or _BYTYPE head up to the data block.
inline Record dataRecord(DWORD id, DWORD requestId, DWORD objectId, DWORD defineId) {
    Record r(id);
    r.u32(requestId).u32(objectId).u32(defineId).u32(0).u32(1).u32(1).u32(1);
    return r;
}

// A by-type answer about one aircraft (definition 404).
inline std::vector<std::byte> inRangeRecord(DWORD objectId, double heightAboveGround, double groundAltitude,
                                            int64_t onGround, std::string_view atcId) {
    return dataRecord(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, tamrix::kRequestAcInRange, objectId,
                      tamrix::kDefAcInRange)
        .f64(heightAboveGround)
        .f64(groundAltitude)
        .i64(onGround)
        .bytes(atcId, 32)
        .done();
}

inline int countLinesWith(const testsupport::CapturedLog& log, std::string_view text) {
    int n = 0;
    for (const auto& line : log.lines())
        if (line.find(text) != std::string::npos) ++n;
    return n;
}

} // namespace dispatchtest
