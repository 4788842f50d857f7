#include "datagen/catalogue_generator.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <random>
#include <set>
#include <stdexcept>
#include <string_view>
#include <unordered_set>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "encref/enc_writer.hpp"

namespace tamrix::datagen {
namespace {

namespace fs = std::filesystem;

enum Category : int { Light, Buzjet, Large, Heavy, HighPerf, Rotorcraft, CategoryCount };

// Share of the models per category, and the letter their codes start with.
constexpr std::array<double, CategoryCount> kCategoryShare{0.13, 0.08, 0.52, 0.19, 0.03, 0.05};
constexpr std::array<char, CategoryCount> kCategoryLetter{'L', 'J', 'M', 'H', 'F', 'R'};

// Registration prefixes, grouped by region as the dbase groups them.
const std::vector<std::vector<std::string>> kPrefixGroups{
    {"D-", "OE-", "HB-"}, {"G-", "EI-", "2-"},  {"N", "C-"},          {"F-", "OO-", "LX-"},
    {"PH-", "OY-"},       {"SE-", "LN-", "OH-"}, {"I-", "EC-", "CS-"}, {"SP-", "OK-", "OM-", "HA-"},
    {"YR-", "LZ-", "SX-"}, {"TC-", "4X-"},      {"A6-", "A7-", "A9C-"}, {"9V-", "9M-", "HS-"},
    {"VH-", "ZK-"},       {"JA", "HL"},         {"B-", "VT-"},         {"PR-", "LV-", "CC-"},
};

struct Model {
    std::string code;
    Category category;
};

struct Operator {
    std::string code;
    std::string prefix;
    bool cargo = false;
    std::vector<std::size_t> fleet; // model positions
};

struct Livery {
    std::size_t op;
    std::size_t secondOp; // == op: none
    std::size_t model;
    bool cargo;
    std::string title;
    std::string regcode;
};

class Generator {
public:
    Generator(const fs::path& folder, const CatalogueShape& shape) : m_folder(folder), m_shape(shape), m_random(shape.seed) {}

    GeneratedCatalogue run() {
        fs::create_directories(m_folder / "input" / "my_regcodes");
        fs::create_directories(m_folder / "output" / "info");
        fs::create_directories(m_folder / "output" / "errors");
        makeModels();
        makeOperators();
        makeLiveries();
        writeDbase();
        writeLiveries();
        writeAig();
        writeUserFile();
        makeSamples();
        return std::move(m_result);
    }

private:
    std::size_t uniform(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_random); }
    bool chance(double p) { return std::bernoulli_distribution(p)(m_random); }

    std::string letters(std::size_t count) {
        std::string text;
        for (std::size_t i = 0; i < count; ++i) text += static_cast<char>('A' + uniform(26));
        return text;
    }

    // A registration of the prefix that no source has used yet.
    std::string newRegistration(const std::string& prefix) {
        for (;;) {
            std::string reg = prefix;
            if (prefix.back() == '-') {
                reg += letters(4);
            } else {
                reg += fmt::format("{}{}", 100 + uniform(900), letters(2));
            }
            if (m_registrations.insert(reg).second) return reg;
        }
    }

    const std::string& randomPrefix() {
        const auto& group = kPrefixGroups[uniform(kPrefixGroups.size())];
        return group[uniform(group.size())];
    }

    void makeModels() {
        std::size_t made = 0;
        for (int c = 0; c < CategoryCount; ++c) {
            const auto count = c + 1 == CategoryCount
                                   ? m_shape.models - made
                                   : static_cast<std::size_t>(std::lround(kCategoryShare[c] * static_cast<double>(m_shape.models)));
            for (std::size_t i = 0; i < count && made < m_shape.models; ++i, ++made) {
                m_models.push_back({fmt::format("{}{:03}", kCategoryLetter[c], i), static_cast<Category>(c)});
                m_byCategory[c].push_back(m_models.size() - 1);
            }
        }
        // Similar types: runs of 2 to 4 models of one category, over about two thirds of them.
        for (const auto& members : m_byCategory) {
            for (std::size_t i = 0; i + 1 < members.size();) {
                const std::size_t size = std::min<std::size_t>(2 + uniform(3), members.size() - i);
                if (size >= 2 && chance(0.67)) {
                    std::vector<std::string> group;
                    for (std::size_t j = 0; j < size; ++j) group.push_back(m_models[members[i + j]].code);
                    m_similarGroups.push_back(std::move(group));
                }
                i += size;
            }
        }
    }

    std::string operatorCode(std::size_t i) const {
        // Three letters counted from "AAB"; the generic and private codes are added apart.
        std::string code(3, 'A');
        std::size_t n = i + 1;
        for (int k = 2; k >= 0; --k) {
            code[static_cast<std::size_t>(k)] = static_cast<char>('A' + n % 26);
            n /= 26;
        }
        return code;
    }

