// Blending on the Direct3D path read back from a known background: the blend modes, the colour scale, texel alpha,
// transparent texels by alpha test and by colour key, and the blend graph's threshold.
#include "tests/graphics/d3d/test_d3d_support.h"

#include <algorithm>
#include <cmath>

#include "graphics/d3d/d3d_draw.h"

namespace {

constexpr uint32_t kBackground = 0x406080;
constexpr uint32_t kSource = 0xC08020;

class D3DBlend : public Direct3DTest {};

uint32_t Channel(uint32_t c, int shift) { return (c >> shift) & 0xFF; }

// Applies f to each channel of the source and the background.
template <typename Fn>
uint32_t PerChannel(uint32_t s, uint32_t d, Fn f) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double v = f(Channel(s, shift) / 255.0, Channel(d, shift) / 255.0);
        const int c = static_cast<int>(std::lround(std::min(1.0, std::max(0.0, v)) * 255.0));
        out |= static_cast<uint32_t>(c) << shift;
    }
    return out;
}

// The subtract of the draw entries: invert the destination with a white box, add the graph, invert back.
void DrawSubtracted(const GraphRecord* g, int x, int y, int parameter) {
    const int white = static_cast<int>(RgbToScreenPixelImpl(255, 255, 255));
    SetD3DBlend(3, 255);
    DrawBoxFilled3D(x, y, x + g->width, y + g->height, white);
    SetD3DBlend(5, parameter);
    DrawGraph3D(static_cast<float>(x), static_cast<float>(y), g, 1, 1);
    SetD3DBlend(3, 255);
    DrawBoxFilled3D(x, y, x + g->width, y + g->height, white);
}

TEST_F(D3DBlend, ModesAndColourScaleOnAKnownBackground) {
    const int graph = MakeD3DGraph(32, 32, false, [](int, int) { return kSource; });
    ASSERT_NE(graph, -1);
    const GraphRecord* g = GetGraphRecord(graph);
    const double a = 128 / 255.0;
    struct Case {
        const char* name;
        int mode, parameter;
        uint32_t scale;
        uint32_t expected;
    } cases[] = {
        {"copy", 0, 77, 0xFFFFFF, kSource},
        {"alpha", 1, 128, 0xFFFFFF, PerChannel(kSource, kBackground, [&](double s, double d) { return s * a + d * (1 - a); })},
        {"add", 2, 128, 0xFFFFFF, PerChannel(kSource, kBackground, [&](double s, double d) { return d + s * a; })},
        {"subtract", -1, 128, 0xFFFFFF, PerChannel(kSource, kBackground, [&](double s, double d) { return d - s * a; })},
        {"multiply", 4, 255, 0xFFFFFF, PerChannel(kSource, kBackground, [](double s, double d) { return d * s; })},
        {"colour scale", 0, 255, 0x80C0FF,
         PerChannel(kSource, 0x80C0FF, [](double s, double scale) { return s * scale; })},
        {"alpha with colour scale", 1, 128, 0x80C0FF,
         PerChannel(PerChannel(kSource, 0x80C0FF, [](double s, double scale) { return s * scale; }), kBackground,
                    [&](double s, double d) { return s * a + d * (1 - a); })},
    };
    for (const Case& c : cases) {
        FillBack(kBackground);
        SetD3DColorScale(c.scale);
        if (c.mode == -1) {
            DrawSubtracted(g, 40, 40, c.parameter);
        } else {
            SetD3DBlend(c.mode, c.parameter);
            ASSERT_EQ(DrawGraph3D(40, 40, g, 1, 1), 0) << c.name;
        }
        EXPECT_EQ(CompareBack(RECT{30, 30, 80, 80},
                              [&](int x, int y) {
                                  return (x >= 40 && x < 72 && y >= 40 && y < 72) ? c.expected : kBackground;
                              },
                              2),
                  "")
            << c.name;
        SetD3DBlend(0, 255);
        SetD3DColorScale(0xFFFFFF);
    }
}

