// The glyph cache: its two layouts, the edge patterns and pixel encodings written from hand-made bitmaps, glyphs
// larger than their cell, and the cache of real fonts against GetGlyphOutlineA's own bitmaps, with eviction, repeated
// characters, strings longer than the cache and a cache graph deleted behind the font's back.
#include "tests/font/font_test_support.h"

#include <set>

#include "graphics/image/image.h"

namespace {

TEST(GlyphCacheLayout, TextureAndMemoryCapacities) {
    const struct {
        int cell, capacity, width, height;
    } texture[] = {{16, 1024, 512, 512}, {24, 441, 512, 512},  {64, 64, 512, 512},     {136, 21, 1024, 512},
                   {176, 10, 1024, 512}, {264, 21, 2048, 1024}, {8, 2024, 512, 512}};
    for (const auto& c : texture) {
        SCOPED_TRACE(testing::Message() << "texture cell " << c.cell);
        const FontCacheLayout layout = TextureCacheLayout(c.cell);
        EXPECT_EQ(c.capacity, layout.capacity);
        EXPECT_EQ(c.width, layout.width);
        EXPECT_EQ(c.height, layout.height);
    }
    const struct {
        int cell, capacity;
    } memory[] = {{16, 1280}, {24, 568}, {32, 320}, {8, 2024}, {136, 20}, {400, 20}};
    for (const auto& c : memory) {
        SCOPED_TRACE(testing::Message() << "memory cell " << c.cell);
        const FontCacheLayout layout = MemoryCacheLayout(c.cell);
        EXPECT_EQ(c.capacity, layout.capacity);
        EXPECT_EQ(c.cell, layout.width);
        EXPECT_EQ((int64_t)c.cell * c.capacity, layout.height);
    }
    // Sizes past 32 bits end the layout loop instead of wrapping.
    const FontCacheLayout huge = TextureCacheLayout(1 << 30);
    EXPECT_GE(huge.capacity, 10);
    EXPECT_GT(huge.width, 0);
}

TEST(GlyphCacheEdge, PatternSizesAndOrder) {
    int8_t positions[200][2];
    const struct {
        int edge, count;
    } cases[] = {{0, 0}, {1, 4}, {2, 21}, {3, 29}, {4, 69}, {5, 121}, {6, 169}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "edge " << c.edge);
        EXPECT_EQ(c.count, EdgePatternPositions(c.edge, positions, 200));
    }
    EdgePatternPositions(1, positions, 200);
    const int8_t neighbours[4][2] = {{0, -1}, {0, 1}, {-1, 0}, {1, 0}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(neighbours[i][0], positions[i][0]);
        EXPECT_EQ(neighbours[i][1], positions[i][1]);
    }
    // Edge size 3: a single column at the top and bottom rows, seven across the middle row.
    EdgePatternPositions(3, positions, 200);
    EXPECT_EQ(0, positions[0][0]);
    EXPECT_EQ(-3, positions[0][1]);
    EXPECT_EQ(-3, positions[11][0]);
    EXPECT_EQ(0, positions[11][1]);
}

// A fake font record with a memory or work-image cache of one cell size, for writing hand-made glyphs.
struct FakeFont {
    FontData* font;
    std::vector<uint8_t> cache;
    std::vector<uint16_t> work;
    FakeFont(int type, int edge, int cell, int capacity, bool texture) {
        font = static_cast<FontData*>(calloc(1, sizeof(FontData)));
        font->fontType = type;
        font->edgeSize = edge;
        font->cellWidth = cell;
        font->capacity = capacity;
        font->glyphsPerColumn = capacity;
        if (!texture) {
            font->cacheBitsPerPixel = type == 0 ? 1 : 8;
            font->cachePitch = (cell * font->cacheBitsPerPixel + 7) / 8;
            // A guard row past the last cell shows any write beyond the cache.
            cache.assign((size_t)font->cachePitch * (cell * capacity + 1), 0xAA);
            for (size_t i = 0; i < (size_t)font->cachePitch * cell * capacity; ++i) cache[i] = 0;
            font->cachePixels = cache.data();
        } else {
            GraphImage& w = font->workImage;
            SetColorFormatFromMasksImpl(&w.format, 16, 0x0F00, 0x00F0, 0x000F, 0xF000);
            if (!(type & 2)) SetColorFormatFromMasksImpl(&w.format, 16, 0x7C00, 0x03E0, 0x001F, 0x8000);
            w.width = (type & 1) ? 2 * cell : cell;
            w.height = cell + ((type & 1) ? 2 * edge : 0);
            w.pitch = w.width * 2;
            work.assign((size_t)w.width * w.height, 0);
            w.pixels = work.data();
        }
    }
    ~FakeFont() { free(font); }
    uint8_t memory(int cellIndex, int x, int y) const {
        return cache[(size_t)(cellIndex * font->cellWidth + y) * font->cachePitch + x];
    }
    uint16_t ink(int x, int y) const { return work[(size_t)y * font->workImage.width + x]; }
    uint16_t edge(int x, int y) const { return ink(x + font->cellWidth, y); }
};

