// Piece shapes at every turn, and the shared next-piece queue: the special-piece rules, forced mode, the
// take order of both sides and the claim of the head.
#include <gtest/gtest.h>

#include "game/match/block.h"
#include "game/match/match_fixture.h"
#include "game/match/next_piece_queue.h"
#include "game/shell/input_poll.h"
#include "game/shell/options.h"
#include "runtime/runtime.h"

namespace {

// The shapes with their chip ('2'), worked out by hand at 0, 90, 180 and 270 degrees. The plain kinds 0-6
// are the same grids with the chip as a block.
const char* const kTurnedShapes[7][4][4] = {
    {{"0000", "0000", "1211", "0000"}, {"0100", "0200", "0100", "0100"},
     {"0000", "1121", "0000", "0000"}, {"0010", "0010", "0020", "0010"}},
    {{"0000", "0210", "0110", "0000"}, {"0000", "0120", "0110", "0000"},
     {"0000", "0110", "0120", "0000"}, {"0000", "0110", "0210", "0000"}},
    {{"0000", "0210", "1100", "0000"}, {"0100", "0120", "0010", "0000"},
     {"0000", "0011", "0120", "0000"}, {"0000", "0100", "0210", "0010"}},
    {{"0000", "1100", "0210", "0000"}, {"0010", "0210", "0100", "0000"},
     {"0000", "0120", "0011", "0000"}, {"0000", "0010", "0120", "0100"}},
    {{"0000", "0010", "1120", "0000"}, {"0100", "0100", "0210", "0000"},
     {"0000", "0211", "0100", "0000"}, {"0000", "0120", "0010", "0010"}},
    {{"0000", "0100", "0211", "0000"}, {"0000", "0210", "0100", "0100"},
     {"0000", "1120", "0010", "0000"}, {"0010", "0010", "0120", "0000"}},
    {{"0000", "0100", "1210", "0000"}, {"0100", "0210", "0100", "0000"},
     {"0000", "0121", "0010", "0000"}, {"0000", "0010", "0120", "0010"}},
};

TEST(PieceShapes, EveryKindAtEveryTurnMatchesTheHandWrittenTable) {
    for (int shape = 0; shape < 7; ++shape) {
        for (int turn = 0; turn < 4; ++turn) {
            for (int special = 0; special < 2; ++special) {
                int kind = shape + 7 * special;
                for (int r = 0; r < 4; ++r) {
                    for (int c = 0; c < 4; ++c) {
                        int want = kTurnedShapes[shape][turn][r][c] - '0';
                        if (!special && want == 2) want = 1;
                        EXPECT_EQ(want, pieceCell(kind, turn * 90, r, c))
                            << "kind " << kind << " angle " << turn * 90 << " cell " << r << "," << c;
                        // A full turn more is the same turn.
                        EXPECT_EQ(want, pieceCell(kind, turn * 90 + 360, r, c));
                    }
                }
            }
        }
    }
}

TEST(PieceShapes, KindsOutsideTheTableLeaveTheGridAndReadEmpty) {
    for (int kind : {-1, 14, 15, 100}) {
        int grid[4][4];
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) grid[r][c] = 7;
        setPieceShape(kind, grid);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) EXPECT_EQ(7, grid[r][c]) << "kind " << kind;
        EXPECT_EQ(0, pieceCell(kind, 0, 2, 1));
    }
    EXPECT_EQ(0, pieceCell(0, 0, 4, 0));
    EXPECT_EQ(0, pieceCell(0, 0, 2, -1));
}

class QueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        RandomSetSeed(4242);
        resetOptionValues();
        clearInputs();
        forcedNextKind = kNoPieceKind;
        forcedPieceCount = 0;
        resetNextQueue();
    }
    void TearDown() override {
        resetOptionValues();
        forcedNextKind = kNoPieceKind;
        forcedPieceCount = 0;
    }

    // Runs both sides through the rules engine, each taking a piece whenever it has one in hand, and records
    // the kinds spawned in take order and the kinds entering the queue.
    void playTakes(int takes, std::vector<int>& spawned, std::vector<int>& queued) {
        PlayerPair pair = makePair();
        RecordingProcesser rules;
        Player* sides[2] = {pair.side0.get(), pair.side1.get()};
        for (Player* p : sides) p->state = kStateNextPiece;
        for (const NextPieceEntry& e : nextPieceQueue.entry) queued.push_back(e.kind);
        for (int frame = 0; frame < 100000 && static_cast<int>(spawned.size()) < takes; ++frame) {
            for (Player* p : sides) {
                rules.process(*p);
                if (p->state == kStateFalling) {
                    spawned.push_back(p->piece->kind);
                    queued.push_back(nextPieceQueue.entry[3].kind);
                    p->state = kStateNextPiece;
                }
            }
        }
    }
};

