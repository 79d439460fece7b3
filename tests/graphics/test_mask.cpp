// The screen mask on every road the runtime draws by: Direct3D (the mask surface is the render target), the
// DirectDraw 2D back end, and software images (in a child process). Each draw is made once without the mask as a
// reference, then through one fixture mask, and the screen must show the reference where the mask allows and the
// old background where it forbids.
#include "tests/graphics/test_draw_support.h"
#include "tests/graphics/test_graph_support.h"
#include "tests/runtime/test_log_fixture.h"

#include <functional>
#include <string>

#include "graphics/d3d/d3d_device.h"
#include "graphics/draw.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/mask.h"
#include "graphics/restore.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/surface_data.h"
#include "runtime/handle.h"
#include "runtime/memory.h"
#include "runtime/runtime.h"

namespace {

constexpr uint32_t kBackground = 0x203040;
const RECT kRegion = {280, 90, 360, 160};
// Single forbidden pixels inside the allowed left half, all under every draw below.
const int kForbiddenDots[][2] = {{300, 110}, {310, 121}, {305, 133}, {319, 100}};

// The fixture mask: the left half of the screen allowed (0), the right half and the dots forbidden.
void FillFixtureMask() {
    int pitch = 0;
    uint8_t* bytes = GetMaskBytesForTest(&pitch);
    ASSERT_NE(bytes, nullptr);
    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) bytes[y * pitch + x] = x >= width / 2 ? 1 : 0;
    }
    for (const auto& d : kForbiddenDots) bytes[d[1] * pitch + d[0]] = 1;
}

bool ForbiddenByFixture(int x, int y) {
    if (x >= 320) return true;
    for (const auto& d : kForbiddenDots) {
        if (d[0] == x && d[1] == y) return true;
    }
    return false;
}

// How a road puts a colour on the whole back screen and reads a rectangle of it back.
struct Road {
    std::function<void(uint32_t)> fill;
    std::function<std::vector<uint32_t>(const RECT&)> read;
};

Road SurfaceRoad() { return {[](uint32_t rgb) { FillBackScreen(rgb); }, [](const RECT& r) { return ReadBackScreen(r); }}; }

