// The overlay on the real GL: fonts, text, cursor and primitives, the state
// it saves and restores, and its setters.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <utility>
#include <vector>

#include "overlay/bdf_font.h"
#include "overlay/overlay.h"
#include "recorder/gl_recorder.h"
#include "support/scratch_folder.h"
#include "support/test_view.h"

namespace {

const Rgb kBlack{0, 0, 0};

// A 64 x 48 channel whose one view covers the window, so that overlay
// pixels are window pixels.
class OverlayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(channel.open(), 0);
        view = std::make_unique<TestView>(channel, 0, 0, 64, 48);
        view->clearTo(0, 0, 0, 0);
        // Text checks read the default font's glyphs through the selection.
        ASSERT_NE(channel.state()->currentFont, nullptr);
    }
    void TearDown() override { recorder::Stop(); }

    // A pixel by overlay coordinates (origin top left).
    Rgb at(const Image& image, int x, int y) const { return image.at(x, 47 - y); }

    // Lines run along pixel edges in overlay coordinates, so GL may light
    // the pixel on either side: whether one of the two does.
    bool LineAt(const Image& image, int x, int y, Rgb colour, bool vertical) const
    {
        return Near(at(image, x, y), colour) || Near(at(image, vertical ? x - 1 : x, vertical ? y : y - 1), colour);
    }

    const BitmapFont* font() const { return static_cast<const FontEntry*>(channel.state()->currentFont)->font; }

    // Whether the glyph of the code has its pixel (column, row from the top) set.
    bool inked(int code, int column, int row) const
    {
        const BitmapFont* f = font();
        int rowBytes = (f->glyphWidth + 7) / 8;
        const uint8_t* glyph = f->glyphBits + f->glyphOffsets[code];
        const uint8_t* bytes = glyph + (f->glyphHeight - 1 - row) * rowBytes;
        return (bytes[column / 8] >> (7 - column % 8)) & 1;
    }

    // Checks a text cell at (x, y) shows the glyph in the pen colour over the
    // given background.
    void ExpectGlyph(const Image& image, int code, int x, int y, Rgb pen, Rgb background)
    {
        int lit = 0;
        for (int row = 0; row < 12; ++row)
            for (int column = 0; column < 6; ++column) {
                bool ink = inked(code, column, row);
                lit += ink;
                EXPECT_TRUE(Near(at(image, x + column, y + row), ink ? pen : background))
                    << "code " << code << " column " << column << " row " << row;
            }
        EXPECT_GT(lit, 0) << "code " << code << " has ink";
    }

    // How many pixels of the image are not black.
    static int Lit(const Image& image)
    {
        int lit = 0;
        for (uint32_t y = 0; y < image.height; ++y)
            for (uint32_t x = 0; x < image.width; ++x) lit += Near(image.at(x, y), kBlack) ? 0 : 1;
        return lit;
    }

    TestChannel channel{64, 48};
    std::unique_ptr<TestView> view;
};

TEST_F(OverlayTest, ChannelsOpenWithTheDefaultFont)
{
    ASSERT_NE(channel.state()->currentFont, nullptr);
    auto* entry = static_cast<const FontEntry*>(_ZqGFindListItem(&channel.state()->fontList, -1));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(channel.state()->currentFont, entry);
    EXPECT_STREQ(entry->fileName, "6x12.bdf");
    EXPECT_EQ(font()->glyphWidth, 6);
    EXPECT_EQ(font()->glyphHeight, 12);
}

TEST_F(OverlayTest, TextLightsExactlyTheGlyphPixels)
{
    const float pen[3] = {1, 1, 0}, back[3] = {0, 0, 1};
    channel.ops.SetPenColours(&channel.record, pen, back);
    const int32_t where[2] = {10, 20};
    channel.ops.DrawOverlayText(&channel.record, where, "AB");
    Image image = channel.drawn();
    ExpectGlyph(image, 'A', 10, 20, {255, 255, 0}, kBlack);
    ExpectGlyph(image, 'B', 16, 20, {255, 255, 0}, kBlack);
    EXPECT_TRUE(Near(at(image, 22, 20), kBlack));

    // Opaque: a box of two cells in the back colour behind the glyphs.
    channel.ops.SetTextTransparent(&channel.record, 0);
    view->clearTo(0, 0, 0, 0);
    recorder::Start();
    channel.ops.DrawOverlayText(&channel.record, where, "AB");
    EXPECT_EQ(recorder::Count("glRecti", {10, 20, 22, 32}), 1u);
    EXPECT_EQ(recorder::Count("glRasterPos2i", {10, 32}), 1u);
    EXPECT_EQ(recorder::Count("glBitmap", {6, 12, 0, 0, 6, 0}), 2u);
    image = channel.drawn();
    ExpectGlyph(image, 'A', 10, 20, {255, 255, 0}, {0, 0, 255});
    ExpectGlyph(image, 'B', 16, 20, {255, 255, 0}, {0, 0, 255});
    EXPECT_TRUE(Near(at(image, 9, 25), kBlack));
    EXPECT_TRUE(Near(at(image, 22, 25), kBlack));
}

