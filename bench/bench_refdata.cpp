// Reference data: reading the dbase at its limits (65,536 registrations, 2,600 model codes) and
// the shipped airports file, decryption throughput, and the cost of each lookup.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "encref/enc_writer.hpp"
#include "refdata/airports.hpp"
#include "refdata/code_table.hpp"
#include "refdata/dbase.hpp"
#include "refdata/encrypted_file.hpp"
#include "refdata/livery_key.hpp"
#include "refdata/model_lookups.hpp"
#include "refdata/registration_lookups.hpp"

namespace {

namespace fs = std::filesystem;
using namespace tamrix;

constexpr int kModels = 2600;
constexpr int kRecords = 65536;
constexpr int kAirlines = 600;

std::string letters(int value, int width) {
    std::string text(static_cast<std::size_t>(width), 'A');
    for (int i = width - 1; i >= 0; --i, value /= 26)
        text[static_cast<std::size_t>(i)] = static_cast<char>('A' + value % 26);
    return text;
}

std::string modelCode(int i) {
    return fmt::format("M{:03}", i);
}
std::string airlineCode(int i) {
    return letters(i, 3);
}

// Registrations of several shapes: one- and two-letter prefixes with a hyphen, and every 64th a
// short US registration.
std::string registration(int i) {
    static const std::vector<std::string> prefixes{"D", "G", "F", "OE", "HB", "EI", "PH", "SE"};
    if (i % 64 == 0) return fmt::format("N{}", letters(i / 64, 3));
    return fmt::format("{}-{}", prefixes[static_cast<std::size_t>(i % 8)], letters(i, 4));
}

std::string limitsDbase() {
    std::string xml = "<?xml version=\"1.0\"?>\n<root>\n";
    auto list = [](int from, int to, auto code) {
        std::string text;
        for (int i = from; i < to; ++i) {
            if (i != from) text += ',';
            text += code(i);
        }
        return text;
    };
    xml += fmt::format("<aircrafts><aircraft types=\"{}\"/></aircrafts>\n", list(0, kModels, modelCode));
    xml += "<cargo_types><cargo_type types=\"M000\"/></cargo_types>\n";
    xml += fmt::format("<heavy><hvy types=\"{}\"/></heavy>\n", list(0, 400, modelCode));
    xml += fmt::format("<large><lar types=\"{}\"/></large>\n", list(400, 1200, modelCode));
    xml += fmt::format("<buzjet><bzj types=\"{}\"/></buzjet>\n", list(1200, 1600, modelCode));
    xml += fmt::format("<high_performance><hpf types=\"{}\"/></high_performance>\n",
                       list(1600, 1700, modelCode));
    xml += fmt::format("<rotorcraft><rot types=\"{}\"/></rotorcraft>\n", list(1700, 1900, modelCode));
    xml += "<similar_types>";
    for (int g = 0; g < 64; ++g)
        xml += fmt::format("<similar types=\"{}\"/>", list(g * 4, g * 4 + 4, modelCode));
    xml +=
        "</similar_types>\n<prefixes><similar types=\"D-,OE-,HB-\"/><similar types=\"G-,EI-\"/></prefixes>\n";
    xml += fmt::format("<ICAO_airlines><ICAO codes=\"{}\"/></ICAO_airlines>\n",
                       list(0, kAirlines - 50, airlineCode));
    xml += fmt::format("<cargo_operators><ICAO codes=\"{}\"/></cargo_operators>\n",
                       list(kAirlines - 50, kAirlines, airlineCode));
    xml += "<publishers>";
    for (int p = 0; p < 640; ++p)
        xml += fmt::format("<pub names=\"Publisher{0},publisher{0}-\"/>", p);
    xml += "</publishers>\n<wingspans>";
    for (int m = 0; m < kModels; ++m)
        xml += fmt::format("<wingspan type=\"{}\" meters=\"{}\"/>", modelCode(m), 10 + m % 70);
    xml += "</wingspans>\n<fixes><fx wro=\"WRNG\" cor=\"M001\"/></fixes>\n";
    xml += "<simaddons20><simaddon20 arpts=\"EGLL,KJFK\"/></simaddons20>\n<simaddons24><simaddon24 "
           "arpts=\"EDDF\"/></simaddons24>\n";
    xml += "<thirdparties20>";
    for (int p = 0; p < 600; ++p)
        xml += fmt::format("<thirdpartie20 pub=\"Publisher{}\" arpts=\"{},{}\"/>", p, letters(p, 4),
                           letters(p + 1, 4));
    xml += "</thirdparties20>\n<dbase>\n";
    for (int i = 0; i < kRecords; ++i) {
        xml += fmt::format("<d r=\"{}\" a=\"{}\" m=\"{}\"{}/>\n", registration(i), airlineCode(i % kAirlines),
                           modelCode(i % kModels), i % 10 == 0 ? " c=\"true\"" : "");
    }
    return xml + "</dbase>\n</root>\n";
}

// A working folder of its own with "input/dbase.enc" at its limits and the shipped airports.
struct Workplace {
    Workplace() {
        folder = fs::temp_directory_path() / fmt::format("quorvel-bench-refdata-{}", ::getpid());
        fs::create_directories(folder / "input");
        fs::current_path(folder);
        { std::ofstream("dbase-source.xml") << limitsDbase(); }
        encref::encryptFile("dbase-source.xml", "input/dbase.enc");
        fs::remove("dbase-source.xml");
        fs::copy_file(fs::path(QUORVEL_ENC_DIR) / "airports.enc", "input/airports.enc",
                      fs::copy_options::overwrite_existing);
        dbaseRead = gf_readDbase();
        airportsRead = gf_readAirports();
        gRtAirportCodes = {FixedCode<4>("EDDF"), FixedCode<4>("EDDM"), FixedCode<4>("LOWW")};
    }
    ~Workplace() {
        std::error_code ec;
        fs::current_path(fs::temp_directory_path(), ec);
        fs::remove_all(folder, ec);
    }
    fs::path folder;
    bool dbaseRead = false;
    bool airportsRead = false;
};

Workplace& workplace() {
    static Workplace place;
    return place;
}

bool ready(benchmark::State& state) {
    if (workplace().dbaseRead && workplace().airportsRead) return true;
    state.SkipWithError("reference data could not be read");
    return false;
}

void BM_ReadDbaseAtLimits(benchmark::State& state) {
    if (!ready(state)) return;
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_readDbase());
    state.counters["records"] = static_cast<double>(gDbaseRecords.size());
    state.counters["models"] = static_cast<double>(gAircraftCodes.size());
}
BENCHMARK(BM_ReadDbaseAtLimits)->Unit(benchmark::kMillisecond);

