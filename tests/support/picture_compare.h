// Pictures of two renderings compared pixel by pixel, channel by channel.
#pragma once

#include <cstdint>

#include "viewer/picture.h"

struct PictureDifference {
    int largest = 0;         // the largest difference of one channel of one pixel
    uint64_t differing = 0;  // pixels with any colour channel different
    uint64_t beyond = 0;     // pixels with a colour channel further apart than the tolerance
};

// Compares the colour channels (not alpha) of two pictures; false when
// their sizes differ.
bool ComparePictures(const Picture& a, const Picture& b, int tolerance, PictureDifference& difference);
