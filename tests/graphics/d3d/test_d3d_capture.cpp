// Copying the screen into texture graphs: exact pixels with and without alpha, over several pieces; the trial order
// of the five methods and the method remembered per alpha kind, watched through the method table; refused
// rectangles; the desktop read in a window; and the pixel routine that fills the bits no channel uses.
#include "tests/graphics/d3d/test_d3d_support.h"

#include <set>

#include "graphics/d3d/d3d_capture.h"

namespace {

class D3DCapture : public Direct3DTest {
protected:
    void SetUp() override {
        Direct3DTest::SetUp();
        std::memcpy(saved_, DrawScreenGraphFunctionTable(), sizeof(saved_));
        GetDirect3DState().screenCopyMethod[0] = GetDirect3DState().screenCopyMethod[1] = -1;
    }
    void TearDown() override {
        std::memcpy(DrawScreenGraphFunctionTable(), saved_, sizeof(saved_));
        Direct3DTest::TearDown();
    }

private:
    DrawScreenGraphFunction saved_[kScreenCopyMethodCount + 1];
};

// The number in the name of the method at a position of the trial order.
int MethodNumber(int position) {
    static const int numbers[kScreenCopyMethodCount] = {5, 1, 3, 2, 4};
    return numbers[position];
}

// A texture graph without alpha (no alpha channel and no alpha test: the plain kind of the copy), or with an
// alpha channel.
int MakeCaptureGraph(int width, int height, bool alpha) {
    SetGraphCreateFlag(0);
    const int graph = CreateGraphOrFail(width, height, 1, alpha ? 1 : 0, 0);
    SetGraphCreateFlag(1);
    return graph;
}

// Writes the position pattern into the whole back screen.
void PaintBackPattern() {
    SettleD3D();
    IDirectDrawSurface7* back = GetBackSurface();
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    ASSERT_TRUE(SUCCEEDED(back->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr)));
    const int bytes = static_cast<int>(desc.ddpfPixelFormat.dwRGBBitCount / 8);
    for (DWORD y = 0; y < desc.dwHeight; ++y) {
        uint8_t* row = static_cast<uint8_t*>(desc.lpSurface) + static_cast<size_t>(y) * desc.lPitch;
        for (DWORD x = 0; x < desc.dwWidth; ++x) {
            const uint32_t c = PatternTexel(static_cast<int>(x), static_cast<int>(y));
            const uint32_t v = RgbToScreenPixelImpl((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
            std::memcpy(row + static_cast<size_t>(x) * bytes, &v, bytes);
        }
    }
    back->Unlock(nullptr);
}

// The graph's texels (0xAARRGGBB) at graph position (x, y), read from its pieces' textures.
uint32_t GraphTexel(const GraphRecord* g, int x, int y) {
    for (int i = 0; i < g->pieceCount; ++i) {
        const Surface3D* p = GetSurface3D(g->pieces[i]);
        if (x < p->graphX || x >= p->graphX + p->width || y < p->graphY || y >= p->graphY + p->height) continue;
        const std::vector<uint32_t> one = ReadSurfaceRect(
            Surface3DTexture(p), RECT{p->dataX + x - p->graphX, p->dataY + y - p->graphY,
                                      p->dataX + x - p->graphX + 1, p->dataY + y - p->graphY + 1});
        return one.empty() ? 0xDEADBEEFu : one[0];
    }
    return 0xDEADBEEFu;
}

std::string CompareGraph(const GraphRecord* g, int x1, int y1, int width, int height, bool alpha) {
    std::string report;
    int differences = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t got = GraphTexel(g, x, y);
            const uint32_t want = PatternTexel(x1 + x, y1 + y) | (alpha ? 0xFF000000u : 0u);
            if ((alpha ? got : got & 0xFFFFFF) == want) continue;
            if (++differences <= 4) {
                char text[80];
                snprintf(text, sizeof(text), "(%d,%d) %08x, expected %08x; ", x, y, static_cast<unsigned>(got),
                         static_cast<unsigned>(want));
                report += text;
            }
        }
    }
    return report;
}

