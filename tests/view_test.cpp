// Views: lifecycle, render mode, per-frame set-up and read-back, on the real
// GL and with the call recorder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <numbers>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "driver/probe.h"
#include "recorder/gl_recorder.h"
#include "support/test_texture.h"
#include "support/test_view.h"

namespace {

class ViewTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        recorder::Stop();
        MMFailNthAllocation(0);
    }
};

// Draws a quad of host eye coordinates (z into the scene) in one colour,
// under the modelview the driver keeps (the z mirror).
void DrawQuad(float x0, float y0, float x1, float y1, float z, const float normal[3] = nullptr)
{
    glMatrixMode(GL_MODELVIEW);
    glBegin(GL_QUADS);
    if (normal != nullptr) glNormal3fv(normal);
    glVertex3f(x0, y0, z);
    glVertex3f(x1, y0, z);
    glVertex3f(x1, y1, z);
    glVertex3f(x0, y1, z);
    glEnd();
}

Rgb PixelOf(const Bitmap& bitmap, uint32_t x, uint32_t y)
{
    const auto* p = static_cast<const uint8_t*>(bitmap.pixels) + y * bitmap.bytesPerLine + x * 4;
    return {p[0], p[1], p[2]};
}

TEST_F(ViewTest, OpenHandsOverTheTableAndCloseTakesEverythingBack)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    uint32_t blocks = MMLiveBlocks();
    {
        TestView view(channel, 0, 0, 64, 48);
        ASSERT_EQ(view.status, 0);
        EXPECT_EQ(view.descriptor.ops, &view.ops);
        EXPECT_EQ(view.descriptor.renderMode, -1);
        ViewOps expected = kViewOps;
        expected.DrawPolygons = kRendererTable[0];
        EXPECT_EQ(std::memcmp(&view.ops, &expected, sizeof expected), 0);
        ViewState* state = view.state();
        ASSERT_NE(state, nullptr);
        EXPECT_EQ(state->lineMode, 1);
        EXPECT_EQ(state->backgroundKind, 0);
        EXPECT_EQ(state->backdrop, nullptr);
        EXPECT_EQ(state->clearRoutine, &PlainClear);
        EXPECT_TRUE(glIsList(state->displayList));
        auto* item = static_cast<ViewDescriptor**>(_ZqGFindListItem(&channel.state()->viewList, state->listKey));
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(*item, &view.descriptor);

        GLuint list = state->displayList;
        EXPECT_EQ(view.ops.CloseView(&view.record), 0);
        EXPECT_EQ(view.descriptor.state, nullptr);
        EXPECT_FALSE(glIsList(list));
        EXPECT_EQ(_ZqGFirstListItem(&channel.state()->viewList), nullptr);
    }
    EXPECT_EQ(MMLiveBlocks(), blocks);
}

TEST_F(ViewTest, ClosingTheChannelReleasesViewsLeftOpen)
{
    uint32_t blocks = MMLiveBlocks();
    ViewDescriptor descriptor{};
    {
        TestChannel channel;
        ASSERT_EQ(channel.open(), 0);
        ViewRecord record{nullptr, nullptr, 0, &descriptor, &channel.record};
        ViewOps ops{};
        ASSERT_EQ(channel.ops.OpenView(&record, &ops), 0);
        ASSERT_NE(descriptor.state, nullptr);
        channel.close();
    }
    EXPECT_EQ(descriptor.state, nullptr);
    EXPECT_EQ(MMLiveBlocks(), blocks);
}

TEST_F(ViewTest, OpenFailsCleanlyWhenMemoryRunsOut)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    uint32_t blocks = MMLiveBlocks();
    for (uint32_t n : {1u, 2u}) {
        SCOPED_TRACE(n);
        ViewDescriptor descriptor{};
        descriptor.renderMode = 77;
        ViewRecord record{nullptr, nullptr, 0, &descriptor, &channel.record};
        ViewOps ops{};
        MMFailNthAllocation(n);
        EXPECT_EQ(channel.ops.OpenView(&record, &ops), 1);
        EXPECT_EQ(descriptor.state, nullptr);
        EXPECT_EQ(descriptor.ops, nullptr);
        EXPECT_EQ(descriptor.renderMode, 77);
        EXPECT_EQ(ops.BeginView, nullptr);
        EXPECT_EQ(MMLiveBlocks(), blocks);
        EXPECT_EQ(_ZqGFirstListItem(&channel.state()->viewList), nullptr);
    }
}

TEST_F(ViewTest, ClearedViewReadsBackInItsColourBottomRowFirst)
{
    TestChannel channel(64, 48);
    ASSERT_EQ(channel.open(), 0);
    TestView whole(channel, 0, 0, 64, 48), bottom(channel, 0, 0, 64, 10);
    whole.clearTo(1, 0, 0);
    bottom.clearTo(0, 1, 0);

    uint32_t blocks = MMLiveBlocks();
    Bitmap bitmap;
    std::memset(&bitmap, 0xCC, sizeof bitmap);
    ASSERT_EQ(whole.ops.ReadPixels(&whole.record, &bitmap), 0);
    EXPECT_EQ(MMLiveBlocks(), blocks + 1);
    EXPECT_EQ(bitmap.width, 64u);
    EXPECT_EQ(bitmap.height, 48u);
    EXPECT_EQ(bitmap.bytesPerLine, 256u);
    EXPECT_EQ(bitmap.bitsPerPixel, 32u);
    EXPECT_EQ(bitmap.bytesPerPixel, 4u);
    EXPECT_EQ(bitmap.redMask, 0xFFu);
    EXPECT_EQ(bitmap.redShift, 0u);
    EXPECT_EQ(bitmap.redBits, 8u);
    EXPECT_EQ(bitmap.greenMask, 0xFF00u);
    EXPECT_EQ(bitmap.greenShift, 8u);
    EXPECT_EQ(bitmap.blueMask, 0xFF0000u);
    EXPECT_EQ(bitmap.blueShift, 16u);
    EXPECT_EQ(bitmap.blueBits, 8u);
    EXPECT_EQ(bitmap.spare, 0u);
    // Both views are in line mode until a mode is set: clearTo set unlit fill.
    EXPECT_TRUE(Near(PixelOf(bitmap, 0, 0), {0, 255, 0})) << "row 0 is the bottom row";
    EXPECT_TRUE(Near(PixelOf(bitmap, 63, 9), {0, 255, 0}));
    EXPECT_TRUE(Near(PixelOf(bitmap, 0, 10), {255, 0, 0}));
    EXPECT_TRUE(Near(PixelOf(bitmap, 63, 47), {255, 0, 0}));
    uint32_t word;
    std::memcpy(&word, static_cast<uint8_t*>(bitmap.pixels) + 47 * 256, 4);
    EXPECT_EQ(word & bitmap.redMask, 0xFFu);
    EXPECT_EQ(word & (bitmap.greenMask | bitmap.blueMask), 0u);
    MMfree(bitmap.pixels);
}

TEST_F(ViewTest, ReadPixelsRefusesWhatCannotBeAllocated)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 320, 200);
    uint32_t blocks = MMLiveBlocks();
    Bitmap bitmap{};
    MMFailNthAllocation(1);
    EXPECT_EQ(view.ops.ReadPixels(&view.record, &bitmap), 1);
    EXPECT_EQ(bitmap.pixels, nullptr);
    EXPECT_EQ(bitmap.bytesPerLine, 1280u);
    EXPECT_EQ(bitmap.blueMask, 0xFF0000u);
    EXPECT_EQ(MMLiveBlocks(), blocks);

    // A line length beyond 32 bits is refused without an allocation.
    view.ops.SetViewSize(&view.record, 0x40000000u, 2);
    uint32_t allocations = MMAllocationCount();
    EXPECT_EQ(view.ops.ReadPixels(&view.record, &bitmap), 1);
    EXPECT_EQ(bitmap.pixels, nullptr);
    EXPECT_EQ(MMAllocationCount(), allocations);
}

TEST_F(ViewTest, SideBySideViewsClearOnlyTheirRectangles)
{
    TestChannel channel(128, 48);
    ASSERT_EQ(channel.open(), 0);
    TestView left(channel, 0, 0, 64, 48), right(channel, 64, 0, 64, 48);
    // A full-window clear first, so that untouched pixels show.
    TestView all(channel, 0, 0, 128, 48);
    all.clearTo(0, 0, 0);
    BackgroundRecord red{0, {1, 0, 0}, 0}, blue{0, {0, 0, 1}, 0};
    left.ops.SetBackground(&left.record, &red);
    left.begin(ZQGD_CLEAR_COLOUR);  // no mode yet: line mode, one column narrower
    right.ops.SetBackground(&right.record, &blue);
    right.ops.SetRenderMode(&right.record, ZQGD_MODE_UNLIT);
    right.begin(ZQGD_CLEAR_COLOUR);
    channel.ops.EndFrame(&channel.record);
    Image shown = channel.front();
    EXPECT_TRUE(Near(shown.at(0, 0), {255, 0, 0}));
    EXPECT_TRUE(Near(shown.at(62, 47), {255, 0, 0}));
    EXPECT_TRUE(Near(shown.at(63, 20), {0, 0, 0})) << "line mode leaves the rightmost column";
    EXPECT_TRUE(Near(shown.at(64, 0), {0, 0, 255}));
    EXPECT_TRUE(Near(shown.at(127, 47), {0, 0, 255})) << "filled mode clears the whole view";
}

TEST_F(ViewTest, ScissorAndViewportFollowTheLineMode)
{
    TestChannel channel(300, 100);
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 10, 5, 200, 50);
    recorder::Start();
    view.begin(0);
    EXPECT_EQ(recorder::Count("glScissor", {10, 5, 199, 50}), 1u);
    EXPECT_EQ(recorder::Count("glViewport", {10, 5, 200, 50}), 1u);
    EXPECT_EQ(recorder::Count("glClear"), 0u);
    view.ops.SetRenderMode(&view.record, 0);
    recorder::Start();
    view.begin(ZQGD_CLEAR_DEPTH);
    EXPECT_EQ(recorder::Count("glScissor", {10, 5, 200, 50}), 1u);
    EXPECT_EQ(recorder::Count("glCallList", {double(view.state()->displayList)}), 1u);
    EXPECT_EQ(recorder::Count("glClear", {GL_DEPTH_BUFFER_BIT}), 1u);
    EXPECT_EQ(recorder::Count("wglMakeCurrent", {1}), 1u) << "BeginView always binds the context";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ViewTest, RenderModeSelectsTheRendererIndex)
{
    EXPECT_EQ(RendererIndex(0, false), 8);
    EXPECT_EQ(RendererIndex(0, true), 10);
    EXPECT_EQ(RendererIndex(0x211, false), 1);
    EXPECT_EQ(RendererIndex(0x211, true), 3);
    EXPECT_EQ(RendererIndex(0x8 | 0x2, false), 4);
    EXPECT_EQ(RendererIndex(0x8 | 0x2, true), 6);
    EXPECT_EQ(RendererIndex(0x10 | 0x2, true), 7);
    EXPECT_EQ(RendererIndex(0x7 | 0x10, false), 9);
    EXPECT_EQ(RendererIndex(0x18 | 0x1, false), 0) << "point and line bits together mean filled";
}

