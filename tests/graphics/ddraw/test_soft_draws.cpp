// The software renderer's draws on the DirectDraw road against the same draws made by the rasterisers on software
// images: a 3-to-7 stretch, a rotated and a four-corner draw through the work surface, a clipped draw with a blend
// graph on both roads, a derived graph target cleared in place, and blended draws read back from the window.
#include "tests/graphics/test_draw_support.h"

#include <functional>
#include <string>
#include <vector>

#include "graphics/ddraw/blit2d.h"
#include "graphics/derive.h"
#include "graphics/draw.h"
#include "graphics/draw_state.h"
#include "graphics/graphics.h"
#include "runtime/window.h"
#include "softrender/softrender.h"

namespace {

constexpr uint32_t kBackground = 0x806040;
const RECT kArea = {0, 0, 200, 150};

// A software image of the position pattern (the graph's pixels as the renderer sees them), in the screen's
// colour depth: 32-bit on the DirectDraw road, the software screen's own depth in software mode.
int ScreenPixelType() {
    const DisplayState& s = GetDisplayState();
    return s.useMemImgScreens && s.backImage.pixelType == kMemImgColor16 ? kMemImgColor16 : kMemImgColor32;
}

struct Picture {
    MEMIMG image{};
    std::vector<uint8_t> pixels;
    int bytes;
    Picture(int w, int h, uint32_t (*colour)(int, int)) : bytes(ScreenPixelType() == kMemImgColor16 ? 2 : 4) {
        pixels.assign(static_cast<size_t>(w) * h * bytes, 0);
        image.pixels = pixels.data();
        InitMemImage(&image, w, h, w * bytes, 0, bytes == 2 ? kMemImgColor16 : kMemImgColor32, 0, 0, 0);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                uint32_t v = colour(x, y);
                if (bytes == 2) v = ((v >> 8) & 0xF800) | ((v >> 5) & 0x07E0) | ((v >> 3) & 0x1F);
                std::memcpy(pixels.data() + (y * w + x) * bytes, &v, bytes);
            }
        }
    }
    ~Picture() { ReleaseMemImage(&image); }
    uint32_t At(int x, int y) const {
        uint32_t v = 0;
        std::memcpy(&v, pixels.data() + (y * image.width + x) * bytes, bytes);
        if (bytes == 4) return v & 0xFFFFFF;
        return ((v >> 11) & 31) << 19 | ((v >> 5) & 63) << 10 | (v & 31) << 3;
    }
};

uint32_t Background(int, int) { return kBackground; }

// Draws with `draw` on the back screen, the same with `reference` into a software image of the area, and compares.
std::string DrawMatches(const std::function<int()>& draw, const std::function<void(MEMIMG*)>& reference,
                        SurfaceBlitRoute route) {
    FillBackScreen(kBackground);
    if (draw() != 0) return "the draw failed";
    if (route != kBlitRouteNone && GetSurfaceBlitState().route != route) {
        return "route " + std::to_string(GetSurfaceBlitState().route);
    }
    Picture expect(kArea.right, kArea.bottom, Background);
    reference(&expect.image);
    return CompareBackScreen(kArea, [&](int x, int y) { return expect.At(x, y); }, 0);
}

class SoftDrawsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetSoftwareRenderRequest(1);  // no Direct3D: graphs take the 2D path
        ASSERT_EQ(0, StartRuntimeInWindow());
        ASSERT_EQ(0, SetTargetScreen(-2));
        ASSERT_EQ(0, SetViewportRectImpl(kArea.left, kArea.top, kArea.right, kArea.bottom));
    }
    void TearDown() override {
        SetBlendModeImpl(0, 255);
        SetScreenBackgroundColor(0, 0, 0);
        EXPECT_EQ(0, ShutDownLibrary());
        SetUseSystemMemoryGraph(0);
    }
    DisplayWatchdog watchdog_{180};
};

