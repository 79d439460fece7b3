// Row loops of the common conversions: portable forms that define the results, and SSE2 and SSSE3 forms that must
// give the same bits (the vector loops handle whole groups, the portable ones finish each row). The Fast entries
// pick a form by what the processor reports, so the build flags stay those of the oldest processor served.
#include "graphics/color/color_convert_rows.h"

#include <string.h>

#if defined(__SSE2__)
#include <cpuid.h>
#include <emmintrin.h>
#include <tmmintrin.h>
#endif

namespace convert_rows {

const uint8_t kOrderedMatrix[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

namespace {

// The path every Fast entry takes; -1 until the first call asks the processor.
int g_rowPath = -1;

inline int CurrentPath() {
    if (g_rowPath < 0) g_rowPath = MachineRowPath();
    return g_rowPath;
}

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

// Eight R5G6B5 words from eight (blue, green) byte pairs and eight words with red in the high byte. One
// multiply-add of the masked pairs by (1, 64) gives (blue & 0xF8) + ((green & 0xFC) << 6), which shifted right by 3
// holds blue and green in place; red's kept bits are already where they belong.
__attribute__((target("ssse3"))) inline __m128i Combine565Ssse3(__m128i blueGreen, __m128i redHigh) {
    const __m128i bg = _mm_maddubs_epi16(_mm_and_si128(blueGreen, _mm_set1_epi16(static_cast<short>(0xFCF8))),
                                         _mm_set1_epi16(0x4001));
    return _mm_or_si128(_mm_srli_epi16(bg, 3), _mm_and_si128(redHigh, _mm_set1_epi16(static_cast<short>(0xF800))));
}

// Eight 8:8:8 pixels (in two registers) sorted into the (blue, green) byte pairs and red-high words that
// Combine565Ssse3 takes.
__attribute__((target("ssse3"))) inline void Sort8888Ssse3(__m128i lo, __m128i hi, __m128i& blueGreen,
                                                           __m128i& redHigh) {
    // Blue and green bytes of four pixels in the low half, their red bytes as high bytes of words in the high half.
    const __m128i sort = _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, 2, -1, 6, -1, 10, -1, 14);
    const __m128i a = _mm_shuffle_epi8(lo, sort), b = _mm_shuffle_epi8(hi, sort);
    blueGreen = _mm_unpacklo_epi64(a, b);
    redHigh = _mm_unpackhi_epi64(a, b);
}

// Eight 8:8:8 pixels (in two registers) -> eight R5G6B5 words.
__attribute__((target("ssse3"))) inline __m128i Sort8888To565Ssse3(__m128i lo, __m128i hi) {
    __m128i blueGreen, redHigh;
    Sort8888Ssse3(lo, hi, blueGreen, redHigh);
    return Combine565Ssse3(blueGreen, redHigh);
}

// X8R8G8B8 -> R5G6B5, eight pixels at a time; with kDither the 16 bias bytes at each of blueGreenBias and redBias
// (matching the sorted bytes) are added with saturation first. Returns the pixels done.
template <bool kDither>
__attribute__((target("ssse3"))) int X888To565Ssse3(const uint32_t* src, uint16_t* dst, int count,
                                                    const uint8_t* blueGreenBias, const uint8_t* redBias) {
    __m128i blueGreenAdd = _mm_setzero_si128(), redAdd = _mm_setzero_si128();
    if (kDither) {
        blueGreenAdd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blueGreenBias));
        redAdd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(redBias));
    }
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        __m128i blueGreen, red;
        Sort8888Ssse3(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)),
                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 4)), blueGreen, red);
        if (kDither) {
            blueGreen = _mm_adds_epu8(blueGreen, blueGreenAdd);
            red = _mm_adds_epu8(red, redAdd);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), Combine565Ssse3(blueGreen, red));
    }
    return i;
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
    for (; CurrentPath() >= kRowPathSse2 && i + 8 <= count; i += 8) {
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
    const int path = CurrentPath();
    if (path >= kRowPathSsse3) {
        i = X888To565Ssse3<false>(src, dst, count, nullptr, nullptr);
    } else if (path >= kRowPathSse2) {
        for (; i + 8 <= count; i += 8) {
            const __m128i lo = X888To565Vec(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
            const __m128i hi = X888To565Vec(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 4)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), Pack32To16(lo, hi));
        }
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
    const int path = CurrentPath();
    if (count >= 8 && path >= kRowPathSse2) {
        // A channel narrowed by k bits gains a unit exactly when its dropped bits d exceed the threshold t, that is
        // when adding (2^k - 1 - t) carries into the kept bits. A saturating byte add does that for all three
        // channels at once, and saturation keeps full channels full. Four lanes span one matrix row, so one bias
        // per lane serves the whole row.
        const uint8_t* matrixRow = kOrderedMatrix + (row & 3) * 4;
        uint32_t bias[4];
        for (int lane = 0; lane < 4; ++lane) {
            const uint32_t m = matrixRow[(column + lane) & 3];
            const uint32_t b5 = 7 - ((m << 3) >> 4), b6 = 3 - ((m << 2) >> 4);
            bias[lane] = (b5 << 16) | (b6 << 8) | b5;
        }
        if (path >= kRowPathSsse3) {
            // The SSSE3 loop adds after sorting the bytes: blue and green bytes of eight pixels, then red bytes as
            // the high byte of eight words.
            uint8_t gb[16], r[16];
            for (int j = 0; j < 8; ++j) {
                gb[2 * j] = static_cast<uint8_t>(bias[j & 3]);
                gb[2 * j + 1] = static_cast<uint8_t>(bias[j & 3] >> 8);
                r[2 * j] = 0;
                r[2 * j + 1] = static_cast<uint8_t>(bias[j & 3] >> 16);
            }
            i = X888To565Ssse3<true>(src, dst, count, gb, r);
        } else {
            const __m128i biasVec = _mm_setr_epi32(static_cast<int>(bias[0]), static_cast<int>(bias[1]),
                                                   static_cast<int>(bias[2]), static_cast<int>(bias[3]));
            for (; i + 8 <= count; i += 8) {
                const __m128i lo =
                    _mm_adds_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), biasVec);
                const __m128i hi =
                    _mm_adds_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 4)), biasVec);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                                 Pack32To16(X888To565Vec(lo), X888To565Vec(hi)));
            }
        }
    }
