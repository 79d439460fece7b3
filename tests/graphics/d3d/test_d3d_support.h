// What the Direct3D back-end tests share: the runtime started in a window with Direct3D (one start per suite),
// self-describing pictures whose every texel tells its position, graphs made of them on the texture path, the draw
// settings the back end reads, and the back screen read back as 0x00RRGGBB once the pending vertices are drawn.
#pragma once

#include "tests/graphics/test_display_fixture.h"

#include <stdio.h>

#include <cstring>
#include <string>
#include <vector>

#include "graphics/d3d/d3d_device.h"
#include "graphics/d3d/d3d_state.h"
#include "graphics/d3d/d3d_surface.h"
#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/image/image.h"
#include "runtime/memory.h"
#include "runtime/runtime.h"

// Texel colour of the position pattern: red and green carry the low bits of x and y, blue their high bits (0x40 is
// always set, so no texel is black, the transparent colour).
inline uint32_t PatternTexel(int x, int y) {
    return (static_cast<uint32_t>(x) & 0xFF) << 16 | (static_cast<uint32_t>(y) & 0xFF) << 8 | 0x40u |
           ((static_cast<uint32_t>(x) >> 8) & 3) << 2 | ((static_cast<uint32_t>(y) >> 8) & 3);
}

// A picture whose pixel (x, y) is colourAt(x, y): 24-bit 0x00RRGGBB, or 32-bit 0xAARRGGBB with withAlpha.
template <typename Fn>
GraphImage MakeD3DPicture(int width, int height, bool withAlpha, Fn colourAt) {
    GraphImage image;
    std::memset(&image, 0, sizeof(image));
    if (!withAlpha) {
        if (CreateGraphImage(width, height, &image) != 0) return image;
    } else {
        SetColorFormatFromMasksImpl(&image.format, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
        image.width = width;
        image.height = height;
        image.pitch = width * 4;
        image.pixels = TrackedAlloc(static_cast<size_t>(image.pitch) * height, __FILE__, __LINE__);
        if (image.pixels == nullptr) return image;
    }
    const int bytes = withAlpha ? 4 : 3;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = static_cast<uint8_t*>(image.pixels) + static_cast<size_t>(y) * image.pitch;
        for (int x = 0; x < width; ++x) {
            const uint32_t c = colourAt(x, y);
            std::memcpy(row + static_cast<size_t>(x) * bytes, &c, bytes);
        }
    }
    return image;
}

// A graph on the texture path holding the picture colourAt; -1 when it cannot be made or filled.
template <typename Fn>
int MakeD3DGraph(int width, int height, bool withAlpha, Fn colourAt) {
    GraphImage image = MakeD3DPicture(width, height, withAlpha, colourAt);
    if (image.pixels == nullptr) return -1;
    const int graph = CreateGraphOrFail(width, height, 1, withAlpha ? 1 : 0, 0);
    GraphRecord* g = GetGraphRecord(graph);
    if (g == nullptr || g->creation[kCreateTexture] != 1 || BltImageToGraph3D(0, 0, g, &image, nullptr) != 0) {
        if (g != nullptr) ReleaseGraphImpl(graph, 0);
        ReleaseGraphImage(&image);
        return -1;
    }
    ReleaseGraphImage(&image);
    return graph;
}

inline int MakePatternGraph(int width, int height) { return MakeD3DGraph(width, height, false, PatternTexel); }

// Draws what is pending and closes the scene, so that the back surface holds every draw made so far.
inline void SettleD3D() {
    FlushVertexBatch3D();
    EndCurrentScene3D();
}

inline uint32_t Widen(uint32_t value, uint32_t mask) {
    if (mask == 0) return 0;
    int shift = 0, width = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    while (shift + width < 32 && ((mask >> (shift + width)) & 1) != 0) ++width;
    const uint32_t c = (value & mask) >> shift;
    return width >= 8 ? (c >> (width - 8)) : (c << (8 - width));
}

// Pixels of a surface in the rectangle, row by row, as 0xAARRGGBB (alpha 0xFF when the surface has none).
inline std::vector<uint32_t> ReadSurfaceRect(IDirectDrawSurface7* surface, const RECT& rect) {
    std::vector<uint32_t> out;
    if (surface == nullptr) return out;
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    if (FAILED(surface->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) return out;
    const DDPIXELFORMAT& f = desc.ddpfPixelFormat;
    const int bytes = static_cast<int>(f.dwRGBBitCount / 8);
    const bool alpha = (f.dwFlags & DDPF_ALPHAPIXELS) != 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(desc.lpSurface) + static_cast<size_t>(y) * desc.lPitch;
        for (int x = rect.left; x < rect.right; ++x) {
            uint32_t v = 0;
            std::memcpy(&v, row + static_cast<size_t>(x) * bytes, bytes);
            out.push_back((alpha ? Widen(v, f.dwRGBAlphaBitMask) : 0xFFu) << 24 | Widen(v, f.dwRBitMask) << 16 |
                          Widen(v, f.dwGBitMask) << 8 | Widen(v, f.dwBBitMask));
        }
    }
    surface->Unlock(nullptr);
    return out;
}

