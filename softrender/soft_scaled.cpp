// The scaled and mirrored image copy: nearest-texel sampling with 16.16 stepping. Counters are 64-bit, so extents
// of any size step exactly; a rectangle of the source's own size, unmirrored, is the same-size copy's.
#include <algorithm>

#include "graphics/color/memimg.h"
#include "softrender/soft_common.h"
#include "softrender/softrender.h"

namespace soft {
namespace {

struct Axis {
    int64_t scale;   // destination pixels per source pixel, 16.16
    int64_t start;   // first source pixel counted from the unclipped edge
    int64_t counter; // start counter
    int dir;         // +1, or -1 when mirrored
    int extent;      // source pixels on this axis
};

struct ScaledJob {
    uint8_t* d;
    ptrdiff_t dPitch;
    int cw, ch;
    const uint8_t* s;
    ptrdiff_t sPitch;
    const uint8_t* m;
    ptrdiff_t mPitch;
    Axis x, y;
};

// The source column (or row) of the index counted from the unclipped edge, with mirroring.
inline int64_t Texel(const Axis& a, int64_t index) { return a.dir > 0 ? index : a.extent - 1 - index; }

template <class Src, class R, bool T, bool W>
void ScaledRows(const ScaledJob& j, const BlendContext& c) {
    constexpr int db = Src::kBits / 8;
    int64_t sy = j.y.start, cy = j.y.counter;
    for (int row = 0; row < j.ch; ++row) {
        const int64_t ty = Texel(j.y, sy);
        const uint8_t* srow = j.s + ty * j.sPitch;
        const uint8_t* mrow = W ? j.m + ty * j.mPitch : nullptr;
        uint8_t* d = j.d + row * j.dPitch;
        int64_t sx = j.x.start, cx = j.x.counter;
        for (int i = 0; i < j.cw; ++i, d += db) {
            const int64_t tx = Texel(j.x, sx);
            Plot<Src, R, T, W, true>(d, srow + tx * Src::kBytes, W ? mrow + tx : nullptr, c);
            cx -= 65536;
            while (cx <= 0) {
                ++sx;
                cx += j.x.scale;
            }
        }
        cy -= 65536;
        while (cy <= 0) {
            ++sy;
            cy += j.y.scale;
        }
    }
}

// Normalises one axis: corners in either order, the direction and extent; false for a zero extent.
bool SetUpAxis(int a1, int a2, int sourceExtent, int64_t* low, int64_t* extent, Axis* axis) {
    axis->dir = a1 > a2 ? -1 : 1;
    *low = std::min(a1, a2);
    *extent = static_cast<int64_t>(std::max(a1, a2)) - *low;
    axis->extent = sourceExtent;
    if (*extent == 0) return false;
    axis->scale = *extent * 65536 / sourceExtent;
    return axis->scale > 0;
}

void StartAxis(Axis* a, int64_t offset) {
    a->start = offset * 65536 / a->scale;
    a->counter = a->scale - (offset * 65536) % a->scale;
}

}  // namespace
}  // namespace soft

void SoftBlitScaled(MEMIMG* destination, const MEMIMG* source, const int corners[4], int transparent,
                    const MEMIMG* blendGraph) {
    using namespace soft;
    if (corners == nullptr || !IsBlendDestination(destination) || !IsBlendSource(source)) return;
    if (destination->pixelType != source->pixelType) return;
    int64_t left, top, dw, dh;
    Axis ax, ay;
    if (!SetUpAxis(corners[0], corners[2], source->width, &left, &dw, &ax)) return;
    if (!SetUpAxis(corners[1], corners[3], source->height, &top, &dh, &ay)) return;
    if (dw == source->width && dh == source->height && ax.dir > 0 && ay.dir > 0) {
        SoftBlit(destination, source, static_cast<int>(left), static_cast<int>(top), transparent, blendGraph);
        return;
    }
    const RECT clip = ClipArea(destination);
    const int64_t cl = std::max<int64_t>(left, clip.left), ct = std::max<int64_t>(top, clip.top);
    const int64_t cr = std::min<int64_t>(left + dw, clip.right), cb = std::min<int64_t>(top + dh, clip.bottom);
    if (cl >= cr || ct >= cb) return;
    StartAxis(&ax, cl - left);
    StartAxis(&ay, ct - top);
    const bool mask = blendGraph != nullptr;
    if (mask && !MaskCovers(blendGraph, source->width, source->height)) return;

    const BlendSettings b = ReadBlendSettings();
    const bool palette = source->hasPalette != 0, alpha = !palette && source->hasAlpha != 0;
    int kind = GeneralKind(b.mode, b.p, palette);
    if (kind == kNoDraw) return;
    const int bits = source->pixelType == kMemImgColor32 ? 32 : 16;
    if (kind == kSub && b.p == 255 && !mask && b.white && !alpha && bits == 32) kind = b.mmx ? kSubSat : kSubReduced;

    ScaledJob j = {};
    j.dPitch = destination->pitch;
    j.d = destination->pixels + ct * j.dPitch + cl * (bits / 8);
    j.cw = static_cast<int>(cr - cl);
    j.ch = static_cast<int>(cb - ct);
    j.s = source->pixels;
    j.sPitch = source->pitch;
    if (mask) {
        j.m = blendGraph->pixels;
        j.mPitch = blendGraph->pitch;
    }
    j.x = ax;
    j.y = ay;
    BlendContext c;
    PrepareForSource(&c, b, source, source->colorKey);
    const bool trans = transparent != 0;
    WithSource(source->pixelType, palette, alpha, [&](auto src) {
        using Src = typename decltype(src)::type;
        WithRule<Src::kBits>(kind, mask, !b.white, [&](auto rule, auto W) {
            WithBool(trans, [&](auto T) {
                ScaledRows<Src, typename decltype(rule)::type, decltype(T)::value, decltype(W)::value>(j, c);
            });
        });
    });
}
