// BGL scenery files come from any add-on in the user's simulator: any bytes must be decoded
// without a read outside them, without an escaping exception and without an endless walk; the
// airports found must not overlap (no record is read twice, damaged tables cannot multiply the
// work), and every stand found must have a position on the globe, finite sizes and an id of its
// own within its airport (the airport file reader refuses a repeated id).
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "airports/bgl_decoder.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamrix;
    static const BglSinks sinks{[](const FixedCode<4>&) { return true; }, [](std::string) {},
                                [](std::string_view, bool) {}};
    const std::span<const uint8_t> bytes(data, size);
    (void)gf_bglHasAirportSection(bytes, size);
    const std::vector<uint32_t> words = gf_bglWords(bytes);
    uint64_t previousEnd = 0;
    std::vector<std::pair<uint64_t, uint64_t>> extents;
    for (const BglAirportRecord& airport : gf_findBglAirports(words, "fuzz.bgl", sinks)) {
        if (airport.altitude < -20 || airport.altitude > 10000) std::abort();
        extents.emplace_back(airport.wordIndex, std::min<uint64_t>(airport.wordIndex + airport.sizeWords, words.size()));
        std::unordered_set<std::string> ids;
        const BglAirportStands found = gf_decodeBglAirportStands(words, airport, "fuzz.bgl", sinks);
        if (found.helipads < 0 || static_cast<std::size_t>(found.helipads) > found.stands.size()) std::abort();
        for (const StandRecord& s : found.stands) {
            if (!(s.latitude >= -90.0 && s.latitude <= 90.0 && s.longitude >= -180.0 && s.longitude <= 180.0))
                std::abort();
            if (!std::isfinite(s.radius) || !std::isfinite(s.heading) || s.id.empty()) std::abort();
            if (!ids.insert(s.id).second) std::abort();
        }
    }
    std::sort(extents.begin(), extents.end());
    for (const auto& [start, end] : extents) {
        if (start < previousEnd) std::abort();
        previousEnd = end;
    }
    return 0;
}
