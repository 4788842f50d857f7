// The main window on a real X display (scripts/test runs this program under xvfb-run): the FLTK
// face shows the window model, a person's click on a check box and typing into an edit field
// arrive through the X server (XTest) and change the settings as they do headless ("Stay on top"
// asks the window manager to keep the window above), and a
// screenshot of the window has the layout of the headless frame: the painted bands where the
// frame put them, and a widget at the place of every control.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/app_state.hpp"
#include "app/app_test_support.hpp"
#include "app/main_window.hpp"
#include "app/startup.hpp"
#include "app/window_procedure.hpp"
#include "config/control_binding.hpp"
#include "links/traffic_source_state.hpp"
#include "platform/fltk/fltk_face.hpp"
#include "platform/win32/display_face.hpp"
#include "platform/win32/gdi.hpp"
#include "platform/win32/monitors.hpp"

// Last: Xlib's macros (None, True, Status, ...) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

// FLTK and Xlib keep their fonts and connection caches until the process ends.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libX11\nleak:libXft\nleak:libfltk\nleak:libxcb\nleak:libfreetype\n";
}

namespace {

using namespace tamrix;
namespace w = platform::win32;

constexpr int kClientWidth = 880;
constexpr int kClientHeight = 476;

constexpr COLORREF rgb(unsigned red, unsigned green, unsigned blue) {
    return red | (green << 8) | (blue << 16);
}

struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

// What the frame and the controls should put at each pixel of the client area.
struct Expected {
    enum class Kind : uint8_t { Painted, Ignored, Control };
    std::vector<COLORREF> colour = std::vector<COLORREF>(kClientWidth * kClientHeight, 0);
    std::vector<Kind> kind = std::vector<Kind>(kClientWidth * kClientHeight, Kind::Painted);
    std::size_t index(int x, int y) const { return static_cast<std::size_t>(y * kClientWidth + x); }
    void mark(int left, int top, int right, int bottom, Kind k) {
        for (int y = std::max(top, 0); y < std::min(bottom, kClientHeight); ++y)
            for (int x = std::max(left, 0); x < std::min(right, kClientWidth); ++x)
                if (kind[index(x, y)] != Kind::Control) kind[index(x, y)] = k;
    }
};

struct ControlPlace {
    int id;
    RECT rect;
};

// The headless frame replayed: fills and straight lines in their colours; text and a pixel
// around each line are left out (fonts and line ends may differ by a pixel); controls marked.
Expected expectedOf(const w::Frame& frame, const std::vector<ControlPlace>& controls) {
    Expected e;
    std::vector<RECT> loose;
    for (const auto& call : frame.calls) {
        switch (call.kind) {
        case w::DrawCall::Kind::Fill:
            for (int y = std::max<int>(call.rect.top, 0); y < std::min<int>(call.rect.bottom, kClientHeight);
                 ++y)
                for (int x = std::max<int>(call.rect.left, 0);
                     x < std::min<int>(call.rect.right, kClientWidth); ++x)
                    e.colour[e.index(x, y)] = call.colour;
            break;
        case w::DrawCall::Kind::Line:
            loose.push_back({std::min(call.rect.left, call.rect.right) - 1,
                             std::min(call.rect.top, call.rect.bottom) - 1,
                             std::max(call.rect.left, call.rect.right) + 2,
                             std::max(call.rect.top, call.rect.bottom) + 2});
            break;
        case w::DrawCall::Kind::Text:
            // Generous: 10 pixels a character, a line of 13-pixel Helvetica with its descent.
            loose.push_back(
                {call.x - 2, call.y - 2, call.x + 10 * static_cast<LONG>(call.text.size()) + 4, call.y + 20});
            break;
        }
    }
    for (const RECT& r : loose)
        e.mark(r.left, r.top, r.right, r.bottom, Expected::Kind::Ignored);
    for (const auto& c : controls)
        e.mark(c.rect.left, c.rect.top, c.rect.right, c.rect.bottom, Expected::Kind::Control);
    return e;
}

class WindowOnDisplay : public apptest::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr)
            << "This test needs an X display: run it under xvfb-run (scripts/test does)";
        int event = 0, error = 0, major = 0, minor = 0;
        ASSERT_TRUE(XTestQueryExtension(display, &event, &error, &major, &minor))
            << "the X server lacks XTest";
        w::resetFrames();
        gf_resetMainWindowState();
        gWaitingForRealTraffic = true;

        platform::fltk::installWhenDisplayed();
        ASSERT_TRUE(w::displayFace().open) << "the FLTK face did not install itself on this display";
        lf_loadWindowPosition(); // no settings file: the default place, kept on the real screen
        window = w::createTopLevelWindow("Quorvel", "Quorvel");
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&lf_mainWndProc));
        gMainWindow = window;
        gf_setStatusLineWindow(window);
        SetWindowPos(window, nullptr, MAIN_WINDOW_X.current.load(), MAIN_WINDOW_Y.current.load(),
                     kWindowWidth, kWindowHeight, SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(window, WM_CREATE, 0, 0);
        lf_initControls();
        w::displayFace().open(window);
    }
    void TearDown() override {
        if (w::displayFace().close) w::displayFace().close();
        w::displayFace() = w::DisplayFace{};
        w::setMonitors({});
        if (display != nullptr) XCloseDisplay(display);
        gf_resetMainWindowState();
        AppTest::TearDown();
    }

    // Runs the window thread's part (the messages the face posts) until the condition holds;
    // false when it does not within the limit.
    bool pumpUntil(const std::function<bool()>& condition,
                   std::chrono::seconds limit = std::chrono::seconds(20)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end) return false;
            w::dispatchPending();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    // The shown top-level window of the client area's size: its place on the screen.
    bool findShownWindow(int& x, int& y, Window* shown = nullptr) {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        bool found = false;
        if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) != 0) {
            for (unsigned i = 0; i < count && !found; ++i) {
                XWindowAttributes a;
                if (XGetWindowAttributes(display, children[i], &a) == 0) continue;
                if (a.map_state == IsViewable && a.width == kClientWidth && a.height == kClientHeight) {
                    x = a.x;
                    y = a.y;
                    if (shown != nullptr) *shown = children[i];
                    found = true;
                }
            }
        }
        if (children != nullptr) XFree(children);
        return found;
    }

    Screenshot screenshot() {
        Screenshot s;
        XImage* image = XGetImage(display, DefaultRootWindow(display), windowX, windowY, kClientWidth,
                                  kClientHeight, AllPlanes, ZPixmap);
        if (image == nullptr) return s;
        s.width = kClientWidth;
        s.height = kClientHeight;
        s.pixels.reserve(static_cast<std::size_t>(kClientWidth * kClientHeight));
        const auto channel = [](unsigned long pixel, unsigned long mask) {
            if (mask == 0) return 0u;
            int shift = 0;
            while (((mask >> shift) & 1u) == 0)
                ++shift;
            const unsigned long max = mask >> shift;
            return static_cast<unsigned>(((pixel & mask) >> shift) * 255 / max);
        };
        for (int y = 0; y < kClientHeight; ++y)
            for (int x = 0; x < kClientWidth; ++x) {
                const unsigned long p = XGetPixel(image, x, y);
                s.pixels.push_back(rgb(channel(p, image->red_mask), channel(p, image->green_mask),
                                       channel(p, image->blue_mask)));
            }
        XDestroyImage(image);
        return s;
    }

    // With QUORVEL_DISPLAY_SHOTS naming a folder, the screenshot is kept there as
    // "window-{name}.ppm" to look at.
    void keepScreenshot(const std::string& name) {
        const char* folder = std::getenv("QUORVEL_DISPLAY_SHOTS");
        if (folder == nullptr || *folder == '\0') return;
        const Screenshot shot = screenshot();
        std::string bytes = fmt::format("P6\n{} {}\n255\n", shot.width, shot.height);
        for (const COLORREF c : shot.pixels) {
            bytes.push_back(static_cast<char>(w::redOf(c)));
            bytes.push_back(static_cast<char>(w::greenOf(c)));
            bytes.push_back(static_cast<char>(w::blueOf(c)));
        }
        testsupport::writeFile(std::filesystem::path(folder) / ("window-" + name + ".ppm"), bytes);
    }

    void clickAt(int x, int y) {
        XTestFakeMotionEvent(display, -1, windowX + x, windowY + y, CurrentTime);
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        XFlush(display);
    }
    // Enables the BLOCK_CALLSIGN field as the start-up does, waits until the face shows it ready
    // for input (white) and clicks into it, so that the keyboard goes to it.
    ::testing::AssertionResult focusBlockCallsignField() {
        EnableWindow(BLOCK_CALLSIGN.window, TRUE);
        const auto field = *w::windowState(BLOCK_CALLSIGN.window);
        if (!pumpUntil([&] {
                const Screenshot shot = screenshot();
                return !shot.pixels.empty() &&
                       shot.at(field.x + field.width - 5, field.y + field.height / 2) == kWhite;
            }))
            return ::testing::AssertionFailure() << "the edit field was not enabled on the screen";
        clickAt(field.x + field.width / 2, field.y + field.height / 2);
        return ::testing::AssertionSuccess();
    }
    void typeKeys(const std::vector<const char*>& keySymbols) {
        for (const char* name : keySymbols) {
            const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(name));
            ASSERT_NE(code, 0) << name;
            XTestFakeKeyEvent(display, code, True, CurrentTime);
            XTestFakeKeyEvent(display, code, False, CurrentTime);
        }
        XFlush(display);
    }

    std::vector<ControlPlace> controlPlaces() const {
        std::vector<ControlPlace> places;
        for (HWND child : w::childWindows(window)) {
            const auto s = *w::windowState(child);
            // A combo box's height is its drop-down list; closed it is one line.
            const int height = s.kind == w::ControlKind::ComboBox ? 20 : s.height;
            places.push_back({s.controlId, {s.x, s.y, s.x + s.width, s.y + height}});
        }
        return places;
    }

    // Pixels of the painted area that differ from the frame, and the controls without a widget.
    struct Comparison {
        std::size_t compared = 0;
        std::vector<std::string> wrongPixels;
        std::vector<int> missingControls;
    };
    Comparison compare(const Screenshot& shot) const {
        Comparison c;
        const auto frame = w::lastFrame(window);
        if (!frame || shot.pixels.empty()) return c;
        const auto places = controlPlaces();
        const Expected e = expectedOf(*frame, places);
        for (int y = 0; y < kClientHeight; ++y)
            for (int x = 0; x < kClientWidth; ++x) {
                if (e.kind[e.index(x, y)] != Expected::Kind::Painted) continue;
                ++c.compared;
                if (shot.at(x, y) != e.colour[e.index(x, y)])
                    c.wrongPixels.push_back(fmt::format("({},{}) {:06x} not {:06x}", x, y, shot.at(x, y),
                                                        e.colour[e.index(x, y)]));
            }
        // A widget covers a good part of its control's place with something else than the band.
        for (const auto& p : places) {
            int differing = 0, total = 0;
            for (int y = std::max<int>(p.rect.top, 0); y < std::min<int>(p.rect.bottom, kClientHeight); ++y)
                for (int x = std::max<int>(p.rect.left, 0); x < std::min<int>(p.rect.right, kClientWidth);
                     ++x) {
                    ++total;
                    differing += shot.at(x, y) != e.colour[e.index(x, y)] ? 1 : 0;
                }
            if (total == 0 || differing * 5 < total) c.missingControls.push_back(p.id);
        }
        return c;
    }

    Display* display = nullptr;
    HWND window = nullptr;
    int windowX = 0;
    int windowY = 0;
};

