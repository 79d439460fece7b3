// The skill-name banner's course and the skill backgrounds' fades, counters and the choice of the one drawn; in
// the stepped match, each side's skill end fades that side's decor only.
#include <gtest/gtest.h>

#include <climits>

#include "game/match/match_fixture.h"
#include "game/match/scene_game_main.h"
#include "game/shell/input_poll.h"
#include "game/shell/options.h"
#include "game/shell/scene.h"
#include "game/skills/skill.h"
#include "game/skills/skill_back.h"
#include "game/skills/skill_name.h"
#include "tests/game/game_test_util.h"

namespace {

// Steps the current banner until its phase changes; returns the frames taken (capped).
int stepsUntilPhaseChanges() {
    const int start = SkillName::current()->phase;
    int frames = 0;
    while (SkillName::current()->phase == start && frames < 1000) {
        SkillName::step();
        ++frames;
    }
    return frames;
}

class SkillNameTest : public ::testing::Test {
protected:
    void TearDown() override { SkillName::clearCurrent(); }
};

TEST_F(SkillNameTest, ZoomsToTheCastersEdgeRisesHoldsAndFades) {
    struct Case {
        int side, width, height;
    } cases[] = {{0, 200, 40}, {1, 200, 40}, {0, 628, 60}, {1, 628, 60}, {0, 37, 13}, {1, 401, 77}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "side " << c.side << " width " << c.width);
        auto banner = std::make_shared<SkillName>(nullptr, c.side, 2, 1);
        banner->setImageSize(c.width, c.height);
        SkillName::setCurrent(banner);
        const int d = (320 - c.width / 2) / 6;

        // Zoom: the centre ends 1-6 pixels past the limit of the caster's edge, then the banner is at full size.
        int zoom = stepsUntilPhaseChanges();
        int moves = zoom - 1;
        EXPECT_EQ(320 + moves * (c.side * 12 - 6), banner->x);
        if (c.side == 0) {
            EXPECT_LT(banner->x, c.width / 2 + 10);
            EXPECT_GE(banner->x, c.width / 2 + 10 - 6);
        } else {
            EXPECT_GT(banner->x, 630 - c.width / 2);
            EXPECT_LE(banner->x, 630 - c.width / 2 + 6);
        }
        EXPECT_NEAR(d, moves, 1);
        EXPECT_EQ(1, banner->phase);
        EXPECT_DOUBLE_EQ(1.0, banner->scale);
        EXPECT_EQ(255, banner->alpha);

        // Rise to 10 pixels below the top, stopping 1-6 pixels past it, then hold.
        stepsUntilPhaseChanges();
        EXPECT_EQ(2, banner->phase);
        EXPECT_LT(banner->y, c.height / 2 + 10);
        EXPECT_GE(banner->y, c.height / 2 + 10 - 6);
        for (int i = 0; i < 100; ++i) SkillName::step();
        EXPECT_EQ(2, banner->phase);

        // Fade: 51 frames from 255 to 0, gone on the next.
        banner->phase = 3;
        for (int i = 0; i < 51; ++i) SkillName::step();
        EXPECT_EQ(0, banner->alpha);
        EXPECT_EQ(3, banner->phase);
        SkillName::step();
        EXPECT_EQ(4, banner->phase);
        SkillName::step();
        EXPECT_EQ(4, banner->phase);
        EXPECT_EQ(0, banner->alpha);
    }
}

TEST_F(SkillNameTest, AWideBannerStillZoomsForAFrameAndAMissingImageIsEmpty) {
    // 630 pixels or more would give no zoom frames and a division by zero.
    for (int width : {630, 640, 1000}) {
        SkillName banner(nullptr, 1, 0, 3);
        banner.setImageSize(width, 40);
        EXPECT_EQ(155, banner.alphaStep) << width;
        EXPECT_DOUBLE_EQ(2.0, banner.scaleStep) << width;
        banner.stepOnce();
        EXPECT_EQ(1, banner.phase) << width;
    }
    SkillName missing(nullptr, 0, 6, 3);
    EXPECT_EQ(0, missing.width);
    EXPECT_EQ(0, missing.height);
    EXPECT_EQ(94, missing.image);
    EXPECT_EQ(155 / 53, missing.alphaStep);
}

TEST_F(SkillNameTest, ANewCastReplacesTheCurrentBannerEvenWhileItFades) {
    PlayerPair pair = makePair(3, 5);
    pair.side0->skillLevel = 2;
    SkillName::show(*pair.side0);
    std::shared_ptr<SkillName> first = SkillName::current();
    ASSERT_TRUE(first);
    EXPECT_EQ(73 + 3 * 3 + 2, first->image);
    EXPECT_EQ(-6, first->vx);
    EXPECT_EQ(0, first->lineX);
    first->phase = 3;
    pair.side1->skillLevel = 1;
    SkillName::show(*pair.side1);
    std::shared_ptr<SkillName> second = SkillName::current();
    ASSERT_TRUE(second);
    EXPECT_NE(first, second);
    EXPECT_EQ(73 + 3 * 5 + 1, second->image);
    EXPECT_EQ(6, second->vx);
    EXPECT_EQ(464, second->lineX);
    EXPECT_EQ(0, second->phase);
    SkillName::clearCurrent();
    EXPECT_FALSE(SkillName::current());
}

