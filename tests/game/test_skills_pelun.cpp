// Pelun's skills: the star fall, the beam that fills the caster's bottom rows, and the three-column blast. Small
// fixtures step a skill on a linked pair of sides to show exact timings, field effects and the clock wrap.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "game/game_clock.h"
#include "game/input_poll.h"
#include "game/match_fixture.h"
#include "game/skills_pelun.h"
#include "runtime/runtime.h"

namespace {

constexpr int kPelun = 1;

// A Pelun caster on side 0 or 1 against a Kessa rival, both held as the rules engine holds them while a skill
// runs: the caster in state 7, the rival frozen.
class PelunSkillTest : public ::testing::Test {
protected:
    void SetUp() override { RandomSetSeed(4711); }
    void TearDown() override { useRuntimeGameClock(); }

    void makeSides(int casterSide) {
        PlayerPair pair = casterSide == 0 ? makePair(kPelun, 0) : makePair(0, kPelun);
        caster = casterSide == 0 ? pair.side0 : pair.side1;
        rival = casterSide == 0 ? pair.side1 : pair.side0;
        caster->state = kStateSkillRunning;
        rival->state = kStateFrozen;
    }

    // Updates until the skill ends its owner's run (state 8). Returns the skill's state before each update; `each`
    // sees every update after it ran.
    template <class S>
    std::vector<int> runToEnd(S& skill, const std::function<void()>& each = nullptr) {
        std::vector<int> states;
        while (caster->state == kStateSkillRunning && states.size() < 3000) {
            states.push_back(skill.state);
            skill.update();
            if (each) each();
        }
        EXPECT_EQ(kStateSkillOverBoth, caster->state) << "the skill did not end";
        return states;
    }

    // How many updates began in each state, in order of the states.
    static std::vector<int> durations(const std::vector<int>& states) {
        std::vector<int> runs;
        for (size_t i = 0; i < states.size(); ++i) {
            if (i == 0 || states[i] != states[i - 1]) runs.push_back(0);
            ++runs.back();
        }
        return runs;
    }

