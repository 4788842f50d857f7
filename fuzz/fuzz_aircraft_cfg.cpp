// "aircraft.cfg" files come from any AI package a user installs: any bytes in any encoding. The
// input is written as an aircraft.cfg of a general and of an IVAO MTL package folder and read by
// both per-file readers; its lines also go straight to the section splitters and the line
// parsers. Everything must end in the readers' own reports, never in a crash.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/text_files.hpp"
#include "fuzz_scratch.hpp"
#include "liveries/aircraft_cfg_parser.hpp"
#include "liveries/aircraft_cfg_reader.hpp"
#include "liveries/scan_collectors.hpp"

namespace fs = std::filesystem;
using fuzzsupport::writeBytes;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzzsupport::ScratchFolder scratch("aircraft-cfg");
    static const fs::path folder = [] {
        fs::create_directories(scratch.path() / "IVAO_MTL" / "SimObjects" / "Airplanes" / "IVAO_A320" / "texture.AFR");
        return scratch.path();
    }();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const fs::path general = folder / "pkg" / "aircraft.cfg";
    const fs::path ivao = folder / "IVAO_MTL" / "SimObjects" / "Airplanes" / "IVAO_A320" / "aircraft.cfg";
    writeBytes(general, bytes);
    writeBytes(ivao, bytes);
    try {
        (void)tamrix::lf_searchLiveriesinFile(1, general);
        (void)tamrix::lf_searchLiveriesinIVAOFile(1, ivao);
    } catch (const std::exception&) {
        // Passed on to the walker, which logs it and goes on.
    }

    std::vector<std::string> lines;
    tamrix::gf_splitUtf8Lines(bytes, lines);
    std::string value;
    for (const auto& line : lines) {
        (void)tamrix::lf_cfgTitle(line, value);
        (void)tamrix::lf_cfgIcaoAirline(line, value);
        (void)tamrix::lf_cfgBaseContainerModel(line);
        (void)tamrix::lf_cfgFltsimNumber(line);
    }
    try {
        (void)tamrix::lf_splitFltSimSections(1, lines, "A320", general, general.parent_path());
        (void)tamrix::lf_splitIvaoFltSimSections(1, lines, "A320", ivao, ivao.parent_path());
    } catch (const std::exception&) {
    }
    tamrix::lf_clearScanLists();
    return 0;
}
