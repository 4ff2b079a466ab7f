// The offscreen backend: every window is an EGL pbuffer on Mesa's surfaceless
// platform. A pbuffer has one colour buffer, so a double-buffered window keeps
// its shown picture in memory, updated from the pbuffer at every swap; a
// single-buffered window shows the pbuffer itself.
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <algorithm>
#include <cstring>

#include "platform_internal.h"

namespace {

class OffscreenBackend final : public Backend {
public:
    bool start()
    {
        auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (getPlatformDisplay == nullptr) return false;
        display_ = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display_ == EGL_NO_DISPLAY) return false;
        EGLint major = 0, minor = 0;
        return eglInitialize(display_, &major, &minor) == EGL_TRUE;
    }

    EGLint surfaceType() const override { return EGL_PBUFFER_BIT; }
    bool acceptsConfig(EGLConfig) const override { return true; }

    bool createNativeWindow(HWND window, const char*) override
    {
        window->front.assign(static_cast<size_t>(window->width) * window->height * 4, 0);
        return true;
    }

    void destroyNativeWindow(HWND) override {}

    EGLSurface createSurface(HWND window) override
    {
        EGLint attributes[] = {EGL_WIDTH, static_cast<EGLint>(window->width), EGL_HEIGHT,
                               static_cast<EGLint>(window->height), EGL_NONE};
        return eglCreatePbufferSurface(display_, window->config, attributes);
    }

    void present(HWND window) override { ReadSurface(window, window->front.data()); }

    bool readFront(HWND window, uint8_t* rgba) override
    {
        if (window->doubleBuffered() || window->surface == EGL_NO_SURFACE) {
            std::copy(window->front.begin(), window->front.end(), rgba);
            return true;
        }
        return WithWindowCurrent(window, [&] { ReadSurface(window, rgba); });
    }

    bool pollEvent(HWND, ZqEvent*) override { return false; }
};

}  // namespace

std::unique_ptr<Backend> MakeOffscreenBackend()
{
    auto backend = std::make_unique<OffscreenBackend>();
    if (!backend->start()) return nullptr;
    return backend;
}
