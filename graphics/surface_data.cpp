// Surface data records: the table of type-7 handles, where a record's pixels live (texture, standard DirectDraw
// surface or software image), its Z buffer, colour key, counted locks and colour fill. The 2D and 3D surface code
// share records between pieces and delete them when the last reference goes.
#include "graphics/surface_data.h"

#include <cstring>

#include "graphics/color/color_format.h"
#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/color/memimg.h"
#include "runtime/handle.h"
#include "runtime/log.h"

namespace {

HandleTable<SurfaceData> g_surfaceData(kHandleTypeSurfaceData, kSurfaceDataSlots);

// The 16-bit Z format used when the Direct3D back end has not reported one.
DDPIXELFORMAT DefaultZFormat() {
    DDPIXELFORMAT format;
    std::memset(&format, 0, sizeof(format));
    format.dwSize = sizeof(format);
    format.dwFlags = DDPF_ZBUFFER;
    format.dwZBufferBitDepth = 16;
    format.dwZBitMask = 0xFFFF;
    return format;
}

bool SurfaceInVideoMemory(IDirectDrawSurface7* surface) {
    if (surface == nullptr) return false;
    DDSCAPS2 caps;
    std::memset(&caps, 0, sizeof(caps));
    if (FAILED(surface->GetCaps(&caps))) return false;
    return (caps.dwCaps & DDSCAPS_VIDEOMEMORY) != 0;
}

int ColorFill(IDirectDrawSurface7* surface, DWORD value) {
    DDBLTFX fx;
    std::memset(&fx, 0, sizeof(fx));
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = value;
    return SUCCEEDED(surface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx)) ? 0 : -1;
}

// Zeroes a texture through a lock of the whole surface: the same zero pixels as a colour-fill blit, but the pixels
// stay where the lock put them. A blit fills the texture where it is drawn from, so the upload's lock that follows
// every new texture would fetch them back first (under Wine, from the GL texture: about as long as a decode).
int ZeroFillByLock(IDirectDrawSurface7* surface) {
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    if (FAILED(surface->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr))) return -1;
    const DWORD bits = (desc.dwFlags & DDSD_PIXELFORMAT) != 0 ? desc.ddpfPixelFormat.dwRGBBitCount : 0;
    const size_t rowBytes = static_cast<size_t>(desc.dwWidth) * (bits / 8);
    const bool known = desc.lpSurface != nullptr && bits >= 8 && bits % 8 == 0 && desc.lPitch > 0 &&
                       rowBytes <= static_cast<size_t>(desc.lPitch);
    if (known) {
        uint8_t* row = static_cast<uint8_t*>(desc.lpSurface);
        for (DWORD y = 0; y < desc.dwHeight; ++y, row += desc.lPitch) std::memset(row, 0, rowBytes);
    }
    surface->Unlock(nullptr);
    return known ? 0 : -1;
}

void RebuildHelperPlanes(MEMIMG* image) {
    if (image->premultiplied != nullptr) RebuildMemImagePremultiplied(image);
    if (image->runTable != nullptr) RebuildMemImageRunTable(image);
}

int CreateSoftwareImage(SurfaceData* d) {
    std::memset(&d->image, 0, sizeof(d->image));
    int result;
    if (d->creation[kCreateSingleChannel] == 1) {
        result = InitMemImage(&d->image, d->width, d->height, -1, 0, kMemImgChannel8, 0, 0, 0);
    } else {
        const int is32 = d->creation[kCreateColorBits] != 16;
        const int alpha = d->creation[kCreateAlpha] != 0;
        const int palette = d->creation[kCreatePalette] == 1;
        const int type = is32 ? kMemImgColor32 : kMemImgColor16;
        d->formatIndex = kSurfaceFormatSoft16 + (alpha ? 1 : 0) + (is32 ? 2 : 0);
        uint32_t key = 0xFFFF;
        if (!palette) {
            const unsigned int c = d->transparentColor;
            key = RgbaToFormatValue(GetMemImageColorFormat(type, alpha, 0), (c >> 16) & 0xFF, (c >> 8) & 0xFF,
                                    c & 0xFF, 255);
        }
        result = InitMemImage(&d->image, d->width, d->height, -1, key, type, palette, alpha, 1);
    }
    if (result != 0) {
        std::memset(&d->image, 0, sizeof(d->image));
        WriteLog("メモリイメージの作成に失敗しました\n");
        return -1;
    }
    return 0;
}

