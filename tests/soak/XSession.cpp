// The X side of the soak player: XTEST events and the list of shown windows.
#include "XSession.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace tarv::soak {

struct XSession::Impl {
    Display* display = nullptr;
    bool xtest = false;
};

XSession::XSession(const std::string& display) : fImpl(new Impl)
{
    // A window may go away between listing it and asking for its attributes; the call then
    // fails and the window is left out, instead of Xlib ending the process.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    fImpl->display = XOpenDisplay(display.c_str());
    int event = 0, error = 0, major = 0, minor = 0;
    fImpl->xtest = fImpl->display && XTestQueryExtension(fImpl->display, &event, &error, &major, &minor);
}

XSession::~XSession()
{
    if (fImpl->display)
        XCloseDisplay(fImpl->display);
    delete fImpl;
}

bool XSession::valid() const
{
    return fImpl->display && fImpl->xtest;
}

std::vector<ShownWindow> XSession::shownWindows() const
{
    std::vector<ShownWindow> shown;
    Display* d = fImpl->display;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count))
        return shown;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(d, children[i], &attributes) || attributes.map_state != IsViewable
            || attributes.override_redirect)
            continue;
        ShownWindow window;
        window.id = children[i];
        window.rect = {attributes.x, attributes.y, attributes.width, attributes.height};
        XTextProperty name;
        if (XGetWMName(d, children[i], &name) && name.value) {
            window.title.assign(reinterpret_cast<const char*>(name.value), name.nitems);
            XFree(name.value);
        }
        shown.push_back(window);
    }
    if (children)
        XFree(children);
    return shown;
}

void XSession::moveTo(Point screen)
{
    XTestFakeMotionEvent(fImpl->display, DefaultScreen(fImpl->display), screen.x, screen.y, CurrentTime);
    XFlush(fImpl->display);
}

void XSession::button(int number, bool down)
{
    XTestFakeButtonEvent(fImpl->display, static_cast<unsigned int>(number), down, CurrentTime);
    XFlush(fImpl->display);
}

bool XSession::key(unsigned long keysym, bool down)
{
    const KeyCode code = XKeysymToKeycode(fImpl->display, keysym);
    if (code == 0)
        return false;
    XTestFakeKeyEvent(fImpl->display, code, down, CurrentTime);
    XFlush(fImpl->display);
    return true;
}

void XSession::askToClose(unsigned long window)
{
    Display* d = fImpl->display;
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window, False, NoEventMask, &event);
    XFlush(d);
}

}   // namespace tarv::soak
