// The channel's stores of texture maps (realised in GL) and backdrop images
// (kept in memory), and binding a texture for a polygon.
#pragma once

#include "driver/channel.h"
#include "driver/switches.h"
#include "view/view.h"
#include "zqgd/texture.h"

struct TextureEntry {
    int32_t id;
    int32_t kind;              // 0 backdrop image, 2 texture map
    Bitmap image;              // 32-bit RGBA; backdrops bottom row first
    int32_t ownsPixels;        // 0: image.pixels is the host's memory
    int32_t uploadedLevels;    // texture objects: 0 none, 1 one level, 2 mipmaps
    GLuint glName;             // texture object or display list, 0 until generated
    float horizontalAngle;     // backdrops: direction of the centre, 0..2 pi
    float verticalAngle;
    float angularWidth;
    GLenum envMode;            // texture objects: GL_MODULATE or GL_DECAL
    int32_t hasTransparency;   // some texel had the transparent colour
    uint32_t keyRed, keyGreen, keyBlue;
    int32_t matrixIsIdentity;
    float textureMatrix[9];    // valid when matrixIsIdentity is 0
};

// A backdrop angle brought into 0 .. 2 pi (the single-precision 2 pi); NaN
// and infinite angles carry no direction and are taken as 0.
float NormaliseBackdropAngle(float angle);

int32_t DefineTexture(ChannelRecord* channel, int32_t id, TextureDefinition* definition, uint32_t newImage);
void DeleteTexture(ChannelRecord* channel, int32_t id);

// Frees the pixel memory the entries of both stores own and empties the
// stores; their GL names go with the context.
void DiscardTextureStores(ChannelState* state);

// Binds the texture under the id for the next polygon and caches it in the
// view, whatever the cache holds: SelectTexture's work on a cache miss.
TextureEntry* SelectUncachedTexture(ChannelRecord* channel, ChannelState* state, ViewState* view, int32_t id);

// Makes the material's texture current for the next polygon, loading it
// through the host's callback when it is not defined yet. Returns the bound
// entry, or null when the polygon is drawn untextured.
//
// A request for the id the view's cache holds returns the cached entry with
// no lookup, and re-establishes its enables through the channel's flags: an
// outline renderer may have switched texturing off since, and the hit must
// still draw textured. It reads only the view's and the channel's state, and
// makes no GL call when nothing changed.
inline TextureEntry* SelectTexture(ChannelRecord* channel, ChannelState* state, ViewState* view,
                                   const MaterialEntry* material)
{
    int32_t id = material->textured ? material->textureId : 0;
    if (id != view->lastTextureId) return SelectUncachedTexture(channel, state, view, id);
    TextureEntry* cached = view->lastTexture;
    if (cached != nullptr) {
        SwitchCapability(state->textureEnabled, GL_TEXTURE_2D, true);
        SwitchCapability(state->alphaTestEnabled, GL_ALPHA_TEST, view->lastTextureKeyed != 0);
    }
    return cached;
}
