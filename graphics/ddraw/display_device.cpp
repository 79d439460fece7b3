// The display device's life: the DirectDraw object and the window's clipper, start and end of the device, the
// device-loss pair the window procedure uses, the overlay probe, and the settings and queries the rest of the
// graphics layer reads. Mode changes live in display_mode.cpp, the output surfaces in display_surfaces.cpp.
#include <cstring>

#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/display_internal.h"
#include "graphics/draw.h"
#include "graphics/graph.h"
#include "graphics/color/lookup_tables.h"
#include "graphics/ddraw/present.h"
#include "graphics/ddraw/screen_front.h"
#include "graphics/ddraw/surface2d.h"
#include "runtime/log.h"
#include "runtime/startup.h"
#include "runtime/system_info.h"
#include "runtime/window.h"

static_assert(sizeof(DDCAPS) == kDisplayCapsSize, "the display keeps a DirectX 7 capabilities record");

namespace {

DisplayState g_display = [] {
    DisplayState s;
    std::memset(&s, 0, sizeof(s));
    s.gdiState = -1;
    s.overlayFormatIndex = -1;
    s.measuredRefreshRate = -1;
    s.frameTime = -1;
    s.frameInterval = -1;
    return s;
}();

// Set by hosts and tests before start-up: run the whole library in software drawing.
int g_softwareDrawRequest = 0;
// What cleared screens and the unpainted window show: black unless a host sets it.
int g_backgroundRed = 0, g_backgroundGreen = 0, g_backgroundBlue = 0;

// Copies a text into a buffer of `size` bytes, cutting it when needed; the result always ends in NUL.
void CopyBounded(char* dst, size_t size, const char* src) {
    size_t n = std::strlen(src);
    if (n >= size) n = size - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

DDPIXELFORMAT MakeFourCCFormat(DWORD fourCC) {
    DDPIXELFORMAT f;
    std::memset(&f, 0, sizeof(f));
    f.dwSize = sizeof(f);
    f.dwFlags = DDPF_FOURCC;
    f.dwFourCC = fourCC;
    return f;
}

DDPIXELFORMAT MakeRgbFormat(DWORD bits, DWORD r, DWORD g, DWORD b) {
    DDPIXELFORMAT f;
    std::memset(&f, 0, sizeof(f));
    f.dwSize = sizeof(f);
    f.dwFlags = DDPF_RGB;
    f.dwRGBBitCount = bits;
    f.dwRBitMask = r;
    f.dwGBitMask = g;
    f.dwBBitMask = b;
    return f;
}

const OverlayFormatRow OverlayFormatTable[] = {
    {MakeFourCCFormat(MAKEFOURCC('U', 'Y', 'V', 'Y')), " UYVY"},
    {MakeFourCCFormat(MAKEFOURCC('Y', 'U', 'Y', '2')), " YUY2"},
    {MakeRgbFormat(16, 0x7C00, 0x03E0, 0x001F), " 16-bit RGB 5:5:5 "},
    {MakeRgbFormat(16, 0xF800, 0x07E0, 0x001F), " 16-bit RGB 5:6:5 "},
    {DDPIXELFORMAT{}, ""},
};

// Finds the first overlay format the device places in video memory.
void ProbeOverlayFormats(DisplayState& s) {
    s.overlayFormatIndex = -1;
    if (GetSystemInfoRecord()->osCode == kOsWindowsVista || s.displayObject == nullptr) return;
    IDirectDraw* legacy = nullptr;
    if (FAILED(s.displayObject->QueryInterface(IID_IDirectDraw, reinterpret_cast<void**>(&legacy)))) {
        WriteLog("オーバーレイサーフェスは使用しません\n");
        return;
    }
    DDCAPS caps;
    std::memset(&caps, 0, sizeof(caps));
    caps.dwSize = sizeof(caps);
    if (SUCCEEDED(legacy->GetCaps(&caps, nullptr))) std::memcpy(s.displayCaps, &caps, sizeof(caps));
    legacy->Release();

    if (!(caps.dwMinOverlayStretch >= 1000 && caps.dwMaxOverlayStretch >= 2000)) {
        for (int row = 0; OverlayFormatTable[row].name[0] != '\0'; ++row) {
            DDSURFACEDESC2 desc;
            std::memset(&desc, 0, sizeof(desc));
            desc.dwSize = sizeof(desc);
            desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
            desc.ddsCaps.dwCaps = DDSCAPS_OVERLAY | DDSCAPS_VIDEOMEMORY;
            desc.dwWidth = 16;
            desc.dwHeight = 16;
            desc.ddpfPixelFormat = OverlayFormatTable[row].format;
            IDirectDrawSurface7* test = nullptr;
            if (FAILED(s.displayObject->CreateSurface(&desc, &test, nullptr)) || test == nullptr) continue;
            DDSCAPS2 testCaps;
            std::memset(&testCaps, 0, sizeof(testCaps));
            test->GetCaps(&testCaps);
            test->Release();
            if (testCaps.dwCaps & DDSCAPS_SYSTEMMEMORY) continue;
            s.overlayFormatIndex = row;
            WriteLogFormat("オーバーレイサーフェスを使用します　　　%s", OverlayFormatTable[row].name);
            return;
        }
    }
    WriteLog("オーバーレイサーフェスは使用しません\n");
}

}  // namespace

DisplayState& GetDisplayState() { return g_display; }

const OverlayFormatRow* GetOverlayFormatTable() { return OverlayFormatTable; }

// ---- Start and end ----

int StartDisplayDevice() {
    DisplayState& s = g_display;
    if (s.displayObject != nullptr) return -1;
    WriteLog("DirectDraw 関連の初期化を行います\n");
    LogIndentScope indent;

    if (s.softwareMode) {
        SetUse3D(0);
        SetHardwareDrawMode(0);
    }

    if (CreateDisplayObject(&s.displayObject) != 0) FatalError("DirectDrawオブジェクトの作成に失敗しました");
    if (!s.softwareMode && CreateDDClipper(s.displayObject, &s.clipper, GetMainHwnd()) != 0) {
        FatalError("DirectDrawClipperオブジェクトの作成時にエラーが発生しました");
    }

    if (s.screenWidth == 0) s.screenWidth = 640;
    if (s.screenHeight == 0) s.screenHeight = 480;
    if (s.screenBits == 0) s.screenBits = 16;
    s.imageColorBits = s.screenBits;
    PublishDrawingFormat();

    if (ChangeDisplayMode(-1, -1, -1, 1, -1) < 0) {
        indent.leave();
        EndDisplayDevice();
        return -1;
    }

    if (!HasWindowRegion()) {
        SetTargetScreenImpl(-2);
        ClearTargetScreenImpl();
        SetTargetScreenImpl(-4);
    }

    SetFlushEveryDraw(1);
    s.mmxAvailable = IsMmxUsable();
    ProbeOverlayFormats(s);

    indent.leave();
    WriteLog("DirectDraw 関連の初期化は正常に終了しました\n");

    BuildSoftwareLookupTables();
    s.started = 1;
    return 0;
}

int EndDisplayDevice() {
    DisplayState& s = g_display;
    KillFrontScreenTimer();
    if (!s.softwareMode && s.displayObject == nullptr) return 0;

    WriteLog("DirectDraw 関連の終了処理をおこないます\n");
    {
        LogIndentScope indent;
        if (!s.softwareMode) ReleaseScreenPalette();
        GraphicsShutDown();
        DeleteAllSurface2D();
        if (!s.softwareMode) TerminateDirect3D();
        DestroyOutputSurfaces();
        if (!s.softwareMode) ReleaseDDClipper();
        // The mode goes back while the object that set it still exists: without the object neither the
        // cooperative level nor the desktop mode can be restored.
        LeaveScreenMode();
        WriteLog("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放します\n");
        if (s.displayObject != nullptr) {
            s.displayObject->Release();
            s.displayObject = nullptr;
        }
        WriteLog("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放しました\n");
    }
    WriteLog("DirectDraw 関連の終了処理は正常に終了しました\n");
    s.started = 0;
    return 0;
}

// ---- The DirectDraw object and its clipper ----

int CreateDisplayObject(IDirectDraw7** object) {
    if (object == nullptr) return -1;
    *object = nullptr;
    WriteLog("DirectDraw オブジェクトの取得を行います....  ");
    IDirectDraw7* created = nullptr;
    if (FAILED(CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7,
                                reinterpret_cast<void**>(&created))) ||
        created == nullptr) {
        WriteLog("オブジェクトの取得に失敗しました\n");
        return -1;
    }
    WriteLog("成功\n");
    WriteLog("引き続き初期化処理... ");
    if (FAILED(created->Initialize(nullptr))) {
        WriteLog("DirectDrawオブジェクトの初期化に失敗しました\n");
        created->Release();
        return -1;
    }
    WriteLog("初期化に成功しました\n");