TEST_F(ViewTest, RenderModeCompilesItsStateOnceAndInstallsTheRenderer)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    bool arrays = capabilities.vertexPointer != nullptr || capabilities.vertexPointerExt != nullptr;

    recorder::Start();
    EXPECT_EQ(view.ops.SetRenderMode(&view.record, 0x211), 0);
    EXPECT_EQ(recorder::Names(), (std::vector<std::string>{"glNewList", "glShadeModel", "glPolygonMode", "glEndList"}))
        << "depth off while the cached flag is already off records nothing";
    EXPECT_EQ(recorder::Count("glShadeModel", {GL_FLAT}), 1u);
    EXPECT_EQ(recorder::Count("glPolygonMode", {GL_FRONT_AND_BACK, GL_LINE}), 1u);
    EXPECT_EQ(view.descriptor.renderMode, 0x211);
    EXPECT_EQ(view.state()->lineMode, 1);
    EXPECT_EQ(view.ops.DrawPolygons, kRendererTable[RendererIndex(0x211, arrays)]);

    recorder::Start();
    view.ops.SetRenderMode(&view.record, 0x211);
    EXPECT_TRUE(recorder::Calls().empty()) << "an unchanged mode makes no GL call";

    recorder::Start();
    view.ops.SetRenderMode(&view.record, 0x408 | 0x2);
    EXPECT_EQ(recorder::Count("glEnable", {GL_DEPTH_TEST}), 1u);
    EXPECT_EQ(recorder::Count("glPolygonMode", {GL_FRONT_AND_BACK, GL_POINT}), 1u);
    EXPECT_EQ(channel.state()->depthTestEnabled, 1);
    EXPECT_EQ(view.state()->lineMode, 0);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST)) << "the list is compiled and executed";

    // Only bit 12 changes: the list is compiled again with the same content,
    // and depth on is not recorded again while the flag is already on.
    recorder::Start();
    view.ops.SetRenderMode(&view.record, 0x1408 | 0x2);
    EXPECT_EQ(recorder::Names(), (std::vector<std::string>{"glNewList", "glShadeModel", "glPolygonMode", "glEndList"}));
    EXPECT_EQ(recorder::Count("glNewList", {double(view.state()->displayList), GL_COMPILE_AND_EXECUTE}), 1u);

    // A replay restores what the list holds.
    glShadeModel(GL_SMOOTH);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    view.begin(0);
    GLint modes[2];
    glGetIntegerv(GL_POLYGON_MODE, modes);
    EXPECT_EQ(modes[0], GL_POINT);
    GLint shade;
    glGetIntegerv(GL_SHADE_MODEL, &shade);
    EXPECT_EQ(shade, GL_FLAT);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ViewTest, QueryPairAndSettersTouchNoGl)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    TestChannel other;
    ASSERT_EQ(other.open(), 0);
    recorder::Start();
    int32_t pair[2] = {5, 5};
    view.ops.QueryPair(&view.record, pair);
    EXPECT_EQ(pair[0], -1);
    EXPECT_EQ(pair[1], -1);
    EXPECT_EQ(view.ops.SetViewPosition(&view.record, 3, 4), 0);
    EXPECT_EQ(view.ops.SetViewSize(&view.record, 30, 40), 0);
    EXPECT_TRUE(recorder::Calls().empty());
}

TEST_F(ViewTest, OverlayExtentCoversTheViews)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    {
        TestView view(channel, 10, 20, 300, 200);
        EXPECT_EQ(channel.state()->overlayWidth, 310u);
        EXPECT_EQ(channel.state()->overlayHeight, 220u);
    }
    EXPECT_EQ(channel.state()->overlayWidth, 310u) << "closing a view does not recompute the extent";
    TestView left(channel, 0, 0, 320, 240);
    TestView right(channel, 320, 0, 320, 240);
    EXPECT_EQ(channel.state()->overlayWidth, 640u);
    EXPECT_EQ(channel.state()->overlayHeight, 240u);
    right.ops.SetViewSize(&right.record, 100, 100);
    EXPECT_EQ(channel.state()->overlayWidth, 420u);
    EXPECT_EQ(channel.state()->overlayHeight, 240u);
}

TEST_F(ViewTest, ProjectionsFollowTheViewDescriptor)
{
    TestChannel channel(640, 480);
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 640, 480);
    recorder::Start();
    view.begin(0);
    ASSERT_EQ(recorder::Count("gluPerspective"), 1u);
    const GlCall* perspective = nullptr;
    for (const GlCall& call : recorder::Calls())
        if (call.name == "gluPerspective") perspective = &call;
    ASSERT_NE(perspective, nullptr);
    EXPECT_NEAR(perspective->args[0], 42.971835, 1e-4);
    EXPECT_NEAR(perspective->args[1], 1.3333333, 1e-6);
    EXPECT_NEAR(perspective->args[2], 0.1, 1e-6);
    EXPECT_NEAR(perspective->args[3], 100.0, 1e-6);

    view.ops.SetViewSize(&view.record, 100, 400);
    recorder::Start();
    view.begin(0);
    perspective = nullptr;  // the record it pointed into is gone
    for (const GlCall& call : recorder::Calls())
        if (call.name == "gluPerspective") perspective = &call;
    ASSERT_NE(perspective, nullptr);
    EXPECT_NEAR(perspective->args[0], 178.2, 1e-4);
    EXPECT_NEAR(perspective->args[1], 0.3215251, 1e-6);

    view.descriptor.orthographic = 1;
    view.descriptor.orthoHalfWidth = 10;
    view.descriptor.orthoHalfHeight = 5;
    recorder::Start();
    view.begin(0);
    EXPECT_EQ(recorder::Count("glOrtho", {-10, 10, -5, 5}), 1u);
    EXPECT_EQ(recorder::Count("gluPerspective"), 0u);
}

TEST_F(ViewTest, ProjectionsPutAKnownVertexOnItsPixel)
{
    TestChannel channel(640, 480);
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 640, 480);
    view.clearTo(0, 0, 0);
    // Perspective: a vertex on the axis lands in the centre; one at x = z
    // tan(a) lands where the vertical angle, scaled from the horizontal one,
    // puts it: x_ndc = x / (z tan(fovy / 2) aspect).
    double fovy = 1.0 * 0.75 * 57.29578 * std::numbers::pi / 180.0;
    double aspect = 640.0 / 480.0;
    double xNdc = 1.0 / (4.0 * std::tan(fovy / 2) * aspect);
    glDisable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    DrawQuad(-0.01f, -0.01f, 0.01f, 0.01f, 4.0f);
    DrawQuad(0.99f, -0.01f, 1.01f, 0.01f, 4.0f);
    Image drawn = channel.drawn();
    EXPECT_TRUE(Near(drawn.at(320, 240), {255, 255, 255}));
    int expectedX = static_cast<int>((xNdc + 1) / 2 * 640);
    EXPECT_TRUE(Near(drawn.at(expectedX, 240), {255, 255, 255})) << expectedX;
    EXPECT_TRUE(Near(drawn.at(expectedX + 4, 240), {0, 0, 0}));

    // Orthographic: half sizes 10 x 5 over 640 x 480 pixels.
    view.descriptor.orthographic = 1;
    view.descriptor.orthoHalfWidth = 10;
    view.descriptor.orthoHalfHeight = 5;
    view.begin(ZQGD_CLEAR_COLOUR);
    DrawQuad(4.9f, 2.4f, 5.1f, 2.6f, 1.0f);
    drawn = channel.drawn();
    EXPECT_TRUE(Near(drawn.at(480, 360), {255, 255, 255}));
    EXPECT_TRUE(Near(drawn.at(470, 360), {0, 0, 0}));
    glEnable(GL_TEXTURE_2D);
}

Environment MakeEnvironment(std::vector<LightRecord>& lights)
{
    Environment environment{};
    environment.lights = lights.data();
    environment.lightCount = static_cast<uint32_t>(lights.size());
    return environment;
}

TEST_F(ViewTest, LightsAreConfiguredUnderTheViewingMatrix)
{
    TestChannel channel(64, 32);
    ASSERT_EQ(channel.open(), 0);
    // One light shining towards -x: it comes from +x.
    std::vector<LightRecord> lights(1);
    lights[0].type = 0;
    lights[0].direction[0] = -1;
    lights[0].colour[0] = lights[0].colour[1] = lights[0].colour[2] = 1;
    Environment environment = MakeEnvironment(lights);
    TestView view(channel, 0, 0, 64, 32);
    view.record.environment = &environment;
    view.ops.SetEnvironment(&view.record);
    view.clearTo(0, 0, 0, 0);
    view.descriptor.orthographic = 1;
    view.descriptor.orthoHalfWidth = 2;
    view.descriptor.orthoHalfHeight = 1;
    view.begin(ZQGD_CLEAR_COLOUR);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_LIGHTING);
    const GLfloat white[4] = {1, 1, 1, 1};
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
    const float facingLight[3] = {1, 0, 0}, facingAway[3] = {-1, 0, 0};
    DrawQuad(-2, -1, 0, 1, 1, facingLight);
    DrawQuad(0, -1, 2, 1, 1, facingAway);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    Image drawn = channel.drawn();
    EXPECT_GT(drawn.at(16, 16).red, 200) << "the side facing the light is lit";
    EXPECT_LT(drawn.at(48, 16).red, 30) << "the other side is dark";

    // A viewing matrix that turns the world half round (180 degrees about y)
    // turns the light with it.
    const float turned[12] = {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0};
    view.ops.BeginView(&view.record, 0, turned, ZQGD_CLEAR_COLOUR);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_LIGHTING);
    DrawQuad(-2, -1, 0, 1, 1, facingLight);
    DrawQuad(0, -1, 2, 1, 1, facingAway);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    drawn = channel.drawn();
    EXPECT_LT(drawn.at(16, 16).red, 30);
    EXPECT_GT(drawn.at(48, 16).red, 200);
}

TEST_F(ViewTest, NineLightsConfigureAndEnableSevenOnly)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    std::vector<LightRecord> lights(9);
    lights[0].type = 1;
    lights[0].linearAttenuation = 0.25f;
    lights[1].type = 2;
    lights[1].spotCutoff = 0.5f;
    lights[2].type = 7;
    Environment environment = MakeEnvironment(lights);
    TestView view(channel, 0, 0, 64, 48);
    view.record.environment = &environment;
    recorder::Start();
    view.ops.SetEnvironment(&view.record);
    view.begin(0);
    for (GLenum light = GL_LIGHT0; light < GL_LIGHT7; ++light) {
        EXPECT_EQ(recorder::Count("glEnable", {double(light)}), 1u);
        EXPECT_EQ(recorder::Count("glLightfv", {double(light), GL_DIFFUSE}), 1u);
    }
    EXPECT_EQ(recorder::Count("glDisable", {GL_LIGHT7}), 1u);
    EXPECT_EQ(recorder::Count("glEnable", {GL_LIGHT7}), 0u);
    EXPECT_EQ(recorder::Count("glLightfv", {GL_LIGHT7}), 0u);
    EXPECT_EQ(recorder::Count("glLightf", {GL_LIGHT0, GL_SPOT_CUTOFF, 180}), 1u);
    EXPECT_EQ(recorder::Count("glLightf", {GL_LIGHT0, GL_LINEAR_ATTENUATION, 0.25}), 1u);
    EXPECT_EQ(recorder::Count("glLightf", {GL_LIGHT1, GL_SPOT_CUTOFF}), 1u);
    for (const GlCall& call : recorder::Calls()) {
        if (call.name == "glLightf" && call.args[0] == GL_LIGHT1 && call.args[1] == GL_SPOT_CUTOFF) {
            EXPECT_NEAR(call.args[2], 28.64789, 1e-4);
        }
    }
    EXPECT_EQ(recorder::Count("glLightfv", {GL_LIGHT2, GL_POSITION}), 0u) << "a colour-only light has no position";
    EXPECT_TRUE(glIsEnabled(GL_LIGHT6));
    EXPECT_FALSE(glIsEnabled(GL_LIGHT7));

    // Without an environment every light goes off and fog stays as it was.
    channel.state()->fogEnabled = 1;
    glEnable(GL_FOG);
    view.record.environment = nullptr;
    recorder::Start();
    view.ops.SetEnvironment(&view.record);
    view.begin(0);
    EXPECT_EQ(recorder::Count("glDisable"), 8u);
    EXPECT_EQ(recorder::Count("glLightfv"), 0u);
    EXPECT_TRUE(glIsEnabled(GL_FOG));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ViewTest, LinearFogBlendsTowardsTheFogColour)
{
    TestChannel channel(32, 32);
    ASSERT_EQ(channel.open(), 0);
    std::vector<LightRecord> none;
    Environment environment = MakeEnvironment(none);
    environment.fogMode = 1;
    environment.fogStart = 1;
    environment.fogEnd = 3;
    environment.fogColour[2] = 1;
    TestView view(channel, 0, 0, 32, 32);
    view.record.environment = &environment;
    recorder::Start();
    view.ops.SetEnvironment(&view.record);
    view.ops.SetEnvironment(&view.record);
    EXPECT_EQ(recorder::Count("glEnable", {GL_FOG}), 1u) << "switched through the cached flag";
    EXPECT_EQ(channel.state()->fogEnabled, 1);
    view.clearTo(0, 0, 0);
    glDisable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    DrawQuad(-10, -10, 10, 10, 2.0f);  // halfway between start and end
    glEnable(GL_TEXTURE_2D);
    EXPECT_TRUE(Near(channel.drawn().at(16, 16), {128, 128, 255}, 3));

    environment.fogMode = 0;
    recorder::Start();
    view.ops.SetEnvironment(&view.record);
    EXPECT_EQ(recorder::Count("glDisable", {GL_FOG}), 1u);
    EXPECT_FALSE(glIsEnabled(GL_FOG));
}

