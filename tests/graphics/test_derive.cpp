// Derived graphs: what a derivation refuses (and leaves nothing behind for), the cut at the source's far edges,
// and a derived graph that keeps drawing its rectangle after its source is released.
#include "tests/graphics/test_draw_support.h"

#include "graphics/derive.h"
#include "graphics/graphics.h"

namespace {

class DeriveTest : public GameScreenTest {};

int LiveGraphs() {
    int live = 0;
    GetGraphTableState(&live, nullptr, nullptr);
    return live;
}

TEST_F(DeriveTest, RectanglesThatStartOutsideOrHaveNoSizeAreRefused) {
    const int source = MakePositionGraph(40, 30);
    ASSERT_NE(-1, source);
    const int live = LiveGraphs();
    struct Row {
        int x, y, w, h;
    } refused[] = {
        {40, 0, 5, 5},   // x at the right edge
        {0, 30, 5, 5},   // y at the bottom edge
        {-1, 0, 5, 5},   // left of the source
        {0, -3, 5, 5},   // above it
        {0, 0, 0, 5},    // no width
        {0, 0, 5, 0},    // no height
        {2, 2, -4, 5},   // negative width
        {2, 2, 5, -1},   // negative height
    };
    for (const Row& r : refused) {
        EXPECT_EQ(-1, DeriveSubGraph(r.x, r.y, r.w, r.h, source)) << r.x << "," << r.y << "," << r.w << "," << r.h;
        EXPECT_EQ(live, LiveGraphs());
    }
    EXPECT_EQ(-1, DeriveSubGraph(0, 0, 5, 5, source + 0x10000));  // a stale handle
    EXPECT_EQ(-1, DeriveSubGraph(0, 0, 5, 5, -1));
    EXPECT_EQ(live, LiveGraphs());
}

TEST_F(DeriveTest, ARectangleReachingPastTheEdgesIsCut) {
    const int source = MakePositionGraph(40, 30);
    ASSERT_NE(-1, source);
    struct Row {
        int x, y, w, h, outW, outH;
    } rows[] = {
        {30, 5, 20, 10, 10, 10},
        {5, 25, 10, 20, 10, 5},
        {39, 29, 100, 100, 1, 1},
        {0, 0, 40, 30, 40, 30},
    };
    for (const Row& r : rows) {
        const int derived = DeriveSubGraph(r.x, r.y, r.w, r.h, source);
        ASSERT_NE(-1, derived);
        int w = 0, h = 0;
        EXPECT_EQ(0, GetGraphDimensions(derived, &w, &h));
        EXPECT_EQ(r.outW, w) << r.x << "," << r.y;
        EXPECT_EQ(r.outH, h);
        const GraphRecord* g = GetGraphRecord(derived);
        EXPECT_EQ(r.x, g->sourceX);
        EXPECT_EQ(r.y, g->sourceY);
    }
}

TEST_F(DeriveTest, ADerivedGraphDrawsItsRectangleAlsoAfterItsSourceIsReleased) {
    const int source = MakePositionGraph(40, 30);
    ASSERT_NE(-1, source);
    const int derived = DeriveSubGraph(12, 7, 10, 9, source);
    const int nested = DeriveSubGraph(3, 2, 4, 4, derived);  // a cut of a cut lies at the sum of the offsets
    ASSERT_NE(-1, derived);
    ASSERT_NE(-1, nested);
    EXPECT_EQ(15, GetGraphRecord(nested)->sourceX);
    EXPECT_EQ(9, GetGraphRecord(nested)->sourceY);
    ASSERT_EQ(0, ReleaseGraph(source, 0));

    FillBackScreen(0);
    EXPECT_EQ(0, DrawGraphAt(100, 50, derived, 0));
    EXPECT_EQ(0, DrawGraphAt(200, 50, nested, 0));
    EXPECT_EQ("", CompareBackScreen(RECT{96, 46, 114, 63},
                                    [](int x, int y) {
                                        const int gx = x - 100, gy = y - 50;
                                        if (gx < 0 || gy < 0 || gx >= 10 || gy >= 9) return 0u;
                                        return PositionColour(gx + 12, gy + 7);
                                    },
                                    8));
    EXPECT_EQ("", CompareBackScreen(RECT{198, 48, 206, 56},
                                    [](int x, int y) {
                                        const int gx = x - 200, gy = y - 50;
                                        if (gx < 0 || gy < 0 || gx >= 4 || gy >= 4) return 0u;
                                        return PositionColour(gx + 15, gy + 9);
                                    },
                                    8));
}

}  // namespace