    void makeOperators() {
        for (std::size_t i = 0; m_operators.size() < m_shape.operators; ++i) {
            const std::string code = operatorCode(i);
            if (code == "ZZZ" || code == "PVT") continue;
            Operator op{code, randomPrefix(), chance(0.05), {}};
            // Big airlines first: larger fleets, mostly airliners.
            const double rank = static_cast<double>(m_operators.size() + 1);
            const std::size_t fleet = 1 + static_cast<std::size_t>(12.0 / std::sqrt(rank)) + uniform(3);
            for (std::size_t f = 0; f < fleet; ++f) {
                const double pick = std::uniform_real_distribution<double>(0.0, 1.0)(m_random);
                const int category = pick < 0.55 ? Large : pick < 0.85 ? Heavy : pick < 0.93 ? Buzjet : pick < 0.97 ? Light : Rotorcraft;
                const auto& members = m_byCategory[category];
                if (!members.empty()) op.fleet.push_back(members[uniform(members.size())]);
            }
            std::sort(op.fleet.begin(), op.fleet.end());
            op.fleet.erase(std::unique(op.fleet.begin(), op.fleet.end()), op.fleet.end());
            m_operators.push_back(std::move(op));
        }
        m_generic = m_operators.size();
        m_operators.push_back({"ZZZ", "", false, {}});
        m_private = m_operators.size();
        m_operators.push_back({"PVT", "", false, {}});
        // Zipf-like traffic share of the airlines.
        for (std::size_t i = 0; i < m_generic; ++i) m_weights.push_back(1.0 / std::pow(static_cast<double>(i + 1), 0.8));
    }

    void addLivery(std::size_t op, std::size_t secondOp, std::size_t model, bool cargo, std::string regcode) {
        std::string title = fmt::format("Gen {} {}{} {} #{}", m_models[model].code, m_operators[op].code,
                                        secondOp != op ? "-" + m_operators[secondOp].code : std::string(),
                                        cargo ? "Cargo" : "Livery", m_liveries.size());
        if (!regcode.empty()) {
            title += " " + regcode;
            ++m_result.inlineRegcodes;
        }
        m_liveries.push_back({op, secondOp, model, cargo, std::move(title), std::move(regcode)});
    }

    void makeLiveries() {
        // Generic liveries for about half of the models, with freighters for the heavies.
        for (std::size_t m = 0; m < m_models.size() && m_liveries.size() < m_shape.liveries; ++m) {
            if (!chance(0.5)) continue;
            addLivery(m_generic, m_generic, m, false, {});
            if (m_models[m].category == Heavy && chance(0.5)) addLivery(m_generic, m_generic, m, true, {});
        }
        // Private liveries of the small models, registered all over the world.
        const std::size_t privateCount = m_shape.liveries / 20;
        for (std::size_t i = 0; i < privateCount && m_liveries.size() < m_shape.liveries; ++i) {
            const int category = i % 3 == 0 ? Light : i % 3 == 1 ? Buzjet : Rotorcraft;
            const auto& members = m_byCategory[category];
            if (members.empty()) continue;
            const std::size_t model = members[uniform(members.size())];
            addLivery(m_private, m_private, model, false, chance(0.8) ? newRegistration(randomPrefix()) : std::string());
        }
        // Airline liveries, most of them for the big airlines.
        std::discrete_distribution<std::size_t> airline(m_weights.begin(), m_weights.end());
        while (m_liveries.size() < m_shape.liveries) {
            const std::size_t op = airline(m_random);
            const Operator& o = m_operators[op];
            if (o.fleet.empty()) continue;
            const std::size_t model = o.fleet[uniform(o.fleet.size())];
            std::size_t secondOp = op;
            if (chance(0.08)) secondOp = airline(m_random);
            const bool cargo = o.cargo || chance(0.04);
            addLivery(op, secondOp, model, cargo, chance(0.2) ? newRegistration(o.prefix) : std::string());
        }
        // One livery twice, as a scan of two overlapping folders may leave it.
        m_liveries.push_back(m_liveries[m_liveries.size() / 2]);
        m_result.liveries = m_liveries.size();
    }

    static void appendMeta(pugi::xml_node root, const char* version) {
        pugi::xml_node meta = root.append_child("meta");
        const std::array<std::pair<const char*, const char*>, 5> items{{
            {"author", "Quorvel developers"},
            {"version", version},
            {"date", "2025-01-01"},
            {"copyright", "Copyright (c) Quorvel developers. All rights reserved."},
            {"sim", "1"},
        }};
        for (const auto& [name, value] : items) {
            pugi::xml_node info = meta.append_child("info");
            info.append_attribute("name").set_value(name);
            info.append_attribute("value").set_value(value);
        }
    }

