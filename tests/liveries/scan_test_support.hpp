#pragma once
// Shared by the livery scan tests: the program's folder as in liveries_test_support.hpp, with the
// scan's own reference database (tests/fixtures/packages/dbase.xml) and the user's regcode files,
// and the hand-written package tree of tests/fixtures/packages.

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include <pugixml.hpp>

#include "liveries/liveries_test_support.hpp"

namespace scantest {

namespace fs = std::filesystem;

inline const fs::path kPackages = fs::path(QUORVEL_SOURCE_DIR) / "tests" / "fixtures" / "packages";

// One livery as "LiveriesScanned.xml" holds it: title, operator, second operator, model, cargo,
// regcode.
using XmlLivery = std::tuple<std::string, std::string, std::string, std::string, bool, std::string>;

class ScanTest : public liveriestest::LiveriesTest {
protected:
    ScanTest() {
        encrypt(kPackages / "dbase.xml", "input/dbase.enc");
        EXPECT_TRUE(tamrix::gf_readDbase());
        installMyRegcodes();
    }

    static std::vector<XmlLivery> scannedLiveries() {
        pugi::xml_document doc;
        std::vector<XmlLivery> out;
        if (!doc.load_file("output/LiveriesScanned.xml")) return out;
        for (const auto l : doc.child("root").child("liveries").children())
            out.emplace_back(l.attribute("t").value(), l.attribute("a").value(), l.attribute("o").value(),
                             l.attribute("m").value(), l.attribute("c").as_bool(), l.attribute("r").value());
        std::sort(out.begin(), out.end());
        return out;
    }
};

} // namespace scantest
