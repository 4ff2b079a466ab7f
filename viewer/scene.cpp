#include "scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "shapes.h"

namespace {

constexpr float kPi = 3.14159265f;

enum Material : uint32_t {
    kDefault = kDefaultMaterial, kGround, kLogo, kShiny, kGlass, kFence, kBrick, kSteadyLight, kFlashingLight, kUnlitSign, kCount
};

MaterialEntry Lit(Vec3 colour, float specular = 0.2f, float shininess = 10)
{
    MaterialEntry m{};
    m.colour[0] = colour.x;
    m.colour[1] = colour.y;
    m.colour[2] = colour.z;
    m.ambientFactor = 0.35f;
    m.diffuseFactor = 0.9f;
    m.specular = specular;
    m.shininess = shininess;
    return m;
}

MaterialEntry Textured(Vec3 colour, int32_t texture)
{
    MaterialEntry m = Lit(colour);
    m.textured = 1;
    m.textureId = texture;
    return m;
}

MaterialEntry Emitting(Vec3 colour)
{
    MaterialEntry m{};
    m.emission[0] = colour.x;
    m.emission[1] = colour.y;
    m.emission[2] = colour.z;
    return m;
}

template <typename ColourAt>
Picture Procedural(uint32_t width, uint32_t height, ColourAt colourAt)
{
    Picture picture{width, height, std::vector<uint8_t>(size_t{width} * height * 4)};
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t rgb = colourAt(x, y);
            uint8_t* p = &picture.rgba[(size_t{y} * width + x) * 4];
            p[0] = uint8_t(rgb >> 16);
            p[1] = uint8_t(rgb >> 8);
            p[2] = uint8_t(rgb);
            p[3] = 255;
        }
    return picture;
}

uint32_t Checker(uint32_t x, uint32_t y) { return ((x / 8 + y / 8) % 2) ? 0x6FA050 : 0x4E7F3A; }

uint32_t Fence(uint32_t x, uint32_t y)
{
    bool wire = (x + y) % 16 < 3 || (x + 16 - y % 16) % 16 < 3 || y < 3 || y > 60;
    return wire ? 0xC8C8C8 : 0xFF00FF;  // magenta is cut out
}

uint32_t Brick(uint32_t x, uint32_t y)
{
    bool mortar = y % 16 < 2 || (x + (y / 16 % 2) * 16) % 32 < 2;
    return mortar ? 0xD8D0C0 : 0xA0402C + ((x * 7 + y * 13) % 16);
}

uint32_t Logo(uint32_t x, uint32_t y)
{
    int dx = int(x) - 32, dy = int(y) - 32;
    bool ring = dx * dx + dy * dy < 26 * 26 && dx * dx + dy * dy > 16 * 16;
    bool bar = std::abs(dx) < 4 || std::abs(dy) < 4;
    return ring || bar ? 0xF0C020 : 0x203060;
}

// A sky over a band of hills, the horizon near the middle row of a picture
// of the given height: rows are top first, like a photograph. The sky
// darkens over the 128 rows above the horizon and keeps its deepest blue
// above them; the ground darkens below the hills.
uint32_t Panorama(uint32_t height, uint32_t x, uint32_t y)
{
    const float horizon = float(height / 2) - 16;
    float hill = horizon + 10 * std::sin(x * 2 * kPi / kPanoramaCircle * 7) +
                 5 * std::sin(x * 2 * kPi / kPanoramaCircle * 31 + 1);
    if (y > hill) return 0x4A6A48 - (std::min((y - uint32_t(hill)) / 6, 0x40u) << 8);
    float above = horizon + 16 - float(y);  // rows above the middle
    float t = 1 - std::min(above / 128, 1.0f);
    auto channel = [t](float top, float bottom) { return uint32_t(top + (bottom - top) * t) & 0xFF; };
    uint32_t sky = channel(40, 158) << 16 | channel(90, 184) << 8 | channel(170, 204);
    bool cloud = std::sin(x * 0.021f + y * 0.09f) * std::sin(x * 0.011f) > 0.72f && above < 108 && above > 48;
    return cloud ? 0xF4F4F8 : sky;
}

void SetModel(Mesh& mesh, Vec3 at, float yaw = 0, float scale = 1)
{
    float c = std::cos(yaw) * scale, s = std::sin(yaw) * scale;
    const float model[12] = {c, 0, s, at.x, 0, scale, 0, at.y, -s, 0, c, at.z};
    std::memcpy(mesh.model, model, sizeof model);
}

Camera LookAt(Vec3 from, Vec3 to, Vec3 up)
{
    Vec3 forward = Normalise(to - from);
    Vec3 right = Normalise(Cross(up, forward));
    Vec3 trueUp = Cross(forward, right);
    Camera camera{{right.x, right.y, right.z, -Dot(right, from), trueUp.x, trueUp.y, trueUp.z, -Dot(trueUp, from),
                   forward.x, forward.y, forward.z, -Dot(forward, from)},
                  from, std::atan2(forward.x, forward.z), std::asin(forward.y)};
    return camera;
}

