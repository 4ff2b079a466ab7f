// Bitmap utilities: construction, depth conversion and resampling of images
// described by masks.
//
// Channels are widened to 8 bits as round(field * 255 / maximum) and narrowed
// as round(value * maximum / 255), both through per-channel tables built once
// per call. Work goes a row at a time. Conversions into the driver's 32-bit
// RGBA layout from the layouts hosts use most (24-bit RGB and BGR, 32-bit
// RGBA and BGRA, 16-bit 5-6-5 and 5-5-5, 8-bit 3-3-2) take straight loops
// over the pixels; they give exactly what the general path gives.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "zqgd/host.h"

namespace {

bool useStraightPaths = true;

struct Channel {
    uint32_t mask, shift, maximum;
};

Channel ChannelOf(uint32_t mask)
{
    uint32_t shift = ZqMLSB(mask);
    return {mask, shift, mask == 0 ? 0 : mask >> shift};
}

uint8_t WidenField(uint32_t field, uint32_t maximum)
{
    if (maximum == 0) return 0;
    return static_cast<uint8_t>((uint64_t{field} * 255 + maximum / 2) / maximum);
}

// A description the routines can read or write: sizes, a pixel size that
// holds the depth, rows that hold a line, and a byte count that fits the
// host's 32-bit sizes.
bool Usable(const Bitmap* bitmap)
{
    if (bitmap == nullptr || bitmap->pixels == nullptr || bitmap->width == 0 || bitmap->height == 0) return false;
    if (bitmap->bytesPerPixel < 1 || bitmap->bytesPerPixel > 4) return false;
    if (bitmap->bitsPerPixel == 0 || bitmap->bitsPerPixel > bitmap->bytesPerPixel * 8) return false;
    if (uint64_t{bitmap->width} * bitmap->bytesPerPixel > bitmap->bytesPerLine) return false;
    return uint64_t{bitmap->bytesPerLine} * bitmap->height <= UINT32_MAX;
}

template <uint32_t Bytes>
uint32_t Load(const uint8_t* at)
{
    uint32_t value = 0;
    for (uint32_t i = 0; i < Bytes; ++i) value |= uint32_t{at[i]} << (8 * i);
    return value;
}

template <uint32_t Bytes>
void Store(uint8_t* at, uint32_t value)
{
    for (uint32_t i = 0; i < Bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Widens one channel: a table indexed by the field for fields of up to 16
// bits, the division for wider ones.
class Widener {
public:
    explicit Widener(uint32_t mask) : channel_(ChannelOf(mask))
    {
        if (channel_.maximum > kTableLimit) return;
        table_.resize(size_t{channel_.maximum} + 1);
        for (uint32_t field = 0; field <= channel_.maximum; ++field)
            table_[field] = WidenField(field, channel_.maximum);
    }
    uint8_t operator()(uint32_t pixel) const
    {
        uint32_t field = (pixel & channel_.mask) >> channel_.shift;
        return table_.empty() ? WidenField(field, channel_.maximum) : table_[field];
    }

private:
    static constexpr uint32_t kTableLimit = 0xFFFF;
    Channel channel_;
    std::vector<uint8_t> table_;
};

// Narrows an 8-bit value to one channel's field, in place in the pixel.
class Narrower {
public:
    explicit Narrower(uint32_t mask)
    {
        Channel channel = ChannelOf(mask);
        for (uint32_t value = 0; value < 256; ++value) {
            uint32_t field = channel.maximum == 0
                                 ? 0
                                 : static_cast<uint32_t>((uint64_t{value} * channel.maximum + 127) / 255);
            table_[value] = (field << channel.shift) & channel.mask;
        }
    }
    uint32_t operator()(uint8_t value) const { return table_[value]; }

private:
    uint32_t table_[256];
};

// Reads rows of an image as 8-bit RGB triples.
class Decoder {
public:
    explicit Decoder(const Bitmap& bitmap)
        : bitmap_(bitmap), red_(bitmap.redMask), green_(bitmap.greenMask), blue_(bitmap.blueMask)
    {
    }
    const uint8_t* row(uint32_t y) const
    {
        return static_cast<const uint8_t*>(bitmap_.pixels) + size_t{y} * bitmap_.bytesPerLine;
    }
    void decode(uint32_t y, uint8_t* rgb) const
    {
        switch (bitmap_.bytesPerPixel) {
        case 1: decode<1>(row(y), rgb); break;
        case 2: decode<2>(row(y), rgb); break;
        case 3: decode<3>(row(y), rgb); break;
        default: decode<4>(row(y), rgb); break;
        }
    }
    const Widener& red() const { return red_; }
    const Widener& green() const { return green_; }
    const Widener& blue() const { return blue_; }

private:
    template <uint32_t Bytes>
    void decode(const uint8_t* at, uint8_t* rgb) const
    {
        for (uint32_t x = 0; x < bitmap_.width; ++x, at += Bytes, rgb += 3) {
            uint32_t pixel = Load<Bytes>(at);
            rgb[0] = red_(pixel);
            rgb[1] = green_(pixel);
            rgb[2] = blue_(pixel);
        }
    }

    const Bitmap& bitmap_;
    Widener red_, green_, blue_;
};

// Writes rows of an image from 8-bit RGB triples. Bits of a 32-bit pixel
// that no mask covers are set to ones.
class Encoder {
public:
    explicit Encoder(Bitmap& bitmap)
        : bitmap_(bitmap), red_(bitmap.redMask), green_(bitmap.greenMask), blue_(bitmap.blueMask)
    {
        uint32_t covered = bitmap.redMask | bitmap.greenMask | bitmap.blueMask;
        uncovered_ = bitmap.bitsPerPixel == 32 ? ~covered : 0;
    }
    void encode(const uint8_t* rgb, uint32_t y) const
    {
        uint8_t* at = static_cast<uint8_t*>(bitmap_.pixels) + size_t{y} * bitmap_.bytesPerLine;
        switch (bitmap_.bytesPerPixel) {
        case 1: encode<1>(rgb, at); break;
        case 2: encode<2>(rgb, at); break;
        case 3: encode<3>(rgb, at); break;
        default: encode<4>(rgb, at); break;
        }
    }

private:
    template <uint32_t Bytes>
    void encode(const uint8_t* rgb, uint8_t* at) const
    {
        for (uint32_t x = 0; x < bitmap_.width; ++x, at += Bytes, rgb += 3)
            Store<Bytes>(at, red_(rgb[0]) | green_(rgb[1]) | blue_(rgb[2]) | uncovered_);
    }

    Bitmap& bitmap_;
    Narrower red_, green_, blue_;
    uint32_t uncovered_;
};

// ---- Straight conversions into the driver's RGBA layout ------------------

constexpr uint32_t kOpaque = 0xFF000000;

bool HasMasks(const Bitmap& bitmap, uint32_t bytesPerPixel, uint32_t red, uint32_t green, uint32_t blue)
{
    return bitmap.bytesPerPixel == bytesPerPixel && bitmap.redMask == red && bitmap.greenMask == green &&
           bitmap.blueMask == blue;
}

bool IsDriverRgba(const Bitmap& bitmap)
{
    return HasMasks(bitmap, 4, 0xFF, 0xFF00, 0xFF0000) && bitmap.bitsPerPixel == 32;
}

// Calls convert(from, to) with every row of the source and the same row of
// the destination.
template <typename Convert>
void EachRow(const Bitmap& source, Bitmap& destination, Convert convert)
{
    for (uint32_t y = 0; y < source.height; ++y)
        convert(static_cast<const uint8_t*>(source.pixels) + size_t{y} * source.bytesPerLine,
                static_cast<uint8_t*>(destination.pixels) + size_t{y} * destination.bytesPerLine);
}

// The driver's pixel for a word whose three low bytes hold a pixel of 8-bit
// fields: green in byte 1, red in byte 0 or 2 and blue in the other. The top
// byte is ignored.
template <uint32_t RedByte>
uint32_t RgbaOfWord(uint32_t word)
{
    if (RedByte == 0) return word | kOpaque;
    return (word >> 16 & 0xFF) | (word & 0xFF00) | (word & 0xFF) << 16 | kOpaque;
}

// A 32-bit word in memory order (little-endian: byte 0 is the low byte).
uint32_t LoadWord(const uint8_t* at)
{
    uint32_t word;
    std::memcpy(&word, at, 4);
    return word;
}

// Eight-bit fields at byte positions: widening and narrowing are the
// identity, so the conversion moves bytes, a word at a time. Four-byte
// pixels go in blocks of eight, which compilers turn into vector code;
// three-byte pixels in groups of four, taken from three words.
template <uint32_t Bytes, uint32_t RedByte>
void ConvertBytes(const Decoder&, const Bitmap& source, Bitmap& destination)
{
    static_assert(Bytes == 3 || Bytes == 4);
    constexpr uint32_t kGroup = Bytes == 4 ? 8 : 4;
    EachRow(source, destination, [width = source.width](const uint8_t* from, uint8_t* to) {
        uint32_t x = 0;
        for (; x + kGroup <= width; x += kGroup, from += kGroup * Bytes, to += kGroup * 4) {
            uint32_t words[kGroup];
            if (Bytes == 4) {
                std::memcpy(words, from, sizeof words);
            } else {
                uint32_t w0 = LoadWord(from), w1 = LoadWord(from + 4), w2 = LoadWord(from + 8);
                words[0] = w0;
                words[1] = w0 >> 24 | w1 << 8;
                words[2] = w1 >> 16 | w2 << 16;
                words[3] = w2 >> 8;
            }
            for (uint32_t& word : words) word = RgbaOfWord<RedByte>(word);
            std::memcpy(to, words, sizeof words);
        }
        for (; x < width; ++x, from += Bytes, to += 4) Store<4>(to, RgbaOfWord<RedByte>(Load<3>(from)));
    });
}

// The driver's pixel for a source pixel value.
uint32_t RgbaOf(const Decoder& decoder, uint32_t pixel)
{
    return uint32_t{decoder.red()(pixel)} | uint32_t{decoder.green()(pixel)} << 8 |
           uint32_t{decoder.blue()(pixel)} << 16 | kOpaque;
}

// Pixels of one or two bytes: a table of the result for every pixel value.
// For small images of two bytes per pixel the table would cost more than it
// saves, and each pixel is widened channel by channel instead.
template <uint32_t Bytes>
void ConvertThroughTable(const Decoder& decoder, const Bitmap& source, Bitmap& destination)
{
    constexpr uint32_t kValues = 1u << (8 * Bytes);
    const uint32_t width = source.width;
    if (uint64_t{width} * source.height < kValues) {
        EachRow(source, destination, [&](const uint8_t* from, uint8_t* to) {
            for (uint32_t x = 0; x < width; ++x, from += Bytes, to += 4)
                Store<4>(to, RgbaOf(decoder, Load<Bytes>(from)));
        });
        return;
    }
    std::vector<uint32_t> table(kValues);
    for (uint32_t value = 0; value < kValues; ++value) table[value] = RgbaOf(decoder, value);
    const uint32_t* result = table.data();
    EachRow(source, destination, [&](const uint8_t* from, uint8_t* to) {
        for (uint32_t x = 0; x < width; ++x, from += Bytes, to += 4) Store<4>(to, result[Load<Bytes>(from)]);
    });
}

using StraightPath = void (*)(const Decoder& decoder, const Bitmap& source, Bitmap& destination);

// The straight conversion from the source's layout into the driver's, or
// null.
StraightPath StraightPathOf(const Bitmap& source, const Bitmap& destination)
{
    if (!useStraightPaths || !IsDriverRgba(destination)) return nullptr;
    if (HasMasks(source, 3, 0xFF, 0xFF00, 0xFF0000)) return ConvertBytes<3, 0>;
    if (HasMasks(source, 3, 0xFF0000, 0xFF00, 0xFF)) return ConvertBytes<3, 2>;
    if (HasMasks(source, 4, 0xFF, 0xFF00, 0xFF0000)) return ConvertBytes<4, 0>;
    if (HasMasks(source, 4, 0xFF0000, 0xFF00, 0xFF)) return ConvertBytes<4, 2>;
    if (HasMasks(source, 2, 0xF800, 0x07E0, 0x001F) || HasMasks(source, 2, 0x7C00, 0x03E0, 0x001F))
        return ConvertThroughTable<2>;
    if (HasMasks(source, 1, 0xE0, 0x1C, 0x03)) return ConvertThroughTable<1>;
    return nullptr;
}

// ---- Resampling -----------------------------------------------------------

// The weights of the source samples that make up each destination sample
// along one axis: the overlap of the destination cell with each source cell
// when shrinking (area averaging), linear interpolation between the two
// nearest source centres when growing. Taps of sample i are
// taps[first[i] .. first[i + 1]).
struct AxisWeights {
    std::vector<uint32_t> first;
    std::vector<uint32_t> index;
    std::vector<float> weight;

    AxisWeights(uint32_t from, uint32_t to)
    {
        first.reserve(size_t{to} + 1);
        double scale = static_cast<double>(from) / to;
        for (uint32_t i = 0; i < to; ++i) {
            first.push_back(static_cast<uint32_t>(index.size()));
            if (from > to) {
                double start = i * scale, end = start + scale;
                for (uint32_t j = static_cast<uint32_t>(start); j < from && j < end; ++j) {
                    double overlap = std::fmin(end, j + 1.0) - std::fmax(start, static_cast<double>(j));
                    if (overlap > 0) add(j, static_cast<float>(overlap / scale));
                }
            } else {
                double centre = (i + 0.5) * scale - 0.5;
                double low = std::floor(centre);
                double fraction = centre - low;
                auto clamp = [from](double at) {
                    return static_cast<uint32_t>(at < 0 ? 0 : (at > from - 1.0 ? from - 1.0 : at));
                };
                add(clamp(low), static_cast<float>(1.0 - fraction));
                add(clamp(low + 1), static_cast<float>(fraction));
            }
        }
        first.push_back(static_cast<uint32_t>(index.size()));
    }
    void add(uint32_t at, float w)
    {
        index.push_back(at);
        weight.push_back(w);
    }
};

uint8_t ToByte(float value)
{
    float rounded = std::round(value);
    return static_cast<uint8_t>(rounded < 0 ? 0 : (rounded > 255 ? 255 : rounded));
}

// Filters one decoded source row across into width samples. Every output
// sum starts at 0 and adds its taps in order.
void FilterAcross(const AxisWeights& across, const uint8_t* line, uint32_t width, float* out)
{
    for (uint32_t x = 0; x < width; ++x) {
        float sum[3] = {0.0f, 0.0f, 0.0f};
        for (uint32_t t = across.first[x]; t < across.first[x + 1]; ++t) {
            const uint8_t* sample = line + size_t{across.index[t]} * 3;
            for (int c = 0; c < 3; ++c) sum[c] += across.weight[t] * sample[c];
        }
        out[size_t{x} * 3] = sum[0];
        out[size_t{x} * 3 + 1] = sum[1];
        out[size_t{x} * 3 + 2] = sum[2];
    }
}

// Filters the rows down into destination row y. The same sums as across,
// computed a whole row at a time.
void FilterDown(const AxisWeights& down, uint32_t y, const std::vector<float>& rows, size_t rowLength, float* sum,
                uint8_t* rgb)
{
    std::fill(sum, sum + rowLength, 0.0f);
    for (uint32_t t = down.first[y]; t < down.first[y + 1]; ++t) {
        const float* row = &rows[size_t{down.index[t]} * rowLength];
        float w = down.weight[t];
        for (size_t i = 0; i < rowLength; ++i) sum[i] += w * row[i];
    }
    for (size_t i = 0; i < rowLength; ++i) rgb[i] = ToByte(sum[i]);
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
    if (width == 0 || height == 0 || bytesPerPixel < 1 || bytesPerPixel > 4 || bytes > UINT32_MAX) return 1;
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
    Decoder decoder(*source);
    if (StraightPath straight = StraightPathOf(*source, *destination)) {
        straight(decoder, *source, *destination);
        return 0;
    }
    Encoder encoder(*destination);
    std::vector<uint8_t> rgb(size_t{source->width} * 3);
    for (uint32_t y = 0; y < source->height; ++y) {
        decoder.decode(y, rgb.data());
        encoder.encode(rgb.data(), y);
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
    // Separable filter: rows across into a float buffer, then down.
    AxisWeights across(source->width, width), down(source->height, height);
    size_t rowLength = size_t{width} * 3;
    std::vector<float> rows(rowLength * source->height);
    Decoder decoder(*source);
    std::vector<uint8_t> line(size_t{source->width} * 3);
    for (uint32_t y = 0; y < source->height; ++y) {
        decoder.decode(y, line.data());
        FilterAcross(across, line.data(), width, &rows[y * rowLength]);
    }
    Encoder encoder(*destination);
    std::vector<float> sum(rowLength);
    std::vector<uint8_t> rgb(rowLength);
    for (uint32_t y = 0; y < height; ++y) {
        FilterDown(down, y, rows, rowLength, sum.data(), rgb.data());
        encoder.encode(rgb.data(), y);
    }
    return 0;
}

extern "C" void ZqFDestroyBitmap(Bitmap* bitmap)
{
    if (bitmap == nullptr) return;
    MMfree(bitmap->pixels);
    bitmap->pixels = nullptr;
}

extern "C" void ZqFUseStraightPaths(int32_t on) { useStraightPaths = on != 0; }
