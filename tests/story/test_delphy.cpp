// The extra story scene through scripted input: the opening pages, the menus, the gallery, the music room's
// reloads and the chime game (with seeds that give a target of 0 and a larger one, and with a chime that failed
// to load).
#include <gtest/gtest.h>

#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "runtime/runtime.h"
#include "story/scene_delphy.h"
#include "story/scene_title.h"
#include "story/story_sound.h"
#include "story_test_support.h"

namespace {

class DelphyTest : public StoryGameTest {
protected:
    void SetUp() override {
        StoryGameTest::SetUp();
        before_ = CountStoryHandles();
        game().startScene(std::make_shared<SceneDelphy>(game().loaderPointer()));
        scene_ = current<SceneDelphy>();
        ASSERT_NE(nullptr, scene_);
        ASSERT_TRUE(idleUntil([this] { return scene_->state() == SceneDelphy::kOpening; }, 200));
    }
    void TearDown() override {
        game().startScene(std::make_shared<SceneTitle>(game().loaderPointer()));
        ExpectStoryHandlesBack(before_);
    }

    void press(int bits) {
        game().step(bits);
        game().step();
    }
    // The row of the state's text sheet shown in the text window, or -1.
    int shownRow() {
        const int sheet = SceneDelphy::textSheet(scene_->state());
        const PictureRow* row = FindPictureRowForEntry(sheet);
        if (row == nullptr) return -1;
        int x = 0, y = 0;
        PictureSamplePoint(*row, &x, &y);
        return CellShownBy(game().pixel(168 + x, 392 + y), sheet);
    }
    void toMenu() {
        for (int i = 0; i < 4; ++i) press(kButtonFirst);
        ASSERT_EQ(SceneDelphy::kMenu, scene_->state());
    }
    void choose(int entry) {
        while (scene_->menuCursor() != entry) press(kButtonDown);
        press(kButtonFirst);
    }
    // Waits until the decide (or any menu) sound has ended, as the chime game does before it rings.
    void waitForQuiet() {
        idleUntil([this] { return !soundIsPlaying(game().loader().sound(13)); }, 400);
    }