TEST_F(D3DBlend, TexelAlphaBlendsInCopyMode) {
    const int graph = MakeD3DGraph(16, 16, true, [](int x, int) { return (x < 8 ? 0x40000000u : 0xFF000000u) | kSource; });
    ASSERT_NE(graph, -1);
    FillBack(kBackground);
    ASSERT_EQ(DrawGraph3D(20, 20, GetGraphRecord(graph), 1, 1), 0);
    const double a = 0x40 / 255.0;
    const uint32_t blended = PerChannel(kSource, kBackground, [&](double s, double d) { return s * a + d * (1 - a); });
    EXPECT_EQ(CompareBack(RECT{20, 20, 36, 36}, [&](int x, int) { return x < 28 ? blended : kSource; }, 2), "");
    // Without the transparency flag the texels are copied as they are.
    FillBack(kBackground);
    ASSERT_EQ(DrawGraph3D(20, 20, GetGraphRecord(graph), 0, 1), 0);
    EXPECT_EQ(CompareBack(RECT{20, 20, 36, 36}, [&](int, int) { return kSource; }, 0), "");
}

TEST_F(D3DBlend, TransparentTexelsLeaveTheBackground) {
    // Black is the transparent colour; it lies on a checker of 4-texel squares.
    auto checker = [](int x, int y) { return ((x / 4 + y / 4) % 2 == 0) ? 0x000000u : PatternTexel(x, y); };
    struct Case {
        const char* name;
        int alphaTestSetting;  // 1: the texels carry a 1-bit alpha; 0: the texture carries a colour key
    } cases[] = {{"alpha test", 1}, {"colour key", 0}};
    for (const Case& c : cases) {
        SetGraphCreateFlag(c.alphaTestSetting);
        const int graph = MakeD3DGraph(32, 32, false, checker);
        SetGraphCreateFlag(1);
        ASSERT_NE(graph, -1) << c.name;
        const GraphRecord* g = GetGraphRecord(graph);
        ASSERT_EQ(g->creation[kCreateAlphaTest], c.alphaTestSetting) << c.name;
        FillBack(kBackground);
        ASSERT_EQ(DrawGraph3D(50, 60, g, 1, 1), 0);
        EXPECT_EQ(CompareBack(RECT{50, 60, 82, 92},
                              [&](int x, int y) {
                                  const uint32_t t = checker(x - 50, y - 60);
                                  return t == 0 ? kBackground : t;
                              }),
                  "")
            << c.name;
        // Without the transparency flag the transparent colour is drawn too.
        FillBack(kBackground);
        ASSERT_EQ(DrawGraph3D(50, 60, g, 0, 1), 0);
        EXPECT_EQ(CompareBack(RECT{50, 60, 82, 92}, [&](int x, int y) { return checker(x - 50, y - 60); }), "")
            << c.name;
    }
}

TEST_F(D3DBlend, BlendGraphCutsAtItsThreshold) {
    // The blend graph's alpha rises by 4 per column: 0, 4, ..., 252.
    const int blend = MakeD3DGraph(64, 64, true, [](int x, int) { return static_cast<uint32_t>(x * 4) << 24 | 0x808080; });
    const int graph = MakePatternGraph(64, 64);
    ASSERT_NE(blend, -1);
    ASSERT_NE(graph, -1);
    GetDrawState().blendGraph = blend;
    struct Case {
        int level;
        int firstDrawnColumn;  // 64: none
    } cases[] = {{128, 32}, {200, 50}, {0, 1}, {255, 64}};
    for (const Case& c : cases) {
        ASSERT_EQ(SetBlendTexture3D(GetGraphRecord(blend), c.level, 1), 0);
        FillBack(kBackground);
        ASSERT_EQ(DrawGraph3D(100, 100, GetGraphRecord(graph), 1, 1), 0);
        EXPECT_EQ(CompareBack(RECT{100, 100, 164, 164},
                              [&](int x, int y) {
                                  return x - 100 >= c.firstDrawnColumn ? PatternTexel(x - 100, y - 100) : kBackground;
                              }),
                  "")
            << "level " << c.level;
    }
}

}  // namespace
