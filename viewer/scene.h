// The built-in scene: its objects, materials, textures, lights, fog and
// backdrop, and the camera path over the frames.
#pragma once

#include <string>
#include <vector>

#include "mesh.h"
#include "picture.h"
#include "zqgd/texture.h"
#include "zqgd/view.h"

// Texture ids of the scene.
enum : int32_t {
    kGroundTexture = 1,    // checker, tiled by its texture matrix
    kFenceTexture = 2,     // with a transparent colour
    kBrickTexture = 3,     // defined on demand through the load callback
    kLogoTexture = 4,      // the box's picture
    kBackdropImage = 10,   // a panorama of the full circle
    kFirstModelTexture = 100,  // then one for each texture of the model's materials
};

// A texture map's row 0 is the one the driver uploads first, which GL puts
// at t = 0; texture coordinates (the OBJ's u and v, and the box's) grow
// rightward and upward. So a texture picture is kept bottom row first: its
// top row lands at the top of a face. A backdrop's picture stays top row
// first; the driver turns that one over itself.
struct SceneTexture {
    int32_t id;
    Picture picture;
};

// The material a model's faces without one of their own are drawn with.
constexpr uint32_t kDefaultMaterial = 0;

// Everything is made here, procedurally; the viewer may then put pictures
// and a model of its own in place of the logo, the panorama and the sphere.
struct Scene {
    std::vector<MaterialEntry> materials;
    std::vector<Mesh> meshes;
    // Pixel memory handed to the driver stays here for the life of the scene.
    Picture logo, fence, ground, brick;
    // The panorama as the driver gets it: the full circle, then its first
    // columns again, as many as the window is wide (see SetPanorama).
    Picture panorama;
    uint32_t panoramaCircle = 0;  // the columns of the full circle
    std::vector<SceneTexture> modelTextures;
    std::vector<LightRecord> lights;
    Environment environment{};
    Environment insetEnvironment{};
    MaterialSelection selection{0, 1, 0};

    // For a main view of viewWidth x viewHeight pixels: the built-in
    // panorama is made tall enough to cover it at every tilt of the camera
    // (see PanoramaHeight).
    void Build(uint32_t viewWidth, uint32_t viewHeight);
    // Puts a picture of the full circle behind the scene. The driver draws a
    // backdrop once, at one picture pixel per window pixel, where the
    // camera's heading puts it; with the circle's first columns repeated
    // after its last, as many as the view is wide, the view lies within the
    // picture at every heading.
    void SetPanorama(Picture circle);
    // Puts a model in the middle of the scene in place of the sphere; its
    // polygons may name materials appended to materials.
    void ReplaceCentre(Mesh model);
    uint32_t PolygonCount() const;

private:
    size_t centre_ = 0;
    uint32_t viewWidth_ = 0;
};

// The built-in panorama: kPanoramaCircle pixels cover the full circle, so
// one radian is kPanoramaCircle / 2 pi pixels in both directions, as the
// driver draws a backdrop at one picture pixel per window pixel. Its
// middle row follows the camera's tilt (the angle below its centre), so it
// covers a view when it is taller than the view by that tilt's pixels above
// and below: the camera looks at most kPanoramaTilt radians away from the
// panorama's centre.
constexpr uint32_t kPanoramaCircle = 4096;
constexpr float kPanoramaTilt = 0.3f;
uint32_t PanoramaHeight(uint32_t viewHeight);

// The definitions handed to DefineTexture. A 32-bit picture with
// power-of-two sides is used in place by the driver, so it must outlive
// the texture.
TextureDefinition TextureFrom(Picture& picture, uint32_t flags);
// A backdrop of the picture, whose first `circle` columns cover the full
// circle.
TextureDefinition BackdropFrom(Picture& picture, uint32_t circle);
// The definition the load callback returns for the brick texture.
bool LoadBrickTexture(int32_t id, TextureDefinition* definition);

// The camera of a frame: a world-to-eye matrix (three rows), where it stands
// and its heading and pitch (radians).
struct Camera {
    float rows[12];
    Vec3 position;
    float heading, pitch;
};
Camera OrbitCamera(int frame, int frames);
Camera TopCamera();

// object matrix = camera x model; eye = the camera position in the model's
// own coordinates.
void PlaceMesh(Mesh& mesh, const Camera& camera);
