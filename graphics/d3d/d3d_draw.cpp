// The Direct3D forms of the draw entries: a graph at a point, stretched, rotated and zoomed, on four free corners;
// filled boxes and box outlines; the draw target's selection and clearing. Each turns the prebuilt corner vertices
// of a graph's pieces into screen positions and appends them to the current device's vertex batch after the render
// and blend states were brought in line with the draw state.
#include "graphics/d3d/d3d_draw.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "graphics/d3d/d3d_state.h"
#include "graphics/d3d/d3d_surface.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/mask.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/surface_data.h"
#include "runtime/log.h"
#include "runtime/text.h"
#include "runtime/window.h"
#include "softrender/softrender.h"

namespace {

// One corner on its way into the batch: position, the piece's texture coordinate, the blend texture's.
struct Corner {
    float x, y;
    float u, v;
    float bu, bv;
};

constexpr int kTriangleOrder[6] = {0, 1, 2, 3, 2, 1};         // top-left, top-right, bottom-left, bottom-right, ...
constexpr int kTriangleOrderSwapped[6] = {0, 2, 1, 3, 1, 2};  // both triangles keep one winding

// The current device when a primitive may draw: -1 through *result when the back end or the record is missing,
// 0 while the target cannot be drawn on.
Device3D* DrawDevice(int* index, int* result) {
    const Direct3DState& s = GetDirect3DState();
    *index = GetCurrentDevice3DIndex();
    Device3D* d = CurrentDevice3D();
    if (s.object == nullptr || d == nullptr || d->device == nullptr) {
        *result = -1;
        return nullptr;
    }
    if (s.targetNotDrawable) {
        *result = 0;
        return nullptr;
    }
    return d;
}

int ZFlag() { return GetDrawState().zTest ? kSetupZ : 0; }

// Binds the piece's texture when it differs from the device's and sends what became pending.
void PreparePieceTexture(Device3D* d, int index, const Surface3D* piece) {
    SetDeviceTexture3D(d, Surface3DTexture(piece));
    if (d->blendStatesPending || d->texturePending) ApplyBlendState3D(index);
}

void EndSceneWhenFront() {
    if (GetDirect3DState().frontTarget) EndCurrentScene3D();
}

// Adds one quad (two triangles of a triangle list) in the vertex kind the blend set-up chose.
void WriteQuad(Device3D* d, const Corner c[4], const int order[6]) {
    const uint32_t color = GetDrawColor3D();
    const float z = DrawZ3D();
    void* at = ReserveBatch3D(d, D3DPT_TRIANGLELIST, 6);
    if (d->batch.kind == kVertexKindBlendTex) {
        auto* v = static_cast<VertexBlendTex*>(at);
        for (int k = 0; k < 6; ++k) {
            const Corner& s = c[order[k]];
            v[k].x = s.x, v[k].y = s.y, v[k].z = z, v[k].diffuse = color;
            v[k].u1 = s.bu, v[k].v1 = s.bv, v[k].u2 = s.u, v[k].v2 = s.v;
        }
    } else if (d->batch.kind == kVertexKindTex) {
        auto* v = static_cast<VertexTex*>(at);
        for (int k = 0; k < 6; ++k) {
            const Corner& s = c[order[k]];
            v[k].x = s.x, v[k].y = s.y, v[k].z = z, v[k].diffuse = color;
            v[k].u = s.u, v[k].v = s.v;
        }
    } else {
        return;  // a textured quad never goes into the untextured buffer
    }
    CommitBatch3D(d, D3DPT_TRIANGLELIST, 6);
}

// Corners of a piece at (originX, originY) + scale * corner position.
void PieceCorners(const Surface3D* p, float baseX, float baseY, float scaleX, float scaleY, Corner c[4]) {
    const BlendTextureInfo3D& blend = GetBlendTextureInfo3D();
    for (int k = 0; k < 4; ++k) {
        const VertexTex& v = p->corners[k];
        c[k].x = baseX + v.x * scaleX;
        c[k].y = baseY + v.y * scaleY;
        c[k].u = v.u;
        c[k].v = v.v;
        c[k].bu = v.x * blend.inverseWidth;
        c[k].bv = v.y * blend.inverseHeight;
    }
}

// Clamps the corners into the float draw area; texture coordinates move by the same share of the texture
// (uSpan: screen pixels per unit of u, i.e. the surface data's width times the horizontal scale).
void ClampCorners(Corner c[4], const float area[4], float uSpan, float vSpan, float blendX, float blendY) {
    for (int k = 0; k < 4; ++k) {
        Corner& s = c[k];
        if (s.x < area[0]) {
            const float m = area[0] - s.x;
            s.u += m / uSpan, s.bu += m * blendX, s.x = area[0];
        } else if (s.x > area[2]) {
            const float m = s.x - area[2];
            s.u -= m / uSpan, s.bu -= m * blendX, s.x = area[2];
        }
        if (s.y < area[1]) {
            const float m = area[1] - s.y;
            s.v += m / vSpan, s.bv += m * blendY, s.y = area[1];
        } else if (s.y > area[3]) {
            const float m = s.y - area[3];
            s.v -= m / vSpan, s.bv -= m * blendY, s.y = area[3];
        }
    }
}

// The draw area as floats with the draw origin added.
void FloatArea(float out[4]) {
    const DrawState& state = GetDrawState();
    const float ox = static_cast<float>(DrawOriginX3D()), oy = static_cast<float>(DrawOriginY3D());
    out[0] = static_cast<float>(state.drawArea.left) + ox;
    out[1] = static_cast<float>(state.drawArea.top) + oy;
    out[2] = static_cast<float>(state.drawArea.right) + ox;
    out[3] = static_cast<float>(state.drawArea.bottom) + oy;
}

float Cross(float ax, float ay, float bx, float by) { return ax * by - ay * bx; }

bool MayDrawNow(const Device3D* d) { return !d->skipDraw && !IsQuitRequested(); }

// Diffuse colour of an untextured primitive: the draw colour's alpha, each channel of the colour value scaled by
// the colour scale.
uint32_t BoxDiffuse(int colour) {
    int r = 0, g = 0, b = 0;
    ScreenPixelToRgb(static_cast<uint32_t>(colour), &r, &g, &b);
    const uint32_t scale = GetDrawState().colorScale;
    const uint32_t sr = (scale >> 16) & 0xFF, sg = (scale >> 8) & 0xFF, sb = scale & 0xFF;
    return (GetDrawColor3D() & 0xFF000000u) | ((sr * static_cast<uint32_t>(r) / 255) << 16) |
           ((sg * static_cast<uint32_t>(g) / 255) << 8) | (sb * static_cast<uint32_t>(b) / 255);
}

// The untextured set-up shared by boxes and outlines.
void PrepareUntextured(Device3D* d) {
    SetDeviceTexture3D(d, nullptr);
    SetupDrawState3D(nullptr, ZFlag());
    if (d->batch.kind != kVertexKindColor) SelectBatchKind3D(d, kVertexKindColor);
}

}  // namespace

