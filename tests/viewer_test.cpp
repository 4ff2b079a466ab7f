// The viewer as a user runs it: the pictures it writes show the scene, in an
// off-screen window and in a real one under Xvfb, and bad input ends with a
// message and a non-zero status, never a crash. Then zqframes, the scene at
// fixed frame times, with the PPM pictures it writes and the comparison
// that holds them against another system's.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "support/picture_compare.h"
#include "support/scratch_folder.h"
#include "viewer/png_file.h"
#include "viewer/ppm_file.h"
#include "viewer/scene.h"

namespace {

struct Outcome {
    int status = -1;  // exit status, or 128 + signal
    std::string output;
};

// Runs a shell command line, its output and errors together.
Outcome RunCommand(const std::string& line)
{
    Outcome run;
    std::string command = line + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) run.output += buffer;
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

// Runs one of this build's programs, through the emulator where it needs one.
Outcome RunProgram(const std::string& program, const std::string& arguments, const std::string& prefix = "")
{
    return RunCommand(prefix + " " + ZQGD_EMULATOR + " " + program + " " + arguments);
}

Outcome Viewer(const std::string& arguments, const std::string& prefix = "")
{
    return RunProgram(ZQGD_VIEWER, arguments, prefix);
}

Outcome Frames(const std::string& arguments) { return RunProgram(ZQGD_FRAMES, arguments); }

struct Pixel {
    int r, g, b;
};

Pixel At(const Picture& picture, uint32_t x, uint32_t y)
{
    const uint8_t* p = &picture.rgba[(size_t{y} * picture.width + x) * 4];
    return {p[0], p[1], p[2]};
}

// Counts the pixels of a rectangle (top-left origin) that satisfy a test.
template <typename Test>
int Count(const Picture& picture, uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1, Test test)
{
    int count = 0;
    for (uint32_t y = y0; y < y1; ++y)
        for (uint32_t x = x0; x < x1; ++x) count += test(At(picture, x, y)) ? 1 : 0;
    return count;
}

// What every picture of the built-in scene must show at 640 x 480.
void ExpectScene(const Picture& picture)
{
    ASSERT_EQ(picture.width, 640u);
    ASSERT_EQ(picture.height, 480u);
    // The sky of the backdrop above the left half of the scene: blue.
    int sky = Count(picture, 240, 60, 400, 70, [](Pixel p) { return p.b > 150 && p.b > p.r + 20; });
    EXPECT_GT(sky, 1200) << "backdrop sky";
    // The HUD: white text on its dark panel.
    int text = Count(picture, 10, 8, 120, 22, [](Pixel p) { return p.r > 240 && p.g > 240 && p.b > 240; });
    int panel = Count(picture, 10, 8, 120, 22, [](Pixel p) { return p.r < 40 && p.g < 40 && p.b > 30 && p.b < 70; });
    EXPECT_GT(text, 60) << "HUD text in the pen colour";
    EXPECT_GT(panel, 600) << "HUD panel";
    // The inset: dark background with the sphere's blue outlines.
    uint32_t insetX = 640 - 213 - 10, insetY = 10;
    int background = Count(picture, insetX, insetY, insetX + 213, insetY + 160,
                           [](Pixel p) { return p.r < 20 && p.g < 20 && p.b > 20 && p.b < 45; });
    int blue = Count(picture, insetX, insetY, insetX + 213, insetY + 160,
                     [](Pixel p) { return p.b > 200 && p.r < 90 && p.g > 90 && p.g < 140; });
    EXPECT_GT(background, 20000) << "inset background";
    EXPECT_GT(blue, 50) << "the sphere's wireframe in the inset";
}

void ExpectSceneInPng(const std::string& path)
{
    Picture picture;
    std::string error;
    ASSERT_TRUE(ReadPng(path, picture, error)) << error;
    ExpectScene(picture);
}

class ViewerTest : public ::testing::Test {
protected:
    std::string File(const std::string& name, const std::string& contents)
    {
        std::string path = (directory / name).string();
        std::ofstream(path, std::ios::binary) << contents;
        return path;
    }
    ScratchFolder scratch{"viewer"};
    const std::filesystem::path directory = scratch.path();
};

TEST_F(ViewerTest, OffscreenFramesShowTheScene)
{
    Outcome run = Viewer("--frames 3 --out " + directory.string());
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Open GL"), std::string::npos) << "the description is printed";
    EXPECT_NE(run.output.find("frames per second"), std::string::npos);
    ExpectSceneInPng((directory / "frame-0002.png").string());
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"frame-0000.png", "frame-0001.png", "frame-0002.png"}))
        << "the frames under their own names and nothing else";
}

