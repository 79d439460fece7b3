// The skill button, the wait, the run and the end, with scripted skills put into the class table.
#include <gtest/gtest.h>

#include "game/match/match_fixture.h"
#include "game/match/next_piece_queue.h"
#include "game/shell/input_poll.h"
#include "game/shell/options.h"
#include "game/skills/skill.h"
#include "game/skills/skill_name.h"
#include "runtime/runtime.h"

namespace {

// Ends with state 8 on its fifth update.
class ScriptedHeldSkill : public Skill {
public:
    using Skill::Skill;
    void update() override {
        if (++updates == 5) owner()->state = kStateSkillOverBoth;
    }
    void draw() override {}
    int updates = 0;
};

// The falling-run pattern: switches both sides to the next piece, keeps running while its owner plays, and
// ends with state 9 after its owner has taken two more pieces. It notes the state it sees on each update.
class ScriptedRunSkill : public Skill {
public:
    using Skill::Skill;
    void update() override {
        Player* o = owner();
        seen.push_back(o->state);
        if (!switched) {
            switched = true;
            o->skillRunsWhileFalling = true;
            o->state = kStateNextPiece;
            o->getEnemy()->state = kStateNextPiece;
            startPieces = o->piecesTaken;
            return;
        }
        if (o->piecesTaken >= startPieces + 3) {
            o->skillRunsWhileFalling = false;
            o->state = kStateSkillOverSelf;
        }
    }
    void draw() override {}
    bool switched = false;
    int startPieces = 0;
    std::vector<int> seen;
};

template <class T>
std::shared_ptr<Skill> make(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<T>(owner, loader);
}

class SkillProtocolTest : public ::testing::Test {
protected:
    void SetUp() override {
        RandomSetSeed(99);
        resetOptionValues();
        clearInputs();
        forcedNextKind = kNoPieceKind;
        resetNextQueue();
        pair = makePair(0, 1);
        old1 = replaceSkillClassForTesting(0, 1, make<ScriptedHeldSkill>);
        old2 = replaceSkillClassForTesting(0, 2, make<ScriptedRunSkill>);
    }
    void TearDown() override {
        replaceSkillClassForTesting(0, 1, old1);
        replaceSkillClassForTesting(0, 2, old2);
        resetOptionValues();
        clearInputs();
        SkillName::clearCurrent();
    }
    // A frame of both sides, side 0 pressing the given buttons.
    void frame(int buttons = 0) {
        setInputs(buttons, 0);
        rules.process(*pair.side0);
        rules.process(*pair.side1);
    }

