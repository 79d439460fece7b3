// The renderer's drawing entries for 2D graphs: each decides where the pixels go (straight into the software
// screen, the mask or a software graph, or a DirectDraw surface locked and seen as a software image for the time of
// the draw) and hands the work to a rasteriser. The boxes they lock cover every pixel the rasteriser may write.
#include <limits.h>
#include <string.h>

#include <algorithm>

#include "graphics/ddraw/blit2d.h"
#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/mask.h"
#include "graphics/color/memimg.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/surface_data.h"
#include "runtime/text.h"
#include "softrender/soft_common.h"
#include "softrender/softrender.h"

namespace {

bool HaveBackEnd() { return GetDisplayState().softwareMode != 0 || GetDisplayObject() != nullptr; }
bool SoftwareImageDrawing() { return IsMemImgDrawMode() && GetDisplayState().screenBits != 8; }
MEMIMG* SoftwareTarget() { return GetDrawState().maskDrawActive ? GetMaskMemImg() : GetDrawTarget2DMemImg(); }

void BeforeLock() {
    FlushVertexBatch3D();
    if (GetDisplayState().flushEveryDraw) EndCurrentScene3D();
}

// A box of 64-bit corners narrowed to what a RECT holds; the lock clips it to the draw area anyway.
RECT ToRect(int64_t l, int64_t t, int64_t r, int64_t b) {
    auto fit = [](int64_t v) { return static_cast<LONG>(std::clamp<int64_t>(v, INT_MIN / 2, INT_MAX / 2)); };
    return RECT{fit(l), fit(t), fit(r), fit(b)};
}

// The piece's image as the rasteriser reads it: the surface data's own image, or a view of the piece in `view`.
const MEMIMG* PieceImage(const Surface2D* s, SurfaceData* d, MEMIMG* view) {
    if (!IsMemImageValid(&d->image)) return nullptr;
    if (s->x == 0 && s->y == 0 && s->width == d->width && s->height == d->height) return &d->image;
    return DeriveMemImage(view, &d->image, s->x, s->y, s->width, s->height);
}

float IntBitsToFloat(int v) {
    float f;
    memcpy(&f, &v, sizeof(f));
    return f;
}

}  // namespace

