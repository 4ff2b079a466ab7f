// Every renderer on one large object (a grid of small textured, lit quads),
// against a raw-GL loop that issues the same GL calls from data extracted
// beforehand. Prints polygons per second and the ratio of the driver's time
// to the raw loop's, measured in the same run. The renderers a host reaches
// through SetRenderMode (those with vertex arrays, where GL has them) run
// once more through the checked layer, on a channel of its own in the same
// driver: the ratio of that time to the driver's is the layer's cost.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/median_reporter.h"
#include "checked/layer.h"
#include "driver/probe.h"
#include "render/renderer_table.h"
#include "texture/texture_store.h"
#include "view/view.h"
#include "zqgd/platform.h"

namespace {

constexpr int kSide = 317;  // 100 489 quads
constexpr uint32_t kPolygons = kSide * kSide;

int32_t NoTextures(int32_t, TextureDefinition*) { return 1; }

// The driver, a view and the object, set up once.
struct Scene {
    HWND window = nullptr;
    ChannelRecord channel{};
    ChannelRequest request{};
    ChannelOps ops{};
    ViewDescriptor descriptor{};
    ViewRecord view{};
    ViewOps viewOps{};
    MaterialSelection selection{0, 0, 0};
    MaterialEntry material{};
    std::vector<uint8_t> texels = std::vector<uint8_t>(64 * 64 * 4, 200);
    std::vector<float> vertices;
    std::vector<PolygonRecord> polygons;
    PolygonList list{};
    float matrix[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    float eye[3] = {0, 0, 0};
    GeometryBlock block{};
    // The raw loop's data: per corner, in drawing order.
    std::vector<float> positions, normals, coordinates;
    std::vector<GLint> indices;

    explicit Scene(ZqGDOpenChannelFunction open)
    {
        window = ZqCreateWindow(256, 256, "bench");
        request = {0, 256, 256, 0, 0, 2, 0, 0, &window};
        open(&channel, &request, &ops, NoTextures);
        descriptor.nearPlane = 0.1f;
        descriptor.farPlane = 100;
        descriptor.orthographic = 1;
        descriptor.orthoHalfWidth = descriptor.orthoHalfHeight = 1;
        view.view = &descriptor;
        view.channel = &channel;
        view.materialSelection = &selection;
        ops.OpenView(&view, &viewOps);
        viewOps.SetViewSize(&view, 256, 256);
        defineTexture();
        material.colour[0] = material.colour[1] = material.colour[2] = 1;
        material.diffuseFactor = 1;
        material.textured = 1;
        material.textureId = 1;
        _ZqGmaterials = {0, &material};
        buildGrid();
    }

    void defineTexture()
    {
        TextureDefinition definition{};
        definition.image = {texels.data(), 256, 64, 64, 32, 4, 0xFF, 0, 8, 0xFF00, 8, 8, 0xFF0000, 16, 8, 0};
        definition.operation = ZQGD_DEFINE_TEXTURE;
        definition.flags = ZQGD_TEXTURE_MODULATE | ZQGD_TEXTURE_LINEAR;
        definition.keyRed = 256;
        definition.textureMatrix[0] = definition.textureMatrix[4] = definition.textureMatrix[8] = 1;
        ops.DefineTexture(&channel, 1, &definition, 1);
    }

    void buildGrid()
    {
        const float step = 2.0f / kSide;
        for (int y = 0; y <= kSide; ++y)
            for (int x = 0; x <= kSide; ++x) vertices.insert(vertices.end(), {-1 + x * step, -1 + y * step, 5});
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                PolygonRecord polygon{};
                polygon.vertexCount = 4;
                const uint32_t corner[4] = {uint32_t(y * (kSide + 1) + x), uint32_t(y * (kSide + 1) + x + 1),
                                            uint32_t((y + 1) * (kSide + 1) + x + 1), uint32_t((y + 1) * (kSide + 1) + x)};
                static const float st[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
                for (int i = 0; i < 4; ++i) {
                    PolygonCorner& c = polygon.corners[i];
                    c.vertexIndex = corner[i];
                    c.normal[2] = -1;
                    c.texCoord[0] = st[i][0];
                    c.texCoord[1] = st[i][1];
                    c.colour[0] = 1;
                    positions.insert(positions.end(), vertices.begin() + corner[i] * 3, vertices.begin() + corner[i] * 3 + 3);
                    normals.insert(normals.end(), c.normal, c.normal + 3);
                    coordinates.insert(coordinates.end(), c.texCoord, c.texCoord + 2);
                    indices.push_back(static_cast<GLint>(corner[i]));
                }
                polygon.plane[2] = -1;
                polygon.plane[3] = 5;
                polygons.push_back(polygon);
            }
        list = {static_cast<uint32_t>(vertices.size() / 3), reinterpret_cast<float(*)[3]>(vertices.data()), kPolygons,
                polygons.data(), 0, nullptr};
        block.polygonList = &list;
        block.objectMatrix = matrix;
        block.eyePosition = eye;
    }

    void begin(int renderer)
    {
        static const float identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
        int32_t group = renderer / 4 == 0 ? 1 : renderer / 4 == 1 ? 2 : 0;
        viewOps.SetRenderMode(&view, group | (renderer % 2 ? ZQGD_MODE_LINES : 0));
        viewOps.BeginView(&view, 0, identity, ZQGD_CLEAR_COLOUR);
    }
};

Scene& TheScene()
{
    static Scene scene(ZqGDOpenChannel);
    return scene;
}

int32_t OpenThroughTheLayer(ChannelRecord* channel, ChannelRequest* request, ChannelOps* ops,
                            TextureLoadCallback textureLoad)
{
    return checked::OpenChannel(ZqGDOpenChannel, channel, request, ops, textureLoad);
}

Scene& TheCheckedScene()
{
    static Scene scene(OpenThroughTheLayer);
    return scene;
}

void Driver(benchmark::State& state)
{
    Scene& scene = TheScene();
    int renderer = static_cast<int>(state.range(0));
    scene.begin(renderer);
    for (auto _ : state) {
        kRendererTable[renderer](&scene.view, nullptr, &scene.block);
        glFinish();
    }
    state.counters["polygons/s"] = benchmark::Counter(double(kPolygons), benchmark::Counter::kIsIterationInvariantRate);
}

// The renderer the mode installs, called through the checked layer's slot 3.
void Checked(benchmark::State& state)
{
    Scene& scene = TheCheckedScene();
    scene.begin(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        scene.viewOps.DrawPolygons(&scene.view, nullptr, &scene.block);
        glFinish();
    }
    state.counters["polygons/s"] = benchmark::Counter(double(kPolygons), benchmark::Counter::kIsIterationInvariantRate);
}

// The calls the renderer makes for this grid, with nothing to look up: the
// entry switches once, then per polygon the primitive alone (material and
// texture are cached after the first polygon).
void RawGl(benchmark::State& state)
{
    Scene& scene = TheScene();
    int renderer = static_cast<int>(state.range(0));
    int group = renderer / 4;
    bool outlined = renderer % 2 == 1, arrays = renderer % 4 >= 2;
    scene.begin(renderer);
    kRendererTable[renderer](&scene.view, nullptr, &scene.block);  // the same switches and material
    const float* p = scene.positions.data();
    const float* n = scene.normals.data();
    const float* t = scene.coordinates.data();
    const GLint* index = scene.indices.data();
    auto position = [&](size_t corner) {
        if (arrays)
            glArrayElement(index[corner]);
        else
            glVertex3fv(p + corner * 3);
    };
    const GLfloat white[4] = {1, 1, 1, 1};
    const float* m = scene.matrix;
    const GLfloat objectMatrix[16] = {m[0], m[4], m[8], 0, m[1], m[5], m[9], 0, m[2], m[6], m[10], 0, m[3], m[7], m[11], 1};
    for (auto _ : state) {
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glMultMatrixf(objectMatrix);
        if (arrays) glVertexPointer(3, GL_FLOAT, 0, scene.vertices.data());
        for (size_t polygon = 0; polygon < kPolygons; ++polygon) {
            size_t first = polygon * 4;
            if (group == 0 && !outlined) glColor4fv(white);
            if (group == 0 && outlined) glColor3fv(white);
            glBegin(outlined ? GL_LINE_LOOP : GL_QUADS);
            if (group == 1) glNormal3fv(n + first * 3);
            for (size_t corner = first; corner < first + 4; ++corner) {
                if (!outlined) glTexCoord2fv(t + corner * 2);
                if (group == 2) glNormal3fv(n + corner * 3);
                position(corner);
            }
            glEnd();
        }
        glPopMatrix();
        glFinish();
    }
    state.counters["polygons/s"] = benchmark::Counter(double(kPolygons), benchmark::Counter::kIsIterationInvariantRate);
}

const char* const kNames[kRendererCount] = {
    "UnlitFill", "UnlitLines", "UnlitFillArrays", "UnlitLinesArrays", "FacetFill", "FacetLines",
    "FacetFillArrays", "FacetLinesArrays", "SmoothFill", "SmoothLines", "SmoothFillArrays", "SmoothLinesArrays"};

// Prints the driver / raw GL ratios after the run.
class RatioReporter : public MedianReporter {
public:
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%-20s %12s %12s %8s %12s %16s\n", "renderer", "driver ms", "raw GL ms", "ratio", "checked ms",
                    "checked/driver");
        for (int i = 0; i < kRendererCount; ++i) {
            const Run* driver = kept("Driver/" + std::to_string(i));
            const Run* raw = kept("RawGl/" + std::to_string(i));
            const Run* checked = kept("Checked/" + std::to_string(i));
            if (driver == nullptr || raw == nullptr) continue;
            double driverTime = driver->GetAdjustedRealTime(), rawTime = raw->GetAdjustedRealTime();
            std::printf("%-20s %12.2f %12.2f %8.3f", kNames[i], driverTime, rawTime, driverTime / rawTime);
            if (checked != nullptr)
                std::printf(" %12.2f %16.3f", checked->GetAdjustedRealTime(), checked->GetAdjustedRealTime() / driverTime);
            std::printf("\n");
        }
    }
};

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 0; i < kRendererCount; ++i) {
        std::vector<benchmark::internal::Benchmark*> runs = {benchmark::RegisterBenchmark("RawGl", RawGl),
                                                             benchmark::RegisterBenchmark("Driver", Driver)};
        if (i % 4 >= 2) runs.push_back(benchmark::RegisterBenchmark("Checked", Checked));
        for (auto* benchmark : runs) benchmark->Arg(i)->UseRealTime()->MinWarmUpTime(0.1)->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
