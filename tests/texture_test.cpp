// Texture maps and backdrop images: definition, realisation in GL (texture
// objects or display lists), binding, and the backdrop behind a view.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "driver/probe.h"
#include "recorder/gl_recorder.h"
#include "support/host_image.h"
#include "support/test_texture.h"
#include "support/test_view.h"
#include "texture/texture_store.h"

namespace {

HostImage Rgba(uint32_t width, uint32_t height) { return HostImage(width, height, 32, 0xFF, 0xFF00, 0xFF0000); }

class TextureTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        recorder::Stop();
        MMFailNthAllocation(0);
    }
};

// Sixteen texels of distinct colours, in the given layout.
HostImage Palette4x4(uint32_t bits, uint32_t red, uint32_t green, uint32_t blue, std::vector<Rgb>& colours)
{
    HostImage image(4, 4, bits, red, green, blue);
    const Rgb choices[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}, {0, 255, 255}, {255, 0, 255},
                           {255, 255, 255}, {0, 0, 0}};
    for (uint32_t i = 0; i < 16; ++i) {
        Rgb c = choices[(i * 3 + i / 4) % 8];
        colours.push_back(c);
        auto field = [](int value, uint32_t mask) {
            uint32_t maximum = mask >> ZqMLSB(mask);
            return (static_cast<uint32_t>(value) * maximum / 255) << ZqMLSB(mask);
        };
        image.set(i % 4, i / 4, field(c.red, red) | field(c.green, green) | field(c.blue, blue));
    }
    return image;
}

// Draws the unit square textured with the material's texture over the whole
// of a 64 x 64 orthographic view.
void DrawTexturedSquare(TestChannel& channel, TestView& view, const MaterialEntry& material)
{
    view.descriptor.orthographic = 1;
    view.descriptor.orthoHalfWidth = 32;
    view.descriptor.orthoHalfHeight = 32;
    view.clearTo(0.5f, 0.5f, 0.5f);
    SelectTexture(&channel.record, channel.state(), view.state(), &material);
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex3f(-32, -32, 1);
    glTexCoord2f(1, 0);
    glVertex3f(32, -32, 1);
    glTexCoord2f(1, 1);
    glVertex3f(32, 32, 1);
    glTexCoord2f(0, 1);
    glVertex3f(-32, 32, 1);
    glEnd();
}

MaterialEntry Textured(int32_t id)
{
    MaterialEntry material{};
    material.textured = 1;
    material.textureId = id;
    return material;
}

TEST_F(TextureTest, TextureMapsShowTheirSourceColoursAtTexelCentres)
{
    struct Layout {
        uint32_t bits, red, green, blue;
    };
    for (Layout layout : {Layout{24, 0xFF0000, 0xFF00, 0xFF}, Layout{16, 0xF800, 0x07E0, 0x001F},
                          Layout{8, 0x07, 0x38, 0xC0}, Layout{32, 0xFF, 0xFF00, 0xFF0000}}) {
        SCOPED_TRACE(layout.bits);
        TestChannel channel(64, 64);
        ASSERT_EQ(channel.open(), 0);
        TestView view(channel, 0, 0, 64, 64);
        std::vector<Rgb> colours;
        HostImage image = Palette4x4(layout.bits, layout.red, layout.green, layout.blue, colours);
        TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE);
        ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 5, &definition, 1), 0);
        DrawTexturedSquare(channel, view, Textured(5));
        Image drawn = channel.drawn();
        for (uint32_t i = 0; i < 16; ++i)
            EXPECT_TRUE(Near(drawn.at(8 + 16 * (i % 4), 8 + 16 * (i / 4)), colours[i], 2)) << "texel " << i;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

TEST_F(TextureTest, RealisationPathFollowsTheProbe)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    HostImage image = Rgba(8, 8);
    TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 1, &definition, 1), 0);
    GLuint name = Texture(channel, 1)->glName;
    bool displayLists = std::getenv("MESA_EXTENSION_OVERRIDE") != nullptr;
    EXPECT_EQ(capabilities.genTextures == nullptr, displayLists);
    EXPECT_EQ(glIsList(name) == GL_TRUE, displayLists);
    EXPECT_EQ(glIsTexture(name) == GL_TRUE, !displayLists);
    channel.ops.DeleteTexture(&channel.record, 1);
    EXPECT_FALSE(glIsList(name) || glIsTexture(name));
}

TEST_F(TextureTest, TransparentColourIsCutOutUnderModulate)
{
    TestChannel channel(64, 64);
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 64);
    std::vector<Rgb> colours;
    HostImage image = Palette4x4(24, 0xFF0000, 0xFF00, 0xFF, colours);
    TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE, ZQGD_TEXTURE_MODULATE, 255, 0, 0);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 5, &definition, 1), 0);
    EXPECT_EQ(Texture(channel, 5)->hasTransparency, 1);
    DrawTexturedSquare(channel, view, Textured(5));
    EXPECT_EQ(channel.state()->alphaTestEnabled, 1);
    Image drawn = channel.drawn();
    for (uint32_t i = 0; i < 16; ++i) {
        bool cut = colours[i].red == 255 && colours[i].green == 0 && colours[i].blue == 0;
        Rgb expected = cut ? Rgb{128, 128, 128} : colours[i];
        EXPECT_TRUE(Near(drawn.at(8 + 16 * (i % 4), 8 + 16 * (i / 4)), expected, 2)) << "texel " << i;
    }
}

TEST_F(TextureTest, ImagesAreScaledConvertedOrUsedInPlace)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    uint32_t blocks = MMLiveBlocks();
    HostImage photo(100, 60, 24, 0xFF0000, 0xFF00, 0xFF);
    TextureDefinition definition = Definition(photo.bitmap, ZQGD_DEFINE_TEXTURE);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 1, &definition, 1), 0);
    TextureEntry* entry = Texture(channel, 1);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->image.width, 64u);
    EXPECT_EQ(entry->image.height, 32u);
    EXPECT_EQ(entry->image.bitsPerPixel, 32u);
    EXPECT_EQ(entry->ownsPixels, 1);
    EXPECT_EQ(MMLiveBlocks(), blocks + 2) << "the entry and its pixels; the scaled copy is gone";

    // A 32-bit image with power-of-two sides is used without a copy, and its
    // alpha bytes are rewritten for the transparent colour.
    HostImage square = Rgba(64, 64);
    square.set(3, 0, 0xFF000000);  // black with alpha
    square.set(4, 0, 0x00102030);
    definition = Definition(square.bitmap, ZQGD_DEFINE_TEXTURE, 0, 0, 0, 0);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 2, &definition, 1), 0);
    entry = Texture(channel, 2);
    EXPECT_EQ(entry->ownsPixels, 0);
    EXPECT_EQ(entry->image.pixels, square.memory.data());
    EXPECT_EQ(square.memory[3 * 4 + 3], 0) << "black is the transparent colour";
    EXPECT_EQ(square.memory[4 * 4 + 3], 255);
    EXPECT_EQ(entry->hasTransparency, 1);

    definition.keyRed = 256;
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 2, &definition, 0), 0);
    EXPECT_EQ(square.memory[3 * 4 + 3], 255) << "no key: every alpha becomes 255";
    EXPECT_EQ(entry->hasTransparency, 0);

    // Only the last texel, of an odd count or past the first blocks, is not
    // opaque: it is found and made opaque too.
    for (uint32_t width : {1u, 128u}) {
        HostImage strip = Rgba(width, 1);
        for (uint32_t x = 0; x < width; ++x) strip.set(x, 0, x + 1 == width ? 0x12345678 : 0xFF345678);
        TextureDefinition opaque = Definition(strip.bitmap, ZQGD_DEFINE_TEXTURE);
        ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 3, &opaque, 1), 0);
        EXPECT_EQ(strip.memory[(width - 1) * 4 + 3], 255) << width;
        EXPECT_EQ(strip.memory[(width - 1) * 4], 0x78) << "the colour stays";
        channel.ops.DeleteTexture(&channel.record, 3);
    }

    // A 32-bit image in another channel order is converted, not used as RGBA.
    HostImage bgra(2, 2, 32, 0xFF0000, 0xFF00, 0xFF);
    bgra.set(0, 0, 0x00FF0000);
    definition = Definition(bgra.bitmap, ZQGD_DEFINE_TEXTURE);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 3, &definition, 1), 0);
    entry = Texture(channel, 3);
    EXPECT_EQ(entry->ownsPixels, 1);
    EXPECT_EQ(static_cast<uint8_t*>(entry->image.pixels)[0], 255) << "red lands in the first byte";
}

