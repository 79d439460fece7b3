// The triangle rasteriser: vertices at pixel centres in 14.18 fixed point, edges walked row by row (both span ends
// drawn, the bottom row left out), affine texel coordinates sampled at the nearest texel and never wrapped.
// Vertices outside -8192..8191 do not fit the fixed point and draw nothing.
#include <algorithm>

#include "graphics/color/memimg.h"
#include "runtime/text.h"
#include "softrender/soft_common.h"
#include "softrender/softrender.h"

namespace soft {
namespace {

constexpr int64_t kOne = 262144;

// The integer part, rounded toward zero.
inline int64_t IntPart(int64_t v) { return v < 0 ? -((-v) >> 18) : v >> 18; }

struct Segment {
    int64_t x, step, rows;
};

struct Side {
    Segment seg[2];
    int current, last;
    int64_t x, step, rows;
    void Begin() {
        x = seg[current].x;
        step = seg[current].step;
        rows = seg[current].rows;
    }
};

bool MakeSegment(int64_t ux, int64_t uy, int64_t lx, int64_t ly, Segment* s) {
    s->x = ux;
    s->rows = IntPart(ly - uy);
    if (s->rows <= 0) return false;
    s->step = (lx - ux) / s->rows;
    return true;
}

struct Plane {
    int64_t ax, ay;
    uint32_t u0, v0, ux, uy, vx, vy;
};

struct TexturedSpan {
    const MEMIMG* tex;
    const MEMIMG* mask;
    Plane plane;
};

template <class Src, class R, bool T, bool W>
void DrawSpanTextured(uint8_t* d, int64_t L, int64_t y, int64_t count, const TexturedSpan& t, const BlendContext& c) {
    constexpr int db = Src::kBits / 8;
    const Plane& p = t.plane;
    uint32_t U = p.u0 + static_cast<uint32_t>(L - p.ax) * p.ux + static_cast<uint32_t>(y - p.ay) * p.uy;
    uint32_t V = p.v0 + static_cast<uint32_t>(L - p.ax) * p.vx + static_cast<uint32_t>(y - p.ay) * p.vy;
    const uint32_t tw = static_cast<uint32_t>(t.tex->width), th = static_cast<uint32_t>(t.tex->height);
    for (int64_t i = 0; i < count; ++i, d += db, U += p.ux, V += p.vx) {
        // A negative coordinate reads as a large unsigned one and is skipped like any beyond the edge.
        const uint32_t tx = U >> 18, ty = V >> 18;
        if (tx >= tw || ty >= th) continue;
        const uint8_t* texel = t.tex->pixels + static_cast<ptrdiff_t>(ty) * t.tex->pitch + tx * Src::kBytes;
        const uint8_t* m = W ? t.mask->pixels + static_cast<ptrdiff_t>(ty) * t.mask->pitch + tx : nullptr;
        Plot<Src, R, T, W>(d, texel, m, c);
    }
}

template <class Src, class R>
void DrawSpanFlat(uint8_t* d, int64_t, int64_t, int64_t count, const TexturedSpan&, const BlendContext& c) {
    constexpr int db = Src::kBits / 8;
    for (int64_t i = 0; i < count; ++i, d += db) Plot<Src, R, false, false>(d, nullptr, nullptr, c);
}

using SpanFunction = void (*)(uint8_t*, int64_t, int64_t, int64_t, const TexturedSpan&, const BlendContext&);

void Scan(MEMIMG* dst, const RECT& clip, Side& left, Side& right, int64_t y, SpanFunction span,
          const TexturedSpan& t, const BlendContext& c) {
    const int bytes = dst->pixelType == kMemImgColor32 ? 4 : 2;
    left.Begin();
    right.Begin();
    for (;;) {
        if (y >= clip.bottom) return;  // every later row lies below the clip too
        int64_t L = IntPart(left.x), R = IntPart(right.x);
        int64_t count = R - L + 1;
        if (L < clip.left) {
            count -= clip.left - L;
            L = clip.left;
        }
        if (y >= clip.top && L < clip.right && count > 0) {
            count = std::min<int64_t>(count, clip.right - L);
            span(dst->pixels + y * dst->pitch + L * bytes, L, y, count, t, c);
        }
        left.x += left.step;
        right.x += right.step;
        ++y;
        --left.rows;
        --right.rows;
        if (left.rows == 0) {
            if (left.current == left.last) return;
            ++left.current;
            left.Begin();
        }
        if (right.rows == 0) {
            if (right.current == right.last) return;
            ++right.current;
            right.Begin();
        }
    }
}

inline bool InFixedRange(int32_t v) { return v >= -8192 && v <= 8191; }

}  // namespace
}  // namespace soft

