// Whole matches of the computer against itself in the stepped game, played to the end: the same seed gives
// the same match, another seed another one, and nothing a match made outlives it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "game/match/cpu.h"
#include "game/match/player.h"
#include "game/match/scene_after_match.h"
#include "game/match/scene_game_main.h"
#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "game/shell/options.h"
#include "graphics/graph.h"
#include "runtime/memory.h"
#include "runtime/runtime.h"
#include "sound/sound_handle.h"
#include "story/scene_title.h"
#include "tests/game/game_test_util.h"

namespace {

struct RoundRecord {
    int winner = -1;
    int frames = 0;
    int pieces[2] = {0, 0};
    int rowsCleared[2] = {0, 0};
    int garbageSent[2] = {0, 0};
    unsigned fieldHash = 2166136261u;
};

struct MatchRun {
    bool finished = false;
    std::vector<RoundRecord> rounds;
    std::vector<std::weak_ptr<Player>> players;
    std::vector<std::weak_ptr<Block>> pieces;

    std::string digest() const {
        std::ostringstream out;
        for (const RoundRecord& r : rounds)
            out << "[winner " << r.winner << " frames " << r.frames << " pieces " << r.pieces[0] << "/"
                << r.pieces[1] << " rows " << r.rowsCleared[0] << "/" << r.rowsCleared[1] << " sent "
                << r.garbageSent[0] << "/" << r.garbageSent[1] << " fields " << std::hex << r.fieldHash << std::dec
                << "]";
        out << (finished ? " finished" : " unfinished");
        return out.str();
    }
};

unsigned HashFields(const SceneGameMain& s) {
    unsigned h = 2166136261u;
    for (int side = 0; side < 2; ++side)
        for (int r = 0; r < kFieldRows; ++r)
            for (int c = 0; c < kFieldColumns; ++c) h = (h ^ static_cast<unsigned>(s.player(side)->cells[r][c])) * 16777619u;
    return h;
}

int MarkedRows(const Player& p) {
    int n = 0;
    for (int r = 0; r < kFieldRows; ++r) n += p.cells[r][0] == kCellMarked;
    return n;
}

class WholeMatchTest : public SteppedGameTest {
protected:
    void SetUp() override {
        SteppedGameTest::SetUp();
        resetOptionValues();
        resetInput();
        // These matches are story-mode rounds between two computers; a side-0 win would go on to the story's
        // after-match conversation. The match ends at the title here, so every run ends in the same place.
        previousAfterMatch = replaceSceneAfterMatchForTesting(&titleAfterMatch);
    }
    void TearDown() override {
        replaceSceneAfterMatchForTesting(previousAfterMatch);
        resetOptionValues();
    }

    static std::shared_ptr<Scene> titleAfterMatch(const std::shared_ptr<Loader>& loader, bool, int, int, int) {
        return std::make_shared<SceneTitle>(loader);
    }
    SceneAfterMatchFactory previousAfterMatch = nullptr;

    SceneGameMain* scene() { return dynamic_cast<SceneGameMain*>(game->controller().currentScene().get()); }

