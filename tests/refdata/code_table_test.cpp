#include "refdata/code_table.hpp"

#include <algorithm>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "refdata_test_support.hpp"

using namespace tamrix;

TEST(CodeTable, InternsOnceAndKeepsTexts) {
    CodeTable table;
    EXPECT_EQ(table.intern(""), 0);
    EXPECT_EQ(table.intern("DLH"), 1);
    EXPECT_EQ(table.intern("dlh"), 2); // no case folding
    EXPECT_EQ(table.intern("DLH"), 1);
    EXPECT_EQ(table.size(), 3u);
    EXPECT_EQ(table.text(1), "DLH");
    EXPECT_EQ(table.text(2), "dlh");
    EXPECT_EQ(table.text(3), ""); // outside the table
    EXPECT_EQ(table.text(70000), "");
    EXPECT_FALSE(table.find("BAW").has_value());
    EXPECT_EQ(table.size(), 3u);
}

// A full table gives the empty code for every new text and says so once; known codes still
// have their own indices.
TEST(CodeTable, AFullTableAppendsNothing) {
    testsupport::CapturedLog log;
    CodeTable table;
    for (std::size_t i = 0; i < CodeTable::kMaxCodes; ++i)
        ASSERT_EQ(table.intern(fmt::format("C{}", i)), i);
    EXPECT_EQ(table.intern("NEW1"), 0);
    EXPECT_EQ(table.intern("NEW2"), 0);
    EXPECT_EQ(table.intern("C65535"), 65535);
    EXPECT_EQ(table.size(), CodeTable::kMaxCodes);
    EXPECT_EQ(table.text(65535), "C65535");
    const auto lines = log.lines();
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(),
                      [](const std::string& l) { return l.find("code table full") != std::string::npos; }),
        1);
}

TEST(ModelIndex, FixesApplyOnlyOnceTheModelCodesAreLoaded) {
    gModelFixes = {{"B77F", "B77L"}, {"A350", "A359"}, {"B738", "B739"}, {"XXXX", "NONE"}};
    EXPECT_EQ(gf_modelIndex(""), 0);
    const uint16_t b77l = gf_modelIndex("B77L");
    const uint16_t b738 = gf_modelIndex("B738");
    gf_modelIndex("B739");
    // Before the flag a wrong code is a code of its own, and stays one.
    const uint16_t a350 = gf_modelIndex("A350");
    EXPECT_NE(a350, gf_modelIndex("A359"));
    gModelCodes.setLoaded();
    EXPECT_EQ(gf_modelIndex("A350"), a350);

    const std::size_t size = gModelCodes.size();
    EXPECT_EQ(gf_modelIndex("B77F"), b77l);
    EXPECT_EQ(gf_modelIndex("B77F"), b77l);
    EXPECT_EQ(gModelCodes.size(), size);    // the wrong code is not stored
    EXPECT_EQ(gf_modelIndex("B738"), b738); // a known code is never replaced
    // A fix to a code that is not in the table does not apply.
    const uint16_t xxxx = gf_modelIndex("XXXX");
    EXPECT_EQ(gModelCodes.text(xxxx), "XXXX");
}

TEST(AirlineIndex, AppendsUnknownCodes) {
    const uint16_t first = gf_airlineIndex("DLH");
    EXPECT_EQ(gf_airlineIndex("DLH"), first);
    EXPECT_EQ(gOperatorCodes.text(gf_airlineIndex("DLHCLH")), "DLHCLH");
}

