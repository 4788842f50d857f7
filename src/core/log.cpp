#include "core/log.hpp"

#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "core/run_state.hpp"
#include "core/time_texts.hpp"
#include "core/version_data.hpp"

namespace tamrix {
namespace {

constexpr const char* kLogFileName = "Log.txt";
constexpr std::string_view kHighlight = "==> ";
constexpr std::string_view kContinued = "          ";

struct LogState {
    std::mutex lock;
    std::FILE* file = nullptr;
};

// Built on first use and never destroyed, so that threads and static objects may log at any
// time of the process's life, including during exit.
LogState& state() {
    static auto* s = new LogState;
    return *s;
}

void writeLine(std::string_view prefix, std::string_view text, bool flush) {
    auto& s = state();
    std::lock_guard guard(s.lock);
    if (s.file == nullptr) return;
    // Write and flush errors are ignored: the program never stops because of its log.
    if (!prefix.empty()) std::fwrite(prefix.data(), 1, prefix.size(), s.file);
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), s.file);
    std::fputc('\n', s.file);
    if (flush) std::fflush(s.file);
}

// One generation step; a failure is described in `failure` instead of being logged, so that
// the caller decides where the line goes.
bool copyGeneration(const std::filesystem::path& from, const std::filesystem::path& to, bool& skipped,
                    std::string& failure) {
    std::error_code ec;
    const auto st = std::filesystem::status(from, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) {
        failure = fmt::format("exists({}): {}", from.string(), ec.message());
        return false;
    }
    if (!std::filesystem::exists(st)) {
        skipped = true;
        return true;
    }
    skipped = false;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        failure = fmt::format("copy {} -> {} failed: {}", from.string(), to.string(), ec.message());
        return false;
    }
    return true;
}

bool saveGenerations(const std::filesystem::path& path, int count, std::string_view caller,
                     std::vector<std::string>& failures) {
    if (gf_generationName(path, 1).empty()) {
        failures.push_back(fmt::format("{}: no dot in filename: {}", caller, path.string()));
        return false;
    }
    bool ok = true;
    for (int n = count; n >= 1; --n) {
        const auto from = n == 1 ? path : gf_generationName(path, n - 1);
        std::string failure;
        bool skipped = false;
        if (!copyGeneration(from, gf_generationName(path, n), skipped, failure)) {
            failures.push_back(std::move(failure));
            ok = false;
        }
    }
    return ok;
}

bool saveGenerationsLogged(const std::filesystem::path& path, int count, std::string_view caller) {
    std::vector<std::string> failures;
    const bool ok = saveGenerations(path, count, caller, failures);
    for (const auto& f : failures) gf_logHighlighted(f);
    return ok;
}

} // namespace

std::filesystem::path gf_generationName(const std::filesystem::path& path, int n) {
    const std::string text = path.string();
    const auto dot = text.rfind('.');
    if (dot == std::string::npos) return {};
    return std::filesystem::path(text.substr(0, dot) + std::string(static_cast<std::size_t>(n), '0') +
                                 text.substr(dot));
}

bool gf_save1GenerationOf(const std::filesystem::path& path) {
    return saveGenerationsLogged(path, 1, "gf_save1GenerationOf");
}

bool gf_saveUpto3GenerationsOf(const std::filesystem::path& path) {
    return saveGenerationsLogged(path, 3, "gf_saveUpto3GenerationsOf");
}

void gf_openLog() {
    // The copies are made before the log is open; their failures are written after the header.
    std::vector<std::string> failures;
    saveGenerations(kLogFileName, 3, "gf_saveUpto3GenerationsOf", failures);
    {
        auto& s = state();
        std::lock_guard guard(s.lock);
        if (s.file != nullptr) std::fclose(s.file);
        s.file = std::fopen(kLogFileName, "wb");
        if (s.file == nullptr) throw std::runtime_error(std::string("Failed to write file ") + kLogFileName);
        std::setvbuf(s.file, nullptr, _IOFBF, 1 << 16);
    }
    gf_log(fmt::format("{} (utc) {} version {} for {}", gf_timeText(static_cast<int64_t>(std::time(nullptr))),
                       kProgramName, gProgramVersion.text(), "MSFS 2020/2024"));
    for (const auto& f : failures) gf_logHighlighted(f);
}

void gf_closeLog() {
    auto& s = state();
    std::lock_guard guard(s.lock);
    if (s.file == nullptr) return;
    std::fclose(s.file);  // a failing close is ignored
    s.file = nullptr;
}

void gf_flushLog() {
    auto& s = state();
    std::lock_guard guard(s.lock);
    if (s.file != nullptr) std::fflush(s.file);
}

bool gf_logIsOpen() {
    auto& s = state();
    std::lock_guard guard(s.lock);
    return s.file != nullptr;
}

void gf_log(std::string_view text) { writeLine({}, text, false); }
void gf_logHighlighted(std::string_view text) { writeLine(kHighlight, text, true); }
void gf_logAndFlush(std::string_view text) { writeLine({}, text, true); }
void gf_logContinued(std::string_view text) { writeLine(kContinued, text, false); }

void gf_logUnlessQuiet(std::string_view text) {
    if (gStopFlag.load() || gClosingFlag.load()) return;
    writeLine({}, text, false);
}

} // namespace tamrix