    SystemInfoRecord* report = GetSystemInfoRecord();
    report->videoDriverName[0] = '\0';
    report->videoDriverDescription[0] = '\0';
    report->videoMemoryFree = 0;
    report->videoMemoryTotal = 0x1000000;
    if (GetAsyncKeyState(VK_SHIFT) & 0x8000) {
        DDDEVICEIDENTIFIER2 id;
        std::memset(&id, 0, sizeof(id));
        if (SUCCEEDED(created->GetDeviceIdentifier(&id, 0))) {
            WriteLog("ビデオカードの情報\n");
            WriteLogFormat("ビデオカードドライバ:%s バージョン:%u.%u.%u.%u ", id.szDriver,
                           (unsigned)HIWORD(id.liDriverVersion.HighPart),
                           (unsigned)LOWORD(id.liDriverVersion.HighPart),
                           (unsigned)HIWORD(id.liDriverVersion.LowPart),
                           (unsigned)LOWORD(id.liDriverVersion.LowPart));
            WriteLogPrintf("ドライバ記述:%s \n", id.szDescription);
            CopyBounded(report->videoDriverName, sizeof(report->videoDriverName), id.szDriver);
            CopyBounded(report->videoDriverDescription, sizeof(report->videoDriverDescription), id.szDescription);
        }
        DDSCAPS2 caps;
        std::memset(&caps, 0, sizeof(caps));
        caps.dwCaps = DDSCAPS_VIDEOMEMORY;
        DWORD total = 0, free = 0;
        if (SUCCEEDED(created->GetAvailableVidMem(&caps, &total, &free))) {
            WriteLogFormat("ビデオメモリ総量:%.2fMB ビデオメモリ空き容量:%.2fMB", total / 1048576.0,
                           free / 1048576.0);
            report->videoMemoryTotal = total;
            report->videoMemoryFree = free;
        }
    }
    *object = created;
    return 0;
}