#endif
    X888ToRgb565OrderedPortable(src + i, dst + i, count - i, column + i, row);
}

void X888ToRgb565CarryPortable(const uint32_t* src, uint16_t* dst, int count, uint32_t carry[3]) {
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

#if defined(__SSE2__)
namespace {

// Error carry over four pixels. Each channel's accumulator is a running sum of dropped bits kept modulo 2^k, and a
// pixel gains a unit where that sum passes a multiple of 2^k. So the sums are prefix sums, done bytewise (each byte
// is one channel; wrapping at 256 keeps the low bits right), and a pixel gains its unit where bit k of the sum
// changes as its own dropped bits come in. The unit goes in at the lowest kept bit with a saturating add, so a full
// channel stays full. `sum` holds the running sums in every lane, before the four pixels and after them.
inline __m128i CarryFour(__m128i p, __m128i& sum) {
    const __m128i dropped = _mm_and_si128(p, _mm_set1_epi32(0x00070307));
    __m128i prefix = _mm_add_epi8(dropped, _mm_slli_si128(dropped, 4));
    prefix = _mm_add_epi8(prefix, _mm_slli_si128(prefix, 8));
    const __m128i after = _mm_add_epi8(prefix, sum);
    const __m128i before = _mm_sub_epi8(after, dropped);
    const __m128i unit = _mm_and_si128(_mm_xor_si128(after, before), _mm_set1_epi32(0x00080408));
    sum = _mm_shuffle_epi32(after, 0xFF);
    return _mm_adds_epu8(_mm_and_si128(p, _mm_set1_epi32(0x00F8FCF8)), unit);
}

// Returns the pixels done (a multiple of 8) and leaves the accumulators in carry.
template <bool kSsse3>
inline int CarryRows(const uint32_t* src, uint16_t* dst, int count, uint32_t carry[3]) {
    __m128i sum = _mm_set1_epi32(static_cast<int>((carry[0] << 16) | (carry[1] << 8) | carry[2]));
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i lo = CarryFour(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), sum);
        const __m128i hi = CarryFour(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 4)), sum);
        __m128i out;
        if (kSsse3) {
            out = Sort8888To565Ssse3(lo, hi);
        } else {
            out = Pack32To16(X888To565Vec(lo), X888To565Vec(hi));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), out);
    }
    const uint32_t last = static_cast<uint32_t>(_mm_cvtsi128_si32(sum));
    carry[0] = (last >> 16) & 7;
    carry[1] = (last >> 8) & 3;
    carry[2] = last & 7;
    return i;
}

