// The graph table and graph records: the creation bytes the settings produce, the table's end mark, stale handles
// and check-id wrap, the full table, creation failures that must leave nothing behind, and graphs on a running
// runtime (measure, fill, names, lost flags, release after shutdown).
#include "tests/graphics/test_graph_support.h"

#include <string>

#include "graphics/graph.h"
#include "graphics/graphics.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/surface_data.h"
#include "runtime/file.h"
#include "runtime/handle.h"
#include "runtime/runtime.h"

namespace {

struct TableState {
    int live, endMark, nextCheckId;
};
TableState GraphTable() {
    TableState t{};
    GetGraphTableState(&t.live, &t.endMark, &t.nextCheckId);
    return t;
}

TEST(GraphCreationBytes, FollowTheCreationSettings) {
    ASSERT_EQ(GetDisplayObject(), nullptr);
    ASSERT_EQ(GraphTable().live, 0);
    const int screenBits = GetScreenColorBits();
    // Set while the DirectDraw back end is the one in use, the system-memory setting always reads 1.
    SetUseSystemMemoryGraph(0);
    EXPECT_EQ(GetUseSystemMemoryGraph(), 1);
    SetUse3D(1);

    struct Row {
        const char* name;
        int drawValid, alphaTest, depth;  // settings
        int may3D, alpha, palette;        // arguments
        unsigned char bytes[8];
    } rows[] = {
        {"plain graph", 0, 1, 0, 1, 0, 0, {0, 0, 0, 1, 1, (unsigned char)screenBits, 0, 0}},
        {"alpha channel", 0, 1, 0, 1, 1, 0, {0, 1, 0, 1, 1, (unsigned char)screenBits, 0, 0}},
        {"palette image", 0, 1, 0, 0, 0, 1, {0, 0, 0, 1, 1, (unsigned char)screenBits, 0, 1}},
        {"alpha test off", 0, 0, 0, 1, 0, 0, {0, 0, 0, 1, 0, (unsigned char)screenBits, 0, 0}},
        {"depth set", 0, 1, 32, 1, 0, 0, {0, 0, 0, 1, 1, 32, 0, 0}},
        // Draw-valid graphs drop the caller's alpha and the colour-key test.
        {"draw-valid", 1, 1, 16, 1, 1, 0, {0, 0, 1, 1, 0, 16, 0, 0}},
    };
    for (const Row& r : rows) {
        SetCreateDrawValidGraph(r.drawValid);
        SetGraphCreateFlag(r.alphaTest);
        SetGraphCreateDepth(r.depth);
        GraphRecord* record = nullptr;
        const int handle = AllocGraphHandle(24, 12, r.may3D, &record, r.alpha, r.palette);
        ASSERT_NE(handle, -1) << r.name;
        ASSERT_EQ(record, GetGraphRecord(handle)) << r.name;
        for (int i = 0; i < 8; ++i) EXPECT_EQ(record->creation[i], r.bytes[i]) << r.name << " byte " << i;
        EXPECT_EQ(record->width, 24);
        EXPECT_EQ(record->height, 12);
        EXPECT_EQ(record->movieHandle, -1);
        EXPECT_EQ(ReleaseGraphImpl(handle, 0), 0);
    }
    SetCreateDrawValidGraph(0);
    SetGraphCreateFlag(1);
    SetGraphCreateDepth(0);
}

TEST(GraphTable, EndMarkDropsPastTrailingFreeSlots) {
    ASSERT_EQ(GraphTable().live, 0);
    ASSERT_EQ(GraphTable().endMark, 0);
    int h[4];
    for (int& handle : h) handle = AllocGraphHandle(4, 4, 0, nullptr, 0, 0);
    EXPECT_EQ(GraphTable().endMark, 4);
    EXPECT_EQ(ReleaseGraphImpl(h[1], 0), 0);
    EXPECT_EQ(ReleaseGraphImpl(h[2], 0), 0);
    EXPECT_EQ(GraphTable().endMark, 4) << "a hole below the highest graph keeps the mark";
    // The next graph takes the slot at the mark, not a hole.
    const int next = AllocGraphHandle(4, 4, 0, nullptr, 0, 0);
    EXPECT_EQ(HandleSlotOf(next), 4);
    EXPECT_EQ(ReleaseGraphImpl(next, 0), 0);
    EXPECT_EQ(ReleaseGraphImpl(h[3], 0), 0);
    EXPECT_EQ(GraphTable().endMark, 1) << "releasing the highest moves the mark over every free slot below it";
    EXPECT_EQ(ReleaseGraphImpl(h[0], 0), 0);
    EXPECT_EQ(GraphTable().endMark, 0);
    EXPECT_EQ(GraphTable().live, 0);
    EXPECT_EQ(ReleaseGraphImpl(h[0], 0), -1) << "a released handle is refused";
}

TEST(GraphTable, StaleHandlesFailUntilTheCheckIdComesRound) {
    ASSERT_EQ(GraphTable().live, 0);
    const int old = AllocGraphHandle(4, 4, 0, nullptr, 0, 0);
    const int oldId = HandleCheckIdOf(old);
    ASSERT_EQ(ReleaseGraphImpl(old, 0), 0);

    const int reuse = AllocGraphHandle(8, 8, 0, nullptr, 0, 0);
    EXPECT_EQ(HandleSlotOf(reuse), HandleSlotOf(old));
    EXPECT_EQ(GetGraphRecord(old), nullptr);
    EXPECT_EQ(ReleaseGraphImpl(old, 0), -1);
    int w = 0, h = 0;
    EXPECT_EQ(GetGraphDimensionsImpl(old, &w, &h), -1);
    EXPECT_EQ(GetGraphDimensionsImpl(reuse, &w, &h), 0);
    EXPECT_EQ(w, 8);
    ASSERT_EQ(ReleaseGraphImpl(reuse, 0), 0);

    // 2048 records later the same slot carries the same check id again, and the old handle names the new graph.
    int last = -1;
    for (int i = 0; i < 2046; ++i) {
        last = AllocGraphHandle(1, 1, 0, nullptr, 0, 0);
        ASSERT_EQ(ReleaseGraphImpl(last, 0), 0);
    }
    EXPECT_EQ(HandleCheckIdOf(last), (oldId + 2047) % 2048);
    const int wrapped = AllocGraphHandle(2, 3, 0, nullptr, 0, 0);
    EXPECT_EQ(wrapped, old);
    ASSERT_NE(GetGraphRecord(old), nullptr);
    EXPECT_EQ(GetGraphRecord(old)->height, 3);
    EXPECT_EQ(ReleaseGraphImpl(wrapped, 0), 0);

    // Other types, bit 15 of the slot and negative values are never graphs.
    for (int bad : {-1, -2, MakeHandle(kHandleTypeSound, 0, 0), 0x08008000, 0x7FFFFFFF}) {
        EXPECT_EQ(GetGraphRecord(bad), nullptr) << bad;
        EXPECT_EQ(ReleaseGraphImpl(bad, 0), -1) << bad;
        EXPECT_EQ(FillGraphImpl(bad, 1, 2, 3, 4), -1) << bad;
    }
}

TEST(GraphTable, TheFullTableAcceptsItsLastGraphAndThenEndsTheProgram) {
    EXPECT_EXIT(
        {
            for (int i = 0; i < kGraphSlots; ++i) {
                if (AllocGraphHandle(1, 1, 0, nullptr, 0, 0) == -1) ExitProcess(2);
            }
            int live = 0;
            GetGraphTableState(&live, nullptr, nullptr);
            if (live != kGraphSlots) ExitProcess(3);
            AllocGraphHandle(1, 1, 0, nullptr, 0, 0);
            ExitProcess(4);
        },
        ::testing::ExitedWithCode(-1), "");
}

TEST(GraphCreation, AGraphWhosePiecesFailLeavesNoRecord) {
    ASSERT_EQ(GetDisplayObject(), nullptr);
    const TableState before = GraphTable();
    // No display: the 2D surface cannot be made.
    EXPECT_EQ(CreateGraphOrFail(16, 16, 0, 0, 0), -1);
    EXPECT_EQ(CreateEmptyGraphImpl(16, 16, 1), -1);
    const TableState after = GraphTable();
    EXPECT_EQ(after.live, before.live);
    EXPECT_EQ(after.endMark, before.endMark);
}

TEST(GraphRuntime, GraphsAreMadeMeasuredFilledAndNamedOnTheDirectDrawPath) {
    DisplayWatchdog watchdog(120);
    ASSERT_EQ(StartRuntimeOn2DRoad(), 0);
    int w = 0, h = 0;
    EXPECT_EQ(GetGraphDimensionsImpl(-2, &w, &h), 0);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_EQ(GetGraphDimensionsImpl(-4, nullptr, &h), 0);

    const TableState before = GraphTable();
    // A size no 2D surface can take: the record goes again.
    EXPECT_EQ(CreateEmptyGraphImpl(40000, 4, 1), -1);
    EXPECT_EQ(GraphTable().live, before.live);
    EXPECT_EQ(GraphTable().endMark, before.endMark);

    const int plain = CreateEmptyGraph(30, 20, 0);
    ASSERT_NE(plain, -1);
    EXPECT_EQ(GetGraphRecord(plain)->creation[kCreateTexture], 0) << "no Direct3D: the 2D path";
    EXPECT_EQ(GetGraphDimensionsImpl(plain, &w, &h), 0);
    EXPECT_EQ(w, 30);
    EXPECT_EQ(h, 20);
    SetBlankGraphParam(1);
    const int withAlpha = CreateEmptyGraph(10, 10, 0);
    SetBlankGraphParam(0);
    ASSERT_NE(withAlpha, -1);

    // Fill reaches both storages: the DirectDraw surface and the software image of the alpha graph.
    for (int graph : {plain, withAlpha}) {
        ASSERT_EQ(FillGraphImpl(graph, 0x12, 0x34, 0x56, 0xFF), 0);
        const Surface2D* piece = Surface2DToRecord(GetGraphRecord(graph)->pieces[0]);
        ASSERT_NE(piece, nullptr);
        int pitch = 0;
        void* pixels = nullptr;
        const ColorFormat* format = nullptr;
        ASSERT_EQ(LockSurfaceData(piece->surfaceData, &pitch, &pixels, 0, nullptr, &format), 0);
        uint32_t v = 0;
        std::memcpy(&v, static_cast<uint8_t*>(pixels) + 3 * pitch + 4 * format->bytesPerPixel, format->bytesPerPixel);
        EXPECT_EQ(v, RgbaToFormatValue(format, 0x12, 0x34, 0x56, 0xFF)) << graph;
        EXPECT_EQ(UnlockSurfaceData(piece->surfaceData, nullptr), 0);
    }
    EXPECT_EQ(SurfaceDataToRecord(Surface2DToRecord(GetGraphRecord(withAlpha)->pieces[0])->surfaceData)->software, 1);

    // Names and directories are kept whole, however long.
    char saved[kFilePathMax + 1] = {};
    GetCurrentDirectoryA(sizeof(saved), saved);
    std::string deep = std::string(saved) + "\\graph_dir_" + std::string(90, 'd');
    CreateDirectoryA(deep.c_str(), nullptr);
    ASSERT_NE(SetCurrentDirectoryA(deep.c_str()), 0);
    const std::string longName = "res/" + std::string(200, 'n') + ".png";
    EXPECT_EQ(SetGraphFileName(plain, longName.c_str()), 0);
    SetCurrentDirectoryA(saved);
    RemoveDirectoryA(deep.c_str());
    ASSERT_NE(GetGraphRecord(plain)->fileName, nullptr);
    EXPECT_EQ(std::string(GetGraphRecord(plain)->fileName), longName);
    ASSERT_NE(GetGraphRecord(plain)->loadDirectory, nullptr);
    EXPECT_EQ(std::string(GetGraphRecord(plain)->loadDirectory), deep);
    EXPECT_EQ(SetGraphFileName(plain, nullptr), 0);
    EXPECT_EQ(GetGraphRecord(plain)->fileName, nullptr);

    int lost = 7;
    EXPECT_EQ(SetGraphLostFlagPointer(withAlpha, &lost), 0);
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(ReleaseGraph(withAlpha, 1), 0);
    EXPECT_EQ(lost, 1);

    // After shutdown every graph is gone: a late release (the game's scene destructors) finds nothing.
    EXPECT_EQ(ShutDownLibrary(), 0);
    EXPECT_EQ(ReleaseGraph(plain, 0), -1);
    EXPECT_EQ(ReleaseAllGraphs(0), 0);
    EXPECT_EQ(GraphTable().live, 0);
}

}  // namespace
