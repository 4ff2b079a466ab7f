// The checked channel operations: the table the layer hands the host, opening
// a channel through the next level, and the texture loader between the
// driver and the host.
#include "layer.h"
#include "record_checks.h"

namespace checked {

namespace {

// The entry of an open channel opened through the layer, or null after
// reporting a missing or closed one.
ChannelEntry* Open(ChannelRecord* channel, const char* operation)
{
    if (channel == nullptr) {
        Report(nullptr, operation, Rule::MissingRecord, "the channel record is null");
        return nullptr;
    }
    ChannelEntry* entry = FindChannel(channel);
    if (channel->driverState == nullptr || entry == nullptr) {
        Report(channel, operation, Rule::ClosedChannel, "channel %s is %s: the call does nothing", Hex(channel).text,
               channel->driverState == nullptr ? "closed" : "not open through the checked module");
        return nullptr;
    }
    return entry;
}

// Reports a null pointer the operation reads; true when there is one.
bool Missing(ChannelRecord* channel, const char* operation, const void* pointer, const char* what)
{
    if (pointer != nullptr) return false;
    Report(channel, operation, Rule::MissingRecord, "%s is null", what);
    return true;
}

void CheckOverlayInFrame(ChannelRecord* channel, const ChannelEntry& entry, const char* operation)
{
    if (entry.begun == nullptr)
        Report(channel, operation, Rule::OverlayOutsideFrame,
               "channel %s draws overlay outside BeginView ... EndFrame, in no view's frame", Hex(channel).text);
}

// An operation with no check of its own: the channel open, then passed on.
template <typename Result, typename... Parameters, typename... Arguments>
Result Forward(ChannelRecord* channel, const char* operation, Result (*ChannelOps::*slot)(Parameters...),
               Arguments... arguments)
{
    ChannelEntry* entry = Open(channel, operation);
    if (entry == nullptr) return ClosedResult<Result>();
    return PassOn(channel, operation, entry->real.*slot, channel, arguments...);
}

bool Defines(int32_t operation) { return operation == ZQGD_DEFINE_TEXTURE || operation == ZQGD_DEFINE_BACKDROP; }

bool Known(const ChannelEntry& entry, int32_t id) { return entry.textures.count(id) + entry.backdrops.count(id) != 0; }

void CheckDefinition(ChannelRecord* channel, const ChannelEntry& entry, int32_t id, const TextureDefinition& definition,
                     uint32_t newImage)
{
    const Site site{channel, "DefineTexture"};
    int32_t operation = definition.operation;
    bool texture = operation == ZQGD_DEFINE_TEXTURE;
    if (!Defines(operation) && operation != ZQGD_DELETE_TEXTURE)
        Report(channel, site.operation, Rule::TextureOperation,
               "id %d: operation %d is none of ZQGD_DEFINE_BACKDROP (0), ZQGD_DELETE_TEXTURE (1) and "
               "ZQGD_DEFINE_TEXTURE (2): nothing is done",
               id, operation);
    if (Defines(operation) && id == 0)
        Report(channel, site.operation, Rule::IdZero, "id 0 names nothing: the definition is refused");
    if (Defines(operation) && newImage != 0) CheckImage(site, id, definition.image);
    if (Defines(operation) && newImage == 0 && id != 0 && (texture ? entry.textures : entry.backdrops).count(id) == 0)
        Report(channel, site.operation, Rule::UnknownTexture,
               "id %d names no %s: its parameters alone (newImage 0) define nothing", id,
               texture ? "texture map" : "backdrop image");
    if (operation == ZQGD_DELETE_TEXTURE && !Known(entry, id))
        Report(channel, site.operation, Rule::UnknownTexture, "id %d names no texture map or backdrop to delete", id);
    if (texture) CheckTextureParameters(site, id, definition);
}

// The ids the channel holds after a definition: the kind defined, neither
// after a deletion or a definition that lost its image.
void RecordDefinition(ChannelEntry& entry, int32_t id, const TextureDefinition& definition, uint32_t newImage,
                      int32_t status)
{
    int32_t operation = definition.operation;
    bool defines = Defines(operation) && id != 0;
    if (operation == ZQGD_DELETE_TEXTURE || (defines && status != ZQGD_OK && newImage != 0)) {
        entry.textures.erase(id);
        entry.backdrops.erase(id);
    } else if (defines && status == ZQGD_OK) {
        auto& kind = operation == ZQGD_DEFINE_TEXTURE ? entry.textures : entry.backdrops;
        auto& other = operation == ZQGD_DEFINE_TEXTURE ? entry.backdrops : entry.textures;
        other.erase(id);
        if (newImage != 0) kind.insert(id);
    }
}

void QueryImageFormat(ChannelRecord* channel, int32_t mode, Bitmap* bitmap)
{
    if (Missing(channel, "QueryImageFormat", bitmap, "the bitmap")) return;
    Forward(channel, "QueryImageFormat", &ChannelOps::QueryImageFormat, mode, bitmap);
}

// Closing what is closed is allowed and reported by nobody.
int32_t CloseChannel(ChannelRecord* channel)
{
    if (channel == nullptr || channel->driverState == nullptr) return 0;
    ChannelEntry* entry = Open(channel, "CloseChannel");
    if (entry == nullptr) return 0;
    int32_t status = PassOn(channel, "CloseChannel", entry->real.CloseChannel, channel);
    RemoveViewsOf(channel);
    RemoveChannel(channel);
    Summarise(channel);
    return status;
}

void* RemoveSpareItem(ChannelRecord* channel, int32_t key)
{
    return Forward(channel, "RemoveSpareItem", &ChannelOps::RemoveSpareItem, key);
}

// The reserved slots read none of their arguments: nothing to check.
int32_t ReservedOp3(ChannelRecord* channel)
{
    ChannelEntry* entry = channel != nullptr ? FindChannel(channel) : nullptr;
    return entry != nullptr ? entry->real.ReservedOp3(channel) : 0;
}

int32_t ReservedOp7(ChannelRecord* channel)
{
    ChannelEntry* entry = channel != nullptr ? FindChannel(channel) : nullptr;
    return entry != nullptr ? entry->real.ReservedOp7(channel) : 0;
}

// The view's table is the layer's; the driver's stays with the view.
int32_t OpenView(ViewRecord* view, ViewOps* destination)
{
    const char* operation = "OpenView";
    if (Missing(nullptr, operation, view, "the view record") || Missing(nullptr, operation, view->view, "view->view") ||
        Missing(nullptr, operation, destination, "the destination table"))
        return ZQGD_FAILED;
    ChannelEntry* entry = Open(view->channel, operation);
    if (entry == nullptr) return ZQGD_FAILED;
    int32_t status = PassOn(view->channel, operation, entry->real.OpenView, view, destination);
    if (status != ZQGD_OK) return status;
    ViewEntry& opened = AddView(view->view);
    opened.openedOn = view->channel;
    opened.real = *destination;
    *destination = kViewOps;
    return status;
}

void DeleteTexture(ChannelRecord* channel, int32_t textureId)
{
    ChannelEntry* entry = Open(channel, "DeleteTexture");
    if (entry == nullptr) return;
    if (!Known(*entry, textureId))
        Report(channel, "DeleteTexture", Rule::UnknownTexture, "id %d names no texture map or backdrop to delete",
               textureId);
    PassOn(channel, "DeleteTexture", entry->real.DeleteTexture, channel, textureId);
    entry->textures.erase(textureId);
    entry->backdrops.erase(textureId);
}

int32_t SelectChannelPalette(ChannelRecord* channel)
{
    ChannelEntry* entry = Open(channel, "SelectChannelPalette");
    if (entry == nullptr) return ZQGD_FAILED;
    CheckWindow(channel, *entry, "SelectChannelPalette");
    return PassOn(channel, "SelectChannelPalette", entry->real.SelectChannelPalette, channel);
}

int32_t DefineTexture(ChannelRecord* channel, int32_t textureId, TextureDefinition* definition, uint32_t newImage)
{
    ChannelEntry* entry = Open(channel, "DefineTexture");
    if (entry == nullptr) return ZQGD_FAILED;
    if (Missing(channel, "DefineTexture", definition, "the definition")) return ZQGD_FAILED;
    CheckDefinition(channel, *entry, textureId, *definition, newImage);
    int32_t status =
        PassOn(channel, "DefineTexture", entry->real.DefineTexture, channel, textureId, definition, newImage);
    RecordDefinition(*entry, textureId, *definition, newImage, status);
    return status;
}

int32_t EndFrame(ChannelRecord* channel)
{
    ChannelEntry* entry = Open(channel, "EndFrame");
    if (entry == nullptr) return ZQGD_FAILED;
    CheckWindow(channel, *entry, "EndFrame");
    int32_t status = PassOn(channel, "EndFrame", entry->real.EndFrame, channel);
    entry->begun = nullptr;
    return status;
}

// The overlay's drawing operations: the points they read, and a frame begun.
template <typename... Parameters, typename... Arguments>
void DrawOverlay(ChannelRecord* channel, const char* operation, void (*ChannelOps::*slot)(Parameters...), bool complete,
                 Arguments... arguments)
{
    ChannelEntry* entry = Open(channel, operation);
    if (entry == nullptr) return;
    if (!complete) {
        Report(channel, operation, Rule::MissingRecord, "a point or the text is null");
        return;
    }
    CheckOverlayInFrame(channel, *entry, operation);
    PassOn(channel, operation, entry->real.*slot, channel, arguments...);
}

void DrawCircle(ChannelRecord* channel, uint32_t radius, const uint32_t centre[2])
{
    DrawOverlay(channel, "DrawCircle", &ChannelOps::DrawCircle, centre != nullptr, radius, centre);
}

void DrawLine(ChannelRecord* channel, const int32_t from[2], const int32_t to[2])
{
    DrawOverlay(channel, "DrawLine", &ChannelOps::DrawLine, from != nullptr && to != nullptr, from, to);
}

int32_t LoadFont(ChannelRecord* channel, int32_t fontId, const char* fileName)
{
    ChannelEntry* entry = Open(channel, "LoadFont");
    if (entry == nullptr) return ZQGD_FAILED;
    if (fontId == 0 && fileName != nullptr)
        Report(channel, "LoadFont", Rule::IdZero, "font id 0 names nothing: loading %s is refused", fileName);
    return PassOn(channel, "LoadFont", entry->real.LoadFont, channel, fontId, fileName);
}

void SetCursorPosition(ChannelRecord* channel, const int32_t position[2])
{
    if (Missing(channel, "SetCursorPosition", position, "the position")) return;
    Forward(channel, "SetCursorPosition", &ChannelOps::SetCursorPosition, position);
}

void MoveCursor(ChannelRecord* channel, int32_t dx, int32_t dy)
{
    Forward(channel, "MoveCursor", &ChannelOps::MoveCursor, dx, dy);
}

void FillPolygon(ChannelRecord* channel, int32_t count, const int32_t* points)
{
    DrawOverlay(channel, "FillPolygon", &ChannelOps::FillPolygon, count <= 0 || points != nullptr, count, points);
}

void FillRectangle(ChannelRecord* channel, const int32_t corner[2], const int32_t opposite[2])
{
    DrawOverlay(channel, "FillRectangle", &ChannelOps::FillRectangle, corner != nullptr && opposite != nullptr, corner,
                opposite);
}

void SetTextTransparent(ChannelRecord* channel, int32_t transparent)
{
    Forward(channel, "SetTextTransparent", &ChannelOps::SetTextTransparent, transparent);
}

void SetPenColours(ChannelRecord* channel, const float pen[3], const float back[3])
{
    Forward(channel, "SetPenColours", &ChannelOps::SetPenColours, pen, back);
}

void SetCursorStyle(ChannelRecord* channel, int32_t style, int32_t size, const float colour[3])
{
    Forward(channel, "SetCursorStyle", &ChannelOps::SetCursorStyle, style, size, colour);
}

void SelectFont(ChannelRecord* channel, int32_t fontId)
{
    Forward(channel, "SelectFont", &ChannelOps::SelectFont, fontId);
}

void SetCursorVisible(ChannelRecord* channel, int32_t visible)
{
    Forward(channel, "SetCursorVisible", &ChannelOps::SetCursorVisible, visible);
}

void DrawOverlayText(ChannelRecord* channel, const int32_t position[2], const char* text)
{
    DrawOverlay(channel, "DrawOverlayText", &ChannelOps::DrawOverlayText, position != nullptr && text != nullptr,
                position, text);
}

// The host's loader, called by the driver while it draws for the channel in
// call; its definition is checked as DefineTexture checks one.
int32_t LoadThroughHost(int32_t textureId, TextureDefinition* definition)
{
    ChannelRecord* channel = ChannelInCall();
    ChannelEntry* entry = channel != nullptr ? FindChannel(channel) : nullptr;
    if (entry == nullptr || entry->loader == nullptr) return ZQGD_FAILED;
    const Site site{channel, "TextureLoadCallback"};
    int32_t status = entry->loader(textureId, definition);
    if (status != 0) {
        Report(channel, site.operation, Rule::LoaderRefused,
               "the loader refused texture %d: its polygons are drawn untextured, and it is asked again next frame",
               textureId);
    } else if (definition->operation != ZQGD_DEFINE_TEXTURE) {
        Report(channel, site.operation, Rule::TextureOperation,
               "texture %d: the loader's definition has operation %d, not ZQGD_DEFINE_TEXTURE (2)", textureId,
               definition->operation);
    } else {
        CheckImage(site, textureId, definition->image);
        CheckTextureParameters(site, textureId, *definition);
        entry->textures.insert(textureId);
    }
    return status;
}

}  // namespace

const ChannelOps kChannelOps = {
    .QueryImageFormat = QueryImageFormat,          //  0
    .CloseChannel = CloseChannel,                  //  1
    .RemoveSpareItem = RemoveSpareItem,            //  2
    .ReservedOp3 = ReservedOp3,                    //  3
    .OpenView = OpenView,                          //  4
    .DeleteTexture = DeleteTexture,                //  5
    .SelectChannelPalette = SelectChannelPalette,  //  6
    .ReservedOp7 = ReservedOp7,                    //  7
    .DefineTexture = DefineTexture,                //  8
    .EndFrame = EndFrame,                          //  9
    .DrawCircle = DrawCircle,                      // 10
    .DrawLine = DrawLine,                          // 11
    .LoadFont = LoadFont,                          // 12
    .SetCursorPosition = SetCursorPosition,        // 13
    .MoveCursor = MoveCursor,                      // 14
    .FillPolygon = FillPolygon,                    // 15
    .FillRectangle = FillRectangle,                // 16
    .SetTextTransparent = SetTextTransparent,      // 17
    .SetPenColours = SetPenColours,                // 18
    .SetCursorStyle = SetCursorStyle,              // 19
    .SelectFont = SelectFont,                      // 20
    .SetCursorVisible = SetCursorVisible,          // 21
    .DrawOverlayText = DrawOverlayText,            // 22
};

int32_t OpenChannel(ZqGDOpenChannelFunction next, ChannelRecord* channel, ChannelRequest* request,
                    ChannelOps* opsDestination, TextureLoadCallback textureLoad)
{
    const char* operation = "ZqGDOpenChannel";
    if (Missing(nullptr, operation, channel, "the channel record") ||
        Missing(nullptr, operation, request, "the request") ||
        Missing(nullptr, operation, opsDestination, "the destination table") ||
        Missing(nullptr, operation, request->window, "request->window") ||
        Missing(nullptr, operation, *request->window, "the window handle"))
        return ZQGD_FAILED;
    ZqWindowHandle window = *request->window;
    int32_t status = next(channel, request, opsDestination, textureLoad != nullptr ? LoadThroughHost : nullptr);
    if (status != ZQGD_OK) return status;
    CheckGlErrors(channel, operation);
    ChannelEntry& entry = AddChannel(channel);
    entry.real = *opsDestination;
    entry.window = window;
    entry.loader = textureLoad;
    *opsDestination = kChannelOps;
    return status;
}

}  // namespace checked
