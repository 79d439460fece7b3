// The tests' reference of the software blend rules (see soft_reference.h).
#include "soft_reference.h"

#include <string.h>

#include <algorithm>

namespace ref {
namespace {

inline int Ch(uint32_t v, int i) { return static_cast<int>((v >> (8 * i)) & 255); }

// The 32-bit carry-mask add stated per channel: B saturates exactly; G and R add without their low bits, a carry
// saturates the channel and sets the low bit of the next; the low bits' OR comes back (orTerm); byte 3 takes the
// carry out of R.
uint32_t Add32(uint32_t d, uint32_t s, bool orTerm) {
    int b = Ch(d, 0) + Ch(s, 0);
    const int cb = b > 255;
    b = std::min(b, 255);
    int g = (Ch(d, 1) & ~1) + (Ch(s, 1) & ~1) + cb;
    const int cg = g > 255;
    g = cg ? 255 : g | (orTerm ? (Ch(d, 1) | Ch(s, 1)) & 1 : 0);
    int r = (Ch(d, 2) & ~1) + (Ch(s, 2) & ~1) + cg;
    const int cr = r > 255;
    r = cr ? 255 : r | (orTerm ? (Ch(d, 2) | Ch(s, 2)) & 1 : 0);
    return static_cast<uint32_t>(b | g << 8 | r << 16 | cr << 24);
}

// The carry-mask subtract: B exact, clamped at 0; G and R take the destination's low bit as 1 less the borrow of
// the channel below and drop the source's low bit; byte 3 becomes 0.
uint32_t Sub32(uint32_t d, uint32_t s) {
    int b = Ch(d, 0) - Ch(s, 0);
    const int bb = b < 0;
    int g = (Ch(d, 1) | 1) - (Ch(s, 1) & ~1) - bb;
    const int bg = g < 0;
    int r = (Ch(d, 2) | 1) - (Ch(s, 2) & ~1) - bg;
    return static_cast<uint32_t>((bb ? 0 : b) | (bg ? 0 : g) << 8 | (r < 0 ? 0 : r) << 16);
}

uint32_t Sat32(uint32_t d, uint32_t s, bool add) {
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
        const int v = add ? Ch(d, i) + Ch(s, i) : Ch(d, i) - Ch(s, i);
        out |= static_cast<uint32_t>(std::clamp(v, 0, 255)) << (8 * i);
    }
    return out;
}

struct F16 {
    int r, g, b;
};
inline F16 Split(uint32_t v) { return {static_cast<int>((v >> 11) & 31), static_cast<int>((v >> 5) & 63), static_cast<int>(v & 31)}; }
inline uint32_t Join(int r, int g, int b) { return static_cast<uint32_t>(r << 11 | g << 5 | b); }

// The 16-bit add: B exact to 31; G and R without low bits, a G carry sets only G's upper five bits, the R carry
// all of R; low bits take the carry from below and (orTerm) the operands' OR.
uint32_t Add16(uint32_t dv, uint32_t sv, bool orTerm) {
    const F16 d = Split(dv), s = Split(sv);
    int b = d.b + s.b;
    const int cb = b > 31;
    b = std::min(b, 31);
    int g = (d.g & ~1) + (s.g & ~1) + cb;
    const int cg = g > 63;
    g = (g & 63) | (cg ? 0x3E : 0) | (orTerm ? (d.g | s.g) & 1 : 0);
    int r = (d.r & ~1) + (s.r & ~1) + cg;
    r = r > 31 ? 31 : r | (orTerm ? (d.r | s.r) & 1 : 0);
    return Join(r, g, b);
}

uint32_t Sub16(uint32_t dv, uint32_t sv) {
    const F16 d = Split(dv), s = Split(sv);
    int b = d.b - s.b;
    const int bb = b < 0;
    int g = (d.g | 1) - (s.g & ~1) - bb;
    const int bg = g < 0;
    int r = (d.r | 1) - (s.r & ~1) - bg;
    return Join(r < 0 ? 0 : r, bg ? 0 : g & 0x3E, bb ? 0 : b);
}

}  // namespace

uint32_t Lone16(bool add, uint32_t d, uint32_t s) { return add ? Add16(d, s, false) : Sub16(d, s); }

