// A picture as the viewer keeps it in memory.
#pragma once

#include <cstdint>
#include <vector>

// RGBA pixels, rows top first as picture files store them.
struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgba;
};