TEST_F(ViewTest, BackgroundColourIsClampedAndGoesToItsChannel)
{
    TestChannel first(32, 32), second(32, 32);
    ASSERT_EQ(first.open(), 0);
    ASSERT_EQ(second.open(), 0);
    TestView view(first, 0, 0, 32, 32);
    BackgroundRecord background{0, {1.5f, -0.2f, 0.5f}, 0};
    second.ops.EndFrame(&second.record);  // the other channel is current
    view.ops.SetBackground(&view.record, &background);
    EXPECT_EQ(view.state()->backgroundColour[0], 1.0f);
    EXPECT_EQ(view.state()->backgroundColour[1], 0.0f);
    EXPECT_EQ(view.state()->backgroundColour[2], 0.5f);
    GLfloat colour[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, colour);
    EXPECT_EQ(colour[0], 1.0f);
    EXPECT_EQ(colour[2], 0.5f);
    MakeChannelCurrent(second.state());
    glGetFloatv(GL_COLOR_CLEAR_VALUE, colour);
    EXPECT_EQ(colour[0], 0.0f) << "the other channel's clear colour is untouched";

    background.colour[0] = std::nanf("");
    view.ops.SetBackground(&view.record, &background);
    EXPECT_EQ(view.state()->backgroundColour[0], 0.0f);
}

TEST_F(ViewTest, CloseDeletesTheListOfItsOwnChannel)
{
    TestChannel first, second;
    ASSERT_EQ(first.open(), 0);
    ASSERT_EQ(second.open(), 0);
    TestView mine(first, 0, 0, 32, 32);
    TestView theirs(second, 0, 0, 32, 32);
    GLuint myList = mine.state()->displayList, theirList = theirs.state()->displayList;
    ASSERT_EQ(myList, theirList) << "both contexts hand out the same first name";
    theirs.ops.SetRenderMode(&theirs.record, 0);
    mine.ops.CloseView(&mine.record);
    MakeChannelCurrent(second.state());
    EXPECT_TRUE(glIsList(theirList));
    MakeChannelCurrent(first.state());
    EXPECT_FALSE(glIsList(myList));
}

// ---- Details a host relies on ------------------------------------------------

// The host binds the table by slot: each slot of the view's copy runs its
// own operation, seen by what it does.
TEST_F(ViewTest, EverySlotOfTheViewsTableRunsItsOperation)
{
    TestChannel channel(64, 48);
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    ViewOps& ops = view.ops;
    ViewRecord* record = &view.record;
    for (auto empty : {ops.empty1, ops.empty7, ops.empty8, ops.empty9, ops.empty10}) EXPECT_EQ(empty, nullptr);
    EXPECT_EQ(ops.DrawPolygons, kRendererTable[0]);  // 3

    LightRecord light{};
    light.type = 0;
    light.direction[2] = 1;
    Environment environment{};
    environment.lights = &light;
    environment.lightCount = 1;
    record->environment = &environment;
    ops.SetEnvironment(record);  // 0
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));

    EXPECT_EQ(ops.SetRenderMode(record, 0x12), 0);  // 4
    EXPECT_EQ(view.descriptor.renderMode, 0x12);
    EXPECT_NE(ops.DrawPolygons, kRendererTable[0]);

    int32_t pair[2] = {0, 0};
    ops.QueryPair(record, pair);  // 5
    EXPECT_EQ(pair[0], -1);

    BackgroundRecord background{0, {0, 1, 0}, 0};
    ops.SetBackground(record, &background);  // 12
    EXPECT_EQ(view.state()->backgroundColour[1], 1.0f);

    recorder::Start();
    static const float identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    ops.BeginView(record, 0, identity, ZQGD_CLEAR_COLOUR);  // 11
    EXPECT_EQ(recorder::Count("glViewport"), 1u);
    recorder::Stop();

    Bitmap bitmap{};
    EXPECT_EQ(ops.ReadPixels(record, &bitmap), 0);  // 6
    ASSERT_NE(bitmap.pixels, nullptr);
    EXPECT_TRUE(Near(PixelOf(bitmap, 5, 5), {0, 255, 0}));
    MMfree(bitmap.pixels);

    std::vector<uint8_t> texels(128 * 16 * 4, 255);
    TextureDefinition definition{};
    definition.image = {texels.data(), 512, 128, 16, 32, 4, 0xFF, 0, 8, 0xFF00, 8, 8, 0xFF0000, 16, 8, 0};
    definition.operation = ZQGD_DEFINE_BACKDROP;
    definition.angularWidth = 1;
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 5, &definition, 1), 0);
    BackgroundRecord backdrop{1, {0, 0, 0}, 5};
    ops.SetBackground(record, &backdrop);
    ops.SetBackdropAngles(record, 0.0f, 0.5f);  // 13
    EXPECT_NE(view.state()->backdropX, 0);

    ops.SetViewPosition(record, 3, 4);  // 14
    EXPECT_EQ(view.descriptor.x, 3);
    EXPECT_EQ(view.descriptor.y, 4);
    ops.SetViewSize(record, 30, 20);  // 15
    EXPECT_EQ(view.descriptor.width, 30u);
    EXPECT_EQ(view.descriptor.height, 20u);

    EXPECT_EQ(ops.CloseView(record), 0);  // 2
    EXPECT_EQ(view.descriptor.state, nullptr);
}

TEST_F(ViewTest, BeginViewLoadsTheViewingMatrixAndEveryLightParameter)
{
    TestChannel channel(64, 48);
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    LightRecord lights[3]{};
    lights[0].type = 0;
    lights[0].direction[2] = 1;
    lights[1].type = 1;
    lights[1].position[0] = 1;
    lights[1].position[1] = 2;
    lights[1].position[2] = 3;
    lights[1].linearAttenuation = 0.5f;
    lights[2].type = 2;
    lights[2].position[2] = 7;
    lights[2].direction[0] = 0.6f;
    lights[2].direction[2] = 0.8f;
    lights[2].spotCutoff = 0.5f;
    lights[2].colour[0] = 0.25f;
    lights[2].colour[1] = 0.5f;
    lights[2].colour[2] = 0.75f;
    Environment environment{};
    environment.ambient[0] = 0.1f;
    environment.ambient[1] = 0.2f;
    environment.ambient[2] = 0.3f;
    environment.lights = lights;
    environment.lightCount = 3;
    view.record.environment = &environment;
    view.descriptor.orthographic = 1;
    view.descriptor.orthoHalfWidth = 10;
    view.descriptor.orthoHalfHeight = 8;
    view.descriptor.nearPlane = 2;
    view.descriptor.farPlane = 50;
    // Rows of a 3 x 4 matrix: not symmetric, with a translation column.
    const float viewing[12] = {0, 1, 0, 4, -1, 0, 0, 5, 0, 0, 2, 6};
    recorder::Start();
    view.ops.BeginView(&view.record, 0, viewing, ZQGD_CLEAR_COLOUR);
    std::vector<GlCall> multiplied = recorder::CallsNamed("glMultMatrixf");
    ASSERT_EQ(multiplied.size(), 1u);
    EXPECT_EQ(multiplied[0].args, (std::vector<double>{0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 2, 0, 4, 5, 6, 1}));
    EXPECT_EQ(recorder::Count("glLightfv", {GL_LIGHT1, GL_POSITION, 1, 2, 3, 1}), 1u) << "w = 1";
    EXPECT_EQ(recorder::Count("glLightfv", {GL_LIGHT2, GL_POSITION, 0, 0, 7, 1}), 1u);
    EXPECT_EQ(recorder::Count("glLightfv", {GL_LIGHT2, GL_SPOT_DIRECTION, 0.6f, 0, 0.8f}), 1u);
    EXPECT_EQ(recorder::Count("glLightfv", {GL_LIGHT2, GL_SPECULAR, 0.25, 0.5, 0.75, 1}), 1u);
    EXPECT_EQ(recorder::Count("glLightfv", {GL_LIGHT2, GL_DIFFUSE, 0.25, 0.5, 0.75, 1}), 1u);
    EXPECT_EQ(recorder::Count("glLightModelfv", {GL_LIGHT_MODEL_AMBIENT, 0.1f, 0.2f, 0.3f, 1}), 1u);
    EXPECT_EQ(recorder::Count("glOrtho", {-10, 10, -8, 8, 2, 50}), 1u);
    // The render-mode list is replayed before the clear.
    std::vector<std::string> names = recorder::Names();
    auto list = std::find(names.begin(), names.end(), "glCallList");
    auto clear = std::find(names.begin(), names.end(), "glClear");
    ASSERT_NE(list, names.end());
    ASSERT_NE(clear, names.end());
    EXPECT_LT(list - names.begin(), clear - names.begin());
}

TEST_F(ViewTest, OperationsOfAViewMakeItsChannelCurrent)
{
    TestChannel channel(32, 32), other(32, 32);
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 32, 32);
    ASSERT_EQ(other.open(), 0);
    Environment environment{};
    view.record.environment = &environment;
    auto expectCurrent = [&](const char* operation) { ExpectCurrentThenYield(channel, other, operation); };
    MakeChannelCurrent(other.state());
    view.ops.SetEnvironment(&view.record);
    expectCurrent("SetEnvironment");
    view.ops.SetRenderMode(&view.record, 2);
    expectCurrent("SetRenderMode");
    Bitmap bitmap{};
    ASSERT_EQ(view.ops.ReadPixels(&view.record, &bitmap), 0);
    MMfree(bitmap.pixels);
    expectCurrent("ReadPixels");
}

TEST_F(ViewTest, DepthOffModeSwitchesTheDepthTestOffWhileItIsOn)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    view.ops.SetRenderMode(&view.record, ZQGD_MODE_DEPTH_ON);
    ASSERT_EQ(channel.state()->depthTestEnabled, 1);
    recorder::Start();
    view.ops.SetRenderMode(&view.record, ZQGD_MODE_DEPTH_OFF);
    EXPECT_EQ(recorder::Count("glDisable", {GL_DEPTH_TEST}), 1u);
    EXPECT_EQ(channel.state()->depthTestEnabled, 0);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
}

// A backdrop image of the given colour, size and angles under id 5.
struct TestBackdrop {
    std::vector<uint8_t> texels;
    TextureDefinition definition{};
    TestBackdrop(TestChannel& channel, uint32_t width, uint32_t height, uint32_t rgba, float horizontal = 0,
                 float vertical = 0, float angularWidth = 1)
        : texels(size_t{width} * height * 4)
    {
        for (size_t i = 0; i < texels.size(); ++i) texels[i] = static_cast<uint8_t>(rgba >> (8 * (i % 4)));
        definition.image = {texels.data(), width * 4, width, height, 32, 4, 0xFF, 0, 8, 0xFF00, 8, 8,
                            0xFF0000, 16, 8, 0};
        definition.operation = ZQGD_DEFINE_BACKDROP;
        definition.horizontalAngle = horizontal;
        definition.verticalAngle = vertical;
        definition.angularWidth = angularWidth;
        EXPECT_EQ(channel.ops.DefineTexture(&channel.record, 5, &definition, 1), 0);
    }
};

