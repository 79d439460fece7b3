// The screen mask: one byte per screen pixel saying where drawing may land, the mask surface (or software image)
// that a masked draw goes through, the two rectangle copies around such a draw, and the mask data table, which
// this runtime only ever empties.
#include "graphics/mask.h"

#include <cstring>

#include "graphics/color/color_convert.h"
#include "graphics/d3d/d3d_draw.h"
#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw.h"
#include "graphics/draw_state.h"
#include "graphics/image/image.h"
#include "graphics/color/memimg.h"
#include "runtime/handle.h"
#include "runtime/log.h"
#include "runtime/memory.h"
#include "runtime/message_pump.h"

namespace {

// The colour that marks a forbidden pixel in the mask surface; a draw in exactly this colour is lost under a mask.
constexpr int kMaskRed = 0xF8, kMaskGreen = 0x00, kMaskBlue = 0xF8;

struct MaskScreen {
    uint8_t* bytes;  // tracked; kept across a device loss (plain memory)
    int pitch;       // row bytes: the width rounded up to 4
    int width, height;
    IDirectDrawSurface7* surface;
    MEMIMG image;
    int imageInUse;
    int surfaceInVideo;
    uint32_t colorKey;  // the mask colour in the surface's (or image's) format
    int reverse;
};
MaskScreen g_mask = {};

struct MaskDataRecord {
    int checkId;
    void* data;
    int unused[4];
    int inUse;
};
HandleTable<MaskDataRecord> g_maskData(kHandleTypeMaskData, 512);

bool HasMaskStore() { return g_mask.surface != nullptr || g_mask.imageInUse; }

// The rectangle clipped to the draw area and to the mask's own size (a target larger than the screen must not reach
// past the mask's rows).
RECT ClipToMask(const RECT& rect) {
    RECT r = rect;
    const RECT& area = GetDrawState().drawArea;
    if (r.left < area.left) r.left = area.left;
    if (r.top < area.top) r.top = area.top;
    if (r.right > area.right) r.right = area.right;
    if (r.bottom > area.bottom) r.bottom = area.bottom;
    if (r.left < 0) r.left = 0;
    if (r.top < 0) r.top = 0;
    if (r.right > g_mask.width) r.right = g_mask.width;
    if (r.bottom > g_mask.height) r.bottom = g_mask.height;
    return r;
}

bool IsEmpty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

// Pending Direct3D vertices belong to the mask surface (the render target while masking): they must land before
// the surface is read or locked.
void SettleDirect3D() {
    FlushVertexBatch3D();
    EndCurrentScene3D();
}

bool LockRect(IDirectDrawSurface7* surface, RECT* rect, DWORD flags, DDSURFACEDESC2* desc) {
    std::memset(desc, 0, sizeof(*desc));
    desc->dwSize = sizeof(*desc);
    return SUCCEEDED(surface->Lock(rect, desc, flags | DDLOCK_WAIT, nullptr));
}

int MakeMaskSurface(int width, int height) {
    const DisplayState& display = GetDisplayState();
    if (IsMemImgDrawMode() && display.screenBits != 8) {
        if (InitMemImageDefault(&g_mask.image, width, height, -1) != 0) {
            FatalError("マスク用 MEMIMG の作成に失敗しました");
        }
        g_mask.colorKey = RgbaToFormatValue(g_mask.image.format, kMaskRed, kMaskGreen, kMaskBlue, 255);
        g_mask.image.colorKey = g_mask.colorKey;
        g_mask.imageInUse = 1;
        return 0;
    }
    IDirectDraw7* object = GetDisplayObject();
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    desc.dwWidth = width;
    desc.dwHeight = height;
    // Direct3D draws into the mask surface while masking, so it is made as a render target.
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | (IsMemImgDrawMode() ? DDSCAPS_SYSTEMMEMORY : DDSCAPS_3DDEVICE);
    if (object == nullptr || FAILED(object->CreateSurface(&desc, &g_mask.surface, nullptr))) {
        g_mask.surface = nullptr;
        FatalError("マスク用サーフェスの作成に失敗しました");
    }
    // Only the channel bits: bits of no channel are not compared by every driver.
    g_mask.colorKey = static_cast<uint32_t>(RgbToScreenPixelImpl(kMaskRed, kMaskGreen, kMaskBlue)) &
                      ~GetScreenColorFormat()->noneMask;
    DDCOLORKEY key = {g_mask.colorKey, g_mask.colorKey};
    g_mask.surface->SetColorKey(DDCKEY_SRCBLT, &key);
    DDSCAPS2 caps;
    std::memset(&caps, 0, sizeof(caps));
    g_mask.surfaceInVideo = SUCCEEDED(g_mask.surface->GetCaps(&caps)) && (caps.dwCaps & DDSCAPS_VIDEOMEMORY) ? 1 : 0;
    return 0;
}

}  // namespace

