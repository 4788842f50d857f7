#include "airports/bgl_decoder.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <unordered_set>

#include <fmt/format.h>

namespace tamrix {

namespace {

constexpr double kLatitudeStep = 3.3527612686157227e-7;  // 90 / 2^28
constexpr double kLongitudeStep = 4.470348358154297e-7;  // 360 / (3 * 2^28)
constexpr double kNmPerMetre = 0.0005399568034557236;
constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr double kFullCircle = 6.283185307179586;
constexpr double kFeetPerMetre = 3.2808399;
constexpr uint64_t kAirportSubrecordsStart = 17; // byte 68 of the airport record
constexpr uint64_t kHelipadWords = 8;            // the helipad's fields end with the width at word 7
constexpr uint64_t kParkingEntryWords = 14;      // 56 bytes before the airline codes
constexpr char kDuplicateSuffixes[] = "abcdefghij";

constexpr std::array<std::string_view, 12> kNamePrefixes = {"",   "r",  "p",  "np",  "ep", "sep",
                                                           "sp", "swp", "wp", "nwp", "g",  ""};

// Named walk limits: the first word index that is no longer readable.
struct Words {
    std::span<const uint32_t> w;
    uint64_t size() const { return w.size(); }
    uint32_t operator[](uint64_t i) const { return w[static_cast<std::size_t>(i)]; }
    uint16_t id(uint64_t r) const { return static_cast<uint16_t>(w[r] & 0xFFFFu); }
    // The byte size at bytes 2..5 straddles two words; the caller checked r + 1.
    uint32_t byteSize(uint64_t r) const { return (w[r] >> 16) | ((w[r + 1] & 0xFFFFu) << 16); }
    float real(uint64_t i) const { return std::bit_cast<float>(w[i]); }
};

void log(const BglSinks& sinks, std::string_view text, bool highlighted) {
    if (sinks.log) sinks.log(text, highlighted);
}
void scanLog(const BglSinks& sinks, std::string text) {
    if (sinks.scanLog) sinks.scanLog(std::move(text));
}

std::string positionText(double latitude, double longitude) {
    return fmt::format("{:.6f},{:.6f}", latitude, longitude);
}

std::string_view namePrefix(uint32_t nameCode) {
    static const std::array<std::string, 26> letters = [] {
        std::array<std::string, 26> out;
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = std::string(1, static_cast<char>('A' + i));
        return out;
    }();
    if (nameCode < kNamePrefixes.size()) return kNamePrefixes[nameCode];
    if (nameCode <= 37) return letters[nameCode - 12];
    return {};
}

int32_t altitudeFeet(uint32_t raw) {
    // Millimetres, signed: airports below sea level are common.
    const double feet = std::round(static_cast<double>(static_cast<int32_t>(raw)) * kFeetPerMetre / 1000.0);
    return (feet < -20.0 || feet > 10000.0) ? 0 : static_cast<int32_t>(feet);
}

class AirportDecoder {
public:
    AirportDecoder(Words words, const BglAirportRecord& airport, std::string_view fileName, const BglSinks& sinks)
        : m_w(words), m_airport(airport), m_fileName(fileName), m_sinks(sinks) {}

