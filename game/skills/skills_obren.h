// Obren's three skills: SkillTelvix slashes away the top four rows of the caster's own stack, SkillOssive
// cuts the caster's field down the middle and pushes both halves outward, and SkillDoubles doubles the garbage
// the caster sends while it plays its next pieces.
#pragma once

#include <memory>

#include "game/skills/skill.h"

class SkillTelvix : public Skill {
public:
    SkillTelvix(const std::shared_ptr<Player>& owner, std::shared_ptr<Loader> loader);
    ~SkillTelvix() override;
    void update() override;
    void draw() override;

    int brightness() const { return brightness_; }
    int state() const { return state_; }
    int topRow() const { return topRow_; }
    int slashY() const { return slashY_; }

private:
    // The rows that go: the top row and up to three below it, inside the field.
    int lastRow() const;

    int frames_[5];
    int topRow_ = 21;
    int slashY_ = 0;
    int frameCount_ = 0;
    int brightness_ = 255;
    int state_ = 0;
};

class SkillOssive : public Skill {
public:
    static constexpr int kTrailLength = 20;
    static constexpr int kSlashStart = -268;
    static constexpr int kSlashRest = 452;

    SkillOssive(const std::shared_ptr<Player>& owner, std::shared_ptr<Loader> loader);
    ~SkillOssive() override;
    void update() override;
    void draw() override;

    int brightness() const { return brightness_; }
    int state() const { return state_; }
    int slashY() const { return y_; }
    int alpha() const { return alpha_; }

    // The cut on a field: cell gravity, then the halves two columns outward and the middle four emptied.
    static void cutField(Player& player);

private:
    int trail_[kTrailLength];  // the slash's y on earlier frames, newest first
    int y_ = kSlashStart;
    int frameCount_ = 0;
    int alpha_ = 200;
    int brightness_ = 255;
    int state_ = 0;
};

class SkillDoubles : public Skill {
public:
    // The skill ends once the owner has taken more than this many pieces since the switch.
    static constexpr int kPieces = 5;

    SkillDoubles(const std::shared_ptr<Player>& owner, std::shared_ptr<Loader> loader);
    ~SkillDoubles() override;
    void update() override;
    void draw() override;

    int brightness() const { return brightness_; }
    int state() const { return state_; }
    int figureX() const { return x_; }
    int alpha() const { return alpha_; }

private:
    int piecesSeen_ = 0;
    int brightness_ = 255;
    int state_ = 0;
    int x_;
    int xStep_;
    int xEnd_;
    int alpha_ = 50;
};

std::shared_ptr<Skill> makeSkillTelvix(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
std::shared_ptr<Skill> makeSkillOssive(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
std::shared_ptr<Skill> makeSkillDoubles(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
