// Graphics entries that start-up, shutdown, the window procedure and the message pump call, in their least
// form until the graphics device, graph, draw, restore and present modules are built: each does only what
// its callers need from a device that has not started (no display object, no graphs), so the runtime's
// sequences run end to end. Each function leaves this file when its module implements it.
#include <cstring>

#include "graphics/ddraw/blit2d.h"
#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/display_internal.h"
#include "graphics/draw.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/image/image.h"
#include "graphics/mask.h"
#include "graphics/movie.h"
#include "graphics/restore.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/d3d/surface3d.h"
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

// ---- strings through the Direct3D back end (they need the font's glyph textures) ----
int DrawStringToTarget3D(int, int, const char*, int, int, int, int) { return -1; }
int PlayAllMovies() { return 0; }
int PauseAllMovies() { return 0; }
int ReleaseAllMovieSurfaces() { return 0; }