TEST_F(TextureTest, FlagsChooseFiltersWrapAndEnvironment)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    HostImage image = Rgba(8, 8);
    struct Case {
        uint32_t flags;
        GLint min, mag;
    };
    for (Case c : {Case{0x080, GL_NEAREST_MIPMAP_LINEAR, GL_LINEAR}, Case{0x0A0, GL_NEAREST_MIPMAP_LINEAR, GL_LINEAR},
                   Case{0x0C0, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR}, Case{0x060, GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR},
                   Case{0x020, GL_NEAREST_MIPMAP_NEAREST, GL_LINEAR}, Case{0x040, GL_LINEAR, GL_LINEAR},
                   Case{0x000, GL_NEAREST, GL_NEAREST}}) {
        SCOPED_TRACE(c.flags);
        TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE, c.flags);
        recorder::Start();
        ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 9, &definition, 1), 0);
        EXPECT_EQ(recorder::Count("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, double(c.min)}), 1u);
        EXPECT_EQ(recorder::Count("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, double(c.mag)}), 1u);
        EXPECT_EQ(recorder::Count("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT}), 1u);
        bool mipmaps = (c.flags & 0xA0) != 0;
        EXPECT_EQ(recorder::Count("gluBuild2DMipmaps"), mipmaps ? 1u : 0u);
        if (!mipmaps) {
            EXPECT_EQ(recorder::Count("glTexImage2D", {GL_TEXTURE_2D, 0, 4, 8, 8}), 1u);
        }
        EXPECT_EQ(Texture(channel, 9)->envMode, static_cast<GLenum>(GL_DECAL));
    }
    TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE, 0xC01);
    recorder::Start();
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 9, &definition, 1), 0);
    EXPECT_EQ(recorder::Count("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP}), 1u);
    EXPECT_EQ(recorder::Count("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP}), 1u);
    EXPECT_EQ(recorder::Count("glPixelStorei", {GL_UNPACK_ROW_LENGTH, 8}), 1u);
    EXPECT_EQ(Texture(channel, 9)->envMode, static_cast<GLenum>(GL_MODULATE));
}

TEST_F(TextureTest, RedefinitionsSendPixelsOnlyWhenNeeded)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    ASSERT_NE(capabilities.genTextures, nullptr);
    HostImage image = Rgba(8, 8);
    TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE, ZQGD_TEXTURE_LINEAR);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 4, &definition, 1), 0);

    // Parameters only, same single level: no pixels, no new name.
    definition.flags = ZQGD_TEXTURE_CLAMP_S;
    recorder::Start();
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 4, &definition, 0), 0);
    EXPECT_EQ(recorder::Count("glTexImage2D") + recorder::Count("gluBuild2DMipmaps"), 0u);
    EXPECT_EQ(recorder::Count("glGenTextures"), 0u);
    EXPECT_EQ(recorder::Count("glBindTexture"), 1u);

    // Parameters only, now a mipmap chain: the pixels go again.
    definition.flags = ZQGD_TEXTURE_MIPMAP;
    recorder::Start();
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 4, &definition, 0), 0);
    EXPECT_EQ(recorder::Count("gluBuild2DMipmaps"), 1u);
    EXPECT_EQ(Texture(channel, 4)->uploadedLevels, 2);

    // A new image: the old name is deleted and a new one generated.
    GLuint old = Texture(channel, 4)->glName;
    recorder::Start();
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 4, &definition, 1), 0);
    EXPECT_EQ(recorder::Count("glDeleteTextures", {1, double(old)}), 1u);
    EXPECT_EQ(recorder::Count("glGenTextures"), 1u);
    EXPECT_EQ(recorder::Count("gluBuild2DMipmaps"), 1u);

    // Parameters only for an id that has no texture: nothing is defined.
    recorder::Start();
    EXPECT_EQ(channel.ops.DefineTexture(&channel.record, 40, &definition, 0), 0);
    EXPECT_EQ(Texture(channel, 40), nullptr);
    EXPECT_EQ(recorder::Count("glGenTextures"), 0u);
}

TEST_F(TextureTest, AnIdNamesOneEntryAcrossBothStores)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    HostImage image = Rgba(16, 8);
    TextureDefinition backdrop = Definition(image.bitmap, ZQGD_DEFINE_BACKDROP);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 3, &backdrop, 1), 0);
    BackgroundRecord background{1, {0, 0, 0}, 3};
    view.ops.SetBackground(&view.record, &background);
    EXPECT_EQ(view.state()->clearRoutine, &BackdropClear);

    // A parameter-only texture definition defines nothing but still removes
    // the backdrop under the id.
    TextureDefinition texture = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE);
    EXPECT_EQ(channel.ops.DefineTexture(&channel.record, 3, &texture, 0), 0);
    EXPECT_EQ(Backdrop(channel, 3), nullptr);
    EXPECT_EQ(Texture(channel, 3), nullptr);
    EXPECT_EQ(view.state()->clearRoutine, &PlainClear);
    EXPECT_EQ(view.state()->backdrop, nullptr);

    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 3, &texture, 1), 0);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 3, &backdrop, 1), 0);
    EXPECT_EQ(Texture(channel, 3), nullptr);
    EXPECT_NE(Backdrop(channel, 3), nullptr);
    EXPECT_EQ(view.state()->clearRoutine, &BackdropClear);

    TextureDefinition remove = Definition(image.bitmap, ZQGD_DELETE_TEXTURE);
    EXPECT_EQ(channel.ops.DefineTexture(&channel.record, 3, &remove, 1), 0);
    EXPECT_EQ(Backdrop(channel, 3), nullptr);
    EXPECT_EQ(view.state()->clearRoutine, &PlainClear);

    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 3, &texture, 1), 0);
    TextureDefinition other = Definition(image.bitmap, 3);
    EXPECT_EQ(channel.ops.DefineTexture(&channel.record, 3, &other, 1), 0);
    EXPECT_NE(Texture(channel, 3), nullptr) << "an unknown operation changes nothing";
    channel.ops.DeleteTexture(&channel.record, 3);
    EXPECT_EQ(Texture(channel, 3), nullptr);
    channel.ops.DeleteTexture(&channel.record, 3);
}

TEST_F(TextureTest, EmptyImagesAreRefusedBeforeAnythingChanges)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    HostImage image = Rgba(8, 8);
    TextureDefinition texture = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 6, &texture, 1), 0);
    uint32_t blocks = MMLiveBlocks();
    for (int op : {ZQGD_DEFINE_TEXTURE, ZQGD_DEFINE_BACKDROP}) {
        TextureDefinition empty = Definition(image.bitmap, op);
        empty.image.width = 0;
        EXPECT_EQ(channel.ops.DefineTexture(&channel.record, 6, &empty, 1), 1);
        empty = Definition(image.bitmap, op);
        empty.image.pixels = nullptr;
        EXPECT_EQ(channel.ops.DefineTexture(&channel.record, 6, &empty, 1), 1);
    }
    EXPECT_NE(Texture(channel, 6), nullptr) << "the earlier texture stays";
    EXPECT_EQ(MMLiveBlocks(), blocks);
}

