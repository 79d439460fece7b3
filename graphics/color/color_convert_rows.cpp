// Row loops of the common conversions: portable forms that define the results, and SSE2 forms that must give the
// same bits (the vector loops handle whole groups, the portable ones finish each row).
#include "graphics/color/color_convert_rows.h"

#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace convert_rows {

const uint8_t kOrderedMatrix[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

namespace {

inline uint16_t DitherPixel565(uint32_t p, uint32_t matrixValue) {
    // A channel narrowed by k bits gains one unit when its dropped bits exceed (M * 2^k) >> 4; it saturates at
    // its maximum instead of wrapping, so white stays white.
    const uint32_t r8 = (p >> 16) & 0xFF, g8 = (p >> 8) & 0xFF, b8 = p & 0xFF;
    const uint32_t t5 = (matrixValue << 3) >> 4, t6 = (matrixValue << 2) >> 4;
    uint32_t r = (r8 >> 3) + ((r8 & 7) > t5 ? 1u : 0u);
    uint32_t g = (g8 >> 2) + ((g8 & 3) > t6 ? 1u : 0u);
    uint32_t b = (b8 >> 3) + ((b8 & 7) > t5 ? 1u : 0u);
    if (r > 31) r = 31;
    if (g > 63) g = 63;
    if (b > 31) b = 31;
    return static_cast<uint16_t>((r << 11) | (g << 5) | b);
}

#if defined(__SSE2__)
// Eight 32-bit values (each below 0x10000) packed into eight 16-bit lanes: moved into the signed range, packed
// with signed saturation (which then never saturates), and moved back.
inline __m128i Pack32To16(__m128i lo, __m128i hi) {
    const __m128i bias32 = _mm_set1_epi32(0x8000);
    const __m128i packed = _mm_packs_epi32(_mm_sub_epi32(lo, bias32), _mm_sub_epi32(hi, bias32));
    return _mm_add_epi16(packed, _mm_set1_epi16(static_cast<short>(0x8000)));
}

// Red and blue in one multiply-add: the 16-bit halves (blue & 0xF8, red & 0xF8) times (1, 2048) sum to
// (blue & 0xF8) + ((red & 0xF8) << 11), which shifted right by 3 puts both in their R5G6B5 places.
inline __m128i X888To565Vec(__m128i p) {
    const __m128i rb = _mm_madd_epi16(_mm_and_si128(p, _mm_set1_epi32(0x00F800F8)), _mm_set1_epi32(0x08000001));
    const __m128i g = _mm_and_si128(p, _mm_set1_epi32(0xFC00));
    return _mm_or_si128(_mm_srli_epi32(rb, 3), _mm_srli_epi32(g, 5));
}
#endif

}  // namespace

void Rgb565ToX888Portable(const uint16_t* src, uint32_t* dst, int count) {
    for (int i = 0; i < count; ++i) {
        const uint32_t p = src[i];
        dst[i] = ((p & 0x1F) << 3) | ((p & 0x7E0) << 5) | ((p & 0xF800) << 8);
    }
}

void Rgb565ToX888Fast(const uint16_t* src, uint32_t* dst, int count) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i mb = _mm_set1_epi32(0x1F), mg = _mm_set1_epi32(0x7E0), mr = _mm_set1_epi32(0xF800);
    for (; i + 8 <= count; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i halves[2] = {_mm_unpacklo_epi16(v, zero), _mm_unpackhi_epi16(v, zero)};
        for (int h = 0; h < 2; ++h) {
            const __m128i p = halves[h];
            const __m128i out = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(_mm_and_si128(p, mb), 3),
                                                          _mm_slli_epi32(_mm_and_si128(p, mg), 5)),
                                             _mm_slli_epi32(_mm_and_si128(p, mr), 8));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 4 * h), out);
        }
    }
#endif
    Rgb565ToX888Portable(src + i, dst + i, count - i);
}

