// Where the scaled, rotated and triangle rasterisers put their pixels: the column sequences of the scaled copy,
// the rotated copy's texel at every pixel, the triangle's pixel sets, and the guard bands around destination,
// texture and mask under extreme positions, sizes and scales.
#include <limits.h>
#include <math.h>
#include <string.h>

#include <random>
#include <set>
#include <utility>
#include <vector>

#include "graphics/color/memimg.h"
#include "soft_fixture.h"
#include "softrender/softrender.h"

namespace {

constexpr uint32_t kPoison = 0xA5A5A5A5u;

// A 32-bit texture whose texel (x, y) holds 0x01000000 | y << 12 | x.
void MakeTexture(ref::Image* t, int w, int h) {
    ref::MakeImage(t, w, h, kMemImgColor32, false, false, 99);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t v = 0x01000000u | static_cast<uint32_t>(y) << 12 | static_cast<uint32_t>(x);
            memcpy(t->img.pixels + y * t->img.pitch + x * 4, &v, 4);
        }
    }
    t->img.colorKey = 0xFFFFFFFFu;
}

void MakeBlank(ref::Image* d, int w, int h) {
    ref::MakeImage(d, w, h, kMemImgColor32, false, false, 1);
    for (int y = 0; y < h; ++y) memset(d->img.pixels + y * d->img.pitch, 0, static_cast<size_t>(w) * 4);
}

int TexelX(uint32_t v) { return v == 0 ? -1 : static_cast<int>(v & 0xFFF); }
int TexelY(uint32_t v) { return v == 0 ? -1 : static_cast<int>((v >> 12) & 0xFFF); }

class SoftGeometryTest : public SoftRenderTest {};

std::vector<int> ScaledRow(int srcWidth, int x1, int x2, RECT area = RECT{0, 0, 64, 4}) {
    ref::Image tex, dst;
    MakeTexture(&tex, srcWidth, 1);
    MakeBlank(&dst, 64, 4);
    GetDrawState().drawArea = area;
    const int corners[4] = {x1, 0, x2, 1};
    SoftBlitScaled(&dst.img, &tex.img, corners, 0, nullptr);
    std::vector<int> cols;
    for (int x = 0; x < 64; ++x) {
        const uint32_t v = ref::ReadPixel(dst.img, x, 0);
        if (v != 0) cols.push_back(TexelX(v));
    }
    EXPECT_TRUE(dst.BorderIntact());
    return cols;
}