TEST_F(TextureTest, FailureAtEveryStepLeavesConsistentStores)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    HostImage photo(100, 60, 24, 0xFF0000, 0xFF00, 0xFF);
    uint32_t blocks = MMLiveBlocks();
    for (int op : {ZQGD_DEFINE_TEXTURE, ZQGD_DEFINE_BACKDROP}) {
        TextureDefinition definition = Definition(photo.bitmap, op);
        bool defined = false;
        for (uint32_t n = 1; !defined && n < 10; ++n) {
            SCOPED_TRACE(n);
            MMFailNthAllocation(n);
            int32_t status = channel.ops.DefineTexture(&channel.record, 8, &definition, 1);
            MMFailNthAllocation(0);
            if (status == 0) {
                defined = true;
                break;
            }
            EXPECT_EQ(Texture(channel, 8), nullptr);
            EXPECT_EQ(Backdrop(channel, 8), nullptr);
            EXPECT_EQ(view.state()->backdrop, nullptr);
            EXPECT_EQ(MMLiveBlocks(), blocks);
        }
        EXPECT_TRUE(defined);
        channel.ops.DeleteTexture(&channel.record, 8);
        EXPECT_EQ(MMLiveBlocks(), blocks);
    }
}

TEST_F(TextureTest, ManyDefinitionsAndDeletionsLeaveNothingBehind)
{
    uint32_t blocks = MMLiveBlocks();
    {
        TestChannel channel;
        ASSERT_EQ(channel.open(), 0);
        HostImage photo(30, 20, 16, 0xF800, 0x07E0, 0x001F);
        HostImage square = Rgba(16, 16);
        for (int i = 0; i < 300; ++i) {
            TextureDefinition definition =
                Definition(i % 3 == 0 ? square.bitmap : photo.bitmap, i % 2 ? ZQGD_DEFINE_BACKDROP : ZQGD_DEFINE_TEXTURE,
                           static_cast<uint32_t>(i) & 0xFE1);
            ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 1 + i % 7, &definition, 1), 0);
            if (i % 5 == 0) channel.ops.DeleteTexture(&channel.record, 1 + (i + 3) % 7);
        }
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
    EXPECT_EQ(MMLiveBlocks(), blocks) << "closing the channel frees what the entries owned";
}

TEST_F(TextureTest, SelectTextureCachesAndLoadsOnDemand)
{
    static int calls = 0;
    static HostImage* supplied = nullptr;
    calls = 0;
    HostImage image = Rgba(8, 8);
    supplied = &image;
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    channel.state()->textureLoad = [](int32_t id, TextureDefinition* definition) -> int32_t {
        ++calls;
        if (id != 11) return 1;
        *definition = Definition(supplied->bitmap, ZQGD_DEFINE_TEXTURE);
        return 0;
    };
    TestView view(channel, 0, 0, 64, 48);
    view.begin(0);
    MaterialEntry plain{}, missing = Textured(10), loaded = Textured(11);

    recorder::Start();
    EXPECT_EQ(SelectTexture(&channel.record, channel.state(), view.state(), &missing), nullptr);
    EXPECT_EQ(SelectTexture(&channel.record, channel.state(), view.state(), &missing), nullptr);
    EXPECT_EQ(calls, 1) << "a failed request is remembered";
    TextureEntry* entry = SelectTexture(&channel.record, channel.state(), view.state(), &loaded);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(entry, Texture(channel, 11));
    recorder::Start();
    EXPECT_EQ(SelectTexture(&channel.record, channel.state(), view.state(), &loaded), entry);
    EXPECT_TRUE(recorder::Calls().empty()) << "the same texture again costs no GL call";

    // Untextured after textured: alpha test and texturing off, in that order.
    channel.state()->alphaTestEnabled = 1;
    glEnable(GL_ALPHA_TEST);
    recorder::Start();
    EXPECT_EQ(SelectTexture(&channel.record, channel.state(), view.state(), &plain), nullptr);
    EXPECT_EQ(recorder::Names(), (std::vector<std::string>{"glDisable", "glDisable"}));
    EXPECT_EQ(recorder::Calls()[0].args[0], GL_ALPHA_TEST);
    EXPECT_EQ(recorder::Calls()[1].args[0], GL_TEXTURE_2D);
    recorder::Start();
    SelectTexture(&channel.record, channel.state(), view.state(), &plain);
    EXPECT_TRUE(recorder::Calls().empty());

    // A new frame asks again.
    view.begin(0);
    SelectTexture(&channel.record, channel.state(), view.state(), &missing);
    EXPECT_EQ(calls, 3);

    // Deleting the cached texture clears the view's cache.
    SelectTexture(&channel.record, channel.state(), view.state(), &loaded);
    EXPECT_EQ(view.state()->lastTexture, Texture(channel, 11));
    channel.ops.DeleteTexture(&channel.record, 11);
    EXPECT_EQ(view.state()->lastTexture, nullptr);
    EXPECT_EQ(view.state()->lastTextureId, -1);
}

TEST_F(TextureTest, BackdropIsStoredBottomRowFirstWithNormalisedAngles)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    HostImage image(3, 2, 24, 0xFF0000, 0xFF00, 0xFF);
    image.set(0, 1, 0x123456);  // first pixel of the host's last row
    uint32_t blocks = MMLiveBlocks();
    TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_BACKDROP);
    const float angles[][2] = {{-1.0f, 5.2831855f}, {7.0f, 0.7168145f},        {-7.0f, 5.566371f},
                               {6.2831855f, 6.2831855f}, {0.0f, 0.0f}, {-6.2831855f, 6.2831855f},
                               {12.566371f, 0.0f}};
    for (const auto& angle : angles) {
        definition.horizontalAngle = angle[0];
        definition.verticalAngle = angle[0];
        ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 2, &definition, 1), 0);
        TextureEntry* entry = Backdrop(channel, 2);
        EXPECT_NEAR(entry->horizontalAngle, angle[1], 1e-5) << angle[0];
        EXPECT_NEAR(entry->verticalAngle, angle[1], 1e-5) << angle[0];
    }
    TextureEntry* entry = Backdrop(channel, 2);
    EXPECT_EQ(entry->ownsPixels, 1);
    EXPECT_EQ(entry->image.bytesPerLine, 12u);
    const auto* pixels = static_cast<const uint8_t*>(entry->image.pixels);
    EXPECT_EQ(pixels[0], 0x12);
    EXPECT_EQ(pixels[1], 0x34);
    EXPECT_EQ(pixels[2], 0x56);
    EXPECT_EQ(MMLiveBlocks(), blocks + 2);
}

// Every pixel of the image a value of its own: x in the first byte, y in the
// second, the tag in the third.
HostImage Numbered(uint32_t width, uint32_t height, uint32_t bits, uint32_t tag = 0x5A)
{
    HostImage image(width, height, bits, 0xFF, 0xFF00, 0xFF0000);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) image.set(x, y, x | y << 8 | tag << 16);
    return image;
}

// The stored image holds the host's numbered pixels (tag 0x5A), every byte of
// them: rows bottom first for a backdrop, in the host's order for a texture map.
void ExpectNumbered(const TextureEntry* entry, uint32_t width, uint32_t height, bool bottomFirst = true)
{
    ASSERT_NE(entry, nullptr);
    ASSERT_EQ(entry->image.width, width);
    ASSERT_EQ(entry->image.height, height);
    ASSERT_EQ(entry->image.bytesPerLine, width * 4);
    const auto* pixels = static_cast<const uint8_t*>(entry->image.pixels);
    int wrong = 0;
    for (uint32_t row = 0; row < height; ++row)
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* pixel = pixels + (size_t{row} * width + x) * 4;
            uint32_t y = bottomFirst ? height - 1 - row : row;
            wrong += pixel[0] != (x & 0xFF) || pixel[1] != y || pixel[2] != 0x5A;
        }
    EXPECT_EQ(wrong, 0);
}

