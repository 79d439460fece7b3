// Pelun's skills: the star fall, the beam that fills the caster's bottom rows, and the three-column blast. A table
// of casts plays each skill in the real match scene; small fixtures step a skill on a linked pair of sides where a
// chosen star column, many seeds or a clock at the wrap show a fault more plainly.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "game/match/match_fixture.h"
#include "game/match/scene_game_main.h"
#include "game/shell/game_clock.h"
#include "game/shell/input_poll.h"
#include "game/skills/skill_back.h"
#include "game/skills/skills_pelun.h"
#include "runtime/runtime.h"
#include "tests/game/skills/skill_case.h"

namespace {

constexpr int kPelun = 1;

// How many updates began in each state, in order, from the states seen after every update but the one that ended
// the skill (the first update begins in state 0).
std::vector<int> durations(const std::vector<int>& statesAfter) {
    std::vector<int> began = {0};
    began.insert(began.end(), statesAfter.begin(), statesAfter.end());
    std::vector<int> runs;
    for (size_t i = 0; i < began.size(); ++i) {
        if (i == 0 || began[i] != began[i - 1]) runs.push_back(0);
        ++runs.back();
    }
    return runs;
}

// Every star has landed once; a star that landed inside the field left one block on what was below it, a star
// that landed above the top (a full column) left nothing, and no other cell changed.
void expectStarBlocks(const Rows& before, const Rows& after, const SkillVintrel& skill) {
    std::set<std::pair<int, int>> blocks;
    for (const SkillVintrel::Star& star : skill.stars) {
        EXPECT_TRUE(star.landed);
        EXPECT_LT(star.alpha, 1);
        int row = star.cell.y - 1;  // the row step of the landing still moves the star on by one
        int column = star.cell.x;
        ASSERT_GE(row, -1);
        if (row == -1) {
            EXPECT_NE('.', before[0][column]) << "a star landed above the top of a column that has room";
        } else {
            EXPECT_TRUE(blocks.insert({row, column}).second) << "two stars in one cell";
        }
    }
    for (int r = 0; r < kFieldRows; ++r)
        for (int c = 0; c < kFieldColumns; ++c) {
            if (blocks.count({r, c}) > 0) {
                EXPECT_EQ('.', before[r][c]) << r << "," << c;
                EXPECT_EQ('#', after[r][c]) << r << "," << c;
                EXPECT_TRUE(r == kFieldRows - 1 || after[r + 1][c] != '.') << "a block in the air at " << r << "," << c;
            } else {
                EXPECT_EQ(before[r][c], after[r][c]) << r << "," << c;
            }
        }
}

// Each row lost the cells of one spacing j, j + 3, j + 6 (j 0-3) and nothing else; nothing fell into the holes; only
// cells that held something were marked.
void expectBlast(const Rows& before, const Rows& marked, const Rows& after) {
    ASSERT_EQ(static_cast<size_t>(kFieldRows), marked.size()) << "the blast was never seen";
    for (int r = 0; r < kFieldRows; ++r) {
        bool fits = false;
        for (int j = 0; j <= 3 && !fits; ++j) {
            std::string gone = before[r];
            std::string marks = before[r];
            for (int c : {j, j + 3, j + 6}) {
                gone[c] = '.';
                if (marks[c] != '.') marks[c] = 'x';
            }
            fits = gone == after[r] && marks == marked[r];
        }
        EXPECT_TRUE(fits) << "row " << r << ": " << before[r] << " marked " << marked[r] << " then " << after[r];
    }
}

// Which updates a row draws: the first two, every tenth, and the ones on either side of each state change (given
// as update numbers). That takes in every state, even those that last one update, at a fraction of the time.
std::function<bool(SkillRun&)> drawAround(std::vector<int> changes) {
    return [changes](SkillRun& run) {
        int n = run.frame;  // the coming update
        if (n <= 2 || n % 10 == 0) return true;
        for (int change : changes)
            if (n >= change - 1 && n <= change + 1) return true;
        return false;
    };
}

// The update numbers at which a skill with these state durations changes state.
std::vector<int> changesOf(const std::vector<int>& durations) {
    std::vector<int> changes;
    int sum = 0;
    for (int d : durations) changes.push_back(sum += d);
    return changes;
}

// What a row notes while it plays.
struct Notes {
    Rows before;
    Rows marked;
    std::vector<int> states;
    std::set<int> rings;
    std::set<int> toggled;
    int lastState = 0;
};

// After each update: the state it began in and the one it left.
void noteState(Notes& n, int state) {
    n.lastState = n.states.empty() ? 0 : n.states.back();
    n.states.push_back(state);
}

template <class T>
int brightnessOf(SkillRun& run) {
    T* s = run.skillAs<T>();
    return s ? s->brightness() : -1;
}

// Plays the caster's next pieces with soft drops until its rows reach the rival; true when they did.
bool dropUntilRowsAreSent(SkillRun& run, int rivalPendingBefore) {
    for (int f = 0; f < 400; ++f) {
        StepInput in = run.buttons(kButtonDown);
        run.game->step(in.side0, in.side1);
        if (run.rival().pendingGarbage != rivalPendingBefore) return true;
    }
    return false;
}

// SkillVintrel rows.

// Stars chosen on the first update (before any falls): 0 and 1 into the full column 0, 2 and 3 onto the short stack
// in column 1, one each to the floors of 2-5, and 8 and 9 stacked in column 6.
SkillCase vintrelChosenColumns() {
    auto n = std::make_shared<Notes>();
    SkillCase c;
    c.name = "Vintrel stars into chosen columns side 1";
    c.character = kPelun;
    c.level = 1;
    c.side = 1;
    c.rivalField = Rows(kFieldRows, "#.........");
    for (int r = kFieldRows - 3; r < kFieldRows; ++r) c.rivalField[r] = "##........";
    // Darken 53 updates; star 9 starts at count 180, lands on star 8's block with its 26th row step at count 257
    // and fades for 15; one update moves on; brighten 53; the end.
    const std::vector<int> timeline = {53, 258 + 15 + 1, 53, 1};
    c.frames = changesOf(timeline).back();
    c.drawUpdate = drawAround(changesOf(timeline));
    c.prepare = [n](SkillRun&) { n->states.clear(); };
    c.eachFrame = [n](SkillRun& run) {
        SkillVintrel* s = run.skillAs<SkillVintrel>();
        ASSERT_NE(nullptr, s);
        if (run.frame == 1) {
            const int columns[SkillVintrel::kStars] = {0, 0, 1, 1, 2, 3, 4, 5, 6, 6};
            for (int k = 0; k < SkillVintrel::kStars; ++k) s->setStarColumnForTesting(k, columns[k]);
        }
        n->states.push_back(s->state);
        ASSERT_EQ(kFaceNormal, run.caster().face) << "Vintrel changes no face";
    };
    c.atEnd = [n, timeline](SkillRun& run) {
        EXPECT_EQ(timeline, durations(n->states));
        Rows expected(kFieldRows, "#.........");
        expected[17] = "##........";
        expected[18] = "##........";
        expected[19] = "##........";
        expected[20] = "##....#...";
        expected[21] = "#######...";
        EXPECT_EQ(expected, fieldRows(run.rival(), 0));
        SkillVintrel* s = run.skillAs<SkillVintrel>();
        ASSERT_NE(nullptr, s);
        EXPECT_EQ(0, s->stars[0].cell.y) << "landed above the top";
        EXPECT_EQ(22, s->stars[4].cell.y) << "landed on the floor";
    };
    c.drawScale = brightnessOf<SkillVintrel>;
    return c;
}

SkillCase vintrelRandomColumns() {
    auto n = std::make_shared<Notes>();
    SkillCase c;
    c.name = "Vintrel stars into random columns side 0";
    c.character = kPelun;
    c.level = 1;
    c.side = 0;
    c.cutIn = false;
    c.rivalField = Rows(kFieldRows - 5, ".........#");  // column 9 full to the top
    for (const char* row : {"#.#.####.#", "###.####*#", "#.######.#", "####.#####", "##*#####.#"})
        c.rivalField.push_back(row);
    c.prepare = [n](SkillRun& run) { n->before = fieldRows(run.rival(), 0); };
    // The star fall's length depends on the columns: every update of the darkening and brightening, a tenth of the
    // rest.
    c.drawUpdate = [](SkillRun& run) {
        SkillVintrel* s = run.skillAs<SkillVintrel>();
        return s == nullptr || s->state != 1 || run.frame % 10 == 0;
    };
    c.atEnd = [n](SkillRun& run) {
        SkillVintrel* s = run.skillAs<SkillVintrel>();
        ASSERT_NE(nullptr, s);
        expectStarBlocks(n->before, fieldRows(run.rival(), 0), *s);
    };
    c.drawScale = brightnessOf<SkillVintrel>;
    return c;
}

// SkillCorvane rows. The wait before the wind-up draws the figure alone and leaves the colour scale as the scene
// left it (the rows leave a grey the skill never uses); from the wind-up on, the scale is the skill's brightness.
constexpr int kSceneScale = 180;

int corvaneScale(SkillRun& run) {
    const SkillCorvane* s = run.skillAs<SkillCorvane>();
    return s->state == 0 ? kSceneScale : s->brightness();
}

SkillCase corvaneCase(const std::string& name, int side, int clockStart, bool cutIn) {
    auto n = std::make_shared<Notes>();
    SkillCase c;
    c.name = name;
    c.character = kPelun;
    c.level = 2;
    c.side = side;
    c.cutIn = cutIn;
    c.casterField = {"....#.....", "..*.#.....", "*...##..*.", "####.#####"};
    c.rivalField = {"....##....", "#.########"};
    c.rivalPending = 1;
    // Wind-up 31 + 81, beam 101, firing 101 (the count goes up by 2 from 100 to 300), the fill, 150 frames of fade
    // and one more, the end.
    const std::vector<int> timeline = {31, 81, 101, 101, 1, 151, 1};
    c.frames = changesOf(timeline).back();
    c.drawUpdate = drawAround(changesOf(timeline));
    c.prepare = [n, clockStart](SkillRun& run) {
        *n = Notes();
        run.caster().pendingGarbage = 1;
        if (clockStart != kStepperClockStart) useSteppedGameClockForTest(clockStart);
        SetDrawColorScale(kSceneScale, kSceneScale, kSceneScale);
    };
    c.eachFrame = [n, cutIn](SkillRun& run) {
        SkillCorvane* s = run.skillAs<SkillCorvane>();
        ASSERT_NE(nullptr, s);
        noteState(*n, s->state);
        EXPECT_EQ(kFaceHidden, run.caster().face) << "update " << run.frame;
        // The rival reels from the firing on.
        EXPECT_EQ(n->lastState >= 3 ? kFaceLose : kFaceNormal, run.rival().face) << "update " << run.frame;
        if (s->state <= 4) {
            EXPECT_EQ(kCellEmpty, run.caster().cells[kFieldRows - 3][0]) << "filled before the firing ended";
        }
        if (s->state == 2 || s->state == 3) n->rings.insert(s->ringFrame);
        if (s->state == 3) n->toggled.insert(s->figureFrame);
        // The caster's background is the one drawn (the rival's is off), whatever the sign of its start time.
        if (cutIn) {
            Player& p0 = *run.scene->player(0);
            Player& p1 = *run.scene->player(1);
            EXPECT_EQ(run.caster().getSkillBack().get(),
                      skillBackToDraw(p0.getSkillBack().get(), p1.getSkillBack().get()))
                << "update " << run.frame << ", start time " << run.caster().getSkillBack()->startTime;
        }
    };
    c.atEnd = [n, clockStart, timeline](SkillRun& run) {
        EXPECT_EQ(timeline, durations(n->states));
        // Chips and holes alike are overwritten.
        EXPECT_EQ((Rows{"....#.....", "##########", "##########", "##########"}), fieldRows(run.caster(), 18));
        EXPECT_EQ((std::set<int>{0, 1, 2}), n->rings);
        EXPECT_EQ((std::set<int>{2, 3}), n->toggled) << "the figure's toggle";
        EXPECT_EQ(kFaceNormal, run.rival().face);
        if (clockStart < 0) {
            EXPECT_LT(run.caster().getSkillBack()->startTime, 0) << "the case meant a negative clock";
        }
    };
    c.after = [](SkillRun& run) {
        useSteppedGameClockForTest(kStepperClockStart);
        // The caster's next lock clears the three rows: one cancels its own pending row, two reach the rival.
        run.scene->setDrawingEnabledForTesting(false);
        ASSERT_TRUE(dropUntilRowsAreSent(run, 1)) << "the rows were never sent";
        run.scene->setDrawingEnabledForTesting(true);
        EXPECT_EQ(1 + 2, run.rival().pendingGarbage);
        EXPECT_EQ(0, run.caster().pendingGarbage);
        EXPECT_EQ(kCellBlock, run.caster().cells[kFieldRows - 1][4]) << "the row above came down three rows";
    };
    c.drawScale = corvaneScale;
    return c;
}

// SkillGrakel rows.

SkillCase grakelCase(const std::string& name, int side, bool graves, bool cutIn) {
    auto n = std::make_shared<Notes>();
    SkillCase c;
    c.name = name;
    c.character = kPelun;
    c.level = 3;
    c.side = side;
    c.cutIn = cutIn;
    c.rivalField = {"....#.....", "..###.....", "#.##*####.", "####.#####",
                    ".########*", "##.#######", "#.#.#.#.#.", "#########."};
    c.rivalFace = graves ? kFaceGrave : kFaceNormal;
    // Fly off 78, beams drop 91, widen and wander 200, blast 1, clear 18, narrow 36, fly back 156; one more update
    // where a state waits on a count; the end.
    const std::vector<int> timeline = {79, 92, 201, 1, 18, 37, 157, 1};
    c.frames = changesOf(timeline).back();
    c.drawUpdate = drawAround(changesOf(timeline));
    c.prepare = [n, graves](SkillRun& run) {
        *n = Notes();
        n->before = fieldRows(run.rival(), 0);
        if (graves) run.caster().face = kFaceGrave;
    };
    c.eachFrame = [n, graves](SkillRun& run) {
        SkillGrakel* s = run.skillAs<SkillGrakel>();
        ASSERT_NE(nullptr, s);
        noteState(*n, s->state);
        if (s->state == 4 && n->marked.empty()) n->marked = fieldRows(run.rival(), 0);
        EXPECT_EQ(graves ? kFaceGrave : kFaceHidden, run.caster().face) << "update " << run.frame;
        int rivalFace = graves ? kFaceGrave : n->lastState >= 3 ? kFaceLose : kFaceNormal;
        EXPECT_EQ(rivalFace, run.rival().face) << "update " << run.frame;
        // The rival's mark counter runs 1-17 through the clear and is 0 again when the marked cells go.
        if (n->lastState == 4) {
            int clearUpdate = static_cast<int>(n->states.size()) - (79 + 92 + 201 + 1);
            EXPECT_EQ(s->state == 4 ? clearUpdate : 0, run.rival().clearFrames) << "update " << run.frame;
        }
    };
    c.atEnd = [n, graves, timeline](SkillRun& run) {
        EXPECT_EQ(timeline, durations(n->states));
        expectBlast(n->before, n->marked, fieldRows(run.rival(), 0));
        EXPECT_EQ(graves ? kFaceGrave : kFaceNormal, run.rival().face);
        EXPECT_EQ(graves ? kFaceGrave : kFaceNormal, run.caster().face);
        SkillGrakel* s = run.skillAs<SkillGrakel>();
        ASSERT_NE(nullptr, s);
        EXPECT_EQ(220, s->figure.y) << "the caster flew back to where it started";
    };
    c.after = [graves](SkillRun& run) {
        EXPECT_EQ(graves ? kFaceGrave : kFaceNormal, run.caster().face);
        EXPECT_EQ(graves ? kFaceGrave : kFaceNormal, run.rival().face);
    };
    c.drawScale = brightnessOf<SkillGrakel>;
    return c;
}

// Rows of one caster side follow each other, so the match's resources stay loaded from row to row.
const SkillCase kPelunCases[] = {
    vintrelChosenColumns(),
    // The millisecond count has gone negative (24.8 days of uptime): the ring, the toggle and the choice of
    // background must not notice.
    corvaneCase("Corvane side 1 with a negative clock", 1, -100000, true),
    grakelCase("Grakel side 1", 1, false, false),
    vintrelRandomColumns(),
    corvaneCase("Corvane side 0", 0, kStepperClockStart, false),
    grakelCase("Grakel side 0 graves stay without cut in", 0, true, false),
};

INSTANTIATE_TEST_SUITE_P(Pelun, SkillCaseTest, ::testing::ValuesIn(kPelunCases), SkillCaseName);

// Small fixtures: a Pelun caster against a Kessa rival, held as the rules engine holds them while a skill runs.
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

