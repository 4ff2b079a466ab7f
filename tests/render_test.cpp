// The polygon renderers, materials and light points, on the real GL and
// with the call recorder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "driver/probe.h"
#include "recorder/gl_recorder.h"
#include "render/light_points.h"
#include "render/materials.h"
#include "support/host_image.h"
#include "support/test_object.h"
#include "support/test_texture.h"
#include "support/test_view.h"
#include "texture/texture_store.h"

namespace {

const Rgb kGrey{26, 26, 26};

// A 64 x 64 channel with one orthographic view, one unit per pixel, origin
// at the centre; one white light shines from the eye into the scene.
class RenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(channel.open(), 0);
        view = std::make_unique<TestView>(channel, 0, 0, 64, 64);
        ASSERT_EQ(view->status, 0);
        view->descriptor.orthographic = 1;
        view->descriptor.orthoHalfWidth = 32;
        view->descriptor.orthoHalfHeight = 32;
        lights[0].type = 0;
        lights[0].direction[2] = 1;
        lights[0].colour[0] = lights[0].colour[1] = lights[0].colour[2] = 1;
        environment.lights = lights;
        environment.lightCount = 1;
        view->record.environment = &environment;
        view->record.materialSelection = &selection;
        selection.usePolygonMaterial = 1;
        view->ops.SetEnvironment(&view->record);
    }
    void TearDown() override { recorder::Stop(); }

    // Defines a texture map from the image, without a transparent colour.
    TextureDefinition DefineTexture(HostImage& image, int32_t id, uint32_t flags)
    {
        TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE, flags);
        EXPECT_EQ(channel.ops.DefineTexture(&channel.record, id, &definition, 1), 0);
        return definition;
    }

    // Makes a material white and textured with the id.
    void TexturedWhite(uint32_t index, int32_t id)
    {
        MaterialEntry& material = materials.entries[index];
        material = MaterialEntry{};
        material.colour[0] = material.colour[1] = material.colour[2] = 1;
        material.textured = 1;
        material.textureId = id;
    }

    // Sets the mode, begins a frame, draws the object with the renderer and
    // returns what the view shows.
    Image draw(int renderer, int32_t mode, GeometryBlock* block)
    {
        view->ops.SetRenderMode(&view->record, mode);
        view->clearTo(0.1f, 0.1f, 0.1f, mode);
        kRendererTable[renderer](&view->record, nullptr, block);
        return channel.drawn();
    }

    // Sets the mode, begins a frame and draws the object with the renderer,
    // recording the GL calls from the draw on.
    void recordDraw(int renderer, int32_t mode, GeometryBlock* block)
    {
        view->ops.SetRenderMode(&view->record, mode);
        view->begin(0);
        recorder::Start();
        kRendererTable[renderer](&view->record, nullptr, block);
    }

    TestChannel channel{64, 64};
    std::unique_ptr<TestView> view;
    LightRecord lights[1]{};
    Environment environment{};
    MaterialSelection selection{};
    TestMaterials materials{4};
};

int32_t ModeOf(int renderer) { return (renderer / 4 == 0 ? 1 : renderer / 4 == 1 ? 2 : 0) | (renderer % 2 ? 0x10 : 0); }

TEST_F(RenderTest, EveryRendererDrawsTheSquareWhereAndInTheColourExpected)
{
    // A filled square with its edges on pixel boundaries covers columns and
    // rows 22 to 41; an outline through pixel centres lights 22 and 41. No
    // probe lies on a filled edge or between two pixels of a line, where GL
    // leaves the choice to the implementation, so a square one pixel off
    // fails on every GL.
    TestObject filled, outline;
    for (auto [object, half] : {std::pair{&filled, 10.0f}, std::pair{&outline, 9.5f}}) {
        PolygonRecord& square = object->square(half, 5, 1);
        square.facetColour[1] = 1;
        for (PolygonCorner& corner : square.corners) corner.colour[2] = 1;
    }
    materials.entries[1].colour[0] = 1;  // red, fully diffuse
    for (bool preLit : {false, true}) {
        for (int renderer = 0; renderer < kRendererCount; ++renderer) {
            SCOPED_TRACE(testing::Message() << "renderer " << renderer << (preLit ? " pre-lit" : " lit"));
            int group = renderer / 4;
            Rgb expected = {255, 0, 0};
            if (preLit && group == 1) expected = {0, 255, 0};
            if (preLit && group == 2) expected = {0, 0, 255};
            bool outlined = renderer % 2 == 1;
            GeometryBlock* block = (outlined ? outline : filled).finish(preLit);
            Image image = draw(renderer, ModeOf(renderer), block);
            EXPECT_TRUE(Near(image.at(32, 32), outlined ? kGrey : expected, 3)) << "centre";
            EXPECT_TRUE(Near(image.at(22, 32), expected, 3)) << "left edge";
            EXPECT_TRUE(Near(image.at(32, 41), expected, 3)) << "top edge";
            EXPECT_TRUE(Near(image.at(21, 32), kGrey, 3)) << "left of the left edge";
            EXPECT_TRUE(Near(image.at(32, 42), kGrey, 3)) << "above the top edge";
            if (renderer % 4 >= 2) {
                Image immediate = draw(renderer - 2, ModeOf(renderer), block);
                EXPECT_EQ(image.rgba, immediate.rgba) << "vertex arrays give the same pixels";
            }
        }
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(RenderTest, ObjectMatrixPlacesTheVertices)
{
    TestObject object;
    object.square(2, 5);
    object.matrix[3] = 5;  // five units to the right
    Image image = draw(0, 1, object.finish());
    EXPECT_TRUE(Near(image.at(37, 32), {255, 0, 0}, 3));
    EXPECT_TRUE(Near(image.at(32, 32), kGrey, 3));
}

TEST_F(RenderTest, BackFacesAreRemovedOnlyWhenTheModeAsks)
{
    TestObject object;
    object.square(10, 5);
    PolygonRecord& away = object.polygons[0];
    away.plane[2] = 1;
    away.plane[3] = -5;  // the eye is behind it
    GeometryBlock* block = object.finish();
    EXPECT_TRUE(Near(draw(0, 1, block).at(32, 32), {255, 0, 0}, 3));
    EXPECT_TRUE(Near(draw(0, 1 | ZQGD_MODE_BACK_FACES, block).at(32, 32), kGrey, 3));

    recorder::Start();
    away.plane[2] = 0;
    away.plane[3] = 0;  // the eye lies in the plane
    kRendererTable[0](&view->record, nullptr, block);
    EXPECT_EQ(recorder::Count("glBegin"), 1u);
    away.plane[3] = -0.0001f;
    recorder::Start();
    kRendererTable[0](&view->record, nullptr, block);
    EXPECT_EQ(recorder::Count("glBegin"), 0u);
    away.plane[3] = std::nanf("");
    recorder::Start();
    kRendererTable[0](&view->record, nullptr, block);
    EXPECT_EQ(recorder::Count("glBegin"), 0u);

    // A view whose mode was never set draws with entry 0 and removes back faces.
    TestView fresh(channel, 0, 0, 64, 64);
    EXPECT_EQ(fresh.ops.DrawPolygons, kRendererTable[0]);
    EXPECT_EQ(fresh.descriptor.renderMode & ZQGD_MODE_BACK_FACES, ZQGD_MODE_BACK_FACES);
}

// The corners between each glBegin and glEnd: by the x of glVertex3fv (the
// objects lay vertex i at x = i) or by the index of glArrayElement. A corner
// sent outside any primitive is listed under mode -1.
std::vector<std::pair<double, std::vector<int>>> Primitives()
{
    std::vector<std::pair<double, std::vector<int>>> primitives;
    for (const GlCall& call : recorder::Calls()) {
        if (call.name == "glBegin") primitives.push_back({call.args[0], {}});
        if (call.name != "glVertex3fv" && call.name != "glArrayElement") continue;
        if (primitives.empty()) primitives.push_back({-1, {}});
        primitives.back().second.push_back(static_cast<int>(call.args[0]));
    }
    return primitives;
}

TEST_F(RenderTest, OutlinesLeaveOutHiddenEdges)
{
    TestObject object;
    // Vertex i lies at x = i, so the recorded x names the corner.
    for (int i = 0; i < 4; ++i) object.vertex(static_cast<float>(i), 0, 5);
    struct Case {
        std::vector<uint32_t> corners;
        uint16_t hidden;
        int32_t extra;
        GLenum primitive;
        std::vector<int> emitted;
    };
    const Case cases[] = {
        {{0, 1, 2}, 0, 0, GL_LINE_LOOP, {0, 1, 2}},
        {{0, 1, 2}, 2, 0, GL_LINES, {0, 1, 2, 0}},
        {{0, 1, 2}, 7, 0, GL_LINES, {}},
        {{0, 1, 2}, 7, ZQGD_MODE_ALL_EDGES, GL_LINE_LOOP, {0, 1, 2}},
        {{0, 1, 2, 3}, 8, 0, GL_LINES, {0, 1, 1, 2, 2, 3}},
        {{0, 1}, 0, 0, GL_LINE_LOOP, {0, 1}},
        {{0, 1}, 2, 0, GL_LINES, {0, 1}},
        {{0, 1}, 1, 0, GL_LINES, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.corners.size() << " corners, hidden " << c.hidden);
        object.polygons.clear();
        object.polygon(c.corners).hiddenEdges = c.hidden;
        GeometryBlock* block = object.finish();
        view->ops.SetRenderMode(&view->record, 0x11 | c.extra);
        recorder::Start();
        kRendererTable[1](&view->record, nullptr, block);
        auto primitives = Primitives();
        ASSERT_EQ(primitives.size(), 1u);
        EXPECT_EQ(primitives[0].first, c.primitive);
        EXPECT_EQ(primitives[0].second, c.emitted);
    }

    // A corner count above four reads no further than the record's corners.
    object.polygons.clear();
    object.polygon({0, 1, 2, 3}).vertexCount = 9;
    GeometryBlock* block = object.finish();
    recorder::Start();
    kRendererTable[1](&view->record, nullptr, block);
    auto primitives = Primitives();
    ASSERT_EQ(primitives.size(), 1u);
    EXPECT_EQ(primitives[0].second, (std::vector<int>{0, 1, 2, 3}));
    // And the fill renderers skip it after its colour step.
    recorder::Start();
    kRendererTable[0](&view->record, nullptr, block);
    EXPECT_EQ(recorder::Count("glBegin"), 0u);
    EXPECT_EQ(recorder::Count("glColor4fv"), 1u);
}

TEST_F(RenderTest, CallSequencesOfTheThreeExamples)
{
    HostImage image(2, 2, 32, 0xFF, 0xFF00, 0xFF0000);
    DefineTexture(image, 3, 0);
    materials.entries[2].textured = 1;
    materials.entries[2].textureId = 3;

    TestObject triangle;
    uint32_t a = triangle.vertex(0, 0, 5), b = triangle.vertex(1, 0, 5), c = triangle.vertex(0, 1, 5);
    triangle.polygon({a, b, c}, 2);
    triangle.polygon({a, b, c}, 2);
    GeometryBlock* block = triangle.finish();
    for (int renderer : {8, 10}) {
        recordDraw(renderer, 0, block);
        std::vector<std::string> names = recorder::Names();
        auto begin = std::find(names.begin(), names.end(), "glBegin");
        ASSERT_NE(begin, names.end());
        std::vector<std::string> before(names.begin(), begin);
        EXPECT_EQ(std::count(before.begin(), before.end(), "glMaterialfv"), 4) << "ApplyMaterial";
        EXPECT_EQ(std::count(before.begin(), before.end(), "glBindTexture"), 1) << "SelectTexture";
        const std::string position = renderer == 8 ? "glVertex3fv" : "glArrayElement";
        std::vector<std::string> polygon(begin, names.end());
        std::vector<std::string> expected = {"glBegin"};
        for (int i = 0; i < 3; ++i) expected.insert(expected.end(), {"glTexCoord2fv", "glNormal3fv", position});
        expected.push_back("glEnd");
        // The second polygon shares material and texture: no call between.
        std::vector<std::string> twice = expected;
        twice.insert(twice.end(), expected.begin(), expected.end());
        twice.push_back("glPopMatrix");
        EXPECT_EQ(polygon, twice) << "renderer " << renderer;
        EXPECT_EQ(recorder::Count("glBegin", {GL_TRIANGLES}), 2u);
    }

    // An untextured facet quad, lit.
    TestObject quad;
    quad.square(5, 5, 1);
    recordDraw(4, 2, quad.finish());
    std::vector<std::string> names = recorder::Names();
    auto begin = std::find(names.begin(), names.end(), "glBegin");
    EXPECT_EQ(std::vector<std::string>(begin, names.end()),
              (std::vector<std::string>{"glBegin", "glNormal3fv", "glVertex3fv", "glVertex3fv", "glVertex3fv",
                                        "glVertex3fv", "glEnd", "glPopMatrix"}));
    EXPECT_EQ(recorder::Count("glBegin", {GL_QUADS}), 1u);
    EXPECT_EQ(recorder::Count("glNormal3fv", {0, 0, -1}), 1u);
    EXPECT_EQ(recorder::Count("glColor4fv"), 0u) << "lit polygons send no colour";

    // An outlined unlit quad.
    recordDraw(1, 0x11, quad.finish());
    names = recorder::Names();
    begin = std::find(names.begin(), names.end(), "glColor3fv");
    EXPECT_EQ(std::vector<std::string>(begin, names.end()),
              (std::vector<std::string>{"glColor3fv", "glBegin", "glVertex3fv", "glVertex3fv", "glVertex3fv",
                                        "glVertex3fv", "glEnd", "glPopMatrix"}));
    EXPECT_EQ(recorder::Count("glBegin", {GL_LINE_LOOP}), 1u);
}

TEST_F(RenderTest, TexturesAndTheirCoordinateTransform)
{
    HostImage image(2, 2, 32, 0xFF, 0xFF00, 0xFF0000);
    image.set(0, 0, 0x0000FF);  // red, bottom left
    image.set(1, 0, 0x00FF00);  // green
    image.set(0, 1, 0xFF0000);  // blue
    image.set(1, 1, 0xFFFFFF);  // white
    TextureDefinition definition =
        DefineTexture(image, 7, ZQGD_TEXTURE_MODULATE | ZQGD_TEXTURE_CLAMP_S | ZQGD_TEXTURE_CLAMP_T);
    TexturedWhite(1, 7);
    TestObject object;
    object.square(20, 5, 1);
    Image drawn = draw(0, 1, object.finish());
    EXPECT_TRUE(Near(drawn.at(22, 22), {255, 0, 0}, 3));
    EXPECT_TRUE(Near(drawn.at(42, 22), {0, 255, 0}, 3));
    EXPECT_TRUE(Near(drawn.at(22, 42), {0, 0, 255}, 3));
    EXPECT_TRUE(Near(drawn.at(42, 42), {255, 255, 255}, 3));

    // Coordinates scaled by a quarter all fall into the red texel.
    definition.textureMatrix[0] = definition.textureMatrix[4] = 0.25f;
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 7, &definition, 0), 0);
    drawn = draw(0, 1, object.finish());
    EXPECT_TRUE(Near(drawn.at(42, 42), {255, 0, 0}, 3));

    // Rows (2, 0, 0.5 / 0, 1, 0) map (0.25, 0.75) to (1.0, 0.75).
    const float rows[9] = {2, 0, 0.5f, 0, 1, 0, 0, 0, 1};
    std::memcpy(definition.textureMatrix, rows, sizeof rows);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 7, &definition, 0), 0);
    object.polygons[0].corners[0].texCoord[0] = 0.25f;
    object.polygons[0].corners[0].texCoord[1] = 0.75f;
    view->begin(0);
    recorder::Start();
    kRendererTable[0](&view->record, nullptr, object.finish());
    EXPECT_EQ(recorder::Count("glTexCoord2fv", {1.0, 0.75}), 1u);
}

