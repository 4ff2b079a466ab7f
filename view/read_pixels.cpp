// Copying a view's pixels into new host memory: 32-bit RGBA words, red in the
// lowest byte, bottom row first.
#include "view.h"

namespace {

void DescribeChannel(uint32_t mask, uint32_t& maskField, uint32_t& shift, uint32_t& bits)
{
    maskField = mask;
    shift = ZqMLSB(mask);
    bits = ZqMBitCount(mask);
}

}  // namespace

void DescribeRgbaImage(Bitmap* bitmap, uint32_t width, uint32_t height)
{
    bitmap->pixels = nullptr;
    bitmap->bytesPerLine = static_cast<uint32_t>(uint64_t{width} * 4);
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bitsPerPixel = 32;
    bitmap->bytesPerPixel = 4;
    DescribeChannel(0x000000FF, bitmap->redMask, bitmap->redShift, bitmap->redBits);
    DescribeChannel(0x0000FF00, bitmap->greenMask, bitmap->greenShift, bitmap->greenBits);
    DescribeChannel(0x00FF0000, bitmap->blueMask, bitmap->blueShift, bitmap->blueBits);
    bitmap->spare = 0;
}

// A view whose byte count does not fit the host's 32-bit sizes is refused
// before anything is allocated.
int32_t ReadPixels(ViewRecord* view, Bitmap* bitmap)
{
    const ViewDescriptor* descriptor = view->view;
    MakeChannelCurrent(ChannelOf(view));
    uint64_t bytes = uint64_t{descriptor->width} * 4 * descriptor->height;
    DescribeRgbaImage(bitmap, descriptor->width, descriptor->height);
    if (descriptor->width > INT32_MAX || descriptor->height > INT32_MAX || bytes > UINT32_MAX)
        return ZQGD_FAILED;
    bitmap->pixels = MMmalloc(static_cast<uint32_t>(bytes));
    if (bitmap->pixels == nullptr) return ZQGD_FAILED;
    glReadPixels(descriptor->x, descriptor->y, GlSize(descriptor->width), GlSize(descriptor->height), GL_RGBA,
                 GL_UNSIGNED_BYTE, bitmap->pixels);
    return ZQGD_OK;
}