// ---- Graph primitives ----
int DrawGraph3D(float x, float y, const GraphRecord* graph, int transparent, int intCoordinates) {
    int index = 0, result = 0;
    Device3D* d = DrawDevice(&index, &result);
    if (d == nullptr) return result;
    if (graph == nullptr || graph->pieceCount <= 0) return -1;
    const float fx = x - 0.5f + static_cast<float>(DrawOriginX3D());
    const float fy = y - 0.5f + static_cast<float>(DrawOriginY3D());
    BeginScene3D(index);
    const Surface3D* first = GetSurface3D(graph->pieces[0]);
    if (first == nullptr) return -1;
    SetupDrawState3D(first, (transparent ? kSetupTransparent : 0) | (intCoordinates ? kSetupPixelExact : 0) | ZFlag());

    const RECT& area = GetDrawState().drawArea;
    const int ix = FloatToInt(x), iy = FloatToInt(y);
    const bool inside = ix >= area.left && iy >= area.top && ix + graph->width - 1 < area.right &&
                        iy + graph->height - 1 < area.bottom;
    float clip[4];
    FloatArea(clip);
    const BlendTextureInfo3D& blend = GetBlendTextureInfo3D();
    for (int i = 0; i < graph->pieceCount; ++i) {
        const Surface3D* p = GetSurface3D(graph->pieces[i]);
        if (p == nullptr) return -1;
        PreparePieceTexture(d, index, p);
        Corner c[4];
        PieceCorners(p, fx, fy, 1.0f, 1.0f, c);
        if (!inside) {
            const SurfaceData* data = SurfaceDataToRecord(p->surfaceData);
            if (data == nullptr) return -1;
            ClampCorners(c, clip, data->width, data->height, blend.inverseWidth, blend.inverseHeight);
        }
        WriteQuad(d, c, kTriangleOrder);
    }
    EndSceneWhenFront();
    return 0;
}