TEST_F(RenderTest, TransparentMaterialsBlend)
{
    materials.entries[1].transparency = 0.5f;
    TestObject object;
    object.square(10, 5, 1);
    view->ops.SetRenderMode(&view->record, 1);
    view->clearTo(1, 1, 1, 1);
    kRendererTable[0](&view->record, nullptr, object.finish());
    EXPECT_TRUE(Near(channel.drawn().at(32, 32), {255, 128, 128}, 3));
    EXPECT_EQ(channel.state()->blendEnabled, 1);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
}

TEST_F(RenderTest, MaterialsFollowTheSelectionAndTheCache)
{
    MaterialEntry& entry = materials.entries[3];
    entry = MaterialEntry{};
    entry.colour[0] = 1;
    entry.colour[1] = 0.5f;
    entry.ambientFactor = 0.2f;
    entry.diffuseFactor = 0.8f;
    entry.specular = 0.5f;
    entry.shininess = 20;
    PolygonRecord polygon{};
    polygon.materialIndex = 3;
    EXPECT_EQ(LookupMaterial(&selection, &polygon), &entry);
    polygon.materialIndex = 4;
    EXPECT_EQ(LookupMaterial(&selection, &polygon), &materials.entries[0]) << "beyond the highest index: entry 0";
    selection.usePolygonMaterial = 0;
    selection.defaultMaterial = 3;
    EXPECT_EQ(LookupMaterial(&selection, &polygon), &entry);
    LightPointRecord point{};
    point.materialIndex = 1;
    EXPECT_EQ(LookupLightPointMaterial(&selection, &point), &entry);
    selection.usePolygonMaterial = 1;

    view->begin(0);
    recorder::Start();
    ApplyMaterial(channel.state(), view->state(), &entry);
    ApplyMaterial(channel.state(), view->state(), &entry);
    EXPECT_EQ(recorder::Count("glMaterialfv"), 4u) << "the second application is cached";
    EXPECT_EQ(recorder::Count("glMaterialfv", {GL_FRONT, GL_AMBIENT, 0.2f, 0.1f, 0, 1}), 1u);
    EXPECT_EQ(recorder::Count("glMaterialfv", {GL_FRONT, GL_DIFFUSE, 0.8f, 0.4f, 0, 1}), 1u);
    EXPECT_EQ(recorder::Count("glMaterialfv", {GL_FRONT, GL_SPECULAR, 0.5, 0.5, 0.5, 1}), 1u);
    EXPECT_EQ(recorder::Count("glMaterialf", {GL_FRONT, GL_SHININESS, 20}), 1u);
    view->begin(0);
    recorder::Start();
    ApplyMaterial(channel.state(), view->state(), &entry);
    EXPECT_EQ(recorder::Count("glMaterialfv"), 4u) << "a new frame loads it again";

    for (auto [transparency, alpha, blend] : {std::tuple{0.25f, 0.75f, 1}, {0.0f, 1.0f, 0}, {-1.0f, 1.0f, 0}}) {
        entry.transparency = transparency;
        EXPECT_EQ(MaterialAlpha(channel.state(), &entry), alpha);
        EXPECT_EQ(channel.state()->blendEnabled, blend);
    }
}

TEST_F(RenderTest, PreLitBlocksSendTheirColoursWithLightingOff)
{
    TestObject object;
    PolygonRecord& square = object.square(10, 5, 1);
    square.facetColour[0] = 0.25f;
    materials.entries[1].transparency = 0.5f;
    GeometryBlock* block = object.finish(true);
    recordDraw(4, 2, block);
    EXPECT_EQ(recorder::Count("glColor4fv", {0.25, 0, 0, 0.5}), 1u);
    EXPECT_EQ(recorder::Count("glNormal3fv"), 0u);
    EXPECT_EQ(recorder::Count("glEnable", {GL_LIGHTING}), 0u);
    EXPECT_EQ(channel.state()->lightingEnabled, 0);

    // A smooth outline sends alpha 1 with every corner colour.
    recordDraw(9, 0x10, block);
    EXPECT_EQ(recorder::Count("glColor4fv"), 4u);
    for (const GlCall& call : recorder::Calls()) {
        if (call.name == "glColor4fv") {
            EXPECT_EQ(call.args[3], 1.0);
        }
    }
}

TEST_F(RenderTest, ArrayRenderersPassTheCountToTheExtensionForm)
{
    static GLsizei seenCount = -1;
    CapabilityEntryPoints saved = capabilities;
    capabilities.vertexPointer = nullptr;
    capabilities.vertexPointerExt = [](GLint size, GLenum type, GLsizei stride, GLsizei count, const void* pointer) {
        seenCount = count;
        glVertexPointer(size, type, stride, pointer);
    };
    TestObject object;
    object.square(10, 5);
    object.vertex(0, 0, 0);
    Image image = draw(2, 1, object.finish());
    capabilities = saved;
    EXPECT_EQ(seenCount, 5);
    EXPECT_TRUE(Near(image.at(32, 32), {255, 0, 0}, 3));
}

// A light point at the centre of the view, in yellow.
class LightPointTest : public RenderTest {
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        if (HasFatalFailure()) return;
        materials.entries[2].emission[0] = materials.entries[2].emission[1] = 1;
        object.vertex(0, 0, 5);
        LightPointRecord point{};
        point.vertexIndex = 0;
        point.size = 10;
        point.materialIndex = 2;
        object.lightPoints.push_back(point);
    }
    BeaconSector* sector(bool horizontal)
    {
        auto* bytes = horizontal ? object.lightPoints[0].horizontalSector : object.lightPoints[0].verticalSector;
        return reinterpret_cast<BeaconSector*>(bytes);
    }
    TestObject object;
};

TEST_F(LightPointTest, VisiblePointsAreSpheresInTheirEmissionColour)
{
    Image image = draw(8, 0, object.finish());
    EXPECT_TRUE(Near(image.at(32, 32), {255, 255, 0}, 3));
    EXPECT_TRUE(Near(image.at(32, 45), kGrey, 3));
    EXPECT_EQ(channel.state()->lightingEnabled, 0);
    EXPECT_EQ(channel.state()->blendEnabled, 0);

    // Dark in this frame: not drawn.
    BeaconFlash flash{1000, 500, 0};
    std::memcpy(object.lightPoints[0].flash, &flash, sizeof flash);
    view->ops.SetRenderMode(&view->record, 0);
    view->clearTo(0.1f, 0.1f, 0.1f, 0);
    static const float identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    view->ops.BeginView(&view->record, 700, identity, ZQGD_CLEAR_COLOUR);
    kRendererTable[8](&view->record, nullptr, object.finish());
    EXPECT_TRUE(Near(channel.drawn().at(32, 32), kGrey, 3));

    // Lit again, but seen from outside its horizontal sector.
    view->ops.BeginView(&view->record, 1200, identity, ZQGD_CLEAR_COLOUR);
    *sector(true) = {0.0f, 0.5f};  // shines towards +z, away from the eye
    kRendererTable[8](&view->record, nullptr, object.finish());
    EXPECT_TRUE(Near(channel.drawn().at(32, 32), kGrey, 3));
}