    BglAirportStands run() {
        const uint64_t end = m_airport.wordIndex + m_airport.sizeWords;
        uint64_t o = m_airport.wordIndex + kAirportSubrecordsStart;
        for (uint32_t j = 0; o < end; ++j) {
            if (j == kBglMaxLoop) {
                log(m_sinks,
                    "Error: Maximum loop iterations reached (1) \u2014 possible corrupt SIA or malformed input", true);
                break;
            }
            if (o + 1 >= m_w.size()) {
                log(m_sinks, fmt::format("   Error: o3={} exceeded data buffer size ({}), aborting.", o, m_w.size()),
                    false);
                break;
            }
            const uint16_t t = m_w.id(o);
            const uint64_t z = m_w.byteSize(o) / 4;
            // A sub-record ends at its own size, at the end of its airport and of the file.
            const uint64_t limit = std::min({z > 0 ? o + z : end, end, m_w.size()});
            if (t == kBglHelipadRecord) {
                if (!helipad(o, limit)) break;
                if (z == 0) {
                    log(m_sinks, fmt::format("   Warning: decodeSizeAtBoundary returned 0 at o3 = {}", o), true);
                    break;
                }
            } else if (t == kBglTaxiwayParkingRecord) {
                taxiwayParking(o, limit);
                break; // only the first parking list of an airport is read
            } else if (z == 0) {
                log(m_sinks, fmt::format("   Warning: decodeSizeAtBoundary returned 0 at o3 = {}", o), false);
                break;
            }
            o += z;
        }
        m_result.helipads = static_cast<int32_t>(m_helipadCounter - 1);
        return std::move(m_result);
    }

private:
    // The airport's file then misses stands: the scan log, which the user reads for the
    // airports of the scan, says so as well as the log.
    void cutOff(std::string_view what, uint64_t at) {
        const std::string text = fmt::format(
            "   Error: {} at {} cut off by the end of its record in '{}', aborting.", what, at, m_fileName);
        log(m_sinks, text, true);
        scanLog(m_sinks, text);
    }

    // False when the helipad does not fit its record: the walk ends.
    bool helipad(uint64_t o, uint64_t limit) {
        if (o + kHelipadWords > limit) {
            cutOff("helipad", o);
            return false;
        }
        const double latitude = gf_bglLatitude(m_w[o + 4]);
        const double longitude = gf_bglLongitude(m_w[o + 3]);
        const std::string where = positionText(latitude, longitude);
        if (!gf_bglPositionValid(latitude, longitude)) {
            scanLog(m_sinks, "lat/lon helipad incorrect (skipped): " + where);
            return true;
        }
        for (const auto& [lat, lon] : m_helipadPositions)
            if (std::fabs(lat - latitude) < 1e-8 && std::fabs(lon - longitude) < 1e-8) {
                scanLog(m_sinks, "double helipad  (skipped) " + where);
                return true;
            }
        const float width = m_w.real(o + 7);
        if (!std::isfinite(width)) {
            scanLog(m_sinks, fmt::format("helipad width not a number (skipped): {}", where));
            return true;
        }
        m_helipadPositions.emplace_back(latitude, longitude);
        StandRecord& stand = m_result.stands.emplace_back();
        stand.id = fmt::format("helipad{}", m_helipadCounter++);
        stand.latitude = latitude;
        stand.longitude = longitude;
        stand.heading = 0.0;
        stand.radius = static_cast<double>(width) * 0.5 * kNmPerMetre;
        stand.type = 0;
        stand.heli = 1;
        return true;
    }

    void taxiwayParking(uint64_t o, uint64_t limit) {
        const uint32_t count = m_w[o + 1] >> 16;
        uint64_t q = o + 2;
        for (uint32_t i = 0; i < count; ++i) {
            if (q + kParkingEntryWords > limit) {
                cutOff("parking entry", q);
                return;
            }
            const uint32_t flags = m_w[q];
            const uint64_t length = kParkingEntryWords + (flags >> 24);
            if (q + length > limit) {
                cutOff("parking entry", q);
                return;
            }
            parkingEntry(q, flags);
            q += length;
        }
    }

    void parkingEntry(uint64_t q, uint32_t flags) {
        const uint32_t type = (flags >> 8) & 0xFu;
        if (type == 0 || type == 13) return;
        const double latitude = gf_bglLatitude(m_w[q + 8]);
        const double longitude = gf_bglLongitude(m_w[q + 7]);
        if (!gf_bglPositionValid(latitude, longitude)) {
            scanLog(m_sinks, fmt::format("LatLon {} invalid (skipped)", positionText(latitude, longitude)));
            return;
        }
        std::string id(namePrefix(flags & 0x3Fu));
        fmt::format_to(std::back_inserter(id), "{}", (flags >> 12) & 0xFFFu);
        const float heading = m_w.real(q + 2);
        const float radius = m_w.real(q + 1);
        if (!std::isfinite(heading) || !std::isfinite(radius)) {
            scanLog(m_sinks, fmt::format("parking {} radius or heading not a number (skipped)", id));
            return;
        }
        if (!uniqueId(id)) return;
        StandRecord& stand = m_result.stands.emplace_back();
        stand.id = std::move(id);
        stand.latitude = latitude;
        stand.longitude = longitude;
        stand.heading = heading == 0.0f ? kFullCircle : static_cast<double>(heading) * kRadiansPerDegree;
        stand.radius = static_cast<double>(radius) * kNmPerMetre;
        stand.type = static_cast<uint16_t>(type);
    }