// Through the checked module, every frame of the scene draws the same and no
// call of the viewer breaks a rule: the log holds the close's summary alone.
TEST_F(ViewerTest, TheCheckedModuleFindsNothingInTheWholeScene)
{
    std::string log = (directory / "checked.log").string();
    Outcome run = Viewer("--checked --out " + directory.string(), "ZQGD_CHECKED_LOG=" + log);
    ASSERT_EQ(run.status, 0) << run.output;
    ExpectSceneInPng((directory / "frame-0023.png").string());
    std::ifstream file(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 1u) << ::testing::PrintToString(lines);
    EXPECT_TRUE(lines[0].starts_with("zqgd-checked: summary: CloseChannel: channel 0x")) << lines[0];
    EXPECT_TRUE(lines[0].ends_with(": 0 errors, 0 warnings")) << lines[0];
}

TEST_F(ViewerTest, WindowUnderXvfbShowsTheScene)
{
    // Mesa unloads its X11 driver when the display is terminated at exit, so
    // a leak checker cannot tell its allocations from ours: it is off here
    // (the memory manager's own accounting still covers the driver).
    Outcome run = Viewer("--window --frames 2 --out " + directory.string(),
                         "ASAN_OPTIONS=detect_leaks=0 " ZQGD_WITH_XVFB);
    ASSERT_EQ(run.status, 0) << run.output;
    ExpectSceneInPng((directory / "frame-0001.png").string());
}

// With --window and no --frames the viewer runs until Escape is pressed or
// the window is closed, well past the 24 frames of a run without a window.
TEST_F(ViewerTest, WindowRunsUntilEscapeOrClose)
{
    for (const char* action : {"escape", "close"}) {
        std::string log = (directory / (std::string(action) + ".log")).string();
        std::string script = File(std::string(action) + ".sh",
                                  "export ASAN_OPTIONS=detect_leaks=0\n"
                                  ZQGD_EMULATOR " \"" ZQGD_VIEWER "\" --window > " + log + " 2>&1 &\n"
                                  "viewer=$!\n"
                                  "until grep -q '^frame 40 ' " + log + " || ! kill -0 $viewer 2>/dev/null; do sleep 0.05; done\n"
                                  ZQGD_EMULATOR " \"" ZQGD_X11_SEND "\" " + action + " zqviewer\n"
                                  "wait $viewer\n"
                                  "echo \"viewer status $?\"\n"
                                  "cat " + log + "\n");
        Outcome run = RunCommand(ZQGD_WITH_XVFB " sh " + script);
        EXPECT_EQ(run.status, 0) << action << "\n" << run.output;
        EXPECT_NE(run.output.find("viewer status 0\n"), std::string::npos) << action << "\n" << run.output;
        EXPECT_NE(run.output.find("\nframe 40 "), std::string::npos) << action << ": runs past 24 frames\n" << run.output;
        size_t summary = run.output.find(" frames in ");
        ASSERT_NE(summary, std::string::npos) << action << "\n" << run.output;
        size_t start = run.output.rfind('\n', summary) + 1;
        EXPECT_GE(std::stoi(run.output.substr(start, summary - start)), 40) << action << "\n" << run.output;
    }
}

// The built-in panorama is as tall as the window needs: the clear colour
// (the haze of the horizon) never shows as a band across the top of the sky,
// at the default size or a large one, at the lowest and the highest camera.
TEST_F(ViewerTest, PanoramaCoversTheSkyAtEveryWindowSize)
{
    for (auto [width, height] : {std::pair{640u, 480u}, std::pair{2048u, 1536u}, std::pair{320u, 1200u}}) {
        std::string out = (directory / (std::to_string(width) + "x" + std::to_string(height))).string();
        Outcome run = Viewer("--frames 2 --width " + std::to_string(width) + " --height " + std::to_string(height) +
                             " --out " + out);
        ASSERT_EQ(run.status, 0) << run.output;
        for (const char* name : {"frame-0000.png", "frame-0001.png"}) {
            Picture frame;
            std::string error;
            ASSERT_TRUE(ReadPng(out + "/" + name, frame, error)) << error;
            ASSERT_EQ(frame.height, height);
            // Above the HUD and the inset, the top rows are deep blue sky.
            int haze = Count(frame, 0, 0, width, 6, [](Pixel p) {
                return std::abs(p.r - 158) <= 3 && std::abs(p.g - 184) <= 3 && std::abs(p.b - 204) <= 3;
            });
            int sky = Count(frame, 0, 0, width, 6, [](Pixel p) { return p.b > 150 && p.r < 80; });
            EXPECT_EQ(haze, 0) << width << "x" << height << " " << name;
            EXPECT_GT(sky, int(width) * 6 * 9 / 10) << width << "x" << height << " " << name;
        }
    }
}

