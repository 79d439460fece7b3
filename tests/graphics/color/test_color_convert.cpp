// ColorFormatConvertBlt on small buffers whose rows are wider than the copied rectangle and that carry guard
// bytes: every format pair the conversion names, keyed, mirrored and dithered copies, alpha images, the palette
// index copy, the refusals, and the vector row loops against their portable forms. The tables of pairs and dither
// cases run once on each row-loop form the processor has (portable, SSE2, SSSE3).
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "graphics/color/color_convert.h"
#include "graphics/color/color_convert_rows.h"
#include "graphics/color/memimg.h"
#include "tests/graphics/color/test_color_support.h"

namespace {

const ColorFormat kR565 = Masks(16, 0xF800, 0x07E0, 0x001F, 0);
const ColorFormat kX555 = Masks(16, 0x7C00, 0x03E0, 0x001F, 0);
const ColorFormat kA555 = Masks(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
const ColorFormat kX888 = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
const ColorFormat kA888 = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);

ColorFormat Rgb24() {
    ColorFormat f;
    memset(&f, 0, sizeof(f));
    SetRgb24ColorFormat(&f);
    return f;
}
const ColorFormat kRgb24 = Rgb24();

// Palette: 0 black, 1 white, 2 (200, 100, 50), 3 magenta (the key colour of the keyed cases), 200 and 7 grey.
ColorFormat Palette() {
    ColorFormat f;
    memset(&f, 0, sizeof(f));
    SetPaletteColorFormat(&f);
    f.palette[1] = ColorPaletteEntry{255, 255, 255, 0};
    f.palette[2] = ColorPaletteEntry{50, 100, 200, 0};
    f.palette[3] = ColorPaletteEntry{255, 0, 255, 0};
    return f;
}
const ColorFormat kP8 = Palette();

// Pixel layouts of software images.
const ColorFormat& Mem16Alpha() { return *GetMemImageColorFormat(kMemImgColor16, 1, 0); }
const ColorFormat& MemChannel8() { return *GetMemImageColorFormat(kMemImgChannel8, 0, 0); }
const ColorFormat& MemDepth16() { return *GetMemImageColorFormat(kMemImgDepth16, 0, 0); }

constexpr uint32_t kMagentaKey = 0x00FF00FFu;

// Runs a test with the row loops' Fast entries forced onto one form; a form the processor lacks is skipped.
class OnEveryRowPath : public testing::TestWithParam<int> {
protected:
    void SetUp() override {
        if (GetParam() > convert_rows::MachineRowPath()) GTEST_SKIP() << "this processor lacks the form";
        convert_rows::ForceRowPathForTests(GetParam());
        ASSERT_EQ(GetParam(), convert_rows::ActiveRowPath());
    }
    void TearDown() override { convert_rows::ForceRowPathForTests(convert_rows::MachineRowPath()); }
};

std::string RowPathName(const testing::TestParamInfo<int>& info) {
    static const char* const names[] = {"Portable", "Sse2", "Ssse3"};
    return names[info.param];
}

// A pixel buffer with 16 guard bytes on each side and 5 spare bytes at the end of every row.
struct Buffer {
    static constexpr int kGuard = 16;
    static constexpr int kSpare = 5;
    const ColorFormat* format;
    int width, height, pitch;
    std::vector<uint8_t> bytes;

    Buffer(const ColorFormat& f, int w, int h, uint8_t fill = 0xA5)
        : format(&f), width(w), height(h), pitch(w * f.bytesPerPixel + kSpare),
          bytes(2 * kGuard + static_cast<size_t>(pitch) * h, fill) {}
    uint8_t* Pixels() { return bytes.data() + kGuard; }
    uint8_t* At(int x, int y) { return Pixels() + y * pitch + x * format->bytesPerPixel; }
    uint32_t Get(int x, int y) {
        uint32_t v = 0;
        memcpy(&v, At(x, y), format->bytesPerPixel);
        return v;
    }
    void Set(int x, int y, uint32_t v) { memcpy(At(x, y), &v, format->bytesPerPixel); }
    void Fill(uint32_t v) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) Set(x, y, v);
        }
    }
};

struct Flags {
    int mirror = 0, keyToAlpha = 0;
    uint32_t key = 0;
    int dither = 0, zeroColor = 0, alphaFromRed = 0, skipKey = 0;
};

int Convert(Buffer& dst, int dstX, int dstY, Buffer& src, RECT rect, const Flags& f = Flags(),
            Buffer* alpha = nullptr) {
    return ColorFormatConvertBlt(dst.Pixels(), dst.pitch, dst.format, src.Pixels(), src.pitch, src.format,
                                 alpha ? alpha->Pixels() : nullptr, alpha ? alpha->pitch : 0,
                                 alpha ? alpha->format : nullptr, dstX, dstY, &rect, f.mirror, f.keyToAlpha, f.key,
                                 f.dither, f.zeroColor, f.alphaFromRed, f.skipKey);
}

// Every byte outside the destination rectangle (guards, row spares, other pixels) must be as before.
void ExpectOnlyRectWritten(const std::vector<uint8_t>& before, Buffer& after, int x0, int y0, int w, int h) {
    const int bpp = after.format->bytesPerPixel;
    for (size_t i = 0; i < before.size(); ++i) {
        const long offset = static_cast<long>(i) - Buffer::kGuard;
        bool inside = false;
        if (offset >= 0 && offset < static_cast<long>(after.pitch) * after.height) {
            const int y = static_cast<int>(offset / after.pitch);
            const int xb = static_cast<int>(offset % after.pitch);
            inside = y >= y0 && y < y0 + h && xb >= x0 * bpp && xb < (x0 + w) * bpp;
        }
        if (!inside) {
            ASSERT_EQ(before[i], after.bytes[i]) << "byte " << i << " outside the rectangle changed";
        }
    }
}