// A grey bitmap (one coverage byte a pixel, rows of 4 bytes) with the given pixels set.
struct HandGlyph {
    std::vector<uint8_t> bits;
    GlyphBitmap bitmap;
    HandGlyph(int width, int height, std::initializer_list<std::array<int, 3>> pixels, bool gray = true) {
        const int pitch = gray ? (width + 3) & ~3 : ((width + 31) / 32) * 4;
        bits.assign((size_t)pitch * height, 0);
        for (const auto& p : pixels) {
            if (gray) {
                bits[(size_t)p[1] * pitch + p[0]] = (uint8_t)p[2];
            } else if (p[2]) {
                bits[(size_t)p[1] * pitch + p[0] / 8] |= (uint8_t)(0x80 >> (p[0] % 8));
            }
        }
        bitmap = GlyphBitmap{bits.data(), pitch, width, height, gray ? 1 : 0};
    }
};

TEST(GlyphCacheEdge, OnePixelGivesEachEdgePatternInMemory) {
    const struct {
        int edge, positions;
    } cases[] = {{1, 4}, {2, 21}, {3, 29}, {4, 69}, {6, 169}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "edge " << c.edge);
        FakeFont fake(1, c.edge, 32, 2, false);
        HandGlyph glyph(1, 1, {{0, 0, 1}}, false);
        WriteGlyphToMemoryCell(fake.font, 1, glyph.bitmap);
        int edgeCount = 0, inkCount = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                edgeCount += fake.memory(1, x, y) == 2;
                inkCount += fake.memory(1, x, y) == 1;
            }
        }
        EXPECT_EQ(1, inkCount);
        EXPECT_EQ(1, fake.memory(1, c.edge, c.edge)) << "the ink sits at (e, e)";
        // The centre belongs to the pattern from size 2 on, but ink is never overwritten.
        EXPECT_EQ(c.edge == 1 ? c.positions : c.positions - 1, edgeCount);
        if (c.edge == 6) {
            EXPECT_EQ(2, fake.memory(1, 0, 0)) << "the whole 13 x 13 square";
        }
    }
    FakeFont none(1, 0, 16, 1, false);
    HandGlyph glyph(1, 1, {{0, 0, 1}}, false);
    WriteGlyphToMemoryCell(none.font, 0, glyph.bitmap);
    int marked = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) marked += none.memory(0, x, y) != 0;
    }
    EXPECT_EQ(1, marked) << "an edged font with edge size 0 has no edge";
}

