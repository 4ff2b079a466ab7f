// The driver's private record of a view and the view operations.
#pragma once

#include "driver/channel.h"
#include "render/renderer_table.h"
#include "zqgd/geometry.h"
#include "zqgd/view.h"

struct TextureEntry;

using ClearRoutine = void (*)(ViewRecord* view, uint32_t clearFlags);

struct ViewState {
    int32_t listKey;                   // first word: the view list stores the item's key here
    GLuint displayList;                // the render mode's GL state
    int32_t backgroundKind;            // 0 plain colour, 1 backdrop image
    float backgroundColour[3];         // clamped to 0..1
    int32_t backgroundImageId;
    TextureEntry* backdrop;            // the bound backdrop image, or null
    int32_t backdropX, backdropY;      // its lower left corner in the view
    ClearRoutine clearRoutine;
    int32_t frameTime;
    int32_t lineMode;                  // 1 while polygons are outlined
    const MaterialEntry* lastMaterial; // per-frame caches, reset by BeginView
    int32_t lastTextureId;
    TextureEntry* lastTexture;
    int32_t lastTextureKeyed;          // lastTexture has the transparent colour: alpha testing on
};

inline ViewState* StateOf(const ViewDescriptor* view) { return static_cast<ViewState*>(view->state); }
inline ChannelState* ChannelOf(const ViewRecord* view) { return StateOf(view->channel); }

// The table that OpenView copies into the host's memory.
extern const ViewOps kViewOps;

int32_t OpenView(ViewRecord* view, ViewOps* destination);
int32_t CloseView(ViewRecord* view);
int32_t SetViewPosition(ViewRecord* view, int32_t x, int32_t y);
int32_t SetViewSize(ViewRecord* view, uint32_t width, uint32_t height);
void QueryPair(ViewRecord* view, int32_t pair[2]);
void UpdateOverlayExtent(ChannelRecord* channel);
// Frees the state of views the host left open and empties the view list;
// their display lists go with the context.
void DiscardViews(ChannelState* channel);

int32_t SetRenderMode(ViewRecord* view, int32_t mode);
// The RendererTable index of a mode: 4 x shading group + 1 for outlines + 2
// when vertex arrays are available.
int RendererIndex(int32_t mode, bool vertexArrays);

void BeginView(ViewRecord* view, int32_t frameTime, const float viewingMatrix[12], uint32_t clearFlags);
void SetEnvironment(ViewRecord* view);

void SetBackground(ViewRecord* view, const BackgroundRecord* background);
void RefreshBackgrounds(ChannelRecord* channel);
void PlainClear(ViewRecord* view, uint32_t clearFlags);
void BackdropClear(ViewRecord* view, uint32_t clearFlags);
void SetBackdropAngles(ViewRecord* view, float vertical, float horizontal);

int32_t ReadPixels(ViewRecord* view, Bitmap* bitmap);

// Describes a width x height image in the driver's own layout: packed 32-bit
// words, red in the lowest byte, then green and blue, the fourth byte free
// for alpha. The pixels are left null.
void DescribeRgbaImage(Bitmap* bitmap, uint32_t width, uint32_t height);

// A size from the host as a GL size: sizes beyond the signed range are
// clamped rather than wrapped to negative values.
inline GLsizei GlSize(uint32_t size) { return size > INT32_MAX ? INT32_MAX : static_cast<GLsizei>(size); }
