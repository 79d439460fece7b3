// The rotated and zoomed image copy: every pixel of the rotated image's bounding box is mapped back into the
// source and given the nearest texel (no edge walking; pixels whose position falls outside the source stay
// untouched). The set-up and the scan use 64-bit positions, so centres and sizes beyond the 14.18 range still draw
// correctly; scales too small or too large to step with draw nothing.
#include <limits.h>
#include <math.h>

#include <algorithm>

#include "graphics/color/memimg.h"
#include "runtime/text.h"
#include "softrender/soft_common.h"
#include "softrender/softrender.h"

namespace soft {
namespace {

constexpr float kFixedLimit = 1125899906842624.0f;  // 2^50: positions beyond this are not drawn

// Truncation toward zero into 64 bits; false for NaN, infinities and values beyond the limit.
bool FloatToInt64(float f, int64_t* out) {
    if (!(f > -kFixedLimit && f < kFixedLimit)) return false;
    *out = static_cast<int64_t>(f);
    return true;
}

inline int64_t IntPart(int64_t v) { return v < 0 ? -((-v) >> 18) : v >> 18; }

struct Coefficients {
    int32_t is, ic, fs, fc;
};

// The four corners of the rotated image in 14.18 (top left, bottom left, bottom right, top right) and the
// rotation coefficients; false for angles and scales that cannot be drawn.
bool RotatedCorners(int width, int height, int centreX, int centreY, float angle, float scale, int64_t X[4],
                    int64_t Y[4], Coefficients* k) {
    if (!isfinite(angle) || !isfinite(scale) || fabsf(scale) < 1.0f / 1048576.0f) return false;
    float is, ic, fs, fc;
    SinCosFloat(-angle, &is, &ic);
    SinCosFloat(angle, &fs, &fc);
    k->is = FloatToInt(is * 262144.0f);
    k->ic = FloatToInt(ic * 262144.0f);
    k->fs = FloatToInt(fs * 262144.0f);
    k->fc = FloatToInt(fc * 262144.0f);
    const float hw = static_cast<float>(width) * scale * 0.5f;
    const float hh = static_cast<float>(height) * scale * 0.5f;
    const float A = static_cast<float>(k->fc) * hw, B = static_cast<float>(k->fs) * hw;
    const float C = static_cast<float>(k->fc) * hh, D = static_cast<float>(k->fs) * hh;
    const float sums[4][2] = {{D - A, -C - B}, {-A - D, C - B}, {A - D, B + C}, {A + D, B - C}};
    const int64_t cx = static_cast<int64_t>(centreX) * 262144, cy = static_cast<int64_t>(centreY) * 262144;
    for (int i = 0; i < 4; ++i) {
        if (!FloatToInt64(sums[i][0], &X[i]) || !FloatToInt64(sums[i][1], &Y[i])) return false;
        X[i] += cx;
        Y[i] += cy;
    }
    return true;
}

struct RotatedJob {
    uint8_t* d;
    ptrdiff_t dPitch;
    int width, height;
    int64_t u, v, du, dv, ru, rv;
    const MEMIMG* src;
    const MEMIMG* mask;
};

template <class Src, class R, bool T, bool W>
void RotatedRows(const RotatedJob& j, const BlendContext& c) {
    constexpr int db = Src::kBits / 8;
    const uint64_t uLimit = static_cast<uint64_t>(j.src->width) << 18;
    const uint64_t vLimit = static_cast<uint64_t>(j.src->height) << 18;
    for (int row = 0; row < j.height; ++row) {
        uint8_t* d = j.d + row * j.dPitch;
        int64_t u = j.u + row * j.ru, v = j.v + row * j.rv;
        for (int i = 0; i < j.width; ++i, d += db, u += j.du, v += j.dv) {
            if (static_cast<uint64_t>(u) >= uLimit || static_cast<uint64_t>(v) >= vLimit) continue;
            const int64_t tx = u >> 18, ty = v >> 18;
            const uint8_t* texel = j.src->pixels + ty * j.src->pitch + tx * Src::kBytes;
            const uint8_t* m = W ? j.mask->pixels + ty * j.mask->pitch + tx : nullptr;
            Plot<Src, R, T, W>(d, texel, m, c);
        }
    }
}

}  // namespace
}  // namespace soft

void SoftDrawQuad(MEMIMG* destination, const MEMIMG* source, const POINT corners[4], int transparent,
                  const MEMIMG* blendGraph) {
    using namespace soft;
    if (corners == nullptr || !IsBlendDestination(destination) || !IsUsableImage(source)) return;
    int64_t l = corners[0].x, r = corners[0].x, t = corners[0].y, b = corners[0].y;
    for (int i = 1; i < 4; ++i) {
        l = std::min<int64_t>(l, corners[i].x);
        r = std::max<int64_t>(r, corners[i].x);
        t = std::min<int64_t>(t, corners[i].y);
        b = std::max<int64_t>(b, corners[i].y);
    }
    const RECT clip = ClipArea(destination);
    if (std::max<int64_t>(l - 2, clip.left) >= std::min<int64_t>(r + 4, clip.right)) return;
    if (std::max<int64_t>(t - 2, clip.top) >= std::min<int64_t>(b + 4, clip.bottom)) return;
    const int32_t w = source->width, h = source->height;
    const SoftVertex v0 = {corners[0].x, corners[0].y, 0, 0}, v1 = {corners[1].x, corners[1].y, w, 0};
    const SoftVertex v2 = {corners[2].x, corners[2].y, 0, h}, v3 = {corners[3].x, corners[3].y, w, h};
    const SoftVertex first[3] = {v0, v1, v2}, second[3] = {v1, v2, v3};
    SoftDrawTriangle(destination, source, first, transparent, blendGraph, 0);
    SoftDrawTriangle(destination, source, second, transparent, blendGraph, 0);
}

