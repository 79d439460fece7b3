// The row loops of blend_rows.h: portable forms, and SSE2 forms that handle four pixels a step and leave the rest
// of a row to the portable loop.
#include "softrender/blend_rows.h"

#include <string.h>

#include "graphics/color/lookup_tables.h"
#include "softrender/blend_rules.h"

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
inline uint32_t Load2(const uint8_t* p) {
    uint16_t v;
    memcpy(&v, p, 2);
    return v;
}
inline void Store2(uint8_t* p, uint32_t v) {
    const uint16_t w = static_cast<uint16_t>(v);
    memcpy(p, &w, 2);
}

#if defined(__SSE2__)
inline __m128i LoadV(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void StoreV(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// The carry-mask formulas on four pixels at once; lanes are independent 32-bit words.
inline __m128i CarrySubV(__m128i d, __m128i s, __m128i sourceMask) {
    const __m128i t = _mm_sub_epi32(_mm_or_si128(d, _mm_set1_epi32(0x01010100)), _mm_and_si128(s, sourceMask));
    const __m128i k = _mm_and_si128(t, _mm_set1_epi32(0x01010100));
    return _mm_and_si128(_mm_sub_epi32(k, _mm_srli_epi32(k, 8)), t);
}

// The carry (add) or borrow (subtract) out of bit 31 of each lane, as 0 or 1 in bit 0.
inline __m128i CarryOut(__m128i x, __m128i y, __m128i sum) {
    return _mm_srli_epi32(_mm_or_si128(_mm_and_si128(x, y), _mm_andnot_si128(sum, _mm_or_si128(x, y))), 31);
}
inline __m128i BorrowOut(__m128i x, __m128i y, __m128i difference) {
    const __m128i notX = _mm_xor_si128(x, _mm_set1_epi32(-1));
    return _mm_srli_epi32(_mm_or_si128(_mm_and_si128(notX, y), _mm_and_si128(difference, _mm_or_si128(notX, y))), 31);
}

// trunc((a x k + b x (63 - k)) / 63) per 16-bit lane; a and b up to 63, so the sum is at most 3969, where
// (x x 2081) >> 17 equals x / 63 exactly.
inline __m128i Lerp63V(__m128i a, __m128i b, __m128i k, __m128i rest) {
    const __m128i x = _mm_add_epi16(_mm_mullo_epi16(a, k), _mm_mullo_epi16(b, rest));
    return _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(2081)), 1);
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

void KeyCopy32Portable(uint8_t* d, const uint8_t* s, int count, uint32_t key) {
    for (int i = 0; i < count; ++i, d += 4, s += 4) {
        const uint32_t v = Load(s);
        if (v != key) Store(d, v);
    }
}

void KeyCopy32Fast(uint8_t* d, const uint8_t* s, int count, uint32_t key) {
    int i = 0;
#if defined(__SSE2__)
    if (g_vectorOn) {
        // Keyed pixels are written back with the destination's own value: the result is the same bytes.
        const __m128i k = _mm_set1_epi32(static_cast<int>(key));
        for (; i + 4 <= count; i += 4, d += 16, s += 16) {
            const __m128i sv = LoadV(s);
            const __m128i keyed = _mm_cmpeq_epi32(sv, k);
            if (_mm_movemask_epi8(keyed) == 0xFFFF) continue;
            StoreV(d, _mm_or_si128(_mm_and_si128(keyed, LoadV(d)), _mm_andnot_si128(keyed, sv)));
        }
    }
#endif
    KeyCopy32Portable(d, s, count - i, key);
}

void KeyCopy16Portable(uint8_t* d, const uint8_t* s, int count, uint32_t key) {
    for (int i = 0; i < count; ++i, d += 2, s += 2) {
        const uint32_t v = Load2(s);
        if (v != key) Store2(d, v);
    }
}

void KeyCopy16Fast(uint8_t* d, const uint8_t* s, int count, uint32_t key) {
    int i = 0;
#if defined(__SSE2__)
    if (g_vectorOn) {
        const __m128i k = _mm_set1_epi16(static_cast<short>(key));
        for (; i + 8 <= count; i += 8, d += 16, s += 16) {
            const __m128i sv = LoadV(s);
            const __m128i keyed = _mm_cmpeq_epi16(sv, k);
            if (_mm_movemask_epi8(keyed) == 0xFFFF) continue;
            StoreV(d, _mm_or_si128(_mm_and_si128(keyed, LoadV(d)), _mm_andnot_si128(keyed, sv)));
        }
    }
#endif
    KeyCopy16Portable(d, s, count - i, key);
}

void Lerp16Portable(uint8_t* d, const uint8_t* s, int count, uint32_t p) {
    const uint8_t* t = &Lerp6Table[p >> 2][0][0];
    for (int i = 0; i < count; ++i, d += 2, s += 2) {
        const uint32_t sv = Load2(s), dv = Load2(d);
        Store2(d, soft::Word565(t[(sv >> 11) * 64 + (dv >> 11)], t[((sv >> 5) & 63) * 64 + ((dv >> 5) & 63)],
                                t[(sv & 31) * 64 + (dv & 31)]));
    }
}

void Lerp16Fast(uint8_t* d, const uint8_t* s, int count, uint32_t p) {
    int i = 0;
#if defined(__SSE2__)
    if (g_vectorOn) {
        const __m128i k = _mm_set1_epi16(static_cast<short>(p >> 2));
        const __m128i rest = _mm_set1_epi16(static_cast<short>(63 - (p >> 2)));
        const __m128i five = _mm_set1_epi16(31), six = _mm_set1_epi16(63);
        for (; i + 8 <= count; i += 8, d += 16, s += 16) {
            const __m128i sv = LoadV(s), dv = LoadV(d);
            const __m128i r = Lerp63V(_mm_srli_epi16(sv, 11), _mm_srli_epi16(dv, 11), k, rest);
            const __m128i g = Lerp63V(_mm_and_si128(_mm_srli_epi16(sv, 5), six),
                                      _mm_and_si128(_mm_srli_epi16(dv, 5), six), k, rest);
            const __m128i b = Lerp63V(_mm_and_si128(sv, five), _mm_and_si128(dv, five), k, rest);
            StoreV(d, _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, 11), _mm_slli_epi16(g, 5)), b));
        }
    }
