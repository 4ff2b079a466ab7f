// The BDF loader: only FONTBOUNDINGBOX, ENCODING, BITMAP and ENDCHAR matter;
// every glyph is read as a full cell of the font bounding box.
#include "bdf_font.h"

#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "zqgd/host.h"

namespace {

enum State { kFindBoundingBox = 0, kFindEncoding = 1, kInGlyph = 2, kStop = 3 };

// Cells above this size would overflow the 16-bit glyph offsets.
constexpr int kMaxBytesPerGlyph = 256;
constexpr size_t kHeaderSize = offsetof(BitmapFont, glyphBits);

// Splits the text into tokens in place, as strtok with " \t\n\r" would, but
// without strtok's hidden process-wide state.
class Tokens {
public:
    explicit Tokens(char* text) : next_(text) {}
    char* next()
    {
        next_ += std::strspn(next_, kDelimiters);
        if (*next_ == '\0') return nullptr;
        char* token = next_;
        next_ += std::strcspn(next_, kDelimiters);
        if (*next_ != '\0') *next_++ = '\0';
        return token;
    }
    // A decimal number as atoi reads it, held to the 32-bit range; a
    // missing token reads as 0.
    long number()
    {
        char* token = next();
        if (token == nullptr) return 0;
        errno = 0;
        long value = std::strtol(token, nullptr, 10);
        return value < INT32_MIN ? INT32_MIN : (value > INT32_MAX ? INT32_MAX : value);
    }

private:
    static constexpr const char* kDelimiters = " \t\n\r";
    char* next_;
};

struct Parser {
    explicit Parser(char* text) : tokens(text) {}

    Tokens tokens;
    State state = kFindBoundingBox;
    int currentCode = 0;
    int glyphCount = 0;        // codes that have a glyph
    int nextSlot = 0;          // slots 0 .. nextSlot - 1 have been handed out
    int freeSlots[256] = {};   // handed-out slots whose glyph was dropped
    int freeCount = 0;
    int bytesPerRow = 0;
    BitmapFont* font = nullptr;

    uint8_t* glyph(int code) { return font->glyphBits + font->glyphOffsets[code]; }

    // Refuses a size of 0, a negative one and a cell whose glyph store
    // would overflow the 16-bit offsets; a later FONTBOUNDINGBOX may still
    // set up the font.
    State boundingBox()
    {
        long width = tokens.number(), height = tokens.number();
        if (width <= 0 || height <= 0 || width > 8 * kMaxBytesPerGlyph) return kFindBoundingBox;
        long rowBytes = (width + 7) / 8;
        if (rowBytes * height > kMaxBytesPerGlyph) return kFindBoundingBox;
        auto bytesPerGlyph = static_cast<int16_t>(rowBytes * height);
        const size_t blockSize = kHeaderSize + 256 * size_t(bytesPerGlyph) + 1;
        font = static_cast<BitmapFont*>(MMmalloc(static_cast<uint32_t>(blockSize)));
        if (font == nullptr) return kStop;
        std::memset(font, 0, blockSize);
        for (uint16_t& offset : font->glyphOffsets) offset = kNoGlyph;
        font->glyphWidth = static_cast<int16_t>(width);
        font->glyphHeight = static_cast<int16_t>(height);
        font->bytesPerGlyph = bytesPerGlyph;
        bytesPerRow = static_cast<int>(rowBytes);
        return kFindEncoding;
    }

    State encoding()
    {
        long code = tokens.number();
        if (code < 0 || code > 255) return kFindEncoding;
        currentCode = static_cast<int>(code);
        if (font->glyphOffsets[currentCode] == kNoGlyph) {
            int slot = freeCount > 0 ? freeSlots[--freeCount] : nextSlot++;
            font->glyphOffsets[currentCode] = static_cast<uint16_t>(font->bytesPerGlyph * slot);
            ++glyphCount;
        }
        std::memset(glyph(currentCode), 0, static_cast<size_t>(font->bytesPerGlyph));
        return kInGlyph;
    }

    // A glyph without a usable bitmap: its code has no glyph, and its slot
    // goes to the next new code. The last slot handed out is simply taken
    // back; one in the middle of the store (a re-read code's) is kept on a
    // free list, so that a later code never shares the slot of a glyph that
    // is still there, and at most 256 slots are ever handed out.
    State dropGlyph()
    {
        int slot = font->glyphOffsets[currentCode] / font->bytesPerGlyph;
        font->glyphOffsets[currentCode] = kNoGlyph;
        --glyphCount;
        if (slot == nextSlot - 1)
            --nextSlot;
        else
            freeSlots[freeCount++] = slot;
        return kFindEncoding;
    }

    State bitmap()
    {
        uint8_t* row = glyph(currentCode) + (font->glyphHeight - 1) * bytesPerRow;
        for (int r = 0; r < font->glyphHeight; ++r, row -= bytesPerRow) {
            char* token = tokens.next();
            for (int j = 0; j < bytesPerRow; ++j) {
                int value = token != nullptr ? HexPair(token, 2 * j) : -1;
                if (value < 0) return r == 0 ? dropGlyph() : kFindEncoding;
                row[j] = static_cast<uint8_t>(value);
            }
        }
        return kFindEncoding;
    }

    // The byte of the pair of digits at index start of the token: a pair
    // past the end is 0, one cut short is its single digit; -1 when invalid.
    static int HexPair(char* token, size_t start)
    {
        size_t length = std::strlen(token);
        int value = 0;
        for (size_t i = start; i < start + 2 && i < length; ++i) {
            token[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(token[i])));
            char c = token[i];
            int digit = c >= '0' && c <= '9' ? c - '0' : (c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1);
            if (digit < 0) return -1;
            value = value << 4 | digit;
        }
        return value;
    }

    State handle(const char* token)
    {
        switch (state) {
        case kFindBoundingBox: return std::strcmp(token, "FONTBOUNDINGBOX") == 0 ? boundingBox() : state;
        case kFindEncoding: return std::strcmp(token, "ENCODING") == 0 ? encoding() : state;
        case kInGlyph:
            if (std::strcmp(token, "BITMAP") == 0) return bitmap();
            if (std::strcmp(token, "ENDCHAR") == 0) return dropGlyph();
            return state;
        case kStop: return state;
        }
        return state;
    }
};

}  // namespace

BitmapFont* ParseBdf(char* text)
{
    Parser parser(text);
    for (char* token = parser.tokens.next(); parser.state != kStop && token != nullptr; token = parser.tokens.next())
        parser.state = parser.handle(token);
    if (parser.glyphCount > 0) return parser.font;
    MMfree(parser.font);
    return nullptr;
}

BitmapFont* LoadBdfFont(const char* path)
{
    int32_t length = ZqFLength(path);
    if (length < 0) return nullptr;
    void* file = ZqFOpen(path, "rb");
    if (file == nullptr) return nullptr;
    auto* text = static_cast<char*>(MMmalloc(static_cast<uint32_t>(length) + 1));
    if (text == nullptr) {
        ZqFClose(file);
        return nullptr;
    }
    int32_t read = ZqFGetByteArray(file, length, text);
    ZqFClose(file);
    text[read > 0 ? read : 0] = '\0';
    BitmapFont* font = ParseBdf(text);
    MMfree(text);
    return font;
}
