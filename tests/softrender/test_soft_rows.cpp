// The SSE2 row loops against their portable twins: random rows of every width up to 67 at misaligned starts must
// come out byte for byte the same, in 32-bit and in 16-bit colour, keyed copies included.
#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <vector>

#include "graphics/color/lookup_tables.h"
#include "softrender/blend_rows.h"

namespace {

using Row = void (*)(uint8_t*, const uint8_t*, int);

TEST(SoftRows, VectorLoopsMatchThePortableOnes) {
    if (!soft_rows::VectorRowsOn()) GTEST_SKIP() << "built without SSE2";
    BuildSoftwareLookupTables();  // the portable 16-bit alpha reads the 64-level table
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
        {"16-bit average", soft_rows::Average16Portable, soft_rows::Average16Fast},
        {"16-bit pair add", soft_rows::AddPairs16Portable, soft_rows::AddPairs16Fast},
        {"16-bit pair subtract", soft_rows::SubPairs16Portable, soft_rows::SubPairs16Fast},
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
            for (uint32_t param = 0; param < 256; ++param) {
                b = a;
                std::vector<uint8_t> c = a;
                soft_rows::Lerp16Portable(b.data() + offset, src.data() + 1, width, param);
                soft_rows::Lerp16Fast(c.data() + offset, src.data() + 1, width, param);
                ASSERT_EQ(b, c) << "16-bit alpha p " << param << " width " << width << " offset " << offset;
            }
            // Keyed copies: the key planted in about half the pixels, in runs and alone.
            std::vector<uint8_t> keyed = src;
            const uint32_t key32 = 0x00FF00FFu, key16 = 0xF81Fu;
            for (int i = 0; i < width; ++i) {
                if (rng() % 2) memcpy(&keyed[4 * i], &key32, 4);
            }
            b = a;
            std::vector<uint8_t> c = a;
            soft_rows::KeyCopy32Portable(b.data() + offset, keyed.data(), width, key32);
            soft_rows::KeyCopy32Fast(c.data() + offset, keyed.data(), width, key32);
            ASSERT_EQ(b, c) << "32-bit keyed copy width " << width << " offset " << offset;
            keyed = src;
            for (int i = 0; i < width; ++i) {
                if (rng() % 2) memcpy(&keyed[2 * i], &key16, 2);
            }
            b = a;
            c = a;
            soft_rows::KeyCopy16Portable(b.data() + offset, keyed.data(), width, key16);
            soft_rows::KeyCopy16Fast(c.data() + offset, keyed.data(), width, key16);
            ASSERT_EQ(b, c) << "16-bit keyed copy width " << width << " offset " << offset;
        }
    }
}

}  // namespace
