// The rules engine on small fixtures: walls and floor, the part-way rule, turns, held moves and the lock
// counter; clears, cancellation, gravity and rising garbage; topping out.
#include <gtest/gtest.h>

#include "game/match/match_fixture.h"
#include "game/match/next_piece_queue.h"
#include "game/shell/input_poll.h"
#include "game/shell/options.h"
#include "runtime/runtime.h"

namespace {

constexpr int kLine = 0, kBox = 1, kLineChip = 7;

class RulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        RandomSetSeed(77);
        resetOptionValues();
        clearInputs();
        forcedNextKind = kNoPieceKind;
        resetNextQueue();
        pair = makePair();
        p0 = pair.side0.get();
    }
    void TearDown() override { clearInputs(); }

    // One frame of side 0 with the given buttons held (and new presses where they were up before).
    int frame(int buttons = 0) {
        setInputs(buttons, 0);
        return rules.process(*p0);
    }

    PlayerPair pair;
    Player* p0 = nullptr;
    RecordingProcesser rules;
};

TEST_F(RulesTest, PiecesCollideWithTheWallsAndFloorButNeverAboveTheTop) {
    struct Case {
        int kind, angle, column, row;
        bool collides;
    } cases[] = {
        {kLine, 0, 0, 19, false},   {kLine, 0, -1, 19, true},   // row 21, columns 0-3 / -1..2
        {kLine, 0, 6, 19, false},   {kLine, 0, 7, 19, true},    // columns 6-9 / 7-10
        {kLine, 0, 3, 20, true},                                // row 22
        {kLine, 0, 3, -10, false},  {kLine, 0, -1, -10, true},  // far above the top, inside / past the wall
        {kLine, 90, -1, 18, false}, {kLine, 90, -2, 18, true},  // upright in grid column 1
        {kLine, 90, 3, -4, false},  {kBox, 0, 3, 19, false},    {kBox, 0, 3, 20, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.collides, PlayerProcesser::collides(*p0, c.kind, c.angle, c.column, c.row))
            << "kind " << c.kind << " angle " << c.angle << " at " << c.column << "," << c.row;
    setField(*p0, {"....#....."});
    EXPECT_TRUE(PlayerProcesser::collides(*p0, kLine, 0, 2, 19));
    EXPECT_FALSE(PlayerProcesser::collides(*p0, kLine, 0, 5, 19));
}

TEST_F(RulesTest, PartWayDownMovesAndTurnsAlsoNeedTheRowBelowFree) {
    // Box cells at rows 1-2, columns 4-5; moved left they would reach (3, 3) one row lower.
    for (int fallSub : {9, 10}) {
        setField(*p0, {});
        p0->cells[3][3] = kCellBlock;
        placePiece(*p0, kBox, 0, 3, 0);
        p0->fallSub = fallSub;
        EXPECT_EQ(fallSub < 10, rules.canMove(*p0, PlayerProcesser::kMoveLeft)) << "fallSub " << fallSub;
        EXPECT_TRUE(rules.canMove(*p0, PlayerProcesser::kMoveRight));
    }
    // A lying line turned upright fills column 4 rows 0-3; one row lower it would reach (4, 4).
    for (int fallSub : {9, 10}) {
        setField(*p0, {});
        p0->cells[4][4] = kCellBlock;
        placePiece(*p0, kLine, 0, 3, 0);
        p0->fallSub = fallSub;
        EXPECT_EQ(fallSub < 10, rules.canRotate(*p0, PlayerProcesser::kTurnClockwise)) << "fallSub " << fallSub;
    }
}

TEST_F(RulesTest, TurnsHaveNoKicksAndALockedRotationRefusesEveryTurnWithTheWarning) {
    // Upright line against the left wall: lying down would cross it, and nothing pushes it back in.
    placePiece(*p0, kLine, 90, -1, 10);
    frame(kButtonFirst);
    EXPECT_EQ(90, p0->piece->angle);
    EXPECT_EQ(-1, p0->piece->column);
    EXPECT_EQ(0, rules.count(25));
    frame(0);
    frame(kButtonSecond);
    EXPECT_EQ(90, p0->piece->angle);

    placePiece(*p0, kLine, 0, 3, 5);
    frame(0);
    frame(kButtonFirst);
    EXPECT_EQ(90, p0->piece->angle);
    EXPECT_EQ(1, rules.count(25));
    frame(0);
    frame(kButtonSecond);
    EXPECT_EQ(0, p0->piece->angle);
    EXPECT_EQ(2, rules.count(25));

    p0->rotationLocked = true;
    for (int buttons : {kButtonFirst, kButtonSecond}) {
        frame(0);
        frame(buttons);
        EXPECT_EQ(0, p0->piece->angle);
    }
    EXPECT_EQ(2, rules.count(16));
    EXPECT_EQ(2, rules.count(25));
}

TEST_F(RulesTest, AHeldDirectionMovesOnThePressAndThenEveryEighthFrame) {
    placePiece(*p0, kBox, 0, 7, 0);
    std::vector<int> moved;
    int column = p0->piece->column;
    for (int f = 1; f <= 20; ++f) {
        frame(kButtonLeft);
        if (p0->piece->column != column) moved.push_back(f);
        column = p0->piece->column;
    }
    // The press moves; then the counter runs 1..8 and moves again when it reads 8.
    EXPECT_EQ((std::vector<int>{1, 9, 17}), moved);
    frame(0);
    EXPECT_EQ(0, p0->repeatCounter);
}

TEST_F(RulesTest, ALockComesOnThe41stRestingFrameOr5thWithDownAndRestingAddsUpAcrossMoves) {
    for (bool down : {false, true}) {
        setField(*p0, {});
        placePiece(*p0, kBox, 0, 3, 19);  // resting on the floor
        int frames = 0;
        while (p0->state == kStateFalling && frames < 100) {
            frame(down ? kButtonDown : 0);
            ++frames;
        }
        EXPECT_EQ(down ? 5 : 41, frames);
        EXPECT_EQ(kStateNextPiece, p0->state);
        p0->state = kStateFalling;
    }

    // Rest 20 frames on a ledge, slide off it, fall to the floor: 21 more resting frames lock it.
    setField(*p0, {"......##..", "......##..", "......##..", "......##.."});
    placePiece(*p0, kBox, 0, 5, 15);  // columns 6-7, resting on the ledge's top at row 18
    ASSERT_FALSE(rules.canMove(*p0, PlayerProcesser::kMoveDown));
    const int script[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                          kButtonRight,   // columns 7-8, still half on the ledge
                          0, kButtonRight};  // columns 8-9, free below: it falls
    int resting = 0, frames = 0;
    while (p0->state == kStateFalling && frames < 2000) {
        int lockSub = p0->lockSub;
        frame(frames < static_cast<int>(sizeof(script) / sizeof(script[0])) ? script[frames] : 0);
        if (p0->lockSub > lockSub || p0->state != kStateFalling) ++resting;
        if (frames == 19) {
            EXPECT_EQ(180, p0->lockSub);
        }
        ++frames;
    }
    EXPECT_EQ(kStateNextPiece, p0->state);
    EXPECT_EQ(41, resting);
    EXPECT_EQ(Rows({"......##..", "......##..", "......####", "......####"}), fieldRows(*p0, 18));
}

TEST_F(RulesTest, SoftDropStaysTwentyTimesTheSpeedAfterPiece80) {
    struct Case {
        int piecesTaken;
        bool down, stopTime;
        int step;
    } cases[] = {{0, false, false, 9},  {0, true, false, 180}, {80, false, false, 9}, {81, false, false, 18},
                 {81, true, false, 180}, {81, true, true, 9},  {0, true, true, 9}};
    for (const Case& c : cases) {
        p0->piecesTaken = c.piecesTaken;
        p0->stopTime = c.stopTime;
        p0->fallSub = 0;
        p0->fallStep(c.down);
        EXPECT_EQ(c.step, p0->fallSub) << "pieces " << c.piecesTaken << " down " << c.down << " stop " << c.stopTime;
    }
}

struct ClearCase {
    const char* name;
    Rows field;
    int kind, angle, column, row;
    Rows after;  // the bottom rows after the clear
    int rows, level;
};

TEST_F(RulesTest, LocksThatCompleteRowsLeaveTheRightStackAfter18Frames) {
    const ClearCase cases[] = {
        {"one row", {"#.........", "#########."}, kLine, 90, 8, 18,
         {"..........", ".........#", ".........#", "#........#"}, 1, 0},
        {"two adjacent", {"#########.", "#########."}, kLine, 90, 8, 18,
         {"..........", "..........", ".........#", ".........#"}, 2, 0},
        {"three apart", {"#########.", "#########.", "####.####.", "#########."}, kLine, 90, 8, 18,
         {"..........", "..........", "..........", "####.#####"}, 3, 0},
        {"four with chips", {"#########.", "*########.", "#########.", "#########."}, kLineChip, 90, 8, 18,
         {"..........", "..........", "..........", ".........."}, 4, 2},
    };
    for (const ClearCase& c : cases) {
        SCOPED_TRACE(c.name);
        setField(*p0, c.field);
        p0->state = kStateFalling;
        p0->skillLevel = 0;
        placePiece(*p0, c.kind, c.angle, c.column, c.row);
        p0->lockSub = 360;
        frame(0);
        ASSERT_EQ(kStateClearing, p0->state);
        int sent = 0, frames = 0;
        while (p0->state == kStateClearing && frames < 50) {
            sent += frame(0);
            ++frames;
        }
        EXPECT_EQ(18, frames);
        EXPECT_EQ(c.rows, sent);
        EXPECT_EQ(c.level, p0->skillLevel);
        EXPECT_EQ(c.after, fieldRows(*p0, 18));
        EXPECT_EQ(kStateNextPiece, p0->state);
    }
    EXPECT_EQ(4, rules.count(22));
    EXPECT_EQ(4, rules.count(24));
    EXPECT_EQ(4, rules.count(21));
}

TEST_F(RulesTest, ClearedRowsCancelPendingGarbageAndTheRestIsSent) {
    struct Case {
        int rows, pending;
        bool doubleAttack;
        int sent, pendingAfter, state;
    } cases[] = {
        {2, 3, false, 0, 1, kStateGarbage},    // nothing sent, one row still rises
        {3, 1, false, 2, 0, kStateNextPiece},  // three against one sends two
        {3, 1, true, 4, 0, kStateNextPiece},   // four with doubleAttack
        {1, 0, false, 1, 0, kStateNextPiece},  {4, 0, true, 8, 0, kStateNextPiece},
        {2, 2, false, 0, 0, kStateNextPiece},  {2, 2, true, 0, 0, kStateNextPiece},
    };
    for (const Case& c : cases) {
        Rows field(c.rows, "xxxxxxxxxx");
        setField(*p0, field);
        p0->pendingGarbage = c.pending;
        p0->doubleAttack = c.doubleAttack;
        p0->clearFrames = 17;
        p0->state = kStateClearing;
        EXPECT_EQ(c.sent, rules.clearRows(*p0)) << c.rows << " rows, " << c.pending << " pending";
        EXPECT_EQ(c.pendingAfter, p0->pendingGarbage);
        EXPECT_EQ(c.state, p0->state);
    }
}

TEST_F(RulesTest, NoAttackLeavesClearedRowsEmptyAndCellGravityDropsBlocksButNotChips) {
    // noAttack: nothing falls into the emptied rows and nothing is sent, pending or not.
    for (int pending : {0, 1}) {
        setField(*p0, {"#.#.......", "xxxxxxxxxx", "..#......#"});
        p0->noAttack = true;
        p0->pendingGarbage = pending;
        p0->clearFrames = 17;
        EXPECT_EQ(0, rules.clearRows(*p0));
        EXPECT_EQ(Rows({"#.#.......", "..........", "..#......#"}), fieldRows(*p0, 19));
    }
    p0->noAttack = false;
    p0->pendingGarbage = 0;

    // Cell gravity: every block falls as far as it can; a chip stays and holds up the block on it.
    setField(*p0, {"##..#.....", "*...#.....", "xxxxxxxxxx", "..#.....#.", "....#....."});
    p0->cascadeGravity = true;
    p0->clearFrames = 17;
    EXPECT_EQ(1, rules.clearRows(*p0));
    EXPECT_EQ(Rows({"#.........", "*.........", "....#.....", "....#.....", ".##.#...#."}), fieldRows(*p0, 17));
}

TEST_F(RulesTest, AGarbageBatchRisesARowEveryNineFramesWithOneHoleAndLosesTheTopRow) {
    setField(*p0, {"#........#"});
    p0->cells[0][5] = kCellBlock;
    p0->pendingGarbage = 3;
    p0->garbageHole = 6;
    p0->state = kStateGarbage;
    std::vector<int> rose;
    for (int f = 1; f <= 40 && p0->state == kStateGarbage; ++f) {
        int pending = p0->pendingGarbage;
        frame(0);
        if (p0->pendingGarbage < pending) rose.push_back(f);
        if (f == 9) {
            EXPECT_EQ(0, p0->cells[0][5]) << "the top row is pushed out";
        }
    }
    EXPECT_EQ((std::vector<int>{9, 18, 27}), rose);
    EXPECT_EQ(kStateNextPiece, p0->state);
    EXPECT_EQ(Rows({"#........#", "######.###", "######.###", "######.###"}), fieldRows(*p0, 18));
    EXPECT_EQ(3, rules.count(23));
}

TEST_F(RulesTest, ALockAboveTheTopTopsOutUnlessItCompletesARow) {
    // Rows 1-21 have a hole in column 4; an upright line in column 0 rests on row 1 with three cells above
    // the top. Row 0 stays open, or the line completes it.
    for (bool completes : {false, true}) {
        SCOPED_TRACE(completes ? "completes row 0" : "no full row");
        Rows field(21, "####.#####");
        field.insert(field.begin(), completes ? ".#########" : "..........");
        setField(*p0, field);
        p0->state = pair.side1->state = kStateFalling;
        placePiece(*p0, kLine, 90, -1, -3);
        ASSERT_FALSE(rules.canMove(*p0, PlayerProcesser::kMoveDown));
        p0->lockSub = 360;
        frame(0);
        EXPECT_NE(kCellEmpty, p0->cells[0][0]);
        EXPECT_EQ(kCellEmpty, p0->cells[1][4]) << "cells above the top are dropped, not shifted in";
        if (completes) {
            EXPECT_EQ(kStateClearing, p0->state);
        } else {
            EXPECT_EQ(kStateToppedOut, p0->state);
            frame(0);
            EXPECT_EQ(kStateWinner, pair.side1->state);
        }
    }
}

}  // namespace