int DrawGraphStretched3D(float x1, float y1, float x2, float y2, const GraphRecord* graph, int transparent,
                         int intCoordinates) {
    int index = 0, result = 0;
    Device3D* d = DrawDevice(&index, &result);
    if (d == nullptr) return result;
    if (graph == nullptr || graph->pieceCount <= 0 || graph->width <= 0 || graph->height <= 0) return -1;
    const int ix1 = FloatToInt(x1), iy1 = FloatToInt(y1), ix2 = FloatToInt(x2), iy2 = FloatToInt(y2);
    if (ix1 == ix2 || iy1 == iy2) return 0;
    const float fx = x1 - 0.5f + static_cast<float>(DrawOriginX3D());
    const float fy = y1 - 0.5f + static_cast<float>(DrawOriginY3D());
    const float sx = (x2 - x1) / static_cast<float>(graph->width);
    const float sy = (y2 - y1) / static_cast<float>(graph->height);
    BeginScene3D(index);
    const Surface3D* first = GetSurface3D(graph->pieces[0]);
    if (first == nullptr) return -1;
    const int exact = (intCoordinates == 1 && GetDrawState().filterMode != 1) ? kSetupPixelExact : 0;
    SetupDrawState3D(first, (transparent ? kSetupTransparent : 0) | exact | ZFlag());

    const RECT& area = GetDrawState().drawArea;
    const int left = ix1 < ix2 ? ix1 : ix2, right = ix1 < ix2 ? ix2 : ix1;
    const int top = iy1 < iy2 ? iy1 : iy2, bottom = iy1 < iy2 ? iy2 : iy1;
    const bool inside = left >= area.left && top >= area.top && right - 1 < area.right && bottom - 1 < area.bottom;
    float clip[4];
    FloatArea(clip);
    const BlendTextureInfo3D& blend = GetBlendTextureInfo3D();
    for (int i = 0; i < graph->pieceCount; ++i) {
        const Surface3D* p = GetSurface3D(graph->pieces[i]);
        if (p == nullptr) return -1;
        PreparePieceTexture(d, index, p);
        Corner c[4];
        PieceCorners(p, fx, fy, sx, sy, c);
        if (!inside) {
            const SurfaceData* data = SurfaceDataToRecord(p->surfaceData);
            if (data == nullptr) return -1;
            // Moving a clamped corner by m screen pixels moves it m / scale pixels through the graph.
            ClampCorners(c, clip, data->width * sx, data->height * sy, blend.inverseWidth / sx,
                         blend.inverseHeight / sy);
        }
        WriteQuad(d, c, kTriangleOrder);
    }
    EndSceneWhenFront();
    return 0;
}

int DrawGraphRotated3D(float x, float y, double scale, double angle, const GraphRecord* graph, int transparent,
                       int turn) {
    int index = 0, result = 0;
    Device3D* d = DrawDevice(&index, &result);
    if (d == nullptr) return result;
    if (graph == nullptr || graph->pieceCount <= 0) return -1;
    if (scale == 0.0) return 0;
    const int gw = graph->width, gh = graph->height;
    float cx = x + static_cast<float>(DrawOriginX3D());
    float cy = y + static_cast<float>(DrawOriginY3D());
    float hx = static_cast<float>(gw) / 2.0f, hy = static_cast<float>(gh) / 2.0f;
    const bool evenW = gw % 2 == 0, evenH = gh % 2 == 0;
    // The half sizes follow the parity of the graph at scale 1, so that an unrotated draw lands on whole pixels.
    if (scale != 1.0 || (evenW && evenH)) {
        cx -= 0.5f, cy -= 0.5f;
    } else if (!evenW && evenH) {
        hy -= 0.5f;
    } else if (evenW && !evenH) {
        hx -= 0.5f;
    }
    BeginScene3D(index);
    const Surface3D* first = GetSurface3D(graph->pieces[0]);
    if (first == nullptr) return -1;
    SetupDrawState3D(first, (transparent ? kSetupTransparent : 0) | ZFlag());

    const float cosA = static_cast<float>(std::cos(angle)), sinA = static_cast<float>(std::sin(angle));
    const float sc = static_cast<float>(scale);
    const float turnSign = turn ? -1.0f : 1.0f;
    const bool mirrorCorners = graph->pieceCount == 1 && (scale != 1.0 || (!evenW && !evenH));
    const BlendTextureInfo3D& blend = GetBlendTextureInfo3D();
    for (int i = 0; i < graph->pieceCount; ++i) {
        const Surface3D* p = GetSurface3D(graph->pieces[i]);
        if (p == nullptr) return -1;
        PreparePieceTexture(d, index, p);
        Corner c[4];
        const int computed = mirrorCorners ? 2 : 4;
        for (int k = 0; k < 4; ++k) {
            const VertexTex& v = p->corners[k];
            c[k].u = v.u, c[k].v = v.v;
            c[k].bu = v.x * blend.inverseWidth, c[k].bv = v.y * blend.inverseHeight;
            if (k >= computed) continue;
            const float rx = (v.x - hx) * sc * turnSign, ry = (v.y - hy) * sc;
            if (angle == 0.0) {
                c[k].x = cx + rx, c[k].y = cy + ry;
            } else {
                c[k].x = cx + rx * cosA - ry * sinA;
                c[k].y = cy + rx * sinA + ry * cosA;
            }
        }
        if (mirrorCorners) {
            // Bottom-right and bottom-left mirror top-left and top-right through the centre.
            c[3].x = 2.0f * cx - c[0].x, c[3].y = 2.0f * cy - c[0].y;
            c[2].x = 2.0f * cx - c[1].x, c[2].y = 2.0f * cy - c[1].y;
        }
        WriteQuad(d, c, kTriangleOrder);
    }
    EndSceneWhenFront();
    return 0;
}

