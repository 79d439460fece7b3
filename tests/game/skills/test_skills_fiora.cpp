// Fiora's skills played in the real match scene: the call for help that forces the queue's kind (also when it
// ends the rival's own), the arrow that locks the rival's turns and skill button, and cell gravity with and
// without the eye. Each skill's last update is also played right after a lock that fills a row or tops out.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "game/match/block.h"
#include "game/match/next_piece_queue.h"
#include "game/match/scene_game_main.h"
#include "game/shell/input_poll.h"
#include "game/shell/options.h"
#include "game/shell/scene.h"
#include "game/skills/skill_back.h"
#include "game/skills/skill_name.h"
#include "game/skills/skills_fiora.h"
#include "tests/game/skills/skill_case.h"

namespace {

constexpr int kFiora = 2;
constexpr int kLine = 0;
constexpr int kBox = 1;

const char* sideName(int side) { return side == 0 ? " side 0" : " side 1"; }

Player& sidePlayer(SkillRun& run, int side) { return *run.scene->player(side); }

// Long runs draw only around each change of the skill's state and one frame in 32 besides: each state is
// drawn, and drawing is most of a frame's cost. `pick` (before a step) says whether that step draws.
struct DrawPicker {
    int lastState = -1;
    int sameFor = 0;
    bool pick(SkillRun& run, int state) {
        sameFor = state == lastState ? sameFor + 1 : 0;
        lastState = state;
        bool drawing = sameFor < 2 || run.frame % 32 == 0;
        run.scene->setDrawingEnabledForTesting(drawing);
        return drawing;
    }
};

template <class T>
int skillState(SkillRun& run) {
    T* s = run.skillAs<T>();
    return s ? s->state() : -1;
}

// Soft drops, the pieces spread over the field (left wall, middle, right wall by turns), so a long run of
// pieces neither tops out nor stacks into the top rows.
int spreadDrop(const Player& p) {
    int lane = p.piecesTaken % 3;
    return kButtonDown | (lane == 0 ? kButtonLeft : lane == 2 ? kButtonRight : 0);
}

// Notes the update on which a skill's state first took each value.
struct StateFrames {
    int at[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    void note(int state, int frame) {
        if (state >= 0 && state < 8 && at[state] < 0) at[state] = frame;
    }
};

// The lock of the caster's last update: once the skill's next update is its last and the caster is falling,
// the field and the piece are set so that the piece rests with its lock time used up, and the next rules step
// locks it just before the skill's update runs.
struct LastLock {
    bool wanted = false;
    bool topOut = false;
    bool armed = false;
    int takenWhenArmed = 0;

    void arm(SkillRun& run) {
        Player& o = run.caster();
        if (!wanted || armed || o.state != kStateFalling) return;
        armed = true;
        takenWhenArmed = o.piecesTaken;
        if (topOut) {
            // A box resting on row 1 with its upper half above the field.
            Rows rows(kFieldRows - 1, "..........");
            rows[0] = "...####...";
            setField(o, rows);
            placePiece(o, kBox, 0, 3, -2);
        } else {
            setField(o, {"###....###"});
            placePiece(o, kLine, 0, 3, kFieldRows - 3);
        }
        o.lockSub = 360;
    }

    // The lock's state is kept and the decor fades.
    void checkEnd(SkillRun& run, bool cutIn) {
        if (!wanted) return;
        Player& o = run.caster();
        EXPECT_TRUE(armed);
        EXPECT_EQ(topOut ? kStateToppedOut : kStateClearing, o.state);
        if (cutIn) {
            ASSERT_TRUE(o.getSkillBack());
            EXPECT_EQ(3, o.getSkillBack()->phase) << "the end starts the background's fade";
            ASSERT_TRUE(SkillName::current());
            EXPECT_EQ(3, SkillName::current()->phase) << "and the banner's";
        }
    }

