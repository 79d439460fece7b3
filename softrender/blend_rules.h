// The per-pixel rules of the software blend scheme as small templates: a source reader (how a pixel, its alpha
// and its key value are read) and a rule (what the pixel does to the destination). Every drawing operation picks
// one combination per call through the helpers at the bottom, so no draw setting is tested inside a loop.
#pragma once

#include <stdint.h>
#include <string.h>

#include <type_traits>

struct MEMIMG;

namespace soft {

// What a pixel does to the destination. The first five follow the blend modes; the rest are the fast forms that
// only the same-size copy (and the scaled copy's subtract) use.
enum RuleKind {
    kCopy,        // mode 0, and mode 1 at p = 255
    kAlpha,       // mode 1
    kAdd,         // mode 2, carry-mask add
    kSub,         // mode 3, carry-mask subtract
    kMul,         // mode 4
    kAvg,         // mode 1 at p = 128: halving average
    kLerp6,       // mode 1, 16-bit copy: 64-level table
    kAddSat,      // mode 2 at p = 255, per-byte saturation (the MMX result)
    kSubSat,      // mode 3 at p = 255, per-byte saturation
    kAddReduced,  // mode 2 at p = 255 without MMX: no low-bit OR term
    kSubReduced,  // mode 3 at p = 255 without MMX: source masked by 0x00FEFEFF
    kNoDraw,
};

// Everything a rule reads, prepared once per call.
struct BlendContext {
    const int32_t* paramRow;  // ParamScaleTable[p]
    const int32_t* scaleR;    // ParamScaleTable[scale channel]
    const int32_t* scaleG;
    const int32_t* scaleB;
    const int32_t* diffRow;  // ParamDiffTable[p] + 255, indexed by a signed difference
    const uint8_t* lerpRow;  // Lerp6Table[p >> 2], [source][destination]
    const uint8_t* weights;  // BlendGraphWeightTable
    uint32_t p;
    uint32_t key;             // compared with Src::KeyValue
    const uint8_t* palette;   // 4- or 2-byte entries
    uint32_t flatColour;      // the colour of fills, lines and flat triangles
};

// Fills the table pointers for parameter p and colour scale 0x00RRGGBB; key, palette and flat colour are left 0.
void PrepareContext(BlendContext* c, int p, uint32_t colourScale);
// Whether the colour scale leaves colours unchanged.
inline bool IsWhite(uint32_t colourScale) { return (colourScale & 0xFFFFFF) == 0xFFFFFF; }

inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}
inline uint32_t Load16(const uint8_t* p) {
    uint16_t v;
    memcpy(&v, p, 2);
    return v;
}
inline void Store32(uint8_t* p, uint32_t v) { memcpy(p, &v, 4); }
inline void Store16(uint8_t* p, uint32_t v) {
    const uint16_t w = static_cast<uint16_t>(v);
    memcpy(p, &w, 2);
}

