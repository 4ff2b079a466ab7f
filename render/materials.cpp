#include "materials.h"

#include "driver/switches.h"

namespace {

// What a host that has not filled its material table draws with: opaque
// white, untextured.
const MaterialEntry kNoMaterial = {{1, 1, 1}, {1, 1, 1}, 1, 1, 0, 0, 0, 0, 0, {0, 0, 0, 0}};

const MaterialEntry* MaterialAt(uint32_t index)
{
    const MaterialTable& table = _ZqGmaterials;
    if (table.entries == nullptr) return &kNoMaterial;
    return &table.entries[index > table.highestIndex ? 0 : index];
}

uint32_t IndexFor(const MaterialSelection* selection, uint32_t ownIndex)
{
    if (selection == nullptr) return 0;
    return selection->usePolygonMaterial != 0 ? ownIndex : selection->defaultMaterial;
}

}  // namespace

const MaterialEntry* LookupMaterial(const MaterialSelection* selection, const PolygonRecord* polygon)
{
    return MaterialAt(IndexFor(selection, polygon->materialIndex));
}

const MaterialEntry* LookupLightPointMaterial(const MaterialSelection* selection, const LightPointRecord* point)
{
    return MaterialAt(IndexFor(selection, point->materialIndex));
}

float MaterialAlpha(ChannelState* channel, const MaterialEntry* material)
{
    bool transparent = material->transparency > 0.0f;
    SwitchCapability(channel->blendEnabled, GL_BLEND, transparent);
    return transparent ? 1.0f - material->transparency : 1.0f;
}

// A cache hit loads nothing, but switches blending again through the flag:
// an outline renderer or the light points may have switched it off since,
// and a transparent material must still blend. When nothing changed that is
// one comparison and no GL call.
void ApplyMaterial(ChannelState* channel, ViewState* view, const MaterialEntry* material)
{
    if (material == view->lastMaterial) {
        SwitchCapability(channel->blendEnabled, GL_BLEND, material->transparency > 0.0f);
        return;
    }
    view->lastMaterial = material;
    float alpha = MaterialAlpha(channel, material);
    const float* colour = material->colour;
    const GLfloat emission[4] = {material->emission[0], material->emission[1], material->emission[2], alpha};
    const GLfloat ambient[4] = {colour[0] * material->ambientFactor, colour[1] * material->ambientFactor,
                                colour[2] * material->ambientFactor, alpha};
    const GLfloat diffuse[4] = {colour[0] * material->diffuseFactor, colour[1] * material->diffuseFactor,
                                colour[2] * material->diffuseFactor, alpha};
    const GLfloat specular[4] = {material->specular, material->specular, material->specular, alpha};
    glMaterialfv(GL_FRONT, GL_EMISSION, emission);
    glMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT, GL_SHININESS, material->shininess);
}