int DrawGraphQuad3D(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, const GraphRecord* graph,
                    int transparent) {
    if (x1 == x3 && x2 == x4 && y1 == y2 && y3 == y4) {
        return DrawGraphStretched3D(static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x4),
                                    static_cast<float>(y4), graph, transparent, 1);
    }
    if (GetDrawState().blendGraph == -1) {
        return DrawGraphQuadF3D(static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2),
                                static_cast<float>(y2), static_cast<float>(x3), static_cast<float>(y3),
                                static_cast<float>(x4), static_cast<float>(y4), graph, transparent);
    }
    int index = 0, result = 0;
    Device3D* d = DrawDevice(&index, &result);
    if (d == nullptr) return result;
    if (graph == nullptr || graph->pieceCount <= 0 || graph->width <= 0 || graph->height <= 0) return -1;
    const Surface3D* first = GetSurface3D(graph->pieces[0]);
    if (first == nullptr) return -1;
    // With a blend graph each half of the graph follows its own affine map; the pieces are drawn at once.
    FlushDeviceBatch3D(d);
    BeginScene3D(index);
    SetupDrawState3D(first, (transparent ? kSetupTransparent : 0) | kSetupPixelExact | ZFlag());
    const float gw = static_cast<float>(graph->width), gh = static_cast<float>(graph->height);
    const float shiftX = -0.5f + static_cast<float>(DrawOriginX3D());
    const float shiftY = -0.5f + static_cast<float>(DrawOriginY3D());
    const float tlx = static_cast<float>(x1), tly = static_cast<float>(y1);
    const float trx = static_cast<float>(x2), try_ = static_cast<float>(y2);
    const float blx = static_cast<float>(x3), bly = static_cast<float>(y3);
    const float brx = static_cast<float>(x4), bry = static_cast<float>(y4);
    const BlendTextureInfo3D& blend = GetBlendTextureInfo3D();
    const uint32_t color = GetDrawColor3D();
    const float z = DrawZ3D();
    for (int i = 0; i < graph->pieceCount; ++i) {
        const Surface3D* p = GetSurface3D(graph->pieces[i]);
        if (p == nullptr) return -1;
        PreparePieceTexture(d, index, p);
        float px[4], py[4];
        for (int k = 0; k < 4; ++k) {
            const float cx = p->corners[k].x, cy = p->corners[k].y;
            if (p->cornerFlags[k]) {
                px[k] = tlx + cx * (trx - tlx) / gw + cy * (blx - tlx) / gh;
                py[k] = tly + cx * (try_ - tly) / gw + cy * (bly - tly) / gh;
            } else {
                px[k] = brx + (cx - gw) * (brx - blx) / gw + (cy - gh) * (brx - trx) / gh;
                py[k] = bry + (cx - gw) * (bry - bly) / gw + (cy - gh) * (bry - try_) / gh;
            }
            px[k] += shiftX, py[k] += shiftY;
        }
        int order[4] = {0, 1, 2, 3};  // a strip: top-left, top-right, bottom-left, bottom-right
        const float c1 = Cross(px[1] - px[0], py[1] - py[0], px[2] - px[0], py[2] - py[0]);
        const float c2 = Cross(px[2] - px[3], py[2] - py[3], px[1] - px[3], py[1] - py[3]);
        if (c1 < 0.0f || (c1 == 0.0f && c2 <= 0.0f)) order[1] = 2, order[2] = 1;
        if (!MayDrawNow(d)) continue;
        if (d->batch.kind == kVertexKindBlendTex) {
            VertexBlendTex v[4];
            for (int k = 0; k < 4; ++k) {
                const VertexTex& s = p->corners[order[k]];
                v[k] = VertexBlendTex{px[order[k]], py[order[k]], z, 1.0f, color, 0xFFFFFFFFu,
                                      s.x * blend.inverseWidth, s.y * blend.inverseHeight, s.u, s.v};
            }
            d->device->DrawPrimitive(D3DPT_TRIANGLESTRIP, kFvfVertexBlendTex, v, 4, 0);
        } else {
            VertexTex v[4];
            for (int k = 0; k < 4; ++k) {
                const VertexTex& s = p->corners[order[k]];
                v[k] = VertexTex{px[order[k]], py[order[k]], z, 1.0f, color, s.u, s.v};
            }
            d->device->DrawPrimitive(D3DPT_TRIANGLESTRIP, kFvfVertexTex, v, 4, 0);
        }
    }
    EndSceneWhenFront();
    return 0;
}

