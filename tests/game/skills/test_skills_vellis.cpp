// Vellis's skills played in the real match scene: the knife volley drops the caster's own field five rows and
// attacks nobody, the trick adds five rows to what the rival has pending, and the stopped time holds the rival
// for four of its pieces while the caster plays on, ending cleanly even on a lock.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "game/match/scene_game_main.h"
#include "game/shell/input_poll.h"
#include "game/shell/scene.h"
#include "game/skills/skill_back.h"
#include "game/skills/skill_name.h"
#include "game/skills/skills_vellis.h"
#include "tests/game/skills/skill_case.h"

namespace {

constexpr int kVellis = 3;

// The field drops one row on each of these updates: every 20 frames of the throw and on the frame that ends it.
constexpr int kDollDrops[] = {119, 139, 159, 179, 189};
constexpr int kDollFrames = 222;

constexpr int kTrickGarbageFrame = 81;   // the five rows are added on this update
constexpr int kTrickFirstRivalFace = 82;  // the rival shows its crisis face from here on
constexpr int kTrickFrames = 202;

constexpr int kSquareSwitchFrame = 65;

// Bottom rows that show where every row went: full rows with chips, a ragged row, and a chip on top.
const Rows kDollStack = {
    "*.........", "#.#.#.#.#.", "##########", "####*#####", "##########", "##*#######", "##########",
};

int dollDropsBy(int frame) {
    return static_cast<int>(std::count_if(std::begin(kDollDrops), std::end(kDollDrops),
                                          [frame](int drop) { return drop <= frame; }));
}

// The whole field after `drops` one-row drops of a field whose bottom rows were `bottom`.
Rows droppedField(const Rows& bottom, int drops) {
    Rows all(kFieldRows, "..........");
    const int first = kFieldRows - static_cast<int>(bottom.size());
    for (size_t i = 0; i < bottom.size(); ++i) {
        const int row = first + static_cast<int>(i) + drops;
        if (row < kFieldRows) all[row] = bottom[i];
    }
    return all;
}

SkillCase dollCase(const char* name, int side, const Rows& field, bool cutIn) {
    SkillCase c;
    c.name = name;
    c.character = kVellis;
    c.level = 1;
    c.side = side;
    c.casterField = field;
    c.rivalField = {"#.#.#.#.#.", "##.#######"};
    c.rivalLevel = 2;
    c.rivalPending = 1;
    c.cutIn = cutIn;
    c.endState = kStateSkillOverBoth;
    c.frames = kDollFrames;
    c.drawScale = [](SkillRun& run) { return run.skillAs<SkillDoll>()->brightness(); };
    c.eachFrame = [field](SkillRun& run) {
        EXPECT_EQ(droppedField(field, dollDropsBy(run.frame)), fieldRows(run.caster(), 0)) << "update " << run.frame;
        EXPECT_EQ(kFaceHidden, run.caster().face) << "update " << run.frame;
    };
    c.atEnd = [field](SkillRun& run) {
        EXPECT_EQ(droppedField(field, 5), fieldRows(run.caster(), 0));
        EXPECT_EQ(255, run.skillAs<SkillDoll>()->brightness());
    };
    // Lost rows attack nobody, raise no level and cancel nothing.
    c.after = [field](SkillRun& run) {
        EXPECT_EQ(droppedField(field, 5), fieldRows(run.caster(), 0));
        EXPECT_EQ(0, run.caster().skillLevel);
        EXPECT_EQ(0, run.caster().pendingGarbage);
        EXPECT_EQ(1, run.rival().pendingGarbage);
        EXPECT_EQ(2, run.rival().skillLevel);
        EXPECT_EQ(Rows({"#.#.#.#.#.", "##.#######"}), fieldRows(run.rival(), 20));
        EXPECT_EQ(0, run.scene->garbageFor(1 - run.casterSide));
        EXPECT_EQ(0, run.scene->garbageFor(run.casterSide));
    };
    c.drawEvery = 2;
    return c;
}

// Rows whose cells are all blocks but one hole: what garbage looks like.
int garbageRowsAtBottom(const Player& p) {
    int rows = 0;
    for (int r = kFieldRows - 1; r >= 0; --r) {
        int blocks = 0;
        for (int c = 0; c < kFieldColumns; ++c) blocks += p.cells[r][c] == kCellBlock;
        if (blocks != kFieldColumns - 1) break;
        ++rows;
    }
    return rows;
}

SkillCase trickCase(const char* name, int side, int pending, int rivalFace, bool cutIn) {
    SkillCase c;
    c.name = name;
    c.character = kVellis;
    c.level = 2;
    c.side = side;
    c.rivalPending = pending;
    c.rivalFace = rivalFace;
    c.cutIn = cutIn;
    c.endState = kStateSkillOverBoth;
    c.frames = kTrickFrames;
    // The brightening overshoots to 257 on its last step; the colour scale holds at most 255.
    c.drawScale = [](SkillRun& run) { return std::min(255, run.skillAs<SkillTrick>()->brightness()); };
    c.eachFrame = [pending, rivalFace](SkillRun& run) {
        const Player& r = run.rival();
        EXPECT_EQ(run.frame >= kTrickGarbageFrame ? pending + 5 : pending, r.pendingGarbage) << "update " << run.frame;
        if (run.frame >= kTrickFirstRivalFace) {
            EXPECT_EQ(rivalFace == kFaceGrave ? kFaceGrave : kFaceCrisis, r.face) << "update " << run.frame;
        }
        EXPECT_EQ(kFaceHidden, run.caster().face);
        EXPECT_TRUE(fieldRows(r, 0) == Rows(kFieldRows, "..........")) << "nothing rises while the caster holds";
    };
    c.atEnd = [pending, rivalFace](SkillRun& run) {
        EXPECT_EQ(kStateGarbage, run.rival().state);
        EXPECT_EQ(rivalFace == kFaceGrave ? kFaceGrave : kFaceNormal, run.rival().face);
        EXPECT_EQ(0, run.rival().faceFrame);
        EXPECT_EQ(pending + 5, run.rival().pendingGarbage);
    };
    // The rows rise after the rival's next lock, all of them, and nothing before.
    c.after = [pending](SkillRun& run) {
        Player& r = run.rival();
        bool locked = false;
        run.scene->setDrawingEnabledForTesting(false);
        for (int f = 0; f < 600 && !(locked && r.state != kStateGarbage); ++f) {
            StepInput in = run.buttons(0, kButtonDown);
            run.game->step(in.side0, in.side1);
            locked = locked || r.state == kStateGarbage;
            if (!locked) {
                EXPECT_EQ(0, garbageRowsAtBottom(r)) << "rows rose before the rival's lock";
                EXPECT_EQ(pending + 5, r.pendingGarbage);
            }
        }
        run.scene->setDrawingEnabledForTesting(true);
        EXPECT_TRUE(locked);
        EXPECT_EQ(0, r.pendingGarbage);
        EXPECT_EQ(pending + 5, garbageRowsAtBottom(r));
    };
    c.drawEvery = 2;
    return c;
}

// The stopped time. The rival holds down all along (ignored while its time is stopped) and tries to cast; the
// caster plays on with no button. The rival's tall stack shortens its pieces' fall.
struct SquareNotes {
    int seen = -1;       // the rival's pieces at the switch
    int lastPos = -1;    // the rival's piece position in 1/180 rows, while it falls with its time stopped
    bool triedCast = false;
};

SkillCase squareCase(const char* name, int side, bool cutIn) {
    SkillCase c;
    c.name = name;
    c.character = kVellis;
    c.level = 3;
    c.side = side;
    c.rivalLevel = 1;
    c.rivalField = Rows(10, "#########.");
    c.cutIn = cutIn;
    // A fast fall keeps the four pieces short; a soft drop would still be twenty times faster.
    c.prepare = [](SkillRun& run) { run.rival().fallSpeed = 60; };
    c.endState = kStateSkillOverSelf;
    auto notes = std::make_shared<SquareNotes>();
    c.input = [notes](SkillRun& run) {
        auto* square = run.skillAs<SkillSquare>();
        // Up only while this step cannot end the skill, so a refused press is the stop's doing.
        const bool up = square && square->state() == 3 && run.rival().state == kStateFalling && run.frame % 2;
        if (up) notes->triedCast = true;
        return run.buttons(0, kButtonDown | (up ? kButtonUp : 0));
    };
    c.eachFrame = [notes](SkillRun& run) {
        Player& o = run.caster();
        Player& r = run.rival();
        auto* square = run.skillAs<SkillSquare>();
        ASSERT_NE(nullptr, square);
        const bool stopped = run.frame >= kSquareSwitchFrame;
        EXPECT_EQ(stopped, r.stopTime) << "update " << run.frame;
        EXPECT_EQ(stopped, o.skillRunsWhileFalling) << "update " << run.frame;
        if (!stopped) {
            EXPECT_EQ(kStateSkillRunning, o.state);
            return;
        }
        if (run.frame == kSquareSwitchFrame) {
            EXPECT_EQ(3, square->state());
            EXPECT_EQ(kStateNextPiece, o.state);
            EXPECT_EQ(kStateNextPiece, r.state);
            notes->seen = r.piecesTaken;
        }
        EXPECT_EQ(kFaceStopTime, r.face) << "update " << run.frame;
        EXPECT_NE(kStateSkillWait, r.state) << "the rival cast with its time stopped";
        EXPECT_EQ(1, r.skillLevel);
        // The stop lasts until the fourth piece, not one piece less or more.
        EXPECT_LE(r.piecesTaken - notes->seen, 4) << "update " << run.frame;
        if (square->state() == 4) {
            EXPECT_EQ(4, r.piecesTaken - notes->seen);
        }
        // Plain speed: the held down button moves the rival's piece no faster than the fall.
        const int pos = r.piece->row * 180 + r.fallSub;
        if (r.state == kStateFalling && notes->lastPos >= 0 && pos >= notes->lastPos) {
            EXPECT_LE(pos - notes->lastPos, r.fallSpeed) << "update " << run.frame;
        }
        notes->lastPos = r.state == kStateFalling ? pos : -1;
    };
    c.atEnd = [notes](SkillRun& run) {
        EXPECT_TRUE(notes->triedCast);
        EXPECT_FALSE(run.rival().stopTime);
        EXPECT_EQ(kFaceNormal, run.rival().face);
        EXPECT_EQ(4, run.rival().piecesTaken - notes->seen);
    };
    c.drawEvery = 4;
    return c;
}

// A stopped-time row whose last update comes right after the caster's lock: when the skill is due to end, the
// caster's next step locks `kind` resting at (`column`, `row`) on `field`.
SkillCase squareLockCase(const char* name, int side, bool cutIn, const Rows& field, int kind, int column, int row,
                         int lockState, const std::function<void(SkillRun&)>& after) {
    SkillCase c = squareCase(name, side, cutIn);
    c.endsAfterLock = true;
    auto base = c.eachFrame;
    auto placed = std::make_shared<bool>(false);
    c.eachFrame = [base, placed, field, kind, column, row](SkillRun& run) {
        base(run);
        Player& o = run.caster();
        if (*placed || run.skillAs<SkillSquare>()->state() != 4 || o.state != kStateFalling) return;
        setField(o, field);
        placePiece(o, kind, 0, column, row);
        o.lockSub = 360;  // locks on the next step
        *placed = true;
    };
    auto baseEnd = c.atEnd;
    c.atEnd = [baseEnd, placed, lockState, cutIn](SkillRun& run) {
        baseEnd(run);
        EXPECT_TRUE(*placed);
        EXPECT_EQ(lockState, run.caster().state);
        // The end step will not run (the lock's state stays), so the fades start with the end itself.
        if (cutIn) {
            EXPECT_EQ(3, run.caster().getSkillBack()->phase);
            ASSERT_TRUE(SkillName::current());
            EXPECT_EQ(3, SkillName::current()->phase);
        }
    };
    c.after = after;
    return c;
}

std::vector<SkillCase> vellisCases() {
    std::vector<SkillCase> cases;
    // Rows with the caster on the same side follow each other, so the match's resources stay loaded. Only the
    // first row of each skill shows the cut-in: the wait is the same for every skill, and long.
    cases.push_back(dollCase("Doll side 0", 0, kDollStack, true));
    cases.push_back(trickCase("Trick side 0", 0, 0, kFaceNormal, true));
    cases.push_back(squareCase("Square side 0", 0, true));
    // The last update after a lock that tops out: the caster stays topped out and the rival wins.
    cases.push_back(squareLockCase(
        "Square ends after a lock that tops out", 0, false, Rows(kFieldRows, "#########."), 0, 3, -3,
        kStateToppedOut, [](SkillRun& run) {
            run.game->step();
            EXPECT_EQ(kStateWinner, run.rival().state);
            EXPECT_EQ(kStateToppedOut, run.caster().state);
            // On to the next round (the runner's clean-up check is for rounds that go on); the players go with
            // the old scene, so nothing of it is touched past this loop.
            run.scene->setDrawingEnabledForTesting(false);
            for (int f = 0; f < 400 && run.game->controller().currentScene().get() == run.scene; ++f)
                run.game->step();
            EXPECT_NE(run.game->controller().currentScene().get(), run.scene) << "the round did not end";
        }));

    cases.push_back(dollCase("Doll side 1", 1, kDollStack, false));
    cases.push_back(trickCase("Trick side 1 onto pending rows and a grave rival", 1, 2, kFaceGrave, false));
    // The last update after a lock that fills a row: the row clears and the caster takes a new piece, instead of
    // falling on with the locked one.
    cases.push_back(squareLockCase(
        "Square side 1 ends after a lock that fills a row", 1, true, {"######...."}, 0, 6, 19, kStateClearing,
        [](SkillRun& run) {
            Player& o = run.caster();
            EXPECT_EQ(Rows({"xxxxxxxxxx"}), fieldRows(o, 21));
            const int taken = o.piecesTaken;
            run.scene->setDrawingEnabledForTesting(false);
            for (int f = 0; f < 200 && o.piecesTaken == taken; ++f) run.game->step();
            run.scene->setDrawingEnabledForTesting(true);
            EXPECT_EQ(taken + 1, o.piecesTaken);
            EXPECT_EQ(kStateFalling, o.state);
            EXPECT_EQ(Rows({"..........", ".........."}), fieldRows(o, 20));
            EXPECT_FALSE(o.skillRunsWhileFalling);
        }));
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Vellis, SkillCaseTest, ::testing::ValuesIn(vellisCases()), SkillCaseName);

}  // namespace
