// The draw entries on the Direct3D road the game takes: where every entry puts the pixels of an asymmetric graph
// (each pixel's colour tells its position in the graph), blend modes and colour scale on a known background with
// subtract drawn as invert-add-invert and the state put back afterwards, and setters that send nothing to the
// device when the value does not change.
#include "tests/graphics/test_draw_support.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "graphics/draw_state.h"
#include "graphics/graphics.h"
#include "tests/graphics/test_draw_device_seam.h"

namespace {

constexpr uint32_t kBackground = 0x806040;
constexpr uint32_t kClearColour = 0x2050A0;
constexpr int kGW = 16, kGH = 12;  // the fixture graph: wider than high, no symmetry
constexpr double kQuarterTurn = 1.5707963267948966;

class DrawEntriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, StartRuntimeAsTheGame());
        ASSERT_EQ(0, SetTargetScreen(-2));
        ASSERT_EQ(1, Is3DPathUp()) << "the Direct3D road did not start";
        graph_ = MakePositionGraph(kGW, kGH);
        ASSERT_NE(-1, graph_);
        ASSERT_EQ(1, GetGraphRecord(graph_)->creation[0]) << "the graph is not stored as textures";
    }
    void TearDown() override { EXPECT_EQ(0, ShutDownLibrary()); }
    int graph_ = -1;
    DisplayWatchdog watchdog_{180};
};

// Expected colour of a pixel: the pattern at graph position (gx, gy), or the background outside the graph.
uint32_t Pattern(int gx, int gy) {
    if (gx < 0 || gy < 0 || gx >= kGW || gy >= kGH) return kBackground;
    return PositionColour(gx, gy);
}

struct PositionCase {
    const char* name;
    std::function<int()> draw;
    RECT around;  // compared pixel by pixel; the drawing lies inside with a margin of background
    std::function<uint32_t(int, int)> expected;
};

