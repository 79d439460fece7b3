// When each character's computer wants to cast, by its level, the rival's level and the height of the stacks.
#include <gtest/gtest.h>

#include "game/match/cpu.h"
#include "game/match/match_fixture.h"
#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "game/shell/options.h"
#include "game/skills/skill.h"
#include "game/skills/skill_use_pattern.h"
#include "runtime/runtime.h"
#include "tests/game_support/game_stepper.h"

#include <typeinfo>

namespace {

struct PolicyCase {
    int character, level, rivalLevel;
    int ownRow, rivalRow;  // a single block in that row (column 4) of the field; -1 for an empty field
    bool casts;
};

// Rows 9/10 sit on either side of the top-10 test, 14/15 on either side of the top-15 test.
const PolicyCase kPolicyCases[] = {
    // Kessa: never at level 1 (its skill needs an aim); level 2 only with a rival level of 2 or more.
    {0, 1, 3, 0, 0, false},   {0, 2, 1, -1, -1, false}, {0, 2, 2, -1, -1, true},  {0, 3, 0, -1, -1, true},
    {0, 0, 3, 0, 0, false},
    // Pelun: level 1 when the rival's top 10 rows hold a cell; its own field does not count.
    {1, 1, 0, -1, 9, true},   {1, 1, 0, -1, 10, false}, {1, 1, 0, 0, -1, false},  {1, 2, 0, -1, -1, true},
    {1, 3, 0, -1, -1, true},  {1, 0, 3, 0, 0, false},
    // Fiora: levels 1 and 2 on the rival's top 10 rows.
    {2, 1, 0, -1, 9, true},   {2, 2, 0, -1, 10, false}, {2, 2, 0, 0, 21, false},  {2, 2, 0, -1, 0, true},
    {2, 3, 0, -1, -1, true},
    // Vellis and Obren: level 1 on their own top 15 rows, level 2 on the rival's.
    {3, 1, 0, 14, -1, true},  {3, 1, 0, 15, -1, false}, {3, 1, 0, -1, 14, false}, {3, 2, 0, -1, 14, true},
    {3, 2, 0, 14, 15, false}, {3, 3, 0, -1, -1, true},  {3, 0, 0, 0, 0, false},   {4, 1, 0, 14, -1, true},
    {4, 1, 0, 15, 0, false},  {4, 2, 0, -1, 14, true},  {4, 2, 0, 0, 15, false},  {4, 3, 0, -1, -1, true},
    // Quen: level 1 on its own top 15 rows; level 2 only while the rival's top 15 rows are empty.
    {5, 1, 0, 14, -1, true},  {5, 1, 0, 15, -1, false}, {5, 2, 0, -1, 14, false}, {5, 2, 0, -1, 15, true},
    {5, 2, 0, -1, -1, true},  {5, 3, 0, -1, 0, true},   {5, 0, 0, 14, -1, false},
    // Wix: level 1 on its own top 15 rows, never at level 2.
    {6, 1, 0, 14, -1, true},  {6, 1, 0, 15, -1, false}, {6, 2, 0, 0, 0, false},   {6, 2, 0, -1, -1, false},
    {6, 3, 0, -1, -1, true},  {6, 0, 0, 0, 0, false},
};

void setUp(Player& self, Player& rival, const PolicyCase& c) {
    setField(self, {});
    setField(rival, {});
    if (c.ownRow >= 0) self.cells[c.ownRow][4] = 1;
    if (c.rivalRow >= 0) rival.cells[c.rivalRow][4] = 1;
    self.skillLevel = c.level;
    rival.skillLevel = c.rivalLevel;
}

::testing::Message describe(const PolicyCase& c) {
    return ::testing::Message() << "character " << c.character << " level " << c.level << " rival level "
                                << c.rivalLevel << " own row " << c.ownRow << " rival row " << c.rivalRow;
}

TEST(SkillUsePatternTest, EachCharacterCastsByItsLevelAndTheStacks) {
    for (const PolicyCase& c : kPolicyCases) {
        PlayerPair pair = makePair(c.character, 2);
        setUp(*pair.side0, *pair.side1, c);
        std::shared_ptr<SkillUsePattern> pattern = makeSkillUsePattern(c.character);
        ASSERT_TRUE(pattern);
        EXPECT_EQ(c.casts, pattern->shouldUse(*pair.side0)) << describe(c);
    }
    EXPECT_FALSE(makeSkillUsePattern(7));
}

class NeverRunSkill : public Skill {
public:
    using Skill::Skill;
    void update() override {}
    void draw() override {}
};

std::shared_ptr<Skill> makeNeverRun(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<NeverRunSkill>(owner, loader);
}

TEST(SkillUsePatternTest, TheComputerPressesTheSkillButtonExactlyWhenItsPolicySaysSo) {
    RandomSetSeed(5);
    resetOptionValues();
    // Every cell holds a class, so only the policy decides.
    SkillFactory saved[7][3];
    for (int ch = 0; ch < 7; ++ch)
        for (int level = 1; level <= 3; ++level)
            saved[ch][level - 1] = replaceSkillClassForTesting(ch, level, makeNeverRun);
    for (const PolicyCase& c : kPolicyCases) {
        clearInputs();
        auto cpu = std::make_shared<Cpu>(c.character, 0);
        auto rival = std::make_shared<Player>(1, 0, 0);
        cpu->setEnemy(rival);
        rival->setEnemy(cpu);
        setUp(*cpu, *rival, c);
        cpu->think();
        EXPECT_EQ(c.casts, (inputCurrent[1] & kButtonUp) != 0) << describe(c);
    }
    for (int ch = 0; ch < 7; ++ch)
        for (int level = 1; level <= 3; ++level) replaceSkillClassForTesting(ch, level, saved[ch][level - 1]);

    // Without a class for the level the computer never presses, whatever its policy says.
    SkillFactory old = replaceSkillClassForTesting(6, 3, nullptr);
    clearInputs();
    auto cpu = std::make_shared<Cpu>(6, 0);
    auto rival = std::make_shared<Player>(1, 0, 0);
    cpu->setEnemy(rival);
    rival->setEnemy(cpu);
    cpu->skillLevel = 3;
    cpu->think();
    EXPECT_EQ(0, inputCurrent[1] & kButtonUp);
    replaceSkillClassForTesting(6, 3, old);
    clearInputs();
}

// Where a policy says yes, the computer's press goes through the rules engine to the cast: the skill installed
// is the class of its character at that level.
TEST(SkillUsePatternTest, WhereAPolicySaysYesTheComputerCastsThatSkill) {
    GameStepper game(ResourceTree::kFolders);
    ASSERT_TRUE(game.started());
    resetOptionValues();
    skillCutInOff = true;
    RecordingProcesser rules;
    for (const PolicyCase& c : kPolicyCases) {
        if (!c.casts) continue;
        SCOPED_TRACE(describe(c));
        clearInputs();
        auto cpu = std::make_shared<Cpu>(c.character, 0);
        auto rival = std::make_shared<Player>((c.character + 1) % 7, 0, 0);
        cpu->setEnemy(rival);
        rival->setEnemy(cpu);
        setUp(*cpu, *rival, c);
        for (int f = 0; f < 40 && !cpu->skill; ++f) {
            setInputs(0, 0);
            rules.process(*rival);
            rules.process(*cpu);
            if (f == 0) {
                EXPECT_EQ(kStateSkillWait, cpu->state) << "no press";
            }
        }
        ASSERT_TRUE(cpu->skill) << "nothing was cast";
        const std::shared_ptr<Skill> reference = skillClassTable[c.character][c.level - 1](cpu, game.loaderPointer());
        ASSERT_TRUE(reference);
        EXPECT_EQ(typeid(*reference), typeid(*cpu->skill));
    }
    resetOptionValues();
    clearInputs();
}

}  // namespace