TEST_F(LightPointTest, SectorFactorsScaleTheSphere)
{
    // The eye looks at the point from heading pi and elevation 0; each sector
    // ends half a fade (1.5 degrees) before that, giving factors 0.5.
    const float fade = 0.05235988f, half = 0.1f;
    *sector(true) = {3.14159265f - half - fade / 2, half};
    *sector(false) = {half + fade / 2, half};
    object.lightPoints[0].size = 2;
    recordDraw(8, 0, object.finish());
    ASSERT_EQ(recorder::Count("gluSphere"), 1u);
    for (const GlCall& call : recorder::Calls()) {
        if (call.name == "gluSphere") {
            EXPECT_NEAR(call.args[0], 0.25, 1e-4);
            EXPECT_EQ(call.args[1], 4);
            EXPECT_EQ(call.args[2], 4);
        }
    }
    EXPECT_EQ(recorder::Count("glShadeModel", {GL_FLAT}), 1u) << "smooth renderers bracket the points";
    EXPECT_EQ(recorder::Count("glShadeModel", {GL_SMOOTH}), 1u);
    EXPECT_EQ(recorder::Count("glTranslatef", {0, 0, 5}), 1u);

    view->ops.SetRenderMode(&view->record, 1);
    recorder::Start();
    kRendererTable[0](&view->record, nullptr, object.finish());
    EXPECT_EQ(recorder::Count("glShadeModel"), 0u);

    // Factor 0 in the horizontal sector: not drawn.
    *sector(true) = {0.0f, half};
    recorder::Start();
    kRendererTable[0](&view->record, nullptr, object.finish());
    EXPECT_EQ(recorder::Count("gluSphere"), 0u);
}

TEST_F(RenderTest, CacheHitAfterAnOutlineStillDrawsTextured)
{
    HostImage image(2, 2, 32, 0xFF, 0xFF00, 0xFF0000);
    for (uint32_t i = 0; i < 4; ++i) image.set(i % 2, i / 2, 0x00FF00);
    DefineTexture(image, 4, ZQGD_TEXTURE_MODULATE);
    TexturedWhite(1, 4);
    TestObject object;
    object.square(10, 5, 1);
    GeometryBlock* block = object.finish();
    view->ops.SetRenderMode(&view->record, 1);
    view->clearTo(0.1f, 0.1f, 0.1f, 1);
    kRendererTable[0](&view->record, nullptr, block);
    kRendererTable[1](&view->record, nullptr, block);  // switches texturing off
    kRendererTable[0](&view->record, nullptr, block);
    EXPECT_EQ(channel.state()->textureEnabled, 1);
    EXPECT_TRUE(Near(channel.drawn().at(30, 30), {0, 255, 0}, 3));
}

// The hit re-establishes alpha testing from what the view cached of the
// texture, not only texturing.
TEST_F(RenderTest, CacheHitAfterAnOutlineStillCutsOutTheTransparentColour)
{
    HostImage image(2, 2, 32, 0xFF, 0xFF00, 0xFF0000);
    image.set(0, 0, 0x00FF00);
    image.set(1, 0, 0x00FF00);
    TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE, ZQGD_TEXTURE_MODULATE, 0, 0, 0);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 4, &definition, 1), 0);
    TexturedWhite(1, 4);
    HostImage plain(2, 2, 32, 0xFF, 0xFF00, 0xFF0000);
    DefineTexture(plain, 5, ZQGD_TEXTURE_MODULATE);
    TestObject object;
    object.square(10, 5, 1);
    GeometryBlock* block = object.finish();
    view->ops.SetRenderMode(&view->record, 1);
    view->clearTo(0.1f, 0.1f, 0.1f, 1);
    for (int32_t id : {4, 5}) {
        SCOPED_TRACE(id);
        TexturedWhite(1, id);
        kRendererTable[0](&view->record, nullptr, block);
        kRendererTable[1](&view->record, nullptr, block);  // switches alpha testing off
        ASSERT_EQ(channel.state()->alphaTestEnabled, 0);
        kRendererTable[0](&view->record, nullptr, block);
        EXPECT_EQ(channel.state()->alphaTestEnabled, id == 4 ? 1 : 0);
        EXPECT_EQ(glIsEnabled(GL_ALPHA_TEST), id == 4 ? GL_TRUE : GL_FALSE);
    }
}

TEST_F(RenderTest, CachedTransparentMaterialStillBlendsAfterAnOutline)
{
    materials.entries[1].transparency = 0.5f;
    TestObject object;
    object.square(10, 5, 1);
    GeometryBlock* block = object.finish();
    view->ops.SetRenderMode(&view->record, 0);
    view->clearTo(1, 1, 1, 0);
    kRendererTable[8](&view->record, nullptr, block);
    kRendererTable[1](&view->record, nullptr, block);  // an unlit outline switches blending off
    EXPECT_EQ(channel.state()->blendEnabled, 0);
    recorder::Start();
    kRendererTable[8](&view->record, nullptr, block);
    EXPECT_EQ(recorder::Count("glMaterialfv"), 0u) << "the material stays cached";
    EXPECT_EQ(recorder::Count("glEnable", {GL_BLEND}), 1u);
    EXPECT_EQ(channel.state()->blendEnabled, 1);
}

TEST_F(RenderTest, UndefinedTexturesAreRequestedOncePerRun)
{
    static int calls = 0;
    calls = 0;
    channel.state()->textureLoad = [](int32_t, TextureDefinition*) -> int32_t {
        ++calls;
        return 1;
    };
    materials.entries[1].textured = 1;
    materials.entries[1].textureId = 99;
    TestObject object;
    object.square(5, 5, 1);
    object.square(3, 5, 1);
    object.square(2, 5, 1);
    view->ops.SetRenderMode(&view->record, 1);
    view->begin(0);
    kRendererTable[0](&view->record, nullptr, object.finish());
    EXPECT_EQ(calls, 1);
    view->begin(0);
    kRendererTable[0](&view->record, nullptr, object.finish());
    EXPECT_EQ(calls, 2) << "asked again in the next frame";
}

// ---- Details a host relies on ------------------------------------------------

TEST_F(RenderTest, UnlitRenderersSwitchLightingOff)
{
    // A black light: the lit square is black, the unlit one red.
    lights[0].colour[0] = lights[0].colour[1] = lights[0].colour[2] = 0;
    view->ops.SetEnvironment(&view->record);
    TestObject object;
    object.square(9.5f, 5, 1);
    GeometryBlock* block = object.finish();
    for (int renderer : {0, 1, 2, 3}) {
        SCOPED_TRACE(renderer);
        Image lit = draw(4, ModeOf(4), block);
        ASSERT_TRUE(Near(lit.at(32, 32), {0, 0, 0}, 3)) << "lit by a black light";
        ASSERT_EQ(channel.state()->lightingEnabled, 1);
        kRendererTable[renderer](&view->record, nullptr, block);
        // The outline passes through the centres of column 22.
        EXPECT_TRUE(Near(channel.drawn().at(renderer % 2 ? 22 : 32, 32), {255, 0, 0}, 3));
        EXPECT_EQ(channel.state()->lightingEnabled, 0);
        EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    }
}

TEST_F(RenderTest, OutlinesSwitchTexturingBlendingAlphaTestOffInThatOrder)
{
    TestObject object;
    object.square(5, 5, 1);
    GeometryBlock* block = object.finish();
    for (int renderer : {1, 5, 9}) {
        SCOPED_TRACE(renderer);
        view->ops.SetRenderMode(&view->record, ModeOf(renderer));
        view->begin(0);
        ChannelState* state = channel.state();
        for (GLenum capability : {GL_TEXTURE_2D, GL_BLEND, GL_ALPHA_TEST, GL_LIGHTING}) glEnable(capability);
        state->textureEnabled = state->blendEnabled = state->alphaTestEnabled = state->lightingEnabled = 1;
        recorder::Start();
        kRendererTable[renderer](&view->record, nullptr, block);
        recorder::Stop();
        std::vector<GlCall> disables = recorder::CallsNamed("glDisable");
        std::vector<double> order;
        for (const GlCall& call : disables) order.push_back(call.args[0]);
        std::vector<double> expected = {GL_TEXTURE_2D, GL_BLEND, GL_ALPHA_TEST};
        if (renderer == 1) expected.push_back(GL_LIGHTING);
        EXPECT_EQ(order, expected);
        std::vector<std::string> names = recorder::Names();
        ASSERT_FALSE(names.empty());
        EXPECT_EQ(names.front(), "glDisable") << "before the object matrix";
    }
}

TEST_F(RenderTest, ObjectMatrixGoesToGlTransposedWithItsTranslation)
{
    TestObject object;
    object.square(2, 5);
    const float matrix[12] = {0, -2, 0, 3, 1, 0, 0.5f, 4, 0, 0, 1, 5};
    std::memcpy(object.matrix, matrix, sizeof matrix);
    recordDraw(0, 1, object.finish());
    std::vector<GlCall> multiplied = recorder::CallsNamed("glMultMatrixf");
    ASSERT_EQ(multiplied.size(), 1u);
    EXPECT_EQ(multiplied[0].args,
              (std::vector<double>{0, 1, 0, 0, -2, 0, 0, 0, 0, 0.5, 1, 0, 3, 4, 5, 1}));
}

TEST_F(RenderTest, LitOutlinesAndFillsSendThePlaneOrTheCornerNormals)
{
    TestObject object;
    PolygonRecord& square = object.square(5, 5, 1);
    square.plane[0] = 0.6f;
    square.plane[2] = -0.8f;
    const float normals[4][3] = {{0.1f, 0, -1}, {0.2f, 0, -1}, {0.3f, 0, -1}, {0.4f, 0, -1}};
    for (int i = 0; i < 4; ++i) std::memcpy(square.corners[i].normal, normals[i], sizeof normals[i]);
    GeometryBlock* block = object.finish();
    for (int renderer : {4, 5, 8, 9}) {
        SCOPED_TRACE(renderer);
        recordDraw(renderer, ModeOf(renderer), block);
        std::vector<GlCall> sent = recorder::CallsNamed("glNormal3fv");
        if (renderer < 8) {
            ASSERT_EQ(sent.size(), 1u);
            EXPECT_NEAR(sent[0].args[0], 0.6, 1e-6);
            EXPECT_NEAR(sent[0].args[2], -0.8, 1e-6);
        } else {
            ASSERT_EQ(sent.size(), 4u);
            for (int i = 0; i < 4; ++i) EXPECT_NEAR(sent[i].args[0], normals[i][0], 1e-6) << "corner " << i;
        }
    }
}

TEST_F(RenderTest, TwoCornerPolygonsAreLinesInTheFillRenderers)
{
    TestObject object;
    uint32_t a = object.vertex(-5, 0, 5), b = object.vertex(5, 0, 5);
    object.polygon({a, b}, 1);
    GeometryBlock* block = object.finish();
    for (int renderer : {0, 2, 4, 6, 8, 10}) {
        SCOPED_TRACE(renderer);
        recordDraw(renderer, ModeOf(renderer), block);
        EXPECT_EQ(recorder::Count("glBegin", {GL_LINES}), 1u);
        EXPECT_EQ(recorder::Count(renderer % 4 == 2 ? "glArrayElement" : "glVertex3fv"), 2u);
    }
}

