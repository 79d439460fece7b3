// ColorFormatConvertBlt: palette index copies, same-layout copies, key-to-alpha over one layout, the common pairs
// with their own fixed rules, and the general per-channel conversion with ordered or error-carry dithering.
#include "graphics/color/color_convert.h"

#include <string.h>

#include "graphics/color/color_convert_rows.h"
#include "runtime/log.h"

namespace {

constexpr uint32_t kEntryRed = 0x00FF0000u, kEntryGreen = 0x0000FF00u, kEntryBlue = 0x000000FFu;

using convert_rows::kOrderedMatrix;

bool HasMasks(const ColorFormat& f, int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    return f.bitDepth == depth && f.redMask == r && f.greenMask == g && f.blueMask == b && f.alphaMask == a;
}
bool IsR5G6B5(const ColorFormat& f) { return HasMasks(f, 16, 0xF800, 0x07E0, 0x001F, 0); }
bool IsX1R5G5B5(const ColorFormat& f) { return HasMasks(f, 16, 0x7C00, 0x03E0, 0x001F, 0); }
bool IsA1R5G5B5(const ColorFormat& f) { return HasMasks(f, 16, 0x7C00, 0x03E0, 0x001F, 0x8000); }
bool IsX8R8G8B8(const ColorFormat& f) { return HasMasks(f, 32, kEntryRed, kEntryGreen, kEntryBlue, 0); }
bool IsA8R8G8B8(const ColorFormat& f) { return HasMasks(f, 32, kEntryRed, kEntryGreen, kEntryBlue, 0xFF000000u); }
bool IsRgb24(const ColorFormat& f) { return HasMasks(f, 24, kEntryRed, kEntryGreen, kEntryBlue, 0); }
bool Is888In32(const ColorFormat& f) {
    return f.bitDepth == 32 && f.redMask == kEntryRed && f.greenMask == kEntryGreen && f.blueMask == kEntryBlue;
}

inline uint32_t ReadPixel(const uint8_t* p, int bytes) {
    switch (bytes) {
    case 1:
        return p[0];
    case 2: {
        uint16_t v;
        memcpy(&v, p, 2);
        return v;
    }
    case 3:
        return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
    default: {
        uint32_t v;
        memcpy(&v, p, 4);
        return v;
    }
    }
}

inline void WritePixel(uint8_t* p, int bytes, uint32_t v) {
    switch (bytes) {
    case 1:
        p[0] = static_cast<uint8_t>(v);
        break;
    case 2: {
        const uint16_t w = static_cast<uint16_t>(v);
        memcpy(p, &w, 2);
        break;
    }
    case 3:
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
        p[2] = static_cast<uint8_t>(v >> 16);
        break;
    default:
        memcpy(p, &v, 4);
        break;
    }
}

inline uint32_t EntryValue(const ColorFormat& f, uint32_t index) {
    uint32_t v;
    memcpy(&v, &f.palette[index & 0xFF], 4);
    return v;
}

uint32_t BytesMask(int bytes) {
    return bytes >= 4 ? 0xFFFFFFFFu : ((1u << (bytes * 8)) - 1u);
}

// How one destination channel is made from one source field.
struct Channel {
    uint32_t srcMask = 0;
    int srcShift = 0;
    int srcWidth = 0;
    int dstShift = 0;
    int dstWidth = 0;
    uint32_t dstMax = 0;
    int drop = 0;           // source bits dropped when narrowing
    uint32_t dropMask = 0;
    int widen = 0;          // bits gained when widening
    const uint32_t* table = nullptr;  // converted values of every field, for source widths up to 8
    uint32_t thresholds[16] = {};     // ordered dither: (M x 2^drop) >> 4 for each matrix value M

