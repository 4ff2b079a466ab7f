// The render mode: its GL state compiled into the view's display list, and
// the choice of the polygon renderer installed in the host's table.
#include "driver/probe.h"
#include "driver/switches.h"
#include "view.h"

namespace {

enum ShadingGroup { kUnlit = 0, kFacet = 1, kSmooth = 2 };

ShadingGroup GroupOf(int32_t mode)
{
    switch (mode & 0x7) {
    case ZQGD_MODE_UNLIT: return kUnlit;
    case ZQGD_MODE_FACET: return kFacet;
    default: return kSmooth;
    }
}

bool Outlined(int32_t mode) { return (mode & 0x38) == ZQGD_MODE_LINES; }

void CompileShading(int32_t mode) { glShadeModel(GroupOf(mode) == kSmooth ? GL_SMOOTH : GL_FLAT); }

void CompilePolygonMode(int32_t mode)
{
    GLenum polygonMode = GL_FILL;
    if ((mode & 0x38) == ZQGD_MODE_POINTS) polygonMode = GL_POINT;
    if (Outlined(mode)) polygonMode = GL_LINE;
    glPolygonMode(GL_FRONT_AND_BACK, polygonMode);
}

// The switch enters the list only when the cached flag differs now.
void CompileDepthTest(ChannelState* channel, int32_t mode)
{
    int32_t depth = mode & 0xE00;
    if (depth == ZQGD_MODE_DEPTH_OFF || depth == ZQGD_MODE_DEPTH_ON)
        SwitchCapability(channel->depthTestEnabled, GL_DEPTH_TEST, depth == ZQGD_MODE_DEPTH_ON);
}

}  // namespace

int RendererIndex(int32_t mode, bool vertexArrays)
{
    return GroupOf(mode) * 4 + (Outlined(mode) ? 1 : 0) + (vertexArrays ? 2 : 0);
}

int32_t SetRenderMode(ViewRecord* view, int32_t mode)
{
    ViewDescriptor* descriptor = view->view;
    if (mode == descriptor->renderMode) return ZQGD_OK;
    ChannelState* channel = ChannelOf(view);
    ViewState* state = StateOf(descriptor);
    MakeChannelCurrent(channel);
    glNewList(state->displayList, GL_COMPILE_AND_EXECUTE);
    CompileShading(mode);
    CompilePolygonMode(mode);
    state->lineMode = Outlined(mode) ? 1 : 0;
    CompileDepthTest(channel, mode);
    bool vertexArrays = capabilities.vertexPointer != nullptr || capabilities.vertexPointerExt != nullptr;
    descriptor->ops->DrawPolygons = kRendererTable[RendererIndex(mode, vertexArrays)];
    descriptor->renderMode = mode;
    glEndList();
    return ZQGD_OK;
}
