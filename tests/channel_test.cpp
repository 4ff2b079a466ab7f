// Opening, using and closing channels through the driver, on the real GL.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "driver/palette.h"
#include "recorder/gl_recorder.h"
#include "support/host_image.h"
#include "support/test_channel.h"
#include "support/test_texture.h"
#include "support/test_view.h"
#include "zqgd/geometry.h"
#include "zqgd/texture.h"
#include "zqgd/view.h"

namespace {

PIXELFORMATDESCRIPTOR Format(int colourBits, bool doubleBuffered, int redBits, int redShift, int greenBits,
                             int greenShift, int blueBits, int blueShift)
{
    PIXELFORMATDESCRIPTOR format{};
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | (doubleBuffered ? PFD_DOUBLEBUFFER : 0);
    format.cColorBits = static_cast<BYTE>(colourBits);
    format.cRedBits = static_cast<BYTE>(redBits);
    format.cRedShift = static_cast<BYTE>(redShift);
    format.cGreenBits = static_cast<BYTE>(greenBits);
    format.cGreenShift = static_cast<BYTE>(greenShift);
    format.cBlueBits = static_cast<BYTE>(blueBits);
    format.cBlueShift = static_cast<BYTE>(blueShift);
    format.cDepthBits = 24;
    return format;
}

PIXELFORMATDESCRIPTOR Rgb32(bool doubleBuffered) { return Format(32, doubleBuffered, 8, 16, 8, 8, 8, 0); }
PIXELFORMATDESCRIPTOR Rgb565(bool doubleBuffered) { return Format(16, doubleBuffered, 5, 11, 6, 5, 5, 0); }
PIXELFORMATDESCRIPTOR Rgb332(bool doubleBuffered) { return Format(8, doubleBuffered, 3, 0, 3, 3, 2, 6); }

// Counts what a channel holds in the host and the platform, to show that a
// close or a failed open gives all of it back.
struct Holdings {
    uint32_t blocks = MMLiveBlocks();
    int deviceContexts = ZqLiveObjects(ZQ_OBJECT_DEVICE_CONTEXT);
    int palettes = ZqLiveObjects(ZQ_OBJECT_PALETTE);
    int contexts = ZqLiveObjects(ZQ_OBJECT_GL_CONTEXT);
    bool operator==(const Holdings&) const = default;
};

void PrintTo(const Holdings& h, std::ostream* out)
{
    *out << h.blocks << " blocks, " << h.deviceContexts << " DCs, " << h.palettes << " palettes, " << h.contexts
         << " contexts";
}

class ChannelTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        ZqSetPixelFormats(nullptr, -1);
        ZqSetDesktopDepth(32);
        MMFailNthAllocation(0);
        recorder::Stop();
    }
    void InstallFormats(std::vector<PIXELFORMATDESCRIPTOR> formats)
    {
        ZqSetPixelFormats(formats.data(), static_cast<int>(formats.size()));
    }
};

TEST_F(ChannelTest, DescriptionNamesTheDesktopDepth)
{
    ZqSetDesktopDepth(16);
    DriverDescription description;
    std::memset(&description, 0xAB, sizeof description);
    EXPECT_EQ(ZqGDDescription(&description), &description);
    ASSERT_NE(description.description, nullptr);
    EXPECT_STREQ(description.description, "Open GL 16Bits/Pixel");
    ASSERT_EQ(description.modeCount, 2u);
    EXPECT_EQ(description.modes[0].bitsPerPixel, 16u);
    EXPECT_EQ(description.modes[0].bufferMode, 1u);
    EXPECT_EQ(description.modes[1].bitsPerPixel, 16u);
    EXPECT_EQ(description.modes[1].bufferMode, 2u);
    EXPECT_EQ(description.modes[1].reserved0 | description.modes[1].reserved1 | description.modes[1].reserved3, 0u);
    EXPECT_EQ(description.reserved0, 0xABABABABu) << "the first word is not written";
    EXPECT_EQ(description.reserved8, 0xABABABABu);
    EXPECT_EQ(description.hostWord4, 0u);
    EXPECT_EQ(description.hostWord5, 1u);
    EXPECT_EQ(description.hostWord6, 32u);
    EXPECT_EQ(description.capabilityFlags, 0x6E83u);
    EXPECT_EQ(description.hostWord9, 0u);
    uint32_t bits[4];
    std::memcpy(bits, description.lowBounds, 8);
    std::memcpy(bits + 2, description.highBounds, 8);
    EXPECT_EQ(bits[0], 0xE0AD78ECu);
    EXPECT_EQ(bits[1], 0xE0AD78ECu);
    EXPECT_EQ(bits[2], 0x60AD78ECu);
    EXPECT_EQ(bits[3], 0x60AD78ECu);
    MMfree(description.description);
    MMfree(description.modes);

    // The depth is asked afresh on every call.
    ZqSetDesktopDepth(24);
    ZqGDDescription(&description);
    ASSERT_NE(description.modes, nullptr);
    EXPECT_STREQ(description.description, "Open GL 24Bits/Pixel");
    EXPECT_EQ(description.modes[0].bitsPerPixel, 24u);
    MMfree(description.description);
    MMfree(description.modes);
}

