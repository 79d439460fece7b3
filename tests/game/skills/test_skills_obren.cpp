// Obren's skills played in the match: Telvix marks and removes the top four rows of the caster's stack, Ossive
// drops the loose blocks and splits the field outward, Doubles doubles the caster's garbage over six pieces and
// ends cleanly on a lock that clears a row or tops out.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "game/match/scene_game_main.h"
#include "game/shell/input_poll.h"
#include "game/skills/skill_back.h"
#include "game/skills/skill_name.h"
#include "game/skills/skills_obren.h"
#include "runtime/runtime.h"
#include "tests/game/skills/skill_case.h"

namespace {

constexpr int kObren = 4;
constexpr int kBoxKind = 1;  // its cells are the grid's rows 1-2, columns 1-2

// The whole field: the fixture's bottom rows under empty ones.
Rows wholeField(const Rows& bottom) {
    Rows rows(kFieldRows - bottom.size(), "..........");
    rows.insert(rows.end(), bottom.begin(), bottom.end());
    return rows;
}

// SkillTelvix: darkens for 32 updates, slashes for 20 (the marking at update 52), counts the caster's
// clearFrames for 19 (the cells go at update 71), brightens for 32 and ends through the common end at 104.
SkillCase telvixCase(const std::string& name, int side, bool cutIn, const Rows& field, const Rows& marked,
                     const Rows& after, int topRow, int slashY) {
    SkillCase c;
    c.name = name;
    c.character = kObren;
    c.level = 1;
    c.side = side;
    c.cutIn = cutIn;
    c.casterField = field;
    c.rivalField = {"#########."};
    c.frames = 104;
    c.prepare = [](SkillRun& run) { run.rival().faceFrame = 1; };
    c.drawScale = [](SkillRun& run) { return run.skillAs<SkillTelvix>()->brightness(); };
    c.eachFrame = [=](SkillRun& run) {
        const int f = run.frame;
        SkillTelvix* s = run.skillAs<SkillTelvix>();
        ASSERT_NE(nullptr, s);
        Player& o = run.caster();
        SCOPED_TRACE("update " + std::to_string(f));
        if (f == 1) {
            EXPECT_EQ(topRow, s->topRow());
            EXPECT_EQ(slashY, s->slashY());
            EXPECT_EQ(0, run.rival().faceFrame);
        }
        EXPECT_EQ(kFaceHidden, o.face);
        const int state = f < 32 ? 0 : f < 52 ? 1 : f < 71 ? 2 : f < 103 ? 3 : 4;
        EXPECT_EQ(state, s->state());
        if (f < 52) {
            EXPECT_EQ(wholeField(field), fieldRows(o, 0));
        } else if (f < 71) {
            EXPECT_EQ(wholeField(marked), fieldRows(o, 0));
            EXPECT_EQ(f - 52, o.clearFrames);
        } else {
            EXPECT_EQ(wholeField(after), fieldRows(o, 0));
            EXPECT_EQ(0, o.clearFrames);
        }
    };
    c.after = [=](SkillRun& run) { EXPECT_EQ(wholeField(after), fieldRows(run.caster(), 0)); };
    return c;
}

const Rows kTelvixStack = {
    "....#.....",  // row 10, the top
    "...##*....", "#..###..#.", "##*##.####",
    "#####.####",  // row 14, kept
    "#*###.####", "#####.####", "#####.####", "####*.####", "#########.", "##.#######", "#.########",
};
const Rows kTelvixMarked = {
    "....x.....", "...xxx....", "x..xxx..x.", "xxxxx.xxxx", "#####.####", "#*###.####",
    "#####.####", "#####.####", "####*.####", "#########.", "##.#######", "#.########",
};
const Rows kTelvixAfter = {
    "#####.####", "#*###.####", "#####.####", "#####.####", "####*.####", "#########.", "##.#######", "#.########",
};

// SkillOssive: darkens for 32 updates; the slash falls 18 pixels an update from update 33 and rests at 452 from
// update 72; once its trail has caught up (update 91) the field is cut; the cut image fades to update 115, state
// 3 comes at 116 and the end at 117.
SkillCase ossiveCase(const std::string& name, int side, bool cutIn, const Rows& field, const Rows& after) {
    SkillCase c;
    c.name = name;
    c.character = kObren;
    c.level = 2;
    c.side = side;
    c.cutIn = cutIn;
    c.casterField = field;
    c.rivalField = {"##.#######"};
    c.frames = 117;
    c.drawScale = [](SkillRun& run) { return run.skillAs<SkillOssive>()->brightness(); };
    c.eachFrame = [=](SkillRun& run) {
        const int f = run.frame;
        SkillOssive* s = run.skillAs<SkillOssive>();
        ASSERT_NE(nullptr, s);
        Player& o = run.caster();
        SCOPED_TRACE("update " + std::to_string(f));
        EXPECT_EQ(kFaceHidden, o.face);
        const int state = f < 32 ? 0 : f < 91 ? 1 : f < 116 ? 2 : 3;
        EXPECT_EQ(state, s->state());
        EXPECT_EQ(f < 33 ? SkillOssive::kSlashStart : std::min(SkillOssive::kSlashStart + 18 * (f - 32), 452),
                  s->slashY());
        if (f >= 91) {
            EXPECT_EQ(200 - 5 * (std::min(f, 115) - 91), s->alpha());
        }
        EXPECT_EQ(wholeField(f < 91 ? field : after), fieldRows(o, 0));
    };
    c.after = [=](SkillRun& run) { EXPECT_EQ(wholeField(after), fieldRows(run.caster(), 0)); };
    return c;
}

// Loose blocks over holes in every column; in column 6 a block falls onto a chip, and the chip stays over the
// gap that the block under it leaves; chips in a lost column (0) and a kept one (5).
const Rows kOssiveField = {
    "#.....#..#", ".#.#......", "..#...*...", "*.....#.#.", "...#......", "#.#.#.##.#", "##..#*#..#",
};
// After the gravity the columns read (bottom up) 0: ##*, 1: ##, 2: ###, 3: ##, 4: ###, 5: *, 6: ###*#, 7: #,
// 8: #, 9: ###; columns 2-4 move to 0-2, 5-7 to 7-9.
const Rows kOssiveAfter = {
    "..........", "........#.", "........*.", "..........", "........#.", "###.....#.", "###....*##",
};

// SkillDoubles: darkens for 32 updates (doubleAttack from update 32), the figure slides in over 11, the screen
// brightens over 32, and at update 75 both sides go to the next piece; the skill ends two updates after the
// caster's sixth piece since then is taken.
// Doubles draws nothing while its caster plays: past the first frames of that run the scene is not drawn, which
// spares most of a row's time; the drawing is back for the skill's last update.
// Nor does it draw while it darkens: the colour scale stays as the scene left it (the rows leave a grey the skill
// never uses) until the figure comes, and from then on it is the skill's brightness.
constexpr int kSceneScale = 180;

int doublesScale(SkillRun& run) {
    const SkillDoubles* s = run.skillAs<SkillDoubles>();
    return s->state() == 0 ? kSceneScale : s->brightness();
}

void playFallingRunUndrawn(SkillRun& run, const SkillDoubles& s) {
    run.scene->setDrawingEnabledForTesting(s.state() != 3 || run.frame < 80);
}

struct DoublesRun {
    int piecesAtSwitch = -1;
    int sixthTakenAt = -1;
    int rivalPending = 0;
    std::vector<int> sent;  // the rows the rival was given, as they arrived
    bool placed = false;
};

SkillCase doublesCase(const std::string& name, int side, bool cutIn) {
    SkillCase c;
    c.name = name;
    c.character = kObren;
    c.level = 3;
    c.side = side;
    c.cutIn = cutIn;
    c.endState = kStateSkillOverSelf;
    c.drawScale = doublesScale;
    // Every piece is dropped.
    c.input = [](SkillRun& run) { return run.buttons(kButtonDown); };
    auto d = std::make_shared<DoublesRun>();
    c.eachFrame = [d, side](SkillRun& run) {
        const int f = run.frame;
        SkillDoubles* s = run.skillAs<SkillDoubles>();
        ASSERT_NE(nullptr, s);
        playFallingRunUndrawn(run, *s);
        Player& o = run.caster();
        SCOPED_TRACE("update " + std::to_string(f));
        EXPECT_EQ(f >= 32, o.doubleAttack);
        EXPECT_EQ(f >= 75, o.skillRunsWhileFalling);
        if (f < 75) {
            EXPECT_EQ(kFaceOwnPose, o.face);
            EXPECT_EQ(f < 32 ? 0 : f < 43 ? 1 : 2, s->state());
        }
        if (f == 43) {
            EXPECT_EQ(side == 1 ? 530 : -50, s->figureX());
            EXPECT_EQ(200, s->alpha());
        }
        if (f == 75) {
            EXPECT_EQ(kStateNextPiece, o.state);
            EXPECT_EQ(kStateNextPiece, run.rival().state);
            d->piecesAtSwitch = o.piecesTaken;
            d->rivalPending = run.rival().pendingGarbage;
        }
        if (d->piecesAtSwitch < 0) return;
        const int taken = o.piecesTaken - d->piecesAtSwitch;
        // The first piece fills the two-row gap: two rows, less the one pending, leave one row to send.
        if (taken == 1 && o.state == kStateFalling && !d->placed) {
            placePiece(o, kBoxKind, 0, 7, 19);
            d->placed = true;
        }
        if (taken == 6 && d->sixthTakenAt < 0) d->sixthTakenAt = f;
        const int pending = run.rival().pendingGarbage;
        if (pending > d->rivalPending) d->sent.push_back(pending - d->rivalPending);
        d->rivalPending = pending;
    };
    c.casterField = {"########..", "########.."};
    c.prepare = [d](SkillRun& run) {
        *d = DoublesRun();
        run.caster().pendingGarbage = 1;
        SetDrawColorScale(kSceneScale, kSceneScale, kSceneScale);
    };
    c.atEnd = [d](SkillRun& run) {
        Player& o = run.caster();
        EXPECT_EQ(6, o.piecesTaken - d->piecesAtSwitch);
        EXPECT_EQ(d->sixthTakenAt + 2, run.frame);
        EXPECT_FALSE(o.doubleAttack);
        EXPECT_EQ(0, o.pendingGarbage);
        EXPECT_EQ(std::vector<int>({2}), d->sent) << "one row sent after cancelling, doubled";
    };
    return c;
}

// The last update of Doubles comes in the same frame as a lock: the piece is put in place, due to lock, right
// after the update that found the sixth piece.
SkillCase doublesLockCase(const std::string& name, int side, const Rows& field, int column, int row) {
    SkillCase c;
    c.name = name;
    c.character = kObren;
    c.level = 3;
    c.side = side;
    c.endsAfterLock = true;
    c.input = [](SkillRun& run) { return run.buttons(kButtonDown); };
    auto placed = std::make_shared<bool>(false);
    c.prepare = [placed](SkillRun&) {
        *placed = false;
        SetDrawColorScale(kSceneScale, kSceneScale, kSceneScale);
    };
    c.eachFrame = [=](SkillRun& run) {
        SkillDoubles* s = run.skillAs<SkillDoubles>();
        ASSERT_NE(nullptr, s);
        playFallingRunUndrawn(run, *s);
        if (s->state() != 4 || *placed) return;
        ASSERT_EQ(kStateFalling, run.caster().state);
        setField(run.caster(), field);
        placePiece(run.caster(), kBoxKind, 0, column, row);
        run.caster().lockSub = 360;
        *placed = true;
    };
    c.drawScale = doublesScale;
    return c;
}

std::vector<SkillCase> obrenCases() {
    // A lock that fills the bottom row: the caster stays clearing, then sends the row undoubled and plays on
    // with the piece where it locked.
    SkillCase fill = doublesLockCase("Doubles ends on a lock that fills a row", 1, {"########.."}, 7, 19);
    fill.atEnd = [](SkillRun& run) {
        Player& o = run.caster();
        EXPECT_EQ(kStateClearing, o.state);
        EXPECT_FALSE(o.doubleAttack);
        EXPECT_EQ(Rows({"........##", "xxxxxxxxxx"}), fieldRows(o, 20));
        ASSERT_TRUE(o.getSkillBack());
        EXPECT_EQ(3, o.getSkillBack()->phase) << "the background fades";
        ASSERT_TRUE(SkillName::current());
        EXPECT_EQ(3, SkillName::current()->phase) << "the banner fades";
    };
    fill.after = [](SkillRun& run) {
        Player& o = run.caster();
        const int pending = run.rival().pendingGarbage;
        for (int f = 0; f < 100 && o.state == kStateClearing; ++f) run.game->step();
        run.game->step();  // rows sent reach the rival a frame later
        EXPECT_EQ(pending + 1, run.rival().pendingGarbage);
        EXPECT_EQ(Rows({"..........", "........##"}), fieldRows(o, 20));
        for (int f = 0; f < 100 && o.state != kStateFalling; ++f) run.game->step();
        EXPECT_EQ(kStateFalling, o.state);
        EXPECT_LT(o.piece->row, 0) << "a new piece";
    };

    // A lock that tops out: the caster keeps state 11 and the rival wins the round.
    SkillCase topOut =
        doublesLockCase("Doubles ends on a lock that tops out", 0, Rows(kFieldRows, "#########."), 3, -3);
    topOut.atEnd = [](SkillRun& run) {
        EXPECT_EQ(kStateToppedOut, run.caster().state);
        ASSERT_TRUE(run.caster().getSkillBack());
        EXPECT_EQ(3, run.caster().getSkillBack()->phase);
    };
    topOut.after = [](SkillRun& run) {
        run.game->step();
        EXPECT_EQ(kStateWinner, run.rival().state);
    };

    // Rows of one caster side follow each other: the runner keeps the battle group loaded between them.
    std::vector<SkillCase> cases = {
        telvixCase("Telvix side 1", 1, true, kTelvixStack, kTelvixMarked, kTelvixAfter, 10, 236),
        // Two rows of stack: only they go; the slash stays at its lowest place.
        telvixCase("Telvix top row 20", 1, true, {"#.*.......", "####.#####"}, {"x.x.......", "xxxx.xxxxx"}, {}, 20,
                   292),
        ossiveCase("Ossive side 1", 1, true, kOssiveField, kOssiveAfter),
        doublesCase("Doubles side 1", 1, true),
        fill,
        telvixCase("Telvix side 0", 0, false, kTelvixStack, kTelvixMarked, kTelvixAfter, 10, 236),
        ossiveCase("Ossive side 0", 0, false, kOssiveField, kOssiveAfter),
        doublesCase("Doubles side 0", 0, false),
        topOut,
    };
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Obren, SkillCaseTest, ::testing::ValuesIn(obrenCases()), SkillCaseName);

}  // namespace