int CreateDDClipper(IDirectDraw7* object, IDirectDrawClipper** clipper, HWND window) {
    if (object == nullptr || clipper == nullptr) return -1;
    *clipper = nullptr;
    IDirectDrawClipper* made = nullptr;
    if (FAILED(object->CreateClipper(0, &made, nullptr)) || made == nullptr ||
        FAILED(made->SetHWnd(0, window))) {
        if (made) made->Release();
        WriteLog("ＤｉｒｅｃｔＤｒａｗＣｌｉｐｐｅｒオブジェクトの作成に失敗しました\n");
        return -1;
    }
    *clipper = made;
    return 0;
}

int CreateDDClipper() {
    DisplayState& s = g_display;
    if (s.clipper != nullptr) return 0;
    if (CreateDDClipper(s.displayObject, &s.clipper, GetMainHwnd()) != 0) {
        FatalError("クリッパーオブジェクトの作成失敗しました");
    }
    return 0;
}

int ReleaseDDClipper() {
    DisplayState& s = g_display;
    if (s.clipper != nullptr) {
        if (s.primarySurface != nullptr) s.primarySurface->SetClipper(nullptr);
        s.clipper->Release();
        s.clipper = nullptr;
    }
    return 0;
}

int ReleaseDisplayObject() {
    DisplayState& s = g_display;
    WriteLog("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放します\n");
    if (!s.softwareMode && s.displayObject == nullptr) {
        WriteLog("既に解放されています\n");
        return 0;
    }
    ReleaseAllSurface2DSurfaces();
    RestoreDesktopMode();
    ReleaseScreenPalette();
    ReleaseDDClipper();
    if (s.displayObject != nullptr) {
        s.displayObject->Release();
        s.displayObject = nullptr;
    }
    WriteLog("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放しました\n");
    return 0;
}

int RecreateDisplayObject() {
    DisplayState& s = g_display;
    if (s.displayObject != nullptr) return 0;
    if (CreateDisplayObject(&s.displayObject) != 0) {
        FatalError("DirectDraw オブジェクトの作成処理時にエラーが発生しました");
    }
    ResetDisplayMode();
    RestoreAllSurface2DSurfaces();
    if (!s.softwareMode) CreateDDClipper();
    return 0;
}

// ---- Settings ----

int SetHardwareDrawMode(int flag) {
    DisplayState& s = g_display;
    if (s.softwareMode || flag == 0) {
        SetUse3D(0);
        s.softwareMode = 1;
        s.no3DRequest = 1;
        s.memImgDrawing = 1;
    } else {
        s.memImgDrawing = 0;
    }
    PublishDrawingFormat();
    if (s.displayObject != nullptr) {
        int target = GetTargetScreen();
        ReleaseAllGraphsImpl(0);
        ChangeDisplayMode(-1, -1, -1, 1, -1);
        if (target == -2 || target == -4) SetTargetScreenImpl(target);
    }
    return 0;
}

int SetSoftwareRenderRequest(int flag) {
    DisplayState& s = g_display;
    s.no3DRequest = s.softwareMode ? 1 : (flag != 0 ? 1 : 0);
    return 0;
}

int GetSoftwareRenderRequest() { return g_display.no3DRequest; }

int SetSoftwareDrawRequest(int flag) {
    g_softwareDrawRequest = flag != 0 ? 1 : 0;
    return 0;
}

int GetSoftwareDrawRequest() { return g_softwareDrawRequest; }