int CreateTextureSurface(SurfaceData* d, IDirectDraw7* object) {
    d->formatIndex = GetTextureFormatIndex(d->creation);
    const TextureFormatRow* row = GetTextureFormatRow(d->formatIndex);
    IDirectDrawSurface7* surface = nullptr;
    if (row != nullptr) {
        DDSURFACEDESC2 desc;
        std::memset(&desc, 0, sizeof(desc));
        desc.dwSize = sizeof(desc);
        desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_TEXTURESTAGE;
        desc.dwWidth = d->width;
        desc.dwHeight = d->height;
        desc.ddpfPixelFormat = row->pixelFormat;
        desc.ddsCaps.dwCaps = DDSCAPS_TEXTURE;
        if (d->creation[kCreateDrawValid]) {
            desc.ddsCaps.dwCaps |= DDSCAPS_3DDEVICE;
        } else {
            desc.ddsCaps.dwCaps2 = DDSCAPS2_TEXTUREMANAGE;
        }
        if (FAILED(object->CreateSurface(&desc, &surface, nullptr))) surface = nullptr;
    }
    if (surface == nullptr) {
        WriteLog("テクスチャサーフェスの作成に失敗しました\n");
        WriteLogFormat("DrawValid:%d  AlphaChFlag%d  AlphaTestFlag:%d  ColorBitDepth:%d", d->creation[kCreateDrawValid],
                       d->creation[kCreateAlpha], d->creation[kCreateAlphaTest], d->creation[kCreateColorBits]);
        return -1;
    }
    d->surface = surface;
    // A managed texture keeps a copy of its pixels that the lock reaches; a render-target texture is filled where
    // it is drawn, by the blit.
    if (d->creation[kCreateDrawValid] || ZeroFillByLock(surface) != 0) ColorFill(surface, 0);
    return 0;
}

int CreateStandardSurface(SurfaceData* d, IDirectDraw7* object) {
    const DisplayState& s = GetDisplayState();
    d->formatIndex = kSurfaceFormatScreen;
    const bool systemMemory = d->creation[kCreateSystemMemory] == 1 || s.screenWidth == 0 ||
                              d->width > s.screenWidth || IsMemImgDrawMode();
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    desc.dwWidth = d->width;
    desc.dwHeight = d->height;
    IDirectDrawSurface7* surface = nullptr;
    if (!systemMemory) {
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY | DDSCAPS_3DDEVICE;
        if (FAILED(object->CreateSurface(&desc, &surface, nullptr))) surface = nullptr;
    }
    if (surface == nullptr) {
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        if (FAILED(object->CreateSurface(&desc, &surface, nullptr))) surface = nullptr;
    }
    if (surface == nullptr) {
        WriteLog("標準サーフェスの作成に失敗しました\n");
        return -1;
    }
    d->surface = surface;
    d->creation[kCreateDrawValid] = 1;
    d->creation[kCreateSystemMemory] = SurfaceInVideoMemory(surface) ? 0 : 1;
    return 0;
}

void ReleaseZ(SurfaceData* d) {
    if (d->zSurface != nullptr) {
        if (d->surface != nullptr) d->surface->DeleteAttachedSurface(0, d->zSurface);
        d->zSurface->Release();
        d->zSurface = nullptr;
    }
    if (d->zImage.magic == kMemImgMagic) ReleaseMemImage(&d->zImage);
    std::memset(&d->zImage, 0, sizeof(d->zImage));
}