TEST_F(OverlayTest, MissingGlyphsShiftTheRestAndHighCodesUseTheirGlyphs)
{
    char missing = 1;
    while (font()->glyphOffsets[static_cast<unsigned char>(missing)] != kNoGlyph) ++missing;
    const char text[] = {'A', missing, 'B', '\xC9', '\0'};
    const int32_t where[2] = {4, 4};
    channel.ops.SetTextTransparent(&channel.record, 0);
    recorder::Start();
    channel.ops.DrawOverlayText(&channel.record, where, text);
    EXPECT_EQ(recorder::Count("glRecti", {4, 4, 28, 16}), 1u) << "the box spans every character";
    EXPECT_EQ(recorder::Count("glBitmap"), 3u);
    Image image = channel.drawn();
    ExpectGlyph(image, 'B', 10, 4, {255, 255, 255}, kBlack);
    ExpectGlyph(image, 0xC9, 16, 4, {255, 255, 255}, kBlack);
}

// With another channel current, text that draws nothing switches no
// context either.
TEST_F(OverlayTest, NoFontOrNoTextMakesNoGlCall)
{
    TestChannel other(16, 16);
    ASSERT_EQ(other.open(), 0);
    ASSERT_EQ(currentChannel, other.state());
    const int32_t where[2] = {4, 4};
    recorder::Start();
    channel.ops.DrawOverlayText(&channel.record, where, "");
    channel.ops.SelectFont(&channel.record, 5);
    EXPECT_EQ(channel.state()->currentFont, nullptr);
    channel.ops.DrawOverlayText(&channel.record, where, "A");
    EXPECT_TRUE(recorder::Calls().empty());
    EXPECT_EQ(currentChannel, other.state());
}

TEST_F(OverlayTest, RegistryRules)
{
    ScratchFolder folder("overlay-fonts");
    std::string path = folder / "Tiny.bdf";
    std::ofstream(path) << "FONTBOUNDINGBOX 8 2\nENCODING 65\nBITMAP\nff\n81\nENDCHAR\n";
    ZqFAddSearchDirectory(folder.path().string().c_str());
    ChannelState* state = channel.state();

    ASSERT_EQ(channel.ops.LoadFont(&channel.record, 3, "Tiny.bdf"), 0);
    auto* entry = static_cast<FontEntry*>(_ZqGFindListItem(&state->fontList, 3));
    ASSERT_NE(entry, nullptr);
    BitmapFont* first = entry->font;
    std::remove(path.c_str());
    EXPECT_EQ(channel.ops.LoadFont(&channel.record, 3, "TINY.BDF"), 0) << "the same name in any case is not read again";
    EXPECT_EQ(entry->font, first);
    channel.ops.SelectFont(&channel.record, 3);
    EXPECT_EQ(state->currentFont, entry);

    // Another name replaces the font in the same entry; the selection follows.
    // A failed load would have freed the entry: nothing more could be read.
    ASSERT_EQ(channel.ops.LoadFont(&channel.record, 3, "6x12.bdf"), 0);
    ASSERT_EQ(_ZqGFindListItem(&state->fontList, 3), entry);
    EXPECT_EQ(state->currentFont, entry);
    EXPECT_EQ(entry->font->glyphWidth, 6);

    // A failed reload unloads the id and the selection.
    EXPECT_EQ(channel.ops.LoadFont(&channel.record, 3, "no-such-font.bdf"), 14);
    EXPECT_EQ(_ZqGFindListItem(&state->fontList, 3), nullptr);
    EXPECT_EQ(state->currentFont, nullptr);

    EXPECT_EQ(channel.ops.LoadFont(&channel.record, 9, nullptr), 0) << "unloading a missing id";
    uint32_t blocks = MMLiveBlocks();
    MMFailNthAllocation(1);
    EXPECT_EQ(channel.ops.LoadFont(&channel.record, 4, "6x12.bdf"), 1);
    MMFailNthAllocation(0);
    EXPECT_EQ(MMLiveBlocks(), blocks);

    // The same file under two ids is held twice; unloading frees it.
    ASSERT_EQ(channel.ops.LoadFont(&channel.record, 4, "6x12.bdf"), 0);
    ASSERT_EQ(channel.ops.LoadFont(&channel.record, 5, "6x12.bdf"), 0);
    auto* four = static_cast<FontEntry*>(_ZqGFindListItem(&state->fontList, 4));
    auto* five = static_cast<FontEntry*>(_ZqGFindListItem(&state->fontList, 5));
    ASSERT_NE(four, nullptr);
    ASSERT_NE(five, nullptr);
    EXPECT_NE(four->font, five->font);
    EXPECT_EQ(channel.ops.LoadFont(&channel.record, 4, nullptr), 0);
    EXPECT_EQ(channel.ops.LoadFont(&channel.record, 5, nullptr), 0);
    EXPECT_EQ(MMLiveBlocks(), blocks);
}