#endif
    Lerp16Portable(d, s, count - i, p);
}

void Average16Portable(uint8_t* d, const uint8_t* s, int count) {
    for (int i = 0; i < count; ++i, d += 2, s += 2) Store2(d, ((Load2(s) >> 1) & 0x7BEFu) + ((Load2(d) >> 1) & 0x7BEFu));
}

void Average16Fast(uint8_t* d, const uint8_t* s, int count) {
    int i = 0;
#if defined(__SSE2__)
    if (g_vectorOn) {
        const __m128i m = _mm_set1_epi16(0x7BEF);
        for (; i + 8 <= count; i += 8, d += 16, s += 16) {
            StoreV(d, _mm_add_epi16(_mm_and_si128(_mm_srli_epi16(LoadV(s), 1), m),
                                    _mm_and_si128(_mm_srli_epi16(LoadV(d), 1), m)));
        }
    }
#endif
    Average16Portable(d, s, count - i);
}

void AddPairs16Portable(uint8_t* d, const uint8_t* s, int count) {
    int i = 0;
    for (; i + 2 <= count; i += 2, d += 4, s += 4) Store(d, soft::CarryAdd16Pair(Load(d), Load(s)));
    if (i < count) Store2(d, soft::CarryAdd16Lone(Load2(d), Load2(s)));
}

void AddPairs16Fast(uint8_t* d, const uint8_t* s, int count) {
    int i = 0;
#if defined(__SSE2__)
    if (g_vectorOn) {
        // Four pairs a step; each 32-bit lane is one pair, so the carries between its two pixels stay as they are.
        const __m128i m = _mm_set1_epi32(static_cast<int>(0xF7DEF7DFu)), c = _mm_set1_epi32(0x08210820);
        for (; i + 8 <= count; i += 8, d += 16, s += 16) {
            const __m128i x = _mm_and_si128(LoadV(d), m), y = _mm_and_si128(LoadV(s), m);
            const __m128i t = _mm_add_epi32(x, y);
            const __m128i e = _mm_slli_epi32(CarryOut(x, y, t), 27);
            const __m128i k = _mm_and_si128(t, c);
            StoreV(d, _mm_or_si128(_mm_sub_epi32(k, _mm_or_si128(_mm_srli_epi32(k, 5), e)), t));
        }
    }
#endif
    AddPairs16Portable(d, s, count - i);
}

void SubPairs16Portable(uint8_t* d, const uint8_t* s, int count) {
    int i = 0;
    for (; i + 2 <= count; i += 2, d += 4, s += 4) Store(d, soft::CarrySub16Pair(Load(d), Load(s)));
    if (i < count) Store2(d, soft::CarrySub16(Load2(d), Load2(s)));
}

void SubPairs16Fast(uint8_t* d, const uint8_t* s, int count) {
    int i = 0;
#if defined(__SSE2__)
    if (g_vectorOn) {
        const __m128i m = _mm_set1_epi32(static_cast<int>(0xF7DEF7DFu)), c = _mm_set1_epi32(0x08210820);
        for (; i + 8 <= count; i += 8, d += 16, s += 16) {
            const __m128i x = _mm_or_si128(LoadV(d), c), y = _mm_and_si128(LoadV(s), m);
            const __m128i t = _mm_sub_epi32(x, y);
            // No borrow out of the pair: the second pixel's red keeps its upper bits.
            const __m128i noBorrow = _mm_sub_epi32(BorrowOut(x, y, t), _mm_set1_epi32(1));
            const __m128i e = _mm_and_si128(noBorrow, _mm_set1_epi32(static_cast<int>(0xF8000000u)));
            const __m128i k = _mm_and_si128(t, c);
            StoreV(d, _mm_and_si128(t, _mm_or_si128(_mm_sub_epi32(k, _mm_srli_epi32(k, 5)), e)));
        }
    }
#endif
    SubPairs16Portable(d, s, count - i);
}

}  // namespace soft_rows
