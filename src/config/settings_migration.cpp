#include "config/settings_migration.hpp"

#include <algorithm>
#include <filesystem>
#include <string>

#include <fmt/format.h>

#include "config/control_binding.hpp"
#include "config/parameters_file.hpp"
#include "config/settings.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/version_data.hpp"

namespace tamrix {
namespace {

constexpr int32_t kMetresPerNm = 1852;

// Too old to convert when below 11.0.2.
bool tooOldToConvert(const VersionData& v) {
    return v.major < 11 || (v.major == 11 && v.minor == 0 && v.patch < 2);
}

std::filesystem::path keptName(const std::filesystem::path& path) {
    std::filesystem::path kept = path;
    kept += kKeptSuffix;
    return kept;
}

// Out of the way of the reader and the updater, but not gone until a replacement has arrived.
void setAsideIfThere(const std::filesystem::path& path) {
    if (std::filesystem::exists(path)) std::filesystem::rename(path, keptName(path));
}

// Compares the stored version with the program's and clears what older versions left behind.
// True when the stored version is too old to convert (the caller then resets the file).
bool lf_checkProgramVersion() {
    const std::string programText = gProgramVersion.text();
    const std::string storedText = PROGRAM_VERSION.current.get();
    if (PROGRAM_VERSION.defaultValue.get() == storedText) {
        gf_setStringParameter(PROGRAM_VERSION, programText);
        return false;
    }
    const VersionData stored(storedText);
    if (stored == VersionData{}) {
        // Not a version (a damaged or hand-edited file): taken as the current one rather than as
        // a very old one, which would reset every setting and remove the reference files.
        gf_log(fmt::format("! PROGRAM_VERSION '{}' is no version, taken as {}", storedText, programText));
        gf_setStringParameter(PROGRAM_VERSION, programText);
        return false;
    }
    if (!(gProgramVersion > stored)) {
        if (stored != gProgramVersion) gf_setStringParameter(PROGRAM_VERSION, programText);
        return false;
    }
    gf_log(fmt::format("This is a version update from {} -> {}", stored.text(), programText));
    const auto& paths = gf_paths();
    if (stored.major < 12) {
        setAsideIfThere(paths.airportsEncPath);
        setAsideIfThere(paths.aigRegcodesEncPath);
        setAsideIfThere(paths.dbaseEncPath);
    }
    // The new version is recorded only after the clean-up, so a clean-up that fails is tried
    // again at the next start.
    PROGRAM_VERSION.current.set(programText);
    if (tooOldToConvert(stored)) return true; // the whole file is written anew
    if (std::filesystem::exists(paths.newVersionFolder)) std::filesystem::remove_all(paths.newVersionFolder);
    gf_saveStringParameter(PROGRAM_VERSION);
    return false;
}

} // namespace

void gf_restoreKeptReferenceFiles() noexcept {
    const auto& paths = gf_paths();
    for (const std::filesystem::path* file : {&paths.airportsEncPath, &paths.aigRegcodesEncPath, &paths.dbaseEncPath}) {
        const std::filesystem::path kept = keptName(*file);
        std::error_code ec;
        if (!std::filesystem::exists(kept, ec)) continue;
        if (std::filesystem::exists(*file, ec)) {
            std::filesystem::remove(kept, ec);
        } else {
            std::filesystem::rename(kept, *file, ec);
            if (!ec) gf_logHighlighted(fmt::format("{} put back: no newer file could be fetched", file->string()));
        }
        if (ec) gf_logHighlighted(fmt::format("Warning: could not settle {}: {}", kept.string(), ec.message()));
    }
}

void gf_checkParametersVersion() {
    if (gf_readParameters()) {
        for (CheckBoxParameter* scan : {&SCAN_LIVERIES, &SCAN_AIRPORTS}) {
            scan->current = true;
            gf_saveBoolParameter(*scan);
            gf_showCheckBox(*scan);
        }
        return;
    }
    if (!lf_checkProgramVersion()) return;
    gf_log("\nYour previous version was too old to convert the old text box parameters to the newdropbox "
           "values.");
    gf_log(fmt::format("{} re-starts with default parameter values ...\n", kProgramName));
    // The defaults replace the file in one step; the values loaded stay in force for this run.
    gf_saveParameters(true);
}

float gf_maxFit2MaxFitFl(int32_t maxFit) {
    if (maxFit >= 44) return 24.0F;
    if (maxFit >= 38) return 21.0F;
    if (maxFit >= 32) return 18.0F;
    if (maxFit >= 26) return 15.0F;
    if (maxFit >= 22) return 12.0F;
    if (maxFit >= 20) return 11.0F;
    if (maxFit >= 18) return 10.0F;
    if (maxFit >= 16) return 9.0F;
    if (maxFit >= 14) return 8.0F;
    if (maxFit >= 12) return 7.0F;
    if (maxFit >= 10) return 6.0F;
    if (maxFit == 9) return 5.0F;
    if (maxFit == 8) return 4.5F;
    if (maxFit == 7) return 4.0F;
    if (maxFit == 6) return 3.5F;
    if (maxFit == 5) return 3.0F;
    if (maxFit == 4) return 2.5F;
    if (maxFit == 3) return 2.0F;
    if (maxFit == 2) return 1.5F;
    if (maxFit == 1) return 1.0F;
    return 0.5F;
}

void gf_updateMaxFitFl() {
    const float hours = gf_maxFit2MaxFitFl(MAX_FIT.current.load());
    MAX_FIT_FL.current = hours;
    const auto& allowed = MAX_FIT_FL.allowed;
    const auto it = std::find(allowed.begin(), allowed.end(), hours);
    if (it != allowed.end())
        SendMessageW(MAX_FIT_FL.window, CB_SETCURSEL, static_cast<WPARAM>(it - allowed.begin()), 0);
}

uint32_t gf_setRange(int32_t nm) {
    RANGE.current = RANGE.clamp(nm);
    if (const auto index = RANGE.indexOfCurrent()) SendMessageW(RANGE.window, CB_SETCURSEL, *index, 0);
    // Bounded and in 64 bits: a radius from a file must neither overflow the metres nor reach
    // round the world.
    const int64_t radius = std::clamp<int64_t>(nm, kMinWorkingRadiusNm, kMaxWorkingRadiusNm);
    const int64_t metres = radius * kMetresPerNm;
    gRangeNm = static_cast<double>(radius);
    gRangeMeters = static_cast<int32_t>(metres);
    return static_cast<uint32_t>(metres);
}

} // namespace tamrix