    void Set(uint32_t mask, int shift, int width, int toShift, int toWidth) {
        srcMask = mask;
        srcShift = shift;
        srcWidth = width;
        dstShift = toShift;
        dstWidth = toWidth;
        dstMax = toWidth >= 32 ? 0xFFFFFFFFu : ((1u << toWidth) - 1u);
        if (width == 0 || toWidth == 0) {
            drop = widen = 0;
            dropMask = 0;
            return;
        }
        drop = width > toWidth ? width - toWidth : 0;
        dropMask = drop >= 32 ? 0xFFFFFFFFu : ((1u << drop) - 1u);
        widen = toWidth > width ? toWidth - width : 0;
        for (uint32_t m = 0; m < 16; ++m) {
            thresholds[m] = drop >= 32 ? 0xFFFFFFFFu : static_cast<uint32_t>((static_cast<uint64_t>(m) << drop) >> 4);
        }
    }
    uint32_t Field(uint32_t value) const { return (value & srcMask) >> srcShift; }
    // The field brought to the destination width: narrowing drops low bits, widening repeats the value's bits so
    // that the source maximum becomes the destination maximum.
    uint32_t Convert(uint32_t v) const {
        if (table != nullptr) return table[v];
        if (srcWidth == 0 || dstWidth == 0) return 0;
        if (widen > 0) {
            const uint64_t den = (srcWidth >= 32 ? 0x100000000ull : (1ull << srcWidth)) - 1;
            const uint64_t num = (1ull << widen) - 1;
            return static_cast<uint32_t>((static_cast<uint64_t>(v) << widen) + static_cast<uint64_t>(v) * num / den);
        }
        return drop >= 32 ? 0 : v >> drop;
    }
};

// Channels of up to 8 source bits convert through a table of every field value.
void BuildChannelTable(Channel& c, uint32_t* table) {
    c.table = nullptr;
    if (c.srcWidth == 0 || c.srcWidth > 8 || c.dstWidth == 0) return;
    const uint32_t n = 1u << c.srcWidth;
    for (uint32_t v = 0; v < n; ++v) table[v] = c.Convert(v);
    c.table = table;
}

struct Options {
    int mirror, keyToAlpha, dither, zeroColor, alphaFromRed, skipKey;
    uint32_t colorKey;
};

enum class AlphaSource { kZero, kFull, kSource, kImage, kRed };

struct GeneralPlan {
    Channel red, green, blue, alpha;
    AlphaSource alphaSource = AlphaSource::kZero;
    bool sourceIsPalette = false;
    bool alphaIsPalette = false;
    bool ditherOn = false;
    uint32_t dstAlphaMask = 0, dstNoneMask = 0, dstRgbMask = 0;
    uint32_t keyRgb = 0;  // key-to-alpha: the key's red, green and blue bits in the destination layout
    uint32_t skipValue = 0, skipMask = 0;
};

// One channel's dither step: a unit more when the dropped bits exceed the ordered threshold, or when the carried
// remainder overflows; saturating at the channel maximum. Branch-free, as the outcome follows the picture's noise.
inline uint32_t DitherChannel(const Channel& ch, uint32_t sourceField, uint32_t converted, uint32_t matrixValue,
                              bool ordered, uint32_t& carry) {
    if (ch.drop <= 0) return converted;
    const uint32_t dropped = sourceField & ch.dropMask;
    uint32_t up;
    if (ordered) {
        up = ch.thresholds[matrixValue] < dropped ? 1u : 0u;
    } else {
        carry += dropped;
        up = carry > ch.dropMask ? 1u : 0u;
        carry &= ch.dropMask;  // a sum that did not overflow is already within the mask
    }
    const uint32_t v = converted + up;
    return v > ch.dstMax ? ch.dstMax : v;
}

// The per-pixel conversion. Everything the loop reads is copied into locals first: the destination is written
// through byte pointers, which would otherwise make the compiler reload the plan for every pixel.
template <int SB, int DB, bool Dither>
void GeneralLoop(uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch, const uint8_t* alphaRow0,
                 int alphaPitch, int alphaBytes, const ColorFormat& srcFormat, const ColorFormat& alphaFormat,
                 int width, int height, const GeneralPlan& plan, const Options& opt) {
    const Channel red = plan.red, green = plan.green, blue = plan.blue, alpha = plan.alpha;
    const AlphaSource alphaSource = plan.alphaSource;
    const bool sourceIsPalette = plan.sourceIsPalette, alphaIsPalette = plan.alphaIsPalette;
    const bool alphaFromData = alphaSource != AlphaSource::kZero && alphaSource != AlphaSource::kFull;
    const bool ordered = opt.dither == kDitherOrdered;
    const bool skipKey = opt.skipKey != 0, zeroColor = opt.zeroColor != 0, keyToAlpha = opt.keyToAlpha != 0;
    const bool mirror = opt.mirror != 0;
    const uint32_t skipMask = plan.skipMask, skipValue = plan.skipValue, keyRgb = plan.keyRgb;
    const uint32_t rgbMask = plan.dstRgbMask, alphaMask = plan.dstAlphaMask;
    const uint32_t noneMask = (DB == 2 || DB == 4) ? plan.dstNoneMask : 0;
    const uint32_t fullAlpha = alphaSource == AlphaSource::kFull ? alpha.dstMax : 0;
    uint32_t carryR = 0, carryG = 0, carryB = 0, carryA = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = src + static_cast<ptrdiff_t>(y) * srcPitch;
        const uint8_t* a = alphaRow0 != nullptr ? alphaRow0 + static_cast<ptrdiff_t>(y) * alphaPitch : nullptr;
        uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstPitch;
        const uint8_t* matrixRow = kOrderedMatrix + (y & 3) * 4;
        for (int x = 0; x < width; ++x) {
            const uint32_t raw = ReadPixel(s + x * SB, SB);
            if (skipKey && (raw & skipMask) == skipValue) continue;
            const uint32_t value = sourceIsPalette ? EntryValue(srcFormat, raw) : raw;
            const uint32_t fr = red.Field(value), fg = green.Field(value), fb = blue.Field(value);
            uint32_t fa = 0;
            if (alphaSource == AlphaSource::kImage) {
                uint32_t av = ReadPixel(a + x * alphaBytes, alphaBytes);
                if (alphaIsPalette) av = EntryValue(alphaFormat, av);
                fa = alpha.Field(av);
            } else if (alphaFromData) {
                fa = alpha.Field(value);
            }
            uint32_t r = red.Convert(fr), g = green.Convert(fg), b = blue.Convert(fb);
            uint32_t av = alphaFromData ? alpha.Convert(fa) : fullAlpha;
            if (Dither) {
                const uint32_t m = matrixRow[x & 3];
                r = DitherChannel(red, fr, r, m, ordered, carryR);
                g = DitherChannel(green, fg, g, m, ordered, carryG);
                b = DitherChannel(blue, fb, b, m, ordered, carryB);
                if (alphaFromData) av = DitherChannel(alpha, fa, av, m, ordered, carryA);
            }
            if (zeroColor) r = g = b = 0;
            uint32_t out = ((r << red.dstShift) | (g << green.dstShift) | (b << blue.dstShift)) & rgbMask;
            uint32_t alphaBits = alpha.dstWidth > 0 ? ((av << alpha.dstShift) & alphaMask) : 0;
            if (keyToAlpha) alphaBits = out == keyRgb ? 0 : alphaMask;
            out |= alphaBits | noneMask;
            const int dx = mirror ? width - 1 - x : x;
            WritePixel(d + dx * DB, DB, out);
        }
    }
}