uint32_t Px565(uint32_t r, uint32_t g, uint32_t b) { return (r << 11) | (g << 5) | b; }

struct PairCase {
    const char* name;
    const ColorFormat* src;
    uint32_t srcPixel;
    const ColorFormat* dst;
    uint32_t expected;
    Flags flags;
};

Flags Keyed(uint32_t key) {
    Flags f;
    f.keyToAlpha = 1;
    f.key = key;
    return f;
}

Flags SingleChannel() {
    Flags f;
    f.zeroColor = 1;
    f.alphaFromRed = 1;
    return f;
}

// Runs one case on a 2 x 2 rectangle at (1, 1) of a 4 x 3 source, written to (2, 1) of a 5 x 4 destination.
void RunPairCase(const PairCase& c) {
    SCOPED_TRACE(c.name);
    Buffer src(*c.src, 4, 3, 0x00);
    for (int y = 1; y < 3; ++y) {
        for (int x = 1; x < 3; ++x) src.Set(x, y, c.srcPixel);
    }
    Buffer dst(*c.dst, 5, 4);
    const std::vector<uint8_t> before = dst.bytes;
    ASSERT_EQ(0, Convert(dst, 2, 1, src, RECT{1, 1, 3, 3}, c.flags));
    for (int y = 1; y < 3; ++y) {
        for (int x = 2; x < 4; ++x) EXPECT_EQ(c.expected, dst.Get(x, y)) << std::hex << "pixel " << x << "," << y;
    }
    ExpectOnlyRectWritten(before, dst, 2, 1, 2, 2);
}

class ConvertPairs : public OnEveryRowPath {};
class ConvertDither : public OnEveryRowPath {};
class ConvertRows : public OnEveryRowPath {};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Forms, ConvertPairs,
                         testing::Values(convert_rows::kRowPathPortable, convert_rows::kRowPathSse2,
                                         convert_rows::kRowPathSsse3),
                         RowPathName);
INSTANTIATE_TEST_SUITE_P(Forms, ConvertDither,
                         testing::Values(convert_rows::kRowPathPortable, convert_rows::kRowPathSse2,
                                         convert_rows::kRowPathSsse3),
                         RowPathName);
// The row tests hold each vector form against the portable one.
INSTANTIATE_TEST_SUITE_P(Forms, ConvertRows, testing::Values(convert_rows::kRowPathSse2, convert_rows::kRowPathSsse3),
                         RowPathName);

// The colour (200, 100, 50) in every layout: R5G6B5 (25, 25, 6) = 0xCB26, 5:5:5 (25, 12, 6) = 0x6586. Widening
// in the general conversion repeats the bits (25 -> 205 in 5 bits, 25 -> 101 in 6, 6 -> 49, 12 -> 98); the fixed
// rules of R5G6B5 and X1R5G5B5 sources shift instead.
TEST_P(ConvertPairs, EveryNamedPair) {
    const ColorFormat& m16a = Mem16Alpha();
    const PairCase cases[] = {
        {"P8>R565", &kP8, 2, &kR565, 0xCB26, {}},
        {"P8>X555", &kP8, 2, &kX555, 0xE586, {}},
        {"P8>A555", &kP8, 2, &kA555, 0xE586, {}},
        {"P8>X888", &kP8, 2, &kX888, 0xFFC86432u, {}},
        {"P8>A888", &kP8, 2, &kA888, 0xFFC86432u, {}},
        {"P8>RGB24", &kP8, 2, &kRgb24, 0xC86432u, {}},
        {"P8>Mem16A", &kP8, 2, &m16a, 0xFFFFCB26u, {}},
        {"RGB24>R565", &kRgb24, 0xC86432u, &kR565, 0xCB26, {}},
        {"RGB24>X555", &kRgb24, 0xC86432u, &kX555, 0xE586, {}},
        {"RGB24>A555", &kRgb24, 0xC86432u, &kA555, 0xE586, {}},
        {"RGB24>X888", &kRgb24, 0xC86432u, &kX888, 0xFFC86432u, {}},
        {"RGB24>A888", &kRgb24, 0xC86432u, &kA888, 0xFFC86432u, {}},
        {"RGB24>RGB24", &kRgb24, 0xC86432u, &kRgb24, 0xC86432u, {}},
        {"R565>RGB24", &kR565, 0xCB26, &kRgb24, 0xC86430u, {}},
        {"R565>X888", &kR565, 0xCB26, &kX888, 0x00C86430u, {}},
        {"R565>X555", &kR565, 0xCB26, &kX555, 0x6586, {}},
        {"R565>A888", &kR565, 0xCB26, &kA888, 0xFFCD6531u, {}},
        {"R565>A555", &kR565, 0xCB26, &kA555, 0xE586, {}},
        {"R565>Mem16A", &kR565, 0xCB26, &m16a, 0xFFFFCB26u, {}},
        {"R565>R565", &kR565, 0xCB26, &kR565, 0xCB26, {}},
        {"X555>R565", &kX555, 0xE586, &kR565, 0xCB06, {}},
        {"X555>X888", &kX555, 0xE586, &kX888, 0xFFCD6231u, {}},
        {"X555>A555", &kX555, 0xE586, &kA555, 0xE586, {}},
        {"X888>R565", &kX888, 0x7FC86432u, &kR565, 0xCB26, {}},
        {"X888>X555", &kX888, 0x00C86432u, &kX555, 0xE586, {}},
        {"X888>A555", &kX888, 0x00C86432u, &kA555, 0xE586, {}},
        {"X888>A888", &kX888, 0x00C86432u, &kA888, 0xFFC86432u, {}},
        {"X888>RGB24", &kX888, 0x00C86432u, &kRgb24, 0xC86432u, {}},
        {"X888>X888", &kX888, 0x12C86432u, &kX888, 0x12C86432u, {}},
        {"A888>A555 opaque", &kA888, 0x80C86432u, &kA555, 0xE586, {}},
        {"A888>A555 clear", &kA888, 0x7FC86432u, &kA555, 0x6586, {}},
        {"A888>X888", &kA888, 0x80C86432u, &kX888, 0xFFC86432u, {}},
        {"A888>R565", &kA888, 0x80C86432u, &kR565, 0xCB26, {}},
        {"A888>Mem16A", &kA888, 0x80C86432u, &m16a, 0xFF80CB26u, {}},
        {"Mem16A>A888", &m16a, 0x0080CB26u, &kA888, 0x80CD6531u, {}},
        // Edge values: 5 bits widen to 8 as 31 -> 255 and 1 -> 8; the fixed R5G6B5 rule gives 248 for 31;
        // X1R5G5B5 0x0021 becomes 0x0061 (green 1 -> 3).
        {"widen 5->8", &kX555, 0x7C01, &kX888, 0xFFFF0008u, {}},
        {"fixed 565->888", &kR565, 0xF801, &kX888, 0x00F80008u, {}},
        {"fixed 555->565", &kX555, 0x0021, &kR565, 0x0061, {}},
        // Single-channel software images take the red channel, scaled to their width.
        {"X888>Channel8", &kX888, 0x00C86432u, &MemChannel8(), 0xC8, SingleChannel()},
        {"R565>Channel8", &kR565, 0xCB26, &MemChannel8(), 0xCD, SingleChannel()},
        {"P8>Channel8", &kP8, 2, &MemChannel8(), 0xC8, SingleChannel()},
        {"X888>Depth16", &kX888, 0x00C86432u, &MemDepth16(), 0xC8C8, SingleChannel()},
        {"X888>Depth16 max", &kX888, 0x00FF0000u, &MemDepth16(), 0xFFFF, SingleChannel()},
    };
    for (const PairCase& c : cases) RunPairCase(c);
}

