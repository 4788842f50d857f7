// The whole road of live traffic in one run of the program in this process: the simulator
// stand-in plays the Billund scenario, rtfeed plays that airport's traffic beside it, and the
// stand-in's per-second trace shows what the program made of it: an arrival that descends
// steadily, touches down and slows on the runway, a departure that lifts off and climbs, and an
// arrival that taxis onto a stand and stays there. The simulator quits at the end and the program
// closes with exit code 0.

#include <cmath>
#include <map>
#include <thread>

#include <nlohmann/json.hpp>

#include "airports/airport_file_names.hpp"
#include "airports/park_airport_file.hpp"
#include "app/app_run_fixture.hpp"
#include "app/subsystem_wiring.hpp"
#include "core/geodesy.hpp"
#include "links/park_airport.hpp"
#include "records/stand_table.hpp"
#include "refdata/airports.hpp"

using namespace tamrix;
using apptest::contains;
namespace fs = std::filesystem;

namespace {

constexpr double kMetresPerDegree = 111132.95;
constexpr double kRadiansPerDegree = 0.017453292519943295;

// One second of one object in the stand-in's trace.
struct TraceRow {
    std::string atcId;
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0;
    bool onGround = false;
    std::string groundEvent;
};

double metresBetween(double lat1, double lon1, double lat2, double lon2) {
    const double north = (lat2 - lat1) * kMetresPerDegree;
    const double east = (lon2 - lon1) * kMetresPerDegree * std::cos(lat1 * kRadiansPerDegree);
    return std::hypot(north, east);
}

// The AI objects' rows of the trace by object id, in time order; a last line not yet ended (the
// simulator still writing it) is left out.
std::map<std::string, std::vector<TraceRow>> readTrace(const fs::path& file, const std::string& userId) {
    std::map<std::string, std::vector<TraceRow>> objects;
    const std::string text = apptest::readText(file);
    std::vector<std::string> lines;
    std::istringstream all(text.substr(0, text.rfind('\n') + 1));
    for (std::string line; std::getline(all, line);)
        lines.push_back(line);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> f;
        std::stringstream in(lines[i]);
        for (std::string field; std::getline(in, field, ',');) f.push_back(field);
        if (f.size() < 16 || f[1] == userId) continue;
        TraceRow row;
        row.atcId = f[2];
        row.latitude = std::stod(f[3]);
        row.longitude = std::stod(f[4]);
        row.altitude = std::stod(f[5]);
        row.onGround = f[8] == "1";
        row.groundEvent = f.size() > 16 ? f[16] : "";
        objects[f[1]].push_back(row);
    }
    return objects;
}

// True once the trace shows all the test looks for: a touchdown with 6 s after it, a lift-off
// with 10 s after it, and an object from elsewhere standing at a stand for its last 4 s.
bool roadShown(const std::map<std::string, std::vector<TraceRow>>& objects,
               const std::vector<std::pair<double, double>>& stands) {
    bool landed = false, tookOff = false, onStand = false;
    for (const auto& [id, rows] : objects) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            landed = landed || (i >= 10 && i + 6 < rows.size() && rows[i].groundEvent == "touchdown");
            tookOff = tookOff || (i >= 3 && i + 10 < rows.size() && rows[i].groundEvent == "lift-off");
        }
        if (rows.size() < 5 || !rows.back().onGround) continue;
        for (const auto& [lat, lon] : stands) {
            const auto at = [&](const TraceRow& r) { return metresBetween(r.latitude, r.longitude, lat, lon); };
            onStand = onStand || (at(rows.back()) <= 3.0 && at(rows[rows.size() - 4]) <= 3.0 && at(rows.front()) > 30.0);
        }
    }
    return landed && tookOff && onStand;
}

