// The draw entries that draw no graph, or read the screen: clearing the target, rectangles, strings and the copy of
// a screen rectangle into a graph. Rectangles and strings go to the Direct3D back end while it can draw, else to the
// software renderer or the 2D back end.
#include "font/font.h"
#include "graphics/d3d/device3d.h"
#include "graphics/draw.h"
#include "graphics/draw_entries_internal.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/ddraw/surface2d.h"
#include "runtime/log.h"
#include "runtime/message_pump.h"
#include "softrender/softrender.h"

namespace {
bool BoxesOn3D() { return GetUse3D() == 1 && Is3DPathUp() && !IsMemImgDrawMode(); }
}  // namespace

int ClearTargetScreenImpl() {
    WaitWhileInactive();
    if (Is3DPathUp()) FillDrawTarget3D();
    FillDrawTarget2D();
    if (IsFrontScreenInSoftware()) {
        int width = 0, height = 0;
        GetGraphDimensionsImpl(-4, &width, &height);
        const RECT all = {0, 0, width, height};
        PresentMemImgRect(&all);
    }
    return 0;
}

int DrawRectangleImpl(int x1, int y1, int x2, int y2, int color, int fill) {
    return fill ? DrawRectangleFilled(x1, y1, x2, y2, color) : DrawRectangleOutline(x1, y1, x2, y2, color);
}

int DrawRectangleFilled(int x1, int y1, int x2, int y2, int color) {
    if (GetDrawState().areaEmpty) return 0;
    WaitWhileInactive();
    RECT rect = {x1, y1, x2, y2};
    OrderRectCorners(&rect);
    return RunDraw(
        rect, BoxesOn3D(), true, 255, [&] { return DrawBoxFilled3D(x1, y1, x2, y2, color); },
        [&] { return DrawFilledBox(x1, y1, x2, y2, color); });
}

int DrawRectangleOutline(int x1, int y1, int x2, int y2, int color) {
    if (GetDrawState().areaEmpty) return 0;
    WaitWhileInactive();
    RECT rect = {x1, y1, x2, y2};
    OrderRectCorners(&rect);
    return RunDraw(
        rect, BoxesOn3D(), true, 255, [&] { return DrawBoxOutline3D(x1, y1, x2, y2, color); },
        [&] { return DrawBoxOutline(x1, y1, x2, y2, color); });
}

int DrawStringWithFont(int x, int y, const char* text, int color, int font, int edgeColor, int flag) {
    if (text == nullptr || text[0] == '\0') return 0;
    if (!IsFontHandleValid(font)) {
        WriteLog("フォントハンドル値が異常です\n");
        return -1;
    }
    WaitWhileInactive();
    const DrawState& s = GetDrawState();
    if (s.areaEmpty || x >= s.drawArea.right) return 0;
    const RECT rect = {x, y, s.drawArea.right, y + GetFontHandleHeight(font) + 3};
    // Glyphs kept in textures never touch the target's pixels directly, so the mask has nothing to save.
    const bool applyMask = !IsFontCachedAsTexture(font);
    const bool on3D = GetUse3D() == 1 && Is3DPathUp();
    return RunDraw(
        rect, on3D, applyMask, -1, [&] { return DrawStringToTarget3D(x, y, text, color, font, edgeColor, flag); },
        [&] { return DrawStringToTarget2D(x, y, text, color, font, edgeColor, flag); });
}

int CaptureScreenToGraphImpl(int x1, int y1, int x2, int y2, int graph, int flag) {
    GraphRecord* g = GetGraphRecord(graph);
    if (g == nullptr) return -1;
    WaitWhileInactive();
    EndCurrentScene3D();
    if (g->creation[kCreateTexture] == 1) return CopyScreenToGraph3D(x1, y1, x2, y2, g, flag);
    return CopyScreenToGraph2D(x1, y1, x2, y2, g);
}
