// The display device on the real DirectDraw of this machine, started the way the game starts it (the whole runtime
// in a window): the screens it makes, a second start, the round trip through shutdown, and the software screens.
#include "tests/graphics/test_display_fixture.h"

#include <string>

#include "graphics/ddraw/display_internal.h"
#include "graphics/color/lookup_tables.h"
#include "graphics/color/memimg.h"
#include "graphics/ddraw/present.h"
#include "runtime/log.h"
#include "runtime/memory.h"
#include "runtime/window.h"
#include "tests/runtime/test_window_support.h"

namespace {

constexpr int kRed = 0x20, kGreen = 0x60, kBlue = 0xA0;

// Checks the window-mode screens right after a start.
void ExpectWindowScreens() {
    DisplayState& s = GetDisplayState();
    ASSERT_NE(s.displayObject, nullptr);
    EXPECT_NE(s.clipper, nullptr);
    ASSERT_NE(s.primarySurface, nullptr);
    ASSERT_NE(s.backSurface, nullptr);
    EXPECT_NE(s.workSurface1, nullptr);
    EXPECT_NE(s.workSurface2, nullptr);
    EXPECT_NE(s.zSurface, nullptr);
    EXPECT_EQ(s.useMemImgScreens, 0);
    EXPECT_EQ(s.started, 1);

    // The X display here runs at 24 bits, which the system shows as a 32-bit 8:8:8 desktop.
    EXPECT_EQ(GetScreenColorBits(), 32);
    EXPECT_EQ(s.screenFormatCode, kScreenFormatX8R8G8B8);

    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    ASSERT_EQ(s.backSurface->GetSurfaceDesc(&desc), DD_OK);
    EXPECT_EQ(desc.dwWidth, 640u);
    EXPECT_EQ(desc.dwHeight, 480u);
    EXPECT_EQ(desc.ddpfPixelFormat.dwRGBBitCount, 32u);

    const uint32_t expected = ((uint32_t)kRed << 16) | ((uint32_t)kGreen << 8) | kBlue;
    const int points[][2] = {{0, 0}, {639, 0}, {0, 479}, {639, 479}, {320, 240}};
    for (const auto& p : points) {
        uint32_t value = 0;
        ASSERT_TRUE(ReadSurfacePixel(s.backSurface, p[0], p[1], &value, nullptr));
        EXPECT_EQ(value & 0xFFFFFF, expected) << p[0] << "," << p[1];
    }
}

TEST(DisplayDevice, WindowStartFillsTheBackSurfaceAndRejectsASecondStart) {
    DisplayWatchdog watchdog(120);
    SetScreenBackgroundColor(kRed, kGreen, kBlue);
    const int liveBefore = GetTrackedAllocCount();
    const int indentBefore = GetLogIndent();
    // The renderer's tables are built by a successful start; clear them so this start has to rebuild them.
    std::memset(ParamScaleTable, 0, sizeof(ParamScaleTable));
    std::memset(Lerp6Table, 0, sizeof(Lerp6Table));

    {
        ScratchDirectory logFolder;  // the start-up's log file lands here
        ASSERT_EQ(StartRuntimeInWindow(1), 0);
        // Texts that carry their own line end are written as they are, so the start-up log has no blank line.
        const std::string log = logFolder.ReadFile("Log.txt");
        EXPECT_NE(log.find("スキャンラインの数:"), std::string::npos);
        EXPECT_EQ(log.find("\r\n\r\n"), std::string::npos) << log;
        EXPECT_EQ(ShutDownLibrary(), 0);
    }
    ASSERT_EQ(StartRuntimeInWindow(), 0);
    EXPECT_EQ(ParamScaleTable[128][255], 128);
    EXPECT_EQ(Lerp6Table[32][63][0], 32);
    EXPECT_EQ(GetLogIndent(), indentBefore);
    ExpectWindowScreens();

    // Wine's display refreshes at 60 Hz; whatever it reports, the pacing interval follows the frame time.
    DisplayState& s = GetDisplayState();
    EXPECT_GT(s.frameTime, 0);
    EXPECT_EQ(s.frameInterval, (2 * s.frameTime - 4) / 3);

    IDirectDraw7* object = s.displayObject;
    EXPECT_EQ(StartDisplayDevice(), -1);
    EXPECT_EQ(s.displayObject, object);
    EXPECT_EQ(GetLogIndent(), indentBefore);

    // Hold the object past the shutdown: once every surface and the clipper are gone, ours is the last reference.
    object->AddRef();
    EXPECT_EQ(ShutDownLibrary(), 0);
    EXPECT_EQ(s.displayObject, nullptr);
    EXPECT_EQ(s.primarySurface, nullptr);
    EXPECT_EQ(s.backSurface, nullptr);
    EXPECT_EQ(s.started, 0);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(GetTrackedAllocCount(), liveBefore);

    // And once more: the second start works like the first and leaves nothing behind either.
    ASSERT_EQ(StartRuntimeInWindow(), 0);
    ExpectWindowScreens();
    EXPECT_EQ(ShutDownLibrary(), 0);
    EXPECT_EQ(GetTrackedAllocCount(), liveBefore);
    SetScreenBackgroundColor(0, 0, 0);
}

// Before the library runs a mode change only stores the values; its log indent must not outlive the call.
TEST(DisplayDevice, ModeChangeBeforeStartStoresTheModeAndLeavesTheLogIndentAlone) {
    DisplayState& s = GetDisplayState();
    ASSERT_EQ(s.displayObject, nullptr);
    const int indent = GetLogIndent();
    const int width = s.screenWidth, height = s.screenHeight, bits = s.screenBits;
    EXPECT_EQ(ChangeDisplayMode(800, 600, 16, 0, -1), 0);
    EXPECT_EQ(GetLogIndent(), indent);
    EXPECT_EQ(s.screenWidth, 800);
    EXPECT_EQ(s.screenHeight, 600);
    EXPECT_EQ(ChangeDisplayMode(width, height, bits, 1, -1), 0);
    EXPECT_EQ(GetLogIndent(), indent);
    EXPECT_EQ(s.screenWidth, width);
}

// Software mode lasts for the process, so each case runs in a child process of its own.
std::string CheckSoftwareScreens(int bits) {
    if (bits != 0) ChangeDisplayMode(-1, -1, bits, 0, -1);
    SetSoftwareDrawRequest(1);
    SetScreenBackgroundColor(kRed, kGreen, kBlue);
    ScratchDirectory logFolder;
    if (StartRuntimeInWindow(1) != 0) return "start-up failed";
    // Each screen's placement is a line of its own.
    if (logFolder.ReadFile("Log.txt").find("\tPrimaryBuffer : SYSTEMMEMORY( MEMIMG ) \r\n") == std::string::npos) {
        return "placement of the software screens not logged as a line";
    }
    DisplayState& s = GetDisplayState();
    const int type = (bits == 32) ? kMemImgColor32 : kMemImgColor16;
    if (!IsMemImgDrawMode() || IsDirectDrawActive()) return "not in software drawing";
    if (s.useMemImgScreens != 1) return "no software screens";
    if (s.primarySurface != nullptr || s.backSurface != nullptr || s.clipper != nullptr) return "surfaces made";
    if (s.displayObject == nullptr) return "no object for the vertical-blank waits";
    for (const MEMIMG* image : {&s.primaryImage, &s.backImage}) {
        if (image->magic != kMemImgMagic) return "screen image not initialised";
        if (image->pixelType != type) return "screen pixel type " + std::to_string(image->pixelType);
        if (image->width != 640 || image->height != 480) return "screen size";
        const uint32_t fill = RgbaToFormatValue(image->format, kRed, kGreen, kBlue, 255);
        const uint32_t mask = type == kMemImgColor16 ? 0xFFFFu : 0xFFFFFFu;
        uint32_t pixel = 0;
        std::memcpy(&pixel, image->pixels + 239 * image->pitch + 320 * image->format->bytesPerPixel,
                    image->format->bytesPerPixel);
        if ((pixel & mask) != (fill & mask)) return "screen not filled with the background colour";
    }
    if (s.zImage.magic != kMemImgMagic || s.zImage.pixelType != kMemImgDepth16) return "Z image";
    if (ShutDownLibrary() != 0) return "shutdown failed";
    if (s.backImage.magic != 0 || s.backImage.pixels != nullptr) return "screen images not released";
    return "";
}

TEST(DisplayDeviceSoftware, ScreensAreSoftwareImagesOfTheImageDepth) {
    for (int bits : {0, 32}) {
        SCOPED_TRACE(testing::Message() << "depth " << bits);
        ExpectCheckPassesInChild([bits] { return CheckSoftwareScreens(bits); });
    }
}

}  // namespace
