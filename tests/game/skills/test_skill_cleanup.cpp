// Rounds and matches that end in the middle of a skill: a top-out during each falling-run skill, a pause quit
// during Copy and Manbo, and Escape while a skill runs. Afterwards no side or skill is alive, no graph is left,
// no piece kind is still forced, no banner is current, and the next round starts clear.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

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
#include "runtime/window.h"

namespace {

class CleanupIdleScene : public Scene {
public:
    explicit CleanupIdleScene(std::shared_ptr<Loader> loader) : Scene(std::move(loader)) {}
    void update() override {}
    void loadResources(bool) override {}
    void draw() override {}
};

std::shared_ptr<Scene> ToIdle(const std::shared_ptr<Loader>& loader, bool, int, int, int) {
    return std::make_shared<CleanupIdleScene>(loader);
}

SceneGameMain* CurrentMatch(GameStepper& game) {
    return dynamic_cast<SceneGameMain*>(game.controller().currentScene().get());
}

StepInput Words(int side, int buttons) {
    StepInput in;
    (side == 0 ? in.side0 : in.side1) = buttons;
    return in;
}

// A versus match of two human sides in play, the caster's skill cast with the short wait and `updates`
// updates run; with `fromSwitch`, counted from the falling-run switch on.
SceneGameMain* CastAndRun(GameStepper& game, int character, int level, int side, int updates,
                          bool fromSwitch = false) {
    const int rivalCharacter = (character + 3) % 7;
    auto scene = std::make_shared<SceneGameMain>(side == 0 ? character : rivalCharacter,
                                                 side == 0 ? rivalCharacter : character, 0, 0, true, false, 0,
                                                 game.loaderPointer());
    scene->setDrawingEnabledForTesting(false);
    game.startScene(scene);
    SceneGameMain* s = CurrentMatch(game);
    if (s == nullptr) return nullptr;
    for (int f = 0; f < 200 + 172; ++f) {
        inputCurrent[0] = inputCurrent[1] = inputPrevious[0] = inputPrevious[1] = 0;
        game.controller().update();
    }
    s->setDrawingEnabledForTesting(true);
    skillCutInOff = true;
    Player& caster = *s->player(side);
    caster.skillLevel = level;
    const StepInput press = Words(side, kButtonUp);
    game.step(press.side0, press.side1);
    for (int f = 0; f < 21; ++f) game.step();
    if (!caster.skill) return nullptr;
    for (int f = 0; fromSwitch && !caster.skillRunsWhileFalling && f < 1000 && CurrentMatch(game) == s; ++f)
        game.step();
    for (int f = 0; f < updates && CurrentMatch(game) == s; ++f) game.step();
    return CurrentMatch(game) == s ? s : nullptr;
}

class SkillCleanupTest : public SteppedGameTest {
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
};


TEST_F(SkillCleanupTest, ATopOutDuringAFallingRunSkillEndsTheRoundCleanly) {
    struct Case {
        const char* name;
        int character, level, side, updates;
    };
    // Pobb runs past its curtain, so a piece kind is forced when the round ends.
    const Case cases[] = {
        {"Dorvel", 0, 3, 1, 5}, {"Pobb", 2, 1, 0, 340}, {"Salk", 2, 2, 1, 20}, {"Quillow", 2, 3, 0, 5},
        {"Square", 3, 3, 1, 5}, {"Doubles", 4, 3, 0, 5},  {"Ice", 6, 2, 1, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SceneGameMain* s = CastAndRun(*game, c.character, c.level, c.side, c.updates, true);
        ASSERT_NE(nullptr, s);
        Player& caster = *s->player(c.side);
        ASSERT_TRUE(caster.skillRunsWhileFalling) << "not running while falling";
        if (c.character == 2 && c.level == 1) {
            EXPECT_NE(kNoPieceKind, forcedNextKind) << "no kind forced yet";
        }
        const int graphs = LiveGraphCount();
        std::weak_ptr<Player> sides[2] = {s->player(0), s->player(1)};
        std::weak_ptr<Skill> skill = caster.skill;

        caster.state = kStateToppedOut;
        int frames = 0;
        while (CurrentMatch(*game) == s && frames++ < 600) game->step();
        SceneGameMain* next = CurrentMatch(*game);
        ASSERT_NE(nullptr, next) << "no next round";
        ASSERT_NE(s, next);
        EXPECT_TRUE(sides[0].expired() && sides[1].expired()) << "a side of the ended round is alive";
        EXPECT_TRUE(skill.expired()) << "the skill outlived its round";
        EXPECT_FALSE(SkillName::current());
        EXPECT_EQ(kNoPieceKind, forcedNextKind);
        EXPECT_EQ(graphs, LiveGraphCount());
        for (int side = 0; side < 2; ++side) {
            const Player& p = *next->player(side);
            EXPECT_FALSE(p.skill);
            EXPECT_FALSE(p.skillRunsWhileFalling || p.noAttack || p.rotationLocked || p.cascadeGravity ||
                         p.doubleAttack || p.stopTime || p.skillBlocked)
                << "side " << side << " starts with a skill's flag set";
            EXPECT_EQ(kFaceNormal, p.face);
        }
    }
}

TEST_F(SkillCleanupTest, APauseQuitDuringCopyOrManboLeavesNothingBehind) {
    struct Case {
        const char* name;
        int level, side, updates;
    };
    const Case cases[] = {{"Copy in flight", 2, 0, 50}, {"Manbo mid-gusts", 3, 1, 70}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        game->startScene(std::make_shared<CleanupIdleScene>(game->loaderPointer()));
        const int graphs = LiveGraphCount();
        const int sounds = LiveSoundCount();
        SceneGameMain* s = CastAndRun(*game, 5, c.level, c.side, c.updates);
        ASSERT_NE(nullptr, s);
        ASSERT_EQ(kStateSkillRunning, s->player(c.side)->state);
        std::weak_ptr<Player> sides[2] = {s->player(0), s->player(1)};
        std::weak_ptr<Skill> skill = s->player(c.side)->skill;

        game->step(0, kButtonThird);
        ASSERT_EQ(SceneGameMain::kPause, s->state());
        game->step(kButtonRight, 0);
        game->step(0, kButtonFirst);
        game->step();
        EXPECT_EQ(nullptr, CurrentMatch(*game)) << "the quit did not leave the match";
        EXPECT_TRUE(sides[0].expired() && sides[1].expired());
        EXPECT_TRUE(skill.expired());
        EXPECT_FALSE(SkillName::current());
        EXPECT_EQ(kNoPieceKind, forcedNextKind);
        EXPECT_EQ(graphs, LiveGraphCount());
        EXPECT_EQ(sounds, LiveSoundCount());
    }
}

void SendEscape(bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = VK_ESCAPE;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(VK_ESCAPE, MAPVK_VK_TO_VSC));
    if (!down) input.ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof(input));
}

