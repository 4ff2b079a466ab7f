// The host's records as a 32-bit host lays them out, at run time: every
// record is a block of raw bytes, filled with a marker, whose fields the test
// writes and reads at their byte offsets (32-bit pointers, fields four bytes
// apart, polygon records 184 bytes apart). The driver must read its input at
// those offsets, write its output there and leave every other byte, and the
// bytes after each record, as they were.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_object.h"
#include "support/test_texture.h"
#include "zqgd/platform.h"

static_assert(sizeof(void*) == 4, "this suite lays records out with 32-bit pointers");

namespace {

constexpr uint8_t kMarker = 0xA5;
constexpr size_t kGuard = 16;  // bytes after a record that nothing may touch

// A host record as bytes: all of them start as the marker.
class Raw {
public:
    explicit Raw(size_t size) : size_(size), bytes_(size + kGuard, kMarker) {}

    template <typename Record>
    Record* as()
    {
        return reinterpret_cast<Record*>(bytes_.data());
    }
    uint8_t* data() { return bytes_.data(); }

    void word(size_t offset, uint32_t value) { std::memcpy(&bytes_[offset], &value, 4); }
    void real(size_t offset, float value) { word(offset, std::bit_cast<uint32_t>(value)); }
    void pointer(size_t offset, const void* value)
    {
        word(offset, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value)));
    }
    void half(size_t offset, uint16_t value) { std::memcpy(&bytes_[offset], &value, 2); }

    uint32_t word(size_t offset) const
    {
        uint32_t value;
        std::memcpy(&value, &bytes_[offset], 4);
        return value;
    }
    int32_t integer(size_t offset) const { return static_cast<int32_t>(word(offset)); }
    float real(size_t offset) const { return std::bit_cast<float>(word(offset)); }
    void* pointer(size_t offset) const { return reinterpret_cast<void*>(static_cast<uintptr_t>(word(offset))); }

    // The operation in a table's slot.
    template <typename Function>
    Function slot(int index) const
    {
        return reinterpret_cast<Function>(pointer(static_cast<size_t>(index) * 4));
    }

    // The word still holds the marker: nobody wrote it.
    bool untouched(size_t offset) const { return word(offset) == 0xA5A5A5A5u; }
    bool guardUntouched() const
    {
        for (size_t i = size_; i < bytes_.size(); ++i)
            if (bytes_[i] != kMarker) return false;
        return true;
    }

private:
    size_t size_;
    std::vector<uint8_t> bytes_;
};

using OpenViewSlot = int32_t (*)(void* view, void* destination);
using CloseSlot = int32_t (*)(void* record);
using DefineTextureSlot = int32_t (*)(void* channel, int32_t id, void* definition, uint32_t newImage);
using DrawPolygonsSlot = void (*)(void* view, void* unused, void* geometry);
using SetRenderModeSlot = int32_t (*)(void* view, int32_t mode);
using ReadPixelsSlot = int32_t (*)(void* view, void* bitmap);
using BeginViewSlot = void (*)(void* view, int32_t frameTime, const float* matrix, uint32_t clearFlags);
using SetBackgroundSlot = void (*)(void* view, const void* background);
using SetViewPositionSlot = int32_t (*)(void* view, int32_t x, int32_t y);
using SetViewSizeSlot = int32_t (*)(void* view, uint32_t width, uint32_t height);

int32_t NoTexture(int32_t, TextureDefinition*) { return 1; }

// A window with a channel opened on it through records of raw bytes.
struct RawChannel {
    RawChannel(uint32_t width, uint32_t height, uint32_t bufferMode)
    {
        window = ZqCreateWindow(width, height, "layout");
        request.word(4, width);
        request.word(8, height);
        request.word(20, bufferMode);
        request.pointer(32, &window);
        status = ZqGDOpenChannel(record.as<ChannelRecord>(), request.as<ChannelRequest>(), ops.as<ChannelOps>(),
                                 NoTexture);
    }
    ~RawChannel()
    {
        if (record.pointer(0) != nullptr) ops.slot<CloseSlot>(1)(record.data());
        ZqDestroyWindow(window);
    }
    ChannelState* state() { return static_cast<ChannelState*>(record.pointer(0)); }

    HWND window;
    Raw request{36}, record{160}, ops{92};
    int32_t status = -1;
};

