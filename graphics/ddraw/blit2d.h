// The 2D back end's drawing: draw-target selection, the one decision every 2D draw goes through (a plain copy
// between surfaces in the same kind of memory is a hardware BltFast; everything else is drawn by the software
// renderer on software images that wrap locked surfaces), fills, line lists and the blend graph's weight table.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <stdint.h>

#include <algorithm>

struct MEMIMG;
struct Surface2D;
struct SoftLineRecord;

// The overlap of two rectangles; where they do not meet, an empty rectangle (never a negative size).
inline RECT IntersectRects(const RECT& a, const RECT& b) {
    RECT r = {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

inline bool IsEmptyRect(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

// Entry v is the weight 0..255 given to a blend-graph pixel of value v.
extern uint8_t BlendGraphWeightTable[256];
int BuildBlendRampTable(int graph, int border, int range);
// The software image of the current blend graph, or null (none set, a 3D graph, or no pixels).
MEMIMG* GetBlendGraphMemImg();

// -4 front screen, -2 back screen, else a graph handle (-1 for an invalid graph; the target is then unusable).
int SelectDrawTarget2D(int target, int previousTarget);
// Clears the whole draw target to the window's background colour (its Z buffer to 0xFFFF).
int FillDrawTarget2D();
// Around a masked draw: the target's rectangle goes into the mask first and comes back where the mask allows.
int PrepareMaskForDraw(const RECT* rect);
int ApplyMaskAfterDraw(const RECT* rect);

// Draws the whole 2D surface with its top-left corner at (x, y) on the current target. 0 or -1.
int DrawSurface2D(int x, int y, int handle, int transparent);
// Lines (records of x1, y1, x2, y2, colour, parameter) on the current target. 0 or -1.
int DrawRectList2D(const SoftLineRecord* records, int count);
// A string of a font whose glyphs are kept in memory, drawn on the current target. 0 or -1.
int DrawStringToTarget2D(int x, int y, const char* text, int colour, int font, int edgeColour, int vertical);

// ---- Software-renderer glue ----
// Prepares one draw of `source` (may be null) into `destRect` of the target (target coordinates). Either a BltFast
// is left pending, or the target (and source) are made available as software images: drawTargetImage is addressed
// in target coordinates and covers the clipped destination; drawSourceImage holds exactly the clipped source part,
// to be drawn at (drawX, drawY). keepColours: colour1 and colour2 (may be null) are converted along when the
// target pixels are converted. 0, or -1 when nothing may be drawn (empty clip, unusable target, failed lock).
int BeginSurfaceBlit(const Surface2D* source, int allowBltFast, const RECT* sourceRect, const RECT* destRect,
                     int keepColours, uint32_t* colour1, uint32_t* colour2);
// Converts back, unlocks and copies the work region back to the target. 0.
int FlushSurfaceBlit();

enum SurfaceBlitRoute {
    kBlitRouteNone = 0,
    kBlitRouteBltFast = 1,      // a hardware BltFast between surfaces
    kBlitRouteLocked = 2,       // software drawing on a locked target surface
    kBlitRouteWorkSurface = 3,  // software drawing on the region copied into the work surface
    kBlitRouteSoftImage = 4,    // software drawing straight onto a software-image target
};

struct SurfaceBlitState {
    int bltFastPending;
    IDirectDrawSurface7* bltTarget;
    int bltX, bltY;
    IDirectDrawSurface7* bltSource;
    RECT bltSourceRect;
    RECT clippedDest;  // target coordinates
    int needsFormatConversion;
    int targetLocked, targetViaWork, sourceLocked, sourceViaWork;
    MEMIMG* drawTargetImage;
    MEMIMG* drawSourceImage;
    int drawX, drawY;  // where drawSourceImage goes in target coordinates
    SurfaceBlitRoute route;
};
// The state of the draw between BeginSurfaceBlit and FlushSurfaceBlit (the route and the clipped destination stay
// readable after it).
const SurfaceBlitState& GetSurfaceBlitState();