TEST_F(OverlayTest, CursorCrossAndBox)
{
    const float red[3] = {1, 0, 0};
    channel.ops.SetCursorStyle(&channel.record, 0, 4, red);
    EXPECT_EQ(channel.record.cursorSize, 5);
    const int32_t where[2] = {30, 20};
    channel.ops.SetCursorPosition(&channel.record, where);
    channel.ops.SetCursorVisible(&channel.record, 1);
    recorder::Start();
    channel.ops.EndFrame(&channel.record);
    EXPECT_EQ(recorder::Count("glVertex2i", {25, 20}), 1u);
    EXPECT_EQ(recorder::Count("glVertex2i", {35, 20}), 1u);
    EXPECT_EQ(recorder::Count("glVertex2i", {30, 25}), 1u);
    EXPECT_EQ(recorder::Count("glVertex2i", {30, 15}), 1u);
    Image shown = channel.front();
    EXPECT_TRUE(LineAt(shown, 27, 20, {255, 0, 0}, false));
    EXPECT_TRUE(LineAt(shown, 30, 17, {255, 0, 0}, true));
    EXPECT_TRUE(Near(at(shown, 27, 17), kBlack));

    view->clearTo(0, 0, 0, 0);
    channel.ops.SetCursorStyle(&channel.record, 1, 5, nullptr);
    channel.ops.EndFrame(&channel.record);
    shown = channel.front();
    EXPECT_TRUE(LineAt(shown, 25, 18, {255, 0, 0}, true)) << "left side of the box";
    EXPECT_TRUE(LineAt(shown, 28, 15, {255, 0, 0}, false)) << "top side";
    EXPECT_TRUE(Near(at(shown, 30, 20), kBlack)) << "inside";

    // Sizes and positions at the ends of the range draw without overflow.
    channel.ops.SetCursorStyle(&channel.record, 0, INT32_MAX, nullptr);
    recorder::Start();
    channel.ops.EndFrame(&channel.record);
    EXPECT_EQ(recorder::Count("glVertex2i", {INT32_MAX, 20}), 1u);
    const int32_t extreme[2] = {INT32_MAX, INT32_MAX};
    channel.ops.SetTextTransparent(&channel.record, 0);
    channel.ops.DrawOverlayText(&channel.record, extreme, "AB");

    // Another style draws nothing but still saves and restores.
    channel.ops.SetCursorStyle(&channel.record, 2, 5, nullptr);
    recorder::Start();
    channel.ops.EndFrame(&channel.record);
    EXPECT_EQ(recorder::Count("glPushAttrib"), 3u);
    EXPECT_EQ(recorder::Count("glPopAttrib"), 3u);
    EXPECT_EQ(recorder::Count("glBegin"), 0u);
}

TEST_F(OverlayTest, PrimitivesInThePenColour)
{
    const float green[3] = {0, 1, 0};
    channel.ops.SetPenColours(&channel.record, green, nullptr);
    const int32_t a[2] = {2, 2}, b[2] = {12, 2};
    channel.ops.DrawLine(&channel.record, a, b);
    const int32_t corner[2] = {20, 2}, opposite[2] = {30, 12};
    channel.ops.FillRectangle(&channel.record, corner, opposite);
    const int32_t triangle[6] = {40, 2, 60, 2, 40, 22};
    channel.ops.FillPolygon(&channel.record, 3, triangle);
    const uint32_t centre[2] = {20, 34};
    recorder::Start();
    channel.ops.DrawCircle(&channel.record, 10, centre);
    EXPECT_EQ(recorder::Count("glVertex2f"), 36u);
    const auto& calls = recorder::Calls();
    std::vector<const GlCall*> vertices;
    for (const GlCall& call : calls)
        if (call.name == "glVertex2f") vertices.push_back(&call);
    EXPECT_NEAR(vertices[0]->args[0], 20, 1e-4);
    EXPECT_NEAR(vertices[0]->args[1], 44, 1e-4) << "the first vertex is straight below the centre";
    EXPECT_NEAR(vertices[9]->args[0], 30, 1e-4) << "the tenth is at its right";
    EXPECT_NEAR(vertices[9]->args[1], 34, 1e-4);

    Image image = channel.drawn();
    EXPECT_TRUE(LineAt(image, 6, 2, {0, 255, 0}, false));
    EXPECT_TRUE(Near(at(image, 25, 7), {0, 255, 0}));
    EXPECT_TRUE(Near(at(image, 31, 7), kBlack));
    EXPECT_TRUE(Near(at(image, 43, 5), {0, 255, 0}));
    EXPECT_TRUE(Near(at(image, 58, 20), kBlack));
    EXPECT_TRUE(Near(at(image, 20, 34), kBlack)) << "a circle is an outline";
    EXPECT_TRUE(LineAt(image, 30, 34, {0, 255, 0}, true));

    recorder::Start();
    channel.ops.FillPolygon(&channel.record, 0, triangle);
    EXPECT_EQ(recorder::Count("glBegin", {GL_POLYGON}), 1u) << "count 0 gives an empty polygon";
    recorder::Start();
    channel.ops.FillPolygon(&channel.record, -3, triangle);
    EXPECT_TRUE(recorder::Calls().empty()) << "a negative count draws nothing";
}

