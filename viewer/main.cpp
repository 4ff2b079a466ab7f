// zqviewer: a host program that loads the driver module and shows what it
// draws. It talks to the driver only through the entry points and the
// operation tables, as any host would.
#include <CLI/CLI.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "driver_module.h"
#include "png_file.h"
#include "scene.h"
#include "zqgd/host.h"
#include "zqgd/platform.h"

namespace {

constexpr uint32_t kEscapeKey = 0xFF1B;
constexpr int32_t kFrameMilliseconds = 40;
// Unlit outlines that leave the depth test alone: a depth switch in one
// view's mode is replayed every frame behind the cached flag, so views of
// one channel agree on it.
constexpr int32_t kInsetMode = 0x011;

// The module of the build tree, or the one installed beside the viewer.
std::string DefaultModule()
{
    if (std::filesystem::exists(ZQGD_MODULE_PATH)) return ZQGD_MODULE_PATH;
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return (self.parent_path() / ZQGD_INSTALLED_MODULE).lexically_normal().string();
}

struct Options {
    std::string module = DefaultModule();
    std::string out;
    SceneOptions scene;
    int frames = 24;
    uint32_t width = 640;
    uint32_t height = 480;
    bool window = false;
};

int32_t LoadOnDemand(int32_t id, TextureDefinition* definition) { return LoadBrickTexture(id, definition) ? 0 : 1; }

// A view with the records the host keeps for it.
struct SceneView {
    ViewDescriptor descriptor{};
    ViewRecord record{};
    ViewOps ops{};
    bool open = false;
};

class Viewer {
public:
    Viewer(const Options& options, DriverModule& module) : options_(options), module_(module) {}
    ~Viewer() { Close(); }

    bool Start(std::string& error)
    {
        if (!scene_.Build(options_.scene, error)) return false;
        _ZqGmaterials = {static_cast<uint32_t>(scene_.materials.size() - 1), scene_.materials.data()};
        if (options_.window && ZqSelectBackend(ZQ_BACKEND_X11, nullptr) != 0) {
            error = "--window needs an X display (is DISPLAY set?)";
            return false;
        }
        window_ = ZqCreateWindow(options_.width, options_.height, "zqviewer");
        if (window_ == nullptr) {
            error = "cannot create a window of " + std::to_string(options_.width) + "x" + std::to_string(options_.height);
            return false;
        }
        request_ = {0, options_.width, options_.height, 0, 0, ZQGD_DOUBLE_BUFFERED, 0, 0, &window_};
        if (module_.openChannel(&channel_, &request_, &ops_, LoadOnDemand) != 0) {
            error = "the driver could not open a channel on the window";
            return false;
        }
        channelOpen_ = true;
        if (!DefineImages(error) || !OpenViews(error)) return false;
        return true;
    }

