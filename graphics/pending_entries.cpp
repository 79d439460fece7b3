// Graphics entries that start-up, shutdown, the window procedure and the message pump call, in their least
// form until the graphics device, graph, draw, restore and present modules are built: each does only what
// its callers need from a device that has not started (no display object, no graphs), so the runtime's
// sequences run end to end. Each function leaves this file when its module implements it.
#include <cstring>

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

// ---- surfaces and movies ----
int OpenMovieToGraph(const char*, int*, int*, int) {
    WriteLog("ムービーファイルオープン処理時にエラーが発生しました\n");
    return -1;
}
int GetMovieMode(int) { return -1; }
int CloseMovie(int) { return -1; }
int CloseMovieHandle(int) { return -1; }  // no movie can be opened yet
int UpdateMovieFrame(int, int) { return 0; }
int DrawMovieFrameDirect(int, int, int, int, int) { return -1; }
int RestoreMovieSurfaces(int) { return 0; }
int ReopenAllMovies() { return 0; }

// ---- screen mask (none is ever made) ----
IDirectDrawSurface7* GetMaskSurface() { return nullptr; }
MEMIMG* GetMaskMemImg() { return nullptr; }
int IsMaskSurfaceInVideoMemory() { return 0; }
int CopyToMaskSurface(const RECT*, IDirectDrawSurface7*, const GraphImage*) { return 0; }
int RebuildMaskSurfaceRect(const RECT*) { return 0; }
int FreeMaskScreen() { return 0; }
int ReleaseAllMaskData() { return 0; }
int GetMaskDrawFlag() { return GetDrawState().maskDrawRequested; }
int SetMaskDrawFlag(int) { return -1; }  // no mask bytes exist
int ReleaseMaskScreen() { return 0; }
int RestoreMaskScreen() { return 0; }

// ---- strings of fonts kept in memory (no font exists yet) ----
int DrawStringToTarget2D(int, int, const char*, int, int, int, int) { return -1; }

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
int ReleaseDirect3DObject() { return -1; }
int AcquireDirect3DObject() { return 0; }
int UpdateDrawColor3D() { return 0; }
int SetBlendTexture3D(const GraphRecord*, int, int) { return -1; }
int SetTextureFilter3D(int) { return -1; }
int SetWorldTransform3D(const float*) { return -1; }
int SetViewTransform3D(const float*) { return -1; }
int SetProjectionTransform3D(const float*) { return -1; }
int SetDrawAreaViewport3D(const RECT*) { return -1; }
int SelectDrawTarget3D(int) { return -1; }
int FillDrawTarget3D() { return 0; }
int DrawGraph3D(float, float, const GraphRecord*, int, int) { return -1; }
int DrawGraphStretched3D(float, float, float, float, const GraphRecord*, int, int) { return -1; }
int DrawGraphRotated3D(float, float, double, double, const GraphRecord*, int, int) { return -1; }
int DrawGraphQuadF3D(float, float, float, float, float, float, float, float, const GraphRecord*, int) { return -1; }
int DrawBoxFilled3D(int, int, int, int, int) { return -1; }
int DrawBoxOutline3D(int, int, int, int, int) { return -1; }
int DrawStringToTarget3D(int, int, const char*, int, int, int, int) { return -1; }
int CopyScreenToGraph3D(int, int, int, int, GraphRecord*, int) { return -1; }
int DeriveGraphTextures3D(int, int, int, int, GraphRecord*, const GraphRecord*) { return -1; }
int BltImageToGraph3D(int, int, GraphRecord*, const GraphImage*, const GraphImage*) { return -1; }
int BltImageRectToGraph3D(const RECT*, int, int, GraphRecord*, const GraphImage*, const GraphImage*) { return -1; }
int RestoreLostSurfaces3D(GraphRecord*) { return 0; }
int PlayAllMovies() { return 0; }
int PauseAllMovies() { return 0; }
int ReleaseAllMovieSurfaces() { return 0; }