void SoftBlitRotated(MEMIMG* destination, const MEMIMG* source, int centreX, int centreY, float angle, float scale,
                     int transparent, int turn, const MEMIMG* blendGraph) {
    using namespace soft;
    if (!IsBlendDestination(destination) || !IsBlendSource(source)) return;
    if (destination->pixelType != source->pixelType) return;
    int64_t X[4], Y[4];
    Coefficients k;
    if (!RotatedCorners(source->width, source->height, centreX, centreY, angle, scale, X, Y, &k)) return;
    const int32_t IS = k.is, IC = k.ic, FC = k.fc;
    if (turn) {
        POINT q[4];
        const int order[4] = {3, 0, 2, 1};
        for (int i = 0; i < 4; ++i) {
            const int64_t px = IntPart(X[order[i]]), py = IntPart(Y[order[i]]);
            // Corners beyond the triangle's range draw nothing there; keep them from wrapping on the way.
            if (px < -65536 || px > 65536 || py < -65536 || py > 65536) return;
            q[i] = {static_cast<LONG>(px), static_cast<LONG>(py)};
        }
        SoftDrawQuad(destination, source, q, transparent, blendGraph);
        return;
    }
    int64_t du, dv;
    if (!FloatToInt64(static_cast<float>(FC) / scale, &du) || !FloatToInt64(static_cast<float>(IS) / scale, &dv)) {
        return;
    }
    int minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (int i = 1; i < 4; ++i) {
        if (X[i] < X[minX]) minX = i;
        if (X[i] > X[maxX]) maxX = i;
        if (Y[i] < Y[minY]) minY = i;
        if (Y[i] > Y[maxY]) maxY = i;
    }
    if (Y[minY] == Y[maxY]) return;
    const RECT clip = ClipArea(destination);
    const int64_t left = std::max<int64_t>(IntPart(X[minX]) - 2, clip.left);
    const int64_t top = std::max<int64_t>(IntPart(Y[minY]) - 2, clip.top);
    const int64_t right = std::min<int64_t>(IntPart(X[maxX]) + 4, clip.right);
    const int64_t bottom = std::min<int64_t>(IntPart(Y[maxY]) + 4, clip.bottom);
    if (left >= right || top >= bottom) return;
    const bool mask = blendGraph != nullptr;
    if (mask && !MaskCovers(blendGraph, source->width, source->height)) return;

    // Source position of the box's left column at its top and bottom edges.
    const int64_t halfU = static_cast<int64_t>(source->width >> 1) << 18;
    const int64_t halfV = static_cast<int64_t>(source->height >> 1) << 18;
    int64_t ut, vt, ub, vb;
    const int64_t rx = left - centreX;
    const int64_t ryTop = top - centreY, ryBottom = bottom - centreY;
    if (!FloatToInt64(static_cast<float>(static_cast<double>(rx * IC - ryTop * IS) / scale), &ut) ||
        !FloatToInt64(static_cast<float>(static_cast<double>(rx * IS + ryTop * IC) / scale), &vt) ||
        !FloatToInt64(static_cast<float>(static_cast<double>(rx * IC - ryBottom * IS) / scale), &ub) ||
        !FloatToInt64(static_cast<float>(static_cast<double>(rx * IS + ryBottom * IC) / scale), &vb)) {
        return;
    }
    RotatedJob j = {};
    j.width = static_cast<int>(right - left);
    j.height = static_cast<int>(bottom - top);
    j.dPitch = destination->pitch;
    j.d = destination->pixels + top * j.dPitch + left * (destination->pixelType == kMemImgColor32 ? 4 : 2);
    j.u = ut + halfU;
    j.v = vt + halfV;
    j.ru = (ub - ut) / j.height;
    j.rv = (vb - vt) / j.height;
    j.du = du;
    j.dv = dv;
    j.src = source;
    j.mask = blendGraph;

    const BlendSettings b = ReadBlendSettings();
    const bool palette = source->hasPalette != 0, alpha = !palette && source->hasAlpha != 0;
    const int kind = GeneralKind(b.mode, b.p, palette);
    if (kind == kNoDraw) return;
    BlendContext c;
    PrepareForSource(&c, b, source, source->colorKey);
    const bool trans = transparent != 0;
    WithSource(source->pixelType, palette, alpha, [&](auto src) {
        using Src = typename decltype(src)::type;
        WithRule<Src::kBits>(kind, mask, !b.white, [&](auto rule, auto W) {
            WithBool(trans, [&](auto T) {
                RotatedRows<Src, typename decltype(rule)::type, decltype(T)::value, decltype(W)::value>(j, c);
            });
        });
    });
}

bool SoftRotatedBox(int width, int height, int centreX, int centreY, float angle, float scale, RECT* box) {
    using namespace soft;
    int64_t X[4], Y[4];
    Coefficients k;
    if (box == nullptr || !RotatedCorners(width, height, centreX, centreY, angle, scale, X, Y, &k)) return false;
    const int64_t l = IntPart(*std::min_element(X, X + 4)) - 2, r = IntPart(*std::max_element(X, X + 4)) + 4;
    const int64_t t = IntPart(*std::min_element(Y, Y + 4)) - 2, b = IntPart(*std::max_element(Y, Y + 4)) + 4;
    auto fit = [](int64_t v) { return static_cast<LONG>(std::clamp<int64_t>(v, INT_MIN / 2, INT_MAX / 2)); };
    *box = RECT{fit(l), fit(t), fit(r), fit(b)};
    return true;
}
