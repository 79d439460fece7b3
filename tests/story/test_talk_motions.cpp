// The conversation scripts' figure motions and page timing, stepped frame by frame on the real conversation group:
// presses ignored while a figure moves, scripts that end by themselves, silent presses, and the figure scripts.
#include <gtest/gtest.h>

#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "story/scene_talk.h"
#include "story/story_links.h"
#include "story/story_sound.h"
#include "story/talk.h"
#include "story/talk_script_data.h"
#include "story/talk_scripts.h"
#include "story_test_support.h"

namespace {

class TalkMotionTest : public StoryGameTest {
protected:
    void SetUp() override {
        StoryGameTest::SetUp();
        before_ = CountStoryHandles();
    }
    void TearDown() override {
        unload();
        ExpectStoryHandlesBack(before_);
    }

    // The script with its conversation group loaded, as the scene would have it.
    template <class Script = Talk>
    Script* load(const char* name) {
        member_ = story::FindTalkMember(name);
        EXPECT_NE(nullptr, member_) << name;
        if (member_ == nullptr) return nullptr;
        stage_ = story::TalkKindStage(member_->kind);
        partner_ = storyOpponent(stage_ == 0 ? 1 : stage_, member_->character);
        game().loader().loadCharacterSet(stage_, false, member_->character, partner_,
                                         story::TalkKindAfterMatch(member_->kind));
        talk_ = makeTalkScript(name, game().loaderPointer());
        talk_->load();
        inputCurrent[0] = inputPrevious[0] = 0;
        return dynamic_cast<Script*>(talk_.get());
    }

    void unload() {
        if (!talk_) return;
        talk_.reset();
        game().loader().loadCharacterSet(stage_, true, member_->character, partner_,
                                         story::TalkKindAfterMatch(member_->kind));
    }

    // One frame of the script with side 0's decide held (or not); true when the script reports its end.
    bool frame(bool decide) {
        inputPrevious[0] = inputCurrent[0];
        inputCurrent[0] = decide ? kButtonFirst : 0;
        const bool over = talk_->update();
        talk_->draw();
        return over;
    }
    // A press and a release: two frames. True when either reported the end.
    bool press() {
        const bool a = frame(true);
        const bool b = frame(false);
        return a || b;
    }
    // Frames without input until the slots stop moving (the window shows again), at most `limit`.
    int settle(int limit = 400) {
        int frames = 0;
        while (talk_->windowMode == Talk::kHiddenWindow && frames < limit) {
            if (frame(false)) break;
            ++frames;
        }
        return frames;
    }
    bool pageSoundPlaying() { return soundIsPlaying(game().loader().sound(15)); }
    void stopPageSound() { StopSoundHandle(game().loader().sound(15)); }