// Sixteen threads intern overlapping code lists in different orders while reading texts back:
// every code gets one index, every index keeps its text, and nothing is lost or doubled.
TEST(CodeTableConcurrency, SixteenThreadsInternTheSameCodes) {
    CodeTable table;
    constexpr int kThreads = 16;
    constexpr int kCodes = 3000;
    std::vector<std::string> codes;
    for (int i = 0; i < kCodes; ++i)
        codes.push_back(fmt::format("T{:04}", i));

    std::vector<std::vector<uint16_t>> seen(kThreads, std::vector<uint16_t>(kCodes));
    std::vector<int> textMismatches(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::vector<int> order(kCodes);
            for (int i = 0; i < kCodes; ++i)
                order[i] = i;
            std::shuffle(order.begin(), order.end(), std::mt19937(static_cast<unsigned>(t)));
            for (const int i : order) {
                const uint16_t index = table.intern(codes[i]);
                seen[t][i] = index;
                if (table.text(index) != codes[i]) ++textMismatches[t];
                // Reading the newest entries while others append.
                const std::size_t size = table.size();
                if (size > 0 && table.text(size - 1).empty()) ++textMismatches[t];
            }
        });
    }
    for (auto& thread : threads)
        thread.join();

    EXPECT_EQ(table.size(), static_cast<std::size_t>(kCodes));
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(textMismatches[t], 0) << t;
        EXPECT_EQ(seen[t], seen[0]) << t;
    }
    std::vector<uint16_t> indices = seen[0];
    std::sort(indices.begin(), indices.end());
    EXPECT_EQ(std::adjacent_find(indices.begin(), indices.end()), indices.end());
    for (int i = 0; i < kCodes; ++i)
        EXPECT_EQ(table.text(seen[0][i]), codes[i]);
}

TEST(CodeTableConcurrency, ModelAndAirlineInterningFromManyThreads) {
    gf_modelIndex("");
    gModelCodes.setLoaded();
    gModelFixes = {{"WRNG", "A320"}};
    const uint16_t a320 = gf_modelIndex("A320");
    std::vector<std::thread> threads;
    std::vector<int> errors(16, 0);
    for (int t = 0; t < 16; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                if (gf_modelIndex("WRNG") != a320) ++errors[t];
                const std::string code = fmt::format("OP{}", i % 97);
                if (gOperatorCodes.text(gf_airlineIndex(code)) != code) ++errors[t];
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < 16; ++t)
        EXPECT_EQ(errors[t], 0);
    EXPECT_EQ(gOperatorCodes.size(), 97u);
}

// Outside data (traffic lines, the user aircraft) adds new codes only within its share, so a
// feed of ever new type texts cannot fill the table: later codes of the reference data and the
// liveries still get indices of their own, and known codes keep theirs.
TEST(CodeTable, ReportedCodesCannotFillTheTable) {
    testsupport::CapturedLog log;
    CodeTable table;
    table.intern("");
    const uint16_t a320 = table.intern("A320");
    for (std::size_t i = 0; i < CodeTable::kMaxReportedCodes; ++i) ASSERT_NE(table.internReported(fmt::format("T{}", i)), 0);
    EXPECT_EQ(table.reportedCount(), CodeTable::kMaxReportedCodes);
    for (std::size_t i = 0; i < 3 * CodeTable::kMaxReportedCodes; ++i)
        ASSERT_EQ(table.internReported(fmt::format("X{}", i)), 0);
    EXPECT_EQ(table.size(), 2 + CodeTable::kMaxReportedCodes);
    EXPECT_EQ(table.internReported("A320"), a320);
    EXPECT_EQ(table.internReported("T7"), table.find("T7"));
    const uint16_t fromLivery = table.intern("B38M");
    EXPECT_EQ(fromLivery, 2 + CodeTable::kMaxReportedCodes);
    EXPECT_EQ(table.text(fromLivery), "B38M");
    const auto lines = log.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("unknown codes taken from traffic data") != std::string::npos; }),
              1);
}

TEST(ModelIndex, ReportedModelCodesUseTheFixesAndKnownCodes) {
    // Codes of their own: the tables keep every code of earlier tests.
    gModelFixes = {{"QX50", "QX59"}};
    const uint16_t qx59 = gf_modelIndex("QX59");
    gModelCodes.setLoaded();
    EXPECT_EQ(gf_reportedModelIndex("QX59"), qx59);
    EXPECT_EQ(gf_reportedModelIndex("QX50"), qx59);
    EXPECT_FALSE(gModelCodes.find("QX50").has_value());
    const std::size_t before = gModelCodes.reportedCount();
    const uint16_t unknown = gf_reportedModelIndex("ZZ9Q");
    EXPECT_NE(unknown, 0);
    EXPECT_EQ(gModelCodes.text(unknown), "ZZ9Q");
    EXPECT_EQ(gModelCodes.reportedCount(), before + 1);
    gModelFixes.clear();
}
