// QNH datagrams come from the network: any bytes must be read without harm, and the stored QNH
// always stays a whole number of hectopascals within 900 to 1100.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "links/qnh_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamrix;
    auto& reader = gf_qnhReader();
    reader.interpret(std::string_view(reinterpret_cast<const char*>(data), size));
    const int32_t qnh = reader.lastQnh.load();
    if (qnh < 900 || qnh > 1100 || gCurrentQnh.load() != qnh) std::abort();
    return 0;
}
