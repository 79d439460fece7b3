// The same-size copy against the reference: every blend variant on both paths, in 32- and 16-bit colour, with
// direct, alpha and palette sources, plus the worked numbers that pin the reference itself.
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <string>

#include <vector>

#include "graphics/color/memimg.h"
#include "soft_fixture.h"
#include "softrender/blend_rows.h"
#include "softrender/softrender.h"

namespace {

using ref::Op;

struct Kind {
    bool palette, alpha;
};
const Kind kKinds[] = {{false, false}, {false, true}, {true, false}};
const int kParams[] = {0, 1, 2, 128, 200, 253, 254, 255};

std::string Describe(const ref::Settings& s, int bits, const Kind& k, bool run) {
    char text[200];
    snprintf(text, sizeof(text), "bits %d %s mode %d p %d scale %06X mask %d transparent %d mmx %d %s", bits,
             k.palette ? "palette" : k.alpha ? "alpha" : "direct", s.mode, s.p, s.scale, s.mask, s.transparent,
             s.mmx, run ? "run table" : "normal");
    return text;
}

// Sets the copy's whole-row loops to the vector (1) or the portable (0) forms for one scope; the vector forms,
// the default, after it.
class RowLoops {
public:
    explicit RowLoops(int vector) { soft_rows::SetVectorRows(vector); }
    ~RowLoops() { soft_rows::SetVectorRows(1); }
    static bool HasVectorBuild() {
        soft_rows::SetVectorRows(1);
        return soft_rows::VectorRowsOn() != 0;
    }
};

// Draws one case and compares every destination pixel (and the sentinel border) with the reference.
void CheckBlitCase(const ref::Settings& s, int bits, const Kind& k, bool run, uint32_t seed) {
    const int type = bits == 32 ? kMemImgColor32 : kMemImgColor16;
    const int sw = 13, sh = 5, dw = 20, dh = 9;
    ref::Image src, dst, mask;
    ref::MakeImage(&src, sw, sh, type, k.palette, k.alpha, seed, run);
    ref::MakeImage(&dst, dw, dh, type, false, false, seed ^ 0x9E3779B9u);
    if (s.mask) ref::MakeMask(&mask, sw + 3, sh + 2, seed + 7);
    std::vector<uint32_t> before(dw * dh);
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x) before[y * dw + x] = ref::ReadPixel(dst.img, x, y);
    // The normal path is also drawn clipped on the left and top, the run-table path only whole.
    const int x0 = run ? 3 : -2, y0 = run ? 2 : -1;
    GetDrawState().drawArea = RECT{0, 0, dw, dh};
    DrawState& d = GetDrawState();
    d.blendMode = static_cast<unsigned>(s.mode);
    d.blendParameter = s.p;
    d.colorScale = s.scale;
    GetDisplayState().mmxAvailable = s.mmx;
    SoftBlit(&dst.img, &src.img, x0, y0, s.transparent, s.mask ? &mask.img : nullptr);