TEST_F(ChannelTest, BufferModeIsNormalisedAndChoosesTheBuffering)
{
    // 1 and every other value, among them one whose low byte is 1 and
    // values that read as negative when signed.
    for (uint32_t asked : {0u, 1u, 2u, 3u, 0x101u, 0x80000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(asked);
        TestChannel channel(32, 32, asked);
        channel.request.clearedWord4 = 99;
        channel.record.reserved19 = 99;
        ASSERT_EQ(channel.open(), 0);
        uint32_t expected = asked == 1 ? 1u : 2u;
        EXPECT_EQ(channel.request.bufferMode, expected);
        EXPECT_EQ(channel.record.bufferMode, expected);
        EXPECT_EQ(channel.request.clearedWord4, 0u);
        EXPECT_EQ(channel.record.reserved19, 0u);
        PIXELFORMATDESCRIPTOR format{};
        HDC dc = channel.state()->deviceContext;
        DescribePixelFormat(dc, ZqGetWindowPixelFormat(channel.window), sizeof format, &format);
        EXPECT_EQ((format.dwFlags & PFD_DOUBLEBUFFER) != 0, expected == 2);
    }
}

TEST_F(ChannelTest, OpenFillsTheRecordAndCopiesTheOperations)
{
    TestChannel channel(641, 481);
    ASSERT_EQ(channel.open(), 0);
    const ChannelRecord& record = channel.record;
    EXPECT_EQ(record.ops, &channel.ops);
    EXPECT_EQ(std::memcmp(&channel.ops, &kChannelOps, sizeof(ChannelOps)), 0);
    EXPECT_EQ(channel.state()->window, channel.window);
    EXPECT_EQ(record.frameFormat.pixels, nullptr);
    EXPECT_EQ(record.frameFormat.width, 641u);
    EXPECT_EQ(record.frameFormat.height, 481u);
    EXPECT_EQ(record.cursorX, 320);
    EXPECT_EQ(record.cursorY, 240);
    EXPECT_EQ(record.cursorVisible, 0);
    EXPECT_EQ(record.cursorSize, 1);
    EXPECT_EQ(record.cursorStyle, 0);
    EXPECT_EQ(record.transparentText, 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(record.cursorColour[i], 1.0f);
        EXPECT_EQ(record.penColour[i], 1.0f);
        EXPECT_EQ(record.backColour[i], 0.0f);
    }
}

TEST_F(ChannelTest, ScanTakesTheFirstFormatWithTheAskedBuffering)
{
    InstallFormats({Rgb32(true), Rgb565(true), Rgb32(false), Rgb565(false)});
    TestChannel single(32, 32, 1);
    ASSERT_EQ(single.open(), 0);
    EXPECT_EQ(ZqGetWindowPixelFormat(single.window), 3);
    TestChannel twice(32, 32, 2);
    ASSERT_EQ(twice.open(), 0);
    EXPECT_EQ(ZqGetWindowPixelFormat(twice.window), 1);

    // Every buffer mode but 1 asks for double buffering.
    for (uint32_t other : {0u, 3u, 0xFFFFFFFFu}) {
        TestChannel channel(32, 32, other);
        ASSERT_EQ(channel.open(), 0);
        EXPECT_EQ(ZqGetWindowPixelFormat(channel.window), 1) << "buffer mode " << other;
    }

    // Without a match the last format is taken, for either buffering.
    InstallFormats({Rgb32(true), Rgb565(true)});
    TestChannel fallback(32, 32, 1);
    ASSERT_EQ(fallback.open(), 0);
    EXPECT_EQ(fallback.record.frameFormat.bitsPerPixel, 16u);
    InstallFormats({Rgb32(false), Rgb565(false)});
    TestChannel doubleFallback(32, 32, 2);
    ASSERT_EQ(doubleFallback.open(), 0);
    EXPECT_EQ(doubleFallback.record.frameFormat.bitsPerPixel, 16u);
}

// A format of the asked buffering with a depth buffer of 24 bits or more is
// taken over earlier ones with a shallower buffer or none; without one, the
// deepest buffer wins, the first of equals.
TEST_F(ChannelTest, ScanPrefersADepthBufferOf24Bits)
{
    auto withDepth = [](PIXELFORMATDESCRIPTOR format, int bits) {
        format.cDepthBits = static_cast<BYTE>(bits);
        return format;
    };
    InstallFormats({withDepth(Rgb32(true), 0), withDepth(Rgb32(true), 16), withDepth(Rgb32(false), 16),
                    withDepth(Rgb32(false), 32), withDepth(Rgb565(true), 24)});
    TestChannel twice(32, 32, 2);
    ASSERT_EQ(twice.open(), 0);
    EXPECT_EQ(ZqGetWindowPixelFormat(twice.window), 5);
    EXPECT_EQ(twice.record.frameFormat.bitsPerPixel, 16u);
    TestChannel single(32, 32, 1);
    ASSERT_EQ(single.open(), 0);
    EXPECT_EQ(ZqGetWindowPixelFormat(single.window), 4);

    InstallFormats({withDepth(Rgb565(false), 24), withDepth(Rgb565(true), 0), withDepth(Rgb32(true), 16),
                    withDepth(Rgb565(true), 16)});
    TestChannel deepest(32, 32, 2);
    ASSERT_EQ(deepest.open(), 0);
    EXPECT_EQ(ZqGetWindowPixelFormat(deepest.window), 3);
    EXPECT_EQ(deepest.record.frameFormat.bitsPerPixel, 32u);
    InstallFormats({withDepth(Rgb565(false), 24), withDepth(Rgb32(true), 0), withDepth(Rgb565(true), 0)});
    TestChannel first(32, 32, 2);
    ASSERT_EQ(first.open(), 0);
    EXPECT_EQ(ZqGetWindowPixelFormat(first.window), 2);
    InstallFormats({withDepth(Rgb32(true), 24), withDepth(Rgb565(true), 24)});
    TestChannel last(32, 32, 1);
    ASSERT_EQ(last.open(), 0);
    EXPECT_EQ(last.record.frameFormat.bitsPerPixel, 16u);
}

// On the device's own formats (on Windows the system's, under Wine listed
// from no depth buffer up) the channel draws with a depth buffer.
TEST_F(ChannelTest, TheDevicesFormatsGiveADepthBufferOf24Bits)
{
    for (uint32_t bufferMode : {1u, 2u}) {
        TestChannel channel(32, 32, bufferMode);
        ASSERT_EQ(channel.open(), 0);
        GLint depthBits = 0;
        glGetIntegerv(GL_DEPTH_BITS, &depthBits);
        EXPECT_GE(depthBits, 24) << "buffer mode " << bufferMode;
    }
}

// The record describes the format the scan found, even where the system's
// choice is another one.
TEST_F(ChannelTest, RecordKeepsTheScannedFormatWhenTheSystemPicksAnother)
{
    PIXELFORMATDESCRIPTOR fiveFiveFive = Format(16, true, 5, 10, 5, 5, 5, 0);
    InstallFormats({Rgb565(true), fiveFiveFive});
    TestChannel single(32, 32, 1);  // no single-buffered format: the scan ends on the last
    ASSERT_EQ(single.open(), 0);
    EXPECT_EQ(ZqGetWindowPixelFormat(single.window), 1) << "the system's choice";
    EXPECT_EQ(single.record.frameFormat.redMask, 0x7C00u);
    EXPECT_EQ(single.record.frameFormat.greenBits, 5u);
}

TEST_F(ChannelTest, RecordsThePixelLayoutOfTheFormat)
{
    InstallFormats({Rgb565(true)});
    TestChannel channel(50, 20);
    ASSERT_EQ(channel.open(), 0);
    const Bitmap& format = channel.record.frameFormat;
    EXPECT_EQ(format.redMask, 0xF800u);
    EXPECT_EQ(format.greenMask, 0x07E0u);
    EXPECT_EQ(format.blueMask, 0x001Fu);
    EXPECT_EQ(format.redShift, 11u);
    EXPECT_EQ(format.greenShift, 5u);
    EXPECT_EQ(format.blueShift, 0u);
    EXPECT_EQ(format.redBits, 5u);
    EXPECT_EQ(format.greenBits, 6u);
    EXPECT_EQ(format.blueBits, 5u);
    EXPECT_EQ(format.bitsPerPixel, 16u);
    EXPECT_EQ(format.bytesPerPixel, 2u);
    EXPECT_EQ(format.bytesPerLine, 100u);
    EXPECT_EQ(channel.state()->palette, nullptr);

    InstallFormats({Format(24, true, 8, 16, 8, 8, 8, 0)});
    TestChannel deep(50, 20);
    ASSERT_EQ(deep.open(), 0);
    EXPECT_EQ(deep.record.frameFormat.bytesPerPixel, 3u);
    EXPECT_EQ(deep.record.frameFormat.bytesPerLine, 150u);

    InstallFormats({Format(15, true, 5, 10, 5, 5, 5, 0)});
    TestChannel fifteen(50, 20);
    ASSERT_EQ(fifteen.open(), 0);
    EXPECT_EQ(fifteen.record.frameFormat.bytesPerPixel, 2u);
    EXPECT_EQ(fifteen.record.frameFormat.redMask, 0x7C00u);
}

struct LayoutCase {
    const char* name;
    PIXELFORMATDESCRIPTOR format;
    uint32_t masks[3], shifts[3], bits[3];
    uint32_t bytesPerPixel;
};

// Masks, shifts and bit counts for the layouts a device may offer: channels
// in either order, at the top of the word, of unequal widths, and 8 bits
// with the palette.
TEST_F(ChannelTest, EveryLayoutGivesItsMasksShiftsAndBitCounts)
{
    const LayoutCase cases[] = {
        {"5-6-5", Rgb565(true), {0xF800, 0x07E0, 0x001F}, {11, 5, 0}, {5, 6, 5}, 2},
        {"5-5-5 in 15 bits", Format(15, true, 5, 10, 5, 5, 5, 0), {0x7C00, 0x03E0, 0x001F}, {10, 5, 0}, {5, 5, 5}, 2},
        {"24 bits", Format(24, true, 8, 16, 8, 8, 8, 0), {0xFF0000, 0xFF00, 0xFF}, {16, 8, 0}, {8, 8, 8}, 3},
        {"32 bits, blue high", Format(32, true, 8, 0, 8, 8, 8, 16), {0xFF, 0xFF00, 0xFF0000}, {0, 8, 16}, {8, 8, 8}, 4},
        {"32 bits, red at the top", Format(32, true, 8, 24, 8, 16, 8, 8), {0xFF000000u, 0xFF0000, 0xFF00}, {24, 16, 8},
         {8, 8, 8}, 4},
        {"10-10-10 in 30 bits", Format(30, true, 10, 20, 10, 10, 10, 0), {0x3FF00000, 0xFFC00, 0x3FF}, {20, 10, 0},
         {10, 10, 10}, 4},
        {"3-3-2", Rgb332(true), {0x07, 0x38, 0xC0}, {0, 3, 6}, {3, 3, 2}, 1},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        InstallFormats({c.format});
        TestChannel channel(50, 20);
        ASSERT_EQ(channel.open(), 0);
        const Bitmap& f = channel.record.frameFormat;
        EXPECT_EQ((std::vector<uint32_t>{f.redMask, f.greenMask, f.blueMask}),
                  (std::vector<uint32_t>(c.masks, c.masks + 3)));
        EXPECT_EQ((std::vector<uint32_t>{f.redShift, f.greenShift, f.blueShift}),
                  (std::vector<uint32_t>(c.shifts, c.shifts + 3)));
        EXPECT_EQ((std::vector<uint32_t>{f.redBits, f.greenBits, f.blueBits}),
                  (std::vector<uint32_t>(c.bits, c.bits + 3)));
        EXPECT_EQ(f.bitsPerPixel, c.format.cColorBits);
        EXPECT_EQ(f.bytesPerPixel, c.bytesPerPixel);
        EXPECT_EQ(f.bytesPerLine, 50 * c.bytesPerPixel);
        EXPECT_EQ(channel.state()->palette != nullptr, c.format.cColorBits == 8);
    }
}

TEST_F(ChannelTest, EightBitFormatsGetTheSamePaletteUntilClose)
{
    InstallFormats({Rgb332(true)});
    Holdings before;
    {
        TestChannel first(32, 32), second(32, 32);
        ASSERT_EQ(first.open(), 0);
        ASSERT_EQ(second.open(), 0);
        PALETTEENTRY expected[kPaletteSize], a[kPaletteSize], b[kPaletteSize];
        BuildPaletteEntries(expected);
        HPALETTE palette = first.state()->palette;
        ASSERT_NE(palette, nullptr);
        EXPECT_EQ(first.state()->previousPalette, ZqGetDefaultPalette());
        EXPECT_EQ(ZqGetSelectedPalette(first.state()->deviceContext), palette);
        EXPECT_EQ(ZqGetRealizeCount(first.state()->deviceContext), 1);
        ASSERT_EQ(ZqGetPaletteEntries(palette, a, kPaletteSize), kPaletteSize);
        ASSERT_EQ(ZqGetPaletteEntries(second.state()->palette, b, kPaletteSize), kPaletteSize);
        EXPECT_EQ(std::memcmp(a, expected, sizeof a), 0);
        EXPECT_EQ(std::memcmp(b, expected, sizeof b), 0);

        // Reselecting realises the channel's palette again.
        SelectPalette(first.state()->deviceContext, ZqGetDefaultPalette(), FALSE);
        EXPECT_EQ(first.ops.SelectChannelPalette(&first.record), 0);
        EXPECT_EQ(ZqGetSelectedPalette(first.state()->deviceContext), palette);
        EXPECT_EQ(ZqGetRealizeCount(first.state()->deviceContext), 2);
        EXPECT_EQ(first.state()->previousPalette, ZqGetDefaultPalette());
    }
    EXPECT_EQ(Holdings{}, before);
}

// Without a palette (any depth but 8) reselecting selects and realises
// nothing, and still makes the channel current.
TEST_F(ChannelTest, ReselectingWithoutAPaletteSelectsNothing)
{
    for (const PIXELFORMATDESCRIPTOR& format : {Rgb565(true), Rgb32(true), Format(24, true, 8, 16, 8, 8, 8, 0)}) {
        SCOPED_TRACE(static_cast<int>(format.cColorBits));
        InstallFormats({format});
        TestChannel channel(16, 16), other(16, 16);
        ASSERT_EQ(channel.open(), 0);
        ASSERT_EQ(other.open(), 0);
        HDC dc = channel.state()->deviceContext;
        ASSERT_EQ(channel.state()->palette, nullptr);
        HPALETTE selected = ZqGetSelectedPalette(dc);
        EXPECT_EQ(channel.ops.SelectChannelPalette(&channel.record), 0);
        EXPECT_EQ(ZqGetSelectedPalette(dc), selected);
        EXPECT_EQ(ZqGetRealizeCount(dc), 0);
        EXPECT_EQ(currentChannel, channel.state());
    }
}

TEST_F(ChannelTest, ContextStartsInTheDriversInitialState)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    MakeChannelCurrent(channel.state());
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_NORMALIZE));
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    for (GLenum off : {GL_LIGHTING, GL_BLEND, GL_ALPHA_TEST, GL_DEPTH_TEST, GL_FOG, GL_POINT_SMOOTH, GL_LINE_SMOOTH,
                       GL_POLYGON_SMOOTH, GL_CULL_FACE, GL_LIGHT0, GL_LIGHT7})
        EXPECT_FALSE(glIsEnabled(off)) << std::hex << off;
    const ChannelState& state = *channel.state();
    EXPECT_EQ(state.textureEnabled, 1);
    EXPECT_EQ(state.lightingEnabled + state.blendEnabled + state.alphaTestEnabled + state.depthTestEnabled +
                  state.fogEnabled,
              0);
    GLint value = 0;
    glGetIntegerv(GL_MATRIX_MODE, &value);
    EXPECT_EQ(value, GL_MODELVIEW);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &value);
    EXPECT_EQ(value, 2);
    GLfloat matrix[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    EXPECT_EQ(matrix[0], 1.0f);
    EXPECT_EQ(matrix[5], 1.0f);
    EXPECT_EQ(matrix[10], -1.0f);
    glGetIntegerv(GL_DRAW_BUFFER, &value);
    EXPECT_EQ(value, GL_BACK);
    glGetIntegerv(GL_ALPHA_TEST_FUNC, &value);
    EXPECT_EQ(value, GL_GEQUAL);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &value);
    EXPECT_EQ(value, 1);
    GLfloat depth = 0;
    glGetFloatv(GL_DEPTH_CLEAR_VALUE, &depth);
    EXPECT_EQ(depth, 1.0f);
    EXPECT_NE(state.quadric, nullptr);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    TestChannel single(32, 32, 1);
    ASSERT_EQ(single.open(), 0);
    glGetIntegerv(GL_DRAW_BUFFER, &value);
    EXPECT_EQ(value, GL_FRONT);
}

