/** \file
 * The geometry a host hands to a view's polygon renderer, one object per
 * call, and the material records polygons refer to. Fixed to the byte: the
 * records without pointers have these sizes on every target.
 *
 * All of it is host-owned and read during the renderer call only. Colours
 * are red, green, blue from 0 to 1. */
#ifndef ZQGD_GEOMETRY_H
#define ZQGD_GEOMETRY_H

#include <stdint.h>

#include "zqgd/layout.h"

#ifdef __cplusplus
extern "C" {
#endif

/** One object for a renderer. */
typedef struct GeometryBlock GeometryBlock;
/** Which material polygons take. */
typedef struct MaterialSelection MaterialSelection;

/** One corner of a polygon (36 bytes). */
typedef struct PolygonCorner {
    uint32_t vertexIndex;     /**< Index into PolygonList::vertices (below its vertexCount). */
    float normal[3];          /**< Corner normal in vertex coordinates, any length (lit smooth mode). */
    float texCoord[2];        /**< Texture coordinates s, t, before the texture's matrix. */
    float colour[3];          /**< Colour at the corner, used by the smooth renderers when the block is pre-lit. */
} PolygonCorner;

ZQGD_LAYOUT(PolygonCorner, normal, 4);
ZQGD_LAYOUT(PolygonCorner, texCoord, 16);
ZQGD_LAYOUT(PolygonCorner, colour, 24);
ZQGD_SIZE(PolygonCorner, 36);

/** One polygon: a line, triangle or quadrilateral (184 bytes). */
typedef struct PolygonRecord {
    uint16_t vertexCount;     /**< Corners in use: 2 (a line), 3 or 4; other counts are not filled. */
    uint16_t hiddenEdges;     /**< Outlines: bit i set hides the edge from corner i to i + 1 (the last to corner 0); see ::ZQGD_MODE_ALL_EDGES. */
    PolygonCorner corners[4]; /**< The corners in drawing order; the first vertexCount are read. */
    float plane[4];           /**< Plane a, b, c, d in vertex coordinates: the front side is where a x + b y + c z + d >= 0; (a, b, c) is also the facet normal of the lit flat mode. */
    float facetColour[3];     /**< Colour of the whole polygon, used by the flat lit renderer when the block is pre-lit. */
    uint32_t reserved176;     /**< Not read. */
    uint32_t materialIndex;   /**< Index into _ZqGmaterials when MaterialSelection::usePolygonMaterial is set; past the highest index it means entry 0. */
} PolygonRecord;

ZQGD_LAYOUT(PolygonRecord, hiddenEdges, 2);
ZQGD_LAYOUT(PolygonRecord, corners, 4);
ZQGD_LAYOUT(PolygonRecord, plane, 148);
ZQGD_LAYOUT(PolygonRecord, facetColour, 164);
ZQGD_LAYOUT(PolygonRecord, materialIndex, 180);
ZQGD_SIZE(PolygonRecord, 184);

/** One light point: a small sphere in its material's emission colour,
 * seen only from within its sectors and lit by its flash pattern (52 bytes). */
typedef struct LightPointRecord {
    uint32_t reserved0;           /**< Not read. */
    uint32_t vertexIndex;         /**< Index into PolygonList::vertices: the light's position. */
    float size;                   /**< The sphere's radius is size x intensity x 0.5 (vertex units). */
    uint32_t reserved12[2];       /**< Not read. */
    uint8_t horizontalSector[8];  /**< Horizontal visibility sector, read by the host's ZqGBeaconHorizontalSector (here a BeaconSector). */
    uint8_t verticalSector[8];    /**< Vertical visibility sector, read by ZqGBeaconVerticalSector (a BeaconSector). */
    uint8_t flash[12];            /**< Flash pattern, read by ZqGBeaconFlash (a BeaconFlash). */
    uint32_t materialIndex;       /**< Material index, under the same rule as PolygonRecord::materialIndex. */
} LightPointRecord;

ZQGD_LAYOUT(LightPointRecord, size, 8);
ZQGD_LAYOUT(LightPointRecord, horizontalSector, 20);
ZQGD_LAYOUT(LightPointRecord, verticalSector, 28);
ZQGD_LAYOUT(LightPointRecord, flash, 36);
ZQGD_LAYOUT(LightPointRecord, materialIndex, 48);
ZQGD_SIZE(LightPointRecord, 52);

/** An object's geometry: shared vertex positions, polygons and light points. */
typedef struct PolygonList {
    uint32_t vertexCount;           /**< Entries of vertices. */
    float (*vertices)[3];           /**< Positions x, y, z in the object's vertex coordinates. */
    uint32_t polygonCount;          /**< Entries of polygons. */
    PolygonRecord* polygons;        /**< The polygons. */
    uint32_t lightPointCount;       /**< Entries of lightPoints; 0: none drawn (the pointer is not read). */
    LightPointRecord* lightPoints;  /**< The light points. */
} PolygonList;

ZQGD_LAYOUT32(PolygonList, vertices, 4);
ZQGD_LAYOUT32(PolygonList, polygons, 12);
ZQGD_LAYOUT32(PolygonList, lightPoints, 20);
ZQGD_SIZE32(PolygonList, 24);

/** One object handed to a view's renderer (ViewOps::DrawPolygons). */
struct GeometryBlock {
    uint32_t reserved0;          /**< Not read. */
    PolygonList* polygonList;    /**< The object's geometry. */
    const float* objectMatrix;   /**< 12 floats, three rows m0..m3 / m4..m7 / m8..m11 of the affine transform from vertex coordinates to the host's eye coordinates (x right, y up, z into the screen): x' = m0 x + m1 y + m2 z + m3, and so on. It includes the camera: BeginView's viewing matrix does not move objects. */
    const float* eyePosition;    /**< 3 floats: the eye's position in vertex coordinates (back-face test, light-point sectors). */
    uint32_t reserved16;         /**< Not read. */
    uint32_t reserved20;         /**< Not read. */
    uint32_t preLit;             /**< Nonzero: the colours in the records are final and lighting is off (lit modes take facetColour or the corners' colour); 0: lit with the materials. */
};

ZQGD_LAYOUT32(GeometryBlock, polygonList, 4);
ZQGD_LAYOUT32(GeometryBlock, objectMatrix, 8);
ZQGD_LAYOUT32(GeometryBlock, eyePosition, 12);
ZQGD_LAYOUT32(GeometryBlock, preLit, 24);
ZQGD_SIZE32(GeometryBlock, 28);

/** One entry of the host's material table _ZqGmaterials (68 bytes, read
 * at every polygon: the host fills the table, and keeps it while drawing). */
typedef struct MaterialEntry {
    float colour[3];          /**< Base colour: unlit modes draw with it, lighting scales it. */
    float emission[3];        /**< Emitted light; also the colour of light points. */
    float ambientFactor;      /**< Ambient reflectance = colour x ambientFactor. */
    float diffuseFactor;      /**< Diffuse reflectance = colour x diffuseFactor. */
    float specular;           /**< Specular reflectance, a grey level. */
    float shininess;          /**< Specular exponent (0 to 128). */
    float transparency;       /**< 0 or less: opaque; else alpha = 1 - transparency, blended. */
    int32_t textured;         /**< Nonzero: the material carries the texture textureId. */
    int32_t textureId;        /**< The texture map's id; 0 no texture. One not defined yet is asked of the host's TextureLoadCallback. */
    uint32_t reserved13[4];   /**< Not read. */
} MaterialEntry;

ZQGD_LAYOUT(MaterialEntry, emission, 12);
ZQGD_LAYOUT(MaterialEntry, transparency, 40);
ZQGD_LAYOUT(MaterialEntry, textureId, 48);
ZQGD_SIZE(MaterialEntry, 68);

/** Which material each polygon and light point of a view takes (host-owned,
 * reached through ViewRecord::materialSelection). */
struct MaterialSelection {
    uint32_t reserved0;          /**< Not read. */
    int32_t usePolygonMaterial;  /**< Nonzero: each record's own materialIndex; 0: defaultMaterial for everything. */
    uint32_t defaultMaterial;    /**< The material index for the whole object. */
};

#ifdef __cplusplus
}
#endif

#endif
