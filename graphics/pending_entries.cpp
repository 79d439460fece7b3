// Graphics entries that start-up, shutdown, the window procedure and the message pump call, in their least
// form until the graphics device, graph, draw, restore and present modules are built: each does only what
// its callers need from a device that has not started (no display object, no graphs), so the runtime's
// sequences run end to end. Each function leaves this file when its module implements it.
#include <cstring>

#include "graphics/device3d.h"
#include "graphics/display.h"
#include "graphics/display_internal.h"
#include "graphics/draw.h"
#include "graphics/graph.h"
#include "graphics/image.h"
#include "graphics/movie.h"
#include "graphics/restore.h"
#include "graphics/surface2d.h"
#include "graphics/surface3d.h"
#include "runtime/log.h"

namespace {
int g_graphicsDeviceUp = 0;
int g_graphManagementUp = 0;
int g_targetScreen = -2;
int g_transparentColor = 0;
int g_blendMode = 0, g_blendParameter = 0;
int g_colorScale = 0xFFFFFF;
RECT g_drawArea = {0, 0, 640, 480};
GraphRestoreFunction g_restoreFunction = nullptr;
int BuiltInRestore() { return 0; }
}  // namespace

// ---- graphs ----
// The device start and end as graph management will run them: the display device first in the chosen mode,
// then once more in software drawing.
int StartUpGraphicsDevice(HWND) {
    if (StartDisplayDevice() != 0) {
        if (IsMemImgDrawMode()) FatalError("DirectDraw の初期化に失敗しました");
        WriteLog("ソフトウエアレンダリングモードに変更します\n");
        SetHardwareDrawMode(0);
        if (StartDisplayDevice() != 0) FatalError("DirectDraw の初期化に失敗しました");
    }
    g_graphicsDeviceUp = 1;
    return 0;
}
int ShutDownGraphicsDevice() {
    EndDisplayDevice();
    g_graphicsDeviceUp = 0;
    return 0;
}
int IsGraphicsDeviceUp() { return g_graphicsDeviceUp; }
// Graph management holds no graphs yet: up and down only gate the draw-target selection.
int GraphicsStartUp() {
    g_graphManagementUp = 1;
    g_targetScreen = -4;
    return 0;
}
int GraphicsShutDown() {
    g_graphManagementUp = 0;
    return 0;
}
int SetUse3D(int) { return 0; }
int SetCreateDrawValidGraph(int) { return 0; }
int CreateEmptyGraphImpl(int, int, int) { return -1; }
int ReleaseGraphImpl(int, int) { return -1; }  // no graph exists
int ReleaseAllGraphsImpl(int) { return 0; }
int MakeGraphFromGraphImage(const GraphImage*) { return -1; }  // graphs cannot be made yet

// ---- draw state and draw entries ----
int SetTargetScreenImpl(int target) {
    if (!g_graphManagementUp) return -1;
    g_targetScreen = target;
    return 0;
}
int GetTargetScreen() { return g_targetScreen; }
// Clears the back or front screen to the background colour; graph targets wait for the 2D back end.
int ClearTargetScreenImpl() {
    DisplayState& s = GetDisplayState();
    if (s.useMemImgScreens) {
        MEMIMG* image = g_targetScreen == -2 ? &s.backImage : g_targetScreen == -4 ? &s.primaryImage : nullptr;
        if (image != nullptr && IsMemImageValid(image)) {
            FillMemImageRect(image, nullptr, BackgroundPixelValue(image->format));
        }
        return 0;
    }
    if (g_targetScreen == -2 && s.backSurface != nullptr) {
        DDBLTFX fx;
        std::memset(&fx, 0, sizeof(fx));
        fx.dwSize = sizeof(fx);
        fx.dwFillColor = BackgroundPixelValue(&s.screenFormat);
        s.backSurface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
    }
    return 0;
}
int SetBlendModeImpl(int mode, int parameter) {
    g_blendMode = mode;
    g_blendParameter = parameter < 0 ? 0 : parameter > 255 ? 255 : parameter;
    return 0;
}
int GetBlendModeImpl(int* mode, int* parameter) {
    if (mode) *mode = g_blendMode;
    if (parameter) *parameter = g_blendParameter;
    return 0;
}
int SetDrawColorScaleImpl(int red, int green, int blue) {
    auto clamp = [](int v) { return (unsigned)v > 255u ? 255 : v; };
    g_colorScale = (clamp(red) << 16) | (clamp(green) << 8) | clamp(blue);
    return 0;
}
int GetDrawColorScaleImpl(int* red, int* green, int* blue) {
    if (red) *red = (g_colorScale >> 16) & 0xFF;
    if (green) *green = (g_colorScale >> 8) & 0xFF;
    if (blue) *blue = g_colorScale & 0xFF;
    return 0;
}
int SetViewportRectImpl(int left, int top, int right, int bottom) {
    g_drawArea = {left, top, right, bottom};
    return 0;
}
int SaveDrawArea(RECT* out) {
    if (out) *out = g_drawArea;
    return 0;
}
int GetTransparentColor() { return g_transparentColor; }
int SetTransparentColor(int color) {
    g_transparentColor = color;
    return 0;
}
int DrawGraphAtImpl(int, int, int, int) { return -1; }
int DrawGraphStretchedImpl(int, int, int, int, int, int) { return -1; }
int DrawStringWithFont(int, int, const char* text, int, int, int, int) {
    return (text == nullptr || text[0] == '\0') ? 0 : -1;  // no font handle is valid yet
}

// ---- restore ----
int SetGraphRestoreCallback(GraphRestoreFunction function) {
    g_restoreFunction = function ? function : BuiltInRestore;
    return 0;
}
int HasGraphRestoreCallback() { return g_restoreFunction != nullptr ? 1 : 0; }
int RestoreScreenSystem() { return 0; }
int RestoreAllGraphSurfaces() { return 0; }

// ---- surfaces and movies ----
int RestoreAllLostSurfaces2D() { return 0; }
int DeleteAllSurface2D() { return 0; }
int ReleaseAllSurface2DSurfaces() { return 0; }
int RestoreAllSurface2DSurfaces() { return 0; }

// ---- Direct3D (the DirectDraw path carries on without it) ----
int InitDirect3D() { return -1; }
int TerminateDirect3D() { return 0; }
int FlushVertexBatch3D() { return 0; }
int EndCurrentScene3D() { return 0; }
int RestoreAllLostSurfaces3D() { return 0; }
int PlayAllMovies() { return 0; }
int PauseAllMovies() { return 0; }
int ReleaseAllMovieSurfaces() { return 0; }
