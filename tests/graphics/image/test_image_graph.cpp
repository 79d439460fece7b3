// The graph loader in a started runtime: image files (with and without an "_a" companion, from a folder and from a
// packed archive) become graphs of their size; files that cannot become a graph (missing, undecodable, cut short,
// a companion of another size) give -1 and leave no graph, open file or temporary file behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "graphics/graph.h"
#include "graphics/graphics.h"
#include "graphics/image/image.h"
#include "runtime/archive/archive.h"
#include "runtime/archive/archive_writer.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "tests/graphics/test_draw_support.h"
#include "tests/graphics/test_image_fixtures.h"

namespace {

int LiveGraphs() {
    int live = 0, endMark = 0, nextCheckId = 0;
    GetGraphTableState(&live, &endMark, &nextCheckId);
    return live;
}

int CountFiles(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++count;
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return count;
}

class ImageGraphLoader : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, StartRuntimeAsTheGame());
        ASSERT_EQ(0, SetTargetScreen(-2));
        for (const DWORD start = GetTickCount(); !IsAppActive() && GetTickCount() - start < 20000;) {
            ProcessMessage();
            Sleep(10);
        }
        char temp[MAX_PATH];
        GetTempPathA(sizeof(temp), temp);
        temp_ = temp;
        if (!temp_.empty() && temp_.back() == '\\') temp_.pop_back();
        root_ = temp_ + "\\kv_image_graph_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(root_.c_str(), nullptr);
    }
    void TearDown() override {
        ShutDownLibrary();
        for (const std::string& f : made_) DeleteFileA(f.c_str());
        RemoveDirectoryA(root_.c_str());
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = root_ + "\\" + name;
        HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, f) << path;
        DWORD written = 0;
        WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(f);
        made_.push_back(path);
        return path;
    }

    DisplayWatchdog watchdog_{120};
    std::string temp_;
    std::string root_;
    std::vector<std::string> made_;
};

TEST_F(ImageGraphLoader, ImagesBecomeGraphsOfTheirSize) {
    std::vector<uint32_t> pixels(6 * 4, 0xFF336699u);
    std::vector<uint32_t> alpha(6 * 4, 0xFF808080u);
    const std::vector<uint8_t> png = EncodePngRgba(6, 4, pixels, false);
    const std::string plain = Write("plain.png", png);
    const std::string paired = Write("paired.png", png);
    Write("paired_a.png", EncodePngRgba(6, 4, alpha, false));
    const std::string jpeg = Write("photo.jpg", EncodeJpegRgb(9, 5, std::vector<uint32_t>(45, 0xFF204060u), 90));
    ArchiveMemorySink sink;
    ArchiveWriter writer(&sink, ArchiveWriterOptions());
    ASSERT_EQ(0, writer.AddFile("inner.png", png.data(), png.size(), {}));
    ASSERT_EQ(0, writer.Finish());
    Write("packed.QVA", std::vector<uint8_t>(sink.bytes.begin(), sink.bytes.end()));

    struct Row {
        std::string path;
        int width, height;
        int alphaChannel;  // the companion gives the graph an alpha channel
    };
    const Row rows[] = {
        {plain, 6, 4, 0}, {paired, 6, 4, 1}, {jpeg, 9, 5, 0}, {root_ + "\\packed\\inner.png", 6, 4, 0}};
    const int before = LiveGraphs();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path);
        const int graph = LoadGraphFromFile(r.path.c_str(), 0);
        ASSERT_NE(-1, graph);
        int w = 0, h = 0;
        EXPECT_EQ(0, GetGraphDimensions(graph, &w, &h));
        EXPECT_EQ(r.width, w);
        EXPECT_EQ(r.height, h);
        const GraphRecord* record = GetGraphRecord(graph);
        ASSERT_NE(nullptr, record);
        EXPECT_EQ(r.alphaChannel, record->creation[kCreateAlpha]);
        EXPECT_STREQ(r.path.c_str(), record->fileName);  // kept for reloading after a device loss
        EXPECT_EQ(before + 1, LiveGraphs());
        EXPECT_EQ(0, ReleaseGraph(graph, 0));
    }
    EXPECT_EQ(before, LiveGraphs());
    EXPECT_EQ(0, VfsOpenFileCount());
}

TEST_F(ImageGraphLoader, FilesThatCannotBecomeGraphsLeaveNothingBehind) {
    std::vector<std::string> names = {root_ + "\\missing.png"};
    names.push_back(Write("junk.png", std::vector<uint8_t>(500, 0x5A)));
    names.push_back(Write("pair.png", EncodePngRgba(6, 4, std::vector<uint32_t>(24, 0xFF102030u), false)));
    Write("pair_a.png", EncodePngRgba(4, 6, std::vector<uint32_t>(24, 0xFF808080u), false));
    // Every format cut short inside its headers and inside its pixels.
    int index = 0;
    for (const char* fixture : {"bmp 24-bit bottom-up", "bmp rle8 bottom-up with a move", "png rgb 8-bit",
                                "tga type 10 24-bit descriptor 0x00", "dds code 23 (5:6:5)", "bgra 16-bit"}) {
        const std::vector<uint8_t>& bytes = FindImageFixture(fixture).bytes;
        for (size_t cut : {size_t{20}, bytes.size() / 2, bytes.size() - 1}) {
            names.push_back(Write("cut" + std::to_string(index++) + ".img",
                                  std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(cut))));
        }
    }
    const int graphsBefore = LiveGraphs();
    const int tempFilesBefore = CountFiles(temp_);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(-1, LoadGraphFromFile(name.c_str(), 0));
        EXPECT_EQ(graphsBefore, LiveGraphs());
        EXPECT_EQ(0, VfsOpenFileCount());
    }
    EXPECT_EQ(tempFilesBefore, CountFiles(temp_));
}

TEST_F(ImageGraphLoader, LoadedPixelsReachTheScreenAndMirroringTurnsThem) {
    const int w = 12, h = 9;
    std::vector<uint32_t> pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pixels.push_back(0xFF000000u | PositionColour(x, y));
    const std::string path = Write("position.png", EncodePngRgba(w, h, pixels, false));
    for (int mirror = 0; mirror < 2; ++mirror) {
        SCOPED_TRACE(mirror);
        const int graph = LoadGraphFromFileCore(path.c_str(), 1, mirror);
        ASSERT_NE(-1, graph);
        FillBackScreen(0);
        EXPECT_EQ(0, DrawGraphAt(100, 50, graph, 0));
        EXPECT_EQ("", CompareBackScreen(RECT{100, 50, 100 + w, 50 + h},
                                        [&](int x, int y) {
                                            const int gx = mirror ? w - 1 - (x - 100) : x - 100;
                                            return PositionColour(gx, y - 50);
                                        },
                                        8));
        EXPECT_EQ(0, ReleaseGraph(graph, 0));
    }
}

}  // namespace
