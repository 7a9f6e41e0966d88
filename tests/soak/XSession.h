// XSession: a player's hands on an X server: pointer and keys through the XTEST extension, and
// the program's windows as the server shows them.
#pragma once

#include <string>
#include <vector>

namespace tarv::soak {

struct Point {
    int x = 0;
    int y = 0;
};

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool contains(Point p) const { return p.x >= x && p.x < x + width && p.y >= y && p.y < y + height; }
};

// A top-level window that the server shows (mapped, not a pop-up or a tool tip), in screen
// coordinates. Without a window manager a window's place is that of its client area.
struct ShownWindow {
    unsigned long id = 0;
    Rect rect;
    std::string title;
};

// One connection to the display; every call runs on the caller's thread and is sent at once.
class XSession {
public:
    explicit XSession(const std::string& display);
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // False when the display cannot be opened or has no XTEST extension.
    bool valid() const;

    std::vector<ShownWindow> shownWindows() const;

    void moveTo(Point screen);
    // Buttons as X numbers them: 1 left, 2 middle, 3 right, 4 and 5 the wheel.
    void button(int number, bool down);
    // A key by its X keysym (the symbol on its first level); false when the keyboard has no such key.
    bool key(unsigned long keysym, bool down);
    // What the close button of a window manager does: asks the window to close.
    void askToClose(unsigned long window);

private:
    struct Impl;
    Impl* fImpl;
};

}   // namespace tarv::soak
