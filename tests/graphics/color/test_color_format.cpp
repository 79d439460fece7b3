// Colour-format records and single-value conversions: filling from masks and DirectDraw formats, the standard
// formats, colour <-> pixel value in the drawing format (including the 8-bit palette search), and the built-in
// screen palette.
#include <gtest/gtest.h>

#include <string.h>

#include "graphics/color/color_format.h"
#include "graphics/graphics.h"
#include "graphics/color/memimg.h"
#include "tests/graphics/color/test_color_support.h"

namespace {

// Each test may change what colour lookups draw in; put the start-up description and palette back.
class DrawingFormatTest : public ::testing::Test {
protected:
    void SetUp() override { memcpy(savedPalette_, GetScreenPaletteEntries(), sizeof(savedPalette_)); }
    void TearDown() override {
        ResetDrawingFormatInfo();
        memcpy(GetScreenPaletteEntries(), savedPalette_, sizeof(savedPalette_));
    }
    static void UseScreen(const ColorFormat& f) { GetDrawingFormatInfo().screenFormat = f; }

private:
    PALETTEENTRY savedPalette_[256];
};

}  // namespace

TEST(ColorFormatMasks, WidthsShiftsAndNoneMask) {
    struct Case {
        int depth;
        uint32_t r, g, b, a;
        int widths[4], shifts[4];
        uint32_t noneMask;
        int noneShift, noneWidth;
    };
    const Case cases[] = {
        {16, 0xF800, 0x07E0, 0x001F, 0, {5, 6, 5, 0}, {11, 5, 0, 0}, 0, 0, 0},
        {32, 0xFF0000, 0xFF00, 0xFF, 0, {8, 8, 8, 0}, {16, 8, 0, 0}, 0xFF000000u, 24, 8},
        {16, 0x7C00, 0x03E0, 0x001F, 0, {5, 5, 5, 0}, {10, 5, 0, 0}, 0x8000u, 15, 1},
        {16, 0x7C00, 0x03E0, 0x001F, 0x8000, {5, 5, 5, 1}, {10, 5, 0, 15}, 0, 0, 0},
        {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, {8, 8, 8, 8}, {16, 8, 0, 24}, 0, 0, 0},
        {24, 0xFF0000, 0xFF00, 0xFF, 0, {8, 8, 8, 0}, {16, 8, 0, 0}, 0, 0, 0},
        // Software image 16-bit colour with alpha in bits 16-23: bits 24-31 belong to no channel.
        {32, 0xF800, 0x07E0, 0x001F, 0x00FF0000u, {5, 6, 5, 8}, {11, 5, 0, 16}, 0xFF000000u, 24, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        SCOPED_TRACE(c.r);
        const ColorFormat f = Masks(c.depth, c.r, c.g, c.b, c.a);
        EXPECT_EQ(c.depth, f.bitDepth);
        EXPECT_EQ(c.depth / 8, f.bytesPerPixel);
        EXPECT_EQ(c.widths[0], f.redWidth);
        EXPECT_EQ(c.widths[1], f.greenWidth);
        EXPECT_EQ(c.widths[2], f.blueWidth);
        EXPECT_EQ(c.widths[3], f.alphaWidth);
        EXPECT_EQ(c.shifts[0], f.redShift);
        EXPECT_EQ(c.shifts[1], f.greenShift);
        EXPECT_EQ(c.shifts[2], f.blueShift);
        EXPECT_EQ(c.shifts[3], f.alphaShift);
        EXPECT_EQ(c.noneMask, f.noneMask);
        EXPECT_EQ(c.noneShift, f.noneShift);
        EXPECT_EQ(c.noneWidth, f.noneWidth);
    }
}

TEST(ColorFormatMasks, DDPixelFormatRoundTrip) {
    DDPIXELFORMAT ddpf;
    memset(&ddpf, 0xCD, sizeof(ddpf));
    EXPECT_EQ(0, FillDDPixelFormatImpl(&ddpf, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u));
    EXPECT_EQ(32u, ddpf.dwSize);
    EXPECT_EQ(static_cast<DWORD>(DDPF_RGB), ddpf.dwFlags);  // no alpha flag even with an alpha mask
    EXPECT_EQ(0u, ddpf.dwFourCC);
    EXPECT_EQ(32u, ddpf.dwRGBBitCount);
    EXPECT_EQ(0xFF000000u, ddpf.dwRGBAlphaBitMask);

    ColorFormat f;
    memset(&f, 0, sizeof(f));
    EXPECT_EQ(0, SetColorFormatFromDDPixelFormat(&ddpf, &f));
    const ColorFormat expected = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
    EXPECT_EQ(1, IsColorFormatSame(&f, &expected));
    EXPECT_EQ(24, f.alphaShift);
    EXPECT_EQ(8, f.alphaWidth);

    // Only the low byte of the bit count is the depth.
    ddpf.dwRGBBitCount = 0x110;
    SetColorFormatFromDDPixelFormat(&ddpf, &f);
    EXPECT_EQ(16, f.bitDepth);
    EXPECT_EQ(2, f.bytesPerPixel);

    // A format without a colour channel is refused, but alpha and filler bits are optional.
    FillDDPixelFormatImpl(&ddpf, 16, 0xF800, 0x07E0, 0x001F, 0);
    EXPECT_EQ(0, SetColorFormatFromDDPixelFormat(&ddpf, &f));
    FillDDPixelFormatImpl(&ddpf, 16, 0, 0x07E0, 0x001F, 0);
    EXPECT_EQ(-1, SetColorFormatFromDDPixelFormat(&ddpf, &f));

    // A channel covering all 32 bits has width 32, not 0.
    FillDDPixelFormatImpl(&ddpf, 32, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0);
    SetColorFormatFromDDPixelFormat(&ddpf, &f);
    EXPECT_EQ(32, f.redWidth);
    EXPECT_EQ(0, f.redShift);
}

TEST(ColorFormatMasks, NoneMaskRepairAndSameness) {
    ColorFormat f = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
    f.noneMask = 0x1234;
    FixColorFormatNoneMask(&f);
    EXPECT_EQ(0xFF000000u, f.noneMask);

    ColorFormat full = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
    full.noneMask = 0x1234;
    FixColorFormatNoneMask(&full);
    EXPECT_EQ(0u, full.noneMask);

    const ColorFormat x888 = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
    ColorFormat x888OtherPalette = x888;
    x888OtherPalette.palette[3].red = 99;
    EXPECT_EQ(1, IsColorFormatSame(&x888, &x888OtherPalette));
    EXPECT_EQ(0, IsColorFormatSame(&x888, &full));
    const ColorFormat r565 = Masks(16, 0xF800, 0x07E0, 0x001F, 0);
    const ColorFormat r565as32 = Masks(32, 0xF800, 0x07E0, 0x001F, 0);
    EXPECT_EQ(0, IsColorFormatSame(&r565, &r565as32));
}

TEST(ColorFormatStandard, PaletteGreyAndRgb24) {
    ColorFormat f;
    memset(&f, 0, sizeof(f));
    f.palette[5] = ColorPaletteEntry{1, 2, 3, 4};
    EXPECT_EQ(0, SetPaletteColorFormat(&f));
    EXPECT_EQ(8, f.bitDepth);
    EXPECT_EQ(1, f.bytesPerPixel);
    EXPECT_EQ(0x00FF0000u, f.redMask);
    EXPECT_EQ(0xFF000000u, f.noneMask);
    EXPECT_EQ(16, f.redShift);
    EXPECT_EQ(0, f.alphaWidth);
    EXPECT_EQ(3, f.palette[5].red);  // the caller's palette is kept

    EXPECT_EQ(0, SetGreyPaletteColorFormat(&f));
    for (int i : {0, 1, 128, 255}) {
        uint32_t v;
        memcpy(&v, &f.palette[i], 4);
        EXPECT_EQ(static_cast<uint32_t>(i) * 0x010101u, v) << i;
    }

    EXPECT_EQ(0, SetRgb24ColorFormat(&f));
    EXPECT_EQ(24, f.bitDepth);
    EXPECT_EQ(3, f.bytesPerPixel);
    EXPECT_EQ(0u, f.noneMask);
    EXPECT_EQ(0xFFu, f.blueMask);
}

TEST(ColorFormatValues, RgbaToFormatValue) {
    const ColorFormat x888 = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
    const ColorFormat r565 = Masks(16, 0xF800, 0x07E0, 0x001F, 0);
    const ColorFormat a1555 = Masks(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
    const ColorFormat x1555 = Masks(16, 0x7C00, 0x03E0, 0x001F, 0);
    // A Z-buffer-like single 16-bit channel: 8-bit inputs must be widened, never shifted by a negative amount.
    const ColorFormat wide = Masks(16, 0xFFFF, 0, 0, 0);
    struct Case {
        const ColorFormat* f;
        int r, g, b, a;
        uint32_t expected;
    };
    const Case cases[] = {
        {&x888, 255, 255, 255, 255, 0xFFFFFFFFu},
        {&x888, 0x12, 0x34, 0x56, 0, 0xFF123456u},  // filler bits come out set
        {&r565, 8, 4, 8, 0, 0x0821},
        {&r565, 255, 255, 255, 0, 0xFFFF},
        {&r565, 7, 3, 7, 0, 0x0000},                // low bits dropped
        {&a1555, 255, 0, 0, 255, 0xFC00},
        {&a1555, 255, 0, 0, 127, 0x7C00},
        {&x1555, 0, 0, 0, 0, 0x8000},
        {&wide, 255, 0, 0, 0, 0xFFFF},
        {&wide, 128, 0, 0, 0, 0x8080},
        {&wide, 1, 0, 0, 0, 0x0101},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, RgbaToFormatValue(c.f, c.r, c.g, c.b, c.a))
            << c.r << "," << c.g << "," << c.b << "," << c.a << " depth " << c.f->bitDepth;
    }
}

TEST(ColorFormatValues, ConvertFormatValue) {
    const ColorFormat x888 = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
    const ColorFormat a888 = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
    const ColorFormat r565 = Masks(16, 0xF800, 0x07E0, 0x001F, 0);
    const ColorFormat a1555 = Masks(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
    struct Case {
        const ColorFormat* dst;
        const ColorFormat* src;
        uint32_t value, expected;
    };
    const Case cases[] = {
        {&x888, &r565, 0xFFFF, 0xFFF8FCF8u},   // widened by shifting, filler set
        {&r565, &x888, 0x00C86432u, 0xCB26},   // (25, 25, 6)
        {&a888, &r565, 0x0000, 0xFF000000u},   // no source alpha: full alpha
        {&a1555, &a888, 0x80FF0000u, 0xFC00},  // alpha 0x80 keeps its top bit
        {&a1555, &a888, 0x7FFF0000u, 0x7C00},
        {&a888, &a1555, 0x8000, 0x80000000u},  // 1-bit alpha widened by shifting
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, ConvertFormatValue(c.dst, c.src, c.value)) << std::hex << c.value;
    }
}

TEST_F(DrawingFormatTest, StartsAsX8R8G8B8) {
    EXPECT_EQ(0xFFFFFFFFu, RgbToScreenPixelImpl(255, 255, 255));
    EXPECT_EQ(0xFF123456u, RgbToScreenPixelImpl(0x12, 0x34, 0x56));
    int r = -1, g = -1, b = -1;
    EXPECT_EQ(0, ScreenPixelToRgb(0xFF123456u, &r, &g, &b));
    EXPECT_EQ(0x12, r);
    EXPECT_EQ(0x34, g);
    EXPECT_EQ(0x56, b);
}

TEST_F(DrawingFormatTest, SixteenBitScreen) {
    UseScreen(Masks(16, 0xF800, 0x07E0, 0x001F, 0));
    EXPECT_EQ(0x0821u, RgbToScreenPixelImpl(8, 4, 8));
    EXPECT_EQ(0x0821u, RgbToScreenPixelImpl(256 + 8, 512 + 4, 8));  // taken modulo 256
    struct Case {
        uint32_t value;
        int r, g, b;
    };
    const Case cases[] = {{0xFFFF, 255, 255, 255}, {0x0821, 8, 4, 8}, {0x0000, 0, 0, 0}, {0xF800, 255, 0, 0}};
    for (const Case& c : cases) {
        int r = -1, g = -1, b = -1;
        EXPECT_EQ(0, ScreenPixelToRgb(c.value, &r, &g, &b));
        EXPECT_EQ(c.r, r) << std::hex << c.value;
        EXPECT_EQ(c.g, g) << std::hex << c.value;
        EXPECT_EQ(c.b, b) << std::hex << c.value;
    }
}

TEST_F(DrawingFormatTest, SoftwareImageDrawingUsesTheImageLayout) {
    UseScreen(Masks(16, 0x7C00, 0x03E0, 0x001F, 0));
    EXPECT_EQ(0x8000u | 0x7C00u, RgbToScreenPixelImpl(255, 0, 0));  // the screen's 5:5:5 with its filler bit
    GetDrawingFormatInfo().memImgDrawing = 1;
    GetDrawingFormatInfo().imageColorBits = 16;
    EXPECT_EQ(0xF800u, RgbToScreenPixelImpl(255, 0, 0));
    int r, g, b;
    ScreenPixelToRgb(0x07E0, &r, &g, &b);
    EXPECT_EQ(255, g);
    GetDrawingFormatInfo().imageColorBits = 32;
    EXPECT_EQ(0xFFFF0000u, RgbToScreenPixelImpl(255, 0, 0));
}

TEST_F(DrawingFormatTest, EightBitScreenSearchesThePalette) {
    ColorFormat eight;
    memset(&eight, 0, sizeof(eight));
    SetPaletteColorFormat(&eight);
    UseScreen(eight);
    PALETTEENTRY* entries = GetScreenPaletteEntries();
    for (int i = 0; i < 256; ++i) entries[i] = PALETTEENTRY{255, 255, 255, 0};
    entries[3] = PALETTEENTRY{110, 100, 100, 0};
    entries[7] = PALETTEENTRY{100, 100, 100, 0};
    entries[9] = PALETTEENTRY{0, 0, 0, 0};
    EXPECT_EQ(3u, RgbToScreenPixelImpl(105, 100, 100));  // exactly between 3 and 7: the lower index
    EXPECT_EQ(7u, RgbToScreenPixelImpl(99, 100, 100));
    EXPECT_EQ(9u, RgbToScreenPixelImpl(10, 0, 0));
    EXPECT_EQ(0u, RgbToScreenPixelImpl(255, 255, 255));

    int r = -1, g = -1, b = -1;
    EXPECT_EQ(0, ScreenPixelToRgb(3, &r, &g, &b));
    EXPECT_EQ(110, r);
    r = g = b = -7;
    EXPECT_EQ(-1, ScreenPixelToRgb(256, &r, &g, &b));
    EXPECT_EQ(-7, r);  // nothing written
    EXPECT_EQ(-7, g);
    EXPECT_EQ(-7, b);
}

TEST(ScreenPalette, BuiltInTableRunsFromBlackToWhite) {
    const PALETTEENTRY* e = GetScreenPaletteEntries();
    struct Fixed {
        int index, r, g, b;
    };
    const Fixed fixed[] = {{0, 0, 0, 0}, {1, 14, 0, 0}, {16, 0, 0, 139}, {160, 128, 128, 128}, {255, 255, 255, 255}};
    for (const Fixed& f : fixed) {
        EXPECT_EQ(f.r, e[f.index].peRed) << f.index;
        EXPECT_EQ(f.g, e[f.index].peGreen) << f.index;
        EXPECT_EQ(f.b, e[f.index].peBlue) << f.index;
        EXPECT_EQ(0, e[f.index].peFlags) << f.index;
    }
    // Roughly ordered by brightness: the darker half really is darker.
    auto brightness = [](const PALETTEENTRY& p) { return p.peRed * 299 + p.peGreen * 587 + p.peBlue * 114; };
    long lowHalf = 0, highHalf = 0;
    for (int i = 0; i < 128; ++i) lowHalf += brightness(e[i]);
    for (int i = 128; i < 256; ++i) highHalf += brightness(e[i]);
    EXPECT_LT(lowHalf * 2, highHalf);
    // Distinct colours: a palette of repeats would waste entries.
    int repeats = 0;
    for (int i = 0; i < 256; ++i) {
        for (int j = i + 1; j < 256; ++j) {
            if (e[i].peRed == e[j].peRed && e[i].peGreen == e[j].peGreen && e[i].peBlue == e[j].peBlue) ++repeats;
        }
    }
    EXPECT_EQ(0, repeats);
}

TEST(ScreenPalette, NothingIsMadeWithoutDisplayObjectOrOutsideEightBits) {
    ScreenPaletteTarget none = {nullptr, nullptr, nullptr, 1};
    EXPECT_EQ(0, CreateScreenPalette(none));
    EXPECT_EQ(nullptr, GetScreenPaletteObject());
    EXPECT_EQ(0, RefreshScreenPalette());
    EXPECT_EQ(0, ReleaseScreenPalette());
}

TEST_F(DrawingFormatTest, PublicEntriesReachTheInnerFunctions) {
    UseScreen(Masks(16, 0xF800, 0x07E0, 0x001F, 0));
    EXPECT_EQ(0x0821, RgbToScreenPixel(8, 4, 8));
    ColorFormat f;
    EXPECT_EQ(0, SetColorFormatFromMasks(&f, 16, 0x7C00, 0x03E0, 0x001F, 0x8000));
    EXPECT_EQ(15, f.alphaShift);
    DDPIXELFORMAT dd;
    EXPECT_EQ(0, FillDDPixelFormat(&dd, 16, 0x7C00, 0x03E0, 0x001F, 0x8000));
    EXPECT_EQ(0x8000u, dd.dwRGBAlphaBitMask);
    EXPECT_EQ(0x03E0u, dd.dwGBitMask);
}

TEST_F(DrawingFormatTest, ScreenPaletteObjectFollowsTheKeptEntries) {
    IDirectDraw7* dd = nullptr;
    ASSERT_EQ(DD_OK, DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&dd), IID_IDirectDraw7, nullptr));
    ASSERT_EQ(DD_OK, dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL));
    const ScreenPaletteTarget target = {dd, nullptr, nullptr, 1};

    // Only an 8-bit screen gets a palette.
    EXPECT_EQ(0, CreateScreenPalette(target));
    EXPECT_EQ(nullptr, GetScreenPaletteObject());

    ColorFormat eight;
    memset(&eight, 0, sizeof(eight));
    SetPaletteColorFormat(&eight);
    UseScreen(eight);
    GetDrawingFormatInfo().imageColorBits = 8;
    GetScreenPaletteEntries()[1] = PALETTEENTRY{1, 2, 3, 0};  // reseeded from the built-in table
    EXPECT_EQ(0, CreateScreenPalette(target));
    IDirectDrawPalette* palette = GetScreenPaletteObject();
    ASSERT_NE(nullptr, palette);
    EXPECT_EQ(0, CreateScreenPalette(target));  // a second call keeps the first object
    EXPECT_EQ(palette, GetScreenPaletteObject());
    PALETTEENTRY read[256];
    ASSERT_EQ(DD_OK, palette->GetEntries(0, 0, 256, read));
    EXPECT_EQ(14, read[1].peRed);
    EXPECT_EQ(139, read[16].peBlue);

    GetScreenPaletteEntries()[40] = PALETTEENTRY{9, 8, 7, 0};
    EXPECT_EQ(0, RefreshScreenPalette());
    ASSERT_EQ(DD_OK, palette->GetEntries(0, 0, 256, read));
    EXPECT_EQ(9, read[40].peRed);
    EXPECT_EQ(7, read[40].peBlue);

    // After a device loss the palette is made again with the entries it had, not the built-in ones.
    EXPECT_EQ(0, ReleaseScreenPalette());
    EXPECT_EQ(nullptr, GetScreenPaletteObject());
    EXPECT_EQ(0, RestoreScreenPalette(target));
    ASSERT_NE(nullptr, GetScreenPaletteObject());
    ASSERT_EQ(DD_OK, GetScreenPaletteObject()->GetEntries(0, 0, 256, read));
    EXPECT_EQ(9, read[40].peRed);
    EXPECT_EQ(9, GetScreenPaletteEntries()[40].peRed);
    EXPECT_EQ(0, ReleaseScreenPalette());
    dd->Release();
}
