// Movies into graphs through the platform's real multimedia streaming: a small uncompressed AVI written here plays
// frame by frame into graphs on the Direct3D and the DirectDraw road, from a folder and from a packed archive; files
// that are no movie fail cleanly; a device loss reopens every movie where it was. The due-frame rule and the overlay
// placement are checked as plain functions.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "graphics/derive.h"
#include "graphics/draw.h"
#include "graphics/graph.h"
#include "graphics/graphics.h"
#include "graphics/image/image.h"
#include "graphics/movie.h"
#include "graphics/movie/movie_internal.h"
#include "graphics/movie/movie_rules.h"
#include "graphics/restore.h"
#include "graphics/ddraw/surface2d.h"
#include "runtime/archive/archive.h"
#include "runtime/archive/archive_writer.h"
#include "runtime/memory.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "tests/graphics/test_draw_support.h"
#include "tests/graphics/test_graph_support.h"
#include "tests/runtime/test_log_fixture.h"

namespace {

// ---- The fixture movie: 64 x 32, 10 frames a second, five frames, 24-bit rows bottom-up ----
constexpr int kMovieW = 64, kMovieH = 32, kFrames = 5;
constexpr uint32_t kLeftColour = 0x3060A0;

uint32_t FrameColour(int frame) { return static_cast<uint32_t>(0x28 + 0x28 * frame) << 16 | 0xA050; }

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutTag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }
// A chunk or list: tag, size, body.
std::vector<uint8_t> Chunk(const char* tag, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out;
    PutTag(out, tag);
    Put32(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() & 1) out.push_back(0);
    return out;
}
std::vector<uint8_t> List(const char* tag, const char* kind, const std::vector<uint8_t>& items) {
    std::vector<uint8_t> body;
    PutTag(body, kind);
    body.insert(body.end(), items.begin(), items.end());
    return Chunk(tag, body);
}

std::vector<uint8_t> MakeAvi() {
    const int rowBytes = (kMovieW * 3 + 3) / 4 * 4;
    const uint32_t frameBytes = static_cast<uint32_t>(rowBytes * kMovieH);
    std::vector<uint8_t> avih;
    for (uint32_t v : {100000u, frameBytes * 10, 0u, 0x10u, static_cast<uint32_t>(kFrames), 0u, 1u, frameBytes,
                       static_cast<uint32_t>(kMovieW), static_cast<uint32_t>(kMovieH), 0u, 0u, 0u, 0u}) {
        Put32(avih, v);
    }
    std::vector<uint8_t> strh;
    PutTag(strh, "vids");
    PutTag(strh, "DIB ");
    for (uint32_t v : {0u, 0u, 0u, 1u, 10u, 0u, static_cast<uint32_t>(kFrames), frameBytes, 0xFFFFFFFFu, frameBytes}) {
        Put32(strh, v);
    }
    for (uint16_t v : {uint16_t{0}, uint16_t{0}, uint16_t{kMovieW}, uint16_t{kMovieH}}) Put16(strh, v);
    std::vector<uint8_t> strf;
    for (uint32_t v : {40u, static_cast<uint32_t>(kMovieW), static_cast<uint32_t>(kMovieH)}) Put32(strf, v);
    Put16(strf, 1);
    Put16(strf, 24);
    for (uint32_t v : {0u, frameBytes, 0u, 0u, 0u, 0u}) Put32(strf, v);

    std::vector<uint8_t> strl = List("LIST", "strl", [&] {
        std::vector<uint8_t> v = Chunk("strh", strh);
        const std::vector<uint8_t> f = Chunk("strf", strf);
        v.insert(v.end(), f.begin(), f.end());
        return v;
    }());
    std::vector<uint8_t> hdrlItems = Chunk("avih", avih);
    hdrlItems.insert(hdrlItems.end(), strl.begin(), strl.end());
    const std::vector<uint8_t> hdrl = List("LIST", "hdrl", hdrlItems);

    std::vector<uint8_t> frames, index;
    uint32_t offset = 4;  // from the "movi" tag
    for (int f = 0; f < kFrames; ++f) {
        std::vector<uint8_t> pixels;
        for (int row = kMovieH - 1; row >= 0; --row) {  // bottom-up
            for (int x = 0; x < kMovieW; ++x) {
                const uint32_t c = x < kMovieW / 2 ? kLeftColour : FrameColour(f);
                pixels.push_back(static_cast<uint8_t>(c));
                pixels.push_back(static_cast<uint8_t>(c >> 8));
                pixels.push_back(static_cast<uint8_t>(c >> 16));
            }
            while (pixels.size() % rowBytes != 0) pixels.push_back(0);
        }
        const std::vector<uint8_t> chunk = Chunk("00db", pixels);
        PutTag(index, "00db");
        Put32(index, 0x10);
        Put32(index, offset);
        Put32(index, frameBytes);
        offset += static_cast<uint32_t>(chunk.size());
        frames.insert(frames.end(), chunk.begin(), chunk.end());
    }
    const std::vector<uint8_t> movi = List("LIST", "movi", frames);
    const std::vector<uint8_t> idx1 = Chunk("idx1", index);
    std::vector<uint8_t> riff = hdrl;
    riff.insert(riff.end(), movi.begin(), movi.end());
    riff.insert(riff.end(), idx1.begin(), idx1.end());
    std::vector<uint8_t> body;
    PutTag(body, "AVI ");
    body.insert(body.end(), riff.begin(), riff.end());
    return Chunk("RIFF", body);
}

