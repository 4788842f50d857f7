#include "core/version_data.hpp"

#include <charconv>
#include <limits>
#include <stdexcept>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "core/log.hpp"
#include "core/string_helpers.hpp"

namespace tamrix {
namespace {

constexpr const char* kParseError = "parse error in version string";
constexpr const char* kInvalidFormat = "invalid version format";

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The whole text must be three runs of digits joined by two dots. Read by hand rather than with a
// regular expression: the texts come from downloaded files and may be of any length.
bool splitDotted(std::string_view text, std::string_view (&groups)[3]) {
    std::size_t pos = 0;
    for (int g = 0; g < 3; ++g) {
        const std::size_t start = pos;
        while (pos < text.size() && isDigit(text[pos]))
            ++pos;
        if (pos == start) return false;
        groups[g] = text.substr(start, pos - start);
        if (g < 2) {
            if (pos >= text.size() || text[pos] != '.') return false;
            ++pos;
        }
    }
    return pos == text.size();
}

std::optional<int32_t> groupNumber(std::string_view digits) {
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

int32_t groupValue(std::string_view digits) {
    const std::optional<int32_t> value = groupNumber(digits);
    if (!value) throw std::runtime_error(kParseError);
    return *value;
}

int32_t memberValue(const nlohmann::json& object, const char* name) {
    const auto it = object.find(name);
    if (it == object.end() || !it->is_number_integer()) return 0;
    if (it->is_number_unsigned()) {
        const auto v = it->get<uint64_t>();
        if (v > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
            throw std::runtime_error(kParseError);
        return static_cast<int32_t>(v);
    }
    const auto v = it->get<int64_t>();
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        throw std::runtime_error(kParseError);
    return static_cast<int32_t>(v);
}

VersionData readJson(const nlohmann::json& value) {
    if (!value.is_object()) throw std::runtime_error(kInvalidFormat);
    return {memberValue(value, "major"), memberValue(value, "minor"), memberValue(value, "patch")};
}

VersionData fromText(std::string_view text) {
    std::string_view groups[3];
    if (splitDotted(text, groups))
        return {groupValue(groups[0]), groupValue(groups[1]), groupValue(groups[2])};
    const std::string trimmed = gf_trim(text);
    if (!trimmed.empty() && trimmed.front() == '{') return readJson(nlohmann::json::parse(trimmed));
    throw std::runtime_error(kInvalidFormat);
}

template <typename Source> VersionData readOrZero(const Source& source, VersionData (*read)(const Source&)) {
    try {
        return read(source);
    } catch (const std::exception& e) {
        gf_log(fmt::format("{} exception: {}", "VersionData", e.what()));
        return {};
    }
}

} // namespace

VersionData::VersionData(std::string_view text) {
    if (text.empty()) return;
    *this = readOrZero<std::string_view>(text, [](const std::string_view& t) { return fromText(t); });
}

std::optional<VersionData> VersionData::recorded(std::string_view text) {
    std::string_view groups[3];
    if (!splitDotted(text, groups)) return std::nullopt;
    const auto major = groupNumber(groups[0]);
    const auto minor = groupNumber(groups[1]);
    const auto patch = groupNumber(groups[2]);
    if (!major || !minor || !patch) return std::nullopt;
    return VersionData{*major, *minor, *patch};
}

VersionData VersionData::fromJson(const nlohmann::json& value) {
    return readOrZero<nlohmann::json>(value, [](const nlohmann::json& v) { return readJson(v); });
}

std::string VersionData::text() const {
    return fmt::format("{}.{}.{}", major, minor, patch);
}

} // namespace tamrix
