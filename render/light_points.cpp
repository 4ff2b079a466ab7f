#include "light_points.h"

#include <cmath>

#include "driver/switches.h"
#include "materials.h"

namespace {

// The fade at the edges of a visibility sector: 3 degrees.
constexpr float kSectorFade = 0.05235988f;

// The factor the point's size is scaled by: 0 when it is not drawn.
float Visibility(const ViewState* view, const float eye[3], const float position[3], const LightPointRecord& point)
{
    if (ZqGBeaconFlash(point.flash, view->frameTime) == 0) return 0.0f;
    float horizontal = ZqGBeaconHorizontalSector(eye, position, point.horizontalSector, kSectorFade);
    if (horizontal == 0.0f || std::isnan(horizontal)) return 0.0f;
    float factor = ZqGBeaconVerticalSector(eye, position, point.verticalSector, kSectorFade) * horizontal;
    return std::isnan(factor) ? 0.0f : factor;
}

}  // namespace

void DrawLightPoints(ViewRecord* view, const float eyePosition[3], const PolygonList* list)
{
    ChannelState* channel = ChannelOf(view);
    const ViewState* state = StateOf(view->view);
    SwitchCapability(channel->blendEnabled, GL_BLEND, false);
    SwitchCapability(channel->lightingEnabled, GL_LIGHTING, false);
    for (uint32_t i = 0; i < list->lightPointCount; ++i) {
        const LightPointRecord& point = list->lightPoints[i];
        const float* position = list->vertices[point.vertexIndex];
        float factor = Visibility(state, eyePosition, position, point);
        if (factor == 0.0f) continue;
        glColor3fv(LookupLightPointMaterial(view->materialSelection, &point)->emission);
        glPushMatrix();
        glTranslatef(position[0], position[1], position[2]);
        gluSphere(channel->quadric, point.size * factor * 0.5f, 4, 4);
        glPopMatrix();
    }
}