// A second of silence, 8-bit mono: a file that opens but has no pictures.
std::vector<uint8_t> MakeWav() {
    std::vector<uint8_t> fmt;
    Put16(fmt, 1);
    Put16(fmt, 1);
    Put32(fmt, 8000);
    Put32(fmt, 8000);
    Put16(fmt, 1);
    Put16(fmt, 8);
    std::vector<uint8_t> body;
    PutTag(body, "WAVE");
    const std::vector<uint8_t> f = Chunk("fmt ", fmt), d = Chunk("data", std::vector<uint8_t>(8000, 0x80));
    body.insert(body.end(), f.begin(), f.end());
    body.insert(body.end(), d.begin(), d.end());
    return Chunk("RIFF", body);
}

std::string TempFolder() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    std::string t = temp;
    if (!t.empty() && t.back() == '\\') t.pop_back();
    return t;
}

// The temporary copies a movie from an archive leaves in the temporary folder.
int CountTempCopies() {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((TempFolder() + "\\tmp*.tmp").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do ++count;
    while (FindNextFileA(find, &data));
    FindClose(find);
    return count;
}

// A folder of fixture files in the temporary folder, removed again.
class MovieFiles {
public:
    MovieFiles() {
        root_ = TempFolder() + "\\kv_movie_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(root_.c_str(), nullptr);
        CreateDirectoryA((root_ + "\\disk").c_str(), nullptr);
        movie = Write("disk\\clip.avi", MakeAvi());
        ArchiveMemorySink sink;
        ArchiveWriter writer(&sink, ArchiveWriterOptions());
        const std::vector<uint8_t> avi = MakeAvi();
        writer.AddFile("clip.avi", avi.data(), avi.size(), {});
        writer.Finish();
        // Under whatever extension archives have at the moment (another test may have changed it).
        Write(std::string("packed.") + ArchiveGetExtension(),
              std::vector<uint8_t>(sink.bytes.begin(), sink.bytes.end()));
        packed = root_ + "\\packed\\clip.avi";
    }
    ~MovieFiles() {
        for (const std::string& f : made_) DeleteFileA(f.c_str());
        RemoveDirectoryA((root_ + "\\disk").c_str());
        RemoveDirectoryA(root_.c_str());
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = root_ + "\\" + name;
        HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(f);
        made_.push_back(path);
        return path;
    }
    std::string movie, packed;

private:
    std::string root_;
    std::vector<std::string> made_;
};

// Which frame the graph shows: its right half drawn at the screen's top-left, matched against the frame colours
// (-1: none of them).
int ShownFrame(int graph) {
    if (DrawGraphAtImpl(0, 0, graph, 0) != 0) return -2;
    const uint32_t left = ReadBackPixel(4, 4);
    const uint32_t right = ReadBackPixel(kMovieW - 4, kMovieH - 4);
    if (!ColorsClose(left, kLeftColour, 8)) return -1;
    for (int f = 0; f < kFrames; ++f) {
        if (ColorsClose(right, FrameColour(f), 8)) return f;
    }
    return -1;
}

MovieRecord* MovieOf(int graph) {
    const GraphRecord* g = GetGraphRecord(graph);
    return g != nullptr ? MovieHandleToRecord(g->movieHandle) : nullptr;
}

// Asks, every few milliseconds and for 20 s at most, until the condition holds; whether it held. The movies
// decode at their own pace, which a busy machine slows.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD sleepMs = 5) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > 20000) return false;
        Sleep(sleepMs);
    }
    return true;
}

