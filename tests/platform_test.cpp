// The window-system stand-in: formats, device contexts, palettes, contexts
// and what a window shows.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdlib>
#include <vector>

#include "zqgd/platform.h"

namespace {

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override { window = ZqCreateWindow(32, 16, "platform"); ASSERT_NE(window, nullptr); }
    void TearDown() override
    {
        ZqDestroyWindow(window);
        ZqSetPixelFormats(nullptr, -1);
    }
    HWND window = nullptr;
};

TEST_F(PlatformTest, DerivedFormatsComeInDoubleAndSingleBufferedPairs)
{
    HDC dc = GetDC(window);
    int count = DescribePixelFormat(dc, 1, sizeof(PIXELFORMATDESCRIPTOR), nullptr);
    ASSERT_GE(count, 2);
    ASSERT_EQ(count % 2, 0);
    PIXELFORMATDESCRIPTOR first{}, second{};
    EXPECT_EQ(DescribePixelFormat(dc, 1, sizeof first, &first), count);
    EXPECT_EQ(DescribePixelFormat(dc, 2, sizeof second, &second), count);
    EXPECT_TRUE(first.dwFlags & PFD_DOUBLEBUFFER);
    EXPECT_FALSE(second.dwFlags & PFD_DOUBLEBUFFER);
    EXPECT_EQ(first.cColorBits, 32);
    EXPECT_EQ(first.cRedShift, 16);
    EXPECT_EQ(first.cDepthBits, 24);
    EXPECT_EQ(DescribePixelFormat(dc, count + 1, sizeof first, &first), 0);
    EXPECT_EQ(ReleaseDC(window, dc), 1);
}

TEST_F(PlatformTest, PixelFormatIsSetOnce)
{
    HDC dc = GetDC(window);
    PIXELFORMATDESCRIPTOR wanted{};
    wanted.dwFlags = 0;
    wanted.cColorBits = 32;
    int chosen = ChoosePixelFormat(dc, &wanted);
    ASSERT_GT(chosen, 0);
    PIXELFORMATDESCRIPTOR got{};
    DescribePixelFormat(dc, chosen, sizeof got, &got);
    EXPECT_FALSE(got.dwFlags & PFD_DOUBLEBUFFER) << "the buffering asked for wins";
    EXPECT_TRUE(SetPixelFormat(dc, chosen, &got));
    EXPECT_TRUE(SetPixelFormat(dc, chosen, &got));
    EXPECT_FALSE(SetPixelFormat(dc, chosen == 1 ? 2 : 1, &got));
    EXPECT_EQ(ZqGetWindowPixelFormat(window), chosen);
    ReleaseDC(window, dc);
}

TEST_F(PlatformTest, ContextNeedsAPixelFormatAndBindsToTheWindow)
{
    HDC dc = GetDC(window);
    EXPECT_EQ(wglCreateContext(dc), nullptr);
    PIXELFORMATDESCRIPTOR format{};
    DescribePixelFormat(dc, 1, sizeof format, &format);
    SetPixelFormat(dc, 1, &format);
    int contexts = ZqLiveObjects(ZQ_OBJECT_GL_CONTEXT);
    HGLRC context = wglCreateContext(dc);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(ZqLiveObjects(ZQ_OBJECT_GL_CONTEXT), contexts + 1);
    ASSERT_TRUE(wglMakeCurrent(dc, context));
    EXPECT_EQ(wglGetCurrentContext(), context);

    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    std::vector<uint8_t> shown(32 * 16 * 4, 7);
    ASSERT_EQ(ZqReadFrontImage(window, shown.data(), 32, 16), 0);
    EXPECT_EQ(shown[2], 0) << "a double-buffered window shows nothing before its first swap";
    EXPECT_TRUE(SwapBuffers(dc));
    ASSERT_EQ(ZqReadFrontImage(window, shown.data(), 32, 16), 0);
    EXPECT_EQ(shown[0], 0);
    EXPECT_EQ(shown[2], 255);
    EXPECT_EQ(shown[(32 * 16 - 1) * 4 + 2], 255);

    EXPECT_TRUE(wglMakeCurrent(dc, nullptr));
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_TRUE(wglDeleteContext(context));
    EXPECT_FALSE(wglDeleteContext(context));
    EXPECT_EQ(ZqLiveObjects(ZQ_OBJECT_GL_CONTEXT), contexts);
    ReleaseDC(window, dc);
}

