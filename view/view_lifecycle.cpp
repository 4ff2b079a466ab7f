// Opening and closing views, their position and size, and the overlay extent
// derived from all views of a channel.
#include "view.h"

#include "driver/open_guard.h"

const ViewOps kViewOps = {
    .SetEnvironment = WhileOpen<SetEnvironment>::Call,        //  0
    .empty1 = nullptr,                                        //  1
    .CloseView = CloseView,                                   //  2
    .DrawPolygons = nullptr,                                  //  3: installed by OpenView
    .SetRenderMode = WhileOpen<SetRenderMode>::Call,          //  4
    .QueryPair = WhileOpen<QueryPair>::Call,                  //  5
    .ReadPixels = WhileOpen<ReadPixels>::Call,                //  6
    .empty7 = nullptr,                                        //  7
    .empty8 = nullptr,                                        //  8
    .empty9 = nullptr,                                        //  9
    .empty10 = nullptr,                                       // 10
    .BeginView = WhileOpen<BeginView>::Call,                  // 11
    .SetBackground = WhileOpen<SetBackground>::Call,          // 12
    .SetBackdropAngles = WhileOpen<SetBackdropAngles>::Call,  // 13
    .SetViewPosition = WhileOpen<SetViewPosition>::Call,      // 14
    .SetViewSize = WhileOpen<SetViewSize>::Call,              // 15
};

// The view's item is created before anything is handed to the host, so that
// a list that runs out of memory leaves the descriptor and the table as they
// were. A closed channel opens no view.
int32_t OpenView(ViewRecord* view, ViewOps* destination)
{
    if (!IsOpen(view->channel)) return ZQGD_FAILED;
    ChannelState* channel = ChannelOf(view);
    MakeChannelCurrent(channel);
    auto* state = static_cast<ViewState*>(MMmalloc(sizeof(ViewState)));
    if (state == nullptr) return ZQGD_FAILED;
    *state = ViewState{};
    auto* item = static_cast<ViewDescriptor**>(
        _ZqGCreateListItem(&channel->viewList, sizeof(ViewDescriptor*), &state->listKey, 0));
    if (item == nullptr) {
        MMfree(state);
        return ZQGD_FAILED;
    }
    *item = view->view;

    *destination = kViewOps;
    destination->DrawPolygons = kRendererTable[0];
    ViewDescriptor* descriptor = view->view;
    descriptor->ops = destination;
    descriptor->renderMode = -1;
    descriptor->state = state;
    state->backgroundKind = 0;
    state->backdrop = nullptr;
    state->lineMode = 1;
    state->clearRoutine = PlainClear;
    state->displayList = glGenLists(1);
    return ZQGD_OK;
}

// The display list lives in the channel's context, so that context is made
// current first: with several channels another one may be current. A view
// already closed (by CloseView or with its channel) is left as it is, as a
// second CloseChannel leaves its channel.
int32_t CloseView(ViewRecord* view)
{
    if (!IsOpen(view)) return ZQGD_OK;
    ChannelState* channel = ChannelOf(view);
    ViewState* state = StateOf(view->view);
    MakeChannelCurrent(channel);
    MMfree(_ZqGDeleteListItem(&channel->viewList, state->listKey));
    glDeleteLists(state->displayList, 1);
    MMfree(state);
    view->view->state = nullptr;
    return ZQGD_OK;
}

void DiscardViews(ChannelState* channel)
{
    ForEachItem<ViewDescriptor*>(&channel->viewList, [](ViewDescriptor** item) {
        MMfree((*item)->state);
        (*item)->state = nullptr;
    });
    _ZqGDeleteList(&channel->viewList);
}

int32_t SetViewPosition(ViewRecord* view, int32_t x, int32_t y)
{
    view->view->x = x;
    view->view->y = y;
    UpdateOverlayExtent(view->channel);
    return ZQGD_OK;
}

int32_t SetViewSize(ViewRecord* view, uint32_t width, uint32_t height)
{
    view->view->width = width;
    view->view->height = height;
    UpdateOverlayExtent(view->channel);
    SetBackdropAngles(view, 0.0f, 0.0f);
    return ZQGD_OK;
}

void QueryPair(ViewRecord*, int32_t pair[2])
{
    pair[0] = -1;
    pair[1] = -1;
}

// Edges are compared as unsigned 32-bit values, as the host lays them out.
void UpdateOverlayExtent(ChannelRecord* channel)
{
    ChannelState* state = StateOf(channel);
    uint32_t width = 0, height = 0;
    ForEachItem<ViewDescriptor*>(&state->viewList, [&](ViewDescriptor** item) {
        const ViewDescriptor* view = *item;
        uint32_t right = view->width + static_cast<uint32_t>(view->x);
        uint32_t top = static_cast<uint32_t>(view->y) + view->height;
        if (right > width) width = right;
        if (top > height) height = top;
    });
    state->overlayWidth = width;
    state->overlayHeight = height;
}