    ref::Settings r = s;
    r.op = run ? Op::kBlitRun : Op::kBlitNormal;
    r.palette = k.palette;
    const bool pairs = bits == 16 && ref::UsesPairs16(r, k.alpha) && s.mode <= 3;
    SCOPED_TRACE(Describe(s, bits, k, run));
    int bad = 0;
    for (int y = 0; y < dh; ++y) {
        for (int x = 0; x < dw; ++x) {
            const int sx = x - x0, sy = y - y0;
            uint32_t expect = before[y * dw + x];
            if (sx >= 0 && sy >= 0 && sx < sw && sy < sh) {
                const bool keyed = ref::SourceKeyed(src.img, sx, sy, false);
                const uint32_t colour = ref::SourceColour(src.img, sx, sy);
                if (pairs) {
                    const int first = std::max(x0, 0);
                    const int i = x - first;
                    const bool hasPartner = (i % 2 == 0) ? x + 1 < std::min(x0 + sw, dw) : true;
                    const int px = i % 2 == 0 ? x : x - 1;  // first pixel of the pair
                    const bool trans = s.transparent != 0;
                    const bool keep0 = !trans || !ref::SourceKeyed(src.img, px - x0, sy, false);
                    const bool keep1 = hasPartner && (!trans || !ref::SourceKeyed(src.img, px + 1 - x0, sy, false));
                    const bool add = s.mode == 2;
                    const bool mine = i % 2 == 0 ? keep0 : keep1;
                    if (mine && hasPartner && keep0 && keep1) {
                        const uint32_t dv = before[y * dw + px] | before[y * dw + px + 1] << 16;
                        const uint32_t sv = ref::SourceColour(src.img, px - x0, sy) |
                                            ref::SourceColour(src.img, px + 1 - x0, sy) << 16;
                        const uint32_t pair = ref::Pair16(add, dv, sv);
                        expect = i % 2 == 0 ? pair & 0xFFFF : pair >> 16;
                    } else if (mine) {
                        expect = ref::Lone16(add, expect, colour);
                    }
                } else {
                    const int w = s.mask ? mask.img.pixels[sy * mask.img.pitch + sx] : -1;
                    expect = ref::Pixel(r, bits, expect, colour, ref::SourceAlpha(src.img, sx, sy),
                                        w >= 0 ? BlendGraphWeightTable[w] : -1, keyed);
                }
            }
            const uint32_t got = ref::ReadPixel(dst.img, x, y);
            if (got != expect && ++bad <= 3) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") got " << std::hex << got << " want " << expect;
            }
        }
    }
    EXPECT_EQ(bad, 0);
    EXPECT_TRUE(dst.BorderIntact());
}

class SoftBlitTest : public SoftRenderTest {};

// On both sets of row loops: the vector forms must give the reference's bytes as the portable ones do.
TEST_F(SoftBlitTest, EveryVariantMatchesTheReference) {
    for (int vector : {1, 0}) {
    RowLoops loops(vector);
    SCOPED_TRACE(vector ? "vector row loops" : "portable row loops");
    uint32_t seed = 1;
    for (int bits : {32, 16}) {
        for (const Kind& k : kKinds) {
            for (int mode = 0; mode <= 5; ++mode) {
                for (int p : kParams) {
                    for (uint32_t scale : {0xFFFFFFu, 0x80C040u}) {
                        for (bool mask : {false, true}) {
                            for (int transparent : {0, 1, 2}) {
                                for (int mmx : {0, 1}) {
                                    ref::Settings s;
                                    s.mode = mode;
                                    s.p = p;
                                    s.scale = scale;
                                    s.mask = mask;
                                    s.transparent = transparent;
                                    s.mmx = mmx;
                                    CheckBlitCase(s, bits, k, false, ++seed);
                                    if (transparent == 1) CheckBlitCase(s, bits, k, true, ++seed);
                                    if (HasFailure()) return;
                                }
                            }
                        }
                    }
                }
            }
        }
    }
    }
}