TEST_F(RenderTest, TheTextureEnvironmentFollowsTheBind)
{
    HostImage red(2, 2, 32, 0xFF, 0xFF00, 0xFF0000);
    for (uint32_t i = 0; i < 4; ++i) red.set(i % 2, i / 2, 0x0000FF);
    DefineTexture(red, 4, 0);  // GL_DECAL: the texture's own colour
    materials.entries[1] = MaterialEntry{};
    materials.entries[1].colour[1] = 1;  // green: under GL_MODULATE, black
    materials.entries[1].textured = 1;
    materials.entries[1].textureId = 4;
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    TestObject object;
    object.square(9.5f, 5, 1);
    recorder::Start();
    Image image = draw(0, 1, object.finish());
    EXPECT_TRUE(Near(image.at(32, 32), {255, 0, 0}, 3));
    std::vector<std::string> names = recorder::Names();
    auto bind = std::find(names.begin(), names.end(), "glBindTexture");
    ASSERT_NE(bind, names.end());
    ASSERT_NE(bind + 1, names.end());
    EXPECT_EQ(*(bind + 1), "glTexEnvi");
    EXPECT_EQ(recorder::Count("glTexEnvi", {GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL}), 1u);
}

TEST_F(RenderTest, AlphaOfPreLitSmoothFillsAndOfTheEmission)
{
    materials.entries[1].transparency = 0.25f;
    TestObject object;
    object.square(5, 5, 1);
    recordDraw(8, ModeOf(8), object.finish(true));
    std::vector<GlCall> colours = recorder::CallsNamed("glColor4fv");
    ASSERT_EQ(colours.size(), 4u);
    for (const GlCall& call : colours) EXPECT_NEAR(call.args[3], 0.75, 1e-6);
    view->begin(0);
    recorder::Start();
    kRendererTable[8](&view->record, nullptr, object.finish(false));
    for (const GlCall& call : recorder::CallsNamed("glMaterialfv")) EXPECT_NEAR(call.args[5], 0.75, 1e-6) << call.args[1];
    EXPECT_EQ(recorder::Count("glMaterialfv", {GL_FRONT, GL_EMISSION}), 1u);
}

TEST_F(RenderTest, BackFaceSumIsFormedInDoublePrecision)
{
    // In single precision 16777216 - 0.5 rounds to 16777216 and the sum is 0
    // (drawn); in double it is -0.5 (a back face).
    TestObject object;
    PolygonRecord& square = object.square(5, 5, 1);
    square.plane[0] = 1;
    square.plane[1] = 0;
    square.plane[2] = 1;
    square.plane[3] = -16777216.0f;
    object.eye[0] = 16777216.0f;
    object.eye[2] = -0.5f;
    recordDraw(0, 0x1001, object.finish());
    EXPECT_EQ(recorder::Count("glBegin"), 0u);
}

TEST_F(RenderTest, TextureIdMinusOneHitsTheCacheAtTheStartOfAFrame)
{
    static int requests = 0;
    requests = 0;
    channel.state()->textureLoad = [](int32_t, TextureDefinition*) -> int32_t {
        ++requests;
        return 1;
    };
    materials.entries[1].textured = 1;
    materials.entries[1].textureId = -1;
    TestObject object;
    object.square(5, 5, 1);
    recordDraw(0, 1, object.finish());
    EXPECT_EQ(requests, 0);
    EXPECT_EQ(recorder::Count("glDisable", {GL_TEXTURE_2D}), 0u) << "the enables are not touched";
    EXPECT_EQ(channel.state()->textureEnabled, 1);
}

