#include "links/traffic_source_state.hpp"

#include <mutex>
#include <utility>

#include "config/control_binding.hpp"

namespace tamrix {

std::atomic<int32_t> gTrafficReaderState{kReaderStopped};
std::atomic<int32_t> gQnhReaderState{kReaderStopped};
std::atomic<bool> gTrafficRunFlag{false};
std::atomic<int32_t> gShownQnh{0};
std::atomic<bool> gRealTrafficOnThisPc{false};
std::atomic<bool> gWaitingForRealTraffic{true};

namespace {

struct RealTrafficText {
    std::mutex lock;
    std::string text;
};

RealTrafficText& realTrafficText() {
    static auto* s = new RealTrafficText;
    return *s;
}

} // namespace

void gf_setRealTrafficText(std::string text) {
    auto& s = realTrafficText();
    std::lock_guard guard(s.lock);
    s.text = std::move(text);
}

std::string gf_realTrafficText() {
    auto& s = realTrafficText();
    std::lock_guard guard(s.lock);
    return s.text;
}

void gf_resetTrafficSourceState() {
    gTrafficReaderState.store(kReaderStopped);
    gQnhReaderState.store(kReaderStopped);
    gTrafficRunFlag.store(false);
    gShownQnh.store(0);
    gRealTrafficOnThisPc.store(false);
    gWaitingForRealTraffic.store(true);
    gf_setRealTrafficText({});
}

void gf_invalidateStatusPanel() {
    const HWND window = gf_controlLookupWindow();
    if (window != nullptr) InvalidateRect(window, &kStatusArea, TRUE);
}

} // namespace tamrix
