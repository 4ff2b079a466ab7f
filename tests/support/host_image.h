// A host-owned image of one pixel layout, filled pixel by pixel.
#pragma once

#include <cstdint>
#include <vector>

#include "zqgd/host.h"

struct HostImage {
    Bitmap bitmap{};
    std::vector<uint8_t> memory;

    HostImage(uint32_t width, uint32_t height, uint32_t bits, uint32_t red, uint32_t green, uint32_t blue)
    {
        bitmap.width = width;
        bitmap.height = height;
        bitmap.bitsPerPixel = bits;
        bitmap.bytesPerPixel = (bits + 7) / 8;
        bitmap.bytesPerLine = width * bitmap.bytesPerPixel;
        bitmap.redMask = red;
        bitmap.greenMask = green;
        bitmap.blueMask = blue;
        bitmap.redShift = ZqMLSB(red);
        bitmap.greenShift = ZqMLSB(green);
        bitmap.blueShift = ZqMLSB(blue);
        bitmap.redBits = ZqMBitCount(red);
        bitmap.greenBits = ZqMBitCount(green);
        bitmap.blueBits = ZqMBitCount(blue);
        memory.assign(size_t{bitmap.bytesPerLine} * height, 0);
        bitmap.pixels = memory.data();
    }
    void set(uint32_t x, uint32_t y, uint32_t value)
    {
        for (uint32_t i = 0; i < bitmap.bytesPerPixel; ++i)
            memory[y * bitmap.bytesPerLine + x * bitmap.bytesPerPixel + i] = static_cast<uint8_t>(value >> (8 * i));
    }
};

