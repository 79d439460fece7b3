// Where the scaled, rotated and triangle rasterisers put their pixels: the column sequences of the scaled copy,
// the rotated copy's texel at every pixel, the triangle's pixel sets, and the guard bands around destination,
// texture and mask under extreme positions, sizes and scales.
#include <limits.h>
#include <math.h>
#include <string.h>

#include <algorithm>
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

// The rotated copy's set-up, recomputed: 14.18 coefficients and corners, the clipped box, the source position of
// the box's top-left pixel and the steps per row and per column.
struct RotatedSetUp {
    int64_t left, top, right, bottom;
    int64_t ut, vt, ru, rv, du, dv;
    bool empty;
};

int64_t IntPart18(int64_t v) { return v < 0 ? -((-v) >> 18) : v >> 18; }

RotatedSetUp ComputeRotated(int w, int h, int cx, int cy, float angle, float scale, RECT clip) {
    RotatedSetUp r = {};
    const float sn = static_cast<float>(sin(static_cast<double>(angle)));
    const float cs = static_cast<float>(cos(static_cast<double>(angle)));
    const float isn = static_cast<float>(sin(static_cast<double>(-angle)));
    const float ics = static_cast<float>(cos(static_cast<double>(-angle)));
    const int64_t FC = static_cast<int64_t>(cs * 262144.0f), FS = static_cast<int64_t>(sn * 262144.0f);
    const int64_t IS = static_cast<int64_t>(isn * 262144.0f), IC = static_cast<int64_t>(ics * 262144.0f);
    const float hw = static_cast<float>(w) * scale * 0.5f, hh = static_cast<float>(h) * scale * 0.5f;
    const float A = static_cast<float>(FC) * hw, B = static_cast<float>(FS) * hw;
    const float C = static_cast<float>(FC) * hh, D = static_cast<float>(FS) * hh;
    const float xs[4] = {D - A, -A - D, A - D, A + D}, ys[4] = {-C - B, C - B, B + C, B - C};
    int64_t minX = INT64_MAX, maxX = INT64_MIN, minY = INT64_MAX, maxY = INT64_MIN;
    for (int i = 0; i < 4; ++i) {
        const int64_t X = static_cast<int64_t>(xs[i]) + static_cast<int64_t>(cx) * 262144;
        const int64_t Y = static_cast<int64_t>(ys[i]) + static_cast<int64_t>(cy) * 262144;
        minX = std::min(minX, X);
        maxX = std::max(maxX, X);
        minY = std::min(minY, Y);
        maxY = std::max(maxY, Y);
    }
    r.left = std::max<int64_t>(IntPart18(minX) - 2, clip.left);
    r.top = std::max<int64_t>(IntPart18(minY) - 2, clip.top);
    r.right = std::min<int64_t>(IntPart18(maxX) + 4, clip.right);
    r.bottom = std::min<int64_t>(IntPart18(maxY) + 4, clip.bottom);
    r.empty = r.left >= r.right || r.top >= r.bottom || minY == maxY;
    if (r.empty) return r;
    r.du = static_cast<int64_t>(static_cast<float>(FC) / scale);
    r.dv = static_cast<int64_t>(static_cast<float>(IS) / scale);
    auto at = [&](int64_t py, int64_t* u, int64_t* v) {
        const int64_t rx = r.left - cx, ry = py - cy;
        *u = static_cast<int64_t>(static_cast<float>(static_cast<double>(rx * IC - ry * IS) / scale)) +
             (static_cast<int64_t>(w >> 1) << 18);
        *v = static_cast<int64_t>(static_cast<float>(static_cast<double>(rx * IS + ry * IC) / scale)) +
             (static_cast<int64_t>(h >> 1) << 18);
    };
    int64_t ub, vb;
    at(r.top, &r.ut, &r.vt);
    at(r.bottom, &ub, &vb);
    r.ru = (ub - r.ut) / (r.bottom - r.top);
    r.rv = (vb - r.vt) / (r.bottom - r.top);
    return r;
}

