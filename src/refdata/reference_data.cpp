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