    // Updates until the skill puts its owner into state 8; `each` runs after every update.
    template <class S>
    void runToEnd(S& skill, const std::function<void()>& each = nullptr) {
        for (int f = 0; f < 3000 && caster->state == kStateSkillRunning; ++f) {
            skill.update();
            if (each) each();
        }
        EXPECT_EQ(kStateSkillOverBoth, caster->state) << "the skill did not end";
    }

    std::shared_ptr<Player> caster;
    std::shared_ptr<Player> rival;
};

// The star started last can land in a full column long before an earlier one reaches a low floor: the skill waits
// for every star, so the earlier one still falls and places its block.
TEST_F(PelunSkillTest, VintrelWaitsForAnEarlierStarThatIsStillFalling) {
    makeSides(0);
    setField(*rival, Rows(kFieldRows, "#........."));
    Rows before = fieldRows(*rival, 0);
    SkillVintrel skill(caster, nullptr);
    for (int k = 0; k < SkillVintrel::kStars; ++k) skill.setStarColumnForTesting(k, k == 8 ? 5 : 0);
    runToEnd(skill);
    EXPECT_TRUE(skill.stars[8].landed);
    EXPECT_EQ(kCellBlock, rival->cells[kFieldRows - 1][5]);
    expectStarBlocks(before, fieldRows(*rival, 0), skill);
}

