// Strings on the real screen: the texture road through Direct3D and the 2D road through DirectDraw, each compared
// with what the memory path draws for the same font, and the on-screen log presented into the window, also after a
// display-mode change and a device restore.
#include "tests/font/font_test_support.h"

#include "graphics/ddraw/blit2d.h"
#include "graphics/d3d/device3d.h"
#include "graphics/draw.h"
#include "graphics/graphics.h"
#include "graphics/restore.h"
#include "runtime/screen_log.h"
#include "runtime/window.h"
#include "tests/graphics/test_draw_support.h"

namespace {

constexpr uint32_t kBackground = 0x000080;

// The memory path's picture of a string over the background, its alpha (types 2 and 3) blended the way the screen
// blends it.
std::vector<uint32_t> MemoryPicture(int memoryFont, const char* text, const RECT& rect, int x, int y, uint32_t body,
                                    uint32_t edge, int vertical = 0) {
    // A fill no glyph pixel can have marks what the string left alone.
    constexpr uint32_t kUntouched = 0x01020304;
    TestImage image(rect.right, rect.bottom, 32, kUntouched);
    DrawInto(image, memoryFont, text, x, y, (int)body, (int)edge, 1, vertical);
    std::vector<uint32_t> out;
    const bool alpha = (FontHandleToRecord(memoryFont)->fontType & 2) != 0;
    for (int py = rect.top; py < rect.bottom; ++py) {
        for (int px = rect.left; px < rect.right; ++px) {
            const uint32_t p = image.at(px, py);
            if (p == kUntouched) {
                out.push_back(kBackground);
                continue;
            }
            if (!alpha) {
                out.push_back(p & 0xFFFFFF);
                continue;
            }
            const int a = (int)(p >> 24);
            uint32_t mixed = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                const int s = (int)((p >> shift) & 0xFF), d = (int)((kBackground >> shift) & 0xFF);
                mixed |= (uint32_t)(d + (s - d) * a / 255) << shift;
            }
            out.push_back(mixed);
        }
    }
    return out;
}

class FontScreen : public FontSuite {
protected:
    void SetUp() override {
        FontSuite::SetUp();
        ASSERT_EQ(0, SetTargetScreen(-2));
        SetViewportRectImpl(0, 0, 640, 480);
        FillBackScreen(kBackground);
    }
    // Draws through the public entry and compares the back screen with the memory path's picture.
    std::string DrawAndCompare(int screenFont, int memoryFont, const char* text, int x, int y, uint32_t edge,
                               int tolerance, const RECT& rect) {
        if (DrawStringWithFont(x, y, text, (int)RgbToScreenPixelImpl(255, 255, 255), screenFont,
                               (int)RgbToScreenPixelImpl((edge >> 16) & 0xFF, (edge >> 8) & 0xFF, edge & 0xFF),
                               0) != 0) {
            return "the draw failed";
        }
        std::vector<uint32_t> want = MemoryPicture(memoryFont, text, rect, x, y, 0xFFFFFF, edge);
        std::vector<uint32_t> got = ReadBackScreen(rect);
        if (got.empty()) return "the back screen cannot be read";
        if (tolerance < 0) {
            // Only which pixels are touched is compared.
            for (uint32_t& p : got) p = p == kBackground ? 0 : 1;
            for (uint32_t& p : want) p = p == kBackground ? 0 : 1;
            tolerance = 0;
        }
        size_t i = 0;
        return DescribePixelDifferences(rect, got, [&](int, int) { return want[i++]; }, tolerance);
    }
};

