// Materials of the host's table and the GL front material.
#pragma once

#include "driver/channel.h"
#include "driver/switches.h"
#include "view/view.h"
#include "zqgd/geometry.h"

// What a host that has not filled its material table draws with: opaque
// white, untextured.
extern const MaterialEntry kNoMaterial;

// The host's table entry at the index; an index past the end takes entry 0.
inline const MaterialEntry* MaterialAt(uint32_t index)
{
    const MaterialTable& table = _ZqGmaterials;
    if (table.entries == nullptr) return &kNoMaterial;
    return &table.entries[index > table.highestIndex ? 0 : index];
}

// The index a record's own material index stands for under the view's
// selection: its own, or the view's default.
inline uint32_t MaterialIndexFor(const MaterialSelection* selection, uint32_t ownIndex)
{
    if (selection == nullptr) return 0;
    return selection->usePolygonMaterial != 0 ? ownIndex : selection->defaultMaterial;
}

inline const MaterialEntry* LookupMaterial(const MaterialSelection* selection, const PolygonRecord* polygon)
{
    return MaterialAt(MaterialIndexFor(selection, polygon->materialIndex));
}

inline const MaterialEntry* LookupLightPointMaterial(const MaterialSelection* selection,
                                                     const LightPointRecord* point)
{
    return MaterialAt(MaterialIndexFor(selection, point->materialIndex));
}

// Switches blending by the material's transparency and returns its alpha.
float MaterialAlpha(ChannelState* channel, const MaterialEntry* material);

// Loads the GL front material and makes the view's cache hold it.
void LoadMaterial(ChannelState* channel, ViewState* view, const MaterialEntry* material);

// Loads the GL front material unless the view loaded this entry last. A hit
// loads nothing, but switches blending again through the flag: an outline
// renderer or the light points may have switched it off since, and a
// transparent material must still blend. When nothing changed that is two
// comparisons and no GL call.
inline void ApplyMaterial(ChannelState* channel, ViewState* view, const MaterialEntry* material)
{
    if (material != view->lastMaterial)
        LoadMaterial(channel, view, material);
    else
        SwitchCapability(channel->blendEnabled, GL_BLEND, material->transparency > 0.0f);
}
