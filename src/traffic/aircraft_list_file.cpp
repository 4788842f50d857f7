#include "traffic/aircraft_list_file.hpp"

#include <algorithm>
#include <atomic>

#include <fmt/format.h>

#include "config/control_binding.hpp"
#include "config/settings.hpp"
#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/paths.hpp"
#include "core/text_files.hpp"

namespace tamrix {
namespace {

std::atomic<ActiveAircraftSource> gSource{nullptr};

void enable(const ParameterControl& control, bool on) {
    if (control.window != nullptr) EnableWindow(control.window, on ? TRUE : FALSE);
}

} // namespace

std::atomic<uint32_t> gSelectedObjectId{0};

void gf_setActiveAircraftSource(ActiveAircraftSource source) {
    gSource.store(source);
}

std::vector<ActiveAircraftRow> gf_activeAircraftRows() {
    const auto source = gSource.load();
    return source != nullptr ? source() : std::vector<ActiveAircraftRow>{};
}

std::string lf_acStateLine(const ActiveAircraftRow& row) {
    return fmt::format("{};{};{};{};{};{};{}", gf_id2Text(row.objectId), row.callsign, row.registration,
                       row.operatorCode, row.modelCode, row.onGround ? "GND" : "AIR",
                       row.parked ? "PARKED" : "");
}

bool lf_writeAcStates(const std::vector<ActiveAircraftRow>& rows, const std::filesystem::path& path) {
    std::vector<std::string> lines;
    lines.reserve(rows.size());
    for (const auto& row : rows)
        lines.push_back(lf_acStateLine(row));
    if (gf_writeLines(lines, path)) return true;
    gf_log(fmt::format("Failed to write {}", path.string()));
    return false;
}

void gf_writeAcStatesCsv() {
    lf_writeAcStates(gf_activeAircraftRows(), gf_paths().objectIdListPath);
}

bool gf_fillLiveCallsignList() {
    std::vector<std::string> callsigns;
    for (auto& row : gf_activeAircraftRows())
        if (!row.parked) callsigns.push_back(std::move(row.callsign));
    std::sort(callsigns.begin(), callsigns.end());
    const bool any = !callsigns.empty();
    CALLSIGN_2_OBJECTID.current.set(any ? callsigns.front() : std::string{});
    CALLSIGN_2_OBJECTID.setOptionList(std::move(callsigns));
    gf_fillCallsignComboBox();
    enable(CALLSIGN_2_OBJECTID, any);
    if (any) {
        enable(BLOCK_BUTTON, true);
        enable(UNBLOCK_BUTTON, false);
    }
    return any;
}

void gf_resetCallsignSelection() {
    CALLSIGN_2_OBJECTID.setOptionList({std::string{}});
    CALLSIGN_2_OBJECTID.current.set({});
    gSelectedObjectId.store(0);
    gf_fillCallsignComboBox();
    enable(CALLSIGN_2_OBJECTID, false);
    enable(BLOCK_BUTTON, false);
}

} // namespace tamrix
