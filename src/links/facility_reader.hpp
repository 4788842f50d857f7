#pragma once
// The stands of an airport from the simulator's own facility data, for the airport scan. A
// second SimConnect connection, "PARKING_DATA_RDR", carries facility definition 1001; each read
// asks for one airport (request 2001), dispatches that connection by polling on the calling
// thread (the airport scan's) until the answer is complete, and turns it into the airport's
// position, name and elevation plus one StandRecord per usable taxi parking and per helipad,
// named from the parking numbers.
//
// The wait is bounded: a read that gets no end of its answer within the limit, whose connection
// is lost, or during which the run stops, gives false and closes the connection, so that late
// items of that answer never mix into the next read (which opens the connection again).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "links/airport_file_header.hpp"
#include "platform/simconnect/simconnect.hpp"

namespace tamrix {

inline constexpr DWORD kFacilityDefinition = 1001;
inline constexpr DWORD kFacilityRequest = 2001;
inline constexpr std::chrono::milliseconds kFacilityWaitLimit{10000};

// The PARKING_DATA_RDR connection; used by the airport-scan thread only.
extern std::atomic<HANDLE> gFacilityClient;
extern std::atomic<bool> gFacilityClientOpen;

// What one read collects.
struct FacilityAirport {
    std::string icao;
    double latitude = 0.0;  // degrees
    double longitude = 0.0; // degrees
    double altitudeFeet = 0.0;
    std::string name;
    std::vector<StandRecord> stands;
};

struct FacilityReadContext {
    HANDLE handle = nullptr;
    FacilityAirport* airport = nullptr;
    double referenceLatitude = 0.0;  // degrees
    double referenceLongitude = 0.0; // degrees
    double altitudeFeet = 0.0;
    uint32_t done = 0;
};

// Reads the airport's stands into `header` (code, name, altitude in whole feet, facilities flag,
// stands) and counts its helipads. False, with a highlighted log line, when the connection
// cannot be opened, the request is refused, or the answer does not end (see above). An
// exception message of the simulator throws UserErrorException 111 "restart"; an ICAO text that
// is no 4-character code throws std::invalid_argument before anything is asked.
bool gf_readFacilityStands(std::string_view icao, AirportFileHeader& header, uint32_t& helipads,
                           std::chrono::milliseconds waitLimit = kFacilityWaitLimit);
// The end of a complete answer: names the stands and fills `header` (code, name, altitude in
// whole feet, facilities flag, stands), counting the helipads.
void lf_finishFacilityRead(const FixedCode<4>& code, FacilityAirport& airport, AirportFileHeader& header,
                           uint32_t& helipads);
// Closes the PARKING_DATA_RDR connection when it is open (the end of an airport scan).
void gf_closeFacilityClient();

// The 30 fields of definition 1001 on gFacilityClient; results are not examined.
void lf_addFacilityDefinition();
// The dispatch callback of the connection; the context is the read's FacilityReadContext.
void lf_facilityDispatch(SIMCONNECT_RECV* message, DWORD size, void* context);
// One item of the answer; a bad item is logged and lost.
void onRecvFacilityData(FacilityReadContext& context, const SIMCONNECT_RECV* message, DWORD size);
// Names the stands once the answer is complete: helipads "helipad1", "helipad2", ...; parkings
// by number, a repeated number with the suffix a, b, ..., z, aa, ab, ...
void lf_standName(FacilityAirport& airport, uint32_t& helipads);
// Moves the texts and lists of `source` (which keeps empty ones) and copies the rest.
void gf_moveStandRecord(StandRecord& destination, StandRecord& source);

} // namespace tamrix
