// The device: backend start-up, the pixel formats derived from EGL configs,
// the platform's own GL entry points, and the host's window calls.
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

#include "platform_internal.h"

namespace {

constexpr unsigned kGlRgba = 0x1908;
constexpr unsigned kGlUnsignedByte = 0x1401;
constexpr unsigned kGlPackAlignment = 0x0D05;
constexpr unsigned kGlPackRowLength = 0x0D02;
constexpr unsigned kGlPackSkipRows = 0x0D03;
constexpr unsigned kGlPackSkipPixels = 0x0D04;
constexpr unsigned kGlClientPixelStoreBit = 0x00000001;

struct ConfigInfo {
    EGLConfig config;
    EGLint red, green, blue, alpha, depth, stencil, bufferSize;
};

ConfigInfo Describe(EGLDisplay display, EGLConfig config)
{
    ConfigInfo info{config, 0, 0, 0, 0, 0, 0, 0};
    eglGetConfigAttrib(display, config, EGL_RED_SIZE, &info.red);
    eglGetConfigAttrib(display, config, EGL_GREEN_SIZE, &info.green);
    eglGetConfigAttrib(display, config, EGL_BLUE_SIZE, &info.blue);
    eglGetConfigAttrib(display, config, EGL_ALPHA_SIZE, &info.alpha);
    eglGetConfigAttrib(display, config, EGL_DEPTH_SIZE, &info.depth);
    eglGetConfigAttrib(display, config, EGL_STENCIL_SIZE, &info.stencil);
    eglGetConfigAttrib(display, config, EGL_BUFFER_SIZE, &info.bufferSize);
    return info;
}

// The configs that render OpenGL into the backend's windows, colour channels
// of at most 8 bits.
std::vector<ConfigInfo> UsableConfigs()
{
    std::vector<ConfigInfo> result;
    Backend* backend = TheBackend();
    if (backend == nullptr) return result;
    EGLint attributes[] = {EGL_SURFACE_TYPE, backend->surfaceType(), EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                           EGL_COLOR_BUFFER_TYPE, EGL_RGB_BUFFER, EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(backend->display(), attributes, nullptr, 0, &count) || count <= 0) return result;
    std::vector<EGLConfig> configs(static_cast<size_t>(count));
    eglChooseConfig(backend->display(), attributes, configs.data(), count, &count);
    for (EGLint i = 0; i < count; ++i) {
        ConfigInfo info = Describe(backend->display(), configs[static_cast<size_t>(i)]);
        if (info.red <= 8 && info.green <= 8 && info.blue <= 8 && backend->acceptsConfig(info.config))
            result.push_back(info);
    }
    return result;
}

// How well a config serves a format: exact colour sizes first, then a depth
// buffer as close to the asked one as possible, 24 with 8 stencil bits by
// default.
int Distance(const ConfigInfo& info, int red, int green, int blue, int alpha, int depth)
{
    int colour = std::abs(info.red - red) + std::abs(info.green - green) + std::abs(info.blue - blue) +
                 std::abs(info.alpha - alpha);
    return colour * 1000 + std::abs(info.depth - depth) * 10 + (info.stencil == 8 ? 0 : 1);
}

PIXELFORMATDESCRIPTOR FormatOf(const ConfigInfo& info, bool doubleBuffered)
{
    PIXELFORMATDESCRIPTOR format{};
    format.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | (doubleBuffered ? PFD_DOUBLEBUFFER : 0);
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = static_cast<BYTE>(info.bufferSize);
    // Packed as on the Windows desktop: blue lowest, then green, red, alpha.
    format.cBlueBits = static_cast<BYTE>(info.blue);
    format.cBlueShift = 0;
    format.cGreenBits = static_cast<BYTE>(info.green);
    format.cGreenShift = static_cast<BYTE>(info.blue);
    format.cRedBits = static_cast<BYTE>(info.red);
    format.cRedShift = static_cast<BYTE>(info.blue + info.green);
    format.cAlphaBits = static_cast<BYTE>(info.alpha);
    format.cAlphaShift = static_cast<BYTE>(info.alpha != 0 ? info.red + info.green + info.blue : 0);
    format.cDepthBits = static_cast<BYTE>(info.depth);
    format.cStencilBits = static_cast<BYTE>(info.stencil);
    format.iLayerType = PFD_MAIN_PLANE;
    return format;
}

// One double- and one single-buffered format for every colour layout the
// backend renders, deepest first, each with its best depth buffer.
std::vector<PIXELFORMATDESCRIPTOR> DerivedFormats()
{
    std::map<std::tuple<int, int, int, int>, ConfigInfo, std::greater<>> best;
    for (const ConfigInfo& info : UsableConfigs()) {
        auto key = std::make_tuple(info.bufferSize, info.red, info.green, info.blue);
        auto found = best.find(key);
        if (found == best.end() || Distance(info, info.red, info.green, info.blue, info.alpha, 24) <
                                       Distance(found->second, info.red, info.green, info.blue, info.alpha, 24))
            best[key] = info;
    }
    std::vector<PIXELFORMATDESCRIPTOR> formats;
    for (const auto& entry : best) {
        formats.push_back(FormatOf(entry.second, true));
        formats.push_back(FormatOf(entry.second, false));
    }
    return formats;
}

void* LoadGl()
{
    static void* library = dlopen("libOpenGL.so.0", RTLD_NOW | RTLD_GLOBAL);
    return library;
}

template <typename Function>
void Resolve(Function& target, const char* name)
{
    target = reinterpret_cast<Function>(dlsym(GlLibrary(), name));
}

}  // namespace