    // Renders the frames; false with error when a picture cannot be written.
    bool Run(std::string& error)
    {
        if (!options_.out.empty()) std::filesystem::create_directories(options_.out);
        auto start = std::chrono::steady_clock::now();
        double lastFrameMs = 0;
        int frame = 0;
        for (; frame < options_.frames && !quit_; ++frame) {
            auto begin = std::chrono::steady_clock::now();
            HandleEvents();
            DrawFrame(frame, lastFrameMs);
            ops_.EndFrame(&channel_);
            if (!options_.out.empty() && !WritePicture(frame, error)) return false;
            lastFrameMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
            // On a terminal the progress line is rewritten in place.
            std::printf(interactive_ ? "\rframe %d/%d  %.1f ms" : "frame %d/%d  %.1f ms\n", frame + 1,
                        options_.frames, lastFrameMs);
            std::fflush(stdout);
        }
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        double polygons = double(scene_.PolygonCount()) * 2 * frame;  // both views draw every object
        std::printf("%s%d frames in %.2f s: %.1f frames per second, %.0f polygons per second\n",
                    interactive_ ? "\n" : "", frame, seconds,
                    seconds > 0 ? frame / seconds : 0.0, seconds > 0 ? polygons / seconds : 0.0);
        if (!options_.out.empty()) std::printf("pictures written to %s/\n", options_.out.c_str());
        return true;
    }

private:
    bool DefineImages(std::string& error)
    {
        TextureDefinition ground = TextureFrom(scene_.ground, ZQGD_TEXTURE_MODULATE | ZQGD_TEXTURE_LINEAR |
                                                                  ZQGD_TEXTURE_MIPMAP_LINEAR);
        ground.textureMatrix[0] = ground.textureMatrix[4] = 30;  // tiles the checker over the ground
        TextureDefinition fence = TextureFrom(scene_.fence, ZQGD_TEXTURE_MODULATE);
        fence.keyRed = 255;
        fence.keyGreen = 0;
        fence.keyBlue = 255;
        TextureDefinition logo = TextureFrom(scene_.logo, ZQGD_TEXTURE_MODULATE | ZQGD_TEXTURE_LINEAR);
        TextureDefinition backdrop = BackdropFrom(scene_.panorama);
        if (ops_.DefineTexture(&channel_, kGroundTexture, &ground, 1) != 0 ||
            ops_.DefineTexture(&channel_, kFenceTexture, &fence, 1) != 0 ||
            ops_.DefineTexture(&channel_, kLogoTexture, &logo, 1) != 0 ||
            ops_.DefineTexture(&channel_, kBackdropImage, &backdrop, 1) != 0) {
            error = "the driver could not define the textures (out of memory?)";
            return false;
        }
        return true;
    }

    bool OpenView(SceneView& view, int32_t x, int32_t y, uint32_t width, uint32_t height, int32_t mode,
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

    bool OpenViews(std::string& error)
    {
        uint32_t width = options_.width / 3, height = options_.height / 3;
        map_.descriptor.orthographic = 1;
        map_.descriptor.orthoHalfWidth = 13;
        map_.descriptor.orthoHalfHeight = 13.0f * height / width;
        if (!OpenView(main_, 0, 0, options_.width, options_.height, 0x400, kHaze, &scene_.environment) ||
            !OpenView(map_, static_cast<int32_t>(options_.width - width - 10),
                      static_cast<int32_t>(options_.height - height - 10), width, height, kInsetMode, kNight,
                      &scene_.insetEnvironment)) {
            error = "the driver ran out of memory opening the views";
            return false;
        }
        ops_.SetCursorStyle(&channel_, 1, 4, kCursorColour);
        ops_.SetCursorVisible(&channel_, 1);
        return true;
    }

    void HandleEvents()
    {
        ZqEvent event;
        while (ZqPollEvent(window_, &event)) {
            if (event.kind == ZQ_EVENT_POINTER) {
                const int32_t position[2] = {event.x, event.y};
                ops_.SetCursorPosition(&channel_, position);
                cursorFromMouse_ = true;
            }
            if ((event.kind == ZQ_EVENT_KEY && event.keySymbol == kEscapeKey) || event.kind == ZQ_EVENT_CLOSE)
                quit_ = true;
        }
    }

    void DrawView(SceneView& view, const Camera& camera, int32_t frameTime, bool withGround)
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

    void DrawFrame(int frame, double lastFrameMs)
    {
        const int32_t frameTime = frame * kFrameMilliseconds;
        Camera camera = OrbitCamera(frame, options_.frames);
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
    }

    void DrawHud(int frame, double lastFrameMs, const Camera& camera)
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
        if (!cursorFromMouse_) {
            const int32_t position[2] = {int32_t(options_.width / 2 + 80 * std::sin(camera.heading * 3)),
                                         int32_t(options_.height / 2 + 40)};
            ops_.SetCursorPosition(&channel_, position);
        }
    }