TEST_P(ConvertPairs, KeyToAlpha) {
    const PairCase cases[] = {
        // Same colour layout: only the alpha bits change; 32-bit pixels ignore their top byte.
        {"X888>A888 key", &kX888, 0x00FF00FFu, &kA888, 0x00FF00FFu, Keyed(kMagentaKey)},
        {"X888>A888 key, top byte", &kX888, 0xAAFF00FFu, &kA888, 0x00FF00FFu, Keyed(kMagentaKey)},
        {"X888>A888 other", &kX888, 0x00FF00FEu, &kA888, 0xFFFF00FEu, Keyed(kMagentaKey)},
        // A key-coloured 5:5:5 pixel is transparent whether or not its filler bit is set.
        {"X555>A555 key", &kX555, 0x7C1F, &kA555, 0x7C1F, Keyed(kMagentaKey)},
        {"X555>A555 key, filler", &kX555, 0xFC1F, &kA555, 0x7C1F, Keyed(kMagentaKey)},
        {"X555>A555 other", &kX555, 0x7C1E, &kA555, 0xFC1E, Keyed(kMagentaKey)},
        // Fixed rules.
        {"P8>A888 key", &kP8, 3, &kA888, 0x00FF00FFu, Keyed(kMagentaKey)},
        {"P8>A888 other", &kP8, 2, &kA888, 0xFFC86432u, Keyed(kMagentaKey)},
        {"P8>A555 key", &kP8, 3, &kA555, 0x7C1F, Keyed(kMagentaKey)},
        {"P8>A555 other", &kP8, 2, &kA555, 0xE586, Keyed(kMagentaKey)},
        {"RGB24>A555 near key", &kRgb24, 0xFA03FCu, &kA555, 0x7C1F, Keyed(kMagentaKey)},
        {"RGB24>A555 other", &kRgb24, 0xC86432u, &kA555, 0xE586, Keyed(kMagentaKey)},
        {"RGB24>A888 key", &kRgb24, 0xFF00FFu, &kA888, 0x00FF00FFu, Keyed(kMagentaKey)},
        {"RGB24>A888 near key", &kRgb24, 0xFA03FCu, &kA888, 0xFFFA03FCu, Keyed(kMagentaKey)},
        {"R565>A555 key", &kR565, 0xF81F, &kA555, 0x7C1F, Keyed(kMagentaKey)},
        {"R565>A555 green lsb", &kR565, 0xF83F, &kA555, 0x7C1F, Keyed(kMagentaKey)},
        {"R565>A555 other", &kR565, 0xCB26, &kA555, 0xE586, Keyed(kMagentaKey)},
        // General conversion: compared after conversion into the destination layout.
        {"X888>A555 near key", &kX888, 0x00FA03FCu, &kA555, 0x7C1F, Keyed(kMagentaKey)},
        {"R565>A888 key", &kR565, 0xF81F, &kA888, 0x00FF00FFu, Keyed(kMagentaKey)},
        {"R565>A888 other", &kR565, 0xF81E, &kA888, 0xFFFF00F6u, Keyed(kMagentaKey)},
        // Ignored without a destination alpha, and when the source brings its own alpha.
        {"X888>R565 no alpha", &kX888, 0x00FF00FFu, &kR565, 0xF81F, Keyed(kMagentaKey)},
        {"A888>A888 own alpha", &kA888, 0x12FF00FFu, &kA888, 0x12FF00FFu, Keyed(kMagentaKey)},
    };
    for (const PairCase& c : cases) RunPairCase(c);
}

