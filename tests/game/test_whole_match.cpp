// Whole matches of the computer against itself in the stepped game, played to the end: the same seed gives
// the same match, another seed another one, and nothing a match made outlives it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "game/cpu.h"
#include "game/input_poll.h"
#include "game/loader.h"
#include "game/options.h"
#include "game/player.h"
#include "game/scene_game_main.h"
#include "graphics/graph.h"
#include "runtime/memory.h"
#include "runtime/runtime.h"
#include "sound/sound_handle.h"
#include "story/scene_title.h"
#include "tests/game_support/game_stepper.h"

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

class WholeMatchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { game = new GameStepper(ResourceTree::kFolders); }
    static void TearDownTestSuite() {
        delete game;
        game = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(game->started());
        resetOptionValues();
        resetInput();
    }
    void TearDown() override { resetOptionValues(); }

    SceneGameMain* scene() { return dynamic_cast<SceneGameMain*>(game->controller().currentScene().get()); }

    // Plays the computer against itself from the given seed to the match's end (the title), or until the frame
    // limit. With drawing off only the rules step runs.
    MatchRun play(int seed, int level, int c0, int c1, bool drawing, int frameLimit) {
        MatchRun run;
        cpuLevel = level;
        RandomSetSeed(seed);
        auto first = SceneGameMain::makeComputerOnBothSidesForTesting(c0, c1, 0, 0, 0, game->loaderPointer());
        first->setDrawingEnabledForTesting(drawing);
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
            game->step();
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

    static GameStepper* game;
};

GameStepper* WholeMatchTest::game = nullptr;

int LiveGraphs() {
    int live = 0;
    GetGraphTableState(&live, nullptr, nullptr);
    return live;
}

TEST_F(WholeMatchTest, TheSameSeedPlaysTheSameMatchAndAnotherSeedAnother) {
    const int kLimit = 60000;
    MatchRun a = play(1234, 0, 0, 1, true, kLimit);
    ASSERT_TRUE(a.finished) << a.digest();
    ASSERT_GE(a.rounds.size(), 2u) << a.digest();
    MatchRun b = play(1234, 0, 0, 1, false, kLimit);
    ASSERT_TRUE(b.finished) << b.digest();
    // Drawing changes nothing in the rules.
    EXPECT_EQ(a.digest(), b.digest());
    MatchRun c = play(98765, 0, 0, 1, false, kLimit);
    ASSERT_TRUE(c.finished) << c.digest();
    EXPECT_NE(a.digest(), c.digest());
    std::printf("seed 1234: %s\nseed 98765: %s\n", a.digest().c_str(), c.digest().c_str());
}

TEST_F(WholeMatchTest, MoreSeedsThroughThePlayStepAloneEndAndRepeat) {
    struct Case {
        int seed, level, c0, c1;
    } cases[] = {{7, 1, 2, 3}, {8, 2, 4, 5}, {9, 0, 6, 0}, {10, 1, 1, 1}};
    for (const Case& c : cases) {
        MatchRun once = play(c.seed, c.level, c.c0, c.c1, false, 200000);
        ASSERT_TRUE(once.finished) << "seed " << c.seed << ": " << once.digest();
        MatchRun again = play(c.seed, c.level, c.c0, c.c1, false, 200000);
        EXPECT_EQ(once.digest(), again.digest()) << "seed " << c.seed;
        for (const RoundRecord& r : once.rounds) EXPECT_GT(r.pieces[0] + r.pieces[1], 0);
    }
}

TEST_F(WholeMatchTest, AfterSeveralMatchesNothingTheyMadeIsStillAlive) {
    const int graphs = LiveGraphs();
    const int sounds = GetSoundHandleCount();
    const int allocations = GetTrackedAllocCount();
    std::vector<MatchRun> runs;
    runs.push_back(play(21, 0, 3, 3, true, 60000));  // a mirror match, drawn
    runs.push_back(play(22, 0, 5, 2, false, 200000));
    for (const MatchRun& run : runs) {
        ASSERT_TRUE(run.finished) << run.digest();
        for (const auto& p : run.players) EXPECT_TRUE(p.expired());
        for (const auto& b : run.pieces) EXPECT_TRUE(b.expired());
    }
    EXPECT_EQ(graphs, LiveGraphs());
    EXPECT_EQ(sounds, GetSoundHandleCount());
    EXPECT_EQ(allocations, GetTrackedAllocCount());
    EXPECT_FALSE(cpuInputIgnored);
}

}  // namespace