TEST_F(FontScreen, TheTextureRoadMatchesTheMemoryPath) {
    ASSERT_EQ(1, CanUseTextureCache()) << "the Direct3D device offers the glyph texture formats";
    const char* text = "Tx" SJIS_KAN SJIS_HALF_KA "q";
    const struct {
        int type, edge, tolerance;
    // The anti-aliased edged type joins overlapping edge coverages on the texture road but keeps the largest in
    // memory, and draws two layers instead of one mixed pixel: there the two roads agree on which pixels they touch.
    } cases[] = {{0, -1, 8}, {1, 1, 8}, {1, 2, 8}, {2, -1, 24}, {3, 1, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " edge " << c.edge);
        FillBackScreen(kBackground);
        const int screenFont = TextureFont(22, c.type, c.edge);
        const int memoryFont = MemoryFont(22, c.type, c.edge);
        ASSERT_EQ(1, FontHandleToRecord(screenFont)->textureMode);
        EXPECT_EQ("", DrawAndCompare(screenFont, memoryFont, text, 13, 7, 0xFF0000, c.tolerance, RECT{0, 0, 160, 40}));
        // A colour scale darkens body and edge alike on both roads.
        FillBackScreen(kBackground);
        SetDrawColorScaleRgb(0x808080);
        const std::string darker =
            DrawAndCompare(screenFont, memoryFont, text, 13, 7, 0xFF0000, c.tolerance, RECT{0, 0, 160, 40});
        SetDrawColorScaleRgb(0xFFFFFF);
        EXPECT_EQ("", darker) << "under colour scale 0x808080";
    }
}

TEST_F(FontScreen, TheTextureRoadDrawsIntoAGraphAsIntoTheScreen) {
    const int screenFont = TextureFont(22, 1, 1);
    const int memoryFont = MemoryFont(22, 1, 1);
    SetCreateDrawValidGraph(1);
    const int canvas = CreateGraphOrFail(160, 40, 1, 0, 0);
    SetCreateDrawValidGraph(0);
    ASSERT_NE(-1, canvas);
    ASSERT_EQ(0, FillGraphImpl(canvas, 0, 0, 128, 255));
    ASSERT_EQ(0, SetTargetScreen(canvas));
    const char* text = "In" SJIS_KAN "g";
    ASSERT_EQ(0, DrawStringWithFont(6, 5, text, (int)RgbToScreenPixelImpl(255, 255, 255), screenFont,
                                    (int)RgbToScreenPixelImpl(255, 0, 0), 0));
    ASSERT_EQ(0, SetTargetScreen(-2));
    SetViewportRectImpl(0, 0, 640, 480);
    FillBackScreen(0x303030);
    ASSERT_EQ(0, DrawGraphAtImpl(0, 0, canvas, 0));
    const RECT rect = {0, 0, 160, 40};
    const std::vector<uint32_t> want = MemoryPicture(memoryFont, text, rect, 6, 5, 0xFFFFFF, 0xFF0000);
    const std::vector<uint32_t> got = ReadBackScreen(rect);
    ASSERT_FALSE(got.empty());
    size_t i = 0;
    EXPECT_EQ("", DescribePixelDifferences(rect, got, [&](int, int) { return want[i++]; }, 8));
    ReleaseGraphImpl(canvas, 0);
}

TEST_F(FontScreen, TheTextureRoadDrawsStringsWithMoreNewGlyphsThanItsCache) {
    // The glyphs past the capacity take the cells of the string's first glyphs while those still wait in the
    // vertex batch; the first glyphs are the ones on screen.
    const int screenFont = TextureFont(64, 0);
    const int memoryFont = MemoryFont(64, 0);
    const int capacity = FontHandleToRecord(screenFont)->capacity;
    ASSERT_LE(capacity, 90);
    std::string text;
    for (int i = 0; i < capacity + 4; ++i) text += (char)('!' + i);
    EXPECT_EQ("", DrawAndCompare(screenFont, memoryFont, text.c_str(), 0, 0, 0, 8, RECT{0, 0, 640, 80}));
}

TEST_F(FontScreen, ACacheGraphDeletedBehindTheFontComesBackEmptyAndStillDraws) {
    const int screenFont = TextureFont(20, 1, 1);
    const int memoryFont = MemoryFont(20, 1, 1);
    FontData* f = FontHandleToRecord(screenFont);
    ASSERT_EQ("", DrawAndCompare(screenFont, memoryFont, "Abc", 5, 5, 0, 8, RECT{0, 0, 80, 30}));
    ASSERT_EQ(1, f->codeMap['A'].cached);
    ReleaseGraphImpl(f->cacheGraph, 0);
    EXPECT_EQ(1, f->cacheGraphLost);
    FillBackScreen(kBackground);
    EXPECT_EQ("", DrawAndCompare(screenFont, memoryFont, "Abd", 5, 5, 0, 8, RECT{0, 0, 80, 30}));
    EXPECT_EQ(0, f->cacheGraphLost);
    EXPECT_EQ(0, f->codeMap['c'].cached) << "the new cache started empty";
}