TEST_F(ViewTest, BackdropClearBracketsItsStateAndLeavesTheFlags)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    TestBackdrop backdrop(channel, 64, 48, 0xFF0000FF);
    BackgroundRecord background{1, {0, 0, 1}, 5};
    view.ops.SetBackground(&view.record, &background);
    view.ops.SetRenderMode(&view.record, ZQGD_MODE_DEPTH_ON);
    ASSERT_EQ(channel.state()->depthTestEnabled, 1);
    recorder::Start();
    view.begin(ZQGD_CLEAR_COLOUR | ZQGD_CLEAR_DEPTH);
    EXPECT_EQ(recorder::Count("glPushAttrib", {GL_POLYGON_BIT}), 1u);
    EXPECT_EQ(recorder::Count("glDisable", {GL_DEPTH_TEST}), 1u);
    EXPECT_EQ(channel.state()->depthTestEnabled, 1) << "the flag is bypassed";
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST)) << "and GL is as before";
    EXPECT_TRUE(Near(channel.drawn().at(30, 20), {255, 0, 0}));
}

TEST_F(ViewTest, APartlyCoveringBackdropIsFramedInTheBackgroundColour)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    // 20 x 10 pixels of red in the middle of a blue view.
    TestBackdrop backdrop(channel, 20, 10, 0xFF0000FF);
    BackgroundRecord background{1, {0, 0, 1}, 5};
    view.ops.SetBackground(&view.record, &background);
    view.ops.SetBackdropAngles(&view.record, 0, 0);
    ASSERT_EQ(view.state()->backdropX, 22);
    ASSERT_EQ(view.state()->backdropY, 19);
    view.begin(ZQGD_CLEAR_COLOUR);
    Image image = channel.drawn();
    EXPECT_TRUE(Near(image.at(30, 24), {255, 0, 0}));
    for (auto [x, y] : {std::pair{5, 24}, std::pair{21, 24}, std::pair{42, 24}, std::pair{60, 24},
                        std::pair{30, 5}, std::pair{30, 40}})
        EXPECT_TRUE(Near(image.at(x, y), {0, 0, 255})) << x << ", " << y;
    EXPECT_TRUE(Near(image.at(22, 24), {255, 0, 0}));
    EXPECT_TRUE(Near(image.at(41, 24), {255, 0, 0}));
}

TEST_F(ViewTest, BackdropAngleDifferencesWrapOnlyAbovePi)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    // One radian across 100 pixels; the image sits where the angles say.
    auto place = [&](float imageVertical, float cameraVertical) {
        TestBackdrop backdrop(channel, 100, 100, 0xFFFFFFFF, 0, imageVertical, 1);
        BackgroundRecord background{1, {0, 0, 0}, 5};
        view.ops.SetBackground(&view.record, &background);
        view.ops.SetBackdropAngles(&view.record, cameraVertical, 0);
        return view.state()->backdropY;
    };
    // 6.0 - 0.1 is above pi: taken as 5.9 - 2 pi, about -0.383.
    float wrapped = 6.0f - 0.1f - 6.2831855f;
    EXPECT_EQ(place(0.1f, 6.0f), static_cast<int32_t>(100.0f * wrapped + 24 - 50));
    // 0.1 - 6.0 is below -pi and stays as it is.
    EXPECT_EQ(place(6.0f, 0.1f), static_cast<int32_t>(100.0f * (0.1f - 6.0f) + 24 - 50));
}

TEST_F(ViewTest, BackgroundsOfEveryViewFollowTheBackdropAndItsKind)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView left(channel, 0, 0, 32, 48), right(channel, 32, 0, 32, 48), plain(channel, 0, 0, 8, 8);
    TestBackdrop first(channel, 32, 48, 0xFF0000FF);
    BackgroundRecord background{1, {0, 0, 1}, 5};
    left.ops.SetBackground(&left.record, &background);
    right.ops.SetBackground(&right.record, &background);
    BackgroundRecord other{2, {0, 1, 0}, 5};  // neither 0 nor 1: a plain colour
    plain.ops.SetBackground(&plain.record, &other);
    EXPECT_EQ(plain.state()->backdrop, nullptr);
    EXPECT_EQ(plain.state()->clearRoutine, PlainClear);
    TestBackdrop second(channel, 32, 48, 0xFF00FF00);
    TextureEntry* entry = Backdrop(channel, 5);
    EXPECT_EQ(left.state()->backdrop, entry);
    EXPECT_EQ(right.state()->backdrop, entry);
    channel.ops.DeleteTexture(&channel.record, 5);
    EXPECT_EQ(left.state()->backdrop, nullptr);
    EXPECT_EQ(right.state()->backdrop, nullptr);
    EXPECT_EQ(right.state()->clearRoutine, PlainClear);
}

TEST_F(ViewTest, OpenViewLeavesTheExtentAndEdgesCompareUnsigned)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView first(channel, 0, 0, 40, 30);
    ViewDescriptor descriptor{};
    descriptor.width = 500;
    descriptor.height = 400;
    ViewRecord record{nullptr, nullptr, 0, &descriptor, &channel.record};
    ViewOps ops{};
    ASSERT_EQ(channel.ops.OpenView(&record, &ops), 0);
    EXPECT_EQ(channel.state()->overlayWidth, 40u) << "OpenView does not recompute the extent";
    EXPECT_EQ(channel.state()->overlayHeight, 30u);
    ops.SetViewPosition(&record, -600, 0);
    EXPECT_EQ(channel.state()->overlayWidth, static_cast<uint32_t>(-100)) << "-600 + 500 as unsigned";
    ops.SetViewPosition(&record, -10, 0);
    EXPECT_EQ(channel.state()->overlayWidth, 490u);
    ops.CloseView(&record);
}

TEST_F(ViewTest, ReadPixelsOfAViewAwayFromTheOrigin)
{
    TestChannel channel(64, 48);
    ASSERT_EQ(channel.open(), 0);
    TestView whole(channel, 0, 0, 64, 48), corner(channel, 40, 30, 20, 10);
    whole.clearTo(0, 0, 1);
    corner.clearTo(1, 0, 0);
    uint64_t bytes = MMLiveBytes();
    Bitmap bitmap{};
    ASSERT_EQ(corner.ops.ReadPixels(&corner.record, &bitmap), 0);
    EXPECT_EQ(MMLiveBytes() - bytes, 20u * 10 * 4);
    EXPECT_TRUE(Near(PixelOf(bitmap, 0, 0), {255, 0, 0}));
    EXPECT_TRUE(Near(PixelOf(bitmap, 19, 9), {255, 0, 0}));
    MMfree(bitmap.pixels);
    bitmap = Bitmap{};
    ASSERT_EQ(whole.ops.ReadPixels(&whole.record, &bitmap), 0);
    EXPECT_TRUE(Near(PixelOf(bitmap, 39, 29), {0, 0, 255}));
    EXPECT_TRUE(Near(PixelOf(bitmap, 40, 30), {255, 0, 0}));
    MMfree(bitmap.pixels);
}

// ---- Every class of value a view input can take ---------------------------

// Fog: 1 is linear fog; every other mode, whatever its sign or size, is none.
TEST_F(ViewTest, FogIsLinearForModeOneAndOffForEveryOtherMode)
{
    TestChannel channel(32, 32);
    ASSERT_EQ(channel.open(), 0);
    std::vector<LightRecord> none;
    Environment environment = MakeEnvironment(none);
    environment.fogStart = 2.5f;
    environment.fogEnd = 40.0f;
    environment.fogColour[0] = 0.25f;
    environment.fogColour[1] = 0.5f;
    environment.fogColour[2] = 0.75f;
    TestView view(channel, 0, 0, 32, 32);
    view.record.environment = &environment;
    // Values mode 1 must replace.
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogf(GL_FOG_START, 9.0f);
    glFogf(GL_FOG_END, 99.0f);
    environment.fogMode = 1;
    view.ops.SetEnvironment(&view.record);
    EXPECT_TRUE(glIsEnabled(GL_FOG));
    EXPECT_EQ(channel.state()->fogEnabled, 1);
    GLint mode = 0;
    glGetIntegerv(GL_FOG_MODE, &mode);
    EXPECT_EQ(mode, GL_LINEAR);
    GLfloat start = 0, end = 0, colour[4] = {};
    glGetFloatv(GL_FOG_START, &start);
    glGetFloatv(GL_FOG_END, &end);
    glGetFloatv(GL_FOG_COLOR, colour);
    EXPECT_EQ(start, 2.5f);
    EXPECT_EQ(end, 40.0f);
    EXPECT_EQ(colour[0], 0.25f);
    EXPECT_EQ(colour[1], 0.5f);
    EXPECT_EQ(colour[2], 0.75f);
    EXPECT_EQ(colour[3], 1.0f);

    // Fog already on: new distances still reach GL.
    environment.fogStart = 3.0f;
    environment.fogEnd = 7.0f;
    view.ops.SetEnvironment(&view.record);
    glGetFloatv(GL_FOG_START, &start);
    glGetFloatv(GL_FOG_END, &end);
    EXPECT_EQ(start, 3.0f);
    EXPECT_EQ(end, 7.0f);

    for (int32_t other : {0, 2, -1, 3, 1000000, INT32_MAX, INT32_MIN}) {
        SCOPED_TRACE(other);
        environment.fogMode = 1;
        view.ops.SetEnvironment(&view.record);
        ASSERT_TRUE(glIsEnabled(GL_FOG));
        environment.fogMode = other;
        view.ops.SetEnvironment(&view.record);
        EXPECT_FALSE(glIsEnabled(GL_FOG));
        EXPECT_EQ(channel.state()->fogEnabled, 0);
    }

    // A quad halfway into the fog keeps its own colour under mode 2.
    environment.fogMode = 2;
    view.ops.SetEnvironment(&view.record);
    view.clearTo(0, 0, 0);
    glDisable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    DrawQuad(-10, -10, 10, 10, 5.0f);
    glEnable(GL_TEXTURE_2D);
    EXPECT_TRUE(Near(channel.drawn().at(16, 16), {255, 255, 255}));
}

// The GL state a render mode leaves, read back from GL, and the renderer it
// installed.
struct ModeState {
    GLint shade = 0;
    GLint polygon[2] = {};
    bool depth = false;
    int32_t lineMode = -1;
    int renderer = -1;

    bool operator==(const ModeState& other) const
    {
        return shade == other.shade && polygon[0] == other.polygon[0] && polygon[1] == other.polygon[1] &&
               depth == other.depth && lineMode == other.lineMode && renderer == other.renderer;
    }
};

std::ostream& operator<<(std::ostream& out, const ModeState& state)
{
    return out << "{shade " << state.shade << ", polygon " << state.polygon[0] << "/" << state.polygon[1]
               << ", depth " << state.depth << ", lineMode " << state.lineMode << ", renderer " << state.renderer
               << "}";
}

ModeState ReadModeState(const TestView& view)
{
    ModeState state;
    glGetIntegerv(GL_SHADE_MODEL, &state.shade);
    glGetIntegerv(GL_POLYGON_MODE, state.polygon);
    state.depth = glIsEnabled(GL_DEPTH_TEST) == GL_TRUE;
    state.lineMode = view.state()->lineMode;
    const auto* found = std::find(std::begin(kRendererTable), std::end(kRendererTable), view.ops.DrawPolygons);
    state.renderer = found == std::end(kRendererTable) ? -1 : static_cast<int>(found - std::begin(kRendererTable));
    return state;
}

int ArraysOffset() { return capabilities.vertexPointer != nullptr || capabilities.vertexPointerExt != nullptr ? 2 : 0; }