// ---- Sources ----
// kBytes: bytes per source pixel; Colour: the pixel's colour (palette entries looked up); KeyValue: what the colour
// key is compared with; Alpha: the pixel's alpha for sources that carry one.
struct Src32 {
    static constexpr int kBits = 32, kBytes = 4;
    static constexpr bool kAlpha = false, kPalette = false;
    static uint32_t Colour(const uint8_t* s, const BlendContext&) { return Load32(s); }
    static uint32_t KeyValue(const uint8_t* s) { return Load32(s); }
    static uint32_t Alpha(const uint8_t*) { return 255; }
};
struct Src32A {
    static constexpr int kBits = 32, kBytes = 4;
    static constexpr bool kAlpha = true, kPalette = false;
    static uint32_t Colour(const uint8_t* s, const BlendContext&) { return Load32(s); }
    static uint32_t KeyValue(const uint8_t* s) { return Load32(s); }
    static uint32_t Alpha(const uint8_t* s) { return s[3]; }
};
struct Pal32 {
    static constexpr int kBits = 32, kBytes = 1;
    static constexpr bool kAlpha = false, kPalette = true;
    static uint32_t Colour(const uint8_t* s, const BlendContext& c) { return Load32(c.palette + 4u * s[0]); }
    static uint32_t KeyValue(const uint8_t* s) { return s[0]; }
    static uint32_t Alpha(const uint8_t*) { return 255; }
};
struct Src16 {
    static constexpr int kBits = 16, kBytes = 2;
    static constexpr bool kAlpha = false, kPalette = false;
    static uint32_t Colour(const uint8_t* s, const BlendContext&) { return Load16(s); }
    static uint32_t KeyValue(const uint8_t* s) { return Load16(s); }
    static uint32_t Alpha(const uint8_t*) { return 255; }
};
struct Src16A {
    static constexpr int kBits = 16, kBytes = 4;
    static constexpr bool kAlpha = true, kPalette = false;
    static uint32_t Colour(const uint8_t* s, const BlendContext&) { return Load16(s); }
    static uint32_t KeyValue(const uint8_t* s) { return Load16(s); }
    static uint32_t Alpha(const uint8_t* s) { return s[2]; }
};
struct Pal16 {
    static constexpr int kBits = 16, kBytes = 1;
    static constexpr bool kAlpha = false, kPalette = true;
    static uint32_t Colour(const uint8_t* s, const BlendContext& c) { return Load16(c.palette + 2u * s[0]); }
    static uint32_t KeyValue(const uint8_t* s) { return s[0]; }
    static uint32_t Alpha(const uint8_t*) { return 255; }
};
// One colour for every pixel (fills, lines, flat triangles); reads no memory.
template <int Bits>
struct Flat {
    static constexpr int kBits = Bits, kBytes = 0;
    static constexpr bool kAlpha = false, kPalette = false;
    static uint32_t Colour(const uint8_t*, const BlendContext& c) { return c.flatColour; }
    static uint32_t KeyValue(const uint8_t*) { return 0; }
    static uint32_t Alpha(const uint8_t*) { return 255; }
};

// ---- 32-bit rules ----
// W: a blend-mask weight is present; S: the colour scale is not white. Apply<A>: A is the alpha factor in use.
template <int Kind, bool W, bool S>
struct Rule32 {
    static constexpr int kKind = Kind;

    static uint32_t Scaled(uint32_t s, const BlendContext& c) {
        if constexpr (!S) {
            return s;
        } else {
            return (s & 0xFF000000u) | (static_cast<uint32_t>(c.scaleR[(s >> 16) & 255]) << 16) |
                   (static_cast<uint32_t>(c.scaleG[(s >> 8) & 255]) << 8) |
                   static_cast<uint32_t>(c.scaleB[s & 255]);
        }
    }

    template <bool A>
    static void Apply(uint8_t* d, uint32_t s, uint32_t a, uint32_t w, const BlendContext& c) {
        s = Scaled(s, c);
        if constexpr (Kind == kCopy || Kind == kAlpha) {
            constexpr int n = (W ? 1 : 0) + (A ? 1 : 0) + (Kind == kAlpha ? 1 : 0);
            if constexpr (n == 0) {
                if constexpr (S) {
                    d[0] = static_cast<uint8_t>(s);
                    d[1] = static_cast<uint8_t>(s >> 8);
                    d[2] = static_cast<uint8_t>(s >> 16);
                } else {
                    Store32(d, s);
                }
            } else {
                // d x 2^k + (s - d) x F, written as d x (2^k - F) + s x F so it stays non-negative.
                uint32_t f = 1;
                if constexpr (W) f *= w;
                if constexpr (A) f *= a;
                if constexpr (Kind == kAlpha) f *= c.p;
                constexpr uint32_t one = 1u << (8 * n);
                for (int ch = 0; ch < 3; ++ch) {
                    const uint32_t sc = (s >> (8 * ch)) & 255;
                    d[ch] = static_cast<uint8_t>((d[ch] * (one - f) + sc * f) >> (8 * n));
                }
            }
        } else if constexpr (Kind == kAdd || Kind == kSub) {
            uint32_t S3;
            if constexpr (!W && !A) {
                S3 = static_cast<uint32_t>(c.paramRow[s & 255]) |
                     (static_cast<uint32_t>(c.paramRow[(s >> 8) & 255]) << 8) |
                     (static_cast<uint32_t>(c.paramRow[(s >> 16) & 255]) << 16);
            } else {
                uint32_t m = c.p;
                if constexpr (W) m *= w;
                if constexpr (A) m *= a;
                constexpr int shift = 8 + (W ? 8 : 0) + (A ? 8 : 0);
                S3 = (((s & 255) * m) >> shift) | ((((s >> 8) & 255) * m) >> shift << 8) |
                     ((((s >> 16) & 255) * m) >> shift << 16);
            }
            const uint32_t dv = Load32(d);
            Store32(d, Kind == kAdd ? CarryAdd(dv, S3) : CarrySub(dv, S3));
        } else if constexpr (Kind == kMul) {
            uint32_t m = 1;
            if constexpr (W) m *= w;
            if constexpr (A) m *= a;
            constexpr int shift = 8 + (W ? 8 : 0) + (A ? 8 : 0);
            for (int ch = 0; ch < 3; ++ch) {
                const uint32_t sc = (s >> (8 * ch)) & 255;
                d[ch] = static_cast<uint8_t>((d[ch] * sc * m) >> shift);
            }
        } else if constexpr (Kind == kAvg) {
            Store32(d, ((s >> 1) & 0x007F7F7Fu) + ((Load32(d) >> 1) & 0x007F7F7Fu));
        } else if constexpr (Kind == kAddSat || Kind == kSubSat) {
            uint32_t dv = Load32(d), r = 0;
            for (int b = 0; b < 32; b += 8) {
                const int x = static_cast<int>((dv >> b) & 255), y = static_cast<int>((s >> b) & 255);
                int v = Kind == kAddSat ? x + y : x - y;
                v = v > 255 ? 255 : v < 0 ? 0 : v;
                r |= static_cast<uint32_t>(v) << b;
            }
            Store32(d, r);
        } else if constexpr (Kind == kAddReduced) {
            const uint32_t t = (Load32(d) & 0x00FEFEFFu) + (s & 0x00FEFEFFu);
            const uint32_t k = t & 0x01010100u;
            Store32(d, (k - (k >> 8)) | t);
        } else if constexpr (Kind == kSubReduced) {
            Store32(d, CarrySub(Load32(d), s & 0x00FEFEFFu));
        }
    }