    std::shared_ptr<Player> caster;
    std::shared_ptr<Player> rival;
};

// SkillVintrel

TEST_F(PelunSkillTest, VintrelStarsLandOnTheFloorOrOnTheStackAndEndWhenTheLastHasFaded) {
    for (int side : {0, 1}) {
        SCOPED_TRACE(side);
        makeSides(side);
        // Column 0 is full, column 1 holds three blocks, the rest are empty.
        Rows rows(kFieldRows, "#.........");
        for (int r = kFieldRows - 3; r < kFieldRows; ++r) rows[r] = "##........";
        setField(*rival, rows);
        SkillVintrel skill(caster, nullptr);
        // Stars 0 and 1 into the full column, 2 and 3 onto the short stack, the rest one to an empty column, and
        // star 9 onto star 8's block.
        const int columns[SkillVintrel::kStars] = {0, 0, 1, 1, 2, 3, 4, 5, 6, 6};
        for (int k = 0; k < SkillVintrel::kStars; ++k) skill.setStarColumnForTesting(k, columns[k]);
        int faceBefore = caster->face;

        std::vector<int> states = runToEnd(skill);
        // Darken 52 frames; star 9 starts at count 180, takes its 26th row step (onto star 8's block) at 180 + 2 +
        // 3 x 25 and fades for 15 frames; brighten 52 frames; each state has one more update that moves on.
        EXPECT_EQ((std::vector<int>{53, 258 + 15 + 1, 53, 1}), durations(states));
        Rows expected = rows;
        expected[17] = "##........";
        expected[18] = "##........";
        expected[20] = "##....#...";
        expected[21] = "#######...";
        EXPECT_EQ(expected, fieldRows(*rival, 0));
        for (const SkillVintrel::Star& star : skill.stars) {
            EXPECT_TRUE(star.landed);
            EXPECT_LT(star.alpha, 1);
        }
        // Stars into the full column land above the top and place nothing.
        EXPECT_EQ(0, skill.stars[0].cell.y);
        EXPECT_EQ(0, skill.stars[1].cell.y);
        EXPECT_EQ(faceBefore, caster->face);
        EXPECT_EQ(255, skill.brightness());
    }
}

// The last star started can land long before an earlier one that falls to a lower floor; the skill waits for every
// star, so the earlier one still places its block.
TEST_F(PelunSkillTest, VintrelWaitsForAnEarlierStarThatIsStillFalling) {
    makeSides(0);
    setField(*rival, Rows(kFieldRows, "#........."));
    SkillVintrel skill(caster, nullptr);
    for (int k = 0; k < SkillVintrel::kStars; ++k) skill.setStarColumnForTesting(k, k == 8 ? 5 : 0);
    runToEnd(skill);
    EXPECT_TRUE(skill.stars[8].landed);
    EXPECT_EQ(1, rival->cells[21][5]);
    int blocks = 0;
    for (const auto& row : rival->cells)
        for (int cell : row) blocks += cell != kCellEmpty;
    EXPECT_EQ(kFieldRows + 1, blocks);
}

// Random columns: whatever they are, each star lands once, a landed star in the field is one block on what was
// below it, and nothing is ever written above the top.
TEST_F(PelunSkillTest, VintrelRandomStarsKeepTheirInvariants) {
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(seed);
        RandomSetSeed(static_cast<int>(seed));
        makeSides(seed % 2);
        Rows rows = {"##########", "#.#.#.#.#.", "#...#...#.", "#.......*."};
        Rows tall(kFieldRows - rows.size(), "#.........");  // column 0 full to the top
        tall.insert(tall.end(), rows.begin(), rows.end());
        setField(*rival, tall);
        Rows before = fieldRows(*rival, 0);
        SkillVintrel skill(caster, nullptr);
        runToEnd(skill);
        Rows after = fieldRows(*rival, 0);
        std::set<std::pair<int, int>> landed;
        for (const SkillVintrel::Star& star : skill.stars) {
            ASSERT_TRUE(star.landed);
            int row = star.cell.y - 1;  // the row step after landing moves the star on by one
            EXPECT_GE(row, -1);
            if (star.cell.x == 0) {
                EXPECT_EQ(-1, row) << "a star into the full column";
            }
            if (row >= 0) {
                EXPECT_TRUE(landed.insert({row, star.cell.x}).second) << "two stars in one cell";
            }
        }
        for (int r = 0; r < kFieldRows; ++r)
            for (int c = 0; c < kFieldColumns; ++c) {
                bool star = landed.count({r, c}) > 0;
                if (star) {
                    EXPECT_EQ('.', before[r][c]) << r << "," << c;
                    EXPECT_EQ('#', after[r][c]) << r << "," << c;
                    EXPECT_TRUE(r == kFieldRows - 1 || after[r + 1][c] != '.') << "a block in the air at " << r;
                } else {
                    EXPECT_EQ(before[r][c], after[r][c]) << r << "," << c;
                }
            }
    }
}

// SkillCorvane

TEST_F(PelunSkillTest, CorvaneFillsTheCastersBottomRowsOverChipsAndHoldsItsTimings) {
    for (int side : {0, 1}) {
        SCOPED_TRACE(side);
        makeSides(side);
        setField(*caster, {"....#.....", "..*.#.....", "*...##..*.", "####.#####"});
        rival->face = kFaceCrisis;
        rival->faceFrame = 1;
        SkillCorvane skill(caster, nullptr);
        EXPECT_EQ(kFaceHidden, caster->face);
        EXPECT_EQ(0, rival->faceFrame);
        std::vector<int> rivalFaces(7, -1);
        std::vector<int> states = runToEnd(skill, [&] {
            if (skill.state <= 6) rivalFaces[skill.state] = rival->face;
            if (skill.state <= 4) {
                EXPECT_EQ(kCellEmpty, caster->cells[kFieldRows - 3][0]);
            }
        });
        // Wind-up 30 + 80, beam 100, firing 100 (the count goes up by 2 from 100 to 300), the fill, 150 frames of
        // fade; one more update each to move on.
        EXPECT_EQ((std::vector<int>{31, 81, 101, 101, 1, 151, 1}), durations(states));
        EXPECT_EQ((Rows{"....#.....", "##########", "##########", "##########"}), fieldRows(*caster, 18));
        EXPECT_EQ(kFaceCrisis, rivalFaces[2]);
        EXPECT_EQ(kFaceLose, rivalFaces[4]);
        EXPECT_EQ(kFaceLose, rivalFaces[5]);
        EXPECT_EQ(kFaceNormal, rival->face);
        EXPECT_EQ(kFaceNormal, caster->face);
        EXPECT_EQ(0, caster->faceFrame);
        EXPECT_EQ(1, skill.figureFrame);
        EXPECT_EQ(0, skill.beamHeight);
    }
}

