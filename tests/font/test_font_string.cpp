// String drawing on the memory path and measuring: pixels drawn into software images of each screen depth compared
// with a picture built from GDI's own glyph bitmaps and metrics, clips, vertical writing, the anti-aliased edged
// mix, the colour scale, every kind of length, and measured widths against GetTextExtentPoint32A.
#include "tests/font/font_test_support.h"

#include "graphics/draw.h"

namespace {

class FontString : public FontSuite {};

// What GDI says a string should look like: each glyph's ink (1) and, for edged fonts, its edge (2), placed at the
// pen plus GDI's offsets, glyph after glyph as the memory path writes them.
struct Reference {
    int width, height;
    std::vector<uint8_t> value;  // per pixel: 0 untouched, 1 body, 2 edge, 3 cleared (transFlag 0)
    Reference(int w, int h) : width(w), height(h), value((size_t)w * h, 0) {}
    uint8_t at(int x, int y) const { return value[(size_t)y * width + x]; }
};

Reference BuildReference(int handle, const char* text, int x, int y, int w, int h, bool clearBoxes = false,
                         const RECT* clip = nullptr) {
    const FontData* f = FontHandleToRecord(handle);
    GdiFont gdi(f->fontObject);
    const int e = FontEdge(f);
    Reference ref(w, h);
    RECT all = {0, 0, w, h};
    if (clip == nullptr) clip = &all;
    int pen = 0;
    int8_t pattern[200][2];
    const int patternCount = EdgePatternPositions(e, pattern, 200);
    for (unsigned code : CharCodes(text, f->charsetIndex)) {
        const GdiFont::Glyph g = gdi.glyph(code, false);
        const int left = x + pen + g.gm.gmptGlyphOrigin.x;
        const int top = y + gdi.metrics().tmAscent - g.gm.gmptGlyphOrigin.y;
        const int bw = (int)g.gm.gmBlackBoxX + 2 * e, bh = (int)g.gm.gmBlackBoxY + 2 * e;
        std::vector<uint8_t> local((size_t)bw * bh, 0);
        for (int gy = 0; gy < (int)g.gm.gmBlackBoxY && g.pitch; ++gy) {
            for (int gx = 0; gx < (int)g.gm.gmBlackBoxX; ++gx) {
                if (!g.pixel(gx, gy, false)) continue;
                local[(size_t)(gy + e) * bw + gx + e] = 1;
                for (int i = 0; i < patternCount; ++i) {
                    const int px = gx + e + pattern[i][0], py = gy + e + pattern[i][1];
                    uint8_t& v = local[(size_t)py * bw + px];
                    if (v != 1) v = 2;
                }
            }
        }
        const bool space = code == ' ' || code == 0x8140;
        if (!space && g.pitch) {
            for (int gy = 0; gy < bh; ++gy) {
                for (int gx = 0; gx < bw; ++gx) {
                    const int X = left + gx, Y = top + gy;
                    if (X < clip->left || Y < clip->top || X >= clip->right || Y >= clip->bottom) continue;
                    const uint8_t v = local[(size_t)gy * bw + gx];
                    if (v != 0) ref.value[(size_t)Y * w + X] = v;
                    else if (clearBoxes) ref.value[(size_t)Y * w + X] = 3;
                }
            }
        }
        pen += (int)g.gm.gmCellIncX + 2 * e + f->charGap;
    }
    return ref;
}

// Compares an image with the reference: body -> bodyPixel, edge -> edgePixel, cleared -> 0, untouched -> fill.
std::string CompareWithReference(const TestImage& image, const Reference& ref, uint32_t fill, uint32_t bodyPixel,
                                 uint32_t edgePixel) {
    int differences = 0;
    std::string first;
    for (int y = 0; y < ref.height; ++y) {
        for (int x = 0; x < ref.width; ++x) {
            const uint8_t v = ref.at(x, y);
            const uint32_t want = v == 1 ? bodyPixel : v == 2 ? edgePixel : v == 3 ? 0 : fill;
            if (image.at(x, y) != want) {
                if (++differences == 1) {
                    first = "(" + std::to_string(x) + "," + std::to_string(y) + ") is " + std::to_string(image.at(x, y)) +
                            ", expected " + std::to_string(want);
                }
            }
        }
    }
    return differences == 0 ? "" : first + "; " + std::to_string(differences) + " pixels differ";
}

constexpr uint32_t kFill = 0x00203040;

TEST_F(FontString, GlyphBoxesSitAtThePenPlusTheirOffsets) {
    const char* text = "Aj," SJIS_HALF_KA SJIS_KAN " " SJIS_HIRA_A SJIS_WIDE_SPACE "Q";
    const uint32_t C = RgbToScreenPixelImpl(255, 255, 255) & 0xFFFFFF;
    const uint32_t E = RgbToScreenPixelImpl(255, 0, 0) & 0xFFFFFF;
    const struct {
        int type, edge, gap;
    } cases[] = {{0, -1, 0}, {1, 1, 0}, {1, 2, 2}, {0, -1, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " edge " << c.edge << " gap " << c.gap);
        const int h = MemoryFont(20, c.type, c.edge);
        ASSERT_NE(-1, h);
        SetFontCharGapToHandle(c.gap, h);
        TestImage image(200, 40, 32, kFill);
        const int advance = DrawInto(image, h, text, 5, 3, (int)C, (int)E);
        EXPECT_EQ(Measure(h, text), advance);
        EXPECT_EQ("", CompareWithReference(image, BuildReference(h, text, 5, 3, 200, 40), kFill, C, E));
    }
}

TEST_F(FontString, SixteenAndEightBitScreens) {
    const char* text = "Hi" SJIS_KAN;
    {
        ScreenDepthOverride depth(16);
        const uint32_t C = RgbToScreenPixelImpl(255, 0, 0), E = RgbToScreenPixelImpl(0, 0, 255);
        ASSERT_EQ(0xF800u, C & 0xFFFF);
        for (int type = 0; type < 2; ++type) {
            SCOPED_TRACE(testing::Message() << "16-bit type " << type);
            const int h = MemoryFont(16, type, 1);
            TestImage image(80, 24, 16, 0x1234);
            DrawInto(image, h, text, 2, 2, (int)C, (int)E);
            EXPECT_EQ("", CompareWithReference(image, BuildReference(h, text, 2, 2, 80, 24), 0x1234, C & 0xFFFF,
                                               E & 0xFFFF));
        }
        // Anti-aliased types write 4-byte pixels, alpha in the third byte.
        const int aa = MemoryFont(16, 2);
        TestImage image(80, 24, 16, 0, true);
        DrawInto(image, aa, "W", 0, 0, (int)C, (int)E);
        int inked = 0;
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 80; ++x) {
                const uint32_t p = image.at(x, y);
                if (p == 0) continue;
                ++inked;
                EXPECT_EQ(0xF800u, p & 0xFFFF);
                EXPECT_EQ(0u, (p >> 16) & 0x0F) << "alpha is 16 x coverage";
                EXPECT_EQ(0u, p >> 24);
            }
        }
        EXPECT_GT(inked, 10);
    }
    {
        ScreenDepthOverride depth(8);
        const uint32_t C = RgbToScreenPixelImpl(255, 255, 255), E = RgbToScreenPixelImpl(0, 0, 0);
        ASSERT_NE(C, E);
        const int h = MemoryFont(16, 1, 1);
        TestImage image(80, 24, 8, 7);
        DrawInto(image, h, text, 2, 2, (int)C, (int)E);
        EXPECT_EQ("", CompareWithReference(image, BuildReference(h, text, 2, 2, 80, 24), 7, C & 0xFF, E & 0xFF));
        // Nothing of an anti-aliased font is drawn at 8 bits, but it still measures.
        SetUse3D(0);
        const int aa = Keep(CreateFontToHandle(nullptr, 16, -1, 2, -1, -1, 0, -1, -1));
        SetUse3D(1);
        ASSERT_EQ(0, FontHandleToRecord(aa)->fontType) << "made plain on an 8-bit display";
    }
}

