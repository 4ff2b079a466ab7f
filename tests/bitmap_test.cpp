// The host's bitmap utilities: depth conversion between masked layouts and
// resampling.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/host_image.h"
#include "zqgd/host.h"

namespace {

// The converted image as RGBA bytes.
struct Converted {
    Bitmap bitmap{};
    explicit Converted(const Bitmap& source)
    {
        EXPECT_EQ(ZqFConstructBitmap(&bitmap, source.width, source.height, 32, 0xFF, 0xFF00, 0xFF0000, 0, 0), 0);
        EXPECT_EQ(ZqFChangeBitmapDepth(&source, &bitmap), 0);
    }
    ~Converted() { ZqFDestroyBitmap(&bitmap); }
    std::vector<int> at(uint32_t x, uint32_t y) const
    {
        // A failed construction or conversion was reported above; there is
        // nothing to read.
        if (bitmap.pixels == nullptr) return {};
        const auto* p = static_cast<const uint8_t*>(bitmap.pixels) + y * bitmap.bytesPerLine + x * 4;
        return {p[0], p[1], p[2], p[3]};
    }
};

TEST(Bitmap, ConstructDescribesAndAllocates)
{
    uint32_t blocks = MMLiveBlocks();
    Bitmap bitmap;
    ASSERT_EQ(ZqFConstructBitmap(&bitmap, 5, 3, 32, 0xFF, 0xFF00, 0xFF0000, 0, 0), 0);
    EXPECT_EQ(bitmap.bytesPerPixel, 4u);
    EXPECT_EQ(bitmap.bytesPerLine, 20u);
    EXPECT_EQ(bitmap.greenShift, 8u);
    EXPECT_EQ(bitmap.blueBits, 8u);
    EXPECT_EQ(MMLiveBlocks(), blocks + 1);
    ZqFDestroyBitmap(&bitmap);
    EXPECT_EQ(bitmap.pixels, nullptr);
    EXPECT_EQ(MMLiveBlocks(), blocks);
    EXPECT_EQ(ZqFConstructBitmap(&bitmap, 0, 3, 32, 0xFF, 0xFF00, 0xFF0000, 0, 0), 1);
    EXPECT_EQ(ZqFConstructBitmap(&bitmap, 0x40000000, 4, 32, 0xFF, 0xFF00, 0xFF0000, 0, 0), 1);
    MMFailNthAllocation(1);
    EXPECT_EQ(ZqFConstructBitmap(&bitmap, 5, 3, 32, 0xFF, 0xFF00, 0xFF0000, 0, 0), 1);
    EXPECT_EQ(bitmap.pixels, nullptr);
}

TEST(Bitmap, ConversionWidensEveryLayoutExactly)
{
    HostImage rgb332(2, 1, 8, 0x07, 0x38, 0xC0);
    rgb332.set(0, 0, 0xFF);
    rgb332.set(1, 0, 0x04 | (0x2 << 3) | (0x1 << 6));
    Converted a(rgb332.bitmap);
    EXPECT_EQ(a.at(0, 0), (std::vector<int>{255, 255, 255, 255}));
    EXPECT_EQ(a.at(1, 0), (std::vector<int>{146, 73, 85, 255}));

    HostImage rgb555(2, 1, 15, 0x7C00, 0x03E0, 0x001F);
    rgb555.set(0, 0, 0x7FFF);
    rgb555.set(1, 0, (16 << 10) | (0 << 5) | 31);
    Converted b(rgb555.bitmap);
    EXPECT_EQ(b.at(0, 0), (std::vector<int>{255, 255, 255, 255}));
    EXPECT_EQ(b.at(1, 0), (std::vector<int>{132, 0, 255, 255}));

    HostImage rgb565(1, 1, 16, 0xF800, 0x07E0, 0x001F);
    rgb565.set(0, 0, (31 << 11) | (32 << 5) | 0);
    Converted c(rgb565.bitmap);
    EXPECT_EQ(c.at(0, 0), (std::vector<int>{255, 130, 0, 255}));

    HostImage bgr24(1, 2, 24, 0xFF0000, 0x00FF00, 0x0000FF);
    bgr24.set(0, 0, 0x102030);
    bgr24.set(0, 1, 0xFFFFFF);
    Converted d(bgr24.bitmap);
    EXPECT_EQ(d.at(0, 0), (std::vector<int>{0x10, 0x20, 0x30, 255}));
    EXPECT_EQ(d.at(0, 1), (std::vector<int>{255, 255, 255, 255}));

    HostImage bgra32(1, 1, 32, 0xFF0000, 0x00FF00, 0x0000FF);
    bgra32.set(0, 0, 0x00AABBCC);
    Converted e(bgra32.bitmap);
    EXPECT_EQ(e.at(0, 0), (std::vector<int>{0xAA, 0xBB, 0xCC, 255}));
}

void ExpectStraightMatchesGeneral(const Bitmap& image)
{
    Converted straight(image);
    ZqFUseStraightPaths(0);
    Converted general(image);
    ZqFUseStraightPaths(1);
    size_t size = size_t{straight.bitmap.bytesPerLine} * straight.bitmap.height;
    EXPECT_EQ(std::memcmp(straight.bitmap.pixels, general.bitmap.pixels, size), 0) << image.width << " pixels wide";
}

// The straight loops for the layouts hosts use most give, bit for bit, what
// the general path gives, for every value of every channel.
TEST(Bitmap, StraightPathsMatchTheGeneralPath)
{
    struct Layout {
        const char* name;
        uint32_t bits, red, green, blue;
    };
    const Layout layouts[] = {{"RGB 24", 24, 0xFF, 0xFF00, 0xFF0000},     {"BGR 24", 24, 0xFF0000, 0xFF00, 0xFF},
                              {"RGBA 32", 32, 0xFF, 0xFF00, 0xFF0000},    {"BGRA 32", 32, 0xFF0000, 0xFF00, 0xFF},
                              {"5-6-5", 16, 0xF800, 0x07E0, 0x001F},     {"5-5-5", 15, 0x7C00, 0x03E0, 0x001F},
                              {"3-3-2", 8, 0xE0, 0x1C, 0x03}};
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        // Every pixel value of the narrow layouts; for 8-bit channels every
        // value of each channel in turn, over varied other channels and a
        // varied fourth byte.
        uint32_t bytes = (layout.bits + 7) / 8;
        uint32_t count = bytes <= 2 ? 1u << layout.bits : 3 * 256;
        HostImage image(256, (count + 255) / 256, layout.bits, layout.red, layout.green, layout.blue);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t value = i;
            if (bytes > 2) {
                uint32_t shift = 8 * (i / 256);
                value = ((i % 256) << shift) | ((i * 2654435761u) & ~(0xFFu << shift));
            }
            image.set(i % 256, i / 256, value);
        }
        ExpectStraightMatchesGeneral(image.bitmap);
        // A small image of the narrow layouts goes through its channels'
        // tables rather than one of every pixel value: every field value of
        // every channel, in 64 pixels.
        if (bytes <= 2) {
            HostImage small(64, 1, layout.bits, layout.red, layout.green, layout.blue);
            auto field = [](uint32_t i, uint32_t mask) { return (i % ((mask >> ZqMLSB(mask)) + 1)) << ZqMLSB(mask); };
            for (uint32_t i = 0; i < 64; ++i)
                small.set(i, 0, field(i, layout.red) | field(63 - i, layout.green) | field(i * 5, layout.blue));
            ExpectStraightMatchesGeneral(small.bitmap);
        }
    }
}

