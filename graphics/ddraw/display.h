// Folder graphics/ddraw/: the DirectDraw display device, screen output and presenting, 2D surfaces and the 2D blit
// (the software renderer sits behind it). It may call the graph layer, graphics/color/, graphics/image/,
// graphics/d3d/'s device3d.h and surface3d.h, softrender/, font/ and the runtime core.
//
// The display device: the DirectDraw 7 object and the window's clipper, the screen mode (window or full screen),
// the output surfaces (or, in software mode, the software-image screens), the measured frame time that paces
// presenting, and the switch to software drawing. Graphics start-up, the window procedure and the 2D back end call it.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <stdint.h>

#include "graphics/color/color_format.h"
#include "graphics/color/memimg.h"

// The size of the device capabilities record the display keeps (DDCAPS of DirectX 7).
constexpr int kDisplayCapsSize = 380;

// Window timer that copies the temporary primary into the window while the front screen is drawn.
constexpr UINT_PTR kFrontScreenTimerId = 0x7FFF;

// Screen layouts as the 2D back end distinguishes them.
constexpr int kScreenFormatR5G6B5 = 0;
constexpr int kScreenFormatX1R5G5B5 = 1;
constexpr int kScreenFormatX8R8G8B8 = 2;
constexpr int kScreenFormatOther = 3;

struct DisplayState {
    IDirectDraw7* displayObject;  // also made in software mode, where it serves only the vertical-blank waits
    IDirectDrawClipper* clipper;  // bound to the main window (DirectDraw path only)
    unsigned char displayCaps[kDisplayCapsSize];

    // 0 means unset: 640, 480, 16 and the default rate.
    int screenWidth, screenHeight, screenBits, refreshRate;
    int previousWidth, previousHeight, previousBits, previousRefreshRate;
    int imageColorBits;  // depth of graph and software images: 16 or 32

    ColorFormat screenFormat;
    DDPIXELFORMAT screenPixelFormat;
    int screenFormatCode;  // kScreenFormat*

    int cooperativeLevel;
    int displayModeChanged;  // the display mode differs from the desktop's

    int softwareMode;    // no DirectDraw surfaces, clipper or Direct3D; set once, never cleared
    int memImgDrawing;   // drawing goes through software images (exactly when softwareMode)
    int no3DRequest;     // do not start Direct3D
    int started;
    int multithreaded;   // nothing sets it
    int gdiShown;
    int gdiState;        // -1 unknown
    int copyByBitBlt;    // surface-to-surface copies by GDI BitBlt instead of BltFast
    int flushEveryDraw;
    int vsyncWait;
    int useTempPrimary;

    int overlayFormatIndex;  // row of the overlay format table, -1 none
    int mmxAvailable;

    IDirectDrawSurface7* primarySurface;
    IDirectDrawSurface7* tempPrimarySurface;
    IDirectDrawSurface7* backSurface;
    IDirectDrawSurface7* workSurface1;
    IDirectDrawSurface7* workSurface2;
    IDirectDrawSurface7* zSurface;
    IDirectDrawSurface7* drawTargetSurface;  // written by the 2D back end's target selection

    int useMemImgScreens;
    MEMIMG primaryImage;
    MEMIMG backImage;
    MEMIMG zImage;

    int measuredRefreshRate;   // Hz, -1 unknown
    int frameTime;             // ms, -1 unknown
    int scanLineCount;
    int frameInterval;         // ms, -1 none
    unsigned int lastModeChangeTime;  // ms, 0 = never
};

// The one display record. Read by the 2D back end, presenting and the tests; written only by the display code.
DisplayState& GetDisplayState();

// ---- Start and end ----
// 0, or -1 when a display object already exists or the first mode change failed.
int StartDisplayDevice();
int EndDisplayDevice();
// -1 in width, height, bits or refresh keeps the current value; force 1 re-sets an unchanged mode. Returns 0,
// -1 (the requested mode was refused, or the surfaces could not be made) or -2 (fell back to 640 x 480 x 16).
int ChangeDisplayMode(int width, int height, int bits, int force, int refresh);

// ---- The DirectDraw object and its clipper ----
int CreateDisplayObject(IDirectDraw7** object);
int CreateDDClipper(IDirectDraw7* object, IDirectDrawClipper** clipper, HWND window);
// Makes the clipper for the stored object and the main window; a failure is fatal.
int CreateDDClipper();
int ReleaseDDClipper();
// The device-loss pair of the window procedure.
int ReleaseDisplayObject();
int RecreateDisplayObject();

// ---- Screen mode ----
int ReadScreenColorFormat();
int ApplyScreenMode(IDirectDraw7* object, int desktopWidth, int desktopHeight, int width, int height, int bits,
                    int* bitsOut, int* levelOut, int windowMode, int* displayModeChanged, HWND window);
int LeaveScreenMode();
int RestoreDesktopMode();
int ResetDisplayMode();

// ---- Output surfaces ----
int CreateOutputSurfaces();
int DestroyOutputSurfaces();
int RestoreOutputSurfaces();

// ---- Settings ----
int SetHardwareDrawMode(int flag);
int SetSoftwareRenderRequest(int flag);
int SetFlushEveryDraw(int flag);
int SetFlipVSyncWait(int flag);
int SetShowGdiFlag(int flag);
int SetUseTempPrimary(int flag);  // taken only before a display object exists
int SetDisplayModeChanged(int flag);
int SetDrawTargetSurface(IDirectDrawSurface7* surface);
// Run the whole library in software drawing (read by start-up); nothing in the game sets it.
int SetSoftwareDrawRequest(int flag);
int GetSoftwareDrawRequest();
// The colour cleared screens and the unpainted window show (0..255 each; black unless a host sets it).
int SetScreenBackgroundColor(int red, int green, int blue);
int GetScreenBackgroundColor(int* red, int* green, int* blue);

// ---- Queries ----
int GetScreenSize(int* width, int* height);  // 640 x 480 while unset
int GetScreenColorBits();                    // imageColorBits, 16 while unset
int GetBitDepthForFormats();                 // the same
int GetFlipVSyncWait();
IDirectDrawSurface7* GetDrawTargetSurface();
IDirectDrawSurface7* GetOutputPrimarySurface();  // the temporary primary when it is in use
IDirectDrawSurface7* GetBackSurface();
IDirectDrawSurface7* GetWorkSurface();
IDirectDrawSurface7* GetWorkSurface2();
int IsDrawingToPrimary();
IDirectDraw7* GetDisplayObject();
int IsDirectDrawActive();
int IsDisplayModeChanged();
const ColorFormat* GetScreenColorFormat();
const DDPIXELFORMAT* GetScreenDDPixelFormatImpl();
int IsMemImgDrawMode();
const DDPIXELFORMAT* GetOverlayPixelFormat();
int CopyDisplayCaps(void* dst);
int IsGdiShowMode();
int GetSoftwareRenderRequest();
int GetFrameInterval();
int GetFrameTime();
int IsDisplayStarted();
// The screen depth asked for before start-up (0 while unset); start-up refuses 24.
int GetRequestedScreenBits();

// ---- The overlay format table ----
struct OverlayFormatRow {
    DDPIXELFORMAT format;
    const char* name;  // empty ends the table
};
const OverlayFormatRow* GetOverlayFormatTable();
