// The main window through its model: the controls as created, every check box, combo box and
// button through its handler, the three edit fields, the close button, and the painted frame.

#include <algorithm>
#include <latch>
#include <set>
#include <thread>
#include <tuple>

#include "airports/my_park_airports.hpp"
#include "airports/tblo_folder.hpp"
#include "app/edit_fields.hpp"
#include "app/main_loop.hpp"
#include "app/main_window.hpp"
#include "app/startup.hpp"
#include "app/window_procedure.hpp"
#include "app_test_support.hpp"
#include "config/control_binding.hpp"
#include "core/text_encoding.hpp"
#include "links/traffic_source_state.hpp"
#include "liveries/livery_index.hpp"
#include "platform/win32/gdi.hpp"
#include "platform/win32/shell.hpp"
#include "refdata/airports.hpp"
#include "support/exit_reason_watch.hpp"

namespace apptest {
namespace {

using namespace tamrix;
namespace w = platform::win32;

class MainWindowTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        w::resetFrames();
        w::resetShell();
        gf_resetMainWindowState();
        gWaitingForRealTraffic = true;
        window = w::createTopLevelWindow("Quorvel", "Quorvel");
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&lf_mainWndProc));
        gMainWindow = window;
        gf_setStatusLineWindow(window);
        SendMessageW(window, WM_CREATE, 0, 0);
        lf_initControls();
    }
    void TearDown() override {
        gf_resetMyParkAirports();
        gAirports.clear();
        gf_resetMainWindowState();
        AppTest::TearDown();
    }
    w::WindowState control(const ParameterControl& p) const {
        return *w::windowState(GetDlgItem(window, p.controlId));
    }
    void pump() {
        while (w::dispatchPending() > 0) {
        }
    }
    std::string message() const { return gf_statusLineSnapshot().message; }
    std::string savedFile() const { return readText(gf_paths().parametersPath); }
    w::Frame paint() {
        SendMessageW(window, WM_PAINT, 0, 0);
        return *w::lastFrame(window);
    }
    static const w::DrawCall* text(const w::Frame& f, std::string_view t) {
        for (const auto& c : f.calls)
            if (c.kind == w::DrawCall::Kind::Text && c.text == t) return &c;
        return nullptr;
    }
    void enter(const ParameterControl& p, const std::u16string& typed) {
        SetWindowTextW(p.window, u"");
        EnableWindow(p.window, TRUE);
        ASSERT_TRUE(w::type(window, p.controlId, typed + u"\r"));
        pump();
    }

    HWND window = nullptr;
};

