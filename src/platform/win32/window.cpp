#include "platform/win32/window.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "platform/text_codec.hpp"

using platform::win32::ControlKind;

// A window's record is the state the inspection face hands out; `alive` and, for combo boxes,
// `text` are filled in when a copy is taken.
struct WindowRecord : platform::win32::WindowState {};

namespace {

constexpr std::size_t kKeptInvalidations = 1024;

struct WindowSystem {
    std::mutex mutex;
    std::condition_variable posted;
    std::set<WindowRecord*> alive;
    // Records are never freed, so a stale handle never points at released memory.
    std::vector<std::unique_ptr<WindowRecord>> owned;
    std::deque<MSG> queue;
    std::map<UINT, std::size_t> counts;
    std::map<UINT, std::size_t> sentCounts;
    std::deque<platform::win32::Invalidation> invalidations;
    std::size_t invalidationTotal = 0;
};

WindowSystem& system() {
    // Never destroyed: threads may still post while the process exits.
    static auto* s = new WindowSystem;
    return *s;
}

bool matches(const MSG& m, HWND window, UINT min, UINT max) {
    if (window != nullptr && m.hwnd != window) return false;
    if (min == 0 && max == 0) return true;
    return m.message >= min && m.message <= max;
}

char16_t foldCase(char16_t c) {
    // ASCII and Latin-1 letters, which is what the program's item texts use.
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    return c;
}

bool startsWithIgnoringCase(const std::u16string& text, const std::u16string& prefix) {
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (foldCase(text[i]) != foldCase(prefix[i])) return false;
    return true;
}

bool equalsIgnoringCase(const std::u16string& a, const std::u16string& b) {
    return a.size() == b.size() && startsWithIgnoringCase(a, b);
}

std::u16string textArgument(LPARAM lParam) {
    const auto* text = reinterpret_cast<LPCWSTR>(lParam);
    return text == nullptr ? std::u16string() : std::u16string(text);
}

std::string asciiName(LPCWSTR name) {
    std::string out;
    if (name == nullptr) return out;
    for (; *name != 0; ++name)
        out.push_back(*name < 0x80 ? static_cast<char>(*name) : '?');
    return out;
}

std::string upper(std::string text) {
    for (auto& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
    return text;
}

ControlKind kindOfClass(const std::string& className) {
    const std::string name = upper(className);
    if (name == "BUTTON") return ControlKind::Button;
    if (name == "COMBOBOX") return ControlKind::ComboBox;
    if (name == "EDIT") return ControlKind::Edit;
    return ControlKind::Window;
}

std::u16string windowText(const WindowRecord& r) {
    if (r.kind != ControlKind::ComboBox) return r.text;
    return r.selection >= 0 ? r.items[static_cast<std::size_t>(r.selection)] : std::u16string();
}

// Copies at most maxCount - 1 units and a terminator; the units copied.
LRESULT copyText(const std::u16string& text, WPARAM maxCount, LPARAM buffer) {
    auto* out = reinterpret_cast<LPWSTR>(buffer);
    if (out == nullptr || maxCount == 0) return 0;
    const std::size_t n = std::min<std::size_t>(text.size(), maxCount - 1);
    std::copy_n(text.begin(), n, out);
    out[n] = 0;
    return static_cast<LRESULT>(n);
}

// The text messages every window understands; true when the message was one of them.
bool handleTextMessage(WindowRecord& r, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_SETTEXT:
        if (r.kind == ControlKind::ComboBox) {
            // A drop-down list has no free text: the text picks an item or nothing changes.
            const std::u16string wanted = textArgument(lParam);
            result = CB_ERR;
            for (std::size_t i = 0; i < r.items.size(); ++i) {
                if (!equalsIgnoringCase(r.items[i], wanted)) continue;
                r.selection = static_cast<int>(i);
                result = TRUE;
                break;
            }
        } else {
            r.text = textArgument(lParam);
            result = TRUE;
        }
        return true;
    case WM_GETTEXT:
        result = copyText(windowText(r), wParam, lParam);
        return true;
    case WM_GETTEXTLENGTH:
        result = static_cast<LRESULT>(windowText(r).size());
        return true;
    default:
        return false;
    }
}

LRESULT comboMessage(WindowRecord& r, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto count = static_cast<int>(r.items.size());
    const auto index = static_cast<int>(static_cast<LPARAM>(wParam));
    switch (message) {
    case CB_ADDSTRING:
        if (lParam == 0) return CB_ERR;
        r.items.push_back(textArgument(lParam));
        return count;
    case CB_RESETCONTENT:
        r.items.clear();
        r.selection = -1;
        return CB_OKAY;
    case CB_SETCURSEL:
        if (index < 0 || index >= count) {
            r.selection = -1;
            return CB_ERR;
        }
        r.selection = index;
        return index;
    case CB_GETCURSEL:
        return r.selection;
    case CB_GETCOUNT:
        return count;
    case CB_GETLBTEXTLEN:
        if (index < 0 || index >= count) return CB_ERR;
        return static_cast<LRESULT>(r.items[static_cast<std::size_t>(index)].size());
    case CB_GETLBTEXT: {
        if (index < 0 || index >= count) return CB_ERR;
        const auto& item = r.items[static_cast<std::size_t>(index)];
        auto* out = reinterpret_cast<LPWSTR>(lParam);
        if (out == nullptr) return CB_ERR;
        std::copy(item.begin(), item.end(), out);
        out[item.size()] = 0;
        return static_cast<LRESULT>(item.size());
    }
    case CB_SELECTSTRING: {
        const std::u16string prefix = textArgument(lParam);
        const int start = (index < 0 || index >= count) ? 0 : index + 1;
        for (int k = 0; k < count; ++k) {
            const int i = (start + k) % count;
            if (!startsWithIgnoringCase(r.items[static_cast<std::size_t>(i)], prefix)) continue;
            r.selection = i;
            return i;
        }
        return CB_ERR; // the current selection stays
    }
    default:
        return 0;
    }
}

// The procedure of the built-in control classes.
LRESULT controlProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    if (!s.alive.contains(window)) return 0;
    WindowRecord& r = *window;
    LRESULT result = 0;
    if (handleTextMessage(r, message, wParam, lParam, result)) return result;
    switch (r.kind) {
    case ControlKind::Button:
        if (message == BM_SETCHECK) {
            r.checked = static_cast<UINT>(wParam);
            return 0;
        }
        if (message == BM_GETCHECK) return r.checked;
        return 0;
    case ControlKind::ComboBox:
        return comboMessage(r, message, wParam, lParam);
    case ControlKind::Edit:
        // Typing: printable units are appended, backspace takes the last one away; Enter and
        // other control characters leave the text alone.
        if (message == WM_CHAR) {
            const auto unit = static_cast<char16_t>(wParam);
            if (unit == 8) {
                if (!r.text.empty()) r.text.pop_back();
            } else if (unit >= 0x20) {
                r.text.push_back(unit);
            }
        }
        return 0;
    default:
        return 0;
    }
}