int MakeZ(SurfaceData* d) {
    if (d->software) {
        if (InitMemImageType3(&d->zImage, d->width, d->height) != 0) {
            std::memset(&d->zImage, 0, sizeof(d->zImage));
            return WriteLog("Ｚバッファの作成に失敗しました\n");
        }
        return 0;
    }
    IDirectDraw7* object = GetDisplayObject();
    if (object == nullptr || d->surface == nullptr) return WriteLog("Ｚバッファの作成に失敗しました\n");
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.dwWidth = d->width;
    desc.dwHeight = d->height;
    desc.ddsCaps.dwCaps = DDSCAPS_ZBUFFER | DDSCAPS_VIDEOMEMORY;
    const DDPIXELFORMAT* known = GetZBufferFormat();
    desc.ddpfPixelFormat = known != nullptr ? *known : DefaultZFormat();
    IDirectDrawSurface7* z = nullptr;
    if (FAILED(object->CreateSurface(&desc, &z, nullptr))) {
        return WriteLog("Ｚバッファの作成に失敗しました\n");
    }
    if (FAILED(d->surface->AddAttachedSurface(z))) {
        z->Release();
        return WriteLog("Ｚバッファの作成に失敗しました\n");
    }
    d->zSurface = z;
    return 0;
}

}  // namespace

SurfaceData* SurfaceDataToRecord(int handle) { return g_surfaceData.get(handle); }

int CreateSurfaceData(int refCount, int width, int height, unsigned int transparentColor,
                      const unsigned char creation[kCreationByteCount]) {
    if (g_surfaceData.isFull()) return WriteLog("サーフェスのデータ数が許容量を越えました。\n");
    if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) {
        return WriteLog("サーフェス用データを保存するメモリ領域の確保に失敗しました\n");
    }
    const int handle = g_surfaceData.add();
    if (handle < 0) return WriteLog("サーフェス用データを保存するメモリ領域の確保に失敗しました\n");
    SurfaceData* d = g_surfaceData.get(handle);
    std::memcpy(d->creation, creation, kCreationByteCount);
    d->width = static_cast<uint16_t>(width);
    d->height = static_cast<uint16_t>(height);
    d->refCount = refCount;
    d->transparentColor = transparentColor & 0xFFFFFF;

    unsigned char* c = d->creation;
    if (c[kCreateTexture] == 1) {
        c[kCreateSystemMemory] = 0;
        if (c[kCreateDrawValid] || c[kCreateAlpha]) c[kCreateAlphaTest] = 0;
    } else {
        if (c[kCreateAlpha] || c[kCreateSingleChannel]) c[kCreateSystemMemory] = 1;
        c[kCreateAlphaTest] = 0;
        c[kCreateDrawValid] = 1;
    }
    d->software = (c[kCreateSystemMemory] == 1 || (IsMemImgDrawMode() && GetDisplayState().screenBits != 8)) ? 1 : 0;

    if (CreateSurfaceDataSurface(handle) != 0) {
        DeleteSurfaceData(handle);
        return -1;
    }
    SetSurfaceDataColorKey(handle);
    return handle;
}

int DeleteSurfaceData(int handle) {
    ReleaseSurfaceDataSurface(handle);
    SurfaceData* d = g_surfaceData.get(handle);
    if (d == nullptr) return -1;
    if (d->lostFlag != nullptr) *d->lostFlag = 1;
    return g_surfaceData.remove(handle);
}

int AddSurfaceDataRef(int handle) {
    SurfaceData* d = g_surfaceData.get(handle);
    if (d == nullptr) return -1;
    return ++d->refCount;
}

int ReleaseSurfaceDataRef(int handle) {
    SurfaceData* d = g_surfaceData.get(handle);
    if (d == nullptr) return -1;
    return --d->refCount;
}

int CreateSurfaceDataSurface(int handle) {
    SurfaceData* d = g_surfaceData.get(handle);
    if (d == nullptr) return -1;
    if (d->software) {
        if (d->image.magic == kMemImgMagic) return 0;
        return CreateSoftwareImage(d);
    }
    if (d->surface != nullptr) return 0;
    IDirectDraw7* object = GetDisplayObject();
    if (object == nullptr) return -1;
    const int made = d->creation[kCreateTexture] == 1 ? CreateTextureSurface(d, object) : CreateStandardSurface(d, object);
    if (made != 0) {
        std::memset(&d->image, 0, sizeof(d->image));
        return -1;
    }
    if (d->zBufferOn) {
        d->zBufferOn = 0;
        if (SetSurfaceDataZBuffer(handle, 1) != 0) {
            ReleaseSurfaceDataSurface(handle);
            return -1;
        }
    }
    return 0;
}