TEST(SkillEscapeTest, EscapeWhileASkillRunsEndsTheProgramInOrder) {
    // The child plays a match into a running skill: the watchdog allows for a machine several times slower than
    // an idle one.
    ExpectChildPasses(600, [] {
        std::weak_ptr<Player> sides[2];
        std::weak_ptr<Skill> skill;
        {
            GameStepper game(ResourceTree::kFolders);
            if (!game.started()) return std::string("the game did not start");
            SceneGameMain* s = CastAndRun(game, 1, 3, 1, 40);  // Grakel, marking the rival's cells
            if (s == nullptr) return std::string("the skill did not start");
            if (s->player(1)->state != kStateSkillRunning) return std::string("the skill is not running");
            sides[0] = s->player(0);
            sides[1] = s->player(1);
            skill = s->player(1)->skill;
            int result = 0;
            for (int f = 0; f < 2000 && result == 0; ++f) {
                // Keys reach the window once it is in front.
                if (GetForegroundWindow() == GetMainHwnd())
                    SendEscape(true);
                else
                    SetForegroundWindow(GetMainHwnd());
                result = game.step();
            }
            SendEscape(false);
            if (result != -1) return std::string("Escape did not end the game");
        }
        if (!sides[0].expired() || !sides[1].expired()) return std::string("a side outlived the program's end");
        if (!skill.expired()) return std::string("the skill outlived the program's end");
        return std::string();
    });
}

}  // namespace
