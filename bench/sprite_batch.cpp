// Sprites through the Direct3D vertex batch: how many 32 x 32 alpha-blended textured quads the batch takes per
// millisecond of CPU (the batch alone, and with the device drawing what it sends), and how many DrawPrimitive
// calls a match screen of about 600 small sprites costs per frame. Scenes are ended and the back screen presented
// (unpaced) in chunks of quads, as frames would: one scene of millions of quads exhausts a 32-bit address space in
// the device. Prints the figures and the device's cost as a ratio to the batch alone.
#include <windows.h>

#include <stdint.h>
#include <stdio.h>

#include <cstring>
#include <vector>

#include "graphics/d3d/d3d_device.h"
#include "graphics/d3d/d3d_state.h"
#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/image/image.h"
#include "graphics/d3d/surface3d.h"
#include "graphics/ddraw/present.h"
#include "bench/bench_timing.h"
#include "runtime/memory.h"
#include "runtime/runtime.h"
#include "tests/graphics/d3d/test_d3d_counting_device.h"

namespace {

// CPU time of the process (user and kernel) in milliseconds.
double CpuMilliseconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

// A texture graph of one colour with a soft alpha edge.
int MakeSprite(int width, int height, uint32_t rgb) {
    GraphImage image;
    std::memset(&image, 0, sizeof(image));
    SetColorFormatFromMasksImpl(&image.format, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
    image.width = width, image.height = height, image.pitch = width * 4;
    image.pixels = TrackedAlloc(static_cast<size_t>(image.pitch) * height, __FILE__, __LINE__);
    if (image.pixels == nullptr) return -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool edge = x == 0 || y == 0 || x == width - 1 || y == height - 1;
            static_cast<uint32_t*>(image.pixels)[y * width + x] = (edge ? 0x80000000u : 0xFF000000u) | rgb;
        }
    }
    const int graph = CreateGraphOrFail(width, height, 1, 1, 0);
    GraphRecord* g = GetGraphRecord(graph);
    if (g == nullptr || BltImageToGraph3D(0, 0, g, &image, nullptr) != 0) return -1;
    ReleaseGraphImage(&image);
    return graph;
}

void UseBackScreen() {
    SetTargetScreenImpl(-2);
    GetDrawState().target = -2;
    SelectDrawTarget3D(-2);
    DrawState& s = GetDrawState();
    s.drawArea = RECT{0, 0, 640, 480};
    SetDrawAreaViewport3D(&s.drawArea);
}

void SetBlend(int mode, int parameter) {
    GetDrawState().blendMode = static_cast<unsigned int>(mode);
    GetDrawState().blendParameter = parameter;
    UpdateDrawColor3D();
}