// Bits 0-2: 1 flat unlit, 2 flat lit per polygon, every other value smooth.
TEST_F(ViewTest, ShadingBitsChooseTheShadeModelAndTheRendererGroup)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    const int arrays = ArraysOffset();
    for (int32_t bits = 0; bits < 8; ++bits) {
        SCOPED_TRACE(bits);
        GLint shade = bits == 1 || bits == 2 ? GL_FLAT : GL_SMOOTH;
        int group = bits == 1 ? 0 : (bits == 2 ? 1 : 2);
        glShadeModel(shade == GL_FLAT ? GL_SMOOTH : GL_FLAT);  // what the mode must replace
        ASSERT_EQ(view.ops.SetRenderMode(&view.record, bits), 0);
        ModeState state = ReadModeState(view);
        EXPECT_EQ(state.shade, shade);
        EXPECT_EQ(state.renderer, group * 4 + arrays);
        EXPECT_EQ(view.descriptor.renderMode, bits);
    }
}

// Bits 3-5: 0x08 points, 0x10 outlines, every other value filled.
TEST_F(ViewTest, PolygonBitsChooseThePolygonModeAndTheOutlineRenderers)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    const int arrays = ArraysOffset();
    for (int32_t bits = 0; bits <= 0x38; bits += 0x08) {
        SCOPED_TRACE(bits);
        GLint polygon = bits == 0x08 ? GL_POINT : (bits == 0x10 ? GL_LINE : GL_FILL);
        bool line = bits == 0x10;
        glPolygonMode(GL_FRONT_AND_BACK, polygon == GL_LINE ? GL_POINT : GL_LINE);
        ASSERT_EQ(view.ops.SetRenderMode(&view.record, bits | ZQGD_MODE_FACET), 0);
        ModeState state = ReadModeState(view);
        EXPECT_EQ(state.polygon[0], polygon);
        EXPECT_EQ(state.polygon[1], polygon);
        EXPECT_EQ(state.lineMode, line ? 1 : 0);
        EXPECT_EQ(state.renderer, 4 + (line ? 1 : 0) + arrays);
    }
}

// Bits 9-11: 0x200 off, 0x400 on, every other value leaves depth testing as
// it was, whether it was on or off.
TEST_F(ViewTest, DepthBitsSwitchTheDepthTestOrLeaveIt)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    for (bool wasOn : {false, true}) {
        for (int32_t bits = 0; bits <= 0xE00; bits += 0x200) {
            SCOPED_TRACE(::testing::Message() << "bits " << bits << " after " << wasOn);
            view.ops.SetRenderMode(&view.record, (wasOn ? ZQGD_MODE_DEPTH_ON : ZQGD_MODE_DEPTH_OFF) | ZQGD_MODE_FACET);
            ASSERT_EQ(glIsEnabled(GL_DEPTH_TEST) == GL_TRUE, wasOn);
            view.ops.SetRenderMode(&view.record, bits | ZQGD_MODE_UNLIT);
            bool on = bits == ZQGD_MODE_DEPTH_ON || (bits != ZQGD_MODE_DEPTH_OFF && wasOn);
            EXPECT_EQ(glIsEnabled(GL_DEPTH_TEST) == GL_TRUE, on);
            EXPECT_EQ(channel.state()->depthTestEnabled, on ? 1 : 0);
            // The list replays the same switch at the start of a frame.
            glDisable(GL_DEPTH_TEST);
            channel.state()->depthTestEnabled = 0;
            if (bits == ZQGD_MODE_DEPTH_OFF) {
                glEnable(GL_DEPTH_TEST);
                channel.state()->depthTestEnabled = 1;
            }
            view.begin(0);
            // The switch entered the list only where the cached flag differed.
            if ((bits == ZQGD_MODE_DEPTH_ON && !wasOn) || (bits == ZQGD_MODE_DEPTH_OFF && wasOn)) {
                EXPECT_EQ(glIsEnabled(GL_DEPTH_TEST) == GL_TRUE, on) << "replayed";
            }
            // The flag in step with GL again for the next round.
            channel.state()->depthTestEnabled = glIsEnabled(GL_DEPTH_TEST) == GL_TRUE ? 1 : 0;
        }
    }
}

// Bits the mode does not name (6-8, 14-31), and bits 12 and 13 that only the
// renderers read, change neither GL state nor the renderer; the word is kept
// whole.
TEST_F(ViewTest, BitsTheModeDoesNotNameChangeNothing)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    const int arrays = ArraysOffset();
    struct Base {
        int32_t mode;
        ModeState expected;
    };
    const Base bases[] = {
        {0x211, {GL_FLAT, {GL_LINE, GL_LINE}, false, 1, 1 + arrays}},
        {0x40A, {GL_FLAT, {GL_POINT, GL_POINT}, true, 0, 4 + arrays}},
        {0x400, {GL_SMOOTH, {GL_FILL, GL_FILL}, true, 0, 8 + arrays}},
        {0x213, {GL_SMOOTH, {GL_LINE, GL_LINE}, false, 1, 9 + arrays}},
    };
    for (int32_t bit : {0x40, 0x80, 0x100, 0x1000, 0x2000, 0x4000, 0x8000, 0x10000, 0x1000000, 0x40000000,
                        INT32_MIN}) {
        for (const Base& base : bases) {
            SCOPED_TRACE(::testing::Message() << "mode " << base.mode << " with bit " << bit);
            // From the opposite state each time: other shading, fill, depth.
            view.ops.SetRenderMode(&view.record, base.mode ^ 0x613);
            ASSERT_EQ(view.ops.SetRenderMode(&view.record, base.mode | bit), 0);
            EXPECT_EQ(ReadModeState(view), base.expected);
            EXPECT_EQ(view.descriptor.renderMode, base.mode | bit);
        }
    }
}

// Stands in for a GL with or without each vertex-pointer entry point until
// the end of scope.
void APIENTRY FakeVertexPointer(GLint, GLenum, GLsizei, const void*) {}
void APIENTRY FakeVertexPointerExt(GLint, GLenum, GLsizei, GLsizei, const void*) {}

class VertexPointersAs {
public:
    VertexPointersAs(bool core, bool extension) : saved(capabilities)
    {
        capabilities.vertexPointer = core ? FakeVertexPointer : nullptr;
        capabilities.vertexPointerExt = extension ? FakeVertexPointerExt : nullptr;
    }
    ~VertexPointersAs() { capabilities = saved; }
    VertexPointersAs(const VertexPointersAs&) = delete;
    VertexPointersAs& operator=(const VertexPointersAs&) = delete;

private:
    CapabilityEntryPoints saved;
};

// Every one of the twelve renderers is reached through SetRenderMode: shading
// group x 4 + outline + 2 when either vertex-pointer entry point exists.
TEST_F(ViewTest, EveryRendererIsReachedFromItsModeBits)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    struct Case {
        int32_t mode;
        int index;
    };
    const Case cases[] = {{0x01, 0}, {0x11, 1}, {0x09, 0}, {0x19, 0}, {0x02, 4}, {0x12, 5}, {0x0A, 4},
                          {0x3A, 4}, {0x00, 8}, {0x10, 9}, {0x08, 8}, {0x07, 8}, {0x17, 9}, {0x14, 9}};
    struct Gl {
        bool core, extension;
        int arrays;
    };
    for (Gl gl : {Gl{false, false, 0}, Gl{true, false, 2}, Gl{false, true, 2}, Gl{true, true, 2}}) {
        VertexPointersAs pointers(gl.core, gl.extension);
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << "mode " << c.mode << ", core " << gl.core << ", extension "
                                              << gl.extension);
            ASSERT_EQ(view.ops.SetRenderMode(&view.record, c.mode), 0);
            EXPECT_EQ(view.ops.DrawPolygons, kRendererTable[c.index + gl.arrays]);
        }
        view.ops.SetRenderMode(&view.record, 0x400);  // the next set starts from another mode
    }
}

// Right edges and top edges are both sums taken as unsigned 32-bit values:
// a view below or left of the window wraps to a huge edge, one ending
// exactly at 0 adds nothing; width and height may come from different views.
TEST_F(ViewTest, OverlayExtentTakesEachEdgeFromAnyViewUnsigned)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView wide(channel, 0, 0, 40, 30), tall(channel, 5, -10, 10, 500);
    EXPECT_EQ(channel.state()->overlayWidth, 40u);
    EXPECT_EQ(channel.state()->overlayHeight, 490u);
    tall.ops.SetViewPosition(&tall.record, 5, -600);
    EXPECT_EQ(channel.state()->overlayWidth, 40u);
    EXPECT_EQ(channel.state()->overlayHeight, static_cast<uint32_t>(-100)) << "-600 + 500 as unsigned";
    tall.ops.SetViewPosition(&tall.record, -5, -10);
    tall.ops.SetViewSize(&tall.record, 5, 10);
    EXPECT_EQ(channel.state()->overlayWidth, 40u) << "an edge at exactly 0";
    EXPECT_EQ(channel.state()->overlayHeight, 30u);
    wide.ops.SetViewSize(&wide.record, 0, 0);
    EXPECT_EQ(channel.state()->overlayWidth, 0u);
    EXPECT_EQ(channel.state()->overlayHeight, 0u);
}

// A mode of -1 right after opening equals the stored "no mode yet" and
// changes nothing; after another mode it is an ordinary word: smooth, filled,
// depth left alone.
TEST_F(ViewTest, ModeMinusOneIsNoModeOnlyRightAfterOpening)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    ASSERT_EQ(view.ops.SetRenderMode(&view.record, -1), 0);
    EXPECT_EQ(view.ops.DrawPolygons, kRendererTable[0]);
    EXPECT_EQ(view.state()->lineMode, 1);
    EXPECT_EQ(view.descriptor.renderMode, -1);

    view.ops.SetRenderMode(&view.record, ZQGD_MODE_LINES | ZQGD_MODE_UNLIT | ZQGD_MODE_DEPTH_ON);
    ASSERT_EQ(view.ops.SetRenderMode(&view.record, -1), 0);
    ModeState expected{GL_SMOOTH, {GL_FILL, GL_FILL}, true, 0, 8 + ArraysOffset()};
    EXPECT_EQ(ReadModeState(view), expected);
    EXPECT_EQ(view.descriptor.renderMode, -1);
}

// Whether any pixel of the 3 x 3 block around (x, y) has the colour.
::testing::AssertionResult AnyNear(const Image& image, int x, int y, const Rgb& expected)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (Near(image.at(x + dx, y + dy), expected)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no pixel near (" << x << ", " << y << ") is " << expected;
}

// Fill, outline and point modes seen in the picture: one unit per pixel, a
// square from 21.5 to 42.5 across and 13.5 to 34.5 up.
TEST_F(ViewTest, PolygonModesFillOutlineOrDotTheSquare)
{
    TestChannel channel(64, 48);
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    view.descriptor.orthographic = 1;
    view.descriptor.orthoHalfWidth = 32;
    view.descriptor.orthoHalfHeight = 24;
    const Rgb white{255, 255, 255}, black{0, 0, 0};
    for (int32_t mode : {0x01, 0x09, 0x11, 0x19, 0x39}) {
        SCOPED_TRACE(mode);
        view.clearTo(0, 0, 0, mode);
        glDisable(GL_TEXTURE_2D);
        glColor3f(1, 1, 1);
        DrawQuad(-10.5f, -10.5f, 10.5f, 10.5f, 1.0f);
        glEnable(GL_TEXTURE_2D);
        Image drawn = channel.drawn();
        int polygon = mode & 0x38;
        EXPECT_TRUE(Near(drawn.at(32, 24), polygon == 0x08 || polygon == 0x10 ? black : white)) << "inside";
        if (polygon == 0x10) {
            EXPECT_TRUE(AnyNear(drawn, 21, 24, white)) << "the left edge";
        }
        if (polygon == 0x08) {
            EXPECT_TRUE(AnyNear(drawn, 21, 13, white)) << "a corner";
            EXPECT_TRUE(Near(drawn.at(21, 24), black)) << "mid edge";
        }
        EXPECT_TRUE(Near(drawn.at(10, 24), black)) << "outside";
    }
}

