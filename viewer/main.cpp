// zqviewer: a host program that loads the driver module and shows what it
// draws. It talks to the driver only through the entry points and the
// operation tables, as any host would.
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "driver_module.h"
#include "png_file.h"
#include "zqgd/host.h"
#include "zqgd/platform.h"
#include "zqgd/view.h"

namespace {

struct Options {
    std::string module = ZQGD_MODULE_PATH;
    std::string out;
    int frames = 8;
    uint32_t width = 640;
    uint32_t height = 480;
    bool window = false;
};

int32_t NoTextures(int32_t, TextureDefinition*) { return 1; }

// A view of the scene with the records the host keeps for it.
struct SceneView {
    ViewDescriptor descriptor{};
    ViewRecord record{};
    ViewOps ops{};
};

// The plain clear uses the clear colour of the channel's context, which is
// the one of the latest SetBackground: with several views the host sets each
// view's background before beginning it.
void BeginSceneView(SceneView& view, int32_t frameTime, const float camera[12], const float colour[3])
{
    BackgroundRecord background{0, {colour[0], colour[1], colour[2]}, 0};
    view.ops.SetBackground(&view.record, &background);
    view.ops.BeginView(&view.record, frameTime, camera, ZQGD_CLEAR_COLOUR | ZQGD_CLEAR_DEPTH);
}

bool OpenSceneView(ChannelRecord& channel, SceneView& view, int32_t x, int32_t y, uint32_t width, uint32_t height,
                   int32_t mode, const float colour[3])
{
    view.descriptor.nearPlane = 0.5f;
    view.descriptor.farPlane = 500.0f;
    view.descriptor.fieldOfView = 1.0f;
    view.record.view = &view.descriptor;
    view.record.channel = &channel;
    if (channel.ops->OpenView(&view.record, &view.ops) != 0) return false;
    BackgroundRecord background{0, {colour[0], colour[1], colour[2]}, 0};
    view.ops.SetBackground(&view.record, &background);
    view.ops.SetViewPosition(&view.record, x, y);
    view.ops.SetViewSize(&view.record, width, height);
    view.ops.SetRenderMode(&view.record, mode);
    return true;
}

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

int Run(const Options& options)
{
    DriverModule module(options.module);
    if (!module.loaded()) {
        std::fprintf(stderr, "zqviewer: cannot load the driver module: %s\n", module.error().c_str());
        return 1;
    }
    PrintDescription(module);
    if (options.window && ZqSelectBackend(ZQ_BACKEND_X11, nullptr) != 0) {
        std::fprintf(stderr, "zqviewer: --window needs an X display (is DISPLAY set?)\n");
        return 1;
    }
    HWND window = ZqCreateWindow(options.width, options.height, "zqviewer");
    if (window == nullptr) {
        std::fprintf(stderr, "zqviewer: cannot create a %ux%u window\n", options.width, options.height);
        return 1;
    }
    ChannelRecord channel{};
    ChannelRequest request{};
    ChannelOps ops{};
    request.width = options.width;
    request.height = options.height;
    request.bufferMode = ZQGD_DOUBLE_BUFFERED;
    request.window = &window;
    if (module.openChannel(&channel, &request, &ops, NoTextures) != 0) {
        std::fprintf(stderr, "zqviewer: the driver could not open a channel on the window\n");
        ZqDestroyWindow(window);
        return 1;
    }

    const float sky[3] = {0.35f, 0.55f, 0.85f}, inset[3] = {0.05f, 0.05f, 0.15f};
    SceneView main, map;
    uint32_t insetWidth = options.width / 4, insetHeight = options.height / 4;
    bool opened = OpenSceneView(channel, main, 0, 0, options.width, options.height, 0x400, sky) &&
                  OpenSceneView(channel, map, static_cast<int32_t>(options.width - insetWidth - 8),
                                static_cast<int32_t>(options.height - insetHeight - 8), insetWidth, insetHeight,
                                0x211, inset);
    if (!opened) {
        std::fprintf(stderr, "zqviewer: out of memory opening the views\n");
        ops.CloseChannel(&channel);
        ZqDestroyWindow(window);
        return 1;
    }
    if (!options.out.empty()) std::filesystem::create_directories(options.out);

    static const float camera[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    std::vector<uint8_t> picture(static_cast<size_t>(options.width) * options.height * 4);
    auto start = std::chrono::steady_clock::now();
    int status = 0;
    for (int frame = 0; frame < options.frames && status == 0; ++frame) {
        BeginSceneView(main, frame * 40, camera, sky);
        BeginSceneView(map, frame * 40, camera, inset);
        ops.EndFrame(&channel);
        std::printf("\rframe %d/%d", frame + 1, options.frames);
        std::fflush(stdout);
        if (options.out.empty()) continue;
        std::string error;
        char name[32];
        std::snprintf(name, sizeof name, "frame-%04d.png", frame);
        if (ZqReadFrontImage(window, picture.data(), options.width, options.height) != 0 ||
            !WritePng((std::filesystem::path(options.out) / name).string(), picture, options.width, options.height,
                      error)) {
            std::fprintf(stderr, "\nzqviewer: %s\n", error.empty() ? "cannot read the window" : error.c_str());
            status = 1;
        }
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("\n%d frames in %.2f s (%.1f frames per second)\n", options.frames, seconds,
                seconds > 0 ? options.frames / seconds : 0.0);
    if (!options.out.empty() && status == 0) std::printf("pictures written to %s/\n", options.out.c_str());

    map.ops.CloseView(&map.record);
    main.ops.CloseView(&main.record);
    ops.CloseChannel(&channel);
    ZqDestroyWindow(window);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    CLI::App app{"zqviewer: renders a scene through the zqgd display driver"};
    app.add_option("--module", options.module, "driver module to load")->capture_default_str();
    app.add_option("--frames", options.frames, "number of frames to render")->check(CLI::Range(1, 100000))
        ->capture_default_str();
    app.add_option("--out", options.out, "folder to write the frames into as PNG files");
    app.add_option("--width", options.width, "window width")->check(CLI::Range(16, 8192))->capture_default_str();
    app.add_option("--height", options.height, "window height")->check(CLI::Range(16, 8192))->capture_default_str();
    app.add_flag("--window", options.window, "open a real X11 window instead of an off-screen one");
    CLI11_PARSE(app, argc, argv);
    return Run(options);
}
