/* Texture maps and backdrop images: the definition a host hands to
 * DefineTexture (and that its TextureLoadCallback fills). */
#ifndef ZQGD_TEXTURE_H
#define ZQGD_TEXTURE_H

#include <stdint.h>

#include "zqgd/bitmap.h"
#include "zqgd/layout.h"

#ifdef __cplusplus
extern "C" {
#endif

/* TextureDefinition.operation */
enum { ZQGD_DEFINE_BACKDROP = 0, ZQGD_DELETE_TEXTURE = 1, ZQGD_DEFINE_TEXTURE = 2 };

/* TextureDefinition.flags */
enum {
    ZQGD_TEXTURE_MODULATE = 0x001,       /* GL_MODULATE; clear: GL_DECAL */
    ZQGD_TEXTURE_MIPMAP = 0x020,         /* mipmap chain, nearest level */
    ZQGD_TEXTURE_LINEAR = 0x040,         /* linear within a level */
    ZQGD_TEXTURE_MIPMAP_LINEAR = 0x080,  /* mipmap chain, between levels */
    ZQGD_TEXTURE_CLAMP_S = 0x400,
    ZQGD_TEXTURE_CLAMP_T = 0x800
};

struct TextureDefinition {
    Bitmap image;
    uint32_t reserved16;
    int32_t operation;
    float horizontalAngle;   /* backdrops: direction of the image's centre, radians */
    float verticalAngle;
    float angularWidth;      /* backdrops: angle the image's width covers */
    uint32_t flags;          /* texture maps */
    uint32_t keyRed;         /* transparent colour; any component above 255: none */
    uint32_t keyGreen;
    uint32_t keyBlue;
    uint32_t reserved25[2];
    float textureMatrix[9];  /* rows: s' = m0 s + m1 t + m2, t' = m3 s + m4 t + m5 */
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