TEST_F(OverlayTest, OverlayLeavesTheDrawingStateAsItWas)
{
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glShadeModel(GL_SMOOTH);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    const int32_t where[2] = {1, 1};
    channel.ops.DrawOverlayText(&channel.record, where, "x");
    channel.ops.FillRectangle(&channel.record, where, where);
    channel.ops.SetCursorVisible(&channel.record, 1);
    channel.ops.EndFrame(&channel.record);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    GLint shade = 0, modes[2] = {0, 0};
    glGetIntegerv(GL_SHADE_MODEL, &shade);
    glGetIntegerv(GL_POLYGON_MODE, modes);
    EXPECT_EQ(shade, GL_SMOOTH);
    EXPECT_EQ(modes[0], GL_LINE);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
}

TEST_F(OverlayTest, SettersClampAndTouchNoGl)
{
    TestChannel big(640, 480);
    ASSERT_EQ(big.open(), 0);
    // The other channel is current: the setters must not switch to big's.
    MakeChannelCurrent(channel.state());
    recorder::Start();
    const int32_t beyond[2] = {700, 500}, left[2] = {-5, 10}, inside[2] = {10, 10};
    big.ops.SetCursorPosition(&big.record, beyond);
    EXPECT_EQ(big.record.cursorX, 639);
    EXPECT_EQ(big.record.cursorY, 479);
    big.ops.SetCursorPosition(&big.record, left);
    EXPECT_EQ(big.record.cursorX, 0);
    EXPECT_EQ(big.record.cursorY, 10);
    big.ops.SetCursorPosition(&big.record, inside);
    big.ops.MoveCursor(&big.record, -1000, 0);
    EXPECT_EQ(big.record.cursorX, 0);
    EXPECT_EQ(big.record.cursorY, 10);
    big.ops.MoveCursor(&big.record, INT32_MAX, INT32_MIN);
    EXPECT_EQ(big.record.cursorX, 639) << "no overflow";
    EXPECT_EQ(big.record.cursorY, 0);

    const float wild[3] = {1.5f, -0.2f, 0.5f};
    big.ops.SetPenColours(&big.record, wild, nullptr);
    EXPECT_EQ(big.record.penColour[0], 1.0f);
    EXPECT_EQ(big.record.penColour[1], 0.0f);
    EXPECT_EQ(big.record.penColour[2], 0.5f);
    EXPECT_EQ(big.record.backColour[0], 0.0f);
    const float nan[3] = {std::nanf(""), 2, 0.25f};
    big.ops.SetPenColours(&big.record, nullptr, nan);
    EXPECT_EQ(big.record.backColour[0], 0.0f);
    EXPECT_EQ(big.record.backColour[1], 1.0f);
    EXPECT_EQ(big.record.penColour[0], 1.0f) << "a null pen keeps the pen";
    big.ops.SetCursorStyle(&big.record, 1, 7, nullptr);
    EXPECT_EQ(big.record.cursorSize, 7);
    EXPECT_EQ(big.record.cursorColour[0], 1.0f);
    big.ops.SetTextTransparent(&big.record, 5);
    EXPECT_EQ(big.record.transparentText, 5);
    big.ops.SetCursorVisible(&big.record, 0);
    big.ops.LoadFont(&big.record, 9, "6x12.bdf");
    big.ops.SelectFont(&big.record, 9);
    EXPECT_TRUE(recorder::Calls().empty());
    EXPECT_EQ(currentChannel, channel.state());
}

// After text, the unpack row length is the cell width, the colour the pen's,
// the projection the overlay's, and the enables as before; so also when the
// raster position is invalid and only the box is drawn.
TEST_F(OverlayTest, TextLeavesTheStateItsPartLeaves)
{
    const float pen[3] = {0, 1, 0}, back[3] = {0, 0, 1};
    channel.ops.SetPenColours(&channel.record, pen, back);
    channel.ops.SetTextTransparent(&channel.record, 0);
    glEnable(GL_DEPTH_TEST);
    for (int y : {4, 60}) {
        SCOPED_TRACE(y);
        const int32_t where[2] = {2, y};
        view->clearTo(0, 0, 0, 0);
        glEnable(GL_DEPTH_TEST);
        channel.ops.DrawOverlayText(&channel.record, where, "AB");
        GLint value = 0;
        glGetIntegerv(GL_UNPACK_ROW_LENGTH, &value);
        EXPECT_EQ(value, 6);
        GLfloat colour[4];
        glGetFloatv(GL_CURRENT_COLOR, colour);
        EXPECT_EQ(colour[1], 1.0f);
        EXPECT_EQ(colour[2], 0.0f);
        glGetIntegerv(GL_MATRIX_MODE, &value);
        EXPECT_EQ(value, GL_PROJECTION);
        GLfloat projection[16];
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        EXPECT_NEAR(projection[5], -2.0f / 48, 1e-6) << "y grows downward over the extent";
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
        EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        Image image = channel.drawn();
        if (y == 4) {
            ExpectGlyph(image, 'A', 2, 4, {0, 255, 0}, {0, 0, 255});
        } else {
            // The raster position (2, 72) lies below the extent: no glyph,
            // and the box is clipped away.
            int lit = 0;
            for (int x = 0; x < 64; ++x) lit += Near(at(image, x, 47), kBlack) ? 0 : 1;
            EXPECT_EQ(lit, 0);
        }
    }
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_DEPTH_TEST);
}

