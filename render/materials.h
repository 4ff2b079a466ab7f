// Materials of the host's table and the GL front material.
#pragma once

#include "driver/channel.h"
#include "view/view.h"
#include "zqgd/geometry.h"

const MaterialEntry* LookupMaterial(const MaterialSelection* selection, const PolygonRecord* polygon);
const MaterialEntry* LookupLightPointMaterial(const MaterialSelection* selection, const LightPointRecord* point);

// Switches blending by the material's transparency and returns its alpha.
float MaterialAlpha(ChannelState* channel, const MaterialEntry* material);

// Loads the GL front material unless the view loaded this entry last.
void ApplyMaterial(ChannelState* channel, ViewState* view, const MaterialEntry* material);
