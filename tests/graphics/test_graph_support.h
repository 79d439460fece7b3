// Pieces the graph, surface and 2D back-end tests share: the runtime started on the 2D road (no Direct3D), decoded
// test pictures with colour-keyed pixels, and pixel reads from surfaces and software images.
#pragma once

#include "tests/graphics/test_display_fixture.h"

#include <cstring>
#include <vector>

#include "graphics/color/color_format.h"
#include "graphics/ddraw/display.h"
#include "graphics/image/image.h"
#include "graphics/color/memimg.h"

// The game's start with the no-3D request: graphs take the 2D path.
inline int StartRuntimeOn2DRoad() {
    SetSoftwareRenderRequest(1);
    return StartRuntimeInWindow();
}

// The colour of the test pattern: the transparent colour (black) on the diagonal x == y and in column 0, else a
// colour that tells its position.
inline uint32_t PatternColour(int x, int y) {
    if (x == y || x == 0) return 0x000000;
    return 0x400000u | ((uint32_t)((x * 8) & 0xF8) << 8) | (uint32_t)((0x10 + y * 8) & 0xF8);
}

// A pixel of a software image as 0x00RRGGBB.
inline uint32_t MemImagePixelRgb(const MEMIMG& image, int x, int y) {
    uint32_t v = 0;
    const int bytes = image.format->bytesPerPixel;
    std::memcpy(&v, image.pixels + (size_t)y * image.pitch + (size_t)x * bytes, bytes);
    const ColorFormat* f = image.format;
    auto channel = [v](uint32_t mask, int shift, int width) -> uint32_t {
        if (width == 0) return 0;
        const uint32_t c = (v & mask) >> shift;
        return (c << (8 - width)) & 0xFF;
    };
    return channel(f->redMask, f->redShift, f->redWidth) << 16 | channel(f->greenMask, f->greenShift, f->greenWidth) << 8 |
           channel(f->blueMask, f->blueShift, f->blueWidth);
}

// Rows of pixels of a DirectDraw surface, read in one lock (0x00RRGGBB of a 32-bit surface).
inline std::vector<uint32_t> ReadSurfaceBlock(IDirectDrawSurface7* surface, const RECT& rect) {
    std::vector<uint32_t> out;
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    if (FAILED(surface->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) return out;
    const int bytes = desc.ddpfPixelFormat.dwRGBBitCount / 8;
    for (int y = rect.top; y < rect.bottom; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(desc.lpSurface) + (size_t)y * desc.lPitch;
        for (int x = rect.left; x < rect.right; ++x) {
            uint32_t v = 0;
            std::memcpy(&v, row + (size_t)x * bytes, bytes);
            out.push_back(v & 0xFFFFFF);
        }
    }
    surface->Unlock(nullptr);
    return out;
}

inline void FillSurface(IDirectDrawSurface7* surface, uint32_t value) {
    DDBLTFX fx;
    std::memset(&fx, 0, sizeof(fx));
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = value;
    surface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
}
