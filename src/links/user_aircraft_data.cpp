#include "links/user_aircraft_data.hpp"

#include <array>
#include <mutex>
#include <utility>

#include <fmt/format.h>

#include "core/log.hpp"
#include "core/status_line.hpp"
#include "core/user_error.hpp"
#include "links/sim_definitions.hpp"
#include "links/sim_queues.hpp"
#include "links/sim_status.hpp"
#include "links/simconnect_client.hpp"
#include "links/traffic_source_state.hpp"
#include "refdata/code_table.hpp"
#include "refdata/dbase.hpp"
#include "refdata/model_lookups.hpp"

namespace tamrix {

std::atomic<bool> gUserAcKnown{false};

namespace {

struct UserAcData {
    std::mutex lock;
    std::string title;
    std::optional<double> halfSpan;
};

UserAcData& data() {
    static auto* d = new UserAcData;
    return *d;
}

void setHalfSpan(double halfSpan) {
    auto& d = data();
    std::lock_guard guard(d.lock);
    d.halfSpan = halfSpan;
}

// At most `limit` bytes of the text, never ending inside a UTF-8 sequence (the window converts
// the text strictly when it paints it).
std::string cutAtCharacter(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return std::string(text);
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0u) == 0x80u)
        --end;
    return std::string(text.substr(0, end));
}

// The half span of a model code; 0.0 when the reference data gives none.
double halfSpanOf(std::string_view model) {
    return gf_halfSpan(gf_reportedModelIndex(model));
}

// Codes that simulator add-ons give as their ATC MODEL instead of the ICAO code.
constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kModelReplacements{{
    {"A350-900", "A359"},
    {"N738B", "B38M"},
    {"777", "772"},
    {"A330-200 (RR)", "A332"},
}};

// The 737 of one add-on maker names its variant only in the title.
constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kTitle737Variants{{
    {"DG 737-800", "B738"},
    {"DG 737-700", "B737"},
    {"DG 737-600", "B736"},
    {"DG 737-900", "B739"},
}};

constexpr std::array<std::string_view, 3> kAerosoftModels{"A319", "A320", "A321"};

// The model code the ATC MODEL text stands for.
std::string modelCodeOf(std::string model, const std::string& title) {
    for (const auto& [from, to] : kModelReplacements)
        if (model == from) return std::string(to);
    // Liveries that give a localisation key such as "TT:ATCCOM.AC_MODEL_B738.0.text": the code
    // lies just before ".0.text".
    const auto textKey = model.find(".0.text");
    if (model.size() >= 7 && textKey != std::string::npos) {
        for (std::size_t n = 4; n >= 2; --n) {
            if (textKey < n) continue;
            std::string candidate = model.substr(textKey - n, n);
            if (halfSpanOf(candidate) != 0.0) return candidate;
        }
        return model;
    }
    if (model.size() >= 5 && model.starts_with("$$:")) return model.substr(3);
    if (model == "737") {
        for (const auto& [marker, code] : kTitle737Variants)
            if (title.find(marker) != std::string::npos) return std::string(code);
    }
    return model;
}