Road SoftwareRoad() {
    return {[](uint32_t rgb) {
                MEMIMG& back = GetDisplayState().backImage;
                FillMemImageRect(&back, nullptr,
                                 RgbaToFormatValue(back.format, (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF, 255));
            },
            [](const RECT& r) {
                std::vector<uint32_t> out;
                const MEMIMG& back = GetDisplayState().backImage;
                for (int y = r.top; y < r.bottom; ++y) {
                    for (int x = r.left; x < r.right; ++x) out.push_back(MemImagePixelRgb(back, x, y));
                }
                return out;
            }};
}

struct DrawCase {
    const char* name;
    std::function<int()> draw;
};

enum class MaskSetting { kOn, kReverse, kOff };

// Draws once without the mask (the reference) and once with the setting; "" when the masked screen shows the
// reference exactly where the mask allows.
std::string CheckMaskedDraw(const Road& road, const DrawCase& c, MaskSetting setting) {
    if (SetMaskDrawFlag(0) != 0) return "no mask to switch";
    road.fill(kBackground);
    if (c.draw() != 0) return std::string(c.name) + ": reference draw failed";
    const std::vector<uint32_t> reference = road.read(kRegion);

    if (MakeMaskScreenForTest(setting != MaskSetting::kOff, setting == MaskSetting::kReverse) != 0) return "mask";
    road.fill(kBackground);
    if (c.draw() != 0) return std::string(c.name) + ": masked draw failed";
    const std::vector<uint32_t> got = road.read(kRegion);
    if (got.size() != reference.size() || got.empty()) return "read";

    int drawn = 0, wrong = 0;
    std::string report;
    size_t i = 0;
    for (int y = kRegion.top; y < kRegion.bottom; ++y) {
        for (int x = kRegion.left; x < kRegion.right; ++x, ++i) {
            bool forbidden = ForbiddenByFixture(x, y);
            if (setting == MaskSetting::kReverse) forbidden = !forbidden;
            if (setting == MaskSetting::kOff) forbidden = false;
            const uint32_t want = forbidden ? kBackground : reference[i];
            if (reference[i] != kBackground) ++drawn;
            if (got[i] != want && ++wrong <= 4) {
                char text[160];
                snprintf(text, sizeof(text), "%s: pixel %d,%d is %06x, expected %06x (reference %06x); ", c.name, x,
                         y, got[i], want, reference[i]);
                report += text;
            }
        }
    }
    if (wrong > 0) return report + std::to_string(wrong) + " pixels wrong";
    // A draw that left nothing would prove nothing.
    if (drawn < 100) return std::string(c.name) + ": the reference draw shows too little";
    return "";
}

std::string CheckCasesOnRoad(const Road& road, const std::vector<DrawCase>& cases) {
    for (const DrawCase& c : cases) {
        for (MaskSetting setting : {MaskSetting::kOn, MaskSetting::kReverse, MaskSetting::kOff}) {
            const std::string problem = CheckMaskedDraw(road, c, setting);
            if (!problem.empty()) return problem + " (setting " + std::to_string(static_cast<int>(setting)) + ")";
        }
    }
    return "";
}

// Without a mask the flag cannot be set and a draw comes out as it does with the flag off.
std::string CheckNoMask(const Road& road, const DrawCase& c) {
    if (SetMaskDrawFlag(1) != -1) return "the flag was set without a mask";
    if (GetDrawState().maskDrawActive != 0) return "mask drawing active without a mask";
    road.fill(kBackground);
    if (c.draw() != 0) return "draw without mask failed";
    const std::vector<uint32_t> got = road.read(kRegion);
    size_t i = 0;
    for (int y = kRegion.top; y < kRegion.bottom; ++y) {
        for (int x = kRegion.left; x < kRegion.right; ++x, ++i) {
            const bool inGraph = x >= 296 && x < 344 && y >= 100 && y < 140;
            const uint32_t want = inGraph ? PositionColour(x - 296, y - 100) : kBackground;
            if (!ColorsClose(got[i], want, 8)) return "no mask: pixel " + std::to_string(x) + "," + std::to_string(y);
        }
    }
    return "";
}

std::vector<DrawCase> PlainCases(int graph) {
    return {{"at a point", [graph] { return DrawGraphAtImpl(296, 100, graph, 0); }}};
}

std::vector<DrawCase> Direct3DCases(int graph) {
    return {
        {"at a point", [graph] { return DrawGraphAtImpl(296, 100, graph, 0); }},
        {"stretched", [graph] { return DrawGraphStretchedImpl(290, 96, 350, 150, graph, 0); }},
        {"rotated", [graph] { return DrawGraphRotatedImpl(320, 120, 1.0, 0.5, graph, 0, 0); }},
        {"filled rectangle", [] { return DrawRectangleImpl(292, 98, 348, 142, RgbToScreenPixel(0x30, 0xC0, 0x60), 1); }},
    };
}

class MaskTest : public LogFileTest {
protected:
    void TearDown() override {
        SetUse3D(1);
        LogFileTest::TearDown();
    }
    DisplayWatchdog watchdog_{240};
};

TEST_F(MaskTest, Direct3DRoadMasksEveryKindOfDrawAndSurvivesARestore) {
    const int liveBefore = GetTrackedAllocCount();
    ASSERT_EQ(StartRuntimeAsTheGame(), 0);
    ASSERT_EQ(Is3DPathUp(), 1);
    ASSERT_EQ(SetTargetScreen(-2), 0);
    const int graph = MakePositionGraph(48, 40);
    ASSERT_NE(graph, -1);
    const Road road = SurfaceRoad();
    EXPECT_EQ(CheckNoMask(road, PlainCases(graph)[0]), "");

    ASSERT_EQ(MakeMaskScreenForTest(1, 0), 0);
    FillFixtureMask();
    ASSERT_NE(GetMaskSurface(), nullptr);
    EXPECT_EQ(CheckCasesOnRoad(road, Direct3DCases(graph)), "");

    // Switching the target keeps the flag, and masking goes on where it left off.
    ASSERT_EQ(MakeMaskScreenForTest(1, 0), 0);
    ASSERT_EQ(SetTargetScreen(-4), 0);
    ASSERT_EQ(SetTargetScreen(-2), 0);
    EXPECT_EQ(GetMaskDrawFlag(), 1);
    EXPECT_EQ(GetDrawState().maskDrawActive, 1);

    // A device loss keeps the mask bytes; the surface comes back and masking works as before.
    RestoreScreenSystem();
    EXPECT_NE(GetMaskSurface(), nullptr);
    EXPECT_EQ(GetDrawState().maskDrawActive, 1);
    ASSERT_EQ(RestoreAllGraphSurfaces(), 0);
    ReleaseGraph(graph, 0);
    const int again = MakePositionGraph(48, 40);
    ASSERT_NE(again, -1);
    EXPECT_EQ(CheckMaskedDraw(road, Direct3DCases(again)[0], MaskSetting::kOn), "");

    EXPECT_EQ(ShutDownLibrary(), 0);
    EXPECT_EQ(GetMaskSurface(), nullptr);
    EXPECT_EQ(GetMaskBytesForTest(nullptr), nullptr);
    EXPECT_EQ(GetTrackedAllocCount(), liveBefore);
}

TEST_F(MaskTest, DirectDrawRoadMasksCopiesAndAGraphTargetLargerThanTheScreen) {
    const int liveBefore = GetTrackedAllocCount();
    ASSERT_EQ(StartRuntimeOn2DRoad(), 0);
    ASSERT_EQ(SetTargetScreen(-2), 0);
    const int graph = MakePositionGraph(48, 40);
    // Wider than the screen: a system-memory surface, drawn by the software renderer on locked surfaces.
    const int wide = MakePositionGraph(700, 40);
    ASSERT_NE(graph, -1);
    ASSERT_NE(wide, -1);
    const Road road = SurfaceRoad();
    EXPECT_EQ(CheckNoMask(road, PlainCases(graph)[0]), "");
    ASSERT_EQ(MakeMaskScreenForTest(1, 0), 0);
    FillFixtureMask();
    std::vector<DrawCase> cases = PlainCases(graph);
    cases.push_back({"wide at a point", [wide] { return DrawGraphAtImpl(-300, 100, wide, 0); }});
    EXPECT_EQ(CheckCasesOnRoad(road, cases), "");

    // A target wider and taller than the screen: masked inside the mask, and nothing written past its rows.
    const int big = CreateEmptyGraphImpl(800, 600, 1);
    ASSERT_NE(big, -1);
    ASSERT_EQ(MakeMaskScreenForTest(1, 0), 0);
    ASSERT_EQ(SetTargetScreen(big), 0);
    EXPECT_EQ(GetDrawState().maskDrawActive, 1);
    EXPECT_EQ(DrawGraphAtImpl(600, 460, wide, 0), 0);
    EXPECT_EQ(DrawGraphAtImpl(100, 100, graph, 0), 0);
    EXPECT_EQ(CheckAllocations(), 0);
    const SurfaceData* data = SurfaceDataToRecord(Surface2DToRecord(GetGraphRecord(big)->pieces[0])->surfaceData);
    ASSERT_NE(data, nullptr);
    ASSERT_NE(data->surface, nullptr);
    const std::vector<uint32_t> row = ReadSurfaceBlock(data->surface, RECT{100, 110, 148, 111});
    ASSERT_EQ(row.size(), 48u);
    EXPECT_EQ(row[4], PositionColour(4, 10) & 0xFFFFFF);
    ASSERT_EQ(SetTargetScreen(-2), 0);

    EXPECT_EQ(ShutDownLibrary(), 0);
    EXPECT_EQ(GetTrackedAllocCount(), liveBefore);
}

std::string CheckSoftwareMask() {
    SetSoftwareDrawRequest(1);
    if (StartRuntimeOn2DRoad() != 0) return "start-up failed";
    if (SetTargetScreen(-2) != 0) return "target";
    const int graph = MakePositionGraph(48, 40);
    if (graph == -1) return "graph";
    const Road road = SoftwareRoad();
    std::string problem = CheckNoMask(road, PlainCases(graph)[0]);
    if (!problem.empty()) return problem;
    if (MakeMaskScreenForTest(1, 0) != 0) return "mask";
    if (GetMaskMemImg() == nullptr || GetMaskSurface() != nullptr) return "the mask is no software image";
    FillFixtureMask();
    problem = CheckCasesOnRoad(road, PlainCases(graph));
    if (!problem.empty()) return problem;
    // The target larger than the screen, drawn through the 640-wide mask image.
    const int big = CreateEmptyGraphImpl(800, 600, 1);
    if (big == -1 || SetTargetScreen(big) != 0) return "big target";
    DrawGraphAtImpl(620, 100, graph, 0);
    if (CheckAllocations() != 0) return "tracked blocks damaged";
    if (ShutDownLibrary() != 0) return "shutdown";
    return "";
}

TEST(MaskSoftware, SoftwareImageRoadMasksPlainCopies) { ExpectCheckPassesInChild(CheckSoftwareMask); }

TEST_F(MaskTest, RefusedBytesOddWidthAndMaskData) {
    // A 642-wide screen: rows of 644 bytes.
    ASSERT_EQ(ChangeDisplayMode(642, 480, -1, 0, -1), 0);
    ASSERT_EQ(StartRuntimeInWindow(), 0);
    int pitch = 0;
    ASSERT_EQ(MakeMaskScreenForTest(0, 0), 0);
    ASSERT_NE(GetMaskBytesForTest(&pitch), nullptr);
    EXPECT_EQ(pitch, 644);
    EXPECT_EQ(FreeMaskScreen(), 0);
    EXPECT_EQ(ShutDownLibrary(), 0);
    ASSERT_EQ(ChangeDisplayMode(640, 480, -1, 0, -1), 0);

    // The mask bytes refused: a line, -1, and nothing made.
    ASSERT_EQ(StartRuntimeInWindow(), 0);
    // The game's start switches the log file off; this test reads its own.
    SetLogDirectory(directory_.c_str());
    SetLogFileEnabledImpl(1);
    ResetLog();
    {
        TrackedAllocSettings settings = GetTrackedAllocSettings();
        settings.testRefuseBlockSize = 640 * 480;
        SetTrackedAllocSettings(settings);
        EXPECT_EQ(MakeMaskScreenForTest(1, 0), -1);
        settings.testRefuseBlockSize = 0;
        SetTrackedAllocSettings(settings);
    }
    EXPECT_NE(ReadLog().find("マスクスクリーン用のメモリの確保に失敗しました"), std::string::npos) << ReadLog();
    EXPECT_EQ(GetMaskBytesForTest(nullptr), nullptr);
    EXPECT_EQ(GetMaskSurface(), nullptr);
    EXPECT_EQ(SetMaskDrawFlag(1), -1);
    EXPECT_EQ(GetDrawState().maskDrawActive, 0);

    // Mask data: bad handles are refused; a live record is freed once.
    void* block = KV_ALLOC(32);
    const int handle = AddMaskDataForTest(block);
    ASSERT_NE(handle, -1);
    const int badHandles[] = {-1, 0, MakeHandle(kHandleTypeGraph, HandleCheckIdOf(handle), HandleSlotOf(handle)),
                              MakeHandle(kHandleTypeMaskData, HandleCheckIdOf(handle) + 1, HandleSlotOf(handle)),
                              MakeHandle(kHandleTypeMaskData, HandleCheckIdOf(handle), 512),
                              MakeHandle(kHandleTypeMaskData, HandleCheckIdOf(handle), HandleSlotOf(handle) + 1)};
    for (int bad : badHandles) EXPECT_EQ(ReleaseMaskData(bad), -1) << std::hex << bad;
    const int live = GetTrackedAllocCount();
    EXPECT_EQ(ReleaseMaskData(handle), 0);
    EXPECT_EQ(GetTrackedAllocCount(), live - 2);  // the record and its block
    EXPECT_EQ(ReleaseMaskData(handle), -1);
    EXPECT_EQ(ShutDownLibrary(), 0);
}

}  // namespace