// Every graph entry, the rectangles and the clear, with where each leaves its pixels.
// soft: the software renderer's rotation, which samples at the pixel's corner and so lands one column further
// right than the Direct3D road's.
std::vector<PositionCase> PositionCases(int g, bool soft) {
    const int r = soft ? 1 : 0;
    return {
        {"at a point", [g] { return DrawGraphAt(100, 50, g, 0); }, {96, 46, 120, 66},
         [](int x, int y) { return Pattern(x - 100, y - 50); }},
        {"part", [g] { return DrawGraphPart(100, 50, 3, 2, 7, 5, g, 0, 0); }, {94, 44, 116, 62},
         [](int x, int y) {
             if (x < 100 || x >= 107 || y < 50 || y >= 55) return kBackground;
             return Pattern(x - 100 + 3, y - 50 + 2);
         }},
        {"part turned", [g] { return DrawGraphPart(100, 50, 3, 2, 7, 5, g, 0, 1); }, {94, 44, 116, 62},
         [](int x, int y) {
             if (x < 100 || x >= 107 || y < 50 || y >= 55) return kBackground;
             return Pattern(3 + 6 - (x - 100), y - 50 + 2);
         }},
        {"mirrored", [g] { return DrawGraphMirrored(100, 50, g, 0); }, {96, 46, 120, 66},
         [](int x, int y) {
             if (x < 100 || x >= 116) return kBackground;
             return Pattern(kGW - 1 - (x - 100), y - 50);
         }},
        {"stretched with both corners reversed", [g] { return DrawGraphStretched(116, 62, 100, 50, g, 0); },
         {96, 46, 120, 66},
         [](int x, int y) {
             if (x < 100 || x >= 116 || y < 50 || y >= 62) return kBackground;
             return Pattern(kGW - 1 - (x - 100), kGH - 1 - (y - 50));
         }},
        {"stretched to twice the size", [g] { return DrawGraphStretched(100, 50, 132, 74, g, 0); },
         {96, 46, 136, 78},
         [](int x, int y) {
             if (x < 100 || y < 50) return kBackground;
             return Pattern((x - 100) / 2, (y - 50) / 2);
         }},
        {"part stretched to twice its size",
         [g] { return DrawGraphStretchedPart(100, 50, 114, 60, 3, 2, 7, 5, g, 0); }, {94, 44, 120, 66},
         [](int x, int y) {
             if (x < 100 || x >= 114 || y < 50 || y >= 60) return kBackground;
             return Pattern(3 + (x - 100) / 2, 2 + (y - 50) / 2);
         }},
        {"part stretched and mirrored by reversed corners",
         [g] { return DrawGraphStretchedPart(114, 50, 100, 60, 3, 2, 7, 5, g, 0); }, {94, 44, 120, 66},
         [](int x, int y) {
             if (x < 100 || x >= 114 || y < 50 || y >= 60) return kBackground;
             return Pattern(3 + 6 - (x - 100) / 2, 2 + (y - 50) / 2);
         }},
        {"rotated a quarter turn", [g] { return DrawGraphRotated(200, 100, 1.0, kQuarterTurn, g, 0, 0); },
         {190, 88, 210, 112},
         [r](int x, int y) {
             // The graph's rows become columns: its top edge lies on the right.
             if (x < 194 + r || x > 205 + r || y < 92 || y > 107) return kBackground;
             return Pattern(y - 92, 205 + r - x);
         }},
        {"rotated a quarter turn and turned over", [g] { return DrawGraphRotated(200, 100, 1.0, kQuarterTurn, g, 0, 1); },
         {190, 88, 210, 112},
         [r](int x, int y) {
             // In software the mirrored quad is two triangles whose texel column 0 falls on the bottom row, which a
             // triangle leaves out.
             if (x < 194 + r || x > 205 + r || y < 92 + r || y > 107) return kBackground;
             return Pattern(107 + r - y, 205 + r - x);
         }},
        {"four points a quarter turn on", [g] {
             // Clockwise: the graph's top-left, top-right, bottom-right and bottom-left corners.
             return DrawGraphFourPoints(211.5f, 49.5f, 211.5f, 65.5f, 199.5f, 65.5f, 199.5f, 49.5f, g, 0);
         },
         {196, 46, 216, 70},
         [r](int x, int y) {
             // The software triangles take the truncated corners at pixel centres: one row higher.
             if (x < 200 || x >= 212 || y < 50 - r || y >= 66 - r) return kBackground;
             return Pattern(y - 50 + r, 211 - x);
         }},
            {"filled rectangle", [] { return DrawRectangle(100, 50, 110, 56, RgbToScreenPixel(0x10, 0xE0, 0x30), 1); },
         {96, 46, 114, 60},
         [](int x, int y) { return x >= 100 && x < 110 && y >= 50 && y < 56 ? 0x10E030u : kBackground; }},
        {"rectangle outline", [] { return DrawRectangle(100, 50, 110, 56, RgbToScreenPixel(0x10, 0xE0, 0x30), 0); },
         {96, 46, 114, 60},
         [](int x, int y) {
             const bool inside = x >= 100 && x < 110 && y >= 50 && y < 56;
             const bool edge = x == 100 || x == 109 || y == 50 || y == 55;
             return inside && edge ? 0x10E030u : kBackground;
         }},
        {"clear", [] { return ClearTargetScreen(); }, {0, 0, 40, 30}, [](int, int) { return kClearColour; }},
    };
}

// Runs the table on whatever road the runtime was started on; the first problem, or "".
std::string CheckPositionTable(int graph, int tolerance, bool soft) {
    for (const PositionCase& c : PositionCases(graph, soft)) {
        FillBackScreen(kBackground);
        if (c.draw() != 0) return std::string(c.name) + ": the draw failed";
        const std::string problem = CompareBackScreen(c.around, c.expected, tolerance);
        if (!problem.empty()) return std::string(c.name) + ": " + problem;
    }
    return "";
}