uint32_t Pair16(bool add, uint32_t dv, uint32_t sv) {
    const F16 d0 = Split(dv & 0xFFFF), s0 = Split(sv & 0xFFFF), d1 = Split(dv >> 16), s1 = Split(sv >> 16);
    if (add) {
        int b = d0.b + s0.b;
        int c = b > 31;
        b = std::min(b, 31);
        int g = (d0.g & ~1) + (s0.g & ~1) + c;
        c = g > 63;
        g = (g & 63) | (c ? 0x3E : 0);
        int r = (d0.r & ~1) + (s0.r & ~1) + c;
        c = r > 31;
        r = c ? 31 : r;
        // The first pixel's red carry becomes the second pixel's lowest blue bit.
        int b1 = (d1.b & ~1) + (s1.b & ~1) + c;
        c = b1 > 31;
        b1 = c ? 31 : b1;
        int g1 = (d1.g & ~1) + (s1.g & ~1) + c;
        c = g1 > 63;
        g1 = (g1 & 63) | (c ? 0x3E : 0);
        int r1 = (d1.r & ~1) + (s1.r & ~1) + c;
        r1 = r1 > 31 ? 31 : r1;
        return Join(r, g, b) | Join(r1, g1, b1) << 16;
    }
    int b = d0.b - s0.b;
    int bw = b < 0;
    if (bw) b = 0;
    int g = (d0.g | 1) - (s0.g & ~1) - bw;
    bw = g < 0;
    g = bw ? 0 : g & 0x3E;
    int r = (d0.r | 1) - (s0.r & ~1) - bw;
    bw = r < 0;
    if (bw) r = 0;
    int b1 = (d1.b | 1) - (s1.b & ~1) - bw;
    bw = b1 < 0;
    if (bw) b1 = 0;
    int g1 = (d1.g | 1) - (s1.g & ~1) - bw;
    bw = g1 < 0;
    g1 = bw ? 0 : g1 & 0x3E;
    int r1 = (d1.r | 1) - (s1.r & ~1) - bw;
    if (r1 < 0) r1 = 0;
    return Join(r, g, b) | Join(r1, g1, b1) << 16;
}

bool UsesPairs16(const Settings& s, bool alphaSource) {
    return s.op == Op::kBlitNormal && (s.mode == 2 || s.mode == 3) && s.p == 255 && !s.mask &&
           (s.scale & 0xFFFFFF) == 0xFFFFFF && !alphaSource;
}

