// Screen modes: the display-mode change that every start, window/full-screen switch and software switch goes
// through (it tears the graphics layer down, sets the mode, makes the output surfaces again and measures the
// copy method and frame time), the window and full-screen set-up, and the way back to the desktop's mode.
#include <cstring>

#include "graphics/color/color_format.h"
#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/display_internal.h"
#include "graphics/draw.h"
#include "graphics/graph.h"
#include "graphics/color/memimg.h"
#include "graphics/ddraw/present.h"
#include "graphics/ddraw/surface2d.h"
#include "font/font.h"
#include "runtime/log.h"
#include "runtime/message_pump.h"
#include "runtime/screen_log.h"
#include "runtime/startup.h"
#include "runtime/text.h"
#include "runtime/window.h"

namespace {

constexpr int kLevelNormal = DDSCL_NORMAL;                          // 8
constexpr int kLevelFullScreen = DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN;  // 0x11

int LevelFor(int windowMode, int multithreaded) {
    int level = windowMode ? kLevelNormal : kLevelFullScreen;
    if (multithreaded) level |= DDSCL_MULTITHREADED;
    return level;
}

// Sets the cooperative level; a refusal is fatal (full screen tolerates the "already set" answers).
void SetCooperativeLevelOrDie(IDirectDraw7* object, HWND window, int level) {
    HRESULT hr = object->SetCooperativeLevel(window, level);
    if (FAILED(hr)) {
        bool fullScreen = (level & DDSCL_FULLSCREEN) != 0;
        if (!(fullScreen && (hr == DDERR_HWNDSUBCLASSED || hr == DDERR_HWNDALREADYSET ||
                             hr == DDERR_EXCLUSIVEMODEALREADYSET))) {
            FatalError("DirectDrawの協調レベルの設定に失敗しました、ソフトを終了します");
        }
    }
}

int DesktopBits() {
    HDC dc = GetDC(nullptr);
    int bits = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
    ReleaseDC(nullptr, dc);
    return bits;
}

// ChangeDisplaySettingsA with a 148-byte DEVMODE; refresh 0 leaves the rate to the system.
LONG ChangeSettings(int width, int height, int bits, int refresh, DWORD flags) {
    DEVMODEA mode;
    std::memset(&mode, 0, sizeof(mode));
    mode.dmSize = 148;
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmPelsWidth = width;
    mode.dmPelsHeight = height;
    mode.dmBitsPerPel = bits;
    if (refresh > 0) {
        mode.dmFields |= DM_DISPLAYFREQUENCY;
        mode.dmDisplayFrequency = refresh;
    }
    return ChangeDisplaySettingsA(&mode, flags);
}

// Sets the full-screen mode of a re-set with its four fallbacks. Returns 0 or -2 (fell back to 640 x 480 x 16);
// nothing left to try is fatal.
int SetFullScreenModeWithFallbacks(DisplayState& s) {
    WriteLog("画面解像度を変更します... ");
    struct Attempt {
        int width, height, bits, refresh;
        DWORD flags;
    };
    const bool soft = s.softwareMode != 0;
    Attempt attempts[4] = {
        {s.screenWidth, s.screenHeight, s.screenBits, s.refreshRate > 0 ? s.refreshRate : 0,
         soft ? (DWORD)CDS_FULLSCREEN : 0u},
        {s.screenWidth, s.screenHeight, s.screenBits, 0, 0},
        {s.previousWidth, s.previousHeight, s.previousBits,
         soft && s.previousRefreshRate > 0 ? s.previousRefreshRate : 0, 0},
        {640, 480, 16, 0, 0},
    };
    for (int i = 0; i < 4; ++i) {
        const Attempt& a = attempts[i];
        if (a.width <= 0 || a.height <= 0 || a.bits <= 0) continue;
        bool ok;
        if (soft) {
            ok = ChangeSettings(a.width, a.height, a.bits, a.refresh, a.flags) == DISP_CHANGE_SUCCESSFUL;
        } else {
            ok = SUCCEEDED(s.displayObject->SetDisplayMode(a.width, a.height, a.bits, a.refresh, 0));
        }
        if (!ok) continue;
        int result = 0;
        if (i == 2) {
            s.screenWidth = s.previousWidth;
            s.screenHeight = s.previousHeight;
            s.screenBits = s.previousBits;
            s.refreshRate = s.previousRefreshRate;
        } else if (i == 3) {
            s.screenWidth = 640;
            s.screenHeight = 480;
            s.screenBits = 16;
            s.refreshRate = 0;
            result = -2;
        }
        s.displayModeChanged = 1;
        WriteLog("成功しました\n");
        return result;
    }
    FatalError("予期せぬ画面モード変更不能現象が起きました2\n");
}

// First set of a start: the mode with its fallbacks (previous mode, then 640 x 480 x 16 in a window).
int FirstScreenModeSet(DisplayState& s) {
    int result = 0;
    HWND window = GetMainHwnd();
    if (!IsWindowMode()) ApplyWindowStyle();
    int desktopWidth = 0, desktopHeight = 0, desktopBits = 0;
    GetSavedDisplayValues(&desktopWidth, &desktopHeight, &desktopBits);
    if (s.screenWidth == 0) s.screenWidth = 640;
    if (s.screenHeight == 0) s.screenHeight = 480;
    if (s.screenBits == 0) s.screenBits = 16;

    auto apply = [&]() {
        int bits = s.screenBits, level = s.cooperativeLevel;
        int r = ApplyScreenMode(s.displayObject, desktopWidth, desktopHeight, s.screenWidth, s.screenHeight,
                                s.screenBits, &bits, &level, IsWindowMode(), &s.displayModeChanged, window);
        if (r == 0) {
            s.screenBits = bits;
            s.cooperativeLevel = level;
        }
        return r;
    };
    if (apply() == 0) return 0;

    const int wantedWidth = s.screenWidth, wantedHeight = s.screenHeight, wantedBits = s.screenBits;
    s.screenWidth = s.previousWidth;
    s.screenHeight = s.previousHeight;
    s.screenBits = s.previousBits;
    s.refreshRate = s.previousRefreshRate;
    result = -1;
    ApplyWindowStyle();
    bool previousIsWanted = s.screenWidth == wantedWidth && s.screenHeight == wantedHeight &&
                            s.screenBits == wantedBits && s.refreshRate == 0;
    bool previousUsable = s.screenWidth > 0 && s.screenHeight > 0 && s.screenBits > 0;
    if (!previousIsWanted && previousUsable && apply() == 0) return result;

    s.screenWidth = 640;
    s.screenHeight = 480;
    s.screenBits = 16;
    s.refreshRate = 0;
    result = -2;
    SetWindowModeFlag(1);
    ApplyWindowStyle();
    if (apply() != 0) FatalError("予期せぬ画面モード変更不能現象が起きました\n");
    return result;
}

}  // namespace

