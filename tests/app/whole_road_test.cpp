// The whole road of live traffic in one run of the program in this process: the simulator
// stand-in plays the Billund scenario, rtfeed plays that airport's traffic beside it, and the
// stand-in's per-second trace shows what the program made of it: an arrival that descends
// steadily, touches down and slows on the runway, a departure that lifts off and climbs, and an
// arrival that taxis onto a stand and stays there. Every live aircraft moves as rtfeed reported
// it, replayed 30 s later: on its path, never much faster on the ground, never diving near the
// ground, never standing while the feed taxis, created where it stands and nose ahead while it
// taxis. The looks at the simulator are timed by the program's tick, on which it moves, and
// matched to the moment of the feed they replay, so a machine too busy for the program slows the
// replay and its judge alike. The simulator quits at the end and the program closes with exit
// code 0.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
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
#include "links/sim_queues.hpp"
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

// What the trace does not show yet of all the test looks for, empty once it shows it: touchdowns
// of two aircraft (the second is the light aircraft's) with 12 s after them, a lift-off with 10 s
// after it, and an object from elsewhere standing at a stand for its last 4 s.
std::string roadMissing(const std::map<std::string, std::vector<TraceRow>>& objects,
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
    std::vector<std::string> missing;
    if (landed < 2) missing.push_back(fmt::format("{} of 2 landings", landed));
    if (!tookOff) missing.push_back("no take-off");
    if (!onStand) missing.push_back("no arrival on a stand");
    std::string text;
    for (const auto& m : missing) text += (text.empty() ? "" : ", ") + m;
    return text;
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

// A span of seconds of the steady clock.
struct Span {
    double from = 0.0;
    double to = 0.0;
};

// One look at an AI object of the simulator, taken while the program runs.
struct Seen {
    int64_t tick = 0; // the program's tick when it handed the simulator the positions shown
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0;
    double ground = 0.0;  // altitude of the ground below, feet
    double heading = 0.0; // degrees
    bool onGround = false;
};

// Where a position lies along the fed path of one aircraft.
struct OnPath {
    double metres = 1e9; // from the nearest point of the path
    double at = 0.0;     // steady second at which rtfeed sent that point (between two lines)
};

// The point of the leg from line a to line b nearest to (lat, lon), among the points sent within
// [from, to]; of a leg that stands still, the moment nearest `expected`.
OnPath nearestOnLeg(double lat, double lon, const SentLine& a, const SentLine& b, double from, double to,
                    double expected) {
    const double span = b.sentAt - a.sentAt;
    const double u0 = span <= 0.0 ? 0.0 : std::clamp((from - a.sentAt) / span, 0.0, 1.0);
    const double u1 = span <= 0.0 ? 0.0 : std::clamp((to - a.sentAt) / span, 0.0, 1.0);
    const double k = std::cos(lat * kRadiansPerDegree) * kMetresPerDegree;
    const double an = (a.latitude - lat) * kMetresPerDegree, ae = (a.longitude - lon) * k;
    const double dn = (b.latitude - a.latitude) * kMetresPerDegree, de = (b.longitude - a.longitude) * k;
    const double length = dn * dn + de * de;
    const double wanted = span <= 0.0 ? 0.0 : (expected - a.sentAt) / span;
    const double u = std::clamp(length < 1e-6 ? wanted : -(an * dn + ae * de) / length, u0, u1);
    return {std::hypot(an + u * dn, ae + u * de), a.sentAt + u * span};
}

// The program's clock against the steady clock: the tick counter read every few milliseconds
// while the program runs. The program replays each line 3000 ticks after the tick in which it
// arrived, so what the simulator shows at tick T is at the earliest what rtfeed sent while the
// program counted tick T - 3000; the time the program lost when it was too busy to count every
// tick delays it further.
struct TickClock {
    std::vector<std::pair<double, int64_t>> points; // (steady seconds, tick), both rising

    // The steady seconds within which the counter stood somewhere in [first, last]: from the last
    // reading below `first` to the first reading above `last`. Wide only where the readings were
    // far apart.
    Span whenCounted(int64_t first, int64_t last) const {
        if (points.empty()) return {};
        const auto above = std::upper_bound(points.begin(), points.end(), last,
                                            [](int64_t tick, const auto& p) { return tick < p.second; });
        const auto below = std::lower_bound(points.begin(), points.end(), first,
                                            [](const auto& p, int64_t tick) { return p.second < tick; });
        const double from = below == points.begin() ? points.front().first : std::prev(below)->first;
        const double to = above == points.end() ? points.back().first : above->first;
        return {from, to};
    }

    // The steady seconds within [from, to] for which the program counted no tick: the time it
    // lost when it was too busy to keep its 10 ms pace.
    double lostBetween(double from, double to) const {
        if (points.size() < 2 || to <= from) return 0.0;
        const auto tickAt = [this](double at) {
            auto it = std::lower_bound(points.begin(), points.end(), at,
                                       [](const auto& p, double v) { return p.first < v; });
            if (it == points.begin()) return static_cast<double>(it->second);
            if (it == points.end()) return static_cast<double>(points.back().second);
            const auto& [s0, k0] = *std::prev(it);
            const auto& [s1, k1] = *it;
            return static_cast<double>(k0) + static_cast<double>(k1 - k0) * (at - s0) / (s1 - s0);
        };
        return std::max(0.0, (to - from) - (tickAt(to) - tickAt(from)) / 100.0);
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

    // The road is seen by the program's clock well before this many ticks (the feed shows it
    // within some 190 s, replayed 30 s later); the simulator is quit then without it.
    static constexpr int64_t kRoadTicks = 40000;
    // Beyond these the run hangs, and ctest would end it at 720 s without a word: the window is
    // closed and the test says why. Only a hang reaches them: a loaded machine ticks slower but
    // ticks, closes slower but closes, and its simulator quits after kRunLimitSeconds anyway.
    static constexpr auto kCloseLimit = std::chrono::seconds(90);
    static constexpr auto kStallLimit = std::chrono::seconds(180);

    // Reads the program's tick every few milliseconds while the program runs, looks at the
    // simulator's AI objects every tenth tick, and quits the simulator once its trace shows the
    // road, or once the program has ticked kRoadTicks without it (roadNotShown_ says what was
    // missing). Then it watches the program close.
    void quitWhenShown(const std::stop_token& stop) {
        using namespace std::chrono;
        const auto userId = std::to_string(scenario_["user_aircraft"]["object_id"].get<int>());
        const auto stands = standPositions();
        int64_t lastLook = -10, lastTick = -1;
        auto nextTraceRead = steady_clock::now();
        auto tickedAt = nextTraceRead;
        std::string missing = "the trace was not read";
        bool simulatorSeen = false, hangTold = false;
        std::optional<steady_clock::time_point> quitAt;
        const auto quit = [&] {
            platform::simconnect::simWorld().quitSimulator();
            quitAt = steady_clock::now();
        };
        while (!stop.stop_requested()) {
            const double now = duration<double>(steady_clock::now().time_since_epoch()).count();
            const int64_t tick = tamrix::gf_tickCount();
            if (tick != lastTick) {
                lastTick = tick;
                tickedAt = steady_clock::now();
            }
            if (clock_.points.empty() || tick > clock_.points.back().second) clock_.points.emplace_back(now, tick);
            if (tick >= lastLook + 10 && lookAtTheSimulator()) lastLook = tick;
            const bool available = platform::simconnect::simWorld().simulatorAvailable();
            simulatorSeen = simulatorSeen || available;
            if (!quitAt && simulatorSeen && !available) quitAt = steady_clock::now(); // its own timeline
            if (!quitAt && steady_clock::now() >= nextTraceRead) {
                missing = roadMissing(readTrace(trace(), userId), stands);
                if (missing.empty()) {
                    quit();
                } else if (tick > kRoadTicks) {
                    roadNotShown_ = fmt::format("after {} ticks of the program the trace shows {}", tick, missing);
                    quit();
                }
                nextTraceRead = steady_clock::now() + milliseconds(500);
            }
            const auto hung = [&]() -> std::string {
                if (quitAt && steady_clock::now() - *quitAt > kCloseLimit)
                    return fmt::format("the program did not close within {} s after the simulator quit",
                                       kCloseLimit.count());
                if (!quitAt && steady_clock::now() - tickedAt > kStallLimit)
                    return fmt::format("the program did not tick for {} s", kStallLimit.count());
                return {};
            }();
            if (!hangTold && !hung.empty()) {
                hangTold = true;
                ADD_FAILURE() << hung << " (the program's tick at " << tick << ", " << missing << "); the log ends:\n"
                              << logTail();
                closeWindow();
            }
            std::this_thread::sleep_for(milliseconds(2));
        }
        if (!missing.empty() && roadNotShown_.empty())
            roadNotShown_ = fmt::format("the run ended with the trace showing {}", missing);
    }

    // The last lines of the program's log, for a run that did not go as the test wanted.
    std::string logTail() const {
        const auto lines = logLines();
        std::string text;
        for (std::size_t i = lines.size() > 30 ? lines.size() - 30 : 0; i < lines.size(); ++i)
            text += "  " + lines[i] + "\n";
        return text;
    }

    // The simulator's AI objects, stamped with the tick whose positions they show: only when the
    // SimConnect thread has handed the simulator every position the program queued, so that the
    // simulator is not behind the program (false: not now). The tick's hand-over and the frame's
    // flush never wait for the lock held here; they try again a tick or a frame later.
    bool lookAtTheSimulator() {
        std::unique_lock lock(gSimConnectLock);
        if (!gPositionSend->empty()) return false;
        const int64_t tick = tamrix::gf_tickCount();
        const auto objects = platform::simconnect::simWorld().objects();
        lock.unlock();
        for (const auto& o : objects) {
            if (o.user || o.atcId.empty() || o.atcId.back() == '*') continue;
            seen_[o.atcId].push_back(Seen{tick, o.latitude, o.longitude, o.altitudeFeet, o.groundAltitudeFeet,
                                          o.heading / kRadiansPerDegree, o.onGround});
        }
        return true;
    }

    // The aircraft's speed (metres per second of the program's clock) over the first second on
    // the ground after its first touchdown, and over a second 5 s later; the second is not below
    // the first when the looks do not show it.
    std::pair<double, double> speedsAfterTouchdown(const std::string& callsign) const {
        const auto it = seen_.find(callsign);
        if (it == seen_.end()) return {0.0, 0.0};
        const std::vector<Seen>& looks = it->second;
        // The first look at or after `tick`.
        const auto at = [&](int64_t tick) {
            return std::find_if(looks.begin(), looks.end(), [tick](const Seen& s) { return s.tick >= tick; });
        };
        const auto speed = [&](std::vector<Seen>::const_iterator a) {
            const auto b = at(a->tick + 100);
            if (b == looks.end()) return -1.0;
            return metresBetween(a->latitude, a->longitude, b->latitude, b->longitude) /
                   (static_cast<double>(b->tick - a->tick) / 100.0);
        };
        for (auto look = std::next(looks.begin()); look != looks.end(); ++look) {
            if (!look->onGround || std::prev(look)->onGround) continue;
            const auto later = at(look->tick + 500);
            if (later == looks.end()) break;
            return {speed(look), std::max(speed(later), 0.0)};
        }
        return {0.0, 0.0};
    }

    // Every live aircraft against what rtfeed sent for it; a line per fault found. `judged`
    // counts the pairs of looks a second apart that were compared.
    std::vector<std::string> motionFaults(int& judged) const;

    TickClock clock_;
    std::map<std::string, std::vector<Seen>> seen_;
    std::string roadNotShown_; // what the trace did not show when the simulator quit

    nlohmann::json scenario_;
};

std::vector<std::string> WholeRoad::motionFaults(int& judged) const {
    judged = 0;
    constexpr double kKnotsPerMps = 3600.0 / 1852.0;
    // Seconds behind the feed from which a replay is held to its late window.
    constexpr double kHeldBehind = 8.0;
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
        // When rtfeed sent what a look shows. The program replays a line 3000 ticks after the tick
        // in which it arrived (the simulator shows the positions of that tick or the one before),
        // and flies each leg at its fed speed on its own clock: a tick it had no time for delays
        // the rest of the replay. So a look lies on the fed path within 20 s of that moment,
        // later by as much time as the program lost since the aircraft's first line; where on
        // the path is the replayed moment.
        std::vector<OnPath> replayed(looks.size());
        std::vector<bool> inFeed(looks.size(), false);
        std::vector<double> due(looks.size(), 0.0); // when the lines due at the look came in
        double previous = start;
        std::optional<int64_t> previousTick;
        for (std::size_t i = 0; i < looks.size(); ++i) {
            const Seen& look = looks[i];
            const Span nominal = clock_.whenCounted(look.tick - 1 - kSampleDelayTicks, look.tick - kSampleDelayTicks);
            inFeed[i] = nominal.to >= start && nominal.from <= lines.back().sentAt;
            due[i] = nominal.from;
            if (!inFeed[i]) continue;
            const double late = 20.0 + clock_.lostBetween(start, nominal.to);
            const double from = std::max(nominal.from - late, previous - 2.0);
            const double to = std::max(nominal.to + 20.0, from);
            const double expected = previousTick ? previous + static_cast<double>(look.tick - *previousTick) / 100.0
                                                 : (nominal.from + nominal.to) / 2.0;
            OnPath best;
            for (std::size_t k = 0; k + 1 < lines.size(); ++k) {
                if (lines[k + 1].sentAt < from || lines[k].sentAt > to) continue;
                const OnPath here =
                    nearestOnLeg(look.latitude, look.longitude, lines[k], lines[k + 1], from, to, expected);
                // Of the points as near as the nearest (an aircraft standing still), the one
                // nearest the moment the replay has come to.
                const bool nearer = here.metres < best.metres - 1.0;
                const bool asNear = here.metres <= best.metres + 1.0;
                if (nearer || (asNear && std::abs(here.at - expected) < std::abs(best.at - expected))) best = here;
            }
            replayed[i] = best;
            previous = best.at;
            previousTick = look.tick;
        }

        double stoppedSince = -1.0;
        for (std::size_t i = 0; i < looks.size(); ++i) {
            const Seen& a = looks[i];
            if (!inFeed[i]) {
                stoppedSince = -1.0;
                continue;
            }
            const double fedAt = replayed[i].at;
            if (replayed[i].metres > (a.onGround ? 12.0 : 30.0))
                fault(callsign, fedAt - start, "path",
                      fmt::format("{:.0f} m off the path {}", replayed[i].metres,
                                  a.onGround ? "on the ground" : "in the air"));

            // The look a second later on the program's clock, on which it moves.
            std::size_t j = i + 1;
            while (j < looks.size() && looks[j].tick < a.tick + 100)
                ++j;
            if (j >= looks.size() || looks[j].tick > a.tick + 150 || !inFeed[j]) continue;
            const Seen& b = looks[j];
            ++judged;
            const double seconds = static_cast<double>(b.tick - a.tick) / 100.0;
            const double metres = metresBetween(a.latitude, a.longitude, b.latitude, b.longitude);
            const double knots = metres / seconds * kKnotsPerMps;
            const auto [high, low] = fedSpeeds(std::min(fedAt, replayed[j].at) - 2.0, std::max(fedAt, replayed[j].at) + 2.0);
            // A replay that has fallen its late window (10 s) behind the lines' due ticks (a
            // program that lost that much of its time) is held to that window and makes up the
            // rest at once, as fast as that asks: its speed is judged only short of it.
            const double behind = due[i] - fedAt;
            if (a.onGround && b.onGround && knots > 1.5 * high + 5.0 && behind < kHeldBehind) {
                // Ticks the program lost while the lines of this second came in shorten it on the
                // program's clock.
                const Span came = {clock_.whenCounted(a.tick - 1 - kSampleDelayTicks, a.tick - kSampleDelayTicks).from,
                                   clock_.whenCounted(b.tick - 1 - kSampleDelayTicks, b.tick - kSampleDelayTicks).to};
                fault(callsign, fedAt - start, "speed",
                      fmt::format("{:.0f} kt on the ground, fed {:.0f} kt, {:.1f} s behind the feed ({:.2f} s of ticks "
                                  "lost as its lines came in, {:.2f} s since its first line)",
                                  knots, high, behind, clock_.lostBetween(came.from, came.to),
                                  clock_.lostBetween(start, came.to)));
            }
            const double rate = (b.altitude - a.altitude) / seconds * 60.0;
            if (!a.onGround && a.altitude - a.ground < 500.0 && rate < -1200.0)
                fault(callsign, fedAt - start, "descent",
                      fmt::format("descends at {:.0f} ft/min {:.0f} ft above the ground", rate,
                                  a.altitude - a.ground));
            if (a.onGround && b.onGround && knots < 1.0 && low > 5.0) {
                if (stoppedSince < 0.0) stoppedSince = static_cast<double>(a.tick) / 100.0;
                const double stood = static_cast<double>(b.tick) / 100.0 - stoppedSince;
                if (stood >= 15.0)
                    fault(callsign, fedAt - start, "stop",
                          fmt::format("stands for {:.0f} s while the feed taxis at {:.0f} kt", stood, low));
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
    EXPECT_TRUE(roadNotShown_.empty()) << roadNotShown_ << "; the log ends:\n" << logTail();
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
            EXPECT_TRUE(rows[i + 1].onGround && rows[i + 5].onGround) << rows[i].atcId;
            // Slower 5 s after touchdown than in the first second, on the program's clock.
            const auto [first, later] = speedsAfterTouchdown(rows[i].atcId);
            EXPECT_LT(later, first) << rows[i].atcId << " does not slow after touchdown";
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
    int judged = 0;
    const auto faults = motionFaults(judged);
    std::string shown;
    for (std::size_t i = 0; i < faults.size() && i < 40; ++i)
        shown += "\n  " + faults[i];
    EXPECT_TRUE(faults.empty()) << faults.size() << " faults of motion:" << shown;
    EXPECT_GE(seen_.size(), 5u) << "too few live aircraft seen";
    EXPECT_GE(judged, 1000) << "too few looks a second apart to judge the motion by";
    if (!onStand.empty()) {
        bool logged = false;
        for (const auto& line : log)
            logged = logged || (line.find(onStand) != std::string::npos && line.ends_with("arrived at stand"));
        EXPECT_TRUE(logged) << onStand << " reached a stand without the log saying so";
    }
}

} // namespace
