// Fiora's three skills. All of them keep running while play goes on and end with their owner's state 9:
// SkillPobb makes the shared queue deal only the caster's piece kind for ten takes, SkillSalk locks the
// rival's turns for five of its pieces, SkillQuillow gives the caster's field cell gravity for a while.
#pragma once

#include <memory>

#include "game/skills/skill.h"

class Loader;
class Player;

class SkillPobb : public Skill {
public:
    // Ends the rival's SkillPobb first when it still forces the queue.
    SkillPobb(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
    void update() override;
    void draw() override;

    // 0 call for help, 1 hops, 2 curtain, 3 forced pieces, 4 and 5 the way out.
    int state() const { return state_; }

private:
    int state_ = 0;
    int count_ = 0;
    int angle_ = 0;  // degrees into the current hop
    int arcStart_;
    int hops_ = 0;
    int figureFrame_ = 0;
    int curtainFrame_ = 0;
    double x_;
    double y_ = 348.0;
};

class SkillSalk : public Skill {
public:
    SkillSalk(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
    void update() override;
    void draw() override;

    // 0 aim, 1 arrow flying, 2 the rival's turns locked, 3 the end.
    int state() const { return state_; }
    int arrowX() const { return arrowX_; }

private:
    int state_ = 0;
    int frame_ = 0;
    int arrowX_;
    int count_ = 0;
    int hits_ = 0;
    int piecesSeen_ = 0;
};

class SkillQuillow : public Skill {
public:
    SkillQuillow(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
    void update() override;
    void draw() override;

    // 0 the switch, 1 cell gravity, 2 the eye after the first clear, 3 the end.
    int state() const { return state_; }
    int eyeAlpha() const { return eyeAlpha_; }
    // What the draw leaves the colour scale at while the skill runs.
    int brightness() const { return kBrightness; }

private:
    static constexpr int kBrightness = 150;

    int eyeAlpha_ = 155;
    int eyeStep_ = 10;
    int piecesSeen_ = 0;
    int count_ = 0;
    int state_ = 0;
};

std::shared_ptr<Skill> makeSkillPobb(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
std::shared_ptr<Skill> makeSkillSalk(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
std::shared_ptr<Skill> makeSkillQuillow(const std::shared_ptr<Player>& owner,
                                        const std::shared_ptr<Loader>& loader);