// a x b for two affine transforms of three rows.
void Compose(const float a[12], const float b[12], float out[12])
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            out[r * 4 + c] = a[r * 4] * b[c] + a[r * 4 + 1] * b[4 + c] + a[r * 4 + 2] * b[8 + c] + (c == 3 ? a[r * 4 + 3] : 0);
}

// The inverse of an affine transform applied to a point.
Vec3 InverseApply(const float m[12], Vec3 p)
{
    const float a = m[0], b = m[1], c = m[2], d = m[4], e = m[5], f = m[6], g = m[8], h = m[9], i = m[10];
    float det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    if (det == 0) return p;
    Vec3 q{p.x - m[3], p.y - m[7], p.z - m[11]};
    return Vec3{(e * i - f * h) * q.x + (c * h - b * i) * q.y + (b * f - c * e) * q.z,
                (f * g - d * i) * q.x + (a * i - c * g) * q.y + (c * d - a * f) * q.z,
                (d * h - e * g) * q.x + (b * g - a * h) * q.y + (a * e - b * d) * q.z} *
           (1 / det);
}

}  // namespace

uint32_t PanoramaHeight(uint32_t viewHeight)
{
    const float pixelsPerRadian = kPanoramaCircle / (2 * kPi);
    return viewHeight + 2 * uint32_t(std::ceil(kPanoramaTilt * pixelsPerRadian));
}

void Scene::Build(uint32_t viewWidth, uint32_t viewHeight)
{
    viewWidth_ = viewWidth;
    materials.resize(kCount);
    materials[kDefault] = Lit({0.8f, 0.8f, 0.8f});
    materials[kGround] = Textured({1, 1, 1}, kGroundTexture);
    materials[kLogo] = Textured({1, 1, 1}, kLogoTexture);
    materials[kShiny] = Lit({0.25f, 0.45f, 0.95f}, 0.9f, 40);
    materials[kGlass] = Lit({0.6f, 0.95f, 1.0f}, 0.8f, 60);
    materials[kGlass].transparency = 0.55f;
    materials[kFence] = Textured({1, 1, 1}, kFenceTexture);
    materials[kBrick] = Textured({1, 1, 1}, kBrickTexture);
    materials[kSteadyLight] = Emitting({1, 0.95f, 0.6f});
    materials[kFlashingLight] = Emitting({1, 0.15f, 0.1f});
    materials[kUnlitSign] = Lit({1, 0.55f, 0.1f});

    logo = Procedural(64, 64, Logo);
    const uint32_t panoramaHeight = PanoramaHeight(viewHeight);
    SetPanorama(Procedural(kPanoramaCircle, panoramaHeight,
                           [panoramaHeight](uint32_t x, uint32_t y) { return Panorama(panoramaHeight, x, y); }));
    fence = Procedural(64, 64, Fence);
    ground = Procedural(64, 64, Checker);
    brick = Procedural(64, 64, Brick);

    meshes.push_back(MakeGround(30, 40, kGround));
    Mesh box = MakeBox({0.8f, 0.8f, 0.8f}, kLogo, {1, 1, 1});
    box.renderMode = 0x402;  // facet-lit
    SetModel(box, {-3, 0.8f, 1}, 0.5f);
    meshes.push_back(std::move(box));
    Mesh centre = MakeSphere(1.2f, 24, 12, kShiny);
    SetModel(centre, {0, 1.4f, 0});
    centre_ = meshes.size();
    meshes.push_back(std::move(centre));
    Mesh pyramid = MakePyramid(1.0f, 1.6f);
    SetModel(pyramid, {3, 0, -1}, 0.3f);
    meshes.push_back(std::move(pyramid));
    Mesh pillar = MakeBox({0.5f, 1.5f, 0.5f}, kBrick, {1, 1, 1});
    pillar.renderMode = 0x402;
    SetModel(pillar, {2.5f, 1.5f, 3});
    meshes.push_back(std::move(pillar));
    Mesh sign = MakeBox({0.7f, 0.25f, 0.05f}, kUnlitSign, {1, 1, 1});
    sign.renderMode = 0x401;  // unlit
    SetModel(sign, {-3, 2.2f, 1}, 0.5f);
    meshes.push_back(std::move(sign));
    Mesh fencePanel = MakePanel(2.5f, 1.0f, kFence);
    fencePanel.renderMode = 0x401;
    SetModel(fencePanel, {0, 1.0f, -4});
    meshes.push_back(std::move(fencePanel));
    meshes.push_back(MakeBeaconRing(5.5f, 16, kSteadyLight, kFlashingLight));
    Mesh glass = MakeBox({0.9f, 0.9f, 0.9f}, kGlass, {1, 1, 1});
    glass.transparent = true;
    SetModel(glass, {-1.5f, 0.9f, -2.5f}, 0.2f);
    meshes.push_back(std::move(glass));
    for (Mesh& mesh : meshes) mesh.Finish();

    lights.resize(2);
    lights[0].type = 0;  // the sun, from the upper left behind the camera
    lights[0].direction[0] = 0.4f;
    lights[0].direction[1] = -0.8f;
    lights[0].direction[2] = 0.45f;
    lights[0].colour[0] = lights[0].colour[1] = 0.85f;
    lights[0].colour[2] = 0.75f;
    lights[1].type = 1;  // a warm lamp near the pillar
    lights[1].position[0] = 2.5f;
    lights[1].position[1] = 3.5f;
    lights[1].position[2] = 2.0f;
    lights[1].colour[0] = 0.9f;
    lights[1].colour[1] = 0.6f;
    lights[1].colour[2] = 0.3f;
    lights[1].linearAttenuation = 0.3f;
    environment.ambient[0] = environment.ambient[1] = environment.ambient[2] = 0.3f;
    environment.fogMode = 1;
    environment.fogStart = 10;
    environment.fogEnd = 32;
    environment.fogColour[0] = 0.62f;
    environment.fogColour[1] = 0.72f;
    environment.fogColour[2] = 0.80f;
    environment.lights = lights.data();
    environment.lightCount = static_cast<uint32_t>(lights.size());
}

