// zqviewer: a host program that loads the driver module and shows what it
// draws. It talks to the driver only through the entry points and the
// operation tables, as any host would.
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "driver_module.h"
#include "output_files.h"
#include "png_file.h"
#include "scene_files.h"
#include "scene_host.h"
#include "zqgd/host.h"
#include "zqgd/platform.h"

namespace {

constexpr uint32_t kEscapeKey = 0xFF1B;
constexpr int kDefaultFrames = 24;

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
    SceneFiles files;
    int frames = kDefaultFrames;
    bool untilClosed = false;  // a window without --frames: until Escape or the window is closed
    uint32_t width = 640;
    uint32_t height = 480;
    bool window = false;
    bool checked = false;  // load the checked module beside the driver module instead
};

// The checked module in the driver module's folder.
std::string CheckedModuleBeside(const std::string& module)
{
    return (std::filesystem::path(module).parent_path() / "libzqgd-checked.so").string();
}

class Viewer {
public:
    Viewer(const Options& options, DriverModule& module) : options_(options), module_(module), host_(scene_) {}
    ~Viewer() { Close(); }

    bool Start(std::string& error)
    {
        scene_.Build(options_.width, options_.height);
        std::vector<std::string> warnings;
        bool loaded = LoadSceneFiles(options_.files, scene_, warnings, error);
        for (const std::string& warning : warnings) std::fprintf(stderr, "zqviewer: warning: %s\n", warning.c_str());
        if (!loaded) return false;
        if (options_.window && ZqSelectBackend(ZQ_BACKEND_X11, nullptr) != 0) {
            error = "--window needs an X display (is DISPLAY set?)";
            return false;
        }
        window_ = ZqCreateWindow(options_.width, options_.height, "zqviewer");
        if (window_ == nullptr) {
            error = "cannot create a window of " + std::to_string(options_.width) + "x" + std::to_string(options_.height);
            return false;
        }
        return host_.Open(module_.openChannel, window_, options_.width, options_.height, error);
    }