TEST(GlyphCacheEdge, AntialiasedEdgesCombine) {
    // Memory, type 3: low nibble coverage - 1, high nibble the largest (v - 1) * 16 reaching it.
    FakeFont mem(3, 1, 16, 1, false);
    HandGlyph two(2, 1, {{0, 0, 16}, {1, 0, 8}});
    WriteGlyphToMemoryCell(mem.font, 0, two.bitmap);
    EXPECT_EQ(0x70 | 15, mem.memory(0, 1, 1)) << "the full pixel takes the edge of its coverage-8 neighbour";
    EXPECT_EQ(0xF0 | 7, mem.memory(0, 2, 1)) << "and the coverage-8 pixel the full one's";
    EXPECT_EQ(0xF0, mem.memory(0, 0, 1));
    EXPECT_EQ(0x70, mem.memory(0, 3, 1));
    EXPECT_EQ(0xF0, mem.memory(0, 1, 0));

    // Texture, type 3: one full pixel gives edge value 16 beside it; two pixels of 8 reaching one position give 8,
    // then 12. Values end as alpha(v) | white in A4R4G4B4.
    FakeFont tex(3, 1, 16, 1, true);
    HandGlyph full(1, 1, {{0, 0, 16}});
    WriteGlyphToWorkImage(tex.font, full.bitmap);
    EXPECT_EQ(0xFFFF, tex.edge(0, 1)) << "edge 16 -> alpha 15";
    EXPECT_EQ(0xFFFF, tex.ink(1, 1));
    EXPECT_EQ(0x0FFF, tex.edge(1, 1)) << "the pixel itself is not in the size-1 pattern";

    FakeFont tex2(3, 1, 16, 1, true);
    HandGlyph halves(3, 1, {{0, 0, 8}, {2, 0, 8}});
    WriteGlyphToWorkImage(tex2.font, halves.bitmap);
    EXPECT_EQ(0xBFFF, tex2.edge(2, 1)) << "8 then 12: alpha 11";
    EXPECT_EQ(0x7FFF, tex2.edge(0, 1)) << "reached once: 8, alpha 7";
    EXPECT_EQ(0x0FFF, tex2.edge(1, 1)) << "not reached: white without alpha";
    EXPECT_EQ(0x0FFF, tex2.ink(2, 1)) << "no ink there: white without alpha";
}

TEST(GlyphCacheEdge, PlainAndEdgedTextureEncodings) {
    FakeFont plain(0, 1, 16, 1, true);
    HandGlyph dot(2, 1, {{0, 0, 1}}, false);
    WriteGlyphToWorkImage(plain.font, dot.bitmap);
    EXPECT_EQ(0xFFFF, plain.ink(0, 0));
    EXPECT_EQ(0x7FFF, plain.ink(1, 0)) << "no ink inside the box: white without alpha";
    EXPECT_EQ(0x0000, plain.ink(2, 0)) << "outside the box nothing is written";

    FakeFont edged(1, 1, 16, 1, true);
    WriteGlyphToWorkImage(edged.font, dot.bitmap);
    EXPECT_EQ(0xFFFF, edged.ink(1, 1));
    EXPECT_EQ(0x0000, edged.ink(2, 1));
    EXPECT_EQ(0xFFFF, edged.edge(1, 0));
    EXPECT_EQ(0xFFFF, edged.edge(0, 1));
    EXPECT_EQ(0x0000, edged.edge(1, 1));
}

TEST(GlyphCacheClip, AGlyphLargerThanItsCellStaysInsideIt) {
    // A 40 x 40 block of ink with a 2-pixel edge into the last of two 16-pixel cells: nothing reaches the first
    // cell or the guard row past the cache.
    std::initializer_list<std::array<int, 3>> none = {};
    for (int type = 0; type < 4; ++type) {
        SCOPED_TRACE(testing::Message() << "type " << type);
        const bool gray = (type & 2) != 0;
        HandGlyph big(40, 40, none, gray);
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 40; ++x) {
                if (gray) big.bits[(size_t)y * big.bitmap.pitch + x] = 16;
                else big.bits[(size_t)y * big.bitmap.pitch + x / 8] |= (uint8_t)(0x80 >> (x % 8));
            }
        }
        FakeFont mem(type, 2, 16, 2, false);
        WriteGlyphToMemoryCell(mem.font, 1, big.bitmap);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < mem.font->cachePitch; ++x) ASSERT_EQ(0, mem.memory(0, x, y)) << x << "," << y;
        }
        for (int x = 0; x < mem.font->cachePitch; ++x) ASSERT_EQ(0xAA, mem.memory(2, x, 0)) << "guard row";

        FakeFont tex(type, 2, 16, 1, true);
        WriteGlyphToWorkImage(tex.font, big.bitmap);
        for (int y = 0; y < tex.font->workImage.height; ++y) {
            for (int x = 0; x < tex.font->workImage.width; ++x) {
                const bool insideCell = y < 16 && (x < 16 || (x >= 16 && x < 32 && (type & 1)));
                if (!insideCell) {
                    ASSERT_EQ(0, tex.ink(x, y)) << x << "," << y;
                }
            }
        }
    }
}

