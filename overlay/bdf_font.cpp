// The BDF loader: only FONTBOUNDINGBOX, ENCODING, BITMAP and ENDCHAR matter;
// every glyph is read as a full cell of the font bounding box.
#include "bdf_font.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "zqgd/host.h"

namespace {

enum State { kFindBoundingBox = 0, kFindEncoding = 1, kInGlyph = 2, kStop = 3 };

// Cells above this size would overflow the 16-bit glyph offsets.
constexpr int kMaxBytesPerGlyph = 256;
constexpr size_t kHeaderSize = offsetof(BitmapFont, glyphBits);

// What the scan needs to know of each byte: whether it separates tokens
// (" \t\n\r"), ends the text (the zero byte) or belongs to a token, and its
// value as a hexadecimal digit, upper or lower case (-1 for any other byte).
enum ByteKind : uint8_t { kTokenByte, kDelimiter, kEndOfText };

struct ByteTable {
    ByteKind kind[256] = {};
    int8_t hexDigit[256] = {};
    constexpr ByteTable()
    {
        kind[0] = kEndOfText;
        kind[' '] = kind['\t'] = kind['\n'] = kind['\r'] = kDelimiter;
        for (int8_t& digit : hexDigit) digit = -1;
        for (int i = 0; i < 10; ++i) hexDigit['0' + i] = static_cast<int8_t>(i);
        for (int i = 0; i < 6; ++i) hexDigit['a' + i] = hexDigit['A' + i] = static_cast<int8_t>(10 + i);
    }
};
constexpr ByteTable kBytes;

ByteKind KindOf(char c) { return kBytes.kind[static_cast<unsigned char>(c)]; }
int HexDigitOf(char c) { return kBytes.hexDigit[static_cast<unsigned char>(c)]; }

// A token of the text and its length; a null text once the text is used up.
struct Token {
    char* text = nullptr;
    size_t length = 0;

    // Whether the whole token is the keyword, case-sensitive: the length and
    // the first character turn nearly every other token away before the
    // rest is compared.
    template <size_t N>
    bool is(const char (&keyword)[N]) const
    {
        return length == N - 1 && text[0] == keyword[0] && std::memcmp(text, keyword, N - 1) == 0;
    }
};

// Splits the text into tokens in place, as strtok with " \t\n\r" would
// (a zero byte is written over the delimiter that ends a token), but without
// strtok's hidden process-wide state.
class Tokens {
public:
    explicit Tokens(char* text) : next_(text) {}
    Token next()
    {
        while (KindOf(*next_) == kDelimiter) ++next_;
        if (*next_ == '\0') return {};
        char* start = next_;
        while (KindOf(*next_) == kTokenByte) ++next_;
        Token token{start, static_cast<size_t>(next_ - start)};
        if (*next_ != '\0') *next_++ = '\0';
        return token;
    }
    // A decimal number as atoi reads it, held to the 32-bit range; a
    // missing token reads as 0.
    long number()
    {
        Token token = next();
        if (token.text == nullptr) return 0;
        long value = std::strtol(token.text, nullptr, 10);
        return value < INT32_MIN ? INT32_MIN : (value > INT32_MAX ? INT32_MAX : value);
    }

private:
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
            Token token = tokens.next();
            for (int j = 0; j < bytesPerRow; ++j) {
                int value = token.text != nullptr ? HexPair(token, 2 * size_t(j)) : -1;
                if (value < 0) return r == 0 ? dropGlyph() : kFindEncoding;
                row[j] = static_cast<uint8_t>(value);
            }
        }
        return kFindEncoding;
    }

    // The byte of the pair of digits at index start of the token: a pair
    // past the end is 0, one cut short is its single digit; -1 when invalid.
    static int HexPair(Token token, size_t start)
    {
        if (start >= token.length) return 0;
        int high = HexDigitOf(token.text[start]);
        if (start + 1 == token.length) return high;
        int low = HexDigitOf(token.text[start + 1]);
        return high < 0 || low < 0 ? -1 : high << 4 | low;
    }

    State handle(Token token)
    {
        switch (state) {
        case kFindBoundingBox: return token.is("FONTBOUNDINGBOX") ? boundingBox() : state;
        case kFindEncoding: return token.is("ENCODING") ? encoding() : state;
        case kInGlyph:
            if (token.is("BITMAP")) return bitmap();
            if (token.is("ENDCHAR")) return dropGlyph();
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
    for (Token token = parser.tokens.next(); parser.state != kStop && token.text != nullptr; token = parser.tokens.next())
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