int AllocMaskScreen(int makeBytes, int makeSurface) {
    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    if (makeBytes && g_mask.bytes == nullptr) {
        const int pitch = (width + 3) / 4 * 4;
        auto* bytes = static_cast<uint8_t*>(KV_ALLOC(static_cast<size_t>(pitch) * height));
        if (bytes == nullptr) {
            WriteLog("マスクスクリーン用のメモリの確保に失敗しました\n");
            return -1;
        }
        std::memset(bytes, 0, static_cast<size_t>(pitch) * height);
        g_mask.bytes = bytes;
        g_mask.pitch = pitch;
        g_mask.width = width;
        g_mask.height = height;
    }
    if (makeSurface && !HasMaskStore()) MakeMaskSurface(width, height);
    return 0;
}

int ReleaseMaskScreen() {
    // The bytes are plain memory and survive a device loss; only what lives on the device goes.
    if (g_mask.surface != nullptr) g_mask.surface->Release();
    g_mask.surface = nullptr;
    g_mask.surfaceInVideo = 0;
    if (g_mask.imageInUse) ReleaseMemImage(&g_mask.image);
    g_mask.imageInUse = 0;
    return 0;
}

int RestoreMaskScreen() {
    const DrawState& s = GetDrawState();
    if (!s.maskPresent) return 0;
    AllocMaskScreen(1, 1);
    if (s.maskDrawRequested) SetMaskDrawFlag(1);
    return 0;
}

int FreeMaskScreen() {
    WaitWhileInactive();
    DrawState& s = GetDrawState();
    if (s.maskDrawActive) {
        const int requested = s.maskDrawRequested;
        SetMaskDrawFlag(0);
        s.maskDrawRequested = requested;
    }
    ReleaseMaskScreen();
    TrackedFree(g_mask.bytes);
    g_mask.bytes = nullptr;
    g_mask.pitch = g_mask.width = g_mask.height = 0;
    g_mask.reverse = 0;
    s.maskPresent = 0;
    s.maskDrawActive = 0;
    return 0;
}

int SetMaskDrawFlag(int on) {
    if (g_mask.bytes == nullptr) return -1;
    DrawState& s = GetDrawState();
    s.maskDrawRequested = on;
    s.maskDrawActive = (on && s.maskPresent) ? 1 : 0;
    RefreshWindowDrawRect();
    ResetScreenViewport3D(s.maskDrawActive);
    return 0;
}

int GetMaskDrawFlag() { return GetDrawState().maskDrawRequested; }

IDirectDrawSurface7* GetMaskSurface() { return g_mask.surface; }

MEMIMG* GetMaskMemImg() { return g_mask.imageInUse ? &g_mask.image : nullptr; }

int IsMaskSurfaceInVideoMemory() { return g_mask.surface != nullptr ? g_mask.surfaceInVideo : 0; }

