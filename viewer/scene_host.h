// The host side of the built-in scene, as the viewer and zqframes share it:
// a channel on a window, the scene's textures and backdrop, a main view over
// the whole window with a map inset in its corner, and the frames drawn into
// them. It talks to the driver only through the entry point and the
// operation tables, as any host would.
#pragma once

#include <windows.h>

#include <string>

#include "scene.h"
#include "zqgd/driver.h"

// A view with the records the host keeps for it.
struct SceneView {
    ViewDescriptor descriptor{};
    ViewRecord record{};
    ViewOps ops{};
    bool open = false;
};

class SceneHost {
public:
    // Frame n of a run is drawn at frame time n times this.
    static constexpr int32_t kFrameMilliseconds = 40;

    explicit SceneHost(Scene& scene) : scene_(scene) {}
    ~SceneHost() { Close(); }
    SceneHost(const SceneHost&) = delete;
    SceneHost& operator=(const SceneHost&) = delete;

    // Opens a channel on the window (of width x height pixels), defines the
    // scene's images and opens the views; false with error when the driver
    // refuses. The scene's materials become the host's material table.
    bool Open(ZqGDOpenChannelFunction openChannel, HWND window, uint32_t width, uint32_t height, std::string& error);
    // Draws frame `frame` of `frames` (the camera's place on its path) and
    // ends it; the HUD shows lastFrameMs as the time of the frame before.
    void DrawFrame(int frame, int frames, double lastFrameMs);
    // Puts the cursor where the pointer is; it no longer follows the camera.
    void PointerAt(int32_t x, int32_t y);
    // The main view's pixels, which cover the window (see ReadPixels).
    int32_t ReadPixels(Bitmap* bitmap) { return main_.ops.ReadPixels(&main_.record, bitmap); }
    void Close();

private:
    bool DefineImages(std::string& error);
    bool OpenView(SceneView& view, int32_t x, int32_t y, uint32_t width, uint32_t height, int32_t mode,
                  const BackgroundRecord& background, Environment* environment);
    bool OpenViews(std::string& error);
    void DrawView(SceneView& view, const Camera& camera, int32_t frameTime, bool withGround);
    void DrawHud(int frame, double lastFrameMs, const Camera& camera);

    Scene& scene_;
    uint32_t width_ = 0, height_ = 0;
    HWND window_ = nullptr;
    ChannelRecord channel_{};
    ChannelRequest request_{};
    ChannelOps ops_{};
    bool channelOpen_ = false;
    SceneView main_, map_;
    bool cursorFromPointer_ = false;
};