// Draws the graph every few milliseconds until its movie stops playing (or 30 s pass); the frames seen, in order.
std::vector<int> WatchUntilTheEnd(int graph) {
    std::vector<int> seen;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 30000) {
        ProcessMessage();
        const int f = ShownFrame(graph);
        if (f >= 0 && (seen.empty() || seen.back() != f)) seen.push_back(f);
        const MovieRecord* m = MovieOf(graph);
        if (m == nullptr || !m->playing) break;
        Sleep(5);
    }
    return seen;
}

// Plays the movie a frame at a time: on until a draw shows a new frame, then paused there. The pause stops the
// stream's clock while the test looks, so the player never falls a frame behind (when it would take two in one
// draw), however slow the machine: every frame must be seen, in order, the last one's end clearing playing. A
// player that skips frames leaves a gap.
std::string CheckPlaysEveryFrameInOrder(int graph) {
    const MovieRecord* m = MovieOf(graph);
    if (m == nullptr) return "no movie";
    std::vector<int> seen;
    const auto seenText = [&seen] {
        std::string text;
        for (int f : seen) text += std::to_string(f) + " ";
        return text;
    };
    for (;;) {
        if (PlayMovieHandle(graph) != 0) return "play";
        int shown = -1;
        const bool moved = WaitUntil([&] {
            ProcessMessage();
            shown = ShownFrame(graph);
            return (shown >= 0 && (seen.empty() || shown != seen.back())) || !m->playing;
        }, 2);
        if (!moved) return "no new frame after: " + seenText();
        if (shown >= 0 && (seen.empty() || shown != seen.back())) seen.push_back(shown);
        if (!m->playing) break;
        if (PauseMovieHandle(graph) != 0) return "pause";
    }
    if (seen.size() != static_cast<size_t>(kFrames)) return "frames seen: " + seenText();
    for (int f = 0; f < kFrames; ++f) {
        if (seen[f] != f) return "frames seen: " + seenText();
    }
    return "";
}

// ---- Pure rules ----

TEST(MovieRules, DueFrameRule) {
    struct Row {
        MovieDueInput in;
        MovieUpdateStep step;
    };
    // force, playing, running, stream time, last frame time, now ms, last copy ms, pending, event set
    const Row rows[] = {
        {{0, 1, 1, 2000000, 1000000, 100, 95, 0, 0}, MovieUpdateStep::kRequestFrame},   // time moved
        {{0, 1, 1, 1000000, 1000000, 100, 90, 0, 0}, MovieUpdateStep::kNothing},        // still, 10 ms
        {{0, 1, 1, 1000000, 1000000, 117, 100, 0, 0}, MovieUpdateStep::kNothing},       // still, 17 ms
        {{0, 1, 1, 1000000, 1000000, 118, 100, 0, 0}, MovieUpdateStep::kRequestFrame},  // still, 18 ms
        {{0, 0, 1, 2000000, 1000000, 200, 100, 0, 0}, MovieUpdateStep::kNothing},       // not playing
        {{0, 1, 0, 2000000, 1000000, 200, 100, 0, 0}, MovieUpdateStep::kNothing},       // stream stopped
        {{0, 1, 1, 2000000, 1000000, 200, 100, 1, 0}, MovieUpdateStep::kNothing},       // pending, not in
        {{0, 1, 1, 2000000, 1000000, 200, 100, 1, 1}, MovieUpdateStep::kCollectPending},
        {{0, 1, 1, 1000000, 1000000, 5, 0xFFFFFFF0u, 0, 0}, MovieUpdateStep::kRequestFrame},  // clock wrapped
        {{1, 0, 0, 1000000, 1000000, 100, 100, 0, 0}, MovieUpdateStep::kRequestFrame},        // forced
        {{1, 0, 0, 1000000, 1000000, 100, 100, 1, 0}, MovieUpdateStep::kWaitPending},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "playing " << r.in.playing << " running " << r.in.running << " now "
                                        << r.in.nowMs << " pending " << r.in.pending << " force " << r.in.force);
        EXPECT_EQ(static_cast<int>(DecideMovieUpdate(r.in)), static_cast<int>(r.step));
    }
}