// The overlay covers the views, not the window: a 32 x 24 extent in a
// 64 x 48 window maps overlay pixels onto the views' area.
TEST_F(OverlayTest, OverlayCoordinatesSpanTheExtentOfTheViews)
{
    TestChannel small(64, 48);
    ASSERT_EQ(small.open(), 0);
    TestView quarter(small, 0, 0, 32, 24);
    // The whole window black first: the view clears only its rectangle.
    MakeChannelCurrent(small.state());
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    quarter.clearTo(0, 0, 0, 0);
    ASSERT_EQ(small.state()->overlayWidth, 32u);
    ASSERT_EQ(small.state()->overlayHeight, 24u);
    const int32_t corner[2] = {0, 0}, opposite[2] = {4, 4};
    small.ops.FillRectangle(&small.record, corner, opposite);
    Image image = small.drawn();
    // Four overlay pixels are four window pixels: the rectangle covers
    // columns 0 to 3 and the top four rows of the views' area.
    EXPECT_TRUE(Near(image.at(1, 22), {255, 255, 255})) << "top left of the views' area";
    EXPECT_TRUE(Near(image.at(3, 20), {255, 255, 255}));
    EXPECT_TRUE(Near(image.at(5, 20), kBlack));
    EXPECT_TRUE(Near(image.at(1, 18), kBlack));
    EXPECT_TRUE(Near(image.at(1, 46), kBlack)) << "not the window's top left";
}

// ---- Classes and bounds of the overlay's inputs -------------------------------

// The overlay fills its shapes and the text box whatever polygon mode the
// view's render mode set: outlines or points.
TEST_F(OverlayTest, ShapesAndTextBoxesFillInViewsThatDrawLinesOrPoints)
{
    const float green[3] = {0, 1, 0}, blue[3] = {0, 0, 1};
    channel.ops.SetPenColours(&channel.record, green, blue);
    for (int32_t mode : {ZQGD_MODE_UNLIT | ZQGD_MODE_LINES, ZQGD_MODE_UNLIT | ZQGD_MODE_POINTS}) {
        SCOPED_TRACE(mode);
        const GLint viewMode = (mode & ZQGD_MODE_LINES) ? GL_LINE : GL_POINT;
        view->clearTo(0, 0, 0, mode);
        GLint modes[2] = {0, 0};
        glGetIntegerv(GL_POLYGON_MODE, modes);
        ASSERT_EQ(modes[0], viewMode) << "the view's mode is in force";
        const int32_t corner[2] = {20, 2}, opposite[2] = {30, 12};
        channel.ops.FillRectangle(&channel.record, corner, opposite);
        const int32_t triangle[6] = {40, 2, 60, 2, 40, 22};
        channel.ops.FillPolygon(&channel.record, 3, triangle);
        channel.ops.SetTextTransparent(&channel.record, 0);
        const int32_t where[2] = {4, 30};
        channel.ops.DrawOverlayText(&channel.record, where, "AB");
        Image image = channel.drawn();
        EXPECT_TRUE(Near(at(image, 25, 7), {0, 255, 0})) << "inside the rectangle";
        EXPECT_TRUE(Near(at(image, 44, 6), {0, 255, 0})) << "inside the polygon";
        ExpectGlyph(image, 'A', 4, 30, {0, 255, 0}, {0, 0, 255});
        ExpectGlyph(image, 'B', 10, 30, {0, 255, 0}, {0, 0, 255});
        glGetIntegerv(GL_POLYGON_MODE, modes);
        EXPECT_EQ(modes[0], viewMode) << "and in force again afterwards";
    }
}

// Codes are taken unsigned: 126, the last below 128, and codes above 160,
// negative as signed chars, draw their own glyphs; codes the font lacks
// (127 to 159) are skipped.
TEST_F(OverlayTest, CodesAtTheEdgesOfTheTableDrawTheirOwnGlyphs)
{
    for (int code : {126, 161, 255}) ASSERT_NE(font()->glyphOffsets[code], kNoGlyph) << code;
    for (int code : {127, 128, 159}) ASSERT_EQ(font()->glyphOffsets[code], kNoGlyph) << code;
    const char text[] = {'\x7E', '\x7F', '\x80', '\x9F', '\xA1', '\xFF', '\0'};
    const int32_t where[2] = {2, 4};
    channel.ops.DrawOverlayText(&channel.record, where, text);
    Image image = channel.drawn();
    ExpectGlyph(image, 126, 2, 4, {255, 255, 255}, kBlack);
    ExpectGlyph(image, 161, 8, 4, {255, 255, 255}, kBlack);
    ExpectGlyph(image, 255, 14, 4, {255, 255, 255}, kBlack);
    for (int x = 20; x < 32; ++x)
        for (int y = 4; y < 16; ++y) EXPECT_TRUE(Near(at(image, x, y), kBlack)) << x << "," << y;
}

