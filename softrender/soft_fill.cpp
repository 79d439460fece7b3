// Flat-colour rasterisers: the rectangle fill and lines, in every blend mode with the flat-colour rules (no fast
// forms, no key, no blend mask; the colour scale applied once to the colour).
#include <math.h>

#include <algorithm>

#include "graphics/color/memimg.h"
#include "runtime/text.h"
#include "softrender/soft_common.h"
#include "softrender/softrender.h"

namespace soft {
namespace {

// The fill and the line scale their colour by (scale x channel) >> 8, unlike the copies' table.
uint32_t ScaleFlatColour(uint32_t colour, uint32_t scale, int bits) {
    if (IsWhite(scale)) return colour;
    const uint32_t sr = (scale >> 16) & 255, sg = (scale >> 8) & 255, sb = scale & 255;
    if (bits == 32) {
        return (colour & 0xFF000000u) | ((((colour >> 16) & 255) * sr >> 8) << 16) |
               ((((colour >> 8) & 255) * sg >> 8) << 8) | ((colour & 255) * sb >> 8);
    }
    return Word565(((colour >> 11) & 31) * sr >> 8, ((colour >> 5) & 63) * sg >> 8, (colour & 31) * sb >> 8);
}

template <class F>
void WithFlatRule(int bits, int kind, F&& fn) {
    if (bits == 32) {
        WithRule<32>(kind, false, false, [&](auto rule, auto) { fn(Tag<Flat<32>>{}, rule); });
    } else {
        WithRule<16>(kind, false, false, [&](auto rule, auto) { fn(Tag<Flat<16>>{}, rule); });
    }
}

}  // namespace
}  // namespace soft

int SoftFillRect(MEMIMG* image, const RECT* rect, uint32_t colour) {
    using namespace soft;
    if (!IsUsableImage(image) || image->hasPalette || image->hasAlpha) return 0;
    RECT r = {0, 0, image->width, image->height};
    if (rect != nullptr) {
        r = {std::min(rect->left, rect->right), std::min(rect->top, rect->bottom), std::max(rect->left, rect->right),
             std::max(rect->top, rect->bottom)};
    }
    const RECT clip = ClipArea(image);
    r = {std::max(r.left, clip.left), std::max(r.top, clip.top), std::min(r.right, clip.right),
         std::min(r.bottom, clip.bottom)};
    if (r.left >= r.right || r.top >= r.bottom) return 0;
    if (image->pixelType != kMemImgColor32 && image->pixelType != kMemImgColor16) return 0;
    const int bits = image->pixelType == kMemImgColor32 ? 32 : 16;
    const BlendSettings b = ReadBlendSettings();
    const int kind = GeneralKind(b.mode, b.p, false);
    if (kind == kNoDraw) return 0;
    BlendContext c;
    PrepareForSource(&c, b, nullptr, 0);
    c.flatColour = ScaleFlatColour(colour, b.colourScale, bits);
    const int bytes = bits / 8, width = r.right - r.left;
    uint8_t* start = image->pixels + static_cast<ptrdiff_t>(r.top) * image->pitch + static_cast<ptrdiff_t>(r.left) * bytes;
    WithFlatRule(bits, kind, [&](auto src, auto rule) {
        using Src = typename decltype(src)::type;
        using R = typename decltype(rule)::type;
        for (LONG y = r.top; y < r.bottom; ++y, start += image->pitch) {
            uint8_t* d = start;
            for (int i = 0; i < width; ++i, d += bytes) Plot<Src, R, false, false>(d, nullptr, nullptr, c);
        }
    });
    return 0;
}

namespace {

// Whether the line stepped from (x1, y1) towards (x2, y2) puts any pixel inside [L, R) x [T, B). The clipping
// below moves the ends along the continuous line, which for a line that passes the area by lands on pixels the
// line never has; the continuous line is no test either, as the stepping can put a pixel inside where the line
// runs just outside. Worked out per axis without stepping: pixel i of the major axis lies at a1 + i sa with the
// minor axis at b1 + sb floor(i nb / na), which moves by at most one a step, so over the steps whose major
// coordinate is inside it takes every value between its first and its last.
bool SteppedLineMeetsArea(int x1, int y1, int x2, int y2, int L, int T, int R, int B) {
    const int64_t wx = static_cast<int64_t>(x2) - x1, wy = static_cast<int64_t>(y2) - y1;
    const uint64_t nx = static_cast<uint64_t>(wx < 0 ? -wx : wx), ny = static_cast<uint64_t>(wy < 0 ? -wy : wy);
    const bool xMajor = nx >= ny;
    const uint64_t na = xMajor ? nx : ny, nb = xMajor ? ny : nx;
    if (na == 0) return false;
    const int64_t a1 = xMajor ? x1 : y1, b1 = xMajor ? y1 : x1;
    const int64_t aLow = xMajor ? L : T, aHigh = (xMajor ? R : B) - 1;
    const int64_t bLow = xMajor ? T : L, bHigh = (xMajor ? B : R) - 1;
    const bool aUp = (xMajor ? wx : wy) >= 0, bUp = (xMajor ? wy : wx) >= 0;
    int64_t first = aUp ? aLow - a1 : a1 - aHigh, last = aUp ? aHigh - a1 : a1 - aLow;
    first = std::max<int64_t>(first, 0);
    last = std::min<int64_t>(last, static_cast<int64_t>(na) - 1);
    if (first > last) return false;
    // i < 2^32 and nb < 2^32, so the product fits 64 bits.
    const int64_t bFirst = static_cast<int64_t>(static_cast<uint64_t>(first) * nb / na);
    const int64_t bLast = static_cast<int64_t>(static_cast<uint64_t>(last) * nb / na);
    const int64_t from = bUp ? b1 + bFirst : b1 - bLast, to = bUp ? b1 + bLast : b1 - bFirst;
    return to >= bLow && from <= bHigh;
}

}  // namespace