// The built-in panorama against the driver's placement of a backdrop (its
// centre at the view's centre for the camera's heading and tilt, at width /
// angular width pixels a radian, the offset truncated toward zero): at
// every heading round the circle and every tilt of the orbiting camera,
// the picture covers the whole view. Its columns past the full circle
// repeat the first ones.
TEST(ScenePanorama, CoversTheViewAtEveryHeadingAndTilt)
{
    const float pi = 3.14159265f;
    for (auto size : {std::pair{640u, 480u}, std::pair{2048u, 1536u}, std::pair{64u, 1200u}, std::pair{8192u, 64u}}) {
        const uint32_t width = size.first, height = size.second;  // named, for the lambda below
        Scene scene;
        scene.Build(width, height);
        const Picture& panorama = scene.panorama;
        ASSERT_EQ(scene.panoramaCircle, kPanoramaCircle);
        ASSERT_EQ(panorama.width, kPanoramaCircle + width);
        ASSERT_EQ(panorama.rgba.size(), size_t{panorama.width} * panorama.height * 4);
        for (uint32_t y : {0u, panorama.height / 2, panorama.height - 1})
            for (uint32_t x = kPanoramaCircle; x < panorama.width; x += 7)
                ASSERT_EQ(std::memcmp(&panorama.rgba[(size_t{y} * panorama.width + x) * 4],
                                      &panorama.rgba[(size_t{y} * panorama.width + x - kPanoramaCircle) * 4], 4),
                          0)
                    << x << ", " << y;
        TextureDefinition definition = BackdropFrom(scene.panorama, scene.panoramaCircle);
        const float scale = float(panorama.width) / definition.angularWidth;
        auto covers = [&](float dh, float dv) {
            auto x = long(float(width) * 0.5f - scale * dh - float(panorama.width) * 0.5f);
            auto y = long(scale * dv + float(height) * 0.5f - float(panorama.height) * 0.5f);
            return x <= 0 && x + long(panorama.width) >= long(width) && y <= 0 && y + long(panorama.height) >= long(height);
        };
        // The orbit, and an endless run going on round the circle.
        for (int frame = 0; frame < 150; ++frame) {
            Camera camera = OrbitCamera(frame, 24);
            float heading = std::fmod(camera.heading, 2 * pi);
            if (heading < 0) heading += 2 * pi;
            float dh = heading - definition.horizontalAngle;
            if (dh > pi) dh -= 2 * pi;
            float dv = -camera.pitch - definition.verticalAngle;
            EXPECT_TRUE(covers(dh, dv)) << width << "x" << height << " frame " << frame;
        }
        for (int step = -63; step <= 64; ++step)
            for (float tilt : {-kPanoramaTilt, 0.0f, kPanoramaTilt})
                EXPECT_TRUE(covers(pi * float(step) / 64, tilt)) << width << "x" << height << " " << step << " " << tilt;
    }
}

TEST_F(ViewerTest, LoadsAnObjModelWithItsMaterials)
{
    File("cube.mtl", "newmtl red\nKd 1 0 0\nKs 0.5 0.5 0.5\nNs 20\nd 1\n");
    std::string obj = File("cube.obj",
                           "mtllib cube.mtl\nusemtl red\n"
                           "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
                           "f 1 4 3 2\nf 5 6 7 8\nf 1 5 8 4\nf 2 3 7 6\nf 4 8 7 3\nf 1 2 6 5 1\n");
    Outcome run = Viewer("--frames 1 --obj " + obj + " --out " + directory.string());
    ASSERT_EQ(run.status, 0) << run.output;
    Picture picture;
    std::string error;
    ASSERT_TRUE(ReadPng((directory / "frame-0000.png").string(), picture, error)) << error;
    int red = Count(picture, 200, 120, 440, 360, [](Pixel p) { return p.r > 120 && p.g < 60 && p.b < 60; });
    EXPECT_GT(red, 500) << "the red cube stands in the middle";
}

TEST_F(ViewerTest, BadInputEndsWithAMessage)
{
    std::string garbage = File("garbage.png", "this is not a picture");
    std::string truncated = File("truncated.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0", 18));
    std::string empty = File("empty.obj", "# nothing here\n");
    struct Case {
        std::string arguments, expected;
    };
    const Case cases[] = {
        {"--texture /nonexistent/picture.png", "zqviewer: cannot open /nonexistent/picture.png: No such file or directory"},
        {"--texture " + garbage, "not a PNG"},
        {"--backdrop " + truncated, "damaged PNG"},
        {"--obj /nonexistent/model.obj", "zqviewer: cannot open /nonexistent/model.obj: No such file or directory"},
        {"--obj " + empty, "no vertices"},
        {"--module /nonexistent/libzqgd.so", "cannot load the driver module"},
    };
    for (const Case& c : cases) {
        Outcome run = Viewer(c.arguments + " --out " + directory.string());
        EXPECT_EQ(run.status, 1) << c.arguments << "\n" << run.output;
        EXPECT_NE(run.output.find(c.expected), std::string::npos) << c.arguments << "\n" << run.output;
    }
    // libpng's own text is part of the viewer's message, and said once.
    Outcome damaged = Viewer("--backdrop " + truncated);
    EXPECT_NE(damaged.output.find("zqviewer: " + truncated + " is a damaged PNG file ("), std::string::npos)
        << damaged.output;
    size_t first = damaged.output.find("Read Error");
    ASSERT_NE(first, std::string::npos) << damaged.output;
    EXPECT_EQ(damaged.output.find("Read Error", first + 1), std::string::npos) << damaged.output;
    EXPECT_EQ(damaged.output.find("libpng error"), std::string::npos) << damaged.output;
    Outcome run = Viewer("--window --frames 1", "env -u DISPLAY");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("X display"), std::string::npos) << run.output;
}

