#include "refdata/registration_lookups.hpp"

#include <algorithm>
#include <set>
#include <utility>

#include "core/random.hpp"
#include "core/string_helpers.hpp"
#include "core/text_encoding.hpp"
#include "refdata/dbase.hpp"

namespace tamrix {

std::unordered_map<std::string, std::vector<std::string>> gPrefixAlternatives;

namespace {

// The records whose registration has fewer than 6 characters, in ascending order: the only
// candidates of gf_findShortRegIn, picked once instead of on every call.
std::vector<const DbaseRecord*> gShortRegistrations;

const DbaseRecord* lf_findRecord(std::string_view registration) {
    const auto it =
        std::lower_bound(gDbaseRecords.begin(), gDbaseRecords.end(), registration,
                         [](const DbaseRecord& r, std::string_view reg) { return r.registration < reg; });
    return (it != gDbaseRecords.end() && it->registration == registration) ? &*it : nullptr;
}

} // namespace

std::vector<std::string> gf_registrationVariants(std::string_view registration) {
    std::vector<std::string> variants;
    variants.reserve(3);
    if (registration.size() >= 5 && registration.front() != 'N' &&
        registration.find('-') == std::string_view::npos) {
        variants.push_back(std::string(registration.substr(0, 2)) + "-" +
                           std::string(registration.substr(2)));
        variants.push_back(std::string(registration.substr(0, 1)) + "-" +
                           std::string(registration.substr(1)));
    }
    variants.emplace_back(registration);
    return variants;
}

std::optional<LiveryKey> gf_lookupRegistration(std::string_view registration) {
    if (registration.empty()) return std::nullopt;
    for (const auto& spelling : gf_registrationVariants(registration)) {
        if (const DbaseRecord* record = lf_findRecord(spelling)) return record->key;
    }
    return std::nullopt;
}

std::optional<std::string> gf_findShortRegIn(std::string_view text) {
    for (const DbaseRecord* record : gShortRegistrations) {
        if (text.find(record->registration) != std::string_view::npos) return record->registration;
    }
    return std::nullopt;
}

void lf_buildShortRegistrations() {
    gShortRegistrations.clear();
    for (const auto& record : gDbaseRecords) {
        if (!record.registration.empty() && record.registration.size() < 6)
            gShortRegistrations.push_back(&record);
    }
    gShortRegistrations.shrink_to_fit();
}

void lf_buildPrefixMap() {
    gPrefixAlternatives.clear();
    // "member,other,other": ordered, so that a prefix in several groups keeps the entry whose text
    // sorts first.
    std::set<std::string> texts;
    for (const auto& group : gPrefixGroups) {
        if (group.size() < 2) continue;
        for (std::size_t i = 0; i < group.size(); ++i) {
            std::string text = group[i];
            for (std::size_t j = 0; j < group.size(); ++j) {
                if (j != i) text += "," + group[j];
            }
            texts.insert(std::move(text));
        }
    }
    for (const auto& text : texts) {
        auto pieces = gf_split(text, ',');
        if (pieces.size() < 2) continue;
        std::string key = std::move(pieces.front());
        pieces.erase(pieces.begin());
        gPrefixAlternatives.try_emplace(std::move(key), std::move(pieces));
    }
}

const std::vector<std::string>& gf_prefixAlternatives(std::string_view prefix) {
    static const std::vector<std::string> none;
    const auto it = gPrefixAlternatives.find(std::string(prefix));
    if (it == gPrefixAlternatives.end()) return none;
    gf_shuffle(it->second);
    return it->second;
}

bool gf_isKnownAirlineCode(std::string_view code) {
    return !code.empty() && gAirlineCodes.contains(code);
}

bool gf_pathContainsNoCase(const std::filesystem::path& path, std::string_view text) {
    if (text.empty()) return true;
    return gf_containsNoCase(gf_pathToUtf8(path), text);
}

std::optional<std::string> gf_publisherOf(const std::string& pathText) {
    if (pathText.empty()) return std::nullopt;
    for (const auto& group : gPublishers) {
        for (const auto& name : group) {
            // An empty name matches nothing (the reader drops them; this keeps it so). An exact
            // occurrence is also one without regard to case.
            if (!name.empty() && gf_containsNoCase(pathText, name)) return group.front();
        }
    }
    return std::nullopt;
}

bool gf_isThirdpartyAirport(bool isMsfs2020, std::string_view publisher, std::string_view airportCode) {
    if (publisher.empty() || airportCode.empty()) return false;
    const auto& list = isMsfs2020 ? gThirdparties20 : gThirdparties24;
    return std::any_of(list.begin(), list.end(), [&](const ThirdpartyEntry& entry) {
        return entry.publisherName == publisher &&
               std::find(entry.airportCodes.begin(), entry.airportCodes.end(), airportCode) !=
                   entry.airportCodes.end();
    });
}

} // namespace tamrix
