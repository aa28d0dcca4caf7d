#pragma once

#include <QString>

#include <cstdint>
#include <vector>

struct _XDisplay;

// What a person would see on the X display the tray test runs on: the tray, a program's windows
// and their titles; and the close request a window manager sends when a window's close button is
// pressed.
class XDisplayProbe
{
public:
    using WindowId = unsigned long;

    XDisplayProbe(); // the display of $DISPLAY
    ~XDisplayProbe();
    XDisplayProbe(const XDisplayProbe &) = delete;
    XDisplayProbe &operator=(const XDisplayProbe &) = delete;

    bool isOpen() const { return display != nullptr; }
    bool trayPresent() const; // someone owns the system tray selection of screen 0

    struct Window
    {
        WindowId id = 0;
        QString title;
        bool viewable = false;
        int width = 0;
        int height = 0;
    };
    // Every window marked with the process id, in stacking order.
    std::vector<Window> windowsOf(std::int64_t pid) const;
    void requestClose(WindowId window) const; // WM_DELETE_WINDOW

private:
    _XDisplay *display = nullptr;
};