// Every index of a face is checked before use: past the end, relative
// (negative) before the start or before the line, zero, too large for any
// integer, not a number; for vertices, texture coordinates and normals
// alike. Each ends with the file, the line and what was wrong.
TEST_F(ViewerTest, ObjFacesNamingMissingAttributesAreRefused)
{
    // Three vertices, two texture coordinates and one normal; the face is line 7.
    const std::string head = "v 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nvt 1 0\nvn 0 0 1\n";
    struct Case {
        std::string face, expected;
    };
    const Case bad[] = {
        {"f 1 2 4", ":7: there is no vertex 4: the file has 3 vertices"},
        {"f 1 2 200000000", ":7: there is no vertex 200000000: the file has 3 vertices"},
        {"f 1 2 99999999999999999999", ":7: there is no vertex 99999999999999999999"},
        {"f 1 2 -4", ":7: vertex -4 reaches back before the first of the 3 vertices read so far"},
        {"f 1 2 -99999999999999999999", ":7: vertex -99999999999999999999 reaches back"},
        {"f 1 2 0", ":7: vertex index 0 names nothing"},
        {"f 1 2 x", ":7: 'x' is not a vertex index"},
        {"f 1 2 3/", ":7: '' is not a texture coordinate index"},
        {"f 1 2 3//", ":7: '3//' is not a face corner"},
        {"f 1/1 2/2 3/3", ":7: there is no texture coordinate 3: the file has 2 texture coordinates"},
        {"f 1/1 2/2 3/-3", ":7: texture coordinate -3 reaches back before the first of the 2"},
        {"f 1/1 2/0 3/1", ":7: texture coordinate index 0 names nothing"},
        {"f 1//1 2//1 3//2", ":7: there is no normal 2: the file has 1 normal"},
        {"f 1//1 2//1 3//-2", ":7: normal -2 reaches back before the first of the 1 normals"},
        {"f 1/1/1 2/2/1 3/2/9", ":7: there is no normal 9"},
        {"f 1/1/1 2/2/0 3/2/1", ":7: normal index 0 names nothing"},
    };
    for (const Case& c : bad) {
        std::string obj = File("bad.obj", head + c.face + "\n");
        Outcome run = Viewer("--frames 1 --obj " + obj);
        EXPECT_EQ(run.status, 1) << c.face << "\n" << run.output;
        EXPECT_NE(run.output.find("zqviewer: " + obj + c.expected), std::string::npos) << c.face << "\n" << run.output;
    }
    // A relative index counts back from the last vertex before its line,
    // not from the end of the file.
    std::string early = File("early.obj", "v 0 0 0\nv 1 0 0\nf -1 -2 -3\nv 1 1 0\n");
    Outcome run = Viewer("--frames 1 --obj " + early);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find(early + ":3: vertex -3 reaches back before the first of the 2 vertices"),
              std::string::npos) << run.output;
    // The last index of each kind, counted from either end, is accepted.
    for (const char* face : {"f 1/1/1 2/2/1 3/2/1", "f -3/-2/-1 -2/-1/-1 -1/-1/-1", "f 1 2 3", "f 1//1 2//1 3//1"}) {
        std::string obj = File("good.obj", head + face + "\n");
        Outcome good = Viewer("--frames 1 --obj " + obj);
        EXPECT_EQ(good.status, 0) << face << "\n" << good.output;
    }
}