TEST(Bitmap, ConversionNarrowsWithRounding)
{
    HostImage rgba(1, 1, 32, 0xFF, 0xFF00, 0xFF0000);
    rgba.set(0, 0, 0xFF0080);
    Bitmap narrow;
    ASSERT_EQ(ZqFConstructBitmap(&narrow, 1, 1, 16, 0xF800, 0x07E0, 0x001F, 0, 0), 0);
    ASSERT_EQ(ZqFChangeBitmapDepth(&rgba.bitmap, &narrow), 0);
    uint16_t pixel;
    std::memcpy(&pixel, narrow.pixels, 2);
    EXPECT_EQ(pixel >> 11, 16);          // 128 of 255 in five bits
    EXPECT_EQ((pixel >> 5) & 0x3F, 0);
    EXPECT_EQ(pixel & 0x1F, 31);
    ZqFDestroyBitmap(&narrow);

    // Only a 32-bit pixel gets its uncovered bits set: the top bit of 5-5-5
    // stays clear.
    ASSERT_EQ(ZqFConstructBitmap(&narrow, 1, 1, 15, 0x7C00, 0x03E0, 0x001F, 0, 0), 0);
    ASSERT_EQ(ZqFChangeBitmapDepth(&rgba.bitmap, &narrow), 0);
    std::memcpy(&pixel, narrow.pixels, 2);
    EXPECT_EQ(pixel, (16 << 10) | 31);
    ZqFDestroyBitmap(&narrow);
}

TEST(Bitmap, ConversionRefusesBadDescriptions)
{
    HostImage source(2, 2, 24, 0xFF0000, 0xFF00, 0xFF);
    Bitmap destination;
    ASSERT_EQ(ZqFConstructBitmap(&destination, 2, 2, 32, 0xFF, 0xFF00, 0xFF0000, 0, 0), 0);
    Bitmap bad = source.bitmap;
    bad.bytesPerLine = 5;  // shorter than a row
    EXPECT_EQ(ZqFChangeBitmapDepth(&bad, &destination), 1);
    bad = source.bitmap;
    bad.bytesPerPixel = 7;
    EXPECT_EQ(ZqFChangeBitmapDepth(&bad, &destination), 1);
    bad = source.bitmap;
    bad.pixels = nullptr;
    EXPECT_EQ(ZqFChangeBitmapDepth(&bad, &destination), 1);
    bad = source.bitmap;
    bad.width = 3;
    EXPECT_EQ(ZqFChangeBitmapDepth(&bad, &destination), 1) << "sizes must match";
    ZqFDestroyBitmap(&destination);
}

