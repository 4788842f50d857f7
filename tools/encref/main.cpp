// encref: encrypts a reference file into the program's ".enc" container, or writes the damaged
// variants of one for tests.
//   encref <plain file> <encrypted file>
//   encref --broken <plain file> <folder>
#include <cstdio>
#include <exception>
#include <string_view>

#include "encref/enc_writer.hpp"

int main(int argc, char** argv) {
    try {
        if (argc == 3) {
            tamrix::encref::encryptFile(argv[1], argv[2]);
            return 0;
        }
        if (argc == 4 && std::string_view(argv[1]) == "--broken") {
            tamrix::encref::writeBrokenVariants(argv[2], argv[3]);
            return 0;
        }
        std::fprintf(stderr, "usage: encref <plain file> <encrypted file>\n"
                             "       encref --broken <plain file> <folder>\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "encref: %s\n", e.what());
        return 1;
    }
}