int DrawGraphQuadF3D(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                     const GraphRecord* graph, int transparent) {
    if (GetDrawState().blendGraph != -1) {
        auto round = [](float v) { return static_cast<int>(std::floor(v + 0.5f)); };
        return DrawGraphQuad3D(round(x1), round(y1), round(x2), round(y2), round(x3), round(y3), round(x4),
                               round(y4), graph, transparent);
    }
    int index = 0, result = 0;
    Device3D* d = DrawDevice(&index, &result);
    if (d == nullptr) return result;
    if (graph == nullptr || graph->pieceCount <= 0 || graph->width <= 0 || graph->height <= 0) return -1;
    const Surface3D* first = GetSurface3D(graph->pieces[0]);
    if (first == nullptr) return -1;
    const float ox = static_cast<float>(DrawOriginX3D()), oy = static_cast<float>(DrawOriginY3D());
    x1 += ox, x2 += ox, x3 += ox, x4 += ox;
    y1 += oy, y2 += oy, y3 += oy, y4 += oy;
    BeginScene3D(index);
    SetupDrawState3D(first, (transparent ? kSetupTransparent : 0) | ZFlag());
    int status = 0;
    if (graph->pieceCount == 1) {
        status = DrawQuadPiece3D(x1, y1, x2, y2, x3, y3, x4, y4, graph->pieces[0]);
    } else {
        const float gw = static_cast<float>(graph->width), gh = static_cast<float>(graph->height);
        for (int i = 0; i < graph->pieceCount && status == 0; ++i) {
            const Surface3D* p = GetSurface3D(graph->pieces[i]);
            if (p == nullptr) return -1;
            float qx[4], qy[4];
            for (int k = 0; k < 4; ++k) {
                // Bilinear placement: down the left and right edges by the row, then across by the column.
                const float kRow = p->corners[k].y / gh, kCol = p->corners[k].x / gw;
                const float lx = x1 + kRow * (x3 - x1), ly = y1 + kRow * (y3 - y1);
                const float rx = x2 + kRow * (x4 - x2), ry = y2 + kRow * (y4 - y2);
                qx[k] = lx + kCol * (rx - lx), qy[k] = ly + kCol * (ry - ly);
            }
            status = DrawQuadPiece3D(qx[0], qy[0], qx[1], qy[1], qx[2], qy[2], qx[3], qy[3], graph->pieces[i]);
        }
    }
    EndSceneWhenFront();
    return status;
}