void SoftDrawTriangle(MEMIMG* destination, const MEMIMG* texture, const SoftVertex vertices[3], int transparent,
                      const MEMIMG* blendGraph, uint32_t fillColour) {
    using namespace soft;
    if (vertices == nullptr || !IsBlendDestination(destination)) return;
    if (texture != nullptr && (!IsBlendSource(texture) || texture->pixelType != destination->pixelType)) return;
    for (int i = 0; i < 3; ++i) {
        const SoftVertex& v = vertices[i];
        if (!InFixedRange(v.x) || !InFixedRange(v.y) || !InFixedRange(v.u) || !InFixedRange(v.v)) return;
    }
    int64_t X[3], Y[3];
    int32_t U[3], V[3];
    for (int i = 0; i < 3; ++i) {
        X[i] = static_cast<int64_t>(vertices[i].x) * kOne + 0x20000;
        Y[i] = static_cast<int64_t>(vertices[i].y) * kOne + 0x20000;
        U[i] = vertices[i].u * static_cast<int32_t>(kOne);
        V[i] = vertices[i].v * static_cast<int32_t>(kOne);
    }
    int ix[3] = {0, 1, 2}, iy[3] = {0, 1, 2};
    for (int p = 0; p < 2; ++p) {
        for (int k = p + 1; k < 3; ++k) {
            if (X[ix[p]] > X[ix[k]]) std::swap(ix[p], ix[k]);
            if (Y[iy[p]] > Y[iy[k]]) std::swap(iy[p], iy[k]);
        }
    }
    // Texture plane from the vertices in X order.
    const int v0 = ix[0], v1 = ix[1], v2 = ix[2];
    const int32_t dx10 = vertices[v1].x - vertices[v0].x, dx20 = vertices[v2].x - vertices[v0].x;
    const int32_t dy10 = vertices[v1].y - vertices[v0].y, dy20 = vertices[v2].y - vertices[v0].y;
    const int32_t du10 = vertices[v1].u - vertices[v0].u, du20 = vertices[v2].u - vertices[v0].u;
    const int32_t dv10 = vertices[v1].v - vertices[v0].v, dv20 = vertices[v2].v - vertices[v0].v;
    const int32_t det = dy10 * dx20 - dy20 * dx10;
    if (det == 0) return;
    TexturedSpan t = {};
    t.tex = texture;
    t.mask = blendGraph;
    t.plane.ax = IntPart(X[v0]);
    t.plane.ay = IntPart(Y[v0]);
    t.plane.u0 = static_cast<uint32_t>(U[v0]);
    t.plane.v0 = static_cast<uint32_t>(V[v0]);
    // Multiplied first and divided last: taking 262144.0 / det first rounds differently for some sizes (7 x 7 among
    // them), which shifts the texture by a texel and doubles a row or column.
    auto gradient = [det](double numerator) {
        return static_cast<uint32_t>(DoubleToInt(numerator * 262144.0 / det));
    };
    t.plane.ux = gradient(static_cast<double>(dy10) * du20 - static_cast<double>(dy20) * du10);
    t.plane.uy = gradient(static_cast<double>(du10) * dx20 - static_cast<double>(dx10) * du20);
    t.plane.vx = gradient(static_cast<double>(dy10) * dv20 - static_cast<double>(dy20) * dv10);
    t.plane.vy = gradient(static_cast<double>(dv10) * dx20 - static_cast<double>(dv20) * dx10);

    // Edges from the vertices in Y order.
    const int a = iy[0], b = iy[1], cc = iy[2];
    Side left = {}, right = {};
    if (Y[a] == Y[b]) {
        const int l = X[a] <= X[b] ? a : b, r = l == a ? b : a;
        if (!MakeSegment(X[l], Y[l], X[cc], Y[cc], &left.seg[0])) return;
        if (!MakeSegment(X[r], Y[r], X[cc], Y[cc], &right.seg[0])) return;
    } else if (Y[b] == Y[cc]) {
        const int l = X[b] <= X[cc] ? b : cc, r = l == b ? cc : b;
        if (!MakeSegment(X[a], Y[a], X[l], Y[l], &left.seg[0])) return;
        if (!MakeSegment(X[a], Y[a], X[r], Y[r], &right.seg[0])) return;
    } else {
        const double sab = static_cast<double>(X[b] - X[a]) / (static_cast<double>(Y[b] - Y[a]) / 262144.0);
        const double sac = static_cast<double>(X[cc] - X[a]) / (static_cast<double>(Y[cc] - Y[a]) / 262144.0);
        const bool middleLeft = sac > sab;
        Side& two = middleLeft ? left : right;
        Side& one = middleLeft ? right : left;
        if (!MakeSegment(X[a], Y[a], X[cc], Y[cc], &one.seg[0])) return;
        if (!MakeSegment(X[a], Y[a], X[b], Y[b], &two.seg[0])) return;
        if (!MakeSegment(middleLeft ? X[b] : X[b] + 1, Y[b], X[cc], Y[cc], &two.seg[1])) return;
        two.last = 1;
    }

    const RECT clip = ClipArea(destination);
    if (clip.left >= clip.right || clip.top >= clip.bottom) return;
    const BlendSettings bs = ReadBlendSettings();
    const bool palette = texture != nullptr && texture->hasPalette != 0;
    const bool alpha = texture != nullptr && !palette && texture->hasAlpha != 0;
    const int kind = GeneralKind(bs.mode, bs.p, palette);
    if (kind == kNoDraw) return;
    BlendContext c;
    SpanFunction span = nullptr;
    if (texture == nullptr) {
        PrepareForSource(&c, bs, nullptr, 0);
        const int bits = destination->pixelType == kMemImgColor32 ? 32 : 16;
        if (bits == 32) {
            c.flatColour = (fillColour & 0xFF000000u) | (static_cast<uint32_t>(c.scaleR[(fillColour >> 16) & 255]) << 16) |
                           (static_cast<uint32_t>(c.scaleG[(fillColour >> 8) & 255]) << 8) |
                           static_cast<uint32_t>(c.scaleB[fillColour & 255]);
            WithRule<32>(kind, false, false, [&](auto rule, auto) {
                span = &DrawSpanFlat<Flat<32>, typename decltype(rule)::type>;
            });
        } else {
            c.flatColour = Word565(static_cast<uint32_t>(c.scaleR[(fillColour >> 11) & 31]),
                                   static_cast<uint32_t>(c.scaleG[(fillColour >> 5) & 63]),
                                   static_cast<uint32_t>(c.scaleB[fillColour & 31]));
            WithRule<16>(kind, false, false, [&](auto rule, auto) {
                span = &DrawSpanFlat<Flat<16>, typename decltype(rule)::type>;
            });
        }
    } else {
        const bool mask = blendGraph != nullptr;
        if (mask && !MaskCovers(blendGraph, texture->width, texture->height)) return;
        PrepareForSource(&c, bs, texture, texture->colorKey);
        const bool trans = transparent != 0;
        WithSource(texture->pixelType, palette, alpha, [&](auto src) {
            using Src = typename decltype(src)::type;
            WithRule<Src::kBits>(kind, mask, !bs.white, [&](auto rule, auto W) {
                WithBool(trans, [&](auto T) {
                    span = &DrawSpanTextured<Src, typename decltype(rule)::type, decltype(T)::value,
                                             decltype(W)::value>;
                });
            });
        });
    }
    if (span == nullptr) return;
    Scan(destination, clip, left, right, IntPart(Y[a]), span, t, c);
}