TEST_F(MainWindowTest, TheControlsStandAtTheirPlacesWithTheirKindsAndFirstStates) {
    using K = w::ControlKind;
    // id, kind, x, y, width, height (combo boxes: the drop height), enabled after creation
    const std::vector<std::tuple<int, K, int, int, int, int>> table = {
        {32789, K::ComboBox, 5, 114, 105, 80},    {32788, K::Edit, 111, 119, 1200, 16},
        {32798, K::Button, 5, 149, 12, 12},       {32799, K::Button, 217, 149, 12, 12},
        {32790, K::ComboBox, 323, 142, 175, 300}, {32800, K::Button, 536, 149, 12, 12},
        {32771, K::Button, 748, 149, 12, 12},     {32802, K::Button, 5, 177, 12, 12},
        {32804, K::Button, 217, 175, 80, 20},     {32775, K::Button, 652, 177, 12, 12},
        {32774, K::Button, 748, 177, 12, 12},     {32808, K::ComboBox, 217, 198, 40, 120},
        {32809, K::Button, 323, 205, 12, 12},     {32810, K::Button, 430, 205, 12, 12},
        {32811, K::Button, 536, 205, 12, 12},     {32776, K::Button, 652, 205, 12, 12},
        {32773, K::Button, 748, 205, 12, 12},     {32818, K::ComboBox, 217, 226, 50, 200},
        {32819, K::Button, 323, 233, 12, 12},     {32820, K::ComboBox, 455, 226, 70, 230},
        {32821, K::Button, 572, 233, 12, 12},     {32834, K::Button, 217, 289, 12, 12},
        {32833, K::Button, 323, 289, 12, 12},     {32835, K::Button, 430, 289, 12, 12},
        {32828, K::Edit, 107, 259, 100, 16},      {32829, K::Button, 223, 257, 60, 20},
        {32830, K::Button, 305, 257, 60, 20},     {32831, K::ComboBox, 375, 254, 100, 300},
        {32832, K::Button, 576, 257, 60, 20},     {32847, K::Button, 111, 313, 45, 20},
        {32848, K::ComboBox, 323, 310, 55, 144},  {32849, K::ComboBox, 536, 310, 55, 144},
        {32839, K::Edit, 217, 343, 50, 16},       {32840, K::ComboBox, 353, 338, 45, 144},
        {32841, K::ComboBox, 566, 338, 70, 230},  {32855, K::Button, 652, 317, 12, 12},
        {32851, K::Button, 5, 373, 12, 12},       {32853, K::Button, 71, 373, 12, 12},
        {32852, K::Button, 151, 373, 12, 12},     {32850, K::ComboBox, 323, 366, 50, 200},
        {32854, K::ComboBox, 566, 366, 60, 300},  {32838, K::Button, 758, 341, 90, 20},
        {32857, K::Button, 758, 369, 90, 20}};
    const auto children = w::childWindows(window);
    ASSERT_EQ(children.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto& [id, kind, x, y, width, height] = table[i];
        const auto s = *w::windowState(children[i]);
        SCOPED_TRACE(id);
        EXPECT_EQ(s.controlId, id); // in creation order
        EXPECT_EQ(s.kind, kind);
        EXPECT_EQ(std::tie(s.x, s.y, s.width, s.height), std::tie(x, y, width, height));
    }
    // Styles and first states: check boxes show their settings, buttons and edits start disabled
    // until their owners enable them, combo boxes start enabled.
    const auto fresh = [&](HWND parent) {
        w::resetWindows();
        const HWND h = w::createTopLevelWindow("Quorvel", "Quorvel");
        SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&lf_mainWndProc));
        SendMessageW(h, WM_CREATE, 0, 0);
        (void)parent;
        return h;
    };
    NAV_LIGHTS_WHILE_PARKED.current = true;
    AIRBORNE_ONLY.current = false;
    const HWND h = fresh(window);
    for (HWND child : w::childWindows(h)) {
        const auto s = *w::windowState(child);
        SCOPED_TRACE(s.controlId);
        if (s.kind == K::Button && s.style == 0x50010002) {
            EXPECT_TRUE(s.enabled);
        }
        if (s.kind == K::Button && s.style == 0x50010001) {
            EXPECT_FALSE(s.enabled);
        }
        if (s.kind == K::Edit) {
            EXPECT_EQ(std::make_pair(s.style, s.enabled), std::make_pair(DWORD{0x50810000}, false));
        }
        if (s.kind == K::ComboBox) {
            EXPECT_EQ(std::make_pair(s.style, s.enabled), std::make_pair(DWORD{0x50210003}, true));
        }
    }
    EXPECT_EQ(IsDlgButtonChecked(h, NAV_LIGHTS_WHILE_PARKED.controlId), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(h, AIRBORNE_ONLY.controlId), BST_UNCHECKED);
    EXPECT_EQ(w::windowState(GetDlgItem(h, TBLO_ZIP_BUTTON.controlId))->text, u"tblo.zip");
    EXPECT_EQ(w::windowState(GetDlgItem(h, CS_TO_OID_BUTTON.controlId))->text, u"cs->oid:");
}

TEST_F(MainWindowTest, EveryCheckBoxTogglesSavesAndTellsTheUser) {
    struct Box {
        CheckBoxParameter* p;
        std::string on;  // message after switching on ("" clears)
        std::string off; // after switching off
    };
    const std::vector<Box> boxes = {
        {&LIG_AUTOMATIC, "", "The liveries defined by your lfolder parameters will be scanned"},
        {&LIG_PRIORITIZE,
         "Liveries, for airl+model, in lower lfolders that are already available will be skipped", ""},
        {&COLLISION_LIVE_PARKED_GND, "",
         "Be aware, live aircraft may collide with (run through) static parked on the ground"},
        {&COLLISION_USER_GND, "",
         "Be aware, user aircraft may collide with (run through) live aircraft and static parked on the "
         "ground"},
        {&COLLISION_USER_AIR, "",
         "Be aware, user aircraft may collide with (run through) live aircraft in the air"},
        {&INITIAL_LOAD_ONLY,
         "Initial Load Only: static parked aircraft are generated once, no renewal every 20 minutes", ""},
        {&ALWAYS_ON_TOP, "Quorvel's window will remain visible", ""},
        {&GUID_CHANGES, "",
         "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc!"},
        {&AEROWINX, "Note: This mode is for Aerowinx PSX users only, please re-start Quorvel", ""},
        {&OBJECTID_LIST,
         "Every minute info about all active live aircraft is written to the file " +
             gf_paths().objectIdListPath.string(),
         ""},
        {&AIRBORNE_ONLY, "Be aware, airborne live traffic only!  (greater than 150 ft above ground ...)", ""},
        {&PARK_SOFT, "-", "-"},
        {&WEEK, "-", "-"},
        {&STRAIGHT_PBS_ONLY, "-", "-"},
        {&LIGHT_AIRCRAFT, "-", "-"},
        {&HELICOPTERS, "-", "-"},
        {&HIGH_PERF_AIRCRAFT, "-", "-"},
        {&NAV_LIGHTS_WHILE_PARKED, "-", "-"}};
    for (const Box& box : boxes) {
        SCOPED_TRACE(box.p->name);
        for (int round = 0; round < 2; ++round) {
            const bool before = box.p->current.load();
            gf_setStatusLine("-", false); // what a box without its own text leaves alone
            ASSERT_TRUE(w::click(window, box.p->controlId));
            pump();
            const bool on = !before;
            EXPECT_EQ(box.p->current.load(), on);
            EXPECT_EQ(IsDlgButtonChecked(window, box.p->controlId), on ? BST_CHECKED : BST_UNCHECKED);
            EXPECT_NE(
                savedFile().find(fmt::format("name=\"{}\" value=\"{}\"", box.p->name, on ? "true" : "false")),
                std::string::npos);
            EXPECT_EQ(message(), on ? box.on : box.off);
        }
    }
    // What the boxes do beside their texts.
    ALWAYS_ON_TOP.current = false;
    w::click(window, ALWAYS_ON_TOP.controlId);
    pump();
    EXPECT_TRUE(w::windowState(window)->topmost);
    AUTO_RANGE.current = false;
    CheckDlgButton(window, AUTO_RANGE.controlId, BST_UNCHECKED);
    w::click(window, AUTO_RANGE.controlId);
    pump();
    EXPECT_TRUE(control(AR_ABOVE_HEIGHT).enabled);
    LIG_AUTOMATIC.current = true;
    CheckDlgButton(window, LIG_AUTOMATIC.controlId, BST_CHECKED);
    w::click(window, LIG_AUTOMATIC.controlId);
    pump();
    EXPECT_FALSE(control(AI_PACKAGE_SELECTOR).enabled);
    // Nav lights are switched by the start-up thread, through its request (the program's run shows
    // the lights go out).
    EXPECT_TRUE(gNavLightsRequest.load());
    // A disabled check box takes no click.
    EnableWindow(SCAN_AIRPORTS.window, FALSE);
    EXPECT_FALSE(w::click(window, SCAN_AIRPORTS.controlId));
}

