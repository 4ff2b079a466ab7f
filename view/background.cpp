// Backgrounds: the colour a view is cleared with and the choice of its clear
// routine.
#include "texture/texture_store.h"
#include "view.h"

// The colour goes into the view's channel context, which is made current
// first: with several channels another one may be current.
void SetBackground(ViewRecord* view, const BackgroundRecord* background)
{
    ViewState* state = StateOf(view->view);
    state->backgroundKind = background->kind;
    StoreClampedColour(state->backgroundColour, background->colour);
    state->backgroundImageId = background->imageId;
    MakeChannelCurrent(ChannelOf(view));
    glClearColor(state->backgroundColour[0], state->backgroundColour[1], state->backgroundColour[2], 1.0f);
    RefreshBackgrounds(view->channel);
}

void RefreshBackgrounds(ChannelRecord* channel)
{
    ChannelState* state = StateOf(channel);
    ForEachItem<ViewDescriptor*>(&state->viewList, [state](ViewDescriptor** item) {
        ViewState* view = StateOf(*item);
        view->clearRoutine = PlainClear;
        view->backdrop = nullptr;
        if (view->backgroundKind != 1 || view->backgroundImageId == 0) return;
        auto* entry = static_cast<TextureEntry*>(_ZqGFindListItem(&state->backdropList, view->backgroundImageId));
        if (entry == nullptr) return;
        view->backdrop = entry;
        view->clearRoutine = BackdropClear;
        view->backdropX = 0;
        view->backdropY = 0;
    });
}

// The scissor rectangle of BeginView limits the clear to the view.
void PlainClear(ViewRecord*, uint32_t clearFlags)
{
    GLbitfield mask = 0;
    if (clearFlags & ZQGD_CLEAR_COLOUR) mask |= GL_COLOR_BUFFER_BIT;
    if (clearFlags & ZQGD_CLEAR_DEPTH) mask |= GL_DEPTH_BUFFER_BIT;
    if (mask != 0) glClear(mask);
}
