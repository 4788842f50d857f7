#include "app/painting.hpp"

#include <climits>

#include <fmt/format.h>

#include "airports/tblo_folder.hpp"
#include "app/app_state.hpp"
#include "app/main_loop.hpp"
#include "app/main_window.hpp"
#include "app/run_hooks.hpp"
#include "config/settings.hpp"
#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/status_line.hpp"
#include "core/text_encoding.hpp"
#include "core/version_data.hpp"
#include "links/sim_status.hpp"
#include "links/simconnect_client.hpp"
#include "links/traffic_source_state.hpp"
#include "liveries/livery_index.hpp"

namespace tamrix {
namespace {

struct Tools {
    HBRUSH red = CreateSolidBrush(kRed);
    HBRUSH lightBlue = CreateSolidBrush(kLightBlue);
    HBRUSH black = CreateSolidBrush(kBlack);
    HBRUSH green = CreateSolidBrush(kGreen);
    HBRUSH yellow = CreateSolidBrush(kYellow);
    HPEN blackPen = CreatePen(PS_SOLID, 1, kBlack);
    HPEN whitePen = CreatePen(PS_SOLID, 1, kWhite);
};
const Tools& tools() {
    static const Tools t;
    return t;
}

constexpr RECT kSeparators[7] = {{0, 140, 880, 140}, {0, 168, 642, 168}, {0, 196, 642, 196},
                                 {0, 224, 642, 224}, {0, 252, 642, 252}, {0, 280, 642, 280},
                                 {0, 308, 880, 308}};

void fill(HDC dc, const RECT& rect, HBRUSH brush) {
    FillRect(dc, &rect, brush);
}
void line(HDC dc, int x1, int y1, int x2, int y2) {
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
}
int rowOf(const ParameterControl& p) {
    return static_cast<int>(p.row);
}
bool controlEnabled(const ParameterControl& p) {
    return p.window == nullptr || IsWindowEnabled(p.window) != FALSE;
}

} // namespace

void lf_drawText(HDC dc, int x, int y, std::string_view text, COLORREF colour) {
    const COLORREF previous = SetTextColor(dc, colour);
    try {
        const std::u16string wide = utf8_to_wide(text);
        const auto length = static_cast<int>(std::min<std::size_t>(wide.size(), INT_MAX));
        TextOutW(dc, x, y, wide.c_str(), length);
    } catch (const std::exception& e) {
        gf_logUnlessQuiet(fmt::format("TextOut utf8  to wide failed for '{}': {}", text, e.what()));
    }
    SetTextColor(dc, previous);
}

void lf_paintMainWindow(HDC dc) {
    const Tools& t = tools();
    const MainWindowState& s = gf_mainWindowState();
    fill(dc, kHeaderBand, t.black);
    fill(dc, kStatusBand, t.black);
    fill(dc, kOptionsBand, t.lightBlue);
    fill(dc, kParkingBand, t.black);
    fill(dc, kMessageBand, gf_statusLineSnapshot().error.empty() ? t.green : t.red);
    SelectObject(dc, t.whitePen);
    line(dc, 0, 28, 880, 28);
    line(dc, 0, 113, 880, 113);
    line(dc, 0, 449, 880, 449);
    line(dc, 0, 392, 880, 392);
    SetBkMode(dc, TRANSPARENT);
    lf_drawText(dc, 3, 7, fmt::format("Version {}", kProgramVersionText), kGreen);
    lf_drawText(dc, 390, 7, kProgramName, kGreen);
    lf_drawText(dc, 632, 7, "Live traffic for your simulator", kGreen);
    SelectObject(dc, t.blackPen);
    for (const RECT& r : kSeparators)
        line(dc, r.left, r.top, r.right, r.bottom);
    line(dc, 642, 140, 642, 308);
    lf_paintStatusPanel(dc);
    if (gTrafficRunFlag.load()) {
        const int32_t qnhState = gQnhReaderState.load();
        const int32_t trafficState = gTrafficReaderState.load();
        if (qnhState == kReaderReceiving || qnhState == kReaderSilent) {
            const int32_t qnh = gShownQnh.load();
            lf_drawText(dc, 642, 63, qnh < 1 ? std::string() : fmt::format("qnh: {:4}", qnh), kGreen);
        }
        if (trafficState == kReaderReceiving || trafficState == kReaderSilent)
            lf_drawText(dc, 642, 91, fmt::format("live: {:3}", s.liveCountShown.load()), kGreen);
    }
    lf_paintOptionLabels(dc);
    lf_paintParkingPanel(dc);
    lf_paintMessageLine(dc);
}

void lf_paintStatusPanel(HDC dc) {
    const Tools& t = tools();
    const MainWindowState& s = gf_mainWindowState();
    const bool connected = gSimOpen.load();
    const bool running = gSimRunning.load();
    const std::string userAc = gf_userAcText();
    fill(dc, RECT{397, 30, 426, 113},
         connected && running && !userAc.empty() ? t.green
         : connected                             ? t.yellow
                                                 : t.red);
    lf_drawText(dc, 398, 63, "Sim", kGreen);
    if (connected) {
        const COLORREF colour = running && !userAc.empty() ? kGreen : kYellow;
        const std::string stand = gf_userStandText();
        lf_drawText(dc, 5, 35,
                    stand.empty() ? gf_simulatorText() : gf_simulatorText() + ", user stand " + stand,
                    colour);
        lf_drawText(dc, 5, 63, userAc, colour);
    } else {
        lf_drawText(dc, 5, 35, "MSFS", kGreen);
    }
    const int32_t liveries = gScannedLiveryCount.load();
    if (liveries == 0)
        lf_drawText(dc, 5, 91, "# liveries: ...", kRed);
    else
        lf_drawText(dc, 5, 91, fmt::format("# liveries: {}", liveries), kGreen);
    const uint64_t simaddon = gSimaddonCount.load();
    const uint64_t thirdparty = gThirdpartyCount.load();
    lf_drawText(dc, 141, 91, simaddon == 0 ? "# simaddon: ..." : fmt::format("# simaddon: {}", simaddon),
                simaddon == 0 ? kYellow : kGreen);
    lf_drawText(dc, 278, 91, thirdparty == 0 ? "# thirdp: ..." : fmt::format("# thirdp: {}", thirdparty),
                thirdparty == 0 ? kYellow : kGreen);
    const bool rtConnected = gTrafficRunFlag.load();
    const int32_t trafficState = gTrafficReaderState.load();
    const int32_t qnhState = gQnhReaderState.load();
    HBRUSH lamp = t.red;
    if (s.realTrafficLampOff.load())
        lamp = t.black;
    else if (rtConnected)
        lamp = trafficState == kReaderReceiving ? t.green : t.yellow;
    fill(dc, RECT{425, 30, 454, 113}, lamp);
    lf_drawText(dc, 430, 63, "RT", kGreen);
    if (rtConnected) {
        lf_drawText(dc, 458, 35, gf_realTrafficText(), trafficState == kReaderReceiving ? kGreen : kYellow);
        if (qnhState != kReaderStopped)
            lf_drawText(dc, 458, 63, "Weather", qnhState == kReaderReceiving ? kGreen : kYellow);
        if (trafficState != kReaderStopped)
            lf_drawText(dc, 458, 91, "Traffic", trafficState == kReaderReceiving ? kGreen : kYellow);
    }
    SelectObject(dc, t.blackPen);
    line(dc, 425, 29, 425, 112);
}

void lf_paintOptionLabels(HDC dc) {
    const MainWindowState& s = gf_mainWindowState();
    const auto when = [](bool condition, COLORREF colour) { return condition ? colour : kBlack; };
    const auto label = [dc](int x, const ParameterControl& row, std::string_view text,
                            COLORREF colour = kBlack) { lf_drawText(dc, x, rowOf(row), text, colour); };
    label(652, ALWAYS_ON_TOP, "Meta:");
    label(768, ALWAYS_ON_TOP, "Stay on top");
    label(672, OBJECTID_LIST, "Oid list");
    label(768, NAV_LIGHTS_WHILE_PARKED, "Nav lights");
    label(768, GUID_CHANGES, "GUID changes", when(!GUID_CHANGES.current.load(), kYellow));
    label(672, AEROWINX, "Aerowinx", when(AEROWINX.current.load(), kYellow));
    label(25, SCAN_LIVERIES, "Scan for liveries", when(SCAN_LIVERIES.current.load(), kYellow));
    label(237, LIG_AUTOMATIC, "Automatic:");
    label(556, LIG_PRIORITIZE, "Prioritize");
    label(25, SCAN_AIRPORTS, "Scan for addon airports", when(SCAN_AIRPORTS.current.load(), kYellow));
    if (gTbloCopyCounter.load() != 0)
        label(303, SCAN_AIRPORTS, "<- please mail tblo.zip to the Quorvel team", kYellow);
    label(5, MATCHING_DEPTH, "Max aircraft matching depth");
    label(258, LIGHT_AIRCRAFT, "Optional:");
    label(343, LIGHT_AIRCRAFT, "Light aircraft", controlEnabled(LIGHT_AIRCRAFT) ? kBlack : kGrey);
    label(450, HELICOPTERS, "Helicopters", controlEnabled(HELICOPTERS) ? kBlack : kGrey);
    label(556, HIGH_PERF_AIRCRAFT, "FighterJets", controlEnabled(HIGH_PERF_AIRCRAFT) ? kBlack : kGrey);
    label(5, RANGE, "Traffic injection");
    label(163, RANGE, "Radius:");
    label(270, RANGE, "nm, or");
    label(343, AUTO_RANGE, "Auto radius");
    const COLORREF autoColour = AUTO_RANGE.current.load() ? kBlack : kGrey;
    label(430, AR_ABOVE_HEIGHT, "Ah:", autoColour);
    label(536, AR_ABOVE_HEIGHT, "ft", autoColour);
    label(592, AIRBORNE_ONLY, "AirOnly", when(AIRBORNE_ONLY.current.load(), kYellow));
    label(5, BLOCK_CALLSIGN, "Block callsign:");
    const std::string objectLabel = gf_objectIdLabel();
    if (!CALLSIGN_2_OBJECTID.current.get().empty() && !objectLabel.empty())
        label(476, CALLSIGN_2_OBJECTID, objectLabel);
    label(5, COLLISION_USER_GND, "Collision avoidance");
    label(237, COLLISION_USER_GND, "User ground");
    label(343, COLLISION_USER_AIR, "User air");
    label(450, COLLISION_LIVE_PARKED_GND, "Live X parked");
    const bool busy = gStaticParkingBusy.load();
    label(5, MAX_PARK_SEL, "Airport parking", when(busy, kYellow));
    const bool parkZero = MAX_PARK_SEL.current.load() == 0;
    const bool liveZero = MAX_LIVE_SEL.current.load() == 0;
    label(171, MAX_PARK_SEL, "Max park (static+live):",
          parkZero && liveZero ? kRed
          : parkZero           ? kYellow
                               : kBlack);
    label(401, MAX_LIVE_SEL, "Max live (park incl):",
          parkZero && liveZero ? kRed
          : liveZero           ? kYellow
                               : kBlack);
    label(672, STRAIGHT_PBS_ONLY, "Straight push backs only",
          STRAIGHT_PBS_ONLY.current.load() ? kBlack : kGrey);
    label(137, DESTINATION, "Destination:");
    label(303, AIRP_RANGE, "Range:");
    label(403, AIRP_RANGE, "nm");
    label(440, AIRP_HEIGHT, "Height above gnd:");
    label(646, AIRP_HEIGHT, "ft");
    const bool parkAirport = !s.parkAirportCode.get().empty();
    const int32_t minutes = gMinutesToStaticUpdate.load();
    if (parkAirport && !busy && !INITIAL_LOAD_ONLY.current.load() && minutes >= 1 && minutes <= 19)
        label(5, AIRP_RANGE, fmt::format("(next in {} min)", minutes));
    if (parkAirport && !busy && INITIAL_LOAD_ONLY.current.load()) label(5, AIRP_RANGE, "(no next ... )");
    label(25, INITIAL_LOAD_ONLY, "ILO", when(INITIAL_LOAD_ONLY.current.load(), kYellow));
    label(91, WEEK, "Week");
    label(171, PARK_SOFT, "Soft");
    label(264, parking_percentage, "Target: ");
    label(378, parking_percentage, "%");
    label(506, MAX_FIT_FL, "Max fit:");
    label(632, MAX_FIT_FL, "hrs");
}

void lf_paintParkingPanel(HDC dc) {
    const MainWindowState& s = gf_mainWindowState();
    const std::string code = s.parkAirportCode.get();
    if (code.empty()) return;
    constexpr int top = 399;
    constexpr int second = top + 28;
    const bool loaded = s.parkAirportLoaded.load();
    lf_drawText(dc, 5, top, code, loaded ? kGreen : kYellow);
    if (!loaded) return;
    lf_drawText(dc, 45, top,
                fmt::format(" {}, {}{}, wk={}", s.parkAirportName.get(), s.parkAirportSecond.get(),
                            s.handmade.load() ? " (h)" : "", s.trafficWeek.load()),
                kGreen);
    const bool soft = s.softFit.load();
    const bool week = s.weekFit.load();
    if (soft || week) lf_drawText(dc, 370, top, soft && week ? "*WS*" : soft ? "*S*" : "*W*", kGreen);
    lf_drawText(dc, 430, top, fmt::format("qf: {}", s.qualityText.get()), kGreen);
    const std::string reserved = gf_callHook(gf_airportHooks().reservedStandName, std::string());
    if (!reserved.empty())
        lf_drawText(dc, 571, top, fmt::format("reserved stand: {}", reserved),
                    s.reservedStandFound.load() ? kGreen : kRed);
    lf_drawText(dc, 748, top, fmt::format("# updates: {:4}", s.standUpdates.load()), kGreen);
    lf_drawText(dc, 5, second, fmt::format("# stands: {:3}", s.stands.load()), kGreen);
    lf_drawText(dc, 111, second, fmt::format("parked live: {:3}", s.parkedLiveCountShown.load()), kGreen);
    if (s.liveAverageFit.load() > 0)
        lf_drawText(dc, 249, second, fmt::format("average fit: {}", gf_float2Text(s.liveAverageFit.load())),
                    kGreen);
    if (s.standsToFill.load() > 0) {
        lf_drawText(dc, 430, second, fmt::format("static: {:3}", s.staticCountShown.load()), kGreen);
        if (s.waitingStaticCandidates.load() != 0)
            lf_drawText(dc, 500, second, fmt::format(" ({})", s.waitingStaticCandidates.load()), kYellow);
        if (!week && s.staticAverageFit.load() > 0)
            lf_drawText(dc, 571, second,
                        fmt::format("average fit: {}", gf_float2Text(s.staticAverageFit.load())), kGreen);
    }
    if (s.standsToFill.load() != 0)
        lf_drawText(dc, 708, second,
                    fmt::format("max park: {:3} (={} %)", s.standsToFill.load(), s.wantedPercentage.load()),
                    kGreen);
    else
        lf_drawText(dc, 708, second, "no max park live", kGreen);
}

void lf_paintMessageLine(HDC dc) {
    const Tools& t = tools();
    const StatusLineSnapshot line = gf_statusLineSnapshot();
    if (!line.error.empty()) {
        fill(dc, kMessageBand, t.red);
        lf_drawText(dc, 3, 455, line.error, kYellow);
        return;
    }
    fill(dc, kMessageBand, t.green);
    if (!line.message.empty()) lf_drawText(dc, 3, 455, line.message, kYellow);
}

} // namespace tamrix
