// The user's own regcode files ("input/my_regcodes/*.txt") are hand-written text in any
// encoding: any bytes must read without harm, and every registration taken from them has the
// length the matching relies on.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <vector>

#include "fuzz_scratch.hpp"
#include "liveries/regcodes.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamrix;
    static const fuzzsupport::ScratchFolder scratch("regcode-folder");
    const std::filesystem::path folder = scratch.path() / "my_regcodes";
    // The first byte splits the input into two files, so that the reading of several files in
    // name order is covered as well.
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::size_t split = bytes.size();
    if (!bytes.empty()) {
        split = std::min<std::size_t>(static_cast<unsigned char>(bytes.front()) * 8u, bytes.size() - 1);
        bytes.remove_prefix(1);
    }
    std::filesystem::remove_all(folder);
    fuzzsupport::writeBytes(folder / "a.txt", bytes.substr(0, split));
    if (split < bytes.size()) fuzzsupport::writeBytes(folder / "B.TXT", bytes.substr(split));
    std::vector<RegcodeEntry> entries;
    lf_readRegcodeFiles(folder, entries);
    for (const auto& entry : entries)
        for (const auto& regcode : entry.regcodes)
            if (regcode.size() < 3 || regcode.size() > 12) std::abort();
    return 0;
}