uint32_t Pixel(const Settings& s, int bits, uint32_t d, uint32_t src, int a, int w, bool keyed) {
    const bool run = s.op == Op::kBlitRun;
    bool useA = a >= 0;
    if (a < 0 && (s.transparent || run) && keyed) return d;
    if (a >= 0 && (s.transparent || run)) {
        if (a == 0 && (s.mode != 4 || s.op == Op::kScaled || run)) return d;
        if (a == 255) useA = false;
    }
    int mode = s.mode;
    const int p = s.p;
    if (mode > 4) return d;
    if (mode == 1 && p == 255) mode = 0;
    if ((mode == 1 || mode == 2) && p == 0) return d;
    if (mode == 3 && p == 0 && s.op != Op::kFlat && !s.palette) return d;
    if (mode == 3 && p == 0 && s.op == Op::kFlat) return d;
    const bool white = (s.scale & 0xFFFFFF) == 0xFFFFFF;
    const bool plain = !s.mask && white && a < 0;
    const bool hasW = w >= 0;
    const int n = (hasW ? 1 : 0) + (useA ? 1 : 0) + (mode == 1 ? 1 : 0);
    const int64_t F = (hasW ? w : 1) * static_cast<int64_t>(useA ? a : 1) * (mode == 1 ? p : 1);
    const int64_t one = int64_t{1} << (8 * n);

    if (bits == 32) {
        int sc[3];
        for (int i = 0; i < 3; ++i) sc[i] = Ch(src, i) * Ch(s.scale, i) / 255;
        const uint32_t scaled = (src & 0xFF000000u) | static_cast<uint32_t>(sc[0] | sc[1] << 8 | sc[2] << 16);
        if (mode == 0 || mode == 1) {
            if (mode == 1 && s.op == Op::kBlitNormal && plain && p == 128) {
                uint32_t out = 0;
                for (int i = 0; i < 3; ++i) out |= static_cast<uint32_t>(Ch(src, i) / 2 + Ch(d, i) / 2) << (8 * i);
                return out;
            }
            if (n == 0) return white ? src : (d & 0xFF000000u) | (scaled & 0xFFFFFF);
            uint32_t out = d & 0xFF000000u;
            for (int i = 0; i < 3; ++i) {
                const int64_t v = (Ch(d, i) * one + (sc[i] - Ch(d, i)) * F) / one;
                out |= static_cast<uint32_t>(v) << (8 * i);
            }
            return out;
        }
        if (mode == 2 || mode == 3) {
            const bool fastBlit = s.op == Op::kBlitNormal && plain && p == 255;
            const bool fastSub = s.op == Op::kScaled && mode == 3 && plain && p == 255;
            if (fastBlit || fastSub) {
                if (s.mmx) return Sat32(d, src, mode == 2);
                return mode == 2 ? Add32(d, src & 0x00FFFFFF, false) : Sub32(d, src & 0x00FEFEFF);
            }
            uint32_t S = 0;
            const int64_t m = (hasW ? w : 1) * static_cast<int64_t>(useA ? a : 1) * p;
            const int64_t den = hasW || useA ? (int64_t{1} << (8 + 8 * ((hasW ? 1 : 0) + (useA ? 1 : 0)))) : 255;
            for (int i = 0; i < 3; ++i) S |= static_cast<uint32_t>(sc[i] * m / den) << (8 * i);
            return mode == 2 ? Add32(d, S, true) : Sub32(d, S);
        }
        const int64_t m = (hasW ? w : 1) * static_cast<int64_t>(useA ? a : 1);
        const int64_t den = int64_t{256} << (8 * ((hasW ? 1 : 0) + (useA ? 1 : 0)));
        uint32_t out = d & 0xFF000000u;
        for (int i = 0; i < 3; ++i) out |= static_cast<uint32_t>(Ch(d, i) * sc[i] * m / den) << (8 * i);
        return out;
    }

    // 16-bit colour.
    const F16 dd = Split(d), ss = Split(src);
    const F16 sc = {ss.r * Ch(s.scale, 2) / 255, ss.g * Ch(s.scale, 1) / 255, ss.b * Ch(s.scale, 0) / 255};
    const int dv[3] = {dd.r, dd.g, dd.b}, sv[3] = {sc.r, sc.g, sc.b};
    int out[3];
    if (mode == 0 || mode == 1) {
        if (n == 0) return white ? (src & 0xFFFF) : Join(sc.r, sc.g, sc.b);
        const bool pOnly = mode == 1 && n == 1;
        for (int i = 0; i < 3; ++i) {
            if (pOnly && s.op == Op::kBlitNormal && plain) {
                out[i] = p == 128 ? sv[i] / 2 + dv[i] / 2 : (sv[i] * (p >> 2) + dv[i] * (63 - (p >> 2))) / 63;
            } else if (pOnly) {
                out[i] = dv[i] + p * (sv[i] - dv[i]) / 255;
            } else {
                out[i] = static_cast<int>((dv[i] * one + (sv[i] - dv[i]) * F) / one);
            }
        }
        return Join(out[0], out[1], out[2]);
    }
    if (mode == 2 || mode == 3) {
        int t[3];
        for (int i = 0; i < 3; ++i) {
            int64_t x = sv[i];
            if (hasW) x = x * w;
            if (useA) x = x * a;
            x >>= 8 * ((hasW ? 1 : 0) + (useA ? 1 : 0));
            t[i] = static_cast<int>(x * p / 255);
        }
        const uint32_t S = Join(t[0], t[1], t[2]);
        return mode == 2 ? Add16(d, S, true) : Sub16(d, S);
    }
    const int64_t m = (hasW ? w : 1) * static_cast<int64_t>(useA ? a : 1);
    const int extra = 8 * ((hasW ? 1 : 0) + (useA ? 1 : 0));
    return Join(static_cast<int>(sv[0] * dv[0] * m >> (5 + extra)), static_cast<int>(sv[1] * dv[1] * m >> (6 + extra)),
                static_cast<int>(sv[2] * dv[2] * m >> (5 + extra)));
}

bool Image::BorderIntact() const {
    if (border == 0) return true;
    const int bytes = MemImageBytesPerPixel(img.pixelType, img.hasPalette, img.hasAlpha);
    const size_t rowBytes = static_cast<size_t>(img.width) * bytes;
    const uint8_t* first = img.pixels;
    for (size_t i = 0; i < buffer.size(); ++i) {
        const uint8_t* p = buffer.data() + i;
        const ptrdiff_t off = p - first;
        if (off >= 0 && off < static_cast<ptrdiff_t>(img.pitch) * img.height) {
            const ptrdiff_t col = off % img.pitch;
            if (col < static_cast<ptrdiff_t>(rowBytes)) continue;
        }
        if (*p != 0xA5) return false;
    }
    return true;
}

