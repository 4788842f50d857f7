#include "liveries/package_detection.hpp"

#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "config/settings.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/user_error.hpp"

namespace tamrix {

namespace fs = std::filesystem;

namespace {

using Detector = void (*)(const fs::path&, FolderList&);

// Of several packages of the kind the first by name is taken: the order in which the file system
// lists them differs from one file system to the next.
void lf_detect(const fs::path& packagesFolder, FolderList& folders, std::initializer_list<std::string_view> names,
               std::string_view kind) {
    std::optional<fs::path> found;
    for (const auto& entry : fs::directory_iterator(packagesFolder)) {
        const std::string name = entry.path().filename().string();
        if (name.find("_CVT_") != std::string::npos) continue;
        if (found && found->filename().string() <= name) continue;
        for (const auto sought : names) {
            if (name.find(sought) == std::string::npos) continue;
            found = entry.path();
            break;
        }
    }
    if (!found) return;
    gf_logAndFlush(fmt::format("Automatic {} scan found folder: '{}'", kind, found->string()));
    folders.push_back(*found);
}

// One list of detectors per selector option, in the order the option names the package kinds.
std::vector<std::vector<Detector>> lf_buildDetectorTable() {
    std::vector<std::vector<Detector>> table;
    for (const auto& option : AI_PACKAGE_SELECTOR.options) {
        std::vector<Detector> detectors;
        std::string_view rest = option;
        while (!rest.empty()) {
            const std::size_t comma = rest.find(", ");
            const std::string_view kind = rest.substr(0, comma);
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 2);
            if (kind == "AIG") detectors.push_back(lf_detectAigPackage);
            else if (kind == "FSLTL") detectors.push_back(lf_detectFsltlPackage);
            else if (kind == "JF") detectors.push_back(lf_detectJfPackage);
            else if (kind == "MTL") detectors.push_back(lf_detectIvaoMtlPackage);
        }
        table.push_back(std::move(detectors));
    }
    return table;
}

} // namespace

void lf_detectAigPackage(const fs::path& packagesFolder, FolderList& folders) {
    lf_detect(packagesFolder, folders, {"aig-aitraffic-oci"}, "AIG");
}
void lf_detectFsltlPackage(const fs::path& packagesFolder, FolderList& folders) {
    lf_detect(packagesFolder, folders, {"fsltl-traffic-base"}, "FSLTL");
}
void lf_detectIvaoMtlPackage(const fs::path& packagesFolder, FolderList& folders) {
    lf_detect(packagesFolder, folders, {"IVAO_MTL"}, "IVAO_MTL");
}
void lf_detectJfPackage(const fs::path& packagesFolder, FolderList& folders) {
    lf_detect(packagesFolder, folders, {"justflight-aircraft-traffic-fleet", "justflight-fstraffic-module"}, "JF");
}
void lf_detectUserAiTrafficPackage(const fs::path& packagesFolder, FolderList& folders) {
    lf_detect(packagesFolder, folders, {"user-aitraffic"}, "user-aitraffic");
}

void lf_collectPackageFolders(const fs::path& packagesFolder, FolderList& folders) {
    static const std::vector<std::vector<Detector>> kDetectors = lf_buildDetectorTable();
    const auto index = AI_PACKAGE_SELECTOR.indexOfValue();
    if (!index || *index >= kDetectors.size())
        throw std::runtime_error(fmt::format("{} not set", AI_PACKAGE_SELECTOR.name));
    for (const Detector detect : kDetectors[*index]) detect(packagesFolder, folders);
    lf_detectUserAiTrafficPackage(packagesFolder, folders);
}

void lf_checkLfolders(FolderList& folders) {
    for (const StringParameter* parameter : gLiveryFolderParameters) {
        const std::string value = parameter->current.get();
        if (value.empty()) continue;
        // Settings files may come from Windows: their path texts are mapped to native paths.
        const fs::path path = gf_pathFromWindowsText(value);
        std::error_code ec;
        if (!fs::exists(path, ec) || ec) {
            gf_logHighlighted(fmt::format("{}: '{}' does not exist", parameter->name, value));
            throw UserErrorException(
                243, fmt::format("the path pointed to by parameter '{}' does not exist, see Log.txt!", parameter->name));
        }
        folders.push_back(path);
    }
}

} // namespace tamrix
