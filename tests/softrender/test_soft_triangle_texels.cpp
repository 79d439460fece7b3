// Which texel every pixel of a textured triangle shows: a model of the rasteriser written out step by step in this
// file (14.18 vertices, the exchange sort, the four gradients, the edge segments, the row scan and the texel test)
// predicts each pixel of squares 2..40 and of sundry triangles, and the renderer must draw exactly that.
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "graphics/color/memimg.h"
#include "soft_fixture.h"
#include "softrender/softrender.h"

namespace {

// A texel (x, y) holds 0x01000000 | y << 12 | x, so a pixel names the texel it came from.
uint32_t TexelValue(int x, int y) { return 0x01000000u | static_cast<uint32_t>(y) << 12 | static_cast<uint32_t>(x); }

void MakeTexture(ref::Image* t, int w, int h) {
    ref::MakeImage(t, w, h, kMemImgColor32, false, false, 5);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t v = TexelValue(x, y);
            memcpy(t->img.pixels + y * t->img.pitch + x * 4, &v, 4);
        }
    }
    t->img.colorKey = 0xFFFFFFFFu;
}

// ---- The model ----

// Integer part of a 14.18 value, toward zero.
int32_t Whole(int32_t v) { return v < 0 ? (v + 0x3FFFF) >> 18 : v >> 18; }

struct Gradients {
    int32_t ux, uy, vx, vy;
};

// The gradients as numerator x 262144.0 / det; `quotientFirst` computes numerator x (262144.0 / det) instead, the
// order the test shows to differ.
Gradients ModelGradients(int dx10, int dx20, int dy10, int dy20, int du10, int du20, int dv10, int dv20, int det,
                         bool quotientFirst = false) {
    auto g = [&](int numerator) {
        const double n = static_cast<double>(numerator);
        const double value = quotientFirst ? n * (262144.0 / det) : n * 262144.0 / det;
        return static_cast<int32_t>(value);  // toward zero
    };
    return {g(dy10 * du20 - dy20 * du10), g(du10 * dx20 - dx10 * du20), g(dy10 * dv20 - dy20 * dv10),
            g(dv10 * dx20 - dv20 * dx10)};
}

struct Seg {
    int32_t x, step, rows;
};

bool ModelSegment(int32_t ux, int32_t uy, int32_t lx, int32_t ly, Seg* s) {
    s->x = ux;
    s->rows = Whole(ly - uy);
    if (s->rows == 0) return false;
    s->step = (lx - ux) / s->rows;
    return true;
}

using TexelMap = std::map<std::pair<int, int>, uint32_t>;

