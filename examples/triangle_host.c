/* A complete small host of the zqgd display driver, in C.
 *
 * It loads the module, describes it, opens a channel on a 160 x 120 window,
 * opens one view, draws a lit triangle whose material it puts in the host's
 * material table and a line of overlay text, reads the view back and checks
 * the triangle's and the text's pixels, then closes everything and checks
 * that no memory block is left.
 *
 *     triangle_host [MODULE | --checked]
 *
 * MODULE is the path of libzqgd.so; without it, the path the program was
 * built with (ZQGD_EXAMPLE_MODULE: the package's ZQGD_MODULE, or
 * `pkg-config --variable=module zqgd`). --checked loads the checked module
 * instead (ZQGD_EXAMPLE_CHECKED_MODULE: ZQGD_CHECKED_MODULE, or
 * `pkg-config --variable=checked_module zqgd`), which reports every misuse
 * of the driver on standard error.
 *
 * Exit status 0 when every check holds, 1 otherwise (with a message). */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zqgd/driver.h"   /* records, ChannelOps, entry points */
#include "zqgd/geometry.h" /* GeometryBlock, PolygonList, PolygonRecord, MaterialEntry */
#include "zqgd/host.h"     /* _ZqGmaterials, MMfree, MMLiveBlocks */
#include "zqgd/platform.h" /* windows of the stand-in platform */
#include "zqgd/view.h"     /* ViewRecord, ViewOps, Environment, ... */

enum { WIDTH = 160, HEIGHT = 120 };

/* The host's material table: entry 0 a grey default, entry 1 the
 * triangle's orange. The driver reads it at every polygon. */
static MaterialEntry materials[2] = {
    {{0.5f, 0.5f, 0.5f}, {0, 0, 0}, 1.0f, 1.0f, 0.0f, 1.0f, 0.0f, 0, 0, {0}},
    /* colour, emission, ambient and diffuse factors, specular, shininess,
     * transparency (0: opaque), not textured */
    {{1.0f, 0.5f, 0.0f}, {0, 0, 0}, 0.2f, 0.8f, 0.0f, 1.0f, 0.0f, 0, 0, {0}},
};

/* Called for a texture id the driver does not know: this host has none. */
static int32_t NoTexture(int32_t textureId, TextureDefinition* definition)
{
    (void)textureId;
    (void)definition;
    return 1;
}

/* A read-back pixel: x from the left, y from the bottom (row 0 of the image
 * is the view's bottom row). */
static const uint8_t* PixelAt(const Bitmap* image, int x, int y)
{
    return (const uint8_t*)image->pixels + (size_t)y * image->bytesPerLine + (size_t)x * 4;
}

static int Near(const uint8_t* pixel, int red, int green, int blue)
{
    return abs(pixel[0] - red) <= 3 && abs(pixel[1] - green) <= 3 && abs(pixel[2] - blue) <= 3;
}

static int Fail(const char* what)
{
    fprintf(stderr, "triangle_host: %s\n", what);
    return 1;
}