TEST_F(PelunSkillTest, VintrelRandomStarsKeepTheirInvariantsOverManySeeds) {
    for (int seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        RandomSetSeed(seed);
        makeSides(seed % 2);
        Rows rows(kFieldRows - 6, "#.........");
        for (const char* row : {"#.......#.", "##......##", "#.#.#.#.#.", "###..#####", "#..#######", "####.####*"})
            rows.push_back(row);
        setField(*rival, rows);
        Rows before = fieldRows(*rival, 0);
        SkillVintrel skill(caster, nullptr);
        runToEnd(skill);
        expectStarBlocks(before, fieldRows(*rival, 0), skill);
    }
}

// The skills hold neither side: once the round lets go of both, both are gone, and a skill whose sides are gone
// does nothing.
TEST_F(PelunSkillTest, NoSkillKeepsEitherSideAlive) {
    for (SkillFactory make : {&makeSkillVintrel, &makeSkillCorvane, &makeSkillGrakel}) {
        makeSides(0);
        std::shared_ptr<Skill> skill = make(caster, nullptr);
        caster->setSkill(skill);
        std::weak_ptr<Player> c = caster, r = rival;
        caster.reset();
        rival.reset();
        EXPECT_TRUE(c.expired());
        EXPECT_TRUE(r.expired());
        skill->update();
    }
}

