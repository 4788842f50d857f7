#include "links/facility_reader.hpp"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <thread>
#include <unordered_map>

#include <fmt/format.h>

#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "core/run_state.hpp"
#include "core/user_error.hpp"
#include "links/sim_message.hpp"
#include "links/simconnect_client.hpp"

namespace tamrix {

std::atomic<HANDLE> gFacilityClient{nullptr};
std::atomic<bool> gFacilityClientOpen{false};

namespace {

constexpr double kFeetPerMetre = 3.2808399;
constexpr double kNmPerMetre = 0.0005399568034557236;
constexpr double kPi = 3.141592653589793;
constexpr std::size_t kItemOffset = SIMCONNECT_RECV_FACILITY_DATA_BLOCK_OFFSET;

// The items of definition 1001 as they follow the record head (a wire format).
#pragma pack(push, 4)
struct AirportItem {
    double latitude;
    double longitude;
    double altitude; // metres
    char name[32];
    int32_t helipads;
    int32_t taxiParkings;
};
struct TaxiParkingItem {
    int32_t type;
    int32_t taxiPointType;
    int32_t name;
    int32_t suffix;
    uint32_t number;
    int32_t orientation;
    float heading; // degrees
    float radius;  // metres
    float biasX;   // metres east
    float biasZ;   // metres north
};
struct HelipadItem {
    double latitude;
    double longitude;
    double altitude;
    float heading; // degrees
    float length;
    float width; // metres
    int32_t surface;
    int32_t type;
};
#pragma pack(pop)
static_assert(sizeof(AirportItem) == 64 && offsetof(AirportItem, name) == 24);
static_assert(sizeof(TaxiParkingItem) == 40 && offsetof(TaxiParkingItem, biasZ) == 36);
static_assert(sizeof(HelipadItem) == 44 && offsetof(HelipadItem, type) == 40);

constexpr const char* kFacilityFields[] = {
    "OPEN AIRPORT",
    "LATITUDE",
    "LONGITUDE",
    "ALTITUDE",
    "NAME",
    "N_HELIPADS",
    "N_TAXI_PARKINGS",
    "OPEN TAXI_PARKING",
    "TYPE",
    "TAXI_POINT_TYPE",
    "NAME",
    "SUFFIX",
    "NUMBER",
    "ORIENTATION",
    "HEADING",
    "RADIUS",
    "BIAS_X",
    "BIAS_Z",
    "CLOSE TAXI_PARKING",
    "OPEN HELIPAD",
    "LATITUDE",
    "LONGITUDE",
    "ALTITUDE",
    "HEADING",
    "LENGTH",
    "WIDTH",
    "SURFACE",
    "TYPE",
    "CLOSE HELIPAD",
    "CLOSE AIRPORT",
};
static_assert(std::size(kFacilityFields) == 30);

template <class Item> Item readItem(const SIMCONNECT_RECV* message, DWORD size) {
    Item item{};
    if (!gf_readRecordField(message, size, kItemOffset, item))
        throw std::runtime_error(fmt::format("item of {} bytes is too short", size));
    return item;
}

// The k-th repetition's suffix, k >= 1: bijective base 26 ("a" .. "z", "aa", "ab", ...).
std::string repetitionSuffix(uint32_t k) {
    std::string out;
    while (k > 0) {
        --k;
        out.insert(out.begin(), static_cast<char>('a' + k % 26));
        k /= 26;
    }
    return out;
}

// Whole feet; 0 for a value that is no altitude.
int32_t wholeFeet(double feet) {
    if (!std::isfinite(feet) || feet <= std::numeric_limits<int32_t>::min() ||
        feet >= std::numeric_limits<int32_t>::max())
        return 0;
    return static_cast<int32_t>(feet);
}

void closeFacilityClient() {
    HANDLE handle = gFacilityClient.exchange(nullptr);
    gFacilityClientOpen.store(false);
    if (handle == nullptr) return;
    lf_closeSimConnect(handle);
    gf_log("SimConnect (PARKING_DATA_RDR) closed");
}

// Why the wait for the end of the answer must give up; empty while it may go on.
std::string_view waitEnd(HRESULT dispatched, std::chrono::steady_clock::time_point deadline) {
    if (dispatched < 0) return "the connection is lost";
    if (gStopFlag.load() || gClosingFlag.load()) return "the run stops";
    if (std::chrono::steady_clock::now() >= deadline) return "no end of the answer in time";
    return {};
}

} // namespace

void lf_addFacilityDefinition() {
    const HANDLE handle = gFacilityClient.load();
    for (const char* field : kFacilityFields)
        SimConnect_AddToFacilityDefinition(handle, kFacilityDefinition, field);
}

bool gf_readFacilityStands(std::string_view icao, AirportFileHeader& header, uint32_t& helipads,
                           std::chrono::milliseconds waitLimit) {
    const FixedCode<4> code(icao);
    if (!gFacilityClientOpen.load()) {
        HANDLE handle = nullptr;
        const HRESULT result = SimConnect_Open(&handle, "PARKING_DATA_RDR", nullptr, 0, nullptr, 0);
        if (result < 0) {
            gf_logHighlighted(fmt::format("SimConnect_Open (PARKING_DATA_RDR) FAILED hr=0x{:08X}",
                                          static_cast<uint32_t>(result)));
            return false;
        }
        gFacilityClient.store(handle);
        lf_addFacilityDefinition();
        gFacilityClientOpen.store(true);
    }
    const HANDLE handle = gFacilityClient.load();

    FacilityAirport airport;
    airport.icao = std::string(icao);
    airport.stands.reserve(512);
    FacilityReadContext context;
    context.handle = handle;
    context.airport = &airport;

    if (SimConnect_RequestFacilityData(handle, kFacilityDefinition, kFacilityRequest, airport.icao.c_str(),
                                       "") < 0) {
        gf_logHighlighted(fmt::format("RequestFacilityData failed for {}", icao));
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + waitLimit;
    while (context.done == 0) {
        HRESULT dispatched = 0;
        try {
            dispatched = SimConnect_CallDispatch(handle, lf_facilityDispatch, &context);
        } catch (...) {
            // The rest of this airport's answer must not reach the next airport's read.
            closeFacilityClient();
            throw;
        }
        if (context.done != 0) break;
        if (const std::string_view why = waitEnd(dispatched, deadline); !why.empty()) {
            gf_logHighlighted(fmt::format("! Facility data of {} not read: {}", icao, why));
            closeFacilityClient();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    lf_finishFacilityRead(code, airport, header, helipads);
    return true;
}

void lf_finishFacilityRead(const FixedCode<4>& code, FacilityAirport& airport, AirportFileHeader& header,
                           uint32_t& helipads) {
    lf_standName(airport, helipads);
    header.icao = code;
    header.airportName = airport.name;
    header.altitude = wholeFeet(airport.altitudeFeet);
    header.facilities = true;
    header.stands = std::move(airport.stands);
    if (header.stands.empty()) {
        gf_log(fmt::format("Fac: {} has no stands", code.text()));
        gf_flushLog();
    }
}

void gf_closeFacilityClient() {
    if (gFacilityClientOpen.load() || gFacilityClient.load() != nullptr) closeFacilityClient();
}

void lf_facilityDispatch(SIMCONNECT_RECV* message, DWORD size, void* context) {
    if (message == nullptr || context == nullptr) return;
    auto& read = *static_cast<FacilityReadContext*>(context);
    DWORD id = 0;
    if (!gf_readRecordField(message, size, offsetof(SIMCONNECT_RECV, dwID), id)) return;
    switch (id) {
    case SIMCONNECT_RECV_ID_EXCEPTION: {
        SIMCONNECT_RECV_EXCEPTION exception{};
        gf_readRecordField(message, size, 0, exception);
        gf_logHighlighted(fmt::format("SimConnect EXCEPTION id={} sendID={} index={}", exception.dwException,
                                      exception.dwSendID, exception.dwIndex));
        throw UserErrorException(111, "restart");
    }
    case SIMCONNECT_RECV_ID_FACILITY_DATA:
        onRecvFacilityData(read, message, size);
        break;
    case SIMCONNECT_RECV_ID_FACILITY_DATA_END: {
        DWORD requestId = 0;
        if (gf_readRecordField(message, size, offsetof(SIMCONNECT_RECV_FACILITY_DATA_END, RequestId),
                               requestId) &&
            requestId == kFacilityRequest)
            read.done = 1;
        break;
    }
    default:
        break;
    }
}

void onRecvFacilityData(FacilityReadContext& context, const SIMCONNECT_RECV* message, DWORD size) {
    try {
        SIMCONNECT_RECV_FACILITY_DATA head{};
        if (!gf_readRecordField(message, size, 0, head))
            throw std::runtime_error(fmt::format("record of {} bytes is too short", size));
        if (head.UserRequestId != kFacilityRequest || context.airport == nullptr) return;
        FacilityAirport& airport = *context.airport;
        switch (head.Type) {
        case SIMCONNECT_FACILITY_DATA_AIRPORT: {
            const auto item = readItem<AirportItem>(message, size);
            context.referenceLatitude = item.latitude;
            context.referenceLongitude = item.longitude;
            context.altitudeFeet = item.altitude * kFeetPerMetre;
            airport.latitude = item.latitude;
            airport.longitude = item.longitude;
            airport.altitudeFeet = context.altitudeFeet;
            airport.name = std::string(gf_recordText(item.name, sizeof item.name, 0, sizeof item.name));
            break;
        }
        case SIMCONNECT_FACILITY_DATA_TAXI_PARKING: {
            const auto item = readItem<TaxiParkingItem>(message, size);
            GeoPosition position{context.referenceLatitude, context.referenceLongitude};
            if (item.biasX != 0.0f)
                position = gf_destinationPoint(position, item.biasX > 0.0f ? kPi / 2 : 3 * kPi / 2,
                                               std::fabs(item.biasX) * kFeetPerMetre);
            if (item.biasZ != 0.0f)
                position = gf_destinationPoint(position, item.biasZ > 0.0f ? 0.0 : kPi,
                                               std::fabs(item.biasZ) * kFeetPerMetre);
            const auto type = static_cast<uint16_t>(item.type);
            if (type == 0 || type == 13) return; // none, and vehicle parkings
            StandRecord stand;
            stand.latitude = position.latitude;
            stand.longitude = position.longitude;
            stand.heading = item.heading * kDegToRad;
            stand.radius = item.radius * kNmPerMetre;
            stand.standId = item.number;
            stand.type = type;
            airport.stands.push_back(std::move(stand));
            break;
        }
        case SIMCONNECT_FACILITY_DATA_HELIPAD: {
            const auto item = readItem<HelipadItem>(message, size);
            const float radiusMetres = item.type == 2 ? item.width * 0.7f : item.width * 0.5f;
            StandRecord stand;
            stand.latitude = item.latitude;
            stand.longitude = item.longitude;
            stand.heading = item.heading * kDegToRad;
            stand.radius = radiusMetres * kNmPerMetre;
            stand.heli = 1;
            airport.stands.push_back(std::move(stand));
            break;
        }
        default:
            break;
        }
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{} exception: {}", "onRecvFacilityData", e.what()));
    }
}

void lf_standName(FacilityAirport& airport, uint32_t& helipads) {
    helipads = 0;
    std::unordered_map<uint32_t, uint32_t> seen; // parking number -> stands named with it so far
    for (auto& stand : airport.stands) {
        if (stand.heli != 0) {
            stand.id = fmt::format("helipad{}", ++helipads);
            continue;
        }
        const uint32_t repetition = seen[stand.standId]++;
        stand.id = repetition == 0 ? fmt::format("{}", stand.standId)
                                   : fmt::format("{}{}", stand.standId, repetitionSuffix(repetition));
    }
}

void gf_moveStandRecord(StandRecord& destination, StandRecord& source) {
    if (&destination == &source) return;
    destination = std::move(source);
    source.options.clear();
    source.id.clear();
    source.adjacent.clear();
}

} // namespace tamrix