// The vector row loops against the portable ones through SoftBlit: random pictures of many widths (every
// remainder of the 4- and 8-pixel steps), clipped and not, at every blend parameter of the modes the loops serve
// and with keyed copies, in both colour depths. The two destinations must come out byte for byte the same.
TEST_F(SoftBlitTest, VectorLoopsGiveThePortableBytesOverManyPixelsAndParameters) {
    if (!RowLoops::HasVectorBuild()) GTEST_SKIP() << "built without SSE2";
    std::mt19937 rng(31);
    struct Mode {
        int mode, p, transparent;
    };
    std::vector<Mode> modes;
    for (int p = 1; p <= 255; ++p) modes.push_back({1, p, 0});
    modes.push_back({2, 255, 0});
    modes.push_back({3, 255, 0});
    modes.push_back({0, 255, 2});
    modes.push_back({0, 255, 1});
    int drawn = 0;
    for (int bits : {16, 32}) {
        const int type = bits == 32 ? kMemImgColor32 : kMemImgColor16;
        for (const Mode& m : modes) {
            const int sw = 1 + static_cast<int>(rng() % 70), sh = 1 + static_cast<int>(rng() % 4);
            const int dw = sw + 9, dh = sh + 2;
            ref::Image src, a, b;
            ref::MakeImage(&src, sw, sh, type, false, false, rng());
            ref::MakeImage(&a, dw, dh, type, false, false, rng());
            ref::MakeImage(&b, dw, dh, type, false, false, 1);
            // Every third pixel the key, so keyed runs of every length meet the vector steps.
            for (int y = 0; y < sh; ++y) {
                for (int x = 0; x < sw; ++x) {
                    if (rng() % 3 == 0) memcpy(src.img.pixels + y * src.img.pitch + x * bits / 8, &src.img.colorKey, bits / 8);
                }
            }
            for (int y = 0; y < dh; ++y) memcpy(b.img.pixels + y * b.img.pitch, a.img.pixels + y * a.img.pitch, dw * bits / 8);
            const int x = static_cast<int>(rng() % 12) - 3, y = static_cast<int>(rng() % 3) - 1;
            Apply(ref::Settings{});
            DrawState& d = GetDrawState();
            d.blendMode = static_cast<unsigned>(m.mode);
            d.blendParameter = m.p;
            SetArea(0, 0, dw, dh);
            {
                RowLoops loops(1);
                SoftBlit(&a.img, &src.img, x, y, m.transparent, nullptr);
            }
            {
                RowLoops loops(0);
                SoftBlit(&b.img, &src.img, x, y, m.transparent, nullptr);
            }
            for (int row = 0; row < dh; ++row) {
                ASSERT_EQ(0, memcmp(a.img.pixels + row * a.img.pitch, b.img.pixels + row * b.img.pitch, dw * bits / 8))
                    << "bits " << bits << " mode " << m.mode << " p " << m.p << " transparent " << m.transparent
                    << " source " << sw << " x " << sh << " at (" << x << ", " << y << "), row " << row;
            }
            ++drawn;
        }
    }
    EXPECT_EQ(drawn, 2 * static_cast<int>(modes.size()));
}

// One pixel drawn with the given settings; returns the destination afterwards.
uint32_t BlitOne(int bits, int mode, int p, uint32_t d, uint32_t s, int mmx = 0, bool alpha = false,
                 int transparent = 0, bool run = false) {
    const int type = bits == 32 ? kMemImgColor32 : kMemImgColor16;
    ref::Image src, dst;
    ref::MakeImage(&src, run ? 1 : 2, 1, type, false, alpha, 1, run);
    ref::MakeImage(&dst, 2, 1, type, false, false, 2);
    const int bytes = MemImageBytesPerPixel(type, 0, alpha);
    memcpy(src.img.pixels, &s, bytes);
    memcpy(dst.img.pixels, &d, bits / 8);
    if (run) RebuildMemImageRunTable(&src.img);
    GetDrawState().drawArea = RECT{0, 0, 1, 1};
    GetDrawState().blendMode = static_cast<unsigned>(mode);
    GetDrawState().blendParameter = p;
    GetDisplayState().mmxAvailable = mmx;
    SoftBlit(&dst.img, &src.img, 0, 0, transparent, nullptr);
    return ref::ReadPixel(dst.img, 0, 0) & (bits == 32 ? 0xFFFFFFFFu : 0xFFFFu);
}