TEST_F(FontScreen, TextureScalesAndTheDrawStateAroundEachGlyph) {
    const int h = TextureFont(20, 1, 1);
    const int plain = Measure(h, "Wide");
    EXPECT_EQ(2 * plain, DrawFontString(0, 0, 0, 1, 2.0, 1.0, "Wide", 0, nullptr, nullptr, 0, h, 0, -1, 0, nullptr));
    EXPECT_EQ(3 * plain, DrawFontString(0, 0, 0, 1, 2.0, 3.0, "Wide", 0, nullptr, nullptr, 0, h, 0, -1, 1, nullptr))
        << "vertical writing advances by the y scale";

    // Scale 2 draws twice as wide.
    const int white = (int)RgbToScreenPixelImpl(255, 255, 255);
    const RECT area = GetDrawState().drawArea;
    const int clip[4] = {area.left, area.top, area.right, area.bottom};
    DrawFontString(1, 0, 0, 1, 2.0, 2.0, "Wide", white, nullptr, clip, 1, h, 0, -1, 0, nullptr);
    const std::vector<uint32_t> got = ReadBackScreen(RECT{0, 0, 2 * plain + 8, 60});
    int rightmost = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] != kBackground) rightmost = std::max(rightmost, (int)(i % (2 * plain + 8)));
    }
    EXPECT_GT(rightmost, plain + plain / 2);

    // The blend graph and the colour scale come back after the call.
    const int blend = MakePositionGraph(64, 64);
    ASSERT_NE(-1, blend);
    ASSERT_EQ(0, SetBlendGraph(blend, 10, 20));
    SetDrawColorScaleRgb(0x406080);
    DrawFontString(1, 4, 4, 0, 1.0, 1.0, "Ab", white, nullptr, clip, 1, h, 0, -1, 0, nullptr);
    EXPECT_EQ(blend, GetDrawState().blendGraph);
    EXPECT_EQ(10, GetDrawState().blendGraphBorder);
    EXPECT_EQ(20, GetDrawState().blendGraphRange);
    EXPECT_EQ(0x406080u, GetDrawState().colorScale & 0xFFFFFF);
    SetBlendGraph(-1, 0, 0);
    SetDrawColorScaleRgb(0xFFFFFF);
    ReleaseGraphImpl(blend, 0);
}

TEST_F(FontScreen, VerticalTextureTextStaysInsideANarrowedArea) {
    const int screenFont = TextureFont(24, 1, 2);
    const int memoryFont = MemoryFont(24, 1, 2);
    const int white = (int)RgbToScreenPixelImpl(255, 255, 255);
    const RECT narrow = {10, 15, 30, 50};
    SetViewportRectImpl(narrow.left, narrow.top, narrow.right, narrow.bottom);
    const int clip[4] = {narrow.left, narrow.top, narrow.right, narrow.bottom};
    DrawFontString(1, 8, 8, 0, 1.0, 1.0, "M" SJIS_KAN "g", white, nullptr, clip, 1, screenFont, 0, -1, 1, nullptr);
    EXPECT_EQ(narrow.left, GetDrawState().drawArea.left) << "the area is put back";
    EXPECT_EQ(narrow.bottom, GetDrawState().drawArea.bottom);
    SetViewportRectImpl(0, 0, 640, 480);

    const RECT rect = {0, 0, 60, 120};
    std::vector<uint32_t> want = MemoryPicture(memoryFont, "M" SJIS_KAN "g", rect, 8, 8, 0xFFFFFF, 0, 1);
    size_t i = 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x, ++i) {
            const bool inside = x >= narrow.left && x < narrow.right && y >= narrow.top && y < narrow.bottom;
            if (!inside) want[i] = kBackground;
        }
    }
    const std::vector<uint32_t> got = ReadBackScreen(rect);
    ASSERT_FALSE(got.empty());
    i = 0;
    EXPECT_EQ("", DescribePixelDifferences(rect, got, [&](int, int) { return want[i++]; }, 8));
}

class Font2DRoad : public FontScreen {
protected:
    void SetUp() override {
        FontScreen::SetUp();
        SetUse3D(0);
    }
    void TearDown() override {
        SetUse3D(1);
        FontScreen::TearDown();
    }
};

