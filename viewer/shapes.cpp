#include "shapes.h"

#include <cmath>
#include <cstring>

#include "zqgd/host.h"

namespace {

constexpr float kPi = 3.14159265f;
const Vec3 kWhite{1, 1, 1};

// A quad from four positions in order around its face.
void Quad(Mesh& mesh, Vec3 a, Vec3 b, Vec3 c, Vec3 d, Vec3 normal, uint32_t material, Vec3 colour)
{
    uint32_t i = mesh.AddVertex(a), j = mesh.AddVertex(b), k = mesh.AddVertex(c), l = mesh.AddVertex(d);
    mesh.AddPolygon({{i, normal, 0, 0, colour}, {j, normal, 1, 0, colour}, {k, normal, 1, 1, colour},
                     {l, normal, 0, 1, colour}},
                    material, normal);
}

}  // namespace

Mesh MakeBox(Vec3 h, uint32_t material, Vec3 colour)
{
    Mesh mesh;
    mesh.name = "box";
    Quad(mesh, {-h.x, -h.y, -h.z}, {h.x, -h.y, -h.z}, {h.x, h.y, -h.z}, {-h.x, h.y, -h.z}, {0, 0, -1}, material, colour);
    Quad(mesh, {h.x, -h.y, h.z}, {-h.x, -h.y, h.z}, {-h.x, h.y, h.z}, {h.x, h.y, h.z}, {0, 0, 1}, material, colour);
    Quad(mesh, {-h.x, -h.y, h.z}, {-h.x, -h.y, -h.z}, {-h.x, h.y, -h.z}, {-h.x, h.y, h.z}, {-1, 0, 0}, material, colour);
    Quad(mesh, {h.x, -h.y, -h.z}, {h.x, -h.y, h.z}, {h.x, h.y, h.z}, {h.x, h.y, -h.z}, {1, 0, 0}, material, colour);
    Quad(mesh, {-h.x, h.y, -h.z}, {h.x, h.y, -h.z}, {h.x, h.y, h.z}, {-h.x, h.y, h.z}, {0, 1, 0}, material, colour);
    Quad(mesh, {-h.x, -h.y, h.z}, {h.x, -h.y, h.z}, {h.x, -h.y, -h.z}, {-h.x, -h.y, -h.z}, {0, -1, 0}, material, colour);
    return mesh;
}

Mesh MakeSphere(float radius, int slices, int stacks, uint32_t material)
{
    Mesh mesh;
    mesh.name = "sphere";
    auto point = [&](int slice, int stack) {
        float theta = 2 * kPi * slice / slices, phi = kPi * stack / stacks;
        return Vec3{std::sin(phi) * std::sin(theta), -std::cos(phi), std::sin(phi) * std::cos(theta)};
    };
    for (int stack = 0; stack < stacks; ++stack)
        for (int slice = 0; slice < slices; ++slice) {
            Vec3 corners[4] = {point(slice, stack), point(slice, stack + 1), point(slice + 1, stack + 1),
                               point(slice + 1, stack)};
            std::vector<CornerSpec> specs;
            for (int i = 0; i < 4; ++i) {
                if ((stack == 0 && i == 3) || (stack == stacks - 1 && i == 2)) continue;  // poles
                float s = float(slice + (i >= 2)) / slices, t = float(stack + (i == 1 || i == 2)) / stacks;
                specs.push_back({mesh.AddVertex(corners[i] * radius), corners[i], s, t, kWhite});
            }
            Vec3 centre = Normalise(corners[0] + corners[1] + corners[2] + corners[3]);
            mesh.AddPolygon(specs, material, centre);
        }
    return mesh;
}

Mesh MakeGround(float half, int cells, uint32_t material)
{
    Mesh mesh;
    mesh.name = "ground";
    mesh.renderMode = 0x402;  // facet-lit
    float step = 2 * half / cells;
    const Vec3 up{0, 1, 0};
    std::vector<uint32_t> grid;
    for (int z = 0; z <= cells; ++z)
        for (int x = 0; x <= cells; ++x) grid.push_back(mesh.AddVertex({-half + x * step, 0, -half + z * step}));
    for (int z = 0; z < cells; ++z)
        for (int x = 0; x < cells; ++x) {
            auto at = [&](int dx, int dz) { return grid[(z + dz) * (cells + 1) + x + dx]; };
            auto st = [&](int dx, int dz) { return std::pair{float(x + dx) / cells, float(z + dz) / cells}; };
            std::vector<CornerSpec> corners;
            for (auto [dx, dz] : {std::pair{0, 0}, {0, 1}, {1, 1}, {1, 0}}) {
                auto [s, t] = st(dx, dz);
                corners.push_back({at(dx, dz), up, s, t, kWhite});
            }
            mesh.AddPolygon(corners, material, up);
        }
    return mesh;
}

Mesh MakePyramid(float half, float height)
{
    Mesh mesh;
    mesh.name = "pyramid";
    mesh.preLit = true;
    const Vec3 base[4] = {{-half, 0, -half}, {half, 0, -half}, {half, 0, half}, {-half, 0, half}};
    const Vec3 colours[4] = {{1, 0.2f, 0.2f}, {1, 0.9f, 0.1f}, {0.2f, 0.8f, 0.2f}, {0.2f, 0.4f, 1}};
    const Vec3 apex{0, height, 0};
    for (int i = 0; i < 4; ++i) {
        const Vec3 a = base[i], b = base[(i + 1) % 4];
        Vec3 outward = Normalise(Cross(apex - a, b - a));
        uint32_t ia = mesh.AddVertex(a), ib = mesh.AddVertex(b), ic = mesh.AddVertex(apex);
        mesh.AddPolygon({{ia, outward, 0, 0, colours[i]}, {ib, outward, 1, 0, colours[(i + 1) % 4]},
                         {ic, outward, 0.5f, 1, kWhite}},
                        0, outward);
    }
    return mesh;
}

Mesh MakePanel(float halfWidth, float halfHeight, uint32_t material)
{
    Mesh mesh;
    mesh.name = "panel";
    Quad(mesh, {-halfWidth, -halfHeight, 0}, {halfWidth, -halfHeight, 0}, {halfWidth, halfHeight, 0},
         {-halfWidth, halfHeight, 0}, {0, 0, -1}, material, kWhite);
    Quad(mesh, {halfWidth, -halfHeight, 0}, {-halfWidth, -halfHeight, 0}, {-halfWidth, halfHeight, 0},
         {halfWidth, halfHeight, 0}, {0, 0, 1}, material, kWhite);
    return mesh;
}

Mesh MakeBeaconRing(float radius, int count, uint32_t steadyMaterial, uint32_t flashingMaterial)
{
    Mesh mesh;
    mesh.name = "beacons";
    for (int i = 0; i < count; ++i) {
        float angle = 2 * kPi * i / count;
        LightPointRecord point{};
        point.vertexIndex = mesh.AddVertex({radius * std::sin(angle), 0.3f, radius * std::cos(angle)});
        point.size = 0.3f;
        bool flashing = i % 2 == 1;
        point.materialIndex = flashing ? flashingMaterial : steadyMaterial;
        // Seen within 100 degrees of outward, fading over the edge.
        const BeaconSector horizontal{angle, 1.75f};
        std::memcpy(point.horizontalSector, &horizontal, sizeof horizontal);
        if (flashing) {
            const BeaconFlash flash{800, 300, -i * 100};
            std::memcpy(point.flash, &flash, sizeof flash);
        }
        mesh.lightPoints.push_back(point);
    }
    return mesh;
}