TEST_F(WindowOnDisplay, ClicksAndTypingReachTheModelAndTheScreenShowsTheFrame) {
    // The window stands where the model places it.
    ASSERT_TRUE(pumpUntil([&] { return findShownWindow(windowX, windowY); })) << "no window was shown";
    EXPECT_EQ(std::make_pair(windowX, windowY),
              std::make_pair(MAIN_WINDOW_X.current.load(), MAIN_WINDOW_Y.current.load()))
        << "(FLTK moves a window that touches the screen's edge: use a screen wider than 1280 pixels)";

    // The face draws each new frame: wait until the screen shows the latest one.
    Comparison last;
    const auto screenMatches = [&] {
        if (!w::lastFrame(window)) return false;
        last = compare(screenshot());
        return last.compared > 0 && last.wrongPixels.empty() && last.missingControls.empty();
    };
    const auto explain = [&] {
        std::string text =
            fmt::format("{} of {} painted pixels differ", last.wrongPixels.size(), last.compared);
        for (std::size_t i = 0; i < std::min<std::size_t>(last.wrongPixels.size(), 8); ++i)
            text += "; " + last.wrongPixels[i];
        for (int id : last.missingControls)
            text += fmt::format("; no widget for control {}", id);
        return text;
    };
    const bool firstFrameShown = pumpUntil(screenMatches);
    keepScreenshot("first");
    ASSERT_TRUE(firstFrameShown) << explain();
    // Most of the window is painted by the frame, not hidden by widgets or texts.
    EXPECT_GT(last.compared, static_cast<std::size_t>(kClientWidth * kClientHeight / 2));
    const std::size_t framesBefore = w::lastFrame(window)->number;

    // A click on the AIRBORNE_ONLY check box: the handler ticks it, saves it and says so.
    const bool airborneBefore = AIRBORNE_ONLY.current.load();
    const auto box = *w::windowState(AIRBORNE_ONLY.window);
    clickAt(box.x + box.width / 2, box.y + box.height / 2);
    ASSERT_TRUE(pumpUntil([&] { return AIRBORNE_ONLY.current.load() != airborneBefore; }))
        << "the click did not arrive";
    EXPECT_EQ(IsDlgButtonChecked(window, AIRBORNE_ONLY.controlId),
              airborneBefore ? BST_UNCHECKED : BST_CHECKED);
    EXPECT_NE(
        apptest::readText(gf_paths().parametersPath)
            .find(fmt::format("name=\"AIRBORNE_ONLY\" value=\"{}\"", airborneBefore ? "false" : "true")),
        std::string::npos);

    // Typing a callsign into BLOCK_CALLSIGN and Enter: stored in upper case, shown so, and Unblock
    // can be used.
    // The face follows the model: the field turns white once its widget takes input.
    ASSERT_TRUE(focusBlockCallsignField());
    typeKeys({"s", "a", "s", "1", "2", "3", "Return"});
    ASSERT_TRUE(pumpUntil([&] { return BLOCK_CALLSIGN.current.get() == "SAS123"; }))
        << "typed: '" << BLOCK_CALLSIGN.current.get() << "'";
    EXPECT_EQ(w::windowState(BLOCK_CALLSIGN.window)->text, u"SAS123");
    EXPECT_TRUE(IsWindowEnabled(UNBLOCK_BUTTON.window));

    // The changes were painted anew (the message line of the check box), and the screen follows.
    ASSERT_TRUE(pumpUntil([&] { return w::lastFrame(window)->number > framesBefore; }));
    const bool changesShown = pumpUntil(screenMatches);
    keepScreenshot("changed");
    ASSERT_TRUE(changesShown) << explain();

    // "Stay on top" asks the window manager (here the test, listening on the root window) to keep
    // the window above the others.
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    const auto onTop = *w::windowState(ALWAYS_ON_TOP.window);
    clickAt(onTop.x + onTop.width / 2, onTop.y + onTop.height / 2);
    const Atom wmState = XInternAtom(display, "_NET_WM_STATE", False);
    const Atom above = XInternAtom(display, "_NET_WM_STATE_ABOVE", False);
    bool askedAbove = false;
    ASSERT_TRUE(pumpUntil([&] {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            askedAbove =
                askedAbove ||
                (event.type == ClientMessage && event.xclient.message_type == wmState &&
                 event.xclient.data.l[0] == 1 && static_cast<Atom>(event.xclient.data.l[1]) == above);
        }
        return askedAbove;
    })) << "no request to keep the window above the others";
    EXPECT_TRUE(ALWAYS_ON_TOP.current.load());

    // Moved on the screen, the window's new place is the one saved at the end.
    Window shown = 0;
    ASSERT_TRUE(findShownWindow(windowX, windowY, &shown));
    XMoveWindow(display, shown, 520, 64);
    XFlush(display);
    ASSERT_TRUE(pumpUntil([&] {
        const auto s = w::windowState(window);
        return s->x == 520 && s->y == 64;
    })) << "the model did not follow the move";
    SendMessageW(window, WM_SAVE_AND_QUIT, 0, 0);
    EXPECT_THAT(apptest::readText(gf_paths().parametersPath),
                ::testing::HasSubstr("name=\"MAIN_WINDOW_X\" value=\"520\""));
}

