// Graph restore: graphs wiped as by a device loss come back from their files with the same pixels, ten graphs cut
// from one file open it once (counted at the file layer), from a folder, from an archive, from a directory deeper
// than 128 characters and after the current directory moved; blank graphs are left alone; the installed restore
// function can be replaced and put back; and the whole screen-system restore leaves graphs drawable.
#include "tests/graphics/test_draw_support.h"

#include <string>
#include <vector>

#include "graphics/derive.h"
#include "graphics/graphics.h"
#include "graphics/restore.h"
#include "runtime/api_lock.h"
#include "runtime/archive/archive_writer.h"
#include "runtime/file.h"
#include "tests/graphics/test_image_fixtures.h"

namespace {

constexpr int kPicW = 40, kPicH = 30;

// Counts the opens of one file name through the file layer's table, and puts the table back afterwards.
class OpenCounter {
public:
    explicit OpenCounter(const char* name) {
        saved_ = *GetFileBackEnd();
        name_ = name;
        count_ = 0;
        LowLevelFileTable counting = saved_;
        counting.open = &OpenCounter::Open;
        SelectFileBackEnd(&counting);
    }
    ~OpenCounter() { SelectFileBackEnd(&saved_); }
    int count() const { return count_; }

private:
    static FileHandle Open(const char* path, int threadFlag, int unused) {
        const std::string p = path;
        if (p.size() >= name_.size() && p.compare(p.size() - name_.size(), name_.size(), name_) == 0) ++count_;
        return saved_.open(path, threadFlag, unused);
    }
    static LowLevelFileTable saved_;
    static std::string name_;
    static int count_;
};
LowLevelFileTable OpenCounter::saved_;
std::string OpenCounter::name_;
int OpenCounter::count_ = 0;

std::vector<uint8_t> PositionPng() {
    std::vector<uint32_t> argb;
    for (int y = 0; y < kPicH; ++y) {
        for (int x = 0; x < kPicW; ++x) argb.push_back(0xFF000000u | PositionColour(x, y));
    }
    return EncodePngRgba(kPicW, kPicH, argb, false);
}

int g_customRestoreCalls = 0;
int CountingRestore() {
    ++g_customRestoreCalls;
    return 0;
}

class RestoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(sizeof(temp), temp);
        root_ = std::string(temp) + "kv_restore_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(root_.c_str(), nullptr);
        ASSERT_EQ(0, StartRuntimeAsTheGame());
        ASSERT_EQ(0, SetTargetScreen(-2));
        char dir[kFilePathMax];
        FileLayerGetDir(dir);
        startDir_ = dir;
    }
    void TearDown() override {
        FileLayerSetDir(startDir_.c_str());
        EXPECT_EQ(0, ShutDownLibrary());
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
            if (!DeleteFileA(it->c_str())) RemoveDirectoryA(it->c_str());
        }
        RemoveDirectoryA(root_.c_str());
    }
    std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }
    void MakeDirectory(const std::string& relative) {
        ASSERT_TRUE(CreateDirectoryA(Path(relative).c_str(), nullptr)) << Path(relative);
        made_.push_back(Path(relative));
    }
    void Write(const std::string& relative, const std::vector<uint8_t>& bytes) {
        const std::string path = Path(relative);
        ASSERT_TRUE(WriteBytesToFile(path, bytes)) << path;
        made_.push_back(path);
    }
    void WriteArchive(const std::string& relative, const char* inner, const std::vector<uint8_t>& bytes) {
        ArchiveMemorySink sink;
        ArchiveWriter writer(&sink, ArchiveWriterOptions());
        ASSERT_EQ(0, writer.AddFile(inner, bytes.data(), bytes.size(), {}));
        ASSERT_EQ(0, writer.Finish()) << writer.Error();
        Write(relative, std::vector<uint8_t>(sink.bytes.begin(), sink.bytes.end()));
    }

    // Loads `name` with `loadDir` as the current directory, cuts ten graphs out of it, wipes them all, moves the
    // current directory to `elsewhere` and reloads. Returns "" when the file was opened once and every graph shows
    // its rectangle of the picture again.
    std::string ReloadCutsOfOneFile(const std::string& loadDir, const char* name, const std::string& elsewhere) {
        if (!FileLayerSetDir(loadDir.c_str())) return "cannot enter " + loadDir;
        const int source = LoadGraphFromFile(name, 0);
        if (source == -1) return std::string("cannot load ") + name;
        struct Cut {
            int handle, x, y, w, h;
        };
        std::vector<Cut> cuts;
        for (int i = 0; i < 10; ++i) {
            Cut c = {-1, (i * 4) % 36, (i * 7) % 24, 4 + i % 3, 5};
            c.handle = DeriveSubGraph(c.x, c.y, c.w, c.h, source);
            if (c.handle == -1) return "derivation " + std::to_string(i) + " failed";
            cuts.push_back(c);
        }
        const int blank = CreateEmptyGraph(8, 8, 0);
        if (blank == -1) return "no blank graph";

        // A device loss leaves the storage without its pixels; the cuts share the source's storage.
        if (FillGraphImpl(source, 0, 0, 0, 255) != 0) return "cannot wipe the source";
        FillBackScreen(0x404040);
        for (size_t i = 0; i < cuts.size(); ++i) DrawGraphAt(20 + 10 * static_cast<int>(i), 20, cuts[i].handle, 0);
        if (ReadBackPixel(21, 21) != 0) return "the wipe did not reach the cuts";

        if (!FileLayerSetDir(elsewhere.c_str())) return "cannot enter " + elsewhere;
        int opens = 0;
        {
            ApiLockScope lock;
            OpenCounter counter(name);
            MarkAllGraphsForReload();
            opens = counter.count();
        }
        std::string report;
        if (opens != 1) report += "opened " + std::to_string(opens) + " times; ";
        char dir[kFilePathMax];
        FileLayerGetDir(dir);
        if (elsewhere != dir) report += std::string("current directory left at ") + dir + "; ";
        if (GetGraphRecord(blank)->reloadNeeded != 1) report += "the blank graph was touched; ";
        for (const Cut& c : cuts) {
            if (GetGraphRecord(c.handle)->reloadNeeded != 0) report += "a cut stayed marked; ";
        }

        FillBackScreen(0x404040);
        for (size_t i = 0; i < cuts.size(); ++i) DrawGraphAt(20 + 10 * static_cast<int>(i), 20, cuts[i].handle, 0);
        DrawGraphAt(20, 60, source, 0);
        for (size_t i = 0; i < cuts.size(); ++i) {
            const Cut c = cuts[i];
            const int at = 20 + 10 * static_cast<int>(i);
            report += CompareBackScreen(RECT{at, 20, at + c.w, 20 + c.h},
                                        [&](int x, int y) { return PositionColour(x - at + c.x, y - 20 + c.y); }, 8);
        }
        report += CompareBackScreen(RECT{20, 60, 20 + kPicW, 60 + kPicH},
                                    [](int x, int y) { return PositionColour(x - 20, y - 60); }, 8);
        ReleaseAllGraphs(0);
        return report;
    }

    std::string root_;
    std::string startDir_;
    std::vector<std::string> made_;
    DisplayWatchdog watchdog_{180};
};

