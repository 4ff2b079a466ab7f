// Light points: small spheres in their material's emission colour, drawn
// when the host says they are lit and seen from the eye.
#pragma once

#include "zqgd/geometry.h"
#include "zqgd/view.h"

void DrawLightPoints(ViewRecord* view, const float eyePosition[3], const PolygonList* list);
