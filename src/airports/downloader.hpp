#pragma once
// HTTP downloads of the program (archived airport files here, the updater's files later): one
// curl handle per download, made and released around it, and the download server's address.
//
// A download never leaves a part of a file behind: the body goes to a temporary file beside the
// target (the file a symbolic link at the output leads to, so the link stays), is checked (the
// transfer completed, every byte was written, the size matches what the server announced),
// flushed and only then renamed over the target, as every file of the program is written. A server that stops sending
// is given up after a stall time, so a stalled server cannot hold the caller for long, and a
// transfer ends at once when the run's stop or closing flag is set. Redirects are not followed:
// an answer other than 2xx is a failure. Each kind of download has a size cap and an overall
// deadline: an answer larger than its cap or not complete by its deadline is refused the same
// way, so neither an endless nor a creeping answer can fill the disk or hold the start.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

typedef void CURL;

namespace tamrix {

// The download server's base address, ending in "downloads/". QUORVEL_DOWNLOAD_BASE overrides
// it, for example with a file:// address of a local folder laid out like the server; a path
// written as it is (a blank, an accented letter) is escaped as a URL must write it.
inline constexpr std::string_view kDownloadServerBase = "https://download.quorvel.invalid/downloads/";
std::string gf_downloadServerBase();
// The address with every byte that may not stand in a URL as its %XX escape (a blank, the UTF-8
// bytes of an accented letter, a '%' that begins no escape); escapes and the URL's own
// delimiters stay as they are.
std::string gf_urlEscaped(std::string_view address);
// Why no download from this address can succeed (it is no URL), or nothing.
std::optional<std::string> gf_downloadAddressProblem(const std::string& address);

// Owns one curl handle for the life of one download (or a few made together).
class CurlHandle {
public:
    CurlHandle();
    ~CurlHandle();
    CurlHandle(const CurlHandle&) = delete;
    CurlHandle& operator=(const CurlHandle&) = delete;
    CURL* get() const noexcept { return m_handle; }

private:
    CURL* m_handle = nullptr;
};

// How long a connection may take to open, and how long a transfer may receive nothing before it
// is given up (seconds). Tests shorten the stall time.
inline constexpr int32_t kConnectTimeoutSeconds = 10;
inline constexpr int32_t kDefaultStallSeconds = 30;
void gf_setDownloadStallSeconds(int32_t seconds);

// The kinds of download and what each may take.
enum class DownloadKind { VersionList, DataFile, AirportFile, ProgramArchive, Document };
struct DownloadLimits {
    uint64_t maxBytes = 0;
    std::chrono::milliseconds deadline{0};
};
DownloadLimits gf_downloadLimits(DownloadKind kind);
// Tests shorten the limits; the reset puts back those of the program.
void gf_setDownloadLimits(DownloadKind kind, DownloadLimits limits);
void gf_resetDownloadLimits();

// Downloads the URL into the output path (binary or text mode; the same bytes on this system)
// within the limits of its kind. True when the whole body is in place at the output path;
// otherwise the output path is as it was before and a log line says why. Never throws.
// The temporary file is "<target>.quorvel-<pid>-<n>.part"; the first download into one of the
// program's own folders in a process removes those that processes now gone left there
// (gf_sweepStaleTemporaryFiles). Where the
// output cannot be written at all, the log says "Could not open output file: {} ({})" with the
// output (and where its link leads) and the cause.
bool Downloader(CurlHandle& holder, const std::string& url, const std::filesystem::path& output, bool binary,
                DownloadKind kind);

} // namespace tamrix
