#include "record_checks.h"

#include <bit>
#include <cmath>

namespace checked {

namespace {

// The shift and bit count a mask defines (0 and 0 for an empty mask).
uint32_t LowestBit(uint32_t mask) { return mask == 0 ? 0 : static_cast<uint32_t>(std::countr_zero(mask)); }
uint32_t BitCount(uint32_t mask) { return static_cast<uint32_t>(std::popcount(mask)); }

struct ChannelFields {
    const char* name;
    uint32_t mask, shift, bits;
};

// The first disagreement between the fields of one colour channel, reported.
bool ChannelAgrees(const Site& site, int32_t id, const ChannelFields& c, uint32_t bitsPerPixel)
{
    if (bitsPerPixel < 32 && (c.mask >> bitsPerPixel) != 0) {
        Report(site.channel, site.operation, Rule::BitmapFields,
               "image of id %d: %sMask 0x%x has bits beyond its %u bits", id, c.name, c.mask, bitsPerPixel);
        return false;
    }
    if (c.shift != LowestBit(c.mask) || c.bits != BitCount(c.mask)) {
        Report(site.channel, site.operation, Rule::BitmapFields,
               "image of id %d: %sShift %u and %sBits %u, where %sMask 0x%x gives %u and %u", id, c.name, c.shift,
               c.name, c.bits, c.name, c.mask, LowestBit(c.mask), BitCount(c.mask));
        return false;
    }
    return true;
}

bool KnownDepth(uint32_t bits) { return bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32; }

}  // namespace

int FirstNotFinite(const float* values, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (!std::isfinite(values[i])) return static_cast<int>(i);
    return -1;
}

void CheckFinite(const Site& site, const char* field, const float* values, size_t count)
{
    int bad = FirstNotFinite(values, count);
    if (bad >= 0)
        Report(site.channel, site.operation, Rule::NotFinite, "%s[%d] is %g", field, bad, double{values[bad]});
}

void CheckImage(const Site& site, int32_t id, const Bitmap& image)
{
    if (image.pixels == nullptr || image.width == 0 || image.height == 0) {
        Report(site.channel, site.operation, Rule::BitmapFields,
               "image of id %d is %u x %u pixels at %s: the definition is refused", id, image.width, image.height,
               Hex(image.pixels).text);
        return;
    }
    if (!KnownDepth(image.bitsPerPixel) || image.bytesPerPixel != (image.bitsPerPixel + 7) / 8) {
        Report(site.channel, site.operation, Rule::BitmapFields,
               "image of id %d: bitsPerPixel %u and bytesPerPixel %u (8, 15, 16, 24 or 32 bits in 1 to 4 bytes)", id,
               image.bitsPerPixel, image.bytesPerPixel);
        return;
    }
    if (uint64_t{image.bytesPerLine} < uint64_t{image.width} * image.bytesPerPixel) {
        Report(site.channel, site.operation, Rule::BitmapFields,
               "image of id %d: bytesPerLine %u is less than width %u x bytesPerPixel %u", id, image.bytesPerLine,
               image.width, image.bytesPerPixel);
        return;
    }
    const ChannelFields channels[3] = {{"red", image.redMask, image.redShift, image.redBits},
                                       {"green", image.greenMask, image.greenShift, image.greenBits},
                                       {"blue", image.blueMask, image.blueShift, image.blueBits}};
    for (const ChannelFields& channel : channels)
        if (!ChannelAgrees(site, id, channel, image.bitsPerPixel)) return;
    if ((image.redMask & image.greenMask) != 0 || (image.redMask & image.blueMask) != 0 ||
        (image.greenMask & image.blueMask) != 0)
        Report(site.channel, site.operation, Rule::BitmapFields,
               "image of id %d: the masks 0x%x, 0x%x and 0x%x overlap", id, image.redMask, image.greenMask,
               image.blueMask);
}

// Only the first two rows of the matrix are used: s' and t'.
void CheckTextureParameters(const Site& site, int32_t id, const TextureDefinition& definition)
{
    const float* m = definition.textureMatrix;
    if (FirstNotFinite(m, 6) >= 0) {
        CheckFinite(site, "textureMatrix", m, 6);
    } else if (double{m[0]} * m[4] - double{m[1]} * m[3] == 0.0) {
        Report(site.channel, site.operation, Rule::DegenerateMatrix,
               "texture %d: textureMatrix rows (%g %g %g) (%g %g %g) put every corner on one line or texel "
               "(the identity leaves coordinates as they are)",
               id, double{m[0]}, double{m[1]}, double{m[2]}, double{m[3]}, double{m[4]}, double{m[5]});
    }
    if (definition.keyRed == 0 && definition.keyGreen == 0 && definition.keyBlue == 0)
        Report(site.channel, site.operation, Rule::ZeroKey,
               "texture %d: key colour (0, 0, 0) makes every black texel transparent (a component above 255: none)",
               id);
}

void CheckViewVolume(const Site& site, const ViewDescriptor& view)
{
    const char* problem = nullptr;
    if (view.width == 0 || view.height == 0)
        problem = "its size is 0 (SetViewSize before BeginView)";
    else if (view.farPlane <= view.nearPlane)
        problem = "farPlane is not beyond nearPlane";
    else if (view.orthographic != 0 && !(view.orthoHalfWidth > 0 && view.orthoHalfHeight > 0))
        problem = "an orthographic half size is not above 0";
    else if (view.orthographic == 0 && !(view.nearPlane > 0 && view.fieldOfView > 0))
        problem = "a perspective needs nearPlane and fieldOfView above 0";
    if (problem != nullptr)
        Report(site.channel, site.operation, Rule::ViewVolume,
               "view %s (%u x %u, near %g, far %g, field of view %g, half size %g x %g): %s", Hex(&view).text,
               view.width, view.height, double{view.nearPlane}, double{view.farPlane}, double{view.fieldOfView},
               double{view.orthoHalfWidth}, double{view.orthoHalfHeight}, problem);
    if (view.orthographic != 0) {
        const float volume[4] = {view.nearPlane, view.farPlane, view.orthoHalfWidth, view.orthoHalfHeight};
        CheckFinite(site, "near, far, half width, half height", volume, 4);
    } else {
        const float volume[3] = {view.nearPlane, view.farPlane, view.fieldOfView};
        CheckFinite(site, "near, far, field of view", volume, 3);
    }
}

bool CheckEnvironment(const Site& site, const Environment* environment)
{
    if (environment == nullptr || environment->lightCount == 0 || environment->lights != nullptr) return true;
    Report(site.channel, site.operation, Rule::MissingRecord, "environment %s: %u lights at a null pointer",
           Hex(environment).text, environment->lightCount);
    return false;
}

}  // namespace checked
