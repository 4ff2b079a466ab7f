// zqframes: renders the built-in scene through the driver module at fixed
// frame times and writes what the window shows after each frame as a PPM
// picture. It builds for Linux and for Windows alike, so the pictures of the
// two systems can be compared pixel by pixel.
//
//   zqframes [FRAMES [WIDTH HEIGHT]] FOLDER
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "driver_module.h"
#include "ppm_file.h"
#include "scene_host.h"
#include "zqgd/host.h"
#include "zqgd/platform.h"

namespace {

struct Options {
    std::string folder;
    int frames = 4;
    uint32_t width = 640;
    uint32_t height = 480;
};

bool ParseCount(const char* text, long low, long high, long& value)
{
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= low && value <= high;
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    long frames = options.frames, width = options.width, height = options.height;
    if (argc != 2 && argc != 3 && argc != 5) return false;
    if (argc >= 3 && !ParseCount(argv[1], 1, 1000000, frames)) return false;
    if (argc == 5 && (!ParseCount(argv[2], 64, 8192, width) || !ParseCount(argv[3], 64, 8192, height))) return false;
    options.folder = argv[argc - 1];
    options.frames = static_cast<int>(frames);
    options.width = static_cast<uint32_t>(width);
    options.height = static_cast<uint32_t>(height);
    return true;
}

// Draws every frame and writes it; false with error at the first failure.
bool RenderFrames(const Options& options, const DriverModule& module, HWND window, std::string& error)
{
    Scene scene;
    scene.Build();
    SceneHost host(scene);
    if (!host.Open(module.openChannel, window, options.width, options.height, error)) return false;
    std::vector<uint8_t> rgba(size_t{options.width} * options.height * 4);
    for (int frame = 0; frame < options.frames; ++frame) {
        // The HUD shows the frame time itself, so nothing measured changes the picture.
        host.DrawFrame(frame, options.frames, SceneHost::kFrameMilliseconds);
        if (ZqReadFrontImage(window, rgba.data(), options.width, options.height) != 0) {
            error = "cannot read what the window shows";
            return false;
        }
        char name[32];
        std::snprintf(name, sizeof name, "frame-%04d.ppm", frame);
        std::string path = (std::filesystem::path(options.folder) / name).string();
        if (!WritePpm(path, rgba.data(), options.width, options.height, error)) return false;
        std::printf("%s\n", path.c_str());
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: zqframes [FRAMES [WIDTH HEIGHT]] FOLDER\n"
                             "  FRAMES 1 to 1000000 (4), WIDTH and HEIGHT 64 to 8192 (640 x 480)\n");
        return 2;
    }
    std::error_code failed;
    std::filesystem::create_directories(options.folder, failed);
    if (failed) {
        std::fprintf(stderr, "zqframes: cannot make %s: %s\n", options.folder.c_str(), failed.message().c_str());
        return 1;
    }
    DriverModule module(ZQGD_MODULE_PATH);
    if (!module.loaded()) {
        std::fprintf(stderr, "zqframes: cannot load the driver module: %s\n", module.error().c_str());
        return 1;
    }
    HWND window = ZqCreateWindow(options.width, options.height, "zqframes");
    if (window == nullptr) {
        std::fprintf(stderr, "zqframes: cannot create a window of %ux%u\n", options.width, options.height);
        return 1;
    }
    std::string error;
    bool done = RenderFrames(options, module, window, error);
    ZqDestroyWindow(window);
    if (!done) {
        std::fprintf(stderr, "zqframes: %s\n", error.c_str());
        return 1;
    }
    if (MMLiveBlocks() != 0) {
        std::fprintf(stderr, "zqframes: %u memory blocks still allocated after closing\n", MMLiveBlocks());
        return 1;
    }
    return 0;
}
