// The channel operations that belong to the channel itself: describing the
// screen's pixel format, closing, finishing a frame, the palette, and the
// slots that do no work.
#include "channel.h"
#include "overlay/overlay.h"
#include "texture/texture_store.h"
#include "view/view.h"

namespace {

// Rounds a size down to a power of two.
uint32_t PowerOfTwoBelow(uint32_t size) { return uint32_t{1} << ZqMMSB(size); }

}  // namespace

// Mode 2 reduces the bitmap to power-of-two sides; a width whose line length
// would not fit in 32 bits is halved until it does.
void QueryImageFormat(ChannelRecord* channel, int32_t mode, Bitmap* bitmap)
{
    const Bitmap& format = channel->frameFormat;
    bitmap->bytesPerPixel = format.bytesPerPixel;
    bitmap->bitsPerPixel = format.bitsPerPixel;
    if (mode == 2) {
        uint32_t width = PowerOfTwoBelow(bitmap->width);
        while (width > 1 && uint64_t{format.bytesPerPixel} * width > UINT32_MAX) width >>= 1;
        bitmap->width = width;
        bitmap->height = PowerOfTwoBelow(bitmap->height);
        bitmap->bytesPerLine = format.bytesPerPixel * width;
    }
    bitmap->redMask = format.redMask;
    bitmap->redShift = format.redShift;
    bitmap->redBits = format.redBits;
    bitmap->greenMask = format.greenMask;
    bitmap->greenShift = format.greenShift;
    bitmap->greenBits = format.greenBits;
    bitmap->blueMask = format.blueMask;
    bitmap->blueShift = format.blueShift;
    bitmap->blueBits = format.blueBits;
    bitmap->spare = 0;
}

// A channel already closed is left as it is: closing it again is not a
// failure, since what the host asked for holds.
int32_t CloseChannel(ChannelRecord* channel)
{
    ChannelState* state = StateOf(channel);
    if (state == nullptr) return ZQGD_OK;
    gluDeleteQuadric(state->quadric);
    DiscardTextureStores(state);
    DiscardViews(state);
    _ZqGDeleteList(&state->spareList);
    DiscardFonts(state);
    if (currentChannel == state) {
        wglMakeCurrent(state->deviceContext, nullptr);
        currentChannel = nullptr;
    }
    if (wglGetCurrentContext() == state->glContext) {
        wglMakeCurrent(state->deviceContext, nullptr);
        currentChannel = nullptr;
    }
    if (state->palette != nullptr) {
        SelectPalette(state->deviceContext, state->previousPalette, FALSE);
        DeleteObject(state->palette);
    }
    ReleaseDC(state->window, state->deviceContext);
    wglDeleteContext(state->glContext);
    MMfree(state);
    channel->driverState = nullptr;
    return ZQGD_OK;
}

// Nothing in the driver adds to the spare list; a payload a host put there is
// handed back with its first word cleared.
void* RemoveSpareItem(ChannelRecord* channel, int32_t key)
{
    void* payload = _ZqGDeleteListItem(&StateOf(channel)->spareList, key);
    if (payload != nullptr) *static_cast<uint32_t*>(payload) = 0;
    return payload;
}

int32_t ReservedOp3(ChannelRecord*) { return ZQGD_OK; }

int32_t ReservedOp7(ChannelRecord*) { return ZQGD_OK; }

int32_t SelectChannelPalette(ChannelRecord* channel)
{
    ChannelState* state = StateOf(channel);
    MakeChannelCurrent(state);
    if (state->palette != nullptr) {
        SelectPalette(state->deviceContext, state->palette, FALSE);
        RealizePalette(state->deviceContext);
    }
    return ZQGD_OK;
}

int32_t EndFrame(ChannelRecord* channel)
{
    ChannelState* state = StateOf(channel);
    MakeChannelCurrent(state);
    DrawCursor(channel);
    if (channel->bufferMode > ZQGD_SINGLE_BUFFERED) SwapBuffers(state->deviceContext);
    return ZQGD_OK;
}
