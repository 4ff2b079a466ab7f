// The BDF loader, on hand-written texts and on every fixed-cell font of
// Debian's xfonts-base.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "overlay/bdf_font.h"
#include "support/scratch_folder.h"
#include "zqgd/host.h"

namespace {

struct Font {
    BitmapFont* font = nullptr;
    explicit Font(std::string text) : font(ParseBdf(text.data())) {}
    ~Font() { MMfree(font); }
    // The stored rows of a glyph, bottom first.
    std::vector<int> rows(int code) const
    {
        std::vector<int> bytes;
        int rowBytes = (font->glyphWidth + 7) / 8;
        const uint8_t* glyph = font->glyphBits + font->glyphOffsets[code];
        for (int i = 0; i < font->glyphHeight * rowBytes; ++i) bytes.push_back(glyph[i]);
        return bytes;
    }
};

std::string Glyph(int code, const std::string& rows)
{
    return "STARTCHAR x\nENCODING " + std::to_string(code) + "\nBBX 8 3 0 0\nBITMAP\n" + rows + "ENDCHAR\n";
}

const std::string kHeader = "STARTFONT 2.1\nFONTBOUNDINGBOX 8 3 0 0\n";

TEST(BdfLoader, CellSizesAndSlots)
{
    uint32_t blocks = MMLiveBlocks();
    size_t bytes = MMLiveBytes();
    {
        Font font("FONTBOUNDINGBOX 6 12 0 -2\nENCODING 66\nBITMAP\n" + std::string(12 * 3, ' ') +
                  "ENDCHAR ENCODING 65 BITMAP 10 10 10 10 10 10 10 10 10 10 10 10 ENDCHAR");
        ASSERT_NE(font.font, nullptr);
        EXPECT_EQ(font.font->glyphWidth, 6);
        EXPECT_EQ(font.font->glyphHeight, 12);
        EXPECT_EQ(font.font->bytesPerGlyph, 12);
        EXPECT_EQ(MMLiveBytes() - bytes, 3591u);
        EXPECT_EQ(font.font->glyphOffsets[66], kNoGlyph) << "a BITMAP without rows drops the glyph";
        EXPECT_EQ(font.font->glyphOffsets[65], 0) << "and its slot goes to the next code";
        EXPECT_EQ(font.font->glyphOffsets[67], kNoGlyph);
    }
    {
        Font font(kHeader + Glyph(65, "18\n24\n42\n") + Glyph(66, "ff\nFF\n0f\n"));
        ASSERT_NE(font.font, nullptr);
        EXPECT_EQ(font.font->glyphOffsets[65], 0);
        EXPECT_EQ(font.font->glyphOffsets[66], 3);
        EXPECT_EQ(font.rows(65), (std::vector<int>{0x42, 0x24, 0x18})) << "bottom row first";
        EXPECT_EQ(font.rows(66), (std::vector<int>{0x0F, 0xFF, 0xFF})) << "upper and lower case alike";
    }
    EXPECT_EQ(MMLiveBlocks(), blocks);
}

TEST(BdfLoader, BoundingBoxesThatCannotHoldAFontAreSkipped)
{
    Font later("FONTBOUNDINGBOX 0 12\nFONTBOUNDINGBOX 8 3\n" + Glyph(1, "01\n02\n03\n"));
    ASSERT_NE(later.font, nullptr);
    EXPECT_EQ(later.font->glyphWidth, 8);
    for (const char* refused : {"-8 3", "8 -3", "2049 1", "16 200", "100000000000 3"}) {
        Font font(std::string("FONTBOUNDINGBOX ") + refused + "\n" + Glyph(1, "01\n02\n03\n"));
        EXPECT_EQ(font.font, nullptr) << refused;
        Font recovered(std::string("FONTBOUNDINGBOX ") + refused + "\n" + kHeader + Glyph(1, "01\n02\n03\n"));
        EXPECT_NE(recovered.font, nullptr) << refused;
    }
    Font largest("FONTBOUNDINGBOX 16 128\nENCODING 255 BITMAP ENDCHAR ENCODING 254 BITMAP 0102 ENDCHAR");
    ASSERT_NE(largest.font, nullptr);
    EXPECT_EQ(largest.font->bytesPerGlyph, 256);
    EXPECT_EQ(Font("FONTBOUNDINGBOX 6").font, nullptr) << "a missing height reads as 0";
    EXPECT_EQ(Font("STARTFONT 2.1\n" + Glyph(65, "01\n02\n03\n")).font, nullptr);
    EXPECT_EQ(Font(kHeader).font, nullptr) << "no glyph";
    EXPECT_EQ(Font("").font, nullptr);
}

TEST(BdfLoader, EncodingsOutsideTheTableAndRepeatedCodes)
{
    Font font(kHeader + Glyph(300, "01\n01\n01\n") + Glyph(-1, "01\n01\n01\n") + Glyph(65, "01\n02\n03\n") +
              Glyph(66, "04\n05\n06\n") + Glyph(65, "07\n08\n09\n") + Glyph(67, "0a\n0b\n0c\n"));
    ASSERT_NE(font.font, nullptr);
    EXPECT_EQ(font.font->glyphOffsets[65], 0);
    EXPECT_EQ(font.rows(65), (std::vector<int>{9, 8, 7})) << "the second definition replaces the first";
    EXPECT_EQ(font.font->glyphOffsets[66], 3);
    EXPECT_EQ(font.font->glyphOffsets[67], 6) << "a re-read code takes no new slot";
    EXPECT_EQ(font.rows(67), (std::vector<int>{12, 11, 10}));
}

TEST(BdfLoader, DroppedGlyphsNeverOverwriteOthers)
{
    // 66 without a bitmap: its slot is handed to 67.
    Font reuse(kHeader + Glyph(65, "01\n02\n03\n") + "ENCODING 66\nENDCHAR\n" + Glyph(67, "04\n05\n06\n"));
    ASSERT_NE(reuse.font, nullptr);
    EXPECT_EQ(reuse.font->glyphOffsets[66], kNoGlyph);
    EXPECT_EQ(reuse.font->glyphOffsets[67], 3);

    // 65 read again and dropped after 66 took the next slot: 65's slot is
    // not the last one, so 67 must not be given 66's.
    Font middle(kHeader + Glyph(65, "01\n02\n03\n") + Glyph(66, "04\n05\n06\n") + "ENCODING 65\nENDCHAR\n" +
                Glyph(67, "07\n08\n09\n"));
    ASSERT_NE(middle.font, nullptr);
    EXPECT_EQ(middle.font->glyphOffsets[65], kNoGlyph);
    EXPECT_EQ(middle.rows(66), (std::vector<int>{6, 5, 4}));
    EXPECT_EQ(middle.rows(67), (std::vector<int>{9, 8, 7}));
}

TEST(BdfLoader, RepeatedDropsNeverRunPastTheStore)
{
    // Found by the fuzzer: a code read again and dropped, over and over,
    // while other glyphs stay in the store.
    std::string text = kHeader + Glyph(1, "01\n02\n03\n");
    for (int i = 0; i < 600; ++i)
        text += Glyph(65, "04\n05\n06\n") + Glyph(66 + i % 100, "07\n08\n09\n") + "ENCODING 65\nENDCHAR\n";
    Font font(text);
    ASSERT_NE(font.font, nullptr);
    EXPECT_EQ(font.rows(1), (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(font.font->glyphOffsets[65], kNoGlyph);
    for (int code = 66; code < 166; ++code) EXPECT_EQ(font.rows(code), (std::vector<int>{9, 8, 7})) << code;
    std::set<int> slots;
    for (uint16_t offset : font.font->glyphOffsets) {
        if (offset != kNoGlyph) {
            EXPECT_TRUE(slots.insert(offset).second) << "slot " << offset << " shared";
        }
    }
}

TEST(BdfLoader, InvalidDigitsDropOrCutTheGlyph)
{
    Font first(kHeader + Glyph(65, "gg\n02\n03\n") + Glyph(66, "01\n02\n03\n"));
    ASSERT_NE(first.font, nullptr);
    EXPECT_EQ(first.font->glyphOffsets[65], kNoGlyph);
    EXPECT_EQ(first.font->glyphOffsets[66], 0) << "the dropped glyph's slot is reused";
    Font third(kHeader + Glyph(65, "01\n02\nzz\n"));
    ASSERT_NE(third.font, nullptr);
    EXPECT_EQ(third.rows(65), (std::vector<int>{0, 2, 1})) << "rows read before the bad one stay";
    Font single(kHeader + Glyph(65, "F\n1\n\n"));
    ASSERT_NE(single.font, nullptr);
    // The third row token is missing in place: the next token, ENDCHAR, is
    // not hexadecimal, so the glyph keeps its first two rows.
    EXPECT_EQ(single.rows(65), (std::vector<int>{0, 1, 0x0F}));
    Font ended(kHeader + "ENCODING 65 BITMAP 01");
    ASSERT_NE(ended.font, nullptr);
    EXPECT_EQ(ended.rows(65), (std::vector<int>{0, 0, 1})) << "a row missing at the end of the text";
    Font comment("COMMENT FONTBOUNDINGBOX 8 3\n" + Glyph(65, "01\n02\n03\n"));
    EXPECT_NE(comment.font, nullptr) << "keywords count wherever they stand";
}

TEST(BdfLoader, OnlyZeroSizedBoxesGiveNoFont)
{
    std::string text = "STARTFONT 2.1\nFONTBOUNDINGBOX 0 12 0 0\nFONTBOUNDINGBOX 6 0 0 0\n" + Glyph(65, "18\n24\n42\n");
    Font font(text);
    EXPECT_EQ(font.font, nullptr);
}

// Rows of two bytes: a pair cut short by the end of its token gives the one
// digit's value, a pair past the end gives 0, and nothing is read from the
// next token.
TEST(BdfLoader, HexPairsStopAtTheEndOfTheirToken)
{
    std::string text = "STARTFONT 2.1\nFONTBOUNDINGBOX 12 3 0 0\nSTARTCHAR x\nENCODING 65\nBITMAP\n"
                       "ABC\nD\nEF01\nENDCHAR\n";
    Font font(text);
    ASSERT_NE(font.font, nullptr);
    EXPECT_EQ(font.rows(65), (std::vector<int>{0xEF, 0x01, 0x0D, 0x00, 0xAB, 0x0C}));
}

TEST(BdfLoader, FilesThatCannotBeReadGiveNoFont)
{
    EXPECT_EQ(LoadBdfFont("/nonexistent/6x12.bdf"), nullptr);
    EXPECT_EQ(LoadBdfFont("/"), nullptr);
    ScratchFolder folder("bdf-files");
    std::string empty = folder / "empty.bdf";
    std::ofstream(empty).close();
    EXPECT_EQ(LoadBdfFont(empty.c_str()), nullptr) << "a file of length 0";
    std::string path = folder / "tiny.bdf";
    std::ofstream(path) << kHeader << Glyph(65, "01\n02\n03\n");
    uint32_t blocks = MMLiveBlocks();
    for (uint32_t n : {1u, 2u}) {
        MMFailNthAllocation(n);
        EXPECT_EQ(LoadBdfFont(path.c_str()), nullptr);
        EXPECT_EQ(MMLiveBlocks(), blocks);
    }
    MMFailNthAllocation(0);
    BitmapFont* font = LoadBdfFont(path.c_str());
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->glyphOffsets[65], 0);
    MMfree(font);
}

// ---- Classes and bounds of the loader's inputs --------------------------------

// Codes 0 and 255 are the ends of the table; codes outside it take no slot,
// and a code that is no number reads as 0.
TEST(BdfLoader, CodesZeroAnd255AreKeptAndCodesBeyondAreSkipped)
{
    Font font(kHeader + Glyph(0, "01\n02\n03\n") + Glyph(256, "0a\n0a\n0a\n") + Glyph(-1, "0b\n0b\n0b\n") +
              "ENCODING 4294967296 BITMAP 0c 0c 0c ENDCHAR " + Glyph(255, "04\n05\n06\n") + Glyph(65, "07\n08\n09\n"));
    ASSERT_NE(font.font, nullptr);
    ASSERT_EQ(font.font->glyphOffsets[0], 0);
    ASSERT_EQ(font.font->glyphOffsets[255], 3) << "the codes beyond the table took no slot";
    ASSERT_EQ(font.font->glyphOffsets[65], 6);
    EXPECT_EQ(font.rows(0), (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(font.rows(255), (std::vector<int>{6, 5, 4}));
    EXPECT_EQ(font.rows(65), (std::vector<int>{9, 8, 7}));
    for (int code = 1; code < 255; ++code) {
        if (code != 65) {
            EXPECT_EQ(font.font->glyphOffsets[code], kNoGlyph) << code;
        }
    }

    Font named(kHeader + "ENCODING x BITMAP 0d 0e 0f ENDCHAR");
    ASSERT_NE(named.font, nullptr);
    ASSERT_EQ(named.font->glyphOffsets[0], 0);
    EXPECT_EQ(named.rows(0), (std::vector<int>{15, 14, 13}));
}

// Rows take (width + 7) / 8 bytes; a cell of at most 256 bytes is accepted,
// one byte more is refused; the block holds 256 cells and 519 bytes more.
TEST(BdfLoader, BoundingBoxSizesAtTheirBounds)
{
    const struct {
        const char* box;
        int bytesPerGlyph;
    } boxes[] = {{"1 1", 1},   {"8 1", 1},    {"9 1", 2},      {"1 3", 3},      {"8 256", 256},  {"9 128", 256},
                 {"2048 1", 256}, {"8 257", 0}, {"9 129", 0}, {"2049 1", 0}, {"0 1", 0}, {"1 0", 0}, {"-1 1", 0}};
    for (auto box : boxes) {
        SCOPED_TRACE(box.box);
        size_t bytes = MMLiveBytes();
        Font font(std::string("FONTBOUNDINGBOX ") + box.box + "\nENCODING 7 BITMAP ff ENDCHAR");
        if (box.bytesPerGlyph == 0) {
            EXPECT_EQ(font.font, nullptr);
            continue;
        }
        ASSERT_NE(font.font, nullptr);
        EXPECT_EQ(font.font->bytesPerGlyph, box.bytesPerGlyph);
        EXPECT_EQ(MMLiveBytes() - bytes, 256u * box.bytesPerGlyph + 519);
        ASSERT_EQ(font.font->glyphOffsets[7], 0);
        // The one row read is the top row, stored last.
        int rowBytes = (font.font->glyphWidth + 7) / 8;
        EXPECT_EQ(font.font->glyphBits[box.bytesPerGlyph - rowBytes], 0xFF);
    }
}

// All 256 codes in cells of the largest size: the slots stay distinct up to
// the last one, at 255 x 256, and every glyph keeps its own rows.
TEST(BdfLoader, AFullTableOfTheLargestCells)
{
    std::string text = "FONTBOUNDINGBOX 16 128\n";
    char row[8];
    for (int code = 255; code >= 0; --code) {
        text += "ENCODING " + std::to_string(code) + "\nBITMAP\n";
        for (int r = 0; r < 128; ++r) {
            std::snprintf(row, sizeof row, "%02x%02x\n", code, r);
            text += row;
        }
        text += "ENDCHAR\n";
    }
    Font font(text);
    ASSERT_NE(font.font, nullptr);
    std::set<int> slots;
    for (int code = 0; code < 256; ++code) {
        ASSERT_NE(font.font->glyphOffsets[code], kNoGlyph) << code;
        slots.insert(font.font->glyphOffsets[code]);
    }
    EXPECT_EQ(slots.size(), 256u);
    EXPECT_EQ(font.font->glyphOffsets[255], 0);
    EXPECT_EQ(font.font->glyphOffsets[0], 255 * 256) << "the last slot";
    for (int code : {0, 1, 128, 254, 255}) {
        std::vector<int> rows = font.rows(code);
        ASSERT_EQ(rows.size(), 256u);
        EXPECT_EQ(rows[0], code) << "bottom row first";
        EXPECT_EQ(rows[1], 127);
        EXPECT_EQ(rows[254], code);
        EXPECT_EQ(rows[255], 0);
    }
}

// The digits 0-9, a-f and A-F are the only ones; their neighbours in the
// character set make the pair invalid. A pair reads at most two characters,
// so what follows them in the token is not looked at.
TEST(BdfLoader, HexDigitsAtTheEdgesOfTheirRanges)
{
    Font digits(kHeader + Glyph(65, "09\naf\nAF\n") + Glyph(66, "90\nfa\nFA\n") + Glyph(67, "123\n45z\n6\n"));
    ASSERT_NE(digits.font, nullptr);
    EXPECT_EQ(digits.rows(65), (std::vector<int>{0xAF, 0xAF, 0x09}));
    EXPECT_EQ(digits.rows(66), (std::vector<int>{0xFA, 0xFA, 0x90}));
    EXPECT_EQ(digits.rows(67), (std::vector<int>{0x06, 0x45, 0x12}));
    std::vector<std::string> invalids = {"/0", ":0", "@0", "G0", "`0", "g0", "0/", "0:", "0G", "0g"};
    // No byte above 0x7F is a digit, whatever its low seven bits: in the
    // first place of a pair, in the second, or as a pair cut short.
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const std::string high(1, static_cast<char>(byte));
        invalids.insert(invalids.end(), {high + "0", "0" + high, high});
    }
    for (const std::string& invalid : invalids) {
        SCOPED_TRACE(testing::PrintToString(invalid));
        Font font(kHeader + Glyph(65, invalid + "\n02\n03\n") + Glyph(66, "04\n05\n06\n"));
        ASSERT_NE(font.font, nullptr);
        EXPECT_EQ(font.font->glyphOffsets[65], kNoGlyph);
        EXPECT_EQ(font.font->glyphOffsets[66], 0);
    }
}

// ---- Tokens and keywords --------------------------------------------------------

// A keyword counts only as a whole token, case and all: the same letters with
// a byte more or less, or with one byte changed, are ordinary tokens. Each
// text is first read with the keyword itself, to show what it decides.
TEST(BdfLoader, KeywordsMatchOnlyAsWholeTokens)
{
    const std::string rows = "01\n02\n03\n";
    const struct {
        const char* keyword;
        std::vector<std::string> nearMisses;
        std::string (*text)(const std::string& word, const std::string& rows);
    } keywords[] = {
        {"FONTBOUNDINGBOX",
         {"FONTBOUNDINGBOXX", "XFONTBOUNDINGBOX", "FONTBOUNDINGBO", "ONTBOUNDINGBOX", "FONTBOUNDINGBOY", "FONTBOUNDIMGBOX",
          "GONTBOUNDINGBOX", "fontboundingbox", "FONTBOUNDINGBOx"},
         [](const std::string& word, const std::string& rows) { return word + " 8 3\n" + Glyph(65, rows); }},
        {"ENCODING",
         {"ENCODINGX", "XENCODING", "ENCODIN", "NCODING", "ENCODINH", "ENCOD1NG", "FNCODING", "encoding", "ENCODINg",
          "ENCODING0", "ENCODING_65"},
         [](const std::string& word, const std::string& rows) {
             return kHeader + word + " 65\nBITMAP\n" + rows + "ENDCHAR\n";
         }},
        {"BITMAP",
         {"BITMAPS", "XBITMAP", "BITMA", "ITMAP", "BITMAQ", "BITNAP", "CITMAP", "bitmap", "BITMAp"},
         [](const std::string& word, const std::string& rows) {
             return kHeader + "ENCODING 65\n" + word + "\n" + rows + "ENDCHAR\n";
         }},
        {"ENDCHAR",
         {"ENDCHARS", "XENDCHAR", "ENDCHA", "NDCHAR", "ENDCHAS", "ENDCJAR", "FNDCHAR", "endchar", "ENDCHAr"},
         [](const std::string& word, const std::string& rows) {
             return kHeader + "ENCODING 65\n" + word + "\nBITMAP\n" + rows + "ENDCHAR\n";
         }},
    };
    // What each keyword's text gives: a font or none, and glyph 65 or none.
    auto outcome = [](const Font& font) {
        if (font.font == nullptr) return std::string("no font");
        if (font.font->glyphOffsets[65] == kNoGlyph) return std::string("no glyph");
        std::ostringstream rows;
        for (int byte : font.rows(65)) rows << byte << ' ';
        return rows.str();
    };
    // The extra glyph keeps a font when glyph 65 is dropped.
    const std::string extra = Glyph(66, "04\n05\n06\n");
    for (const auto& keyword : keywords) {
        SCOPED_TRACE(keyword.keyword);
        std::string matched = outcome(Font(keyword.text(keyword.keyword, rows) + extra));
        std::string ignored = outcome(Font(keyword.text("COMMENT", rows) + extra));
        ASSERT_NE(matched, ignored);
        for (const std::string& word : keyword.nearMisses)
            EXPECT_EQ(outcome(Font(keyword.text(word, rows) + extra)), ignored) << word;
    }
}

// Tokens are split at spaces, tabs, carriage returns and line feeds, in any
// run, and nowhere else: vertical tabs, form feeds and bytes above 0x7F
// (whose low seven bits would read as a delimiter) belong to the token. The
// zero byte ends the text.
TEST(BdfLoader, TokensAreSplitAtTheFourDelimitersOnly)
{
    Font spaced("\t\r\n FONTBOUNDINGBOX\t8\r3\r\n\tENCODING\t\t65\rBITMAP\r\n01\t\r02\r03 \t ENDCHAR\r\n");
    ASSERT_NE(spaced.font, nullptr);
    EXPECT_EQ(spaced.font->glyphWidth, 8);
    EXPECT_EQ(spaced.font->glyphHeight, 3);
    EXPECT_EQ(spaced.rows(65), (std::vector<int>{3, 2, 1}));

    for (const char* glue : {"\v", "\f", "\x80", "\x89", "\x8a", "\x8d", "\xa0", "\xff"}) {
        SCOPED_TRACE(testing::Message() << "byte " << int(static_cast<unsigned char>(glue[0])));
        Font keyword(kHeader + "ENCODING" + glue + "66 BITMAP 04 05 06 ENDCHAR\n" + Glyph(65, "01\n02\n03\n"));
        ASSERT_NE(keyword.font, nullptr);
        EXPECT_EQ(keyword.font->glyphOffsets[66], kNoGlyph) << "no ENCODING token";
        EXPECT_EQ(keyword.font->glyphOffsets[65], 0);
        Font row(kHeader + "ENCODING 65 BITMAP 01 02" + glue + "03 ENDCHAR\n");
        ASSERT_NE(row.font, nullptr);
        EXPECT_EQ(row.rows(65), (std::vector<int>{0, 2, 1})) << "the byte joins 02 and 03 into one row token";
    }

    std::string cut = kHeader + Glyph(65, "01\n02\n03\n");
    cut += '\0';
    cut += Glyph(66, "04\n05\n06\n");
    Font ended(cut);
    ASSERT_NE(ended.font, nullptr);
    EXPECT_EQ(ended.font->glyphOffsets[66], kNoGlyph) << "nothing after the zero byte is read";
}

// Each keyword counts only in its own state; elsewhere it is skipped like
// any other token.
TEST(BdfLoader, KeywordsOutsideTheirStateAreSkipped)
{
    Font font("ENCODING 70 BITMAP 01 ENDCHAR FONTBOUNDINGBOX 8 3 FONTBOUNDINGBOX 16 1 BITMAP 0f ENDCHAR "
              "ENCODING 65 ENCODING 66 FONTBOUNDINGBOX BITMAP 01 02 03 ENDCHAR "
              "ENCODING 67 BITMAP 04 05 06 BITMAP 07 08 09 ENDCHAR");
    ASSERT_NE(font.font, nullptr);
    EXPECT_EQ(font.font->glyphWidth, 8) << "a second FONTBOUNDINGBOX is skipped";
    EXPECT_EQ(font.font->glyphHeight, 3);
    EXPECT_EQ(font.font->glyphOffsets[70], kNoGlyph) << "ENCODING before FONTBOUNDINGBOX is skipped";
    EXPECT_EQ(font.font->glyphOffsets[66], kNoGlyph) << "ENCODING inside a glyph is skipped";
    ASSERT_EQ(font.font->glyphOffsets[65], 0);
    EXPECT_EQ(font.rows(65), (std::vector<int>{3, 2, 1}));
    ASSERT_EQ(font.font->glyphOffsets[67], 3);
    EXPECT_EQ(font.rows(67), (std::vector<int>{6, 5, 4})) << "BITMAP after a complete bitmap is skipped";
}

// The last token of the text, with no delimiter after it, is read like any
// other.
TEST(BdfLoader, TheLastTokenOfTheTextCounts)
{
    Font row(kHeader + "ENCODING 65 BITMAP 01 02 0A");
    ASSERT_NE(row.font, nullptr);
    EXPECT_EQ(row.rows(65), (std::vector<int>{10, 2, 1}));
    Font pair("FONTBOUNDINGBOX 16 1 ENCODING 65 BITMAP ABC");
    ASSERT_NE(pair.font, nullptr);
    EXPECT_EQ(pair.rows(65), (std::vector<int>{0xAB, 0x0C}));
    Font code(kHeader + Glyph(65, "01\n02\n03\n") + "ENCODING 66");
    ASSERT_NE(code.font, nullptr);
    ASSERT_EQ(code.font->glyphOffsets[66], 3) << "the glyph is kept, cleared";
    EXPECT_EQ(code.rows(66), (std::vector<int>{0, 0, 0}));
    Font endchar(kHeader + Glyph(65, "01\n02\n03\n") + "ENCODING 66 ENDCHAR");
    ASSERT_NE(endchar.font, nullptr);
    EXPECT_EQ(endchar.font->glyphOffsets[66], kNoGlyph);
    EXPECT_EQ(Font(kHeader + "ENCODING 66 BITMAP").font, nullptr) << "no first row: the glyph is dropped";
    EXPECT_EQ(Font(kHeader + "ENCODING 66 ENDCHAR").font, nullptr);
    Font box("FONTBOUNDINGBOX 8 3");
    EXPECT_EQ(box.font, nullptr) << "a box but no glyph";
}

// Numbers read as atoi reads them, in base 10: a sign, leading white space
// of the kinds that do not split tokens, and digits up to the first other
// byte; a token that does not start as a number reads 0.
TEST(BdfLoader, NumbersReadAsAtoiDoes)
{
    const struct {
        const char* token;
        int code;
    } codes[] = {{"65", 65},    {"+65", 65},     {"65abc", 65},  {"65.9", 65}, {"0101", 101}, {"00065", 65},
                 {"\v65", 65},  {"\f+65", 65},   {"0x41", 0},    {"-0", 0},    {"+", 0},       {"-", 0},
                 {"--65", 0},   {"+-65", 0},     {"abc65", 0},   {"255", 255}, {"+255", 255},  {"0255", 255}};
    for (auto code : codes) {
        SCOPED_TRACE(code.token);
        Font font(kHeader + "ENCODING " + code.token + " BITMAP 01 02 03 ENDCHAR");
        ASSERT_NE(font.font, nullptr);
        for (int other = 0; other < 256; ++other) {
            if (other != code.code) {
                ASSERT_EQ(font.font->glyphOffsets[other], kNoGlyph) << other;
            }
        }
        ASSERT_EQ(font.font->glyphOffsets[code.code], 0);
        EXPECT_EQ(font.rows(code.code), (std::vector<int>{3, 2, 1}));
    }
    for (const char* skipped : {"-65", "256", "+256", "-1abc", "2560"})
        EXPECT_EQ(Font(kHeader + "ENCODING " + skipped + " BITMAP 01 02 03 ENDCHAR").font, nullptr) << skipped;

    Font box("FONTBOUNDINGBOX +12px 2.5 ENCODING 65 BITMAP 0102 0304 ENDCHAR");
    ASSERT_NE(box.font, nullptr);
    EXPECT_EQ(box.font->glyphWidth, 12);
    EXPECT_EQ(box.font->glyphHeight, 2);
    EXPECT_EQ(box.rows(65), (std::vector<int>{3, 4, 1, 2}));
}

// Upper- and lower-case digits mix freely within a pair and a row.
TEST(BdfLoader, HexDigitsOfEitherCaseMix)
{
    Font font("FONTBOUNDINGBOX 16 3 ENCODING 65 BITMAP aB Ab cDeF ENDCHAR");
    ASSERT_NE(font.font, nullptr);
    EXPECT_EQ(font.rows(65), (std::vector<int>{0xCD, 0xEF, 0xAB, 0x00, 0xAB, 0x00}));
}

// An independent reading of a BDF file: the bounding box, whether it is a
// character-cell font, and the BITMAP rows of each code 0..255 whose box is
// the full cell (the codes of other glyphs are listed apart).
struct Reference {
    int width = 0, height = 0;
    bool cells = false;
    std::map<int, std::vector<int>> glyphs;
    std::set<int> partial;
};

Reference Read(const std::string& path)
{
    Reference reference;
    std::ifstream in(path);
    std::string line, word;
    int code = -1, boxWidth = 0, boxHeight = 0;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        word.clear();
        words >> word;
        if (word == "FONTBOUNDINGBOX") words >> reference.width >> reference.height;
        if (word == "SPACING") reference.cells = line.find("\"C\"") != std::string::npos;
        if (word == "ENCODING") words >> code;
        if (word == "BBX") words >> boxWidth >> boxHeight;
        if (word != "BITMAP" || code < 0 || code > 255) continue;
        std::vector<int> rows;
        while (std::getline(in, line) && line != "ENDCHAR")
            for (size_t j = 0; j + 1 < line.size(); j += 2) rows.push_back(std::stoi(line.substr(j, 2), nullptr, 16));
        if (boxWidth == reference.width && boxHeight == reference.height)
            reference.glyphs[code] = rows;
        else
            reference.partial.insert(code);
    }
    return reference;
}

TEST(BdfLoader, EveryFixedCellFontOfXfontsBaseLoadsExactly)
{
    FILE* list = popen("dpkg -L xfonts-base | grep 'pcf.gz$'", "r");
    ASSERT_NE(list, nullptr);
    char buffer[512];
    ScratchFolder folder("bdf-xfonts");
    std::string bdf = folder / "converted.bdf";
    int loaded = 0;
    while (std::fgets(buffer, sizeof buffer, list) != nullptr) {
        std::string pcf = buffer;
        pcf.erase(pcf.find_last_not_of("\n") + 1);
        ASSERT_EQ(std::system(("pcf2bdf -o " + bdf + " " + pcf).c_str()), 0) << pcf;
        Reference reference = Read(bdf);
        if (!reference.cells) continue;
        SCOPED_TRACE(pcf);
        BitmapFont* font = LoadBdfFont(bdf.c_str());
        if (reference.glyphs.empty()) {
            EXPECT_EQ(font, nullptr);
            continue;
        }
        ASSERT_NE(font, nullptr);
        ++loaded;
        EXPECT_EQ(font->glyphWidth, reference.width);
        EXPECT_EQ(font->glyphHeight, reference.height);
        int rowBytes = (reference.width + 7) / 8;
        for (int code = 0; code < 256; ++code) {
            if (reference.partial.count(code) != 0) continue;
            auto found = reference.glyphs.find(code);
            if (found == reference.glyphs.end()) {
                EXPECT_EQ(font->glyphOffsets[code], kNoGlyph) << code;
                continue;
            }
            ASSERT_NE(font->glyphOffsets[code], kNoGlyph) << code;
            const uint8_t* glyph = font->glyphBits + font->glyphOffsets[code];
            std::vector<int> stored;
            for (int r = reference.height - 1; r >= 0; --r)
                for (int j = 0; j < rowBytes; ++j) stored.push_back(glyph[r * rowBytes + j]);
            EXPECT_EQ(stored, found->second) << "code " << code;
        }
        MMfree(font);
    }
    pclose(list);
    EXPECT_GT(loaded, 300);
}

}  // namespace