TEST(MovieRules, OverlayPlacementClipsScalesAndAligns) {
    const RECT client = {100, 50, 740, 530};
    const OverlayAlignment none = {0, 0, 0, 0};
    struct Row {
        int x, y, scale;
        OverlayAlignment align;
        bool shown;
        RECT source, dest;
    };
    const Row rows[] = {
        {10, 20, 1, none, true, {0, 0, 64, 32}, {110, 70, 174, 102}},
        {10, 20, 2, none, true, {0, 0, 64, 32}, {110, 70, 238, 134}},
        // Cut at the left and the top: the source loses the cut divided by the scale.
        {-20, -10, 2, none, true, {10, 5, 64, 32}, {100, 50, 208, 104}},
        // Cut at the right and the bottom.
        {600, 460, 1, none, true, {0, 0, 40, 20}, {700, 510, 740, 530}},
        // Alignment: the left edges move up to the boundary, the widths come down to the size step.
        {3, 0, 1, {4, 8, 8, 16}, true, {0, 0, 64, 32}, {104, 50, 152, 82}},
        {10, 0, 1, {0, 0, 0, 128}, false, {}, {}},  // nothing left after the size step
        {700, 0, 1, none, false, {}, {}},           // wholly outside
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.x << "," << r.y << " scale " << r.scale);
        RECT s = {}, d = {};
        ASSERT_EQ(PlaceMovieOverlay(r.x, r.y, r.scale, kMovieW, kMovieH, client, r.align, &s, &d), r.shown);
        if (!r.shown) continue;
        EXPECT_TRUE(EqualRect(&s, &r.source)) << s.left << " " << s.top << " " << s.right << " " << s.bottom;
        EXPECT_TRUE(EqualRect(&d, &r.dest)) << d.left << " " << d.top << " " << d.right << " " << d.bottom;
    }
}

// ---- Playing ----

class MovieTest : public ::testing::Test {
protected:
    void TearDown() override {
        ShutDownLibrary();
        SetUse3D(1);
    }
    void WaitForActivation() {
        WaitUntil([] {
            ProcessMessage();
            return IsAppActive() != 0;
        }, 10);
    }
    DisplayWatchdog watchdog_{120};
    MovieFiles files_;
};

