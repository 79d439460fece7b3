// The row loops of blend_rows.h: portable forms, and SSE2 forms that handle four pixels a step and leave the rest
// of a row to the portable loop.
#include "softrender/blend_rows.h"

#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace soft_rows {

namespace {

int g_vectorOn = 1;

inline uint32_t Load(const uint8_t* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}
inline void Store(uint8_t* p, uint32_t v) { memcpy(p, &v, 4); }

#if defined(__SSE2__)
inline __m128i LoadV(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void StoreV(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// The carry-mask formulas on four pixels at once; lanes are independent 32-bit words.
inline __m128i CarrySubV(__m128i d, __m128i s, __m128i sourceMask) {
    const __m128i t = _mm_sub_epi32(_mm_or_si128(d, _mm_set1_epi32(0x01010100)), _mm_and_si128(s, sourceMask));
    const __m128i k = _mm_and_si128(t, _mm_set1_epi32(0x01010100));
    return _mm_and_si128(_mm_sub_epi32(k, _mm_srli_epi32(k, 8)), t);
}
#endif

}  // namespace

int VectorRowsOn() {
#if defined(__SSE2__)
    return g_vectorOn;
#else
    return 0;
#endif
}

void SetVectorRows(int on) { g_vectorOn = on != 0; }

void Alpha32Portable(uint8_t* d, const uint8_t* s, int count, uint32_t p) {
    for (int i = 0; i < count; ++i, d += 4, s += 4) {
        for (int ch = 0; ch < 3; ++ch) d[ch] = static_cast<uint8_t>((d[ch] * (256 - p) + s[ch] * p) >> 8);
    }
}

void Alpha32Fast(uint8_t* d, const uint8_t* s, int count, uint32_t p) {
    int i = 0;
#if defined(__SSE2__)
    if (g_vectorOn) {
        // d x (256 - p) + s x p stays below 65536, so 16-bit lanes hold it exactly.
        const __m128i zero = _mm_setzero_si128();
        const __m128i fp = _mm_set1_epi16(static_cast<short>(p));
        const __m128i fq = _mm_set1_epi16(static_cast<short>(256 - p));
        const __m128i keep3 = _mm_set1_epi32(static_cast<int>(0xFF000000u));
        for (; i + 4 <= count; i += 4, d += 16, s += 16) {
            const __m128i dv = LoadV(d), sv = LoadV(s);
            const __m128i lo = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(dv, zero), fq),
                                                            _mm_mullo_epi16(_mm_unpacklo_epi8(sv, zero), fp)),
                                              8);
            const __m128i hi = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(dv, zero), fq),
                                                            _mm_mullo_epi16(_mm_unpackhi_epi8(sv, zero), fp)),
                                              8);
            const __m128i mixed = _mm_packus_epi16(lo, hi);
            StoreV(d, _mm_or_si128(_mm_and_si128(dv, keep3), _mm_andnot_si128(keep3, mixed)));
        }
    }
#endif
    Alpha32Portable(d, s, count - i, p);
}

void Average32Portable(uint8_t* d, const uint8_t* s, int count) {
    for (int i = 0; i < count; ++i, d += 4, s += 4) Store(d, ((Load(s) >> 1) & 0x7F7F7Fu) + ((Load(d) >> 1) & 0x7F7F7Fu));
}

void Average32Fast(uint8_t* d, const uint8_t* s, int count) {
    int i = 0;
#if defined(__SSE2__)
    if (g_vectorOn) {
        const __m128i m = _mm_set1_epi32(0x7F7F7F);
        for (; i + 4 <= count; i += 4, d += 16, s += 16) {
            StoreV(d, _mm_add_epi32(_mm_and_si128(_mm_srli_epi32(LoadV(s), 1), m),
                                    _mm_and_si128(_mm_srli_epi32(LoadV(d), 1), m)));
        }
    }
#endif
    Average32Portable(d, s, count - i);
}

void AddSat32Portable(uint8_t* d, const uint8_t* s, int count) {
    for (int i = 0; i < count * 4; ++i) {
        const int v = d[i] + s[i];
        d[i] = static_cast<uint8_t>(v > 255 ? 255 : v);
    }
}

void AddSat32Fast(uint8_t* d, const uint8_t* s, int count) {
    int i = 0;
#if defined(__SSE2__)
    if (g_vectorOn) {
        for (; i + 4 <= count; i += 4, d += 16, s += 16) StoreV(d, _mm_adds_epu8(LoadV(d), LoadV(s)));
    }
#endif
    AddSat32Portable(d, s, count - i);
}

void SubSat32Portable(uint8_t* d, const uint8_t* s, int count) {
    for (int i = 0; i < count * 4; ++i) {
        const int v = d[i] - s[i];
        d[i] = static_cast<uint8_t>(v < 0 ? 0 : v);
    }
}

void SubSat32Fast(uint8_t* d, const uint8_t* s, int count) {
    int i = 0;
#if defined(__SSE2__)
    if (g_vectorOn) {
        for (; i + 4 <= count; i += 4, d += 16, s += 16) StoreV(d, _mm_subs_epu8(LoadV(d), LoadV(s)));
    }
#endif
    SubSat32Portable(d, s, count - i);
}

void AddReduced32Portable(uint8_t* d, const uint8_t* s, int count) {
    for (int i = 0; i < count; ++i, d += 4, s += 4) {
        const uint32_t t = (Load(d) & 0x00FEFEFFu) + (Load(s) & 0x00FEFEFFu);
        const uint32_t k = t & 0x01010100u;
        Store(d, (k - (k >> 8)) | t);
    }
}

void AddReduced32Fast(uint8_t* d, const uint8_t* s, int count) {
    int i = 0;
#if defined(__SSE2__)
    if (g_vectorOn) {
        const __m128i m = _mm_set1_epi32(0x00FEFEFF), c = _mm_set1_epi32(0x01010100);
        for (; i + 4 <= count; i += 4, d += 16, s += 16) {
            const __m128i t = _mm_add_epi32(_mm_and_si128(LoadV(d), m), _mm_and_si128(LoadV(s), m));
            const __m128i k = _mm_and_si128(t, c);
            StoreV(d, _mm_or_si128(_mm_sub_epi32(k, _mm_srli_epi32(k, 8)), t));
        }
    }
#endif
    AddReduced32Portable(d, s, count - i);
}

void SubReduced32Portable(uint8_t* d, const uint8_t* s, int count) {
    for (int i = 0; i < count; ++i, d += 4, s += 4) {
        const uint32_t t = (Load(d) | 0x01010100u) - (Load(s) & 0x00FEFEFFu);
        const uint32_t k = t & 0x01010100u;
        Store(d, (k - (k >> 8)) & t);
    }
}

void SubReduced32Fast(uint8_t* d, const uint8_t* s, int count) {
    int i = 0;
#if defined(__SSE2__)
    if (g_vectorOn) {
        for (; i + 4 <= count; i += 4, d += 16, s += 16) {
            StoreV(d, CarrySubV(LoadV(d), LoadV(s), _mm_set1_epi32(0x00FEFEFF)));
        }
    }
#endif
    SubReduced32Portable(d, s, count - i);
}

}  // namespace soft_rows