TEST_F(FontString, TransFlagZeroClearsEachWholeGlyphBox) {
    const int h = MemoryFont(18, 1, 1);
    const uint32_t C = 0xFFFFFF, E = 0x0000FF;
    TestImage image(120, 30, 32, kFill);
    DrawInto(image, h, "MW" SJIS_KAN, 1, 1, (int)C, (int)E, 0);
    EXPECT_EQ("", CompareWithReference(image, BuildReference(h, "MW" SJIS_KAN, 1, 1, 120, 30, true), kFill, C, E));
}

TEST_F(FontString, ClipsCutGlyphsHorizontallyAndVertically) {
    const int h = MemoryFont(20, 1, 1);
    const char* text = "AB" SJIS_KAN;
    const uint32_t C = 0xFFFFFF, E = 0x00FF00;
    const RECT clips[] = {{7, 5, 30, 14}, {0, 0, 200, 9}, {13, 0, 14, 40}, {50, 10, 51, 11}};
    for (const RECT& clip : clips) {
        SCOPED_TRACE(testing::Message() << "clip " << clip.left << "," << clip.top << "," << clip.right << ","
                                        << clip.bottom);
        TestImage image(100, 40, 32, kFill);
        const int rect[4] = {clip.left, clip.top, clip.right, clip.bottom};
        DrawInto(image, h, text, 2, 2, (int)C, (int)E, 1, 0, rect);
        EXPECT_EQ("", CompareWithReference(image, BuildReference(h, text, 2, 2, 100, 40, false, &clip), kFill, C, E));

        // Vertical text against the same clip: the turned picture, clipped.
        TestImage vertical(40, 100, 32, kFill);
        DrawInto(vertical, h, text, 2, 2, (int)C, (int)E, 1, 1, rect);
        TestImage full(40, 100, 32, kFill);
        DrawInto(full, h, text, 2, 2, (int)C, (int)E, 1, 1);
        for (int y = 0; y < 100; ++y) {
            for (int x = 0; x < 40; ++x) {
                const bool inside = x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
                ASSERT_EQ(inside ? full.at(x, y) : kFill, vertical.at(x, y)) << x << "," << y;
            }
        }
    }
}

