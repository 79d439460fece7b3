// Throughput of the common format conversions on a 640 x 480 picture, next to a memcpy of the destination's size:
// megapixels per second for each, and how many times slower than that memcpy each conversion is.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <vector>

#include "bench/bench_timing.h"
#include "graphics/color/color_convert.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr double kPixels = static_cast<double>(kWidth) * kHeight;

ColorFormat Masks(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    ColorFormat f;
    memset(&f, 0, sizeof(f));
    SetColorFormatFromMasksImpl(&f, depth, r, g, b, a);
    return f;
}

struct Case {
    const char* name;
    const ColorFormat* src;
    const ColorFormat* dst;
    int keyToAlpha;
    int dither;
};

volatile uint8_t g_sink;

}  // namespace

int main() {
    const ColorFormat r565 = Masks(16, 0xF800, 0x07E0, 0x001F, 0);
    const ColorFormat x888 = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
    const ColorFormat a888 = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
    ColorFormat rgb24;
    memset(&rgb24, 0, sizeof(rgb24));
    SetRgb24ColorFormat(&rgb24);
    const Case cases[] = {
        // Decoded JPEG and PNG pictures uploaded into 32-bit and 16-bit pieces.
        {"24-bit -> X8R8G8B8", &rgb24, &x888, 0, kDitherNone},
        {"24-bit -> A8R8G8B8, key to alpha", &rgb24, &a888, 1, kDitherNone},
        {"24-bit -> R5G6B5", &rgb24, &r565, 0, kDitherNone},
        {"R5G6B5 -> X8R8G8B8", &r565, &x888, 0, kDitherNone},
        {"X8R8G8B8 -> R5G6B5", &x888, &r565, 0, kDitherNone},
        {"X8R8G8B8 -> R5G6B5, ordered dither", &x888, &r565, 0, kDitherOrdered},
        {"X8R8G8B8 -> R5G6B5, error-carry dither", &x888, &r565, 0, kDitherErrorCarry},
        {"X8R8G8B8 -> A8R8G8B8, key to alpha", &x888, &a888, 1, kDitherNone},
    };

    std::vector<uint8_t> src(static_cast<size_t>(kWidth) * kHeight * 4);
    uint32_t seed = 12345;
    for (uint8_t& b : src) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(seed >> 24);
    }
    // Some key-coloured pixels, so the key comparison takes both ways.
    for (size_t i = 0; i + 4 <= src.size(); i += 4 * 7) memcpy(&src[i], "\xFF\x00\xFF\x00", 4);
    std::vector<uint8_t> dst(static_cast<size_t>(kWidth) * kHeight * 4);
    const RECT rect = {0, 0, kWidth, kHeight};

    printf("%d x %d, best of 7 rounds\n", kWidth, kHeight);
    printf("%-42s %10s %12s %14s %8s\n", "conversion", "Mpx/s", "memcpy Mpx/s", "memcpy bytes", "ratio");
    for (const Case& c : cases) {
        const int srcPitch = kWidth * c.src->bytesPerPixel;
        const int dstPitch = kWidth * c.dst->bytesPerPixel;
        const size_t dstBytes = static_cast<size_t>(dstPitch) * kHeight;
        const double convert = SecondsPerRun([&] {
            ColorFormatConvertBlt(dst.data(), dstPitch, c.dst, src.data(), srcPitch, c.src, nullptr, 0, nullptr, 0, 0,
                                  &rect, 0, c.keyToAlpha, 0x00FF00FFu, c.dither, 0, 0, 0);
            g_sink = dst[dstBytes / 2];
        }, 7);
        const double copy = SecondsPerRun([&] {
            memcpy(dst.data(), src.data(), dstBytes);
            g_sink = dst[dstBytes / 2];
        }, 7);
        printf("%-42s %10.0f %12.0f %14zu %8.2f\n", c.name, kPixels / convert / 1e6, kPixels / copy / 1e6, dstBytes,
               convert / copy);
    }
    return 0;
}