void X888ToRgb565Portable(const uint32_t* src, uint16_t* dst, int count) {
    for (int i = 0; i < count; ++i) {
        const uint32_t p = src[i];
        dst[i] = static_cast<uint16_t>(((p & 0xF8) >> 3) | ((p & 0xFC00) >> 5) | ((p & 0xF80000) >> 8));
    }
}

void X888ToRgb565Fast(const uint32_t* src, uint16_t* dst, int count) {
    int i = 0;
#if defined(__SSE2__)
    for (; i + 8 <= count; i += 8) {
        const __m128i lo = X888To565Vec(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
        const __m128i hi = X888To565Vec(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 4)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), Pack32To16(lo, hi));
    }
#endif
    X888ToRgb565Portable(src + i, dst + i, count - i);
}

void X888ToRgb565OrderedPortable(const uint32_t* src, uint16_t* dst, int count, int column, int row) {
    const uint8_t* matrixRow = kOrderedMatrix + (row & 3) * 4;
    for (int i = 0; i < count; ++i) dst[i] = DitherPixel565(src[i], matrixRow[(column + i) & 3]);
}

void X888ToRgb565OrderedFast(const uint32_t* src, uint16_t* dst, int count, int column, int row) {
    int i = 0;
#if defined(__SSE2__)
    if (count >= 8) {
        // A channel narrowed by k bits gains a unit exactly when its dropped bits d exceed the threshold t, that is
        // when adding (2^k - 1 - t) carries into the kept bits. A saturating byte add does that for all three
        // channels at once, and saturation keeps full channels full. Four lanes span one matrix row, so one bias
        // vector serves the whole row.
        const uint8_t* matrixRow = kOrderedMatrix + (row & 3) * 4;
        int bias[4];
        for (int lane = 0; lane < 4; ++lane) {
            const uint32_t m = matrixRow[(column + lane) & 3];
            const uint32_t b5 = 7 - ((m << 3) >> 4), b6 = 3 - ((m << 2) >> 4);
            bias[lane] = static_cast<int>((b5 << 16) | (b6 << 8) | b5);
        }
        const __m128i biasVec = _mm_setr_epi32(bias[0], bias[1], bias[2], bias[3]);
        for (; i + 8 <= count; i += 8) {
            const __m128i lo = _mm_adds_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), biasVec);
            const __m128i hi = _mm_adds_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 4)), biasVec);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), Pack32To16(X888To565Vec(lo), X888To565Vec(hi)));
        }
    }
#endif
    X888ToRgb565OrderedPortable(src + i, dst + i, count - i, column + i, row);
}

void X888ToRgb565CarryRow(const uint32_t* src, uint16_t* dst, int count, uint32_t carry[3]) {
    uint32_t cr = carry[0], cg = carry[1], cb = carry[2];
    for (int i = 0; i < count; ++i) {
        const uint32_t p = src[i];
        const uint32_t r8 = (p >> 16) & 0xFF, g8 = (p >> 8) & 0xFF, b8 = p & 0xFF;
        cr += r8 & 7;
        cg += g8 & 3;
        cb += b8 & 7;
        uint32_t r = (r8 >> 3) + (cr > 7 ? 1u : 0u);
        uint32_t g = (g8 >> 2) + (cg > 3 ? 1u : 0u);
        uint32_t b = (b8 >> 3) + (cb > 7 ? 1u : 0u);
        cr &= 7;
        cg &= 3;
        cb &= 7;
        r = r > 31 ? 31 : r;
        g = g > 63 ? 63 : g;
        b = b > 31 ? 31 : b;
        dst[i] = static_cast<uint16_t>((r << 11) | (g << 5) | b);
    }
    carry[0] = cr;
    carry[1] = cg;
    carry[2] = cb;
}

