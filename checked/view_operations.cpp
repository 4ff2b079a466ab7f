// The checked view operations: the table OpenView hands the host in the
// layer's place. The driver's renderer for the view's mode stays in the
// view's entry; the host's slot 3 always holds the layer's DrawPolygons.
#include <cmath>

#include "layer.h"
#include "record_checks.h"

namespace checked {

namespace {

// The entry of an open view used with the channel it was opened on, or null
// after reporting a missing record, a closed view or another channel.
ViewEntry* Open(ViewRecord* view, const char* operation)
{
    if (view == nullptr || view->view == nullptr) {
        Report(nullptr, operation, Rule::MissingRecord, "the view record or its descriptor is null");
        return nullptr;
    }
    ViewEntry* entry = FindView(view->view);
    if (view->view->state == nullptr || entry == nullptr) {
        Report(view->channel, operation, Rule::ClosedView, "view %s is %s: the call does nothing", Hex(view->view).text,
               view->view->state == nullptr ? "closed" : "not open through the checked module");
        return nullptr;
    }
    if (view->channel != entry->openedOn) {
        Report(entry->openedOn, operation, Rule::ForeignChannel, "view %s is used with channel %s, opened on %s",
               Hex(view->view).text, Hex(view->channel).text, Hex(entry->openedOn).text);
        return nullptr;
    }
    return entry;
}

// The view's channel entry; the view is open, so its channel is.
ChannelEntry& ChannelOf(const ViewRecord* view) { return *FindChannel(view->channel); }

bool Missing(const ViewRecord* view, const char* operation, const void* pointer, const char* what)
{
    if (pointer != nullptr) return false;
    Report(view->channel, operation, Rule::MissingRecord, "%s is null", what);
    return true;
}

template <typename Result, typename... Parameters, typename... Arguments>
Result Forward(ViewRecord* view, const char* operation, Result (*ViewOps::*slot)(Parameters...), Arguments... arguments)
{
    ViewEntry* entry = Open(view, operation);
    if (entry == nullptr) return ClosedResult<Result>();
    return PassOn(view->channel, operation, entry->real.*slot, view, arguments...);
}

// SetRenderMode puts the mode's renderer in slot 3 of the table the
// descriptor names, the host's: the layer takes it and puts its own back.
void TakeRenderer(ViewRecord* view, ViewEntry& entry)
{
    ViewOps* table = view->view->ops;
    if (table == nullptr || table->DrawPolygons == kViewOps.DrawPolygons) return;
    entry.real.DrawPolygons = table->DrawPolygons;
    table->DrawPolygons = kViewOps.DrawPolygons;
}

void SetEnvironment(ViewRecord* view)
{
    ViewEntry* entry = Open(view, "SetEnvironment");
    if (entry == nullptr || !CheckEnvironment({view->channel, "SetEnvironment"}, view->environment)) return;
    PassOn(view->channel, "SetEnvironment", entry->real.SetEnvironment, view);
}

// Closing what is closed is allowed and reported by nobody.
int32_t CloseView(ViewRecord* view)
{
    if (view == nullptr || view->view == nullptr || view->view->state == nullptr) return 0;
    ViewEntry* entry = Open(view, "CloseView");
    if (entry == nullptr) return 0;
    const ViewDescriptor* descriptor = view->view;
    int32_t status = PassOn(view->channel, "CloseView", entry->real.CloseView, view);
    ChannelEntry& channel = ChannelOf(view);
    if (channel.begun == descriptor) channel.begun = nullptr;
    RemoveView(descriptor);
    return status;
}

void DrawPolygons(ViewRecord* view, void* unused, GeometryBlock* geometry)
{
    const char* operation = "DrawPolygons";
    ViewEntry* entry = Open(view, operation);
    if (entry == nullptr) return;
    ChannelEntry& channel = ChannelOf(view);
    if (channel.begun == nullptr)
        Report(view->channel, operation, Rule::DrawOutsideFrame, "view %s draws outside BeginView ... EndFrame",
               Hex(view->view).text);
    else if (channel.begun != view->view)
        Report(view->channel, operation, Rule::DrawOutsideFrame, "view %s draws while view %s of its channel is begun",
               Hex(view->view).text, Hex(channel.begun).text);
    if (!CheckGeometry({view->channel, operation}, *view, geometry, channel)) return;
    PassOn(view->channel, operation, entry->real.DrawPolygons, view, unused, geometry);
}

int32_t SetRenderMode(ViewRecord* view, int32_t mode)
{
    ViewEntry* entry = Open(view, "SetRenderMode");
    if (entry == nullptr) return ZQGD_FAILED;
    int32_t status = PassOn(view->channel, "SetRenderMode", entry->real.SetRenderMode, view, mode);
    TakeRenderer(view, *entry);
    return status;
}

void QueryPair(ViewRecord* view, int32_t pair[2])
{
    if (view != nullptr && Missing(view, "QueryPair", pair, "the pair")) return;
    Forward(view, "QueryPair", &ViewOps::QueryPair, pair);
}

int32_t ReadPixels(ViewRecord* view, Bitmap* bitmap)
{
    ViewEntry* entry = Open(view, "ReadPixels");
    if (entry == nullptr || Missing(view, "ReadPixels", bitmap, "the bitmap")) return ZQGD_FAILED;
    CheckWindow(view->channel, ChannelOf(view), "ReadPixels");
    return PassOn(view->channel, "ReadPixels", entry->real.ReadPixels, view, bitmap);
}

void BeginView(ViewRecord* view, int32_t frameTime, const float viewingMatrix[12], uint32_t clearFlags)
{
    const char* operation = "BeginView";
    ViewEntry* entry = Open(view, operation);
    if (entry == nullptr || Missing(view, operation, viewingMatrix, "the viewing matrix")) return;
    const Site site{view->channel, operation};
    if (!CheckEnvironment(site, view->environment)) return;
    CheckFinite(site, "viewingMatrix", viewingMatrix, 12);
    CheckViewVolume(site, *view->view);
    ChannelEntry& channel = ChannelOf(view);
    CheckWindow(view->channel, channel, operation);
    PassOn(view->channel, operation, entry->real.BeginView, view, frameTime, viewingMatrix, clearFlags);
    channel.begun = view->view;
}

void SetBackground(ViewRecord* view, const BackgroundRecord* background)
{
    ViewEntry* entry = Open(view, "SetBackground");
    if (entry == nullptr || Missing(view, "SetBackground", background, "the background")) return;
    if (background->kind == 1 && ChannelOf(view).backdrops.count(background->imageId) == 0)
        Report(view->channel, "SetBackground", Rule::UnknownTexture,
               "backdrop %d is not defined: view %s clears to its colour until it is", background->imageId,
               Hex(view->view).text);
    PassOn(view->channel, "SetBackground", entry->real.SetBackground, view, background);
}

void SetBackdropAngles(ViewRecord* view, float vertical, float horizontal)
{
    ViewEntry* entry = Open(view, "SetBackdropAngles");
    if (entry == nullptr) return;
    const float angles[2] = {vertical, horizontal};
    CheckFinite({view->channel, "SetBackdropAngles"}, "the vertical and horizontal angles", angles, 2);
    PassOn(view->channel, "SetBackdropAngles", entry->real.SetBackdropAngles, view, vertical, horizontal);
}

int32_t SetViewPosition(ViewRecord* view, int32_t x, int32_t y)
{
    return Forward(view, "SetViewPosition", &ViewOps::SetViewPosition, x, y);
}

int32_t SetViewSize(ViewRecord* view, uint32_t width, uint32_t height)
{
    return Forward(view, "SetViewSize", &ViewOps::SetViewSize, width, height);
}

}  // namespace

const ViewOps kViewOps = {
    .SetEnvironment = SetEnvironment,        //  0
    .empty1 = nullptr,                       //  1
    .CloseView = CloseView,                  //  2
    .DrawPolygons = DrawPolygons,            //  3
    .SetRenderMode = SetRenderMode,          //  4
    .QueryPair = QueryPair,                  //  5
    .ReadPixels = ReadPixels,                //  6
    .empty7 = nullptr,                       //  7
    .empty8 = nullptr,                       //  8
    .empty9 = nullptr,                       //  9
    .empty10 = nullptr,                      // 10
    .BeginView = BeginView,                  // 11
    .SetBackground = SetBackground,          // 12
    .SetBackdropAngles = SetBackdropAngles,  // 13
    .SetViewPosition = SetViewPosition,      // 14
    .SetViewSize = SetViewSize,              // 15
};

}  // namespace checked
