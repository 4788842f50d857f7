// Text files: charset detection and whole-file line reading per charset (MB/s of file bytes),
// and the strict conversions. The sample files (about 4 MB each) are made once per run.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "core/text_encoding.hpp"
#include "core/text_files.hpp"

namespace {

using tamrix::Charset;

constexpr int kLineCount = 80000;

// aircraft.cfg-like lines, one in eight with a non-ASCII title.
std::string sampleUtf8() {
    std::string text;
    for (int i = 0; i < kLineCount; ++i) {
        text += "title=Airbus A320-214 Lufthansa D-AIZ" + std::to_string(i % 1000);
        text += i % 8 == 0 ? " Caf\xC3\xA9 M\xC3\xBCnchen\r\n" : " Frankfurt am Main\r\n";
    }
    return text;
}

struct Samples {
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("quorvel-bench-text-" + std::to_string(::getpid()));
    std::filesystem::path utf8 = folder / "utf8.txt";
    std::filesystem::path ansi = folder / "ansi.txt";
    std::filesystem::path utf16le = folder / "utf16le.txt";
    std::filesystem::path utf16be = folder / "utf16be.txt";
    std::string text = sampleUtf8();
    std::u16string wide = tamrix::utf8_to_wide(text);

    Samples() {
        std::filesystem::create_directories(folder);
        write(utf8, text);
        std::string ansiText;
        for (char16_t u : wide) ansiText.push_back(static_cast<char>(u)); // Latin-1 subset of 1252
        write(ansi, ansiText);
        std::string le = "\xFF\xFE";
        std::string be = "\xFE\xFF";
        for (char16_t u : wide) {
            le += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
            be += {static_cast<char>(u >> 8), static_cast<char>(u & 0xFF)};
        }
        write(utf16le, le);
        write(utf16be, be);
    }
    ~Samples() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    static void write(const std::filesystem::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
};

const Samples& samples() {
    static const Samples s;
    return s;
}

void BM_DetectCharset(benchmark::State& state) {
    const auto& path = state.range(0) == 0 ? samples().utf8 : samples().ansi;
    for (auto _ : state) benchmark::DoNotOptimize(tamrix::gf_detectCharset(path));
    state.SetBytesProcessed(state.iterations() * 4096); // the bytes the check examines
    state.SetLabel(state.range(0) == 0 ? "UTF-8 (whole 4096-byte window)" : "ANSI (first bad byte)");
}
BENCHMARK(BM_DetectCharset)->Arg(0)->Arg(1);

void readFile(benchmark::State& state, Charset charset, const std::filesystem::path& path) {
    std::vector<std::string> lines;
    for (auto _ : state) {
        if (!tamrix::gf_readTextFile(charset, path, lines)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(path)));
}

void BM_ReadUtf8(benchmark::State& state) { readFile(state, Charset::UTF8_without_BOM, samples().utf8); }
void BM_ReadAnsi(benchmark::State& state) { readFile(state, Charset::ANSI, samples().ansi); }
void BM_ReadUtf16LE(benchmark::State& state) { readFile(state, Charset::Unicode, samples().utf16le); }
void BM_ReadUtf16BE(benchmark::State& state) { readFile(state, Charset::Unicode_big_endian, samples().utf16be); }
BENCHMARK(BM_ReadUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAnsi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadUtf16LE)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadUtf16BE)->Unit(benchmark::kMillisecond);

void BM_Utf8ToWide(benchmark::State& state) {
    const auto& text = samples().text;
    for (auto _ : state) benchmark::DoNotOptimize(tamrix::utf8_to_wide(text));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_Utf8ToWide)->Unit(benchmark::kMillisecond);

void BM_WideToUtf8(benchmark::State& state) {
    const auto& wide = samples().wide;
    for (auto _ : state) benchmark::DoNotOptimize(tamrix::wide_to_utf8(wide));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(wide.size() * 2));
}
BENCHMARK(BM_WideToUtf8)->Unit(benchmark::kMillisecond);

} // namespace
