// Software images: the pitch rule, the layouts of the pixel types, ownership of buffers (including failed
// initialisations), views into 32-bit and palette parents, fills, uploads with the palette, premultiplied plane
// and run table they keep current, and copies back out.
#include <gtest/gtest.h>

#include <string.h>

#include <functional>
#include <vector>

#include "graphics/image/image.h"
#include "graphics/color/memimg.h"
#include "runtime/memory.h"
#include "tests/graphics/color/test_color_support.h"

namespace {

// A zero-filled record released at the end of the scope.
struct Image {
    MEMIMG m;
    Image() { memset(&m, 0, sizeof(m)); }
    ~Image() { ReleaseMemImage(&m); }
    uint8_t* Row(int y) { return m.pixels + y * m.pitch; }
    uint32_t Get(int x, int y) {
        uint32_t v = 0;
        memcpy(&v, Row(y) + x * m.format->bytesPerPixel, m.format->bytesPerPixel);
        return v;
    }
    void Set(int x, int y, uint32_t v) { memcpy(Row(y) + x * m.format->bytesPerPixel, &v, m.format->bytesPerPixel); }
};

// Pixels of a decoded picture, kept in a vector.
struct Picture {
    ColorFormat format;
    int width, height, pitch;
    std::vector<uint8_t> bytes;
    Picture(const ColorFormat& f, int w, int h) : format(f), width(w), height(h), pitch(w * f.bytesPerPixel + 3) {
        bytes.assign(static_cast<size_t>(pitch) * h, 0);
    }
    void Set(int x, int y, uint32_t v) {
        memcpy(bytes.data() + y * pitch + x * format.bytesPerPixel, &v, format.bytesPerPixel);
    }
    uint32_t Get(int x, int y) const {
        uint32_t v = 0;
        memcpy(&v, bytes.data() + y * pitch + x * format.bytesPerPixel, format.bytesPerPixel);
        return v;
    }
    GraphImage AsGraphImage() {
        GraphImage g;
        g.format = format;
        g.width = width;
        g.height = height;
        g.pitch = pitch;
        g.pixels = bytes.data();
        return g;
    }
};

int TransferWhole(const Picture& src, const Picture* alpha, MEMIMG* dst, int keyToAlpha = 0) {
    return TransferPixelsToMemImg(&src.format, src.bytes.data(), src.pitch, alpha ? &alpha->format : nullptr,
                                  alpha ? alpha->bytes.data() : nullptr, alpha ? alpha->pitch : 0, dst, 0, 0,
                                  src.width, src.height, 0, 0, keyToAlpha);
}

std::vector<uint8_t> RunBytes(const MEMIMG& m, size_t count) {
    return std::vector<uint8_t>(m.runTable, m.runTable + count);
}

// Fails the n-th allocation (counting from 1) and passes the others to the tracked allocator.
int g_allocCalls = 0;
int g_failAt = 0;
void* FailingAlloc(size_t size, const char* name, int line) {
    ++g_allocCalls;
    if (g_allocCalls == g_failAt) return nullptr;
    return TrackedAlloc(size, name, line);
}

}  // namespace

TEST(MemImgInit, PitchRuleAndShift) {
    struct Case {
        int type, palette, alpha, width, pitchArg;
        int pitch, pitchShift, bytesPerPixel;
    };
    const Case cases[] = {
        {kMemImgColor16, 0, 0, 3, -1, 16, -1, 2},
        {kMemImgColor32, 0, 0, 100, -1, 400, -1, 4},
        {kMemImgColor32, 0, 0, 64, -1, 256, 8, 4},
        {kMemImgColor16, 0, 0, 4, -1, 16, -1, 2},     // 8 bytes a row: the power of two is 8, the pitch 16
        {kMemImgColor16, 0, 1, 4, -1, 16, 4, 4},      // 16-bit colour with alpha uses 4 bytes a pixel
        {kMemImgColor16, 1, 0, 10, -1, 16, 4, 1},
        {kMemImgChannel8, 0, 0, 1, -1, 16, -1, 1},
        {kMemImgDepth16, 0, 0, 8, -1, 16, 4, 2},
        {kMemImgColor32, 0, 0, 10, 1024, 1024, 10, 4},  // a given pitch is kept
        {kMemImgColor32, 0, 0, 10, 1000, 1000, -1, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " width " << c.width << " pitch " << c.pitchArg);
        Image img;
        ASSERT_EQ(0, InitMemImage(&img.m, c.width, 3, c.pitchArg, 0, c.type, c.palette, c.alpha, 0));
        EXPECT_EQ(kMemImgMagic, img.m.magic);
        EXPECT_EQ(c.pitch, img.m.pitch);
        EXPECT_EQ(c.pitchShift, img.m.pitchShift);
        EXPECT_EQ(c.bytesPerPixel, img.m.format->bytesPerPixel);
        EXPECT_EQ(GetMemImageColorFormat(c.type, c.alpha, c.palette), img.m.format);
        EXPECT_EQ(0, img.m.pixelsNotOwned);
        EXPECT_EQ(img.m.paletteTable, img.m.palette);
        EXPECT_EQ(img.m.paletteCopyTable, img.m.paletteCopy);
        // The whole pitch x height block is usable.
        memset(img.m.pixels, 0x5A, static_cast<size_t>(img.m.pitch) * 3);
    }
}