TEST_F(SoftGeometryTest, ScaledColumnsFollowTheTruncatedScale) {
    EXPECT_EQ(ScaledRow(4, 0, 8), (std::vector<int>{0, 0, 1, 1, 2, 2, 3, 3}));
    EXPECT_EQ(ScaledRow(4, 8, 0), (std::vector<int>{3, 3, 2, 2, 1, 1, 0, 0}));
    EXPECT_EQ(ScaledRow(8, 0, 4), (std::vector<int>{0, 2, 4, 6}));
    EXPECT_EQ(ScaledRow(3, 0, 7), (std::vector<int>{0, 0, 0, 1, 1, 2, 2}));
    EXPECT_EQ(ScaledRow(4, -3, 5), (std::vector<int>{1, 2, 2, 3, 3}));
    EXPECT_EQ(ScaledRow(4, 0, 4), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(ScaledRow(4, 4, 0), (std::vector<int>{3, 2, 1, 0}));
    EXPECT_TRUE(ScaledRow(4, 3, 3).empty());
}

TEST_F(SoftGeometryTest, ScaledBlendsFollowTheReference) {
    for (int bits : {32, 16}) {
        for (int kind = 0; kind < 3; ++kind) {
            for (int mode = 0; mode <= 4; ++mode) {
                for (int p : {0, 128, 200, 255}) {
                    for (bool mask : {false, true}) {
                        for (int transparent : {0, 1}) {
                            for (int mmx : {0, 1}) {
                                const int type = bits == 32 ? kMemImgColor32 : kMemImgColor16;
                                ref::Image src, dst, m;
                                ref::MakeImage(&src, 5, 3, type, kind == 2, kind == 1, mode * 31 + p + kind);
                                ref::MakeImage(&dst, 12, 8, type, false, false, p + 5);
                                if (mask) ref::MakeMask(&m, 5, 3, 77);
                                std::vector<uint32_t> before;
                                for (int y = 0; y < 8; ++y)
                                    for (int x = 0; x < 12; ++x) before.push_back(ref::ReadPixel(dst.img, x, y));
                                ref::Settings s;
                                s.mode = mode;
                                s.p = p;
                                s.mmx = mmx;
                                s.mask = mask;
                                s.transparent = transparent;
                                s.op = ref::Op::kScaled;
                                s.palette = kind == 2;
                                Apply(s);
                                SetArea(0, 0, 12, 8);
                                const int corners[4] = {11, 0, 1, 6};  // 10 x 6, mirrored on x
                                SoftBlitScaled(&dst.img, &src.img, corners, transparent, mask ? &m.img : nullptr);
                                for (int y = 0; y < 8; ++y) {
                                    for (int x = 0; x < 12; ++x) {
                                        uint32_t want = before[y * 12 + x];
                                        if (x >= 1 && x < 11 && y < 6) {
                                            const int sx = 4 - (x - 1) / 2, sy = y / 2;
                                            const int w = mask ? BlendGraphWeightTable[m.img.pixels[sy * m.img.pitch + sx]] : -1;
                                            want = ref::Pixel(s, bits, want, ref::SourceColour(src.img, sx, sy),
                                                              ref::SourceAlpha(src.img, sx, sy), w,
                                                              ref::SourceKeyed(src.img, sx, sy, true));
                                        }
                                        ASSERT_EQ(ref::ReadPixel(dst.img, x, y), want)
                                            << "bits " << bits << " kind " << kind << " mode " << mode << " p " << p
                                            << " mask " << mask << " transparent " << transparent << " mmx " << mmx
                                            << " at " << x << "," << y;
                                    }
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}

TEST_F(SoftGeometryTest, RotatedCopiesAtZeroAQuarterTurnAndScaleTwo) {
    ref::Image tex, dst;
    MakeTexture(&tex, 8, 6);
    for (int variant = 0; variant < 3; ++variant) {
        MakeBlank(&dst, 48, 48);
        const float angle = variant == 2 ? static_cast<float>(1.57079632679489661923) : 0.0f;
        const float scale = variant == 1 ? 2.0f : 1.0f;
        SoftBlitRotated(&dst.img, &tex.img, 20, 21, angle, scale, 0, 0, nullptr);
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 48; ++x) {
                const int i = x - 20, j = y - 21;
                int tx = 4 + i, ty = 3 + j;
                if (variant == 1) {
                    tx = 4 + (i >= 0 ? i / 2 : -((-i + 1) / 2));
                    ty = 3 + (j >= 0 ? j / 2 : -((-j + 1) / 2));
                } else if (variant == 2) {
                    tx = 4 + j;
                    ty = 3 - i;
                }
                const bool inside = tx >= 0 && tx < 8 && ty >= 0 && ty < 6;
                const uint32_t v = ref::ReadPixel(dst.img, x, y);
                if (inside) {
                    ASSERT_EQ(v, 0x01000000u | ty << 12 | tx) << "variant " << variant << " at " << x << "," << y;
                } else {
                    ASSERT_EQ(v, 0u) << "variant " << variant << " at " << x << "," << y;
                }
            }
        }
        EXPECT_TRUE(dst.BorderIntact());
    }
}

TEST_F(SoftGeometryTest, RotatedPixelsHoldTheTexelOfTheirPosition) {
    std::mt19937 rng(5);
    ref::Image tex, dst;
    MakeTexture(&tex, 17, 11);
    for (int round = 0; round < 40; ++round) {
        MakeBlank(&dst, 64, 64);
        const float angle = static_cast<float>(rng() % 10000) / 1000.0f - 5.0f;
        const float scale = 0.3f + static_cast<float>(rng() % 3000) / 1000.0f;
        const int cx = static_cast<int>(rng() % 64), cy = static_cast<int>(rng() % 64);
        SetArea(0, 0, 64, 64);
        SoftBlitRotated(&dst.img, &tex.img, cx, cy, angle, scale, 0, 0, nullptr);
        // The set-up recomputed: the source position of the box's top-left pixel, and the steps per row and column.
        float is, ic, fs, fc;
        is = sinf(-angle);
        ic = cosf(-angle);
        fs = sinf(angle);
        fc = cosf(angle);
        const int IS = static_cast<int>(is * 262144.0f), IC = static_cast<int>(ic * 262144.0f);
        const int FC = static_cast<int>(fc * 262144.0f);
        (void)fs;
        const int64_t du = static_cast<int64_t>(static_cast<float>(FC) / scale);
        const int64_t dv = static_cast<int64_t>(static_cast<float>(IS) / scale);
        int drawn = 0;
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) {
                const uint32_t v = ref::ReadPixel(dst.img, x, y);
                if (v == 0) continue;
                ++drawn;
                // Along a row the texel moves by du and dv per pixel: compare with the row's first drawn pixel's
                // neighbourhood through the exact inverse of this pixel.
                const double rx = x - cx, ry = y - cy;
                const double u = (rx * IC - ry * IS) / scale / 262144.0 + 17 / 2;
                const double vv = (rx * IS + ry * IC) / scale / 262144.0 + 11 / 2;
                EXPECT_NEAR(TexelX(v), u, 1.01 + fabs(du) / 262144.0) << round << " at " << x << "," << y;
                EXPECT_NEAR(TexelY(v), vv, 1.01 + fabs(dv) / 262144.0 + 1.0) << round << " at " << x << "," << y;
            }
        }
        EXPECT_GT(drawn, 0) << round;
        EXPECT_TRUE(dst.BorderIntact());
    }
}

TEST_F(SoftGeometryTest, TurnedRotationMirrorsTheImage) {
    ref::Image tex, dst;
    MakeTexture(&tex, 8, 6);
    MakeBlank(&dst, 48, 48);
    SoftBlitRotated(&dst.img, &tex.img, 20, 20, 0.0f, 1.0f, 0, 1, nullptr);
    int rows = 0;
    for (int y = 0; y < 48; ++y) {
        int last = INT_MAX, seen = 0;
        for (int x = 0; x < 48; ++x) {
            const uint32_t v = ref::ReadPixel(dst.img, x, y);
            if (v == 0) continue;
            EXPECT_LE(TexelX(v), last) << "texel columns fall from left to right";
            last = TexelX(v);
            ++seen;
        }
        if (seen >= 6) ++rows;
    }
    EXPECT_GE(rows, 5);
}

using Pixels = std::set<std::pair<int, int>>;

Pixels FlatTriangle(SoftVertex a, SoftVertex b, SoftVertex c) {
    ref::Image dst;
    MakeBlank(&dst, 40, 40);
    const SoftVertex v[3] = {a, b, c};
    SoftDrawTriangle(&dst.img, nullptr, v, 0, nullptr, 0x00FFFFFF);
    Pixels out;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            if (ref::ReadPixel(dst.img, x, y) != 0) out.insert({x, y});
        }
    }
    EXPECT_TRUE(dst.BorderIntact());
    return out;
}

TEST_F(SoftGeometryTest, TrianglePixelSets) {
    SetArea(0, 0, 40, 40);
    const SoftVertex a = {0, 0, 0, 0}, b = {10, 0, 0, 0}, c = {0, 10, 0, 0};
    Pixels want;
    for (int k = 0; k < 10; ++k) {
        for (int x = 0; x <= 10 - k; ++x) want.insert({x, k});
    }
    ASSERT_EQ(want.size(), 65u);
    EXPECT_EQ(FlatTriangle(a, b, c), want);
    EXPECT_EQ(FlatTriangle(a, c, b), want);
    EXPECT_EQ(FlatTriangle(b, a, c), want);
    EXPECT_EQ(FlatTriangle(b, c, a), want);
    EXPECT_EQ(FlatTriangle(c, a, b), want);
    EXPECT_EQ(FlatTriangle(c, b, a), want);
    const Pixels flatBottom = FlatTriangle({5, 0, 0, 0}, {0, 5, 0, 0}, {10, 5, 0, 0});
    int topRow = 0;
    for (const auto& p : flatBottom) topRow += p.second == 0;
    EXPECT_EQ(topRow, 1);
    EXPECT_EQ(flatBottom.count({5, 0}), 1u);
    EXPECT_TRUE(FlatTriangle({0, 0, 0, 0}, {5, 5, 0, 0}, {10, 10, 0, 0}).empty());
    EXPECT_TRUE(FlatTriangle({3, 3, 0, 0}, {3, 3, 0, 0}, {10, 1, 0, 0}).empty());
}

TEST_F(SoftGeometryTest, QuadHasNoGapAndBlendsOnlyItsDiagonalTwice) {
    ref::Image dst;
    MakeBlank(&dst, 20, 20);
    ref::Settings s;
    s.mode = 2;
    s.p = 255;
    Apply(s);
    SetArea(0, 0, 20, 20);
    const SoftVertex p1 = {0, 0, 0, 0}, p2 = {10, 0, 0, 0}, p3 = {0, 10, 0, 0}, p4 = {10, 10, 0, 0};
    const SoftVertex t1[3] = {p1, p2, p3}, t2[3] = {p2, p3, p4};
    SoftDrawTriangle(&dst.img, nullptr, t1, 0, nullptr, 0x00010101);
    SoftDrawTriangle(&dst.img, nullptr, t2, 0, nullptr, 0x00010101);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x <= 10; ++x) {
            const uint32_t v = ref::ReadPixel(dst.img, x, y) & 0xFF;
            EXPECT_EQ(v, x + y == 10 ? 2u : 1u) << x << "," << y;
        }
    }
}

TEST_F(SoftGeometryTest, TexturedTriangleStaysInsideTheTexture) {
    ref::Image tex, dst;
    MakeTexture(&tex, 16, 16);
    MakeBlank(&dst, 40, 40);
    SetArea(0, 0, 40, 40);
    const SoftVertex v[3] = {{-1, 0, 0, 0}, {30, 0, 16, 0}, {-1, 30, 0, 16}};
    SoftDrawTriangle(&dst.img, &tex.img, v, 0, nullptr, 0);
    int drawn = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            const uint32_t p = ref::ReadPixel(dst.img, x, y);
            ASSERT_NE(p, kPoison);
            if (p == 0) continue;
            ++drawn;
            EXPECT_LT(TexelX(p), 16);
            EXPECT_LT(TexelY(p), 16);
        }
    }
    EXPECT_GT(drawn, 300);
    // The first vertex at x = -1 anchors at column 0, so the column a pixel shows starts one texel on.
    EXPECT_EQ(TexelX(ref::ReadPixel(dst.img, 0, 0)), 0);
}