TEST_F(MainWindowTest, ScanBoxesRestartOnlyWhileRealTrafficIsAwaited) {
    EnableWindow(SCAN_AIRPORTS.window, TRUE);
    SCAN_LIVERIES.current = false;
    CheckDlgButton(window, SCAN_LIVERIES.controlId, BST_UNCHECKED);
    gWaitingForRealTraffic = false;
    w::click(window, SCAN_LIVERIES.controlId);
    pump();
    EXPECT_EQ(message(), "Your liveries will be scanned at the next start of Quorvel");
    EXPECT_EQ(gf_exitReason(), ExitReason::NotYetSet);
    EXPECT_FALSE(control(AI_PACKAGE_SELECTOR).enabled);
    w::click(window, SCAN_LIVERIES.controlId); // off again
    pump();
    EXPECT_TRUE(control(AI_PACKAGE_SELECTOR).enabled);

    gWaitingForRealTraffic = true;
    w::click(window, SCAN_LIVERIES.controlId);
    pump();
    EXPECT_EQ(message(), "Your liveries will be scanned");
    EXPECT_EQ(gf_exitReason(), ExitReason::NewSettings);
    EXPECT_EQ(gf_restartDelay(), 2);
    EXPECT_TRUE(contains(logLines(), "Your liveries will be scanned"));

    // A second restart request keeps the first reason.
    SCAN_AIRPORTS.current = false;
    CheckDlgButton(window, SCAN_AIRPORTS.controlId, BST_UNCHECKED);
    w::click(window, SCAN_AIRPORTS.controlId);
    pump();
    EXPECT_EQ(message(), "Your airports will be scanned");
    EXPECT_EQ(gf_exitReason(), ExitReason::NewSettings);
}

