#include "texture_store.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "driver/probe.h"

namespace {

constexpr uint32_t kRedMask = 0x000000FF, kGreenMask = 0x0000FF00, kBlueMask = 0x00FF0000;
constexpr uint32_t kMaxKey = 255;
// The alpha byte of a texel read as a little-endian word; all ones is opaque.
constexpr uint32_t kAlphaMask = 0xFF000000;

// The driver's own layout, which needs no conversion: packed 32-bit RGBA.
bool InDriverFormat(const Bitmap& image)
{
    return image.bitsPerPixel == 32 && image.bytesPerPixel == 4 && image.redMask == kRedMask &&
           image.greenMask == kGreenMask && image.blueMask == kBlueMask &&
           uint64_t{image.bytesPerLine} == uint64_t{image.width} * 4;
}

// An image with a zero side or without pixels is refused before anything
// is changed.
bool Acceptable(const Bitmap& image) { return image.width != 0 && image.height != 0 && image.pixels != nullptr; }

// A bound texture or a backdrop that is about to go must not stay in any
// view's per-frame cache.
void ForgetCachedTextures(ChannelState* state)
{
    ForEachItem<ViewDescriptor*>(&state->viewList, [](ViewDescriptor** item) {
        ViewState* view = StateOf(*item);
        view->lastTextureId = -1;
        view->lastTexture = nullptr;
    });
}

void ReleaseEntry(TextureEntry* entry)
{
    if (entry->kind == ZQGD_DEFINE_TEXTURE && entry->glName != 0) {
        if (capabilities.deleteTextures != nullptr)
            capabilities.deleteTextures(1, &entry->glName);
        else
            glDeleteLists(entry->glName, 1);
        entry->glName = 0;
    }
    if (entry->ownsPixels) ZqFDestroyBitmap(&entry->image);
    entry->ownsPixels = 0;
}

// Unlinks, releases and frees the entry under the id; returns whether there was one.
bool RemoveEntry(ChannelState* state, KeyedList* list, int32_t id)
{
    auto* entry = static_cast<TextureEntry*>(_ZqGDeleteListItem(list, id));
    if (entry == nullptr) return false;
    ForgetCachedTextures(state);
    ReleaseEntry(entry);
    MMfree(entry);
    return true;
}

uint64_t RgbaBytes(uint32_t width, uint32_t height) { return uint64_t{width} * 4 * height; }

// The pixel memory an entry gives up when a new image comes. It is kept
// while the new image is built, so that an image of the same byte count
// takes it over instead of a fresh block, and destroyed with the definition
// otherwise.
class SpareBlock {
public:
    SpareBlock() = default;
    SpareBlock(const SpareBlock&) = delete;
    SpareBlock& operator=(const SpareBlock&) = delete;
    ~SpareBlock() { destroy(); }

    // Takes over the entry's pixels when the entry owns them.
    void takeFrom(TextureEntry* entry)
    {
        if (!entry->ownsPixels) return;
        image_ = entry->image;
        entry->image.pixels = nullptr;
        entry->ownsPixels = 0;
    }
    // Destroys the block at once unless it holds exactly `bytes`, so that it
    // never sits beside the blocks that the new image needs.
    void keepOnly(uint64_t bytes)
    {
        if (bytes != Bytes()) destroy();
    }
    // The block when it holds exactly `bytes`, no longer spare then; null
    // otherwise.
    void* take(uint64_t bytes)
    {
        if (image_.pixels == nullptr || bytes != Bytes()) return nullptr;
        return std::exchange(image_.pixels, nullptr);
    }

private:
    uint64_t Bytes() const { return uint64_t{image_.bytesPerLine} * image_.height; }
    void destroy()
    {
        if (image_.pixels != nullptr) ZqFDestroyBitmap(&image_);
        image_.pixels = nullptr;
    }

