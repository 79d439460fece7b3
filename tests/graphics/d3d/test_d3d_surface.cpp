// Graphs as grids of power-of-two textures: the split of a length into piece sizes (a table and a sweep), the
// pieces of a graph with their corner vertices, refusals and failures that must leave no piece behind, derived
// graphs that share their parent's textures, and uploads of images that do not cover the graph.
#include "tests/graphics/d3d/test_d3d_support.h"

#include <numeric>
#include <utility>

#include "graphics/surface_data.h"

namespace {

class D3DSurface : public Direct3DTest {
protected:
    void SetUp() override {
        Direct3DTest::SetUp();
        int width = 0, height = 0;
        GetScreenSize(&width, &height);
        ASSERT_EQ(width, 640) << "the split reads the screen width";
    }
    static std::vector<int> Split(int length, unsigned int minSize, unsigned int maxSize, int mode) {
        GetDirect3DState().minTextureSize = minSize;
        GetDirect3DState().maxTextureSize = maxSize;
        int sizes[4096];
        const int count = SplitTextureSizes(length, sizes, 4096, mode);
        return std::vector<int>(sizes, sizes + (count < 4096 ? count : 4096));
    }
};

int Live3D() {
    int live = 0;
    GetSurface3DTableState(&live, nullptr, nullptr);
    return live;
}

// Width and height of each piece's texture, in piece order.
std::vector<std::pair<int, int>> TextureSizes(int graph) {
    std::vector<std::pair<int, int>> sizes;
    const GraphRecord* g = GetGraphRecord(graph);
    for (int i = 0; g != nullptr && i < g->pieceCount; ++i) {
        const Surface3D* p = GetSurface3D(g->pieces[i]);
        const SurfaceData* d = p != nullptr ? SurfaceDataToRecord(p->surfaceData) : nullptr;
        sizes.emplace_back(d != nullptr ? d->width : -1, d != nullptr ? d->height : -1);
    }
    return sizes;
}

int LiveSurfaceData() {
    int live = 0;
    GetSurfaceDataTableState(&live, nullptr, nullptr);
    return live;
}

TEST_F(D3DSurface, SplitSizesAsATable) {
    struct Case {
        int length;
        unsigned int minSize, maxSize;
        int mode;
        std::vector<int> sizes;
    } cases[] = {
        {600, 1, 1024, 0, {1024}},  // below the screen width: one piece
        {1500, 1, 1024, 1, {1024, 512}},
        {16, 0, 1024, 0, {32}},  // never below 32
        {33, 1, 1024, 0, {64}},
        {700, 1, 1024, 0, {512, 128, 64}},  // wider than the screen: pieces of at most the screen's size
        {300, 32, 128, 0, {128, 128, 64}},   // the last two pieces of 32 merge
        {200, 32, 128, 0, {128, 64, 32}},
        {2000, 32, 256, 0, {256, 256, 256, 256, 256, 256, 256, 128, 64, 32}},
        {64, 64, 1024, 0, {64}},
        {100, 128, 64, 0, {128}},  // a minimum above the maximum wins
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Split(c.length, c.minSize, c.maxSize, c.mode), c.sizes)
            << c.length << " with limits " << c.minSize << ".." << c.maxSize << ", mode " << c.mode;
    }
}

TEST_F(D3DSurface, SplitSizesArePowersOfTwoWithinTheMaximumCoveringTheLength) {
    for (unsigned int maxSize : {64u, 128u, 256u, 1024u, 16384u}) {
        for (unsigned int minSize : {1u, 32u, 64u}) {
            for (int mode : {0, 1}) {
                for (int length = 1; length <= 5000; ++length) {
                    const std::vector<int> sizes = Split(length, minSize, maxSize, mode);
                    ASSERT_FALSE(sizes.empty());
                    const int total = std::accumulate(sizes.begin(), sizes.end(), 0);
                    const unsigned int limit = std::max(maxSize, std::max(minSize, 32u));
                    for (int s : sizes) {
                        ASSERT_TRUE(s >= 32 && (s & (s - 1)) == 0) << s << " for " << length;
                        ASSERT_LE(static_cast<unsigned int>(s), limit) << length << " max " << maxSize;
                    }
                    ASSERT_GE(total, length) << length << " max " << maxSize << " min " << minSize << " mode " << mode;
                    ASSERT_LT(total - sizes.back(), length) << "every piece starts inside the length: " << length;
                }
            }
        }
    }
}