TEST(ConvertPalette, IndexCopyReturnsLargestIndex) {
    Buffer src(kP8, 3, 2, 0);
    src.Set(0, 0, 3);
    src.Set(1, 0, 200);
    src.Set(2, 0, 7);
    src.Set(0, 1, 9);  // outside the rectangle
    Buffer dst(kP8, 4, 2);
    const std::vector<uint8_t> before = dst.bytes;
    EXPECT_EQ(200, Convert(dst, 1, 0, src, RECT{0, 0, 3, 1}));
    EXPECT_EQ(3u, dst.Get(1, 0));
    EXPECT_EQ(200u, dst.Get(2, 0));
    EXPECT_EQ(7u, dst.Get(3, 0));
    ExpectOnlyRectWritten(before, dst, 1, 0, 3, 1);

    Buffer zeros(kP8, 2, 1, 0);
    Buffer dst2(kP8, 2, 1);
    EXPECT_EQ(0, Convert(dst2, 0, 0, zeros, RECT{0, 0, 2, 1}));
}

TEST(ConvertRefusals, NothingIsWritten) {
    Buffer src(kX888, 3, 3, 0x11);
    struct Case {
        const char* name;
        const ColorFormat* dst;
        RECT rect;
        int dstX, dstY;
    };
    const Case cases[] = {
        {"zero width", &kR565, RECT{1, 0, 1, 2}, 0, 0},
        {"zero height", &kR565, RECT{0, 2, 2, 2}, 0, 0},
        {"inverted", &kR565, RECT{2, 0, 1, 2}, 0, 0},
        {"palette destination fed from 32-bit", &kP8, RECT{0, 0, 2, 2}, 0, 0},
        {"negative source corner", &kR565, RECT{-1, 0, 1, 1}, 0, 0},
        {"negative destination", &kR565, RECT{0, 0, 1, 1}, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Buffer dst(*c.dst, 3, 3);
        const std::vector<uint8_t> before = dst.bytes;
        EXPECT_EQ(-1, Convert(dst, c.dstX, c.dstY, src, c.rect));
        EXPECT_EQ(before, dst.bytes);
    }
    Buffer dst(kR565, 3, 3);
    const RECT rect = {0, 0, 1, 1};
    EXPECT_EQ(-1, ColorFormatConvertBlt(dst.Pixels(), dst.pitch, nullptr, src.Pixels(), src.pitch, &kX888, nullptr,
                                        0, nullptr, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(-1, ColorFormatConvertBlt(dst.Pixels(), dst.pitch, &kR565, nullptr, src.pitch, &kX888, nullptr, 0,
                                        nullptr, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0));
    ColorFormat odd = kX888;
    odd.bitDepth = 12;
    EXPECT_EQ(-1, ColorFormatConvertBlt(dst.Pixels(), dst.pitch, &kR565, src.Pixels(), src.pitch, &odd, nullptr, 0,
                                        nullptr, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0));
}

TEST(ConvertMirror, RowsAreWrittenRightToLeft) {
    struct Case {
        const char* name;
        const ColorFormat* src;
        const ColorFormat* dst;
        Flags flags;
        uint32_t in[3];
        uint32_t out[3];
    };
    Flags mirror;
    mirror.mirror = 1;
    Flags mirrorKeyed = Keyed(kMagentaKey);
    mirrorKeyed.mirror = 1;
    const Case cases[] = {
        {"same layout", &kX888, &kX888, mirror, {1, 2, 3}, {3, 2, 1}},
        {"general", &kX888, &kR565, mirror, {0xFF0000u, 0xFF00u, 0xFFu}, {0x001F, 0x07E0, 0xF800}},
        {"key to alpha", &kX888, &kA888, mirrorKeyed, {0xFF00FFu, 0x10u, 0x20u},
         {0xFF000020u, 0xFF000010u, 0x00FF00FFu}},
        {"palette indices are not mirrored", &kP8, &kP8, mirror, {1, 2, 3}, {1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Buffer src(*c.src, 3, 1, 0);
        for (int x = 0; x < 3; ++x) src.Set(x, 0, c.in[x]);
        Buffer dst(*c.dst, 5, 2);
        const std::vector<uint8_t> before = dst.bytes;
        Convert(dst, 1, 1, src, RECT{0, 0, 3, 1}, c.flags);
        for (int x = 0; x < 3; ++x) EXPECT_EQ(c.out[x], dst.Get(1 + x, 1)) << x;
        ExpectOnlyRectWritten(before, dst, 1, 1, 3, 1);
    }
}

TEST(ConvertSkipKey, KeyedPixelsKeepTheDestination) {
    struct Case {
        const char* name;
        const ColorFormat* src;
        const ColorFormat* dst;
        uint32_t key;
        int mirror;
        uint32_t in[3];
        uint32_t out[3];  // destination starts as 0x5555 / 0x55555555 / 0x555555
    };
    const Case cases[] = {
        // Same layout: only the low 16 bits of the key count for 16-bit pixels.
        {"16-bit", &kR565, &kR565, 0x1234F81Fu, 0, {0xF81F, 0x0001, 0xF81F}, {0x5555, 0x0001, 0x5555}},
        {"24-bit", &kRgb24, &kRgb24, 0xFFABCDEFu, 0, {0xABCDEF, 0xABCDEE, 0}, {0x555555, 0xABCDEE, 0}},
        // The general conversion compares the whole source pixel.
        {"32 to 16", &kX888, &kR565, 0x00FF00FFu, 0, {0x00FF00FF, 0x01FF00FF, 0x0000FF00},
         {0x5555, 0xF81F, 0x07E0}},
        {"palette source", &kP8, &kX888, 3, 0, {3, 2, 1}, {0x55555555u, 0xFFC86432u, 0xFFFFFFFFu}},
        // Mirroring switches the key off: every pixel is copied.
        {"mirrored", &kR565, &kR565, 0xF81F, 1, {0xF81F, 0x0001, 0x0002}, {0x0002, 0x0001, 0xF81F}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Buffer src(*c.src, 3, 1, 0);
        for (int x = 0; x < 3; ++x) src.Set(x, 0, c.in[x]);
        Buffer dst(*c.dst, 3, 1, 0x55);
        Flags f;
        f.skipKey = 1;
        f.key = c.key;
        f.mirror = c.mirror;
        EXPECT_EQ(0, Convert(dst, 0, 0, src, RECT{0, 0, 3, 1}, f));
        for (int x = 0; x < 3; ++x) EXPECT_EQ(c.out[x], dst.Get(x, 0)) << x;
    }
}

TEST_P(ConvertDither, OrderedAndErrorCarryPatterns) {
    // Red 4 in 8 bits is half a unit of 5-bit red. The ordered matrix's first row (0, 8, 2, 10) gives thresholds
    // 0, 4, 1, 5 for 3 dropped bits: 4 exceeds 0 and 1 only. Its second row (12, 4, 14, 6) gives 6, 2, 7, 3.
    // The error carry adds a unit every second pixel, carrying from row to row.
    struct Case {
        int dither;
        uint32_t row0[4], row1[4];
    };
    const Case cases[] = {
        {kDitherNone, {0, 0, 0, 0}, {0, 0, 0, 0}},
        {kDitherOrdered, {1, 0, 1, 0}, {0, 1, 0, 1}},
        {kDitherErrorCarry, {0, 1, 0, 1}, {0, 1, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dither);
        Buffer src(kX888, 4, 2, 0);
        src.Fill(0x00040000u);
        Buffer dst(kR565, 4, 2);
        Flags f;
        f.dither = c.dither;
        EXPECT_EQ(0, Convert(dst, 0, 0, src, RECT{0, 0, 4, 2}, f));
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(c.row0[x] << 11, dst.Get(x, 0)) << x;
            EXPECT_EQ(c.row1[x] << 11, dst.Get(x, 1)) << x;
        }
    }
    // The error carry keeps a remainder: 3 dropped units of 4 (green, 2 bits) add up to a unit on pixels 2 and 3.
    Buffer src(kX888, 4, 1, 0);
    src.Fill(0x00000300u);
    Buffer dst(kR565, 4, 1);
    Flags carry;
    carry.dither = kDitherErrorCarry;
    Convert(dst, 0, 0, src, RECT{0, 0, 4, 1}, carry);
    const uint32_t green[4] = {0, 1, 1, 1};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(green[x] << 5, dst.Get(x, 0)) << x;
}

TEST_P(ConvertDither, SaturatesAtTheChannelMaximum) {
    // Dropped bits of a full channel would push it one past its maximum; a mask would then make white black.
    const uint32_t whites[] = {0xFFFFFFFFu, 0x00FFFFFFu, 0x00FEFEFEu, 0x00FFFFFEu};
    for (int dither : {kDitherOrdered, kDitherErrorCarry}) {
        for (uint32_t white : whites) {
            Buffer src(kX888, 9, 4, 0);
            src.Fill(white);
            for (const ColorFormat* f : {&kR565, &kX555}) {
                Buffer dst(*f, 9, 4);
                Flags flags;
                flags.dither = dither;
                Convert(dst, 0, 0, src, RECT{0, 0, 9, 4}, flags);
                const uint32_t expected = 0xFFFF;  // X1R5G5B5 white with its filler bit set
                for (int y = 0; y < 4; ++y) {
                    for (int x = 0; x < 9; ++x) {
                        ASSERT_EQ(expected, dst.Get(x, y))
                            << "dither " << dither << " white " << std::hex << white << " at " << x << "," << y;
                    }
                }
            }
        }
    }
}

TEST_P(ConvertDither, WideningIsNotDithered) {
    // Widths differ, so the dither step runs, but nothing is dropped: 31 -> 255 and 1 -> 8 as without dither.
    Buffer src(kR565, 2, 1, 0);
    src.Set(0, 0, 0xFFFF);
    src.Set(1, 0, Px565(1, 1, 1));
    Buffer dst(kX888, 2, 1);
    Flags f;
    f.dither = kDitherOrdered;
    Convert(dst, 0, 0, src, RECT{0, 0, 2, 1}, f);
    EXPECT_EQ(0xFFFFFFFFu, dst.Get(0, 0));
    EXPECT_EQ(0xFF080408u, dst.Get(1, 0));
}

TEST_P(ConvertDither, OwnRowLoopsMatchTheGeneralConversion) {
    // 8:8:8 -> R5G6B5 with either dither has its own row loop. Mirroring forces the general conversion, which
    // still visits the source in order (same matrix positions, same carries), so the mirrored result must be the
    // plain result reversed, row by row.
    const int w = 37, h = 6;
    Buffer src(kX888, w, h, 0);
    srand(7);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) src.Set(x, y, static_cast<uint32_t>(rand()) * 2654435761u);
    }
    src.Set(0, 0, 0xFFFFFFFF);
    const RECT rects[] = {RECT{0, 0, w, h}, RECT{3, 1, w - 2, h}};
    for (int dither : {kDitherOrdered, kDitherErrorCarry}) {
        for (const RECT& rect : rects) {
            SCOPED_TRACE(dither);
            const int rw = rect.right - rect.left, rh = rect.bottom - rect.top;
            Buffer plain(kR565, rw, rh), mirrored(kR565, rw, rh);
            Flags f;
            f.dither = dither;
            Convert(plain, 0, 0, src, rect, f);
            f.mirror = 1;
            Convert(mirrored, 0, 0, src, rect, f);
            for (int y = 0; y < rh; ++y) {
                for (int x = 0; x < rw; ++x) {
                    ASSERT_EQ(plain.Get(x, y), mirrored.Get(rw - 1 - x, y)) << x << "," << y;
                }
            }
        }
    }
}

TEST_P(ConvertPairs, TwentyFourBitRulesMatchTheGeneralConversionAtEveryRowLength) {
    // Decoded pictures are 24-bit; their fixed rules have row loops of their own (several pixels at a time, then one
    // by one, the row's last pixel read byte by byte). Mirroring forces the general conversion, which must give the
    // same pixels in reverse order, whatever the row length and wherever key-coloured pixels fall.
    const int w = 41, h = 3;
    Buffer src(kRgb24, w, h, 0);
    srand(5);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) src.Set(x, y, (static_cast<uint32_t>(rand()) * 2654435761u) & 0xFFFFFF);
    }
    for (int x : {0, 3, 4, 9, 17, 40}) src.Set(x, 1, kMagentaKey);
    for (int x : {5, 22, 39}) src.Set(x, 2, 0xFA03FCu);  // the key once narrowed to 5:5:5
    struct Pair {
        const char* name;
        const ColorFormat* dst;
        int keyed;
    };
    const Pair pairs[] = {{"X888", &kX888, 0},       {"A888", &kA888, 0}, {"A888 keyed", &kA888, 1},
                          {"R565", &kR565, 0},       {"X555", &kX555, 0}, {"A555 keyed", &kA555, 1}};
    for (const Pair& p : pairs) {
        for (int width : {1, 2, 5, 6, 7, 8, 9, 10, 11, 13, 16, 17, 18, 33, 41}) {
            SCOPED_TRACE(testing::Message() << p.name << " width " << width);
            const RECT rect = {w - width, 0, w, h};  // the rectangle ends where the source rows end
            Buffer plain(*p.dst, width, h), mirrored(*p.dst, width, h);
            const std::vector<uint8_t> before = plain.bytes;
            Flags f;
            f.keyToAlpha = p.keyed;
            f.key = kMagentaKey;
            ASSERT_EQ(0, Convert(plain, 0, 0, src, rect, f));
            f.mirror = 1;
            ASSERT_EQ(0, Convert(mirrored, 0, 0, src, rect, f));
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < width; ++x) {
                    ASSERT_EQ(mirrored.Get(width - 1 - x, y), plain.Get(x, y)) << std::hex << x << "," << y;
                }
            }
            ExpectOnlyRectWritten(before, plain, 0, 0, width, h);
        }
    }
}

