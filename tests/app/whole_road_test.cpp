// The whole road of live traffic in one run of the program in this process: the simulator
// stand-in plays the Billund scenario, rtfeed plays that airport's traffic beside it, and the
// stand-in's per-second trace shows what the program made of it: an arrival that descends
// steadily, touches down and slows on the runway, a departure that lifts off and climbs, and an
// arrival that taxis onto a stand and stays there. Every live aircraft moves as rtfeed reported
// it, replayed 30 s later: on its path, never much faster on the ground, never diving near the
// ground, never standing while the feed taxis, created where it stands and nose ahead while it
// taxis. The simulator quits at the end and the program closes with exit code 0.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <set>
#include <thread>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "airports/airport_file_names.hpp"
#include "airports/park_airport_file.hpp"
#include "app/app_run_fixture.hpp"
#include "app/subsystem_wiring.hpp"
#include "core/geodesy.hpp"
#include "links/park_airport.hpp"
#include "links/traffic_intake.hpp"
#include "records/stand_table.hpp"
#include "refdata/airports.hpp"
#include "traffic/live_traffic.hpp"

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

// True once the trace shows all the test looks for: touchdowns of two aircraft (the second is the
// light aircraft's) with 12 s after them, a lift-off with 10 s after it, and an object from
// elsewhere standing at a stand for its last 4 s.
bool roadShown(const std::map<std::string, std::vector<TraceRow>>& objects,
               const std::vector<std::pair<double, double>>& stands) {
    int landed = 0;
    bool tookOff = false, onStand = false;
    for (const auto& [id, rows] : objects) {
        bool thisLanded = false;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            thisLanded =
                thisLanded || (i >= 10 && i + 12 < rows.size() && rows[i].groundEvent == "touchdown");
            tookOff = tookOff || (i >= 3 && i + 10 < rows.size() && rows[i].groundEvent == "lift-off");
        }
        landed += thisLanded ? 1 : 0;
        if (rows.size() < 5 || !rows.back().onGround) continue;
        for (const auto& [lat, lon] : stands) {
            const auto at = [&](const TraceRow& r) { return metresBetween(r.latitude, r.longitude, lat, lon); };
            onStand = onStand || (at(rows.back()) <= 3.0 && at(rows[rows.size() - 4]) <= 3.0 && at(rows.front()) > 30.0);
        }
    }
    return landed >= 2 && tookOff && onStand;
}

// A traffic line as rtfeed sent it: the steady-clock second of sending, the callsign, position,
// ground speed and time stamp.
struct SentLine {
    double sentAt = 0.0;
    double timeStamp = 0.0;
    double latitude = 0.0;
    double longitude = 0.0;
    double groundSpeed = 0.0;
};

// The lines rtfeed sent, by callsign, in time order; a stale line sent again (its time stamp no
// newer than the last one's) is no report of where the aircraft is.
std::map<std::string, std::vector<SentLine>> readSent(const fs::path& file) {
    std::map<std::string, std::vector<SentLine>> out;
    std::istringstream all(apptest::readText(file));
    for (std::string line; std::getline(all, line);) {
        const auto blank = line.find(' ');
        if (blank == std::string::npos) continue;
        std::vector<std::string> f;
        std::stringstream in(line.substr(blank + 1));
        for (std::string field; std::getline(in, field, ',');)
            f.push_back(field);
        if (f.size() < 15 || f[9].empty() || f[9] == "null") continue;
        SentLine l;
        l.sentAt = std::stod(line.substr(0, blank));
        l.latitude = std::stod(f[2]);
        l.longitude = std::stod(f[3]);
        l.groundSpeed = std::stod(f[8]);
        l.timeStamp = std::stod(f[14]);
        auto& lines = out[f[9]];
        if (lines.empty() || l.timeStamp > lines.back().timeStamp) lines.push_back(l);
    }
    return out;
}

// One look at an AI object of the simulator, taken while the program runs.
struct Seen {
    double at = 0.0; // steady-clock seconds
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0;
    double ground = 0.0;  // altitude of the ground below, feet
    double heading = 0.0; // degrees
    bool onGround = false;
};

double metresToSegment(double lat, double lon, const SentLine& a, const SentLine& b) {
    const double k = std::cos(lat * kRadiansPerDegree) * kMetresPerDegree;
    const double an = (a.latitude - lat) * kMetresPerDegree, ae = (a.longitude - lon) * k;
    const double dn = (b.latitude - a.latitude) * kMetresPerDegree, de = (b.longitude - a.longitude) * k;
    const double length = dn * dn + de * de;
    const double u = length == 0.0 ? 0.0 : std::clamp(-(an * dn + ae * de) / length, 0.0, 1.0);
    return std::hypot(an + u * dn, ae + u * de);
}

