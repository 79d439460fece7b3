// The graph draw entries: at a point, stretched, rotated, on four points, mirrored and in part. Each validates
// against the draw state, waits while the application is inactive, does the mask, window and movie side work, and
// hands the drawing to the Direct3D primitives (texture graphs), the 2D back end (a 2D graph at a point) or the
// software renderer (every other 2D draw).
#include <algorithm>

#include "graphics/ddraw/blit2d.h"
#include "graphics/d3d/device3d.h"
#include "graphics/draw.h"
#include "graphics/draw_entries_internal.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/movie.h"
#include "graphics/ddraw/surface2d.h"
#include "runtime/message_pump.h"
#include "runtime/text.h"
#include "softrender/softrender.h"

namespace {

// Steps every graph entry takes before its own work: an empty area draws nothing (0); a bad graph, or a blend graph
// that is gone or smaller than the graph, is refused (-1). Null with *result set when the entry must stop.
const GraphRecord* ValidateGraphDraw(int graph, int* result) {
    const DrawState& s = GetDrawState();
    if (s.areaEmpty) {
        *result = 0;
        return nullptr;
    }
    const GraphRecord* g = GetGraphRecord(graph);
    if (g == nullptr) {
        *result = -1;
        return nullptr;
    }
    if (s.blendGraph != -1) {
        const GraphRecord* blend = GetGraphRecord(s.blendGraph);
        if (blend == nullptr || blend->width < g->width || blend->height < g->height) {
            *result = -1;
            return nullptr;
        }
    }
    WaitWhileInactive();
    return g;
}

bool IsTextureGraph(const GraphRecord* g) { return g->creation[kCreateTexture] == 1; }

}  // namespace

int DrawGraphAtImpl(int x, int y, int graph, int transparent) {
    int result = 0;
    const GraphRecord* g = ValidateGraphDraw(graph, &result);
    if (g == nullptr) return result;
    const RECT rect = {x, y, x + g->width, y + g->height};
    if (g->movieHandle != -1) {
        UpdateMovieFrame(graph, 0);
        if (GetMovieMode(g->movieHandle) == 1) {
            DrawMovieFrameDirect(x, y, 1, g->movieHandle, 1);
            return -1;
        }
    }
    return RunDraw(
        rect, IsTextureGraph(g), /*applyMask=*/true, 255,
        [&] { return DrawGraph3D(static_cast<float>(x), static_cast<float>(y), g, transparent, 1); },
        [&] { return DrawGraphPiece2D(static_cast<float>(x), static_cast<float>(y), g, transparent, 1); });
}

int DrawGraphStretchedImpl(int x1, int y1, int x2, int y2, int graph, int transparent) {
    int result = 0;
    const GraphRecord* g = ValidateGraphDraw(graph, &result);
    if (g == nullptr) return result;
    RECT rect = {x1, y1, x2, y2};
    OrderRectCorners(&rect);
    if (g->movieHandle != -1) {
        UpdateMovieFrame(graph, 0);
        if (GetMovieMode(g->movieHandle) == 1) {
            DrawMovieFrameDirect(x1, y1, g->width != 0 ? (x2 - x1) / g->width : 1, g->movieHandle, 1);
            return -1;
        }
    }
    return RunDraw(
        rect, IsTextureGraph(g), true, 255,
        [&] {
            return DrawGraphStretched3D(static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2),
                                        static_cast<float>(y2), g, transparent, 1);
        },
        [&] { return DrawImageScaled(x1, y1, x2, y2, g, transparent, 1, -1); });
}

int DrawGraphRotatedImpl(int x, int y, double scale, double angle, int graph, int transparent, int turn) {
    return DrawGraphRotatedCore(static_cast<float>(x), static_cast<float>(y), scale, angle, graph, transparent, turn);
}

int DrawGraphRotatedCore(float x, float y, double scale, double angle, int graph, int transparent, int turn) {
    int result = 0;
    const GraphRecord* g = ValidateGraphDraw(graph, &result);
    if (g == nullptr) return result;

    // The bounding box of the turned and scaled corners, 5 pixels wider on every side.
    float sine = 0.0f, cosine = 0.0f;
    SinCosFloat(static_cast<float>(angle), &sine, &cosine);
    const int halfW = g->width / 2, halfH = g->height / 2;
    const float cornersX[4] = {static_cast<float>(-halfW), static_cast<float>(g->width - halfW),
                               static_cast<float>(-halfW), static_cast<float>(g->width - halfW)};
    const float cornersY[4] = {static_cast<float>(-halfH), static_cast<float>(-halfH),
                               static_cast<float>(g->height - halfH), static_cast<float>(g->height - halfH)};
    double left = 0, top = 0, right = 0, bottom = 0;
    for (int i = 0; i < 4; ++i) {
        const double px = (cornersX[i] * cosine - cornersY[i] * sine) * scale + x;
        const double py = (cornersX[i] * sine + cornersY[i] * cosine) * scale + y;
        if (i == 0 || px < left) left = px;
        if (i == 0 || px > right) right = px;
        if (i == 0 || py < top) top = py;
        if (i == 0 || py > bottom) bottom = py;
    }
    RECT rect;
    RectToIntRect(left - 5.0, top - 5.0, right + 5.0, bottom + 5.0, &rect);

    if (g->movieHandle != -1) UpdateMovieFrame(graph, 0);
    return RunDraw(
        rect, IsTextureGraph(g), true, 255,
        [&] { return DrawGraphRotated3D(x, y, scale, angle, g, transparent, turn); },
        [&] { return DrawImageRotated(x, y, scale, angle, g, transparent, turn); });
}