TEST(ConvertAlphaImage, AlphaComesFromTheImagesRedChannel) {
    ColorFormat grey;
    memset(&grey, 0, sizeof(grey));
    SetGreyPaletteColorFormat(&grey);
    struct Case {
        const char* name;
        const ColorFormat* alphaFormat;
        uint32_t alphaPixel;
        const ColorFormat* dst;
        uint32_t expected;
    };
    const Case cases[] = {
        {"grey palette", &grey, 0x80, &kA888, 0x80C86432u},
        {"5-bit red widened", &kR565, 0xF800, &kA888, 0xFFC86432u},
        {"5-bit red 1", &kR565, 0x0800, &kA888, 0x08C86432u},
        {"to 1 bit, set", &grey, 0x80, &kA555, 0xE586},
        {"to 1 bit, clear", &grey, 0x7F, &kA555, 0x6586},
        {"ignored without destination alpha", &grey, 0x00, &kR565, 0xCB26},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Buffer src(kX888, 4, 3, 0);
        Buffer alpha(*c.alphaFormat, 4, 3, 0);
        for (int y = 1; y < 3; ++y) {
            for (int x = 1; x < 3; ++x) {
                src.Set(x, y, 0x00C86432u);
                alpha.Set(x, y, c.alphaPixel);
            }
        }
        Buffer dst(*c.dst, 3, 3);
        const std::vector<uint8_t> before = dst.bytes;
        // The alpha image is addressed with the source rectangle.
        EXPECT_EQ(0, Convert(dst, 1, 0, src, RECT{1, 1, 3, 3}, Flags(), &alpha));
        for (int y = 0; y < 2; ++y) {
            for (int x = 1; x < 3; ++x) EXPECT_EQ(c.expected, dst.Get(x, y)) << std::hex << x << "," << y;
        }
        ExpectOnlyRectWritten(before, dst, 1, 0, 2, 2);
    }
    // A source with its own alpha keeps it; the alpha image is not read.
    Buffer src(kA888, 1, 1, 0);
    src.Set(0, 0, 0x40112233u);
    Buffer alpha(grey, 1, 1, 0xFF);
    Buffer dst(kA888, 1, 1);
    Convert(dst, 0, 0, src, RECT{0, 0, 1, 1}, Flags(), &alpha);
    EXPECT_EQ(0x40112233u, dst.Get(0, 0));
}

