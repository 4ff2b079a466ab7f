// WGL on EGL: one EGL context per wglCreateContext, bound to the window's
// surface by wglMakeCurrent; buffer swaps; GL entry-point lookup.
#include <dlfcn.h>
#include <strings.h>

#include "platform_internal.h"

namespace {

constexpr unsigned kGlFront = 0x0404;

thread_local HGLRC currentContext = nullptr;

// The one module handle the platform knows: the process's GL library.
HINSTANCE__* GlModule() { return reinterpret_cast<HINSTANCE__*>(GlLibrary()); }

// A window of a single-buffered format starts drawing and reading in its
// front buffer, as it does on Windows; EGL surfaces start in the back one.
void SetDefaultBuffers(HWND window, HGLRC context)
{
    if (context->initialised) return;
    context->initialised = true;
    if (window->doubleBuffered()) return;
    Gl().drawBuffer(kGlFront);
    Gl().readBuffer(kGlFront);
}

extern "C" HGLRC WINAPI wglCreateContext(HDC dc)
{
    Platform& platform = ThePlatform();
    Backend* backend = TheBackend();
    if (platform.failNextCreateContext) {
        platform.failNextCreateContext = false;
        return nullptr;
    }
    if (backend == nullptr || !LiveDc(dc) || dc->window == nullptr || dc->window->pixelFormat == 0) return nullptr;
    eglBindAPI(EGL_OPENGL_API);
    EGLContext context = eglCreateContext(backend->display(), dc->window->config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) return nullptr;
    HGLRC created = new HGLRC__;
    created->context = context;
    created->config = dc->window->config;
    platform.contexts.insert(created);
    return created;
}

// Binds the context to the window of the device context. Returns false when
// it cannot be bound.
bool Bind(Platform& platform, Backend* backend, HDC dc, HGLRC context)
{
    if (platform.failNextMakeCurrent) {
        platform.failNextMakeCurrent = false;
        return false;
    }
    if (platform.contexts.count(context) == 0 || !LiveDc(dc) || dc->window == nullptr) return false;
    HWND window = dc->window;
    if (window->pixelFormat == 0 || window->config != context->config) return false;
    if (window->surface == EGL_NO_SURFACE) window->surface = backend->createSurface(window);
    if (window->surface == EGL_NO_SURFACE) return false;
    if (!eglMakeCurrent(backend->display(), window->surface, window->surface, context->context)) return false;
    window->lastContext = context;
    currentContext = context;
    SetDefaultBuffers(window, context);
    return true;
}

void Unbind(Backend* backend)
{
    eglMakeCurrent(backend->display(), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    currentContext = nullptr;
}

}  // namespace

// As on Windows, a call that fails leaves no context current.
extern "C" BOOL WINAPI wglMakeCurrent(HDC dc, HGLRC context)
{
    Backend* backend = TheBackend();
    if (backend == nullptr) return FALSE;
    if (context == nullptr) {
        Unbind(backend);
        return TRUE;
    }
    if (Bind(ThePlatform(), backend, dc, context)) return TRUE;
    Unbind(backend);
    return FALSE;
}

extern "C" BOOL WINAPI wglDeleteContext(HGLRC context)
{
    Platform& platform = ThePlatform();
    if (platform.contexts.count(context) == 0) return FALSE;
    Backend* backend = TheBackend();
    if (eglGetCurrentContext() == context->context) {
        eglMakeCurrent(backend->display(), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        currentContext = nullptr;
    }
    eglDestroyContext(backend->display(), context->context);
    for (HWND window : platform.windows)
        if (window->lastContext == context) window->lastContext = nullptr;
    platform.contexts.erase(context);
    delete context;
    return TRUE;
}

extern "C" HGLRC WINAPI wglGetCurrentContext(void) { return currentContext; }

extern "C" PROC WINAPI wglGetProcAddress(LPCSTR name)
{
    if (name == nullptr) return nullptr;
    return reinterpret_cast<PROC>(eglGetProcAddress(name));
}

extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR name)
{
    if (name == nullptr || strcasecmp(name, "opengl32.dll") != 0) return nullptr;
    return GlModule();
}

// Looks a GL entry point up the way the dynamic linker resolves a direct call
// from the driver, so both reach the same function.
extern "C" FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name)
{
    if (module == nullptr || module != GlModule() || name == nullptr) return nullptr;
    void* symbol = dlsym(RTLD_DEFAULT, name);
    if (symbol == nullptr) symbol = dlsym(GlLibrary(), name);
    return reinterpret_cast<FARPROC>(symbol);
}

extern "C" BOOL WINAPI SwapBuffers(HDC dc)
{
    if (!LiveDc(dc) || dc->window == nullptr || dc->window->desktop) return FALSE;
    HWND window = dc->window;
    if (!window->doubleBuffered()) return TRUE;
    Backend* backend = TheBackend();
    return WithWindowCurrent(window, [&] { backend->present(window); }) ? TRUE : FALSE;
}
