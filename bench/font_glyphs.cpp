// Glyphs per millisecond of CPU for a 200-character string of mixed one- and two-byte characters: drawn from a warm
// glyph cache and from a cold one (emptied before each draw), on the memory path and on the texture path, against
// GDI's own TextOutA into a DIB section with the same font, measured in the same run. The cases take turns over
// several rounds, so a slow stretch of the machine hits them all alike; figures and ratios are medians over the
// rounds (each ratio taken within a round). Prints figures and ratios.
#include <windows.h>

#include <stdint.h>
#include <stdio.h>

#include <cstring>
#include <string>
#include <vector>

#include "font/font.h"
#include "font/font_internal.h"
#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/color/memimg.h"
#include "runtime/runtime.h"
#include "bench/bench_timing.h"

namespace {

double CpuMilliseconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

// Runs `draw` until at least `minimumMs` of CPU passed; returns glyphs per millisecond.
template <typename Fn>
double GlyphsPerMs(int glyphsPerDraw, double minimumMs, Fn draw) {
    draw();
    int draws = 0;
    const double start = CpuMilliseconds();
    double elapsed = 0;
    do {
        for (int i = 0; i < 8; ++i) draw();
        draws += 8;
        elapsed = CpuMilliseconds() - start;
    } while (elapsed < minimumMs);
    return glyphsPerDraw * draws / elapsed;
}

std::string MixedString() {
    // 200 characters: runs of ASCII letters with a two-byte character every fourth place.
    const char* kanji[] = {"\x8a\xbf", "\x8e\x9a", "\x82\xa0", "\x83\x41", "\x93\xfa", "\x96\x7b"};
    std::string text;
    for (int i = 0; i < 200; ++i) {
        if (i % 4 == 3) {
            text += kanji[(i / 4) % 6];
        } else {
            text += (char)('A' + (i * 7) % 58);
        }
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    ReadBenchArguments(argc, argv);
    ChangeWindowMode(1);
    SetLogFileEnabled(0);
    if (StartUpLibrary() != 0) {
        fprintf(stderr, "start-up failed\n");
        return 1;
    }
    SetTargetScreen(-2);
    const std::string text = MixedString();
    const int glyphs = 200;
    const int rounds = Repeats(9, 1);
    const double minimumMs = ShortRun() ? 5 : 40;  // per case and round

    SetUse3D(0);
    // Plain glyphs, as TextOutA draws them; the edged font shows what the edge costs.
    const int memoryFont = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, -1, -1);
    const int edgedFont = CreateFontToHandle(nullptr, 16, -1, 1, -1, -1, 0, -1, -1);
    SetUse3D(1);
    const int textureFont = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, -1, -1);
    if (memoryFont == -1 || textureFont == -1 || FontHandleToRecord(textureFont)->textureMode != 1) {
        fprintf(stderr, "fonts could not be made (texture cache: %d)\n",
                textureFont == -1 ? -1 : FontHandleToRecord(textureFont)->textureMode);
        ShutDownLibrary();
        return 1;
    }

    MEMIMG image;
    std::memset(&image, 0, sizeof(image));
    const int width = DrawFontString(0, 0, 0, 0, 1.0, 1.0, text.c_str(), 0, nullptr, nullptr, 0, memoryFont, 0, -1,
                                     0, nullptr) + 16;
    InitMemImage(&image, width, 32, -1, 0, kMemImgColor32, 0, 0, 0);
    const int clip[4] = {0, 0, width, 32};
    auto drawMemory = [&] {
        DrawFontString(1, 0, 0, 0, 1.0, 1.0, text.c_str(), 0xFFFFFF, &image, clip, 1, memoryFont, 0, -1, 0, nullptr);
    };
    const RECT area = GetDrawState().drawArea;
    const int screenClip[4] = {area.left, area.top, area.right, area.bottom};
    auto drawTexture = [&] {
        DrawFontString(1, 0, 100, 0, 1.0, 1.0, text.c_str(), 0xFFFFFF, nullptr, screenClip, 1, textureFont, 0, -1, 0,
                       nullptr);
        FlushVertexBatch3D();
    };