TEST(MemImgInit, FlagsThatExcludeEachOther) {
    Image paletteWithAlpha;
    ASSERT_EQ(0, InitMemImage(&paletteWithAlpha.m, 4, 4, -1, 0, kMemImgColor32, 1, 1, 0));
    EXPECT_EQ(1, paletteWithAlpha.m.hasPalette);
    EXPECT_EQ(0, paletteWithAlpha.m.hasAlpha);
    EXPECT_EQ(GetMemImageColorFormat(kMemImgColor32, 0, 1), paletteWithAlpha.m.format);

    Image channel;
    ASSERT_EQ(0, InitMemImage(&channel.m, 4, 4, -1, 0, kMemImgChannel8, 1, 1, 1));
    EXPECT_EQ(0, channel.m.hasPalette);
    EXPECT_EQ(0, channel.m.hasAlpha);
    EXPECT_EQ(nullptr, channel.m.runTable);  // single-channel images get no run table
    EXPECT_EQ(nullptr, channel.m.premultiplied);

    Image depth;
    ASSERT_EQ(0, InitMemImageType3(&depth.m, 5, 2));
    EXPECT_EQ(kMemImgDepth16, depth.m.pixelType);
    EXPECT_EQ(16, depth.m.format->bitDepth);
}

TEST(MemImgInit, DefaultTypeFollowsTheImageDepth) {
    DrawingFormatInfo& info = GetDrawingFormatInfo();
    const int saved = info.imageColorBits;
    for (int bits : {16, 32}) {
        info.imageColorBits = bits;
        Image img;
        img.m.magic = 0x77;  // the default form zero-fills the record first
        ASSERT_EQ(0, InitMemImageDefault(&img.m, 3, 3, -1));
        EXPECT_EQ(bits == 16 ? kMemImgColor16 : kMemImgColor32, img.m.pixelType);
    }
    info.imageColorBits = saved;
}

TEST(MemImgInit, SecondInitAndBadArgumentsAreRefused) {
    const int liveBefore = GetTrackedAllocCount();
    Image img;
    ASSERT_EQ(0, InitMemImage(&img.m, 8, 8, -1, 0, kMemImgColor32, 0, 0, 0));
    uint8_t* const pixels = img.m.pixels;
    EXPECT_EQ(-1, InitMemImage(&img.m, 16, 2, -1, 5, kMemImgColor16, 0, 0, 1));
    EXPECT_EQ(8, img.m.width);
    EXPECT_EQ(pixels, img.m.pixels);
    EXPECT_EQ(kMemImgColor32, img.m.pixelType);
    EXPECT_EQ(liveBefore + 1, GetTrackedAllocCount());

    struct Case {
        const char* name;
        int width, height, pitch, type;
    };
    const Case bad[] = {
        {"negative width", -1, 4, -1, kMemImgColor32},
        {"negative height", 4, -4, -1, kMemImgColor32},
        {"unknown type", 4, 4, -1, 4},
        {"pitch shorter than a row", 10, 4, 39, kMemImgColor32},
        {"size beyond 2 GB", 1 << 20, 1 << 12, -1, kMemImgColor32},
    };
    for (const Case& c : bad) {
        SCOPED_TRACE(c.name);
        Image other;
        EXPECT_EQ(-1, InitMemImage(&other.m, c.width, c.height, c.pitch, 0, c.type, 0, 0, 1));
        EXPECT_EQ(0u, other.m.magic);
        EXPECT_EQ(nullptr, other.m.pixels);
    }
    EXPECT_EQ(liveBefore + 1, GetTrackedAllocCount());
}

TEST(MemImgInit, FailedAllocationGivesBackWhatItTook) {
    // Pixels, premultiplied plane, run table: whichever allocation fails, nothing stays allocated and the record
    // stays uninitialised.
    for (int failAt = 1; failAt <= 3; ++failAt) {
        SCOPED_TRACE(failAt);
        const int liveBefore = GetTrackedAllocCount();
        const int bytesBefore = GetTrackedAllocTotalSize();
        g_allocCalls = 0;
        g_failAt = failAt;
        SetMemImageAllocator(FailingAlloc);
        Image img;
        EXPECT_EQ(-1, InitMemImage(&img.m, 16, 16, -1, 0, kMemImgColor32, 0, 1, 1));
        SetMemImageAllocator(nullptr);
        EXPECT_EQ(failAt, g_allocCalls);
        EXPECT_EQ(liveBefore, GetTrackedAllocCount());
        EXPECT_EQ(bytesBefore, GetTrackedAllocTotalSize());
        EXPECT_EQ(0u, img.m.magic);
        EXPECT_EQ(nullptr, img.m.pixels);
        EXPECT_EQ(nullptr, img.m.premultiplied);
        EXPECT_EQ(nullptr, img.m.runTable);
        // The record can be initialised afterwards.
        EXPECT_EQ(0, InitMemImage(&img.m, 16, 16, -1, 0, kMemImgColor32, 0, 1, 1));
    }
}

