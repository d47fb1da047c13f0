// Waits until a window manager on $DISPLAY is up: it has said who it is (the root window's
// _NET_SUPPORTING_WM_CHECK names a window that names itself) and what it keeps free of panels
// (_NET_WORKAREA, which one window manager sets only once its task bar is up), and it answers a
// _NET_REQUEST_FRAME_EXTENTS for a window of ours with that window's _NET_FRAME_EXTENTS, which it
// does from its event loop only. All of it is waited for as X events (PropertyNotify), and the
// window manager's end as its pidfd becoming readable; nothing is looked at again after a pause.
// A window manager has been seen to set its properties while still starting, take in the
// requests that came meanwhile, and then sleep on them until some later request arrives: a
// program started then stays unframed for as long. So the request is made again after each
// quarter of a second without an answer; the one answered shows the window manager in its loop.
//   wm_ready <seconds> [<window manager's pid>]
//   exit 0 up; 1 not within the time, or the window manager ended; 2 no X server
#include <xcb/xcb.h>

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> Own(T* reply) {
    return Reply<T>(reply, &std::free);
}

class Display {
public:
    Display() : FC(xcb_connect(nullptr, nullptr)) {}
    ~Display() { xcb_disconnect(FC); }
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    bool Ok() const { return xcb_connection_has_error(FC) == 0; }
    xcb_connection_t* C() const { return FC; }
    xcb_window_t Root() const { return xcb_setup_roots_iterator(xcb_get_setup(FC)).data->root; }

    xcb_atom_t Atom(const char* name) const {
        auto r = Own(xcb_intern_atom_reply(FC, xcb_intern_atom(FC, 0, uint16_t(std::strlen(name)), name), nullptr));
        return r != nullptr ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    std::vector<uint32_t> Property(xcb_window_t window, xcb_atom_t atom, xcb_atom_t type) const {
        std::vector<uint32_t> values;
        auto r = Own(xcb_get_property_reply(FC, xcb_get_property(FC, 0, window, atom, type, 0, 16), nullptr));
        if (r != nullptr && r->format == 32) {
            const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(r.get()));
            values.assign(v, v + xcb_get_property_value_length(r.get()) / 4);
        }
        return values;
    }

    // Waits for the next event until `deadline`, or until the process `ended` refers to (a pidfd;
    // -1 for none) has ended; nothing then.
    std::optional<Reply<xcb_generic_event_t>> Next(Clock::time_point deadline, int ended) const {
        for (;;) {
            if (xcb_generic_event_t* e = xcb_poll_for_event(FC)) return Own(e);
            if (xcb_connection_has_error(FC) != 0) return std::nullopt;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return std::nullopt;
            pollfd p[2] = {{xcb_get_file_descriptor(FC), POLLIN, 0}, {ended, POLLIN, 0}};
            ::poll(p, ended >= 0 ? 2 : 1, static_cast<int>(left));
            if (ended >= 0 && (p[1].revents & POLLIN) != 0) return std::nullopt;
        }
    }

private:
    xcb_connection_t* FC;
};

// The window manager's check window, when it names itself as EWMH asks.
bool WmNamed(const Display& d, xcb_atom_t check) {
    const std::vector<uint32_t> root = d.Property(d.Root(), check, XCB_ATOM_WINDOW);
    if (root.size() != 1) return false;
    const std::vector<uint32_t> self = d.Property(root[0], check, XCB_ATOM_WINDOW);
    return self.size() == 1 && self[0] == root[0];
}

void RequestExtents(const Display& d, xcb_window_t window, xcb_atom_t request) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = request;
    xcb_send_event(d.C(), 0, d.Root(), XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(d.C());
}

} // namespace

// A descriptor that becomes readable when process `pid` ends; -1 where there is none to be had.
int EndOf(long pid) {
#ifdef SYS_pidfd_open
    if (pid > 0) return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
#endif
    return -1;
}

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 0;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: wm_ready <seconds> [<window manager's pid>]\n");
        return 2;
    }
    const long wmPid = argc > 2 ? std::atol(argv[2]) : 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    const Display d;
    if (!d.Ok()) {
        std::fprintf(stderr, "wm_ready: cannot open the display\n");
        return 2;
    }
    const int wmEnded = EndOf(wmPid);
    const auto gone = [wmEnded] {
        pollfd p{wmEnded, POLLIN, 0};
        return wmEnded >= 0 && ::poll(&p, 1, 0) == 1;
    };
    const auto fail = [&](const char* what) {
        std::fprintf(stderr, "wm_ready: %s\n", gone() ? "the window manager ended" : what);
        return 1;
    };
    const xcb_atom_t check = d.Atom("_NET_SUPPORTING_WM_CHECK");
    const xcb_atom_t workArea = d.Atom("_NET_WORKAREA");
    const xcb_atom_t extents = d.Atom("_NET_FRAME_EXTENTS");
    const xcb_atom_t request = d.Atom("_NET_REQUEST_FRAME_EXTENTS");

    // Told of every property the window manager sets on the root window from here on; read once
    // after asking, so that one set in between is not missed.
    const uint32_t rootMask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(d.C(), d.Root(), XCB_CW_EVENT_MASK, &rootMask);
    while (!WmNamed(d, check) || d.Property(d.Root(), workArea, XCB_ATOM_CARDINAL).size() < 4) {
        for (;;) {
            const auto e = d.Next(deadline, wmEnded);
            if (!e) return fail("no window manager said who it is and what it keeps free in time");
            if (((*e)->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) break;
        }
    }

    // A window of ours, never mapped, whose frame the window manager is asked for.
    const xcb_window_t probe = xcb_generate_id(d.C());
    const uint32_t probeMask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(d.C(), XCB_COPY_FROM_PARENT, probe, d.Root(), 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &probeMask);
    int asked = 0;
    for (;;) {
        RequestExtents(d, probe, request);
        ++asked;
        const Clock::time_point again = std::min(deadline, Clock::now() + std::chrono::milliseconds(250));
        while (d.Property(probe, extents, XCB_ATOM_CARDINAL).size() != 4 && d.Next(again, wmEnded)) {
        }
        if (d.Property(probe, extents, XCB_ATOM_CARDINAL).size() == 4) break;
        if (gone() || Clock::now() >= deadline) return fail("the window manager did not answer in time");
    }
    if (asked > 1) std::printf("wm_ready: the window manager answered the frame request made %d times\n", asked);
    xcb_destroy_window(d.C(), probe);
    xcb_flush(d.C());
    return 0;
}