TEST_F(RenderTest, NanTransparencyIsDrawnOpaque)
{
    materials.entries[1].transparency = std::nanf("");
    TestObject object;
    object.square(5, 5, 1);
    glEnable(GL_BLEND);
    channel.state()->blendEnabled = 1;
    recordDraw(0, 1, object.finish());
    std::vector<GlCall> colours = recorder::CallsNamed("glColor4fv");
    ASSERT_EQ(colours.size(), 1u);
    EXPECT_EQ(colours[0].args[3], 1.0);
    EXPECT_EQ(channel.state()->blendEnabled, 0);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(RenderTest, SelectTextureComesAfterApplyMaterial)
{
    HostImage image(2, 2, 32, 0xFF, 0xFF00, 0xFF0000);
    DefineTexture(image, 3, ZQGD_TEXTURE_MODULATE);
    TexturedWhite(1, 3);
    TestObject object;
    object.square(5, 5, 1);
    for (int renderer : {4, 8}) {
        recordDraw(renderer, ModeOf(renderer), object.finish());
        std::vector<std::string> names = recorder::Names();
        auto material = std::find(names.begin(), names.end(), "glMaterialf");
        auto bind = std::find(names.begin(), names.end(), "glBindTexture");
        ASSERT_NE(material, names.end());
        ASSERT_NE(bind, names.end());
        EXPECT_LT(material - names.begin(), bind - names.begin()) << renderer;
    }
}

TEST_F(RenderTest, AChannelWithoutTextureCallbackDrawsUntextured)
{
    HWND window = ZqCreateWindow(32, 32, "no callback");
    ChannelRecord record{};
    ChannelRequest request{0, 32, 32, 0, 0, 2, 0, 0, &window};
    ChannelOps ops{};
    ASSERT_EQ(ZqGDOpenChannel(&record, &request, &ops, nullptr), 0);
    {
        ViewDescriptor descriptor{};
        descriptor.nearPlane = 0.1f;
        descriptor.farPlane = 100;
        descriptor.orthographic = 1;
        descriptor.orthoHalfWidth = descriptor.orthoHalfHeight = 16;
        ViewRecord other{nullptr, &selection, 0, &descriptor, &record};
        ViewOps viewOps{};
        ASSERT_EQ(ops.OpenView(&other, &viewOps), 0);
        viewOps.SetViewSize(&other, 32, 32);
        viewOps.SetRenderMode(&other, 1);
        materials.entries[1].textured = 1;
        materials.entries[1].textureId = 12;
        TestObject object;
        object.square(4, 5, 1);
        static const float identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
        viewOps.BeginView(&other, 0, identity, ZQGD_CLEAR_COLOUR);
        viewOps.DrawPolygons(&other, nullptr, object.finish());
        EXPECT_EQ(StateOf(&record)->textureEnabled, 0) << "drawn untextured";
        viewOps.CloseView(&other);
    }
    ops.CloseChannel(&record);
    ZqDestroyWindow(window);
}

TEST_F(LightPointTest, PointsFollowTheSelectionAndAskNoSectorWhenDark)
{
    selection.usePolygonMaterial = 0;
    selection.defaultMaterial = 3;
    materials.entries[3].emission[2] = 1;  // blue
    Image image = draw(0, 1, object.finish());
    EXPECT_TRUE(Near(image.at(32, 32), {0, 0, 255}, 3)) << "the default material's emission";

    BeaconFlash flash{1000, 500, 0};
    std::memcpy(object.lightPoints[0].flash, &flash, sizeof flash);
    static const float identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    view->ops.BeginView(&view->record, 700, identity, ZQGD_CLEAR_COLOUR);
    recorder::Start();
    kRendererTable[0](&view->record, nullptr, object.finish());
    EXPECT_EQ(recorder::Count("ZqGBeaconFlash"), 1u);
    EXPECT_EQ(recorder::Count("ZqGBeaconHorizontalSector"), 0u);
    EXPECT_EQ(recorder::Count("ZqGBeaconVerticalSector"), 0u);

    // Lit, but outside the horizontal sector: the vertical one is not asked.
    view->ops.BeginView(&view->record, 1200, identity, ZQGD_CLEAR_COLOUR);
    *sector(true) = {0.0f, 0.5f};
    recorder::Start();
    kRendererTable[0](&view->record, nullptr, object.finish());
    EXPECT_EQ(recorder::Count("ZqGBeaconHorizontalSector", {0.05235988f}), 1u);
    EXPECT_EQ(recorder::Count("ZqGBeaconVerticalSector"), 0u);
}

TEST_F(LightPointTest, PointsAfterTransparentPolygonsLeaveBlendingOff)
{
    materials.entries[1].transparency = 0.5f;
    object.square(5, 5, 1);
    for (int renderer : {0, 4, 8}) {
        SCOPED_TRACE(renderer);
        view->ops.SetRenderMode(&view->record, ModeOf(renderer));
        view->begin(ZQGD_CLEAR_COLOUR);
        recorder::Start();
        kRendererTable[renderer](&view->record, nullptr, object.finish(renderer == 0));
        EXPECT_EQ(recorder::Count("glEnable", {GL_BLEND}), 1u) << "the polygon blended";
        EXPECT_EQ(channel.state()->blendEnabled, 0);
        EXPECT_FALSE(glIsEnabled(GL_BLEND));
        EXPECT_EQ(recorder::Count("glShadeModel"), renderer == 8 ? 2u : 0u) << "only smooth renderers bracket";
    }
}

// ---- Classes and bounds of the inputs ----------------------------------------

// Puts the capability probe's entry points back at the end of scope.
struct SavedCapabilities {
    CapabilityEntryPoints saved = capabilities;
    ~SavedCapabilities() { capabilities = saved; }
};

TEST_F(RenderTest, EveryModeWordReachesItsRendererThroughSlotThree)
{
    TestObject object;
    object.square(5, 5, 1);
    GeometryBlock* block = object.finish();
    SavedCapabilities saved;
    struct Shading {
        int32_t bits;
        int group;  // 0 unlit, 1 facet, 2 smooth
    };
    const Shading shadings[] = {{1, 0}, {2, 1}, {0, 2}, {3, 2}, {4, 2}, {7, 2}};
    const int32_t polygonModes[] = {0, 0x08, 0x10, 0x18, 0x20, 0x38};
    for (bool arrays : {true, false}) {
        if (!arrays) capabilities.vertexPointer = nullptr, capabilities.vertexPointerExt = nullptr;
        // Bits the mode does not interpret, different in each pass so that
        // every word is a change of mode.
        const int32_t spare = arrays ? 0x40 : static_cast<int32_t>(0x80004000u);
        for (const Shading& shading : shadings) {
            for (int32_t polygonMode : polygonModes) {
                const int32_t mode = shading.bits | polygonMode | spare;
                SCOPED_TRACE(testing::Message() << "mode 0x" << std::hex << mode << (arrays ? " arrays" : ""));
                ASSERT_EQ(view->ops.SetRenderMode(&view->record, mode), 0);
                const bool outlined = polygonMode == 0x10;
                // A wrong renderer may call an entry point that is not there.
                ASSERT_EQ(view->ops.DrawPolygons,
                          kRendererTable[shading.group * 4 + (outlined ? 1 : 0) + (arrays ? 2 : 0)]);
                view->begin(0);
                recorder::Start();
                view->ops.DrawPolygons(&view->record, nullptr, block);
                recorder::Stop();
                EXPECT_EQ(recorder::Count("glBegin", {static_cast<double>(outlined ? GL_LINE_LOOP : GL_QUADS)}), 1u);
                EXPECT_EQ(recorder::Count("glArrayElement"), arrays ? 4u : 0u);
                EXPECT_EQ(recorder::Count("glVertex3fv"), arrays ? 0u : 4u);
                EXPECT_EQ(recorder::Count("glVertexPointer", {3, GL_FLOAT, 0}), arrays ? 1u : 0u);
                EXPECT_EQ(recorder::Count("glNormal3fv"), shading.group == 0 ? 0u : shading.group == 1 ? 1u : 4u);
                EXPECT_EQ(recorder::Count("glMaterialfv"), shading.group == 0 ? 0u : 4u);
                EXPECT_EQ(channel.state()->lightingEnabled, shading.group == 0 ? 0 : 1);
            }
        }
    }
}

TEST_F(RenderTest, FillRenderersChooseThePrimitiveByTheCornerCount)
{
    HostImage image(2, 2, 32, 0xFF, 0xFF00, 0xFF0000);
    DefineTexture(image, 6, ZQGD_TEXTURE_MODULATE);
    TexturedWhite(1, 6);
    materials.entries[1].transparency = 0.5f;
    TestObject object;
    for (int i = 0; i < 4; ++i) object.vertex(static_cast<float>(i), 0, 5);
    object.polygon({0, 1, 2, 3}, 1);
    struct Case {
        uint16_t corners;
        double primitive;  // -1: none
    };
    const Case cases[] = {{0, -1},           {1, -1},      {2, GL_LINES}, {3, GL_TRIANGLES},
                          {4, GL_QUADS},     {5, -1},      {0xFFFF, -1}};
    for (int renderer : {0, 2, 4, 6, 8, 10}) {
        for (bool preLit : {false, true}) {
            const bool lit = renderer >= 4 && !preLit;
            for (const Case& c : cases) {
                SCOPED_TRACE(testing::Message() << "renderer " << renderer << (preLit ? " pre-lit, " : ", ")
                                                << c.corners << " corners");
                object.polygons[0].vertexCount = c.corners;
                GeometryBlock* block = object.finish(preLit);
                view->ops.SetRenderMode(&view->record, ModeOf(renderer));
                view->begin(0);
                glDisable(GL_BLEND);
                channel.state()->blendEnabled = 0;
                recorder::Start();
                kRendererTable[renderer](&view->record, nullptr, block);
                recorder::Stop();
                auto primitives = Primitives();
                const size_t drawn = c.primitive < 0 ? 0 : c.corners;
                if (c.primitive < 0) {
                    EXPECT_TRUE(primitives.empty());
                } else {
                    ASSERT_EQ(primitives.size(), 1u);
                    EXPECT_EQ(primitives[0].first, c.primitive);
                    const std::vector<int> all = {0, 1, 2, 3};
                    EXPECT_EQ(primitives[0].second, std::vector<int>(all.begin(), all.begin() + drawn));
                }
                EXPECT_EQ(recorder::Count("glTexCoord2fv"), drawn);
                // The colour, material and texture steps run whatever the count.
                EXPECT_EQ(recorder::Count("glBindTexture"), 1u);
                EXPECT_EQ(recorder::Count("glEnable", {GL_BLEND}), 1u);
                EXPECT_EQ(recorder::Count("glMaterialfv"), lit ? 4u : 0u);
            }
        }
    }
}

TEST_F(RenderTest, EveryOutlineRendererHonoursTheUsedBitsOfTheHiddenEdgeMask)
{
    // A textured material: outlines still send no texture coordinates.
    HostImage image(2, 2, 32, 0xFF, 0xFF00, 0xFF0000);
    DefineTexture(image, 6, ZQGD_TEXTURE_MODULATE);
    TexturedWhite(0, 6);
    TestObject object;
    for (int i = 0; i < 4; ++i) object.vertex(static_cast<float>(i), 0, 5);
    struct Case {
        std::vector<uint32_t> corners;
        uint16_t count;  // the record's corner count
        uint16_t hidden;
        int32_t extra;
        GLenum primitive;
        std::vector<int> emitted;
    };
    const Case cases[] = {
        {{0, 1}, 2, 0, 0, GL_LINE_LOOP, {0, 1}},
        {{0, 1, 2}, 3, 0, 0, GL_LINE_LOOP, {0, 1, 2}},
        {{0, 1, 2, 3}, 4, 0, 0, GL_LINE_LOOP, {0, 1, 2, 3}},
        {{0, 1, 2, 3}, 5, 0, 0, GL_LINE_LOOP, {0, 1, 2, 3}},
        {{0, 1, 2, 3}, 0xFFFF, 0, 0, GL_LINE_LOOP, {0, 1, 2, 3}},
        // Bits at and above the corner count do not hide an edge.
        {{0, 1}, 2, 0xFFFE, 0, GL_LINES, {0, 1}},
        {{0, 1, 2}, 3, 8, 0, GL_LINES, {0, 1, 1, 2, 2, 0}},
        {{0, 1, 2}, 3, 0xFFF8, 0, GL_LINES, {0, 1, 1, 2, 2, 0}},
        {{0, 1, 2, 3}, 4, 0x8000, 0, GL_LINES, {0, 1, 1, 2, 2, 3, 3, 0}},
        // The first edge, and the first and third.
        {{0, 1, 2, 3}, 4, 1, 0, GL_LINES, {1, 2, 2, 3, 3, 0}},
        {{0, 1, 2, 3}, 4, 5, 0, GL_LINES, {1, 2, 3, 0}},
        {{0, 1, 2, 3}, 4, 0xF, 0, GL_LINES, {}},
        {{0, 1, 2, 3}, 4, 0xF, ZQGD_MODE_ALL_EDGES, GL_LINE_LOOP, {0, 1, 2, 3}},
    };
    for (int renderer : {1, 3, 5, 7, 9, 11}) {
        for (bool preLit : {false, true}) {
            for (const Case& c : cases) {
                SCOPED_TRACE(testing::Message() << "renderer " << renderer << (preLit ? " pre-lit, " : ", ")
                                                << c.count << " corners, hidden 0x" << std::hex << c.hidden);
                object.polygons.clear();
                PolygonRecord& polygon = object.polygon(c.corners);
                polygon.vertexCount = c.count;
                polygon.hiddenEdges = c.hidden;
                GeometryBlock* block = object.finish(preLit);
                recordDraw(renderer, ModeOf(renderer) | c.extra, block);
                recorder::Stop();
                auto primitives = Primitives();
                ASSERT_EQ(primitives.size(), 1u);
                EXPECT_EQ(primitives[0].first, c.primitive);
                EXPECT_EQ(primitives[0].second, c.emitted);
                EXPECT_EQ(recorder::Count("glTexCoord2fv"), 0u);
                EXPECT_EQ(recorder::Count("glBindTexture"), 0u);
                if (renderer >= 8) {
                    EXPECT_EQ(recorder::Count(preLit ? "glColor4fv" : "glNormal3fv"), c.emitted.size())
                        << "each emitted corner is preceded by its own colour or normal";
                }
            }
        }
    }
}

TEST_F(RenderTest, EveryRendererRemovesBackFacesByThePlaneAtTheEye)
{
    // s = 1 ex + 2 ey + 4 ez + d with the eye at (1, -3, 0.5): s = d - 3.
    TestObject object;
    PolygonRecord& square = object.square(5, 5, 1);
    square.plane[0] = 1;
    square.plane[1] = 2;
    square.plane[2] = 4;
    object.eye[0] = 1;
    object.eye[1] = -3;
    object.eye[2] = 0.5f;
    TestObject empty;
    empty.vertex(0, 0, 5);
    struct Case {
        float d;
        bool drawn;
    };
    // The skipped ones first, so that the drawn ones change no state before them.
    const Case cases[] = {{-4, false}, {2, false}, {2.75f, false}, {3, true}, {4, true}};
    for (int renderer = 0; renderer < kRendererCount; ++renderer) {
        for (bool preLit : {false, true}) {
            SCOPED_TRACE(testing::Message() << "renderer " << renderer << (preLit ? " pre-lit" : " lit"));
            view->ops.SetRenderMode(&view->record, ModeOf(renderer) | ZQGD_MODE_BACK_FACES);
            view->begin(0);
            GeometryBlock* none = empty.finish(preLit);
            kRendererTable[renderer](&view->record, nullptr, none);  // makes the entry switches
            recorder::Start();
            kRendererTable[renderer](&view->record, nullptr, none);
            const std::vector<std::string> nothing = recorder::Names();
            for (const Case& c : cases) {
                SCOPED_TRACE(testing::Message() << "d " << c.d);
                square.plane[3] = c.d;
                GeometryBlock* block = object.finish(preLit);
                recorder::Start();
                kRendererTable[renderer](&view->record, nullptr, block);
                if (c.drawn) {
                    EXPECT_EQ(recorder::Count("glBegin"), 1u);
                } else {
                    EXPECT_EQ(recorder::Names(), nothing) << "a back face costs no GL call";
                }
            }
            // Without the bit the back face is drawn.
            square.plane[3] = -4;
            view->ops.SetRenderMode(&view->record, ModeOf(renderer));
            recorder::Start();
            kRendererTable[renderer](&view->record, nullptr, object.finish(preLit));
            EXPECT_EQ(recorder::Count("glBegin"), 1u);
        }
    }
}

TEST_F(RenderTest, AGeneralObjectMatrixPlacesRotatesScalesAndShears)
{
    // A rectangle x 0..8, y 0..4 at z 5. The rows turn it a quarter, scale
    // it by 1.5 and 2, shear x into depth and move it:
    //   x' = -1.5 y - 3, y' = 2 x - 10, z' = 0.5 x + z + shift.
    TestObject object;
    uint32_t a = object.vertex(0, 0, 5), b = object.vertex(8, 0, 5), c = object.vertex(8, 4, 5),
             d = object.vertex(0, 4, 5);
    object.polygon({a, b, c, d}, 1);
    const float rows[12] = {0, -1.5f, 0, -3, 2, 0, 0, -10, 0.5f, 0, 1, 2};
    std::memcpy(object.matrix, rows, sizeof rows);
    for (int renderer : {0, 2}) {
        SCOPED_TRACE(renderer);
        // x' -9..-3 is columns 23..28, y' -10..6 rows 22..37.
        Image image = draw(renderer, 1, object.finish());
        EXPECT_TRUE(Near(image.at(24, 23), {255, 0, 0}, 3));
        EXPECT_TRUE(Near(image.at(28, 37), {255, 0, 0}, 3));
        EXPECT_TRUE(Near(image.at(30, 30), kGrey, 3)) << "right of it";
        EXPECT_TRUE(Near(image.at(21, 30), kGrey, 3)) << "left of it";
        EXPECT_TRUE(Near(image.at(26, 39), kGrey, 3)) << "above it";
        EXPECT_TRUE(Near(image.at(26, 20), kGrey, 3)) << "below it";

        // Moved 92 deeper, z' runs from 97 at x 0 to 101 at x 8: beyond the
        // far plane (100) from x 6, that is from y' 2 upwards.
        object.matrix[11] = 92;
        image = draw(renderer, 1, object.finish());
        EXPECT_TRUE(Near(image.at(26, 30), {255, 0, 0}, 3)) << "z' 99.1";
        EXPECT_TRUE(Near(image.at(26, 37), kGrey, 3)) << "z' 100.9, clipped";
        object.matrix[11] = 2;
    }
}

TEST_F(RenderTest, EachObjectIsPlacedByItsOwnMatrixAndTheModelviewIsRestored)
{
    TestObject left, right;
    left.square(4, 5, 1);
    left.matrix[3] = -10;
    left.vertex(0, 0, 5);
    LightPointRecord point{};
    point.vertexIndex = 4;
    point.size = 1;
    left.lightPoints.push_back(point);
    right.square(4, 5, 1);
    right.matrix[3] = 10;
    right.matrix[7] = 5;
    GLfloat projection[16], modelview[16], after[16];
    GLint depth = 0, depthAfter = 0, matrixMode = 0;
    for (int renderer = 0; renderer < kRendererCount; ++renderer) {
        SCOPED_TRACE(renderer);
        view->clearTo(0.1f, 0.1f, 0.1f, ModeOf(renderer));
        glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
        glMatrixMode(GL_PROJECTION);
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        kRendererTable[renderer](&view->record, nullptr, left.finish());
        glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
        EXPECT_EQ(matrixMode, GL_MODELVIEW);
        glGetFloatv(GL_MODELVIEW_MATRIX, after);
        EXPECT_EQ(std::vector<GLfloat>(after, after + 16), std::vector<GLfloat>(modelview, modelview + 16));
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
        EXPECT_EQ(depthAfter, depth);
        glGetFloatv(GL_PROJECTION_MATRIX, after);
        EXPECT_EQ(std::vector<GLfloat>(after, after + 16), std::vector<GLfloat>(projection, projection + 16));
        kRendererTable[renderer](&view->record, nullptr, right.finish());
        Image image = channel.drawn();
        if (renderer % 2 == 1) continue;  // outlines: the placement is the fill renderers' to show
        EXPECT_FALSE(Near(image.at(22, 30), kGrey, 3)) << "left square";
        EXPECT_FALSE(Near(image.at(42, 38), kGrey, 3)) << "right square";
        EXPECT_TRUE(Near(image.at(32, 36), kGrey, 3)) << "the right square is not moved twice";
        EXPECT_TRUE(Near(image.at(42, 30), kGrey, 3));
    }
}

TEST_F(RenderTest, PolygonCountsZeroAndMany)
{
    // None: the matrix is pushed, multiplied and popped, and nothing is drawn.
    TestObject empty;
    empty.vertex(0, 0, 5);
    for (int renderer = 0; renderer < kRendererCount; ++renderer) {
        SCOPED_TRACE(renderer);
        recordDraw(renderer, ModeOf(renderer), empty.finish());
        recorder::Stop();
        std::vector<std::string> names = recorder::Names();
        auto push = std::find(names.begin(), names.end(), "glPushMatrix");
        ASSERT_NE(push, names.end());
        ASSERT_NE(push + 1, names.end());
        EXPECT_EQ(*(push + 1), "glMultMatrixf");
        EXPECT_EQ(names.back(), "glPopMatrix");
        EXPECT_EQ(recorder::Count("glBegin"), 0u);
        EXPECT_EQ(recorder::Count("gluSphere"), 0u);
    }

    // Forty one-pixel squares side by side, alternating red and green.
    materials.entries[2] = MaterialEntry{};
    materials.entries[2].colour[1] = 1;
    TestObject many;
    for (int i = 0; i < 40; ++i) {
        float x = static_cast<float>(i - 20);
        uint32_t a = many.vertex(x, -2, 5), b = many.vertex(x + 1, -2, 5), c = many.vertex(x + 1, 2, 5),
                 d = many.vertex(x, 2, 5);
        many.polygon({a, b, c, d}, 1 + i % 2);
    }
    for (int renderer : {0, 2}) {
        SCOPED_TRACE(renderer);
        recorder::Start();
        Image image = draw(renderer, 1, many.finish());
        recorder::Stop();
        EXPECT_EQ(recorder::Count("glBegin", {GL_QUADS}), 40u);
        for (int i = 0; i < 40; ++i) {
            Rgb expected = i % 2 == 0 ? Rgb{255, 0, 0} : Rgb{0, 255, 0};
            EXPECT_TRUE(Near(image.at(static_cast<uint32_t>(12 + i), 32), expected, 3)) << "square " << i;
        }
        EXPECT_TRUE(Near(image.at(52, 32), kGrey, 3));
    }
}

TEST_F(RenderTest, AnyNonzeroPreLitWordMeansPreLit)
{
    TestObject object;
    PolygonRecord& square = object.square(5, 5, 1);
    square.facetColour[1] = 1;
    for (int renderer : {4, 5, 6, 7, 8, 9, 10, 11}) {
        for (uint32_t preLit : {0u, 1u, 2u, 0x80000000u, 0xFFFFFFFFu}) {
            SCOPED_TRACE(testing::Message() << "renderer " << renderer << ", preLit 0x" << std::hex << preLit);
            GeometryBlock* block = object.finish();
            block->preLit = preLit;
            recordDraw(renderer, ModeOf(renderer), block);
            recorder::Stop();
            EXPECT_EQ(channel.state()->lightingEnabled, preLit == 0 ? 1 : 0);
            EXPECT_EQ(glIsEnabled(GL_LIGHTING), preLit == 0 ? GL_TRUE : GL_FALSE);
            EXPECT_EQ(recorder::Count("glNormal3fv") != 0, preLit == 0);
            EXPECT_EQ(recorder::Count("glMaterialfv") != 0, preLit == 0);
        }
    }
}

TEST_F(RenderTest, MaterialIndicesAreComparedUnsignedWithTheHighestIndex)
{
    // Four entries: the highest valid index is 3.
    struct Case {
        uint32_t index;
        size_t entry;
    };
    const Case cases[] = {{0, 0}, {1, 1}, {3, 3}, {4, 0}, {0x7FFFFFFF, 0}, {0x80000000u, 0}, {0xFFFFFFFFu, 0}};
    PolygonRecord polygon{};
    LightPointRecord point{};
    for (uint32_t use : {1u, 2u, 0x80000000u}) {
        selection.usePolygonMaterial = use;
        selection.defaultMaterial = 2;
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "own index 0x" << std::hex << c.index << ", use 0x" << use);
            polygon.materialIndex = point.materialIndex = c.index;
            // Drawing below reads the entry: it must lie in the table.
            ASSERT_EQ(LookupMaterial(&selection, &polygon), &materials.entries[c.entry]);
            ASSERT_EQ(LookupLightPointMaterial(&selection, &point), &materials.entries[c.entry]);
        }
    }
    selection.usePolygonMaterial = 0;
    polygon.materialIndex = point.materialIndex = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "default 0x" << std::hex << c.index);
        selection.defaultMaterial = c.index;
        ASSERT_EQ(LookupMaterial(&selection, &polygon), &materials.entries[c.entry]);
        ASSERT_EQ(LookupLightPointMaterial(&selection, &point), &materials.entries[c.entry]);
    }

    // A table of one entry, read afresh at every lookup.
    {
        TestMaterials single{1};
        selection.defaultMaterial = 0;
        EXPECT_EQ(LookupMaterial(&selection, &polygon), &single.entries[0]);
        selection.defaultMaterial = 1;
        EXPECT_EQ(LookupMaterial(&selection, &polygon), &single.entries[0]);
        materials.install();
        EXPECT_EQ(LookupMaterial(&selection, &polygon), &materials.entries[1]);
    }

    // Drawn: index 3 with entry 3, an index seen as negative with entry 0.
    materials.entries[0] = MaterialEntry{};
    materials.entries[0].colour[2] = 1;
    materials.entries[3] = MaterialEntry{};
    materials.entries[3].colour[1] = 1;
    selection.usePolygonMaterial = 1;
    TestObject object;
    uint32_t a = object.vertex(-10, -4, 5), b = object.vertex(-2, -4, 5), c = object.vertex(-2, 4, 5),
             d = object.vertex(-10, 4, 5);
    object.polygon({a, b, c, d}, 3);
    a = object.vertex(2, -4, 5), b = object.vertex(10, -4, 5), c = object.vertex(10, 4, 5), d = object.vertex(2, 4, 5);
    object.polygon({a, b, c, d}, 0xFFFFFFFFu);
    Image image = draw(0, 1, object.finish());
    EXPECT_TRUE(Near(image.at(26, 32), {0, 255, 0}, 3));
    EXPECT_TRUE(Near(image.at(38, 32), {0, 0, 255}, 3));
}