TEST_F(FontString, VerticalTextIsHorizontalTextTurnedAQuarterClockwise) {
    const char* text = "Fy" SJIS_KAN SJIS_HALF_KA;
    for (int type = 0; type < 4; ++type) {
        SCOPED_TRACE(testing::Message() << "type " << type);
        const int h = MemoryFont(20, type, 2);
        const int cell = FontHandleToRecord(h)->cellHeight;
        const int length = Measure(h, text);
        TestImage across(length, cell, 32, 0);
        TestImage down(cell, length, 32, 0);
        DrawInto(across, h, text, 0, 0, 0xFFFFFF, 0x0000FF);
        int size[2] = {0, 0};
        int all[4] = {0, 0, cell, length};
        EXPECT_EQ(length,
                  DrawFontString(1, 0, 0, 0, 1.0, 1.0, text, 0xFFFFFF, &down.image, all, 1, h, 0x0000FF, -1, 1, size));
        EXPECT_EQ(cell, size[0]);
        EXPECT_EQ(length, size[1]);
        int inked = 0;
        for (int hy = 0; hy < cell; ++hy) {
            for (int hx = 0; hx < length; ++hx) {
                inked += across.at(hx, hy) != 0;
                ASSERT_EQ(across.at(hx, hy), down.at(cell - 1 - hy, hx)) << hx << "," << hy;
            }
        }
        EXPECT_GT(inked, 20);
    }
}

