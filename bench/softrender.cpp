// Throughput of the software renderer on a 640 x 480 image in 32-bit and 16-bit colour, first with its SSE2 row
// loops and then with the portable ones: each case in megapixels per second and as a multiple of a memcpy of the
// same bytes, measured in the same run.
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

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr double kPixels = static_cast<double>(kWidth) * kHeight;

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

void Report(const char* name, double seconds, double memcpySeconds, double pixels = kPixels) {
    printf("  %-28s %8.1f Mpixel/s  %5.2fx memcpy\n", name, pixels / seconds / 1e6, seconds / memcpySeconds);
}

void RunDepth(int pixelType) {
    const int bytes = pixelType == kMemImgColor32 ? 4 : 2;
    MEMIMG src = {}, keyed = {}, dst = {}, small = {};
    InitMemImage(&src, kWidth, kHeight, -1, 0, pixelType, 0, 0, 0);
    InitMemImage(&keyed, kWidth, kHeight, -1, pixelType == kMemImgColor32 ? 0x00FF00FFu : 0xF81Fu, pixelType, 0,
                 0, 0);
    InitMemImage(&dst, kWidth, kHeight, -1, 0, pixelType, 0, 0, 0);
    InitMemImage(&small, kWidth / 2, kHeight / 2, -1, 0, pixelType, 0, 0, 0);
    Fill(&src, 1, false);
    Fill(&keyed, 2, true);
    Fill(&dst, 3, false);
    Fill(&small, 4, false);
    GetDrawState().drawArea = RECT{0, 0, kWidth, kHeight};
    GetDrawState().colorScale = 0xFFFFFF;
    const size_t rowBytes = static_cast<size_t>(kWidth) * bytes;
    const double copy = SecondsPerRun([&] {
        for (int y = 0; y < kHeight; ++y) memcpy(dst.pixels + y * dst.pitch, src.pixels + y * src.pitch, rowBytes);
    });
    for (int vector : {1, 0}) {
        soft_rows::SetVectorRows(vector);
        printf(" %d-bit, %s loops (memcpy %.1f Mpixel/s):\n", bytes * 8,
               soft_rows::VectorRowsOn() ? "SSE2" : "portable", kPixels / copy / 1e6);
        SetBlend(0, 255);
        Report("plain copy", SecondsPerRun([&] { SoftBlit(&dst, &src, 0, 0, 0, nullptr); }), copy);
        Report("keyed copy", SecondsPerRun([&] { SoftBlit(&dst, &keyed, 0, 0, 2, nullptr); }), copy);
        SetBlend(1, 200);
        Report("alpha p = 200", SecondsPerRun([&] { SoftBlit(&dst, &src, 0, 0, 0, nullptr); }), copy);
        SetBlend(2, 255);
        Report("add p = 255", SecondsPerRun([&] { SoftBlit(&dst, &src, 0, 0, 0, nullptr); }), copy);
        SetBlend(0, 255);
        const int corners[4] = {0, 0, kWidth, kHeight};
        Report("2x stretch", SecondsPerRun([&] { SoftBlitScaled(&dst, &small, corners, 0, nullptr); }), copy);
        // The rotated copy scans its whole bounding box; count the pixels of the box it covers.
        Report("rotated (box pixels)",
               SecondsPerRun([&] { SoftBlitRotated(&dst, &small, kWidth / 2, kHeight / 2, 0.5f, 1.5f, 0, 0, nullptr); }),
               copy);
        const SoftVertex tri[3] = {{0, 0, 0, 0}, {kWidth - 1, 0, kWidth / 2, 0}, {0, kHeight - 1, 0, kHeight / 2}};
        const double triPixels = kPixels / 2;
        Report("flat triangle", SecondsPerRun([&] { SoftDrawTriangle(&dst, nullptr, tri, 0, nullptr, 0x00336699); }),
               copy, triPixels);
        Report("textured triangle", SecondsPerRun([&] { SoftDrawTriangle(&dst, &small, tri, 0, nullptr, 0); }), copy,
               triPixels);
    }
    soft_rows::SetVectorRows(1);
    ReleaseMemImage(&src);
    ReleaseMemImage(&keyed);
    ReleaseMemImage(&dst);
    ReleaseMemImage(&small);
}

}  // namespace

int main() {
    BuildSoftwareLookupTables();
    printf("software renderer, %d x %d:\n", kWidth, kHeight);
    RunDepth(kMemImgColor32);
    RunDepth(kMemImgColor16);
    return 0;
}