TEST_F(TextureTest, BackdropsOfEveryHeightAreFlippedWhole)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    // Heights odd and even, one row, and rows longer than the flip's chunk.
    const uint32_t sizes[][2] = {{3, 1}, {3, 2}, {3, 3}, {70, 5}, {130, 4}};
    for (uint32_t bits : {24u, 32u}) {
        for (const auto& size : sizes) {
            SCOPED_TRACE(std::to_string(bits) + " bits, " + std::to_string(size[0]) + " x " + std::to_string(size[1]));
            HostImage image = Numbered(size[0], size[1], bits);
            const std::vector<uint8_t> hostPixels = image.memory;
            TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_BACKDROP);
            ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 4, &definition, 1), 0);
            ExpectNumbered(Backdrop(channel, 4), size[0], size[1]);
            EXPECT_EQ(image.memory, hostPixels) << "the host's image stays as it was";
        }
    }
    channel.ops.DeleteTexture(&channel.record, 4);
}

// A redefinition leaves what a fresh definition of the new image would: its
// sides, its pixels, its blocks. The old block takes the new pixels when they
// need a block of exactly its byte count, whatever the sides; a block of
// another size, or one of the other store, goes.
TEST_F(TextureTest, RedefinitionsTakeOverTheBlockOfTheSameSize)
{
    constexpr int32_t T = ZQGD_DEFINE_TEXTURE, B = ZQGD_DEFINE_BACKDROP;
    struct Image {
        int32_t operation;
        uint32_t width, height, bits;
    };
    struct Case {
        Image first, second;
        uint32_t allocations;  // by the redefinition
    };
    const Case cases[] = {
        // The same sides; in 32 bits a texture map keeps the host's pixels.
        {{T, 16, 8, 24}, {T, 16, 8, 24}, 0},
        {{T, 16, 8, 32}, {T, 16, 8, 32}, 0},
        {{B, 16, 8, 24}, {B, 16, 8, 24}, 0},
        {{B, 16, 8, 32}, {B, 16, 8, 32}, 0},
        // The same byte count, other sides.
        {{T, 8, 16, 24}, {T, 16, 8, 24}, 0},
        {{T, 8, 16, 32}, {T, 16, 8, 32}, 0},
        {{B, 3, 4, 24}, {B, 4, 3, 24}, 0},
        {{B, 3, 4, 32}, {B, 4, 3, 32}, 0},
        {{T, 8, 8, 24}, {T, 12, 8, 24}, 1},  // scaled to 8 x 8: the scaled copy only
        // Smaller and larger.
        {{T, 16, 8, 24}, {T, 8, 8, 24}, 1},
        {{T, 8, 8, 24}, {T, 16, 16, 24}, 1},
        {{T, 16, 8, 32}, {T, 8, 16, 24}, 1},
        {{B, 16, 8, 24}, {B, 8, 8, 24}, 1},
        {{B, 8, 8, 32}, {B, 16, 8, 32}, 1},
        // The other store, the same byte count: a new item and a new block.
        {{T, 16, 8, 24}, {B, 8, 16, 24}, 2},
        {{T, 16, 8, 24}, {B, 16, 8, 32}, 2},
        {{B, 8, 16, 24}, {T, 16, 8, 24}, 2},
    };
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    const uint32_t blocks = MMLiveBlocks();
    const uint64_t bytes = MMLiveBytes();
    auto define = [&](const Image& image, HostImage& host) {
        TextureDefinition definition = Definition(host.bitmap, image.operation);
        return channel.ops.DefineTexture(&channel.record, 6, &definition, 1);
    };
    for (const Case& c : cases) {
        const Image& next = c.second;
        SCOPED_TRACE(testing::Message() << c.first.operation << ": " << c.first.width << " x " << c.first.height << ", "
                                        << c.first.bits << " bits, then " << next.operation << ": " << next.width
                                        << " x " << next.height << ", " << next.bits << " bits");
        HostImage first = Numbered(c.first.width, c.first.height, c.first.bits, 0x11);
        HostImage second = Numbered(next.width, next.height, next.bits);
        ASSERT_EQ(define(c.first, first), 0);
        const uint32_t allocations = MMAllocationCount();
        ASSERT_EQ(define(next, second), 0);
        EXPECT_EQ(MMAllocationCount() - allocations, c.allocations);
        const bool backdrop = next.operation == B;
        EXPECT_EQ(backdrop ? Texture(channel, 6) : Backdrop(channel, 6), nullptr);
        const TextureEntry* entry = backdrop ? Backdrop(channel, 6) : Texture(channel, 6);
        ASSERT_NE(entry, nullptr);
        const uint32_t width = backdrop ? next.width : 1u << ZqMMSB(next.width);
        const uint32_t height = backdrop ? next.height : 1u << ZqMMSB(next.height);
        if (width != next.width || height != next.height) {
            EXPECT_EQ(entry->image.width, width);
            EXPECT_EQ(entry->image.height, height);
        } else {
            ExpectNumbered(entry, width, height, backdrop);
        }
        const uint32_t redefinedBlocks = MMLiveBlocks();
        const uint64_t redefinedBytes = MMLiveBytes();
        channel.ops.DeleteTexture(&channel.record, 6);
        EXPECT_EQ(MMLiveBlocks(), blocks);
        EXPECT_EQ(MMLiveBytes(), bytes);
        ASSERT_EQ(define(next, second), 0);
        EXPECT_EQ(redefinedBlocks, MMLiveBlocks()) << "the blocks of a fresh definition";
        EXPECT_EQ(redefinedBytes, MMLiveBytes()) << "the bytes of a fresh definition";
        channel.ops.DeleteTexture(&channel.record, 6);
    }
}

// Texels the bitmap utilities wrote are opaque; the host's own may carry any
// alpha, and a realisation makes each one 255 unless it has the transparent
// colour.
TEST_F(TextureTest, EveryRealisationLeavesAlphasOfTheTransparentColourOnly)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    auto alphas = [](const TextureEntry* entry) {
        std::vector<int> values;
        const auto* pixels = static_cast<const uint8_t*>(entry->image.pixels);
        for (uint32_t i = 0; i < entry->image.width * entry->image.height; ++i) values.push_back(pixels[i * 4 + 3]);
        return values;
    };
    // Converted from 24-bit RGB and BGR and 32-bit BGRA, 32-bit RGBA scaled
    // (its alphas 0 in the host's image), and 32-bit RGBA in place.
    struct Case {
        const char* name;
        HostImage image;
    };
    Case cases[] = {{"RGB converted", Numbered(4, 2, 24)},
                    {"BGR converted", HostImage(4, 2, 24, 0xFF0000, 0xFF00, 0xFF)},
                    {"BGRA converted", HostImage(4, 2, 32, 0xFF0000, 0xFF00, 0xFF)},
                    {"scaled", Numbered(6, 2, 32)},
                    {"in place", Numbered(4, 2, 32)}};
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostImage* image = &c.image;
        if (image->bitmap.redMask != 0xFF)  // blue in the low byte: blue 0x5A, red i
            for (uint32_t i = 0; i < 8; ++i) image->set(i % 4, i / 4, 0x5Au | i << 16);
        // The transparent colour is that of pixel (0, 0): red 0, green 0, blue 0x5A.
        TextureDefinition definition = Definition(image->bitmap, ZQGD_DEFINE_TEXTURE, 0, 0, 0, 0x5A);
        ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 8, &definition, 1), 0);
        TextureEntry* entry = Texture(channel, 8);
        ASSERT_NE(entry, nullptr);
        std::vector<int> expected(size_t{entry->image.width} * entry->image.height, 255);
        expected[0] = 0;
        EXPECT_EQ(alphas(entry), expected);
        EXPECT_EQ(entry->hasTransparency, 1);

        // Parameters only, no transparent colour: every alpha 255 again.
        definition.keyRed = kNoKey;
        ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 8, &definition, 0), 0);
        expected[0] = 255;
        EXPECT_EQ(alphas(entry), expected);
        EXPECT_EQ(entry->hasTransparency, 0);

        // A new image without a transparent colour: all opaque.
        ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 8, &definition, 1), 0);
        entry = Texture(channel, 8);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(alphas(entry), expected);
        channel.ops.DeleteTexture(&channel.record, 8);
    }
}