TEST(MemImgLifecycle, OwnedAndBorrowedBuffers) {
    const int liveBefore = GetTrackedAllocCount();
    {
        Image owned;
        ASSERT_EQ(0, InitMemImage(&owned.m, 4, 4, -1, 0, kMemImgColor16, 0, 1, 1));
        EXPECT_EQ(liveBefore + 3, GetTrackedAllocCount());  // pixels, premultiplied plane, run table
        ReleaseMemImage(&owned.m);
        EXPECT_EQ(liveBefore, GetTrackedAllocCount());
        EXPECT_EQ(0u, owned.m.magic);
        EXPECT_EQ(nullptr, owned.m.pixels);
        EXPECT_EQ(nullptr, owned.m.premultiplied);
        EXPECT_EQ(nullptr, owned.m.runTable);
        ReleaseMemImage(&owned.m);  // a second release does nothing
        // Released records can be initialised again.
        EXPECT_EQ(0, InitMemImage(&owned.m, 2, 2, -1, 0, kMemImgColor32, 0, 0, 0));
        EXPECT_EQ(1, IsMemImageValid(&owned.m));
    }
    EXPECT_EQ(liveBefore, GetTrackedAllocCount());

    // A caller-supplied buffer (a locked surface) is used as it is and never freed.
    std::vector<uint8_t> surface(64 * 8, 0x33);
    Image borrowed;
    borrowed.m.pixels = surface.data();
    ASSERT_EQ(0, InitMemImage(&borrowed.m, 10, 8, 64, 0, kMemImgColor32, 0, 0, 0));
    EXPECT_EQ(surface.data(), borrowed.m.pixels);
    EXPECT_EQ(1, borrowed.m.pixelsNotOwned);
    EXPECT_EQ(6, borrowed.m.pitchShift);
    EXPECT_EQ(liveBefore, GetTrackedAllocCount());
    ReleaseMemImage(&borrowed.m);
    EXPECT_EQ(liveBefore, GetTrackedAllocCount());
    EXPECT_EQ(0x33, surface[0]);

    // A record that was never initialised is left alone, whatever its pointers hold.
    MEMIMG stray;
    memset(&stray, 0, sizeof(stray));
    stray.pixels = surface.data();
    ReleaseMemImage(&stray);
    EXPECT_EQ(surface.data(), stray.pixels);
    EXPECT_EQ(0, IsMemImageValid(&borrowed.m));
}

TEST(MemImgFormats, TheTenLayouts) {
    struct Case {
        int type, alpha, palette, depth;
        uint32_t r, g, b, a;
    };
    const Case cases[] = {
        {0, 0, 0, 16, 0xF800, 0x07E0, 0x001F, 0},
        {0, 1, 0, 32, 0xF800, 0x07E0, 0x001F, 0x00FF0000},
        {0, 0, 1, 8, 0xF800, 0x07E0, 0x001F, 0},
        {0, 1, 1, 8, 0xF800, 0x07E0, 0x001F, 0x00FF0000},
        {1, 0, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0},
        {1, 1, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u},
        {1, 0, 1, 8, 0xFF0000, 0xFF00, 0xFF, 0},
        {1, 1, 1, 8, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u},
        {2, 1, 1, 8, 0xFF, 0xFF, 0xFF, 0xFF},
        {3, 0, 1, 16, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << "/" << c.alpha << "/" << c.palette);
        const ColorFormat* f = GetMemImageColorFormat(c.type, c.alpha, c.palette);
        ASSERT_NE(nullptr, f);
        EXPECT_EQ(f, GetMemImageColorFormat(c.type, c.alpha, c.palette));  // one shared record
        EXPECT_EQ(c.depth, f->bitDepth);
        EXPECT_EQ(c.depth / 8, f->bytesPerPixel);
        EXPECT_EQ(c.r, f->redMask);
        EXPECT_EQ(c.g, f->greenMask);
        EXPECT_EQ(c.b, f->blueMask);
        EXPECT_EQ(c.a, f->alphaMask);
        const DDPIXELFORMAT* dd = GetMemImageColorFormatB(c.type, c.alpha, c.palette);
        ASSERT_NE(nullptr, dd);
        EXPECT_EQ(static_cast<DWORD>(c.depth), dd->dwRGBBitCount);
        EXPECT_EQ(c.r, dd->dwRBitMask);
        EXPECT_EQ(c.a, dd->dwRGBAlphaBitMask);
        // Single-channel layouts carry only the bit count and masks.
        EXPECT_EQ(c.type < 2 ? 32u : 0u, dd->dwSize);
        EXPECT_EQ(c.type < 2 ? static_cast<DWORD>(DDPF_RGB) : 0u, dd->dwFlags);
    }
    const ColorFormat* channel = GetMemImageColorFormat(kMemImgChannel8, 0, 0);
    EXPECT_EQ(8, channel->redWidth);
    EXPECT_EQ(0, channel->redShift);
    EXPECT_EQ(0u, channel->noneMask);
    EXPECT_EQ(nullptr, GetMemImageColorFormat(4, 0, 0));
    EXPECT_EQ(nullptr, GetMemImageColorFormat(-1, 0, 0));
    EXPECT_EQ(nullptr, GetMemImageColorFormatB(4, 0, 0));
}

