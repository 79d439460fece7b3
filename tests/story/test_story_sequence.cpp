// The whole story, once per character, from the title with scripted input: every conversation read to its end,
// the scenes following the story table through four matches and the ending's staff roll back to the title.
//
// THE TEST DECIDES THE MATCHES: once a round is in play it fills the computer side's field with blocks (one column
// left open, so no row clears), and the rules engine then tops that side out with its next piece. The round end,
// result and leave steps of the match run unchanged.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "game/input_poll.h"
#include "game/loader.h"
#include "game/player.h"
#include "game/scene_game_main.h"
#include "story/scene_character_choice.h"
#include "story/scene_talk.h"
#include "story/scene_title.h"
#include "story_test_support.h"

namespace {

class StorySequenceTest : public StoryGameTest, public ::testing::WithParamInterface<int> {};

// Test-only: decides the round for side 0 by filling side 1's field so that its next piece tops it out.
void DecideRoundForSide0ByFillingComputerField(SceneGameMain& match) {
    Player& computer = *match.player(1);
    for (int row = 2; row < kFieldRows; ++row) {
        for (int column = 1; column < kFieldColumns; ++column) computer.cells[row][column] = kCellBlock;
    }
}

std::string Describe(Scene* scene) {
    if (auto* talk = dynamic_cast<SceneTalk*>(scene)) {
        return "talk " + std::to_string(talk->character()) + "/" + std::to_string(talk->partner()) + " stage " +
               std::to_string(talk->stage()) + (talk->afterMatch() ? " after" : "");
    }
    if (auto* match = dynamic_cast<SceneGameMain*>(scene)) {
        return "match " + std::to_string(match->player(0)->character) + "/" +
               std::to_string(match->player(1)->character);
    }
    if (dynamic_cast<SceneTitle*>(scene)) return "title";
    if (dynamic_cast<SceneCharacterChoice*>(scene)) return "choice";
    return "other";
}

TEST_P(StorySequenceTest, FromTheTitleThroughFourMatchesAndTheEndingBackToTheTitle) {
    const int character = GetParam();
    const StoryHandleCounts before = CountStoryHandles();
    LARGE_INTEGER frequency, t0, t1;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&t0);
    const int firstFrame = game().frames();

    game().startScene(std::make_shared<SceneTitle>(game().loaderPointer()));
    ASSERT_TRUE(idleUntil([] { return current<SceneTitle>()->phase() == SceneTitle::kMenu; }, 200));
    // Story is the third item.
    for (int i = 0; i < 2; ++i) {
        game().step(kButtonDown);
        game().step();
    }
    game().step(kButtonFirst);
    ASSERT_TRUE(idleUntil([] { return current<SceneCharacterChoice>() != nullptr; }, 100));
    ASSERT_TRUE(idleUntil([] { return current<SceneCharacterChoice>()->state() == SceneCharacterChoice::kActive; },
                          100));
    for (int i = 0; i < character; ++i) {
        game().step(kButtonDown);
        idleUntil([] { return current<SceneCharacterChoice>()->side(1).direction == 0; }, 40);
    }
    game().step(kButtonFirst);

    // The story table: prologue, then for each stage the talk, the match and the talk after it.
    std::vector<std::string> expected;
    expected.push_back("talk " + std::to_string(character) + "/" + std::to_string(storyOpponent(1, character)) +
                       " stage 0");
    for (int stage = 1; stage <= 4; ++stage) {
        const std::string pair = std::to_string(character) + "/" + std::to_string(storyOpponent(stage, character));
        expected.push_back("talk " + pair + " stage " + std::to_string(stage));
        expected.push_back("match " + pair);
        expected.push_back("talk " + pair + " stage " + std::to_string(stage) + " after");
    }
    expected.push_back("title");

    std::vector<std::string> seen;
    Scene* last = nullptr;
    int frame = 0;
    for (; frame < 60000; ++frame) {
        Scene* scene = game().controller().currentScene().get();
        if (scene != last) {
            const std::string name = Describe(scene);
            // A match's second round is a new scene of the same match.
            if (seen.empty() || seen.back() != name || name.rfind("match", 0) != 0) seen.push_back(name);
            last = scene;
            if (name == "title") break;
        }
        int word = 0;
        if (auto* match = dynamic_cast<SceneGameMain*>(scene)) {
            if (match->state() == SceneGameMain::kPlay && match->player(1)->state != kStateToppedOut &&
                match->player(0)->state != kStateWinner) {
                DecideRoundForSide0ByFillingComputerField(*match);
            }
        } else if (frame % 2 == 0) {
            word = kButtonFirst;
        }
        game().step(word);
    }
    EXPECT_EQ(expected, seen);

    QueryPerformanceCounter(&t1);
    const double seconds = double(t1.QuadPart - t0.QuadPart) / double(frequency.QuadPart);
    std::printf("story of character %d: %d frames, %.1f s\n", character, game().frames() - firstFrame, seconds);
    ExpectStoryHandlesBack(before);
}

INSTANTIATE_TEST_SUITE_P(EveryStoryCharacter, StorySequenceTest, ::testing::Range(0, 6));

}  // namespace