    // Play goes on from the lock: a filled row is cleared and the caster takes a new piece; a top-out hands
    // the round to the rival.
    void checkAfter(SkillRun& run) {
        if (!wanted) return;
        Player& o = run.caster();
        if (topOut) {
            SceneOnlyFrame(*run.game, 0, 0);
            EXPECT_EQ(kStateWinner, run.rival().state);
            return;
        }
        for (int f = 0; f < 120 && o.state != kStateFalling; ++f) SceneOnlyFrame(*run.game, 0, 0);
        EXPECT_EQ(kStateFalling, o.state);
        EXPECT_EQ(takenWhenArmed + 1, o.piecesTaken) << "the caster goes on with a new piece";
        EXPECT_EQ(Rows({".........."}), fieldRows(o, kFieldRows - 1));
    }
};

struct RowOptions {
    int side = 0;
    bool cutIn = false;
    bool lockFillsRow = false;
    bool lockTopsOut = false;
};

std::string rowName(const std::string& what, const RowOptions& row) {
    std::string name = what + sideName(row.side);
    if (row.lockFillsRow) name += " ending on a lock that fills a row";
    if (row.lockTopsOut) name += " ending on a lock that tops out";
    return name;
}

SkillCase fioraRow(const std::string& what, int level, const RowOptions& row) {
    SkillCase c;
    c.name = rowName(what, row);
    c.character = kFiora;
    c.level = level;
    c.side = row.side;
    c.cutIn = row.cutIn;
    c.endState = kStateSkillOverSelf;
    c.endsAfterLock = row.lockFillsRow || row.lockTopsOut;
    // Fiora on both sides: the rival's own Pobb can be cast, and one match's resources serve every row.
    c.rivalCharacter = kFiora;
    c.sceneOnlyFrames = true;
    return c;
}

// SkillPobb

struct PobbTrack {
    StateFrames states;
    bool cutIn = false;
    bool cancelsRival = false;
    int rivalKind = kNoPieceKind;
    int rivalCount = 0;
    bool drawn = false;
    int kind = kNoPieceKind;  // the caster's piece kind just before the switch
    int switchFrame = -1;
    int taken[2] = {0, 0};
    int takes = 0;  // takes by either side since the switch
    int takesPerSide[2] = {0, 0};
    int takesWhenFree = -1;  // takes when forcedNextKind came back to 15
    int topOutAfterTakes = -1;  // tops out in the forced run once this many takes are done
    LastLock lock;
    DrawPicker draws;

    StepInput input(SkillRun& run) {
        drawn = draws.pick(run, skillState<SkillPobb>(run));
        return run.buttons(spreadDrop(run.caster()), spreadDrop(run.rival()));
    }

    void follow(SkillRun& run) {
        SkillPobb* s = run.skillAs<SkillPobb>();
        ASSERT_NE(nullptr, s);
        Player& o = run.caster();
        Player& r = run.rival();
        states.note(s->state(), run.frame);
        if (run.frame == 1 && cancelsRival) {
            // The rival's own call for help has ended; the rival stays frozen for this cast.
            EXPECT_FALSE(r.skillRunsWhileFalling);
            EXPECT_EQ(kStateFrozen, r.state);
            // Ending the rival's skill fades the rival's decor, not the caster's banner, which is the current one.
            const std::shared_ptr<SkillName>& banner = SkillName::current();
            ASSERT_TRUE(banner);
            EXPECT_EQ(run.casterSide, banner->side);
            EXPECT_LT(banner->phase, 3);
            ASSERT_TRUE(r.getSkillBack());
            EXPECT_EQ(3, r.getSkillBack()->phase);
        }
        if (s->state() == 0 && drawn) {
            EXPECT_EQ(kFaceHidden, o.face) << "update " << run.frame;
        }
        if (s->state() < 3) {
            kind = o.piece->kind;
            EXPECT_EQ(cancelsRival ? rivalKind : kNoPieceKind, forcedNextKind) << "update " << run.frame;
            EXPECT_EQ(cancelsRival ? rivalCount : 0, forcedPieceCount) << "update " << run.frame;
            EXPECT_FALSE(o.skillRunsWhileFalling);
            return;
        }
        if (switchFrame < 0) {
            switchFrame = run.frame;
            EXPECT_EQ(kind, forcedNextKind);
            EXPECT_EQ(0, forcedPieceCount) << "a fresh run of ten forced takes";
            for (const NextPieceEntry& e : nextPieceQueue.entry) EXPECT_EQ(kind, e.kind);
            EXPECT_TRUE(o.skillRunsWhileFalling);
            EXPECT_EQ(kStateNextPiece, o.state);
            EXPECT_EQ(kStateNextPiece, r.state);
            for (int side = 0; side < 2; ++side) taken[side] = sidePlayer(run, side).piecesTaken;
            return;
        }
        // Every piece either side takes is the forced kind (the four queued after the run keep it too).
        for (int side = 0; side < 2; ++side) {
            Player& p = sidePlayer(run, side);
            if (p.piecesTaken == taken[side]) continue;
            taken[side] = p.piecesTaken;
            ++takes;
            ++takesPerSide[side];
            EXPECT_EQ(kind, p.piece->kind) << "take " << takes << " by side " << side;
        }
        if (takesWhenFree < 0 && forcedNextKind == kNoPieceKind) takesWhenFree = takes;
        if (topOutAfterTakes >= 0 ? takes >= topOutAfterTakes : s->state() == 5) lock.arm(run);
    }

