#include "core/log.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "core/files.hpp"
#include "core/run_state.hpp"
#include "core/time_texts.hpp"
#include "core/version_data.hpp"
#include "platform/text_codec.hpp"

namespace tamrix {
namespace {

constexpr const char* kLogFileName = "Log.txt";
constexpr std::string_view kHighlight = "==> ";
constexpr std::string_view kContinued = "          ";

// Lines that are not flushed at once reach the disk within this time, so a killed process
// loses at most the last moment of its log.
constexpr auto kFlushInterval = std::chrono::seconds(1);

// Longer lines (a line of a user's file passed on whole, say) are cut: the log stays readable
// and a huge line cannot flood it. The cut line says how long it was.
constexpr std::size_t kMaxLineBytes = 4096;

struct LogState {
    std::mutex lock;
    std::FILE* file = nullptr;
    bool unflushed = false; // lines written since the last flush
};

// Built on first use and never destroyed, so that threads and static objects may log at any
// time of the process's life, including during exit.
LogState& state() {
    static auto* s = new LogState;
    return *s;
}

// Pushes buffered lines to the file once a second, for the life of the process.
void flushLoop() {
    auto& s = state();
    for (;;) {
        std::this_thread::sleep_for(kFlushInterval);
        std::lock_guard guard(s.lock);
        if (s.file != nullptr && s.unflushed) std::fflush(s.file);
        s.unflushed = false;
    }
}

void startFlusher() {
    static std::once_flag started;
    std::call_once(started, [] { std::thread(flushLoop).detach(); });
}

// The length of the UTF-8 sequence starting at `i`, or 0 when none starts there.
std::size_t utf8SequenceLength(std::string_view text, std::size_t i) {
    const platform::text::Utf8Step step = platform::text::utf8Step(text.substr(i));
    return step.valid ? step.length : 0;
}

// A character no log line shows as it is: C0 and C1 controls and DEL; the line break only
// where the caller's line has none of its own to keep.
bool isControl(std::string_view sequence, bool keepLineBreaks) {
    const auto c = static_cast<unsigned char>(sequence[0]);
    if (sequence.size() == 1) return (c < 0x20u && !(keepLineBreaks && c == '\n')) || c == 0x7Fu;
    return c == 0xC2u && static_cast<unsigned char>(sequence[1]) < 0xA0u;
}

// Every byte printable ASCII (or a kept line break): the common line needs no copy.
bool isPlainText(std::string_view text) {
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 0x20u && c != '\n') || c >= 0x7Fu) return false;
    }
    return true;
}

std::string safeText(std::string_view text, std::size_t limit, bool keepLineBreaks) {
    std::string out;
    out.reserve(std::min(text.size(), limit) + 4);
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t length = utf8SequenceLength(text, i);
        const std::size_t taken = length == 0 ? 1 : length;
        if (out.size() + taken > limit) break;
        if (length == 0 || isControl(text.substr(i, length), keepLineBreaks))
            out += '?';
        else
            out.append(text.substr(i, length));
        i += taken;
    }
    if (i < text.size()) out += " ...";
    return out;
}

// The text with every line longer than kMaxLineBytes cut there (never inside a UTF-8 sequence)
// and followed by " ... ({n} bytes)" with the line's whole length.
std::string cutLongLines(std::string_view text) {
    std::string out;
    for (std::size_t start = 0;;) {
        const std::size_t found = text.find('\n', start);
        const std::size_t end = found == std::string_view::npos ? text.size() : found;
        const std::string_view line = text.substr(start, end - start);
        if (line.size() <= kMaxLineBytes) {
            out.append(line);
        } else {
            std::size_t cut = kMaxLineBytes;
            while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0u) == 0x80u)
                --cut;
            out.append(line.substr(0, cut));
            out += fmt::format(" ... ({} bytes)", line.size());
        }
        if (found == std::string_view::npos) return out;
        out += '\n';
        start = found + 1;
    }
}

void writeLine(std::string_view prefix, std::string_view text, bool flush) {
    std::string shortened;
    if (text.size() > kMaxLineBytes) {
        shortened = cutLongLines(text);
        text = shortened;
    }
    // Callers pass on outside bytes (datagrams, file lines): the file holds UTF-8 text only.
    std::string cleaned;
    if (!isPlainText(text)) {
        cleaned = safeText(text, std::string::npos, true);
        text = cleaned;
    }
    auto& s = state();
    std::lock_guard guard(s.lock);
    if (s.file == nullptr) return;
    // Write and flush errors are ignored: the program never stops because of its log.
    if (!prefix.empty()) std::fwrite(prefix.data(), 1, prefix.size(), s.file);
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), s.file);
    std::fputc('\n', s.file);
    if (flush) std::fflush(s.file);
    s.unflushed = !flush;
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
    // Replaced whole as every file the program writes; a link at either name is followed.
    const FileReplaceResult copied = gf_copyFile(from, to);
    if (!copied.written()) {
        failure = fmt::format("copy {} -> {} failed: {}", from.string(), copied.nameOf(to), copied.failure);
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

std::string gf_logSafeText(std::string_view text, std::size_t limit) {
    return safeText(text, limit, false);
}

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
        // A pipe in its place would hold the start until somebody read it.
        s.file = gf_notWritableInPlace(kLogFileName).empty() ? std::fopen(kLogFileName, "wb") : nullptr;
        if (s.file == nullptr) throw std::runtime_error(std::string("Failed to write file ") + kLogFileName);
        std::setvbuf(s.file, nullptr, _IOFBF, 1 << 16);
    }
    startFlusher();
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
