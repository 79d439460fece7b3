// Fonts under the locale's code page. The test program runs under a Japanese locale (code page 932), and the
// Korean cases run again under a Korean one (949): the default font's face, two-byte strings, the charset index
// that -1 chooses and the lead-byte kind that follows from it.
#include "tests/font/font_test_support.h"

#include <stdio.h>

namespace {

class JapaneseCodePage : public FontSuite {};

TEST_F(JapaneseCodePage, TheDefaultFontGetsAJapaneseFaceAndTwoByteStringsDraw) {
    ASSERT_EQ(932u, GetACP()) << "the test runs under a Japanese locale";
    ASSERT_EQ(932u, GetOEMCP());
    const int h = MemoryFont(20, 0);
    ASSERT_NE(-1, h);
    const FontData* f = FontHandleToRecord(h);
    EXPECT_EQ(1, f->charsetIndex);
    GdiFont gdi(f->fontObject);
    printf("default face: %s (charset %d)\n", gdi.face().c_str(), (int)gdi.metrics().tmCharSet);
    EXPECT_EQ(SHIFTJIS_CHARSET, gdi.metrics().tmCharSet);
    EXPECT_FALSE(gdi.face().empty());

    // Every two-byte character of the string has pixels of its own, and they differ from each other.
    const char* text = SJIS_KAN SJIS_JI SJIS_HIRA_A;
    const int length = Measure(h, text);
    EXPECT_EQ(gdi.textWidth(text), length);
    TestImage image(length, f->cellHeight, 32, 0);
    DrawInto(image, h, text, 0, 0, 0xFFFFFF, 0);
    std::vector<int> inkPerThird(3, 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < length; ++x) inkPerThird[x * 3 / length] += image.at(x, y) != 0;
    }
    for (int i = 0; i < 3; ++i) EXPECT_GT(inkPerThird[i], 10) << "character " << i;
    EXPECT_NE(inkPerThird[0], inkPerThird[1]);
}

TEST_F(JapaneseCodePage, ALatinOnlyFaceDrawsNothingForTwoByteCharactersButKeepsTheirAdvance) {
    // Under Wine a hiragana in a Latin-only face with the default charset comes back from GetGlyphOutlineA with
    // size 0: the glyph keeps its advance and draws nothing, in both cache modes.
    for (int texture = 0; texture < 2; ++texture) {
        SCOPED_TRACE(texture ? "texture" : "memory");
        SetUse3D(texture);
        const int h = Keep(CreateFontToHandle("DejaVu Sans", 16, -1, 1, 0, -1, 0, -1, -1));
        SetUse3D(1);
        ASSERT_NE(-1, h);
        const FontData* f = FontHandleToRecord(h);
        GdiFont gdi(f->fontObject);
        GLYPHMETRICS gm = {};
        MAT2 m = {};
        m.eM11.value = 1;
        m.eM22.value = 1;
        ASSERT_EQ(0u, GetGlyphOutlineA(gdi.dc(), 0x82A0, GGO_BITMAP, &gm, 0, nullptr, &m)) << "the empty case";
        const int length = Measure(h, "a" SJIS_HIRA_A "b");
        EXPECT_EQ(Measure(h, "ab") + (int)gm.gmCellIncX + 2, length);
        const FontGlyphSlot* hira = f->codeMap[0xA082].slot;
        ASSERT_NE(nullptr, hira);
        EXPECT_EQ(0, hira->width);
        EXPECT_EQ(0, hira->height);
        if (!texture) {
            TestImage image(length + 8, f->cellHeight, 32, 0);
            EXPECT_EQ(length, DrawInto(image, h, "a" SJIS_HIRA_A "b", 0, 0, 0xFFFFFF, 0xFF0000, 0));
        }
    }
}

class KoreanCodePage : public FontSuite {};

TEST_F(KoreanCodePage, DefaultCharsetIsHangeulAndEveryHighByteLeads) {
    ASSERT_EQ(949u, GetOEMCP()) << "the test runs under a Korean locale";
    const int h = MemoryFont(20, 0);
    ASSERT_NE(-1, h);
    const FontData* f = FontHandleToRecord(h);
    EXPECT_EQ(2, f->charsetIndex);
    GdiFont gdi(f->fontObject);
    printf("default face: %s (charset %d)\n", gdi.face().c_str(), (int)gdi.metrics().tmCharSet);

    // 0xB0 0xA1 is a two-byte character in code page 949; in Shift-JIS 0xB0 would stand alone.
    const char* text = "\xb0\xa1" "A";
    int count = 0;
    FontCharEntry entries[4];
    ASSERT_EQ(0, PrepareFontGlyphs(h, text, -1, entries, &count));
    EXPECT_EQ(2, count);
    EXPECT_EQ(0xB0, entries[0].bytes[0]);
    EXPECT_EQ(0xA1, entries[0].bytes[1]);
    EXPECT_EQ('A', entries[1].bytes[0]);
    const unsigned char high = 0xB0;
    EXPECT_EQ(1, IsLeadByte(&high, f->charsetIndex));
}

}  // namespace
