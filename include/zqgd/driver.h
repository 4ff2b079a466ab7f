/* The driver module's public interface: the two exported entry points, the
 * records they fill and the table of channel operations.
 *
 * A host loads the module, calls ZqGDDescription once and ZqGDOpenChannel for
 * every window; afterwards it reaches the driver only through the ChannelOps
 * copied into its own memory (and the ViewOps that OpenView copies). */
#ifndef ZQGD_DRIVER_H
#define ZQGD_DRIVER_H

#include <stdint.h>

#include "zqgd/bitmap.h"
#include "zqgd/layout.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The window handle type of the platform (a Windows HWND). */
typedef struct HWND__* ZqWindowHandle;

typedef struct TextureDefinition TextureDefinition;
typedef struct ViewRecord ViewRecord;
typedef struct ViewOps ViewOps;

/* Operation statuses. */
enum {
    ZQGD_OK = 0,
    ZQGD_FAILED = 1,      /* memory exhausted or a failed definition */
    ZQGD_NO_FONT = 14     /* LoadFont: the file is missing or holds no font */
};

/* Buffering codes of DriverMode and ChannelRequest.bufferMode. */
enum { ZQGD_SINGLE_BUFFERED = 1, ZQGD_DOUBLE_BUFFERED = 2 };

typedef struct DriverMode {
    uint32_t reserved0;
    uint32_t reserved1;
    uint32_t bitsPerPixel;   /* the desktop's depth */
    uint32_t reserved3;
    uint32_t bufferMode;     /* 1 single, 2 double buffered */
} DriverMode;

ZQGD_SIZE(DriverMode, 20);

typedef struct DriverDescription {
    uint32_t reserved0;      /* not written */
    char* description;       /* "Open GL %dBits/Pixel", 32-byte block, the host's */
    uint32_t modeCount;      /* 2 */
    DriverMode* modes;       /* modeCount entries, the host's */
    uint32_t hostWord4;      /* 0 */
    uint32_t hostWord5;      /* 1 */
    uint32_t hostWord6;      /* 32 */
    uint32_t capabilityFlags;
    uint32_t reserved8;      /* not written */
    uint32_t hostWord9;      /* 0 */
    float lowBounds[2];      /* -1e20 */
    float highBounds[2];     /* 1e20 */
} DriverDescription;

ZQGD_LAYOUT32(DriverDescription, description, 4);
ZQGD_LAYOUT32(DriverDescription, modeCount, 8);
ZQGD_LAYOUT32(DriverDescription, modes, 12);
ZQGD_LAYOUT32(DriverDescription, hostWord4, 16);
ZQGD_LAYOUT32(DriverDescription, capabilityFlags, 28);
ZQGD_LAYOUT32(DriverDescription, hostWord9, 36);
ZQGD_LAYOUT32(DriverDescription, lowBounds, 40);
ZQGD_LAYOUT32(DriverDescription, highBounds, 48);
ZQGD_SIZE32(DriverDescription, 56);

typedef struct ChannelRequest {
    uint32_t reserved0;
    uint32_t width;
    uint32_t height;
    uint32_t reserved3;
    uint32_t clearedWord4;   /* set to 0 by open */
    uint32_t bufferMode;     /* in: 1 single, other double; out: 1 or 2 */
    uint32_t reserved6;
    uint32_t reserved7;
    ZqWindowHandle* window;  /* read once, at open */
} ChannelRequest;

ZQGD_LAYOUT32(ChannelRequest, width, 4);
ZQGD_LAYOUT32(ChannelRequest, clearedWord4, 16);
ZQGD_LAYOUT32(ChannelRequest, bufferMode, 20);
ZQGD_LAYOUT32(ChannelRequest, window, 32);
ZQGD_SIZE32(ChannelRequest, 36);

struct ChannelOps;

typedef struct ChannelRecord {
    void* driverState;             /* the driver's ChannelState; null once closed */
    struct ChannelOps* ops;        /* the host's copy of the operations */
    Bitmap frameFormat;            /* the window's pixel layout */
    uint32_t bufferMode;
    uint32_t reserved19;
    int32_t cursorVisible;
    int32_t cursorX;               /* pixels from the left */
    int32_t cursorY;               /* pixels from the top */
    float cursorColour[3];
    uint32_t reserved26;
    int32_t cursorSize;            /* half extent, odd */
    int32_t cursorStyle;           /* 0 cross, 1 box */
    uint32_t reserved29;
    uint32_t reserved30;
    float penColour[3];
    uint32_t reserved34;
    float backColour[3];
    uint32_t reserved38;
    int32_t transparentText;
} ChannelRecord;

