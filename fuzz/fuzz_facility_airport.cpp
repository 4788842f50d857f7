// An airport's whole facility answer, as the simulator streams it during the airports scan: any
// sequence of records (each a 2-byte little-endian length and its bytes), read as one answer,
// turned into a generated airport file, and that file loaded again as the park airport's file.
// Nothing may crash, and a file the program generated must load with every stand it was given.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "airports/airport_file_names.hpp"
#include "airports/airport_linking.hpp"
#include "airports/park_airport_file.hpp"
#include "airports/scanned_airport.hpp"
#include "core/log.hpp"
#include "core/user_error.hpp"
#include "fuzz_scratch.hpp"
#include "links/facility_reader.hpp"
#include "links/park_airport.hpp"
#include "records/stand_table.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamrix;
    static const fuzzsupport::LoggedScratchFolder scratch("facility-airport");
    const fuzzsupport::InFolder in(scratch.path());
    std::error_code ec;
    std::filesystem::remove_all("airports", ec);

    const FixedCode<4> code("XQAA");
    FacilityAirport answer;
    answer.icao = "XQAA";
    FacilityReadContext context;
    context.airport = &answer;
    try {
        std::size_t at = 0;
        while (context.done == 0 && size - at >= 2) {
            const std::size_t length = std::min<std::size_t>(data[at] | (data[at + 1] << 8), size - at - 2);
            at += 2;
            // A buffer of exactly the record's size, so that a read beyond it is caught.
            std::unique_ptr<std::byte[]> record(new std::byte[length == 0 ? 1 : length]);
            if (length != 0) std::memcpy(record.get(), data + at, length);
            at += length;
            lf_facilityDispatch(reinterpret_cast<SIMCONNECT_RECV*>(record.get()), static_cast<DWORD>(length),
                                &context);
        }
    } catch (const UserErrorException&) {
        return 0; // the simulator's exception: the scan gives this airport up
    }

    AirportFileHeader header;
    uint32_t helipads = 0;
    lf_finishFacilityRead(code, answer, header, helipads);
    ScannedAirport airport;
    airport.icao = header.icao;
    airport.publisher = "Fuzz Publisher";
    airport.airportName = header.airportName;
    airport.altitude = header.altitude;
    airport.facilities = true;
    airport.stands = std::move(header.stands);
    lf_generateApf(airport, static_cast<int32_t>(helipads));
    // What was written: the stands left after generating dropped those the reader would skip.
    const std::size_t stands = airport.stands.size();
    if (stands == 0) return 0;

    const std::string file = gf_locateApf(code);
    if (file.empty()) std::abort(); // generated, yet not found
    ParkAirport park;
    park.code = code;
    gf_setParkAirport(park);
    gf_clearStandTable();
    ParkAirportInfo info;
    QualityFactors quality;
    const std::string problem = gf_readApf(file, info, quality);
    if (!problem.empty() || gStandTable.size() != stands) std::abort();
    lf_resetParkAirport();
    gf_resetParkAirportFile();
    gf_clearParkAirport();
    return 0;
}