    SceneDelphy* scene_ = nullptr;
    StoryHandleCounts before_;
};

TEST_F(DelphyTest, OpeningPagesThenTheMenuWhoseCursorWraps) {
    for (int page = 0; page < 4; ++page) {
        EXPECT_EQ(page, shownRow()) << "opening page " << page;
        press(kButtonFirst);
    }
    ASSERT_EQ(SceneDelphy::kMenu, scene_->state());
    press(kButtonUp);
    EXPECT_EQ(7, scene_->menuCursor());
    press(kButtonDown);
    EXPECT_EQ(0, scene_->menuCursor());
    // Entry 7's page, then the fade-out to the title.
    press(kButtonUp);
    press(kButtonFirst);
    EXPECT_EQ(SceneDelphy::kText7, scene_->state());
    EXPECT_EQ(0, shownRow());
    press(kButtonFirst);
    EXPECT_EQ(SceneDelphy::kFadeOut, scene_->state());
    EXPECT_TRUE(idleUntil([] { return current<SceneTitle>() != nullptr; }, 200));
}

TEST_F(DelphyTest, SubMenuTextsReturnToTheSubMenu) {
    toMenu();
    choose(SceneDelphy::kSubMenu);
    ASSERT_EQ(SceneDelphy::kSubMenu, scene_->state());
    const int pages[3] = {10, 11, 4};
    for (int text = 0; text < 3; ++text) {
        while (scene_->subCursor() != text) press(kButtonDown);
        press(kButtonFirst);
        ASSERT_EQ(SceneDelphy::kSubText0 + text, scene_->state());
        for (int page = 0; page < pages[text]; ++page) {
            EXPECT_EQ(page, shownRow()) << "text " << text << " page " << page;
            press(kButtonFirst);
        }
        EXPECT_EQ(SceneDelphy::kSubMenu, scene_->state());
    }
    press(kButtonDown);
    EXPECT_EQ(3, scene_->subCursor());
    press(kButtonFirst);
    EXPECT_EQ(SceneDelphy::kMenu, scene_->state());
    EXPECT_EQ(0, scene_->subCursor());
}

TEST_F(DelphyTest, GalleryReturnsAfterTwentySixPresses) {
    toMenu();
    choose(SceneDelphy::kGallery);
    for (int i = 0; i < 25; ++i) {
        press(kButtonFirst);
        ASSERT_EQ(SceneDelphy::kGallery, scene_->state()) << "press " << i + 1;
        if (i % 2 == 0) {
            // The picture itself, drawn whole.
            EXPECT_TRUE(ShowsCell(game().pixel(320, 240), 378 + scene_->page(), 0)) << "picture " << scene_->page();
        }
    }
    press(kButtonFirst);
    EXPECT_EQ(SceneDelphy::kMenu, scene_->state());
}

TEST_F(DelphyTest, MusicRoomRestartsAChosenTrackAndLeavesFreshTitleMusic) {
    toMenu();
    choose(SceneDelphy::kMusicRoom);
    Loader& loader = game().loader();
    EXPECT_EQ(SceneDelphy::kNoTrack, shownRow());
    // Track 0 is the title music's own entry: choosing it twice and leaving must release nothing twice.
    press(kButtonFirst);
    const int first = loader.sound(0);
    EXPECT_EQ(0, scene_->playingTrack());
    EXPECT_TRUE(soundIsPlaying(first));
    EXPECT_FALSE(soundIsPlaying(loader.sound(11))) << "the scene music stops for a track";
    EXPECT_EQ(0, shownRow());
    game().idle(30);
    press(kButtonFirst);
    const int again = loader.sound(0);
    EXPECT_NE(first, again) << "loaded afresh, so it starts from the top";
    EXPECT_TRUE(soundIsPlaying(again));
    // Another track, then back.
    press(kButtonDown);
    press(kButtonFirst);
    EXPECT_EQ(1, scene_->playingTrack());
    EXPECT_EQ(-1, loader.sound(0)) << "the track left is released";
    press(kButtonUp);
    press(kButtonFirst);
    const int last = loader.sound(0);
    press(kButtonSecond);
    EXPECT_EQ(SceneDelphy::kMenu, scene_->state());
    EXPECT_EQ(SceneDelphy::kNoTrack, scene_->playingTrack());
    EXPECT_NE(last, loader.sound(0)) << "a freshly loaded title music";
    EXPECT_NE(-1, loader.sound(0));
    EXPECT_TRUE(soundIsPlaying(loader.sound(11)));
    EXPECT_EQ(0, storyRefusedReleases());
}

// The first seed from `from` on whose first draw of RandomInt(10) gives `target` (or, with -1, more than 2).
int SeedForChimeTarget(int target, int from) {
    for (int seed = from; seed < from + 10000; ++seed) {
        RandomSetSeed(seed);
        const int drawn = RandomInt(10);
        if (target >= 0 ? drawn == target : drawn > 2) return seed;
    }
    return -1;
}

struct ChimeCase {
    const char* name;
    int target;  // -1: a larger one
    bool chimeMissing;
};

TEST_F(DelphyTest, ChimeGameRingsToItsTargetAndReturnsOnDecide) {
    const ChimeCase cases[] = {{"target 0", 0, false}, {"larger target", -1, false}, {"failed chime", -1, true}};
    toMenu();
    Loader& loader = game().loader();
    for (const ChimeCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.chimeMissing) loader.loadSound(46, true);  // the entry as a failed load leaves it: -1
        const int seed = SeedForChimeTarget(c.target, 1);
        ASSERT_NE(-1, seed);
        while (scene_->menuCursor() != SceneDelphy::kChimeGame) press(kButtonDown);
        RandomSetSeed(seed);
        game().step(kButtonFirst);
        game().step();
        ASSERT_EQ(SceneDelphy::kChimeGame, scene_->state());
        const int target = scene_->chimeTarget();
        if (c.target >= 0) EXPECT_EQ(c.target, target);
        else EXPECT_GT(target, 2);
        // Rings one chime after another (each once the last has ended), then shows the count.
        ASSERT_TRUE(idleUntil([&] { return scene_->chimesRung() == target &&
                                           !soundIsPlaying(loader.sound(46)) &&
                                           !soundIsPlaying(loader.sound(13)); },
                              3000));
        game().step();
        EXPECT_EQ(target, shownRow());
        press(kButtonFirst);
        EXPECT_EQ(SceneDelphy::kMenu, scene_->state());
        EXPECT_EQ(-1, scene_->chimeTarget());
        if (c.chimeMissing) loader.loadSound(46, false);
    }
}

}  // namespace