    Bitmap image_{};
};

// Converts the image to the driver's format in memory the entry owns: the
// spare block when it has the size, else a newly constructed image. The
// conversion leaves every alpha byte at 255.
bool ConvertInto(TextureEntry* entry, const Bitmap& source, uint32_t width, uint32_t height, SpareBlock& spare)
{
    if (void* block = spare.take(RgbaBytes(width, height))) {
        DescribeRgbaImage(&entry->image, width, height);
        entry->image.pixels = block;
    } else {
        ZqFConstructBitmap(&entry->image, width, height, 32, kRedMask, kGreenMask, kBlueMask, 0, 0);
    }
    entry->ownsPixels = entry->image.pixels != nullptr ? 1 : 0;
    return entry->ownsPixels && ZqFChangeBitmapDepth(&source, &entry->image) == 0;
}

// Whole chunks go with copies of a constant size, which compilers inline.
void SwapBytes(uint8_t* a, uint8_t* b, size_t count)
{
    uint8_t chunk[256];
    size_t done = 0;
    for (; count - done >= sizeof chunk; done += sizeof chunk) {
        std::memcpy(chunk, a + done, sizeof chunk);
        std::memcpy(a + done, b + done, sizeof chunk);
        std::memcpy(b + done, chunk, sizeof chunk);
    }
    size_t rest = count - done;
    std::memcpy(chunk, a + done, rest);
    std::memcpy(a + done, b + done, rest);
    std::memcpy(b + done, chunk, rest);
}

// Puts the image's rows in reverse order: in place in packed pixels the
// entry owns, in a packed copy of its own when they are the host's.
bool FlipRows(TextureEntry* entry, SpareBlock& spare)
{
    Bitmap& image = entry->image;
    size_t line = size_t{image.width} * 4;
    auto* rows = static_cast<uint8_t*>(image.pixels);
    if (entry->ownsPixels) {
        for (uint32_t i = 0, j = image.height - 1; i < j; ++i, --j) SwapBytes(rows + line * i, rows + line * j, line);
        return true;
    }
    uint64_t bytes = RgbaBytes(image.width, image.height);
    auto* flipped = static_cast<uint8_t*>(spare.take(bytes));
    if (flipped == nullptr && bytes <= UINT32_MAX) flipped = static_cast<uint8_t*>(MMmalloc(static_cast<uint32_t>(bytes)));
    if (flipped == nullptr) return false;
    for (uint32_t i = 0; i < image.height; ++i)
        std::memcpy(flipped + line * i, rows + size_t{image.bytesPerLine} * (image.height - 1 - i), line);
    image.pixels = flipped;
    image.bytesPerLine = static_cast<uint32_t>(line);
    entry->ownsPixels = 1;
    return true;
}

// Gives every texel the alpha that alphaOf(texel) says, in the fourth byte
// in memory, the top byte of the little-endian word. Texels go through in
// blocks, and a block is written back only when a byte changed.
template <typename AlphaOf>
void RewriteAlpha(uint8_t* texels, size_t count, AlphaOf alphaOf)
{
    constexpr size_t kBlock = 64;
    uint32_t words[kBlock];
    for (size_t start = 0; start < count; start += kBlock) {
        size_t n = count - start < kBlock ? count - start : kBlock;
        uint8_t* at = texels + start * 4;
        std::memcpy(words, at, n * 4);
        uint32_t changed = 0;
        for (size_t i = 0; i < n; ++i) {
            uint32_t word = (words[i] & ~kAlphaMask) | alphaOf(words[i]);
            changed |= word ^ words[i];
            words[i] = word;
        }
        if (changed != 0) std::memcpy(at, words, n * 4);
    }
}

// Whether every texel's alpha byte is 255 already, as in a freshly converted
// image: then making the image opaque needs only this read. Two texels at a
// time.
bool AllOpaque(const uint8_t* texels, size_t count)
{
    constexpr uint64_t kAlphas = uint64_t{kAlphaMask} << 32 | kAlphaMask;
    uint64_t all = kAlphas;
    size_t i = 0;
    for (; i + 2 <= count; i += 2) {
        uint64_t pair;
        std::memcpy(&pair, texels + i * 4, 8);
        all &= pair;
    }
    if (i < count) all &= uint64_t{texels[i * 4 + 3]} << 24 | (kAlphas & ~uint64_t{kAlphaMask});
    return (all & kAlphas) == kAlphas;
}

// Sets every texel's alpha byte: 0 where its colour is the transparent one,
// 255 elsewhere. Without a transparent colour, alphas known to be 255
// already need no pass at all.
void ApplyTransparentColour(TextureEntry* entry, const TextureDefinition* definition, bool knownOpaque)
{
    entry->keyRed = definition->keyRed;
    entry->keyGreen = definition->keyGreen;
    entry->keyBlue = definition->keyBlue;
    entry->hasTransparency = 0;
    const Bitmap& image = entry->image;
    auto* texels = static_cast<uint8_t*>(image.pixels);
    size_t count = size_t{image.width} * image.height;
    bool keyed = entry->keyRed <= kMaxKey && entry->keyGreen <= kMaxKey && entry->keyBlue <= kMaxKey;
    if (!keyed) {
        if (!knownOpaque && !AllOpaque(texels, count)) RewriteAlpha(texels, count, [](uint32_t) { return kAlphaMask; });
        return;
    }
    uint32_t key = ((entry->keyRed << image.redShift) & image.redMask) |
                   ((entry->keyBlue << image.blueShift) & image.blueMask) |
                   ((entry->keyGreen << image.greenShift) & image.greenMask);
    uint32_t colourMask = image.redMask | image.greenMask | image.blueMask;
    uint32_t matches = 0;
    RewriteAlpha(texels, count, [&](uint32_t texel) {
        uint32_t transparent = (texel & colourMask) == key ? 1 : 0;
        matches |= transparent;
        return transparent ? 0 : kAlphaMask;
    });
    entry->hasTransparency = static_cast<int32_t>(matches);
}

bool WantsMipmaps(uint32_t flags) { return (flags & (ZQGD_TEXTURE_MIPMAP | ZQGD_TEXTURE_MIPMAP_LINEAR)) != 0; }

void Upload(const TextureEntry* entry, bool mipmaps)
{
    const Bitmap& image = entry->image;
    GLsizei width = GlSize(image.width), height = GlSize(image.height);
    if (mipmaps)
        gluBuild2DMipmaps(GL_TEXTURE_2D, 4, width, height, GL_RGBA, GL_UNSIGNED_BYTE, image.pixels);
    else
        glTexImage2D(GL_TEXTURE_2D, 0, 4, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.pixels);
}

void SetUnpackRows(const TextureEntry* entry)
{
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, GlSize(entry->image.width));
}

