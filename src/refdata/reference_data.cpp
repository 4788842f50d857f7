#include "refdata/reference_data.hpp"

#include <stdexcept>

#include <fmt/format.h>

#include "core/paths.hpp"
#include "refdata/airports.hpp"
#include "refdata/code_table.hpp"
#include "refdata/dbase.hpp"

namespace tamrix {
namespace {
bool gDbaseRead = false;
} // namespace

void gf_resetReferenceData() {
    gDbaseRead = false;
    gf_clearDbase();
    gf_clearAirports();
    gOperatorCodes.clear();
    gModelCodes.clear();
}

std::optional<std::string> gf_readReferenceFile(ReferenceFile kind, const std::filesystem::path& encPath) {
    std::filesystem::path plainPath = encPath;
    plainPath.replace_extension(".xml");
    std::string problem;
    try {
        if (kind == ReferenceFile::Dbase) {
            if (gf_readDbase(encPath, plainPath)) {
                gDbaseRead = true;
                return std::nullopt;
            }
            problem = "its table is not well-formed XML";
        } else {
            if (gf_loadAirports(encPath, plainPath)) return std::nullopt;
            problem = "it holds no airport";
        }
    } catch (const std::exception& e) {
        problem = e.what();
    }
    if (kind == ReferenceFile::Dbase) {
        // Codes of a file that was not taken must not keep their places in the tables.
        gDbaseRead = false;
        gf_clearDbase();
        gOperatorCodes.clear();
        gModelCodes.clear();
    } else {
        gf_forgetAirportTable();
    }
    return problem;
}

void gf_readReferenceData() {
    if (!gDbaseRead) {
        if (!gf_readDbase()) throw std::runtime_error("reading data files failed!");
        gDbaseRead = true;
    }
    if (!gf_readAirports()) {
        throw std::runtime_error(fmt::format("reading '{}' failed!", gf_paths().airportsEncPath.string()));
    }
}

} // namespace tamrix
