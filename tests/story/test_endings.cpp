// The six endings through the conversation scene: epilogue pages, the veil darkening and lifting, the staff roll
// that ignores decide until both scrolls have ended, the ending music, and the way back to the title.
#include <gtest/gtest.h>

#include "game/input_poll.h"
#include "game/loader.h"
#include "story/scene_talk.h"
#include "story/scene_title.h"
#include "story/story_links.h"
#include "story/story_sound.h"
#include "story/talk.h"
#include "story_test_support.h"

namespace {

class EndingTest : public StoryGameTest {};

TEST_F(EndingTest, EveryEndingRunsItsPagesVeilAndStaffRollBackToTheTitle) {
    const int pageCounts[6] = {8, 7, 8, 8, 7, 8};
    for (int character = 0; character < 6; ++character) {
        SCOPED_TRACE(character);
        const StoryHandleCounts before = CountStoryHandles();
        game().startScene(std::make_shared<SceneTalk>(character, storyOpponent(4, character), 4, true,
                                                      game().loaderPointer()));
        SceneTalk* scene = current<SceneTalk>();
        ASSERT_NE(nullptr, scene);
        ASSERT_TRUE(idleUntil([&] { return scene->state() == SceneTalk::kTalk; }, 100));
        Talk* talk = scene->talk().get();
        ASSERT_NE(nullptr, talk);
        EXPECT_EQ(pageCounts[character], talk->epiloguePageCount);
        game().step();
        EXPECT_TRUE(soundIsPlaying(game().loader().sound(10))) << "the ending music";

        for (int page = 1; page <= pageCounts[character]; ++page) {
            ASSERT_EQ(2, talk->endingState);
            game().step(kButtonFirst);
            game().step();
            EXPECT_EQ(page, talk->page);
        }
        // The press on the last page started the darkening; it has run one frame since.
        ASSERT_EQ(1, talk->endingState);
        int darkening = 1;
        while (talk->endingState == 1 && darkening < 100) {
            game().step();
            ++darkening;
        }
        EXPECT_EQ(51, darkening);
        EXPECT_EQ(255, talk->veilAlpha);
        int lightening = 0;
        while (talk->endingState == 0 && lightening < 100) {
            game().step();
            ++lightening;
        }
        EXPECT_EQ(51, lightening);
        ASSERT_EQ(3, talk->endingState);

        // Decide every 50 frames: ignored until both scrolls stand at their ends.
        int rolled = 0;
        while (talk->staffBackgroundY > -4800 && rolled < 3000) {
            game().step(rolled % 50 == 0 ? kButtonFirst : 0);
            ++rolled;
            ASSERT_EQ(SceneTalk::kTalk, scene->state()) << "frame " << rolled;
        }
        EXPECT_EQ(2400, rolled);
        EXPECT_EQ(-19200, talk->staffTextY);
        game().step();
        game().step(kButtonFirst);
        EXPECT_EQ(SceneTalk::kFadeOut, scene->state());
        ASSERT_TRUE(idleUntil([] { return current<SceneTalk>() == nullptr; }, 200));
        EXPECT_NE(nullptr, current<SceneTitle>());
        ExpectStoryHandlesBack(before);
    }
}

}  // namespace