// Only 0 puts a box behind the text; any other flag leaves the pixels
// between the glyphs as they were.
TEST_F(OverlayTest, OnlyTransparentTextZeroDrawsTheBox)
{
    const float pen[3] = {1, 1, 0}, back[3] = {0, 0, 1};
    channel.ops.SetPenColours(&channel.record, pen, back);
    const int32_t where[2] = {10, 20};
    for (int32_t flag : {0, 1, -1, 2, INT32_MIN}) {
        SCOPED_TRACE(flag);
        view->clearTo(0, 0, 0, 0);
        channel.ops.SetTextTransparent(&channel.record, flag);
        EXPECT_EQ(channel.record.transparentText, flag);
        channel.ops.DrawOverlayText(&channel.record, where, "A");
        ExpectGlyph(channel.drawn(), 'A', 10, 20, {255, 255, 0}, flag == 0 ? Rgb{0, 0, 255} : kBlack);
    }
}

// Any nonzero flag shows the cursor; style 0 is a cross, 1 a box, and any
// other style draws nothing.
TEST_F(OverlayTest, CursorVisibilityAndStyles)
{
    const float red[3] = {1, 0, 0};
    const int32_t where[2] = {30, 20};
    channel.ops.SetCursorPosition(&channel.record, where);
    channel.ops.SetCursorStyle(&channel.record, 0, 5, red);
    for (int32_t visible : {1, -1, 2, 0}) {
        SCOPED_TRACE(visible);
        view->clearTo(0, 0, 0, 0);
        channel.ops.SetCursorVisible(&channel.record, visible);
        EXPECT_EQ(channel.record.cursorVisible, visible);
        channel.ops.EndFrame(&channel.record);
        EXPECT_EQ(LineAt(channel.front(), 27, 20, {255, 0, 0}, false), visible != 0);
    }
    channel.ops.SetCursorVisible(&channel.record, 1);
    for (int32_t style : {0, 1, -1, 2, 3, 256, INT32_MIN}) {
        SCOPED_TRACE(style);
        view->clearTo(0, 0, 0, 0);
        channel.ops.SetCursorStyle(&channel.record, style, 5, nullptr);
        EXPECT_EQ(channel.record.cursorStyle, style);
        channel.ops.EndFrame(&channel.record);
        Image shown = channel.front();
        EXPECT_EQ(LineAt(shown, 27, 20, {255, 0, 0}, false), style == 0) << "the cross's left arm";
        EXPECT_EQ(LineAt(shown, 25, 18, {255, 0, 0}, true), style == 1) << "the box's left side";
        if (style != 0 && style != 1) {
            EXPECT_EQ(Lit(shown), 0);
        }
    }
    // A null colour keeps the cursor's colour, null pen and back colours
    // keep theirs.
    EXPECT_EQ(channel.record.cursorColour[0], 1.0f);
    EXPECT_EQ(channel.record.cursorColour[1], 0.0f);
    const float pen[3] = {0.25f, 0.5f, 0.75f};
    channel.ops.SetPenColours(&channel.record, pen, pen);
    channel.ops.SetPenColours(&channel.record, nullptr, nullptr);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(channel.record.penColour[i], pen[i]);
        EXPECT_EQ(channel.record.backColour[i], pen[i]);
    }
}

// The size is stored with its lowest bit set, whatever its sign; the cross
// then spans x - size to x + size as the size reads.
TEST_F(OverlayTest, CursorSizesOfEverySign)
{
    const struct {
        int32_t given, stored;
    } sizes[] = {{0, 1}, {1, 1}, {4, 5}, {7, 7}, {-1, -1}, {-4, -3}, {INT32_MIN, INT32_MIN + 1}, {INT32_MAX, INT32_MAX}};
    for (auto size : sizes) {
        channel.ops.SetCursorStyle(&channel.record, 0, size.given, nullptr);
        EXPECT_EQ(channel.record.cursorSize, size.stored) << size.given;
    }
    const int32_t where[2] = {30, 20};
    channel.ops.SetCursorPosition(&channel.record, where);
    channel.ops.SetCursorVisible(&channel.record, 1);
    channel.ops.SetCursorStyle(&channel.record, 0, -4, nullptr);
    recorder::Start();
    channel.ops.EndFrame(&channel.record);
    std::vector<std::vector<double>> vertices;
    for (const GlCall& call : recorder::CallsNamed("glVertex2i")) vertices.push_back({call.args[0], call.args[1]});
    EXPECT_EQ(vertices, (std::vector<std::vector<double>>{{33, 20}, {27, 20}, {30, 17}, {30, 23}}));
}