TEST_F(D3DCapture, ACaptureKeepsTheMethodThatWorkedAndDrawsBackTheSamePixels) {
    struct Case {
        const char* name;
        bool alpha;
        unsigned int textureLimit;  // 0: the device's own
    } cases[] = {
        {"plain graph", false, 0},
        {"graph with alpha", true, 0},
        {"plain graph of several pieces", false, 32},
        {"graph with alpha of several pieces", true, 32},
    };
    for (const Case& c : cases) {
        if (c.textureLimit != 0) LimitTextureSize(c.textureLimit);
        const int graph = MakeCaptureGraph(64, 48, c.alpha);
        ASSERT_NE(graph, -1) << c.name;
        const GraphRecord* g = GetGraphRecord(graph);
        PaintBackPattern();
        ASSERT_EQ(CopyScreenToGraph3D(10, 20, 74, 68, GetGraphRecord(graph), 1), 0) << c.name;
        EXPECT_EQ(CompareGraph(g, 10, 20, 64, 48, c.alpha), "") << c.name;
        EXPECT_NE(GetDirect3DState().screenCopyMethod[c.alpha ? 1 : 0], -1) << c.name;
        // Drawn back onto a cleared screen, the copy shows the same pixels where they were.
        FillBack(0x000000);
        ASSERT_EQ(DrawGraph3D(10, 20, g, 1, 1), 0);
        EXPECT_EQ(CompareBack(RECT{10, 20, 74, 68}, [](int x, int y) { return PatternTexel(x, y); }), "") << c.name;
        ReleaseGraphImpl(graph, 0);
    }
}

TEST_F(D3DCapture, EveryMethodCopiesTheScreenPixelsExactly) {
    const unsigned int deviceLimit = GetDirect3DState().maxTextureSize;
    for (int position = 0; position < kScreenCopyMethodCount; ++position) {
        const int method = MethodNumber(position);
        for (const bool alpha : {false, true}) {
            for (const unsigned int limit : {0u, 32u}) {
                LimitTextureSize(limit != 0 ? limit : deviceLimit);
                const int graph = MakeCaptureGraph(64, 48, alpha);
                ASSERT_NE(graph, -1);
                PaintBackPattern();
                EXPECT_EQ(DrawScreenGraphFunctionTable()[position](10, 20, 74, 68, GetGraphRecord(graph), 1), 0)
                    << "method " << method;
                // The alpha a GDI copy or a BltFast leaves is the card's; the converting methods make it opaque.
                const bool checkAlpha = alpha && (method == 3 || method == 4 || method == 5);
                EXPECT_EQ(CompareGraph(GetGraphRecord(graph), 10, 20, 64, 48, checkAlpha), "")
                    << "method " << method << (alpha ? ", with alpha" : "") << (limit ? ", several pieces" : "");
                ReleaseGraphImpl(graph, 0);
            }
        }
    }
}

// Methods that succeed or fail on demand and note the order in which they were tried.
struct MethodWatch {
    static inline std::vector<int> order;
    static inline std::set<int> failing;
    template <int Position>
    static int Method(int, int, int, int, GraphRecord*, int) {
        order.push_back(MethodNumber(Position));
        return failing.count(MethodNumber(Position)) ? -1 : 0;
    }
    static void Install() {
        DrawScreenGraphFunction* table = DrawScreenGraphFunctionTable();
        table[0] = Method<0>, table[1] = Method<1>, table[2] = Method<2>, table[3] = Method<3>, table[4] = Method<4>;
    }
};

TEST_F(D3DCapture, MethodsAreTriedInOrderAndTheOneThatWorkedIsRememberedPerAlphaKind) {
    const int plain = MakeCaptureGraph(32, 32, false);
    const int alpha = MakeCaptureGraph(32, 32, true);
    ASSERT_NE(plain, -1);
    ASSERT_NE(alpha, -1);
    MethodWatch::Install();
    const Direct3DState& s = GetDirect3DState();
    struct Step {
        const char* name;
        int graph;
        std::set<int> failing;
        std::vector<int> order;
        int result;
        int rememberedPlain, rememberedAlpha;
    } steps[] = {
        {"BltFast fails, GDI works: 5, 1, 3, then 2 is kept", plain, {5, 1, 3}, {5, 1, 3, 2}, 0, 3, -1},
        {"the kept method goes first", plain, {5, 1, 3}, {2}, 0, 3, -1},
        {"a graph with alpha keeps its own", alpha, {5}, {5, 1}, 0, 3, 1},
        {"and uses it next time", alpha, {5}, {1}, 0, 3, 1},
        {"a kept method that fails is dropped for the next that works", plain, {5, 2}, {2, 5, 1}, 0, 1, 1},
        {"all fail: nothing is kept", alpha, {1, 2, 3, 4, 5}, {1, 5, 1, 3, 2, 4}, -1, 1, -1},
    };
    for (const Step& step : steps) {
        MethodWatch::order.clear();
        MethodWatch::failing = step.failing;
        EXPECT_EQ(CopyScreenToGraph3D(0, 0, 32, 32, GetGraphRecord(step.graph), 1), step.result) << step.name;
        EXPECT_EQ(MethodWatch::order, step.order) << step.name;
        EXPECT_EQ(s.screenCopyMethod[0], step.rememberedPlain) << step.name;
        EXPECT_EQ(s.screenCopyMethod[1], step.rememberedAlpha) << step.name;
    }
}