TEST_F(SoftDrawsTest, StretchRotationAndFourCornersThroughTheWorkSurface) {
    const int narrow = MakePositionGraph(3, 5), graph = MakePositionGraph(16, 12);
    ASSERT_NE(-1, narrow);
    ASSERT_NE(-1, graph);
    Picture narrowPixels(3, 5, PositionColour), pixels(16, 12, PositionColour);
    // Blending reads the video-memory back surface, which takes the draw through the work surface.
    SetBlendModeImpl(1, 200);
    EXPECT_EQ("", DrawMatches([&] { return DrawGraphStretchedImpl(20, 30, 27, 40, narrow, 0); },
                              [&](MEMIMG* d) {
                                  const int corners[4] = {20, 30, 27, 40};
                                  SoftBlitScaled(d, &narrowPixels.image, corners, 0, nullptr);
                              },
                              kBlitRouteWorkSurface))
        << "3 wide drawn 7 wide";
    EXPECT_EQ("", DrawMatches([&] { return DrawGraphStretchedImpl(27, 30, 20, 40, narrow, 0); },
                              [&](MEMIMG* d) {
                                  const int corners[4] = {27, 30, 20, 40};
                                  SoftBlitScaled(d, &narrowPixels.image, corners, 0, nullptr);
                              },
                              kBlitRouteWorkSurface))
        << "the same mirrored";
    for (const float angle : {0.3f, 2.0f, -1.1f}) {
        EXPECT_EQ("", DrawMatches([&] { return DrawGraphRotatedImpl(60, 50, 1.7, angle, graph, 0, 0); },
                                  [&](MEMIMG* d) { SoftBlitRotated(d, &pixels.image, 60, 50, angle, 1.7f, 0, 0, nullptr); },
                                  kBlitRouteWorkSurface))
            << "rotated by " << angle;
    }
    EXPECT_EQ("", DrawMatches([&] { return DrawGraphRotatedImpl(60, 50, 1.7, 0.3, graph, 0, 1); },
                              [&](MEMIMG* d) { SoftBlitRotated(d, &pixels.image, 60, 50, 0.3f, 1.7f, 0, 1, nullptr); },
                              kBlitRouteWorkSurface))
        << "rotated and turned";
    EXPECT_EQ("", DrawMatches(
                      [&] { return DrawGraphFourPoints(100, 20, 140, 30, 130, 70, 95, 60, graph, 0); },
                      [&](MEMIMG* d) {
                          const SoftVertex p1 = {100, 20, 0, 0}, p2 = {140, 30, 16, 0}, p3 = {95, 60, 0, 12},
                                           p4 = {130, 70, 16, 12};
                          const SoftVertex a[3] = {p1, p2, p3}, b[3] = {p2, p3, p4};
                          SoftDrawTriangle(d, &pixels.image, a, 0, nullptr, 0);
                          SoftDrawTriangle(d, &pixels.image, b, 0, nullptr, 0);
                      },
                      kBlitRouteWorkSurface))
        << "four corners";
}

// The blend graph: black and white in an uneven pattern, so its grey is exact in either colour depth and a mask
// shifted against the source shows.
uint32_t BlendPattern(int x, int y) { return (x * 3 + y * 5 + x * y) % 7 < 3 ? 0xFFFFFFu : 0u; }

std::string CheckClippedBlendGraphDraw() {
    const int graph = MakePositionGraph(16, 12);
    GraphImage picture = MakeTestPicture(16, 12, BlendPattern);
    const int blend = MakeGraphFromGraphImage(&picture);
    ReleaseGraphImage(&picture);
    if (graph == -1 || blend == -1) return "graphs not made";
    if (SetBlendGraph(blend, 100, 80) != 0) return "blend graph refused";
    SetBlendModeImpl(1, 200);
    Picture pixels(16, 12, PositionColour);
    std::vector<uint8_t> grey(16 * 12);
    for (int i = 0; i < 16 * 12; ++i) grey[i] = static_cast<uint8_t>(BlendPattern(i % 16, i / 16) & 0xFF);
    MEMIMG mask{};
    mask.pixels = grey.data();
    InitMemImage(&mask, 16, 12, 16, 0, kMemImgChannel8, 0, 0, 0);
    // Clipped on the left and at the top: the mask must stay aligned with the source.
    const std::string problem = DrawMatches([&] { return DrawGraphAtImpl(-5, -3, graph, 0); },
                                            [&](MEMIMG* d) { SoftBlit(d, &pixels.image, -5, -3, 0, &mask); },
                                            kBlitRouteNone);
    ReleaseMemImage(&mask);
    SetBlendGraph(-1, 0, 0);
    SetBlendModeImpl(0, 255);
    return problem;
}