// A view on a raw channel through raw view records: orthographic, one unit
// per pixel, the origin at its centre.
struct RawView {
    RawView(RawChannel& channel, uint32_t width, uint32_t height)
    {
        descriptor.real(16, 100.0f);  // far plane
        descriptor.real(28, 0.1f);    // near plane
        descriptor.real(48, width / 2.0f);
        descriptor.real(52, height / 2.0f);
        descriptor.real(56, 1.0f);    // field of view
        descriptor.word(60, 1);       // orthographic
        record.pointer(0, nullptr);   // no environment
        record.pointer(4, selection.data());
        record.pointer(12, descriptor.data());
        record.pointer(16, channel.record.data());
        selection.word(4, 1);  // the polygons' own materials
        selection.word(8, 0);
        status = channel.ops.slot<OpenViewSlot>(4)(record.data(), ops.data());
        if (status != 0) return;
        ops.slot<SetViewPositionSlot>(14)(record.data(), 0, 0);
        ops.slot<SetViewSizeSlot>(15)(record.data(), width, height);
    }
    ~RawView()
    {
        if (descriptor.pointer(0) != nullptr) ops.slot<CloseSlot>(2)(record.data());
    }

    // Clears the view to dark grey in the mode and draws the geometry.
    void draw(int32_t mode, void* geometry)
    {
        Raw background(20);
        background.word(0, 0);
        for (int i = 0; i < 3; ++i) background.real(4 + 4 * i, 0.1f);
        background.word(16, 0);
        ops.slot<SetBackgroundSlot>(12)(record.data(), background.data());
        ops.slot<SetRenderModeSlot>(4)(record.data(), mode);
        static const float identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
        ops.slot<BeginViewSlot>(11)(record.data(), 0, identity, ZQGD_CLEAR_COLOUR | ZQGD_CLEAR_DEPTH);
        ops.slot<DrawPolygonsSlot>(3)(record.data(), nullptr, geometry);
    }

    Raw record{20}, descriptor{84}, selection{12}, ops{64};
    int32_t status = -1;
};

struct Colour {
    float red, green, blue;
};

Rgb Bytes(Colour colour)
{
    return {static_cast<int>(colour.red * 255 + 0.5f), static_cast<int>(colour.green * 255 + 0.5f),
            static_cast<int>(colour.blue * 255 + 0.5f)};
}

TEST(Layout32, DescriptionWordsAtTheirOffsets)
{
    ZqSetDesktopDepth(16);
    Raw description(56);
    EXPECT_EQ(ZqGDDescription(description.as<DriverDescription>()), description.as<DriverDescription>());
    ZqSetDesktopDepth(32);
    EXPECT_TRUE(description.untouched(0));
    const char* text = static_cast<const char*>(description.pointer(4));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), "Open GL 16Bits/Pixel");
    EXPECT_EQ(description.word(8), 2u);
    const uint8_t* modes = static_cast<const uint8_t*>(description.pointer(12));
    ASSERT_NE(modes, nullptr);
    for (uint32_t entry = 0; entry < 2; ++entry) {
        uint32_t words[5];
        std::memcpy(words, modes + 20 * entry, sizeof words);  // 20 bytes per entry
        EXPECT_EQ(words[0], 0u);
        EXPECT_EQ(words[1], 0u);
        EXPECT_EQ(words[2], 16u) << "bits per pixel of entry " << entry;
        EXPECT_EQ(words[3], 0u);
        EXPECT_EQ(words[4], entry + 1) << "buffering code of entry " << entry;
    }
    EXPECT_EQ(description.word(16), 0u);
    EXPECT_EQ(description.word(20), 1u);
    EXPECT_EQ(description.word(24), 32u);
    EXPECT_EQ(description.word(28), 0x6E83u);
    EXPECT_TRUE(description.untouched(32));
    EXPECT_EQ(description.word(36), 0u);
    EXPECT_EQ(description.word(40), 0xE0AD78ECu);
    EXPECT_EQ(description.word(44), 0xE0AD78ECu);
    EXPECT_EQ(description.word(48), 0x60AD78ECu);
    EXPECT_EQ(description.word(52), 0x60AD78ECu);
    EXPECT_TRUE(description.guardUntouched());
    MMfree(description.pointer(4));
    MMfree(description.pointer(12));
}