// Both programs: --help and -h print the usage and exit 0 (and are never
// taken for a folder); a usage error prints one line naming what was wrong,
// then the usage, and exits 2.
TEST_F(ViewerTest, HelpAndUsageErrorsFollowOneConvention)
{
    const std::string inScratch = "cd " + directory.string() + " &&";
    for (const char* help : {"--help", "-h"}) {
        Outcome viewer = Viewer(help, inScratch);
        EXPECT_EQ(viewer.status, 0) << help << "\n" << viewer.output;
        EXPECT_NE(viewer.output.find("Usage:"), std::string::npos) << viewer.output;
        EXPECT_NE(viewer.output.find("--backdrop"), std::string::npos) << viewer.output;
        Outcome frames = RunProgram(ZQGD_FRAMES, help, inScratch);
        EXPECT_EQ(frames.status, 0) << help << "\n" << frames.output;
        EXPECT_NE(frames.output.find("usage: zqframes"), std::string::npos) << frames.output;
        Outcome late = RunProgram(ZQGD_FRAMES, std::string("2 ") + help, inScratch);
        EXPECT_EQ(late.status, 0) << help << "\n" << late.output;
    }
    EXPECT_TRUE(std::filesystem::is_empty(directory)) << "nothing is written for --help";

    struct Case {
        std::string arguments, expected;
    };
    const Case viewerCases[] = {
        {"--width abc", "zqviewer: --width: abc is not a number\n"},
        {"--width 12x", "zqviewer: --width: 12x is not a number\n"},
        {"--width 63", "zqviewer: --width: 63 is not from 64 to 8192\n"},
        {"--height 8193", "zqviewer: --height: 8193 is not from 64 to 8192\n"},
        {"--height 99999999999999999999", "zqviewer: --height: 99999999999999999999 is not a number\n"},
        {"--frames 0", "zqviewer: --frames: 0 is not from 1 to 1000000\n"},
        {"--frames 1000001", "zqviewer: --frames: 1000001 is not from 1 to 1000000\n"},
        {"--frames", "zqviewer: --frames:"},
        {"--out ''", "zqviewer: --out: the name is empty\n"},
        {"--obj ''", "zqviewer: --obj: the name is empty\n"},
        {"--no-such-option", "zqviewer: The following argument was not expected: --no-such-option\n"},
    };
    for (const Case& c : viewerCases) {
        Outcome run = Viewer(c.arguments, inScratch);
        EXPECT_EQ(run.status, 2) << c.arguments << "\n" << run.output;
        EXPECT_EQ(run.output.find(c.expected), 0u) << c.arguments << "\n" << run.output;
        EXPECT_NE(run.output.find("Usage:"), std::string::npos) << c.arguments << "\n" << run.output;
    }
    const Case framesCases[] = {
        {"", "zqframes: expected 1, 2 or 4 arguments, got 0\n"},
        {"3 out extra", "zqframes: expected 1, 2 or 4 arguments, got 3\n"},
        {"0 out", "zqframes: FRAMES: 0 is not from 1 to 1000000\n"},
        {"x out", "zqframes: FRAMES: x is not a number\n"},
        {"3 63 480 out", "zqframes: WIDTH: 63 is not from 64 to 8192\n"},
        {"3 640 8193 out", "zqframes: HEIGHT: 8193 is not from 64 to 8192\n"},
        {"3 640 4x0 out", "zqframes: HEIGHT: 4x0 is not a number\n"},
        {"-x out", "zqframes: unknown option -x\n"},
        {"''", "zqframes: FOLDER: the name is empty\n"},
    };
    for (const Case& c : framesCases) {
        Outcome run = RunProgram(ZQGD_FRAMES, c.arguments, inScratch);
        EXPECT_EQ(run.status, 2) << c.arguments << "\n" << run.output;
        EXPECT_EQ(run.output.find(c.expected), 0u) << c.arguments << "\n" << run.output;
        EXPECT_NE(run.output.find("usage: zqframes"), std::string::npos) << c.arguments;
    }
    EXPECT_TRUE(std::filesystem::is_empty(directory)) << "nothing is written for a usage error";
    // The smallest and largest accepted values.
    EXPECT_EQ(Viewer("--frames 1 --width 64 --height 64").status, 0);
    EXPECT_EQ(RunProgram(ZQGD_FRAMES, "1 64 8192 " + (directory / "tall").string()).status, 0);
}

// A folder that cannot be made ends with its path and the system's reason;
// a frame that cannot be written whole leaves nothing behind.
TEST_F(ViewerTest, OutputFoldersThatCannotBeWrittenEndWithTheReason)
{
    std::string file = File("file", "a file where a folder should be");
    struct Case {
        std::string folder, expected;
    };
    const Case cases[] = {
        {file + "/frames", "cannot make the folder " + file + "/frames: Not a directory"},
        {file + "/deeper/frames", "cannot make the folder " + file + "/deeper/frames: Not a directory"},
        {file, "cannot make the folder " + file + ": Not a directory"},
        {"/proc/self/nope", "cannot make the folder /proc/self/nope: "},
    };
    for (const Case& c : cases) {
        Outcome viewer = Viewer("--frames 1 --out " + c.folder);
        EXPECT_EQ(viewer.status, 1) << c.folder << "\n" << viewer.output;
        EXPECT_NE(viewer.output.find("zqviewer: " + c.expected), std::string::npos) << viewer.output;
        Outcome frames = Frames("1 " + c.folder);
        EXPECT_EQ(frames.status, 1) << c.folder << "\n" << frames.output;
        EXPECT_NE(frames.output.find("zqframes: " + c.expected), std::string::npos) << frames.output;
    }
    // A file size limit stands in for a full disk: the write fails part way.
    const std::string limited = "ulimit -f 8; trap '' XFSZ;";
    const std::filesystem::path pictures = directory / "pictures", ppm = directory / "ppm";
    Outcome viewer = Viewer("--frames 1 --out " + pictures.string(), limited);
    EXPECT_EQ(viewer.status, 1) << viewer.output;
    EXPECT_NE(viewer.output.find("zqviewer: cannot write " + (pictures / "frame-0000.png").string() +
                                 ": File too large"),
              std::string::npos)
        << viewer.output;
    ASSERT_TRUE(std::filesystem::is_directory(pictures));
    EXPECT_TRUE(std::filesystem::is_empty(pictures)) << "no partial picture";
    Outcome frames = RunProgram(ZQGD_FRAMES, "1 " + ppm.string(), limited);
    EXPECT_EQ(frames.status, 1) << frames.output;
    EXPECT_NE(frames.output.find("zqframes: cannot write " + (ppm / "frame-0000.ppm").string() + ": File too large"),
              std::string::npos)
        << frames.output;
    ASSERT_TRUE(std::filesystem::is_directory(ppm));
    EXPECT_TRUE(std::filesystem::is_empty(ppm)) << "no partial picture";
}

