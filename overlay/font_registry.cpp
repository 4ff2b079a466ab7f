// The channel's fonts under the host's ids, and the current one.
#include <strings.h>

#include "bdf_font.h"
#include "overlay.h"

namespace {

void Release(FontEntry* entry)
{
    MMfree(entry->font);
    MMfree(entry->fileName);
    entry->font = nullptr;
    entry->fileName = nullptr;
}

// Unlinks and frees the entry under the id, forgetting it as the current font.
void Remove(ChannelState* state, int32_t fontId)
{
    auto* entry = static_cast<FontEntry*>(_ZqGDeleteListItem(&state->fontList, fontId));
    if (entry == nullptr) return;
    if (state->currentFont == entry) state->currentFont = nullptr;
    Release(entry);
    MMfree(entry);
}

}  // namespace

// Id 0 is refused with 1: the host's list may file an item created under
// key 0 under a key of its own, so a font there could never be selected or
// unloaded again.
int32_t LoadFont(ChannelRecord* channel, int32_t fontId, const char* fileName)
{
    ChannelState* state = StateOf(channel);
    if (fileName == nullptr) {
        Remove(state, fontId);
        return ZQGD_OK;
    }
    if (fontId == 0) return ZQGD_FAILED;
    auto* entry = static_cast<FontEntry*>(_ZqGFindListItem(&state->fontList, fontId));
    if (entry != nullptr) {
        if (entry->fileName != nullptr && strcasecmp(entry->fileName, fileName) == 0) return ZQGD_OK;
        Release(entry);
    } else {
        entry = static_cast<FontEntry*>(_ZqGCreateListItem(&state->fontList, sizeof(FontEntry), nullptr, fontId));
        if (entry == nullptr) return ZQGD_FAILED;
        entry->font = nullptr;
        entry->fileName = nullptr;
    }
    const char* path = ZqFFindFile(fileName);
    entry->font = path != nullptr ? LoadBdfFont(path) : nullptr;
    if (entry->font == nullptr) {
        Remove(state, fontId);
        return ZQGD_NO_FONT;
    }
    entry->fileName = MMstrdup(fileName);
    return ZQGD_OK;
}

void SelectFont(ChannelRecord* channel, int32_t fontId)
{
    ChannelState* state = StateOf(channel);
    state->currentFont = _ZqGFindListItem(&state->fontList, fontId);
}

void DiscardFonts(ChannelState* state)
{
    ForEachItem<FontEntry>(&state->fontList, Release);
    _ZqGDeleteList(&state->fontList);
    state->currentFont = nullptr;
}
