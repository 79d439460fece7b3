// The whole story, once per character, from the title with scripted input: every conversation read to its end,
// the scenes following the story table through four matches, and the ending (pages, veil, staff roll) checked on
// the way back to the title.
//
// THE TEST DECIDES THE MATCHES: once a round is in play it fills the computer side's field with blocks (one column
// left open, so no row clears), and the rules engine then tops that side out with its next piece. The round end,
// result and leave steps of the match run unchanged.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "game/match/player.h"
#include "game/match/scene_game_main.h"
#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "story/scene_character_choice.h"
#include "story/scene_talk.h"
#include "story/scene_title.h"
#include "story/story_sound.h"
#include "story/talk.h"
#include "story_test_support.h"

namespace {

class StorySequenceTest : public StoryGameTest, public ::testing::WithParamInterface<int> {};

// Test-only: decides the round for side 0. It fills side 1's field from row 2 down (one hole a row, each hole
// under a block of the row above, so no well lets the computer clear its way out), so that its next pieces top it
// out, and keeps side 0's field empty so that nothing the computer sends can top side 0 out first.
void DecideRoundForSide0ByFillingComputerField(SceneGameMain& match) {
    Player& computer = *match.player(1);
    Player& player = *match.player(0);
    for (int row = 0; row < kFieldRows; ++row) {
        for (int column = 0; column < kFieldColumns; ++column) {
            player.cells[row][column] = kCellEmpty;
            if (row >= 2) computer.cells[row][column] = column == (row * 3) % kFieldColumns ? kCellEmpty : kCellBlock;
        }
    }
}

// The ending, stepped from its first talk frame: its pages, the veil darkening and lifting over 51 frames each,
// decide ignored until both staff scrolls have ended, the staff sheet shown only inside y 110-360, the ending
// music. Leaves the scene fading out.
void CheckEnding(GameStepper& game, SceneTalk& scene) {
    const int pageCounts[6] = {8, 7, 8, 8, 7, 8};
    Talk& talk = *scene.talk();
    EXPECT_EQ(pageCounts[scene.character()], talk.epiloguePageCount);
    game.step();
    EXPECT_TRUE(soundIsPlaying(game.loader().sound(10))) << "the ending music";
    const int background = 435 + 2 * scene.character();
    EXPECT_TRUE(ShowsCell(game.pixel(320, 200), background, 0)) << "the epilogue picture";
    for (int page = 1; page <= talk.epiloguePageCount; ++page) {
        ASSERT_EQ(2, talk.endingState);
        game.step(kButtonFirst);
        game.step();
        EXPECT_EQ(page, talk.page);
    }
    // The press on the last page started the darkening; it has run one frame since.
    ASSERT_EQ(1, talk.endingState);
    int darkening = 1;
    while (talk.endingState == 1 && darkening < 100) {
        game.step();
        ++darkening;
    }
    EXPECT_EQ(51, darkening);
    int lightening = 0;
    while (talk.endingState == 0 && lightening < 100) {
        game.step();
        ++lightening;
    }
    EXPECT_EQ(51, lightening);
    ASSERT_EQ(3, talk.endingState);

    // Decide every 50 frames, ignored until both scrolls stand at their ends; now and then a look at the screen.
    int rolled = 0;
    while (talk.staffBackgroundY > -4800 && rolled < 3000) {
        game.step(rolled % 50 == 0 ? kButtonFirst : 0);
        ++rolled;
        ASSERT_EQ(SceneTalk::kTalk, scene.state()) << "frame " << rolled;
        if (rolled % 400 != 0) continue;
        const std::vector<uint8_t> screen = game.screenRgb();
        for (int y : {100, 370}) {
            EXPECT_TRUE(ShowsCell(ScreenPixel(screen, 320, y), 434, 0)) << "staff background at y " << y;
        }
    }
    EXPECT_EQ(2400, rolled);
    EXPECT_EQ(-19200, talk.staffTextY);
    // At the end the sheet stands 1920 pixels up: screen y 170 shows its row at sheet y 2080 (row 52).
    const std::vector<uint8_t> screen = game.screenRgb();
    EXPECT_EQ(52, CellShownBy(ScreenPixel(screen, 320, 170), 433));
    EXPECT_TRUE(ShowsCell(ScreenPixel(screen, 320, 100), 434, 0));
    EXPECT_TRUE(ShowsCell(ScreenPixel(screen, 320, 370), 434, 0));
    game.step();
    game.step(kButtonFirst);
    EXPECT_EQ(SceneTalk::kFadeOut, scene.state());
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
    expected.push_back("choice");
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
    bool endingChecked = false;
    int sceneStart = 0;
    int frame = 0;
    for (; frame < 30000; ++frame) {
        Scene* scene = game().controller().currentScene().get();
        if (scene != last) {
            const std::string name = Describe(scene);
            // A match's second round is a new scene of the same match.
            if (seen.empty() || seen.back() != name || name.rfind("match", 0) != 0) seen.push_back(name);
            std::printf("  frame %d: %s\n", frame, name.c_str());
            std::fflush(stdout);
            last = scene;
            sceneStart = frame;
            if (name == "title") break;
        }
        int word = 0;
        auto* talk = dynamic_cast<SceneTalk*>(scene);
        if (talk != nullptr && talk->stage() == 4 && talk->afterMatch() && talk->state() == SceneTalk::kTalk &&
            !endingChecked) {
            endingChecked = true;
            CheckEnding(game(), *talk);
            continue;
        }
        ASSERT_LT(frame - sceneStart, 5000) << "stuck in " << Describe(scene);
        if (auto* match = dynamic_cast<SceneGameMain*>(scene)) {
            // The rules never depend on drawing; the matches here only have to be decided.
            match->setDrawingEnabledForTesting(false);
            if (match->state() == SceneGameMain::kPlay && match->player(1)->state != kStateToppedOut &&
                match->player(0)->state != kStateWinner && match->player(1)->state != kStateClearing) {
                DecideRoundForSide0ByFillingComputerField(*match);
            }
        } else if (frame % 2 == 0) {
            word = kButtonFirst;
        }
        game().step(word);
    }
    EXPECT_EQ(expected, seen);
    EXPECT_TRUE(endingChecked);

    QueryPerformanceCounter(&t1);
    const double seconds = double(t1.QuadPart - t0.QuadPart) / double(frequency.QuadPart);
    std::printf("story of character %d: %d frames, %.1f s\n", character, game().frames() - firstFrame, seconds);
    ExpectStoryHandlesBack(before);
}

INSTANTIATE_TEST_SUITE_P(EveryStoryCharacter, StorySequenceTest, ::testing::Range(0, 6));

}  // namespace
