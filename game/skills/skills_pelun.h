// Pelun's three skills: SkillVintrel drops ten stars that become blocks in the rival's field, SkillCorvane fires
// a beam and fills the caster's own bottom three rows for its next lock to clear as an attack, and SkillGrakel
// sweeps the rival's field with light beams and blasts up to three cells out of every rival row.
#pragma once

#include <memory>

#include "game/match/player.h"
#include "game/skills/skill.h"

class Loader;

// Level 1. Darkens, drops a star every 20 frames into a random column of the rival's field (a block where it
// lands; nothing above the top), waits until every star has faded, brightens. Ends with state 8.
class SkillVintrel : public Skill {
public:
    struct Star {
        Point cell;       // x column, y row (negative above the field)
        int subStep = 0;  // pixels into the row, 0-17
        int alpha = 255;
        int angle = 0;  // degrees
        bool falling = false;
        bool landed = false;
    };
    static constexpr int kStars = 10;

    SkillVintrel(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
    ~SkillVintrel() override = default;
    void update() override;
    void draw() override;
    int brightness() const { return brightness_; }

    // Test hook: decides which column a star falls into (the columns are otherwise random).
    void setStarColumnForTesting(int star, int column) { stars[star].cell.x = column; }

    Star stars[kStars];
    int state = 0;  // 0 darken, 1 stars, 2 brighten, 3 end
    int count = 0;
    int skyAlpha = 100;

private:
    // Weak like the owner link: a strong link would keep the rival alive with the skill installed in the owner.
    std::weak_ptr<Player> rival_;
    int brightness_ = 255;
};

// Level 2. Winds up, fires a beam across the screen while the rival reels, then overwrites the caster's rows
// 19-21 with blocks (full rows that the caster's next lock clears as an attack). Ends with state 8.
class SkillCorvane : public Skill {
public:
    static constexpr int kFigureFrames = 4;

    SkillCorvane(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
    ~SkillCorvane() override;
    void update() override;
    void draw() override;
    int brightness() const { return brightness_; }

    int state = 0;  // 0-1 wind-up, 2 beam, 3 firing, 4 fill, 5 fade, 6 end
    int count = 0;
    int alpha = 100;
    int beamHeight = 0;
    int ringFrame = 0;    // 0-2, from the clock
    int figureFrame = 0;  // 0-3

private:
    int brightness_ = 255;
    int figureFrames_[kFigureFrames];
};

// Level 3. The caster flies off, five beams drop over the rival's field, widen and wander, the blast marks the
// cells of three evenly spaced columns in every rival row and empties them after 18 frames (nothing falls), the
// beams narrow and the caster flies back. Ends with state 8.
class SkillGrakel : public Skill {
public:
    struct Beam {
        int a = 100;
        int x = 0;
        int y = 0;
        int width = 4;
        int height = 0;
        int colour = 0;  // screen pixel
    };
    static constexpr int kBeams = 5;
    static constexpr int kStars = 5;

    SkillGrakel(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
    ~SkillGrakel() override = default;
    void update() override;
    void draw() override;
    int brightness() const { return brightness_; }

    int starAngles[kStars] = {};
    Point figure;
    Point starPositions[kStars];
    int state = 0;  // 0 fly off, 1 beams drop, 2 widen, 3 blast, 4 clear, 5 narrow, 6 fly back, 7 end
    Beam beams[kBeams];
    int count = 0;

private:
    void jitterBeams(int rivalSide);
    void moveStars(int rivalSide);
    void drawBeams();

    int brightness_ = 255;
};

std::shared_ptr<Skill> makeSkillVintrel(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
std::shared_ptr<Skill> makeSkillCorvane(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
std::shared_ptr<Skill> makeSkillGrakel(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);
