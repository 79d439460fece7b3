// The computer player: where it plans a piece, how it scores placements at each strength (walls, floor and
// rows above the top included), and how it steers, never through filled cells, in the stepped match.
#include <gtest/gtest.h>

#include "game/match/cpu.h"
#include "game/match/match_fixture.h"
#include "game/match/next_piece_queue.h"
#include "game/match/scene_game_main.h"
#include "game/shell/input_poll.h"
#include "game/shell/options.h"
#include "game/shell/scene.h"
#include "runtime/runtime.h"
#include "tests/game/game_test_util.h"

namespace {

constexpr int kLine = 0, kBox = 1;

class CpuTest : public ::testing::Test {
protected:
    void SetUp() override {
        RandomSetSeed(5);
        resetOptionValues();
        clearInputs();
        cpu = std::make_shared<Cpu>(0, 0);
        rival = std::make_shared<Player>(1, 0, 0);
        cpu->setEnemy(rival);
        rival->setEnemy(cpu);
    }
    void TearDown() override {
        resetOptionValues();
        clearInputs();
    }
    Placement planFor(int kind) {
        cpu->piece->kind = kind;
        return cpu->planPlacement();
    }

    std::shared_ptr<Cpu> cpu;
    std::shared_ptr<Player> rival;
};

TEST_F(CpuTest, TheDeepestPlaceWinsAndTiesGoToTheHigherThenTheLaterCandidate) {
    // A well in column 9: the upright line reaches the floor there at 90 and 270 degrees alike (same cells,
    // same score), and the later angle wins.
    Rows well(12, "#########.");
    for (int level : {0, 1, 2}) {
        cpuLevel = level;
        setField(*cpu, well);
        Placement p = planFor(kLine);
        EXPECT_EQ(18, p.row) << "level " << level;
        EXPECT_EQ(270, p.angle);
        EXPECT_EQ(7, p.column);
    }
    // An empty field: every box lands on row 19. Strengths 1 and 2 score the open row above the piece at
    // columns 0 and 1 highest; strength 0 ties columns 0-6. The later angle, then the later column, wins.
    struct Case {
        int level, column;
    } cases[] = {{0, 6}, {1, 1}, {2, 1}};
    for (const Case& c : cases) {
        cpuLevel = c.level;
        setField(*cpu, {});
        Placement p = planFor(kBox);
        EXPECT_EQ(19, p.row) << "level " << c.level;
        EXPECT_EQ(270, p.angle) << "level " << c.level;
        EXPECT_EQ(c.column, p.column) << "level " << c.level;
    }
}

TEST_F(CpuTest, RotationLockedPlansAtAngle0Only) {
    setField(*cpu, Rows(12, "#########."));
    cpu->rotationLocked = true;
    Placement p = planFor(kLine);
    EXPECT_EQ(0, p.angle);
    // Lying flat it cannot enter the well; it lies on the stack.
    EXPECT_EQ(7, p.row);
}

TEST_F(CpuTest, ScoresFollowTheRulesForCellsPastTheWallsBelowTheFloorAndAboveTheTop) {
    struct Case {
        const char* what;
        int level;
        Rows field;
        int kind, column, row, angle, score;
    } cases[] = {
        // Box against the left wall on the floor: wall and floor count; at strength 2 the hole under the
        // upper-left cell takes the score so far back to 0.
        {"left wall", 1, {}, kBox, -1, 19, 0, 4},
        {"left wall", 2, {}, kBox, -1, 19, 0, 3},
        // Half past the right wall: outside cells count as occupied on every side.
        {"past the right wall", 1, {}, kBox, 8, 18, 0, 6},
        {"past the right wall", 2, {}, kBox, 8, 18, 0, 2},
        {"past the right wall", 0, {}, kBox, 8, 18, 0, 2},
        // Above the top: rows there are empty, never complete, add nothing.
        {"above the top", 0, {}, kBox, 3, -3, 0, 0},
        {"above the top on blocks", 1, Rows(22, "....##...."), kBox, 3, -3, 0, 2},
        {"above the top on blocks", 2, Rows(22, "....##...."), kBox, 3, -3, 0, 2},
        {"above the top on blocks", 0, Rows(22, "....##...."), kBox, 3, -3, 0, 2},
        // Below the floor at strength 0: rows 22 and 23 are complete and every in-column cell counts.
        {"below the floor", 0, {}, kBox, 3, 20, 0, 110},
        // The open row above a box at column 0.
        {"open row", 1, {}, kBox, 0, 19, 0, 22},
        {"open row", 2, {}, kBox, 0, 19, 0, 12},
    };
    for (const Case& c : cases) {
        cpuLevel = c.level;
        setField(*cpu, c.field);
        EXPECT_EQ(c.score, cpu->scorePlacement(c.kind, c.column, c.row, c.angle))
            << c.what << " at strength " << c.level;
    }
}

TEST_F(CpuTest, StrengthsZeroOneAndTwoChooseDifferentlyOnOneField) {
    const Rows field = {"....#....#", ".......##.", ".##..#.###", ".#.#.##.#.", ".#########"};
    Placement chosen[3];
    for (int level : {0, 1, 2}) {
        cpuLevel = level;
        setField(*cpu, field);
        chosen[level] = planFor(kBox);
    }
    auto same = [](const Placement& a, const Placement& b) {
        return a.column == b.column && a.row == b.row && a.angle == b.angle;
    };
    EXPECT_FALSE(same(chosen[0], chosen[1]));
    EXPECT_FALSE(same(chosen[1], chosen[2]));
    EXPECT_FALSE(same(chosen[0], chosen[2]));
}

TEST_F(CpuTest, ThinkTurnsOnceAndStepsOneColumnAFrameAndSoftDropsAfter100Frames) {
    setField(*cpu, {});
    cpu->spawn(kLine);
    cpu->targetAngle = 180;
    cpu->targetColumn = 0;
    cpu->piece->row = 10;
    std::vector<int> angles, columns;
    for (int f = 1; f <= 5; ++f) {
        inputCurrent[1] = 0;
        cpu->think();
        angles.push_back(cpu->piece->angle);
        columns.push_back(cpu->piece->column);
        EXPECT_EQ(0, inputCurrent[1] & kButtonDown);
    }
    EXPECT_EQ((std::vector<int>{90, 180, 180, 180, 180}), angles);
    EXPECT_EQ((std::vector<int>{2, 1, 0, 0, 0}), columns);
    while (cpu->thinkFrames < 100) {
        inputCurrent[1] = 0;
        cpu->think();
    }
    EXPECT_EQ(0, inputCurrent[1] & kButtonDown);
    inputCurrent[1] = 0;
    cpu->think();
    EXPECT_EQ(kButtonDown, inputCurrent[1] & kButtonDown);
    // A new piece starts the count again.
    cpu->spawn(kBox);
    inputCurrent[1] = 0;
    cpu->think();
    EXPECT_EQ(0, inputCurrent[1] & kButtonDown);
}

TEST_F(CpuTest, AtStrength2ThePieceStepsToABetterScoringNeighbourColumn) {
    struct Case {
        int level;
        Rows field;
        int target;
    } cases[] = {
        {2, {".......#..", ".......#.."}, 4},  // a wall to the right of column 4's box
        {2, {"..#.......", "..#......."}, 2},  // and to the left of column 2's
        {2, {"..........", ".........."}, 3},  // nothing better: stays
        {1, {".......#..", ".......#.."}, 3},  // only strength 2 steers
    };
    for (const Case& c : cases) {
        cpuLevel = c.level;
        setField(*cpu, c.field);
        cpu->piece->kind = kBox;
        cpu->piece->angle = 0;
        cpu->piece->column = 3;
        cpu->piece->row = 19;
        cpu->targetRow = 19;
        cpu->targetColumn = 3;
        cpu->update();
        EXPECT_EQ(c.target, cpu->targetColumn) << "level " << c.level;
    }
}

// The computer steering in the stepped match: its piece sits left of a wall (or in a shaft) with its target
// beyond; the steps into the wall wait, so no frame shows the piece over a filled cell and the lock keeps every
// cell of the field, chips included.
class CpuSteeringTest : public SteppedGameTest {
protected:
    void SetUp() override {
        SteppedGameTest::SetUp();
        resetOptionValues();
    }
    void TearDown() override { resetOptionValues(); }
};

TEST_F(CpuSteeringTest, AStepOrTurnIntoFilledCellsWaitsAndTheLockOverwritesNothing) {
    struct Case {
        const char* what;
        Rows field;  // the computer's bottom rows
        int kind, angle, column, row;
        int targetAngle, targetColumn;
        int lockedAngle, lockedColumn;  // where the piece ends
    } cases[] = {
        // A box in the pocket left of the wall in column 5; its target is the open well right of it.
        {"a wall between the piece and its target",
         {".....*....", ".....#....", ".....#....", ".....#....", ".....#....", ".....#....",
          "##*###....", "#####*....", "###*##....", "######....", "#*####....", "######....",
          "####*#....", "######...."},
         kBox, 0, 1, 10, 0, 6, 0, 2},
        // An upright line in a shaft two cells wide: lying down would cut into both walls.
        {"a turn into the shaft's walls",
         {"#####..#*#", "##*##..###", "#####..###", "####*..###", "#####..##*", "#####..###",
          "#*###..###", "#####..###", "###*#..###", "#####..#*#", "##*##..###", "#####..###"},
         kLine, 90, 4, 11, 180, 4, 90, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto s = std::make_shared<SceneGameMain>(0, 1, 0, 0, true, true, 0, game->loaderPointer());
        s->setDrawingEnabledForTesting(false);
        game->startScene(s);
        ASSERT_EQ(s.get(), game->controller().currentScene().get());
        for (int f = 0; f < 200 + 172; ++f) game->step();
        ASSERT_EQ(SceneGameMain::kPlay, s->state());
        auto* cpu = dynamic_cast<Cpu*>(s->player(1).get());
        ASSERT_NE(nullptr, cpu);
        cpu->pattern.reset();  // no cast can interrupt the piece

        setField(*cpu, c.field);
        const Rows before = fieldRows(*cpu, 0);
        placePiece(*cpu, c.kind, c.angle, c.column, c.row);
        cpu->state = kStateFalling;
        cpu->thinkFrames = 0;
        cpu->targetAngle = c.targetAngle;
        cpu->targetColumn = c.targetColumn;
        cpu->targetRow = kFieldRows;  // never reached: no neighbour-column steering
        ASSERT_TRUE(PlayerProcesser::fitsWhileFalling(*cpu, c.angle, c.column));

        int frames = 0;
        while (cpu->state == kStateFalling && frames < 3000) {
            game->step();
            ++frames;
            if (cpu->state != kStateFalling) break;
            const Block& b = *cpu->piece;
            ASSERT_TRUE(PlayerProcesser::fitsWhileFalling(*cpu, b.angle, b.column))
                << "frame " << frames << ": piece at column " << b.column << ", row " << b.row << ", angle "
                << b.angle;
            EXPECT_EQ(c.targetColumn, cpu->targetColumn);
            EXPECT_EQ(c.targetAngle, cpu->targetAngle);
        }
        ASSERT_NE(kStateFalling, cpu->state) << "the piece never locked";
        EXPECT_EQ(c.lockedAngle, cpu->piece->angle);
        EXPECT_EQ(c.lockedColumn, cpu->piece->column);

        // Every cell filled before is as it was; the piece's four cells are the only new ones.
        const Rows after = fieldRows(*cpu, 0);
        int added = 0;
        for (int r = 0; r < kFieldRows; ++r) {
            for (int col = 0; col < kFieldColumns; ++col) {
                if (before[r][col] != '.')
                    EXPECT_EQ(before[r][col], after[r][col]) << "row " << r << ", column " << col;
                else if (after[r][col] != '.')
                    ++added;
            }
        }
        EXPECT_EQ(4, added);
    }
}

}  // namespace
