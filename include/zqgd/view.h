/* Views: the records a host hands to OpenView and the view operations, the
 * environment (lights, fog) and backgrounds. */
#ifndef ZQGD_VIEW_H
#define ZQGD_VIEW_H

#include <stdint.h>

#include "zqgd/bitmap.h"
#include "zqgd/driver.h"
#include "zqgd/layout.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct GeometryBlock GeometryBlock;
typedef struct MaterialSelection MaterialSelection;

typedef struct LightRecord {
    uint32_t reserved0;
    int32_t type;             /* 0 directional, 1 point, 2 spot, other: colour only */
    float position[3];        /* world coordinates */
    float direction[3];       /* the direction the light shines in */
    uint32_t reserved8[7];
    float spotCutoff;         /* half-angle of the cone, radians */
    uint32_t reserved16[7];
    float colour[3];          /* diffuse and specular */
    float linearAttenuation;
} LightRecord;

ZQGD_LAYOUT(LightRecord, type, 4);
ZQGD_LAYOUT(LightRecord, position, 8);
ZQGD_LAYOUT(LightRecord, direction, 20);
ZQGD_LAYOUT(LightRecord, spotCutoff, 60);
ZQGD_LAYOUT(LightRecord, colour, 92);
ZQGD_LAYOUT(LightRecord, linearAttenuation, 104);
ZQGD_SIZE(LightRecord, 108);

typedef struct Environment {
    uint32_t reserved0[4];
    float ambient[3];
    int32_t fogMode;          /* 1 linear fog, other: none */
    float fogStart;
    float fogEnd;
    uint32_t reserved10;
    float fogColour[3];
    uint32_t reserved14;
    LightRecord* lights;
    uint32_t lightCount;
} Environment;

ZQGD_LAYOUT32(Environment, ambient, 16);
ZQGD_LAYOUT32(Environment, fogMode, 28);
ZQGD_LAYOUT32(Environment, fogEnd, 36);
ZQGD_LAYOUT32(Environment, fogColour, 44);
ZQGD_LAYOUT32(Environment, lights, 60);
ZQGD_LAYOUT32(Environment, lightCount, 64);
ZQGD_SIZE32(Environment, 68);

typedef struct BackgroundRecord {
    int32_t kind;             /* 1 backdrop image, other: plain colour */
    float colour[3];
    int32_t imageId;          /* backdrop image id, 0 none */
} BackgroundRecord;

ZQGD_SIZE(BackgroundRecord, 20);

typedef struct ViewDescriptor {
    void* state;              /* the driver's ViewState; null once closed */
    struct ViewOps* ops;      /* the host's copy of the view operations */
    uint32_t reserved2[2];
    float farPlane;
    uint32_t reserved5[2];
    float nearPlane;
    uint32_t reserved8[4];
    float orthoHalfWidth;
    float orthoHalfHeight;
    float fieldOfView;        /* horizontal, radians */
    int32_t orthographic;
    int32_t renderMode;       /* last mode applied; -1 after OpenView */
    uint32_t height;
    uint32_t width;
    int32_t x;                /* left edge, window pixels */
    int32_t y;                /* bottom edge, GL window coordinates */
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

struct ViewRecord {
    Environment* environment;            /* null: a view without lights */
    MaterialSelection* materialSelection;
    uint32_t reserved2;
    ViewDescriptor* view;
    ChannelRecord* channel;
};

ZQGD_LAYOUT32(ViewRecord, materialSelection, 4);
ZQGD_LAYOUT32(ViewRecord, view, 12);
ZQGD_LAYOUT32(ViewRecord, channel, 16);
ZQGD_SIZE32(ViewRecord, 20);

/* Clear flags of BeginView. */
enum { ZQGD_CLEAR_COLOUR = 4, ZQGD_CLEAR_DEPTH = 8 };

/* Render-mode bits. */
enum {
    ZQGD_MODE_UNLIT = 0x1,
    ZQGD_MODE_FACET = 0x2,
    ZQGD_MODE_POINTS = 0x08,
    ZQGD_MODE_LINES = 0x10,
    ZQGD_MODE_DEPTH_OFF = 0x200,
    ZQGD_MODE_DEPTH_ON = 0x400,
    ZQGD_MODE_BACK_FACES = 0x1000,
    ZQGD_MODE_ALL_EDGES = 0x2000
};

typedef void (*DrawPolygonsFunction)(ViewRecord* view, void* unused, GeometryBlock* geometry);

/* The 16 view operations, in slot order; empty slots are null. */
struct ViewOps {
    void (*SetEnvironment)(ViewRecord* view);                                                  /*  0 */
    void (*empty1)(void);                                                                      /*  1 */
    int32_t (*CloseView)(ViewRecord* view);                                                    /*  2 */
    DrawPolygonsFunction DrawPolygons;                                                         /*  3 */
    int32_t (*SetRenderMode)(ViewRecord* view, int32_t mode);                                  /*  4 */
    void (*QueryPair)(ViewRecord* view, int32_t pair[2]);                                      /*  5 */
    int32_t (*ReadPixels)(ViewRecord* view, Bitmap* bitmap);                                   /*  6 */
    void (*empty7)(void);                                                                      /*  7 */
    void (*empty8)(void);                                                                      /*  8 */
    void (*empty9)(void);                                                                      /*  9 */
    void (*empty10)(void);                                                                     /* 10 */
    void (*BeginView)(ViewRecord* view, int32_t frameTime, const float viewingMatrix[12],
                      uint32_t clearFlags);                                                    /* 11 */
    void (*SetBackground)(ViewRecord* view, const BackgroundRecord* background);               /* 12 */
    void (*SetBackdropAngles)(ViewRecord* view, float vertical, float horizontal);            /* 13 */
    int32_t (*SetViewPosition)(ViewRecord* view, int32_t x, int32_t y);                        /* 14 */
    int32_t (*SetViewSize)(ViewRecord* view, uint32_t width, uint32_t height);                 /* 15 */
};

ZQGD_LAYOUT32(ViewOps, DrawPolygons, 12);
ZQGD_LAYOUT32(ViewOps, BeginView, 44);
ZQGD_SIZE32(ViewOps, 64);

#ifdef __cplusplus
}
#endif

#endif
