// Traffic lines parsed per second on one core: every datagram of the traffic source passes the
// parser on the "Traffic Reader" thread, and the live-traffic tick takes 200 lines a second.
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "links/park_airport.hpp"
#include "links/traffic_intake.hpp"
#include "links/traffic_reader.hpp"
#include "rtfeed/feed_traffic.hpp"

namespace {

constexpr rtfeed::Position kUser{50.0, 8.5};

void prepare() {
    tamrix::gf_trafficReader().setUserPosition({kUser.latitude, kUser.longitude});
    tamrix::gf_setParkAirport({tamrix::FixedCode<4>("EDDF"), {kUser.latitude, kUser.longitude}, 364.0f});
    tamrix::gf_openTrafficGate();
    tamrix::gf_clearTrafficIntake();
}

// Synthetic flights of every phase around the user, as the feed sends them.
std::vector<std::string> feedLines(std::size_t count) {
    rtfeed::SyntheticTraffic traffic(7, 64);
    std::vector<std::string> lines;
    double t = 1700000000.0;
    while (lines.size() < count) {
        traffic.advance(kUser, 2.0);
        for (const auto& flight : traffic.flights()) lines.push_back(rtfeed::formatTrafficLine(flight, t += 0.03));
    }
    lines.resize(count);
    return lines;
}

void run(benchmark::State& state, const std::vector<std::string>& lines) {
    prepare();
    auto& reader = tamrix::gf_trafficReader();
    std::vector<tamrix::TrafficLine> drained;
    std::size_t i = 0;
    for (auto _ : state) {
        reader.interpret(lines[i++ % lines.size()]);
        if (tamrix::gf_trafficIntakeSize() >= 1024) tamrix::gf_clearTrafficIntake();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["queued"] = static_cast<double>(tamrix::gf_trafficIntakeSize());
}

// Lines that pass every test and are queued.
void BM_ParseFeedLines(benchmark::State& state) {
    static const auto lines = feedLines(4096);
    run(state, lines);
}

// The real mix: half the lines lie beyond the radius and are dropped early, some are broken.
void BM_ParseMixedLines(benchmark::State& state) {
    static const auto lines = [] {
        auto mixed = feedLines(4096);
        for (std::size_t i = 0; i < mixed.size(); ++i) {
            auto fields = rtfeed::splitFields(mixed[i]);
            if (i % 2 == 1) fields[2] = "53.5";           // about 200 nm north
            if (i % 16 == 2) fields[8] = "nan";           // a broken speed
            if (i % 16 == 4) fields[10] = "GRND";         // no aircraft
            mixed[i] = rtfeed::joinFields(fields);
        }
        return mixed;
    }();
    run(state, lines);
}

BENCHMARK(BM_ParseFeedLines);
BENCHMARK(BM_ParseMixedLines);

} // namespace