Platform& ThePlatform()
{
    static Platform platform;
    return platform;
}

Backend* TheBackend()
{
    Platform& platform = ThePlatform();
    if (!platform.backend && platform.kind == ZQ_BACKEND_OFFSCREEN) platform.backend = MakeOffscreenBackend();
    return platform.backend.get();
}

const std::vector<PIXELFORMATDESCRIPTOR>& DeviceFormats()
{
    Platform& platform = ThePlatform();
    if (!platform.formatsInstalled && platform.formats.empty()) platform.formats = DerivedFormats();
    return platform.formats;
}

EGLConfig ConfigForFormat(const PIXELFORMATDESCRIPTOR& format)
{
    std::vector<ConfigInfo> configs = UsableConfigs();
    const ConfigInfo* exact = nullptr;
    const ConfigInfo* rgba = nullptr;
    int depth = format.cDepthBits != 0 ? format.cDepthBits : 24;
    for (const ConfigInfo& info : configs) {
        if (info.red == format.cRedBits && info.green == format.cGreenBits && info.blue == format.cBlueBits &&
            info.alpha == format.cAlphaBits &&
            (exact == nullptr || Distance(info, info.red, info.green, info.blue, info.alpha, depth) <
                                     Distance(*exact, info.red, info.green, info.blue, info.alpha, depth)))
            exact = &info;
        if (rgba == nullptr || Distance(info, 8, 8, 8, 8, depth) < Distance(*rgba, 8, 8, 8, 8, depth)) rgba = &info;
    }
    if (exact != nullptr) return exact->config;
    return rgba != nullptr ? rgba->config : nullptr;
}

void* GlLibrary() { return LoadGl(); }

const PlatformGl& Gl()
{
    static PlatformGl gl = [] {
        PlatformGl table{};
        Resolve(table.readPixels, "glReadPixels");
        Resolve(table.pixelStorei, "glPixelStorei");
        Resolve(table.pushClientAttrib, "glPushClientAttrib");
        Resolve(table.popClientAttrib, "glPopClientAttrib");
        Resolve(table.readBuffer, "glReadBuffer");
        Resolve(table.drawBuffer, "glDrawBuffer");
        Resolve(table.finish, "glFinish");
        return table;
    }();
    return gl;
}

bool BindWindowContext(HWND window, EGLContext* savedContext, EGLSurface* savedDraw, EGLSurface* savedRead)
{
    Backend* backend = TheBackend();
    if (backend == nullptr || window->surface == EGL_NO_SURFACE) return false;
    *savedContext = eglGetCurrentContext();
    *savedDraw = eglGetCurrentSurface(EGL_DRAW);
    *savedRead = eglGetCurrentSurface(EGL_READ);
    if (*savedDraw == window->surface && *savedContext != EGL_NO_CONTEXT) return true;
    if (window->lastContext == nullptr) return false;
    return eglMakeCurrent(backend->display(), window->surface, window->surface, window->lastContext->context);
}

void RestoreBinding(EGLContext context, EGLSurface draw, EGLSurface read)
{
    Backend* backend = TheBackend();
    if (eglGetCurrentContext() != context || eglGetCurrentSurface(EGL_DRAW) != draw)
        eglMakeCurrent(backend->display(), draw, read, context);
}