TEST_F(ChannelTest, InitialStateIsSetInItsOrder)
{
    TestChannel channel;
    recorder::Start();
    ASSERT_EQ(channel.open(), 0);
    recorder::Stop();
    std::vector<std::string> names = recorder::Names();
    auto first = std::find(names.begin(), names.end(), "glClearDepth");
    auto last = std::find(names.begin(), names.end(), "glDrawBuffer");
    ASSERT_NE(first, names.end());
    ASSERT_NE(last, names.end());
    std::vector<std::string> sequence(first, last + 1);
    std::vector<std::string> expected = {"glClearDepth", "glEnable", "glEnable", "glEnable", "glPixelStorei",
                                         "glMatrixMode", "glLoadIdentity", "glBlendFunc", "glAlphaFunc"};
    expected.insert(expected.end(), 9, "glDisable");
    expected.insert(expected.end(), {"glHint", "glHint"});
    expected.insert(expected.end(), 8, "glDisable");
    expected.insert(expected.end(), {"glLightModeli", "glMatrixMode", "glLoadIdentity", "glScalef", "glPushMatrix",
                                     "glDrawBuffer"});
    EXPECT_EQ(sequence, expected);
    const GlCall& clearDepth = recorder::Calls()[static_cast<size_t>(first - names.begin())];
    uint64_t bits;
    std::memcpy(&bits, &clearDepth.args[0], sizeof bits);
    EXPECT_EQ(bits, 0x3FF0000100000000u);
    EXPECT_EQ(recorder::Count("glDisable", {GL_LIGHT0}), 1u);
    EXPECT_EQ(recorder::Count("glDisable", {GL_LIGHT7}), 1u);
    EXPECT_EQ(recorder::Count("gluNewQuadric"), 1u);
    // The arguments: the texture matrix is the one reset, then the blend
    // factors, the alpha reference, both hints and the local viewer.
    const GlCall& matrixMode = recorder::Calls()[static_cast<size_t>(first - names.begin()) + 5];
    EXPECT_EQ(matrixMode.args, (std::vector<double>{GL_TEXTURE}));
    EXPECT_EQ(recorder::Count("glBlendFunc", {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}), 1u);
    EXPECT_EQ(recorder::Count("glAlphaFunc", {GL_GEQUAL, 1.0}), 1u);
    EXPECT_EQ(recorder::Count("glHint", {GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST}), 1u);
    EXPECT_EQ(recorder::Count("glHint", {GL_FOG_HINT, GL_NICEST}), 1u);
    EXPECT_EQ(recorder::Count("glLightModeli", {GL_LIGHT_MODEL_LOCAL_VIEWER, 1}), 1u);
}

TEST_F(ChannelTest, AlternatingChannelsSwitchTheContextOncePerChange)
{
    TestChannel a, b;
    ASSERT_EQ(a.open(), 0);
    ASSERT_EQ(b.open(), 0);
    EXPECT_EQ(currentChannel, b.state());
    recorder::Start();
    a.ops.EndFrame(&a.record);
    a.ops.SelectChannelPalette(&a.record);
    EXPECT_EQ(recorder::Count("wglMakeCurrent"), 1u);
    EXPECT_EQ(currentChannel, a.state());
    EXPECT_EQ(wglGetCurrentContext(), a.state()->glContext);
    b.ops.EndFrame(&b.record);
    b.ops.EndFrame(&b.record);
    a.ops.EndFrame(&a.record);
    EXPECT_EQ(recorder::Count("wglMakeCurrent"), 3u);

    // Operations that do not touch GL do not switch.
    Bitmap bitmap{};
    b.ops.QueryImageFormat(&b.record, 1, &bitmap);
    b.ops.RemoveSpareItem(&b.record, 5);
    b.ops.ReservedOp3(&b.record);
    b.ops.ReservedOp7(&b.record);
    EXPECT_EQ(recorder::Count("wglMakeCurrent"), 3u);
    recorder::Stop();

    // Closing the channel that is not current leaves the other one current.
    b.close();
    EXPECT_EQ(currentChannel, a.state());
    EXPECT_EQ(wglGetCurrentContext(), a.state()->glContext);
}

TEST_F(ChannelTest, CloseReleasesEverything)
{
    Holdings before;
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    EXPECT_NE(Holdings{}, before);
    ASSERT_EQ(channel.ops.CloseChannel(&channel.record), 0);
    EXPECT_EQ(channel.record.driverState, nullptr);
    EXPECT_EQ(currentChannel, nullptr);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_EQ(Holdings{}, before);
}

// Fills host memory with a pattern so that any write by a failed open shows.
struct Untouched {
    ChannelRecord record;
    ChannelRequest request;
    ChannelOps ops;
};

void ExpectOpenFailsCleanly(TestChannel& channel)
{
    Holdings before;
    std::memset(&channel.record, 0x5A, sizeof channel.record);
    std::memset(&channel.ops, 0x5A, sizeof channel.ops);
    channel.request.bufferMode = 7;
    Untouched expected{channel.record, channel.request, channel.ops};
    EXPECT_EQ(channel.open(), 1);
    EXPECT_EQ(std::memcmp(&channel.record, &expected.record, sizeof expected.record), 0);
    EXPECT_EQ(std::memcmp(&channel.request, &expected.request, sizeof expected.request), 0);
    EXPECT_EQ(std::memcmp(&channel.ops, &expected.ops, sizeof expected.ops), 0);
    EXPECT_EQ(Holdings{}, before);
    channel.record.driverState = nullptr;
}

TEST_F(ChannelTest, OpenFailsCleanlyWithoutPixelFormatsOrContext)
{
    {
        ZqSetPixelFormats(nullptr, 0);
        TestChannel channel;
        ExpectOpenFailsCleanly(channel);
        ZqSetPixelFormats(nullptr, -1);
    }
    {
        TestChannel channel;
        ZqInjectFailure(ZQ_FAIL_CREATE_CONTEXT);
        ExpectOpenFailsCleanly(channel);
    }
    {
        InstallFormats({Rgb332(true)});
        TestChannel channel;
        ZqInjectFailure(ZQ_FAIL_MAKE_CURRENT);
        ExpectOpenFailsCleanly(channel);
        ZqSetPixelFormats(nullptr, -1);
    }
    {
        // A line length that does not fit in 32 bits.
        TestChannel channel;
        channel.request.width = 0x40000001u;
        ExpectOpenFailsCleanly(channel);
    }
}

TEST_F(ChannelTest, MissingRecordsAreRefused)
{
    Holdings before;
    TestChannel channel;
    EXPECT_EQ(ZqGDOpenChannel(nullptr, &channel.request, &channel.ops, nullptr), 1);
    EXPECT_EQ(ZqGDOpenChannel(&channel.record, nullptr, &channel.ops, nullptr), 1);
    EXPECT_EQ(ZqGDOpenChannel(&channel.record, &channel.request, nullptr, nullptr), 1);
    channel.request.window = nullptr;
    EXPECT_EQ(ZqGDOpenChannel(&channel.record, &channel.request, &channel.ops, nullptr), 1);
    EXPECT_EQ(channel.record.driverState, nullptr);
    EXPECT_EQ(ZqGDDescription(nullptr), nullptr);
    EXPECT_EQ(Holdings{}, before);
}

TEST_F(ChannelTest, OpenFailsCleanlyAtEveryAllocation)
{
    InstallFormats({Rgb332(true)});
    bool opened = false;
    for (uint32_t n = 1; !opened && n < 20; ++n) {
        SCOPED_TRACE(n);
        TestChannel channel;
        Holdings before;
        MMFailNthAllocation(n);
        int32_t status = channel.open();
        MMFailNthAllocation(0);
        if (status == 1) {
            EXPECT_EQ(Holdings{}, before);
            channel.record.driverState = nullptr;
        } else {
            ASSERT_EQ(status, 0);
            opened = true;
        }
    }
    EXPECT_TRUE(opened);
}

TEST_F(ChannelTest, QueryImageFormatDescribesTheScreen)
{
    InstallFormats({Rgb565(true)});
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    Bitmap bitmap{};
    int pixels = 0;
    bitmap.pixels = &pixels;
    bitmap.width = 100;
    bitmap.height = 60;
    bitmap.bytesPerLine = 400;
    bitmap.bytesPerPixel = 4;
    bitmap.spare = 9;
    recorder::Start();
    channel.ops.QueryImageFormat(&channel.record, 1, &bitmap);
    EXPECT_TRUE(recorder::Calls().empty());
    EXPECT_EQ(bitmap.width, 100u);
    EXPECT_EQ(bitmap.height, 60u);
    EXPECT_EQ(bitmap.bytesPerLine, 400u);
    EXPECT_EQ(bitmap.bytesPerPixel, 2u);
    EXPECT_EQ(bitmap.bitsPerPixel, 16u);
    EXPECT_EQ(bitmap.greenMask, 0x07E0u);
    EXPECT_EQ(bitmap.redShift, 11u);
    EXPECT_EQ(bitmap.blueBits, 5u);
    EXPECT_EQ(bitmap.spare, 0u);
    EXPECT_EQ(bitmap.pixels, &pixels);

    channel.ops.QueryImageFormat(&channel.record, 2, &bitmap);
    EXPECT_EQ(bitmap.width, 64u);
    EXPECT_EQ(bitmap.height, 32u);
    EXPECT_EQ(bitmap.bytesPerLine, 128u);

    bitmap.width = 256;
    bitmap.height = 128;
    channel.ops.QueryImageFormat(&channel.record, 2, &bitmap);
    EXPECT_EQ(bitmap.width, 256u);
    EXPECT_EQ(bitmap.height, 128u);

    // A width whose line length would overflow is halved until it fits.
    channel.record.frameFormat.bytesPerPixel = 4;
    bitmap.width = 0xFFFFFFFFu;
    channel.ops.QueryImageFormat(&channel.record, 2, &bitmap);
    EXPECT_EQ(bitmap.width, 0x20000000u);
    EXPECT_EQ(bitmap.bytesPerLine, 0x80000000u);
}