    // The id as it is, or with the first free suffix "a" to "j"; false when all are taken.
    bool uniqueId(std::string& id) {
        if (m_usedIds.insert(id).second) return true;
        for (const char* s = kDuplicateSuffixes; *s != 0; ++s) {
            std::string candidate = id + *s;
            if (m_usedIds.insert(candidate).second) {
                id = std::move(candidate);
                return true;
            }
        }
        scanLog(m_sinks, fmt::format("===> Warning: more than 10 duplicate IDs {} in {}", id, m_fileName));
        return false;
    }

    Words m_w;
    const BglAirportRecord& m_airport;
    std::string_view m_fileName;
    const BglSinks& m_sinks;
    BglAirportStands m_result;
    uint32_t m_helipadCounter = 1;
    std::vector<std::pair<double, double>> m_helipadPositions;
    std::unordered_set<std::string> m_usedIds;
};

} // namespace

double gf_bglLatitude(uint32_t raw) { return 90.0 - static_cast<double>(raw) * kLatitudeStep; }
double gf_bglLongitude(uint32_t raw) { return static_cast<double>(raw) * kLongitudeStep - 180.0; }

bool gf_bglPositionValid(double latitude, double longitude) {
    if (!(latitude >= -90.0 && latitude <= 90.0 && longitude >= -180.0 && longitude <= 180.0)) return false;
    return !(std::fabs(latitude) <= 0.0001 && std::fabs(longitude) <= 0.0001);
}

std::vector<uint32_t> gf_bglWords(std::span<const uint8_t> bytes) {
    std::vector<uint32_t> words((bytes.size() + 3) / 4, 0u);
    if (!bytes.empty()) std::memcpy(words.data(), bytes.data(), bytes.size());
    if constexpr (std::endian::native == std::endian::big)
        for (uint32_t& w : words)
            w = __builtin_bswap32(w);
    return words;
}

bool gf_bglHasAirportSection(std::span<const uint8_t> head, uint64_t fileSize) {
    const auto u32At = [&](uint64_t offset) {
        uint32_t v = 0;
        std::memcpy(&v, head.data() + offset, 4);
        return v;
    };
    if (fileSize <= kBglHeaderSize || head.size() < 24) return false;
    const uint64_t n = u32At(20);
    if (n == 0 || n > (fileSize - kBglHeaderSize) / 20) return false;
    for (uint64_t i = 0; i < n; ++i) {
        const uint64_t offset = kBglHeaderSize + 20 * i;
        if (offset + 4 > fileSize || offset + 4 > head.size()) return false;
        if (u32At(offset) == kBglAirportSection) return true;
    }
    return false;
}

std::string gf_decodeBglIcao(uint32_t raw, bool& usable, const BglSinks& sinks) {
    uint32_t v = raw >> 5;
    usable = true;
    std::string digits;
    for (;;) {
        if (digits.size() == 10) {
            usable = false;
            break;
        }
        const uint32_t d = v % 38;
        v /= 38;
        if (d == 0) {
            digits.push_back(' ');
            usable = false;
        } else if (d == 1) {
            digits.push_back('?');
            usable = false;
        } else if (d <= 11) {
            digits.push_back(static_cast<char>(d + 46));
        } else {
            digits.push_back(static_cast<char>(d + 53));
        }
        if (v == 0) break;
    }
    std::reverse(digits.begin(), digits.end());
    if (usable) {
        // Only a 4-character code names an airport the program can use.
        usable = false;
        if (digits.size() == 4) {
            const FixedCode<4> code(digits);
            usable = sinks.isKnownAirport && sinks.isKnownAirport(code);
            if (!usable) scanLog(sinks, fmt::format("{} is not an airport supported by RealTraffic", digits));
        }
    }
    return digits;
}

std::vector<BglAirportRecord> gf_findBglAirports(std::span<const uint32_t> span, std::string_view fileName,
                                                 const BglSinks& sinks) {
    const Words w{span};
    std::vector<BglAirportRecord> out;
    const uint64_t n = w.size();
    if (n < 15 || w[1] != kBglHeaderSize) return out;
    const uint64_t sections = w[5];
    if (sections == 0 || 14 + 5 * sections > n) return out;
    // Record starts walked so far: a walk that meets one goes on as an earlier walk went, so it
    // ends there. Without this, section entries that share their records would report every
    // airport once per entry, thousands of times over from a small damaged file. Only walks of
    // several sections can meet.
    std::vector<bool> walked(sections > 1 ? n : 0, false);
    const auto walkedBefore = [&](uint64_t r) { return !walked.empty() && walked[r]; };
    // The extents of the airports found (start -> end, disjoint). Airports of a sound file never
    // overlap (nor do those of one walk); one that overlaps an airport of an earlier section is
    // skipped, so that no stand is read twice and nested damaged records cannot multiply the work.
    std::map<uint64_t, uint64_t> extents;
    uint64_t overlapping = 0;
    const auto overlapsFound = [&](uint64_t start, uint64_t end) {
        auto next = extents.upper_bound(start);
        if (next != extents.end() && next->first < end) return true;
        return next != extents.begin() && std::prev(next)->second > start;
    };
    for (uint64_t i = 0; i < sections; ++i) {
        const uint64_t e = 14 + 5 * i;
        if (w[e] != kBglAirportSection || (w[e + 1] & kBglLargeSubsectionFlag) != 0) continue;
        const uint64_t header = w[e + 3] / 4 + 2;
        if (header >= n) continue;
        uint64_t r = w[header] / 4;
        for (uint32_t k = 0; r + 1 < n && !walkedBefore(r); ++k) {
            if (k == kBglMaxLoop) {
                log(sinks,
                    fmt::format("Error: maximum loop iterations {} reached (2) \u2014 possible corrupt BGL or "
                                "malformed input in:\n'{}'",
                                kBglMaxLoop, fileName),
                    true);
                break;
            }
            if (!walked.empty()) walked[r] = true;
            const uint64_t s = w.byteSize(r) / 4;
            if (w.id(r) == kBglAirportRecord) {
                if (s == 0) {
                    log(sinks, fmt::format("   Warning: decodeSizeAtBoundary returned {} at o2 = {}", 0, r), true);
                    break;
                }
                if (r + 10 < n) {
                    bool usable = false;
                    const std::string code = gf_decodeBglIcao(w[r + 10], usable, sinks);
                    const uint64_t end = std::min(r + s, n);
                    if (usable && sections > 1 && overlapsFound(r, end)) {
                        ++overlapping;
                    } else if (usable) {
                        if (sections > 1) extents.emplace(r, end);
                        out.push_back({r, s, FixedCode<4>(code), altitudeFeet(w[r + 5])});
                    }
                }
            }
            if (s == 0) break;
            r += s;
        }
    }
    if (overlapping > 0)
        log(sinks, fmt::format("   Warning: {} airport record{} overlapping another skipped in '{}'", overlapping,
                               overlapping == 1 ? "" : "s", fileName),
            true);
    return out;
}

BglAirportStands gf_decodeBglAirportStands(std::span<const uint32_t> words, const BglAirportRecord& airport,
                                           std::string_view fileName, const BglSinks& sinks) {
    return AirportDecoder(Words{words}, airport, fileName, sinks).run();
}

} // namespace tamrix
