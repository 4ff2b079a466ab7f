// GDI and USER: device contexts, pixel formats, palettes.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform_internal.h"

namespace {

bool LiveWindow(HWND window)
{
    Platform& platform = ThePlatform();
    return window == &platform.desktopWindow || platform.windows.count(window) != 0;
}

bool LivePalette(HPALETTE palette)
{
    Platform& platform = ThePlatform();
    return palette == &platform.defaultPalette || platform.palettes.count(palette) != 0;
}

// The score ChoosePixelFormat minimises: the buffering asked for first, then
// colour depth, then depth buffer.
int Mismatch(const PIXELFORMATDESCRIPTOR& wanted, const PIXELFORMATDESCRIPTOR& offered)
{
    int buffering = (wanted.dwFlags & PFD_DOUBLEBUFFER) != (offered.dwFlags & PFD_DOUBLEBUFFER) ? 1 : 0;
    return buffering * 100000 + std::abs(wanted.cColorBits - offered.cColorBits) * 100 +
           std::abs(wanted.cDepthBits - offered.cDepthBits);
}

}  // namespace

extern "C" HWND WINAPI GetDesktopWindow(void)
{
    Platform& platform = ThePlatform();
    platform.desktopWindow.desktop = true;
    return &platform.desktopWindow;
}

extern "C" HDC WINAPI GetDC(HWND window)
{
    if (window == nullptr) window = GetDesktopWindow();
    if (!LiveWindow(window)) return nullptr;
    Platform& platform = ThePlatform();
    HDC dc = new HDC__;
    dc->window = window;
    dc->selectedPalette = &platform.defaultPalette;
    platform.deviceContexts.insert(dc);
    return dc;
}

extern "C" int WINAPI ReleaseDC(HWND window, HDC dc)
{
    if (window == nullptr) window = GetDesktopWindow();
    if (!LiveDc(dc) || (dc->window != window && dc->window != nullptr)) return 0;
    ThePlatform().deviceContexts.erase(dc);
    delete dc;
    return 1;
}

extern "C" int WINAPI GetDeviceCaps(HDC dc, int index)
{
    if (!LiveDc(dc)) return 0;
    return index == BITSPIXEL ? ThePlatform().desktopDepth : 0;
}

extern "C" int WINAPI DescribePixelFormat(HDC dc, int format, UINT bytes, LPPIXELFORMATDESCRIPTOR descriptor)
{
    if (!LiveDc(dc) || dc->window == nullptr) return 0;
    const std::vector<PIXELFORMATDESCRIPTOR>& formats = DeviceFormats();
    int count = static_cast<int>(formats.size());
    if (descriptor == nullptr) return count;
    if (format < 1 || format > count) return 0;
    std::memcpy(descriptor, &formats[static_cast<size_t>(format - 1)],
                std::min<size_t>(bytes, sizeof(PIXELFORMATDESCRIPTOR)));
    return count;
}

extern "C" int WINAPI ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* descriptor)
{
    if (!LiveDc(dc) || descriptor == nullptr) return 0;
    const std::vector<PIXELFORMATDESCRIPTOR>& formats = DeviceFormats();
    int best = 0;
    int bestMismatch = 0;
    for (size_t i = 0; i < formats.size(); ++i) {
        int mismatch = Mismatch(*descriptor, formats[i]);
        if (best == 0 || mismatch < bestMismatch) {
            best = static_cast<int>(i) + 1;
            bestMismatch = mismatch;
        }
    }
    return best;
}

// A window's pixel format can be set once; setting the same one again
// succeeds, another one fails.
extern "C" BOOL WINAPI SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR*)
{
    if (!LiveDc(dc) || dc->window == nullptr || dc->window->desktop) return FALSE;
    HWND window = dc->window;
    if (window->pixelFormat != 0) return window->pixelFormat == format;
    const std::vector<PIXELFORMATDESCRIPTOR>& formats = DeviceFormats();
    if (format < 1 || format > static_cast<int>(formats.size())) return FALSE;
    EGLConfig config = ConfigForFormat(formats[static_cast<size_t>(format - 1)]);
    if (config == nullptr) return FALSE;
    window->pixelFormat = format;
    window->format = formats[static_cast<size_t>(format - 1)];
    window->config = config;
    return TRUE;
}

extern "C" HPALETTE WINAPI CreatePalette(const LOGPALETTE* palette)
{
    if (palette == nullptr || palette->palNumEntries == 0) return nullptr;
    HPALETTE created = new HPALETTE__;
    created->entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
    ThePlatform().palettes.insert(created);
    return created;
}

extern "C" HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE palette, BOOL)
{
    if (!LiveDc(dc) || !LivePalette(palette)) return nullptr;
    HPALETTE previous = dc->selectedPalette;
    dc->selectedPalette = palette;
    return previous;
}

extern "C" UINT WINAPI RealizePalette(HDC dc)
{
    if (!LiveDc(dc)) return 0;
    ++dc->realizeCount;
    return static_cast<UINT>(dc->selectedPalette->entries.size());
}

// Deletes a palette. Like GDI, it refuses the stock palette and a palette
// that is still selected into a device context.
extern "C" BOOL WINAPI DeleteObject(HGDIOBJ object)
{
    Platform& platform = ThePlatform();
    auto palette = static_cast<HPALETTE>(object);
    if (platform.palettes.count(palette) == 0) return FALSE;
    for (HDC dc : platform.deviceContexts)
        if (dc->selectedPalette == palette) return FALSE;
    platform.palettes.erase(palette);
    delete palette;
    return TRUE;
}

extern "C" int ZqGetPaletteEntries(HPALETTE palette, PALETTEENTRY* entries, int max)
{
    if (!LivePalette(palette)) return -1;
    int count = static_cast<int>(palette->entries.size());
    if (entries != nullptr)
        std::copy_n(palette->entries.begin(), std::min(std::max(max, 0), count), entries);
    return count;
}

extern "C" HPALETTE ZqGetSelectedPalette(HDC dc) { return LiveDc(dc) ? dc->selectedPalette : nullptr; }

extern "C" HPALETTE ZqGetDefaultPalette(void) { return &ThePlatform().defaultPalette; }

extern "C" int ZqGetRealizeCount(HDC dc) { return LiveDc(dc) ? dc->realizeCount : -1; }