ZQGD_LAYOUT32(ChannelRecord, ops, 4);
ZQGD_LAYOUT32(ChannelRecord, frameFormat, 8);
ZQGD_LAYOUT32(ChannelRecord, bufferMode, 72);
ZQGD_LAYOUT32(ChannelRecord, reserved19, 76);
ZQGD_LAYOUT32(ChannelRecord, cursorVisible, 80);
ZQGD_LAYOUT32(ChannelRecord, cursorX, 84);
ZQGD_LAYOUT32(ChannelRecord, cursorY, 88);
ZQGD_LAYOUT32(ChannelRecord, cursorColour, 92);
ZQGD_LAYOUT32(ChannelRecord, cursorSize, 108);
ZQGD_LAYOUT32(ChannelRecord, cursorStyle, 112);
ZQGD_LAYOUT32(ChannelRecord, reserved29, 116);
ZQGD_LAYOUT32(ChannelRecord, penColour, 124);
ZQGD_LAYOUT32(ChannelRecord, backColour, 140);
ZQGD_LAYOUT32(ChannelRecord, transparentText, 156);
ZQGD_SIZE32(ChannelRecord, 160);

/* Called for a texture id that is not defined yet: returns 0 after filling the
 * definition, anything else when the texture is not available. */
typedef int32_t (*TextureLoadCallback)(int32_t textureId, TextureDefinition* definition);

/* The 23 channel operations, in slot order. Operations declared void have no
 * result a host may rely on. */
typedef struct ChannelOps {
    void (*QueryImageFormat)(ChannelRecord* channel, int32_t mode, Bitmap* bitmap);          /*  0 */
    int32_t (*CloseChannel)(ChannelRecord* channel);                                         /*  1 */
    void* (*RemoveSpareItem)(ChannelRecord* channel, int32_t key);                           /*  2 */
    int32_t (*ReservedOp3)(ChannelRecord* channel);                                          /*  3 */
    int32_t (*OpenView)(ViewRecord* view, ViewOps* destination);                             /*  4 */
    void (*DeleteTexture)(ChannelRecord* channel, int32_t textureId);                        /*  5 */
    int32_t (*SelectChannelPalette)(ChannelRecord* channel);                                 /*  6 */
    int32_t (*ReservedOp7)(ChannelRecord* channel);                                          /*  7 */
    int32_t (*DefineTexture)(ChannelRecord* channel, int32_t textureId,
                             TextureDefinition* definition, uint32_t newImage);              /*  8 */
    int32_t (*EndFrame)(ChannelRecord* channel);                                             /*  9 */
    void (*DrawCircle)(ChannelRecord* channel, uint32_t radius, const uint32_t centre[2]);  /* 10 */
    void (*DrawLine)(ChannelRecord* channel, const int32_t from[2], const int32_t to[2]);   /* 11 */
    int32_t (*LoadFont)(ChannelRecord* channel, int32_t fontId, const char* fileName);      /* 12 */
    void (*SetCursorPosition)(ChannelRecord* channel, const int32_t position[2]);            /* 13 */
    void (*MoveCursor)(ChannelRecord* channel, int32_t dx, int32_t dy);                      /* 14 */
    void (*FillPolygon)(ChannelRecord* channel, int32_t count, const int32_t* points);      /* 15 */
    void (*FillRectangle)(ChannelRecord* channel, const int32_t corner[2],
                          const int32_t opposite[2]);                                        /* 16 */
    void (*SetTextTransparent)(ChannelRecord* channel, int32_t transparent);                 /* 17 */
    void (*SetPenColours)(ChannelRecord* channel, const float pen[3], const float back[3]);  /* 18 */
    void (*SetCursorStyle)(ChannelRecord* channel, int32_t style, int32_t size,
                           const float colour[3]);                                           /* 19 */
    void (*SelectFont)(ChannelRecord* channel, int32_t fontId);                              /* 20 */
    void (*SetCursorVisible)(ChannelRecord* channel, int32_t visible);                       /* 21 */
    void (*DrawOverlayText)(ChannelRecord* channel, const int32_t position[2],
                            const char* text);                                               /* 22 */
} ChannelOps;

ZQGD_LAYOUT32(ChannelOps, OpenView, 16);
ZQGD_LAYOUT32(ChannelOps, DefineTexture, 32);
ZQGD_LAYOUT32(ChannelOps, DrawOverlayText, 88);
ZQGD_SIZE32(ChannelOps, 92);
ZQGD_STATIC_ASSERT(sizeof(ChannelOps) == 23 * sizeof(void (*)(void)), "ChannelOps holds 23 pointers");

/* The exported entry points. */
#if defined(_WIN32)
#define ZQGD_EXPORT __declspec(dllexport)
#else
#define ZQGD_EXPORT __attribute__((visibility("default")))
#endif

ZQGD_EXPORT DriverDescription* ZqGDDescription(DriverDescription* description);
ZQGD_EXPORT int32_t ZqGDOpenChannel(ChannelRecord* channel, ChannelRequest* request,
                                    ChannelOps* opsDestination, TextureLoadCallback textureLoad);

typedef DriverDescription* (*ZqGDDescriptionFunction)(DriverDescription*);
typedef int32_t (*ZqGDOpenChannelFunction)(ChannelRecord*, ChannelRequest*, ChannelOps*,
                                           TextureLoadCallback);

#ifdef __cplusplus
}
#endif

#endif