int SetScreenBackgroundColor(int red, int green, int blue) {
    g_backgroundRed = red & 0xFF;
    g_backgroundGreen = green & 0xFF;
    g_backgroundBlue = blue & 0xFF;
    return 0;
}

int GetScreenBackgroundColor(int* red, int* green, int* blue) {
    if (red) *red = g_backgroundRed;
    if (green) *green = g_backgroundGreen;
    if (blue) *blue = g_backgroundBlue;
    return 0;
}

int SetFlushEveryDraw(int flag) {
    g_display.flushEveryDraw = flag;
    return 0;
}

int SetFlipVSyncWait(int flag) {
    g_display.vsyncWait = flag;
    return 0;
}

int SetShowGdiFlag(int flag) {
    DisplayState& s = g_display;
    int wanted = flag == 1 ? 1 : 0;  // this window never has a menu
    if (wanted == s.gdiState) return 0;
    s.gdiShown = flag;
    if (s.displayObject != nullptr && wanted) s.displayObject->FlipToGDISurface();
    RECT area;
    SaveDrawArea(&area);
    int target = GetTargetScreen();
    SetTargetScreenImpl(-2);
    SetTargetScreenImpl(-4);
    SetTargetScreenImpl(target);
    SetViewportRectImpl(area.left, area.top, area.right, area.bottom);
    s.gdiState = wanted;
    return 0;
}

int SetUseTempPrimary(int flag) {
    if (g_display.displayObject == nullptr) g_display.useTempPrimary = flag;
    return 0;
}

int SetDisplayModeChanged(int flag) {
    g_display.displayModeChanged = flag;
    return 1;
}

int SetDrawTargetSurface(IDirectDrawSurface7* surface) {
    g_display.drawTargetSurface = surface;
    return 0;
}

// ---- Queries ----

int GetScreenSize(int* width, int* height) {
    const DisplayState& s = g_display;
    if (width) *width = s.screenWidth != 0 ? s.screenWidth : 640;
    if (height) *height = s.screenHeight != 0 ? s.screenHeight : 480;
    return 0;
}

int GetScreenColorBits() { return g_display.imageColorBits != 0 ? g_display.imageColorBits : 16; }
int GetBitDepthForFormats() { return GetScreenColorBits(); }
int GetRequestedScreenBits() { return g_display.screenBits; }
int GetFlipVSyncWait() { return g_display.vsyncWait; }
IDirectDrawSurface7* GetDrawTargetSurface() { return g_display.drawTargetSurface; }

IDirectDrawSurface7* GetOutputPrimarySurface() {
    return g_display.useTempPrimary ? g_display.tempPrimarySurface : g_display.primarySurface;
}

IDirectDrawSurface7* GetBackSurface() { return g_display.backSurface; }
IDirectDrawSurface7* GetWorkSurface() { return g_display.workSurface1; }
IDirectDrawSurface7* GetWorkSurface2() { return g_display.workSurface2; }

int IsDrawingToPrimary() {
    const DisplayState& s = g_display;
    return (IsWindowMode() && s.drawTargetSurface != nullptr && s.drawTargetSurface == GetOutputPrimarySurface())
               ? 1
               : 0;
}

IDirectDraw7* GetDisplayObject() { return g_display.displayObject; }
int IsDirectDrawActive() { return g_display.softwareMode ? 0 : 1; }
int IsDisplayModeChanged() { return g_display.displayModeChanged; }
const ColorFormat* GetScreenColorFormat() { return &g_display.screenFormat; }

const DDPIXELFORMAT* GetScreenDDPixelFormatImpl() { return &g_display.screenPixelFormat; }

int IsMemImgDrawMode() { return g_display.memImgDrawing; }

const DDPIXELFORMAT* GetOverlayPixelFormat() {
    const DisplayState& s = g_display;
    int w = 0, h = 0;
    GetScreenSize(&w, &h);
    if (s.overlayFormatIndex < 0 || w < 640 || h < 400) return nullptr;
    return &OverlayFormatTable[s.overlayFormatIndex].format;
}

int CopyDisplayCaps(void* dst) {
    if (dst == nullptr) return -1;
    std::memcpy(dst, g_display.displayCaps, kDisplayCapsSize);
    return 0;
}

int IsGdiShowMode() { return g_display.gdiShown; }
int GetFrameInterval() { return g_display.frameInterval; }
int GetFrameTime() { return g_display.frameTime; }
int IsDisplayStarted() { return g_display.started; }

// The colour lookups of the colour-format module follow the display's screen and image depth.
void PublishDrawingFormat() {
    const DisplayState& s = g_display;
    DrawingFormatInfo& info = GetDrawingFormatInfo();
    if (s.screenFormat.bitDepth != 0) info.screenFormat = s.screenFormat;
    info.imageColorBits = s.imageColorBits != 0 ? s.imageColorBits : 16;
    info.memImgDrawing = s.memImgDrawing;
}