TEST_F(D3DCapture, ARectangleWiderThanTheGraphFailsInEveryMethod) {
    const int graph = MakeCaptureGraph(32, 32, false);
    ASSERT_NE(graph, -1);
    GraphRecord* g = GetGraphRecord(graph);
    for (int i = 0; i < kScreenCopyMethodCount; ++i) {
        EXPECT_EQ(DrawScreenGraphFunctionTable()[i](0, 0, 40, 32, g, 1), -1) << "method at position " << i;
        EXPECT_EQ(DrawScreenGraphFunctionTable()[i](-1, 0, 31, 32, g, 1), -1) << "method at position " << i;
        EXPECT_EQ(DrawScreenGraphFunctionTable()[i](5, 5, 5, 20, g, 1), -1) << "method at position " << i;
    }
    ASSERT_EQ(CopyScreenToGraph3D(0, 0, 32, 32, g, 1), 0);
    ASSERT_NE(GetDirect3DState().screenCopyMethod[0], -1);
    EXPECT_EQ(CopyScreenToGraph3D(0, 0, 40, 32, g, 1), -1);
    EXPECT_EQ(GetDirect3DState().screenCopyMethod[0], -1);
}

TEST_F(D3DCapture, InAWindowTheFrontScreenIsReadFromTheDesktop) {
    const int graph = CreateGraphOrFail(32, 32, 1, 0, 0);
    ASSERT_NE(graph, -1);
    GraphRecord* g = GetGraphRecord(graph);
    ASSERT_EQ(SetTargetScreenImpl(-4), 0);
    GetDrawState().target = -4;
    ASSERT_EQ(SelectDrawTarget3D(-4), 0);
    const int desktopWidth = GetSystemMetrics(SM_CXSCREEN);
    ASSERT_GT(desktopWidth, 700) << "the desktop must be wider than the screen for this test";
    // Without the desktop flag the source is the desktop: the surface copy refuses, the others reach past the
    // window's 640 pixels.
    EXPECT_EQ(G_D3D_GetDrawScreenGraphFunction5(0, 0, 32, 32, g, 0), -1);
    EXPECT_EQ(G_D3D_GetDrawScreenGraphFunction2(700, 0, 732, 32, g, 0), 0);
    EXPECT_EQ(G_D3D_GetDrawScreenGraphFunction2(700, 0, 732, 32, g, 1), -1) << "the screen is 640 pixels wide";
    UseBackScreenD3D();
}

TEST(D3DUnusedBits, TheValueGoesIntoTheBitsOfNoChannel) {
    struct Case {
        const char* name;
        int bits;
        uint32_t r, g, b, a;
        uint32_t value;
        uint32_t pixelBefore, pixelAfter;
    } cases[] = {
        {"X1R5G5B5", 16, 0x7C00, 0x3E0, 0x1F, 0, 1, 0x1234, 0x9234},
        {"X8R8G8B8: the value's low byte", 32, 0xFF0000, 0xFF00, 0xFF, 0, 0x1A5, 0x00123456, 0xA5123456},
        {"R5G6B5 has no such bits", 16, 0xF800, 0x7E0, 0x1F, 0, 1, 0x1234, 0x1234},
        {"A8R8G8B8 has no such bits", 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, 0xFF, 0x00123456, 0x00123456},
        {"X4R4G4B4: only the none bits", 16, 0xF00, 0xF0, 0xF, 0, 0xFF, 0x0123, 0xF123},
    };
    for (const Case& c : cases) {
        ColorFormat format;
        std::memset(&format, 0, sizeof(format));
        SetColorFormatFromMasksImpl(&format, c.bits, c.r, c.g, c.b, c.a);
        const int bytes = c.bits / 8;
        uint8_t pixels[4 * 4 * 4];
        for (int i = 0; i < 16; ++i) std::memcpy(pixels + i * bytes, &c.pixelBefore, bytes);
        const RECT reversed = {3, 2, 1, 0};  // corners in any order: columns 1..2, rows 0..1
        EXPECT_EQ(FillUnusedPixelBits(&reversed, pixels, 4 * bytes, &format, c.value), 0);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 4; ++x) {
                uint32_t v = 0;
                std::memcpy(&v, pixels + (y * 4 + x) * bytes, bytes);
                const bool inside = x >= 1 && x < 3 && y < 2;
                EXPECT_EQ(v, inside ? c.pixelAfter : c.pixelBefore) << c.name << " at " << x << "," << y;
            }
        }
    }
}

}  // namespace
