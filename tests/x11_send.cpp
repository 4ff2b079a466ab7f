// Does to another program's X11 window what a user would: presses Escape in
// it, or asks for it to be closed as a window manager does when its close
// button is pressed. It waits until a window of the given title is shown.
//
//   x11_send escape|close TITLE
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

// A shown top-level window with the title, or 0.
Window FindShown(Display* display, const char* title)
{
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr, found = 0;
    unsigned int count = 0;
    if (XQueryTree(display, root, &root, &parent, &children, &count) == 0) return 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        char* name = nullptr;
        XWindowAttributes attributes{};
        if (XFetchName(display, children[i], &name) != 0 && name != nullptr) {
            if (std::strcmp(name, title) == 0 && XGetWindowAttributes(display, children[i], &attributes) != 0 &&
                attributes.map_state == IsViewable)
                found = children[i];
            XFree(name);
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string action = argc == 3 ? argv[1] : "";
    if (action != "escape" && action != "close") {
        std::fprintf(stderr, "usage: x11_send escape|close TITLE\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "x11_send: no X display\n");
        return 1;
    }
    Window window = 0;
    for (int attempt = 0; attempt < 3000 && window == 0; ++attempt) {
        window = FindShown(display, argv[2]);
        if (window == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (window == 0) {
        std::fprintf(stderr, "x11_send: no window %s was shown\n", argv[2]);
        return 1;
    }
    XEvent event{};
    if (action == "escape") {
        event.xkey.type = KeyPress;
        event.xkey.display = display;
        event.xkey.window = window;
        event.xkey.root = DefaultRootWindow(display);
        event.xkey.time = CurrentTime;
        event.xkey.same_screen = True;
        event.xkey.keycode = XKeysymToKeycode(display, XK_Escape);
        XSendEvent(display, window, True, KeyPressMask, &event);
    } else {
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &event);
    }
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
