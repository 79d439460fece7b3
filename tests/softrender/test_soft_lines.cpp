// Lines against a model written out in this file: the stepping from the given end points decides whether a line
// has any pixel inside the draw area; when it has, the pixels drawn are those of the clipped end points (each end
// moved along the line to the area's edge, truncated toward zero, then clamped) stepped the same way; when it has
// none, nothing is drawn. Lines onto images of one byte a pixel (palette images) draw nothing.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "graphics/color/memimg.h"
#include "soft_fixture.h"
#include "softrender/softrender.h"

namespace {

using Pixels = std::set<std::pair<int, int>>;

// ---- The model ----

// The stepping: from (x1, y1) the longer axis moves each step, the other when the error reaches the longer length;
// the end point is left out.
Pixels Step(int x1, int y1, int x2, int y2) {
    Pixels out;
    const int wx = x2 - x1, wy = y2 - y1;
    const int sx = wx < 0 ? -1 : 1, sy = wy < 0 ? -1 : 1, ax = std::abs(wx), ay = std::abs(wy);
    int x = x1, y = y1, error = 0;
    if (ax >= ay) {
        for (int i = 0; i < ax; ++i) {
            out.insert({x, y});
            error += ay;
            x += sx;
            if (error >= ax) {
                y += sy;
                error -= ax;
            }
        }
    } else {
        for (int i = 0; i < ay; ++i) {
            out.insert({x, y});
            error += ax;
            y += sy;
            if (error >= ay) {
                x += sx;
                error -= ay;
            }
        }
    }
    return out;
}

bool Inside(const std::pair<int, int>& p, const RECT& a) {
    return p.first >= a.left && p.first < a.right && p.second >= a.top && p.second < a.bottom;
}

// The clipped end points, as the rasteriser's rules state them.
Pixels Clipped(int x1, int y1, int x2, int y2, const RECT& area) {
    const int L = area.left, T = area.top, R = area.right, B = area.bottom;
    if (std::min(y1, y2) >= B || std::min(x1, x2) >= R || std::max(y1, y2) < T || std::max(x1, x2) < L) return {};
    const double mx = y2 == y1 ? 0.0 : static_cast<double>(x2 - x1) / (y2 - y1);
    const double my = x2 == x1 ? 0.0 : static_cast<double>(y2 - y1) / (x2 - x1);
    const double bx = x1 - y1 * mx, by = y1 - x1 * my;
    auto t = [](double v) { return static_cast<int>(v); };
    if (x1 < L) {
        x1 = L;
        y1 = t(L * my + by);
    } else if (x1 >= R) {
        x1 = R - 1;
        y1 = t((R - 1) * my + by);
    }
    if (x2 < L) {
        x2 = L - 1;
        y2 = t((L - 1) * my + by);
    } else if (x2 >= R) {
        x2 = R;
        y2 = t(R * my + by);
    }
    if (y1 < T) {
        y1 = T;
        x1 = t(T * mx + bx);
    } else if (y1 >= B) {
        y1 = B - 1;
        x1 = t((B - 1) * mx + bx);
    }
    if (y2 < T) {
        y2 = T - 1;
        x2 = t((T - 1) * mx + bx);
    } else if (y2 >= B) {
        y2 = B;
        x2 = t(B * mx + bx);
    }
    x1 = std::clamp(x1, L, R - 1);
    x2 = std::clamp(x2, L - 1, R);
    y1 = std::clamp(y1, T, B - 1);
    y2 = std::clamp(y2, T - 1, B);
    return Step(x1, y1, x2, y2);
}

Pixels Expected(int x1, int y1, int x2, int y2, const RECT& area) {
    const Pixels own = Step(x1, y1, x2, y2);
    const bool meets = std::any_of(own.begin(), own.end(), [&](const auto& p) { return Inside(p, area); });
    return meets ? Clipped(x1, y1, x2, y2, area) : Pixels{};
}

// ---- Drawing ----

constexpr int kSize = 64;

Pixels Draw(int x1, int y1, int x2, int y2, const RECT& area) {
    ref::Image dst;
    ref::MakeImage(&dst, kSize, kSize, kMemImgColor32, false, false, 11);
    for (int y = 0; y < kSize; ++y) memset(dst.img.pixels + y * dst.img.pitch, 0, kSize * 4);
    GetDrawState().drawArea = area;
    SoftDrawLine(&dst.img, x1, y1, x2, y2, 0x00FFFFFF);
    Pixels out;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            if (ref::ReadPixel(dst.img, x, y) != 0) out.insert({x, y});
        }
    }
    if (!dst.BorderIntact()) out.insert({-1, -1});  // shows as a difference
    return out;
}

std::string Describe(const Pixels& p) {
    std::string s;
    for (const auto& xy : p) s += "(" + std::to_string(xy.first) + "," + std::to_string(xy.second) + ")";
    return s.empty() ? "nothing" : s;
}

class SoftLines : public SoftRenderTest {};