TEST_F(RenderTest, TransparencyClassesGiveTheAlphaAndTheBlendingSwitch)
{
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float transparency;
        float alpha;
        int blend;
    };
    // Alternating, so that every case switches.
    const Case cases[] = {{1.0f, 0.0f, 1},   {0.0f, 1.0f, 0},         {1e-7f, 1.0f - 1e-7f, 1}, {-0.0f, 1.0f, 0},
                          {1.5f, -0.5f, 1},  {-1e-7f, 1.0f, 0},       {inf, -inf, 1},          {-inf, 1.0f, 0},
                          {0.25f, 0.75f, 1}, {std::nanf(""), 1.0f, 0}};
    MaterialEntry entry{};
    glDisable(GL_BLEND);
    channel.state()->blendEnabled = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "transparency " << c.transparency);
        entry.transparency = c.transparency;
        recorder::Start();
        EXPECT_EQ(MaterialAlpha(channel.state(), &entry), c.alpha);
        EXPECT_EQ(channel.state()->blendEnabled, c.blend);
        EXPECT_EQ(glIsEnabled(GL_BLEND), c.blend ? GL_TRUE : GL_FALSE);
        EXPECT_EQ(recorder::Count(c.blend ? "glEnable" : "glDisable", {GL_BLEND}), 1u);
        // The same class again: no switch.
        recorder::Start();
        MaterialAlpha(channel.state(), &entry);
        EXPECT_EQ(recorder::Count("glEnable") + recorder::Count("glDisable"), 0u);
    }

    // By pixels over white: fully transparent shows the background, 0.75
    // lets a quarter of the red through.
    TestObject object;
    object.square(10, 5, 1);
    for (auto [transparency, expected] : {std::pair{1.0f, Rgb{255, 255, 255}}, {0.75f, Rgb{255, 191, 191}},
                                          {0.0f, Rgb{255, 0, 0}}, {-0.5f, Rgb{255, 0, 0}}}) {
        SCOPED_TRACE(transparency);
        materials.entries[1].transparency = transparency;
        view->clearTo(1, 1, 1, 1);
        kRendererTable[0](&view->record, nullptr, object.finish());
        EXPECT_TRUE(Near(channel.drawn().at(32, 32), expected, 3));
    }
}

