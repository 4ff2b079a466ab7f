// zqframes: renders the built-in scene through the driver module at fixed
// frame times and writes what the window shows after each frame as a PPM
// picture. It builds for Linux and for Windows alike, so the pictures of the
// two systems can be compared pixel by pixel.
//
//   zqframes [FRAMES [WIDTH HEIGHT]] FOLDER    (-h or --help: the usage)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "driver_module.h"
#include "output_files.h"
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

constexpr char kUsage[] = "usage: zqframes [FRAMES [WIDTH HEIGHT]] FOLDER\n"
                         "  FRAMES 1 to 1000000 (4), WIDTH and HEIGHT 64 to 8192 (640 x 480)\n"
                         "  writes FOLDER/frame-NNNN.ppm; status 0 when done, 1 when the run fails,\n"
                         "  2 for a usage error; -h or --help prints this\n";

// A whole number from low to high; false with a message that names it.
bool ParseCount(const char* name, const std::string& text, long low, long high, long& value, std::string& error)
{
    if (text.empty() || text.size() > 11 || text.find_first_not_of("0123456789") != std::string::npos) {
        error = std::string(name) + ": " + text + " is not a number";
        return false;
    }
    value = std::stol(text);
    if (value < low || value > high) {
        error = std::string(name) + ": " + text + " is not from " + std::to_string(low) + " to " + std::to_string(high);
        return false;
    }
    return true;
}

enum class Parse { kRun, kHelp, kUsageError };

Parse ParseOptions(int argc, char** argv, Options& options, std::string& error)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    for (const std::string& argument : arguments) {
        if (argument == "-h" || argument == "--help") return Parse::kHelp;
        if (argument.size() > 1 && argument[0] == '-') {
            error = "unknown option " + argument;
            return Parse::kUsageError;
        }
    }
    size_t count = arguments.size();
    if (count != 1 && count != 2 && count != 4) {
        error = "expected 1, 2 or 4 arguments, got " + std::to_string(count);
        return Parse::kUsageError;
    }
    long frames = options.frames, width = options.width, height = options.height;
    if (count >= 2 && !ParseCount("FRAMES", arguments[0], 1, 1000000, frames, error)) return Parse::kUsageError;
    if (count == 4 && (!ParseCount("WIDTH", arguments[1], 64, 8192, width, error) ||
                       !ParseCount("HEIGHT", arguments[2], 64, 8192, height, error)))
        return Parse::kUsageError;
    if (arguments.back().empty()) {
        error = "FOLDER: the name is empty";
        return Parse::kUsageError;
    }
    options.folder = arguments.back();
    options.frames = static_cast<int>(frames);
    options.width = static_cast<uint32_t>(width);
    options.height = static_cast<uint32_t>(height);
    return Parse::kRun;
}

// Draws every frame and writes it; false with error at the first failure.
bool RenderFrames(const Options& options, const DriverModule& module, HWND window, std::string& error)
{
    Scene scene;
    scene.Build(options.width, options.height);
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
    std::string error;
    switch (ParseOptions(argc, argv, options, error)) {
    case Parse::kHelp:
        std::printf("%s", kUsage);
        return 0;
    case Parse::kUsageError:
        std::fprintf(stderr, "zqframes: %s\n%s", error.c_str(), kUsage);
        return 2;
    case Parse::kRun:
        break;
    }
    if (!MakeOutputFolder(options.folder, error)) {
        std::fprintf(stderr, "zqframes: %s\n", error.c_str());
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
