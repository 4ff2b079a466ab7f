// The per-frame set-up of a view: scissor and viewport, the render mode's
// list, the background, the projection and the lights; and the environment
// switches (fog, which lights are on).
#include "driver/switches.h"
#include "view.h"

namespace {

constexpr float kRadiansToDegrees = 57.29578f;
// The largest vertical angle of a perspective: 0.99 pi (178.2 degrees).
constexpr float kMaxVerticalAngle = 3.1101768f;
// GL_LIGHT7 is never configured nor switched on.
constexpr uint32_t kMaxLights = 7;

void LoadPerspective(const ViewDescriptor* view)
{
    float ratio = static_cast<float>(view->height) / static_cast<float>(view->width);
    if (view->fieldOfView * ratio > kMaxVerticalAngle) ratio = kMaxVerticalAngle / view->fieldOfView;
    gluPerspective(view->fieldOfView * ratio * kRadiansToDegrees, 1.0f / ratio, view->nearPlane, view->farPlane);
}

void LoadProjection(const ViewDescriptor* view)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (view->orthographic != 0)
        glOrtho(-view->orthoHalfWidth, view->orthoHalfWidth, -view->orthoHalfHeight, view->orthoHalfHeight,
                view->nearPlane, view->farPlane);
    else
        LoadPerspective(view);
}

// The 3 x 4 rows of the viewing matrix as GL's column-major 4 x 4.
void MultiplyViewingMatrix(const float rows[12])
{
    GLfloat matrix[16];
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 3; ++row) matrix[column * 4 + row] = rows[row * 4 + column];
        matrix[column * 4 + 3] = column == 3 ? 1.0f : 0.0f;
    }
    glMultMatrixf(matrix);
}

uint32_t LightsInUse(const Environment* environment)
{
    return environment->lightCount < kMaxLights ? environment->lightCount : kMaxLights;
}

void ConfigureLight(GLenum light, const LightRecord& record)
{
    const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const GLfloat colour[4] = {record.colour[0], record.colour[1], record.colour[2], 1.0f};
    glLightfv(light, GL_AMBIENT, black);
    glLightfv(light, GL_DIFFUSE, colour);
    glLightfv(light, GL_SPECULAR, colour);
    const GLfloat position[4] = {record.position[0], record.position[1], record.position[2], 1.0f};
    switch (record.type) {
    case 0: {
        // The light comes from the opposite of the way it shines, at infinity.
        const GLfloat towards[4] = {-record.direction[0], -record.direction[1], -record.direction[2], 0.0f};
        glLightfv(light, GL_POSITION, towards);
        break;
    }
    case 1:
        glLightf(light, GL_LINEAR_ATTENUATION, record.linearAttenuation);
        glLightf(light, GL_SPOT_CUTOFF, 180.0f);
        glLightfv(light, GL_POSITION, position);
        break;
    case 2:
        glLightf(light, GL_LINEAR_ATTENUATION, record.linearAttenuation);
        glLightfv(light, GL_SPOT_DIRECTION, record.direction);
        glLightf(light, GL_SPOT_CUTOFF, record.spotCutoff * kRadiansToDegrees);
        glLightfv(light, GL_POSITION, position);
        break;
    default: break;
    }
}

// Lights are given in world coordinates: they are loaded under the viewing
// matrix, on top of the z mirror.
void SetupLights(const Environment* environment, const float viewingMatrix[12])
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    MultiplyViewingMatrix(viewingMatrix);
    const GLfloat ambient[4] = {environment->ambient[0], environment->ambient[1], environment->ambient[2], 1.0f};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    uint32_t count = LightsInUse(environment);
    for (uint32_t i = 0; i < count; ++i) ConfigureLight(GL_LIGHT0 + i, environment->lights[i]);
    glPopMatrix();
}

}  // namespace

void BeginView(ViewRecord* view, int32_t frameTime, const float viewingMatrix[12], uint32_t clearFlags)
{
    ChannelState* channel = ChannelOf(view);
    const ViewDescriptor* descriptor = view->view;
    ViewState* state = StateOf(descriptor);
    // Always bound, even when the channel is current already.
    BindChannel(channel);
    // In line mode the rightmost column of the view is left out.
    uint32_t scissorWidth = descriptor->width > 0 ? descriptor->width - static_cast<uint32_t>(state->lineMode) : 0;
    glScissor(descriptor->x, descriptor->y, GlSize(scissorWidth), GlSize(descriptor->height));
    glViewport(descriptor->x, descriptor->y, GlSize(descriptor->width), GlSize(descriptor->height));
    glCallList(state->displayList);
    state->clearRoutine(view, clearFlags);
    state->frameTime = frameTime;
    LoadProjection(descriptor);
    if (view->environment != nullptr) SetupLights(view->environment, viewingMatrix);
    state->lastMaterial = nullptr;
    state->lastTextureId = -1;
    state->lastTexture = nullptr;
}

void SetEnvironment(ViewRecord* view)
{
    ChannelState* channel = ChannelOf(view);
    MakeChannelCurrent(channel);
    const Environment* environment = view->environment;
    if (environment == nullptr) {
        for (GLenum light = GL_LIGHT0; light <= GL_LIGHT7; ++light) glDisable(light);
        return;
    }
    bool fog = environment->fogMode == 1;
    SwitchCapability(channel->fogEnabled, GL_FOG, fog);
    if (fog) {
        glFogi(GL_FOG_MODE, GL_LINEAR);
        glFogf(GL_FOG_START, environment->fogStart);
        glFogf(GL_FOG_END, environment->fogEnd);
        const GLfloat colour[4] = {environment->fogColour[0], environment->fogColour[1], environment->fogColour[2],
                                   1.0f};
        glFogfv(GL_FOG_COLOR, colour);
    }
    uint32_t count = LightsInUse(environment);
    for (uint32_t i = 0; i < count; ++i) glEnable(GL_LIGHT0 + i);
    for (GLenum light = GL_LIGHT0 + count; light <= GL_LIGHT7; ++light) glDisable(light);
}