void ReadSurface(HWND window, uint8_t* rgba)
{
    const PlatformGl& gl = Gl();
    gl.pushClientAttrib(kGlClientPixelStoreBit);
    gl.pixelStorei(kGlPackAlignment, 1);
    gl.pixelStorei(kGlPackRowLength, 0);
    gl.pixelStorei(kGlPackSkipRows, 0);
    gl.pixelStorei(kGlPackSkipPixels, 0);
    gl.readPixels(0, 0, static_cast<int>(window->width), static_cast<int>(window->height), kGlRgba,
                  kGlUnsignedByte, rgba);
    gl.popClientAttrib();
}

// ---- The host's calls ---------------------------------------------------------

extern "C" int ZqSelectBackend(ZqBackend backend, const char* displayName)
{
    Platform& platform = ThePlatform();
    if (!platform.windows.empty() || !platform.contexts.empty()) return -1;
    std::unique_ptr<Backend> chosen =
        backend == ZQ_BACKEND_X11 ? MakeX11Backend(displayName) : MakeOffscreenBackend();
    if (!chosen) return -1;
    platform.backend = std::move(chosen);
    platform.kind = backend;
    if (!platform.formatsInstalled) platform.formats.clear();
    return 0;
}

extern "C" ZqBackend ZqCurrentBackend(void) { return ThePlatform().kind; }

extern "C" HWND ZqCreateWindow(uint32_t width, uint32_t height, const char* title)
{
    Backend* backend = TheBackend();
    if (backend == nullptr || width == 0 || height == 0 || width > 16384 || height > 16384) return nullptr;
    auto window = std::make_unique<HWND__>();
    window->width = width;
    window->height = height;
    if (!backend->createNativeWindow(window.get(), title != nullptr ? title : "")) return nullptr;
    HWND handle = window.release();
    ThePlatform().windows.insert(handle);
    return handle;
}

extern "C" void ZqDestroyWindow(HWND window)
{
    Platform& platform = ThePlatform();
    if (platform.windows.erase(window) == 0) return;
    Backend* backend = TheBackend();
    if (window->surface != EGL_NO_SURFACE) {
        if (eglGetCurrentSurface(EGL_DRAW) == window->surface)
            eglMakeCurrent(backend->display(), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroySurface(backend->display(), window->surface);
    }
    backend->destroyNativeWindow(window);
    for (HDC dc : platform.deviceContexts)
        if (dc->window == window) dc->window = nullptr;
    delete window;
}

extern "C" int ZqReadFrontImage(HWND window, void* rgba, uint32_t width, uint32_t height)
{
    Platform& platform = ThePlatform();
    if (platform.windows.count(window) == 0 || width != window->width || height != window->height) return -1;
    return TheBackend()->readFront(window, static_cast<uint8_t*>(rgba)) ? 0 : -1;
}

extern "C" int ZqPollEvent(HWND window, ZqEvent* event)
{
    if (ThePlatform().windows.count(window) == 0) return 0;
    return TheBackend()->pollEvent(window, event) ? 1 : 0;
}

extern "C" void ZqSetPixelFormats(const PIXELFORMATDESCRIPTOR* formats, int count)
{
    Platform& platform = ThePlatform();
    platform.formats.clear();
    platform.formatsInstalled = count >= 0;
    if (count > 0) platform.formats.assign(formats, formats + count);
}

extern "C" void ZqSetDesktopDepth(int bitsPerPixel) { ThePlatform().desktopDepth = bitsPerPixel; }

extern "C" void ZqInjectFailure(ZqFailure failure)
{
    Platform& platform = ThePlatform();
    if (failure == ZQ_FAIL_CREATE_CONTEXT) platform.failNextCreateContext = true;
    if (failure == ZQ_FAIL_MAKE_CURRENT) platform.failNextMakeCurrent = true;
}

extern "C" int ZqGetWindowPixelFormat(HWND window)
{
    return ThePlatform().windows.count(window) != 0 ? window->pixelFormat : 0;
}

extern "C" int ZqLiveObjects(ZqObjectKind kind)
{
    Platform& platform = ThePlatform();
    switch (kind) {
    case ZQ_OBJECT_DEVICE_CONTEXT: return static_cast<int>(platform.deviceContexts.size());
    case ZQ_OBJECT_PALETTE: return static_cast<int>(platform.palettes.size());
    case ZQ_OBJECT_GL_CONTEXT: return static_cast<int>(platform.contexts.size());
    }
    return 0;
}