TEST_F(Font2DRoad, PlainTextIsDrawnOnTheLockedTargetAndCutAtTheStringsBox) {
    SetUse3D(0);
    const int italic = Keep(CreateFontToHandle(nullptr, 28, -1, 0, -1, -1, 1, -1, -1));
    ASSERT_NE(-1, italic);
    ASSERT_EQ(0, FontHandleToRecord(italic)->textureMode);
    const char* text = "ff";
    int size[2] = {0, 0};
    Measure(italic, text, -1, 0, size);
    // The italic overhang reaches past the measured box; nothing is drawn outside it.
    const RECT rect = {0, 0, 120, 50};
    ASSERT_EQ(0, DrawStringWithFont(20, 10, text, (int)RgbToScreenPixelImpl(255, 255, 255), italic, 0, 0));
    std::vector<uint32_t> want = MemoryPicture(italic, text, rect, 20, 10, 0xFFFFFF, 0);
    size_t i = 0;
    int cut = 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x, ++i) {
            const bool inBox = x >= 20 && x < 20 + size[0] && y >= 10 && y < 10 + size[1];
            if (!inBox && want[i] != kBackground) {
                want[i] = kBackground;
                ++cut;
            }
        }
    }
    EXPECT_GT(cut, 0) << "the overhang exists";
    const std::vector<uint32_t> got = ReadBackScreen(rect);
    ASSERT_FALSE(got.empty());
    i = 0;
    EXPECT_EQ("", DescribePixelDifferences(rect, got, [&](int, int) { return want[i++]; }, 0));
    EXPECT_EQ(kBlitRouteLocked, GetSurfaceBlitState().route);
}

TEST_F(Font2DRoad, EdgedTextGoesThroughTheWorkSurfacesColourKey) {
    const int screenFont = MemoryFont(20, 1, 1);
    const int memoryFont = MemoryFont(20, 1, 1);
    EXPECT_EQ("", DrawAndCompare(screenFont, memoryFont, "Key" SJIS_KAN, 3, 4, 0x000000, 0, RECT{0, 0, 100, 30}));
    EXPECT_EQ("", DrawAndCompare(screenFont, memoryFont, "Key" SJIS_KAN, 3, 34, 0x00FF00, 0, RECT{0, 30, 100, 60}));
}

TEST_F(Font2DRoad, EachBackEndHandsTheOtherKindOfFontAcross) {
    SetUse3D(1);
    const int textureFont = TextureFont(20, 0);
    const int memoryFont = MemoryFont(20, 0);
    ASSERT_EQ(1, FontHandleToRecord(textureFont)->textureMode);
    const int white = (int)RgbToScreenPixelImpl(255, 255, 255);
    ASSERT_EQ(0, DrawStringToTarget2D(5, 5, "Hand", white, textureFont, 0, 0));
    ASSERT_EQ(0, DrawStringToTarget3D(5, 35, "Hand", white, memoryFont, 0, 0));
    const RECT rect = {0, 0, 80, 60};
    std::vector<uint32_t> top = MemoryPicture(memoryFont, "Hand", rect, 5, 5, 0xFFFFFF, 0);
    std::vector<uint32_t> bottom = MemoryPicture(memoryFont, "Hand", rect, 5, 35, 0xFFFFFF, 0);
    for (size_t i = 0; i < top.size(); ++i) {
        if (bottom[i] != kBackground) top[i] = bottom[i];
    }
    const std::vector<uint32_t> got = ReadBackScreen(rect);
    ASSERT_FALSE(got.empty());
    size_t i = 0;
    EXPECT_EQ("", DescribePixelDifferences(rect, got, [&](int, int) { return top[i++]; }, 8));
}