TEST_F(SoftGeometryTest, RotatedPixelsHoldTheTexelOfTheirPosition) {
    std::mt19937 rng(5);
    ref::Image tex, dst;
    MakeTexture(&tex, 17, 11);
    for (int round = 0; round < 60; ++round) {
        MakeBlank(&dst, 64, 64);
        const float angle = static_cast<float>(rng() % 10000) / 1000.0f - 5.0f;
        const float scale = 0.3f + static_cast<float>(rng() % 3000) / 1000.0f;
        const int cx = static_cast<int>(rng() % 64), cy = static_cast<int>(rng() % 64);
        const RECT clip = {static_cast<LONG>(rng() % 8), static_cast<LONG>(rng() % 8), 64 - static_cast<LONG>(rng() % 8), 64};
        GetDrawState().drawArea = clip;
        SoftBlitRotated(&dst.img, &tex.img, cx, cy, angle, scale, 0, 0, nullptr);
        const RotatedSetUp r = ComputeRotated(17, 11, cx, cy, angle, scale, clip);
        int drawn = 0;
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) {
                const uint32_t got = ref::ReadPixel(dst.img, x, y);
                uint32_t want = 0;
                if (!r.empty && x >= r.left && x < r.right && y >= r.top && y < r.bottom) {
                    const int64_t u = r.ut + (y - r.top) * r.ru + (x - r.left) * r.du;
                    const int64_t v = r.vt + (y - r.top) * r.rv + (x - r.left) * r.dv;
                    if (u >= 0 && v >= 0 && (u >> 18) < 17 && (v >> 18) < 11) {
                        want = 0x01000000u | static_cast<uint32_t>(v >> 18) << 12 | static_cast<uint32_t>(u >> 18);
                    }
                }
                drawn += got != 0;
                ASSERT_EQ(got, want) << "round " << round << " at " << x << "," << y;
            }
        }
        EXPECT_TRUE(dst.BorderIntact());
        if (round == 0) {
            EXPECT_GT(drawn, 0);
        }
    }
}

TEST_F(SoftGeometryTest, TallSourcesRotate) {
    // Far more rows than a fixed row table of 4096 would hold.
    ref::Image tex, dst;
    MakeTexture(&tex, 4, 5000);
    MakeBlank(&dst, 32, 32);
    SetArea(0, 0, 32, 32);
    SoftBlitRotated(&dst.img, &tex.img, 16, 16, 0.0f, 1.0f, 0, 0, nullptr);
    EXPECT_EQ(ref::ReadPixel(dst.img, 16, 16), 0x01000000u | 2500u << 12 | 2u);
    EXPECT_EQ(ref::ReadPixel(dst.img, 14, 0), 0x01000000u | 2484u << 12 | 0u);
}

TEST_F(SoftGeometryTest, FlatTrianglesScaleTheirColourAndPaletteKeysAboveAByteKeyNothing) {
    ref::Image dst;
    MakeBlank(&dst, 20, 20);
    SetArea(0, 0, 20, 20);
    GetDrawState().colorScale = 0x808080;
    const SoftVertex v[3] = {{0, 0, 0, 0}, {10, 0, 8, 0}, {0, 10, 0, 8}};
    SoftDrawTriangle(&dst.img, nullptr, v, 1, nullptr, 0xAAFF8040u);
    EXPECT_EQ(ref::ReadPixel(dst.img, 1, 1), 0xAA804020u);
    GetDrawState().colorScale = 0xFFFFFF;
    // A palette texture whose key is above 255 keys no texel: keyed, it draws exactly what it draws unkeyed.
    ref::Image pal, keyed, plain;
    ref::MakeImage(&pal, 8, 8, kMemImgColor32, true, false, 3);
    pal.img.colorKey = 0x107;  // the low byte is the index the image's key pixels hold
    MakeBlank(&keyed, 20, 20);
    MakeBlank(&plain, 20, 20);
    SoftDrawTriangle(&keyed.img, &pal.img, v, 1, nullptr, 0);
    SoftDrawTriangle(&plain.img, &pal.img, v, 0, nullptr, 0);
    EXPECT_EQ(keyed.buffer, plain.buffer);
    // Keyed by 7 itself, the pixels of index 7 are skipped.
    pal.img.colorKey = 7;
    MakeBlank(&keyed, 20, 20);
    SoftDrawTriangle(&keyed.img, &pal.img, v, 1, nullptr, 0);
    EXPECT_NE(keyed.buffer, plain.buffer);
}

TEST_F(SoftGeometryTest, ScaledCopyOntoAnUnlikeDestinationIsRefused) {
    ref::Image src, dst;
    ref::MakeImage(&src, 4, 4, kMemImgColor32, false, false, 1);
    ref::MakeImage(&dst, 8, 8, kMemImgColor16, false, false, 2);
    const std::vector<uint8_t> keep = dst.buffer;
    const int corners[4] = {0, 0, 8, 8};
    SoftBlitScaled(&dst.img, &src.img, corners, 0, nullptr);
    EXPECT_EQ(dst.buffer, keep);
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