    static uint32_t CarryAdd(uint32_t d, uint32_t s) {
        const uint32_t t = (d & 0x00FEFEFFu) + (s & 0x00FEFEFFu);
        const uint32_t k = t & 0x01010100u;
        return (k - (k >> 8)) | ((d | s) & 0x00010100u) | t;
    }
    static uint32_t CarrySub(uint32_t d, uint32_t s) {
        const uint32_t t = (d | 0x01010100u) - (s & 0xFEFEFEFFu);
        const uint32_t k = t & 0x01010100u;
        return (k - (k >> 8)) & t;
    }
};

// ---- 16-bit rules (R5G6B5) ----
inline uint32_t Word565(uint32_t r, uint32_t g, uint32_t b) { return (r << 11) | (g << 5) | b; }

inline uint32_t CarryAdd16(uint32_t d, uint32_t s) {
    const uint32_t t = (d & 0xF7DFu) + (s & 0xF7DFu);
    const uint32_t k = t & 0x08210820u;
    return ((k - (k >> 5)) | ((d | s) & 0x0820u) | t) & 0xFFFFu;
}
// The add of a pixel handled alone by the two-pixel loops: no low-bit OR term.
inline uint32_t CarryAdd16Lone(uint32_t d, uint32_t s) {
    const uint32_t t = (d & 0xF7DFu) + (s & 0xF7DFu);
    const uint32_t k = t & 0x08210820u;
    return ((k - (k >> 5)) | t) & 0xFFFFu;
}
inline uint32_t CarrySub16(uint32_t d, uint32_t s) {
    const uint32_t t = (d | 0x08210820u) - (s & 0xF7DEF7DFu);
    const uint32_t k = t & 0x08210820u;
    return (t & (k - (k >> 5))) & 0xFFFFu;
}
// Two pixels in one word, the first in the low half; the carry out of the first pixel's red lands in the second
// pixel's blue.
inline uint32_t CarryAdd16Pair(uint32_t d, uint32_t s) {
    const uint32_t x = d & 0xF7DEF7DFu, y = s & 0xF7DEF7DFu;
    const uint32_t t = x + y;
    const uint32_t e = t < x ? 0x08000000u : 0u;
    const uint32_t k = t & 0x08210820u;
    return (k - ((k >> 5) | e)) | t;
}
inline uint32_t CarrySub16Pair(uint32_t d, uint32_t s) {
    const uint32_t x = d | 0x08210820u, y = s & 0xF7DEF7DFu;
    const uint32_t t = x - y;
    const uint32_t e = x >= y ? 0xF8000000u : 0u;
    const uint32_t k = t & 0x08210820u;
    return t & ((k - (k >> 5)) | e);
}

