#include "config/xml_helpers.hpp"

#include <new>
#include <utility>

#include <fmt/format.h>

#include "core/files.hpp"
#include "core/log.hpp"

namespace tamrix {
namespace {

struct StringWriter final : pugi::xml_writer {
    std::string bytes;
    void write(const void* data, size_t size) override { bytes.append(static_cast<const char*>(data), size); }
};

std::string_view valueText(pugi::xml_node parameter) {
    return parameter.attribute("value").value();
}

// Whether some element lies more than maxDepth below the document; walked without recursion, and
// given up at the first such element.
bool nestsDeeperThan(const pugi::xml_document& document, std::size_t maxDepth) {
    std::size_t depth = 0;
    pugi::xml_node node = document.first_child();
    while (node) {
        if (node.type() == pugi::node_element && depth + 1 > maxDepth) return true;
        if (pugi::xml_node child = node.first_child()) {
            node = child;
            ++depth;
            continue;
        }
        while (node && !node.next_sibling()) {
            node = node.parent();
            if (depth == 0) return false;
            --depth;
        }
        if (node) node = node.next_sibling();
    }
    return false;
}

} // namespace

bool gf_appendAttribute(pugi::xml_node node, const char* name, const char* value) {
    pugi::xml_attribute attribute = node.append_attribute(name);
    return attribute && attribute.set_value(value);
}

bool gf_appendAttributeString(pugi::xml_node node, const char* name, const std::string& value) {
    return gf_appendAttribute(node, name, value.c_str());
}

bool gf_setAttribute(pugi::xml_node node, const char* name, const std::string& value) {
    pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute) attribute = node.append_attribute(name);
    return attribute && attribute.set_value(value.c_str());
}

bool gf_appendStringParameterNode(pugi::xml_node parameters, const char* key, const std::string& value) {
    pugi::xml_node parameter = parameters.append_child("parameter");
    return parameter && gf_appendAttribute(parameter, "name", key) &&
           gf_appendAttributeString(parameter, "value", value);
}

bool gf_appendBoolParameterNode(pugi::xml_node parameters, const char* key, bool value) {
    return gf_appendStringParameterNode(parameters, key, value ? "true" : "false");
}

bool gf_appendIntParameterNode(pugi::xml_node parameters, const char* key, int32_t value) {
    return gf_appendStringParameterNode(parameters, key, fmt::format("{}", value));
}

std::optional<std::string> gf_loadXmlFile(pugi::xml_document& document, const std::filesystem::path& path,
                                          std::size_t maxBytes, std::size_t maxDepth) {
    document.reset();
    FileBytes file = gf_readRegularFile(path, maxBytes);
    if (!file.read()) return std::move(file.problem);
    const pugi::xml_parse_result parsed = document.load_buffer(file.bytes.data(), file.bytes.size());
    if (!parsed) return fmt::format("{} at byte {}", parsed.description(), parsed.offset);
    if (maxDepth > 0 && nestsDeeperThan(document, maxDepth)) {
        document.reset();
        return fmt::format("elements nested more than {} deep", maxDepth);
    }
    return std::nullopt;
}

bool gf_saveXml(pugi::xml_document& document, const std::filesystem::path& path) {
    pugi::xml_node declaration;
    for (pugi::xml_node node : document.children()) {
        if (node.type() == pugi::node_declaration) {
            declaration = node;
            break;
        }
    }
    if (!declaration) declaration = document.prepend_child(pugi::node_declaration);
    if (!declaration || !gf_setAttribute(declaration, "version", "1.0") ||
        !gf_setAttribute(declaration, "encoding", "UTF-8"))
        return false;
    StringWriter writer;
    try {
        document.save(writer, "  ", pugi::format_indent, pugi::encoding_utf8);
    } catch (const std::bad_alloc&) {
        gf_logHighlighted(fmt::format("Could not write {}: not enough memory", path.string()));
        return false;
    }
    return gf_writeFileAtomically(path, writer.bytes);
}

pugi::xml_node gf_parametersNode(pugi::xml_node document) {
    const pugi::xml_node root = document.child("root");
    return (root ? root : document).child("parameters");
}

pugi::xml_node gf_findParameterNode(pugi::xml_node document, std::string_view key) {
    for (pugi::xml_node parameter : gf_parametersNode(document).children("parameter"))
        if (key == std::string_view(parameter.attribute("name").value())) return parameter;
    return {};
}

std::optional<bool> gf_getBoolParameter(pugi::xml_node document, std::string_view key) {
    const pugi::xml_node parameter = gf_findParameterNode(document, key);
    if (!parameter) return std::nullopt;
    return parameter.attribute("value").as_bool(false);
}

std::optional<int32_t> gf_getIntParameter(pugi::xml_node document, std::string_view key) {
    const pugi::xml_node parameter = gf_findParameterNode(document, key);
    if (!parameter) return std::nullopt;
    return parameter.attribute("value").as_int(0);
}

std::optional<std::string> gf_getStringParameter(pugi::xml_node document, std::string_view key) {
    const pugi::xml_node parameter = gf_findParameterNode(document, key);
    if (!parameter) return std::nullopt;
    return std::string(valueText(parameter));
}

} // namespace tamrix