// Every mode but 2 (0, 1, 3, negative, large, one whose low byte is 2)
// leaves the host's width, height and line length as they were; every mode
// copies the format words, clears the sixteenth word and leaves the pixels.
TEST_F(ChannelTest, QueryImageFormatKeepsTheHostsSizeForEveryModeBut2)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    const Bitmap& format = channel.record.frameFormat;
    int pixels = 0;
    for (int32_t mode : {1, 0, 3, -1, -2, INT32_MAX, INT32_MIN, 0x102}) {
        SCOPED_TRACE(mode);
        Bitmap bitmap;
        std::memset(&bitmap, 0xA5, sizeof bitmap);
        bitmap.pixels = &pixels;
        bitmap.width = 100;
        bitmap.height = 60;
        bitmap.bytesPerLine = 413;
        channel.ops.QueryImageFormat(&channel.record, mode, &bitmap);
        EXPECT_EQ(bitmap.width, 100u);
        EXPECT_EQ(bitmap.height, 60u);
        EXPECT_EQ(bitmap.bytesPerLine, 413u);
        EXPECT_EQ(bitmap.pixels, &pixels);
        EXPECT_EQ(bitmap.bytesPerPixel, format.bytesPerPixel);
        EXPECT_EQ(bitmap.bitsPerPixel, format.bitsPerPixel);
        EXPECT_EQ(bitmap.redMask, format.redMask);
        EXPECT_EQ(bitmap.redShift, format.redShift);
        EXPECT_EQ(bitmap.redBits, format.redBits);
        EXPECT_EQ(bitmap.greenMask, format.greenMask);
        EXPECT_EQ(bitmap.greenShift, format.greenShift);
        EXPECT_EQ(bitmap.greenBits, format.greenBits);
        EXPECT_EQ(bitmap.blueMask, format.blueMask);
        EXPECT_EQ(bitmap.blueShift, format.blueShift);
        EXPECT_EQ(bitmap.blueBits, format.blueBits);
        EXPECT_EQ(bitmap.spare, 0u);
    }
}

// Mode 2 rounds each side down to a power of two on its own and makes the
// line the new width times the screen's bytes per pixel, whatever line
// length the host had set.
TEST_F(ChannelTest, QueryImageFormatMode2RoundsEachSideOnItsOwn)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    channel.record.frameFormat.bytesPerPixel = 3;  // a 24-bit screen: lines are no power of two
    struct Case {
        uint32_t width, height, roundedWidth, roundedHeight;
    };
    const Case cases[] = {{1, 1, 1, 1},         {2, 2, 2, 2},       {3, 3, 2, 2},        {256, 128, 256, 128},
                          {100, 64, 64, 64},    {64, 100, 64, 64},  {1, 60, 1, 32},      {60, 1, 32, 1},
                          {65535, 65536, 32768, 65536}, {0x80000000u, 0xFFFFFFFFu, 0x40000000u, 0x80000000u}};
    int pixels = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height);
        Bitmap bitmap;
        std::memset(&bitmap, 0xA5, sizeof bitmap);
        bitmap.pixels = &pixels;
        bitmap.width = c.width;
        bitmap.height = c.height;
        bitmap.bytesPerLine = 7;
        channel.ops.QueryImageFormat(&channel.record, 2, &bitmap);
        EXPECT_EQ(bitmap.width, c.roundedWidth);
        EXPECT_EQ(bitmap.height, c.roundedHeight);
        EXPECT_EQ(bitmap.bytesPerLine, 3 * c.roundedWidth);
        EXPECT_EQ(bitmap.bytesPerPixel, 3u);
        EXPECT_EQ(bitmap.pixels, &pixels);
        EXPECT_EQ(bitmap.spare, 0u);
    }
}

// The cursor starts at the middle, rounded down, for odd and even sizes.
TEST_F(ChannelTest, TheCursorStartsAtTheMiddleRoundedDown)
{
    struct Case {
        uint32_t width, height;
        int32_t x, y;
    };
    for (const Case& c : {Case{640, 480, 320, 240}, Case{641, 481, 320, 240}, Case{1, 1, 0, 0}, Case{2, 3, 1, 1},
                          Case{7, 10, 3, 5}}) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height);
        TestChannel channel(c.width, c.height);
        ASSERT_EQ(channel.open(), 0);
        EXPECT_EQ(channel.record.cursorX, c.x);
        EXPECT_EQ(channel.record.cursorY, c.y);
        EXPECT_EQ(channel.record.frameFormat.width, c.width);
        EXPECT_EQ(channel.record.frameFormat.height, c.height);
    }
}

// Keys of either sign and at both ends of the range find the payload the
// host put there; a second removal and key 0 find nothing.
TEST_F(ChannelTest, RemoveSpareItemTakesAnyKey)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    for (int32_t key : {-1, INT32_MIN, INT32_MAX, 1}) {
        SCOPED_TRACE(key);
        auto* payload = static_cast<uint32_t*>(_ZqGCreateListItem(&channel.state()->spareList, 8, nullptr, key));
        ASSERT_NE(payload, nullptr);
        payload[0] = payload[1] = 0xFFFFFFFFu;
        EXPECT_EQ(channel.ops.RemoveSpareItem(&channel.record, 0), nullptr);
        EXPECT_EQ(channel.ops.RemoveSpareItem(&channel.record, 5), nullptr);
        EXPECT_EQ(channel.ops.RemoveSpareItem(&channel.record, key), payload);
        EXPECT_EQ(payload[0], 0u);
        EXPECT_EQ(payload[1], 0xFFFFFFFFu);
        EXPECT_EQ(channel.ops.RemoveSpareItem(&channel.record, key), nullptr);
        MMfree(payload);
    }
}

TEST_F(ChannelTest, SmallOperations)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    EXPECT_EQ(channel.ops.RemoveSpareItem(&channel.record, 0), nullptr);
    EXPECT_EQ(channel.ops.RemoveSpareItem(&channel.record, 42), nullptr);
    EXPECT_EQ(channel.ops.ReservedOp3(&channel.record), 0);
    EXPECT_EQ(channel.ops.ReservedOp7(&channel.record), 0);
    EXPECT_EQ(channel.ops.SelectChannelPalette(&channel.record), 0);

    // A payload a host put on the spare list comes back with its first word cleared.
    auto* payload = static_cast<uint32_t*>(_ZqGCreateListItem(&channel.state()->spareList, 8, nullptr, 3));
    ASSERT_NE(payload, nullptr);
    payload[0] = payload[1] = 0xFFFF;
    EXPECT_EQ(channel.ops.RemoveSpareItem(&channel.record, 3), payload);
    EXPECT_EQ(payload[0], 0u);
    EXPECT_EQ(payload[1], 0xFFFFu);
    MMfree(payload);
}

TEST_F(ChannelTest, EndFrameSwapsOnlyDoubleBufferedChannels)
{
    TestChannel single(32, 32, 1);
    ASSERT_EQ(single.open(), 0);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    recorder::Start();
    EXPECT_EQ(single.ops.EndFrame(&single.record), 0);
    EXPECT_TRUE(recorder::Calls().empty()) << recorder::Calls().front().name;
    EXPECT_TRUE(Near(single.front().at(5, 5), {0, 255, 0})) << "a single-buffered window shows what is drawn";

    TestChannel twice(32, 32, 2);
    ASSERT_EQ(twice.open(), 0);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_TRUE(Near(twice.front().at(5, 5), {0, 0, 0}));
    recorder::Start();
    EXPECT_EQ(twice.ops.EndFrame(&twice.record), 0);
    EXPECT_EQ(recorder::Names(), std::vector<std::string>{"SwapBuffers"});
    EXPECT_TRUE(Near(twice.front().at(31, 31), {255, 0, 0}));
}

// The record's buffer mode decides at every end of frame: above 1, compared
// unsigned, swaps; 0 and 1 do not. A single-buffered channel with the
// cursor shown draws it and neither swaps nor flushes.
TEST_F(ChannelTest, EndFrameSwapsForEveryBufferModeAbove1)
{
    TestChannel channel(32, 32, 2);
    ASSERT_EQ(channel.open(), 0);
    for (uint32_t mode : {0u, 1u, 2u, 3u, 0x80000000u, 0xFFFFFFFFu}) {
        channel.record.bufferMode = mode;
        recorder::Start();
        EXPECT_EQ(channel.ops.EndFrame(&channel.record), 0);
        EXPECT_EQ(recorder::Count("SwapBuffers"), mode > 1 ? 1u : 0u) << "buffer mode " << mode;
        recorder::Stop();
    }
    channel.record.bufferMode = 2;

    TestChannel single(32, 32, 1);
    ASSERT_EQ(single.open(), 0);
    single.ops.SetCursorVisible(&single.record, 1);
    recorder::Start();
    EXPECT_EQ(single.ops.EndFrame(&single.record), 0);
    EXPECT_GT(recorder::Count("glBegin"), 0u) << "the cursor is drawn";
    EXPECT_EQ(recorder::Count("SwapBuffers"), 0u);
    EXPECT_EQ(recorder::Count("glFlush") + recorder::Count("glFinish"), 0u);
}

