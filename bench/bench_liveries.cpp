// Livery catalogue at the size the program is built for (40,000 liveries, about 36,000
// registrations from the regcode sources): loading it at start-up, finding a title, and matching
// one live or static aircraft of a mixed traffic.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "core/log.hpp"
#include "datagen/catalogue_generator.hpp"
#include "liveries/livery_index.hpp"
#include "liveries/livery_matching.hpp"
#include "refdata/code_table.hpp"
#include "refdata/dbase.hpp"
#include "refdata/model_lookups.hpp"

namespace {

namespace fs = std::filesystem;
using namespace tamrix;

// The generated catalogue, in a folder of its own that the process works in.
class Catalogue {
public:
    Catalogue() : m_folder(fs::temp_directory_path() / ("quorvel-bench-liveries-" + std::to_string(::getpid()))) {
        fs::remove_all(m_folder);
        m_generated = datagen::writeCatalogue(m_folder);
        fs::current_path(m_folder);
        ::setenv("QUORVEL_ROAMING_APPDATA", (m_folder / "roaming").c_str(), 1);
        fs::create_directories(m_folder / "roaming" / "Quorvel");
        gf_openLog();
        gf_readDbase();
        load();
        for (const auto& aircraft : m_generated.aircraft) m_records.push_back(record(aircraft));
        for (const auto& [op, models] : gLiveryIndex)
            for (const auto& [model, entries] : models)
                for (const auto& entry : entries) m_titles.push_back(entry.title);
    }
    ~Catalogue() {
        gf_closeLog();
        fs::current_path(fs::temp_directory_path());
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    static void load() {
        gf_clearLiveryIndex();
        gLiveriesProcessed = false;
        gf_processScannedLiveries();
    }

    const std::vector<TrafficRecord>& records() const { return m_records; }
    const std::vector<std::string>& titles() const { return m_titles; }

private:
    static TrafficRecord record(const datagen::SampleAircraft& aircraft) {
        TrafficRecord r;
        r.head.liveryKey.operatorIndex = gf_airlineIndex(aircraft.operatorCode);
        r.head.liveryKey.secondOperatorIndex =
            aircraft.secondOperatorCode.empty() ? 0 : gf_airlineIndex(aircraft.secondOperatorCode);
        r.head.liveryKey.modelIndex = gf_modelIndex(aircraft.modelCode);
        r.head.liveryKey.cargo = aircraft.cargo ? 1 : 0;
        r.head.registration = aircraft.registration;
        r.head.callsign = "TST123";
        r.category = gf_modelCategory(r.head.liveryKey.modelIndex);
        return r;
    }

    fs::path m_folder;
    datagen::GeneratedCatalogue m_generated;
    std::vector<TrafficRecord> m_records;
    std::vector<std::string> m_titles;
};

Catalogue& catalogue() {
    static Catalogue instance;
    return instance;
}

// Everything the start-up does with the catalogue: read "LiveriesScanned.xml", build the index,
// read and merge the regcode sources, build the model and similar-model tables.
void BM_LoadCatalogue(benchmark::State& state) {
    catalogue();
    for (auto _ : state) Catalogue::load();
    state.counters["liveries"] = static_cast<double>(gScannedLiveryCount.load());
}
BENCHMARK(BM_LoadCatalogue)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FindTitle(benchmark::State& state) {
    const auto& titles = catalogue().titles();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lf_findTitle(titles[i]));
        i = (i + 7919) % titles.size();
    }
}
BENCHMARK(BM_FindTitle);

// One live aircraft of the mix (known, unknown and no registrations; airlines, private, partner
// and unknown operators; every category), as live traffic matches it when it spawns.
void BM_MatchLivery(benchmark::State& state) {
    const auto& records = catalogue().records();
    std::size_t i = 0;
    std::size_t matched = 0;
    for (auto _ : state) {
        TrafficRecord record = records[i];
        matchLivery(record);
        matched += record.liveryTitle.empty() ? 0 : 1;
        i = (i + 1) % records.size();
    }
    state.counters["matched%"] = 100.0 * static_cast<double>(matched) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_MatchLivery)->Unit(benchmark::kMicrosecond);

// One static aircraft on a cargo stand.
void BM_MatchLiveryLogged(benchmark::State& state) {
    const auto& records = catalogue().records();
    StandRecord stand;
    stand.id = "C12";
    stand.cargo = 1;
    std::size_t i = 0;
    for (auto _ : state) {
        TrafficRecord record = records[i];
        benchmark::DoNotOptimize(matchLiveryLogged(record, stand));
        i = (i + 1) % records.size();
    }
}
BENCHMARK(BM_MatchLiveryLogged)->Unit(benchmark::kMicrosecond);

} // namespace
