// Quen's three skills: SkillWind blows every row of the caster's own field against one wall, SkillCopy
// photographs the rival's side of the screen and turns the caster's field into a copy of the rival's, and
// SkillManbo sends a gale over the rival's field that shifts its columns up and down at random.
#pragma once

#include <memory>

#include "game/skills/skill.h"

class Loader;
class Player;

// Level 1. Darkens, blows the wind across (the gust at its 21st frame packs each of the caster's rows against
// the far wall, cells in their order), brightens, and ends with state 8.
class SkillWind : public Skill {
public:
    SkillWind(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
    ~SkillWind() override;
    void update() override;
    void draw() override;

    int brightness() const { return brightness_; }

private:
    void gust(Player& owner);

    int brightness_ = 255;
    int count_ = 0;
    int windX_;
    int figureFrames_[3];
    int figureFrame_ = 0;
    int state_ = 0;  // 0 darken, 1 wind, 2 brighten, 3 end
};

// Level 2. Takes a photo of the rival's half of the picture shown, flashes, lets the photo fly over to the
// caster's side and, when it lands, copies the rival's cells as they are then into the caster's field. Ends
// with state 8.
class SkillCopy : public Skill {
public:
    SkillCopy(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
    ~SkillCopy() override;
    void update() override;
    void draw() override;

    // The photo's graph (-1 when it could not be made) and where it is; for tests.
    int photo() const { return photo_; }
    int photoX() const { return x_; }

private:
    int x_ = 0;
    int angle_ = 0;  // degrees
    double scale_ = 1.0;
    int photo_;
    int count_ = 0;
    int state_ = 0;  // 0 shot, 1 flash, 2 flight, 3 end
};

// Level 3. The caster crosses the screen, then 21 gusts in 161 frames each move every column of the rival's
// field up one row (a new block or nothing coming in at the bottom), down one row, or leave it. Ends with
// state 8.
class SkillManbo : public Skill {
public:
    SkillManbo(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
    ~SkillManbo() override;
    void update() override;
    void draw() override;

private:
    static void gust(Player& rival);

    int x_;
    int y_ = 316;
    int xStep_;
    int frameCount_ = 0;
    int figureFrames_[3];
    int state_ = 0;  // 0 the caster crosses, 1 the gale, 2 end
    int count_ = 0;
    int windFrameCount_ = 0;
    int windFrames_[3];
};

std::shared_ptr<Skill> makeSkillWind(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
std::shared_ptr<Skill> makeSkillCopy(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
std::shared_ptr<Skill> makeSkillManbo(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