HWND addWindow(std::unique_ptr<WindowRecord> record) {
    auto& s = system();
    HWND h = record.get();
    s.owned.push_back(std::move(record));
    s.alive.insert(h);
    return h;
}

WindowRecord* aliveRecord(WindowSystem& s, HWND window) {
    return window != nullptr && s.alive.contains(window) ? window : nullptr;
}

} // namespace

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto& s = system();
    {
        std::lock_guard lock(s.mutex);
        if (window != nullptr && !s.alive.contains(window)) return FALSE;
        s.queue.push_back(MSG{window, message, wParam, lParam});
        ++s.counts[message];
    }
    s.posted.notify_all();
    return TRUE;
}

BOOL PeekMessageW(MSG* msg, HWND window, UINT min, UINT max, UINT removeFlags) {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
        if (!matches(*it, window, min, max)) continue;
        if (msg != nullptr) *msg = *it;
        if (removeFlags & PM_REMOVE) s.queue.erase(it);
        return TRUE;
    }
    return FALSE;
}

BOOL GetMessageW(MSG* msg, HWND window, UINT min, UINT max) {
    auto& s = system();
    std::unique_lock lock(s.mutex);
    for (;;) {
        for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
            if (!matches(*it, window, min, max)) continue;
            MSG m = *it;
            s.queue.erase(it);
            if (msg != nullptr) *msg = m;
            return m.message == WM_QUIT ? FALSE : TRUE;
        }
        s.posted.wait(lock);
    }
}