TEST(Layout32, OpenChannelReadsTheRequestAndFillsRecordAndTable)
{
    RawChannel channel(641, 481, 3);
    ASSERT_EQ(channel.status, 0);
    const Raw& request = channel.request;
    EXPECT_TRUE(request.untouched(0));
    EXPECT_TRUE(request.untouched(12));
    EXPECT_EQ(request.word(16), 0u);
    EXPECT_EQ(request.word(20), 2u) << "buffer mode 3 is rewritten to double buffering";
    EXPECT_TRUE(request.untouched(24));
    EXPECT_TRUE(request.untouched(28));
    EXPECT_TRUE(request.guardUntouched());

    const Raw& record = channel.record;
    ASSERT_NE(channel.state(), nullptr);
    EXPECT_EQ(channel.state()->window, channel.window) << "the handle read through the pointer at byte 32";
    EXPECT_EQ(record.pointer(4), channel.ops.data());
    // The frame format, a Bitmap at byte 8.
    EXPECT_EQ(record.pointer(8), nullptr);
    uint32_t bits = record.word(24), bytes = record.word(28);
    EXPECT_GE(bits, 15u);
    EXPECT_EQ(bytes, (bits + 7) / 8);
    EXPECT_EQ(record.word(12), bytes * 641);
    EXPECT_EQ(record.word(16), 641u);
    EXPECT_EQ(record.word(20), 481u);
    for (size_t colour = 32; colour < 68; colour += 12) {
        uint32_t mask = record.word(colour);
        ASSERT_NE(mask, 0u) << "mask at byte " << colour;
        EXPECT_EQ(record.word(colour + 4), static_cast<uint32_t>(std::countr_zero(mask))) << "shift at " << colour + 4;
        EXPECT_EQ(record.word(colour + 8), static_cast<uint32_t>(std::popcount(mask))) << "bits at " << colour + 8;
    }
    EXPECT_TRUE(record.untouched(68)) << "the bitmap's last word";
    EXPECT_EQ(record.word(72), 2u);
    EXPECT_EQ(record.word(76), 0u);
    EXPECT_EQ(record.word(80), 0u) << "cursor hidden";
    EXPECT_EQ(record.integer(84), 320);
    EXPECT_EQ(record.integer(88), 240);
    for (size_t offset : {92, 96, 100}) EXPECT_EQ(record.real(offset), 1.0f) << "cursor colour at " << offset;
    EXPECT_TRUE(record.untouched(104));
    EXPECT_EQ(record.integer(108), 1) << "cursor size";
    EXPECT_EQ(record.integer(112), 0) << "cursor style";
    EXPECT_EQ(record.word(116), 0u);
    EXPECT_EQ(record.word(120), 0u);
    for (size_t offset : {124, 128, 132}) EXPECT_EQ(record.real(offset), 1.0f) << "pen colour at " << offset;
    EXPECT_TRUE(record.untouched(136));
    for (size_t offset : {140, 144, 148}) EXPECT_EQ(record.real(offset), 0.0f) << "back colour at " << offset;
    EXPECT_TRUE(record.untouched(152));
    EXPECT_EQ(record.integer(156), 1) << "text transparent";
    EXPECT_TRUE(record.guardUntouched());

    for (int slot = 0; slot < 23; ++slot) EXPECT_NE(channel.ops.pointer(4 * slot), nullptr) << "channel slot " << slot;
    EXPECT_TRUE(channel.ops.guardUntouched());

    EXPECT_EQ(channel.ops.slot<CloseSlot>(1)(channel.record.data()), 0);
    EXPECT_EQ(channel.record.pointer(0), nullptr) << "the state pointer is cleared at close";
}