// The host binds the table by slot: each slot of the host's copy runs its
// own operation, seen by what it does.
TEST_F(ChannelTest, EverySlotOfTheHostsTableRunsItsOperation)
{
    TestChannel channel(64, 48), other(16, 16);
    ASSERT_EQ(channel.open(), 0);
    ASSERT_EQ(other.open(), 0);
    ChannelOps& ops = channel.ops;
    ChannelRecord* record = &channel.record;
    ChannelState* state = channel.state();

    Bitmap format{};
    format.width = 100;
    format.height = 60;
    ops.QueryImageFormat(record, 2, &format);  // 0
    EXPECT_EQ(format.width, 64u);
    EXPECT_EQ(format.bytesPerPixel, record->frameFormat.bytesPerPixel);

    auto* spare = static_cast<uint32_t*>(_ZqGCreateListItem(&state->spareList, 8, nullptr, 4));
    ASSERT_NE(spare, nullptr);
    *spare = 77;
    EXPECT_EQ(ops.RemoveSpareItem(record, 4), spare);  // 2
    EXPECT_EQ(*spare, 0u);
    MMfree(spare);

    // 3 and 7 do nothing; 6 makes the channel current.
    MakeChannelCurrent(other.state());
    EXPECT_EQ(ops.ReservedOp3(record), 0);
    EXPECT_EQ(ops.ReservedOp7(record), 0);
    EXPECT_EQ(currentChannel, other.state());
    EXPECT_EQ(ops.SelectChannelPalette(record), 0);  // 6
    EXPECT_EQ(currentChannel, state);

    ViewDescriptor descriptor{};
    ViewRecord view{nullptr, nullptr, 0, &descriptor, record};
    ViewOps viewOps{};
    ASSERT_EQ(ops.OpenView(&view, &viewOps), 0);  // 4
    ASSERT_NE(descriptor.state, nullptr);

    std::vector<uint8_t> texels(4 * 4 * 4, 255);
    TextureDefinition definition{};
    definition.image = {texels.data(), 16, 4, 4, 32, 4, 0xFF, 0, 8, 0xFF00, 8, 8, 0xFF0000, 16, 8, 0};
    definition.operation = ZQGD_DEFINE_TEXTURE;
    definition.keyRed = 256;
    EXPECT_EQ(ops.DefineTexture(record, 6, &definition, 1), 0);  // 8
    EXPECT_NE(_ZqGFindListItem(&state->textureList, 6), nullptr);
    ops.DeleteTexture(record, 6);  // 5
    EXPECT_EQ(_ZqGFindListItem(&state->textureList, 6), nullptr);

    recorder::Start();
    const uint32_t centre[2] = {20, 20};
    ops.DrawCircle(record, 5, centre);  // 10
    EXPECT_EQ(recorder::Count("glBegin", {GL_LINE_LOOP}), 1u);
    const int32_t from[2] = {1, 1}, to[2] = {9, 9};
    ops.DrawLine(record, from, to);  // 11
    EXPECT_EQ(recorder::Count("glBegin", {GL_LINES}), 1u);
    const int32_t points[6] = {1, 1, 9, 1, 5, 9};
    ops.FillPolygon(record, 3, points);  // 15
    EXPECT_EQ(recorder::Count("glBegin", {GL_POLYGON}), 1u);
    ops.FillRectangle(record, from, to);  // 16
    EXPECT_EQ(recorder::Count("glRecti"), 1u);
    ops.DrawOverlayText(record, from, "ab");  // 22
    EXPECT_EQ(recorder::Count("glBitmap"), 2u);
    ops.EndFrame(record);  // 9
    EXPECT_EQ(recorder::Count("SwapBuffers"), 1u);
    recorder::Stop();

    EXPECT_EQ(ops.LoadFont(record, 8, "6x12.bdf"), 0);  // 12
    EXPECT_NE(_ZqGFindListItem(&state->fontList, 8), nullptr);
    ops.SelectFont(record, 8);  // 20
    EXPECT_EQ(state->currentFont, _ZqGFindListItem(&state->fontList, 8));
    const int32_t at[2] = {10, 12};
    ops.SetCursorPosition(record, at);  // 13
    EXPECT_EQ(record->cursorX, 10);
    ops.MoveCursor(record, 3, 4);  // 14
    EXPECT_EQ(record->cursorX, 13);
    EXPECT_EQ(record->cursorY, 16);
    ops.SetTextTransparent(record, 0);  // 17
    EXPECT_EQ(record->transparentText, 0);
    const float pen[3] = {0.25f, 0.5f, 0.75f};
    ops.SetPenColours(record, pen, nullptr);  // 18
    EXPECT_EQ(record->penColour[2], 0.75f);
    ops.SetCursorStyle(record, 1, 9, nullptr);  // 19
    EXPECT_EQ(record->cursorStyle, 1);
    EXPECT_EQ(record->cursorSize, 9);
    ops.SetCursorVisible(record, 1);  // 21
    EXPECT_EQ(record->cursorVisible, 1);

    viewOps.CloseView(&view);
    EXPECT_EQ(ops.CloseChannel(record), 0);  // 1
    EXPECT_EQ(record->driverState, nullptr);
}

TEST_F(ChannelTest, FailedStateAllocationLeavesTheHostsRecordsUntouched)
{
    TestChannel channel;
    std::memset(&channel.record, 0x5A, sizeof channel.record);
    std::memset(&channel.ops, 0x6B, sizeof channel.ops);
    channel.request.bufferMode = 7;
    ChannelRecord record = channel.record;
    ChannelRequest request = channel.request;
    ChannelOps ops = channel.ops;
    MMFailNthAllocation(1);
    EXPECT_EQ(channel.open(), 1);
    EXPECT_EQ(std::memcmp(&record, &channel.record, sizeof record), 0);
    EXPECT_EQ(std::memcmp(&request, &channel.request, sizeof request), 0);
    EXPECT_EQ(std::memcmp(&ops, &channel.ops, sizeof ops), 0);
    channel.record.driverState = nullptr;
}

TEST_F(ChannelTest, AChannelWithoutItsDefaultFontOpensAndDrawsNoText)
{
    bool seen = false;
    for (uint32_t n = 2; n < 10 && !seen; ++n) {
        TestChannel channel;
        MMFailNthAllocation(n);
        int32_t status = channel.open();
        MMFailNthAllocation(0);
        if (status != 0 || channel.state()->currentFont != nullptr) {
            if (status != 0) channel.record.driverState = nullptr;
            continue;
        }
        seen = true;
        const int32_t at[2] = {2, 2};
        recorder::Start();
        channel.ops.DrawOverlayText(&channel.record, at, "text");
        EXPECT_TRUE(recorder::Calls().empty());
        recorder::Stop();
    }
    EXPECT_TRUE(seen) << "some allocation of the font load fails and open still succeeds";
}

TEST_F(ChannelTest, ClosingAChannelWhoseContextIsCurrentBehindTheDriversBack)
{
    TestChannel a(16, 16), b(16, 16);
    ASSERT_EQ(a.open(), 0);
    ASSERT_EQ(b.open(), 0);
    ASSERT_EQ(currentChannel, b.state());
    // The host made a's context current itself.
    wglMakeCurrent(a.state()->deviceContext, a.state()->glContext);
    a.close();
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    b.ops.SelectChannelPalette(&b.record);
    EXPECT_EQ(wglGetCurrentContext(), b.state()->glContext) << "b is bound again";
}

// ---- The tables as a host binds them: slot N at N pointers ----------------

// The signatures a host declares for the slots, written out here rather than
// taken from the driver's tables, so that a table whose slots trade places
// shows.
namespace host_slot {
using QueryImageFormat = void (*)(ChannelRecord*, int32_t, Bitmap*);
using ChannelStatus = int32_t (*)(ChannelRecord*);  // 1, 3, 6, 7, 9
using RemoveSpareItem = void* (*)(ChannelRecord*, int32_t);
using OpenView = int32_t (*)(ViewRecord*, ViewOps*);
using ChannelWord = void (*)(ChannelRecord*, int32_t);  // 5, 17, 20, 21
using DefineTexture = int32_t (*)(ChannelRecord*, int32_t, TextureDefinition*, uint32_t);
using DrawCircle = void (*)(ChannelRecord*, uint32_t, const uint32_t*);
using TwoPoints = void (*)(ChannelRecord*, const int32_t*, const int32_t*);  // 11, 16
using LoadFont = int32_t (*)(ChannelRecord*, int32_t, const char*);
using OnePoint = void (*)(ChannelRecord*, const int32_t*);
using MoveCursor = void (*)(ChannelRecord*, int32_t, int32_t);
using FillPolygon = void (*)(ChannelRecord*, int32_t, const int32_t*);
using SetPenColours = void (*)(ChannelRecord*, const float*, const float*);
using SetCursorStyle = void (*)(ChannelRecord*, int32_t, int32_t, const float*);
using DrawOverlayText = void (*)(ChannelRecord*, const int32_t*, const char*);

using SetEnvironment = void (*)(ViewRecord*);
using CloseView = int32_t (*)(ViewRecord*);
using DrawPolygons = void (*)(ViewRecord*, void*, GeometryBlock*);
using SetRenderMode = int32_t (*)(ViewRecord*, int32_t);
using QueryPair = void (*)(ViewRecord*, int32_t*);
using ReadPixels = int32_t (*)(ViewRecord*, Bitmap*);
using BeginView = void (*)(ViewRecord*, int32_t, const float*, uint32_t);
using SetBackground = void (*)(ViewRecord*, const BackgroundRecord*);
using SetBackdropAngles = void (*)(ViewRecord*, float, float);
using SetViewPosition = int32_t (*)(ViewRecord*, int32_t, int32_t);
using SetViewSize = int32_t (*)(ViewRecord*, uint32_t, uint32_t);
}  // namespace host_slot

// Entry N of a table in host memory, read as a host reads it: the pointer at
// byte N times the pointer size, taken as the slot's function type.
template <typename Function>
Function SlotOf(const void* table, size_t slot)
{
    static_assert(sizeof(Function) == sizeof(void*), "a slot is one pointer");
    Function entry;
    std::memcpy(&entry, static_cast<const unsigned char*>(table) + slot * sizeof(void*), sizeof entry);
    return entry;
}

bool SlotIsEmpty(const void* table, size_t slot)
{
    void* entry;
    std::memcpy(&entry, static_cast<const unsigned char*>(table) + slot * sizeof(void*), sizeof entry);
    return entry == nullptr;
}

#define EXPECT_SLOT(Table, member, slot) \
    EXPECT_EQ(offsetof(Table, member), size_t{slot} * sizeof(void*)) << #member " is slot " #slot