int ReleaseSurfaceDataSurface(int handle) {
    SurfaceData* d = g_surfaceData.get(handle);
    if (d == nullptr) return -1;
    if (d->software) {
        if (d->image.magic == kMemImgMagic) ReleaseMemImage(&d->image);
        std::memset(&d->image, 0, sizeof(d->image));
        ReleaseZ(d);
    } else {
        if (d->lockCount > 0 && d->surface != nullptr) d->surface->Unlock(nullptr);
        ReleaseZ(d);
        if (d->surface != nullptr) {
            d->surface->Release();
            d->surface = nullptr;
        }
    }
    d->lockCount = 0;
    d->lockPointer = nullptr;
    return 0;
}

int SetSurfaceDataZBuffer(int handle, int on) {
    SurfaceData* d = g_surfaceData.get(handle);
    if (d == nullptr) return -1;
    const bool exists = d->zImage.magic == kMemImgMagic || d->zSurface != nullptr;
    if ((on != 0) == exists) {
        d->zBufferOn = on != 0;
        return 0;
    }
    if (!d->creation[kCreateDrawValid]) return -1;
    if (!on) {
        ReleaseZ(d);
        d->zBufferOn = 0;
        return 0;
    }
    if (MakeZ(d) != 0) return -1;
    d->zBufferOn = 1;
    return 0;
}

int SetSurfaceDataColorKey(int handle) {
    SurfaceData* d = g_surfaceData.get(handle);
    if (d == nullptr || d->surface == nullptr) return 0;
    const unsigned int c = d->transparentColor;
    const int r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
    DDCOLORKEY key;
    if (d->creation[kCreateTexture] == 1) {
        const TextureFormatRow* row = GetTextureFormatRow(d->formatIndex);
        if (row == nullptr) return 0;
        const DWORD value = RgbaToFormatValue(&row->format, r, g, b, 255) | row->format.noneMask | row->format.alphaMask;
        key.dwColorSpaceLowValue = key.dwColorSpaceHighValue = value;
        if (FAILED(d->surface->SetColorKey(DDCKEY_SRCBLT, &key))) {
            WriteLog("テクスチャサーフェスのカラーキーの設定に失敗しました\n");
        }
        return 0;
    }
    // Only the channel bits take part: bits that belong to no channel are not compared by every driver.
    const DWORD value =
        GetDisplayState().screenBits == 8 ? 0 : (RgbToScreenPixelImpl(r, g, b) & ~GetScreenColorFormat()->noneMask);
    key.dwColorSpaceLowValue = key.dwColorSpaceHighValue = value;
    if (FAILED(d->surface->SetColorKey(DDCKEY_SRCBLT, &key))) {
        WriteLog("標準サーフェスのカラーキーの設定に失敗しました\n");
    }
    return 0;
}

int CheckSurfaceDataLost(int handle) {
    SurfaceData* d = g_surfaceData.get(handle);
    if (d == nullptr || d->surface == nullptr) return 0;
    if (d->surface->IsLost() == DDERR_SURFACELOST) {
        d->surface->Restore();
        return -1;
    }
    return 0;
}

const ColorFormat* GetSurfaceDataColorFormat(int handle) {
    SurfaceData* d = g_surfaceData.get(handle);
    if (d == nullptr) return nullptr;
    if (d->software) return d->image.format;
    if (d->creation[kCreateTexture] == 1) {
        const TextureFormatRow* row = GetTextureFormatRow(d->formatIndex);
        return row != nullptr ? &row->format : nullptr;
    }
    return GetScreenColorFormat();
}

int IsSurfaceDataInVideoMemory(int handle) {
    SurfaceData* d = g_surfaceData.get(handle);
    return d != nullptr && !d->software && SurfaceInVideoMemory(d->surface) ? 1 : 0;
}