TEST_F(MainWindowTest, ComboBoxesStoreTheSelectedValue) {
    // The simulator already chosen: nothing happens.
    ASSERT_TRUE(w::select(window, SIM_CHOICE.controlId, 0));
    pump();
    EXPECT_EQ(gf_exitReason(), ExitReason::NotYetSet);

    // Matching depth: lowering raises nothing, raising does.
    gMatchingDepthRaised = false;
    w::select(window, MATCHING_DEPTH.controlId, 1);
    pump();
    EXPECT_EQ(MATCHING_DEPTH.current.load(), 2);
    EXPECT_FALSE(gMatchingDepthRaised.load());
    w::select(window, MATCHING_DEPTH.controlId, 2);
    pump();
    EXPECT_TRUE(gMatchingDepthRaised.load());
    EXPECT_NE(savedFile().find("name=\"MATCHING_DEPTH\" value=\"3\""), std::string::npos);

    // Hours of fitting, offered from the start of the run with one decimal: 2.5 h are stored as 4.
    const auto fits = control(MAX_FIT_FL);
    ASSERT_EQ(fits.items.size(), MAX_FIT_FL.allowed.size());
    EXPECT_EQ(fits.items[4], u"2.5");
    EXPECT_EQ(fits.text, utf8_to_wide(fmt::format("{:.1f}", MAX_FIT_FL.current.load())));
    EnableWindow(MAX_FIT_FL.window, TRUE);
    w::select(window, MAX_FIT_FL.controlId, 4);
    pump();
    EXPECT_FLOAT_EQ(MAX_FIT_FL.current.load(), 2.5F);
    EXPECT_EQ(MAX_FIT.current.load(), 4);

    // The radius follows RANGE at once.
    EnableWindow(RANGE.window, TRUE);
    w::select(window, RANGE.controlId, 0);
    pump();
    EXPECT_EQ(RANGE.current.load(), 2);
    EXPECT_DOUBLE_EQ(gRangeNm.load(), 2.0);

    // Fewer live aircraft allowed than are flying: the start-up thread removes the excess (the
    // program's run shows them leave the simulator).
    const auto ten = std::find(gMaxSelectionValues.begin(), gMaxSelectionValues.end(), 10);
    ASSERT_NE(ten, gMaxSelectionValues.end());
    w::select(window, MAX_LIVE_SEL.controlId, static_cast<int>(ten - gMaxSelectionValues.begin()));
    pump();
    EXPECT_EQ(MAX_LIVE_SEL.current.load(), 10);
    EXPECT_TRUE(gTrimLiveRequest.load()); // not on the window thread

    // A package order other than the current one is stored and explained.
    w::select(window, AI_PACKAGE_SELECTOR.controlId, 1);
    pump();
    EXPECT_EQ(message(), "If you want to make this choice effective, you must start a Scan for liveries");

    // Another simulator switches the run over.
    w::select(window, SIM_CHOICE.controlId, 1);
    pump();
    EXPECT_EQ(SIM_CHOICE.current.get(), "MSFS 2024");
    EXPECT_EQ(message(), "Switching MSFS version in Quorvel");
}

TEST_F(MainWindowTest, ButtonsRaiseTheirRequests) {
    for (const ParameterControl* b : {static_cast<const ParameterControl*>(&UNBLOCK_BUTTON),
                                      static_cast<const ParameterControl*>(&REREAD_BUTTON),
                                      static_cast<const ParameterControl*>(&FLUSH_STATIC_BUTTON),
                                      static_cast<const ParameterControl*>(&NOW_BUTTON),
                                      static_cast<const ParameterControl*>(&TBLO_ZIP_BUTTON),
                                      static_cast<const ParameterControl*>(&CS_TO_OID_BUTTON)})
        EnableWindow(b->window, TRUE);
    w::click(window, UNBLOCK_BUTTON.controlId);
    pump();
    EXPECT_EQ(message(), "Nothing to block or unblock...");

    gRereadRequest = false;
    w::click(window, REREAD_BUTTON.controlId);
    pump();
    EXPECT_TRUE(gRereadRequest.load());
    EXPECT_FALSE(control(REREAD_BUTTON).enabled);

    gFlushStaticRequest = false;
    w::click(window, FLUSH_STATIC_BUTTON.controlId);
    pump();
    EXPECT_TRUE(gFlushStaticRequest.load());
    EXPECT_EQ(message(), "All static parked aircraft will be removed ...");

    gObjectIdRequest = false;
    w::click(window, CS_TO_OID_BUTTON.controlId);
    pump();
    EXPECT_TRUE(gObjectIdRequest.load());

    // "Now" without a park airport does nothing; with one it announces the update.
    gf_clearStatusLine();
    gStaticParkingUpdateRequest = false;
    w::click(window, NOW_BUTTON.controlId);
    pump();
    EXPECT_FALSE(gStaticParkingUpdateRequest.load());
    gf_mainWindowState().parkAirportCode.set("EKBI");
    INITIAL_LOAD_ONLY.current = false;
    gSecondsCounter = 44;
    w::click(window, NOW_BUTTON.controlId);
    pump();
    EXPECT_TRUE(gStaticParkingUpdateRequest.load());
    EXPECT_EQ(message(), "Quorvel will update static parking in 1 second ...");
    EXPECT_TRUE(gStaticParkingBusy.load());
    EXPECT_FALSE(control(NOW_BUTTON).enabled);

    // The button opens the folder that holds the archive; a shell that cannot open it is told
    // in a message box.
    std::filesystem::create_directories("tblo");
    { std::ofstream("tblo/tblo.zip") << "zip"; }
    EnableWindow(TBLO_ZIP_BUTTON.window, TRUE);
    w::click(window, TBLO_ZIP_BUTTON.controlId);
    pump();
    ASSERT_EQ(w::shellRequests().size(), 1U);
    EXPECT_EQ(std::filesystem::path(w::shellRequests()[0].file), std::filesystem::absolute("tblo"));
    w::setShellExecuteResult(2);
    EnableWindow(TBLO_ZIP_BUTTON.window, TRUE);
    w::click(window, TBLO_ZIP_BUTTON.controlId);
    pump();
    const auto boxes = w::messageBoxes();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(boxes[0].text, "Could not open File Explorer at tblo.zip.");
}

