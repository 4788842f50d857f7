#include "airports/downloader.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>

#include <curl/curl.h>
#include <fmt/format.h>
#include <unistd.h>

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/run_state.hpp"
#include "core/version_data.hpp"

namespace tamrix {

namespace {

std::atomic<int32_t> gStallSeconds{kDefaultStallSeconds};

using namespace std::chrono_literals;
constexpr std::size_t kKindCount = 5;
// Far above any file the server has, far below what would hurt the user's disk or memory.
constexpr std::array<DownloadLimits, kKindCount> kProgramLimits{{
    {64ull << 10, 30s},                               // versions.json
    {64ull << 20, std::chrono::milliseconds(10min)},  // dbase.enc, airports.enc, ...
    {16ull << 20, std::chrono::milliseconds(2min)},   // one archived airport file
    {512ull << 20, std::chrono::milliseconds(60min)}, // latest_version.zip
    {64ull << 20, std::chrono::milliseconds(5min)},   // the release notes
}};
std::mutex gLimitsLock;
std::array<DownloadLimits, kKindCount> gLimits = kProgramLimits;

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct WriteTarget {
    int fd = -1;
    bool failed = false;
    bool tooLarge = false;
    uint64_t written = 0;
    uint64_t maxBytes = 0;
};

size_t lf_curlWriteToFile(char* data, size_t size, size_t count, void* user) {
    auto* target = static_cast<WriteTarget*>(user);
    // Anything short of the whole block ends the transfer.
    if (count > (target->maxBytes - target->written) / std::max<size_t>(size, 1)) {
        target->tooLarge = true;
        return 0;
    }
    if (!gf_writeToFile(target->fd, std::string_view(data, size * count)).empty()) {
        target->failed = true;
        return 0;
    }
    target->written += static_cast<uint64_t>(size) * count;
    return count;
}

// Ends a transfer as soon as the run is told to stop or close, so that a slow download never
// holds up the closing of the program.
int lf_abortWhenStopping(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return gStopFlag.load() || gClosingFlag.load() ? 1 : 0;
}

} // namespace

std::string gf_urlEscaped(std::string_view address) {
    static constexpr std::string_view kMayStand = "-._~:/?#[]@!$&'()*+,;=";
    const auto isHex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    };
    std::string out;
    out.reserve(address.size());
    for (std::size_t i = 0; i < address.size(); ++i) {
        const char c = address[i];
        const bool alphanumeric = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        const bool escape = c == '%' && i + 2 < address.size() && isHex(address[i + 1]) && isHex(address[i + 2]);
        if (alphanumeric || escape || kMayStand.find(c) != std::string_view::npos)
            out.push_back(c);
        else
            out += fmt::format("%{:02X}", static_cast<unsigned char>(c));
    }
    return out;
}

std::string gf_downloadServerBase() {
    const char* base = std::getenv("QUORVEL_DOWNLOAD_BASE");
    if (base == nullptr || *base == '\0') return std::string(kDownloadServerBase);
    std::string text = gf_urlEscaped(base);
    if (text.back() != '/') text.push_back('/');
    return text;
}

std::optional<std::string> gf_downloadAddressProblem(const std::string& address) {
    CURLU* url = curl_url();
    if (url == nullptr) return std::string("no memory to read it");
    const CURLUcode result = curl_url_set(url, CURLUPART_URL, address.c_str(), 0);
    curl_url_cleanup(url);
    if (result == CURLUE_OK) return std::nullopt;
    return std::string(curl_url_strerror(result));
}

CurlHandle::CurlHandle() {
    initialiseCurlOnce();
    m_handle = curl_easy_init();
}

CurlHandle::~CurlHandle() {
    if (m_handle != nullptr) curl_easy_cleanup(m_handle);
}

void gf_setDownloadStallSeconds(int32_t seconds) { gStallSeconds.store(seconds > 0 ? seconds : kDefaultStallSeconds); }

DownloadLimits gf_downloadLimits(DownloadKind kind) {
    std::lock_guard guard(gLimitsLock);
    return gLimits.at(static_cast<std::size_t>(kind));
}

void gf_setDownloadLimits(DownloadKind kind, DownloadLimits limits) {
    std::lock_guard guard(gLimitsLock);
    gLimits.at(static_cast<std::size_t>(kind)) = limits;
}

void gf_resetDownloadLimits() {
    std::lock_guard guard(gLimitsLock);
    gLimits = kProgramLimits;
}

bool Downloader(CurlHandle& holder, const std::string& url, const std::filesystem::path& output, bool binary,
                DownloadKind kind) {
    CURL* curl = holder.get();
    if (curl == nullptr) return false;
    (void)binary; // text and binary are the same bytes on this system
    const DownloadLimits limits = gf_downloadLimits(kind);
    // The body goes where every file of the program goes: a temporary file beside the file it
    // replaces (where a link at the output leads), put in its place only when it is whole.
    bool transferred = false;
    std::string problem;
    const FileReplaceResult result = gf_replaceFile(
        output,
        [&](int fd, const std::filesystem::path&) -> std::string {
            transferred = true;
            WriteTarget target;
            target.fd = fd;
            target.maxBytes = limits.maxBytes;
            char errorText[CURL_ERROR_SIZE] = {};
            curl_easy_reset(curl);
            curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
            curl_easy_setopt(curl, CURLOPT_USERAGENT, std::string(kProgramName).c_str());
            curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, lf_curlWriteToFile);
            curl_easy_setopt(curl, CURLOPT_WRITEDATA, &target);
            curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
            curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
            curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
            curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(kConnectTimeoutSeconds));
            curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
            curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(gStallSeconds.load()));
            // An announced size beyond the cap is refused before anything arrives.
            curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                             static_cast<curl_off_t>(std::min<uint64_t>(limits.maxBytes, INT64_MAX)));
            curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS,
                             static_cast<long>(std::max<int64_t>(limits.deadline.count(), 1)));
            curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, lf_abortWhenStopping);
            curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
            const auto started = std::chrono::steady_clock::now();
            const CURLcode code = curl_easy_perform(curl);
            // curl ends a transfer at its deadline to the millisecond, rounding: a few
            // milliseconds short of it on this clock is the deadline too; a stall ends far from it.
            const bool pastDeadline =
                std::chrono::steady_clock::now() - started + std::chrono::milliseconds(10) >= limits.deadline;
            curl_off_t announced = -1;
            curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
            // Redirects are not followed: the body of a 3xx answer is a notice, not the file.
            long status = 0;
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
            if (target.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
                problem = fmt::format("the answer is larger than {} bytes", limits.maxBytes);
            else if (code == CURLE_OPERATION_TIMEDOUT && pastDeadline)
                problem = fmt::format("the answer was not complete within {} ms", limits.deadline.count());
            else if (code != CURLE_OK)
                problem = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
            else if (status >= 300)
                problem = fmt::format("HTTP status {}", status);
            else if (target.failed)
                problem = "the file could not be written";
            else if (announced >= 0 && static_cast<uint64_t>(announced) != target.written)
                problem = fmt::format("{} of {} bytes received", target.written, announced);
            return problem;
        },
        {.temporarySuffix = ".part"});
    if (result.written()) return true;
    if (!transferred)
        gf_log(fmt::format("Could not open output file: {} ({})", result.nameOf(output), result.failure));
    else if (!problem.empty())
        gf_log(fmt::format("Download error: '{}' for {}", problem, url));
    else
        // The body arrived whole; flushing it or putting it in place failed.
        gf_log(fmt::format("Download error: '{}' for {}", fmt::format("the file could not be written: {}",
                                                                      result.failure), url));
    return false;
}

} // namespace tamrix
