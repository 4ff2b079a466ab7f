/** \file
 * The driver module's public interface: the two exported entry points, the
 * records they fill and the table of channel operations.
 *
 * A host loads the module, calls ZqGDDescription once and ZqGDOpenChannel for
 * every window; afterwards it reaches the driver only through the ChannelOps
 * copied into its own memory (and the ViewOps that OpenView copies).
 *
 * Every operation is called on the host's one rendering thread. Statuses are
 * signed 32-bit: ::ZQGD_OK, ::ZQGD_FAILED, ::ZQGD_NO_FONT. An operation whose
 * result is marked "none" returns a value the host must not rely on. Once a
 * channel is closed, every operation of its table returns at once without
 * drawing, allocating or writing anything: status 1 where the operation has
 * a status, null from RemoveSpareItem, 0 from a second CloseChannel. */
#ifndef ZQGD_DRIVER_H
#define ZQGD_DRIVER_H

#include <stdint.h>

#include "zqgd/bitmap.h"
#include "zqgd/layout.h"

#ifdef __cplusplus
extern "C" {
#endif

/** The window handle type of the platform (a Windows HWND). */
typedef struct HWND__* ZqWindowHandle;

/** A texture map or backdrop image as the host defines it (zqgd/texture.h). */
typedef struct TextureDefinition TextureDefinition;
/** The records of one view (zqgd/view.h). */
typedef struct ViewRecord ViewRecord;
/** The view operations (zqgd/view.h). */
typedef struct ViewOps ViewOps;

/** Operation statuses. */
enum {
    ZQGD_OK = 0,          /**< Done. */
    ZQGD_FAILED = 1,      /**< Memory exhausted, a failed definition, a refused id, or a closed channel or view. */
    ZQGD_NO_FONT = 14     /**< LoadFont: the file is missing or holds no font. */
};

/** Buffering codes of DriverMode::bufferMode, ChannelRequest::bufferMode and ChannelRecord::bufferMode. */
enum {
    ZQGD_SINGLE_BUFFERED = 1, /**< One buffer: drawing shows at once, EndFrame swaps nothing. */
    ZQGD_DOUBLE_BUFFERED = 2  /**< Drawing goes to the back buffer; EndFrame swaps. */
};

/** One display mode of the description (20 bytes). */
typedef struct DriverMode {
    uint32_t reserved0;      /**< Written as 0. */
    uint32_t reserved1;      /**< Written as 0. */
    uint32_t bitsPerPixel;   /**< The desktop's colour depth in bits per pixel. */
    uint32_t reserved3;      /**< Written as 0. */
    uint32_t bufferMode;     /**< ::ZQGD_SINGLE_BUFFERED in the first entry, ::ZQGD_DOUBLE_BUFFERED in the second. */
} DriverMode;

ZQGD_SIZE(DriverMode, 20);

/** What the driver offers, filled by ZqGDDescription (host-owned record).
 *
 * The text and the mode list are new blocks of the host's memory manager
 * on every call: they belong to the host, which frees them with MMfree. What
 * the host makes of the constant words is its own definition; the driver
 * only fills them in. */
typedef struct DriverDescription {
    uint32_t reserved0;      /**< Not written. */
    char* description;       /**< "Open GL %dBits/Pixel" with the desktop's depth, in a new 32-byte block: the host's, freed with MMfree. */
    uint32_t modeCount;      /**< 2. */
    DriverMode* modes;       /**< modeCount entries in a new block: the host's, freed with MMfree. */
    uint32_t hostWord4;      /**< 0. */
    uint32_t hostWord5;      /**< 1. */
    uint32_t hostWord6;      /**< 32. */
    uint32_t capabilityFlags; /**< 0x6E83: bits 0, 1, 7, 9, 10, 11, 13 and 14. */
    uint32_t reserved8;      /**< Not written. */
    uint32_t hostWord9;      /**< 0. */
    float lowBounds[2];      /**< Both -1e20. */
    float highBounds[2];     /**< Both 1e20. */
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

/** What the host asks of a channel: the second argument of ZqGDOpenChannel
 * (host-owned, read and written only during the call). */
typedef struct ChannelRequest {
    uint32_t reserved0;      /**< Not read. */
    uint32_t width;          /**< Window width in pixels. */
    uint32_t height;         /**< Window height in pixels. */
    uint32_t reserved3;      /**< Not read. */
    uint32_t clearedWord4;   /**< Set to 0 by a successful open. */
    uint32_t bufferMode;     /**< In: 1 asks for single buffering, any other value for double. Out: 1 or 2 (::ZQGD_SINGLE_BUFFERED, ::ZQGD_DOUBLE_BUFFERED). */
    uint32_t reserved6;      /**< Not read. */
    uint32_t reserved7;      /**< Not read. */
    ZqWindowHandle* window;  /**< Where the window handle is: read once, at open. */
} ChannelRequest;

ZQGD_LAYOUT32(ChannelRequest, width, 4);
ZQGD_LAYOUT32(ChannelRequest, clearedWord4, 16);
ZQGD_LAYOUT32(ChannelRequest, bufferMode, 20);
ZQGD_LAYOUT32(ChannelRequest, window, 32);
ZQGD_SIZE32(ChannelRequest, 36);

struct ChannelOps;

/** One channel: the first argument of every channel operation but OpenView
 * (host-owned, filled by ZqGDOpenChannel).
 *
 * The host keeps the record from open to close and after; the driver writes
 * only the fields below, and only in the operations that say so. The
 * overlay fields are the pen and cursor state: the host changes them through
 * the setters (which clamp), and may read them. Overlay coordinates are
 * window pixels from the top left corner, y growing downward. Colours are
 * red, green, blue from 0 to 1. */
typedef struct ChannelRecord {
    void* driverState;             /**< The driver's state of the channel; null once closed (and after a failed open it is left as it was). */
    struct ChannelOps* ops;        /**< The host's copy of the operations (the destination given to open). */
    Bitmap frameFormat;            /**< The window's pixel layout: width and height from the request, the pixel format's colour bits and masks; pixels null, spare not touched. QueryImageFormat copies it. */
    uint32_t bufferMode;           /**< ::ZQGD_SINGLE_BUFFERED or ::ZQGD_DOUBLE_BUFFERED, from the request. */
    uint32_t reserved19;           /**< Set to 0 at open, not read. */
    int32_t cursorVisible;         /**< Nonzero: EndFrame draws the cursor. 0 at open. */
    int32_t cursorX;               /**< Cursor position, overlay pixels from the left, held to 0 .. width - 1. Window centre at open. */
    int32_t cursorY;               /**< Cursor position, overlay pixels from the top, held to 0 .. height - 1. */
    float cursorColour[3];         /**< Cursor colour; white at open. */
    uint32_t reserved26;           /**< Not touched. */
    int32_t cursorSize;            /**< Half extent of the cursor in pixels, always odd; 1 at open. */
    int32_t cursorStyle;           /**< 0 cross, 1 box, other values draw nothing; 0 at open. */
    uint32_t reserved29;           /**< Set to 0 at open, not read. */
    uint32_t reserved30;           /**< Set to 0 at open, not read. */
    float penColour[3];            /**< Colour of text, lines and filled shapes; white at open. */
    uint32_t reserved34;           /**< Not touched. */
    float backColour[3];           /**< Colour of the box behind opaque text; black at open. */
    uint32_t reserved38;           /**< Not touched. */
    int32_t transparentText;       /**< Nonzero: text without a box behind it; 1 at open. */
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

/** The host's texture loader, given to ZqGDOpenChannel: called while
 * drawing for a texture id a material names that is not defined yet.
 * Returns 0 after filling the definition (which the driver then defines as
 * DefineTexture would with a new image), anything else when the texture is
 * not available: the polygon is drawn untextured. The definition record is
 * the driver's, zeroed, valid during the call: the loader sets every field a
 * texture map needs (operation ::ZQGD_DEFINE_TEXTURE, the matrix, the key;
 * see TextureDefinition). The image the loader puts in it is
 * treated as DefineTexture treats one (a 32-bit image with power-of-two
 * sides is used in place and must outlive its texture). A refusal is
 * remembered by the view until its next BeginView, a texture definition or
 * deletion on the channel, or a polygon with another texture; the loader is
 * then asked again. */
typedef int32_t (*TextureLoadCallback)(int32_t textureId, TextureDefinition* definition);

/** The 23 channel operations, in slot order: ZqGDOpenChannel copies them
 * into the host's memory, and the host calls them through that copy with the
 * ChannelRecord first (OpenView takes the ViewRecord).
 *
 * An operation whose result is "none" returns a value the host must not rely
 * on. On a closed channel every operation returns at once: nothing drawn,
 * allocated or written; status 1 where it has a status, null from
 * RemoveSpareItem, 0 from CloseChannel. Overlay coordinates are window
 * pixels from the top left, y growing downward; the overlay covers the
 * largest right and top edges of the channel's views and lands in the
 * viewport of the view begun last. */
typedef struct ChannelOps {
    /** Slot 0: copies the window's pixel format (frameFormat's bitsPerPixel,
     * bytesPerPixel and the nine mask, shift and bit-count words) into the
     * host's bitmap and sets its spare word to 0, so that the host can
     * prepare images in the screen's format. Mode 2 also reduces the
     * bitmap's own width and height to the largest powers of two not above
     * them, with bytesPerLine = bytesPerPixel x width; any other mode leaves
     * the size alone. pixels is never touched. No GL call, nothing kept.
     * \par Status
     * None. */
    void (*QueryImageFormat)(ChannelRecord* channel, int32_t mode, Bitmap* bitmap);          /*  0 */
    /** Slot 1: closes the channel. Frees everything the driver holds for it:
     * its textures and backdrops (a texture used in place leaves the host's
     * pixels to the host), fonts, the state of views still open (their
     * descriptors' state becomes null), the palette, the device and GL
     * contexts; the GL context is released first if it is current. Sets
     * driverState to null. The host's record and table copy stay; a second
     * close touches nothing.
     * \par Status
     * 0, also for a channel already closed. */
    int32_t (*CloseChannel)(ChannelRecord* channel);                                         /*  1 */
    /** Slot 2: removes the item under key from the channel's spare list and
     * returns its payload (its first word cleared; the payload becomes the
     * caller's, to free with MMfree), or null. The driver adds nothing to
     * that list, so the result is null.
     * \par Status
     * The payload or null (null on a closed channel). */
    void* (*RemoveSpareItem)(ChannelRecord* channel, int32_t key);                           /*  2 */
    /** Slot 3: reserved; reads none of its arguments (channel may be null
     * or closed) and does nothing.
     * \par Status
     * 0. */
    int32_t (*ReservedOp3)(ChannelRecord* channel);                                          /*  3 */
    /** Slot 4: opens a view on view->channel and copies the 16 ViewOps into
     * destination (host memory the host keeps for the life of the view).
     * Sets the descriptor's state, ops (= destination) and renderMode (-1);
     * the view clears with the plain clear until SetBackground, and draws
     * with the unlit fill renderer until SetRenderMode. The driver keeps the
     * descriptor's address until the view closes. The host then sets the
     * background, position, size and render mode before the first BeginView.
     * \par Status
     * 0; 1 when memory runs out (descriptor and destination untouched) or
     * the channel is closed. */
    int32_t (*OpenView)(ViewRecord* view, ViewOps* destination);                             /*  4 */
    /** Slot 5: deletes the texture map or backdrop image under textureId
     * (nothing when the id names none), frees what the driver held for it,
     * and sends the channel's views whose backdrop it was back to the plain
     * clear. A texture image used in place goes back to the host.
     * \par Status
     * None. */
    void (*DeleteTexture)(ChannelRecord* channel, int32_t textureId);                        /*  5 */
    /** Slot 6: makes the channel current and, on an 8-bit pixel format with
     * the driver's 3-3-2 palette, selects and realises that palette again.
     * \par Status
     * 0 (1 on a closed channel). */
    int32_t (*SelectChannelPalette)(ChannelRecord* channel);                                 /*  6 */
    /** Slot 7: reserved; reads none of its arguments (channel may be null
     * or closed) and does nothing.
     * \par Status
     * 0. */
    int32_t (*ReservedOp7)(ChannelRecord* channel);                                          /*  7 */
    /** Slot 8: defines, redefines or deletes the texture map or backdrop
     * image textureId, by definition->operation (::ZQGD_DEFINE_TEXTURE,
     * ::ZQGD_DEFINE_BACKDROP, ::ZQGD_DELETE_TEXTURE; other values do
     * nothing). newImage nonzero: definition->image holds a new image;
     * 0: only the parameters change (flags, transparent colour, texture
     * matrix, angles) and the stored image stays. An id names at most one
     * image: defining it as one kind deletes the other.
     *
     * A texture map is scaled down to power-of-two sides and converted to
     * 32 bits into memory of its own, except a 32-bit image with
     * power-of-two sides: that one is used in place, its alpha bytes
     * rewritten (0 where the transparent colour matches, else 255) at every
     * definition, and the host keeps it alive and unchanged until the
     * texture is deleted or redefined with a new image. A backdrop image is
     * always copied (converted to 32 bits, rows flipped to bottom row
     * first): the host's image is free again when the call returns. Views
     * with this backdrop id start drawing it at offset (0, 0). The
     * definition record is read during the call only. Id 0 names nothing.
     * \par Status
     * 0; 1 when memory runs out or a conversion fails (a redefined image is
     * then gone), or, with nothing changed, for a definition under id 0 or of
     * a new image with a zero side or null pixels, or on a closed channel.
     * Deleting, and operations other than the three, return 0. */
    int32_t (*DefineTexture)(ChannelRecord* channel, int32_t textureId,
                             TextureDefinition* definition, uint32_t newImage);              /*  8 */
    /** Slot 9: ends the frame: draws the cursor when cursorVisible is
     * nonzero (in the viewport of the view begun last), then swaps the
     * buffers of a double-buffered channel. A single-buffered channel gets
     * no swap and no flush.
     * \par Status
     * 0 (1 on a closed channel). */
    int32_t (*EndFrame)(ChannelRecord* channel);                                             /*  9 */
    /** Slot 10: draws the outline of a circle of radius pixels around
     * centre (x, y; overlay coordinates) in the pen colour, as 36 segments.
     * \par Status
     * None. */
    void (*DrawCircle)(ChannelRecord* channel, uint32_t radius, const uint32_t centre[2]);  /* 10 */
    /** Slot 11: draws one line from one point (x, y) to the other in the pen
     * colour (overlay coordinates).
     * \par Status
     * None. */
    void (*DrawLine)(ChannelRecord* channel, const int32_t from[2], const int32_t to[2]);   /* 11 */
    /** Slot 12: loads the BDF font file fileName under fontId, found by
     * ZqFFindFile; the same name (in any letter case) already loaded under
     * that id is not read again; another name replaces the font, at once
     * also for text if it was selected. A null fileName unloads the font
     * (and leaves no font selected if it was). Loading never selects. The
     * driver keeps the font and a copy of the name until unloaded or the
     * channel closes; no GL call. Id 0 names nothing; the default font is
     * -1, "6x12.bdf".
     * \par Status
     * 0 done (also unloading an id without a font); 1 when memory runs out,
     * the id is 0 with a file name, or the channel is closed; 14
     * (::ZQGD_NO_FONT) when the file is missing or holds no font: the id
     * then names no font, even if it did before. */
    int32_t (*LoadFont)(ChannelRecord* channel, int32_t fontId, const char* fileName);      /* 12 */
    /** Slot 13: moves the cursor to position (x, y; overlay coordinates),
     * each held to the window (0 .. width - 1, 0 .. height - 1). Writes
     * cursorX and cursorY; no GL call.
     * \par Status
     * None. */
    void (*SetCursorPosition)(ChannelRecord* channel, const int32_t position[2]);            /* 13 */
    /** Slot 14: moves the cursor by (dx, dy) pixels (y downward), held to
     * the window as SetCursorPosition holds it.
     * \par Status
     * None. */
    void (*MoveCursor)(ChannelRecord* channel, int32_t dx, int32_t dy);                      /* 14 */
    /** Slot 15: fills a polygon in the pen colour. points holds count
     * points, each two consecutive integers x, y (overlay coordinates):
     * x0, y0, x1, y1, ... A count of 0 or less draws nothing.
     * Nothing is kept.
     * \par Status
     * None. */
    void (*FillPolygon)(ChannelRecord* channel, int32_t count, const int32_t* points);      /* 15 */
    /** Slot 16: fills the axis-aligned rectangle between corner and the
     * opposite corner (x, y each; overlay coordinates) in the pen colour.
     * \par Status
     * None. */
    void (*FillRectangle)(ChannelRecord* channel, const int32_t corner[2],
                          const int32_t opposite[2]);                                        /* 16 */
    /** Slot 17: sets transparentText: nonzero draws text without a box
     * behind it, 0 over a box in the back colour.
     * \par Status
     * None. */
    void (*SetTextTransparent)(ChannelRecord* channel, int32_t transparent);                 /* 17 */
    /** Slot 18: sets the pen colour and the back colour (red, green, blue,
     * each held to 0 .. 1; NaN gives 0); a null pointer leaves that colour
     * as it is.
     * \par Status
     * None. */
    void (*SetPenColours)(ChannelRecord* channel, const float pen[3], const float back[3]);  /* 18 */
    /** Slot 19: sets the cursor's style (0 cross, 1 box, other values draw
     * nothing), its half extent (stored odd: size | 1) and, when colour is
     * not null, its colour (held to 0 .. 1).
     * \par Status
     * None. */
    void (*SetCursorStyle)(ChannelRecord* channel, int32_t style, int32_t size,
                           const float colour[3]);                                           /* 19 */
    /** Slot 20: selects the font loaded under fontId for text; an id without
     * a font leaves none selected, and text then draws nothing.
     * \par Status
     * None. */
    void (*SelectFont)(ChannelRecord* channel, int32_t fontId);                              /* 20 */
    /** Slot 21: sets cursorVisible: nonzero, EndFrame draws the cursor.
     * \par Status
     * None. */
    void (*SetCursorVisible)(ChannelRecord* channel, int32_t visible);                       /* 21 */
    /** Slot 22: draws text, a zero-terminated string of 8-bit codes, in the
     * selected font and the pen colour, over a box in the back colour unless
     * text is transparent. position (x, y; overlay coordinates) is the upper
     * left corner of the first character cell; characters the font lacks
     * are skipped. Without a selected font, or with empty text, nothing is
     * drawn.
     * \par Status
     * None. */
    void (*DrawOverlayText)(ChannelRecord* channel, const int32_t position[2],
                            const char* text);                                               /* 22 */
} ChannelOps;

ZQGD_LAYOUT32(ChannelOps, OpenView, 16);
ZQGD_LAYOUT32(ChannelOps, DefineTexture, 32);
ZQGD_LAYOUT32(ChannelOps, DrawOverlayText, 88);
ZQGD_SIZE32(ChannelOps, 92);
ZQGD_STATIC_ASSERT(sizeof(ChannelOps) == 23 * sizeof(void (*)(void)), "ChannelOps holds 23 pointers");

/** \def ZQGD_EXPORT
 * Marks the two entry points that the module exports. */
#if defined(_WIN32)
#define ZQGD_EXPORT __declspec(dllexport)
#else
#define ZQGD_EXPORT __attribute__((visibility("default")))
#endif

/** Describes the driver: fills description (see DriverDescription) with
 * the desktop's colour depth, asked afresh at each call, and returns it
 * (null for a null description). The text and mode list are new blocks that
 * the host frees with MMfree; when memory runs out both are null and
 * modeCount is 0. */
ZQGD_EXPORT DriverDescription* ZqGDDescription(DriverDescription* description);
/** Opens a channel on the window *request->window: fills the host's
 * channel record, normalises request->bufferMode (1 stays 1, anything else
 * becomes 2) and sets request->clearedWord4 to 0, copies the 23 ChannelOps
 * into opsDestination (host memory it keeps for the life of the channel),
 * creates the GL context on the window (a pixel format with the buffering
 * asked for and a depth buffer), and loads and selects the default font
 * "6x12.bdf" under id -1. The driver keeps textureLoad for the channel's
 * life. A missing default font is not reported: the channel then draws no
 * text until the host loads and selects a font.
 * \par Status
 * 0; 1 when a record or the window handle is null, the channel's state
 * cannot be allocated, or the device has no pixel format or the GL context
 * cannot be created and bound: the record, the request and the destination
 * are then left as they were, and nothing is held. */
ZQGD_EXPORT int32_t ZqGDOpenChannel(ChannelRecord* channel, ChannelRequest* request,
                                    ChannelOps* opsDestination, TextureLoadCallback textureLoad);

/** The type of ZqGDDescription, for a host that looks it up in the loaded module. */
typedef DriverDescription* (*ZqGDDescriptionFunction)(DriverDescription*);
/** The type of ZqGDOpenChannel, for a host that looks it up in the loaded module. */
typedef int32_t (*ZqGDOpenChannelFunction)(ChannelRecord*, ChannelRequest*, ChannelOps*,
                                           TextureLoadCallback);

#ifdef __cplusplus
}
#endif

#endif