// The tblo.zip button opens the archive's folder with the desktop's opener, xdg-open, found on
// PATH (here a stand-in of the test's own, in a folder that is all of PATH). Where nothing can open
// it, or the opener refuses, the message box shows and the log says where the archive lies.
TEST_F(MainWindowTest, TbloButtonOpensTheFolderWithXdgOpenOrSaysWhereTheArchiveLies) {
    std::filesystem::create_directories("tblo");
    { std::ofstream("tblo/tblo.zip") << "zip"; }
    const std::filesystem::path bin = std::filesystem::absolute("bin");
    std::filesystem::create_directories(bin);
    const std::string oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    const std::string oldOpener = std::getenv("QUORVEL_SHELL_OPEN") != nullptr ? std::getenv("QUORVEL_SHELL_OPEN") : "";
    ::unsetenv("QUORVEL_SHELL_OPEN");
    ::setenv("PATH", bin.c_str(), 1);
    const auto opener = [&](int exitStatus) {
        const auto script = bin / "xdg-open";
        std::ofstream(script) << "#!/bin/sh\necho \"$1\" >> '" << std::filesystem::absolute("opened.txt").string()
                              << "'\nexit " << exitStatus << "\n";
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    };
    const auto click = [&] {
        EnableWindow(TBLO_ZIP_BUTTON.window, TRUE);
        w::click(window, TBLO_ZIP_BUTTON.controlId);
        pump();
    };
    const std::string folder = std::filesystem::absolute("tblo").string();
    const std::string box = "Could not open File Explorer at tblo.zip.";

    opener(0); // the neighbour: the folder opens, nothing is said
    click();
    EXPECT_EQ(readText("opened.txt"), folder + "\n");
    EXPECT_TRUE(w::messageBoxes().empty());

    opener(3); // the opener refuses
    click();
    ASSERT_EQ(w::messageBoxes().size(), 1U);
    EXPECT_EQ(w::messageBoxes()[0].text, box);
    EXPECT_TRUE(contains(logLines(), fmt::format("==> Could not open File Explorer at tblo.zip ({}/xdg-open ended "
                                                 "with exit status 3): the archive lies in {}",
                                                 bin.string(), folder)))
        << ::testing::PrintToString(logLines());

    std::filesystem::remove(bin / "xdg-open"); // nothing on PATH opens a folder
    click();
    ASSERT_EQ(w::messageBoxes().size(), 2U);
    EXPECT_EQ(w::messageBoxes()[1].text, box);
    EXPECT_TRUE(contains(logLines(), fmt::format("==> Could not open File Explorer at tblo.zip (nothing here opens a "
                                                 "folder (xdg-open is not on PATH)): the archive lies in {}",
                                                 folder)))
        << ::testing::PrintToString(logLines());
    EXPECT_EQ(readText("opened.txt"), folder + "\n" + folder + "\n");

    ::setenv("PATH", oldPath.c_str(), 1);
    ::setenv("QUORVEL_SHELL_OPEN", oldOpener.c_str(), 1);
}

TEST_F(MainWindowTest, ParkingControlsFollowTheBusyStateAndLeaveNowAloneWithInitialLoadOnly) {
    INITIAL_LOAD_ONLY.current = true;
    EnableWindow(NOW_BUTTON.window, TRUE);
    gf_disableStaticParkingControls();
    EXPECT_TRUE(control(NOW_BUTTON).enabled);
    EXPECT_FALSE(control(MAX_PARK_SEL).enabled);
    EXPECT_FALSE(control(FLUSH_STATIC_BUTTON).enabled);
    gf_enableStaticParkingControls();
    EXPECT_TRUE(control(MAX_PARK_SEL).enabled);
    EXPECT_TRUE(control(REREAD_BUTTON).enabled);
    EXPECT_EQ(gMinutesToStaticUpdate.load(), 20);
    INITIAL_LOAD_ONLY.current = false;
    gf_disableStaticParkingControls();
    EXPECT_FALSE(control(NOW_BUTTON).enabled);
    for (const auto& [seconds, expected] : std::vector<std::pair<int, std::string>>{
             {30, "Quorvel will update static parking in 15 seconds ..."},
             {31, "Quorvel will update static parking in 14 seconds ..."}}) {
        gSecondsCounter = seconds;
        lf_announceStaticParkingUpdate();
        EXPECT_EQ(message(), expected);
    }
}