    void save(pugi::xml_document& document, const fs::path& path) {
        if (!document.save_file(path.c_str(), "  ", pugi::format_default, pugi::encoding_utf8))
            throw std::runtime_error(fmt::format("cannot write {}", path.string()));
    }

    void saveEncrypted(pugi::xml_document& document, const fs::path& encPath) {
        const fs::path plain = encPath.string() + ".plain";
        save(document, plain);
        encref::encryptFile(plain, encPath);
        fs::remove(plain);
    }

    static void appendList(pugi::xml_node section, const char* element, const char* attribute,
                           const std::vector<std::string>& codes) {
        // Lines of 16 codes, as the shipped file has them.
        for (std::size_t i = 0; i < codes.size(); i += 16) {
            std::string text;
            for (std::size_t j = i; j < std::min(codes.size(), i + 16); ++j) text += (j > i ? "," : "") + codes[j];
            section.append_child(element).append_attribute(attribute).set_value(text.c_str());
        }
    }

    std::vector<std::string> modelCodes(int category) const {
        std::vector<std::string> codes;
        for (const std::size_t m : m_byCategory[category]) codes.push_back(m_models[m].code);
        return codes;
    }

    void writeDbase() {
        pugi::xml_document document;
        pugi::xml_node root = document.append_child("root");
        std::vector<std::string> all;
        for (const auto& model : m_models) all.push_back(model.code);
        appendList(root.append_child("aircrafts"), "aircraft", "types", all);
        std::vector<std::string> cargoTypes = modelCodes(Heavy);
        cargoTypes.resize(std::min<std::size_t>(cargoTypes.size(), 5));
        appendList(root.append_child("cargo_types"), "cargo_type", "types", cargoTypes);
        appendList(root.append_child("heavy"), "hvy", "types", modelCodes(Heavy));
        appendList(root.append_child("large"), "lar", "types", modelCodes(Large));
        appendList(root.append_child("buzjet"), "bzj", "types", modelCodes(Buzjet));
        appendList(root.append_child("high_performance"), "hpf", "types", modelCodes(HighPerf));
        appendList(root.append_child("rotorcraft"), "rot", "types", modelCodes(Rotorcraft));
        pugi::xml_node similar = root.append_child("similar_types");
        for (const auto& group : m_similarGroups) appendList(similar, "similar", "types", group);
        pugi::xml_node prefixes = root.append_child("prefixes");
        for (const auto& group : kPrefixGroups) appendList(prefixes, "similar", "types", group);
        std::vector<std::string> airlines;
        std::vector<std::string> cargoOperators;
        for (const auto& op : m_operators) {
            airlines.push_back(op.code);
            if (op.cargo) cargoOperators.push_back(op.code);
        }
        if (cargoOperators.empty()) cargoOperators.push_back(m_operators.front().code);
        appendList(root.append_child("ICAO_airlines"), "ICAO", "codes", airlines);
        appendList(root.append_child("cargo_operators"), "ICAO", "codes", cargoOperators);
        appendList(root.append_child("simaddons20"), "simaddon20", "arpts", {"EGLL"});
        appendList(root.append_child("simaddons24"), "simaddon24", "arpts", {"EDDF"});
        saveEncrypted(document, m_folder / "input" / "dbase.enc");
    }

    void writeLiveries() {
        pugi::xml_document document;
        pugi::xml_node root = document.append_child("root");
        appendMeta(root, "12.5.4");
        pugi::xml_node list = root.append_child("liveries");
        for (const auto& livery : m_liveries) {
            pugi::xml_node l = list.append_child("l");
            l.append_attribute("a").set_value(m_operators[livery.op].code.c_str());
            if (livery.secondOp != livery.op) l.append_attribute("o").set_value(m_operators[livery.secondOp].code.c_str());
            l.append_attribute("m").set_value(m_models[livery.model].code.c_str());
            if (livery.cargo) l.append_attribute("c").set_value("true");
            l.append_attribute("t").set_value(livery.title.c_str());
            if (!livery.regcode.empty()) l.append_attribute("r").set_value(livery.regcode.c_str());
        }
        save(document, m_folder / "output" / "LiveriesScanned.xml");
    }

    // Registrations of the regcode files: new ones in the operator's region.
    std::vector<std::string> registrationsFor(const Livery& livery, std::size_t count) {
        const std::string& prefix = m_operators[livery.op].prefix.empty() ? randomPrefix() : m_operators[livery.op].prefix;
        std::vector<std::string> regs;
        for (std::size_t i = 0; i < count; ++i) regs.push_back(newRegistration(prefix));
        return regs;
    }

    static std::string join(const std::vector<std::string>& regs) {
        std::string text;
        for (const auto& reg : regs) text += (text.empty() ? "" : ",") + reg;
        return text;
    }