// Every pixel the triangle draws with the value it stores (plain copy, white scale, no key).
TexelMap ModelTriangle(const SoftVertex in[3], int texW, int texH, RECT clip, bool quotientFirst = false) {
    TexelMap out;
    int32_t X[3], Y[3], U[3], V[3];
    for (int i = 0; i < 3; ++i) {
        X[i] = in[i].x * 262144 + 0x20000;
        Y[i] = in[i].y * 262144 + 0x20000;
        U[i] = in[i].u * 262144;
        V[i] = in[i].v * 262144;
    }
    int ix[3] = {0, 1, 2}, iy[3] = {0, 1, 2};
    for (int p = 0; p < 2; ++p) {
        for (int k = p + 1; k < 3; ++k) {
            if (X[ix[p]] > X[ix[k]]) std::swap(ix[p], ix[k]);
            if (Y[iy[p]] > Y[iy[k]]) std::swap(iy[p], iy[k]);
        }
    }
    const SoftVertex &p0 = in[ix[0]], &p1 = in[ix[1]], &p2 = in[ix[2]];
    const int dx10 = p1.x - p0.x, dx20 = p2.x - p0.x, dy10 = p1.y - p0.y, dy20 = p2.y - p0.y;
    const int du10 = p1.u - p0.u, du20 = p2.u - p0.u, dv10 = p1.v - p0.v, dv20 = p2.v - p0.v;
    const int det = dy10 * dx20 - dy20 * dx10;
    if (det == 0) return out;
    const Gradients g = ModelGradients(dx10, dx20, dy10, dy20, du10, du20, dv10, dv20, det, quotientFirst);
    const int32_t ax = Whole(X[ix[0]]), ay = Whole(Y[ix[0]]), U0 = U[ix[0]], V0 = V[ix[0]];

    const int a = iy[0], b = iy[1], c = iy[2];
    Seg left[2], right[2];
    int leftLast = 0, rightLast = 0;
    if (Y[a] == Y[b]) {
        const int l = X[a] <= X[b] ? a : b, r = l == a ? b : a;
        if (!ModelSegment(X[l], Y[l], X[c], Y[c], &left[0]) || !ModelSegment(X[r], Y[r], X[c], Y[c], &right[0])) {
            return out;
        }
    } else if (Y[b] == Y[c]) {
        const int l = X[b] <= X[c] ? b : c, r = l == b ? c : b;
        if (!ModelSegment(X[a], Y[a], X[l], Y[l], &left[0]) || !ModelSegment(X[a], Y[a], X[r], Y[r], &right[0])) {
            return out;
        }
    } else {
        const double sab = (X[b] - X[a]) / ((Y[b] - Y[a]) / 262144.0);
        const double sac = (X[c] - X[a]) / ((Y[c] - Y[a]) / 262144.0);
        if (sac > sab) {
            if (!ModelSegment(X[a], Y[a], X[b], Y[b], &left[0]) || !ModelSegment(X[b], Y[b], X[c], Y[c], &left[1]) ||
                !ModelSegment(X[a], Y[a], X[c], Y[c], &right[0])) {
                return out;
            }
            leftLast = 1;
        } else {
            if (!ModelSegment(X[a], Y[a], X[c], Y[c], &left[0]) || !ModelSegment(X[a], Y[a], X[b], Y[b], &right[0]) ||
                !ModelSegment(X[b] + 1, Y[b], X[c], Y[c], &right[1])) {
                return out;
            }
            rightLast = 1;
        }
    }

    const uint32_t W = static_cast<uint32_t>(texW) << 18, H = static_cast<uint32_t>(texH) << 18;
    int li = 0, ri = 0;
    int32_t lx = left[0].x, rx = right[0].x, lrows = left[0].rows, rrows = right[0].rows;
    for (int32_t y = Whole(Y[a]);; ++y) {
        int32_t L = Whole(lx), R = Whole(rx), count = R - L + 1;
        if (L < clip.left) {
            count -= clip.left - L;
            L = clip.left;
        }
        if (y >= clip.top && y < clip.bottom && L < clip.right && count > 0) {
            uint32_t u = static_cast<uint32_t>(U0) + static_cast<uint32_t>(L - ax) * static_cast<uint32_t>(g.ux) +
                         static_cast<uint32_t>(y - ay) * static_cast<uint32_t>(g.uy);
            uint32_t v = static_cast<uint32_t>(V0) + static_cast<uint32_t>(L - ax) * static_cast<uint32_t>(g.vx) +
                         static_cast<uint32_t>(y - ay) * static_cast<uint32_t>(g.vy);
            for (int32_t x = L; count > 0 && x < clip.right; ++x, --count) {
                if (u < W && v < H) out[{x, y}] = TexelValue(static_cast<int>(u >> 18), static_cast<int>(v >> 18));
                u += static_cast<uint32_t>(g.ux);
                v += static_cast<uint32_t>(g.vx);
            }
        }
        lx += left[li].step;
        rx += right[ri].step;
        --lrows;
        --rrows;
        if (lrows == 0) {
            if (li == leftLast) break;
            ++li;
            lx = left[li].x;
            lrows = left[li].rows;
        }
        if (rrows == 0) {
            if (ri == rightLast) break;
            ++ri;
            rx = right[ri].x;
            rrows = right[ri].rows;
        }
    }
    return out;
}

// ---- The cases ----

struct TriangleCase {
    SoftVertex v[3];
    int texW, texH;
    RECT clip;
};

constexpr int kSize = 72;

// Draws the triangles onto a blank image and compares each pixel with the model's; "" when all agree.
std::string Compare(const std::vector<TriangleCase>& triangles) {
    ref::Image tex, dst;
    MakeTexture(&tex, triangles[0].texW, triangles[0].texH);
    ref::MakeImage(&dst, kSize, kSize, kMemImgColor32, false, false, 1);
    for (int y = 0; y < kSize; ++y) memset(dst.img.pixels + y * dst.img.pitch, 0, kSize * 4);
    TexelMap want;
    for (const TriangleCase& t : triangles) {
        GetDrawState().drawArea = t.clip;
        SoftDrawTriangle(&dst.img, &tex.img, t.v, 0, nullptr, 0);
        for (const auto& p : ModelTriangle(t.v, t.texW, t.texH, t.clip)) want[p.first] = p.second;
    }
    if (!dst.BorderIntact()) return "written outside the image";
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const auto it = want.find({x, y});
            const uint32_t expected = it == want.end() ? 0 : it->second;
            const uint32_t got = ref::ReadPixel(dst.img, x, y);
            if (got != expected) {
                char text[160];
                snprintf(text, sizeof(text), "(%d,%d) shows texel (%d,%d), the model says (%d,%d)", x, y,
                         got ? static_cast<int>(got & 0xFFF) : -1, got ? static_cast<int>((got >> 12) & 0xFFF) : -1,
                         expected ? static_cast<int>(expected & 0xFFF) : -1,
                         expected ? static_cast<int>((expected >> 12) & 0xFFF) : -1);
                return text;
            }
        }
    }
    return "";
}