template <int Kind, bool W, bool S>
struct Rule16 {
    static constexpr int kKind = Kind;

    template <bool A>
    static void Apply(uint8_t* d, uint32_t s, uint32_t a, uint32_t w, const BlendContext& c) {
        uint32_t sr = (s >> 11) & 31, sg = (s >> 5) & 63, sb = s & 31;
        if constexpr (S) {
            sr = static_cast<uint32_t>(c.scaleR[sr]);
            sg = static_cast<uint32_t>(c.scaleG[sg]);
            sb = static_cast<uint32_t>(c.scaleB[sb]);
            s = Word565(sr, sg, sb);
        }
        const uint32_t dv = Load16(d);
        const uint32_t dr = dv >> 11, dg = (dv >> 5) & 63, db = dv & 31;
        if constexpr (Kind == kCopy || Kind == kAlpha) {
            constexpr int n = (W ? 1 : 0) + (A ? 1 : 0) + (Kind == kAlpha ? 1 : 0);
            if constexpr (n == 0) {
                Store16(d, s);
            } else if constexpr (Kind == kAlpha && n == 1) {
                const int32_t* t = c.diffRow;
                Store16(d, Word565(dr + t[static_cast<int>(sr) - static_cast<int>(dr)],
                                   dg + t[static_cast<int>(sg) - static_cast<int>(dg)],
                                   db + t[static_cast<int>(sb) - static_cast<int>(db)]));
            } else {
                uint32_t f = 1;
                if constexpr (W) f *= w;
                if constexpr (A) f *= a;
                if constexpr (Kind == kAlpha) f *= c.p;
                constexpr int k = 8 * n;
                constexpr uint32_t one = 1u << k;
                Store16(d, Word565((dr * (one - f) + sr * f) >> k, (dg * (one - f) + sg * f) >> k,
                                   (db * (one - f) + sb * f) >> k));
            }
        } else if constexpr (Kind == kAdd || Kind == kSub) {
            uint32_t tr = sr, tg = sg, tb = sb;
            if constexpr (W || A) {
                uint32_t m = 1;
                if constexpr (W) m *= w;
                if constexpr (A) m *= a;
                constexpr int shift = (W ? 8 : 0) + (A ? 8 : 0);
                tr = (tr * m) >> shift;
                tg = (tg * m) >> shift;
                tb = (tb * m) >> shift;
            }
            const uint32_t S3 = Word565(static_cast<uint32_t>(c.paramRow[tr]),
                                        static_cast<uint32_t>(c.paramRow[tg]),
                                        static_cast<uint32_t>(c.paramRow[tb]));
            Store16(d, Kind == kAdd ? CarryAdd16(dv, S3) : CarrySub16(dv, S3));
        } else if constexpr (Kind == kMul) {
            uint32_t m = 1;
            if constexpr (W) m *= w;
            if constexpr (A) m *= a;
            constexpr int shift = (W ? 8 : 0) + (A ? 8 : 0);
            Store16(d, Word565((sr * dr * m) >> (5 + shift), (sg * dg * m) >> (6 + shift),
                               (sb * db * m) >> (5 + shift)));
        } else if constexpr (Kind == kAvg) {
            Store16(d, ((s >> 1) & 0x7BEFu) + ((dv >> 1) & 0x7BEFu));
        } else if constexpr (Kind == kLerp6) {
            const uint8_t* t = c.lerpRow;
            Store16(d, Word565(t[sr * 64 + dr], t[sg * 64 + dg], t[sb * 64 + db]));
        } else if constexpr (Kind == kAddSat || Kind == kAddReduced) {
            Store16(d, CarryAdd16Lone(dv, s));
        } else if constexpr (Kind == kSubSat || Kind == kSubReduced) {
            Store16(d, CarrySub16(dv, s));
        }
    }
};

template <int Bits, int Kind, bool W, bool S>
using Rule = std::conditional_t<Bits == 32, Rule32<Kind, W, S>, Rule16<Kind, W, S>>;