TEST_F(RenderTest, ApplyMaterialLoadsTheFrontMaterialOnly)
{
    MaterialEntry entries[3]{};
    MaterialEntry& entry = entries[0];
    const float colour[3] = {0.9f, 0.5f, 0.25f}, emission[3] = {0.1f, 0.2f, 0.3f};
    std::memcpy(entry.colour, colour, sizeof colour);
    std::memcpy(entry.emission, emission, sizeof emission);
    entry.ambientFactor = 0.4f;
    entry.diffuseFactor = 0.6f;
    entry.specular = 0.7f;
    entry.shininess = 37.5f;
    entry.transparency = 0.25f;
    const GLenum names[] = {GL_EMISSION, GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR};
    GLfloat back[4][4], backShininess = 0;
    for (int i = 0; i < 4; ++i) glGetMaterialfv(GL_BACK, names[i], back[i]);
    glGetMaterialfv(GL_BACK, GL_SHININESS, &backShininess);

    view->begin(0);
    ApplyMaterial(channel.state(), view->state(), &entry);
    const float expected[4][4] = {{0.1f, 0.2f, 0.3f, 0.75f},
                                  {0.9f * 0.4f, 0.5f * 0.4f, 0.25f * 0.4f, 0.75f},
                                  {0.9f * 0.6f, 0.5f * 0.6f, 0.25f * 0.6f, 0.75f},
                                  {0.7f, 0.7f, 0.7f, 0.75f}};
    for (int i = 0; i < 4; ++i) {
        GLfloat front[4], after[4];
        glGetMaterialfv(GL_FRONT, names[i], front);
        glGetMaterialfv(GL_BACK, names[i], after);
        for (int k = 0; k < 4; ++k) {
            EXPECT_NEAR(front[k], expected[i][k], 1e-6) << "front " << names[i] << " " << k;
            EXPECT_EQ(after[k], back[i][k]) << "back " << names[i] << " " << k;
        }
    }
    GLfloat shininess = 0;
    glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
    EXPECT_EQ(shininess, 37.5f);
    glGetMaterialfv(GL_BACK, GL_SHININESS, &shininess);
    EXPECT_EQ(shininess, backShininess);
    EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL)) << "the vertex colour is not tracked";

    // The ends of the exponent's range pass unchanged.
    for (int i : {1, 2}) {
        entries[i] = entry;
        entries[i].shininess = i == 1 ? 0.0f : 128.0f;
        ApplyMaterial(channel.state(), view->state(), &entries[i]);
        glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
        EXPECT_EQ(shininess, entries[i].shininess);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(RenderTest, BlendingIsSwitchedOnlyWhenTheTransparencyClassChanges)
{
    materials.entries[1].transparency = 0.5f;
    materials.entries[3].transparency = 0.25f;
    TestObject object;
    // Transparent, transparent, opaque, opaque; each lit entry twice in a
    // row, so that the cache hits keep the class too.
    for (uint32_t material : {1u, 1u, 3u, 2u, 2u, 0u}) object.square(5, 5, material);
    for (int renderer : {0, 4, 8}) {
        SCOPED_TRACE(renderer);
        view->ops.SetRenderMode(&view->record, ModeOf(renderer));
        view->begin(0);
        glDisable(GL_BLEND);
        channel.state()->blendEnabled = 0;
        recorder::Start();
        kRendererTable[renderer](&view->record, nullptr, object.finish());
        recorder::Stop();
        std::vector<std::string> switches;
        for (const GlCall& call : recorder::Calls()) {
            if ((call.name == "glEnable" || call.name == "glDisable") && call.args[0] == GL_BLEND)
                switches.push_back(call.name);
        }
        EXPECT_EQ(switches, (std::vector<std::string>{"glEnable", "glDisable"}));
    }
}

// A lit polygon's material is loaded again unless it is the very entry the
// view loaded last: an entry that differs from it in any one field loads.
TEST_F(RenderTest, ApplyMaterialHitsOnlyTheEntryLoadedLast)
{
    struct Case {
        const char* field;
        void (*change)(MaterialEntry&);
    };
    const Case cases[] = {
        {"none, the same entry", nullptr},
        {"colour", [](MaterialEntry& m) { m.colour[2] = 0.5f; }},
        {"emission", [](MaterialEntry& m) { m.emission[1] = 0.5f; }},
        {"ambient factor", [](MaterialEntry& m) { m.ambientFactor = 0.5f; }},
        {"diffuse factor", [](MaterialEntry& m) { m.diffuseFactor = 0.5f; }},
        {"specular", [](MaterialEntry& m) { m.specular = 0.5f; }},
        {"shininess", [](MaterialEntry& m) { m.shininess = 10; }},
        {"transparency", [](MaterialEntry& m) { m.transparency = 0.5f; }},
    };
    MaterialEntry entries[2]{};
    entries[0].colour[0] = entries[0].colour[1] = entries[0].colour[2] = 1;
    entries[0].ambientFactor = entries[0].diffuseFactor = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        entries[1] = entries[0];
        if (c.change != nullptr) c.change(entries[1]);
        view->begin(0);
        ApplyMaterial(channel.state(), view->state(), &entries[0]);
        recorder::Start();
        ApplyMaterial(channel.state(), view->state(), &entries[c.change != nullptr ? 1 : 0]);
        recorder::Stop();
        EXPECT_EQ(recorder::Count("glMaterialfv"), c.change != nullptr ? 4u : 0u);
    }
}

TEST_F(RenderTest, LitOutlinesBlendATransparentMaterialAgainAfterTheirEntrySwitch)
{
    materials.entries[1].transparency = 0.5f;
    TestObject object;
    object.square(5, 5, 1);
    for (int renderer : {5, 7, 9, 11}) {
        for (bool preLit : {false, true}) {
            SCOPED_TRACE(testing::Message() << "renderer " << renderer << (preLit ? " pre-lit" : " lit"));
            view->ops.SetRenderMode(&view->record, ModeOf(renderer));
            view->begin(0);
            glEnable(GL_BLEND);
            channel.state()->blendEnabled = 1;
            recorder::Start();
            kRendererTable[renderer](&view->record, nullptr, object.finish(preLit));
            recorder::Stop();
            EXPECT_EQ(recorder::Count("glDisable", {GL_BLEND}), 1u);
            EXPECT_EQ(recorder::Count("glEnable", {GL_BLEND}), preLit ? 0u : 1u);
            EXPECT_EQ(channel.state()->blendEnabled, preLit ? 0 : 1);
            EXPECT_EQ(glIsEnabled(GL_BLEND), preLit ? GL_FALSE : GL_TRUE);
        }
    }
}

TEST_F(RenderTest, TheTexturedFlagAndTheTextureIdChooseTheTexture)
{
    static std::vector<int32_t> asked;
    asked.clear();
    channel.state()->textureLoad = [](int32_t id, TextureDefinition*) -> int32_t {
        asked.push_back(id);
        return 1;
    };
    HostImage image(2, 2, 32, 0xFF, 0xFF00, 0xFF0000);
    for (int32_t id : {5, -7, INT32_MAX, INT32_MIN}) DefineTexture(image, id, ZQGD_TEXTURE_MODULATE);
    // What an earlier polygon of the frame, of material 2, asked for: the
    // view's cache then holds it, and a hit must match the flag and the id.
    struct Earlier {
        int32_t textured;
        int32_t id;
    };
    struct Case {
        int32_t textured;
        int32_t id;
        bool drawnTextured;
        uint32_t binds;
        std::vector<int32_t> asked;
        std::optional<Earlier> earlier;
    };
    const Case cases[] = {
        {0, 5, false, 0, {}, {}},
        {1, 5, true, 1, {}, {}},
        {2, 5, true, 1, {}, {}},
        {INT32_MIN, 5, true, 1, {}, {}},
        {1, 0, false, 0, {}, {}},
        {1, -7, true, 1, {}, {}},
        {1, INT32_MAX, true, 1, {}, {}},
        {1, INT32_MIN, true, 1, {}, {}},
        {1, -3, false, 0, {-3}, {}},
        {0, -3, false, 0, {}, {}},
        {0, 5, false, 0, {}, Earlier{1, 5}},
        {1, 5, true, 1, {}, Earlier{0, 5}},
        {2, 5, true, 0, {}, Earlier{1, 5}},
        {1, -7, true, 1, {}, Earlier{1, 5}},
        {1, 0, false, 0, {}, Earlier{1, 5}},
        {1, 5, true, 1, {}, Earlier{1, -3}},
        {1, -3, false, 0, {}, Earlier{1, -3}},
        {1, 0, false, 0, {}, Earlier{0, 5}},
    };
    TestObject object, earlierObject;
    object.square(5, 5, 1);
    earlierObject.square(5, 5, 2);
    GeometryBlock* block = object.finish();
    view->ops.SetRenderMode(&view->record, 1);
    for (const Case& c : cases) {
        testing::Message trace;
        trace << "textured " << c.textured << ", id " << c.id;
        if (c.earlier) trace << ", after textured " << c.earlier->textured << ", id " << c.earlier->id;
        SCOPED_TRACE(trace);
        materials.entries[1].textured = c.textured;
        materials.entries[1].textureId = c.id;
        view->begin(0);
        if (c.earlier) {
            materials.entries[2].textured = c.earlier->textured;
            materials.entries[2].textureId = c.earlier->id;
            kRendererTable[0](&view->record, nullptr, earlierObject.finish());
        }
        asked.clear();
        recorder::Start();
        kRendererTable[0](&view->record, nullptr, block);
        recorder::Stop();
        EXPECT_EQ(recorder::Count("glBindTexture"), c.binds);
        EXPECT_EQ(recorder::Count("glTexCoord2fv"), c.drawnTextured ? 4u : 0u);
        EXPECT_EQ(channel.state()->textureEnabled, c.drawnTextured ? 1 : 0);
        EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), c.drawnTextured ? GL_TRUE : GL_FALSE);
        EXPECT_EQ(asked, c.asked);
    }
}

TEST_F(RenderTest, AGeneralTextureMatrixMapsTheCoordinatesInEveryFillRenderer)
{
    HostImage image(2, 2, 32, 0xFF, 0xFF00, 0xFF0000);
    TextureDefinition definition = DefineTexture(image, 7, ZQGD_TEXTURE_MODULATE);
    const float rows[9] = {0.5f, 0.25f, 0.125f, -0.75f, 2, 0.375f, 0, 0, 1};
    std::memcpy(definition.textureMatrix, rows, sizeof rows);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 7, &definition, 0), 0);
    TexturedWhite(1, 7);
    TestObject object;
    PolygonRecord& square = object.square(5, 5, 1);
    square.corners[0].texCoord[0] = 0.25f;
    square.corners[0].texCoord[1] = 0.75f;
    // s' = 0.5 s + 0.25 t + 0.125, t' = -0.75 s + 2 t + 0.375.
    const std::vector<std::vector<double>> expected = {
        {0.4375, 1.6875}, {0.625, -0.375}, {0.875, 1.625}, {0.375, 2.375}};
    for (int renderer : {0, 2, 4, 6, 8, 10}) {
        for (bool preLit : {false, true}) {
            SCOPED_TRACE(testing::Message() << "renderer " << renderer << (preLit ? " pre-lit" : " lit"));
            recordDraw(renderer, ModeOf(renderer), object.finish(preLit));
            recorder::Stop();
            std::vector<GlCall> sent = recorder::CallsNamed("glTexCoord2fv");
            ASSERT_EQ(sent.size(), 4u);
            for (size_t i = 0; i < 4; ++i) EXPECT_EQ(sent[i].args, expected[i]) << "corner " << i;
        }
    }
}

TEST_F(RenderTest, ACountOfZeroLightPointsDrawsNoneWhateverThePointer)
{
    LightPointRecord point{};
    point.size = 10;
    materials.entries[1].transparency = 0.5f;
    TestObject object;
    object.square(5, 5, 1);
    GeometryBlock* block = object.finish();
    object.list.lightPoints = &point;
    for (int renderer = 0; renderer < kRendererCount; ++renderer) {
        SCOPED_TRACE(renderer);
        recordDraw(renderer, ModeOf(renderer), block);
        recorder::Stop();
        EXPECT_EQ(recorder::Count("ZqGBeaconFlash"), 0u);
        EXPECT_EQ(recorder::Count("gluSphere"), 0u);
        EXPECT_EQ(recorder::Count("glShadeModel"), 0u);
        if (renderer >= 4 && renderer % 2 == 0) {
            EXPECT_EQ(channel.state()->blendEnabled, 1) << "the polygon's blending stays";
            EXPECT_EQ(channel.state()->lightingEnabled, 1) << "the polygon's lighting stays";
        }
    }
}