TEST_F(MovieTest, Direct3DRoadPlaysPausesAndPlaysFromAnArchive) {
    const int liveBefore = GetTrackedAllocCount();
    const int tempBefore = CountTempCopies();
    ASSERT_EQ(StartRuntimeAsTheGame(), 0);
    ASSERT_EQ(SetTargetScreen(-2), 0);
    WaitForActivation();
    const int graph = LoadGraphFromFile(files_.movie.c_str(), 0);
    ASSERT_NE(graph, -1);
    int w = 0, h = 0;
    ASSERT_EQ(GetGraphDimensions(graph, &w, &h), 0);
    EXPECT_EQ(w, kMovieW);
    EXPECT_EQ(h, kMovieH);
    EXPECT_EQ(GetGraphRecord(graph)->creation[kCreateTexture], 1);
    EXPECT_EQ(CheckPlaysEveryFrameInOrder(graph), "");

    // A pause stops the frames; so does the window's deactivation.
    ReleaseGraph(graph, 0);
    for (int viaWindow = 0; viaWindow < 2; ++viaWindow) {
        SCOPED_TRACE(viaWindow ? "deactivated" : "paused");
        const int g = LoadGraphFromFile(files_.movie.c_str(), 0);
        ASSERT_NE(g, -1);
        ASSERT_EQ(PlayMovieHandle(g), 0);
        int shown = -1;
        WaitUntil([&] { return (shown = ShownFrame(g)) >= 1; });
        ASSERT_GE(shown, 1);
        if (viaWindow) {
            SendMessageA(GetMainHwnd(), WM_ACTIVATE, WA_INACTIVE, 0);
        } else {
            ASSERT_EQ(PauseMovieHandle(g), 0);
        }
        const MovieRecord* m = MovieOf(g);
        EXPECT_EQ(m->playing, 0);
        // Draws wait while the window is inactive, so the frames are asked for directly.
        const int copied = m->framesCopied;
        for (int i = 0; i < 35; ++i, Sleep(10)) UpdateMovieFrame(g, 0);
        EXPECT_EQ(m->framesCopied, copied);
        if (viaWindow) {
            SendMessageA(GetMainHwnd(), WM_ACTIVATE, WA_ACTIVE, 0);
        } else {
            EXPECT_EQ(ShownFrame(g), shown);
            ASSERT_EQ(PlayMovieHandle(g), 0);
        }
        // Played on, it goes on from where it stood.
        EXPECT_EQ(m->playing, 1);
        const std::vector<int> rest = WatchUntilTheEnd(g);
        ASSERT_FALSE(rest.empty());
        EXPECT_GE(rest.front(), shown);
        EXPECT_EQ(rest.back(), kFrames - 1);
        ReleaseGraph(g, 0);
    }

    // From the archive: a temporary copy while the graph lives, gone with it.
    const int packed = LoadGraphFromFile(files_.packed.c_str(), 0);
    ASSERT_NE(packed, -1);
    EXPECT_EQ(CountTempCopies(), tempBefore + 1);
    EXPECT_EQ(CheckPlaysEveryFrameInOrder(packed), "");
    EXPECT_EQ(ReleaseGraph(packed, 0), 0);
    EXPECT_EQ(CountTempCopies(), tempBefore);

    EXPECT_EQ(GetLiveMovieCountForTest(), 0);
    EXPECT_EQ(ShutDownLibrary(), 0);
    EXPECT_EQ(GetTrackedAllocCount(), liveBefore);
}

TEST_F(MovieTest, DirectDrawRoadPlaysAndModeTwoShowsTheSamePixels) {
    ASSERT_EQ(StartRuntimeOn2DRoad(), 0);
    ASSERT_EQ(SetTargetScreen(-2), 0);
    WaitForActivation();
    const int graph = LoadGraphFromFile(files_.movie.c_str(), 0);
    ASSERT_NE(graph, -1);
    EXPECT_EQ(GetGraphRecord(graph)->creation[kCreateTexture], 0);
    EXPECT_EQ(CheckPlaysEveryFrameInOrder(graph), "");

    // Mode 2 (24-bit frames) asked for directly; at a 32-bit depth it decodes as mode 0 does.
    int w = 0, h = 0;
    const int movie = OpenMovieToGraph(files_.movie.c_str(), &w, &h, 2);
    ASSERT_NE(movie, -1);
    EXPECT_EQ(GetMovieMode(movie), GetScreenColorBits() == 32 ? 0 : 2);
    const int other = CreateEmptyGraphImpl(w, h, 1);
    ASSERT_NE(other, -1);
    ASSERT_EQ(SetGraphMovieHandle(other, movie), 0);
    EXPECT_EQ(CheckPlaysEveryFrameInOrder(other), "");
    EXPECT_EQ(ShutDownLibrary(), 0);
    EXPECT_EQ(GetLiveMovieCountForTest(), 0);
}

