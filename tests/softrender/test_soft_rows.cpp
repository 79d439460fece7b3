// The SSE2 row loops against their portable twins: random rows of every width up to 67 at misaligned starts must
// come out byte for byte the same.
#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <vector>

#include "softrender/blend_rows.h"

namespace {

using Row = void (*)(uint8_t*, const uint8_t*, int);

TEST(SoftRows, VectorLoopsMatchThePortableOnes) {
    if (!soft_rows::VectorRowsOn()) GTEST_SKIP() << "built without SSE2";
    struct Pair {
        const char* name;
        Row portable, fast;
    };
    const Pair pairs[] = {
        {"average", soft_rows::Average32Portable, soft_rows::Average32Fast},
        {"saturating add", soft_rows::AddSat32Portable, soft_rows::AddSat32Fast},
        {"saturating subtract", soft_rows::SubSat32Portable, soft_rows::SubSat32Fast},
        {"reduced add", soft_rows::AddReduced32Portable, soft_rows::AddReduced32Fast},
        {"reduced subtract", soft_rows::SubReduced32Portable, soft_rows::SubReduced32Fast},
    };
    std::mt19937 rng(17);
    std::vector<uint8_t> src(4 * 80), a(4 * 80), b(4 * 80);
    for (int width = 0; width <= 67; ++width) {
        for (int offset = 0; offset < 4; ++offset) {
            for (auto& v : src) v = static_cast<uint8_t>(rng());
            for (auto& v : a) v = static_cast<uint8_t>(rng());
            for (const Pair& p : pairs) {
                b = a;
                std::vector<uint8_t> c = a;
                p.portable(b.data() + offset, src.data() + 3 - offset, width);
                p.fast(c.data() + offset, src.data() + 3 - offset, width);
                ASSERT_EQ(b, c) << p.name << " width " << width << " offset " << offset;
            }
            for (uint32_t param : {1u, 2u, 128u, 200u, 254u}) {
                b = a;
                std::vector<uint8_t> c = a;
                soft_rows::Alpha32Portable(b.data() + offset, src.data() + 1, width, param);
                soft_rows::Alpha32Fast(c.data() + offset, src.data() + 1, width, param);
                ASSERT_EQ(b, c) << "alpha p " << param << " width " << width << " offset " << offset;
            }
        }
    }
}

}  // namespace
