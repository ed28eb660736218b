#include "desktop/X11Display.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>

namespace corvello {

namespace {

// Set by the handlers below; the connection's calls are serialised by the
// backend, so one slot per process suffices.
std::atomic<int> lastErrorCode{0};
std::atomic<bool> connectionLost{false};

int recordError(Display*, XErrorEvent* event)
{
    lastErrorCode = event->error_code;
    return 0;
}

int ignoreIOError(Display*)
{
    return 0;
}

void markConnectionLost(Display*, void*)
{
    connectionLost = true;
}

// A server that went away shows as a hang-up or end of stream on the socket;
// checking costs one system call and spares the next request its failure.
bool serverHungUp(Display* display)
{
    pollfd socket{ConnectionNumber(display), POLLIN, 0};
    if (poll(&socket, 1, 0) <= 0)
        return false;
    if (socket.revents & (POLLHUP | POLLERR | POLLNVAL))
        return true;
    char next;
    return recv(socket.fd, &next, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

constexpr long kMaxPropertyItems = 65536;
constexpr long kIconicState = 3;

}  // namespace

void X11Display::open()
{
    XSetErrorHandler(recordError);
    XSetIOErrorHandler(ignoreIOError);
    display = XOpenDisplay(nullptr);
    if (!display)
        return;
    XSetIOErrorExitHandler(display, markConnectionLost, nullptr);
    connectionLost = false;
    screenNumber = DefaultScreen(display);
    rootWindow = RootWindow(display, screenNumber);
}

Display* X11Display::connection()
{
    if (display && (connectionLost || serverHungUp(display)))
        display = nullptr;  // unusable now; freeing it would talk to the dead socket, so it is left
    if (!display)
        open();
    return display;
}

X11Display::ErrorTrap::ErrorTrap(Display* display) : display(display)
{
    XSync(display, False);
    lastErrorCode = 0;
}

bool X11Display::ErrorTrap::failed()
{
    XSync(display, False);
    return lastErrorCode != 0 || connectionLost;
}

Atom X11Display::atom(const char* name)
{
    return XInternAtom(display, name, False);
}

std::vector<unsigned long> X11Display::cardinals(Window window, Atom property)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, window, property, 0, kMaxPropertyItems, False, AnyPropertyType,
                                          &type, &format, &count, &remaining, &data);
    std::vector<unsigned long> values;
    if (status == Success && data && format == 32) {
        // Xlib hands 32-bit properties over as an array of long.
        const auto* items = reinterpret_cast<const unsigned long*>(data);
        values.assign(items, items + count);
    }
    if (data)
        XFree(data);
    return values;
}

std::vector<Window> X11Display::topLevels()
{
    const auto clients = cardinals(rootWindow, atom("_NET_CLIENT_LIST"));
    if (!clients.empty())
        return {clients.begin(), clients.end()};
    Window rootReturn = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<Window> windows;
    if (XQueryTree(display, rootWindow, &rootReturn, &parent, &children, &count))
        windows.assign(children, children + count);
    if (children)
        XFree(children);
    return windows;
}

bool X11Display::isTopLevel(Window window)
{
    const auto windows = topLevels();
    return window != 0 && std::find(windows.begin(), windows.end(), window) != windows.end();
}

bool X11Display::attributes(Window window, XWindowAttributes& out)
{
    return XGetWindowAttributes(display, window, &out) != 0;
}

bool X11Display::minimized(Window window)
{
    const auto wmState = cardinals(window, atom("WM_STATE"));
    if (!wmState.empty() && static_cast<long>(wmState.front()) == kIconicState)
        return true;
    const auto states = cardinals(window, atom("_NET_WM_STATE"));
    return std::find(states.begin(), states.end(), atom("_NET_WM_STATE_HIDDEN")) != states.end();
}

std::int32_t X11Display::pid(Window window)
{
    const auto values = cardinals(window, atom("_NET_WM_PID"));
    return values.empty() ? 0 : static_cast<std::int32_t>(values.front());
}

}  // namespace corvello
