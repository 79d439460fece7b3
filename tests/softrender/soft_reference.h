// A reference of the software blend rules for the tests: every rule written per channel with plain divisions
// and the carry behaviour stated channel by channel, so the renderer's word formulas are checked against an
// independent reading. Images are built from a fixed seed with key pixels and alpha 0, middle and 255.
#pragma once

#include <stdint.h>

#include <random>
#include <vector>

#include "graphics/color/memimg.h"

namespace ref {

enum class Op { kBlitNormal, kBlitRun, kScaled, kRotated, kTriangle, kFlat };

struct Settings {
    int mode = 0;
    int p = 255;
    uint32_t scale = 0xFFFFFF;
    int mmx = 0;
    Op op = Op::kBlitNormal;
    bool mask = false;
    int transparent = 0;
    bool palette = false;  // palette sources run the subtract at p = 0
};

// The new destination value of one pixel (32-bit: the whole pixel; 16-bit: the word). a < 0: the source has no
// alpha; w < 0: no blend mask. keyed: the source pixel equals the key (only looked at without alpha).
uint32_t Pixel(const Settings& s, int bits, uint32_t d, uint32_t src, int a, int w, bool keyed);

// The 16-bit pixel pair of the same-size copy's two-pixel add (add true) or subtract at p = 255.
uint32_t Pair16(bool add, uint32_t d, uint32_t s);
// The same for a pixel handled alone by those loops.
uint32_t Lone16(bool add, uint32_t d, uint32_t s);

// Whether the same-size copy uses the two-pixel 16-bit steps for these settings.
bool UsesPairs16(const Settings& s, bool alphaSource);

// A test image: its own buffer inside a larger one with a sentinel border, so writes outside it show.
struct Image {
    MEMIMG img{};
    std::vector<uint8_t> buffer;
    int border = 0;
    ~Image() { ReleaseMemImage(&img); }
    bool BorderIntact() const;
};

// Random pixels from the seed: every fifth pixel is the key (direct and palette images); alpha images get alpha
// 0, 1..254, 255 and a random value in turn.
void MakeImage(Image* image, int width, int height, int pixelType, bool palette, bool alpha, uint32_t seed,
               bool runTable = false, int border = 16);
// A one-byte image (blend mask) of random bytes.
void MakeMask(Image* image, int width, int height, uint32_t seed, int border = 16);

uint32_t ReadPixel(const MEMIMG& image, int x, int y);
// The colour of a source pixel (palette entry looked up), and its alpha or -1.
uint32_t SourceColour(const MEMIMG& image, int x, int y);
int SourceAlpha(const MEMIMG& image, int x, int y);
bool SourceKeyed(const MEMIMG& image, int x, int y, bool wholeKey);

}  // namespace ref
