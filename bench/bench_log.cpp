// Log throughput: plain lines from 8 threads at once, and highlighted (flushed) lines.
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "core/log.hpp"

namespace {

struct LogFolder {
    LogFolder() {
        path = std::filesystem::temp_directory_path() / "quorvel-bench-log";
        std::filesystem::create_directories(path);
        std::filesystem::current_path(path);
        tamrix::gf_openLog();
    }
    std::filesystem::path path;
};

void ensureLog() { static LogFolder folder; }

const std::string kLine = "AFR1234  active   GND taxi 52.30812 4.76412 hdg 231 spd 12 kts  due 12345";

void BM_LogPlainLines(benchmark::State& state) {
    ensureLog();
    for (auto _ : state) tamrix::gf_log(kLine);
    state.SetItemsProcessed(state.iterations());
    state.SetLabel("lines");
}
BENCHMARK(BM_LogPlainLines)->Threads(1)->Threads(8)->UseRealTime();

void BM_LogHighlightedLines(benchmark::State& state) {
    ensureLog();
    for (auto _ : state) tamrix::gf_logHighlighted(kLine);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogHighlightedLines)->Threads(1)->Threads(8)->UseRealTime();

} // namespace