TEST_F(D3DSurface, PiecesCoverTheGraphWithCornersOverTheirUsedTexels) {
    LimitTextureSize(128);
    const int graph = MakePatternGraph(300, 200);
    ASSERT_NE(graph, -1);
    const GraphRecord* g = GetGraphRecord(graph);
    const int columns[] = {128, 128, 64}, rows[] = {128, 64, 32};
    ASSERT_EQ(g->pieceCount, 9);
    for (int r = 0, y = 0, i = 0; r < 3; y += rows[r++]) {
        for (int c = 0, x = 0; c < 3; x += columns[c++], ++i) {
            const Surface3D* p = GetSurface3D(g->pieces[i]);
            ASSERT_NE(p, nullptr);
            const SurfaceData* data = SurfaceDataToRecord(p->surfaceData);
            ASSERT_NE(data, nullptr);
            EXPECT_EQ(data->width, columns[c]);
            EXPECT_EQ(data->height, rows[r]);
            const int w = std::min(columns[c], 300 - x), h = std::min(rows[r], 200 - y);
            EXPECT_EQ(p->graphX, x);
            EXPECT_EQ(p->graphY, y);
            EXPECT_EQ(p->width, w);
            EXPECT_EQ(p->height, h);
            EXPECT_FLOAT_EQ(p->corners[0].x, x);
            EXPECT_FLOAT_EQ(p->corners[3].x, x + w);
            EXPECT_FLOAT_EQ(p->corners[3].y, y + h);
            EXPECT_FLOAT_EQ(p->corners[0].u, 0.0f);
            EXPECT_FLOAT_EQ(p->corners[3].u, static_cast<float>(w) / columns[c]) << "piece " << i;
            EXPECT_FLOAT_EQ(p->corners[3].v, static_cast<float>(h) / rows[r]) << "piece " << i;
            for (int k = 0; k < 4; ++k) {
                const double cx = p->corners[k].x, cy = p->corners[k].y;
                EXPECT_EQ(p->cornerFlags[k], cy <= 200.0 - cx * (200.0 / 300.0) ? 1 : 0) << "piece " << i;
            }
        }
    }
}

TEST_F(D3DSurface, TooManyPiecesAreRefusedBeforeAnyIsMade) {
    LimitTextureSize(32);
    const int live = Live3D(), data = LiveSurfaceData();
    EXPECT_EQ(CreateGraphOrFail(288, 256, 1, 0, 0), -1) << "9 x 8 pieces";
    EXPECT_EQ(Live3D(), live);
    EXPECT_EQ(LiveSurfaceData(), data);
    const int graph = CreateGraphOrFail(256, 256, 1, 0, 0);
    ASSERT_NE(graph, -1) << "8 x 8 pieces";
    EXPECT_EQ(GetGraphRecord(graph)->pieceCount, 64);
}

TEST_F(D3DSurface, AFailingPieceLeavesNoPieceAlive) {
    const int parent = MakePatternGraph(16, 16);
    ASSERT_NE(parent, -1);
    const Surface3D* shared = GetSurface3D(GetGraphRecord(parent)->pieces[0]);
    // Fill the 3D surface table up to two free slots with cheap pieces that share the parent's texture.
    std::vector<int> fillers;
    const int free = kSurface3DSlots - Live3D() - 2;
    for (int i = 0; i < free; ++i) {
        const int h = AddSurface3DData(0, 0, 0, 0, 1, 1, 0, 0, -1, shared, 0, 0, nullptr);
        ASSERT_NE(h, -1) << i;
        fillers.push_back(h);
    }
    const int live = Live3D(), data = LiveSurfaceData();
    LimitTextureSize(32);
    EXPECT_EQ(CreateGraphOrFail(64, 64, 1, 0, 0), -1) << "four pieces, room for two";
    EXPECT_EQ(Live3D(), live) << "the two pieces made first must go again";
    EXPECT_EQ(LiveSurfaceData(), data) << "and their textures with them";
    for (int h : fillers) ASSERT_EQ(DeleteSurface3D(h), 0);
    EXPECT_EQ(SurfaceDataToRecord(shared->surfaceData)->refCount, 1);
}

TEST_F(D3DSurface, ReleasingTheLastGraphEmptiesTheTable) {
    const int a = MakePatternGraph(40, 40), b = MakePatternGraph(40, 40);
    ASSERT_NE(a, -1);
    ASSERT_NE(b, -1);
    int highWater = 0;
    GetSurface3DTableState(nullptr, &highWater, nullptr);
    EXPECT_GE(highWater, 2);
    ASSERT_EQ(ReleaseGraphImpl(b, 0), 0);
    ASSERT_EQ(ReleaseGraphImpl(a, 0), 0);
    GetSurface3DTableState(nullptr, &highWater, nullptr);
    EXPECT_EQ(highWater, 0);
    EXPECT_EQ(Live3D(), 0);
}

