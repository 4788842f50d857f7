#include <stdexcept>
#include <string>
#include <unordered_set>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "captured_log.hpp"
#include "core/fixed_code.hpp"
#include "core/user_error.hpp"
#include "core/version_data.hpp"

using namespace tamrix;
using testsupport::CapturedLog;

namespace {

template <std::size_t N> std::string failureOf(const std::string& text) {
    try {
        FixedCode<N> code(text);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "no exception";
}

} // namespace

TEST(FixedCode, FoldsLowerCaseAndPacksTheFirstCharacterLowest) {
    const FixedCode<4> eham("eham");
    EXPECT_EQ(eham, FixedCode<4>("EHAM"));
    EXPECT_EQ(eham.text(), "EHAM");
    EXPECT_EQ(eham.value(), 'E' | 'H' << 8 | 'A' << 16 | 'M' << 24);
    EXPECT_TRUE(eham.isSet());
    EXPECT_EQ(FixedCode<3>("k1g").text(), "K1G");
}

TEST(FixedCode, RejectsWrongLengthAndCharacters) {
    for (const std::string bad : {"EHA", "EHAMX", "EH M", "EH-M", "", "EH\xC3\x84", "EHA\xC4"})
        EXPECT_EQ(failureOf<4>(bad), "'" + bad + "' FixedCode: invalid string (length/charset)");
    EXPECT_EQ(failureOf<3>("K1 "), "'K1 ' FixedCode: invalid string (length/charset)");
}

TEST(FixedCode, NoCodeIsAllZeroAndWritesAsBlanks) {
    const FixedCode<4> none;
    EXPECT_FALSE(none.isSet());
    EXPECT_EQ(none.value(), 0u);
    EXPECT_EQ(none.text(), "    ");
    EXPECT_EQ(FixedCode<3>().text(), "   ");
    EXPECT_NE(none, FixedCode<4>("0000"));
    EXPECT_TRUE(FixedCode<4>("0000").isSet());
}

TEST(FixedCode, OrdersAndHashesConsistently) {
    // A 4-character code orders as its integer: the last character weighs most.
    EXPECT_LT(FixedCode<4>("BAAA"), FixedCode<4>("AAAB"));
    EXPECT_LT(FixedCode<3>("ABZ"), FixedCode<3>("ACA"));
    EXPECT_LT(FixedCode<4>(), FixedCode<4>("0000"));

    std::unordered_set<FixedCode<4>> codes{FixedCode<4>("EHAM"), FixedCode<4>("eham"), FixedCode<4>("EGLL")};
    EXPECT_EQ(codes.size(), 2u);
    EXPECT_TRUE(codes.contains(FixedCode<4>("egll")));
    std::unordered_set<FixedCode<3>> short3{FixedCode<3>("AMS"), FixedCode<3>("ams")};
    EXPECT_EQ(short3.size(), 1u);
}

TEST(UserErrorException, MessageCarriesTheCodeExceptFor99) {
    EXPECT_STREQ(UserErrorException(61, "some text").what(), "61: some text");
    EXPECT_STREQ(UserErrorException(99, "some text").what(), "some text");
}

TEST(VersionData, ReadsDottedTextAndWritesItBack) {
    CapturedLog log;
    const VersionData v("12.5.4");
    EXPECT_EQ(v, VersionData(12, 5, 4));
    EXPECT_EQ(v.text(), "12.5.4");
    EXPECT_EQ(VersionData("007.0.2147483647"), VersionData(7, 0, 2147483647));
    EXPECT_EQ(VersionData(""), VersionData());
    EXPECT_EQ(VersionData(kProgramVersionText), gProgramVersion);
    EXPECT_EQ(gProgramVersion.text(), "12.5.4");
    EXPECT_EQ(kProgramName, "Quorvel");
    EXPECT_TRUE(log.lines().empty());
}

TEST(VersionData, BadTextGivesZeroAndOneLogLine) {
    CapturedLog log;
    for (const char* bad :
         {" 12.5.4", "12.5", "12.5.4.", "12..4", "1.2.3 ", "-1.2.3", "[1,2,3]", "abc", "\xef\xbc\x91.2.3"})
        EXPECT_EQ(VersionData(bad), VersionData()) << bad;
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 9u);
    for (const auto& line : lines)
        EXPECT_EQ(line, "VersionData exception: invalid version format");
}

TEST(VersionData, NumbersBeyond32BitsAreAParseError) {
    CapturedLog log;
    EXPECT_EQ(VersionData("4294967296.0.0"), VersionData());
    EXPECT_EQ(VersionData("1.2.2147483648"), VersionData());
    EXPECT_EQ(VersionData(R"({"major":4294967296,"minor":1})"), VersionData());
    EXPECT_EQ(VersionData(R"({"major":1,"patch":-2147483649})"), VersionData());
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 4u);
    for (const auto& line : lines)
        EXPECT_EQ(line, "VersionData exception: parse error in version string");
}

TEST(VersionData, ReadsJsonObjects) {
    CapturedLog log;
    EXPECT_EQ(VersionData(R"({"major":3,"minor":1})"), VersionData(3, 1, 0));
    EXPECT_EQ(VersionData(" \t{\"major\":3,\"minor\":1,\"patch\":7}\r\n"), VersionData(3, 1, 7));
    // A member that is not an integer reads as 0, silently.
    EXPECT_EQ(VersionData(R"({"major":"3","minor":2.5,"patch":true})"), VersionData());
    EXPECT_EQ(VersionData::fromJson(nlohmann::json{{"major", 12}, {"minor", 6}}), VersionData(12, 6, 0));
    EXPECT_TRUE(log.lines().empty());

    EXPECT_EQ(VersionData("{\"major\":"), VersionData());
    EXPECT_EQ(VersionData::fromJson(nlohmann::json::array({1, 2, 3})), VersionData());
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("VersionData exception: ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "VersionData exception: invalid version format");
}

TEST(VersionData, HugeTextsAreRefusedWithoutHarm) {
    CapturedLog log;
    EXPECT_EQ(VersionData(std::string(100000, '1')), VersionData());
    EXPECT_EQ(VersionData(std::string(100000, '1') + ".1.1"), VersionData());
    EXPECT_EQ(VersionData("1.1." + std::string(100000, '0') + "1"), VersionData(1, 1, 1));
    EXPECT_EQ(VersionData(std::string(100000, '[')), VersionData());
    EXPECT_EQ(VersionData("{\"a\":" + std::string(100000, '[')), VersionData());
    EXPECT_EQ(log.lines().size(), 4u);
}

TEST(VersionData, ComparesNumericallyFieldByField) {
    const VersionData v(12, 5, 4);
    EXPECT_GT(v, VersionData("12.4.99"));
    EXPECT_LT(v, VersionData("12.10.0"));
    EXPECT_LT(VersionData(-1, 9, 9), VersionData());
}