// A picture whose quarters tell its corners apart: red at the top left,
// green at the top right, blue at the bottom left, yellow at the bottom
// right. Written as a PNG file, top row first.
std::string WriteQuarters(const std::string& path)
{
    const uint32_t side = 64;
    Picture picture{side, side, std::vector<uint8_t>(side * side * 4, 255)};
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x) {
            uint8_t* p = &picture.rgba[(y * side + x) * 4];
            bool left = x < side / 2, top = y < side / 2;
            p[0] = (top && left) || (!top && !left) ? 255 : 0;
            p[1] = !left ? 255 : 0;
            p[2] = !top && left ? 255 : 0;
        }
    FlipRows(picture);  // WritePng takes the bottom row first
    std::string error;
    EXPECT_TRUE(WritePng(path, picture.rgba.data(), side, side, error)) << error;
    return path;
}

// One channel strong, the others well below it, under any light.
bool Red(Pixel p) { return p.r > 80 && p.g * 5 < p.r * 2 && p.b * 5 < p.r * 2; }
bool Green(Pixel p) { return p.g > 80 && p.r * 5 < p.g * 2 && p.b * 5 < p.g * 2; }
bool Blue(Pixel p) { return p.b > 80 && p.r * 5 < p.b * 2 && p.g * 5 < p.b * 2; }

// Where the pixels of a kind lie on average within a rectangle, and how many.
struct Spot {
    int count = 0;
    double x = 0, y = 0;
};

template <typename Test>
Spot Find(const Picture& picture, uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1, Test test)
{
    Spot spot;
    for (uint32_t y = y0; y < y1; ++y)
        for (uint32_t x = x0; x < x1; ++x)
            if (test(At(picture, x, y))) {
                ++spot.count;
                spot.x += x;
                spot.y += y;
            }
    if (spot.count > 0) {
        spot.x /= spot.count;
        spot.y /= spot.count;
    }
    return spot;
}

// The picture's top-left quarter shows at the top left of the face: red
// above blue, and left of green.
void ExpectUpright(const Picture& frame, uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1, const char* what)
{
    Spot red = Find(frame, x0, y0, x1, y1, Red), green = Find(frame, x0, y0, x1, y1, Green),
         blue = Find(frame, x0, y0, x1, y1, Blue);
    ASSERT_GT(red.count, 50) << what;
    ASSERT_GT(green.count, 50) << what;
    ASSERT_GT(blue.count, 50) << what;
    EXPECT_LT(red.y + 5, blue.y) << what << ": the top of the picture is at the top";
    EXPECT_LT(red.x + 5, green.x) << what << ": the left of the picture is at the left";
}

TEST_F(ViewerTest, PicturesShowTheRightWayUpOnTheBoxAndOnAModel)
{
    WriteQuarters((directory / "quarters.png").string());
    File("quad.mtl", "newmtl picture\nKd 1 1 1\nmap_Kd quarters.png\n");
    std::string obj = File("quad.obj",
                           "mtllib quad.mtl\nv -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\n"
                           "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nusemtl picture\nf 1/1 2/2 3/3 4/4\n");
    Outcome run = Viewer("--frames 2 --texture " + (directory / "quarters.png").string() + " --obj " + obj +
                         " --out " + (directory / "frames").string());
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("warning"), std::string::npos) << run.output;
    Picture first, second;
    std::string error;
    ASSERT_TRUE(ReadPng((directory / "frames" / "frame-0000.png").string(), first, error)) << error;
    ASSERT_TRUE(ReadPng((directory / "frames" / "frame-0001.png").string(), second, error)) << error;
    // The box stands on the left in the first frame, the model's face in
    // the middle of the second.
    ExpectUpright(first, 80, 200, 220, 330, "the box's faces");
    ExpectUpright(second, 270, 150, 380, 305, "the model's face");
}

