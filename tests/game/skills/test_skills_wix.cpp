// Wix's three skills played in the real match scene: the picture in the rival's field and the field put back,
// the freeze of both skill buttons for six of the caster's pieces (ending after a lock too), and the ghost that
// leaves a grave for the rest of the round.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "game/match/scene_game_main.h"
#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "game/skills/skill_back.h"
#include "game/skills/skills_wix.h"
#include "runtime/runtime.h"
#include "sound/sound_handle.h"
#include "tests/game/skills/skill_case.h"

namespace {

constexpr int kWix = 6;
constexpr int kSoundWix = 45;

// What a row notes before the press and compares later (rows are data; one runs at a time).
struct Notes {
    Rows rivalBefore;
    int casterPieces = 0;
    int pictureFrames = 0;
    bool wixSoundBeforeRestore = false;
    bool rivalGrave = false;
} notes;

// Whether a sound was played is read from its handle's last start time, cleared first: a short sound may have
// finished by the time a step returns, so "is it playing" would depend on the machine's speed.
void forgetPlays(SkillRun& run, int entry) {
    if (SoundData* d = GetSoundData(run.game->loader().sound(entry))) d->startTime = 0;
}
bool playedSinceForgotten(SkillRun& run, int entry) {
    const SoundData* d = GetSoundData(run.game->loader().sound(entry));
    return d != nullptr && d->startTime != 0;
}
bool wixSoundPlayed(SkillRun& run) { return playedSinceForgotten(run, kSoundWix); }
void forgetWixSound(SkillRun& run) { forgetPlays(run, kSoundWix); }

bool fieldIs(const Player& p, const int cells[kFieldRows][kFieldColumns]) {
    for (int r = 0; r < kFieldRows; ++r)
        for (int c = 0; c < kFieldColumns; ++c)
            if (p.cells[r][c] != cells[r][c]) return false;
    return true;
}

// ---- SkillBaka ----

const Rows kRivalField = {
    "..*.......",
    "#.##x#..*.",
    "##*####.##",
    "#########.",
};

void bakaPrepare(SkillRun& run) {
    notes = Notes();
    notes.rivalBefore = fieldRows(run.rival(), 0);
    forgetWixSound(run);
}

void bakaEachFrame(SkillRun& run) {
    Player& r = run.rival();
    const int f = run.frame;
    if (f == 1) {
        // Every occupied cell marked in place, nothing else touched.
        Rows marked = notes.rivalBefore;
        for (std::string& row : marked)
            for (char& ch : row)
                if (ch != '.') ch = 'x';
        EXPECT_EQ(marked, fieldRows(r, 0));
        EXPECT_EQ(0, r.clearFrames);
    } else if (f <= 18) {
        EXPECT_EQ(f - 1, r.clearFrames) << "update " << f;
        EXPECT_FALSE(fieldIs(r, SkillBaka::kPicture));
    } else if (f == 19) {
        EXPECT_EQ(0, r.clearFrames);
    }
    if (fieldIs(r, SkillBaka::kPicture)) {
        ++notes.pictureFrames;
        notes.wixSoundBeforeRestore = notes.wixSoundBeforeRestore || wixSoundPlayed(run);
    }
    if (f == 80) {
        EXPECT_EQ(notes.rivalBefore, fieldRows(r, 0)) << "restored on the picture's last update";
        EXPECT_TRUE(wixSoundPlayed(run));
    }
    EXPECT_EQ(kStateFrozen, r.state);
}

void bakaAtEnd(SkillRun& run) {
    EXPECT_EQ(61, notes.pictureFrames);
    EXPECT_FALSE(notes.wixSoundBeforeRestore);
    EXPECT_EQ(notes.rivalBefore, fieldRows(run.rival(), 0));
    EXPECT_EQ(0, run.rival().clearFrames);
    EXPECT_EQ(0, run.caster().faceFrame);
}

void bakaAfter(SkillRun& run) {
    // The chips and the marked cell are back, and stay through the end step.
    EXPECT_EQ(notes.rivalBefore, fieldRows(run.rival(), 0));
}

// ---- SkillIce ----

// Holds the piece down, left for one piece and right for the next, so six pieces never reach the top. Every
// other frame both sides press the skill button: both must be refused.
StepInput iceInput(SkillRun& run) {
    auto* ice = run.skillAs<SkillIce>();
    if (ice == nullptr || ice->state() == 2) return StepInput();  // the last update's lock is set up by hand
    Player& o = run.caster();
    int side = (o.piecesTaken % 2) ? kButtonLeft : kButtonRight;
    int up = (run.frame % 2) ? kButtonUp : 0;
    return run.buttons(kButtonDown | side | up, up);
}

void icePrepare(SkillRun& run) {
    notes = Notes();
    notes.casterPieces = run.caster().piecesTaken;
    notes.rivalGrave = run.rival().face == kFaceGrave;
    forgetWixSound(run);
}

void iceEachFrame(SkillRun& run) {
    Player& o = run.caster();
    Player& r = run.rival();
    auto* ice = run.skillAs<SkillIce>();
    ASSERT_NE(nullptr, ice);
    ASSERT_NE(kStateSkillWait, o.state) << "the caster cast again at update " << run.frame;
    ASSERT_NE(kStateSkillWait, r.state) << "the rival cast at update " << run.frame;
    EXPECT_TRUE(o.skillRunsWhileFalling);
    EXPECT_TRUE(o.skillBlocked);
    EXPECT_TRUE(r.skillBlocked);
    EXPECT_EQ(kFaceCold, o.face);
    EXPECT_EQ(notes.rivalGrave ? kFaceGrave : kFaceCold, r.face);
    EXPECT_EQ(0, o.faceFrame);
    EXPECT_EQ(0, r.faceFrame);
    if (run.frame == 1) {
        EXPECT_EQ(kStateNextPiece, o.state);
        EXPECT_EQ(kStateNextPiece, r.state);
        EXPECT_TRUE(wixSoundPlayed(run));
    }
    // Both sides keep a level, so only the block can refuse their presses.
    o.skillLevel = 3;
    r.skillLevel = 3;
    if (ice->state() == 2) {
        EXPECT_EQ(6, o.piecesTaken - notes.casterPieces) << "the sixth piece ends it";
    }
}

void iceAtEnd(SkillRun& run) {
    Player& o = run.caster();
    Player& r = run.rival();
    EXPECT_EQ(6, o.piecesTaken - notes.casterPieces);
    EXPECT_FALSE(o.skillRunsWhileFalling);
    EXPECT_FALSE(o.skillBlocked);
    EXPECT_EQ(kFaceNormal, o.face);
    if (notes.rivalGrave) {
        EXPECT_EQ(kFaceGrave, r.face);
        EXPECT_TRUE(r.skillBlocked) << "a grave stays blocked";
    } else {
        EXPECT_FALSE(r.skillBlocked);
        EXPECT_EQ(kFaceNormal, r.face);
    }
}

void graveRivalPrepare(SkillRun& run) {
    // As a SkillDead of the caster's left it earlier in the round.
    run.rival().skillBlocked = true;
    icePrepare(run);
}

// Sets up the caster's last update to come right after a lock: once the sixth piece is seen, the piece is put
// resting with its lock due, on a field where it fills the bottom row, or where it stays above the top.
void lockFillingARow(SkillRun& run) {
    iceEachFrame(run);
    auto* ice = run.skillAs<SkillIce>();
    if (ice == nullptr || ice->state() != 2) return;
    Player& o = run.caster();
    ASSERT_EQ(kStateFalling, o.state);
    setField(o, {"..........", "########.."});
    placePiece(o, 1, 0, 7, 19);  // the box, its cells at rows 20-21, columns 8-9
    o.lockSub = 360;
}

void lockToppingOut(SkillRun& run) {
    iceEachFrame(run);
    auto* ice = run.skillAs<SkillIce>();
    if (ice == nullptr || ice->state() != 2) return;
    Player& o = run.caster();
    ASSERT_EQ(kStateFalling, o.state);
    Rows full(kFieldRows, "#########.");  // no row complete
    setField(o, full);
    placePiece(o, 1, 0, -1, -3);  // the box above the top, resting on row 0
    o.lockSub = 360;
}

void rowLockAtEnd(SkillRun& run) {
    iceAtEnd(run);
    Player& o = run.caster();
    EXPECT_EQ(kStateClearing, o.state);
    EXPECT_EQ(Rows({"........##", "xxxxxxxxxx"}), fieldRows(o, 20));
    ASSERT_TRUE(o.getSkillBack());
    EXPECT_EQ(3, o.getSkillBack()->phase) << "the background fades out all the same";
    // The clear runs, then the next piece comes: the locked piece is never played on.
    int pieces = o.piecesTaken;
    for (int f = 0; f < 200 && o.state != kStateFalling; ++f) {
        run.game->step();
        ASSERT_NE(kStateSkillOverSelf, o.state);
    }
    EXPECT_EQ(kStateFalling, o.state);
    EXPECT_EQ(pieces + 1, o.piecesTaken);
    EXPECT_EQ(Rows({"..........", "........##"}), fieldRows(o, 20));
}

void topOutAtEnd(SkillRun& run) {
    iceAtEnd(run);
    Player& o = run.caster();
    EXPECT_EQ(kStateToppedOut, o.state);
    run.game->step();
    EXPECT_EQ(kStateWinner, run.rival().state) << "the top-out stands";
}

// ---- SkillDead ----

void deadEachFrame(SkillRun& run) {
    Player& r = run.rival();
    auto* dead = run.skillAs<SkillDead>();
    ASSERT_NE(nullptr, dead);
    EXPECT_EQ(r.side * 520 - 20, dead->ghostX());
    EXPECT_EQ(kFaceCold, r.face);
    EXPECT_TRUE(r.skillBlocked);
    EXPECT_EQ(kStateFrozen, r.state);
    if (run.frame == 1) {
        EXPECT_EQ(220, dead->ghostY());
        EXPECT_EQ(30, dead->ghostAlpha());
        EXPECT_TRUE(wixSoundPlayed(run));
    } else {
        EXPECT_EQ(220 - 3 * (run.frame - 1), dead->ghostY());
        EXPECT_EQ(std::min(150, 30 + 3 * (run.frame - 1)), dead->ghostAlpha());
    }
}

void deadAtEnd(SkillRun& run) {
    auto* dead = run.skillAs<SkillDead>();
    ASSERT_NE(nullptr, dead);
    EXPECT_EQ(-257, dead->ghostY());
    EXPECT_EQ(kFaceGrave, run.rival().face);
    EXPECT_TRUE(run.rival().skillBlocked);
}

// The grave can gain levels but never cast again this round.
void deadAfterRivalRefused(SkillRun& run) {
    Player& o = run.caster();
    Player& r = run.rival();
    EXPECT_EQ(kFaceGrave, r.face);
    for (int f = 0; f < 300 && (r.state != kStateFalling || o.state != kStateFalling); ++f) run.game->step();
    ASSERT_EQ(kStateFalling, r.state);
    ASSERT_EQ(kStateFalling, o.state);
    r.skillLevel = 3;
    for (int press = 0; press < 3; ++press) {
        forgetPlays(run, 16);
        StepInput in = run.buttons(0, kButtonUp);
        run.game->step(in.side0, in.side1);
        EXPECT_EQ(kStateFalling, r.state);
        EXPECT_NE(kStateFrozen, o.state);
        EXPECT_EQ(3, r.skillLevel);
        EXPECT_TRUE(playedSinceForgotten(run, 16)) << "the warning sounds";
        run.game->step();
    }
    EXPECT_EQ(kFaceGrave, r.face);
}

void graveEachFrame(SkillRun& run) {
    auto* dead = run.skillAs<SkillDead>();
    ASSERT_NE(nullptr, dead);
    EXPECT_EQ(kFaceGrave, run.rival().face);
    EXPECT_EQ(220, dead->ghostY()) << "no ghost rises from a grave";
    EXPECT_FALSE(wixSoundPlayed(run));
}

void graveAtEnd(SkillRun& run) {
    EXPECT_EQ(kFaceGrave, run.rival().face);
    EXPECT_TRUE(run.rival().skillBlocked);
}

SkillCase baka(const std::string& name, int side, bool cutIn) {
    SkillCase c;
    c.name = name;
    c.character = kWix;
    c.level = 1;
    c.side = side;
    c.rivalField = kRivalField;
    c.cutIn = cutIn;
    c.endState = kStateSkillOverBoth;
    c.frames = 1 + 18 + 61 + 1;
    c.drawEvery = 8;
    c.prepare = bakaPrepare;
    c.eachFrame = bakaEachFrame;
    c.atEnd = bakaAtEnd;
    c.after = bakaAfter;
    return c;
}

SkillCase ice(const std::string& name, int side, bool cutIn) {
    SkillCase c;
    c.name = name;
    c.character = kWix;
    c.level = 2;
    c.side = side;
    c.rivalLevel = 3;
    c.cutIn = cutIn;
    c.endState = kStateSkillOverSelf;
    c.maxFrames = 1500;
    c.drawEvery = 8;
    c.prepare = icePrepare;
    c.input = iceInput;
    c.eachFrame = iceEachFrame;
    c.atEnd = iceAtEnd;
    return c;
}

SkillCase dead(const std::string& name, int side, bool cutIn) {
    SkillCase c;
    c.name = name;
    c.character = kWix;
    c.level = 3;
    c.side = side;
    c.cutIn = cutIn;
    c.endState = kStateSkillOverBoth;
    c.frames = 1 + 159 + 1;
    c.prepare = forgetWixSound;
    c.drawEvery = 8;
    c.eachFrame = deadEachFrame;
    c.atEnd = deadAtEnd;
    return c;
}

std::vector<SkillCase> wixCases() {
    std::vector<SkillCase> cases;
    cases.push_back(baka("Baka side 0 restores chips and marked cells", 0, true));
    cases.push_back(baka("Baka side 1", 1, false));

    cases.push_back(ice("Ice side 0 blocks both buttons for six pieces", 0, false));
    // A grave rival (from an earlier SkillDead) stays blocked; and the last update comes after a lock that fills
    // a row.
    SkillCase row = ice("Ice side 1 against a grave ends after a lock that fills a row", 1, true);
    row.rivalFace = kFaceGrave;
    row.prepare = graveRivalPrepare;
    row.endsAfterLock = true;
    row.eachFrame = lockFillingARow;
    row.atEnd = rowLockAtEnd;
    cases.push_back(row);
    SkillCase top = ice("Ice ends after a lock that tops out", 0, false);
    top.endsAfterLock = true;
    top.eachFrame = lockToppingOut;
    top.atEnd = topOutAtEnd;
    cases.push_back(top);

    cases.push_back(dead("Dead side 0", 0, false));
    SkillCase refused = dead("Dead side 1 and the grave is refused", 1, true);
    refused.after = deadAfterRivalRefused;
    cases.push_back(refused);
    SkillCase again = dead("Dead against a grave ends at once", 1, false);
    again.rivalFace = kFaceGrave;
    again.prepare = [](SkillRun& run) {
        run.rival().skillBlocked = true;
        forgetWixSound(run);
    };
    again.frames = 2;
    again.eachFrame = graveEachFrame;
    again.atEnd = graveAtEnd;
    cases.push_back(again);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Wix, SkillCaseTest, ::testing::ValuesIn(wixCases()), SkillCaseName);

}  // namespace
