// Wix's three skills: SkillBaka shows a picture in the rival's field for a moment and puts the field back,
// SkillIce freezes both sides' skill buttons for six of the caster's pieces, SkillDead sends the rival's ghost
// up off the screen and leaves a grave that can cast nothing for the rest of the round.
#pragma once

#include <memory>

#include "game/match/player.h"
#include "game/skills/skill.h"

class SkillBaka : public Skill {
public:
    SkillBaka(const std::shared_ptr<Player>& owner, std::shared_ptr<Loader> loader);
    ~SkillBaka() override;
    void update() override;
    void draw() override;

    // 0 marking the rival's cells, 1 flashing, 2 the picture shown, 3 ending.
    int state() const { return state_; }

    // The picture, in field cells (marked or empty).
    static const int kPicture[kFieldRows][kFieldColumns];

private:
    int counter_ = 0;
    int saved_[kFieldRows][kFieldColumns] = {};
    int state_ = 0;
};

class SkillIce : public Skill {
public:
    SkillIce(const std::shared_ptr<Player>& owner, std::shared_ptr<Loader> loader);
    ~SkillIce() override;
    void update() override;
    void draw() override;

    // 0 not yet switched, 1 counting the caster's pieces, 2 ending.
    int state() const { return state_; }

private:
    int piecesSeen_ = 0;
    int state_ = 0;
};

class SkillDead : public Skill {
public:
    SkillDead(const std::shared_ptr<Player>& owner, std::shared_ptr<Loader> loader);
    ~SkillDead() override;
    void update() override;
    void draw() override;

    // 0 not started, 1 the ghost rises, 2 ending.
    int state() const { return state_; }
    int ghostX() const { return x_; }
    int ghostY() const { return y_; }
    int ghostAlpha() const { return alpha_; }

private:
    int x_ = 0;
    int y_ = 220;
    int ghost_[2] = {-1, -1};
    int frameCount_ = 0;
    int alpha_ = 30;
    int state_ = 0;
};

std::shared_ptr<Skill> makeSkillBaka(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
std::shared_ptr<Skill> makeSkillIce(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
std::shared_ptr<Skill> makeSkillDead(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