__attribute__((target("ssse3"))) int CarryRowsSsse3(const uint32_t* src, uint16_t* dst, int count,
                                                    uint32_t carry[3]) {
    return CarryRows<true>(src, dst, count, carry);
}

}  // namespace
#endif

void X888ToRgb565CarryFast(const uint32_t* src, uint16_t* dst, int count, uint32_t carry[3]) {
    int i = 0;
#if defined(__SSE2__)
    const int path = CurrentPath();
    if (path >= kRowPathSsse3) {
        i = CarryRowsSsse3(src, dst, count, carry);
    } else if (path >= kRowPathSse2) {
        i = CarryRows<false>(src, dst, count, carry);
    }
#endif
    X888ToRgb565CarryPortable(src + i, dst + i, count - i, carry);
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
    const int vectorPixels = CurrentPath() >= kRowPathSse2 ? VectorPixels(count) : 0;
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

#if defined(__SSE2__)
namespace {

// Returns the pixels done; the caller finishes the row.
int Rgb24To565Sse2(const uint8_t* src, uint16_t* dst, int count) {
    int i = 0;
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
    return i;
}

// Eight pixels (24 bytes) at a time, from two 16-byte loads at bytes 0 and 8 that between them hold pixels 0-3
// (bytes 0-11 of the first) and 4-7 (bytes 4-15 of the second): byte shuffles sort each into blue-green words
// and red-high words, and nothing past the eighth pixel is read.
__attribute__((target("ssse3"))) int Rgb24To565Ssse3(const uint8_t* src, uint16_t* dst, int count) {
    const __m128i first = _mm_setr_epi8(0, 1, 3, 4, 6, 7, 9, 10, -1, 2, -1, 5, -1, 8, -1, 11);
    const __m128i second = _mm_setr_epi8(4, 5, 7, 8, 10, 11, 13, 14, -1, 6, -1, 9, -1, 12, -1, 15);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const uint8_t* p = src + 3 * i;
        const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), first);
        const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)), second);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                         Combine565Ssse3(_mm_unpacklo_epi64(a, b), _mm_unpackhi_epi64(a, b)));
    }
    return i;
}

}  // namespace
#endif

void Rgb24To565Fast(const uint8_t* src, uint16_t* dst, int count) {
    int i = 0;
#if defined(__SSE2__)
    const int path = CurrentPath();
    if (path >= kRowPathSsse3) {
        i = Rgb24To565Ssse3(src, dst, count);
    } else if (path >= kRowPathSse2) {
        i = Rgb24To565Sse2(src, dst, count);
    }
#endif
    Rgb24To565Portable(src + 3 * i, dst + i, count - i);
}

void Rgb24To1555Row(const uint8_t* src, uint16_t* dst, int count, int keyed, uint32_t key555) {
    int i = 0;
#if defined(__SSE2__)
    const int vectorPixels = CurrentPath() >= kRowPathSse2 ? VectorPixels(count) & ~7 : 0;
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
    for (; CurrentPath() >= kRowPathSse2 && i + 8 <= count; i += 8) {
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
    for (; CurrentPath() >= kRowPathSse2 && i + 8 <= count; i += 8) {
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
    for (; CurrentPath() >= kRowPathSse2 && i + 4 <= count; i += 4) {
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

int MachineRowPath() {
#if defined(__SSE2__)
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(edx & bit_SSE2)) return kRowPathPortable;
    return (ecx & bit_SSSE3) ? kRowPathSsse3 : kRowPathSse2;
#else
    return kRowPathPortable;
#endif
}

int ActiveRowPath() { return CurrentPath(); }

void ForceRowPathForTests(int path) {
    const int machine = MachineRowPath();
    g_rowPath = path < kRowPathPortable ? kRowPathPortable : (path > machine ? machine : path);
}

int HasVectorRows() {
#if defined(__SSE2__)
    return 1;
#else
    return 0;
#endif
}

}  // namespace convert_rows