// ---- Details a host relies on ------------------------------------------------

bool DisplayListPath() { return capabilities.genTextures == nullptr; }

TEST_F(TextureTest, RealisationParameterOnlyDefinitionRecordsTheListAgain)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    if (!DisplayListPath()) GTEST_SKIP() << "runs on the display-list path (texture_display_lists)";
    HostImage image = Rgba(8, 8);
    TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 2, &definition, 1), 0);
    GLuint name = Texture(channel, 2)->glName;
    definition.flags = ZQGD_TEXTURE_LINEAR | ZQGD_TEXTURE_CLAMP_S;  // DECAL, linear, clamped in s only
    recorder::Start();
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 2, &definition, 0), 0);
    recorder::Stop();
    EXPECT_EQ(Texture(channel, 2)->glName, name) << "the same list, recorded again";
    EXPECT_EQ(recorder::Count("glNewList", {static_cast<double>(name), GL_COMPILE}), 1u);
    EXPECT_EQ(recorder::Count("glTexImage2D"), 1u);
    EXPECT_EQ(recorder::Count("glTexEnvi", {GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL}), 1u);
    EXPECT_EQ(recorder::Count("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR}), 1u);
    EXPECT_EQ(recorder::Count("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR}), 1u);
    EXPECT_EQ(recorder::Count("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP}), 1u);
    EXPECT_EQ(recorder::Count("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT}), 1u);
    EXPECT_EQ(recorder::Names().back(), "glEndList");
}

TEST_F(TextureTest, FailedDefinitionsTakeTheIdOutOfBothStores)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    HostImage image = Rgba(8, 8);
    TextureDefinition good = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 3, &good, 1), 0);
    HostImage broken(100, 60, 24, 0xFF0000, 0xFF00, 0xFF);
    TextureDefinition bad = Definition(broken.bitmap, ZQGD_DEFINE_TEXTURE);
    bad.image.bytesPerLine = 10;
    EXPECT_EQ(channel.ops.DefineTexture(&channel.record, 3, &bad, 1), 1);
    EXPECT_EQ(Texture(channel, 3), nullptr) << "a failed redefinition removes the earlier texture";

    TextureDefinition backdrop = Definition(image.bitmap, ZQGD_DEFINE_BACKDROP);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 4, &backdrop, 1), 0);
    MMFailNthAllocation(1);  // the texture's list item
    EXPECT_EQ(channel.ops.DefineTexture(&channel.record, 4, &good, 1), 1);
    MMFailNthAllocation(0);
    EXPECT_EQ(Backdrop(channel, 4), nullptr) << "the other kind was removed before the item failed";
    EXPECT_EQ(Texture(channel, 4), nullptr);
}

TEST_F(TextureTest, DefinitionsAndDrawingMakeTheirChannelCurrent)
{
    TestChannel channel(32, 32), other(32, 32);
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 32, 32);
    ASSERT_EQ(other.open(), 0);
    auto expectCurrent = [&](const char* operation) { ExpectCurrentThenYield(channel, other, operation); };
    MakeChannelCurrent(other.state());
    HostImage image = Rgba(8, 8);
    TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 1, &definition, 1), 0);
    EXPECT_EQ(glIsTexture(Texture(channel, 1)->glName) || glIsList(Texture(channel, 1)->glName), GL_TRUE)
        << "the name lives in the channel's context";
    expectCurrent("DefineTexture");
    channel.ops.DeleteTexture(&channel.record, 1);
    expectCurrent("DeleteTexture");
    const int32_t a[2] = {1, 1}, b[2] = {9, 9}, points[6] = {1, 1, 9, 1, 5, 9};
    const uint32_t centre[2] = {10, 10};
    channel.ops.DrawCircle(&channel.record, 4, centre);
    expectCurrent("DrawCircle");
    channel.ops.DrawLine(&channel.record, a, b);
    expectCurrent("DrawLine");
    channel.ops.FillPolygon(&channel.record, 3, points);
    expectCurrent("FillPolygon");
    channel.ops.FillRectangle(&channel.record, a, b);
    expectCurrent("FillRectangle");
    channel.ops.DrawOverlayText(&channel.record, a, "x");
    expectCurrent("DrawOverlayText");
    channel.ops.EndFrame(&channel.record);
    expectCurrent("EndFrame");
}

TEST_F(TextureTest, TheTransparentColourKeepsItsByteOrder)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    // Red 10, green 20, blue 30 against its mirror 30, 20, 10, in two layouts.
    for (bool bgr : {false, true}) {
        SCOPED_TRACE(bgr ? "BGR" : "RGB");
        HostImage image(2, 2, 24, bgr ? 0xFF0000 : 0xFF, 0xFF00, bgr ? 0xFF : 0xFF0000);
        auto pixel = [&](uint32_t r, uint32_t g, uint32_t blue) {
            return bgr ? (r << 16 | g << 8 | blue) : (blue << 16 | g << 8 | r);
        };
        image.set(0, 0, pixel(10, 20, 30));
        image.set(1, 0, pixel(30, 20, 10));
        image.set(0, 1, pixel(10, 30, 20));
        image.set(1, 1, pixel(20, 10, 30));
        TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE, ZQGD_TEXTURE_MODULATE, 10, 20, 30);
        ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 6, &definition, 1), 0);
        const auto* texels = static_cast<const uint8_t*>(Texture(channel, 6)->image.pixels);
        EXPECT_EQ(texels[3], 0) << "the keyed colour";
        EXPECT_EQ(texels[7], 255);
        EXPECT_EQ(texels[11], 255);
        EXPECT_EQ(texels[15], 255);
    }
}

TEST_F(TextureTest, MipmapsBackToOneLevelUploadOneLevelAgain)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    if (DisplayListPath()) GTEST_SKIP() << "texture objects only";
    HostImage image = Rgba(8, 8);
    TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE, ZQGD_TEXTURE_MIPMAP);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 2, &definition, 1), 0);
    EXPECT_EQ(Texture(channel, 2)->uploadedLevels, 2);
    definition.flags = ZQGD_TEXTURE_MODULATE;
    recorder::Start();
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 2, &definition, 0), 0);
    EXPECT_EQ(recorder::Count("glTexImage2D"), 1u);
    EXPECT_EQ(recorder::Count("gluBuild2DMipmaps"), 0u);
    EXPECT_EQ(Texture(channel, 2)->uploadedLevels, 1);
}

TEST_F(TextureTest, OperationOneDeletesATextureMap)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    HostImage image = Rgba(8, 8);
    TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 9, &definition, 1), 0);
    GLuint name = Texture(channel, 9)->glName;
    TextureDefinition deletion = Definition(image.bitmap, ZQGD_DELETE_TEXTURE);
    EXPECT_EQ(channel.ops.DefineTexture(&channel.record, 9, &deletion, 1), 0);
    EXPECT_EQ(Texture(channel, 9), nullptr);
    EXPECT_FALSE(glIsTexture(name) || glIsList(name));
}

// ---- Classes and bounds of the definitions' values ---------------------------

// The GL state of the texture that SelectTexture binds for the id, on either
// realisation path.
struct BoundState {
    GLint minFilter = 0, magFilter = 0, wrapS = 0, wrapT = 0, environment = 0;
};