// Every rasteriser under hostile geometry: the sentinel around destination, texture and mask stays, nothing
// outside the draw area changes, and no poison texel from around the texture is drawn.
TEST_F(SoftGeometryTest, GuardBandsHoldUnderExtremeInput) {
    ref::Image tex, mask, dst;
    MakeTexture(&tex, 9, 7);
    ref::MakeMask(&mask, 9, 7, 4);
    const int positions[] = {-8193, -8192, -8191, -9, 0, 5, 8191, 8192, INT_MIN, INT_MAX, INT_MIN + 1, INT_MAX - 1};
    const float floats[] = {NAN, INFINITY, -INFINITY, 0.0f, -0.0f, -1.5f, 1e30f, 1e-30f, 3.0f, 250.0f};
    const RECT areas[] = {{0, 0, 24, 24}, {4, 5, 20, 19}, {0, 0, 1, 24}, {23, 0, 24, 24}, {0, 23, 24, 24}};
    for (const RECT& area : areas) {
        for (int mode : {0, 1, 2}) {
            MakeBlank(&dst, 24, 24);
            ref::Settings s;
            s.mode = mode;
            s.p = 200;
            Apply(s);
            GetDrawState().drawArea = area;
            for (int a : positions) {
                for (int b : positions) {
                    const int corners[4] = {a, b, b, a};
                    SoftBlitScaled(&dst.img, &tex.img, corners, 1, &mask.img);
                    const int partial[4] = {a, 3, 12, b};
                    SoftBlitScaled(&dst.img, &tex.img, partial, 0, nullptr);
                    SoftBlit(&dst.img, &tex.img, a, b, 1, &mask.img);
                    SoftDrawLine(&dst.img, a, b, b, a, 0x00FFFFFF);
                    const SoftVertex v[3] = {{a, b, 0, 0}, {10, 3, 9, 0}, {2, 20, a, b}};
                    SoftDrawTriangle(&dst.img, &tex.img, v, 0, &mask.img, 0);
                    SoftDrawTriangle(&dst.img, nullptr, v, 0, nullptr, 0x00FFFFFF);
                    const RECT r = {a, b, b, a};
                    SoftFillRect(&dst.img, &r, 0x00123456);
                    SoftBlitRotated(&dst.img, &tex.img, a, b, 0.5f, 2.0f, 0, 0, &mask.img);
                    SoftBlitRotated(&dst.img, &tex.img, a, b, 0.5f, 2.0f, 0, 1, &mask.img);
                }
                for (float f : floats) {
                    SoftBlitRotated(&dst.img, &tex.img, 12, a == 0 ? 12 : a, f, 1.0f, 1, 0, &mask.img);
                    SoftBlitRotated(&dst.img, &tex.img, 12, 12, 0.25f, f, 1, 0, &mask.img);
                    SoftBlitRotated(&dst.img, &tex.img, 12, 12, 0.25f, f, 1, 1, &mask.img);
                }
            }
            EXPECT_TRUE(dst.BorderIntact());
            for (int y = 0; y < 24; ++y) {
                for (int x = 0; x < 24; ++x) {
                    const uint32_t v = ref::ReadPixel(dst.img, x, y);
                    const bool inArea = x >= area.left && x < area.right && y >= area.top && y < area.bottom;
                    if (!inArea) {
                        ASSERT_EQ(v, 0u) << "outside the area at " << x << "," << y;
                    }
                    ASSERT_NE(v, kPoison);
                }
            }
        }
    }
    EXPECT_TRUE(tex.BorderIntact());
    EXPECT_TRUE(mask.BorderIntact());
}

}  // namespace