    // The caster has topped out with the queue still forced: the round ends and the next one is unforced.
    void roundEnd(SkillRun& run) {
        EXPECT_NE(kNoPieceKind, forcedNextKind) << "the forced run is cut short, not finished";
        EXPECT_LT(takes, 11);
        GameStepper& game = *run.game;
        const Scene* ending = run.scene;
        for (int f = 0; f < 800 && game.controller().currentScene().get() == ending; ++f)
            SceneOnlyFrame(game, 0, 0);
        auto* next = dynamic_cast<SceneGameMain*>(game.controller().currentScene().get());
        EXPECT_NE(nullptr, next) << "the next round did not start";
        if (next) {
            EXPECT_EQ(1, next->player(1 - run.casterSide)->roundsWon);
        }
        EXPECT_EQ(kNoPieceKind, forcedNextKind);
        EXPECT_EQ(0, forcedPieceCount);
        run.stopped = true;
    }

    void atEnd(SkillRun& run) {
        EXPECT_EQ(101, states.at[1]) << "the call for help";
        EXPECT_EQ(301, states.at[2]) << "five hops of 40 frames";
        EXPECT_EQ(331, states.at[3]) << "the curtain";
        EXPECT_EQ(331, switchFrame);
        EXPECT_EQ(11, takesWhenFree) << "ten forced takes, and the eleventh ends the run";
        EXPECT_GT(takesPerSide[0], 0);
        EXPECT_GT(takesPerSide[1], 0);
        EXPECT_EQ(kNoPieceKind, forcedNextKind);
        EXPECT_EQ(0, forcedPieceCount);
        EXPECT_FALSE(run.caster().skillRunsWhileFalling);
        lock.checkEnd(run, cutIn);
    }
};

SkillCase pobbCase(const RowOptions& row) {
    auto t = std::make_shared<PobbTrack>();
    SkillCase c = fioraRow("Pobb", 1, row);
    c.prepare = [t, row](SkillRun&) {
        *t = PobbTrack();
        t->cutIn = row.cutIn;
        t->lock.wanted = row.lockFillsRow || row.lockTopsOut;
        t->lock.topOut = row.lockTopsOut;
    };
    c.input = [t](SkillRun& run) { return t->input(run); };
    c.eachFrame = [t](SkillRun& run) { t->follow(run); };
    c.atEnd = [t](SkillRun& run) { t->atEnd(run); };
    c.after = [t](SkillRun& run) { t->lock.checkAfter(run); };
    return c;
}

// The rival casts SkillPobb first; the caster casts its own while the rival's still forces the
// queue, a few of its takes spent. Before the mend the caster's run inherited the rival's count of takes.
// With the cut-in shown, so that both casts have a banner and a background.
SkillCase pobbCancelCase() {
    RowOptions row;
    row.side = 1;
    row.cutIn = true;
    SkillCase c = pobbCase(row);
    auto t = std::make_shared<PobbTrack>();
    c.name = "Pobb ends the rival's Pobb" + std::string(sideName(row.side));
    c.prepare = [t](SkillRun& run) {
        *t = PobbTrack();
        t->cutIn = true;
        t->cancelsRival = true;
        Player& o = run.caster();
        Player& r = run.rival();
        GameStepper& game = *run.game;
        run.scene->setDrawingEnabledForTesting(false);
        r.skillLevel = 1;
        StepInput press = run.buttons(0, kButtonUp);
        SceneOnlyFrame(game, press.side0, press.side1);
        ASSERT_EQ(kStateSkillWait, r.state);
        // The rival drops its pieces, the caster's falls slowly: both are falling when the caster presses.
        // Side 0 (the rival) steps first in the press's frame, so it must not be due to lock there.
        bool ready = false;
        for (int f = 0; f < 2000 && !ready; ++f) {
            StepInput in = run.buttons(0, kButtonDown);
            SceneOnlyFrame(game, in.side0, in.side1);
            ready = r.skillRunsWhileFalling && forcedPieceCount >= 3 && o.state == kStateFalling &&
                    r.state == kStateFalling && r.lockSub < 360;
        }
        ASSERT_TRUE(ready) << "the rival's forced run did not get going";
        t->rivalKind = forcedNextKind;
        t->rivalCount = forcedPieceCount;
        // Pieces dealt in the rival's run are of its kind; give the caster another, so the kind it forces shows.
        o.piece->kind = forcedNextKind == kLine ? kBox : kLine;
        o.skillLevel = 1;  // its clears may have raised it
        clearInputs();
        run.scene->setDrawingEnabledForTesting(true);
    };
    c.input = [t](SkillRun& run) { return t->input(run); };
    c.eachFrame = [t](SkillRun& run) { t->follow(run); };
    c.atEnd = [t](SkillRun& run) { t->atEnd(run); };
    c.after = nullptr;
    return c;
}

// A round that ends while SkillPobb still forces the queue: the caster tops out a few forced takes in.
SkillCase pobbRoundEndCase() {
    RowOptions row;
    row.side = 0;
    SkillCase c = pobbCase(row);
    auto t = std::make_shared<PobbTrack>();
    c.name = "Pobb cut short by a top-out" + std::string(sideName(row.side));
    c.prepare = [t](SkillRun&) {
        *t = PobbTrack();
        t->topOutAfterTakes = 3;
        t->lock.wanted = true;
        t->lock.topOut = true;
    };
    c.input = [t](SkillRun& run) { return t->input(run); };
    c.eachFrame = [t](SkillRun& run) {
        if (run.caster().state == kStateToppedOut)
            t->roundEnd(run);
        else
            t->follow(run);
    };
    c.atEnd = [](SkillRun&) { ADD_FAILURE() << "the skill ended although its caster topped out"; };
    c.after = nullptr;
    return c;
}

// SkillSalk

struct SalkTrack {
    StateFrames states;
    bool cutIn = false;
    bool drawn = false;
    int switchFrame = -1;
    int rivalTakenAtSwitch = 0;
    int turnPresses = 0;   // turn presses of the rival while it was falling and locked
    int skillPresses = 0;  // skill presses of the rival while both sides were falling and it was locked
    LastLock lock;
    DrawPicker draws;

