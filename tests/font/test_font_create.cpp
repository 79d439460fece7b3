// Font handles and creation: which handles and arguments are refused, the 40-slot limit and the check ids, how
// type and edge settle, the cell sizes taken from GDI's metrics, the base font, re-creation after a device restore
// and what shutdown leaves.
#include "tests/font/font_test_support.h"

#include "runtime/handle.h"
#include "runtime/memory.h"

namespace {

class FontCreate : public FontSuite {};

TEST_F(FontCreate, HandlesThatNameNoFontAreRefusedEverywhere) {
    const int font = MemoryFont(16, 0);
    ASSERT_NE(-1, font);
    const int slot = HandleSlotOf(font), checkId = HandleCheckIdOf(font);
    struct Case {
        const char* what;
        int handle;
    } cases[] = {
        {"zero", 0},
        {"minus one", -1},
        {"a graph handle with the font's slot and id", MakeHandle(kHandleTypeGraph, checkId, slot)},
        {"a stale check id", MakeHandle(kHandleTypeFont, (checkId + 1) % 2048, slot)},
        {"slot 40", MakeHandle(kHandleTypeFont, checkId, 40)},
        {"bit 31 set", (int)(0x80000000u | (unsigned)font)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(0, IsFontHandleValid(c.handle));
        EXPECT_EQ(nullptr, FontHandleToRecord(c.handle));
        EXPECT_EQ(-1, DeleteFontHandle(c.handle));
        EXPECT_EQ(-1, SetFontDeletedFlagPtr(c.handle, nullptr));
        EXPECT_EQ(-1, GetFontInfoToHandle(c.handle, nullptr, nullptr, nullptr));
        EXPECT_EQ(-1, Measure(c.handle, "A"));
    }
    EXPECT_EQ(1, IsFontHandleValid(font));
}

TEST_F(FontCreate, ArgumentsOutsideTheirRangesAreRefusedWithoutUsingASlotOrCheckId) {
    const int live = GetLiveFontCount();
    const int counter = GetFontCheckCounter();
    struct Case {
        const char* what;
        int type, edge, slot, checkId;
    } cases[] = {
        {"slot -2", 0, -1, -2, -1},       {"slot 40", 0, -1, 40, -1},
        {"check id -2", 0, -1, -1, -2},   {"check id 2048", 0, -1, -1, 2048},
        {"type -2", -2, -1, -1, -1},      {"type 4", 4, -1, -1, -1},
        {"edge size -2", 0, -2, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(-1, CreateFontToHandle(nullptr, 16, -1, c.type, -1, c.edge, 0, c.slot, c.checkId));
    }
    EXPECT_EQ(live, GetLiveFontCount());
    EXPECT_EQ(counter, GetFontCheckCounter());

    // A given slot that is taken is refused the same way.
    const int font = MemoryFont(16, 0);
    ASSERT_NE(-1, font);
    EXPECT_EQ(-1, CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, HandleSlotOf(font), -1));
}

TEST_F(FontCreate, TheFortyFirstFontFailsNamingTheLimitAndTheCheckIdWraps) {
    std::vector<int> fonts;
    while (GetLiveFontCount() < kFontSlots) {
        const int h = MemoryFont(8, 0);
        ASSERT_NE(-1, h);
        fonts.push_back(h);
    }
    const int counter = GetFontCheckCounter();
    {
        LogCapture log;
        EXPECT_EQ(-1, CreateFontToHandle(nullptr, 8, -1, 0, -1, -1, 0, -1, -1));
        EXPECT_NE(std::string::npos, log.text().find("作成できるフォントハンドル数 40 の限界を超えました"));
    }
    EXPECT_EQ(counter, GetFontCheckCounter()) << "the slot search comes before the check id";
    for (int h : fonts) DeleteFontHandle(h);

    // Run the counter round to 2047: the next two fonts get 2047 and then 0.
    SetFontCheckCounterForTest(2047);
    const int last = Keep(CreateFontToHandle(nullptr, 8, -1, 0, -1, -1, 0, 3, -1));
    const int wrapped = Keep(CreateFontToHandle(nullptr, 8, -1, 0, -1, -1, 0, 4, -1));
    EXPECT_EQ(2047, HandleCheckIdOf(last));
    EXPECT_EQ(0, HandleCheckIdOf(wrapped));
    EXPECT_EQ(MakeHandle(kHandleTypeFont, 0, 4), wrapped);
}

TEST_F(FontCreate, TypeAndEdgeSettle) {
    struct Case {
        int type, edge, wantType, wantEdge;
    } cases[] = {
        {-1, -1, 0, 1}, {0, 1, 0, 1}, {0, 2, 1, 2}, {2, 3, 3, 3}, {1, -1, 1, 1}, {3, 1, 3, 1}, {1, 0, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " edge " << c.edge);
        const int h = MemoryFont(16, c.type, c.edge);
        ASSERT_NE(-1, h);
        EXPECT_EQ(c.wantType, FontHandleToRecord(h)->fontType);
        EXPECT_EQ(c.wantEdge, FontHandleToRecord(h)->edgeSize);
    }
    // An 8-bit display has no anti-aliasing.
    ScreenDepthOverride depth(8);
    EXPECT_EQ(0, FontHandleToRecord(MemoryFont(16, 2))->fontType);
    EXPECT_EQ(1, FontHandleToRecord(MemoryFont(16, 3))->fontType);
}

TEST_F(FontCreate, CellSizesFollowGdiMetrics) {
    const struct {
        int size, type, edge;
    } cases[] = {{12, 0, -1}, {16, 0, -1}, {16, 1, 1}, {16, 1, 2}, {24, 3, 3}, {31, 2, -1}, {40, 1, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.size << " type " << c.type << " edge " << c.edge);
        const int h = MemoryFont(c.size, c.type, c.edge);
        ASSERT_NE(-1, h);
        const FontData* f = FontHandleToRecord(h);
        GdiFont gdi(f->fontObject);
        const int e = (f->fontType & 1) ? f->edgeSize : 0;
        int width = gdi.metrics().tmMaxCharWidth + 2 * e;
        width = (width + 7) / 8 * 8;
        int height = gdi.metrics().tmHeight + 2 * e;
        height += height & 1;
        EXPECT_EQ(width, f->cellWidth);
        EXPECT_EQ(height, f->cellHeight);
        EXPECT_EQ(c.size, GetFontHandleHeight(h));
    }
}

TEST_F(FontCreate, AFailedCreationLeavesItsSlotFreeAndNothingAllocated) {
    const int live = GetLiveFontCount();
    const int blocks = GetTrackedAllocCount();
    // An edge this wide gives a cell no cache can hold: the allocation-failure path.
    EXPECT_EQ(-1, CreateFontToHandle(nullptr, 16, -1, 1, -1, 100000, 0, 7, -1));
    EXPECT_EQ(live, GetLiveFontCount());
    EXPECT_EQ(blocks, GetTrackedAllocCount());
    const int again = Keep(CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, 7, -1));
    EXPECT_NE(-1, again) << "slot 7 is free again";
}

TEST_F(FontCreate, DeletionWritesTheFlagAndTheInfoQueriesReadTheSettings) {
    int flag = 5;
    const int h = CreateFontToHandle(nullptr, 20, 3, 0, -1, -1, 0, -1, -1);
    ASSERT_NE(-1, h);
    ASSERT_EQ(0, SetFontDeletedFlagPtr(h, &flag));
    EXPECT_EQ(0, flag);
    char face[256] = "junk";
    int size = 0, thickness = 0;
    EXPECT_EQ(0, GetFontInfoToHandle(h, face, &size, &thickness));
    EXPECT_STREQ("", face);
    EXPECT_EQ(20, size);
    EXPECT_EQ(3, thickness);
    EXPECT_EQ(0, DeleteFontHandle(h));
    EXPECT_EQ(1, flag);
    EXPECT_EQ(0, IsFontHandleValid(h));
}

TEST_F(FontCreate, BaseFontRules) {
    const int base = GetBaseFontHandle();
    ASSERT_EQ(1, IsFontHandleValid(base));
    const FontData* f = FontHandleToRecord(base);
    EXPECT_EQ(16, f->size);
    EXPECT_EQ(6, f->thickness);
    EXPECT_EQ(0, f->fontType);
    EXPECT_STREQ("", f->faceName);

    // The same size and thickness keep the font where the charset index matches the settings'.
    const int charset = f->charsetIndex;
    ASSERT_EQ(0, SetBaseFontSize(nullptr, 16, 6));
    if (charset == GetBaseFontSettings().charsetIndex) {
        EXPECT_EQ(base, GetBaseFontHandle());
    }

    ASSERT_EQ(0, SetBaseFontSize(nullptr, 24, 3));
    EXPECT_NE(base, GetBaseFontHandle());
    EXPECT_EQ(24, FontHandleToRecord(GetBaseFontHandle())->size);
    EXPECT_EQ(3, FontHandleToRecord(GetBaseFontHandle())->thickness);
    EXPECT_EQ(0, IsFontHandleValid(base));

    ASSERT_EQ(0, SetBaseFontSize(nullptr, -1, -1));
    EXPECT_EQ(16, FontHandleToRecord(GetBaseFontHandle())->size);
    EXPECT_EQ(6, FontHandleToRecord(GetBaseFontHandle())->thickness);

    // ResetFonts deletes every other font and keeps the base font's settings.
    const int other = CreateFontToHandle(nullptr, 12, -1, 0, -1, -1, 0, -1, -1);
    ASSERT_NE(-1, other);
    ASSERT_EQ(0, SetBaseFontSize(nullptr, 20, 5));
    ASSERT_EQ(0, ResetFonts());
    EXPECT_EQ(0, IsFontHandleValid(other));
    EXPECT_EQ(1, GetLiveFontCount());
    EXPECT_EQ(20, FontHandleToRecord(GetBaseFontHandle())->size);
    ASSERT_EQ(0, SetBaseFontSize(nullptr, -1, -1));
}

TEST_F(FontCreate, RecreateAllFontsKeepsHandlesGapsAndSettings) {
    int flag = 0;
    const int a = MemoryFont(14, 1, 2);
    const int b = TextureFont(18, 2);
    ASSERT_NE(-1, a);
    ASSERT_NE(-1, b);
    SetFontCharGapToHandle(3, a);
    SetFontCharGapToHandle(-1, b);
    SetFontDeletedFlagPtr(a, &flag);
    const int live = GetLiveFontCount();
    const int widthA = Measure(a, "AB" SJIS_KAN);

    ASSERT_EQ(0, RecreateAllFonts());
    EXPECT_EQ(1, flag);
    EXPECT_EQ(live, GetLiveFontCount());
    ASSERT_EQ(1, IsFontHandleValid(a));
    ASSERT_EQ(1, IsFontHandleValid(b));
    EXPECT_EQ(3, FontHandleToRecord(a)->charGap);
    EXPECT_EQ(-1, FontHandleToRecord(b)->charGap);
    EXPECT_EQ(1, FontHandleToRecord(a)->fontType);
    EXPECT_EQ(2, FontHandleToRecord(a)->edgeSize);
    EXPECT_EQ(14, FontHandleToRecord(a)->size);
    EXPECT_EQ(widthA, Measure(a, "AB" SJIS_KAN));
}

TEST_F(FontCreate, LeadBytesByCharsetKind) {
    const struct {
        unsigned char byte;
        int kind, want;
    } cases[] = {
        {0x80, 1, 0}, {0x81, 1, 1}, {0x9F, 1, 1}, {0xA0, 1, 0}, {0xDF, 1, 0}, {0xE0, 1, 1}, {0xFC, 1, 1},
        {0xFD, 1, 0}, {0x41, 1, 0}, {0x81, 0, 1}, {0xB6, 0, 0}, {0x80, 2, 1}, {0xB0, 2, 1}, {0xFF, 2, 1},
        {0x7F, 2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "byte " << (int)c.byte << " kind " << c.kind);
        EXPECT_EQ(c.want, IsLeadByte(&c.byte, c.kind));
    }
}

TEST_F(FontCreate, EndFontsLeavesNoFontAndFreesTheirBlocks) {
    for (int i = 0; i < 5; ++i) ASSERT_NE(-1, Keep(CreateFontToHandle(nullptr, 16 + i, -1, i % 4, -1, -1, 0, -1, -1)));
    Measure(GetBaseFontHandle(), "ABC" SJIS_KAN);
    const int fonts = GetLiveFontCount();
    const int blocks = GetTrackedAllocCount();
    ASSERT_EQ(0, EndFonts());
    EXPECT_EQ(0, GetLiveFontCount());
    // Each font held at least its record, its cache and its GDI-side work block or work surface.
    EXPECT_LE(GetTrackedAllocCount(), blocks - 2 * fonts);
    EXPECT_EQ(0, IsFontHandleValid(GetBaseFontHandle()));
    // Graphics start-up makes the base font again; so does this.
    ASSERT_EQ(0, ResetFonts());
    EXPECT_EQ(1, IsFontHandleValid(GetBaseFontHandle()));
}

}  // namespace

