#pragma once
// The X11 connection behind the Linux desktop backend. Xlib reports errors
// through process-wide handlers whose defaults end the program; here a
// protocol error (a window that vanished, a bad handle from the remote) only
// fails the call at hand, and a lost server only drops the connection, which
// is opened again on the next use.

#include <X11/Xlib.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace corvello {

class X11Display {
public:
    // Null while no X server can be reached ($DISPLAY unset or dead).
    Display* connection();

    Window root() const { return rootWindow; }
    int screen() const { return screenNumber; }

    // Runs Xlib calls and reports whether the server rejected any of them.
    // Two round trips: only for requests without a reply. A request with a
    // reply gets its error instead of the reply, and the call fails.
    class ErrorTrap {
    public:
        explicit ErrorTrap(Display* display);
        bool failed();

    private:
        Display* display;
    };

    // A 32-bit-format property as a list of values; empty when absent.
    std::vector<unsigned long> cardinals(Window window, Atom property);
    Atom atom(const char* name);

    // The managed top-level windows: the window manager's client list, or
    // the root's children when no manager publishes one.
    std::vector<Window> topLevels();
    bool isTopLevel(Window window);
    bool attributes(Window window, XWindowAttributes& out);
    bool minimized(Window window);
    std::int32_t pid(Window window);

private:
    void open();

    Display* display = nullptr;
    Window rootWindow = 0;
    int screenNumber = 0;
};

}  // namespace corvello