// The three filled rows are the caster's attack: its next lock clears them, and like any cleared rows they first
// cancel what is pending against the caster.
TEST_F(PelunSkillTest, CorvaneRowsGoWithTheCastersNextLockAndCancelPendingGarbageFirst) {
    makeSides(0);
    setField(*caster, {"....#.....", "..*.#.....", "*...##..*.", "####.#####"});
    caster->pendingGarbage = 1;
    SkillCorvane skill(caster, nullptr);
    runToEnd(skill);
    RecordingProcesser rules;
    clearInputs();
    rules.process(*caster);
    EXPECT_EQ(kStateNextPiece, caster->state);
    EXPECT_EQ(kStateNextPiece, rival->state);
    caster->state = kStateFalling;  // past the shared queue's slide
    placePiece(*caster, 0, 0, 6, 2);
    int sent = 0;
    for (int f = 0; f < 3000 && caster->state != kStateNextPiece; ++f) {
        setInputs(kButtonDown, 0);
        sent += rules.process(*caster);
    }
    EXPECT_EQ(2, sent);
    EXPECT_EQ(0, caster->pendingGarbage);
    int cells = 0;
    for (const auto& row : caster->cells)
        for (int cell : row) cells += cell != kCellEmpty;
    EXPECT_EQ(1 + 4, cells) << "the block above the filled rows and the piece";
    EXPECT_EQ(kCellBlock, caster->cells[kFieldRows - 1][4]);
    clearInputs();
}

TEST_F(PelunSkillTest, CorvaneAndGrakelLeaveAGraveAsItIs) {
    makeSides(0);
    caster->face = kFaceGrave;
    rival->face = kFaceGrave;
    SkillCorvane corvane(caster, nullptr);
    runToEnd(corvane, [&] {
        ASSERT_EQ(kFaceGrave, caster->face);
        ASSERT_EQ(kFaceGrave, rival->face);
    });
    caster->state = kStateSkillRunning;
    SkillGrakel grakel(caster, nullptr);
    runToEnd(grakel, [&] {
        ASSERT_EQ(kFaceGrave, caster->face);
        ASSERT_EQ(kFaceGrave, rival->face);
    });
}

// The millisecond count is an int: after 24.8 days it is negative, and it wraps from INT_MAX to INT_MIN. The ring's
// frame and the figure's toggle come from it and must stay in range either way.
TEST_F(PelunSkillTest, CorvaneRingAndToggleStayInRangeWhenTheClockIsNegativeOrWraps) {
    const int clockStarts[] = {100000, -2000000000, INT_MAX - 1500};
    for (int start : clockStarts) {
        SCOPED_TRACE(start);
        makeSides(1);
        useSteppedGameClockForTest(start);
        SkillCorvane skill(caster, nullptr);
        std::set<int> rings, toggled;
        bool sawNegativeClock = false;
        runToEnd(skill, [&] {
            if (gameMillisecondCount() < 0) sawNegativeClock = true;
            if (skill.state == 2 || skill.state == 3) rings.insert(skill.ringFrame);
            if (skill.state == 3) toggled.insert(skill.figureFrame);
            advanceGameClockForTest(12);
        });
        EXPECT_EQ((std::set<int>{0, 1, 2}), rings);
        EXPECT_EQ((std::set<int>{2, 3}), toggled);
        EXPECT_EQ(start != 100000, sawNegativeClock);
    }
}

// SkillGrakel