TEST_F(MovieTest, DeviceLossDerivedGraphsAndAPendingUpdate) {
    ASSERT_EQ(StartRuntimeAsTheGame(), 0);
    ASSERT_EQ(SetTargetScreen(-2), 0);
    WaitForActivation();
    const int first = LoadGraphFromFile(files_.movie.c_str(), 0);
    const int second = LoadGraphFromFile(files_.packed.c_str(), 0);
    ASSERT_NE(first, -1);
    ASSERT_NE(second, -1);

    // Releasing a cut-out leaves its source playing.
    const int cut = DeriveSubGraph(0, 0, 16, 16, first);
    ASSERT_NE(cut, -1);
    ASSERT_EQ(PlayMovieHandle(first), 0);
    ASSERT_EQ(PlayMovieHandle(second), 0);
    EXPECT_EQ(ReleaseGraph(cut, 0), 0);
    ASSERT_NE(MovieOf(first), nullptr);
    EXPECT_EQ(MovieOf(first)->playing, 1);

    // Each is paused once it shows its third frame or a later one (the two start at their own pace): where the
    // loss finds them is known, and away from the start, where a reopen that did not seek would also stand.
    const int graphs[2] = {first, second};
    int before[2] = {-1, -1};
    WaitUntil([&] {
        for (int i = 0; i < 2; ++i) {
            before[i] = ShownFrame(graphs[i]);
            if (before[i] >= 2) PauseMovieHandle(graphs[i]);
        }
        return before[0] >= 2 && before[1] >= 2;
    });
    ASSERT_GE(before[0], 2);
    ASSERT_GE(before[1], 2);
    PauseAllMovies();
    // A device loss: the streams go and come back where they were, the frame last shown.
    ReleaseAllMovieSurfaces();
    EXPECT_EQ(MovieOf(first)->hasSurfaces, 0);
    for (int i = 0; i < 2; ++i) {
        const MovieRecord* m = MovieOf(graphs[i]);
        ASSERT_GT(m->timePerFrame, 0);
        EXPECT_EQ(m->savedTime / m->timePerFrame, before[i]) << i;
    }
    RestoreScreenSystem();
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const MovieRecord* m = MovieOf(graphs[i]);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->hasSurfaces, 1);
        EXPECT_EQ(m->playing, 0);
        // Reopened paused where it was saved, and played on from there: the first frame it shows is the one last
        // shown before the loss (the reload leaves a movie graph blank until then).
        LONGLONG position = -1;
        ASSERT_EQ(m->seeking->GetCurrentPosition(&position), S_OK);
        EXPECT_EQ(position, before[i] * m->timePerFrame);
        ASSERT_EQ(PlayMovieHandle(graphs[i]), 0);
        int now = -1;
        WaitUntil([&] { return (now = ShownFrame(graphs[i])) >= 0; }, 2);
        EXPECT_EQ(now, before[i]);
    }
    // Closing while an asynchronous update is out.
    const int third = LoadGraphFromFile(files_.movie.c_str(), 0);
    ASSERT_NE(third, -1);
    PlayMovieHandle(third);
    // A movie that was playing plays again after the loss.
    ReleaseAllMovieSurfaces();
    RestoreScreenSystem();
    EXPECT_EQ(MovieOf(third)->playing, 1);
    bool pending = false;
    WaitUntil([&] {
        UpdateMovieFrame(third, 0);
        return pending = MovieOf(third)->updatePending != 0;
    }, 1);
    EXPECT_TRUE(pending);
    EXPECT_EQ(ReleaseGraph(third, 0), 0);
    EXPECT_EQ(ReleaseGraph(first, 0), 0);
    EXPECT_EQ(ReleaseGraph(second, 0), 0);
    EXPECT_EQ(GetLiveMovieCountForTest(), 0);
}

// ---- Files that are no movie ----

class MovieFailureTest : public LogFileTest {
protected:
    DisplayWatchdog watchdog_{120};
};

std::string ReadLogIn(const std::string& directory) {
    std::string content;
    HANDLE file = CreateFileA((directory + "\\" + GetLogFileName()).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return content;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) content.append(buffer, got);
    CloseHandle(file);
    return content;
}

BOOL ShortWrite(HANDLE file, const void* data, DWORD size, DWORD* written) {
    return WriteFile(file, data, size / 2, written, nullptr);
}

