#include "materials.h"

#include "driver/switches.h"

const MaterialEntry kNoMaterial = {{1, 1, 1}, {1, 1, 1}, 1, 1, 0, 0, 0, 0, 0, {0, 0, 0, 0}};

float MaterialAlpha(ChannelState* channel, const MaterialEntry* material)
{
    bool transparent = material->transparency > 0.0f;
    SwitchCapability(channel->blendEnabled, GL_BLEND, transparent);
    return transparent ? 1.0f - material->transparency : 1.0f;
}

void LoadMaterial(ChannelState* channel, ViewState* view, const MaterialEntry* material)
{
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