TEST_F(FontString, AntialiasedEdgedMixOfBodySevenAndEdgeFifteen) {
    // A hand-made cache cell holding one pixel of body coverage 7 and edge coverage 15.
    const int h = MemoryFont(16, 3, 1);
    FontData* f = FontHandleToRecord(h);
    FontGlyphSlot slot = {};
    slot.inUse = 1;
    slot.cellIndex = 0;
    slot.width = 1;
    slot.height = 1;
    f->cachePixels[0] = 0xF7;
    TestImage image(4, 4, 32, 0);
    MemoryGlyphDraw draw = {};
    draw.font = f;
    draw.glyph = &slot;
    draw.destPixels = image.image.pixels;
    draw.destPitch = image.image.pitch;
    draw.screenBits = 32;
    draw.box = RECT{1, 1, 2, 2};
    draw.clipped = draw.box;
    draw.transFlag = 1;
    draw.bodyPixel = 0xFFFFFF;
    draw.edgePixel = 0x000000;
    DrawGlyphToMemory(draw);
    EXPECT_EQ(0xE87A7A7Au, image.at(1, 1)) << "alpha 232, t 123, channels 122";

    // The other cases of the type-3 rule, on the same pixel.
    const struct {
        uint8_t value;
        uint32_t want;
    } cases[] = {{0x0F, 0xFFFFFFFFu}, {0xF0, 0xF0000000u}, {0x30, 0x30000000u}};
    for (const auto& c : cases) {
        f->cachePixels[0] = c.value;
        DrawGlyphToMemory(draw);
        EXPECT_EQ(c.want, image.at(1, 1)) << "cell value " << (int)c.value;
    }
    // 16-bit: 5-6-5 fields, alpha in the third byte, the fourth kept.
    TestImage image16(4, 4, 16, 0xAB000000u, true);
    draw.destPixels = image16.image.pixels;
    draw.destPitch = image16.image.pitch;
    draw.screenBits = 16;
    draw.bodyPixel = 0xFFFF;
    f->cachePixels[0] = 0xF7;
    DrawGlyphToMemory(draw);
    // t = 123: red and blue 31 * 123 / 256 = 14, green 63 * 123 / 256 = 30.
    EXPECT_EQ(0xABE87000u | (14u << 11) | (30u << 5) | 14u, image16.at(1, 1));
    f->cachePixels[0] = 0;
    ClearGlyphCache(h);
}

TEST_F(FontString, AColourScaleDarkensBodyAndEdge) {
    const int h = MemoryFont(18, 1, 1);
    const uint32_t white = RgbToScreenPixelImpl(255, 255, 255), red = RgbToScreenPixelImpl(255, 0, 0);
    const unsigned int saved = GetDrawState().colorScale;
    SetDrawColorScaleRgb(0x808080);
    TestImage image(60, 24, 32, kFill);
    DrawInto(image, h, "OK", 1, 1, (int)white, (int)red);
    SetDrawColorScaleRgb(saved);
    EXPECT_EQ("", CompareWithReference(image, BuildReference(h, "OK", 1, 1, 60, 24), kFill, 0x808080, 0x800000));
}

