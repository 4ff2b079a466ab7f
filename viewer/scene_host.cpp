#include "scene_host.h"

#include <cmath>
#include <cstdio>

#include "zqgd/host.h"

namespace {

// Unlit outlines that leave the depth test alone: a depth switch in one
// view's mode is replayed every frame behind the cached flag, so views of
// one channel agree on it.
constexpr int32_t kInsetMode = 0x011;
constexpr float kCursorColour[3] = {1, 1, 0.2f};
constexpr BackgroundRecord kHaze{1, {0.62f, 0.72f, 0.80f}, kBackdropImage};
constexpr BackgroundRecord kNight{0, {0.04f, 0.05f, 0.12f}, 0};

int32_t LoadOnDemand(int32_t id, TextureDefinition* definition) { return LoadBrickTexture(id, definition) ? 0 : 1; }

}  // namespace

bool SceneHost::Open(ZqGDOpenChannelFunction openChannel, HWND window, uint32_t width, uint32_t height,
                     std::string& error)
{
    _ZqGmaterials = {static_cast<uint32_t>(scene_.materials.size() - 1), scene_.materials.data()};
    width_ = width;
    height_ = height;
    window_ = window;
    request_ = {0, width, height, 0, 0, ZQGD_DOUBLE_BUFFERED, 0, 0, &window_};
    if (openChannel(&channel_, &request_, &ops_, LoadOnDemand) != 0) {
        error = "the driver could not open a channel on the window";
        return false;
    }
    channelOpen_ = true;
    return DefineImages(error) && OpenViews(error);
}

bool SceneHost::DefineImages(std::string& error)
{
    TextureDefinition ground = TextureFrom(scene_.ground, ZQGD_TEXTURE_MODULATE | ZQGD_TEXTURE_LINEAR |
                                                              ZQGD_TEXTURE_MIPMAP_LINEAR);
    ground.textureMatrix[0] = ground.textureMatrix[4] = 30;  // tiles the checker over the ground
    TextureDefinition fence = TextureFrom(scene_.fence, ZQGD_TEXTURE_MODULATE);
    fence.keyRed = 255;
    fence.keyGreen = 0;
    fence.keyBlue = 255;
    TextureDefinition logo = TextureFrom(scene_.logo, ZQGD_TEXTURE_MODULATE | ZQGD_TEXTURE_LINEAR);
    TextureDefinition backdrop = BackdropFrom(scene_.panorama, scene_.panoramaCircle);
    if (ops_.DefineTexture(&channel_, kGroundTexture, &ground, 1) != 0 ||
        ops_.DefineTexture(&channel_, kFenceTexture, &fence, 1) != 0 ||
        ops_.DefineTexture(&channel_, kLogoTexture, &logo, 1) != 0 ||
        ops_.DefineTexture(&channel_, kBackdropImage, &backdrop, 1) != 0) {
        error = "the driver could not define the textures (out of memory?)";
        return false;
    }
    for (SceneTexture& texture : scene_.modelTextures) {
        TextureDefinition definition = TextureFrom(texture.picture, ZQGD_TEXTURE_MODULATE | ZQGD_TEXTURE_LINEAR);
        if (ops_.DefineTexture(&channel_, texture.id, &definition, 1) != 0) {
            error = "the driver could not define the model's textures (out of memory?)";
            return false;
        }
    }
    return true;
}

bool SceneHost::OpenView(SceneView& view, int32_t x, int32_t y, uint32_t width, uint32_t height, int32_t mode,
                         const BackgroundRecord& background, Environment* environment)
{
    view.descriptor.nearPlane = 0.3f;
    view.descriptor.farPlane = 200;
    view.descriptor.fieldOfView = 1.1f;
    view.record.environment = environment;
    view.record.materialSelection = &scene_.selection;
    view.record.view = &view.descriptor;
    view.record.channel = &channel_;
    if (ops_.OpenView(&view.record, &view.ops) != 0) return false;
    view.open = true;
    view.ops.SetBackground(&view.record, &background);
    view.ops.SetViewPosition(&view.record, x, y);
    view.ops.SetViewSize(&view.record, width, height);
    view.ops.SetRenderMode(&view.record, mode);
    return true;
}

bool SceneHost::OpenViews(std::string& error)
{
    uint32_t width = width_ / 3, height = height_ / 3;
    map_.descriptor.orthographic = 1;
    map_.descriptor.orthoHalfWidth = 13;
    map_.descriptor.orthoHalfHeight = 13.0f * height / width;
    if (!OpenView(main_, 0, 0, width_, height_, 0x400, kHaze, &scene_.environment) ||
        !OpenView(map_, static_cast<int32_t>(width_ - width - 10), static_cast<int32_t>(height_ - height - 10), width,
                  height, kInsetMode, kNight, &scene_.insetEnvironment)) {
        error = "the driver ran out of memory opening the views";
        return false;
    }
    ops_.SetCursorStyle(&channel_, 1, 4, kCursorColour);
    ops_.SetCursorVisible(&channel_, 1);
    return true;
}