TEST(MemImgView, WindowOntoAThirtyTwoBitParent) {
    Image parent;
    ASSERT_EQ(0, InitMemImage(&parent.m, 8, 6, -1, 0x123, kMemImgColor32, 0, 0, 0));
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) parent.Set(x, y, static_cast<uint32_t>(y * 16 + x));
    }
    MEMIMG view;
    memset(&view, 0xEE, sizeof(view));
    EXPECT_EQ(&view, DeriveMemImage(&view, &parent.m, 2, 3, 4, 2));
    EXPECT_EQ(kMemImgMagic, view.magic);
    EXPECT_EQ(4, view.width);
    EXPECT_EQ(2, view.height);
    EXPECT_EQ(parent.m.pitch, view.pitch);
    EXPECT_EQ(parent.m.format, view.format);
    EXPECT_EQ(0x123u, view.colorKey);
    EXPECT_EQ(0, view.pixelsNotOwned);
    EXPECT_EQ(0, view.runTableValid);
    EXPECT_EQ(nullptr, view.runTable);
    EXPECT_EQ(nullptr, view.premultiplied);
    EXPECT_EQ(parent.Row(3) + 2 * 4, view.pixels);

    // A fill through the view, partly outside it, lands only inside the view's rectangle of the parent.
    const RECT r = {-1, 1, 9, 9};
    FillMemImageRect(&view, &r, 0xABCDEF01u);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x < 6 && y == 4;
            EXPECT_EQ(inside ? 0xABCDEF01u : static_cast<uint32_t>(y * 16 + x), parent.Get(x, y)) << x << "," << y;
        }
    }
}

TEST(MemImgView, PaletteAndAlphaParents) {
    Image palette;
    ASSERT_EQ(0, InitMemImage(&palette.m, 8, 4, -1, 7, kMemImgColor32, 1, 0, 0));
    palette.m.paletteCount = 12;
    MEMIMG view;
    DeriveMemImage(&view, &palette.m, 3, 1, 2, 2);
    EXPECT_EQ(palette.m.palette, view.palette);
    EXPECT_EQ(palette.m.paletteCopy, view.paletteCopy);
    EXPECT_EQ(1, view.hasPalette);
    EXPECT_EQ(12, view.paletteCount);
    EXPECT_EQ(palette.Row(1) + 3, view.pixels);  // one byte a pixel

    Image alpha16;
    ASSERT_EQ(0, InitMemImage(&alpha16.m, 8, 4, -1, 0, kMemImgColor16, 0, 1, 0));
    DeriveMemImage(&view, &alpha16.m, 3, 2, 2, 2);
    EXPECT_EQ(alpha16.Row(2) + 3 * 4, view.pixels);  // four bytes a pixel
    EXPECT_EQ(1, view.hasAlpha);
}

TEST(MemImgFill, ClippedRectanglesAndValueSizes) {
    struct Case {
        const char* name;
        bool whole;
        RECT rect;
        int x0, y0, x1, y1;  // expected written area
    };
    const Case cases[] = {
        {"whole image", true, {0, 0, 0, 0}, 0, 0, 5, 4},
        {"inside", false, {1, 1, 3, 3}, 1, 1, 3, 3},
        {"partly outside", false, {-2, -2, 2, 1}, 0, 0, 2, 1},
        {"past the right edge", false, {3, 2, 99, 99}, 3, 2, 5, 4},
        {"wholly outside", false, {5, 0, 9, 4}, 0, 0, 0, 0},
        {"wholly above", false, {0, -5, 5, -1}, 0, 0, 0, 0},
        {"inverted", false, {3, 3, 1, 1}, 0, 0, 0, 0},
    };
    for (int type : {kMemImgColor16, kMemImgColor32, kMemImgChannel8}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << " type " << type);
            Image img;
            ASSERT_EQ(0, InitMemImage(&img.m, 5, 4, -1, 0, type, 0, 0, 0));
            memset(img.m.pixels, 0x11, static_cast<size_t>(img.m.pitch) * 4);
            FillMemImageRect(&img.m, c.whole ? nullptr : &c.rect, 0x12345678u);
            const int bpp = img.m.format->bytesPerPixel;
            const uint32_t value = bpp == 1 ? 0x78u : (bpp == 2 ? 0x5678u : 0x12345678u);
            const uint32_t untouched = bpp == 1 ? 0x11u : (bpp == 2 ? 0x1111u : 0x11111111u);
            for (int y = 0; y < 4; ++y) {
                for (int x = 0; x < 5; ++x) {
                    const bool inside = x >= c.x0 && x < c.x1 && y >= c.y0 && y < c.y1;
                    ASSERT_EQ(inside ? value : untouched, img.Get(x, y)) << x << "," << y;
                }
                // Bytes between the row's end and the pitch are never written.
                for (int b = 5 * bpp; b < img.m.pitch; ++b) ASSERT_EQ(0x11, img.Row(y)[b]);
            }
        }
    }
    // A 3-byte layout is left unchanged.
    ColorFormat rgb24;
    SetRgb24ColorFormat(&rgb24);
    uint8_t pixels[12];
    memset(pixels, 0x22, sizeof(pixels));
    MEMIMG odd;
    memset(&odd, 0, sizeof(odd));
    odd.magic = kMemImgMagic;
    odd.width = 4;
    odd.height = 1;
    odd.pitch = 12;
    odd.format = &rgb24;
    odd.pixels = pixels;
    FillMemImageRect(&odd, nullptr, 0);
    for (uint8_t b : pixels) EXPECT_EQ(0x22, b);
}