void detectModel(std::string_view atcModel) {
    if (atcModel.empty()) {
        gf_setUserAcText("Unknown (encrypted?) aircraft");
        gf_invalidateStatusPanel();
        gf_setStatusLine(
            "171: No model info from your user aircraft received in SimConnect, CRJ7 is taken instead", true);
        const double crj7 = halfSpanOf("CRJ7");
        setHalfSpan(crj7 != 0.0 ? crj7 : gMaxHalfSpan);
        return;
    }
    gf_logContinued(fmt::format("model raw: {}", atcModel));
    const std::string title = gf_userAcTitle();
    std::string model = modelCodeOf(std::string(atcModel), title);
    std::string line = "SimConnect: User aircraft model: " + model;

    if (model.find("camerapod") != std::string::npos || model.find("Crew Vessel") != std::string::npos) {
        gUserAcKnown.store(true);
        gf_invalidateStatusPanel();
        setHalfSpan(halfSpanOf("E190"));
        gf_logContinued(line);
        return;
    }

    // Longer texts are no model codes and are never looked up. A model is known when the
    // reference data gives its half span, also when that is the largest one.
    double halfSpan = model.size() <= 4 ? halfSpanOf(model) : 0.0;
    if (halfSpan == 0.0 && title.size() >= 13) {
        const std::string_view maker = std::string_view(title).substr(0, 13);
        for (const auto code : kAerosoftModels) {
            if (maker != fmt::format("Aerosoft {}", code)) continue;
            model = std::string(code);
            line = "SimConnect: User aircraft model deduced from title: " + model;
            halfSpan = halfSpanOf(model);
            break;
        }
    }
    if (halfSpan != 0.0) {
        setHalfSpan(halfSpan);
        gUserAcKnown.store(true);
        gf_invalidateStatusPanel();
        line += fmt::format(", half wing span: {:.1F} meter", halfSpan * 1852.0);
    } else {
        setHalfSpan(gMaxHalfSpan);
        gUserAcKnown.store(false);
        gf_invalidateStatusPanel();
        gf_setStatusLine("User aircraft wing span unknown, max is taken instead, please report in my Forum!",
                         true);
    }
    line += fmt::format(", category: {}", gf_categoryName(gf_modelCategory(gf_reportedModelIndex(model))));
    gf_logContinued(line);
}

} // namespace

std::string gf_userAcTitle() {
    auto& d = data();
    std::lock_guard guard(d.lock);
    return d.title;
}

std::optional<double> gf_userAcHalfSpan() {
    auto& d = data();
    std::lock_guard guard(d.lock);
    return d.halfSpan;
}

UserAcState gf_requestUserAcPosition() {
    if (!gSimConnectError.load()) {
        std::lock_guard guard(gSimConnectLock);
        if (SimConnect_RequestDataOnSimObject(gSimConnect.load(), kRequestUserState, kDefUserAcState,
                                              SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE, 0, 0, 0,
                                              0) < 0) {
            gf_logHighlighted("SimConnect request user ac position fails");
            gf_simConnectRequestError();
        }
    }
    return gf_userAcState();
}

void gf_requestUserAcTitleModel() {
    std::lock_guard guard(gSimConnectLock);
    const HANDLE handle = gSimConnect.load();
    if (SimConnect_RequestDataOnSimObject(handle, kRequestUserTitle, kDefUserTitle, SIMCONNECT_OBJECT_ID_USER,
                                          SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0) < 0) {
        gf_logHighlighted("SimConnect request user ac title fails");
        gf_simConnectRequestError();
    }
    if (SimConnect_RequestDataOnSimObject(handle, kRequestUserModel, kDefUserModel, SIMCONNECT_OBJECT_ID_USER,
                                          SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0) < 0) {
        gf_logHighlighted("SimConnect reques user ac model fails");
        gf_simConnectRequestError();
    }
}

void lf_onUserAcTitle(std::string_view received) {
    if (received.empty()) {
        gf_log("! Title of your aircraft is empty?");
        return;
    }
    std::string title = cutAtCharacter(received, kUserAcTitleMax);
    {
        auto& d = data();
        std::lock_guard guard(d.lock);
        if (title == d.title) return;
        d.title = title;
    }
    gf_setUserAcText(title);
    gf_invalidateStatusPanel();
    gf_logContinued("SimConnect: User aircraft title: " + title);
}

void lf_onUserAcModel(std::string_view model) {
    try {
        detectModel(model);
    } catch (const UserErrorException&) {
        throw;
    } catch (...) {
        throw UserErrorException(73, "It looks like you have not selected an aircraft as user vehicle");
    }
}

void gf_resetUserAircraftData() {
    gf_resetUserAcState();
    auto& d = data();
    std::lock_guard guard(d.lock);
    d.title.clear();
    d.halfSpan.reset();
}

} // namespace tamrix
