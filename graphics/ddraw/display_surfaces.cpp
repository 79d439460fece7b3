// The output surfaces of a screen mode: primary and back surface (a flipping chain in full screen), the optional
// temporary primary, two system-memory work surfaces and the Z buffer; or, in software mode, the front, back and Z
// screens as software images. Made by every mode change, released before the next one and on device loss.
#include <cstring>

#include "graphics/color/color_format.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/display_internal.h"
#include "graphics/color/memimg.h"
#include "runtime/log.h"
#include "runtime/window.h"

namespace {

DDSURFACEDESC2 EmptyDesc() {
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    return desc;
}

IDirectDrawSurface7* MakeSurface(IDirectDraw7* object, DDSURFACEDESC2& desc) {
    IDirectDrawSurface7* surface = nullptr;
    if (FAILED(object->CreateSurface(&desc, &surface, nullptr))) return nullptr;
    return surface;
}

IDirectDrawSurface7* MakeOffscreen(IDirectDraw7* object, int width, int height, DWORD caps) {
    DDSURFACEDESC2 desc = EmptyDesc();
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    desc.ddsCaps.dwCaps = caps;
    desc.dwWidth = width;
    desc.dwHeight = height;
    return MakeSurface(object, desc);
}

// The work surfaces carry source colour key 0 so keyed copies through them behave like the screen.
IDirectDrawSurface7* MakeWorkSurface(IDirectDraw7* object, int width, int height) {
    DDSURFACEDESC2 desc = EmptyDesc();
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_CKSRCBLT;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    desc.dwWidth = width;
    desc.dwHeight = height;
    desc.ddckCKSrcBlt.dwColorSpaceLowValue = 0;
    desc.ddckCKSrcBlt.dwColorSpaceHighValue = 0;
    return MakeSurface(object, desc);
}

void FillSurface(IDirectDrawSurface7* surface, DWORD value) {
    DDBLTFX fx;
    std::memset(&fx, 0, sizeof(fx));
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = value;
    surface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
}

const char* PlacementOf(IDirectDrawSurface7* surface) {
    DDSCAPS2 caps;
    std::memset(&caps, 0, sizeof(caps));
    if (surface != nullptr) surface->GetCaps(&caps);
    return (caps.dwCaps & DDSCAPS_VIDEOMEMORY) ? "VIDEOMEMORY" : "SYSTEMMEMORY";
}

template <typename T>
void ReleaseCom(T*& object) {
    if (object != nullptr) {
        object->Release();
        object = nullptr;
    }
}

}  // namespace

uint32_t BackgroundPixelValue(const ColorFormat* format) {
    int red = 0, green = 0, blue = 0;
    GetScreenBackgroundColor(&red, &green, &blue);
    return RgbaToFormatValue(format, red, green, blue, 255);
}

