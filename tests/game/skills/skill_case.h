// Casts played in the real match scene, for the skill tests. A test file gives a table of SkillCase rows and
// instantiates the shared parameterised test with it:
//
//     const SkillCase kessaCases[] = { {...}, {...} };
//     INSTANTIATE_TEST_SUITE_P(Kessa, SkillCaseTest, ::testing::ValuesIn(kessaCases), SkillCaseName);
//
// Each row starts a versus match of two human sides in the stepped game (fixed seed, scripted input, drawing on;
// rows of the same two characters one after another keep the battle group loaded, as a match's next round does),
// waits for play, sets both fields from text rows (match_fixture.h letters, bottom rows) and the rival's level,
// pending rows and face, gives the caster the level, presses the skill button (kButtonUp) and steps.
//
// What every row gets checked without saying so:
// - the wait: 180 frames with the cut-in (banner current from then on, skill background fading in), or 21
//   without (no banner, background off); the skill is installed and the level spent;
// - the rival is frozen (state 1) while the caster is in state 7;
// - after each draw of the skill: blend mode 0 and a grey colour scale (r = g = b), equal to `drawScale` when
//   the row gives one;
// - the end: the update that ends the skill leaves the caster in `endState` (8 or 9; a falling-run skill whose
//   last update comes after a lock keeps the lock's state, see `endsAfterLock`), after `frames` updates when
//   the row gives them; the next step (8: both sides to the next piece; 9: the caster falls on);
// - faces: the caster's face after the end step is 0 unless it is 13 (or 3, crisis, while its field reaches the
//   top rows);
// - handles: once the skill is gone (the caster's skill released after the decor has faded), live graphs are
//   back at their count before the press; the banner has faded unless the round has ended.
//
// Frame numbers: `run.frame` is 0 on the frame the skill is installed and n during the skill's n-th update.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "game/match/match_fixture.h"
#include "game/match/player.h"
#include "tests/game_support/game_stepper.h"

class SceneGameMain;
class Skill;

class SkillRun {
public:
    GameStepper* game = nullptr;
    SceneGameMain* scene = nullptr;
    int casterSide = 1;
    int frame = 0;           // see the header comment
    bool ended = false;      // the end state has been seen
    int endFrame = -1;       // the update that ended the skill
    // Set by a row's eachFrame to end the run there, say when the round has ended under a running skill: the
    // runner then checks nothing more (the match scene and its sides may be gone).
    bool stopped = false;

    Player& caster();
    Player& rival();
    Skill* skill();          // the caster's installed skill (null before the install)
    template <class T>
    T* skillAs() { return dynamic_cast<T*>(skill()); }

    // Buttons of the caster and of the rival, as the step's two words.
    StepInput buttons(int casterButtons, int rivalButtons = 0) const;
};

struct SkillCase {
    std::string name;          // row name (letters, digits, spaces; spaces become '_')
    int character = 0;         // the caster's character, 0-6
    int level = 1;             // the level cast, 1-3
    int side = 1;              // the caster's side
    int rivalCharacter = -1;   // -1: the next character after the caster's
    Rows casterField;          // bottom rows of the caster's field
    Rows rivalField;           // bottom rows of the rival's field
    int rivalLevel = 0;
    int rivalPending = 0;
    int rivalFace = 0;
    bool cutIn = true;
    int endState = kStateSkillOverBoth;  // 8 or 9
    int frames = -1;           // exact number of updates up to and including the one that ends it; -1 unchecked
    int maxFrames = 3000;      // fails past this many updates
    bool endsAfterLock = false;  // the last update comes after a lock: the caster keeps the lock's state
    // The frames from the press on step the scene alone (SceneOnlyFrame) instead of the whole frame body: for
    // long runs of play, whose cost is otherwise mostly the frame body's screen clear, input poll and message pump.
    bool sceneOnlyFrames = false;
    // Draw only the first and every n-th update of the run (a long run drawn every frame costs seconds); the draw
    // checks run on the drawn updates. 1 draws every update.
    int drawEvery = 1;
    // After the fields and levels are set, before the press.
    std::function<void(SkillRun&)> prepare;
    // The step's buttons from the install on (default: none held).
    std::function<StepInput(SkillRun&)> input;
    // After every step while the skill runs (not after the end).
    std::function<void(SkillRun&)> eachFrame;
    // On the step the skill ends.
    std::function<void(SkillRun&)> atEnd;
    // After the end step has run (one step after the end).
    std::function<void(SkillRun&)> after;
    // The colour scale a draw must leave (the skill's brightness); unchecked beyond being grey when empty.
    std::function<int(SkillRun&)> drawScale;
    // Whether the coming update is drawn, in place of drawEvery when given.
    std::function<bool(SkillRun&)> drawUpdate;
};

// gtest prints rows by name.
void PrintTo(const SkillCase& c, std::ostream* os);
std::string SkillCaseName(const ::testing::TestParamInfo<SkillCase>& info);

class SkillCaseTest : public ::testing::TestWithParam<SkillCase> {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;
    static GameStepper* game;
};

// Plays one row (the body of SkillCaseTest.Plays, usable from other tests too).
void PlaySkillCase(GameStepper& game, const SkillCase& c);

// One frame of the current scene alone: the stepped clock moves 12 ms and both sides' words are set as the
// input poll sets them (previous = current, current = given), then the scene controller updates (and may switch
// scenes). No screen clear, input poll or message pump.
void SceneOnlyFrame(GameStepper& game, int side0, int side1);