BoundState Bound(TestChannel& channel, TestView& view, int32_t id)
{
    view.begin(0);
    MaterialEntry material = Textured(id);
    EXPECT_NE(SelectTexture(&channel.record, channel.state(), view.state(), &material), nullptr) << id;
    BoundState state;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &state.minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &state.magFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &state.wrapS);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &state.wrapT);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &state.environment);
    return state;
}

// Each named bit on its own and together; every other bit is ignored, so
// all of them set behave as none, and all bits set as the named ones.
TEST_F(TextureTest, TextureMapsTakeOnlyTheNamedFlagBits)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    HostImage image = Rgba(8, 8);
    const uint32_t named = 0xCE1;
    struct Case {
        uint32_t flags;
        GLint min, mag, wrapS, wrapT, environment;
    };
    for (Case c : {Case{0x000, GL_NEAREST, GL_NEAREST, GL_REPEAT, GL_REPEAT, GL_DECAL},
                   Case{~named, GL_NEAREST, GL_NEAREST, GL_REPEAT, GL_REPEAT, GL_DECAL},
                   Case{0x001, GL_NEAREST, GL_NEAREST, GL_REPEAT, GL_REPEAT, GL_MODULATE},
                   Case{0x400, GL_NEAREST, GL_NEAREST, GL_CLAMP, GL_REPEAT, GL_DECAL},
                   Case{0x800, GL_NEAREST, GL_NEAREST, GL_REPEAT, GL_CLAMP, GL_DECAL},
                   Case{0x040, GL_LINEAR, GL_LINEAR, GL_REPEAT, GL_REPEAT, GL_DECAL},
                   Case{0x060, GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR, GL_REPEAT, GL_REPEAT, GL_DECAL},
                   Case{0x020, GL_NEAREST_MIPMAP_NEAREST, GL_LINEAR, GL_REPEAT, GL_REPEAT, GL_DECAL},
                   Case{0x0A0, GL_NEAREST_MIPMAP_LINEAR, GL_LINEAR, GL_REPEAT, GL_REPEAT, GL_DECAL},
                   Case{0xFFFFFFFF, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, GL_CLAMP, GL_CLAMP, GL_MODULATE}}) {
        SCOPED_TRACE(testing::Message() << std::hex << c.flags);
        TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE, c.flags);
        ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 9, &definition, 1), 0);
        BoundState state = Bound(channel, view, 9);
        EXPECT_EQ(state.minFilter, c.min);
        EXPECT_EQ(state.magFilter, c.mag);
        EXPECT_EQ(state.wrapS, c.wrapS);
        EXPECT_EQ(state.wrapT, c.wrapT);
        EXPECT_EQ(state.environment, c.environment);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Sides of 1, sides one above and one below a power of two, and the largest
// side GL takes: each becomes the largest power of two not above it, and
// what is drawn shows the image.
TEST_F(TextureTest, TextureMapsOfSidesAtTheirBounds)
{
    TestChannel channel(64, 64);
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 64);
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    ASSERT_GE(largest, 64);
    const auto side = static_cast<uint32_t>(largest);
    struct Case {
        uint32_t width, height, bits, storedWidth, storedHeight;
    };
    for (Case c : {Case{1, 1, 32, 1, 1}, Case{1, 1, 24, 1, 1}, Case{5, 3, 24, 4, 2}, Case{65, 33, 24, 64, 32},
                   Case{63, 31, 32, 32, 16}, Case{64, 33, 24, 64, 32}, Case{4, 3, 32, 4, 2}, Case{1, 64, 32, 1, 64}, Case{side, 1, 32, side, 1},
                   Case{side + 1, 1, 24, side, 1}}) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " x " << c.bits);
        HostImage image = c.bits == 32 ? Rgba(c.width, c.height) : HostImage(c.width, c.height, 24, 0xFF, 0xFF00, 0xFF0000);
        // Left half red, right half blue.
        for (uint32_t y = 0; y < c.height; ++y)
            for (uint32_t x = 0; x < c.width; ++x) image.set(x, y, 2 * x < c.width || c.width == 1 ? 0xFF : 0xFF0000);
        TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE);
        ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 4, &definition, 1), 0);
        TextureEntry* entry = Texture(channel, 4);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->image.width, c.storedWidth);
        EXPECT_EQ(entry->image.height, c.storedHeight);
        EXPECT_EQ(entry->ownsPixels, c.storedWidth == c.width && c.storedHeight == c.height && c.bits == 32 ? 0 : 1);
        DrawTexturedSquare(channel, view, Textured(4));
        GLint uploaded = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &uploaded);
        EXPECT_EQ(uploaded, static_cast<GLint>(c.storedWidth));
        Image drawn = channel.drawn();
        EXPECT_TRUE(Near(drawn.at(4, 32), {255, 0, 0}, 2));
        EXPECT_TRUE(Near(drawn.at(60, 32), c.width == 1 ? Rgb{255, 0, 0} : Rgb{0, 0, 255}, 2));
        channel.ops.DeleteTexture(&channel.record, 4);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A component keys up to 255; above 255, also as an unsigned value that
// would be negative as a signed one, the texture has no transparent colour.
TEST_F(TextureTest, TransparentColourComponentsUpTo255)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    struct Case {
        uint32_t red, green, blue;
        int transparentTexel;  // -1: none
    };
    for (Case c : {Case{0, 0, 0, 0}, Case{255, 255, 255, 1}, Case{255, 0, 0, 2}, Case{0, 255, 0, 3},
                   Case{0, 0, 255, 4}, Case{256, 0, 0, -1}, Case{0, 256, 0, -1}, Case{0, 0, 256, -1},
                   Case{0xFFFFFFFF, 0, 0, -1}, Case{0, 0xFFFFFFFF, 0, -1}, Case{0, 0, 0x80000000, -1}}) {
        SCOPED_TRACE(testing::Message() << c.red << ", " << c.green << ", " << c.blue);
        HostImage image(8, 1, 24, 0xFF, 0xFF00, 0xFF0000);
        const uint32_t colours[8] = {0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000, 0x808080, 0x0000FE, 0x010000};
        for (uint32_t x = 0; x < 8; ++x) image.set(x, 0, colours[x]);
        TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE, 0, c.red, c.green, c.blue);
        ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 3, &definition, 1), 0);
        TextureEntry* entry = Texture(channel, 3);
        ASSERT_NE(entry, nullptr);
        ASSERT_EQ(entry->image.width, 8u);
        EXPECT_EQ(entry->hasTransparency, c.transparentTexel >= 0 ? 1 : 0);
        EXPECT_EQ(entry->keyRed, c.red);
        EXPECT_EQ(entry->keyGreen, c.green);
        EXPECT_EQ(entry->keyBlue, c.blue);
        const auto* texels = static_cast<const uint8_t*>(entry->image.pixels);
        for (int x = 0; x < 8; ++x) EXPECT_EQ(texels[4 * x + 3], x == c.transparentTexel ? 0 : 255) << "texel " << x;
    }
}

