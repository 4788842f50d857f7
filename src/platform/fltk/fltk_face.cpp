#include "platform/fltk/fltk_face.hpp"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <fmt/format.h>

#include "platform/win32/close_signals.hpp"
#include "platform/win32/display_face.hpp"
#include "platform/win32/gdi.hpp"
#include "platform/win32/monitors.hpp"
#include "platform/win32/shell.hpp"
#include "platform/win32/window.hpp"

namespace platform::fltk {
namespace {

namespace w = platform::win32;

constexpr int kClientWidth = 880;
constexpr int kClientHeight = 476; // the painted bands; the rest of 516 is the frame on Windows
constexpr int kFontSize = 13;

std::string utf8(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        char buffer[8];
        const int n = fl_utf8encode(static_cast<unsigned>(c), buffer);
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

std::u16string utf16(const char* text) {
    std::u16string out;
    const char* end = text + std::char_traits<char>::length(text);
    while (text < end) {
        int length = 0;
        const unsigned c = fl_utf8decode(text, end, &length);
        text += length > 0 ? length : 1;
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

void setColour(COLORREF c) { fl_color(w::redOf(c), w::greenOf(c), w::blueOf(c)); }

// Draws the latest frame of the main window as it was recorded.
class Canvas : public Fl_Widget {
public:
    Canvas(HWND main) : Fl_Widget(0, 0, kClientWidth, kClientHeight), m_main(main) {}
    std::size_t drawnFrame = 0;

    void draw() override {
        const auto frame = w::lastFrame(m_main);
        fl_push_clip(x(), y(), w(), h());
        fl_color(FL_BLACK);
        fl_rectf(x(), y(), w(), h());
        if (frame) {
            drawnFrame = frame->number;
            fl_font(FL_HELVETICA, kFontSize);
            for (const auto& call : frame->calls) {
                setColour(call.colour);
                switch (call.kind) {
                case w::DrawCall::Kind::Fill:
                    fl_rectf(call.rect.left, call.rect.top, call.rect.right - call.rect.left,
                             call.rect.bottom - call.rect.top);
                    break;
                case w::DrawCall::Kind::Line:
                    fl_line(call.rect.left, call.rect.top, call.rect.right, call.rect.bottom);
                    break;
                case w::DrawCall::Kind::Text:
                    // Win32 places a text by its top; FLTK by its base line.
                    fl_draw(call.text.c_str(), call.x, call.y + fl_height() - fl_descent());
                    break;
                }
            }
        }
        fl_pop_clip();
    }

private:
    HWND m_main;
};

// A Win32 check box without caption: the box fills the control's 12 x 12 place (FLTK's own
// check button sizes its box by the label font and would stand out of it).
class CheckBox : public Fl_Check_Button {
public:
    CheckBox(int x, int y, int width, int height) : Fl_Check_Button(x, y, width, height) {
        clear_visible_focus();
    }
    void draw() override {
        const bool on = active_r() != 0;
        fl_draw_box(FL_DOWN_BOX, x(), y(), w(), h(), on ? FL_BACKGROUND2_COLOR : fl_inactive(FL_BACKGROUND2_COLOR));
        if (value() == 0) return;
        fl_color(on ? FL_FOREGROUND_COLOR : fl_inactive(FL_FOREGROUND_COLOR));
        fl_line_style(FL_SOLID, 2);
        fl_line(x() + 3, y() + h() / 2, x() + w() / 2 - 1, y() + h() - 4, x() + w() - 3, y() + 3);
        fl_line_style(0);
    }
};

struct Control {
    HWND handle = nullptr;
    int id = 0;
    w::ControlKind kind = w::ControlKind::Window;
    Fl_Widget* widget = nullptr;
    std::vector<std::u16string> items;
    std::u16string shownText;
};

class Face {
public:
    explicit Face(HWND main) : m_main(main) {}

    void run() {
        if (fl_display == nullptr) fl_open_display();
        // Xlib's own handler would end the process from this thread at once; the display's end is a
        // close request instead.
        XSetIOErrorHandler(&Face::onDisplayError);
        Fl::visual(FL_DOUBLE | FL_INDEX);
        const auto state = w::windowState(m_main);
        m_placeX = state ? state->x : 400;
        m_placeY = state ? state->y : 20;
        m_window = new Fl_Double_Window(m_placeX, m_placeY, kClientWidth, kClientHeight);
        m_title = state ? utf8(state->text) : std::string("Quorvel");
        m_window->label(m_title.c_str());
        m_canvas = new Canvas(m_main);
        for (HWND child : w::childWindows(m_main)) addControl(child);
        m_window->end();
        // The toolkit calls the window's callback for its close button and for Escape; only the
        // close button closes, as on the desktop (Escape in an edit field leaves the field as it is).
        m_window->callback(
            [](Fl_Widget*, void* self) {
                if (Fl::event() == FL_CLOSE) PostMessageW(static_cast<Face*>(self)->m_main, WM_CLOSE, 0, 0);
            },
            this);
        m_window->show();
        Fl::add_timeout(0.0, &Face::tick, this);
        while (!m_stop.load() && Fl::first_window() != nullptr) Fl::wait(0.05);
        Fl::remove_timeout(&Face::tick, this); // a later face on this display must not meet it
        m_window->hide();
        Fl::check();
        delete m_window;
        m_ended.store(true);
    }
    void stop() { m_stop.store(true); }
    // A message box of the program, shown beside the window on the face's thread.
    void queueBox(const std::string& text, const std::string& caption) {
        std::lock_guard guard(m_boxLock);
        m_boxes.emplace_back(text, caption);
    }
    // Waits until the face's thread has ended, or has stopped where a display that went away left
    // it (also while the window was being closed), or kFaceEndTime has passed (a display that has
    // stopped answering holds the thread in a call to it): true when it has ended.
    bool awaitEnd() const {
        const auto end = std::chrono::steady_clock::now() + w::kFaceEndTime;
        while (!m_ended.load() && !m_lost.load() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return m_ended.load();
    }
    bool lost() const { return m_lost.load(); }

    // The display went away (its server ended, the connection broke) or could not be opened: the
    // window is closed as by its close button, and the program's closing sequence runs. Xlib and
    // FLTK cannot go on on this thread, and returning would end the process: the thread stays here
    // until the process ends (the face's close leaves it).
    [[noreturn]] static void parkAfterDisplayLoss(const std::string& why) {
        if (Face* face = s_shown.load(); face != nullptr && !face->m_lost.exchange(true)) {
            if (const auto& lost = w::displayFace().lost) lost(why);
            PostMessageW(face->m_main, WM_CLOSE, 0, 0);
        }
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(1));
    }
    static inline std::atomic<Face*> s_shown{nullptr};

private:
    static int onDisplayError(Display* display) {
        const char* name = display != nullptr ? DisplayString(display) : nullptr;
        parkAfterDisplayLoss(fmt::format("the connection to the X display {} was lost", name != nullptr ? name : "?"));
    }

    static void tick(void* self) {
        auto* face = static_cast<Face*>(self);
        face->synchronise();
        Fl::repeat_timeout(0.05, &Face::tick, self);
    }

    void addControl(HWND child) {
        const auto s = w::windowState(child);
        if (!s) return;
        auto c = std::make_unique<Control>();
        c->handle = child;
        c->id = s->controlId;
        c->kind = s->kind;
        switch (s->kind) {
        case w::ControlKind::Button:
            if ((s->style & 0xF) == 2) {
                c->widget = new CheckBox(s->x, s->y, s->width, s->height);
            } else {
                auto* b = new Fl_Button(s->x, s->y, s->width, s->height);
                b->copy_label(utf8(s->text).c_str());
                b->labelsize(kFontSize - 1);
                c->widget = b;
            }
            c->widget->callback(&Face::onClick, c.get());
            break;
        case w::ControlKind::ComboBox: {
            auto* choice = new Fl_Choice(s->x, s->y, s->width, 20);
            choice->textsize(kFontSize - 1);
            choice->callback(&Face::onSelect, c.get());
            c->widget = choice;
            break;
        }
        case w::ControlKind::Edit: {
            auto* input = new Fl_Input(s->x, s->y, s->width, s->height);
            input->textsize(kFontSize - 1);
            input->when(FL_WHEN_ENTER_KEY_ALWAYS);
            input->callback(&Face::onEnter, c.get());
            c->widget = input;
            break;
        }
        default:
            return;
        }
        c->widget->user_data(c.get());
        m_controls.push_back(std::move(c));
    }

    static HWND parentOf(Control* c) { return GetParent(c); }
    static HWND GetParent(Control* c) {
        const auto s = w::windowState(c->handle);
        return s ? s->parent : nullptr;
    }

    static void onClick(Fl_Widget* widget, void* data) {
        auto* c = static_cast<Control*>(data);
        // The model decides the check state (the boxes are not automatic): show it again.
        if (auto* box = dynamic_cast<Fl_Check_Button*>(widget)) {
            const auto s = w::windowState(c->handle);
            box->value(s && s->checked == BST_CHECKED ? 1 : 0);
        }
        w::click(parentOf(c), c->id);
    }

    static void onSelect(Fl_Widget* widget, void* data) {
        auto* c = static_cast<Control*>(data);
        w::select(parentOf(c), c->id, static_cast<Fl_Choice*>(widget)->value());
    }

    static void onEnter(Fl_Widget* widget, void* data) {
        auto* c = static_cast<Control*>(data);
        const std::u16string text = utf16(static_cast<Fl_Input*>(widget)->value());
        SetWindowTextW(c->handle, text.c_str());
        c->shownText = text;
        w::type(parentOf(c), c->id, u"\r");
    }

    // Where the window stands on the screen: its frame (the top-level window below the root that
    // holds it, once a window manager has framed it), as Win32 reports a window's place, and the
    // window's own inside that frame.
    struct Place {
        int frameX = 0;
        int frameY = 0;
        int ownX = 0;
        int ownY = 0;
        bool framed = false;
    };
    bool placeOnScreen(Place& place) const {
        if (!m_window->shown()) return false;
        const Window own = fl_xid(m_window);
        Window top = own;
        Window root = 0;
        for (;;) {
            Window parent = 0;
            Window* children = nullptr;
            unsigned count = 0;
            if (XQueryTree(fl_display, top, &root, &parent, &children, &count) == 0) return false;
            if (children != nullptr) XFree(children);
            if (parent == root || parent == 0) break;
            top = parent;
        }
        Window child = 0;
        place.framed = top != own;
        return XTranslateCoordinates(fl_display, top, root, 0, 0, &place.frameX, &place.frameY, &child) != 0 &&
               XTranslateCoordinates(fl_display, own, root, 0, 0, &place.ownX, &place.ownY, &child) != 0;
    }

    // The place kept for the window is its frame's, as on Windows; the window itself is asked for
    // at that place, and a window manager that puts the frame around it there (the window where
    // asked, its frame above and left of it) would move it one frame's width up and left at each
    // start. So once the frame is there, the window is moved by what the frame stands off from the
    // kept place, once; the frame then stands where it stood when the place was kept.
    void placeFrame() {
        Place place;
        if (!placeOnScreen(place)) return;
        ++m_placingTicks;
        if (!place.framed) {
            if (m_placingTicks > kFrameWaitTicks) m_placing = false; // no window manager frames it
            return;
        }
        const int dx = m_placeX - place.frameX;
        const int dy = m_placeY - place.frameY;
        if (dx == 0 && dy == 0) {
            m_placing = false;
            return;
        }
        if (!m_placeCorrected) {
            m_placeCorrected = true;
            m_placingTicks = 0;
            m_window->position(place.ownX + dx, place.ownY + dy);
            return;
        }
        if (m_placingTicks > kFrameWaitTicks) m_placing = false; // it stays where the manager keeps it
    }

    // A window moved on the screen moves the model's window, so that the place saved at the end
    // is where the person left it.
    void followMoves() {
        if (m_placing) {
            placeFrame();
            if (m_placing) return;
        }
        Place place;
        if (!placeOnScreen(place) || (place.frameX == m_placeX && place.frameY == m_placeY)) return;
        m_placeX = place.frameX;
        m_placeY = place.frameY;
        SetWindowPos(m_main, nullptr, m_placeX, m_placeY, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // A window kept above the others ("Stay on top") asks the window manager for it, as the
    // extended window-manager hints have it: a _NET_WM_STATE message to the root window.
    void followTopmost() {
        const auto state = w::windowState(m_main);
        if (!state || !m_window->shown() || state->topmost == m_shownTopmost) return;
        m_shownTopmost = state->topmost;
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = fl_xid(m_window);
        event.xclient.message_type = XInternAtom(fl_display, "_NET_WM_STATE", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = m_shownTopmost ? 1 : 0; // add or remove
        event.xclient.data.l[1] = static_cast<long>(XInternAtom(fl_display, "_NET_WM_STATE_ABOVE", False));
        event.xclient.data.l[3] = 1; // from a normal application
        XSendEvent(fl_display, DefaultRootWindow(fl_display), False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &event);
        XFlush(fl_display);
    }

    // Each box is a small window of its own with the text and an OK button that closes it; the
    // program does not wait for it, as its message boxes never do.
    void showBoxes() {
        std::vector<std::pair<std::string, std::string>> boxes;
        {
            std::lock_guard guard(m_boxLock);
            boxes.swap(m_boxes);
        }
        for (const auto& [text, caption] : boxes) {
            auto* box = new Fl_Window(380, 110);
            box->copy_label(caption.c_str());
            auto* line = new Fl_Box(10, 10, 360, 55);
            line->copy_label(text.c_str());
            line->labelsize(kFontSize);
            line->align(FL_ALIGN_INSIDE | FL_ALIGN_WRAP | FL_ALIGN_CENTER);
            auto* ok = new Fl_Button(150, 72, 80, 26, "OK");
            ok->callback([](Fl_Widget* button, void*) {
                button->window()->hide();
                Fl::delete_widget(button->window());
            });
            box->end();
            box->position(m_placeX + (kClientWidth - box->w()) / 2, m_placeY + (kClientHeight - box->h()) / 2);
            box->show();
        }
    }

    void synchronise() {
        showBoxes();
        followMoves();
        followTopmost();
        const std::size_t invalidations = w::invalidationCount();
        if (invalidations != m_seenInvalidations) {
            m_seenInvalidations = invalidations;
            PostMessageW(m_main, WM_PAINT, 0, 0); // the window thread paints, as Win32 would
        }
        const auto frame = w::lastFrame(m_main);
        // The whole window: the frame lies under the controls, which are drawn again over it.
        if (frame && frame->number != m_canvas->drawnFrame) m_window->redraw();
        for (auto& c : m_controls) synchroniseControl(*c);
    }

    void synchroniseControl(Control& c) {
        const auto s = w::windowState(c.handle);
        if (!s) return;
        if (s->enabled != (c.widget->active() != 0)) {
            if (s->enabled)
                c.widget->activate();
            else
                c.widget->deactivate();
        }
        switch (c.kind) {
        case w::ControlKind::Button:
            if (auto* box = dynamic_cast<Fl_Check_Button*>(c.widget)) {
                const int wanted = s->checked == BST_CHECKED ? 1 : 0;
                if (box->value() != wanted) box->value(wanted);
            }
            break;
        case w::ControlKind::ComboBox: {
            auto* choice = static_cast<Fl_Choice*>(c.widget);
            if (s->items != c.items) {
                c.items = s->items;
                choice->clear();
                for (const auto& item : c.items) {
                    std::string text = utf8(item);
                    // Menu texts treat '/', '&', '_' and '\\' specially.
                    std::string escaped;
                    for (char ch : text) {
                        if (ch == '/' || ch == '&' || ch == '_' || ch == '\\') escaped.push_back('\\');
                        escaped.push_back(ch);
                    }
                    choice->add(escaped.c_str());
                }
            }
            if (choice->value() != s->selection) choice->value(s->selection);
            break;
        }
        case w::ControlKind::Edit:
            if (s->text != c.shownText) {
                c.shownText = s->text;
                static_cast<Fl_Input*>(c.widget)->value(utf8(s->text).c_str());
            }
            break;
        default:
            break;
        }
    }

    HWND m_main;
    Fl_Double_Window* m_window = nullptr;
    Canvas* m_canvas = nullptr;
    std::string m_title;
    std::vector<std::unique_ptr<Control>> m_controls;
    std::size_t m_seenInvalidations = 0;
    bool m_shownTopmost = false;
    int m_placeX = 0; // the window's place as the model last learned it
    int m_placeY = 0;
    // Until the frame stands at the kept place (or no window manager frames the window).
    static constexpr int kFrameWaitTicks = 40;
    bool m_placing = true;
    bool m_placeCorrected = false;
    int m_placingTicks = 0;
    std::mutex m_boxLock;
    std::vector<std::pair<std::string, std::string>> m_boxes;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_lost{false};
    std::atomic<bool> m_ended{false};
};

// What FLTK cannot go on from (a display that cannot be opened, an X I/O error it catches itself).
void onFatal(const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    Face::parkAfterDisplayLoss(text);
}

// The screen of the display with its work area: the desktop's _NET_WORKAREA when a window
// manager publishes one, else the whole screen.
w::Monitor screenOf(Display* display) {
    const int screen = DefaultScreen(display);
    const RECT area{0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
    w::Monitor monitor{area, area};
    const Atom workArea = XInternAtom(display, "_NET_WORKAREA", True);
    if (workArea == None) return monitor;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, RootWindow(display, screen), workArea, 0, 4, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data != nullptr && format == 32 && count >= 4) {
        const auto* v = reinterpret_cast<const unsigned long*>(data); // 32-bit items arrive as longs
        const RECT work{static_cast<LONG>(v[0]), static_cast<LONG>(v[1]), static_cast<LONG>(v[0] + v[2]),
                        static_cast<LONG>(v[1] + v[3])};
        if (work.right > work.left && work.bottom > work.top) monitor.workArea = work;
    }
    if (data != nullptr) XFree(data);
    return monitor;
}

struct Running {
    std::unique_ptr<Face> face;
    std::thread thread;
};
Running& running() {
    static Running r;
    return r;
}

// Opens the display on a thread of its own and waits for it within kDisplayAnswerTime, and only
// until a close request arrives: a server that does not answer (stopped, hung) holds neither the
// start nor the close. A display given up on is closed by that thread if it answers later.
Display* openAnswering(const char* name, std::string& why) {
    struct Probe {
        std::mutex lock;
        bool answered = false;
        bool givenUp = false;
        Display* display = nullptr;
    };
    auto probe = std::make_shared<Probe>();
    std::thread([probe, name = std::string(name)] {
        Display* display = XOpenDisplay(name.c_str());
        std::lock_guard guard(probe->lock);
        if (probe->givenUp) {
            if (display != nullptr) XCloseDisplay(display);
            return;
        }
        probe->display = display;
        probe->answered = true;
    }).detach();
    const auto end = std::chrono::steady_clock::now() + w::kDisplayAnswerTime;
    for (;;) {
        {
            std::lock_guard guard(probe->lock);
            if (probe->answered) {
                if (probe->display == nullptr) why = "cannot be opened";
                return probe->display;
            }
            const bool closeRequested = w::closeSignalCount() > 0;
            if (closeRequested || std::chrono::steady_clock::now() >= end) {
                probe->givenUp = true;
                why = closeRequested ? "did not answer before the close request" : "does not answer";
                return nullptr;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace

void installWhenDisplayed() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') return;
    // A display that cannot be opened leaves the window headless (FLTK would end the process).
    std::string why;
    Display* probe = openAnswering(display, why);
    if (probe == nullptr) {
        w::displayFace().unusable = display;
        w::displayFace().unusableWhy = why;
        return;
    }
    w::setMonitors({screenOf(probe)}); // the window is kept on this screen
    XCloseDisplay(probe);
    w::DisplayFace& face = w::displayFace();
    face.open = [](HWND main) {
        Running& r = running();
        if (r.thread.joinable()) return;
        r.face = std::make_unique<Face>(main);
        Face::s_shown.store(r.face.get());
        w::setMessageBoxShower([f = r.face.get()](const std::string& text, const std::string& caption) {
            f->queueBox(text, caption);
        });
        Fl::fatal = &onFatal;
        r.thread = std::thread([f = r.face.get()] { f->run(); });
    };
    face.close = [] {
        Running& r = running();
        if (!r.thread.joinable()) return true;
        w::setMessageBoxShower({});
        r.face->stop();
        if (!r.face->awaitEnd()) {
            // Its thread stays where the display's end left it (or where a display that does not
            // answer holds it), for the rest of the process.
            r.thread.detach();
            return r.face->lost();
        }
        r.thread.join();
        Face::s_shown.store(nullptr);
        r.face.reset();
        return true;
    };
}

} // namespace platform::fltk
