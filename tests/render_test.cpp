// The polygon renderers, materials and light points, on the real GL and
// with the call recorder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

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
    TestObject object;
    // Edges at pixel centres: columns and rows 22 and 41.
    PolygonRecord& square = object.square(9.5f, 5, 1);
    square.facetColour[1] = 1;
    for (PolygonCorner& corner : square.corners) corner.colour[2] = 1;
    materials.entries[1].colour[0] = 1;  // red, fully diffuse
    for (bool preLit : {false, true}) {
        GeometryBlock* block = object.finish(preLit);
        for (int renderer = 0; renderer < kRendererCount; ++renderer) {
            SCOPED_TRACE(testing::Message() << "renderer " << renderer << (preLit ? " pre-lit" : " lit"));
            int group = renderer / 4;
            Rgb expected = {255, 0, 0};
            if (preLit && group == 1) expected = {0, 255, 0};
            if (preLit && group == 2) expected = {0, 0, 255};
            Image image = draw(renderer, ModeOf(renderer), block);
            bool outlined = renderer % 2 == 1;
            EXPECT_TRUE(Near(image.at(32, 32), outlined ? kGrey : expected, 3)) << "centre";
            EXPECT_TRUE(Near(image.at(22, 32), expected, 3)) << "left edge";
            EXPECT_TRUE(Near(image.at(32, outlined ? 41 : 40), expected, 3)) << "top edge";
            EXPECT_TRUE(Near(image.at(10, 32), kGrey, 3)) << "outside";
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

// The corners, by vertex index, between each glBegin and glEnd.
std::vector<std::pair<double, std::vector<int>>> Primitives()
{
    std::vector<std::pair<double, std::vector<int>>> primitives;
    for (const GlCall& call : recorder::Calls()) {
        if (call.name == "glBegin") primitives.push_back({call.args[0], {}});
        if (call.name == "glVertex3fv") primitives.back().second.push_back(static_cast<int>(call.args[0]));
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
    EXPECT_EQ(Primitives()[0].second, (std::vector<int>{0, 1, 2, 3}));
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
        view->ops.SetRenderMode(&view->record, 0);
        view->begin(0);
        recorder::Start();
        kRendererTable[renderer](&view->record, nullptr, block);
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
    view->ops.SetRenderMode(&view->record, 2);
    view->begin(0);
    recorder::Start();
    kRendererTable[4](&view->record, nullptr, quad.finish());
    std::vector<std::string> names = recorder::Names();
    auto begin = std::find(names.begin(), names.end(), "glBegin");
    EXPECT_EQ(std::vector<std::string>(begin, names.end()),
              (std::vector<std::string>{"glBegin", "glNormal3fv", "glVertex3fv", "glVertex3fv", "glVertex3fv",
                                        "glVertex3fv", "glEnd", "glPopMatrix"}));
    EXPECT_EQ(recorder::Count("glBegin", {GL_QUADS}), 1u);
    EXPECT_EQ(recorder::Count("glNormal3fv", {0, 0, -1}), 1u);
    EXPECT_EQ(recorder::Count("glColor4fv"), 0u) << "lit polygons send no colour";

    // An outlined unlit quad.
    view->ops.SetRenderMode(&view->record, 0x11);
    view->begin(0);
    recorder::Start();
    kRendererTable[1](&view->record, nullptr, quad.finish());
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
    view->ops.SetRenderMode(&view->record, 2);
    view->begin(0);
    recorder::Start();
    kRendererTable[4](&view->record, nullptr, block);
    EXPECT_EQ(recorder::Count("glColor4fv", {0.25, 0, 0, 0.5}), 1u);
    EXPECT_EQ(recorder::Count("glNormal3fv"), 0u);
    EXPECT_EQ(recorder::Count("glEnable", {GL_LIGHTING}), 0u);
    EXPECT_EQ(channel.state()->lightingEnabled, 0);

    // A smooth outline sends alpha 1 with every corner colour.
    view->ops.SetRenderMode(&view->record, 0x10);
    view->begin(0);
    recorder::Start();
    kRendererTable[9](&view->record, nullptr, block);
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
    view->ops.SetRenderMode(&view->record, 0);
    view->begin(0);
    recorder::Start();
    kRendererTable[8](&view->record, nullptr, object.finish());
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
        ASSERT_TRUE(Near(lit.at(22, 32), {0, 0, 0}, 3)) << "lit by a black light";
        ASSERT_EQ(channel.state()->lightingEnabled, 1);
        kRendererTable[renderer](&view->record, nullptr, block);
        EXPECT_TRUE(Near(channel.drawn().at(22, 32), {255, 0, 0}, 3));
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
        EXPECT_EQ(recorder::Names().front(), "glDisable") << "before the object matrix";
    }
}

TEST_F(RenderTest, ObjectMatrixGoesToGlTransposedWithItsTranslation)
{
    TestObject object;
    object.square(2, 5);
    const float matrix[12] = {0, -2, 0, 3, 1, 0, 0.5f, 4, 0, 0, 1, 5};
    std::memcpy(object.matrix, matrix, sizeof matrix);
    view->ops.SetRenderMode(&view->record, 1);
    view->begin(0);
    recorder::Start();
    kRendererTable[0](&view->record, nullptr, object.finish());
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
        view->ops.SetRenderMode(&view->record, ModeOf(renderer));
        view->begin(0);
        recorder::Start();
        kRendererTable[renderer](&view->record, nullptr, block);
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
        view->ops.SetRenderMode(&view->record, ModeOf(renderer));
        view->begin(0);
        recorder::Start();
        kRendererTable[renderer](&view->record, nullptr, block);
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
    EXPECT_EQ(*(bind + 1), "glTexEnvi");
    EXPECT_EQ(recorder::Count("glTexEnvi", {GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL}), 1u);
}

TEST_F(RenderTest, AlphaOfPreLitSmoothFillsAndOfTheEmission)
{
    materials.entries[1].transparency = 0.25f;
    TestObject object;
    object.square(5, 5, 1);
    view->ops.SetRenderMode(&view->record, ModeOf(8));
    view->begin(0);
    recorder::Start();
    kRendererTable[8](&view->record, nullptr, object.finish(true));
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
    view->ops.SetRenderMode(&view->record, 0x1001);
    view->begin(0);
    recorder::Start();
    kRendererTable[0](&view->record, nullptr, object.finish());
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
    view->ops.SetRenderMode(&view->record, 1);
    view->begin(0);
    recorder::Start();
    kRendererTable[0](&view->record, nullptr, object.finish());
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
    view->ops.SetRenderMode(&view->record, 1);
    view->begin(0);
    recorder::Start();
    kRendererTable[0](&view->record, nullptr, object.finish());
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
        view->ops.SetRenderMode(&view->record, ModeOf(renderer));
        view->begin(0);
        recorder::Start();
        kRendererTable[renderer](&view->record, nullptr, object.finish());
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

}  // namespace
