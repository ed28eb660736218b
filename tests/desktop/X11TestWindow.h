#pragma once
// A top-level X11 window owned by the calling process (its _NET_WM_PID says
// so): left half one colour, right half another, repainted on request.

#include <gtest/gtest.h>  // before Xlib, whose macros clash with its names

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <string>

#include "desktop/DesktopServices.h"

namespace corvello::test {

constexpr std::uint32_t kLeftColour = 0x00C03010;
constexpr std::uint32_t kRightColour = 0x0020A0F0;
constexpr WindowRect kWindowRect{120, 80, 320, 180};  // 200 x 100

class TestWindow {
public:
    explicit TestWindow(const std::string& display) : connection(XOpenDisplay(display.c_str()))
    {
        if (!connection)
            return;
        const Window root = DefaultRootWindow(connection);
        window = XCreateSimpleWindow(connection, root, kWindowRect.left, kWindowRect.top, kWindowRect.width(),
                                     kWindowRect.height(), 0, 0, kLeftColour);
        const long pid = getpid();
        XChangeProperty(connection, window, XInternAtom(connection, "_NET_WM_PID", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
        XSelectInput(connection, window, StructureNotifyMask | ExposureMask);
        XMapWindow(connection, window);
        XEvent event;
        do
            XNextEvent(connection, &event);
        while (event.type != Expose);
        paintRight(kRightColour);
    }
    ~TestWindow()
    {
        if (connection)
            XCloseDisplay(connection);
    }

    void paintRight(std::uint32_t colour, int height = kWindowRect.height())
    {
        GC gc = XCreateGC(connection, window, 0, nullptr);
        XSetForeground(connection, gc, colour);
        XFillRectangle(connection, window, gc, kWindowRect.width() / 2, 0, kWindowRect.width() / 2, height);
        XFreeGC(connection, gc);
        XSync(connection, False);
    }

    // Without a window manager, the focus decides the foreground window.
    void takeFocus()
    {
        XSetInputFocus(connection, window, RevertToParent, CurrentTime);
        XSync(connection, False);
    }

    WindowHandle handle() const { return static_cast<WindowHandle>(window); }

    Display* connection;
    Window window = 0;
};

}  // namespace corvello::test
