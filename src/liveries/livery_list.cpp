#include "liveries/livery_list.hpp"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "config/xml_helpers.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/meta_info.hpp"
#include "core/paths.hpp"
#include "core/run_state.hpp"
#include "core/text_encoding.hpp"
#include "core/user_error.hpp"
#include "core/version_data.hpp"
#include "refdata/code_table.hpp"

namespace tamrix {

std::list<LiveryData> gLiveries;

namespace {

int lf_compareTexts(const std::string& a, const std::string& b) {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

[[noreturn]] void lf_missingAttribute(const char* attribute, const pugi::xml_node element) {
    throw UserErrorException(999, fmt::format("Missing required attribute '{}' in <{}>", attribute, element.name()));
}

const char* lf_requiredAttribute(const pugi::xml_node element, const char* name) {
    const pugi::xml_attribute attribute = element.attribute(name);
    if (!attribute) lf_missingAttribute(name, element);
    return attribute.value();
}

enum class XmlLoad { Loaded, Missing, Unreadable, Damaged };

// Loads the file; otherwise says what is wrong with it: missing, unreadable (the system's
// reason) or damaged (the parser's description and where).
XmlLoad lf_loadLiveriesXml(pugi::xml_document& document, std::string& problem) {
    const auto& path = gf_paths().liveriesScannedPath;
    const std::string pathText = gf_pathToUtf8Lossy(path);
    // Read as a regular file only: a pipe in its place is named, not waited on.
    const FileBytes file = gf_readRegularFile(path, kMaxLiveriesFileBytes);
    if (file.openError == ENOENT || file.openError == ENOTDIR) {
        problem = fmt::format("File {} not found", pathText);
        return XmlLoad::Missing;
    }
    if (!file.read()) {
        // A folder in its place is said as the system says it.
        problem = fmt::format("File {} cannot be read: {}", pathText,
                              file.openError == EISDIR ? std::generic_category().message(EISDIR) : file.problem);
        return XmlLoad::Unreadable;
    }
    const pugi::xml_parse_result result = document.load_buffer(file.bytes.data(), file.bytes.size());
    if (result) return XmlLoad::Loaded;
    if (result.status == pugi::status_out_of_memory) {
        problem = fmt::format("File {} cannot be read: {}", pathText, result.description());
        return XmlLoad::Unreadable;
    }
    problem = fmt::format("File {} is damaged: {} at byte {}", pathText, result.description(), result.offset);
    return XmlLoad::Damaged;
}

} // namespace

bool lf_liveriesXmlNeedsScan() {
    pugi::xml_document document;
    std::string problem;
    switch (lf_loadLiveriesXml(document, problem)) {
    case XmlLoad::Loaded: return false;
    case XmlLoad::Missing: return true;
    case XmlLoad::Unreadable:
    case XmlLoad::Damaged: break;
    }
    gf_logHighlighted(problem + "; the liveries are scanned again");
    return true;
}

bool lf_isIncompleteLivery(const LiveryData& livery) {
    return livery.key.operatorIndex == 0 || livery.key.modelIndex == 0;
}

bool lf_compareLiveries(const LiveryData& a, const LiveryData& b) {
    if (const int c = lf_compareTexts(gOperatorCodes.text(a.key.operatorIndex), gOperatorCodes.text(b.key.operatorIndex)))
        return c < 0;
    if (const int c = lf_compareTexts(gOperatorCodes.text(a.key.secondOperatorIndex),
                                      gOperatorCodes.text(b.key.secondOperatorIndex)))
        return c < 0;
    if (const int c = lf_compareTexts(gModelCodes.text(a.key.modelIndex), gModelCodes.text(b.key.modelIndex)))
        return c < 0;
    return a.title < b.title;
}

bool lf_sameLivery(const LiveryData& a, const LiveryData& b) {
    return a.title == b.title && a.key.operatorIndex == b.key.operatorIndex &&
           a.key.secondOperatorIndex == b.key.secondOperatorIndex && a.key.modelIndex == b.key.modelIndex &&
           a.regcode == b.regcode;
}

void lf_sortLiveries() {
    gLiveries.sort(lf_compareLiveries);
    gLiveries.unique(lf_sameLivery);
}

bool lf_writeLiveriesXml() {
    if (gLiveries.empty()) return true;
    const auto& path = gf_paths().liveriesScannedPath;
    pugi::xml_document document;
    MetaInfo meta;
    meta.version = gProgramVersion.text();
    meta.sim = gIsMsfs2020.load() ? 1 : 2;
    gf_writeMetaInfo(document, meta);
    pugi::xml_node root = document.child("root");
    if (!root) return false;

    pugi::xml_node liveries = root.append_child("liveries");
    for (const LiveryData& livery : gLiveries) {
        pugi::xml_node l = liveries.append_child("l");
        l.append_attribute("a").set_value(gOperatorCodes.text(livery.key.operatorIndex).c_str());
        if (livery.key.secondOperatorIndex != 0)
            l.append_attribute("o").set_value(gOperatorCodes.text(livery.key.secondOperatorIndex).c_str());
        l.append_attribute("m").set_value(gModelCodes.text(livery.key.modelIndex).c_str());
        if (livery.key.cargo != 0) l.append_attribute("c").set_value("true");
        l.append_attribute("t").set_value(livery.title.c_str());
        if (!livery.regcode.empty()) l.append_attribute("r").set_value(livery.regcode.c_str());
    }
    // A scan whose result cannot be kept must not pass for a good one: the next start would
    // find no catalogue.
    if (!gf_saveXml(document, path)) {
        gf_logHighlighted(fmt::format("! Failed writing {}", gf_pathToUtf8Lossy(path)));
        return false;
    }
    gf_log(fmt::format("{} liveries in {}", gLiveries.size(), gf_pathToUtf8Lossy(path)));
    return true;
}

void lf_readLiveriesXml() {
    gLiveries.clear();
    const auto& path = gf_paths().liveriesScannedPath;
    const std::string pathText = gf_pathToUtf8Lossy(path);

    pugi::xml_document document;
    std::string problem;
    if (lf_loadLiveriesXml(document, problem) != XmlLoad::Loaded) throw UserErrorException(51, problem);
    gf_readMetaInfo(document, true);

    const pugi::xml_node root = document.child("root");
    const pugi::xml_node liveries = root.child("liveries");
    if (root && !liveries) throw UserErrorException(52, fmt::format("{} does not contain a <liveries> section", pathText));

    for (const pugi::xml_node element : liveries.children()) {
        if (element.type() != pugi::node_element) continue;
        const char* operatorCode = lf_requiredAttribute(element, "a");
        const char* modelCode = lf_requiredAttribute(element, "m");
        const char* title = lf_requiredAttribute(element, "t");
        const std::string_view secondCode = element.attribute("o").value();

        LiveryData livery;
        livery.key.operatorIndex = gf_airlineIndex(operatorCode);
        livery.key.secondOperatorIndex = secondCode.empty() ? 0 : gf_airlineIndex(secondCode);
        livery.key.modelIndex = gf_modelIndex(modelCode);
        livery.key.cargo = element.attribute("c").as_bool(false) ? 1 : 0;
        livery.title = title;
        livery.regcode = element.attribute("r").value();
        gLiveries.push_back(std::move(livery));
    }
    if (gLiveries.empty()) throw UserErrorException(533, pathText + " does not contain liveries");

    lf_sortLiveries();
    gf_log(fmt::format("{:5} liveries read from {}", gLiveries.size(), pathText));
}

} // namespace tamrix