// A memory cache whose last byte lies just before a page that cannot be read: a glyph loop that reads a byte past
// its row in the last cell ends the test with an access violation.
TEST(GlyphCacheDraw, GlyphLoopsReadNothingPastTheLastCell) {
    const int cell = 12;  // one-bit rows of 2 bytes, byte rows of 12: neither a multiple of 4
    for (int type = 0; type < 4; ++type) {
        FakeFont fake(type, 1, cell, 2, false);
        const size_t bytes = (size_t)fake.font->cachePitch * cell * 2;
        const size_t pages = (bytes + 4095) / 4096;
        uint8_t* region = static_cast<uint8_t*>(
            VirtualAlloc(nullptr, (pages + 1) * 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        ASSERT_NE(nullptr, region);
        DWORD old = 0;
        ASSERT_TRUE(VirtualProtect(region + pages * 4096, 4096, PAGE_NOACCESS, &old));
        uint8_t* cache = region + pages * 4096 - bytes;
        std::memset(cache, 0, bytes);
        // The last cell full of ink.
        for (int y = 0; y < cell; ++y) {
            uint8_t* row = cache + (size_t)(cell + y) * fake.font->cachePitch;
            if (type == 0) {
                row[0] = 0xFF;
                row[1] = 0xF0;
            } else {
                std::memset(row, type == 1 ? 1 : type == 2 ? 15 : 0xFF, (size_t)cell);
            }
        }
        fake.font->cachePixels = cache;
        FontGlyphSlot slot = {};
        slot.cellIndex = 1;
        slot.width = (int16_t)cell;
        slot.height = (int16_t)cell;
        for (int vertical = 0; vertical < 2; ++vertical) {
            for (int trans = 0; trans < 2; ++trans) {
                SCOPED_TRACE(testing::Message() << "type " << type << " vertical " << vertical << " trans " << trans);
                TestImage image(cell + 4, cell + 4, 32, 0x00123456);
                MemoryGlyphDraw draw = {};
                draw.font = fake.font;
                draw.glyph = &slot;
                draw.destPixels = image.image.pixels;
                draw.destPitch = image.image.pitch;
                draw.screenBits = 32;
                draw.box = RECT{2, 2, 2 + cell, 2 + cell};
                draw.clipped = draw.box;
                draw.vertical = vertical;
                draw.transFlag = trans;
                draw.bodyPixel = 0xFFFFFF;
                draw.edgePixel = 0x0000FF;
                DrawGlyphToMemory(draw);
                int inked = 0;
                for (int y = 0; y < image.height(); ++y) {
                    for (int x = 0; x < image.width(); ++x) inked += image.at(x, y) != 0x00123456;
                }
                EXPECT_EQ(cell * cell, inked);
            }
        }
        fake.font->cachePixels = nullptr;
        VirtualFree(region, 0, MEM_RELEASE);
    }
}

class GlyphCache : public FontSuite {};

// Compares the cell of `code` with GDI's bitmap by the memory or texture encoding of the font's type.
std::string CompareCell(int handle, unsigned code, int charCode) {
    FontData* f = FontHandleToRecord(handle);
    const FontGlyphSlot* slot = f->codeMap[charCode].slot;
    if (!f->codeMap[charCode].cached || slot == nullptr) return "not cached";
    GdiFont gdi(f->fontObject);
    const bool gray = (f->fontType & 2) != 0;
    const GdiFont::Glyph g = gdi.glyph(code, gray);
    const int e = FontEdge(f);
    if (slot->width != std::min<int>(g.gm.gmBlackBoxX + 2 * e, f->cellWidth)) return "width differs";
    if (slot->advance != g.gm.gmCellIncX + 2 * e) return "advance differs";
    if (slot->offsetX != g.gm.gmptGlyphOrigin.x) return "x offset differs";
    if (slot->offsetY != gdi.metrics().tmAscent - g.gm.gmptGlyphOrigin.y) return "y offset differs";
    std::vector<uint8_t> inkAt(f->cellWidth * f->cellWidth, 0);
    for (int y = 0; y < (int)g.gm.gmBlackBoxY; ++y) {
        for (int x = 0; x < (int)g.gm.gmBlackBoxX; ++x) {
            const int px = x + e, py = y + e;
            if (px < f->cellWidth && py < f->cellWidth) inkAt[py * f->cellWidth + px] = (uint8_t)g.pixel(x, y, gray);
        }
    }
    if (f->textureMode == 0) {
        const uint8_t* cell = f->cachePixels + (size_t)slot->cellIndex * f->cellWidth * f->cachePitch;
        for (int y = 0; y < f->cellWidth; ++y) {
            for (int x = 0; x < f->cellWidth; ++x) {
                const int v = inkAt[y * f->cellWidth + x];
                const uint8_t* row = cell + (size_t)y * f->cachePitch;
                int got = 0, want = 0;
                switch (f->fontType) {
                    case 0: got = (row[x >> 3] >> (7 - (x & 7))) & 1; want = v; break;
                    case 1: got = row[x] == 1; want = v; break;
                    case 2: got = row[x]; want = v ? v - 1 : 0; break;
                    case 3: got = row[x] & 15; want = v ? v - 1 : 0; break;
                }
                if (got != want) return "cell pixel (" + std::to_string(x) + "," + std::to_string(y) + ") differs";
            }
        }
        return "";
    }
    // Texture mode: the work image still holds the glyph rendered last, ink in its left half.
    const GraphImage& work = f->workImage;
    for (int y = 0; y < f->cellWidth; ++y) {
        for (int x = 0; x < f->cellWidth; ++x) {
            const int v = inkAt[y * f->cellWidth + x];
            const bool inBox = x >= e && y >= e && x < e + (int)g.gm.gmBlackBoxX && y < e + (int)g.gm.gmBlackBoxY;
            const bool boxWithEdge = x < slot->width && y < slot->height;
            const uint16_t got = reinterpret_cast<const uint16_t*>(static_cast<const uint8_t*>(work.pixels) +
                                                                   (size_t)y * work.pitch)[x];
            uint16_t want = 0;
            switch (f->fontType) {
                case 0: want = inBox ? (v ? 0xFFFF : 0x7FFF) : 0; break;
                case 1: want = v ? 0xFFFF : 0; break;
                case 2: want = inBox ? (uint16_t)(v ? ((v << 12) - 1) | 0x0FFF : 0x0FFF) : 0; break;
                case 3: want = boxWithEdge ? (uint16_t)(v ? ((v << 12) - 1) | 0x0FFF : 0x0FFF) : 0; break;
            }
            if (got != want) {
                return "texture pixel (" + std::to_string(x) + "," + std::to_string(y) + ") is " +
                       std::to_string(got) + ", expected " + std::to_string(want);
            }
        }
    }
    return "";
}

TEST_F(GlyphCache, CellsHoldGdisOwnBitmapsForEveryTypeInBothModes) {
    const char* text = "Ag" SJIS_KAN SJIS_HALF_KA;
    const std::vector<unsigned> codes = CharCodes(text);
    for (int texture = 0; texture < 2; ++texture) {
        if (texture && !CanUseTextureCache()) {
            ADD_FAILURE() << "the device offers no texture cache";
            continue;
        }
        for (int type = 0; type < 4; ++type) {
            SCOPED_TRACE(testing::Message() << (texture ? "texture" : "memory") << " type " << type);
            const int h = texture ? TextureFont(20, type, type & 1 ? 2 : -1) : MemoryFont(20, type, type & 1 ? 2 : -1);
            ASSERT_NE(-1, h);
            ASSERT_EQ(texture, FontHandleToRecord(h)->textureMode);
            for (unsigned code : codes) {
                const int charCode = code > 255 ? (int)((code >> 8) | ((code & 0xFF) << 8)) : (int)code;
                char one[3] = {(char)(code > 255 ? code >> 8 : code), (char)(code > 255 ? code & 0xFF : 0), 0};
                Measure(h, one);
                EXPECT_EQ("", CompareCell(h, code, charCode)) << "code " << code;
            }
        }
    }
}

TEST_F(GlyphCache, EvictionIsRoundRobinAndRendersAgainOnNextUse) {
    const int h = MemoryFont(64, 0);  // large cells: a small capacity
    ASSERT_NE(-1, h);
    FontData* f = FontHandleToRecord(h);
    const int capacity = f->capacity;
    ASSERT_LT(capacity, 120);
    // capacity + 1 distinct one-byte characters from '!'.
    std::string text;
    for (int i = 0; i <= capacity; ++i) text += (char)('!' + i);
    Measure(h, text.c_str());
    EXPECT_EQ(0, f->codeMap['!'].cached) << "the first glyph gave up its slot";
    EXPECT_EQ(1, f->codeMap['!' + capacity].cached);
    EXPECT_EQ(&f->slots[0], f->codeMap['!' + capacity].slot);
    EXPECT_EQ(1, f->nextSlot);
    Measure(h, "!");
    EXPECT_EQ(1, f->codeMap['!'].cached);
    EXPECT_EQ(&f->slots[1], f->codeMap['!'].slot);
    EXPECT_EQ(0, f->codeMap['"'].cached);
}

TEST_F(GlyphCache, ARepeatedCharacterTakesTwoSlotsAndTheLaterOwnsIt) {
    const int h = MemoryFont(16, 1);
    FontData* f = FontHandleToRecord(h);
    Measure(h, "QQ");
    EXPECT_EQ(2, f->nextSlot);
    EXPECT_EQ(&f->slots[1], f->codeMap['Q'].slot);
    EXPECT_EQ(1, f->slots[0].inUse);
}

TEST_F(GlyphCache, MeasuringFillsTheCache) {
    const int h = MemoryFont(16, 2);
    FontData* f = FontHandleToRecord(h);
    EXPECT_EQ(0, f->codeMap[0xBF8A].cached);
    Measure(h, "xy" SJIS_KAN);
    EXPECT_EQ(1, f->codeMap['x'].cached);
    EXPECT_EQ(1, f->codeMap['y'].cached);
    EXPECT_EQ(1, f->codeMap[0xBF8A].cached) << "two-byte code: first byte + 256 x second";
}

TEST_F(GlyphCache, ClearingEmptiesTheMapAndMarksTheEnd) {
    const int h = MemoryFont(8, 0);
    FontData* f = FontHandleToRecord(h);
    const int capacity = f->capacity;
    Measure(h, "abc");
    ASSERT_EQ(0, ClearGlyphCache(h));
    EXPECT_EQ(0, f->codeMap['a'].cached);
    EXPECT_EQ(0, f->slots[0].inUse);
    EXPECT_EQ(0, f->nextSlot);
    EXPECT_EQ(capacity - 1, f->slots[capacity - 1].cellIndex);
    EXPECT_EQ(-1, f->slots[capacity].cellIndex) << "the entry past the last slot ends the table";
    EXPECT_EQ(-1, ClearGlyphCache(-1));
    EXPECT_EQ(-1, PrepareFontGlyphs(-1, "a", -1, nullptr, nullptr));
    EXPECT_EQ(nullptr, RenderGlyphsToCache(1, nullptr, -1));
}

TEST_F(GlyphCache, SpacesOnlyAdvanceAndEmptyGlyphsKeepTheirAdvance) {
    const int h = MemoryFont(16, 1, 2);
    FontData* f = FontHandleToRecord(h);
    GdiFont gdi(f->fontObject);
    Measure(h, " " SJIS_WIDE_SPACE);
    const FontGlyphSlot* space = f->codeMap[' '].slot;
    ASSERT_NE(nullptr, space);
    EXPECT_EQ(4, space->width);
    EXPECT_EQ(4, space->height);
    EXPECT_EQ(gdi.glyph(' ', false).gm.gmCellIncX + 4, space->advance);
    ASSERT_NE(nullptr, f->codeMap[0x4081].slot);
}

}  // namespace