TEST_F(FontString, LengthsNullAndEmptyStrings) {
    const int h = MemoryFont(16, 0);
    const FontData* f = FontHandleToRecord(h);
    int size[2] = {-7, -7};
    EXPECT_EQ(0, Measure(h, nullptr, -1, 0, size));
    EXPECT_EQ(0, Measure(h, "", -1, 0, size));
    EXPECT_EQ(-7, size[0]) << "null and empty strings leave the size alone";
    EXPECT_EQ(0, Measure(h, "ABC", 0, 0, size));
    EXPECT_EQ(0, size[0]);
    EXPECT_EQ(f->cellHeight, size[1]);
    EXPECT_EQ(0, Measure(h, "ABC", -5));

    const int a = Measure(h, "A"), ab = Measure(h, "AB"), kan = Measure(h, SJIS_KAN);
    EXPECT_EQ(ab, Measure(h, "ABC", 2));
    EXPECT_EQ(Measure(h, "ABC"), Measure(h, "ABC", 99)) << "a length past the end is the whole string";
    // A lead byte as the last counted byte still takes its trail byte.
    EXPECT_EQ(a + kan, Measure(h, "A" SJIS_KAN "B", 2));
    TestImage cut(60, 20, 32, 0), whole(60, 20, 32, 0);
    DrawInto(cut, h, "A" SJIS_KAN "B", 0, 0, 0xFFFFFF, 0, 1, 0, nullptr, 2);
    DrawInto(whole, h, "A" SJIS_KAN, 0, 0, 0xFFFFFF, 0);
    EXPECT_EQ(0, memcmp(cut.image.pixels, whole.image.pixels, (size_t)cut.image.pitch * 20));
}

// A text whose last byte is a lead byte, placed so that its terminator is the last readable byte before a page
// that may not be read: a read past the terminator ends the test with an access fault.
class TextBeforeAGuardPage {
public:
    explicit TextBeforeAGuardPage(const char* text) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        base_ = static_cast<char*>(VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        if (base_ != nullptr) VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
        const size_t size = strlen(text) + 1;
        text_ = base_ != nullptr ? base_ + page_ - size : nullptr;
        if (text_ != nullptr) memcpy(text_, text, size);
    }
    ~TextBeforeAGuardPage() {
        if (base_ != nullptr) VirtualFree(base_, 0, MEM_RELEASE);
    }
    const char* text() const { return text_; }

private:
    char* base_ = nullptr;
    char* text_ = nullptr;
    DWORD page_ = 0;
};

TEST_F(FontString, ALeadByteAtTheEndIsOneOneByteCharacter) {
    const char lead[] = "\x82";
    for (int type : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "font type " << type);
        const int h = MemoryFont(18, type, type == 1 ? 1 : -1);
        ASSERT_NE(-1, h);
        SetFontCharGapToHandle(1, h);
        const FontData* f = FontHandleToRecord(h);
        const TextBeforeAGuardPage guarded((std::string("A") + lead).c_str());
        ASSERT_NE(nullptr, guarded.text());

        // "A" then the lead byte as a character of its own: GDI's advance of that one-byte code, edges and gap.
        GdiFont gdi(f->fontObject);
        const int leadAdvance = (int)gdi.glyph(0x82, false).gm.gmCellIncX + 2 * FontEdge(f) + f->charGap;
        int size[2] = {};
        EXPECT_EQ(Measure(h, "A") + leadAdvance, Measure(h, guarded.text(), -1, 0, size));
        EXPECT_EQ(Measure(h, "A") + leadAdvance, size[0]);
        EXPECT_EQ(Measure(h, guarded.text()), Measure(h, guarded.text(), 2)) << "a length of the whole string";
        EXPECT_EQ(Measure(h, guarded.text()), Measure(h, guarded.text(), 5)) << "a length past the end";

        const uint32_t C = RgbToScreenPixelImpl(255, 255, 255) & 0xFFFFFF;
        const uint32_t E = RgbToScreenPixelImpl(0, 0, 255) & 0xFFFFFF;
        TestImage image(80, 30, 32, kFill);
        EXPECT_EQ(Measure(h, guarded.text()), DrawInto(image, h, guarded.text(), 2, 2, (int)C, (int)E));
        EXPECT_EQ("", CompareWithReference(image, BuildReference(h, guarded.text(), 2, 2, 80, 30), kFill, C, E));
        // Vertical writing walks the same characters.
        int tall[2] = {};
        Measure(h, guarded.text(), -1, 1, tall);
        EXPECT_EQ(Measure(h, "A") + leadAdvance, tall[1]);
    }
}

