// Graphics entries that start-up, shutdown, the window procedure and the message pump call, in their least
// form until the graphics device, graph, draw, restore and present modules are built: each does only what
// its callers need from a device that has not started (no display object, no graphs), so the runtime's
// sequences run end to end. Each function leaves this file when its module implements it.
#include <cstring>
#include <utility>

#include "graphics/blit2d.h"
#include "graphics/device3d.h"
#include "graphics/display.h"
#include "graphics/display_internal.h"
#include "graphics/draw.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/image.h"
#include "graphics/mask.h"
#include "graphics/movie.h"
#include "graphics/restore.h"
#include "graphics/surface2d.h"
#include "graphics/surface3d.h"
#include "runtime/log.h"
#include "runtime/window.h"

namespace {
GraphRestoreFunction g_restoreFunction = nullptr;
int BuiltInRestore() { return 0; }
int ClampByte(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }
}  // namespace

// ---- graph restore source (the 2D path; Direct3D pieces wait for the texture code) ----
int SetGraphRestoreSource(const char* fileName, const GraphImage* image, const GraphImage* alphaImage, int srcX,
                          int srcY, int graph, int restoreParameter) {
    GraphRecord* g = GetGraphRecord(graph);
    if (g == nullptr) return -1;
    SetGraphFileName(graph, fileName);
    g->restoreParameter = restoreParameter;
    g->sourceX = srcX;
    g->sourceY = srcY;
    if (g->creation[kCreateTexture] == 1) return -1;
    return BltImageToGraph2D(image, alphaImage, srcX, srcY, g);
}

// ---- draw state and draw entries ----
int SetTargetScreenImpl(int target) {
    if (!IsGraphManagementUp()) return -1;
    DrawState& state = GetDrawState();
    const DisplayState& display = GetDisplayState();
    const int previous = state.target;
    state.target = target;
    state.windowDrawRect = RECT{0, 0, 0, 0};
    if (target == -4 && IsWindowMode() && !display.useTempPrimary && !(IsMemImgDrawMode() && display.screenBits != 8)) {
        GetMainClientRectOnScreen(&state.windowDrawRect);
    }
    if (SelectDrawTarget2D(target, previous) != 0) {
        state.target = previous;
        SelectDrawTarget2D(previous, target);
        return -1;
    }
    int width = 0, height = 0;
    GetGraphDimensionsImpl(target, &width, &height);
    if (width != state.targetWidth || height != state.targetHeight) {
        state.targetWidth = width;
        state.targetHeight = height;
        SetViewportRectImpl(0, 0, width, height);
    }
    return 0;
}
int GetTargetScreen() { return GetDrawState().target; }
int ClearTargetScreenImpl() { return FillDrawTarget2D(); }
int SetBlendModeImpl(int mode, int parameter) {
    DrawState& state = GetDrawState();
    state.blendMode = static_cast<unsigned int>(mode);
    state.blendParameter = ClampByte(parameter);
    return 0;
}
int GetBlendModeImpl(int* mode, int* parameter) {
    const DrawState& state = GetDrawState();
    if (mode) *mode = static_cast<int>(state.blendMode);
    if (parameter) *parameter = state.blendParameter;
    return 0;
}
int SetDrawColorScaleImpl(int red, int green, int blue) {
    auto clamp = [](int v) { return (unsigned)v > 255u ? 255 : v; };
    GetDrawState().colorScale = (clamp(red) << 16) | (clamp(green) << 8) | clamp(blue);
    return 0;
}
int GetDrawColorScaleImpl(int* red, int* green, int* blue) {
    const unsigned int scale = GetDrawState().colorScale;
    if (red) *red = (scale >> 16) & 0xFF;
    if (green) *green = (scale >> 8) & 0xFF;
    if (blue) *blue = scale & 0xFF;
    return 0;
}
// The draw area: corners ordered and clamped into the target.
int SetViewportRectImpl(int left, int top, int right, int bottom) {
    DrawState& state = GetDrawState();
    int width = 0, height = 0;
    if (GetGraphDimensionsImpl(state.target, &width, &height) != 0) return 0;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    auto clamp = [](int v, int hi) { return v < 0 ? 0 : v > hi ? hi : v; };
    state.drawArea = RECT{clamp(left, width), clamp(top, height), clamp(right, width), clamp(bottom, height)};
    state.drawAreaF[0] = static_cast<float>(state.drawArea.left);
    state.drawAreaF[1] = static_cast<float>(state.drawArea.top);
    state.drawAreaF[2] = static_cast<float>(state.drawArea.right);
    state.drawAreaF[3] = static_cast<float>(state.drawArea.bottom);
    state.areaEmpty = (state.drawArea.left == state.drawArea.right || state.drawArea.top == state.drawArea.bottom);
    return 0;
}
int SaveDrawArea(RECT* out) {
    if (out) *out = GetDrawState().drawArea;
    return 0;
}
int GetTransparentColor() { return static_cast<int>(GetDrawState().transparentColor); }
int SetTransparentColor(int color) {
    GetDrawState().transparentColor = static_cast<unsigned int>(color) & 0xFFFFFF;
    return 0;
}
// A plain copy of a 2D graph at a point; texture graphs wait for the Direct3D draw primitives.
int DrawGraphAtImpl(int x, int y, int graph, int transparent) {
    if (GetDrawState().areaEmpty) return 0;
    const GraphRecord* g = GetGraphRecord(graph);
    if (g == nullptr || g->creation[kCreateTexture] == 1) return -1;
    return DrawGraphPiece2D(static_cast<float>(x), static_cast<float>(y), g, transparent, 1);
}
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
int OpenMovieToGraph(const char*, int*, int*, int) {
    WriteLog("ムービーファイルオープン処理時にエラーが発生しました\n");
    return -1;
}
int GetMovieMode(int) { return -1; }
int CloseMovie(int) { return -1; }
int CloseMovieHandle(int) { return -1; }  // no movie can be opened yet