void PostQuitMessage(int exitCode) {
    PostMessageW(nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0);
}

BOOL TranslateMessage(const MSG* /*msg*/) {
    return FALSE;
}

LRESULT DispatchMessageW(const MSG* msg) {
    if (msg == nullptr) return 0;
    return SendMessageW(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL IsWindow(HWND window) {
    if (window == nullptr) return FALSE;
    auto& s = system();
    std::lock_guard lock(s.mutex);
    return s.alive.contains(window) ? TRUE : FALSE;
}

BOOL DestroyWindow(HWND window) {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    if (aliveRecord(s, window) == nullptr) return FALSE;
    // Children are always created after their parents, so one pass in creation order finds
    // every descendant.
    std::set<HWND> doomed{window};
    for (const auto& r : s.owned)
        if (s.alive.contains(r.get()) && doomed.contains(r->parent)) doomed.insert(r.get());
    for (HWND h : doomed)
        s.alive.erase(h);
    return TRUE;
}

HWND CreateWindowExW(DWORD /*exStyle*/, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE /*instance*/,
                     void* /*param*/) {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    if (parent != nullptr && aliveRecord(s, parent) == nullptr) return nullptr;
    auto r = std::make_unique<WindowRecord>();
    r->className = asciiName(className);
    r->kind = kindOfClass(r->className);
    r->parent = parent;
    r->controlId = parent != nullptr ? static_cast<int>(reinterpret_cast<std::uintptr_t>(menu)) : 0;
    r->style = style;
    r->x = x;
    r->y = y;
    r->width = width;
    r->height = height;
    r->enabled = (style & WS_DISABLED) == 0;
    if (r->kind != ControlKind::ComboBox && windowName != nullptr) r->text = windowName;
    r->procedure = r->kind == ControlKind::Window ? &DefWindowProcW : &controlProcedure;
    return addWindow(std::move(r));
}

HWND GetDlgItem(HWND dialog, int controlId) {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    if (aliveRecord(s, dialog) == nullptr) return nullptr;
    for (const auto& r : s.owned)
        if (r->parent == dialog && r->controlId == controlId && s.alive.contains(r.get())) return r.get();
    return nullptr;
}

int GetDlgCtrlID(HWND window) {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    const auto* r = aliveRecord(s, window);
    return r != nullptr ? r->controlId : 0;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC procedure = nullptr;
    {
        auto& s = system();
        std::lock_guard lock(s.mutex);
        const auto* r = aliveRecord(s, window);
        if (r == nullptr) return 0;
        ++s.sentCounts[message];
        procedure = r->procedure != nullptr ? r->procedure : &DefWindowProcW;
    }
    // Run without the lock: a procedure may call back into the window functions.
    return procedure(window, message, wParam, lParam);
}

LRESULT CallWindowProcW(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (procedure == nullptr) return 0;
    return procedure(window, message, wParam, lParam);
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    auto* r = aliveRecord(s, window);
    if (r == nullptr) return 0;
    LRESULT result = 0;
    handleTextMessage(*r, message, wParam, lParam, result);
    return result;
}

BOOL SetWindowTextW(HWND window, LPCWSTR text) {
    const LRESULT result = SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    return result == TRUE ? TRUE : FALSE;
}

int GetWindowTextW(HWND window, LPWSTR buffer, int maxCount) {
    if (maxCount <= 0) return 0;
    return static_cast<int>(
        SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthW(HWND window) {
    return static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
}

BOOL EnableWindow(HWND window, BOOL enable) {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    auto* r = aliveRecord(s, window);
    if (r == nullptr) return FALSE;
    const bool wasDisabled = !r->enabled;
    r->enabled = enable != FALSE;
    return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND window) {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    const auto* r = aliveRecord(s, window);
    return r != nullptr && r->enabled ? TRUE : FALSE;
}

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    if (window != nullptr && aliveRecord(s, window) == nullptr) return FALSE;
    platform::win32::Invalidation inv;
    inv.window = window;
    inv.wholeClientArea = rect == nullptr;
    if (rect != nullptr) inv.rect = *rect;
    inv.erase = erase != FALSE;
    s.invalidations.push_back(inv);
    if (s.invalidations.size() > kKeptInvalidations) s.invalidations.pop_front();
    ++s.invalidationTotal;
    return TRUE;
}

LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    auto* r = aliveRecord(s, window);
    if (r == nullptr) return 0;
    if (index == GWLP_WNDPROC) {
        const auto previous = reinterpret_cast<LONG_PTR>(r->procedure);
        r->procedure = reinterpret_cast<WNDPROC>(value);
        return previous;
    }
    if (index == GWLP_ID) {
        const LONG_PTR previous = r->controlId;
        r->controlId = static_cast<int>(value);
        return previous;
    }
    return 0;
}

LONG_PTR GetWindowLongPtrW(HWND window, int index) {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    const auto* r = aliveRecord(s, window);
    if (r == nullptr) return 0;
    if (index == GWLP_WNDPROC) return reinterpret_cast<LONG_PTR>(r->procedure);
    if (index == GWLP_ID) return r->controlId;
    return 0;
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    WindowRecord* r = aliveRecord(s, window);
    if (r == nullptr) return FALSE;
    if ((flags & SWP_NOMOVE) == 0) {
        r->x = x;
        r->y = y;
    }
    if ((flags & SWP_NOSIZE) == 0) {
        r->width = width;
        r->height = height;
    }
    if ((flags & SWP_NOZORDER) == 0) {
        if (insertAfter == HWND_TOPMOST) r->topmost = true;
        if (insertAfter == HWND_NOTOPMOST) r->topmost = false;
    }
    return TRUE;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
    if (rect == nullptr) return FALSE;
    auto& s = system();
    std::lock_guard lock(s.mutex);
    WindowRecord* r = aliveRecord(s, window);
    if (r == nullptr) {
        *rect = RECT{};
        return FALSE;
    }
    *rect = RECT{r->x, r->y, r->x + r->width, r->y + r->height};
    return TRUE;
}

BOOL ShowWindow(HWND window, int command) {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    WindowRecord* r = aliveRecord(s, window);
    if (r == nullptr) return FALSE;
    const auto leaveNormal = [r](int state, LONG x, LONG y) {
        if (r->showState == SW_SHOWNORMAL) r->normal = RECT{r->x, r->y, r->x + r->width, r->y + r->height};
        r->showState = state;
        r->x = x;
        r->y = y;
    };
    if (command == SW_MINIMIZE || command == SW_SHOWMINIMIZED) {
        leaveNormal(SW_SHOWMINIMIZED, -32000, -32000);
    } else if (command == SW_SHOWMAXIMIZED) {
        leaveNormal(SW_SHOWMAXIMIZED, -8, -8);
    } else if ((command == SW_RESTORE || command == SW_SHOWNORMAL) && r->showState != SW_SHOWNORMAL) {
        r->showState = SW_SHOWNORMAL;
        r->x = r->normal.left;
        r->y = r->normal.top;
    }
    return TRUE;
}

BOOL GetWindowPlacement(HWND window, WINDOWPLACEMENT* placement) {
    if (placement == nullptr || placement->length != sizeof(WINDOWPLACEMENT)) return FALSE;
    auto& s = system();
    std::lock_guard lock(s.mutex);
    WindowRecord* r = aliveRecord(s, window);
    if (r == nullptr) return FALSE;
    placement->flags = 0;
    placement->showCmd = static_cast<UINT>(r->showState);
    placement->ptMinPosition = POINT{-1, -1};
    placement->ptMaxPosition = POINT{-1, -1};
    placement->rcNormalPosition =
        r->showState == SW_SHOWNORMAL ? RECT{r->x, r->y, r->x + r->width, r->y + r->height} : r->normal;
    return TRUE;
}

BOOL CheckDlgButton(HWND dialog, int controlId, UINT check) {
    HWND control = GetDlgItem(dialog, controlId);
    if (control == nullptr) return FALSE;
    SendMessageW(control, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int controlId) {
    return static_cast<UINT>(SendMessageW(GetDlgItem(dialog, controlId), BM_GETCHECK, 0, 0));
}

namespace platform::win32 {

HWND createTopLevelWindow(const std::string& className, const std::string& title) {
    std::u16string wideTitle;
    if (!title.empty()) {
        const int count = static_cast<int>(title.size());
        const int n = MultiByteToWideChar(CP_UTF8, 0, title.data(), count, nullptr, 0);
        wideTitle.resize(static_cast<std::size_t>(std::max(n, 0)));
        if (n > 0) MultiByteToWideChar(CP_UTF8, 0, title.data(), count, wideTitle.data(), n);
    }
    auto& s = system();
    std::lock_guard lock(s.mutex);
    auto r = std::make_unique<WindowRecord>();
    r->className = className;
    r->text = std::move(wideTitle);
    r->procedure = &DefWindowProcW;
    return addWindow(std::move(r));
}

std::vector<MSG> pendingMessages() {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    return {s.queue.begin(), s.queue.end()};
}

std::size_t postedCount(UINT message) {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    auto it = s.counts.find(message);
    return it == s.counts.end() ? 0 : it->second;
}

std::size_t sentCount(UINT message) {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    auto it = s.sentCounts.find(message);
    return it == s.sentCounts.end() ? 0 : it->second;
}

std::optional<WindowState> windowState(HWND window) {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    const bool known =
        std::any_of(s.owned.begin(), s.owned.end(), [&](const auto& r) { return r.get() == window; });
    if (!known) return std::nullopt;
    const WindowRecord& r = *window;
    WindowState st = r;
    st.alive = s.alive.contains(window);
    st.text = windowText(r);
    return st;
}

std::vector<HWND> childWindows(HWND parent) {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    std::vector<HWND> out;
    for (const auto& r : s.owned)
        if (r->parent == parent && parent != nullptr && s.alive.contains(r.get())) out.push_back(r.get());
    return out;
}

std::vector<Invalidation> invalidations() {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    return {s.invalidations.begin(), s.invalidations.end()};
}

std::size_t invalidationCount() {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    return s.invalidationTotal;
}

namespace {

HWND enabledControl(HWND parent, int controlId, ControlKind kind) {
    const HWND control = GetDlgItem(parent, controlId);
    const auto state = windowState(control);
    if (!state || !state->enabled || state->kind != kind) return nullptr;
    return control;
}

} // namespace

bool click(HWND parent, int controlId) {
    const HWND control = enabledControl(parent, controlId, ControlKind::Button);
    if (control == nullptr) return false;
    return PostMessageW(parent, WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(controlId), BN_CLICKED),
                        reinterpret_cast<LPARAM>(control)) != FALSE;
}

bool select(HWND parent, int controlId, int index) {
    const HWND control = enabledControl(parent, controlId, ControlKind::ComboBox);
    if (control == nullptr) return false;
    if (SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0) == CB_ERR) return false;
    return PostMessageW(parent, WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(controlId), CBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(control)) != FALSE;
}

bool type(HWND parent, int controlId, const std::u16string& text) {
    const HWND control = enabledControl(parent, controlId, ControlKind::Edit);
    if (control == nullptr) return false;
    for (const char16_t unit : text)
        if (PostMessageW(control, WM_CHAR, unit, 0) == FALSE) return false;
    return true;
}

std::size_t dispatchPending() {
    std::size_t waiting = pendingMessages().size();
    std::size_t handled = 0;
    MSG msg;
    while (waiting-- > 0 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam)); // left for the loop that ends on it
            break;
        }
        DispatchMessageW(&msg);
        ++handled;
    }
    return handled;
}

void resetWindows() {
    auto& s = system();
    std::lock_guard lock(s.mutex);
    s.queue.clear();
    s.counts.clear();
    s.sentCounts.clear();
    s.invalidations.clear();
    s.invalidationTotal = 0;
    s.alive.clear();
    // Records stay allocated so that stale handles never point at freed memory.
}

} // namespace platform::win32