// The close button: the window manager asks the window to close (WM_DELETE_WINDOW), and the run
// closes as the user asked.
TEST_F(WindowOnDisplay, TheCloseButtonCloses) {
    Window shown = 0;
    ASSERT_TRUE(pumpUntil([&] { return findShownWindow(windowX, windowY, &shown); })) << "no window was shown";
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = shown;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, shown, False, NoEventMask, &close);
    XFlush(display);
    ASSERT_TRUE(pumpUntil([&] { return gClosingFlag.load(); })) << "the close button did not close";
    EXPECT_EQ(gf_exitReason(), ExitReason::UserClosedSim);
}

// Escape, pressed by habit, closes nothing: over the painted window, or in an edit field, which
// keeps what was typed around it.
TEST_F(WindowOnDisplay, EscapeClosesNothing) {
    ASSERT_TRUE(pumpUntil([&] { return findShownWindow(windowX, windowY); })) << "no window was shown";
    const auto stillOpen = [&] {
        w::dispatchPending(); // a close request posted before the last key's effect is handled too
        return !gClosingFlag.load() && gf_exitReason() == ExitReason::NotYetSet;
    };

    // Over the painted header, then a click on a check box: once the click arrived, so had Escape.
    XTestFakeMotionEvent(display, -1, windowX + 440, windowY + 14, CurrentTime);
    typeKeys({"Escape"});
    const bool airborneBefore = AIRBORNE_ONLY.current.load();
    const auto box = *w::windowState(AIRBORNE_ONLY.window);
    clickAt(box.x + box.width / 2, box.y + box.height / 2);
    ASSERT_TRUE(pumpUntil([&] { return AIRBORNE_ONLY.current.load() != airborneBefore; }))
        << "the click did not arrive";
    EXPECT_TRUE(stillOpen()) << "Escape over the window closed it";

    // In the BLOCK_CALLSIGN field, between the letters of a callsign.
    ASSERT_TRUE(focusBlockCallsignField());
    typeKeys({"a", "b", "Escape", "c", "d", "Return"});
    ASSERT_TRUE(pumpUntil([&] { return BLOCK_CALLSIGN.current.get() == "ABCD"; }))
        << "typed: '" << BLOCK_CALLSIGN.current.get() << "'";
    EXPECT_TRUE(stillOpen()) << "Escape in the edit field closed the window";
}

} // namespace