TEST_F(SoftBlitTest, WorkedNumbersOfTheCarryMasksAndTables) {
    ref::Settings general;
    general.op = Op::kRotated;  // no fast forms
    general.p = 255;
    struct Case {
        int bits, mode, p;
        uint32_t d, s, want;
        const char* what;
    };
    const Case cases[] = {
        // 32-bit carry-mask add and subtract (general: the scaled and rotated copies keep them at p = 255).
        {32, 2, 255, 0x000000FF, 0x00000001, 0x000001FF, "B saturates, its carry sets G's low bit"},
        {32, 2, 255, 0x00030000, 0x00010000, 0x00030000, "R: 3 + 1 = 3"},
        {32, 2, 255, 0x00000000, 0x00010101, 0x00010101, "general add keeps the low-bit OR"},
        {32, 3, 255, 0x00808080, 0x00010101, 0x0081817F, "subtract: B 127, G and R 129"},
        {32, 3, 255, 0x00000000, 0x00010101, 0x00010000, "subtract from 0"},
        // 16-bit one-pixel add and subtract.
        {16, 2, 255, 0x001F, 0x0001, 0x003F, "B saturates at 31, carry into G's low bit"},
        {16, 2, 255, 0xF800, 0x0800, 0xF800, "R keeps 31"},
        {16, 2, 255, 0x07C0, 0x0040, 0x0FC0, "G 62 carries into R"},
        {16, 3, 255, 0x0000, 0x0000, 0x0800, "0 - 0 gives R 1"},
        {16, 3, 255, 0xFFFF, 0x0000, 0xFFDF, "white - 0: G's low bit cleared"},
        {16, 3, 255, 0x8410, 0x0821, 0x8C0F, "R16 G32 B16 - R1 G1 B1"},
        {16, 3, 255, 0xFFFF, 0xFFFF, 0x0800, "white - white"},
        // Mode 1 in 16-bit: the parameter table moves by trunc(p x diff / 255).
        {16, 1, 254, 0x0000, 0xF800, 0xF000, "p 254 over 0 from 31 gives 30"},
        {16, 1, 200, 0x0000, 0x07E0, 49 << 5, "G 63 over 0 at p 200: 49 with the difference table"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ref::Settings s = general;
        s.mode = c.mode;
        s.p = c.p;
        EXPECT_EQ(ref::Pixel(s, c.bits, c.d, c.s, -1, -1, false), c.want);
    }
    // Through the renderer: the same numbers where its fast forms are not in the way.
    EXPECT_EQ(BlitOne(32, 2, 255, 0, 0x00010101, 0), 0x00000001u) << "non-MMX p = 255 add drops the OR term";
    EXPECT_EQ(BlitOne(32, 2, 255, 0, 0x00010101, 1), 0x00010101u) << "MMX add saturates per byte";
    EXPECT_EQ(BlitOne(32, 3, 255, 0x00808080, 0x00010101, 1), 0x007F7F7Fu) << "MMX subtract";
    EXPECT_EQ(BlitOne(32, 3, 255, 0xFF808080, 0x00010101, 0) >> 24, 0u) << "subtract clears byte 3";
    EXPECT_EQ(BlitOne(32, 1, 255, 0, 0x12345678), 0x12345678u) << "mode 1 at p 255 is the copy, byte 3 too";
    EXPECT_EQ(BlitOne(32, 1, 0, 0x11223344, 0x12345678), 0x11223344u);
    EXPECT_EQ(BlitOne(32, 5, 128, 0x11223344, 0x12345678), 0x11223344u);
    // Alpha source without the transparent flag: a = 255 still goes through the factor: 255 over 0 gives 254.
    EXPECT_EQ(BlitOne(32, 0, 255, 0, 0xFF0000FF, 0, true) & 0xFF, 254u);
    // Mode 4 turns alpha-0 pixels black on the normal path, leaves them alone on the run-table path.
    EXPECT_EQ(BlitOne(32, 4, 255, 0x00FFFFFF, 0x00FFFFFF, 0, true, 1) & 0xFFFFFF, 0u);
    EXPECT_EQ(BlitOne(32, 4, 255, 0x00FFFFFF, 0x00FFFFFF, 0, true, 1, true) & 0xFFFFFF, 0xFFFFFFu);
    // 16-bit mode 1: 64-level table in the normal-path copy, difference table on the run-table path.
    EXPECT_EQ((BlitOne(16, 1, 200, 0, 0x07E0) >> 5) & 63, 50u);
    EXPECT_EQ((BlitOne(16, 1, 200, 0, 0x07E0, 0, false, 1, true) >> 5) & 63, 49u);
    EXPECT_EQ(BlitOne(16, 1, 2, 0x1234, 0xFFFF), 0x1234u) << "p 2 leaves the pixel";
    EXPECT_EQ(BlitOne(16, 1, 253, 0x1234, 0xABCD), 0xABCDu) << "p 253 stores the source";
    EXPECT_EQ(BlitOne(16, 1, 128, 0x001F, 0x001F), 0x001Eu) << "p 128 average of 31 and 31 is 30";
    EXPECT_EQ(BlitOne(16, 1, 4, 0x001F, 0x0000) & 31, 30u);
}

TEST_F(SoftBlitTest, SixteenBitPairsCarryIntoTheNextPixel) {
    EXPECT_EQ(ref::Pair16(true, 0x0000F800, 0x0000F800), 0x0001F800u);
    EXPECT_EQ(ref::Pair16(true, 0, 0x00010001), 0x00000001u);
    EXPECT_EQ(ref::Pair16(false, 0, 0), 0x08010800u);
    // Through the renderer: a two-pixel row.
    ref::Image src, dst;
    ref::MakeImage(&src, 2, 1, kMemImgColor16, false, false, 3);
    ref::MakeImage(&dst, 2, 1, kMemImgColor16, false, false, 4);
    const uint32_t s = 0x0000F800, d = 0x0000F800;
    memcpy(src.img.pixels, &s, 4);
    memcpy(dst.img.pixels, &d, 4);
    GetDrawState().drawArea = RECT{0, 0, 2, 1};
    GetDrawState().blendMode = 2;
    GetDrawState().blendParameter = 255;
    SoftBlit(&dst.img, &src.img, 0, 0, 0, nullptr);
    EXPECT_EQ(ref::ReadPixel(dst.img, 0, 0) | ref::ReadPixel(dst.img, 1, 0) << 16, 0x0001F800u);
}

TEST_F(SoftBlitTest, RefusalsAndClippingLeaveTheDestinationAlone) {
    ref::Image src32, src16, dst, alphaDst, mask;
    ref::MakeImage(&src32, 8, 8, kMemImgColor32, false, false, 5);
    ref::MakeImage(&src16, 8, 8, kMemImgColor16, false, false, 6);
    ref::MakeImage(&dst, 8, 8, kMemImgColor32, false, false, 7);
    ref::MakeImage(&alphaDst, 8, 8, kMemImgColor32, false, true, 8);
    ref::MakeMask(&mask, 4, 4, 9);
    const std::vector<uint8_t> keep = dst.buffer, keepAlpha = alphaDst.buffer;
    GetDrawState().drawArea = RECT{0, 0, 8, 8};
    SoftBlit(&dst.img, &src16.img, 0, 0, 0, nullptr);   // unlike pixel types
    SoftBlit(&alphaDst.img, &src32.img, 0, 0, 0, nullptr);  // destination with alpha
    SoftBlit(&dst.img, &src32.img, 0, 0, 0, &mask.img);  // mask smaller than the read
    for (const int pos : {-8, 8, INT_MIN, INT_MAX, -2147483640}) {
        SoftBlit(&dst.img, &src32.img, pos, 0, 0, nullptr);
        SoftBlit(&dst.img, &src32.img, 0, pos, 0, nullptr);
    }
    GetDrawState().drawArea = RECT{2, 2, 2, 6};  // empty area
    SoftBlit(&dst.img, &src32.img, 0, 0, 0, nullptr);
    EXPECT_EQ(dst.buffer, keep);
    EXPECT_EQ(alphaDst.buffer, keepAlpha);
    // A draw area reaching past the image is cut at the image's own edges.
    GetDrawState().drawArea = RECT{-100, -100, 100, 100};
    SoftBlit(&dst.img, &src32.img, 4, 5, 0, nullptr);
    EXPECT_TRUE(dst.BorderIntact());
    EXPECT_EQ(ref::ReadPixel(dst.img, 7, 7), ref::ReadPixel(src32.img, 3, 2));
}

}  // namespace
