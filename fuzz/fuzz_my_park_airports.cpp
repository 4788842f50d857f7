// "my_park_airports.txt" is written by the program and edited by the user: any bytes, in any
// encoding. Reading keeps only known airports; writing the front entry and reading the
// file again gives the front entry back with its reserved stand.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "airports/my_park_airports.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "fuzz_scratch.hpp"
#include "refdata/airports.hpp"

namespace {

void addAirport(std::string_view code, double latitude, double longitude) {
    tamrix::AirportRecord record;
    record.icaoCode = tamrix::FixedCode<4>(code);
    record.latitude = latitude;
    record.longitude = longitude;
    tamrix::gAirports.push_back(record);
    tamrix::gAirportCodes.insert(record.icaoCode);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamrix;
    static const fuzzsupport::LoggedScratchFolder scratch("my-park-airports");
    static const bool prepared = [] {
        addAirport("EKAH", 56.3, 10.62);
        addAirport("EKBI", 55.74, 9.15);
        addAirport("EKCH", 55.62, 12.65);
        addAirport("XQAA", 50.0, 8.0);
        return true;
    }();
    (void)prepared;
    const fuzzsupport::InFolder in(scratch.path());
    fuzzsupport::emptyFolder(gf_paths().airportsFolder);
    fuzzsupport::writeBytes(gf_paths().myParkAirportsPath,
                            std::string_view(reinterpret_cast<const char*>(data), size));
    gf_resetMyParkAirports();
    (void)lf_readMyParkAirports();
    const std::vector<MyParkAirport> read = gf_myParkAirports();
    for (const MyParkAirport& airport : read)
        if (!gf_isKnownAirport(airport.code)) std::abort();
    if (!read.empty() && gf_writeMyParkAirports()) {
        const MyParkAirport front = read.front();
        gf_resetMyParkAirports();
        (void)lf_readMyParkAirports();
        const std::vector<MyParkAirport> again = gf_myParkAirports();
        if (std::none_of(again.begin(), again.end(), [&](const MyParkAirport& airport) {
                return airport.code == front.code && airport.reservedStand == front.reservedStand;
            }))
            std::abort();
    }
    gf_resetMyParkAirports();
    return 0;
}