TEST(SlotPositions, ChannelOperationsSitOnePointerApartInSlotOrder)
{
    EXPECT_EQ(sizeof(ChannelOps), 23 * sizeof(void*));
    EXPECT_SLOT(ChannelOps, QueryImageFormat, 0);
    EXPECT_SLOT(ChannelOps, CloseChannel, 1);
    EXPECT_SLOT(ChannelOps, RemoveSpareItem, 2);
    EXPECT_SLOT(ChannelOps, ReservedOp3, 3);
    EXPECT_SLOT(ChannelOps, OpenView, 4);
    EXPECT_SLOT(ChannelOps, DeleteTexture, 5);
    EXPECT_SLOT(ChannelOps, SelectChannelPalette, 6);
    EXPECT_SLOT(ChannelOps, ReservedOp7, 7);
    EXPECT_SLOT(ChannelOps, DefineTexture, 8);
    EXPECT_SLOT(ChannelOps, EndFrame, 9);
    EXPECT_SLOT(ChannelOps, DrawCircle, 10);
    EXPECT_SLOT(ChannelOps, DrawLine, 11);
    EXPECT_SLOT(ChannelOps, LoadFont, 12);
    EXPECT_SLOT(ChannelOps, SetCursorPosition, 13);
    EXPECT_SLOT(ChannelOps, MoveCursor, 14);
    EXPECT_SLOT(ChannelOps, FillPolygon, 15);
    EXPECT_SLOT(ChannelOps, FillRectangle, 16);
    EXPECT_SLOT(ChannelOps, SetTextTransparent, 17);
    EXPECT_SLOT(ChannelOps, SetPenColours, 18);
    EXPECT_SLOT(ChannelOps, SetCursorStyle, 19);
    EXPECT_SLOT(ChannelOps, SelectFont, 20);
    EXPECT_SLOT(ChannelOps, SetCursorVisible, 21);
    EXPECT_SLOT(ChannelOps, DrawOverlayText, 22);
}

TEST(SlotPositions, ViewOperationsSitOnePointerApartInSlotOrder)
{
    EXPECT_EQ(sizeof(ViewOps), 16 * sizeof(void*));
    EXPECT_SLOT(ViewOps, SetEnvironment, 0);
    EXPECT_SLOT(ViewOps, empty1, 1);
    EXPECT_SLOT(ViewOps, CloseView, 2);
    EXPECT_SLOT(ViewOps, DrawPolygons, 3);
    EXPECT_SLOT(ViewOps, SetRenderMode, 4);
    EXPECT_SLOT(ViewOps, QueryPair, 5);
    EXPECT_SLOT(ViewOps, ReadPixels, 6);
    EXPECT_SLOT(ViewOps, empty7, 7);
    EXPECT_SLOT(ViewOps, empty8, 8);
    EXPECT_SLOT(ViewOps, empty9, 9);
    EXPECT_SLOT(ViewOps, empty10, 10);
    EXPECT_SLOT(ViewOps, BeginView, 11);
    EXPECT_SLOT(ViewOps, SetBackground, 12);
    EXPECT_SLOT(ViewOps, SetBackdropAngles, 13);
    EXPECT_SLOT(ViewOps, SetViewPosition, 14);
    EXPECT_SLOT(ViewOps, SetViewSize, 15);
}

// A pixel of the image by overlay coordinates (origin top left).
Rgb OverlayPixel(const Image& image, int x, int y)
{
    return image.at(static_cast<uint32_t>(x), image.height - 1 - static_cast<uint32_t>(y));
}

// Whether some pixel of the box (overlay coordinates, both ends included)
// is near the colour.
bool AnyNear(const Image& image, int left, int top, int right, int bottom, Rgb colour)
{
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            if (Near(OverlayPixel(image, x, y), colour)) return true;
    return false;
}

// Each of the 23 slots of the host's copy, called by its index and nothing
// else, runs its own operation; slots that share a signature are told apart
// by what each one changes and what it leaves alone. Nothing here needs the
// call recorder, so the Windows build checks the slots as well.
TEST_F(ChannelTest, EachChannelSlotCalledByIndexRunsItsOperation)
{
    TestChannel channel(64, 48), other(16, 16);
    ASSERT_EQ(channel.open(), 0);
    ASSERT_EQ(other.open(), 0);
    const void* table = &channel.ops;
    ChannelRecord* record = &channel.record;
    ChannelState* state = channel.state();
    const Rgb yellow{255, 255, 0}, black{0, 0, 0};

    // 4: a view over the whole window, for the overlay's extent.
    ViewDescriptor descriptor{};
    descriptor.nearPlane = 0.1f;
    descriptor.farPlane = 100.0f;
    descriptor.fieldOfView = 1.0f;
    ViewRecord view{nullptr, nullptr, 0, &descriptor, record};
    ViewOps viewOps{};
    ASSERT_EQ(SlotOf<host_slot::OpenView>(table, 4)(&view, &viewOps), 0);
    ASSERT_NE(descriptor.state, nullptr);
    EXPECT_EQ(descriptor.ops, &viewOps);
    viewOps.SetViewSize(&view, 64, 48);
    EXPECT_EQ(state->overlayWidth, 64u);

    // 0: the pixel format into a host bitmap, reduced to powers of two.
    Bitmap bitmap{};
    bitmap.width = 100;
    bitmap.height = 60;
    SlotOf<host_slot::QueryImageFormat>(table, 0)(record, 2, &bitmap);
    EXPECT_EQ(bitmap.width, 64u);
    EXPECT_EQ(bitmap.height, 32u);
    EXPECT_EQ(bitmap.bitsPerPixel, record->frameFormat.bitsPerPixel);

    // 2: a payload on the spare list comes back with its first word cleared.
    auto* spare = static_cast<uint32_t*>(_ZqGCreateListItem(&state->spareList, 8, nullptr, 4));
    ASSERT_NE(spare, nullptr);
    *spare = 77;
    EXPECT_EQ(SlotOf<host_slot::RemoveSpareItem>(table, 2)(record, 4), spare);
    EXPECT_EQ(*spare, 0u);
    MMfree(spare);

    // 3 and 7 do nothing: the other channel stays current and this one
    // open. 6 makes this channel current and closes nothing.
    MakeChannelCurrent(other.state());
    EXPECT_EQ(SlotOf<host_slot::ChannelStatus>(table, 3)(record), 0);
    EXPECT_EQ(SlotOf<host_slot::ChannelStatus>(table, 7)(record), 0);
    EXPECT_EQ(currentChannel, other.state());
    ASSERT_EQ(record->driverState, state);
    EXPECT_EQ(SlotOf<host_slot::ChannelStatus>(table, 6)(record), 0);
    EXPECT_EQ(currentChannel, state);
    ASSERT_EQ(record->driverState, state);

    // 8 defines a texture, 5 deletes it and touches none of the overlay
    // words that 17 and 21 set.
    HostImage image(4, 4, 32, 0xFF, 0xFF00, 0xFF0000);
    TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE);
    EXPECT_EQ(SlotOf<host_slot::DefineTexture>(table, 8)(record, 6, &definition, 1), 0);
    EXPECT_NE(Texture(channel, 6), nullptr);
    SlotOf<host_slot::ChannelWord>(table, 5)(record, 6);
    EXPECT_EQ(Texture(channel, 6), nullptr);
    EXPECT_EQ(record->transparentText, 1);
    EXPECT_EQ(record->cursorVisible, 0);

    // 12 loads a font, 20 selects it.
    void* defaultFont = state->currentFont;
    EXPECT_EQ(SlotOf<host_slot::LoadFont>(table, 12)(record, 8, "6x12.bdf"), 0);
    void* loaded = _ZqGFindListItem(&state->fontList, 8);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(state->currentFont, defaultFont) << "loading does not select";
    SlotOf<host_slot::ChannelWord>(table, 20)(record, 8);
    EXPECT_EQ(state->currentFont, loaded);
    EXPECT_EQ(record->cursorVisible, 0);
    EXPECT_EQ(record->transparentText, 1);

    // 13 places the cursor, 14 moves it by a difference.
    const int32_t at[2] = {10, 12};
    SlotOf<host_slot::OnePoint>(table, 13)(record, at);
    EXPECT_EQ(record->cursorX, 10);
    EXPECT_EQ(record->cursorY, 12);
    SlotOf<host_slot::MoveCursor>(table, 14)(record, 3, 4);
    EXPECT_EQ(record->cursorX, 13);
    EXPECT_EQ(record->cursorY, 16);

    // 17 turns opaque text on and leaves the cursor hidden; 21 shows the
    // cursor and leaves the text opaque.
    SlotOf<host_slot::ChannelWord>(table, 17)(record, 0);
    EXPECT_EQ(record->transparentText, 0);
    EXPECT_EQ(record->cursorVisible, 0);
    EXPECT_EQ(state->currentFont, loaded);
    SlotOf<host_slot::ChannelWord>(table, 21)(record, 1);
    EXPECT_EQ(record->cursorVisible, 1);
    EXPECT_EQ(record->transparentText, 0);
    EXPECT_EQ(state->currentFont, loaded);

    // 18 sets the pen, 19 the cursor's style, size and colour.
    const float pen[3] = {1, 1, 0}, red[3] = {1, 0, 0};
    SlotOf<host_slot::SetPenColours>(table, 18)(record, pen, nullptr);
    EXPECT_EQ(record->penColour[2], 0.0f);
    EXPECT_EQ(record->backColour[0], 0.0f);
    SlotOf<host_slot::SetCursorStyle>(table, 19)(record, 1, 9, red);
    EXPECT_EQ(record->cursorStyle, 1);
    EXPECT_EQ(record->cursorSize, 9);
    EXPECT_EQ(record->cursorColour[1], 0.0f);

    // The drawing slots, each in a corner of its own of a black frame.
    BackgroundRecord plain{0, {0, 0, 0}, 0};
    viewOps.SetBackground(&view, &plain);
    viewOps.SetRenderMode(&view, ZQGD_MODE_UNLIT);
    static const float identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    viewOps.BeginView(&view, 0, identity, ZQGD_CLEAR_COLOUR | ZQGD_CLEAR_DEPTH);
    const int32_t corner[2] = {2, 2}, opposite[2] = {20, 10};
    SlotOf<host_slot::TwoPoints>(table, 16)(record, corner, opposite);  // filled, not its diagonal
    const int32_t top[2] = {30, 2}, bottom[2] = {30, 20};
    SlotOf<host_slot::TwoPoints>(table, 11)(record, top, bottom);  // a line, not an empty box
    const int32_t triangle[6] = {44, 2, 62, 2, 53, 20};
    SlotOf<host_slot::FillPolygon>(table, 15)(record, 3, triangle);
    const uint32_t centre[2] = {12, 34};
    SlotOf<host_slot::DrawCircle>(table, 10)(record, 6, centre);
    const int32_t textAt[2] = {40, 30};
    SlotOf<host_slot::DrawOverlayText>(table, 22)(record, textAt, "W");
    Image drawn = channel.drawn();
    EXPECT_TRUE(Near(OverlayPixel(drawn, 16, 4), yellow)) << "inside the rectangle, off its diagonal";
    EXPECT_TRUE(AnyNear(drawn, 29, 10, 30, 10, yellow)) << "the line";
    EXPECT_TRUE(Near(OverlayPixel(drawn, 34, 10), black));
    EXPECT_TRUE(Near(OverlayPixel(drawn, 53, 8), yellow)) << "inside the triangle";
    EXPECT_TRUE(AnyNear(drawn, 5, 27, 19, 41, yellow)) << "the circle";
    EXPECT_TRUE(Near(OverlayPixel(drawn, 12, 34), black)) << "the circle is not filled";
    EXPECT_TRUE(AnyNear(drawn, 40, 30, 45, 41, yellow)) << "the text";

    // 9 ends the frame: the cursor box is drawn and the picture shown.
    MakeChannelCurrent(other.state());
    EXPECT_EQ(SlotOf<host_slot::ChannelStatus>(table, 9)(record), 0);
    EXPECT_EQ(currentChannel, state);
    ASSERT_EQ(record->driverState, state);
    Image shown = channel.front();
    EXPECT_TRUE(Near(OverlayPixel(shown, 53, 8), yellow)) << "the buffers were swapped";
    EXPECT_TRUE(AnyNear(shown, 3, 14, 5, 18, {255, 0, 0})) << "the left side of the cursor box";

    viewOps.CloseView(&view);
    // 1 closes the channel.
    EXPECT_EQ(SlotOf<host_slot::ChannelStatus>(table, 1)(record), 0);
    EXPECT_EQ(record->driverState, nullptr);
}