// A nearer quad drawn first hides a farther one only while depth testing is
// on: 0x400, or a mode that leaves it on.
TEST_F(ViewTest, DepthBitsDecideWhetherTheNearerQuadStaysInFront)
{
    TestChannel channel(32, 32);
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 32, 32);
    struct Case {
        int32_t bits;
        bool wasOn;
        bool hides;
    };
    for (Case c : {Case{0x400, false, true}, Case{0x200, true, false}, Case{0x000, true, true},
                   Case{0x000, false, false}, Case{0x600, true, true}, Case{0xE00, false, false}}) {
        SCOPED_TRACE(::testing::Message() << "bits " << c.bits << " after " << c.wasOn);
        view.ops.SetRenderMode(&view.record, (c.wasOn ? ZQGD_MODE_DEPTH_ON : ZQGD_MODE_DEPTH_OFF) | ZQGD_MODE_FACET);
        view.clearTo(0, 0, 0, c.bits | ZQGD_MODE_UNLIT);
        glDisable(GL_TEXTURE_2D);
        glColor3f(1, 0, 0);
        DrawQuad(-2, -2, 2, 2, 2.0f);
        glColor3f(0, 1, 0);
        DrawQuad(-4, -4, 4, 4, 4.0f);
        glEnable(GL_TEXTURE_2D);
        EXPECT_TRUE(Near(channel.drawn().at(16, 16), c.hides ? Rgb{255, 0, 0} : Rgb{0, 255, 0}));
    }
}

std::vector<float> LightValue(GLenum light, GLenum parameter, size_t count)
{
    std::vector<float> value(4, -1234.0f);
    glGetLightfv(light, parameter, value.data());
    value.resize(count);
    return value;
}

::testing::AssertionResult NearValues(const std::vector<float>& observed, const std::vector<float>& expected,
                                      float tolerance = 1e-4f)
{
    bool within = observed.size() == expected.size();
    for (size_t i = 0; within && i < observed.size(); ++i)
        within = std::fabs(observed[i] - expected[i]) <= tolerance;
    if (within) return ::testing::AssertionSuccess();
    auto print = [](const std::vector<float>& values) {
        std::string text;
        for (float value : values) text += std::to_string(value) + " ";
        return text;
    };
    return ::testing::AssertionFailure() << "expected " << print(expected) << "observed " << print(observed);
}

// Every light type under a viewing matrix that turns (about z) and moves,
// read back from GL in eye coordinates: the viewing matrix, then the z
// mirror. Types that name nothing get their colours only.
TEST_F(ViewTest, EveryLightTypeIsPlacedUnderATurnedAndMovedViewingMatrix)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    std::vector<LightRecord> lights(7);
    const int32_t types[7] = {0, 1, 2, 3, -1, 2, 2};
    for (size_t i = 0; i < lights.size(); ++i) {
        LightRecord& light = lights[i];
        light.type = types[i];
        light.position[0] = 4;
        light.position[1] = 5;
        light.position[2] = 6;
        light.direction[0] = 1;
        light.direction[2] = 1;
        light.spotCutoff = 0.5f;
        light.colour[0] = 0.1f * static_cast<float>(i + 1);
        light.colour[1] = 0.5f;
        light.colour[2] = 0.25f;
        light.linearAttenuation = 0.5f + static_cast<float>(i);
    }
    lights[0].direction[0] = 0;
    lights[0].direction[1] = 1;
    lights[5].spotCutoff = 0;     // the narrowest cone
    lights[6].spotCutoff = 1.5f;  // 85.94367 degrees
    Environment environment = MakeEnvironment(lights);
    environment.ambient[0] = 0.2f;
    environment.ambient[1] = 0.3f;
    environment.ambient[2] = 0.4f;
    view.record.environment = &environment;

    // What the driver must leave alone, set in eye coordinates.
    const GLfloat marker[4] = {7, 8, 9, 1}, up[3] = {0, 1, 0}, grey[4] = {0.5f, 0.5f, 0.5f, 1};
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    for (GLenum light = GL_LIGHT0; light < GL_LIGHT0 + 7; ++light) {
        glLightfv(light, GL_POSITION, marker);
        glLightfv(light, GL_SPOT_DIRECTION, up);
        glLightf(light, GL_SPOT_CUTOFF, 45);
        glLightf(light, GL_LINEAR_ATTENUATION, 7);
        glLightfv(light, GL_AMBIENT, grey);
    }
    glPopMatrix();

    // Rows: a turn about z (cosine 0.6, sine 0.8) and a move by (1, 2, 3).
    const float viewing[12] = {0.6f, -0.8f, 0, 1, 0.8f, 0.6f, 0, 2, 0, 0, 1, 3};
    view.ops.BeginView(&view.record, 0, viewing, 0);

    // (4, 5, 6) -> (-0.6, 8.2, 9) -> mirrored (-0.6, 8.2, -9).
    const std::vector<float> placed{-0.6f, 8.2f, -9, 1}, untouched{7, 8, 9, 1};
    for (GLenum i = 0; i < 7; ++i) {
        SCOPED_TRACE(::testing::Message() << "light " << i << ", type " << types[i]);
        GLenum light = GL_LIGHT0 + i;
        float red = 0.1f * static_cast<float>(i + 1);
        EXPECT_TRUE(NearValues(LightValue(light, GL_AMBIENT, 4), {0, 0, 0, 1}));
        EXPECT_TRUE(NearValues(LightValue(light, GL_DIFFUSE, 4), {red, 0.5f, 0.25f, 1}));
        EXPECT_TRUE(NearValues(LightValue(light, GL_SPECULAR, 4), {red, 0.5f, 0.25f, 1}));
        std::vector<float> position = LightValue(light, GL_POSITION, 4);
        std::vector<float> direction = LightValue(light, GL_SPOT_DIRECTION, 3);
        std::vector<float> cutoff = LightValue(light, GL_SPOT_CUTOFF, 1);
        std::vector<float> attenuation = LightValue(light, GL_LINEAR_ATTENUATION, 1);
        switch (types[i]) {
        case 0:
            // Shines along (0, 1, 1): comes from (0, -1, -1), turned to
            // (0.8, -0.6, -1), mirrored, at infinity; the move does not apply.
            EXPECT_TRUE(NearValues(position, {0.8f, -0.6f, 1, 0}));
            EXPECT_TRUE(NearValues(direction, {0, 1, 0}));
            EXPECT_TRUE(NearValues(cutoff, {45}));
            EXPECT_TRUE(NearValues(attenuation, {7}));
            break;
        case 1:
            EXPECT_TRUE(NearValues(position, placed));
            EXPECT_TRUE(NearValues(direction, {0, 1, 0}));
            EXPECT_TRUE(NearValues(cutoff, {180}));
            EXPECT_TRUE(NearValues(attenuation, {1.5f}));
            break;
        case 2: {
            EXPECT_TRUE(NearValues(position, placed));
            // (1, 0, 1) turned to (0.6, 0.8, 1), mirrored.
            EXPECT_TRUE(NearValues(direction, {0.6f, 0.8f, -1}));
            float degrees = i == 5 ? 0.0f : (i == 6 ? 85.94367f : 28.64789f);
            EXPECT_TRUE(NearValues(cutoff, {degrees}));
            EXPECT_TRUE(NearValues(attenuation, {0.5f + static_cast<float>(i)}));
            break;
        }
        default:
            EXPECT_TRUE(NearValues(position, untouched));
            EXPECT_TRUE(NearValues(direction, {0, 1, 0}));
            EXPECT_TRUE(NearValues(cutoff, {45}));
            EXPECT_TRUE(NearValues(attenuation, {7}));
        }
    }
    GLfloat ambient[4] = {};
    glGetFloatv(GL_LIGHT_MODEL_AMBIENT, ambient);
    EXPECT_TRUE(NearValues({ambient[0], ambient[1], ambient[2], ambient[3]}, {0.2f, 0.3f, 0.4f, 1}));
    // The viewing matrix is gone again: the renderers start from the mirror.
    GLint matrixMode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
    EXPECT_EQ(matrixMode, GL_MODELVIEW);
    GLfloat modelview[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    EXPECT_TRUE(NearValues(std::vector<float>(modelview, modelview + 16),
                           {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1}));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Light counts 0 to 7 configure and switch on that many lights; 8, 9 and any
// larger count, up to the largest, seven. GL_LIGHT7 is never used.
TEST_F(ViewTest, LightCountsAreHeldToSevenWhateverTheirSize)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    std::vector<LightRecord> lights(8);
    for (size_t i = 0; i < lights.size(); ++i) {
        lights[i].type = 1;
        lights[i].colour[0] = 0.1f * static_cast<float>(i + 1);
    }
    Environment environment = MakeEnvironment(lights);
    view.record.environment = &environment;
    const GLfloat marker[4] = {0.95f, 0.8f, 0.7f, 1};
    for (uint32_t count : {0u, 1u, 6u, 7u, 8u, 9u, 1000u, 0x80000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(count);
        environment.lightCount = count;
        for (GLenum light = GL_LIGHT0; light <= GL_LIGHT7; ++light) {
            glLightfv(light, GL_DIFFUSE, marker);
            if (light % 2 == 0)
                glEnable(light);
            else
                glDisable(light);
        }
        view.ops.SetEnvironment(&view.record);
        view.begin(0);
        uint32_t used = std::min(count, 7u);
        for (uint32_t i = 0; i < 8; ++i) {
            EXPECT_EQ(glIsEnabled(GL_LIGHT0 + i) == GL_TRUE, i < used) << "light " << i;
            EXPECT_FLOAT_EQ(LightValue(GL_LIGHT0 + i, GL_DIFFUSE, 1)[0],
                            i < used ? 0.1f * static_cast<float>(i + 1) : 0.95f)
                << "light " << i;
        }
    }

    // No environment: every light off, none configured, the projection
    // matrix left selected.
    view.record.environment = nullptr;
    for (GLenum light = GL_LIGHT0; light <= GL_LIGHT7; ++light) {
        glLightfv(light, GL_DIFFUSE, marker);
        glEnable(light);
    }
    view.ops.SetEnvironment(&view.record);
    view.begin(0);
    for (GLenum light = GL_LIGHT0; light <= GL_LIGHT7; ++light) {
        EXPECT_FALSE(glIsEnabled(light)) << light - GL_LIGHT0;
        EXPECT_FLOAT_EQ(LightValue(light, GL_DIFFUSE, 1)[0], 0.95f) << light - GL_LIGHT0;
    }
    GLint matrixMode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
    EXPECT_EQ(matrixMode, GL_PROJECTION);
}

// The frame time of any sign is kept; the per-frame caches start empty.
TEST_F(ViewTest, BeginViewKeepsTheFrameTimeAndEmptiesTheCaches)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    std::vector<LightRecord> lights(1);
    Environment environment = MakeEnvironment(lights);
    ViewState* state = view.state();
    ASSERT_NE(state, nullptr);
    static const float identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    for (Environment* present : {static_cast<Environment*>(nullptr), &environment}) {
        view.record.environment = present;
        for (int32_t time : {0, 1, -5, INT32_MAX, INT32_MIN}) {
            SCOPED_TRACE(::testing::Message() << time << (present ? " with lights" : ""));
            state->lastMaterial = reinterpret_cast<const MaterialEntry*>(&environment);
            state->lastTextureId = 12;
            state->lastTexture = reinterpret_cast<TextureEntry*>(&environment);
            view.ops.BeginView(&view.record, time, identity, 0);
            EXPECT_EQ(state->frameTime, time);
            EXPECT_EQ(state->lastMaterial, nullptr);
            EXPECT_EQ(state->lastTextureId, -1);
            EXPECT_EQ(state->lastTexture, nullptr);
        }
    }
}

std::vector<float> ProjectionAfterBegin(TestView& view)
{
    view.begin(0);
    GLfloat matrix[16];
    glGetFloatv(GL_PROJECTION_MATRIX, matrix);
    return std::vector<float>(matrix, matrix + 16);
}