TEST_F(DrawEntriesTest, EveryEntryPutsTheGraphWhereItBelongs) {
    SetScreenBackgroundColor(kClearColour >> 16, (kClearColour >> 8) & 0xFF, kClearColour & 0xFF);
    EXPECT_EQ("", CheckPositionTable(graph_, 8, false));
    SetScreenBackgroundColor(0, 0, 0);
}

// The same table on the DirectDraw road, with graphs in video memory and then in system memory, where every entry
// but the plain copy is drawn by the software renderer on locked surfaces: exact colours.
TEST(DrawEntriesOn2DRoad, EveryEntryPutsTheGraphWhereItBelongs) {
    DisplayWatchdog watchdog(180);
    SetSoftwareRenderRequest(1);  // no Direct3D: graphs take the 2D path
    ASSERT_EQ(0, StartRuntimeInWindow());
    ASSERT_EQ(0, SetTargetScreen(-2));
    SetScreenBackgroundColor(kClearColour >> 16, (kClearColour >> 8) & 0xFF, kClearColour & 0xFF);
    const int video = MakePositionGraph(kGW, kGH);
    ASSERT_NE(-1, video);
    EXPECT_EQ("", CheckPositionTable(video, 0, true)) << "video memory";
    SetUseSystemMemoryGraph(1);
    const int system = MakePositionGraph(kGW, kGH);
    ASSERT_NE(-1, system);
    EXPECT_EQ("", CheckPositionTable(system, 0, true)) << "system memory";
    EXPECT_EQ(0, ShutDownLibrary());
    SetScreenBackgroundColor(0, 0, 0);
    SetUseSystemMemoryGraph(0);  // taken back once DirectDraw is down, for the tests after this one
}

// And in software mode, which lasts for the process.
TEST(DrawEntriesInSoftware, EveryEntryPutsTheGraphWhereItBelongs) {
    ExpectCheckPassesInChild([] {
        SetSoftwareDrawRequest(1);
        if (StartRuntimeInWindow() != 0) return std::string("start-up failed");
        if (SetTargetScreen(-2) != 0) return std::string("no back screen");
        SetScreenBackgroundColor(kClearColour >> 16, (kClearColour >> 8) & 0xFF, kClearColour & 0xFF);
        const int graph = MakePositionGraph(kGW, kGH);
        if (graph == -1) return std::string("no graph");
        const std::string problem = CheckPositionTable(graph, 0, true);
        ShutDownLibrary();
        return problem;
    });
}

// Per-channel blend of a source colour onto the background as the blend modes define it.
uint32_t Blend(int mode, uint32_t src, uint32_t dst, int parameter, uint32_t scale) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int s = static_cast<int>((src >> shift) & 0xFF) * static_cast<int>((scale >> shift) & 0xFF) / 255;
        const int d = static_cast<int>((dst >> shift) & 0xFF);
        int v = 0;
        switch (mode) {
            case 0: v = s; break;
            case 1: v = d + (s - d) * parameter / 255; break;
            case 2: v = std::min(255, d + s * parameter / 255); break;
            case 3: v = std::max(0, d - s * parameter / 255); break;
            case 4: v = d * s / 255; break;
        }
        out |= static_cast<uint32_t>(v) << shift;
    }
    return out;
}

