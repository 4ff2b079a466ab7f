// libFuzzer target for the BDF parser: any text must parse without reading
// or writing outside its buffers, and a font that comes back must be
// consistent (every glyph inside the store).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "overlay/bdf_font.h"
#include "zqgd/host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    BitmapFont* font = ParseBdf(text.data());
    if (font != nullptr) {
        int rowBytes = (font->glyphWidth + 7) / 8;
        if (font->glyphWidth <= 0 || font->glyphHeight <= 0 || font->bytesPerGlyph != rowBytes * font->glyphHeight)
            std::abort();
        for (uint16_t offset : font->glyphOffsets)
            if (offset != kNoGlyph && offset + font->bytesPerGlyph > 256 * font->bytesPerGlyph) std::abort();
    }
    MMfree(font);
    if (MMLiveBlocks() != 0) std::abort();
    return 0;
}
