// The match scene in the stepped game: intro and ready sign, pause from either side, rounds and the result,
// the next round without loading, the win mark, where the match leaves to, and the computer's input kept
// apart from side 1's source in every round.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "game/match/cpu.h"
#include "game/match/next_piece_queue.h"
#include "game/match/player.h"
#include "game/match/scene_after_match.h"
#include "game/match/scene_game_main.h"
#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "game/shell/options.h"
#include "runtime/runtime.h"
#include "story/scene_title.h"
#include "tests/game/game_test_util.h"

namespace {

struct Exit {
    bool called = false;
    bool storyWin = false;
    int character0 = -1, character1 = -1, stage = -1;
};
Exit lastExit;

std::shared_ptr<Scene> RecordExit(const std::shared_ptr<Loader>& loader, bool storyWin, int c0, int c1, int stage) {
    lastExit = {true, storyWin, c0, c1, stage};
    return std::make_shared<SceneTitle>(loader);
}

class MatchSceneTest : public SteppedGameTest {
protected:
    void SetUp() override {
        SteppedGameTest::SetUp();
        resetOptionValues();
        resetInput();
        lastExit = Exit();
        replaceSceneAfterMatchForTesting(RecordExit);
    }
    void TearDown() override { replaceSceneAfterMatchForTesting(nullptr); }

    SceneGameMain* scene() { return dynamic_cast<SceneGameMain*>(game->controller().currentScene().get()); }
    bool onTitle() { return dynamic_cast<SceneTitle*>(game->controller().currentScene().get()) != nullptr; }

    // Drawing is off unless a test looks at the screen: the rules never depend on it, and it is most of a
    // frame's cost here.
    SceneGameMain* startMatch(int c0, int c1, bool versus, bool cpu, int stage = 0, bool drawing = false) {
        auto s = std::make_shared<SceneGameMain>(c0, c1, 0, 0, versus, cpu, stage, game->loaderPointer());
        s->setDrawingEnabledForTesting(drawing);
        game->startScene(s);
        return scene();
    }
    // Intro and ready sign with no button held, through the scene's own steps (the frame body around them has
    // nothing to do here and costs more than the scene).
    void toPlay() {
        for (int f = 0; f < 200 + 172; ++f) {
            inputCurrent[0] = inputCurrent[1] = inputPrevious[0] = inputPrevious[1] = 0;
            game->controller().update();
        }
    }

