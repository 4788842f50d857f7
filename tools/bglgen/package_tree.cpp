#include "bglgen/package_tree.hpp"

#include <fstream>
#include <stdexcept>
#include <vector>

#include "bglgen/bgl_writer.hpp"

namespace bglgen {

namespace {

void writeBytes(const std::filesystem::path& path, const char* data, std::size_t size) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data, static_cast<std::streamsize>(size));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

BglFile airportFile(const AirportPackage& p) {
    BglFile file;
    Section& section = file.sections.emplace_back();
    Airport airport;
    airport.rawCode = packIcao(p.code);
    airport.altitudeMm = 30000;
    for (uint32_t i = 0; i < p.helipads; ++i)
        airport.subRecords.push_back(Helipad{p.latitude + 0.001 * (i + 1), p.longitude, 20.0f, {}, {}, {}});
    ParkingList list;
    for (uint32_t i = 0; i < p.spots; ++i) {
        Spot spot;
        spot.number = i + 1;
        spot.headingDeg = static_cast<float>((i * 30) % 360);
        spot.latitude = p.latitude + 0.0001 * i;
        spot.longitude = p.longitude + 0.0001 * (i % 7);
        list.spots.push_back(spot);
    }
    if (!list.spots.empty()) airport.subRecords.emplace_back(std::move(list));
    section.records.emplace_back(std::move(airport));
    return file;
}

BglFile objectsFile() {
    BglFile file;
    Section& section = file.sections.emplace_back();
    section.type = 0x25;
    section.records.emplace_back(RawRecord{});
    return file;
}

} // namespace

std::string manifestText(std::string_view title, std::string_view manufacturer, std::string_view creator,
                         std::string_view version) {
    std::string out = "{\n  \"dependencies\": [],\n  \"content_type\": \"SCENERY\",\n";
    out += "  \"title\": \"" + std::string(title) + "\",\n";
    out += "  \"manufacturer\": \"" + std::string(manufacturer) + "\",\n";
    out += "  \"creator\": \"" + std::string(creator) + "\",\n";
    out += "  \"package_version\": \"" + std::string(version) + "\",\n";
    out += "  \"minimum_game_version\": \"1.37.19\"\n}\n";
    return out;
}

std::filesystem::path writeAirportPackage(const std::filesystem::path& parent, const AirportPackage& p) {
    const std::filesystem::path top = parent / p.folderName;
    std::filesystem::create_directories(top);
    if (!p.manifest.empty()) writeBytes(top / "manifest.json", p.manifest.data(), p.manifest.size());
    const std::vector<uint8_t> bytes = writeBgl(airportFile(p));
    writeBytes(top / p.bglPath, reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (p.objectsFile) {
        const std::vector<uint8_t> objects = writeBgl(objectsFile());
        writeBytes(top / "scenery" / "objects.bgl", reinterpret_cast<const char*>(objects.data()), objects.size());
    }
    return top;
}

} // namespace bglgen