int DrawQuadPiece3D(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int piece) {
    const int index = GetCurrentDevice3DIndex();
    Device3D* d = CurrentDevice3D();
    if (d == nullptr || d->device == nullptr) return -1;
    const Surface3D* p = GetSurface3D(piece);
    if (p == nullptr) return -1;
    PreparePieceTexture(d, index, p);
    const float dtx = (x2 - x1) - (x4 - x3), dty = (y2 - y1) - (y4 - y3);  // top edge against bottom edge
    const float dlx = (x3 - x1) - (x4 - x2), dly = (y3 - y1) - (y4 - y2);  // left edge against right edge
    const bool parallelogram = std::fabs(dtx) < 1.0f && std::fabs(dty) < 1.0f && std::fabs(dlx) < 1.0f &&
                               std::fabs(dly) < 1.0f;
    const float qx[4] = {x1, x2, x3, x4}, qy[4] = {y1, y2, y3, y4};
    if (parallelogram) {
        const BlendTextureInfo3D& blend = GetBlendTextureInfo3D();
        Corner c[4];
        for (int k = 0; k < 4; ++k) {
            const VertexTex& v = p->corners[k];
            c[k] = Corner{qx[k], qy[k], v.u, v.v, v.x * blend.inverseWidth, v.y * blend.inverseHeight};
        }
        const float c1 = Cross(x2 - x1, y2 - y1, x3 - x1, y3 - y1);
        const float c2 = Cross(x3 - x4, y3 - y4, x2 - x4, y2 - y4);
        WriteQuad(d, c, (c1 <= 0.0f && c2 <= 0.0f) ? kTriangleOrderSwapped : kTriangleOrder);
        return 0;
    }
    // Any other shape: an 8 x 8 grid spreads the distortion over many small triangles.
    static VertexTex grid[64];
    const uint32_t color = GetDrawColor3D();
    const float z = DrawZ3D();
    const float u0 = p->corners[0].u, u1 = p->corners[3].u, v0 = p->corners[0].v, v1 = p->corners[3].v;
    for (int r = 0; r < 8; ++r) {
        const float t = static_cast<float>(r) / 7.0f;
        const float lx = x1 + t * (x3 - x1), ly = y1 + t * (y3 - y1);
        const float rx = x2 + t * (x4 - x2), ry = y2 + t * (y4 - y2);
        for (int col = 0; col < 8; ++col) {
            const float s = static_cast<float>(col) / 7.0f;
            grid[r * 8 + col] = VertexTex{lx + s * (rx - lx), ly + s * (ry - ly), z, 1.0f, color, u0 + s * (u1 - u0),
                                          v0 + t * (v1 - v0)};
        }
    }
    return DrawVertexGrid3D(grid, 8, 8, index);
}

int DrawVertexGrid3D(const VertexTex* vertices, int columns, int rows, int device) {
    Device3D* d = GetDevice3DRecord(device);
    if (GetDirect3DState().object == nullptr || d == nullptr || !d->inUse || d->device == nullptr) return -1;
    FlushDeviceBatch3D(d);
    // A row pair must fit the index list, and every vertex must be reachable by a 16-bit index.
    if (vertices == nullptr || columns < 2 || rows < 2 || 2 * columns + 2 > kGridIndexLimit ||
        columns * rows > 65536) {
        return -1;
    }
    static WORD indices[kGridIndexLimit];
    int count = 0;
    const DWORD vertexCount = static_cast<DWORD>(columns * rows);
    auto draw = [&]() {
        if (count > 0 && MayDrawNow(d)) {
            d->device->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, kFvfVertexTex, const_cast<VertexTex*>(vertices),
                                            vertexCount, indices, static_cast<DWORD>(count), 0);
        }
        count = 0;
    };
    for (int r = 0; r + 1 < rows; ++r) {
        if (count > 0 && count + 2 * columns + 2 > kGridIndexLimit) draw();
        if (count > 0) {
            // Two degenerate triangles join the finished strip to the next one.
            indices[count] = indices[count - 1];
            ++count;
            indices[count++] = static_cast<WORD>((r + 1) * columns);
        }
        for (int j = 0; j < columns; ++j) {
            const int n = r * columns + j;
            indices[count++] = static_cast<WORD>(n + columns);
            indices[count++] = static_cast<WORD>(n);
        }
    }
    draw();
    return 0;
}

// ---- Untextured primitives ----
int DrawBoxFilled3D(int x1, int y1, int x2, int y2, int colour) {
    const Direct3DState& s = GetDirect3DState();
    if (s.object == nullptr) return -1;
    if (s.targetNotDrawable) return DrawFilledBox(x1, y1, x2, y2, colour);
    int index = 0, result = 0;
    Device3D* d = DrawDevice(&index, &result);
    if (d == nullptr) return result;
    RECT r = {x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1};
    const RECT& area = GetDrawState().drawArea;
    if (r.left < area.left) r.left = area.left;
    if (r.top < area.top) r.top = area.top;
    if (r.right > area.right) r.right = area.right;
    if (r.bottom > area.bottom) r.bottom = area.bottom;
    if (r.left >= r.right || r.top >= r.bottom) return 0;
    BeginScene3D(index);
    PrepareUntextured(d);
    const uint32_t diffuse = BoxDiffuse(colour);
    const float z = DrawZ3D();
    const float ox = static_cast<float>(DrawOriginX3D()), oy = static_cast<float>(DrawOriginY3D());
    const float left = r.left + ox, top = r.top + oy, right = r.right + ox, bottom = r.bottom + oy;
    const float px[4] = {left, right, left, right}, py[4] = {top, top, bottom, bottom};
    auto* v = static_cast<VertexColor*>(ReserveBatch3D(d, D3DPT_TRIANGLELIST, 6));
    for (int k = 0; k < 6; ++k) {
        const int c = kTriangleOrder[k];
        v[k].x = px[c], v[k].y = py[c], v[k].z = z, v[k].diffuse = diffuse;
    }
    CommitBatch3D(d, D3DPT_TRIANGLELIST, 6);
    EndSceneWhenFront();
    return 0;
}