template <int SB, int DB>
void GeneralLoop(uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch, const uint8_t* alphaRow0,
                 int alphaPitch, int alphaBytes, const ColorFormat& srcFormat, const ColorFormat& alphaFormat,
                 int width, int height, const GeneralPlan& plan, const Options& opt) {
    if (plan.ditherOn) {
        GeneralLoop<SB, DB, true>(dst, dstPitch, src, srcPitch, alphaRow0, alphaPitch, alphaBytes, srcFormat,
                                  alphaFormat, width, height, plan, opt);
    } else {
        GeneralLoop<SB, DB, false>(dst, dstPitch, src, srcPitch, alphaRow0, alphaPitch, alphaBytes, srcFormat,
                                   alphaFormat, width, height, plan, opt);
    }
}

template <int SB>
void GeneralDispatchDst(int db, uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch,
                        const uint8_t* alphaRow0, int alphaPitch, int alphaBytes, const ColorFormat& s,
                        const ColorFormat& a, int w, int h, const GeneralPlan& plan, const Options& opt) {
    switch (db) {
    case 1:
        GeneralLoop<SB, 1>(dst, dstPitch, src, srcPitch, alphaRow0, alphaPitch, alphaBytes, s, a, w, h, plan, opt);
        break;
    case 2:
        GeneralLoop<SB, 2>(dst, dstPitch, src, srcPitch, alphaRow0, alphaPitch, alphaBytes, s, a, w, h, plan, opt);
        break;
    case 3:
        GeneralLoop<SB, 3>(dst, dstPitch, src, srcPitch, alphaRow0, alphaPitch, alphaBytes, s, a, w, h, plan, opt);
        break;
    default:
        GeneralLoop<SB, 4>(dst, dstPitch, src, srcPitch, alphaRow0, alphaPitch, alphaBytes, s, a, w, h, plan, opt);
        break;
    }
}

