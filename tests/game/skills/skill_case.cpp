// The shared runner of the skill tables (see skill_case.h).
#include "tests/game/skills/skill_case.h"

#include <cctype>
#include <ostream>

#include "game/game_test_util.h"
#include "game/match/next_piece_queue.h"
#include "game/match/scene_game_main.h"
#include "game/shell/game_clock.h"
#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "game/shell/options.h"
#include "game/shell/scene.h"
#include "game/skills/skill.h"
#include "game/skills/skill_back.h"
#include "game/skills/skill_name.h"
#include "graphics/draw.h"
#include "graphics/graphics.h"

namespace {

constexpr int kIntroAndReadyFrames = 200 + 172;
constexpr int kDecorFadeFrames = 60;

SceneGameMain* currentMatch(GameStepper& game) {
    return dynamic_cast<SceneGameMain*>(game.controller().currentScene().get());
}

// A fresh versus match of two human sides, stepped through the intro and the ready sign. After a row of the same
// two characters on the same sides the battle group stays loaded, as it does for a next round: loading it again
// is most of a row's time.
SceneGameMain* startMatch(GameStepper& game, int character0, int character1) {
    if (SceneGameMain* previous = currentMatch(game)) {
        if (previous->player(0)->character == character0 && previous->player(1)->character == character1)
            game.loader().setKeepFlag(true);
    }
    auto scene = std::make_shared<SceneGameMain>(character0, character1, 0, 0, true, false, 0, game.loaderPointer());
    scene->setDrawingEnabledForTesting(false);
    game.startScene(scene);
    SceneGameMain* s = currentMatch(game);
    if (s == nullptr) return nullptr;
    for (int f = 0; f < kIntroAndReadyFrames; ++f) {
        inputCurrent[0] = inputCurrent[1] = inputPrevious[0] = inputPrevious[1] = 0;
        game.controller().update();
    }
    s->setDrawingEnabledForTesting(true);
    return s->state() == SceneGameMain::kPlay ? s : nullptr;
}

StepInput sideWords(int casterSide, int casterButtons, int rivalButtons) {
    StepInput in;
    (casterSide == 0 ? in.side0 : in.side1) = casterButtons;
    (casterSide == 0 ? in.side1 : in.side0) = rivalButtons;
    return in;
}

}  // namespace

Player& SkillRun::caster() { return *scene->player(casterSide); }
Player& SkillRun::rival() { return *scene->player(1 - casterSide); }
Skill* SkillRun::skill() { return caster().skill.get(); }
StepInput SkillRun::buttons(int casterButtons, int rivalButtons) const {
    return sideWords(casterSide, casterButtons, rivalButtons);
}

void PrintTo(const SkillCase& c, std::ostream* os) { *os << c.name; }

std::string SkillCaseName(const ::testing::TestParamInfo<SkillCase>& info) {
    std::string name;
    for (char ch : info.param.name) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name.empty() ? "row" + std::to_string(info.index) : name;
}

GameStepper* SkillCaseTest::game = nullptr;

void SkillCaseTest::SetUpTestSuite() { game = TakeGameStepper(ResourceTree::kFolders); }

void SkillCaseTest::TearDownTestSuite() {
    ParkGameStepper(game);
    game = nullptr;
}

void SkillCaseTest::SetUp() {
    ASSERT_TRUE(game->started());
    resetOptionValues();
    resetInput();
}

void SkillCaseTest::TearDown() {
    resetOptionValues();
    resetInput();
}

TEST_P(SkillCaseTest, Plays) { PlaySkillCase(*game, GetParam()); }

void SceneOnlyFrame(GameStepper& game, int side0, int side1) {
    advanceGameClockForTest(kFrameMilliseconds);
    inputPrevious[0] = inputCurrent[0];
    inputPrevious[1] = inputCurrent[1];
    inputCurrent[0] = side0;
    inputCurrent[1] = side1;
    game.controller().update();
}