// The cube of the model's materials: faces with colour, opacity or texture
// from its MTL file. A missing MTL file or texture gives a warning and the
// faces the default material: the same picture as a cube without materials.
TEST_F(ViewerTest, ObjMaterialsGiveColourOpacityAndTexturesOrAWarning)
{
    const std::string cube = "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
                             "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                             "f 1/1 4/2 3/3 2/4\nf 5/1 6/2 7/3 8/4\nf 1/1 5/2 8/3 4/4\nf 2/1 3/2 7/3 6/4\n"
                             "f 4/1 8/2 7/3 3/4\nf 1/1 2/2 6/3 5/4\n";
    auto render = [&](const std::string& name, const std::string& mtl, const std::string& use, Outcome& run) {
        if (!mtl.empty()) File(name + ".mtl", mtl);
        std::string obj = File(name + ".obj", use + cube);
        run = Viewer("--frames 1 --obj " + obj + " --out " + (directory / name).string());
        Picture picture;
        std::string error;
        EXPECT_TRUE(ReadPng((directory / name / "frame-0000.png").string(), picture, error)) << error;
        return picture;
    };
    // The top of the cube's front face, where nothing stands before it.
    const uint32_t x0 = 235, y0 = 170, x1 = 300, y1 = 215;
    auto reddish = [](Pixel p) { return p.r > p.g + 15; };  // the sky and grey have less red than green
    Outcome run;
    Picture plain = render("plain", "", "", run);
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_EQ(plain.width, 640u);
    EXPECT_EQ(Count(plain, x0, y0, x1, y1, reddish), 0);

    Picture opaque = render("opaque", "newmtl red\nKd 1 0 0\nd 1\n", "mtllib opaque.mtl\nusemtl red\n", run);
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_EQ(opaque.width, 640u);
    EXPECT_GT(Count(opaque, x0, y0, x1, y1, Red), 2800) << "solid red";

    // Three tenths opaque: the sky shows through the red.
    Picture clear = render("clear", "newmtl red\nKd 1 0 0\nd 0.3\n", "mtllib clear.mtl\nusemtl red\n", run);
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_EQ(clear.width, 640u);
    EXPECT_EQ(Count(clear, x0, y0, x1, y1, Red), 0) << "no solid red";
    EXPECT_GT(Count(clear, x0, y0, x1, y1, reddish), 2800) << "tinted red";
    // Drawn after the opaque objects: the brick pillar behind it shows through.
    EXPECT_GT(Count(clear, 312, 170, 358, 215, [](Pixel p) { return p.r > 110 && p.g < 70 && p.b < 70; }), 600)
        << "the pillar behind the see-through model";

    // The texture, modulated by the diffuse colour: the picture's quarters.
    WriteQuarters((directory / "quarters.png").string());
    Picture textured =
        render("textured", "newmtl picture\nKd 1 1 1\nmap_Kd quarters.png\n", "mtllib textured.mtl\nusemtl picture\n", run);
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_EQ(textured.width, 640u);
    for (auto kind : {Red, Green, Blue})
        EXPECT_GT(Count(textured, 200, 120, 440, 360, kind), 1000) << "each quarter of the picture shows";

    File("garbage.png", "not a picture");
    struct Case {
        std::string name, mtl, use, warning;
    };
    const Case missing[] = {
        {"nomtl", "", "mtllib nowhere.mtl\nusemtl red\n", "nomtl.obj: Material file [ nowhere.mtl ] not found"},
        {"notexture", "newmtl red\nKd 1 0 0\nmap_Kd nothere.png\n", "mtllib notexture.mtl\nusemtl red\n",
         "notexture.obj: material red: cannot open " + (directory / "nothere.png").string() +
             ": No such file or directory; its faces are drawn with the default material"},
        {"badtexture", "newmtl red\nKd 1 0 0\nmap_Kd garbage.png\n", "mtllib badtexture.mtl\nusemtl red\n",
         "badtexture.obj: material red: " + (directory / "garbage.png").string() + " is not a PNG file"},
    };
    for (const Case& c : missing) {
        Picture picture = render(c.name, c.mtl, c.use, run);
        EXPECT_EQ(run.status, 0) << c.name << "\n" << run.output;
        EXPECT_NE(run.output.find("zqviewer: warning: " + (directory / c.warning).string()), std::string::npos)
            << c.name << "\n" << run.output;
        PictureDifference difference;
        ASSERT_TRUE(ComparePictures(picture, plain, 0, difference)) << c.name;
        EXPECT_EQ(difference.differing, 0u) << c.name << ": drawn as without materials";
    }
}

Picture ReadFrame(const std::filesystem::path& path)
{
    Picture picture;
    std::string error;
    EXPECT_TRUE(ReadPpm(path.string(), picture, error)) << error;
    return picture;
}