    // Makes `loser` top out now and steps until the round is over: the next round's scene is current, or the
    // match shows its result. Returns the frames stepped.
    int loseRound(int loser) {
        SceneGameMain* s = scene();
        s->player(loser)->state = kStateToppedOut;
        int frames = 0;
        while (scene() == s && s->state() != SceneGameMain::kResult && frames < 400) {
            game->step();
            ++frames;
        }
        return frames;
    }

};


TEST_F(MatchSceneTest, IntroLasts200FramesAndTheReadySign172) {
    SceneGameMain* s = startMatch(0, 1, true, false, 0, true);
    ASSERT_NE(nullptr, s);
    // Drawn now and then: each intro and ready-sign phase at least once, not every frame.
    for (int f = 0; f < 199; ++f) {
        s->setDrawingEnabledForTesting(f % 40 == 0);
        game->step();
    }
    EXPECT_EQ(SceneGameMain::kIntro, s->state());
    EXPECT_EQ(239, musicLevel);
    game->step();
    EXPECT_EQ(SceneGameMain::kReady, s->state());
    EXPECT_EQ(255, musicLevel);
    for (int f = 0; f < 171; ++f) {
        s->setDrawingEnabledForTesting(f % 20 == 0 || f == 170);
        game->step();
    }
    EXPECT_EQ(SceneGameMain::kReady, s->state());
    for (int strip : {0, 1, 2, 3, 4}) EXPECT_NE(-1, s->readyStrips()[strip]);
    game->step();
    EXPECT_EQ(SceneGameMain::kPlay, s->state());
}

TEST_F(MatchSceneTest, EitherSideCanPauseResumeAndQuitToTheTitle) {
    SceneGameMain* s = startMatch(2, 3, true, false);
    toPlay();
    game->step(0, kButtonThird);
    EXPECT_EQ(SceneGameMain::kPause, s->state());
    game->step();
    EXPECT_EQ(20, musicLevel);
    game->step(kButtonFirst, 0);
    EXPECT_EQ(SceneGameMain::kPlay, s->state());
    EXPECT_EQ(255, musicLevel);
    game->step(kButtonThird, 0);
    EXPECT_EQ(SceneGameMain::kPause, s->state());
    game->step(0, kButtonRight);
    EXPECT_EQ(1, s->pauseChoice());
    game->step(kButtonLeft, 0);
    EXPECT_EQ(0, s->pauseChoice());
    game->step(0, kButtonLeft);
    forcedNextKind = 3;  // whatever a skill left behind is cleared on the way out
    game->step(0, kButtonFirst);
    EXPECT_TRUE(onTitle());
    EXPECT_TRUE(lastExit.called);
    EXPECT_FALSE(lastExit.storyWin);
    EXPECT_EQ(kNoPieceKind, forcedNextKind);
    EXPECT_FALSE(cpuInputIgnored);
}

TEST_F(MatchSceneTest, A2To0MatchEndsAfterTwoRoundsAndA1To1MatchPlaysAThird) {
    SceneGameMain* first = startMatch(0, 4, true, true);
    toPlay();
    const int mark = game->loader().markAngle();
    const int handles[] = {game->loader().image(38), game->loader().image(132), game->loader().image(47),
                           game->loader().sound(5)};
    loseRound(1);
    SceneGameMain* second = scene();
    ASSERT_NE(nullptr, second);
    ASSERT_NE(first, second);
    EXPECT_EQ(1, second->player(0)->roundsWon);
    EXPECT_EQ(0, second->player(1)->roundsWon);
    EXPECT_TRUE(second->player(1)->isCpu());
    // Nothing was loaded: the mark did not turn (no loading screen) and the handles are the same.
    EXPECT_EQ(mark, game->loader().markAngle());
    EXPECT_EQ(handles[0], game->loader().image(38));
    EXPECT_EQ(handles[1], game->loader().image(132));
    EXPECT_EQ(handles[2], game->loader().image(47));
    EXPECT_EQ(handles[3], game->loader().sound(5));
    EXPECT_FALSE(game->loader().keepFlag());

    toPlay();
    loseRound(1);
    ASSERT_EQ(second, scene());
    EXPECT_EQ(SceneGameMain::kResult, second->state());
    EXPECT_EQ(2, second->player(0)->roundsWon);
    int frames = 0;
    while (!onTitle() && frames < 600) {
        game->controller().update();
        ++frames;
    }
    EXPECT_EQ(501, frames);  // 500 result frames, then the leave frame switches
    EXPECT_TRUE(lastExit.called);
    EXPECT_FALSE(lastExit.storyWin);  // versus play always leaves to the title

    startMatch(5, 6, true, true);
    toPlay();
    loseRound(1);
    toPlay();
    loseRound(0);
    SceneGameMain* third = scene();
    ASSERT_NE(nullptr, third);
    EXPECT_EQ(1, third->player(0)->roundsWon);
    EXPECT_EQ(1, third->player(1)->roundsWon);
    EXPECT_EQ(SceneGameMain::kIntro, third->state());
    toPlay();
    game->step(kButtonThird, 0);
    game->step(kButtonRight, 0);
    game->step(kButtonFirst, 0);
    EXPECT_TRUE(onTitle());
}

TEST_F(MatchSceneTest, AStoryWinGoesToTheConversationAndAStoryLossToTheTitle) {
    for (int loser : {1, 0}) {
        lastExit = Exit();
        startMatch(3, storyOpponent(2, 3), false, true, 2);
        for (int round = 0; round < 2; ++round) {
            toPlay();
            loseRound(loser);
        }
        for (int f = 0; f < 600 && !onTitle(); ++f) game->controller().update();
        ASSERT_TRUE(lastExit.called);
        EXPECT_EQ(loser == 1, lastExit.storyWin);
        EXPECT_EQ(3, lastExit.character0);
        EXPECT_EQ(2, lastExit.character1);
        EXPECT_EQ(2, lastExit.stage);
        EXPECT_FALSE(cpuInputIgnored);
    }
}

TEST_F(MatchSceneTest, TheWinMarkIsNotDrawnAtFade0AndShrinksOntoTheNewRoundMark) {
    SceneGameMain* s = startMatch(1, 2, true, true);
    toPlay();
    s->setDrawingEnabledForTesting(true);
    game->step();
    std::vector<uint8_t> before = game->screenRgb();
    s->player(1)->state = kStateToppedOut;
    std::vector<uint8_t> entering, last;
    for (int f = 0; f < 400 && scene() == s; ++f) {
        game->step();
        if (scene() != s) break;
        if (s->state() != SceneGameMain::kRoundEnd) continue;
        if (entering.empty()) {
            EXPECT_EQ(0, s->fade());
            entering = game->screenRgb();
        }
        // The last frame with the whole fade and the round not yet counted: the mark alone at its end place.
        if (s->fade() == 256 && s->player(0)->roundsWon == 0) last = game->screenRgb();
    }
    ASSERT_FALSE(entering.empty());
    ASSERT_FALSE(last.empty());

    int w = 0, h = 0;
    ASSERT_EQ(0, GetGraphDimensions(game->loader().image(47), &w, &h));
    ASSERT_GT(w, 0);
    auto region = [&](const std::vector<uint8_t>& rgb, int x0, int y0, int x1, int y1) {
        std::vector<uint8_t> out;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                for (int k = 0; k < 3; ++k) out.push_back(rgb[(y * kScreenWidth + x) * 3 + k]);
        return out;
    };
    // At fade 0 nothing is drawn between the fields around the mark's place.
    EXPECT_EQ(region(before, 292, 265, 348, 365), region(entering, 292, 265, 348, 365));

    // The next round draws side 0's first round mark at (290, 300); the shrunk win mark ended there (to a
    // pixel: it is drawn about its centre).
    SceneGameMain* second = scene();
    ASSERT_NE(nullptr, second);
    second->setDrawingEnabledForTesting(false);
    toPlay();
    second->setDrawingEnabledForTesting(true);
    game->step();
    std::vector<uint8_t> next = game->screenRgb();
    auto pixel = [](const std::vector<uint8_t>& rgb, int x, int y, int k) { return rgb[(y * kScreenWidth + x) * 3 + k]; };
    int changed = 0, best = 0;
    const int pixels = w * h;
    for (int y = 300; y < 300 + h; ++y)
        for (int x = 290; x < 290 + w; ++x) {
            bool differs = false;
            for (int k = 0; k < 3; ++k) differs = differs || pixel(next, x, y, k) != pixel(before, x, y, k);
            changed += differs;
        }
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            int same = 0;
            for (int y = 300; y < 300 + h; ++y)
                for (int x = 290; x < 290 + w; ++x) {
                    bool eq = true;
                    for (int k = 0; k < 3; ++k)
                        eq = eq && std::abs(pixel(next, x, y, k) - pixel(last, x + dx, y + dy, k)) <= 8;
                    same += eq;
                }
            best = std::max(best, same);
        }
    EXPECT_GT(changed, pixels / 4) << "the round mark is drawn";
    EXPECT_GT(best, pixels * 9 / 10) << "the last win-mark frame matches it";
}