    PlayerPair pair;
    RecordingProcesser rules;
    SkillFactory old1 = nullptr, old2 = nullptr;
};

TEST_F(SkillProtocolTest, TheButtonIsRefusedAtLevel0AndWhileABlockingFlagIsSet) {
    struct Case {
        int level;
        bool Player::*flag;
    } cases[] = {{0, nullptr},
                 {1, &Player::skillRunsWhileFalling},
                 {1, &Player::rotationLocked},
                 {1, &Player::skillBlocked},
                 {1, &Player::stopTime}};
    int warnings = 0;
    for (const Case& c : cases) {
        Player& p = *pair.side0;
        p.skillRunsWhileFalling = p.rotationLocked = p.skillBlocked = p.stopTime = false;
        p.skillLevel = c.level;
        frame(0);
        if (c.flag) p.*(c.flag) = true;
        frame(kButtonUp);
        EXPECT_EQ(kStateFalling, p.state);
        EXPECT_EQ(kStateFalling, pair.side1->state);
        EXPECT_EQ(++warnings, rules.count(16));
    }
    // And while the rival is not falling.
    pair.side0->rotationLocked = pair.side0->stopTime = pair.side0->skillBlocked = false;
    pair.side0->skillRunsWhileFalling = false;
    pair.side1->state = kStateClearing;
    frame(0);
    setInputs(kButtonUp, 0);
    rules.process(*pair.side0);
    EXPECT_EQ(kStateFalling, pair.side0->state);
}

TEST_F(SkillProtocolTest, TheWaitIs180FramesWithTheBannerAt126Or21FramesWithTheCutInOff) {
    for (bool cutInOff : {false, true}) {
        SCOPED_TRACE(cutInOff ? "cut-in off" : "cut-in shown");
        pair = makePair(0, 1);
        skillCutInOff = cutInOff;
        SkillName::clearCurrent();
        pair.side0->skillLevel = 1;
        frame(0);
        frame(kButtonUp);
        ASSERT_EQ(kStateSkillWait, pair.side0->state);
        EXPECT_EQ(kStateFrozen, pair.side1->state);
        int bannerAt = -1, runningAt = -1;
        for (int f = 1; f <= 200 && runningAt < 0; ++f) {
            frame(0);
            if (bannerAt < 0 && pair.side0->state == kStateSkillWaitBanner) bannerAt = f;
            if (pair.side0->state == kStateSkillRunning || pair.side0->skill) runningAt = f;
        }
        if (cutInOff) {
            EXPECT_EQ(-1, bannerAt);
            EXPECT_EQ(21, runningAt);
            EXPECT_FALSE(SkillName::current());
        } else {
            EXPECT_EQ(126, bannerAt);
            EXPECT_EQ(180, runningAt);
            ASSERT_TRUE(SkillName::current());
            EXPECT_EQ(74, SkillName::current()->image);  // Kessa's first banner
        }
        ASSERT_TRUE(pair.side0->skill);
        EXPECT_EQ(0, pair.side0->skillLevel);
        EXPECT_EQ(kFaceNormal, pair.side0->face);
    }
}

TEST_F(SkillProtocolTest, EndingInState8SendsBothSidesToTheNextPiece) {
    skillCutInOff = true;
    pair.side0->skillLevel = 1;
    frame(0);
    frame(kButtonUp);
    for (int f = 0; f < 21; ++f) frame(0);
    auto* skill = dynamic_cast<ScriptedHeldSkill*>(pair.side0->skill.get());
    ASSERT_NE(nullptr, skill);
    EXPECT_EQ(0, skill->updates);  // made on the wait's last frame, first updated on the next
    while (pair.side0->state == kStateSkillRunning && skill->updates < 50) frame(0);
    EXPECT_EQ(5, skill->updates);
    EXPECT_EQ(kStateSkillOverBoth, pair.side0->state);
    EXPECT_EQ(kStateFrozen, pair.side1->state);
    frame(0);
    EXPECT_EQ(kStateNextPiece, pair.side0->state);
    // Side 1 was stepped after side 0's end step in the same frame: it has claimed or waits for the head.
    EXPECT_EQ(kStateNextPiece, pair.side1->state);
    EXPECT_EQ(5, skill->updates);
}

TEST_F(SkillProtocolTest, AFallingRunSkillBlocksItsOwnersCastsAndUpdatesAfterTheLockStep) {
    skillCutInOff = true;
    pair.side0->skillLevel = 2;
    frame(0);
    frame(kButtonUp);
    for (int f = 0; f < 22; ++f) frame(0);
    auto* skill = dynamic_cast<ScriptedRunSkill*>(pair.side0->skill.get());
    ASSERT_NE(nullptr, skill);
    ASSERT_TRUE(skill->switched);
    EXPECT_TRUE(pair.side0->skillRunsWhileFalling);

    // Give the owner a level again: its cast is refused while the skill runs.
    pair.side0->skillLevel = 3;
    bool sawLockState = false;
    int warnings = rules.count(16);
    for (int f = 0; f < 3000 && pair.side0->skillRunsWhileFalling; ++f) {
        int buttons = (f % 2) ? kButtonUp | kButtonDown : kButtonDown;
        frame(buttons);
        EXPECT_NE(kStateSkillWait, pair.side0->state);
    }
    EXPECT_FALSE(pair.side0->skillRunsWhileFalling);
    EXPECT_GT(rules.count(16), warnings);
    for (int state : skill->seen)
        if (state == kStateNextPiece || state == kStateClearing || state == kStateGarbage) sawLockState = true;
    // The update of the lock frame saw the state the lock had just set.
    EXPECT_TRUE(sawLockState);
    EXPECT_EQ(kStateSkillOverSelf, pair.side0->state);
    frame(0);
    EXPECT_EQ(kStateFalling, pair.side0->state);
}

TEST_F(SkillProtocolTest, ASuccessfulPressEndsTheFallingStepSoTheSameFrameCannotLock) {
    pair.side0->skillLevel = 1;
    placePiece(*pair.side0, 1, 0, 3, 19);  // resting on the floor, due to lock this frame
    pair.side0->lockSub = 360;
    clearInputs();
    setInputs(kButtonUp | kButtonLeft, 0);
    rules.process(*pair.side0);
    EXPECT_EQ(kStateSkillWait, pair.side0->state);
    EXPECT_EQ(kStateFrozen, pair.side1->state);
    EXPECT_EQ(3, pair.side0->piece->column) << "no move";
    EXPECT_EQ(360, pair.side0->lockSub);
    EXPECT_EQ(Rows({"..........", ".........."}), fieldRows(*pair.side0, 20)) << "no lock";
    EXPECT_EQ(0, rules.count(22));
    rules.process(*pair.side1);
    EXPECT_EQ(kStateFrozen, pair.side1->state);
    EXPECT_EQ(kStateSkillWait, pair.side0->state);
}

TEST_F(SkillProtocolTest, ACastWithNoClassEndsAtOnceAndNeverRerunsTheOldSkill) {
    skillCutInOff = true;
    pair.side0->skillLevel = 1;
    frame(0);
    frame(kButtonUp);
    for (int f = 0; f < 21; ++f) frame(0);
    std::shared_ptr<Skill> first = pair.side0->skill;
    auto* held = dynamic_cast<ScriptedHeldSkill*>(first.get());
    ASSERT_NE(nullptr, held);
    for (int f = 0; f < 50 && pair.side0->state != kStateNextPiece; ++f) frame(0);
    for (int f = 0; f < 200 && pair.side0->state != kStateFalling; ++f) frame(0);
    ASSERT_EQ(kStateFalling, pair.side0->state);
    for (int f = 0; f < 200 && pair.side1->state != kStateFalling; ++f) frame(0);

    // An empty cell: the wait runs, then the cast ends with state 8.
    SkillFactory old3 = replaceSkillClassForTesting(0, 3, nullptr);
    pair.side0->skillLevel = 3;
    frame(0);
    frame(kButtonUp);
    ASSERT_EQ(kStateSkillWait, pair.side0->state);
    int updates = held->updates;
    for (int f = 0; f < 21; ++f) frame(0);
    EXPECT_EQ(kStateSkillOverBoth, pair.side0->state);
    EXPECT_EQ(first, pair.side0->skill);
    frame(0);
    EXPECT_EQ(kStateNextPiece, pair.side0->state);
    EXPECT_EQ(updates, held->updates);
    replaceSkillClassForTesting(0, 3, old3);
}

TEST(SkillOwnership, TheSidesAndTheirSkillDoNotKeepEachOtherAlive) {
    auto old = replaceSkillClassForTesting(0, 1, make<ScriptedHeldSkill>);
    std::weak_ptr<Player> side0, side1;
    std::weak_ptr<Skill> skill;
    std::weak_ptr<Block> piece;
    {
        PlayerPair pair = makePair(0, 1);
        pair.side0->skillLevel = 1;
        createSkill(pair.side0, nullptr);
        side0 = pair.side0;
        side1 = pair.side1;
        skill = pair.side0->skill;
        piece = pair.side0->piece;
        ASSERT_FALSE(skill.expired());
        EXPECT_EQ(pair.side0.get(), skill.lock()->owner());
    }
    EXPECT_TRUE(side0.expired());
    EXPECT_TRUE(side1.expired());
    EXPECT_TRUE(skill.expired());
    EXPECT_TRUE(piece.expired());
    replaceSkillClassForTesting(0, 1, old);
}

}  // namespace
