// The overlay on the real GL: fonts, text, cursor and primitives, the state
// it saves and restores, and its setters.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>

#include "overlay/bdf_font.h"
#include "overlay/overlay.h"
#include "recorder/gl_recorder.h"
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
    std::string directory = testing::TempDir();
    std::string path = directory + "/Tiny.bdf";
    std::ofstream(path) << "FONTBOUNDINGBOX 8 2\nENCODING 65\nBITMAP\nff\n81\nENDCHAR\n";
    ZqFAddSearchDirectory(directory.c_str());
    ChannelState* state = channel.state();

    EXPECT_EQ(channel.ops.LoadFont(&channel.record, 3, "Tiny.bdf"), 0);
    auto* entry = static_cast<FontEntry*>(_ZqGFindListItem(&state->fontList, 3));
    ASSERT_NE(entry, nullptr);
    BitmapFont* first = entry->font;
    std::remove(path.c_str());
    EXPECT_EQ(channel.ops.LoadFont(&channel.record, 3, "TINY.BDF"), 0) << "the same name in any case is not read again";
    EXPECT_EQ(entry->font, first);
    channel.ops.SelectFont(&channel.record, 3);
    EXPECT_EQ(state->currentFont, entry);

    // Another name replaces the font in the same entry; the selection follows.
    EXPECT_EQ(channel.ops.LoadFont(&channel.record, 3, "6x12.bdf"), 0);
    EXPECT_EQ(_ZqGFindListItem(&state->fontList, 3), entry);
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
    EXPECT_EQ(channel.ops.LoadFont(&channel.record, 4, "6x12.bdf"), 0);
    EXPECT_EQ(channel.ops.LoadFont(&channel.record, 5, "6x12.bdf"), 0);
    EXPECT_NE(static_cast<FontEntry*>(_ZqGFindListItem(&state->fontList, 4))->font,
              static_cast<FontEntry*>(_ZqGFindListItem(&state->fontList, 5))->font);
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

}  // namespace