TEST(MemImgRuns, RunBytesOfEachKind) {
    const ColorFormat x888 = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
    const ColorFormat a888 = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
    const ColorFormat r565 = Masks(16, 0xF800, 0x07E0, 0x001F, 0);

    {
        // 130 opaque pixels: two full runs of 64 and one of 2.
        Picture src(x888, 130, 1);
        for (int x = 0; x < 130; ++x) src.Set(x, 0, 0x00010203u);
        Image img;
        ASSERT_EQ(0, InitMemImage(&img.m, 130, 1, -1, 0x00FF00FFu, kMemImgColor32, 0, 0, 1));
        ASSERT_EQ(0, TransferWhole(src, nullptr, &img.m));
        EXPECT_EQ(1, img.m.runTableValid);
        EXPECT_EQ((std::vector<uint8_t>{0x7F, 0x7F, 0x41, 0xC0}), RunBytes(img.m, 4));
    }
    {
        // Alpha 0, 0, 128, 255 in both alpha layouts; two rows follow each other without padding.
        Picture src(a888, 4, 2);
        const uint32_t alphas[4] = {0, 0, 128, 255};
        for (int x = 0; x < 4; ++x) {
            src.Set(x, 0, (alphas[x] << 24) | 0x00808080u);
            src.Set(x, 1, 0xFF000000u);
        }
        for (int type : {kMemImgColor32, kMemImgColor16}) {
            SCOPED_TRACE(type);
            Image img;
            ASSERT_EQ(0, InitMemImage(&img.m, 4, 2, -1, 0, type, 0, 1, 1));
            ASSERT_EQ(0, TransferWhole(src, nullptr, &img.m));
            EXPECT_EQ((std::vector<uint8_t>{0x01, 0x80, 0x40, 0xC0, 0x43, 0xC0}), RunBytes(img.m, 6));
        }
    }
    {
        // Keyed 16-bit colour: the whole 16-bit value is compared with the key.
        Picture src(r565, 5, 1);
        const uint32_t row[5] = {0xF81F, 0xF81F, 0x0001, 0xF81F, 0x0002};
        for (int x = 0; x < 5; ++x) src.Set(x, 0, row[x]);
        Image img;
        ASSERT_EQ(0, InitMemImage(&img.m, 5, 1, -1, 0xF81F, kMemImgColor16, 0, 0, 1));
        ASSERT_EQ(0, TransferWhole(src, nullptr, &img.m));
        EXPECT_EQ((std::vector<uint8_t>{0x01, 0x40, 0x00, 0x40, 0xC0}), RunBytes(img.m, 5));
    }
    {
        // Palette images compare the index with the key.
        ColorFormat p8;
        memset(&p8, 0, sizeof(p8));
        SetPaletteColorFormat(&p8);
        Picture src(p8, 3, 1);
        src.Set(0, 0, 5);
        src.Set(1, 0, 1);
        src.Set(2, 0, 1);
        Image img;
        ASSERT_EQ(0, InitMemImage(&img.m, 3, 1, -1, 5, kMemImgColor16, 1, 0, 1));
        ASSERT_GE(TransferWhole(src, nullptr, &img.m), 0);
        EXPECT_EQ((std::vector<uint8_t>{0x00, 0x41, 0xC0}), RunBytes(img.m, 3));
    }
}