void PlaySkillCase(GameStepper& game, const SkillCase& c) {
    ASSERT_TRUE(c.character >= 0 && c.character <= 6 && c.side >= 0 && c.side <= 1);
    const int rivalCharacter = c.rivalCharacter >= 0 ? c.rivalCharacter : (c.character + 1) % 7;
    // A case whose round ended leaves its match mid-ending, and the banner that scene would have cleared with it:
    // every case starts from none.
    SkillName::clearCurrent();
    SkillRun run;
    run.game = &game;
    run.casterSide = c.side;
    run.scene = c.side == 0 ? startMatch(game, c.character, rivalCharacter) : startMatch(game, rivalCharacter, c.character);
    ASSERT_NE(nullptr, run.scene) << "the match did not reach play";
    Player& caster = run.caster();
    Player& rival = run.rival();

    setField(caster, c.casterField);
    setField(rival, c.rivalField);
    rival.skillLevel = c.rivalLevel;
    rival.pendingGarbage = c.rivalPending;
    rival.face = c.rivalFace;
    caster.skillLevel = c.level;
    skillCutInOff = !c.cutIn;
    if (c.prepare) c.prepare(run);
    if (::testing::Test::HasFatalFailure()) return;

    // Drawing state the skill leaves behind, first problem only (a broken draw would repeat every frame).
    std::string drawProblem;
    run.scene->setAfterSkillDrawForTesting([&](const Player& p) {
        if (&p != &caster || !drawProblem.empty()) return;
        int mode = -1, parameter = 0, r = -1, g = -1, b = -1;
        GetBlendModeImpl(&mode, &parameter);
        GetDrawColorScale(&r, &g, &b);
        const int want = c.drawScale ? c.drawScale(run) : r;
        if (mode != 0 || r != g || g != b || r != want) {
            drawProblem = "update " + std::to_string(run.frame) + ": blend mode " + std::to_string(mode) +
                          ", colour scale " + std::to_string(r) + "," + std::to_string(g) + "," +
                          std::to_string(b) + " (want mode 0, scale " + std::to_string(want) + ")";
        }
    });

    // Every frame from the press on: the whole frame body, or the scene alone where the row asks for it.
    auto frame = [&](int side0, int side1) {
        if (c.sceneOnlyFrames)
            SceneOnlyFrame(game, side0, side1);
        else
            game.step(side0, side1);
    };
    auto drawn = [&](int update) {
        if (c.drawUpdate) return c.drawUpdate(run);
        return c.drawEvery <= 1 || update == 1 || update % c.drawEvery == 0;
    };

    const int baselineGraphs = LiveGraphCount();
    const std::shared_ptr<Skill> before = caster.skill;

    // The press and the wait.
    StepInput press = run.buttons(kButtonUp);
    frame(press.side0, press.side1);
    ASSERT_EQ(kStateSkillWait, caster.state) << "the skill button was refused";
    EXPECT_EQ(kStateFrozen, rival.state);
    // The wait's own drawing is tested with the banners; here it would only cost time.
    run.scene->setDrawingEnabledForTesting(false);
    int wait = 0;
    while (caster.skill == before && wait < 400) {
        frame(0, 0);
        ++wait;
    }
    run.scene->setDrawingEnabledForTesting(true);
    ASSERT_NE(before, caster.skill) << "no skill was installed";
    EXPECT_EQ(c.cutIn ? 180 : 21, wait);
    EXPECT_EQ(0, caster.skillLevel);
    EXPECT_EQ(kStateSkillRunning, caster.state);
    if (c.cutIn) {
        EXPECT_TRUE(SkillName::current());
        ASSERT_TRUE(caster.getSkillBack());
        EXPECT_NE(0, caster.getSkillBack()->phase);
    } else {
        EXPECT_FALSE(SkillName::current());
        if (caster.getSkillBack()) {
            EXPECT_EQ(0, caster.getSkillBack()->phase);
        }
    }

    // The run.
    bool fellOn = false;
    while (!run.ended) {
        ++run.frame;
        if (run.frame > c.maxFrames) {
            ADD_FAILURE() << "the skill did not end within " << c.maxFrames << " updates";
            break;
        }
        const bool heldBoth = caster.state == kStateSkillRunning;
        const StepInput in = c.input ? c.input(run) : StepInput();
        run.scene->setDrawingEnabledForTesting(drawn(run.frame));
        frame(in.side0, in.side1);
        fellOn = fellOn || caster.skillRunsWhileFalling;
        run.ended = caster.state == kStateSkillOverBoth || caster.state == kStateSkillOverSelf ||
                    (fellOn && !caster.skillRunsWhileFalling);
        if (run.ended) break;
        if (heldBoth && caster.state == kStateSkillRunning) {
            EXPECT_EQ(kStateFrozen, rival.state) << "update " << run.frame;
        }
        if (c.eachFrame) c.eachFrame(run);
        if (::testing::Test::HasFatalFailure()) return;
        if (run.stopped) {
            EXPECT_EQ("", drawProblem);
            return;
        }
    }
    run.endFrame = run.frame;
    if (currentMatch(game) == run.scene) run.scene->setDrawingEnabledForTesting(true);
    EXPECT_EQ("", drawProblem);
    if (!run.ended) return;
    if (c.frames >= 0) {
        EXPECT_EQ(c.frames, run.frame) << "updates up to the end";
    }
    if (c.endsAfterLock) {
        EXPECT_TRUE(caster.state == kStateClearing || caster.state == kStateGarbage ||
                    caster.state == kStateNextPiece || caster.state == kStateToppedOut)
            << "state " << caster.state << " after a lock";
        EXPECT_FALSE(caster.skillRunsWhileFalling);
    } else {
        EXPECT_EQ(c.endState, caster.state);
    }
    if (c.atEnd) c.atEnd(run);

    // The end step.
    if (!c.endsAfterLock) {
        frame(0, 0);
        if (c.endState == kStateSkillOverBoth) {
            EXPECT_EQ(kStateNextPiece, caster.state);
            EXPECT_EQ(kStateNextPiece, rival.state);
        } else {
            EXPECT_EQ(kStateFalling, caster.state);
        }
    }
    // A caster that plays on may show the crisis figure while its top rows are occupied (a lock that tops out).
    EXPECT_TRUE(caster.face == kFaceNormal || caster.face == kFaceGrave ||
                (caster.face == kFaceCrisis && caster.danger))
        << "face " << caster.face;
    if (c.after) c.after(run);

    // Once the decor has faded and the skill is gone, its graphs are gone too. The skill draws nothing more, so
    // the fade is stepped undrawn.
    run.scene->setDrawingEnabledForTesting(false);
    for (int f = 0; f < kDecorFadeFrames && currentMatch(game) == run.scene; ++f) frame(0, 0);
    // The round ended (or is ending: the banner no longer steps then); the scene's own clean-up is tested apart.
    if (currentMatch(game) != run.scene || run.scene->state() != SceneGameMain::kPlay) return;
    run.scene->setDrawingEnabledForTesting(true);
    run.scene->setAfterSkillDrawForTesting(nullptr);
    EXPECT_TRUE(!SkillName::current() || SkillName::current()->phase == 4);
    SkillName::clearCurrent();
    caster.skill.reset();
    EXPECT_EQ(baselineGraphs, LiveGraphCount()) << "graphs left after the skill";
}
