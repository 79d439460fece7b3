// Throughput of the software renderer in 32-bit and 16-bit colour, in cache (640 x 480) and out of cache
// (2048 x 2048), first with its SSE2 row loops and then with the portable ones: each case in megapixels per second
// and as a multiple of a memcpy of the same bytes at the same size, measured in the same run; then the ratios the
// 16-bit loops are held to (16-bit alpha against 32-bit alpha, keyed copies against memcpy).
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <random>
#include <vector>

#include "bench/bench_timing.h"
#include "graphics/draw_state.h"
#include "graphics/color/lookup_tables.h"
#include "graphics/color/memimg.h"
#include "softrender/blend_rows.h"
#include "softrender/softrender.h"

namespace {

void Fill(MEMIMG* image, uint32_t seed, bool keyed) {
    std::mt19937 rng(seed);
    const int bytes = image->pixelType == kMemImgColor32 ? 4 : 2;
    for (int y = 0; y < image->height; ++y) {
        uint8_t* row = image->pixels + static_cast<ptrdiff_t>(y) * image->pitch;
        for (int x = 0; x < image->width; ++x) {
            uint32_t v = rng();
            if (keyed && (x / 16 + y / 16) % 3 == 0) v = image->colorKey;
            memcpy(row + x * bytes, &v, bytes);
        }
    }
}

void SetBlend(int mode, int p) {
    DrawState& s = GetDrawState();
    s.blendMode = static_cast<unsigned>(mode);
    s.blendParameter = p;
}

// Seconds per run of the cases the summary compares, per depth, with the vector loops.
struct Key {
    double memcpy = 0, alpha = 0, keyed = 0;
};

void Report(const char* name, double seconds, double memcpySeconds, double pixels) {
    printf("  %-28s %8.1f Mpixel/s  ratio %5.2fx memcpy\n", name, pixels / seconds / 1e6, seconds / memcpySeconds);
}

Key RunDepth(int pixelType, int width, int height) {
    const int bytes = pixelType == kMemImgColor32 ? 4 : 2;
    const double pixels = static_cast<double>(width) * height;
    MEMIMG src = {}, keyed = {}, dst = {}, small = {};
    InitMemImage(&src, width, height, -1, 0, pixelType, 0, 0, 0);
    InitMemImage(&keyed, width, height, -1, pixelType == kMemImgColor32 ? 0x00FF00FFu : 0xF81Fu, pixelType, 0, 0, 0);
    InitMemImage(&dst, width, height, -1, 0, pixelType, 0, 0, 0);
    InitMemImage(&small, width / 2, height / 2, -1, 0, pixelType, 0, 0, 0);
    Fill(&src, 1, false);
    Fill(&keyed, 2, true);
    Fill(&dst, 3, false);
    Fill(&small, 4, false);
    GetDrawState().drawArea = RECT{0, 0, width, height};
    GetDrawState().colorScale = 0xFFFFFF;
    const size_t rowBytes = static_cast<size_t>(width) * bytes;
    const double copy = SecondsPerRun([&] {
        for (int y = 0; y < height; ++y) memcpy(dst.pixels + y * dst.pitch, src.pixels + y * src.pitch, rowBytes);
    });
    Key key;
    key.memcpy = copy;
    for (int vector : {1, 0}) {
        soft_rows::SetVectorRows(vector);
        printf(" %d-bit, %d x %d, %s loops (memcpy %.1f Mpixel/s):\n", bytes * 8, width, height,
               soft_rows::VectorRowsOn() ? "SSE2" : "portable", pixels / copy / 1e6);
        SetBlend(0, 255);
        Report("plain copy", SecondsPerRun([&] { SoftBlit(&dst, &src, 0, 0, 0, nullptr); }), copy, pixels);
        const double keyedCopy = SecondsPerRun([&] { SoftBlit(&dst, &keyed, 0, 0, 2, nullptr); });
        Report("keyed copy", keyedCopy, copy, pixels);
        SetBlend(1, 200);
        const double alpha = SecondsPerRun([&] { SoftBlit(&dst, &src, 0, 0, 0, nullptr); });
        Report("alpha p = 200", alpha, copy, pixels);
        SetBlend(1, 128);
        Report("alpha p = 128", SecondsPerRun([&] { SoftBlit(&dst, &src, 0, 0, 0, nullptr); }), copy, pixels);
        SetBlend(2, 255);
        Report("add p = 255", SecondsPerRun([&] { SoftBlit(&dst, &src, 0, 0, 0, nullptr); }), copy, pixels);
        SetBlend(3, 255);
        Report("subtract p = 255", SecondsPerRun([&] { SoftBlit(&dst, &src, 0, 0, 0, nullptr); }), copy, pixels);
        SetBlend(0, 255);
        const int corners[4] = {0, 0, width, height};
        Report("2x stretch", SecondsPerRun([&] { SoftBlitScaled(&dst, &small, corners, 0, nullptr); }), copy, pixels);
        // The rotated copy scans its whole bounding box; count the pixels of the box it covers.
        Report("rotated (box pixels)",
               SecondsPerRun([&] { SoftBlitRotated(&dst, &small, width / 2, height / 2, 0.5f, 1.5f, 0, 0, nullptr); }),
               copy, pixels);
        const SoftVertex tri[3] = {{0, 0, 0, 0}, {width - 1, 0, width / 2, 0}, {0, height - 1, 0, height / 2}};
        Report("flat triangle", SecondsPerRun([&] { SoftDrawTriangle(&dst, nullptr, tri, 0, nullptr, 0x00336699); }),
               copy, pixels / 2);
        Report("textured triangle", SecondsPerRun([&] { SoftDrawTriangle(&dst, &small, tri, 0, nullptr, 0); }), copy,
               pixels / 2);
        if (vector == 1) {
            key.alpha = alpha;
            key.keyed = keyedCopy;
        }
    }
    soft_rows::SetVectorRows(1);
    ReleaseMemImage(&src);
    ReleaseMemImage(&keyed);
    ReleaseMemImage(&dst);
    ReleaseMemImage(&small);
    return key;
}

}  // namespace

int main(int argc, char** argv) {
    ReadBenchArguments(argc, argv);
    BuildSoftwareLookupTables();
    const struct {
        int width, height;
        const char* where;
    } sizes[] = {{640, 480, "in cache"}, {2048, 2048, "out of cache"}};
    for (const auto& size : sizes) {
        printf("software renderer, %d x %d (%s):\n", size.width, size.height, size.where);
        const Key k32 = RunDepth(kMemImgColor32, size.width, size.height);
        const Key k16 = RunDepth(kMemImgColor16, size.width, size.height);
        // Same pixel count, so the pixel-rate ratio is the inverse ratio of the times.
        printf(" %s: ratio 16-bit alpha / 32-bit alpha pixel rate %.2f (goal >= 0.8)\n", size.where,
               k32.alpha / k16.alpha);
        printf(" %s: ratio 32-bit keyed copy / memcpy %.2f (goal <= 3), 16-bit keyed copy / memcpy %.2f\n",
               size.where, k32.keyed / k32.memcpy, k16.keyed / k16.memcpy);
    }
    return 0;
}