TEST_F(MainWindowTest, InstallPathTakesTheFolderThatHoldsCommunity) {
    const fs::path sim = folder() / "sim";
    fs::create_directories(sim / "Community");
    fs::create_directories(folder() / "plain");
    gIsMsfs2020 = true;
    MSFS_INSTALL_PATH.current.set("old");

    ALL_INSTALL_PATH.current.set("old");
    enter(ALL_INSTALL_PATH, utf8_to_wide((folder() / "missing").string()));
    EXPECT_EQ(message(), "This install path does not exist: " + (folder() / "missing").string());
    EXPECT_EQ(control(ALL_INSTALL_PATH).text, u"old"); // the stored path is shown again
    enter(ALL_INSTALL_PATH, utf8_to_wide((folder() / "plain").string()));
    EXPECT_EQ(message(), "This path exists but is not a path to Community ...");
    EXPECT_EQ(MSFS_INSTALL_PATH.current.get(), "old");
    EXPECT_EQ(gf_exitReason(), ExitReason::NotYetSet);

    enter(ALL_INSTALL_PATH, utf8_to_wide((sim / "Community").string() + "/"));
    EXPECT_EQ(MSFS_INSTALL_PATH.current.get(), sim.string());
    EXPECT_EQ(message(), "Community path found, Quorvel will restart ...");
    EXPECT_EQ(gf_exitReason(), ExitReason::NewSettings);
    EXPECT_EQ(gf_restartDelay(), 3);
    gf_resetRunState();
    enter(ALL_INSTALL_PATH, utf8_to_wide(sim.string()));
    EXPECT_EQ(MSFS_INSTALL_PATH.current.get(), sim.string());
    EXPECT_EQ(gf_exitReason(), ExitReason::NewSettings);
    enter(ALL_INSTALL_PATH, u"");
    EXPECT_EQ(MSFS_INSTALL_PATH.current.get(), "");
    EXPECT_NE(savedFile().find("name=\"MSFS_INSTALL_PATH\" value=\"\""), std::string::npos);
}

TEST_F(MainWindowTest, BlockedCallsignIsCheckedStoredInUpperCaseAndUnblocked) {
    gBlockRequest = false;
    enter(BLOCK_CALLSIGN, u"abc");
    EXPECT_EQ(message(), "callsign 'abc' is not valid");
    enter(BLOCK_CALLSIGN, u"abcdefghi");
    EXPECT_EQ(message(), "callsign 'abcdefghi' is not valid");
    EXPECT_EQ(control(BLOCK_CALLSIGN).text, u""); // the stored value shown again
    EXPECT_FALSE(gBlockRequest.load());

    enter(BLOCK_CALLSIGN, u"sas123");
    EXPECT_EQ(BLOCK_CALLSIGN.current.get(), "SAS123");
    EXPECT_EQ(control(BLOCK_CALLSIGN).text, u"SAS123");
    EXPECT_TRUE(control(UNBLOCK_BUTTON).enabled);
    EXPECT_TRUE(gBlockRequest.exchange(false));
    EXPECT_NE(savedFile().find("name=\"BLOCK_CALLSIGN\" value=\"SAS123\""), std::string::npos);

    enter(BLOCK_CALLSIGN, u"SAS123");
    EXPECT_EQ(message(), "callsign 'SAS123' was already set ...");

    enter(BLOCK_CALLSIGN, u"");
    EXPECT_EQ(BLOCK_CALLSIGN.current.get(), "");
    EXPECT_EQ(message(), "no more blocking of live aircraft 'SAS123'");
    EXPECT_FALSE(control(UNBLOCK_BUTTON).enabled);
    EXPECT_TRUE(gBlockRequest.load());
    EXPECT_TRUE(contains(logLines(), "no more blocking of live aircraft 'SAS123'"));
}

TEST_F(MainWindowTest, ANewCallsignSelectionWaitsForItsOwnObjectId) {
    // The first selection was looked up and is gone.
    gObjectIdLookupPending = true;
    lf_onSimSecond();
    ASSERT_EQ(gf_objectIdLabel(), "has left");
    EnableWindow(CALLSIGN_2_OBJECTID.window, TRUE);
    CALLSIGN_2_OBJECTID.setOptionList({"DLH4TX", "SAS123"});
    gf_fillCallsignComboBox();
    w::select(window, CALLSIGN_2_OBJECTID.controlId, 1);
    pump();
    EXPECT_EQ(CALLSIGN_2_OBJECTID.current.get(), "SAS123");
    EXPECT_EQ(gf_objectIdLabel(), "");
    EXPECT_TRUE(gObjectIdLookupPending.load());
}

std::vector<ActiveAircraftRow> twoFlying() {
    std::vector<ActiveAircraftRow> rows(2);
    rows[0].callsign = "SAS123";
    rows[1].callsign = "DLH4TX";
    return rows;
}

// The start-up thread refills the callsign list while the window's "Block" resets it.
TEST(CallsignSelectionConcurrency, RefillAndResetNeverMeetHalfWay) {
    gf_setActiveAircraftSource(&twoFlying);
    std::latch bothReady(2);
    std::thread startUp([&] {
        bothReady.arrive_and_wait();
        for (int i = 0; i < 20000; ++i)
            gf_fillLiveCallsignList();
    });
    bothReady.arrive_and_wait();
    for (int i = 0; i < 20000; ++i)
        gf_resetCallsignSelection();
    startUp.join();
    const auto list = CALLSIGN_2_OBJECTID.optionList();
    EXPECT_TRUE(list == std::vector<std::string>{""} ||
                list == (std::vector<std::string>{"DLH4TX", "SAS123"}));
    gf_setActiveAircraftSource(nullptr);
    CALLSIGN_2_OBJECTID.setOptionList({""});
}

