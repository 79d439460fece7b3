// The computer against itself over every pairing of characters, each match played to its end: no crash, no
// hang, nothing left behind (tracked memory, graphs, sounds, sides and skills), and every skill the computer's
// policies can cast is cast somewhere. Prints the casts per skill and the refused presses.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "game/game_test_util.h"
#include "game/match/next_piece_queue.h"
#include "game/match/player.h"
#include "game/match/scene_after_match.h"
#include "game/match/scene_game_main.h"
#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "game/shell/options.h"
#include "game/shell/scene.h"
#include "game/skills/skill.h"
#include "game/skills/skill_name.h"
#include "runtime/memory.h"
#include "runtime/runtime.h"

namespace {

// Where a finished match goes in this test: nothing to load, nothing to draw.
class SweepIdleScene : public Scene {
public:
    explicit SweepIdleScene(std::shared_ptr<Loader> loader) : Scene(std::move(loader)) {}
    void update() override {}
    void loadResources(bool) override {}
    void draw() override {}
};

std::shared_ptr<Scene> ToIdle(const std::shared_ptr<Loader>& loader, bool, int, int, int) {
    return std::make_shared<SweepIdleScene>(loader);
}

const char* const kSkillNames[7][3] = {
    {"Orrant", "Saisen", "Dorvel"}, {"Vintrel", "Corvane", "Grakel"}, {"Pobb", "Salk", "Quillow"},
    {"Doll", "Trick", "Square"},    {"Telvix", "Ossive", "Doubles"},  {"Wind", "Copy", "Manbo"},
    {"Baka", "Ice", "Dead"},
};

// The computer's policies never cast these two: no rule of theirs says yes at those levels.
bool PoliciesCanCast(int character, int level) {
    return !(character == 0 && level == 1) && !(character == 6 && level == 2);
}

constexpr int kMatchFrameCap = 200000;  // a hang, not a long match
constexpr int kDrawEvery = 1009;        // a frame drawn now and then (drawing is nearly all of a frame's cost)

struct Tally {
    int casts[7][3] = {};
    int refused = 0;
    int frames = 0;
};

struct Baseline {
    int allocs, graphs, sounds;
};

Baseline Now() { return {GetTrackedAllocCount(), LiveGraphCount(), LiveSoundCount()}; }

class SkillSweepTest : public SteppedGameTest {
protected:
    void SetUp() override {
        SteppedGameTest::SetUp();
        resetOptionValues();
        resetInput();
        replaceSceneAfterMatchForTesting(ToIdle);
    }
    void TearDown() override {
        replaceSceneAfterMatchForTesting(nullptr);
        resetOptionValues();
        resetInput();
    }

    SceneGameMain* match() { return dynamic_cast<SceneGameMain*>(game->controller().currentScene().get()); }

