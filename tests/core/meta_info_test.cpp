#include "core/meta_info.hpp"

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/captured_log.hpp"

using namespace tamrix;
using ::testing::ElementsAre;
using ::testing::MatchesRegex;
using testsupport::CapturedLog;

namespace {

pugi::xml_document parse(const char* xml) {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_string(xml));
    return doc;
}

std::vector<std::string> itemNames(pugi::xml_node meta) {
    std::vector<std::string> names;
    for (const auto info : meta.children("info"))
        names.emplace_back(info.attribute("name").value());
    return names;
}

} // namespace

TEST(MetaInfo, WrittenBlockReadsBack) {
    pugi::xml_document doc;
    MetaInfo info;
    info.version = "12.5.4";
    info.sim = 2;
    ASSERT_TRUE(gf_writeMetaInfo(doc, info));

    const auto meta = doc.child("root").child("meta");
    EXPECT_THAT(itemNames(meta), ElementsAre("author", "version", "date", "copyright", "sim"));
    const auto first = meta.child("info");
    EXPECT_STREQ(first.first_attribute().name(), "name"); // "name" before "value"
    EXPECT_STREQ(first.last_attribute().name(), "value");
    EXPECT_EQ(meta.find_child_by_attribute("info", "name", "copyright").attribute("value").value(),
              std::string(kMetaCopyrightText));

    const auto read = gf_readMetaInfo(doc, false);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->version, "12.5.4");
    EXPECT_EQ(read->sim, 2);
    EXPECT_EQ(read->author, std::string(kMetaAuthorText));
    EXPECT_THAT(read->date, MatchesRegex("[A-Z][a-z][a-z] [0-9][0-9], [0-9][0-9][0-9][0-9]"));
}

TEST(MetaInfo, WritingTwiceAppendsASecondBlockAndTheFirstCounts) {
    pugi::xml_document doc;
    MetaInfo info;
    info.version = "1.0.0";
    info.sim = 1;
    ASSERT_TRUE(gf_writeMetaInfo(doc, info));
    info.version = "2.0.0";
    ASSERT_TRUE(gf_writeMetaInfo(doc, info));
    EXPECT_EQ(std::distance(doc.children("root").begin(), doc.children("root").end()), 1);
    const auto metas = doc.child("root").children("meta");
    EXPECT_EQ(std::distance(metas.begin(), metas.end()), 2);
    EXPECT_EQ(gf_readMetaInfo(doc, false)->version, "1.0.0");
}

TEST(MetaInfo, WriterReportsANodeThatTakesNoChildren) {
    EXPECT_FALSE(gf_writeMetaInfo(pugi::xml_node(), MetaInfo{}));
    pugi::xml_document doc;
    const auto text = doc.append_child(pugi::node_pcdata);
    EXPECT_FALSE(gf_writeMetaInfo(text, MetaInfo{}));
}

TEST(MetaInfo, ReaderFindsMetaWithoutRootAndTakesTheFirstOfEachName) {
    CapturedLog log;
    auto doc = parse(R"(<meta>
        <info name="copyright" value="ours"/>
        <info name="version" value="1.2.3"/>
        <info name="version" value="9.9.9"/>
        <info name="Version" value="ignored"/>
        <info name="sim" value=" 1 "/>
        <info name="sim" value="2"/>
        <info name="P3D" value="v5"/>
        <info name="MSFS" value="2024"/>
        <info name="unknown" value="x"/>
        <other name="version" value="not an info item"/>
      </meta>)");
    const auto read = gf_readMetaInfo(doc, false);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->version, "1.2.3");
    EXPECT_EQ(read->sim, 1);
    EXPECT_EQ(read->p3dText, "v5");
    EXPECT_EQ(read->msfsText, "2024");
    EXPECT_EQ(read->author, "");
    EXPECT_TRUE(log.lines().empty());
}

TEST(MetaInfo, CopyrightDecidesAndOnlyAnEmptyOneIsLogged) {
    CapturedLog log;
    EXPECT_FALSE(gf_readMetaInfo(parse(R"(<root><meta><info name="sim" value="1"/></meta></root>)"), true));
    EXPECT_FALSE(gf_readMetaInfo(parse(R"(<root><meta/></root>)"), true));
    EXPECT_FALSE(gf_readMetaInfo(parse(R"(<root><other/></root>)"), true));
    EXPECT_TRUE(log.lines().empty());

    EXPECT_FALSE(gf_readMetaInfo(
        parse(R"(<root><meta><info name="copyright" value=""/><info name="sim" value="1"/></meta></root>)"),
        true));
    EXPECT_FALSE(gf_readMetaInfo(parse(R"(<root><meta><info name="copyright"/></meta></root>)"), true));
    EXPECT_THAT(log.lines(),
                ElementsAre("==> no copyright info in the file?", "==> no copyright info in the file?"));
}

TEST(MetaInfo, WithoutSimulatorItemsOnlyWhenTheCallerAccepts) {
    const auto doc = parse(R"(<root><meta><info name="copyright" value="ours"/></meta></root>)");
    EXPECT_FALSE(gf_readMetaInfo(doc, false));
    const auto read = gf_readMetaInfo(doc, true);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->sim, -1);

    // Any one of "P3D", "MSFS" and "sim" makes the block acceptable.
    EXPECT_TRUE(gf_readMetaInfo(
        parse(
            R"(<root><meta><info name="copyright" value="ours"/><info name="P3D" value=""/></meta></root>)"),
        false));
}

TEST(MetaInfo, SimValueThatIsNoNumberReadsAsZero) {
    for (const char* value : {"abc", "", "1x", "99999999999", "0x10"}) {
        const std::string xml =
            std::string(R"(<root><meta><info name="copyright" value="ours"/><info name="sim" value=")") +
            value + R"("/></meta></root>)";
        const auto read = gf_readMetaInfo(parse(xml.c_str()), false);
        ASSERT_TRUE(read) << value;
        EXPECT_EQ(read->sim, 0) << value;
    }
    const auto read = gf_readMetaInfo(
        parse(R"(<root><meta><info name="copyright" value="ours"/><info name="sim"/></meta></root>)"), false);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->sim, 0);
}