    // Plays the computer against itself from the given seed to the match's end (the title), or until the frame
    // limit. Every drawEvery-th frame (none when 0) is a whole frame of the program, drawn; the others are the
    // scene's steps alone: the rules never depend on drawing or on the clock.
    MatchRun play(int seed, int level, int c0, int c1, int drawEvery, int frameLimit) {
        MatchRun run;
        cpuLevel = level;
        RandomSetSeed(seed);
        auto first = SceneGameMain::makeComputerOnBothSidesForTesting(c0, c1, 0, 0, 0, game->loaderPointer());
        first->setDrawingEnabledForTesting(drawEvery > 0);
        game->startScene(first);
        SceneGameMain* current = nullptr;
        RoundRecord round;
        for (int frame = 0; frame < frameLimit; ++frame) {
            SceneGameMain* s = scene();
            if (s == nullptr) {
                run.finished = dynamic_cast<SceneTitle*>(game->controller().currentScene().get()) != nullptr;
                break;
            }
            if (s != current) {
                current = s;
                round = RoundRecord();
                for (int side = 0; side < 2; ++side) {
                    run.players.push_back(s->player(side));
                    run.pieces.push_back(s->player(side)->getBlock());
                }
            }
            int wasState = s->state();
            int clearing[2];
            for (int side = 0; side < 2; ++side) {
                const Player& p = *s->player(side);
                clearing[side] = p.state == kStateClearing && p.clearFrames == 17 ? MarkedRows(p) : 0;
            }
            const bool drawn = drawEvery > 0 && frame % drawEvery == 0;
            s->setDrawingEnabledForTesting(drawn);
            if (drawn) {
                game->step();
            } else {
                // Both sides' words as the poll leaves them for two computer sides: zero.
                inputCurrent[0] = inputCurrent[1] = inputPrevious[0] = inputPrevious[1] = 0;
                game->controller().update();
            }
            if (scene() != s) continue;  // the next round's scene took over this frame
            if (wasState == SceneGameMain::kPlay) {
                ++round.frames;
                for (int side = 0; side < 2; ++side) {
                    round.rowsCleared[side] += clearing[side];
                    round.garbageSent[side] += s->garbageFor(1 - side);
                }
                if (s->state() == SceneGameMain::kRoundEnd) {
                    round.winner = s->player(1)->state == kStateWinner ? 1 : 0;
                    for (int side = 0; side < 2; ++side) round.pieces[side] = s->player(side)->piecesTaken;
                    round.fieldHash = HashFields(*s);
                    run.rounds.push_back(round);
                }
            }
        }
        return run;
    }

};


int LiveGraphs() {
    int live = 0;
    GetGraphTableState(&live, nullptr, nullptr);
    return live;
}

TEST_F(WholeMatchTest, TheSameSeedPlaysTheSameMatchAndAnotherSeedAnother) {
    const int kLimit = 60000;
    MatchRun drawn = play(1234, 0, 0, 1, 16, kLimit);
    ASSERT_TRUE(drawn.finished) << drawn.digest();
    ASSERT_GE(drawn.rounds.size(), 2u) << drawn.digest();
    MatchRun again = play(1234, 0, 0, 1, 0, kLimit);
    // Drawing and the frame body change nothing in the rules.
    EXPECT_EQ(drawn.digest(), again.digest());
    MatchRun other = play(98765, 0, 0, 1, 0, kLimit);
    ASSERT_TRUE(other.finished) << other.digest();
    EXPECT_NE(drawn.digest(), other.digest());
    std::printf("seed 1234: %s\nseed 98765: %s\n", drawn.digest().c_str(), other.digest().c_str());
}

TEST_F(WholeMatchTest, MoreSeedsAndStrengthsThroughThePlayStepAloneEndAndRepeat) {
    struct Case {
        int seed, level, c0, c1;
    } cases[] = {{7, 1, 2, 3}, {8, 2, 4, 5}, {9, 2, 6, 0}};
    for (const Case& c : cases) {
        MatchRun once = play(c.seed, c.level, c.c0, c.c1, 0, 150000);
        ASSERT_TRUE(once.finished) << "seed " << c.seed << ": " << once.digest();
        MatchRun again = play(c.seed, c.level, c.c0, c.c1, 0, 150000);
        EXPECT_EQ(once.digest(), again.digest()) << "seed " << c.seed;
        for (const RoundRecord& r : once.rounds) EXPECT_GT(r.pieces[0] + r.pieces[1], 0);
    }
}

TEST_F(WholeMatchTest, AfterSeveralMatchesNothingTheyMadeIsStillAlive) {
    const int graphs = LiveGraphs();
    const int sounds = GetSoundHandleCount();
    const int allocations = GetTrackedAllocCount();
    std::vector<MatchRun> runs;
    runs.push_back(play(21, 0, 3, 3, 32, 150000));  // a mirror match, drawn now and then
    runs.push_back(play(22, 1, 5, 2, 0, 150000));
    for (const MatchRun& run : runs) {
        ASSERT_TRUE(run.finished) << run.digest();
        EXPECT_GE(run.rounds.size(), 2u);
        for (const auto& p : run.players) EXPECT_TRUE(p.expired());
        for (const auto& b : run.pieces) EXPECT_TRUE(b.expired());
    }
    EXPECT_EQ(graphs, LiveGraphs());
    EXPECT_EQ(sounds, GetSoundHandleCount());
    EXPECT_EQ(allocations, GetTrackedAllocCount());
    EXPECT_FALSE(cpuInputIgnored);
}

}  // namespace