int DrawGraphFourPoints(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                        int transparent) {
    int result = 0;
    const GraphRecord* g = ValidateGraphDraw(graph, &result);
    if (g == nullptr) return result;

    const float xs[4] = {x1, x2, x3, x4};
    const float ys[4] = {y1, y2, y3, y4};
    RECT rect = {0xFFFFFF, 0xFFFFFF, 0, 0};
    for (int i = 0; i < 4; ++i) {
        const int px = FloatToInt(xs[i]), py = FloatToInt(ys[i]);
        rect.left = std::min(static_cast<int>(rect.left), px);
        rect.top = std::min(static_cast<int>(rect.top), py);
        rect.right = std::max(static_cast<int>(rect.right), px);
        rect.bottom = std::max(static_cast<int>(rect.bottom), py);
    }

    if (g->movieHandle != -1) UpdateMovieFrame(graph, 0);
    // Points run clockwise; the back ends take top-left, top-right, bottom-left, bottom-right.
    return RunDraw(
        rect, IsTextureGraph(g), true, 255,
        [&] { return DrawGraphQuadF3D(x1, y1, x2, y2, x4, y4, x3, y3, g, transparent); },
        [&] { return DrawImageFourPoints(x1, y1, x2, y2, x4, y4, x3, y3, g, transparent); });
}

int DrawGraphMirroredImpl(int x, int y, int graph, int transparent) {
    const GraphRecord* g = GetGraphRecord(graph);
    if (g == nullptr) return GetDrawState().areaEmpty ? 0 : -1;
    return DrawGraphStretchedImpl(x + g->width, y, x, y + g->height, graph, transparent);
}

namespace {

// Narrows the draw area for one draw and puts it back exactly as it was.
class DrawAreaScope {
public:
    explicit DrawAreaScope(const RECT& narrowed) : state_(GetDrawState()) {
        savedArea_ = state_.drawArea;
        std::copy(state_.drawAreaF, state_.drawAreaF + 4, savedAreaF_);
        savedEmpty_ = state_.areaEmpty;
        RECT area = narrowed;
        ClipRectImpl(&area, &savedArea_);
        state_.drawArea = area;
        state_.drawAreaF[0] = static_cast<float>(area.left);
        state_.drawAreaF[1] = static_cast<float>(area.top);
        state_.drawAreaF[2] = static_cast<float>(area.right);
        state_.drawAreaF[3] = static_cast<float>(area.bottom);
        state_.areaEmpty = (area.left == area.right || area.top == area.bottom) ? 1 : 0;
    }
    ~DrawAreaScope() {
        state_.drawArea = savedArea_;
        std::copy(savedAreaF_, savedAreaF_ + 4, state_.drawAreaF);
        state_.areaEmpty = savedEmpty_;
    }
    DrawAreaScope(const DrawAreaScope&) = delete;
    DrawAreaScope& operator=(const DrawAreaScope&) = delete;

private:
    DrawState& state_;
    RECT savedArea_;
    float savedAreaF_[4];
    int savedEmpty_;
};

}  // namespace

int DrawGraphPartImpl(int x, int y, int srcX, int srcY, int width, int height, int graph, int transparent,
                      int turn) {
    if (GetDrawState().areaEmpty) return 0;
    const GraphRecord* g = GetGraphRecord(graph);
    if (g == nullptr) return -1;
    const DrawAreaScope scope(RECT{x, y, x + width, y + height});
    if (turn) return DrawGraphMirroredImpl(x + srcX + width - g->width, y - srcY, graph, transparent);
    return DrawGraphAtImpl(x - srcX, y - srcY, graph, transparent);
}

int DrawGraphStretchedPart(int x1, int y1, int x2, int y2, int srcX, int srcY, int srcWidth, int srcHeight,
                           int graph, int transparent) {
    if (GetDrawState().areaEmpty) return 0;
    const GraphRecord* g = GetGraphRecord(graph);
    if (g == nullptr || srcWidth <= 0 || srcHeight <= 0) return -1;
    const bool mirrorX = x2 < x1, mirrorY = y2 < y1;
    const RECT box = {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
    const DrawAreaScope scope(box);
    const double sx = static_cast<double>(box.right - box.left) / srcWidth;
    const double sy = static_cast<double>(box.bottom - box.top) / srcHeight;
    int outX1, outX2, outY1, outY2;
    if (!mirrorX) {
        outX1 = box.left - DoubleToInt(srcX * sx);
        outX2 = box.left + DoubleToInt((g->width - srcX) * sx);
    } else {
        outX1 = box.right + DoubleToInt(srcX * sx);
        outX2 = box.right - DoubleToInt((g->width - srcX) * sx);
    }
    if (!mirrorY) {
        outY1 = box.top - DoubleToInt(srcY * sy);
        outY2 = box.top + DoubleToInt((g->height - srcY) * sy);
    } else {
        outY1 = box.bottom + DoubleToInt(srcY * sy);
        outY2 = box.bottom - DoubleToInt((g->height - srcY) * sy);
    }
    return DrawGraphStretchedImpl(outX1, outY1, outX2, outY2, graph, transparent);
}