TEST_P(ConvertRows, VectorLoopsMatchPortableLoops) {
    ASSERT_EQ(1, convert_rows::HasVectorRows()) << "the tested build compiles the vector loops";
    srand(11);
    std::vector<uint32_t> src32(203);
    std::vector<uint16_t> src16(203);
    for (size_t i = 0; i < src32.size(); ++i) {
        src32[i] = static_cast<uint32_t>(rand()) * 2246822519u ^ static_cast<uint32_t>(rand());
        src16[i] = static_cast<uint16_t>(src32[i] >> 7);
    }
    // Edge values where saturation and the key matter.
    src32[0] = 0xFFFFFFFFu;
    src32[1] = 0x00FEFEFEu;
    src32[2] = 0x00FF00FFu;
    src32[9] = 0xAAFF00FFu;
    src16[0] = 0xFFFF;
    // A run of full channels whose dropped bits carry, where a wrapping add would turn white black.
    for (int i = 100; i < 120; ++i) src32[i] = 0x00FFFFFFu - static_cast<uint32_t>(i & 1) * 0x00010101u;
    for (int count : {0, 1, 7, 8, 9, 31, 64, 203}) {
        SCOPED_TRACE(count);
        std::vector<uint32_t> a32(count + 1, 0xDEADBEEF), b32(count + 1, 0xDEADBEEF);
        std::vector<uint16_t> a16(count + 1, 0xBEEF), b16(count + 1, 0xBEEF);
        convert_rows::Rgb565ToX888Portable(src16.data(), a32.data(), count);
        convert_rows::Rgb565ToX888Fast(src16.data(), b32.data(), count);
        EXPECT_EQ(a32, b32);
        convert_rows::X888ToRgb565Portable(src32.data(), a16.data(), count);
        convert_rows::X888ToRgb565Fast(src32.data(), b16.data(), count);
        EXPECT_EQ(a16, b16);
        for (int column = 0; column < 4; ++column) {
            for (int row = 0; row < 4; ++row) {
                convert_rows::X888ToRgb565OrderedPortable(src32.data(), a16.data(), count, column, row);
                convert_rows::X888ToRgb565OrderedFast(src32.data(), b16.data(), count, column, row);
                ASSERT_EQ(a16, b16) << "column " << column << " row " << row;
            }
        }
        // The error carry from every starting remainder, over two rows so the carried remainders are used too.
        for (uint32_t start = 0; start < 8; ++start) {
            uint32_t carryA[3] = {start, start & 3, 7 - start}, carryB[3] = {start, start & 3, 7 - start};
            for (int row = 0; row < 2; ++row) {
                convert_rows::X888ToRgb565CarryPortable(src32.data() + row, a16.data(), count, carryA);
                convert_rows::X888ToRgb565CarryFast(src32.data() + row, b16.data(), count, carryB);
                ASSERT_EQ(a16, b16) << "start " << start << " row " << row;
                ASSERT_EQ(carryA[0], carryB[0]);
                ASSERT_EQ(carryA[1], carryB[1]);
                ASSERT_EQ(carryA[2], carryB[2]);
            }
        }
        convert_rows::Rgb565To555Portable(src16.data(), a16.data(), count);
        convert_rows::Rgb565To555Fast(src16.data(), b16.data(), count);
        EXPECT_EQ(a16, b16);
        convert_rows::Rgb555To565Portable(src16.data(), a16.data(), count);
        convert_rows::Rgb555To565Fast(src16.data(), b16.data(), count);
        EXPECT_EQ(a16, b16);
        convert_rows::KeyToAlpha32Portable(src32.data(), a32.data(), count, 0xFFFFFF, 0xFF00FF, 0xFF000000u);
        convert_rows::KeyToAlpha32Fast(src32.data(), b32.data(), count, 0xFFFFFF, 0xFF00FF, 0xFF000000u);
        EXPECT_EQ(a32, b32);
        // The element past the row is never touched.
        EXPECT_EQ(0xDEADBEEFu, b32[count]);
        EXPECT_EQ(0xBEEF, b16[count]);
    }
}