// Quads per millisecond of CPU for `count` draws of one 32 x 32 sprite in alpha blending.
double QuadsPerMillisecond(int sprite, int count, bool deviceDraws) {
    Device3D* d = CurrentDevice3D();
    const int savedSkip = d->skipDraw;
    // A frame's worth of quads at most per scene.
    constexpr int kChunk = 5000;
    const double start = CpuMilliseconds();
    double presenting = 0.0;
    const GraphRecord* g = GetGraphRecord(sprite);
    for (int i = 0; i < count; ++i) {
        DrawGraph3D(static_cast<float>((i * 37) % 600), static_cast<float>((i * 53) % 440), g, 1, 1);
        // Without the device the batch's vertices are discarded at each flush, as they are while skip-draw is set.
        if (!deviceDraws) d->skipDraw = 1;
        if ((i + 1) % kChunk == 0) {
            FlushVertexBatch3D();
            EndCurrentScene3D();
            // The present lets the device retire what it was sent; its cost is not the batch's.
            const double before = CpuMilliseconds();
            PresentBackScreenUnpacedImpl();
            presenting += CpuMilliseconds() - before;
        }
    }
    FlushVertexBatch3D();
    EndCurrentScene3D();
    const double elapsed = CpuMilliseconds() - start - presenting;
    d->skipDraw = savedSkip;
    return elapsed > 0.0 ? count / elapsed : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    ReadBenchArguments(argc, argv);
    ChangeWindowMode(1);
    SetLogFileEnabled(0);
    if (StartUpLibrary() != 0 || GetDirect3DState().started != 1) {
        printf("sprite_batch: Direct3D did not start\n");
        return 1;
    }
    UseBackScreen();
    const int sprite = MakeSprite(32, 32, 0x40A0E0);
    if (sprite < 0) {
        printf("sprite_batch: cannot make the sprite\n");
        return 1;
    }
    SetBlend(1, 192);

    const int quads = Repeats(2000000, 20000);  // enough CPU time for the coarse process clock
    QuadsPerMillisecond(sprite, 2000, true);  // warm-up
    const double batchOnly = QuadsPerMillisecond(sprite, quads, false);
    const double withDevice = QuadsPerMillisecond(sprite, quads, true);
    printf("32x32 alpha-blended quads per ms of CPU: %.0f (batch only), %.0f (device drawing)\n", batchOnly,
           withDevice);
    printf("ratio batch only / device drawing (quads per ms): %.2f\n", withDevice > 0 ? batchOnly / withDevice : 0.0);

    // A match screen: two fields of 22 x 10 cells, each cell one of seven block graphs, their next pieces, the
    // faces, gauges and score digits around them, drawn in the game's order over a background.
    int blocks[7];
    const uint32_t colours[7] = {0xE04040, 0x40E040, 0x4040E0, 0xE0E040, 0xE040E0, 0x40E0E0, 0xE0A040};
    for (int i = 0; i < 7; ++i) blocks[i] = MakeSprite(16, 16, colours[i]);
    const int background = MakeSprite(256, 256, 0x202040);
    const int face = MakeSprite(64, 64, 0xC0C0C0);
    const int digit = MakeSprite(16, 24, 0xFFFFFF);
    const int gauge = MakeSprite(8, 32, 0x40FF40);
    uint32_t seed = 12345;
    auto next = [&seed]() { return (seed = seed * 1103515245u + 12345u) >> 16; };
    std::vector<int> cells(2 * 22 * 10);
    for (int& c : cells) c = static_cast<int>(next() % 9);  // 0, 1: empty
    int sprites = 0;
    auto frame = [&]() {
        sprites = 0;
        SetBlend(0, 255);
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 3; ++x, ++sprites) DrawGraph3D(x * 256.0f, y * 256.0f, GetGraphRecord(background), 0, 1);
        }
        for (int side = 0; side < 2; ++side) {
            for (int row = 0; row < 22; ++row) {
                for (int col = 0; col < 10; ++col) {
                    const int c = cells[(side * 22 + row) * 10 + col];
                    if (c < 2) continue;
                    DrawGraph3D(40.0f + side * 320 + col * 16, 60.0f + row * 16, GetGraphRecord(blocks[c - 2]), 1, 1);
                    ++sprites;
                }
            }
            for (int piece = 0; piece < 3; ++piece) {
                for (int b = 0; b < 4; ++b, ++sprites) {
                    DrawGraph3D(210.0f + side * 320 + b * 16, 60.0f + piece * 48, GetGraphRecord(blocks[piece]), 1, 1);
                }
            }
            SetBlend(1, 200);
            DrawGraph3D(220.0f + side * 320, 300, GetGraphRecord(face), 1, 1);
            ++sprites;
            for (int i = 0; i < 12; ++i, ++sprites) DrawGraph3D(210.0f + side * 320 + i * 8, 400, GetGraphRecord(gauge), 1, 1);
            SetBlend(0, 255);
            for (int i = 0; i < 8; ++i, ++sprites) DrawGraph3D(200.0f + side * 320 + i * 14, 20, GetGraphRecord(digit), 1, 1);
        }
        // Falling-piece shadows and effects over everything.
        SetBlend(2, 128);
        while (sprites < 600) {
            DrawGraph3D(static_cast<float>(next() % 600), static_cast<float>(next() % 440), GetGraphRecord(blocks[next() % 7]), 1, 1);
            ++sprites;
        }
        SetBlend(0, 255);
        FlushVertexBatch3D();
        EndCurrentScene3D();
    };
    frame();  // settles every state once
    const int frames = Repeats(200, 10);
    int drawCalls = 0;
    double cpu = 0.0;
    {
        CountingDeviceScope seam;
        const double start = CpuMilliseconds();
        for (int f = 0; f < frames; ++f) frame();
        cpu = CpuMilliseconds() - start;
        drawCalls = seam->count(DeviceCall::kDraw) + seam->count(DeviceCall::kDrawIndexed);
    }
    printf("match screen of %d sprites: %.1f DrawPrimitive calls per frame, %.3f ms CPU per frame\n", sprites,
           static_cast<double>(drawCalls) / frames, cpu / frames);

    ReleaseAllGraphs(0);
    ShutDownLibrary();
    return 0;
}
