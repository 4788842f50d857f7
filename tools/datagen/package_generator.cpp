#include "datagen/package_generator.hpp"

#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "encref/enc_writer.hpp"

namespace tamrix::datagen {
namespace {

namespace fs = std::filesystem;

std::string letters(std::size_t index, std::size_t count) {
    std::string text(count, 'A');
    for (std::size_t i = count; i-- > 0; index /= 26) text[i] = static_cast<char>('A' + index % 26);
    return text;
}

void writeBytes(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error(fmt::format("cannot write {}", path.string()));
}

// The ASCII text as UTF-16 little-endian with a byte-order mark.
std::string utf16(std::string_view ascii) {
    std::string out = "\xff\xfe";
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

class PackageWriter {
public:
    PackageWriter(const fs::path& folder, const PackageShape& shape) : m_folder(folder), m_shape(shape), m_random(shape.seed) {
        for (std::size_t i = 0; i < shape.models; ++i) m_models.push_back(fmt::format("{}{:03}", "MHLJ"[i % 4], i));
        for (std::size_t i = 0; i < shape.operators; ++i) m_operators.push_back(letters(i + 26 * 26, 3));
        for (std::size_t i = 0; i < shape.registrations; ++i) m_registrations.push_back("D-" + letters(i, 4));
    }

    GeneratedPackages write() {
        GeneratedPackages made;
        made.community = m_folder / "Community";
        made.packageFolder = made.community / "aig-aitraffic-oci-bench";
        fs::create_directories(m_folder / "output" / "info");
        fs::create_directories(m_folder / "output" / "errors");
        writeDbase();
        const fs::path planes = made.packageFolder / "SimObjects" / "Airplanes";
        for (std::size_t file = 0; file < m_shape.files; ++file) {
            const fs::path aircraft = planes / fmt::format("AC_{:05}", file);
            fs::create_directories(aircraft / "model");
            writeBytes(aircraft / "model" / "model.cfg", "[models]\nnormal=a.gltf\n");
            const std::size_t sections = sectionCount();
            // 45% UTF-8, 45% UTF-8 with a byte-order mark, 5% UTF-16, 5% Windows-1252.
            const auto kind = pick(100);
            const std::string text = cfgText(file, sections, aircraft, kind >= 95 ? "Caf\xe9" : "Cafe");
            std::string bytes;
            if (kind < 45) bytes = text;
            else if (kind < 90) bytes = "\xef\xbb\xbf" + text;
            else if (kind < 95) bytes = utf16(text);
            else bytes = text;
            writeBytes(aircraft / "aircraft.cfg", bytes);
            made.files += 1;
            made.sections += sections;
            made.bytes += bytes.size();
        }
        return made;
    }

private:
    std::size_t pick(std::size_t below) { return std::uniform_int_distribution<std::size_t>(0, below - 1)(m_random); }

    // 60% small files, 30% medium, 10% large: about ten sections per file on average.
    std::size_t sectionCount() {
        const auto kind = pick(10);
        if (kind < 6) return 1 + pick(3);
        if (kind < 9) return 10 + pick(11);
        return 40 + pick(21);
    }

    std::string cfgText(std::size_t file, std::size_t sections, const fs::path& aircraft, std::string_view word) {
        const std::string& model = m_models[file % m_models.size()];
        std::string text = fmt::format("[VERSION]\nmajor = 1\nminor = 0\n\n[GENERAL]\natc_type = \"TT:ATCCOM.AC_MODEL\"\n"
                                       "icao_type_designator = \"{}\"\nicao_manufacturer = \"Maker\"\n\n",
                                       model);
        for (std::size_t s = 0; s < sections; ++s) {
            const std::string& op = m_operators[pick(m_operators.size())];
            const std::size_t variant = pick(100);
            // About 1% repeat the previous title, 3% are faulty (no title or an unknown airline).
            const std::string title = variant == 0 && s > 0 ? fmt::format("AIG {} {} {:05}-{}", model, "dup", file, s - 1)
                                                            : fmt::format("AIG {} {} {:05}-{}", model, op, file, s);
            const std::string texture = fmt::format("{}_{}", op, s);
            fs::create_directories(aircraft / ("texture." + texture));
            text += fmt::format("[fltsim.{}]\n", s);
            if (variant != 1) text += fmt::format("title = \"{}\"\n", title);
            text += fmt::format("model = \"\"\npanel = \"\"\nsound = \"\"\ntexture = \"{}\"\n", texture);
            text += fmt::format("kb_checklists = \"\"\ndescription = \"{} livery\"\nui_manufacturer = \"Maker\"\n", word);
            text += fmt::format("ui_type = \"{}\"\nui_variation = \"{}\"\natc_heavy = 0\n", model, op);
            if (pick(10) < 8) text += fmt::format("atc_id = \"{}\"\n", m_registrations[pick(m_registrations.size())]);
            text += fmt::format("atc_airline = \"Airline {}\"\natc_flight_number = \"{}\"\n", op, 100 + s);
            text += pick(10) == 0 ? "atc_parking_types = \"CARGO\"\n" : "atc_parking_types = \"GATE,RAMP\"\n";
            text += fmt::format("atc_parking_codes = \"{}\"\n", op);
            text += fmt::format("icao_airline = \"{}\"\n\n", variant == 2 ? "QQQ" : op);
        }
        return text;
    }

    void writeDbase() {
        const auto join = [](const std::vector<std::string>& codes, std::size_t from, std::size_t to) {
            std::string out;
            for (std::size_t i = from; i < to && i < codes.size(); ++i) out += (out.empty() ? "" : ",") + codes[i];
            return out;
        };
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <aircrafts>\n";
        for (std::size_t i = 0; i < m_models.size(); i += 20)
            xml += fmt::format("    <aircraft types=\"{}\"/>\n", join(m_models, i, i + 20));
        const std::size_t quarter = m_models.size() / 4;
        xml += fmt::format("  </aircrafts>\n  <cargo_types>\n    <cargo_type types=\"{}\"/>\n  </cargo_types>\n",
                           join(m_models, 0, 4));
        xml += fmt::format("  <heavy>\n    <hvy types=\"{}\"/>\n  </heavy>\n", join(m_models, quarter, 2 * quarter));
        xml += fmt::format("  <large>\n    <lar types=\"{}\"/>\n  </large>\n", join(m_models, 0, quarter));
        xml += fmt::format("  <buzjet>\n    <bzj types=\"{}\"/>\n  </buzjet>\n", join(m_models, 2 * quarter, 2 * quarter + 8));
        xml += fmt::format("  <high_performance>\n    <hpf types=\"{}\"/>\n  </high_performance>\n",
                           join(m_models, 2 * quarter + 8, 2 * quarter + 12));
        xml += fmt::format("  <rotorcraft>\n    <rot types=\"{}\"/>\n  </rotorcraft>\n",
                           join(m_models, 2 * quarter + 12, 2 * quarter + 20));
        xml += fmt::format("  <similar_types>\n    <similar types=\"{}\"/>\n  </similar_types>\n", join(m_models, 0, 4));
        xml += "  <prefixes>\n    <similar types=\"D-,OE-,HB-\"/>\n  </prefixes>\n  <ICAO_airlines>\n";
        for (std::size_t i = 0; i < m_operators.size(); i += 50)
            xml += fmt::format("    <ICAO codes=\"{}\"/>\n", join(m_operators, i, i + 50));
        xml += "    <ICAO codes=\"PVT,ZZZ\"/>\n  </ICAO_airlines>\n";
        xml += fmt::format("  <cargo_operators>\n    <ICAO codes=\"{}\"/>\n  </cargo_operators>\n", join(m_operators, 0, 5));
        xml += "  <fixes>\n    <fx wro=\"A32N\" cor=\"A20N\"/>\n  </fixes>\n";
        xml += "  <simaddons20>\n    <simaddon20 arpts=\"EGLL\"/>\n  </simaddons20>\n";
        xml += "  <simaddons24>\n    <simaddon24 arpts=\"EDDF\"/>\n  </simaddons24>\n  <dbase>\n";
        for (std::size_t i = 0; i < m_registrations.size(); ++i)
            xml += fmt::format("    <d r=\"{}\" a=\"{}\" m=\"{}\"/>\n", m_registrations[i], m_operators[i % m_operators.size()],
                               m_models[i % m_models.size()]);
        xml += "  </dbase>\n</root>\n";
        fs::create_directories(m_folder / "input");
        const fs::path plain = m_folder / "input" / "dbase.source.xml";
        writeBytes(plain, xml);
        encref::encryptFile(plain, m_folder / "input" / "dbase.enc");
        fs::remove(plain);
    }

    fs::path m_folder;
    PackageShape m_shape;
    std::mt19937 m_random;
    std::vector<std::string> m_models;
    std::vector<std::string> m_operators;
    std::vector<std::string> m_registrations;
};

} // namespace

GeneratedPackages writePackageTree(const std::filesystem::path& folder, const PackageShape& shape) {
    return PackageWriter(folder, shape).write();
}

} // namespace tamrix::datagen
