/** \file
 * Texture maps and backdrop images: the definition a host hands to
 * DefineTexture (and that its TextureLoadCallback fills). */
#ifndef ZQGD_TEXTURE_H
#define ZQGD_TEXTURE_H

#include <stdint.h>

#include "zqgd/bitmap.h"
#include "zqgd/layout.h"

#ifdef __cplusplus
extern "C" {
#endif

/** Values of TextureDefinition::operation; other values make DefineTexture do nothing. */
enum {
    ZQGD_DEFINE_BACKDROP = 0, /**< Define a backdrop image: a panorama drawn behind views (SetBackground). */
    ZQGD_DELETE_TEXTURE = 1,  /**< Delete the id, texture map or backdrop, as DeleteTexture does. */
    ZQGD_DEFINE_TEXTURE = 2   /**< Define a texture map, which materials name by id. */
};

/** Bits of TextureDefinition::flags (texture maps); other bits are ignored.
 *
 * Filters: MIPMAP_LINEAR with LINEAR gives trilinear filtering, MIPMAP_LINEAR
 * alone nearest texels between levels, MIPMAP with LINEAR linear texels of
 * the nearest level, MIPMAP alone nearest texels, LINEAR alone linear
 * without a chain, none of them nearest texels; magnification is linear
 * with a chain or with LINEAR. */
enum {
    ZQGD_TEXTURE_MODULATE = 0x001,       /**< The texture modulates the lit colour (GL_MODULATE); clear: it replaces it (GL_DECAL). */
    ZQGD_TEXTURE_MIPMAP = 0x020,         /**< Build a mipmap chain; nearest level. */
    ZQGD_TEXTURE_LINEAR = 0x040,         /**< Filter linearly within a level. */
    ZQGD_TEXTURE_MIPMAP_LINEAR = 0x080,  /**< Build a mipmap chain; interpolate between levels (over ::ZQGD_TEXTURE_MIPMAP). */
    ZQGD_TEXTURE_CLAMP_S = 0x400,        /**< Clamp s to the edge; clear: repeat. */
    ZQGD_TEXTURE_CLAMP_T = 0x800         /**< Clamp t to the edge; clear: repeat. */
};

/** A texture map or backdrop image as the host defines it (host-owned,
 * 144 bytes; read by DefineTexture during the call only, except the pixels
 * of an image used in place, see ChannelOps::DefineTexture).
 *
 * No field has a default: zeroed, the record defines a backdrop (operation
 * 0), and as a texture map its zero matrix puts every corner on texel (0, 0)
 * and its key (0, 0, 0) makes black transparent. A texture map wants
 * operation ::ZQGD_DEFINE_TEXTURE, the identity matrix {1, 0, 0, 0, 1, 0, 0,
 * 0, 1} and, without a transparent colour, a key component above 255. */
struct TextureDefinition {
    Bitmap image;            /**< The image, in any layout the bitmap utilities convert (8, 15/16, 24, 32 bits). Texture maps: the first row in memory is t = 0, the first pixel of a row s = 0. Backdrops: top row first (the driver keeps a flipped copy). Read only when newImage is set. */
    uint32_t reserved16;     /**< Not read. */
    int32_t operation;       /**< ::ZQGD_DEFINE_TEXTURE, ::ZQGD_DEFINE_BACKDROP or ::ZQGD_DELETE_TEXTURE. */
    float horizontalAngle;   /**< Backdrops: horizontal direction of the image's centre, radians. */
    float verticalAngle;     /**< Backdrops: vertical direction of the image's centre, radians, measured as SetBackdropAngles measures its vertical angle (growing downward). */
    float angularWidth;      /**< Backdrops: the angle the image's full width covers, radians (2 pi: a full circle); below 0.000001 the image stays centred. */
    uint32_t flags;          /**< Texture maps: ZQGD_TEXTURE_* bits. */
    uint32_t keyRed;         /**< Texture maps: red of the transparent colour, 0 to 255; any of the three above 255: no transparent colour. */
    uint32_t keyGreen;       /**< Texture maps: green of the transparent colour. */
    uint32_t keyBlue;        /**< Texture maps: blue of the transparent colour. */
    uint32_t reserved25[2];  /**< Not read. */
    float textureMatrix[9];  /**< Texture maps: 3 x 3 matrix in rows applied to corner texture coordinates: s' = m0 s + m1 t + m2, t' = m3 s + m4 t + m5 (the last row is not used). */
};

ZQGD_LAYOUT32(TextureDefinition, operation, 68);
ZQGD_LAYOUT32(TextureDefinition, horizontalAngle, 72);
ZQGD_LAYOUT32(TextureDefinition, flags, 84);
ZQGD_LAYOUT32(TextureDefinition, keyRed, 88);
ZQGD_LAYOUT32(TextureDefinition, textureMatrix, 108);
ZQGD_SIZE32(TextureDefinition, 144);

#ifdef __cplusplus
}
#endif

#endif