// Perspectives read back from GL: the vertical angle is the field of view
// scaled by height / width, capped at 178.2 degrees (3.1101768), and the
// aspect is width / height unless the cap applied.
TEST_F(ViewTest, PerspectiveFollowsTheFieldOfViewUpToTheCap)
{
    TestChannel channel(64, 48);
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    view.descriptor.nearPlane = 2;
    view.descriptor.farPlane = 50;
    struct Case {
        uint32_t width, height;
        float fieldOfView;
        double vertical;  // radians
        double aspect;
    };
    const Case cases[] = {
        {640, 480, 0.5f, 0.375, 640.0 / 480},
        {640, 480, 2.0f, 1.5, 640.0 / 480},
        {100, 400, 0.5f, 2.0, 0.25},                                // tall but below the cap
        {100, 400, 2.0f, 3.1101768, 2.0 / 3.1101768},                // capped
        {300, 400, 2.25f, 3.0, 0.75},                                // just below the cap
        {300, 400, 2.4f, 3.1101768, 2.4 / 3.1101768},                // just above it
        {400, 100, 4.0f, 1.0, 4.0},                                  // a field of view beyond pi
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << ", field of view " << c.fieldOfView);
        view.ops.SetViewSize(&view.record, c.width, c.height);
        view.descriptor.fieldOfView = c.fieldOfView;
        std::vector<float> m = ProjectionAfterBegin(view);
        double f = 1.0 / std::tan(c.vertical / 2);
        EXPECT_NEAR(m[5], f, 1e-4 * std::max(1.0, f));
        EXPECT_NEAR(m[0], f / c.aspect, 1e-4 * std::max(1.0, f / c.aspect));
        EXPECT_NEAR(m[10], (50.0 + 2.0) / (2.0 - 50.0), 1e-5);
        EXPECT_NEAR(m[14], 2 * 50.0 * 2.0 / (2.0 - 50.0), 1e-5);
        EXPECT_EQ(m[11], -1.0f);
        EXPECT_EQ(m[15], 0.0f);
    }
}

// Any nonzero orthographic flag, of either sign, selects the orthographic
// volume; 0 the perspective.
TEST_F(ViewTest, EveryNonzeroOrthographicFlagSelectsTheOrthographicVolume)
{
    TestChannel channel(64, 48);
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    view.descriptor.orthoHalfWidth = 10;
    view.descriptor.orthoHalfHeight = 4;
    view.descriptor.nearPlane = 2;
    view.descriptor.farPlane = 50;
    for (int32_t flag : {1, -1, 2, INT32_MAX, INT32_MIN}) {
        SCOPED_TRACE(flag);
        view.descriptor.orthographic = flag;
        std::vector<float> m = ProjectionAfterBegin(view);
        EXPECT_TRUE(NearValues(m, {0.1f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, -2.0f / 48, 0, 0, 0, -52.0f / 48, 1}, 1e-6f));
    }
    view.descriptor.orthographic = 0;
    std::vector<float> m = ProjectionAfterBegin(view);
    EXPECT_EQ(m[11], -1.0f);
    EXPECT_EQ(m[15], 0.0f);
}

// What a frame starts from after BeginView with the given flags, when the
// previous frame left magenta at depth 0.25: the colour and depth at (10, 10).
struct FrameStart {
    Rgb colour;
    float depth;
};

FrameStart StartFrame(TestView& view, TestChannel& channel, const BackgroundRecord& background, uint32_t flags)
{
    GLfloat depthClear = 1;
    glGetFloatv(GL_DEPTH_CLEAR_VALUE, &depthClear);
    glClearColor(1, 0, 1, 1);
    glClearDepth(0.25);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearDepth(depthClear);
    view.ops.SetBackground(&view.record, &background);
    view.begin(flags);
    FrameStart start{channel.drawn().at(10, 10), -1};
    glReadPixels(10, 10, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &start.depth);
    return start;
}

// Clear flag 4 is the colour, 8 the depth; every other bit is ignored; both
// for the plain colour and for a backdrop image.
TEST_F(ViewTest, ClearFlagsClearColourAndDepthAndNothingElse)
{
    TestChannel channel(64, 48);
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    TestBackdrop backdrop(channel, 64, 48, 0xFF0000FF);
    ASSERT_NE(Backdrop(channel, 5), nullptr);
    view.ops.SetRenderMode(&view.record, ZQGD_MODE_UNLIT);
    view.begin(0);  // the scissor rectangle is the whole view
    const BackgroundRecord plain{0, {0, 1, 0}, 0}, image{1, {0, 1, 0}, 5};
    for (const BackgroundRecord* background : {&plain, &image}) {
        Rgb cleared = background == &plain ? Rgb{0, 255, 0} : Rgb{255, 0, 0};
        for (uint32_t flags : {0u, 4u, 8u, 12u, 1u, 2u, 16u, 0x14u, 0x18u, 0xFFFFFFF3u, 0xFFFFFFFFu, 0x80000008u}) {
            SCOPED_TRACE(::testing::Message() << "flags " << flags << (background == &image ? " with backdrop" : ""));
            FrameStart start = StartFrame(view, channel, *background, flags);
            EXPECT_TRUE(Near(start.colour, flags & 4 ? cleared : Rgb{255, 0, 255}));
            EXPECT_NEAR(start.depth, flags & 8 ? 1.0f : 0.25f, 1e-3);
        }
    }
}

// Background kind 1 alone, with an image id that names a defined backdrop,
// selects the backdrop; kind 0 and every other kind, image id 0 and an
// unknown id clear in the plain colour.
TEST_F(ViewTest, OnlyKindOneWithAKnownImageSelectsTheBackdrop)
{
    TestChannel channel(64, 48);
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    TestBackdrop backdrop(channel, 64, 48, 0xFF0000FF);
    TextureEntry* entry = Backdrop(channel, 5);
    ASSERT_NE(entry, nullptr);
    view.ops.SetRenderMode(&view.record, ZQGD_MODE_UNLIT);
    struct Case {
        int32_t kind, imageId;
        bool image;
    };
    for (Case c : {Case{1, 5, true}, Case{0, 5, false}, Case{2, 5, false}, Case{-1, 5, false},
                   Case{INT32_MIN, 5, false}, Case{1, 0, false}, Case{1, 6, false}}) {
        SCOPED_TRACE(::testing::Message() << "kind " << c.kind << ", image " << c.imageId);
        BackgroundRecord background{c.kind, {0, 0, 1}, c.imageId};
        view.ops.SetBackground(&view.record, &background);
        EXPECT_EQ(view.state()->backdrop, c.image ? entry : nullptr);
        EXPECT_EQ(view.state()->clearRoutine, c.image ? &BackdropClear : &PlainClear);
        view.begin(ZQGD_CLEAR_COLOUR);
        EXPECT_TRUE(Near(channel.drawn().at(32, 24), c.image ? Rgb{255, 0, 0} : Rgb{0, 0, 255}));
        // Angles move nothing without a backdrop.
        int32_t x = view.state()->backdropX, y = view.state()->backdropY;
        view.ops.SetBackdropAngles(&view.record, 0.5f, 0.5f);
        EXPECT_EQ(view.state()->backdropX != x, c.image);
        EXPECT_EQ(view.state()->backdropY != y, c.image);
    }
}

// Colour components are held to 0..1: 0 and 1 exactly stay, the nearest
// values outside are clamped, infinities go to the nearer bound and NaN to
// 0, in every component.
TEST_F(ViewTest, BackgroundColourComponentsAreHeldToTheirBounds)
{
    TestChannel channel(32, 32);
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 32, 32);
    const float nan = std::nanf(""), inf = std::numeric_limits<float>::infinity();
    const float aboveOne = std::nextafter(1.0f, 2.0f), belowZero = -std::numeric_limits<float>::denorm_min();
    struct Case {
        float in[3];
        float out[3];
    };
    const Case cases[] = {
        {{0, 1, nan}, {0, 1, 0}},
        {{nan, 0, 1}, {0, 0, 1}},
        {{1, nan, 0}, {1, 0, 0}},
        {{aboveOne, belowZero, inf}, {1, 0, 1}},
        {{-inf, aboveOne, belowZero}, {0, 1, 0}},
        {{0.25f, -inf, 0.75f}, {0.25f, 0, 0.75f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.in[0] << ", " << c.in[1] << ", " << c.in[2]);
        BackgroundRecord background{0, {c.in[0], c.in[1], c.in[2]}, 0};
        view.ops.SetBackground(&view.record, &background);
        GLfloat clear[4];
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(view.state()->backgroundColour[i], c.out[i]) << i;
            EXPECT_EQ(clear[i], c.out[i]) << i;
        }
        EXPECT_EQ(clear[3], 1.0f);
    }
}

// The worked placements of a 1024 x 256 panorama covering 2 pi in a 640 x 480
// view, for angles of every range: negative, between pi and 2 pi (the
// difference wraps), at pi (it does not), beyond 2 pi and below -2 pi.
// Offsets are truncated toward zero.
TEST_F(ViewTest, BackdropAnglesOfEveryRangePlaceTheImage)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 640, 480);
    TestBackdrop backdrop(channel, 1024, 256, 0xFFFFFFFF, 0, 0, 6.2831855f);
    BackgroundRecord background{1, {0, 0, 0}, 5};
    view.ops.SetBackground(&view.record, &background);
    ASSERT_NE(view.state()->backdrop, nullptr);
    struct Case {
        float vertical, horizontal;
        int32_t x, y;
    };
    const float twoPi = 6.2831855f;
    const Case cases[] = {
        {0, 0, -192, 112},
        {0, 0.5f, -273, 112},
        {0, 6.0f, -145, 112},          // 6.0 - 2 pi = -0.2831855
        {0, -0.5f, -110, 112},         // 2 pi - 0.5, then wrapped back to -0.5
        {0, 0.5f + twoPi, -273, 112},  // beyond 2 pi
        {0, 0.5f + 2 * twoPi, -273, 112},
        {0, 0.5f + 3 * twoPi, -273, 112},  // a remainder, not one turn less
        {0, -0.5f - twoPi, -110, 112},     // below -2 pi
        {0, -0.5f - 3 * twoPi, -110, 112},
        {0.5f + 3 * twoPi, 0, -192, 193},
        {-0.5f - 3 * twoPi, 0, -192, 30},
        {0, 3.2f, 310, 112},            // just above pi: 3.2 - 2 pi
        {0.5f, 0, -192, 193},
        {-0.5f, 0, -192, 30},
        {6.0f, 0, -192, 65},
        {-7.0f, 0, -192, -4},  // -0.7168147: -4.8 truncated toward zero
        {0.5f + twoPi, 0.5f + twoPi, -273, 193},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "vertical " << c.vertical << ", horizontal " << c.horizontal);
        view.ops.SetBackdropAngles(&view.record, c.vertical, c.horizontal);
        EXPECT_EQ(view.state()->backdropX, c.x);
        EXPECT_EQ(view.state()->backdropY, c.y);
    }
    // A difference of exactly pi is not wrapped: 320 - 512 - 512.
    view.ops.SetBackdropAngles(&view.record, 3.1415927f, 3.1415927f);
    EXPECT_NEAR(view.state()->backdropX, -704, 1);
    EXPECT_NEAR(view.state()->backdropY, 512 + 240 - 128, 1);
}

// A horizontal difference below -pi is not corrected either.
TEST_F(ViewTest, HorizontalBackdropDifferenceBelowMinusPiStays)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 640, 480);
    TestBackdrop backdrop(channel, 1024, 256, 0xFFFFFFFF, 6.0f, 0, 6.2831855f);
    BackgroundRecord background{1, {0, 0, 0}, 5};
    view.ops.SetBackground(&view.record, &background);
    ASSERT_NE(view.state()->backdrop, nullptr);
    view.ops.SetBackdropAngles(&view.record, 0, 0.1f);
    // 0.1 - 6.0 = -5.9: 320 + 5.9 x 162.97466 - 512.
    EXPECT_EQ(view.state()->backdropX, 769);
}

