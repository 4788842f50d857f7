// datagen: writes synthetic data for runs, tests and benchmarks.
//   datagen catalogue <folder> [--liveries N] [--seed N]
//       a livery catalogue of the design size below <folder>: input/dbase.enc,
//       input/AIG-regcodes.enc, input/my_regcodes/user_regcodes.txt, output/LiveriesScanned.xml
//   datagen packages <folder> [--files N] [--seed N]
//       a Community folder of AI packages of the design size and the input/dbase.enc they name
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <exception>
#include <string_view>

#include "datagen/catalogue_generator.hpp"
#include "datagen/package_generator.hpp"

namespace {

constexpr const char* kUsage = "usage: datagen catalogue <folder> [--liveries N] [--seed N]\n"
                                "       datagen packages <folder> [--files N] [--seed N]\n";

bool readNumber(std::string_view text, std::size_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

} // namespace

static int packages(int argc, char** argv) {
    tamrix::datagen::PackageShape shape;
    for (int i = 3; i < argc; i += 2) {
        const std::string_view option = argv[i];
        std::size_t value = 0;
        if (i + 1 >= argc || !readNumber(argv[i + 1], value) || (option != "--files" && option != "--seed")) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        if (option == "--files") {
            shape.files = value;
        } else {
            shape.seed = static_cast<uint32_t>(value);
        }
    }
    try {
        const auto made = tamrix::datagen::writePackageTree(argv[2], shape);
        std::printf("%zu aircraft.cfg files with %zu sections (%zu bytes) below %s\n", made.files, made.sections,
                    made.bytes, made.community.c_str());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "datagen: %s\n", error.what());
        return 1;
    }
}

int main(int argc, char** argv) {
    if (argc >= 3 && std::string_view(argv[1]) == "packages") return packages(argc, argv);
    if (argc < 3 || std::string_view(argv[1]) != "catalogue") {
        std::fputs(kUsage, stderr);
        return 2;
    }
    tamrix::datagen::CatalogueShape shape;
    for (int i = 3; i < argc; i += 2) {
        if (i + 1 >= argc) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        const std::string_view option = argv[i];
        std::size_t value = 0;
        if (!readNumber(argv[i + 1], value)) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        if (option == "--liveries") {
            shape.liveries = value;
        } else if (option == "--seed") {
            shape.seed = static_cast<uint32_t>(value);
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    try {
        const auto made = tamrix::datagen::writeCatalogue(argv[2], shape);
        std::printf("%zu liveries, %zu in-line and %zu AIG registrations written below %s\n", made.liveries,
                    made.inlineRegcodes, made.aigRegcodes, argv[2]);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "datagen: %s\n", error.what());
        return 1;
    }
}
