// Fills and lines: the flat-colour rules against the reference, the line's pixel lists, its clipping and the
// rejection of lines that pass the draw area by, and the outline's corners drawn once.
#include <limits.h>
#include <string.h>

#include <set>
#include <utility>
#include <vector>

#include "graphics/color/memimg.h"
#include "soft_fixture.h"
#include "softrender/softrender.h"

namespace {

using Pixels = std::set<std::pair<int, int>>;

class SoftFlatTest : public SoftRenderTest {};

// The pixels of a 32-bit image that changed from their starting value.
Pixels Changed(const ref::Image& image, const std::vector<uint8_t>& before) {
    Pixels out;
    for (int y = 0; y < image.img.height; ++y) {
        for (int x = 0; x < image.img.width; ++x) {
            const size_t off = static_cast<size_t>(image.img.pixels - image.buffer.data()) + y * image.img.pitch + x * 4;
            if (memcmp(image.buffer.data() + off, before.data() + off, 4) != 0) out.insert({x, y});
        }
    }
    return out;
}

TEST_F(SoftFlatTest, FillMatchesTheReferenceInEveryMode) {
    for (int bits : {32, 16}) {
        for (int mode = 0; mode <= 5; ++mode) {
            for (int p : {0, 1, 128, 200, 255}) {
                for (uint32_t scale : {0xFFFFFFu, 0xFF80FFu, 0x4080C0u}) {
                    ref::Image dst;
                    ref::MakeImage(&dst, 9, 6, bits == 32 ? kMemImgColor32 : kMemImgColor16, false, false, mode * 7 + p);
                    const uint32_t colour = bits == 32 ? 0xC0FFFFFFu : 0xFFFFu;
                    std::vector<uint32_t> before;
                    for (int y = 0; y < 6; ++y)
                        for (int x = 0; x < 9; ++x) before.push_back(ref::ReadPixel(dst.img, x, y));
                    ref::Settings s;
                    s.mode = mode;
                    s.p = p;
                    s.scale = scale;
                    Apply(s);
                    SetArea(1, 1, 8, 5);
                    const RECT rect = {6, 4, 2, 0};  // corners the wrong way round
                    SoftFillRect(&dst.img, &rect, colour);
                    // The fill scales its colour by (scale x channel) >> 8 before blending.
                    uint32_t c = colour;
                    if (scale != 0xFFFFFF) {
                        const uint32_t r = scale >> 16, g = (scale >> 8) & 255, b = scale & 255;
                        c = bits == 32 ? (colour & 0xFF000000u) | ((((colour >> 16) & 255) * r >> 8) << 16) |
                                             ((((colour >> 8) & 255) * g >> 8) << 8) | ((colour & 255) * b >> 8)
                                       : (((colour >> 11) & 31) * r >> 8) << 11 | (((colour >> 5) & 63) * g >> 8) << 5 |
                                             ((colour & 31) * b >> 8);
                    }
                    s.op = ref::Op::kFlat;
                    s.scale = 0xFFFFFF;
                    for (int y = 0; y < 6; ++y) {
                        for (int x = 0; x < 9; ++x) {
                            const uint32_t old = before[y * 9 + x];
                            const bool inside = x >= 2 && x < 6 && y >= 1 && y < 4;
                            const uint32_t want = inside ? ref::Pixel(s, bits, old, c, -1, -1, false) : old;
                            ASSERT_EQ(ref::ReadPixel(dst.img, x, y), want)
                                << "bits " << bits << " mode " << mode << " p " << p << " scale " << std::hex << scale
                                << " at " << std::dec << x << "," << y;
                        }
                    }
                    EXPECT_TRUE(dst.BorderIntact());
                }
            }
        }
    }
}

TEST_F(SoftFlatTest, WorkedFillNumbers) {
    ref::Image dst;
    ref::MakeImage(&dst, 4, 1, kMemImgColor32, false, false, 3);
    GetDrawState().colorScale = 0xFF80FF;
    SoftFillRect(&dst.img, nullptr, 0x00FFFFFF);
    EXPECT_EQ(ref::ReadPixel(dst.img, 0, 0), 0x00FE7FFEu);
    // An image with alpha is never filled.
    ref::Image alpha;
    ref::MakeImage(&alpha, 4, 1, kMemImgColor32, false, true, 4);
    const std::vector<uint8_t> keep = alpha.buffer;
    SoftFillRect(&alpha.img, nullptr, 0);
    EXPECT_EQ(alpha.buffer, keep);
}

Pixels DrawLine(int x1, int y1, int x2, int y2, RECT area = RECT{0, 0, 40, 40}) {
    ref::Image dst;
    ref::MakeImage(&dst, 40, 40, kMemImgColor32, false, false, 11);
    const std::vector<uint8_t> before = dst.buffer;
    GetDrawState().drawArea = area;
    SoftDrawLine(&dst.img, x1, y1, x2, y2, 0x01020304);
    EXPECT_TRUE(dst.BorderIntact());
    return Changed(dst, before);
}

TEST_F(SoftFlatTest, LinesSetTheirPixelsAndLeaveOutTheEnd) {
    EXPECT_EQ(DrawLine(0, 0, 3, 0), (Pixels{{0, 0}, {1, 0}, {2, 0}}));
    EXPECT_EQ(DrawLine(0, 0, 10, 5),
              (Pixels{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}, {6, 3}, {7, 3}, {8, 4}, {9, 4}}));
    EXPECT_TRUE(DrawLine(5, 5, 5, 5).empty());
    EXPECT_TRUE(DrawLine(-20, -5, -3, -1).empty());
    EXPECT_EQ(DrawLine(-5, 0, 5, 0), (Pixels{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}}));
    Pixels ten;
    for (int x = 0; x < 10; ++x) ten.insert({x, 0});
    EXPECT_EQ(DrawLine(0, 0, 100, 0, RECT{0, 0, 10, 10}), ten);
}

