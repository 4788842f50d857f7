#include "airports/stand_options.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "core/log.hpp"
#include "records/stand_table.hpp"
#include "refdata/registration_lookups.hpp"

namespace tamrix {

namespace {

std::atomic<uint32_t> gShownLearnedUpdates{0};
std::atomic<ParkingPanelRepaint> gParkingPanelRepaint{nullptr};

std::string_view withoutTrailingUnderscore(std::string_view text) {
    if (!text.empty() && text.back() == '_') text.remove_suffix(1);
    return text;
}

// Half-hour slots outside the day are refused with the same error wherever they appear.
void setSlot(HalfHourSet& hours, int32_t slot) {
    if (slot < 0 || slot >= 48) throw std::out_of_range("invalid bitset position");
    hours.set(static_cast<std::size_t>(slot));
}

StandOption* findOption(StandRecord& stand, uint32_t number) {
    if (number == 0) return nullptr;
    for (StandOption& option : stand.options)
        if (option.number == number) return &option;
    return nullptr;
}

// Options are numbered by count; after unused options were dropped the count can name an
// option that still exists, and a number must stay unique within its stand.
uint32_t nextOptionNumber(const StandRecord& stand) {
    auto number = static_cast<uint32_t>(stand.options.size() + 1);
    const bool taken = std::any_of(stand.options.begin(), stand.options.end(),
                                   [number](const StandOption& o) { return o.number == number; });
    if (!taken) return number;
    uint32_t highest = 0;
    for (const StandOption& o : stand.options) highest = std::max(highest, o.number);
    return highest + 1;
}

} // namespace

StandRecord& gf_emplaceStand(std::string id, std::vector<StandOption> options, StandPosition position,
                             double radiusMetres, uint16_t type, bool cargo, bool ramp, bool heli) {
    if (!std::isfinite(radiusMetres) || radiusMetres < 0.0) {
        gf_logHighlighted(fmt::format("stand {} has the radius {}, 0 used", id, radiusMetres));
        radiusMetres = 0.0;
    } else if (radiusMetres > kMaxStandRadiusMetres) {
        gf_logHighlighted(
            fmt::format("stand {} has the radius {}, {} used", id, radiusMetres, kMaxStandRadiusMetres));
        radiusMetres = kMaxStandRadiusMetres;
    }
    std::lock_guard guard(gf_standTableLock());
    StandRecord& stand =
        gStandTable.emplace_back(std::move(id), std::move(options), position, radiusMetres, type, cargo, ramp, heli);
    gf_standTableChanged();
    return stand;
}

std::optional<uint32_t> gf_addStandOption(StandRecord& stand, LiveryKey key, WeekSlot now, std::string_view cs,
                                          std::string_view reg, bool cpl) {
    if (reg.empty()) return std::nullopt;
    const std::string callsign(withoutTrailingUnderscore(cs));
    HalfHourSet hours;
    setSlot(hours, static_cast<int32_t>(std::min<uint32_t>(now.halfHour, 48)));
    const uint32_t number = nextOptionNumber(stand);
    if (key.fromRegistration == 0) {
        if (const auto known = gf_lookupRegistration(reg)) key = *known;
    }
    for (const StandOption& option : stand.options) {
        if (option.reg == reg && option.day == now.day && option.hh == hours) return std::nullopt;
    }
    StandOption option;
    option.key = key;
    option.reg = std::string(reg);
    option.cs = callsign;
    option.hh = hours;
    option.number = number;
    option.day = now.day;
    option.source = 0;
    option.real = 1;
    option.cpl = cpl ? 1 : 0;
    stand.options.push_back(std::move(option));
    gf_countLearnedChange();
    return number;
}

uint32_t gf_renumberSetAside(StandRecord& stand, StandOption& option) {
    if (option.number != 0) return option.number;
    uint32_t highest = 0;
    for (const StandOption& o : stand.options)
        highest = std::max(highest, o.number);
    option.number = highest + 1;
    return option.number;
}

void gf_setStandOptionCallsign(StandRecord& stand, uint32_t number, std::string_view cs) {
    const std::string_view text = withoutTrailingUnderscore(cs);
    if (text.empty()) return;
    StandOption* option = findOption(stand, number);
    if (option == nullptr) return;
    if (option->cs.empty()) {
        option->cs = std::string(text);
    } else if (text != option->cs && text != option->cs2) {
        option->cs2 = std::string(text);
    }
}

bool updateOptions(StandRecord& stand, std::vector<int32_t>& slots, uint32_t number) {
    StandOption* option = findOption(stand, number);
    if (option == nullptr) return false;
    try {
        while (!slots.empty()) {
            const int32_t slot = slots.back();
            slots.pop_back();
            setSlot(option->hh, slot);
        }
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{} exception:{}", "updateOptions", e.what()));
        return false;
    }
    return true;
}

bool updateOptionsWrapped(StandRecord& stand, std::vector<int32_t>& slots, uint32_t firstNumber,
                          uint32_t secondNumber) {
    try {
        StandOption* first = findOption(stand, firstNumber);
        if (first == nullptr) return false;
        // A stay that began exactly at midnight leaves nothing for the previous day.
        if (!slots.empty() && slots.back() != 0) {
            while (!slots.empty()) {
                const int32_t slot = slots.back();
                slots.pop_back();
                setSlot(first->hh, slot);
                if (slot == 47) break;
            }
        }
        StandOption* second = findOption(stand, secondNumber);
        if (second == nullptr) return false;
        while (slots.size() >= 2) {
            const int32_t slot = slots.back();
            slots.pop_back();
            setSlot(second->hh, slot);
        }
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{} exception:{}", "updateOptionsWrapped", e.what()));
        return false;
    }
    return true;
}

void lf_fillPrevHalfHours(std::vector<int32_t>& slots, int32_t n, WeekSlot now) {
    auto slot = static_cast<int32_t>(now.halfHour);
    for (int32_t i = 0; i < n; ++i) {
        slots.push_back(slot);
        slot = slot == 0 ? 47 : slot - 1;
    }
}

std::vector<int32_t> gf_prevHalfHours(WeekSlot now, int32_t n) {
    std::vector<int32_t> slots;
    slots.reserve(48);
    lf_fillPrevHalfHours(slots, n, now);
    return slots;
}

void gf_countLearnedChange() {
    gf_countLearnedUpdate();
    gf_refreshShownLearnedUpdates();
}

void gf_refreshShownLearnedUpdates() {
    if (gShownLearnedUpdates.exchange(gLearnedUpdateCount) == gLearnedUpdateCount) return;
    if (const ParkingPanelRepaint repaint = gParkingPanelRepaint.load()) repaint();
}

void gf_resetLearnedUpdates() {
    gLearnedUpdateCount = 0;
    gf_refreshShownLearnedUpdates();
}

uint32_t gf_shownLearnedUpdates() { return gShownLearnedUpdates.load(); }

void gf_setParkingPanelRepaint(ParkingPanelRepaint repaint) { gParkingPanelRepaint.store(repaint); }

} // namespace tamrix
