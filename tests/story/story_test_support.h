// Shared checks of the story tests: every test ends with no release refused and with the live graph and sound
// counts back where they started.
#pragma once

#include <gtest/gtest.h>

#include "graphics/graph.h"
#include "sound/sound_handle.h"
#include "sound/sound_system.h"
#include "story/story_release.h"

struct StoryHandleCounts {
    int graphs = 0;
    int sounds = 0;
};

inline StoryHandleCounts CountStoryHandles() {
    StoryHandleCounts counts;
    GetGraphTableState(&counts.graphs, nullptr, nullptr);
    counts.sounds = GetSoundHandleCount();
    return counts;
}

// Also clears the refused-release count, so the test that follows starts clean.
inline void ExpectStoryHandlesBack(const StoryHandleCounts& before) {
    const StoryHandleCounts now = CountStoryHandles();
    EXPECT_EQ(before.graphs, now.graphs) << "live graphs";
    EXPECT_EQ(before.sounds, now.sounds) << "live sounds";
    EXPECT_EQ(0, storyRefusedReleases()) << "releases refused";
    resetStoryRefusedReleases();
}

#include <memory>

#include "game/shell/scene.h"
#include "tests/game_support/game_stepper.h"

// One running game for the story suites: starting the runtime and loading the common group once keeps them
// fast (a suite parks its game for the next). Each test starts its scene through the ordinary switch.
class StoryGameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { game_ = TakeGameStepper(ResourceTree::kFolders); }
    static void TearDownTestSuite() {
        ParkGameStepper(game_);
        game_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(game_ != nullptr && game_->started());
        resetStoryRefusedReleases();
    }

    static GameStepper& game() { return *game_; }

    template <class SceneType>
    static SceneType* current() {
        return dynamic_cast<SceneType*>(game_->controller().currentScene().get());
    }

    // Steps with no input until the predicate holds; false after `limit` frames.
    template <class Predicate>
    static bool idleUntil(Predicate done, int limit) {
        for (int i = 0; i < limit; ++i) {
            if (done()) return true;
            game_->step();
        }
        return done();
    }

    static inline GameStepper* game_ = nullptr;
};

// The DirectSound volume (hundredths of a decibel) of a sound handle's first buffer; 1 when it cannot be read.
inline long DirectSoundVolume(int handle) {
    SoundData* data = GetSoundData(handle);
    if (data == nullptr) return 1;
    LONG volume = 1;
    if (SoundBufferGetVolume(&data->buffers[0], &volume) != 0) return 1;
    return volume;
}

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "game/shell/loader.h"
#include "story/talk.h"
#include "tools/resgen/picture_table.h"

// One pixel of a screen read back as 640x480 RGB, as 0x00RRGGBB.
inline uint32_t ScreenPixel(const std::vector<uint8_t>& screen, int x, int y) {
    if (screen.empty() || x < 0 || y < 0 || x >= kScreenWidth || y >= kScreenHeight) return 0xFFFFFFFFu;
    const uint8_t* p = screen.data() + (static_cast<size_t>(y) * kScreenWidth + x) * 3;
    return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
}

// The largest channel difference of two colours.
inline int ColourDistance(uint32_t a, uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int d = std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
        if (d > worst) worst = d;
    }
    return worst;
}

// Close enough to a generated picture's cell colour (JPEG sheets and 16-bit screens move colours a little).
constexpr int kColourTolerance = 24;

inline bool ShowsCell(uint32_t pixel, int entry, int cell) {
    const PictureRow* row = FindPictureRowForEntry(entry);
    return row != nullptr && ColourDistance(pixel, PictureCellColour(*row, cell)) <= kColourTolerance;
}

// The cell (or row, or page) of a generated picture whose colour the pixel shows: the nearest one within the
// tolerance, or -1.
inline int CellShownBy(uint32_t pixel, int entry) {
    const PictureRow* row = FindPictureRowForEntry(entry);
    if (row == nullptr) return -1;
    const int cells = row->columns * row->rows;
    int best = -1, bestDistance = kColourTolerance + 1;
    for (int cell = 0; cell < cells; ++cell) {
        const int d = ColourDistance(pixel, PictureCellColour(*row, cell));
        if (d < bestDistance) {
            best = cell;
            bestDistance = d;
        }
    }
    return best;
}

// The page of the conversation's text sheet shown at the window's text position on the back screen, or -1 when
// the window is hidden or shows no page of the sheet.
inline int ShownPage(GameStepper& game, const Talk& talk) {
    const int x = talk.pageTextX();
    if (x < 0) return -1;
    int entry = -1;
    for (int e = 138; e <= 167; ++e) {
        if (game.loader().image(e) == talk.textSheet) entry = e;
    }
    if (entry < 0) return -1;
    const PictureRow* row = FindPictureRowForEntry(entry);
    int sx = 0, sy = 0;
    PictureSamplePoint(*row, &sx, &sy);
    return CellShownBy(game.pixel(x + sx, Talk::kPageTextY + sy), entry);
}

#include <string>

#include "story/talk_script_data.h"

// Every cell a script cuts: its page rows and its change rows.
inline std::vector<story::TalkCell> TalkCellsOf(const story::TalkMember& member) {
    std::vector<story::TalkCell> cells;
    if (const story::TalkPageRows* rows = story::FindTalkPageRows(member.name)) {
        story::TalkPages pages;
        std::string error;
        if (story::ParseTalkPages(*rows, &pages, &error)) {
            for (const auto* list : {&pages.slot0, &pages.slot1, &pages.third}) {
                for (const story::TalkCell& cell : *list) {
                    if (cell.sheet >= 0) cells.push_back(cell);
                }
            }
        }
    }
    for (const story::TalkPageChange& change : story::TalkChangeTable()) {
        if (std::string(change.name) != member.name || change.slot < 0) continue;
        cells.push_back(story::ParseTalkCell(change.cell));
    }
    return cells;
}
