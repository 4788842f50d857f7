#pragma once
// The meta block of the program's own XML files: root/meta/info items with "name" and "value"
// (author, version, date, copyright, sim). Readers check it before they trust a file: a file
// without a copyright item is not one of ours.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace tamrix {

inline constexpr std::string_view kMetaAuthorText = "Quorvel developers";
inline constexpr std::string_view kMetaCopyrightText =
    "Copyright (c) Quorvel developers. All rights reserved.";

struct MetaInfo {
    std::string author;
    std::string version;
    std::string date;
    std::string p3dText;
    std::string msfsText;
    int32_t sim = -1; // -1: no "sim" item; 0: an item without a usable number
};

// Appends a new meta block below "root" (created when missing): author and copyright are the
// program's own texts, the date is today's, version and sim come from `info`. True when every
// element and attribute was appended.
bool gf_writeMetaInfo(pugi::xml_node document, const MetaInfo& info);

// The first meta block below "root" (or directly below the document); nothing when the block
// is missing, has no items, has no copyright item or an empty one (which is logged), or - with
// acceptWithoutSim clear - names neither "sim" nor "P3D" nor "MSFS". For each name the first
// item counts. Never throws for content problems.
std::optional<MetaInfo> gf_readMetaInfo(pugi::xml_node document, bool acceptWithoutSim);

} // namespace tamrix