namespace {

// Source rows that end on the last byte of a page whose successor is inaccessible, so a read past a row faults.
class PageEndRows {
public:
    explicit PageEndRows(size_t maxBytes) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        span_ = (maxBytes + page_ - 1) / page_ * page_;
        base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, span_ + page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        if (base_ != nullptr && !VirtualProtect(base_ + span_, page_, PAGE_NOACCESS, &old)) {
            VirtualFree(base_, 0, MEM_RELEASE);
            base_ = nullptr;
        }
    }
    ~PageEndRows() {
        if (base_ != nullptr) VirtualFree(base_, 0, MEM_RELEASE);
    }
    bool ok() const { return base_ != nullptr; }
    // The last `bytes` bytes of `pixels` copied so that they end at the inaccessible page.
    uint8_t* Place(const std::vector<uint8_t>& pixels, size_t bytes) {
        uint8_t* row = base_ + span_ - bytes;
        memcpy(row, pixels.data() + pixels.size() - bytes, bytes);
        return row;
    }

private:
    size_t page_ = 0, span_ = 0;
    uint8_t* base_ = nullptr;
};

// Row lengths around each loop's group sizes (8, 16, 32 pixels) and a few long rows.
std::vector<int> RowLengths(int maxCount) {
    std::vector<int> counts;
    for (int c = 0; c <= 40; ++c) counts.push_back(c);
    for (int c : {63, 64, 65, 95, 96, 97, 100, 127, 128, 129, 203, 639, 640, maxCount}) counts.push_back(c);
    return counts;
}

}  // namespace