TEST_F(DrawEntriesTest, BlendModesAndColourScaleOnAKnownBackground) {
    struct Row {
        int mode, parameter;
        int r, g, b;  // colour scale
    } rows[] = {
        {0, 255, 255, 255, 255}, {1, 128, 255, 255, 255}, {2, 160, 255, 255, 255}, {3, 200, 255, 255, 255},
        {4, 255, 255, 255, 255}, {0, 255, 128, 255, 64},  {3, 255, 255, 128, 255}, {1, 90, 200, 100, 255},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE("mode " + std::to_string(r.mode) + " parameter " + std::to_string(r.parameter));
        FillBackScreen(kBackground);
        ASSERT_EQ(0, SetDrawColorScale(r.r, r.g, r.b));
        ASSERT_EQ(0, SetBlendMode(r.mode, r.parameter));
        EXPECT_EQ(0, DrawGraphAt(100, 50, graph_, 0));
        // What the draw left in the state is what was set, also after subtract's detour through other modes.
        int mode = -1, parameter = -1, red = -1, green = -1, blue = -1;
        GetBlendModeImpl(&mode, &parameter);
        GetDrawColorScale(&red, &green, &blue);
        EXPECT_EQ(r.mode, mode);
        EXPECT_EQ(r.parameter, parameter);
        EXPECT_EQ(r.r, red);
        EXPECT_EQ(r.g, green);
        EXPECT_EQ(r.b, blue);
        const uint32_t scale = static_cast<uint32_t>(r.r) << 16 | static_cast<uint32_t>(r.g) << 8 | r.b;
        EXPECT_EQ("", CompareBackScreen(RECT{96, 46, 120, 66},
                                        [&](int x, int y) {
                                            const uint32_t p = Pattern(x - 100, y - 50);
                                            if (x < 100 || y < 50 || x >= 116 || y >= 62) return p;
                                            return Blend(r.mode, p, kBackground, r.parameter, scale);
                                        },
                                        3));
    }
    SetDrawColorScale(255, 255, 255);

    // A filled rectangle subtracts too, and only inside itself.
    FillBackScreen(kBackground);
    SetBlendMode(3, 255);
    EXPECT_EQ(0, DrawRectangle(30, 40, 50, 45, RgbToScreenPixel(0x30, 0x70, 0x10), 1));
    EXPECT_EQ("", CompareBackScreen(RECT{28, 38, 52, 47},
                                    [](int x, int y) {
                                        if (x < 30 || x >= 50 || y < 40 || y >= 45) return kBackground;
                                        return 0x500030u;
                                    },
                                    3));
    SetBlendMode(0, 255);
}

TEST_F(DrawEntriesTest, SettingWhatIsAlreadySetSendsNothingToTheDevice) {
    const int blend = MakePositionGraph(32, 32);
    ASSERT_NE(-1, blend);
    DeviceCallCounter seam(GetCurrentDevice3D());
    ASSERT_TRUE(seam.attached());
    struct Row {
        const char* name;
        std::function<int()> set;
        bool firstSends;  // the first call changes something the device holds
    } rows[] = {
        {"filter mode", [] { return SetDrawFilterMode(1); }, true},
        {"filter mode back", [] { return SetDrawFilterMode(0); }, true},
        {"draw area", [] { return SetViewportRect(10, 20, 300, 200); }, true},
        {"blend graph", [blend] { return SetBlendGraph(blend, 64, 1); }, false},  // bound at the next draw
        {"no blend graph", [] { return SetBlendGraph(-1, 0, 0); }, false},
        {"blend mode", [] { return SetBlendMode(1, 300); }, false},
        {"colour scale", [] { return SetDrawColorScale(10, -3, 400); }, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        seam.Reset();
        EXPECT_EQ(0, r.set());
        if (r.firstSends) {
            EXPECT_GT(seam.total(), 0);
        }
        seam.Reset();
        EXPECT_EQ(0, r.set());
        EXPECT_EQ(0, seam.total());
    }
    // Two draws under unchanged settings go out as one batch: no state is sent between them.
    SetViewportRect(0, 0, 640, 480);
    SetBlendMode(1, 128);
    DrawGraphAt(10, 10, graph_, 0);
    SettleDrawing();
    seam.Reset();
    DrawGraphAt(10, 10, graph_, 0);
    DrawGraphAt(40, 10, graph_, 0);
    SettleDrawing();
    EXPECT_EQ(0, seam.count(DeviceCallCounter::kSetRenderState));
    EXPECT_EQ(0, seam.count(DeviceCallCounter::kSetTextureStageState));
    EXPECT_EQ(1, seam.count(DeviceCallCounter::kDrawPrimitive));
}

}  // namespace
