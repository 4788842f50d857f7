#include "links/qnh_reader.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include <fmt/format.h>
#include <gsl/narrow>
#include <nlohmann/json.hpp>

#include "core/log.hpp"
#include "links/traffic_reader.hpp"
#include "links/traffic_source_state.hpp"

namespace tamrix {

std::atomic<int32_t> gCurrentQnh{1013};

namespace {

constexpr int32_t kStandardQnh = 1013;
constexpr int32_t kLowestQnh = 900;
constexpr int32_t kHighestQnh = 1100;
constexpr double kHectopascalsPerHundredthInch = 0.33865307;

// A whole number as a 32-bit QNH; a value that does not fit is a narrowing error, not a
// silently truncated QNH.
int32_t narrowQnh(double value) {
    if (!(value >= static_cast<double>(std::numeric_limits<int32_t>::min()) &&
          value <= static_cast<double>(std::numeric_limits<int32_t>::max())))
        throw gsl::narrowing_error();
    return gsl::narrow<int32_t>(value);
}

// The hectopascals of a "QNH" member, or nothing when the datagram gives no usable value
// (logged here).
std::optional<int32_t> qnhOf(const nlohmann::json& member, std::string_view datagram, UdpReader& reader) {
    if (member.is_number_integer()) {
        if (member.is_number_unsigned()) {
            const auto value = member.get<uint64_t>();
            if (value > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) throw gsl::narrowing_error();
            return static_cast<int32_t>(value);
        }
        return gsl::narrow<int32_t>(member.get<int64_t>());
    }
    if (member.is_number_float()) {
        // Single precision, rounded half away from zero, as the source's value was meant.
        const float value = static_cast<float>(member.get<double>());
        return narrowQnh(static_cast<double>(std::round(value)));
    }
    if (member.is_string()) {
        const auto& text = member.get_ref<const std::string&>();
        int32_t value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || end == text.data()) {
            reader.badDatagrams().report(fmt::format("QNH string parse error: {} in {}", text, datagram),
                                         BadDatagramLog::Kind::Highlighted);
            return std::nullopt;
        }
        return value;
    }
    reader.badDatagrams().report(fmt::format("no QNH {}", datagram));
    return std::nullopt;
}

} // namespace

void QnhReader::onDatagram() {
    const std::string_view datagram = m_currentDatagram;
    try {
        const auto parsed = nlohmann::json::parse(datagram);
        // at() on anything but an object is the JSON type error.
        if (!parsed.is_object()) static_cast<void>(parsed.at("QNH"));
        const auto found = parsed.find("QNH");
        if (found == parsed.end() || found->is_null() || (found->is_array() && found->empty()) ||
            (found->is_object() && found->empty())) {
            m_badDatagrams.report(fmt::format("no QNH {}", datagram));
            return;
        }
        const auto given = qnhOf(*found, datagram, *this);
        if (!given) return;
        int32_t q = *given;
        if (q > kHighestQnh) q = narrowQnh(std::round(static_cast<double>(q) * kHectopascalsPerHundredthInch));
        q = std::clamp(q, kLowestQnh, kHighestQnh);
        // A repeated standard value is stored again: it may follow a reset.
        if (q == lastQnh.load() && q != kStandardQnh) return;
        lastQnh.store(q);
        gf_trafficReader().qnh.store(q);
        gCurrentQnh.exchange(q);
        gShownQnh.store(q);
        int32_t silent = kReaderSilent;
        gQnhReaderState.compare_exchange_strong(silent, kReaderReceiving);
        gf_invalidateStatusPanel();
    } catch (const std::exception& e) {
        m_badDatagrams.report(fmt::format("Exception {}, in {}", e.what(), datagram));
    }
}

void QnhReader::resetForRun() {
    UdpReader::resetForRun();
    lastQnh.store(kStandardQnh);
    gCurrentQnh.store(kStandardQnh);
}

void QnhReader::onStopped() { gf_log("QNH Reader has stopped"); }

QnhReader& gf_qnhReader() {
    static auto* reader = new QnhReader;
    return *reader;
}

void lf_qnhReaderThread(uint16_t port) {
    gf_qnhReader().runThread("QNH Reader", port, gRealTrafficOnThisPc.load(), {&gQnhReaderState});
}

} // namespace tamrix