TEST_F(SoftFlatTest, LinesThatPassTheAreaByDrawNothing) {
    // The bounding box of this line overlaps the area, the line itself does not.
    EXPECT_TRUE(DrawLine(-10, 5, 5, -10, RECT{0, 0, 10, 10}).empty());
    EXPECT_TRUE(DrawLine(15, 8, 8, 15, RECT{0, 0, 10, 10}).empty());
    // One that crosses a corner of the area still draws its pixels inside.
    EXPECT_FALSE(DrawLine(-5, 5, 5, -5, RECT{0, 0, 10, 10}).empty());
    for (const Pixels& p : {DrawLine(INT_MIN, INT_MIN, INT_MAX, INT_MAX, RECT{0, 0, 10, 10}),
                            DrawLine(INT_MAX, 0, INT_MIN, 3, RECT{0, 0, 10, 10}),
                            DrawLine(-8192, 5, 8192, 5, RECT{0, 0, 10, 10})}) {
        for (const auto& xy : p) {
            EXPECT_TRUE(xy.first >= 0 && xy.first < 10 && xy.second >= 0 && xy.second < 10);
        }
    }
}

TEST_F(SoftFlatTest, OutlineTouchesEachBorderPixelOnce) {
    // Alpha at p = 128 over black with white: a pixel drawn twice would be lighter than one drawn once.
    ref::Image dst;
    ref::MakeImage(&dst, 10, 10, kMemImgColor32, false, false, 1);
    for (int y = 0; y < 10; ++y) memset(dst.img.pixels + y * dst.img.pitch, 0, 40);
    ref::Settings s;
    s.mode = 1;
    s.p = 128;
    Apply(s);
    SetArea(0, 0, 10, 10);
    SoftLineRecord lines[4];
    BuildBoxOutline(lines, 1, 2, 5, 5, 0x00FFFFFF, 128);
    SoftDrawLines(&dst.img, lines, 4);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool border = x >= 1 && x <= 4 && y >= 2 && y <= 4 && (x == 1 || x == 4 || y == 2 || y == 4);
            EXPECT_EQ(ref::ReadPixel(dst.img, x, y), border ? 0x007F7F7Fu : 0u) << x << "," << y;
        }
    }
}

}  // namespace
