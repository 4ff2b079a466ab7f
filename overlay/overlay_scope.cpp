#include "overlay_scope.h"

namespace {

constexpr std::initializer_list<GLenum> kSwitchedOff = {GL_ALPHA_TEST, GL_BLEND,        GL_DEPTH_TEST,
                                                        GL_FOG,        GL_LIGHTING,     GL_LINE_SMOOTH,
                                                        GL_POINT_SMOOTH, GL_POLYGON_SMOOTH, GL_TEXTURE_2D};

}  // namespace

OverlayScope::OverlayScope(const ChannelState* state) : guard_(kSwitchedOff)
{
    glPushAttrib(GL_ENABLE_BIT);
    glPushAttrib(GL_LIGHTING_BIT);
    glPushAttrib(GL_POLYGON_BIT);
    for (GLenum capability : kSwitchedOff) glDisable(capability);
    glShadeModel(GL_FLAT);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, state->overlayWidth, state->overlayHeight, 0);
}

OverlayScope::~OverlayScope()
{
    glPopAttrib();
    glPopAttrib();
    glPopAttrib();
    guard_.restore();
}