void Scene::SetPanorama(Picture circle)
{
    panoramaCircle = circle.width;
    panorama.width = circle.width + viewWidth_;
    panorama.height = circle.height;
    panorama.rgba.resize(size_t{panorama.width} * panorama.height * 4);
    for (uint32_t y = 0; y < panorama.height; ++y)
        for (uint32_t x = 0; x < panorama.width; ++x)
            std::memcpy(&panorama.rgba[(size_t{y} * panorama.width + x) * 4],
                        &circle.rgba[(size_t{y} * circle.width + x % circle.width) * 4], 4);
}

void Scene::ReplaceCentre(Mesh model)
{
    Mesh& centre = meshes[centre_];
    centre = std::move(model);
    SetModel(centre, {0, 1.4f, 0});
    centre.Finish();
}

uint32_t Scene::PolygonCount() const
{
    uint32_t count = 0;
    for (const Mesh& mesh : meshes) count += static_cast<uint32_t>(mesh.polygons.size());
    return count;
}

TextureDefinition TextureFrom(Picture& picture, uint32_t flags)
{
    TextureDefinition definition{};
    definition.image = {picture.rgba.data(), picture.width * 4, picture.width, picture.height,
                        32, 4, 0xFF, 0, 8, 0xFF00, 8, 8, 0xFF0000, 16, 8, 0};
    definition.operation = ZQGD_DEFINE_TEXTURE;
    definition.flags = flags;
    definition.keyRed = 256;
    definition.textureMatrix[0] = definition.textureMatrix[4] = definition.textureMatrix[8] = 1;
    return definition;
}

TextureDefinition BackdropFrom(Picture& picture, uint32_t circle)
{
    TextureDefinition definition = TextureFrom(picture, 0);
    definition.operation = ZQGD_DEFINE_BACKDROP;
    // The full circle in `circle` pixels (4096 make about the scale of the
    // main view's projection, so the hills stay on the horizon as the camera
    // turns), and the repeated columns beyond it at the same scale.
    definition.angularWidth = 2 * kPi * float(picture.width) / float(circle);
    // Angles grow downward here: the image's middle row lies a little below
    // the horizon, where the far ground fades into the haze.
    definition.verticalAngle = 0.12f;
    return definition;
}

bool LoadBrickTexture(int32_t id, TextureDefinition* definition)
{
    static Picture brick = Procedural(64, 64, Brick);
    if (id != kBrickTexture) return false;
    *definition = TextureFrom(brick, ZQGD_TEXTURE_MODULATE | ZQGD_TEXTURE_LINEAR);
    return true;
}

Camera OrbitCamera(int frame, int frames)
{
    float turn = -0.6f + 1.4f * frame / std::max(frames - 1, 1);
    Vec3 from{11 * std::sin(turn), 3.2f + 0.6f * std::sin(turn * 2), -11 * std::cos(turn)};
    return LookAt(from, {0, 1.2f, 0}, {0, 1, 0});
}

Camera TopCamera() { return LookAt({0, 30, 0}, {0, 0, 0}, {0, 0, 1}); }

void PlaceMesh(Mesh& mesh, const Camera& camera)
{
    Compose(camera.rows, mesh.model, mesh.objectMatrix);
    Vec3 eye = InverseApply(mesh.model, camera.position);
    mesh.eye[0] = eye.x;
    mesh.eye[1] = eye.y;
    mesh.eye[2] = eye.z;
}