TEST(Bitmap, ShrinkingAveragesAreas)
{
    // Columns alternate black and white: a nearest-sample shrink would give
    // one of them, area averaging gives grey.
    HostImage stripes(8, 2, 24, 0xFF0000, 0xFF00, 0xFF);
    for (uint32_t x = 0; x < 8; x += 2)
        for (uint32_t y = 0; y < 2; ++y) stripes.set(x, y, 0xFFFFFF);
    Bitmap half{};
    half.width = 4;
    half.height = 1;
    ASSERT_EQ(ZqFScaleBitmap(&stripes.bitmap, &half), 0);
    EXPECT_EQ(half.bitsPerPixel, 24u) << "the scaled image keeps the source's layout";
    EXPECT_EQ(half.bytesPerLine, 12u);
    Converted grey(half);
    for (uint32_t x = 0; x < 4; ++x) EXPECT_NEAR(grey.at(x, 0)[0], 128, 1) << x;
    ZqFDestroyBitmap(&half);

    // Uneven ratio: 3 columns into 2, each output covers 1.5 source columns.
    HostImage three(3, 1, 24, 0xFF0000, 0xFF00, 0xFF);
    three.set(0, 0, 0xFF0000);
    three.set(1, 0, 0x000000);
    three.set(2, 0, 0x0000FF);
    Bitmap two{};
    two.width = 2;
    two.height = 1;
    ASSERT_EQ(ZqFScaleBitmap(&three.bitmap, &two), 0);
    Converted mixed(two);
    EXPECT_NEAR(mixed.at(0, 0)[0], 170, 1);
    EXPECT_NEAR(mixed.at(1, 0)[2], 170, 1);
    ZqFDestroyBitmap(&two);
}

TEST(Bitmap, GrowingInterpolatesAndKeepsFlatAreas)
{
    HostImage two(2, 1, 32, 0xFF, 0xFF00, 0xFF0000);
    two.set(0, 0, 0x000000);
    two.set(1, 0, 0x0000FF);
    Bitmap four{};
    four.width = 4;
    four.height = 3;
    ASSERT_EQ(ZqFScaleBitmap(&two.bitmap, &four), 0);
    Converted wide(four);
    EXPECT_EQ(wide.at(0, 1)[0], 0);
    EXPECT_EQ(wide.at(3, 1)[0], 255);
    EXPECT_GT(wide.at(2, 1)[0], wide.at(1, 1)[0]);
    EXPECT_EQ(wide.at(2, 0)[0], wide.at(2, 2)[0]);
    ZqFDestroyBitmap(&four);

    uint32_t blocks = MMLiveBlocks();
    Bitmap failed{};
    failed.width = 4;
    failed.height = 4;
    MMFailNthAllocation(1);
    EXPECT_EQ(ZqFScaleBitmap(&two.bitmap, &failed), 1);
    EXPECT_EQ(failed.pixels, nullptr);
    EXPECT_EQ(MMLiveBlocks(), blocks);
}

// One pixel at either end of a scale: shrinking to 1 x 1 averages the whole
// image, growing from 1 x 1 repeats its one colour.
TEST(Bitmap, ScalingToAndFromOnePixel)
{
    Bitmap single{};
    ASSERT_EQ(ZqFConstructBitmap(&single, 1, 1, 32, 0xFF, 0xFF00, 0xFF0000, 0, 0), 0);
    EXPECT_EQ(single.bytesPerLine, 4u);
    EXPECT_EQ(single.bytesPerPixel, 4u);
    ZqFDestroyBitmap(&single);

    HostImage checker(4, 2, 24, 0xFF0000, 0xFF00, 0xFF);
    for (uint32_t x = 0; x < 4; ++x)
        for (uint32_t y = 0; y < 2; ++y) checker.set(x, y, (x + y) % 2 ? 0xFFFFFF : 0x000000);
    Bitmap one{};
    one.width = 1;
    one.height = 1;
    ASSERT_EQ(ZqFScaleBitmap(&checker.bitmap, &one), 0);
    {
        Converted average(one);
        for (int channel = 0; channel < 3; ++channel) EXPECT_NEAR(average.at(0, 0)[channel], 128, 1) << channel;
    }
    ZqFDestroyBitmap(&one);

    HostImage dot(1, 1, 32, 0xFF, 0xFF00, 0xFF0000);
    dot.set(0, 0, 0x00C08040);
    Bitmap grown{};
    grown.width = 4;
    grown.height = 3;
    ASSERT_EQ(ZqFScaleBitmap(&dot.bitmap, &grown), 0);
    {
        Converted flat(grown);
        for (uint32_t y = 0; y < 3; ++y)
            for (uint32_t x = 0; x < 4; ++x)
                EXPECT_EQ(flat.at(x, y), (std::vector<int>{0x40, 0x80, 0xC0, 255})) << x << "," << y;
    }
    ZqFDestroyBitmap(&grown);
}

}  // namespace
