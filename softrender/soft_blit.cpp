// The same-size image copy: the whole source drawn at an integer position in every variant of the blend scheme,
// on the normal path (per-pixel key tests, fast forms for the common cases) or, for an unclipped keyed copy of an
// image with a current run table, on the run-table path that skips transparent runs whole.
#include <stddef.h>
#include <string.h>

#include <algorithm>

#include "graphics/color/memimg.h"
#include "softrender/blend_rows.h"
#include "softrender/soft_common.h"
#include "softrender/softrender.h"

namespace soft {
namespace {

struct BlitJob {
    uint8_t* d;
    const uint8_t* s;
    const uint8_t* m;
    const uint8_t* runs;
    int width, height;
    ptrdiff_t dPitch, sPitch, mPitch;
};

template <class Src, class R, bool T, bool W>
void NormalRows(const BlitJob& j, const BlendContext& c) {
    constexpr int db = Src::kBits / 8;
    for (int row = 0; row < j.height; ++row) {
        uint8_t* d = j.d + row * j.dPitch;
        const uint8_t* s = j.s + row * j.sPitch;
        const uint8_t* m = W ? j.m + row * j.mPitch : nullptr;
        for (int i = 0; i < j.width; ++i, d += db, s += Src::kBytes) {
            Plot<Src, R, T, W>(d, s, W ? m + i : nullptr, c);
        }
    }
}

// The 16-bit add and subtract at p = 255: pixel pairs as one 32-bit word from the row's first pixel on; a pixel
// whose partner is keyed out, and an odd last pixel, take the one-pixel formula.
template <class Src, bool Add, bool T>
void PairRows16(const BlitJob& j, const BlendContext& c) {
    for (int row = 0; row < j.height; ++row) {
        uint8_t* d = j.d + row * j.dPitch;
        const uint8_t* s = j.s + row * j.sPitch;
        int i = 0;
        for (; i + 2 <= j.width; i += 2, d += 4, s += 2 * Src::kBytes) {
            const bool keep0 = !T || Src::KeyValue(s) != c.key;
            const bool keep1 = !T || Src::KeyValue(s + Src::kBytes) != c.key;
            const uint32_t s0 = Src::Colour(s, c), s1 = Src::Colour(s + Src::kBytes, c);
            if (keep0 && keep1) {
                const uint32_t dv = Load32(d), sv = s0 | (s1 << 16);
                Store32(d, Add ? CarryAdd16Pair(dv, sv) : CarrySub16Pair(dv, sv));
            } else if (keep0) {
                Store16(d, Add ? CarryAdd16Lone(Load16(d), s0) : CarrySub16(Load16(d), s0));
            } else if (keep1) {
                Store16(d + 2, Add ? CarryAdd16Lone(Load16(d + 2), s1) : CarrySub16(Load16(d + 2), s1));
            }
        }
        if (i < j.width && (!T || Src::KeyValue(s) != c.key)) {
            const uint32_t s0 = Src::Colour(s, c);
            Store16(d, Add ? CarryAdd16Lone(Load16(d), s0) : CarrySub16(Load16(d), s0));
        }
    }
}

// Runs of the source's transparent-run table; a run never reaches past the row's width, whatever the table says.
template <class Src, class R, bool W>
void RunRows(const BlitJob& j, const BlendContext& c) {
    constexpr int db = Src::kBits / 8;
    const uint8_t* run = j.runs;
    for (int row = 0; row < j.height; ++row) {
        uint8_t* d = j.d + row * j.dPitch;
        const uint8_t* s = j.s + row * j.sPitch;
        const uint8_t* m = W ? j.m + row * j.mPitch : nullptr;
        int left = j.width;
        for (;;) {
            const uint8_t b = *run++;
            const uint8_t kind = b & 0xC0;
            if (kind == kRunRowEnd) break;
            const int n = std::min((b & 0x3F) + 1, left);
            left -= n;
            if (kind != kRunTransparent) {
                for (int i = 0; i < n; ++i) {
                    const uint32_t w = W ? c.weights[m[i]] : 0;
                    const uint8_t* sp = s + i * Src::kBytes;
                    if (Src::kAlpha && kind == kRunPartial) {
                        R::template Apply<true>(d + i * db, Src::Colour(sp, c), Src::Alpha(sp), w, c);
                    } else {
                        R::template Apply<false>(d + i * db, Src::Colour(sp, c), 0, w, c);
                    }
                }
            }
            d += n * db;
            s += n * Src::kBytes;
            if (W) m += n;
        }
    }
}

using RowFunction = void (*)(uint8_t*, const uint8_t*, int);

void FastRows(const BlitJob& j, RowFunction f) {
    for (int row = 0; row < j.height; ++row) f(j.d + row * j.dPitch, j.s + row * j.sPitch, j.width);
}

// The fast kind of a draw without mask, with a white scale and a source without alpha, or -1.
int FastKind(int kind, const BlendSettings& b, int bits) {
    if (kind == kAlpha && b.p == 128) return kAvg;
    if (kind == kAlpha && bits == 16) return kLerp6;
    if (kind == kAdd && b.p == 255) return bits == 16 || !b.mmx ? kAddReduced : kAddSat;
    if (kind == kSub && b.p == 255) return bits == 16 || !b.mmx ? kSubReduced : kSubSat;
    return -1;
}

}  // namespace
}  // namespace soft

