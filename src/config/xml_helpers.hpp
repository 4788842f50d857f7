#pragma once
// Small XML helpers that every XML writer of the program shares, and the typed look-ups of a
// setting by key in any document shaped like "parameters.xml":
//   <root><parameters><parameter name="KEY" value="VALUE"/>...</parameters></root>
// ("root" may be missing in older files: "parameters" then sits at the top level).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace tamrix {

// Appends the attribute and sets its value; true on success.
bool gf_appendAttribute(pugi::xml_node node, const char* name, const char* value);
bool gf_appendAttributeString(pugi::xml_node node, const char* name, const std::string& value);
// Sets the attribute's value, appending the attribute when the node lacks it; true on success.
bool gf_setAttribute(pugi::xml_node node, const char* name, const std::string& value);

// Append a "parameter" child with "name" and a typed "value" ("true"/"false", decimal, text);
// false as soon as one append fails.
bool gf_appendBoolParameterNode(pugi::xml_node parameters, const char* key, bool value);
bool gf_appendIntParameterNode(pugi::xml_node parameters, const char* key, int32_t value);
bool gf_appendStringParameterNode(pugi::xml_node parameters, const char* key, const std::string& value);

// Loads an XML file read as gf_readRegularFile reads it (never waiting on a pipe, refusing a file
// of more than maxBytes), parsed with pugixml's default options. With maxDepth above 0 a document
// whose elements nest deeper than that is refused too: the indented save of one nested n deep
// grows with n squared. Nothing when loaded; otherwise why not, in words that follow the file's
// name: the reader's cause, the parser's description with the byte where it stopped, or
// "elements nested more than {} deep".
std::optional<std::string> gf_loadXmlFile(pugi::xml_document& document, const std::filesystem::path& path,
                                          std::size_t maxBytes, std::size_t maxDepth = 0);

// Gives the document its declaration (version "1.0", encoding "UTF-8") and saves it indented
// by two spaces, as UTF-8. The file is replaced atomically (gf_writeFileAtomically), so a failed
// save leaves an earlier file as it was. True when the file was written; a save that runs out of
// memory is logged naming the file.
bool gf_saveXml(pugi::xml_document& document, const std::filesystem::path& path);

// The "parameters" element: below "root" when the document has one, else at the top level.
pugi::xml_node gf_parametersNode(pugi::xml_node document);
// The first "parameter" element whose "name" equals the key byte for byte (a missing name
// counts as empty); null when there is none.
pugi::xml_node gf_findParameterNode(pugi::xml_node document, std::string_view key);

// Typed look-ups: nothing when the key is missing. A match without "value" gives false, 0 or
// the empty text; otherwise the value reads with pugixml's conversions (false and 0 when it
// cannot be read).
std::optional<bool> gf_getBoolParameter(pugi::xml_node document, std::string_view key);
std::optional<int32_t> gf_getIntParameter(pugi::xml_node document, std::string_view key);
std::optional<std::string> gf_getStringParameter(pugi::xml_node document, std::string_view key);

} // namespace tamrix