// The log's lines reach the window: white text with a black edge at (0, i x 16), checked against GDI's glyphs.
std::string LogShows(const std::vector<std::string>& lines) {
    SetUse3D(0);
    const int reference = CreateFontToHandle(nullptr, 16, 4, 1, -1, -1, 0, -1, -1);
    SetUse3D(1);
    if (reference == -1) return "no reference font";
    SetScreenBackgroundColor(0, 0, 128);
    SetTargetScreen(-2);
    ClearTargetScreen();
    PresentBackScreen2D();
    std::string problem;
    if (!IsFontHandleValid(GetScreenLogFontForTest())) return "the log has no font after drawing";
    const RECT rect = {0, 0, 120, (int)lines.size() * 16};
    TestImage picture(rect.right, rect.bottom, 32, kBackground);
    for (size_t i = 0; i < lines.size(); ++i) {
        DrawInto(picture, reference, lines[i].c_str(), 0, (int)i * 16, 0xFFFFFF, 0x000000);
    }
    DeleteFontHandle(reference);
    // The window's client area as the primary surface holds it.
    IDirectDrawSurface7* primary = GetDisplayState().primarySurface;
    if (primary == nullptr) return "no primary surface";
    POINT origin = {0, 0};
    ClientToScreen(GetMainHwnd(), &origin);
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof(desc);
    if (FAILED(primary->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) return "primary not locked";
    std::vector<uint32_t> shown;
    for (int y = rect.top; y < rect.bottom; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(desc.lpSurface) + (size_t)(origin.y + y) * desc.lPitch;
        for (int x = rect.left; x < rect.right; ++x) {
            uint32_t v = 0;
            std::memcpy(&v, row + (size_t)(origin.x + x) * 4, 4);
            shown.push_back(v & 0xFFFFFF);
        }
    }
    primary->Unlock(nullptr);
    int differences = 0, inked = 0;
    size_t i = 0;
    for (int y = rect.top; y < rect.bottom && differences < 4; ++y) {
        for (int x = rect.left; x < rect.right && differences < 4; ++x) {
            const uint32_t want = picture.at(x, y) & 0xFFFFFF, got = shown[i++];
            inked += want == 0xFFFFFF;
            if (!ColorsClose(want, got, 8)) {
                ++differences;
                problem += "(" + std::to_string(x) + "," + std::to_string(y) + ") " + std::to_string(got) + " not " +
                           std::to_string(want) + "; ";
            }
        }
    }
    SetScreenBackgroundColor(0, 0, 0);
    if (inked < 20) problem += "too little text";
    return problem;
}

class ScreenLogFont : public FontSuite {
protected:
    void TearDown() override {
        ScreenLogClearLinesForTest();
        FontSuite::TearDown();
    }
};

TEST_F(ScreenLogFont, LinesReachTheWindowAlsoAfterAModeChangeAndARestore) {
    const std::vector<std::string> lines = {"Log line 1", "second" SJIS_KAN};
    for (const std::string& line : lines) ASSERT_EQ(0, ScreenLogPutLineForTest(line.c_str()));
    EXPECT_EQ("", LogShows(lines));
    const int fonts = GetLiveFontCount();
    const int logFont = GetScreenLogFontForTest();

    ASSERT_EQ(0, RestoreScreenSystem());
    EXPECT_EQ("", LogShows(lines)) << "after a device restore";
    EXPECT_EQ(fonts, GetLiveFontCount()) << "the log took its re-made font back";
    EXPECT_EQ(logFont, GetScreenLogFontForTest());
    ASSERT_EQ(0, RestoreScreenSystem());
    EXPECT_EQ(fonts, GetLiveFontCount());

}

// A display-mode change restarts the graphics and deletes every font, the log's too; the log makes its font again
// and its lines still reach the screen. Full screen is reached at the X server's own size, in a child process of its
// own so the suite keeps its window.
std::string CheckLogAcrossModeChange() {
    ChangeWindowMode(1);
    SetLogFileEnabled(0);
    if (StartUpLibrary() != 0) return "start-up failed";
    const std::vector<std::string> lines = {"mode change", SJIS_KAN "x"};
    for (const std::string& line : lines) ScreenLogPutLineForTest(line.c_str());
    std::string problem = LogShows(lines);
    const int fonts = GetLiveFontCount();
    ChangeDisplayMode(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), 32, 0, -1);
    ChangeWindowMode(0);
    if (problem.empty()) problem = LogShows(lines);
    ChangeWindowMode(1);
    if (problem.empty()) problem = LogShows(lines);
    if (problem.empty() && GetLiveFontCount() != fonts) problem = "the font count changed";
    ShutDownLibrary();
    return problem;
}

TEST(ScreenLogModeChange, LinesStillShowAfterChangeWindowMode) {
    EXPECT_EXIT(
        {
            DisplayWatchdog watchdog(120);
            const std::string problem = CheckLogAcrossModeChange();
            fprintf(stderr, "%s\n", problem.c_str());
            ExitProcess(problem.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