TEST(MemImgRuns, PartialTransfersLeaveTheTablesInvalid) {
    const ColorFormat a888 = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
    Picture src(a888, 4, 4);
    Image img;
    ASSERT_EQ(0, InitMemImage(&img.m, 4, 4, -1, 0, kMemImgColor32, 0, 1, 1));
    ASSERT_EQ(0, TransferWhole(src, nullptr, &img.m));
    EXPECT_EQ(1, img.m.runTableValid);
    EXPECT_EQ(1, img.m.premultipliedValid);
    ASSERT_EQ(0, TransferPixelsToMemImg(&src.format, src.bytes.data(), src.pitch, nullptr, nullptr, 0, &img.m, 0, 0,
                                        2, 4, 0, 0, 0));
    EXPECT_EQ(0, img.m.runTableValid);
    EXPECT_EQ(0, img.m.premultipliedValid);

    // Without the extra planes nothing is ever marked valid.
    Image plain;
    ASSERT_EQ(0, InitMemImage(&plain.m, 4, 4, -1, 0, kMemImgColor32, 0, 1, 0));
    ASSERT_EQ(0, TransferWhole(src, nullptr, &plain.m));
    EXPECT_EQ(0, plain.m.runTableValid);
    EXPECT_EQ(0, plain.m.premultipliedValid);
}

TEST(MemImgPremultiplied, ColourTimesAlpha) {
    const ColorFormat a888 = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
    struct Case {
        int type;
        uint32_t src, premultiplied;
    };
    const Case cases[] = {
        {kMemImgColor32, 0x80FF8040u, 0x807F4020u},
        {kMemImgColor32, 0xFF102030u, 0xFF0F1F2Fu},  // 255 / 256 rounds down
        {kMemImgColor32, 0x00FFFFFFu, 0x00000000u},
        // 16-bit colour with alpha in bits 16-23: white at alpha 128 becomes (15, 31, 15), the top byte 0.
        {kMemImgColor16, 0x80FFFFFFu, 0x00807BEFu},
        {kMemImgColor16, 0xFFFFFFFFu, 0x00FFF7DEu},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.src);
        Picture src(a888, 2, 1);
        src.Set(0, 0, c.src);
        src.Set(1, 0, c.src);
        Image img;
        ASSERT_EQ(0, InitMemImage(&img.m, 2, 1, -1, 0, c.type, 0, 1, 1));
        ASSERT_EQ(0, TransferWhole(src, nullptr, &img.m));
        ASSERT_EQ(1, img.m.premultipliedValid);
        uint32_t v;
        memcpy(&v, img.m.premultiplied + 4, 4);
        EXPECT_EQ(c.premultiplied, v) << std::hex << v;
    }
}

TEST(MemImgTransfer, PaletteImagesGetThePictureAndItsPalette) {
    ColorFormat p8;
    memset(&p8, 0, sizeof(p8));
    SetPaletteColorFormat(&p8);
    p8.palette[3] = ColorPaletteEntry{0x10, 0x20, 0xF8, 0};
    p8.palette[200] = ColorPaletteEntry{0xFF, 0xFF, 0xFF, 0};
    p8.palette[7] = ColorPaletteEntry{0x08, 0x04, 0x08, 0};
    Picture src(p8, 4, 1);
    src.Set(0, 0, 3);
    src.Set(1, 0, 200);
    src.Set(2, 0, 7);
    src.Set(3, 0, 0);

    Image p16;
    ASSERT_EQ(0, InitMemImage(&p16.m, 4, 1, -1, 0, kMemImgColor16, 1, 0, 0));
    ASSERT_EQ(0, TransferWhole(src, nullptr, &p16.m));
    EXPECT_EQ(201, p16.m.paletteCount);
    EXPECT_EQ(200u, p16.Get(1, 0));
    const uint16_t* entries16 = static_cast<const uint16_t*>(p16.m.palette);
    EXPECT_EQ(0xF902, entries16[3]);  // (0xF8, 0x20, 0x10) as R5G6B5
    EXPECT_EQ(0xFFFF, entries16[200]);
    EXPECT_EQ(0x0821, entries16[7]);
    EXPECT_EQ(0, memcmp(p16.m.palette, p16.m.paletteCopy, 512));

    Image p32;
    ASSERT_EQ(0, InitMemImage(&p32.m, 4, 1, -1, 0, kMemImgColor32, 1, 0, 0));
    ASSERT_EQ(0, TransferWhole(src, nullptr, &p32.m));
    const uint32_t* entries32 = static_cast<const uint32_t*>(p32.m.palette);
    EXPECT_EQ(0x00F82010u, entries32[3]);
    EXPECT_EQ(0x00080408u, entries32[7]);
    EXPECT_EQ(0, memcmp(p32.m.palette, p32.m.paletteCopy, 1024));

    // A picture without a palette cannot fill a palette image.
    const ColorFormat x888 = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
    Picture direct(x888, 4, 1);
    EXPECT_LT(TransferWhole(direct, nullptr, &p16.m), 0);
    EXPECT_EQ(0, p16.m.runTableValid);
}

