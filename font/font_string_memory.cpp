// The memory path of string drawing: one glyph of a memory-cache font written straight into a software image's
// pixels. One loop is stamped out per pixel rule, orientation and transparency, so no pixel pays for a test that
// is fixed for the whole glyph; every read stays inside the glyph's cell, which never exceeds the cache.
#include <string.h>

#include "font/font_internal.h"

namespace {

template <int Bytes>
inline void ZeroPixel(uint8_t* p) {
    memset(p, 0, Bytes);
}

inline void Store32(uint8_t* p, uint32_t v) { memcpy(p, &v, 4); }
inline void Store16(uint8_t* p, uint16_t v) { memcpy(p, &v, 2); }

// The cache rows of a glyph: `row(v)` is the first byte of glyph row v; one-bit caches address columns by bits.
struct GlyphSource {
    const uint8_t* cell;  // the cell's first row
    int pitch;
};

template <int Bytes, bool Vertical, bool Trans, bool OneBit, class Put>
void GlyphLoop(const MemoryGlyphDraw& d, const GlyphSource& src, Put put) {
    const RECT& c = d.clipped;
    const int width = c.right - c.left;
    for (int Y = c.top; Y < c.bottom; ++Y) {
        uint8_t* dst = d.destPixels + (ptrdiff_t)Y * d.destPitch + (ptrdiff_t)c.left * Bytes;
        if (!Vertical && OneBit) {
            // A source byte at a time: an empty byte skips up to eight pixels at once.
            const uint8_t* row = src.cell + (ptrdiff_t)(Y - d.box.top) * src.pitch;
            int u = c.left - d.box.left;
            for (int k = 0; k < width;) {
                const int bit = u & 7;
                const int span = 8 - bit < width - k ? 8 - bit : width - k;
                const unsigned bits = ((unsigned)row[u >> 3] << bit) & 0xFFu;
                if (bits == 0) {
                    if (!Trans) memset(dst, 0, (size_t)span * Bytes);
                } else {
                    for (int j = 0; j < span; ++j) {
                        if (bits & (0x80u >> j)) {
                            put(dst + j * Bytes, 1u);
                        } else if (!Trans) {
                            ZeroPixel<Bytes>(dst + j * Bytes);
                        }
                    }
                }
                u += span;
                k += span;
                dst += span * Bytes;
            }
        } else if (!Vertical) {
            const uint8_t* row = src.cell + (ptrdiff_t)(Y - d.box.top) * src.pitch;
            int u = c.left - d.box.left;
            int k = 0;
            if (Trans) {
                // Empty runs of four are passed over with one read; the reads stay inside the glyph's width.
                while (k < width) {
                    if (k + 4 <= width) {
                        uint32_t four;
                        memcpy(&four, row + u, 4);
                        if (four == 0) {
                            k += 4;
                            u += 4;
                            dst += 4 * Bytes;
                            continue;
                        }
                    }
                    const unsigned s = row[u];
                    if (s != 0) put(dst, s);
                    ++k;
                    ++u;
                    dst += Bytes;
                }
            } else {
                for (; k < width; ++k, ++u, dst += Bytes) {
                    const unsigned s = row[u];
                    if (s != 0) {
                        put(dst, s);
                    } else {
                        ZeroPixel<Bytes>(dst);
                    }
                }
            }
        } else {
            // Turned a quarter clockwise: destination columns walk up the glyph's rows.
            const int u = Y - d.box.top;
            const int v0 = d.box.right - 1 - c.left;
            const uint8_t* p = src.cell + (ptrdiff_t)v0 * src.pitch + (OneBit ? (u >> 3) : u);
            const unsigned shift = OneBit ? 7u - (unsigned)(u & 7) : 0u;
            for (int k = 0; k < width; ++k, p -= src.pitch, dst += Bytes) {
                const unsigned s = OneBit ? (*p >> shift) & 1u : *p;
                if (s != 0) {
                    put(dst, s);
                } else if (!Trans) {
                    ZeroPixel<Bytes>(dst);
                }
            }
        }
    }
}

template <int Bytes, bool OneBit, class Put>
void RunLoop(const MemoryGlyphDraw& d, const GlyphSource& src, Put put) {
    const bool trans = d.transFlag != 0;
    if (d.vertical) {
        if (trans) {
            GlyphLoop<Bytes, true, true, OneBit>(d, src, put);
        } else {
            GlyphLoop<Bytes, true, false, OneBit>(d, src, put);
        }
    } else if (trans) {
        GlyphLoop<Bytes, false, true, OneBit>(d, src, put);
    } else {
        GlyphLoop<Bytes, false, false, OneBit>(d, src, put);
    }
}

// The body-over-edge mix of an anti-aliased edged pixel: a channel of the edge moved toward the body by t/256,
// rounded toward minus infinity.
inline int MixChannel(int body, int edge, int t) {
    const int diff = (body - edge) * t;
    return edge + (diff >= 0 ? diff / 256 : -((-diff + 255) / 256));
}

struct Type3Mix {
    int alpha;
    int t;
};
inline Type3Mix MixOf(unsigned b, unsigned e) {
    const int alpha = (int)(e * (15 - b) + 16 * b);
    return Type3Mix{alpha, (int)(4096 * b) / alpha};
}

void Draw32(const MemoryGlyphDraw& d, const GlyphSource& src) {
    const uint32_t C = d.bodyPixel, E = d.edgePixel;
    switch (d.font->fontType) {
        case 0:
            RunLoop<4, true>(d, src, [C](uint8_t* p, unsigned) { Store32(p, C); });
            break;
        case 1:
            RunLoop<4, false>(d, src, [C, E](uint8_t* p, unsigned s) { Store32(p, s == 1 ? C : (E & 0x00FFFFFFu)); });
            break;
        case 2:
            RunLoop<4, false>(d, src, [C](uint8_t* p, unsigned s) { Store32(p, C | (s << 28)); });
            break;
        case 3: {
            const int cr = (C >> 16) & 0xFF, cg = (C >> 8) & 0xFF, cb = C & 0xFF;
            const int er = (E >> 16) & 0xFF, eg = (E >> 8) & 0xFF, eb = E & 0xFF;
            RunLoop<4, false>(d, src, [=](uint8_t* p, unsigned s) {
                const unsigned b = s & 15, e = s >> 4;
                if (b == 15) {
                    Store32(p, C | 0xFF000000u);
                } else if (b != 0) {
                    const Type3Mix m = MixOf(b, e);
                    Store32(p, (uint32_t)m.alpha << 24 | (uint32_t)MixChannel(cr, er, m.t) << 16 |
                                   (uint32_t)MixChannel(cg, eg, m.t) << 8 | (uint32_t)MixChannel(cb, eb, m.t));
                } else {
                    Store32(p, E | (16u * e) << 24);
                }
            });
            break;
        }
        default:
            break;
    }
}

void Draw16(const MemoryGlyphDraw& d, const GlyphSource& src) {
    const uint32_t C = d.bodyPixel, E = d.edgePixel;
    const uint16_t c16 = (uint16_t)C, e16 = (uint16_t)E;
    switch (d.font->fontType) {
        case 0:
            RunLoop<2, true>(d, src, [c16](uint8_t* p, unsigned) { Store16(p, c16); });
            break;
        case 1:
            RunLoop<2, false>(d, src, [c16, e16](uint8_t* p, unsigned s) { Store16(p, s == 1 ? c16 : e16); });
            break;
        case 2:
            RunLoop<4, false>(d, src, [c16](uint8_t* p, unsigned s) { Store32(p, (uint32_t)c16 | (s << 20)); });
            break;
        case 3: {
            // The mix works on 5-6-5 fields whatever the screen's own 16-bit layout.
            const int cr = (c16 >> 11) & 31, cg = (c16 >> 5) & 63, cb = c16 & 31;
            const int er = (e16 >> 11) & 31, eg = (e16 >> 5) & 63, eb = e16 & 31;
            RunLoop<4, false>(d, src, [=](uint8_t* p, unsigned s) {
                const unsigned b = s & 15, e = s >> 4;
                if (b == 15) {
                    Store32(p, (uint32_t)c16 | 0x00FF0000u);
                } else if (b != 0) {
                    const Type3Mix m = MixOf(b, e);
                    Store16(p, (uint16_t)(MixChannel(cr, er, m.t) << 11 | MixChannel(cg, eg, m.t) << 5 |
                                          MixChannel(cb, eb, m.t)));
                    p[2] = (uint8_t)m.alpha;
                } else {
                    Store32(p, (uint32_t)e16 | (16u * e) << 16);
                }
            });
            break;
        }
        default:
            break;
    }
}

void Draw8(const MemoryGlyphDraw& d, const GlyphSource& src) {
    const uint8_t c8 = (uint8_t)d.bodyPixel, e8 = (uint8_t)d.edgePixel;
    switch (d.font->fontType) {
        case 0:
            RunLoop<1, true>(d, src, [c8](uint8_t* p, unsigned) { *p = c8; });
            break;
        case 1:
            RunLoop<1, false>(d, src, [c8, e8](uint8_t* p, unsigned s) { *p = s == 1 ? c8 : e8; });
            break;
        default:
            break;  // anti-aliased glyphs have no 8-bit rule
    }
}

}  // namespace

void DrawGlyphToMemory(const MemoryGlyphDraw& d) {
    const FontData* font = d.font;
    const int cellRow = font->cellWidth * (d.glyph->cellIndex % font->glyphsPerColumn);
    const GlyphSource src = {font->cachePixels + (ptrdiff_t)cellRow * font->cachePitch, font->cachePitch};
    switch (d.screenBits) {
        case 32:
            Draw32(d, src);
            break;
        case 16:
        case 0:
            Draw16(d, src);
            break;
        case 8:
            Draw8(d, src);
            break;
        default:
            break;
    }
}