int CopyToMaskSurface(const RECT* rect, IDirectDrawSurface7* sourceSurface, const GraphImage* sourceImage,
                      int sourceX, int sourceY) {
    if (rect == nullptr || !HasMaskStore()) return 0;
    RECT r = ClipToMask(*rect);
    if (IsEmpty(r)) return 0;
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (g_mask.imageInUse) {
        if (sourceImage == nullptr) return 0;
        if (r.right > sourceImage->width || r.bottom > sourceImage->height) return 0;
        return TransferImageToMemImg(sourceImage, nullptr, &g_mask.image, r.left, r.top, w, h, r.left, r.top, 0) < 0
                   ? -1
                   : 0;
    }
    SettleDirect3D();
    if (sourceSurface != nullptr) {
        RECT source = {r.left + sourceX, r.top + sourceY, r.right + sourceX, r.bottom + sourceY};
        return SUCCEEDED(g_mask.surface->BltFast(r.left, r.top, sourceSurface, &source, DDBLTFAST_WAIT)) ? 0 : -1;
    }
    if (sourceImage == nullptr || r.right > sourceImage->width || r.bottom > sourceImage->height) return 0;
    DDSURFACEDESC2 desc;
    if (!LockRect(g_mask.surface, &r, DDLOCK_WRITEONLY, &desc)) return -1;
    const RECT src = r;
    ColorFormatConvertBlt(desc.lpSurface, desc.lPitch, GetScreenColorFormat(), sourceImage->pixels,
                          sourceImage->pitch, &sourceImage->format, nullptr, 0, nullptr, 0, 0, &src, 0, 0, 0,
                          kDitherNone, 0, 0, 0);
    g_mask.surface->Unlock(&r);
    return 0;
}

int RebuildMaskSurfaceRect(const RECT* rect) {
    if (rect == nullptr || !GetDrawState().maskDrawActive || !HasMaskStore() || g_mask.bytes == nullptr) return 0;
    RECT r = ClipToMask(*rect);
    if (IsEmpty(r)) return 0;
    uint8_t* pixels = nullptr;
    int pitch = 0, bytesPerPixel = 0;
    DDSURFACEDESC2 desc;
    if (g_mask.imageInUse) {
        pixels = g_mask.image.pixels + static_cast<size_t>(r.top) * g_mask.image.pitch +
                 static_cast<size_t>(r.left) * g_mask.image.format->bytesPerPixel;
        pitch = g_mask.image.pitch;
        bytesPerPixel = g_mask.image.format->bytesPerPixel;
    } else {
        SettleDirect3D();
        if (!LockRect(g_mask.surface, &r, 0, &desc)) return -1;
        pixels = static_cast<uint8_t*>(desc.lpSurface);
        pitch = desc.lPitch;
        bytesPerPixel = static_cast<int>(desc.ddpfPixelFormat.dwRGBBitCount / 8);
    }
    const uint8_t forbiddenIsZero = g_mask.reverse ? 1 : 0;
    const uint32_t key = g_mask.colorKey;
    for (int y = r.top; y < r.bottom; ++y) {
        const uint8_t* maskRow = g_mask.bytes + static_cast<size_t>(y) * g_mask.pitch;
        uint8_t* row = pixels + static_cast<size_t>(y - r.top) * pitch;
        for (int x = r.left; x < r.right; ++x) {
            if ((maskRow[x] == 0) != (forbiddenIsZero != 0)) continue;
            std::memcpy(row + static_cast<size_t>(x - r.left) * bytesPerPixel, &key, bytesPerPixel);
        }
    }
    if (!g_mask.imageInUse) g_mask.surface->Unlock(&r);
    return 0;
}

int ReleaseMaskData(int handle) {
    if (HandleTypeOf(handle) != kHandleTypeMaskData || HandleSlotOf(handle) >= 512 || handle < 0) return -1;
    MaskDataRecord* record = g_maskData.get(handle);
    if (record == nullptr || !record->inUse) return -1;
    TrackedFree(record->data);
    return g_maskData.remove(handle);
}

int ReleaseAllMaskData() {
    g_maskData.forEach([](int handle, MaskDataRecord* record) {
        if (record->inUse) ReleaseMaskData(handle);
    });
    g_maskData.clear();
    return 0;
}

int MakeMaskScreenForTest(int drawOn, int reverse) {
    if (AllocMaskScreen(1, 1) != 0) return -1;
    GetDrawState().maskPresent = 1;
    g_mask.reverse = reverse;
    return SetMaskDrawFlag(drawOn);
}

uint8_t* GetMaskBytesForTest(int* pitch) {
    if (pitch != nullptr) *pitch = g_mask.pitch;
    return g_mask.bytes;
}

int AddMaskDataForTest(void* data) {
    const int handle = g_maskData.add();
    if (handle == -1) return -1;
    MaskDataRecord* record = g_maskData.get(handle);
    record->data = data;
    record->inUse = 1;
    return handle;
}
