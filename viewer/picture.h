// A picture as the viewer keeps it in memory.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

// RGBA pixels, rows top first as picture files store them (a texture map's
// rows are bottom first: see scene.h).
struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgba;
};

// Puts the bottom row first, or back on top.
inline void FlipRows(Picture& picture)
{
    const size_t line = size_t{picture.width} * 4;
    for (size_t top = 0, bottom = picture.height; top + 1 < bottom; ++top, --bottom)
        std::swap_ranges(picture.rgba.begin() + top * line, picture.rgba.begin() + (top + 1) * line,
                         picture.rgba.begin() + (bottom - 1) * line);
}