    // While it is locked the rival drops its pieces and keeps pressing the turn and skill buttons; the
    // caster's piece falls slowly, so both sides fall at the same time (the skill button needs that).
    StepInput input(SkillRun& run) {
        drawn = draws.pick(run, skillState<SkillSalk>(run));
        Player& r = run.rival();
        if (!r.rotationLocked) return run.buttons(0, kButtonDown);
        int buttons = kButtonDown;
        if (run.frame % 2 == 0) buttons |= kButtonFirst;
        if (run.frame % 6 == 0) buttons |= kButtonUp;
        if (r.state == kStateFalling) {
            if (buttons & kButtonFirst) ++turnPresses;
            if ((buttons & kButtonUp) && run.caster().state == kStateFalling) ++skillPresses;
        }
        return run.buttons(0, buttons);
    }

    void follow(SkillRun& run) {
        SkillSalk* s = run.skillAs<SkillSalk>();
        ASSERT_NE(nullptr, s);
        Player& r = run.rival();
        states.note(s->state(), run.frame);
        if (s->state() < 2) {
            EXPECT_FALSE(r.rotationLocked) << "update " << run.frame;
            return;
        }
        if (switchFrame < 0) {
            switchFrame = run.frame;
            rivalTakenAtSwitch = r.piecesTaken;
            EXPECT_TRUE(run.caster().skillRunsWhileFalling);
            EXPECT_EQ(kStateNextPiece, run.caster().state);
            EXPECT_EQ(kStateNextPiece, r.state);
        }
        EXPECT_TRUE(r.rotationLocked) << "update " << run.frame;
        EXPECT_EQ(0, r.piece->angle) << "a turn got through at update " << run.frame;
        EXPECT_NE(kStateSkillWait, r.state) << "the rival's skill button got through at update " << run.frame;
        if (s->state() == 2 && drawn) {
            EXPECT_EQ(kFaceArrowHit, r.face) << "update " << run.frame;
        }
        if (s->state() == 3) lock.arm(run);
    }