int DrawImageScaled(int x1, int y1, int x2, int y2, const GraphRecord* graph, int transparent, int intCoordinates,
                    int overrideSurface) {
    if (IsDrawTarget2DUnusable() || !HaveBackEnd() || graph == nullptr) return -1;
    if (intCoordinates != 1) {
        x1 = FloatToInt(IntBitsToFloat(x1));
        y1 = FloatToInt(IntBitsToFloat(y1));
        x2 = FloatToInt(IntBitsToFloat(x2));
        y2 = FloatToInt(IntBitsToFloat(y2));
    }
    const int corners[4] = {x1, y1, x2, y2};
    const Surface2D* s = Surface2DToRecord(overrideSurface >= 0 ? overrideSurface : graph->pieces[0]);
    if (s == nullptr) return -1;
    const int sw = overrideSurface >= 0 ? s->width : graph->width;
    const int sh = overrideSurface >= 0 ? s->height : graph->height;
    SurfaceData* d = SurfaceDataToRecord(s->surfaceData);
    if (d == nullptr) return -1;
    const MEMIMG* blend = GetBlendGraphMemImg();

    if (SoftwareImageDrawing()) {
        MEMIMG view;
        const MEMIMG* source = PieceImage(s, d, &view);
        MEMIMG* target = SoftwareTarget();
        if (source == nullptr || target == nullptr) return -1;
        SoftBlitScaled(target, source, corners, transparent, blend);
        return 0;
    }

    BeforeLock();
    const bool mirrorX = x1 > x2, mirrorY = y1 > y2;
    const int64_t left = std::min(x1, x2), top = std::min(y1, y2);
    const int64_t dw = static_cast<int64_t>(std::max(x1, x2)) - left, dh = static_cast<int64_t>(std::max(y1, y2)) - top;
    if (dw == 0 || dh == 0 || sw <= 0 || sh <= 0) return -1;
    if (dw == sw && dh == sh && !mirrorX && !mirrorY) {
        if (overrideSurface >= 0) return DrawSurface2D(x1, y1, overrideSurface, transparent);
        return DrawGraphPiece2D(static_cast<float>(x1), static_cast<float>(y1), graph, transparent, 1);
    }
    const int64_t scaleX = dw * 65536 / sw, scaleY = dh * 65536 / sh;
    if (scaleX <= 0 || scaleY <= 0) return -1;
    const RECT& area = GetDrawState().drawArea;
    const int64_t cl = std::max<int64_t>(left, area.left), ct = std::max<int64_t>(top, area.top);
    const int64_t cr = std::min<int64_t>(left + dw, area.right), cb = std::min<int64_t>(top + dh, area.bottom);
    if (cl >= cr || ct >= cb) return -1;
    // The source rectangle the clipped part reads, rounded up, then kept inside the source before mirroring.
    int64_t sl = (cl - left) * 65536 / scaleX, st = (ct - top) * 65536 / scaleY;
    int64_t sr = sl + ((cr - cl) * 65536 + scaleX - 1) / scaleX, sb = st + ((cb - ct) * 65536 + scaleY - 1) / scaleY;
    sr = std::min<int64_t>(sr, sw);
    sb = std::min<int64_t>(sb, sh);
    if (mirrorX) {
        const int64_t l = sw - sr;
        sr = sw - sl;
        sl = l;
    }
    if (mirrorY) {
        const int64_t t = sh - sb;
        sb = sh - st;
        st = t;
    }
    const RECT sourceRect = ToRect(sl, st, sr, sb);
    const RECT destRect = ToRect(cl, ct, cr, cb);
    if (BeginSurfaceBlit(s, 0, &sourceRect, &destRect, 0, nullptr, nullptr) < 0) return -1;
    const SurfaceBlitState& b = GetSurfaceBlitState();
    SoftBlitScaled(b.drawTargetImage, b.drawSourceImage, corners, transparent, blend);
    FlushSurfaceBlit();
    return 0;
}

int DrawFilledBox(int x1, int y1, int x2, int y2, int colour) {
    if (IsDrawTarget2DUnusable() || !HaveBackEnd()) return -1;
    const RECT rect = {x1, y1, x2, y2};
    if (SoftwareImageDrawing()) {
        MEMIMG* target = SoftwareTarget();
        if (target == nullptr) return -1;
        SoftFillRect(target, &rect, static_cast<uint32_t>(colour));
        return 0;
    }
    BeforeLock();
    uint32_t c = static_cast<uint32_t>(colour);
    if (BeginSurfaceBlit(nullptr, 0, nullptr, &rect, 1, &c, nullptr) < 0) return -1;
    SoftFillRect(GetSurfaceBlitState().drawTargetImage, &rect, c);
    FlushSurfaceBlit();
    return 0;
}

int DrawBoxOutline(int x1, int y1, int x2, int y2, int colour) {
    SoftLineRecord lines[4];
    BuildBoxOutline(lines, x1, y1, x2, y2, colour, GetDrawState().blendParameter);
    return DrawRectList2D(lines, 4);
}