TEST(MemImgTransfer, GraphImagesWithAlphaAndSingleChannels) {
    const ColorFormat x888 = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
    ColorFormat grey;
    memset(&grey, 0, sizeof(grey));
    SetGreyPaletteColorFormat(&grey);
    Picture colour(x888, 3, 2);
    Picture alpha(grey, 3, 2);
    for (int x = 0; x < 3; ++x) {
        colour.Set(x, 1, 0x00C86432u);
        alpha.Set(x, 1, static_cast<uint32_t>(x * 100));
    }
    GraphImage image = colour.AsGraphImage();
    GraphImage alphaImage = alpha.AsGraphImage();

    Image withAlpha;
    ASSERT_EQ(0, InitMemImage(&withAlpha.m, 4, 4, -1, 0, kMemImgColor32, 0, 1, 0));
    ASSERT_EQ(0, TransferImageToMemImg(&image, &alphaImage, &withAlpha.m, 1, 1, 2, 1, 2, 3, 0));
    EXPECT_EQ(0x64C86432u, withAlpha.Get(2, 3));
    EXPECT_EQ(0xC8C86432u, withAlpha.Get(3, 3));

    // Single-channel images take the red channel.
    Image channel;
    ASSERT_EQ(0, InitMemImage(&channel.m, 3, 2, -1, 0, kMemImgChannel8, 0, 0, 0));
    memset(channel.m.pixels, 0x11, static_cast<size_t>(channel.m.pitch) * 2);
    ASSERT_EQ(0, TransferImageToMemImg(&image, nullptr, &channel.m, 0, 1, 3, 1, 0, 0, 0));
    EXPECT_EQ(0xC8u, channel.Get(0, 0));
    EXPECT_EQ(0xC8u, channel.Get(2, 0));
    EXPECT_EQ(0x11u, channel.Get(0, 1));

    // Key to alpha with the image's own key.
    Image keyed;
    ASSERT_EQ(0, InitMemImage(&keyed.m, 3, 2, -1, 0x00C86432u, kMemImgColor32, 0, 1, 0));
    ASSERT_EQ(0, TransferImageToMemImg(&image, nullptr, &keyed.m, 0, 0, 3, 2, 0, 0, 1));
    EXPECT_EQ(0x00C86432u, keyed.Get(0, 1));
    EXPECT_EQ(0xFF000000u, keyed.Get(0, 0));
}

TEST(MemImgCopies, BetweenImagesAndOutToPictures) {
    Image r565;
    ASSERT_EQ(0, InitMemImage(&r565.m, 3, 2, -1, 0, kMemImgColor16, 0, 0, 0));
    r565.Set(0, 0, 0xF801);
    r565.Set(2, 1, 0x07E0);
    Image x888;
    ASSERT_EQ(0, InitMemImage(&x888.m, 4, 3, -1, 0, kMemImgColor32, 0, 0, 0));
    EXPECT_EQ(0, BltMemImage(&x888.m, &r565.m, nullptr, 1, 1));
    EXPECT_EQ(0x00F80008u, x888.Get(1, 1));
    EXPECT_EQ(0x0000FC00u, x888.Get(3, 2));
    const RECT part = {2, 1, 3, 2};
    x888.Set(0, 0, 0);
    EXPECT_EQ(0, BltMemImage(&x888.m, &r565.m, &part, 0, 0));
    EXPECT_EQ(0x0000FC00u, x888.Get(0, 0));

    // Palette images are read through their own palette.
    for (int type : {kMemImgColor16, kMemImgColor32}) {
        SCOPED_TRACE(type);
        Image pal;
        ASSERT_EQ(0, InitMemImage(&pal.m, 2, 1, -1, 0, type, 1, 0, 0));
        if (type == kMemImgColor16) {
            static_cast<uint16_t*>(pal.m.palette)[9] = 0xF800;
        } else {
            static_cast<uint32_t*>(pal.m.palette)[9] = 0x00FF0000u;
        }
        pal.Set(0, 0, 9);
        Image out;
        ASSERT_EQ(0, InitMemImage(&out.m, 2, 1, -1, 0, kMemImgColor32, 0, 0, 0));
        EXPECT_EQ(0, BltMemImage(&out.m, &pal.m, nullptr, 0, 0));
        EXPECT_EQ(0xFFFF0000u, out.Get(0, 0));
    }

    // Out to a 24-bit picture, with and without the key; alpha, palette and single-channel images are refused.
    ColorFormat rgb24;
    SetRgb24ColorFormat(&rgb24);
    Picture picture(rgb24, 3, 2);
    GraphImage pictureImage = picture.AsGraphImage();
    x888.Set(0, 0, 0x00112233u);
    x888.Set(1, 0, 0x00FF00FFu);
    BltMemImageToImage(&pictureImage, &x888.m, 0, 0, 2, 1, 1, 1, 0, 0);
    EXPECT_EQ(0x112233u, picture.Get(1, 1));
    EXPECT_EQ(0xFF00FFu, picture.Get(2, 1));
    picture.Set(0, 0, 0x777777);
    picture.Set(1, 0, 0x777777);
    BltMemImageToImage(&pictureImage, &x888.m, 0, 0, 2, 1, 0, 0, 0x00FF00FFu, 1);
    EXPECT_EQ(0x112233u, picture.Get(0, 0));
    EXPECT_EQ(0x777777u, picture.Get(1, 0));

    const std::vector<uint8_t> before = picture.bytes;
    Image alphaImage, paletteImage, channelImage;
    ASSERT_EQ(0, InitMemImage(&alphaImage.m, 2, 2, -1, 0, kMemImgColor32, 0, 1, 0));
    ASSERT_EQ(0, InitMemImage(&paletteImage.m, 2, 2, -1, 0, kMemImgColor32, 1, 0, 0));
    ASSERT_EQ(0, InitMemImage(&channelImage.m, 2, 2, -1, 0, kMemImgChannel8, 0, 0, 0));
    for (MEMIMG* refused : {&alphaImage.m, &paletteImage.m, &channelImage.m}) {
        memset(refused->pixels, 0x44, static_cast<size_t>(refused->pitch) * 2);
        BltMemImageToImage(&pictureImage, refused, 0, 0, 2, 2, 0, 0, 0, 0);
    }
    EXPECT_EQ(before, picture.bytes);

    // Uninitialised images are refused with -1.
    Image empty;
    EXPECT_EQ(-1, BltMemImage(&x888.m, &empty.m, nullptr, 0, 0));
    EXPECT_EQ(-1, BltMemImage(&empty.m, &x888.m, nullptr, 0, 0));
}

