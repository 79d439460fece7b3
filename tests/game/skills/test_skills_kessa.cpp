// Kessa's skills played in the real match scene: the aimed band clear at its column limits, the level take-over
// against an empty and a full rival level, and the attack barrier with its five-piece run and the ends that meet
// a lock in the same frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "game/game_test_util.h"
#include "game/match/block.h"
#include "game/match/scene_game_main.h"
#include "game/shell/input_poll.h"
#include "game/skills/skill_back.h"
#include "game/skills/skill_name.h"
#include "game/skills/skills_kessa.h"
#include "tests/game/skills/skill_case.h"

namespace {

// Rows draw every fourth frame; the checks of what is on the screen look at drawn frames.
constexpr int kDrawEvery = 4;

int drawnFrameFrom(int f) { return (f + kDrawEvery - 1) / kDrawEvery * kDrawEvery; }

// Orrant.

// The caster's field for a band at `column`: the band's three columns filled to the top row with blocks, chips
// and gaps, the other columns a low stack with chips of its own that must stay as it is.
Rows bandField(int column) {
    Rows rows;
    for (int r = 0; r < kFieldRows; ++r) {
        std::string row(kFieldColumns, '.');
        for (int c = 0; c < kFieldColumns; ++c) {
            const bool band = c >= column && c < column + 3;
            if (band)
                row[c] = ".#*"[(r + c) % 3];
            else if (r >= 16)
                row[c] = (r * 7 + c) % 5 == 0 ? '*' : (r + c) % 3 == 0 ? '.' : '#';
        }
        rows.push_back(row);
    }
    return rows;
}

// The band's blocks and chips as `to` ('x' marked, '.' gone); the rest as it was.
Rows bandAs(const Rows& rows, int column, char to) {
    Rows out = rows;
    for (std::string& row : out)
        for (int c = column; c < column + 3; ++c)
            if (row[c] != '.') row[c] = to;
    return out;
}

struct OrrantScript {
    std::string name;
    int side;
    std::vector<int> aim;  // presses on updates 1, 3, 5, ...
    int confirmAt;         // the update whose new press of the first button confirms
    int column;            // where the aim must end
    bool cutIn;
    int casterFace;        // 13 checks that the grave figure is kept
};

// Which state the skill is in after update f when the caster confirmed on update k.
int orrantStateAfter(int f, int k) {
    if (f < k) return 0;
    if (f < k + 100) return 1;  // travel: a degree a frame
    if (f < k + 125) return 2;  // the pillar grows 4 pixels a frame to 96
    if (f < k + 126) return 3;
    if (f < k + 144) return 4;  // 18 frames of marked cells
    if (f < k + 245) return 5;  // the pillar fades 2 a frame from 200
    return 6;
}

SkillCase orrantCase(const OrrantScript& script) {
    SkillCase c;
    c.drawEvery = kDrawEvery;
    c.name = script.name;
    c.character = 0;
    c.level = 1;
    c.side = script.side;
    c.cutIn = script.cutIn;
    c.casterField = bandField(script.column);
    c.frames = script.confirmAt + 246;
    const int k = script.confirmAt;
    c.prepare = [script](SkillRun& run) {
        run.caster().pendingGarbage = 3;
        run.caster().face = script.casterFace;
    };
    c.input = [script](SkillRun& run) {
        const int f = run.frame;
        int buttons = 0;
        if (f % 2 == 1 && (f - 1) / 2 < static_cast<int>(script.aim.size())) buttons = script.aim[(f - 1) / 2];
        if (f == script.confirmAt) buttons = kButtonFirst;
        return run.buttons(buttons);
    };
    c.eachFrame = [script, k](SkillRun& run) {
        const int f = run.frame;
        const SkillOrrant* s = run.skillAs<SkillOrrant>();
        ASSERT_NE(nullptr, s);
        Player& o = run.caster();
        ASSERT_EQ(orrantStateAfter(f, k), s->state) << "update " << f;
        if (f < k) {
            // The aim follows each new press and stops at the edges.
            int column = 4;
            for (int i = 0; i < static_cast<int>(script.aim.size()) && 2 * i + 1 <= f; ++i) {
                if (script.aim[i] == kButtonLeft && column > 0) --column;
                if (script.aim[i] == kButtonRight && column < 7) ++column;
            }
            EXPECT_EQ(column, s->column) << "update " << f;
            EXPECT_EQ(script.casterFace == kFaceGrave ? kFaceGrave : kFaceSkill, o.face);
        } else {
            EXPECT_EQ(script.column, s->column);
            // The skill's figure hides the caster's from its first draw after the confirmation on.
            if (script.casterFace == kFaceGrave) {
                EXPECT_EQ(kFaceGrave, o.face);
            } else if (f % kDrawEvery == 0) {
                EXPECT_EQ(kFaceHidden, o.face) << "update " << f;
            } else {
                EXPECT_TRUE(o.face == kFaceHidden || (o.face == kFaceSkill && f < k + kDrawEvery)) << o.face;
            }
        }
        if (f == k + 100) {
            // The figure has come to rest over the band's centre.
            EXPECT_NEAR(script.side * 240 + script.column * 18 + 137, s->x, 0.5);
            EXPECT_NEAR(324, s->y, 0.5);
        }
        const Rows field = bandField(script.column);
        if (f < k + 126) {
            EXPECT_EQ(field, fieldRows(o, 0)) << "update " << f;
            EXPECT_EQ(3, o.pendingGarbage);
        } else if (f < k + 144) {
            EXPECT_EQ(bandAs(field, script.column, 'x'), fieldRows(o, 0)) << "update " << f;
            EXPECT_EQ(f - (k + 126), o.clearFrames);
            EXPECT_EQ(3, o.pendingGarbage);
        } else {
            // Gone in all 22 rows, nothing fallen into the band, no level from the chips, no garbage left.
            EXPECT_EQ(bandAs(field, script.column, '.'), fieldRows(o, 0)) << "update " << f;
            EXPECT_EQ(0, o.clearFrames);
            EXPECT_EQ(0, o.pendingGarbage);
            EXPECT_EQ(0, o.skillLevel);
        }
    };
    c.after = [script](SkillRun& run) {
        EXPECT_EQ(bandAs(bandField(script.column), script.column, '.'), fieldRows(run.caster(), 0));
        EXPECT_EQ(0, run.caster().pendingGarbage);
        EXPECT_EQ(0, run.caster().faceFrame);
    };
    return c;
}

// Saisen.

// Updates spent in the coin state: the first coin falls 55 frames and pays a level a frame; the state ends
// when the last of the coins has arrived (the second 15 frames later, the third 30).
int coinFrames(int coins) {
    static const int kFrames[] = {1, 56, 71, 86};
    return kFrames[coins];
}

int saisenStateAfter(int f, int coins) {
    const int s2 = coinFrames(coins);
    if (f < 81) return 0;
    if (f < 182) return 1;
    if (f < 182 + s2) return 2;
    if (f < 263 + s2) return 3;
    if (f < 364 + s2) return 4;
    return 5;
}

// True when the back-screen pixel at the picture's sample point, the picture drawn with its top left at (x, y),
// shows the picture's own colour.
::testing::AssertionResult showsPicture(GameStepper& game, int entry, int x, int y) {
    const PictureRow* row = FindPictureRowForEntry(entry);
    if (row == nullptr) return ::testing::AssertionFailure() << "no picture row for entry " << entry;
    int sx = 0, sy = 0;
    PictureSamplePoint(*row, &sx, &sy);
    const uint32_t want = PictureCellColour(*row, 0);
    const uint32_t got = game.pixel(x + sx, y + sy);
    if (NearColour(got, want, 8)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x + sx << ", " << y + sy << ") is " << std::hex << got
                                         << ", entry " << std::dec << entry << " is " << std::hex << want;
}

SkillCase saisenCase(const std::string& name, int side, int rivalLevel, int rivalFace, bool cutIn) {
    SkillCase c;
    c.drawEvery = kDrawEvery;
    c.name = name;
    c.character = 0;
    c.level = 2;
    c.side = side;
    c.cutIn = cutIn;
    c.rivalLevel = rivalLevel;
    c.rivalFace = rivalFace;
    c.frames = 365 + coinFrames(rivalLevel);
    c.eachFrame = [=](SkillRun& run) {
        const int f = run.frame;
        const SkillSaisen* s = run.skillAs<SkillSaisen>();
        ASSERT_NE(nullptr, s);
        Player& o = run.caster();
        Player& r = run.rival();
        const int state = saisenStateAfter(f, rivalLevel);
        ASSERT_EQ(state, s->state) << "update " << f;
        EXPECT_EQ(kFaceHidden, o.face) << "update " << f;
        // The rival's levels are taken on the first coin update and paid in one a frame once the first coin
        // has landed (update 238).
        EXPECT_EQ(f < 183 ? rivalLevel : 0, r.skillLevel) << "update " << f;
        const int paid = f < 238 ? 0 : std::min(rivalLevel, f - 237);
        EXPECT_EQ(paid, o.skillLevel) << "update " << f;
        EXPECT_EQ(f < 182 ? 1 : rivalLevel > 0 ? 0 : 2, s->figureFrame) << "update " << f;
        // From the first update of the walk back, the rival shows its lose figure (the grave stays).
        const bool walkingBack = f >= 264 + coinFrames(rivalLevel);
        const int rivalFaceNow = walkingBack && rivalFace != kFaceGrave ? kFaceLose : rivalFace;
        EXPECT_EQ(rivalFaceNow, r.face) << "update " << f;
        if (f == drawnFrameFrom(182 + coinFrames(rivalLevel) + 40)) {
            const int sign = rivalLevel > 0 ? 332 : 333;
            EXPECT_TRUE(showsPicture(*run.game, sign, 350 - side * 240, 56));
        }
    };
    c.atEnd = [=](SkillRun& run) {
        EXPECT_EQ(rivalLevel, run.caster().skillLevel);
        EXPECT_EQ(0, run.rival().skillLevel);
        EXPECT_EQ(kFaceNormal, run.caster().face);
        EXPECT_EQ(rivalFace == kFaceGrave ? kFaceGrave : kFaceNormal, run.rival().face);
    };
    return c;
}

// Dorvel.

enum class DorvelEnd { kFalling, kLockFillsRow, kLockTopsOut };

// What a Dorvel row notes as it goes.
struct DorvelTrack {
    int switchAt = -1;
    int piecesAtSwitch = 0;
    int fadeAt = -1;
    int lastState = 0;
    bool linePlaced = false;
    bool rivalCleared = false;
    int piecesBeforeEnd = 0;
};

// The rival's field under the barrier: four rows waiting for a vertical line in column 9 under a row with gaps.
const Rows kRivalField = {"#.#.#.#.#.", "#########.", "#########.", "#########.", "#########."};

SkillCase dorvelCase(const std::string& name, int side, bool cutIn, DorvelEnd end) {
    SkillCase c;
    c.drawEvery = kDrawEvery;
    c.name = name;
    c.character = 0;
    c.level = 3;
    c.side = side;
    c.cutIn = cutIn;
    c.endState = kStateSkillOverSelf;
    c.endsAfterLock = end != DorvelEnd::kFalling;
    c.rivalField = kRivalField;
    auto track = std::make_shared<DorvelTrack>();
    c.prepare = [track](SkillRun&) { *track = DorvelTrack(); };
    c.drawScale = [](SkillRun& run) {
        const SkillDorvel* s = run.skillAs<SkillDorvel>();
        return s ? s->brightness() : -1;
    };
    // The rival drops its pieces while the barrier stands, so that five go by quickly; the caster's first
    // piece falls slowly and keeps the caster falling, so the skill is updated every frame of its run.
    c.input = [](SkillRun& run) {
        const SkillDorvel* s = run.skillAs<SkillDorvel>();
        return run.buttons(0, s && s->state == 3 ? kButtonDown : 0);
    };
    c.eachFrame = [=](SkillRun& run) {
        const int f = run.frame;
        const SkillDorvel* s = run.skillAs<SkillDorvel>();
        ASSERT_NE(nullptr, s);
        Player& o = run.caster();
        Player& r = run.rival();
        // Darken to 149 (54 updates), barrier in (51), brighten to 255 and switch (107).
        if (f < 54) {
            EXPECT_EQ(0, s->state) << "update " << f;
            EXPECT_EQ(255 - 2 * f, s->brightness());
        } else if (f < 105) {
            EXPECT_EQ(1, s->state) << "update " << f;
            EXPECT_EQ(149, s->brightness());
        } else if (f < 212) {
            EXPECT_EQ(2, s->state) << "update " << f;
            EXPECT_EQ(255, s->alpha);
            EXPECT_EQ(149 + f - 105, s->brightness());
        }
        static_assert(212 % kDrawEvery == 0, "the switch frame is drawn");
        if (f == 212) {
            EXPECT_EQ(3, s->state);
            EXPECT_EQ(kStateNextPiece, o.state);
            EXPECT_EQ(kStateNextPiece, r.state);
            track->switchAt = f;
            track->piecesAtSwitch = r.piecesTaken;
            // The barrier stands over the rival's field (additive at full strength).
            const PictureRow* row = FindPictureRowForEntry(334);
            ASSERT_NE(nullptr, row);
            int sx = 0, sy = 0;
            PictureSamplePoint(*row, &sx, &sy);
            const uint32_t want = PictureCellColour(*row, 0);
            const uint32_t got = run.game->pixel(r.side * 240 + 200 - row->width / 2 + sx, 263 - row->height / 2 + sy);
            for (int shift = 0; shift <= 16; shift += 8)
                EXPECT_GE(static_cast<int>((got >> shift) & 0xFF) + 8, static_cast<int>((want >> shift) & 0xFF))
                    << std::hex << got << " under the barrier " << want;
        }
        // The flags stand exactly from the switch to the end.
        EXPECT_EQ(s->state >= 3, o.skillRunsWhileFalling) << "update " << f;
        EXPECT_EQ(s->state >= 3, r.noAttack) << "update " << f;
        EXPECT_FALSE(o.noAttack);
        // Nothing the rival clears reaches the caster.
        EXPECT_EQ(0, o.pendingGarbage) << "update " << f;
        EXPECT_EQ(0, run.scene->garbageFor(o.side)) << "update " << f;

        if (s->state == 3 && !track->linePlaced && r.state == kStateFalling) {
            // The rival's first piece under the barrier fills four rows at once.
            track->linePlaced = true;
            placePiece(r, 0, 90, 8, 18);
            r.lockSub = 360;
        }
        if (track->linePlaced && !track->rivalCleared && r.state != kStateClearing &&
            r.cells[21][0] == kCellEmpty) {
            // Emptied and left empty: nothing above them fell.
            track->rivalCleared = true;
            EXPECT_EQ(Rows({"#.#.#.#.#.", "..........", "..........", "..........", ".........."}),
                      fieldRows(r, 17));
        }

        if (s->state == 4 && track->fadeAt < 0) {
            // The rival's fifth piece since the switch ends the barrier; a caster on side 0 sees it a frame
            // later, as it is stepped before the rival.
            track->fadeAt = f;
            EXPECT_EQ(track->piecesAtSwitch + 5, r.piecesTaken);
            EXPECT_TRUE(track->rivalCleared);
        }
        if (track->fadeAt < 0 && track->switchAt >= 0) {
            EXPECT_EQ(3, s->state);
            EXPECT_LT(r.piecesTaken - track->piecesAtSwitch, side == 0 ? 6 : 5) << "update " << f;
        }
        if (track->fadeAt >= 0) {
            // The fade runs every frame only while the caster falls; the rows below rely on it.
            ASSERT_EQ(kStateFalling, o.state) << "update " << f;
            EXPECT_EQ(f - track->fadeAt < 52 ? 4 : 5, s->state) << "update " << f;
            EXPECT_EQ(std::max(0, 255 - 5 * (f - track->fadeAt)), s->alpha);
        }
        if (s->state == 5 && track->lastState != 5) {
            // Set up the lock that the last update will follow.
            track->piecesBeforeEnd = o.piecesTaken;
            if (end == DorvelEnd::kLockFillsRow) {
                setField(o, {"####....##"});
                placePiece(o, 0, 0, 4, 19);
                o.lockSub = 360;
            } else if (end == DorvelEnd::kLockTopsOut) {
                setField(o, Rows(kFieldRows, "#########."));
                placePiece(o, 0, 0, 3, -3);
                o.lockSub = 360;
            }
        }
        track->lastState = s->state;
    };
    c.atEnd = [=](SkillRun& run) {
        Player& o = run.caster();
        EXPECT_EQ(track->fadeAt + 53, run.frame);
        EXPECT_FALSE(o.skillRunsWhileFalling);
        EXPECT_FALSE(run.rival().noAttack);
        if (end == DorvelEnd::kLockFillsRow) {
            EXPECT_EQ(kStateClearing, o.state);
        } else if (end == DorvelEnd::kLockTopsOut) {
            EXPECT_EQ(kStateToppedOut, o.state);
        }
        if (end != DorvelEnd::kFalling) {
            // The decor fades from this frame; no end step follows.
            if (cutIn) {
                ASSERT_TRUE(SkillName::current());
                EXPECT_EQ(3, SkillName::current()->phase);
            }
            ASSERT_TRUE(o.getSkillBack());
            EXPECT_EQ(cutIn ? 3 : 0, o.getSkillBack()->phase);
        }
    };
    c.after = [=](SkillRun& run) {
        Player& o = run.caster();
        Player& r = run.rival();
        if (end == DorvelEnd::kLockFillsRow) {
            // The row clears as any other (the barrier was the rival's, so it is sent), and the caster goes on
            // with a new piece from the queue, not the one it has just locked.
            for (int i = 0; i < 200 && o.state != kStateFalling; ++i) run.game->step();
            EXPECT_EQ(kStateFalling, o.state);
            EXPECT_EQ(track->piecesBeforeEnd + 1, o.piecesTaken);
            EXPECT_EQ(Rows({".........."}), fieldRows(o, 21));
            EXPECT_EQ(1, r.pendingGarbage);
            EXPECT_LT(o.piece->row, 0);
        } else if (end == DorvelEnd::kLockTopsOut) {
            run.game->step();
            EXPECT_EQ(kStateWinner, r.state);
        }
    };
    return c;
}

// Rows of one caster side follow each other, so the match's resources stay loaded between them.
const SkillCase kKessaCases[] = {
    // Orrant at both edges on both sides; the extra presses past an edge change nothing.
    orrantCase({"Orrant side 0 to column 0", 0,
                {kButtonLeft, kButtonLeft, kButtonLeft, kButtonLeft, kButtonLeft, kButtonLeft}, 13, 0, true,
                kFaceNormal}),
    orrantCase({"Orrant side 0 to column 7 keeps the grave", 0,
                {kButtonRight, kButtonRight, kButtonRight, kButtonRight}, 9, 7, false, kFaceGrave}),
    saisenCase("Saisen side 0 takes level 3", 0, 3, kFaceNormal, true),
    dorvelCase("Dorvel side 0", 0, false, DorvelEnd::kFalling),
    dorvelCase("Dorvel side 0 ends on a lock that tops out", 0, false, DorvelEnd::kLockTopsOut),

    orrantCase({"Orrant side 1 to column 7", 1,
                {kButtonRight, kButtonRight, kButtonRight, kButtonRight, kButtonRight}, 11, 7, false, kFaceNormal}),
    // Right, then back left to the edge, confirmed only after a long wait: the aim has no time limit.
    orrantCase({"Orrant side 1 to column 0 after a long aim", 1,
                {kButtonRight, kButtonLeft, kButtonLeft, kButtonLeft, kButtonLeft, kButtonLeft, kButtonLeft},
                121, 0, false, kFaceNormal}),
    saisenCase("Saisen side 1 misses level 0 of a grave", 1, 0, kFaceGrave, false),
    dorvelCase("Dorvel side 1 ends on a lock that fills a row", 1, true, DorvelEnd::kLockFillsRow),
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Kessa, SkillCaseTest, ::testing::ValuesIn(kKessaCases), SkillCaseName);
