#include "airports/park_airport_file.hpp"

#include <cmath>
#include <exception>
#include <mutex>
#include <system_error>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/airport_file.hpp"
#include "airports/airport_file_names.hpp"
#include "airports/downloader.hpp"
#include "config/control_binding.hpp"
#include "config/settings.hpp"
#include "config/settings_migration.hpp"
#include "config/xml_helpers.hpp"
#include "core/files.hpp"
#include "core/guarded.hpp"
#include "core/log.hpp"
#include "core/meta_info.hpp"
#include "core/paths.hpp"
#include "core/run_state.hpp"
#include "core/user_error.hpp"
#include "links/park_airport.hpp"
#include "records/stand_table.hpp"
#include "refdata/airports.hpp"

namespace tamrix {

ParkAirportFileState gParkFile;
std::atomic<bool> gParkAirportFileReady{false};

namespace {

Guarded<ParkPanelTexts>& panel() {
    static auto* texts = new Guarded<ParkPanelTexts>;
    return *texts;
}

void selectChoice(const IntChoiceParameter& parameter) {
    if (const auto index = parameter.indexOfCurrent())
        SendMessageW(parameter.window, CB_SETCURSEL, static_cast<WPARAM>(*index), 0);
}

void setCheckBox(CheckBoxParameter& parameter, bool value) {
    parameter.current.store(value);
    gf_showCheckBox(parameter);
}

// Loads an airport file: a regular file no larger than an airport file can be (a pipe in its
// place is not waited on); false with the cause logged.
bool loadXml(pugi::xml_document& document, const std::filesystem::path& path) {
    const std::optional<std::string> problem = gf_loadXmlFile(document, path, kMaxApfBytes);
    if (problem) gf_log(fmt::format("{}: {}", path.string(), *problem));
    return !problem;
}

// With no learned file, the quality of the file's flights and the number of stands the airport
// table gives decide how static parking starts.
void adjustSettingsWithoutLearned(const FixedCode<4>& code, const QualityFactors& quality) {
    if (quality.Qf_real <= 2 && quality.Qf_soft >= 1) {
        setCheckBox(PARK_SOFT, true);
        setCheckBox(WEEK, true);
        // The search limit is MAX_FIT; the hours shown follow it.
        MAX_FIT.current.store(MAX_FIT.maxValue);
        gf_updateMaxFitFl();
    } else if (quality.Qf_real >= 46) {
        setCheckBox(PARK_SOFT, false);
        setCheckBox(WEEK, false);
    }
    const AirportRecord* record = gf_findAirport(code);
    const int32_t stands = record != nullptr ? record->standCount : 0;
    const int32_t percentage = stands == 1 ? 100 : stands == 2 ? 50 : 30;
    parking_percentage.current.store(percentage);
    gf_logContinued(fmt::format("{:24}: {}%", parking_percentage.name, percentage));
    selectChoice(parking_percentage);
    EnableWindow(parking_percentage.window, TRUE);
}

// Stands close enough to collide with each other: both sizes together beyond 1.1 times their
// distance.
void findAdjacentStands() {
    for (StandRecord& stand : gStandTable) stand.adjacent.clear();
    constexpr double kNmPerDegreeLatitude = 59.0; // a little under the real value: never skips a pair
    for (std::size_t a = 0; a < gStandTable.size(); ++a) {
        StandRecord& first = gStandTable[a];
        for (std::size_t b = a + 1; b < gStandTable.size(); ++b) {
            StandRecord& second = gStandTable[b];
            const double reach = first.radius + second.radius;
            if (std::abs(first.latitude - second.latitude) * kNmPerDegreeLatitude * 1.1 > reach) continue;
            const double distance =
                gf_distanceNm({first.latitude, first.longitude}, {second.latitude, second.longitude});
            if (reach > 1.1 * distance) {
                first.adjacent.push_back(second.standId);
                second.adjacent.push_back(first.standId);
            }
        }
    }
    for (StandRecord& stand : gStandTable) stand.adjacent.shrink_to_fit();
}

std::string downloadUrl(const std::string& name) {
    std::string path = name;
    for (char& c : path)
        if (c == '\\') c = '/';
    return gf_downloadServerBase() + (gIsMsfs2020.load() ? "MSFS/" : "MSFS2024/") + path;
}

// A name that climbs out of the archive is never asked for.
bool climbsOut(const std::string& name) {
    std::size_t begin = 0;
    while (begin <= name.size()) {
        std::size_t end = name.find_first_of("/\\", begin);
        if (end == std::string::npos) end = name.size();
        if (name.compare(begin, end - begin, "..") == 0 && end - begin == 2) return true;
        begin = end + 1;
    }
    return !name.empty() && (name.front() == '/' || name.front() == '\\');
}

} // namespace

ParkPanelTexts gf_parkPanelTexts() { return panel().get(); }

int32_t gf_simKind() { return gIsMsfs2020.load() ? 1 : 2; }

namespace {

// The download of lf_downloadApf without its log line: for a caller that shows and logs the
// text itself.
std::string downloadApfQuietly(const std::string& name, const std::filesystem::path& target) {
    const std::string url = downloadUrl(name);
    bool ok = false;
    if (!climbsOut(name)) {
        if (target.has_parent_path()) {
            std::error_code ignored; // a folder that cannot be made fails the download, which says so
            std::filesystem::create_directories(target.parent_path(), ignored);
        }
        CurlHandle curl;
        ok = Downloader(curl, url, target, false, DownloadKind::AirportFile);
    }
    if (ok) return {};
    gf_removeFile(target);
    return fmt::format("failed to download: '{}'", url);
}

} // namespace

std::string lf_downloadApf(const std::string& name, const std::filesystem::path& target) {
    std::string text = downloadApfQuietly(name, target);
    if (!text.empty()) gf_log(text);
    return text;
}

std::string gf_readApf(const std::string& name, ParkAirportInfo& info, QualityFactors& quality) {
    if (name.empty()) return "gf_readApf: xml is empty";
    ParkAirport park = gf_parkAirport();
    if (!park.code.isSet()) return "gf_readApf: no park airport set";
    gParkAirportFileReady.store(false);
    const std::filesystem::path localCopy = gf_paths().airportsFolder / "park_airport.xml";
    const bool local = name.size() >= 8 && name.compare(0, 8, "airports") == 0;
    if (!local) {
        // The caller shows the text on the message line and logs it there.
        std::string problem = downloadApfQuietly(name, localCopy);
        if (!problem.empty()) return problem;
    }
    const std::filesystem::path loaded = local ? gf_pathFromWindowsText(name) : localCopy;
    gHandmadeAirport.store(false);
    gParkFile.located = name;
    gParkFile.learned = LearnedMerge::None;
    try {
        pugi::xml_document document;
        if (!loadXml(document, loaded)) return fmt::format("{}: could not load file: {}", name, loaded.string());
        if (!gf_readMetaInfo(document, true)) return fmt::format("{}: refused to load", name);

        gParkFile.rtTrafficWeek = static_cast<uint32_t>(gf_getIntParameter(document, "RT_traffic_week").value_or(0));
        info.publisher = gf_getStringParameter(document, "publisher").value_or("");
        const std::optional<std::string> version = gf_getStringParameter(document, "version");
        gParkFile.version = version.value_or("");
        const std::optional<bool> facilities = gf_getBoolParameter(document, "Facilities");
        const std::optional<int32_t> altitude = gf_getIntParameter(document, "altitude");
        if (!altitude) throw UserErrorException(65, fmt::format("Parameter {} not found", "altitude"));
        info.altitude = *altitude;
        park.elevationFeet = static_cast<float>(*altitude);
        gf_setParkAirport(park);
        info.airport_name = gf_getStringParameter(document, "airport_name").value_or("");

        lf_readStands(document);

        const std::optional<int32_t> real = gf_getIntParameter(document, "Qf_real");
        const std::optional<int32_t> soft = gf_getIntParameter(document, "Qf_soft");
        if (real && soft) quality = QualityFactors{*real, *soft};

        gApfValues = gf_currentApfValues();
        gParkFile.settingsSaved = true;

        gParkFile.learnedPath = lf_learnedApfPath(name, info.publisher);
        std::error_code ec;
        if (!gParkFile.learnedPath.empty() && std::filesystem::exists(gParkFile.learnedPath, ec)) {
            gParkFile.learned = lf_readLearned(gParkFile.learnedPath, info);
            quality = gf_qualityFactors();
            if (gHandmadeAirport.load()) gf_logHighlighted("A handmade airport file overruled the archived file!");
        } else {
            gf_logAndFlush("learned does not exist");
            adjustSettingsWithoutLearned(park.code, quality);
        }
        if (gStandTable.size() > kMaxApfStands)
            throw std::length_error(fmt::format("more than {} stands with the learned stands", kMaxApfStands));

        {
            std::lock_guard guard(gf_standTableLock());
            uint32_t sid = 0;
            for (StandRecord& stand : gStandTable) stand.standId = ++sid;
            gf_standTableChanged();
        }
        findAdjacentStands();

        const bool handmade = gHandmadeAirport.load();
        gf_log(fmt::format("Airport file read from '{}' for {}", handmade ? gParkFile.learnedPath.string() : name,
                           info.airport_name));
        gf_logContinued(fmt::format("{:24}: {}", "publisher", info.publisher));
        if (version) gf_logContinued(fmt::format("{:24}: {}", "version", *version));
        gf_logContinued(fmt::format("{:24}: {} ft", "altitude", info.altitude));
        gf_logContinued(fmt::format("{:24}: {}", "num_parkpos", gStandTable.size()));
        if (facilities) gf_logContinued(fmt::format("{:24}: {}", "Facilities", *facilities));
        gf_logContinued(fmt::format("{:24}: {}", "quality factor", gf_qualityCellText(quality)));
        gf_logContinued(fmt::format("{:24}: {}", "RT traffic week", gParkFile.rtTrafficWeek));

        gParkFile.info = info;
        gParkFile.quality = quality;
        gParkFile.elevationFeet = static_cast<double>(info.altitude);
        panel().update([&](ParkPanelTexts& texts) {
            texts.code = park.code;
            texts.stands = static_cast<uint32_t>(gStandTable.size());
            texts.second = version ? fmt::format("{} ({})", info.publisher, *version) : info.publisher;
            texts.handmade = handmade;
            texts.quality = gf_qualityCellText(quality);
        });
        if (gStandTable.empty()) return "no stands found";
        gParkAirportFileReady.store(true);
        EnableWindow(FLUSH_STATIC_BUTTON.window, TRUE);
        return {};
    } catch (const UserErrorException& e) {
        // A damaged file drops the park airport like any other load error; the run goes on.
        gf_logHighlighted(fmt::format("{}: {}", name, e.what()));
        return e.what();
    } catch (const std::exception& e) {
        return fmt::format("{}: {}", "gf_readApf", e.what());
    }
}

double gf_readDestApfForClosestStand(const FixedCode<4>& code, GeoPosition position, std::string& standName) {
    double best = 100.0;
    const std::filesystem::path temporary = "airport.xml";
    try {
        const std::string name = gf_locateApf(code);
        if (name.empty()) return best;
        const bool local = name.size() >= 8 && name.compare(0, 8, "airports") == 0;
        if (!local && !lf_downloadApf(name, temporary).empty()) return best;
        pugi::xml_document document;
        const bool ok = loadXml(document, local ? gf_pathFromWindowsText(name) : temporary);
        if (!local) gf_removeFile(temporary);
        if (!ok) return best;
        pugi::xml_node root = document.child("root");
        pugi::xml_node parkpositions = root ? root.child("parkpositions") : document.child("parkpositions");
        for (pugi::xml_node parkpos : parkpositions.children("parkpos")) {
            const double distance = gf_distanceNm(
                position, {parkpos.attribute("latitude").as_double(0.0), parkpos.attribute("longitude").as_double(0.0)});
            if (distance < best) {
                best = distance;
                standName = parkpos.attribute("id").as_string("");
            }
        }
        return best;
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: {}", "gf_readDestApfForClosestStand", e.what()));
        gf_removeFile(temporary);
        return 100.0;
    }
}

void gf_installParkAirportFileServices() { gf_setClosestStandReader(gf_readDestApfForClosestStand); }

void gf_clearParkPanel() { panel().set(ParkPanelTexts{}); }

} // namespace tamrix