    // One match of two computers to its end. Returns "" or the first problem.
    std::string playMatch(int character0, int character1, int seed, Tally& tally) {
        cpuLevel = seed % 3;
        skillCutInOff = seed % 2 == 1;
        RandomSetSeed(seed);
        auto scene = SceneGameMain::makeComputerOnBothSidesForTesting(character0, character1, 0, 0, 0,
                                                                      game->loaderPointer());
        scene->setDrawingEnabledForTesting(false);
        game->startScene(scene);
        scene.reset();
        if (match() == nullptr) return "the match did not start";

        std::vector<std::weak_ptr<Player>> sides;
        std::weak_ptr<Player> lastSide[2];
        std::vector<std::weak_ptr<Skill>> skills;
        std::shared_ptr<Skill> installed[2];
        int levelCast[2] = {0, 0};
        int frames = 0;
        // Each round is a scene of its own; the match is over when the current scene is no match scene.
        while (SceneGameMain* s = match()) {
            if (++frames > kMatchFrameCap) return "no end after " + std::to_string(kMatchFrameCap) + " frames";
            for (int side = 0; side < 2; ++side) {
                const std::shared_ptr<Player>& p = s->player(side);
                if (p && lastSide[side].lock() != p) {
                    lastSide[side] = p;
                    sides.push_back(p);
                }
                if (p && p->skillLevel > 0) levelCast[side] = p->skillLevel;
            }
            const bool draw = frames % kDrawEvery == 0;
            s->setDrawingEnabledForTesting(draw);
            if (draw) {
                game->step();
            } else {
                // The frame body's poll: both sides are computers, so their words start each frame empty.
                inputPrevious[0] = inputCurrent[0];
                inputPrevious[1] = inputCurrent[1];
                inputCurrent[0] = inputCurrent[1] = 0;
                game->controller().update();
            }
            if (match() != s) continue;
            for (int side = 0; side < 2; ++side) {
                const std::shared_ptr<Player>& p = s->player(side);
                if (!p) continue;
                if ((inputCurrent[side] & kButtonUp) && !(inputPrevious[side] & kButtonUp) &&
                    p->state != kStateSkillWait)
                    ++tally.refused;
                if (p->skill && p->skill != installed[side]) {
                    installed[side] = p->skill;
                    skills.push_back(p->skill);
                    if (levelCast[side] >= 1 && levelCast[side] <= 3) ++tally.casts[p->character][levelCast[side] - 1];
                }
            }
            // A new round makes new sides: forget the old round's installed skills so their pointers can't
            // be mistaken for the new ones.
            for (int side = 0; side < 2; ++side)
                if (s->player(side) && !s->player(side)->skill) installed[side].reset();
        }
        tally.frames += frames;
        for (std::shared_ptr<Skill>& skill : installed) skill.reset();
        for (const std::weak_ptr<Player>& p : sides)
            if (!p.expired()) return "a side outlived its match";
        for (const std::weak_ptr<Skill>& k : skills)
            if (!k.expired()) return "a skill outlived its match";
        if (SkillName::current()) return "a banner outlived its match";
        if (forcedNextKind != kNoPieceKind) return "a forced piece kind outlived its match";
        return "";
    }

};


TEST_F(SkillSweepTest, EveryPairingPlaysToItsEndAndLeavesNothingBehind) {
    // One match first, so that what the runtime keeps once made (caches, the idle scene) is in the baseline.
    Tally tally;
    ASSERT_EQ("", playMatch(0, 0, 0, tally));
    const Baseline base = Now();
    tally = Tally();
    int seed = 1;
    auto playAll = [&](int round) {
        for (int c0 = 0; c0 < 7; ++c0) {
            for (int c1 = 0; c1 < 7; ++c1, ++seed) {
                SCOPED_TRACE("round " + std::to_string(round) + ", characters " + std::to_string(c0) + " and " +
                             std::to_string(c1) + ", seed " + std::to_string(seed));
                const std::string problem = playMatch(c0, c1, seed, tally);
                ASSERT_EQ("", problem);
                const Baseline after = Now();
                ASSERT_EQ(base.allocs, after.allocs) << "tracked memory blocks";
                ASSERT_EQ(base.graphs, after.graphs) << "graphs";
                ASSERT_EQ(base.sounds, after.sounds) << "sound handles";
            }
        }
    };
    auto missing = [&]() {
        std::string names;
        for (int c = 0; c < 7; ++c)
            for (int l = 1; l <= 3; ++l)
                if (PoliciesCanCast(c, l) && tally.casts[c][l - 1] == 0) names += std::string(" ") + kSkillNames[c][l - 1];
        return names;
    };
    playAll(1);
    // Seeds are added until every castable skill has been cast, a bounded number of times.
    for (int round = 2; round <= 3 && !missing().empty() && !HasFatalFailure(); ++round) playAll(round);
    if (HasFatalFailure()) return;

    printf("skill sweep: %d matches, %d frames, %d refused presses\n", seed - 1, tally.frames, tally.refused);
    for (int c = 0; c < 7; ++c)
        printf("skill sweep: %-8s %4d  %-8s %4d  %-8s %4d\n", kSkillNames[c][0], tally.casts[c][0], kSkillNames[c][1],
               tally.casts[c][1], kSkillNames[c][2], tally.casts[c][2]);
    EXPECT_EQ("", missing()) << "never cast by the computer";
}

}  // namespace
