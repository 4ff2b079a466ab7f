// The viewer as a user runs it: the pictures it writes show the scene, in an
// off-screen window and in a real one under Xvfb, and bad input ends with a
// message and a non-zero status, never a crash.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "viewer/png_file.h"

namespace {

struct Outcome {
    int status = -1;  // exit status, or 128 + signal
    std::string output;
};

Outcome Viewer(const std::string& arguments, const std::string& prefix = "")
{
    Outcome run;
    std::string command = prefix + " " ZQGD_VIEWER " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) run.output += buffer;
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

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
void ExpectScene(const std::string& path)
{
    Picture picture;
    std::string error;
    ASSERT_TRUE(ReadPng(path, picture, error)) << error;
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

class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        directory = std::filesystem::path(testing::TempDir()) /
                    ("viewer-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(directory);
        std::filesystem::create_directories(directory);
    }
    std::string File(const std::string& name, const std::string& contents)
    {
        std::string path = (directory / name).string();
        std::ofstream(path, std::ios::binary) << contents;
        return path;
    }
    std::filesystem::path directory;
};

TEST_F(ViewerTest, OffscreenFramesShowTheScene)
{
    Outcome run = Viewer("--frames 3 --out " + directory.string());
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Open GL"), std::string::npos) << "the description is printed";
    EXPECT_NE(run.output.find("frames per second"), std::string::npos);
    ExpectScene((directory / "frame-0002.png").string());
}

TEST_F(ViewerTest, WindowUnderXvfbShowsTheScene)
{
    // Mesa unloads its X11 driver when the display is terminated at exit, so
    // a leak checker cannot tell its allocations from ours: it is off here
    // (the memory manager's own accounting still covers the driver).
    Outcome run = Viewer("--window --frames 2 --out " + directory.string(),
                         "ASAN_OPTIONS=detect_leaks=0 xvfb-run -a");
    ASSERT_EQ(run.status, 0) << run.output;
    ExpectScene((directory / "frame-0001.png").string());
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
        {"--texture /nonexistent/picture.png", "cannot open"},
        {"--texture " + garbage, "not a PNG"},
        {"--backdrop " + truncated, "damaged PNG"},
        {"--obj /nonexistent/model.obj", "zqviewer:"},
        {"--obj " + empty, "no vertices"},
        {"--module /nonexistent/libzqgd.so", "cannot load the driver module"},
        {"--frames 0", "--frames"},
        {"--no-such-option", "no-such-option"},
    };
    for (const Case& c : cases) {
        Outcome run = Viewer(c.arguments + " --out " + directory.string());
        EXPECT_NE(run.status, 0) << c.arguments << "\n" << run.output;
        EXPECT_LT(run.status, 128) << "no crash: " << c.arguments;
        EXPECT_NE(run.output.find(c.expected), std::string::npos) << c.arguments << "\n" << run.output;
    }
    Outcome run = Viewer("--window --frames 1", "env -u DISPLAY");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("X display"), std::string::npos) << run.output;
}

}  // namespace