    void atEnd(SkillRun& run) {
        Player& r = run.rival();
        EXPECT_EQ(61, states.at[1]) << "the aim";
        // The arrow flies from 95 to 463 for side 0, from 387 to 67 for side 1.
        EXPECT_EQ(run.casterSide == 0 ? 61 + 47 : 61 + 41, states.at[2]) << "the arrow's flight";
        EXPECT_EQ(5, r.piecesTaken - rivalTakenAtSwitch) << "five rival pieces";
        EXPECT_GT(turnPresses, 10);
        EXPECT_GT(skillPresses, 3);
        EXPECT_FALSE(r.rotationLocked);
        EXPECT_EQ(kFaceNormal, r.face);
        lock.checkEnd(run, cutIn);
    }

    // The lock is gone: the rival turns again.
    void after(SkillRun& run) {
        if (lock.wanted) {
            lock.checkAfter(run);
            return;
        }
        Player& r = run.rival();
        // A fresh piece in open air first.
        int taken = r.piecesTaken;
        for (int f = 0; f < 300 && !(r.state == kStateFalling && r.piecesTaken > taken && r.piece->row >= 0); ++f) {
            StepInput drop = run.buttons(0, kButtonDown);
            SceneOnlyFrame(*run.game, drop.side0, drop.side1);
        }
        ASSERT_EQ(kStateFalling, r.state);
        ASSERT_EQ(0, r.piece->angle);
        StepInput turn = run.buttons(0, kButtonFirst);
        SceneOnlyFrame(*run.game, turn.side0, turn.side1);
        EXPECT_EQ(90, r.piece->angle);
    }
};

SkillCase salkCase(const RowOptions& row) {
    auto t = std::make_shared<SalkTrack>();
    SkillCase c = fioraRow("Salk locks turns and skill button", 2, row);
    c.rivalLevel = 1;
    c.prepare = [t, row](SkillRun&) {
        *t = SalkTrack();
        t->cutIn = row.cutIn;
        t->lock.wanted = row.lockFillsRow || row.lockTopsOut;
        t->lock.topOut = row.lockTopsOut;
    };
    c.input = [t](SkillRun& run) { return t->input(run); };
    c.eachFrame = [t](SkillRun& run) { t->follow(run); };
    c.atEnd = [t](SkillRun& run) { t->atEnd(run); };
    c.after = [t](SkillRun& run) { t->after(run); };
    return c;
}

// SkillQuillow

struct QuillowTrack {
    bool cutIn = false;
    bool eye = false;  // the caster's first piece clears a row
    int takenAtSwitch = -1;
    int clearedAt = -1;  // the first update after the caster's row was cleared
    Rows afterClear;     // the bottom rows once the clear has fallen
    int eyeStart = -1;   // the eye's first update
    std::vector<int> eyeAlphas;
    LastLock lock;
    DrawPicker draws;

    // The caster drops its pieces straight down (no row fills by chance). Once the row is cleared its piece
    // falls by itself, so the eye runs on while it falls.
    StepInput input(SkillRun& run) {
        draws.pick(run, skillState<SkillQuillow>(run));
        return run.buttons(clearedAt < 0 ? kButtonDown : 0, kButtonDown);
    }

