#include "platform/win32/gdi.hpp"

#include <map>
#include <memory>
#include <mutex>

struct GdiObject {
    bool pen = false;
    COLORREF colour = 0;
};

struct PaintRecording {
    std::vector<platform::win32::DrawCall> calls;
    GdiObject* pen = nullptr;
    COLORREF textColour = 0;
    COLORREF backColour = 0xFFFFFF;
    int backMode = OPAQUE;
    int penX = 0;
    int penY = 0;
};

namespace {

struct GdiSystem {
    std::mutex mutex;
    std::vector<std::unique_ptr<GdiObject>> objects;
    std::map<HWND, platform::win32::Frame> frames;
};

GdiSystem& gdi() {
    static auto* s = new GdiSystem;
    return *s;
}

HGDIOBJ makeObject(bool pen, COLORREF colour) {
    auto& s = gdi();
    std::lock_guard lock(s.mutex);
    s.objects.push_back(std::make_unique<GdiObject>(GdiObject{pen, colour}));
    return s.objects.back().get();
}

std::string toUtf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

} // namespace

HBRUSH CreateSolidBrush(COLORREF colour) { return makeObject(false, colour); }
HPEN CreatePen(int /*style*/, int /*width*/, COLORREF colour) { return makeObject(true, colour); }

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    if (dc == nullptr || object == nullptr || !object->pen) return nullptr;
    HGDIOBJ previous = dc->pen;
    dc->pen = object;
    return previous;
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
    if (!IsWindow(window) || paint == nullptr) return nullptr;
    paint->hdc = new PaintRecording;
    paint->fErase = FALSE;
    paint->rcPaint = RECT{0, 0, 880, 476};
    return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
    if (paint == nullptr || paint->hdc == nullptr) return FALSE;
    std::unique_ptr<PaintRecording> recording(paint->hdc);
    auto& s = gdi();
    std::lock_guard lock(s.mutex);
    auto& frame = s.frames[window];
    frame.calls = std::move(recording->calls);
    ++frame.number;
    return TRUE;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    if (dc == nullptr || rect == nullptr || brush == nullptr) return 0;
    platform::win32::DrawCall call;
    call.kind = platform::win32::DrawCall::Kind::Fill;
    call.rect = *rect;
    call.colour = brush->colour;
    dc->calls.push_back(std::move(call));
    return 1;
}

BOOL MoveToEx(HDC dc, int x, int y, void* /*previous*/) {
    if (dc == nullptr) return FALSE;
    dc->penX = x;
    dc->penY = y;
    return TRUE;
}

BOOL LineTo(HDC dc, int x, int y) {
    if (dc == nullptr) return FALSE;
    platform::win32::DrawCall call;
    call.kind = platform::win32::DrawCall::Kind::Line;
    call.rect = RECT{dc->penX, dc->penY, x, y};
    call.colour = dc->pen != nullptr ? dc->pen->colour : 0;
    dc->calls.push_back(std::move(call));
    dc->penX = x;
    dc->penY = y;
    return TRUE;
}

COLORREF SetTextColor(HDC dc, COLORREF colour) {
    if (dc == nullptr) return 0;
    const COLORREF previous = dc->textColour;
    dc->textColour = colour;
    return previous;
}

int SetBkMode(HDC dc, int mode) {
    if (dc == nullptr) return 0;
    const int previous = dc->backMode;
    dc->backMode = mode;
    return previous;
}

COLORREF SetBkColor(HDC dc, COLORREF colour) {
    if (dc == nullptr) return 0;
    const COLORREF previous = dc->backColour;
    dc->backColour = colour;
    return previous;
}

BOOL TextOutW(HDC dc, int x, int y, LPCWSTR text, int length) {
    if (dc == nullptr || text == nullptr || length < 0) return FALSE;
    platform::win32::DrawCall call;
    call.kind = platform::win32::DrawCall::Kind::Text;
    call.x = x;
    call.y = y;
    call.text = toUtf8(std::u16string_view(text, static_cast<std::size_t>(length)));
    call.colour = dc->textColour;
    dc->calls.push_back(std::move(call));
    return TRUE;
}

namespace platform::win32 {

std::optional<Frame> lastFrame(HWND window) {
    auto& s = gdi();
    std::lock_guard lock(s.mutex);
    const auto it = s.frames.find(window);
    if (it == s.frames.end()) return std::nullopt;
    return it->second;
}

void resetFrames() {
    auto& s = gdi();
    std::lock_guard lock(s.mutex);
    s.frames.clear();
}

} // namespace platform::win32

#include "platform/win32/display_face.hpp"

namespace platform::win32 {

DisplayFace& displayFace() {
    static DisplayFace face;
    return face;
}

} // namespace platform::win32