TEST_F(MainWindowTest, CategoriesWithoutLiveriesStayOffAfterARestartThatDoesNotScan) {
    // An empty catalogue: no helicopters, no fighter jets.
    fs::create_directories(gf_paths().liveriesScannedPath.parent_path());
    {
        std::ofstream(gf_paths().liveriesScannedPath)
            << R"(<root><liveries><l a="BAW" m="A320" t="Speedbird"/></liveries></root>)";
    }
    HELICOPTERS.current = true;
    HIGH_PERF_AIRCRAFT.current = true;
    gf_processScannedLiveries();
    EXPECT_FALSE(HELICOPTERS.current.load());
    EXPECT_FALSE(control(HELICOPTERS).enabled);
    // The restart reads the settings again (the file keeps the user's choice) and sets up the
    // controls; the catalogue is not processed again.
    HELICOPTERS.current = true;
    HIGH_PERF_AIRCRAFT.current = true;
    lf_initControls();
    gf_processScannedLiveries();
    for (const CheckBoxParameter* box : {&HELICOPTERS, &HIGH_PERF_AIRCRAFT}) {
        EXPECT_FALSE(box->current.load()) << box->name;
        EXPECT_EQ(control(*box).checked, BST_UNCHECKED) << box->name;
        EXPECT_FALSE(control(*box).enabled) << box->name;
    }
    gf_resetLiveryIndex();
}

TEST_F(MainWindowTest, DestinationMustBeAKnownAirport) {
    AirportRecord billund;
    billund.icaoCode = FixedCode<4>("EKBI");
    billund.latitude = 55.74;
    billund.longitude = 9.15;
    gAirports = {billund};
    gf_resetMyParkAirports(); // an earlier run of this process may have left its park airports

    enter(DESTINATION, u"EKB");
    EXPECT_EQ(message(), "destination 'EKB' is not valid");
    enter(DESTINATION, u"EH A"); // no airport code; refused without an exception
    EXPECT_EQ(message(), "destination 'EH A' is not valid");
    enter(DESTINATION, u"ekxx");
    EXPECT_EQ(message(), "destination 'EKXX' is unknown ...");
    EXPECT_FALSE(gf_frontParkAirport().has_value());

    EnableWindow(REREAD_BUTTON.window, TRUE);
    enter(DESTINATION, u"ekbi");
    EXPECT_EQ(DESTINATION.current.get(), "EKBI");
    EXPECT_EQ(message(), "New destination: EKBI");
    ASSERT_TRUE(gf_frontParkAirport().has_value());
    EXPECT_EQ(gf_frontParkAirport()->code, FixedCode<4>("EKBI"));
    EXPECT_FALSE(control(REREAD_BUTTON).enabled);
    EXPECT_TRUE(contains(logLines(), "New destination: EKBI"));

    enter(DESTINATION, u"EKBI");
    EXPECT_EQ(message(), "destination 'EKBI' was already set ...");
    EXPECT_EQ(control(DESTINATION).text, u"EKBI");

    enter(DESTINATION, u"");
    EXPECT_EQ(DESTINATION.current.get(), "");
    EXPECT_EQ(message(), "destination set to empty");
    EXPECT_TRUE(control(REREAD_BUTTON).enabled);
}

TEST_F(MainWindowTest, CloseButtonStopsTheRunButKeepsTheWindow) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    pump();
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(message(), "Close window button clicked, closing Quorvel ...");
    EXPECT_TRUE(gStopFlag.load());
    EXPECT_TRUE(gClosingFlag.load());
    EXPECT_EQ(gf_exitReason(), ExitReason::UserClosedSim);
    EXPECT_FALSE(contains(logLines(), "Close window button clicked, closing Quorvel ..."));

    gf_resetRunState();
    gf_setExitReason(ExitReason::SimWasClosed, 0);
    PostMessageW(window, WM_CLOSE, 0, 0);
    pump();
    EXPECT_EQ(gf_exitReason(), ExitReason::SimWasClosed);

    // The message line alone is repainted when a text is set.
    const std::size_t before = w::invalidationCount();
    gf_setStatusLine("x", false);
    pump();
    const auto all = w::invalidations();
    ASSERT_EQ(w::invalidationCount(), before + 1);
    EXPECT_EQ(std::tie(all.back().rect.top, all.back().rect.bottom, all.back().erase),
              std::make_tuple(448, 476, false));
}

// The run ends as soon as it sees the closing or the stop, and then looks up why: the close
// button's reason must be there before either flag (a watcher reads it the moment it sees one).
TEST_F(MainWindowTest, CloseButtonStoresItsReasonBeforeTheRunSeesTheFlags) {
    EXPECT_EQ(testsupport::reasonsMissedWhenTheFlagsAreSeen([] { lf_onCloseButton(); }, ExitReason::UserClosedSim, 300), 0);
}