    void follow(SkillRun& run) {
        SkillQuillow* s = run.skillAs<SkillQuillow>();
        ASSERT_NE(nullptr, s);
        Player& o = run.caster();
        if (run.frame == 1) takenAtSwitch = o.piecesTaken;
        EXPECT_TRUE(o.cascadeGravity) << "update " << run.frame;
        EXPECT_TRUE(o.skillRunsWhileFalling);
        if (!eye) {
            EXPECT_NE(2, s->state()) << "no row was cleared, yet the eye shows";
        } else if (s->state() == 2) {
            if (clearedAt < 0 && o.state != kStateClearing) {
                clearedAt = run.frame;
                afterClear = fieldRows(o, kFieldRows - 3);
            }
            // From its first update (165) on, the eye moves on every update while the caster falls.
            if (o.state == kStateFalling && (eyeStart >= 0 || s->eyeAlpha() != 155)) {
                if (eyeStart < 0) eyeStart = run.frame;
                eyeAlphas.push_back(s->eyeAlpha());
            }
        }
        if (s->state() == 3) lock.arm(run);
    }

    void atEnd(SkillRun& run) {
        Player& o = run.caster();
        EXPECT_FALSE(o.cascadeGravity);
        if (eye) {
            // Cell gravity: the lone block two rows up fell to the floor, not one row down with its row.
            EXPECT_EQ(Rows({"..........", "..........", "#........."}), afterClear);
            ASSERT_EQ(32u, eyeAlphas.size()) << ::testing::PrintToString(eyeAlphas);
            EXPECT_EQ(165, eyeAlphas[0]);
            EXPECT_EQ(255, eyeAlphas[9]) << "up in 10 frames";
            EXPECT_EQ(145, eyeAlphas[31]) << "down in 22";
            EXPECT_EQ(eyeStart + 33, run.frame) << "the eye, then the end";
            EXPECT_LT(o.piecesTaken - takenAtSwitch, 6);
        } else {
            EXPECT_EQ(6, o.piecesTaken - takenAtSwitch) << "the sixth piece ends it";
        }
        lock.checkEnd(run, cutIn);
    }
};

SkillCase quillowCase(const RowOptions& row, bool eye) {
    auto t = std::make_shared<QuillowTrack>();
    SkillCase c = fioraRow(eye ? "Quillow with the eye" : "Quillow without the eye", 3, row);
    if (eye) {
        // The caster's first piece (a line, below) fills the bottom row; a lone block floats two rows up.
        c.casterField = {"#.........", "..........", "###....###"};
    }
    c.prepare = [t, row, eye](SkillRun&) {
        *t = QuillowTrack();
        t->cutIn = row.cutIn;
        t->eye = eye;
        t->lock.wanted = row.lockFillsRow || row.lockTopsOut;
        t->lock.topOut = row.lockTopsOut;
        // Nobody takes a piece during the wait: the first four pieces after the switch are lines.
        for (NextPieceEntry& e : nextPieceQueue.entry) e.kind = kLine;
    };
    c.input = [t](SkillRun& run) { return t->input(run); };
    c.eachFrame = [t](SkillRun& run) { t->follow(run); };
    c.atEnd = [t](SkillRun& run) { t->atEnd(run); };
    c.after = [t](SkillRun& run) { t->lock.checkAfter(run); };
    c.drawScale = [](SkillRun& run) {
        SkillQuillow* s = run.skillAs<SkillQuillow>();
        return s ? s->brightness() : -1;
    };
    return c;
}

RowOptions row(int side, bool cutIn, bool lockFillsRow = false, bool lockTopsOut = false) {
    RowOptions r;
    r.side = side;
    r.cutIn = cutIn;
    r.lockFillsRow = lockFillsRow;
    r.lockTopsOut = lockTopsOut;
    return r;
}

// Banners and backgrounds matter only where the last update comes after a lock (the end must start their
// fades itself there); elsewhere the short wait saves time.
std::vector<SkillCase> fioraCases() {
    return {
        pobbCase(row(0, true, true, false)),
        pobbCase(row(1, false, false, true)),
        pobbCancelCase(),
        salkCase(row(0, false)),
        salkCase(row(1, true, true, false)),
        salkCase(row(0, false, false, true)),
        quillowCase(row(1, false), false),
        quillowCase(row(0, false), true),
        quillowCase(row(1, false, true, false), false),
        quillowCase(row(0, false, false, true), false),
        pobbRoundEndCase(),
    };
}

INSTANTIATE_TEST_SUITE_P(Fiora, SkillCaseTest, ::testing::ValuesIn(fioraCases()), SkillCaseName);

}  // namespace