TEST_F(OverlayTest, FillPolygonSendsEveryPointOfAnyCountInOrder)
{
    std::vector<int32_t> points;
    for (int i = 0; i < 1000; ++i) {
        points.push_back(i % 64);
        points.push_back(i / 64);
    }
    for (int32_t count : {1, 2, 3, 1000}) {
        SCOPED_TRACE(count);
        recorder::Start();
        channel.ops.FillPolygon(&channel.record, count, points.data());
        EXPECT_EQ(recorder::Count("glBegin", {GL_POLYGON}), 1u);
        EXPECT_EQ(recorder::Count("glEnd"), 1u);
        std::vector<GlCall> vertices = recorder::CallsNamed("glVertex2i");
        ASSERT_EQ(vertices.size(), static_cast<size_t>(count));
        for (int32_t i = 0; i < count; ++i) {
            EXPECT_EQ(vertices[i].args[0], points[2 * i]) << i;
            EXPECT_EQ(vertices[i].args[1], points[2 * i + 1]) << i;
        }
    }
}

// One or two points enclose nothing; many points enclose their area.
TEST_F(OverlayTest, DegenerateAndManySidedPolygons)
{
    const int32_t points[4] = {10, 10, 30, 30};
    channel.ops.FillPolygon(&channel.record, 1, points);
    channel.ops.FillPolygon(&channel.record, 2, points);
    EXPECT_EQ(Lit(channel.drawn()), 0);
    std::vector<int32_t> ring;  // 360 points round (32, 24), radius 16
    for (int i = 0; i < 360; ++i) {
        double angle = i * 3.14159265358979 / 180;
        ring.push_back(static_cast<int32_t>(std::lround(32 + 16 * std::cos(angle))));
        ring.push_back(static_cast<int32_t>(std::lround(24 + 16 * std::sin(angle))));
    }
    channel.ops.FillPolygon(&channel.record, 360, ring.data());
    Image image = channel.drawn();
    for (auto [x, y] : {std::pair{32, 24}, {44, 24}, {32, 12}, {21, 33}})
        EXPECT_TRUE(Near(at(image, x, y), {255, 255, 255})) << x << "," << y;
    for (auto [x, y] : {std::pair{2, 2}, {60, 44}, {50, 24}, {32, 44}})
        EXPECT_TRUE(Near(at(image, x, y), kBlack)) << x << "," << y;
}

// The radius and the centre are unsigned: values above the signed range
// stay positive. A radius of 0 puts every vertex on the centre.
TEST_F(OverlayTest, CircleRadiusZeroAndUnsignedValues)
{
    const uint32_t centre[2] = {20, 30};
    recorder::Start();
    channel.ops.DrawCircle(&channel.record, 0, centre);
    EXPECT_EQ(recorder::Count("glVertex2f", {20, 30}), 36u);
    EXPECT_EQ(recorder::Count("glVertex2f"), 36u);

    const uint32_t distant[2] = {0x80000000u, 10};
    recorder::Start();
    channel.ops.DrawCircle(&channel.record, 0x80000000u, distant);
    std::vector<GlCall> vertices = recorder::CallsNamed("glVertex2f");
    ASSERT_EQ(vertices.size(), 36u);
    EXPECT_NEAR(vertices[0].args[0], 2147483648.0, 1024);
    EXPECT_NEAR(vertices[0].args[1], 2147483658.0, 1024) << "straight below the centre, not above";
    EXPECT_NEAR(vertices[9].args[0], 4294967296.0, 1024);
}

// Positions clamp at exactly the window's edges; in a window without
// pixels the upper bound, tested first, gives way to 0. Colours clamp
// infinities like any other value.
TEST_F(OverlayTest, SetterBoundaries)
{
    const struct {
        int32_t x, y, clampedX, clampedY;
    } positions[] = {{63, 47, 63, 47}, {64, 48, 63, 47}, {0, 0, 0, 0}, {-1, -1, 0, 0},
                     {INT32_MIN, INT32_MAX, 0, 47}, {INT32_MAX, INT32_MIN, 63, 0}};
    for (auto p : positions) {
        const int32_t where[2] = {p.x, p.y};
        channel.ops.SetCursorPosition(&channel.record, where);
        EXPECT_EQ(channel.record.cursorX, p.clampedX) << p.x;
        EXPECT_EQ(channel.record.cursorY, p.clampedY) << p.y;
    }
    const int32_t corner[2] = {63, 47};
    channel.ops.SetCursorPosition(&channel.record, corner);
    channel.ops.MoveCursor(&channel.record, 1, 1);
    EXPECT_EQ(channel.record.cursorX, 63);
    EXPECT_EQ(channel.record.cursorY, 47);
    channel.ops.MoveCursor(&channel.record, -63, -47);
    EXPECT_EQ(channel.record.cursorX, 0);
    EXPECT_EQ(channel.record.cursorY, 0);

    const Bitmap format = channel.record.frameFormat;
    channel.record.frameFormat.width = 0;
    channel.record.frameFormat.height = 0;
    const int32_t inside[2] = {5, 5};
    channel.ops.SetCursorPosition(&channel.record, inside);
    EXPECT_EQ(channel.record.cursorX, 0);
    EXPECT_EQ(channel.record.cursorY, 0);
    channel.ops.MoveCursor(&channel.record, 3, 3);
    EXPECT_EQ(channel.record.cursorX, 0);
    channel.record.frameFormat = format;

    const float extremes[3] = {INFINITY, -INFINITY, 1.0f}, edges[3] = {0.0f, 1.0000001f, 0.999f};
    channel.ops.SetPenColours(&channel.record, extremes, edges);
    EXPECT_EQ(channel.record.penColour[0], 1.0f);
    EXPECT_EQ(channel.record.penColour[1], 0.0f);
    EXPECT_EQ(channel.record.penColour[2], 1.0f);
    EXPECT_EQ(channel.record.backColour[0], 0.0f);
    EXPECT_EQ(channel.record.backColour[1], 1.0f);
    EXPECT_EQ(channel.record.backColour[2], 0.999f);
    channel.ops.SetCursorStyle(&channel.record, 0, 1, extremes);
    EXPECT_EQ(channel.record.cursorColour[0], 1.0f);
    EXPECT_EQ(channel.record.cursorColour[1], 0.0f);
}