void SoftDrawLine(MEMIMG* image, int x1, int y1, int x2, int y2, uint32_t colour) {
    using namespace soft;
    // One byte a pixel (a palette image) is not a layout the rules write; drawing as if it were overruns its rows.
    if (!IsUsableImage(image) || image->hasPalette) return;
    const RECT clip = ClipArea(image);
    const int L = clip.left, T = clip.top, R = clip.right, B = clip.bottom;
    if (L >= R || T >= B) return;
    if (std::min(y1, y2) >= B || std::min(x1, x2) >= R || std::max(y1, y2) < T || std::max(x1, x2) < L) return;
    if (!SteppedLineMeetsArea(x1, y1, x2, y2, L, T, R, B)) return;

    const double dxs = static_cast<double>(x2) - x1, dys = static_cast<double>(y2) - y1;
    const double mx = y2 == y1 ? 0.0 : dxs / dys;
    const double my = x2 == x1 ? 0.0 : dys / dxs;
    const double bx = x1 - y1 * mx, by = y1 - x1 * my;
    if (x1 < L) {
        x1 = L;
        y1 = DoubleToInt(L * my + by);
    } else if (x1 >= R) {
        x1 = R - 1;
        y1 = DoubleToInt((R - 1) * my + by);
    }
    if (x2 < L) {
        x2 = L - 1;
        y2 = DoubleToInt((L - 1) * my + by);
    } else if (x2 >= R) {
        x2 = R;
        y2 = DoubleToInt(R * my + by);
    }
    if (y1 < T) {
        y1 = T;
        x1 = DoubleToInt(T * mx + bx);
    } else if (y1 >= B) {
        y1 = B - 1;
        x1 = DoubleToInt((B - 1) * mx + bx);
    }
    if (y2 < T) {
        y2 = T - 1;
        x2 = DoubleToInt((T - 1) * mx + bx);
    } else if (y2 >= B) {
        y2 = B;
        x2 = DoubleToInt(B * mx + bx);
    }
    x1 = std::clamp(x1, L, R - 1);
    x2 = std::clamp(x2, L - 1, R);
    y1 = std::clamp(y1, T, B - 1);
    y2 = std::clamp(y2, T - 1, B);
    const int wx = x2 - x1, wy = y2 - y1;
    if (wx == 0 && wy == 0) return;
    const int sx = wx < 0 ? -1 : 1, sy = wy < 0 ? -1 : 1;
    const int ax = wx < 0 ? -wx : wx, ay = wy < 0 ? -wy : wy;

    if (image->pixelType != kMemImgColor32 && image->pixelType != kMemImgColor16) return;
    const int bits = image->pixelType == kMemImgColor32 ? 32 : 16;
    const BlendSettings b = ReadBlendSettings();
    const int kind = GeneralKind(b.mode, b.p, false);
    if (kind == kNoDraw) return;
    BlendContext c;
    PrepareForSource(&c, b, nullptr, 0);
    c.flatColour = ScaleFlatColour(colour, b.colourScale, bits);
    // Pixels of an alpha image are four bytes apart like a 32-bit image's; a 16-bit image with alpha steps four.
    const int bytes = MemImageBytesPerPixel(image->pixelType, 0, image->hasAlpha);
    const ptrdiff_t pitch = image->pitch;
    WithFlatRule(bits, kind, [&](auto src, auto rule) {
        using Src = typename decltype(src)::type;
        using Rl = typename decltype(rule)::type;
        const ptrdiff_t stepX = sx * bytes, stepY = sy * pitch;
        uint8_t* d = image->pixels + y1 * pitch + static_cast<ptrdiff_t>(x1) * bytes;
        int error = 0;
        if (ax >= ay) {
            for (int i = 0; i < ax; ++i) {
                Plot<Src, Rl, false, false>(d, nullptr, nullptr, c);
                error += ay;
                d += stepX;
                if (error >= ax) {
                    d += stepY;
                    error -= ax;
                }
            }
        } else {
            for (int i = 0; i < ay; ++i) {
                Plot<Src, Rl, false, false>(d, nullptr, nullptr, c);
                error += ax;
                d += stepY;
                if (error >= ay) {
                    d += stepX;
                    error -= ay;
                }
            }
        }
    });
}

int SoftDrawLines(MEMIMG* image, const SoftLineRecord* records, int count) {
    if (records == nullptr) return 0;
    for (int i = 0; i < count; ++i) {
        SoftDrawLine(image, records[i].x1, records[i].y1, records[i].x2, records[i].y2,
                     static_cast<uint32_t>(records[i].colour));
    }
    return 0;
}

void BuildBoxOutline(SoftLineRecord lines[4], int x1, int y1, int x2, int y2, int colour, int parameter) {
    // x2 - 1 wraps for INT_MIN rather than overflowing; such a box is clipped away like any other.
    const int r = static_cast<int>(static_cast<uint32_t>(x2) - 1u), b = static_cast<int>(static_cast<uint32_t>(y2) - 1u);
    lines[0] = {x1, y1, r, y1, colour, parameter};
    lines[1] = {r, y1, r, b, colour, parameter};
    lines[2] = {r, b, x1, b, colour, parameter};
    lines[3] = {x1, b, x1, y1, colour, parameter};
}