// A graph record sized for a derived view of `parent`, with its pieces.
int Derive(int parent, int x, int y, int width, int height) {
    GraphRecord* record = nullptr;
    const int graph = AllocGraphHandle(width, height, 1, &record, 0, 0);
    std::memcpy(record->creation, GetGraphRecord(parent)->creation, sizeof(record->creation));
    if (DeriveGraphTextures3D(x, y, width, height, record, GetGraphRecord(parent)) != 0) {
        ReleaseGraphImpl(graph, 0);
        return -1;
    }
    return graph;
}

TEST_F(D3DSurface, DerivedGraphsShowTheirRectangleOfTheParent) {
    LimitTextureSize(128);
    const int multi = MakePatternGraph(300, 200);
    const int single = MakePatternGraph(100, 60);
    ASSERT_NE(multi, -1);
    ASSERT_NE(single, -1);
    struct Case {
        const char* name;
        int parent, x, y, w, h;
        int pieces;
    } cases[] = {
        {"across four pieces", multi, 100, 50, 150, 100, 4},
        {"inside one piece", multi, 10, 10, 50, 40, 1},
        {"of a one-piece parent", single, 30, 20, 40, 30, 1},
    };
    for (const Case& c : cases) {
        const int derived = Derive(c.parent, c.x, c.y, c.w, c.h);
        ASSERT_NE(derived, -1) << c.name;
        EXPECT_EQ(GetGraphRecord(derived)->pieceCount, c.pieces) << c.name;
        FillBack(0x000000);
        ASSERT_EQ(DrawGraph3D(20, 30, GetGraphRecord(derived), 1, 1), 0);
        EXPECT_EQ(CompareBack(RECT{10, 20, 20 + c.w + 10, 30 + c.h + 10},
                              [&](int x, int y) {
                                  const bool in = x >= 20 && x < 20 + c.w && y >= 30 && y < 30 + c.h;
                                  return in ? PatternTexel(c.x + x - 20, c.y + y - 30) : 0u;
                              }),
                  "")
            << c.name;
    }
    // The parent's release leaves the shared textures to the derived graph.
    const int derived = Derive(single, 10, 10, 20, 20);
    ASSERT_EQ(ReleaseGraphImpl(single, 0), 0);
    FillBack(0x000000);
    ASSERT_EQ(DrawGraph3D(0, 0, GetGraphRecord(derived), 1, 1), 0);
    EXPECT_EQ(CompareBack(RECT{0, 0, 20, 20}, [](int x, int y) { return PatternTexel(x + 10, y + 10); }), "");
    // A rectangle outside the parent is refused and leaves no piece.
    const int live = Live3D();
    EXPECT_EQ(Derive(multi, 250, 10, 60, 10), -1);
    EXPECT_EQ(Live3D(), live);
}

TEST_F(D3DSurface, FillingADerivedGraphLeavesTheRestOfTheSharedTexture) {
    const int parent = MakePatternGraph(64, 64);
    ASSERT_NE(parent, -1);
    const int derived = Derive(parent, 16, 8, 16, 24);
    ASSERT_NE(derived, -1);
    ASSERT_EQ(FillGraphImpl(derived, 255, 0, 0, 255), 0);
    FillBack(0x000000);
    ASSERT_EQ(DrawGraph3D(0, 0, GetGraphRecord(parent), 1, 1), 0);
    EXPECT_EQ(CompareBack(RECT{0, 0, 64, 64},
                          [](int x, int y) {
                              return (x >= 16 && x < 32 && y >= 8 && y < 32) ? 0xFF0000u : PatternTexel(x, y);
                          }),
              "");
}

