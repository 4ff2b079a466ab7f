// Views: lifecycle, render mode, per-frame set-up and read-back, on the real
// GL and with the call recorder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <cstring>
#include <string>
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
    EXPECT_NEAR(perspective->args[0], 42.971835, 1e-4);
    EXPECT_NEAR(perspective->args[1], 1.3333333, 1e-6);
    EXPECT_NEAR(perspective->args[2], 0.1, 1e-6);
    EXPECT_NEAR(perspective->args[3], 100.0, 1e-6);

    view.ops.SetViewSize(&view.record, 100, 400);
    recorder::Start();
    view.begin(0);
    for (const GlCall& call : recorder::Calls())
        if (call.name == "gluPerspective") perspective = &call;
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

}  // namespace