// A w x h rectangle at (x, y) showing the whole texture, as the two triangles a four-corner draw makes.
std::vector<TriangleCase> Quad(int x, int y, int w, int h, int texW, int texH, RECT clip = RECT{0, 0, kSize, kSize}) {
    const SoftVertex p1 = {x, y, 0, 0}, p2 = {x + w, y, texW, 0}, p3 = {x, y + h, 0, texH},
                     p4 = {x + w, y + h, texW, texH};
    return {TriangleCase{{p1, p2, p3}, texW, texH, clip}, TriangleCase{{p2, p3, p4}, texW, texH, clip}};
}

class SoftTriangleTexels : public SoftRenderTest {};

TEST_F(SoftTriangleTexels, SquaresTwoToFortyShowTheTexelsOfTheModel) {
    int orderMatters = 0;
    for (int n = 2; n <= 40; ++n) {
        SCOPED_TRACE(testing::Message() << n << " x " << n);
        EXPECT_EQ(Compare(Quad(3, 2, n, n, n, n)), "");
        // Whether computing 262144.0 / det first would round a gradient differently for this size.
        const TriangleCase t = Quad(3, 2, n, n, n, n)[0];
        const TexelMap exact = ModelTriangle(t.v, n, n, t.clip), early = ModelTriangle(t.v, n, n, t.clip, true);
        orderMatters += exact != early;
    }
    // The table must hold sizes where the order of the division shows (7 x 7 is one).
    EXPECT_GT(orderMatters, 0);
}

TEST_F(SoftTriangleTexels, SevenBySevenMapsEachPixelToItsOwnTexel) {
    // Stated without the model: a 7 x 7 quad over a 7 x 7 texture shows texel (i, j) at pixel (3 + i, 2 + j).
    ref::Image tex, dst;
    MakeTexture(&tex, 7, 7);
    ref::MakeImage(&dst, 16, 16, kMemImgColor32, false, false, 1);
    for (int y = 0; y < 16; ++y) memset(dst.img.pixels + y * dst.img.pitch, 0, 16 * 4);
    SetArea(0, 0, 16, 16);
    for (const TriangleCase& t : Quad(3, 2, 7, 7, 7, 7)) SoftDrawTriangle(&dst.img, &tex.img, t.v, 0, nullptr, 0);
    for (int j = 0; j < 7; ++j) {
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(ref::ReadPixel(dst.img, 3 + i, 2 + j), TexelValue(i, j)) << "pixel " << 3 + i << "," << 2 + j;
        }
    }
}

TEST_F(SoftTriangleTexels, StretchedSkewedAndClippedTrianglesFollowTheModel) {
    const RECT all = {0, 0, kSize, kSize}, cut = {9, 7, 30, 25};
    const struct {
        const char* name;
        std::vector<TriangleCase> triangles;
    } cases[] = {
        {"16 x 16 stretched to 23 x 9", Quad(2, 4, 23, 9, 16, 16)},
        {"16 x 16 shrunk to 11 x 13", Quad(5, 1, 11, 13, 16, 16)},
        {"9 x 5 at 40 x 31", Quad(1, 1, 40, 31, 9, 5)},
        {"quad clipped", Quad(3, 2, 33, 29, 33, 29, cut)},
        {"first vertex at x = -1", Quad(-1, 0, 30, 30, 30, 30)},
        {"above and left of the image", Quad(-6, -9, 37, 35, 37, 35)},
        {"middle vertex left", {TriangleCase{{{20, 1, 8, 0}, {2, 18, 0, 12}, {31, 40, 16, 16}}, 17, 17, all}}},
        {"middle vertex right", {TriangleCase{{{4, 2, 0, 0}, {38, 15, 16, 3}, {11, 37, 2, 16}}, 17, 17, all}}},
        {"texels turned", {TriangleCase{{{30, 3, 0, 0}, {30, 33, 12, 0}, {2, 3, 0, 20}}, 13, 21, all}}},
        {"texels beyond the texture", {TriangleCase{{{3, 3, -4, -3}, {35, 6, 20, -1}, {8, 39, 2, 22}}, 13, 17, all}}},
        {"long and thin", {TriangleCase{{{0, 0, 0, 0}, {60, 7, 31, 3}, {1, 9, 0, 8}}, 32, 9, all}}},
        {"clipped long and thin", {TriangleCase{{{0, 0, 0, 0}, {60, 7, 31, 3}, {1, 9, 0, 8}}, 32, 9, cut}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Compare(c.triangles), "");
    }
}

}  // namespace