unsigned int ModeChangeSettleDelay(unsigned int now, unsigned int lastChange) {
    if (lastChange != 0 && now - lastChange < 2000) return lastChange + 2060 - now;
    return 60;
}

int ScreenFormatCodeOf(int bits, uint32_t redMask, uint32_t greenMask, uint32_t blueMask) {
    if (bits == 16 && redMask == 0xF800 && greenMask == 0x07E0 && blueMask == 0x001F) return kScreenFormatR5G6B5;
    if (bits == 16 && redMask == 0x7C00 && greenMask == 0x03E0 && blueMask == 0x001F) return kScreenFormatX1R5G5B5;
    if (bits == 32 && redMask == 0xFF0000 && greenMask == 0xFF00 && blueMask == 0xFF) return kScreenFormatX8R8G8B8;
    return kScreenFormatOther;
}

int ChangeDisplayMode(int width, int height, int bits, int force, int refresh) {
    DisplayState& s = GetDisplayState();
    int savedTransparent = 0;
    if (s.started) savedTransparent = GetTransparentColor();
    if (width == -1) width = s.screenWidth;
    if (height == -1) height = s.screenHeight;
    if (bits == -1) bits = s.screenBits;
    if (refresh == -1) refresh = s.refreshRate;
    if (!force && width == s.screenWidth && height == s.screenHeight && bits == s.screenBits &&
        refresh == s.refreshRate) {
        return 0;
    }

    WriteLog("画面モード変更処理を開始します\n");
    LogIndentScope indent;

    char fontFace[256] = {0};
    int fontSize = -1, fontThickness = -1;
    bool fontKept = false;
    int baseFont = GetBaseFontHandle();
    if (IsFontHandleValid(baseFont)) {
        GetFontInfoToHandle(baseFont, fontFace, &fontSize, &fontThickness);
        fontKept = true;
    }

    s.previousWidth = s.screenWidth;
    s.previousHeight = s.screenHeight;
    s.previousBits = s.screenBits;
    s.previousRefreshRate = s.refreshRate;
    s.screenWidth = width;
    s.screenHeight = height;
    s.screenBits = bits;
    s.refreshRate = refresh;

    if ((!IsLibraryInitialising() && !IsLibraryRunning()) || (!s.softwareMode && s.displayObject == nullptr)) {
        return 0;  // takes effect at the next start
    }

    s.gdiState = -1;
    unsigned int now = GetMillisecondCounter();
    Sleep(ModeChangeSettleDelay(now, s.lastModeChangeTime));
    s.lastModeChangeTime = GetMillisecondCounter();
    if (s.lastModeChangeTime == 0) s.lastModeChangeTime = 1;

    ReleaseAllGraphsImpl(0);
    GraphicsShutDown();
    TerminateDirect3D();
    ReleaseScreenPalette();
    DestroyOutputSurfaces();

    int result = 0;
    HWND window = GetMainHwnd();
    if (s.started) {
        DeleteAllSurface2D();
        if (!s.softwareMode) {
            WriteLog("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放します\n");
            s.displayObject->SetCooperativeLevel(window, kLevelNormal);
            ReleaseDDClipper();
            s.displayObject->Release();
            s.displayObject = nullptr;
            WriteLog("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放しました\n");
            if (CreateDisplayObject(&s.displayObject) != 0) {
                FatalError("DirectDrawオブジェクトの作成に失敗しました");
            }
            s.cooperativeLevel = LevelFor(IsWindowMode(), s.multithreaded);
            SetCooperativeLevelOrDie(s.displayObject, window, s.cooperativeLevel);
            CreateDDClipper();
        }
        const int wasChanged = s.displayModeChanged;
        s.displayModeChanged = 0;
        if (!IsWindowMode()) {
            result = SetFullScreenModeWithFallbacks(s);
        } else if (s.softwareMode && wasChanged) {
            ChangeDisplaySettingsA(nullptr, 0);  // back from a full-screen mode to the desktop's
        }
    } else {
        result = FirstScreenModeSet(s);
    }

    ReadScreenColorFormat();
    if (IsWindowMode() || s.softwareMode) ApplyWindowStyle();
    if (CreateOutputSurfaces() != 0) {
        indent.leave();
        WriteLog("DirectDrawSurface の初期化に失敗しました\n");
        return -1;
    }

    if (!s.softwareMode && !s.no3DRequest && !s.memImgDrawing) InitDirect3D();
    GraphicsStartUp();
    if (fontKept) SetBaseFontSize(fontFace, fontSize, fontThickness);
    ScreenLogInit();
    ScreenPaletteTarget paletteTarget = {s.displayObject, s.primarySurface, s.backSurface, IsWindowMode()};
    if (!s.softwareMode) CreateScreenPalette(paletteTarget);

    if (!s.softwareMode) {
        MeasureCopyMethods();
    }
    MeasureRefreshAndFrameTime();

    if (s.started) SetTransparentColor(savedTransparent);
    indent.leave();
    WriteLog("画面モード変更処理は正常に終了しました\n");
    ProcessMessageImpl();
    ResetFlipCounter();
    return result;
}

