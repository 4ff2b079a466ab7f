// The driver's private record of a channel and the current-channel rule.
#pragma once

#include <windows.h>

#include <cfloat>

#include <GL/gl.h>
#include <GL/glu.h>

#include "zqgd/driver.h"
#include "zqgd/host.h"

// Floats are rounded to their own precision after every operation on every
// target, so that all builds place pixels alike. 32-bit x86 compilers keep
// x87 excess precision unless told to use SSE2 (-msse2 -mfpmath=sse, as the
// 32-bit toolchain files of cmake/ do).
static_assert(sizeof(void*) != 4 || FLT_EVAL_METHOD == 0,
              "32-bit builds must compute floats in SSE2 registers: -msse2 -mfpmath=sse");

struct ChannelState {
    HWND window;
    HDC deviceContext;
    HPALETTE palette;           // the 3-3-2 palette of an 8-bit format, else null
    HPALETTE previousPalette;   // what the device context had selected before
    HGLRC glContext;
    GLUquadric* quadric;        // spheres of the light points
    KeyedList textureList;      // texture maps realised in GL, by texture id
    KeyedList backdropList;     // backdrop images kept in memory, by texture id
    KeyedList fontList;         // loaded fonts, by font id
    KeyedList viewList;         // one item per open view: its ViewDescriptor
    KeyedList spareList;        // nothing in the driver adds to it
    void* currentFont;
    // Mirrors of GL enables: whoever switches one updates its mirror, and
    // drawing code tests the mirror instead of asking GL.
    int32_t textureEnabled;
    int32_t lightingEnabled;
    int32_t blendEnabled;
    int32_t alphaTestEnabled;
    int32_t depthTestEnabled;
    int32_t fogEnabled;
    uint32_t overlayWidth;      // largest right edge of the channel's views
    uint32_t overlayHeight;     // largest top edge
    TextureLoadCallback textureLoad;
};

// The channel whose GL context was made current last, or null.
extern ChannelState* currentChannel;

// Binds the channel's context and records the channel as current; false
// (and no channel current) when the bind fails.
bool BindChannel(ChannelState* state);
// Makes the channel's context current unless it already is.
void MakeChannelCurrent(ChannelState* state);

inline ChannelState* StateOf(const ChannelRecord* channel)
{
    return static_cast<ChannelState*>(channel->driverState);
}

// Calls visit with every payload of the list, in list order, as a Payload*.
template <typename Payload, typename Visit>
void ForEachItem(KeyedList* list, Visit visit)
{
    for (void* item = _ZqGFirstListItem(list); item != nullptr; item = _ZqGNextListItem(list))
        visit(static_cast<Payload*>(item));
}

// Stores a colour with every component held to 0..1: above 1 gives 1;
// below 0, and NaN, give 0.
inline void StoreClampedColour(float destination[3], const float colour[3])
{
    for (int i = 0; i < 3; ++i) {
        float c = colour[i];
        destination[i] = c > 1.0f ? 1.0f : (c >= 0.0f ? c : 0.0f);
    }
}

// The table that open copies into the host's memory.
extern const ChannelOps kChannelOps;

// Creates the channel's GL context and puts GL into the driver's initial
// state. Returns false, with everything it acquired released, when the device
// has no pixel format or the context cannot be created, bound or equipped.
bool CreateContext(ChannelRecord* channel);

// The channel operations that belong to the channel itself.
void QueryImageFormat(ChannelRecord* channel, int32_t mode, Bitmap* bitmap);
int32_t CloseChannel(ChannelRecord* channel);
void* RemoveSpareItem(ChannelRecord* channel, int32_t key);
int32_t ReservedOp3(ChannelRecord* channel);
int32_t SelectChannelPalette(ChannelRecord* channel);
int32_t ReservedOp7(ChannelRecord* channel);
int32_t EndFrame(ChannelRecord* channel);