TEST(Layout32, ViewDescriptorAndViewTableAtTheirOffsets)
{
    RawChannel channel(96, 80, 1);
    ASSERT_EQ(channel.status, 0);
    EXPECT_EQ(channel.request.word(20), 1u) << "single buffering stays";
    RawView view(channel, 40, 30);
    ASSERT_EQ(view.status, 0);
    const Raw& descriptor = view.descriptor;
    ASSERT_NE(descriptor.pointer(0), nullptr) << "the view state";
    EXPECT_EQ(descriptor.pointer(4), view.ops.data());
    for (size_t offset : {8, 12, 20, 24, 32, 36, 40, 44}) EXPECT_TRUE(descriptor.untouched(offset)) << offset;
    EXPECT_EQ(descriptor.integer(64), -1) << "no render mode yet";
    EXPECT_EQ(descriptor.word(68), 30u) << "the height comes first";
    EXPECT_EQ(descriptor.word(72), 40u);
    EXPECT_TRUE(descriptor.guardUntouched());
    for (int slot = 0; slot < 16; ++slot) {
        bool empty = slot == 1 || (slot >= 7 && slot <= 10);
        EXPECT_EQ(view.ops.pointer(4 * slot) == nullptr, empty) << "view slot " << slot;
    }
    EXPECT_TRUE(view.ops.guardUntouched());

    EXPECT_EQ(view.ops.slot<SetViewPositionSlot>(14)(view.record.data(), 7, 9), 0);
    EXPECT_EQ(descriptor.integer(76), 7);
    EXPECT_EQ(descriptor.integer(80), 9);
    EXPECT_EQ(channel.state()->overlayWidth, 47u);
    EXPECT_EQ(channel.state()->overlayHeight, 39u);
    EXPECT_EQ(view.ops.slot<SetRenderModeSlot>(4)(view.record.data(), 0x2011), 0);
    EXPECT_EQ(descriptor.integer(64), 0x2011);

    // The host's view record is only read.
    EXPECT_TRUE(view.record.untouched(8));
    EXPECT_EQ(view.record.pointer(4), view.selection.data());
    EXPECT_EQ(view.record.pointer(12), view.descriptor.data());
    EXPECT_EQ(view.record.pointer(16), channel.record.data());
    EXPECT_TRUE(view.record.guardUntouched());

    EXPECT_EQ(view.ops.slot<CloseSlot>(2)(view.record.data()), 0);
    EXPECT_EQ(descriptor.pointer(0), nullptr);
}