TEST_F(SoftLines, LinesWhosePixelsReachTheAreaAreDrawnThere) {
    // The line's own pixels at x = 3 and 4 lie on row 2, inside; the continuous line there is above row 2.
    EXPECT_EQ(Describe(Draw(-40, 5, 5, 1, RECT{3, 2, 27, 20})), Describe(Pixels{{3, 2}, {4, 2}}));
    Pixels row;
    for (int x = 10; x < 20; ++x) row.insert({x, 9});
    EXPECT_EQ(Describe(Draw(0, 9, 20, 10, RECT{10, 0, 100, 10})), Describe(row));
    // Stepped from the other end these lines keep to the rows outside (the stepping moves its minor axis late), so
    // none of their own pixels is inside and nothing is drawn.
    EXPECT_EQ(Describe(Draw(5, 1, -40, 5, RECT{3, 2, 27, 20})), "nothing");
    EXPECT_EQ(Describe(Draw(20, 10, 0, 9, RECT{10, 0, 100, 10})), "nothing");
}

TEST_F(SoftLines, EveryEdgeAndCornerBothWaysFollowsTheModel) {
    const RECT area = {12, 10, 44, 36};
    // Points around the area: beyond each edge, beyond each corner, and inside near each edge.
    const std::pair<int, int> outside[] = {{2, 20},  {55, 25}, {30, 1},  {25, 47}, {1, 2},  {56, 3},
                                           {3, 46},  {57, 48}, {11, 9},  {44, 36}, {11, 36}, {44, 9},
                                           {-9, 11}, {60, 34}, {13, -5}, {43, 60}};
    const std::pair<int, int> inside[] = {{12, 10}, {43, 35}, {13, 22}, {42, 23}, {28, 11}, {27, 34}, {20, 30}};
    int drawn = 0, lines = 0;
    auto check = [&](int x1, int y1, int x2, int y2) {
        const Pixels want = Expected(x1, y1, x2, y2, area);
        ASSERT_EQ(Describe(Draw(x1, y1, x2, y2, area)), Describe(want))
            << "line (" << x1 << "," << y1 << ") -> (" << x2 << "," << y2 << ")";
        drawn += !want.empty();
        ++lines;
    };
    for (const auto& a : outside) {
        for (const auto& b : inside) {
            check(a.first, a.second, b.first, b.second);
            check(b.first, b.second, a.first, a.second);
        }
        for (const auto& b : outside) check(a.first, a.second, b.first, b.second);
    }
    // Most of these lines reach the area; the model is not a blank.
    EXPECT_GT(drawn, lines / 4);
}

TEST_F(SoftLines, RandomLinesFollowTheModel) {
    std::mt19937 rng(29);
    const RECT areas[] = {{3, 2, 27, 20}, {10, 0, 60, 10}, {0, 0, 64, 64}, {20, 20, 21, 40}, {5, 30, 50, 31}};
    int mended = 0;
    for (int i = 0; i < 6000; ++i) {
        const RECT& area = areas[i % 5];
        const int x1 = static_cast<int>(rng() % 140) - 40, y1 = static_cast<int>(rng() % 140) - 40;
        const int x2 = static_cast<int>(rng() % 140) - 40, y2 = static_cast<int>(rng() % 140) - 40;
        const Pixels want = Expected(x1, y1, x2, y2, area);
        ASSERT_EQ(Describe(Draw(x1, y1, x2, y2, area)), Describe(want))
            << "line (" << x1 << "," << y1 << ") -> (" << x2 << "," << y2 << ") in area " << area.left << ","
            << area.top << "," << area.right << "," << area.bottom;
        // Lines the clipped end points alone would draw stray pixels for.
        mended += want.empty() && !Clipped(x1, y1, x2, y2, area).empty();
    }
    EXPECT_GT(mended, 0);
}

TEST_F(SoftLines, FarEndPointsStillFindThePixelsInside) {
    // End points far outside: the test of the line's own pixels must not step the whole line or overflow.
    const RECT area = {0, 0, 10, 10};
    EXPECT_EQ(Describe(Draw(-2000000000, 5, 2000000000, 5, area)), Describe(Draw(-100, 5, 100, 5, area)));
    EXPECT_EQ(Describe(Draw(5, INT32_MIN, 5, INT32_MAX, area)), Describe(Draw(5, -100, 5, 100, area)));
    EXPECT_EQ(Describe(Draw(-8192, 5, 8192, 5, area)), Describe(Expected(-8192, 5, 8192, 5, area)));
    for (const auto& e : {std::make_pair(INT32_MIN, INT32_MIN), std::make_pair(INT32_MAX, INT32_MAX)}) {
        for (const auto& p : Draw(e.first, e.second, e.first / -2, e.second / -3, area)) EXPECT_TRUE(Inside(p, area));
    }
}

TEST_F(SoftLines, PaletteImagesAreNotDrawnOn) {
    for (int type : {kMemImgColor32, kMemImgColor16}) {
        ref::Image image;
        ref::MakeImage(&image, 20, 12, type, true, false, 3);
        const std::vector<uint8_t> before = image.buffer;
        SetArea(0, 0, 20, 12);
        for (int mode : {0, 1, 2}) {
            ref::Settings s;
            s.mode = mode;
            s.p = 200;
            Apply(s);
            SoftDrawLine(&image.img, 0, 0, 19, 11, 0x00FFFFFF);
            SoftDrawLine(&image.img, 19, 0, 0, 3, 0x00FFFFFF);
            const SoftLineRecord records[2] = {{0, 11, 19, 11, 0x00FFFFFF, 0}, {5, 0, 5, 12, 0x00FFFFFF, 0}};
            SoftDrawLines(&image.img, records, 2);
        }
        EXPECT_TRUE(image.buffer == before) << "pixel type " << type;
        EXPECT_TRUE(image.BorderIntact());
    }
}

}  // namespace
