// Throughput of the common format conversions, in cache (640 x 480) and out of cache (2048 x 2048), next to a
// memcpy of the larger side's bytes (the source or the destination, whichever is bigger) between buffers of the
// same size: megapixels per second for each, and how many times slower than that memcpy each conversion is.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <vector>

#include "bench/bench_timing.h"
#include "graphics/color/color_convert.h"
#include "graphics/color/color_convert_rows.h"

namespace {

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

int main(int argc, char** argv) {
    ReadBenchArguments(argc, argv);
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
    const struct {
        int width, height;
        const char* where;
    } sizes[] = {{640, 480, "in cache"}, {2048, 2048, "out of cache"}};

    static const char* const kPathNames[] = {"portable", "SSE2", "SSSE3"};
    printf("row loops: %s (the best this processor runs)\n", kPathNames[convert_rows::ActiveRowPath()]);
    for (const auto& size : sizes) {
        const int width = size.width, height = size.height;
        const double pixels = static_cast<double>(width) * height;
        const size_t bytes = static_cast<size_t>(width) * height * 4;
        std::vector<uint8_t> src(bytes), dst(bytes), copySrc(bytes), copyDst(bytes);
        uint32_t seed = 12345;
        for (uint8_t& b : src) {
            seed = seed * 1664525u + 1013904223u;
            b = static_cast<uint8_t>(seed >> 24);
        }
        // Some key-coloured pixels, so the key comparison takes both ways.
        for (size_t i = 0; i + 4 <= src.size(); i += 4 * 7) memcpy(&src[i], "\xFF\x00\xFF\x00", 4);
        copySrc = src;
        const RECT rect = {0, 0, width, height};

        printf("%d x %d (%s), best of %d rounds\n", width, height, size.where, ShortRun() ? 1 : 7);
        printf("%-42s %10s %12s %14s %8s\n", "conversion", "Mpx/s", "memcpy Mpx/s", "memcpy bytes", "ratio");
        for (const Case& c : cases) {
            const int srcPitch = width * c.src->bytesPerPixel;
            const int dstPitch = width * c.dst->bytesPerPixel;
            const size_t larger = static_cast<size_t>(std::max(srcPitch, dstPitch)) * height;
            const double convert = SecondsPerRun([&] {
                ColorFormatConvertBlt(dst.data(), dstPitch, c.dst, src.data(), srcPitch, c.src, nullptr, 0, nullptr, 0,
                                      0, &rect, 0, c.keyToAlpha, 0x00FF00FFu, c.dither, 0, 0, 0);
                g_sink = dst[static_cast<size_t>(dstPitch) * height / 2];
            }, 7);
            // The larger side's bytes, from a buffer of their own into one of their own: the same memory traffic
            // the conversion cannot avoid.
            const double copy = SecondsPerRun([&] {
                memcpy(copyDst.data(), copySrc.data(), larger);
                g_sink = copyDst[larger / 2];
            }, 7);
            printf("%-42s %10.0f %12.0f %14zu %7.2fx\n", c.name, pixels / convert / 1e6, pixels / copy / 1e6, larger,
                   convert / copy);
        }
    }
    return 0;
}
