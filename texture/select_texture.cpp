// Binding the texture of a polygon's material while rendering.
#include "driver/probe.h"
#include "texture_store.h"

namespace {

void SwitchTexturing(ChannelState* state, bool on) { SwitchCapability(state->textureEnabled, GL_TEXTURE_2D, on); }

void SwitchAlphaTest(ChannelState* state, bool on) { SwitchCapability(state->alphaTestEnabled, GL_ALPHA_TEST, on); }

// The entry under the id, asking the host for it when it is not defined yet.
TextureEntry* FindOrLoad(ChannelRecord* channel, ChannelState* state, int32_t id)
{
    auto* entry = static_cast<TextureEntry*>(_ZqGFindListItem(&state->textureList, id));
    if (entry != nullptr || state->textureLoad == nullptr) return entry;
    TextureDefinition definition{};
    if (state->textureLoad(id, &definition) != 0) return nullptr;
    DefineTexture(channel, id, &definition, 1);
    return static_cast<TextureEntry*>(_ZqGFindListItem(&state->textureList, id));
}

TextureEntry* Untextured(ChannelState* state, ViewState* view)
{
    SwitchAlphaTest(state, false);
    SwitchTexturing(state, false);
    view->lastTexture = nullptr;
    return nullptr;
}

}  // namespace

TextureEntry* SelectUncachedTexture(ChannelRecord* channel, ChannelState* state, ViewState* view, int32_t id)
{
    TextureEntry* entry = id == 0 ? nullptr : FindOrLoad(channel, state, id);
    // Set after the load, which clears the caches when it defines something;
    // a failed request is remembered too.
    view->lastTextureId = id;
    view->lastTextureKeyed = entry != nullptr && entry->hasTransparency == 1;
    if (entry == nullptr) return Untextured(state, view);
    SwitchTexturing(state, true);
    if (capabilities.bindTexture != nullptr) {
        capabilities.bindTexture(GL_TEXTURE_2D, entry->glName);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLint>(entry->envMode));
    } else {
        glCallList(entry->glName);
    }
    SwitchAlphaTest(state, entry->hasTransparency == 1);
    view->lastTexture = entry;
    return entry;
}