namespace {

// The 24-bit pixel at p as 0x00RRGGBB. `wide` reads four bytes at once (the caller knows a fourth byte follows).
inline uint32_t Load24(const uint8_t* p, bool wide) {
    if (wide) {
        uint32_t v;
        memcpy(&v, p, 4);
        return v & 0x00FFFFFFu;
    }
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
}

// Runs `pixel` over a 24-bit row: every pixel but the last with the four-byte load.
template <typename DstT, typename F>
inline void Rgb24Row(const uint8_t* src, DstT* dst, int count, F pixel) {
    if (count <= 0) return;
    for (int i = 0; i < count - 1; ++i) dst[i] = pixel(Load24(src + 3 * i, true));
    dst[count - 1] = pixel(Load24(src + 3 * (count - 1), false));
}

inline uint16_t Pack565Of(uint32_t c) {
    return static_cast<uint16_t>(((c >> 8) & 0xF800u) | ((c >> 5) & 0x07E0u) | ((c >> 3) & 0x001Fu));
}

inline uint32_t Pack555Of(uint32_t c) {
    return ((c >> 9) & 0x7C00u) | ((c >> 6) & 0x03E0u) | ((c >> 3) & 0x001Fu);
}

#if defined(__SSE2__)
// Four 24-bit pixels from the 16 bytes at p (the last four unused) as four 0x00RRGGBB lanes: the pixels start at
// bytes 0, 3, 6 and 9, so byte shifts of the whole register bring each to the bottom of a lane.
// Four pixels into 32-bit lanes, the fourth byte of each lane holding the next pixel's first byte.
inline __m128i Gather4Rgb24(const uint8_t* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i ab = _mm_unpacklo_epi32(v, _mm_srli_si128(v, 3));
    const __m128i cd = _mm_unpacklo_epi32(_mm_srli_si128(v, 6), _mm_srli_si128(v, 9));
    return _mm_unpacklo_epi64(ab, cd);
}
inline __m128i Load4Rgb24(const uint8_t* p) { return _mm_and_si128(Gather4Rgb24(p), _mm_set1_epi32(0x00FFFFFF)); }

// Pixels the four-at-a-time loops may take: each step reads 16 bytes from pixel i, so pixel i + 5 must exist.
inline int VectorPixels(int count) {
    return count >= 6 ? ((count - 2) & ~3) : 0;
}

// One round of the 96-byte sort in Rgb24To565Fast: register k becomes the byte interleaving of the old halves
// (registers 0-2 with 3-5).
inline void InterleaveRound(__m128i v[6]) {
    const __m128i w0 = _mm_unpacklo_epi8(v[0], v[3]), w1 = _mm_unpackhi_epi8(v[0], v[3]);
    const __m128i w2 = _mm_unpacklo_epi8(v[1], v[4]), w3 = _mm_unpackhi_epi8(v[1], v[4]);
    const __m128i w4 = _mm_unpacklo_epi8(v[2], v[5]), w5 = _mm_unpackhi_epi8(v[2], v[5]);
    v[0] = w0;
    v[1] = w1;
    v[2] = w2;
    v[3] = w3;
    v[4] = w4;
    v[5] = w5;
}

inline __m128i Pack555Vec(__m128i c) {
    return _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(c, 9), _mm_set1_epi32(0x7C00)),
                                     _mm_and_si128(_mm_srli_epi32(c, 6), _mm_set1_epi32(0x03E0))),
                        _mm_and_si128(_mm_srli_epi32(c, 3), _mm_set1_epi32(0x001F)));
}
#endif

}  // namespace

void Rgb24To8888Row(const uint8_t* src, uint32_t* dst, int count, int keyed, uint32_t keyRgb) {
    int i = 0;
#if defined(__SSE2__)
    const int vectorPixels = VectorPixels(count);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i key = _mm_set1_epi32(static_cast<int>(keyRgb));
    for (; i < vectorPixels; i += 4) {
        const __m128i c = Load4Rgb24(src + 3 * i);
        const __m128i a = keyed ? _mm_andnot_si128(_mm_cmpeq_epi32(c, key), alpha) : alpha;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_or_si128(c, a));
    }