void BM_ReadShippedAirports(benchmark::State& state) {
    if (!ready(state)) return;
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_loadAirports());
    state.counters["airports"] = static_cast<double>(gAirports.size());
}
BENCHMARK(BM_ReadShippedAirports)->Unit(benchmark::kMillisecond);

void BM_StreamDecrypt(benchmark::State& state) {
    if (!ready(state)) return;
    const auto bytes = static_cast<int64_t>(fs::file_size("input/dbase.enc"));
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_streamDecrypt("input/dbase.enc", "bench-plain.xml"));
    fs::remove("bench-plain.xml");
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_StreamDecrypt)->Unit(benchmark::kMillisecond);

// A line of /proc/self/status in kB ("VmRSS", "VmHWM"), or -1.
long statusKiB(std::string_view key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(key) && line.size() > key.size() && line[key.size()] == ':')
            return std::stol(line.substr(key.size() + 1));
    return -1;
}

// The memory a decryption takes does not grow with the file: a 64 MiB file is streamed, and the
// peak resident memory above the start ("peakGrowthKiB") stays far below the file's size.
void BM_StreamDecryptLargeFile(benchmark::State& state) {
    if (!ready(state)) return;
    const std::size_t plainBytes = std::size_t{64} << 20;
    {
        std::ofstream source("large-source.xml", std::ios::binary);
        const std::string line(1023, 'x');
        for (std::size_t written = 0; written < plainBytes; written += 1024) source << line << '\n';
    }
    encref::encryptFile("large-source.xml", "large.enc");
    fs::remove("large-source.xml");
    long growth = 0;
    for (auto _ : state) {
        // Writing 5 to clear_refs sets the peak back to the present resident memory.
        { std::ofstream("/proc/self/clear_refs") << "5"; }
        const long start = statusKiB("VmRSS");
        benchmark::DoNotOptimize(gf_streamDecrypt("large.enc", "large-plain.xml"));
        growth = std::max(growth, statusKiB("VmHWM") - start);
        fs::remove("large-plain.xml");
    }
    fs::remove("large.enc");
    state.counters["peakGrowthKiB"] = static_cast<double>(growth);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(plainBytes));
}
BENCHMARK(BM_StreamDecryptLargeFile)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LookupRegistration(benchmark::State& state) {
    if (!ready(state)) return;
    // As given (one search), without hyphen (DA-... misses, D-... hits), and a miss (three).
    std::string withoutHyphen = registration(8008); // "D-...."
    withoutHyphen.erase(1, 1);
    const std::vector<std::string> texts{registration(8001), withoutHyphen, "XYZABC"};
    const std::string& text = texts[static_cast<std::size_t>(state.range(0))];
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_lookupRegistration(text));
    state.SetLabel(text);
}
BENCHMARK(BM_LookupRegistration)->Arg(0)->Arg(1)->Arg(2);

void BM_RegistrationVariants(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_registrationVariants("DABCD"));
}
BENCHMARK(BM_RegistrationVariants);

