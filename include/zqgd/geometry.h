/* The geometry a host hands to a view's polygon renderer, one object per
 * call, and the material records polygons refer to. Fixed to the byte: the
 * records without pointers have these sizes on every target. */
#ifndef ZQGD_GEOMETRY_H
#define ZQGD_GEOMETRY_H

#include <stdint.h>

#include "zqgd/layout.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct GeometryBlock GeometryBlock;
typedef struct MaterialSelection MaterialSelection;

typedef struct PolygonCorner {
    uint32_t vertexIndex;
    float normal[3];
    float texCoord[2];
    float colour[3];          /* used when the block is pre-lit */
} PolygonCorner;

ZQGD_LAYOUT(PolygonCorner, normal, 4);
ZQGD_LAYOUT(PolygonCorner, texCoord, 16);
ZQGD_LAYOUT(PolygonCorner, colour, 24);
ZQGD_SIZE(PolygonCorner, 36);

typedef struct PolygonRecord {
    uint16_t vertexCount;     /* 2 to 4 */
    uint16_t hiddenEdges;     /* bit i: edge from corner i to i+1 not outlined */
    PolygonCorner corners[4];
    float plane[4];           /* front side where a x + b y + c z + d >= 0 */
    float facetColour[3];
    uint32_t reserved176;
    uint32_t materialIndex;
} PolygonRecord;

ZQGD_LAYOUT(PolygonRecord, hiddenEdges, 2);
ZQGD_LAYOUT(PolygonRecord, corners, 4);
ZQGD_LAYOUT(PolygonRecord, plane, 148);
ZQGD_LAYOUT(PolygonRecord, facetColour, 164);
ZQGD_LAYOUT(PolygonRecord, materialIndex, 180);
ZQGD_SIZE(PolygonRecord, 184);

typedef struct LightPointRecord {
    uint32_t reserved0;
    uint32_t vertexIndex;
    float size;
    uint32_t reserved12[2];
    uint8_t horizontalSector[8];
    uint8_t verticalSector[8];
    uint8_t flash[12];
    uint32_t materialIndex;
} LightPointRecord;

ZQGD_LAYOUT(LightPointRecord, size, 8);
ZQGD_LAYOUT(LightPointRecord, horizontalSector, 20);
ZQGD_LAYOUT(LightPointRecord, verticalSector, 28);
ZQGD_LAYOUT(LightPointRecord, flash, 36);
ZQGD_LAYOUT(LightPointRecord, materialIndex, 48);
ZQGD_SIZE(LightPointRecord, 52);

typedef struct PolygonList {
    uint32_t vertexCount;
    float (*vertices)[3];
    uint32_t polygonCount;
    PolygonRecord* polygons;
    uint32_t lightPointCount;
    LightPointRecord* lightPoints;
} PolygonList;

ZQGD_LAYOUT32(PolygonList, vertices, 4);
ZQGD_LAYOUT32(PolygonList, polygons, 12);
ZQGD_LAYOUT32(PolygonList, lightPoints, 20);
ZQGD_SIZE32(PolygonList, 24);

struct GeometryBlock {
    uint32_t reserved0;
    PolygonList* polygonList;
    const float* objectMatrix;   /* 12 floats: three rows of an affine transform */
    const float* eyePosition;    /* 3 floats, in vertex coordinates */
    uint32_t reserved16;
    uint32_t reserved20;
    uint32_t preLit;
};

ZQGD_LAYOUT32(GeometryBlock, polygonList, 4);
ZQGD_LAYOUT32(GeometryBlock, objectMatrix, 8);
ZQGD_LAYOUT32(GeometryBlock, eyePosition, 12);
ZQGD_LAYOUT32(GeometryBlock, preLit, 24);
ZQGD_SIZE32(GeometryBlock, 28);

typedef struct MaterialEntry {
    float colour[3];
    float emission[3];        /* also the colour of light points */
    float ambientFactor;
    float diffuseFactor;
    float specular;
    float shininess;
    float transparency;       /* 0 or less: opaque */
    int32_t textured;
    int32_t textureId;
    uint32_t reserved13[4];
} MaterialEntry;

ZQGD_LAYOUT(MaterialEntry, emission, 12);
ZQGD_LAYOUT(MaterialEntry, transparency, 40);
ZQGD_LAYOUT(MaterialEntry, textureId, 48);
ZQGD_SIZE(MaterialEntry, 68);

struct MaterialSelection {
    uint32_t reserved0;
    int32_t usePolygonMaterial;
    uint32_t defaultMaterial;
};

#ifdef __cplusplus
}
#endif

#endif