namespace {

// Rectangles that reach outside either image are refused before a pixel moves: the destination buffers, with room
// behind their rows that no copy may touch, stay exactly as they were.
TEST(MemImgCopies, RectanglesOutsideEitherImageAreRefused) {
    const ColorFormat x888 = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
    Picture picture(x888, 3, 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) picture.Set(x, y, 0x00102030u + static_cast<uint32_t>(x + 3 * y));
    }
    GraphImage pictureImage = picture.AsGraphImage();
    Picture smallAlpha(x888, 2, 2);
    GraphImage smallAlphaImage = smallAlpha.AsGraphImage();
    Image source;
    ASSERT_EQ(0, InitMemImage(&source.m, 3, 2, -1, 0, kMemImgColor32, 0, 0, 0));
    memset(source.m.pixels, 0x5A, static_cast<size_t>(source.m.pitch) * 2);

    // A 3 x 2 destination over a buffer of the test's own: 16-byte rows and a guard area behind them.
    std::vector<uint8_t> buffer(16 * 2 + 64, 0xCD);
    Image dst;
    dst.m.pixels = buffer.data();
    ASSERT_EQ(0, InitMemImage(&dst.m, 3, 2, 16, 0, kMemImgColor32, 0, 0, 0));
    Picture out(x888, 3, 2);
    GraphImage outImage = out.AsGraphImage();

    struct Case {
        const char* name;
        std::function<int()> copy;
    } cases[] = {
        {"upload: source columns past the picture",
         [&] { return TransferImageToMemImg(&pictureImage, nullptr, &dst.m, 1, 0, 3, 1, 0, 0, 0); }},
        {"upload: source rows past the picture",
         [&] { return TransferImageToMemImg(&pictureImage, nullptr, &dst.m, 0, 1, 1, 2, 0, 0, 0); }},
        {"upload: an alpha picture smaller than the rectangle",
         [&] { return TransferImageToMemImg(&pictureImage, &smallAlphaImage, &dst.m, 0, 0, 3, 2, 0, 0, 0); }},
        {"upload: destination columns past the image",
         [&] { return TransferImageToMemImg(&pictureImage, nullptr, &dst.m, 0, 0, 2, 1, 2, 0, 0); }},
        {"upload: destination rows past the image",
         [&] { return TransferImageToMemImg(&pictureImage, nullptr, &dst.m, 0, 0, 1, 2, 0, 1, 0); }},
        {"copy: source rectangle past the source",
         [&] {
             const RECT r = {2, 0, 4, 1};
             return BltMemImage(&dst.m, &source.m, &r, 0, 0);
         }},
        {"copy: destination past the image", [&] { return BltMemImage(&dst.m, &source.m, nullptr, 1, 0); }},
        {"out to a picture: source past the image",
         [&] {
             BltMemImageToImage(&outImage, &source.m, 1, 0, 3, 1, 0, 0, 0, 0);
             return -1;
         }},
        {"out to a picture: destination past the picture",
         [&] {
             BltMemImageToImage(&outImage, &source.m, 0, 0, 2, 2, 2, 0, 0, 0);
             return -1;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bufferBefore = buffer;
        const std::vector<uint8_t> outBefore = out.bytes;
        EXPECT_EQ(-1, c.copy());
        EXPECT_EQ(bufferBefore, buffer);
        EXPECT_EQ(outBefore, out.bytes);
    }

    // The same copies inside both images go through.
    EXPECT_EQ(0, TransferImageToMemImg(&pictureImage, nullptr, &dst.m, 1, 0, 2, 2, 1, 0, 0));
    EXPECT_EQ(0x00102032u, dst.Get(2, 0) & 0xFFFFFF);
    BltMemImageToImage(&outImage, &source.m, 0, 0, 1, 2, 2, 0, 0, 0);
    EXPECT_EQ(0x5A5A5Au, out.Get(2, 1) & 0xFFFFFF);
}

}  // namespace
