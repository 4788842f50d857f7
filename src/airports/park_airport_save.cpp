// Saving what was learned at the park airport, the quality factors of its stands, and leaving it.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <system_error>

#include <fmt/format.h>
#include <gsl/narrow>

#include "airports/airport_file.hpp"
#include "airports/airport_file_names.hpp"
#include "airports/park_airport_file.hpp"
#include "airports/stand_options.hpp"
#include "config/control_binding.hpp"
#include "config/settings.hpp"
#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/paths.hpp"
#include "core/time_texts.hpp"
#include "links/park_airport.hpp"
#include "records/stand_table.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/removal.hpp"

namespace tamrix {

namespace {

std::atomic<StaticParkingLeave> gStaticParkingLeave{nullptr};

// Options static parking set aside for the current plan have the number 0; they are still
// flights that were seen, so they get numbers again rather than being dropped.
void renumberSetAside(StandRecord& stand) {
    for (StandOption& option : stand.options)
        gf_renumberSetAside(stand, option);
}

// The learned file by the publisher alone, for a park airport whose located name gives none.
std::filesystem::path learnedPathByPublisher(const FixedCode<4>& code, const std::string& publisher) {
    const ProgramPaths& paths = gf_paths();
    if (publisher == "stock") return paths.learnedStockFolder / gf_apfFileName(code);
    if (publisher == "simaddon") return paths.learnedSimaddonFolder / gf_apfFileName(code);
    const std::string folder = gf_safePublisherFolder(publisher);
    return (folder.empty() ? paths.learnedThirdpartyFolder : paths.learnedThirdpartyFolder / folder) /
           gf_apfFileName(code);
}

double standWeight(double radiusNm) {
    if (radiusNm <= 7.0) return 0.3;
    if (radiusNm <= 10.0) return 1.5;
    return 1.0;
}

struct KindSums {
    uint64_t count = 0;
    uint32_t days = 0; // bit d for day d
    uint64_t bits = 0;
    double term() const {
        const double n = static_cast<double>(std::min<uint64_t>(20 * count, 4000));
        const double b = static_cast<double>(std::min<uint64_t>(bits, 600));
        return n + 10000.0 + 100.0 * static_cast<double>(std::popcount(days)) + 2.0 * b;
    }
};

int32_t factor(double sum, double weight) {
    const int32_t value = gsl::narrow<int32_t>(std::round(sum / weight * 0.00625));
    return std::clamp(value, 0, 100);
}

} // namespace

QualityFactors gf_qualityFactors() {
    const bool anyOption = std::any_of(gStandTable.begin(), gStandTable.end(),
                                       [](const StandRecord& s) { return !s.options.empty(); });
    if (!anyOption) return {-1, -1};
    double weights = 0.0;
    double real = 0.0;
    double soft = 0.0;
    for (const StandRecord& stand : gStandTable) {
        if (stand.heli != 0 || stand.type == 12) continue;
        const double w = standWeight(stand.radius);
        weights += w;
        KindSums sums[2];
        for (const StandOption& option : stand.options) {
            if (option.number == 0) continue;
            KindSums& kind = sums[option.real != 0 ? 0 : 1];
            ++kind.count;
            if (option.day >= 1 && option.day <= 7) kind.days |= 1u << option.day;
            kind.bits += option.hh.count();
        }
        if (sums[0].count > 0) real += w * sums[0].term();
        if (sums[1].count > 0) soft += w * sums[1].term();
    }
    if (!(weights > 0.0)) return {0, 0};
    return {factor(real, weights), factor(soft, weights)};
}

std::string gf_qualityCellText(const QualityFactors& quality) {
    if (quality.Qf_real < 0 && quality.Qf_soft < 0) return "  ";
    if (quality.Qf_real >= 45) return fmt::format("{:2}", quality.Qf_real);
    return fmt::format("{:2}/{:2}", quality.Qf_real, quality.Qf_soft);
}

std::string gf_qualityCellText() { return gf_qualityCellText(gParkFile.quality); }

std::optional<std::filesystem::path> gf_saveApf() {
    const ParkAirport park = gf_parkAirport();
    AirportFileHeader header;
    header.icao = park.code;
    header.airportName = gParkFile.info.airport_name;
    header.publisher = gParkFile.info.publisher;
    header.altitude = gParkFile.info.altitude;
    header.Qf_real = 0;
    header.Qf_soft = 0;
    const bool handmade = gHandmadeAirport.load();
    if (handmade) {
        header.stands = gStandTable;
        for (StandRecord& stand : header.stands) renumberSetAside(stand);
        const QualityFactors quality = gf_qualityFactors();
        header.Qf_real = quality.Qf_real;
        header.Qf_soft = quality.Qf_soft;
    } else {
        for (StandRecord& stand : gStandTable) {
            renumberSetAside(stand);
            std::erase_if(stand.options, [](const StandOption& o) { return o.source == 1; });
            if (stand.manual != 0 || !stand.options.empty() || stand.radiusChange != 0 || stand.cargoChange != 0)
                header.stands.push_back(stand);
        }
    }
    const std::filesystem::path path = gParkFile.learnedPath.empty()
                                           ? learnedPathByPublisher(park.code, gParkFile.info.publisher)
                                           : gParkFile.learnedPath;
    std::string time = gf_timeText(gf_systemTime());
    time = time.size() >= 19 ? time.substr(11, 8) : time;
    bool written = false;
    try {
        std::error_code ec;
        // What the read did not take in stays in the first generation of the file.
        if (gParkFile.learned == LearnedMerge::Partial && std::filesystem::exists(path, ec)) {
            if (!gf_save1GenerationOf(path)) {
                gf_logHighlighted(fmt::format("{} saving '{}' skipped: its earlier content could not be kept", time,
                                              path.string()));
                gf_resetLearnedUpdates();
                return path;
            }
            gf_log(fmt::format("{} the earlier learned file '{}' is kept as {}", time, path.string(),
                               gf_generationName(path, 1).string()));
            gParkFile.learned = LearnedMerge::Complete;
        }
        written = gf_writeApf(header, path, kApfLearnedMode, gf_simKind());
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: {}", "gf_saveApf", e.what()));
    }
    if (!written)
        gf_log(fmt::format("{} saving '{}' did not succeed", time, path.string()));
    else
        gf_log(fmt::format("{}{} '{}' saved with {} update{}", time, handmade ? " handmade" : "", path.string(),
                           gLearnedUpdateCount, gf_plural(static_cast<int64_t>(gLearnedUpdateCount))));
    gf_resetLearnedUpdates();
    if (!written) return path;
    return std::nullopt;
}

void gf_setStaticParkingLeave(StaticParkingLeave leave) { gStaticParkingLeave.store(leave); }

std::optional<std::filesystem::path> gf_closeParkAirport() {
    if (StaticParkingLeave leave = gStaticParkingLeave.load()) leave();
    for (LiveAircraft& aircraft : gLiveAircraft) {
        switch (aircraft.phase) {
        case MovePhase::Parked:
        case MovePhase::Parking: // driving to its stand: its stand id would name another airport's stand
        case MovePhase::PushingBack:
        case MovePhase::PushedBack:
        case MovePhase::Taxi:
        case MovePhase::TakeOff: break;
        default: continue;
        }
        aircraft.standLatitude = 0.0;
        aircraft.standLongitude = 0.0;
        aircraft.standHeading = 0.0;
        aircraft.standId = 0;
        aircraft.cargoStand = 0;
        if (aircraft.state == LiveState::Active) {
            removeAircraftFromSim(aircraft);
        } else if (aircraft.state == LiveState::Adding2Sim) {
            if (gf_eraseFromAddingStack(gLiveAddingStack, aircraft.key))
                aircraft.erase = 1;
            else
                aircraft.removalAsked = 1;
        }
    }
    // The others keep their order: the live list is searched front to back.
    std::erase_if(gLiveAircraft, [](LiveAircraft& aircraft) {
        if (aircraft.erase == 0) return false;
        lf_releaseStand(aircraft);
        return true;
    });
    return lf_resetParkAirport();
}

std::optional<std::filesystem::path> lf_resetParkAirport() {
    std::optional<std::filesystem::path> notSaved;
    if (gParkAirportFileReady.load()) notSaved = gf_saveApf();
    if (gParkFile.settingsSaved) gf_applyApfParameters();
    gParkFile.settingsSaved = false;
    gHandmadeAirport.store(false);
    gParkAirportFileReady.store(false);
    if (!INITIAL_LOAD_ONLY.current.load()) EnableWindow(NOW_BUTTON.window, FALSE);
    gParkFile.rtTrafficWeek = 0;
    EnableWindow(FLUSH_STATIC_BUTTON.window, FALSE);
    gf_clearParkAirport();
    gParkFile.elevationFeet.reset();
    gf_resetLearnedUpdates();
    if (StaticParkingLeave leave = gStaticParkingLeave.load()) leave();
    gf_clearStandTable();
    gf_clearParkPanel();
    gParkFile.located.clear();
    gParkFile.learnedPath.clear();
    gParkFile.learned = LearnedMerge::None;
    return notSaved;
}

void gf_resetParkAirportFile() {
    gParkFile = ParkAirportFileState{};
    gParkAirportFileReady.store(false);
    gHandmadeAirport.store(false);
    gf_clearParkPanel();
}

} // namespace tamrix
