// An airport link file ("CODE.txt" in the user's airport folders) names the archived airport file
// to download; the airports scan writes it, the user may edit it: any bytes. The name found for
// the park airport must be one line without control characters ending in ".xml", and the learned
// file that belongs to it must lie below the learned folder.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "airports/airport_file_names.hpp"
#include "core/fixed_code.hpp"
#include "core/paths.hpp"
#include "fuzz_scratch.hpp"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamrix;
    static const fuzzsupport::ScratchFolder scratch("airport-link");
    const fuzzsupport::InFolder in(scratch.path());
    const ProgramPaths& paths = gf_paths();
    fuzzsupport::emptyFolder(scratch.path());
    const FixedCode<4> code("XQAA");
    // The first byte chooses the folder the link lies in.
    if (size == 0) return 0;
    const fs::path folder = (data[0] & 1) != 0 ? paths.mySimaddonFolder : paths.myThirdpartyFolder;
    fuzzsupport::writeBytes(folder / gf_apfLinkName(code),
                            std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));

    const std::string located = gf_locateApf(code);
    if (located.empty()) return 0;
    if (std::any_of(located.begin(), located.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        std::abort();
    if (located.size() < 4) std::abort();
    const fs::path learned = lf_learnedApfPath(located, "Publisher");
    if (learned.empty()) return 0;
    const fs::path normal = learned.lexically_normal();
    if (normal != learned || normal.begin() == normal.end() || *normal.begin() != paths.airportsFolder)
        std::abort();
    for (const fs::path& part : normal)
        if (part == "..") std::abort();
    return 0;
}
