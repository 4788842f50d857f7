// bglgen: writes a BGL scenery file with airport sections from a readable description.
//
//   bglgen DESCRIPTION OUT.bgl          the file the description says
//   bglgen --large AIRPORTS SPOTS OUT.bgl   one section of AIRPORTS airports, SPOTS parking spots each
//
// A description has one item per line; "#" starts a comment; values are key=value, numbers in
// decimal or 0x hex:
//   header size=56 sections=N          (optional) header size and section count as written
//   section type=3 flag=1 entries=1    a section; its records follow (entries > 1: that many
//                                      entries of the section table share them)
//   record id=0x12 words=2 size=B      a record of another kind (zero words after its header)
//   airport code=EHAM alt=-3000 raw=R size=B    an airport record; alt in millimetres
//   helipad lat=D lon=D width=M rawlat=R rawlon=R size=B
//   parking count=N size=B             a taxiway parking list; its spots follow
//   spot name=10 number=5 type=9 heading=0 radius=20 lat=D lon=D codes=M rawlat=R rawlon=R
//   sub id=0x12 words=2 size=B         a sub-record of another kind inside the airport
//   truncate bytes=N                   cut the written file to N bytes
// Keys left out take the usual values; sizes and counts left out are the true ones.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "bglgen/bgl_writer.hpp"

int main(int argc, char** argv) {
    try {
        bglgen::BglFile file;
        std::string outPath;
        if (argc == 5 && std::string(argv[1]) == "--large") {
            file = bglgen::largeFile(static_cast<uint32_t>(std::stoul(argv[2])),
                                     static_cast<uint32_t>(std::stoul(argv[3])));
            outPath = argv[4];
        } else if (argc == 3) {
            std::ifstream in(argv[1], std::ios::binary);
            if (!in) {
                std::cerr << "bglgen: cannot read " << argv[1] << "\n";
                return 1;
            }
            std::ostringstream text;
            text << in.rdbuf();
            file = bglgen::parseDescription(text.str());
            outPath = argv[2];
        } else {
            std::cerr << "usage: bglgen DESCRIPTION OUT.bgl | bglgen --large AIRPORTS SPOTS OUT.bgl\n";
            return 2;
        }
        const std::vector<uint8_t> bytes = bglgen::writeBgl(file);
        std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::cerr << "bglgen: cannot write " << outPath << "\n";
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "bglgen: " << e.what() << "\n";
        return 1;
    }
}
