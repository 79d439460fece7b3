// Long runs of the scenes that draw every frame: the title menu, a conversation page and a sliding character
// choice. The live graph and sound counts, sampled every 250 frames, must not move: a thousand frames repeat each
// scene's input cycle (menu moves every 40 frames, slides every 25) a score of times, and longer runs found nothing
// more.
#include <gtest/gtest.h>

#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "story/scene_character_choice.h"
#include "story/scene_talk.h"
#include "story/scene_title.h"
#include "story/story_links.h"
#include "story_test_support.h"

namespace {

class SoakTest : public StoryGameTest {
protected:
    // Steps `frames` frames with the input that `word` gives for each, sampling the counts every 250 frames.
    template <class Word>
    void soak(int frames, Word word) {
        StoryHandleCounts first;
        bool sampled = false;
        for (int i = 0; i < frames; ++i) {
            game().step(word(i));
            if (i % 250 != 249) continue;
            const StoryHandleCounts now = CountStoryHandles();
            if (!sampled) {
                first = now;
                sampled = true;
            }
            ASSERT_EQ(first.graphs, now.graphs) << "frame " << i;
            ASSERT_EQ(first.sounds, now.sounds) << "frame " << i;
        }
        EXPECT_EQ(0, storyRefusedReleases());
    }
};

TEST_F(SoakTest, TitleMenu) {
    game().startScene(std::make_shared<SceneTitle>(game().loaderPointer()));
    soak(1000, [](int i) { return i % 40 == 0 ? kButtonDown : 0; });
    EXPECT_EQ(SceneTitle::kMenu, current<SceneTitle>()->phase());
}

TEST_F(SoakTest, ConversationPage) {
    game().startScene(std::make_shared<SceneTalk>(0, storyOpponent(2, 0), 2, false, game().loaderPointer()));
    soak(1000, [](int) { return 0; });
    EXPECT_EQ(SceneTalk::kTalk, current<SceneTalk>()->state());
    game().startScene(std::make_shared<SceneTitle>(game().loaderPointer()));
}

TEST_F(SoakTest, CharacterChoiceSlidingBackAndForth) {
    game().startScene(std::make_shared<SceneCharacterChoice>(true, false, game().loaderPointer()));
    // A slide lasts 22 frames: side 0 slides right, then back left, over and over.
    soak(1000, [](int i) { return i % 50 == 0 ? kButtonRight : (i % 50 == 25 ? kButtonLeft : 0); });
    ASSERT_NE(nullptr, current<SceneCharacterChoice>());
    game().startScene(std::make_shared<SceneTitle>(game().loaderPointer()));
}

}  // namespace
