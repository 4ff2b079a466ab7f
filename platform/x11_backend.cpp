// The x11 backend: real windows on an X display, drawn through EGL's X11
// platform. Windows use the screen's default visual; only configs of that
// visual are offered as pixel formats.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>

#include "platform_internal.h"

namespace {

uint8_t Channel(unsigned long pixel, unsigned long mask)
{
    if (mask == 0) return 0;
    unsigned shift = static_cast<unsigned>(__builtin_ctzl(mask));
    unsigned long value = (pixel & mask) >> shift;
    unsigned long maximum = mask >> shift;
    return static_cast<uint8_t>((value * 255 + maximum / 2) / maximum);
}

class X11Backend final : public Backend {
public:
    ~X11Backend() override
    {
        if (display_ != EGL_NO_DISPLAY) eglTerminate(display_);
        if (x_ != nullptr) XCloseDisplay(x_);
    }

    bool start(const char* displayName)
    {
        x_ = XOpenDisplay(displayName);
        if (x_ == nullptr) return false;
        auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (getPlatformDisplay == nullptr) return false;
        display_ = getPlatformDisplay(EGL_PLATFORM_X11_KHR, x_, nullptr);
        if (display_ == EGL_NO_DISPLAY) return false;
        EGLint major = 0, minor = 0;
        if (!eglInitialize(display_, &major, &minor)) return false;
        visual_ = DefaultVisual(x_, DefaultScreen(x_));
        deleteAtom_ = XInternAtom(x_, "WM_DELETE_WINDOW", False);
        return true;
    }

    EGLint surfaceType() const override { return EGL_WINDOW_BIT; }

    bool acceptsConfig(EGLConfig config) const override
    {
        EGLint visualId = 0;
        eglGetConfigAttrib(display_, config, EGL_NATIVE_VISUAL_ID, &visualId);
        return static_cast<VisualID>(visualId) == XVisualIDFromVisual(visual_);
    }

    bool createNativeWindow(HWND window, const char* title) override
    {
        Window root = RootWindow(x_, DefaultScreen(x_));
        Window native = XCreateSimpleWindow(x_, root, 0, 0, window->width, window->height, 0, 0, 0);
        if (native == 0) return false;
        XStoreName(x_, native, title);
        XSelectInput(x_, native, PointerMotionMask | KeyPressMask | StructureNotifyMask);
        XSetWMProtocols(x_, native, &deleteAtom_, 1);
        XMapWindow(x_, native);
        XEvent event;
        do XWindowEvent(x_, native, StructureNotifyMask, &event);
        while (event.type != MapNotify);
        window->nativeWindow = native;
        return true;
    }

    void destroyNativeWindow(HWND window) override
    {
        XDestroyWindow(x_, window->nativeWindow);
        XFlush(x_);
    }

    EGLSurface createSurface(HWND window) override
    {
        EGLint attributes[] = {EGL_RENDER_BUFFER, window->doubleBuffered() ? EGL_BACK_BUFFER : EGL_SINGLE_BUFFER,
                               EGL_NONE};
        return eglCreateWindowSurface(display_, window->config, static_cast<EGLNativeWindowType>(window->nativeWindow),
                                      attributes);
    }

    void present(HWND window) override { eglSwapBuffers(display_, window->surface); }

    bool readFront(HWND window, uint8_t* rgba) override
    {
        if (window->surface != EGL_NO_SURFACE) WithWindowCurrent(window, [] { Gl().finish(); });
        XSync(x_, False);
        XImage* image = XGetImage(x_, window->nativeWindow, 0, 0, window->width, window->height, AllPlanes, ZPixmap);
        if (image == nullptr) return false;
        for (uint32_t row = 0; row < window->height; ++row) {
            uint8_t* out = rgba + static_cast<size_t>(window->height - 1 - row) * window->width * 4;
            for (uint32_t column = 0; column < window->width; ++column) {
                unsigned long pixel = XGetPixel(image, static_cast<int>(column), static_cast<int>(row));
                out[column * 4 + 0] = Channel(pixel, image->red_mask);
                out[column * 4 + 1] = Channel(pixel, image->green_mask);
                out[column * 4 + 2] = Channel(pixel, image->blue_mask);
                out[column * 4 + 3] = 255;
            }
        }
        XDestroyImage(image);
        return true;
    }

    bool pollEvent(HWND window, ZqEvent* event) override
    {
        XEvent x;
        while (XCheckWindowEvent(x_, window->nativeWindow, PointerMotionMask | KeyPressMask, &x) ||
               XCheckTypedWindowEvent(x_, window->nativeWindow, ClientMessage, &x)) {
            *event = ZqEvent{};
            if (x.type == MotionNotify) {
                event->kind = ZQ_EVENT_POINTER;
                event->x = x.xmotion.x;
                event->y = x.xmotion.y;
                return true;
            }
            if (x.type == KeyPress) {
                event->kind = ZQ_EVENT_KEY;
                event->keySymbol = static_cast<uint32_t>(XLookupKeysym(&x.xkey, 0));
                return true;
            }
            if (x.type == ClientMessage && static_cast<Atom>(x.xclient.data.l[0]) == deleteAtom_) {
                event->kind = ZQ_EVENT_CLOSE;
                return true;
            }
        }
        return false;
    }

private:
    Display* x_ = nullptr;
    Visual* visual_ = nullptr;
    Atom deleteAtom_ = 0;
};

}  // namespace

std::unique_ptr<Backend> MakeX11Backend(const char* displayName)
{
    auto backend = std::make_unique<X11Backend>();
    if (!backend->start(displayName)) return nullptr;
    return backend;
}