// Id 0 is refused: the host's list gives key 0 no promise. Negative ids and
// the ends of the range are ordinary ids; unloading the current font leaves
// none current, and text then draws nothing.
TEST_F(OverlayTest, FontIdsZeroNegativeAndAtTheEnds)
{
    ChannelState* state = channel.state();
    uint32_t blocks = MMLiveBlocks();
    EXPECT_EQ(channel.ops.LoadFont(&channel.record, 0, "6x12.bdf"), 1);
    EXPECT_EQ(MMLiveBlocks(), blocks);
    channel.ops.SelectFont(&channel.record, 0);
    EXPECT_EQ(state->currentFont, nullptr);
    const int32_t where[2] = {10, 20};
    for (int32_t id : {-7, INT32_MIN, INT32_MAX, 1}) {
        SCOPED_TRACE(id);
        ASSERT_EQ(channel.ops.LoadFont(&channel.record, id, "6x12.bdf"), 0);
        auto* entry = _ZqGFindListItem(&state->fontList, id);
        ASSERT_NE(entry, nullptr);
        channel.ops.SelectFont(&channel.record, id);
        ASSERT_EQ(state->currentFont, entry);
        view->clearTo(0, 0, 0, 0);
        channel.ops.DrawOverlayText(&channel.record, where, "A");
        ExpectGlyph(channel.drawn(), 'A', 10, 20, {255, 255, 255}, kBlack);
    }
    EXPECT_EQ(channel.ops.LoadFont(&channel.record, 1, nullptr), 0);
    EXPECT_EQ(state->currentFont, nullptr);
    EXPECT_EQ(_ZqGFindListItem(&state->fontList, 1), nullptr);
    view->clearTo(0, 0, 0, 0);
    channel.ops.DrawOverlayText(&channel.record, where, "A");
    EXPECT_EQ(Lit(channel.drawn()), 0);
    for (int32_t id : {-7, INT32_MIN, INT32_MAX, -1}) EXPECT_NE(_ZqGFindListItem(&state->fontList, id), nullptr) << id;
    for (int32_t id : {-7, INT32_MIN, INT32_MAX}) EXPECT_EQ(channel.ops.LoadFont(&channel.record, id, nullptr), 0);
    EXPECT_EQ(MMLiveBlocks(), blocks);
}

// Points of lines, rectangles and polygons are signed: negative coordinates
// lie left of and above the overlay, and GL clips what lies there. Corners
// may come in either order.
TEST_F(OverlayTest, NegativeCoordinatesAndReversedCorners)
{
    const int32_t from[2] = {-10, 40}, to[2] = {20, 40};
    channel.ops.DrawLine(&channel.record, from, to);
    const int32_t corner[2] = {-5, -5}, opposite[2] = {10, 10};
    channel.ops.FillRectangle(&channel.record, corner, opposite);
    const int32_t reversedFirst[2] = {60, 20}, reversedSecond[2] = {50, 10};
    channel.ops.FillRectangle(&channel.record, reversedFirst, reversedSecond);
    const int32_t triangle[6] = {40, -20, 40, 30, -20, -20};
    channel.ops.FillPolygon(&channel.record, 3, triangle);
    Image image = channel.drawn();
    EXPECT_TRUE(LineAt(image, 2, 40, {255, 255, 255}, false)) << "the visible part of the line";
    EXPECT_TRUE(Near(at(image, 2, 2), {255, 255, 255})) << "the rectangle reaching past the corner";
    EXPECT_TRUE(Near(at(image, 12, 12), kBlack));
    EXPECT_TRUE(Near(at(image, 55, 15), {255, 255, 255})) << "corners in reverse order";
    EXPECT_TRUE(Near(at(image, 30, 2), {255, 255, 255})) << "the polygon reaching past the top";
    EXPECT_TRUE(Near(at(image, 10, 20), kBlack)) << "outside the triangle";
    EXPECT_TRUE(Near(at(image, 30, 30), kBlack));
}

}  // namespace