int ApplyScreenMode(IDirectDraw7* object, int desktopWidth, int desktopHeight, int width, int height, int bits,
                    int* bitsOut, int* levelOut, int windowMode, int* displayModeChanged, HWND window) {
    DisplayState& s = GetDisplayState();
    WriteLogFormat("画面モードの変更処理を開始します %u x %u  %u bit ", (unsigned)width, (unsigned)height,
                   (unsigned)bits);
    LogIndentScope indent;
    if (s.multithreaded) WriteLog("協調レベルはマルチスレッド対応にします\n");
    const bool soft = s.softwareMode != 0;
    const int level = LevelFor(windowMode, s.multithreaded);

    if (windowMode) {
        WriteLog("ウインドウモードにします\n");
        if (desktopWidth < width || desktopHeight < height) {
            FatalError("デスクトップ画面のサイズが足りません、ソフトを終了します");
        }
        if (displayModeChanged && *displayModeChanged) {
            WriteLog("フルスクリーンモードから抜けます\n");
            if (soft) {
                ChangeDisplaySettingsA(nullptr, 0);
            } else if (object) {
                object->RestoreDisplayMode();
            }
            *displayModeChanged = 0;
        }
        int desktopBits = DesktopBits();
        if (desktopBits == 24) return -1;
        if (bitsOut) *bitsOut = desktopBits;
        if (!soft) {
            if (object == nullptr) return -1;
            SetCooperativeLevelOrDie(object, window, level);
            if (levelOut) *levelOut = level;
        }
    } else {
        if (bits == 24) return -1;
        WriteLog("画面解像度を変更します... ");
        bool ok;
        if (soft) {
            ok = ChangeSettings(width, height, bits, s.refreshRate, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL ||
                 ChangeSettings(width, height, bits, 0, 0) == DISP_CHANGE_SUCCESSFUL;
        } else {
            if (object == nullptr) return -1;
            SetCooperativeLevelOrDie(object, window, level);
            if (levelOut) *levelOut = level;
            ok = SUCCEEDED(object->SetDisplayMode(width, height, bits, s.refreshRate > 0 ? s.refreshRate : 0, 0));
            if (!ok) {
                ok = SUCCEEDED(object->SetDisplayMode(width, height, bits, 0, 0));
                if (ok) s.refreshRate = 0;
            }
        }
        if (!ok) {
            WriteLog("画面モードの変更に失敗しました\n");
            return -1;
        }
        if (bitsOut) *bitsOut = bits;
        if (displayModeChanged) *displayModeChanged = 1;
        WriteLog("成功しました\n");
    }
    indent.leave();
    WriteLog("画面モードの変更は正常に終了しました \n");
    return 0;
}

int ReadScreenColorFormat() {
    DisplayState& s = GetDisplayState();
    if (s.softwareMode) {
        if (s.screenBits != 16 && s.screenBits != 32) s.screenBits = 16;
        const int type = s.screenBits == 16 ? kMemImgColor16 : kMemImgColor32;
        s.screenFormat = *GetMemImageColorFormat(type, 0, 0);
        FillDDPixelFormatImpl(&s.screenPixelFormat, s.screenFormat.bitDepth, s.screenFormat.redMask,
                              s.screenFormat.greenMask, s.screenFormat.blueMask, s.screenFormat.alphaMask);
        s.screenFormatCode = s.screenBits == 16 ? kScreenFormatX1R5G5B5 : kScreenFormatX8R8G8B8;
        PublishDrawingFormat();
        return 0;
    }
    if (s.displayObject == nullptr) return -1;
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    if (FAILED(s.displayObject->GetDisplayMode(&desc))) return -1;
    s.screenPixelFormat = desc.ddpfPixelFormat;
    SetColorFormatFromDDPixelFormat(&s.screenPixelFormat, &s.screenFormat);
    WriteLog("カラー情報\n");
    {
        LogIndentScope indent;
        WriteLogFormat("A:%08x  B:%08x  G:%08x  B:%08x", (unsigned)desc.ddpfPixelFormat.dwRGBAlphaBitMask,
                       (unsigned)desc.ddpfPixelFormat.dwRBitMask, (unsigned)desc.ddpfPixelFormat.dwGBitMask,
                       (unsigned)desc.ddpfPixelFormat.dwBBitMask);
    }
    s.screenBits = (int)desc.ddpfPixelFormat.dwRGBBitCount;
    s.screenFormatCode = ScreenFormatCodeOf(s.screenBits, desc.ddpfPixelFormat.dwRBitMask,
                                            desc.ddpfPixelFormat.dwGBitMask, desc.ddpfPixelFormat.dwBBitMask);
    PublishDrawingFormat();
    return 0;
}

int LeaveScreenMode() {
    DisplayState& s = GetDisplayState();
    if (s.softwareMode) {
        if (s.displayModeChanged) ChangeDisplaySettingsA(nullptr, 0);
    } else {
        if (s.displayObject == nullptr) return -1;
        if (s.cooperativeLevel & DDSCL_EXCLUSIVE) {
            s.displayObject->SetCooperativeLevel(GetMainHwnd(), kLevelNormal);
            s.cooperativeLevel = kLevelNormal;
            s.displayObject->RestoreDisplayMode();
        }
    }
    s.displayModeChanged = 0;
    WriteLog("画面モードを元に戻す処理は正常に終了しました\n");
    return 0;
}

int RestoreDesktopMode() {
    DisplayState& s = GetDisplayState();
    if (IsWindowMode() || !s.displayModeChanged) return 0;
    if (s.softwareMode) {
        ChangeDisplaySettingsA(nullptr, 0);
    } else if (s.displayObject != nullptr) {
        s.displayObject->SetCooperativeLevel(GetMainHwnd(), kLevelNormal);
        s.cooperativeLevel = kLevelNormal;
        s.displayObject->RestoreDisplayMode();
        s.displayModeChanged = 0;
    }
    return 0;
}

int ResetDisplayMode() {
    DisplayState& s = GetDisplayState();
    int desktopWidth = 0, desktopHeight = 0, desktopBits = 0;
    GetSavedDisplayValues(&desktopWidth, &desktopHeight, &desktopBits);
    int bits = s.screenBits, level = s.cooperativeLevel;
    int r = ApplyScreenMode(s.displayObject, desktopWidth, desktopHeight, s.screenWidth, s.screenHeight,
                            s.screenBits, &bits, &level, IsWindowMode(), &s.displayModeChanged, GetMainHwnd());
    if (r == 0) {
        s.screenBits = bits;
        s.cooperativeLevel = level;
    }
    return r;
}