int main(int argc, char** argv)
{
    const char* modulePath = argc > 1 ? argv[1] : ZQGD_EXAMPLE_MODULE;
    if (argc > 1 && strcmp(argv[1], "--checked") == 0) modulePath = ZQGD_EXAMPLE_CHECKED_MODULE;

    /* Loading the module: its two entry points are all it exports. */
    void* module = dlopen(modulePath, RTLD_NOW);
    if (module == NULL) return Fail(dlerror());
    ZqGDDescriptionFunction describe = (ZqGDDescriptionFunction)dlsym(module, "ZqGDDescription");
    ZqGDOpenChannelFunction openChannel = (ZqGDOpenChannelFunction)dlsym(module, "ZqGDOpenChannel");
    if (describe == NULL || openChannel == NULL) return Fail("the module lacks its entry points");

    /* The description's text and mode list become the host's: free them. */
    DriverDescription description;
    describe(&description);
    printf("%s, %u modes\n", description.description, description.modeCount);
    MMfree(description.description);
    MMfree(description.modes);

    _ZqGmaterials.highestIndex = 1;
    _ZqGmaterials.entries = materials;

    /* A channel on a double-buffered window. The ChannelOps are copied into
     * the host's memory; every later call goes through that copy. */
    HWND window = ZqCreateWindow(WIDTH, HEIGHT, "triangle_host");
    if (window == NULL) return Fail("no window");
    ChannelRequest request = {0, WIDTH, HEIGHT, 0, 0, ZQGD_DOUBLE_BUFFERED, 0, 0, &window};
    ChannelRecord channel;
    memset(&channel, 0, sizeof channel);
    ChannelOps ops;
    if (openChannel(&channel, &request, &ops, NoTexture) != ZQGD_OK) return Fail("no channel");

    /* One view over the whole window: a perspective with a horizontal field
     * of view of 1 radian, one white light shining into the screen (along
     * +z, world coordinates) and a dark blue background. */
    LightRecord light;
    memset(&light, 0, sizeof light);
    light.type = 0; /* directional */
    light.direction[2] = 1.0f;
    light.colour[0] = light.colour[1] = light.colour[2] = 1.0f;
    Environment environment;
    memset(&environment, 0, sizeof environment);
    environment.ambient[0] = environment.ambient[1] = environment.ambient[2] = 0.2f;
    environment.fogMode = 0;
    environment.lights = &light;
    environment.lightCount = 1;
    MaterialSelection selection = {0, 1, 0}; /* each polygon's own material */
    ViewDescriptor descriptor;
    memset(&descriptor, 0, sizeof descriptor);
    descriptor.nearPlane = 0.5f;
    descriptor.farPlane = 100.0f;
    descriptor.fieldOfView = 1.0f;
    ViewRecord view = {&environment, &selection, 0, &descriptor, &channel};
    ViewOps viewOps;
    if (ops.OpenView(&view, &viewOps) != ZQGD_OK) return Fail("no view");
    const BackgroundRecord background = {0, {0.0f, 0.0f, 0.25f}, 0};
    viewOps.SetBackground(&view, &background);
    viewOps.SetViewPosition(&view, 0, 0);
    viewOps.SetViewSize(&view, WIDTH, HEIGHT);
    viewOps.SetRenderMode(&view, ZQGD_MODE_FACET | ZQGD_MODE_DEPTH_ON);
    viewOps.SetEnvironment(&view);

    /* The triangle, in its own coordinates, facing the viewer. The object
     * matrix carries it into eye coordinates (x right, y up, z into the
     * screen): 5 units in front of the eye. The eye position is given in the
     * triangle's coordinates. */
    float vertices[3][3] = {{-1, -1, 0}, {1, -1, 0}, {0, 1, 0}};
    PolygonRecord triangle;
    memset(&triangle, 0, sizeof triangle);
    triangle.vertexCount = 3;
    for (uint32_t i = 0; i < 3; ++i) {
        triangle.corners[i].vertexIndex = i;
        triangle.corners[i].normal[2] = -1.0f;
    }
    triangle.plane[2] = -1.0f; /* front side: -z, towards the eye */
    triangle.materialIndex = 1;
    PolygonList list = {3, vertices, 1, &triangle, 0, NULL};
    const float objectMatrix[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 5};
    const float eyePosition[3] = {0, 0, -5};
    GeometryBlock geometry = {0, &list, objectMatrix, eyePosition, 0, 0, 0};

    /* One frame: begin the view (the viewing matrix places the lights),
     * draw the object, write text at the overlay's top left (overlay y
     * grows downward), read back, end the frame. */
    const float viewingMatrix[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    viewOps.BeginView(&view, 0, viewingMatrix, ZQGD_CLEAR_COLOUR | ZQGD_CLEAR_DEPTH);
    viewOps.DrawPolygons(&view, NULL, &geometry);
    const int32_t textPosition[2] = {4, 4};
    ops.DrawOverlayText(&channel, textPosition, "zqgd");
    Bitmap image;
    if (viewOps.ReadPixels(&view, &image) != ZQGD_OK) return Fail("no memory for the read-back");
    ops.EndFrame(&channel);

    /* Lit head-on: colour x (ambient 0.2 x factor 0.2 + diffuse factor 0.8)
     * = (0.84, 0.42, 0) of full scale. */
    int status = 0;
    const uint8_t* centre = PixelAt(&image, WIDTH / 2, HEIGHT / 2);
    printf("triangle centre: %u %u %u\n", centre[0], centre[1], centre[2]);
    if (!Near(centre, 214, 107, 0)) status = Fail("the triangle is not lit orange");
    if (!Near(PixelAt(&image, 2, 2), 0, 0, 64)) status = Fail("the background is not dark blue");
    int textPixels = 0; /* the 6 x 12 cells of "zqgd", rows 4 to 15 from the top */
    for (int y = HEIGHT - 16; y < HEIGHT - 4; ++y)
        for (int x = 4; x < 4 + 4 * 6; ++x) textPixels += Near(PixelAt(&image, x, y), 255, 255, 255);
    printf("text pixels: %d\n", textPixels);
    if (textPixels == 0) status = Fail("no text: the default font was not found");
    MMfree(image.pixels); /* read-back pixels are the host's */

    viewOps.CloseView(&view);
    ops.CloseChannel(&channel);
    ZqDestroyWindow(window);
    if (MMLiveBlocks() != 0) status = Fail("memory blocks left after closing");
    return status;
}