void BM_FindShortRegIn(benchmark::State& state) {
    if (!ready(state)) return;
    const std::string title = "Airbus A320-214 Lufthansa D-AIZZ texture.DLH-2023 (no short registration)";
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_findShortRegIn(title));
}
BENCHMARK(BM_FindShortRegIn);

void BM_PrefixAlternatives(benchmark::State& state) {
    if (!ready(state)) return;
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_prefixAlternatives("OE-"));
}
BENCHMARK(BM_PrefixAlternatives);

void BM_ModelCategory(benchmark::State& state) {
    if (!ready(state)) return;
    const uint16_t index = gf_modelIndex("M1650");
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_modelCategory(index));
}
BENCHMARK(BM_ModelCategory);

void BM_ModelCodeCategory(benchmark::State& state) {
    if (!ready(state)) return;
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_modelCodeCategory("M1650"));
}
BENCHMARK(BM_ModelCodeCategory);

void BM_HalfSpan(benchmark::State& state) {
    if (!ready(state)) return;
    const uint16_t index = gf_modelIndex("M0777");
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_halfSpan(index));
}
BENCHMARK(BM_HalfSpan);

void BM_IsKnownModelCode(benchmark::State& state) {
    if (!ready(state)) return;
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_isKnownModelCode("M2001"));
}
BENCHMARK(BM_IsKnownModelCode);

// Interning a known code (the common case) from 1 and 16 threads, and a fixed wrong code.
void BM_ModelIndexKnown(benchmark::State& state) {
    if (!ready(state)) return;
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_modelIndex("M1234"));
}
BENCHMARK(BM_ModelIndexKnown)->Threads(1)->Threads(16)->UseRealTime();

void BM_ModelIndexFixed(benchmark::State& state) {
    if (!ready(state)) return;
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_modelIndex("WRNG"));
}
BENCHMARK(BM_ModelIndexFixed);

void BM_AirlineIndexKnown(benchmark::State& state) {
    if (!ready(state)) return;
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_airlineIndex("ABC"));
}
BENCHMARK(BM_AirlineIndexKnown);

void BM_CodeText(benchmark::State& state) {
    if (!ready(state)) return;
    for (auto _ : state)
        benchmark::DoNotOptimize(gModelCodes.text(1234).size());
}
BENCHMARK(BM_CodeText);

void BM_IsKnownAirlineCode(benchmark::State& state) {
    if (!ready(state)) return;
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_isKnownAirlineCode("ABC"));
}
BENCHMARK(BM_IsKnownAirlineCode);

void BM_LiveryKey2Text(benchmark::State& state) {
    if (!ready(state)) return;
    const LiveryKey key{gf_airlineIndex("ABC"), gf_airlineIndex("ABD"), gf_modelIndex("M0100"), 1, 1};
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_liveryKey2Text(key));
}
BENCHMARK(BM_LiveryKey2Text);

void BM_PublisherOf(benchmark::State& state) {
    if (!ready(state)) return;
    // Found late among 640 publishers, and not found.
    const std::vector<std::string> paths{"C:\\MSFS\\Community\\publisher600-airport-eddf",
                                         "C:\\MSFS\\Community\\freeware-airport-eddf"};
    const std::string& path = paths[static_cast<std::size_t>(state.range(0))];
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_publisherOf(path));
}
BENCHMARK(BM_PublisherOf)->Arg(0)->Arg(1);

void BM_IsThirdpartyAirport(benchmark::State& state) {
    if (!ready(state)) return;
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_isThirdpartyAirport(true, "Publisher599", letters(600, 4)));
}
BENCHMARK(BM_IsThirdpartyAirport);

void BM_IsKnownAirport(benchmark::State& state) {
    if (!ready(state)) return;
    const FixedCode<4> code("EDDF");
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_isKnownAirport(code));
}
BENCHMARK(BM_IsKnownAirport);

void BM_FindAirport(benchmark::State& state) {
    if (!ready(state)) return;
    const FixedCode<4> code("LOWW");
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_findAirport(code));
}
BENCHMARK(BM_FindAirport);

void BM_FindAirportCodeIn(benchmark::State& state) {
    if (!ready(state)) return;
    const std::string text = "C:\\MSFS\\Community\\aerosoft-airport-eddm-munich\\scenery\\global";
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_findAirportCodeIn(text));
}
BENCHMARK(BM_FindAirportCodeIn);

// Near Frankfurt (one airport in range) and over the Atlantic (none).
void BM_ClosestAirport(benchmark::State& state) {
    if (!ready(state)) return;
    const GeoPosition where = state.range(0) == 0 ? GeoPosition{50.04, 8.57} : GeoPosition{45.0, -30.0};
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_closestAirport(where));
    state.counters["airports"] = static_cast<double>(gAirports.size());
}
BENCHMARK(BM_ClosestAirport)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