// The millisecond count is an int: after 24.8 days it is negative, and it wraps from INT_MAX to INT_MIN. The ring's
// frame and the figure's toggle come from it and must keep their ranges either way.
TEST_F(PelunSkillTest, CorvaneRingAndToggleKeepTheirRangesWhenTheClockIsNegativeOrWraps) {
    for (int start : {100000, -2000000000, INT_MAX - 1500}) {
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

// With every rival row full, each row shows its own spacing exactly: three holes at j, j + 3, j + 6.
TEST_F(PelunSkillTest, GrakelBlastsExactlyThreeCellsOfOneSpacingPerFullRow) {
    for (int side : {0, 1}) {
        SCOPED_TRACE(side);
        makeSides(side);
        Rows full(kFieldRows, "##########");
        full[3] = "#*###*####";
        full[20] = "*########*";
        setField(*rival, full);
        SkillGrakel skill(caster, nullptr);
        Rows marked;
        runToEnd(skill, [&] {
            if (skill.state == 4 && marked.empty()) marked = fieldRows(*rival, 0);
            for (const SkillGrakel::Beam& beam : skill.beams) {
                ASSERT_GE(beam.x, rival->side * 240 + 110);
                ASSERT_LE(beam.x, rival->side * 240 + 254);
            }
        });
        Rows after = fieldRows(*rival, 0);
        expectBlast(full, marked, after);
        std::set<int> spacings;
        for (const std::string& row : after) {
            EXPECT_EQ(3, std::count(row.begin(), row.end(), '.')) << row;
            spacings.insert(static_cast<int>(row.find('.')));
        }
        EXPECT_GT(spacings.size(), 1u) << "each row draws its own spacing";
    }
}

}  // namespace