// Four polygons in one array, 184 bytes apart, each in a quadrant of a
// 64 x 64 view and each with a facet colour, corner colours and a material
// of its own: every renderer family finds every polygon's fields.
TEST(Layout32, PolygonRecordsAre184BytesApart)
{
    RawChannel channel(64, 64, 2);
    ASSERT_EQ(channel.status, 0);
    RawView view(channel, 64, 64);
    ASSERT_EQ(view.status, 0);

    constexpr int kPolygons = 4;
    const float centres[kPolygons][2] = {{-16, -16}, {16, -16}, {-16, 16}, {16, 16}};
    const Colour facet[kPolygons] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}};
    const Colour cornerColour[kPolygons] = {{0, 1, 1}, {1, 0, 1}, {1, 1, 1}, {0.4f, 0.6f, 0.2f}};
    const Colour material[kPolygons] = {{0.2f, 0.8f, 0.4f}, {0.6f, 0.2f, 1}, {1, 0.6f, 0.2f}, {0.4f, 0.4f, 0.8f}};
    TestMaterials materials(kPolygons + 1);
    for (int i = 0; i < kPolygons; ++i) {
        MaterialEntry& entry = materials.entries[i + 1];  // entry 0 stays red: a wrong index shows
        entry.colour[0] = material[i].red;
        entry.colour[1] = material[i].green;
        entry.colour[2] = material[i].blue;
    }

    Raw vertices(kPolygons * 4 * 12), polygons(kPolygons * 184), list(24), block(28);
    const float offsets[4][2] = {{-8, -8}, {8, -8}, {8, 8}, {-8, 8}};
    for (int p = 0; p < kPolygons; ++p) {
        const size_t at = static_cast<size_t>(p) * 184;
        // The last polygon is a triangle: its fourth corner is never read.
        uint16_t count = p == kPolygons - 1 ? 3 : 4;
        polygons.half(at, count);
        polygons.half(at + 2, 0);
        for (int c = 0; c < 4; ++c) {
            uint32_t index = static_cast<uint32_t>(p * 4 + c);
            vertices.real(index * 12, centres[p][0] + offsets[c][0]);
            vertices.real(index * 12 + 4, centres[p][1] + offsets[c][1]);
            vertices.real(index * 12 + 8, 5.0f);
            if (c >= count) continue;
            size_t corner = at + 4 + 36 * c;
            polygons.word(corner, index);
            polygons.real(corner + 4, 0.0f);
            polygons.real(corner + 8, 0.0f);
            polygons.real(corner + 12, -1.0f);
            polygons.real(corner + 16, c == 1 || c == 2 ? 1.0f : 0.0f);
            polygons.real(corner + 20, c >= 2 ? 1.0f : 0.0f);
            polygons.real(corner + 24, cornerColour[p].red);
            polygons.real(corner + 28, cornerColour[p].green);
            polygons.real(corner + 32, cornerColour[p].blue);
        }
        // Facing the eye at the origin: -z + 5 >= 0 there.
        polygons.real(at + 148, 0.0f);
        polygons.real(at + 152, 0.0f);
        polygons.real(at + 156, -1.0f);
        polygons.real(at + 160, 5.0f);
        polygons.real(at + 164, facet[p].red);
        polygons.real(at + 168, facet[p].green);
        polygons.real(at + 172, facet[p].blue);
        polygons.word(at + 180, static_cast<uint32_t>(p + 1));
    }
    list.word(0, kPolygons * 4);
    list.pointer(4, vertices.data());
    list.word(8, kPolygons);
    list.pointer(12, polygons.data());
    list.word(16, 0);  // no light points: the pointer beside it is never followed
    const float matrix[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    const float eye[3] = {0, 0, 0};
    block.pointer(4, list.data());
    block.pointer(8, matrix);
    block.pointer(12, eye);
    block.word(24, 1);  // pre-lit

    const std::vector<uint8_t> polygonBytes(polygons.data(), polygons.data() + kPolygons * 184 + kGuard);
    const std::vector<uint8_t> blockBytes(block.data(), block.data() + 28 + kGuard);

    // A pixel inside polygon p, below the diagonal from its first to its
    // third corner so that the triangle covers it too: from the bottom left.
    auto probe = [&](int p) {
        return std::pair<uint32_t, uint32_t>(static_cast<uint32_t>(32 + centres[p][0] + 2),
                                             static_cast<uint32_t>(32 + centres[p][1] - 4));
    };
    auto read = [&](const char* what, int32_t mode, const Colour* expected) {
        SCOPED_TRACE(what);
        view.draw(mode, block.data());
        Raw bitmap(64);
        ASSERT_EQ(view.ops.slot<ReadPixelsSlot>(6)(view.record.data(), bitmap.data()), 0);
        const uint8_t* pixels = static_cast<const uint8_t*>(bitmap.pointer(0));
        ASSERT_NE(pixels, nullptr);
        const uint32_t header[15] = {256, 64, 64, 32, 4, 0xFF, 0, 8, 0xFF00, 8, 8, 0xFF0000, 16, 8, 0};
        for (size_t i = 0; i < 15; ++i) EXPECT_EQ(bitmap.word(4 + 4 * i), header[i]) << "bitmap word at " << 4 + 4 * i;
        EXPECT_TRUE(bitmap.guardUntouched());
        for (int p = 0; p < kPolygons; ++p) {
            auto [x, y] = probe(p);
            const uint8_t* pixel = pixels + y * 256 + x * 4;
            Rgb seen{pixel[0], pixel[1], pixel[2]};
            Rgb wanted = expected != nullptr ? Bytes(expected[p]) : Rgb{26, 26, 26};
            EXPECT_TRUE(Near(seen, wanted, 3)) << "polygon " << p;
        }
        MMfree(bitmap.pointer(0));
    };
    read("facet fill takes the facet colour", ZQGD_MODE_FACET, facet);
    read("smooth fill takes the corner colours", 0, cornerColour);
    read("unlit fill takes the polygon's material", ZQGD_MODE_UNLIT, material);

    // Each polygon's plane turned away from the eye in turn: back-face
    // removal reads it at byte 148 of that record.
    for (int p = 0; p < kPolygons; ++p) {
        SCOPED_TRACE(testing::Message() << "polygon " << p << " turned away");
        Raw turned = polygons;
        polygons.real(static_cast<size_t>(p) * 184 + 156, 1.0f);
        polygons.real(static_cast<size_t>(p) * 184 + 160, -5.0f);
        view.draw(ZQGD_MODE_UNLIT | ZQGD_MODE_BACK_FACES, block.data());
        Raw bitmap(64);
        ASSERT_EQ(view.ops.slot<ReadPixelsSlot>(6)(view.record.data(), bitmap.data()), 0);
        const uint8_t* pixels = static_cast<const uint8_t*>(bitmap.pointer(0));
        ASSERT_NE(pixels, nullptr);
        for (int q = 0; q < kPolygons; ++q) {
            auto [x, y] = probe(q);
            const uint8_t* pixel = pixels + y * 256 + x * 4;
            Rgb wanted = q == p ? Rgb{26, 26, 26} : Bytes(material[q]);
            EXPECT_TRUE(Near({pixel[0], pixel[1], pixel[2]}, wanted, 3)) << "polygon " << q;
        }
        MMfree(bitmap.pointer(0));
        polygons = turned;
    }

    EXPECT_EQ(std::vector<uint8_t>(polygons.data(), polygons.data() + kPolygons * 184 + kGuard), polygonBytes)
        << "the polygon records are only read";
    EXPECT_EQ(std::vector<uint8_t>(block.data(), block.data() + 28 + kGuard), blockBytes);
    EXPECT_TRUE(list.untouched(20));
    EXPECT_TRUE(list.guardUntouched());
}