TEST(SkillBackTest, EveryCharacterFadesInAndOutInThirtyFrames) {
    for (int character = 0; character < 7; ++character) {
        SCOPED_TRACE(character);
        std::shared_ptr<SkillBack> back = makeSkillBack(character, 1);
        ASSERT_TRUE(back);
        EXPECT_EQ(0, back->alpha);
        back->phase = 1;
        back->startTime = 1234;
        for (int i = 0; i < 30; ++i) back->update();
        EXPECT_EQ(150, back->alpha);
        EXPECT_EQ(1, back->phase);
        back->update();
        EXPECT_EQ(2, back->phase);
        for (int i = 0; i < 10; ++i) back->update();
        EXPECT_EQ(150, back->alpha);
        back->phase = 3;
        for (int i = 0; i < 30; ++i) back->update();
        EXPECT_EQ(0, back->alpha);
        EXPECT_EQ(3, back->phase);
        EXPECT_EQ(1234, back->startTime);
        back->update();
        EXPECT_EQ(0, back->phase);
        EXPECT_EQ(0, back->startTime);
    }
    EXPECT_FALSE(makeSkillBack(7, 0));
    EXPECT_FALSE(makeSkillBack(-1, 0));
}

TEST(SkillBackTest, CountersRunOnAndKeepTheirValuesBetweenCastsButObrensCountRestarts) {
    SkillBackKessa kessa;
    kessa.phase = 2;
    for (int i = 0; i < 400; ++i) kessa.update();
    EXPECT_EQ(400 % 360, kessa.a);
    EXPECT_EQ((400 * 358) % 360, kessa.b);
    kessa.phase = 0;
    kessa.draw(nullptr);
    kessa.phase = 1;
    kessa.update();
    EXPECT_EQ(401 % 360, kessa.a);

    SkillBackPelun pelun(1);
    pelun.phase = 2;
    for (int i = 0; i < 241; ++i) pelun.update();
    EXPECT_EQ(0, pelun.scroll);  // -482 wraps to 0
    pelun.update();
    EXPECT_EQ(-2, pelun.scroll);
    EXPECT_EQ((242 * 2) % 360, pelun.angle);

    SkillBackVellis vellis;
    vellis.phase = 2;
    for (int i = 0; i < 61; ++i) vellis.update();
    EXPECT_EQ(0, vellis.count);
    EXPECT_EQ(30, vellis.a);
    EXPECT_EQ(359 * 61 % 360, vellis.b);

    SkillBackWix wix;
    wix.phase = 2;
    for (int i = 0; i < 721; ++i) wix.update();
    EXPECT_EQ(1, wix.a);
    EXPECT_EQ(359 * 721 % 720, wix.b);

    SkillBackObren obren;
    obren.phase = 2;
    for (int i = 0; i < 90; ++i) obren.update();
    EXPECT_EQ(90, obren.count);
    EXPECT_EQ(359 * 90 % 360, obren.angle);
    obren.phase = 0;
    obren.draw(nullptr);
    EXPECT_EQ(0, obren.count);
    EXPECT_EQ(359 * 90 % 360, obren.angle);
}

TEST(SkillBackTest, TheBackgroundThatStartedLaterIsTheOneDrawn) {
    struct Case {
        int phase0, start0, phase1, start1;
        int drawn;
    } cases[] = {
        {2, 1000, 1, 2000, 1},
        {1, 2000, 3, 1000, 0},
        {3, 1500, 1, 1500, 0},               // a tie draws side 0
        {0, 0, 2, 500, 1},
        {2, 500, 0, 0, 0},
        {0, 0, 0, 0, 0},
        {2, -5000, 1, -100, 1},              // the millisecond count has gone negative
        {2, -100, 0, 0, 0},                  // an off background never wins over a negative start
        {0, 0, 3, -2000, 1},
        {2, INT_MAX - 10, 1, INT_MIN + 10, 1},  // the count wrapped between the two starts
    };
    for (const Case& c : cases) {
        SkillBackFiora a, b;
        a.phase = c.phase0;
        a.startTime = c.start0;
        b.phase = c.phase1;
        b.startTime = c.start1;
        EXPECT_EQ(c.drawn == 0 ? static_cast<SkillBack*>(&a) : &b, skillBackToDraw(&a, &b))
            << c.start0 << " vs " << c.start1;
    }
    SkillBackQuen only;
    only.phase = 1;
    only.startTime = 10;
    EXPECT_EQ(&only, skillBackToDraw(nullptr, &only));
    EXPECT_EQ(&only, skillBackToDraw(&only, nullptr));
}