void MakeImage(Image* image, int width, int height, int pixelType, bool palette, bool alpha, uint32_t seed,
               bool runTable, int border) {
    std::mt19937 rng(seed);
    const int bytes = MemImageBytesPerPixel(pixelType, palette, alpha);
    const int pitch = width * bytes + 2 * border;
    image->border = border;
    image->buffer.assign(static_cast<size_t>(pitch) * (height + 2) + 2 * border, 0xA5);
    MEMIMG& m = image->img;
    memset(&m, 0, sizeof(m));
    m.pixels = image->buffer.data() + pitch + border;
    const uint32_t key = palette ? 7u : pixelType == kMemImgColor16 ? 0xF81Fu : 0x00FF00FFu;
    InitMemImage(&m, width, height, pitch, key, pixelType, palette ? 1 : 0, alpha ? 1 : 0, runTable ? 1 : 0);
    if (palette) {
        for (int i = 0; i < 256; ++i) {
            const uint32_t v = rng();
            if (pixelType == kMemImgColor16) {
                const uint16_t c = static_cast<uint16_t>(v);
                memcpy(static_cast<uint8_t*>(m.palette) + 2 * i, &c, 2);
            } else {
                memcpy(static_cast<uint8_t*>(m.palette) + 4 * i, &v, 4);
            }
        }
        m.paletteCount = 256;
    }
    int n = 0;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = m.pixels + static_cast<ptrdiff_t>(y) * pitch;
        for (int x = 0; x < width; ++x, ++n) {
            uint32_t v = rng();
            const bool keyPixel = n % 5 == 2;
            if (palette) {
                row[x] = keyPixel ? static_cast<uint8_t>(key) : static_cast<uint8_t>(v);
                continue;
            }
            if (alpha) {
                const uint8_t levels[4] = {0, static_cast<uint8_t>(1 + v % 254), 255, static_cast<uint8_t>(v >> 24)};
                const uint8_t av = levels[n % 4];
                if (pixelType == kMemImgColor16) {
                    v = (v & 0xFFFF) | static_cast<uint32_t>(av) << 16 | (v & 0xFF000000u);
                } else {
                    v = (v & 0xFFFFFF) | static_cast<uint32_t>(av) << 24;
                }
                memcpy(row + x * 4, &v, 4);
                continue;
            }
            if (keyPixel) v = key;
            memcpy(row + x * bytes, &v, bytes);
        }
    }
    if (runTable) {
        RebuildMemImageRunTable(&m);
        m.runTableValid = 1;
    }
}

void MakeMask(Image* image, int width, int height, uint32_t seed, int border) {
    std::mt19937 rng(seed);
    const int pitch = width + 2 * border;
    image->border = border;
    image->buffer.assign(static_cast<size_t>(pitch) * (height + 2) + 2 * border, 0xA5);
    MEMIMG& m = image->img;
    memset(&m, 0, sizeof(m));
    m.pixels = image->buffer.data() + pitch + border;
    InitMemImage(&m, width, height, pitch, 0, kMemImgChannel8, 0, 0, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) m.pixels[y * pitch + x] = static_cast<uint8_t>(rng());
    }
}

uint32_t ReadPixel(const MEMIMG& image, int x, int y) {
    const int bytes = MemImageBytesPerPixel(image.pixelType, image.hasPalette, image.hasAlpha);
    uint32_t v = 0;
    memcpy(&v, image.pixels + static_cast<ptrdiff_t>(y) * image.pitch + x * bytes, bytes);
    return v;
}

uint32_t SourceColour(const MEMIMG& image, int x, int y) {
    const uint32_t v = ReadPixel(image, x, y);
    if (image.hasPalette) {
        uint32_t c = 0;
        memcpy(&c, static_cast<const uint8_t*>(image.palette) + v * (image.pixelType == kMemImgColor16 ? 2 : 4),
               image.pixelType == kMemImgColor16 ? 2 : 4);
        return c;
    }
    return image.pixelType == kMemImgColor16 ? v & 0xFFFF : v;
}

int SourceAlpha(const MEMIMG& image, int x, int y) {
    if (!image.hasAlpha || image.hasPalette) return -1;
    const uint32_t v = ReadPixel(image, x, y);
    return static_cast<int>(image.pixelType == kMemImgColor16 ? (v >> 16) & 255 : v >> 24);
}

bool SourceKeyed(const MEMIMG& image, int x, int y, bool wholeKey) {
    const uint32_t v = ReadPixel(image, x, y);
    if (image.hasPalette) return v == (wholeKey ? image.colorKey : (image.colorKey & 0xFF));
    if (image.pixelType == kMemImgColor16) return v == (wholeKey ? image.colorKey : (image.colorKey & 0xFFFF));
    return v == image.colorKey;
}

}  // namespace ref
