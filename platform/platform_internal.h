// Objects of the window-system stand-in and the seam between the Windows-
// shaped calls (gdi.cpp, wgl.cpp) and the two backends (offscreen_backend.cpp,
// x11_backend.cpp). Only platform/ sees EGL and X11.
#pragma once

#include <EGL/egl.h>

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "zqgd/platform.h"

struct HGLRC__;

// A window: the host's drawing target. Its pixel format, once set, chooses the
// EGL config of its surface; the surface is created when a context is first
// made current on it.
struct HWND__ {
    uint32_t width = 0;
    uint32_t height = 0;
    bool desktop = false;
    int pixelFormat = 0;               // 1-based; 0 until SetPixelFormat
    PIXELFORMATDESCRIPTOR format{};    // the descriptor it was set with
    EGLConfig config = nullptr;
    EGLSurface surface = EGL_NO_SURFACE;
    HGLRC__* lastContext = nullptr;    // the context last made current on it
    std::vector<uint8_t> front;        // offscreen, double buffered: the shown picture
    unsigned long nativeWindow = 0;    // x11 window id
    bool doubleBuffered() const { return (format.dwFlags & PFD_DOUBLEBUFFER) != 0; }
};

struct HDC__ {
    HWND window = nullptr;
    HPALETTE selectedPalette = nullptr;
    int realizeCount = 0;
};

struct HPALETTE__ {
    std::vector<PALETTEENTRY> entries;
};

struct HGLRC__ {
    EGLContext context = EGL_NO_CONTEXT;
    EGLConfig config = nullptr;
    bool initialised = false;          // default buffers set on first bind
};

// What each backend provides.
class Backend {
public:
    virtual ~Backend() = default;
    EGLDisplay display() const { return display_; }
    // EGL_PBUFFER_BIT or EGL_WINDOW_BIT.
    virtual EGLint surfaceType() const = 0;
    // Whether a config can draw into this backend's windows.
    virtual bool acceptsConfig(EGLConfig config) const = 0;
    virtual bool createNativeWindow(HWND window, const char* title) = 0;
    virtual void destroyNativeWindow(HWND window) = 0;
    virtual EGLSurface createSurface(HWND window) = 0;
    // Called by SwapBuffers with a context current on the window.
    virtual void present(HWND window) = 0;
    // The shown picture as RGBA, bottom row first.
    virtual bool readFront(HWND window, uint8_t* rgba) = 0;
    virtual bool pollEvent(HWND window, ZqEvent* event) = 0;

protected:
    EGLDisplay display_ = EGL_NO_DISPLAY;
};

std::unique_ptr<Backend> MakeOffscreenBackend();
std::unique_ptr<Backend> MakeX11Backend(const char* displayName);

// Process-wide platform state, created on first use.
struct Platform {
    std::unique_ptr<Backend> backend;
    ZqBackend kind = ZQ_BACKEND_OFFSCREEN;
    std::set<HWND> windows;
    std::set<HDC> deviceContexts;
    std::set<HPALETTE> palettes;
    std::set<HGLRC> contexts;
    HWND__ desktopWindow;
    HPALETTE__ defaultPalette;
    std::vector<PIXELFORMATDESCRIPTOR> formats;
    bool formatsInstalled = false;     // a test's list replaces the derived one
    int desktopDepth = 32;
    bool failNextCreateContext = false;
    bool failNextMakeCurrent = false;
};

// The platform with its backend started (offscreen unless chosen otherwise);
// the backend is null when it could not start.
Platform& ThePlatform();
Backend* TheBackend();

// Whether the device context was handed out by GetDC and not released.
inline bool LiveDc(HDC dc) { return ThePlatform().deviceContexts.count(dc) != 0; }

// The pixel formats the device reports now.
const std::vector<PIXELFORMATDESCRIPTOR>& DeviceFormats();
// The EGL config that renders a pixel format: its own, or the nearest RGBA one.
EGLConfig ConfigForFormat(const PIXELFORMATDESCRIPTOR& format);

// GL entry points the platform uses itself, looked up in the GL library so
// that a call recorder in the host sees only the driver's calls.
struct PlatformGl {
    void (*readPixels)(int, int, int, int, unsigned, unsigned, void*);
    void (*pixelStorei)(unsigned, int);
    void (*pushClientAttrib)(unsigned);
    void (*popClientAttrib)(void);
    void (*readBuffer)(unsigned);
    void (*drawBuffer)(unsigned);
    void (*finish)(void);
};
const PlatformGl& Gl();
void* GlLibrary();

// Runs work with a context current on the window (the current one when it is
// already bound there, else the window's last context) and restores the
// thread's binding afterwards. Returns false when no context can be bound.
template <typename Work>
bool WithWindowCurrent(HWND window, Work&& work);

// Reads the window's surface (bound current) into RGBA rows, bottom first.
void ReadSurface(HWND window, uint8_t* rgba);

bool BindWindowContext(HWND window, EGLContext* savedContext, EGLSurface* savedDraw, EGLSurface* savedRead);
void RestoreBinding(EGLContext context, EGLSurface draw, EGLSurface read);

template <typename Work>
bool WithWindowCurrent(HWND window, Work&& work)
{
    EGLContext context;
    EGLSurface draw, read;
    if (!BindWindowContext(window, &context, &draw, &read)) return false;
    work();
    RestoreBinding(context, draw, read);
    return true;
}
