// The 2D back end on the real DirectDraw of this machine: colour-keyed draws onto the back surface read back by
// locking, through BltFast and through software drawing on locked surfaces, clipped at the draw area; the work
// surface round trip, failed locks, the front screen's window origin, line boxes, fills, uploads, screen copies,
// the blend graph's weight table, and the same draw in software mode.
#include "tests/graphics/test_graph_support.h"

#include <string>

#include "graphics/ddraw/blit2d.h"
#include "graphics/draw.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/ddraw/surface2d.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "softrender/softrender.h"

namespace {

constexpr int kW = 16, kH = 12;
constexpr uint32_t kBackground = 0x203040;
const RECT kArea = {0, 0, 100, 100};
constexpr int kDrawX = 92, kDrawY = 40;

// A graph holding the test pattern (uploaded through the graph layer).
int MakePatternGraph(int width, int height) {
    const int graph = CreateEmptyGraphImpl(width, height, 1);
    if (graph == -1) return -1;
    GraphImage image = MakeTestPicture(width, height, PatternColour);
    const int uploaded = BltImageToGraph2D(&image, nullptr, 0, 0, GetGraphRecord(graph));
    ReleaseGraphImage(&image);
    return uploaded == 0 ? graph : -1;
}

// What a colour-keyed draw of the pattern at (kDrawX, kDrawY) clipped to kArea leaves at a screen pixel.
uint32_t Expected(int x, int y) {
    const int gx = x - kDrawX, gy = y - kDrawY;
    const bool inGraph = gx >= 0 && gy >= 0 && gx < kW && gy < kH;
    const bool inArea = x >= kArea.left && x < kArea.right && y >= kArea.top && y < kArea.bottom;
    if (!inGraph || !inArea || PatternColour(gx, gy) == 0) return kBackground;
    return PatternColour(gx, gy);
}

// Draws the graph keyed onto the freshly filled back surface and compares the neighbourhood pixel by pixel.
std::string DrawAndCompare(int graph, SurfaceBlitRoute route) {
    DisplayState& s = GetDisplayState();
    FillSurface(s.backSurface, RgbToScreenPixelImpl(0x20, 0x30, 0x40));
    if (DrawGraphPiece2D(kDrawX, kDrawY, GetGraphRecord(graph), 1, 1) != 0) return "draw failed";
    if (GetSurfaceBlitState().route != route) return "route " + std::to_string(GetSurfaceBlitState().route);
    const RECT around = {kDrawX - 4, kDrawY - 2, kDrawX + kW + 4, kDrawY + kH + 2};
    const std::vector<uint32_t> got = ReadSurfaceBlock(s.backSurface, around);
    if (got.empty()) return "read failed";
    size_t i = 0;
    for (int y = around.top; y < around.bottom; ++y) {
        for (int x = around.left; x < around.right; ++x, ++i) {
            if (got[i] != Expected(x, y)) {
                char text[96];
                snprintf(text, sizeof(text), "pixel %d,%d is %06x, expected %06x", x, y, got[i], Expected(x, y));
                return text;
            }
        }
    }
    return "";
}

TEST(BlendGraphWeights, RampFollowsBorderAndRange) {
    struct Row {
        int border, range;
        int expect0, expect100, expect254, expect255;
    } rows[] = {
        {128, 255, 0, 100, 254, 255},  // identity
        {0, 255, 255, 255, 255, 255},  // nothing hidden
        {255, 0, 0, 0, 0, 1},          // a hard edge at the top value
        {128, 0, 0, 0, 255, 255},      // a hard edge in the middle
    };
    for (const Row& r : rows) {
        BuildBlendRampTable(-1, r.border, r.range);
        EXPECT_EQ(BlendGraphWeightTable[0], r.expect0) << r.border << "/" << r.range;
        EXPECT_EQ(BlendGraphWeightTable[100], r.expect100) << r.border << "/" << r.range;
        EXPECT_EQ(BlendGraphWeightTable[254], r.expect254) << r.border << "/" << r.range;
        EXPECT_EQ(BlendGraphWeightTable[255], r.expect255) << r.border << "/" << r.range;
    }
    BuildBlendRampTable(-1, 128, 255);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(BlendGraphWeightTable[i], i);
}

TEST(Draw2D, ColourKeyedDrawsReachTheBackSurfaceByEveryRoute) {
    DisplayWatchdog watchdog(120);
    ASSERT_EQ(StartRuntimeOn2DRoad(), 0);
    DisplayState& s = GetDisplayState();
    SetScreenBackgroundColor(0x20, 0x30, 0x40);
    ASSERT_EQ(SetTargetScreen(-2), 0);
    ASSERT_EQ(SetViewportRectImpl(kArea.left, kArea.top, kArea.right, kArea.bottom), 0);

    // BltFast: a video-memory graph onto the video-memory back surface.
    const int video = MakePatternGraph(kW, kH);
    ASSERT_NE(video, -1);
    ASSERT_EQ(IsSurfaceDataInVideoMemory(Surface2DToRecord(GetGraphRecord(video)->pieces[0])->surfaceData), 1);
    EXPECT_EQ(DrawAndCompare(video, kBlitRouteBltFast), "");
    // Alpha at full strength is still a plain copy.
    SetBlendModeImpl(1, 255);
    EXPECT_EQ(DrawAndCompare(video, kBlitRouteBltFast), "");
    SetBlendModeImpl(0, 0);

    // Software drawing on the locked back surface: a source in system memory (a DirectDraw surface wider than the
    // screen) and a source held as a software image.
    const int wide = MakePatternGraph(700, kH);
    ASSERT_NE(wide, -1);
    ASSERT_EQ(IsSurfaceDataInVideoMemory(Surface2DToRecord(GetGraphRecord(wide)->pieces[0])->surfaceData), 0);
    EXPECT_EQ(DrawAndCompare(wide, kBlitRouteLocked), "");

    // A colour scale other than white takes the same video-memory pair to the software renderer, on the locked back
    // surface (the renderer does not read the target for a scaled copy); where nothing is drawn nothing changes.
    SetDrawColorScaleImpl(255, 255, 128);
    FillSurface(s.backSurface, RgbToScreenPixelImpl(0x20, 0x30, 0x40));
    EXPECT_EQ(DrawGraphPiece2D(kDrawX, kDrawY, GetGraphRecord(video), 1, 1), 0);
    EXPECT_EQ(GetSurfaceBlitState().route, kBlitRouteLocked);
    uint32_t v = 0;
    ASSERT_TRUE(ReadSurfacePixel(s.backSurface, kDrawX + 3, kDrawY + 5, &v, nullptr));
    EXPECT_EQ(v & 0xFFFFFF, kBackground);
    SetDrawColorScaleImpl(255, 255, 255);

    // Wholly outside the draw area: nothing is locked and the draw succeeds.
    EXPECT_EQ(DrawGraphPiece2D(150, 150, GetGraphRecord(wide), 1, 1), 0);
    EXPECT_EQ(GetSurfaceBlitState().route, kBlitRouteNone);

    // A source rectangle reaching out of its piece is refused before anything is locked.
    const Surface2D* widePiece = Surface2DToRecord(GetGraphRecord(wide)->pieces[0]);
    const RECT beyond = {690, 0, 710, kH};
    const RECT place = {10, 10, 30, 10 + kH};
    EXPECT_EQ(BeginSurfaceBlit(widePiece, 1, &beyond, &place, 0, nullptr, nullptr), -1);
    EXPECT_EQ(GetSurfaceBlitState().targetLocked, 0);
    EXPECT_EQ(GetSurfaceBlitState().sourceLocked, 0);

    // A draw target that was released is no target any more: draws fail instead of writing into freed memory.
    const int doomed = CreateEmptyGraphImpl(32, 32, 1);
    ASSERT_EQ(SetTargetScreen(doomed), 0);
    ASSERT_EQ(ReleaseGraph(doomed, 0), 0);
    EXPECT_EQ(DrawGraphPiece2D(0, 0, GetGraphRecord(wide), 1, 1), -1);
    EXPECT_EQ(FillDrawTarget2D(), -1);
    ASSERT_EQ(SetTargetScreen(-2), 0);
    ASSERT_EQ(SetViewportRectImpl(kArea.left, kArea.top, kArea.right, kArea.bottom), 0);

    // Set last: while DirectDraw is in use the system-memory setting cannot be taken back.
    SetUseSystemMemoryGraph(1);
    const int soft = MakePatternGraph(kW, kH);
    ASSERT_NE(soft, -1);
    ASSERT_EQ(SurfaceDataToRecord(Surface2DToRecord(GetGraphRecord(soft)->pieces[0])->surfaceData)->software, 1);
    EXPECT_EQ(DrawAndCompare(soft, kBlitRouteLocked), "");

    // The front screen in a window: target coordinates are the client area, found on the primary at the window's
    // position (as the window last reported it), or at the top-left of the temporary primary when that is in use.
    for (int i = 0; i < 5; ++i) ProcessMessage();
    ASSERT_EQ(SetTargetScreen(-4), 0);
    POINT origin = {0, 0};
    if (!s.useTempPrimary) ClientToScreen(GetMainHwnd(), &origin);
    EXPECT_EQ(GetDrawState().windowDrawRect.left, origin.x);
    EXPECT_EQ(GetDrawState().windowDrawRect.top, origin.y);
    IDirectDrawSurface7* front = GetOutputPrimarySurface();
    EXPECT_EQ(DrawGraphPiece2D(20, 30, GetGraphRecord(soft), 0, 1), 0);
    ASSERT_TRUE(ReadSurfacePixel(front, origin.x + 20 + 5, origin.y + 30 + 2, &v, nullptr));
    EXPECT_EQ(v & 0xFFFFFF, PatternColour(5, 2));
    ASSERT_TRUE(ReadSurfacePixel(front, origin.x + 20 + 4, origin.y + 30 + 4, &v, nullptr));
    EXPECT_EQ(v & 0xFFFFFF, 0u) << "an unkeyed draw copies the key colour too";
    EXPECT_EQ(SetTargetScreen(-2), 0);
    EXPECT_EQ(ShutDownLibrary(), 0);
}

TEST(Draw2D, WorkSurfaceAddressesTargetCoordinatesAndGoesBack) {
    DisplayWatchdog watchdog(120);
    ASSERT_EQ(StartRuntimeOn2DRoad(), 0);
    DisplayState& s = GetDisplayState();
    ASSERT_EQ(SetTargetScreen(-2), 0);
    FillSurface(s.backSurface, RgbToScreenPixelImpl(0x20, 0x30, 0x40));
    ASSERT_EQ(SetViewportRectImpl(0, 0, 300, 200), 0);
    SetBlendModeImpl(2, 128);  // blending reads the target: the video-memory back surface goes via the work surface
    const RECT box = {250, 150, 340, 230};
    ASSERT_EQ(BeginSurfaceBlit(nullptr, 0, nullptr, &box, 0, nullptr, nullptr), 0);
    const SurfaceBlitState& b = GetSurfaceBlitState();
    EXPECT_EQ(b.route, kBlitRouteWorkSurface);
    EXPECT_EQ(b.clippedDest.left, 250);
    EXPECT_EQ(b.clippedDest.right, 300);
    EXPECT_EQ(b.clippedDest.bottom, 200);
    MEMIMG* target = b.drawTargetImage;
    ASSERT_NE(target, nullptr);
    // The image covers exactly the memory the lock gave: up to the clipped far corner, nothing beyond.
    EXPECT_EQ(target->width, 300);
    EXPECT_EQ(target->height, 200);
    const uint32_t marked = RgbaToFormatValue(target->format, 0xC0, 0x10, 0x80, 255);
    for (int y = 160; y < 170; ++y) {
        for (int x = 260; x < 270; ++x) std::memcpy(target->pixels + y * target->pitch + 4 * x, &marked, 4);
    }
    EXPECT_EQ(FlushSurfaceBlit(), 0);
    SetBlendModeImpl(0, 0);
    uint32_t v = 0;
    ASSERT_TRUE(ReadSurfacePixel(s.backSurface, 265, 165, &v, nullptr));
    EXPECT_EQ(v & 0xFFFFFF, 0xC01080u);
    ASSERT_TRUE(ReadSurfacePixel(s.backSurface, 255, 155, &v, nullptr));
    EXPECT_EQ(v & 0xFFFFFF, kBackground);
    ASSERT_TRUE(ReadSurfacePixel(s.backSurface, 310, 165, &v, nullptr));
    EXPECT_EQ(v & 0xFFFFFF, kBackground) << "outside the draw area nothing comes back";

    // A line list locks the box of all its end points, whichever end comes first.
    const SoftLineRecord lines[] = {{50, 60, 10, 20, 0xFFFFFF, 0}, {30, 5, 40, 45, 0xFFFFFF, 0}};
    EXPECT_EQ(DrawRectList2D(lines, 2), 0);
    EXPECT_EQ(GetSurfaceBlitState().clippedDest.left, 10);
    EXPECT_EQ(GetSurfaceBlitState().clippedDest.top, 5);
    EXPECT_EQ(GetSurfaceBlitState().clippedDest.right, 51);
    EXPECT_EQ(GetSurfaceBlitState().clippedDest.bottom, 61);
    EXPECT_EQ(ShutDownLibrary(), 0);
}

TEST(Draw2D, GraphsAsTargetsSourcesOfUploadsAndScreenCopies) {
    DisplayWatchdog watchdog(120);
    ASSERT_EQ(StartRuntimeOn2DRoad(), 0);
    DisplayState& s = GetDisplayState();
    SetScreenBackgroundColor(0x20, 0x30, 0x40);

    // A rectangle of an image placed inside a graph: only the overlap arrives, at its place.
    const int graph = CreateEmptyGraphImpl(20, 10, 1);
    ASSERT_NE(graph, -1);
    ASSERT_EQ(FillGraphImpl(graph, 0, 0, 0, 255), 0);
    GraphImage image = MakeTestPicture(kW, kH, PatternColour);
    const RECT part = {4, 2, 14, 8};  // 10 x 6, placed at (15, 6): 5 x 4 of it lands
    ASSERT_EQ(BltImageRectToGraph2D(&image, nullptr, &part, 15, 6, GetGraphRecord(graph)), 0);
    ReleaseGraphImage(&image);
    SurfaceData* d = SurfaceDataToRecord(Surface2DToRecord(GetGraphRecord(graph)->pieces[0])->surfaceData);
    uint32_t v = 0;
    ASSERT_TRUE(ReadSurfacePixel(d->surface, 15, 6, &v, nullptr));
    EXPECT_EQ(v & 0xFFFFFF, PatternColour(4, 2));
    ASSERT_TRUE(ReadSurfacePixel(d->surface, 19, 9, &v, nullptr));
    EXPECT_EQ(v & 0xFFFFFF, PatternColour(8, 5));
    ASSERT_TRUE(ReadSurfacePixel(d->surface, 14, 6, &v, nullptr));
    EXPECT_EQ(v & 0xFFFFFF, 0u);

    // The graph as draw target: clearing it gives the background colour; the draw area follows its size.
    ASSERT_EQ(SetTargetScreen(graph), 0);
    EXPECT_EQ(GetDrawState().drawArea.right, 20);
    EXPECT_EQ(ClearTargetScreen(), 0);
    ASSERT_TRUE(ReadSurfacePixel(d->surface, 17, 7, &v, nullptr));
    EXPECT_EQ(v & 0xFFFFFF, kBackground);
    EXPECT_EQ(SetTargetScreen(0x7FFF0000), -1);
    EXPECT_EQ(GetTargetScreen(), graph) << "a refused target leaves the previous one";

    // A screen rectangle of exactly the graph's size comes into the graph; other sizes and places are refused.
    ASSERT_EQ(SetTargetScreen(-2), 0);
    FillSurface(s.backSurface, RgbToScreenPixelImpl(0x20, 0x30, 0x40));
    DDBLTFX fx;
    std::memset(&fx, 0, sizeof(fx));
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = RgbToScreenPixelImpl(0x90, 0xA0, 0xB0);
    RECT spot = {105, 52, 106, 53};
    s.backSurface->Blt(&spot, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
    EXPECT_EQ(CopyScreenToGraph2D(100, 50, 120, 60, GetGraphRecord(graph)), 0);
    ASSERT_TRUE(ReadSurfacePixel(d->surface, 5, 2, &v, nullptr));
    EXPECT_EQ(v & 0xFFFFFF, 0x90A0B0u);
    ASSERT_TRUE(ReadSurfacePixel(d->surface, 6, 2, &v, nullptr));
    EXPECT_EQ(v & 0xFFFFFF, kBackground);
    EXPECT_EQ(CopyScreenToGraph2D(100, 50, 121, 60, GetGraphRecord(graph)), -1);
    EXPECT_EQ(CopyScreenToGraph2D(630, 50, 650, 60, GetGraphRecord(graph)), -1);
    EXPECT_EQ(CopyScreenToGraph2D(100, 50, 100, 60, GetGraphRecord(graph)), -1);
    EXPECT_EQ(ShutDownLibrary(), 0);
}

// Software mode lasts for the process: the software-image draw runs in a child.
std::string CheckSoftwareModeDraw() {
    SetSoftwareDrawRequest(1);
    if (StartRuntimeOn2DRoad() != 0) return "start-up failed";
    SetScreenBackgroundColor(0x20, 0x30, 0x40);
    if (SetTargetScreen(-2) != 0) return "target";
    if (ClearTargetScreen() != 0) return "clear";
    SetViewportRectImpl(kArea.left, kArea.top, kArea.right, kArea.bottom);
    const int graph = MakePatternGraph(kW, kH);
    if (graph == -1) return "graph";
    if (DrawGraphPiece2D(kDrawX, kDrawY, GetGraphRecord(graph), 1, 1) != 0) return "draw";
    if (GetSurfaceBlitState().route != kBlitRouteSoftImage) return "route";
    const MEMIMG& back = GetDisplayState().backImage;
    for (int y = kDrawY - 2; y < kDrawY + kH + 2; ++y) {
        for (int x = kDrawX - 4; x < kDrawX + kW + 4; ++x) {
            if (MemImagePixelRgb(back, x, y) != Expected(x, y)) {
                return "pixel " + std::to_string(x) + "," + std::to_string(y);
            }
        }
    }
    if (ShutDownLibrary() != 0) return "shutdown";
    return "";
}

TEST(Draw2DSoftware, ColourKeyedDrawOntoTheBackImage) {
    EXPECT_EXIT(
        {
            DisplayWatchdog watchdog(120);
            const std::string problem = CheckSoftwareModeDraw();
            fprintf(stderr, "%s\n", problem.c_str());
            fflush(stderr);
            ExitProcess(problem.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
