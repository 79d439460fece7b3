// The draw state as the game meets it: the rectangle clip, the setters' clamping, the empty draw area, the draw
// target (refused handles keep the old one; targets of one size keep the area), the part draw that narrows the
// area only for itself, the blend-graph size check, and the default camera's matrices.
#include "tests/graphics/test_draw_support.h"

#include <cmath>

#include "graphics/draw_state.h"
#include "graphics/graphics.h"
#include "runtime/window.h"

namespace {

TEST(DrawClipRect, ClampsIntoTheClipAndCollapsesWhatLiesOutside) {
    const RECT clip = {0, 0, 100, 100};
    struct Row {
        RECT in, out;
    } rows[] = {
        {{10, 10, 5, 20}, {10, 10, 10, 20}},        // reversed x: right drops onto left
        {{5, 6, 20, 30}, {5, 6, 20, 30}},           // inside: unchanged
        {{-10, -20, 200, 300}, {0, 0, 100, 100}},   // over every edge
        {{150, 10, 200, 20}, {100, 10, 100, 20}},   // wholly right: no width
        {{10, -50, 20, -10}, {10, 0, 20, 0}},       // wholly above: no height
        {{30, 40, 10, 20}, {30, 40, 30, 40}},       // reversed both
        {{-30, 50, -5, 60}, {0, 50, 0, 60}},        // wholly left
    };
    for (const Row& r : rows) {
        RECT a = r.in, b = r.in;
        EXPECT_EQ(0, ClipRectImpl(&a, &clip));
        EXPECT_EQ(0, ClipRect(&b, &clip));  // the public form takes no lock and does the same
        for (const RECT& got : {a, b}) {
            EXPECT_EQ(r.out.left, got.left) << r.in.left << "," << r.in.top << "," << r.in.right << "," << r.in.bottom;
            EXPECT_EQ(r.out.top, got.top);
            EXPECT_EQ(r.out.right, got.right);
            EXPECT_EQ(r.out.bottom, got.bottom);
        }
    }
}

TEST(DrawMatrices, LookAtAndPerspectiveMapTheCameraAsExpected) {
    float view[16];
    const float eye[3] = {320, 240, -400}, target[3] = {320, 240, -399}, up[3] = {0, 1, 0};
    BuildViewMatrix(view, eye, target, up);
    auto transform = [](const float* m, float x, float y, float z, float* out) {
        for (int c = 0; c < 4; ++c) out[c] = x * m[c] + y * m[4 + c] + z * m[8 + c] + m[12 + c];
    };
    float p[4];
    transform(view, 320, 240, -400, p);  // the eye goes to the origin
    EXPECT_NEAR(0, p[0], 1e-3);
    EXPECT_NEAR(0, p[1], 1e-3);
    EXPECT_NEAR(0, p[2], 1e-3);
    transform(view, 330, 250, -300, p);  // right, up and ahead stay right, up and ahead
    EXPECT_NEAR(10, p[0], 1e-3);
    EXPECT_NEAR(10, p[1], 1e-3);
    EXPECT_NEAR(100, p[2], 1e-3);

    float projection[16];
    std::fill(projection, projection + 16, 7.0f);
    EXPECT_EQ(-1, BuildPerspectiveMatrix(projection, 1.0f, 5.0f, 5.005f, 0.75f));
    EXPECT_EQ(-1, BuildPerspectiveMatrix(projection, 0.001f, 1.0f, 100.0f, 0.75f));
    EXPECT_EQ(7.0f, projection[0]);  // refused: left untouched
    ASSERT_EQ(0, BuildPerspectiveMatrix(projection, 1.0471976f, 10.0f, 1010.0f, 0.75f));
    // Points on the near and far planes land on depth 0 and 1.
    transform(projection, 0, 0, 10.0f, p);
    EXPECT_NEAR(0, p[2] / p[3], 1e-5);
    transform(projection, 0, 0, 1010.0f, p);
    EXPECT_NEAR(1, p[2] / p[3], 1e-5);
    EXPECT_NEAR(std::sqrt(3.0f) * 0.75f, projection[0], 1e-4);
}

class DrawStateTest : public GameScreenTest {};

TEST_F(DrawStateTest, SettersClampAndKeepWhatTheGameReadsBack) {
    struct Row {
        int mode, parameter, storedParameter;
    } blends[] = {{1, 300, 255}, {1, -5, 0}, {2, 128, 128}, {0, 255, 255}};
    for (const Row& r : blends) {
        EXPECT_EQ(0, SetBlendMode(r.mode, r.parameter));
        int mode = -1, parameter = -1;
        GetBlendModeImpl(&mode, &parameter);
        EXPECT_EQ(r.mode, mode);
        EXPECT_EQ(r.storedParameter, parameter) << r.parameter;
    }
    struct Scale {
        int r, g, b;
        int outR, outG, outB;
    } scales[] = {
        {255, 0, 128, 255, 0, 128},
        {255, 128, 0, 255, 128, 0},  // green and blue swapped is a change
        {-1, 0, 0, 255, 0, 0},       // read as unsigned: a negative value is large
        {300, 256, 7, 255, 255, 7},
        {255, 255, 255, 255, 255, 255},
    };
    for (const Scale& s : scales) {
        EXPECT_EQ(0, SetDrawColorScale(s.r, s.g, s.b));
        int r = -1, g = -1, b = -1;
        EXPECT_EQ(0, GetDrawColorScale(&r, &g, &b));
        EXPECT_EQ(s.outR, r) << s.r << "," << s.g << "," << s.b;
        EXPECT_EQ(s.outG, g);
        EXPECT_EQ(s.outB, b);
    }
    EXPECT_EQ(0, GetDrawColorScale(nullptr, nullptr, nullptr));
}

TEST_F(DrawStateTest, AnEmptyDrawAreaDrawsNothingUntilItIsSetAgain) {
    const int graph = MakePositionGraph(24, 16);
    ASSERT_NE(-1, graph);
    FillBackScreen(0x102030);
    ASSERT_EQ(0, SetViewportRect(50, 50, 50, 80));
    EXPECT_EQ(1, GetDrawState().areaEmpty);
    const int stale = graph + 0x10000;  // another check id: no graph
    // With no area every entry returns 0 at once, before it even looks at the graph.
    for (int g : {graph, stale}) {
        EXPECT_EQ(0, DrawGraphAt(50, 50, g, 0));
        EXPECT_EQ(0, DrawGraphStretched(40, 40, 90, 90, g, 0));
        EXPECT_EQ(0, DrawGraphRotated(60, 60, 1.0, 0.5, g, 0, 0));
        EXPECT_EQ(0, DrawGraphMirrored(50, 50, g, 0));
        EXPECT_EQ(0, DrawGraphPart(50, 50, 0, 0, 10, 10, g, 0, 1));
        EXPECT_EQ(0, DrawGraphFourPoints(40, 40, 90, 40, 90, 90, 40, 90, g, 0));
    }
    EXPECT_EQ(0, DrawRectangle(30, 30, 100, 100, RgbToScreenPixel(255, 0, 0), 1));
    EXPECT_EQ("", CompareBackScreen(RECT{20, 20, 110, 110}, [](int, int) { return 0x102030u; }, 8));

    ASSERT_EQ(0, SetViewportRect(0, 0, 640, 480));
    EXPECT_EQ(0, GetDrawState().areaEmpty);
    EXPECT_EQ(-1, DrawGraphAt(50, 50, stale, 0));
    EXPECT_EQ(0, DrawGraphAt(50, 50, graph, 0));
    EXPECT_EQ("", CompareBackScreen(RECT{50, 50, 74, 66}, [](int x, int y) { return PositionColour(x - 50, y - 50); },
                                    8));
}

TEST_F(DrawStateTest, TheDrawAreaIsOrderedAndClampedIntoTheTarget) {
    struct Row {
        RECT in, out;
    } rows[] = {
        {{100, 90, 10, 20}, {10, 20, 100, 90}},
        {{-50, -60, 700, 500}, {0, 0, 640, 480}},
        {{630, 470, 900, 900}, {630, 470, 640, 480}},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(0, SetViewportRect(r.in.left, r.in.top, r.in.right, r.in.bottom));
        RECT area;
        SaveDrawArea(&area);
        EXPECT_EQ(r.out.left, area.left);
        EXPECT_EQ(r.out.top, area.top);
        EXPECT_EQ(r.out.right, area.right);
        EXPECT_EQ(r.out.bottom, area.bottom);
        EXPECT_EQ(static_cast<float>(r.out.right), GetDrawState().drawAreaF[2]);
    }
}

TEST_F(DrawStateTest, OnTheFrontScreenOnlyWhatTheDesktopShowsIsDrawArea) {
    HWND window = GetMainHwnd();
    RECT frame, client;
    GetWindowRect(window, &frame);
    GetMainClientRectOnScreen(&client);
    const int desktopWidth = GetSystemMetrics(SM_CXSCREEN);
    struct Row {
        int clientX, clientY;  // where the client area's top-left corner is put on the desktop
        RECT area;             // the draw area that a whole-screen request then gives
    } rows[] = {
        {-100, -50, {100, 50, 640, 480}},
        {desktopWidth - 200, 0, {0, 0, 200, 480}},
        {0, 0, {0, 0, 640, 480}},
    };
    for (const Row& r : rows) {
        SetWindowPos(window, nullptr, frame.left + r.clientX - client.left, frame.top + r.clientY - client.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ProcessMessage();
        RECT moved;
        GetMainClientRectOnScreen(&moved);
        ASSERT_EQ(r.clientX, moved.left) << "the window did not move";
        ASSERT_EQ(0, SetTargetScreen(-4));
        ASSERT_EQ(0, SetViewportRect(0, 0, 640, 480));
        RECT area;
        SaveDrawArea(&area);
        EXPECT_EQ(r.area.left, area.left) << r.clientX << "," << r.clientY;
        EXPECT_EQ(r.area.top, area.top);
        EXPECT_EQ(r.area.right, area.right);
        EXPECT_EQ(r.area.bottom, area.bottom);
        ASSERT_EQ(0, SetTargetScreen(-2));
    }
}

TEST_F(DrawStateTest, AStaleTargetIsRefusedAndTheOldTargetStays) {
    SetCreateDrawValidGraph(1);
    const int target = CreateEmptyGraph(64, 48, 0);
    SetCreateDrawValidGraph(0);
    ASSERT_NE(-1, target);
    ASSERT_EQ(0, ReleaseGraph(target, 0));
    ASSERT_EQ(0, SetViewportRect(10, 20, 300, 200));

    for (int refused : {target, 5 /* a bare slot number of an empty slot */}) {
        EXPECT_EQ(-1, SetTargetScreen(refused));
        EXPECT_EQ(-2, GetTargetScreen());
        RECT area;
        SaveDrawArea(&area);
        EXPECT_EQ(10, area.left);
        EXPECT_EQ(300, area.right);
    }
    // Drawing still reaches the back screen.
    const int graph = MakePositionGraph(8, 8);
    ASSERT_NE(-1, graph);
    FillBackScreen(0);
    EXPECT_EQ(0, DrawGraphAt(40, 30, graph, 0));
    EXPECT_EQ(PositionColour(3, 2), ReadBackPixel(43, 32));
}

TEST_F(DrawStateTest, TargetsOfOneSizeKeepTheDrawAreaAndOthersResetIt) {
    SetCreateDrawValidGraph(1);
    const int first = CreateEmptyGraph(64, 64, 0);
    const int second = CreateEmptyGraph(64, 64, 0);
    const int wide = CreateEmptyGraph(128, 64, 0);
    SetCreateDrawValidGraph(0);
    ASSERT_NE(-1, first);
    ASSERT_NE(-1, second);
    ASSERT_NE(-1, wide);
    auto area = [] {
        RECT r;
        SaveDrawArea(&r);
        return r;
    };
    ASSERT_EQ(0, SetTargetScreen(first));
    EXPECT_EQ(64, area().right);
    ASSERT_EQ(0, SetViewportRect(10, 12, 30, 40));
    ASSERT_EQ(0, SetTargetScreen(second));
    EXPECT_EQ(10, area().left);
    EXPECT_EQ(12, area().top);
    EXPECT_EQ(30, area().right);
    EXPECT_EQ(40, area().bottom);
    ASSERT_EQ(0, SetTargetScreen(wide));
    EXPECT_EQ(0, area().left);
    EXPECT_EQ(128, area().right);
    EXPECT_EQ(64, area().bottom);
    ASSERT_EQ(0, SetTargetScreen(-2));
    EXPECT_EQ(640, area().right);
    EXPECT_EQ(480, area().bottom);
}

TEST_F(DrawStateTest, APartDrawNarrowsTheAreaOnlyForItself) {
    const int graph = MakePositionGraph(32, 24);
    ASSERT_NE(-1, graph);
    ASSERT_EQ(0, SetViewportRect(5, 7, 300, 200));
    const DrawState before = GetDrawState();
    struct Row {
        int x, y, srcX, srcY, w, h, turn;
    } rows[] = {
        {20, 30, 4, 5, 10, 8, 0},
        {20, 30, 4, 5, 10, 8, 1},
        {400, 300, 0, 0, 16, 16, 0},  // wholly outside the area
        {-50, 10, 0, 0, 16, 16, 1},
        {20, 30, 0, 0, -5, 8, 0},     // no width
    };
    for (const Row& r : rows) {
        DrawGraphPart(r.x, r.y, r.srcX, r.srcY, r.w, r.h, graph, 0, r.turn);
        const DrawState& after = GetDrawState();
        EXPECT_EQ(0, std::memcmp(&before.drawArea, &after.drawArea, sizeof(RECT))) << r.x << "," << r.y;
        EXPECT_EQ(0, std::memcmp(before.drawAreaF, after.drawAreaF, sizeof(before.drawAreaF)));
        EXPECT_EQ(before.areaEmpty, after.areaEmpty);
    }
}

TEST_F(DrawStateTest, ABlendGraphSmallerThanTheGraphRefusesTheDraw) {
    const int graph = MakePositionGraph(100, 50);
    const int smallBlend = MakePositionGraph(64, 64);
    const int largeBlend = MakePositionGraph(128, 128);
    ASSERT_NE(-1, graph);
    ASSERT_NE(-1, smallBlend);
    ASSERT_NE(-1, largeBlend);
    ASSERT_EQ(0, SetBlendGraph(smallBlend, 128, 255));
    EXPECT_EQ(-1, DrawGraphAt(10, 10, graph, 0));
    EXPECT_EQ(-1, DrawGraphStretched(10, 10, 200, 200, graph, 0));
    ASSERT_EQ(0, SetBlendGraph(largeBlend, 128, 255));
    EXPECT_EQ(0, DrawGraphAt(10, 10, graph, 0));
    // A blend graph released since is refused too; a bad handle is not taken at all.
    ASSERT_EQ(0, ReleaseGraph(largeBlend, 0));
    EXPECT_EQ(-1, DrawGraphAt(10, 10, graph, 0));
    EXPECT_EQ(-1, SetBlendGraph(largeBlend, 10, 10));
    EXPECT_EQ(largeBlend, GetDrawState().blendGraph);
    EXPECT_EQ(0, SetBlendGraph(-1, 0, 0));
    EXPECT_EQ(0, DrawGraphAt(10, 10, graph, 0));
}

// Software drawing lasts for the process, so this runs in a child: with the front screen as target every draw
// shows in the window at once, without presenting.
std::string CheckFrontScreenInSoftware() {
    SetSoftwareDrawRequest(1);
    if (StartRuntimeAsTheGame() != 0) return "start-up failed";
    if (SetTargetScreen(-4) != 0) return "target";
    if (ClearTargetScreen() != 0) return "clear";
    const int graph = MakePositionGraph(12, 10);
    if (graph == -1) return "graph";
    if (DrawGraphAt(30, 20, graph, 0) != 0) return "draw";
    HWND window = GetMainHwnd();
    std::string problem;
    for (int y = 18; y < 32; ++y) {
        for (int x = 28; x < 44; ++x) {
            const bool inside = x >= 30 && x < 42 && y >= 20 && y < 30;
            const uint32_t want = inside ? PositionColour(x - 30, y - 20) : 0;
            const uint32_t got = ReadWindowPixel(window, x, y);
            if (!ColorsClose(got, want, 8) && problem.empty()) {
                char text[64];
                snprintf(text, sizeof(text), "window (%d,%d) %06x, expected %06x", x, y, got, want);
                problem = text;
            }
        }
    }
    if (ShutDownLibrary() != 0 && problem.empty()) problem = "shutdown";
    return problem;
}

TEST(DrawFrontScreenSoftware, DrawsShowInTheWindowAtOnce) {
    EXPECT_EXIT(
        {
            DisplayWatchdog watchdog(120);
            const std::string problem = CheckFrontScreenInSoftware();
            fprintf(stderr, "%s\n", problem.c_str());
            fflush(stderr);
            ExitProcess(problem.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