    const story::TalkMember* member_ = nullptr;
    int stage_ = 0;
    int partner_ = 0;
    std::shared_ptr<Talk> talk_;
    StoryHandleCounts before_;
};

TEST_F(TalkMotionTest, KessaBSlidesSlotOneInFortySixFramesIgnoringPresses) {
    TableTalk* talk = load<TableTalk>("TalkKessaB");
    ASSERT_NE(nullptr, talk);
    EXPECT_FALSE(press());
    // The press that makes page 2 starts the slide.
    EXPECT_FALSE(frame(true));
    ASSERT_EQ(2, talk->page);
    ASSERT_EQ(story::TalkMotion::RightIn, talk->motionState);
    EXPECT_EQ(640, talk->portraitX[1]);
    int steps = 0;
    while (talk->motionState != story::TalkMotion::None && steps < 100) {
        // A new press every other frame: none counts while the figure moves.
        frame(steps % 2 == 1);
        ++steps;
        EXPECT_EQ(2, talk->page);
    }
    EXPECT_EQ(46, steps);
    EXPECT_EQ(410, talk->portraitX[1]);
    frame(false);
    EXPECT_FALSE(press());
    EXPECT_FALSE(press());
    // The fifth accepted press reaches the end page on its own frame, with the window hidden.
    EXPECT_TRUE(frame(true));
    EXPECT_EQ(5, talk->page);
    EXPECT_EQ(Talk::kHiddenWindow, talk->windowMode);
}

TEST_F(TalkMotionTest, APressOnTheFrameAMotionEndsIsIgnoredAndTheNextFrameTakesIt) {
    TableTalk* talk = load<TableTalk>("TalkKessaC");
    ASSERT_NE(nullptr, talk);
    press();
    press();
    ASSERT_EQ(story::TalkMotion::RightIn, talk->motionState);
    // Released during the slide; pressed on exactly the frame it ends.
    while (talk->portraitX[1] > 415) frame(false);
    frame(true);
    EXPECT_EQ(story::TalkMotion::None, talk->motionState);
    EXPECT_EQ(2, talk->page);
    frame(false);
    frame(true);
    EXPECT_EQ(3, talk->page);
}

TEST_F(TalkMotionTest, AHeldDecideTurnsOnePage) {
    Talk* talk = load("TalkKessaAfterB");
    ASSERT_NE(nullptr, talk);
    for (int i = 0; i < 20; ++i) frame(true);
    EXPECT_EQ(6, talk->page);
}

TEST_F(TalkMotionTest, VellisPrologueEndsByItselfAfterTheWalkOut) {
    TableTalk* talk = load<TableTalk>("TalkVellisP");
    ASSERT_NE(nullptr, talk);
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(press());
    ASSERT_EQ(5, talk->page);
    ASSERT_EQ(story::TalkMotion::LeftOutToEnd, talk->motionState);
    int frames = 0;
    bool over = false;
    while (!over && frames < 100) {
        over = frame(false);
        ++frames;
        // Page 5's text is never shown.
        EXPECT_EQ(Talk::kHiddenWindow, talk->windowMode);
    }
    // The press frame walked nothing; the release frame is the first of the 46 steps.
    EXPECT_TRUE(over);
    EXPECT_EQ(45, frames);
    EXPECT_EQ(6, talk->page);
    EXPECT_EQ(-160, talk->portraitX[0]);
}

TEST_F(TalkMotionTest, QuenALastPressIsSilentAndTheScriptEndsWhenSlotThreeHasLeft) {
    TableTalk* talk = load<TableTalk>("TalkQuenA");
    ASSERT_NE(nullptr, talk);
    settle();
    for (int i = 0; i < 7; ++i) {
        press();
        settle();
    }
    ASSERT_EQ(7, talk->page);
    EXPECT_FALSE(talk->portraitFlip[1]) << "page 6 turns slot 1 back";
    stopPageSound();
    frame(true);
    EXPECT_FALSE(pageSoundPlaying());
    EXPECT_EQ(8, talk->page);
    int frames = 0;
    bool over = false;
    while (!over && frames < 100) {
        over = frame(false);
        ++frames;
    }
    EXPECT_TRUE(over);
    EXPECT_GE(talk->portraitX[3], 640);
    EXPECT_TRUE(frame(false)) << "it stays over";
}

TEST_F(TalkMotionTest, KessaPrologueVisitorItemsAndLight) {
    TalkKessaP* talk = load<TalkKessaP>("TalkKessaP");
    ASSERT_NE(nullptr, talk);
    // Entrance: 22 steps to 410, 15 standing, 68 steps to 70, 30 standing.
    int frames = 0;
    while (talk->figureState == 1 && frames < 400) {
        frame(frames % 2 == 0);  // presses during the entrance are ignored
        ++frames;
    }
    EXPECT_EQ(0, talk->page);
    EXPECT_EQ(70, talk->portraitX[0]);
    EXPECT_FALSE(talk->portraitFlip[0]);

    frame(false);
    press();
    ASSERT_EQ(2, talk->figureState);
    EXPECT_EQ(1, talk->page);
    // Walk on to -48: item 0 is thrown once on arrival, whatever the wait.
    for (int i = 0; i < 60; ++i) frame(false);
    EXPECT_EQ(-48, talk->portraitX[2]);
    EXPECT_TRUE(talk->items[0].active);
    EXPECT_FALSE(talk->items[1].active);
    EXPECT_EQ(2, talk->windowMode) << "page 1 shows in the far-left window while the visitor waits";
    // One press sets it running: no page turn, no sound.
    stopPageSound();
    frame(true);
    EXPECT_EQ(1, talk->page);
    EXPECT_FALSE(pageSoundPlaying());
    frame(false);
    frames = 0;
    while (talk->figureState == 2 && frames < 300) {
        frame(frames % 2 == 0);
        ++frames;
    }
    EXPECT_EQ(2, talk->page) << "the page turns by itself when the visitor has passed 640";
    for (int k = 0; k < 6; ++k) EXPECT_TRUE(talk->items[k].active) << k;
    EXPECT_EQ(352, talk->items[1].y);
    EXPECT_EQ(352, talk->items[3].y);
    EXPECT_EQ(0, talk->portraitImage[2]);

    // Pages 2..8 (right-in after page 3), then the light on the press that makes page 9.
    while (talk->page < 8) {
        press();
        settle();
    }
    frame(false);
    int lightFrames = 0;
    frame(true);
    while (talk->figureState == 4) {
        ++lightFrames;
        frame(false);
    }
    EXPECT_EQ(9, talk->page);
    EXPECT_EQ(41, lightFrames);
}

TEST_F(TalkMotionTest, PelunPrologueItemComesToRestAndTheVisitorTurnsAsItLeaves) {
    TalkPelunP* talk = load<TalkPelunP>("TalkPelunP");
    ASSERT_NE(nullptr, talk);
    settle();
    ASSERT_EQ(0, talk->figureState);
    press();
    bool turned = false;
    int frames = 0;
    while (talk->figureState != 0 && frames < 200) {
        frame(false);
        turned = turned || talk->portraitFlip[1];
        ++frames;
    }
    EXPECT_TRUE(turned);
    EXPECT_EQ(210, static_cast<int>(talk->itemX));
    EXPECT_EQ(300, static_cast<int>(talk->itemY));
    EXPECT_EQ(640, talk->portraitX[1]);
    EXPECT_FALSE(talk->portraitFlip[1]);
}

TEST_F(TalkMotionTest, FioraExtraFigureTurnsAsItRunsOffAndSlotOneChangesAfter) {
    TalkFioraA* talk = load<TalkFioraA>("TalkFioraA");
    ASSERT_NE(nullptr, talk);
    const int firstSlot1 = talk->portraitImage[1];
    press();
    settle();
    for (int i = 0; i < 4; ++i) press();
    ASSERT_EQ(5, talk->page);
    EXPECT_EQ(2, talk->motionState);
    while (talk->motionState == 2) {
        EXPECT_GT(talk->extraX, -160 - 6);
        frame(false);
    }
    EXPECT_LE(talk->extraX, -160);
    EXPECT_NE(firstSlot1, talk->portraitImage[1]);
    EXPECT_EQ(1, talk->windowMode);
}

}  // namespace
