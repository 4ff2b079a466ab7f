/** \file
 * The sixteen-word image descriptor shared by the host and the driver: the
 * window's pixel layout in a channel record, texture and backdrop images,
 * read-back images. */
#ifndef ZQGD_BITMAP_H
#define ZQGD_BITMAP_H

#include <stdint.h>

#include "zqgd/layout.h"

#ifdef __cplusplus
extern "C" {
#endif

/** An image: its pixel memory and how a pixel is laid out.
 *
 * A pixel of 1 to 4 bytes is one little-endian word; each colour is the
 * field its mask picks out. The driver's own 32-bit images (read-back,
 * stored textures) have red in the lowest byte (mask 0xFF), green 0xFF00,
 * blue 0xFF0000, and the fourth byte as alpha: bytes red, green, blue, alpha
 * in memory. Rows follow each other bytesPerLine apart; which row comes
 * first is said where an image is handed over (read-back images and stored
 * backdrops: bottom row first).
 *
 * The shifts and bit counts follow from the masks, and a host fills them
 * so. The bitmap utilities take each channel from its mask alone and the
 * driver reads no bit count; the shifts are read for a 32-bit texture image
 * used in place with a transparent colour, where they place the key. */
typedef struct Bitmap {
    void* pixels;           /**< First byte of the pixel memory; its owner is said where the image is handed over. */
    uint32_t bytesPerLine;  /**< Bytes from the start of one row to the start of the next. */
    uint32_t width;         /**< Pixels per row. */
    uint32_t height;        /**< Rows. */
    uint32_t bitsPerPixel;  /**< Colour bits of a pixel: 8, 15, 16, 24 or 32. */
    uint32_t bytesPerPixel; /**< Bytes of a pixel, 1 to 4. */
    uint32_t redMask;       /**< Bits of a pixel that hold red. */
    uint32_t redShift;      /**< Index of the lowest bit of redMask. */
    uint32_t redBits;       /**< Number of bits set in redMask. */
    uint32_t greenMask;     /**< Bits of a pixel that hold green. */
    uint32_t greenShift;    /**< Index of the lowest bit of greenMask. */
    uint32_t greenBits;     /**< Number of bits set in greenMask. */
    uint32_t blueMask;      /**< Bits of a pixel that hold blue. */
    uint32_t blueShift;     /**< Index of the lowest bit of blueMask. */
    uint32_t blueBits;      /**< Number of bits set in blueMask. */
    uint32_t spare;         /**< Reserved: copied with the record; set to 0 where the driver fills a bitmap (QueryImageFormat, ReadPixels), not read by it. */
} Bitmap;

ZQGD_LAYOUT32(Bitmap, bytesPerLine, 4);
ZQGD_LAYOUT32(Bitmap, bytesPerPixel, 20);
ZQGD_LAYOUT32(Bitmap, redMask, 24);
ZQGD_LAYOUT32(Bitmap, blueBits, 56);
ZQGD_LAYOUT32(Bitmap, spare, 60);
ZQGD_SIZE32(Bitmap, 64);

#ifdef __cplusplus
}
#endif

#endif
