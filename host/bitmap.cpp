// Bitmap utilities: construction, depth conversion and resampling of images
// described by masks.
#include <cmath>
#include <cstring>
#include <vector>

#include "zqgd/host.h"

namespace {

struct Channel {
    uint32_t mask, shift, maximum;
};

Channel ChannelOf(uint32_t mask)
{
    uint32_t shift = ZqMLSB(mask);
    return {mask, shift, mask == 0 ? 0 : mask >> shift};
}

// A description the routines can read or write: sizes, a pixel size that
// holds the depth, rows that hold a line, and a byte count that fits.
bool Usable(const Bitmap* bitmap)
{
    if (bitmap == nullptr || bitmap->pixels == nullptr || bitmap->width == 0 || bitmap->height == 0) return false;
    if (bitmap->bytesPerPixel < 1 || bitmap->bytesPerPixel > 4) return false;
    if (bitmap->bitsPerPixel == 0 || bitmap->bitsPerPixel > bitmap->bytesPerPixel * 8) return false;
    if (uint64_t{bitmap->width} * bitmap->bytesPerPixel > bitmap->bytesPerLine) return false;
    return uint64_t{bitmap->bytesPerLine} * bitmap->height <= UINT32_MAX;
}

uint32_t ReadPixel(const uint8_t* at, uint32_t bytes)
{
    uint32_t value = 0;
    for (uint32_t i = 0; i < bytes; ++i) value |= uint32_t{at[i]} << (8 * i);
    return value;
}

void WritePixel(uint8_t* at, uint32_t bytes, uint32_t value)
{
    for (uint32_t i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint8_t Widen(uint32_t pixel, const Channel& channel)
{
    if (channel.maximum == 0) return 0;
    uint32_t value = (pixel & channel.mask) >> channel.shift;
    return static_cast<uint8_t>((uint64_t{value} * 255 + channel.maximum / 2) / channel.maximum);
}

uint32_t Narrow(uint8_t value, const Channel& channel)
{
    if (channel.maximum == 0) return 0;
    uint32_t field = static_cast<uint32_t>((uint64_t{value} * channel.maximum + 127) / 255);
    return (field << channel.shift) & channel.mask;
}

// Reads an image into 8-bit RGB triples, row by row as stored.
class Decoder {
public:
    explicit Decoder(const Bitmap* bitmap)
        : bitmap_(bitmap), red_(ChannelOf(bitmap->redMask)), green_(ChannelOf(bitmap->greenMask)),
          blue_(ChannelOf(bitmap->blueMask))
    {
    }
    void pixel(uint32_t x, uint32_t y, uint8_t rgb[3]) const
    {
        const auto* row = static_cast<const uint8_t*>(bitmap_->pixels) + size_t{y} * bitmap_->bytesPerLine;
        uint32_t value = ReadPixel(row + size_t{x} * bitmap_->bytesPerPixel, bitmap_->bytesPerPixel);
        rgb[0] = Widen(value, red_);
        rgb[1] = Widen(value, green_);
        rgb[2] = Widen(value, blue_);
    }

private:
    const Bitmap* bitmap_;
    Channel red_, green_, blue_;
};

class Encoder {
public:
    explicit Encoder(Bitmap* bitmap)
        : bitmap_(bitmap), red_(ChannelOf(bitmap->redMask)), green_(ChannelOf(bitmap->greenMask)),
          blue_(ChannelOf(bitmap->blueMask))
    {
        uint32_t covered = bitmap->redMask | bitmap->greenMask | bitmap->blueMask;
        uncovered_ = bitmap->bitsPerPixel == 32 ? ~covered : 0;
    }
    void pixel(uint32_t x, uint32_t y, const uint8_t rgb[3]) const
    {
        auto* row = static_cast<uint8_t*>(bitmap_->pixels) + size_t{y} * bitmap_->bytesPerLine;
        uint32_t value = Narrow(rgb[0], red_) | Narrow(rgb[1], green_) | Narrow(rgb[2], blue_) | uncovered_;
        WritePixel(row + size_t{x} * bitmap_->bytesPerPixel, bitmap_->bytesPerPixel, value);
    }

private:
    Bitmap* bitmap_;
    Channel red_, green_, blue_;
    uint32_t uncovered_;
};

// Weights of the source samples that make up each destination sample along
// one axis: the overlap of the destination cell with each source cell when
// shrinking (area averaging), linear interpolation between the two nearest
// source centres when growing.
struct Tap {
    uint32_t index;
    float weight;
};

std::vector<std::vector<Tap>> AxisWeights(uint32_t from, uint32_t to)
{
    std::vector<std::vector<Tap>> taps(to);
    double scale = static_cast<double>(from) / to;
    for (uint32_t i = 0; i < to; ++i) {
        if (from > to) {
            double start = i * scale, end = start + scale;
            for (uint32_t j = static_cast<uint32_t>(start); j < from && j < end; ++j) {
                double overlap = std::fmin(end, j + 1.0) - std::fmax(start, static_cast<double>(j));
                if (overlap > 0) taps[i].push_back({j, static_cast<float>(overlap / scale)});
            }
        } else {
            double centre = (i + 0.5) * scale - 0.5;
            double low = std::floor(centre);
            double fraction = centre - low;
            auto clamp = [from](double index) {
                return static_cast<uint32_t>(index < 0 ? 0 : (index > from - 1.0 ? from - 1.0 : index));
            };
            taps[i].push_back({clamp(low), static_cast<float>(1.0 - fraction)});
            taps[i].push_back({clamp(low + 1), static_cast<float>(fraction)});
        }
    }
    return taps;
}

uint8_t ToByte(float value)
{
    float rounded = std::round(value);
    return static_cast<uint8_t>(rounded < 0 ? 0 : (rounded > 255 ? 255 : rounded));
}

}  // namespace

extern "C" int32_t ZqFConstructBitmap(Bitmap* bitmap, uint32_t width, uint32_t height, uint32_t bitsPerPixel,
                                      uint32_t redMask, uint32_t greenMask, uint32_t blueMask, uint32_t, uint32_t)
{
    if (bitmap == nullptr) return 1;
    std::memset(bitmap, 0, sizeof *bitmap);
    uint32_t bytesPerPixel = (bitsPerPixel + 7) / 8;
    uint64_t bytesPerLine = uint64_t{width} * bytesPerPixel;
    uint64_t bytes = bytesPerLine * height;
    if (width == 0 || height == 0 || bytesPerPixel < 1 || bytesPerPixel > 4 || bytesPerLine > UINT32_MAX ||
        bytes > UINT32_MAX)
        return 1;
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bitsPerPixel = bitsPerPixel;
    bitmap->bytesPerPixel = bytesPerPixel;
    bitmap->bytesPerLine = static_cast<uint32_t>(bytesPerLine);
    bitmap->redMask = redMask;
    bitmap->redShift = ZqMLSB(redMask);
    bitmap->redBits = ZqMBitCount(redMask);
    bitmap->greenMask = greenMask;
    bitmap->greenShift = ZqMLSB(greenMask);
    bitmap->greenBits = ZqMBitCount(greenMask);
    bitmap->blueMask = blueMask;
    bitmap->blueShift = ZqMLSB(blueMask);
    bitmap->blueBits = ZqMBitCount(blueMask);
    bitmap->pixels = MMmalloc(static_cast<uint32_t>(bytes));
    return bitmap->pixels == nullptr ? 1 : 0;
}

extern "C" int32_t ZqFChangeBitmapDepth(const Bitmap* source, Bitmap* destination)
{
    if (!Usable(source) || !Usable(destination) || source->width != destination->width ||
        source->height != destination->height)
        return 1;
    Decoder decoder(source);
    Encoder encoder(destination);
    uint8_t rgb[3];
    for (uint32_t y = 0; y < source->height; ++y)
        for (uint32_t x = 0; x < source->width; ++x) {
            decoder.pixel(x, y, rgb);
            encoder.pixel(x, y, rgb);
        }
    return 0;
}

extern "C" int32_t ZqFScaleBitmap(const Bitmap* source, Bitmap* destination)
{
    if (!Usable(source) || destination == nullptr) return 1;
    uint32_t width = destination->width, height = destination->height;
    if (ZqFConstructBitmap(destination, width, height, source->bitsPerPixel, source->redMask, source->greenMask,
                           source->blueMask, 0, 0) != 0) {
        destination->width = width;
        destination->height = height;
        return 1;
    }
    destination->spare = source->spare;
    // Separable filter: rows first into a float buffer, then columns.
    std::vector<std::vector<Tap>> across = AxisWeights(source->width, width);
    std::vector<std::vector<Tap>> down = AxisWeights(source->height, height);
    std::vector<float> rows(size_t{width} * source->height * 3, 0.0f);
    Decoder decoder(source);
    std::vector<uint8_t> line(size_t{source->width} * 3);
    for (uint32_t y = 0; y < source->height; ++y) {
        for (uint32_t x = 0; x < source->width; ++x) decoder.pixel(x, y, &line[size_t{x} * 3]);
        float* out = &rows[size_t{y} * width * 3];
        for (uint32_t x = 0; x < width; ++x)
            for (const Tap& tap : across[x])
                for (int c = 0; c < 3; ++c) out[x * 3 + c] += tap.weight * line[size_t{tap.index} * 3 + c];
    }
    Encoder encoder(destination);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            float sum[3] = {0, 0, 0};
            for (const Tap& tap : down[y])
                for (int c = 0; c < 3; ++c) sum[c] += tap.weight * rows[(size_t{tap.index} * width + x) * 3 + c];
            const uint8_t rgb[3] = {ToByte(sum[0]), ToByte(sum[1]), ToByte(sum[2])};
            encoder.pixel(x, y, rgb);
        }
    return 0;
}

extern "C" void ZqFDestroyBitmap(Bitmap* bitmap)
{
    if (bitmap == nullptr) return;
    MMfree(bitmap->pixels);
    bitmap->pixels = nullptr;
}
