// The title menu, character choice and options screen, driven by scripted input words through the real game.
#include <gtest/gtest.h>

#include <vector>

#include "game/match/scene_game_main.h"
#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "game/shell/options.h"
#include "story/scene_character_choice.h"
#include "story/scene_delphy.h"
#include "story/scene_option.h"
#include "story/scene_talk.h"
#include "story/scene_title.h"
#include "story/story_sound.h"
#include "story_test_support.h"

namespace {

constexpr int kDown = kButtonDown, kUp = kButtonUp, kLeft = kButtonLeft, kRight = kButtonRight;
constexpr int kDecide = kButtonFirst, kCancel = kButtonSecond;

class MenuTest : public StoryGameTest {
protected:
    void SetUp() override {
        StoryGameTest::SetUp();
        before_ = CountStoryHandles();
    }
    void TearDown() override {
        // Back to a fresh title so the next case and the handle count start alike.
        resetOptionValues();
        gameEndFlag = 0;
        // A match made by a finished choice but never started leaves its computer flag behind.
        cpuInputIgnored = false;
        game().startScene(std::make_shared<SceneTitle>(game().loaderPointer()));
        ExpectStoryHandlesBack(before_);
    }

    // A fresh title, stepped until its menu takes input.
    SceneTitle* titleAtMenu() {
        game().startScene(std::make_shared<SceneTitle>(game().loaderPointer()));
        EXPECT_TRUE(idleUntil([] { return current<SceneTitle>()->phase() == SceneTitle::kMenu; }, 200));
        return current<SceneTitle>();
    }

    // Presses and releases a button word on side 0.
    void press(int bits, int side = 0) {
        game().step(side == 0 ? bits : 0, side == 1 ? bits : 0);
        game().step();
    }

    bool titleMusicPlaying() { return soundIsPlaying(game().loader().sound(0)); }