TEST_F(FontString, AThousandCharactersAreMeasuredAndDrawnWhole) {
    const int h = MemoryFont(16, 1, 1);
    std::string text;
    for (int i = 0; i < 1000; ++i) text += (i % 3 == 2) ? std::string(SJIS_KAN) : std::string(1, (char)('a' + i % 26));
    const int length = Measure(h, text.c_str());
    const FontData* f = FontHandleToRecord(h);
    GdiFont gdi(f->fontObject);
    const int chars = (int)CharCodes(text.c_str()).size();
    EXPECT_EQ(gdi.textWidth(text.c_str()) + 2 * chars, length);

    TestImage image(length + 4, 24, 32, kFill);
    EXPECT_EQ(length, DrawInto(image, h, text.c_str(), 0, 0, 0xFFFFFF, 0x00FF00));
    EXPECT_EQ("", CompareWithReference(image, BuildReference(h, text.c_str(), 0, 0, length + 4, 24), kFill,
                                       0xFFFFFF, 0x00FF00));
}

TEST_F(FontString, MoreNewGlyphsThanTheCacheHoldsStillDrawCorrectly) {
    const int h = MemoryFont(72, 0);
    ASSERT_LE(FontHandleToRecord(h)->capacity, 40);
    std::string text;
    for (int i = 0; i < 50; ++i) text += (char)('0' + i);
    const int length = Measure(h, text.c_str());
    TestImage image(length, 90, 32, kFill);
    DrawInto(image, h, text.c_str(), 0, 0, 0xFFFFFF, 0);
    EXPECT_EQ("", CompareWithReference(image, BuildReference(h, text.c_str(), 0, 0, length, 90), kFill, 0xFFFFFF, 0));
}

TEST_F(FontString, MeasuringMatchesGdiExtentsPlusEdgesAndGaps) {
    const char* texts[] = {"Hello, world", "A" SJIS_KAN "b" SJIS_HALF_KA SJIS_HIRA_A " x", SJIS_JI SJIS_KAN};
    const struct {
        int size, type, edge, gap;
    } fonts[] = {{12, 0, -1, 0}, {16, 1, 1, 0}, {22, 1, 3, 2}, {30, 2, -1, -1}, {26, 3, 2, 1}};
    for (const auto& c : fonts) {
        const int h = MemoryFont(c.size, c.type, c.edge);
        ASSERT_NE(-1, h);
        SetFontCharGapToHandle(c.gap, h);
        const FontData* f = FontHandleToRecord(h);
        GdiFont gdi(f->fontObject);
        const int e = FontEdge(f);
        for (const char* text : texts) {
            SCOPED_TRACE(testing::Message() << "size " << c.size << " type " << c.type << " text " << text);
            const int chars = (int)CharCodes(text).size();
            int size[2] = {0, 0};
            EXPECT_EQ(gdi.textWidth(text) + (2 * e + c.gap) * chars, Measure(h, text, -1, 0, size));
            EXPECT_EQ(f->cellHeight, size[1]);
        }
    }
}

TEST_F(FontString, ScalesHaveNoEffectOnAMemoryFont) {
    const int h = MemoryFont(16, 0);
    const int plain = Measure(h, "scale");
    EXPECT_EQ(plain, DrawFontString(0, 0, 0, 1, 2.0, 3.0, "scale", 0, nullptr, nullptr, 0, h, 0, -1, 0, nullptr));
    TestImage a(100, 20, 32, 0), b(100, 20, 32, 0);
    int all[4] = {0, 0, 100, 20};
    DrawFontString(1, 0, 0, 1, 2.0, 2.0, "scale", 0xFFFFFF, &b.image, all, 1, h, 0, -1, 0, nullptr);
    DrawInto(a, h, "scale", 0, 0, 0xFFFFFF, 0);
    EXPECT_EQ(0, memcmp(a.image.pixels, b.image.pixels, (size_t)a.image.pitch * 20));
}

}  // namespace