// ---- One pixel ----
// Trans: the transparent flag (colour key, or for alpha sources the alpha 0 and 255 shortcuts). SkipMulA0: the
// scaled copy also skips alpha-0 pixels in the multiply.
template <class Src, class R, bool Trans, bool W, bool SkipMulA0 = false>
inline void Plot(uint8_t* d, const uint8_t* s, const uint8_t* m, const BlendContext& c) {
    const uint32_t w = W ? c.weights[*m] : 0;
    if constexpr (Src::kAlpha) {
        const uint32_t a = Src::Alpha(s);
        const uint32_t colour = Src::Colour(s, c);
        if constexpr (Trans) {
            if (a == 0 && (R::kKind != kMul || SkipMulA0)) return;
            if (a == 255) {
                R::template Apply<false>(d, colour, 0, w, c);
                return;
            }
        }
        R::template Apply<true>(d, colour, a, w, c);
    } else {
        if constexpr (Trans) {
            if (Src::KeyValue(s) == c.key) return;
        }
        R::template Apply<false>(d, Src::Colour(s, c), 0, w, c);
    }
}

// ---- Variant choice ----
template <class T>
struct Tag {
    using type = T;
};

template <class F>
inline void WithBool(bool b, F&& f) {
    if (b) {
        f(std::true_type{});
    } else {
        f(std::false_type{});
    }
}

// The general rule kind of a blend mode after the parameter tests, or kNoDraw. Palette sources run the subtract
// at p = 0.
inline int GeneralKind(unsigned mode, int p, bool palette) {
    switch (mode) {
        case 0: return kCopy;
        case 1: return p == 255 ? kCopy : p == 0 ? kNoDraw : kAlpha;
        case 2: return p == 0 ? kNoDraw : kAdd;
        case 3: return p == 0 && !palette ? kNoDraw : kSub;
        case 4: return kMul;
        default: return kNoDraw;
    }
}

// Calls fn(Tag<Rule>, W) with the rule of the kind, instantiated for the mask and scale flags. Fast kinds exist
// only without mask and with a white scale; the caller picks them only then.
template <int Bits, class Fn>
inline void WithRule(int kind, bool mask, bool scale, Fn&& fn) {
    WithBool(mask, [&](auto W) {
        WithBool(scale, [&](auto S) {
            constexpr bool w = decltype(W)::value, sc = decltype(S)::value;
            switch (kind) {
                case kCopy: fn(Tag<Rule<Bits, kCopy, w, sc>>{}, W); break;
                case kAlpha: fn(Tag<Rule<Bits, kAlpha, w, sc>>{}, W); break;
                case kAdd: fn(Tag<Rule<Bits, kAdd, w, sc>>{}, W); break;
                case kSub: fn(Tag<Rule<Bits, kSub, w, sc>>{}, W); break;
                case kMul: fn(Tag<Rule<Bits, kMul, w, sc>>{}, W); break;
                default:
                    if constexpr (!w && !sc) {
                        switch (kind) {
                            case kAvg: fn(Tag<Rule<Bits, kAvg, false, false>>{}, W); break;
                            case kLerp6: fn(Tag<Rule<Bits, kLerp6, false, false>>{}, W); break;
                            case kAddSat: fn(Tag<Rule<Bits, kAddSat, false, false>>{}, W); break;
                            case kSubSat: fn(Tag<Rule<Bits, kSubSat, false, false>>{}, W); break;
                            case kAddReduced: fn(Tag<Rule<Bits, kAddReduced, false, false>>{}, W); break;
                            case kSubReduced: fn(Tag<Rule<Bits, kSubReduced, false, false>>{}, W); break;
                            default: break;
                        }
                    }
                    break;
            }
        });
    });
}

// Calls fn(Tag<Src>) with the source reader of an image (pixel type 0 or 1); false for other images.
template <class Fn>
inline bool WithSource(int pixelType, bool palette, bool alpha, Fn&& fn) {
    if (pixelType == 1) {
        if (palette) fn(Tag<Pal32>{});
        else if (alpha) fn(Tag<Src32A>{});
        else fn(Tag<Src32>{});
        return true;
    }
    if (pixelType == 0) {
        if (palette) fn(Tag<Pal16>{});
        else if (alpha) fn(Tag<Src16A>{});
        else fn(Tag<Src16>{});
        return true;
    }
    return false;
}

}  // namespace soft