class WholeRoad : public apptest::InProcessRun {
protected:
    void SetUp() override {
        InProcessRun::SetUp();
        // The shipped Billund scenario, its trace written here, the simulator quitting after the
        // run's length.
        std::ifstream in(fs::path(QUORVEL_SOURCE_DIR) / "data" / "scenario" / "EKBI.json");
        scenario_ = nlohmann::json::parse(in);
        scenario_["snapshot_file"] = (folder() / "SimObjects.txt").string();
        scenario_["trace_file"] = trace().string();
        scenario_["timeline"] = nlohmann::json::array({{{"at_seconds", kRunLimitSeconds}, {"event", "quit"}}});
        std::ofstream(folder() / "scenario.json") << scenario_.dump(1);
        prepareRun(folder() / "scenario.json");
        useBuildDownloadServer();
    }
    void TearDown() override {
        gf_clearStandTable();
        gf_resetParkAirportFile();
        gf_clearParkAirport();
        InProcessRun::TearDown();
    }

    fs::path trace() const { return folder() / "SimTrace.csv"; }

    // The program's airport step chooses the park airport once the main loop runs; where this
    // build has no such step wired in yet, the test makes Billund, the user aircraft's airport,
    // the park airport the same way: its file read (downloaded from the archive) into the stand
    // table at the first step.
    static void chooseBillundWithoutAnAirportStep() {
        gf_installSubsystems();
        AirportHooks& hooks = gf_airportHooks();
        if (hooks.parkAirportTick) return;
        hooks.parkAirportTick = [](bool first) {
            if (!first || gf_parkAirport().code.isSet()) return;
            const FixedCode<4> code("EKBI");
            const AirportRecord* airport = gf_findAirport(code);
            if (airport == nullptr) return;
            ParkAirport park;
            park.code = code;
            park.position = {airport->latitude, airport->longitude};
            park.elevationFeet = airport->airportAltitude;
            gf_setParkAirport(park);
            gf_clearStandTable();
            ParkAirportInfo info;
            QualityFactors quality;
            const std::string error = gf_readApf(gf_locateApf(code), info, quality);
            if (!error.empty()) gf_log(error);
        };
        hooks.parkAirportLoaded = [] { return gParkAirportFileReady.load(); };
    }

    // The positions of the scenario airport's stands (the airport's reference point moved by
    // each stand's bias).
    std::vector<std::pair<double, double>> standPositions() const {
        std::vector<std::pair<double, double>> stands;
        for (const auto& airport : scenario_["airports"]) {
            const double lat = airport["latitude"];
            const double lon = airport["longitude"];
            for (const auto& p : airport["parkings"]) {
                const double north = p["bias_z_m"];
                const double east = p["bias_x_m"];
                stands.emplace_back(lat + north / kMetresPerDegree,
                                    lon + east / (kMetresPerDegree * std::cos(lat * kRadiansPerDegree)));
            }
        }
        return stands;
    }

    std::unique_ptr<apptest::Child> startFeed() const {
        return InProcessRun::startFeed(
            {"--scenario", (folder() / "scenario.json").string(), "--skip", std::to_string(kSkipSeconds)},
            kRunLimitSeconds + 10);
    }

    // The program replays each report 3000 of its 10 ms ticks (30 s) after it arrives and
    // creates an aircraft only once its buffered reports agree on airborne or on the ground, so
    // an aircraft shows a take-off or a landing only when it was reported some 36 s before, later
    // on a machine too busy for every tick. Started 4 s into its plan, the feed brings the first
    // take-off (0:42), an arrival onto its stand (0:45) and the first landing (0:58), more every
    // few minutes; the simulator quits as soon as its trace shows a landing, a take-off and a
    // stand arrival (some 90 s in), at the latest after kRunLimitSeconds.
    static constexpr int kSkipSeconds = 4;
    static constexpr int kRunLimitSeconds = 600;