TEST_F(LightPointTest, SizeColourAndPlaceFollowTheRecordAndTheObjectMatrix)
{
    uint32_t at = object.vertex(3, -2, 5);
    object.lightPoints[0].vertexIndex = at;
    object.lightPoints[0].size = 4;
    const float emission[3] = {0.2f, 0.6f, 1.0f};
    std::memcpy(materials.entries[2].emission, emission, sizeof emission);
    // Twice the size, moved 4 right and 1 down: the centre is at (10, -5),
    // the radius 4.
    const float rows[12] = {2, 0, 0, 4, 0, 2, 0, -1, 0, 0, 2, 0};
    std::memcpy(object.matrix, rows, sizeof rows);
    recorder::Start();
    Image image = draw(0, 1, object.finish());
    recorder::Stop();
    const Rgb colour{51, 153, 255};
    EXPECT_TRUE(Near(image.at(42, 27), colour, 3)) << "centre";
    EXPECT_TRUE(Near(image.at(44, 27), colour, 3)) << "inside the radius";
    EXPECT_TRUE(Near(image.at(47, 27), kGrey, 3)) << "beyond the radius";
    EXPECT_TRUE(Near(image.at(42, 32), kGrey, 3)) << "above it";
    EXPECT_EQ(recorder::Count("glColor3fv", {0.2f, 0.6f, 1.0f}), 1u);
    EXPECT_EQ(recorder::Count("glTranslatef", {3, -2, 5}), 1u);
    EXPECT_EQ(recorder::Count("gluSphere", {2, 4, 4}), 1u) << "factors 1: the diameter is the size";

    // Size 0 is still asked for, with radius 0.
    object.lightPoints[0].size = 0;
    view->begin(0);
    recorder::Start();
    kRendererTable[0](&view->record, nullptr, object.finish());
    EXPECT_EQ(recorder::Count("gluSphere", {0, 4, 4}), 1u);
}

TEST_F(LightPointTest, EveryPointInOrderWithItsOwnMaterialUnderTheBounds)
{
    const float emissions[4][3] = {{0, 0, 1}, {0, 1, 0}, {1, 1, 0}, {1, 0, 1}};
    for (int i = 0; i < 4; ++i) std::memcpy(materials.entries[i].emission, emissions[i], sizeof emissions[i]);
    object.lightPoints.clear();
    const uint32_t indices[5] = {3, 4, 0xFFFFFFFFu, 1, 2};
    for (int i = 0; i < 5; ++i) {
        LightPointRecord point{};
        point.vertexIndex = object.vertex(static_cast<float>(6 * i - 12), 0, 5);
        point.size = 2;
        point.materialIndex = indices[i];
        object.lightPoints.push_back(point);
    }
    // The fourth is dark at the frame time.
    BeaconFlash flash{1000, 500, 0};
    std::memcpy(object.lightPoints[3].flash, &flash, sizeof flash);
    static const float identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    auto colours = [&] {
        view->ops.BeginView(&view->record, 700, identity, ZQGD_CLEAR_COLOUR);
        recorder::Start();
        kRendererTable[0](&view->record, nullptr, object.finish());
        recorder::Stop();
        std::vector<std::vector<double>> sent;
        for (const GlCall& call : recorder::CallsNamed("glColor3fv")) sent.push_back(call.args);
        return sent;
    };
    auto emission = [&](int i) { return std::vector<double>(emissions[i], emissions[i] + 3); };
    // Drawing reads each point's entry: it must lie in the table.
    auto inTable = [&] {
        for (const LightPointRecord& point : object.lightPoints) {
            const MaterialEntry* entry = LookupLightPointMaterial(&selection, &point);
            if (entry < &materials.entries.front() || entry > &materials.entries.back()) return false;
        }
        return true;
    };
    view->ops.SetRenderMode(&view->record, 1);
    for (uint32_t use : {1u, 2u}) {
        SCOPED_TRACE(use);
        selection.usePolygonMaterial = use;
        ASSERT_TRUE(inTable());
        EXPECT_EQ(colours(), (std::vector<std::vector<double>>{emission(3), emission(0), emission(0), emission(2)}));
        std::vector<double> placed;
        for (const GlCall& call : recorder::CallsNamed("glTranslatef")) placed.push_back(call.args[0]);
        EXPECT_EQ(placed, (std::vector<double>{-12, -6, 0, 12}));
        EXPECT_EQ(recorder::Count("gluSphere"), 4u);
    }
    selection.usePolygonMaterial = 0;
    for (auto [defaultMaterial, entry] : {std::pair{3u, 3}, {4u, 0}, {0xFFFFFFFFu, 0}}) {
        SCOPED_TRACE(defaultMaterial);
        selection.defaultMaterial = defaultMaterial;
        ASSERT_TRUE(inTable());
        EXPECT_EQ(colours(), std::vector<std::vector<double>>(4, emission(entry)));
    }
}

TEST_F(LightPointTest, AZeroOrNanFactorSkipsThePoint)
{
    // From the point (0, 0, 5) the eye at the origin lies at heading pi and
    // elevation 0.
    const float nan = std::nanf(""), pi = 3.14159265f;
    struct Case {
        BeaconSector horizontal, vertical;
        size_t verticalCalls, spheres;
    };
    const Case cases[] = {
        {{pi, 0.1f}, {0, 0.1f}, 1, 1},     // both factors 1
        {{0, 0.1f}, {0, 0.1f}, 0, 0},      // horizontal 0
        {{nan, 0.1f}, {0, 0.1f}, 0, 0},    // horizontal NaN
        {{pi, 0.1f}, {1.0f, 0.1f}, 1, 0},  // vertical 0
        {{pi, 0.1f}, {nan, 0.1f}, 1, 0},   // vertical NaN
    };
    view->ops.SetRenderMode(&view->record, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "sectors " << c.horizontal.centre << ", " << c.vertical.centre);
        *sector(true) = c.horizontal;
        *sector(false) = c.vertical;
        view->begin(0);
        recorder::Start();
        kRendererTable[0](&view->record, nullptr, object.finish());
        recorder::Stop();
        EXPECT_EQ(recorder::Count("ZqGBeaconHorizontalSector"), 1u);
        EXPECT_EQ(recorder::Count("ZqGBeaconVerticalSector"), c.verticalCalls);
        EXPECT_EQ(recorder::Count("gluSphere"), c.spheres);
        if (c.spheres != 0) {
            EXPECT_EQ(recorder::Count("gluSphere", {5, 4, 4}), 1u);
        }
    }
}

TEST_F(LightPointTest, TheFrameTimeGoesToTheFlashUnchanged)
{
    static const float identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    view->ops.SetRenderMode(&view->record, 1);
    for (int32_t time : {0, -700, 1234567, INT32_MAX, INT32_MIN}) {
        SCOPED_TRACE(time);
        view->ops.BeginView(&view->record, time, identity, 0);
        recorder::Start();
        kRendererTable[0](&view->record, nullptr, object.finish());
        recorder::Stop();
        ASSERT_EQ(recorder::Count("ZqGBeaconFlash"), 1u);
        EXPECT_EQ(recorder::CallsNamed("ZqGBeaconFlash")[0].args, std::vector<double>{static_cast<double>(time)});
    }
}

TEST_F(LightPointTest, SectorsSeeTheEyeAndThePointWhereTheyAre)
{
    uint32_t at = object.vertex(2, -1, 5);
    object.lightPoints[0].vertexIndex = at;
    object.lightPoints[0].size = 4;
    // From the point, the eye at (12, 4, 15) lies 10, 5, 10 away. Narrow
    // sectors around that direction see no other eye or point.
    *sector(true) = {static_cast<float>(std::atan2(10.0, 10.0)), 0.02f};
    *sector(false) = {static_cast<float>(std::atan2(5.0, std::sqrt(200.0))), 0.02f};
    const float eye[3] = {12, 4, 15};
    std::memcpy(object.eye, eye, sizeof eye);
    Image image = draw(0, 1, object.finish());
    EXPECT_TRUE(Near(image.at(34, 31), {255, 255, 0}, 3));

    const float others[][3] = {{0, 0, 0}, {4, 12, 15}, {12, 4, 5}, {12, -4, 15}};
    for (const auto& other : others) {
        SCOPED_TRACE(testing::Message() << other[0] << ", " << other[1] << ", " << other[2]);
        std::memcpy(object.eye, other, sizeof other);
        view->begin(0);
        recorder::Start();
        kRendererTable[0](&view->record, nullptr, object.finish());
        recorder::Stop();
        EXPECT_EQ(recorder::Count("gluSphere"), 0u);
    }
}

TEST_F(LightPointTest, PointsSwitchLightingOffAndLeaveTexturingAsThePolygonLeftIt)
{
    HostImage image(2, 2, 32, 0xFF, 0xFF00, 0xFF0000);
    DefineTexture(image, 4, ZQGD_TEXTURE_MODULATE);
    TexturedWhite(1, 4);
    object.square(5, 5, 1);
    for (int renderer : {4, 6, 8, 10}) {
        SCOPED_TRACE(renderer);
        recordDraw(renderer, ModeOf(renderer), object.finish());
        recorder::Stop();
        std::vector<std::string> names = recorder::Names();
        auto end = std::find(names.begin(), names.end(), "glEnd");
        ASSERT_NE(end, names.end());
        EXPECT_NE(std::find(end, names.end(), "glDisable"), names.end()) << "lighting off after the polygon";
        EXPECT_EQ(recorder::Count("glDisable", {GL_LIGHTING}), 1u);
        EXPECT_EQ(channel.state()->lightingEnabled, 0);
        EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
        EXPECT_EQ(recorder::Count("glDisable", {GL_TEXTURE_2D}), 0u);
        EXPECT_EQ(channel.state()->textureEnabled, 1);
        EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    }
}

TEST_F(LightPointTest, EveryRendererDrawsThePointsUnderTheObjectMatrix)
{
    object.square(5, 5, 1);
    object.matrix[3] = 4;
    for (int renderer = 0; renderer < kRendererCount; ++renderer) {
        for (bool preLit : {false, true}) {
            SCOPED_TRACE(testing::Message() << "renderer " << renderer << (preLit ? " pre-lit" : " lit"));
            recordDraw(renderer, ModeOf(renderer), object.finish(preLit));
            recorder::Stop();
            std::vector<std::string> names = recorder::Names();
            auto multiplied = std::find(names.begin(), names.end(), "glMultMatrixf");
            auto sphere = std::find(names.begin(), names.end(), "gluSphere");
            ASSERT_NE(sphere, names.end());
            EXPECT_LT(multiplied, sphere);
            EXPECT_EQ(std::count(sphere, names.end(), "glPopMatrix"), 2) << "the point's and the object's";
            std::vector<double> shading;
            for (const GlCall& call : recorder::CallsNamed("glShadeModel")) shading.push_back(call.args[0]);
            const std::vector<double> bracket = {GL_FLAT, GL_SMOOTH};
            EXPECT_EQ(shading, renderer >= 8 ? bracket : std::vector<double>());
        }
    }
}

}  // namespace
