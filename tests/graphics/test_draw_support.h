// What the draw, restore and derive tests share: the runtime started in a window on the road the game takes,
// pictures whose every pixel tells where it came from, graphs made from them, and the back screen read back as
// 0x00RRGGBB after the pending Direct3D vertices are drawn.
#pragma once

#include "tests/graphics/test_display_fixture.h"

#include <stdio.h>

#include <cstring>
#include <string>
#include <vector>

#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw.h"
#include "graphics/graph.h"
#include "graphics/image/image.h"
#include "graphics/graphics.h"
#include "runtime/runtime.h"

// The game's start: window mode, no log file, Direct3D when the machine has it (a no-3D request of an earlier test
// in this process is withdrawn first).
inline int StartRuntimeAsTheGame() {
    SetSoftwareRenderRequest(0);
    return StartRuntimeInWindow();
}

// A test on the game's screen: the runtime started as the game starts it, drawing to the back screen, and shut
// down after each test, under a watchdog in case the display hangs.
class GameScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, StartRuntimeAsTheGame());
        ASSERT_EQ(0, SetTargetScreen(-2));
    }
    void TearDown() override { EXPECT_EQ(0, ShutDownLibrary()); }
    DisplayWatchdog watchdog_{120};
};

// Red tells the column, green the row; blue is fixed. No pixel is black (the transparent colour), and the steps of
// 8 survive a 16-bit screen.
inline uint32_t PositionColour(int x, int y) {
    return (static_cast<uint32_t>(0x20 + x * 8) & 0xF8) << 16 | (static_cast<uint32_t>(0x20 + y * 8) & 0xF8) << 8 |
           0x88;
}

// A graph of the position pattern (the way the game's images become graphs). -1 on failure.
inline int MakePositionGraph(int width, int height) {
    GraphImage image = MakeTestPicture(width, height, PositionColour);
    const int graph = MakeGraphFromGraphImage(&image);
    ReleaseGraphImage(&image);
    return graph;
}

// Draws what is pending and closes the scene, so that the back surface holds every draw made so far.
inline void SettleDrawing() {
    FlushVertexBatch3D();
    EndCurrentScene3D();
}

// Channel value of a pixel widened to 8 bits.
inline uint32_t WidenChannel(uint32_t value, uint32_t mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    int width = 0;
    while (((mask >> (shift + width)) & 1) != 0) ++width;
    uint32_t c = (value & mask) >> shift;
    return width >= 8 ? (c >> (width - 8)) : (c << (8 - width));
}

// The back screen's pixels in the rectangle (row by row) as 0x00RRGGBB; empty when the surface cannot be read.
inline std::vector<uint32_t> ReadBackScreen(const RECT& rect) {
    SettleDrawing();
    std::vector<uint32_t> out;
    IDirectDrawSurface7* surface = GetDisplayState().backSurface;
    if (surface == nullptr) return out;
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    if (FAILED(surface->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) return out;
    const DDPIXELFORMAT& f = desc.ddpfPixelFormat;
    const int bytes = static_cast<int>(f.dwRGBBitCount / 8);
    for (int y = rect.top; y < rect.bottom; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(desc.lpSurface) + static_cast<size_t>(y) * desc.lPitch;
        for (int x = rect.left; x < rect.right; ++x) {
            uint32_t v = 0;
            std::memcpy(&v, row + static_cast<size_t>(x) * bytes, bytes);
            out.push_back(WidenChannel(v, f.dwRBitMask) << 16 | WidenChannel(v, f.dwGBitMask) << 8 |
                          WidenChannel(v, f.dwBBitMask));
        }
    }
    surface->Unlock(nullptr);
    return out;
}

inline uint32_t ReadBackPixel(int x, int y) {
    const std::vector<uint32_t> one = ReadBackScreen(RECT{x, y, x + 1, y + 1});
    return one.empty() ? 0xFFFFFFFFu : one[0];
}

// Fills the back screen with one colour through the DirectDraw surface.
inline void FillBackScreen(uint32_t rgb) {
    SettleDrawing();
    IDirectDrawSurface7* surface = GetDisplayState().backSurface;
    if (surface == nullptr) return;
    DDBLTFX fx;
    std::memset(&fx, 0, sizeof(fx));
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = RgbToScreenPixel((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
    surface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
}

// Compares the back screen over `rect` with expected(x, y); a text naming the first few differences, or "".
// Colours are compared with the tolerance (per channel), enough for a 16-bit screen when it is 8.
template <typename Fn>
std::string CompareBackScreen(const RECT& rect, Fn expected, int tolerance) {
    const std::vector<uint32_t> got = ReadBackScreen(rect);
    if (got.empty()) return "the back screen cannot be read";
    return DescribePixelDifferences(rect, got, expected, tolerance);
}