// Row pointers of a rectangle.
struct Rows {
    const uint8_t* src;
    uint8_t* dst;
    int srcPitch, dstPitch;
    const uint8_t* SrcRow(int y) const { return src + static_cast<ptrdiff_t>(y) * srcPitch; }
    uint8_t* DstRow(int y) const { return dst + static_cast<ptrdiff_t>(y) * dstPitch; }
};

int CopySameLayout(const Rows& r, int bytes, int width, int height, const Options& opt) {
    const int rowBytes = width * bytes;
    if (opt.mirror) {
        for (int y = 0; y < height; ++y) {
            const uint8_t* s = r.SrcRow(y);
            uint8_t* d = r.DstRow(y) + rowBytes - bytes;
            for (int x = 0; x < width; ++x, s += bytes, d -= bytes) memcpy(d, s, bytes);
        }
    } else if (opt.skipKey) {
        const uint32_t key = opt.colorKey & BytesMask(bytes);
        for (int y = 0; y < height; ++y) {
            const uint8_t* s = r.SrcRow(y);
            uint8_t* d = r.DstRow(y);
            for (int x = 0; x < width; ++x) {
                if (ReadPixel(s + x * bytes, bytes) != key) memcpy(d + x * bytes, s + x * bytes, bytes);
            }
        }
    } else {
        for (int y = 0; y < height; ++y) memmove(r.DstRow(y), r.SrcRow(y), rowBytes);
    }
    return 0;
}

int CopyPaletteIndices(const Rows& r, int width, int height) {
    uint8_t largest = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = r.SrcRow(y);
        uint8_t* d = r.DstRow(y);
        memmove(d, s, width);
        for (int x = 0; x < width; ++x) {
            if (s[x] > largest) largest = s[x];
        }
    }
    return largest;
}

// Key to alpha where source and destination share their colour bits: only the alpha bits change.
int KeyToAlphaSameLayout(const Rows& r, const ColorFormat& d, int width, int height, const Options& opt) {
    const uint32_t rgbMask = d.redMask | d.greenMask | d.blueMask;
    const uint32_t key = RgbaToFormatValue(&d, (opt.colorKey >> 16) & 0xFF, (opt.colorKey >> 8) & 0xFF,
                                           opt.colorKey & 0xFF, 255);
    const int bytes = d.bytesPerPixel;
    if (bytes == 4 && !opt.mirror) {
        for (int y = 0; y < height; ++y) {
            convert_rows::KeyToAlpha32Fast(reinterpret_cast<const uint32_t*>(r.SrcRow(y)),
                                           reinterpret_cast<uint32_t*>(r.DstRow(y)), width, rgbMask, key,
                                           d.alphaMask);
        }
        return 0;
    }
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = r.SrcRow(y);
        uint8_t* dst = r.DstRow(y);
        for (int x = 0; x < width; ++x) {
            uint32_t p = ReadPixel(s + x * bytes, bytes);
            if (bytes == 4) p |= ~rgbMask;
            // Only the colour bits decide; filler bits of a 16-bit source must not hide a key-coloured pixel.
            p = (p & rgbMask) == (key & rgbMask) ? (p & ~d.alphaMask) : (p | d.alphaMask);
            const int dx = opt.mirror ? width - 1 - x : x;
            WritePixel(dst + dx * bytes, bytes, p);
        }
    }
    return 0;
}