    // The frame through ReadPixels of the main view, which covers the
    // window; the offscreen window's colour buffer still holds the frame
    // after the swap.
    bool WritePicture(int frame, std::string& error)
    {
        Bitmap bitmap{};
        if (main_.ops.ReadPixels(&main_.record, &bitmap) != 0) {
            error = "out of memory reading the frame back";
            return false;
        }
        char name[32];
        std::snprintf(name, sizeof name, "frame-%04d.png", frame);
        bool written = WritePng((std::filesystem::path(options_.out) / name).string(),
                                static_cast<const uint8_t*>(bitmap.pixels), bitmap.width, bitmap.height, error);
        MMfree(bitmap.pixels);
        return written;
    }

    void Close()
    {
        if (map_.open) map_.ops.CloseView(&map_.record);
        if (main_.open) main_.ops.CloseView(&main_.record);
        map_.open = main_.open = false;
        if (channelOpen_) ops_.CloseChannel(&channel_);
        channelOpen_ = false;
        if (window_ != nullptr) ZqDestroyWindow(window_);
        window_ = nullptr;
    }

    static constexpr float kCursorColour[3] = {1, 1, 0.2f};
    static constexpr BackgroundRecord kHaze{1, {0.62f, 0.72f, 0.80f}, kBackdropImage};
    static constexpr BackgroundRecord kNight{0, {0.04f, 0.05f, 0.12f}, 0};

    const Options& options_;
    DriverModule& module_;
    Scene scene_;
    HWND window_ = nullptr;
    ChannelRecord channel_{};
    ChannelRequest request_{};
    ChannelOps ops_{};
    bool channelOpen_ = false;
    SceneView main_, map_;
    bool quit_ = false;
    bool cursorFromMouse_ = false;
    const bool interactive_ = isatty(STDOUT_FILENO) != 0;
};

void PrintDescription(const DriverModule& module)
{
    DriverDescription description{};
    module.describe(&description);
    std::printf("driver: %s\n", description.description != nullptr ? description.description : "(no text)");
    for (uint32_t i = 0; i < description.modeCount; ++i)
        std::printf("  mode %u: %u bits per pixel, %s buffered\n", i + 1, description.modes[i].bitsPerPixel,
                    description.modes[i].bufferMode == ZQGD_SINGLE_BUFFERED ? "single" : "double");
    MMfree(description.description);
    MMfree(description.modes);
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    CLI::App app{"zqviewer: renders a scene through the zqgd display driver"};
    app.add_option("--module", options.module, "driver module to load")->capture_default_str();
    app.add_option("--frames", options.frames, "number of frames to render")
        ->check(CLI::Range(1, 1000000))
        ->capture_default_str();
    app.add_option("--out", options.out, "folder to write every frame into as a PNG file");
    app.add_option("--width", options.width, "window width")->check(CLI::Range(64, 8192))->capture_default_str();
    app.add_option("--height", options.height, "window height")->check(CLI::Range(64, 8192))->capture_default_str();
    app.add_option("--obj", options.scene.obj, "Wavefront OBJ model to show in the middle of the scene");
    app.add_option("--texture", options.scene.texture, "PNG picture for the textured box");
    app.add_option("--backdrop", options.scene.backdrop, "PNG panorama (360 degrees wide) behind the scene");
    app.add_flag("--window", options.window, "open a real X11 window (mouse moves the cursor, Escape quits)");
    CLI11_PARSE(app, argc, argv);

    DriverModule module(options.module);
    if (!module.loaded()) {
        std::fprintf(stderr, "zqviewer: cannot load the driver module: %s\n", module.error().c_str());
        return 1;
    }
    PrintDescription(module);
    std::string error;
    bool done = false;
    {
        Viewer viewer(options, module);
        done = viewer.Start(error) && viewer.Run(error);
    }
    if (!done) {
        std::fprintf(stderr, "\nzqviewer: %s\n", error.c_str());
        return 1;
    }
    // Everything the driver allocated went back when the views and the
    // channel closed.
    if (MMLiveBlocks() != 0) {
        std::fprintf(stderr, "zqviewer: %u memory blocks still allocated after closing\n", MMLiveBlocks());
        return 1;
    }
    return 0;
}
