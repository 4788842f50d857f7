#include "refdata/dbase.hpp"

#include <algorithm>
#include <iterator>
#include <map>
#include <stdexcept>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/paths.hpp"
#include "core/string_helpers.hpp"
#include "core/user_error.hpp"
#include "refdata/code_table.hpp"
#include "refdata/encrypted_file.hpp"
#include "refdata/registration_lookups.hpp"

namespace tamrix {
namespace fs = std::filesystem;

CodeSet gAircraftCodes;
std::set<uint16_t> gHeavyModels;
std::set<uint16_t> gLargeModels;
std::set<uint16_t> gBuzjetModels;
std::set<uint16_t> gHighPerfModels;
std::set<uint16_t> gRotorcraftModels;
CodeGroups gSimilarTypes;
CodeGroups gPrefixGroups;
CodeSet gAirlineCodes;
CodeGroups gPublishers;
std::array<double, kHalfSpanSlots> gHalfSpans{};
double gMaxHalfSpan = 0.0;
CodeSet gSimaddons20;
CodeSet gSimaddons24;
std::vector<ThirdpartyEntry> gThirdparties20;
std::vector<ThirdpartyEntry> gThirdparties24;
std::vector<DbaseRecord> gDbaseRecords;

namespace {

constexpr uint32_t kDbaseErrorCode = 61;

// Removes the plain file however the reader leaves.
struct PlainFileGuard {
    fs::path path;
    ~PlainFileGuard() { gf_removeFile(path); }
};

// A required code-list section: every non-empty piece of the attribute of each element.
void lf_readXmlSection(const pugi::xml_document& doc, const char* section, CodeSet& codes,
                       const char* element, const char* attribute) {
    const pugi::xml_node root = doc.child("root");
    if (!root) throw UserErrorException(kDbaseErrorCode, "XML root missing: root");
    const pugi::xml_node node = root.child(section);
    if (!node) throw UserErrorException(kDbaseErrorCode, fmt::format("Missing section: {}", section));
    bool any = false;
    for (const pugi::xml_node child : node.children(element)) {
        const char* value = child.attribute(attribute).value();
        if (*value == '\0') continue;
        for (auto& piece : gf_split(value, ',')) {
            codes.insert(std::move(piece));
            any = true;
        }
    }
    if (!any) {
        throw UserErrorException(
            kDbaseErrorCode, fmt::format("In XML file section [{}], element [{}], attribute [{}] is empty.",
                                         section, element, attribute));
    }
}

void lf_readTypesSection(const pugi::xml_document& doc, const char* section, CodeSet& codes,
                         const char* element) {
    CodeSet read;
    lf_readXmlSection(doc, section, read, element, "types");
    codes = std::move(read);
}

void lf_readCodesSection(const pugi::xml_document& doc, const char* section, CodeSet& codes) {
    CodeSet read;
    lf_readXmlSection(doc, section, read, "ICAO", "codes");
    codes = std::move(read);
}

void lf_toModelIndexSet(const CodeSet& codes, std::set<uint16_t>& indices) {
    indices.clear();
    for (const auto& code : codes)
        indices.insert(gf_modelIndex(code));
}

// An optional section of groups: each element's list, sorted ascending.
void lf_readGroups(const pugi::xml_node root, const char* section, CodeGroups& groups) {
    groups.reserve(64);
    for (const pugi::xml_node child : root.child(section).children("similar")) {
        auto group = gf_splitComma(child.attribute("types").value());
        std::sort(group.begin(), group.end());
        groups.push_back(std::move(group));
    }
    groups.shrink_to_fit();
}

void lf_readThirdparties(const pugi::xml_node root, const char* section, std::vector<ThirdpartyEntry>& list,
                         const char* element) {
    for (const pugi::xml_node child : root.child(section).children(element)) {
        list.push_back({child.attribute("pub").value(), gf_splitComma(child.attribute("arpts").value())});
    }
}

double lf_attrDouble(const pugi::xml_node node, const char* name) {
    return node.attribute(name).as_double(0.0);
}

void lf_storeHalfSpan(const std::string& type, double halfSpan) {
    const uint16_t index = gf_modelIndex(type);
    if (index < kHalfSpanSlots) {
        gHalfSpans[index] = halfSpan;
    } else {
        gf_logHighlighted(fmt::format("wsp fill what: model index {} of {} is beyond the {} half-span slots",
                                      index, type, kHalfSpanSlots));
    }
}

// Sorted by registration; of several records with one registration the first read stays.
void lf_sortDbase() {
    std::stable_sort(
        gDbaseRecords.begin(), gDbaseRecords.end(),
        [](const DbaseRecord& a, const DbaseRecord& b) { return a.registration < b.registration; });
    const auto last = std::unique(
        gDbaseRecords.begin(), gDbaseRecords.end(),
        [](const DbaseRecord& a, const DbaseRecord& b) { return a.registration == b.registration; });
    gDbaseRecords.erase(last, gDbaseRecords.end());
}

// A second read (after a failed one) must not add to what the first left.
void lf_clearTables();

} // namespace

void gf_clearDbase() {
    lf_clearTables();
    lf_buildShortRegistrations();
}

namespace {

void lf_clearTables() {
    gAircraftCodes.clear();
    gHeavyModels.clear();
    gLargeModels.clear();
    gBuzjetModels.clear();
    gHighPerfModels.clear();
    gRotorcraftModels.clear();
    gSimilarTypes.clear();
    gPrefixGroups.clear();
    gPrefixAlternatives.clear();
    gAirlineCodes.clear();
    gPublishers.clear();
    gHalfSpans.fill(0.0);
    gMaxHalfSpan = 0.0;
    gModelFixes.clear();
    gSimaddons20.clear();
    gSimaddons24.clear();
    gThirdparties20.clear();
    gThirdparties24.clear();
    gDbaseRecords.clear();
}

void lf_readModels(const pugi::xml_document& doc) {
    lf_readTypesSection(doc, "aircrafts", gAircraftCodes, "aircraft");
    gf_log(fmt::format("\n{:5} ICAO model codes", gAircraftCodes.size()));
    CodeSet cargoTypes;
    lf_readTypesSection(doc, "cargo_types", cargoTypes, "cargo_type");

    gf_modelIndex("");
    for (const auto& code : gAircraftCodes)
        gf_modelIndex(code);
    gModelCodes.setLoaded();
    for (const auto& code : cargoTypes)
        gf_modelIndex(code);

    CodeSet heavy, large, buzjet, highPerf, rotorcraft;
    lf_readTypesSection(doc, "heavy", heavy, "hvy");
    lf_readTypesSection(doc, "large", large, "lar");
    lf_readTypesSection(doc, "buzjet", buzjet, "bzj");
    lf_readTypesSection(doc, "high_performance", highPerf, "hpf");
    lf_readTypesSection(doc, "rotorcraft", rotorcraft, "rot");
    lf_toModelIndexSet(heavy, gHeavyModels);
    lf_toModelIndexSet(large, gLargeModels);
    lf_toModelIndexSet(buzjet, gBuzjetModels);
    lf_toModelIndexSet(highPerf, gHighPerfModels);
    lf_toModelIndexSet(rotorcraft, gRotorcraftModels);

    const pugi::xml_node root = doc.child("root");
    lf_readGroups(root, "similar_types", gSimilarTypes);
    lf_readGroups(root, "prefixes", gPrefixGroups);
    gf_logAndFlush(fmt::format("{:5} prefixes", gPrefixGroups.size()));
    lf_buildPrefixMap();
}

void lf_readOperators(const pugi::xml_document& doc) {
    lf_readCodesSection(doc, "ICAO_airlines", gAirlineCodes);
    gf_log(fmt::format("{:5} ICAO airline codes", gAirlineCodes.size()));
    CodeSet cargoOperators;
    lf_readCodesSection(doc, "cargo_operators", cargoOperators);
    gf_log(fmt::format("{:5} cargo operators", cargoOperators.size()));

    gf_airlineIndex("");
    for (const auto& code : gAirlineCodes)
        gf_airlineIndex(code);
    for (const auto& code : cargoOperators)
        gf_airlineIndex(code);
    gOperatorCodes.setLoaded();
}

// Identical name lists count once; empty names are dropped, since an empty name would claim
// every path for its publisher.
void lf_readPublishers(const pugi::xml_node root) {
    gPublishers.reserve(640);
    std::vector<std::string> texts;
    for (const pugi::xml_node pub : root.child("publishers").children("pub"))
        texts.emplace_back(pub.attribute("names").value());
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    for (const auto& text : texts) {
        auto names = gf_splitComma(text);
        if (!names.empty()) gPublishers.push_back(std::move(names));
    }
    gPublishers.shrink_to_fit();
    gf_log(fmt::format("{:5} publishers", gPublishers.size()));
}

void lf_readWingspans(const pugi::xml_node root) {
    std::map<std::string, double> halfSpans;
    for (const pugi::xml_node wingspan : root.child("wingspans").children("wingspan")) {
        const std::string type = wingspan.attribute("type").value();
        if (type.empty() || !gAircraftCodes.contains(type)) {
            gf_logHighlighted(fmt::format("wingspan model {} is not valid, skipped", type));
            continue;
        }
        const double halfSpan = lf_attrDouble(wingspan, "meters") * 0.5 * kNmPerMetre;
        halfSpans.emplace(type, halfSpan);
        gMaxHalfSpan = std::max(gMaxHalfSpan, halfSpan);
    }
    for (const auto& [type, halfSpan] : halfSpans)
        lf_storeHalfSpan(type, halfSpan);
}

void lf_readFixes(const pugi::xml_node root) {
    const pugi::xml_node fixes = root.child("fixes");
    if (!fixes) return;
    for (const pugi::xml_node fx : fixes.children("fx")) {
        std::string wrong = fx.attribute("wro").value();
        std::string correct = fx.attribute("cor").value();
        if (correct.empty() || !gAircraftCodes.contains(correct)) {
            gf_logHighlighted(fmt::format("wrong fix {} -> {}, the latter is not valid", wrong, correct));
            continue;
        }
        if (!gModelFixes.emplace(wrong, std::move(correct)).second) {
            gf_logHighlighted(fmt::format("wrong part of fix: '{}', already exists, skipped", wrong));
        }
    }
    gf_log(fmt::format("{:5} fixes", gModelFixes.size()));
}

// Records without a registration are skipped: an empty registration would be found in every text.
void lf_readRecords(const pugi::xml_node root) {
    const auto rows = root.child("dbase").children("d");
    gDbaseRecords.reserve(static_cast<std::size_t>(std::distance(rows.begin(), rows.end())));
    int64_t withoutRegistration = 0;
    for (const pugi::xml_node d : rows) {
        const char* registration = d.attribute("r").value();
        if (*registration == '\0') {
            ++withoutRegistration;
            continue;
        }
        DbaseRecord record{registration, {}};
        record.key.operatorIndex = gf_airlineIndex(d.attribute("a").value());
        record.key.secondOperatorIndex = gf_airlineIndex(d.attribute("o").value());
        record.key.modelIndex = gf_modelIndex(d.attribute("m").value());
        record.key.cargo = d.attribute("c").as_bool(false) ? 1 : 0;
        record.key.fromRegistration = 1;
        gDbaseRecords.push_back(std::move(record));
    }
    if (withoutRegistration > 0) {
        gf_logHighlighted(fmt::format("{} dbase record{} without registration skipped", withoutRegistration,
                                      gf_plural(withoutRegistration)));
    }
    lf_sortDbase();
    gDbaseRecords.shrink_to_fit();
    lf_buildShortRegistrations();
    gf_logAndFlush(fmt::format("{:5} dbase records read", gDbaseRecords.size()));
}

} // namespace

bool gf_readDbase() {
    const ProgramPaths& paths = gf_paths();
    return gf_readDbase(paths.dbaseEncPath, paths.inputFolder / "dbase.xml");
}

bool gf_readDbase(const fs::path& encPath, const fs::path& plainPath) {
    const PlainFileGuard plain{plainPath};

    if (!gf_pathExists(encPath))
        throw std::runtime_error(fmt::format("{} not available; {}", encPath.string(), kRestoreReferenceFile));
    if (const auto problem = gf_decryptReferenceFile(encPath, plain.path)) throw std::runtime_error(*problem);
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file(plain.path.c_str());
    if (!parsed) {
        gf_logHighlighted(
            fmt::format("'{}' not read because of {}", plain.path.string(), parsed.description()));
        return false;
    }

    lf_clearTables();
    lf_readModels(doc);
    lf_readOperators(doc);
    const pugi::xml_node root = doc.child("root");
    lf_readPublishers(root);
    lf_readWingspans(root);
    lf_readFixes(root);
    lf_readXmlSection(doc, "simaddons20", gSimaddons20, "simaddon20", "arpts");
    lf_readXmlSection(doc, "simaddons24", gSimaddons24, "simaddon24", "arpts");
    gf_log(fmt::format("{} simaddons24", gSimaddons24.size()));
    gThirdparties20.reserve(600);
    lf_readThirdparties(root, "thirdparties20", gThirdparties20, "thirdpartie20");
    gThirdparties24.reserve(300);
    lf_readThirdparties(root, "thirdparties24", gThirdparties24, "thirdpartie24");
    lf_readRecords(root);
    return true;
}

} // namespace tamrix
