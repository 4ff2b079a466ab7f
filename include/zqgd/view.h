/** \file
 * Views: the records a host hands to OpenView and the view operations, the
 * environment (lights, fog) and backgrounds.
 *
 * A view is a rectangle of a channel's window with its own projection,
 * render mode, lights, fog and background. Its rectangle is in GL window
 * coordinates: pixels, origin at the bottom left of the window. Eye
 * coordinates are the host's: x right, y up, z pointing away from the viewer
 * into the screen. Angles are radians. */
#ifndef ZQGD_VIEW_H
#define ZQGD_VIEW_H

#include <stdint.h>

#include "zqgd/bitmap.h"
#include "zqgd/driver.h"
#include "zqgd/layout.h"

#ifdef __cplusplus
extern "C" {
#endif

/** One object's geometry for a renderer (zqgd/geometry.h). */
typedef struct GeometryBlock GeometryBlock;
/** Which material polygons take (zqgd/geometry.h). */
typedef struct MaterialSelection MaterialSelection;

/** One light of an Environment (host-owned, 108 bytes; read by BeginView
 * and SetEnvironment during the call). Positions and directions are in
 * world coordinates: BeginView carries them to the eye with its viewing
 * matrix. */
typedef struct LightRecord {
    uint32_t reserved0;       /**< Not read. */
    int32_t type;             /**< 0 directional, 1 point, 2 spot; other values: a light with colour only. */
    float position[3];        /**< Point and spot lights: x, y, z in world coordinates. */
    float direction[3];       /**< Directional and spot lights: the direction the light shines in (world coordinates); a directional light comes from the opposite way. */
    uint32_t reserved8[7];    /**< Not read. */
    float spotCutoff;         /**< Spot lights: half-angle of the cone, radians. */
    uint32_t reserved16[7];   /**< Not read. */
    float colour[3];          /**< Red, green, blue of the diffuse and the specular light. */
    float linearAttenuation;  /**< Point and spot lights: linear attenuation factor. */
} LightRecord;

ZQGD_LAYOUT(LightRecord, type, 4);
ZQGD_LAYOUT(LightRecord, position, 8);
ZQGD_LAYOUT(LightRecord, direction, 20);
ZQGD_LAYOUT(LightRecord, spotCutoff, 60);
ZQGD_LAYOUT(LightRecord, colour, 92);
ZQGD_LAYOUT(LightRecord, linearAttenuation, 104);
ZQGD_SIZE(LightRecord, 108);

/** A view's lights and fog (host-owned; reached through
 * ViewRecord::environment and read by BeginView and SetEnvironment during
 * the call). Lights and fog are state of the channel's GL context: with
 * several views, call SetEnvironment for each before beginning it. */
typedef struct Environment {
    uint32_t reserved0[4];    /**< Not read. */
    float ambient[3];         /**< Red, green, blue of the global ambient light. */
    int32_t fogMode;          /**< 1 linear fog, any other value no fog. */
    float fogStart;           /**< Linear fog: eye distance where fog begins. */
    float fogEnd;             /**< Linear fog: eye distance where fog is full. */
    uint32_t reserved10;      /**< Not read. */
    float fogColour[3];       /**< Red, green, blue of the fog. */
    uint32_t reserved14;      /**< Not read. */
    LightRecord* lights;      /**< lightCount consecutive lights. */
    uint32_t lightCount;      /**< Number of lights; the first 7 are used, the rest ignored. */
} Environment;

ZQGD_LAYOUT32(Environment, ambient, 16);
ZQGD_LAYOUT32(Environment, fogMode, 28);
ZQGD_LAYOUT32(Environment, fogEnd, 36);
ZQGD_LAYOUT32(Environment, fogColour, 44);
ZQGD_LAYOUT32(Environment, lights, 60);
ZQGD_LAYOUT32(Environment, lightCount, 64);
ZQGD_SIZE32(Environment, 68);

/** A view's background, the argument of SetBackground (host-owned, read
 * during the call). */
typedef struct BackgroundRecord {
    int32_t kind;             /**< 1 backdrop image, any other value plain colour. */
    float colour[3];          /**< Red, green, blue, each held to 0 .. 1: the clear colour, and what a backdrop leaves uncovered. */
    int32_t imageId;          /**< The backdrop image's id (DefineTexture with ::ZQGD_DEFINE_BACKDROP); 0 none. An id not defined yet gives the plain clear until it is. */
} BackgroundRecord;

ZQGD_SIZE(BackgroundRecord, 20);

/** One view's camera and rectangle (host-owned, one per view; the driver
 * keeps its address from OpenView to CloseView and reads it at every
 * operation). The driver writes state, ops and renderMode only. */
typedef struct ViewDescriptor {
    void* state;              /**< The driver's state of the view; set by OpenView, null once the view or its channel is closed. */
    struct ViewOps* ops;      /**< The host's copy of the view operations (set by OpenView; SetRenderMode rewrites its slot 3). */
    uint32_t reserved2[2];    /**< Not read. */
    float farPlane;           /**< Distance of the far clipping plane (eye units, > nearPlane). */
    uint32_t reserved5[2];    /**< Not read. */
    float nearPlane;          /**< Distance of the near clipping plane (eye units, > 0 for a perspective). */
    uint32_t reserved8[4];    /**< Not read. */
    float orthoHalfWidth;     /**< Orthographic views: half the width of the view volume (eye units). */
    float orthoHalfHeight;    /**< Orthographic views: half its height. */
    float fieldOfView;        /**< Perspective views: horizontal field of view, radians. The vertical one is fieldOfView x height / width, capped at 0.99 pi. */
    int32_t orthographic;     /**< Nonzero: orthographic projection; 0: perspective. */
    int32_t renderMode;       /**< The render mode last applied (ZQGD_MODE_* bits); -1 after OpenView. Written by the driver. */
    uint32_t height;          /**< Viewport height in pixels (set with SetViewSize). */
    uint32_t width;           /**< Viewport width in pixels. */
    int32_t x;                /**< Left edge, pixels from the window's left (set with SetViewPosition). */
    int32_t y;                /**< Bottom edge, pixels from the window's bottom (GL window coordinates). */
} ViewDescriptor;

ZQGD_LAYOUT32(ViewDescriptor, ops, 4);
ZQGD_LAYOUT32(ViewDescriptor, farPlane, 16);
ZQGD_LAYOUT32(ViewDescriptor, nearPlane, 28);
ZQGD_LAYOUT32(ViewDescriptor, orthoHalfWidth, 48);
ZQGD_LAYOUT32(ViewDescriptor, fieldOfView, 56);
ZQGD_LAYOUT32(ViewDescriptor, orthographic, 60);
ZQGD_LAYOUT32(ViewDescriptor, renderMode, 64);
ZQGD_LAYOUT32(ViewDescriptor, height, 68);
ZQGD_LAYOUT32(ViewDescriptor, width, 72);
ZQGD_LAYOUT32(ViewDescriptor, x, 76);
ZQGD_LAYOUT32(ViewDescriptor, y, 80);
ZQGD_SIZE32(ViewDescriptor, 84);

/** One view: the first argument of OpenView, of every view operation and
 * of the renderer (host-owned; read at every call, so the host may point it
 * at other records between calls). */
struct ViewRecord {
    Environment* environment;            /**< Lights and fog; null: a view without lights (SetEnvironment switches them all off). */
    MaterialSelection* materialSelection; /**< Which material each polygon takes (read by DrawPolygons). */
    uint32_t reserved2;                  /**< Not read. */
    ViewDescriptor* view;                /**< The view's descriptor. */
    ChannelRecord* channel;              /**< The channel the view was opened on. Pointed at a closed channel record, every operation of the view returns at once as on a closed view; pointed at another open channel, the view draws into that channel (the checked module reports both). */
};

ZQGD_LAYOUT32(ViewRecord, materialSelection, 4);
ZQGD_LAYOUT32(ViewRecord, view, 12);
ZQGD_LAYOUT32(ViewRecord, channel, 16);
ZQGD_SIZE32(ViewRecord, 20);

/** Clear flags of BeginView; other bits are ignored. */
enum {
    ZQGD_CLEAR_COLOUR = 4, /**< Clear the view's colour: to the background colour, or draw its backdrop. */
    ZQGD_CLEAR_DEPTH = 8   /**< Clear the view's depth buffer. */
};

/** Render-mode bits of SetRenderMode. Shading (bits 0-2): 1 unlit flat, 2 lit
 * flat (one normal per polygon), any other value, 0 included, lit smooth (a
 * normal per corner). Fill (bits 3-5): 0x08 points, 0x10 outlines, any other
 * value filled. Depth (bits 9-11): 0x200 off, 0x400 on, any other value
 * unchanged. Bits 6-8 and 14-31 are ignored. */
enum {
    ZQGD_MODE_UNLIT = 0x1,          /**< Unlit, flat: each polygon in its material's colour. */
    ZQGD_MODE_FACET = 0x2,          /**< Lit, flat: one normal per polygon (its plane). */
    ZQGD_MODE_POINTS = 0x08,        /**< Polygons drawn as points at their corners. */
    ZQGD_MODE_LINES = 0x10,         /**< Polygons drawn as outlines (the view's rightmost column is then not drawn). */
    ZQGD_MODE_DEPTH_OFF = 0x200,    /**< Depth test off. */
    ZQGD_MODE_DEPTH_ON = 0x400,     /**< Depth test on. */
    ZQGD_MODE_BACK_FACES = 0x1000,  /**< Drop polygons whose back faces the eye (plane test with GeometryBlock::eyePosition). */
    ZQGD_MODE_ALL_EDGES = 0x2000    /**< Outlines: draw every edge, ignoring PolygonRecord::hiddenEdges. */
};

/** A polygon renderer: slot 3 of ViewOps. */
typedef void (*DrawPolygonsFunction)(ViewRecord* view, void* unused, GeometryBlock* geometry);

/** The 16 view operations, in slot order; empty slots are null. OpenView
 * copies them into the host's memory; the host calls them through that copy
 * with the ViewRecord first.
 *
 * An operation whose result is "none" returns a value the host must not rely
 * on. On a view that is closed (by CloseView, or with its channel by
 * CloseChannel), and on a view whose ViewRecord::channel names a closed
 * channel record, every operation returns at once: nothing drawn, allocated
 * or written, no GL call; status 1 where it has a status, 0 from CloseView
 * (which then closes nothing: a view still open on its own channel closes
 * with that channel, or by CloseView once the record names it again). */
struct ViewOps {
    /** Slot 0: makes the channel current and applies the environment's
     * switches: linear fog on (with its start, end and colour) or off, the
     * first min(lightCount, 7) GL lights on and the rest off. A null
     * environment switches every light off and leaves fog alone. The
     * switches stay in the channel's context until changed: with several
     * views, call it for each before beginning it.
     * \par Status
     * None. */
    void (*SetEnvironment)(ViewRecord* view);                                                  /*  0 */
    void (*empty1)(void);                                                                      /**< Slot 1: empty (null). */
    /** Slot 2: closes the view: frees its state and its render-mode list and
     * forgets the descriptor (state becomes null). The overlay extent is not
     * recomputed. After it, every operation of the host's table copy returns
     * at once.
     * \par Status
     * 0, also for a view already closed. */
    int32_t (*CloseView)(ViewRecord* view);                                                    /*  2 */
    /** Slot 3: the view's polygon renderer, chosen by SetRenderMode (unlit
     * fill after OpenView). Draws one object: multiplies the object matrix
     * onto the mirror of eye coordinates, walks the polygons (2 to 4
     * corners) with their materials from _ZqGmaterials and textures,
     * dropping back faces under ::ZQGD_MODE_BACK_FACES, then draws the
     * list's light points. The second argument is not read. The geometry is
     * read during the call only. Call it after BeginView of this view and
     * before beginning another view of the channel.
     * \par Status
     * None. */
    DrawPolygonsFunction DrawPolygons;                                                         /*  3 */
    /** Slot 4: sets the render mode (ZQGD_MODE_* bits): compiles the mode's
     * shading, fill and depth state into the view's list, which BeginView
     * replays each frame, stores mode in renderMode and puts the mode's
     * renderer in slot 3 of the host's table. It takes effect at once, also
     * in the middle of a frame: the state is applied as it is recorded, and
     * the view's next DrawPolygons draws in the new mode. The same mode
     * again does nothing. A depth switch is recorded only when the channel's cached
     * depth state differs at that moment: views of one channel should agree
     * on the depth test.
     * \par Status
     * 0 (1 on a closed view). */
    int32_t (*SetRenderMode)(ViewRecord* view, int32_t mode);                                  /*  4 */
    /** Slot 5: writes -1 into both integers of pair; nothing else.
     * \par Status
     * None. */
    void (*QueryPair)(ViewRecord* view, int32_t pair[2]);                                      /*  5 */
    /** Slot 6: reads the view's rectangle back into new memory: fills bitmap
     * as a width x height image of 32 bits (bytes red, green, blue, alpha;
     * masks 0xFF, 0xFF00, 0xFF0000; bytesPerLine 4 x width, rows bottom row
     * first) with pixels a new block from MMmalloc that the host frees with
     * MMfree. Reads the back buffer of a double-buffered channel (call it
     * before EndFrame), the front of a single-buffered one.
     * \par Status
     * 0; 1 when the pixel memory cannot be allocated (the header filled,
     * pixels null, nothing held) or the view is closed (bitmap untouched). */
    int32_t (*ReadPixels)(ViewRecord* view, Bitmap* bitmap);                                   /*  6 */
    void (*empty7)(void);                                                                      /**< Slot 7: empty (null). */
    void (*empty8)(void);                                                                      /**< Slot 8: empty (null). */
    void (*empty9)(void);                                                                      /**< Slot 9: empty (null). */
    void (*empty10)(void);                                                                     /**< Slot 10: empty (null). */
    /** Slot 11: begins the view's frame: makes the channel current, limits
     * drawing to the view's rectangle, replays its render mode, clears by
     * clearFlags (ZQGD_CLEAR_*: the background colour or backdrop, the depth
     * buffer), loads the projection (orthographic, or perspective from the
     * horizontal field of view) and, with an environment, the ambient light
     * and the lights. viewingMatrix is 12 floats, three rows of the
     * world-to-eye transform (each row's last element its translation):
     * it places the lights and serves nothing else; objects carry their own
     * matrix. frameTime (milliseconds) drives flashing light points.
     * Overlay drawing after it lands in this view's rectangle.
     * \par Status
     * None. */
    void (*BeginView)(ViewRecord* view, int32_t frameTime, const float viewingMatrix[12],
                      uint32_t clearFlags);                                                    /* 11 */
    /** Slot 12: sets the view's background (colour held to 0 .. 1), makes
     * its colour the clear colour of the channel's context (so the plain
     * clear uses the latest SetBackground of the channel), and binds every
     * view of the channel to its backdrop again, at offset (0, 0): call
     * SetBackdropAngles after it. The record is read during the call only.
     * \par Status
     * None. */
    void (*SetBackground)(ViewRecord* view, const BackgroundRecord* background);               /* 12 */
    /** Slot 13: places the view's backdrop image for the camera's angles
     * (radians, any turn): the image's centre direction at the view's
     * centre, one image width per TextureDefinition::angularWidth. The image
     * is drawn at one picture pixel per window pixel, never scaled, and once
     * (not repeated round). A larger
     * horizontal angle moves the image left, a larger vertical angle moves
     * it up (pass the angle below the horizon). Does nothing for a view
     * without a backdrop image.
     * \par Status
     * None. */
    void (*SetBackdropAngles)(ViewRecord* view, float vertical, float horizontal);            /* 13 */
    /** Slot 14: sets the view's lower left corner (x from the window's left,
     * y from its bottom, pixels) and recomputes the channel's overlay extent.
     * \par Status
     * 0 (1 on a closed view). */
    int32_t (*SetViewPosition)(ViewRecord* view, int32_t x, int32_t y);                        /* 14 */
    /** Slot 15: sets the view's size in pixels, recomputes the overlay
     * extent and places a backdrop image for angles (0, 0).
     * \par Status
     * 0 (1 on a closed view). */
    int32_t (*SetViewSize)(ViewRecord* view, uint32_t width, uint32_t height);                 /* 15 */
};

ZQGD_LAYOUT32(ViewOps, DrawPolygons, 12);
ZQGD_LAYOUT32(ViewOps, BeginView, 44);
ZQGD_SIZE32(ViewOps, 64);

#ifdef __cplusplus
}
#endif

#endif