TEST_F(MainWindowTest, PaintingShowsTheStateOfTheRun) {
    gTrafficRunFlag = false;
    gf_mainWindowState().parkAirportCode.set({});
    w::Frame f = paint();
    // The five bands and the white lines.
    std::vector<std::tuple<LONG, LONG, COLORREF>> fills;
    for (const auto& c : f.calls)
        if (c.kind == w::DrawCall::Kind::Fill && c.rect.left == 0 && c.rect.right == 880)
            fills.emplace_back(c.rect.top, c.rect.bottom, c.colour);
    ASSERT_GE(fills.size(), 5U);
    EXPECT_EQ(std::vector(fills.begin(), fills.begin() + 5),
              (std::vector<std::tuple<LONG, LONG, COLORREF>>{{0, 28, kBlack},
                                                             {28, 112, kBlack},
                                                             {112, 392, kLightBlue},
                                                             {392, 448, kBlack},
                                                             {448, 476, kGreen}}));
    std::size_t whiteLines = 0;
    for (const auto& c : f.calls)
        whiteLines += c.kind == w::DrawCall::Kind::Line && c.colour == kWhite ? 1 : 0;
    EXPECT_EQ(whiteLines, 4U);
    ASSERT_NE(text(f, "# liveries: ..."), nullptr);
    EXPECT_EQ(text(f, "# liveries: ...")->colour, kRed);
    EXPECT_EQ(std::tie(text(f, "MSFS")->x, text(f, "MSFS")->y), std::make_tuple(5, 35));
    EXPECT_EQ(text(f, "live:   0"), nullptr); // not before RealTraffic has connected
    EXPECT_EQ(text(f, "Aerowinx")->y, 203);
    // A disabled optional box greys its label.
    EnableWindow(HELICOPTERS.window, FALSE);
    f = paint();
    EXPECT_EQ(text(f, "Helicopters")->colour, kGrey);
    EXPECT_EQ(text(f, "Light aircraft")->colour, kBlack);

    // RealTraffic connected with a silent QNH: "qnh:" empty while none has come.
    gTrafficRunFlag = true;
    gQnhReaderState = kReaderSilent;
    gTrafficReaderState = kReaderReceiving;
    gShownQnh = 0;
    gf_mainWindowState().liveCountShown = 7;
    f = paint();
    ASSERT_NE(text(f, "live:   7"), nullptr);
    EXPECT_EQ(std::tie(text(f, "live:   7")->x, text(f, "live:   7")->y), std::make_tuple(642, 91));
    EXPECT_NE(text(f, ""), nullptr);
    gShownQnh = 1013;
    EXPECT_NE(text(paint(), "qnh: 1013"), nullptr);

    // A park airport not read yet: only its code, in yellow; read: the counts.
    MainWindowState& s = gf_mainWindowState();
    s.parkAirportCode.set("EKBI");
    f = paint();
    EXPECT_EQ(text(f, "EKBI")->colour, kYellow);
    EXPECT_EQ(text(f, "# stands:   0"), nullptr);
    s.parkAirportLoaded = true;
    s.stands = 42;
    f = paint();
    EXPECT_EQ(text(f, "EKBI")->colour, kGreen);
    EXPECT_NE(text(f, "# stands:  42"), nullptr);
    EXPECT_NE(text(f, "no max park live"), nullptr);
    s.standsToFill = 12;
    s.wantedPercentage = 30;
    EXPECT_NE(text(paint(), "max park:  12 (=30 %)"), nullptr);

    // The notice asking for tblo.zip ends before the column line at 642 (the default font's
    // characters are at most 7 pixels wide on average).
    gTbloCopyCounter = 1;
    f = paint();
    gTbloCopyCounter = 0;
    const auto notice = std::find_if(f.calls.begin(), f.calls.end(), [](const w::DrawCall& c) {
        return c.kind == w::DrawCall::Kind::Text && c.text.find("tblo.zip") != std::string::npos;
    });
    ASSERT_NE(notice, f.calls.end());
    EXPECT_LE(notice->x + 7 * static_cast<int>(notice->text.size()), 642) << notice->text;

    // An error text turns the line red and hides the message.
    gf_setStatusLine("hello", false);
    EXPECT_EQ(text(paint(), "hello")->colour, kYellow);
    gf_setStatusError("broken");
    f = paint();
    EXPECT_EQ(text(f, "hello"), nullptr);
    EXPECT_EQ(text(f, "broken")->colour, kYellow);
    EXPECT_EQ(std::get<2>(fills.back()), kGreen);
    bool red = false;
    for (const auto& c : f.calls)
        red |= c.kind == w::DrawCall::Kind::Fill && c.rect.top == 448 && c.colour == kRed;
    EXPECT_TRUE(red);
}

} // namespace
} // namespace apptest
