// Text in the current font, one glBitmap per character.
#include <cstring>

#include "bdf_font.h"
#include "overlay.h"
#include "overlay_scope.h"

void DrawOverlayText(ChannelRecord* channel, const int32_t position[2], const char* text)
{
    ChannelState* state = StateOf(channel);
    auto* entry = static_cast<const FontEntry*>(state->currentFont);
    if (entry == nullptr || text == nullptr || text[0] == '\0') return;
    const size_t length = std::strlen(text);
    MakeChannelCurrent(state);
    const OverlayScope scope(state);
    const BitmapFont* font = entry->font;
    const int64_t x = position[0], y = position[1];
    const GLint w = font->glyphWidth, h = font->glyphHeight;
    const GLint bottom = OverlayCoordinate(y + h);
    if (channel->transparentText == 0) {
        glColor3fv(channel->backColour);
        glRecti(OverlayCoordinate(x), OverlayCoordinate(y), OverlayCoordinate(x + int64_t{w} * int64_t(length)),
                bottom);
    }
    glColor3fv(channel->penColour);
    glRasterPos2i(OverlayCoordinate(x), bottom);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, w);
    for (size_t i = 0; i < length; ++i) {
        uint16_t offset = font->glyphOffsets[static_cast<unsigned char>(text[i])];
        if (offset == kNoGlyph) continue;
        glBitmap(w, h, 0, 0, static_cast<GLfloat>(w), 0, font->glyphBits + offset);
    }
}
