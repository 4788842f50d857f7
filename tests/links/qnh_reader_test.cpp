#include "links/qnh_reader.hpp"

#include <gtest/gtest.h>

#include "link_test_support.hpp"
#include "reader_test_support.hpp"
#include "links/traffic_reader.hpp"
#include "links/traffic_source_state.hpp"

using namespace tamrix;

namespace {

class QnhReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        linktest::resetTrafficLinks();
        reader.lastQnh.store(1013);
        gf_trafficReader().qnh.store(1013);
        gCurrentQnh.store(1013);
        gShownQnh.store(0);
    }

    // The QNH stored after the datagram (the reader's own value).
    int32_t after(std::string_view datagram) {
        reader.interpret(datagram);
        return reader.lastQnh.load();
    }

    testsupport::CapturedLog log;
    QnhReader& reader = gf_qnhReader();
};

TEST_F(QnhReaderTest, ANewQnhIsStoredInAllFourPlaces) {
    gQnhReaderState.store(kReaderSilent);
    reader.interpret(R"({"QNH": 1020, "other": "x"})");
    EXPECT_EQ(reader.lastQnh.load(), 1020);
    EXPECT_EQ(gf_trafficReader().qnh.load(), 1020);
    EXPECT_EQ(gCurrentQnh.load(), 1020);
    EXPECT_EQ(gShownQnh.load(), 1020);
    EXPECT_EQ(gQnhReaderState.load(), kReaderReceiving);  // a silent reader is receiving again
}

TEST_F(QnhReaderTest, NumbersAndTexts) {
    EXPECT_EQ(after(R"({"QNH": 1019.6})"), 1020);
    EXPECT_EQ(after(R"({"QNH": "1009"})"), 1009);
    EXPECT_EQ(after(R"({"QNH": 1015})"), 1015);
    EXPECT_EQ(after(R"({"QNH": "1011hPa"})"), 1011);
    EXPECT_EQ(after(R"({"QNH": 1007.5})"), 1008);  // halves away from zero
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(QnhReaderTest, InchesOfMercuryAndClamping) {
    EXPECT_EQ(after(R"({"QNH": 2992})"), 1013);
    EXPECT_EQ(after(R"({"QNH": 3100})"), 1050);
    EXPECT_EQ(after(R"({"QNH": 5000})"), 1100);
    EXPECT_EQ(after(R"({"QNH": 800})"), 900);
    EXPECT_EQ(after(R"({"QNH": -5})"), 900);
    EXPECT_EQ(after(R"({"QNH": "2992"})"), 1013);
}

// 1100 is the last value read as hectopascals; one more is read as hundredths of an inch (11.01
// inHg, 373 hPa) and clamped to the lowest. 900 is kept, one less is raised to it.
TEST_F(QnhReaderTest, HectopascalsEndAt1100AndStartAt900) {
    EXPECT_EQ(after(R"({"QNH": 1101})"), 900);
    EXPECT_EQ(after(R"({"QNH": 1100})"), 1100);
    EXPECT_EQ(after(R"({"QNH": 900})"), 900);
    EXPECT_EQ(after(R"({"QNH": 1099})"), 1099);
    EXPECT_EQ(after(R"({"QNH": 899})"), 900);
    EXPECT_EQ(after(R"({"QNH": 901})"), 901);
}

TEST_F(QnhReaderTest, NoUsableValueChangesNothing) {
    after(R"({"QNH": 1020})");
    gCurrentQnh.store(1020);
    for (const char* datagram : {R"({})", R"({"QNH": null})", R"({"QNH": true})", R"({"QNH": []})",
                                 R"({"QNH": {}})", R"({"QNH": [1000]})"})
        EXPECT_EQ(after(datagram), 1020) << datagram;
    EXPECT_EQ(linktest::linesWith(log, "no QNH ").size(), 6u);
    EXPECT_EQ(log.lines().front(), "no QNH {}");

    EXPECT_EQ(after(R"({"QNH": "hPa1009"})"), 1020);
    EXPECT_EQ(after(R"({"QNH": "+1009"})"), 1020);
    EXPECT_EQ(linktest::linesWith(log, "==> QNH string parse error: ").size(), 2u);
    EXPECT_EQ(linktest::linesWith(log, "QNH string parse error: hPa1009 in {\"QNH\": \"hPa1009\"}").size(), 1u);
    EXPECT_EQ(gCurrentQnh.load(), 1020);
}

TEST_F(QnhReaderTest, BrokenDatagramsAreLoggedAndTheReaderGoesOn) {
    EXPECT_EQ(after("QNH=1020"), 1013);
    EXPECT_EQ(after("[1020]"), 1013);                     // not an object
    EXPECT_EQ(after(R"({"QNH": 1e20})"), 1013);           // does not fit
    EXPECT_EQ(after(R"({"QNH": 4294968309})"), 1013);     // would wrap to 1013 if cut to 32 bits
    EXPECT_EQ(after(R"({"QNH": -4294966283})"), 1013);
    EXPECT_EQ(linktest::linesWith(log, "Exception ").size(), 5u);
    EXPECT_EQ(linktest::linesWith(log, ", in QNH=1020").size(), 1u);
    EXPECT_EQ(linktest::linesWith(log, "Exception narrowing_error, in {\"QNH\": 4294968309}").size(), 1u);
    EXPECT_EQ(after(R"({"QNH": 1001})"), 1001);
}

TEST_F(QnhReaderTest, ARepeatedValueIsSkippedExceptTheStandardOne) {
    after(R"({"QNH": 1020})");
    gQnhReaderState.store(kReaderSilent);
    gShownQnh.store(0);
    after(R"({"QNH": 1020})");
    EXPECT_EQ(gQnhReaderState.load(), kReaderSilent);  // nothing changed
    EXPECT_EQ(gShownQnh.load(), 0);

    after(R"({"QNH": 1013})");
    gShownQnh.store(0);
    gQnhReaderState.store(kReaderSilent);
    after(R"({"QNH": 1013})");
    EXPECT_EQ(gShownQnh.load(), 1013);  // stored again
    EXPECT_EQ(gQnhReaderState.load(), kReaderReceiving);
}

} // namespace