int SoftBlit(MEMIMG* destination, const MEMIMG* source, int x, int y, int transparent, const MEMIMG* blendGraph) {
    using namespace soft;
    if (!IsBlendDestination(destination) || !IsBlendSource(source)) return 0;
    if (destination->pixelType != source->pixelType) return 0;
    const RECT clip = ClipArea(destination);
    const int64_t left = std::max<int64_t>(x, clip.left), top = std::max<int64_t>(y, clip.top);
    const int64_t right = std::min<int64_t>(static_cast<int64_t>(x) + source->width, clip.right);
    const int64_t bottom = std::min<int64_t>(static_cast<int64_t>(y) + source->height, clip.bottom);
    if (left >= right || top >= bottom) return 0;
    const int width = static_cast<int>(right - left), height = static_cast<int>(bottom - top);
    const int64_t offX = left - x, offY = top - y;
    const bool mask = blendGraph != nullptr;
    if (mask && !MaskCovers(blendGraph, offX + width, offY + height)) return 0;

    const BlendSettings b = ReadBlendSettings();
    const bool palette = source->hasPalette != 0, alpha = !palette && source->hasAlpha != 0;
    const int kind = GeneralKind(b.mode, b.p, palette);
    if (kind == kNoDraw) return 0;
    const int bits = source->pixelType == kMemImgColor32 ? 32 : 16;
    const int sBytes = MemImageBytesPerPixel(source->pixelType, palette, alpha);
    const int dBytes = bits / 8;

    BlitJob j = {};
    j.width = width;
    j.height = height;
    j.dPitch = destination->pitch;
    j.sPitch = source->pitch;
    j.d = destination->pixels + top * j.dPitch + left * dBytes;
    j.s = source->pixels + offY * j.sPitch + offX * sBytes;
    if (mask) {
        j.mPitch = blendGraph->pitch;
        j.m = blendGraph->pixels + offY * j.mPitch + offX;
    }
    const bool runPath = transparent == 1 && source->runTableValid && source->runTable != nullptr &&
                         width == source->width && height == source->height;
    j.runs = source->runTable;

    uint32_t key = source->colorKey;
    if (palette) key &= 0xFF;
    else if (bits == 16) key &= 0xFFFF;
    BlendContext c;
    PrepareForSource(&c, b, source, key);
    const bool trans = transparent != 0;

    if (runPath) {
        WithSource(source->pixelType, palette, alpha, [&](auto src) {
            using Src = typename decltype(src)::type;
            constexpr int B = Src::kBits;
            WithRule<B>(kind, mask, !b.white, [&](auto rule, auto W) {
                RunRows<Src, typename decltype(rule)::type, decltype(W)::value>(j, c);
            });
        });
        return 0;
    }

    int chosen = kind;
    if (!mask && b.white && !alpha) {
        const int fast = FastKind(kind, b, bits);
        if (fast >= 0) chosen = fast;
        // Whole rows at a time where nothing is tested per pixel.
        if (!trans && !palette) {
            if (chosen == kCopy) {
                for (int row = 0; row < height; ++row) {
                    memcpy(j.d + row * j.dPitch, j.s + row * j.sPitch, static_cast<size_t>(width) * dBytes);
                }
                return 0;
            }
            if (bits == 32) {
                switch (chosen) {
                    case kAlpha:
                        for (int row = 0; row < height; ++row) {
                            soft_rows::Alpha32Fast(j.d + row * j.dPitch, j.s + row * j.sPitch, width, c.p);
                        }
                        return 0;
                    case kAvg: FastRows(j, soft_rows::Average32Fast); return 0;
                    case kAddSat: FastRows(j, soft_rows::AddSat32Fast); return 0;
                    case kSubSat: FastRows(j, soft_rows::SubSat32Fast); return 0;
                    case kAddReduced: FastRows(j, soft_rows::AddReduced32Fast); return 0;
                    case kSubReduced: FastRows(j, soft_rows::SubReduced32Fast); return 0;
                    default: break;
                }
            } else {
                switch (chosen) {
                    case kLerp6:
                        for (int row = 0; row < height; ++row) {
                            soft_rows::Lerp16Fast(j.d + row * j.dPitch, j.s + row * j.sPitch, width, c.p);
                        }
                        return 0;
                    case kAvg: FastRows(j, soft_rows::Average16Fast); return 0;
                    case kAddReduced: FastRows(j, soft_rows::AddPairs16Fast); return 0;
                    case kSubReduced: FastRows(j, soft_rows::SubPairs16Fast); return 0;
                    default: break;
                }
            }
        }
        if (trans && !palette && chosen == kCopy) {
            const auto keyCopy = bits == 32 ? soft_rows::KeyCopy32Fast : soft_rows::KeyCopy16Fast;
            for (int row = 0; row < height; ++row) keyCopy(j.d + row * j.dPitch, j.s + row * j.sPitch, width, key);
            return 0;
        }
        if (bits == 16 && (chosen == kAddReduced || chosen == kSubReduced)) {
            WithSource(source->pixelType, palette, alpha, [&](auto src) {
                using Src = typename decltype(src)::type;
                if constexpr (Src::kBits == 16 && !Src::kAlpha) {
                    WithBool(trans, [&](auto T) {
                        if (chosen == kAddReduced) PairRows16<Src, true, decltype(T)::value>(j, c);
                        else PairRows16<Src, false, decltype(T)::value>(j, c);
                    });
                }
            });
            return 0;
        }
    }
    WithSource(source->pixelType, palette, alpha, [&](auto src) {
        using Src = typename decltype(src)::type;
        WithRule<Src::kBits>(chosen, mask, !b.white, [&](auto rule, auto W) {
            WithBool(trans, [&](auto T) {
                NormalRows<Src, typename decltype(rule)::type, decltype(T)::value, decltype(W)::value>(j, c);
            });
        });
    });
    return 0;
}