int DrawImageRotated(float x, float y, double scale, double angle, const GraphRecord* graph, int transparent,
                     int turn) {
    const int cx = FloatToInt(x), cy = FloatToInt(y);
    if (IsDrawTarget2DUnusable() || !HaveBackEnd() || graph == nullptr) return -1;
    const Surface2D* s = Surface2DToRecord(graph->pieces[0]);
    if (s == nullptr) return -1;
    SurfaceData* d = SurfaceDataToRecord(s->surfaceData);
    if (d == nullptr) return -1;
    const MEMIMG* blend = GetBlendGraphMemImg();
    const float fScale = static_cast<float>(scale), fAngle = static_cast<float>(angle);
    if (SoftwareImageDrawing()) {
        MEMIMG view;
        const MEMIMG* source = PieceImage(s, d, &view);
        MEMIMG* target = SoftwareTarget();
        if (source == nullptr || target == nullptr) return -1;
        SoftBlitRotated(target, source, cx, cy, fAngle, fScale, transparent, turn, blend);
        return 0;
    }
    BeforeLock();
    // Lock what the rasteriser scans: the corners' box with its margins of two pixels before and four after.
    RECT box;
    if (!SoftRotatedBox(s->width, s->height, cx, cy, fAngle, fScale, &box)) return 0;
    const RECT sourceRect = {0, 0, s->width, s->height};
    if (BeginSurfaceBlit(s, 0, &sourceRect, &box, 0, nullptr, nullptr) < 0) return -1;
    const SurfaceBlitState& b = GetSurfaceBlitState();
    SoftBlitRotated(b.drawTargetImage, b.drawSourceImage, cx, cy, fAngle, fScale, transparent, turn, blend);
    FlushSurfaceBlit();
    return 0;
}

int DrawImageTriangle(const SoftVertex vertices[3], const GraphRecord* graph, int transparent, uint32_t fillColour) {
    if (!HaveBackEnd() || vertices == nullptr) return -1;
    const Surface2D* s = nullptr;
    SurfaceData* d = nullptr;
    const MEMIMG* blend = nullptr;
    if (graph != nullptr) {
        s = Surface2DToRecord(graph->pieces[0]);
        if (s == nullptr) return -1;
        d = SurfaceDataToRecord(s->surfaceData);
        if (d == nullptr) return -1;
        blend = GetBlendGraphMemImg();
    }
    if (SoftwareImageDrawing()) {
        MEMIMG view;
        const MEMIMG* texture = graph != nullptr ? PieceImage(s, d, &view) : nullptr;
        MEMIMG* target = SoftwareTarget();
        if (target == nullptr || (graph != nullptr && texture == nullptr)) return -1;
        SoftDrawTriangle(target, texture, vertices, transparent, blend, fillColour);
        return 0;
    }
    BeforeLock();
    int64_t l = 1000000, t = 1000000, r = -1000000, b = -1000000;
    for (int i = 0; i < 3; ++i) {
        l = std::min<int64_t>(l, vertices[i].x);
        r = std::max<int64_t>(r, vertices[i].x);
        t = std::min<int64_t>(t, vertices[i].y);
        b = std::max<int64_t>(b, vertices[i].y);
    }
    // Spans draw both their ends, so the box reaches one past the largest x.
    const RECT destRect = ToRect(l, t, r + 1, b);
    const RECT sourceRect = s != nullptr ? RECT{0, 0, s->width, s->height} : RECT{0, 0, 0, 0};
    if (BeginSurfaceBlit(s, 0, s != nullptr ? &sourceRect : nullptr, &destRect, 0, nullptr, nullptr) < 0) return -1;
    const SurfaceBlitState& st = GetSurfaceBlitState();
    SoftDrawTriangle(st.drawTargetImage, graph != nullptr ? st.drawSourceImage : nullptr, vertices, transparent, blend,
                     fillColour);
    FlushSurfaceBlit();
    return 0;
}

int DrawImageQuadSplit(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, const GraphRecord* graph,
                       int transparent) {
    if (graph == nullptr) return 0;
    const int w = graph->width, h = graph->height;
    const SoftVertex p1 = {x1, y1, 0, 0}, p2 = {x2, y2, w, 0}, p3 = {x3, y3, 0, h}, p4 = {x4, y4, w, h};
    const SoftVertex first[3] = {p1, p2, p3}, second[3] = {p2, p3, p4};
    DrawImageTriangle(first, graph, transparent, 0);
    DrawImageTriangle(second, graph, transparent, 0);
    return 0;
}

int DrawImageFourPoints(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                        const GraphRecord* graph, int transparent) {
    return DrawImageQuadSplit(FloatToInt(x1), FloatToInt(y1), FloatToInt(x2), FloatToInt(y2), FloatToInt(x3),
                              FloatToInt(y3), FloatToInt(x4), FloatToInt(y4), graph, transparent);
}