void SceneHost::PointerAt(int32_t x, int32_t y)
{
    const int32_t position[2] = {x, y};
    ops_.SetCursorPosition(&channel_, position);
    cursorFromPointer_ = true;
}

void SceneHost::DrawView(SceneView& view, const Camera& camera, int32_t frameTime, bool withGround)
{
    // Lights and fog are context state: each view sets its own.
    view.ops.SetEnvironment(&view.record);
    view.ops.BeginView(&view.record, frameTime, camera.rows, ZQGD_CLEAR_COLOUR | ZQGD_CLEAR_DEPTH);
    for (bool transparent : {false, true})
        for (Mesh& mesh : scene_.meshes) {
            if (mesh.transparent != transparent || (!withGround && &mesh == &scene_.meshes.front())) continue;
            PlaceMesh(mesh, camera);
            if (&view == &main_) view.ops.SetRenderMode(&view.record, mesh.renderMode);
            view.ops.DrawPolygons(&view.record, nullptr, &mesh.block);
        }
}

void SceneHost::DrawFrame(int frame, int frames, double lastFrameMs)
{
    const int32_t frameTime = frame * kFrameMilliseconds;
    Camera camera = OrbitCamera(frame, frames);
    // The plain clear of the inset uses the clear colour of the latest
    // SetBackground; setting it rebinds every view's backdrop at (0, 0),
    // so it comes before the backdrop is placed. The backdrop rises with
    // a growing vertical angle: the angle is the one below the horizon.
    map_.ops.SetBackground(&map_.record, &kNight);
    main_.ops.SetBackdropAngles(&main_.record, -camera.pitch, camera.heading);
    DrawView(main_, camera, frameTime, true);
    DrawView(map_, TopCamera(), frameTime, false);
    // Overlay drawing (and the cursor at the end of the frame) lands in
    // the viewport of the last view begun: begin the main view again,
    // clearing nothing.
    main_.ops.BeginView(&main_.record, frameTime, camera.rows, 0);
    DrawHud(frame, lastFrameMs, camera);
    ops_.EndFrame(&channel_);
}

void SceneHost::DrawHud(int frame, double lastFrameMs, const Camera& camera)
{
    const float panel[3] = {0.1f, 0.1f, 0.2f}, white[3] = {1, 1, 1}, amber[3] = {1, 0.8f, 0.2f};
    char line[96];
    ops_.SetPenColours(&channel_, panel, panel);
    const int32_t corner[2] = {6, 6}, opposite[2] = {230, 50};
    ops_.FillRectangle(&channel_, corner, opposite);
    ops_.SetPenColours(&channel_, white, panel);
    ops_.SetTextTransparent(&channel_, 1);
    std::snprintf(line, sizeof line, "frame %d  %.1f ms", frame, lastFrameMs);
    const int32_t first[2] = {12, 10}, second[2] = {12, 24}, third[2] = {12, 36};
    ops_.DrawOverlayText(&channel_, first, line);
    std::snprintf(line, sizeof line, "%u polygons", scene_.PolygonCount());
    ops_.DrawOverlayText(&channel_, second, line);
    ops_.SetPenColours(&channel_, amber, panel);
    ops_.SetTextTransparent(&channel_, 0);
    ops_.DrawOverlayText(&channel_, third, "zqgd viewer");
    // A compass: north is +z, the needle shows the camera's heading.
    const uint32_t centre[2] = {200, 28};
    ops_.DrawCircle(&channel_, 16, centre);
    const int32_t hub[2] = {200, 28};
    const int32_t tip[2] = {200 + int32_t(14 * std::sin(camera.heading)), 28 - int32_t(14 * std::cos(camera.heading))};
    ops_.DrawLine(&channel_, hub, tip);
    const int32_t arrow[6] = {tip[0] - 3, tip[1], tip[0] + 3, tip[1], tip[0], tip[1] - 4};
    ops_.FillPolygon(&channel_, 3, arrow);
    if (!cursorFromPointer_) {
        const int32_t position[2] = {int32_t(width_ / 2 + 80 * std::sin(camera.heading * 3)),
                                     int32_t(height_ / 2 + 40)};
        ops_.SetCursorPosition(&channel_, position);
    }
}

void SceneHost::Close()
{
    if (map_.open) map_.ops.CloseView(&map_.record);
    if (main_.open) main_.ops.CloseView(&main_.record);
    map_.open = main_.open = false;
    if (channelOpen_) ops_.CloseChannel(&channel_);
    channelOpen_ = false;
}
