#include "links/user_aircraft_data.hpp"

#include <string>

#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "core/user_error.hpp"
#include "links/sim_dispatch_test_support.hpp"
#include "links/sim_status.hpp"
#include "refdata/code_table.hpp"
#include "refdata/dbase.hpp"

using namespace tamrix;
using namespace dispatchtest;

namespace {

constexpr double kMaxSpanMetres = 40.0;

void setSpan(std::string_view code, double spanMetres) {
    gHalfSpans[gf_modelIndex(code)] = spanMetres / 2 / 1852.0;
}

// A small model world: a few half spans, the largest 40 m wide, and categories.
class UserModel : public simtest::FreshSim {
protected:
    void SetUp() override {
        FreshSim::SetUp();
        gMaxHalfSpan = kMaxSpanMetres / 2 / 1852.0;
        for (const auto& [code, span] :
             std::initializer_list<std::pair<std::string_view, double>>{{"A320", 35.8},
                                                                        {"A319", 35.8},
                                                                        {"B738", 35.8},
                                                                        {"B739", 35.8},
                                                                        {"B38M", 35.9},
                                                                        {"A359", 38.0},
                                                                        {"772", 39.0},
                                                                        {"A332", 39.5},
                                                                        {"CRJ7", 23.2},
                                                                        {"E190", 28.7},
                                                                        {"320", 34.0},
                                                                        {"20", 30.0},
                                                                        {"A388", kMaxSpanMetres}})
            setSpan(code, span);
        gLargeModels.insert(gf_modelIndex("B738"));
        gHeavyModels.insert(gf_modelIndex("A359"));
    }

    // The model answer for a user aircraft of this title; the detected half span in metres.
    double detect(std::string_view model, std::string_view title = "Some Aircraft") {
        if (!title.empty()) lf_onUserAcTitle(title);
        lf_onUserAcModel(model);
        return gf_userAcHalfSpan().value_or(-1.0) * 2 * 1852.0;
    }

    bool logged(std::string_view line) {
        return simtest::hasLine(log, std::string(10, ' ') + std::string(line));
    }