// An angular width below 0.000001 (0 and negative included) keeps the image
// centred; from 0.000001 on the angles move it.
TEST_F(ViewTest, AngularWidthBelowTheThresholdKeepsTheImageCentred)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 640, 480);
    for (float width : {0.0f, -1.0f, 0.00000099f, 0.000001f, 1.0f}) {
        SCOPED_TRACE(width);
        TestBackdrop backdrop(channel, 1024, 256, 0xFFFFFFFF, 0, 0, width);
        BackgroundRecord background{1, {0, 0, 0}, 5};
        view.ops.SetBackground(&view.record, &background);
        ASSERT_NE(view.state()->backdrop, nullptr);
        view.ops.SetBackdropAngles(&view.record, 0.1f, 0.1f);
        if (width < 0.000001f) {
            EXPECT_EQ(view.state()->backdropX, -192);
            EXPECT_EQ(view.state()->backdropY, 112);
        } else {
            // 1024 / width pixels per radian, 0.1 radian off the centre.
            double shift = 1024.0 / width * 0.1;
            EXPECT_NEAR(view.state()->backdropX, -192 - shift, 1 + shift * 1e-6);
            EXPECT_NEAR(view.state()->backdropY, 112 + shift, 1 + shift * 1e-6);
        }
    }
}

// A backdrop whose four quarters differ: red lower left, green lower right,
// blue upper left, white upper right. The host gives its top row first.
struct QuarteredBackdrop {
    std::vector<uint8_t> texels;
    QuarteredBackdrop(TestChannel& channel, uint32_t width, uint32_t height) : texels(size_t{width} * height * 4)
    {
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                bool right = x >= width / 2, top = y < height / 2;
                uint8_t* p = &texels[(size_t{y} * width + x) * 4];
                p[0] = right == top ? 255 : 0;
                p[1] = right ? 255 : 0;
                p[2] = top ? 255 : 0;
                p[3] = 255;
            }
        }
        TextureDefinition definition{};
        definition.image = {texels.data(), width * 4, width, height, 32, 4, 0xFF, 0, 8, 0xFF00, 8, 8,
                            0xFF0000, 16, 8, 0};
        definition.operation = ZQGD_DEFINE_BACKDROP;
        definition.angularWidth = 1;
        EXPECT_EQ(channel.ops.DefineTexture(&channel.record, 5, &definition, 1), 0);
    }
};

// DrawBackdrop's cases, by the picture: an image covering the view, one
// hanging off each side, and one entirely off each side (touching the edge),
// over a previous frame of magenta; the uncovered rest is the background
// colour, yellow.
TEST_F(ViewTest, BackdropCoversHangsOffOrMissesTheView)
{
    TestChannel channel(64, 48);
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    view.ops.SetRenderMode(&view.record, ZQGD_MODE_UNLIT);
    const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, white{255, 255, 255}, yellow{255, 255, 0};
    struct Probe {
        int x, y;
        Rgb colour;
    };
    struct Case {
        const char* name;
        uint32_t width, height;
        int32_t x, y;
        std::vector<Probe> probes;
    };
    const std::vector<Case> cases = {
        {"covers, centre of the image", 128, 96, -32, -24,
         {{0, 0, red}, {63, 0, green}, {0, 47, blue}, {63, 47, white}, {31, 23, red}, {32, 24, white}}},
        {"covers exactly", 64, 48, 0, 0, {{0, 0, red}, {63, 0, green}, {0, 47, blue}, {63, 47, white}}},
        {"off the left", 32, 32, -16, 8,
         {{0, 8, green}, {15, 39, white}, {16, 20, yellow}, {0, 5, yellow}, {0, 45, yellow}, {40, 20, yellow}}},
        {"off the right", 32, 32, 48, 8,
         {{48, 8, red}, {63, 39, blue}, {47, 20, yellow}, {55, 5, yellow}, {55, 45, yellow}}},
        {"off the bottom", 32, 32, 16, -16,
         {{16, 0, blue}, {47, 15, white}, {20, 16, yellow}, {10, 5, yellow}, {50, 5, yellow}}},
        {"off the top", 32, 32, 16, 32,
         {{16, 32, red}, {47, 47, green}, {20, 31, yellow}, {10, 40, yellow}, {50, 40, yellow}}},
        {"one column on the right edge", 32, 32, 63, 8, {{63, 8, red}, {62, 8, yellow}}},
        {"one column on the left edge", 32, 32, -31, 8, {{0, 8, green}, {1, 8, yellow}}},
        {"beyond the right edge", 32, 32, 64, 8, {{63, 8, yellow}, {0, 0, yellow}, {32, 24, yellow}}},
        {"beyond the left edge", 32, 32, -32, 8, {{0, 8, yellow}, {63, 47, yellow}}},
        {"beyond the top edge", 32, 32, 16, 48, {{16, 47, yellow}, {0, 0, yellow}}},
        {"beyond the bottom edge", 32, 32, 16, -32, {{16, 0, yellow}, {63, 47, yellow}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QuarteredBackdrop backdrop(channel, c.width, c.height);
        BackgroundRecord background{1, {1, 1, 0}, 5};
        view.ops.SetBackground(&view.record, &background);
        ASSERT_NE(view.state()->backdrop, nullptr);
        view.state()->backdropX = c.x;
        view.state()->backdropY = c.y;
        view.begin(0);
        glClearColor(1, 0, 1, 1);  // the previous frame
        glClear(GL_COLOR_BUFFER_BIT);
        view.begin(ZQGD_CLEAR_COLOUR);
        Image drawn = channel.drawn();
        for (const Probe& probe : c.probes)
            EXPECT_TRUE(Near(drawn.at(probe.x, probe.y), probe.colour)) << probe.x << ", " << probe.y;
        for (auto [x, y] : {std::pair{0, 0}, std::pair{63, 0}, std::pair{0, 47}, std::pair{63, 47}, std::pair{32, 24}})
            EXPECT_FALSE(Near(drawn.at(x, y), {255, 0, 255})) << "left from the previous frame at " << x << ", " << y;
    }
}

// The calls behind those cases: a covering image is one copy of exactly the
// view and no rectangle; a missing one one rectangle of the whole view; one
// hanging off the left fills below, right and above, then copies the rest.
TEST_F(ViewTest, BackdropCasesDrawTheirRectanglesAndCopies)
{
    TestChannel channel(64, 48);
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    view.ops.SetRenderMode(&view.record, ZQGD_MODE_UNLIT);
    auto drawAt = [&](uint32_t width, uint32_t height, int32_t x, int32_t y) {
        TestBackdrop backdrop(channel, width, height, 0xFF0000FF);
        BackgroundRecord background{1, {1, 1, 0}, 5};
        view.ops.SetBackground(&view.record, &background);
        view.state()->backdropX = x;
        view.state()->backdropY = y;
        recorder::Start();
        view.begin(ZQGD_CLEAR_COLOUR);
        recorder::Stop();
    };
    drawAt(128, 96, -32, -24);
    EXPECT_EQ(recorder::Count("glDrawPixels", {64, 48, GL_RGBA, GL_UNSIGNED_BYTE}), 1u);
    EXPECT_EQ(recorder::Count("glDrawPixels"), 1u);
    EXPECT_EQ(recorder::Count("glRecti"), 0u);
    EXPECT_EQ(recorder::Count("glRasterPos2i", {0, 0}), 1u);
    EXPECT_EQ(recorder::Count("glClear"), 0u);

    drawAt(32, 32, 64, 8);
    EXPECT_EQ(recorder::Count("glRecti"), 1u);
    EXPECT_EQ(recorder::Count("glRecti", {0, 0, 64, 48}), 1u);
    EXPECT_EQ(recorder::Count("glDrawPixels"), 0u);

    drawAt(32, 32, -16, 8);
    std::vector<GlCall> rectangles = recorder::CallsNamed("glRecti");
    ASSERT_EQ(rectangles.size(), 3u);
    EXPECT_EQ(rectangles[0].args, (std::vector<double>{0, 0, 64, 8})) << "below";
    EXPECT_EQ(rectangles[1].args, (std::vector<double>{16, 8, 64, 40})) << "right";
    EXPECT_EQ(rectangles[2].args, (std::vector<double>{0, 40, 64, 48})) << "above";
    EXPECT_EQ(recorder::Count("glRasterPos2i", {0, 8}), 1u);
    EXPECT_EQ(recorder::Count("glDrawPixels", {16, 32}), 1u);
}

// Read-back of views that are not square and not at the origin, over a
// picture whose quarters differ: rows bottom first, columns left first.
TEST_F(ViewTest, ReadPixelsOfNonSquareViewsKeepsRowsAndColumnsInPlace)
{
    TestChannel channel(96, 64);
    ASSERT_EQ(channel.open(), 0);
    TestView all(channel, 0, 0, 96, 64);
    all.clearTo(0, 0, 0);
    // Quarters of the rectangle from (20, 10) to (70, 30).
    TestView lowerLeft(channel, 20, 10, 25, 10), lowerRight(channel, 45, 10, 25, 10);
    TestView upperLeft(channel, 20, 20, 25, 10), upperRight(channel, 45, 20, 25, 10);
    lowerLeft.clearTo(1, 0, 0);
    lowerRight.clearTo(0, 1, 0);
    upperLeft.clearTo(0, 0, 1);
    upperRight.clearTo(1, 1, 1);
    const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, white{255, 255, 255}, black{0, 0, 0};

    TestView wide(channel, 20, 10, 50, 20);
    uint64_t bytes = MMLiveBytes();
    Bitmap bitmap{};
    ASSERT_EQ(wide.ops.ReadPixels(&wide.record, &bitmap), 0);
    ASSERT_NE(bitmap.pixels, nullptr);
    EXPECT_EQ(bitmap.width, 50u);
    EXPECT_EQ(bitmap.height, 20u);
    EXPECT_EQ(bitmap.bytesPerLine, 200u);
    EXPECT_EQ(MMLiveBytes() - bytes, 4000u);
    const std::vector<std::tuple<uint32_t, uint32_t, Rgb>> wideProbes = {
        {0, 0, red}, {49, 0, green}, {0, 19, blue}, {49, 19, white},
        {24, 9, red}, {25, 9, green}, {24, 10, blue}, {25, 10, white}};
    for (auto [x, y, colour] : wideProbes) EXPECT_TRUE(Near(PixelOf(bitmap, x, y), colour)) << x << ", " << y;
    MMfree(bitmap.pixels);

    // Tall, across the split at x 45 and beyond the painted rectangle.
    TestView tall(channel, 40, 5, 10, 30);
    bitmap = Bitmap{};
    ASSERT_EQ(tall.ops.ReadPixels(&tall.record, &bitmap), 0);
    ASSERT_NE(bitmap.pixels, nullptr);
    EXPECT_EQ(bitmap.width, 10u);
    EXPECT_EQ(bitmap.height, 30u);
    EXPECT_EQ(bitmap.bytesPerLine, 40u);
    const std::vector<std::tuple<uint32_t, uint32_t, Rgb>> tallProbes = {
        {0, 0, black}, {4, 4, black}, {4, 5, red}, {5, 5, green}, {4, 15, blue}, {5, 15, white},
        {9, 24, white}, {9, 25, black}, {0, 29, black}};
    for (auto [x, y, colour] : tallProbes) EXPECT_TRUE(Near(PixelOf(bitmap, x, y), colour)) << x << ", " << y;
    MMfree(bitmap.pixels);

    // The failure path of a non-square view: the header describes the view,
    // no memory is held.
    uint32_t blocks = MMLiveBlocks();
    bitmap = Bitmap{};
    MMFailNthAllocation(1);
    EXPECT_EQ(tall.ops.ReadPixels(&tall.record, &bitmap), 1);
    EXPECT_EQ(bitmap.pixels, nullptr);
    EXPECT_EQ(bitmap.width, 10u);
    EXPECT_EQ(bitmap.height, 30u);
    EXPECT_EQ(bitmap.bytesPerLine, 40u);
    EXPECT_EQ(bitmap.greenShift, 8u);
    EXPECT_EQ(MMLiveBlocks(), blocks);
}

}  // namespace