void SetFilterAndWrap(uint32_t flags)
{
    bool linear = (flags & ZQGD_TEXTURE_LINEAR) != 0;
    GLint minFilter = linear ? GL_LINEAR : GL_NEAREST;
    GLint magFilter = minFilter;
    if (flags & ZQGD_TEXTURE_MIPMAP_LINEAR) {
        minFilter = linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        magFilter = GL_LINEAR;
    } else if (flags & ZQGD_TEXTURE_MIPMAP) {
        minFilter = linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        magFilter = GL_LINEAR;
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magFilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, (flags & ZQGD_TEXTURE_CLAMP_S) ? GL_CLAMP : GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, (flags & ZQGD_TEXTURE_CLAMP_T) ? GL_CLAMP : GL_REPEAT);
}

void StoreMatrix(TextureEntry* entry, const TextureDefinition* definition)
{
    entry->matrixIsIdentity = ZqMM3IsUnit(definition->textureMatrix) ? 1 : 0;
    if (!entry->matrixIsIdentity) ZqMM3Copy(definition->textureMatrix, entry->textureMatrix);
}

// Without texture objects the display list records the whole upload, so
// that binding is one glCallList.
void RealiseAsDisplayList(TextureEntry* entry, const TextureDefinition* definition, bool knownOpaque)
{
    ApplyTransparentColour(entry, definition, knownOpaque);
    if (entry->glName == 0) entry->glName = glGenLists(1);
    glNewList(entry->glName, GL_COMPILE);
    SetUnpackRows(entry);
    Upload(entry, WantsMipmaps(definition->flags));
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE,
              (definition->flags & ZQGD_TEXTURE_MODULATE) ? GL_MODULATE : GL_DECAL);
    SetFilterAndWrap(definition->flags);
    glEndList();
    StoreMatrix(entry, definition);
}

