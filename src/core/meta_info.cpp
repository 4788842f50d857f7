#include "core/meta_info.hpp"

#include <charconv>
#include <string>
#include <utility>

#include "core/log.hpp"
#include "core/string_helpers.hpp"
#include "core/time_texts.hpp"

namespace tamrix {
namespace {

bool lf_appendItem(pugi::xml_node meta, const char* name, const std::string& value) {
    pugi::xml_node info = meta.append_child("info");
    if (!info) return false;
    pugi::xml_attribute nameAttribute = info.append_attribute("name");
    if (!nameAttribute || !nameAttribute.set_value(name)) return false;
    pugi::xml_attribute valueAttribute = info.append_attribute("value");
    return valueAttribute && valueAttribute.set_value(value.c_str());
}

// A whole decimal number (blanks around it allowed); 0 for anything else.
int32_t lf_simNumber(std::string_view text) {
    text = gf_trimView(text);
    if (text.empty()) return 0;
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return (error == std::errc() && end == text.data() + text.size()) ? value : 0;
}

} // namespace

bool gf_writeMetaInfo(pugi::xml_node document, const MetaInfo& info) {
    pugi::xml_node root = document.child("root");
    if (!root) root = document.append_child("root");
    if (!root) return false;
    pugi::xml_node meta = root.append_child("meta");
    if (!meta) return false;
    bool ok = lf_appendItem(meta, "author", std::string(kMetaAuthorText));
    ok = lf_appendItem(meta, "version", info.version) && ok;
    ok = lf_appendItem(meta, "date", gf_dateText()) && ok;
    ok = lf_appendItem(meta, "copyright", std::string(kMetaCopyrightText)) && ok;
    if (!lf_appendItem(meta, "sim", std::to_string(info.sim))) return false;
    return ok;
}

std::optional<MetaInfo> gf_readMetaInfo(pugi::xml_node document, bool acceptWithoutSim) {
    pugi::xml_node base = document.child("root");
    if (!base) base = document;
    const pugi::xml_node meta = base.child("meta");
    if (!meta || !meta.child("info")) return std::nullopt;

    MetaInfo result;
    bool copyright = false, author = false, date = false, version = false, p3d = false, msfs = false,
         sim = false;
    // Takes the first item of a name only.
    auto first = [](bool& seen) { return !std::exchange(seen, true); };
    for (const pugi::xml_node item : meta.children("info")) {
        const std::string_view name = item.attribute("name").value();
        const char* value = item.attribute("value").value();
        if (name == "copyright") {
            if (!first(copyright)) continue;
            if (*value == '\0') {
                gf_logHighlighted("no copyright info in the file?");
                return std::nullopt;
            }
        } else if (name == "author") {
            if (first(author)) result.author = value;
        } else if (name == "date") {
            if (first(date)) result.date = value;
        } else if (name == "version") {
            if (first(version)) result.version = value;
        } else if (name == "P3D") {
            if (first(p3d)) result.p3dText = value;
        } else if (name == "MSFS") {
            if (first(msfs)) result.msfsText = value;
        } else if (name == "sim") {
            if (first(sim)) result.sim = lf_simNumber(value);
        }
    }
    if (!copyright) return std::nullopt;
    if (!acceptWithoutSim && !p3d && !msfs && !sim) return std::nullopt;
    return result;
}

} // namespace tamrix
