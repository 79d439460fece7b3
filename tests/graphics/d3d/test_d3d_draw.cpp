// Direct3D draw primitives read back from the back screen: texel-exact point draws and clipping on every side,
// graphs of several texture pieces without seams, rotation, mirrored stretches, four-corner draws, filled boxes and
// outlines, and what happens while the draw target cannot be drawn on.
#include "tests/graphics/d3d/test_d3d_support.h"

#include <algorithm>
#include <cmath>

#include "graphics/d3d/d3d_draw.h"
#include "graphics/ddraw/surface2d.h"

namespace {

constexpr uint32_t kBackground = 0x203040;
constexpr double kPi = 3.14159265358979323846;

class D3DDraw : public Direct3DTest {};

// What a point draw of the pattern graph at (gx, gy) leaves at (x, y), clipped to `area`.
uint32_t PointDrawExpected(int x, int y, int gx, int gy, int gw, int gh, const RECT& area) {
    const bool inGraph = x >= gx && x < gx + gw && y >= gy && y < gy + gh;
    const bool inArea = x >= area.left && x < area.right && y >= area.top && y < area.bottom;
    return inGraph && inArea ? PatternTexel(x - gx, y - gy) : kBackground;
}

TEST_F(D3DDraw, PointDrawsAreExactTexelCopiesClippedOnEverySide) {
    const int graph = MakePatternGraph(64, 48);
    ASSERT_NE(graph, -1);
    const RECT area = {100, 90, 300, 250};
    struct Case {
        const char* name;
        int x, y;
    } cases[] = {
        {"inside", 150, 120},     {"left edge", 70, 120},  {"right edge", 270, 120},  {"top edge", 150, 60},
        {"bottom edge", 150, 230}, {"top-left", 80, 70},   {"bottom-right", 280, 240}, {"wholly outside", 20, 20},
    };
    for (const Case& c : cases) {
        FillBack(kBackground);
        SetD3DDrawArea(area.left, area.top, area.right, area.bottom);
        ASSERT_EQ(DrawGraph3D(static_cast<float>(c.x), static_cast<float>(c.y), GetGraphRecord(graph), 1, 1), 0);
        EXPECT_EQ(CompareBack(RECT{0, 0, 360, 300},
                              [&](int x, int y) { return PointDrawExpected(x, y, c.x, c.y, 64, 48, area); }),
                  "")
            << c.name;
    }
}

TEST_F(D3DDraw, GraphOfSeveralPiecesHasNoSeams) {
    LimitTextureSize(128);
    const int graph = MakePatternGraph(300, 200);
    ASSERT_NE(graph, -1);
    ASSERT_GT(GetGraphRecord(graph)->pieceCount, 4) << "the graph must be cut into a grid of textures";
    FillBack(kBackground);
    ASSERT_EQ(DrawGraph3D(5, 7, GetGraphRecord(graph), 1, 1), 0);
    const RECT screen = {0, 0, 640, 480};
    EXPECT_EQ(CompareBack(RECT{0, 0, 320, 220}, [&](int x, int y) { return PointDrawExpected(x, y, 5, 7, 300, 200, screen); }), "");

    // Clipped through the middle of pieces: each piece is cut at the area's edge on its own.
    FillBack(kBackground);
    const RECT area = {70, 60, 250, 150};
    SetD3DDrawArea(area.left, area.top, area.right, area.bottom);
    ASSERT_EQ(DrawGraph3D(-20, -10, GetGraphRecord(graph), 1, 1), 0);
    EXPECT_EQ(CompareBack(RECT{0, 0, 320, 220}, [&](int x, int y) { return PointDrawExpected(x, y, -20, -10, 300, 200, area); }), "");
}

TEST_F(D3DDraw, RotationByZeroMatchesThePointDrawAndByPiTurnsTheImage) {
    struct Size {
        int w, h;
    } sizes[] = {{32, 24}, {31, 17}};
    for (const Size& s : sizes) {
        const int graph = MakePatternGraph(s.w, s.h);
        ASSERT_NE(graph, -1);
        const int cx = 200, cy = 150;
        const int left = cx - s.w / 2, top = cy - s.h / 2;
        FillBack(kBackground);
        ASSERT_EQ(DrawGraphRotated3D(static_cast<float>(cx), static_cast<float>(cy), 1.0, 0.0, GetGraphRecord(graph), 1, 0), 0);
        const RECT screen = {0, 0, 640, 480};
        EXPECT_EQ(CompareBack(RECT{cx - 40, cy - 40, cx + 40, cy + 40},
                              [&](int x, int y) { return PointDrawExpected(x, y, left, top, s.w, s.h, screen); }),
                  "")
            << s.w << "x" << s.h << " at angle 0";

        FillBack(kBackground);
        ASSERT_EQ(DrawGraphRotated3D(static_cast<float>(cx), static_cast<float>(cy), 1.0, kPi, GetGraphRecord(graph), 1, 0), 0);
        // Half a turn about the centre: the same box, the last texel first.
        const int left180 = left, top180 = top;
        EXPECT_EQ(CompareBack(RECT{cx - 40, cy - 40, cx + 40, cy + 40},
                              [&](int x, int y) {
                                  const bool in = x >= left180 && x < left180 + s.w && y >= top180 && y < top180 + s.h;
                                  return in ? PatternTexel(s.w - 1 - (x - left180), s.h - 1 - (y - top180)) : kBackground;
                              }),
                  "")
            << s.w << "x" << s.h << " at angle pi";
    }
}

TEST_F(D3DDraw, StretchedDrawsMirrorByReversedCornersAndEnlargeByWholeTexels) {
    const int graph = MakePatternGraph(40, 30);
    ASSERT_NE(graph, -1);
    const GraphRecord* g = GetGraphRecord(graph);
    struct Case {
        const char* name;
        int x1, y1, x2, y2;
        int (*texX)(int dx);  // texel column at the column dx of the drawn box
        int (*texY)(int dy);
    } cases[] = {
        {"unchanged", 50, 60, 90, 90, [](int dx) { return dx; }, [](int dy) { return dy; }},
        {"mirrored left to right", 90, 60, 50, 90, [](int dx) { return 39 - dx; }, [](int dy) { return dy; }},
        {"mirrored top to bottom", 50, 90, 90, 60, [](int dx) { return dx; }, [](int dy) { return 29 - dy; }},
        {"both axes", 90, 90, 50, 60, [](int dx) { return 39 - dx; }, [](int dy) { return 29 - dy; }},
        {"twice the size", 50, 60, 130, 120, [](int dx) { return dx / 2; }, [](int dy) { return dy / 2; }},
        {"twice the size, mirrored", 130, 60, 50, 120, [](int dx) { return 39 - dx / 2; }, [](int dy) { return dy / 2; }},
    };
    for (const Case& c : cases) {
        FillBack(kBackground);
        ASSERT_EQ(DrawGraphStretched3D(static_cast<float>(c.x1), static_cast<float>(c.y1), static_cast<float>(c.x2),
                                       static_cast<float>(c.y2), g, 1, 1),
                  0);
        const int left = std::min(c.x1, c.x2), top = std::min(c.y1, c.y2);
        const int right = std::max(c.x1, c.x2), bottom = std::max(c.y1, c.y2);
        EXPECT_EQ(CompareBack(RECT{40, 50, 140, 130},
                              [&](int x, int y) {
                                  const bool in = x >= left && x < right && y >= top && y < bottom;
                                  return in ? PatternTexel(c.texX(x - left), c.texY(y - top)) : kBackground;
                              }),
                  "")
            << c.name;
    }

    // Enlarged and cut by the draw area: the texels under the cut stay where the uncut draw has them.
    FillBack(kBackground);
    const RECT area = {70, 75, 110, 100};
    SetD3DDrawArea(area.left, area.top, area.right, area.bottom);
    ASSERT_EQ(DrawGraphStretched3D(50, 60, 130, 120, g, 1, 1), 0);
    EXPECT_EQ(CompareBack(RECT{40, 50, 140, 130},
                          [&](int x, int y) {
                              const bool in = x >= area.left && x < area.right && y >= area.top && y < area.bottom;
                              return in ? PatternTexel((x - 50) / 2, (y - 60) / 2) : kBackground;
                          }),
              "");
    EXPECT_EQ(DrawGraphStretched3D(50, 60, 50, 120, g, 1, 1), 0) << "a box of no width draws nothing";
}

TEST_F(D3DDraw, FourCornerDrawsOfRectanglesMatchTheStretchedAndPointDraws) {
    LimitTextureSize(64);
    const int graph = MakePatternGraph(100, 70);
    ASSERT_NE(graph, -1);
    const GraphRecord* g = GetGraphRecord(graph);
    ASSERT_GT(g->pieceCount, 1);

    FillBack(kBackground);
    ASSERT_EQ(DrawGraphStretched3D(20, 30, 220, 170, g, 1, 1), 0);
    const std::vector<uint32_t> stretched = ReadBack(RECT{0, 0, 240, 200});
    FillBack(kBackground);
    ASSERT_EQ(DrawGraphQuad3D(20, 30, 220, 30, 20, 170, 220, 170, g, 1), 0);
    EXPECT_EQ(ReadBack(RECT{0, 0, 240, 200}), stretched) << "an axis-aligned quad is a stretched draw";

    // Float corners on pixel edges: each piece lands where the point draw puts it, mirrored when the corners say so.
    const RECT screen = {0, 0, 640, 480};
    FillBack(kBackground);
    ASSERT_EQ(DrawGraphQuadF3D(39.5f, 49.5f, 139.5f, 49.5f, 39.5f, 119.5f, 139.5f, 119.5f, g, 1), 0);
    EXPECT_EQ(CompareBack(RECT{0, 0, 200, 160}, [&](int x, int y) { return PointDrawExpected(x, y, 40, 50, 100, 70, screen); }), "");
    FillBack(kBackground);
    ASSERT_EQ(DrawGraphQuadF3D(139.5f, 49.5f, 39.5f, 49.5f, 139.5f, 119.5f, 39.5f, 119.5f, g, 1), 0);
    EXPECT_EQ(CompareBack(RECT{0, 0, 200, 160},
                          [&](int x, int y) {
                              const bool in = x >= 40 && x < 140 && y >= 50 && y < 120;
                              return in ? PatternTexel(139 - x, y - 50) : kBackground;
                          }),
              "");
}

TEST_F(D3DDraw, FreeQuadrilateralStaysInsideItsCorners) {
    const int graph = MakePatternGraph(32, 32);
    ASSERT_NE(graph, -1);
    FillBack(kBackground);
    // A trapezoid (no parallelogram) goes through the vertex grid.
    ASSERT_EQ(DrawGraphQuadF3D(100, 100, 140, 100, 80, 160, 180, 160, GetGraphRecord(graph), 1), 0);
    const std::vector<uint32_t> pixels = ReadBack(RECT{60, 80, 200, 180});
    int drawn = 0, stray = 0;
    for (int y = 80; y < 180; ++y) {
        for (int x = 60; x < 200; ++x) {
            const bool changed = pixels[(y - 80) * 140 + (x - 60)] != kBackground;
            // Inside: between the two slanted edges, one pixel in from every edge.
            const float t = (y - 100) / 60.0f;
            const bool inside = y > 101 && y < 159 && x > 100 - 20 * t + 1 && x < 140 + 40 * t - 1;
            const bool outside = y < 99 || y > 161 || x < 100 - 20 * t - 2 || x > 140 + 40 * t + 2;
            if (inside && !changed) ++stray;
            if (outside && changed) ++stray;
            drawn += changed;
        }
    }
    EXPECT_EQ(stray, 0);
    EXPECT_GT(drawn, 3000);
    // Near the top-left corner lie the first texels, near the bottom-right corner the last.
    const uint32_t first = ReadBackAt(101, 101), last = ReadBackAt(178, 158);
    EXPECT_LE((first >> 16) & 0xFF, 2u);
    EXPECT_LE((first >> 8) & 0xFF, 2u);
    EXPECT_GE((last >> 16) & 0xFF, 29u);
    EXPECT_GE((last >> 8) & 0xFF, 29u);
}

TEST_F(D3DDraw, FilledBoxesAreClippedScaledAndFollowTexturedDraws) {
    const int graph = MakePatternGraph(16, 16);
    ASSERT_NE(graph, -1);
    struct Case {
        const char* name;
        int x1, y1, x2, y2;
        uint32_t scale;
    } cases[] = {
        {"ordered", 20, 30, 60, 50, 0xFFFFFF},
        {"reversed corners", 60, 50, 20, 30, 0xFFFFFF},
        {"colour scale", 20, 30, 60, 50, 0x804020},
        {"cut by the draw area", 5, 10, 60, 50, 0xFFFFFF},
    };
    const uint32_t colour = 0xC08040;
    for (const Case& c : cases) {
        FillBack(kBackground);
        SetD3DColorScale(c.scale);
        const RECT area = {10, 20, 640, 480};
        SetD3DDrawArea(area.left, area.top, area.right, area.bottom);
        // A textured draw first: its stage set-up must not decide the box's colour.
        ASSERT_EQ(DrawGraph3D(300, 300, GetGraphRecord(graph), 1, 1), 0);
        ASSERT_EQ(DrawBoxFilled3D(c.x1, c.y1, c.x2, c.y2,
                                  static_cast<int>(RgbToScreenPixelImpl((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF))),
                  0);
        auto scaled = [&](int shift) { return ((c.scale >> shift) & 0xFF) * ((colour >> shift) & 0xFF) / 255 << shift; };
        const uint32_t expected = scaled(16) | scaled(8) | scaled(0);
        const int left = std::max(std::min(c.x1, c.x2), static_cast<int>(area.left));
        const int top = std::max(std::min(c.y1, c.y2), static_cast<int>(area.top));
        EXPECT_EQ(CompareBack(RECT{0, 0, 80, 70},
                              [&](int x, int y) {
                                  const bool in = x >= left && x < std::max(c.x1, c.x2) && y >= top && y < std::max(c.y1, c.y2);
                                  return in ? expected : kBackground;
                              }),
                  "")
            << c.name;
    }
}

TEST_F(D3DDraw, OutlinesDrawTheSameLinesWhicheverWayTheCornersCome) {
    const int colour = static_cast<int>(RgbToScreenPixelImpl(0xFF, 0xFF, 0x00));
    FillBack(kBackground);
    ASSERT_EQ(DrawBoxOutline3D(30, 40, 90, 80, colour), 0);
    const std::vector<uint32_t> ordered = ReadBack(RECT{20, 30, 100, 90});
    for (const RECT corners : {RECT{90, 80, 30, 40}, RECT{90, 40, 30, 80}, RECT{30, 80, 90, 40}}) {
        FillBack(kBackground);
        ASSERT_EQ(DrawBoxOutline3D(corners.left, corners.top, corners.right, corners.bottom, colour), 0);
        EXPECT_EQ(ReadBack(RECT{20, 30, 100, 90}), ordered);
    }
    // The outline runs along the box's inner edge; inside and outside stay untouched.
    EXPECT_EQ(ReadBackAt(60, 40), 0xFFFF00u);
    EXPECT_EQ(ReadBackAt(60, 79), 0xFFFF00u);
    EXPECT_EQ(ReadBackAt(30, 60), 0xFFFF00u);
    EXPECT_EQ(ReadBackAt(89, 60), 0xFFFF00u);
    EXPECT_EQ(ReadBackAt(60, 60), kBackground);
    EXPECT_EQ(ReadBackAt(60, 39), kBackground);
    EXPECT_EQ(ReadBackAt(90, 60), kBackground);
}

TEST_F(D3DDraw, ATargetThatCannotBeDrawnOnTakesNoTexturedDraws) {
    const int graph = MakePatternGraph(16, 16);
    ASSERT_NE(graph, -1);
    // A 2D graph with an alpha channel is held as a software image, which cannot be a render target.
    const int plain = CreateGraphOrFail(32, 32, 0, 1, 0);
    ASSERT_NE(plain, -1);
    ASSERT_EQ(GetGraphRecord(plain)->creation[kCreateTexture], 0);
    EXPECT_EQ(SelectDrawTarget3D(plain), -1);
    EXPECT_EQ(GetDirect3DState().targetNotDrawable, 1);
    FillBack(kBackground);
    EXPECT_EQ(DrawGraph3D(10, 10, GetGraphRecord(graph), 1, 1), 0);
    EXPECT_EQ(DrawGraphRotated3D(40, 40, 2.0, 1.0, GetGraphRecord(graph), 1, 0), 0);
    EXPECT_EQ(ReadBackAt(15, 15), kBackground);
    EXPECT_EQ(ReadBackAt(40, 40), kBackground);

    // Selecting the back screen again draws there.
    ASSERT_EQ(SelectDrawTarget3D(-2), 0);
    EXPECT_EQ(GetDirect3DState().targetNotDrawable, 0);
    EXPECT_EQ(DrawGraph3D(10, 10, GetGraphRecord(graph), 1, 1), 0);
    EXPECT_EQ(ReadBackAt(15, 15), PatternTexel(5, 5));
}

TEST_F(D3DDraw, AGraphMadeForDrawingIsARenderTarget) {
    const int pattern = MakePatternGraph(100, 60);
    ASSERT_NE(pattern, -1);
    SetCreateDrawValidGraph(1);
    const int canvas = CreateGraphOrFail(100, 60, 1, 0, 0);
    SetCreateDrawValidGraph(0);
    ASSERT_NE(canvas, -1);
    ASSERT_EQ(GetGraphRecord(canvas)->creation[kCreateDrawValid], 1);
    ASSERT_EQ(GetGraphRecord(canvas)->pieceCount, 1);
    ASSERT_EQ(FillGraphImpl(canvas, 255, 255, 255, 255), 0);

    SettleD3D();
    ASSERT_EQ(SelectDrawTarget3D(canvas), 0);
    GetDrawState().target = canvas;
    SetD3DDrawArea(0, 0, 100, 60);
    ASSERT_EQ(FillDrawTarget3D(), 0);  // the background colour: black
    ASSERT_EQ(DrawGraph3D(20, 10, GetGraphRecord(pattern), 1, 1), 0);
    SettleD3D();

    UseBackScreenD3D();
    FillBack(kBackground);
    ASSERT_EQ(DrawGraph3D(200, 100, GetGraphRecord(canvas), 0, 1), 0);
    EXPECT_EQ(CompareBack(RECT{200, 100, 300, 160},
                          [](int x, int y) {
                              const int cx = x - 200, cy = y - 100;
                              return cx >= 20 && cy >= 10 ? PatternTexel(cx - 20, cy - 10) : 0u;
                          }),
              "");
    // A texture graph not made for drawing cannot be the target.
    EXPECT_EQ(SelectDrawTarget3D(pattern), -1);
    EXPECT_EQ(GetDirect3DState().targetNotDrawable, 1);
    EXPECT_EQ(SelectDrawTarget3D(-2), 0);
}

TEST_F(D3DDraw, TheFrontScreenShowsEveryDrawAtOnce) {
    const int graph = MakePatternGraph(16, 16);
    ASSERT_NE(graph, -1);
    ASSERT_EQ(SelectDrawTarget3D(-4), 0);
    EXPECT_EQ(GetDirect3DState().frontTarget, 1);
    ASSERT_EQ(DrawGraph3D(10, 10, GetGraphRecord(graph), 1, 1), 0);
    EXPECT_EQ(CurrentDevice3D()->inScene, 0) << "a draw on the front screen ends the scene";
    EXPECT_EQ(CurrentDevice3D()->batch.count, 0);
    ASSERT_EQ(SelectDrawTarget3D(-2), 0);
    EXPECT_EQ(GetDirect3DState().frontTarget, 0);
    ASSERT_EQ(DrawGraph3D(10, 10, GetGraphRecord(graph), 1, 1), 0);
    EXPECT_EQ(CurrentDevice3D()->inScene, 1) << "on the back screen the scene stays open for the next draw";
    EXPECT_EQ(CurrentDevice3D()->batch.count, 6);
}

TEST_F(D3DDraw, AGraphWithABadPieceIsRefused) {
    const int graph = MakePatternGraph(16, 16);
    ASSERT_NE(graph, -1);
    GraphRecord* g = GetGraphRecord(graph);
    const int piece = g->pieces[0];
    g->pieces[0] = piece ^ 0x00010000;  // another check id: no live 3D surface
    EXPECT_EQ(DrawGraph3D(10, 10, g, 1, 1), -1);
    EXPECT_EQ(DrawGraphStretched3D(10, 10, 40, 40, g, 1, 1), -1);
    EXPECT_EQ(DrawGraphRotated3D(40, 40, 1.0, 0.5, g, 1, 0), -1);
    EXPECT_EQ(DrawGraphQuadF3D(0, 0, 10, 0, 0, 10, 10, 10, g, 1), -1);
    g->pieces[0] = piece;
}

}  // namespace