// Pixels are sent again only when the choice between one level and a
// mipmap chain changes.
void RealiseAsTextureObject(TextureEntry* entry, const TextureDefinition* definition, bool knownOpaque)
{
    ApplyTransparentColour(entry, definition, knownOpaque);
    if (entry->glName == 0) {
        capabilities.genTextures(1, &entry->glName);
        glGetError();
    }
    capabilities.bindTexture(GL_TEXTURE_2D, entry->glName);
    SetUnpackRows(entry);
    int32_t levels = WantsMipmaps(definition->flags) ? 2 : 1;
    if (entry->uploadedLevels != levels) {
        Upload(entry, levels == 2);
        entry->uploadedLevels = levels;
    }
    entry->envMode = (definition->flags & ZQGD_TEXTURE_MODULATE) ? GL_MODULATE : GL_DECAL;
    SetFilterAndWrap(definition->flags);
    StoreMatrix(entry, definition);
}

// The item under the id in the list, rebuilt when a new image comes (its
// pixel memory goes to spare): null with *missing set when there is none
// and no new image, null alone when memory runs out.
TextureEntry* EntryToDefine(ChannelState* state, KeyedList* list, int32_t id, uint32_t newImage, SpareBlock& spare,
                            bool* keep, bool* missing)
{
    *keep = false;
    *missing = false;
    auto* entry = static_cast<TextureEntry*>(_ZqGFindListItem(list, id));
    if (entry != nullptr) {
        *keep = newImage == 0;
        if (newImage) {
            ForgetCachedTextures(state);
            spare.takeFrom(entry);
            ReleaseEntry(entry);
            entry->uploadedLevels = 0;
        }
        return entry;
    }
    if (newImage == 0) {
        *missing = true;
        return nullptr;
    }
    entry = static_cast<TextureEntry*>(_ZqGCreateListItem(list, sizeof(TextureEntry), nullptr, id));
    // The payload arrives with undefined contents; releasing a half-built
    // entry reads its kind, name and ownership.
    if (entry != nullptr) *entry = TextureEntry{};
    return entry;
}

// A definition that fails takes the entry out of its list; views that showed
// a backdrop that went away fall back to their plain background.
int32_t Discard(ChannelRecord* channel, KeyedList* list, int32_t id)
{
    ChannelState* state = StateOf(channel);
    if (RemoveEntry(state, list, id) && list == &state->backdropList) RefreshBackgrounds(channel);
    return ZQGD_FAILED;
}

int32_t DefineBackdrop(ChannelRecord* channel, int32_t id, const TextureDefinition* definition, uint32_t newImage)
{
    ChannelState* state = StateOf(channel);
    RemoveEntry(state, &state->textureList, id);
    bool keep = false, missing = false;
    SpareBlock spare;
    TextureEntry* entry = EntryToDefine(state, &state->backdropList, id, newImage, spare, &keep, &missing);
    if (missing) return ZQGD_OK;
    if (entry == nullptr) return ZQGD_FAILED;
    if (!keep) {
        entry->kind = ZQGD_DEFINE_BACKDROP;
        entry->id = id;
        const Bitmap& source = definition->image;
        spare.keepOnly(RgbaBytes(source.width, source.height));
        if (InDriverFormat(source)) {
            entry->image = source;
            entry->ownsPixels = 0;
        } else if (!ConvertInto(entry, source, source.width, source.height, spare)) {
            return Discard(channel, &state->backdropList, id);
        }
        if (!FlipRows(entry, spare)) return Discard(channel, &state->backdropList, id);
    }
    entry->horizontalAngle = NormaliseBackdropAngle(definition->horizontalAngle);
    entry->verticalAngle = NormaliseBackdropAngle(definition->verticalAngle);
    entry->angularWidth = definition->angularWidth;
    RefreshBackgrounds(channel);
    return ZQGD_OK;
}