// Operation values other than 0, 1 and 2, also those that agree with one of
// them in their low byte, touch neither store and return 0.
TEST_F(TextureTest, AnIdIsLeftAloneByUnknownOperations)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    HostImage image = Rgba(8, 8);
    TextureDefinition texture = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE);
    TextureDefinition backdrop = Definition(image.bitmap, ZQGD_DEFINE_BACKDROP);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 5, &texture, 1), 0);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 6, &backdrop, 1), 0);
    TextureEntry* textureEntry = Texture(channel, 5);
    TextureEntry* backdropEntry = Backdrop(channel, 6);
    ASSERT_NE(textureEntry, nullptr);
    ASSERT_NE(backdropEntry, nullptr);
    GLuint name = textureEntry->glName;
    uint32_t blocks = MMLiveBlocks();
    for (int32_t operation : {-1, 3, 4, 0x100, 0x101, 0x102, INT32_MAX, INT32_MIN}) {
        SCOPED_TRACE(operation);
        TextureDefinition other = Definition(image.bitmap, operation);
        for (int32_t id : {5, 6, 7}) {
            for (uint32_t newImage : {0u, 1u}) EXPECT_EQ(channel.ops.DefineTexture(&channel.record, id, &other, newImage), 0);
        }
        EXPECT_EQ(Texture(channel, 5), textureEntry);
        EXPECT_EQ(textureEntry->glName, name);
        EXPECT_EQ(Backdrop(channel, 6), backdropEntry);
        EXPECT_EQ(Texture(channel, 7), nullptr);
        EXPECT_EQ(Backdrop(channel, 7), nullptr);
        EXPECT_EQ(MMLiveBlocks(), blocks);
    }
    // Operation 1 of an id that names nothing changes nothing either.
    TextureDefinition deletion = Definition(image.bitmap, ZQGD_DELETE_TEXTURE);
    EXPECT_EQ(channel.ops.DefineTexture(&channel.record, 7, &deletion, 1), 0);
    EXPECT_EQ(MMLiveBlocks(), blocks);
    EXPECT_EQ(channel.ops.DefineTexture(&channel.record, 6, &deletion, 0), 0) << "whatever newImage says";
    EXPECT_EQ(Backdrop(channel, 6), nullptr);
}

// Id 0 is refused: a material's id 0 means no texture, and the host's list
// promises nothing for key 0. Negative ids and the ends of the range are
// ordinary ids of both kinds. Id -1 is the value a new frame's cache holds:
// asked for first in a frame it is a hit on nothing, and it binds once
// another id was asked for in between.
TEST_F(TextureTest, AnIdOfAnySignButZero)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    HostImage image = Rgba(8, 8);
    TextureDefinition texture = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE);
    TextureDefinition backdrop = Definition(image.bitmap, ZQGD_DEFINE_BACKDROP);
    uint32_t blocks = MMLiveBlocks();
    EXPECT_EQ(channel.ops.DefineTexture(&channel.record, 0, &texture, 1), 1);
    EXPECT_EQ(channel.ops.DefineTexture(&channel.record, 0, &backdrop, 1), 1);
    EXPECT_EQ(MMLiveBlocks(), blocks);
    for (int32_t id : {-1, -2, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(id);
        ASSERT_EQ(channel.ops.DefineTexture(&channel.record, id, &texture, 1), 0);
        TextureEntry* entry = Texture(channel, id);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->id, id);
        EXPECT_EQ(entry->kind, ZQGD_DEFINE_TEXTURE);
        view.begin(0);
        MaterialEntry material = Textured(id), plain{};
        if (id == -1) {
            EXPECT_EQ(SelectTexture(&channel.record, channel.state(), view.state(), &material), nullptr);
            SelectTexture(&channel.record, channel.state(), view.state(), &plain);
        }
        EXPECT_EQ(SelectTexture(&channel.record, channel.state(), view.state(), &material), entry);
        EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
        ASSERT_EQ(channel.ops.DefineTexture(&channel.record, id, &backdrop, 1), 0);
        EXPECT_EQ(Texture(channel, id), nullptr);
        ASSERT_NE(Backdrop(channel, id), nullptr);
        EXPECT_EQ(Backdrop(channel, id)->kind, ZQGD_DEFINE_BACKDROP);
        channel.ops.DeleteTexture(&channel.record, id);
        EXPECT_EQ(Backdrop(channel, id), nullptr);
    }
    EXPECT_EQ(MMLiveBlocks(), blocks);
}

// newImage is a flag: any nonzero value, also one whose low byte is 0,
// brings a new image; 0 keeps the stored one.
TEST_F(TextureTest, TextureMapsTakeANewImageForAnyNonzeroFlag)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    HostImage first = Rgba(8, 8), second = Rgba(4, 4);
    for (int32_t operation : {ZQGD_DEFINE_TEXTURE, ZQGD_DEFINE_BACKDROP}) {
        for (uint32_t newImage : {0u, 1u, 2u, 0x100u, 0x80000000u}) {
            SCOPED_TRACE(testing::Message() << operation << " " << newImage);
            TextureDefinition definition = Definition(first.bitmap, operation);
            ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 3, &definition, 1), 0);
            definition = Definition(second.bitmap, operation);
            ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 3, &definition, newImage), 0);
            TextureEntry* entry = operation == ZQGD_DEFINE_TEXTURE ? Texture(channel, 3) : Backdrop(channel, 3);
            ASSERT_NE(entry, nullptr);
            EXPECT_EQ(entry->image.width, newImage != 0 ? 4u : 8u);
        }
    }
}

// The whole matrix is kept unless it is the identity; a matrix that differs
// from it in one place only, off the diagonal or in the third row, is not.
TEST_F(TextureTest, TextureMapsKeepTheirWholeMatrix)
{
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    HostImage image = Rgba(8, 8);
    TextureDefinition definition = Definition(image.bitmap, ZQGD_DEFINE_TEXTURE);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 2, &definition, 1), 0);
    ASSERT_NE(Texture(channel, 2), nullptr);
    EXPECT_EQ(Texture(channel, 2)->matrixIsIdentity, 1);
    const float general[9] = {0.5f, 2, 0.25f, -1, 0.75f, 3, 0.125f, -4, 5};
    std::memcpy(definition.textureMatrix, general, sizeof general);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 2, &definition, 0), 0);
    TextureEntry* entry = Texture(channel, 2);
    EXPECT_EQ(entry->matrixIsIdentity, 0);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(entry->textureMatrix[i], general[i]) << i;
    for (int place : {1, 2, 3, 5, 6, 7, 8}) {
        float matrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        matrix[place] += 0.5f;
        std::memcpy(definition.textureMatrix, matrix, sizeof matrix);
        ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 2, &definition, 1), 0);
        entry = Texture(channel, 2);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->matrixIsIdentity, 0) << place;
        EXPECT_EQ(entry->textureMatrix[place], matrix[place]) << place;
    }
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::memcpy(definition.textureMatrix, identity, sizeof identity);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 2, &definition, 0), 0);
    EXPECT_EQ(Texture(channel, 2)->matrixIsIdentity, 1) << "a parameter-only definition sets it back";
}

// The material's textured flag counts when nonzero; a callback result other
// than 0 means no texture; a callback that defines a backdrop gives none.
TEST_F(TextureTest, SelectTextureFlagsAndCallbackResults)
{
    static int32_t result = 0, operation = ZQGD_DEFINE_TEXTURE, calls = 0;
    static HostImage* supplied = nullptr;
    HostImage image = Rgba(8, 8);
    supplied = &image;
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    TestView view(channel, 0, 0, 64, 48);
    channel.state()->textureLoad = [](int32_t, TextureDefinition* definition) -> int32_t {
        ++calls;
        *definition = Definition(supplied->bitmap, operation);
        return result;
    };
    auto select = [&](MaterialEntry material) {
        view.begin(0);
        return SelectTexture(&channel.record, channel.state(), view.state(), &material);
    };
    for (int32_t failure : {1, -1, 2, INT32_MIN}) {
        SCOPED_TRACE(failure);
        result = failure;
        EXPECT_EQ(select(Textured(20)), nullptr);
        EXPECT_EQ(Texture(channel, 20), nullptr);
    }
    result = 0;
    operation = ZQGD_DEFINE_BACKDROP;
    EXPECT_EQ(select(Textured(21)), nullptr);
    EXPECT_NE(Backdrop(channel, 21), nullptr) << "the callback's backdrop is defined";
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));

    operation = ZQGD_DEFINE_TEXTURE;
    calls = 0;
    MaterialEntry flagged = Textured(22);
    for (int32_t flag : {1, 2, -1}) {
        flagged.textured = flag;
        EXPECT_NE(select(flagged), nullptr) << flag;
        EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    }
    EXPECT_EQ(calls, 1) << "defined once, then found";
    flagged.textured = 0;
    EXPECT_EQ(select(flagged), nullptr);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(select(Textured(0)), nullptr) << "id 0 is no texture";
    EXPECT_EQ(calls, 1);

    // Alpha testing follows the bound texture's transparency.
    HostImage keyed = Rgba(8, 8);
    TextureDefinition definition = Definition(keyed.bitmap, ZQGD_DEFINE_TEXTURE, ZQGD_TEXTURE_MODULATE, 0, 0, 0);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 23, &definition, 1), 0);
    ASSERT_EQ(Texture(channel, 23)->hasTransparency, 1);
    EXPECT_NE(select(Textured(23)), nullptr);
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_NE(select(Textured(22)), nullptr);
    EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    channel.state()->textureLoad = nullptr;
    EXPECT_EQ(select(Textured(24)), nullptr) << "no callback, no texture";
}

