// The reference files "dbase.enc" and "airports.enc" ship with the program, but they can be
// replaced or damaged on disk. The container's authentication stops random bytes before the XML
// readers, so the harness encrypts each input with the program's key first: whatever XML the
// container holds must end in the readers' own errors, never in a crash. The first input byte
// picks the file.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string_view>

#include "core/paths.hpp"
#include "core/user_error.hpp"
#include "fuzz_reference_container.hpp"
#include "fuzz_scratch.hpp"
#include "refdata/airports.hpp"
#include "refdata/dbase.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamrix;
    // The reference files lie in "input" below the working directory.
    static const fuzzsupport::ScratchFolder scratch("reference-xml");
    const fuzzsupport::InFolder in(scratch.path());
    std::filesystem::create_directories("input");
    if (size == 0) return 0;
    const std::string_view xml(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto& paths = gf_paths();
    if (data[0] % 2 == 0) {
        fuzzsupport::writeReferenceContainer(paths.dbaseEncPath, xml);
        try {
            gf_readDbase();
        } catch (const UserErrorException&) {
        } catch (const std::runtime_error&) {
        }
        // The plain form exists only while it is read.
        if (std::filesystem::exists(paths.dbaseEncPath.parent_path() / "dbase.xml")) std::abort();
        if (!std::is_sorted(
                gDbaseRecords.begin(), gDbaseRecords.end(),
                [](const DbaseRecord& a, const DbaseRecord& b) { return a.registration < b.registration; }))
            std::abort();
    } else {
        fuzzsupport::writeReferenceContainer(paths.airportsEncPath, xml);
        try {
            gf_loadAirports();
        } catch (const UserErrorException&) {
        }
        if (std::filesystem::exists(paths.airportsXmlPath)) std::abort();
        for (const auto& airport : gAirports)
            if (!gf_isKnownAirport(airport.icaoCode)) std::abort();
    }
    return 0;
}
