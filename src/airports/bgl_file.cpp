#include "airports/bgl_file.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <span>
#include <string>
#include <utility>

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include "airports/package_manifest.hpp"
#include "airports/scan_log.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "refdata/airports.hpp"

namespace tamrix {

namespace fs = std::filesystem;

namespace {

std::string utf8Text(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// Manufacturer and creator both this short mark a package that is not a real publisher's.
constexpr std::size_t kShortPackageField = 4;

} // namespace

const BglSinks& gf_programBglSinks() {
    static const BglSinks sinks{
        [](const FixedCode<4>& code) { return gf_isKnownAirport(code); },
        [](std::string line) { gScanLog.push_back(std::move(line)); },
        [](std::string_view text, bool highlighted) {
            if (highlighted)
                gf_logHighlighted(text);
            else
                gf_logAndFlush(text);
        },
    };
    return sinks;
}

bool lf_hasAirportSection(const fs::path& path) {
    // The walk asks this of every scenery file: one open, one read for header and section
    // table together in the common case, no stream.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    const auto readAt = [fd](uint8_t* to, std::size_t count) {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t n = ::pread(fd, to + done, count - done, static_cast<off_t>(done));
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else if (n == 0 || errno != EINTR)
                break;
        }
        return done;
    };
    bool found = false;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > static_cast<off_t>(kBglHeaderSize)) {
        const auto size = static_cast<uint64_t>(st.st_size);
        std::vector<uint8_t> head(static_cast<std::size_t>(std::min<uint64_t>(size, 4096)));
        head.resize(readAt(head.data(), head.size()));
        uint32_t n = 0;
        if (head.size() >= 24) std::memcpy(&n, head.data() + 20, 4);
        if (n != 0 && n <= (size - kBglHeaderSize) / 20) {
            // Header and table only: bounded by the file's size, checked above.
            const std::size_t wanted = kBglHeaderSize + 20 * static_cast<std::size_t>(n);
            if (head.size() < wanted) {
                head.resize(wanted);
                head.resize(readAt(head.data(), wanted));
            } else {
                head.resize(wanted);
            }
            if (head.size() == wanted) found = gf_bglHasAirportSection(head, size);
        }
    }
    ::close(fd);
    return found;
}

std::vector<uint32_t> lf_readBglWords(const fs::path& path, std::string& problem) {
    FileBytes file = gf_readRegularFile(path, kMaxBglFileBytes);
    if (!file.read()) {
        problem = std::move(file.problem);
        return {};
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(file.bytes.data());
    return gf_bglWords(std::span<const uint8_t>(bytes, file.bytes.size()));
}

void lf_processAirportRecord(std::span<const uint32_t> words, const BglAirportRecord& record,
                             const fs::path& path, const BglAirportSteps& steps,
                             const fs::path& scannedFolder) {
    ScannedAirport airport;
    airport.icao = record.code;
    airport.sourcePath = path;
    airport.BGLpath = utf8Text(path);
    airport.scannedFolder = scannedFolder;
    airport.altitude = record.altitude;
    airport.package = gf_searchManifestAboveFile(path, scannedFolder);
    if (steps.linkArchived && steps.linkArchived(airport)) return;
    if (airport.package && airport.package->manufacturer.size() < kShortPackageField &&
        airport.package->creator.size() < kShortPackageField)
        return;
    BglAirportStands stands = gf_decodeBglAirportStands(words, record, airport.BGLpath, gf_programBglSinks());
    airport.stands = std::move(stands.stands);
    if (steps.generate) steps.generate(airport, stands.helipads);
}

void lf_processBGLfile(const fs::path& path, const BglAirportSteps& steps, const fs::path& scannedFolder) {
    try {
        std::string problem;
        const std::vector<uint32_t> words = lf_readBglWords(path, problem);
        const std::string name = utf8Text(path);
        if (!problem.empty()) {
            gf_logHighlighted(fmt::format("! {} not read: {}", name, problem));
            return;
        }
        for (const BglAirportRecord& record : gf_findBglAirports(words, name, gf_programBglSinks()))
            lf_processAirportRecord(words, record, path, steps, scannedFolder);
    } catch (const std::exception& e) {
        gf_logHighlighted(
            fmt::format("Exception in lf_processBGLfile (std::ex): {} \u2014 {}", utf8Text(path), e.what()));
        throw;
    } catch (...) {
        gf_logHighlighted(fmt::format("Exception in lf_processBGLfile: {}", utf8Text(path)));
        throw;
    }
}

} // namespace tamrix