// Each of the 16 slots of the host's copy of the view table, called by its
// index: the empty ones are null, the others run their own operation.
TEST_F(ChannelTest, EachViewSlotCalledByIndexRunsItsOperation)
{
    TestChannel channel(64, 48), other(16, 16);
    ASSERT_EQ(channel.open(), 0);
    ASSERT_EQ(other.open(), 0);
    ViewDescriptor descriptor{};
    descriptor.nearPlane = 0.1f;
    descriptor.farPlane = 100.0f;
    descriptor.fieldOfView = 1.0f;
    ViewRecord view{nullptr, nullptr, 0, &descriptor, &channel.record};
    ViewOps ops;
    std::memset(&ops, 0x5A, sizeof ops);
    ASSERT_EQ(channel.ops.OpenView(&view, &ops), 0);
    ASSERT_NE(descriptor.state, nullptr);
    const void* table = &ops;
    for (size_t slot : {1u, 7u, 8u, 9u, 10u}) EXPECT_TRUE(SlotIsEmpty(table, slot)) << "slot " << slot;
    EXPECT_EQ(SlotOf<host_slot::DrawPolygons>(table, 3), kRendererTable[0]);

    // 14 places the view, 15 sizes it; each leaves the other's words alone.
    EXPECT_EQ(SlotOf<host_slot::SetViewPosition>(table, 14)(&view, 8, 4), 0);
    EXPECT_EQ(descriptor.x, 8);
    EXPECT_EQ(descriptor.y, 4);
    EXPECT_EQ(descriptor.width, 0u);
    EXPECT_EQ(SlotOf<host_slot::SetViewSize>(table, 15)(&view, 40, 30), 0);
    EXPECT_EQ(descriptor.width, 40u);
    EXPECT_EQ(descriptor.height, 30u);
    EXPECT_EQ(descriptor.x, 8);
    EXPECT_EQ(channel.state()->overlayWidth, 48u);
    EXPECT_EQ(channel.state()->overlayHeight, 34u);

    // 5 writes -1 twice.
    int32_t pair[2] = {7, 7};
    SlotOf<host_slot::QueryPair>(table, 5)(&view, pair);
    EXPECT_EQ(pair[0], -1);
    EXPECT_EQ(pair[1], -1);

    // 4 applies a render mode.
    EXPECT_EQ(SlotOf<host_slot::SetRenderMode>(table, 4)(&view, ZQGD_MODE_UNLIT), 0);
    EXPECT_EQ(descriptor.renderMode, ZQGD_MODE_UNLIT);

    // 12 sets a red background, 11 begins a frame: the channel becomes
    // current, the viewport is the view's rectangle and the view is red.
    BackgroundRecord red{0, {1, 0, 0}, 0};
    SlotOf<host_slot::SetBackground>(table, 12)(&view, &red);
    MakeChannelCurrent(other.state());
    static const float identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    SlotOf<host_slot::BeginView>(table, 11)(&view, 0, identity, ZQGD_CLEAR_COLOUR | ZQGD_CLEAR_DEPTH);
    EXPECT_EQ(currentChannel, channel.state());
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{8, 4, 40, 30}));
    EXPECT_TRUE(Near(channel.drawn().at(28, 19), {255, 0, 0}));

    // 0 applies the environment: linear fog on.
    Environment environment{};
    environment.fogMode = 1;
    environment.fogStart = 1;
    environment.fogEnd = 10;
    view.environment = &environment;
    SlotOf<host_slot::SetEnvironment>(table, 0)(&view);
    EXPECT_EQ(channel.state()->fogEnabled, 1);
    EXPECT_TRUE(glIsEnabled(GL_FOG));

    // 6 reads the view's pixels into a new image.
    Bitmap bitmap{};
    ASSERT_EQ(SlotOf<host_slot::ReadPixels>(table, 6)(&view, &bitmap), 0);
    ASSERT_NE(bitmap.pixels, nullptr);
    EXPECT_EQ(bitmap.width, 40u);
    EXPECT_EQ(bitmap.height, 30u);
    MMfree(bitmap.pixels);

    // 13 turns the backdrop image by the view's angles.
    HostImage sky(256, 64, 32, 0xFF, 0xFF00, 0xFF0000);
    TextureDefinition backdrop = Definition(sky.bitmap, ZQGD_DEFINE_BACKDROP);
    backdrop.angularWidth = 1.0f;
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 7, &backdrop, 1), 0);
    BackgroundRecord imageBackground{1, {0, 0, 0}, 7};
    SlotOf<host_slot::SetBackground>(table, 12)(&view, &imageBackground);
    ASSERT_NE(StateOf(&descriptor)->backdrop, nullptr);
    int32_t x = StateOf(&descriptor)->backdropX, y = StateOf(&descriptor)->backdropY;
    SlotOf<host_slot::SetBackdropAngles>(table, 13)(&view, 0.2f, 0.3f);
    EXPECT_NE(StateOf(&descriptor)->backdropX, x);
    EXPECT_NE(StateOf(&descriptor)->backdropY, y);

    // 2 closes the view.
    EXPECT_EQ(SlotOf<host_slot::CloseView>(table, 2)(&view), 0);
    EXPECT_EQ(descriptor.state, nullptr);
}

// The slots that write into the host's channel record, each with a value
// that changes the record of a channel as open leaves it with its cursor
// shown.
struct RecordWrite {
    const char* slot;
    void (*call)(ChannelOps&, ChannelRecord*);
};
const float kRed[3] = {1, 0, 0}, kBlue[3] = {0, 0, 1};
const RecordWrite kRecordWrites[] = {
    {"SetCursorPosition",
     [](ChannelOps& ops, ChannelRecord* record) {
         const int32_t at[2] = {4, 4};
         ops.SetCursorPosition(record, at);
     }},
    {"MoveCursor", [](ChannelOps& ops, ChannelRecord* record) { ops.MoveCursor(record, 3, -2); }},
    {"SetTextTransparent", [](ChannelOps& ops, ChannelRecord* record) { ops.SetTextTransparent(record, 0); }},
    {"SetPenColours", [](ChannelOps& ops, ChannelRecord* record) { ops.SetPenColours(record, kRed, kBlue); }},
    {"SetCursorStyle", [](ChannelOps& ops, ChannelRecord* record) { ops.SetCursorStyle(record, 1, 5, kBlue); }},
    {"SetCursorVisible", [](ChannelOps& ops, ChannelRecord* record) { ops.SetCursorVisible(record, 0); }},
};

// Calls every channel operation but CloseChannel on a channel that is
// closed, checking the statuses and the host's out-records: no operation
// writes anything, those with a status return 1, RemoveSpareItem null.
void CallEveryOperationOfAClosedChannel(ChannelRecord* record, ChannelOps& ops)
{
    for (int32_t mode : {1, 2}) {
        Bitmap bitmap;
        std::memset(&bitmap, 0x3C, sizeof bitmap);
        const Bitmap before = bitmap;
        ops.QueryImageFormat(record, mode, &bitmap);
        EXPECT_EQ(std::memcmp(&bitmap, &before, sizeof bitmap), 0) << "QueryImageFormat mode " << mode;
    }
    EXPECT_EQ(ops.RemoveSpareItem(record, 0), nullptr);
    EXPECT_EQ(ops.RemoveSpareItem(record, 5), nullptr);
    // The reserved slots read nothing, not even the channel.
    EXPECT_EQ(ops.ReservedOp3(record), 0);
    EXPECT_EQ(ops.ReservedOp7(record), 0);
    EXPECT_EQ(ops.ReservedOp3(nullptr), 0);
    EXPECT_EQ(ops.ReservedOp7(nullptr), 0);

    ViewDescriptor descriptor;
    std::memset(&descriptor, 0x47, sizeof descriptor);
    const ViewDescriptor descriptorBefore = descriptor;
    ViewRecord view{nullptr, nullptr, 0, &descriptor, record};
    ViewOps viewOps;
    std::memset(&viewOps, 0x29, sizeof viewOps);
    const ViewOps viewOpsBefore = viewOps;
    EXPECT_EQ(ops.OpenView(&view, &viewOps), 1);
    EXPECT_EQ(std::memcmp(&descriptor, &descriptorBefore, sizeof descriptor), 0) << "OpenView";
    EXPECT_EQ(std::memcmp(&viewOps, &viewOpsBefore, sizeof viewOps), 0) << "OpenView";

    std::vector<uint32_t> pixels(8 * 8, 0xFF00FF00);
    TextureDefinition definition{};
    definition.image = {pixels.data(), 32, 8, 8, 32, 4, 0xFF, 0, 8, 0xFF00, 8, 8, 0xFF0000, 16, 8, 0};
    definition.operation = ZQGD_DEFINE_TEXTURE;
    definition.keyRed = definition.keyGreen = definition.keyBlue = 256;
    const TextureDefinition definitionBefore = definition;
    for (int32_t operation : {ZQGD_DEFINE_BACKDROP, ZQGD_DELETE_TEXTURE, ZQGD_DEFINE_TEXTURE}) {
        definition.operation = operation;
        for (uint32_t newImage : {0u, 1u}) {
            EXPECT_EQ(ops.DefineTexture(record, 7, &definition, newImage), 1) << "operation " << operation;
            definition.operation = definitionBefore.operation;
            EXPECT_EQ(std::memcmp(&definition, &definitionBefore, sizeof definition), 0) << "DefineTexture";
            definition.operation = operation;
        }
    }
    ops.DeleteTexture(record, 7);
    EXPECT_EQ(ops.SelectChannelPalette(record), 1);
    EXPECT_EQ(ops.EndFrame(record), 1);

    const uint32_t centre[2] = {20, 20};
    const int32_t from[2] = {1, 2}, to[2] = {30, 20}, at[2] = {4, 4};
    const int32_t points[6] = {2, 2, 30, 4, 10, 30};
    ops.DrawCircle(record, 5, centre);
    ops.DrawLine(record, from, to);
    EXPECT_EQ(ops.LoadFont(record, 3, "6x12.bdf"), 1);
    EXPECT_EQ(ops.LoadFont(record, -1, nullptr), 1);
    ops.FillPolygon(record, 3, points);
    ops.FillRectangle(record, from, to);
    ops.SelectFont(record, -1);
    ops.DrawOverlayText(record, at, "text");
    for (const RecordWrite& write : kRecordWrites) {
        const ChannelRecord before = *record;
        write.call(ops, record);
        EXPECT_EQ(std::memcmp(record, &before, sizeof before), 0) << write.slot;
    }
}