std::string CheckFailuresLeaveNothing(const std::string& logDirectory) {
    MovieFiles files;
    if (StartRuntimeAsTheGame() != 0) return "start-up";
    SetLogDirectory(logDirectory.c_str());
    SetLogFileEnabledImpl(1);
    std::vector<uint8_t> noise(5000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    std::vector<uint8_t> damaged = MakeAvi();
    std::memcpy(damaged.data() + 8, "JUNK", 4);
    std::memset(damaged.data() + 12, 0xEE, 200);

    struct Row {
        const char* name;
        std::string path;
        const char* line;
        std::function<void()> before, after;
    };
    const std::string missing = files.Write("gone.avi", {});
    DeleteFileA(missing.c_str());
    std::vector<Row> rows = {
        {"random bytes", files.Write("noise.avi", noise), "が開けませんでした", nullptr, nullptr},
        {"damaged header", files.Write("damaged.avi", damaged), "が開けませんでした", nullptr, nullptr},
        {"sound only", files.Write("sound.wav", MakeWav()), "動画ファイルではない可能性があります！", nullptr,
         nullptr},
        {"missing", missing, "がありません", nullptr, nullptr},
        // A picture cut short inside its header: never handed to the streaming, which can wait on one forever.
        {"cut-short picture", files.Write("cut.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13}),
         "が開けませんでした", nullptr, nullptr},
        {"short write of the temporary copy", files.packed, "が開けませんでした",
         [] { SetMovieTempWriteForTest(ShortWrite); }, [] { SetMovieTempWriteForTest(nullptr); }},
        // The movie opens; the graph for it cannot be made (its 2D surface record is refused).
        {"graph refused", files.movie, "格納用グラフィック領域の作成に失敗しました",
         [] {
             SetUse3D(0);
             TrackedAllocSettings s = GetTrackedAllocSettings();
             s.testRefuseBlockSize = static_cast<int>(sizeof(Surface2D));
             SetTrackedAllocSettings(s);
         },
         [] {
             TrackedAllocSettings s = GetTrackedAllocSettings();
             s.testRefuseBlockSize = 0;
             SetTrackedAllocSettings(s);
             SetUse3D(1);
         }},
    };
    // An archive, once read, stays open until shutdown.
    for (const std::string& good : {files.movie, files.packed}) {
        const int warmUp = OpenMovieToGraph(good.c_str(), nullptr, nullptr, 0);
        if (warmUp == -1 || CloseMovie(warmUp) != 0) return good + " did not open";
    }
    // So does the 2D surface table's slot array, made with its first 2D graph.
    SetUse3D(0);
    const int plain = CreateEmptyGraphImpl(8, 8, 1);
    SetUse3D(1);
    if (plain == -1 || ReleaseGraph(plain, 0) != 0) return "a 2D graph";
    const int tempBefore = CountTempCopies();
    for (const Row& r : rows) {
        OpenLogFile();
        const int live = GetTrackedAllocCount();
        if (r.before) r.before();
        const int graph = LoadGraphFromFile(r.path.c_str(), 0);
        if (r.after) r.after();
        if (graph != -1) return std::string(r.name) + ": a graph was made";
        const std::string log = ReadLogIn(logDirectory);
        if (log.find(r.line) == std::string::npos) return std::string(r.name) + ": no line in " + log;
        if (GetLiveMovieCountForTest() != 0) return std::string(r.name) + ": a movie slot is left";
        if (GetTrackedAllocCount() != live) return std::string(r.name) + ": tracked blocks left";
        if (CountTempCopies() != tempBefore) return std::string(r.name) + ": a temporary file is left";
        if (VfsOpenFileCount() != 0) return std::string(r.name) + ": a file is left open";
    }

    // The 101st movie: one real movie, the other 99 slots taken by stream-less records.
    const int real = OpenMovieToGraph(files.movie.c_str(), nullptr, nullptr, 0);
    if (real == -1) return "a good movie did not open";
    int others[kMovieSlots];
    const int occupied = OccupyFreeMovieSlotsForTest(others);
    if (occupied != kMovieSlots - 1) return "the table held " + std::to_string(occupied + 1);
    OpenLogFile();
    if (OpenMovieToGraph(files.movie.c_str(), nullptr, nullptr, 0) != -1) return "a 101st movie opened";
    const std::string log = ReadLogIn(logDirectory);
    if (log.find("ムービーハンドルの数が許容量を越えました") == std::string::npos) return "no line for the 101st";
    for (int i = 0; i < occupied; ++i) CloseMovie(others[i]);
    CloseMovie(real);
    if (GetLiveMovieCountForTest() != 0) return "movies left";
    if (ShutDownLibrary() != 0) return "shutdown";
    return "";
}

// In a child, so that the process's own exit is part of the check (a stream left alive brings the exit down).
TEST_F(MovieFailureTest, FilesThatAreNoMovieFailCleanly) {
    ShareDirectoryWithChildren(true);
    const std::string directory = directory_;
    ExpectCheckPassesInChild([directory] { return CheckFailuresLeaveNothing(directory); });
    ShareDirectoryWithChildren(false);
}

}  // namespace