TEST_F(D3DSurface, UploadsStayInsideTheImageAndTheTexture) {
    LimitTextureSize(64);
    const int graph = CreateGraphOrFail(100, 80, 1, 0, 0);
    ASSERT_NE(graph, -1);
    GraphRecord* g = GetGraphRecord(graph);
    ASSERT_EQ(FillGraphImpl(graph, 0, 0, 255, 255), 0);
    GraphImage small = MakeD3DPicture(30, 20, false, PatternTexel);
    ASSERT_NE(small.pixels, nullptr);
    // The image covers a corner only; the graph keeps its blue elsewhere.
    ASSERT_EQ(BltImageToGraph3D(0, 0, g, &small, nullptr), 0);
    // A rectangle of the image placed across the pieces' boundaries at (55, 50).
    const RECT part = {5, 4, 25, 20};
    ASSERT_EQ(BltImageRectToGraph3D(&part, 55, 50, g, &small, nullptr), 0);
    // A source beyond the image's edge is cut, not read.
    ASSERT_EQ(BltImageToGraph3D(20, 10, g, &small, nullptr), 0);
    ReleaseGraphImage(&small);
    FillBack(0x000000);
    ASSERT_EQ(DrawGraph3D(0, 0, g, 1, 1), 0);
    EXPECT_EQ(CompareBack(RECT{0, 0, 100, 80},
                          [](int x, int y) {
                              if (x < 10 && y < 10) return PatternTexel(x + 20, y + 10);  // the last upload
                              if (x < 30 && y < 20) return PatternTexel(x, y);
                              if (x >= 55 && x < 75 && y >= 50 && y < 66) return PatternTexel(x - 50, y - 46);
                              return 0x0000FFu;
                          }),
              "");
}

TEST_F(D3DSurface, NewTexturesAreZeroAndAnUploadLeavesTheirUnusedTexelsZero) {
    // Pieces of 64 + 64 by 64 + 32 texels for 100 x 80: the texels past the graph's edge are never uploaded and
    // must read as zero, as must a whole texture before any upload.
    LimitTextureSize(64);
    // The memory a new texture could reuse is dirtied first: textures of the same sizes, written white all over
    // and released. A new texture that kept what its memory held would read white (Wine clears new textures
    // itself; a driver need not, so the runtime clears them).
    std::vector<std::pair<int, int>> dirtySizes;
    for (int i = 0; i < 4; ++i) {
        const int dirty = MakeD3DGraph(128, 96, false, [](int, int) { return 0xFFFFFFu; });
        ASSERT_NE(dirty, -1);
        dirtySizes = TextureSizes(dirty);
        ASSERT_EQ(ReleaseGraphImpl(dirty, 0), 0);
    }
    const int graph = CreateGraphOrFail(100, 80, 1, 0, 0);
    ASSERT_NE(graph, -1);
    GraphRecord* g = GetGraphRecord(graph);
    ASSERT_GT(g->pieceCount, 1);
    ASSERT_EQ(TextureSizes(graph), dirtySizes) << "the dirtied textures must be of the new graph's sizes";
    // Counts the texels of each piece's texture that are not zero, outside the graph's `covered` rectangle.
    auto nonZeroOutside = [g](const RECT& covered) {
        int count = 0;
        for (int i = 0; i < g->pieceCount; ++i) {
            const Surface3D* p = GetSurface3D(g->pieces[i]);
            EXPECT_NE(p, nullptr);
            if (p == nullptr) continue;
            const int data = p->surfaceData;
            const SurfaceData* d = SurfaceDataToRecord(data);
            EXPECT_NE(d, nullptr);
            if (d == nullptr) continue;
            int pitch = 0;
            void* pixels = nullptr;
            const ColorFormat* format = nullptr;
            EXPECT_EQ(LockSurfaceData(data, &pitch, &pixels, 0, nullptr, &format), 0);
            if (pixels == nullptr || format == nullptr) continue;
            for (int y = 0; y < d->height; ++y) {
                for (int x = 0; x < d->width; ++x) {
                    const int gx = p->graphX + x - p->dataX, gy = p->graphY + y - p->dataY;
                    if (gx >= covered.left && gx < covered.right && gy >= covered.top && gy < covered.bottom) continue;
                    const uint8_t* texel = static_cast<uint8_t*>(pixels) + y * pitch + x * format->bytesPerPixel;
                    for (int b = 0; b < format->bytesPerPixel; ++b) count += texel[b] != 0 ? 1 : 0;
                }
            }
            EXPECT_EQ(UnlockSurfaceData(data, nullptr), 0);
        }
        return count;
    };
    EXPECT_EQ(nonZeroOutside(RECT{0, 0, 0, 0}), 0);
    GraphImage picture = MakeD3DPicture(100, 80, false, [](int, int) { return 0xFFFFFFu; });
    ASSERT_NE(picture.pixels, nullptr);
    ASSERT_EQ(BltImageToGraph3D(0, 0, g, &picture, nullptr), 0);
    ReleaseGraphImage(&picture);
    EXPECT_EQ(nonZeroOutside(RECT{0, 0, 100, 80}), 0);
}

}  // namespace
