// Kessa's three skills: SkillOrrant clears a three-column band of the caster's own field that the caster aims,
// SkillSaisen takes the rival's whole skill level for the caster, and SkillDorvel raises a barrier over the
// rival's field so that its cleared rows attack nobody for five pieces while play goes on.
#pragma once

#include <memory>

#include "game/skills/skill.h"

class Loader;
class Player;

// Level 1. Aimed with left/right and confirmed with the first button (no time limit); the marked band goes
// after 18 frames and takes the caster's pending garbage with it. Ends with state 8.
class SkillOrrant : public Skill {
public:
    SkillOrrant(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
    ~SkillOrrant() override = default;
    void update() override;
    void draw() override;

    int state = 0;  // 0 aim, 1 travel, 2 pillar grows, 3 mark, 4 clear, 5 pillar fades, 6 end
    int column = 4;  // leftmost column of the band, 0-7
    int bandAlpha = 50;
    int pillarAlpha = 105;
    int bandStep = 3;
    int pillarWidth = 0;
    double x;
    double y = 348;
    int angle = 0;  // degrees
};

// Level 2. The figure walks over, the rival's levels drop as coins into the caster's level (a level a frame,
// at most 3), the result sign shows and the figure walks back. Ends with state 8.
class SkillSaisen : public Skill {
public:
    SkillSaisen(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
    ~SkillSaisen() override;
    void update() override;
    void draw() override;

    int state = 0;  // 0 ask, 1 walk over, 2 coins, 3 result, 4 walk back, 5 end
    int count = 0;
    int coins = 0;
    int coinsLeft = 0;
    int walk = 0;
    int figureFrames[3];  // 0 got coins, 1 walking, 2 missed
    int coinY[3] = {180, 120, 60};
    int figureFrame = 1;
    int startX;
};

// Level 3, a falling-run skill: darkens, fades the barrier in, brightens, then lets both sides play on with
// the rival's attacks stopped until the rival has taken its fifth piece; the barrier fades and the skill ends
// with state 9.
class SkillDorvel : public Skill {
public:
    SkillDorvel(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
    ~SkillDorvel() override = default;
    void update() override;
    // Leaves the colour scale at the brightness.
    void draw() override;
    int brightness() const { return brightness_; }

    int state = 0;  // 0 darken, 1 barrier in, 2 brighten and switch, 3 falling run, 4 barrier out, 5 end
    int piecesSeen = 0;
    int count = 0;
    int alpha = 55;

private:
    int brightness_ = 255;
};

std::shared_ptr<Skill> makeSkillOrrant(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
std::shared_ptr<Skill> makeSkillSaisen(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
std::shared_ptr<Skill> makeSkillDorvel(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