    // Reads the trace while the program runs and quits the simulator once it shows the road.
    void quitWhenShown(const std::stop_token& stop) const {
        const auto userId = std::to_string(scenario_["user_aircraft"]["object_id"].get<int>());
        const auto stands = standPositions();
        while (!stop.stop_requested()) {
            if (roadShown(readTrace(trace(), userId), stands)) {
                platform::simconnect::simWorld().quitSimulator();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    }

    nlohmann::json scenario_;
};

TEST_F(WholeRoad, ArrivalsLandAndReachAStandAndADepartureTakesOff) {
    chooseBillundWithoutAnAirportStep();
    auto feed = startFeed();
    const int code = runProgram([this](const std::stop_token& stop) { quitWhenShown(stop); });

    EXPECT_EQ(code, 0);
    const auto log = logLines();
    EXPECT_TRUE(contains(log, "Exiting: SIM WAS CLOSED"));
    // Billund was the park airport, its stands read from the archived airport file.
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& line) {
        return line.starts_with("Airport file read from") && line.ends_with("EKBI.xml' for Billund");
    }));

    const auto objects = readTrace(trace(), std::to_string(scenario_["user_aircraft"]["object_id"].get<int>()));
    ASSERT_FALSE(objects.empty()) << "no AI object was created";

    // A landing: airborne for some seconds before, never climbing on the way down, then on the
    // ground and slowing.
    std::string landed;
    for (const auto& [id, rows] : objects) {
        for (std::size_t i = 10; i + 6 < rows.size() && landed.empty(); ++i) {
            if (rows[i].groundEvent != "touchdown") continue;
            bool steady = true;
            for (std::size_t k = i - 10; k < i; ++k) {
                EXPECT_FALSE(rows[k].onGround) << rows[k].atcId;
                if (rows[k + 1].altitude > rows[k].altitude + 1.0) steady = false;
            }
            EXPECT_TRUE(steady) << rows[i].atcId << " climbs on its way down to the runway";
            const auto speed = [&](std::size_t k) {
                return metresBetween(rows[k].latitude, rows[k].longitude, rows[k + 1].latitude, rows[k + 1].longitude);
            };
            EXPECT_TRUE(rows[i + 1].onGround && rows[i + 5].onGround) << rows[i].atcId;
            EXPECT_LT(speed(i + 5), speed(i)) << rows[i].atcId << " does not slow after touchdown";
            landed = rows[i].atcId;
        }
    }
    EXPECT_FALSE(landed.empty()) << "no AI object landed";

    // A take-off: on the ground before, then airborne and climbing.
    std::string tookOff;
    for (const auto& [id, rows] : objects) {
        for (std::size_t i = 3; i + 10 < rows.size() && tookOff.empty(); ++i) {
            if (rows[i].groundEvent != "lift-off") continue;
            EXPECT_TRUE(rows[i - 3].onGround && rows[i - 1].onGround) << rows[i].atcId;
            EXPECT_FALSE(rows[i + 10].onGround) << rows[i].atcId;
            EXPECT_GT(rows[i + 10].altitude, rows[i].altitude + 50.0) << rows[i].atcId << " does not climb";
            tookOff = rows[i].atcId;
        }
    }
    EXPECT_FALSE(tookOff.empty()) << "no AI object took off";

    // An arrival on a stand: it came from elsewhere and stands at a stand's position at the end.
    std::string onStand;
    const auto stands = standPositions();
    for (const auto& [id, rows] : objects) {
        const TraceRow& last = rows.back();
        if (!last.onGround || rows.size() < 5) continue;
        for (const auto& [lat, lon] : stands) {
            if (metresBetween(last.latitude, last.longitude, lat, lon) > 3.0) continue;
            const bool came = metresBetween(rows.front().latitude, rows.front().longitude, lat, lon) > 30.0;
            const bool stays = metresBetween(rows[rows.size() - 4].latitude, rows[rows.size() - 4].longitude, lat,
                                             lon) <= 3.0;
            if (came && stays) onStand = last.atcId;
        }
    }
    EXPECT_FALSE(onStand.empty()) << "no arrival reached a stand";
    if (!onStand.empty()) {
        bool logged = false;
        for (const auto& line : log)
            logged = logged || (line.find(onStand) != std::string::npos && line.ends_with("arrived at stand"));
        EXPECT_TRUE(logged) << onStand << " reached a stand without the log saying so";
    }
}

} // namespace