    testsupport::CapturedLog log;
};

TEST_F(UserModel, AKnownCodeGivesItsHalfSpanAndCategory) {
    EXPECT_NEAR(detect("B738"), 35.8, 1e-9);
    EXPECT_TRUE(gUserAcKnown.load());
    EXPECT_TRUE(logged("model raw: B738"));
    EXPECT_TRUE(logged("SimConnect: User aircraft model: B738, half wing span: 17.9 meter, category: Large"));
}

TEST_F(UserModel, WholeTextsOfAddOnsAreReplaced) {
    EXPECT_NEAR(detect("A350-900"), 38.0, 1e-9);
    EXPECT_TRUE(logged("SimConnect: User aircraft model: A359, half wing span: 19.0 meter, category: Heavy"));
    EXPECT_NEAR(detect("N738B"), 35.9, 1e-9);
    EXPECT_NEAR(detect("777"), 39.0, 1e-9);
    EXPECT_NEAR(detect("A330-200 (RR)"), 39.5, 1e-9);
}

TEST_F(UserModel, TheCodeBeforeALocalisationKeyIsTheLongestOneWithAHalfSpan) {
    EXPECT_NEAR(detect("TT:ATCCOM.AC_MODEL_B738.0.text"), 35.8, 1e-9);
    EXPECT_TRUE(logged("SimConnect: User aircraft model: B738, half wing span: 17.9 meter, category: Large"));
    EXPECT_NEAR(detect("ATCCOM.AC_MODEL X320.0.text"), 34.0, 1e-9); // "X320" has none, "320" has
    EXPECT_TRUE(logged("SimConnect: User aircraft model: 320, half wing span: 17.0 meter, category: Light"));
    EXPECT_NEAR(detect("XY.Q20.0.text"), 30.0, 1e-9); // only "20"
    // None of them: the text stays, is too long to be a code, and the largest span is taken.
    EXPECT_NEAR(detect("TT:ATCCOM.AC_MODEL_ZZZZ.0.text"), kMaxSpanMetres, 1e-9);
    EXPECT_FALSE(gUserAcKnown.load());
}

TEST_F(UserModel, APrefixOfTwoDollarsAndAColonIsDropped) {
    EXPECT_NEAR(detect("$$:A320"), 35.8, 1e-9);
    EXPECT_TRUE(logged("SimConnect: User aircraft model: A320, half wing span: 17.9 meter, category: Light"));
    EXPECT_NEAR(detect("$$:20"), 30.0, 1e-9); // five characters keep the two after the prefix
    // Four characters are no prefixed code: looked up as they are, and unknown.
    EXPECT_NEAR(detect("$$:A"), kMaxSpanMetres, 1e-9);
    EXPECT_FALSE(gUserAcKnown.load());
}

TEST_F(UserModel, A737IsResolvedByTheTitle) {
    EXPECT_NEAR(detect("737", "PMDG DG 737-900 Lufthansa"), 35.8, 1e-9);
    EXPECT_TRUE(logged("SimConnect: User aircraft model: B739, half wing span: 17.9 meter, category: Light"));
    detect("737", "DG 737-800");
    EXPECT_TRUE(logged("SimConnect: User aircraft model: B738, half wing span: 17.9 meter, category: Large"));
    // Without a variant in the title it stays "737", which has no half span.
    EXPECT_NEAR(detect("737", "Boeing 737"), kMaxSpanMetres, 1e-9);
    EXPECT_FALSE(gUserAcKnown.load());
}

TEST_F(UserModel, CameraPodsAndCrewVesselsCountAsAnE190) {
    EXPECT_NEAR(detect("Asobo camerapod"), 28.7, 1e-9);
    EXPECT_TRUE(gUserAcKnown.load());
    EXPECT_TRUE(logged("SimConnect: User aircraft model: Asobo camerapod"));
    EXPECT_NEAR(detect("Crew Vessel 2"), 28.7, 1e-9);
}

TEST_F(UserModel, AnUnknownModelTakesTheLargestHalfSpanAndSaysSo) {
    EXPECT_NEAR(detect("Glider9"), kMaxSpanMetres, 1e-9);
    EXPECT_FALSE(gUserAcKnown.load());
    EXPECT_EQ(gf_statusLineSnapshot().message,
              "User aircraft wing span unknown, max is taken instead, please report in my Forum!");
    EXPECT_TRUE(logged("SimConnect: User aircraft model: Glider9, category: Light"));
    // A short code without a half span as well.
    EXPECT_NEAR(detect("ZZ9"), kMaxSpanMetres, 1e-9);
    EXPECT_FALSE(gUserAcKnown.load());
}

TEST_F(UserModel, TheLargestAircraftIsKnownAsWell) {
    EXPECT_NEAR(detect("A388"), kMaxSpanMetres, 1e-9);
    EXPECT_TRUE(gUserAcKnown.load());
    EXPECT_TRUE(logged("SimConnect: User aircraft model: A388, half wing span: 20.0 meter, category: Light"));
    EXPECT_EQ(gf_statusLineSnapshot().message, "");
}

TEST_F(UserModel, AerosoftTitlesNameTheirAirbus) {
    EXPECT_NEAR(detect("Aerosoft Bus", "Aerosoft A319 CFM"), 35.8, 1e-9);
    EXPECT_TRUE(gUserAcKnown.load());
    EXPECT_TRUE(
        logged("SimConnect: User aircraft model deduced from title: A319, half wing span: 17.9 meter, "
               "category: Light"));
    // A321 has no half span here: the largest one, and the message.
    EXPECT_NEAR(detect("Aerosoft Bus", "Aerosoft A321 IAE"), kMaxSpanMetres, 1e-9);
    EXPECT_FALSE(gUserAcKnown.load());
    EXPECT_TRUE(logged("SimConnect: User aircraft model deduced from title: A321, category: Light"));
    // Only the first 13 characters count, and a shorter title never.
    EXPECT_NEAR(detect("Aerosoft Bus", "My Aerosoft A320"), kMaxSpanMetres, 1e-9);
    EXPECT_NEAR(detect("Aerosoft Bus", "Aerosoft A32"), kMaxSpanMetres, 1e-9);
}

TEST_F(UserModel, NoModelAtAllIsTakenForACrj7) {
    EXPECT_NEAR(detect("", ""), 23.2, 1e-9);
    EXPECT_EQ(gf_userAcText(), "Unknown (encrypted?) aircraft");
    EXPECT_EQ(gf_statusLineSnapshot().message,
              "171: No model info from your user aircraft received in SimConnect, CRJ7 is taken instead");
    // Without a CRJ7 half span the largest one.
    gHalfSpans[gf_modelIndex("CRJ7")] = 0.0;
    EXPECT_NEAR(detect("", ""), kMaxSpanMetres, 1e-9);
}

// ---- the title ----

class UserTitle : public simtest::FreshSim {};

TEST_F(UserTitle, IsKeptAndShownWithAtMost48BytesOnACharacterBoundary) {
    testsupport::CapturedLog log;
    lf_onUserAcTitle(std::string(60, 'x'));
    EXPECT_EQ(gf_userAcTitle(), std::string(48, 'x'));
    EXPECT_EQ(gf_userAcText(), std::string(48, 'x'));
    EXPECT_TRUE(simtest::hasLine(log, std::string(10, ' ') +
                                          "SimConnect: User aircraft title: " + std::string(48, 'x')));
    // "é" would straddle the cut: it goes whole.
    lf_onUserAcTitle(std::string(47, 'a') + "\xC3\xA9" + "bbbb");
    EXPECT_EQ(gf_userAcTitle(), std::string(47, 'a'));
}

TEST_F(UserTitle, AnUnchangedTitleDoesNothingAndAnEmptyOneIsLogged) {
    testsupport::CapturedLog log;
    lf_onUserAcTitle("Airbus A320 Neo");
    lf_onUserAcTitle("Airbus A320 Neo");
    lf_onUserAcTitle("");
    EXPECT_EQ(gf_userAcTitle(), "Airbus A320 Neo");
    EXPECT_EQ(countLinesWith(log, "User aircraft title"), 1);
    EXPECT_TRUE(simtest::hasLine(log, "! Title of your aircraft is empty?"));
}

// ---- requests ----

TEST_F(DispatchTest, ThePositionRequestReturnsTheLastStateAndTheAnswerComesLater) {
    const UserAcState before = gf_requestUserAcPosition();
    EXPECT_EQ(before.latitude, 0.0);
    pump();
    EXPECT_EQ(gf_requestUserAcPosition().latitude, 50.0);
    EXPECT_EQ(simtest::callTexts({"SimConnect_RequestDataOnSimObject"}).size(), 2u);
}

TEST_F(DispatchTest, AFailedPositionRequestEndsTheRunAndNoFurtherOneIsMade) {
    simWorld().failCalls("SimConnect_RequestDataOnSimObject");
    gf_requestUserAcPosition();
    EXPECT_TRUE(simtest::hasLine(log, "==> SimConnect request user ac position fails"));
    EXPECT_EQ(gf_exitReason(), ExitReason::SimConnectError);
    EXPECT_EQ(gf_restartDelay(), 9);
    simWorld().clearCalls();
    gf_requestUserAcPosition();
    EXPECT_TRUE(simtest::callTexts({"SimConnect_RequestDataOnSimObject"}).empty());
}

TEST_F(DispatchTest, TitleAndModelAreAskedForEvenWhenTheFirstFails) {
    simWorld().failCalls("SimConnect_RequestDataOnSimObject", 2);
    gf_requestUserAcTitleModel();
    EXPECT_TRUE(simtest::hasLine(log, "==> SimConnect request user ac title fails"));
    EXPECT_TRUE(simtest::hasLine(log, "==> SimConnect reques user ac model fails"));
    EXPECT_EQ(gf_exitReason(), ExitReason::SimConnectError);
}

TEST_F(DispatchTest, TheModelOfTheUserAircraftComesThroughTheSimulator) {
    gMaxHalfSpan = 40.0 / 2 / 1852.0;
    setSpan("B738", 35.8);
    auto user = simWorld().userAircraft();
    user.title = "Boeing 737-800 Lufthansa";
    user.atcModel = "TT:ATCCOM.AC_MODEL_B738.0.text";
    simWorld().setUserAircraft(user);
    gf_requestUserAcTitleModel();
    pump();
    EXPECT_EQ(gf_userAcTitle(), "Boeing 737-800 Lufthansa");
    EXPECT_NEAR(gf_userAcHalfSpan().value_or(0.0) * 1852.0, 17.9, 1e-9);
    EXPECT_TRUE(gUserAcKnown.load());
}

} // namespace