    // Renders the frames (or until Escape or the window is closed); false
    // with error when a picture cannot be written.
    bool Run(std::string& error)
    {
        const bool endless = options_.untilClosed;
        // An endless run goes on round the circle at the pace of the default run.
        const int path = endless ? kDefaultFrames : options_.frames;
        auto start = std::chrono::steady_clock::now();
        double lastFrameMs = 0;
        int frame = 0;
        for (; (endless || frame < options_.frames) && !quit_; ++frame) {
            auto begin = std::chrono::steady_clock::now();
            HandleEvents();
            host_.DrawFrame(frame, path, lastFrameMs);
            if (!options_.out.empty() && !WritePicture(frame, error)) return false;
            lastFrameMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
            // On a terminal the progress line is rewritten in place.
            std::string count = std::to_string(frame + 1) + (endless ? "" : "/" + std::to_string(options_.frames));
            std::printf(interactive_ ? "\rframe %s  %.1f ms" : "frame %s  %.1f ms\n", count.c_str(), lastFrameMs);
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
    void HandleEvents()
    {
        ZqEvent event;
        while (ZqPollEvent(window_, &event)) {
            if (event.kind == ZQ_EVENT_POINTER) host_.PointerAt(event.x, event.y);
            if ((event.kind == ZQ_EVENT_KEY && event.keySymbol == kEscapeKey) || event.kind == ZQ_EVENT_CLOSE)
                quit_ = true;
        }
    }

    // The frame through ReadPixels of the main view, which covers the
    // window; the offscreen window's colour buffer still holds the frame
    // after the swap.
    bool WritePicture(int frame, std::string& error)
    {
        Bitmap bitmap{};
        if (host_.ReadPixels(&bitmap) != 0) {
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
        host_.Close();
        if (window_ != nullptr) ZqDestroyWindow(window_);
        window_ = nullptr;
    }

    const Options& options_;
    DriverModule& module_;
    Scene scene_;
    SceneHost host_;
    HWND window_ = nullptr;
    bool quit_ = false;
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

// A whole number from low to high, named in the message when it is not.
CLI::Validator WholeNumber(long low, long high)
{
    return CLI::Validator(
        [low, high](std::string& text) -> std::string {
            bool digits = !text.empty() && text.size() < 12 && text.find_first_not_of("0123456789") == std::string::npos;
            if (!digits) return text + " is not a number";
            long value = std::stol(text);
            if (value < low || value > high)
                return text + " is not from " + std::to_string(low) + " to " + std::to_string(high);
            return "";
        },
        "");
}

const CLI::Validator kNotEmpty(
    [](std::string& text) -> std::string { return text.empty() ? "the name is empty" : ""; }, "");

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    CLI::App app{"zqviewer: renders a scene through the zqgd display driver\n\n"
                 "Exit status: 0 when done, 1 when a file, the module or the driver fails,\n"
                 "2 for a usage error.\n"};
    app.add_option("--module", options.module, "driver module to load")
        ->type_name("FILE")
        ->check(kNotEmpty)
        ->capture_default_str();
    CLI::Option* frames =
        app.add_option("--frames", options.frames,
                       "frames to render, 1 to 1000000 (24; with --window, until Escape or the window is closed)")
            ->type_name("N")
            ->check(WholeNumber(1, 1000000));
    app.add_option("--out", options.out, "folder to write every frame into as DIR/frame-NNNN.png (made if missing)")
        ->type_name("DIR")
        ->check(kNotEmpty);
    app.add_option("--width", options.width, "window width, 64 to 8192")
        ->type_name("W")
        ->check(WholeNumber(64, 8192))
        ->capture_default_str();
    app.add_option("--height", options.height, "window height, 64 to 8192")
        ->type_name("H")
        ->check(WholeNumber(64, 8192))
        ->capture_default_str();
    app.add_option("--obj", options.files.obj, "Wavefront OBJ model (with its MTL materials) in the middle of the scene")
        ->type_name("FILE")
        ->check(kNotEmpty);
    app.add_option("--texture", options.files.texture, "PNG picture for the textured box")
        ->type_name("FILE")
        ->check(kNotEmpty);
    app.add_option("--backdrop", options.files.backdrop,
                   "PNG panorama of the full circle behind the scene. The driver draws it at one picture pixel "
                   "per window pixel, its width covering 360 degrees: N pixels wide, it has N / 6.28 pixels a "
                   "radian (the view is 1.1 radians wide, so about 5 times the window's width matches the "
                   "scene's scale). It covers the sky when it is taller than the window by 0.3 x N / 6.28 "
                   "pixels above and below, as the camera tilts up to 0.3 radians from its middle row; the "
                   "built-in one is made to fit the window")
        ->type_name("FILE")
        ->check(kNotEmpty);
    app.add_flag("--checked", options.checked,
                 "load the checked module beside the driver module (libzqgd-checked.so), which passes every call "
                 "on to the driver and reports each misuse as a line on standard error (ZQGD_CHECKED_LOG=FILE: "
                 "into FILE; ZQGD_CHECKED_BREAK=1: abort at the first error)");
    app.add_flag("--window", options.window,
                 "open a real X11 window (mouse moves the cursor); it runs until Escape or the window is closed "
                 "unless --frames is given");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::printf("%s", app.help().c_str());
        return 0;
    } catch (const CLI::ParseError& failure) {
        std::fprintf(stderr, "zqviewer: %s\n%s", failure.what(), app.help().c_str());
        return 2;
    }
    options.untilClosed = options.window && frames->count() == 0;
    std::string error;
    if (!options.out.empty() && !MakeOutputFolder(options.out, error)) {
        std::fprintf(stderr, "zqviewer: %s\n", error.c_str());
        return 1;
    }

    DriverModule module(options.checked ? CheckedModuleBeside(options.module) : options.module);
    if (!module.loaded()) {
        std::fprintf(stderr, "zqviewer: cannot load the driver module: %s\n", module.error().c_str());
        return 1;
    }
    PrintDescription(module);
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