int CreateOutputSurfaces() {
    DisplayState& s = GetDisplayState();
    if (!s.softwareMode && (s.displayObject == nullptr || s.primarySurface != nullptr)) return -1;
    WriteLog("出力画面用の DirectDrawSurface を作成します\n");
    LogIndentScope indent;
    s.useMemImgScreens = (s.memImgDrawing && s.screenBits != 8) ? 1 : 0;
    int width = 0, height = 0;
    GetScreenSize(&width, &height);

    if (s.useMemImgScreens) {
        const int type = s.imageColorBits != 16 ? kMemImgColor32 : kMemImgColor16;
        if (InitMemImageDefault(&s.primaryImage, width, height, type) != 0) {
            FatalError("プライマリサーフェス用の MEMIMG の作成に失敗しました\n");
        }
        if (InitMemImageDefault(&s.backImage, width, height, type) != 0) {
            FatalError("バックサーフェス用の MEMIMG の作成に失敗しました\n");
        }
        if (InitMemImageType3(&s.zImage, width, height) != 0) {
            FatalError("Ｚバッファサーフェス用の MEMIMG の作成に失敗しました\n");
        }
        const uint32_t fill = BackgroundPixelValue(s.backImage.format);
        FillMemImageRect(&s.primaryImage, nullptr, fill);
        FillMemImageRect(&s.backImage, nullptr, fill);
        WriteLog("各スクリーンメモリの配置位置\n");
        {
            LogIndentScope placement;
            WriteLogFormat("PrimaryBuffer : SYSTEMMEMORY( MEMIMG ) ");
            WriteLogFormat("BaskBuffer : SYSTEMMEMORY( MEMIMG ) ");
        }
        indent.leave();
        WriteLog("出力画面用の DirectDrawSurface の作成は正常に終了しました\n");
        return 0;
    }
    if (s.displayObject == nullptr) return -1;

    s.imageColorBits = s.screenBits;
    PublishDrawingFormat();
    const DWORD background = BackgroundPixelValue(&s.screenFormat);
    if (IsWindowMode()) {
        DDSURFACEDESC2 desc = EmptyDesc();
        desc.dwFlags = DDSD_CAPS;
        desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_3DDEVICE;
        s.primarySurface = MakeSurface(s.displayObject, desc);
        if (s.primarySurface == nullptr) FatalError("プライマリサーフェスの作成に失敗しました");
        s.backSurface = MakeOffscreen(s.displayObject, width, height, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE);
        if (s.backSurface == nullptr) FatalError("バックサーフェスの作成に失敗しました");
        FillSurface(s.backSurface, background);
    } else {
        DDSURFACEDESC2 desc = EmptyDesc();
        desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
        desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
        desc.dwBackBufferCount = 1;
        s.primarySurface = MakeSurface(s.displayObject, desc);
        if (s.primarySurface == nullptr) FatalError("プライマリサーフェスの作成に失敗しました");
        DDSCAPS2 backCaps;
        std::memset(&backCaps, 0, sizeof(backCaps));
        backCaps.dwCaps = DDSCAPS_BACKBUFFER;
        if (FAILED(s.primarySurface->GetAttachedSurface(&backCaps, &s.backSurface)) || s.backSurface == nullptr) {
            FatalError("バックバッファのポインタ取得に失敗しました");
        }
        for (int i = 0; i < 3; ++i) {
            FillSurface(s.backSurface, background);
            s.primarySurface->Flip(nullptr, DDFLIP_WAIT);
        }
    }
    if (s.useTempPrimary) {
        s.tempPrimarySurface = MakeOffscreen(s.displayObject, width, height, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE);
        if (s.tempPrimarySurface == nullptr) FatalError("テンポラリプライマリサーフェスの作成に失敗しました");
    }
    s.workSurface1 = MakeWorkSurface(s.displayObject, width, height);
    if (s.workSurface1 == nullptr) FatalError("作業用サーフェスの作成に失敗しました");
    s.workSurface2 = MakeWorkSurface(s.displayObject, width, height);
    if (s.workSurface2 == nullptr) FatalError("作業用サーフェス２の作成に失敗しました");

    DDSURFACEDESC2 zDesc = EmptyDesc();
    zDesc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    zDesc.ddsCaps.dwCaps = DDSCAPS_ZBUFFER;
    zDesc.dwWidth = width;
    zDesc.dwHeight = height;
    zDesc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    zDesc.ddpfPixelFormat.dwFlags = DDPF_ZBUFFER;
    zDesc.ddpfPixelFormat.dwZBufferBitDepth = 16;
    zDesc.ddpfPixelFormat.dwZBitMask = 0xFFFF;
    s.zSurface = MakeSurface(s.displayObject, zDesc);
    if (s.zSurface == nullptr || FAILED(s.backSurface->AddAttachedSurface(s.zSurface))) {
        ReleaseCom(s.zSurface);
        WriteLog("Ｚバッファの作成に失敗しました\n");
        return -1;  // the indent is undone on the way out
    }

    WriteLog("各スクリーンメモリの配置位置\n");
    {
        LogIndentScope placement;
        WriteLogFormat("PrimaryBuffer : %s  ", PlacementOf(s.primarySurface));
        WriteLogFormat("BaskBuffer : %s  ", PlacementOf(s.backSurface));
    }
    indent.leave();
    WriteLog("出力画面用の DirectDrawSurface の作成は正常に終了しました\n");
    return 0;
}

int DestroyOutputSurfaces() {
    DisplayState& s = GetDisplayState();
    if (!s.softwareMode && s.displayObject == nullptr) return -1;
    if (s.zSurface != nullptr) {
        if (s.backSurface != nullptr) s.backSurface->DeleteAttachedSurface(0, s.zSurface);
        ReleaseCom(s.zSurface);
    }
    if (s.primarySurface != nullptr) {
        WriteLog("メインサーフェスを破棄をします... 完了しました\n");
        s.primarySurface->SetClipper(nullptr);
        ReleaseCom(s.backSurface);
        ReleaseCom(s.primarySurface);
    }
    ReleaseCom(s.backSurface);
    ReleaseCom(s.tempPrimarySurface);
    ReleaseCom(s.workSurface1);
    ReleaseCom(s.workSurface2);
    s.drawTargetSurface = nullptr;
    if (s.useMemImgScreens) {
        ReleaseMemImage(&s.primaryImage);
        ReleaseMemImage(&s.backImage);
        ReleaseMemImage(&s.zImage);
        std::memset(&s.primaryImage, 0, sizeof(s.primaryImage));
        std::memset(&s.backImage, 0, sizeof(s.backImage));
        std::memset(&s.zImage, 0, sizeof(s.zImage));
    }
    return 0;
}

int RestoreOutputSurfaces() {
    DisplayState& s = GetDisplayState();
    if (s.displayObject == nullptr) return -1;
    IDirectDrawSurface7* surfaces[] = {s.primarySurface, s.tempPrimarySurface, s.backSurface, s.zSurface};
    for (IDirectDrawSurface7* surface : surfaces) {
        if (surface != nullptr && surface->IsLost() == DDERR_SURFACELOST) surface->Restore();
    }
    return 0;
}
