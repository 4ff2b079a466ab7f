// The twelve polygon renderers (render/renderers.cpp), in the order the render mode indexes them:
// unlit, facet and smooth groups of four, each fill, outline, fill with
// vertex arrays, outline with vertex arrays.
#pragma once

#include "zqgd/view.h"

constexpr int kRendererCount = 12;

extern const DrawPolygonsFunction kRendererTable[kRendererCount];