TEST_F(QueueTest, BothSidesSpawnExactlyTheQueueSequenceInTakeOrder) {
    std::vector<int> spawned, queued;
    playTakes(40, spawned, queued);
    ASSERT_EQ(40u, spawned.size());
    for (size_t i = 0; i < spawned.size(); ++i) EXPECT_EQ(queued[i], spawned[i]) << "take " << i;
}

TEST_F(QueueTest, WithTheRandomRuleOffEveryFifthQueuedPieceIsSpecialAcrossBothSides) {
    randomSpecialPieces = false;
    resetNextQueue();
    std::vector<int> spawned, queued;
    playTakes(30, spawned, queued);
    // queued[0..3] came with the fill; the count starts after it.
    for (size_t i = 4; i < queued.size(); ++i) {
        bool special = queued[i] >= kFirstSpecialKind;
        EXPECT_EQ((i - 4 + 1) % 5 == 0, special) << "queued piece " << i - 3 << " kind " << queued[i];
    }
}

TEST_F(QueueTest, ForcedModeEndsOnTheEleventhTakeWithFourForcedPiecesStillQueued) {
    for (bool randomRule : {true, false}) {
        randomSpecialPieces = randomRule;
        resetNextQueue();
        forcedNextKind = 2;
        forcedPieceCount = 0;
        std::vector<int> heads;
        for (int take = 1; take <= 10; ++take) {
            heads.push_back(takeNextPiece().kind);
            advanceNextQueue();
            EXPECT_EQ(2, nextPieceQueue.entry[3].kind) << "take " << take;
            EXPECT_EQ(take, forcedPieceCount);
        }
        takeNextPiece();  // the eleventh
        EXPECT_EQ(kNoPieceKind, forcedNextKind);
        EXPECT_EQ(0, forcedPieceCount);
        for (const NextPieceEntry& e : nextPieceQueue.entry) EXPECT_EQ(2, e.kind) << "random rule " << randomRule;
        // After the fill the queue draws freely again.
        advanceNextQueue();
        for (int i = 0; i < 3; ++i) EXPECT_EQ(2, nextPieceQueue.entry[i].kind);
    }
}

TEST_F(QueueTest, WhenBothSidesClaimInOneFrameSide0WinsAndSide1WaitsOutTheSlide) {
    PlayerPair pair = makePair();
    RecordingProcesser rules;
    pair.side0->state = pair.side1->state = kStateNextPiece;
    int side0Took = -1, side1Took = -1;
    for (int frame = 1; frame <= 70; ++frame) {
        rules.process(*pair.side0);
        rules.process(*pair.side1);
        if (frame == 1) {
            EXPECT_EQ(kSlideToSide0, nextPieceQueue.entry[0].direction);
            for (int i = 1; i < 4; ++i) EXPECT_EQ(kSlideRise, nextPieceQueue.entry[i].direction);
        }
        if (frame == 30) {
            EXPECT_EQ(-120, nextPieceQueue.entry[0].x);  // 30 frames of 4 pixels toward side 0
            EXPECT_EQ(-60, nextPieceQueue.entry[1].y);
        }
        if (side0Took < 0 && pair.side0->state == kStateFalling) side0Took = frame;
        if (side1Took < 0 && pair.side1->state == kStateFalling) side1Took = frame;
    }
    EXPECT_EQ(31, side0Took);
    EXPECT_EQ(61, side1Took);  // claimed in frame 31 after side 0 took, then 30 more
    EXPECT_EQ(1, pair.side0->piecesTaken);
    EXPECT_EQ(1, pair.side1->piecesTaken);
}

}  // namespace