int DrawBoxOutline3D(int x1, int y1, int x2, int y2, int colour) {
    const Direct3DState& s = GetDirect3DState();
    if (s.object == nullptr) return -1;
    if (s.targetNotDrawable) return DrawBoxOutline(x1, y1, x2, y2, colour);
    int index = 0, result = 0;
    Device3D* d = DrawDevice(&index, &result);
    if (d == nullptr) return result;
    if (x2 < x1) std::swap(x1, x2);
    if (y2 < y1) std::swap(y1, y2);
    BeginScene3D(index);
    PrepareUntextured(d);
    const uint32_t diffuse = BoxDiffuse(colour);
    const float z = DrawZ3D();
    const float ox = static_cast<float>(DrawOriginX3D()), oy = static_cast<float>(DrawOriginY3D());
    const float X = x1 + ox, Y = y1 + oy, R = x2 + ox - 1.0f, B = y2 + oy - 1.0f;
    // Four lines whose ends stop short of the next line, so that no corner pixel is drawn twice.
    const float points[8][2] = {{X, Y}, {R - 0.1f, Y}, {R, Y}, {R, B - 0.1f},
                                {X, B}, {R + 0.9f, B}, {X, Y + 1.0f}, {X, B - 0.1f}};
    auto* v = static_cast<VertexColor*>(ReserveBatch3D(d, D3DPT_LINELIST, 8));
    for (int k = 0; k < 8; ++k) {
        v[k].x = points[k][0], v[k].y = points[k][1], v[k].z = z, v[k].diffuse = diffuse;
    }
    CommitBatch3D(d, D3DPT_LINELIST, 8);
    EndSceneWhenFront();
    return 0;
}

// ---- Draw target ----
int SelectDrawTarget3D(int target) {
    Direct3DState& s = GetDirect3DState();
    const int index = GetCurrentDevice3DIndex();
    Device3D* d = CurrentDevice3D();
    if (s.object == nullptr || d == nullptr || d->device == nullptr) return -1;
    FlushDeviceBatch3D(d);
    EndScene3D(index);
    SetRenderTarget3D(nullptr, index);
    SetDeviceTexture3D(d, nullptr);
    if (target == -4) {
        if (SetRenderTarget3D(GetOutputPrimarySurface(), index) != 0) return -1;
        s.targetNotDrawable = 0;
        s.frontTarget = 1;
        return 0;
    }
    if (target == -2) {
        if (SetRenderTarget3D(GetBackSurface(), index) != 0) return -1;
        s.targetNotDrawable = 0;
        s.frontTarget = 0;
        return 0;
    }
    // From here on a refusal leaves the back end drawing nowhere: the default surface (the front screen) is not
    // the graph the caller asked for.
    s.frontTarget = 0;
    s.targetNotDrawable = 1;
    const GraphRecord* graph = GetGraphRecord(target);
    if (graph == nullptr || graph->pieceCount != 1) return -1;
    IDirectDrawSurface7* surface = nullptr;
    if (graph->creation[kCreateTexture] == 1) {
        const Surface3D* p = GetSurface3D(graph->pieces[0]);
        const SurfaceData* data = p != nullptr ? SurfaceDataToRecord(p->surfaceData) : nullptr;
        if (data == nullptr || data->creation[kCreateDrawValid] != 1) return -1;
        surface = data->surface;
    } else {
        const Surface2D* p = Surface2DToRecord(graph->pieces[0]);
        const SurfaceData* data = p != nullptr ? SurfaceDataToRecord(p->surfaceData) : nullptr;
        // A surface in system memory (or a software image) cannot be a render target.
        if (data == nullptr || data->software || !IsSurfaceDataInVideoMemory(p->surfaceData)) return -1;
        surface = data->surface;
    }
    if (surface == nullptr || SetRenderTarget3D(surface, index) != 0) return -1;
    s.targetNotDrawable = 0;
    return 0;
}