template <typename SrcT, typename DstT, typename F>
void MapRows(const Rows& r, int width, int height, F f) {
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = r.SrcRow(y);
        uint8_t* d = r.DstRow(y);
        for (int x = 0; x < width; ++x) {
            SrcT v;
            memcpy(&v, s + x * sizeof(SrcT), sizeof(SrcT));
            const DstT out = f(v);
            memcpy(d + x * sizeof(DstT), &out, sizeof(DstT));
        }
    }
}

// A row loop of the common conversions run over every row of the rectangle.
template <typename SrcT, typename DstT>
void EachRow(const Rows& r, int width, int height, void (*rowLoop)(const SrcT*, DstT*, int)) {
    for (int y = 0; y < height; ++y) {
        rowLoop(reinterpret_cast<const SrcT*>(r.SrcRow(y)), reinterpret_cast<DstT*>(r.DstRow(y)), width);
    }
}

inline uint16_t Pack555(uint32_t c) {
    return static_cast<uint16_t>(((c >> 9) & 0x7C00) | ((c >> 6) & 0x03E0) | ((c >> 3) & 0x001F));
}

// The common pairs, each with its own fixed rule. Returns false when the pair is not one of them.
bool TryFixedRule(const Rows& r, const ColorFormat& d, const ColorFormat& s, int width, int height,
                  const Options& opt) {
    const uint32_t keyRgb = opt.colorKey & 0x00FFFFFFu;
    if (s.bitDepth == 8) {
        // Palette sources: the rule per entry is made once, then each pixel is a lookup.
        uint32_t lut[256];
        int outBytes;
        if (!opt.keyToAlpha && IsR5G6B5(d)) {
            for (int i = 0; i < 256; ++i) {
                const uint32_t c = EntryValue(s, i);
                lut[i] = ((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x001F);
            }
            outBytes = 2;
        } else if (!opt.keyToAlpha && IsX1R5G5B5(d)) {
            for (int i = 0; i < 256; ++i) lut[i] = Pack555(EntryValue(s, i)) | 0x8000u;
            outBytes = 2;
        } else if (!opt.keyToAlpha && IsX8R8G8B8(d)) {
            for (int i = 0; i < 256; ++i) lut[i] = EntryValue(s, i) | 0xFF000000u;
            outBytes = 4;
        } else if (opt.keyToAlpha && IsA1R5G5B5(d)) {
            for (int i = 0; i < 256; ++i) {
                const uint32_t c = EntryValue(s, i);
                lut[i] = Pack555(c) | ((c & 0x00FFFFFFu) != keyRgb ? 0x8000u : 0u);
            }
            outBytes = 2;
        } else if (opt.keyToAlpha && IsA8R8G8B8(d)) {
            for (int i = 0; i < 256; ++i) {
                const uint32_t c = EntryValue(s, i) & 0x00FFFFFFu;
                lut[i] = c | (c != keyRgb ? 0xFF000000u : 0u);
            }
            outBytes = 4;
        } else {
            return false;
        }
        for (int y = 0; y < height; ++y) {
            const uint8_t* sp = r.SrcRow(y);
            uint8_t* dp = r.DstRow(y);
            if (outBytes == 2) {
                for (int x = 0; x < width; ++x) {
                    const uint16_t v = static_cast<uint16_t>(lut[sp[x]]);
                    memcpy(dp + 2 * x, &v, 2);
                }
            } else {
                for (int x = 0; x < width; ++x) memcpy(dp + 4 * x, &lut[sp[x]], 4);
            }
        }
        return true;
    }
    if (IsRgb24(s)) {
        const int keyed = opt.keyToAlpha;
        if (!keyed && IsR5G6B5(d)) {
            EachRow(r, width, height, convert_rows::Rgb24To565Fast);
            return true;
        }
        if (IsX1R5G5B5(d) || (keyed && IsA1R5G5B5(d))) {
            const uint32_t key555 = Pack555(keyRgb);
            for (int y = 0; y < height; ++y) {
                convert_rows::Rgb24To1555Row(r.SrcRow(y), reinterpret_cast<uint16_t*>(r.DstRow(y)), width, keyed,
                                             key555);
            }
            return true;
        }
        if ((!keyed && Is888In32(d)) || (keyed && IsA8R8G8B8(d))) {
            for (int y = 0; y < height; ++y) {
                convert_rows::Rgb24To8888Row(r.SrcRow(y), reinterpret_cast<uint32_t*>(r.DstRow(y)), width, keyed,
                                             keyRgb);
            }
            return true;
        }
        return false;
    }
    if (opt.keyToAlpha) {
        if (IsR5G6B5(s) && IsA1R5G5B5(d)) {
            const uint32_t key555 = Pack555(keyRgb);
            MapRows<uint16_t, uint16_t>(r, width, height, [key555](uint16_t p) {
                const uint32_t v = ((p & 0xFFC0u) >> 1) | (p & 0x1Fu);
                return static_cast<uint16_t>(v | (v != key555 ? 0x8000u : 0u));
            });
            return true;
        }
        return false;
    }
    // Pairs that write no alpha.
    if (IsX8R8G8B8(s) && IsR5G6B5(d)) {
        EachRow(r, width, height, convert_rows::X888ToRgb565Fast);
        return true;
    }
    if (IsR5G6B5(s)) {
        if (IsRgb24(d)) {
            for (int y = 0; y < height; ++y) {
                const uint8_t* sp = r.SrcRow(y);
                uint8_t* dp = r.DstRow(y);
                for (int x = 0; x < width; ++x, dp += 3) {
                    uint16_t p;
                    memcpy(&p, sp + 2 * x, 2);
                    dp[0] = static_cast<uint8_t>((p & 0x1F) << 3);
                    dp[1] = static_cast<uint8_t>((p & 0x7E0) >> 3);
                    dp[2] = static_cast<uint8_t>((p & 0xF800) >> 8);
                }
            }
            return true;
        }
        if (IsX8R8G8B8(d)) {
            EachRow(r, width, height, convert_rows::Rgb565ToX888Fast);
            return true;
        }
        if (IsX1R5G5B5(d)) {
            EachRow(r, width, height, convert_rows::Rgb565To555Fast);
            return true;
        }
        return false;
    }
    if (IsX1R5G5B5(s) && IsR5G6B5(d)) {
        EachRow(r, width, height, convert_rows::Rgb555To565Fast);
        return true;
    }
    return false;
}

bool UsableFormat(const ColorFormat& f) {
    return f.bytesPerPixel >= 1 && f.bytesPerPixel <= 4 && f.bitDepth == f.bytesPerPixel * 8;
}

}  // namespace

