// The vertex batch and the state caches, watched through a seam on the device calls: no DrawPrimitive passes the
// vertex limit of its kind, a real state change sends the pending vertices exactly once, a repeated state sends
// nothing, and the blend set-up sends what the draw state and the graph's transparency call for.
#include "tests/graphics/d3d/test_d3d_support.h"

#include <numeric>

#include "graphics/d3d/d3d_draw.h"
#include "tests/graphics/d3d/test_d3d_counting_device.h"

namespace {

class D3DBatch : public Direct3DTest {};

std::vector<DWORD> DrawSizes(const CountingDevice& device, DeviceCall::Kind kind = DeviceCall::kDraw) {
    std::vector<DWORD> sizes;
    for (const DeviceCall& c : device.calls) {
        if (c.kind == kind) sizes.push_back(c.c);
    }
    return sizes;
}

TEST_F(D3DBatch, NoDrawPrimitivePassesTheCapacityOfItsKind) {
    const int graph = MakePatternGraph(8, 8);
    const int blend = MakeD3DGraph(8, 8, true, [](int, int) { return 0xFF808080u; });
    ASSERT_NE(graph, -1);
    ASSERT_NE(blend, -1);
    const int white = static_cast<int>(RgbToScreenPixelImpl(255, 255, 255));
    struct Case {
        const char* name;
        int capacity, perDraw;
        void (*setUp)(int blend);
        int (*draw)(int graph, int i, int colour);
    } cases[] = {
        {"textured quads", kVertexTexCapacity, 6, [](int) {},
         [](int g, int i, int) { return DrawGraph3D(static_cast<float>(i % 600), 10, GetGraphRecord(g), 1, 1); }},
        {"quads with a blend texture", kVertexBlendTexCapacity, 6,
         [](int b) {
             GetDrawState().blendGraph = b;
             SetBlendTexture3D(GetGraphRecord(b), 0, 1);
         },
         [](int g, int i, int) { return DrawGraph3D(static_cast<float>(i % 600), 10, GetGraphRecord(g), 1, 1); }},
        {"filled boxes", kVertexColorCapacity, 6, [](int) {},
         [](int, int i, int c) { return DrawBoxFilled3D(i % 600, 10, i % 600 + 4, 14, c); }},
        {"box outlines", kVertexColorCapacity, 8, [](int) {},
         [](int, int i, int c) { return DrawBoxOutline3D(i % 600, 10, i % 600 + 4, 14, c); }},
    };
    for (const Case& c : cases) {
        c.setUp(blend);
        ASSERT_EQ(c.draw(graph, 0, white), 0);  // states settle before counting
        SettleD3D();
        CountingDeviceScope seam;
        ASSERT_TRUE(seam.installed());
        const int draws = 1000;
        for (int i = 0; i < draws; ++i) ASSERT_EQ(c.draw(graph, i, white), 0) << c.name;
        SettleD3D();
        const std::vector<DWORD> sizes = DrawSizes(seam.device());
        const int perCall = c.capacity / c.perDraw;
        ASSERT_EQ(static_cast<int>(sizes.size()), (draws + perCall - 1) / perCall) << c.name;
        for (DWORD n : sizes) EXPECT_LE(static_cast<int>(n), c.capacity) << c.name;
        EXPECT_EQ(static_cast<int>(sizes[0]), perCall * c.perDraw) << c.name << ": the batch fills up before it is sent";
        EXPECT_EQ(std::accumulate(sizes.begin(), sizes.end(), 0u), static_cast<DWORD>(draws * c.perDraw)) << c.name;
        ResetD3DSettings();
    }
}

TEST_F(D3DBatch, AStateChangeFlushesOnceAndARepeatedStateSendsNothing) {
    const int graph = MakePatternGraph(8, 8);
    ASSERT_NE(graph, -1);
    const GraphRecord* g = GetGraphRecord(graph);
    ASSERT_EQ(DrawGraph3D(0, 0, g, 1, 1), 0);
    SettleD3D();
    CountingDeviceScope seam;
    const int index = GetCurrentDevice3DIndex();
    for (int i = 0; i < 10; ++i) ASSERT_EQ(DrawGraph3D(static_cast<float>(i * 10), 0, g, 1, 1), 0);
    EXPECT_EQ(seam->traffic(), 0) << "the same states again: vertices only";

    // Setting what is already set sends nothing and keeps the vertices pending.
    const Device3D* d = CurrentDevice3D();
    EXPECT_EQ(SetBlendMode3D(d->blendMode, d->alphaTest, d->alphaChannel, index), 0);
    EXPECT_EQ(SetCullMode3D(d->cullFlag, index), 0);
    EXPECT_EQ(SetZEnable3D(d->zEnable, index), 0);
    EXPECT_EQ(SetFilterModeDevice3D(d->filterMode, index), 0);
    EXPECT_EQ(SetShadeMode3D(d->shadeMode, index), 0);
    EXPECT_EQ(seam->traffic(), 0);
    EXPECT_EQ(d->batch.count, 60);

    // A real change: the 60 pending vertices go out once, before the first state reaches the device.
    seam->calls.clear();
    SetD3DBlend(1, 128);
    ASSERT_EQ(DrawGraph3D(100, 0, g, 1, 1), 0);
    ASSERT_EQ(seam->count(DeviceCall::kDraw), 1);
    EXPECT_EQ(seam->calls[0].kind, DeviceCall::kDraw) << "the flush comes before the new states";
    EXPECT_EQ(seam->calls[0].c, 60u);
    EXPECT_GT(seam->count(DeviceCall::kRenderState), 0);
    EXPECT_EQ(d->batch.count, 6);

    // A cached setter with a new value: one flush, one state; the same value again: nothing.
    seam->calls.clear();
    EXPECT_EQ(SetCullMode3D(1, index), 0);
    EXPECT_EQ(seam->count(DeviceCall::kDraw), 1);
    EXPECT_EQ(seam->count(DeviceCall::kRenderState), 1);
    EXPECT_EQ(SetCullMode3D(1, index), 0);
    EXPECT_EQ(seam->traffic(), 2);
    EXPECT_EQ(SetCullMode3D(0, index), 0);
    EXPECT_EQ(seam->count(DeviceCall::kDraw), 1) << "nothing was pending the second time";
}

TEST_F(D3DBatch, APureTextureChangeBindsOneStage) {
    const int a = MakePatternGraph(8, 8);
    const int b = MakePatternGraph(8, 8);
    ASSERT_NE(a, -1);
    ASSERT_NE(b, -1);
    ASSERT_EQ(DrawGraph3D(0, 0, GetGraphRecord(a), 1, 1), 0);
    SettleD3D();
    CountingDeviceScope seam;
    ASSERT_EQ(DrawGraph3D(0, 0, GetGraphRecord(a), 1, 1), 0);
    ASSERT_EQ(DrawGraph3D(10, 0, GetGraphRecord(b), 1, 1), 0);
    ASSERT_EQ(DrawGraph3D(20, 0, GetGraphRecord(b), 1, 1), 0);
    EXPECT_EQ(seam->count(DeviceCall::kTexture), 1);
    EXPECT_EQ(seam->count(DeviceCall::kDraw), 1);
    EXPECT_EQ(seam->count(DeviceCall::kRenderState) + seam->count(DeviceCall::kStageState), 0);
    EXPECT_EQ(CurrentDevice3D()->batch.count, 12);
}

TEST_F(D3DBatch, TransparencyAndBlendModeChooseTheAlphaStates) {
    const int graph = MakePatternGraph(16, 16);  // alpha test: a 1-bit alpha per texel
    ASSERT_NE(graph, -1);
    ASSERT_EQ(GetGraphRecord(graph)->creation[kCreateAlphaTest], 1);
    struct Case {
        const char* name;
        int mode, parameter, filter, stretched;
        int alphaTest, alphaRef, alphaFunc, alphaBlend, source, destination;
        uint32_t colourAlpha;
    } cases[] = {
        {"copy, unscaled: alpha test", 0, 255, 0, 0, 1, 16, D3DCMP_GREATER, 0, -1, -1, 0xFF},
        {"copy, stretched with bilinear filter: blended", 0, 255, 1, 1, 0, -1, -1, 1, D3DBLEND_SRCALPHA,
         D3DBLEND_INVSRCALPHA, 0xFF},
        {"alpha 128", 1, 128, 0, 0, 0, -1, -1, 1, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 0x80},
        {"add", 2, 200, 0, 0, 0, -1, -1, 1, D3DBLEND_SRCALPHA, D3DBLEND_ONE, 200},
        {"multiply", 4, 255, 0, 0, 0, -1, -1, 1, D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, 0xFF},
    };
    const Device3D* d = CurrentDevice3D();
    for (const Case& c : cases) {
        ResetD3DSettings();
        SetD3DBlend(c.mode, c.parameter);
        GetDrawState().filterMode = static_cast<unsigned int>(c.filter);
        SetTextureFilter3D(c.filter);
        const int result = c.stretched ? DrawGraphStretched3D(10, 10, 50, 50, GetGraphRecord(graph), 1, 1)
                                       : DrawGraph3D(10, 10, GetGraphRecord(graph), 1, 1);
        ASSERT_EQ(result, 0) << c.name;
        EXPECT_EQ(d->alphaTestEnable, c.alphaTest) << c.name;
        if (c.alphaRef != -1) {
            EXPECT_EQ(d->alphaRef, c.alphaRef) << c.name;
        }
        if (c.alphaFunc != -1) {
            EXPECT_EQ(d->alphaFunc, c.alphaFunc) << c.name;
        }
        EXPECT_EQ(d->alphaBlendEnable, c.alphaBlend) << c.name;
        if (c.source != -1) {
            EXPECT_EQ(d->srcBlend, c.source) << c.name;
        }
        if (c.destination != -1) {
            EXPECT_EQ(d->dstBlend, c.destination) << c.name;
        }
        EXPECT_EQ(GetDrawColor3D() >> 24, c.colourAlpha) << c.name;
        SettleD3D();
    }
}

TEST_F(D3DBatch, BlendGraphBorderBandsSetTheAlphaOperations) {
    const int blend = MakeD3DGraph(16, 16, true, [](int x, int) { return static_cast<uint32_t>(x * 16) << 24; });
    const int plain = MakePatternGraph(16, 16);
    const int withAlpha = MakeD3DGraph(16, 16, true, [](int x, int y) { return 0xFF000000u | PatternTexel(x, y); });
    ASSERT_NE(blend, -1);
    ASSERT_NE(plain, -1);
    ASSERT_NE(withAlpha, -1);
    GetDrawState().blendGraph = blend;
    struct Case {
        int border, level, graph;
        int stage0Alpha, factorAlpha, stage1Alpha;  // border > 1
        int alphaRef;                               // border <= 1
    } cases[] = {
        {64, 0, plain, D3DTOP_ADD, 64, D3DTOP_MODULATE4X, -1},
        {64, 128, plain, D3DTOP_SUBTRACT, 255 - 638 * 255 / 1024, D3DTOP_MODULATE4X, -1},
        {100, 128, plain, D3DTOP_SUBTRACT, 255 - 383 * 255 / 512, D3DTOP_MODULATE2X, -1},
        {200, 51, plain, D3DTOP_ADD, (410 - 256) * 255 / 256, D3DTOP_MODULATE, -1},
        {1, 0, withAlpha, -1, 0, -1, 1},
        {1, 0, plain, -1, 0, -1, 1},
        {0, 90, plain, -1, 0, -1, 90},
    };
    const Device3D* d = CurrentDevice3D();
    for (const Case& c : cases) {
        ASSERT_EQ(SetBlendTexture3D(GetGraphRecord(blend), c.level, c.border), 0);
        ASSERT_EQ(DrawGraph3D(10, 10, GetGraphRecord(c.graph), 1, 1), 0);
        EXPECT_EQ(d->batch.kind, kVertexKindBlendTex);
        if (c.border > 1) {
            EXPECT_EQ(d->alphaTestEnable, 0) << "border " << c.border << " level " << c.level;
            EXPECT_EQ(d->alphaBlendEnable, 1);
            EXPECT_EQ(d->stages[0].alphaOp, c.stage0Alpha) << "border " << c.border << " level " << c.level;
            EXPECT_EQ(static_cast<int>(d->textureFactor >> 24), c.factorAlpha) << "border " << c.border;
            EXPECT_EQ(d->textureFactor & 0xFFFFFF, 0xFFFFFFu);
            EXPECT_EQ(d->stages[1].alphaOp, c.stage1Alpha) << "border " << c.border;
        } else {
            EXPECT_EQ(d->alphaTestEnable, 1);
            EXPECT_EQ(d->alphaFunc, D3DCMP_GREATEREQUAL);
            EXPECT_EQ(d->alphaRef, c.alphaRef) << "level " << c.level;
            EXPECT_EQ(d->alphaBlendEnable, 0);
            EXPECT_EQ(d->textureFactor, 0x00FFFFFFu);
        }
        SettleD3D();
    }
}

TEST_F(D3DBatch, BlendGraphAtLevel255SendsNoVertices) {
    const int blend = MakeD3DGraph(16, 16, true, [](int, int) { return 0xFF000000u; });
    const int graph = MakePatternGraph(16, 16);
    ASSERT_NE(blend, -1);
    ASSERT_NE(graph, -1);
    GetDrawState().blendGraph = blend;
    ASSERT_EQ(SetBlendTexture3D(GetGraphRecord(blend), 255, 1), 0);
    ASSERT_EQ(DrawGraph3D(10, 10, GetGraphRecord(graph), 1, 1), 0);
    SettleD3D();
    CountingDeviceScope seam;
    for (int i = 0; i < 20; ++i) ASSERT_EQ(DrawGraph3D(static_cast<float>(i), 10, GetGraphRecord(graph), 1, 1), 0);
    ASSERT_EQ(DrawGraphQuad3D(0, 0, 20, 2, 1, 20, 22, 25, GetGraphRecord(graph), 1), 0);
    SettleD3D();
    EXPECT_EQ(seam->count(DeviceCall::kDraw), 0);
    // Level 254 draws again.
    ASSERT_EQ(SetBlendTexture3D(GetGraphRecord(blend), 254, 1), 0);
    ASSERT_EQ(DrawGraph3D(10, 10, GetGraphRecord(graph), 1, 1), 0);
    SettleD3D();
    EXPECT_EQ(seam->count(DeviceCall::kDraw), 1);
}

TEST_F(D3DBatch, VertexGridsSplitTheirIndicesAtOneThousand) {
    struct Case {
        int columns, rows;
        int result;
        std::vector<DWORD> indexCounts;
    } cases[] = {
        {2, 2, 0, {4}},
        {8, 8, 0, {7 * 16 + 6 * 2}},
        {249, 3, 0, {998}},       // two row pairs and their join fill 998 indices
        {250, 3, 0, {500, 500}},  // the second pair would reach index 1002: a new call
        {240, 4, 0, {962, 480}},
        {1, 5, -1, {}},
        {5, 1, -1, {}},
        {500, 2, -1, {}},  // one row pair alone passes the list
    };
    for (const Case& c : cases) {
        std::vector<VertexTex> grid(static_cast<size_t>(c.columns) * c.rows, VertexTex{0, 0, 0, 1, 0, 0, 0});
        SettleD3D();
        BeginScene3D(GetCurrentDevice3DIndex());
        CountingDeviceScope seam;
        EXPECT_EQ(DrawVertexGrid3D(grid.data(), c.columns, c.rows, GetCurrentDevice3DIndex()), c.result)
            << c.columns << "x" << c.rows;
        EXPECT_EQ(DrawSizes(seam.device(), DeviceCall::kDrawIndexed), c.indexCounts) << c.columns << "x" << c.rows;
    }
}

}  // namespace