// A falling-run skill that runs until the test ends it: both sides go on to the next piece on its first update,
// and it ends (state 9, or the fades when a lock has just moved its owner on) on the first update after
// endRequested is set for its side.
bool endRequested[2] = {false, false};

class OpenEndedRunSkill : public Skill {
public:
    using Skill::Skill;
    void update() override {
        Player* o = owner();
        if (!started_) {
            started_ = true;
            o->skillRunsWhileFalling = true;
            o->state = kStateNextPiece;
            o->getEnemy()->state = kStateNextPiece;
            return;
        }
        if (endRequested[o->side]) endFallingRun(*o);
    }
    void draw() override {}

private:
    bool started_ = false;
};

std::shared_ptr<Skill> makeOpenEndedRunSkill(const std::shared_ptr<Player>& owner,
                                             const std::shared_ptr<Loader>& loader) {
    return std::make_shared<OpenEndedRunSkill>(owner, loader);
}

class SkillDecorInMatchTest : public SteppedGameTest {
protected:
    void SetUp() override {
        SteppedGameTest::SetUp();
        resetOptionValues();
        endRequested[0] = endRequested[1] = false;
        old0 = replaceSkillClassForTesting(kCharacter0, 1, makeOpenEndedRunSkill);
        old1 = replaceSkillClassForTesting(kCharacter1, 1, makeOpenEndedRunSkill);
    }
    void TearDown() override {
        replaceSkillClassForTesting(kCharacter0, 1, old0);
        replaceSkillClassForTesting(kCharacter1, 1, old1);
        resetOptionValues();
    }

    // Steps with the side's button word until `done` holds; false when it does not within `limit` frames.
    template <class Done>
    bool stepUntil(Done done, int side0 = 0, int side1 = 0, int limit = 2000) {
        for (int f = 0; f < limit; ++f) {
            if (done()) return true;
            game->step(side0, side1);
        }
        return done();
    }

    static constexpr int kCharacter0 = 3, kCharacter1 = 5;
    SkillFactory old0 = nullptr, old1 = nullptr;
};

TEST_F(SkillDecorInMatchTest, ASkillsEndFadesItsOwnSidesBannerAndBackgroundOnly) {
    auto s = std::make_shared<SceneGameMain>(kCharacter0, kCharacter1, 0, 0, true, false, 0, game->loaderPointer());
    s->setDrawingEnabledForTesting(false);
    game->startScene(s);
    ASSERT_TRUE(stepUntil([&] { return s->state() == SceneGameMain::kPlay; }));
    Player& first = *s->player(0);
    Player& second = *s->player(1);
    auto bothFalling = [&] {
        return first.state == kStateFalling && second.state == kStateFalling && first.skill && second.skill &&
               first.skillRunsWhileFalling && second.skillRunsWhileFalling;
    };

    // Side 0 casts; its skill runs on while both play. Then side 1 casts over it: the banner is side 1's.
    first.skillLevel = 1;
    ASSERT_TRUE(stepUntil([&] { return first.state == kStateFalling && second.state == kStateFalling; }));
    game->step(kButtonUp, 0);
    ASSERT_EQ(kStateSkillWait, first.state);
    ASSERT_TRUE(stepUntil([&] { return first.skillRunsWhileFalling && first.state == kStateFalling &&
                                       second.state == kStateFalling; }));
    second.skillLevel = 1;
    game->step(0, kButtonUp);
    ASSERT_EQ(kStateSkillWait, second.state);
    ASSERT_TRUE(stepUntil(bothFalling));
    std::shared_ptr<SkillName> banner = SkillName::current();
    ASSERT_TRUE(banner);
    EXPECT_EQ(1, banner->side);
    ASSERT_TRUE(first.getSkillBack() && second.getSkillBack());
    EXPECT_NE(0, first.getSkillBack()->phase);
    EXPECT_NE(0, second.getSkillBack()->phase);

    // Side 0's skill ends while side 1's still runs: side 0's background fades, side 1's banner and
    // background stay.
    endRequested[0] = true;
    ASSERT_TRUE(stepUntil([&] { return !first.skillRunsWhileFalling && first.state == kStateFalling; }));
    game->step();
    EXPECT_EQ(banner, SkillName::current());
    EXPECT_LT(banner->phase, 3) << "side 1's banner faded when side 0's skill ended";
    EXPECT_TRUE(first.getSkillBack()->phase == 3 || first.getSkillBack()->phase == 0);
    EXPECT_TRUE(second.getSkillBack()->phase == 1 || second.getSkillBack()->phase == 2);

    // Side 1's own end fades its banner.
    endRequested[1] = true;
    ASSERT_TRUE(stepUntil([&] { return !second.skillRunsWhileFalling && second.state == kStateFalling; }));
    game->step();
    EXPECT_EQ(banner, SkillName::current());
    EXPECT_GE(banner->phase, 3);
    EXPECT_TRUE(second.getSkillBack()->phase == 3 || second.getSkillBack()->phase == 0);
}

}  // namespace