int LockSurfaceData(int handle, int* pitch, void** pointer, int writeOnly, const RECT* rect,
                    const ColorFormat** format) {
    SurfaceData* d = g_surfaceData.get(handle);
    if (d == nullptr) return -1;
    if (format != nullptr) *format = GetSurfaceDataColorFormat(handle);
    if (d->lockCount > 0) {
        if (pitch) *pitch = static_cast<int>(d->lockPitch);
        if (pointer) *pointer = d->lockPointer;
        d->lockCount += 1;
        return -2;
    }
    // A rectangle that leaves the record would hand out memory that is not its own.
    if (rect != nullptr && (rect->left < 0 || rect->top < 0 || rect->right > d->width || rect->bottom > d->height ||
                            rect->left > rect->right || rect->top > rect->bottom)) {
        return -1;
    }
    if (d->software) {
        if (d->image.magic != kMemImgMagic || d->image.pixels == nullptr) return -1;
        const int bytes = d->image.format != nullptr ? d->image.format->bytesPerPixel : 0;
        uint8_t* p = d->image.pixels;
        if (rect != nullptr) p += static_cast<ptrdiff_t>(rect->top) * d->image.pitch + static_cast<ptrdiff_t>(rect->left) * bytes;
        d->lockPointer = p;
        d->lockPitch = static_cast<unsigned int>(d->image.pitch);
    } else {
        if (d->surface == nullptr) return -1;
        DDSURFACEDESC2 desc;
        std::memset(&desc, 0, sizeof(desc));
        desc.dwSize = sizeof(desc);
        RECT r = rect != nullptr ? *rect : RECT{0, 0, 0, 0};
        const DWORD flags = DDLOCK_WAIT | (writeOnly == 1 ? DDLOCK_WRITEONLY : 0);
        if (FAILED(d->surface->Lock(rect != nullptr ? &r : nullptr, &desc, flags, nullptr))) {
            return WriteLog("グラフィックのロックに失敗しました\n");
        }
        d->lockPointer = desc.lpSurface;
        d->lockPitch = static_cast<unsigned int>(desc.lPitch);
    }
    if (pitch) *pitch = static_cast<int>(d->lockPitch);
    if (pointer) *pointer = d->lockPointer;
    d->lockCount = 1;
    return 0;
}

int UnlockSurfaceData(int handle, const RECT* rect) {
    SurfaceData* d = g_surfaceData.get(handle);
    if (d == nullptr || d->lockCount == 0) return -1;
    d->lockCount -= 1;
    if (d->lockCount == 0) {
        if (!d->software && d->surface != nullptr) {
            RECT r = rect != nullptr ? *rect : RECT{0, 0, 0, 0};
            d->surface->Unlock(rect != nullptr ? &r : nullptr);
        } else if (d->software) {
            RebuildHelperPlanes(&d->image);  // the holder may have written pixels
        }
        d->lockPointer = nullptr;
    }
    return 0;
}

int FillSurfaceData(int handle, int red, int green, int blue, int alpha) {
    SurfaceData* d = g_surfaceData.get(handle);
    if (d == nullptr) return -1;
    if (d->software) {
        // Software records are filled too: a graph held as a software image must not keep stale pixels.
        if (d->image.magic != kMemImgMagic || d->image.format == nullptr) return -1;
        FillMemImageRect(&d->image, nullptr, RgbaToFormatValue(d->image.format, red, green, blue, alpha));
        RebuildHelperPlanes(&d->image);
        return 0;
    }
    if (GetDisplayObject() == nullptr || d->surface == nullptr) return -1;
    const ColorFormat* format = GetSurfaceDataColorFormat(handle);
    if (format == nullptr) return -1;
    return ColorFill(d->surface, RgbaToFormatValue(format, red, green, blue, alpha));
}

int ClearSurfaceDataTable() {
    g_surfaceData.forEach([](int handle, SurfaceData*) { DeleteSurfaceData(handle); });
    g_surfaceData.clear();
    return 0;
}

void GetSurfaceDataTableState(int* live, int* endMark, int* nextCheckId) {
    if (live) *live = g_surfaceData.liveCount();
    if (endMark) *endMark = g_surfaceData.highWater();
    if (nextCheckId) *nextCheckId = g_surfaceData.nextCheckId();
}