// Fills the entry's image from the definition's: scaled down to power-of-two
// sides and converted to the driver's format unless it already is.
// *knownOpaque tells whether the bitmap utilities wrote the pixels, which
// leaves every alpha byte at 255; the host's own pixels may hold any.
bool BuildTextureImage(TextureEntry* entry, const Bitmap& source, SpareBlock& spare, bool* knownOpaque)
{
    uint32_t width = uint32_t{1} << ZqMMSB(source.width);
    uint32_t height = uint32_t{1} << ZqMMSB(source.height);
    spare.keepOnly(RgbaBytes(width, height));
    Bitmap scaled{};
    bool isScaled = source.width != width || source.height != height;
    if (isScaled) {
        scaled.width = width;
        scaled.height = height;
        if (ZqFScaleBitmap(&source, &scaled) != 0) return false;
    }
    const Bitmap& working = isScaled ? scaled : source;
    *knownOpaque = true;
    if (InDriverFormat(working)) {
        entry->image = working;
        entry->ownsPixels = isScaled ? 1 : 0;
        *knownOpaque = isScaled;
        return true;
    }
    bool converted = ConvertInto(entry, working, width, height, spare);
    if (isScaled) ZqFDestroyBitmap(&scaled);
    return converted;
}

int32_t DefineTextureMap(ChannelRecord* channel, int32_t id, const TextureDefinition* definition, uint32_t newImage)
{
    ChannelState* state = StateOf(channel);
    if (RemoveEntry(state, &state->backdropList, id)) RefreshBackgrounds(channel);
    bool keep = false, missing = false;
    SpareBlock spare;
    TextureEntry* entry = EntryToDefine(state, &state->textureList, id, newImage, spare, &keep, &missing);
    if (missing) return ZQGD_OK;
    if (entry == nullptr) return ZQGD_FAILED;
    // A kept image holds the alphas its last realisation gave it: all 255
    // unless some texel had the transparent colour.
    bool knownOpaque = !entry->hasTransparency;
    if (!keep) {
        entry->kind = ZQGD_DEFINE_TEXTURE;
        entry->id = id;
        if (!BuildTextureImage(entry, definition->image, spare, &knownOpaque))
            return Discard(channel, &state->textureList, id);
    }
    ForgetCachedTextures(state);
    if (capabilities.genTextures != nullptr)
        RealiseAsTextureObject(entry, definition, knownOpaque);
    else
        RealiseAsDisplayList(entry, definition, knownOpaque);
    return ZQGD_OK;
}

void DeleteId(ChannelRecord* channel, int32_t id)
{
    ChannelState* state = StateOf(channel);
    if (!RemoveEntry(state, &state->textureList, id)) RemoveEntry(state, &state->backdropList, id);
    RefreshBackgrounds(channel);
}

void DiscardStore(KeyedList* list)
{
    ForEachItem<TextureEntry>(list, [](TextureEntry* entry) {
        if (entry->ownsPixels) ZqFDestroyBitmap(&entry->image);
    });
    _ZqGDeleteList(list);
}

}  // namespace

// Definitions under id 0 are refused with 1 and change nothing: 0 in a
// material means no texture, and the host's list may file an item created
// under key 0 under a key of its own, where it could never be found again.
int32_t DefineTexture(ChannelRecord* channel, int32_t id, TextureDefinition* definition, uint32_t newImage)
{
    MakeChannelCurrent(StateOf(channel));
    int32_t operation = definition->operation;
    bool defines = operation == ZQGD_DEFINE_BACKDROP || operation == ZQGD_DEFINE_TEXTURE;
    if (defines && (id == 0 || (newImage && !Acceptable(definition->image)))) return ZQGD_FAILED;
    switch (operation) {
    case ZQGD_DEFINE_BACKDROP: return DefineBackdrop(channel, id, definition, newImage);
    case ZQGD_DELETE_TEXTURE: DeleteId(channel, id); return ZQGD_OK;
    case ZQGD_DEFINE_TEXTURE: return DefineTextureMap(channel, id, definition, newImage);
    default: return ZQGD_OK;
    }
}

float NormaliseBackdropAngle(float angle)
{
    constexpr float kTwoPi = 6.2831855f;
    if (!std::isfinite(angle)) return 0.0f;
    if (angle < 0.0f) return static_cast<float>(std::fmod(angle, kTwoPi) + kTwoPi);
    if (angle > kTwoPi) return static_cast<float>(std::fmod(angle, kTwoPi));
    return angle;
}

void DeleteTexture(ChannelRecord* channel, int32_t id)
{
    MakeChannelCurrent(StateOf(channel));
    DeleteId(channel, id);
}

void DiscardTextureStores(ChannelState* state)
{
    DiscardStore(&state->backdropList);
    DiscardStore(&state->textureList);
}