    StoryHandleCounts before_;
};

TEST_F(MenuTest, TitleCursorWrapsAndMovesOncePerPress) {
    SceneTitle* title = titleAtMenu();
    ASSERT_NE(nullptr, title);
    EXPECT_EQ(0, title->selected());
    press(kUp);
    EXPECT_EQ(SceneTitle::kExit, title->selected());
    press(kDown);
    EXPECT_EQ(0, title->selected());
    // Held for five frames: one move.
    for (int i = 0; i < 5; ++i) game().step(kDown);
    game().step();
    EXPECT_EQ(1, title->selected());
}

TEST_F(MenuTest, TitleIgnoresDecideBeforeTheMenu) {
    game().startScene(std::make_shared<SceneTitle>(game().loaderPointer()));
    ASSERT_TRUE(idleUntil([] { return current<SceneTitle>()->phase() == SceneTitle::kSlideIn; }, 100));
    press(kDecide);
    press(kDown);
    EXPECT_EQ(SceneTitle::kSlideIn, current<SceneTitle>()->phase());
    EXPECT_EQ(0, current<SceneTitle>()->selected());
    ASSERT_TRUE(idleUntil([] { return current<SceneTitle>()->phase() == SceneTitle::kMenu; }, 200));
    EXPECT_EQ(0, current<SceneTitle>()->selected());
}

struct TitleItemCase {
    int item;
    bool versus, onePad;  // for the character choice items
    bool musicGoesOn;
};

TEST_F(MenuTest, EachTitleItemStartsItsScene) {
    const TitleItemCase cases[] = {
        {SceneTitle::kVersus, true, false, true},    {SceneTitle::kVersusComputer, true, true, true},
        {SceneTitle::kStory, false, true, true},     {SceneTitle::kExtra, false, false, false},
        {SceneTitle::kOptions, false, false, true},
    };
    for (const TitleItemCase& c : cases) {
        SCOPED_TRACE(c.item);
        SceneTitle* title = titleAtMenu();
        ASSERT_NE(nullptr, title);
        for (int i = 0; i < c.item; ++i) press(kDown);
        press(kDecide);
        ASSERT_TRUE(idleUntil([] { return current<SceneTitle>() == nullptr; }, 100));
        switch (c.item) {
            case SceneTitle::kExtra:
                EXPECT_NE(nullptr, current<SceneDelphy>());
                break;
            case SceneTitle::kOptions:
                EXPECT_NE(nullptr, current<SceneOption>());
                break;
            default: {
                SceneCharacterChoice* choice = current<SceneCharacterChoice>();
                ASSERT_NE(nullptr, choice);
                EXPECT_EQ(c.versus, choice->versus());
                EXPECT_EQ(c.onePad, choice->onePad());
                break;
            }
        }
        // The extra scene starts its own music; the title's was stopped.
        EXPECT_EQ(c.musicGoesOn, titleMusicPlaying());
    }
}

TEST_F(MenuTest, ExitEndsTheLoopAfterTheFadeOutAndMakesNoScene) {
    SceneTitle* title = titleAtMenu();
    ASSERT_NE(nullptr, title);
    press(kUp);
    game().step(kDecide);
    int frames = 0;
    int result = 0;
    while (result == 0 && frames < 100) {
        result = game().step();
        ++frames;
    }
    EXPECT_EQ(-1, result);
    EXPECT_EQ(-1, gameEndFlag);
    // The fade runs 26 frames (255 down by 10) and the item acts on the frame after.
    EXPECT_EQ(27, frames);
    EXPECT_EQ(title, current<SceneTitle>());
    EXPECT_FALSE(titleMusicPlaying());
}

// ---- Character choice ----

class ChoiceTest : public MenuTest {
protected:
    SceneCharacterChoice* choiceReady(bool versus, bool onePad) {
        game().startScene(std::make_shared<SceneCharacterChoice>(versus, onePad, game().loaderPointer()));
        EXPECT_TRUE(idleUntil([] { return current<SceneCharacterChoice>()->state() == SceneCharacterChoice::kActive; },
                              100));
        return current<SceneCharacterChoice>();
    }
    // Presses, then waits for the slide to end.
    void pressAndSettle(int bits, int side = 0) {
        press(bits, side);
        idleUntil([] { return current<SceneCharacterChoice>()->side(0).direction == 0 &&
                              current<SceneCharacterChoice>()->side(1).direction == 0; },
                  40);
    }
};

TEST_F(ChoiceTest, LeftOnTheFirstCharacterWrapsToTheLast) {
    SceneCharacterChoice* versus = choiceReady(true, true);
    ASSERT_NE(nullptr, versus);
    pressAndSettle(kLeft);
    EXPECT_EQ(6, versus->side(0).cursor);
    pressAndSettle(kRight);
    EXPECT_EQ(0, versus->side(0).cursor);

    SceneCharacterChoice* story = choiceReady(false, true);
    ASSERT_NE(nullptr, story);
    pressAndSettle(kLeft);
    EXPECT_EQ(5, story->side(1).cursor);
    pressAndSettle(kDown);
    EXPECT_EQ(0, story->side(1).cursor);
}

TEST_F(ChoiceTest, OnePadDecidesSideZeroThenSideOneAndCancelReopensSideZero) {
    SceneCharacterChoice* choice = choiceReady(true, true);
    ASSERT_NE(nullptr, choice);
    pressAndSettle(kRight);
    press(kDecide);
    EXPECT_TRUE(choice->side(0).decided);
    EXPECT_FALSE(choice->side(1).decided);
    // Now the pad moves side 1.
    pressAndSettle(kRight);
    pressAndSettle(kRight);
    EXPECT_EQ(1, choice->side(0).cursor);
    EXPECT_EQ(2, choice->side(1).cursor);
    press(kCancel);
    EXPECT_FALSE(choice->side(0).decided);
    EXPECT_EQ(SceneCharacterChoice::kActive, choice->state());
    pressAndSettle(kRight);
    EXPECT_EQ(2, choice->side(0).cursor);
    press(kDecide);
    press(kDecide);
    EXPECT_TRUE(choice->side(1).decided);
    EXPECT_EQ(SceneCharacterChoice::kFadeOut, choice->state());
    EXPECT_FALSE(titleMusicPlaying());
}

TEST_F(ChoiceTest, TwoPadsMoveTheirOwnCursors) {
    SceneCharacterChoice* choice = choiceReady(true, false);
    ASSERT_NE(nullptr, choice);
    pressAndSettle(kRight, 0);
    pressAndSettle(kLeft, 1);
    EXPECT_EQ(1, choice->side(0).cursor);
    EXPECT_EQ(6, choice->side(1).cursor);
    press(kDecide, 1);
    EXPECT_TRUE(choice->side(1).decided);
    EXPECT_FALSE(choice->side(0).decided);
    // A decided side no longer moves, and its own cancel reopens it.
    pressAndSettle(kRight, 1);
    EXPECT_EQ(6, choice->side(1).cursor);
    press(kCancel, 1);
    EXPECT_FALSE(choice->side(1).decided);
}

TEST_F(ChoiceTest, APressDuringASlideIsIgnored) {
    SceneCharacterChoice* choice = choiceReady(true, true);
    ASSERT_NE(nullptr, choice);
    press(kRight);
    ASSERT_NE(0, choice->side(0).direction);
    press(kRight);
    press(kLeft);
    idleUntil([&] { return choice->side(0).direction == 0; }, 40);
    EXPECT_EQ(1, choice->side(0).cursor);
}

// A slide across the end of the list shows the outgoing and the incoming portrait on every frame: each part that
// is at least 20 pixels wide is read back in its middle.
TEST_F(ChoiceTest, SlidesAcrossTheWrapShowBothHalvesOnEveryFrame) {
    struct Slide {
        bool versus;
        int press;
    };
    const Slide slides[] = {{true, kLeft}, {true, kRight}, {false, kLeft}, {false, kRight}};
    for (const Slide& slide : slides) {
        SCOPED_TRACE(std::string(slide.versus ? "versus " : "story ") + (slide.press == kLeft ? "left" : "right"));
        SceneCharacterChoice* choice = choiceReady(slide.versus, true);
        ASSERT_NE(nullptr, choice);
        const int side = slide.versus ? 0 : 1;
        const int sheet = slide.versus ? 414 : 416;
        const int x = slide.versus ? 70 : 360;
        const int n = choice->characterCount();
        // Left from the first character, or right from the last one: both cross the wrap.
        if (slide.press == kRight) pressAndSettle(kLeft);
        ASSERT_EQ(slide.press == kRight ? n - 1 : 0, choice->side(side).cursor);
        game().step(slide.press);
        int frames = 0;
        while (choice->side(side).direction != 0 && frames < 40) {
            const SceneCharacterChoice::Side drawn = choice->side(side);
            game().step();
            ++frames;
            const std::vector<uint8_t> screen = game().screenRgb();
            const int d = drawn.offset;
            int outgoing, incomingX, outgoingX;
            if (drawn.direction == 1) {
                outgoing = (drawn.cursor + n - 1) % n;
                outgoingX = x + (210 - d) / 2;
                incomingX = x + 210 - d / 2;
            } else {
                outgoing = (drawn.cursor + 1) % n;
                outgoingX = x + d + (210 - d) / 2;
                incomingX = x + d / 2;
            }
            if (210 - d >= 20) {
                EXPECT_TRUE(ShowsCell(ScreenPixel(screen, outgoingX, 390), sheet, outgoing))
                    << "outgoing " << outgoing << " at offset " << d;
            }
            if (d >= 20) {
                EXPECT_TRUE(ShowsCell(ScreenPixel(screen, incomingX, 390), sheet, drawn.cursor))
                    << "incoming " << drawn.cursor << " at offset " << d;
            }
        }
        EXPECT_EQ(21, frames) << "offsets 10 to 210 drawn after the press frame";
    }
}

TEST_F(ChoiceTest, CancelReturnsToTheTitleAtOnceWithItsMusicPlaying) {
    for (bool versus : {true, false}) {
        SCOPED_TRACE(versus);
        ASSERT_NE(nullptr, choiceReady(versus, true));
        game().step(kCancel);
        EXPECT_EQ(nullptr, current<SceneCharacterChoice>());
        EXPECT_NE(nullptr, current<SceneTitle>());
        EXPECT_TRUE(titleMusicPlaying());
        game().step();
    }
}

// ---- Options ----

class OptionTest : public MenuTest {
protected:
    SceneOption* options() {
        game().startScene(std::make_shared<SceneOption>(game().loaderPointer()));
        return current<SceneOption>();
    }
};

TEST_F(OptionTest, RowsWrapAndTheLevelStaysInRange) {
    SceneOption* scene = options();
    ASSERT_NE(nullptr, scene);
    press(kUp);
    EXPECT_EQ(SceneOption::kBack, scene->row());
    press(kDown);
    EXPECT_EQ(SceneOption::kLevel, scene->row());
    const int presses[] = {kRight, kLeft, kLeft, kLeft, kLeft, kRight, kRight, kRight};
    const int levels[] = {2, 1, 0, 0, 0, 1, 2, 2};
    for (size_t i = 0; i < sizeof(presses) / sizeof(presses[0]); ++i) {
        press(presses[i]);
        EXPECT_EQ(levels[i], cpuLevel) << "after press " << i;
        // Exactly the chosen level's label is opaque; the others are blended into the background.
        const std::vector<uint8_t> screen = game().screenRgb();
        for (int level = 0; level < 3; ++level) {
            const bool opaque = ShowsCell(ScreenPixel(screen, 356 + 72 * level + 48, 95 + 24), 423 + level, 0);
            EXPECT_EQ(level == cpuLevel, opaque) << "label " << level << " after press " << i;
        }
    }
    // Back to the title on decide of the last row.
    press(kUp);
    game().step(kDecide);
    EXPECT_NE(nullptr, current<SceneTitle>());
}

TEST_F(OptionTest, HeldLeftLowersTheVolumeAFrameAndTheTitleMusicFollows) {
    SceneOption* scene = options();
    ASSERT_NE(nullptr, scene);
    for (int i = 0; i < SceneOption::kVolume; ++i) press(kDown);
    ASSERT_EQ(SceneOption::kVolume, scene->row());
    const int music = game().loader().sound(0);
    for (int frame = 1; frame <= 100; ++frame) {
        game().step(kLeft);
        ASSERT_EQ(100 - frame, optionVolume);
        const int level = static_cast<int>(255 * (optionVolume / 100.0));
        ASSERT_EQ(SoundVolumeToAttenuation(level), DirectSoundVolume(music)) << "frame " << frame;
    }
    game().step(kLeft);
    EXPECT_EQ(0, optionVolume);
    EXPECT_EQ(-10000, DirectSoundVolume(music));
    // Held right brings it back up a step a frame.
    for (int frame = 0; frame < 30; ++frame) game().step(kRight);
    EXPECT_EQ(30, optionVolume);
}

TEST_F(OptionTest, OptionValuesReachTheMatchStartedFromTheTitle) {
    SceneOption* scene = options();
    ASSERT_NE(nullptr, scene);
    // Level 0, every fifth piece special, no cut-in, volume 0; then back to the title.
    press(kLeft);
    press(kLeft);
    press(kDown);
    press(kDown);
    press(kRight);
    press(kDown);
    press(kRight);
    press(kDown);
    for (int i = 0; i < 101; ++i) game().step(kLeft);
    game().step();
    press(kDown);
    game().step(kDecide);
    ASSERT_NE(nullptr, current<SceneTitle>());
    ASSERT_TRUE(idleUntil([] { return current<SceneTitle>()->phase() == SceneTitle::kMenu; }, 200));
    press(kDown);
    press(kDecide);
    ASSERT_TRUE(idleUntil([] { return current<SceneCharacterChoice>() != nullptr &&
                                      current<SceneCharacterChoice>()->state() == SceneCharacterChoice::kActive; },
                          200));
    press(kDecide);
    press(kDecide);
    ASSERT_TRUE(idleUntil([] { return current<SceneGameMain>() != nullptr; }, 200));
    EXPECT_EQ(0, cpuLevel);
    EXPECT_FALSE(randomSpecialPieces);
    EXPECT_TRUE(skillCutInOff);
    // Sounds the match loaded after the change are silent, as DirectSound holds them.
    for (int sound : {1, 18, 21, 25}) {
        EXPECT_EQ(-10000, DirectSoundVolume(game().loader().sound(sound))) << "sound entry " << sound;
    }
}

}  // namespace