int FillDrawTarget3D() {
    Device3D* d = CurrentDevice3D();
    if (GetDirect3DState().object == nullptr || d == nullptr) return -1;
    FlushDeviceBatch3D(d);
    EndCurrentScene3D();
    const GraphRecord* graph = GetGraphRecord(GetDrawState().target);
    if (graph == nullptr || graph->creation[kCreateTexture] != 1 || graph->pieceCount <= 0) return 0;
    const Surface3D* p = GetSurface3D(graph->pieces[0]);
    SurfaceData* data = p != nullptr ? SurfaceDataToRecord(p->surfaceData) : nullptr;
    if (data == nullptr || data->surface == nullptr) return -1;
    DDBLTFX fx;
    std::memset(&fx, 0, sizeof(fx));
    fx.dwSize = sizeof(fx);
    if (data->zSurface != nullptr) {
        fx.dwFillDepth = 0xFFFF;
        data->zSurface->Blt(nullptr, nullptr, nullptr, DDBLT_DEPTHFILL | DDBLT_WAIT, &fx);
    }
    const ColorFormat* format = GetTextureColorData(data->formatIndex);
    if (format == nullptr) return -1;
    int red = 0, green = 0, blue = 0;
    GetScreenBackgroundColor(&red, &green, &blue);
    fx.dwFillColor = RgbaToFormatValue(format, red, green, blue, 255);
    return SUCCEEDED(data->surface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx)) ? 0 : -1;
}

int FillGraphSurfaces3D(GraphRecord* graph, int red, int green, int blue, int alpha) {
    if (GetDirect3DState().object == nullptr || graph == nullptr) return -1;
    if (GetDirect3DState().targetNotDrawable) return 0;
    FlushVertexBatch3D();
    EndCurrentScene3D();
    for (int i = 0; i < graph->pieceCount; ++i) {
        const Surface3D* p = GetSurface3D(graph->pieces[i]);
        SurfaceData* data = p != nullptr ? SurfaceDataToRecord(p->surfaceData) : nullptr;
        if (data == nullptr) return -1;
        if (data->refCount <= 1) {
            if (FillSurfaceData(p->surfaceData, red, green, blue, alpha) != 0) return -1;
            continue;
        }
        // Shared with other graphs (derived pieces): only this piece's rectangle is this graph's to fill.
        const ColorFormat* format = GetTextureColorData(data->formatIndex);
        if (format == nullptr || data->surface == nullptr) return -1;
        DDBLTFX fx;
        std::memset(&fx, 0, sizeof(fx));
        fx.dwSize = sizeof(fx);
        fx.dwFillColor = RgbaToFormatValue(format, red, green, blue, alpha);
        RECT r = {p->dataX, p->dataY, p->dataX + p->width, p->dataY + p->height};
        if (FAILED(data->surface->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx))) return -1;
    }
    return 0;
}

// ---- State copies and viewport reset ----
int CopyDeviceState3D(int from, int to) {
    Device3D* a = GetDevice3DRecord(from);
    Device3D* b = GetDevice3DRecord(to);
    if (GetDirect3DState().object == nullptr || a == nullptr || b == nullptr || !a->inUse || !b->inUse ||
        b->device == nullptr) {
        return -1;
    }
    SetBlendMode3D(a->blendMode, a->alphaTest, a->alphaChannel, to);
    SetFilterModeDevice3D(a->filterMode, to);
    SetDeviceTexture3D(b, a->texture);
    ApplyBlendState3D(to);
    return 0;
}

int ResetScreenViewport3D(int maskFlag) {
    Direct3DState& s = GetDirect3DState();
    const int index = GetCurrentDevice3DIndex();
    Device3D* d = CurrentDevice3D();
    if (s.object == nullptr || d == nullptr) return -1;
    FlushDeviceBatch3D(d);
    SetRenderTarget3D(maskFlag ? GetMaskSurface() : GetDrawTargetSurface(), index);
    const RECT& area = GetDrawState().drawArea;
    if (maskFlag && IsDrawingToPrimary()) {
        s.targetNotDrawable = 0;
        D3DVIEWPORT7 viewport = {static_cast<DWORD>(area.left), static_cast<DWORD>(area.top),
                                 static_cast<DWORD>(area.right - area.left), static_cast<DWORD>(area.bottom - area.top),
                                 0.0f, 1.0f};
        if (SetViewport3D(&viewport, index) != 0) {
            WriteLog("ビューポートのセットに失敗しました\n");
            return -1;
        }
        return 0;
    }
    return SetDrawAreaViewport3D(&area);
}