TEST_F(SoftDrawsTest, ClippedBlendGraphDrawOnTheDirectDrawRoad) {
    SetUseSystemMemoryGraph(1);  // the blend graph must be held in memory the renderer can read
    EXPECT_EQ("", CheckClippedBlendGraphDraw());
}

TEST(SoftDrawsInSoftware, ClippedBlendGraphDraw) {
    ExpectCheckPassesInChild([] {
        SetSoftwareDrawRequest(1);
        if (StartRuntimeInWindow() != 0) return std::string("start-up failed");
        SetTargetScreen(-2);
        SetViewportRectImpl(kArea.left, kArea.top, kArea.right, kArea.bottom);
        const std::string problem = CheckClippedBlendGraphDraw();
        ShutDownLibrary();
        return problem;
    });
}

TEST_F(SoftDrawsTest, DerivedTargetIsClearedInPlace) {
    SetUseSystemMemoryGraph(1);  // a software graph target
    const int parent = MakePositionGraph(40, 30);
    ASSERT_NE(-1, parent);
    const int child = DeriveSubGraphImpl(10, 6, 12, 8, parent);
    ASSERT_NE(-1, child);
    SetScreenBackgroundColor(0x10, 0x20, 0x30);
    ASSERT_EQ(0, SetTargetScreen(child));
    ASSERT_EQ(0, ClearTargetScreen());
    ASSERT_EQ(0, SetTargetScreen(-2));
    FillBackScreen(kBackground);
    ASSERT_EQ(0, DrawGraphAtImpl(0, 0, parent, 0));
    EXPECT_EQ("", CompareBackScreen(RECT{0, 0, 40, 30},
                                    [](int x, int y) {
                                        const bool cleared = x >= 10 && x < 22 && y >= 6 && y < 14;
                                        return cleared ? 0x102030u : PositionColour(x, y);
                                    },
                                    0));
}

// Blended draws presented to the window and read back from it, against the rasteriser on a software image.
TEST_F(SoftDrawsTest, BlendedDrawsShowInTheWindowExactly) {
    const int graph = MakePositionGraph(16, 12);
    ASSERT_NE(-1, graph);
    Picture pixels(16, 12, PositionColour);
    struct Row {
        int mode, p;
        int r, g, b;
    } rows[] = {{1, 128, 255, 255, 255}, {1, 77, 255, 255, 255}, {2, 200, 255, 255, 255}, {2, 255, 255, 255, 255},
                {3, 255, 255, 255, 255}, {3, 90, 255, 255, 255},  {4, 0, 255, 255, 255},   {0, 255, 200, 100, 50},
                {1, 200, 120, 255, 60}};
    for (const Row& r : rows) {
        SCOPED_TRACE("mode " + std::to_string(r.mode) + " p " + std::to_string(r.p));
        FillBackScreen(kBackground);
        SetBlendModeImpl(r.mode, r.p);
        SetDrawColorScaleImpl(r.r, r.g, r.b);
        ASSERT_EQ(0, DrawGraphAtImpl(30, 40, graph, 0));
        Picture expect(kArea.right, kArea.bottom, Background);
        SoftBlit(&expect.image, &pixels.image, 30, 40, 0, nullptr);
        SetBlendModeImpl(0, 255);
        SetDrawColorScaleImpl(255, 255, 255);
        // The window may take a moment to show what was presented: present again until it does (or give up).
        std::string problem;
        for (const DWORD start = GetTickCount(); GetTickCount() - start < 20000;) {
            ASSERT_EQ(0, PresentBackScreen2D());
            for (int i = 0; i < 3; ++i) ProcessMessage();
            problem.clear();
            int bad = 0;
            for (int y = 36; y < 56 && bad < 4; ++y) {
                for (int x = 26; x < 50 && bad < 4; ++x) {
                    const uint32_t got = ReadWindowPixel(GetMainHwnd(), x, y);
                    if (got != expect.At(x, y)) {
                        ++bad;
                        char text[80];
                        snprintf(text, sizeof(text), "(%d,%d) %06x want %06x; ", x, y, got, expect.At(x, y));
                        problem += text;
                    }
                }
            }
            if (problem.empty()) break;
            Sleep(50);
        }
        EXPECT_EQ("", problem);
    }
}

}  // namespace
