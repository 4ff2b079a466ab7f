/** \file
 * The host side of the window-system stand-in: creating windows, reading what
 * they show, and the knobs tests use to describe a device (pixel formats,
 * desktop depth) and to look at its palettes and objects.
 *
 * Two backends: offscreen (the default: EGL surfaceless pbuffers, no server
 * needed) and x11 (real windows on an X display through EGL). */
#ifndef ZQGD_PLATFORM_H
#define ZQGD_PLATFORM_H

#include <stdint.h>
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/** The window backends. */
typedef enum ZqBackend {
    ZQ_BACKEND_OFFSCREEN = 0, /**< EGL surfaceless pbuffers; a double-buffered window keeps its shown picture in memory. */
    ZQ_BACKEND_X11 = 1        /**< Real windows on an X display. */
} ZqBackend;

/** Chooses the backend before the first window is created; displayName null
 * means $DISPLAY. Returns 0, or -1 when the backend cannot start (no display,
 * no EGL) or windows already exist. */
int ZqSelectBackend(ZqBackend backend, const char* displayName);
/** The backend in use. */
ZqBackend ZqCurrentBackend(void);

/** Creates a window of the given size (null when the backend cannot). */
HWND ZqCreateWindow(uint32_t width, uint32_t height, const char* title);
/** Destroys a window; close its channel first. */
void ZqDestroyWindow(HWND window);

/** Copies what the window shows (for a double-buffered window, the picture of
 * the last SwapBuffers) as width x height RGBA pixels, bottom row first.
 * Returns 0, or -1 for an unknown window. */
int ZqReadFrontImage(HWND window, void* rgba, uint32_t width, uint32_t height);

/** Kinds of window events of the x11 backend; the offscreen backend has none. */
typedef enum ZqEventKind {
    ZQ_EVENT_NONE = 0,    /**< No event. */
    ZQ_EVENT_POINTER = 1, /**< The pointer moved. */
    ZQ_EVENT_KEY = 2,     /**< A key was pressed. */
    ZQ_EVENT_CLOSE = 3    /**< The window was asked to close. */
} ZqEventKind;
/** One window event. */
typedef struct ZqEvent {
    ZqEventKind kind;    /**< What happened. */
    int32_t x;           /**< Pointer position, pixels from the left. */
    int32_t y;           /**< Pointer position, pixels from the top. */
    uint32_t keySymbol;  /**< X keysym of a pressed key. */
} ZqEvent;
/** Returns 1 and fills event when one is waiting, 0 otherwise. */
int ZqPollEvent(HWND window, ZqEvent* event);

/* ---- Device description (tests) ------------------------------------------ */

/** Replaces the device's pixel formats by count descriptors (0: a device
 * without formats); count < 0 restores the list derived from EGL. */
void ZqSetPixelFormats(const PIXELFORMATDESCRIPTOR* formats, int count);
/** Sets the desktop depth that GetDeviceCaps(BITSPIXEL) reports (default 32). */
void ZqSetDesktopDepth(int bitsPerPixel);

/** Failures a test can inject. */
typedef enum ZqFailure {
    ZQ_FAIL_CREATE_CONTEXT = 1, /**< wglCreateContext fails. */
    ZQ_FAIL_MAKE_CURRENT = 2    /**< wglMakeCurrent fails. */
} ZqFailure;
/** Makes the next call of that kind fail, as a broken driver would. */
void ZqInjectFailure(ZqFailure failure);

/* ---- Inspection (tests) ---------------------------------------------------- */

/** Copies up to max entries of a palette; returns its entry count, -1 if it is
 * not a live palette. */
int ZqGetPaletteEntries(HPALETTE palette, PALETTEENTRY* entries, int max);
/** The palette a device context has selected. */
HPALETTE ZqGetSelectedPalette(HDC dc);
/** The system's default palette. */
HPALETTE ZqGetDefaultPalette(void);
/** How often RealizePalette was called on a device context. */
int ZqGetRealizeCount(HDC dc);
/** The pixel format set on a window (0: none). */
int ZqGetWindowPixelFormat(HWND window);

/** Kinds of platform objects counted by ZqLiveObjects. */
typedef enum ZqObjectKind {
    ZQ_OBJECT_DEVICE_CONTEXT, /**< Device contexts not yet released. */
    ZQ_OBJECT_PALETTE,        /**< Palettes not deleted. */
    ZQ_OBJECT_GL_CONTEXT      /**< GL contexts not deleted. */
} ZqObjectKind;
/** Number of live objects of a kind (device contexts not yet released,
 * palettes not deleted, GL contexts not deleted). */
int ZqLiveObjects(ZqObjectKind kind);

#ifdef __cplusplus
}
#endif

#endif
