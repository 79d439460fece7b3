// The software renderer's blend tables (spot values, truncation toward zero, the two alpha-blend rules they give)
// and the frame-time arithmetic that paces presenting.
#include <gtest/gtest.h>

#include <vector>

#include "graphics/ddraw/frame_time.h"
#include "graphics/color/lookup_tables.h"

namespace {

class LookupTables : public ::testing::Test {
protected:
    static void SetUpTestSuite() { BuildSoftwareLookupTables(); }
};

int Diff(int p, int d) { return ParamDiffTable[p][d + 255]; }

}  // namespace

TEST_F(LookupTables, ParamScale) {
    struct Case {
        int p, c, expected;
    };
    const Case cases[] = {{255, 255, 255}, {128, 255, 128}, {0, 255, 0}, {255, 0, 0},
                          {255, 17, 17},   {1, 254, 0},     {1, 255, 1}, {200, 63, 49}};
    for (const Case& c : cases) EXPECT_EQ(c.expected, ParamScaleTable[c.p][c.c]) << c.p << "," << c.c;
    // Parameter 255 is the identity on every value.
    for (int v = 0; v < 256; ++v) ASSERT_EQ(v, ParamScaleTable[255][v]);
}

TEST_F(LookupTables, ParamDiffTruncatesTowardZero) {
    struct Case {
        int p, d, expected;
    };
    const Case cases[] = {
        {255, -255, -255}, {1, -255, -1}, {128, -255, -128}, {255, 255, 255}, {0, -255, 0}, {77, 0, 0},
        {128, -1, 0},      // -0.5 truncates to 0, not -1
        {200, -63, -49},   // symmetric with +63
        {200, 63, 49},
        {4, -31, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, Diff(c.p, c.d)) << c.p << "," << c.d;
    for (int p = 0; p < 256; ++p) {
        for (int d = 1; d <= 255; ++d) ASSERT_EQ(-Diff(p, d), Diff(p, -d)) << p << "," << d;
    }
}

TEST_F(LookupTables, Lerp6) {
    for (int a = 0; a < 64; ++a) {
        for (int b = 0; b < 64; ++b) {
            ASSERT_EQ(a, Lerp6Table[63][a][b]);
            ASSERT_EQ(b, Lerp6Table[0][a][b]);
        }
    }
    EXPECT_EQ(32, Lerp6Table[32][63][0]);
    EXPECT_EQ(31, Lerp6Table[32][0][63]);
    EXPECT_EQ(20, Lerp6Table[31][31][10]);  // (961 + 320) / 63 = 20.3
}

TEST_F(LookupTables, TheTwoAlphaBlendRulesDiffer) {
    // Green 63 over 0 at parameter 200: the 64-level lerp gives 50, the difference rule 49. Parameter 4, source 0
    // over 31: the lerp (k = 1) gives 30, the difference rule leaves 31.
    EXPECT_EQ(50, Lerp6Table[200 >> 2][63][0]);
    EXPECT_EQ(49, 0 + Diff(200, 63 - 0));
    EXPECT_EQ(30, Lerp6Table[4 >> 2][0][31]);
    EXPECT_EQ(31, 31 + Diff(4, 0 - 31));
}

TEST(FrameTime, RepeatedValueOfAPass) {
    struct Case {
        std::vector<int> frames;
        int expected;
    };
    const Case cases[] = {
        {{17, 16, 17, 16}, 17},
        {{16, 17, 18, 19}, -1},
        {{16, 17, 17}, 17},         // the first value that recurs, even if an earlier one never does
        {{15, 16, 16, 15}, 15},     // first in recording order
        {{}, -1},
        {{16}, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, FindRepeatedFrameTime(c.frames.data(), static_cast<int>(c.frames.size())));
    }
}

TEST(FrameTime, IntervalAndRefreshRate) {
    struct IntervalCase {
        int frameTime, interval;
    };
    const IntervalCase intervals[] = {{16, 9}, {17, 10}, {1, 0}, {-1, -1}, {14, 8}, {33, 20}};
    for (const IntervalCase& c : intervals) EXPECT_EQ(c.interval, FrameIntervalFromFrameTime(c.frameTime)) << c.frameTime;

    struct RateCase {
        uint64_t micros, frames;
        int rate;
    };
    const RateCase rates[] = {
        {16667ull * 20, 20, 60},  // x = 599: remainder 9 rounds up
        {13333ull * 4, 4, 75},    // x = 750
        {16520ull * 4, 4, 60},    // x = 605: a remainder of exactly 5 rounds down
        {16500ull * 4, 4, 61},    // x = 606
        {0, 20, -1},
        {1000, 0, -1},
    };
    for (const RateCase& c : rates) {
        EXPECT_EQ(c.rate, RefreshRateFromMeasurement(c.micros, c.frames)) << c.micros << "/" << c.frames;
    }
}