// A host keeps its table after CloseChannel. A second close leaves everything
// as it is and returns 0 like the first; every other operation on the closed
// channel writes nothing into the host's records, allocates nothing, leaves
// another channel current and returns 1 where it has a status.
TEST_F(ChannelTest, OperationsOnAClosedChannelTouchNothing)
{
    TestChannel closed(32, 32), other(32, 32);
    ASSERT_EQ(closed.open(), 0);
    ASSERT_EQ(other.open(), 0);
    closed.record.cursorVisible = 1;  // an end of frame would draw the cursor
    ASSERT_EQ(closed.ops.CloseChannel(&closed.record), 0);
    ASSERT_EQ(closed.record.driverState, nullptr);
    MakeChannelCurrent(other.state());
    const ChannelRecord record = closed.record;
    const uint32_t blocks = MMLiveBlocks();

    EXPECT_EQ(closed.ops.CloseChannel(&closed.record), 0);
    CallEveryOperationOfAClosedChannel(&closed.record, closed.ops);

    EXPECT_EQ(std::memcmp(&closed.record, &record, sizeof record), 0);
    EXPECT_EQ(MMLiveBlocks(), blocks);
    EXPECT_EQ(currentChannel, other.state());
    EXPECT_EQ(wglGetCurrentContext(), other.state()->glContext);

    // Each write would have changed the record: a copy of it that passes for
    // open (it borrows the other channel's state, which these slots never
    // read) takes every one.
    for (const RecordWrite& write : kRecordWrites) {
        ChannelRecord open = record;
        open.driverState = other.record.driverState;
        const ChannelRecord before = open;
        write.call(closed.ops, &open);
        EXPECT_NE(std::memcmp(&open, &before, sizeof open), 0) << write.slot;
    }
}

// Calls every view operation on a view that is closed, checking statuses
// and out-records: nothing written, status 1 where there is one, 0 from
// CloseView (closing what is closed, like a second CloseChannel).
void CallEveryOperationOfAClosedView(ViewRecord* view, ViewOps& ops)
{
    const ViewDescriptor descriptor = *view->view;
    const ViewOps table = ops;
    static const float matrix[12] = {0, 1, 0, 2, -1, 0, 0, 3, 0, 0, 1, 4};
    const BackgroundRecord background{0, {0.5f, 0.25f, 1.0f}, 0};
    float vertices[3][3] = {{-1, -1, 2}, {1, -1, 2}, {0, 1, 2}};
    PolygonRecord triangle{};
    triangle.vertexCount = 3;
    for (uint32_t i = 0; i < 3; ++i) triangle.corners[i].vertexIndex = i;
    triangle.plane[2] = -1;
    triangle.plane[3] = 2;
    PolygonList list{3, vertices, 1, &triangle, 0, nullptr};
    const float eye[3] = {0, 0, 0};
    GeometryBlock geometry{0, &list, matrix, eye, 0, 0, 0};

    ops.SetEnvironment(view);
    EXPECT_EQ(ops.SetRenderMode(view, ZQGD_MODE_FACET | ZQGD_MODE_LINES | ZQGD_MODE_DEPTH_ON), 1);
    ops.BeginView(view, 40, matrix, ZQGD_CLEAR_COLOUR | ZQGD_CLEAR_DEPTH);
    ops.DrawPolygons(view, nullptr, &geometry);
    int32_t pair[2] = {7, 9};
    ops.QueryPair(view, pair);
    EXPECT_EQ(pair[0], 7);
    EXPECT_EQ(pair[1], 9);
    Bitmap bitmap;
    std::memset(&bitmap, 0x3C, sizeof bitmap);
    const Bitmap bitmapBefore = bitmap;
    EXPECT_EQ(ops.ReadPixels(view, &bitmap), 1);
    EXPECT_EQ(std::memcmp(&bitmap, &bitmapBefore, sizeof bitmap), 0) << "ReadPixels";
    ops.SetBackground(view, &background);
    ops.SetBackdropAngles(view, 0.5f, 1.0f);
    EXPECT_EQ(ops.SetViewPosition(view, 3, 4), 1);
    EXPECT_EQ(ops.SetViewSize(view, 10, 12), 1);
    EXPECT_EQ(ops.CloseView(view), 0);

    EXPECT_EQ(std::memcmp(view->view, &descriptor, sizeof descriptor), 0) << "the descriptor";
    EXPECT_EQ(std::memcmp(&ops, &table, sizeof table), 0) << "the host's table";
}

// A view is closed by CloseView or with its channel, and counts as closed
// while its record names a closed channel record; either way the host's copy
// of its table does nothing more: no allocation, no write, no change of
// current channel, and a channel still open keeps its overlay extent.
TEST_F(ChannelTest, OperationsOnAClosedViewTouchNothing)
{
    TestChannel channel(32, 32), other(32, 32), gone(32, 32);
    ASSERT_EQ(channel.open(), 0);
    ASSERT_EQ(other.open(), 0);
    ASSERT_EQ(gone.open(), 0);
    ASSERT_EQ(gone.ops.CloseChannel(&gone.record), 0);
    Environment environment{};
    LightRecord light{};
    light.type = 1;
    light.colour[0] = 1;
    environment.lights = &light;
    environment.lightCount = 1;
    environment.fogMode = 1;
    ViewDescriptor closedByView{}, closedWithChannel{}, pointedAway{};
    ViewRecord first{&environment, nullptr, 0, &closedByView, &channel.record};
    ViewRecord second{&environment, nullptr, 0, &closedWithChannel, &channel.record};
    ViewRecord third{&environment, nullptr, 0, &pointedAway, &channel.record};
    ViewOps firstOps, secondOps, thirdOps;
    for (auto [view, ops] :
         {std::pair{&first, &firstOps}, std::pair{&second, &secondOps}, std::pair{&third, &thirdOps}}) {
        ASSERT_EQ(channel.ops.OpenView(view, ops), 0);
        view->view->nearPlane = 0.1f;
        view->view->farPlane = 100.0f;
        view->view->fieldOfView = 1.0f;
        ops->SetViewPosition(view, 2, 3);
        ops->SetViewSize(view, 20, 24);
    }

    ASSERT_EQ(firstOps.CloseView(&first), 0);
    ASSERT_EQ(closedByView.state, nullptr);
    MakeChannelCurrent(other.state());
    const uint32_t overlay[2] = {channel.state()->overlayWidth, channel.state()->overlayHeight};
    uint32_t blocks = MMLiveBlocks();
    CallEveryOperationOfAClosedView(&first, firstOps);
    third.channel = &gone.record;  // open on its channel, its record naming a closed one
    CallEveryOperationOfAClosedView(&third, thirdOps);
    EXPECT_NE(pointedAway.state, nullptr) << "still open on the channel it was opened on";
    EXPECT_EQ(MMLiveBlocks(), blocks);
    EXPECT_EQ(currentChannel, other.state());
    EXPECT_EQ(channel.state()->overlayWidth, overlay[0]);
    EXPECT_EQ(channel.state()->overlayHeight, overlay[1]);

    ASSERT_EQ(channel.ops.CloseChannel(&channel.record), 0);
    ASSERT_EQ(closedWithChannel.state, nullptr);
    MakeChannelCurrent(other.state());
    blocks = MMLiveBlocks();
    CallEveryOperationOfAClosedView(&second, secondOps);
    CallEveryOperationOfAClosedView(&first, firstOps);
    EXPECT_EQ(MMLiveBlocks(), blocks);
    EXPECT_EQ(currentChannel, other.state());
    EXPECT_EQ(wglGetCurrentContext(), other.state()->glContext);
}

// Neither a closed channel nor a closed view reaches GL or the window system.
TEST_F(ChannelTest, ClosedChannelsAndViewsCallNoGl)
{
    TestChannel channel(32, 32);
    ASSERT_EQ(channel.open(), 0);
    ViewDescriptor descriptors[2] = {};
    ViewRecord views[2] = {{nullptr, nullptr, 0, &descriptors[0], &channel.record},
                           {nullptr, nullptr, 0, &descriptors[1], &channel.record}};
    ViewOps viewOps[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(channel.ops.OpenView(&views[i], &viewOps[i]), 0);
        viewOps[i].SetViewSize(&views[i], 32, 32);
    }
    ASSERT_EQ(viewOps[0].CloseView(&views[0]), 0);

    recorder::Start();
    CallEveryOperationOfAClosedView(&views[0], viewOps[0]);
    EXPECT_EQ(recorder::Names(), std::vector<std::string>{}) << "a closed view on an open channel";
    recorder::Stop();

    channel.record.cursorVisible = 1;
    ASSERT_EQ(channel.ops.CloseChannel(&channel.record), 0);
    recorder::Start();
    EXPECT_EQ(channel.ops.CloseChannel(&channel.record), 0);
    CallEveryOperationOfAClosedChannel(&channel.record, channel.ops);
    CallEveryOperationOfAClosedView(&views[1], viewOps[1]);
    EXPECT_EQ(recorder::Names(), std::vector<std::string>{}) << "a closed channel and its view";
    recorder::Stop();
}

}  // namespace