// ---- screen mask (none is ever made) ----
IDirectDrawSurface7* GetMaskSurface() { return nullptr; }
MEMIMG* GetMaskMemImg() { return nullptr; }
int IsMaskSurfaceInVideoMemory() { return 0; }
int CopyToMaskSurface(const RECT*, IDirectDrawSurface7*, const GraphImage*) { return 0; }
int RebuildMaskSurfaceRect(const RECT*) { return 0; }
int FreeMaskScreen() { return 0; }
int ReleaseAllMaskData() { return 0; }

// ---- Direct3D (the DirectDraw path carries on without it) ----
int InitDirect3D() { return -1; }
int TerminateDirect3D() { return 0; }
int FlushVertexBatch3D() { return 0; }
int EndCurrentScene3D() { return 0; }
int RestoreAllLostSurfaces3D() { return 0; }
IDirect3DDevice7* GetCurrentDevice3D() { return nullptr; }
int GetTextureFormatIndex(const unsigned char* creation) {
    const bool is32 = creation[kCreateColorBits] == 32;
    if (creation[kCreateDrawValid]) {
        return (creation[kCreateAlpha] || creation[kCreateAlphaTest]) ? 8 : (is32 ? 7 : 6);
    }
    if (creation[kCreateAlpha]) return is32 ? 3 : 2;
    return (is32 ? 1 : 0) + (creation[kCreateAlphaTest] ? 4 : 0);
}
const TextureFormatRow* GetTextureFormatRow(int) { return nullptr; }
const DDPIXELFORMAT* GetZBufferFormat() { return nullptr; }
// The 3D surface table cannot be cleared without a Direct3D object: graphs take the 2D path.
int ClearSurfaceTable3D() { return -1; }
int CreateGraphTextures3D(GraphRecord*) { return -1; }
int DeleteGraphTextures3D(GraphRecord*) { return 0; }
int FillGraphSurfaces3D(GraphRecord*, int, int, int, int) { return -1; }
int GetSurface3DPlacement(int, int*, int*, int*) { return -1; }
int PlayAllMovies() { return 0; }
int PauseAllMovies() { return 0; }
int ReleaseAllMovieSurfaces() { return 0; }
