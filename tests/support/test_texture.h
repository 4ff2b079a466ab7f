// Texture definitions as a host fills them, and the entries the driver keeps
// for them.
#pragma once

#include <cstring>

#include "support/test_channel.h"
#include "texture/texture_store.h"

// A component above 255: no transparent colour.
constexpr uint32_t kNoKey = 256;

// A definition of the image with the identity texture matrix.
inline TextureDefinition Definition(const Bitmap& image, int32_t operation, uint32_t flags = ZQGD_TEXTURE_MODULATE,
                                    uint32_t keyRed = kNoKey, uint32_t keyGreen = 0, uint32_t keyBlue = 0)
{
    TextureDefinition definition{};
    definition.image = image;
    definition.operation = operation;
    definition.flags = flags;
    definition.keyRed = keyRed;
    definition.keyGreen = keyGreen;
    definition.keyBlue = keyBlue;
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::memcpy(definition.textureMatrix, identity, sizeof identity);
    return definition;
}

inline TextureEntry* Texture(const TestChannel& channel, int32_t id)
{
    return static_cast<TextureEntry*>(_ZqGFindListItem(&channel.state()->textureList, id));
}

inline TextureEntry* Backdrop(const TestChannel& channel, int32_t id)
{
    return static_cast<TextureEntry*>(_ZqGFindListItem(&channel.state()->backdropList, id));
}