// zqframes draws the same frames on every run: the camera and the HUD
// depend on the frame number alone. Frames of one run differ, as the camera
// moves.
TEST_F(ViewerTest, FramesAtFixedTimesShowTheSceneAndRepeat)
{
    const std::filesystem::path first = directory / "first", second = directory / "second";
    for (const auto& folder : {first, second}) {
        Outcome run = Frames("3 " + folder.string());
        ASSERT_EQ(run.status, 0) << run.output;
    }
    ASSERT_FALSE(std::filesystem::exists(first / "frame-0003.ppm"));
    for (const char* name : {"frame-0000.ppm", "frame-0001.ppm", "frame-0002.ppm"}) {
        Picture picture = ReadFrame(first / name);
        ExpectScene(picture);
        PictureDifference difference;
        ASSERT_TRUE(ComparePictures(picture, ReadFrame(second / name), 0, difference));
        EXPECT_EQ(difference.differing, 0u) << name << ": largest difference " << difference.largest;
    }
    PictureDifference moved;
    ASSERT_TRUE(ComparePictures(ReadFrame(first / "frame-0000.ppm"), ReadFrame(first / "frame-0002.ppm"), 8, moved));
    EXPECT_GT(moved.beyond, 10000u) << "the camera moves between frames";
}

// PPM pictures: rows top first in the file, bottom first in memory.
TEST_F(ViewerTest, PpmPicturesRoundTripAndBadFilesAreRefused)
{
    const uint8_t bottomFirst[] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0,  // bottom row
                                   10, 11, 12, 0, 13, 14, 15, 0, 16, 17, 18, 0};
    std::string error;
    std::string path = (directory / "picture.ppm").string();
    ASSERT_TRUE(WritePpm(path, bottomFirst, 3, 2, error)) << error;
    std::ifstream file(path, std::ios::binary);
    std::string contents((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(contents, std::string("P6\n3 2\n255\n\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x01\x02\x03\x04\x05\x06\x07\x08\x09"));
    Picture picture;
    ASSERT_TRUE(ReadPpm(path, picture, error)) << error;
    ASSERT_EQ(picture.width, 3u);
    ASSERT_EQ(picture.height, 2u);
    const std::vector<uint8_t> topFirst = {10, 11, 12, 255, 13, 14, 15, 255, 16, 17, 18, 255,
                                           1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255};
    EXPECT_EQ(picture.rgba, topFirst);

    ASSERT_TRUE(ReadPpm(File("comment.ppm", std::string("P6 # made by hand\n1\t1 255\n\xff\x80\x00", 29)), picture, error))
        << error;
    EXPECT_EQ(picture.rgba, (std::vector<uint8_t>{255, 128, 0, 255}));
    struct Case {
        std::string contents, expected;
    };
    const Case cases[] = {
        {"P3\n1 1\n255\n0 0 0\n", "not a binary PPM"},
        {"P6\n0 1\n255\n", "not a binary PPM"},
        {"P6\n16385 1\n255\n", "not a binary PPM"},
        {"P6\n99999999999 1\n255\n", "not a binary PPM"},
        {"P6\n1 1\n255", "not a binary PPM"},
        {"P6\n1 1\n65535\n012345", "8 bits"},
        {"P6\n2 2\n255\nabcdefghij", "ends before"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(ReadPpm(File("bad.ppm", c.contents), picture, error)) << c.contents;
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.contents << ": " << error;
    }
    EXPECT_FALSE(ReadPpm((directory / "missing.ppm").string(), picture, error));
    EXPECT_FALSE(WritePpm((directory / "no-folder" / "x.ppm").string(), bottomFirst, 3, 2, error));
}

TEST(PictureComparison, ChannelsAreComparedOneByOneAgainstTheTolerance)
{
    Picture a{2, 2, std::vector<uint8_t>(16, 100)};
    Picture b = a;
    PictureDifference difference;
    ASSERT_TRUE(ComparePictures(a, b, 0, difference));
    EXPECT_EQ(difference.largest, 0);
    EXPECT_EQ(difference.differing, 0u);

    b.rgba[3] = 0;     // alpha is not compared
    b.rgba[4] = 104;   // pixel 1: red 4 up
    b.rgba[10] = 97;   // pixel 2: blue 3 down ...
    b.rgba[9] = 102;   // ... and green 2 up: its difference is 3, not 5
    ASSERT_TRUE(ComparePictures(a, b, 3, difference));
    EXPECT_EQ(difference.largest, 4);
    EXPECT_EQ(difference.differing, 2u);
    EXPECT_EQ(difference.beyond, 1u);
    ASSERT_TRUE(ComparePictures(a, b, 4, difference));
    EXPECT_EQ(difference.beyond, 0u);
    b.rgba[14] = 0;    // pixel 3: blue 100 down
    ASSERT_TRUE(ComparePictures(b, a, 4, difference));
    EXPECT_EQ(difference.largest, 100);
    EXPECT_EQ(difference.beyond, 1u);

    Picture wide{4, 1, std::vector<uint8_t>(16, 100)};
    EXPECT_FALSE(ComparePictures(a, wide, 255, difference));
}

}  // namespace