TEST_F(RestoreTest, CutsOfOneFileComeBackFromAFolderWithOneOpen) {
    MakeDirectory("pics");
    MakeDirectory("other");
    Write("pics\\pattern.png", PositionPng());
    EXPECT_EQ("", ReloadCutsOfOneFile(root_, "pics\\pattern.png", Path("other")));
}

TEST_F(RestoreTest, CutsOfOneFileComeBackFromAnArchiveWithOneOpen) {
    MakeDirectory("other");
    WriteArchive("packed.QVA", "pattern.png", PositionPng());
    EXPECT_EQ("", ReloadCutsOfOneFile(root_, "packed\\pattern.png", Path("other")));
}

TEST_F(RestoreTest, ALoadDirectoryLongerThan128CharactersStillReloads) {
    const std::string deep = std::string(160 - root_.size() % 10, 'd');
    MakeDirectory(deep);
    Write(deep + "\\pattern.png", PositionPng());
    ASSERT_GT(Path(deep).size(), 128u);
    EXPECT_EQ("", ReloadCutsOfOneFile(Path(deep), "pattern.png", root_));
}

TEST_F(RestoreTest, TheInstalledFunctionCanBeReplacedAndTheBuiltInOnePutBack) {
    Write("pattern.png", PositionPng());
    ASSERT_TRUE(FileLayerSetDir(root_.c_str()));
    const int graph = LoadGraphFromFile("pattern.png", 0);
    ASSERT_NE(-1, graph);
    ApiLockScope lock;
    g_customRestoreCalls = 0;
    SetGraphRestoreCallback(CountingRestore);
    {
        OpenCounter counter("pattern.png");
        MarkAllGraphsForReload();
        EXPECT_EQ(0, counter.count());
    }
    EXPECT_EQ(1, g_customRestoreCalls);
    EXPECT_EQ(1, GetGraphRecord(graph)->reloadNeeded);  // the custom function left it marked
    SetGraphRestoreCallback(nullptr);
    EXPECT_EQ(1, HasGraphRestoreCallback());
    {
        OpenCounter counter("pattern.png");
        MarkAllGraphsForReload();
        EXPECT_EQ(1, counter.count());
    }
    EXPECT_EQ(1, g_customRestoreCalls);
    EXPECT_EQ(0, GetGraphRecord(graph)->reloadNeeded);
}

TEST_F(RestoreTest, TheWholeScreenSystemComesBackWithItsGraphs) {
    Write("pattern.png", PositionPng());
    ASSERT_TRUE(FileLayerSetDir(root_.c_str()));
    const int graph = LoadGraphFromFile("pattern.png", 0);
    const int cut = DeriveSubGraph(10, 5, 12, 9, graph);
    ASSERT_NE(-1, graph);
    ASSERT_NE(-1, cut);
    {
        ApiLockScope lock;
        ASSERT_EQ(0, RestoreScreenSystem());
    }
    EXPECT_EQ(-2, GetTargetScreen());
    ASSERT_NE(nullptr, GetDisplayState().backSurface);
    FillBackScreen(0);
    EXPECT_EQ(0, DrawGraphAt(100, 100, graph, 0));
    EXPECT_EQ(0, DrawGraphAt(200, 100, cut, 0));
    EXPECT_EQ("", CompareBackScreen(RECT{100, 100, 100 + kPicW, 100 + kPicH},
                                    [](int x, int y) { return PositionColour(x - 100, y - 100); }, 8));
    EXPECT_EQ("", CompareBackScreen(RECT{200, 100, 212, 109},
                                    [](int x, int y) { return PositionColour(x - 200 + 10, y - 100 + 5); }, 8));
    EXPECT_EQ(0, PresentBackScreen2D());
}

}  // namespace