#endif
    if (keyed) {
        Rgb24Row(src + 3 * i, dst + i, count - i, [keyRgb](uint32_t c) {
            return c | (c != keyRgb ? 0xFF000000u : 0u);
        });
    } else {
        Rgb24Row(src + 3 * i, dst + i, count - i, [](uint32_t c) { return c | 0xFF000000u; });
    }
}

void Rgb24To565Portable(const uint8_t* src, uint16_t* dst, int count) {
    Rgb24Row(src, dst, count, Pack565Of);
}

void Rgb24To565Fast(const uint8_t* src, uint16_t* dst, int count) {
    int i = 0;
#if defined(__SSE2__)
    // 32 pixels (96 bytes, six registers) at a time. A round of byte interleaving of register k with register k + 3
    // moves the byte at position p (of 96) to 2p mod 95; four rounds move it to 16p mod 95, which takes byte c of
    // pixel 2j to 16c + j and of pixel 2j + 1 to 48 + 16c + j. So the registers end up holding the blue, green and
    // red bytes of the even pixels, then those of the odd ones, each in order. From such planes the two bytes of
    // each 565 word are a few byte-wise shifts and masks; interleaving bytes, then even and odd words, puts the words
    // in pixel order. No byte is read past the 32 pixels.
    const __m128i low5 = _mm_set1_epi8(0x1F), top3 = _mm_set1_epi8(static_cast<char>(0xE0));
    const __m128i top5 = _mm_set1_epi8(static_cast<char>(0xF8)), low3 = _mm_set1_epi8(0x07);
    for (; i + 32 <= count; i += 32) {
        __m128i v[6];
        for (int k = 0; k < 6; ++k) v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * i + 16 * k));
        // Written out so the compiler keeps the six values in registers.
        InterleaveRound(v);
        InterleaveRound(v);
        InterleaveRound(v);
        InterleaveRound(v);
        __m128i words[4];  // even pixels 0-14, 16-30, odd pixels 1-15, 17-31
        for (int h = 0; h < 2; ++h) {
            const __m128i b = v[3 * h], g = v[3 * h + 1], r = v[3 * h + 2];
            // Low byte: green's low three kept bits over blue's five; high byte: red's five over green's top three.
            // The 16-bit shifts spill bits across byte boundaries; the masks drop them.
            const __m128i lo = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(b, 3), low5),
                                            _mm_and_si128(_mm_slli_epi16(g, 3), top3));
            const __m128i hi = _mm_or_si128(_mm_and_si128(r, top5), _mm_and_si128(_mm_srli_epi16(g, 5), low3));
            words[2 * h] = _mm_unpacklo_epi8(lo, hi);
            words[2 * h + 1] = _mm_unpackhi_epi8(lo, hi);
        }
        __m128i* out = reinterpret_cast<__m128i*>(dst + i);
        _mm_storeu_si128(out, _mm_unpacklo_epi16(words[0], words[2]));
        _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(words[0], words[2]));
        _mm_storeu_si128(out + 2, _mm_unpacklo_epi16(words[1], words[3]));
        _mm_storeu_si128(out + 3, _mm_unpackhi_epi16(words[1], words[3]));
    }
    // What is left of the row (under 32 pixels): eight at a time while 16-byte reads stay inside the row.
    const int vectorPixels = i + (VectorPixels(count - i) & ~7);
    for (; i < vectorPixels; i += 8) {
        // X888To565Vec masks its channels itself, so the fourth byte needs no clearing.
        const __m128i lo = X888To565Vec(Gather4Rgb24(src + 3 * i));
        const __m128i hi = X888To565Vec(Gather4Rgb24(src + 3 * i + 12));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), Pack32To16(lo, hi));
    }
#endif
    Rgb24To565Portable(src + 3 * i, dst + i, count - i);
}

