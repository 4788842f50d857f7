// Airport files and learned files come from the download server, the airports scan and the
// user's hands: any bytes must read without a crash, and a refused airport file must never lead
// to a save over the learned file. The first byte chooses whether the input is the airport file
// (even) or the learned file beside a good airport file (odd).
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include <unistd.h>

#include "airports/park_airport_file.hpp"
#include "core/log.hpp"
#include "fuzz_scratch.hpp"
#include "links/park_airport.hpp"
#include "records/stand_table.hpp"

namespace {

constexpr std::string_view kGoodAirportFile = R"(<?xml version="1.0"?>
<root><meta><info name="version" value="12.5.4"/><info name="copyright" value="x"/><info name="sim" value="1"/></meta>
<parameters><parameter name="airport_name" value="A"/><parameter name="publisher" value="stock"/>
<parameter name="altitude" value="10"/></parameters>
<parkpositions><parkpos id="A1" latitude="50.0" longitude="8.0" radius="20" type="9"/>
<parkpos id="A2" latitude="50.0003" longitude="8.0" radius="20" type="0" cargo="true"/></parkpositions></root>
)";

const fuzzsupport::ScratchFolder& folder() {
    static const fuzzsupport::LoggedScratchFolder scratch("airport-file");
    return scratch;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzzsupport::InFolder in(folder().path());
    if (size == 0) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const bool learnedInput = (data[0] & 1) != 0;
    const std::filesystem::path airport = "airports/my_thirdparty/XQAA.xml";
    const std::filesystem::path learned = "airports/learned/thirdparty/stock/XQAA.xml";
    std::error_code ec;
    std::filesystem::remove_all("airports", ec);
    fuzzsupport::writeBytes(airport, learnedInput ? kGoodAirportFile : bytes);
    const std::string learnedBefore = learnedInput ? std::string(bytes) : std::string("untouched");
    fuzzsupport::writeBytes(learned, learnedBefore);

    tamrix::ParkAirport park;
    park.code = tamrix::FixedCode<4>("XQAA");
    tamrix::gf_setParkAirport(park);
    tamrix::gf_clearStandTable();
    tamrix::ParkAirportInfo info;
    tamrix::QualityFactors quality;
    const std::string problem = tamrix::gf_readApf("airports\\my_thirdparty\\XQAA.xml", info, quality);
    const bool ready = tamrix::gParkAirportFileReady.load();
    if (!problem.empty() && ready) std::abort(); // a refused file is never ready
    for (const tamrix::StandRecord& stand : tamrix::gStandTable)
        for (uint32_t sid : stand.adjacent)
            if (sid < 1 || sid > tamrix::gStandTable.size()) std::abort();
    tamrix::lf_resetParkAirport();
    if (!ready) {
        // Nothing was saved: the learned file is byte for byte what it was.
        std::ifstream in(learned, std::ios::binary);
        const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (after != learnedBefore) std::abort();
    }
    tamrix::gf_resetParkAirportFile();
    tamrix::gf_clearParkAirport();
    return 0;
}
