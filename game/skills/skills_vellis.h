// Vellis's three skills: SkillDoll throws knives into the caster's own field and drops it five rows, SkillTrick
// adds five pending garbage rows to the rival, SkillSquare stops the rival's time for four of its pieces while
// play goes on.
#pragma once

#include <memory>

#include "game/skills/skill.h"

class Loader;
class Player;

// Level 1. Runs while both sides are held and ends through finishSkill.
class SkillDoll : public Skill {
public:
    SkillDoll(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
    ~SkillDoll() override;
    void update() override;
    void draw() override;

    int brightness() const { return brightness_; }

private:
    struct CrashMark {
        int x = 0;
        int y = 0;
        int alpha = 255;
        bool visible = false;
    };
    struct Knife {
        double angle = 0.0;  // degrees
        int centreX = 0;
        int centreY = 0;
        double spare = 0.0;
        double x = -500.0;
        double y = -500.0;
        double vx = 0.0;
        double vy = 0.0;
    };
    static constexpr int kKnives = 18;
    static constexpr int kCrashMarks = 4;

    void throwStep(const Player& owner);
    void fieldStep(Player& owner);
    void moveKnives();

    int brightness_ = 255;
    int figureFrame_ = 0;
    int figureOffset_ = 0;
    int figureFrames_[3] = {-1, -1, -1};
    int counter_ = 0;
    CrashMark crash_[kCrashMarks];
    Knife knives_[kKnives];
    double targetX_[kKnives] = {};
    double targetY_[kKnives] = {};
    int state_ = 0;
};

// Level 2. Runs while both sides are held; ends with state 8 and the rival in garbage rising.
class SkillTrick : public Skill {
public:
    SkillTrick(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
    ~SkillTrick() override;
    void update() override;
    void draw() override;

    int brightness() const { return brightness_; }

private:
    int brightness_ = 255;
    int figure_ = -1;
    int countdown_ = 128;
    int state_ = 0;
};

// Level 3. A falling-run skill: from its switch on the rival's time stays stopped until the rival has taken
// four pieces.
class SkillSquare : public Skill {
public:
    SkillSquare(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
    void update() override;
    void draw() override;

    // 0-2 before the switch, 3 while the rival's time is stopped, 4 for the update that ends it, 5 ended.
    int state() const { return state_; }

private:
    int piecesSeen_ = 0;
    int timer_ = 255;
    int state_ = 0;
};

std::shared_ptr<Skill> makeSkillDoll(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
std::shared_ptr<Skill> makeSkillTrick(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
std::shared_ptr<Skill> makeSkillSquare(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