void Rgb24To1555Row(const uint8_t* src, uint16_t* dst, int count, int keyed, uint32_t key555) {
    int i = 0;
#if defined(__SSE2__)
    const int vectorPixels = VectorPixels(count) & ~7;
    const __m128i top = _mm_set1_epi16(static_cast<short>(0x8000));
    const __m128i key = _mm_set1_epi16(static_cast<short>(key555));
    for (; i < vectorPixels; i += 8) {
        const __m128i v = Pack32To16(Pack555Vec(Load4Rgb24(src + 3 * i)), Pack555Vec(Load4Rgb24(src + 3 * i + 12)));
        const __m128i bit = keyed ? _mm_andnot_si128(_mm_cmpeq_epi16(v, key), top) : top;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_or_si128(v, bit));
    }
#endif
    if (keyed) {
        Rgb24Row(src + 3 * i, dst + i, count - i, [key555](uint32_t c) {
            const uint32_t v = Pack555Of(c);
            return static_cast<uint16_t>(v | (v != key555 ? 0x8000u : 0u));
        });
    } else {
        Rgb24Row(src + 3 * i, dst + i, count - i,
                 [](uint32_t c) { return static_cast<uint16_t>(Pack555Of(c) | 0x8000u); });
    }
}

void Rgb565To555Portable(const uint16_t* src, uint16_t* dst, int count) {
    for (int i = 0; i < count; ++i) {
        const uint32_t p = src[i];
        dst[i] = static_cast<uint16_t>(((p & 0xFFC0) >> 1) | (p & 0x1F));
    }
}

void Rgb565To555Fast(const uint16_t* src, uint16_t* dst, int count) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFFC0)), low = _mm_set1_epi16(0x1F);
    for (; i + 8 <= count; i += 8) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i out = _mm_or_si128(_mm_srli_epi16(_mm_and_si128(p, high), 1), _mm_and_si128(p, low));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), out);
    }
#endif
    Rgb565To555Portable(src + i, dst + i, count - i);
}

void Rgb555To565Portable(const uint16_t* src, uint16_t* dst, int count) {
    for (int i = 0; i < count; ++i) {
        const uint32_t p = src[i];
        dst[i] = static_cast<uint16_t>(((p & 0x7FE0) << 1) | (p & 0x3F));
    }
}

void Rgb555To565Fast(const uint16_t* src, uint16_t* dst, int count) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi16(0x7FE0), low = _mm_set1_epi16(0x3F);
    for (; i + 8 <= count; i += 8) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i out = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(p, high), 1), _mm_and_si128(p, low));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), out);
    }
#endif
    Rgb555To565Portable(src + i, dst + i, count - i);
}

void KeyToAlpha32Portable(const uint32_t* src, uint32_t* dst, int count, uint32_t rgbMask, uint32_t key,
                          uint32_t alphaMask) {
    const uint32_t keyRgb = key & rgbMask;
    for (int i = 0; i < count; ++i) {
        const uint32_t p = src[i] | ~rgbMask;
        dst[i] = (p & rgbMask) == keyRgb ? (p & ~alphaMask) : (p | alphaMask);
    }
}

void KeyToAlpha32Fast(const uint32_t* src, uint32_t* dst, int count, uint32_t rgbMask, uint32_t key,
                      uint32_t alphaMask) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i rgb = _mm_set1_epi32(static_cast<int>(rgbMask));
    const __m128i notRgb = _mm_set1_epi32(static_cast<int>(~rgbMask));
    const __m128i keyRgb = _mm_set1_epi32(static_cast<int>(key & rgbMask));
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(alphaMask));
    for (; i + 4 <= count; i += 4) {
        const __m128i p = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), notRgb);
        const __m128i match = _mm_cmpeq_epi32(_mm_and_si128(p, rgb), keyRgb);
        const __m128i set = _mm_or_si128(p, alpha);
        const __m128i cleared = _mm_andnot_si128(alpha, p);
        const __m128i out = _mm_or_si128(_mm_and_si128(match, cleared), _mm_andnot_si128(match, set));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), out);
    }
#endif
    KeyToAlpha32Portable(src + i, dst + i, count - i, rgbMask, key, alphaMask);
}

int HasVectorRows() {
#if defined(__SSE2__)
    return 1;
#else
    return 0;
#endif
}

}  // namespace convert_rows