TEST_P(ConvertRows, TwentyFourBitTo565VectorMatchesPortableAtEveryLength) {
    // The SSE2 loop takes 32 pixels at a time, then 8, the SSSE3 loop 8; single pixels finish the row. One element
    // past the row stays as set.
    const int kMaxCount = 700;
    PageEndRows rows(static_cast<size_t>(kMaxCount) * 3);
    ASSERT_TRUE(rows.ok());
    srand(23);
    std::vector<uint8_t> pixels(static_cast<size_t>(kMaxCount) * 3);
    for (uint8_t& b : pixels) b = static_cast<uint8_t>(rand() >> 3);
    // Channel values at the edges of the kept bits.
    const uint8_t edges[] = {0x00, 0xFF, 0x07, 0x08, 0xF8, 0xF7, 0x03, 0x04, 0xFC, 0xFB};
    for (size_t i = 0; i < 60; ++i) pixels[5 * i + 1] = edges[i % 10];
    for (int count : RowLengths(kMaxCount)) {
        SCOPED_TRACE(count);
        const uint8_t* src = rows.Place(pixels, static_cast<size_t>(count) * 3);
        std::vector<uint16_t> a(count + 1, 0xBEEF), b(count + 1, 0xBEEF);
        convert_rows::Rgb24To565Portable(src, a.data(), count);
        convert_rows::Rgb24To565Fast(src, b.data(), count);
        ASSERT_EQ(a, b);
        EXPECT_EQ(0xBEEF, b[count]);
        // The portable loop itself against the rule, pixel by pixel.
        for (int x = 0; x < count; ++x) {
            const uint32_t bl = src[3 * x], g = src[3 * x + 1], r = src[3 * x + 2];
            ASSERT_EQ(Px565(r >> 3, g >> 2, bl >> 3), static_cast<uint32_t>(a[x])) << x;
        }
    }
}

TEST_P(ConvertRows, EightBitChannelsTo565VectorMatchesPortableAtEveryLength) {
    // The 32-bit source rows into R5G6B5, plain and with both dithers, ending against an inaccessible page.
    const int kMaxCount = 700;
    PageEndRows rows(static_cast<size_t>(kMaxCount) * 4);
    ASSERT_TRUE(rows.ok());
    srand(31);
    std::vector<uint8_t> pixels(static_cast<size_t>(kMaxCount) * 4);
    for (uint8_t& b : pixels) b = static_cast<uint8_t>(rand() >> 2);
    for (size_t i = 0; i < 40; ++i) memset(&pixels[pixels.size() - 4 * (3 * i + 1)], 0xFF, 4);
    for (int count : RowLengths(kMaxCount)) {
        SCOPED_TRACE(count);
        const uint32_t* src = reinterpret_cast<const uint32_t*>(rows.Place(pixels, static_cast<size_t>(count) * 4));
        std::vector<uint16_t> a(count + 1, 0xBEEF), b(count + 1, 0xBEEF);
        convert_rows::X888ToRgb565Portable(src, a.data(), count);
        convert_rows::X888ToRgb565Fast(src, b.data(), count);
        ASSERT_EQ(a, b);
        convert_rows::X888ToRgb565OrderedPortable(src, a.data(), count, 1, 2);
        convert_rows::X888ToRgb565OrderedFast(src, b.data(), count, 1, 2);
        ASSERT_EQ(a, b);
        uint32_t carryA[3] = {5, 2, 7}, carryB[3] = {5, 2, 7};
        convert_rows::X888ToRgb565CarryPortable(src, a.data(), count, carryA);
        convert_rows::X888ToRgb565CarryFast(src, b.data(), count, carryB);
        ASSERT_EQ(a, b);
        EXPECT_EQ(0, memcmp(carryA, carryB, sizeof(carryA)));
        EXPECT_EQ(0xBEEF, b[count]);
    }
}

TEST_P(ConvertPairs, TwentyFourBitTo565AtEveryWidthAndOddPitches) {
    // Through the conversion routine: rectangles 1..40 pixels wide starting at an odd column of rows whose pitch is
    // odd, so the rows' vector loads start at every alignment.
    srand(29);
    for (int width = 1; width <= 40; ++width) {
        SCOPED_TRACE(width);
        const int h = 3, srcPitch = (width + 1) * 3 + (width % 2 == 0 ? 1 : 2), dstPitch = width * 2 + 3;
        std::vector<uint8_t> src(static_cast<size_t>(srcPitch) * h);
        for (uint8_t& b : src) b = static_cast<uint8_t>(rand() >> 4);
        std::vector<uint8_t> dst(static_cast<size_t>(dstPitch) * h, 0x5A);
        const RECT rect = {1, 0, width + 1, h};
        ASSERT_EQ(0, ColorFormatConvertBlt(dst.data(), dstPitch, &kR565, src.data(), srcPitch, &kRgb24, nullptr, 0,
                                           nullptr, 0, 0, &rect, 0, 0, 0, kDitherNone, 0, 0, 0));
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = &src[static_cast<size_t>(y) * srcPitch + 3 * (x + 1)];
                uint16_t got;
                memcpy(&got, &dst[static_cast<size_t>(y) * dstPitch + 2 * x], 2);
                ASSERT_EQ(Px565(p[2] >> 3, p[1] >> 2, p[0] >> 3), static_cast<uint32_t>(got)) << x << "," << y;
            }
            for (int b = width * 2; b < dstPitch; ++b) ASSERT_EQ(0x5A, dst[static_cast<size_t>(y) * dstPitch + b]);
        }
    }
}

TEST(ConvertRowsPortable, DitherSaturates) {
    const uint32_t white = 0x00FFFFFFu;
    uint16_t out = 0;
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            convert_rows::X888ToRgb565OrderedPortable(&white, &out, 1, column, row);
            EXPECT_EQ(0xFFFF, out) << column << "," << row;
        }
    }
}