// A texture definition: the image's Bitmap at byte 0, the operation at 68,
// the angles at 72, the flags at 84, the transparent colour at 88 and the
// texture matrix at 108.
TEST(Layout32, TextureDefinitionReadAtItsOffsets)
{
    RawChannel channel(32, 32, 2);
    ASSERT_EQ(channel.status, 0);
    std::vector<uint32_t> texels(4 * 2, 0xFF804020u);
    texels[5] = 0xFF1E140Au;  // the transparent colour: red 10, green 20, blue 30
    Raw definition(144);
    definition.pointer(0, texels.data());
    const uint32_t image[15] = {16, 4, 2, 32, 4, 0xFF, 0, 8, 0xFF00, 8, 8, 0xFF0000, 16, 8};
    for (size_t i = 0; i < 14; ++i) definition.word(4 + 4 * i, image[i]);
    definition.word(68, ZQGD_DEFINE_TEXTURE);
    definition.word(84, ZQGD_TEXTURE_MODULATE | ZQGD_TEXTURE_CLAMP_S);
    definition.word(88, 10);
    definition.word(92, 20);
    definition.word(96, 30);
    const float matrix[9] = {2, 0.5f, 0.25f, -1, 3, 0.75f, 0, 0, 1};
    for (size_t i = 0; i < 9; ++i) definition.real(108 + 4 * i, matrix[i]);
    const std::vector<uint8_t> before(definition.data(), definition.data() + 144 + kGuard);

    auto define = channel.ops.slot<DefineTextureSlot>(8);
    ASSERT_EQ(define(channel.record.data(), 7, definition.data(), 1), 0);
    auto* texture = static_cast<TextureEntry*>(_ZqGFindListItem(&channel.state()->textureList, 7));
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->kind, ZQGD_DEFINE_TEXTURE);
    EXPECT_EQ(texture->image.width, 4u);
    EXPECT_EQ(texture->image.height, 2u);
    EXPECT_EQ(texture->envMode, static_cast<GLenum>(GL_MODULATE));
    EXPECT_EQ(texture->keyRed, 10u);
    EXPECT_EQ(texture->keyGreen, 20u);
    EXPECT_EQ(texture->keyBlue, 30u);
    EXPECT_EQ(texture->hasTransparency, 1) << "the texel with the key was found through the pixel pointer";
    EXPECT_EQ(texture->matrixIsIdentity, 0);
    for (size_t i = 0; i < 9; ++i) EXPECT_EQ(texture->textureMatrix[i], matrix[i]) << "matrix entry " << i;
    EXPECT_EQ(std::vector<uint8_t>(definition.data(), definition.data() + 144 + kGuard), before)
        << "the definition is only read";

    definition.word(68, ZQGD_DEFINE_BACKDROP);
    definition.real(72, 0.5f);
    definition.real(76, 0.25f);
    definition.real(80, 1.5f);
    ASSERT_EQ(define(channel.record.data(), 8, definition.data(), 1), 0);
    auto* backdrop = static_cast<TextureEntry*>(_ZqGFindListItem(&channel.state()->backdropList, 8));
    ASSERT_NE(backdrop, nullptr);
    EXPECT_EQ(backdrop->kind, ZQGD_DEFINE_BACKDROP);
    EXPECT_EQ(backdrop->horizontalAngle, 0.5f);
    EXPECT_EQ(backdrop->verticalAngle, 0.25f);
    EXPECT_EQ(backdrop->angularWidth, 1.5f);
    EXPECT_EQ(backdrop->image.width, 4u);
    EXPECT_EQ(backdrop->image.height, 2u);

    definition.word(68, ZQGD_DELETE_TEXTURE);
    EXPECT_EQ(define(channel.record.data(), 7, definition.data(), 1), 0);
    EXPECT_EQ(_ZqGFindListItem(&channel.state()->textureList, 7), nullptr) << "operation 1 at byte 68 deletes";
}

}  // namespace