    void writeAig() {
        pugi::xml_document document;
        pugi::xml_node root = document.append_child("root");
        appendMeta(root, "1.0.0");
        pugi::xml_node aig = root.append_child("aig");
        for (std::size_t i = 0; i < m_shape.aigEntries; ++i) {
            pugi::xml_node l = aig.append_child("l");
            if (i % 50 == 49) {
                // A title that must not be used, and one that is not installed.
                l.append_attribute("t").set_value(fmt::format("Unwanted livery {}", i).c_str());
                continue;
            }
            const Livery& livery = m_liveries[uniform(m_liveries.size())];
            const bool special = i % 25 == 0;
            const std::size_t count = special && i % 50 == 0 ? 1 : 1 + uniform(2 * m_shape.regcodesPerAigEntry - 1);
            const auto regs = registrationsFor(livery, count);
            m_knownRegistrations.insert(m_knownRegistrations.end(), regs.begin(), regs.end());
            m_result.aigRegcodes += regs.size();
            const std::string title = i % 97 == 0 ? fmt::format("Not installed {}", i) : livery.title;
            l.append_attribute("t").set_value(title.c_str());
            l.append_attribute("r").set_value(join(regs).c_str());
            if (special) l.append_attribute("s").set_value("true");
        }
        saveEncrypted(document, m_folder / "input" / "AIG-regcodes.enc");
    }

    void writeUserFile() {
        std::ofstream out(m_folder / "input" / "my_regcodes" / "user_regcodes.txt", std::ios::binary | std::ios::trunc);
        for (std::size_t i = 0; i < m_shape.userLines; ++i) {
            const Livery& livery = m_liveries[uniform(m_liveries.size())];
            if (i % 40 == 0) {
                out << livery.title << "\n"; // a title not to use
                continue;
            }
            std::vector<std::string> regs = registrationsFor(livery, 1 + uniform(3));
            // Some registrations move over from the AIG file to the user's own choice.
            if (i % 10 == 0 && !m_knownRegistrations.empty()) regs.push_back(m_knownRegistrations[uniform(m_knownRegistrations.size())]);
            m_knownRegistrations.insert(m_knownRegistrations.end(), regs.begin(), regs.end());
            out << livery.title << ";" << join(regs) << (i % 15 == 0 ? ";#" : "") << "\n";
        }
        if (!out) throw std::runtime_error("cannot write the user regcode file");
    }

    void makeSamples() {
        std::discrete_distribution<std::size_t> airline(m_weights.begin(), m_weights.end());
        for (std::size_t i = 0; i < m_shape.sampleAircraft; ++i) {
            SampleAircraft a;
            const double kind = std::uniform_real_distribution<double>(0.0, 1.0)(m_random);
            std::size_t model = uniform(m_models.size());
            if (kind < 0.7) {
                const Operator& o = m_operators[airline(m_random)];
                a.operatorCode = o.code;
                if (!o.fleet.empty()) model = o.fleet[uniform(o.fleet.size())];
                a.cargo = o.cargo;
            } else if (kind < 0.8) {
                a.operatorCode = "PVT";
                const auto& light = m_byCategory[chance(0.5) ? Light : Buzjet];
                if (!light.empty()) model = light[uniform(light.size())];
            } else if (kind < 0.9) {
                a.operatorCode = m_operators[airline(m_random)].code;
                a.secondOperatorCode = m_operators[airline(m_random)].code;
            } else {
                a.operatorCode = fmt::format("X{}", letters(2)); // not an airline of the catalogue
            }
            a.modelCode = m_models[model].code;
            const double reg = std::uniform_real_distribution<double>(0.0, 1.0)(m_random);
            if (reg < 0.6 && !m_knownRegistrations.empty()) {
                a.registration = m_knownRegistrations[uniform(m_knownRegistrations.size())];
            } else if (reg < 0.8) {
                a.registration = newRegistration(randomPrefix());
            }
            m_result.aircraft.push_back(std::move(a));
        }
    }

    fs::path m_folder;
    CatalogueShape m_shape;
    std::mt19937 m_random;
    std::vector<Model> m_models;
    std::array<std::vector<std::size_t>, CategoryCount> m_byCategory;
    std::vector<std::vector<std::string>> m_similarGroups;
    std::vector<Operator> m_operators;
    std::vector<double> m_weights;
    std::size_t m_generic = 0;
    std::size_t m_private = 0;
    std::vector<Livery> m_liveries;
    std::unordered_set<std::string> m_registrations;
    std::vector<std::string> m_knownRegistrations;
    GeneratedCatalogue m_result;
};

} // namespace

GeneratedCatalogue writeCatalogue(const std::filesystem::path& folder, const CatalogueShape& shape) {
    return Generator(folder, shape).run();
}

} // namespace tamrix::datagen
