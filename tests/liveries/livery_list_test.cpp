// The livery list and "LiveriesScanned.xml": order, repeats, the file written and read back,
// and the errors of broken files.
#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/user_error.hpp"
#include "liveries/livery_list.hpp"
#include "liveries_test_support.hpp"
#include "support/named_pipe.hpp"

namespace liveriestest {
namespace {

using tamrix::gLiveries;
using tamrix::LiveryData;

class LiveryListTest : public LiveriesTest {
protected:
    void SetUp() override { installDbase(); }

    LiveryData livery(std::string_view a, std::string_view o, std::string_view m, std::string title,
                      std::string regcode = {}, uint8_t cargo = 0, int16_t priority = 0) {
        LiveryData l;
        l.key.operatorIndex = op(a);
        l.key.secondOperatorIndex = o.empty() ? 0 : op(o);
        l.key.modelIndex = model(m);
        l.key.cargo = cargo;
        l.title = std::move(title);
        l.regcode = std::move(regcode);
        l.priority = priority;
        return l;
    }

    // The error text of reading the file, or "" when it reads.
    static std::string readError() {
        try {
            tamrix::lf_readLiveriesXml();
        } catch (const tamrix::UserErrorException& e) {
            return e.what();
        }
        return {};
    }
};

TEST_F(LiveryListTest, OrderIsOperatorSecondOperatorModelThenTitleByCodeText) {
    using tamrix::lf_compareLiveries;
    // A shorter code that begins the longer one comes first.
    EXPECT_TRUE(lf_compareLiveries(livery("BA", "", "B738", "z"), livery("BAW", "", "A320", "a")));
    EXPECT_TRUE(lf_compareLiveries(livery("BAW", "", "B738", "z"), livery("BAW", "SKW", "A320", "a")));
    EXPECT_TRUE(lf_compareLiveries(livery("BAW", "", "A320", "z"), livery("BAW", "", "B738", "a")));
    EXPECT_TRUE(lf_compareLiveries(livery("BAW", "", "A320", "a"), livery("BAW", "", "A320", "b")));
    // Cargo, regcode and priority take no part.
    EXPECT_FALSE(lf_compareLiveries(livery("BAW", "", "A320", "a", "G-A", 1, 3), livery("BAW", "", "A320", "a")));
    EXPECT_FALSE(lf_compareLiveries(livery("BAW", "", "A320", "a"), livery("BAW", "", "A320", "a", "G-A", 1, 3)));
    // An index beyond the table reads as the empty code.
    LiveryData beyond = livery("BAW", "", "A320", "a");
    beyond.key.operatorIndex = 65000;
    EXPECT_TRUE(lf_compareLiveries(beyond, livery("AAL", "", "A320", "a")));
}

TEST_F(LiveryListTest, RepeatsDifferOnlyInPriorityOrCargoNotInRegcode) {
    using tamrix::lf_sameLivery;
    EXPECT_TRUE(lf_sameLivery(livery("BAW", "", "A320", "t", "G-A", 0, 1), livery("BAW", "", "A320", "t", "G-A", 1, 2)));
    EXPECT_FALSE(lf_sameLivery(livery("BAW", "", "A320", "t", "G-A"), livery("BAW", "", "A320", "t", "G-B")));
    EXPECT_FALSE(lf_sameLivery(livery("BAW", "", "A320", "t"), livery("BAW", "SKW", "A320", "t")));
    EXPECT_TRUE(tamrix::lf_isIncompleteLivery(livery("", "", "A320", "t")));
    EXPECT_TRUE(tamrix::lf_isIncompleteLivery(livery("BAW", "", "", "t")));
    EXPECT_FALSE(tamrix::lf_isIncompleteLivery(livery("BAW", "", "A320", "t")));
}

TEST_F(LiveryListTest, FileRoundTripsSortedWithoutRepeats) {
    gLiveries = {livery("UAL", "SKW", "CRJ9", "United Express", "N100SK", 1, 3), livery("BAW", "", "A320", "Speedbird"),
                 livery("BAW", "", "A320", "Speedbird", "", 1, 2), livery("AAL", "", "B738", "Astrojet", "N901AN", 0, 1),
                 livery("BAW", "", "A320", "Speedbird", "G-EUUA")};
    ASSERT_TRUE(tamrix::lf_writeLiveriesXml());
    EXPECT_TRUE(logged("5 liveries in output/LiveriesScanned.xml"));

    pugi::xml_document document;
    ASSERT_TRUE(document.load_file("output/LiveriesScanned.xml"));
    const pugi::xml_node root = document.child("root");
    EXPECT_STREQ(root.child("meta").find_child_by_attribute("info", "name", "sim").attribute("value").value(), "1");
    // Attributes only where the livery has something to say, in the order a, o, m, c, t, r.
    std::vector<std::string> shapes;
    for (const pugi::xml_node l : root.child("liveries").children("l")) {
        std::string shape;
        for (const pugi::xml_attribute a : l.attributes()) shape += a.name();
        shapes.push_back(shape);
    }
    EXPECT_EQ(shapes, (std::vector<std::string>{"aomctr", "amt", "amct", "amtr", "amtr"}));

    tamrix::lf_readLiveriesXml();
    std::vector<std::string> read;
    for (const auto& l : gLiveries) {
        read.push_back(fmt::format("{} {} {} {} {} {}|{}", tamrix::gOperatorCodes.text(l.key.operatorIndex),
                                   tamrix::gOperatorCodes.text(l.key.secondOperatorIndex),
                                   tamrix::gModelCodes.text(l.key.modelIndex), l.key.cargo, l.title, l.regcode,
                                   l.priority + l.key.fromRegistration));
    }
    // The two equal "Speedbird" liveries without regcode are one; the one with a regcode stays.
    EXPECT_EQ(read, (std::vector<std::string>{"AAL  B738 0 Astrojet N901AN|0", "BAW  A320 0 Speedbird |0",
                                              "BAW  A320 0 Speedbird G-EUUA|0", "UAL SKW CRJ9 1 United Express N100SK|0"}));
    EXPECT_TRUE(logged("    4 liveries read from output/LiveriesScanned.xml"));
}

TEST_F(LiveryListTest, ReadingAddsUnknownCodesToTheTables) {
    const std::size_t operators = tamrix::gOperatorCodes.size();
    testsupport::writeFile("output/LiveriesScanned.xml",
                           R"(<root><liveries><l a="QQX" m="Q100" t="New"/><x a="QQY" o="QQX" m="A320" t="Other"/></liveries></root>)");
    tamrix::lf_readLiveriesXml();
    ASSERT_EQ(gLiveries.size(), 2u);
    EXPECT_EQ(tamrix::gOperatorCodes.size(), operators + 2);
    EXPECT_EQ(gLiveries.front().key.operatorIndex, *tamrix::gOperatorCodes.find("QQX"));
    EXPECT_EQ(gLiveries.back().key.secondOperatorIndex, *tamrix::gOperatorCodes.find("QQX"));
    EXPECT_EQ(tamrix::gModelCodes.text(gLiveries.front().key.modelIndex), "Q100");
}

TEST_F(LiveryListTest, ModelFixesApplyWhenReading) {
    testsupport::writeFile("output/LiveriesScanned.xml", R"(<root><liveries><l a="BAW" m="A32N" t="Neo"/></liveries></root>)");
    tamrix::lf_readLiveriesXml();
    EXPECT_EQ(tamrix::gModelCodes.text(gLiveries.front().key.modelIndex), "A20N");
}

TEST_F(LiveryListTest, BrokenFilesGiveTheirErrorCodes) {
    EXPECT_EQ(readError(), "51: File output/LiveriesScanned.xml not found");

    EXPECT_TRUE(tamrix::lf_liveriesXmlNeedsScan());
    EXPECT_FALSE(loggedPart("scanned again"));

    // A damaged or unreadable file says what is wrong with it, and asks for a scan that rebuilds it.
    testsupport::writeFile("output/LiveriesScanned.xml", "<root><liveries><l a=</root>");
    EXPECT_EQ(readError(), "51: File output/LiveriesScanned.xml is damaged: Error parsing element attribute at byte 21");
    EXPECT_TRUE(tamrix::lf_liveriesXmlNeedsScan());
    EXPECT_TRUE(loggedPart("File output/LiveriesScanned.xml is damaged: Error parsing element attribute at byte 21; "
                           "the liveries are scanned again"));
    fs::remove("output/LiveriesScanned.xml");
    fs::create_directory("output/LiveriesScanned.xml");
    EXPECT_EQ(readError(), "51: File output/LiveriesScanned.xml cannot be read: Is a directory");
    EXPECT_TRUE(tamrix::lf_liveriesXmlNeedsScan());
    EXPECT_TRUE(loggedPart("File output/LiveriesScanned.xml cannot be read: Is a directory; the liveries are scanned again"));
    fs::remove("output/LiveriesScanned.xml");

    testsupport::writeFile("output/LiveriesScanned.xml", "<root><other/></root>");
    EXPECT_EQ(readError(), "52: output/LiveriesScanned.xml does not contain a <liveries> section");
    EXPECT_FALSE(tamrix::lf_liveriesXmlNeedsScan());

    testsupport::writeFile("output/LiveriesScanned.xml", "<root><liveries/></root>");
    EXPECT_EQ(readError(), "533: output/LiveriesScanned.xml does not contain liveries");

    testsupport::writeFile("output/LiveriesScanned.xml", "<other><liveries><l a=\"BAW\" m=\"A320\" t=\"x\"/></liveries></other>");
    EXPECT_EQ(readError(), "533: output/LiveriesScanned.xml does not contain liveries");

    // The livery before the broken element stays in the list.
    testsupport::writeFile("output/LiveriesScanned.xml",
                           R"(<root><liveries><l a="BAW" m="A320" t="ok"/><l a="BAW" m="A320"/></liveries></root>)");
    EXPECT_EQ(readError(), "999: Missing required attribute 't' in <l>");
    ASSERT_EQ(gLiveries.size(), 1u);
    EXPECT_EQ(gLiveries.front().title, "ok");

    testsupport::writeFile("output/LiveriesScanned.xml", R"(<root><liveries><l m="A320" t="x"/></liveries></root>)");
    EXPECT_EQ(readError(), "999: Missing required attribute 'a' in <l>");
    testsupport::writeFile("output/LiveriesScanned.xml", R"(<root><liveries><v a="BAW" t="x"/></liveries></root>)");
    EXPECT_EQ(readError(), "999: Missing required attribute 'm' in <v>");
}

// The catalogue is read only as a regular file of a catalogue's size: a named pipe in its place
// is named, never waited on, and asks for the scan that replaces it.
TEST_F(LiveryListTest, AFileThatIsNoRegularFileIsNamedNotWaitedOn) {
    const fs::path file = "output/LiveriesScanned.xml";
    testsupport::writeFile(file, R"(<root><liveries><l a="BAW" m="A320" t="Speedbird"/></liveries></root>)");
    EXPECT_EQ(readError(), "");
    EXPECT_EQ(gLiveries.size(), 1u);
    EXPECT_FALSE(tamrix::lf_liveriesXmlNeedsScan());

    fs::remove(file);
    ASSERT_TRUE(testsupport::makeNamedPipe(file));
    std::string error = "not read";
    bool needsScan = false;
    ASSERT_TRUE(testsupport::readWithoutAWriter(file, [&] {
        error = readError();
        needsScan = tamrix::lf_liveriesXmlNeedsScan();
    }));
    EXPECT_EQ(error, "51: File output/LiveriesScanned.xml cannot be read: a named pipe stands in its place");
    EXPECT_TRUE(needsScan);
    EXPECT_TRUE(loggedPart("File output/LiveriesScanned.xml cannot be read: a named pipe stands in its place; "
                           "the liveries are scanned again"));

    fs::remove(file);
    testsupport::writeFile(file, "<root/>");
    fs::resize_file(file, tamrix::kMaxLiveriesFileBytes + 1);
    EXPECT_EQ(readError(), fmt::format("51: File output/LiveriesScanned.xml cannot be read: {} bytes, more than the {} "
                                       "it may hold",
                                       tamrix::kMaxLiveriesFileBytes + 1, tamrix::kMaxLiveriesFileBytes));
}

// A file where the catalogue's folder should be: writing fails and says so; reading finds no
// catalogue (there is none, as when the folder is missing) and asks for a scan without calling
// anything damaged.
TEST_F(LiveryListTest, WriterLeavesNoFileForAnEmptyListAndReportsAFailedWrite) {
    gLiveries.clear();
    EXPECT_TRUE(tamrix::lf_writeLiveriesXml());
    EXPECT_FALSE(fs::exists("output/LiveriesScanned.xml"));

    gLiveries = {livery("BAW", "", "A320", "Speedbird")};
    fs::remove_all("output");
    testsupport::writeFile("output", "a file where the folder should be");
    EXPECT_FALSE(tamrix::lf_writeLiveriesXml());
    EXPECT_TRUE(logged("==> ! Failed writing output/LiveriesScanned.xml"));
    EXPECT_FALSE(loggedPart("liveries in"));
    EXPECT_EQ(readError(), "51: File output/LiveriesScanned.xml not found");
    EXPECT_TRUE(tamrix::lf_liveriesXmlNeedsScan());
    EXPECT_FALSE(loggedPart("scanned again"));
    EXPECT_EQ(testsupport::readFile("output"), "a file where the folder should be");
}

} // namespace
} // namespace liveriestest
