/* The sixteen-word image descriptor shared by the host and the driver: the
 * window's pixel layout in a channel record, texture and backdrop images,
 * read-back images. */
#ifndef ZQGD_BITMAP_H
#define ZQGD_BITMAP_H

#include <stdint.h>

#include "zqgd/layout.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct Bitmap {
    void* pixels;
    uint32_t bytesPerLine;
    uint32_t width;
    uint32_t height;
    uint32_t bitsPerPixel;
    uint32_t bytesPerPixel;
    uint32_t redMask;
    uint32_t redShift;
    uint32_t redBits;
    uint32_t greenMask;
    uint32_t greenShift;
    uint32_t greenBits;
    uint32_t blueMask;
    uint32_t blueShift;
    uint32_t blueBits;
    uint32_t spare;
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