TEST_F(MatchSceneTest, RowsSentReachTheRivalOnTheNextFrame) {
    SceneGameMain* s = startMatch(0, 1, true, false);
    toPlay();
    Player& sender = *s->player(0);
    Player& rival = *s->player(1);
    // Three marked rows on their last clearing frame.
    for (int r = 19; r < kFieldRows; ++r)
        for (int c = 0; c < kFieldColumns; ++c) sender.cells[r][c] = kCellMarked;
    sender.state = kStateClearing;
    sender.clearFrames = 17;
    game->step();
    EXPECT_EQ(3, s->garbageFor(1));
    EXPECT_EQ(0, rival.pendingGarbage);
    game->step();
    EXPECT_EQ(0, s->garbageFor(1));
    EXPECT_EQ(3, rival.pendingGarbage);
}

TEST_F(MatchSceneTest, Side1PressesNeverReachTheComputerInAnyRound) {
    SceneGameMain* s = startMatch(0, 1, true, true);
    for (int round = 0; round < 3; ++round) {
        s = scene();
        ASSERT_NE(nullptr, s);
        int presses[] = {kButtonUp, kButtonThird, kButtonLeft | kButtonUp, kButtonFirst, kButtonUp | kButtonThird};
        // The computer's own policy would cast at level 3; without it, a cast can only come from the pad.
        auto* cpu = dynamic_cast<Cpu*>(s->player(1).get());
        ASSERT_NE(nullptr, cpu);
        cpu->pattern.reset();
        for (int f = 0; f < 372 + 300; ++f) {
            s->player(1)->skillLevel = 3;
            game->step(0, (f % 2) ? presses[(f / 2) % 5] : 0);
            EXPECT_TRUE(cpuInputIgnored);
            ASSERT_NE(SceneGameMain::kPause, s->state()) << "round " << round << " frame " << f;
            ASSERT_NE(kStateSkillWait, s->player(1)->state) << "round " << round << " frame " << f;
        }
        loseRound(round == 1 ? 0 : 1);
    }
}

}  // namespace