// What the program's clock did: the tick counter at steady-clock seconds, for telling when a line
// sent at one moment is replayed (3000 ticks after it came in).
struct TickClock {
    std::vector<std::pair<double, double>> points; // (steady seconds, tick), both rising

    double tickAt(double at) const { return interpolate(at, false); }
    double timeAtTick(double tick) const { return interpolate(tick, true); }
    // The sending time of the lines an aircraft replays at `at`.
    double replayedAt(double at) const {
        return timeAtTick(tickAt(at) - static_cast<double>(tamrix::kSampleDelayTicks));
    }

private:
    double interpolate(double x, bool byTick) const {
        const auto key = [byTick](const std::pair<double, double>& p) { return byTick ? p.second : p.first; };
        const auto value = [byTick](const std::pair<double, double>& p) {
            return byTick ? p.first : p.second;
        };
        if (points.size() < 2) return 0.0;
        auto it = std::lower_bound(points.begin(), points.end(), x,
                                   [&](const auto& p, double v) { return key(p) < v; });
        if (it == points.begin()) ++it;
        if (it == points.end()) --it;
        const auto& a = *(it - 1);
        const auto& b = *it;
        const double span = key(b) - key(a);
        return span <= 0.0 ? value(a) : value(a) + (value(b) - value(a)) * (x - key(a)) / span;
    }
};

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
        return InProcessRun::startFeed({"--scenario", (folder() / "scenario.json").string(), "--skip",
                                        std::to_string(kSkipSeconds), "--sent", sent().string()},
                                       kRunLimitSeconds + 10);
    }
    fs::path sent() const { return folder() / "rtfeed-sent.txt"; }

    // The program replays each report 3000 of its 10 ms ticks (30 s) after it arrives and
    // creates an aircraft only once its buffered reports agree on airborne or on the ground, so
    // an aircraft shows a take-off or a landing only when it was reported some 36 s before, later
    // on a machine too busy for every tick. Started 4 s into its plan, the feed brings the first
    // take-off (0:42), an arrival onto its stand (0:45) and the first landing (0:58), more every
    // few minutes, the light aircraft's landing at 2:30; the simulator quits as soon as its trace
    // shows two landings, a take-off and a stand arrival (some 190 s in), at the latest after
    // kRunLimitSeconds.
    static constexpr int kSkipSeconds = 4;
    static constexpr int kRunLimitSeconds = 600;

    // Looks at the simulator's AI objects and the program's tick ten times a second while the
    // program runs, and quits the simulator once its trace shows the road.
    void quitWhenShown(const std::stop_token& stop) {
        const auto userId = std::to_string(scenario_["user_aircraft"]["object_id"].get<int>());
        const auto stands = standPositions();
        for (int round = 0; !stop.stop_requested(); ++round) {
            const double now =
                std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
            const auto tick = static_cast<double>(tamrix::gf_tickCount());
            if (clock_.points.empty() || tick > clock_.points.back().second)
                clock_.points.emplace_back(now, tick);
            for (const auto& o : platform::simconnect::simWorld().objects()) {
                if (o.user || o.atcId.empty() || o.atcId.back() == '*') continue;
                seen_[o.atcId].push_back(Seen{now, o.latitude, o.longitude, o.altitudeFeet,
                                              o.groundAltitudeFeet, o.heading / kRadiansPerDegree,
                                              o.onGround});
            }
            if (round % 5 == 0 && roadShown(readTrace(trace(), userId), stands)) {
                platform::simconnect::simWorld().quitSimulator();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    // Every live aircraft against what rtfeed sent for it; a line per fault found.
    std::vector<std::string> motionFaults() const;

    TickClock clock_;
    std::map<std::string, std::vector<Seen>> seen_;

    nlohmann::json scenario_;
};

std::vector<std::string> WholeRoad::motionFaults() const {
    constexpr double kKnotsPerMps = 3600.0 / 1852.0;
    // Each kind of fault once per aircraft: where it was first seen and how often.
    std::map<std::pair<std::string, std::string>, std::pair<std::string, int>> found;
    const auto sent = readSent(this->sent());
    const auto fault = [&](const std::string& who, double at, const char* kind, const std::string& what) {
        auto& [first, count] = found[{who, kind}];
        if (count++ == 0) first = fmt::format("{} at {:.0f} s of the feed: {}", who, at, what);
    };
    for (const auto& [callsign, looks] : seen_) {
        const auto fed = sent.find(callsign);
        if (fed == sent.end() || looks.empty()) continue;
        const std::vector<SentLine>& lines = fed->second;
        const double start = lines.front().sentAt;
        // The fed ground speed over [from, to] of sending time: its highest and lowest.
        const auto fedSpeeds = [&](double from, double to) {
            double high = 0.0, low = 1e9;
            for (std::size_t i = 0; i < lines.size(); ++i) {
                const bool inside = lines[i].sentAt >= from && lines[i].sentAt <= to;
                const bool before =
                    i + 1 < lines.size() && lines[i].sentAt < from && lines[i + 1].sentAt > from;
                if (!inside && !before) continue;
                high = std::max(high, lines[i].groundSpeed);
                low = std::min(low, lines[i].groundSpeed);
            }
            return std::pair{high, low};
        };
        if (looks.front().onGround && looks.front().altitude < looks.front().ground - 1.0)
            fault(callsign, 0.0, "created",
                  fmt::format("created at {:.0f} ft, below the ground at {:.0f} ft", looks.front().altitude,
                              looks.front().ground));
        double stoppedSince = -1.0;
        for (std::size_t i = 0; i < looks.size(); ++i) {
            const Seen& a = looks[i];
            const double fedAt = clock_.replayedAt(a.at);
            if (fedAt < start || fedAt > lines.back().sentAt) {
                stoppedSince = -1.0;
                continue;
            }
            double path = 1e9;
            for (std::size_t k = 0; k + 1 < lines.size(); ++k)
                if (lines[k + 1].sentAt >= fedAt - 20.0 && lines[k].sentAt <= fedAt + 20.0)
                    path = std::min(path, metresToSegment(a.latitude, a.longitude, lines[k], lines[k + 1]));
            if (path > (a.onGround ? 12.0 : 30.0))
                fault(callsign, fedAt - start, "path",
                      fmt::format("{:.0f} m off the path {}", path,
                                  a.onGround ? "on the ground" : "in the air"));

            // The look a second later.
            std::size_t j = i + 1;
            while (j < looks.size() && looks[j].at < a.at + 1.0)
                ++j;
            if (j >= looks.size() || looks[j].at > a.at + 1.5) continue;
            const Seen& b = looks[j];
            const double seconds = b.at - a.at;
            const double metres = metresBetween(a.latitude, a.longitude, b.latitude, b.longitude);
            const double knots = metres / seconds * kKnotsPerMps;
            const auto [high, low] = fedSpeeds(fedAt - 2.0, clock_.replayedAt(b.at) + 2.0);
            if (a.onGround && b.onGround && knots > 1.5 * high + 5.0)
                fault(callsign, fedAt - start, "speed",
                      fmt::format("{:.0f} kt on the ground, fed {:.0f} kt", knots, high));
            const double rate = (b.altitude - a.altitude) / seconds * 60.0;
            if (!a.onGround && a.altitude - a.ground < 500.0 && rate < -1200.0)
                fault(callsign, fedAt - start, "descent",
                      fmt::format("descends at {:.0f} ft/min {:.0f} ft above the ground", rate,
                                  a.altitude - a.ground));
            if (a.onGround && b.onGround && knots < 1.0 && low > 5.0) {
                if (stoppedSince < 0.0) stoppedSince = a.at;
                if (b.at - stoppedSince >= 15.0)
                    fault(callsign, fedAt - start, "stop",
                          fmt::format("stands for {:.0f} s while the feed taxis at {:.0f} kt",
                                      b.at - stoppedSince, low));
            } else {
                stoppedSince = -1.0;
            }
            if (a.onGround && b.onGround && knots >= 8.0) {
                const double north = (b.latitude - a.latitude) * kMetresPerDegree;
                const double east =
                    (b.longitude - a.longitude) * kMetresPerDegree * std::cos(a.latitude * kRadiansPerDegree);
                const double moving = std::atan2(east, north) / kRadiansPerDegree;
                const double off = std::abs(std::remainder(moving - a.heading, 360.0));
                // Where two reported legs meet at a corner the way turns at once and the nose
                // follows within a few tenths of a second; beyond 120 degrees it is pushed back,
                // tail first.
                if (off > 40.0 && off < 120.0)
                    fault(callsign, fedAt - start, "heading",
                          fmt::format("heading {:.0f} degrees off its way at {:.0f} kt", off, knots));
            }
        }
    }
    std::vector<std::string> faults;
    for (const auto& [key, entry] : found)
        faults.push_back(fmt::format("{} (seen {} time{} a tenth of a second apart)", entry.first,
                                     entry.second, entry.second == 1 ? "" : "s"));
    return faults;
}

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

    // Every live aircraft moved as the feed reported it.
    const auto faults = motionFaults();
    std::string shown;
    for (std::size_t i = 0; i < faults.size() && i < 40; ++i)
        shown += "\n  " + faults[i];
    EXPECT_TRUE(faults.empty()) << faults.size() << " faults of motion:" << shown;
    EXPECT_GE(seen_.size(), 5u) << "too few live aircraft seen";
    if (!onStand.empty()) {
        bool logged = false;
        for (const auto& line : log)
            logged = logged || (line.find(onStand) != std::string::npos && line.ends_with("arrived at stand"));
        EXPECT_TRUE(logged) << onStand << " reached a stand without the log saying so";
    }
}

} // namespace