TEST_F(PelunSkillTest, GrakelBlastsOneSpacingOfThreeCellsPerRivalRowWithNoGravity) {
    for (int side : {0, 1}) {
        SCOPED_TRACE(side);
        makeSides(side);
        // Every rival row full (chips among the blocks), so each row shows its blast exactly.
        Rows full(kFieldRows, "##########");
        full[3] = "#*###*####";
        full[20] = "*########*";
        setField(*rival, full);
        rival->face = kFaceCrisis;
        SkillGrakel skill(caster, nullptr);
        EXPECT_EQ(kFaceHidden, caster->face);
        std::vector<int> clearFramesSeen;
        Rows marked;
        int began = 0;
        std::vector<int> states = runToEnd(skill, [&] {
            int last = began;
            began = skill.state;
            if (skill.state == 4 && marked.empty()) marked = fieldRows(*rival, 0);
            if (last == 4) clearFramesSeen.push_back(rival->clearFrames);
            if (last >= 3 && last <= 6) {
                ASSERT_EQ(kFaceLose, rival->face);
            }
            for (const SkillGrakel::Beam& beam : skill.beams) {
                ASSERT_GE(beam.x, rival->side * 240 + 110);
                ASSERT_LE(beam.x, rival->side * 240 + 254);
            }
        });
        // Fly off 78, beams drop 91, widen and wander 200, blast 1, clear 18, narrow 36, fly back 156, each with one
        // more update to move on where it waits on a count.
        EXPECT_EQ((std::vector<int>{79, 92, 201, 1, 18, 37, 157, 1}), durations(states));
        ASSERT_EQ(18u, clearFramesSeen.size());
        for (int f = 0; f < 17; ++f) EXPECT_EQ(f + 1, clearFramesSeen[f]);
        EXPECT_EQ(0, clearFramesSeen[17]);

        ASSERT_EQ(static_cast<size_t>(kFieldRows), marked.size());
        Rows after = fieldRows(*rival, 0);
        std::set<int> spacings;
        for (int r = 0; r < kFieldRows; ++r) {
            int j = after[r].find('.');
            ASSERT_GE(j, 0) << "row " << r << " was not blasted";
            ASSERT_LE(j, 3);
            spacings.insert(j);
            std::string expected = full[r];
            std::string expectedMarks = full[r];
            for (int c : {j, j + 3, j + 6}) {
                expected[c] = '.';
                expectedMarks[c] = 'x';
            }
            EXPECT_EQ(expected, after[r]) << "row " << r;
            EXPECT_EQ(expectedMarks, marked[r]) << "row " << r;
        }
        EXPECT_GT(spacings.size(), 1u) << "each row draws its own spacing";
        EXPECT_EQ(kFaceNormal, caster->face);
        EXPECT_EQ(kFaceNormal, rival->face);
        EXPECT_EQ(255, skill.brightness());
        EXPECT_EQ(220, skill.figure.y);
    }
}

TEST_F(PelunSkillTest, GrakelLeavesEmptyCellsEmptyAndHolesUnfilled) {
    makeSides(0);
    Rows sparse = {"#.........", "..........", "#..#..#..#", ".#.#.#.#.#", "##.##.##.#"};
    setField(*rival, sparse);
    Rows before = fieldRows(*rival, 0);
    SkillGrakel skill(caster, nullptr);
    Rows marked;
    runToEnd(skill, [&] {
        if (skill.state == 4 && marked.empty()) marked = fieldRows(*rival, 0);
    });
    ASSERT_EQ(static_cast<size_t>(kFieldRows), marked.size());
    Rows after = fieldRows(*rival, 0);
    for (int r = 0; r < kFieldRows; ++r) {
        for (int c = 0; c < kFieldColumns; ++c)
            if (before[r][c] == '.') {
                EXPECT_EQ('.', marked[r][c]) << "an empty cell marked at " << r << "," << c;
            }
        bool someSpacing = false;
        for (int j = 0; j <= 3 && !someSpacing; ++j) {
            std::string expected = before[r];
            for (int c : {j, j + 3, j + 6}) expected[c] = '.';
            someSpacing = expected == after[r];
        }
        EXPECT_TRUE(someSpacing) << "row " << r << ": " << before[r] << " -> " << after[r];
    }
}

}  // namespace
