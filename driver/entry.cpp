// The module's two exported entry points.
#include <cstdio>
#include <cstring>

#include "channel.h"
#include "overlay/overlay.h"

namespace {

constexpr size_t kDescriptionSize = 32;
constexpr uint32_t kModeCount = 2;
constexpr uint32_t kCapabilityFlags = 0x6E83;
constexpr float kLowBound = -1e20f;
constexpr float kHighBound = 1e20f;
constexpr int32_t kDefaultFontId = -1;
constexpr const char* kDefaultFontFile = "6x12.bdf";

int DesktopBitsPerPixel()
{
    HWND desktop = GetDesktopWindow();
    HDC dc = GetDC(desktop);
    int bits = GetDeviceCaps(dc, BITSPIXEL);
    ReleaseDC(desktop, dc);
    return bits;
}

void InitialiseState(ChannelState* state, const ChannelRequest* request, TextureLoadCallback textureLoad)
{
    std::memset(state, 0, sizeof *state);
    state->window = *request->window;
    state->textureLoad = textureLoad;
}

void InitialiseOverlay(ChannelRecord* channel)
{
    channel->cursorVisible = 0;
    channel->cursorX = static_cast<int32_t>(channel->frameFormat.width / 2);
    channel->cursorY = static_cast<int32_t>(channel->frameFormat.height / 2);
    channel->cursorColour[0] = channel->cursorColour[1] = channel->cursorColour[2] = 1.0f;
    channel->cursorSize = 1;
    channel->cursorStyle = 0;
    channel->reserved29 = 0;
    channel->reserved30 = 0;
    channel->penColour[0] = channel->penColour[1] = channel->penColour[2] = 1.0f;
    channel->backColour[0] = channel->backColour[1] = channel->backColour[2] = 0.0f;
    channel->transparentText = 1;
}

// What open writes into host memory, kept so that a failed open can put it
// back as it was.
struct HostSnapshot {
    ChannelRecord channel;
    ChannelRequest request;
    ChannelOps ops;

    HostSnapshot(const ChannelRecord* c, const ChannelRequest* r, const ChannelOps* o)
        : channel(*c), request(*r), ops(*o) {}

    void restore(ChannelRecord* c, ChannelRequest* r, ChannelOps* o) const
    {
        *c = channel;
        *r = request;
        *o = ops;
    }
};

}  // namespace

extern "C" ZQGD_EXPORT DriverDescription* ZqGDDescription(DriverDescription* description)
{
    if (description == nullptr) return nullptr;
    int bits = DesktopBitsPerPixel();
    // Both blocks or neither: when memory runs out the host finds no text,
    // no modes and a mode count of 0.
    auto* text = static_cast<char*>(MMmalloc(kDescriptionSize));
    auto* modes = static_cast<DriverMode*>(MMmalloc(kModeCount * sizeof(DriverMode)));
    if (text == nullptr || modes == nullptr) {
        MMfree(text);
        MMfree(modes);
        text = nullptr;
        modes = nullptr;
    }
    description->description = text;
    if (text != nullptr) std::snprintf(text, kDescriptionSize, "Open GL %dBits/Pixel", bits);
    description->modes = modes;
    description->modeCount = modes != nullptr ? kModeCount : 0;
    for (uint32_t i = 0; i < description->modeCount; ++i)
        description->modes[i] = {0, 0, static_cast<uint32_t>(bits), 0, i + 1};
    description->hostWord4 = 0;
    description->hostWord5 = 1;
    description->hostWord6 = 32;
    description->capabilityFlags = kCapabilityFlags;
    description->hostWord9 = 0;
    description->lowBounds[0] = description->lowBounds[1] = kLowBound;
    description->highBounds[0] = description->highBounds[1] = kHighBound;
    return description;
}

extern "C" ZQGD_EXPORT int32_t ZqGDOpenChannel(ChannelRecord* channel, ChannelRequest* request,
                                               ChannelOps* opsDestination, TextureLoadCallback textureLoad)
{
    // Records the host did not give cannot be filled: refused before anything.
    if (channel == nullptr || request == nullptr || opsDestination == nullptr || request->window == nullptr)
        return ZQGD_FAILED;
    auto* state = static_cast<ChannelState*>(MMmalloc(sizeof(ChannelState)));
    if (state == nullptr) return ZQGD_FAILED;
    InitialiseState(state, request, textureLoad);
    const HostSnapshot before(channel, request, opsDestination);

    *opsDestination = kChannelOps;
    channel->ops = opsDestination;
    channel->driverState = state;
    channel->frameFormat.height = request->height;
    channel->frameFormat.width = request->width;
    channel->frameFormat.pixels = nullptr;
    if (request->bufferMode != ZQGD_SINGLE_BUFFERED) request->bufferMode = ZQGD_DOUBLE_BUFFERED;
    request->clearedWord4 = 0;
    channel->bufferMode = request->bufferMode;
    channel->reserved19 = 0;
    InitialiseOverlay(channel);

    if (!CreateContext(channel)) {
        before.restore(channel, request, opsDestination);
        MMfree(state);
        return ZQGD_FAILED;
    }
    LoadFont(channel, kDefaultFontId, kDefaultFontFile);
    SelectFont(channel, kDefaultFontId);
    return ZQGD_OK;
}