class BackdropTest : public TextureTest {
protected:
    // A 1024 x 256 panorama whose pixels encode their column and row.
    void SetUp() override
    {
        ASSERT_EQ(channel.open(), 0);
        view = std::make_unique<TestView>(channel, 0, 0, 640, 480);
        for (uint32_t y = 0; y < 256; ++y)
            for (uint32_t x = 0; x < 1024; ++x) panorama.set(x, y, (x & 0xFF) | (y << 8) | ((x >> 8) << 16));
        TextureDefinition definition = Definition(panorama.bitmap, ZQGD_DEFINE_BACKDROP);
        definition.angularWidth = 6.2831855f;
        ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 77, &definition, 1), 0);
        BackgroundRecord background{1, {0, 1, 0}, 77};
        view->ops.SetBackground(&view->record, &background);
        view->ops.SetRenderMode(&view->record, 0);
    }
    // Host image column and row (from the top) shown at a view pixel.
    static Rgb Expected(int column, int rowFromTop)
    {
        return {column & 0xFF, rowFromTop, column >> 8};
    }
    TestChannel channel{640, 480};
    std::unique_ptr<TestView> view;
    HostImage panorama{1024, 256, 32, 0xFF, 0xFF00, 0xFF0000};
};

TEST_F(BackdropTest, AnglesPlaceTheImage)
{
    EXPECT_EQ(view->state()->clearRoutine, &BackdropClear);
    EXPECT_EQ(view->state()->backdropX, 0);
    view->ops.SetBackdropAngles(&view->record, 0.0f, 0.5f);
    EXPECT_EQ(view->state()->backdropX, -273);
    EXPECT_EQ(view->state()->backdropY, 112);
    view->ops.SetBackdropAngles(&view->record, 0.0f, 6.0f);
    EXPECT_EQ(view->state()->backdropX, -145);
    view->ops.SetBackdropAngles(&view->record, 0.0f, -0.5f);
    EXPECT_EQ(view->state()->backdropX, -110);
    view->ops.SetBackdropAngles(&view->record, std::nanf(""), INFINITY);
    EXPECT_EQ(view->state()->backdropX, -192) << "NaN and infinite angles count as 0";
    EXPECT_EQ(view->state()->backdropY, 112);
    view->ops.SetViewSize(&view->record, 320, 240);
    EXPECT_EQ(view->state()->backdropX, 160 - 512) << "a resize places the image for angles 0, 0";
    EXPECT_EQ(view->state()->backdropY, 120 - 128);

    Backdrop(channel, 77)->angularWidth = 0;
    view->ops.SetBackdropAngles(&view->record, 1.0f, 2.0f);
    EXPECT_EQ(view->state()->backdropX, 160 - 512) << "without an angular width the image stays centred";
}

TEST_F(BackdropTest, PartlyCoveringImageIsFramedInTheBackgroundColour)
{
    view->ops.SetBackdropAngles(&view->record, 0.0f, 0.5f);  // x -273, y 112
    recorder::Start();
    view->begin(ZQGD_CLEAR_COLOUR | ZQGD_CLEAR_DEPTH);
    EXPECT_EQ(recorder::Count("glRecti", {0, 0, 640, 112}), 1u);
    EXPECT_EQ(recorder::Count("glRecti", {0, 368, 640, 480}), 1u);
    EXPECT_EQ(recorder::Count("glRecti"), 2u);
    EXPECT_EQ(recorder::Count("glDrawPixels", {640, 256}), 1u);
    EXPECT_EQ(recorder::Count("glClear", {GL_DEPTH_BUFFER_BIT}), 1u);
    EXPECT_EQ(recorder::Count("glClear"), 1u) << "the colour buffer is not cleared";
    channel.ops.EndFrame(&channel.record);
    Image shown = channel.front();
    EXPECT_TRUE(Near(shown.at(10, 50), {0, 255, 0}));
    EXPECT_TRUE(Near(shown.at(10, 400), {0, 255, 0}));
    // View (px, py) shows column px + 273 and host row 255 - (py - 112).
    for (auto [px, py] : {std::pair{0, 112}, {639, 367}, {300, 200}})
        EXPECT_TRUE(Near(shown.at(px, py), Expected(px + 273, 255 - (py - 112)), 0)) << px << "," << py;
    // The state the backdrop changed for drawing is back.
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLint shadeModel = 0;
    glGetIntegerv(GL_SHADE_MODEL, &shadeModel);
    EXPECT_EQ(shadeModel, GL_SMOOTH);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(BackdropTest, CoveringAndMissingImages)
{
    view->ops.SetViewSize(&view->record, 200, 100);
    view->ops.SetBackdropAngles(&view->record, 0.0f, 0.0f);
    recorder::Start();
    view->begin(ZQGD_CLEAR_COLOUR);
    EXPECT_EQ(recorder::Count("glDrawPixels", {200, 100}), 1u);
    EXPECT_EQ(recorder::Count("glRecti"), 0u);
    Image drawn = channel.drawn();
    // x = 100 - 512 = -412, y = 50 - 128 = -78.
    EXPECT_TRUE(Near(drawn.at(0, 0), Expected(412, 255 - 78), 0));
    EXPECT_TRUE(Near(drawn.at(199, 99), Expected(611, 255 - 177), 0));

    view->state()->backdropX = 5000;
    recorder::Start();
    view->begin(ZQGD_CLEAR_COLOUR);
    EXPECT_EQ(recorder::Count("glRecti", {0, 0, 200, 100}), 1u);
    EXPECT_EQ(recorder::Count("glDrawPixels"), 0u);

    recorder::Start();
    view->begin(ZQGD_CLEAR_DEPTH);
    EXPECT_EQ(recorder::Count("glDrawPixels") + recorder::Count("glRecti"), 0u);
    EXPECT_EQ(recorder::Count("glClear", {GL_DEPTH_BUFFER_BIT}), 1u);

    // Deleting the image switches the view back to the plain clear.
    channel.ops.DeleteTexture(&channel.record, 77);
    EXPECT_EQ(view->state()->clearRoutine, &PlainClear);
    view->state()->backdropX = 3;
    view->ops.SetBackdropAngles(&view->record, 0.0f, 1.0f);
    EXPECT_EQ(view->state()->backdropX, 3) << "no image, nothing to place";

    // A view waiting for an image id binds it when it is defined, at (0, 0).
    TextureDefinition definition = Definition(panorama.bitmap, ZQGD_DEFINE_BACKDROP);
    ASSERT_EQ(channel.ops.DefineTexture(&channel.record, 77, &definition, 1), 0);
    EXPECT_EQ(view->state()->clearRoutine, &BackdropClear);
    EXPECT_EQ(view->state()->backdropX, 0);
}

}  // namespace