TEST_F(PlatformTest, PalettesAreSelectedRealisedAndDeleted)
{
    HDC dc = GetDC(window);
    EXPECT_EQ(ZqGetSelectedPalette(dc), ZqGetDefaultPalette());
    struct {
        LOGPALETTE header;
        PALETTEENTRY more[1];
    } logical{{0x300, 2, {{1, 2, 3, 0}}}, {{4, 5, 6, 0}}};
    HPALETTE palette = CreatePalette(&logical.header);
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(SelectPalette(dc, palette, FALSE), ZqGetDefaultPalette());
    EXPECT_EQ(RealizePalette(dc), 2u);
    EXPECT_EQ(ZqGetRealizeCount(dc), 1);
    PALETTEENTRY read[2];
    ASSERT_EQ(ZqGetPaletteEntries(palette, read, 2), 2);
    EXPECT_EQ(read[1].peBlue, 6);
    EXPECT_FALSE(DeleteObject(palette)) << "a selected palette cannot be deleted";
    SelectPalette(dc, ZqGetDefaultPalette(), FALSE);
    EXPECT_TRUE(DeleteObject(palette));
    EXPECT_EQ(ZqGetPaletteEntries(palette, read, 2), -1);
    ReleaseDC(window, dc);
}

TEST_F(PlatformTest, DesktopDepthAndDeviceWithoutFormats)
{
    ZqSetDesktopDepth(16);
    HDC desktop = GetDC(GetDesktopWindow());
    EXPECT_EQ(GetDeviceCaps(desktop, BITSPIXEL), 16);
    ReleaseDC(GetDesktopWindow(), desktop);
    ZqSetDesktopDepth(32);

    ZqSetPixelFormats(nullptr, 0);
    HDC dc = GetDC(window);
    EXPECT_EQ(DescribePixelFormat(dc, 1, sizeof(PIXELFORMATDESCRIPTOR), nullptr), 0);
    EXPECT_EQ(ChoosePixelFormat(dc, nullptr), 0);
    ReleaseDC(window, dc);
}

TEST_F(PlatformTest, GetProcAddressFindsTheGlLibraryOnly)
{
    EXPECT_EQ(GetModuleHandleA("user32.dll"), nullptr);
    HMODULE gl = GetModuleHandleA("OPENGL32.DLL");
    ASSERT_NE(gl, nullptr);
    EXPECT_NE(GetProcAddress(gl, "glBindTexture"), nullptr);
    EXPECT_EQ(GetProcAddress(gl, "noSuchFunction"), nullptr);
}

}  // namespace

namespace {

// Runs under Xvfb (see tests/CMakeLists.txt): the x11 backend draws into a
// real window, and what is swapped shows on the X display.
TEST(X11Backend, SwappedFramesShowInTheWindow)
{
    if (std::getenv("ZQGD_TEST_X11") == nullptr) GTEST_SKIP() << "run under Xvfb by the platform_x11 test";
    ASSERT_EQ(ZqSelectBackend(ZQ_BACKEND_X11, nullptr), 0);
    EXPECT_EQ(ZqCurrentBackend(), ZQ_BACKEND_X11);
    HWND window = ZqCreateWindow(48, 32, "x11");
    ASSERT_NE(window, nullptr);
    HDC dc = GetDC(window);
    int count = DescribePixelFormat(dc, 1, sizeof(PIXELFORMATDESCRIPTOR), nullptr);
    ASSERT_GE(count, 2);
    PIXELFORMATDESCRIPTOR format{};
    DescribePixelFormat(dc, 1, sizeof format, &format);
    ASSERT_TRUE(format.dwFlags & PFD_DOUBLEBUFFER);
    ASSERT_TRUE(SetPixelFormat(dc, 1, &format));
    HGLRC context = wglCreateContext(dc);
    ASSERT_NE(context, nullptr);
    ASSERT_TRUE(wglMakeCurrent(dc, context));
    glClearColor(1, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_TRUE(SwapBuffers(dc));
    std::vector<uint8_t> shown(48 * 32 * 4);
    ASSERT_EQ(ZqReadFrontImage(window, shown.data(), 48, 32), 0);
    EXPECT_EQ(shown[0], 255);
    EXPECT_EQ(shown[1], 0);
    EXPECT_EQ(shown[2], 255);
    ZqEvent event;
    while (ZqPollEvent(window, &event)) {
    }
    wglMakeCurrent(dc, nullptr);
    wglDeleteContext(context);
    ReleaseDC(window, dc);
    ZqDestroyWindow(window);
}

}  // namespace
