#pragma once
// Three-part version numbers (major.minor.patch): the program's own version, the version stored in
// "parameters.xml", the versions of the data files on the download server and in file meta blocks.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace tamrix {

struct VersionData {
    int32_t major = 0;
    int32_t minor = 0;
    int32_t patch = 0;

    constexpr VersionData() noexcept = default;
    constexpr VersionData(int32_t majorNumber, int32_t minorNumber, int32_t patchNumber) noexcept
        : major{majorNumber}, minor{minorNumber}, patch{patchNumber} {}

    // Reads "12.5.4" (digits only, nothing around them) or a JSON object with the integer members
    // "major", "minor" and "patch" (a missing or non-integer member reads as 0). Never throws: a
    // text that is neither gives 0.0.0 and the log line "VersionData exception: {}". An empty text
    // gives 0.0.0 without a log line.
    explicit VersionData(std::string_view text);
    // The same member rules for an already parsed JSON value (the updater's "versions.json");
    // never throws either.
    static VersionData fromJson(const nlohmann::json& value);
    // The version a "{}.{}.{}" text records; nothing for any other text, the empty one included
    // (no log line): a version that was never recorded is older than every version, 0.0.0 too.
    static std::optional<VersionData> recorded(std::string_view text);

    // "{}.{}.{}"
    std::string text() const;

    // Field by field, major first, each as a signed number.
    constexpr auto operator<=>(const VersionData&) const noexcept = default;
};

inline constexpr std::string_view kProgramName = "Quorvel";
inline constexpr std::string_view kProgramVersionText = "12.5.4";
// A constant rather than a parse at start-up, so that settings built during static
// initialisation can use it in any order.
inline constexpr VersionData gProgramVersion{12, 5, 4};

} // namespace tamrix