    // The baseline: GDI drawing the same string with the same font into a DIB section.
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -32;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ oldBitmap = SelectObject(dc, dib);
    HGDIOBJ oldFont = SelectObject(dc, FontHandleToRecord(memoryFont)->fontObject);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));

    enum { kMemoryWarm, kEdgedWarm, kMemoryCold, kTextureWarm, kTextureCold, kGdi, kCases };
    std::vector<double> rate[kCases], warmColdMemory, warmColdTexture, memoryGdi, textureGdi;
    for (int round = 0; round < rounds; ++round) {
        double r[kCases];
        r[kGdi] = GlyphsPerMs(glyphs, minimumMs, [&] {
            TextOutA(dc, 0, 0, text.c_str(), (int)text.size());
            GdiFlush();
        });
        r[kMemoryWarm] = GlyphsPerMs(glyphs, minimumMs, drawMemory);
        r[kEdgedWarm] = GlyphsPerMs(glyphs, minimumMs, [&] {
            DrawFontString(1, 0, 0, 0, 1.0, 1.0, text.c_str(), 0xFFFFFF, &image, clip, 1, edgedFont, 0, -1, 0,
                           nullptr);
        });
        r[kMemoryCold] = GlyphsPerMs(glyphs, minimumMs, [&] {
            ClearGlyphCache(memoryFont);
            drawMemory();
        });
        r[kTextureWarm] = GlyphsPerMs(glyphs, minimumMs, drawTexture);
        r[kTextureCold] = GlyphsPerMs(glyphs, minimumMs, [&] {
            ClearGlyphCache(textureFont);
            drawTexture();
        });
        for (int c = 0; c < kCases; ++c) rate[c].push_back(r[c]);
        warmColdMemory.push_back(r[kMemoryWarm] / r[kMemoryCold]);
        warmColdTexture.push_back(r[kTextureWarm] / r[kTextureCold]);
        memoryGdi.push_back(r[kMemoryWarm] / r[kGdi]);
        textureGdi.push_back(r[kTextureWarm] / r[kGdi]);
    }
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(dib);
    DeleteDC(dc);
    const double memoryWarm = Median(rate[kMemoryWarm]), memoryCold = Median(rate[kMemoryCold]);
    const double edgedWarm = Median(rate[kEdgedWarm]), textureWarm = Median(rate[kTextureWarm]);
    const double textureCold = Median(rate[kTextureCold]), gdi = Median(rate[kGdi]);

    printf("font_glyphs: 200-character mixed string, glyphs per ms of CPU, medians of %d rounds\n", rounds);
    printf("  memory path, warm cache:  %10.1f\n", memoryWarm);
    printf("  memory path, cold cache:  %10.1f\n", memoryCold);
    printf("  memory path, edged, warm: %10.1f\n", edgedWarm);
    printf("  texture path, warm cache: %10.1f\n", textureWarm);
    printf("  texture path, cold cache: %10.1f\n", textureCold);
    printf("  GDI TextOutA (baseline):  %10.1f\n", gdi);
    printf("  ratio warm / cold, memory:  %6.1f (goal >= 10)\n", Median(warmColdMemory));
    printf("  ratio warm / cold, texture: %6.1f (goal >= 10)\n", Median(warmColdTexture));
    printf("  ratio memory warm / TextOutA: %6.2f (goal >= 1)\n", Median(memoryGdi));
    printf("  ratio texture warm / TextOutA: %6.2f\n", Median(textureGdi));

    ReleaseMemImage(&image);
    DeleteFontHandle(memoryFont);
    DeleteFontHandle(edgedFont);
    DeleteFontHandle(textureFont);
    ShutDownLibrary();
    return 0;
}
