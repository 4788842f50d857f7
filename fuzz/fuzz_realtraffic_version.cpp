// The version answer comes from the traffic source over TCP: any bytes must be read without
// harm, and only an answer that is a JSON object with "level" 2 makes the professional edition.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/time_texts.hpp"
#include "links/realtraffic_server.hpp"
#include "links/traffic_source_state.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamrix;
    const std::string answer(reinterpret_cast<const char*>(data), size);
    gRealTrafficProfessional.store(true);
    lf_processRTVersion(answer);
    const std::string text = gf_realTrafficText();
    if (gRealTrafficProfessional.load() && text.rfind("RT prof edition: ", 0) != 0) std::abort();
    if (!text.empty() && text.rfind("RT ", 0) != 0) std::abort();
    return 0;
}
