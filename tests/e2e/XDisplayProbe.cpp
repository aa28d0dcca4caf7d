#include "tests/e2e/XDisplayProbe.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// Windows come and go while the tree is walked; a window that vanished between two requests must
// not end the test, which is what Xlib's default error handler does.
int ignoreErrors(Display *, XErrorEvent *)
{
    return 0;
}

void collect(Display *display, ::Window window, Atom pidAtom, std::int64_t pid, std::vector<XDisplayProbe::Window> &out)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data)
            == Success
        && data) {
        if (type == XA_CARDINAL && format == 32 && count == 1
            && static_cast<std::int64_t>(*reinterpret_cast<unsigned long *>(data)) == pid) {
            XDisplayProbe::Window found;
            found.id = window;
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display, window, &attributes)) {
                found.viewable = attributes.map_state == IsViewable;
                found.width = attributes.width;
                found.height = attributes.height;
            }
            XTextProperty name;
            if (XGetWMName(display, window, &name) && name.value) {
                found.title
                    = QString::fromUtf8(reinterpret_cast<const char *>(name.value), static_cast<int>(name.nitems));
                XFree(name.value);
            }
            out.push_back(found);
        }
        XFree(data);
    }
    ::Window root = 0, parent = 0;
    ::Window *children = nullptr;
    unsigned int childCount = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &childCount)) {
        for (unsigned int i = 0; i < childCount; ++i)
            collect(display, children[i], pidAtom, pid, out);
        if (children)
            XFree(children);
    }
}

} // namespace

XDisplayProbe::XDisplayProbe()
    : display(XOpenDisplay(nullptr))
{
    XSetErrorHandler(ignoreErrors);
}

XDisplayProbe::~XDisplayProbe()
{
    if (display)
        XCloseDisplay(display);
}

bool XDisplayProbe::trayPresent() const
{
    if (!display)
        return false;
    const Atom selection = XInternAtom(display, "_NET_SYSTEM_TRAY_S0", False);
    return XGetSelectionOwner(display, selection) != None;
}

std::vector<XDisplayProbe::Window> XDisplayProbe::windowsOf(std::int64_t pid) const
{
    std::vector<Window> windows;
    if (!display)
        return windows;
    XSync(display, False);
    collect(display, DefaultRootWindow(display), XInternAtom(display, "_NET_WM_PID", False), pid, windows);
    return windows;
}

void XDisplayProbe::requestClose(WindowId window) const
{
    if (!display)
        return;
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}
