// Fonts read from BDF files into one block laid out for glBitmap.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint16_t kNoGlyph = 0xFFFF;

// One memory-manager block: the cell size, the glyph table and the glyphs,
// each glyphHeight rows of (glyphWidth + 7) / 8 bytes, bottom row first.
struct BitmapFont {
    int16_t glyphWidth;
    int16_t glyphHeight;
    int16_t bytesPerGlyph;
    uint16_t glyphOffsets[256];  // byte offset into glyphBits, or kNoGlyph
    uint8_t glyphBits[1];        // 256 glyphs and one spare byte
};

static_assert(offsetof(BitmapFont, glyphBits) == 518, "glyphBits starts at byte 518");

// Reads the file; null when it cannot be read or yields no glyph. The caller
// frees the font with MMfree.
BitmapFont* LoadBdfFont(const char* path);

// Parses BDF text in place (it is tokenised and modified).
BitmapFont* ParseBdf(char* text);