int ColorFormatConvertBlt(void* dstPixels, int dstPitch, const ColorFormat* dstFormat, const void* srcPixels,
                          int srcPitch, const ColorFormat* srcFormat, const void* alphaPixels, int alphaPitch,
                          const ColorFormat* alphaFormat, int dstX, int dstY, const RECT* srcRect, int mirror,
                          int keyToAlpha, uint32_t colorKey, int dither, int zeroColor, int alphaFromRed,
                          int skipKey) {
    if (dstPixels == nullptr || dstFormat == nullptr || srcPixels == nullptr || srcFormat == nullptr ||
        srcRect == nullptr) {
        return WriteLog("色変換転送の引数が不正です\n");
    }
    // Work on copies: callers may pass the same record twice, and an absent alpha format reads as all zero.
    const ColorFormat d = *dstFormat;
    const ColorFormat s = *srcFormat;
    ColorFormat a = {};
    const bool haveAlphaImage = alphaPixels != nullptr && alphaFormat != nullptr;
    if (haveAlphaImage) a = *alphaFormat;
    if (!UsableFormat(d) || !UsableFormat(s) || (haveAlphaImage && !UsableFormat(a))) {
        return WriteLog("色変換転送のピクセルフォーマットが不正です\n");
    }

    const bool writesAlpha = d.alphaMask != 0 && (haveAlphaImage || s.alphaMask != 0);
    const bool alphaFromImage = d.alphaMask != 0 && haveAlphaImage && s.alphaMask == 0;
    Options opt = {mirror != 0, keyToAlpha != 0, dither, zeroColor != 0, alphaFromRed != 0, skipKey != 0, colorKey};
    if (writesAlpha || d.alphaMask == 0 || opt.alphaFromRed) opt.keyToAlpha = 0;
    if (writesAlpha || opt.mirror) opt.skipKey = 0;
    if (opt.dither != kDitherOrdered && opt.dither != kDitherErrorCarry) opt.dither = kDitherNone;

    const int width = srcRect->right - srcRect->left;
    const int height = srcRect->bottom - srcRect->top;
    if (width <= 0 || height <= 0) return -1;
    if (srcRect->left < 0 || srcRect->top < 0 || dstX < 0 || dstY < 0) {
        return WriteLog("色変換転送の矩形が画像の外を指しています\n");
    }

    Rows rows;
    rows.src = static_cast<const uint8_t*>(srcPixels) + static_cast<ptrdiff_t>(srcRect->top) * srcPitch +
               static_cast<ptrdiff_t>(srcRect->left) * s.bytesPerPixel;
    rows.dst = static_cast<uint8_t*>(dstPixels) + static_cast<ptrdiff_t>(dstY) * dstPitch +
               static_cast<ptrdiff_t>(dstX) * d.bytesPerPixel;
    rows.srcPitch = srcPitch;
    rows.dstPitch = dstPitch;

    // Palette destination: only indices can be copied into it.
    if (d.bitDepth == 8 && !opt.zeroColor && !opt.skipKey) {
        if (s.bitDepth != 8) return -1;
        return CopyPaletteIndices(rows, width, height);
    }

    if (IsColorFormatSame(&d, &s) && !opt.keyToAlpha && !alphaFromImage && !opt.zeroColor && !opt.alphaFromRed) {
        return CopySameLayout(rows, d.bytesPerPixel, width, height, opt);
    }

    if (!opt.skipKey) {
        if (opt.keyToAlpha && !opt.zeroColor && d.bitDepth == s.bitDepth && d.redMask == s.redMask &&
            d.greenMask == s.greenMask && d.blueMask == s.blueMask) {
            return KeyToAlphaSameLayout(rows, d, width, height, opt);
        }
        if (opt.dither == kDitherNone && !opt.zeroColor && !opt.alphaFromRed && !opt.mirror && !haveAlphaImage &&
            TryFixedRule(rows, d, s, width, height, opt)) {
            return 0;
        }
    }

    // General conversion. A palette source (and a palette alpha image) is read through its entries, whose layout
    // is fixed whatever masks the record carries.
    GeneralPlan plan;
    plan.sourceIsPalette = s.bitDepth == 8;
    ColorFormat sv = s;
    if (plan.sourceIsPalette) SetColorFormatFromMasksImpl(&sv, 32, kEntryRed, kEntryGreen, kEntryBlue, 0);
    plan.red.Set(sv.redMask, sv.redShift, sv.redWidth, d.redShift, d.redWidth);
    plan.green.Set(sv.greenMask, sv.greenShift, sv.greenWidth, d.greenShift, d.greenWidth);
    plan.blue.Set(sv.blueMask, sv.blueShift, sv.blueWidth, d.blueShift, d.blueWidth);
    int alphaImageWidth = 0;
    if (d.alphaMask == 0) {
        plan.alphaSource = AlphaSource::kZero;
    } else if (opt.alphaFromRed) {
        plan.alphaSource = AlphaSource::kRed;
        plan.alpha.Set(sv.redMask, sv.redShift, sv.redWidth, d.alphaShift, d.alphaWidth);
    } else if (alphaFromImage) {
        plan.alphaSource = AlphaSource::kImage;
        plan.alphaIsPalette = a.bitDepth == 8;
        ColorFormat av = a;
        if (plan.alphaIsPalette) SetColorFormatFromMasksImpl(&av, 32, kEntryRed, kEntryGreen, kEntryBlue, 0);
        plan.alpha.Set(av.redMask, av.redShift, av.redWidth, d.alphaShift, d.alphaWidth);
        alphaImageWidth = av.redWidth;
    } else if (sv.alphaMask == 0) {
        plan.alphaSource = AlphaSource::kFull;
        plan.alpha.Set(0, 0, 0, d.alphaShift, d.alphaWidth);
    } else {
        plan.alphaSource = AlphaSource::kSource;
        plan.alpha.Set(sv.alphaMask, sv.alphaShift, sv.alphaWidth, d.alphaShift, d.alphaWidth);
    }
    uint32_t channelTables[4][256];
    BuildChannelTable(plan.red, channelTables[0]);
    BuildChannelTable(plan.green, channelTables[1]);
    BuildChannelTable(plan.blue, channelTables[2]);
    BuildChannelTable(plan.alpha, channelTables[3]);

    plan.ditherOn = opt.dither != kDitherNone &&
                    (sv.redWidth != d.redWidth || sv.greenWidth != d.greenWidth ||
                     (plan.alphaSource == AlphaSource::kImage && alphaImageWidth != d.alphaWidth));
    plan.dstAlphaMask = d.alphaMask;
    plan.dstNoneMask = d.noneMask;
    plan.dstRgbMask = d.redMask | d.greenMask | d.blueMask;
    if (opt.keyToAlpha) {
        plan.keyRgb = RgbaToFormatValue(&d, (colorKey >> 16) & 0xFF, (colorKey >> 8) & 0xFF, colorKey & 0xFF, 255) &
                      plan.dstRgbMask;
    }
    plan.skipMask = BytesMask(s.bytesPerPixel);
    plan.skipValue = colorKey & plan.skipMask;

    // Dithering 8:8:8 words into R5G6B5 has its own row loops; they give exactly the bits of the general loop.
    if (plan.ditherOn && !opt.mirror && !opt.skipKey && !opt.zeroColor && !opt.alphaFromRed && Is888In32(s) &&
        IsR5G6B5(d)) {
        uint32_t carry[3] = {0, 0, 0};
        for (int y = 0; y < height; ++y) {
            const uint32_t* sp = reinterpret_cast<const uint32_t*>(rows.SrcRow(y));
            uint16_t* dp = reinterpret_cast<uint16_t*>(rows.DstRow(y));
            if (opt.dither == kDitherOrdered) {
                convert_rows::X888ToRgb565OrderedFast(sp, dp, width, 0, y);
            } else {
                convert_rows::X888ToRgb565CarryFast(sp, dp, width, carry);
            }
        }
        return 0;
    }

    const uint8_t* alphaRow0 = nullptr;
    if (plan.alphaSource == AlphaSource::kImage) {
        alphaRow0 = static_cast<const uint8_t*>(alphaPixels) + static_cast<ptrdiff_t>(srcRect->top) * alphaPitch +
                    static_cast<ptrdiff_t>(srcRect->left) * a.bytesPerPixel;
    }
    const int alphaBytes = haveAlphaImage ? a.bytesPerPixel : 0;
    switch (s.bytesPerPixel) {
    case 1:
        GeneralDispatchDst<1>(d.bytesPerPixel, rows.dst, dstPitch, rows.src, srcPitch, alphaRow0, alphaPitch,
                              alphaBytes, s, a, width, height, plan, opt);
        break;
    case 2:
        GeneralDispatchDst<2>(d.bytesPerPixel, rows.dst, dstPitch, rows.src, srcPitch, alphaRow0, alphaPitch,
                              alphaBytes, s, a, width, height, plan, opt);
        break;
    case 3:
        GeneralDispatchDst<3>(d.bytesPerPixel, rows.dst, dstPitch, rows.src, srcPitch, alphaRow0, alphaPitch,
                              alphaBytes, s, a, width, height, plan, opt);
        break;
    default:
        GeneralDispatchDst<4>(d.bytesPerPixel, rows.dst, dstPitch, rows.src, srcPitch, alphaRow0, alphaPitch,
                              alphaBytes, s, a, width, height, plan, opt);
        break;
    }
    return 0;
}
