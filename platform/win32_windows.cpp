// The host-facing window API on the real Win32 calls, for the test support
// and the programs built for Windows. The driver itself uses the system's
// WGL and GDI; nothing here stands in for them. The device description and
// inspection hooks of the Linux stand-in have no counterpart on a real
// system: here they change nothing and report nothing, and the cases that
// need them stay Linux-only.
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "zqgd/platform.h"

namespace {

constexpr const char* kWindowClass = "zqgd window";

void RegisterWindowClass()
{
    static bool registered = false;
    if (registered) return;
    WNDCLASSA windowClass{};
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    registered = RegisterClassA(&windowClass) != 0;
}

}  // namespace

extern "C" int ZqSelectBackend(ZqBackend backend, const char*) { return backend == ZQ_BACKEND_OFFSCREEN ? 0 : -1; }

extern "C" ZqBackend ZqCurrentBackend(void) { return ZQ_BACKEND_OFFSCREEN; }

// A borderless window whose client area has the size asked for.
extern "C" HWND ZqCreateWindow(uint32_t width, uint32_t height, const char* title)
{
    RegisterWindowClass();
    return CreateWindowExA(0, kWindowClass, title != nullptr ? title : "", WS_POPUP | WS_VISIBLE, 0, 0,
                           static_cast<int>(width), static_cast<int>(height), nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

extern "C" void ZqDestroyWindow(HWND window)
{
    if (window != nullptr) DestroyWindow(window);
}

// What the window shows, copied out of its device context with GDI, as
// RGBA rows bottom first.
extern "C" int ZqReadFrontImage(HWND window, void* rgba, uint32_t width, uint32_t height)
{
    if (window == nullptr || !IsWindow(window)) return -1;
    HDC dc = GetDC(window);
    HDC memory = CreateCompatibleDC(dc);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = static_cast<LONG>(height);  // bottom-up, as GL reads
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    int status = -1;
    if (section != nullptr) {
        HGDIOBJ previous = SelectObject(memory, section);
        if (BitBlt(memory, 0, 0, static_cast<int>(width), static_cast<int>(height), dc, 0, 0, SRCCOPY)) {
            GdiFlush();
            const auto* from = static_cast<const uint8_t*>(bits);
            auto* to = static_cast<uint8_t*>(rgba);
            for (size_t i = 0; i < size_t{width} * height; ++i) {
                to[i * 4] = from[i * 4 + 2];
                to[i * 4 + 1] = from[i * 4 + 1];
                to[i * 4 + 2] = from[i * 4];
                to[i * 4 + 3] = 255;
            }
            status = 0;
        }
        SelectObject(memory, previous);
        DeleteObject(section);
    }
    DeleteDC(memory);
    ReleaseDC(window, dc);
    return status;
}

extern "C" int ZqPollEvent(HWND, ZqEvent*) { return 0; }

extern "C" void ZqSetPixelFormats(const PIXELFORMATDESCRIPTOR*, int) {}
extern "C" void ZqSetDesktopDepth(int) {}
extern "C" void ZqInjectFailure(ZqFailure) {}
extern "C" int ZqGetPaletteEntries(HPALETTE, PALETTEENTRY*, int) { return -1; }
extern "C" HPALETTE ZqGetSelectedPalette(HDC) { return nullptr; }
extern "C" HPALETTE ZqGetDefaultPalette(void) { return nullptr; }
extern "C" int ZqGetRealizeCount(HDC) { return 0; }
extern "C" int ZqGetWindowPixelFormat(HWND window)
{
    HDC dc = GetDC(window);
    int format = GetPixelFormat(dc);
    ReleaseDC(window, dc);
    return format;
}
extern "C" int ZqLiveObjects(ZqObjectKind) { return 0; }
