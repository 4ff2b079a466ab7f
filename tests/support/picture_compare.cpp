#include "support/picture_compare.h"

#include <algorithm>
#include <cstdlib>

bool ComparePictures(const Picture& a, const Picture& b, int tolerance, PictureDifference& difference)
{
    difference = PictureDifference{};
    if (a.width != b.width || a.height != b.height || a.rgba.size() != b.rgba.size()) return false;
    for (size_t i = 0; i + 3 < a.rgba.size(); i += 4) {
        int largest = 0;
        for (size_t c = 0; c < 3; ++c) largest = std::max(largest, std::abs(int{a.rgba[i + c]} - int{b.rgba[i + c]}));
        difference.largest = std::max(difference.largest, largest);
        difference.differing += largest > 0 ? 1 : 0;
        difference.beyond += largest > tolerance ? 1 : 0;
    }
    return true;
}
