// The frame's margins from an X11 window manager (EWMH): _NET_REQUEST_FRAME_EXTENTS asks for
// them, _NET_FRAME_EXTENTS on the client window holds them (left, right, top, bottom), and a
// PropertyNotify tells that they changed. The work area is the root window's _NET_WORKAREA,
// which the toolkit itself leaves aside where there is more than one monitor. Under another platform (Wayland, offscreen) nothing
// is asked and nothing is told.
#include "toolkit/qt/WindowManager.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace toolkit {

namespace {

xcb_connection_t* Connection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

// Interned once per process: the application has one X connection.
xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    if (reply == nullptr) return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

xcb_atom_t FrameExtentsAtom(xcb_connection_t* c) {
    static const xcb_atom_t atom = Atom(c, "_NET_FRAME_EXTENTS");
    return atom;
}

// The native window of a top-level widget that has one already; none otherwise (asking for
// the id would create it).
xcb_window_t NativeWindow(const QWidget& window) {
    if (!window.isWindow() || !window.testAttribute(Qt::WA_WState_Created)) return XCB_WINDOW_NONE;
    return static_cast<xcb_window_t>(window.internalWinId());
}

// Hands PropertyNotify events for _NET_FRAME_EXTENTS on watched windows to their watchers.
class ExtentsListener final : public QAbstractNativeEventFilter {
public:
    static ExtentsListener& Instance() {
        static ExtentsListener* listener = [] {
            auto* l = new ExtentsListener;  // lives as long as the application's event loop can call it
            QCoreApplication::instance()->installNativeEventFilter(l);
            return l;
        }();
        return *listener;
    }

    void Watch(QWidget& window, xcb_window_t id, std::function<void()> told) {
        FWatchers.erase(id);  // a native window id is reused only after its window has gone
        FWatchers.emplace(id, Watcher{QPointer<QWidget>(&window), std::move(told)});
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
        const auto* property = static_cast<const xcb_property_notify_event_t*>(message);
        xcb_connection_t* c = Connection();
        if (c == nullptr || property->atom != FrameExtentsAtom(c)) return false;
        const auto it = FWatchers.find(property->window);
        if (it == FWatchers.end()) return false;
        if (it->second.window.isNull()) {
            FWatchers.erase(it);
            return false;
        }
        // After the event: Qt takes its own note of the new frame first.
        QTimer::singleShot(0, it->second.window.data(), it->second.told);
        return false;
    }

private:
    struct Watcher {
        QPointer<QWidget> window;
        std::function<void()> told;
    };
    std::map<xcb_window_t, Watcher> FWatchers;
};

} // namespace

void RequestFrameExtents(QWidget& window) {
    xcb_connection_t* c = Connection();
    if (c == nullptr || !window.isWindow()) return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (screens.rem == 0) return;
    static const xcb_atom_t request = Atom(c, "_NET_REQUEST_FRAME_EXTENTS");
    if (request == XCB_ATOM_NONE) return;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = request;
    // Sent to the root window, as window managers take requests about windows they do not manage yet.
    xcb_send_event(c, 0, screens.data->root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(c);
}

std::optional<QMargins> ToldFrameExtents(const QWidget& window) {
    xcb_connection_t* c = Connection();
    const xcb_window_t id = NativeWindow(window);
    if (c == nullptr || id == XCB_WINDOW_NONE) return std::nullopt;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, id, FrameExtentsAtom(c), XCB_ATOM_CARDINAL, 0, 4), nullptr);
    if (reply == nullptr) return std::nullopt;
    std::optional<QMargins> margins;
    if (reply->type == XCB_ATOM_CARDINAL && reply->format == 32 && xcb_get_property_value_length(reply) == 16) {
        const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(reply));
        // Values a window manager could mean are a few hundred pixels at most.
        if (v[0] < 10000 && v[1] < 10000 && v[2] < 10000 && v[3] < 10000) {
            margins = QMargins(static_cast<int>(v[0]), static_cast<int>(v[2]), static_cast<int>(v[1]), static_cast<int>(v[3]));
        }
    }
    std::free(reply);
    return margins;
}

std::optional<QRect> ServerClientGeometry(const QWidget& window) {
    xcb_connection_t* c = Connection();
    const xcb_window_t id = NativeWindow(window);
    if (c == nullptr || id == XCB_WINDOW_NONE) return std::nullopt;
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    if (screens.rem == 0) return std::nullopt;
    // Both asked at once: one round trip.
    const xcb_get_geometry_cookie_t size = xcb_get_geometry(c, id);
    const xcb_translate_coordinates_cookie_t place = xcb_translate_coordinates(c, id, screens.data->root, 0, 0);
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, size, nullptr);
    xcb_translate_coordinates_reply_t* t = xcb_translate_coordinates_reply(c, place, nullptr);
    std::optional<QRect> client;
    if (g != nullptr && t != nullptr) client = QRect(t->dst_x, t->dst_y, g->width, g->height);
    std::free(g);
    std::free(t);
    return client;
}

void WatchFrameExtents(QWidget& window, std::function<void()> told) {
    if (Connection() == nullptr || !window.isWindow()) return;
    ExtentsListener::Instance().Watch(window, static_cast<xcb_window_t>(window.winId()), std::move(told));
}

std::optional<QRect> WorkArea() {
    xcb_connection_t* c = Connection();
    if (c == nullptr) return std::nullopt;
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    if (screens.rem == 0) return std::nullopt;
    const xcb_window_t root = screens.data->root;
    static const xcb_atom_t workArea = Atom(c, "_NET_WORKAREA");
    static const xcb_atom_t currentDesktop = Atom(c, "_NET_CURRENT_DESKTOP");
    const auto read = [c, root](xcb_atom_t atom, uint32_t offset, uint32_t count) {
        std::vector<uint32_t> values;
        xcb_get_property_reply_t* reply =
            xcb_get_property_reply(c, xcb_get_property(c, 0, root, atom, XCB_ATOM_CARDINAL, offset, count), nullptr);
        if (reply != nullptr && reply->format == 32) {
            const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(reply));
            values.assign(v, v + xcb_get_property_value_length(reply) / 4);
        }
        std::free(reply);
        return values;
    };
    const std::vector<uint32_t> desktop = read(currentDesktop, 0, 1);
    const uint32_t index = desktop.size() == 1 && desktop[0] < 1024 ? desktop[0] : 0;
    std::vector<uint32_t> area = read(workArea, index * 4, 4);
    if (area.size() != 4 && index != 0) area = read(workArea, 0, 4);
    if (area.size() != 4 || area[2] == 0 || area[3] == 0 || area[2] > 1u << 20 || area[3] > 1u << 20) return std::nullopt;
    return QRect(static_cast<int>(area[0]), static_cast<int>(area[1]), static_cast<int>(area[2]), static_cast<int>(area[3]));
}

} // namespace toolkit
