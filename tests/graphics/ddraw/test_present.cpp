// Presenting: the pacing step against a scripted display and clock, the 64-bit present counter, and what the
// window shows after a present on the DirectDraw path and through the software screens.
#include "tests/graphics/test_display_fixture.h"

#include <string>
#include <vector>

#include "graphics/color/memimg.h"
#include "graphics/ddraw/present.h"
#include "graphics/ddraw/present_internal.h"
#include "graphics/ddraw/screen_front.h"
#include "runtime/window.h"

namespace {

struct PacingScript {
    unsigned int now = 1000;
    bool inBlank = false;
    std::vector<unsigned int> sleeps;
    int blankWaits = 0;
};

unsigned int ScriptNow(void* c) { return static_cast<PacingScript*>(c)->now; }
void ScriptSleep(void* c, unsigned int ms) {
    auto* p = static_cast<PacingScript*>(c);
    p->sleeps.push_back(ms);
    p->now += ms;
}
int ScriptInBlank(void* c, int* in) {
    *in = static_cast<PacingScript*>(c)->inBlank ? 1 : 0;
    return 0;
}
void ScriptWaitBlank(void* c) { ++static_cast<PacingScript*>(c)->blankWaits; }

TEST(PresentPacing, SleepsOutTheIntervalOrOnlyCatchesTheNextBlank) {
    struct Case {
        const char* name;
        unsigned int sinceLast;
        int interval;
        bool inBlank;
        std::vector<unsigned int> sleeps;
        int blankWaits;
    } cases[] = {
        {"early copy sleeps in 1 ms steps, then waits", 6, 9, false, {1, 1, 1}, 1},
        {"early copy waits for the blank even inside one", 8, 9, true, {1}, 1},
        {"late copy yields and waits outside a blank", 12, 9, false, {0}, 1},
        {"late copy inside a blank copies at once", 12, 9, true, {0}, 0},
        {"unknown interval takes the late form", 0, -1, false, {0}, 1},
    };
    for (const Case& c : cases) {
        PacingScript script;
        script.inBlank = c.inBlank;
        const unsigned int last = script.now - c.sinceLast;
        PacingSource source{&script, ScriptNow, ScriptSleep, ScriptInBlank, ScriptWaitBlank};
        const unsigned int stamp = PaceBeforeCopy(source, last, c.interval);
        EXPECT_EQ(script.sleeps, c.sleeps) << c.name;
        EXPECT_EQ(script.blankWaits, c.blankWaits) << c.name;
        EXPECT_EQ(stamp, script.now) << c.name;
    }
}

TEST(PresentCounter, CarriesIntoTheHighHalf) {
    ResetFlipCounter();
    EXPECT_EQ(GetFlipCount(), 0u);
    CountFlip();
    CountFlip();
    EXPECT_EQ(GetFlipCount(), 2u);
    SetFlipCount(0xFFFFFFFFull);
    CountFlip();
    EXPECT_EQ(GetFlipCount(), 0x100000000ull);
    CountFlip();
    EXPECT_EQ(GetFlipCount(), 0x100000001ull);
    ResetFlipCounter();
    EXPECT_EQ(GetFlipCount(), 0u);
}

TEST(PresentWithoutDisplay, ReportsFailure) {
    ASSERT_EQ(GetDisplayState().displayObject, nullptr);
    EXPECT_EQ(PresentBackScreen2DImpl(), -1);
    EXPECT_EQ(CopyBackScreenToWindow(), -1);
    EXPECT_EQ(WaitVerticalBlankCount(1), -1);
    EXPECT_EQ(SurfaceCopy(nullptr, nullptr, 0, 0, nullptr, 0), -1);
}

void FillRect(IDirectDrawSurface7* surface, RECT rect, DWORD value) {
    DDBLTFX fx;
    std::memset(&fx, 0, sizeof(fx));
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = value;
    ASSERT_EQ(surface->Blt(&rect, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
}

// Window mode on DirectDraw: the back surface reaches the window's client area through the clipped Blt, and each
// present counts once. SurfaceCopy by both methods copies a rectangle between surfaces.
TEST(PresentWindow, BackSurfaceReachesTheWindowAndSurfaceCopyMovesRectangles) {
    DisplayWatchdog watchdog(120);
    ASSERT_EQ(StartRuntimeInWindow(), 0);
    DisplayState& s = GetDisplayState();
    ASSERT_NE(s.backSurface, nullptr);
    SetTargetScreen(-2);
    FillRect(s.backSurface, {0, 0, 320, 480}, 0xC03010);
    FillRect(s.backSurface, {320, 0, 640, 480}, 0x1050E0);
    const uint64_t before = GetFlipCount();
    EXPECT_EQ(PresentBackScreen2D(), 0);
    EXPECT_EQ(GetFlipCount(), before + 1);
    // The copy lands on the window's client area of the primary.
    POINT origin = {0, 0};
    ClientToScreen(GetMainHwnd(), &origin);
    uint32_t shown = 0;
    ASSERT_TRUE(ReadSurfacePixel(s.primarySurface, origin.x + 100, origin.y + 200, &shown, nullptr));
    EXPECT_EQ(shown & 0xFFFFFF, 0xC03010u);
    ASSERT_TRUE(ReadSurfacePixel(s.primarySurface, origin.x + 600, origin.y + 400, &shown, nullptr));
    EXPECT_EQ(shown & 0xFFFFFF, 0x1050E0u);

    for (int method : {0, 1}) {
        const DWORD value = method == 0 ? 0x00A0B0C0 : 0x00405060;
        FillRect(s.backSurface, {10, 20, 30, 40}, value);
        RECT part = {10, 20, 30, 40};
        EXPECT_EQ(SurfaceCopy(s.workSurface1, s.backSurface, 100, 50, &part, method), 0) << method;
        uint32_t inside = 0, outside = 0;
        ASSERT_TRUE(ReadSurfacePixel(s.workSurface1, 119, 69, &inside, nullptr));
        ASSERT_TRUE(ReadSurfacePixel(s.workSurface1, 120, 70, &outside, nullptr));
        EXPECT_EQ(inside & 0xFFFFFF, value) << method;
        EXPECT_NE(outside & 0xFFFFFF, value) << method;
    }
    EXPECT_EQ(ShutDownLibrary(), 0);
}

std::string CheckSoftwarePresent(int bits) {
    if (bits != 0) ChangeDisplayMode(-1, -1, bits, 0, -1);
    SetSoftwareDrawRequest(1);
    if (StartRuntimeInWindow() != 0) return "start-up failed";
    DisplayState& s = GetDisplayState();
    MEMIMG& back = s.backImage;
    MEMIMG& front = s.primaryImage;
    const ColorFormat* f = back.format;
    RECT left = {0, 0, 320, 480}, right = {320, 0, 640, 480};
    FillMemImageRect(&back, &left, RgbaToFormatValue(f, 0xF8, 0x00, 0x00, 255));
    FillMemImageRect(&back, &right, RgbaToFormatValue(f, 0x00, 0x00, 0xF8, 255));
    SetTargetScreen(-2);
    if (PresentBackScreen2D() != 0) return "present failed";
    HWND window = GetMainHwnd();
    if (!ColorsClose(ReadWindowPixel(window, 50, 60), 0xF80000, 8)) return "left half not shown";
    if (!ColorsClose(ReadWindowPixel(window, 630, 470), 0x0000F8, 8)) return "right half not shown";
    if (!IsWindowShowingBackScreen()) return "window-capture flag not set";

    // The window now holds a newer picture than the front-screen image: capturing brings it back.
    FillMemImageRect(&front, nullptr, 0);
    if (CaptureWindowToBackBuffer() != 0 || IsWindowShowingBackScreen()) return "capture";
    uint32_t pixel = 0;
    std::memcpy(&pixel, front.pixels + 100 * front.pitch + 600 * front.format->bytesPerPixel,
                front.format->bytesPerPixel);
    if (pixel != RgbaToFormatValue(front.format, 0x00, 0x00, 0xF8, 255)) {
        return "captured pixel " + std::to_string(pixel) + " differs";
    }

    // A rectangle of the front-screen image goes to the same place in the window, nothing else moves.
    RECT box = {400, 300, 460, 340};
    FillMemImageRect(&front, &box, RgbaToFormatValue(front.format, 0x00, 0xF8, 0x00, 255));
    if (PresentMemImgRect(&box) != 0) return "rect present failed";
    if (!ColorsClose(ReadWindowPixel(window, 401, 301), 0x00F800, 8)) return "rect top-left not shown";
    if (!ColorsClose(ReadWindowPixel(window, 459, 339), 0x00F800, 8)) return "rect bottom-right not shown";
    if (!ColorsClose(ReadWindowPixel(window, 459, 341), 0x0000F8, 8)) return "below the rect changed";
    RECT outside = {700, 500, 800, 600};
    if (PresentMemImgRect(&outside) != 0) return "rect outside the screen";
    if (ShutDownLibrary() != 0) return "shutdown failed";
    return "";
}

// Software mode lasts for the process: each image depth (16 by default, 32 when asked) runs in a child of its own.
TEST(PresentSoftware, BackImageReachesTheWindowAndComesBack) {
    for (int bits : {0, 32}) {
        SCOPED_TRACE(testing::Message() << "depth " << bits);
        ExpectCheckPassesInChild([bits] { return CheckSoftwarePresent(bits); });
    }
}

}  // namespace

namespace {

// With the temporary primary, the front screen is drawn off-screen and the 17 ms window timer carries it onto the
// window's area of the primary.
TEST(FrontScreenTimer, CarriesTheTemporaryPrimaryOntoTheWindow) {
    DisplayWatchdog watchdog(120);
    ASSERT_EQ(SetUseTempPrimary(1), 0);
    ASSERT_EQ(StartRuntimeInWindow(), 0);
    DisplayState& s = GetDisplayState();
    ASSERT_NE(s.tempPrimarySurface, nullptr);
    EXPECT_EQ(GetOutputPrimarySurface(), s.tempPrimarySurface);
    FillRect(s.tempPrimarySurface, {0, 0, 640, 480}, 0x336699);
    ASSERT_EQ(ArmFrontScreenTimer(), 0);
    // The timer fires when the pump gets to it: on a busy machine that takes a while, so wait for the colour.
    POINT origin = {0, 0};
    ClientToScreen(GetMainHwnd(), &origin);
    uint32_t shown = 0;
    const DWORD start = GetTickCount();
    do {
        ProcessMessage();
        Sleep(5);
        ASSERT_TRUE(ReadSurfacePixel(s.primarySurface, origin.x + 320, origin.y + 240, &shown, nullptr));
    } while ((shown & 0xFFFFFF) != 0x336699u && GetTickCount() - start < 20000);
    EXPECT_EQ(shown & 0xFFFFFF, 0x336699u);
    EXPECT_EQ(ShutDownLibrary(), 0);
    SetUseTempPrimary(0);
    EXPECT_EQ(s.useTempPrimary, 0);
}

// Full screen as far as the X server offers modes: its own desktop size works as a flipping chain, presented by
// flipping.
std::string CheckFullScreen() {
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    ChangeDisplayMode(width, height, 32, 0, -1);
    ChangeWindowMode(0);
    SetLogFileEnabled(0);
    if (StartUpLibrary() != 0) return "start-up failed";
    DisplayState& s = GetDisplayState();
    if (IsWindowMode()) return "fell back to a window";
    if (s.primarySurface == nullptr || s.backSurface == nullptr) return "no flipping chain";
    if (!s.displayModeChanged) return "display mode not marked as changed";
    DDSCAPS2 caps;
    std::memset(&caps, 0, sizeof(caps));
    s.primarySurface->GetCaps(&caps);
    if (!(caps.dwCaps & DDSCAPS_FLIP)) return "primary is not a flipping surface";
    SetTargetScreen(-2);
    const uint64_t before = GetFlipCount();
    if (PresentBackScreen2D() != 0 || GetFlipCount() != before + 1) return "present did not count";
    if (ShutDownLibrary() != 0) return "shutdown failed";
    if (s.displayModeChanged) return "display mode still marked as changed";
    return "";
}

TEST(PresentFullScreen, DesktopSizedModeFlips) {
    ExpectCheckPassesInChild(CheckFullScreen);
}

}  // namespace
