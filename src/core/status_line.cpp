#include "core/status_line.hpp"

#include <algorithm>
#include <atomic>
#include <mutex>

#include <fmt/format.h>

#include "core/log.hpp"

namespace tamrix {
namespace {

struct StatusLine {
    std::mutex lock;  // the message-line lock; always taken before the log lock
    std::string message;
    std::string error;
    uint32_t stamp = 0;
    uint32_t secondsClock = 0;
};

StatusLine& line() {
    static auto* s = new StatusLine;
    return *s;
}

std::atomic<HWND> gStatusWindow{nullptr};

void postRepaint() { PostMessageW(gStatusWindow.load(), WM_REPAINT_STATUS_LINE, 0, 0); }

} // namespace

void gf_setStatusLine(std::string_view text, bool alsoLog) {
    auto& s = line();
    {
        std::lock_guard guard(s.lock);
        // An error text has priority: nothing is shown, logged or repainted meanwhile.
        if (!s.error.empty()) return;
        s.message.assign(text);
        s.stamp = text.empty() ? 0 : std::max<uint32_t>(1, s.secondsClock);
    }
    if (alsoLog && !text.empty()) gf_log(text);
    postRepaint();
}

void gf_clearStatusLine() { gf_setStatusLine({}, false); }

void gf_setStatusError(std::string_view text) {
    auto& s = line();
    {
        std::lock_guard guard(s.lock);
        s.message.clear();
        s.stamp = 0;
        s.error.assign(text);
        gf_logAndFlush(fmt::format("Error {}", text)); // an error reaches the disk at once
    }
    postRepaint();
}

void gf_clearStatusError() {
    auto& s = line();
    {
        std::lock_guard guard(s.lock);
        s.error.clear();
        s.message.clear();
        s.stamp = 0;
    }
    postRepaint();
}

StatusLineSnapshot gf_statusLineSnapshot() {
    auto& s = line();
    std::lock_guard guard(s.lock);
    return {s.message, s.error, s.stamp, s.secondsClock};
}

void gf_setStatusSecondsClock(uint32_t seconds) {
    auto& s = line();
    std::lock_guard guard(s.lock);
    s.secondsClock = seconds;
}

void gf_setStatusLineWindow(HWND window) { gStatusWindow.store(window); }

void gf_resetStatusLine() {
    auto& s = line();
    std::lock_guard guard(s.lock);
    s.message.clear();
    s.error.clear();
    s.stamp = 0;
    s.secondsClock = 0;
    gStatusWindow.store(nullptr);
}

} // namespace tamrix