// The back screen over the rectangle as 0x00RRGGBB.
inline std::vector<uint32_t> ReadBack(const RECT& rect) {
    SettleD3D();
    std::vector<uint32_t> pixels = ReadSurfaceRect(GetBackSurface(), rect);
    for (uint32_t& p : pixels) p &= 0xFFFFFF;
    return pixels;
}

inline uint32_t ReadBackAt(int x, int y) {
    const std::vector<uint32_t> one = ReadBack(RECT{x, y, x + 1, y + 1});
    return one.empty() ? 0xFFFFFFFFu : one[0];
}

inline void FillBack(uint32_t rgb) {
    SettleD3D();
    DDBLTFX fx;
    std::memset(&fx, 0, sizeof(fx));
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = RgbToScreenPixelImpl((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
    GetBackSurface()->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
}

// Compares the back screen over `rect` with expected(x, y) (per channel within `tolerance`); "" when equal, else
// the first differences and their number.
template <typename Fn>
std::string CompareBack(const RECT& rect, Fn expected, int tolerance = 0) {
    const std::vector<uint32_t> got = ReadBack(rect);
    if (got.empty()) return "the back screen cannot be read";
    return DescribePixelDifferences(rect, got, expected, tolerance);
}

// ---- Draw settings as the draw entries leave them for the back end ----
inline void SetD3DBlend(int mode, int parameter) {
    DrawState& s = GetDrawState();
    s.blendMode = static_cast<unsigned int>(mode);
    s.blendParameter = parameter;
    UpdateDrawColor3D();
}

inline void SetD3DColorScale(uint32_t rgb) {
    GetDrawState().colorScale = rgb & 0xFFFFFF;
    UpdateDrawColor3D();
}

inline void SetD3DDrawArea(int left, int top, int right, int bottom) {
    DrawState& s = GetDrawState();
    s.drawArea = RECT{left, top, right, bottom};
    s.drawAreaF[0] = static_cast<float>(left), s.drawAreaF[1] = static_cast<float>(top);
    s.drawAreaF[2] = static_cast<float>(right), s.drawAreaF[3] = static_cast<float>(bottom);
    s.areaEmpty = (left == right || top == bottom) ? 1 : 0;
    SetDrawAreaViewport3D(&s.drawArea);
}

// The back screen as draw target with the whole screen as draw area, the way the game draws.
inline void UseBackScreenD3D() {
    SettleD3D();
    SetTargetScreenImpl(-2);
    GetDrawState().target = -2;
    SelectDrawTarget3D(-2);
    GetDrawState().windowDrawRect = RECT{0, 0, 0, 0};
    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    SetD3DDrawArea(0, 0, width, height);
}

inline void ResetD3DSettings() {
    DrawState& s = GetDrawState();
    s.blendGraph = -1;
    s.blendGraphBorder = s.blendGraphRange = 0;
    s.filterMode = 0;
    s.zTest = s.zWrite = 0;
    s.cullMode = 0;
    s.colorScale = 0xFFFFFF;
    SetD3DBlend(0, 255);
    SetBlendTexture3D(nullptr, 0, 0);
    SetTextureFilter3D(0);
}

// One runtime for a whole suite (starting DirectX takes a while); each test starts on the back screen with the
// game's default draw settings and the device's own texture limits, and its graphs are released after it.
class Direct3DTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        SetSoftwareRenderRequest(0);
        startResult_ = StartRuntimeInWindow();
    }
    static void TearDownTestSuite() {
        if (startResult_ == 0) ShutDownLibrary();
        startResult_ = -1;
    }
    void SetUp() override {
        ASSERT_EQ(startResult_, 0);
        ASSERT_EQ(GetDirect3DState().started, 1) << "Direct3D did not come up";
        limits_[0] = GetDirect3DState().minTextureSize;
        limits_[1] = GetDirect3DState().maxTextureSize;
        ResetD3DSettings();
        UseBackScreenD3D();
        // Graphs an earlier suite kept past its shut-down would count against this test's tables.
        ReleaseAllGraphsImpl(0);
    }
    void TearDown() override {
        SettleD3D();
        ResetD3DSettings();
        GetDirect3DState().minTextureSize = limits_[0];
        GetDirect3DState().maxTextureSize = limits_[1];
        ReleaseAllGraphsImpl(0);
    }
    // Pieces of at most `size` pixels along each side (the device's own limit is far larger).
    static void LimitTextureSize(unsigned int size) { GetDirect3DState().maxTextureSize = size; }

private:
    static inline int startResult_ = -1;
    unsigned int limits_[2] = {0, 0};
    DisplayWatchdog watchdog_{300};
};
